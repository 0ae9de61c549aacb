// The block evaluator: the shift-reduce parse runs once, at the first point,
// and its reductions become a postfix program; the program then runs over
// blocks of points with one buffer per stack level, so that every operation is
// a plain loop the compiler can vectorise.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "common/notify.h"
#include "common/text_format.h"
#include "viewer/calc/expression_engine.h"
#include "viewer/calc/fast_math.h"

namespace zephyrim {

namespace {

constexpr int64_t kBlock = 2048;

enum class Op : uint8_t { Constant, Variable, Negate, Add, Subtract, Multiply, Divide, Power, Function };

struct Instruction {
  Op op;
  int function = -1;
  int slot = -1;
  int variable = -1;
  double value = 0;
};

// Production lengths and left-hand sides of the grammar, by production number.
constexpr int kLength[17] = {0, 3, 3, 1, 3, 3, 1, 3, 1, 2, 1, 3, 1, 1, 3, 1, 4};
enum Symbol { SYM_E, SYM_T, SYM_F, SYM_P, SYM_U, SYM_A };
constexpr Symbol kLeft[17] = {SYM_E, SYM_E, SYM_E, SYM_E, SYM_T, SYM_T, SYM_T, SYM_F, SYM_F,
                              SYM_P, SYM_P, SYM_U, SYM_U, SYM_A, SYM_A, SYM_A, SYM_A};
constexpr int kErrorState = 30;

bool operand_state(int s) {
  return s == 0 || s == 9 || (s >= 12 && s <= 16) || s == 20;
}

int goto_state(int from, Symbol sym) {
  switch (sym) {
    case SYM_E:
      return from == 0 ? 1 : from == 9 ? 19 : from == 20 ? 28 : kErrorState;
    case SYM_T:
      if (from == 0 || from == 9 || from == 20) return 2;
      return from == 12 ? 21 : from == 13 ? 22 : kErrorState;
    case SYM_F:
      if (from == 0 || from == 9 || from == 12 || from == 13 || from == 20) return 3;
      return from == 14 ? 23 : from == 15 ? 24 : from == 16 ? 25 : kErrorState;
    case SYM_P:
      return operand_state(from) ? 4 : kErrorState;
    case SYM_U:
      return operand_state(from) ? 6 : from == 5 ? 17 : kErrorState;
    case SYM_A:
      return operand_state(from) || from == 5 ? 8 : kErrorState;
  }
  return kErrorState;
}

// The action of a state on a token: a shift (positive state), a reduction
// (negative production number), accept (0) or an error (kErrorState).
int action(int state, int token) {
  constexpr int kAccept = 0;
  if (operand_state(state) || state == 5) {
    switch (token) {
      case TOKEN_CONSTANT:
        return 10;
      case TOKEN_VARIABLE:
        return 7;
      case TOKEN_FUNCTION:
        return 11;
      case TOKEN_OPEN:
        return 9;
      case TOKEN_MINUS:
        return state == 5 ? kErrorState : 5;
      default:
        return kErrorState;
    }
  }
  switch (state) {
    case 1:
      return token == TOKEN_END     ? kAccept
             : token == TOKEN_PLUS  ? 12
             : token == TOKEN_MINUS ? 13
                                    : kErrorState;
    case 19:
    case 28:
      if (token == TOKEN_PLUS) return 12;
      if (token == TOKEN_MINUS) return 13;
      return token == TOKEN_CLOSE ? (state == 19 ? 27 : 29) : kErrorState;
    case 2:
    case 21:
    case 22:
      if (token == TOKEN_TIMES) return 14;
      if (token == TOKEN_DIVIDE) return 15;
      return state == 2 ? -3 : state == 21 ? -1 : -2;
    case 4:
      return token == TOKEN_POWER ? 16 : -8;
    case 7:
      return token == TOKEN_COLON ? 18 : -13;
    case 11:
      return token == TOKEN_OPEN ? 20 : kErrorState;
    case 18:
      return token == TOKEN_VARIABLE ? 26 : kErrorState;
    case 3:
      return -6;
    case 6:
      return -10;
    case 8:
      return -12;
    case 10:
      return -15;
    case 17:
      return -9;
    case 23:
      return -4;
    case 24:
      return -5;
    case 25:
      return -7;
    case 26:
      return -11;
    case 27:
      return -14;
    case 29:
      return -16;
    default:
      return kErrorState;
  }
}

class BlockEngine : public ExprEngine {
 public:
  explicit BlockEngine(const ExprInput& in) : in_(in) {}
  int64_t run(int64_t first, int64_t count, double* re, double* im) override;

 private:
  bool compile();
  void emit_reduction(int production, const std::vector<const Token*>& rhs);
  void read(int variable);
  double x_at(int64_t i) const { return in_.x[static_cast<size_t>(std::min<int64_t>(i, in_.x.size() - 1))]; }
  void run_real(int64_t first, int64_t n, double* out);
  void run_complex(int64_t first, int64_t n, double* re, double* im);
  void real_function(const Instruction& ins, int64_t first, int64_t n, double* a);
  void complex_function(const Instruction& ins, int64_t first, int64_t n, double* re, double* im);
  double* level(int sp) { return buffers_.data() + static_cast<size_t>(sp) * block_; }
  double* level_im(int sp) { return buffers_im_.data() + static_cast<size_t>(sp) * block_; }

  ExprInput in_;
  std::vector<Instruction> program_;
  int depth_ = 0;
  int64_t block_ = kBlock;
  bool compiled_ = false;
  std::vector<double> buffers_, buffers_im_, zeros_;
  DiffState diff_, diff_im_;
  std::vector<IntegralSlot> slots_, slots_im_;
};

void BlockEngine::read(int variable) {
  const int e = expr_read_variable(in_.store, in_.list.variables[static_cast<size_t>(variable)]);
  if (e != 0) error = e;
}

void BlockEngine::emit_reduction(int production, const std::vector<const Token*>& rhs) {
  switch (production) {
    case 1:
      program_.push_back({Op::Add});
      break;
    case 2:
      program_.push_back({Op::Subtract});
      break;
    case 4:
      program_.push_back({Op::Multiply});
      break;
    case 5:
      program_.push_back({Op::Divide});
      break;
    case 7:
      program_.push_back({Op::Power});
      break;
    case 9:
      program_.push_back({Op::Negate});
      break;
    case 11:
      // a:b has no value of its own; it stands for a, b is read for its errors.
      read(rhs[0]->variable);
      read(rhs[2]->variable);
      program_.push_back({.op = Op::Variable, .variable = rhs[0]->variable});
      break;
    case 13:
      read(rhs[0]->variable);
      program_.push_back({.op = Op::Variable, .variable = rhs[0]->variable});
      break;
    case 15:
      program_.push_back({.op = Op::Constant, .value = rhs[0]->value});
      break;
    case 16:
      program_.push_back({.op = Op::Function, .function = rhs[0]->function, .slot = rhs[0]->slot});
      break;
    default:
      break;  // unit productions and brackets leave the value as it is
  }
}

bool BlockEngine::compile() {
  struct Entry {
    int state;
    const Token* token;
  };
  std::vector<Entry> stack{{0, nullptr}};
  const auto& tokens = in_.list.tokens;
  size_t cursor = 0;
  const std::string& text = in_.list.text;
  for (;;) {
    const Token& t = tokens[std::min(cursor, tokens.size() - 1)];
    const int state = stack.back().state;
    const int a = state == kErrorState ? kErrorState : action(state, t.code);
    if (a == 0) break;
    if (a == kErrorState) {
      in_.store.notify().error(strprintf("%s invalid state - stack=%u token=%d processing:\n%s",
                                         in_.list.complex ? "Complex expression" : "Expression",
                                         static_cast<unsigned>(state), t.code, text.c_str()));
      type = 0;
      return false;
    }
    if (a > 0) {
      if (stack.size() >= static_cast<size_t>(kParseStackMax)) {
        in_.store.notify().error("Expression parser stack overflow processing:\n" + text);
        type = 0;
        return false;
      }
      stack.push_back({a, &t});
      ++cursor;
      continue;
    }
    const int p = -a;
    std::vector<const Token*> rhs;
    for (size_t k = stack.size() - static_cast<size_t>(kLength[p]); k < stack.size(); ++k)
      rhs.push_back(stack[k].token);
    emit_reduction(p, rhs);
    stack.resize(stack.size() - static_cast<size_t>(kLength[p]));
    stack.push_back({goto_state(stack.back().state, kLeft[p]), rhs[0]});
  }
  int sp = 0;
  int diffs = 0;
  for (const auto& ins : program_) {
    if (ins.op == Op::Constant || ins.op == Op::Variable) depth_ = std::max(depth_, ++sp);
    if (ins.op >= Op::Add && ins.op <= Op::Power) --sp;
    if (ins.op == Op::Function && ins.function == FUNC_DIFF) ++diffs;
  }
  // Several DIFF calls share one previous pair point by point, so they must
  // see the points one at a time.
  if (diffs > 1) block_ = 1;
  const auto levels = static_cast<size_t>(std::max(depth_, 1)) * static_cast<size_t>(block_);
  buffers_.assign(levels, 0.0);
  if (in_.list.complex) {
    buffers_im_.assign(levels, 0.0);
    zeros_.assign(static_cast<size_t>(block_), 0.0);
  }
  slots_.assign(kIntegralSlots, {});
  slots_im_.assign(kIntegralSlots, {});
  return true;
}

int64_t BlockEngine::run(int64_t first, int64_t count, double* re, double* im) {
  if (!compiled_) {
    compiled_ = true;
    if (in_.x.empty()) error = EXPR_X_EMPTY;
    if (!compile()) return 0;
  }
  if (type == 0 || error != 0) return 0;
  for (int64_t done = 0; done < count;) {
    const int64_t n = std::min(block_, count - done);
    if (in_.list.complex)
      run_complex(first + done, n, re + done, im + done);
    else
      run_real(first + done, n, re + done);
    done += n;
  }
  return count;
}

void BlockEngine::run_real(int64_t first, int64_t n, double* out) {
  std::vector<const double*> operand(static_cast<size_t>(depth_) + 1);
  int sp = 0;
  for (const auto& ins : program_) {
    switch (ins.op) {
      case Op::Constant: {
        double* d = level(sp);
        std::fill(d, d + n, ins.value);
        operand[static_cast<size_t>(sp++)] = d;
        break;
      }
      case Op::Variable: {
        const ExprVariable& v = in_.list.variables[static_cast<size_t>(ins.variable)];
        if (!v.vector->complex && first + n <= static_cast<int64_t>(v.values.size())) {
          operand[static_cast<size_t>(sp++)] = v.values.data() + first;  // read in place
        } else {
          double* d = level(sp);
          for (int64_t k = 0; k < n; ++k) d[k] = expr_variable_real(v, first + k);
          operand[static_cast<size_t>(sp++)] = d;
        }
        break;
      }
      case Op::Negate: {
        const double* a = operand[static_cast<size_t>(sp - 1)];
        double* d = level(sp - 1);
        for (int64_t k = 0; k < n; ++k) d[k] = -a[k];
        operand[static_cast<size_t>(sp - 1)] = d;
        break;
      }
      case Op::Function: {
        const double* a = operand[static_cast<size_t>(sp - 1)];
        double* d = level(sp - 1);
        if (a != d) std::memcpy(d, a, static_cast<size_t>(n) * sizeof(double));
        real_function(ins, first, n, d);
        operand[static_cast<size_t>(sp - 1)] = d;
        break;
      }
      default: {
        const double* a = operand[static_cast<size_t>(sp - 2)];
        const double* b = operand[static_cast<size_t>(sp - 1)];
        double* d = level(sp - 2);
        switch (ins.op) {
          case Op::Add:
            for (int64_t k = 0; k < n; ++k) d[k] = a[k] + b[k];
            break;
          case Op::Subtract:
            for (int64_t k = 0; k < n; ++k) d[k] = a[k] - b[k];
            break;
          case Op::Multiply:
            for (int64_t k = 0; k < n; ++k) d[k] = a[k] * b[k];
            break;
          case Op::Divide:
            for (int64_t k = 0; k < n; ++k) d[k] = b[k] == 0 ? HUGE_VAL : a[k] / b[k];
            break;
          default:
            for (int64_t k = 0; k < n; ++k) d[k] = std::pow(a[k], b[k]);
            break;
        }
        operand[static_cast<size_t>(--sp - 1)] = d;
        break;
      }
    }
  }
  std::memcpy(out, operand[0], static_cast<size_t>(n) * sizeof(double));
}

void BlockEngine::real_function(const Instruction& ins, int64_t first, int64_t n, double* a) {
  switch (ins.function) {
    case FUNC_ABS:
      for (int64_t k = 0; k < n; ++k) a[k] = std::fabs(a[k]);
      return;
    case FUNC_SQR:
      for (int64_t k = 0; k < n; ++k) a[k] = a[k] * a[k];
      return;
    case FUNC_SQRT:
      for (int64_t k = 0; k < n; ++k) a[k] = std::sqrt(a[k]);
      return;
    case FUNC_URAMP:
      for (int64_t k = 0; k < n; ++k) a[k] = a[k] >= 0 ? a[k] : 0.0;
      return;
    case FUNC_SIN:
      fast_sin(a, n);
      return;
    case FUNC_COS:
      fast_cos(a, n);
      return;
    case FUNC_DB:
    case FUNC_M:
    case FUNC_P:
    case FUNC_R:
    case FUNC_IMG:
    case FUNC_JCMPLX:
      return;
    case FUNC_DIFF: {
      bool fix = false;
      for (int64_t k = 0; k < n; ++k) a[k] = expr_diff(diff_, first + k, x_at(first + k), a[k], fix);
      fix_first = fix_first || fix;
      return;
    }
    case FUNC_S:
    case FUNC_AVG:
    case FUNC_RMS: {
      IntegralSlot& s = slots_[static_cast<size_t>(ins.slot)];
      for (int64_t k = 0; k < n; ++k) a[k] = expr_integral(s, ins.function, first + k, x_at(first + k), a[k]);
      return;
    }
    default:
      for (int64_t k = 0; k < n; ++k) a[k] = expr_real_function(ins.function, a[k]);
      return;
  }
}

void BlockEngine::run_complex(int64_t first, int64_t n, double* out_re, double* out_im) {
  std::vector<const double*> ore(static_cast<size_t>(depth_) + 1), oim(static_cast<size_t>(depth_) + 1);
  int sp = 0;
  auto put = [&](int at, const double* r, const double* i) {
    ore[static_cast<size_t>(at)] = r;
    oim[static_cast<size_t>(at)] = i;
  };
  for (const auto& ins : program_) {
    switch (ins.op) {
      case Op::Constant: {
        double* d = level(sp);
        std::fill(d, d + n, ins.value);
        put(sp++, d, zeros_.data());
        break;
      }
      case Op::Variable: {
        const ExprVariable& v = in_.list.variables[static_cast<size_t>(ins.variable)];
        if (!v.vector->complex && first + n <= static_cast<int64_t>(v.values.size())) {
          put(sp++, v.values.data() + first, zeros_.data());
          break;
        }
        double* r = level(sp);
        double* i = level_im(sp);
        for (int64_t k = 0; k < n; ++k) {
          const auto z = expr_variable_complex(v, first + k);
          r[k] = z.real();
          i[k] = z.imag();
        }
        put(sp++, r, i);
        break;
      }
      case Op::Negate: {
        const double* ar = ore[static_cast<size_t>(sp - 1)];
        const double* ai = oim[static_cast<size_t>(sp - 1)];
        double* r = level(sp - 1);
        double* i = level_im(sp - 1);
        for (int64_t k = 0; k < n; ++k) {
          r[k] = 0.0 - ar[k];
          i[k] = 0.0 - ai[k];
        }
        put(sp - 1, r, i);
        break;
      }
      case Op::Function: {
        double* r = level(sp - 1);
        double* i = level_im(sp - 1);
        if (ore[static_cast<size_t>(sp - 1)] != r)
          std::memcpy(r, ore[static_cast<size_t>(sp - 1)], static_cast<size_t>(n) * sizeof(double));
        if (oim[static_cast<size_t>(sp - 1)] != i)
          std::memcpy(i, oim[static_cast<size_t>(sp - 1)], static_cast<size_t>(n) * sizeof(double));
        complex_function(ins, first, n, r, i);
        put(sp - 1, r, i);
        break;
      }
      default: {
        const double* ar = ore[static_cast<size_t>(sp - 2)];
        const double* ai = oim[static_cast<size_t>(sp - 2)];
        const double* br = ore[static_cast<size_t>(sp - 1)];
        const double* bi = oim[static_cast<size_t>(sp - 1)];
        double* r = level(sp - 2);
        double* i = level_im(sp - 2);
        for (int64_t k = 0; k < n; ++k) {
          const std::complex<double> a(ar[k], ai[k]), b(br[k], bi[k]);
          std::complex<double> z;
          switch (ins.op) {
            case Op::Add:
              z = {a.real() + b.real(), a.imag() + b.imag()};
              break;
            case Op::Subtract:
              z = {a.real() - b.real(), a.imag() - b.imag()};
              break;
            case Op::Multiply:
              z = expr_complex_multiply(a, b);
              break;
            case Op::Divide:
              z = expr_complex_divide(a, b);
              break;
            default:
              z = expr_complex_power(a, b);
              break;
          }
          r[k] = z.real();
          i[k] = z.imag();
        }
        put(--sp - 1, r, i);
        break;
      }
    }
  }
  std::memcpy(out_re, ore[0], static_cast<size_t>(n) * sizeof(double));
  std::memcpy(out_im, oim[0], static_cast<size_t>(n) * sizeof(double));
}

void BlockEngine::complex_function(const Instruction& ins, int64_t first, int64_t n, double* re, double* im) {
  switch (ins.function) {
    case FUNC_DIFF: {
      bool fix = false;
      for (int64_t k = 0; k < n; ++k) {
        const double x = x_at(first + k);
        re[k] = expr_diff(diff_, first + k, x, re[k], fix);
        im[k] = expr_diff(diff_im_, first + k, x, im[k], fix);
      }
      fix_first = fix_first || fix;
      return;
    }
    case FUNC_S:
    case FUNC_AVG: {
      IntegralSlot& sr = slots_[static_cast<size_t>(ins.slot)];
      IntegralSlot& si = slots_im_[static_cast<size_t>(ins.slot)];
      for (int64_t k = 0; k < n; ++k) {
        const double x = x_at(first + k);
        re[k] = expr_integral(sr, ins.function, first + k, x, re[k]);
        im[k] = expr_integral(si, ins.function, first + k, x, im[k]);
      }
      return;
    }
    case FUNC_RMS: {
      IntegralSlot& s = slots_[static_cast<size_t>(ins.slot)];
      for (int64_t k = 0; k < n; ++k) {
        re[k] = expr_integral(s, FUNC_RMS, first + k, x_at(first + k), std::hypot(re[k], im[k]));
        im[k] = 0;
      }
      return;
    }
    default:
      for (int64_t k = 0; k < n; ++k) {
        const auto z = expr_complex_function(ins.function, {re[k], im[k]});
        re[k] = z.real();
        im[k] = z.imag();
      }
      return;
  }
}

}  // namespace

std::unique_ptr<ExprEngine> make_block_engine(const ExprInput& input) {
  return std::make_unique<BlockEngine>(input);
}

}  // namespace zephyrim
