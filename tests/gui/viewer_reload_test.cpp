// TRC32 following a data file that the engine writes anew in place: the RC
// low-pass run by zsim with one capacitor, shown zoomed with both cursors, then
// run again with others while ZS_DATAUPDATE messages come.
#include <QDir>
#include <QFile>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>
#include <string>
#include <vector>

#include "common/file_io.h"
#include "common/notify.h"
#include "common/progress.h"
#include "platform/broadcast.h"
#include "platform/process.h"
#include "viewer/app/main_window.h"
#include "viewer/app/plot_view.h"
#include "viewer/calc/data_open.h"
#include "viewer/data/data_store.h"
#include "viewer/session/command_table.h"
#include "viewer_test_support.h"

using namespace zephyrim;
using namespace zephyrim::test;

namespace {

// The 10 % to 90 % rise time of the RC low-pass with R1 = 1k: ln(9) * R * C.
double rise_time(double farads) {
  return std::log(9.0) * 1e3 * farads;
}

// V(OUT) of a data file as another reader sees it, x and y.
struct Wave {
  std::vector<double> x, y;
};
Wave wave_in_file(const std::string& path) {
  RecordingNotify notify(kTraceryTitle);
  NullProgress progress;
  DataStore store(notify, progress);
  store.start();
  DataOpenSession session;
  Wave w;
  if (data_open(store, path, -1, true, session) <= 0) return w;
  const DataVector* v = store.find_vector("V(OUT)", DATA_CLASS_BINARY, ANALYSIS_TRAN, -1, 0);
  if (!v || !v->x) return w;
  const auto xs = store.values(*v->x);
  w.x.assign(xs.begin(), xs.end());
  const auto ys = store.values(*v);
  w.y.assign(ys.begin(), ys.end());
  return w;
}

// The values the window's trace of that name shows.
Wave wave_shown(ViewerMainWindow& w, const QString& name) {
  for (const auto& t : w.graph().traces)
    if (QString::fromStdString(t->name).compare(name, Qt::CaseInsensitive) == 0) {
      const auto xs = w.store().values(*t->x);
      const auto x = std::vector<double>(xs.begin(), xs.end());
      const auto ys = w.store().values(*t->y);
      return {x, std::vector<double>(ys.begin(), ys.end())};
    }
  return {};
}

double measured(ViewerMainWindow& w, const char* name) {
  const DataVector* v = w.store().find_vector(name, DATA_CLASS_TEXT, -1, -1, -1);
  if (!v) return -1;
  const auto values = w.store().values(*v);
  return values.empty() ? -1 : values[0];
}

QStringList trace_names(ViewerMainWindow& w) {
  QStringList names;
  for (const auto& t : w.graph().traces) names << QString::fromStdString(t->name);
  return names;
}

}  // namespace

class ViewerReloadTest : public QObject {
  Q_OBJECT
  QTemporaryDir dir_;
  QString user_, run_, listing_;

  // The schematic run with C1 through the batch tool into the kept folder, as
  // the tuner runs it; the tool posts ZS_DATAUPDATE for that listing itself.
  bool tune(const QString& capacitance) {
    const ProcessResult r =
        process_run({ZEPHYRIM_APPS_DIR "/zephyrim", "tune", (user_ + "/rc_lowpass.sch").toStdString(),
                     "C1=" + capacitance.toStdString(), "--folder", run_.toStdString()},
                    {}, 60);
    if (r.exit_code != 0) qWarning("%s", r.output.c_str());
    return r.exit_code == 0;
  }
  // The same without a message: the netlist's capacitor edited, zsim run there.
  bool rerun_quietly(const QString& from, const QString& to) {
    const std::string netlist = (run_ + "/rc_lowpass.CIR").toStdString();
    std::string text = read_text_file(netlist).value_or("");
    const std::string old_line = "C1 out 0  " + from.toStdString(),
                      new_line = "C1 out 0  " + to.toStdString();
    const size_t at = text.find(old_line);
    if (at == std::string::npos) return false;
    text.replace(at, old_line.size(), new_line);
    if (!write_file_atomic(netlist, text)) return false;
    // zsim's own ZS_TASKDONENOTIFY goes to the runtime folder; the viewer ignores it.
    return process_run({ZEPHYRIM_APPS_DIR "/zsim", "rc_lowpass.CIR"}, run_.toStdString(), 60).exit_code == 0;
  }

  bool open(ViewerMainWindow& w) {
    bool opened = false;
    DialogFiller choice{.custom = [](QDialog* d) { d->accept(); }};
    choice.run([&] { opened = w.open_file(listing_); });
    return opened;
  }

 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    qputenv("ZEPHYRIM_RUNTIME_DIR", dir_.path().toLocal8Bit() + "/rt");
    user_ = dir_.filePath("user");
    run_ = dir_.filePath("run");
    listing_ = run_ + "/rc_lowpass.OUT";
    QVERIFY(QDir().mkpath(user_));
    for (const char* ext : {".sch", ".SIM"})
      QVERIFY(QFile::copy(QString(ZEPHYRIM_SOURCE_DIR "/examples/rc_lowpass") + ext,
                          user_ + "/rc_lowpass" + ext));
    QVERIFY(write_file_atomic(
        (user_ + "/rc_lowpass.MIS").toStdString(),
        "#MEASURE TRAN DELAY RISETIME VAR1=V(OUT) VAL1=0.1 VAR2=V(OUT) VAL2=0.9 RISE RISE\n"));
    QVERIFY(tune("1u"));
  }

  void the_viewer_follows_runs_of_its_file_only() {
    ViewerMainWindow w;
    w.resize(1000, 700);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    // The data hold the operating point too: opening asks which analysis, a reload never.
    QVERIFY(open(w));
    const QStringList names = trace_names(w);
    QCOMPARE(names.size(), 2);
    QVERIFY(std::fabs(measured(w, "RISETIME") - rise_time(1e-6)) < rise_time(1e-6) * 0.02);

    // Zoomed into the rise and the fall, both cursors on V(OUT).
    PlotView* view = w.plot_view();
    view->zoom_to(0.5e-3, 7e-3, 0, 0.1, 0.95);
    QVERIFY(view->zoomed());
    const AxisScale x_zoom = w.graph().x_axis, y_zoom = w.graph().plot[0].y_axis;
    trigger(w, CMD_CURSOR1);
    trigger(w, CMD_CURSOR2);
    for (int k = 0; k < 2; ++k) w.cursors().cursor[k].trace = 1;
    view->place_cursor(0, 1e-3);
    view->place_cursor(1, 6e-3);
    const double y1_before = w.cursors().cursor[0].y;
    const Wave first = wave_shown(w, "V(OUT)");
    QVERIFY(!first.y.empty());

    // A run of another file, and the file rewritten with no message: nothing moves.
    QVERIFY(rerun_quietly("1u", "2u"));
    broadcast_post(
        {kZsDataUpdate, kDataUpdateResults, data_file_tag(dir_.filePath("other.OUT").toStdString())});
    broadcast_post({kZsDataUpdate, kDataUpdateResults + 1, data_file_tag(listing_.toStdString())});
    QTest::qWait(300);
    QCOMPARE(wave_shown(w, "V(OUT)").y, first.y);
    QCOMPARE(w.cursors().cursor[0].y, y1_before);

    // The message for the file: the same graph on the new run's values.
    DialogFiller boxes;
    boxes.run([&] {
      broadcast_post({kZsDataUpdate, kDataUpdateResults, data_file_tag(listing_.toStdString())});
      QTRY_VERIFY_WITH_TIMEOUT(wave_shown(w, "V(OUT)").y != first.y, 5000);
    });
    QCOMPARE(boxes.messages, QStringList());
    const Wave second = wave_in_file(listing_.toStdString());
    QVERIFY(!second.y.empty());
    QCOMPARE(wave_shown(w, "V(OUT)").y, second.y);
    QCOMPARE(wave_shown(w, "V(OUT)").x, second.x);
    QCOMPARE(trace_names(w), names);
    QVERIFY(view->zoomed());
    QCOMPARE(w.graph().x_axis.low, x_zoom.low);
    QCOMPARE(w.graph().x_axis.high, x_zoom.high);
    QCOMPARE(w.graph().plot[0].y_axis.low, y_zoom.low);
    QCOMPARE(w.graph().plot[0].y_axis.high, y_zoom.high);
    for (int k = 0; k < 2; ++k) {
      const Cursor& c = w.cursors().cursor[k];
      QVERIFY(c.active);
      QCOMPARE(c.trace, 1);
      QCOMPARE(c.x, k == 0 ? 1e-3 : 6e-3);
      const auto point = cursor_find_x(second.x, second.y, c.x);
      QVERIFY(point);
      QCOMPARE(c.y, point->y);
    }
    QVERIFY(w.cursors().cursor[0].y < y1_before);  // a slower rise
    QVERIFY(std::fabs(measured(w, "RISETIME") - rise_time(2e-6)) < rise_time(2e-6) * 0.02);

    // Runs in quick succession: the last one is what shows.
    QVERIFY(tune("470n"));
    QVERIFY(tune("680n"));
    for (int k = 0; k < 3; ++k)
      broadcast_post({kZsDataUpdate, kDataUpdateResults, data_file_tag(listing_.toStdString())});
    QTRY_VERIFY_WITH_TIMEOUT(
        std::fabs(measured(w, "RISETIME") - rise_time(680e-9)) < rise_time(680e-9) * 0.02, 5000);
    QTest::qWait(300);
    QCOMPARE(wave_shown(w, "V(OUT)").y, wave_in_file(listing_.toStdString()).y);
    QCOMPARE(trace_names(w), names);

    // File > Reload does the same by hand.
    QVERIFY(rerun_quietly("680n", "330n"));
    trigger(w, CMD_RELOAD);
    QVERIFY(std::fabs(measured(w, "RISETIME") - rise_time(330e-9)) < rise_time(330e-9) * 0.02);
    QCOMPARE(w.action(CMD_RELOAD)->shortcut(), QKeySequence("F5"));

    // A run that left no data keeps the graph and says why in the status bar, with no box.
    const Wave last = wave_shown(w, "V(OUT)");
    QVERIFY(write_file_atomic(listing_.toStdString(),
                              "ZEPHYRIM ZSIM SPICE3 ENGINE (ngspice)\n*ERROR*: no run\n"));
    QFile::remove(run_ + "/rc_lowpass.SAV");
    DialogFiller none;
    none.run([&] {
      broadcast_post({kZsDataUpdate, kDataUpdateResults, data_file_tag(listing_.toStdString())});
      QTRY_VERIFY_WITH_TIMEOUT(w.statusBar()->currentMessage().contains("failed"), 5000);
    });
    QCOMPARE(none.messages, QStringList());
    QVERIFY(w.statusBar()->currentMessage().contains("rc_lowpass.OUT"));
    QCOMPARE(wave_shown(w, "V(OUT)").y, last.y);
    QCOMPARE(trace_names(w), names);
    QVERIFY(view->zoomed());
    QVERIFY(w.cursors().cursor[0].active && w.cursors().cursor[1].active);
  }

  void auto_close_still_answers_a_new_simulation_only() {
    ViewerMainWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    if (!w.action(CMD_AUTO_CLOSE)->isChecked()) trigger(w, CMD_AUTO_CLOSE);
    QVERIFY(tune("1u"));
    // The data hold the operating point too: opening asks which analysis, a reload never.
    QVERIFY(open(w));
    broadcast_post({kZsDataUpdate, kDataUpdateResults, data_file_tag(listing_.toStdString())});
    QTest::qWait(300);
    QVERIFY(w.isVisible());
    broadcast_post({kZsmSimulation, 1, 0});
    QTRY_VERIFY(!w.isVisible());
  }
};

QTEST_MAIN(ViewerReloadTest)
#include "viewer_reload_test.moc"
