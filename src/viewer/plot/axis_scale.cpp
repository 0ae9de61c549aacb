#include "viewer/plot/axis_scale.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "common/eng_number.h"
#include "common/notify.h"
#include "common/text_format.h"
#include "viewer/calc/autoplot.h"

namespace zephyrim {

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// The smallest and largest of the values added; empty until the first one.
struct MinMax {
  double lo = kInf;
  double hi = -kInf;
  void add(double v) {
    lo = std::min(lo, v);
    hi = std::max(hi, v);
  }
  bool empty() const { return lo > hi; }
};

// A range that leaves out values above 1e100 but keeps them aside in case
// nothing else turns up. NaN is left out for good.
struct ValueRange {
  MinMax kept;
  MinMax all;
  bool left_out = false;
  void add(double v) {
    if (std::isnan(v)) {
      left_out = true;
      return;
    }
    all.add(v);
    if (std::fabs(v) > kOutOfRangeValue)
      left_out = true;
    else
      kept.add(v);
  }
  const MinMax& result() const { return kept.empty() ? all : kept; }
};

struct TraceScan {
  ValueRange x;
  ValueRange y;    // linear Y
  ValueRange pos;  // log Y: values above 0
  ValueRange neg;  // log Y: magnitudes of values below 0
};

// One pass over a trace; on a log X axis returns the number of points with x above 0.
size_t scan_trace(const TraceValues& t, bool x_log, bool y_log, TraceScan& s) {
  const size_t n = std::min(t.x.size(), t.y.size());
  const double* xs = t.x.data();
  const double* ys = t.y.data();
  size_t drawn = 0;
  for (size_t i = 0; i < n; ++i) {
    const double x = xs[i];
    if (x_log && !(x > 0)) continue;
    ++drawn;
    s.x.add(x);
    const double y = ys[i];
    if (!y_log)
      s.y.add(y);
    else if (y > 0)
      s.pos.add(y);
    else if (y < 0)
      s.neg.add(-y);
    else if (std::isnan(y))
      s.y.left_out = true;
  }
  return drawn;
}

// Combines two min/max ranges.
MinMax join(const MinMax& a, const MinMax& b) {
  MinMax r = a;
  if (!b.empty()) {
    r.add(b.lo);
    r.add(b.hi);
  }
  return r;
}

// Held to values the tick arithmetic survives: no NaN or infinity, no range
// wider than the doubles hold, and dust below 1e-280 taken as the zero it is.
double sane_linear(double v) {
  if (std::isnan(v)) return 0;
  v = std::clamp(v, -1e300, 1e300);
  return std::fabs(v) < 1e-280 ? 0 : v;
}

double sane_log(double v) {
  return std::isnan(v) ? -30 : std::clamp(v, -400.0, 400.0);
}

// Tick spacing from the range's leading digits, by the table of the ticks
// the axis is meant to show (0.2, 0.25, 0.3, 0.4, 0.5, 1 or 2 of a decade).
double linear_spacing(double range) {
  double d = std::pow(10.0, std::trunc(std::log10(std::fabs(range))));
  if (d >= std::fabs(range * 0.9999)) d *= 0.1;
  const double f = std::fabs(range / d);
  double e = 0;
  if (f < 1.0001)
    e = 0.2 * d;
  else if (f < 1.2501)
    e = 0.25 * d;
  if (f >= 1.1999 && f <= 1.2001) e = 0.2 * d;
  if (f >= 1.2501 && f <= 1.4001) e = 0.3 * d;
  if (f > 1.4001 && f <= 2.0001) e = 0.4 * d;
  if (f > 2.0001 && f <= 3.0001) e = 0.5 * d;
  if (f > 3.0001 && f <= 6.0001) e = d;
  if (f > 6.0001 && f <= 10.001) e = 2 * d;
  // Rounding can leave f a hair past the last bound.
  if (e <= 0) e = f > 6 ? 2 * d : 0.2 * d;
  return e;
}

bool given(double v) {
  return has_value(v);
}

}  // namespace

// ---- Data range ----------------------------------------------------------

PlotDataRange plot_data_range(std::span<const TraceValues> traces, bool x_log, bool y_log, Notify& notify) {
  PlotDataRange r;
  TraceScan s;
  for (size_t i = 0; i < traces.size(); ++i) {
    const size_t drawn = scan_trace(traces[i], x_log, y_log, s);
    if (x_log && drawn == 0) {
      notify.error(kLogXRefusal);
      r.refused.push_back(i);
    }
  }
  const bool has_pos = !s.pos.all.empty();
  const bool has_neg = !s.neg.all.empty();
  r.out_of_range = s.x.left_out || s.y.left_out || s.pos.left_out || s.neg.left_out;
  if (r.out_of_range) notify.warning(kOutOfRangeMessage);

  const MinMax& x = s.x.result();
  if (!x.empty()) {
    r.has_x = true;
    r.x_min = x_log ? std::log10(x.lo) : x.lo;
    r.x_max = x_log ? std::log10(x.hi) : x.hi;
  }
  if (!y_log) {
    const MinMax& y = s.y.result();
    if (!y.empty()) {
      r.has_y = true;
      r.y_min = y.lo;
      r.y_max = y.hi;
    }
    return r;
  }
  if (has_neg && !has_pos)
    r.y_draw = LogYDraw::Magnitude;
  else if (has_neg && has_pos && notify.question(kLogYQuestion, QuestionKind::YesNo) == 1)
    r.y_draw = LogYDraw::Magnitude;
  const MinMax y = r.y_draw == LogYDraw::Magnitude ? join(s.pos.result(), s.neg.result()) : s.pos.result();
  r.has_y = !y.empty();
  r.y_min = r.has_y ? std::log10(y.lo) : -30;
  r.y_max = r.has_y ? std::log10(y.hi) : -29;
  return r;
}

// ---- Automatic limits ----------------------------------------------------

int max_axis_divisions(bool y_axis, int plot_count) {
  return y_axis && plot_count >= 5 ? 4 : 6;
}

void widen_flat_range(double& lo, double& hi) {
  if (lo == hi || (hi != 0 && std::fabs(1 - lo / hi) < 0.00001)) {
    if (hi >= 0) {
      hi *= 1.1;
      lo *= 0.9;
    } else {
      lo *= 1.1;
      hi *= 0.9;
    }
  }
  if (lo == 0 && hi == 0) {
    lo = -0.5;
    hi = 0.5;
  }
}

void auto_linear_limits(AxisScale& axis, int max_divisions, bool y_axis) {
  double lo = sane_linear(axis.data_min);
  double hi = sane_linear(axis.data_max);
  if (lo > hi) std::swap(lo, hi);
  const double top = hi;
  widen_flat_range(lo, hi);
  double e = linear_spacing(hi - lo);
  double low = lo;
  double high = hi;
  int n = 1;
  // Each round doubles the spacing, so a few rounds reach any allowed count;
  // the bound only guards against arithmetic that never settles.
  for (int round = 0; round < 64; ++round) {
    high = e * std::trunc(hi / e);
    if ((hi >= 0 && high < hi * 0.99999) || (hi < 0 && high < hi * 1.00001)) high += e;
    low = e * std::trunc(lo / e);
    if (lo < low) low -= e;
    n = static_cast<int>(std::min(std::trunc((high - low) / e), 1e6));
    if (n == 1) {
      n = 2;
      e /= 2;
    }
    if (e * n < (high - low) - 0.25 * e) ++n;
    if (n <= max_divisions) break;
    e *= 2;
  }
  if (high == low) {
    n = 1;
    high = low + e;
  }
  axis.low = low;
  axis.high = high;
  axis.spacing = e;
  axis.divisions = n;
  axis.first_mark = 0;
  // Keeps the largest value off the top edge of a Y plot.
  if (y_axis && axis.high <= top) {
    axis.high += axis.spacing;
    ++axis.divisions;
  }
}

void auto_log_limits(AxisScale& axis) {
  double mn = sane_log(axis.data_min);
  double mx = sane_log(axis.data_max);
  if (mn > mx) std::swap(mn, mx);
  double low = std::floor(mn);
  const double mean = (std::fabs(mn) + std::fabs(mx)) / 2;
  const double tolerance = 1e-14 * (mean > 1e-15 ? mean : 1.0);
  const double whole = std::floor(mx);
  double high = mx - whole < tolerance ? whole : std::ceil(mx);
  int decades = static_cast<int>(high - low);
  if (decades == 0) {
    low -= 1;
    high += 1;
    decades = 2;
  }
  axis.low = low;
  axis.first_mark = 1;
  if (decades < 21) {
    axis.high = high;
    axis.spacing = 1;
    axis.divisions = decades;
    return;
  }
  int step = decades / 20;
  if (decades / static_cast<double>(step) > 20) ++step;
  axis.divisions = (decades + step - 1) / step;
  axis.high = low + static_cast<double>(step) * axis.divisions;
  axis.spacing = step;
}

void auto_axis_limits(AxisScale& axis, bool y_axis, int plot_count) {
  if (axis.limits_manual) return;
  if (axis.log_scale)
    auto_log_limits(axis);
  else
    auto_linear_limits(axis, max_axis_divisions(y_axis, plot_count), y_axis);
}

// ---- Manual limits -------------------------------------------------------

LimitsRow empty_limits_row(bool log_scale) {
  return {NO_VALUE, NO_VALUE, NO_VALUE, NO_VALUE, NO_VALUE, log_scale};
}

double log_limit(double v) {
  if (!(v > 0) || v < 1e-30) return -30;
  if (v > 1e30) return 30;
  return std::log10(v);
}

int manual_tick_count(double low, double high, double spacing, bool log_scale) {
  double q;
  if (log_scale)
    q = std::trunc(log_limit(high) + 0.5) - std::floor(log_limit(low));
  else
    q = std::trunc((high - low) / spacing + 0.5);
  if (std::isnan(q)) return 0;
  // Far outside 1..100 either way; the clamp keeps the conversion defined.
  return static_cast<int>(std::clamp(q, -1e6, 1e6));
}

namespace {

struct RowMessages {
  std::string range, limits, spacing, ticks;
};

RowMessages row_messages(int row) {
  if (row == 0)
    return {"Invalid X data range specified", "Invalid X axis limits specified",
            "Invalid X tick spacing specified", "Too many X ticks: \ninvalid limits or spacing specified"};
  return {strprintf("Invalid Y%d data range specified", row),
          strprintf("Invalid Y%d axis limits specified", row),
          strprintf("Y%d tick spacing is zero or negative", row),
          strprintf("Too many Y%d ticks: \ninvalid limits or spacing specified", row)};
}

// The first fault of one row, or None. A log row has no spacing of its own:
// its ticks are the decades.
LimitsField row_fault(const LimitsRow& r, int row, std::string& message) {
  const RowMessages m = row_messages(row);
  if (given(r.data_min) && given(r.data_max) && r.data_max < r.data_min) {
    message = m.range;
    return LimitsField::DataMax;
  }
  const bool limits = given(r.low) && given(r.high);
  if (limits && r.low >= r.high) {
    message = m.limits;
    return LimitsField::High;
  }
  if (r.log_scale) {
    if (!limits) return LimitsField::None;
    const int ticks = manual_tick_count(r.low, r.high, 1, true);
    if (ticks >= 1 && ticks <= 100) return LimitsField::None;
    message = m.ticks;
    return LimitsField::High;
  }
  if (!given(r.spacing)) return LimitsField::None;
  if (r.spacing <= 0) {
    message = m.spacing;
    return LimitsField::Spacing;
  }
  if (!limits) return LimitsField::None;
  const int ticks = manual_tick_count(r.low, r.high, r.spacing, false);
  if (ticks >= 1 && ticks <= 100) return LimitsField::None;
  message = m.ticks;
  return LimitsField::Spacing;
}

}  // namespace

int validate_axis_limits(const LimitsRow& x, std::span<const LimitsRow> y, Notify& notify,
                         LimitsFault& fault) {
  for (size_t i = 0; i <= y.size(); ++i) {
    const int row = static_cast<int>(i);
    std::string message;
    const LimitsField field = row_fault(i == 0 ? x : y[i - 1], row, message);
    if (field == LimitsField::None) continue;
    fault = {row, field, message};
    notify.error(message);
    return 0;
  }
  fault = {};
  return 1;
}

void snap_log_limits(double& low, double& high, int& first_mark) {
  static constexpr double kLowMarks[] = {1, 2, 4, 6, 8};
  static constexpr double kHighMarks[] = {2, 4, 6, 8, 10};
  // A value a rounding step off a mark counts as on it.
  constexpr double kSlack = 1e-9;

  const double low_decade = std::floor(low + 1e-10);
  const double low_mantissa = std::pow(10.0, low - low_decade);
  int mark = 0;
  for (int i = 4; i > 0 && mark == 0; --i)
    if (kLowMarks[i] <= low_mantissa * (1 + kSlack)) mark = i;
  low = low_decade + std::log10(kLowMarks[mark]);
  first_mark = mark + 1;

  const double high_decade = std::ceil(high - 1e-10) - 1;
  const double high_mantissa = std::pow(10.0, high - high_decade);
  int top = 4;
  for (int i = 0; i < 4 && top == 4; ++i)
    if (kHighMarks[i] >= high_mantissa * (1 - kSlack)) top = i;
  high = high_decade + std::log10(kHighMarks[top]);

  if (high - low < kSlack) {
    low -= 1;
    high += 1;
  }
}

void apply_axis_limits(AxisScale& axis, const LimitsRow& row) {
  const bool log = axis.log_scale != 0;
  const auto value = [log](double v) { return log ? log_limit(v) : v; };
  if (given(row.data_min) || given(row.data_max)) {
    if (given(row.data_min)) axis.data_min = value(row.data_min);
    if (given(row.data_max)) axis.data_max = value(row.data_max);
    axis.range_manual = 1;
  }
  if (!given(row.low) && !given(row.high) && (log || !given(row.spacing))) return;
  if (given(row.low)) axis.low = value(row.low);
  if (given(row.high)) axis.high = value(row.high);
  axis.limits_manual = 1;
  if (log) {
    snap_log_limits(axis.low, axis.high, axis.first_mark);
    axis.spacing = 1;
    axis.divisions = static_cast<int>(std::ceil(axis.high - 1e-9) - std::floor(axis.low + 1e-9));
    return;
  }
  if (given(row.spacing)) axis.spacing = row.spacing;
  axis.divisions = manual_tick_count(axis.low, axis.high, axis.spacing, false);
  axis.first_mark = 0;
}

void apply_autoplot_limits(AxisScale& axis, const AxisLimits& limits) {
  if (!limits.manual) return;
  LimitsRow row = empty_limits_row(axis.log_scale != 0);
  row.low = limits.min;
  row.high = limits.max;
  row.spacing = limits.spacing;
  apply_axis_limits(axis, row);
}

}  // namespace zephyrim
