#include "editing/edit_ops.h"

#include <gtest/gtest.h>

#include "schematic/test_symbols.h"

namespace zephyrim {
namespace {

struct Sheet {
  RecordingNotify notify;
  std::unique_ptr<Schematic> s = schematic_new("t.sch", 1767603600);
  ReferenceCounters counters;
  const SymbolRecord* res = nullptr;  // pins at (-32, 0) and (32, 0)
  const SymbolRecord* gnd = nullptr;

  Sheet() {
    using namespace testing_support;
    res = add_test_symbol(*s, "R", kSymbolPart, {-32, -8, 32, 8}, two_pins_across());
    gnd = add_test_symbol(*s, "GND", kSymbolGround, {-8, 0, 8, 16}, one_pin(1, 8), 0);
    references_recount(*s, counters);
  }
  Page& page() { return s->page(); }
  int wire(Point a, Point b, WireForm f = WireForm::horizontal_first, bool junctions = true) {
    return wire_store(*s, a, b, f, junctions, notify);
  }
  bool junction_at(int x, int y) {
    for (const auto& j : page().junctions)
      if (j->x == x && j->y == y) return true;
    return false;
  }
};

TEST(WireDrawing, TheFirstMoveDecidesTheForm) {
  EXPECT_EQ(wire_form_for({0, 0}, {0, 3}), WireForm::vertical_first);
  EXPECT_EQ(wire_form_for({0, 0}, {2, 3}), WireForm::horizontal_first);
  EXPECT_EQ(wire_segments({0, 0}, {5, 7}, WireForm::horizontal_first),
            (std::vector<Segment>{{{0, 0}, {5, 0}}, {{5, 0}, {5, 7}}}));
  EXPECT_EQ(wire_segments({0, 0}, {5, 7}, WireForm::vertical_first),
            (std::vector<Segment>{{{0, 0}, {0, 7}}, {{0, 7}, {5, 7}}}));
  EXPECT_EQ(wire_segments({0, 0}, {0, 7}, WireForm::horizontal_first),
            (std::vector<Segment>{{{0, 0}, {0, 7}}}));
  EXPECT_TRUE(wire_segments({0, 0}, {1, 1}, WireForm::horizontal_first).empty());
}

TEST(WireDrawing, StoredSegmentsStartAtTheirLowerEnd) {
  Sheet t;
  EXPECT_EQ(t.wire({80, 40}, {16, 8}), 2);
  ASSERT_EQ(t.page().wires.size(), 2u);
  const WireRecord& h = *t.page().wires[0];
  EXPECT_EQ((std::array{h.x1, h.y1, h.x2, h.y2, h.orientation}), (std::array{16, 40, 80, 40, 1}));
  const WireRecord& v = *t.page().wires[1];
  EXPECT_EQ((std::array{v.x1, v.y1, v.x2, v.y2, v.orientation}), (std::array{16, 8, 16, 40, 2}));
  EXPECT_TRUE(t.s->modified);
}

TEST(AutoJunction, OnlyTeesAndMeetingsOfBothDirectionsGetADot) {
  Sheet t;
  t.wire({0, 40}, {80, 40});
  t.wire({40, 0}, {40, 80});  // a plus: crossing wires stay apart
  EXPECT_TRUE(t.page().junctions.empty());
  t.wire({80, 0}, {80, 80});  // the first wire ends on its middle: a T
  EXPECT_TRUE(t.junction_at(80, 40));
  EXPECT_EQ(t.page().junctions.size(), 1u);

  Sheet u;
  u.wire({0, 0}, {40, 0});
  u.wire({40, 0}, {80, 0});  // two in line meeting: no dot
  EXPECT_TRUE(u.page().junctions.empty());
  u.wire({40, 0}, {40, 40}, WireForm::vertical_first);  // a third, across
  EXPECT_TRUE(u.junction_at(40, 0));
  u.wire({0, 0}, {40, 0});  // drawn again: never a second dot
  EXPECT_EQ(u.page().junctions.size(), 1u);

  Sheet off;
  off.wire({0, 40}, {80, 40}, WireForm::horizontal_first, false);
  off.wire({40, 40}, {40, 80}, WireForm::vertical_first, false);
  EXPECT_TRUE(off.page().junctions.empty());
  EXPECT_EQ(redo_connections(*off.s), 1);
  EXPECT_TRUE(off.junction_at(40, 40));
}

TEST(AutoJunction, APinTouchingTwoWiresGetsADot) {
  Sheet t;
  place_part(*t.s, t.res, {64, 64}, t.counters, true);  // pins at (32,64) and (96,64)
  t.wire({0, 64}, {32, 64});
  EXPECT_TRUE(t.page().junctions.empty());
  t.wire({32, 64}, {32, 120}, WireForm::vertical_first);
  EXPECT_TRUE(t.junction_at(32, 64));
}

TEST(References, NumbersFollowTheLargestInUseAcrossTopLevelPages) {
  Sheet t;
  PartRecord* r1 = place_part(*t.s, t.res, {64, 64}, t.counters, false);
  EXPECT_EQ(r1->reference.str(), "R1");
  PartRecord* r3 = place_part(*t.s, t.res, {64, 128}, t.counters, false);
  r3->reference.assign("R3");
  references_recount(*t.s, t.counters);
  EXPECT_EQ(place_part(*t.s, t.res, {64, 192}, t.counters, false)->reference.str(), "R4");
  EXPECT_TRUE(place_part(*t.s, t.gnd, {0, 0}, t.counters, false)->reference.empty());

  ASSERT_EQ(page_add(*t.s, t.notify), 1);
  references_recount(*t.s, t.counters);
  EXPECT_EQ(place_part(*t.s, t.res, {64, 64}, t.counters, false)->reference.str(), "R5");

  // A pasted part keeps its own name unless the scope already uses it.
  PartRecord model;
  model.reference.assign("R9");
  EXPECT_EQ(place_part(*t.s, t.res, {64, 128}, t.counters, false, &model)->reference.str(), "R9");
  EXPECT_EQ(place_part(*t.s, t.res, {64, 192}, t.counters, false, &model)->reference.str(), "R10");

  // A subcircuit block counts on its own.
  BlockRecord* sub = block_new(*t.s);
  t.page().edit_block = sub;
  references_recount(*t.s, t.counters);
  EXPECT_EQ(place_part(*t.s, t.res, {300, 64}, t.counters, false)->reference.str(), "R1");
}

TEST(Selection, HitsFollowThePriorityAndAreasTakeWholeObjects) {
  Sheet t;
  t.wire({0, 40}, {80, 40});
  t.wire({40, 40}, {40, 80}, WireForm::vertical_first);
  place_part(*t.s, t.res, {200, 40}, t.counters, false);
  EXPECT_EQ(hit_test(t.page(), {40, 40}, 2).kind, HitKind::junction);
  EXPECT_EQ(hit_test(t.page(), {20, 41}, 2), (Hit{HitKind::wire, 0}));
  EXPECT_EQ(hit_test(t.page(), {200, 44}, 2).kind, HitKind::part);
  EXPECT_FALSE(hit_test(t.page(), {400, 400}, 2));

  EXPECT_EQ(select_area(t.page(), {100, 100}, {-8, 0}), 3);  // two wires and the dot; the part sticks out
  EXPECT_EQ(selection_count(t.page()), 3);
  select_none(t.page());
  EXPECT_EQ(selection_count(t.page()), 0);
  select_all(t.page());
  EXPECT_EQ(selection_count(t.page()), 4);
}

TEST(Editing, DeletingALabelUnhooksItsWiresAndPins) {
  Sheet t;
  PartRecord* r = place_part(*t.s, t.res, {64, 64}, t.counters, false);
  t.wire({0, 64}, {32, 64});
  LabelRecord* l = label_new(*t.s);
  l->name.assign("in");
  l->width = 16;
  r->pin_nodes[0].label = l;
  t.page().wires[0]->label = l;
  EXPECT_EQ(delete_selected(*t.s, t.notify), 0);
  EXPECT_EQ(t.notify.texts().back(), "Nothing selected");
  l->selected = 1;
  EXPECT_EQ(delete_selected(*t.s, t.notify), 1);
  EXPECT_EQ(r->pin_nodes[0].label, nullptr);
  EXPECT_EQ(t.page().wires[0]->label, nullptr);
}

TEST(Editing, RubberBandWiresFollowAMovedPart) {
  Sheet t;
  PartRecord* r = place_part(*t.s, t.res, {64, 64}, t.counters, false);
  t.wire({0, 64}, {32, 64});    // to the left pin
  t.wire({96, 64}, {160, 64});  // from the right pin
  t.wire({0, 200}, {80, 200});  // not attached
  r->selected = 1;

  ASSERT_EQ(move_selected(*t.s, 16, 0, true, t.notify), 1);  // along the wires: they stretch
  EXPECT_EQ(r->x, 80);
  ASSERT_EQ(t.page().wires.size(), 3u);
  auto has = [&](int x1, int y1, int x2, int y2) {
    for (const auto& w : t.page().wires)
      if (w->x1 == x1 && w->y1 == y1 && w->x2 == x2 && w->y2 == y2) return true;
    return false;
  };
  EXPECT_TRUE(has(0, 64, 48, 64));
  EXPECT_TRUE(has(112, 64, 160, 64));
  EXPECT_TRUE(has(0, 200, 80, 200));

  ASSERT_EQ(move_selected(*t.s, 0, 32, true, t.notify), 1);  // across: each gets a bend
  EXPECT_TRUE(has(0, 64, 48, 64) && has(48, 64, 48, 96));
  EXPECT_TRUE(has(112, 64, 160, 64) && has(112, 64, 112, 96));

  const size_t wires = t.page().wires.size();
  ASSERT_EQ(move_selected(*t.s, 0, 32, false, t.notify), 1);         // Move Only leaves them
  EXPECT_EQ(move_selected(*t.s, -1000, -1000, false, t.notify), 1);  // stops at the page's corner
  EXPECT_EQ(r->x, 8);
  EXPECT_EQ(r->y, 8);
  ASSERT_EQ(move_selected(*t.s, 72, 120, false, t.notify), 1);
  EXPECT_EQ(t.page().wires.size(), wires);
  EXPECT_TRUE(has(48, 64, 48, 96));
}

TEST(Editing, OrientDisableAndEnable) {
  Sheet t;
  PartRecord* r = place_part(*t.s, t.res, {64, 64}, t.counters, false);
  PartRecord* g = place_part(*t.s, t.gnd, {0, 0}, t.counters, false);
  EXPECT_EQ(orient_selected(*t.s, kStepRotate, t.notify), 0);
  EXPECT_EQ(t.notify.texts().back(), "Nothing selected");
  r->selected = g->selected = 1;
  EXPECT_EQ(orient_selected(*t.s, kStepRotate, t.notify), 1);  // the ground symbol may not rotate
  EXPECT_EQ(t.notify.texts().back(), "Rotation not allowed for this part");
  EXPECT_EQ(r->region, (Region{-8, -32, 8, 32}));
  EXPECT_EQ(part_pin_point(*t.s, *r, 0), (Point{64, 96}));

  g->step_count = 0;
  PartRecord* r2 = place_part(*t.s, t.res, {64, 200}, t.counters, false);
  r->selected = 0, g->selected = 1, r2->selected = 1;          // the ground comes first in the list
  EXPECT_EQ(orient_selected(*t.s, kStepRotate, t.notify), 1);  // the resistor after it still turns
  EXPECT_EQ(r2->step_count, 1);
  r2->selected = 0, r->selected = 1;
  EXPECT_EQ(disable_selected(*t.s, true, t.notify), 2);
  EXPECT_EQ(r->disabled, 1);
  select_none(t.page());
  EXPECT_EQ(disable_selected(*t.s, false, t.notify), 0);
  EXPECT_EQ(enable_all(*t.s), 2);
  EXPECT_EQ(g->disabled, 0);
}

}  // namespace
}  // namespace zephyrim
