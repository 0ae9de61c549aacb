#include "viewer/data/wav_file.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

#include "common/byte_io.h"
#include "common/file_io.h"
#include "common/mapped_file.h"
#include "common/notify.h"
#include "common/text_format.h"
#include "platform/sound.h"
#include "viewer/data/data_store.h"

namespace zephyrim {

namespace {

constexpr size_t kChunkHeader = 8;  // id and 32-bit size
constexpr uint32_t kFormatSize = 16;
constexpr uint16_t kFormatPcm = 1;
// RIFF sizes are 32-bit: the header chunks, the samples and a pad byte must fit.
constexpr uint64_t kMaxWriteSamples = 0xFFFFFFFFull - 64;
constexpr size_t kWriteBuffer = size_t{1} << 16;

// The first 16 bytes of the "fmt " chunk.
struct WavFormat {
  uint16_t tag = 0;  // 1: PCM
  uint16_t channels = 0;
  uint32_t sample_rate = 0;  // samples per second
  uint32_t byte_rate = 0;    // bytes per second
  uint16_t block_align = 0;  // bytes per sample of all channels
  uint16_t bits = 0;         // bits per sample

  bool decode(ByteReader& r) {
    return r.u16(tag) && r.u16(channels) && r.u32(sample_rate) && r.u32(byte_rate) && r.u16(block_align) &&
           r.u16(bits);
  }
  void encode(ByteWriter& w) const {
    w.u16(tag);
    w.u16(channels);
    w.u32(sample_rate);
    w.u32(byte_rate);
    w.u16(block_align);
    w.u16(bits);
  }
};

// A chunk found in the file: where its body starts and how long it says it is.
struct Chunk {
  size_t body = 0;
  uint32_t size = 0;
};

bool chunk_id(ByteReader& r, const char* id) {
  std::array<uint8_t, 4> b{};
  return r.bytes(b) && std::memcmp(b.data(), id, 4) == 0;
}

// Walks the chunks from the reader's position to the end of the file for the
// one with the id; the reader is left behind its header. Sizes that run past
// the file end the walk there.
bool find_chunk(ByteReader& r, const char* id, Chunk& found) {
  while (r.remaining() >= kChunkHeader) {
    const bool match = chunk_id(r, id);
    uint32_t size = 0;
    r.u32(size);
    if (match) {
      found = {r.position(), size};
      return true;
    }
    const uint64_t next = uint64_t{r.position()} + size + (size & 1);
    if (next > r.size() || !r.seek(static_cast<size_t>(next))) return false;
  }
  return false;
}

class WavReader {
 public:
  WavReader(DataStore& store, const std::string& path) : store_(store), path_(path) {}
  int read(std::span<const uint8_t> bytes);

 private:
  int fail(const char* message) {
    store_.notify().error(message);
    return 0;
  }
  bool find_format(ByteReader& r);
  void describe(uint64_t samples);
  int register_samples(std::span<const uint8_t> data, int samples);

  DataStore& store_;
  const std::string& path_;
  WavFormat format_;
};

int WavReader::read(std::span<const uint8_t> bytes) {
  ByteReader r(bytes);
  Chunk riff;
  if (!find_chunk(r, "RIFF", riff)) return fail("Cannot read wavefile: EOF, RIFF not found");
  if (!chunk_id(r, "WAVE")) return fail("Cannot read wavefile: file is not WAVE");
  if (!find_format(r)) return 0;
  Chunk data;
  if (!find_chunk(r, "data", data)) return fail("Input wavefile bad format: data chunk not found");
  // A size that says more than the file holds reads what is there.
  const uint64_t size = std::min<uint64_t>(data.size, bytes.size() - data.body);
  describe(format_.bits ? size * 8 / format_.bits : 0);
  if (format_.tag != kFormatPcm || format_.channels != 1 || format_.sample_rate == 0)
    return fail("Wavefile format not supported or bad");
  if (format_.bits != 8 && format_.bits != 16) return fail("Cannot read input wavefile");
  const uint64_t samples = std::min<uint64_t>(size / (format_.bits / 8), INT_MAX);
  if (samples == 0) return fail("Cannot read input wavefile");
  return register_samples(bytes.subspan(data.body), static_cast<int>(samples));
}

bool WavReader::find_format(ByteReader& r) {
  Chunk fmt;
  if (!find_chunk(r, "fmt ", fmt)) return fail("Input wavefile bad format: no FMT chunk");
  if (fmt.size < kFormatSize) return fail("Input wavefile bad format: FMT chunk too small");
  if (!format_.decode(r)) return fail("Cannot read wavefile: PCM size, possible truncated file");
  const uint64_t end = uint64_t{fmt.body} + fmt.size;
  if (end > r.size()) return fail("Cannot read wavefile: possible truncated file");
  // A pad byte the file does not have is not missed.
  r.seek(static_cast<size_t>(std::min<uint64_t>(end + (fmt.size & 1), r.size())));
  return true;
}

void WavReader::describe(uint64_t samples) {
  const double length = format_.sample_rate ? static_cast<double>(samples) / format_.sample_rate : 0.0;
  store_.notify().information(strprintf(
      "WAVEFILE: %s\nFormat Type: \t%s\nChannel Numbers: \t%d\nSample Rate: \t%lld Hz\nBits Per Sample: "
      "\t%d\nNumber Samples: \t%lld\nAudio Length: \t%g secs\n",
      path_.c_str(), format_.channels == 1 ? "PCM Mono" : "PCM Stereo", format_.channels,
      static_cast<long long>(format_.sample_rate), format_.bits, static_cast<long long>(samples), length));
}

int WavReader::register_samples(std::span<const uint8_t> data, int samples) {
  const int q = quantity_code(ANALYSIS_TRAN, "TIME");
  DataVector* time = store_.add_vector_reserved(
      {.name = "TIME", .cls = DATA_CLASS_TEXT, .kind = ANALYSIS_TRAN, .quantity = q, .points = samples});
  if (!time) return fail("Error saving wavefile time data");
  const std::span<double> t = store_.room(*time);
  const double rate = format_.sample_rate;
  for (size_t i = 0; i < t.size(); ++i) t[i] = static_cast<double>(i) / rate;
  DataVector* audio = store_.add_vector_reserved({.name = "VAUDIO",
                                                  .cls = DATA_CLASS_TEXT,
                                                  .kind = ANALYSIS_TRAN,
                                                  .quantity = quantity_code(ANALYSIS_TRAN, "VAUDIO"),
                                                  .x = time,
                                                  .points = samples});
  if (!audio) {
    store_.remove_vector(time);
    return fail("Error saving wavefile data");
  }
  const std::span<double> v = store_.room(*audio);
  const auto n = static_cast<size_t>(samples);
  if (format_.bits == 16) {
    for (size_t i = 0; i < n; ++i) {
      const auto s = static_cast<int16_t>(data[2 * i] | (data[2 * i + 1] << 8));
      v[i] = s / 32768.0;
    }
  } else {
    for (size_t i = 0; i < n; ++i) v[i] = (data[i] - 127) / 128.0;
  }
  return samples;
}

// Linear interpolation along a trace whose x ascends, for x that only grow
// from one call to the next; outside the trace its end values hold.
class Resampler {
 public:
  explicit Resampler(const WavTrace& t) : x_(t.x), y_(t.y.first(std::min(t.x.size(), t.y.size()))) {}
  double at(double x) {
    const size_t n = y_.size();
    while (j_ + 1 < n && x_[j_ + 1] <= x) ++j_;
    if (x <= x_[j_] || j_ + 1 == n) return y_[j_];
    return y_[j_] + (y_[j_ + 1] - y_[j_]) * (x - x_[j_]) / (x_[j_ + 1] - x_[j_]);
  }

 private:
  std::span<const double> x_;
  std::span<const double> y_;
  size_t j_ = 0;
};

// The samples to write: their number, the start, and their mean and peak
// deviation for the scaling.
struct SamplePlan {
  uint64_t count = 0;
  double from = 0;
  double mean = 0;
  double peak = 0;
};

// A trace that can be resampled: points, x ascending and every value finite.
bool trace_usable(const WavTrace& t) {
  const size_t n = std::min(t.x.size(), t.y.size());
  if (n == 0 || t.sample_rate <= 0) return false;
  for (size_t i = 0; i < n; ++i)
    if (!std::isfinite(t.x[i]) || !std::isfinite(t.y[i]) || (i > 0 && t.x[i] < t.x[i - 1])) return false;
  return true;
}

// Steps 1 to 3 of writing: the range, the count (asking about a big one) and the
// statistics. False after the message or when the user declined.
bool plan_samples(const WavTrace& t, Notify& notify, SamplePlan& plan) {
  if (!trace_usable(t)) {
    notify.error("Error interpolating trace data");
    return false;
  }
  const size_t n = std::min(t.x.size(), t.y.size());
  double from = 0, to = t.x[n - 1];
  if (t.zoom) {
    from = std::max(t.zoom->from, t.x[0]);
    to = std::min(t.zoom->to, t.x[n - 1]);
  }
  const double count = (to - from) * t.sample_rate + 1;
  if (!(count >= 1) || !std::isfinite(count)) {
    notify.error("Error interpolating trace data");
    return false;
  }
  if (count > kWavAskSamples &&
      notify.question(strprintf("Number of data samples required: %d MB\nDo you want to continue?",
                                static_cast<int>(std::min(count / 1e6, 2e9))),
                      QuestionKind::YesNo) != 1)
    return false;
  if (count > static_cast<double>(kMaxWriteSamples)) {
    notify.error("Wavefile unknown error");
    return false;
  }
  plan.count = static_cast<uint64_t>(count);
  plan.from = from;
  Resampler r(t);
  double sum = 0, lo = INFINITY, hi = -INFINITY;
  for (uint64_t i = 0; i < plan.count; ++i) {
    const double v = r.at(from + static_cast<double>(i) / t.sample_rate);
    sum += v;
    lo = std::min(lo, v);
    hi = std::max(hi, v);
  }
  plan.mean = sum / static_cast<double>(plan.count);
  plan.peak = std::max(hi - plan.mean, plan.mean - lo);
  return true;
}

uint8_t sample_byte(double v, const SamplePlan& plan) {
  if (!(plan.peak > 0)) return 127;
  const double scaled = std::trunc((v - plan.mean) / plan.peak * 128);
  return static_cast<uint8_t>(std::clamp(127 + scaled, 0.0, 255.0));
}

// The RIFF, "fmt " and "data" headers of an 8-bit mono file of count samples.
std::vector<uint8_t> wav_header(uint64_t count, int sample_rate) {
  const auto data_size = static_cast<uint32_t>(count);
  ByteWriter w;
  w.text("RIFF");
  w.u32(4 + (kChunkHeader + kFormatSize) + kChunkHeader + data_size + (data_size & 1));
  w.text("WAVE");
  w.text("fmt ");
  w.u32(kFormatSize);
  const auto rate = static_cast<uint32_t>(sample_rate);
  WavFormat{
      .tag = kFormatPcm, .channels = 1, .sample_rate = rate, .byte_rate = rate, .block_align = 1, .bits = 8}
      .encode(w);
  w.text("data");
  w.u32(data_size);
  return w.take();
}

}  // namespace

int wav_read_file(DataStore& store, const std::string& path, WavPlayback* playback) {
  MappedFile file;
  if (!file.open(path)) {
    store.notify().error("Cannot open audio wavefile:\n" + path);
    return 0;
  }
  WavReader reader(store, path);
  const int samples = reader.read(file.bytes());
  if (samples > 0 && playback) playback->remember(path);
  return samples;
}

int wav_write_trace(const std::string& path, const WavTrace& trace, Notify& notify) {
  SamplePlan plan;
  if (!plan_samples(trace, notify, plan)) return 0;
  AtomicFileWriter out;
  if (!out.open(path)) {
    notify.error("Cannot open output wavefile:\n" + path);
    return 0;
  }
  const std::vector<uint8_t> header = wav_header(plan.count, trace.sample_rate);
  out.write(header.data(), header.size());
  std::vector<uint8_t> buffer;
  buffer.reserve(kWriteBuffer);
  Resampler r(trace);
  for (uint64_t i = 0; i < plan.count; ++i) {
    buffer.push_back(sample_byte(r.at(plan.from + static_cast<double>(i) / trace.sample_rate), plan));
    if (buffer.size() == kWriteBuffer || i + 1 == plan.count) {
      out.write(buffer.data(), buffer.size());
      buffer.clear();
    }
  }
  // Chunks are of even length.
  if (plan.count & 1) {
    const uint8_t pad = 0;
    out.write(&pad, 1);
  }
  if (!out.commit()) {
    notify.error("Cannot write output wavefile");
    return 0;
  }
  return 1;
}

int wav_play(WavPlayback& playback, int mode, const WavTrace* trace, Notify& notify) {
  std::string path = playback.remembered();
  if (mode == 1) {
    if (!trace) return 0;
    path = path_in_folder(playback.folder(), kPlayTraceFile);
    if (!wav_write_trace(path, *trace, notify)) return 0;
  }
  if (path.empty()) return 0;
  return playback.player().play(path) ? 1 : 0;
}

void wav_stop(WavPlayback& playback) {
  playback.player().stop();
}

}  // namespace zephyrim
