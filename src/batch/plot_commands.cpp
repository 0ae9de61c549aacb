// zephyrim autoplot: the graph the viewer would show first for a data file,
// as text: plots, traces, axes with their limits and tick labels.
#include <cmath>
#include <cstdio>
#include <optional>

#include "batch/batch.h"
#include "common/eng_number.h"
#include "common/file_io.h"
#include "common/notify.h"
#include "common/progress.h"
#include "common/text_format.h"
#include "viewer/calc/autoplot.h"
#include "viewer/calc/data_open.h"
#include "viewer/calc/script.h"
#include "viewer/data/data_store.h"
#include "viewer/plot/autoplot_setup.h"
#include "viewer/plot/format_file.h"
#include "viewer/plot/graph_axes.h"
#include "viewer/plot/special_charts.h"
#include "viewer/plot/tick_labels.h"

namespace zephyrim {

namespace {

constexpr const char* kAutoplotUsage =
    "usage: zephyrim autoplot DATAFILE [--script SCRIPT.qsc] [--kind KIND]\n"
    "Prints, as text, the graph the viewer shows first for a data file: the analysis and\n"
    "data class, then the X axis and each plot's Y axis (scale, limits, tick spacing,\n"
    "divisions and the tick labels) and each plot's traces (name, run, X vector,\n"
    "colour). The #AUTOPLOT statements of a listing, or of the script when one is\n"
    "given, choose the traces; without any, every vector the listing printed is shown.\n"
    "The analysis is the first the statements name that has data, or --kind: tran, ac,\n"
    "dc, noise, pz, four, other.\n"
    "Exit status: 0 shown, 1 nothing to show (the reason on stderr), 2 not read.\n";

void print_axis(const char* what, const AxisScale& axis, const std::string& trace_name, bool angular) {
  TickStyle style = default_tick_style(axis);
  style.unit_name = auto_unit_name(trace_name, angular);
  const AxisTicks ticks = axis_ticks(axis, style);
  std::printf("%s: %s %.6g .. %.6g, spacing %.6g, %d divisions%s%s\n", what,
              axis.log_scale ? "log" : "linear", axis.low, axis.high, axis.spacing, axis.divisions,
              axis.limits_manual ? ", manual" : "",
              ticks.caption.empty() ? "" : (", caption " + ticks.caption).c_str());
  std::printf("  ticks:");
  for (const TickMark& m : ticks.marks) {
    if (m.label.text.empty()) continue;
    std::printf(" %s", m.label.text.c_str());
    if (!m.label.exponent.empty()) std::printf("^%s", m.label.exponent.c_str());
  }
  std::printf("\n");
}

// Opens the data file and runs the --script given; 0, or the exit status of a failure.
int open_data(const Arguments& a, DataStore& store, ScriptState& script, DataOpenSession& session) {
  session.script = &script;
  if (!store.start() || data_open(store, a.positionals[0], -1, true, session) <= 0) return 2;
  if (a.has("--script")) {
    script.script_name = a.text("--script");
    ScriptReport report;
    run_script_file(script, store, store.notify(), &report);
    if (!report.opened) return 2;
  }
  return 0;
}

// The plot verb's --chart and --eye, as the Plot and Transform menus apply
// them to the graph shown; 0, or the exit status after the message.
int apply_transforms(const Arguments& a, DataStore& store, Graph& graph) {
  Notify& notify = store.notify();
  if (a.has("--chart")) {
    const std::string chart = ascii_lower(a.text("--chart"));
    if (chart != "smith" && chart != "polar") return usage_error(a, "--chart needs smith or polar");
    if ((chart == "smith" ? smith_chart_show(graph, store, notify)
                          : polar_chart_show(graph, store, notify)) == 0)
      return 1;
  }
  if (a.has("--eye")) {
    const auto period = eng_word(a.text("--eye"));
    const auto delay = eng_word(a.text("--eye-delay", "0"));
    if (!period || !delay) return usage_error(a, "--eye and --eye-delay need numbers, e.g. 1u");
    graph_update_axes(graph, store, notify);  // the data's time range is the window
    const EyeOptions o{
        .period = *period, .delay = *delay, .t_low = graph.x_axis.data_min, .t_high = graph.x_axis.data_max};
    if (!eye_options_check(o, notify) || eye_display_show(graph, store, o, notify) == 0) return 1;
  }
  return 0;
}

}  // namespace

int batch_autoplot_graph(const Arguments& a, DataStore& store, Graph& graph) {
  Notify& notify = store.notify();
  ScriptState script;
  DataOpenSession session;
  if (const int status = open_data(a, store, script, session)) return status;
  graph.analysis =
      a.has("--kind") ? analysis_kind(a.text("--kind")) : choose_analysis(store, script.autoplot);
  if (a.has("--kind") && graph.analysis < 0)
    return usage_error(a, "--kind needs tran, ac, dc, noise, pz, four or other");
  if (graph.analysis < 0 || autoplot_setup(graph, store, script.autoplot, notify, &session.parameters) == 0)
    return 1;
  if (const int status = apply_transforms(a, store, graph)) return status;
  return graph_update_axes(graph, store, notify) ? 0 : 2;
}

int batch_format_graph(const Arguments& a, DataStore& store, Graph& graph) {
  Notify& notify = store.notify();
  ScriptState script;
  DataOpenSession session;
  if (const int status = open_data(a, store, script, session)) return status;
  if (a.has("--kind")) {
    graph.analysis = analysis_kind(a.text("--kind"));
    if (graph.analysis < 0) return usage_error(a, "--kind needs tran, ac, dc, noise, pz, four or other");
  }
  // The header texts describe the data drawn, not the data the format was made on.
  const DataSetHeader& h = store.header;
  graph.header.circuit_title = h.title;
  graph.header.date = h.date;
  graph.header.time = h.time;
  graph.header.temperature = h.run_info;
  std::string path = a.text("--format");
  if (a.has("--slot"))
    path = format_slot_file(format_base_name(path), static_cast<int>(a.integer("--slot", 0)));
  if (format_load(graph, store, path, notify, nullptr, &session.parameters) == 0) return 1;
  return graph_update_axes(graph, store, notify) ? 0 : 2;
}

namespace {

constexpr const char* kFormatsUsage =
    "usage: zephyrim formats FILE\n"
    "Lists the plot format files of the project FILE belongs to (FILE is any of its\n"
    "files: the data file, the schematic or one of its format files NAME.F00 .. NAME.F99),\n"
    "one line per slot that holds a format: the slot, the description, the data file it\n"
    "was saved from, the analysis and the traces, separated by tabs.\n"
    "Exit status: 0 listed, 1 no format file found.\n";
constexpr const char* kFormatsSummary = "list the saved plot formats of a project";

int formats(const Arguments& a) {
  const std::string base = format_base_name(a.positionals[0]);
  int listed = 0;
  for (int slot = 0; slot < kFormatSlots; ++slot) {
    const std::string path = format_slot_file(base, slot);
    if (!file_exists(path)) continue;
    const auto f = format_read_file(path);
    if (!f) {
      std::fprintf(stderr, "%s: %s\n", path.c_str(), kFormatNotCompatible);
      continue;
    }
    std::string traces;
    for (const FormatTrace& t : f->traces) traces += (traces.empty() ? "" : " ") + t.name;
    std::printf("%02d\t%s\t%s\t%s\t%s\n", slot, f->description.str().c_str(), f->data_file.str().c_str(),
                f->analysis >= 0 ? analysis_short_name(f->analysis) : "-", traces.c_str());
    ++listed;
  }
  if (listed == 0) std::fprintf(stderr, "No plot format files %s00 .. %s99\n", base.c_str(), base.c_str());
  return listed > 0 ? 0 : 1;
}

constexpr const char* kAutoplotSummary = "print the graph the viewer would show first for a data file";
int autoplot(const Arguments& a) {
  BatchNotify notify(kTraceryTitle, a.answer);
  StderrProgress progress;
  DataStore store(notify, progress);
  Graph graph;
  if (const int status = batch_autoplot_graph(a, store, graph)) return status;
  std::printf("analysis %s, %s, %d plot%s, chart %s\n", analysis_short_name(graph.analysis),
              graph.cls == DATA_CLASS_TEXT ? ".PRINT/text data" : ".PROBE/binary data", graph.plots,
              graph.plots == 1 ? "" : "s",
              graph.chart == CHART_SMITH       ? "Smith"
              : graph.chart == CHART_HISTOGRAM ? "histogram"
              : graph.chart == CHART_POLAR     ? "polar"
                                               : "normal");
  const SelectedTrace& first = *graph.traces.front();
  print_axis(("x " + (first.x ? first.x->name : std::string("-"))).c_str(), graph.x_axis,
             first.x ? first.x->name : std::string(), graph.angular);
  for (int p = 0; p < graph.plots; ++p) {
    std::string name;
    for (const auto& t : graph.traces)
      if (t->plot == p && name.empty()) name = t->name;
    if (name.empty()) continue;
    std::printf("plot %d%s%s\n", p + 1, graph.plot[p].y_label.empty() ? "" : ": ",
                graph.plot[p].y_label.c_str());
    // Counts have no unit, whatever letter COUNT begins with.
    print_axis("  y", graph.plot[p].y_axis, graph.chart == CHART_HISTOGRAM ? std::string() : name,
               graph.angular);
    for (const auto& t : graph.traces)
      if (t->plot == p)
        std::printf("  trace %s  run %d  x %s  %s\n", t->name.c_str(), t->y->run,
                    t->x ? t->x->name.c_str() : "-", kTraceColours[t->options.colour]);
  }
  return 0;
}

}  // namespace

std::vector<Verb> plot_verbs() {
  const OptionSpec script{.name = "--script", .needs = "a script file"};
  const OptionSpec kind{.name = "--kind", .needs = "an analysis kind"};
  return {{"autoplot", kAutoplotSummary, kAutoplotUsage, {"DATAFILE"}, {script, kind}, autoplot},
          {"formats", kFormatsSummary, kFormatsUsage, {"FILE"}, {}, formats}};
}

}  // namespace zephyrim
