// The Tune panel with the real engine and a real listener: a tuner on C1 of the
// RC low-pass added through the panel, its slider moved; after each move the
// results in place are the engine's run of the netlist with that value, their
// rise follows R*C and the viewers hear of the update. Overtaken runs stop,
// Apply stores the value as an edit that Undo takes back, and the tuners are
// kept beside the schematic.
#include <QDialog>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>
#include <filesystem>

#include "common/file_io.h"
#include "common/progress.h"
#include "editing/tuner.h"
#include "editor/command_table.h"
#include "editor/file_commands.h"
#include "editor/main_window.h"
#include "editor/simulation_commands.h"
#include "editor/tuner_panel.h"
#include "platform/broadcast.h"
#include "schematic/schematic_file.h"
#include "viewer/app/main_window.h"
#include "viewer/calc/data_open.h"
#include "viewer/data/data_store.h"

using namespace zephyrim;
namespace fs = std::filesystem;

namespace {

// V(OUT) of a transient: as another reader finds it in a file, or as a viewer shows it.
std::vector<double> vout_in_file(const std::string& path) {
  RecordingNotify notify(kTraceryTitle);
  NullProgress progress;
  DataStore store(notify, progress);
  store.start();
  DataOpenSession session;
  if (data_open(store, path, -1, true, session) <= 0) return {};
  const DataVector* v = store.find_vector("V(OUT)", DATA_CLASS_BINARY, ANALYSIS_TRAN, -1, 0);
  if (!v) return {};
  const auto ys = store.values(*v);
  return {ys.begin(), ys.end()};
}

std::vector<double> vout_shown(ViewerMainWindow& w) {
  for (const auto& t : w.graph().traces)
    if (QString::fromStdString(t->name).compare("V(OUT)", Qt::CaseInsensitive) == 0) {
      const auto ys = w.store().values(*t->y);
      return {ys.begin(), ys.end()};
    }
  return {};
}

double measured(ViewerMainWindow& w, const char* name) {
  const DataVector* v = w.store().find_vector(name, DATA_CLASS_TEXT, -1, -1, -1);
  if (!v) return -1;
  const auto values = w.store().values(*v);
  return values.empty() ? -1 : values[0];
}

}  // namespace

class EditorTuneTest : public QObject {
  Q_OBJECT

  QTemporaryDir runtime_;
  QTemporaryDir config_;
  QTemporaryDir dir_;

  std::string example(const std::string& folder) {
    const fs::path d = fs::path(dir_.path().toStdString()) / folder;
    fs::create_directories(d);
    const fs::path examples = fs::path(ZEPHYRIM_SOURCE_DIR) / "examples";
    for (const char* ext : {".sch", ".SIM"})
      fs::copy_file(examples / (std::string("rc_lowpass") + ext), d / (std::string("rc_lowpass") + ext),
                    fs::copy_options::overwrite_existing);
    return (d / "rc_lowpass.sch").string();
  }

  std::unique_ptr<EditorMainWindow> editor(RecordingNotify& notify,
                                           std::vector<std::vector<std::string>>& started) {
    const std::string program = dir_.path().toStdString() + "/program";
    fs::create_directories(program);
    write_file_atomic(program + "/ZEPHYRIM.INI", "[Zephyrim]\n");
    auto w = std::make_unique<EditorMainWindow>(&notify);
    w->load_config(program, [](const char*) { return std::nullopt; });
    w->simulation().set_program_folder(ZEPHYRIM_APPS_DIR);
    w->tuner().set_program_folder(ZEPHYRIM_APPS_DIR);
    w->launch = [&started](const std::vector<std::string>& argv) {
      started.push_back(argv);
      return true;
    };
    return w;
  }

  // The transient V(OUT) of a data file as the batch tool prints it.
  static QString vout(const std::string& data_file) {
    QProcess values;
    values.start(ZEPHYRIM_BATCH_TOOL,
                 {"values", QString::fromStdString(data_file), "V(OUT)", "--kind", "tran"});
    if (!values.waitForFinished(30000) || values.exitCode() != 0) return {};
    return QString::fromUtf8(values.readAllStandardOutput());
  }

  // The engine's own run of a copy of the netlist and its command file, in a folder of its own.
  static QString reference_run(const std::string& netlist, const std::string& folder) {
    fs::create_directories(folder);
    const fs::path from = fs::path(netlist).parent_path();
    for (const char* name : {"rc_lowpass.CIR", "rc_lowpass.CMD"})
      fs::copy_file(from / name, fs::path(folder) / name, fs::copy_options::overwrite_existing);
    const QString cir = QString::fromStdString((fs::path(folder) / "rc_lowpass.CIR").string());
    if (QProcess::execute(QString(ZEPHYRIM_APPS_DIR) + "/zsim", {cir}) != 0) return {};
    return vout((fs::path(folder) / "rc_lowpass.SAV").string());
  }

  // When V(OUT) first reaches 1 - 1/e of the 1 V step: R*C for the RC low-pass.
  static double time_constant(const QString& table) {
    const double level = 1 - std::exp(-1.0);
    double t0 = 0, v0 = 0;
    for (const QString& line : table.split('\n', Qt::SkipEmptyParts)) {
      const double t = line.section('\t', 0, 0).toDouble();
      const double v = line.section('\t', 1, 1).toDouble();
      if (v >= level && v0 < level && t > 0) return t0 + (t - t0) * (level - v0) / (v - v0);
      t0 = t;
      v0 = v;
    }
    return NAN;
  }

  // The ZS_DATAUPDATE lines a listener printed so far.
  static int data_updates(QProcess& listener, QByteArray& seen, long tag) {
    seen += listener.readAllStandardOutput();
    const QByteArray want = QByteArray("ZS_DATAUPDATE 1 ") + QByteArray::number(static_cast<qlonglong>(tag));
    int n = 0;
    for (const QByteArray& line : seen.split('\n'))
      if (line.trimmed() == want) ++n;
    return n;
  }

 private slots:
  void initTestCase() {
    qputenv("ZEPHYRIM_RUNTIME_DIR", runtime_.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", config_.path().toLocal8Bit());
  }

  void sliderRunsFollowTheValue() {
    const std::string sch = example("follow");
    const std::string out = schematic_sibling(sch, "OUT");
    const std::string sav = schematic_sibling(sch, "SAV");
    RecordingNotify notify;
    std::vector<std::vector<std::string>> started;
    auto w = editor(notify, started);
    QVERIFY(w->files().open_file(QString::fromStdString(sch)));
    w->show();
    TunerPanel& panel = w->tuner();
    QVERIFY(!panel.isVisible());
    w->action(kCmdTune)->trigger();
    QVERIFY(panel.isVisible());
    QVERIFY(panel.tuners().empty());  // nothing selected, nothing added

    std::vector<std::string> offered;
    panel.ask_name = [&](const std::vector<std::string>& names) -> std::optional<std::string> {
      offered = names;
      return "C1";
    };
    QTest::mouseClick(panel.add_button(), Qt::LeftButton);
    QCOMPARE(offered, (std::vector<std::string>{"R1", "C1"}));  // V1's PULSE is no number
    QCOMPARE(panel.tuners().size(), size_t{1});
    const Tuner& c1 = panel.tuners()[0];
    QCOMPARE(tuner_format_line(c1), std::string("C1 1u 100n 10u log 100"));
    QSlider* slider = panel.slider(0);
    QVERIFY(slider);
    QCOMPARE(slider->value(), 50);
    QCOMPARE(panel.value_entry(0)->text(), QString("1u"));

    QProcess listener;
    listener.start(ZEPHYRIM_BATCH_TOOL, {"listen", "--timeout", "120"});
    listener.setReadChannel(QProcess::StandardError);
    QVERIFY(listener.waitForReadyRead(10000));
    QCOMPARE(listener.readAllStandardError().trimmed(), QByteArray("listening"));
    QByteArray heard;
    const long tag = data_file_tag(out);

    const std::string netlist = path_in_folder(panel.scratch_folder(), "rc_lowpass.CIR");
    int k = 0;
    for (int position : {25, 60, 40}) {
      ++k;
      // As a drag ends on the position: the slider's own value change.
      slider->setValue(position);
      QCOMPARE(panel.runs_started(), k);
      QTRY_COMPARE_WITH_TIMEOUT(panel.runs_finished(), k, 60000);
      const double c = panel.tuners()[0].value;
      QCOMPARE(c, tuner_value_at(panel.tuners()[0], position));
      QCOMPARE(panel.value_entry(0)->text(), QString::fromStdString(tuner_format(c)));
      // The netlist carries the value, the schematic keeps its own.
      const std::string text = read_text_file(netlist).value_or("");
      QVERIFY2(text.find("C1 out 0  " + tuner_format(c) + " ") != std::string::npos, text.c_str());
      QCOMPARE(w->schematic().page().parts[2]->value.str(), std::string("1u"));
      QVERIFY(!w->schematic().modified);
      // The results in place are the engine's run of that netlist.
      const QString placed = vout(sav);
      QVERIFY(!placed.isEmpty());
      QCOMPARE(placed, reference_run(netlist, dir_.path().toStdString() + "/reference" + std::to_string(k)));
      const double tau = time_constant(placed);
      QVERIFY2(std::abs(tau - 1e3 * c) <= 0.02 * 1e3 * c,
               qPrintable(QString("tau %1 for C %2").arg(tau).arg(c)));
      QVERIFY(file_exists(out));
      QTRY_COMPARE_WITH_TIMEOUT(data_updates(listener, heard, tag), k, 10000);
    }
    QVERIFY2(panel.status().startsWith("Tune: results updated"), qPrintable(panel.status()));
    QCOMPARE(panel.runs_stopped(), 0);
    QCOMPARE(panel.runs_failed(), 0);
    // The first results opened the viewer, as F11 does; later ones go to it.
    QCOMPARE(started.size(), size_t{1});
    QCOMPARE(QString::fromStdString(started[0].at(0)), QString(ZEPHYRIM_APPS_DIR) + "/trc32");
    QCOMPARE(started[0].back(), out);
    // The scratch folder's runs never closed a viewer: no ZSM_SIMULATION.
    QVERIFY2(!heard.contains("ZSM_SIMULATION"), heard.constData());
    listener.kill();
    listener.waitForFinished(5000);
    QVERIFY2(notify.entries().empty(), notify.last().c_str());
  }

  void overtakenRunsStop() {
    const std::string sch = example("overtaken");
    RecordingNotify notify;
    std::vector<std::vector<std::string>> started;
    auto w = editor(notify, started);
    QVERIFY(w->files().open_file(QString::fromStdString(sch)));
    TunerPanel& panel = w->tuner();
    QVERIFY(panel.add_tuner("C1"));
    QSlider* slider = panel.slider(0);
    // A quick drag: every position starts a run, each overtaking the one before.
    const int positions[] = {51, 53, 55, 57, 59, 61, 63, 65};
    for (int p : positions) slider->setValue(p);
    QCOMPARE(panel.runs_started(), 8);
    QTRY_VERIFY_WITH_TIMEOUT(!panel.run_going(), 60000);
    QTRY_COMPARE_WITH_TIMEOUT(panel.runs_finished() + panel.runs_stopped() + panel.runs_failed(), 8, 10000);
    QCOMPARE(panel.runs_failed(), 0);
    QVERIFY2(panel.runs_stopped() >= 6, qPrintable(QString::number(panel.runs_stopped())));
    QCOMPARE(panel.runs_finished() >= 1, true);
    // What is in place is the last value's run, not an overtaken one.
    const double c = panel.tuners()[0].value;
    QCOMPARE(c, tuner_value_at(panel.tuners()[0], 65));
    const double tau = time_constant(vout(schematic_sibling(sch, "SAV")));
    QVERIFY2(std::abs(tau - 1e3 * c) <= 0.02 * 1e3 * c,
             qPrintable(QString("tau %1 for C %2").arg(tau).arg(c)));
  }

  // A viewer on the listing: its V(OUT) and its rise-time measurement follow the slider.
  void theViewerFollowsTheSlider() {
    const std::string sch = example("viewer");
    const std::string out = schematic_sibling(sch, "OUT");
    QVERIFY(write_file_atomic(
        schematic_sibling(sch, "MIS"),
        "#MEASURE TRAN DELAY RISETIME VAR1=V(OUT) VAL1=0.1 VAR2=V(OUT) VAL2=0.9 RISE RISE\n"));
    RecordingNotify notify;
    std::vector<std::vector<std::string>> started;
    auto w = editor(notify, started);
    QVERIFY(w->files().open_file(QString::fromStdString(sch)));
    TunerPanel& panel = w->tuner();
    QVERIFY(panel.add_tuner("C1"));
    panel.slider(0)->setValue(45);
    QTRY_COMPARE_WITH_TIMEOUT(panel.runs_finished(), 1, 60000);

    ViewerMainWindow viewer;
    viewer.resize(1000, 700);
    viewer.show();
    QVERIFY(QTest::qWaitForWindowExposed(&viewer));
    // The viewer asks which data to plot first: its first choice, the transient.
    QTimer accept;
    connect(&accept, &QTimer::timeout, [] {
      if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) d->accept();
    });
    accept.start(50);
    QVERIFY(viewer.open_file(QString::fromStdString(out)));
    accept.stop();
    QVERIFY(!vout_shown(viewer).empty());
    const double rise_per_farad = std::log(9.0) * 1e3;  // 10 % to 90 %: ln 9 * R * C
    int k = 1;
    for (int position : {30, 55, 65}) {
      panel.slider(0)->setValue(position);
      ++k;
      QTRY_COMPARE_WITH_TIMEOUT(panel.runs_finished(), k, 60000);
      const double c = panel.tuners()[0].value;
      QTRY_VERIFY_WITH_TIMEOUT(
          std::abs(measured(viewer, "RISETIME") - rise_per_farad * c) < 0.02 * rise_per_farad * c, 10000);
      QTRY_COMPARE_WITH_TIMEOUT(vout_shown(viewer), vout_in_file(out), 10000);
    }
    QVERIFY2(notify.entries().empty(), notify.last().c_str());
  }

  void applyIsAnEditAndTunersAreKept() {
    const std::string sch = example("apply");
    RecordingNotify notify;
    std::vector<std::vector<std::string>> started;
    auto w = editor(notify, started);
    QVERIFY(w->files().open_file(QString::fromStdString(sch)));
    w->show();
    TunerPanel& panel = w->tuner();
    // The context menu's item on a selected part adds its tuner.
    PartRecord& c1 = *w->schematic().page().parts[2];
    QCOMPARE(c1.reference.str(), std::string("C1"));
    c1.selected = 1;
    w->action(kCmdTune)->trigger();
    QCOMPARE(panel.tuners().size(), size_t{1});
    QVERIFY(!panel.add_tuner("C1"));
    QCOMPARE(panel.status(), QString("C1 has a tuner already"));
    QVERIFY(!panel.add_tuner("V1"));
    QVERIFY(!panel.add_tuner("X9"));
    c1.selected = 0;

    // A typed value, in engineering notation, with its unit.
    QLineEdit* entry = panel.value_entry(0);
    entry->setText("2.2uF");
    QMetaObject::invokeMethod(entry, "editingFinished");
    QTRY_COMPARE_WITH_TIMEOUT(panel.runs_finished(), 1, 60000);
    QCOMPARE(panel.slider(0)->value(), tuner_position(panel.tuners()[0], 2.2e-6));
    QCOMPARE(c1.value.str(), std::string("1u"));
    // Kept beside the schematic once the value rests.
    QTRY_COMPARE_WITH_TIMEOUT(
        read_text_file(tuner_file_path(sch)).value_or(""),
        std::string("* Tuners: name value minimum maximum lin|log steps\nC1 2.2u 100n 10u log 100\n"), 5000);

    QTest::mouseClick(panel.apply_button(), Qt::LeftButton);
    QCOMPARE(w->schematic().page().parts[2]->value.str(), std::string("2.2u"));
    QVERIFY(w->schematic().modified);
    w->action(kCmdUndo)->trigger();
    QCOMPARE(w->schematic().page().parts[2]->value.str(), std::string("1u"));
    w->action(kCmdRedo)->trigger();
    QCOMPARE(w->schematic().page().parts[2]->value.str(), std::string("2.2u"));

    // An edit of the sheet between two steps is in the next run's netlist.
    PartRecord& r1 = *w->schematic().page().parts[1];
    QCOMPARE(r1.reference.str(), std::string("R1"));
    part_set_value(r1, "2k", notify);
    w->session().page_changed();  // as the attributes dialog ends
    panel.slider(0)->setValue(panel.slider(0)->value() + 1);
    QTRY_COMPARE_WITH_TIMEOUT(panel.runs_finished(), 2, 60000);
    const std::string text =
        read_text_file(path_in_folder(panel.scratch_folder(), "rc_lowpass.CIR")).value_or("");
    QVERIFY2(text.find("R1 in out  2k ") != std::string::npos, text.c_str());
    w->schematic().modified = false;

    // Opened again, the schematic comes with its panel and tuners, as they were when they came to rest.
    const auto kept = [&] {
      std::vector<std::string> messages;
      return tuner_file_read(tuner_file_path(sch), messages);
    };
    QTRY_COMPARE_WITH_TIMEOUT(kept(), panel.tuners(), 5000);
    std::vector<std::vector<std::string>> started2;
    auto again = editor(notify, started2);
    QVERIFY(again->files().open_file(QString::fromStdString(sch)));
    again->show();
    QVERIFY(again->tuner().isVisible());
    QCOMPARE(again->tuner().tuners(), panel.tuners());
    // A damaged file says so in the status line and keeps the good lines.
    QVERIFY(write_file_atomic(tuner_file_path(sch), "C1 1u 100n 10u log 100\n\x01\xff garbage\n"));
    QVERIFY(again->files().open_file(QString::fromStdString(sch)));
    QCOMPARE(again->tuner().tuners().size(), size_t{1});
    QVERIFY2(again->tuner().status().contains("line 2:"), qPrintable(again->tuner().status()));
    QVERIFY2(notify.entries().empty(), notify.last().c_str());
  }
};

QTEST_MAIN(EditorTuneTest)
#include "editor_tune_test.moc"
