#pragma once
// The texts written at the ticks of an axis: one number in one of the label
// formats, the power-of-ten scale shared by an axis, the unit read from the
// trace name, and the list of an axis's marks with their texts, which the
// drawing code and the text dumps both use.
#include <string>
#include <string_view>
#include <vector>

#include "viewer/plot/axis_scale.h"

namespace zephyrim {

// Tick label format codes.
enum TickCode : int {
  TICK_FIXED_PLAIN = -1,  // %.nf
  TICK_GENERAL = 0,       // %g, single precision
  TICK_FIXED = 1,         // %.nf
  TICK_POWER = 2,         // mantissa x10 with a raised exponent
  TICK_DECADE = 3,        // log decades 0.001 .. 1000, else %g
};

// A label: text and, for TICK_POWER, the exponent drawn raised in a smaller font.
struct TickLabel {
  std::string text;
  std::string exponent;
  bool operator==(const TickLabel&) const = default;
};

// The label of one value. digits is the decimals of the fixed codes and the
// power code (0..9), and the length the general code is cut to (12 when 0 or
// less). unit_suffix (scale letter and unit name) follows the fixed and
// general texts.
TickLabel tick_label(double value, int code, int digits, std::string_view unit_suffix = {});

// The power of ten an axis's tick values are divided by.
struct UnitScale {
  int exponent = 0;     // -15 .. 12 in steps of 3; 0 when unscaled
  double factor = 1;    // 10^exponent
  std::string caption;  // "x1E3" for the axis caption, or empty
  std::string prefix;   // "K" to precede the unit name at each tick, or empty
};

// The scale for an axis from low to high (the larger magnitude decides).
UnitScale unit_scale(double low, double high);

// The unit of a trace from the start of its name ("V(OUT)" reads "V", "VDB(2)"
// "dB"); empty when the name has none. angular_frequency (pole-zero data shown)
// makes every axis read "Rad/s".
std::string auto_unit_name(std::string_view trace_name, bool angular_frequency);

enum class UnitMode { Auto, User, None };

// How an axis writes its labels; the plot model keeps one per axis.
struct TickStyle {
  int code = TICK_GENERAL;
  int digits = 0;
  UnitMode unit_mode = UnitMode::Auto;  // None: no scaling and no unit
  std::string unit_name;                // the auto name of the axis's first trace, or the user's
  bool scale_on_caption = false;        // "On axis caption" rather than "Append to tick value"
};

// Linear axes write general labels, log axes decade labels, or powers of ten
// when they reach beyond 1E5 or below 1E-4.
TickStyle default_tick_style(const AxisScale& axis);

// One mark on an axis.
struct TickMark {
  double at = 0;      // on the axis's own scale (log10 of value on a log axis)
  double value = 0;   // in data units
  bool major = true;  // false for the 2, 4, 6, 8 marks inside a decade
  TickLabel label;    // empty text: an unlabelled mark
};

struct AxisTicks {
  std::vector<TickMark> marks;  // ascending, all within the axis limits
  UnitScale scale;              // what the linear labels were divided by
  std::string caption;          // the scale text for the axis caption, or empty
};

// The most marks an axis lists, whatever its record holds.
inline constexpr int kMaxTickMarks = 1000;

// The marks of an axis and their labels. Linear: low, low + spacing, ... up
// to high. Log with one decade per tick: every 1, 2, 4, 6 and 8 times a power
// of ten within the limits, the sub-decade ones labelled only on axes of at
// most two decades (or with fewer than two decade marks); log with wider
// spacing: the decade marks alone. General labels that would read alike at
// neighbouring ticks are written in fixed form with the decimals the spacing
// needs.
AxisTicks axis_ticks(const AxisScale& axis, const TickStyle& style);

}  // namespace zephyrim
