#include "netlist/connectivity.h"

#include <gtest/gtest.h>

#include <random>
#include <tuple>

#include "netlist/map_file.h"
#include "schematic/test_symbols.h"

namespace zephyrim {
namespace {

struct Sheet {
  RecordingNotify notify;
  std::unique_ptr<Schematic> s = schematic_new("t.sch", 1767603600);
  Connectivity c;
  std::string map;
  const SymbolRecord* res = nullptr;   // pins at (-32, 0) and (32, 0), lines to +-16
  const SymbolRecord* gnd = nullptr;   // pin at (0, 0), line down to (0, 8)
  const SymbolRecord* rail = nullptr;  // pin at (0, 0)
  const SymbolRecord* io = nullptr;    // pin at (0, 0)
  int references = 0;

  const SymbolRecord* add_symbol(const char* name, int kind, std::vector<SymbolPin> pins) {
    return testing_support::add_test_symbol(*s, name, kind, {-32, -8, 32, 16}, std::move(pins));
  }
  Sheet() {
    res = add_symbol("R", kSymbolPart,
                     {SymbolPin{2, -32, 0, -16, -1, {}, {}}, SymbolPin{4, 32, 0, 16, -1, {}, {}}});
    gnd = add_symbol("GND", kSymbolGround, {SymbolPin{1, 0, 0, 8, -1, {}, {}}});
    rail = add_symbol("VCC", kSymbolPowerRail, {SymbolPin{3, 0, 0, -8, -1, {}, {}}});
    io = add_symbol("IO", kSymbolIoPin, {SymbolPin{2, 0, 0, 8, -1, {}, {}}});
    c.map_text = [this](const std::string& t) { map += t; };
  }
  Page& page() { return s->page(); }
  PartRecord* part(const SymbolRecord* sym, int x, int y) {
    PartRecord* p = part_place(*s, sym, x, y);
    if (sym->kind == kSymbolPart) p->reference.assign("R" + std::to_string(++references));
    return p;
  }
  WireRecord* wire(int x1, int y1, int x2, int y2) { return wire_add(*s, x1, y1, x2, y2); }
  LabelRecord* label(const char* name, int x, int y, int width = 16) {
    LabelRecord* l = label_new(*s);
    l->name.assign(name);
    l->x = x;
    l->y = y;
    l->width = width;
    return l;
  }
  int run(int mode = 0) {
    s->page().top()->dirty = 1;
    return build_connectivity(*s, c, mode, notify);
  }
  const NodeTable& table() { return *c.table(page().top()); }
  std::string name_of(int node) { return node_name(table(), node); }
  std::string wire_name(const WireRecord* w) { return name_of(w->node); }
  std::string pin_name(const PartRecord* p, int k) { return name_of(part_pin_node(*p, k)); }
};

TEST(WiresConnected, EachKindInItsOrder) {
  Sheet t;
  const Page& pg = t.page();
  const BlockRecord* top = pg.top();
  WireRecord* h = t.wire(0, 40, 80, 40);
  WireRecord* v = t.wire(40, 0, 40, 80);
  EXPECT_EQ(wires_connected(*h, *v, pg, top), kNotConnected);  // a plain crossing
  EXPECT_EQ(wires_connected(*h, *t.wire(80, 40, 80, 90), pg, top), kConnectEnds);
  EXPECT_EQ(wires_connected(*h, *t.wire(80, 40, 120, 40), pg, top), kConnectEnds);
  EXPECT_EQ(wires_connected(*h, *t.wire(60, 40, 120, 40), pg, top), kConnectInLine);
  EXPECT_EQ(wires_connected(*h, *t.wire(0, 48, 80, 48), pg, top), kNotConnected);  // parallel
  WireRecord* tee = t.wire(16, 40, 16, 90);
  EXPECT_EQ(wires_connected(*tee, *h, pg, top), kConnectEndInterior);
  EXPECT_EQ(wires_connected(*h, *tee, pg, top), kConnectOtherEnd);
  t.s->page().junctions.clear();
  junction_add(*t.s, 40, 40);
  EXPECT_EQ(wires_connected(*h, *v, pg, top), kConnectDot);
  EXPECT_EQ(wires_connected(*h, *t.wire(41, 0, 41, 80), pg, top), kNotConnected);  // dot off the crossing
  LabelRecord* l = t.label("X", 0, 0);
  WireRecord* far1 = t.wire(300, 300, 320, 300);
  WireRecord* far2 = t.wire(400, 400, 400, 420);
  EXPECT_EQ(wires_connected(*far1, *far2, pg, top), kNotConnected);
  far1->label = far2->label = l;
  EXPECT_EQ(wires_connected(*far1, *far2, pg, top), kConnectSameLabel);
}

TEST(Joining, CrossingsNeedADotAndTeesDoNot) {
  Sheet t;
  t.part(t.res, 400, 400);
  WireRecord* h = t.wire(0, 40, 80, 40);
  WireRecord* v = t.wire(40, 0, 40, 80);
  WireRecord* tee = t.wire(80, 40, 80, 0);    // ends on h's end
  WireRecord* mid = t.wire(16, 40, 16, 100);  // ends on h's middle
  ASSERT_EQ(t.run(), 2);
  EXPECT_NE(h->node, v->node);
  EXPECT_EQ(h->node, tee->node);
  EXPECT_EQ(h->node, mid->node);

  junction_add(*t.s, 40, 40);
  ASSERT_EQ(t.run(), 2);
  EXPECT_EQ(h->node, v->node);
  // Freed entries are squeezed out: wire nodes run 1..n.
  EXPECT_EQ(h->node, 1);
}

TEST(Joining, GroundAnywhereAlongAWireAndPinsTouchingPins) {
  Sheet t;
  WireRecord* g = t.wire(0, 96, 200, 96);
  WireRecord* joined = t.wire(200, 96, 200, 200);
  t.part(t.gnd, 96, 96);
  PartRecord* r1 = t.part(t.res, 232, 200);  // left pin on the end of `joined`
  PartRecord* r2 = t.part(t.res, 296, 200);  // left pin on r1's right pin, no wire
  PartRecord* r3 = t.part(t.res, 504, 504);  // touches nothing
  t.part(t.gnd, 536, 504);                   // except a ground on its right pin
  ASSERT_EQ(t.run(), 2);
  EXPECT_EQ(g->node, 0);
  EXPECT_EQ(joined->node, 0);
  EXPECT_EQ(t.wire_name(joined), "0");
  EXPECT_EQ(part_pin_node(*r1, 0), 0);
  EXPECT_EQ(part_pin_node(*r1, 1), part_pin_node(*r2, 0));
  EXPECT_GT(part_pin_node(*r1, 1), 0);
  const NodeEntry& shared = t.table().entries[part_pin_node(*r1, 1)];
  EXPECT_EQ(shared.connections, 2);
  EXPECT_EQ(shared.pins, 2);
  EXPECT_EQ(part_pin_node(*r3, 1), 0);
  EXPECT_EQ(t.table().entries[0].connections, 4);  // two wires, two pins
  EXPECT_EQ(t.table().entries[0].pins, 2);
}

TEST(Labels, NearestWireUnlabelledFirstAndConflictsReported) {
  Sheet t;
  t.part(t.res, 400, 400);
  WireRecord* near = t.wire(0, 0, 80, 0);
  WireRecord* other = t.wire(0, 16, 80, 16);
  t.label("A", 10, -2);
  t.label("B", 10, -2);  // the nearer wire is taken: the other one gets it
  t.label("C", 10, -2);  // both taken: the nearer one keeps its label
  EXPECT_EQ(t.run(1), -1);
  EXPECT_EQ(near->label->name.str(), "A");
  EXPECT_EQ(other->label->name.str(), "B");
  EXPECT_EQ(t.wire_name(near), "A");
  EXPECT_EQ(t.wire_name(other), "B");
  EXPECT_NE(t.map.find("ERROR: conflicting label C - assigned to wire A\n\n"), std::string::npos);
  EXPECT_TRUE(t.notify.saw("1 bad pin/wire labels found - see MAP file"));
}

TEST(Labels, TwoLabelsOnOneNodeAndALabelWithNoTarget) {
  Sheet t;
  t.part(t.res, 400, 400);
  WireRecord* a = t.wire(0, 0, 80, 0);
  WireRecord* b = t.wire(80, 0, 160, 0);
  t.label("B", 120, -2);  // listed first, but on the later wire
  t.label("A", 8, -2);
  t.label("LOST", 1000, 1000);
  EXPECT_EQ(t.run(1), -1);
  EXPECT_EQ(a->node, b->node);
  EXPECT_EQ(t.wire_name(a), "A");
  EXPECT_NE(t.map.find("ERROR: conflicting wire label B assigned to node A\n\n"), std::string::npos);
  EXPECT_NE(t.map.find("ERROR: label LOST not assigned to any wire or pin\n"), std::string::npos);
  EXPECT_TRUE(t.notify.saw("Label LOST is not assigned"));
  EXPECT_TRUE(t.notify.saw("2 bad pin/wire labels found - see MAP file"));
  EXPECT_EQ(t.c.bad_labels, 2);
}

TEST(Labels, PinLabelsNameNodesAndGroundKeepsItsName) {
  Sheet t;
  PartRecord* r = t.part(t.res, 64, 64);   // pins at (32, 64) and (96, 64)
  t.label("IN", 40, 60);                   // near the left pin only, no wire around
  PartRecord* g = t.part(t.res, 64, 300);  // left pin on a ground
  t.part(t.gnd, 32, 300);
  t.label("VX", 40, 296);
  EXPECT_EQ(t.run(1), 2);
  EXPECT_EQ(t.pin_name(r, 0), "IN");
  EXPECT_EQ(t.pin_name(g, 0), "0");
  EXPECT_TRUE(t.notify.saw("Part R2 pin# 1 pin label: VX assigned to ground node"));
  // Only the unlabelled far pins are open.
  EXPECT_EQ(t.c.open_pins, 2);
  EXPECT_NE(t.map.find("WARNING: pin R1(2) node name 1 open\n\n"), std::string::npos);
  EXPECT_EQ(t.map.find("node name IN open"), std::string::npos);
  EXPECT_TRUE(t.notify.saw("2 open pins - see MAP file"));

  // A pin on a wire is never nearer than the wire through its tip: the wire wins.
  Sheet u;
  PartRecord* p = u.part(u.res, 64, 64);
  WireRecord* w = u.wire(32, 64, 32, 200);
  u.label("P", 40, 60, 8);
  EXPECT_EQ(u.run(), 2);
  EXPECT_EQ(p->pin_nodes[0].label, nullptr);
  ASSERT_NE(w->label, nullptr);
  EXPECT_EQ(u.pin_name(p, 0), "P");
}

TEST(Labels, PlacingOneLabelWarnsOrAsksInsteadOfReporting) {
  Sheet t;
  PartRecord* r = t.part(t.res, 64, 64);
  WireRecord* w = t.wire(200, 0, 300, 0);
  LabelRecord* a = t.label("A", 210, -2);
  EXPECT_EQ(label_attach(*t.s, *a, t.notify), 1);
  EXPECT_EQ(w->label, a);
  LabelRecord* b = t.label("B", 210, -2);
  EXPECT_EQ(label_attach(*t.s, *b, t.notify), 0);
  EXPECT_EQ(t.notify.last(), "Label A already assigned to this wire");
  EXPECT_EQ(w->label, a);

  LabelRecord* in = t.label("IN", 40, 60);
  EXPECT_EQ(label_attach(*t.s, *in, t.notify), 1);
  EXPECT_EQ(r->pin_nodes[0].label, in);
  LabelRecord* in2 = t.label("IN2", 40, 60);
  t.notify.answer(0);
  EXPECT_EQ(label_attach(*t.s, *in2, t.notify), 0);
  EXPECT_EQ(t.notify.last(), "Label IN already assigned to this pin.\nReplace label?");
  EXPECT_EQ(r->pin_nodes[0].label, in);
  t.notify.answer(1);
  EXPECT_EQ(label_attach(*t.s, *in2, t.notify), 1);
  EXPECT_EQ(r->pin_nodes[0].label, in2);
  EXPECT_EQ(label_attach(*t.s, *t.label("X", 2000, 2000), t.notify), 0);
  EXPECT_EQ(t.notify.last(), "Label X is not assigned");
}

// The edges of a label's reach, for placing one label and for the indexed pass
// alike: a wire's box reaches the label's width and four grid steps (three
// beside a vertical wire) to the left, four steps right and above and below; a
// pin is reached within three steps around the label.
TEST(Labels, PlacingAndThePassReachTheSameBoxes) {
  struct Case {
    int x1, y1, x2, y2;  // the wire
    int lx, ly;          // the label, 16 wide
    bool found;
  };
  const Case cases[] = {
      {0, 0, 80, 0, 112, 0, true},   {0, 0, 80, 0, 113, 0, false}, {0, 0, 80, 0, -48, 0, true},
      {0, 0, 80, 0, -49, 0, false},  {0, 0, 80, 0, 40, 32, true},  {0, 0, 80, 0, 40, -33, false},
      {0, 0, 0, 80, 24, 40, true},   {0, 0, 0, 80, 25, 40, false}, {0, 0, 0, 80, -40, 40, true},
      {0, 0, 0, 80, -41, 40, false}, {0, 0, 0, 80, 0, 112, true},  {0, 0, 0, 80, 0, 113, false},
  };
  for (const Case& k : cases) {
    Sheet placed;
    placed.part(placed.res, 1000, 1000);
    WireRecord* w = placed.wire(k.x1, k.y1, k.x2, k.y2);
    LabelRecord* l = placed.label("N", k.lx, k.ly);
    EXPECT_EQ(label_attach(*placed.s, *l, placed.notify), k.found ? 1 : 0) << k.lx << "," << k.ly;
    Sheet passed;
    passed.part(passed.res, 1000, 1000);
    WireRecord* pw = passed.wire(k.x1, k.y1, k.x2, k.y2);
    passed.label("N", k.lx, k.ly);
    passed.run(1);
    EXPECT_EQ(passed.wire_name(pw) == "N", k.found) << k.lx << "," << k.ly;
    EXPECT_EQ(w->label == l, k.found);
  }
  // Pins of a part at (64, 64): tips at (32, 64) and (96, 64).
  for (const auto& [lx, ly, found] : {std::tuple{8, 88, true}, std::tuple{8, 89, false},
                                      std::tuple{-8, 64, true}, std::tuple{-9, 64, false}}) {
    Sheet placed;
    PartRecord* r = placed.part(placed.res, 64, 64);
    LabelRecord* l = placed.label("IN", lx, ly);
    EXPECT_EQ(label_attach(*placed.s, *l, placed.notify), found ? 1 : 0) << lx << "," << ly;
    EXPECT_EQ(r->pin_nodes[0].label == l, found);
    Sheet passed;
    PartRecord* pr = passed.part(passed.res, 64, 64);
    passed.label("IN", lx, ly);
    passed.run(1);
    EXPECT_EQ(passed.pin_name(pr, 0) == "IN", found) << lx << "," << ly;
  }
}

TEST(Labels, RailsAndIoPinsNameTheirNodes) {
  Sheet t;
  PartRecord* r = t.part(t.res, 64, 64);
  PartRecord* vcc = t.part(t.rail, 32, 64);
  vcc->reference.assign("VCC");
  vcc->value.assign("12");  // the voltage, not the name
  PartRecord* io = t.part(t.io, 96, 64);
  io->reference.assign("OUTP");
  EXPECT_EQ(t.run(), 2);
  EXPECT_EQ(t.pin_name(r, 0), "VCC");
  EXPECT_EQ(t.pin_name(r, 1), "OUTP");
  io->value.assign("OUT");
  EXPECT_EQ(t.run(), 2);
  EXPECT_EQ(t.pin_name(r, 1), "OUT");
}

TEST(Numbering, NumericLabelsRaiseTheNextNumber) {
  Sheet t;
  WireRecord* w = t.wire(0, 0, 80, 0);
  t.label("15", 8, -2);
  PartRecord* r = t.part(t.res, 200, 200);
  t.label("3", 10, 1000);  // unassigned, so it never counts
  EXPECT_EQ(t.run(), -1);
  EXPECT_EQ(t.wire_name(w), "15");
  EXPECT_EQ(t.pin_name(r, 0), "16");
  EXPECT_EQ(t.pin_name(r, 1), "17");
  EXPECT_EQ(t.s->page_table.entries[0].last_node, 18);
}

TEST(Numbering, LaterSheetsStartAboveTheLastNumberOfTheOneBefore) {
  Sheet t;
  t.wire(0, 0, 80, 0);
  t.label("23", 8, -2);
  t.part(t.res, 200, 200);
  t.part(t.res, 200, 264);
  ASSERT_EQ(t.run(), 2);
  ASSERT_EQ(page_add(*t.s, t.notify), 1);
  EXPECT_EQ(t.s->page_table.entries[1].first_node, 30);
  PartRecord* r = t.part(t.res, 64, 64);
  WireRecord* w = t.wire(300, 300, 400, 300);
  ASSERT_EQ(t.run(1), 2);
  EXPECT_EQ(t.pin_name(r, 0), "30");
  EXPECT_EQ(t.pin_name(r, 1), "31");
  EXPECT_EQ(t.wire_name(w), "32");
  EXPECT_NE(t.map.find("WARNING: wire node name 32 is floating\n\n"), std::string::npos);
  EXPECT_EQ(t.c.floating_wires, 1);
  EXPECT_TRUE(t.notify.saw("Sheet 2: 2 open pins - see MAP file"));
  EXPECT_TRUE(t.notify.saw("Sheet 2: 1 floating wires - see MAP file"));
}

TEST(Numbering, CancelAtTheOpenPinQuestionFailsThePass) {
  Sheet t;
  t.part(t.res, 64, 64);
  t.notify.answer(-1);
  EXPECT_EQ(t.run(1), -1);
  EXPECT_EQ(t.run(0), 2);  // no questions without output
}

TEST(Lifecycle, OnlyDirtyScopesAreRebuilt) {
  Sheet t;
  EXPECT_EQ(build_connectivity(*t.s, t.c, 0, t.notify), 0);  // no parts at all
  PartRecord* r = t.part(t.res, 64, 64);
  WireRecord* w = t.wire(96, 64, 200, 64);
  EXPECT_EQ(build_connectivity(*t.s, t.c, 0, t.notify), 2);
  EXPECT_EQ(t.page().top()->dirty, 0);
  EXPECT_EQ(build_connectivity(*t.s, t.c, 0, t.notify), 1);
  t.c.force_rebuild = true;
  EXPECT_EQ(build_connectivity(*t.s, t.c, 0, t.notify), 2);
  EXPECT_FALSE(t.c.force_rebuild);
  EXPECT_EQ(part_pin_node(*r, 1), w->node);

  // A degenerate wire is removed by the pass.
  WireRecord* dot = wire_new(*t.s);
  dot->x1 = dot->x2 = 8;
  dot->y1 = dot->y2 = 8;
  EXPECT_EQ(t.run(), 2);
  EXPECT_EQ(t.page().wires.size(), 1u);

  // A subcircuit block is a scope of its own; without pins it has no table.
  BlockRecord* sub = block_new(*t.s);
  sub->name.assign("AMP");
  t.page().edit_block = sub;
  t.wire(600, 600, 700, 600);
  sub->dirty = 1;
  EXPECT_EQ(build_connectivity(*t.s, t.c, 1, t.notify), 2);
  EXPECT_TRUE(t.notify.saw("Subcircuit AMP contains 1 floating wires"));
  EXPECT_EQ(t.c.table(sub), nullptr);
  PartRecord* inner = t.part(t.res, 664, 600);
  sub->first_node = 100;
  sub->dirty = 1;
  EXPECT_EQ(build_connectivity(*t.s, t.c, 0, t.notify), 2);
  ASSERT_NE(t.c.table(sub), nullptr);
  EXPECT_EQ(node_name(*t.c.table(sub), part_pin_node(*inner, 0)), "100");
  EXPECT_EQ(part_pin_node(*inner, 0), part_pin_node(*inner, 1));  // both pins on the block's wire
}

TEST(Joining, ALargeSheetIsJoinedWithoutPairwiseTests) {
  // A bus of 4000 segments, each with a stub down to a resistor: pairwise tests
  // would take tens of millions of wire comparisons.
  Sheet t;
  constexpr int kStubs = 4000;
  std::vector<PartRecord*> parts;
  for (int i = 0; i < kStubs; ++i) {
    t.wire(i * 128, 0, i * 128 + 128, 0);
    t.wire(i * 128, 0, i * 128, 64);
    parts.push_back(t.part(t.res, i * 128 + 32, 64));  // left pin on the stub's end
  }
  junction_add(*t.s, 0, 0);
  ASSERT_EQ(t.run(), 2);
  const int bus = t.page().wires.front()->node;
  for (const auto& w : t.page().wires) ASSERT_EQ(w->node, bus);
  EXPECT_EQ(t.table().entries[bus].pins, kStubs);
  EXPECT_EQ(t.table().count, kStubs + 2);  // ground, the bus, one open pin each
  EXPECT_EQ(t.pin_name(parts.back(), 1), std::to_string(kStubs + 1));
}

TEST(Display, NamesSitOnTheFirstWireOrElseOnTheFirstPin) {
  Sheet t;
  t.wire(0, 100, 0, 200);  // vertical first wire of node OUT
  t.wire(0, 200, 80, 200);
  t.label("OUT", 8, 204);
  PartRecord* r = t.part(t.res, 112, 200);  // left pin on the wire's end, right pin open
  ASSERT_EQ(t.run(), 2);
  const NodeEntry& out = t.table().entries[t.page().wires[0]->node];
  EXPECT_EQ(out.name.str(), "OUT");
  EXPECT_EQ(out.display_flag, 1);
  EXPECT_EQ(out.display_direction, 1);
  EXPECT_EQ(std::make_pair(out.display_x, out.display_y), std::make_pair(0, 150));
  const NodeEntry& open = t.table().entries[part_pin_node(*r, 1)];
  EXPECT_EQ(open.display_direction, 0);
  EXPECT_EQ(std::make_pair(open.display_x, open.display_y), std::make_pair(144, 200));
}

// --- the indexed pass against the pairwise one ---

// Dense sheets put many records on few grid points; wide ones spread them
// over many cells of the label index.
void random_sheet(Schematic& s, const Sheet& t, std::mt19937& rng, bool wide = false) {
  auto pick = [&](int n) { return static_cast<int>(rng() % n); };
  const int spread = wide ? 40 : 6;
  auto coord = [&] { return pick(spread) * 16; };
  s.page().settings.scale = 1 + pick(2);
  const int wires = pick(wide ? 60 : 14);
  for (int i = 0; i < wires; ++i) {
    const int x = coord(), y = coord(), len = (1 + pick(wide ? 20 : 5)) * 16;
    if (pick(2))
      wire_add(s, x, y, x + len, y);
    else
      wire_add(s, x, y, x, y + len);
  }
  for (int i = pick(wide ? 20 : 7); i > 0; --i) junction_add(s, coord(), coord());
  const int parts = 1 + pick(wide ? 15 : 5);
  const SymbolRecord* kinds[] = {t.res, t.res, t.res, t.gnd, t.rail, t.io};
  for (int i = 0; i < parts; ++i) {
    const SymbolRecord* sym = kinds[pick(6)];
    PartRecord* p = part_place(s, sym, coord(), coord());
    p->reference.assign("P" + std::to_string(i));
    if (pick(3) == 0) p->value.assign(std::to_string(pick(30)));
    for (int k = pick(3); k > 0; --k) p->steps[p->step_count++] = pick(2) ? kStepRotate : kStepMirror;
  }
  const char* names[] = {"A", "B", "7", "12", "OUT"};
  for (int i = pick(wide ? 12 : 4); i > 0; --i) {
    LabelRecord* l = label_new(s);
    l->name.assign(names[pick(5)]);
    l->x = coord() + pick(5);
    l->y = coord() - pick(5);
    l->width = pick(20) == 0 ? 400 + pick(400) : 8 + pick(3) * 8;
  }
}

// One to three sheets, each dense or wide.
void random_schematic(Sheet& t, std::mt19937& rng) {
  const int pages = 1 + static_cast<int>(rng() % 3);
  for (int n = 0; n < pages; ++n) {
    if (n > 0) page_add(*t.s, t.notify);
    random_sheet(*t.s, t, rng, rng() % 2 == 0);
  }
}

struct Outcome {
  int result;
  std::vector<int> wire_nodes;
  std::vector<int> pin_nodes;
  std::vector<int> labels_of_wires;  // index in the page's label list, -1 for none
  std::string map;
  std::vector<std::string> notices;
  bool operator==(const Outcome&) const = default;
};

Outcome run_random(unsigned seed, bool indexed) {
  Sheet t;
  std::mt19937 rng(seed);
  random_schematic(t, rng);
  Outcome o;
  // The map file holds every sheet's node table: names, wire counts and pins.
  o.map = map_file_text(*t.s, t.c, t.notify, &o.result,
                        indexed ? build_connectivity : build_connectivity_reference);
  for (const auto& page : t.s->pages) {
    for (const auto& w : page->wires) {
      o.wire_nodes.push_back(w->node);
      int label = -1;
      for (size_t i = 0; i < page->labels.size(); ++i)
        if (page->labels[i].get() == w->label) label = static_cast<int>(i);
      o.labels_of_wires.push_back(label);
    }
    for (const auto& p : page->parts)
      for (const PinNode& n : p->pin_nodes) o.pin_nodes.push_back(n.node);
  }
  o.notices = t.notify.texts();
  return o;
}

TEST(Differential, IndexedPassMatchesPairwiseTests) {
  for (unsigned seed = 1; seed <= 3000; ++seed) {
    const Outcome fast = run_random(seed, true);
    const Outcome ref = run_random(seed, false);
    ASSERT_EQ(fast.wire_nodes, ref.wire_nodes) << "seed " << seed;
    ASSERT_EQ(fast.pin_nodes, ref.pin_nodes) << "seed " << seed;
    ASSERT_EQ(fast.map, ref.map) << "seed " << seed;
    ASSERT_TRUE(fast == ref) << "seed " << seed;
  }
}

TEST(Differential, EveryWireOfANodeIsReachableThroughConnectedWires) {
  // The joining loop must end with each node one connected group of wires and
  // no connected wires on different nodes.
  for (unsigned seed = 1000; seed < 1100; ++seed) {
    Sheet t;
    std::mt19937 rng(seed);
    random_sheet(*t.s, t, rng);
    build_connectivity(*t.s, t.c, 0, t.notify);
    const auto& ws = t.page().wires;
    for (const auto& a : ws)
      for (const auto& b : ws) {
        if (wires_connected(*a, *b, t.page(), t.page().top())) {
          ASSERT_EQ(a->node, b->node) << "seed " << seed;
        }
      }
  }
}

}  // namespace
}  // namespace zephyrim
