#include "netlist/source_statement.h"

#include <gtest/gtest.h>

namespace zephyrim {
namespace {

struct Source {
  SymbolRecord symbol;
  PartRecord part;

  explicit Source(const char* symbol_name = "VSRC", const char* device = "") {
    symbol.name.assign(symbol_name);
    part.symbol = &symbol;
    part.device.assign(device);
    part.reference.assign("V1");
    source_set_in_use(part, true);
  }
  std::string statement(int expect = 1) {
    std::string out;
    EXPECT_EQ(write_source_statement(out, part, "in", "0"), expect);
    return out;
  }
  void function(int f, const std::vector<std::string>& slots) {
    source_set_function(part, f);
    source_set_values(part, f, slots);
  }
};

TEST(SourceStatementTest, ElementLetterDecides) {
  EXPECT_TRUE(source_is_independent(Source("VSRC").part));
  EXPECT_TRUE(source_is_independent(Source("isrc").part));
  EXPECT_TRUE(source_is_independent(Source("RES", "v").part));  // the device letter wins over the symbol
  EXPECT_FALSE(source_is_independent(Source("VSRC", "R").part));
  EXPECT_FALSE(source_is_independent(Source("CAP").part));
}

TEST(SourceStatementTest, NothingWrittenUnlessInUseWithThirteenEntries) {
  Source s("RES");
  source_set_dc(s.part, true, "5");
  EXPECT_EQ(s.statement(0), "");
  Source v;
  source_set_dc(v.part, true, "5");
  source_set_in_use(v.part, false);
  EXPECT_EQ(v.statement(0), "");
  source_set_in_use(v.part, true);
  v.part.source_specs.resize(12);
  EXPECT_EQ(v.statement(0), "");
}

TEST(SourceStatementTest, DcAndAc) {
  Source s;
  source_set_dc(s.part, true, "5");
  EXPECT_EQ(s.statement(), "V1 in 0 5 \n");
  source_set_dc(s.part, false, "5");
  source_set_ac(s.part, true, "1m", "0");
  EXPECT_EQ(s.statement(), "V1 in 0 AC 1m 0 \n");  // a phase text is written even when it is 0
  source_set_ac(s.part, true, "1", "");
  EXPECT_EQ(s.statement(), "V1 in 0 AC 1 \n");
  // Without texts the stored numbers are written, the phase only when not 0.
  s.part.source_specs[kSourceAcMagnitude] = {0, 0, 0.25, std::nullopt, 0};
  s.part.source_specs[kSourceAcPhase] = {0, 0, -90, std::nullopt, 0};
  EXPECT_EQ(s.statement(), "V1 in 0 AC 0.25 -90 \n");
  NodeTable table;
  table.entries.resize(3);
  table.entries[2].name.assign("OUT");
  table.count = 3;
  s.part.pin_nodes = {{2, nullptr}, {-1, nullptr}};
  std::string out;
  EXPECT_EQ(write_source_statement(out, s.part, table), 1);
  EXPECT_EQ(out, "V1 OUT  AC 0.25 -90 \n");
}

TEST(SourceStatementTest, EveryTransientFunction) {
  Source s;
  source_set_dc(s.part, true, "0");
  s.function(kSourceExp, {"0", "1", "2n", "", "", "4n"});
  EXPECT_EQ(s.statement(), "V1 in 0 0 EXP 0 1 2n 0 0 4n \n");
  s.function(kSourceFile, {"wave.dat"});
  EXPECT_EQ(s.statement(), "V1 in 0 0 FILE \"wave.dat\"\n");
  s.function(kSourceSffm, {"0", "1", "1k", "5", "10"});
  EXPECT_EQ(s.statement(), "V1 in 0 0 SFFM 0 1 1k 5 10 \n");
  s.function(kSourceSin, {"0", "1", "1k"});
  EXPECT_EQ(s.statement(), "V1 in 0 0 SIN 0 1 1k \n");
  s.function(kSourcePulse, {"0", "5"});
  EXPECT_EQ(s.statement(), "V1 in 0 0 PULSE 0 5 \n");
  s.function(kSourcePulse, {"1", "", "", "", "2n"});
  EXPECT_EQ(s.statement(), "V1 in 0 0 PULSE 1 0 0 0 2n \n");
  s.function(kSourcePulse, {});
  EXPECT_EQ(s.statement(), "V1 in 0 0 PULSE \n");
  // Each function keeps its own values.
  EXPECT_EQ(source_values(s.part, kSourceExp), (std::vector<std::string>{"0", "1", "2n", "", "", "4n"}));
  source_set_function(s.part, kSourceNone);
  EXPECT_EQ(s.statement(), "V1 in 0 0 \n");
}

TEST(SourceStatementTest, PwlKeywordsThenPointLines) {
  Source s;
  s.function(kSourcePwl, {"1m", "", "", "", "2"});
  source_set_pwl_points(s.part, {{0, 0}, {1e-3, 5}, {2.5e-3, 0}});
  EXPECT_EQ(s.statement(), "V1 in 0 PWL TD=1m VS=2 \n+ 0,0\n+ 0.001,5\n+ 0.0025,0\n");
  // Points must not spill into a function laid out after PWL.
  s.function(kSourceSin, {"0", "1"});
  source_set_pwl_points(s.part, {{0, 1}, {1, 2}, {2, 3}, {3, 4}});
  EXPECT_EQ(source_values(s.part, kSourceSin), (std::vector<std::string>{"0", "1", "", "", "", ""}));
  EXPECT_EQ(source_values(s.part, kSourcePwl)[0], "1m");
  EXPECT_EQ(source_pwl_points(s.part).size(), 4u);
}

TEST(SourceStatementTest, LongLinesContinueAtEightyColumns) {
  const std::string a(20, 'a');
  Source s;
  s.function(kSourceSin, {a, a, a, a, a, a});
  EXPECT_EQ(s.statement(), "V1 in 0 SIN " + a + " " + a + " " + a + " " + a + " \n+ " + a + " " + a + " \n");
  // A break after the last slot leaves no "+" line behind.
  s.function(kSourcePulse, {a, a, a, a});
  EXPECT_EQ(s.statement(), "V1 in 0 PULSE " + a + " " + a + " " + a + " " + a + " \n");
}

TEST(SourceStatementTest, StoredLayoutIsReadAndRangeChecked) {
  Source s;
  std::vector<SourceSpec>& e = s.part.source_specs;
  e.resize(30);
  e[kSourceFunction].kind = kSourcePulse;
  e[kSourceInUse + kSourcePulse].kind = 14;  // values from entry 15 on
  e[15].text = "3";
  e[17].text = "4";
  EXPECT_EQ(s.statement(), "V1 in 0 PULSE 3 0 4 \n");
  e[kSourceInUse + kSourcePulse].kind = 100;
  EXPECT_EQ(s.statement(), "V1 in 0 PULSE \n");
  e[kSourceInUse + kSourcePulse].kind = 0;  // would point at the DC text
  source_set_dc(s.part, false, "9");
  EXPECT_EQ(s.statement(), "V1 in 0 PULSE \n");
  e[kSourceFunction].kind = kSourcePwl;
  e[kSourceInUse + kSourcePwl].kind = 19;  // keywords 20-24, count 25, room for two points
  e[25].kind = 1000000;
  EXPECT_EQ(s.statement(), "V1 in 0 PWL \n+ 0,0\n+ 0,0\n");
  e[25].kind = -3;
  EXPECT_EQ(s.statement(), "V1 in 0 PWL \n");
}

}  // namespace
}  // namespace zephyrim
