#include "viewer/plot/plot_model.h"

#include <algorithm>
#include <cmath>

#include "common/notify.h"
#include "common/text_format.h"
#include "viewer/data/data_store.h"
#include "viewer/plot/level_of_detail.h"

namespace zephyrim {

const char* const kTraceColours[16] = {"Black", "Blue",      "Green",  "Cyan",   "Red",     "Magenta",
                                       "Brown", "L Grey",    "Gray",   "L Blue", "L Green", "L Cyan",
                                       "L Red", "L Magenta", "Yellow", "White"};
const char* const kTraceSymbols[10] = {"None",         "Circle",       "Square",         "Triangle",
                                       "Solid circle", "Solid square", "Solid triangle", "Dot",
                                       "Bar",          "Vertical line"};
const char* const kTraceDisplays[3] = {"Normal", "Highlight", "Hide"};
const char* const kTraceLineTypes[10] = {"Blank",     "Solid",      "Dashed",       "Dash-dot",
                                         "Dotted",    "Short dash", "Dash-dot-dot", "Dotdot-dot",
                                         "Long dash", "Dot-dot-dot"};
const char* const kTracePenWidths[6] = {"Thin", "Normal", "x2", "x3", "x5", "x7"};
const char* const kAnalysisChoiceLabels[8] = {"&AC Sweep/FFT/Other Complex Data ",
                                              "&DC Sweep",
                                              "&TRANSIENT",
                                              "&NOISE",
                                              "D&ISTORTION",
                                              "POLE-&ZERO",
                                              ".FOURier",
                                              "&OTHER Data"};
const int kAnalysisChoiceKinds[8] = {ANALYSIS_AC,    ANALYSIS_DC, ANALYSIS_TRAN, ANALYSIS_NOISE,
                                     ANALYSIS_DISTO, ANALYSIS_PZ, ANALYSIS_FOUR, ANALYSIS_OTHER};

namespace {

// New traces take these colours in turn: strong ones first, never the
// background's white or the axes' black.
constexpr int kColourSequence[] = {1, 4, 2, 5, 6, 3, 9, 12, 10, 13, 11, 8};

}  // namespace

Graph::Graph() = default;
Graph::~Graph() = default;
Graph::Graph(Graph&&) noexcept = default;
Graph& Graph::operator=(Graph&&) noexcept = default;

LevelOfDetail* trace_detail(Graph& graph, DataStore& store, const SelectedTrace& trace) {
  if (!trace.x || !trace.y) return nullptr;
  const auto key = std::make_pair(trace.x, trace.y);
  auto it = graph.details.find(key);
  if (it != graph.details.end()) return it->second.get();
  // Both are read before either view is taken: a load may move the values.
  if (store.values(*trace.x).empty() || store.values(*trace.y).empty()) return nullptr;
  auto detail = std::make_unique<LevelOfDetail>(store.values(*trace.x), store.values(*trace.y));
  detail->start_build();
  return graph.details.emplace(key, std::move(detail)).first->second.get();
}

std::string axis_list_name(int index) {
  return index == 0 ? "X bottom" : "Y plot " + std::to_string(index);
}

std::string move_list_name(int index) {
  return index == 0 ? "No change" : "Plot " + std::to_string(index);
}

bool grow_trace_table(Graph& graph, size_t n, Notify& notify) {
  if (graph.max_selected > 0 && n > static_cast<size_t>(graph.max_selected)) {
    notify.error(strprintf("Number of selected variables exceed limit of %d", graph.max_selected));
    return false;
  }
  if (graph.capacity < n) {
    graph.capacity = (n / 100 + 1) * 100;
    if (graph.capacity < n) graph.capacity += 50;
    graph.traces.reserve(graph.capacity);
  }
  return true;
}

SelectedTrace* add_trace(Graph& graph, const DataVector& y, const DataVector* x, int plot, Notify& notify) {
  if (!grow_trace_table(graph, graph.traces.size() + 1, notify)) return nullptr;
  auto t = std::make_unique<SelectedTrace>();
  t->y = &y;
  t->x = x ? x : y.x;
  t->plot = std::clamp(plot, 0, kMaxPlots - 1);
  t->name = y.name;
  if (y.expression) t->expression = *y.expression;
  t->options.colour = kColourSequence[graph.traces.size() % std::size(kColourSequence)];
  graph.traces.push_back(std::move(t));
  return graph.traces.back().get();
}

void clear_traces(Graph& graph) {
  graph.traces.clear();
  graph.details.clear();
  graph.capacity = 0;
  graph.plot = {};
  graph.x_axis = {};
  graph.plots = 1;
}

int plots_in_use(const Graph& graph) {
  int n = 1;
  for (const auto& t : graph.traces) n = std::max(n, t->plot + 1);
  return n;
}

bool trace_log_check(DataStore& store, const SelectedTrace& trace, bool x_log, bool y_log, Notify& notify) {
  if (x_log && trace.x) {
    const auto x = store.values(*trace.x);
    if (std::none_of(x.begin(), x.end(), [](double v) { return v > 0; })) {
      notify.error("X data out of range, cannot display on log scale");
      return false;
    }
  }
  if (y_log && trace.y) {
    const auto y = store.values(*trace.y);
    if (std::none_of(y.begin(), y.end(), [](double v) { return v != 0 && std::isfinite(v); })) {
      notify.error("Data out of range, cannot display on log scale");
      return false;
    }
  }
  return true;
}

}  // namespace zephyrim
