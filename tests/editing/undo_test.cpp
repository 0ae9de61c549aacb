#include "editing/undo.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "editing/undo_history.h"

namespace zephyrim {
namespace {

constexpr std::time_t kNow = 1767603600;

// A page with a resistor R1 whose second pin and the wire leaving it carry the
// node label "out", and an empty history.
struct Editor {
  RecordingNotify notify;
  std::unique_ptr<Schematic> s = schematic_new("undo.sch", kNow);
  ReferenceCounters counters;
  UndoHistory undo;
  const SymbolRecord* res = add_symbol("R");
  PartRecord* r1 = nullptr;
  LabelRecord* out = nullptr;

  Editor() {
    references_recount(*s, counters);
    r1 = place(80, 80);
    wire_add(*s, 96, 80, 160, 80);
    out = label_new(*s);
    out->name.assign("out");
    page().wires[0]->label = out;
    r1->pin_nodes[1].label = out;
    undo.clear();  // as after a load
  }

  Page& page() { return s->page(); }

  const SymbolRecord* add_symbol(const std::string& name) {
    auto r = std::make_unique<SymbolRecord>();
    r->name.assign(name);
    r->region = {-16, -8, 16, 8};
    r->pins = {SymbolPin{2, -16, 0, -8, 1, FixedText<8>("A"), {}},
               SymbolPin{4, 16, 0, 8, 2, FixedText<8>("B"), {}}};
    return s->symbols.entries[symtab_add(*s, name, std::move(r), kOriginSchematic, notify)].definition.get();
  }

  // A placement as the editor makes it: the marker first, then the part and its reference.
  PartRecord* place(int x, int y, const SymbolRecord* symbol = nullptr) {
    undo.mark_append(*s, kAppendPart);
    PartRecord* p = part_place(*s, symbol ? symbol : res, x, y);
    reference_assign(*s, *p, counters);
    return p;
  }

  int apply() { return undo.undo(*s, notify, counters); }
};

TEST(UndoAppend, TwoSegmentWireGoesWholeAndSecondUndoFindsBufferEmpty) {
  Editor e;
  e.undo.mark_append(*e.s, kAppendWire);
  wire_add(*e.s, 160, 80, 160, 160);
  wire_add(*e.s, 160, 160, 240, 160);

  EXPECT_EQ(e.apply(), 1);
  ASSERT_EQ(e.page().wires.size(), 1u);
  EXPECT_EQ(e.page().wires[0]->label, e.out);
  EXPECT_TRUE(e.notify.entries().empty());

  EXPECT_EQ(e.apply(), 0);
  EXPECT_EQ(e.notify.texts(), std::vector<std::string>{"Undo buffer empty"});
  EXPECT_EQ(e.page().wires.size(), 1u);
}

TEST(UndoAppend, ReferenceCounterFollowsTheRemovedPart) {
  Editor e;
  EXPECT_EQ(e.place(200, 80)->reference.str(), "R2");
  EXPECT_EQ(e.apply(), 1);
  ASSERT_EQ(e.page().parts.size(), 1u);
  EXPECT_EQ(e.page().parts[0].get(), e.r1);
  EXPECT_EQ(e.place(200, 80)->reference.str(), "R2");
}

TEST(UndoAppend, RemovedLabelOfAnotherPageLeavesNoWireOrPinNamingIt) {
  Editor e;
  e.undo.mark_append(*e.s, kAppendLabel);
  LabelRecord* l = label_new(*e.s);
  e.page().wires[0]->label = l;
  e.r1->pin_nodes[0].label = l;
  ASSERT_EQ(page_add(*e.s, e.notify, kNow), 1);
  label_new(*e.s);  // on page 2, must survive

  EXPECT_EQ(e.apply(), 1);
  EXPECT_EQ(e.s->current_page(), 0);  // undone where it was done
  EXPECT_EQ(e.s->pages[1]->labels.size(), 1u);
  const Page& first = *e.s->pages[0];
  ASSERT_EQ(first.labels.size(), 1u);
  EXPECT_EQ(first.wires[0]->label, nullptr);
  EXPECT_EQ(e.r1->pin_nodes[0].label, nullptr);
  EXPECT_EQ(e.r1->pin_nodes[1].label, e.out);
}

TEST(UndoSnapshot, DeletedPartComesBackWithItsPinLabel) {
  Editor e;
  e.undo.snapshot(*e.s);
  ASSERT_EQ(e.undo.step(0).state, kUndoSnapshot);
  part_delete(*e.s, e.r1);
  label_delete(*e.s, e.out);

  EXPECT_EQ(e.apply(), 1);
  ASSERT_EQ(e.page().parts.size(), 1u);
  ASSERT_EQ(e.page().labels.size(), 1u);
  const PartRecord& p = *e.page().parts[0];
  const LabelRecord* l = e.page().labels[0].get();
  EXPECT_EQ(l->name.str(), "out");
  EXPECT_EQ(p.reference.str(), "R1");
  EXPECT_EQ(p.symbol, e.res);
  EXPECT_EQ(p.owner, e.page().top());
  EXPECT_EQ(p.pin_nodes[0].label, nullptr);
  EXPECT_EQ(p.pin_nodes[1].label, l);
  EXPECT_EQ(e.page().wires[0]->label, l);
}

// Two subcircuit blocks A and B after the top circuit, each holding a part, a
// wire, a junction, a label (on the wire and the part's first pin) and a text.
struct BlockEditor : Editor {
  BlockRecord* a = add_block("A", 1000);
  BlockRecord* b = add_block("B", 2000);

  BlockEditor() { page().edit_block = page().top(); }

  BlockRecord* add_block(const std::string& name, int at) {
    BlockRecord* block = block_new(*s);
    block->name.assign(name);
    page().edit_block = block;
    PartRecord* p = part_place(*s, res, at, at);
    wire_add(*s, at, at + 80, at + 80, at + 80);
    junction_add(*s, at, at + 80);
    LabelRecord* l = label_new(*s);
    page().wires.back()->label = l;
    p->pin_nodes[0].label = l;
    text_new(*s)->text = name;
    return block;
  }

  const BlockRecord* named(const std::string& name) {
    for (const auto& bl : page().blocks)
      if (bl->name.str() == name) return bl.get();
    return nullptr;
  }
};

TEST(UndoSnapshot, ContentsOfASubcircuitBlockComeBackIntoTheirScopes) {
  BlockEditor e;
  e.undo.snapshot(*e.s);
  auto take = [&](auto& list, auto remove) {
    for (size_t i = list.size(); i-- > 0;)
      if (list[i]->owner == e.a) remove(*e.s, list[i].get());
  };
  take(e.page().parts, part_delete);
  take(e.page().wires, wire_delete);
  take(e.page().junctions, junction_delete);
  take(e.page().labels, label_delete);
  take(e.page().texts, text_delete);
  for (const auto& bl : e.page().blocks) bl->dirty = 0;

  EXPECT_EQ(e.apply(), 1);
  Page& pg = e.page();
  const BlockRecord* a = e.named("A");
  const BlockRecord* b = e.named("B");
  ASSERT_EQ(pg.blocks.size(), 3u);
  ASSERT_EQ(pg.parts.size(), 3u);
  ASSERT_EQ(pg.labels.size(), 3u);
  EXPECT_EQ(pg.parts[0]->owner, pg.top());
  EXPECT_EQ(pg.parts[1]->owner, a);
  EXPECT_EQ(pg.parts[2]->owner, b);
  EXPECT_EQ(pg.wires[1]->owner, a);
  EXPECT_EQ(pg.junctions[0]->owner, a);
  EXPECT_EQ(pg.labels[1]->owner, a);
  EXPECT_EQ(pg.texts[0]->owner, a);
  EXPECT_EQ(pg.texts[1]->owner, b);
  EXPECT_EQ(pg.parts[1]->pin_nodes[0].label, pg.labels[1].get());
  EXPECT_EQ(pg.parts[2]->pin_nodes[0].label, pg.labels[2].get());
  EXPECT_EQ(pg.wires[1]->label, pg.labels[1].get());
  EXPECT_EQ(pg.edit_block, pg.top());
  // The connectivity pass must redo the restored scopes.
  EXPECT_EQ(a->dirty, 1);
  EXPECT_EQ(pg.top()->dirty, 1);
}

TEST(UndoSnapshot, EditBlockFollowsItsBlock) {
  BlockEditor e;
  // Deleting an earlier block moves the edit block down the list.
  e.page().edit_block = e.b;
  e.undo.snapshot(*e.s);
  block_delete(*e.s, e.a);
  EXPECT_EQ(e.apply(), 1);
  EXPECT_EQ(e.page().edit_block, e.named("B"));
  EXPECT_EQ(e.page().parts[1]->owner, e.named("A"));

  // A scope opened after the snapshot stays open.
  e.undo.snapshot(*e.s);
  e.page().edit_block = e.page().blocks[1].get();
  EXPECT_EQ(e.apply(), 1);
  EXPECT_EQ(e.page().edit_block, e.named("A"));
}

TEST(UndoSnapshot, PrunedModelLinkIsDroppedAndAKeptOneStays) {
  Editor e;
  e.s->links.push_back(std::make_unique<LibraryLink>());
  e.s->links.push_back(std::make_unique<LibraryLink>());
  LibraryLink* kept = e.s->links[0].get();
  e.r1->model_link = e.s->links[1].get();
  e.place(200, 80)->model_link = kept;
  e.undo.snapshot(*e.s);
  e.page().parts.clear();
  e.s->links.pop_back();

  EXPECT_EQ(e.apply(), 1);
  ASSERT_EQ(e.page().parts.size(), 2u);
  EXPECT_EQ(e.page().parts[0]->model_link, nullptr);
  EXPECT_EQ(e.page().parts[1]->model_link, kept);
}

TEST(UndoFailure, SymbolGoneSinceTheSnapshotLeavesThePageAsItWas) {
  Editor e;
  const SymbolRecord* cap = e.add_symbol("C");
  PartRecord* c1 = e.place(200, 80, cap);
  e.undo.snapshot(*e.s);
  part_delete(*e.s, c1);
  ASSERT_EQ(symtab_delete(*e.s, symtab_index_of(*e.s, cap), e.notify), 1);

  EXPECT_EQ(e.apply(), 0);
  EXPECT_EQ(e.notify.last(), "Cannot complete undo");
  ASSERT_EQ(e.page().parts.size(), 1u);
  EXPECT_EQ(e.page().parts[0].get(), e.r1);
  EXPECT_EQ(e.page().labels[0].get(), e.out);
  // The placement before it can no longer be reached either.
  EXPECT_EQ(e.undo.undo_count(), 0u);
}

TEST(UndoFailure, RecordsOfDeletedOrFailedSnapshotsAreRefused) {
  Editor e;
  ASSERT_EQ(page_add(*e.s, e.notify, kNow), 1);
  e.undo.snapshot(*e.s);
  ASSERT_EQ(page_delete(*e.s, 1, e.notify), 1);
  e.notify.clear();
  EXPECT_EQ(e.apply(), 0);

  UndoRecord failed;
  failed.state = kUndoSnapshotFailed;
  e.undo.record(failed);
  EXPECT_EQ(e.apply(), 0);
  EXPECT_EQ(e.apply(), 0);
  EXPECT_EQ(e.notify.texts(),
            (std::vector<std::string>{"Cannot complete undo", "There was an error saving Undo data",
                                      "Undo buffer empty"}));
}

}  // namespace
}  // namespace zephyrim

namespace zephyrim {
namespace {

TEST(UndoSnapshot, RecordsComeBackBitForBit) {
  Editor e;
  // What a file may hold: bytes after a text's end, odd floats, reserved words.
  e.r1->reference.bytes = {'R', '1', 0, 'o', 'l', 'd', 0, 0, 0, 0, 0, 0, 0, 0, 0, 9};
  e.r1->padding54 = {0x5a, 0};
  e.r1->reserved164 = 0xdeadbeef;
  e.r1->source_specs.resize(13);
  e.r1->source_specs[0].value = -0.0;
  e.r1->source_specs[1].value = std::numeric_limits<double>::quiet_NaN();
  e.r1->source_specs[2].text = std::string("\0\xff", 2);
  e.r1->params[3] = "";
  e.r1->steps = {1, 5, 6, 1, 0, 0, 0, -7};
  e.r1->pin_nodes[0].node = -123456789;
  TextRecord* t = text_new(*e.s);
  t->line_spacing = -0.0f;
  t->reserved36 = {1, 2, 3, 4, 5, 6, 7, 0xff};
  t->text = std::string(600, 'x');
  e.out->name.bytes[20] = 'z';
  WireRecord* w = e.page().wires[0].get();
  w->mark = INT32_MIN;
  w->dx = INT32_MAX;
  const PartRecord r1 = *e.r1;
  const TextRecord t1 = *t;
  const LabelRecord l1 = *e.out;
  const WireRecord w1 = *w;

  e.undo.snapshot(*e.s);
  part_delete(*e.s, e.r1);
  text_delete(*e.s, t);
  label_delete(*e.s, e.out);
  wire_delete(*e.s, w);
  ASSERT_EQ(e.apply(), 1);

  const PartRecord& p = *e.page().parts[0];
  EXPECT_EQ(p.reference.bytes, r1.reference.bytes);
  EXPECT_EQ(p.padding54, r1.padding54);
  EXPECT_EQ(p.reserved164, r1.reserved164);
  EXPECT_TRUE(std::signbit(p.source_specs[0].value));
  EXPECT_TRUE(std::isnan(p.source_specs[1].value));
  EXPECT_EQ(p.source_specs[2].text, r1.source_specs[2].text);
  EXPECT_EQ(p.params, r1.params);
  EXPECT_EQ(p.steps, r1.steps);
  EXPECT_EQ(p.pin_nodes[0].node, -123456789);
  EXPECT_EQ(p.pin_nodes[1].label, e.page().labels[0].get());
  const TextRecord& tt = *e.page().texts[0];
  EXPECT_TRUE(std::signbit(tt.line_spacing));
  EXPECT_EQ(tt.reserved36, t1.reserved36);
  EXPECT_EQ(tt.text, t1.text);
  EXPECT_EQ(e.page().labels[0]->name.bytes, l1.name.bytes);
  EXPECT_EQ(e.page().wires[0]->mark, w1.mark);
  EXPECT_EQ(e.page().wires[0]->dx, w1.dx);
}

}  // namespace
}  // namespace zephyrim
