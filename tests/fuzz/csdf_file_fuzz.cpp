// CSDF files of any bytes: reading ends without a crash, and every vector
// registered holds as many values as it says.
#include <unistd.h>

#include <cstdint>
#include <string>

#include "common/file_io.h"
#include "common/notify.h"
#include "common/progress.h"
#include "viewer/data/csdf_file.h"
#include "viewer/data/data_store.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zephyrim;
  static RecordingNotify notify(kTraceryTitle);
  static NullProgress progress;
  static DataStore store(notify, progress);
  static const std::string path = "/tmp/zephyrim_csdf_fuzz_" + std::to_string(getpid()) + ".csd";
  static bool started = store.start();
  if (!started) __builtin_trap();
  store.clear_for_new_data();
  notify.clear();
  if (!write_file_atomic(path, std::string_view(reinterpret_cast<const char*>(data), size))) return 0;
  const int registered = csdf_read_file(store, path, size > 0 && (data[0] & 1));
  if (registered != store.data_class(DATA_CLASS_BINARY)->count) __builtin_trap();
  for (const auto& v : store.data_class(DATA_CLASS_BINARY)->vectors)
    if (store.values(v).size() != static_cast<size_t>(v.points) * (v.complex ? 2 : 1)) __builtin_trap();
  unlink(path.c_str());
  return 0;
}
