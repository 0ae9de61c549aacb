// The commands that reshape the graph: plots, traces, axes, titles and
// captions, and the labels placed on it. Each dialog works on a copy of what
// it edits and applies the result to the graph only on OK.
#include <QAction>
#include <algorithm>
#include <cmath>
#include <utility>

#include "common/notify.h"
#include "viewer/app/main_window.h"
#include "viewer/app/plot_dialogs.h"
#include "viewer/app/plot_view.h"
#include "viewer/calc/expression.h"
#include "viewer/data/data_store.h"
#include "viewer/plot/graph_axes.h"
#include "viewer/session/command_table.h"

namespace zephyrim {

namespace {

// As long as the texts of a format file's label blocks may be.
constexpr qsizetype kMaxLabelText = 255;

// The axes again from the data, keeping what the user chose that the data do
// not give: the number of plots (empty plots included) and data ranges typed
// into the limits dialog. Manual limits come back through the graph's limits.
void refresh_axes(Graph& graph, DataStore& store, Notify& notify) {
  const int plots = graph.plots;
  struct Range {
    int manual;
    double low, high;
  };
  const auto keep = [](const AxisScale& a) { return Range{a.range_manual, a.data_min, a.data_max}; };
  const Range x = keep(graph.x_axis);
  std::array<Range, kMaxPlots> y{};
  for (int p = 0; p < kMaxPlots; ++p) y[p] = keep(graph.plot[p].y_axis);
  if (!graph_update_axes(graph, store, notify)) return;
  const int used = graph.plots;
  graph.plots = std::clamp(std::max(plots, used), 1, kMaxPlots);
  // A plot the traces left is drawn empty, without the ticks of what was there.
  for (int p = used; p < kMaxPlots; ++p) graph.plot[p].y_axis.in_use = -1;
  const auto restore = [&](AxisScale& a, const Range& r, bool y_axis) {
    if (r.manual && a.in_use >= 0) {
      a.data_min = r.low;
      a.data_max = r.high;
      a.range_manual = 1;
    }
    // The Y divisions allowed depend on the number of plots shown.
    if (!a.limits_manual && a.in_use >= 0) auto_axis_limits(a, y_axis, graph.plots);
  };
  restore(graph.x_axis, x, false);
  for (int p = 0; p < graph.plots; ++p) restore(graph.plot[p].y_axis, y[p], true);
}

// The user's limits kept in the graph, so that later updates of the axes
// apply them again.
AxisLimits limits_of(const AxisScale& a) {
  if (!a.limits_manual) return {};
  const bool log = a.log_scale != 0;
  const auto value = [log](double v) { return log ? std::pow(10.0, v) : v; };
  AxisLimits l{true, value(a.low), value(a.high), log ? 0.0 : a.spacing, std::nullopt};
  if (!log) l.ticks = a.divisions;
  return l;
}

std::vector<TraceEntry> trace_entries(const Graph& graph) {
  std::vector<TraceEntry> out;
  for (const auto& t : graph.traces)
    out.push_back({QString::fromLatin1(t->name.c_str()), t->plot, t->options});
  return out;
}

// Cursors follow their traces through a removal; one whose trace went is hidden.
void remap_cursors(CursorPair& cursors, const std::vector<int>& new_index) {
  for (Cursor& c : cursors.cursor) {
    if (c.trace < 0 || c.trace >= static_cast<int>(new_index.size())) continue;
    c.trace = new_index[static_cast<size_t>(c.trace)];
    if (c.trace < 0) c.active = false;
  }
}

}  // namespace

void ViewerMainWindow::add_plot_handlers() {
  handle(CMD_ADD_DELETE_PLOTS, [this] {
    if (graph_.traces.empty()) return;
    PlotCountDialog dialog(graph_.plots, this);
    if (dialog.exec() != QDialog::Accepted) return;
    const int n = dialog.plots();
    // The traces of plots that go join the last plot that stays.
    for (auto& t : graph_.traces) t->plot = std::min(t->plot, n - 1);
    for (int p = n; p < kMaxPlots; ++p) graph_.plot[p] = Plot{};
    graph_.plots = n;
    refresh_axes(graph_, *store_, notify_);
    view_->clear_zoom();
    view_->update();
  });

  handle(CMD_TRACE_MOVE_DELETE, [this] {
    if (graph_.traces.empty()) return;
    TraceMoveDialog dialog(trace_entries(graph_), this);
    if (dialog.exec() != QDialog::Accepted) return;
    const std::vector<int> chosen = dialog.chosen();
    if (chosen.empty()) return;
    if (dialog.remove()) {
      std::vector<int> new_index(graph_.traces.size(), 0);
      for (int k : chosen) new_index[static_cast<size_t>(k)] = -1;
      int next = 0;
      for (int& k : new_index)
        if (k == 0) k = next++;
      size_t at = 0;
      std::erase_if(graph_.traces, [&](const auto&) { return new_index[at++] < 0; });
      remap_cursors(cursors_, new_index);
      if (graph_.traces.empty()) {
        view_->update();
        update_readout();
        return;
      }
    } else if (dialog.move_to() > 0) {
      for (int k : chosen) graph_.traces[static_cast<size_t>(k)]->plot = dialog.move_to() - 1;
    } else {
      return;
    }
    refresh_axes(graph_, *store_, notify_);
    view_->clear_zoom();
    update_readout();
    view_->update();
  });

  handle(CMD_TRACE_OPTIONS, [this] {
    if (graph_.traces.empty()) return;
    TraceOptionsDialog dialog(trace_entries(graph_), this);
    if (dialog.exec() != QDialog::Accepted) return;
    bool shown_changed = false;
    for (size_t k = 0; k < graph_.traces.size() && k < dialog.traces().size(); ++k) {
      TraceOptions& o = graph_.traces[k]->options;
      const TraceOptions& edited = dialog.traces()[k].options;
      // A hidden trace leaves the data ranges; showing it again brings it back.
      shown_changed |= (o.display == DISPLAY_HIDE) != (edited.display == DISPLAY_HIDE);
      o = edited;
    }
    if (shown_changed) refresh_axes(graph_, *store_, notify_);
    view_->update();
  });

  handle(CMD_TRACE_LABEL, [this] {
    view_->style.legend = !view_->style.legend;
    if (QAction* a = action(CMD_TRACE_LABEL)) a->setChecked(view_->style.legend);
    view_->update();
  });

  handle(CMD_AXIS_LIMITS, [this] {
    if (graph_.traces.empty()) return;
    std::vector<AxisLimitsState> axes;
    const auto state = [](const AxisScale& a) {
      return AxisLimitsState{a, a.limits_manual || a.range_manual};
    };
    axes.push_back(state(graph_.x_axis));
    for (int p = 0; p < graph_.plots; ++p) axes.push_back(state(graph_.plot[p].y_axis));
    AxisLimitsDialog dialog(axes, notify_, this);
    if (dialog.exec() != QDialog::Accepted) return;
    const auto& choices = dialog.choices();
    bool became_manual = false, some_auto = false;
    for (size_t i = 0; i < choices.size(); ++i) {
      AxisScale& a = i == 0 ? graph_.x_axis : graph_.plot[i - 1].y_axis;
      AxisLimits& kept = i == 0 ? graph_.x_limits : graph_.plot[i - 1].limits;
      const bool y_axis = i > 0;
      if (!choices[i].manual) {
        some_auto = some_auto || a.in_use >= 0;
        a.limits_manual = a.range_manual = 0;
        kept = {};
        continue;
      }
      became_manual = became_manual || !axes[i].manual;
      apply_axis_limits(a, choices[i].row);
      // A range typed without limits gets the ticks automatic limits give it.
      if (!a.limits_manual) auto_axis_limits(a, y_axis, graph_.plots);
      kept = limits_of(a);
    }
    // The other automatic axes keep their present ranges unless the user wants
    // them worked out again.
    std::vector<AxisScale> before{graph_.x_axis};
    for (int p = 0; p < graph_.plots; ++p) before.push_back(graph_.plot[p].y_axis);
    const bool keep_others =
        became_manual && some_auto && notify_.question("Auto update axes limits?", QuestionKind::YesNo) != 1;
    refresh_axes(graph_, *store_, notify_);
    view_->clear_zoom();
    for (size_t i = 0; keep_others && i < choices.size(); ++i)
      if (!choices[i].manual && !axes[i].manual)
        (i == 0 ? graph_.x_axis : graph_.plot[i - 1].y_axis) = before[i];
    update_readout();
    view_->update();
  });

  handle(CMD_AXIS_OPTIONS, [this] {
    if (graph_.traces.empty()) return;
    const auto first_name = [this](int plot) {
      for (const auto& t : graph_.traces)
        if (t->plot == plot) return t->name;
      return std::string();
    };
    const auto state = [&](const std::string& name, bool log, const AxisScale& a,
                           const std::optional<TickStyle>& given, const std::string& trace) {
      AxisOptionsState s{QString::fromStdString(name), log, given ? *given : default_tick_style(a)};
      if (s.ticks.unit_mode == UnitMode::Auto) s.ticks.unit_name = auto_unit_name(trace, graph_.angular);
      return s;
    };
    std::vector<AxisOptionsState> axes;
    const std::string x_trace = graph_.traces.front()->x ? graph_.traces.front()->x->name : std::string();
    axes.push_back(state(axis_list_name(0), graph_.x_log, graph_.x_axis, view_->style.x_ticks, x_trace));
    for (int p = 0; p < graph_.plots; ++p)
      axes.push_back(state(axis_list_name(p + 1), graph_.plot[p].log, graph_.plot[p].y_axis,
                           view_->style.y_ticks[p], first_name(p)));
    AxisOptionsDialog dialog(axes, this);
    if (dialog.exec() != QDialog::Accepted) return;
    bool scale_changed = false;
    for (size_t i = 0; i < dialog.axes().size(); ++i) {
      const AxisOptionsState& s = dialog.axes()[i];
      bool& log = i == 0 ? graph_.x_log : graph_.plot[i - 1].log;
      AxisScale& a = i == 0 ? graph_.x_axis : graph_.plot[i - 1].y_axis;
      std::optional<TickStyle>& ticks = i == 0 ? view_->style.x_ticks : view_->style.y_ticks[i - 1];
      TickStyle t = s.ticks;
      if (s.log != log) {
        // Labels that followed the old scale follow the new one; limits and a
        // range typed for the other scale (a negative low on a log axis) go.
        if (t.code == (log ? TICK_DECADE : TICK_GENERAL)) t.code = s.log ? TICK_DECADE : TICK_GENERAL;
        log = s.log;
        (i == 0 ? graph_.x_limits : graph_.plot[i - 1].limits) = {};
        a.limits_manual = a.range_manual = 0;
        scale_changed = true;
      }
      ticks = t;
    }
    if (scale_changed) refresh_axes(graph_, *store_, notify_);
    update_readout();
    view_->update();
  });

  handle(CMD_AXIS_X_VARIABLE, [this] {
    if (graph_.traces.empty()) return;
    // The X vectors of the traces first, then the other real vectors of the same kind.
    QStringList names;
    for (const auto& t : graph_.traces)
      if (t->y && t->y->x) names << QString::fromLatin1(t->y->x->name.c_str());
    if (const DataClass* c = store_->data_class(graph_.cls < 0 ? DATA_CLASS_BINARY : graph_.cls))
      for (const DataVector& v : c->vectors)
        if (!v.complex && v.run == 1 && (graph_.analysis <= 0 || v.kind == graph_.analysis))
          names << QString::fromLatin1(v.name.c_str());
    names.removeDuplicates();
    XVariableDialog dialog(names, graph_.x_variable, this);
    if (dialog.exec() != QDialog::Accepted) return;
    const XVariable chosen = dialog.chosen();
    std::string name = chosen.text;
    if (chosen.expression) {
      const DataVector* v = nullptr;
      busy(tr("Select plot variables..."), [&] {
        const int cls = graph_.cls < 0 ? DATA_CLASS_BINARY : graph_.cls;
        v = expr_evaluate(*store_, chosen.text,
                          {.cls = cls, .kind = graph_.analysis, .parameters = &session_.parameters});
      });
      if (!v) return;
      name = v->name;
    }
    // Every trace takes the vector of that name in its own class, kind and run.
    std::vector<const DataVector*> xs;
    for (const auto& t : graph_.traces) {
      const DataVector* x = t->y ? t->y->x : nullptr;
      if (!name.empty() && t->y) {
        x = store_->find_vector(name, t->y->data_class, t->y->kind, -1, 0, t->y->run);
        if (!x) x = store_->find_vector(name, t->y->data_class, t->y->kind, -1, 0);
        // A trace of data without that vector keeps the X it has, as at selection.
        if (!x) x = t->x;
      }
      xs.push_back(x);
    }
    graph_.x_variable = chosen;
    for (size_t k = 0; k < xs.size(); ++k) graph_.traces[k]->x = xs[k];
    // The X range is the new variable's: limits set for the old one no longer fit.
    graph_.x_limits = {};
    graph_.x_axis.limits_manual = graph_.x_axis.range_manual = 0;
    refresh_axes(graph_, *store_, notify_);
    view_->clear_zoom();
    update_readout();
    view_->update();
  });

  handle(CMD_TITLES, [this] {
    GraphCaptions captions{graph_.header, graph_.x_label, {}};
    for (int p = 0; p < graph_.plots; ++p) captions.y_labels.push_back(graph_.plot[p].y_label);
    TitlesDialog dialog(captions, this);
    if (dialog.exec() != QDialog::Accepted) return;
    const GraphCaptions edited = dialog.captions();
    graph_.header = edited.header;
    graph_.x_label = edited.x_label;
    for (size_t p = 0; p < edited.y_labels.size() && p < graph_.plot.size(); ++p)
      graph_.plot[p].y_label = edited.y_labels[p];
    view_->update();
  });

  // Each label command toggles its pointer mode; the menu shows the mode in force.
  static constexpr std::pair<int, PointerMode> kLabelModes[] = {{CMD_ADD_LABEL, POINTER_ADD_LABEL},
                                                                {CMD_DELETE_LABEL, POINTER_DELETE_LABEL},
                                                                {CMD_MOVE_LABEL, POINTER_MOVE_LABEL}};
  const auto check_pointer = [this] {
    update_actions();
    for (const auto& [id, mode] : kLabelModes)
      if (QAction* a = action(id)) a->setChecked(view_->pointer == mode);
  };
  for (const auto& [id, mode] : kLabelModes)
    handle(id, [this, check_pointer, mode] {
      view_->set_pointer(toggle_pointer_mode(view_->pointer, mode));
      check_pointer();
    });
  connect(view_, &PlotView::pointer_changed, this, check_pointer);
  view_->ask_label_text = [this]() -> std::optional<std::string> {
    const std::optional<std::string> text = notify_.prompt("Add Label", "Label text:", "", -1);
    if (!text) return std::nullopt;
    // Graph texts are Latin-1, as the titles are.
    return QString::fromStdString(*text).left(kMaxLabelText).toLatin1().toStdString();
  };

  handle(CMD_TRANSPARENT_LABELS, [this] {
    graph_.transparent_labels = !graph_.transparent_labels;
    if (QAction* a = action(CMD_TRANSPARENT_LABELS)) a->setChecked(graph_.transparent_labels);
    view_->update();
  });
}

}  // namespace zephyrim
