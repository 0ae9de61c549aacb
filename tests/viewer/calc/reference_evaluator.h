#pragma once
// The evaluator of expressions as first described: the shift-reduce parser
// runs over the tokens once for every point, each run giving one value. Slow,
// and kept only as the reference that the block evaluator must agree with.
#include <algorithm>
#include <cmath>
#include <complex>
#include <memory>
#include <vector>

#include "common/notify.h"
#include "common/text_format.h"
#include "viewer/calc/expression_engine.h"

namespace zephyrim {
namespace reference {

using Value = std::complex<double>;

// The parser tables, written out state by state. Actions: a shift to a state,
// a reduction (negative production), 0 accept, 99 error.
constexpr int kError = 99;
constexpr int kTokens = 13;

struct Tables {
  int action[31][kTokens];
  int go[31][6];  // E T F P U A
  Tables() {
    for (auto& row : action)
      for (int& a : row) a = kError;
    for (auto& row : go)
      for (int& g : row) g = 30;
    for (int s : {0, 9, 12, 13, 14, 15, 16, 20, 5}) {
      action[s][TOKEN_CONSTANT] = 10;
      action[s][TOKEN_VARIABLE] = 7;
      action[s][TOKEN_FUNCTION] = 11;
      action[s][TOKEN_OPEN] = 9;
      if (s != 5) action[s][TOKEN_MINUS] = 5;
      go[s][5] = 8;  // A
      if (s != 5) go[s][3] = 4, go[s][4] = 6;
    }
    go[5][4] = 17;
    action[1][TOKEN_END] = 0, action[1][TOKEN_PLUS] = 12, action[1][TOKEN_MINUS] = 13;
    for (int s : {19, 28}) action[s][TOKEN_PLUS] = 12, action[s][TOKEN_MINUS] = 13;
    action[19][TOKEN_CLOSE] = 27;
    action[28][TOKEN_CLOSE] = 29;
    const int reduce_t[3][2] = {{2, -3}, {21, -1}, {22, -2}};
    for (const auto& r : reduce_t) {
      for (int& a : action[r[0]]) a = r[1];
      action[r[0]][TOKEN_TIMES] = 14;
      action[r[0]][TOKEN_DIVIDE] = 15;
    }
    for (int& a : action[4]) a = -8;
    action[4][TOKEN_POWER] = 16;
    for (int& a : action[7]) a = -13;
    action[7][TOKEN_COLON] = 18;
    action[11][TOKEN_OPEN] = 20;
    action[18][TOKEN_VARIABLE] = 26;
    const int reduce[][2] = {{3, -6},  {6, -10}, {8, -12},  {10, -15}, {17, -9}, {23, -4},
                             {24, -5}, {25, -7}, {26, -11}, {27, -14}, {29, -16}};
    for (const auto& r : reduce)
      for (int& a : action[r[0]]) a = r[1];
    go[0][0] = 1, go[9][0] = 19, go[20][0] = 28;
    for (int s : {0, 9, 20}) go[s][1] = 2;
    go[12][1] = 21, go[13][1] = 22;
    for (int s : {0, 9, 12, 13, 20}) go[s][2] = 3;
    go[14][2] = 23, go[15][2] = 24, go[16][2] = 25;
  }
};
inline const Tables kTables;
constexpr int kLength[17] = {0, 3, 3, 1, 3, 3, 1, 3, 1, 2, 1, 3, 1, 1, 3, 1, 4};
constexpr int kLeft[17] = {0, 0, 0, 0, 1, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 5, 5};

class PointEngine : public ExprEngine {
 public:
  explicit PointEngine(const ExprInput& in) : in_(in), slots_(kIntegralSlots), slots_im_(kIntegralSlots) {}

  int64_t run(int64_t first, int64_t count, double* re, double* im) override {
    for (int64_t i = first; i < first + count; ++i) {
      const Value v = point(i);
      if (type == 0 || error != 0) return i - first;
      re[i - first] = v.real();
      if (im) im[i - first] = v.imag();
    }
    return count;
  }

 private:
  struct Entry {
    int state;
    Value value;
    const Token* token;
  };

  Value variable(int index, int64_t i) {
    ExprVariable& v = in_.list.variables[static_cast<size_t>(index)];
    const int e = expr_read_variable(in_.store, v);
    if (e != 0) {
      error = e;
      return HUGE_VAL;
    }
    return complex() ? expr_variable_complex(v, i) : Value(expr_variable_real(v, i), 0);
  }
  bool complex() const { return in_.list.complex != 0; }

  Value function(const Token& f, Value a, int64_t i, double x) {
    const size_t slot = static_cast<size_t>(std::max(f.slot, 0));
    bool fix = false;
    Value r;
    switch (f.function) {
      case FUNC_DIFF:
        r = {expr_diff(diff_, i, x, a.real(), fix),
             complex() ? expr_diff(diff_im_, i, x, a.imag(), fix) : 0.0};
        fix_first = fix_first || fix;
        return r;
      case FUNC_RMS:
        if (complex())
          return {expr_integral(slots_[slot], FUNC_RMS, i, x, std::hypot(a.real(), a.imag())), 0.0};
        return {expr_integral(slots_[slot], FUNC_RMS, i, x, a.real()), 0.0};
      case FUNC_S:
      case FUNC_AVG:
        return {expr_integral(slots_[slot], f.function, i, x, a.real()),
                complex() ? expr_integral(slots_im_[slot], f.function, i, x, a.imag()) : 0.0};
      default:
        return complex() ? expr_complex_function(f.function, a)
                         : Value(expr_real_function(f.function, a.real()), 0);
    }
  }

  Value reduce(int p, const Entry* rhs, int64_t i, double x) {
    const bool c = complex();
    switch (p) {
      case 1:
        return {rhs[0].value.real() + rhs[2].value.real(), rhs[0].value.imag() + rhs[2].value.imag()};
      case 2:
        return {rhs[0].value.real() - rhs[2].value.real(), rhs[0].value.imag() - rhs[2].value.imag()};
      case 4:
        return c ? expr_complex_multiply(rhs[0].value, rhs[2].value)
                 : Value(rhs[0].value.real() * rhs[2].value.real(), 0);
      case 5:
        return c ? expr_complex_divide(rhs[0].value, rhs[2].value)
                 : Value(expr_divide(rhs[0].value.real(), rhs[2].value.real()), 0);
      case 7:
        return c ? expr_complex_power(rhs[0].value, rhs[2].value)
                 : Value(std::pow(rhs[0].value.real(), rhs[2].value.real()), 0);
      case 9:
        return c ? Value(0.0 - rhs[1].value.real(), 0.0 - rhs[1].value.imag())
                 : Value(-rhs[1].value.real(), 0);
      case 11: {
        const Value a = variable(rhs[0].token->variable, i);
        variable(rhs[2].token->variable, i);
        return a;
      }
      case 13:
        return variable(rhs[0].token->variable, i);
      case 14:
        return rhs[1].value;
      case 15:
        return {rhs[0].token->value, 0};
      case 16:
        return function(*rhs[0].token, rhs[2].value, i, x);
      default:
        return rhs[0].value;
    }
  }

  Value point(int64_t i) {
    double x = HUGE_VAL;
    if (in_.x.empty())
      error = EXPR_X_EMPTY;
    else
      x = in_.x[static_cast<size_t>(std::min<int64_t>(i, in_.x.size() - 1))];
    std::vector<Entry> stack{{0, 0, nullptr}};
    size_t cursor = 0;
    const auto& tokens = in_.list.tokens;
    for (;;) {
      const Token& t = tokens[std::min(cursor, tokens.size() - 1)];
      const int state = stack.back().state;
      const int a = kTables.action[state][t.code];
      if (a == 0) return stack.back().value;
      if (a == kError) {
        in_.store.notify().error(strprintf("%s invalid state - stack=%u token=%d processing:\n%s",
                                           complex() ? "Complex expression" : "Expression",
                                           static_cast<unsigned>(state), t.code, in_.list.text.c_str()));
        type = 0;
        return 0;
      }
      if (a > 0) {
        if (stack.size() >= static_cast<size_t>(kParseStackMax)) {
          in_.store.notify().error("Expression parser stack overflow processing:\n" + in_.list.text);
          type = 0;
          return 0;
        }
        stack.push_back({a, 0, &t});
        ++cursor;
        continue;
      }
      const int p = -a;
      const size_t base = stack.size() - static_cast<size_t>(kLength[p]);
      const Value v = reduce(p, &stack[base], i, x);
      const Token* token = stack[base].token;
      stack.resize(base);
      stack.push_back({kTables.go[stack.back().state][kLeft[p]], v, token});
    }
  }

  ExprInput in_;
  DiffState diff_, diff_im_;
  std::vector<IntegralSlot> slots_, slots_im_;
};

}  // namespace reference

inline std::unique_ptr<ExprEngine> make_point_engine(const ExprInput& input) {
  return std::make_unique<reference::PointEngine>(input);
}

}  // namespace zephyrim
