#include "viewer/plot/tick_labels.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "common/text_format.h"

namespace zephyrim {

namespace {

// UTF-8 of the one-half sign that closes the noise density units.
constexpr char kHalf[] = "\xC2\xBD";

std::string cut(std::string text, int length) {
  if (length >= 0 && text.size() > static_cast<size_t>(length)) text.resize(static_cast<size_t>(length));
  return text;
}

// log10(|v|) when it is a whole number within 0.0001, the mark of a decade.
bool decade_of(double v, int& decade) {
  const double l = std::log10(std::fabs(v));
  if (!std::isfinite(l)) return false;
  const double r = std::round(l);
  if (std::fabs(l - r) >= 0.0001) return false;
  decade = static_cast<int>(std::clamp(r, -400.0, 400.0));
  return true;
}

TickLabel general_label(double value, int digits, std::string_view suffix) {
  // Single precision keeps %g from showing the dust of the tick arithmetic.
  const double v = std::fabs(value) <= FLT_MAX ? static_cast<double>(static_cast<float>(value)) : value;
  std::string text = cut(strprintf("%g", v), digits > 0 ? digits : 12);
  if (text != "-0") text += suffix;
  return {text, {}};
}

TickLabel fixed_label(double value, int digits, std::string_view suffix) {
  std::string text = strprintf("%.*f", std::clamp(digits, 0, 9), value);
  if (text != "0" && text != "-0") text += suffix;
  return {text, {}};
}

TickLabel power_label(double value, int digits) {
  const std::string e_form = strprintf("%.*E", std::clamp(digits, 0, 9), value);
  const size_t e = e_form.find('E');
  if (e == std::string::npos) return {e_form, {}};  // INF or NAN
  const std::string mantissa = e_form.substr(0, e) + "x10";
  std::string exponent = e_form.substr(e + 1);
  const bool minus = !exponent.empty() && exponent[0] == '-';
  if (!exponent.empty() && (exponent[0] == '-' || exponent[0] == '+')) exponent.erase(0, 1);
  const size_t first = exponent.find_first_not_of('0');
  exponent = first == std::string::npos ? "0" : exponent.substr(first);
  if (minus) exponent.insert(0, "-");
  int decade = 0;
  if (decade_of(value, decade) || mantissa == "1x10" || mantissa == "-1x10")
    return {value < 0 ? "-10" : "10", exponent};
  return {mantissa, exponent};
}

TickLabel decade_label(double value) {
  static const char* const kDecades[] = {"0.001", "0.01", "0.1", "1", "10", "100", "1000"};
  int decade = 0;
  if (decade_of(value, decade) && decade >= -3 && decade <= 3)
    return {std::string(value < 0 ? "-" : "") + kDecades[decade + 3], {}};
  return {cut(strprintf("%g", value), 9), {}};
}

}  // namespace

TickLabel tick_label(double value, int code, int digits, std::string_view unit_suffix) {
  if (value == 0) return {"0", {}};
  // A value that is zero but for rounding says so by its sign.
  if ((code == TICK_GENERAL || code == TICK_FIXED) && std::fabs(value) < 1e-20)
    return {"+0" + std::string(unit_suffix), {}};
  switch (code) {
    case TICK_FIXED_PLAIN:
    case TICK_FIXED:
      return fixed_label(value, digits, unit_suffix);
    case TICK_POWER:
      return power_label(value, digits);
    case TICK_DECADE:
      return decade_label(value);
    default:
      return general_label(value, digits, unit_suffix);
  }
}

UnitScale unit_scale(double low, double high) {
  static const char* const kCaptions[] = {"x1E-15", "x1E-12", "x1E-9", "x1E-6", "x1E-3",
                                          "",       "x1E3",   "x1E6",  "x1E9",  "x1E12"};
  static const char* const kPrefixes[] = {"f", "p", "n", "u", "m", "", "K", "M", "G", "T"};
  UnitScale s;
  const double biggest = std::max(std::fabs(low), std::fabs(high));
  if (!(biggest > 0) || !std::isfinite(biggest)) return s;
  const double e = std::log10(biggest);
  int g = static_cast<int>(std::trunc(e / 3));
  if (e < 0 && g == 0) g = -1;
  int h = 3 * g;
  if (h < 0 && e < h) h -= 3;
  if (h < -15 || h > 12) return s;
  const int i = h / 3 + 5;
  s.exponent = h;
  s.factor = std::pow(10.0, h);
  s.caption = kCaptions[i];
  s.prefix = kPrefixes[i];
  return s;
}

std::string auto_unit_name(std::string_view trace_name, bool angular_frequency) {
  struct Rule {
    const char* start;
    const char* unit;
  };
  // First match wins, so each letter's special names come before its "any other".
  static const Rule kRules[] = {
      {"VP(", "deg"},      {"VA(", "deg"},       {"VPFFT(", "deg"}, {"VDBMV", "dBmV"},  {"VDBM", "dBm"},
      {"VDB", "dB"},       {"VINOISE", nullptr}, {"VG(", "s"},      {"V", "V"},         {"IP(", "deg"},
      {"IA(", "deg"},      {"IPFFT(", "deg"},    {"IDBM", "dBm"},   {"IDB", "dB"},      {"IINOISE", nullptr},
      {"IG(", "s"},        {"I[", ""},           {"INDUC", "H"},    {"IMPED", "Ohm"},   {"I", "A"},
      {"TEMP", "C"},       {"T", "s"},           {"FREQ", "Hz"},    {"FFT[I", "A"},     {"FFT[V", "V"},
      {"FG(", "Hz"},       {"F", "Hz"},          {"ANGLE", "deg"},  {"A[", "deg"},      {"BANDW", "Hz"},
      {"B(", "gauss"},     {"CURRENT", "A"},     {"CONDUC", "S"},   {"C", "F"},         {"DBMV[", "dBmV"},
      {"DBM(", "dBm"},     {"DBM[", "dBm"},      {"DB[", "dB"},     {"GAIN", ""},       {"G[", "s"},
      {"G", "S"},          {"H(", "oeds"},       {"M[V", "V"},      {"M[I", "A"},       {"OMEGA", "Rad/s"},
      {"ONOISE", nullptr}, {"POLES", "Rad/s"},   {"PHASE", "deg"},  {"P[", "deg"},      {"P", "W"},
      {"RUN", ""},         {"R[", ""},           {"R", "Ohm"},      {"ZEROS", "Rad/s"}, {"Z", "Ohm"},
      {"Y", "S"},
  };
  if (angular_frequency) return "Rad/s";
  for (const Rule& rule : kRules) {
    if (!istarts_with(trace_name, rule.start)) continue;
    if (rule.unit) return rule.unit;
    // The noise densities: per root hertz.
    return std::string(rule.start[0] == 'I' ? "A" : "V") + "/Hz^" + kHalf;
  }
  return {};
}

TickStyle default_tick_style(const AxisScale& axis) {
  TickStyle s;
  s.code = TICK_GENERAL;
  if (axis.log_scale) {
    // Decade labels read plainly up to 100000 and down to 0.0001; an axis
    // that goes further, as a frequency sweep to megahertz does, reads better
    // as powers of ten than as "1e+06".
    const double lo = std::min(axis.low, axis.high), hi = std::max(axis.low, axis.high);
    s.code = hi > 5 + 1e-9 || lo < -4 - 1e-9 ? TICK_POWER : TICK_DECADE;
  }
  return s;
}

namespace {

bool labels_repeat(const std::vector<TickMark>& marks) {
  for (size_t i = 1; i < marks.size(); ++i)
    if (!marks[i].label.text.empty() && marks[i].label == marks[i - 1].label) return true;
  return false;
}

// The fewest decimals (up to 9) that write the spacing exactly.
int decimals_for(double spacing) {
  for (int d = 0; d < 9; ++d) {
    const double scaled = spacing * std::pow(10.0, d);
    if (scaled >= 0.999 && std::fabs(scaled - std::round(scaled)) < 1e-3 * scaled) return d;
  }
  return 9;
}

void linear_marks(const AxisScale& axis, const TickStyle& style, AxisTicks& ticks) {
  double low = std::min(axis.low, axis.high);
  double high = std::max(axis.low, axis.high);
  if (!std::isfinite(low) || !std::isfinite(high)) return;
  double spacing = axis.spacing;
  if (!(spacing > 0) || !std::isfinite(spacing)) spacing = (high - low) / std::max(axis.divisions, 1);
  int count = 0;
  if (spacing > 0)
    count = static_cast<int>(std::min((high - low) / spacing + 1e-6, double{kMaxTickMarks - 1}));
  if (style.unit_mode != UnitMode::None) ticks.scale = unit_scale(low, high);
  if (style.scale_on_caption) ticks.caption = ticks.scale.caption;
  std::string suffix;
  if (style.unit_mode != UnitMode::None)
    suffix = (style.scale_on_caption ? "" : ticks.scale.prefix) + style.unit_name;

  const auto label_all = [&](int code, int digits) {
    for (TickMark& m : ticks.marks) m.label = tick_label(m.value / ticks.scale.factor, code, digits, suffix);
  };
  for (int i = 0; i <= count; ++i) {
    double v = low + i * spacing;
    if (std::fabs(v) < spacing * 1e-9) v = 0;  // the tick arithmetic's dust at zero
    if (v > high) v = high;
    ticks.marks.push_back({v, v, true, {}});
  }
  label_all(style.code, style.digits);
  if (style.code == TICK_GENERAL && labels_repeat(ticks.marks))
    label_all(TICK_FIXED, decimals_for(spacing / ticks.scale.factor));
}

void log_marks(const AxisScale& axis, const TickStyle& style, AxisTicks& ticks) {
  static constexpr double kMarks[] = {1, 2, 4, 6, 8};
  const double low = std::max(std::min(axis.low, axis.high), -400.0);
  const double high = std::min(std::max(axis.low, axis.high), 400.0);
  if (!(low <= high)) return;
  const double slack = 1e-9;
  std::string suffix = style.unit_mode == UnitMode::None ? "" : style.unit_name;
  const auto add = [&](double at, double value, bool major) {
    if (!(value >= DBL_MIN) || value > DBL_MAX || ticks.marks.size() >= kMaxTickMarks) return;
    ticks.marks.push_back({at, value, major, tick_label(value, style.code, style.digits, suffix)});
  };
  if (axis.spacing > 1 + slack) {
    const double step = axis.spacing;
    const double count = std::min((high - low) / step + slack, double{kMaxTickMarks - 1});
    for (int k = 0; k <= count; ++k) add(low + k * step, std::pow(10.0, low + k * step), true);
    return;
  }
  const double first = std::floor(low + slack);
  const double last = std::ceil(high - slack);
  for (double d = first; d <= last && ticks.marks.size() < kMaxTickMarks; ++d) {
    for (double m : kMarks) {
      const double at = d + std::log10(m);
      if (at >= low - slack && at <= high + slack) add(at, m * std::pow(10.0, d), m == 1);
    }
  }
  int decades = 0;
  for (const TickMark& m : ticks.marks) decades += m.major;
  const bool label_minor = high - low <= 2 + slack || decades < 2;
  if (!label_minor)
    for (TickMark& m : ticks.marks)
      if (!m.major) m.label = {};
}

}  // namespace

AxisTicks axis_ticks(const AxisScale& axis, const TickStyle& style) {
  AxisTicks ticks;
  if (axis.log_scale)
    log_marks(axis, style, ticks);
  else
    linear_marks(axis, style, ticks);
  return ticks;
}

}  // namespace zephyrim
