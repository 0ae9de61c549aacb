// WAV files that other programs wrote (sox, and espeak-ng's speech converted
// by sox into each sample format), read beside sox's own reading of them; and
// the files we write, read by sox. Both tools are required: without them the
// tests fail and say which one is missing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <string>
#include <utility>
#include <vector>

#include "common/file_io.h"
#include "common/notify.h"
#include "common/progress.h"
#include "common/text_format.h"
#include "platform/process.h"
#include "viewer/data/data_store.h"
#include "viewer/data/wav_file.h"

namespace zephyrim {
namespace {

constexpr const char* kNotRead = "Wavefile format not supported or bad";
// sox prints 8 significant digits of a time or a sample.
constexpr double kPrinted = 1e-7;

// A sample format as sox's options name it.
struct Format {
  const char* label;
  std::vector<std::string> options;
  int bits;
  int channels;
};

const std::vector<Format> kFormatsRead = {
    {"8-bit", {"-b", "8", "-c", "1"}, 8, 1},
    {"16-bit", {"-b", "16", "-c", "1"}, 16, 1},
};

const std::vector<Format> kFormatsNotRead = {
    {"24-bit", {"-b", "24", "-c", "1"}, 24, 1},
    {"32-bit", {"-b", "32", "-c", "1"}, 32, 1},
    {"float", {"-e", "floating-point", "-b", "32", "-c", "1"}, 32, 1},
    {"stereo 8-bit", {"-b", "8", "-c", "2"}, 8, 2},
    {"stereo 16-bit", {"-b", "16", "-c", "2"}, 16, 2},
};

// sox's reading of a file: time and first channel's sample of every sample.
using SoxSamples = std::vector<std::pair<double, double>>;

struct WavReal : ::testing::Test {
  RecordingNotify notify{kTraceryTitle};
  NullProgress progress;
  DataStore store{notify, progress};
  std::filesystem::path dir;

  void SetUp() override {
    ASSERT_TRUE(store.start());
    dir =
        std::filesystem::temp_directory_path() /
        ("zephyrim_wav_real_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::create_directories(dir);
    require("sox");
  }
  void TearDown() override { std::filesystem::remove_all(dir); }

  static void require(const char* tool) {
    const ProcessResult r = process_run({tool, "--version"});
    ASSERT_TRUE(r.start_error == 0 && r.exit_code == 0)
        << tool << " is needed by these tests and did not run; scripts/setup installs it";
  }
  std::string path_of(const std::string& name) const { return (dir / name).string(); }

  static ProcessResult run(const std::vector<std::string>& argv) {
    ProcessResult r = process_run(argv);
    std::string line;
    for (const auto& a : argv) line += a + " ";
    EXPECT_EQ(r.exit_code, 0) << line << "\n" << r.output;
    return r;
  }
  // A figure of `sox --i`: -s samples, -r rate, -b bits, -c channels.
  static long long info(const char* what, const std::string& path) {
    const ProcessResult r = run({"sox", "--i", what, path});
    return r.output.empty() ? -1 : std::strtoll(r.output.c_str(), nullptr, 10);
  }
  SoxSamples sox_samples(const std::string& path) {
    const std::string dat = path_of("sox.dat");
    run({"sox", path, "-t", "dat", dat});
    const std::string text = read_text_file(dat).value_or("");
    SoxSamples out;
    for (const std::string_view line : split_lines(text)) {
      if (line.empty() || line[0] == ';') continue;
      const std::string fields(line);
      char* rest = nullptr;
      const double t = std::strtod(fields.c_str(), &rest);
      out.emplace_back(t, std::strtod(rest, nullptr));
    }
    return out;
  }
  std::vector<double> values(const char* name) {
    const DataVector* v = store.find_vector(name, DATA_CLASS_TEXT, -1, -1, -1);
    if (!v) return {};
    const auto s = store.values(*v);
    return {s.begin(), s.end()};
  }
  int read(const std::string& path) {
    store.clear_for_new_data();
    notify.clear();
    return wav_read_file(store, path);
  }

  // Our reading agrees with sox's: the count, the rate, every time and every
  // sample. sox puts an 8-bit file's zero at byte 128 and we at 127, so our
  // 8-bit samples are one step (1/128) above sox's.
  void expect_read_as_sox_reads(const std::string& path, int bits) {
    SCOPED_TRACE(path);
    const SoxSamples sox = sox_samples(path);
    const long long rate = info("-r", path);
    ASSERT_GT(sox.size(), 1u);
    ASSERT_EQ(read(path), static_cast<int>(sox.size())) << notify.last();
    EXPECT_NE(notify.texts()[0].find(strprintf("Sample Rate: \t%lld Hz\n", rate)), std::string::npos)
        << notify.texts()[0];
    const auto t = values("TIME"), v = values("VAUDIO");
    ASSERT_EQ(t.size(), sox.size());
    ASSERT_EQ(v.size(), sox.size());
    EXPECT_EQ(t[1], 1.0 / static_cast<double>(rate));
    const double offset = bits == 8 ? 1.0 / 128 : 0.0;
    size_t wrong = 0, first = 0;
    for (size_t i = 0; i < sox.size(); ++i) {
      const bool agree = std::fabs(v[i] - offset - sox[i].second) <= kPrinted &&
                         std::fabs(t[i] - sox[i].first) <= kPrinted * t[i] + 1e-12;
      if (!agree && wrong++ == 0) first = i;
    }
    EXPECT_EQ(wrong, 0u) << "first at sample " << first << ": ours " << t[first] << " " << v[first]
                         << ", sox " << sox[first].first << " " << sox[first].second;
  }

  void expect_refused(const std::string& path, const Format& f) {
    SCOPED_TRACE(path);
    ASSERT_EQ(info("-b", path), f.bits);
    ASSERT_EQ(info("-c", path), f.channels);
    EXPECT_EQ(read(path), 0);
    EXPECT_EQ(notify.last(), kNotRead);
    EXPECT_EQ(store.total_vectors(), 0);
    EXPECT_NE(notify.texts()[0].find(strprintf("Channel Numbers: \t%d\n", f.channels)), std::string::npos)
        << notify.texts()[0];
  }

  // The file as sox makes it from a source (a file, or "-n" and a synth effect).
  std::string convert(const std::string& name, const std::vector<std::string>& input, const Format& f,
                      const std::vector<std::string>& effect = {}) {
    const std::string out = path_of(name + " " + f.label + ".wav");
    std::vector<std::string> argv{"sox"};
    argv.insert(argv.end(), input.begin(), input.end());
    argv.insert(argv.end(), f.options.begin(), f.options.end());
    argv.push_back(out);
    argv.insert(argv.end(), effect.begin(), effect.end());
    run(argv);
    return out;
  }
  std::string speech() {
    const std::string out = path_of("speech.wav");
    run({"espeak-ng", "-w", out, "Zephyrim reads what other programs write"});
    return out;
  }
};

// Synthesised sounds: an odd count of a sweep (an 8-bit file then ends in a
// pad byte), full-scale noise, at three rates.
const std::vector<std::pair<std::string, std::vector<std::string>>> kSynths = {
    {"sweep", {"-r", "8000", "-n"}},
    {"noise", {"-r", "44100", "-n"}},
    {"tone", {"-r", "11025", "-n"}},
};
const std::vector<std::vector<std::string>> kSynthEffects = {
    {"synth", "0.100125", "sine", "300-3000"},
    {"synth", "0.05", "whitenoise"},
    {"synth", "0.2", "square", "440", "vol", "0.7"},
};

TEST_F(WavReal, EightAndSixteenBitMonoReadAsSoxReadsThem) {
  require("espeak-ng");
  const std::string voice = speech();
  // espeak-ng's own file, as it wrote it.
  expect_read_as_sox_reads(voice, 16);
  EXPECT_EQ(info("-s", voice), static_cast<long long>(values("VAUDIO").size()));
  for (const Format& f : kFormatsRead) {
    const std::string converted = convert("speech", {voice}, f);
    ASSERT_EQ(info("-b", converted), f.bits);
    expect_read_as_sox_reads(converted, f.bits);
    EXPECT_EQ(info("-s", converted), static_cast<long long>(values("VAUDIO").size()));
    for (size_t s = 0; s < kSynths.size(); ++s) {
      const std::string made = convert(kSynths[s].first, kSynths[s].second, f, kSynthEffects[s]);
      ASSERT_EQ(info("-b", made), f.bits);
      expect_read_as_sox_reads(made, f.bits);
      EXPECT_EQ(info("-s", made), static_cast<long long>(values("VAUDIO").size()));
    }
  }
  // The sweep's 801 samples: the odd count that needs the pad byte.
  EXPECT_EQ(info("-s", path_of("sweep 8-bit.wav")), 801);
}

TEST_F(WavReal, OtherFormatsGiveTheMessageAndNoVectors) {
  require("espeak-ng");
  const std::string voice = speech();
  for (const Format& f : kFormatsNotRead) {
    expect_refused(convert("speech", {voice}, f), f);
    expect_refused(convert(kSynths[0].first, kSynths[0].second, f, kSynthEffects[0]), f);
  }
}

// espeak-ng writing to a pipe cannot go back to fill in the sizes: its header
// claims nearly 2 GB. What is there is read, as sox reads it.
TEST_F(WavReal, StreamedSpeechWithPlaceholderSizes) {
  require("espeak-ng");
  const ProcessResult r = run({"espeak-ng", "--stdout", "Zephyrim reads what other programs write"});
  ASSERT_GT(r.output.size(), 44u);
  const uint32_t claimed = static_cast<uint8_t>(r.output[40]) | static_cast<uint8_t>(r.output[41]) << 8 |
                           static_cast<uint8_t>(r.output[42]) << 16 |
                           static_cast<uint32_t>(r.output[43]) << 24;
  EXPECT_GT(claimed, r.output.size());
  ASSERT_TRUE(write_file_atomic(path_of("streamed.wav"), r.output));
  expect_read_as_sox_reads(path_of("streamed.wav"), 16);
}

// What we write, sox reads with our rate and count, and with the bytes our
// formula put in: byte b is (b - 128) / 128 to sox and (b - 127) / 128 to us.
TEST_F(WavReal, SoxReadsWhatWeWrite) {
  // A ramp at 5 Hz: bytes 0, 51, 102, 152, 203, 255.
  const std::vector<double> x{0, 1}, y{0, 1};
  const std::string ramp = path_of("ramp.wav");
  ASSERT_EQ(wav_write_trace(ramp, {.x = x, .y = y, .sample_rate = 5}, notify), 1);
  EXPECT_EQ(info("-r", ramp), 5);
  EXPECT_EQ(info("-s", ramp), 6);
  EXPECT_EQ(info("-b", ramp), 8);
  const SoxSamples sox = sox_samples(ramp);
  const std::vector<double> expected{-128, 51 - 128, 102 - 128, 152 - 128, 203 - 128, 255 - 128};
  ASSERT_EQ(sox.size(), expected.size());
  for (size_t i = 0; i < sox.size(); ++i) {
    EXPECT_NEAR(sox[i].second, expected[i] / 128, kPrinted) << i;
    EXPECT_NEAR(sox[i].first, 0.2 * static_cast<double>(i), kPrinted) << i;
  }

  // A tone with an offset at 44100 Hz, 20 ms of it: 883 samples.
  std::vector<double> tx, ty;
  for (int i = 0; i <= 2000; ++i) {
    tx.push_back(i * 1e-5);
    ty.push_back(0.3 + std::sin(2 * std::numbers::pi * 440 * tx.back()));
  }
  const std::string tone = path_of("tone.wav");
  ASSERT_EQ(wav_write_trace(tone, {.x = tx, .y = ty, .sample_rate = 44100}, notify), 1);
  EXPECT_EQ(info("-r", tone), 44100);
  EXPECT_EQ(info("-s", tone), 883);
  expect_read_as_sox_reads(tone, 8);
}

}  // namespace
}  // namespace zephyrim
