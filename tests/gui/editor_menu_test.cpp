// Every enabled item of the editor's menu bar, triggered as a user does, must
// do something a user can see: a dialog, a message, a started program, a file
// written, or a change of the document, the view or the settings. And painting
// the sheet never changes the document.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDialog>
#include <QDirIterator>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <filesystem>

#include "common/file_io.h"
#include "editor/clipboard_commands.h"
#include "editor/command_table.h"
#include "editor/file_commands.h"
#include "editor/main_window.h"
#include "editor/sheet_view.h"
#include "editor/simulation_commands.h"
#include "schematic/schematic_dump.h"
#include "simulation/sim_setup.h"

using namespace zephyrim;
namespace fs = std::filesystem;

namespace {

// Counts the paints of a widget that happen while an action runs.
class PaintCounter : public QObject {
 public:
  int paints = 0;
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) ++paints;
    return false;
  }
};

// Everything a user could see change, as text.
struct Observed {
  std::string text;
  bool operator==(const Observed&) const = default;
};

}  // namespace

class EditorMenuTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  int dialogs_ = 0;
  int seams_ = 0;
  std::vector<std::vector<std::string>> started_;

  QString copy_example(const QString& folder) {
    const fs::path d = fs::path(dir_.path().toStdString()) / folder.toStdString();
    fs::create_directories(d);
    for (const char* name : {"opamp_two_page.sch", "opamp_two_page.SIM", "rc_lowpass.sch", "rc_lowpass.SIM"})
      fs::copy_file(fs::path(ZEPHYRIM_SOURCE_DIR) / "examples" / name, d / name,
                    fs::copy_options::overwrite_existing);
    return QString::fromStdString((d / "opamp_two_page.sch").string());
  }

  // An editor on a copy of the two-page example with its first part selected,
  // every engine installed and "other" chosen, and every dialog seam counted.
  std::unique_ptr<EditorMainWindow> editor(RecordingNotify& notify, const QString& folder) {
    const QString sch = copy_example(folder);
    const std::string program = (fs::path(sch.toStdString()).parent_path() / "program").string();
    fs::create_directories(program);
    write_file_atomic(
        program + "/ZEPHYRIM.INI",
        "[Zephyrim]\nXSpiceOption=1\nSpice3Option=1\nSimulationCommand=othersim\nSimulatorOption=3\n"
        "EditFileCommand=edit\nBrowseFileCommand=browse\n");
    auto w = std::make_unique<EditorMainWindow>(&notify);
    w->load_config(program, [](const char*) { return std::nullopt; });
    w->ask_file_name = [this](bool) {
      ++seams_;
      return QString();
    };
    w->ask_symbol = [this](int) -> std::optional<std::string> {
      ++seams_;
      return std::nullopt;
    };
    w->ask_netlist_name = [this](int&) {
      ++seams_;
      return QString();
    };
    w->launch = [this](const std::vector<std::string>& argv) {
      started_.push_back(argv);
      return true;
    };
    notify.set_default_answer(0);
    if (!w->files().open_file(sch)) return nullptr;
    w->files().set_recent_files({sch, QFileInfo(sch).absolutePath() + "/rc_lowpass.sch"});
    w->schematic().page().parts.front()->selected = true;
    w->show();
    w->activateWindow();
    if (!QTest::qWaitForWindowActive(w.get())) return nullptr;
    return w;
  }

  static std::string checks(const EditorMainWindow& w) {
    std::string s;
    for (QAction* a : w.menuBar()->findChildren<QAction*>())
      if (a->isCheckable()) s += a->isChecked() ? '1' : '0';
    return s;
  }

  static std::string folder_listing(const QString& folder) {
    std::string s;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
      const QFileInfo f(it.next());
      s += f.fileName().toStdString() + " " + std::to_string(f.size()) + " " +
           std::to_string(f.lastModified().toMSecsSinceEpoch()) + "\n";
    }
    return s;
  }

  Observed observe(EditorMainWindow& w, const QString& folder) {
    SheetView* sheet = w.sheet();
    const EditorConfig& c = w.config();
    const QMimeData* clip = QGuiApplication::clipboard()->mimeData();
    std::string t = schematic_dump(w.schematic());
    t += "\nmodified " + std::to_string(w.schematic().modified) + " page " +
         std::to_string(w.schematic().current_page()) + " state " + std::to_string(w.session().state()) +
         " mode " + std::to_string(w.session().select_mode()) + " revision " +
         std::to_string(w.session().revision()) + " zoom " + std::to_string(sheet->factor()) + " scroll " +
         std::to_string(sheet->horizontalScrollBar()->value()) + "," +
         std::to_string(sheet->verticalScrollBar()->value()) + " font " +
         (sheet->text_font ? sheet->text_font->toString().toStdString() : "built-in") + " engine " +
         std::to_string(c.simulator_option) + " netlist " + std::to_string(c.netlist_on_exit) +
         std::to_string(c.netlist_backup) + c.statistics_file + " checks " + checks(w) + " title " +
         w.windowTitle().toStdString() + " visible " + std::to_string(w.isVisible()) + " clipboard " +
         (clip ? clip->formats().join(",").toStdString() : "") + " buffer " +
         std::to_string(w.clipboard().buffer().empty()) + " pending " +
         std::to_string(w.simulation().task_pending()) + " setup " + setup_dump(w.simulation().setup()) +
         "\nfiles\n" + folder_listing(folder);
    return {t};
  }

  // Rejects each modal dialog as it appears, counting it.
  void reject_dialogs_while(const std::function<void()>& work) {
    QTimer timer;
    timer.setInterval(20);
    QObject::connect(&timer, &QTimer::timeout, [this] {
      if (QWidget* modal = QApplication::activeModalWidget()) {
        ++dialogs_;
        if (auto* d = qobject_cast<QDialog*>(modal))
          d->reject();
        else
          modal->close();
      }
    });
    timer.start();
    work();
  }

 private slots:
  void initTestCase() { qputenv("ZEPHYRIM_RUNTIME_DIR", dir_.path().toLocal8Bit() + "/runtime"); }

  void every_enabled_menu_item_does_something() {
    std::vector<int> ids;
    for (const EditorCommand& c : editor_commands())
      if (c.id != 0) ids.push_back(c.id);
    int checked = 0;
    QStringList dead;
    for (int id : ids) {
      const QString folder = dir_.filePath(QString("cmd%1").arg(id));
      RecordingNotify notify;
      auto w = editor(notify, QString("cmd%1").arg(id));
      QVERIFY(w);
      QAction* a = w->action(id);
      QVERIFY2(a, qPrintable(QString("no menu item for %1").arg(id)));
      if (!a->isEnabled() || !a->isVisible()) continue;
      // A choice that is already made is first changed, or choosing it again rightly does nothing.
      if (a->isChecked() && id >= kCmdEngineDefault && id <= kCmdEngineOther)
        w->action(id == kCmdEngineDefault ? kCmdEngineXspice : kCmdEngineDefault)->trigger();
      if (a->isChecked() && id >= kCmdSelectObject && id <= kCmdSelectAll)
        w->action(id == kCmdSelectGroup ? kCmdSelectObject : kCmdSelectGroup)->trigger();
      if (id == kCmdPagePrevious) w->action(kCmdPageNext)->trigger();
      if (id == kCmdDefaultFont) w->sheet()->text_font = QFont("Serif");
      QApplication::processEvents();

      const Observed before = observe(*w, folder);
      const size_t notices = notify.entries().size();
      const int dialogs = dialogs_, seams = seams_;
      const size_t started = started_.size();
      PaintCounter paints;
      w->sheet()->viewport()->installEventFilter(&paints);
      reject_dialogs_while([&] { a->trigger(); });
      w->sheet()->viewport()->removeEventFilter(&paints);
      const bool something = notify.entries().size() != notices || dialogs_ != dialogs || seams_ != seams ||
                             started_.size() != started || paints.paints > 0 ||
                             !(observe(*w, folder) == before);
      if (!something) dead << QString("%1 %2").arg(id).arg(a->text());
      ++checked;
      w->setWindowModified(false);
      w->schematic().modified = false;  // closing asks nothing
      w->close();
    }
    QVERIFY2(dead.isEmpty(), qPrintable("menu items that did nothing: " + dead.join("; ")));
    // The road from a schematic to its results is open from the menu.
    RecordingNotify notify;
    auto w = editor(notify, "enabled");
    for (int id : {kCmdNetlistAs, kCmdSimSetup, kCmdOpenMis, kCmdRun, kCmdEngineDefault, kCmdEngineXspice,
                   kCmdEngineSpice3, kCmdEngineOther, kCmdViewCir, kCmdViewCmd, kCmdViewMap, kCmdPlot,
                   kCmdBrowseOut, kCmdNetlistOptions})
      QVERIFY2(w->action(id)->isEnabled(), qPrintable(w->action(id)->text()));
    QVERIFY(checked > 60);
  }

  void netlist_options_are_kept_and_followed() {
    RecordingNotify notify;
    auto w = editor(notify, "options");
    QVERIFY(w);
    const fs::path folder = fs::path(w->schematic().path).parent_path();
    const std::string stats = (folder / "MYSTATS.TXT").string();
    QTimer::singleShot(50, [&] {
      auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      QVERIFY(d && d->objectName() == "NETLIST_OPTS_DLG");
      d->findChild<QCheckBox*>("on_exit")->setChecked(true);
      d->findChild<QCheckBox*>("backup")->setChecked(false);
      d->findChild<QLineEdit*>("statistics")->setText(QString::fromStdString(stats));
      d->accept();
    });
    w->action(kCmdNetlistOptions)->trigger();
    // Written at once, beside the other settings.
    const auto bytes = read_file((folder / "program" / "ZEPHYRIM.INI").string());
    QVERIFY(bytes);
    const std::string ini(bytes->begin(), bytes->end());
    QVERIFY2(ini.find("NetlistOnExit=1") != std::string::npos, (ini + notify.last()).c_str());
    QVERIFY(ini.find("NetlistBackup=0") != std::string::npos);
    QVERIFY(ini.find("StatisticsFile=" + stats) != std::string::npos);
    QVERIFY(ini.find("SimulationCommand=othersim") != std::string::npos);

    // No .BAK however often the netlist is written.
    w->action(kCmdViewCir)->trigger();
    w->action(kCmdViewCir)->trigger();
    QVERIFY(fs::exists(folder / "opamp_two_page.CIR"));
    QVERIFY(!fs::exists(folder / "opamp_two_page.BAK"));
    // And the netlist is written again as the editor closes.
    fs::remove(folder / "opamp_two_page.CIR");
    w->schematic().modified = false;
    w->close();
    QVERIFY(fs::exists(folder / "opamp_two_page.CIR"));
  }

  void painting_leaves_the_document_alone() {
    RecordingNotify notify;
    auto w = editor(notify, "paint");
    QVERIFY(w);
    // Node numbers on, as a user turns them on, then the document saved.
    QTest::keyClick(w.get(), Qt::Key_N, Qt::AltModifier);
    QCOMPARE(w->schematic().page().settings.show_nodes, 1);
    QVERIFY(w->files().save_to(QString::fromStdString(w->schematic().path)));
    // A wire of no length, as a damaged file may hold, that the node pass would delete.
    Page& page = w->schematic().page();
    auto stray = std::make_unique<WireRecord>(*page.wires.front());
    stray->x2 = stray->x1;
    stray->y2 = stray->y1;
    page.wires.push_back(std::move(stray));
    w->session().page_changed();  // a new revision, as after any edit
    const std::string dump = schematic_dump(w->schematic());
    for (int k = 0; k < 3; ++k) {
      w->sheet()->viewport()->repaint();
      w->sheet()->viewport()->grab();
      QApplication::processEvents();
    }
    QCOMPARE(schematic_dump(w->schematic()), dump);
    QVERIFY(!w->schematic().modified);
    w->close();
  }
};

QTEST_MAIN(EditorMenuTest)
#include "editor_menu_test.moc"
