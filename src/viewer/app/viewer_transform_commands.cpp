// The transforms of the viewer: the FFT display (a toggle), the eye display,
// the Smith and polar charts, and Undo Transform, which takes back the latest.
#include <QMainWindow>
#include <QStatusBar>
#include <algorithm>
#include <cmath>

#include "viewer/app/fft_dialog.h"
#include "viewer/app/histogram_dialogs.h"
#include "viewer/app/main_window.h"
#include "viewer/app/plot_view.h"
#include "viewer/app/probe_dialog.h"
#include "viewer/plot/graph_axes.h"
#include "viewer/plot/trace_selection.h"
#include "viewer/session/command_table.h"

namespace zephyrim {

void ViewerMainWindow::forget_transforms() {
  fft_ = FftDisplay{};
  transforms_ = TransformDisplay{};
  fft_above_ = 0;
}

void ViewerMainWindow::add_transform_handlers() {
  // The graph changed under the cursors and the zoom: both start afresh.
  auto shown = [this] {
    cursors_.cursor[0].active = cursors_.cursor[1].active = false;
    view_->clear_zoom();
    graph_update_axes(graph_, *store_, notify_);
    update_readout();
    update_actions();
    view_->update();
  };
  // Back to the graph behind the spectra; they go with the derived class.
  auto fft_off = [this, shown] {
    if (!fft_display_off(graph_, *store_, fft_)) return false;
    shown();
    return true;
  };

  handle(CMD_FFT, [this, fft_off, shown] {
    // The toggle turns the spectra off while no chart was made of them since.
    if (fft_.on && transforms_.steps.size() <= fft_above_ && fft_off()) return;
    update_actions();  // the check stays as it was until a spectrum shows
    // A histogram's counts are data without an analysis too, but no waveform; an eye is folded time.
    if ((graph_.analysis != ANALYSIS_TRAN && graph_.analysis != ANALYSIS_OTHER) ||
        graph_.chart != CHART_NORMAL || fft_.on || transforms_.top_kind() == TRANSFORM_EYE) {
      notify_.error(kFftWrongKind);
      return;
    }
    FftOptionsDialog dialog(config_.fft, notify_, this);
    if (dialog.exec() != QDialog::Accepted) return;
    const FftPlotOptions chosen = dialog.options();
    config_.fft = chosen.transform;
    // A zoomed graph transforms what it shows.
    double start = 0, end = 0;
    if (view_->zoomed()) {
      start = graph_.x_log ? std::pow(10.0, graph_.x_axis.low) : graph_.x_axis.low;
      end = graph_.x_log ? std::pow(10.0, graph_.x_axis.high) : graph_.x_axis.high;
    }
    int count = 0;
    busy(tr("Calculating FFT..."),
         [&] { count = fft_display_on(graph_, *store_, chosen, start, end, notify_, fft_); });
    if (count == 0) return;
    fft_above_ = transforms_.steps.size();
    shown();
  });

  handle(CMD_EYE_DISPLAY, [this, shown] {
    if (graph_.analysis != ANALYSIS_TRAN || graph_.traces.empty()) {
      notify_.error(kEyeWrongKind);
      return;
    }
    // The options of the last eye, or a tenth of the record from its start.
    EyeOptions start = transforms_.eye;
    if (!(start.period > 0)) {
      const double low = graph_.x_axis.data_min, high = graph_.x_axis.data_max;
      start = {.period = (high - low) / 10, .delay = 0, .t_low = low, .t_high = high};
    }
    int count = 0;
    NumbersDialog dialog(
        tr("Eye Display Options"), "eye_options",
        {{tr("&Period:"), "period", start.period},
         {tr("&Delay:"), "delay", start.delay},
         {tr("Data from &time:"), "t_low", start.t_low},
         {tr("Data &to time:"), "t_high", start.t_high}},
        [&](const std::vector<double>& v) {
          const EyeOptions o{.period = v[0], .delay = v[1], .t_low = v[2], .t_high = v[3]};
          if (!eye_options_check(o, notify_)) return false;
          count = eye_display_show(graph_, *store_, o, notify_, &transforms_);
          return true;
        },
        notify_, this);
    if (dialog.exec() == QDialog::Accepted && count > 0) shown();
  });

  handle(CMD_SMITH_CHART, [this, shown] {
    if (graph_.traces.empty()) {
      notify_.error("No plot displayed");
      return;
    }
    if (smith_chart_show(graph_, *store_, notify_, &transforms_) > 0) shown();
  });

  handle(CMD_POLAR_CHART, [this, shown] {
    // The complex AC vectors to choose from, each name once.
    QStringList names;
    for (int cls : {DATA_CLASS_BINARY, DATA_CLASS_TEXT})
      for (const DataVector& v : store_->data_class(cls)->vectors)
        if (v.kind == ANALYSIS_AC && v.complex && v.x) names << QString::fromStdString(v.name);
    names.removeDuplicates();
    if (names.isEmpty()) {
      notify_.error("No data available");
      return;
    }
    ProbeDialog dialog(names, this);
    dialog.setWindowTitle(QString::fromLatin1(kPolarSelectTitle));
    dialog.setObjectName("polar_variables");
    if (dialog.exec() != QDialog::Accepted || dialog.chosen().isEmpty()) return;
    Graph chosen;
    chosen.options = graph_.options;
    chosen.header = graph_.header;
    chosen.analysis = ANALYSIS_AC;
    chosen.cls = DATA_CLASS_BINARY;
    std::vector<TraceRequest> requests;
    for (const QString& n : dialog.chosen()) requests.push_back({.name = n.toStdString()});
    if (select_traces(chosen, *store_, requests, notify_, &session_.parameters) == 0) return;
    if (polar_chart_show(chosen, *store_, notify_) == 0) return;
    // The chart replaces the graph shown, which Undo Transform gives back; a
    // polar chart shown again starts from the graph before the first.
    if (transforms_.top_kind() == TRANSFORM_POLAR) transform_undo(graph_, *store_, transforms_);
    TransformStep step{
        .kind = TRANSFORM_POLAR, .before = std::make_unique<Graph>(std::move(graph_)), .stored = {}};
    for (const auto& t : chosen.traces)
      for (const DataVector* v : {t->x, t->y})
        if (v && v->data_class == DATA_CLASS_DERIVED) step.stored.push_back(v);
    transforms_.steps.push_back(std::move(step));
    graph_ = std::move(chosen);
    shown();
  });

  handle(CMD_UNDO_TRANSFORM, [this, fft_off, shown] {
    // The latest first: a chart made of spectra goes before the spectra.
    if (transforms_.steps.size() > fft_above_ || !fft_.on) {
      if (transform_undo(graph_, *store_, transforms_)) {
        shown();
        return;
      }
    }
    if (!fft_off()) statusBar()->showMessage(tr("No transform to undo"), 4000);
  });
}

}  // namespace zephyrim
