// The editor's undo history and Redo, and turning a part while placing it,
// driven through the real window with mouse and keys.
#include <QRegularExpression>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>
#include <deque>

#include "editing/edit_ops.h"
#include "editor/command_table.h"
#include "editor/main_window.h"
#include "editor/sheet_view.h"
#include "editor_test_support.h"
#include "schematic/schematic_dump.h"

using namespace zephyrim;

class EditorUndoTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  RecordingNotify notify_;
  std::unique_ptr<EditorMainWindow> w_;
  std::deque<std::string> symbols_;  // answers of the part chooser

  QWidget* sheet() { return w_->sheet()->viewport(); }
  Schematic& schematic() { return w_->schematic(); }
  Page& page() { return schematic().page(); }

  QPoint widget_point(Point p) { return w_->sheet()->to_widget(QPointF(p.x, p.y)).toPoint(); }
  void move(Point p) {
    const QPointF at = widget_point(p);
    QMouseEvent e(QEvent::MouseMove, at, sheet()->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                  Qt::NoModifier);
    QApplication::sendEvent(sheet(), &e);
  }
  void click(Point p, Qt::MouseButton b = Qt::LeftButton, Qt::KeyboardModifiers m = {}) {
    move(p);
    QTest::mouseClick(sheet(), b, m, widget_point(p));
  }
  void drag(Point from, Point to) {
    move(from);
    QTest::mousePress(sheet(), Qt::LeftButton, {}, widget_point(from));
    move(to);
    QTest::mouseRelease(sheet(), Qt::LeftButton, {}, widget_point(to));
  }
  void key(Qt::Key k, Qt::KeyboardModifiers m = {}) { QTest::keyClick(w_.get(), k, m); }
  void place(Qt::Key k, const std::string& symbol, Point at) {
    symbols_.push_back(symbol);
    key(k);
    click(at);
    click(at, Qt::RightButton);
  }
  void wire(Point a, Point b) {
    key(Qt::Key_W);
    click(a);
    move({a.x, a.y + kGridStep});  // leave downward: vertical first
    move(b);
    click(b);
    click(b, Qt::RightButton);
  }

  // The model as the batch tool dumps it, less what Undo rightly leaves alone:
  // the current page (checked apart), the pages' view settings and the
  // selection marks, which clicks change between the operations.
  std::string model() {
    QString d = QString::fromStdString(schematic_dump(schematic()));
    d.remove(QRegularExpression(" current [0-9]+"));
    d.remove(QRegularExpression("\n *settings [^\n]*"));
    d.remove(QRegularExpression(" selected [0-9]+"));
    return d.toStdString();
  }

 private slots:
  void init() {
    w_ = test::shown_editor(dir_, notify_, &symbols_);
    QVERIFY(w_);
  }
  void cleanup() {
    schematic().modified = false;
    w_.reset();
  }

  void undo_and_redo_have_their_menu_items_and_keys() {
    QAction* undo = w_->action(kCmdUndo);
    QAction* redo = w_->action(kCmdRedo);
    QVERIFY(undo && redo && redo->isEnabled());
    QCOMPARE(undo->shortcut(), QKeySequence("Alt+Backspace"));
    QVERIFY(undo->shortcuts().contains(QKeySequence("Ctrl+Z")));
    QCOMPARE(redo->shortcut(), QKeySequence("Ctrl+Y"));
    QVERIFY(redo->shortcuts().contains(QKeySequence("Ctrl+Shift+Z")));
    QVERIFY(!redo->statusTip().isEmpty());
    key(Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(notify_.last(), std::string("Nothing to redo"));
    key(Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(notify_.last(), std::string("Undo buffer empty"));
  }

  void five_operations_on_two_pages_are_undone_and_redone_in_order() {
    w_->action(kCmdPageNew)->trigger();  // pages are no operations of the history
    key(Qt::Key_Home, Qt::ControlModifier);
    QCOMPARE(schematic().current_page(), 0);
    // Nor is loading a symbol to place: it stays in the table until a save
    // purges it. Both symbols are loaded before the first state.
    for (auto [k, name] : {std::pair{Qt::Key_Insert, "R"}, std::pair{Qt::Key_G, "GND"}}) {
      symbols_.push_back(name);
      key(k);
      key(Qt::Key_Escape);
    }
    std::vector<std::string> states{model()};
    std::vector<int> pages;  // the page of each operation
    auto done = [&] {
      states.push_back(model());
      pages.push_back(schematic().current_page());
    };

    place(Qt::Key_Insert, "R", {200, 96});  // 1: a part
    QCOMPARE(page().parts.size(), size_t(1));
    done();
    const Point r1 = part_pin_point(schematic(), *page().parts[0], 1);
    wire(r1, {r1.x + 80, r1.y + 80});  // 2: a wire of two segments
    QCOMPARE(page().wires.size(), size_t(2));
    done();
    click({200, 98});  // 3: the part and the wire's first segment, moved as a group
    click({r1.x, r1.y + 40}, Qt::LeftButton, Qt::ShiftModifier);
    QCOMPARE(selection_count(page()), 2);
    key(Qt::Key_M, Qt::ControlModifier);
    drag({200, 96}, {200, 160});
    QCOMPARE(page().parts[0]->y, 160);
    done();
    key(Qt::Key_PageDown, Qt::ControlModifier);  // 4: a ground on page 2
    QCOMPARE(schematic().current_page(), 1);
    place(Qt::Key_G, "GND", {120, 120});
    QCOMPARE(page().parts.size(), size_t(1));
    done();
    key(Qt::Key_PageUp, Qt::ControlModifier);  // 5: the part deleted on page 1
    w_->action(kCmdSelectObject)->trigger();
    key(Qt::Key_Escape);
    click({200, 162});
    QCOMPARE(page().parts[0]->selected, 1);
    const size_t wires = page().wires.size();
    key(Qt::Key_Delete);
    QVERIFY(page().parts.empty());
    QCOMPARE(page().wires.size(), wires);
    done();
    QVERIFY(notify_.entries().empty());

    // Back one by one with both keys of Undo, each on its page.
    for (int k = 5; k >= 1; --k) {
      schematic().modified = false;
      if (k % 2)
        key(Qt::Key_Backspace, Qt::AltModifier);
      else
        key(Qt::Key_Z, Qt::ControlModifier);
      QCOMPARE(schematic().current_page(), pages[k - 1]);
      QCOMPARE(model(), states[k - 1]);
      QVERIFY(schematic().modified);
      QCOMPARE(w_->session().state(), int(kStateIdle));
    }
    QVERIFY(page().parts.empty() && page().wires.empty());
    key(Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(notify_.last(), std::string("Undo buffer empty"));
    QCOMPARE(model(), states[0]);

    // Forward one by one with both keys of Redo.
    for (int k = 1; k <= 5; ++k) {
      if (k % 2)
        key(Qt::Key_Y, Qt::ControlModifier);
      else
        key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
      QCOMPARE(schematic().current_page(), pages[k - 1]);
      QCOMPARE(model(), states[k]);
    }
    key(Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(notify_.last(), std::string("Nothing to redo"));

    // Back three, then a new operation: what was undone is gone.
    for (int k = 0; k < 3; ++k) key(Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(model(), states[2]);
    QCOMPARE(schematic().current_page(), 0);
    place(Qt::Key_Insert, "R", {400, 96});
    QCOMPARE(page().parts.back()->reference.str(), std::string("R2"));  // counters followed the undos
    key(Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(notify_.last(), std::string("Nothing to redo"));
  }

  void r_m_and_f_turn_the_part_that_is_being_placed() {
    symbols_.push_back("R");
    key(Qt::Key_Insert);
    QVERIFY(w_->session().placing());
    key(Qt::Key_R);
    QCOMPARE(w_->session().placing_step_count(), 1);
    QVERIFY(notify_.entries().empty());  // no "Nothing selected"
    click({200, 200});
    key(Qt::Key_M);
    key(Qt::Key_F);
    click({400, 200});
    click({400, 200}, Qt::RightButton);
    QCOMPARE(page().parts.size(), size_t(2));
    const PartRecord& first = *page().parts[0];
    QCOMPARE(first.step_count, 1);
    QCOMPARE(first.steps[0], int(kStepRotate));
    // Turned a quarter: the region stands upright, so a pin sits above the other.
    QVERIFY(first.region.y2 - first.region.y1 > first.region.x2 - first.region.x1);
    QCOMPARE(part_pin_point(schematic(), first, 0).x, part_pin_point(schematic(), first, 1).x);
    const PartRecord& second = *page().parts[1];
    QCOMPARE(second.step_count, 3);
    QCOMPARE(second.steps[1], int(kStepMirror));
    QCOMPARE(second.steps[2], int(kStepFlip));
    QVERIFY(notify_.entries().empty());

    // Out of the placement state the keys work on the selection again.
    key(Qt::Key_R);
    QCOMPARE(notify_.last(), std::string("Nothing selected"));
  }
};

QTEST_MAIN(EditorUndoTest)
#include "editor_undo_test.moc"
