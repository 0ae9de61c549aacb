#include "symbols/symbol_library.h"

#include <gtest/gtest.h>

#include "symbols/library_fixture.h"

namespace zephyrim {
namespace {

using testing_support::LibraryTest;

TEST(SymbolKind, FromTheNameWithoutRegardToCase) {
  EXPECT_EQ(symbol_kind_from_name("gnd"), kSymbolGround);
  EXPECT_EQ(symbol_kind_from_name("0"), kSymbolGround);
  EXPECT_EQ(symbol_kind_from_name("Power+"), kSymbolPowerRail);
  EXPECT_EQ(symbol_kind_from_name("v-"), kSymbolPowerRail);
  EXPECT_EQ(symbol_kind_from_name("Pinout"), kSymbolIoPin);
  EXPECT_EQ(symbol_kind_from_name("PINS"), kSymbolPart);
}

TEST(HeaderLine, NameAndDescription) {
  std::string n, d;
  parse_header_line("[R  ;Resistor]", n, d);
  EXPECT_EQ(n, "R");
  EXPECT_EQ(d, "Resistor");
  parse_header_line("[QNPN]", n, d);
  EXPECT_EQ(n, "QNPN");
  EXPECT_EQ(d, "");
  parse_header_line("[" + std::string(40, 'N') + ";" + std::string(80, 'd') + "]", n, d);
  EXPECT_EQ(n.size(), 31u);
  EXPECT_EQ(d.size(), 61u);
}

TEST_F(LibraryTest, LoadsSymbolsThroughTheIndex) {
  ASSERT_EQ(library_open(lib, path_, notify), 1);
  EXPECT_TRUE(std::filesystem::exists(dir_ / "test.IDX"));
  ASSERT_EQ(lib.index.entries.size(), 4u);
  EXPECT_EQ(lib.index.entries[0].name.str(), "NOREGION");  // byte order: upper case first
  EXPECT_EQ(lib.index.entries[1].name.str(), "Pinout");
  EXPECT_EQ(lib.index.entries[2].name.str(), "R");
  EXPECT_EQ(lib.index.entries[2].default_value.str(), "10k,20");  // the index keeps the whole bracket
  EXPECT_EQ(symbol_find(lib, "pinOUT"), 1);
  EXPECT_EQ(symbol_find(lib, "C"), -1);

  SymbolRecord r;
  notify.clear();
  ASSERT_EQ(symbol_load(lib, symbol_find(lib, "R"), r, notify), 1);
  EXPECT_EQ(r.name.str(), "R");
  EXPECT_EQ(r.description.str(), "Resistor");
  EXPECT_EQ(r.default_value.str(), "10k");
  EXPECT_EQ(r.region, (Region{-24, -8, 24, 8}));
  EXPECT_EQ(r.draws.size(), 2u);
  EXPECT_EQ(r.rotatable, 1);
  ASSERT_EQ(r.pins.size(), 3u);  // five P lines after NP[3]
  EXPECT_EQ(r.pins[0].number, 1);
  EXPECT_EQ(r.pins[0].pin_name.str(), "A");
  EXPECT_EQ(r.pins[1].number, -1);
  EXPECT_EQ(r.pins[2].x, 20);  // kept, with the grid warnings
  EXPECT_EQ(r.template_text, "R%r %1 %2 [%v]");
  EXPECT_EQ(r.kind, kSymbolPart);
  EXPECT_EQ(notify.texts(), (std::vector<std::string>{"Symbol R pin 2 X coord. not on grid",
                                                      "Symbol R pin 2 Y coord. not on grid"}));

  ASSERT_EQ(symbol_load(lib, symbol_find(lib, "GND"), r, notify), 1);  // CR LF lines
  EXPECT_EQ(r.kind, kSymbolGround);
  EXPECT_EQ(r.pins.size(), 1u);
  EXPECT_EQ(r.rotatable, 0);
  ASSERT_EQ(symbol_load(lib, symbol_find(lib, "Pinout"), r, notify), 1);
  EXPECT_EQ(r.kind, kSymbolIoPin);
  EXPECT_EQ(r.draws[0].args[0], 8);  // XYO offset
  EXPECT_EQ(symbol_load(lib, symbol_find(lib, "NOREGION"), r, notify), 0);
  EXPECT_TRUE(r.name.empty());
}

TEST_F(LibraryTest, DrawingTextOverTheBufferFailsTheLoad) {
  std::string big = "[BIG]\nR[0,0,8,8]\nD[\n";
  for (int i = 0; i < 1000; ++i) big += "M(0,0);V(8,8)\n";
  big += "]\n.END\n";
  ASSERT_TRUE(write_file_atomic(path_, big));
  ASSERT_EQ(library_open(lib, path_, notify), 1);
  SymbolRecord r;
  EXPECT_EQ(symbol_load(lib, 0, r, notify), 0);
  EXPECT_EQ(notify.last(), "Error loading symbol BIG: draw commands exceed buffer limit");
}

TEST_F(LibraryTest, AStalePositionIsReported) {
  ASSERT_EQ(library_open(lib, path_, notify), 1);
  lib.index.entries[0].position = 1 << 30;
  SymbolRecord r;
  EXPECT_EQ(symbol_load(lib, 0, r, notify), 0);
  EXPECT_EQ(notify.last(), "Error searching symbol library file:\ninvalid position pointer.");
}

TEST_F(LibraryTest, SaveReplacesAfterTheQuestionOrAppends) {
  ASSERT_EQ(library_open(lib, path_, notify), 1);
  SymbolRecord r;
  ASSERT_EQ(symbol_load(lib, symbol_find(lib, "R"), r, notify), 1);
  r.region.x2 = 32;
  notify.answer(1);
  ASSERT_EQ(symbol_save(path_, r, "Resistor", notify, &lib), 1);
  EXPECT_EQ(notify.last(), "Symbol R saved to file:\n" + path_);
  ASSERT_EQ(lib.index.entries.size(), 4u);  // replaced in place and reindexed
  SymbolRecord again;
  notify.clear();
  ASSERT_EQ(symbol_load(lib, symbol_find(lib, "R"), again, notify), 1);
  EXPECT_TRUE(symbol_identical(r, again));
  EXPECT_EQ(notify.entries().size(), 2u);  // pin 2 is still off the grid
}

TEST_F(LibraryTest, SaveAnswersNoAppendsAndCancelWritesNothing) {
  ASSERT_EQ(library_open(lib, path_, notify), 1);
  SymbolRecord r;
  symbol_load(lib, symbol_find(lib, "GND"), r, notify);
  const std::string before = *read_text_file(path_);
  notify.answer(-1);
  EXPECT_EQ(symbol_save(path_, r, "", notify, &lib), -1);
  EXPECT_EQ(*read_text_file(path_), before);
  notify.answer(0);
  EXPECT_EQ(symbol_save(path_, r, "", notify, &lib), 1);
  EXPECT_EQ(lib.index.entries.size(), 5u);
  EXPECT_EQ(symbol_save("", r, "", notify), 0);
  EXPECT_EQ(notify.last(), "Invalid symbol library filename ");
}

}  // namespace
}  // namespace zephyrim
