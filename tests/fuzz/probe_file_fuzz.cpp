// PROBE files of any bytes: the catalogue pass and the loading of every vector
// (all at once or one by one) end without a crash, and every vector read gives
// as many values as it says.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "common/file_io.h"
#include "common/notify.h"
#include "common/progress.h"
#include "viewer/data/data_store.h"
#include "viewer/data/probe_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zephyrim;
  static RecordingNotify notify(kTraceryTitle);
  static NullProgress progress;
  static DataStore store(notify, progress);
  static const std::string path = "/tmp/zephyrim_probe_fuzz_" + std::to_string(getpid()) + ".SAV";
  static bool started = store.start();
  if (!started) __builtin_trap();
  store.clear_for_new_data();
  notify.clear();
  if (!write_file_atomic(path, std::string_view(reinterpret_cast<const char*>(data), size))) return 0;
  store.open_data_file(path);
  probe_read_file(store, path);
  // Every vector at once or each at its first use, as the last byte says.
  if (size > 0 && (data[size - 1] & 1)) store.load_all(DATA_CLASS_BINARY);
  for (const auto& v : store.data_class(DATA_CLASS_BINARY)->vectors) {
    const auto values = store.values(v);
    if (!values.empty() && values.size() != static_cast<size_t>(v.points) * (v.complex ? 2 : 1))
      __builtin_trap();
  }
  unlink(path.c_str());
  return 0;
}
