// Generated symbols through the editor's window: a block drawn with the mouse
// gets its symbol from the subcircuit symbol dialog, is placed on another page
// as a part and simulates as the same circuit drawn flat; the U logic element
// dialog names, refuses and places logic symbols.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <cmath>
#include <deque>

#include "common/file_io.h"
#include "common/text_format.h"
#include "editor/command_table.h"
#include "editor/dialogs.h"
#include "editor/main_window.h"
#include "editor/sheet_view.h"
#include "editor/symbol_commands.h"
#include "editor_test_support.h"
#include "netlist/netlist_writer.h"

using namespace zephyrim;

namespace {

// The words of a netlist line.
std::vector<std::string> words(std::string_view line) {
  std::vector<std::string> out;
  for (size_t i = 0; i < line.size();) {
    const size_t end = std::min(line.find(' ', i), line.size());
    if (end > i) out.emplace_back(line.substr(i, end - i));
    i = end + 1;
  }
  return out;
}

// ngspice's operating point of one node of a circuit deck (without .END).
double ngspice_op(const std::string& deck_path, const std::string& deck, const std::string& node) {
  const std::string text = deck + ".control\nop\nprint v(" + node + ")\n.endc\n.end\n";
  if (!write_file_atomic(deck_path, text)) return NAN;
  QProcess ngspice;
  ngspice.start("ngspice", {"-b", QString::fromStdString(deck_path)});
  if (!ngspice.waitForFinished(60000)) return NAN;
  for (const QString& line : QString::fromUtf8(ngspice.readAllStandardOutput()).split('\n')) {
    const QString t = line.trimmed();
    if (t.startsWith("v(" + QString::fromStdString(node) + ") = ")) return t.section(" = ", 1).toDouble();
  }
  return NAN;
}

}  // namespace

class EditorSymbolsTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  RecordingNotify notify_;
  std::deque<std::string> symbols_;  // answers of the part chooser
  std::unique_ptr<EditorMainWindow> w_;

  QWidget* sheet() { return w_->sheet()->viewport(); }
  Page& page() { return w_->schematic().page(); }
  void click(Point p, Qt::MouseButton b = Qt::LeftButton) {
    QMouseEvent e(QEvent::MouseMove, QPointF(p.x, p.y), sheet()->mapToGlobal(QPointF(p.x, p.y)), Qt::NoButton,
                  Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(sheet(), &e);
    QTest::mouseClick(sheet(), b, {}, QPoint(p.x, p.y));
  }
  // A part of the library through its Insert command: chosen, placed with a click, the state left with a
  // right click.
  PartRecord* place(int command, const std::string& symbol, Point at, const char* value = nullptr) {
    symbols_.push_back(symbol);
    w_->action(command)->trigger();
    const size_t before = page().parts.size();
    click(at);
    click(at, Qt::RightButton);
    if (page().parts.size() != before + 1) return nullptr;
    PartRecord* p = page().parts.back().get();
    if (value) p->value.assign(value);
    return p;
  }
  template <typename T>
  static T* child(QDialog& d, const char* name) {
    T* t = d.findChild<T*>(name);
    if (!t) qWarning("no %s in %s", name, qPrintable(d.objectName()));
    return t;
  }

 private slots:
  void init() {
    w_ = test::shown_editor(dir_, notify_, &symbols_);
    QVERIFY(w_);
    notify_.set_default_answer(1);
  }
  void cleanup() {
    w_->schematic().modified = false;
    w_.reset();
  }

  // A divider drawn as a block, given a symbol, placed on the next page between
  // a source and a load: ngspice finds the operating point of the flat circuit.
  void a_block_symbol_placed_elsewhere_simulates_as_the_flat_circuit() {
    w_->schematic().path = dir_.filePath("divider.sch").toStdString();
    // The block's contents, joined pin to pin: IN - R 1k - (OUT, R 2k to ground).
    QVERIFY(place(kCmdInsertPin, "PIN", {96, 200}, "IN"));
    QVERIFY(place(kCmdInsertPart, "R", {128, 200}, "1k"));
    QVERIFY(place(kCmdInsertPart, "RV", {160, 232}, "2k"));
    QVERIFY(place(kCmdInsertGround, "GND", {160, 264}));
    QVERIFY(place(kCmdInsertPin, "PINOUT", {160, 200}, "OUT"));
    QCOMPARE(page().parts.size(), size_t(5));

    w_->action(kCmdSelectAll)->trigger();
    QTimer::singleShot(0, this, [] {
      auto* d = qobject_cast<SubcktOptionsDialog*>(QApplication::activeModalWidget());
      QVERIFY(d);
      d->findChild<QLineEdit*>("name")->setText("DIV");
      d->accept();
    });
    w_->action(kCmdSubcktNew)->trigger();
    QCOMPARE(page().blocks.size(), size_t(2));
    BlockRecord* div = page().blocks[1].get();
    w_->action(kCmdSelectSubckt)->trigger();
    click({128, 200});
    QVERIFY(selection_count(page()) > 0);

    // The dialog opens on the block's pins; a shape too small for them is
    // refused, and the name is typed without its X.
    notify_.clear();
    bool seen = false;
    w_->symbols().run_dialog = [&](QDialog& d) {
      seen = true;
      [&] {
        QCOMPARE(d.objectName(), QString("SUBCKT_SYMBOL_DLG"));
        QCOMPARE(d.windowTitle(), QString("SUBCKT DIV SYMBOL"));
        auto* name = child<QLineEdit>(d, "name");
        auto* shapes = child<QListWidget>(d, "shapes");
        auto* label = child<QLabel>(d, "shape_label");
        auto* count = child<QSpinBox>(d, "pin_count");
        auto* pins = child<QTableWidget>(d, "pins");
        QVERIFY(name && shapes && label && count && pins);
        QCOMPARE(name->text(), QString("XDIV"));
        QCOMPARE(label->text(), QString("Shape: Rectangle"));
        QCOMPARE(shapes->count(), 10);
        QCOMPARE(count->value(), 2);
        QCOMPARE(pins->item(0, 0)->text(), QString("IN"));
        QCOMPARE(pins->item(1, 0)->text(), QString("OUT"));
        shapes->setCurrentRow(3);
        QCOMPARE(label->text(), QString("Shape: Circle"));
        count->setValue(5);
        QCOMPARE(notify_.last(), std::string("Too many pins for this symbol"));
        QCOMPARE(count->value(), 2);
        QCOMPARE(pins->rowCount(), 2);
        shapes->setCurrentRow(0);
        name->setText("DIVSYM");
      }();
      return static_cast<int>(QDialog::Accepted);
    };
    w_->action(kCmdSubcktSymbol)->trigger();
    QVERIFY(seen);
    QVERIFY2(notify_.saw("SUBCKT symbol name must start with X\nName changed to XDIVSYM"),
             notify_.last().c_str());
    QVERIFY(notify_.saw("Symbol: XDIVSYM\nadded to symbols in use list."));
    QVERIFY(div->symbol && div->symbol_spec);
    QCOMPARE(div->symbol->name.str(), std::string("XDIVSYM"));
    QCOMPARE(div->symbol->pin_count(), 2);
    QCOMPARE(div->symbol_spec->name.str(), std::string("XDIVSYM"));
    const int entry = symtab_index_of(w_->schematic(), div->symbol);
    QVERIFY(entry >= 0);
    QCOMPARE(w_->schematic().symbols.entries[entry].origin, int32_t(kOriginBlock));
    // The symbol follows the pointer until a click puts it down: here on a new page.
    QCOMPARE(w_->session().state(), int(kStatePlacePart));
    QCOMPARE(w_->session().placing(), div->symbol);
    w_->action(kCmdPageNew)->trigger();
    QCOMPARE(w_->schematic().current_page(), 1);
    QCOMPARE(w_->session().placing(), div->symbol);
    click({304, 200});
    click({304, 200}, Qt::RightButton);
    QCOMPARE(page().parts.size(), size_t(1));
    const PartRecord* x = page().parts[0].get();
    QCOMPARE(x->symbol, div->symbol);
    QVERIFY(place(kCmdInsertPart, "V", {304, 232}, "DC 10"));
    QVERIFY(place(kCmdInsertGround, "GND", {304, 264}));
    QVERIFY(place(kCmdInsertPart, "RV", {432, 232}, "3k"));
    QVERIFY(place(kCmdInsertGround, "GND", {432, 264}));

    NetlistOptions options;
    options.files = netlist_files(w_->schematic().path);
    QCOMPARE(compile_netlist(w_->schematic(), options, notify_), 1);
    const std::string netlist = read_text_file(options.files.netlist).value_or("");
    std::string deck, out_node;
    for (const std::string_view line : split_lines(netlist)) {
      if (line.starts_with(".INC") || line == ".END" || line.starts_with("#")) continue;
      if (line.starts_with(x->reference.str() + " ")) {
        const auto w = words(line);
        QCOMPARE(w.size(), size_t(4));
        QCOMPARE(w[3], std::string("DIV"));  // an instance of the block's subcircuit
        out_node = w[2];
      }
      (deck += line) += "\n";
    }
    QVERIFY2(!out_node.empty(), netlist.c_str());
    QVERIFY2(netlist.find(".SUBCKT DIV  IN OUT") != std::string::npos, netlist.c_str());
    const double through_block = ngspice_op(dir_.filePath("block.cir").toStdString(), deck, out_node);
    const double flat = ngspice_op(dir_.filePath("flat.cir").toStdString(),
                                   "flat\nV1 1 0 DC 10\nR1 1 2 1k\nR2 2 0 2k\nRL 2 0 3k\n", "2");
    QVERIFY2(
        std::isfinite(through_block) && std::isfinite(flat),
        qPrintable(
            QString("%1 and %2 from\n%3").arg(through_block).arg(flat).arg(QString::fromStdString(deck))));
    QVERIFY2(
        std::abs(through_block - flat) <= 1e-9 * std::abs(flat),
        qPrintable(
            QString("%1 through the block, %2 flat").arg(through_block, 0, 'g', 17).arg(flat, 0, 'g', 17)));
    QVERIFY(std::abs(flat - 60.0 / 11.0) < 1e-6);  // 10 V over 1k and 2k || 3k

    // A second pass with a new shape: the placed part follows when the user says so.
    notify_.clear();
    page_select(w_->schematic(), 0, notify_);
    w_->session().page_changed();
    w_->symbols().run_dialog = [&](QDialog& d) {
      child<QListWidget>(d, "shapes")->setCurrentRow(2);  // Square
      [&] { QCOMPARE(child<QLineEdit>(d, "name")->text(), QString("XDIVSYM")); }();
      return static_cast<int>(QDialog::Accepted);
    };
    notify_.answer(1);
    w_->symbols().block_symbol_edit(div);
    QVERIFY(notify_.saw("Subcircuit symbol XDIVSYM has been updated.\nReplace all instances?"));
    QCOMPARE(x->symbol, div->symbol);
    QCOMPARE(div->symbol_spec->words[0], int32_t(kShapeSquare));
    QCOMPARE(symtab_index_of(w_->schematic(), div->symbol) >= 0, true);
    // Undo takes the regeneration back on the block's page; every symbol in use is still there.
    w_->action(kCmdUndo)->trigger();
    QCOMPARE(compile_netlist(w_->schematic(), options, notify_), 1);
    for (const auto& p : w_->schematic().pages)
      for (const auto& part : p->parts) QVERIFY(symtab_index_of(w_->schematic(), part->symbol) >= 0);
    for (const auto& b : w_->schematic().pages[0]->blocks)
      QVERIFY(!b->symbol || symtab_index_of(w_->schematic(), b->symbol) >= 0);
  }

  // Pins: a new count asks for the default setup; declining keeps the pins there are.
  void the_pin_count_offers_the_default_setup() {
    notify_.clear();
    w_->symbols().run_dialog = [&](QDialog& d) {
      [&] {
        QCOMPARE(d.windowTitle(), QString("NEW SUBCKT SYMBOL"));
        QCOMPARE(child<QLineEdit>(d, "name")->text(), QString("X"));
        auto* count = child<QSpinBox>(d, "pin_count");
        auto* pins = child<QTableWidget>(d, "pins");
        notify_.answer(1);
        count->setValue(5);
        QCOMPARE(notify_.last(), std::string("Use default pin setup?"));
        QCOMPARE(pins->rowCount(), 5);
        // Rectangle: pins 1-3 left with orders 0-2, pins 4 and 5 right counting down.
        const int orders[] = {0, 1, 2, 1, 0};
        for (int r = 0; r < 5; ++r) {
          QCOMPARE(pins->item(r, 0)->text(), QString::number(r + 1));
          QCOMPARE(qobject_cast<QSpinBox*>(pins->cellWidget(r, 3))->value(), orders[r]);
        }
        pins->item(0, 0)->setText("CLK");
        notify_.answer(0);
        count->setValue(6);
        QCOMPARE(pins->rowCount(), 6);
        QCOMPARE(pins->item(0, 0)->text(), QString("CLK"));
        child<QLineEdit>(d, "name")->setText("XNEW");
      }();
      return static_cast<int>(QDialog::Accepted);
    };
    w_->action(kCmdSubcktSymbol)->trigger();
    const int at = [&] {
      for (size_t i = 0; i < w_->schematic().symbols.entries.size(); ++i)
        if (w_->schematic().symbols.entries[i].name.str() == "XNEW") return static_cast<int>(i);
      return -1;
    }();
    QVERIFY(at >= 0);
    const SymbolTableEntry& e = w_->schematic().symbols.entries[at];
    QCOMPARE(e.origin, int32_t(kOriginGenerated));
    QCOMPARE(e.definition->pin_count(), 6);
    QCOMPARE(e.definition->pins[0].pin_name.str(), std::string("CLK"));
    QCOMPARE(w_->session().placing(), e.definition.get());
  }

  // Each function names its symbol after its options; one typed without U is
  // renamed; OK places the symbol.
  void the_logic_dialog_names_and_places() {
    const auto& functions = logic_functions();
    for (int f = 0; f < kLogicFunctionCount; ++f) {
      const LogicFunction& lf = functions[f];
      w_->symbols().run_dialog = [&](QDialog& d) {
        [&] {
          QCOMPARE(d.objectName(), QString("ULOGIC_SYMBOL_DLG"));
          child<QListWidget>(d, "functions")->setCurrentRow(f);
          auto* name = child<QLineEdit>(d, "symbol_name");
          auto* o1 = child<QLineEdit>(d, "option1");
          auto* o2 = child<QLineEdit>(d, "option2");
          QCOMPARE(name->text(), QString("U") + lf.name);
          QCOMPARE(o1->isEnabled(), lf.label1 != nullptr);
          QCOMPARE(o2->isEnabled(), lf.label2 != nullptr);
          if (lf.label1) {
            QCOMPARE(child<QLabel>(d, "label1")->text(), QString(lf.label1));
            QCOMPARE(o1->text(), QString::number(lf.default1));
            o1->selectAll();
            QTest::keyClicks(o1, QString::number(lf.default1 + 1));
            const std::string one = lf.label2 ? strprintf("U%s(%d,%d)", lf.name, lf.default1 + 1, lf.default2)
                                              : strprintf("U%s(%d)", lf.name, lf.default1 + 1);
            QCOMPARE(name->text(), QString::fromStdString(one));
          }
          if (lf.label2) {
            o2->selectAll();
            QTest::keyClicks(o2, QString::number(lf.default2 + 1));
            QCOMPARE(name->text(), QString::fromStdString(
                                       strprintf("U%s(%d,%d)", lf.name, lf.default1 + 1, lf.default2 + 1)));
          }
        }();
        return static_cast<int>(QDialog::Rejected);
      };
      w_->action(kCmdInsertLogic)->trigger();
      if (QTest::currentTestFailed()) return;
    }

    // AND with three inputs, placed with a click.
    auto answer = [&](int function, const QString& option1, const QString& typed_name) {
      w_->symbols().run_dialog = [=, this](QDialog& d) {
        child<QListWidget>(d, "functions")->setCurrentRow(function);
        if (!option1.isEmpty()) {
          auto* o1 = child<QLineEdit>(d, "option1");
          o1->selectAll();
          QTest::keyClicks(o1, option1);
        }
        if (!typed_name.isEmpty()) child<QLineEdit>(d, "symbol_name")->setText(typed_name);
        return static_cast<int>(QDialog::Accepted);
      };
    };
    const int and_ = logic_function_find("AND");
    answer(and_, "3", "");
    w_->action(kCmdInsertLogic)->trigger();
    QCOMPARE(w_->session().state(), int(kStatePlaceLogic));
    QVERIFY(w_->session().placing());
    QCOMPARE(w_->session().placing()->name.str(), std::string("UAND(3)"));
    click({400, 400});
    click({400, 400}, Qt::RightButton);
    QCOMPARE(page().parts.size(), size_t(1));
    QCOMPARE(page().parts[0]->symbol->name.str(), std::string("UAND(3)"));
    QCOMPARE(page().parts[0]->reference.str().substr(0, 1), std::string("U"));
    for (const SymbolTableEntry& e : w_->schematic().symbols.entries)
      if (e.name.str() == "UAND(3)") QCOMPARE(e.origin, int32_t(kOriginGenerated));

    notify_.clear();
    answer(logic_function_find("XOR"), "", "XOR9");
    w_->action(kCmdInsertLogic)->trigger();
    QVERIFY(notify_.saw("Logic symbol name must start with U./nName changed to UXOR9"));
    QCOMPARE(w_->session().placing()->name.str(), std::string("UXOR9"));

    // A function the library holds comes from it.
    answer(logic_function_find("DFF"), "", "");
    w_->action(kCmdInsertLogic)->trigger();
    QCOMPARE(w_->session().placing()->name.str(), std::string("UDFF"));
    for (const SymbolTableEntry& e : w_->schematic().symbols.entries)
      if (e.name.str() == "UDFF") QCOMPARE(e.origin, int32_t(kOriginLibrary));
  }

  // DIVN is copied from the library: a library without it has nothing to place.
  void a_logic_symbol_the_library_lacks_is_reported() {
    const std::string text = read_text_file(dir_.filePath("default.sym").toStdString()).value_or("");
    const size_t from = text.find("[UDIVN");
    QVERIFY(from != std::string::npos);
    const size_t to = text.find("\n[", from);
    const std::string without = text.substr(0, from) + (to == std::string::npos ? "" : text.substr(to + 1));
    const QString lib = dir_.filePath("nodivn.sym");
    QVERIFY(write_file_atomic(lib.toStdString(), without));
    w_->set_library_path(lib.toStdString());
    notify_.clear();
    w_->symbols().run_dialog = [&](QDialog& d) {
      child<QListWidget>(d, "functions")->setCurrentRow(logic_function_find("DIVN"));
      return static_cast<int>(QDialog::Accepted);
    };
    w_->action(kCmdInsertLogic)->trigger();
    QVERIFY2(notify_.saw("U logic symbol UDIVN not found"), notify_.last().c_str());
    QCOMPARE(w_->session().state(), int(kStateIdle));
    QVERIFY(!w_->session().placing());
  }
};

QTEST_MAIN(EditorSymbolsTest)
#include "editor_symbols_test.moc"
