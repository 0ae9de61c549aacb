#include "editor/view_commands.h"

#include <QFontDialog>

#include "editor/command_table.h"
#include "editor/dialogs.h"
#include "editor/sheet_view.h"
#include "platform/qt/about_dialog.h"
#include "platform/qt/help_pages.h"

namespace zephyrim {

void ViewCommands::add_to(CommandHandlers& h) {
  SheetView* sheet = w_.sheet();
  EditSession& e = w_.session();
  h[kCmdZoomIn] = [sheet] { sheet->zoom_in(); };
  h[kCmdZoomOut] = [sheet] { sheet->zoom_out(); };
  h[kCmdFullPage] = [sheet] { sheet->zoom_fit(); };
  h[kCmdRefresh] = [sheet] { sheet->viewport()->repaint(); };
  h[kCmdNodeNumbers] = [this, sheet] {
    int32_t& shown = w_.schematic().page().settings.show_nodes;
    shown = shown == 1 ? 0 : 1;
    sheet->update_node_names();
  };
  h[kCmdBias] = [this, sheet] {
    if (w_.schematic().page().settings.show_nodes == 2)
      sheet->hide_bias();
    else
      sheet->show_bias();
  };
  h[kCmdAutoPan] = [sheet] { sheet->auto_pan = !sheet->auto_pan; };
  h[kCmdWheelZoom] = [sheet] { sheet->wheel_zooms = !sheet->wheel_zooms; };
  h[kCmdAutoJunction] = [&e] { e.auto_junction = !e.auto_junction; };
  h[kCmdRubberBand] = [&e] { e.rubber_band = !e.rubber_band; };
  h[kCmdRedoConnections] = [&e] { e.redo_all_connections(); };
  h[kCmdChooseFont] = [this, sheet] {
    bool ok = false;
    const QFont f = QFontDialog::getFont(&ok, sheet->text_font.value_or(w_.font()), &w_, "Choose Font");
    if (ok) sheet->text_font = f;
  };
  h[kCmdDefaultFont] = [sheet] { sheet->text_font.reset(); };
  h[kCmdModelLinks] = [this] {
    LibraryLinksDialog d(w_.schematic(), &w_);
    d.exec();
  };
  // The help and the three manuals are sections of the editor's help page.
  const std::pair<int, const char*> pages[] = {{kCmdHelp, ""},
                                               {kCmdHelpIndex, "contents"},
                                               {kCmdManualStart, "getting-started"},
                                               {kCmdManualGuide, "editing"},
                                               {kCmdManualReference, "commands"}};
  for (const auto& [id, section] : pages)
    h[id] = [this, section] {
      if (!open_help_page("quill32.html", QString::fromLatin1(section)))
        w_.notify().error("Cannot open help file quill32.html");
    };
  h[kCmdAbout] = [this] {
    show_about(&w_, QString::fromLatin1(kSchematicTitle),
               "The schematic editor of Zephyrim: draw, netlist and simulate circuits.");
  };
  h[kCmdDrawOptions] = [this, sheet] {
    DrawingOptionsDialog d(w_.schematic(), &w_);
    if (d.exec() == QDialog::Accepted) sheet->page_changed();
  };
}

}  // namespace zephyrim
