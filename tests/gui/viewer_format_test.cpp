// Format and history files used as a person uses them: a display saved into a
// slot is recalled onto a later run of the same circuit, and the traces of
// earlier runs are laid over the newest one.
#include <QListWidget>
#include <QMessageBox>
#include <QtTest>
#include <set>

#include "viewer/app/plot_view.h"
#include "viewer/plot/format_file.h"
#include "viewer/plot/history_file.h"
#include "viewer/session/command_table.h"
#include "viewer_test_support.h"

using namespace zephyrim;
using namespace zephyrim::test;

namespace {

// Chooses the list row of a slot (rows read "NN   description").
void choose_slot(QDialog* d, int slot) {
  auto* list = field<QListWidget>(d, "slots");
  for (int k = 0; k < list->count(); ++k)
    if (list->item(k)->text().startsWith(QString("%1 ").arg(slot, 2, 10, QChar('0')))) list->setCurrentRow(k);
}

}  // namespace

class ViewerFormatTest : public QObject {
  Q_OBJECT
  QTemporaryDir dir_;

  QString file(const char* name) const { return dir_.filePath(name); }

  // Simulates the low pass again with another resistor: a new run of the same circuit.
  bool simulate(const char* resistor) {
    QString netlist = kNetlist;
    netlist.replace("R1 in out 1k", QString("R1 in out %1").arg(resistor));
    if (!write_file_atomic(file("lowpass.CIR").toStdString(), netlist.toStdString())) return false;
    process_run({ZEPHYRIM_APPS_DIR "/zsim", "lowpass.CIR"}, dir_.path().toStdString());
    return QFileInfo::exists(file("lowpass.OUT"));
  }

  void open(ViewerMainWindow& w) {
    DialogFiller open{.path = file("lowpass.OUT"), .answer = QMessageBox::Yes};
    trigger(w, CMD_OPEN, &open);
  }

 private slots:
  void initTestCase() { QVERIFY(write_simulated_files(dir_)); }

  void a_saved_format_is_recalled_onto_a_later_run() {
    QVERIFY(simulate("1k"));
    double x_low = 0, x_high = 0;
    {
      ViewerMainWindow w;
      w.show();
      QVERIFY(QTest::qWaitForWindowExposed(&w));
      open(w);
      DialogFiller expression{.text = "DIFF=V(IN)-V(OUT)"};
      trigger(w, CMD_TRACE_ADD, &expression);
      QCOMPARE(int(w.graph().traces.size()), 3);
      // Zoomed in to the first 5 ms with the limits dialog's manual X axis.
      DialogFiller limits{.custom = [](QDialog* d) {
        type(d, "x_low", "0");
        type(d, "x_high", "5m");
        type(d, "x_spacing", "1m");
        press_ok(d);
      }};
      trigger(w, CMD_AXIS_LIMITS, &limits);
      x_low = w.graph().x_axis.low;
      x_high = w.graph().x_axis.high;
      QVERIFY(x_high < 6e-3);
      DialogFiller save{.custom = [](QDialog* d) {
        choose_slot(d, 1);
        type(d, "description", "three traces");
        press_ok(d);
      }};
      trigger(w, CMD_FORMAT_SAVE_DELETE, &save);
      QCOMPARE(format_read_header(file("lowpass.F").toStdString(), 1).value_or(""),
               std::string("three traces"));
      w.close();
    }
    // Closing kept the last session in slot 00.
    QCOMPARE(format_read_header(file("lowpass.F").toStdString(), 0).value_or(""),
             std::string(kFormatLastSession));

    QVERIFY(simulate("2k"));
    ViewerMainWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    open(w);
    QCOMPARE(int(w.graph().traces.size()), 2);
    DialogFiller recall{.custom = [](QDialog* d) {
      choose_slot(d, 1);
      press_ok(d);
    }};
    trigger(w, CMD_FORMAT_RECALL, &recall);
    QCOMPARE(int(w.graph().traces.size()), 3);
    QCOMPARE(QString::fromStdString(w.graph().traces[2]->name), QString("DIFF"));
    QCOMPARE(w.graph().x_axis.low, x_low);
    QCOMPARE(w.graph().x_axis.high, x_high);
    QVERIFY(drawn_share(w.plot_view()->grab().toImage()) > 0.02);

    // With Auto Recall Last on, opening shows the last session's display.
    trigger(w, CMD_FORMAT_AUTO_RECALL);
    w.close();
    ViewerMainWindow next(w.config());
    next.show();
    QVERIFY(QTest::qWaitForWindowExposed(&next));
    open(next);
    QCOMPARE(int(next.graph().traces.size()), 3);
  }

  void three_old_runs_are_laid_over_a_fourth() {
    ViewerConfig config;
    config.auto_recall_format = 0;
    ViewerMainWindow w(config);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    for (const char* r : {"1k", "2k", "3k"}) {
      QVERIFY(simulate(r));
      open(w);
      trigger(w, CMD_HISTORY_SAVE);
    }
    QCOMPARE(int(history_slot_files(file("lowpass.OUT").toStdString()).size()), 3);
    QVERIFY(simulate("4k"));
    open(w);
    QCOMPARE(int(w.graph().traces.size()), 2);
    const double new_end = w.graph().traces[1]->y->points;
    QVERIFY(new_end > 0);
    trigger(w, CMD_HISTORY_ADD);
    QCOMPARE(int(w.graph().traces.size()), 8);
    std::set<std::string> names;
    std::set<int> colours;
    for (const auto& t : w.graph().traces) {
      names.insert(t->name);
      colours.insert(t->options.colour);
    }
    QVERIFY(names.count("V(OUT) #1") && names.count("V(OUT) #2") && names.count("V(OUT) #3"));
    QCOMPARE(int(colours.size()), 8);  // every run in its own colour
    QVERIFY(drawn_share(w.plot_view()->grab().toImage()) > 0.02);

    // Adding again replaces the old runs rather than doubling them.
    trigger(w, CMD_HISTORY_ADD);
    QCOMPARE(int(w.graph().traces.size()), 8);
  }
};

QTEST_MAIN(ViewerFormatTest)
#include "viewer_format_test.moc"
