// `zephyrim gensym` as scripts run it: generated logic and block symbols written
// into a library and read back through the library loader.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "common/notify.h"
#include "symbols/generated_symbol.h"
#include "symbols/symbol_library.h"
#include "verb_test_support.h"

namespace zephyrim {
namespace {

namespace fs = std::filesystem;

using test::tool;

// A folder of each test's own: ctest runs the tests of this file at the same time.
struct Scratch : test::ScratchFolder {
  Scratch() : ScratchFolder("zephyrim_gensym_verb_") {}
};

std::optional<SymbolRecord> load(const std::string& library, const std::string& name) {
  RecordingNotify notify;
  SymbolLibrary lib;
  if (library_open(lib, library, notify) != 1) return std::nullopt;
  SymbolRecord r;
  if (symbol_load(lib, symbol_find(lib, name), r, notify) != 1) return std::nullopt;
  return r;
}

TEST(GensymVerb, LogicSymbolsAreAppendedToTheLibrary) {
  Scratch s;
  const std::string lib = s.path("logic.sym");
  ProcessResult r = tool({"gensym", "--logic", "add", "-o", lib});
  ASSERT_EQ(r.exit_code, 0) << r.output;
  EXPECT_NE(r.output.find("UADD\t14 pins\tregion 0,-50,232,50"), std::string::npos) << r.output;
  r = tool({"gensym", "--logic", "COUNT", "--option2", "8", "-o", lib});
  ASSERT_EQ(r.exit_code, 0) << r.output;
  r = tool({"gensym", "--logic", "NAND", "--option1", "0", "-o", lib});
  ASSERT_EQ(r.exit_code, 0) << r.output;

  RecordingNotify notify;
  const auto add = load(lib, "UADD");
  ASSERT_TRUE(add);
  const auto expected = logic_symbol_generate(logic_function_find("ADD"), 4, 0, "UADD", nullptr, notify);
  EXPECT_TRUE(symbol_identical(*add, *expected));
  const auto count = load(lib, "UCOUNT(2,8)");
  ASSERT_TRUE(count);
  EXPECT_EQ(count->pin_count(), 22);
  const auto nand = load(lib, "UNAND");
  ASSERT_TRUE(nand);
  EXPECT_EQ(nand->pin_count(), 3);
  EXPECT_EQ(nand->rotatable, 1);
}

TEST(GensymVerb, LibraryFunctionsNeedTheLibrary) {
  Scratch s;
  const std::string lib = s.path("out.sym");
  ProcessResult r = tool({"gensym", "--logic", "DIVN", "--option1", "5", "-o", lib});
  EXPECT_EQ(r.exit_code, 1) << r.output;
  EXPECT_NE(r.output.find("U logic symbol UDIVN not found"), std::string::npos) << r.output;
  EXPECT_FALSE(fs::exists(lib));

  const std::string source = s.path("default.sym");
  fs::copy_file(std::string(ZEPHYRIM_SOURCE_DIR) + "/data/symbols/default.sym", source);
  r = tool({"gensym", "--logic", "DIVN", "--option1", "5", "--library", source, "-o", lib});
  ASSERT_EQ(r.exit_code, 0) << r.output;
  const auto divn = load(lib, "UDIVN(5)");
  ASSERT_TRUE(divn);
  EXPECT_EQ(divn->pin_count(), 2);
}

TEST(GensymVerb, BlockSymbolStartsFromTheBlocksIoPins) {
  Scratch s;
  const std::string lib = s.path("blocks.sym");
  const ProcessResult r =
      tool({"gensym", "--block", "opamp1", std::string(ZEPHYRIM_SOURCE_DIR) + "/examples/opamp_two_page.sch",
            "-o", lib});
  ASSERT_EQ(r.exit_code, 0) << r.output;
  const auto x = load(lib, "XOPAMP1");
  ASSERT_TRUE(x);
  ASSERT_EQ(x->pin_count(), 5);
  const char* names[] = {"INP", "INN", "VCC", "VEE", "OUT"};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(x->pins[i].pin_name.str(), names[i]);
    EXPECT_EQ(x->pins[i].side, i < 4 ? 2 : 4);
    EXPECT_EQ(x->pins[i].y, i < 4 ? 24 * i : 0);
  }
  EXPECT_EQ(x->rotatable, 0);
}

TEST(GensymVerb, BadCommandLinesAndMissingThingsFail) {
  Scratch s;
  const std::string lib = s.path("x.sym");
  const std::string sch = std::string(ZEPHYRIM_SOURCE_DIR) + "/examples/opamp_two_page.sch";
  EXPECT_EQ(tool({"gensym", "--logic", "NOPE", "-o", lib}).exit_code, 2);
  EXPECT_EQ(tool({"gensym", "--logic", "ADD"}).exit_code, 2);  // no -o
  EXPECT_EQ(tool({"gensym", "--logic", "ADD", "--block", "OPAMP1", sch, "-o", lib}).exit_code, 2);
  EXPECT_EQ(tool({"gensym", "--block", "OPAMP1", "-o", lib}).exit_code, 2);  // no schematic
  EXPECT_EQ(tool({"gensym", "--block", "NONE", sch, "-o", lib}).exit_code, 1);
  EXPECT_EQ(tool({"gensym", "--block", "OPAMP1", s.path("missing.sch"), "-o", lib}).exit_code, 2);
  EXPECT_FALSE(fs::exists(lib));
  const ProcessResult help = tool({"gensym", "--help"});
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_NE(help.output.find("--option2 N"), std::string::npos);
}

}  // namespace
}  // namespace zephyrim
