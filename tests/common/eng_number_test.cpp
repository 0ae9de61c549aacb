#include "common/eng_number.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

namespace zephyrim {
namespace {

struct ParseCase {
  std::string text;
  double value;
  int consumed;
};

void expect_parse(const ParseCase& c) {
  std::string text = c.text;
  double value = -1;
  EXPECT_EQ(parse_eng(text, value), c.consumed) << "text \"" << c.text << "\"";
  EXPECT_DOUBLE_EQ(value, c.value) << "text \"" << c.text << "\"";
}

TEST(ParseEng, EverySuffixInBothCases) {
  const ParseCase cases[] = {
      {"2T", 2e12, 2},      {"2t", 2e12, 2},      {"2G", 2e9, 2},   {"2g", 2e9, 2},   {"2MEG", 2e6, 4},
      {"2meg", 2e6, 4},     {"2K", 2e3, 2},       {"2k", 2e3, 2},   {"2M", 2e-3, 2},  {"2m", 2e-3, 2},
      {"2MIL", 5.08e-5, 4}, {"2mil", 5.08e-5, 4}, {"2U", 2e-6, 2},  {"2u", 2e-6, 2},  {"2N", 2e-9, 2},
      {"2n", 2e-9, 2},      {"2P", 2e-12, 2},     {"2p", 2e-12, 2}, {"2F", 2e-15, 2}, {"2f", 2e-15, 2},
      {"2%", 0.02, 2},      {"2X", 2, 1},         {"2 K", 2, 1},
  };
  for (const auto& c : cases) expect_parse(c);
}

TEST(ParseEng, DocumentedCases) {
  const ParseCase cases[] = {
      {"10MEG", 1e7, 5},  {"10m", 0.01, 3},     {"5MIL", 0.000127, 4}, {"0K", 0, 1},
      {"1E", 1, 1},       {"-.5U", -5e-7, 4},   {"3.3E-", 3.3, 3},     {"abc", 0, -1},
      {"*", NO_VALUE, 1}, {"  *", NO_VALUE, 1}, {"0.0MEG", 0, 3},      {"1.5E3K", 1.5e6, 6},
  };
  for (const auto& c : cases) expect_parse(c);
}

TEST(ParseEng, SuffixIsJudgedAtTheEndOfTheWholePrefix) {
  // strtod stops early in "1-2" and "1.2.3K", yet the count and the suffix
  // position are those of the whole prefix; MEG and MIL count only as the first
  // occurrence in the text.
  const ParseCase cases[] = {
      {"1-2", 1, 3},       {"1.2.3K", 1200, 6}, {"1ME", 1e-3, 2},
      {"1MXMEG", 1e-3, 2}, {"1MEMEG", 1e-3, 2}, {"1MILMEG", 2.54e-5, 4},
  };
  for (const auto& c : cases) expect_parse(c);
}

TEST(ParseEng, NormalisesTextInPlace) {
  std::string text = " \t10meg ohm";
  double value = 0;
  EXPECT_EQ(parse_eng(text, value), 5);
  EXPECT_EQ(text, "10MEG OHM");
  EXPECT_DOUBLE_EQ(value, 1e7);

  text = "4.7k";
  EXPECT_EQ(parse_eng(text, value, false), 3);
  EXPECT_DOUBLE_EQ(value, 4.7);
}

TEST(ParseEng, GarbageNeverReadsPastTheText) {
  using namespace std::string_literals;
  const ParseCase cases[] = {
      {"", 0, -1},
      {"-", 0, -1},
      {"+-", 0, -1},
      {"   ", 0, -1},
      {".", 0, 1},
      {"E5", 0, 2},
      {"**", 0, -1},
      {"* ", 0, -1},
      {"\0"s
       "5",
       0, -1},
      {"1\0K"s, 1, 1},
      {"7\xff", 7, 1},
      {"\xe9"
       "1",
       0, -1},
      {"1E999", HUGE_VAL, 5},
  };
  for (const auto& c : cases) expect_parse(c);

  // Long inputs stop at 64 characters; the 65th is a digit, not a suffix.
  std::string text(10000, '1');
  text += 'K';
  double value = 0;
  EXPECT_EQ(parse_eng(text, value), 64);
  EXPECT_NEAR(value / 1.1111111111111111e63, 1.0, 1e-15);
}

TEST(ParseEng, FloatVariantHasNoStar) {
  std::string text = "*";
  float value = 1;
  EXPECT_EQ(parse_eng(text, value), -1);
  EXPECT_EQ(value, 0.0f);
  text = "4.7k";
  EXPECT_EQ(parse_eng(text, value), 4);
  EXPECT_FLOAT_EQ(value, 4700.0f);
  text = "1E39";
  EXPECT_EQ(parse_eng(text, value), 4);
  EXPECT_TRUE(std::isinf(value));
}

TEST(NoValue, ThresholdAndSentinel) {
  EXPECT_FALSE(has_value(NO_VALUE));
  EXPECT_FALSE(has_value(-NO_VALUE));
  EXPECT_FALSE(has_value(NO_VALUE_THRESHOLD));
  EXPECT_FALSE(has_value(std::numeric_limits<double>::quiet_NaN()));
  EXPECT_TRUE(has_value(9.9899e299));
  EXPECT_TRUE(has_value(0));
  EXPECT_EQ(format_eng(NO_VALUE, 3), "*");
  // Only the exact sentinel prints as "*"; others print as numbers.
  EXPECT_EQ(format_eng(-NO_VALUE, -1), "-9.99E+299");
}

struct FormatCase {
  double value;
  int precision;
  const char* editor;
  const char* viewer;
};

TEST(FormatEng, EditorAndViewerForms) {
  const FormatCase cases[] = {
      {4700, 3, "4.7K", "4.7K"},
      {-4700, 3, "-4.7K", "-4.7K"},
      {0.5, -1, "500m", "500m"},
      {1e-18, -1, "1E-18", "1E-18"},
      {1e6, -1, "1MEG", "1E6"},
      {1.5e6, 3, "1.5MEG", "1.5E6"},
      {1e9, -1, "1G", "1E9"},
      {1e12, -1, "1T", "1E12"},
      {1e15, -1, "1E+15", "1E+15"},
      {1000, -1, "1K", "1K"},
      {123.456, 4, "123.5", "123.5"},
      {0.001, 3, "1m", "1m"},
      {2.2e-6, -1, "2.2u", "2.2u"},
      {1e-9, -1, "1n", "1n"},
      {1e-12, -1, "1p", "1p"},
      {1e-15, -1, "1f", "1f"},
      {1e-16, -1, "1E-16", "1E-16"},
      {4700, 0, "5K", "5K"},
      {0, 3, "0", "0"},
      {1e-301, 3, "=0", "=0"},
      {NO_VALUE, -1, "*", "*"},
      // Rounding up at the top of a range keeps the range's suffix (%G turns
      // 1000 at 3 digits into 1E+03).
      {999.5, 3, "1E+03", "1E+03"},
      {999.9999, 3, "1E+03", "1E+03"},
      {999.9999, 7, "999.9999", "999.9999"},
      {999999, 3, "1E+03K", "1E+03K"},
      {9.9999e-13, 3, "1E+03f", "1E+03f"},
      {999.9e9, 3, "1E+03G", "1E+03E9"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(format_eng(c.value, c.precision), c.editor) << c.value << " at " << c.precision;
    EXPECT_EQ(format_eng_viewer(c.value, c.precision), c.viewer) << c.value << " at " << c.precision;
  }
}

TEST(FormatEng, StaysWithinFieldBufferAndParsesBack) {
  const double values[] = {std::numeric_limits<double>::max(),
                           -std::numeric_limits<double>::max(),
                           -1.2345678901234567e-300,
                           -0.12345678901234567,
                           -123.45678901234567e-15,
                           -987.65432109876543e12,
                           1e300 / 3,
                           HUGE_VAL,
                           -std::nan("")};
  for (double v : values)
    for (int precision : {-1, 0, 6, 17, 40, INT_MAX}) {
      std::string text = format_eng(v, precision);
      EXPECT_LE(text.size(), 35u) << v << " at " << precision;
      EXPECT_LE(format_eng_viewer(v, precision).size(), 35u) << v << " at " << precision;
      double back = 0;
      if (precision == 17 && std::isfinite(v)) {
        EXPECT_GT(parse_eng(text, back), 0) << text;
        EXPECT_NEAR(back / v, 1.0, 1e-15) << text;
      }
    }
}

TEST(FormatFitted, ShortensToWidth) {
  std::string out;
  EXPECT_EQ(format_fitted(1234.5678, out, 6, 10), 7);
  EXPECT_EQ(out, "1234.57");
  EXPECT_EQ(format_fitted(0.001234, out, 3, 20), 9);
  EXPECT_EQ(out, "1.234E-03");
  // Exponent forms drop as many digits as they are too long.
  EXPECT_EQ(format_fitted(0.001234, out, 6, 9), 9);
  EXPECT_EQ(out, "1.234E-03");
  // Other forms are cut.
  EXPECT_EQ(format_fitted(123456789, out, 9, 5), 5);
  EXPECT_EQ(out, "12345");
  // Nothing left to drop: the reformatted text is returned as it is.
  EXPECT_EQ(format_fitted(1e20, out, 6, 3), 5);
  EXPECT_EQ(out, "1E+20");
}

TEST(ParseIntField, FirstDigitRunWithinWindow) {
  int value = -1;
  EXPECT_TRUE(parse_int_field("abc42def7", value));
  EXPECT_EQ(value, 42);
  EXPECT_TRUE(parse_int_field("-17", value));
  EXPECT_EQ(value, 17);
  EXPECT_TRUE(parse_int_field(std::string(30, 'x') + "12", value));
  EXPECT_EQ(value, 1);
  EXPECT_TRUE(parse_int_field(std::string(29, '0') + "42", value));
  EXPECT_EQ(value, 42);

  value = 5;
  EXPECT_FALSE(parse_int_field("", value));
  EXPECT_FALSE(parse_int_field(std::string(31, 'x') + "5", value));
  EXPECT_FALSE(parse_int_field("2147483648", value));
  EXPECT_FALSE(parse_int_field(std::string(31, '9'), value));
  EXPECT_EQ(value, 5);
}

TEST(DialogFields, StoreShowAndReject) {
  NumField field{101, 3, false, 1.0};
  EXPECT_EQ(read_num_field(field, "", false), 0);
  EXPECT_EQ(field.value, 1.0);
  EXPECT_FALSE(field.modified);

  EXPECT_EQ(read_num_field(field, "abc", true), -1);
  EXPECT_EQ(field.value, 1.0);
  EXPECT_FALSE(field.modified);

  EXPECT_EQ(read_num_field(field, "4.7k", true), 1);
  EXPECT_EQ(field.value, 4700);
  EXPECT_TRUE(field.modified);
  EXPECT_EQ(num_field_text(field), "4.7K");

  field.modified = false;
  EXPECT_EQ(read_num_field(field, "", true), 1);
  EXPECT_EQ(field.value, NO_VALUE);
  EXPECT_TRUE(field.modified);
  EXPECT_EQ(num_field_text(field), "");
  field.value = NO_VALUE_THRESHOLD;
  EXPECT_EQ(num_field_text(field), "");

  EXPECT_EQ(int_field_text(IntField{1, true, -5}), "-5");
  EXPECT_EQ(int_field_text(IntField{1, false, 5}), "");
}

TEST(DialogFields, EntryFilters) {
  int numeric = 0, integer = 0;
  for (int c = CHAR_MIN; c <= CHAR_MAX; ++c) {
    numeric += numeric_entry_accepts(static_cast<char>(c));
    integer += integer_entry_accepts(static_cast<char>(c));
  }
  EXPECT_EQ(numeric, 31);
  EXPECT_EQ(integer, 12);
  for (char c : {'u', 'M', '%', '*', 'E', '.'}) EXPECT_TRUE(numeric_entry_accepts(c)) << c;
  // F scales on input but cannot be typed into a numeric control.
  for (char c : {'f', 'F', 'x', ' ', '\0', '/'}) EXPECT_FALSE(numeric_entry_accepts(c)) << c;
  EXPECT_FALSE(integer_entry_accepts('.'));
  EXPECT_FALSE(integer_entry_accepts('\0'));
}

}  // namespace
}  // namespace zephyrim
