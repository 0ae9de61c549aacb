// The work behind the viewer's menu commands. A command of the table without
// a handler here shows disabled, its status tip saying it is not available yet.
#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>

#include "platform/qt/picture_options.h"
#include "viewer/app/main_window.h"
#include "viewer/app/plot_view.h"
#include "viewer/app/probe_dialog.h"
#include "viewer/data/data_store.h"
#include "viewer/plot/graph_axes.h"
#include "viewer/plot/trace_selection.h"
#include "viewer/session/command_table.h"

namespace zephyrim {

void ViewerMainWindow::add_handlers() {
  add_plot_handlers();
  add_tool_handlers();
  add_output_handlers();
  add_format_handlers();
  add_transform_handlers();
  add_histogram_handlers();
  add_tabulate_handlers();
  handle(CMD_OPEN, [this] {
    QStringList filters;
    for (const char* f : kDataOpenFilters)
      filters << QString::fromLatin1(f).replace(',', ' ').replace("(", " (");
    QString chosen = filters.last();
    const QString path = QFileDialog::getOpenFileName(this, tr(kDataOpenCaption),
                                                      QString::fromStdString(session_.names.folder),
                                                      filters.join(";;"), &chosen);
    if (!path.isEmpty()) open_file(path);
  });
  handle(CMD_QUIT, [this] { close(); });
  handle(CMD_SAVE_AND_EXIT, [this] {
    // The format of the last session is saved by every close.
    if (config_.save_trace_history) save_history();
    close();
  });
  for (int k = 0; k < 5; ++k)
    handle(CMD_RECENT_FILE1 + k, [this, k] {
      if (k < static_cast<int>(config_.recent_files.size()))
        open_file(QString::fromStdString(config_.recent_files[static_cast<size_t>(k)]));
    });
  handle(CMD_AUTOPLOT, [this] { show_graph(true); });
  handle(CMD_PROBE, [this] {
    // The real vectors with an X vector of the analysis shown (or of every
    // analysis before one is chosen), each name once.
    QStringList names;
    for (int cls : {DATA_CLASS_BINARY, DATA_CLASS_TEXT})
      for (const DataVector& v : store_->data_class(cls)->vectors)
        if (v.x && (graph_.analysis < 0 || graph_.analysis == ANALYSIS_OTHER || v.kind == graph_.analysis))
          names << QString::fromStdString(v.name);
    names.removeDuplicates();
    ProbeDialog dialog(names, this);
    if (dialog.exec() != QDialog::Accepted || dialog.chosen().isEmpty()) return;
    std::vector<TraceRequest> requests;
    for (const QString& n : dialog.chosen()) requests.push_back({.name = n.toStdString()});
    add_traces(requests);
  });
  handle(CMD_TRACE_ADD, [this] {
    const auto text = notify_.prompt("Add Traces", "Trace name or expression (NAME=expression):", "", 255);
    if (!text || text->empty()) return;
    TraceRequest r;
    // A stored vector's name is taken as it is; anything else is an expression.
    if (store_->find_vector(*text, DATA_CLASS_BINARY, -1, -1, -1) ||
        store_->find_vector(*text, DATA_CLASS_TEXT, -1, -1, -1))
      r.name = *text;
    else
      r.expression = *text;
    user_expressions_add(config_, *text);
    std::vector<TraceRequest> requests{r};
    add_traces(requests);
  });
  handle(CMD_REDRAW, [this] { view_->update(); });

  // Pictures: the metafile commands write SVG and PDF, which every desktop reads.
  struct Picture {
    int id;
    const char* caption;
    const char* filter;
    const char* extension;
    const char* options;  // the options dialog's name
  };
  static constexpr Picture kPictures[] = {
      {CMD_SAVE_AS_WMF, "Save As SVG Picture File", "SVG pictures (*.svg)", "svg", "METAFILE_OPTS_DLG"},
      {CMD_PICTURE_WMF, "Save As SVG Picture File", "SVG pictures (*.svg)", "svg", "METAFILE_OPTS_DLG"},
      {CMD_SAVE_AS_EMF, "Save As PDF Picture File", "PDF documents (*.pdf)", "pdf", "EMFFILE_OPTS_DLG"},
      {CMD_PICTURE_EMF, "Save As PDF Picture File", "PDF documents (*.pdf)", "pdf", "EMFFILE_OPTS_DLG"},
      {CMD_PICTURE_BMP, "Save As Bitmap Picture File", "Bitmap pictures (*.bmp)", "bmp",
       "BMPFILE_OPTIONS_DLG"},
      {CMD_PICTURE_PNG, "Save As PNG Compressed Bitmap File", "PNG pictures (*.png)", "png",
       "DIB_OPTIONS_DLG"},
  };
  for (const Picture& p : kPictures)
    handle(p.id, [this, p] {
      if (graph_.traces.empty()) return;
      const QString path = choose_save_path(tr(p.caption), tr(p.filter), p.extension);
      if (path.isEmpty()) return;
      const bool vector = p.extension == std::string_view("svg") || p.extension == std::string_view("pdf");
      const QString caption = tr("%1 Picture Options").arg(QString(p.extension).toUpper());
      if (!bitmap_options_.pixels.isValid()) bitmap_options_.pixels = view_->size();
      PictureExport& stored = p.extension == std::string_view("svg") ? config_.wmf : config_.emf;
      PaperPicture paper{stored.mode, stored.width, stored.height, stored.mono};
      const auto dialog =
          vector ? std::make_unique<PictureOptionsDialog>(p.options, caption, paper, this)
                 : std::make_unique<PictureOptionsDialog>(p.options, caption, bitmap_options_.pixels,
                                                          bitmap_options_.monochrome, this);
      if (dialog->exec() != QDialog::Accepted) return;
      // The configuration keeps what the dialog took, to be written on exit.
      if (vector) stored = {paper.mode, paper.width, paper.height, paper.mono};
      if (!vector) bitmap_options_ = dialog->options();
      save_picture(path, dialog->options());
    });
  handle(CMD_SAVE_TEXT_HEADERS, [this] { export_text(0); });
  handle(CMD_SAVE_TEXT_DATA_ONLY, [this] { export_text(1); });
  handle(CMD_SAVE_TEXT_SPICE_INC, [this] { export_text(2); });
  handle(CMD_SAVE_WAV, [this] { export_wav(); });

  handle(CMD_ZOOM_AREA, [this] {
    view_->set_pointer(view_->pointer == POINTER_ZOOM_AREA ? POINTER_NORMAL : POINTER_ZOOM_AREA);
    update_actions();
  });
  handle(CMD_ZOOM_CANCEL, [this] { view_->zoom_cancel(); });
  for (const auto& [id, mode] :
       {std::pair{CMD_DISPLAY_BLACK, 0}, {CMD_DISPLAY_WHITE, 1}, {CMD_DISPLAY_MONOCHROME, 2}})
    handle(id, [this, mode] {
      view_->style.mode = mode;
      update_actions();
      view_->update();
    });

  handle(CMD_CURSOR1, [this] { toggle_cursor(0); });
  handle(CMD_CURSOR2, [this] { toggle_cursor(1); });
  handle(CMD_NEXT_CURSOR, [this] {
    view_->active_cursor = 1 - view_->active_cursor;
    if (!cursors_.cursor[view_->active_cursor].active) toggle_cursor(view_->active_cursor);
  });
  handle(CMD_CURSORS_CLEAR, [this] {
    cursors_.cursor[0].active = cursors_.cursor[1].active = false;
    update_readout();
    view_->update();
  });
  handle(CMD_CURSOR_NEXT_TRACE, [this] { view_->cursor_to_trace(1); });
  handle(CMD_CURSOR_PREVIOUS_TRACE, [this] { view_->cursor_to_trace(-1); });
  handle(CMD_READOUT_X_DIFFERENCE, [this] { toggle_readout(&ReadoutFlags::x_difference); });
  handle(CMD_READOUT_Y_DIFFERENCE, [this] { toggle_readout(&ReadoutFlags::y_difference); });
  handle(CMD_READOUT_X_RATIO, [this] { toggle_readout(&ReadoutFlags::x_ratio); });
  handle(CMD_READOUT_Y_RATIO, [this] { toggle_readout(&ReadoutFlags::y_ratio); });
  handle(CMD_READOUT_SLOPE, [this] { toggle_readout(&ReadoutFlags::slope); });

  handle(CMD_AUTO_CLOSE, [this] {
    config_.auto_close_option = config_.auto_close_option ? 0 : 1;
    update_actions();
  });
  handle(CMD_RUN_SCRIPT, [this] {
    const QString path = QFileDialog::getOpenFileName(this, tr("Open Tracery Script File"),
                                                      QString::fromStdString(session_.names.folder),
                                                      tr("Tracery script files (*.qsc *.txt)"));
    if (!path.isEmpty()) run_script(path);
  });
}

}  // namespace zephyrim
