#include "viewer/plot/axis_scale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "common/eng_number.h"
#include "common/notify.h"
#include "viewer/calc/autoplot.h"

namespace zephyrim {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

AxisScale data(double lo, double hi, bool log = false) {
  AxisScale a;
  a.log_scale = log;
  a.data_min = lo;
  a.data_max = hi;
  return a;
}

AxisScale linear(double lo, double hi, bool y_axis, int plots = 1) {
  AxisScale a = data(lo, hi);
  auto_linear_limits(a, max_axis_divisions(y_axis, plots), y_axis);
  return a;
}

// ---- Data range ----------------------------------------------------------

TEST(PlotDataRange, LinearSpansEveryTraceUpToTheShorterOfXAndY) {
  const std::vector<double> x1{0, 1, 2}, y1{-1, 5, 2}, x2{-3, 4}, y2{7, 0, 99};
  const TraceValues t[] = {{x1, y1}, {x2, y2}};
  RecordingNotify n;
  const PlotDataRange r = plot_data_range(t, false, false, n);
  EXPECT_TRUE(r.has_x && r.has_y);
  EXPECT_EQ(r.x_min, -3);
  EXPECT_EQ(r.x_max, 4);
  EXPECT_EQ(r.y_min, -1);
  EXPECT_EQ(r.y_max, 7);  // 99 has no X
  EXPECT_TRUE(n.entries().empty());
}

TEST(PlotDataRange, HugeValuesAreLeftOutOnceWithAMessageUnlessNothingElseRemains) {
  const std::vector<double> x{0, 1, 2, 3}, y{1, 2e100, -5, kNaN};
  const std::vector<double> big{-1e101, 1e150, kInf, 3e101};
  const TraceValues t[] = {{x, y}, {x, y}};
  RecordingNotify n;
  PlotDataRange r = plot_data_range(t, false, false, n);
  EXPECT_EQ(r.y_min, -5);
  EXPECT_EQ(r.y_max, 1);
  EXPECT_TRUE(r.out_of_range);
  ASSERT_EQ(n.texts(), std::vector<std::string>{kOutOfRangeMessage});

  const TraceValues only_big[] = {{x, big}};
  r = plot_data_range(only_big, false, false, n);
  EXPECT_EQ(r.y_min, -1e101);
  EXPECT_EQ(r.y_max, kInf);
  // Limits from such a range still come out finite.
  AxisScale a = data(r.y_min, r.y_max);
  auto_linear_limits(a, 6, true);
  EXPECT_TRUE(std::isfinite(a.low) && std::isfinite(a.high) && a.spacing > 0);
}

TEST(PlotDataRange, LogYDrawsMagnitudesOfNegativeDataAndAsksWhenSignsMix) {
  const std::vector<double> x{1, 2, 3, 4};
  const std::vector<double> negative{-1e-3, 0, -10, -1};
  const std::vector<double> mixed{1e-2, 0, -1e3, 10};
  RecordingNotify n;
  const TraceValues neg[] = {{x, negative}};
  PlotDataRange r = plot_data_range(neg, false, true, n);
  EXPECT_EQ(r.y_draw, LogYDraw::Magnitude);
  EXPECT_DOUBLE_EQ(r.y_min, -3);
  EXPECT_DOUBLE_EQ(r.y_max, 1);
  EXPECT_TRUE(n.entries().empty());

  const TraceValues mix[] = {{x, mixed}};
  n.answer(1);
  r = plot_data_range(mix, false, true, n);
  EXPECT_EQ(n.last(), kLogYQuestion);
  EXPECT_EQ(r.y_draw, LogYDraw::Magnitude);
  EXPECT_DOUBLE_EQ(r.y_max, 3);
  n.answer(0);
  r = plot_data_range(mix, false, true, n);
  EXPECT_EQ(r.y_draw, LogYDraw::Positive);
  EXPECT_DOUBLE_EQ(r.y_min, -2);
  EXPECT_DOUBLE_EQ(r.y_max, 1);

  const std::vector<double> zeros{0, 0, 0, 0};
  const TraceValues none[] = {{x, zeros}};
  r = plot_data_range(none, false, true, n);
  EXPECT_FALSE(r.has_y);
  EXPECT_EQ(r.y_min, -30);
  EXPECT_EQ(r.y_max, -29);
}

TEST(PlotDataRange, LogXDropsPointsAtOrBelowZeroAndRefusesTracesLeftEmpty) {
  const std::vector<double> x{-1, 0, 10, 1000}, y{500, 400, 3, 4};
  const std::vector<double> x_bad{-1, 0, kNaN}, y_bad{1, 2, 3};
  const TraceValues t[] = {{x_bad, y_bad}, {x, y}};
  RecordingNotify n;
  const PlotDataRange r = plot_data_range(t, true, false, n);
  EXPECT_EQ(r.refused, std::vector<size_t>{0});
  EXPECT_EQ(n.texts(), std::vector<std::string>{kLogXRefusal});
  EXPECT_DOUBLE_EQ(r.x_min, 1);
  EXPECT_DOUBLE_EQ(r.x_max, 3);
  EXPECT_EQ(r.y_min, 3);  // the points at x <= 0 are not drawn
  EXPECT_EQ(r.y_max, 4);
}

TEST(PlotDataRange, NoTracesGiveNoRange) {
  RecordingNotify n;
  const PlotDataRange r = plot_data_range({}, false, false, n);
  EXPECT_FALSE(r.has_x || r.has_y);
}

// ---- Automatic linear limits ---------------------------------------------

TEST(AutoLinearLimits, TheWorkedExamples) {
  AxisScale a = linear(0, 1, false);
  EXPECT_DOUBLE_EQ(a.low, 0);
  EXPECT_DOUBLE_EQ(a.high, 1);
  EXPECT_DOUBLE_EQ(a.spacing, 0.2);
  EXPECT_EQ(a.divisions, 5);
  EXPECT_EQ(a.first_mark, 0);

  a = linear(0, 1, true);  // the top would touch the largest value
  EXPECT_DOUBLE_EQ(a.high, 1.2);
  EXPECT_EQ(a.divisions, 6);

  a = linear(0, 7, true);
  EXPECT_DOUBLE_EQ(a.high, 8);
  EXPECT_DOUBLE_EQ(a.spacing, 2);
  EXPECT_EQ(a.divisions, 4);

  a = linear(0, 13, false);
  EXPECT_DOUBLE_EQ(a.high, 15);
  EXPECT_DOUBLE_EQ(a.spacing, 3);
  EXPECT_EQ(a.divisions, 5);

  a = linear(-13, 0, false);  // mirrored
  EXPECT_DOUBLE_EQ(a.low, -15);
  EXPECT_DOUBLE_EQ(a.high, 0);
}

TEST(AutoLinearLimits, FlatDataIsOpenedUpBeforeTicksAreChosen) {
  double lo = 5, hi = 5;
  widen_flat_range(lo, hi);
  EXPECT_DOUBLE_EQ(lo, 4.5);
  EXPECT_DOUBLE_EQ(hi, 5.5);
  lo = -5, hi = -5.000001;
  widen_flat_range(lo, hi);
  EXPECT_DOUBLE_EQ(lo, -5.5);
  EXPECT_DOUBLE_EQ(hi, -5.000001 * 0.9);
  lo = 0, hi = 0;
  widen_flat_range(lo, hi);
  EXPECT_EQ(lo, -0.5);
  EXPECT_EQ(hi, 0.5);

  AxisScale a = linear(5, 5, false);
  EXPECT_LE(a.low, 4.5);
  EXPECT_GE(a.high, 5.5);
  EXPECT_GT(a.low, 4);
  EXPECT_LT(a.high, 6);
  a = linear(0, 0, true);
  EXPECT_NEAR(a.low, -a.high, 1e-12);
  EXPECT_LE(a.low, -0.5);
  EXPECT_LT(a.high, 1);
}

TEST(AutoLinearLimits, FiveOrMorePlotsAllowFourDivisionsOnY) {
  EXPECT_EQ(max_axis_divisions(false, 8), 6);
  EXPECT_EQ(max_axis_divisions(true, 4), 6);
  EXPECT_EQ(max_axis_divisions(true, 5), 4);
  const AxisScale few = linear(0, 1, true, 4);
  const AxisScale many = linear(0, 1, true, 5);
  EXPECT_DOUBLE_EQ(many.spacing, 2 * few.spacing);
  EXPECT_LE(many.divisions, 4);
  // X ignores the plot count.
  EXPECT_DOUBLE_EQ(linear(0, 1, false, 8).spacing, 0.2);
}

TEST(AutoLinearLimits, ManualLimitsAreLeftAlone) {
  AxisScale a = data(0, 1);
  a.limits_manual = 1;
  a.low = -3;
  auto_axis_limits(a, true, 1);
  EXPECT_EQ(a.low, -3);
  a.limits_manual = 0;
  auto_axis_limits(a, true, 1);
  EXPECT_EQ(a.low, 0);
}

// Every range from 1e-15 to 1e15 wide, at and off zero, negative, reversed,
// flat and nearly flat: the limits hold the data, the count stays allowed and
// the spacing divides the limits.
TEST(AutoLinearLimits, HoldTheDataOverEveryScale) {
  const double shapes[][2] = {{0, 1},      {-1, 1},      {-3, -1},   {5, 5},    {2, 7},        {7, 2},
                              {0.3, 0.31}, {1, 1.00002}, {-1e-3, 0}, {-8, 9.5}, {1e-4, 0.999}, {-1, -1}};
  for (int p = -15; p <= 15; ++p) {
    const double s = std::pow(10.0, p);
    for (const auto& sh : shapes) {
      for (const int plots : {1, 5}) {
        for (const bool y : {false, true}) {
          SCOPED_TRACE(testing::Message()
                       << sh[0] * s << " .. " << sh[1] * s << " y=" << y << " plots=" << plots);
          const AxisScale a = linear(sh[0] * s, sh[1] * s, y, plots);
          const double lo = std::min(sh[0], sh[1]) * s, hi = std::max(sh[0], sh[1]) * s;
          ASSERT_TRUE(std::isfinite(a.low) && std::isfinite(a.high) && a.spacing > 0);
          EXPECT_LE(a.low, lo + 1e-9 * std::fabs(lo));
          EXPECT_GE(a.high, hi - 1e-5 * std::fabs(hi));  // the top may fall short by that much
          const int allowed = max_axis_divisions(y, plots) + (y ? 1 : 0);
          EXPECT_GE(a.divisions, 1);
          EXPECT_LE(a.divisions, allowed);
          EXPECT_NEAR((a.high - a.low) / a.spacing, a.divisions, 1e-6);
          if (y) {
            EXPECT_GT(a.high, hi);
          }
        }
      }
    }
  }
}

TEST(AutoLinearLimits, SurviveValuesNoPlotShouldHold) {
  const double odd[][2] = {{kNaN, 1},        {0, kInf},    {-kInf, kInf},    {-1e308, 1e308},
                           {5e-324, 5e-324}, {-5e-324, 0}, {1e-300, 1e-299}, {kNaN, kNaN}};
  for (const auto& o : odd) {
    SCOPED_TRACE(testing::Message() << o[0] << " .. " << o[1]);
    const AxisScale a = linear(o[0], o[1], true);
    EXPECT_TRUE(std::isfinite(a.low) && std::isfinite(a.high) && a.low < a.high);
    EXPECT_GE(a.divisions, 1);
    EXPECT_LE(a.divisions, 7);
  }
}

// ---- Automatic log limits ------------------------------------------------

TEST(AutoLogLimits, WholeDecadesOneTickEachUpToTwenty) {
  for (int start : {-15, -3, 0, 7}) {
    for (int d = 1; d <= 20; ++d) {
      AxisScale a = data(start + 0.3, start + d - 0.2, true);
      auto_log_limits(a);
      EXPECT_EQ(a.low, start);
      EXPECT_EQ(a.high, start + d);
      EXPECT_EQ(a.spacing, 1);
      EXPECT_EQ(a.divisions, d);
      EXPECT_EQ(a.first_mark, 1);
    }
  }
  AxisScale a = data(2, 2, true);  // one value: a decade each side
  auto_log_limits(a);
  EXPECT_EQ(a.low, 1);
  EXPECT_EQ(a.high, 3);
  EXPECT_EQ(a.divisions, 2);
  a = data(0, 3 + 1e-15, true);  // a top that is a decade but for rounding
  auto_log_limits(a);
  EXPECT_EQ(a.high, 3);
}

TEST(AutoLogLimits, PastTwentyDecadesTicksSpanSeveralDecades) {
  AxisScale a = data(0, 21, true);
  auto_log_limits(a);
  EXPECT_EQ(a.spacing, 2);
  EXPECT_EQ(a.divisions, 11);
  EXPECT_EQ(a.high, 22);
  a = data(-10, 31, true);
  auto_log_limits(a);
  EXPECT_EQ(a.spacing, 3);
  EXPECT_EQ(a.divisions, 14);
  for (int d = 21; d <= 700; d += 7) {
    a = data(-323, -323 + d * 0.999, true);
    auto_log_limits(a);
    EXPECT_LE(a.divisions, 20) << d;
    EXPECT_GE(a.high, a.data_max);
    EXPECT_EQ(a.high, a.low + a.spacing * a.divisions);
  }
  a = data(kNaN, kInf, true);
  auto_log_limits(a);
  EXPECT_TRUE(std::isfinite(a.low) && std::isfinite(a.high) && a.divisions <= 20);
}

// ---- Manual limits -------------------------------------------------------

LimitsRow row(double dmin, double dmax, double low, double high, double spacing, bool log = false) {
  return {dmin, dmax, low, high, spacing, log};
}

TEST(ManualLimits, RowsAreCheckedInOrderWithTheFieldAtFault) {
  struct Case {
    LimitsRow x;
    int row;
    LimitsField field;
    const char* message;
  };
  const LimitsRow ok = row(0, 1, 0, 1, 0.2);
  const Case cases[] = {
      {row(2, 1, 5, 5, 0), 0, LimitsField::DataMax, "Invalid X data range specified"},
      {row(0, 1, 5, 5, 0), 0, LimitsField::High, "Invalid X axis limits specified"},
      {row(0, 1, 0, 5, -1), 0, LimitsField::Spacing, "Invalid X tick spacing specified"},
      {row(0, 1, 0, 10, 0.01), 0, LimitsField::Spacing,
       "Too many X ticks: \ninvalid limits or spacing specified"},
      {row(0, 1, 0, 1, 3), 0, LimitsField::Spacing,
       "Too many X ticks: \ninvalid limits or spacing specified"},
  };
  for (const Case& c : cases) {
    RecordingNotify n;
    LimitsFault f;
    EXPECT_EQ(validate_axis_limits(c.x, {}, n, f), 0);
    EXPECT_EQ(f.row, c.row);
    EXPECT_EQ(f.field, c.field);
    EXPECT_EQ(f.message, c.message);
    EXPECT_EQ(n.last(), c.message);
  }
  const LimitsRow y[] = {ok, row(0, 1, 5, 5, 1), row(1, 0, 0, 1, 1)};
  RecordingNotify n;
  LimitsFault f;
  EXPECT_EQ(validate_axis_limits(ok, y, n, f), 0);
  EXPECT_EQ(f.row, 2);
  EXPECT_EQ(n.last(), "Invalid Y2 axis limits specified");
  const LimitsRow y3[] = {ok, ok, row(0, 1, 0, 1, 0), row(0, 1, 0, 1, 0.001)};
  validate_axis_limits(ok, y3, n, f);
  EXPECT_EQ(n.last(), "Y3 tick spacing is zero or negative");
  validate_axis_limits(ok, std::span(y3).last(1), n, f);
  EXPECT_EQ(n.last(), "Too many Y1 ticks: \ninvalid limits or spacing specified");
}

TEST(ManualLimits, EmptyFieldsAndLogRowsSkipTheTestsTheyCannotTake) {
  RecordingNotify n;
  LimitsFault f;
  EXPECT_EQ(validate_axis_limits(empty_limits_row(), {}, n, f), 1);
  EXPECT_EQ(f.field, LimitsField::None);
  EXPECT_EQ(validate_axis_limits(row(NO_VALUE, 1, 3, NO_VALUE, 0.5), {}, n, f), 1);
  // A log row takes no spacing: its ticks are the decades.
  EXPECT_EQ(validate_axis_limits(row(NO_VALUE, NO_VALUE, 1e-3, 1e6, 0, true), {}, n, f), 1);
  EXPECT_EQ(validate_axis_limits(row(NO_VALUE, NO_VALUE, 1e6, 1e-3, 0, true), {}, n, f), 0);
  EXPECT_EQ(f.field, LimitsField::High);
  EXPECT_TRUE(n.entries().size() == 1);
}

TEST(ManualLimits, TickCounts) {
  EXPECT_EQ(manual_tick_count(0, 10, 2, false), 5);
  EXPECT_EQ(manual_tick_count(0, 10, 4, false), 3);  // 2.5 rounds up
  EXPECT_EQ(manual_tick_count(0, 10, 1e-300, false), 1000000);
  EXPECT_EQ(manual_tick_count(0, kNaN, 1, false), 0);
  EXPECT_EQ(manual_tick_count(1e-3, 1e6, 0, true), 9);
  EXPECT_EQ(manual_tick_count(0, 1e60, 0, true), 60);  // held to -30 .. 30
}

TEST(ManualLimits, LogLimitsSnapOutwardOntoTheMarks) {
  struct Case {
    double low, high, snapped_low, snapped_high;
    int first_mark;
  };
  const Case cases[] = {
      {1, 100, 1, 100, 1},          {3, 500, 2, 600, 2},
      {0.05, 0.07, 0.04, 0.08, 3},  {7, 9, 6, 10, 4},
      {8.5, 1001, 8, 2000, 5},      {1e-3, 1e-3 * 1.0000000001, 1e-4, 1e-2, 1},
      {-1, 1e-40, 1e-31, 1e-29, 1},  // both held at 1e-30: a decade each side
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.low << " .. " << c.high);
    double low = log_limit(c.low), high = log_limit(c.high);
    int mark = 0;
    snap_log_limits(low, high, mark);
    EXPECT_NEAR(low, std::log10(c.snapped_low), 1e-12);
    EXPECT_NEAR(high, std::log10(c.snapped_high), 1e-12);
    EXPECT_EQ(mark, c.first_mark);
  }
  EXPECT_EQ(log_limit(0), -30);
  EXPECT_EQ(log_limit(1e31), 30);
  EXPECT_EQ(log_limit(kNaN), -30);
}

TEST(ManualLimits, ApplyingSetsTheManualFlagsOnlyForGivenFields) {
  AxisScale a = data(0, 1);
  apply_axis_limits(a, row(-1, 2, NO_VALUE, NO_VALUE, NO_VALUE));
  EXPECT_EQ(a.range_manual, 1);
  EXPECT_EQ(a.limits_manual, 0);
  EXPECT_EQ(a.data_min, -1);
  apply_axis_limits(a, row(NO_VALUE, NO_VALUE, 0, 10, 4));
  EXPECT_EQ(a.limits_manual, 1);
  EXPECT_EQ(a.high, 10);
  EXPECT_EQ(a.spacing, 4);
  EXPECT_EQ(a.divisions, 3);

  AxisScale l = data(0, 1, true);
  apply_axis_limits(l, row(1e-3, 1e3, 3, 500, 7));
  EXPECT_EQ(l.data_min, -3);
  EXPECT_EQ(l.range_manual, 1);
  EXPECT_NEAR(l.low, std::log10(2.0), 1e-12);
  EXPECT_NEAR(l.high, std::log10(600.0), 1e-12);
  EXPECT_EQ(l.first_mark, 2);
  EXPECT_EQ(l.spacing, 1);
  EXPECT_EQ(l.divisions, 3);
  AxisScale s = data(0, 1, true);
  apply_axis_limits(s, row(NO_VALUE, NO_VALUE, NO_VALUE, NO_VALUE, 5));  // no spacing on a log axis
  EXPECT_EQ(s.limits_manual, 0);
}

TEST(ManualLimits, AutoplotOptionsApplyAsLimits) {
  AxisLimits option;
  option.manual = true;
  option.min = 0;
  option.max = 10;
  option.spacing = 2;
  AxisScale a;
  apply_autoplot_limits(a, option);
  EXPECT_EQ(a.limits_manual, 1);
  EXPECT_EQ(a.low, 0);
  EXPECT_EQ(a.high, 10);
  EXPECT_EQ(a.divisions, 5);
  AxisScale untouched;
  option.manual = false;
  apply_autoplot_limits(untouched, option);
  EXPECT_EQ(untouched.limits_manual, 0);
}

}  // namespace
}  // namespace zephyrim
