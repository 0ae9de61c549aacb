#pragma once
// One axis of a graph: its range from the data or from the user, its ticks,
// and the texts written at them with their scale factor and unit.
#include <cstddef>
#include <span>
#include <string>
#include <vector>

namespace zephyrim {

class Notify;
struct AxisLimits;

struct AxisScale {
  int in_use = -1;        // index of the first variable on the axis; -1 none
  int log_scale = 0;      // 0 linear, 1 logarithmic
  int limits_manual = 0;  // low, high, spacing and divisions set by the user
  int range_manual = 0;   // the data range set by the user
  double data_min = 0;    // range of the data shown (log10 values on a log axis,
  double data_max = 0;    // as are low, high and spacing)
  double low = 0;         // axis limits
  double high = 0;
  double spacing = 0;  // tick spacing (decades per tick on a log axis)
  int divisions = 0;   // tick intervals between low and high
  int first_mark = 0;  // log axes: sub-decade mark the axis starts at (1: a full decade)
};

// ---- Data range ----------------------------------------------------------

// Values of larger magnitude are left out of a range: they would squash the
// rest of the plot into one line.
inline constexpr double kOutOfRangeValue = 1e100;
inline constexpr char kOutOfRangeMessage[] = "Plot data contains out of range (>1E100) values";
inline constexpr char kLogYQuestion[] =
    "Y log axis data range includes negative values.Plot absolute values?";
inline constexpr char kLogXRefusal[] = "X data out of range, cannot display on log scale";

// The values of one trace; point i is (x[i], y[i]) for i below the shorter size.
struct TraceValues {
  std::span<const double> x;
  std::span<const double> y;
};

// How the Y values of a log axis are drawn.
enum class LogYDraw { Positive, Magnitude };

// What the data of one plot spans. Log axes hold log10 values.
struct PlotDataRange {
  bool has_x = false;  // false: no X value at all (x_min, x_max are 0)
  double x_min = 0;
  double x_max = 0;
  bool has_y = false;  // false on a linear axis: no Y value at all
  double y_min = 0;    // log Y with nothing drawable: -30 .. -29
  double y_max = 0;
  LogYDraw y_draw = LogYDraw::Positive;  // log Y: points with y <= 0 skipped, or |y| drawn
  bool out_of_range = false;             // some value was left out for exceeding 1e100
  std::vector<size_t> refused;           // log X: traces without a point above 0
};

// The data range of a plot over its traces, in one pass over each trace and
// without copying. Left out: values above 1e100 in magnitude (after
// kOutOfRangeMessage, once; when nothing else remains they do count), NaN, and
// on a log X axis points with x <= 0 (a trace left with none is reported by
// kLogXRefusal and listed in refused). On a log Y axis zeros are never drawn;
// all-negative data is drawn as magnitudes, mixed signs ask kLogYQuestion
// (yes: magnitudes, else the negative points are dropped).
PlotDataRange plot_data_range(std::span<const TraceValues> traces, bool x_log, bool y_log, Notify& notify);

// ---- Automatic limits ----------------------------------------------------

// The divisions an axis may have: 6 on X, 6 on Y with fewer than 5 plots, else 4.
int max_axis_divisions(bool y_axis, int plot_count);

// A flat range opened up so that ticks can be chosen: equal (or nearly equal)
// ends are moved 10% apart, two zero ends become -0.5 .. 0.5.
void widen_flat_range(double& lo, double& hi);

// Linear limits from data_min and data_max: low, high, spacing and divisions
// (at most max_divisions), first_mark 0. A Y axis gets one more division when
// its top would touch the largest value.
void auto_linear_limits(AxisScale& axis, int max_divisions, bool y_axis);

// Log limits from data_min and data_max (log10 values): whole decades, one
// tick per decade up to 20 decades, fewer ticks beyond; first_mark 1.
void auto_log_limits(AxisScale& axis);

// Computes the automatic limits of an axis unless they are manual.
void auto_axis_limits(AxisScale& axis, bool y_axis, int plot_count);

// ---- Manual limits -------------------------------------------------------

// One row of the "Set Axis Limits" dialog in the user's units (not log10).
// A field left empty holds NO_VALUE (common/eng_number.h).
struct LimitsRow {
  double data_min;
  double data_max;
  double low;
  double high;
  double spacing;
  bool log_scale = false;
};

// A row with every field empty.
LimitsRow empty_limits_row(bool log_scale = false);

enum class LimitsField { None, DataMin, DataMax, Low, High, Spacing };

// Where validation stopped: the row (0 the X row, k the Y row of plot k) and
// the field that gets the focus.
struct LimitsFault {
  int row = -1;
  LimitsField field = LimitsField::None;
  std::string message;
};

// Tick count of limits: round((high - low) / spacing) on a linear axis; on a
// log axis the decades from floor(log10(low)) to log10(high) rounded.
int manual_tick_count(double low, double high, double spacing, bool log_scale);

// Checks the X row, then the Y rows in plot order; tests that need an empty
// field are skipped. Returns 1 when every row is valid; else shows the first
// fault's message as an error, fills fault and returns 0.
int validate_axis_limits(const LimitsRow& x, std::span<const LimitsRow> y, Notify& notify,
                         LimitsFault& fault);

// log10 of a limit for a log axis, held to -30 .. 30 (v <= 0 gives -30).
double log_limit(double v);

// Snaps log10 limits outward onto the marks: low down to 1, 2, 4, 6 or 8 times
// a power of ten, high up to 2, 4, 6, 8 or 10 times one. first_mark is 1..5
// for the mark low landed on.
void snap_log_limits(double& low, double& high, int& first_mark);

// Applies a validated row: given data limits set the range as manual, given
// low, high or spacing set the limits as manual with the tick count as the
// divisions. On a log axis values become log10, the limits snap onto the marks
// and the divisions are the decades between them.
void apply_axis_limits(AxisScale& axis, const LimitsRow& row);

// The limits of an #AUTOPLOT XAXIS= or YAXIS= option applied to an axis; does
// nothing when the option left the axis automatic.
void apply_autoplot_limits(AxisScale& axis, const AxisLimits& limits);

}  // namespace zephyrim
