// Statements of any bytes over a small store: every line goes through the
// listing dispatcher (the way a listing reader hands them over), the same bytes
// run as a script file, and the work after a listing follows. Nothing may
// crash or hang, and what the state keeps stays within its limits.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>

#include "common/notify.h"
#include "common/progress.h"
#include "common/text_format.h"
#include "viewer/calc/script.h"
#include "viewer/calc/tabulate.h"
#include "viewer/data/data_store.h"

namespace {

using namespace zephyrim;

void fill(DataStore& store) {
  static const double t[] = {0, 1e-3, 2e-3, 3e-3, 4e-3, 5e-3};
  static const double a[] = {0, 1, 0, -1, 0, 1};
  static const double b[] = {5, 4, 3, 2, 1, 0};
  static const double c[] = {1, 0, 0, 1, -1, 0, 0, -1};
  for (int run = 0; run < 2; ++run) {
    const DataVector* time =
        store.add_vector({.name = "TIME", .kind = ANALYSIS_TRAN, .points = 6, .values = t});
    store.add_vector({.name = "V(1)", .kind = ANALYSIS_TRAN, .x = time, .points = 6, .values = run ? b : a});
    store.add_vector({.name = "V(2)", .kind = ANALYSIS_TRAN, .x = time, .points = 3, .values = a});
  }
  const DataVector* freq =
      store.add_vector({.name = "FREQ", .kind = ANALYSIS_AC, .points = 4, .values = t + 1});
  store.add_vector(
      {.name = "V(OUT)", .kind = ANALYSIS_AC, .complex = 1, .x = freq, .points = 4, .values = c});
  const DataVector* sweep =
      store.add_vector({.name = "V1", .cls = DATA_CLASS_TEXT, .kind = ANALYSIS_DC, .points = 6, .values = t});
  store.add_vector(
      {.name = "I(R1)", .cls = DATA_CLASS_TEXT, .kind = ANALYSIS_DC, .x = sweep, .points = 6, .values = b});
}

// A plain buffer, so that the removal at exit does not outlive the text it names.
char g_script_path[64];

const char* script_path() {
  if (!g_script_path[0]) {
    std::snprintf(g_script_path, sizeof g_script_path, "/tmp/zephyrim_script_fuzz_%d.qsc",
                  static_cast<int>(getpid()));
    std::atexit([] { std::remove(g_script_path); });
  }
  return g_script_path;
}

void check(const ScriptState& state) {
  const AutoplotRequest& r = state.autoplot;
  for (const AutoplotTrace& t : r.traces)
    if (t.name.size() > kAutoplotNameMax || (t.plot && (*t.plot < 0 || *t.plot >= kAutoplotPlots)) ||
        t.part >= kComplexForms)
      __builtin_trap();
  if (r.x_limits.manual && !(r.x_limits.min < r.x_limits.max)) __builtin_trap();
  if (state.subtitle.size() > kSubtitleMax || state.revision.size() > kRevisionMax ||
      state.script_name.size() > kScriptNameMax || state.write_data.size() > kWriteDataStatementsMax)
    __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static RecordingNotify notify(kTraceryTitle);
  static NullProgress progress;
  static DataStore store(notify, progress);
  static bool started = store.start();
  if (!started) __builtin_trap();
  store.clear_for_new_data();
  notify.clear();
  fill(store);

  const std::string_view text(reinterpret_cast<const char*>(data), size);
  ScriptState state;
  int fft_calls = 0;
  state.hooks.calc_fft = [&](DataStore&, std::string_view, const ExprSelection&) {
    ++fft_calls;
    return static_cast<const DataVector*>(nullptr);
  };
  state.hooks.apply_autoplot = [&](AutoplotRequest& r) {
    if (autoplot_describe(r).empty()) __builtin_trap();
  };
  // #WRITEDATA names files of its own choosing: here its statements are parsed, never written.
  state.hooks.write_data = [&](const std::vector<std::string>& statements) {
    for (const std::string& s : statements)
      if (write_data_parse(s, notify).entries.size() > static_cast<size_t>(kWriteDataEntriesMax))
        __builtin_trap();
  };
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (take_subtitle_line(state, line)) continue;
    size_t first = 0;
    while (first < line.size() && (line[first] == ' ' || line[first] == '\t')) ++first;
    if (first < line.size() && line[first] == '#')
      dispatch_listing_statement(state, ascii_upper(line.substr(first)), line, notify);
  }
  check(state);

  // The script is these same bytes; a #RUNSCRIPT name from the input is never opened.
  std::ofstream(script_path(), std::ios::binary | std::ios::trunc)
      .write(text.data(), static_cast<std::streamsize>(size));
  state.script_name = script_path();
  ScriptReport report;
  run_after_listing(state, store, notify, &report);
  check(state);
  state.script_name = script_path();
  const int executed = run_script_file(state, store, notify, &report);
  if (executed < 0 || !report.opened) __builtin_trap();
  check(state);
  return 0;
}
