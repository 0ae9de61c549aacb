#include "viewer/plot/histogram_display.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "common/notify.h"
#include "viewer/data/data_store.h"
#include "viewer/plot/axis_scale.h"

namespace zephyrim {

namespace {

constexpr int kGaussColour = COLOUR_RED;
constexpr int kCountColour = COLOUR_BLUE;

// The values of the source, read before any of the derived class is touched.
std::vector<double> source_values(DataStore& store, const DataVector& source) {
  const auto v = store.values(source);
  const size_t n = std::min(v.size(), static_cast<size_t>(std::max<int64_t>(source.points, 0)));
  return {v.begin(), v.begin() + static_cast<std::ptrdiff_t>(n)};
}

// The vectors a histogram chart made for its traces (counts, centres, curve).
std::vector<const DataVector*> chart_vectors(const Graph& graph) {
  std::vector<const DataVector*> out;
  if (graph.chart != CHART_HISTOGRAM) return out;
  for (const auto& t : graph.traces)
    for (const DataVector* v : {t->y, t->x})
      if (v && v->data_class == DATA_CLASS_DERIVED && std::find(out.begin(), out.end(), v) == out.end())
        out.push_back(v);
  return out;
}

// Those vectors gone from the store, once no graph shows them.
void remove_vectors(DataStore& store, const std::vector<const DataVector*>& vectors) {
  for (const DataVector* v : vectors) store.remove_vector(v);
}

// Stores the counts (and the curve when it is on) anew and points the traces
// at them; the vectors they showed before go.
int rebuild(Graph& graph, DataStore& store, const Histogram& h, std::span<const double> counts,
            Notify& notify) {
  const std::vector<const DataVector*> old = chart_vectors(graph);
  clear_traces(graph);
  remove_vectors(store, old);
  const DataVector* count = histogram_store_counts(store, h, counts);
  if (!count) return 0;
  if (SelectedTrace* t = add_trace(graph, *count, nullptr, 0, notify)) t->options.colour = kCountColour;
  if (h.gaussian)
    if (const DataVector* gauss = histogram_store_gaussian(store, h))
      if (SelectedTrace* t = add_trace(graph, *gauss, nullptr, 0, notify)) {
        t->options.colour = kGaussColour;
        t->options.pen_width = 2;
      }
  graph.plots = 1;
  return 1;
}

}  // namespace

int histogram_show(Graph& graph, DataStore& store, const DataVector& source, Notify& notify) {
  if (source.complex) return 0;
  try {
    const std::vector<double> values = source_values(store, source);
    Histogram h;
    h.source = source.name;
    if (!histogram_prepare(h, values, notify)) return 0;
    const std::vector<double> counts = histogram_counts(h, values, false);
    Graph chart;
    chart.options = graph.options;
    chart.header = graph.header;
    chart.analysis = ANALYSIS_OTHER;
    chart.cls = DATA_CLASS_DERIVED;
    chart.chart = CHART_HISTOGRAM;
    if (!rebuild(chart, store, h, counts, notify)) return 0;
    chart.x_label = source.name;
    chart.histogram = h;
    chart.histogram_source = &source;
    // A histogram shown before leaves no counts behind.
    const std::vector<const DataVector*> old = chart_vectors(graph);
    graph = std::move(chart);
    remove_vectors(store, old);
    return 1;
  } catch (const std::bad_alloc&) {
    notify.error("Cannot allocate memory for the histogram");
    return 0;
  }
}

int histogram_recount(Graph& graph, DataStore& store, Notify& notify) {
  if (!graph.histogram || !graph.histogram_source) return 0;
  try {
    const std::vector<double> values = source_values(store, *graph.histogram_source);
    return rebuild(graph, store, *graph.histogram, histogram_counts(*graph.histogram, values, true), notify);
  } catch (const std::bad_alloc&) {
    notify.error("Cannot allocate memory for the histogram");
    return 0;
  }
}

int histogram_fit_gaussian(Graph& graph, DataStore& store, Notify& notify) {
  if (!graph.histogram || graph.chart != CHART_HISTOGRAM) {
    notify.error("No histogram displayed");
    return 0;
  }
  if (!(graph.histogram->sd > 0)) {
    notify.error("The values have no spread: there is no Gaussian curve to fit");
    return 0;
  }
  graph.histogram->gaussian = true;
  return histogram_recount(graph, store, notify);
}

int histogram_yield(Graph& graph, DataStore& store, double low, double high, Notify& notify) {
  if (!graph.histogram || !graph.histogram_source) {
    notify.error("No histogram displayed");
    return 0;
  }
  try {
    const std::vector<double> values = source_values(store, *graph.histogram_source);
    return histogram_set_yield(*graph.histogram, values, low, high, notify);
  } catch (const std::bad_alloc&) {
    notify.error("Cannot allocate memory for the histogram");
    return 0;
  }
}

void histogram_axes(Graph& graph, DataStore& store) {
  if (graph.chart != CHART_HISTOGRAM || !graph.histogram) return;
  const Histogram& h = *graph.histogram;
  if (!graph.x_limits.manual && !graph.x_log && h.high > h.low) {
    graph.x_axis.data_min = h.low;
    graph.x_axis.data_max = h.high;
    graph.x_axis.limits_manual = 0;
    auto_axis_limits(graph.x_axis, false, graph.plots);
  }
  Plot& plot = graph.plot[0];
  if (plot.limits.manual || plot.log) return;
  double most = 0;
  for (const auto& t : graph.traces)
    if (t->plot == 0 && t->y)
      for (double c : store.values(*t->y))
        if (std::isfinite(c)) most = std::max(most, c);
  // Counts from 0, whole-number ticks, the top one above the largest count.
  AxisScale& a = plot.y_axis;
  a.data_min = 0;
  a.data_max = std::max(most, 1.0);
  a.limits_manual = 0;
  auto_axis_limits(a, true, graph.plots);
  if (a.spacing > 1) a.spacing = std::floor(a.spacing);
  if (!(a.spacing > 0)) a.spacing = 1;
  a.low = 0;
  a.high = (std::floor(most / a.spacing) + 1) * a.spacing;
  a.divisions = static_cast<int>(std::lround(a.high / a.spacing));
}

}  // namespace zephyrim
