// Plot > Histogram: New Plot, Fit Gaussian, Yield and Options.
#include <QAbstractItemView>
#include <QListWidget>
#include <QStringList>

#include "viewer/app/histogram_dialogs.h"
#include "viewer/app/main_window.h"
#include "viewer/app/plot_view.h"
#include "viewer/app/probe_dialog.h"
#include "viewer/plot/graph_axes.h"
#include "viewer/plot/histogram_display.h"
#include "viewer/session/command_table.h"

namespace zephyrim {

namespace {
constexpr const char* kNoHistogram = "No histogram displayed";
}  // namespace

void ViewerMainWindow::add_histogram_handlers() {
  // The chart drawn anew after its bins, curve or yield changed.
  auto show = [this] {
    graph_update_axes(graph_, *store_, notify_);
    cursors_.cursor[0].active = cursors_.cursor[1].active = false;
    view_->clear_zoom();
    update_readout();
    update_actions();
    view_->update();
  };

  handle(CMD_HISTOGRAM_NEW, [this, show] {
    // What a histogram counts: one value per run (measurements, tabulated
    // values) first, then any other real vector of data without an analysis.
    QStringList names;
    std::vector<const DataVector*> vectors;
    for (bool per_run : {true, false})
      for (int cls : {DATA_CLASS_TEXT, DATA_CLASS_BINARY})
        for (const DataVector& v : store_->data_class(cls)->vectors) {
          const bool over_runs = v.x && v.x->name == "RUN#";
          if (v.complex || !v.x || over_runs != per_run || (!per_run && v.kind != ANALYSIS_OTHER)) continue;
          const QString name = QString::fromStdString(v.name);
          if (names.contains(name, Qt::CaseInsensitive)) continue;
          names << name;
          vectors.push_back(&v);
        }
    if (names.isEmpty()) {
      notify_.error("No data available for a histogram: measure a value per run first");
      return;
    }
    ProbeDialog dialog(names, this);
    dialog.setWindowTitle(tr("Histogram Variable"));
    dialog.setObjectName("histogram_variable");
    dialog.list()->setSelectionMode(QAbstractItemView::SingleSelection);
    if (dialog.exec() != QDialog::Accepted || dialog.chosen().isEmpty()) return;
    const auto k = static_cast<size_t>(names.indexOf(dialog.chosen().front()));
    if (k >= vectors.size()) return;
    forget_transforms();  // the histogram replaces a transformed display for good
    int shown = 0;
    busy(tr("Building histogram..."), [&] { shown = histogram_show(graph_, *store_, *vectors[k], notify_); });
    if (shown) {
      fill_header();
      show();
    }
  });

  handle(CMD_HISTOGRAM_GAUSSIAN, [this, show] {
    if (histogram_fit_gaussian(graph_, *store_, notify_)) show();
  });

  handle(CMD_HISTOGRAM_YIELD, [this, show] {
    if (!graph_.histogram) {
      notify_.error(kNoHistogram);
      return;
    }
    const Histogram& h = *graph_.histogram;
    NumbersDialog dialog(
        tr("Histogram Yield"), "histogram_yield",
        {{tr("Acceptance &low:"), "accept_low", h.accept_low},
         {tr("Acceptance &high:"), "accept_high", h.accept_high}},
        [this](const std::vector<double>& v) {
          return histogram_yield(graph_, *store_, v[0], v[1], notify_) == 1;
        },
        notify_, this);
    if (dialog.exec() == QDialog::Accepted) show();
  });

  handle(CMD_HISTOGRAM_OPTIONS, [this, show] {
    if (!graph_.histogram) {
      notify_.error(kNoHistogram);
      return;
    }
    const Histogram& h = *graph_.histogram;
    NumbersDialog dialog(
        tr("Histogram Options"), "histogram_options",
        {{tr("Data &minimum:"), "data_min", h.data_min},
         {tr("Data ma&ximum:"), "data_max", h.data_max},
         {tr("&Bin size:"), "bin", h.bin}},
        [this](const std::vector<double>& v) {
          // Tried on a copy: a refused choice leaves the chart as it was.
          Histogram trial = *graph_.histogram;
          if (!histogram_set_options(trial, v[0], v[1], v[2], notify_)) return false;
          graph_.histogram = trial;
          return histogram_recount(graph_, *store_, notify_) == 1;
        },
        notify_, this);
    if (dialog.exec() == QDialog::Accepted) show();
  });
}

}  // namespace zephyrim
