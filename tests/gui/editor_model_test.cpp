// The model database from the editor's menu: a database built from a SPICE
// model file by the real batch tool, a diode chosen in the browse dialog and
// placed into a circuit, the netlist's database link, the engine resolving it
// as it resolves the model file itself, the copy into a model file, the
// search through the cross index, and the symbols models are placed with.
#include <unistd.h>

#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>
#include <deque>
#include <filesystem>

#include "common/file_io.h"
#include "common/text_format.h"
#include "editing/edit_ops.h"
#include "editor/command_table.h"
#include "editor/file_commands.h"
#include "editor/main_window.h"
#include "editor/model_commands.h"
#include "editor/sheet_view.h"
#include "editor_test_support.h"
#include "simulation/bias_file.h"

using namespace zephyrim;
namespace fs = std::filesystem;

namespace {

constexpr const char* kModels =
    "* Models of the model database test\n"
    "* Small-signal switching diode\n"
    ".MODEL D1N4148 D (IS=2.52N RS=0.568 N=1.752 CJO=4P M=0.4 TT=20N BV=100 IBV=100U)\n"
    "* General purpose NPN\n"
    ".model Q2N3904 NPN (IS=6.734F XTI=3 EG=1.11 VAF=74.03 BF=416.4 NE=1.259\n"
    "+ ISE=6.734F IKF=66.78M XTB=1.5 BR=.7371 NC=2 ISC=0 IKR=0 RC=1 CJC=3.638P)\n";

// The table row of a model name; -1 when it has none.
int row_of(QTableWidget& table, const QString& name) {
  for (int r = 0; r < table.rowCount(); ++r)
    if (table.item(r, 3)->text() == name) return r;
  return -1;
}

}  // namespace

class EditorModelTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  RecordingNotify notify_;
  std::unique_ptr<EditorMainWindow> w_;
  std::deque<std::string> symbols_;  // answers of the part chooser

  QWidget* sheet() { return w_->sheet()->viewport(); }
  Page& page() { return w_->schematic().page(); }

  // A folder of this test's own.
  fs::path scratch(const char* test) {
    const fs::path d =
        fs::path(dir_.path().toStdString()) / strprintf("%s-%d", test, static_cast<int>(getpid()));
    fs::create_directories(d);
    return d;
  }
  // Page coordinates are widget coordinates at 100 % with the page scrolled home.
  void click(Point p, Qt::MouseButton b = Qt::LeftButton) {
    move(p);
    QTest::mouseClick(sheet(), b, {}, QPoint(p.x, p.y));
  }
  void move(Point p) {
    QMouseEvent e(QEvent::MouseMove, QPointF(p.x, p.y), sheet()->mapToGlobal(QPointF(p.x, p.y)), Qt::NoButton,
                  Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(sheet(), &e);
  }
  void key(Qt::Key k, Qt::KeyboardModifiers m = {}) { QTest::keyClick(w_.get(), k, m); }
  void place(Qt::Key k, const std::string& symbol, Point at) {
    symbols_.push_back(symbol);
    key(k);
    click(at);
    click(at, Qt::RightButton);
  }
  Point pin(int part, int k) { return part_pin_point(w_->schematic(), *page().parts.at(part), k); }
  void wire(Point a, Point b) {
    key(Qt::Key_W);
    click(a);
    move({a.x, a.y + 1});  // leave downward: vertical first
    move(b);
    click(b);
    click(b, Qt::RightButton);
  }

  // Answers the browse dialog that the next command opens with work; a
  // dialog work left open is cancelled, so that a failed check never hangs.
  void on_browse(const std::function<void(ModelBrowseDialog&)>& work) {
    QTimer::singleShot(0, this, [work] {
      auto* d = qobject_cast<ModelBrowseDialog*>(QApplication::activeModalWidget());
      QVERIFY(d);
      QCOMPARE(d->objectName(), QString("MODEL_BROWSE_DLG"));
      work(*d);
      if (d->isVisible()) d->reject();
    });
  }

  // Builds the database of kModels in folder through Ctrl+L; the summary shown.
  std::string build_database(const fs::path& folder) {
    const std::string lib = (folder / "models.lib").string();
    if (!write_file_atomic(lib, kModels)) return {};
    w_->config().model_database_path = folder.string();
    w_->models().ask_model_files = [lib] { return QStringList{QString::fromStdString(lib)}; };
    notify_.clear();
    key(Qt::Key_L, Qt::ControlModifier);
    // The build runs under the status pop-up while the editor goes on.
    if (w_->status_popup_text() != "Building the model database...") return {};
    if (!QTest::qWaitFor([&] { return !w_->models().building() && !notify_.entries().empty(); }, 60000))
      return {};
    return notify_.last();
  }

 private slots:
  void initTestCase() { qputenv("ZEPHYRIM_RUNTIME_DIR", dir_.path().toLocal8Bit() + "/runtime"); }

  void init() {
    w_ = test::shown_editor(dir_, notify_, &symbols_);
    QVERIFY(w_);
    w_->models().set_program_folder(QFileInfo(ZEPHYRIM_BATCH_TOOL).absolutePath().toStdString());
  }
  void cleanup() {
    w_->schematic().modified = false;
    w_.reset();
  }

  // The whole road: database built, diode placed from it into a circuit, the
  // netlist linking its library, and the engine's operating point equal to the
  // one with the model file included instead.
  void placed_model_is_netlisted_and_simulated_as_its_model_file() {
    const fs::path folder = scratch("placed");
    const std::string summary = build_database(folder);
    QVERIFY2(summary.starts_with("Model database built in " + folder.string()), summary.c_str());
    QVERIFY2(summary.find("MODELS: 2 models from") != std::string::npos, summary.c_str());
    QVERIFY(fs::exists(folder / kMainIndexFile));
    QVERIFY(fs::exists(folder / "MODELS.MDB"));
    QVERIFY(w_->status_popup_text().isEmpty());

    // Saved into the database's folder, which the engine then finds too.
    QVERIFY(w_->files().save_to(QString::fromStdString((folder / "clip.sch").string())));
    place(Qt::Key_Insert, "V", {80, 160});
    place(Qt::Key_Insert, "R", {200, 96});
    place(Qt::Key_G, "GND", {80, 240});
    place(Qt::Key_G, "GND", {400, 240});

    on_browse([](ModelBrowseDialog& d) {
      auto* libraries = d.findChild<QTreeWidget*>("libraries");
      auto* models = d.findChild<QTableWidget*>("models");
      QVERIFY(libraries && models);
      QCOMPARE(libraries->topLevelItemCount(), 1);
      QCOMPARE(libraries->topLevelItem(0)->text(1), QString("MODELS.MDB"));
      libraries->setCurrentItem(libraries->topLevelItem(0));
      QCOMPARE(models->rowCount(), 2);
      QStringList heads;
      for (int c = 0; c < models->columnCount(); ++c) heads << models->horizontalHeaderItem(c)->text();
      QCOMPARE(heads.join(' '), QString("DUP PART# TYPE NAME SYMBOL CLASS SUBCLASS DESCRIPTION"));
      const int diode = row_of(*models, "D1N4148");
      QVERIFY(diode >= 0);
      QCOMPARE(models->item(diode, 2)->text(), QString("D"));
      QCOMPARE(models->item(diode, 5)->text(), QString("D"));
      QVERIFY(!d.findChild<QPushButton*>("place")->isEnabled());  // nothing chosen yet
      models->selectRow(diode);
      const QString text = d.findChild<QPlainTextEdit*>("model_text")->toPlainText();
      QVERIFY2(text.contains(".MODEL D1N4148 D (") && text.contains("IS=2.52E-09"), qPrintable(text));
      QVERIFY(d.findChild<QPlainTextEdit*>("model_text")->isReadOnly());
      d.findChild<QPushButton*>("place")->click();
    });
    w_->action(kCmdInsertModel)->trigger();
    // The keys go to the window again once the dialog is gone.
    w_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w_.get()));
    QCOMPARE(w_->session().state(), int(kStatePlacePart));
    QVERIFY(w_->session().placing());
    QCOMPARE(w_->session().placing()->name.str(), std::string("D"));
    // Two clicks place two parts of the model; they share one link.
    click({320, 96});
    click({320, 320});
    click({320, 320}, Qt::RightButton);
    QCOMPARE(w_->session().state(), int(kStateIdle));
    QCOMPARE(page().parts.size(), size_t(6));
    PartRecord& d1 = *page().parts[4];
    PartRecord& d2 = *page().parts[5];
    QCOMPARE(d1.reference.str(), std::string("D1"));
    QCOMPARE(d1.value.str(), std::string("D1N4148"));
    QVERIFY(d1.model_link);
    QCOMPARE(d1.model_link->kind, int32_t(kLinkMdb));
    QCOMPARE(d1.model_link->scope, int32_t(kLinkPart));
    QCOMPARE(d1.model_link->file().value_or(""), std::string("MODELS"));
    QCOMPARE(d2.model_link, d1.model_link);
    QCOMPARE(w_->schematic().links.size(), size_t(1));
    // The same symbol placed as a part afterwards is an ordinary diode.
    place(Qt::Key_Insert, "D", {560, 320});
    QCOMPARE(page().parts.size(), size_t(7));
    QCOMPARE(page().parts[6]->value.str(), std::string("DMOD"));
    QVERIFY(!page().parts[6]->model_link);
    part_delete(w_->schematic(), page().parts[6].get());
    part_delete(w_->schematic(), &d2);
    w_->session().page_changed();

    wire(pin(0, 0), pin(1, 0));  // source top to the resistor's left end
    wire(pin(1, 1), pin(4, 0));  // resistor to the anode
    wire(pin(4, 1), pin(3, 0));  // cathode to ground
    wire(pin(0, 1), pin(2, 0));
    // Undo and Redo of a later step bring back the part with its model.
    const size_t wires = page().wires.size();
    QVERIFY(w_->session().undo());
    QVERIFY(page().wires.size() < wires);
    QVERIFY(w_->session().redo());
    QCOMPARE(page().wires.size(), wires);
    QCOMPARE(page().parts.at(4)->value.str(), std::string("D1N4148"));
    QVERIFY(page().parts.at(4)->model_link && page().parts.at(4)->model_link->kind == kLinkMdb);
    QVERIFY(w_->files().save_to(QString::fromStdString((folder / "clip.sch").string())));

    // File > Netlist As.
    const std::string cir = (folder / "clip.cir").string();
    w_->ask_netlist_name = [&](int& filter) {
      filter = 0;
      return QString::fromStdString(cir);
    };
    notify_.clear();
    w_->action(kCmdNetlistAs)->trigger();
    const std::string netlist = read_text_file(cir).value_or("");
    QVERIFY2(netlist.find("\n.INC/MDB MODELS\n") != std::string::npos, netlist.c_str());
    bool part_line = false;
    for (std::string_view line : split_lines(netlist)) {
      while (line.ends_with(' ')) line.remove_suffix(1);
      part_line = part_line || (line.starts_with("D1 ") && line.ends_with(" D1N4148"));
    }
    QVERIFY2(part_line, netlist.c_str());

    // The engine: the same operating point as with the model file included.
    std::string with_file = netlist;
    const size_t at = with_file.find(".INC/MDB MODELS");
    with_file.replace(at, 15, ".INCLUDE \"" + (folder / "models.lib").string() + "\"");
    const std::string cir2 = (folder / "clip_file.cir").string();
    QVERIFY(write_file_atomic(cir2, with_file));
    BiasData from_db, from_file;
    for (const auto& [path, data] : {std::pair{cir, &from_db}, std::pair{cir2, &from_file}}) {
      QProcess zsim;
      zsim.setWorkingDirectory(QString::fromStdString(folder.string()));
      zsim.start(QString(ZEPHYRIM_APPS_DIR) + "/zsim", {QString::fromStdString(path)});
      QVERIFY(zsim.waitForFinished(120000));
      QVERIFY2(zsim.exitCode() == 0, zsim.readAllStandardError().constData());
      QCOMPARE(bias_file_read(bias_file_path(path), *data), 1);
    }
    QVERIFY(!from_db.nodes.empty());
    QCOMPARE(from_db.nodes.size(), from_file.nodes.size());
    QCOMPARE(from_db.devices.size(), from_file.devices.size());
    bool diode_drop = false;
    for (size_t i = 0; i < from_db.nodes.size(); ++i) {
      QCOMPARE(from_db.nodes[i].name, from_file.nodes[i].name);
      QCOMPARE(from_db.nodes[i].value, from_file.nodes[i].value);
      // The anode sits a diode drop above ground, not at the source's 1 V.
      diode_drop = diode_drop || (from_db.nodes[i].value > 0.4f && from_db.nodes[i].value < 0.8f);
    }
    QVERIFY(diode_drop);
    for (size_t i = 0; i < from_db.devices.size(); ++i)
      QCOMPARE(from_db.devices[i].value, from_file.devices[i].value);
  }

  // Copy to Model File appends the model's text; Find reaches the NPN through
  // the cross index, in any case, from any library shown; the filter narrows.
  void copy_find_and_filter() {
    const fs::path folder = scratch("copy");
    QVERIFY(build_database(folder).starts_with("Model database built in"));
    const std::string mod = (folder / "mine.mod").string();
    QVERIFY(write_file_atomic(mod, "* my models\n"));
    w_->models().ask_copy_file = [mod] { return QString::fromStdString(mod); };
    notify_.clear();
    int chosen = -1;
    on_browse([&](ModelBrowseDialog& d) {
      auto* libraries = d.findChild<QTreeWidget*>("libraries");
      auto* models = d.findChild<QTableWidget*>("models");
      libraries->setCurrentItem(libraries->topLevelItem(0));
      models->selectRow(row_of(*models, "D1N4148"));
      d.findChild<QPushButton*>("copy")->click();

      d.findChild<QLineEdit*>("find_name")->setText("q2n3904");
      d.findChild<QPushButton*>("find")->click();
      QVERIFY(d.entry() >= 0);
      QCOMPARE(models->item(d.entry(), 3)->text(), QString("Q2N3904"));
      QCOMPARE(models->item(d.entry(), 2)->text(), QString("Q"));
      QCOMPARE(models->item(d.entry(), 5)->text(), QString("NPN"));
      QVERIFY(d.findChild<QPlainTextEdit*>("model_text")->toPlainText().contains(".MODEL Q2N3904 NPN ("));
      // A part of a name is found when no model has the name itself.
      QVERIFY(!d.find("BC547"));
      QVERIFY(d.find("4148"));
      QCOMPARE(models->item(d.entry(), 3)->text(), QString("D1N4148"));

      d.findChild<QLineEdit*>("filter")->setText("npn");
      QVERIFY(models->isRowHidden(row_of(*models, "D1N4148")));
      QVERIFY(!models->isRowHidden(row_of(*models, "Q2N3904")));
      QCOMPARE(d.entry(), -1);  // the diode chosen before is filtered out
      QVERIFY(!d.findChild<QPushButton*>("place")->isEnabled());
      chosen = 0;
      d.findChild<QPushButton*>("cancel")->click();
    });
    w_->action(kCmdInsertModel)->trigger();
    QCOMPARE(chosen, 0);
    QCOMPARE(w_->session().state(), int(kStateIdle));
    QVERIFY(page().parts.empty());
    const std::string text = read_text_file(mod).value_or("");
    QVERIFY2(text.starts_with("* my models\n\n*Library: " + (folder / "MODELS.MDB").string()), text.c_str());
    QVERIFY2(text.find("\n.MODEL D1N4148 D (") != std::string::npos, text.c_str());
    const std::vector<std::string> notices = notify_.texts();
    QVERIFY(std::find(notices.begin(), notices.end(), "Model D1N4148 copied to " + mod) != notices.end());
    QVERIFY(std::find(notices.begin(), notices.end(), "Model BC547 not found in the model database.") !=
            notices.end());
  }

  // Without a database there is no dialog, but word of where one was looked
  // for and how to make one; a cancelled choice of files builds nothing.
  void missing_database_and_cancelled_build() {
    const fs::path folder = scratch("missing");
    w_->config().model_database_path = folder.string();
    notify_.clear();
    w_->action(kCmdInsertModel)->trigger();
    QCOMPARE(notify_.last(), "No model database in " + folder.string() +
                                 "\nUse Tools > Model Libraries > Model Database to build one from SPICE "
                                 "model files.");
    QCOMPARE(notify_.entries().back().kind, NoticeKind::Information);

    w_->models().ask_model_files = [] { return QStringList(); };
    notify_.clear();
    w_->action(kCmdModelDatabase)->trigger();
    QVERIFY(!w_->models().building());
    QVERIFY(notify_.entries().empty());
    QVERIFY(!fs::exists(folder / kMainIndexFile));

    // A file the tool finds no model in: its error, and still no database.
    const std::string empty = (folder / "empty.lib").string();
    QVERIFY(write_file_atomic(empty, "* nothing here\n"));
    w_->models().ask_model_files = [empty] { return QStringList{QString::fromStdString(empty)}; };
    w_->action(kCmdModelDatabase)->trigger();
    QVERIFY(QTest::qWaitFor([&] { return !w_->models().building() && !notify_.entries().empty(); }, 60000));
    QCOMPARE(notify_.entries().back().kind, NoticeKind::Error);
    QVERIFY2(notify_.last().find("no .MODEL or .SUBCKT found") != std::string::npos, notify_.last().c_str());
    QVERIFY(!fs::exists(folder / kMainIndexFile));
  }

  // Open Library File hands the chosen file to the configured browser.
  void open_library_file_starts_the_browser() {
    std::vector<std::vector<std::string>> started;
    w_->launch = [&](const std::vector<std::string>& argv) {
      started.push_back(argv);
      return true;
    };
    w_->config().browse_file_command = "\"/opt/my tools/browse\" -r";
    w_->models().ask_library_file = [] { return QString("/data/models/diodes.lib"); };
    w_->action(kCmdOpenLibrary)->trigger();
    QCOMPARE(started.size(), size_t(1));
    QCOMPARE(started[0], (std::vector<std::string>{"/opt/my tools/browse", "-r", "/data/models/diodes.lib"}));
    w_->models().ask_library_file = [] { return QString(); };
    w_->action(kCmdOpenLibrary)->trigger();
    QCOMPARE(started.size(), size_t(1));
  }

  // The symbol a model is placed with, from the default library.
  void symbols_of_models() {
    const SymbolLibrary* lib = w_->library();
    QVERIFY(lib);
    auto symbol = [&](int mid, const char* kind, size_t pins = 0, const char* own = "") {
      IndexEntry e;
      e.mid = mid;
      e.name = "M1";
      e.class_name.assign(kind);
      e.symbol = own;
      ModelRecord m;
      m.pins.assign(pins, "p");
      std::string why;
      const std::string name = model_symbol_name(e, m, *lib, why);
      return name.empty() ? "? " + why : name;
    };
    QCOMPARE(symbol(1, "D"), std::string("D"));
    QCOMPARE(symbol(1, "D", 0, "DZ"), std::string("DZ"));  // the entry's own symbol
    QCOMPARE(symbol(1, "D", 0, "NOSUCH"), std::string("D"));
    QCOMPARE(symbol(2, "NPN"), std::string("Q"));
    QCOMPARE(symbol(2, "PNP"), std::string("QP"));
    QCOMPARE(symbol(3, "PJF"), std::string("JP"));
    QCOMPARE(symbol(4, "NMOS"), std::string("M"));
    QCOMPARE(symbol(4, "PMOS"), std::string("MP"));
    QCOMPARE(symbol(7, "CSW"), std::string("W"));
    QCOMPARE(symbol(5, "R"), std::string("R"));
    QCOMPARE(symbol(0, "SUBCKT", 5), std::string("OPAMP"));  // a subcircuit of five pins
    const std::string three = symbol(0, "SUBCKT", 3);
    QVERIFY2(three.starts_with("? No subcircuit symbol of 3 pins in "), three.c_str());
    const std::string ltra = symbol(8, "LTRA");
    QVERIFY2(ltra.starts_with("? No symbol in ") && ltra.ends_with("fits the model M1 (element O, LTRA)."),
             ltra.c_str());
  }
};

QTEST_MAIN(EditorModelTest)
#include "editor_model_test.moc"
