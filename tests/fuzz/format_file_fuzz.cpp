// Plot format files of any bytes: parsing ends without a crash, what parses
// writes back to bytes that parse to the same bytes again, and loading onto a
// graph either succeeds or leaves the graph as it was.
#include <unistd.h>

#include <cstdint>
#include <string>

#include "common/file_io.h"
#include "common/notify.h"
#include "common/progress.h"
#include "viewer/data/data_store.h"
#include "viewer/plot/format_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zephyrim;
  static RecordingNotify notify(kTraceryTitle);
  static NullProgress progress;
  static DataStore store(notify, progress);
  static const std::string path = "/tmp/zephyrim_format_fuzz_" + std::to_string(getpid()) + ".F01";
  static bool started = [] {
    if (!store.start()) return false;
    const double t[] = {0, 1, 2};
    const double v[] = {1, 2, 3};
    const DataVector* x = store.add_vector({.name = "TIME", .kind = ANALYSIS_TRAN, .points = 3, .values = t});
    return store.add_vector({.name = "V(1)", .kind = ANALYSIS_TRAN, .x = x, .points = 3, .values = v}) !=
           nullptr;
  }();
  if (!started) __builtin_trap();
  notify.clear();

  FormatFile file;
  if (format_parse({data, size}, file).status == FormatRead::ok) {
    const std::vector<uint8_t> once = format_bytes(file);
    FormatFile again;
    if (format_parse(once, again).status != FormatRead::ok || format_bytes(again) != once) __builtin_trap();
  }

  if (!write_file_atomic(path, std::string_view(reinterpret_cast<const char*>(data), size))) return 0;
  Graph graph;
  graph.plot[0].y_label = "unchanged";
  if (format_load(graph, store, path, notify) == 0) {
    if (!graph.traces.empty() || graph.plot[0].y_label != "unchanged" || notify.entries().empty())
      __builtin_trap();
  } else {
    for (const auto& t : graph.traces)
      if (!t->y || t->plot < 0 || t->plot >= kMaxPlots) __builtin_trap();
  }
  unlink(path.c_str());
  return 0;
}
