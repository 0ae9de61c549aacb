// zephyrim measure and script: measurement specs and viewer scripts run
// against a simulation data file.
#include <cstdio>

#include "batch/batch.h"
#include "common/file_io.h"
#include "common/notify.h"
#include "common/progress.h"
#include "common/text_format.h"
#include "viewer/calc/autoplot.h"
#include "viewer/calc/measure.h"
#include "viewer/calc/script.h"
#include "viewer/data/data_store.h"

namespace zephyrim {

namespace {

constexpr const char* kMeasureUsage =
    "usage: zephyrim measure DATAFILE [SPEC] [--spec SPEC]...\n"
    "Runs #MEASURE statements against the vectors of a data file, with or without the\n"
    "#MEASURE keyword, e.g. 'TRAN DELAY TD1 VAR1=V(IN) VAL1=2.5 VAR2=V(OUT) RISE RISE'.\n"
    "Without a SPEC, the #MEASURE statements the data file holds (a simulator's listing,\n"
    "FILE.OUT, holds those of its netlist).\n"
    "Prints one line per run that gave a result, tab-separated: run number, run label\n"
    "(- for none), result name, value.\n"
    "Exit status: 0 every spec measured something, 1 a spec failed or found nothing\n"
    "(its message on stderr), 2 the data file could not be read.\n";

// One line per result, in the order the specs ran.
void print_outcome(const MeasureOutcome& o) {
  for (size_t k = 0; k < o.values.size(); ++k)
    std::printf("%d\t%s\t%s\t%.15g\n", o.runs[k], o.labels[k].empty() ? "-" : o.labels[k].c_str(),
                o.name.c_str(), o.values[k]);
}

constexpr const char* kMeasureSummary = "run measurement specs against a simulation data file";
int measure(const Arguments& a) {
  BatchNotify notify(kTraceryTitle, a.answer);
  StderrProgress progress;
  DataStore store(notify, progress);
  if (!load_data_file(store, a.positionals[0])) return 2;
  std::vector<std::string> statements;
  if (a.positionals.size() > 1) statements.push_back(a.positionals[1]);
  for (auto& s : a.texts("--spec")) statements.push_back(s);
  if (statements.empty()) {
    // The listing's own statements; a binary file simply holds none.
    if (const auto text = read_text_file(a.positionals[0], uint64_t{64} << 20))
      for (const auto line : split_lines(*text))
        if (line.size() > 8 && iequals(line.substr(0, 8), "#MEASURE")) statements.emplace_back(line);
    if (statements.empty()) {
      std::fprintf(stderr, "zephyrim measure: %s holds no #MEASURE statement\n", a.positionals[0].c_str());
      return 1;
    }
  }
  MeasureList list;
  bool failed = false;
  for (const auto& s : statements) {
    // An unknown kind is refused without a message of its own; the user must still learn which.
    if (measure_parse_statement(list, ascii_upper(s), notify)) continue;
    std::fprintf(stderr, "zephyrim measure: statement not taken: %s\n", s.c_str());
    failed = true;
  }
  std::vector<MeasureOutcome> outcomes;
  measure_run_all(store, list, &outcomes);
  for (const auto& o : outcomes) {
    print_outcome(o);
    if (o.status > 0 && o.values.empty()) measure_report(notify, o.name, 0, 0);
    failed |= o.status <= 0 || o.values.empty();
  }
  return failed ? 1 : 0;
}

constexpr const char* kScriptUsage =
    "usage: zephyrim script SCRIPT.qsc [--data DATAFILE]\n"
    "Runs a viewer script (#MEASURE, #CALC, #AUTOPLOT ... lines) against the vectors of a\n"
    "data file, as the viewer's Run Script File does, and prints what it did:\n"
    "  measured   one line per run that gave a result: run number, run label (- for\n"
    "             none), result name, value (tab-separated)\n"
    "  computed   one line per vector a #CALC line registered: name, run, points,\n"
    "             class, analysis kind, and the entry that computed it\n"
    "  autoplot   the plots, traces, axes and labels the #AUTOPLOT lines set up\n"
    "  tabulated  one line per #TABULATE name found in the data file's listing: name,\n"
    "             values, X vector\n"
    "  written    one line per #WRITEDATA statement that wrote: variables, file\n"
    "#TABULATE reads the listing of the data file (FILE.OUT beside a binary one).\n"
    "#WRITEDATA writes text data files: FILE= names one (relative to the data file's\n"
    "folder), else it is FILE_WRITEDATA.TXT beside the data file; NEW writes it anew,\n"
    "otherwise the variables are added to its end.\n"
    "Statements whose output this version cannot produce are named on stderr and do not\n"
    "count as failed.\n"
    "Exit status: 0 every statement did its work, 1 a statement failed (its message on\n"
    "stderr), 2 the script or the data file could not be read.\n";

constexpr const char* kScriptSummary = "run a viewer script against a simulation data file";
int script(const Arguments& a) {
  BatchNotify notify(kTraceryTitle, a.answer);
  StderrProgress progress;
  DataStore store(notify, progress);
  if (a.has("--data") ? !load_data_file(store, a.text("--data")) : !store.start()) return 2;
  ScriptState state;
  state.script_name = a.positionals[0];
  ScriptReport report;
  run_script_file(state, store, notify, &report);
  if (!report.opened) return 2;
  if (!report.measures.empty()) std::printf("measured\n");
  for (const auto& o : report.measures) print_outcome(o);
  if (!report.calculated.empty()) std::printf("computed\n");
  for (const auto& c : report.calculated)
    std::printf("%s\t%d\t%lld\t%d\t%s\t%s\n", c.name.c_str(), c.run, static_cast<long long>(c.points), c.cls,
                analysis_short_name(c.kind), c.entry.c_str());
  if (state.autoplot.statements > 0) std::printf("autoplot\n%s", autoplot_describe(state.autoplot).c_str());
  bool heading = false;
  for (const auto& t : report.tabulated) {
    if (t.points <= 0) continue;
    if (!heading) std::printf("tabulated\n");
    heading = true;
    std::printf("%s\t%d\t%s\n", t.name.c_str(), t.points, t.x_name.c_str());
  }
  heading = false;
  for (const auto& w : report.written) {
    if (w.status <= 0) continue;
    if (!heading) std::printf("written\n");
    heading = true;
    std::printf("%d\t%s\n", w.variables, w.file.c_str());
  }
  for (const auto& s : report.not_available)
    std::fprintf(stderr, "not available in this version: %s\n", s.c_str());
  return report.failed.empty() ? 0 : 1;
}

}  // namespace

std::vector<Verb> measure_verbs() {
  const OptionSpec spec{.name = "--spec", .needs = "a #MEASURE statement"};
  const OptionSpec data{.name = "--data", .needs = "a data file"};
  return {{"measure", kMeasureSummary, kMeasureUsage, {"DATAFILE", "[SPEC]"}, {spec}, measure},
          {"script", kScriptSummary, kScriptUsage, {"SCRIPT"}, {data}, script}};
}

}  // namespace zephyrim
