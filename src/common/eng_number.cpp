#include "common/eng_number.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <type_traits>

#include "common/text_format.h"

namespace zephyrim {
namespace {

constexpr std::string_view kNumberChars = "0123456789+-.E";
constexpr std::string_view kNumberEndChars = "0123456789.";
constexpr size_t kMaxNumberChars = 64;

// Beyond 17 significant digits %G only adds noise from the binary expansion,
// and 17 keeps the longest engineering form within the 36-byte field buffers
// the dialogs were laid out for.
constexpr int kMaxPrecision = 17;

constexpr bool in_set(std::string_view set, char c) {
  return set.find(c) != std::string_view::npos;
}

constexpr bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

void strip_leading_blanks(std::string& text) {
  size_t blanks = 0;
  while (blanks < text.size() && (text[blanks] == ' ' || text[blanks] == '\t')) ++blanks;
  text.erase(0, blanks);
}

// ASCII only: the suffixes are ASCII, and a locale-dependent toupper could turn
// high bytes into letters.
void upper_case(std::string& text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
}

size_t numeric_prefix_length(const std::string& text) {
  size_t n = 0;
  while (n < text.size() && in_set(kNumberChars, text[n])) ++n;
  // A dangling exponent or sign belongs to the next field, not the number.
  while (n > 0 && !in_set(kNumberEndChars, text[n - 1])) --n;
  return std::min(n, kMaxNumberChars);
}

// Scale factor of the suffix starting at text[pos]; consumed is set to its
// length, 0 when the character is not a suffix.
double suffix_factor(const std::string& text, size_t pos, int& consumed) {
  consumed = 1;
  switch (text[pos]) {
    case 'T':
      return 1e12;
    case 'G':
      return 1e9;
    case 'K':
      return 1e3;
    case 'U':
      return 1e-6;
    case 'N':
      return 1e-9;
    case 'P':
      return 1e-12;
    case 'F':
      return 1e-15;
    case '%':
      return 0.01;
    case 'M':
      consumed = 3;
      if (text.find("MEG") == pos) return 1e6;
      if (text.find("MIL") == pos) return 0.0000254;
      consumed = 1;
      return 1e-3;
    default:
      consumed = 0;
      return 1.0;
  }
}

template <typename T>
int parse_eng_as(std::string& text, T& value, bool allow_suffix) {
  value = 0;
  strip_leading_blanks(text);
  if constexpr (std::is_same_v<T, double>) {
    if (text == "*") {
      value = NO_VALUE;
      return 1;
    }
  }
  upper_case(text);
  const size_t n = numeric_prefix_length(text);
  if (n == 0) return -1;
  // Convert a terminated copy so the conversion can never run past the prefix.
  const std::string prefix = text.substr(0, n);
  if constexpr (std::is_same_v<T, double>)
    value = std::strtod(prefix.c_str(), nullptr);
  else
    value = std::strtof(prefix.c_str(), nullptr);
  if (value == 0 || !allow_suffix || n == text.size()) return static_cast<int>(n);
  int consumed = 0;
  const double factor = suffix_factor(text, n, consumed);
  if (consumed > 0) value = static_cast<T>(value * factor);
  return static_cast<int>(n) + consumed;
}

std::string print_g(double value, int precision) {
  if (precision < 0) return strprintf("%-G", value);
  return strprintf("%-.*G", std::min(precision, kMaxPrecision), value);
}

// Suffixes for e = -15, -12, ..., 12; e = 0 has none.
using SuffixTable = const char* const[10];
constexpr SuffixTable kEditorSuffixes = {"f", "p", "n", "u", "m", "", "K", "MEG", "G", "T"};
constexpr SuffixTable kViewerSuffixes = {"f", "p", "n", "u", "m", "", "K", "E6", "E9", "E12"};
constexpr double kPowersOfThousand[] = {1.0, 1e3, 1e6, 1e9, 1e12, 1e15};

std::string format_with(double value, int precision, const SuffixTable& suffixes) {
  if (value == NO_VALUE) return "*";
  if (value == 0) return "0";
  if (std::fabs(value) < 1e-300) return "=0";
  // INF and NAN have no exponent to pick a suffix from.
  if (!std::isfinite(value)) return print_g(value, precision);
  const double d = std::log10(std::fabs(value));
  int e = static_cast<int>(d / 3);
  if (d < 0 && e == 0) e = -1;
  e *= 3;
  if (e < 0 && d < e) e -= 3;
  if (e == 0 || e < -15 || e > 12) return print_g(value, precision);
  // Scaling by an exact power of ten rounds only once, so 0.5 becomes exactly
  // 500 and not 499.99999999999994 as dividing by the inexact 1e-3 would give.
  const double scale = kPowersOfThousand[std::abs(e) / 3];
  const double mantissa = e > 0 ? value / scale : value * scale;
  return print_g(mantissa, precision) + suffixes[(e + 15) / 3];
}

}  // namespace

int parse_eng(std::string& text, double& value, bool allow_suffix) {
  return parse_eng_as(text, value, allow_suffix);
}

int parse_eng(std::string& text, float& value, bool allow_suffix) {
  return parse_eng_as(text, value, allow_suffix);
}

std::string format_eng(double value, int precision) {
  return format_with(value, precision, kEditorSuffixes);
}

std::string format_eng_viewer(double value, int precision) {
  return format_with(value, precision, kViewerSuffixes);
}

int format_fitted(double value, std::string& out, int precision, int width) {
  precision = std::min(precision, kMaxPrecision);
  width = std::max(width, 0);
  const double magnitude = std::fabs(value);
  const bool exponent_form = magnitude > 0 && magnitude < 0.01;
  const auto print = [&](int p) {
    return exponent_form ? strprintf("%-.*E", p, value) : strprintf("%-.*G", p, value);
  };
  out = print(precision);
  const int length = static_cast<int>(out.size());
  if (length <= width) return length;
  if (out.find('E') != std::string::npos && precision >= 1) {
    out = print(std::max(precision + width - length, 0));
    return static_cast<int>(out.size());
  }
  out.resize(static_cast<size_t>(width));
  return width;
}

bool parse_int_field(std::string_view text, int& value) {
  text = text.substr(0, 31);
  size_t i = 0;
  while (i < text.size() && !is_digit(text[i])) ++i;
  if (i == text.size()) return false;
  int result = 0;
  for (; i < text.size() && is_digit(text[i]); ++i) {
    const int digit = text[i] - '0';
    // Refuse rather than clamp: a clamped number is one the user never typed,
    // while a refusal reaches them as "Invalid entry" and the old value stays.
    if (result > (INT_MAX - digit) / 10) return false;
    result = result * 10 + digit;
  }
  value = result;
  return true;
}

std::string num_field_text(const NumField& field) {
  return has_value(field.value) ? format_eng(field.value, field.precision) : std::string();
}

int read_num_field(NumField& field, std::string text, bool control_modified) {
  if (!control_modified) return 0;
  double value = NO_VALUE;
  if (!text.empty() && parse_eng(text, value, true) < 0) return -1;
  field.value = value;
  field.modified = true;
  return 1;
}

std::string int_field_text(const IntField& field) {
  return field.has_value ? strprintf("%d", static_cast<int>(field.value)) : std::string();
}

bool numeric_entry_accepts(char c) {
  return in_set("0123456789-+eE.pPnNuUmMkKgGtT*%", c);
}

bool integer_entry_accepts(char c) {
  return in_set("0123456789-+", c);
}

}  // namespace zephyrim
