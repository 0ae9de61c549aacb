#include "schematic/schematic.h"

#include <gtest/gtest.h>

#include "common/notify.h"

namespace zephyrim {
namespace {

std::unique_ptr<SymbolRecord> make_symbol(const std::string& name, Region region, bool rotatable = true,
                                          int pins = 2) {
  auto s = std::make_unique<SymbolRecord>();
  s->name.assign(name);
  s->region = region;
  s->rotatable = rotatable ? 1 : 0;
  for (int i = 0; i < pins; ++i) {
    SymbolPin p;
    p.side = 2 + 2 * i;
    p.x = i == 0 ? -16 : 16;
    s->pins.push_back(p);
  }
  DrawCommand d;
  d.op = 'M';
  s->draws.push_back(d);
  return s;
}

struct Fixture : ::testing::Test {
  RecordingNotify notify;
  std::unique_ptr<Schematic> s = schematic_new("rc.sch", 0);

  const SymbolRecord* add_symbol(const std::string& name, Region r = {-16, -8, 16, 8}, bool rot = true,
                                 int origin = kOriginLibrary) {
    const int i = symtab_add(*s, name, make_symbol(name, r, rot), origin, notify);
    return s->symbols.entries[i].definition.get();
  }
};

TEST(Grid, SnapsTowardZeroAfterHalfStep) {
  EXPECT_EQ(snap_to_grid(4), 8);
  EXPECT_EQ(snap_to_grid(3), 0);
  EXPECT_EQ(snap_to_grid(-5), 0);
  EXPECT_EQ(snap_to_grid(INT32_MAX), INT32_MAX / 8 * 8);  // no grid point beyond: the last one
  EXPECT_EQ(snap_to_grid(INT32_MIN), INT32_MIN);
  EXPECT_EQ(snap_to_grid(-8), -8);  // points on the grid stay put
  EXPECT_EQ(snap_to_grid(-16), -16);
  EXPECT_EQ(snap_to_grid(-13), -8);
  EXPECT_EQ(snap_to_grid(12), 16);
  EXPECT_EQ(snap_to_grid(0), 0);
}

using NewSchematic = Fixture;

TEST_F(NewSchematic, HasOnePageWithTopCircuitAndInitialTitleTexts) {
  ASSERT_EQ(s->page_count(), 1);
  EXPECT_EQ(s->page().blocks.size(), 1u);
  EXPECT_EQ(s->page().edit_block, s->page().top());
  EXPECT_EQ(s->page_table.entries[0].first_node, 1);
  const TitleBlock& t = s->page().title;
  EXPECT_EQ(t.title1.str(), "");
  EXPECT_EQ(t.file.str(), "File: rc.sch");
  EXPECT_EQ(t.page.str(), "Page: 1 of 1");
  EXPECT_EQ(t.number.str(), "No:");
  EXPECT_EQ(t.revision.str(), "Rev: 0");
  EXPECT_EQ(t.drawn_by.str(), "Drawn by:");
  EXPECT_EQ(t.size.str(), "Size: A");
  EXPECT_EQ(t.created.str().rfind("Created: ", 0), 0u);
  EXPECT_EQ(t.created.str().substr(9, 3).size(), 3u);
}

TEST_F(NewSchematic, NewRecordsTakeTheirInitialValues) {
  PartRecord* p = part_new(*s);
  EXPECT_EQ(p->reserved164, 0x3f800000u);  // the float 1.0
  EXPECT_EQ(p->owner, s->page().top());
  EXPECT_EQ(p->color, s->colors.symbol);
  TextRecord* t = text_new(*s);
  EXPECT_FLOAT_EQ(t->line_spacing, 1.35f);
  EXPECT_EQ(t->color2, t->color);
  WireRecord* w = wire_new(*s);
  EXPECT_EQ(w->node, -1);
  EXPECT_EQ(w->color, 9);
  JunctionRecord* j = junction_new(*s);
  EXPECT_EQ(j->box, (Region{-kJunctionRadius, -kJunctionRadius, kJunctionRadius, kJunctionRadius}));
  BlockRecord* b = block_new(*s);
  EXPECT_EQ(b->index, -1);
  EXPECT_EQ(b->first_node, 1);
  EXPECT_EQ(s->page().blocks.size(), 2u);
}

TEST_F(NewSchematic, WiresStoreTheLowerCoordinateFirstAndJunctionsAreNotDoubled) {
  WireRecord* w = wire_add(*s, 80, 40, 16, 40);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->orientation, 1);
  EXPECT_EQ(w->x1, 16);
  EXPECT_EQ(w->x2, 80);
  EXPECT_EQ(w->dx, 64);
  EXPECT_EQ(w->dy, 0);
  WireRecord* v = wire_add(*s, 8, 96, 8, 24);
  EXPECT_EQ(v->orientation, 2);
  EXPECT_EQ(v->y1, 24);
  EXPECT_EQ(v->dy, 72);
  EXPECT_EQ(wire_add(*s, 0, 0, 8, 8), nullptr);
  EXPECT_TRUE(s->modified);
  EXPECT_EQ(s->page().top()->dirty, 1);

  JunctionRecord* a = junction_add(*s, 16, 40);
  EXPECT_EQ(junction_add(*s, 16, 40), a);
  EXPECT_EQ(s->page().junctions.size(), 1u);
}

TEST_F(NewSchematic, DeletingALabelClearsEveryAttachmentToIt) {
  LabelRecord* l = label_new(*s);
  WireRecord* w = wire_add(*s, 0, 8, 64, 8);
  PartRecord* p = part_place(*s, add_symbol("R"), 40, 40);
  w->label = l;
  p->pin_nodes[1].label = l;
  EXPECT_EQ(label_delete(*s, l), 1);
  EXPECT_EQ(w->label, nullptr);
  EXPECT_EQ(p->pin_nodes[1].label, nullptr);
  EXPECT_EQ(label_delete(*s, l), 0);
}

TEST_F(NewSchematic, TheTopCircuitIsNeverDeletedAndABlocksObjectsFallBackToIt) {
  EXPECT_EQ(block_delete(*s, s->page().top()), 0);
  BlockRecord* b = block_new(*s);
  s->page().edit_block = b;
  WireRecord* w = wire_add(*s, 0, 8, 64, 8);
  EXPECT_EQ(w->owner, b);
  EXPECT_EQ(block_delete(*s, b), 1);
  EXPECT_EQ(w->owner, s->page().top());
  EXPECT_EQ(s->page().edit_block, s->page().top());
}

TEST_F(NewSchematic, FindByPositionRefusesMinusOneAndOutOfRange) {
  label_new(*s);
  label_new(*s);
  EXPECT_EQ(label_find(*s, 1), s->page().labels[1].get());
  EXPECT_EQ(label_find(*s, -1), nullptr);
  EXPECT_EQ(label_find(*s, 2), nullptr);
  EXPECT_EQ(block_find(*s, 0), s->page().top());
  EXPECT_EQ(link_find(*s, 0), nullptr);
}

using Attributes = Fixture;

TEST_F(Attributes, ReferenceRefusesBlanksAndMoreThanFifteenCharacters) {
  PartRecord& p = *part_new(*s);
  EXPECT_EQ(part_set_reference(p, "R 1", notify), 0);
  EXPECT_EQ(notify.last(), "Spaces not allowed in part reference names");
  EXPECT_EQ(notify.entries().back().caption, "Zephyrim Schematic - Error");
  EXPECT_EQ(part_set_reference(p, "R123456789012345", notify), 0);  // 16 characters
  EXPECT_EQ(p.reference.str(), "");
  EXPECT_EQ(part_set_reference(p, "R12345678901234", notify), 1);  // 15 fit
  EXPECT_EQ(p.reference.str(), "R12345678901234");
}

TEST_F(Attributes, ValueKeepsThirtyOneCharactersWithANotice) {
  PartRecord& p = *part_new(*s);
  const std::string forty(40, 'v');
  EXPECT_EQ(part_set_value(p, forty, notify), 1);
  EXPECT_EQ(p.value.str(), std::string(31, 'v'));
  EXPECT_EQ(notify.last(), "Value attribute truncated to limit of 31 characters.");
  notify.clear();
  part_set_value(p, "10k", notify);
  EXPECT_TRUE(notify.entries().empty());
}

TEST_F(Attributes, PlacingCopiesTheSymbolsDefaultsAndSnaps) {
  auto sym = make_symbol("R", {-16, -8, 16, 8});
  sym->default_value.assign("1k");
  sym->template_text = "%r %1 %2 %v";
  const int i = symtab_add(*s, "R", std::move(sym), kOriginLibrary, notify);
  PartRecord* p = part_place(*s, s->symbols.entries[i].definition.get(), 37, 43);
  EXPECT_EQ(p->x, 40);
  EXPECT_EQ(p->y, 40);
  EXPECT_EQ(p->value.str(), "1k");
  EXPECT_EQ(p->template_text, "%r %1 %2 %v");
  EXPECT_EQ(p->pin_nodes.size(), 2u);
  EXPECT_EQ(p->pin_nodes[0].node, -1);
  EXPECT_EQ(p->region, (Region{-16, -8, 16, 8}));
}

using Orientation = Fixture;

TEST_F(Orientation, FourRotationsReturnToTheUnrotatedState) {
  PartRecord& p = *part_place(*s, add_symbol("R", {-16, -8, 24, 8}), 80, 80);
  for (int i = 0; i < 3; ++i) ASSERT_EQ(part_orient(*s, p, kStepRotate, notify), 1);
  EXPECT_EQ(p.step_count, 3);
  EXPECT_EQ(part_orient(*s, p, kStepRotate, notify), 1);
  EXPECT_EQ(p.step_count, 0);
  EXPECT_EQ(p.region, (Region{-16, -8, 24, 8}));
}

TEST_F(Orientation, RegionFollowsEachStepAndStaysOrdered) {
  PartRecord& p = *part_place(*s, add_symbol("R", {-16, -8, 24, 4}), 80, 80);
  part_orient(*s, p, kStepRotate, notify);
  EXPECT_EQ(p.region, (Region{-8, -24, 4, 16}));
  part_orient(*s, p, kStepMirror, notify);
  EXPECT_EQ(p.region, (Region{-4, -24, 8, 16}));
  part_orient(*s, p, kStepFlip, notify);
  EXPECT_EQ(p.region, (Region{-4, -16, 8, 24}));
  EXPECT_TRUE(p.region.valid());
}

TEST_F(Orientation, MirrorThenFlipKeepsTwoStepsAndANinthStepClears) {
  PartRecord& p = *part_place(*s, add_symbol("R"), 80, 80);
  part_orient(*s, p, kStepMirror, notify);
  part_orient(*s, p, kStepFlip, notify);
  EXPECT_EQ(p.step_count, 2);
  EXPECT_EQ(p.steps[0], kStepMirror);
  EXPECT_EQ(p.steps[1], kStepFlip);
  for (int i = 0; i < 6; ++i) part_orient(*s, p, i % 2 ? kStepMirror : kStepFlip, notify);
  EXPECT_EQ(p.step_count, 8);
  part_orient(*s, p, kStepMirror, notify);
  EXPECT_EQ(p.step_count, 0);
}

TEST_F(Orientation, PageScaleMultipliesTheRegion) {
  s->page().settings.scale = 2;
  PartRecord& p = *part_place(*s, add_symbol("R", {-16, -8, 16, 8}), 80, 80);
  EXPECT_EQ(p.region, (Region{-32, -16, 32, 16}));
}

TEST_F(Orientation, RotationIsRefusedWhereTheSymbolForbidsIt) {
  PartRecord& p = *part_place(*s, add_symbol("GND", {-8, 0, 8, 16}, false), 80, 80);
  EXPECT_EQ(part_orient(*s, p, kStepRotate, notify), 0);
  EXPECT_EQ(notify.last(), "Rotation not allowed for this part");
  EXPECT_EQ(p.step_count, 0);
  EXPECT_EQ(part_orient(*s, p, kStepMirror, notify), 1);
}

using Pages = Fixture;

TEST_F(Pages, FirstNodeOfANewPageFollowsTheNumberingOfTheLastOne) {
  ASSERT_EQ(page_add(*s, notify, 0), 1);
  EXPECT_EQ(s->page_table.entries[1].first_node, 10);  // page 1 not numbered, first 1
  EXPECT_EQ(s->page_table.entries[1].last_node, -1);
  EXPECT_EQ(s->page_table.entries[1].renumber, 1);
  EXPECT_EQ(s->current_page(), 1);
  EXPECT_EQ(s->page().top()->first_node, 10);
  s->page_table.entries[1].last_node = 23;
  page_add(*s, notify, 0);
  EXPECT_EQ(s->page_table.entries[2].first_node, 30);
  s->page_table.entries[2].last_node = 30;
  page_add(*s, notify, 0);
  EXPECT_EQ(s->page_table.entries[3].first_node, 40);
}

TEST_F(Pages, NewPageCopiesTitleFieldsOfTheCurrentPage) {
  s->page().title.title1.assign("Filter");
  s->page().title.number.assign("No: 7");
  s->page().title.revision.assign("Rev: 3");
  s->page().title.drawn_by.assign("Drawn by: ann");
  s->page().title.title2.assign("second line");
  page_add(*s, notify, 0);
  const TitleBlock& t = s->page().title;
  EXPECT_EQ(t.title1.str(), "Filter");
  EXPECT_EQ(t.number.str(), "No: 7");
  EXPECT_EQ(t.revision.str(), "Rev: 3");
  EXPECT_EQ(t.drawn_by.str(), "Drawn by: ann");
  EXPECT_EQ(t.title2.str(), "");
  EXPECT_EQ(t.page.str(), "Page: 2 of 2");
}

TEST_F(Pages, AHundredPagesAtMost) {
  for (int i = 1; i < kMaxPages; ++i) ASSERT_EQ(page_add(*s, notify, 0), 1);
  EXPECT_EQ(page_add(*s, notify, 0), 0);
  EXPECT_EQ(notify.last(), "Exceeds maximum number of pages");
  EXPECT_EQ(s->page_count(), kMaxPages);
}

TEST_F(Pages, DeleteAsksAndNeverTakesTheFirstPage) {
  page_add(*s, notify, 0);
  page_add(*s, notify, 0);
  EXPECT_EQ(page_delete(*s, 0, notify), 0);
  EXPECT_EQ(notify.last(), "Cannot delete first page");
  notify.answer(0);
  EXPECT_EQ(page_delete(*s, 1, notify), -1);
  EXPECT_EQ(notify.last(), "Are you sure you want to delete page 2?");
  EXPECT_EQ(s->page_count(), 3);
  const int first3 = s->page_table.entries[2].first_node;
  notify.answer(1);
  EXPECT_EQ(page_delete(*s, 1, notify), 1);
  EXPECT_EQ(s->page_count(), 2);
  EXPECT_EQ(s->page_table.entries[1].first_node, first3);
  EXPECT_LT(s->current_page(), s->page_count());
}

TEST_F(Pages, SelectRefusesInvalidNumbers) {
  EXPECT_EQ(page_select(*s, 3, notify), 0);
  EXPECT_EQ(notify.last(), "Cannot open page 4 - invalid page number");
  page_add(*s, notify, 0);
  EXPECT_EQ(page_select(*s, 0, notify), 1);
  EXPECT_EQ(s->current_page(), 0);
  WireRecord* w = wire_add(*s, 0, 8, 16, 8);
  page_select(*s, 1, notify);
  EXPECT_TRUE(s->page().wires.empty());
  page_select(*s, 0, notify);
  EXPECT_EQ(s->page().wires.front().get(), w);
}

TEST_F(Pages, LaterPagesMovePastTheNumbersOfTheirPredecessor) {
  page_add(*s, notify, 0);
  page_add(*s, notify, 0);
  auto& e = s->page_table.entries;
  e[0].last_node = 14;  // page 2 starts at 10: overlaps
  e[1].renumber = 0;
  e[1].last_node = 25;
  e[2].renumber = 0;
  pages_update_first_nodes(*s);
  EXPECT_EQ(e[1].first_node, 20);
  EXPECT_EQ(e[1].renumber, 1);
  EXPECT_EQ(s->pages[1]->top()->first_node, 20);
  EXPECT_EQ(e[2].first_node, 30);  // was 20, not above 25
  EXPECT_EQ(e[2].renumber, 1);
}

TEST(TitleBlockRevision, RaisesTheNumberAndDatesIt) {
  TitleBlock t;
  titleblock_init(t, "a.sch", 1, 1, 0);
  titleblock_revision_update(t, 0);
  EXPECT_EQ(t.revision.str(), "Rev: 1");
  EXPECT_FALSE(t.revised.empty());
  t.revision.assign("REV: -4");
  titleblock_revision_update(t, 0);
  EXPECT_EQ(t.revision.str(), "Rev: 1");
  t.revision.assign("Revision B");
  titleblock_revision_update(t, 0);
  EXPECT_EQ(t.revision.str(), "Revision B");
  t.revision.assign("Rev: 2147483647");
  titleblock_revision_update(t, 0);
  EXPECT_EQ(t.revision.str(), "Rev: 2147483647");
}

TEST(TitleBlockRevision, DatesUseEnglishMonthNames) {
  TitleBlock t;
  std::tm tm{};
  tm.tm_year = 2026 - 1900;
  tm.tm_mon = 11;
  tm.tm_mday = 8;
  tm.tm_hour = 14;
  tm.tm_min = 5;
  tm.tm_isdst = -1;
  const std::time_t when = std::mktime(&tm);
  titleblock_init(t, "a.sch", 1, 1, when);
  EXPECT_EQ(t.created.str(), "Created: 08-Dec-2026");
  titleblock_revision_update(t, when);
  EXPECT_EQ(t.revised.str(), "08-Dec-2026 14:05");
}

}  // namespace
}  // namespace zephyrim
