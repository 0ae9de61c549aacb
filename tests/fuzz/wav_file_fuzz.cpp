// WAV files of any bytes: reading ends without a crash and gives two vectors of
// the samples or none; samples read are written out as a trace again.
#include <unistd.h>

#include <cstdint>
#include <string>

#include "common/file_io.h"
#include "common/notify.h"
#include "common/progress.h"
#include "viewer/data/data_store.h"
#include "viewer/data/wav_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zephyrim;
  static RecordingNotify notify(kTraceryTitle);
  static NullProgress progress;
  static DataStore store(notify, progress);
  static const std::string path = "/tmp/zephyrim_wav_fuzz_" + std::to_string(getpid()) + ".wav";
  static const std::string out = "/tmp/zephyrim_wav_fuzz_" + std::to_string(getpid()) + ".out.wav";
  static bool started = store.start();
  if (!started) __builtin_trap();
  store.clear_for_new_data();
  notify.clear();
  // Declines the question before a trace of over ten million samples.
  notify.set_default_answer(0);
  if (!write_file_atomic(path, std::string_view(reinterpret_cast<const char*>(data), size))) return 0;
  const int samples = wav_read_file(store, path);
  const int vectors = store.total_vectors();
  if (samples < 0 || (samples == 0) != (vectors == 0) || (vectors != 0 && vectors != 2)) __builtin_trap();
  if (samples > 0) {
    const DataVector* time = store.find_vector("TIME", DATA_CLASS_TEXT, -1, -1, -1);
    const DataVector* audio = store.find_vector("VAUDIO", DATA_CLASS_TEXT, -1, -1, -1);
    if (!time || !audio || audio->points != samples) __builtin_trap();
    const auto x = store.values(*time), y = store.values(*audio);
    if (x.size() != static_cast<size_t>(samples) || y.size() != x.size()) __builtin_trap();
    for (const double v : y)
      if (!(v >= -1 && v <= 1)) __builtin_trap();
    wav_write_trace(out, {.x = x, .y = y, .sample_rate = 100}, notify);
    if (file_exists(out) && wav_read_file(store, out) <= 0) __builtin_trap();
  }
  unlink(path.c_str());
  unlink(out.c_str());
  return 0;
}
