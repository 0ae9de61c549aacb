// The commands of the Format menu and of the trace history: format files
// keep what is shown so that later results of the project can be shown the
// same way, history files keep the traces of a run to lay over later runs.
#include <QFileDialog>
#include <QFileInfo>
#include <algorithm>
#include <cstdio>
#include <map>
#include <string>

#include "common/text_format.h"
#include "viewer/app/format_dialogs.h"
#include "viewer/app/main_window.h"
#include "viewer/app/plot_view.h"
#include "viewer/data/data_store.h"
#include "viewer/plot/format_file.h"
#include "viewer/plot/graph_axes.h"
#include "viewer/plot/history_file.h"
#include "viewer/plot/level_of_detail.h"
#include "viewer/session/command_table.h"

namespace zephyrim {

void ViewerMainWindow::add_format_handlers() {
  handle(CMD_FORMAT_OPTIONS, [this] {
    FormatOptionsDialog dialog(graph_.options, this);
    if (dialog.exec() != QDialog::Accepted) return;
    graph_.options = dialog.options();
    // They are also what the next graph starts with.
    config_.grid_mode = graph_.options.grid;
    config_.plot_area = graph_.options.area;
    config_.plot_mode = graph_.options.plotting;
    config_.plot_direction = graph_.options.direction;
    config_.run_info = graph_.options.info == INFO_SPICE_RUN ? 1 : 0;
    config_.trace_info = graph_.options.info == INFO_TRACE_SYMBOL ? 1 : 0;
    view_->update();
  });
  handle(CMD_FORMAT_MONTE_CARLO, [this] {
    // The runs of a Monte Carlo analysis as one family per trace: every run
    // of a trace in that trace's colour, the names read with their run.
    std::map<std::string, int> colour;
    for (const auto& t : graph_.traces) {
      const auto [at, added] = colour.emplace(t->name, t->options.colour);
      t->options.colour = at->second;
    }
    graph_.options.info = INFO_SPICE_RUN;
    view_->update();
  });

  handle(CMD_FORMAT_SAVE_DELETE, [this] {
    if (session_.names.format.empty()) return;
    FormatSlotsDialog dialog(session_.names.format, true,
                             QString::fromLatin1(format_default_description(graph_)), this);
    if (dialog.exec() != QDialog::Accepted) return;
    switch (dialog.action()) {
      case FormatSlotsDialog::SAVE:
        if (!graph_.traces.empty()) save_format(dialog.slot(), dialog.description().toLatin1().toStdString());
        break;
      case FormatSlotsDialog::DELETE:
        format_delete(session_.names.format, dialog.slot());
        break;
      case FormatSlotsDialog::DELETE_ALL:
        format_delete_all(session_.names.format, notify_);
        break;
      default:
        break;
    }
  });
  handle(CMD_FORMAT_RECALL, [this] {
    if (session_.names.format.empty()) return;
    FormatSlotsDialog dialog(session_.names.format, false, {}, this);
    if (dialog.exec() != QDialog::Accepted) return;
    QString path;
    if (dialog.action() == FormatSlotsDialog::BROWSE)
      path = QFileDialog::getOpenFileName(this, tr(kFormatDialogTitle),
                                          QString::fromStdString(session_.names.folder),
                                          tr("Format Files (*.F*)"));
    else
      path = QString::fromStdString(format_slot_file(session_.names.format, dialog.slot()));
    if (!path.isEmpty()) recall_format(path.toStdString());
  });
  handle(CMD_FORMAT_AUTO_RECALL, [this] {
    config_.auto_recall_format = config_.auto_recall_format ? 0 : 1;
    update_actions();
  });

  handle(CMD_HISTORY_SAVE, [this] { save_history(); });
  handle(CMD_HISTORY_ADD, [this] { add_history_traces(); });
  handle(CMD_HISTORY_OPTIONS, [this] {
    HistoryOptionsDialog dialog(config_.history_max_keep, config_.save_trace_history != 0, this);
    if (dialog.exec() != QDialog::Accepted) return;
    config_.history_max_keep = dialog.max_keep();
    config_.save_trace_history = dialog.save_automatically() ? 1 : 0;
    if (dialog.clear_requested() && notify_.question(kHistoryClearTracesQuestion, QuestionKind::YesNo) == 1) {
      drop_history_traces();
      for (const HistorySlotFile& f : history_slot_files(session_.names.path))
        std::remove(history_file_name(session_.names.path, f.slot).c_str());
      graph_update_axes(graph_, *store_, notify_);
      view_->update();
    }
  });
}

bool ViewerMainWindow::save_format(int slot, const std::string& description) {
  if (graph_.traces.empty() || session_.names.format.empty()) return false;
  const FormatTickStyles styles{view_->style.x_ticks, view_->style.y_ticks};
  return format_save(graph_, format_slot_file(session_.names.format, slot), description, session_.names.path,
                     notify_, &styles) == 1;
}

bool ViewerMainWindow::recall_format(const std::string& path) {
  FormatTickStyles styles;
  int loaded = 0;
  busy(tr("Recalling plot format..."),
       [&] { loaded = format_load(graph_, *store_, path, notify_, &styles, &session_.parameters); });
  if (!loaded) return false;
  forget_transforms();  // the recalled graph is not the one behind them
  view_->style.x_ticks = styles.x;
  view_->style.y_ticks = styles.y;
  cursors_.cursor[0].active = cursors_.cursor[1].active = false;
  view_->clear_zoom();
  fill_header();
  update_readout();
  view_->update();
  return true;
}

void ViewerMainWindow::save_history() {
  const std::string& data = session_.names.path;
  if (graph_.traces.empty() || data.empty()) return;
  const HistorySlotChoice choice = history_choose_slot(history_slot_files(data), config_.history_max_keep);
  for (int slot : choice.remove) std::remove(history_file_name(data, slot).c_str());
  busy(tr("Saving trace history..."), [&] {
    history_save(
        graph_, *store_, history_file_name(data, choice.slot),
        history_default_description(choice.slot, script_.revision, store_->header.date, store_->header.time),
        history_default_label(choice.slot), notify_);
  });
}

void ViewerMainWindow::drop_history_traces() {
  const auto historic = [](const DataVector* v) { return v && v->data_class == DATA_CLASS_HISTORY; };
  std::erase_if(graph_.traces, [&](const auto& t) { return historic(t->y) || historic(t->x); });
  // Their summaries look at values that go with the class.
  std::erase_if(graph_.details,
                [&](const auto& d) { return historic(d.first.first) || historic(d.first.second); });
  for (Cursor& c : cursors_.cursor)
    if (c.trace >= static_cast<int>(graph_.traces.size())) c.active = false, c.trace = -1;
  store_->clear_class(DATA_CLASS_HISTORY);
}

void ViewerMainWindow::add_history_traces() {
  const std::string& data = session_.names.path;
  if (data.empty() || graph_.analysis < 0) return;
  std::vector<HistorySlotFile> files = history_slot_files(data);
  if (files.empty()) {
    notify_.information("No trace history saved for " + data);
    return;
  }
  drop_history_traces();
  std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.slot < b.slot; });
  busy(tr("Loading trace history..."), [&] {
    for (const HistorySlotFile& f : files) history_load(*store_, history_file_name(data, f.slot), notify_);
    // Each old trace goes into the plot of the trace of its name, in a colour of its own.
    const size_t shown = graph_.traces.size();
    for (const DataVector& v : store_->data_class(DATA_CLASS_HISTORY)->vectors) {
      if (!v.x || v.kind != graph_.analysis) continue;
      int plot = 0;
      for (size_t k = 0; k < shown; ++k)
        if (iequals(graph_.traces[k]->name, v.name)) plot = graph_.traces[k]->plot;
      if (SelectedTrace* t = add_trace(graph_, v, v.x, plot, notify_))
        t->name = v.name + " #" + std::to_string(v.run);
    }
    graph_update_axes(graph_, *store_, notify_);
  });
  view_->update();
}

GraphOptions graph_options_of(const ViewerConfig& c) {
  return {c.grid_mode, c.plot_area, c.plot_mode, c.plot_direction,
          c.run_info ? INFO_SPICE_RUN : INFO_TRACE_SYMBOL};
}

}  // namespace zephyrim
