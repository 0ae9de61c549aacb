// Printing and pictures from the editor's menu, as a user does them: the
// printed pages are the pages `zephyrim render` draws, page ranges print
// exactly the pages chosen, and each picture command writes a file of the
// size its options dialog was given.
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QDoubleSpinBox>
#include <QMimeData>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QRadioButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <cmath>
#include <deque>
#include <functional>

#include "common/file_io.h"
#include "editor/command_table.h"
#include "editor/file_commands.h"
#include "editor/picture_commands.h"
#include "editor_test_support.h"
#include "render/page_picture.h"
#include "schematic/page_size.h"
#include "schematic/schematic_dump.h"

using namespace zephyrim;

namespace {

// Answers each modal dialog that appears while work runs, from the event loop
// (not inside the timer's slot, so that a dialog may open another).
class DialogAnswerer {
 public:
  explicit DialogAnswerer(std::function<void(QDialog*)> answer) : answer_(std::move(answer)) {}
  QStringList names;  // object names of the dialogs answered, in order

  void run(const std::function<void()>& work) {
    QTimer timer;
    timer.setInterval(20);
    QObject::connect(&timer, &QTimer::timeout, [this] {
      auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      if (!d || pending_ || d == last_) return;
      pending_ = true;
      QTimer::singleShot(0, d, [this, d] {
        pending_ = false;
        last_ = d;
        names << d->objectName();
        answer_(d);
      });
    });
    timer.start();
    work();
  }

 private:
  std::function<void(QDialog*)> answer_;
  bool pending_ = false;
  QDialog* last_ = nullptr;
};

void trigger(EditorMainWindow& w, int id, DialogAnswerer* answerer = nullptr) {
  QAction* a = w.action(id);
  QVERIFY2(a && a->isEnabled(), qPrintable(QString("command %1 not enabled").arg(id)));
  if (answerer)
    answerer->run([a] { a->trigger(); });
  else
    a->trigger();
}

struct ToolRun {
  int code = -1;
  QString output;
};

ToolRun run(const QString& program, const QStringList& args) {
  QProcess p;
  p.setProcessChannelMode(QProcess::MergedChannels);
  p.start(program, args);
  if (!p.waitForFinished(60000)) return {};
  return {p.exitCode(), QString::fromUtf8(p.readAll())};
}

ToolRun render(const QStringList& args) {
  return run(ZEPHYRIM_BATCH_TOOL, QStringList{"render"} + args);
}

// "Pages: N" of pdfinfo; -1 when it could not tell.
int pdf_pages(const QString& pdf) {
  for (const QString& line : run("pdfinfo", {pdf}).output.split('\n'))
    if (line.startsWith("Pages:")) return line.mid(6).trimmed().toInt();
  return -1;
}

// A page's size in points from pdfinfo; empty when it could not tell.
QSizeF pdf_page_size(const QString& pdf, int page) {
  const QString n = QString::number(page);
  for (const QString& line : run("pdfinfo", {"-f", n, "-l", n, pdf}).output.split('\n')) {
    if (!line.startsWith("Page") || !line.contains("size:")) continue;
    const QStringList words = line.section("size:", 1).simplified().split(' ');
    if (words.size() >= 3) return QSizeF(words[0].toDouble(), words[2].toDouble());
  }
  return {};
}

// Each page of a PDF as pdftoppm rasterises it at 50 dots an inch.
std::vector<QImage> rasterise(const QString& pdf) {
  const QString prefix = pdf + ".r";
  run("pdftoppm", {"-r", "50", "-png", pdf, prefix});
  const QFileInfo f(prefix);
  QStringList names = f.dir().entryList({f.fileName() + "-*.png"}, QDir::Files, QDir::Name);
  std::vector<QImage> pages;
  for (const QString& name : names) pages.push_back(QImage(f.dir().filePath(name)));
  return pages;
}

// Mean absolute difference of the colour channels, 0 (same) to 1.
double difference(const QImage& a, const QImage& b) {
  if (a.size() != b.size() || a.isNull()) return 1.0;
  const QImage x = a.convertToFormat(QImage::Format_RGB32);
  const QImage y = b.convertToFormat(QImage::Format_RGB32);
  double sum = 0;
  for (int r = 0; r < x.height(); ++r)
    for (int c = 0; c < x.width(); ++c) {
      const QRgb p = x.pixel(c, r), q = y.pixel(c, r);
      sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
    }
  return sum / (3.0 * 255.0 * x.width() * x.height());
}

// Prints into a PDF file, as the print dialog's "Print to File" does, on
// paper the size of the page's own PDF without margins, so that the printed
// sheet compares one to one with `zephyrim render`. prepare runs last, on the
// dialog (a page range, checks of what it offers).
std::function<void(QDialog*)> print_to(const QString& pdf, const Page& page,
                                       std::function<void(QPrintDialog*)> prepare = {}) {
  const QPageSize paper = page_pdf_size(page);
  return [=](QDialog* d) {
    auto* dialog = qobject_cast<QPrintDialog*>(d);
    QVERIFY(dialog);
    QPrinter* printer = dialog->printer();
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(pdf);
    printer->setPageSize(paper);
    printer->setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Point);
    if (prepare) prepare(dialog);
    // Closed without the dialog's own OK, which would take its widgets'
    // printer over the settings made here.
    dialog->done(QDialog::Accepted);
  };
}

}  // namespace

class EditorPrintTest : public QObject {
  Q_OBJECT

  std::unique_ptr<QTemporaryDir> dir_;

  // A scratch folder of the test function's own.
  QString folder(const char* test) {
    const QString path = dir_->filePath(QString("%1-%2").arg(test).arg(getpid()));
    QDir().mkpath(path);
    return path;
  }

  static bool have_poppler() {
    return !QStandardPaths::findExecutable("pdfinfo").isEmpty() &&
           !QStandardPaths::findExecutable("pdftoppm").isEmpty();
  }

  // The two-page example copied into folder and opened, with `extra` pages
  // added through Project > Page > New, each with a wire of its own, and saved.
  std::unique_ptr<EditorMainWindow> editor(RecordingNotify& notify, const QString& folder, int extra,
                                           QString* path = nullptr) {
    const QString sch = folder + "/circuit.sch";
    QFile::remove(sch);
    if (!QFile::copy(ZEPHYRIM_SOURCE_DIR "/examples/opamp_two_page.sch", sch)) return nullptr;
    auto w = test::shown_editor(*dir_, notify);
    if (!w || !w->files().open_file(sch)) return nullptr;
    for (int k = 0; k < extra; ++k) {
      w->action(kCmdPageNew)->trigger();
      Schematic& s = w->schematic();
      const int y = 400 + 80 * k;
      if (!wire_add(s, 200, y, 1200, y) || !wire_add(s, 1200, y, 1200, 1000)) return nullptr;
      w->session().page_changed();
    }
    if (extra > 0 && !w->files().save_to(sch)) return nullptr;
    if (path) *path = sch;
    return w;
  }

 private slots:
  void initTestCase() {
    dir_ = std::make_unique<QTemporaryDir>(QDir::tempPath() +
                                           QString("/editor_print_test-%1-XXXXXX").arg(getpid()));
    QVERIFY(dir_->isValid());
    qputenv("ZEPHYRIM_RUNTIME_DIR", dir_->path().toLocal8Bit() + "/runtime");
  }

  void printed_pages_are_the_rendered_pages() {
    if (!have_poppler()) QSKIP("pdfinfo and pdftoppm (poppler-utils) are needed");
    const QString f = folder("printed_pages_are_the_rendered_pages");
    RecordingNotify notify;
    QString sch;
    auto w = editor(notify, f, 1, &sch);
    QVERIFY(w);
    Schematic& s = w->schematic();
    QCOMPARE(s.page_count(), 3);
    trigger(*w, kCmdPageFirst);
    trigger(*w, kCmdPageNext);
    QCOMPARE(s.current_page(), 1);
    QVERIFY(!s.modified);

    const QString printed = f + "/printed.pdf";
    DialogAnswerer print(print_to(printed, s.page(), [](QPrintDialog* d) {
      // Pages 1 to 3 offered, the current page as the range.
      QCOMPARE(d->minPage(), 1);
      QCOMPARE(d->maxPage(), 3);
      QCOMPARE(d->fromPage(), 2);
      QCOMPARE(d->toPage(), 2);
      QVERIFY(d->testOption(QAbstractPrintDialog::PrintPageRange));
    }));
    trigger(*w, kCmdPrint, &print);
    QCOMPARE(print.names.size(), 1);
    QCOMPARE(pdf_pages(printed), 3);
    QVERIFY(run("pdfinfo", {printed}).output.contains("Zephyrim Schematic"));  // the job's name
    // Back on the page that was current, the document untouched.
    QCOMPARE(s.current_page(), 1);
    QVERIFY(!s.modified);
    QVERIFY(notify.entries().empty());

    const std::vector<QImage> sheets = rasterise(printed);
    QCOMPARE(sheets.size(), size_t(3));
    std::vector<QImage> rendered;
    for (int n = 1; n <= 3; ++n) {
      const QString pdf = f + QString("/p%1.pdf").arg(n);
      QCOMPARE(render({sch, "--page", QString::number(n), "-o", pdf}).code, 0);
      const std::vector<QImage> one = rasterise(pdf);
      QCOMPARE(one.size(), size_t(1));
      rendered.push_back(one[0]);
      QCOMPARE(sheets[n - 1].size(), one[0].size());
      const double d = difference(sheets[n - 1], one[0]);
      qInfo("page %d: printed %dx%d, difference from render %.4f", n, sheets[n - 1].width(),
            sheets[n - 1].height(), d);
      // Pages share their grid and title block: another page differs by less than 1 %.
      QVERIFY2(d < 0.001, qPrintable(QString("page %1 differs by %2").arg(n).arg(d)));
    }
    // The comparison tells pages apart.
    const double apart = difference(sheets[0], rendered[1]);
    qInfo("printed page 1 against page 2: %.4f", apart);
    QVERIFY(apart > 0.003);

    // Every page into one PDF, each as its single render.
    const QString all = f + "/all.pdf";
    QCOMPARE(render({sch, "--all-pages", "-o", all}).code, 0);
    QCOMPARE(pdf_pages(all), 3);
    const std::vector<QImage> all_pages = rasterise(all);
    QCOMPARE(all_pages.size(), size_t(3));
    for (int n = 0; n < 3; ++n) {
      const double d = difference(all_pages[n], rendered[n]);
      qInfo("--all-pages page %d: difference from --page %.4f", n + 1, d);
      QVERIFY(d < 0.001);
    }
  }

  void a_page_range_prints_exactly_those_pages() {
    if (!have_poppler()) QSKIP("pdfinfo and pdftoppm (poppler-utils) are needed");
    const QString f = folder("a_page_range_prints_exactly_those_pages");
    RecordingNotify notify;
    QString sch;
    auto w = editor(notify, f, 2, &sch);
    QVERIFY(w);
    Schematic& s = w->schematic();
    QCOMPARE(s.page_count(), 4);
    QCOMPARE(s.current_page(), 3);

    const QString printed = f + "/range.pdf";
    DialogAnswerer print(print_to(printed, s.page(), [](QPrintDialog* d) {
      QCOMPARE(d->maxPage(), 4);
      QCOMPARE(d->fromPage(), 4);
      d->printer()->setPrintRange(QPrinter::PageRange);
      d->printer()->setFromTo(2, 3);
    }));
    trigger(*w, kCmdPrint, &print);
    QCOMPARE(pdf_pages(printed), 2);
    QCOMPARE(s.current_page(), 3);
    QVERIFY(!s.modified);
    const std::vector<QImage> sheets = rasterise(printed);
    QCOMPARE(sheets.size(), size_t(2));
    for (int n = 2; n <= 3; ++n) {
      const QString pdf = f + QString("/p%1.pdf").arg(n);
      QCOMPARE(render({sch, "--page", QString::number(n), "-o", pdf}).code, 0);
      QVERIFY(difference(sheets[n - 2], rasterise(pdf).at(0)) < 0.001);
    }

    // Pages of other sizes: --all-pages gives each its own PDF page.
    s.page().settings.sheet_size = 2;  // page 4 becomes size B
    QVERIFY(w->files().save_to(sch));
    const QString all = f + "/all.pdf";
    const QString p4 = f + "/p4.pdf";
    QCOMPARE(render({sch, "--all-pages", "-o", all}).code, 0);
    QCOMPARE(render({sch, "--page", "4", "-o", p4}).code, 0);
    QCOMPARE(pdf_pages(all), 4);
    QCOMPARE(pdf_page_size(all, 4), pdf_page_size(p4, 1));
    QCOMPARE(pdf_page_size(all, 1), pdf_page_size(f + "/p2.pdf", 1));
    QVERIFY(pdf_page_size(all, 4).width() > pdf_page_size(all, 1).width() * 1.5);
    // --all-pages is one PDF of every page, nothing else.
    const ToolRun both = render({sch, "--all-pages", "--page", "2", "-o", all});
    QCOMPARE(both.code, 2);
    QVERIFY2(both.output.contains("--all-pages") && both.output.contains("--page"), qPrintable(both.output));
    const ToolRun png = render({sch, "--all-pages", "-o", f + "/all.png"});
    QCOMPARE(png.code, 2);
    QVERIFY2(png.output.contains(".pdf"), qPrintable(png.output));
  }

  void one_page_offers_no_page_range() {
    RecordingNotify notify;
    auto w = test::shown_editor(*dir_, notify);
    QVERIFY(w);
    QCOMPARE(w->schematic().page_count(), 1);
    bool offered = true, range_enabled = true;
    DialogAnswerer print([&](QDialog* d) {
      auto* dialog = qobject_cast<QPrintDialog*>(d);
      QVERIFY(dialog);
      offered = dialog->testOption(QAbstractPrintDialog::PrintPageRange);
      auto* range = dialog->findChild<QRadioButton*>("printRange");
      QVERIFY(range);  // the dialog's "Pages from ... to" choice
      range_enabled = range->isVisibleTo(dialog) && range->isEnabled();
      dialog->reject();
    });
    trigger(*w, kCmdPrint, &print);
    QCOMPARE(print.names.size(), 1);
    QVERIFY(!offered);
    QVERIFY(!range_enabled);
  }

  void printer_setup_keeps_the_orientation() {
    RecordingNotify notify;
    auto w = test::shown_editor(*dir_, notify);
    QVERIFY(w);
    QCOMPARE(w->config().printer_paper_orient, -1);
    DialogAnswerer setup([](QDialog* d) {
      QVERIFY(qobject_cast<QPageSetupDialog*>(d));
      auto* landscape = d->findChild<QRadioButton*>("landscape");
      QVERIFY(landscape);
      landscape->click();
      d->accept();
    });
    trigger(*w, kCmdPrinterSetup, &setup);
    QCOMPARE(w->config().printer_paper_orient, 2);
    QCOMPARE(w->pictures().printer().pageLayout().orientation(), QPageLayout::Landscape);
    // A portrait printer is turned back to the kept orientation for the next print.
    w->pictures().printer().setPageOrientation(QPageLayout::Portrait);
    QPageLayout::Orientation offered = QPageLayout::Portrait;
    DialogAnswerer print([&](QDialog* d) {
      offered = qobject_cast<QPrintDialog*>(d)->printer()->pageLayout().orientation();
      d->reject();
    });
    trigger(*w, kCmdPrint, &print);
    QCOMPARE(offered, QPageLayout::Landscape);
  }

  void picture_files_follow_their_options() {
    const QString f = folder("picture_files_follow_their_options");
    RecordingNotify notify;
    auto w = editor(notify, f, 0);
    QVERIFY(w);
    std::deque<QString> names;
    QStringList captions, filters;
    w->pictures().ask_picture_name = [&](const QString& caption, const QString& filter) {
      captions << caption;
      filters << filter;
      if (names.empty()) return QString();
      QString n = names.front();
      names.pop_front();
      return n;
    };

    // SVG, 5 x 4 inches: the dialog shows the kept centimetres in inches.
    double offered_width = 0;
    DialogAnswerer svg([&](QDialog* d) {
      const auto buttons = d->findChildren<QRadioButton*>();
      QVERIFY(buttons.size() == 2);
      buttons[1]->click();  // inches
      offered_width = d->findChild<QDoubleSpinBox*>("width")->value();
      d->findChild<QDoubleSpinBox*>("width")->setValue(5);
      d->findChild<QDoubleSpinBox*>("height")->setValue(4);
      d->accept();
    });
    names = {f + "/page"};  // the extension is added
    trigger(*w, kCmdPictureWmf, &svg);
    QCOMPARE(svg.names, QStringList{"METAFILE_OPTS_DLG"});
    QCOMPARE(captions.last(), QString("Save As SVG Picture File"));
    QCOMPARE(filters.last(), QString("SVG pictures (*.svg)"));
    QVERIFY(std::abs(offered_width - 16 / 2.54) < 0.01);
    QVERIFY(QSvgRenderer(f + "/page.svg").isValid());
    const std::string svg_text = read_text_file((f + "/page.svg").toStdString()).value_or("");
    QVERIFY2(svg_text.find("width=\"127mm\"") != std::string::npos &&
                 svg_text.find("height=\"101.6mm\"") != std::string::npos,
             svg_text.substr(0, 400).c_str());

    // PDF, 20 x 15 cm.
    DialogAnswerer pdf([](QDialog* d) {
      d->findChildren<QRadioButton*>()[0]->click();  // centimetres
      d->findChild<QDoubleSpinBox*>("width")->setValue(20);
      d->findChild<QDoubleSpinBox*>("height")->setValue(15);
      d->accept();
    });
    names = {f + "/page.pdf"};
    trigger(*w, kCmdPictureEmf, &pdf);
    QCOMPARE(pdf.names, QStringList{"EMFFILE_OPTS_DLG"});
    QCOMPARE(captions.last(), QString("Save As PDF Picture File"));
    QCOMPARE(filters.last(), QString("PDF files (*.pdf)"));
    if (have_poppler()) {
      QCOMPARE(pdf_pages(f + "/page.pdf"), 1);
      const QSizeF points = pdf_page_size(f + "/page.pdf", 1);
      QVERIFY2(std::abs(points.width() - 200 / 25.4 * 72) < 1.5 &&
                   std::abs(points.height() - 150 / 25.4 * 72) < 1.5,
               qPrintable(QString("%1 x %2").arg(points.width()).arg(points.height())));
    } else {
      QVERIFY(read_text_file((f + "/page.pdf").toStdString()).value_or("").starts_with("%PDF"));
    }

    // BMP: the page at 100 % is offered; 800 x 600 taken.
    QSize offered;
    auto bitmap = [&](QSize size, bool mono) {
      return [&offered, size, mono](QDialog* d) {
        offered =
            QSize(d->findChild<QSpinBox*>("width")->value(), d->findChild<QSpinBox*>("height")->value());
        d->findChild<QSpinBox*>("width")->setValue(size.width());
        d->findChild<QSpinBox*>("height")->setValue(size.height());
        d->findChild<QCheckBox*>("monochrome")->setChecked(mono);
        d->accept();
      };
    };
    DialogAnswerer bmp(bitmap({800, 600}, false));
    names = {f + "/page.bmp"};
    trigger(*w, kCmdPictureBmp, &bmp);
    QCOMPARE(bmp.names, QStringList{"BMPFILE_OPTIONS_DLG"});
    QCOMPARE(captions.last(), QString("Save As Bitmap Picture File"));
    QCOMPARE(filters.last(), QString("Bitmap files (*.bmp)"));
    QCOMPARE(offered, page_picture_area(w->schematic().page()).size().toSize());
    QCOMPARE(QImage(f + "/page.bmp", "BMP").size(), QSize(800, 600));

    // PNG, in black and white, written directly: no bitmap left beside it.
    QDir().mkpath(f + "/png");
    DialogAnswerer png(bitmap({640, 480}, true));
    names = {f + "/png/page.png"};
    notify.clear();
    trigger(*w, kCmdPicturePng, &png);
    QCOMPARE(captions.last(), QString("Save As PNG Compressed Bitmap File"));
    QCOMPARE(filters.last(), QString("PNG picture files (*.png)"));
    QCOMPARE(offered, QSize(800, 600));  // the last bitmap's size, kept
    const QImage page_png(f + "/png/page.png", "PNG");
    QCOMPARE(page_png.size(), QSize(640, 480));
    int black = 0, other = 0;
    for (int y = 0; y < page_png.height(); ++y)
      for (int x = 0; x < page_png.width(); ++x) {
        const QRgb p = page_png.pixel(x, y);
        black += p == qRgb(0, 0, 0);
        other += p != qRgb(0, 0, 0) && p != qRgb(255, 255, 255);
      }
    QVERIFY(black > 1000);
    QCOMPARE(other, 0);
    QCOMPARE(QDir(f + "/png").entryList(QDir::Files), QStringList{"page.png"});
    QCOMPARE(notify.entries().size(), size_t(1));
    QVERIFY(notify.entries()[0].kind == NoticeKind::Information);
    QCOMPARE(QString::fromStdString(notify.last()), f + "/png/page.png\nPNG file saved");

    // Screen captures: the sheet as shown, at the size asked.
    const QSize viewport = w->sheet()->viewport()->size();
    DialogAnswerer capture(bitmap({300, 200}, false));
    names = {f + "/screen.bmp"};
    trigger(*w, kCmdCaptureBmp, &capture);
    QCOMPARE(capture.names, QStringList{"DIB_OPTIONS_DLG"});
    QCOMPARE(captions.last(), QString("Save As Screen Capture Bitmap File"));
    QCOMPARE(offered, viewport);
    QCOMPARE(QImage(f + "/screen.bmp", "BMP").size(), QSize(300, 200));
    DialogAnswerer capture_png([](QDialog* d) { d->accept(); });
    names = {f + "/screen.png"};
    trigger(*w, kCmdCapturePng, &capture_png);
    QCOMPARE(filters.last(), QString("PNG picture files (*.png)"));
    QCOMPARE(QImage(f + "/screen.png", "PNG").size(), viewport);

    // A folder that is not there: the error, and the schematic as it was.
    const std::string dump = schematic_dump(w->schematic());
    QVERIFY(!w->schematic().modified);
    for (const int id : {kCmdPictureBmp, kCmdPicturePng}) {
      notify.clear();
      const QString bad = f + "/no such folder/page.bmp";
      names = {bad};
      DialogAnswerer ok([](QDialog* d) { d->accept(); });
      trigger(*w, id, &ok);
      QCOMPARE(QString::fromStdString(notify.last()), "Error writing bitmap file:\n" + bad);
      QVERIFY(notify.entries()[0].kind == NoticeKind::Error);
    }
    notify.clear();
    names = {f + "/no such folder/page.svg"};
    DialogAnswerer ok([](QDialog* d) { d->accept(); });
    trigger(*w, kCmdPictureWmf, &ok);
    QCOMPARE(notify.last(), "Error writing SVG file:\n" + (f + "/no such folder/page.svg").toStdString());
    QCOMPARE(schematic_dump(w->schematic()), dump);
    QVERIFY(!w->schematic().modified);
    QVERIFY(!QDir(f + "/no such folder").exists());

    // A cancelled file dialog does nothing, not even the options.
    notify.clear();
    names.clear();
    DialogAnswerer none([](QDialog* d) { d->reject(); });
    trigger(*w, kCmdPicturePng, &none);
    QVERIFY(none.names.isEmpty());
    QVERIFY(notify.entries().empty());
  }

  void the_clipboard_takes_the_configured_formats() {
    RecordingNotify notify;
    auto w = test::shown_editor(*dir_, notify);
    QVERIFY(w);
    trigger(*w, kCmdCopySchematic);
    const QMimeData* both = QGuiApplication::clipboard()->mimeData();
    QVERIFY(both && both->hasImage() && both->hasFormat("image/svg+xml"));
    w->config().copy_clipboard_metafile_format = 1;
    trigger(*w, kCmdCopySchematic);
    const QMimeData* bitmap = QGuiApplication::clipboard()->mimeData();
    QVERIFY(bitmap && bitmap->hasImage() && !bitmap->hasFormat("image/svg+xml"));
    // The clipboard took it: no busy error.
    QVERIFY(notify.entries().empty());
  }

  void an_unlisted_size_code_is_size_a() {
    const QString f = folder("an_unlisted_size_code_is_size_a");
    RecordingNotify notify;
    auto w = editor(notify, f, 0);
    QVERIFY(w);
    Page& page = w->schematic().page();
    page.settings.sheet_size = 9;
    page.title.size.assign("Size: Z");  // whatever an older file kept
    QSize offered;
    w->pictures().ask_picture_name = [&](const QString&, const QString&) { return f + "/nine.png"; };
    DialogAnswerer png([&](QDialog* d) {
      offered = QSize(d->findChild<QSpinBox*>("width")->value(), d->findChild<QSpinBox*>("height")->value());
      d->accept();
    });
    trigger(*w, kCmdPicturePng, &png);
    QCOMPARE(offered, QSize(1600 + 16, 1200 + 16));
    QCOMPARE(QImage(f + "/nine.png").size(), QSize(1616, 1216));
    QCOMPARE(page.title.size.str(), std::string("Size: A"));
    QCOMPARE(page.settings.sheet_size, 9);  // kept as stored

    // Drawn as size A: the same picture as code 0.
    const QImage nine(f + "/nine.png");
    page.settings.sheet_size = 0;
    w->pictures().ask_picture_name = [&](const QString&, const QString&) { return f + "/zero.png"; };
    DialogAnswerer again([](QDialog* d) { d->accept(); });
    trigger(*w, kCmdPicturePng, &again);
    QCOMPARE(QImage(f + "/zero.png"), nine);

    // The batch tool reads it from the file alike.
    page.settings.sheet_size = 9;
    QVERIFY(w->files().save_to(f + "/nine.sch"));
    page.settings.sheet_size = 0;
    QVERIFY(w->files().save_to(f + "/zero.sch"));
    QCOMPARE(render({f + "/nine.sch", "-o", f + "/r9.png"}).code, 0);
    QCOMPARE(render({f + "/zero.sch", "-o", f + "/r0.png"}).code, 0);
    QCOMPARE(QImage(f + "/r9.png").size(), QSize(1616, 1216));
    QCOMPARE(QImage(f + "/r0.png").size(), QSize(1616, 1216));
    QVERIFY(difference(QImage(f + "/r9.png"), QImage(f + "/r0.png")) < 0.002);  // the file names differ

    // Drawing Options lists it as size A.
    page.settings.sheet_size = 9;
    int listed = -1;
    DialogAnswerer options([&](QDialog* d) {
      for (QComboBox* c : d->findChildren<QComboBox*>())
        if (c->count() == kPageSizeCount) listed = c->currentIndex();
      d->reject();
    });
    trigger(*w, kCmdDrawOptions, &options);
    QCOMPARE(listed, 0);
  }
};

QTEST_MAIN(EditorPrintTest)
#include "editor_print_test.moc"
