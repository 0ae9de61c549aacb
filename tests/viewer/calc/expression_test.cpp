// The real expression evaluator: grammar, scanner, running functions and the
// evaluation over points, through expr_evaluate and expr_calculate.
#include "viewer/calc/expression.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "viewer/calc/calc_fixture.h"

namespace zephyrim {
namespace {

struct Expression : ::testing::Test, CalcStore {
  const DataVector* time = nullptr;
  const DataVector* v1 = nullptr;
  const DataVector* v2 = nullptr;
  ExprSelection tran{.cls = DATA_CLASS_BINARY, .kind = ANALYSIS_TRAN};

  void SetUp() override {
    time = add("TIME", {0, 1, 2, 3}, nullptr);
    v1 = add("V(1)", {1, 2, 4, 8}, time);
    v2 = add("V(2)", {10, 20, 30, 40}, time);
  }
  // The first value of an expression, or NaN when it fails.
  double first(const std::string& text) {
    ExprResult r;
    if (!expr_calculate(store, text, tran, r) || r.re.empty()) return NAN;
    return r.re[0];
  }
  std::vector<double> all(const std::string& text) {
    ExprResult r;
    expr_calculate(store, text, tran, r);
    return r.re;
  }
};

TEST_F(Expression, PrecedenceAssociativityAndUnaryMinus) {
  EXPECT_EQ(first("1+2*3"), 7);
  EXPECT_EQ(first("(1+2)*3"), 9);
  EXPECT_EQ(first("8-2-1"), 5);
  EXPECT_EQ(first("8/2/2"), 2);
  EXPECT_EQ(first("-2^2"), 4);
  EXPECT_EQ(first("2^3^2"), 512);
  EXPECT_EQ(first("2^-1"), 0.5);
  EXPECT_EQ(first("3*-2"), -6);
  EXPECT_EQ(first("1/0"), HUGE_VAL);
  EXPECT_EQ(first("-1/0"), HUGE_VAL);  // a zero divisor is +infinity whatever the sign
  EXPECT_EQ(first(" 2 * PI "), 2 * 3.141592653589793);
  EXPECT_EQ(first("1K+2MEG"), 2001000);
  EXPECT_EQ(first("1.5E3"), 1500);
  EXPECT_TRUE(notify.entries().empty()) << notify.last();
}

TEST_F(Expression, SyntaxErrorsStopWithTheStateAndToken) {
  EXPECT_TRUE(std::isnan(first("--2")));
  EXPECT_EQ(notify.texts().at(0), "Expression invalid state - stack=5 token=1 processing:\n--2");
  EXPECT_EQ(
      notify.texts().at(1),
      "Error evaluating expression:\n--2\n\nEQNTYPE=0 ERROR#=0\n\nAnalysis/data type selected: TRANSIENT");
  notify.clear();
  EXPECT_TRUE(std::isnan(first("2 3")));
  EXPECT_EQ(notify.texts().at(0), "Expression invalid state - stack=1 token=8 processing:\n2 3");
  notify.clear();
  EXPECT_TRUE(std::isnan(first("2?")));
  EXPECT_EQ(notify.texts().at(0), "Expression invalid state - stack=1 token=12 processing:\n2?");
  notify.clear();
  EXPECT_TRUE(std::isnan(first(std::string(60, '(') + "1" + std::string(60, ')'))));
  EXPECT_EQ(notify.texts().at(0).rfind("Expression parser stack overflow processing:\n(((", 0), 0u);
}

TEST_F(Expression, ScannerMessages) {
  EXPECT_TRUE(std::isnan(first("2*(3+4")));
  EXPECT_EQ(notify.last(), "Mismatched parenthesis error found in expression:\n2*(3+4");
  EXPECT_TRUE(std::isnan(first("SIN3")));
  EXPECT_EQ(
      notify.last(),
      "Bad variable or function name SIN3 in expression:\nSIN3\nAnalysis/data type selected: TRANSIENT");
  EXPECT_TRUE(std::isnan(first("1+.")));
  EXPECT_EQ(notify.last(), "Bad constant . in expression:\n1+.");
  EXPECT_TRUE(std::isnan(first(std::string(256, '1'))));
  EXPECT_EQ(notify.last(), "Expression too long");
  // A name missing from a later run is skipped without a word.
  notify.clear();
  ExprResult r;
  EXPECT_EQ(expr_calculate(store, "NOPE", {.kind = ANALYSIS_TRAN, .run = 2}, r), 0);
  EXPECT_TRUE(notify.entries().empty());
}

TEST_F(Expression, IntegralSlotsAreLimitedTo32) {
  std::string sum = "S(1)";
  for (int i = 1; i < 32; ++i) sum += "+AVG(1)";
  EXPECT_FALSE(std::isnan(first(sum)));
  EXPECT_TRUE(std::isnan(first(sum + "+RMS(1)")));
  EXPECT_EQ(notify.last(), "Error parsing expression:\n" + sum +
                               "+RMS(1)\nNumber of integral (S,AVG,RMS) function calls exceed limit");
}

TEST_F(Expression, VariablesPairsAndNames) {
  EXPECT_EQ(all("V(2,1)"), (std::vector<double>{9, 18, 26, 32}));
  EXPECT_EQ(all("v(2)/v(1)"), (std::vector<double>{10, 10, 7.5, 5}));
  EXPECT_EQ(all("V(2)@1"), all("V(2)"));
  DataVector* named = expr_evaluate(store, "OUT =V(2)-V(1)", tran);
  ASSERT_NE(named, nullptr);
  EXPECT_EQ(named->name, "OUT");
  EXPECT_EQ(named->x, time);
  EXPECT_EQ(named->kind, ANALYSIS_TRAN);
  EXPECT_EQ(named->expression, "OUT =V(2)-V(1)");
  EXPECT_EQ(values(named), (std::vector<double>{9, 18, 26, 32}));
  EXPECT_EQ(expr_evaluate(store, "V(2)-V(1)", tran)->name, "{V(2)-V(1)}");
  const std::string longer(60, '1');
  EXPECT_EQ(expr_evaluate(store, longer, tran)->name, "{" + longer.substr(0, 55) + "..}");
  // A registered result is a variable like any other.
  EXPECT_EQ(all("OUT*2"), (std::vector<double>{18, 36, 52, 64}));
}

TEST_F(Expression, ShorterVectorsHoldTheirLastValue) {
  std::vector<double> t100(100), a100(100), b50(50);
  for (int i = 0; i < 100; ++i) t100[i] = i, a100[i] = i;
  for (int i = 0; i < 50; ++i) b50[i] = 1000 + i;
  const DataVector* t = add("T", t100, nullptr, ANALYSIS_DC);
  add("A", a100, t, ANALYSIS_DC);
  add("B", b50, t, ANALYSIS_DC);
  ExprResult r;
  ASSERT_EQ(expr_calculate(store, "A+B", {.kind = ANALYSIS_DC}, r), 1);
  ASSERT_EQ(r.re.size(), 100u);
  EXPECT_EQ(r.re[49], 49 + 1049);
  EXPECT_EQ(r.re[99], 99 + 1049);
  EXPECT_EQ(notify.last(), "Expression: A+B\nVariable B has fewer data points");
  notify.clear();
  ASSERT_EQ(expr_calculate(store, "B+A", {.kind = ANALYSIS_DC}, r), 1);
  EXPECT_EQ(notify.last(), "Expression: B+A\ncontains variables with different number of data points");
}

TEST_F(Expression, FunctionsOfOneValue) {
  EXPECT_EQ(first("ROUND(2.5)"), 3);
  EXPECT_EQ(first("ROUND(-2.5)"), -2);  // +0.5, then toward zero
  EXPECT_EQ(first("TRUNC(-2.7)"), -2);
  EXPECT_EQ(first("TRUNC(1E12)"), -2147483648.0);
  EXPECT_EQ(first("URAMP(-3)+URAMP(2)"), 2);
  EXPECT_EQ(first("SQR(-3)+POW10(2)+ABS(-1)"), 110);
  EXPECT_EQ(first("LOG10(1000)+LOG(1)"), 3);
  EXPECT_EQ(first("DB(-5)+M(1)+P(1)+R(1)+IMG(1)+JCMPLX(1)"), 0);  // unchanged in real evaluation
  EXPECT_NEAR(first("SIN(PI/6)+COS(PI/3)+TAN(PI/4)"), 2, 1e-15);
  EXPECT_NEAR(first("COSH(0)+SINH(0)+TANH(0)+EXP(0)+SQRT(4)"), 4, 1e-15);
  EXPECT_NEAR(first("ASIN(1)+ACOS(1)+ATAN(1)"), M_PI / 2 + M_PI / 4, 1e-15);
}

TEST_F(Expression, RunningFunctions) {
  // TIME 0 1 2 3, V(1) 1 2 4 8.
  EXPECT_EQ(all("S(V(1))"), (std::vector<double>{0, 1.5, 4.5, 10.5}));
  EXPECT_EQ(all("AVG(V(1))"), (std::vector<double>{1, 1.5, 2.25, 3.5}));
  const auto rms = all("RMS(-V(1))");
  EXPECT_EQ(rms[0], 1);
  EXPECT_DOUBLE_EQ(rms[1], std::sqrt(2.5));
  // The first DIFF point is extrapolated from the next two.
  EXPECT_EQ(all("DIFF(V(1))"), (std::vector<double>{0, 1, 2, 4}));
  EXPECT_EQ(all("DIFF(V(2))"), (std::vector<double>{10, 10, 10, 10}));
  const DataVector* t2 = add("T2", {5, 7}, nullptr, ANALYSIS_DC);
  add("W", {1, 3}, t2, ANALYSIS_DC);
  ExprResult r;
  ASSERT_EQ(expr_calculate(store, "DIFF(W)", {.kind = ANALYSIS_DC}, r), 1);
  EXPECT_EQ(r.re, (std::vector<double>{1, 1}));  // two points: the first copies the second
  // Two DIFF calls share one previous pair: the second sees no step in x.
  EXPECT_EQ(all("DIFF(V(1))+DIFF(V(2))")[2], HUGE_VAL);
  // Equal x values give +infinity and keep the pair.
  const DataVector* t3 = add("T3", {0, 1, 1, 2}, nullptr, ANALYSIS_NOISE);
  add("Y3", {0, 1, 5, 3}, t3, ANALYSIS_NOISE);
  ASSERT_EQ(expr_calculate(store, "DIFF(Y3)", {.kind = ANALYSIS_NOISE}, r), 1);
  EXPECT_EQ(r.re[2], HUGE_VAL);
  EXPECT_EQ(r.re[3], 2);
}

TEST_F(Expression, XVectorChoiceAndReadErrors) {
  ExprResult r;
  EXPECT_EQ(expr_calculate(store, "1+1", {.kind = ANALYSIS_AC}, r), 0);
  EXPECT_EQ(notify.last(), "Cannot find expression X variable for:\n1+1");
  ASSERT_EQ(expr_calculate(store, "2", tran, r), 1);
  EXPECT_EQ(r.x, time);
  EXPECT_EQ(r.re, (std::vector<double>{2, 2, 2, 2}));
  add("EMPTY", {}, time);
  notify.clear();
  EXPECT_EQ(expr_calculate(store, "EMPTY+1", tran, r), 0);
  EXPECT_EQ(notify.last(),
            "Error evaluating expression:\nEMPTY+1\n\nEQNTYPE=1 ERROR#=7\n\nAnalysis/data type selected: "
            "TRANSIENT");
  EXPECT_TRUE(r.re.empty());
  EXPECT_EQ(expr_evaluate(store, "EMPTY+1", tran), nullptr);
}

TEST_F(Expression, TextClassAndUserParameters) {
  const DataVector* f = add("F", {1, 2}, nullptr, ANALYSIS_DC, DATA_CLASS_TEXT);
  add("G", {3, 4}, f, ANALYSIS_DC, DATA_CLASS_TEXT);
  std::istringstream listing(
      "**** USER GLOBAL PARAMETERS\n  NAME      VALUE\n  ----\n  GAIN = 2.5K\n  RLOAD\t50\n  GAIN 7\n  "
      "9BAD 1\n  LATE 3\n");
  UserParameters params;
  EXPECT_EQ(expr_read_user_parameters(listing, params, notify), 2);
  ASSERT_EQ(params.size(), 2u);
  EXPECT_EQ(params[0].name, "GAIN");
  EXPECT_EQ(params[0].value, 2500);
  DataVector* v = expr_evaluate(store, "G*gain+RLOAD", {.kind = ANALYSIS_DC, .parameters = &params});
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->data_class, DATA_CLASS_TEXT);  // found only among the text data
  EXPECT_EQ(values(v), (std::vector<double>{7550, 10050}));
}

TEST_F(Expression, ProgressEveryFiftyPoints) {
  struct Recording : Progress {
    std::vector<std::string> shown;
    void show(const std::string& t) override { shown.push_back(t); }
  } progress;
  RecordingNotify n(kTraceryTitle);
  DataStore s(n, progress);
  ASSERT_TRUE(s.start());
  std::vector<double> x(200000);
  for (size_t i = 0; i < x.size(); ++i) x[i] = static_cast<double>(i);
  s.add_vector({.name = "TIME", .kind = ANALYSIS_TRAN, .points = 200000, .values = x.data()});
  ExprResult r;
  ASSERT_EQ(expr_calculate(s, "TIME*2", tran, r), 1);
  ASSERT_GE(progress.shown.size(), 2u);
  EXPECT_EQ(progress.shown[0], "Calculating expression:\nTIME*2\n200000 points");
  EXPECT_EQ(progress.shown[1], "Calculating expression:\nTIME*2\nPoint=16350 of 200000");
  EXPECT_EQ(r.re[199999], 399998);
}

}  // namespace
}  // namespace zephyrim
