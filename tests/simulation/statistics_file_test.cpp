#include "simulation/statistics_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace zephyrim {
namespace {

Tolerance parsed(const std::string& statement) {
  Tolerance t;
  std::string message;
  EXPECT_TRUE(parse_tolerance(statement, t, message)) << statement << ": " << message;
  return t;
}

std::string refusal(const std::string& statement) {
  Tolerance t;
  t.pattern = "untouched";
  std::string message;
  EXPECT_FALSE(parse_tolerance(statement, t, message)) << statement;
  EXPECT_EQ(t.pattern, "untouched");
  return message;
}

TEST(StatisticsFile, PatternForms) {
  Tolerance t = parsed(".TOL R* 5%");
  EXPECT_EQ(t.kind, Tolerance::Kind::Part);
  EXPECT_EQ(t.pattern, "R*");
  EXPECT_DOUBLE_EQ(t.device, 0.05);
  EXPECT_TRUE(t.relative);
  EXPECT_FALSE(t.gaussian);

  t = parsed(".tol QN2222 ( bf ) dev = 10%");
  EXPECT_EQ(t.kind, Tolerance::Kind::ModelParam);
  EXPECT_EQ(t.pattern, "QN2222");
  EXPECT_EQ(t.param, "bf");
  EXPECT_DOUBLE_EQ(t.device, 0.1);

  t = parsed(".TOL *(VTO) 10m");
  EXPECT_EQ(t.pattern, "*");
  EXPECT_EQ(t.param, "VTO");
  EXPECT_FALSE(t.relative);
  EXPECT_DOUBLE_EQ(t.device, 0.01);

  t = parsed(".TOL PARAM RVAL 2% ; the bias resistor");
  EXPECT_EQ(t.kind, Tolerance::Kind::Param);
  EXPECT_EQ(t.pattern, "RVAL");
  EXPECT_DOUBLE_EQ(t.device, 0.02);
}

TEST(StatisticsFile, DistributionAndLot) {
  Tolerance t = parsed(".TOL C?1 1% LOT=4% GAUSS SIGMA=2");
  EXPECT_DOUBLE_EQ(t.device, 0.01);
  EXPECT_DOUBLE_EQ(t.lot, 0.04);
  EXPECT_TRUE(t.gaussian);
  EXPECT_DOUBLE_EQ(t.sigmas, 2);

  t = parsed(".TOL L* LOT=5% uniform");  // a lot tolerance alone
  EXPECT_DOUBLE_EQ(t.device, 0);
  EXPECT_DOUBLE_EQ(t.lot, 0.05);
  EXPECT_FALSE(t.gaussian);
  EXPECT_DOUBLE_EQ(t.sigmas, 3);

  t = parsed(".TOL V1 0 LOT=5%");  // a zero fits either unit
  EXPECT_TRUE(t.relative);
  t = parsed(".TOL V1 0% LOT=0");
  EXPECT_TRUE(t.relative);
  t = parsed(".TOL V1 1m LOT=2mV");
  EXPECT_FALSE(t.relative);
  EXPECT_DOUBLE_EQ(t.lot, 0.002);
}

TEST(StatisticsFile, RefusedStatementsSayWhy) {
  EXPECT_EQ(refusal(".TOL R* abc"), ".TOL R* abc: \"abc\" is not a tolerance (5% or 10m)");
  EXPECT_NE(refusal(".TOL R*").find("no tolerance given"), std::string::npos);
  EXPECT_NE(refusal(".TOL").find("no part"), std::string::npos);
  EXPECT_NE(refusal(".TOL R* 5% LOT=1m").find("both be relative"), std::string::npos);
  EXPECT_NE(refusal(".TOL R* 5% 6%").find("\"6%\" is not understood"), std::string::npos);
  EXPECT_NE(refusal(".TOL R* 5% DEV=6%").find("DEV given twice"), std::string::npos);
  EXPECT_NE(refusal(".TOL R* -5%").find("is not a tolerance"), std::string::npos);
  EXPECT_NE(refusal(".TOL R* 5% SIGMA=0").find("standard deviations"), std::string::npos);
  EXPECT_NE(refusal(".TOL QN() 5%").find("MODEL(PARAM)"), std::string::npos);
  EXPECT_NE(refusal(".TOL QN(BF 5%").find("MODEL(PARAM)"), std::string::npos);
  EXPECT_NE(refusal(".TOL PARAM").find("PARAM without a name"), std::string::npos);
  EXPECT_NE(refusal(".STEP R1 LIST 1").find("not a .TOL statement"), std::string::npos);
  // A long statement is cut in the message.
  EXPECT_LT(refusal(".TOL R* " + std::string(500, 'x')).size(), 200u);
}

TEST(StatisticsFile, FileWithCommentsAndContinuations) {
  std::vector<Tolerance> tols;
  std::vector<std::string> messages;
  const size_t n = read_statistics_file(
      "* resistors\r\n"
      "  .TOL R* 1%   ; metal film\r\n"
      ".TOL C* 10%\n"
      "+ LOT=5% ; same reel\n"
      "+ GAUSS\n"
      "\n"
      ".MC 10\n"
      ".TOL L* x\n",
      tols, messages);
  EXPECT_EQ(n, 2u);
  ASSERT_EQ(tols.size(), 2u);
  EXPECT_EQ(tols[1].pattern, "C*");
  EXPECT_DOUBLE_EQ(tols[1].lot, 0.05);
  EXPECT_TRUE(tols[1].gaussian);
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].rfind("line 7: .MC 10: not a .TOL statement", 0), 0u) << messages[0];
  EXPECT_EQ(messages[1].rfind("line 8: ", 0), 0u);
}

TEST(StatisticsFile, TheShippedDefaultFileReadsCleanly) {
  std::ifstream in(std::string(ZEPHYRIM_SOURCE_DIR) + "/data/STATSDEFAULT.TXT", std::ios::binary);
  ASSERT_TRUE(in);
  std::stringstream text;
  text << in.rdbuf();
  std::vector<Tolerance> tols;
  std::vector<std::string> messages;
  EXPECT_GE(read_statistics_file(text.str(), tols, messages), 3u);
  EXPECT_TRUE(messages.empty()) << messages.front();
}

TEST(StatisticsFile, WildcardsAndNumbers) {
  EXPECT_TRUE(wildcard_match("R*", "r12"));
  EXPECT_TRUE(wildcard_match("C?1", "CX1"));
  EXPECT_FALSE(wildcard_match("C?1", "C1"));
  EXPECT_TRUE(wildcard_match("*", ""));
  EXPECT_TRUE(wildcard_match("Q*N*2", "QNN2222"));
  EXPECT_FALSE(wildcard_match("Q*N*3", "QNN2222"));
  EXPECT_FALSE(wildcard_match("R1", "R12"));
  // A pathological pattern stays quadratic.
  EXPECT_FALSE(wildcard_match(std::string(2000, '*') + "b", std::string(2000, 'a')));

  double v = 0;
  EXPECT_TRUE(statement_number("10uF", v));
  EXPECT_DOUBLE_EQ(v, 10e-6);
  EXPECT_TRUE(statement_number("1.5MEG", v));
  EXPECT_DOUBLE_EQ(v, 1.5e6);
  for (const char* bad : {"", "x", ".", "-", "*", "1k5", "1e999", "2,5", "{1}"})
    EXPECT_FALSE(statement_number(bad, v)) << bad;
  EXPECT_EQ(statement_words("  .STEP  RES RMOD ( R ) 1 ;2"),
            (std::vector<std::string>{".STEP", "RES", "RMOD(R)", "1"}));
  EXPECT_EQ(statement_words(".MC 5 SEED = 3"), (std::vector<std::string>{".MC", "5", "SEED=3"}));
}

}  // namespace
}  // namespace zephyrim
