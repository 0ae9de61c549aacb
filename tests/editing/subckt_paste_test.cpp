#include <gtest/gtest.h>

#include "editing/paste_buffer.h"
#include "editing/subckt.h"
#include "schematic/test_symbols.h"

namespace zephyrim {
namespace {

struct Sheet {
  RecordingNotify notify;
  std::unique_ptr<Schematic> s = schematic_new("t.sch", 1767603600);
  ReferenceCounters counters;
  const SymbolRecord* res = nullptr;

  Sheet() {
    res = testing_support::add_test_symbol(*s, "R", kSymbolPart, {-32, -8, 32, 8},
                                           testing_support::two_pins_across(), 0);
    references_recount(*s, counters);
  }
  Page& page() { return s->page(); }
  PartRecord* part(Point p) { return place_part(*s, res, p, counters, false); }
};

TEST(Subcircuits, MadeFromTheSelectionOpenedAndClosed) {
  Sheet t;
  PartRecord* a = t.part({100, 100});
  PartRecord* b = t.part({200, 100});
  EXPECT_EQ(subckt_new(*t.s, "AMP", t.notify), nullptr);
  EXPECT_EQ(t.notify.last(), "No object selected");
  a->selected = 1;
  EXPECT_EQ(subckt_new(*t.s, "1AMP", t.notify), nullptr);
  EXPECT_EQ(t.notify.last(), "Invalid SUBCKT name");
  BlockRecord* amp = subckt_new(*t.s, "AMP", t.notify);
  ASSERT_NE(amp, nullptr);
  EXPECT_EQ(a->owner, amp);
  EXPECT_EQ(b->owner, t.page().top());
  EXPECT_EQ(amp->origin_x, 104 - 32 - 8);                 // placed at the grid point 104
  EXPECT_EQ(subckt_new(*t.s, "AMP", t.notify), nullptr);  // the name is taken

  select_none(t.page());
  EXPECT_EQ(subckt_selected(*t.s, t.notify), nullptr);
  EXPECT_EQ(t.notify.last(), "No SUBCKT selected");
  b->selected = 1;
  EXPECT_EQ(subckt_selected(*t.s, t.notify), nullptr);
  EXPECT_EQ(t.notify.last(), "SUBCKT not selected");
  select_none(t.page());
  a->selected = 1;
  ASSERT_TRUE(subckt_open(*t.s, subckt_selected(*t.s, t.notify)));
  EXPECT_EQ(t.page().edit_block, amp);
  references_recount(*t.s, t.counters);
  PartRecord* inside = t.part({100, 200});
  EXPECT_EQ(inside->owner, amp);
  EXPECT_EQ(inside->reference.str(), "R2");  // R1 is the block's own
  EXPECT_TRUE(subckt_close(*t.s, t.notify));
  EXPECT_EQ(t.page().edit_block, t.page().top());
  EXPECT_EQ(t.page().blocks.size(), 2u);

  // A block left empty is offered for deletion.
  BlockRecord* empty = block_new(*t.s);
  empty->name.assign("NONE");
  subckt_open(*t.s, empty);
  t.notify.answer(1);
  EXPECT_TRUE(subckt_close(*t.s, t.notify));
  EXPECT_EQ(t.notify.last(), "SUBCKT NONE is empty - delete?");
  EXPECT_EQ(t.page().blocks.size(), 2u);
}

TEST(Subcircuits, ParametersAndPinOrder) {
  Sheet t;
  BlockRecord* b = block_new(*t.s);
  b->name.assign("AMP");
  std::vector<SubcktParam> params{{"GAIN", 2.5, "voltage gain"}, {"RIN", 1e6, ""}};
  ASSERT_TRUE(subckt_set_params(*t.s, *b, params, t.notify));
  const auto back = subckt_params(*b);
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[0].name, "GAIN");
  EXPECT_DOUBLE_EQ(back[0].value, 2.5);
  EXPECT_EQ(back[0].comment, "voltage gain");
  EXPECT_EQ(back[1].comment, "");
  EXPECT_FALSE(subckt_set_params(*t.s, *b, std::vector<SubcktParam>(kMaxSubcktParams + 1), t.notify));
  EXPECT_EQ(t.notify.last(), "Exceeds maximum number of allowed parameters");
  EXPECT_EQ(b->pins.size(), 2u);

  const SymbolRecord* io = testing_support::add_test_symbol(*t.s, "PINOUT", kSymbolIoPin, {-8, -8, 8, 8},
                                                            testing_support::one_pin(1, 8), 0);
  t.page().edit_block = b;
  PartRecord* in = t.part({96, 96});
  PartRecord* r = place_part(*t.s, t.res, {200, 96}, t.counters, false);
  PartRecord* a = place_part(*t.s, io, {96, 200}, t.counters, false);
  PartRecord* z = place_part(*t.s, io, {96, 300}, t.counters, false);
  (void)in;
  EXPECT_EQ(subckt_io_pins(*t.s, b), (std::vector<PartRecord*>{a, z}));
  subckt_order_pins(*t.s, b, {z, a});
  EXPECT_EQ(subckt_io_pins(*t.s, b), (std::vector<PartRecord*>{z, a}));
  EXPECT_EQ(t.page().parts[1].get(), r);  // other parts keep their places
  subckt_order_pins(*t.s, b, {z, r});     // not the block's pins: refused
  EXPECT_EQ(subckt_io_pins(*t.s, b), (std::vector<PartRecord*>{z, a}));
}

TEST(Subcircuits, DeletedWholeAfterTheQuestion) {
  Sheet t;
  PartRecord* a = t.part({96, 96});
  PartRecord* b = t.part({296, 96});
  a->selected = 1;
  BlockRecord* amp = subckt_new(*t.s, "AMP", t.notify);
  t.notify.answer(0);
  EXPECT_FALSE(subckt_delete(*t.s, amp, t.notify));
  EXPECT_EQ(t.notify.last(), "Are you sure you want to delete subcircuit AMP?");
  EXPECT_EQ(t.page().blocks.size(), 2u);
  t.notify.answer(1);
  EXPECT_TRUE(subckt_delete(*t.s, amp, t.notify));
  EXPECT_EQ(t.page().blocks.size(), 1u);
  ASSERT_EQ(t.page().parts.size(), 1u);
  EXPECT_EQ(t.page().parts[0].get(), b);
}

TEST(PasteBuffer, CopiesTravelWithTheirSymbolsLabelsAndBlocks) {
  Sheet t;
  PartRecord* r1 = t.part({100, 100});
  LabelRecord* l = label_new(*t.s);
  l->name.assign("in");
  l->width = 16;
  l->x = 64;
  l->y = 100;
  r1->pin_nodes[0].label = l;
  r1->selected = l->selected = 1;
  BlockRecord* amp = subckt_new(*t.s, "AMP", t.notify);
  ASSERT_NE(amp, nullptr);

  PasteBuffer buffer;
  EXPECT_EQ(paste_place(*t.s, buffer, {0, 0}, t.counters, t.notify), 0);
  EXPECT_EQ(t.notify.last(), "Paste buffer empty");
  ASSERT_EQ(paste_copy(*t.s, buffer, t.notify), 2);
  EXPECT_EQ(buffer.blocks.size(), 1u);

  // Into another schematic: the symbol comes along, the block's name is free.
  Sheet other;
  ASSERT_EQ(paste_place(*other.s, buffer, {400, 400}, other.counters, other.notify), 2);
  const PartRecord& copy = *other.page().parts.back();
  EXPECT_EQ(copy.symbol, other.res);  // an identical definition is shared
  EXPECT_EQ(copy.x, 400 + (104 - 64));
  ASSERT_EQ(other.page().blocks.size(), 2u);
  EXPECT_EQ(copy.owner, other.page().blocks[1].get());
  EXPECT_EQ(copy.pin_nodes[0].label, other.page().labels.back().get());
  EXPECT_EQ(copy.selected, 1);

  // Into the same page: the block's name is taken, so a new one is asked for.
  t.notify.reply("AMP2");
  ASSERT_EQ(paste_place(*t.s, buffer, {400, 400}, t.counters, t.notify), 2);
  EXPECT_EQ(t.page().blocks.back()->name.str(), "AMP2");
  EXPECT_EQ(t.page().parts.back()->reference.str(), "R1");  // its own block has no R1 yet

  Sheet doubled;
  doubled.page().settings.scale = 2;
  EXPECT_EQ(paste_place(*doubled.s, buffer, {0, 0}, doubled.counters, doubled.notify), 0);
  EXPECT_EQ(doubled.notify.last(), "Paste object(s) symbol scale, x1, is not compatible");
}

}  // namespace
}  // namespace zephyrim
