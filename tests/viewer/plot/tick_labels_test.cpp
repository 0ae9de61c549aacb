#include "viewer/plot/tick_labels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <set>
#include <string>

namespace zephyrim {
namespace {

// ---- One label -----------------------------------------------------------

TEST(TickLabel, PowerOfTenNotationKeepsTheExponentApart) {
  EXPECT_EQ(tick_label(1000, TICK_POWER, 1), (TickLabel{"10", "3"}));
  EXPECT_EQ(tick_label(1500, TICK_POWER, 1), (TickLabel{"1.5x10", "3"}));
  EXPECT_EQ(tick_label(-0.00025, TICK_POWER, 2), (TickLabel{"-2.50x10", "-4"}));
  EXPECT_EQ(tick_label(1, TICK_POWER, 3), (TickLabel{"10", "0"}));
  EXPECT_EQ(tick_label(-1e-12, TICK_POWER, 3), (TickLabel{"-10", "-12"}));
  EXPECT_EQ(tick_label(1.04e5, TICK_POWER, 0), (TickLabel{"10", "5"}));  // "1x10" reads as a decade
  EXPECT_EQ(tick_label(2e200, TICK_POWER, 0), (TickLabel{"2x10", "200"}));
  EXPECT_EQ(tick_label(0, TICK_POWER, 3), (TickLabel{"0", ""}));
  EXPECT_EQ(tick_label(1500, TICK_POWER, 40).text, "1.500000000x10");  // digits held to 9
}

TEST(TickLabel, DecadeLabelsArePlainFromAThousandthToAThousand) {
  EXPECT_EQ(tick_label(1e-3, TICK_DECADE, 0).text, "0.001");
  EXPECT_EQ(tick_label(3e-3, TICK_DECADE, 0).text, "0.003");
  EXPECT_EQ(tick_label(1000.05, TICK_DECADE, 0).text, "1000");
  EXPECT_EQ(tick_label(-0.1, TICK_DECADE, 0).text, "-0.1");
  EXPECT_EQ(tick_label(1e4, TICK_DECADE, 0).text, "10000");
  EXPECT_EQ(tick_label(1e-4, TICK_DECADE, 0).text, "0.0001");
  EXPECT_EQ(tick_label(1e-5, TICK_DECADE, 0).text, "1e-05");
  EXPECT_EQ(tick_label(-1.23456789e-15, TICK_DECADE, 0).text, "-1.23457e");  // cut to 9
}

TEST(TickLabel, GeneralAndFixedCodesCarryTheUnit) {
  EXPECT_EQ(tick_label(0, TICK_GENERAL, 0, "V").text, "0");
  EXPECT_EQ(tick_label(1e-25, TICK_GENERAL, 0, "V").text, "+0V");
  EXPECT_EQ(tick_label(-1e-25, TICK_FIXED, 2).text, "+0");
  EXPECT_EQ(tick_label(0.1 + 0.2, TICK_GENERAL, 0, "mV").text, "0.3mV");
  EXPECT_EQ(tick_label(1234.5, TICK_GENERAL, 3, "V").text, "123V");  // cut to the digits
  EXPECT_EQ(tick_label(-0.5, TICK_GENERAL, 2, "V").text, "-0");
  EXPECT_EQ(tick_label(1e39, TICK_GENERAL, 0).text, "1e+39");  // past single precision
  EXPECT_EQ(tick_label(2.5, TICK_FIXED, 2, "A").text, "2.50A");
  EXPECT_EQ(tick_label(-0.3, TICK_FIXED, 0, "A").text, "-0");
  EXPECT_EQ(tick_label(0.3, TICK_FIXED_PLAIN, 0, "A").text, "0");
  EXPECT_EQ(tick_label(1e-25, TICK_FIXED_PLAIN, 1).text, "0.0");  // no "+0" for the plain code
  EXPECT_EQ(tick_label(2.25, TICK_FIXED, 12).text, "2.250000000");
  EXPECT_EQ(tick_label(std::nan(""), TICK_POWER, 1).text, "NAN");
}

// ---- Unit scale and unit names -------------------------------------------

TEST(UnitScale, ThePowerOfTheLargerEnd) {
  struct Case {
    double low, high;
    int exponent;
    const char* caption;
    const char* prefix;
  };
  const Case cases[] = {
      {0, 0.5, -3, "x1E-3", "m"},
      {0, 0.001, -3, "x1E-3", "m"},
      {0, 5e-4, -6, "x1E-6", "u"},
      {0, 999, 0, "", ""},
      {0, 1, 0, "", ""},
      {-5000, 10, 3, "x1E3", "K"},
      {0, 2e6, 6, "x1E6", "M"},
      {0, 3e9, 9, "x1E9", "G"},
      {0, 1e13, 12, "x1E12", "T"},
      {0, 1e15, 0, "", ""},
      {0, 2e-9, -9, "x1E-9", "n"},
      {0, 5e-12, -12, "x1E-12", "p"},
      {0, 1e-15, -15, "x1E-15", "f"},
      {0, 5e-16, 0, "", ""},
      {0, 0, 0, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.high);
    const UnitScale s = unit_scale(c.low, c.high);
    EXPECT_EQ(s.exponent, c.exponent);
    EXPECT_DOUBLE_EQ(s.factor, std::pow(10.0, c.exponent));
    EXPECT_EQ(s.caption, c.caption);
    EXPECT_EQ(s.prefix, c.prefix);
  }
  EXPECT_EQ(unit_scale(-INFINITY, 1).factor, 1);
}

TEST(AutoUnitName, FirstMatchingStartOfTheTraceName) {
  const std::pair<const char*, const char*> cases[] = {
      {"V(OUT)", "V"},
      {"vdb(2)", "dB"},
      {"VDBM(2)", "dBm"},
      {"VDBMV(2)", "dBmV"},
      {"VP(3)", "deg"},
      {"VPFFT(3)", "deg"},
      {"VG(3)", "s"},
      {"VINOISE", "V/Hz^\xC2\xBD"},
      {"IINOISE", "A/Hz^\xC2\xBD"},
      {"ONOISE", "V/Hz^\xC2\xBD"},
      {"I(R1)", "A"},
      {"IA(R1)", "deg"},
      {"IDBM(R1)", "dBm"},
      {"I[0]", ""},
      {"INDUCTANCE", "H"},
      {"IMPEDANCE", "Ohm"},
      {"TEMP", "C"},
      {"TIME", "s"},
      {"FREQUENCY", "Hz"},
      {"FFT[I(R1)]", "A"},
      {"FFT[V(1)]", "V"},
      {"FG(1)", "Hz"},
      {"ANGLE", "deg"},
      {"A[1]", "deg"},
      {"AMP", ""},
      {"BANDWIDTH", "Hz"},
      {"B(L1)", "gauss"},
      {"CURRENT", "A"},
      {"CONDUCTANCE", "S"},
      {"CAP", "F"},
      {"DBMV[1]", "dBmV"},
      {"DBM(1)", "dBm"},
      {"DB[V(1)]", "dB"},
      {"DX", ""},
      {"GAIN", ""},
      {"G[1]", "s"},
      {"GM", "S"},
      {"H(L1)", "oeds"},
      {"M[V(1)]", "V"},
      {"M[I(1)]", "A"},
      {"OMEGA", "Rad/s"},
      {"POLES", "Rad/s"},
      {"PHASE", "deg"},
      {"P[1]", "deg"},
      {"POWER", "W"},
      {"RUN", ""},
      {"R[1]", ""},
      {"RES", "Ohm"},
      {"ZEROS", "Rad/s"},
      {"Z11", "Ohm"},
      {"Y21", "S"},
      {"X", ""},
      {"", ""},
  };
  for (const auto& [name, unit] : cases) EXPECT_EQ(auto_unit_name(name, false), unit) << name;
  EXPECT_EQ(auto_unit_name("V(OUT)", true), "Rad/s");
  EXPECT_EQ(auto_unit_name("", true), "Rad/s");
}

// ---- Marks of an axis ----------------------------------------------------

// The number a label stands for: the scale letter, unit and exponent taken
// back into account. NaN when the text is not a number.
double read_back(const TickLabel& label, const UnitScale& scale, const std::string& unit) {
  std::string text = label.text;
  if (!unit.empty() && text.size() >= unit.size() && text.ends_with(unit))
    text.resize(text.size() - unit.size());
  if (!scale.prefix.empty() && text.ends_with(scale.prefix)) text.resize(text.size() - scale.prefix.size());
  if (!label.exponent.empty()) {
    const double e = std::pow(10.0, std::strtod(label.exponent.c_str(), nullptr));
    if (text == "10" || text == "-10") return (text[0] == '-' ? -e : e) * scale.factor;
    text.resize(text.size() - 3);  // "x10"
    return std::strtod(text.c_str(), nullptr) * e * scale.factor;
  }
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (end == text.c_str() || *end) return NAN;
  return v * scale.factor;
}

// What any sensible axis shows: marks inside the limits, ascending, with
// labels that are numbers, distinct and increasing, each close to its mark.
void expect_readable(const AxisScale& axis, const TickStyle& style) {
  const AxisTicks t = axis_ticks(axis, style);
  ASSERT_FALSE(t.marks.empty());
  const double low = axis.log_scale ? std::pow(10.0, axis.low) : axis.low;
  const double high = axis.log_scale ? std::pow(10.0, axis.high) : axis.high;
  const double low_slack = 1e-9 * (axis.log_scale ? low : high - low);
  const double high_slack = 1e-9 * (axis.log_scale ? high : high - low);
  std::set<std::string> texts;
  double last_value = -INFINITY, last_read = -INFINITY;
  for (const TickMark& m : t.marks) {
    SCOPED_TRACE(m.label.text + " " + m.label.exponent);
    ASSERT_TRUE(std::isfinite(m.value) && std::isfinite(m.at));
    EXPECT_GE(m.value, low - low_slack);
    EXPECT_LE(m.value, high + high_slack);
    EXPECT_GT(m.value, last_value);
    last_value = m.value;
    if (m.label.text.empty()) continue;
    EXPECT_TRUE(texts.insert(m.label.text + "^" + m.label.exponent).second) << "repeated";
    const double v = read_back(m.label, t.scale, style.unit_name);
    ASSERT_FALSE(std::isnan(v));
    EXPECT_GT(v, last_read);
    last_read = v;
    EXPECT_NEAR(v, m.value, axis.log_scale ? 0.01 * m.value : 0.5 * axis.spacing);
  }
}

TEST(AxisTicks, AYAxisFromZeroToOneWithVolts) {
  AxisScale a;
  a.data_max = 1;
  auto_linear_limits(a, 6, true);
  TickStyle s;
  s.unit_name = "V";
  AxisTicks t = axis_ticks(a, s);
  std::vector<std::string> texts;
  for (const TickMark& m : t.marks) texts.push_back(m.label.text);
  EXPECT_EQ(texts, (std::vector<std::string>{"0", "0.2V", "0.4V", "0.6V", "0.8V", "1V", "1.2V"}));
  EXPECT_TRUE(t.caption.empty());

  a.low = -0.7, a.high = 0.7, a.spacing = 0.1;
  t = axis_ticks(a, s);
  ASSERT_EQ(t.marks.size(), 15u);
  EXPECT_EQ(t.marks[0].label.text, "-700mV");
  EXPECT_EQ(t.marks[7].label.text, "0");
  EXPECT_EQ(t.marks[7].value, 0);  // not the dust of -0.7 + 7 * 0.1
  s.scale_on_caption = true;
  t = axis_ticks(a, s);
  EXPECT_EQ(t.marks[0].label.text, "-700V");
  EXPECT_EQ(t.caption, "x1E-3");
  s.unit_mode = UnitMode::None;
  t = axis_ticks(a, s);
  EXPECT_EQ(t.marks[0].label.text, "-0.7");
  EXPECT_TRUE(t.caption.empty());
}

TEST(AxisTicks, ManualSpacingThatMissesTheTopStopsBelowIt) {
  AxisScale a;
  a.low = 0, a.high = 10, a.spacing = 4, a.divisions = 3;
  const AxisTicks t = axis_ticks(a, {});
  ASSERT_EQ(t.marks.size(), 3u);
  EXPECT_EQ(t.marks.back().value, 8);
}

TEST(AxisTicks, ASweepToMegahertzIsLabelledInPowersOfTen) {
  AxisScale a;
  a.log_scale = 1;
  a.data_min = 1, a.data_max = 7;  // 10 Hz .. 10 MHz
  auto_log_limits(a);
  AxisTicks t = axis_ticks(a, default_tick_style(a));
  std::vector<std::string> labelled;
  for (const TickMark& m : t.marks)
    if (!m.label.text.empty()) labelled.push_back(m.label.text + "^" + m.label.exponent);
  ASSERT_EQ(labelled.size(), 7u);
  EXPECT_EQ(labelled.front(), "10^1");
  EXPECT_EQ(labelled.back(), "10^7");
}

TEST(AxisTicks, LogAxesMarkTheDecadesAndTheirSubMarks) {
  AxisScale a;
  a.log_scale = 1;
  a.data_min = 0, a.data_max = 3;
  auto_log_limits(a);
  AxisTicks t = axis_ticks(a, default_tick_style(a));
  ASSERT_EQ(t.marks.size(), 16u);  // 1 2 4 6 8 10 .. 800 1000
  std::vector<std::string> labelled;
  for (const TickMark& m : t.marks)
    if (!m.label.text.empty()) labelled.push_back(m.label.text);
  EXPECT_EQ(labelled, (std::vector<std::string>{"1", "10", "100", "1000"}));
  EXPECT_NEAR(t.marks[1].at, std::log10(2.0), 1e-12);
  EXPECT_FALSE(t.marks[1].major);

  a.low = std::log10(4.0), a.high = std::log10(60.0), a.first_mark = 3;
  t = axis_ticks(a, default_tick_style(a));
  labelled.clear();
  for (const TickMark& m : t.marks) labelled.push_back(m.label.text);
  EXPECT_EQ(labelled, (std::vector<std::string>{"4", "6", "8", "10", "20", "40", "60"}));

  a.low = -30, a.high = 30, a.spacing = 3, a.divisions = 20;
  TickStyle decades;
  decades.code = TICK_DECADE;
  t = axis_ticks(a, decades);
  ASSERT_EQ(t.marks.size(), 21u);
  EXPECT_EQ(t.marks[10].label.text, "1");
  EXPECT_EQ(t.marks[11].label.text, "1000");
  EXPECT_EQ(t.marks[12].label.text, "1e+06");
  // By default an axis that wide reads in powers of ten.
  t = axis_ticks(a, default_tick_style(a));
  EXPECT_EQ(t.marks[12].label.text + "^" + t.marks[12].label.exponent, "10^6");
}

// Ranges 1e-15 to 1e15 wide, at and off zero, negative, reversed and flat, on
// X and Y, in every label code: readable marks.
TEST(AxisTicks, LinearAxesStayReadableOverEveryScale) {
  const double shapes[][2] = {{0, 1},      {-1, 1},      {-3, -1},  {5, 5}, {7, 2},
                              {0.3, 0.31}, {1, 1.00002}, {-8, 9.5}, {0, 0}};
  for (int p = -15; p <= 15; ++p) {
    const double s = std::pow(10.0, p);
    for (const auto& sh : shapes) {
      for (const bool y : {false, true}) {
        AxisScale a;
        a.data_min = sh[0] * s;
        a.data_max = sh[1] * s;
        auto_linear_limits(a, max_axis_divisions(y, 1), y);
        SCOPED_TRACE(testing::Message() << a.low << " .. " << a.high << " by " << a.spacing);
        TickStyle style;
        style.unit_name = "V";
        expect_readable(a, style);
        EXPECT_EQ(axis_ticks(a, style).marks.size(), static_cast<size_t>(a.divisions + 1));
        // Power labels write values within 0.01% of a decade as the decade,
        // so they cannot tell apart the ticks of a nearly flat range.
        if (std::fabs(sh[1] - sh[0]) < 1e-3 * std::fabs(sh[1])) continue;
        style.code = TICK_POWER;
        style.digits = 6;
        expect_readable(a, style);
      }
    }
  }
}

TEST(AxisTicks, LogAxesStayReadableFromOneDecadeToHundreds) {
  for (int start : {-300, -15, -3, 0, 7}) {
    for (int d = 1; d <= 300; d += d < 25 ? 1 : 37) {
      if (start + d > 307) continue;
      AxisScale a;
      a.log_scale = 1;
      a.data_min = start + 0.25;
      a.data_max = start + d - 0.5;
      auto_log_limits(a);
      SCOPED_TRACE(testing::Message() << a.low << " .. " << a.high << " by " << a.spacing);
      expect_readable(a, default_tick_style(a));
      TickStyle power;
      power.code = TICK_POWER;
      expect_readable(a, power);
      int decades = 0;
      for (const TickMark& m : axis_ticks(a, power).marks) decades += m.major;
      EXPECT_EQ(decades, a.divisions + 1);
    }
  }
}

TEST(AxisTicks, BrokenRecordsGiveFewOrNoMarksButNeverHang) {
  AxisScale a;
  a.low = 0, a.high = 1, a.spacing = 1e-300;
  EXPECT_LE(axis_ticks(a, {}).marks.size(), static_cast<size_t>(kMaxTickMarks));
  a.spacing = -1, a.divisions = 4;
  EXPECT_EQ(axis_ticks(a, {}).marks.size(), 5u);
  a.spacing = 0, a.divisions = 0;
  EXPECT_EQ(axis_ticks(a, {}).marks.size(), 2u);
  a.low = a.high = 3;
  EXPECT_EQ(axis_ticks(a, {}).marks.size(), 1u);
  a.low = NAN;
  EXPECT_TRUE(axis_ticks(a, {}).marks.empty());
  a.low = 2, a.high = -2, a.spacing = 1;
  EXPECT_EQ(axis_ticks(a, {}).marks.front().value, -2);
  a.log_scale = 1;
  a.low = -1e9, a.high = 1e9, a.spacing = 0;
  EXPECT_LE(axis_ticks(a, {}).marks.size(), static_cast<size_t>(kMaxTickMarks));
  a.low = -330, a.high = -320, a.spacing = 1;  // below the smallest double: nothing to mark
  EXPECT_LE(axis_ticks(a, {}).marks.size(), 20u);
}

}  // namespace
}  // namespace zephyrim
