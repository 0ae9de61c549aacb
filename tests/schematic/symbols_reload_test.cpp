#include "schematic/symbols_reload.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "common/file_io.h"

namespace zephyrim {
namespace {

TEST(FormerNames, TranslateWithoutRegardToCase) {
  EXPECT_EQ(symbol_current_name("R(VERT)"), "RV");
  EXPECT_EQ(symbol_current_name("qnpn"), "Q");
  EXPECT_EQ(symbol_current_name("GBLOCK"), "GB");
  EXPECT_EQ(symbol_current_name("R"), "R");
}

TEST(SymbolsReload, ReplacesStoredSymbolsByTheLibrarysAndAsksForMissingOnes) {
  const auto dir = std::filesystem::temp_directory_path() / ("zephyrim_reload_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "lib.sym").string();
  ASSERT_TRUE(write_file_atomic(
      path, std::string_view("[RV ;Resistor, vertical]\nR[-8,-24,8,24]\nD[\nM(0,-24)\n"
                             "V(0,24)\n]\nROT[1]\nNP[3]\nP[1,0,-24,-16]\nP[3,0,24,16]\n"
                             "P[3,0,32,16]\n.END\n[Q]\nR[-16,-16,16,16]\nD[\nM(0,0)\n]\n"
                             "NP[3]\nP[1,16,-16,-8]\nP[2,-16,0,-8]\nP[3,16,16,8]\n.END\n")));
  RecordingNotify notify;
  SymbolLibrary lib;
  ASSERT_EQ(library_open(lib, path, notify), 1);
  auto s = schematic_new("t.sch", 0);
  auto old_symbol = [](const char* name) {
    auto r = std::make_unique<SymbolRecord>();
    r->name.assign(name);
    r->region = {-8, -8, 8, 8};
    r->pins.resize(2);
    return r;
  };
  const int a = symtab_add(*s, "R(VERT)", old_symbol("R(VERT)"), kOriginSchematic, notify);
  const int b = symtab_add(*s, "XYZ", old_symbol("XYZ"), kOriginSchematic, notify);
  const int c = symtab_add(*s, "KEEP", old_symbol("KEEP"), kOriginSchematic, notify);
  PartRecord* r1 = part_place(*s, s->symbols.entries[a].definition.get(), 40, 40);
  PartRecord* q1 = part_place(*s, s->symbols.entries[b].definition.get(), 80, 40);
  PartRecord* k1 = part_place(*s, s->symbols.entries[c].definition.get(), 120, 40);
  s->modified = false;

  notify.answer(1);  // XYZ: yes, another name
  notify.reply(std::string("Q"));
  notify.answer(0);  // KEEP: no
  EXPECT_EQ(symbols_reload(*s, lib, notify), 2);
  EXPECT_TRUE(notify.saw("Symbol XYZ not found - alternate name?"));
  EXPECT_TRUE(notify.saw("Symbol KEEP not found - alternate name?"));
  EXPECT_EQ(r1->symbol->name.str(), "RV");
  EXPECT_EQ(r1->pin_nodes.size(), 3u);  // follows the library's pin count
  EXPECT_EQ(r1->region, (Region{-8, -24, 8, 24}));
  EXPECT_EQ(q1->symbol->name.str(), "Q");
  EXPECT_EQ(k1->symbol->name.str(), "KEEP");
  ASSERT_EQ(s->symbols.entries.size(), 3u);  // the replaced definitions were purged
  for (const auto& e : s->symbols.entries) EXPECT_TRUE(symtab_check(*s, e.definition.get(), notify));
  EXPECT_TRUE(s->modified);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace zephyrim
