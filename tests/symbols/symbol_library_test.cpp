#include "symbols/symbol_library.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <filesystem>

#include "common/file_io.h"

namespace zephyrim {
namespace {

const char* kLibrary =
    "* test library\n"
    "[R  ;Resistor]\n"
    "V[10k,20]\n"
    "R[-24,-8,24,8]\n"
    "D[\n"
    "M(-24,0)\n"
    "V(-16,0)\n"
    "]\n"
    "ROT[1]\n"
    "NP[3]\n"
    "P[2,-24,0,-16,1,A]\n"
    "P[4,24,0,16]\n"
    "P[4,20,4,16,-1,BAD]\n"
    "P[4,32,0,16]\n"
    "P[4,40,0,16]\n"
    "NT[R%r %1 %2 [%v]]\n"
    ".END\n"
    "\r\n"
    "[gnd]\r\n"
    "R[-8,0,8,16]\r\n"
    "D[\r\n"
    "M(0,0)\r\n"
    "]\r\n"
    "NP[1]\r\n"
    "P[1,0,0,8]\r\n"
    ".end\r\n"
    "[Pinout ;IO pin]\n"
    "V[OUT]\n"
    "R[0,-8,32,8]\n"
    "XYO[8,0]\n"
    "D[\n"
    "M(0,0)\n"
    "]\n"
    ".END\n"
    "[NOREGION]\n"
    "D[\n"
    "M(0,0)\n"
    "]\n"
    ".END\n";

class LibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / ("zephyrim_lib_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
    path_ = (dir_ / "test.sym").string();
    ASSERT_TRUE(write_file_atomic(path_, std::string_view(kLibrary)));
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  void set_mtime(const std::string& p, time_t t) {
    struct utimbuf u {t, t};
    ASSERT_EQ(::utime(p.c_str(), &u), 0);
  }

  std::filesystem::path dir_;
  std::string path_;
  RecordingNotify notify;
  SymbolLibrary lib;
};

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

TEST_F(LibraryTest, TouchingTheLibraryRebuildsTheIndex) {
  set_mtime(path_, 1000000000);
  ASSERT_EQ(library_open(lib, path_, notify), 1);
  // An index claiming another library file: same bytes, different write time.
  std::string more = std::string(kLibrary) + "[C ;Capacitor]\nR[0,0,8,8]\n.END\n";
  ASSERT_TRUE(write_file_atomic(path_, more));
  set_mtime(path_, 1000000000 + 60);
  ASSERT_EQ(library_open(lib, path_, notify), 1);
  EXPECT_EQ(symbol_find(lib, "C"), 0);
  auto idx = index_decode(*read_text_file((dir_ / "test.IDX").string()));
  ASSERT_TRUE(idx);
  EXPECT_EQ(idx->stamp.written, 1000000000 + 60);
}

TEST_F(LibraryTest, AnOldIndexIsRebuiltSilentlyAndADamagedOneAfterAQuestion) {
  ASSERT_EQ(library_open(lib, path_, notify), 1);
  const std::string idx_path = (dir_ / "test.IDX").string();
  SymbolIndex old = *index_decode(*read_text_file(idx_path));
  old.version = 714;
  old.entries.clear();
  ASSERT_TRUE(write_file_atomic(idx_path, index_encode(old)));
  notify.clear();
  ASSERT_EQ(library_open(lib, path_, notify), 1);
  EXPECT_EQ(lib.index.entries.size(), 4u);
  EXPECT_TRUE(notify.entries().empty());

  auto bytes = *read_text_file(idx_path);
  bytes.resize(bytes.size() - 10);  // cut inside the last entry
  ASSERT_TRUE(write_file_atomic(idx_path, bytes));
  notify.answer(0);
  ASSERT_EQ(library_open(lib, path_, notify), 1);
  EXPECT_EQ(notify.last(), "Error reading symbol library index file.\nDo you want to reindex library?");
  EXPECT_TRUE(lib.index.entries.empty());
  notify.answer(1);
  ASSERT_EQ(library_open(lib, path_, notify), 1);
  EXPECT_EQ(lib.index.entries.size(), 4u);
}

TEST_F(LibraryTest, IndexStopsAt2000SymbolsAndKeepsTheFirstModelLine) {
  std::string text = ".LIB first.lib\n.lib second.lib\n";
  for (int i = 0; i < 2001; ++i) text += "[S" + std::to_string(10000 + i) + "]\nR[0,0,8,8]\n.END\n";
  SymbolIndex idx = index_build(text, "big.sym", notify);
  EXPECT_EQ(idx.entries.size(), 2000u);
  EXPECT_EQ(idx.entries.back().name.str(), "S11999");
  EXPECT_EQ(idx.model_file, "first.lib");
  EXPECT_EQ(notify.last(), "Extra model library statement found ignored for symbol library:\nbig.sym");
  auto back = index_decode(std::string_view(reinterpret_cast<const char*>(index_encode(idx).data()),
                                            index_encode(idx).size()));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->model_file, "first.lib");
  EXPECT_EQ(back->entries.size(), 2000u);
}

TEST_F(LibraryTest, EmptyOrMissingLibrariesAreReported) {
  ASSERT_TRUE(write_file_atomic(path_, std::string_view("* nothing\n")));
  EXPECT_EQ(library_open(lib, path_, notify), 0);
  EXPECT_EQ(notify.last(), "No symbols found in library file:\n" + path_);
  EXPECT_EQ(library_open(lib, (dir_ / "none.sym").string(), notify), 0);
  EXPECT_EQ(notify.last(), "Cannot index. Error opening library file:\n" + (dir_ / "none.sym").string());
}

TEST_F(LibraryTest, ListingNamesEverySymbol) {
  ASSERT_EQ(library_open(lib, path_, notify), 1);
  ASSERT_EQ(library_write_listing(lib, notify), 1);
  EXPECT_EQ(notify.last(), "Symbol file index written to:\n" + path_ + ".TXT");
  const std::string t = *read_text_file(path_ + ".TXT");
  EXPECT_EQ(t.rfind("INDEX FOR SYMBOL LIBRARY FILE: " + path_ + "\n\n", 0), 0u);
  EXPECT_NE(t.find("   2 R\t\tResistor\n"), std::string::npos);
  EXPECT_NE(t.find("\nNUMBER OF SYMBOLS IN LIBRARY=4\n\n"), std::string::npos);
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
