#include "editor/picture_commands.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QSvgGenerator>
#include <string>
#include <vector>

#include "editor/command_table.h"
#include "editor/sheet_view.h"
#include "render/bias_painter.h"
#include "render/page_painter.h"
#include "render/page_picture.h"
#include "render/picture_file.h"
#include "schematic/page_size.h"

namespace zephyrim {

// One picture command: its save dialog, the file's format and its options dialog.
struct PictureCommands::Format {
  const char* caption;
  const char* filter;
  const char* extension;  // "svg", "pdf", "bmp", "png"
  const char* options;    // the options dialog's object name
};

namespace {

// The metafile commands write SVG and PDF, which every desktop reads.
constexpr PictureCommands::Format kSvg = {"Save As SVG Picture File", "SVG pictures (*.svg)", "svg",
                                          "METAFILE_OPTS_DLG"};
constexpr PictureCommands::Format kPdf = {"Save As PDF Picture File", "PDF files (*.pdf)", "pdf",
                                          "EMFFILE_OPTS_DLG"};
constexpr PictureCommands::Format kBmp = {"Save As Bitmap Picture File", "Bitmap files (*.bmp)", "bmp",
                                          "BMPFILE_OPTIONS_DLG"};
constexpr PictureCommands::Format kPng = {"Save As PNG Compressed Bitmap File", "PNG picture files (*.png)",
                                          "png", "BMPFILE_OPTIONS_DLG"};
constexpr PictureCommands::Format kCaptureBmp = {"Save As Screen Capture Bitmap File", "Bitmap files (*.bmp)",
                                                 "bmp", "DIB_OPTIONS_DLG"};
constexpr PictureCommands::Format kCapturePng = {"Save As Screen Capture Bitmap File",
                                                 "PNG picture files (*.png)", "png", "DIB_OPTIONS_DLG"};

// PrinterPaperOrient keeps the platform's codes.
constexpr int kOrientPortrait = 1;
constexpr int kOrientLandscape = 2;

// Pixels lighter than this count as white in a black-and-white picture, so
// that the anti-aliased edges of lines stay black.
constexpr int kWhiteThreshold = 224;

bool is(const char* a, const char* b) {
  return std::string_view(a) == b;
}

// The bitmap format QImage writes for an extension.
const char* image_format(const char* extension) {
  return is(extension, "bmp") ? "BMP" : "PNG";
}

}  // namespace

QImage black_and_white(const QImage& image) {
  QImage out(image.size(), QImage::Format_Mono);
  if (out.isNull()) return out;
  out.setColor(0, qRgb(0, 0, 0));
  out.setColor(1, qRgb(255, 255, 255));
  const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
  for (int y = 0; y < rgb.height(); ++y)
    for (int x = 0; x < rgb.width(); ++x)
      out.setPixel(x, y, qGray(rgb.pixel(x, y)) >= kWhiteThreshold ? 1 : 0);
  return out;
}

PictureCommands::PictureCommands(EditorMainWindow& window) : w_(window) {
  ask_picture_name = [this](const QString& caption, const QString& filter) {
    // Pictures go beside the schematic unless the user goes elsewhere.
    const QString folder = QFileInfo(QString::fromStdString(w_.schematic().path)).absolutePath();
    return QFileDialog::getSaveFileName(&w_, caption, folder, filter);
  };
}

PictureCommands::~PictureCommands() = default;

void PictureCommands::add_to(CommandHandlers& h) {
  h[kCmdPrint] = [this] { print(); };
  h[kCmdPrinterSetup] = [this] { printer_setup(); };
  h[kCmdPictureWmf] = [this] { page_picture(kSvg); };
  h[kCmdPictureEmf] = [this] { page_picture(kPdf); };
  h[kCmdPictureBmp] = [this] { page_picture(kBmp); };
  h[kCmdPicturePng] = [this] { page_picture(kPng); };
  h[kCmdCaptureBmp] = [this] { screen_capture(kCaptureBmp); };
  h[kCmdCapturePng] = [this] { screen_capture(kCapturePng); };
}

QPrinter& PictureCommands::printer() {
  if (!printer_) {
    printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer_->setDocName(QString::fromLatin1(kPrintDocName));
    apply_orientation(*printer_);
  }
  return *printer_;
}

void PictureCommands::apply_orientation(QPrinter& printer) const {
  const int orient = w_.config().printer_paper_orient;
  if (orient == kOrientPortrait) printer.setPageOrientation(QPageLayout::Portrait);
  if (orient == kOrientLandscape) printer.setPageOrientation(QPageLayout::Landscape);
}

void PictureCommands::print() {
  const Schematic& s = w_.schematic();
  QPrinter& p = printer();
  apply_orientation(p);
  QPrintDialog dialog(&p, &w_);
  dialog.setWindowTitle("Print");
  // Pages 1 to the page count, the current one offered as the range; with one
  // page there is nothing to choose.
  const int count = s.page_count();
  dialog.setMinMax(1, count);
  dialog.setFromTo(s.current_page() + 1, s.current_page() + 1);
  dialog.setPrintRange(QAbstractPrintDialog::AllPages);
  // Last: offering a range turns the choice on.
  dialog.setOption(QAbstractPrintDialog::PrintPageRange, count >= 2);
  if (dialog.exec() != QDialog::Accepted) return;
  w_.busy("Printing...", [&] { print_pages(p); });
}

bool PictureCommands::print_pages(QPrinter& printer) {
  Schematic& s = w_.schematic();
  const int current = s.current_page();
  std::vector<int> pages;
  const QPageRanges ranges = printer.pageRanges();
  const bool chosen = printer.printRange() == QPrinter::PageRange && !ranges.isEmpty();
  for (int n = 0; n < s.page_count(); ++n)
    if (printer.printRange() == QPrinter::CurrentPage ? n == current : !chosen || ranges.contains(n + 1))
      pages.push_back(n);
  if (pages.empty()) return true;

  printer.setDocName(QString::fromLatin1(kPrintDocName));
  // Lines are one device dot wide; at the printer's full resolution they
  // would all but vanish on paper. At this one they print as a PDF of the
  // page shows them.
  printer.setResolution(kPdfResolution);
  QPainter painter;
  if (!painter.begin(&printer)) {
    w_.notify().error("Unable to start print job. Error=" +
                      std::to_string(static_cast<int>(printer.printerState())));
    return false;
  }
  // The painter's origin is the printable area's corner.
  const QRectF paint = printer.pageLayout().paintRectPixels(printer.resolution());
  const QRectF target(0, 0, paint.width(), paint.height());
  bool ok = true;
  for (size_t k = 0; k < pages.size() && ok; ++k) {
    if (k > 0 && !printer.newPage()) {
      ok = false;
      break;
    }
    // Made current and sized as the page itself is drawn; selecting a page
    // to print it is no change to the document.
    page_select(s, pages[k], w_.notify());
    Page& page = s.page();
    page_size_apply(page);
    painter.setTransform(fit_transform(page_picture_area(page), target));
    draw_page(painter, s, page, draw_options(pages[k], false));
  }
  ok = painter.end() && ok;
  page_select(s, current, w_.notify());
  w_.refresh_sheet();
  return ok;
}

PageDrawOptions PictureCommands::draw_options(int page, bool monochrome) const {
  PageDrawOptions o;
  if (monochrome) o.palette = &monochrome_palette();
  // What the sheet shows prints: the operating point's values with the page.
  if (const std::vector<BiasLabel>* labels = w_.sheet()->bias_labels_on(page)) {
    const QColor color = (o.palette ? *o.palette : PagePalette()).color(kBiasColor);
    o.overlay = [labels, color](QPainter& p) { draw_bias_labels(p, *labels, color); };
  }
  return o;
}

void PictureCommands::printer_setup() {
  QPrinter& p = printer();
  QPageSetupDialog dialog(&p, &w_);
  if (dialog.exec() != QDialog::Accepted) return;
  // Kept for the rest of the run, as the next print's orientation.
  w_.config().printer_paper_orient =
      p.pageLayout().orientation() == QPageLayout::Landscape ? kOrientLandscape : kOrientPortrait;
}

QString PictureCommands::ask_name(const Format& f) {
  QString path = ask_picture_name(QString::fromLatin1(f.caption), QString::fromLatin1(f.filter));
  if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty()) path += "." + QString::fromLatin1(f.extension);
  return path;
}

void PictureCommands::page_picture(const Format& f) {
  const QString path = ask_name(f);
  if (path.isEmpty()) return;
  const QString caption = QString("%1 Picture Options").arg(QString::fromLatin1(f.extension).toUpper());
  std::unique_ptr<PictureOptionsDialog> dialog;
  if (is(f.extension, "svg") || is(f.extension, "pdf")) {
    PaperPicture& stored = is(f.extension, "svg") ? svg_ : pdf_;
    dialog = std::make_unique<PictureOptionsDialog>(f.options, caption, stored, &w_);
  } else {
    // The page at 100 % unless another size was chosen before.
    const QSize pixels = bitmap_pixels_.value_or(page_picture_area(w_.schematic().page()).size().toSize());
    dialog = std::make_unique<PictureOptionsDialog>(f.options, caption, pixels, bitmap_monochrome_, &w_);
  }
  if (dialog->exec() != QDialog::Accepted) return;
  const PictureOptions o = dialog->options();
  if (o.pixels.isValid()) {
    bitmap_pixels_ = o.pixels;
    bitmap_monochrome_ = o.monochrome;
  }
  save_page_picture(path, f.extension, o);
}

bool PictureCommands::save_page_picture(const QString& path, const char* format, const PictureOptions& o) {
  Schematic& s = w_.schematic();
  Page& page = s.page();
  page_size_apply(page);
  const QRectF area = page_picture_area(page);
  PageDrawOptions draw = draw_options(s.current_page(), o.monochrome);
  const std::string name = path.toStdString();
  bool ok = false;
  if (is(format, "svg")) {
    // Drawn in tenths of a millimetre, so that the picture keeps the size typed.
    const QSize size = (o.millimetres * 10).toSize();
    ok = !size.isEmpty() && write_rendered(name, [&](QIODevice& device) {
      QSvgGenerator svg;
      svg.setOutputDevice(&device);
      svg.setSize(size);
      svg.setResolution(254);
      svg.setViewBox(QRect(QPoint(0, 0), size));
      svg.setTitle(QString::fromStdString(s.path));
      QPainter p;
      if (!p.begin(&svg)) return false;
      p.setTransform(fit_transform(area, QRectF(QPointF(0, 0), QSizeF(size))));
      draw_page(p, s, page, draw);
      return p.end();
    });
  } else if (is(format, "pdf")) {
    const QPageSize paper(o.millimetres, QPageSize::Millimeter, QString(), QPageSize::ExactMatch);
    ok = o.millimetres.isValid() && write_rendered(name, [&](QIODevice& device) {
           return write_pages_pdf(
               device, s, {&page}, [&](const Page&) { return paper; }, draw);
         });
  } else {
    QImage image(o.pixels, QImage::Format_RGB32);
    if (!image.isNull()) {
      image.fill(Qt::white);
      {
        QPainter p(&image);
        // Black and white stays crisp: no grey edges to threshold.
        p.setRenderHint(QPainter::Antialiasing, !o.monochrome);
        p.setRenderHint(QPainter::TextAntialiasing, !o.monochrome);
        p.setTransform(fit_transform(area, QRectF(image.rect())));
        draw_page(p, s, page, draw);
      }
      ok = write_image(name, o.monochrome ? black_and_white(image) : image, image_format(format));
    }
  }
  if (!ok) {
    if (is(format, "svg") || is(format, "pdf"))
      w_.notify().error("Error writing " + QString::fromLatin1(format).toUpper().toStdString() + " file:\n" +
                        name);
    else
      w_.notify().error("Error writing bitmap file:\n" + name);
    return false;
  }
  if (is(format, "png")) w_.notify().information(name + "\nPNG file saved");
  return true;
}

void PictureCommands::screen_capture(const Format& f) {
  // Taken before the file dialog opens, so that the dialog is not in the picture.
  const QImage shot = w_.sheet()->viewport()->grab().toImage();
  if (shot.isNull()) {
    w_.notify().error("Unable to capture window (hWnd is NULL)");
    return;
  }
  const QString path = ask_name(f);
  if (path.isEmpty()) return;
  PictureOptionsDialog dialog(f.options, "Screen Capture Options", shot.size(), capture_monochrome_, &w_);
  if (dialog.exec() != QDialog::Accepted) return;
  const PictureOptions o = dialog.options();
  capture_monochrome_ = o.monochrome;
  QImage image =
      o.pixels == shot.size() ? shot : shot.scaled(o.pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  if (o.monochrome) image = black_and_white(image);
  const std::string name = path.toStdString();
  if (!write_image(name, image, image_format(f.extension))) {
    w_.notify().error("Error writing bitmap file:\n" + name);
    return;
  }
  if (is(f.extension, "png")) w_.notify().information(name + "\nPNG file saved");
}

}  // namespace zephyrim
