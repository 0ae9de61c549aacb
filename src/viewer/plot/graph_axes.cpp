#include "viewer/plot/graph_axes.h"

#include <algorithm>
#include <cmath>

#include "viewer/data/data_store.h"
#include "viewer/plot/axis_scale.h"
#include "viewer/plot/histogram_display.h"
#include "viewer/plot/level_of_detail.h"

namespace zephyrim {

namespace {

// Sets an axis's data range and its limits: manual ones as given, else automatic.
void set_axis(AxisScale& axis, bool log, double lo, double hi, const AxisLimits& manual, bool y_axis,
              int plots) {
  axis.log_scale = log ? 1 : 0;
  axis.data_min = lo;
  axis.data_max = hi;
  if (manual.manual) {
    apply_autoplot_limits(axis, manual);
    return;
  }
  axis.limits_manual = 0;
  auto_axis_limits(axis, y_axis, plots);
}

// The data range of a plot's traces from their drawing summaries, which know
// it already: a second pass over millions of values would double the time to
// the first picture. False where only the exact pass will do: log axes, and
// values beyond the out-of-range bound, which that pass leaves out.
bool summary_range(Graph& graph, DataStore& store, int plot, bool y_log, PlotDataRange& r) {
  if (graph.x_log || y_log) return false;
  bool first = true;
  for (const auto& t : graph.traces) {
    if (!(t->plot == plot && t->x && t->y && t->options.display != DISPLAY_HIDE)) continue;
    LevelOfDetail* d = trace_detail(graph, store, *t);
    if (!d) return false;
    const LodRange x = d->x_range(), y = d->y_range();
    if (x.empty || y.empty) return false;
    for (double v : {x.min, x.max, y.min, y.max})
      if (!(std::abs(v) <= kOutOfRangeValue)) return false;
    r.x_min = first ? x.min : std::min(r.x_min, x.min);
    r.x_max = first ? x.max : std::max(r.x_max, x.max);
    r.y_min = first ? y.min : std::min(r.y_min, y.min);
    r.y_max = first ? y.max : std::max(r.y_max, y.max);
    first = false;
  }
  r.has_x = r.has_y = !first;
  return !first;
}

}  // namespace

bool graph_update_axes(Graph& graph, DataStore& store, Notify& notify) {
  // Every vector is read before any view is taken: a load may move the values.
  for (const auto& t : graph.traces)
    if ((t->y && store.values(*t->y).empty() && t->y->points > 0) ||
        (t->x && store.values(*t->x).empty() && t->x->points > 0))
      return false;
  graph.plots = plots_in_use(graph);
  bool any_x = false;
  double x_lo = 0, x_hi = 0;
  for (int p = 0; p < graph.plots; ++p) {
    std::vector<TraceValues> values;
    for (const auto& t : graph.traces)
      if (t->plot == p && t->x && t->y && t->options.display != DISPLAY_HIDE)
        values.push_back({store.values(*t->x), store.values(*t->y)});
    Plot& plot = graph.plot[p];
    plot.y_axis.in_use = values.empty() ? -1 : 0;
    if (values.empty()) continue;
    PlotDataRange r;
    if (!summary_range(graph, store, p, plot.log, r))
      r = plot_data_range(values, graph.x_log, plot.log, notify);
    set_axis(plot.y_axis, plot.log, r.y_min, r.y_max, plot.limits, true, graph.plots);
    if (!r.has_x) continue;
    x_lo = any_x ? std::min(x_lo, r.x_min) : r.x_min;
    x_hi = any_x ? std::max(x_hi, r.x_max) : r.x_max;
    any_x = true;
  }
  graph.x_axis.in_use = any_x ? 0 : -1;
  set_axis(graph.x_axis, graph.x_log, x_lo, x_hi, graph.x_limits, false, graph.plots);
  histogram_axes(graph, store);
  return true;
}

}  // namespace zephyrim
