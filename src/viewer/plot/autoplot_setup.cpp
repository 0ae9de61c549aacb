#include "viewer/plot/autoplot_setup.h"

#include "common/notify.h"
#include "common/progress.h"
#include "common/text_format.h"
#include "viewer/data/data_store.h"
#include "viewer/plot/fft_display.h"
#include "viewer/plot/histogram_display.h"
#include "viewer/plot/special_charts.h"
#include "viewer/plot/trace_selection.h"

namespace zephyrim {

namespace {

int vectors_of_kind(DataStore& store, int cls, int kind) {
  const DataClass* c = store.data_class(cls);
  return c && kind >= 0 && kind < kKindSlots ? c->kind_count[kind] : 0;
}

bool has_kind(DataStore& store, int kind) {
  return vectors_of_kind(store, DATA_CLASS_BINARY, kind) + vectors_of_kind(store, DATA_CLASS_TEXT, kind) > 0;
}

bool entry_for(const AutoplotTrace& t, int kind) {
  return !t.analysis || *t.analysis == kind;
}

// Without #AUTOPLOT entries: every printed vector of run 1 with an X vector.
int select_printed(Graph& graph, DataStore& store, int wanted, Notify& notify) {
  graph.cls = DATA_CLASS_TEXT;
  int added = 0;
  for (const DataVector& v : store.data_class(DATA_CLASS_TEXT)->vectors) {
    if (added >= wanted) break;
    if (v.kind != graph.analysis || v.run != 1 || !v.x) continue;
    if (!add_trace(graph, v, nullptr, 0, notify)) break;
    ++added;
  }
  return added;
}

}  // namespace

std::vector<TraceRequest> autoplot_requests(const AutoplotRequest& request, int kind) {
  std::vector<TraceRequest> out;
  for (const AutoplotTrace& t : request.traces) {
    if (!entry_for(t, kind)) continue;
    TraceRequest r;
    r.name = t.name;
    if (t.expression) r.expression = t.name.empty() ? *t.expression : t.name + "=" + *t.expression;
    r.plot = t.plot.value_or(0);
    r.part = t.part;
    out.push_back(std::move(r));
  }
  return out;
}

int choose_analysis(DataStore& store, const AutoplotRequest& request) {
  auto has = [&](int kind) {
    // An FFT request shows AC made of the transient data.
    const int data =
        kind == ANALYSIS_AC && request.fft && !has_kind(store, ANALYSIS_AC) ? ANALYSIS_TRAN : kind;
    return has_kind(store, data);
  };
  if (request.chart == CHART_HISTOGRAM) return ANALYSIS_OTHER;
  // The first statement's analysis that has data: the one the deck listed first.
  for (const AutoplotTrace& t : request.traces)
    if (t.analysis && has(*t.analysis)) return *t.analysis;
  if (request.analysis && has(*request.analysis)) return *request.analysis;
  for (int kind : {ANALYSIS_TRAN, ANALYSIS_AC, ANALYSIS_DC, ANALYSIS_NOISE, ANALYSIS_DISTO, ANALYSIS_PZ,
                   ANALYSIS_FOUR, ANALYSIS_OTHER})
    if (has(kind)) return kind;
  return -1;
}

int autoplot_select_variables(Graph& graph, DataStore& store, AutoplotRequest& request, Notify& notify,
                              const UserParameters* parameters) {
  const int kind = graph.analysis;
  store.progress().show("Select autoplot variables...");
  int wanted = kind >= 0 && kind < kKindSlots ? request.entries[kind] : 0;
  const bool entries = wanted > 0;
  if (!entries) wanted = vectors_of_kind(store, DATA_CLASS_TEXT, kind);
  if (wanted == 0) {
    notify.error(vectors_of_kind(store, DATA_CLASS_BINARY, kind) == 0
                     ? "No data available"
                     : "No auto plot data available - use Probe option");
    return 0;
  }
  if (!entries) return select_printed(graph, store, wanted, notify);
  if (graph.cls < 0) {
    if (vectors_of_kind(store, DATA_CLASS_BINARY, kind) > 0)
      graph.cls = DATA_CLASS_BINARY;
    else if (vectors_of_kind(store, DATA_CLASS_TEXT, kind) > 0)
      graph.cls = DATA_CLASS_TEXT;
    else {
      notify.error("#AUTOPLOT data not available");
      return 0;
    }
  }
  std::vector<TraceRequest> requests = autoplot_requests(request, kind);
  if (kind >= 0 && kind < kKindSlots && !request.x_variable[kind].empty())
    graph.x_variable = request.x_variable[kind];
  store.progress().show(strprintf("Autoplot select %d variables...", static_cast<int>(requests.size())));
  int added = select_traces(graph, store, requests, notify, parameters);
  // Names printed in the tables only: the same list again from there.
  if (added < static_cast<int>(requests.size()) && graph.cls == DATA_CLASS_BINARY &&
      vectors_of_kind(store, DATA_CLASS_TEXT, kind) > 0) {
    clear_traces(graph);
    graph.cls = DATA_CLASS_TEXT;
    requests = autoplot_requests(request, kind);
    added = select_traces(graph, store, requests, notify, parameters);
  }
  if (added == 0) notify.error("Selected autoplot analysis/data not available");
  store.progress().show(strprintf("Autoplot %d variables selected", added));
  // An unnamed expression takes the name it produced, so that a recall finds the same trace.
  size_t k = 0;
  for (AutoplotTrace& t : request.traces) {
    if (!entry_for(t, kind) || k >= requests.size()) continue;
    const TraceRequest& r = requests[k++];
    if (!t.name.empty() || !t.expression || r.traces == 0) continue;
    store.progress().show(strprintf("Autoplot save expression %d", static_cast<int>(k)));
    for (const auto& trace : graph.traces)
      if (trace->y->expression && iequals(*trace->y->expression, *r.expression)) t.name = trace->y->name;
  }
  return added;
}

void apply_autoplot_axes(Graph& graph, const AutoplotRequest& request) {
  const int k = graph.analysis >= 0 && graph.analysis < kKindSlots ? graph.analysis : ANALYSIS_OTHER;
  graph.x_log = request.xlog_for[k];
  graph.x_limits = request.x_limits_for[k];
  graph.x_label = request.x_label_for[k];
  for (int p = 0; p < kMaxPlots; ++p) {
    graph.plot[p].log = request.ylog[p];
    graph.plot[p].limits = request.y_limits[p];
    graph.plot[p].y_label = request.y_labels[p];
  }
}

int autoplot_setup(Graph& graph, DataStore& store, AutoplotRequest& request, Notify& notify,
                   const UserParameters* parameters, FftDisplay* fft_display) {
  store.progress().show("Loading autoplot data...");
  if (graph.analysis == ANALYSIS_AC && request.fft) {
    FftDisplay local;
    fft_autoplot(graph, store, request, notify, parameters, {}, fft_display ? *fft_display : local);
  } else if (graph.analysis == ANALYSIS_PZ) {
    graph.angular = true;
    if (graph.traces.empty()) {
      graph.cls =
          vectors_of_kind(store, DATA_CLASS_BINARY, ANALYSIS_PZ) > 0 ? DATA_CLASS_BINARY : DATA_CLASS_TEXT;
      for (const DataVector& v : store.data_class(graph.cls)->vectors)
        if (v.kind == ANALYSIS_PZ && v.x && !add_trace(graph, v, nullptr, 0, notify)) break;
    }
  } else if (graph.traces.empty()) {
    graph.chart = request.chart;
    if (request.chart == CHART_HISTOGRAM) graph.analysis = ANALYSIS_OTHER;
    autoplot_select_variables(graph, store, request, notify, parameters);
    // The histogram counts the first variable chosen.
    if (request.chart == CHART_HISTOGRAM && !graph.traces.empty() && graph.traces.front()->y &&
        !histogram_show(graph, store, *graph.traces.front()->y, notify))
      clear_traces(graph);
    // A Smith chart shows the traces converted; none converted leaves them as plain plots.
    if (request.chart == CHART_SMITH && !graph.traces.empty()) {
      graph.chart = CHART_NORMAL;
      smith_chart_show(graph, store, notify);
    }
  }
  const int count = static_cast<int>(graph.traces.size());
  store.progress().show(strprintf("Autoplot data loaded count %d", count));
  if (count == 0) {
    store.progress().done();
    return 0;
  }
  store.progress().show("Initializing plot...");
  if (graph.chart != CHART_SMITH) apply_autoplot_axes(graph, request);  // a Smith chart's axes are fixed
  graph.plots = plots_in_use(graph);
  const DataSetHeader& h = store.header;
  graph.header.circuit_title = h.title;
  graph.header.date = h.date;
  graph.header.time = h.time;
  graph.header.temperature = h.run_info;
  store.progress().done();
  return count;
}

}  // namespace zephyrim
