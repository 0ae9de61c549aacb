// The tool commands of the viewer: the measure-spec dialogs, the cursor shape
// and position dialogs and the status of the data store.
#include <QObject>
#include <QStringList>
#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

#include "viewer/app/main_window.h"
#include "viewer/app/plot_view.h"
#include "viewer/app/tool_dialogs.h"
#include "viewer/calc/measure.h"
#include "viewer/session/command_table.h"

namespace zephyrim {

namespace {

// What the tool dialogs remember between uses, owned by the window: one set of
// measure fields per kind, so that a measure is repeated with a click.
class ToolState : public QObject {
 public:
  using QObject::QObject;
  std::array<MeasureSpec, 9> measure;
};

constexpr std::pair<int, int> kMeasureCommands[] = {
    {CMD_MEASURE_VALUE, MEASURE_VALUE},       {CMD_MEASURE_DELAY, MEASURE_DELAY},
    {CMD_MEASURE_DELTA, MEASURE_DELTA},       {CMD_MEASURE_FREQUENCY, MEASURE_FREQ},
    {CMD_MEASURE_MAXIMUM, MEASURE_MAX},       {CMD_MEASURE_MINIMUM, MEASURE_MIN},
    {CMD_MEASURE_WIDTH, MEASURE_WIDTH},       {CMD_MEASURE_X_AT_MAXIMUM, MEASURE_XMAX},
    {CMD_MEASURE_X_AT_MINIMUM, MEASURE_XMIN},
};

// The smallest and largest finite value, or (0, 0) when there is none.
std::pair<double, double> value_range(std::span<const double> v) {
  double lo = INFINITY, hi = -INFINITY;
  for (double d : v)
    if (std::isfinite(d)) lo = std::min(lo, d), hi = std::max(hi, d);
  return lo <= hi ? std::pair{lo, hi} : std::pair{0.0, 0.0};
}

}  // namespace

void ViewerMainWindow::add_tool_handlers() {
  auto* state = new ToolState(this);

  for (const auto& [id, kind] : kMeasureCommands)
    handle(id, [this, state, kind] {
      if (graph_.traces.empty() || graph_.analysis < 0) {
        notify_.error("No plot displayed");
        return;
      }
      // The traces shown first, then every other variable of the analysis.
      QStringList names;
      for (const auto& t : graph_.traces) names << QString::fromStdString(t->name);
      for (int cls : {DATA_CLASS_BINARY, DATA_CLASS_TEXT})
        for (const DataVector& v : store_->data_class(cls)->vectors)
          if (v.x && v.run == 1 && (v.kind == graph_.analysis || graph_.analysis == ANALYSIS_OTHER))
            names << QString::fromStdString(v.name);
      names.removeDuplicates();
      MeasureSpec& fields = state->measure[static_cast<size_t>(kind - 1)];
      MeasureDialog dialog(kind, fields, names, notify_, this);
      if (dialog.exec() != QDialog::Accepted) return;
      MeasureList list;
      list.specs.push_back(fields);
      list.specs.back().analysis = graph_.analysis;
      std::vector<MeasureOutcome> outcomes;
      busy(tr("Measuring specs ..."), [&] { measure_run_all(*store_, list, &outcomes); });
      // A failed measure has given its own message.
      if (outcomes.empty() || outcomes.front().status <= 0) return;
      const MeasureOutcome& o = outcomes.front();
      measure_report(notify_, o.name, static_cast<int>(o.values.size()),
                     o.values.empty() ? 0.0 : o.values.front());
    });

  handle(CMD_CURSOR_SHAPE, [this] {
    CursorShapeDialog dialog({cursors_.cursor[0].shape, cursors_.cursor[1].shape}, this);
    if (dialog.exec() != QDialog::Accepted) return;
    const auto shapes = dialog.shapes();
    for (int k = 0; k < 2; ++k) cursors_.cursor[k].shape = shapes[k];
    if (dialog.save_as_default()) {
      config_.cursor1_style = shapes[0];
      config_.cursor2_style = shapes[1];
      if (!config_.ini_path.empty()) viewer_config_save(config_, config_.ini_path);
    }
    update_readout();
    view_->update();
  });

  handle(CMD_CURSOR_POSITION, [this] {
    // The selected cursor, or the other one when only that one is shown.
    int which = view_->active_cursor;
    if (!cursors_.cursor[which].active && cursors_.cursor[1 - which].active) which = 1 - which;
    Cursor& c = cursors_.cursor[which];
    if (!c.active || c.trace < 0 || c.trace >= static_cast<int>(graph_.traces.size())) {
      c.active = false;
      cursor_set_position(c, {}, {}, {}, notify_);  // "No cursor active"
      return;
    }
    const SelectedTrace& t = *graph_.traces[static_cast<size_t>(c.trace)];
    if (!t.x || !t.y) return;
    // Both are read before either view is taken: a load may move the values.
    store_->values(*t.x);
    store_->values(*t.y);
    const auto xs = store_->values(*t.x);
    const auto ys = store_->values(*t.y);
    const size_t n = std::min(xs.size(), ys.size());
    const bool y_log = graph_.plot[static_cast<size_t>(t.plot)].log;
    PositionRanges ranges;
    std::tie(ranges.x_min, ranges.x_max) = value_range(xs.first(n));
    std::tie(ranges.y_min, ranges.y_max) = value_range(ys.first(n));
    const double fixed = c.positioning == POSITION_FIX_Y ? (y_log ? std::pow(10.0, c.y) : c.y)
                                                         : (graph_.x_log ? std::pow(10.0, c.x) : c.x);
    auto apply = [&](const PositionRequest& typed) {
      PositionRequest r = typed;
      r.x_log = graph_.x_log;
      r.y_log = y_log;
      const bool fixing = r.option == POSITION_FIX_X || r.option == POSITION_FIX_Y;
      const bool out_of_range = fixing && !(r.fixed >= r.shown_min && r.fixed <= r.shown_max);
      cursor_set_position(c, xs.first(n), ys.first(n), r, notify_);
      // Only a value out of range keeps the dialog open for another try.
      return !out_of_range;
    };
    CursorPositionDialog dialog(c.positioning, fixed, ranges, apply, this);
    dialog.exec();
    update_readout();
    view_->update();
  });

  handle(CMD_VIEW_STATUS, [this] {
    ViewStatusDialog dialog(view_status_text(*store_, graph_, session_.names.path), this);
    dialog.exec();
  });
}

}  // namespace zephyrim
