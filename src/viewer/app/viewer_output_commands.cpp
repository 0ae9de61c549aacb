// The commands that take the graph out of the window (printing, the
// clipboard, screen captures), move its view (scrolling, fonts, display modes)
// and start other programs (output browser, calculator, help, sound).
#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QClipboard>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QFormLayout>
#include <QMimeData>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QRadioButton>
#include <QSaveFile>
#include <QSpinBox>
#include <QStandardPaths>
#include <QStatusBar>
#include <QUrl>
#include <QVBoxLayout>
#include <cmath>

#include "platform/qt/about_dialog.h"
#include "platform/qt/help_pages.h"
#include "render/plot_painter.h"
#include "viewer/app/dialog_buttons.h"
#include "viewer/app/main_window.h"
#include "viewer/app/plot_view.h"
#include "viewer/data/wav_file.h"
#include "viewer/session/command_table.h"

namespace zephyrim {

namespace {

// File > Page Setup/Print Options: the margins and the print settings of the
// configuration. A margin pair that leaves no room on the paper is refused
// and the dialog stays open.
class PageSetupDialog : public QDialog {
 public:
  PageSetupDialog(PageMargins& margins, ViewerConfig& config, QSizeF paper_mm, Notify& notify,
                  QWidget* parent)
      : QDialog(parent), margins_(margins), config_(config), paper_(paper_mm), notify_(notify) {
    setObjectName("PAGESETUP_DLG");
    setWindowTitle(tr("Page Setup/Print Options"));
    auto* form = new QFormLayout;
    auto margin = [&](const char* name, const QString& label, double value) {
      auto* box = new QDoubleSpinBox(this);
      box->setObjectName(name);
      box->setRange(0, 1000);
      box->setDecimals(1);
      box->setSuffix(" mm");
      box->setValue(value);
      form->addRow(label, box);
      return box;
    };
    left_ = margin("left", tr("&Left margin:"), margins.left);
    right_ = margin("right", tr("&Right margin:"), margins.right);
    top_ = margin("top", tr("&Top margin:"), margins.top);
    bottom_ = margin("bottom", tr("&Bottom margin:"), margins.bottom);
    font_ratio_ = new QSpinBox(this);
    font_ratio_->setObjectName("font_ratio");
    font_ratio_->setRange(2, 499);
    font_ratio_->setValue(config.printer_font_ratio);
    form->addRow(tr("Page height / text &height:"), font_ratio_);
    grid_thick_ = new QSpinBox(this);
    grid_thick_->setObjectName("grid_thickness");
    grid_thick_->setRange(1, 20);
    grid_thick_->setValue(config.print_grid_line_thick);
    form->addRow(tr("&Grid line thickness:"), grid_thick_);
    monochrome_ = new QCheckBox(tr("Print in &black and white"), this);
    monochrome_->setObjectName("monochrome");
    monochrome_->setChecked(config.print_monochrome != 0);
    form->addRow(monochrome_);
    landscape_ = new QCheckBox(tr("L&andscape"), this);
    landscape_->setObjectName("landscape");
    landscape_->setChecked(config.printer_paper_orient != 0);
    form->addRow(landscape_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(ok_cancel(this));
  }

  void accept() override {
    // The paper's sides swap in landscape.
    const bool landscape = landscape_->isChecked();
    const double width = landscape ? paper_.height() : paper_.width();
    const double height = landscape ? paper_.width() : paper_.height();
    if (left_->value() + right_->value() >= width) {
      notify_.error("Invalid horizontal margins");
      left_->setFocus();
      return;
    }
    if (top_->value() + bottom_->value() >= height) {
      notify_.error("Invalid vertical margins");
      top_->setFocus();
      return;
    }
    margins_ = {left_->value(), right_->value(), top_->value(), bottom_->value()};
    config_.printer_font_ratio = font_ratio_->value();
    config_.print_grid_line_thick = grid_thick_->value();
    config_.print_monochrome = monochrome_->isChecked() ? 1 : 0;
    config_.printer_paper_orient = landscape ? 1 : 0;
    QDialog::accept();
  }

 private:
  PageMargins& margins_;
  ViewerConfig& config_;
  QSizeF paper_;
  Notify& notify_;
  QDoubleSpinBox *left_, *right_, *top_, *bottom_;
  QSpinBox *font_ratio_, *grid_thick_;
  QCheckBox *monochrome_, *landscape_;
};

// Writes bytes whole or not at all.
bool save_bytes(const QString& path, const QByteArray& bytes) {
  QSaveFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

}  // namespace

QPrinter& ViewerMainWindow::printer() {
  if (!printer_) {
    printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer_->setDocName(tr("Tracery Plot"));
    if (config_.printer_paper_orient >= 0)
      printer_->setPageOrientation(config_.printer_paper_orient ? QPageLayout::Landscape
                                                                : QPageLayout::Portrait);
  }
  return *printer_;
}

bool ViewerMainWindow::print_graph(QPrinter& printer) {
  if (config_.printer_paper_orient >= 0)
    printer.setPageOrientation(config_.printer_paper_orient ? QPageLayout::Landscape : QPageLayout::Portrait);
  printer.setPageMargins(QMarginsF(margins_.left, margins_.top, margins_.right, margins_.bottom),
                         QPageLayout::Millimeter);
  printer.setDocName(tr("Tracery Plot"));
  QPainter p;
  if (!p.begin(&printer)) {
    notify_.error("Unable to start print job. Error=" +
                  std::to_string(static_cast<int>(printer.printerState())));
    return false;
  }
  PlotStyle style = view_->style;
  style.printing = true;
  style.cursors = &cursors_;
  if (config_.print_monochrome)
    style.mode = DISPLAY_MODE_MONOCHROME;
  else if (style.mode == DISPLAY_MODE_BLACK)
    style.mode = DISPLAY_MODE_WHITE;  // no black pages
  const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
  const QRectF area(0, 0, page.width(), page.height());
  style.font_pixels = area.height() / std::max(2, config_.printer_font_ratio);
  draw_graph(p, area, graph_, *store_, style);
  return p.end();
}

void ViewerMainWindow::copy_to_clipboard(bool screen) {
  auto* data = new QMimeData;
  if (screen) {
    data->setImageData(grab().toImage());
  } else {
    // The graph as the window shows it, as a bitmap and, for programs that take one, as SVG.
    const QSize size = view_->size().expandedTo(QSize(640, 480));
    QImage image(size, QImage::Format_RGB32);
    {
      QPainter p(&image);
      p.setRenderHint(QPainter::Antialiasing, true);
      PlotStyle style = view_->style;
      style.cursors = &cursors_;
      draw_graph(p, QRectF(image.rect()), graph_, *store_, style);
    }
    data->setImageData(image);
    const QByteArray bytes = picture_bytes("svg", {.pixels = size});
    if (!bytes.isEmpty()) data->setData("image/svg+xml", bytes);
  }
  QGuiApplication::clipboard()->setMimeData(data);
}

void ViewerMainWindow::add_output_handlers() {
  handle(CMD_PAGE_SETUP, [this] {
    const QSizeF paper = printer().pageLayout().pageSize().size(QPageSize::Millimeter);
    PageSetupDialog dialog(margins_, config_, paper, notify_, this);
    dialog.exec();
  });
  handle(CMD_PRINTER_SETUP, [this] {
    QPageSetupDialog dialog(&printer(), this);
    if (dialog.exec() == QDialog::Accepted)
      config_.printer_paper_orient = printer().pageLayout().orientation() == QPageLayout::Landscape ? 1 : 0;
  });
  handle(CMD_PRINT, [this] {
    if (graph_.traces.empty()) return;
    QPrintDialog dialog(&printer(), this);
    dialog.setWindowTitle(tr("Print"));
    if (dialog.exec() != QDialog::Accepted) return;
    busy(tr("Printing..."), [&] { print_graph(printer()); });
  });

  handle(CMD_COPY_GRAPH, [this] { copy_to_clipboard(false); });
  handle(CMD_COPY_SCREEN, [this] { copy_to_clipboard(true); });
  for (const auto& [id, ext] : {std::pair{CMD_CAPTURE_BMP, "bmp"}, {CMD_CAPTURE_PNG, "png"}})
    handle(id, [this, ext] {
      // Taken before the file dialog opens, so that the dialog is not in the picture.
      const QImage shot = grab().toImage();
      const QString filter = QString("%1 pictures (*.%2)").arg(QString(ext).toUpper(), ext);
      const QString path = choose_save_path(tr("Save As Screen Capture Bitmap File"), filter, ext);
      if (path.isEmpty()) return;
      QByteArray bytes;
      QBuffer buffer(&bytes);
      buffer.open(QIODevice::WriteOnly);
      if (!shot.save(&buffer, ext == std::string("bmp") ? "BMP" : "PNG") || !save_bytes(path, bytes))
        notify_.error("Error writing bitmap file:\n" + path.toStdString());
    });

  for (int step = 1; step <= 8; ++step)
    handle(CMD_SCROLL_LEFT + step - 1, [this, step] {
      view_->scroll(step);
      if (step >= 7) statusBar()->showMessage(tr(" Plot %1").arg(view_->current_plot() + 1), 3000);
    });
  for (const auto& [id, mode] : {std::pair{CMD_DISPLAY_FILE_COLOUR, int(DISPLAY_MODE_FILE_COLOUR)},
                                 {CMD_DISPLAY_FILE_MONO, int(DISPLAY_MODE_FILE_MONO)}})
    handle(id, [this, mode] {
      view_->style.mode = mode;
      update_actions();
      view_->update();
    });
  handle(CMD_CHOOSE_FONT, [this] {
    bool ok = false;
    QFont current = font();
    if (!view_->style.font_family.isEmpty()) current.setFamily(view_->style.font_family);
    const QFont chosen = QFontDialog::getFont(&ok, current, this, tr("Choose Font"));
    if (!ok) return;
    view_->style.font_family = chosen.family();
    config_.last_font_name = chosen.family().toStdString();
    view_->update();
  });
  handle(CMD_DEFAULT_FONT, [this] {
    view_->style.font_family.clear();
    config_.last_font_name = viewer_defaults::kFontName;
    view_->update();
  });

  handle(CMD_BROWSE_OUTPUT, [this] {
    if (session_.names.path.empty()) return;
    const QString file = QString::fromStdString(session_.names.path);
    if (config_.browse_file_command.empty()) {
      QDesktopServices::openUrl(QUrl::fromLocalFile(file));
      return;
    }
    // The configured command line is split into words here, never by a shell;
    // the file goes to it as one more argument.
    QStringList words = QProcess::splitCommand(QString::fromStdString(config_.browse_file_command));
    if (!words.isEmpty()) start_program(words.takeFirst(), words << file);
  });
  handle(CMD_CALCULATOR, [this] {
    QStringList words = QProcess::splitCommand(QString::fromStdString(config_.calculator_command));
    if (!words.isEmpty()) start_program(words.takeFirst(), words);
  });
  for (int id : {CMD_HELP_CONTENTS, CMD_HELP_INDEX})
    handle(id, [this] {
      if (!open_help_page("trc32.html")) notify_.error("Cannot open help file trc32.html");
    });
  handle(CMD_ABOUT, [this] {
    show_about(this, QString::fromLatin1(kTraceryTitle),
               tr("The waveform viewer of Zephyrim: simulation data, expressions, measurements, plots."));
  });

  handle(CMD_PLAY_WAVEFILE, [this] {
    const QString path = QFileDialog::getOpenFileName(this, tr("Play Audio Wave File"),
                                                      QString::fromStdString(session_.names.folder),
                                                      tr("Audio wave files (*.wav)"));
    if (path.isEmpty()) return;
    playback_->remember(path.toStdString());
    wav_play(*playback_, 0, nullptr, notify_);
  });
  handle(CMD_PLAY_TRACE, [this] {
    if (graph_.traces.empty()) return;
    const SelectedTrace& t = *graph_.traces.front();
    store_->values(*t.x);
    store_->values(*t.y);
    const WavTrace trace{store_->values(*t.x), store_->values(*t.y), config_.wave_file_sample_rate, {}};
    wav_play(*playback_, 1, &trace, notify_);
  });
  handle(CMD_PLAY_STOP, [this] { wav_stop(*playback_); });
  handle(CMD_PLAY_REPEAT, [this] {
    if (!playback_->remembered().empty()) wav_play(*playback_, 0, nullptr, notify_);
  });
}

bool ViewerMainWindow::start_program(const QString& program, const QStringList& arguments) {
  if (QProcess::startDetached(program, arguments, QString::fromStdString(session_.names.folder))) return true;
  // As the editor reports it: 2 for a program that is not there, 1 for one that would not run.
  const int code =
      QStandardPaths::findExecutable(program).isEmpty() && !QFileInfo(program).isExecutable() ? 2 : 1;
  notify_.error(QString("Run %1 failed; error code %2").arg(program).arg(code).toStdString());
  return false;
}

}  // namespace zephyrim
