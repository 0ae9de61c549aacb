// Run Simulation from the editor's window with the real engine, the real
// viewer and real listeners: the broadcast before the engine starts, the
// task-done message, the viewer the engine opens and the one a second run
// replaces, a failed run's message, the engine choice and its question.
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>
#include <filesystem>
#include <set>

#include "common/eng_number.h"
#include "common/file_io.h"
#include "common/text_format.h"
#include "editor/command_table.h"
#include "editor/file_commands.h"
#include "editor/main_window.h"
#include "editor/sheet_view.h"
#include "editor/simulation_commands.h"
#include "netlist/netlist_writer.h"
#include "platform/broadcast.h"
#include "schematic/schematic_file.h"
#include "simulation/bias_file.h"

using namespace zephyrim;
namespace fs = std::filesystem;

class EditorRunTest : public QObject {
  Q_OBJECT

  QTemporaryDir runtime_;
  QTemporaryDir config_;
  QTemporaryDir dir_;

  // The process ids of the viewers running now, from their message sockets.
  std::set<std::string> viewers() const {
    std::set<std::string> out;
    for (const auto& e : fs::directory_iterator(runtime_.path().toStdString())) {
      const std::string name = e.path().filename().string();
      if (name.starts_with("trc32-")) out.insert(name);
    }
    return out;
  }
  // Closes every viewer as a new run does, and waits until they are gone.
  void close_viewers() {
    broadcast_post({kZsmSimulation, 1, 0});
    QTRY_VERIFY_WITH_TIMEOUT(viewers().empty(), 30000);
  }
  // The traces of the format the viewer saved in slot 00 when it closed.
  static QString last_session_traces(const std::string& data_file) {
    QProcess formats;
    formats.start(ZEPHYRIM_BATCH_TOOL, {"formats", QString::fromStdString(data_file)});
    if (!formats.waitForFinished(30000)) return {};
    for (const QString& line : QString::fromUtf8(formats.readAllStandardOutput()).split('\n'))
      if (line.startsWith("00\t")) return line.section('\t', 4);
    return {};
  }

  // A copy of an example (the RC one unless named) in folder (under the test's folder).
  std::string example(const std::string& folder, const std::string& name = "rc_lowpass") {
    const fs::path d = fs::path(dir_.path().toStdString()) / folder;
    fs::create_directories(d);
    const fs::path examples = fs::path(ZEPHYRIM_SOURCE_DIR) / "examples";
    for (const char* ext : {".sch", ".SIM", ".MIS"})
      if (fs::exists(examples / (name + ext)))
        fs::copy_file(examples / (name + ext), d / (name + ext), fs::copy_options::overwrite_existing);
    return (d / (name + ".sch")).string();
  }

  // ngspice's own operating point of a node of the editor's netlist, run
  // without the engine in between.
  static double ngspice_node_voltage(const std::string& netlist, const std::string& node) {
    const std::string text = read_text_file(netlist).value_or("");
    std::string deck;
    for (const std::string_view line : split_lines(text))
      if (!line.starts_with(".INC") && !line.starts_with(".END") && !line.starts_with("#"))
        (deck += line) += "\n";
    deck += ".control\nop\nprint v(" + node + ")\n.endc\n.end\n";
    const std::string path = netlist + ".op.cir";
    if (!write_file_atomic(path, deck)) return NAN;
    QProcess ngspice;
    ngspice.start("ngspice", {"-b", QString::fromStdString(path)});
    if (!ngspice.waitForFinished(60000)) return NAN;
    for (const QString& line : QString::fromUtf8(ngspice.readAllStandardOutput()).split('\n')) {
      const QString t = line.trimmed();
      if (t.startsWith("v(" + QString::fromStdString(node) + ") = ")) return t.section(" = ", 1).toDouble();
    }
    return NAN;
  }

  // An editor with its own configuration file.
  std::unique_ptr<EditorMainWindow> editor(RecordingNotify& notify, const std::string& ini) {
    const std::string program = dir_.path().toStdString() + "/program";
    fs::create_directories(program);
    write_file_atomic(program + "/ZEPHYRIM.INI", ini);
    auto w = std::make_unique<EditorMainWindow>(&notify);
    w->load_config(program, [](const char*) { return std::nullopt; });
    w->simulation().set_program_folder(ZEPHYRIM_APPS_DIR);
    return w;
  }

  // F9 on the shown window, as a user starts a run.
  static void press_run(EditorMainWindow& w) {
    w.show();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QTest::keyClick(&w, Qt::Key_F9);
  }

 private slots:
  void initTestCase() {
    // Messages of this test stay among its own programs, and the viewers it
    // starts keep their settings in a folder of its own.
    qputenv("ZEPHYRIM_RUNTIME_DIR", runtime_.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", config_.path().toLocal8Bit());
  }

  void cleanup() { close_viewers(); }

  // The road of a simulation: F9 runs the engine under the status pop-up, the
  // viewer opens on the results with their autoplot; a second F9 closes it and
  // the next run opens a new one.
  void secondRunReplacesTheViewer() {
    const std::string sch = example("road");
    const std::string out = schematic_sibling(sch, "OUT");
    RecordingNotify notify;
    auto w = editor(notify, "[Zephyrim]\n");
    QVERIFY(w->files().open_file(QString::fromStdString(sch)));

    press_run(*w);
    QVERIFY2(w->simulation().engine_running(), notify.last().c_str());
    QCOMPARE(w->status_popup_text().isEmpty(), false);
    QTRY_VERIFY_WITH_TIMEOUT(!w->simulation().engine_running(), 60000);
    QVERIFY(w->status_popup_text().isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(viewers().size(), size_t{1}, 30000);
    const auto first = viewers();

    press_run(*w);
    // The first viewer closes on the broadcast, saving what it showed.
    QTRY_VERIFY_WITH_TIMEOUT(!viewers().contains(*first.begin()), 30000);
    QCOMPARE(last_session_traces(out), QString("V(IN) V(OUT)"));
    QTRY_VERIFY_WITH_TIMEOUT(!w->simulation().engine_running(), 60000);
    QTRY_COMPARE_WITH_TIMEOUT(viewers().size(), size_t{1}, 30000);
    QVERIFY(*viewers().begin() != *first.begin());
    QVERIFY2(notify.entries().empty(), notify.last().c_str());
  }

  // A netlist ngspice refuses: no viewer, and the message holds ngspice's words.
  void failedRunShowsTheSimulatorsErrors() {
    const std::string sch = example("broken");
    const std::string mis = schematic_sibling(sch, "MIS");
    QVERIFY(write_file_atomic(mis, "XBAD 1 2 NO_SUCH_SUBCIRCUIT\n"));
    RecordingNotify notify;
    auto w = editor(notify, "[Zephyrim]\n");
    QVERIFY(w->files().open_file(QString::fromStdString(sch)));
    press_run(*w);
    QTRY_VERIFY_WITH_TIMEOUT(!w->simulation().engine_running(), 60000);
    QTRY_VERIFY_WITH_TIMEOUT(!notify.entries().empty(), 10000);
    const std::string message = notify.last();
    QVERIFY2(message.starts_with("The simulation failed."), message.c_str());
    QVERIFY2(message.find("no_such_subcircuit") != std::string::npos ||
                 message.find("NO_SUCH_SUBCIRCUIT") != std::string::npos,
             message.c_str());
    QTest::qWait(500);
    QVERIFY(viewers().empty());
  }

  void runReachesListenersAndComesBack() {
    const std::string folder = "a b 'q' \"d\" $HOME;touch PWNED";
    const std::string sch = example(folder);
    RecordingNotify notify;
    auto w = editor(notify, "[Zephyrim]\n");
    QVERIFY(w->files().open_file(QString::fromStdString(sch)));

    QProcess listener;
    listener.start(ZEPHYRIM_BATCH_TOOL, {"listen", "--count", "2", "--timeout", "60"});
    listener.setReadChannel(QProcess::StandardError);
    QVERIFY(listener.waitForReadyRead(10000));
    QCOMPARE(listener.readAllStandardError().trimmed(), QByteArray("listening"));

    press_run(*w);
    QVERIFY2(w->simulation().task_pending(), notify.last().c_str());
    QTRY_VERIFY_WITH_TIMEOUT(!w->simulation().task_pending(), 60000);
    QCOMPARE(w->simulation().focus_returns(), 1);
    if (listener.state() != QProcess::NotRunning) QVERIFY(listener.waitForFinished(30000));
    // The viewer hears of the run before the engine starts, and of its end after.
    QCOMPARE(listener.readAllStandardOutput(), QByteArray("ZSM_SIMULATION 1 0\nZS_TASKDONENOTIFY 200 0\n"));
    const fs::path d = fs::path(sch).parent_path();
    QVERIFY(fs::exists(d / "rc_lowpass.SAV"));
    QVERIFY(fs::exists(d / "rc_lowpass.OUT"));
    QVERIFY(!fs::exists(d / "PWNED"));
    QVERIFY(!fs::exists(fs::path(dir_.path().toStdString()) / "PWNED"));

    // With no task pending the message changes nothing.
    QCOMPARE(QProcess::execute(ZEPHYRIM_BATCH_TOOL, {"post", "ZS_TASKDONENOTIFY", "200", "0"}), 0);
    QTest::qWait(300);
    QCOMPARE(w->simulation().focus_returns(), 1);
    QVERIFY(notify.entries().empty() || notify.last().find("failed") == std::string::npos);
  }

  // Alt+B after a run: the collector's voltage on the sheet is the bias file's
  // and ngspice's; it goes with Alt+B and with the next run, and comes back.
  void biasDisplayShowsTheOperatingPoint() {
    const std::string sch = example("bias", "amplifier");
    RecordingNotify notify;
    auto w = editor(notify, "[Zephyrim]\n");
    QVERIFY(w->files().open_file(QString::fromStdString(sch)));
    press_run(*w);
    QTRY_VERIFY_WITH_TIMEOUT(!w->simulation().engine_running(), 60000);
    QVERIFY2(notify.entries().empty(), notify.last().c_str());
    // The engine's viewer listens before the next run may close it.
    QTRY_COMPARE_WITH_TIMEOUT(viewers().size(), size_t{1}, 30000);
    const std::string opb = schematic_sibling(sch, "OPB");
    BiasData data;
    QCOMPARE(bias_file_read(opb, data), 1);

    const auto collector = [&]() -> const BiasLabel* {
      for (const BiasLabel& b : w->sheet()->bias().labels)
        if (!b.current && (b.name == "c" || b.name == "C")) return &b;
      return nullptr;
    };
    QTest::keyClick(w.get(), Qt::Key_B, Qt::AltModifier);
    QVERIFY(w->action(kCmdBias)->isChecked());
    const BiasLabel* c = collector();
    QVERIFY(c);
    float in_file = NAN;
    for (const BiasEntry& e : data.nodes)
      if (e.name == c->name) in_file = e.value;
    QCOMPARE(c->value, in_file);
    QCOMPARE(c->text, format_eng(c->value, 4) + "V");
    const double spice = ngspice_node_voltage(netlist_files(sch).netlist, "c");
    QVERIFY2(std::abs(c->value - spice) <= 1e-5 * std::abs(spice),
             qPrintable(QString("%1 against ngspice %2").arg(c->value).arg(spice)));
    // The collector sits between the supply and ground, its current through RC.
    QVERIFY(spice > 0.5 && spice < 11.5);
    // The supply's current is shown at its rail, the rail's node is not.
    bool supply = false;
    for (const BiasLabel& b : w->sheet()->bias().labels) {
      QVERIFY((b.name != "vcc" && b.name != "VCC") || b.current);
      supply = supply || (b.current && b.name == "VCC");
    }
    QVERIFY(supply);

    QTest::keyClick(w.get(), Qt::Key_B, Qt::AltModifier);
    QVERIFY(!w->action(kCmdBias)->isChecked());
    QVERIFY(w->sheet()->bias().labels.empty());
    QTest::keyClick(w.get(), Qt::Key_B, Qt::AltModifier);
    QVERIFY(collector());
    QCOMPARE(collector()->value, in_file);

    // A new run takes the values away until they are asked for again.
    press_run(*w);
    QVERIFY(!w->action(kCmdBias)->isChecked());
    QVERIFY(w->sheet()->bias().labels.empty());
    QTRY_VERIFY_WITH_TIMEOUT(!w->simulation().engine_running(), 60000);
    QVERIFY2(notify.entries().empty(), notify.last().c_str());
    QTRY_COMPARE_WITH_TIMEOUT(viewers().size(), size_t{1}, 30000);
  }

  // Without a bias file: the warning once, then silence while it stays missing.
  void biasDisplayWithoutData() {
    const std::string sch = example("nobias", "amplifier");
    RecordingNotify notify;
    auto w = editor(notify, "[Zephyrim]\n");
    QVERIFY(w->files().open_file(QString::fromStdString(sch)));
    w->show();
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w.get()));
    QTest::keyClick(w.get(), Qt::Key_B, Qt::AltModifier);
    QCOMPARE(notify.entries().size(), size_t{1});
    QCOMPARE(notify.last(),
             std::string("Circuit OP bias data not available\nRun .OP, .TRAN or .AC simulation first"));
    QVERIFY(!w->action(kCmdBias)->isChecked());
    QTest::keyClick(w.get(), Qt::Key_B, Qt::AltModifier);
    QCOMPARE(notify.entries().size(), size_t{1});
    // A damaged file says which file.
    const std::string opb = schematic_sibling(sch, "OPB");
    QVERIFY(write_file_atomic(opb, std::string(100, 'x')));
    QTest::keyClick(w.get(), Qt::Key_B, Qt::AltModifier);
    QCOMPARE(notify.last(), "Error reading bias data file " + opb);
    QVERIFY(!w->action(kCmdBias)->isChecked());
  }

  void engineChoiceAndItsQuestion() {
    const std::string sch = example("choice");
    {
      // The XSPICE choice without the option installed runs the default engine, unasked.
      RecordingNotify notify;
      auto w = editor(notify, "[Zephyrim]\nSimulatorOption=1\nXSpiceOption=0\n");
      std::vector<std::string> started;
      w->launch = [&](const std::vector<std::string>& argv) {
        started = argv;
        return true;
      };
      w->simulation().start_engine = w->launch;
      QVERIFY(w->files().open_file(QString::fromStdString(sch)));
      press_run(*w);
      QCOMPARE(QString::fromStdString(started.at(0)), QString(ZEPHYRIM_APPS_DIR) + "/zsim");
      QCOMPARE(started.at(2), std::string("-ZSS"));
      QVERIFY(started.at(1).ends_with("rc_lowpass.CIR"));
      for (const auto& e : notify.entries()) QVERIFY(e.kind != NoticeKind::Question);
      // F11: the viewer installed beside the editor, on the run's listing.
      QTest::keyClick(w.get(), Qt::Key_F11);
      QCOMPARE(QString::fromStdString(started.at(0)), QString(ZEPHYRIM_APPS_DIR) + "/trc32");
      QVERIFY(started.at(1).ends_with("rc_lowpass.OUT"));
    }
    {
      // Another simulator: asked once per editor, its words with the netlist, no -ZSS.
      RecordingNotify notify;
      auto w = editor(notify, "[Zephyrim]\nSimulatorOption=3\nSimulationCommand=\"/opt/my sim/run\" -q\n");
      std::vector<std::vector<std::string>> started;
      w->launch = [&](const std::vector<std::string>& argv) {
        started.push_back(argv);
        return true;
      };
      QVERIFY(w->files().open_file(QString::fromStdString(sch)));
      notify.answer(0);
      press_run(*w);
      QCOMPARE(notify.last(), std::string("Simulator selected is Other\nDo you want to run simulation?"));
      QVERIFY(started.empty());
      notify.clear();
      press_run(*w);
      QVERIFY(notify.entries().empty());
      QCOMPARE(started.at(0).size(), 3u);
      QCOMPARE(started.at(0).at(0), std::string("/opt/my sim/run"));
      QCOMPARE(started.at(0).at(1), std::string("-q"));
      // With the map there, the viewer follows at once on the listing.
      QCOMPARE(started.size(), 2u);
      QVERIFY(started.at(1).back().ends_with("rc_lowpass.OUT"));
    }
  }
};

QTEST_MAIN(EditorRunTest)
#include "editor_run_test.moc"
