#include "editor/clipboard_commands.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QPainter>
#include <QSvgGenerator>

#include "editing/undo.h"
#include "editor/command_table.h"
#include "editor/sheet_view.h"
#include "render/page_painter.h"
#include "schematic/page_size.h"

namespace zephyrim {

void ClipboardCommands::add_to(CommandHandlers& h) {
  h[kCmdCopy] = [this] { paste_copy(w_.schematic(), paste_, w_.notify()); };
  h[kCmdCut] = [this] { cut(); };
  h[kCmdPaste] = [this] { paste(); };
  h[kCmdCopySchematic] = [this] { copy_to_clipboard(false); };
  h[kCmdCopyScreen] = [this] { copy_to_clipboard(true); };
}

void ClipboardCommands::cut() {
  PasteBuffer taken;
  if (!paste_copy(w_.schematic(), taken, w_.notify())) return;
  paste_ = std::move(taken);
  w_.session().delete_selection();  // takes the undo snapshot first
}

void ClipboardCommands::paste() {
  // Pasted two grid steps down and right of where it came from, selected, ready to be moved.
  if (paste_.empty()) {
    w_.notify().error("Paste buffer empty");
    return;
  }
  Schematic& s = w_.schematic();
  undo_snapshot(w_.session().undo_record(), s);
  // A paste that placed nothing leaves no step to undo.
  if (paste_place(s, paste_, {paste_.origin.x + 2 * kGridStep, paste_.origin.y + 2 * kGridStep},
                  w_.session().counters(), w_.notify()) <= 0)
    w_.session().history().discard_newest();
  w_.session().page_changed();
}

void ClipboardCommands::copy_to_clipboard(bool screen) {
  auto* data = new QMimeData;
  if (screen) {
    data->setImageData(w_.sheet()->viewport()->grab().toImage());
  } else {
    // The page's drawing area at 100 %, its size code applied as printing does. As a bitmap
    // always; CopyClipboardMetafileFormat 0 adds SVG for the programs that
    // take it, 1 gives the bitmap alone.
    Schematic& s = w_.schematic();
    Page& page = s.page();
    page_size_apply(page);
    const QRectF area = page_extent(page);
    QImage image(area.size().toSize(), QImage::Format_RGB32);
    image.fill(Qt::white);
    {
      QPainter p(&image);
      p.setRenderHint(QPainter::Antialiasing);
      draw_page(p, s, page);
    }
    data->setImageData(image);
    if (w_.config().copy_clipboard_metafile_format == 0) {
      QBuffer svg_bytes;
      svg_bytes.open(QIODevice::WriteOnly);
      QSvgGenerator svg;
      svg.setOutputDevice(&svg_bytes);
      svg.setSize(area.size().toSize());
      svg.setViewBox(area);
      {
        QPainter p(&svg);
        draw_page(p, s, page);
      }
      data->setData("image/svg+xml", svg_bytes.data());
    }
  }
  QClipboard* clipboard = QGuiApplication::clipboard();
  clipboard->setMimeData(data);
  // Another program may hold on to the clipboard. Where the platform tells
  // ownership, not owning it means the copy did not land; elsewhere the
  // clipboard must at least hand back what was put there.
  if (!clipboard->ownsClipboard() && clipboard->mimeData() != data)
    w_.notify().error("Copy error: Clipboard is busy -- operation aborted");
}

}  // namespace zephyrim
