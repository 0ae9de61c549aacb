#include "editing/edit_session.h"

#include <gtest/gtest.h>

#include "schematic/schematic_file.h"
#include "schematic/test_symbols.h"

namespace zephyrim {
namespace {

struct Session {
  RecordingNotify notify;
  EditSession e{notify};
  const SymbolRecord* res = nullptr;

  Session() {
    res = testing_support::add_test_symbol(e.schematic(), "R", kSymbolPart, {-32, -8, 32, 8},
                                           testing_support::two_pins_across());
  }
  Page& page() { return e.schematic().page(); }
  void click(Point p, MouseButton b = MouseButton::left) {
    e.press(p, b);
    e.release(p, b);
  }
};

TEST(EditSession, WiresChainUntilTheRightButton) {
  Session t;
  t.e.toggle_state(kStateWire);
  EXPECT_EQ(t.e.status_text(), " Draw wire: select start point");
  t.click({0, 0});
  EXPECT_EQ(t.e.status_text(), " Move to and select end point");
  t.e.move({0, 17});  // straight down first: vertical-first
  t.e.move({40, 56});
  ASSERT_EQ(t.e.wire_preview().size(), 2u);
  t.click({40, 56});
  ASSERT_EQ(t.page().wires.size(), 2u);
  EXPECT_EQ(t.page().wires[0]->x1, 0);
  EXPECT_EQ(t.page().wires[0]->y2, 56);  // the vertical leg comes first
  t.e.move({80, 56});
  t.click({80, 56});  // the chain goes on from the last end
  EXPECT_EQ(t.page().wires.size(), 3u);
  t.click({82, 58});  // snaps onto the chain's end: too short to store
  EXPECT_EQ(t.page().wires.size(), 3u);
  t.e.move({0, 0});
  t.click({3, 3});  // snaps to (0, 0): back to the start in two segments
  const size_t wires = t.page().wires.size();
  t.click({0, 0}, MouseButton::right);
  EXPECT_EQ(t.e.state(), kStateIdle);
  EXPECT_EQ(t.page().wires.size(), wires);

  // Undo takes back the last wire, both its segments.
  EXPECT_TRUE(t.e.undo());
  EXPECT_EQ(t.page().wires.size(), 3u);
}

TEST(EditSession, UndoAfterDeleteBringsThePartBack) {
  Session t;
  t.e.begin_place(t.res);
  t.click({64, 64});
  t.click({64, 160});
  t.click({0, 0}, MouseButton::right);
  ASSERT_EQ(t.page().parts.size(), 2u);
  EXPECT_EQ(t.page().parts[1]->reference.str(), "R2");

  t.click({64, 66});  // select R1
  EXPECT_EQ(t.e.status_text(), " Edit object");
  EXPECT_TRUE(t.e.delete_selection());
  ASSERT_EQ(t.page().parts.size(), 1u);
  EXPECT_TRUE(t.e.undo());
  ASSERT_EQ(t.page().parts.size(), 2u);
  EXPECT_EQ(t.page().parts[0]->reference.str(), "R1");
  // Further back: the placements, newest first.
  EXPECT_TRUE(t.e.undo());
  ASSERT_EQ(t.page().parts.size(), 1u);
  EXPECT_TRUE(t.e.undo());
  EXPECT_TRUE(t.page().parts.empty());
  EXPECT_FALSE(t.e.undo());
  EXPECT_EQ(t.notify.last(), "Undo buffer empty");
  // And forward again, the delete last.
  EXPECT_TRUE(t.e.redo());
  EXPECT_TRUE(t.e.redo());
  ASSERT_EQ(t.page().parts.size(), 2u);
  EXPECT_EQ(t.page().parts[1]->reference.str(), "R2");
  EXPECT_TRUE(t.e.redo());
  ASSERT_EQ(t.page().parts.size(), 1u);
  EXPECT_EQ(t.page().parts[0]->reference.str(), "R2");
  EXPECT_FALSE(t.e.redo());
  EXPECT_EQ(t.notify.last(), "Nothing to redo");
  t.e.clear_selection();
  EXPECT_FALSE(t.e.delete_selection());
  EXPECT_EQ(t.notify.last(), "Nothing selected");
}

TEST(EditSession, AreaDragSelectsAndMoveFollowsTheDrag) {
  Session t;
  t.e.begin_place(t.res);
  t.click({64, 64});
  t.e.cancel();
  t.e.press({0, 0}, MouseButton::left);  // empty space: an area drag
  t.e.move({200, 200});
  ASSERT_TRUE(t.e.drag_rectangle());
  t.e.release({200, 200}, MouseButton::left);
  EXPECT_EQ(selection_count(t.page()), 1);

  ASSERT_TRUE(t.e.begin_move(true));
  EXPECT_EQ(t.e.status_text(), " Move part");
  t.e.press({64, 64}, MouseButton::left);
  t.e.move({96, 80});
  t.e.release({96, 80}, MouseButton::left);
  EXPECT_EQ(t.page().parts[0]->x, 96);
  EXPECT_EQ(t.page().parts[0]->y, 80);
  EXPECT_TRUE(t.e.undo());  // a move is undone from its snapshot
  EXPECT_EQ(t.page().parts[0]->x, 64);
}

TEST(EditSession, LabelsAndTextsAskForTheirText) {
  Session t;
  WireRecord* w = wire_add(t.e.schematic(), 0, 48, 160, 48);
  t.e.toggle_state(kStateLabel);
  t.notify.reply("out");
  t.click({40, 40});
  ASSERT_EQ(t.page().labels.size(), 1u);
  EXPECT_EQ(t.page().labels[0]->width, 24);
  EXPECT_EQ(w->label, t.page().labels[0].get());  // attached as it lands
  t.notify.reply(std::nullopt);                   // cancelled: nothing
  t.click({80, 40});
  EXPECT_EQ(t.page().labels.size(), 1u);
  t.notify.reply("in");  // a second label on the same wire is refused there
  t.click({96, 40});
  EXPECT_EQ(w->label, t.page().labels[0].get());
  EXPECT_EQ(t.notify.texts().back(), "Label out already assigned to this wire");
  t.e.toggle_state(kStateText);
  t.notify.reply("two\nlines");
  t.click({40, 200});
  ASSERT_EQ(t.page().texts.size(), 1u);
  EXPECT_EQ(t.page().texts[0]->box, (Region{0, -24, 40, 0}));
  t.e.toggle_state(kStateText);
  EXPECT_EQ(t.e.state(), kStateIdle);
  t.e.set_select_mode(kSelectSubckt);
  EXPECT_EQ(t.notify.last(), "No subcircuits");
  EXPECT_EQ(t.e.select_mode(), kSelectObject);
}

}  // namespace
}  // namespace zephyrim

namespace zephyrim {
namespace {

TEST(EditSession, PlacementAndUndoSurviveASaveThatPurgesSymbols) {
  Session t;
  // A symbol that came with the file and that no part uses is purged by a save.
  const SymbolRecord* gnd =
      testing_support::add_test_symbol(t.e.schematic(), "GND", kSymbolGround, {-8, 0, 8, 16},
                                       testing_support::one_pin(1, 8), 0, kOriginSchematic);
  t.e.begin_place(gnd, kStatePlaceGround);
  t.e.before_save();
  schematic_encode(t.e.schematic(), t.notify, 0);
  t.e.after_save();
  ASSERT_NE(t.e.placing(), nullptr);
  EXPECT_GE(symtab_index_of(t.e.schematic(), t.e.placing()), 0);
  t.click({96, 96});
  ASSERT_EQ(t.page().parts.size(), 1u);
  EXPECT_EQ(t.page().parts[0]->symbol->name.str(), "GND");
}

TEST(EditSession, UndoingAWireTakesItsJunctionAlong) {
  Session t;
  t.e.toggle_state(kStateWire);
  t.click({0, 40});
  t.e.move({8, 40});
  t.click({80, 40});
  t.click({0, 0}, MouseButton::right);
  t.e.toggle_state(kStateWire);
  t.click({40, 0});
  t.e.move({40, 8});
  t.click({40, 40});  // ends on the first wire: a junction
  ASSERT_EQ(t.page().junctions.size(), 1u);
  EXPECT_TRUE(t.e.undo());
  EXPECT_TRUE(t.page().junctions.empty());
  EXPECT_EQ(t.page().wires.size(), 1u);
}

}  // namespace
}  // namespace zephyrim

namespace zephyrim {
namespace {

TEST(EditSession, RotateMirrorAndFlipWhilePlacingTurnTheFloatingPart) {
  Session t;
  t.e.schematic().modified = false;
  t.e.begin_place(t.res);
  EXPECT_TRUE(t.e.orient(kStepRotate));
  EXPECT_TRUE(t.e.orient(kStepMirror));
  EXPECT_EQ(t.e.placing_step_count(), 2);
  EXPECT_EQ(t.e.placing_steps()[1], kStepMirror);
  EXPECT_TRUE(t.notify.entries().empty());  // no "Nothing selected"
  EXPECT_FALSE(t.e.schematic().modified);   // nothing of the schematic turned
  t.click({64, 64});
  t.click({200, 64});  // the next copy comes turned the same way
  ASSERT_EQ(t.page().parts.size(), 2u);
  for (const auto& p : t.page().parts) {
    EXPECT_EQ(p->step_count, 2);
    EXPECT_EQ(p->steps[0], kStepRotate);
    EXPECT_EQ(p->region, (Region{-8, -32, 8, 32}));  // upright now
  }
  EXPECT_TRUE(t.e.undo());  // undone as any placement
  EXPECT_EQ(t.page().parts.size(), 1u);

  // A new placement starts upright; a symbol that may not rotate says so.
  const SymbolRecord* fixed =
      testing_support::add_test_symbol(t.e.schematic(), "FIX", kSymbolPart, {-8, -8, 8, 8}, {}, 0);
  t.e.begin_place(fixed);
  EXPECT_EQ(t.e.placing_step_count(), 0);
  EXPECT_FALSE(t.e.orient(kStepRotate));
  EXPECT_EQ(t.notify.last(), "Rotation not allowed for this part");
  EXPECT_TRUE(t.e.orient(kStepFlip));
  t.click({64, 200});
  EXPECT_EQ(t.page().parts.back()->steps[0], kStepFlip);
}

TEST(EditSession, AnOperationThatChangesNothingLeavesNoStep) {
  Session t;
  const SymbolRecord* fixed =
      testing_support::add_test_symbol(t.e.schematic(), "FIX", kSymbolPart, {-8, -8, 8, 8}, {}, 0);
  t.e.begin_place(fixed);
  t.click({64, 64});
  t.e.cancel();
  ASSERT_EQ(t.e.history().undo_count(), 1u);
  t.click({64, 64});
  EXPECT_FALSE(t.e.orient(kStepRotate));  // refused: the part may not turn
  EXPECT_EQ(t.e.history().undo_count(), 1u);
  EXPECT_TRUE(t.e.undo());
  EXPECT_TRUE(t.page().parts.empty());
}

}  // namespace
}  // namespace zephyrim
