#pragma once
// Printing and picture files: File > Print and Printer Setup, the page saved as
// SVG, PDF, BMP or PNG, and the window saved as a screen capture. Every page
// is drawn by draw_page after its size code is applied, fitted to the sheet
// or picture, so a print, a picture and `zephyrim render` show the same page.
#include <QImage>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "editor/main_window.h"
#include "platform/qt/picture_options.h"
#include "render/page_painter.h"

class QPrinter;

namespace zephyrim {

// The print job's name, as the print queue shows it.
inline constexpr const char* kPrintDocName = kSchematicTitle;

class PictureCommands {
 public:
  // One picture command's dialogs and format (defined with the commands).
  struct Format;

  explicit PictureCommands(EditorMainWindow& window);
  ~PictureCommands();
  void add_to(CommandHandlers& handlers);

  // The printer Print and Printer Setup share, made when first needed, in
  // the configured paper orientation.
  QPrinter& printer();
  // Prints the pages the printer's range names (every page when it names
  // none), each made current, sized and fitted to the printable area; then
  // the page that was current is current again. False after the error
  // message when the job cannot start.
  bool print_pages(QPrinter& printer);

  // Writes the current page as a picture in format "svg", "pdf", "bmp" or
  // "png" with the options; false after the error message.
  bool save_page_picture(const QString& path, const char* format, const PictureOptions& options);

  // Seam replaced by tests: the file a picture goes to, asked with the
  // dialog's caption and filter; empty when cancelled.
  std::function<QString(const QString& caption, const QString& filter)> ask_picture_name;

 private:
  // The page's drawing for print and pictures, with what the sheet shows over it.
  PageDrawOptions draw_options(int page, bool monochrome) const;
  void print();
  void printer_setup();
  // PrinterPaperOrient onto the printer: 1 portrait, 2 landscape, else the printer's own.
  void apply_orientation(QPrinter& printer) const;
  void page_picture(const Format& format);
  void screen_capture(const Format& format);
  // The chosen name, with the format's extension when it has none; empty when cancelled.
  QString ask_name(const Format& format);

  EditorMainWindow& w_;
  std::unique_ptr<QPrinter> printer_;
  // What the option dialogs took, offered again for the rest of the run.
  PaperPicture svg_ = kDefaultPaperPicture;
  PaperPicture pdf_ = kDefaultPaperPicture;
  std::optional<QSize> bitmap_pixels_;  // absent: the page's own size at 100 %
  bool bitmap_monochrome_ = false;
  bool capture_monochrome_ = false;
};

// A picture in black and white: every pixel darker than near-white is black.
QImage black_and_white(const QImage& image);

}  // namespace zephyrim
