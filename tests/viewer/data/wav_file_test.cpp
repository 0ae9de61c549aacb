#include "viewer/data/wav_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <numbers>

#include "common/byte_io.h"
#include "common/file_io.h"
#include "common/notify.h"
#include "common/progress.h"
#include "common/text_format.h"
#include "platform/process.h"
#include "platform/sound.h"
#include "viewer/data/data_store.h"

namespace zephyrim {
namespace {

struct WavFields {
  uint16_t tag = 1, channels = 1;
  uint32_t rate = 8000;
  uint16_t bits = 16;
  uint32_t fmt_size = 16;
};

// A WAV file with the samples' bytes; a LIST chunk before "fmt " and "data"
// shows that chunks in between are passed over.
std::vector<uint8_t> wav_bytes(const WavFields& f, const std::vector<uint8_t>& data,
                               std::optional<uint32_t> data_size = {}) {
  ByteWriter w;
  w.text("RIFF");
  w.u32(static_cast<uint32_t>(4 + 8 + 3 + 1 + 8 + f.fmt_size + 8 + data.size()));
  w.text("WAVELIST");
  w.u32(3);
  w.text("abc");
  w.u8(0);
  w.text("fmt ");
  w.u32(f.fmt_size);
  w.u16(f.tag);
  w.u16(f.channels);
  w.u32(f.rate);
  w.u32(f.rate * f.channels * f.bits / 8);
  w.u16(static_cast<uint16_t>(f.channels * f.bits / 8));
  w.u16(f.bits);
  if (f.fmt_size > 16) w.zeros(f.fmt_size - 16);
  w.text("data");
  w.u32(data_size.value_or(static_cast<uint32_t>(data.size())));
  w.bytes(data);
  return w.take();
}

struct Wav : ::testing::Test {
  RecordingNotify notify{kTraceryTitle};
  NullProgress progress;
  DataStore store{notify, progress};
  std::filesystem::path dir;

  void SetUp() override {
    ASSERT_TRUE(store.start());
    dir = std::filesystem::temp_directory_path() /
          ("zephyrim_wav_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::create_directories(dir);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }

  std::string path_of(const char* name) { return (dir / name).string(); }
  int read(const std::vector<uint8_t>& bytes) {
    EXPECT_TRUE(write_file_atomic(path_of("t.wav"), bytes));
    return wav_read_file(store, path_of("t.wav"));
  }
  std::vector<double> values(const char* name) {
    const DataVector* v = store.find_vector(name, DATA_CLASS_TEXT, -1, -1, -1);
    if (!v) return {};
    const auto s = store.values(*v);
    return {s.begin(), s.end()};
  }
  // The sample bytes of an 8-bit file written by wav_write_trace.
  std::vector<uint8_t> written_samples(const char* name) {
    const auto bytes = read_file(path_of(name)).value_or(std::vector<uint8_t>{});
    if (bytes.size() < 44) return {};
    const uint32_t n = bytes[40] | bytes[41] << 8 | bytes[42] << 16 | bytes[43] << 24;
    return {bytes.begin() + 44, bytes.begin() + 44 + std::min<size_t>(n, bytes.size() - 44)};
  }
};

TEST_F(Wav, SixteenBitMonoSecond) {
  std::vector<uint8_t> data;
  for (int i = 0; i < 44100; ++i) {
    const auto s = static_cast<int16_t>(i % 65536 - 32768);
    data.push_back(static_cast<uint8_t>(s & 0xff));
    data.push_back(static_cast<uint8_t>((s >> 8) & 0xff));
  }
  EXPECT_EQ(read(wav_bytes({.rate = 44100}, data)), 44100);
  EXPECT_EQ(
      notify.texts(),
      (std::vector<std::string>{"WAVEFILE: " + path_of("t.wav") +
                                "\nFormat Type: \tPCM Mono\nChannel Numbers: \t1\nSample Rate: \t44100 Hz\n"
                                "Bits Per Sample: \t16\nNumber Samples: \t44100\nAudio Length: \t1 secs\n"}));
  const auto t = values("TIME"), v = values("VAUDIO");
  ASSERT_EQ(t.size(), 44100u);
  ASSERT_EQ(v.size(), 44100u);
  EXPECT_EQ(t[0], 0);
  EXPECT_DOUBLE_EQ(t[44099], 44099.0 / 44100);
  EXPECT_EQ(v[0], -1.0);
  EXPECT_EQ(v[32768], 0.0);
  EXPECT_EQ(v[44099], (44099 - 32768) / 32768.0);
  EXPECT_LT(*std::max_element(v.begin(), v.end()), 1.0);
  const DataVector* audio = store.find_vector("VAUDIO", DATA_CLASS_TEXT, -1, -1, -1);
  EXPECT_EQ(audio->kind, ANALYSIS_TRAN);
  EXPECT_EQ(audio->quantity, 1);
  EXPECT_EQ(audio->x, store.find_vector("TIME", DATA_CLASS_TEXT, -1, -1, -1));
}

TEST_F(Wav, EightBitZeroIs127) {
  EXPECT_EQ(read(wav_bytes({.bits = 8}, {127, 255, 0})), 3);
  EXPECT_EQ(values("VAUDIO"), (std::vector<double>{0.0, 1.0, -127 / 128.0}));
}

TEST_F(Wav, BadFilesGiveTheirMessagesAndNoVectors) {
  const std::vector<uint8_t> samples{1, 2, 3, 4};
  auto cut = [](std::vector<uint8_t> b, size_t n) {
    b.resize(n);
    return b;
  };
  auto with = [](std::vector<uint8_t> b, size_t at, const char* text) {
    std::copy(text, text + 4, b.begin() + static_cast<long>(at));
    return b;
  };
  const auto good = wav_bytes({}, samples);
  const struct {
    std::vector<uint8_t> bytes;
    const char* message;
  } cases[] = {
      {{'R', 'I', 'F'}, "Cannot read wavefile: EOF, RIFF not found"},
      {with(good, 0, "RIFX"), "Cannot read wavefile: EOF, RIFF not found"},
      {with(good, 8, "AVI "), "Cannot read wavefile: file is not WAVE"},
      {with(good, 24, "fmx "), "Input wavefile bad format: no FMT chunk"},
      {wav_bytes({.fmt_size = 14}, samples), "Input wavefile bad format: FMT chunk too small"},
      {cut(good, 40), "Cannot read wavefile: PCM size, possible truncated file"},
      {cut(wav_bytes({.fmt_size = 40}, samples), 50), "Cannot read wavefile: possible truncated file"},
      {with(good, 48, "date"), "Input wavefile bad format: data chunk not found"},
      {wav_bytes({.channels = 2}, samples), "Wavefile format not supported or bad"},
      {wav_bytes({.tag = 3}, samples), "Wavefile format not supported or bad"},
      {wav_bytes({.bits = 24}, {1, 2, 3}), "Cannot read input wavefile"},
  };
  for (const auto& c : cases) {
    notify.clear();
    EXPECT_EQ(read(c.bytes), 0) << c.message;
    EXPECT_EQ(notify.last(), c.message);
    EXPECT_EQ(store.total_vectors(), 0) << c.message;
  }
  notify.clear();
  EXPECT_EQ(wav_read_file(store, path_of("none.wav")), 0);
  EXPECT_EQ(notify.texts(),
            (std::vector<std::string>{"Cannot open audio wavefile:\n" + path_of("none.wav")}));
}

TEST_F(Wav, DataSizeThatLiesReadsWhatIsThere) {
  EXPECT_EQ(read(wav_bytes({.bits = 8}, {127, 255, 127}, 0xFFFFFFF0u)), 3);
  EXPECT_EQ(values("VAUDIO").size(), 3u);
  EXPECT_NE(notify.texts()[0].find("Number Samples: \t3\n"), std::string::npos);
}

TEST_F(Wav, SineTraceWritesEightyOneSwingingBytes) {
  std::vector<double> x, y;
  for (int i = 0; i <= 1000; ++i) {
    x.push_back(i * 1e-5);
    y.push_back(std::sin(2 * std::numbers::pi * 1000 * x.back()));
  }
  ASSERT_EQ(wav_write_trace(path_of("s.wav"), {.x = x, .y = y, .sample_rate = 8000}, notify), 1);
  EXPECT_TRUE(notify.entries().empty()) << notify.last();
  const auto bytes = read_file(path_of("s.wav")).value();
  ASSERT_EQ(bytes.size(), 44u + 81 + 1);
  const std::vector<uint8_t> header(bytes.begin(), bytes.begin() + 44);
  ByteWriter w;
  w.text("RIFF");
  w.u32(36 + 82);
  w.text("WAVEfmt ");
  for (const uint32_t v : {16u, 1u | 1u << 16, 8000u, 8000u, 1u | 8u << 16}) w.u32(v);
  w.text("data");
  w.u32(81);
  EXPECT_EQ(header, w.data());
  const auto s = written_samples("s.wav");
  ASSERT_EQ(s.size(), 81u);
  EXPECT_EQ(*std::min_element(s.begin(), s.end()), 0);
  EXPECT_GE(*std::max_element(s.begin(), s.end()), 254);
  EXPECT_EQ(s[0], 127);
  EXPECT_EQ(s[4], 127);

  // Read back, the samples are the written bytes.
  ASSERT_EQ(wav_read_file(store, path_of("s.wav")), 81);
  const auto v = values("VAUDIO");
  for (size_t i = 0; i < 81; ++i) EXPECT_EQ(v[i], (s[i] - 127) / 128.0) << i;
  EXPECT_DOUBLE_EQ(values("TIME")[80], 0.01);
}

TEST_F(Wav, ZoomedRangeAndConstantTrace) {
  const std::vector<double> x{0, 1}, y{0, 1};
  ASSERT_EQ(
      wav_write_trace(path_of("z.wav"), {.x = x, .y = y, .sample_rate = 10, .zoom = XRange{0.5, 7}}, notify),
      1);
  // 0.5 to 1 s at 10 Hz: the ramp's upper half, centred and scaled.
  EXPECT_EQ(written_samples("z.wav"), (std::vector<uint8_t>{0, 51, 102, 152, 203, 255}));
  const std::vector<double> flat{3, 3};
  ASSERT_EQ(wav_write_trace(path_of("f.wav"), {.x = x, .y = flat, .sample_rate = 4}, notify), 1);
  EXPECT_EQ(written_samples("f.wav"), (std::vector<uint8_t>(5, 127)));
}

TEST_F(Wav, WriteRefusals) {
  const std::vector<double> x{0, 2000}, y{0, 1}, down{1, 0};
  notify.answer(0);
  EXPECT_EQ(wav_write_trace(path_of("big.wav"), {.x = x, .y = y, .sample_rate = 44100}, notify), 0);
  EXPECT_EQ(notify.texts(), (std::vector<std::string>{"Number of data samples required: 88 MB\nDo you want "
                                                      "to continue?"}));
  EXPECT_FALSE(file_exists(path_of("big.wav")));
  notify.clear();
  EXPECT_EQ(wav_write_trace(path_of("b.wav"), {.x = down, .y = y, .sample_rate = 10}, notify), 0);
  EXPECT_EQ(wav_write_trace(path_of("b.wav"), {.x = {}, .y = {}, .sample_rate = 10}, notify), 0);
  EXPECT_EQ(wav_write_trace(path_of("b.wav"), {.x = x, .y = y, .sample_rate = 0}, notify), 0);
  EXPECT_EQ(notify.texts(), (std::vector<std::string>(3, "Error interpolating trace data")));
  notify.clear();
  EXPECT_EQ(wav_write_trace(path_of("no/folder.wav"), {.x = y, .y = y, .sample_rate = 10}, notify), 0);
  EXPECT_EQ(notify.last(), "Cannot open output wavefile:\n" + path_of("no/folder.wav"));
}

TEST_F(Wav, PlayGoesThroughThePlayer) {
  NullSoundPlayer player;
  WavPlayback playback(player, dir.string());
  EXPECT_EQ(wav_play(playback, 0, nullptr, notify), 0);  // nothing read yet
  ASSERT_EQ(write_file_atomic(path_of("in.wav"), wav_bytes({.bits = 8}, {1, 2})), true);
  ASSERT_EQ(wav_read_file(store, path_of("in.wav"), &playback), 2);
  EXPECT_EQ(wav_play(playback, 0, nullptr, notify), 1);
  EXPECT_EQ(player.playing(), path_of("in.wav"));
  const std::vector<double> x{0, 1}, y{0, 1};
  const WavTrace trace{.x = x, .y = y, .sample_rate = 100};
  EXPECT_EQ(wav_play(playback, 1, &trace, notify), 1);
  EXPECT_EQ(player.playing(), path_of(kPlayTraceFile));
  EXPECT_EQ(written_samples(kPlayTraceFile).size(), 101u);
  wav_stop(playback);
  EXPECT_EQ(player.playing(), "");
  EXPECT_EQ(playback.remembered(), path_of("in.wav"));
}

// A file from another program reads with its samples.
TEST_F(Wav, ReadsWhatSoxWrites) {
  if (process_run({"sox", "--version"}).exit_code != 0) GTEST_SKIP() << "sox is not installed";
  // Synthesised at the file's own rate and not dithered, the samples are the
  // sine's values rounded to 16 bits.
  const auto r = process_run({"sox", "-r", "8000", "-n", "-D", "-b", "16", "-c", "1", path_of("sox.wav"),
                              "synth", "0.01", "sine", "1000"});
  ASSERT_EQ(r.exit_code, 0) << r.output;
  ASSERT_EQ(wav_read_file(store, path_of("sox.wav")), 80);
  const auto v = values("VAUDIO"), t = values("TIME");
  for (size_t i = 0; i < v.size(); ++i)
    EXPECT_NEAR(v[i], std::sin(2 * std::numbers::pi * 1000 * t[i]), 1.0 / 32768 + 1e-12) << i;
}

}  // namespace
}  // namespace zephyrim
