// The block evaluator against the point-by-point reference: random expressions
// over random vectors give the same values and the same messages.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "viewer/calc/calc_fixture.h"
#include "viewer/calc/fast_math.h"
#include "viewer/calc/reference_evaluator.h"

namespace zephyrim {
namespace {

// Random expressions from the grammar, with the odd stray character.
class Generator {
 public:
  Generator(std::mt19937_64& rng, std::vector<std::string> names, bool with_sine)
      : rng_(rng), names_(std::move(names)), with_sine_(with_sine) {}

  std::string expression(int depth = 0) {
    std::string e = term(depth);
    while (pick(3) == 0) e += (pick(2) ? "+" : "-") + term(depth + 1);
    return e;
  }
  std::string mutate(std::string e) {
    static const char kStray[] = "+-*/^:()., ?A1=";
    const size_t at = static_cast<size_t>(pick(static_cast<int>(e.size()) + 1));
    if (pick(2)) return e.insert(at, 1, kStray[pick(sizeof kStray - 1)]);
    return at < e.size() ? e.erase(at, 1) : e;
  }
  int pick(int n) { return static_cast<int>(rng_() % static_cast<uint64_t>(n)); }

 private:
  std::string term(int depth) {
    std::string t = factor(depth);
    while (pick(3) == 0) t += (pick(2) ? "*" : "/") + factor(depth + 1);
    return t;
  }
  std::string factor(int depth) {
    std::string p = primary(depth);
    if (pick(6) == 0) p += "^" + primary(depth + 1);
    return p;
  }
  std::string primary(int depth) {
    const int choice = depth > 4 ? pick(2) : pick(6);
    std::string minus = pick(5) == 0 ? "-" : "";
    switch (choice) {
      case 0:
        return minus + names_[static_cast<size_t>(pick(static_cast<int>(names_.size())))];
      case 1: {
        static const char* const kConstants[] = {"0",  "1",    "2",   "0.5", "3.25",
                                                 "1K", "2.2U", "1E3", "PI",  "K"};
        return minus + kConstants[pick(10)];
      }
      case 2:
        return minus + "(" + expression(depth + 1) + ")";
      default: {
        int f = pick(FUNC_COUNT);
        if (!with_sine_ && (f == FUNC_SIN || f == FUNC_COS)) f = FUNC_ABS;
        return minus + kExprFunctionNames[f] + "(" + expression(depth + 1) + ")";
      }
    }
  }
  std::mt19937_64& rng_;
  std::vector<std::string> names_;
  bool with_sine_;
};

struct Differential : ::testing::Test, CalcStore {
  std::mt19937_64 rng{20261209};

  std::vector<double> random_values(size_t n, bool with_zeros) {
    std::uniform_real_distribution<double> u(-4, 4);
    std::vector<double> v(n);
    for (auto& d : v) d = with_zeros && rng() % 50 == 0 ? 0.0 : u(rng);
    return v;
  }
  void build(int kind) {
    std::vector<double> x(2300);
    for (size_t i = 0; i < x.size(); ++i) x[i] = 1e-3 * static_cast<double>(i) + (i % 7 == 3 ? 0 : 1e-4);
    x[1200] = x[1199];  // a repeated x value
    const DataVector* t = add(kind == ANALYSIS_AC ? "FREQ" : "TIME", x, nullptr, kind);
    add("V(1)", random_values(2300, true), t, kind);
    add("V(2)", random_values(2300, true), t, kind);
    add("V(3)", random_values(1000, false), t, kind);
    if (kind == ANALYSIS_AC) add("V(C)", random_values(4600, true), t, kind, DATA_CLASS_BINARY, 1);
  }

  // Whether two results agree: bit for bit, or within a relative 1e-12 when
  // the block evaluator's own sine and cosine took part.
  static bool same(double a, double b, bool exact) {
    if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
    if (exact) return std::memcmp(&a, &b, sizeof a) == 0 || (a == 0 && b == 0);
    return a == b || std::fabs(a - b) <= 1e-12 * std::max(std::fabs(a), std::fabs(b));
  }

  void compare(const std::string& text, int kind, bool exact) {
    const ExprSelection sel{.kind = kind};
    ExprResult fast, slow;
    notify.clear();
    const int fast_status = expr_calculate(store, text, sel, fast);
    const auto fast_messages = notify.texts();
    notify.clear();
    const int slow_status = expr_calculate_with(store, text, sel, slow, make_point_engine);
    ASSERT_EQ(fast_status, slow_status) << text;
    ASSERT_EQ(fast_messages, notify.texts()) << text;
    ASSERT_EQ(fast.complex, slow.complex) << text;
    ASSERT_EQ(fast.re.size(), slow.re.size()) << text;
    for (size_t i = 0; i < fast.re.size(); ++i) {
      ASSERT_TRUE(same(fast.re[i], slow.re[i], exact))
          << text << " at " << i << ": " << fast.re[i] << " " << slow.re[i];
      if (fast.complex) {
        ASSERT_TRUE(same(fast.im[i], slow.im[i], exact)) << text << " imaginary at " << i;
      }
    }
  }
};

TEST_F(Differential, RealExpressionsBitForBit) {
  build(ANALYSIS_TRAN);
  Generator gen(rng, {"TIME", "V(1)", "V(2)", "V(3)", "V(1,2)", "V(2) :V(3)"}, false);
  for (int n = 0; n < 1500; ++n) {
    std::string e = gen.expression();
    if (gen.pick(8) == 0) e = gen.mutate(e);  // COSH( may lose its H
    compare(e, ANALYSIS_TRAN, e.find("SIN(") == std::string::npos && e.find("COS(") == std::string::npos);
    if (HasFatalFailure()) return;
  }
}

TEST_F(Differential, SineAndCosineWithinRounding) {
  build(ANALYSIS_TRAN);
  Generator gen(rng, {"TIME", "V(1)", "V(2)", "V(3)"}, false);
  // Only products around the sine, which keep its relative error as it is.
  for (int n = 0; n < 400; ++n) {
    compare((gen.pick(2) ? "SIN(" : "COS(") + gen.expression() + ")*(" + gen.expression() + ")",
            ANALYSIS_TRAN, false);
    if (HasFatalFailure()) return;
  }
}

TEST_F(Differential, ComplexExpressionsBitForBit) {
  build(ANALYSIS_AC);
  Generator gen(rng, {"FREQ", "V(1)", "V(C)", "V(3)", "VDB(C)", "VP(C)"}, true);
  for (int n = 0; n < 700; ++n) {
    std::string e = gen.expression() + "+V(C)";
    if (gen.pick(8) == 0) e = gen.mutate(e);
    compare(e, ANALYSIS_AC, true);
    if (HasFatalFailure()) return;
  }
}

TEST(FastMath, SineAndCosineFollowTheLibrary) {
  std::mt19937_64 rng(7);
  std::vector<double> x;
  for (double e = -300; e <= 6; e += 0.25) x.push_back(std::pow(10.0, e));
  for (int i = 0; i < 200000; ++i) x.push_back(std::uniform_real_distribution<double>(-70000, 70000)(rng));
  for (double k = -64; k <= 64; ++k) x.push_back(k * M_PI / 4);
  for (double v : {0.0, -0.0, 65536.0, 65537.5, 1e300, double{HUGE_VAL}, -double{HUGE_VAL}, double{NAN}})
    x.push_back(v);
  auto s = x, c = x;
  fast_sin(s.data(), static_cast<int64_t>(s.size()));
  fast_cos(c.data(), static_cast<int64_t>(c.size()));
  for (size_t i = 0; i < x.size(); ++i) {
    const double rs = std::sin(x[i]), rc = std::cos(x[i]);
    // Near a zero the error of the argument's reduction is what shows.
    EXPECT_TRUE(Differential::same(s[i], rs, false) ||
                std::fabs(s[i] - rs) < 1e-26 * std::fabs(x[i]) + 1e-300)
        << "sin " << x[i] << " " << s[i] << " " << rs;
    EXPECT_TRUE(Differential::same(c[i], rc, false) || std::fabs(c[i] - rc) < 1e-26 * std::fabs(x[i]))
        << "cos " << x[i] << " " << c[i] << " " << rc;
  }
}

}  // namespace
}  // namespace zephyrim
