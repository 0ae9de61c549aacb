// The evaluation of an expression over its points: the x vector, progress,
// the stop at the first error, the DIFF first point and the registration.
#include "viewer/calc/expression.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "common/notify.h"
#include "common/progress.h"
#include "common/text_format.h"
#include "viewer/calc/expression_engine.h"

namespace zephyrim {

namespace {

constexpr int64_t kProgressEvery = 50;
// Points between two progress reports; the engine writes them here first and
// they are appended to the result, which is never filled with zeros first.
constexpr int64_t kChunk = 1 << 14;

// x values within 32-bit range truncated as the processor does: anything out
// of range or NaN gives the "integer indefinite" value.
double truncate32(double x) {
  if (!(x > -2147483649.0 && x < 2147483648.0)) return -2147483648.0;
  return static_cast<double>(static_cast<int32_t>(x));
}

bool kind_matches(int query, int kind) {
  if (query < 0 || kind == ANALYSIS_OTHER || kind == query) return true;
  return query == ANALYSIS_AC && (kind == ANALYSIS_NOISE || kind == ANALYSIS_DISTO);
}

// The first real x-axis vector of the class and kind (and run, when one is chosen).
const DataVector* default_x(DataStore& store, int cls, int kind, int run) {
  const DataClass* c = store.data_class(cls);
  if (!c) return nullptr;
  for (const auto& v : c->vectors)
    if (!v.x && !v.complex && kind_matches(kind, v.kind) && (run <= 0 || v.run == run)) return &v;
  return nullptr;
}

// A result of millions of points would otherwise take one page fault per 4 KB
// as it is written: ask for huge pages over the part of the room they fit in.
void advise_huge_pages(std::vector<double>& v) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  constexpr uintptr_t kHuge = uintptr_t{2} << 20;
  const auto begin = reinterpret_cast<uintptr_t>(v.data());
  const uintptr_t end = begin + v.capacity() * sizeof(double);
  const uintptr_t first = (begin + kHuge - 1) & ~(kHuge - 1);
  const uintptr_t last = end & ~(kHuge - 1);
  if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
  (void)v;
#endif
}

// Straight line through points 1 and 2, back to x0 (the first DIFF value is a placeholder).
void fix_first_point(std::vector<double>& y, std::span<const double> x, int64_t points) {
  if (points == 2) {
    y[0] = y[1];
  } else if (points > 2) {
    auto xi = [&](size_t i) { return x[std::min(i, x.size() - 1)]; };
    y[0] = y[1] + (y[2] - y[1]) * (xi(0) - xi(1)) / (xi(2) - xi(1));
  }
}

}  // namespace

double expr_variable_real(const ExprVariable& v, int64_t i) {
  if (v.vector->complex) {
    const int64_t n = static_cast<int64_t>(v.values.size() / 2);
    const size_t k = static_cast<size_t>(std::min(i, n - 1));
    return std::hypot(v.values[2 * k], v.values[2 * k + 1]);
  }
  return v.values[static_cast<size_t>(std::min(i, static_cast<int64_t>(v.values.size()) - 1))];
}

std::complex<double> expr_variable_complex(const ExprVariable& v, int64_t i) {
  if (!v.vector->complex) return {expr_variable_real(v, i), 0.0};
  const int64_t n = static_cast<int64_t>(v.values.size() / 2);
  const size_t k = static_cast<size_t>(std::min(i, n - 1));
  return {v.values[2 * k], v.values[2 * k + 1]};
}

double expr_real_function(int function, double x) {
  switch (function) {
    case FUNC_ABS:
      return std::fabs(x);
    case FUNC_ACOS:
      return std::acos(x);
    case FUNC_ASIN:
      return std::asin(x);
    case FUNC_ATAN:
      return std::atan(x);
    case FUNC_COSH:
      return std::cosh(x);
    case FUNC_COS:
      return std::cos(x);
    case FUNC_EXP:
      return std::exp(x);
    case FUNC_LOG10:
      return std::log10(x);
    case FUNC_LOG:
      return std::log(x);
    case FUNC_POW10:
      return std::pow(10.0, x);
    case FUNC_ROUND:
      return truncate32(x + 0.5);
    case FUNC_SINH:
      return std::sinh(x);
    case FUNC_SIN:
      return std::sin(x);
    case FUNC_SQRT:
      return std::sqrt(x);
    case FUNC_SQR:
      return x * x;
    case FUNC_TANH:
      return std::tanh(x);
    case FUNC_TAN:
      return std::tan(x);
    case FUNC_TRUNC:
      return truncate32(x);
    case FUNC_URAMP:
      return x >= 0 ? x : 0.0;
    default:
      return x;  // DB, M, P, R, IMG, JCMPLX mean something for complex values only
  }
}

std::complex<double> expr_complex_multiply(std::complex<double> a, std::complex<double> b) {
  return {a.real() * b.real() - a.imag() * b.imag(), a.imag() * b.real() + a.real() * b.imag()};
}

std::complex<double> expr_complex_divide(std::complex<double> a, std::complex<double> b) {
  const double m = b.real() * b.real() + b.imag() * b.imag();
  if (m == 0) return {HUGE_VAL, 0.0};
  return {(a.real() * b.real() + a.imag() * b.imag()) / m, (a.imag() * b.real() - a.real() * b.imag()) / m};
}

std::complex<double> expr_complex_power(std::complex<double> a, std::complex<double> b) {
  if (a.imag() == 0 && b.imag() == 0) return {std::pow(a.real(), b.real()), 0.0};
  return std::pow(a, b);
}

std::complex<double> expr_complex_function(int function, std::complex<double> a) {
  const double re = a.real(), im = a.imag();
  const double m = std::hypot(re, im);
  switch (function) {
    case FUNC_M:
      return {m, 0.0};
    case FUNC_ABS:
      return {m, 0.0};
    case FUNC_DB:
      return {20 * std::log10(m), 0.0};
    case FUNC_P:
      return {m < 1e-20 ? 0.0 : std::atan2(im, re), 0.0};
    case FUNC_R:
      return {re, 0.0};
    case FUNC_IMG:
      return {im, 0.0};
    case FUNC_JCMPLX:
      return {0.0, re};
    case FUNC_EXP: {
      const double e = std::exp(re);
      return {e * std::cos(im), e * std::sin(im)};
    }
    case FUNC_SQRT:
      return std::sqrt(a);
    case FUNC_SQR:
      return expr_complex_multiply(a, a);
    case FUNC_LOG:
      if (m == 0) return {100.0, 0.0};
      return {std::log(m), im == 0 ? 0.0 : std::atan2(im, re)};
    case FUNC_LOG10:
      if (m == 0) return {100.0, 0.0};
      return {std::log10(m), im == 0 ? 0.0 : std::atan2(im, re)};
    // The rest have no complex meaning of their own: the analytic functions
    // take their complex form, the integer ones work on both parts.
    case FUNC_ACOS:
      return std::acos(a);
    case FUNC_ASIN:
      return std::asin(a);
    case FUNC_ATAN:
      return std::atan(a);
    case FUNC_COSH:
      return std::cosh(a);
    case FUNC_COS:
      return std::cos(a);
    case FUNC_SINH:
      return std::sinh(a);
    case FUNC_SIN:
      return std::sin(a);
    case FUNC_TANH:
      return std::tanh(a);
    case FUNC_TAN:
      return std::tan(a);
    case FUNC_POW10:
      return std::exp(a * std::log(10.0));
    case FUNC_ROUND:
      return {truncate32(re + 0.5), truncate32(im + 0.5)};
    case FUNC_TRUNC:
      return {truncate32(re), truncate32(im)};
    case FUNC_URAMP:
      return re >= 0 ? a : std::complex<double>(0.0, 0.0);
    default:
      return a;
  }
}

double expr_diff(DiffState& s, int64_t i, double x, double f, bool& fix_first) {
  if (i == 0) {
    fix_first = true;
    s = {x, f};
    return 0;
  }
  if (x == s.x) return HUGE_VAL;
  const double d = (f - s.f) / (x - s.x);
  s = {x, f};
  return d;
}

double expr_integral(IntegralSlot& s, int function, int64_t i, double x, double f) {
  const double g = function == FUNC_RMS ? f * f : f;
  if (i == 0) {
    s = {x, g, 0.0, x};
    if (function == FUNC_S) return 0;
    return function == FUNC_RMS ? std::fabs(f) : f;
  }
  s.integral += (x - s.x) * (g + s.f) / 2;
  s.x = x;
  s.f = g;
  if (function == FUNC_S) return s.integral;
  const double span = x - s.x0;
  const double mean = span == 0 ? 0.0 : s.integral / span;
  return function == FUNC_RMS ? std::sqrt(mean) : mean;
}

int expr_calculate_with(DataStore& store, std::string_view text, const ExprSelection& selection,
                        ExprResult& result, const ExprEngineFactory& make_engine) {
  result = ExprResult{};
  Notify& notify = store.notify();
  const auto split = expr_split(text, notify);
  if (!split) return 0;
  TokenList list;
  if (expr_tokenize(store, selection, split->expression, list) == 0) return 0;
  result.name = split->result_name;
  result.cls = list.cls;
  result.label = list.label;
  result.complex = list.complex;
  result.x = list.x ? list.x : default_x(store, list.cls, list.kind, selection.run > 0 ? selection.run : 0);
  if (!result.x) {
    notify.error("Cannot find expression X variable for:\n" + split->expression);
    return 0;
  }
  auto fail = [&](int type, int error) {
    notify.error(strprintf(
        "Error evaluating expression:\n%s\n\nEQNTYPE=%d ERROR#=%d\n\nAnalysis/data type selected: %s",
        split->expression.c_str(), type, error, expr_kind_name(selection.kind)));
    return 0;
  };
  try {
    result.x_values = store.values(*result.x);
    const int64_t points = std::max(result.x->points, list.points);
    if (points <= 0) return fail(1, EXPR_X_EMPTY);
    result.re.reserve(static_cast<size_t>(points));
    if (list.complex) result.im.reserve(static_cast<size_t>(points));
    advise_huge_pages(result.re);
    advise_huge_pages(result.im);
    std::vector<double> chunk_re(static_cast<size_t>(std::min(kChunk, points)));
    std::vector<double> chunk_im(list.complex ? chunk_re.size() : 0);
    auto engine = make_engine({store, list, result.x_values});
    Progress& progress = store.progress();
    if (points > kProgressEvery)
      progress.show(strprintf("Calculating expression:\n%s\n%lld points", split->expression.c_str(),
                              static_cast<long long>(points)));
    int64_t done = 0;
    while (done < points) {
      const int64_t count = std::min(kChunk, points - done);
      const int64_t got = engine->run(done, count, chunk_re.data(), list.complex ? chunk_im.data() : nullptr);
      result.re.insert(result.re.end(), chunk_re.begin(), chunk_re.begin() + got);
      if (list.complex) result.im.insert(result.im.end(), chunk_im.begin(), chunk_im.begin() + got);
      done += got;
      if (got < count || engine->error != 0) {
        if (points > kProgressEvery) progress.done();
        return fail(engine->type, engine->error);
      }
      if (points > kProgressEvery && done < points)
        progress.show(strprintf("Calculating expression:\n%s\nPoint=%lld of %lld", split->expression.c_str(),
                                static_cast<long long>(done / kProgressEvery * kProgressEvery),
                                static_cast<long long>(points)));
    }
    if (points > kProgressEvery) progress.done();
    if (engine->fix_first) {
      fix_first_point(result.re, result.x_values, points);
      if (list.complex) fix_first_point(result.im, result.x_values, points);
    }
  } catch (const std::bad_alloc&) {
    result.re.clear();
    result.im.clear();
    return fail(1, EXPR_NO_MEMORY);
  }
  return 1;
}

int expr_calculate(DataStore& store, std::string_view text, const ExprSelection& selection,
                   ExprResult& result) {
  return expr_calculate_with(store, text, selection, result, make_block_engine);
}

DataVector* expr_evaluate(DataStore& store, std::string_view text, const ExprSelection& selection) {
  ExprResult r;
  expr_calculate(store, text, selection, r);
  if (r.re.empty()) return nullptr;
  const auto n = static_cast<int64_t>(r.re.size());
  std::vector<double> pairs;
  if (r.complex) {
    pairs.resize(2 * r.re.size());
    for (size_t i = 0; i < r.re.size(); ++i) {
      pairs[2 * i] = r.re[i];
      pairs[2 * i + 1] = r.im[i];
    }
  }
  // The result carries the run label of its first labelled operand.
  store.set_current_label(r.cls, r.label);
  DataVector* v = store.add_vector({.name = r.name,
                                    .cls = r.cls,
                                    .kind = selection.kind,
                                    .quantity = quantity_code(selection.kind, r.name),
                                    .complex = r.complex,
                                    .x = r.x,
                                    .points = n,
                                    .values = r.complex ? pairs.data() : r.re.data()});
  store.reset_current_label(r.cls);
  if (v) v->expression = std::string(text);
  return v;
}

}  // namespace zephyrim
