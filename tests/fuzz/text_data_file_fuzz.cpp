// Text data files of any bytes: reading ends without a crash, every vector
// holds its values, and every table read is written out again in each form.
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/file_io.h"
#include "common/notify.h"
#include "common/progress.h"
#include "viewer/data/data_store.h"
#include "viewer/data/text_data_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zephyrim;
  static RecordingNotify notify(kTraceryTitle);
  static NullProgress progress;
  static DataStore store(notify, progress);
  static const std::string path = "/tmp/zephyrim_text_fuzz_" + std::to_string(getpid()) + ".txt";
  static const std::string out = "/tmp/zephyrim_text_fuzz_" + std::to_string(getpid()) + ".out";
  static bool started = store.start();
  if (!started) __builtin_trap();
  store.clear_for_new_data();
  notify.clear();
  if (!write_file_atomic(path, std::string_view(reinterpret_cast<const char*>(data), size))) return 0;
  text_read_file(store, path, true);
  std::vector<TextTrace> traces;
  for (const auto& v : store.data_class(DATA_CLASS_TEXT)->vectors) {
    const auto values = store.values(v);
    if (values.size() != static_cast<size_t>(v.points)) __builtin_trap();
    if (v.x) traces.push_back({v.x->name, v.name, store.values(*v.x), values});
  }
  const TextHeaderTexts headers{"title", {store.header.date, store.header.time, store.header.command}};
  for (const TextForm form : {TEXT_DATA_ONLY, TEXT_SPICE_INCLUDE, TEXT_WITH_HEADERS})
    if (text_write_file(notify, out, form, false, headers, traces) != static_cast<int>(traces.size()))
      __builtin_trap();
  // What was written reads again (its values need not: a NAN written is no number).
  if (!traces.empty()) {
    store.clear_for_new_data();
    text_read_file(store, out, false);
  }
  unlink(path.c_str());
  unlink(out.c_str());
  return 0;
}
