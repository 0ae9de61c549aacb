// Trace history files of any bytes: parsing ends without a crash, what parses
// writes back to bytes that parse to the same bytes again, and a load either
// registers every trace or leaves the history class as it was.
#include <unistd.h>

#include <cstdint>
#include <string>

#include "common/file_io.h"
#include "common/notify.h"
#include "common/progress.h"
#include "viewer/data/data_store.h"
#include "viewer/plot/history_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zephyrim;
  static RecordingNotify notify(kTraceryTitle);
  static NullProgress progress;
  static DataStore store(notify, progress);
  static const std::string path = "/tmp/zephyrim_history_fuzz_" + std::to_string(getpid()) + ".O07";
  static bool started = store.start();
  if (!started) __builtin_trap();
  store.clear_class(DATA_CLASS_HISTORY);
  notify.clear();

  HistoryFile file;
  if (history_parse({data, size}, file).status == HistoryRead::ok) {
    const std::vector<uint8_t> once = history_bytes(file);
    HistoryFile again;
    if (history_parse(once, again).status != HistoryRead::ok || history_bytes(again) != once)
      __builtin_trap();
  }

  if (!write_file_atomic(path, std::string_view(reinterpret_cast<const char*>(data), size))) return 0;
  const int traces = history_load(store, path, notify);
  const DataClass* c = store.data_class(DATA_CLASS_HISTORY);
  if (traces == 0 && !notify.entries().empty() && c->count != 0) __builtin_trap();
  for (const DataVector& v : c->vectors) {
    if (v.run != 7) __builtin_trap();
    if (store.values(v).size() != static_cast<size_t>(v.points)) __builtin_trap();
  }
  unlink(path.c_str());
  return 0;
}
