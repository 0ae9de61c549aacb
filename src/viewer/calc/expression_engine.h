#pragma once
// How the points of an expression are computed. The evaluator of the library
// parses the tokens once into a program and runs it over blocks of points; the
// driver (expr_calculate) takes any engine, so that a plain per-point engine can
// stand beside it as a reference.
#include <cmath>
#include <complex>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>

#include "viewer/calc/expression.h"

namespace zephyrim {

// One evaluation's computing of points.
class ExprEngine {
 public:
  virtual ~ExprEngine() = default;
  // Computes points first .. first+count-1 into re[0 .. count-1] (and im for
  // a complex expression). Returns how many were computed before the first failing
  // point; type and error then tell why.
  virtual int64_t run(int64_t first, int64_t count, double* re, double* im) = 0;

  int type = 1;            // EQNTYPE: 0 when the parser failed
  int error = 0;           // ERROR#
  bool fix_first = false;  // DIFF asked for the first point to be extrapolated
};

// What an engine works on: the tokens, their variables and the x values (the
// last value holds beyond their end; none gives ERROR# 10).
struct ExprInput {
  DataStore& store;
  TokenList& list;
  std::span<const double> x;
};

using ExprEngineFactory = std::function<std::unique_ptr<ExprEngine>(const ExprInput& input)>;

// The library's engine: one parse, then blocks of points.
std::unique_ptr<ExprEngine> make_block_engine(const ExprInput& input);

// expr_calculate with the given engine.
int expr_calculate_with(DataStore& store, std::string_view text, const ExprSelection& selection,
                        ExprResult& result, const ExprEngineFactory& engine);

// The value of a variable at point i in a real evaluation (a complex vector
// gives its magnitude) and in a complex one; the last value holds beyond the
// end. Values must not be empty.
double expr_variable_real(const ExprVariable& v, int64_t i);
std::complex<double> expr_variable_complex(const ExprVariable& v, int64_t i);

// The functions of one value that need no history.
double expr_real_function(int function, double x);
std::complex<double> expr_complex_function(int function, std::complex<double> a);
// Arithmetic as both evaluators do it: a zero divisor gives +infinity.
inline double expr_divide(double a, double b) {
  return b == 0 ? HUGE_VAL : a / b;
}
std::complex<double> expr_complex_divide(std::complex<double> a, std::complex<double> b);
std::complex<double> expr_complex_power(std::complex<double> a, std::complex<double> b);
std::complex<double> expr_complex_multiply(std::complex<double> a, std::complex<double> b);

// The state of the running functions: one DIFF pair for the whole expression,
// one integral slot per S, AVG and RMS call. A complex evaluation keeps one set
// for the real parts and one for the imaginary parts.
struct DiffState {
  double x = 0, f = 0;
};
struct IntegralSlot {
  double x = 0, f = 0, integral = 0, x0 = 0;
};
// The running functions at point i; DIFF sets fix_first at point 0.
double expr_diff(DiffState& s, int64_t i, double x, double f, bool& fix_first);
double expr_integral(IntegralSlot& s, int function, int64_t i, double x, double f);

}  // namespace zephyrim
