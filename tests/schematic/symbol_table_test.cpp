#include <gtest/gtest.h>

#include "common/notify.h"
#include "schematic/schematic.h"

namespace zephyrim {
namespace {

std::unique_ptr<SymbolRecord> symbol(const std::string& name, int x2 = 16) {
  auto s = std::make_unique<SymbolRecord>();
  s->name.assign(name);
  s->region = {-16, -8, x2, 8};
  s->rotatable = 1;
  s->pins.resize(2);
  return s;
}

struct SymbolTableTest : ::testing::Test {
  RecordingNotify notify;
  std::unique_ptr<Schematic> s = schematic_new("t.sch", 0);

  const SymbolRecord* add(const std::string& name, int origin, int x2 = 16) {
    const int i = symtab_add(*s, name, symbol(name, x2), origin, notify);
    return s->symbols.entries[i].definition.get();
  }
  int count() const { return static_cast<int>(s->symbols.entries.size()); }
};

TEST_F(SymbolTableTest, CreateSizesTheTableAndRefusesMoreThanAThousand) {
  EXPECT_EQ(symtab_create(*s, 1001, notify), 0);
  EXPECT_EQ(notify.last(), "Symbol count in use 1001 - exceeds limit");
  EXPECT_EQ(symtab_create(*s, 200, notify), 1);
  EXPECT_EQ(s->symbols.capacity, 216);
  EXPECT_EQ(symtab_create(*s, 100, notify), 1);
  EXPECT_EQ(s->symbols.capacity, 128);
  EXPECT_EQ(symtab_create(*s, 1000, notify), 1);
  EXPECT_EQ(s->symbols.capacity, 1016);
}

TEST_F(SymbolTableTest, AddGrowsBySixteenAndMarksSchematicSymbolsInUse) {
  symtab_create(*s, 0, notify);
  for (int i = 0; i < 128; ++i) add("S" + std::to_string(i), kOriginLibrary);
  EXPECT_EQ(s->symbols.capacity, 128);
  add("X", kOriginSchematic);
  EXPECT_EQ(s->symbols.capacity, 144);
  EXPECT_EQ(s->symbols.entries.back().in_use, 1);
  EXPECT_EQ(s->symbols.entries.front().in_use, 0);
  EXPECT_EQ(s->symbols.entries.back().page, 0);
}

TEST_F(SymbolTableTest, MarkInUseCountsPartsOnEveryPageAndKeepsBlockSymbols) {
  const SymbolRecord* r = add("R", kOriginLibrary);
  const SymbolRecord* c = add("C", kOriginLibrary);
  const SymbolRecord* blk = add("AMP", kOriginBlock);
  const SymbolRecord* old = add("OLD", kOriginBlock);
  page_add(*s, notify, 0);
  part_place(*s, r, 40, 40);
  block_new(*s)->symbol = blk;
  symtab_mark_in_use(*s);
  const auto& e = s->symbols.entries;
  EXPECT_EQ(e[0].in_use, 1);
  EXPECT_EQ(e[1].in_use, 0);
  EXPECT_EQ(e[2].in_use, 1);
  EXPECT_EQ(e[2].origin, kOriginBlock);
  EXPECT_EQ(e[3].in_use, 0);
  EXPECT_EQ(e[3].origin, kOriginSchematic);  // no block uses it any more
  (void)c;
  (void)old;
}

TEST_F(SymbolTableTest, PurgeFreesUnusedSchematicSymbolsOnly) {
  add("UNUSED0", kOriginSchematic);
  add("UNUSED1", kOriginLibrary);
  add("GEN", kOriginGenerated);
  const SymbolRecord* used = add("R", kOriginSchematic);
  part_place(*s, used, 40, 40);
  symtab_purge(*s);
  ASSERT_EQ(count(), 3);
  EXPECT_EQ(s->symbols.entries[0].name.str(), "UNUSED1");
  EXPECT_EQ(s->symbols.entries[1].name.str(), "GEN");
  EXPECT_EQ(s->symbols.entries[2].definition.get(), used);
}

TEST_F(SymbolTableTest, PurgeMergesIdenticalDefinitionsIntoOne) {
  const SymbolRecord* lib = add("R", kOriginLibrary);
  const SymbolRecord* copy = add("R", kOriginSchematic);
  PartRecord* a = part_place(*s, lib, 40, 40);
  PartRecord* b = part_place(*s, copy, 80, 40);
  symtab_purge(*s);
  ASSERT_EQ(count(), 1);
  EXPECT_EQ(a->symbol, lib);
  EXPECT_EQ(b->symbol, lib);
}

TEST_F(SymbolTableTest, PurgeMovesTheSurvivorIntoTheEarlierSlot) {
  const SymbolRecord* copy = add("R", kOriginSchematic);
  add("C", kOriginLibrary, 24);
  const SymbolRecord* lib = add("R", kOriginLibrary);
  PartRecord* a = part_place(*s, copy, 40, 40);
  symtab_purge(*s);
  ASSERT_EQ(count(), 2);
  EXPECT_EQ(s->symbols.entries[0].definition.get(), lib);
  EXPECT_EQ(s->symbols.entries[0].origin, kOriginLibrary);
  EXPECT_EQ(s->symbols.entries[1].name.str(), "C");
  EXPECT_EQ(a->symbol, lib);
}

TEST_F(SymbolTableTest, PurgeNeverFreesADefinitionABlockStillNames) {
  const SymbolRecord* def = add("AMP", kOriginSchematic);
  s->page().blocks.front()->symbol = def;
  symtab_purge(*s);
  ASSERT_EQ(count(), 1);
  EXPECT_TRUE(symtab_check(*s, def, notify));
}

TEST_F(SymbolTableTest, DeleteRefusesSymbolsInUse) {
  const SymbolRecord* r = add("R", kOriginLibrary);
  add("C", kOriginLibrary);
  part_place(*s, r, 40, 40);
  EXPECT_EQ(symtab_delete(*s, 0, notify), 0);
  EXPECT_EQ(notify.last(), "Symbol is in use - cannot be deleted");
  EXPECT_EQ(symtab_delete(*s, 1, notify), 1);
  EXPECT_EQ(count(), 1);
}

TEST_F(SymbolTableTest, FindMatchesContentNotPositionAndCheckNamesTheFault) {
  add("R", kOriginLibrary);
  add("C", kOriginLibrary, 24);
  auto probe = symbol("C", 24);
  probe->index = 57;
  EXPECT_EQ(symtab_find(*s, *probe), 1);
  probe->template_text = "C%r";
  EXPECT_EQ(symtab_find(*s, *probe), -1);

  EXPECT_FALSE(symtab_check(*s, nullptr, notify));
  EXPECT_EQ(notify.last(), "NULL symbol pointer");
  EXPECT_FALSE(symtab_check(*s, probe.get(), notify));
  EXPECT_EQ(notify.last(), "Bad symbol pointer");
}

}  // namespace
}  // namespace zephyrim
