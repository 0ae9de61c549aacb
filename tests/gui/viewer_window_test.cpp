// TRC32 driven as a person drives it: menus, dialogs, mouse and keys, on files
// that ngspice and zsim wrote in the test.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QImage>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <map>
#include <set>

#include "common/file_io.h"
#include "platform/broadcast.h"
#include "platform/process.h"
#include "viewer/app/main_window.h"
#include "viewer/app/plot_view.h"
#include "viewer/session/command_table.h"
#include "viewer_test_support.h"

using namespace zephyrim;
using namespace zephyrim::test;

class ViewerWindowTest : public QObject {
  Q_OBJECT
  QTemporaryDir dir_;

  QString file(const char* name) const { return dir_.filePath(name); }

 private slots:
  void initTestCase() { QVERIFY(write_simulated_files(dir_)); }

  void raw_file_by_probe_and_expression_then_zoom_and_cursors() {
    ViewerMainWindow w;
    w.resize(1000, 700);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    // A RAW file has no #AUTOPLOT: the Probe selection follows the file dialog.
    DialogFiller open{.path = file("rc.raw"), .choose = {"v(in)"}};
    trigger(w, CMD_OPEN, &open);
    QVERIFY(open.seen >= 2);
    QCOMPARE(int(w.graph().traces.size()), 1);
    DialogFiller probe{.choose = {"v(out)"}};
    trigger(w, CMD_PROBE, &probe);
    QCOMPARE(int(w.graph().traces.size()), 2);
    DialogFiller expression{.text = "DIFF=V(IN)-V(OUT)"};
    trigger(w, CMD_TRACE_ADD, &expression);
    QCOMPARE(int(w.graph().traces.size()), 3);
    QCOMPARE(QString::fromStdString(w.graph().traces[2]->name), QString("DIFF"));

    // Zoom: the menu item, then a drag over the left third of the plot.
    PlotView* view = w.plot_view();
    const double x_high = w.graph().x_axis.high;
    trigger(w, CMD_ZOOM_AREA);
    const QRectF frame = view->layout().frames.at(0).rect;
    const QPoint from(int(frame.left() + 5), int(frame.top() + 5));
    const QPoint to(int(frame.left() + frame.width() / 3), int(frame.bottom() - 5));
    QTest::mousePress(view, Qt::LeftButton, {}, from);
    QTest::mouseMove(view, to);
    QTest::mouseRelease(view, Qt::LeftButton, {}, to);
    QVERIFY(w.graph().x_axis.high < x_high / 2);
    trigger(w, CMD_ZOOM_CANCEL);
    QCOMPARE(w.graph().x_axis.high, x_high);

    // Both cursors: shown from the menu, placed by clicks, the deltas read out.
    trigger(w, CMD_CURSOR1);
    QTest::mouseClick(view, Qt::LeftButton, {},
                      QPoint(int(frame.left() + frame.width() * 0.1), int(frame.center().y())));
    trigger(w, CMD_CURSOR2);
    QTest::mouseClick(view, Qt::LeftButton, {},
                      QPoint(int(frame.left() + frame.width() * 0.6), int(frame.center().y())));
    const CursorPair& c = w.cursors();
    QVERIFY(c.cursor[0].active && c.cursor[1].active);
    QVERIFY(c.cursor[1].x > c.cursor[0].x);
    auto* readout = w.findChild<QDockWidget*>("cursor_readout");
    QVERIFY(readout && readout->isVisible());
    const QString text = qobject_cast<QLabel*>(readout->widget())->text();
    QVERIFY2(text.contains(" X2-X1=") && text.contains(" SLOPE="), qPrintable(text));

    // Pictures of the graph in every format, of the size asked for and not blank:
    // the window's size is offered first, a size typed into the options is kept.
    QSize offered;
    DialogFiller bmp{.path = file("g.bmp"), .custom = [&](QDialog* d) {
                       offered = QSize(d->findChild<QSpinBox*>("width")->value(),
                                       d->findChild<QSpinBox*>("height")->value());
                       d->accept();
                     }};
    trigger(w, CMD_PICTURE_BMP, &bmp);
    QVERIFY(offered.width() > 600 && offered.height() > 400);
    QCOMPARE(QImage(file("g.bmp")).size(), offered);
    QVERIFY(drawn_share(QImage(file("g.bmp"))) > 0.02);
    DialogFiller png{.path = file("g.png"), .custom = [](QDialog* d) {
                       if (d->objectName() != "DIB_OPTIONS_DLG") return d->reject();
                       d->findChild<QSpinBox*>("width")->setValue(800);
                       d->findChild<QSpinBox*>("height")->setValue(500);
                       d->findChild<QCheckBox*>("monochrome")->setChecked(true);
                       d->accept();
                     }};
    trigger(w, CMD_PICTURE_PNG, &png);
    const QImage image(file("g.png"));
    QCOMPARE(image.size(), QSize(800, 500));
    QVERIFY(drawn_share(image) > 0.02);
    QVERIFY(image.allGray());
    // A vector picture takes the paper size of its options, 16 x 12 cm unless changed.
    DialogFiller svg{.path = file("g.svg")};
    trigger(w, CMD_PICTURE_WMF, &svg);
    QVERIFY(QFileInfo(file("g.svg")).size() > 0);
    const QByteArray svg_text = read_text_file(file("g.svg").toStdString()).value_or("").c_str();
    QVERIFY(svg_text.contains("<svg") && svg_text.count("<path") + svg_text.count("<polyline") > 3);
    QVERIFY2(svg_text.contains("width=\"160mm\""), svg_text.left(400).constData());
    DialogFiller pdf{.path = file("g.pdf")};
    trigger(w, CMD_PICTURE_EMF, &pdf);
    QVERIFY(read_text_file(file("g.pdf").toStdString()).value_or("").starts_with("%PDF"));
  }

  void zsim_listing_autoplots_and_runs_a_script() {
    ViewerMainWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    DialogFiller open{.path = file("lowpass.OUT")};
    trigger(w, CMD_OPEN, &open);
    QCOMPARE(int(w.graph().traces.size()), 2);
    QCOMPARE(QString::fromStdString(w.graph().traces[1]->name).toUpper(), QString("V(OUT)"));
    QVERIFY(w.windowTitle().endsWith("lowpass.OUT"));

    QVERIFY(write_file_atomic(file("ac.qsc").toStdString(),
                              "#AUTOPLOT AC XLOG VDB(OUT)\n#MEASURE AC VALUE G1K YVAR VDB(OUT) XVAL 1K\n"));
    DialogFiller script{.path = file("ac.qsc")};
    trigger(w, CMD_RUN_SCRIPT, &script);
    QCOMPARE(w.graph().analysis, int(ANALYSIS_AC));
    QVERIFY(w.graph().x_log);
    QVERIFY(w.store().find_vector("G1K", DATA_CLASS_TEXT, -1, -1, -1));

    // Opening again asks whether the old data goes; keeping it adds runs.
    DialogFiller again{.path = file("lowpass.OUT"), .answer = QMessageBox::No};
    trigger(w, CMD_OPEN, &again);
    QVERIFY(w.store().find_vector("V(OUT)", DATA_CLASS_BINARY, ANALYSIS_TRAN, -1, -1, 2));
  }

  void printing_clipboard_capture_and_scrolling() {
    ViewerMainWindow w;
    w.resize(1000, 700);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    DialogFiller open{.path = file("lowpass.OUT")};
    trigger(w, CMD_OPEN, &open);
    QCOMPARE(int(w.graph().traces.size()), 2);

    // Margins wider than the paper are refused and the dialog stays open.
    DialogFiller margins{.custom = [](QDialog* d) {
      auto* left = d->findChild<QDoubleSpinBox*>("left");
      auto* right = d->findChild<QDoubleSpinBox*>("right");
      const double each = left->value() < 100 ? 200 : 20;
      left->setValue(each);
      right->setValue(each);
      d->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    }};
    trigger(w, CMD_PAGE_SETUP, &margins);
    QCOMPARE(margins.messages, QStringList{"Invalid horizontal margins"});

    // Printed into a PDF file, as the print dialog's "Print to File" does.
    const QString printed = file("printed.pdf");
    DialogFiller print{.custom = [&](QDialog* d) {
      auto* dialog = qobject_cast<QPrintDialog*>(d);
      QVERIFY(dialog);
      dialog->printer()->setOutputFormat(QPrinter::PdfFormat);
      dialog->printer()->setOutputFileName(printed);
      // Closed without the dialog's own OK, which would take its widgets'
      // printer over the file set here.
      dialog->done(QDialog::Accepted);
    }};
    trigger(w, CMD_PRINT, &print);
    const std::string pdf = read_text_file(printed.toStdString()).value_or("");
    QVERIFY(pdf.starts_with("%PDF") && pdf.size() > 2000);

    trigger(w, CMD_COPY_GRAPH);
    const QMimeData* clip = QGuiApplication::clipboard()->mimeData();
    QVERIFY(clip && clip->hasImage() && clip->hasFormat("image/svg+xml"));
    QVERIFY(drawn_share(qvariant_cast<QImage>(clip->imageData())) > 0.02);

    DialogFiller capture{.path = file("screen.png")};
    trigger(w, CMD_CAPTURE_PNG, &capture);
    QCOMPARE(QImage(file("screen.png")).size(), w.grab().size());

    // Scrolling moves a zoomed window by whole ticks and stops at the data's ends.
    const AxisScale full = w.graph().x_axis;
    trigger(w, CMD_SCROLL_RIGHT);
    QCOMPARE(w.graph().x_axis.low, full.low);
    PlotView* view = w.plot_view();
    trigger(w, CMD_ZOOM_AREA);
    const QRectF frame = view->layout().frames.at(0).rect;
    const QPoint to(int(frame.left() + frame.width() / 4), int(frame.bottom() - 5));
    QTest::mousePress(view, Qt::LeftButton, {}, frame.topLeft().toPoint() + QPoint(2, 5));
    QTest::mouseMove(view, to);
    QTest::mouseRelease(view, Qt::LeftButton, {}, to);
    const double span = w.graph().x_axis.high - w.graph().x_axis.low;
    QApplication::setActiveWindow(&w);
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QTest::keyClick(view, Qt::Key_Right, Qt::ControlModifier);
    QVERIFY(w.graph().x_axis.low > full.low);
    QCOMPARE(w.graph().x_axis.high - w.graph().x_axis.low, span);
    trigger(w, CMD_SCROLL_END_X);
    QCOMPARE(w.graph().x_axis.high, full.high);
    trigger(w, CMD_SCROLL_START_X);
    QCOMPARE(w.graph().x_axis.low, full.low);
  }

  void format_options_change_the_graph_and_the_next_one() {
    ViewerMainWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    DialogFiller open{.path = file("lowpass.OUT")};
    trigger(w, CMD_OPEN, &open);
    const QImage before = w.plot_view()->grab().toImage();
    DialogFiller options{.custom = [](QDialog* d) {
      d->findChild<QGroupBox*>("grid")->findChildren<QRadioButton*>().at(0)->click();  // None
      d->findChild<QGroupBox*>("info")->findChildren<QRadioButton*>().at(1)->click();  // SPICE run
      press_ok(d);
    }};
    trigger(w, CMD_FORMAT_OPTIONS, &options);
    QCOMPARE(w.graph().options.grid, int(GRID_NONE));
    QCOMPARE(w.graph().options.info, int(INFO_SPICE_RUN));
    QVERIFY(w.plot_view()->grab().toImage() != before);
    // The next graph starts with them, and so does the next session.
    trigger(w, CMD_AUTOPLOT, &open);
    QCOMPARE(w.graph().options.grid, int(GRID_NONE));
    QCOMPARE(w.config().grid_mode, int(GRID_NONE));
    QCOMPARE(w.config().run_info, 1);

    // Two runs of the same circuit: the Monte Carlo format gives each trace
    // one colour across its runs.
    DialogFiller again{.path = file("lowpass.OUT"), .answer = QMessageBox::No};
    trigger(w, CMD_OPEN, &again);
    std::map<std::string, std::set<int>> colours;
    for (const auto& t : w.graph().traces) colours[t->name].insert(t->options.colour);
    QCOMPARE(int(w.graph().traces.size()), 4);
    QCOMPARE(int(colours["V(OUT)"].size()), 2);
    trigger(w, CMD_FORMAT_MONTE_CARLO);
    colours.clear();
    for (const auto& t : w.graph().traces) colours[t->name].insert(t->options.colour);
    QCOMPARE(int(colours.size()), 2);
    for (const auto& [name, used] : colours) QCOMPARE(int(used.size()), 1);
  }

  void a_new_simulation_closes_the_viewer_only_with_auto_close_on() {
    BroadcastListener editor;
    QVERIFY(editor.open("quill32"));
    ViewerMainWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    if (w.action(CMD_AUTO_CLOSE)->isChecked()) trigger(w, CMD_AUTO_CLOSE);
    broadcast_post({kZsmSimulation, 1, 0});
    QTest::qWait(200);
    QVERIFY(w.isVisible());
    trigger(w, CMD_AUTO_CLOSE);
    broadcast_post({kZsmSimulation, 2, 0});  // not the start of a run
    QTest::qWait(200);
    QVERIFY(w.isVisible());
    broadcast_post({kZsmSimulation, 1, 0});
    QTRY_VERIFY(!w.isVisible());
    // The editor learns that the viewer has gone.
    bool told = false;
    BroadcastMessage m;
    while (!told && editor.wait(m, 2000)) told = m.name == kZsTaskDoneNotify && m.first == 300;
    QVERIFY(told);
  }

  void commands_of_later_work_are_shown_disabled_with_a_reason() {
    ViewerMainWindow w;
    // A command still to come is disabled and says so; the recent files hide when unused.
    for (const ViewerCommand& c : viewer_commands()) {
      QAction* a = w.action(c.id);
      if (a && !a->isEnabled() && a->isVisible())
        QVERIFY2(a->statusTip().contains("not available"), qPrintable(a->text()));
    }
    QVERIFY(w.action(CMD_EYE_DISPLAY)->isEnabled());
    QCOMPARE(w.action(CMD_OPEN)->shortcut(), QKeySequence("Ctrl+O"));
    QCOMPARE(w.action(CMD_AUTOPLOT)->shortcut(), QKeySequence("F2"));
  }
};

QTEST_MAIN(ViewerWindowTest)
#include "viewer_window_test.moc"
