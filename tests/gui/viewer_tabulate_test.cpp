// Tools > Tabulate of TRC32 driven as a person drives it: the menu command, the
// variable dialog and the plot over RUN#, on a listing zsim wrote in the test
// for three runs at three temperatures, each with its own measurement.
#include <QDialog>
#include <QFile>
#include <QInputDialog>
#include <QTemporaryDir>
#include <QtTest>

#include "common/file_io.h"
#include "platform/process.h"
#include "viewer/app/main_window.h"
#include "viewer/session/command_table.h"
#include "viewer_test_support.h"

using namespace zephyrim;
using namespace zephyrim::test;

namespace {

// A resistor that changes with temperature: VMAX differs from run to run.
constexpr const char* kTempNetlist =
    "rc temperatures\n"
    "V1 in 0 PULSE(0 1 0 1u 1u 5m 10m)\n"
    "R1 in out 1k\n"
    "C1 out 0 1u\n"
    "R2 out 0 10k TC1=0.01\n"
    ".TEMP 27 50 100\n"
    ".TRAN 10u 20m\n"
    ".MEAS TRAN VMAX MAX V(out)\n"
    ".PROBE\n"
    ".END\n";

// Notes every input dialog as it shows: its object name and title.
class InputDialogSpy : public QObject {
 public:
  InputDialogSpy() { qApp->installEventFilter(this); }
  QStringList shown;

 protected:
  bool eventFilter(QObject* o, QEvent* e) override {
    if (e->type() == QEvent::Show)
      if (auto* d = qobject_cast<QInputDialog*>(o)) shown << d->objectName() + " " + d->windowTitle();
    return false;
  }
};

}  // namespace

class ViewerTabulateTest : public QObject {
  Q_OBJECT
  QTemporaryDir dir_;

  QString file(const char* name) const { return dir_.filePath(name); }

  void open(ViewerMainWindow& w, const char* name) {
    w.resize(1000, 700);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    DialogFiller open{.path = file(name), .choose = {"v(out)"}};
    trigger(w, CMD_OPEN, &open);
    QVERIFY(!w.graph().traces.empty());
  }

 private slots:
  void initTestCase() {
    qputenv("ZEPHYRIM_RUNTIME_DIR", dir_.path().toLocal8Bit() + "/runtime");
    const std::string folder = dir_.path().toStdString();
    QVERIFY(write_file_atomic(folder + "/temps.CIR", kTempNetlist));
    process_run({ZEPHYRIM_APPS_DIR "/zsim", "temps.CIR"}, folder);
    QVERIFY(QFileInfo::exists(file("temps.OUT")) && QFileInfo::exists(file("temps.SAV")));
    // The same data without its listing beside it.
    QVERIFY(QFile::copy(file("temps.SAV"), file("alone.SAV")));
  }

  void a_value_per_run_is_plotted_against_the_run_number() {
    ViewerMainWindow w;
    open(w, "temps.OUT");
    InputDialogSpy spy;
    DialogFiller ask{.text = "vmax"};
    trigger(w, CMD_TABULATE, &ask);
    QCOMPARE(spy.shown, QStringList{"tabulate_var Tabulate"});
    QCOMPARE(ask.messages, QStringList{"TABULATE VMAX: 3 data points found"});

    // A graph of its own: VMAX over RUN# 0, 1, 2, rising with the temperature.
    const Graph& g = w.graph();
    QCOMPARE(g.analysis, int(ANALYSIS_OTHER));
    QCOMPARE(g.cls, int(DATA_CLASS_TEXT));
    QCOMPARE(int(g.traces.size()), 1);
    const SelectedTrace& t = *g.traces[0];
    QCOMPARE(QString::fromStdString(t.y->name), QString("VMAX"));
    QCOMPARE(QString::fromStdString(t.x->name), QString("RUN#"));
    const auto x = w.store().values(*t.x);
    const auto y = w.store().values(*t.y);
    QCOMPARE(std::vector<double>(x.begin(), x.end()), (std::vector<double>{0, 1, 2}));
    QCOMPARE(int(y.size()), 3);
    QVERIFY2(y[0] > 0.5 && y[0] < 1 && y[0] < y[1] && y[1] < y[2],
             qPrintable(QString("%1 %2 %3").arg(y[0]).arg(y[1]).arg(y[2])));

    // The same again: a second VMAX of its own run, shown alone.
    DialogFiller again{.text = " Vmax "};
    trigger(w, CMD_TABULATE, &again);
    QCOMPARE(again.messages, QStringList{"TABULATE VMAX: 3 data points found"});
    QCOMPARE(int(w.graph().traces.size()), 1);
    QCOMPARE(w.graph().traces[0]->y->run, 2);
  }

  void a_name_the_listing_lacks_is_reported_and_the_graph_stays() {
    ViewerMainWindow w;
    open(w, "temps.OUT");
    const int traces = int(w.graph().traces.size());
    const int analysis = w.graph().analysis;
    DialogFiller ask{.text = "nosuch"};
    trigger(w, CMD_TABULATE, &ask);
    QCOMPARE(ask.messages, QStringList{"Variable NOSUCH not found"});
    QCOMPARE(int(w.graph().traces.size()), traces);
    QCOMPARE(w.graph().analysis, analysis);
    QVERIFY(!w.store().find_vector("NOSUCH", DATA_CLASS_TEXT, -1, -1, -1));

    // No name: nothing at all.
    DialogFiller empty{.text = "  "};
    trigger(w, CMD_TABULATE, &empty);
    QVERIFY(empty.messages.isEmpty());
    QCOMPARE(int(w.graph().traces.size()), traces);
  }

  void data_without_a_listing_asks_nothing() {
    ViewerMainWindow w;
    open(w, "alone.SAV");
    InputDialogSpy spy;
    DialogFiller ask{.text = "vmax"};
    trigger(w, CMD_TABULATE, &ask);
    QCOMPARE(ask.messages, QStringList{"Cannot open file " + file("alone.OUT")});
    QVERIFY(spy.shown.isEmpty());  // the message alone, no variable dialog
  }
};

QTEST_MAIN(ViewerTabulateTest)
#include "viewer_tabulate_test.moc"
