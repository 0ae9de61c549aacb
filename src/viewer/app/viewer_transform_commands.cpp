// The transforms of the viewer: the FFT display (a toggle) and Undo Transform.
#include <QMainWindow>
#include <QStatusBar>
#include <cmath>

#include "viewer/app/fft_dialog.h"
#include "viewer/app/main_window.h"
#include "viewer/app/plot_view.h"
#include "viewer/plot/graph_axes.h"
#include "viewer/session/command_table.h"

namespace zephyrim {

void ViewerMainWindow::add_transform_handlers() {
  // Back to the transient graph; the spectra go with the derived class.
  auto fft_off = [this] {
    if (!fft_display_off(graph_, *store_, fft_)) return false;
    cursors_.cursor[0].active = cursors_.cursor[1].active = false;
    view_->clear_zoom();
    graph_update_axes(graph_, *store_, notify_);
    update_readout();
    update_actions();
    view_->update();
    return true;
  };

  handle(CMD_FFT, [this, fft_off] {
    if (fft_off()) return;
    update_actions();  // the check stays off until a spectrum shows
    // A histogram's counts are data without an analysis too, but no waveform.
    if ((graph_.analysis != ANALYSIS_TRAN && graph_.analysis != ANALYSIS_OTHER) ||
        graph_.chart != CHART_NORMAL) {
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
    int shown = 0;
    busy(tr("Calculating FFT..."), [&] {
      shown = fft_display_on(graph_, *store_, chosen, start, end, notify_, fft_);
      if (shown > 0) graph_update_axes(graph_, *store_, notify_);
    });
    if (shown == 0) return;
    cursors_.cursor[0].active = cursors_.cursor[1].active = false;
    view_->clear_zoom();
    update_readout();
    update_actions();
    view_->update();
  });

  handle(CMD_UNDO_TRANSFORM, [this, fft_off] {
    if (!fft_off()) statusBar()->showMessage(tr("No transform to undo"), 4000);
  });
}

}  // namespace zephyrim
