// Feeds arbitrary bytes to the engineering-number parser and formatters and
// traps on broken invariants: counts beyond the text, texts longer than the
// 36-byte field buffers, and formatted values that do not parse back.
#include <cmath>
#include <cstdint>
#include <string>

#include "common/eng_number.h"

using namespace zephyrim;

namespace {

void check(bool ok) {
  if (!ok) __builtin_trap();
}

void check_formats(double value) {
  for (int precision : {-1, 0, 3, 6, 17, 1000}) {
    const std::string editor = format_eng(value, precision);
    const std::string viewer = format_eng_viewer(value, precision);
    check(editor.size() <= 35 && viewer.size() <= 35);
    if (precision != 17 || !std::isfinite(value) || std::fabs(value) < 1e-300) continue;
    // 17 digits carry the whole double; only the scaling may cost a few ulps.
    std::string text = editor;
    double back = 0;
    check(parse_eng(text, back) > 0);
    check(value == NO_VALUE ? back == NO_VALUE : std::fabs(back / value - 1.0) <= 1e-15);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);

  std::string text = input;
  double value = 0;
  const int consumed = parse_eng(text, value);
  check(consumed >= -1 && consumed <= static_cast<int>(text.size()));
  check(consumed != -1 || value == 0);
  check_formats(value);

  std::string plain = input;
  double unscaled = 0;
  check(parse_eng(plain, unscaled, false) <= static_cast<int>(plain.size()));

  std::string single_text = input;
  float single = 0;
  const int single_consumed = parse_eng(single_text, single);
  check(single_consumed >= -1 && single_consumed <= static_cast<int>(single_text.size()));
  check(single_text == text);
  check_formats(single);

  const int width = size > 0 ? data[0] % 40 : 10;
  std::string fitted;
  for (int precision : {-1, 0, 3, 17}) {
    const int length = format_fitted(value, fitted, precision, width);
    check(length == static_cast<int>(fitted.size()));
  }

  int number = -1;
  if (parse_int_field(input, number)) check(number >= 0);

  NumField field{1, 3, false, 1.0};
  const int status = read_num_field(field, input, true);
  check(status == 1 ? field.modified : (status == -1 && !field.modified && field.value == 1.0));
  check(num_field_text(field).size() <= 35);
  for (char c : input) numeric_entry_accepts(c), integer_entry_accepts(c);
  return 0;
}
