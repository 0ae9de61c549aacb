#include "schematic/page_check.h"

#include <gtest/gtest.h>

namespace zephyrim {
namespace {

struct PageCheck : ::testing::Test {
  RecordingNotify notify;
  std::unique_ptr<Schematic> s = schematic_new("t.sch", 0);
  const SymbolRecord* sym = nullptr;

  void SetUp() override {
    auto r = std::make_unique<SymbolRecord>();
    r->name.assign("R");
    r->region = {-16, -8, 16, 8};
    r->rotatable = 1;
    r->draws.resize(1);
    const int i = symtab_add(*s, "R", std::move(r), kOriginLibrary, notify);
    sym = s->symbols.entries[i].definition.get();
  }
};

TEST_F(PageCheck, ACleanPageIsLeftAloneAndReportsNothing) {
  part_place(*s, sym, 40, 40);
  wire_add(*s, 0, 8, 64, 8);
  s->modified = false;
  EXPECT_EQ(page_check(*s, notify), 0);
  EXPECT_TRUE(notify.entries().empty());
  EXPECT_FALSE(s->modified);
}

TEST_F(PageCheck, InvalidPartsAreDeletedAndCounted) {
  part_place(*s, sym, 40, 40);
  PartRecord* origin = part_place(*s, sym, 0, 0);  // x and y both <= 0
  (void)origin;
  PartRecord* orphan = part_place(*s, sym, 80, 40);
  orphan->symbol = nullptr;
  PartRecord* corner = part_place(*s, sym, 40, 40);
  corner->x = 3;  // would be aligned onto (0, 0)
  corner->y = -2;
  EXPECT_EQ(page_check(*s, notify), 1);
  EXPECT_EQ(s->page().parts.size(), 1u);
  EXPECT_EQ(notify.last(), "3 invalid parts found and deleted");
  notify.clear();
  EXPECT_EQ(page_check(*s, notify), 0);  // a second check finds nothing more
  EXPECT_TRUE(s->modified);
}

TEST_F(PageCheck, SymbolTableFaultsAskForAReload) {
  auto bad = std::make_unique<SymbolRecord>();
  bad->name.assign("BAD");
  bad->kind = 7;
  symtab_add(*s, "BAD", std::move(bad), kOriginLibrary, notify);
  EXPECT_EQ(page_check(*s, notify), 1);
  EXPECT_EQ(notify.texts(), (std::vector<std::string>{"Symbol BAD: invalid type",
                                                      "Corrupted symbol table detected - reload symbols"}));
  RecordingNotify n;
  SymbolRecord r;
  r.name.assign("X");
  r.region = {0, 0, 8, 8};
  EXPECT_FALSE(symbol_validate(&r, n));
  EXPECT_EQ(n.last(), "Symbol X: plot commands not defined");
  r.draws.resize(1);
  r.rot_pins.emplace();
  EXPECT_FALSE(symbol_validate(&r, n));
  EXPECT_EQ(n.last(), "Symbol X: rotated view plot commands not defined");
  r.rot_draws.resize(1);
  EXPECT_FALSE(symbol_validate(&r, n));
  EXPECT_EQ(n.last(), "Symbol X: invalid rotated view region coordinates");
}

TEST_F(PageCheck, JunctionsRealignAfterOneQuestion) {
  JunctionRecord* a = junction_add(*s, 13, 21);
  JunctionRecord* b = junction_add(*s, 30, 30);
  notify.answer(1);
  page_check(*s, notify);
  EXPECT_EQ(a->x, 16);
  EXPECT_EQ(a->y, 24);
  EXPECT_EQ(b->x, 32);
  EXPECT_EQ(notify.entries().size(), 1u);
  EXPECT_EQ(notify.last(), "Misaligned junction(s) found, realign junction(s)?");

  a->x = 13;
  a->y = 21;
  b->x = 30;
  notify.answer(0);
  page_check(*s, notify);
  EXPECT_EQ(a->x, 13);  // no: it stays, and no further junction is looked at
  EXPECT_EQ(b->x, 30);
}

TEST_F(PageCheck, PartsRealignWithTheirRegionAndWiresSnapTheirStart) {
  PartRecord* p = part_place(*s, sym, 40, 40);
  part_orient(*s, *p, kStepRotate, notify);
  p->x = 43;
  p->region = {};  // a stale region is recomputed with the move
  WireRecord* w = wire_add(*s, 0, 0, 40, 0);
  w->x1 = 3;
  w->y1 = 3;
  notify.clear();
  notify.answer(1);
  page_check(*s, notify);
  EXPECT_EQ(p->x, 40);
  EXPECT_EQ(p->region, (Region{-8, -16, 8, 16}));
  EXPECT_EQ(w->x1, 0);
  EXPECT_EQ(w->y1, 0);
  EXPECT_EQ(w->x2, 40);
  EXPECT_EQ(w->y2, 0);
}

TEST_F(PageCheck, EmptyLabelsAndTextsAreDeletedAndOrphanTextsAdopted) {
  LabelRecord* l = label_new(*s);
  l->width = 0;
  label_new(*s)->width = 24;
  text_new(*s);  // no text
  TextRecord* t = text_new(*s);
  t->text = "note";
  t->owner = nullptr;
  page_check(*s, notify);
  EXPECT_EQ(s->page().labels.size(), 1u);
  EXPECT_EQ(s->page().texts.size(), 1u);
  EXPECT_EQ(t->owner, s->page().top());
  EXPECT_TRUE(notify.saw("1 invalid node labels found and deleted"));
  EXPECT_TRUE(notify.saw("1 NULL text objects found and deleted"));
}

TEST_F(PageCheck, DeletedLabelsLeaveNoWireOrPinPointingAtThem) {
  WireRecord* w = wire_add(*s, 0, 8, 64, 8);
  PartRecord* p = part_place(*s, sym, 40, 40);
  p->pin_nodes.resize(2);
  std::vector<LabelRecord*> bad;
  for (int i = 0; i < 3; ++i) bad.push_back(label_new(*s));  // width 0
  LabelRecord* good = label_new(*s);
  good->width = 16;
  w->label = bad[0];
  p->pin_nodes[0].label = bad[2];
  p->pin_nodes[1].label = good;
  s->page().top()->dirty = 0;
  page_check(*s, notify);
  ASSERT_EQ(s->page().labels.size(), 1u);
  EXPECT_EQ(s->page().labels[0].get(), good);
  EXPECT_EQ(w->label, nullptr);
  EXPECT_EQ(p->pin_nodes[0].label, nullptr);
  EXPECT_EQ(p->pin_nodes[1].label, good);
  EXPECT_EQ(s->page().top()->dirty, 1);  // the nodes of its block are to be worked out again
  EXPECT_TRUE(notify.saw("3 invalid node labels found and deleted"));
}

TEST_F(PageCheck, PartsOfAnotherPageOrOfAForeignSymbolAreInvalid) {
  PartRecord* kept = part_place(*s, sym, 40, 40);
  PartRecord* foreign = part_place(*s, sym, 80, 40);
  SymbolRecord stray = *sym;  // identical, but not the table's own definition
  foreign->symbol = &stray;
  PartRecord* homeless = part_place(*s, sym, 120, 40);
  page_add(*s, notify, 0);
  homeless->owner = s->page().top();  // a block of the new page
  ASSERT_EQ(page_select(*s, 0, notify), 1);
  notify.clear();
  EXPECT_EQ(page_check(*s, notify), 1);
  ASSERT_EQ(s->page().parts.size(), 1u);
  EXPECT_EQ(s->page().parts[0].get(), kept);
  EXPECT_EQ(notify.last(), "2 invalid parts found and deleted");
}

}  // namespace
}  // namespace zephyrim
