#include "editing/find.h"

#include <gtest/gtest.h>

#include "editing/edit_ops.h"
#include "schematic/test_symbols.h"

namespace zephyrim {
namespace {

struct Sheet {
  RecordingNotify notify;
  std::unique_ptr<Schematic> s = schematic_new("t.sch", 1767603600);
  const SymbolRecord* res = nullptr;  // pins at (-32, 0) and (32, 0)

  Sheet() {
    res = testing_support::add_test_symbol(*s, "R", kSymbolPart, {-32, -8, 32, 8},
                                           testing_support::two_pins_across());
  }
  Page& page() { return s->page(); }
  PartRecord* part(const char* ref, int x, int y, const char* value = "") {
    PartRecord* p = part_place(*s, res, x, y);
    p->reference.assign(ref);
    p->value.assign(value);
    return p;
  }
  LabelRecord* label(const char* name, int x, int y) {
    LabelRecord* l = label_new(*s);
    l->name.assign(name);
    l->width = 24;
    l->x = x;
    l->y = y;
    return l;
  }
  TextRecord* text(const char* content, int x, int y) {
    TextRecord* t = text_new(*s);
    t->text = content;
    t->x = x;
    t->y = y;
    return t;
  }
  WireRecord* wire(int x1, int y1, int x2, int y2, int node) {
    WireRecord* w = wire_add(*s, x1, y1, x2, y2);
    w->node = node;
    return w;
  }
  FindResult find(FindKind kind, const std::string& what, bool whole = true, bool all_pages = false) {
    notify.clear();
    FindOptions o;
    o.kind = kind;
    o.what = what;
    o.whole = whole;
    o.all_pages = all_pages;
    return schematic_find(*s, o, notify);
  }
  NoticeKind last_kind() const { return notify.entries().back().kind; }
};

TEST(FindPosition, HundredthsOfUnitsWithOrWithoutThePage) {
  EXPECT_EQ(find_position_text(120, 80), "[ 1.20, 0.80]");
  EXPECT_EQ(find_position_text(1234, -56), "[12.34,-0.56]");
  EXPECT_EQ(find_position_text(5, 0), "[ 0.05, 0.00]");
  // The page comes between x and y, counted from 1.
  EXPECT_EQ(find_position_text(120, 80, 0), "[ 1.20:1, 0.80]");
  EXPECT_EQ(find_position_text(120, 80, 11), "[ 1.20:12, 0.80]");
}

TEST(FindRefused, NothingToFindAndBadNodeNumbersChangeNothing) {
  Sheet t;
  t.part("R1", 120, 80)->selected = 1;
  for (const char* blank : {"", "   "}) {
    const FindResult r = t.find(FindKind::part, blank);
    EXPECT_EQ(r.message, "Nothing to find");
    EXPECT_EQ(t.notify.last(), "Nothing to find");
    EXPECT_EQ(r.count, 0);
  }
  t.wire(0, 0, 80, 0, 1);
  for (const char* bad : {"1.5", "3x"}) {
    SCOPED_TRACE(bad);
    const FindResult r = t.find(FindKind::node, bad);
    EXPECT_EQ(t.notify.last(), "Invalid node number - must be an integer");
    EXPECT_EQ(t.last_kind(), NoticeKind::Error);
    EXPECT_TRUE(r.hits.empty());
  }
  EXPECT_EQ(t.page().parts[0]->selected, 1);
  EXPECT_EQ(t.page().wires[0]->selected, 0);
}

TEST(FindParts, OneSeveralOrNone) {
  Sheet t;
  t.part("R1", 120, 80);
  t.part("R12", 240, 160);
  t.part("C1", 400, 80, "R1");
  t.page().parts[2]->selected = 1;

  // Whole names only, without regard to case; the old selection goes.
  FindResult r = t.find(FindKind::part, " r1 ");
  EXPECT_EQ(r.message, "Part r1 found at [ 1.20, 0.80]");
  EXPECT_EQ(t.last_kind(), NoticeKind::Information);
  ASSERT_EQ(r.count, 1);
  EXPECT_EQ(r.hits[0], (FindHit{0, FindKind::part, 0, -1, 120, 80}));
  EXPECT_EQ(
      (std::array{t.page().parts[0]->selected, t.page().parts[1]->selected, t.page().parts[2]->selected}),
      (std::array{1, 0, 0}));

  r = t.find(FindKind::part, "R1", false);
  EXPECT_EQ(r.message, "2 parts found matching (partial) R1");
  EXPECT_EQ(r.count, 2);
  EXPECT_EQ(selection_count(t.page()), 2);

  EXPECT_EQ(t.find(FindKind::part, "2", false).message, "Part (partial) 2 found at [ 2.40, 1.60]");

  // A failed search names the search and keeps the selection.
  r = t.find(FindKind::part, "Q7");
  EXPECT_EQ(r.message, "Part matching Q7 not found");
  EXPECT_EQ(t.last_kind(), NoticeKind::Warning);
  EXPECT_EQ(r.count, 0);
  EXPECT_EQ(t.page().parts[1]->selected, 1);
  EXPECT_EQ(t.find(FindKind::part, "Q", false).message, "Part matching (partial) Q not found");
}

TEST(FindParts, ValuesOnlyWhenAsked) {
  Sheet t;
  t.part("R1", 120, 80, "10k");
  t.part("R2", 240, 80, "10K");
  FindOptions o;
  o.what = "10k";
  EXPECT_EQ(schematic_find(*t.s, o, t.notify).count, 0);
  o.part_values = true;
  const FindResult r = schematic_find(*t.s, o, t.notify);
  EXPECT_EQ(r.message, "2 parts found matching 10k");
}

TEST(FindLabels, Families) {
  Sheet t;
  t.label("OUT", 160, 40);
  t.label("OUT", 320, 40);  // one node may be labelled in several places
  t.label("IN", 16, 40);
  FindResult r = t.find(FindKind::label, "out");
  EXPECT_EQ(r.message, "2 labels found matching out");
  EXPECT_EQ(selection_count(t.page()), 2);
  EXPECT_EQ(t.page().labels[2]->selected, 0);
  r = t.find(FindKind::label, "IN");
  EXPECT_EQ(r.message, "Label IN found at [ 0.16, 0.40]");
  EXPECT_EQ(t.find(FindKind::label, "VCC").message, "Label matching VCC not found");
  EXPECT_EQ(t.find(FindKind::label, "n", false).message, "Label (partial) n found at [ 0.16, 0.40]");
}

TEST(FindTexts, AnyPartOfTheContent) {
  Sheet t;
  t.text("Low-pass filter\nfc = 1 kHz", 80, 400);
  t.text("Filter bank", 80, 480);
  // Whole or not, a text matches where the words occur.
  FindResult r = t.find(FindKind::text, "1 khz");
  EXPECT_EQ(r.message, "Text object '1 khz' found at [ 0.80, 4.00]");
  EXPECT_EQ(t.page().texts[0]->selected, 1);
  r = t.find(FindKind::text, "FILTER", false);
  EXPECT_EQ(r.message, "2 text objects found matching 'FILTER'");
  r = t.find(FindKind::text, "band-pass");
  EXPECT_EQ(r.message, "Text object matching 'band-pass' not found");
  EXPECT_EQ(t.last_kind(), NoticeKind::Warning);
}

TEST(FindSubcircuits, SelectsTheWholeBlock) {
  Sheet t;
  t.part("R1", 120, 80);
  BlockRecord* amp = block_new(*t.s);
  amp->name.assign("AMP");
  amp->origin_x = 312;
  amp->origin_y = 200;
  PartRecord* inner = t.part("R2", 320, 208);
  inner->owner = amp;
  t.wire(352, 208, 400, 208, 3)->owner = amp;
  BlockRecord* amp2 = block_new(*t.s);
  amp2->name.assign("AMP2");

  FindResult r = t.find(FindKind::subcircuit, "amp");
  EXPECT_EQ(r.message, "Subcircuit amp found at [ 3.12, 2.00]");
  EXPECT_EQ(r.hits[0].index, 1);
  EXPECT_EQ(inner->selected, 1);
  EXPECT_EQ(t.page().wires[0]->selected, 1);
  EXPECT_EQ(t.page().parts[0]->selected, 0);  // the top circuit's part stays out

  EXPECT_EQ(t.find(FindKind::subcircuit, "AMP", false).message, "2 subcircuits found matching (partial) AMP");
  EXPECT_EQ(t.find(FindKind::subcircuit, "FILT").message, "Subcircuit matching FILT not found");
}

TEST(FindNodes, OneHitPerScopeAtItsFirstWire) {
  Sheet t;
  t.wire(80, 40, 160, 40, 2);
  t.wire(0, 0, 80, 0, 1);
  t.wire(160, 40, 160, 120, 2);
  FindResult r = t.find(FindKind::node, "2");
  EXPECT_EQ(r.message, "Node 2 found at [ 0.80, 0.40]");
  EXPECT_EQ(r.hits[0], (FindHit{0, FindKind::node, 0, -1, 80, 40}));
  EXPECT_EQ(
      (std::array{t.page().wires[0]->selected, t.page().wires[1]->selected, t.page().wires[2]->selected}),
      (std::array{1, 0, 1}));

  // A block numbers its nodes by itself: its node 2 is another node.
  BlockRecord* b = block_new(*t.s);
  b->name.assign("SUB");
  t.wire(400, 400, 480, 400, 2)->owner = b;
  r = t.find(FindKind::node, "2");
  EXPECT_EQ(r.message, "2 nodes found matching 2");
  EXPECT_EQ(selection_count(t.page()), 3);

  EXPECT_EQ(t.find(FindKind::node, "7").message, "Node matching 7 not found");
  // -1 marks what the connectivity pass has not reached: never a node.
  t.wire(0, 200, 80, 200, -1);
  EXPECT_EQ(t.find(FindKind::node, "-1").message, "Node matching -1 not found");
  // The match mode has no say over numbers.
  EXPECT_EQ(t.find(FindKind::node, "1", false).message, "Node 1 found at [ 0.00, 0.00]");
}

TEST(FindNodes, ANodeOfPinsOnlyIsFoundAtItsPin) {
  Sheet t;
  PartRecord* a = t.part("R1", 120, 80);
  PartRecord* b = t.part("R2", 184, 80);  // pin to pin, no wire
  a->pin_nodes[1].node = 4;
  b->pin_nodes[0].node = 4;
  b->pin_nodes[1].node = 5;
  FindResult r = t.find(FindKind::node, "4");
  EXPECT_EQ(r.message, "Node 4 found at [ 1.52, 0.80]");
  EXPECT_EQ(r.hits[0], (FindHit{0, FindKind::node, 0, 1, 152, 80}));
  // The pin is where the part's orientation puts it: (32, 0) rotated is (0, -32).
  part_orient(*t.s, *b, kStepRotate, t.notify);
  EXPECT_EQ(t.find(FindKind::node, "5").message, "Node 5 found at [ 1.84, 0.48]");
  // With a wire, the wire shows the node.
  t.wire(152, 80, 152, 160, 4);
  r = t.find(FindKind::node, "4");
  EXPECT_EQ(r.count, 1);
  EXPECT_EQ(r.hits[0].pin, -1);
  EXPECT_EQ(r.hits[0].y, 80);
  EXPECT_EQ(t.page().wires[0]->selected, 1);
}

TEST(FindAllPages, CurrentPageFirstAndThePageInThePosition) {
  Sheet t;
  t.part("R1", 120, 80);
  t.part("C5", 56, 80);
  ASSERT_EQ(page_add(*t.s, t.notify, 1767603600), 1);
  t.part("R1", 240, 160);
  t.part("R2", 320, 160);
  t.label("OUT", 400, 40);
  ASSERT_EQ(page_select(*t.s, 0, t.notify), 1);

  // Page 2 is left alone unless asked.
  EXPECT_EQ(t.find(FindKind::part, "R2").message, "Part matching R2 not found");
  t.page().parts[0]->selected = 1;
  FindResult r = t.find(FindKind::part, "R2", true, true);
  EXPECT_EQ(r.message, "Part R2 found at [ 3.20:2, 1.60]");
  EXPECT_EQ(r.hits[0].page, 1);
  // Hits on another page are not selected there, and this page's selection goes.
  EXPECT_EQ(t.s->pages[1]->parts[1]->selected, 0);
  EXPECT_EQ(t.s->pages[0]->parts[0]->selected, 0);
  // Even a hit on this page shows its page when all pages were searched.
  EXPECT_EQ(t.find(FindKind::part, "C5", true, true).message, "Part C5 found at [ 0.56:1, 0.80]");
  EXPECT_EQ(t.find(FindKind::label, "OUT", true, true).message, "Label OUT found at [ 4.00:2, 0.40]");

  ASSERT_EQ(page_select(*t.s, 1, t.notify), 1);
  r = t.find(FindKind::part, "R1", true, true);
  EXPECT_EQ(r.message, "2 parts found matching R1");
  ASSERT_EQ(r.count, 2);
  EXPECT_EQ(r.hits[0].page, 1);  // the current page's hit first, for the editor to scroll to
  EXPECT_EQ(r.hits[1].page, 0);
  EXPECT_EQ(t.s->pages[1]->parts[0]->selected, 1);
  EXPECT_EQ(t.s->pages[0]->parts[0]->selected, 0);
}

}  // namespace
}  // namespace zephyrim
