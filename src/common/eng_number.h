#pragma once
// Engineering-notation numbers as typed and shown everywhere in both programs
// (1.5K, 10MEG, 2.2u): the one parser, the editor's and the viewer's formatter,
// and the NO_VALUE sentinel that stands for an empty numeric field.
#include <cstdint>
#include <string>
#include <string_view>

namespace zephyrim {

// Marks a numeric field that the user left empty or that is not specified.
constexpr double NO_VALUE = 9.99e299;

// A stored value whose magnitude is at or above this counts as NO_VALUE; the
// margin below NO_VALUE tolerates sentinels that lost bits on their way.
constexpr double NO_VALUE_THRESHOLD = 9.9899001e299;

// True when v is a real value: its magnitude is below NO_VALUE_THRESHOLD.
// NaN counts as no value.
constexpr bool has_value(double v) {
  return v < NO_VALUE_THRESHOLD && v > -NO_VALUE_THRESHOLD;
}

// Parses a number with an optional scale suffix (T G MEG K M MIL U N P F %,
// any case) from the start of text. text is modified in place: leading blanks
// (spaces, tabs) are removed and it is upper-cased (ASCII letters only).
// Returns the number of characters consumed from the modified text, or -1
// when it has no numeric part. value is set to 0 first, then to the result.
//
// The numeric part is the longest prefix of "0123456789+-.E", shortened until
// it ends in a digit or ".", and capped at 64 characters; the count covers the
// whole prefix even where the conversion stops earlier ("1-2" consumes 3 and
// gives 1). A suffix is consumed only when allow_suffix is set and the number
// is not zero ("0K" consumes 1). The text "*" alone gives NO_VALUE and 1.
int parse_eng(std::string& text, double& value, bool allow_suffix = true);

// Single-precision form of parse_eng with identical rules, except that "*" is
// not a number here (NO_VALUE does not fit in a float): it returns -1.
int parse_eng(std::string& text, float& value, bool allow_suffix = true);

// Formats value in engineering form for the schematic editor: the mantissa by
// %G at precision significant digits (shortest %G form when precision is
// negative; above 17 counts as 17) followed by f p n u m K MEG G T, e.g. 4.7K,
// 500m, 1MEG. Values outside 1e-15..1e15 and those in [1, 1000) print without a
// suffix. NO_VALUE gives "*", zero "0", a magnitude below 1e-300 "=0". The
// result never exceeds 35 characters.
std::string format_eng(double value, int precision);

// The waveform viewer's format_eng: identical, except that it writes E6, E9 and
// E12 where the editor writes MEG, G and T.
std::string format_eng_viewer(double value, int precision);

// Writes value into out in plain %G form (%E when 0 < |value| < 0.01) at
// precision digits (above 17 counts as 17), for a column of width characters.
// Returns the length written. A text that does not fit is made shorter: an
// exponent form is formatted again with as many fewer digits as it is too long
// (it can still exceed width when no digits are left to drop); any other form
// is cut to width characters.
int format_fitted(double value, std::string& out, int precision, int width);

// Reads the first run of decimal digits within the first 31 characters of
// text into value (signs are not part of the run). Returns false, leaving value
// unchanged, when there is no digit or the number does not fit in an int.
bool parse_int_field(std::string_view text, int& value);

// A numeric dialog field: control, display precision (significant digits,
// negative for the shortest %G form), whether the user changed the value, and
// the value (NO_VALUE when empty).
struct NumField {
  int control_id;
  int precision;
  bool modified;
  double value;
};

// An integer dialog field, empty when has_value is false.
struct IntField {
  int control_id;
  bool has_value;
  int32_t value;
};

// The text a numeric control shows for field: format_eng of the value at the
// field's precision, or an empty text when the field has no value. The dialog
// side writes it into the control and then clears field.modified.
std::string num_field_text(const NumField& field);

// Takes the text of a numeric control back into field. Returns 0 and does
// nothing when the control was not modified. Otherwise an empty text stores
// NO_VALUE, a text that parse_eng (with suffixes) accepts stores its value,
// both returning 1 and setting field.modified; a rejected text returns -1 and
// leaves the field as it was. The dialog side clears the control's modified
// state in every case.
int read_num_field(NumField& field, std::string text, bool control_modified);

// The text an integer control shows: the value by "%d", or an empty text.
std::string int_field_text(const IntField& field);

// Entry filters: true when c may be typed into a numeric control
// ("0123456789-+eE.pPnNuUmMkKgGtT*%") or an integer control ("0123456789-+").
// A refused character is reported with INVALID_ENTRY_MESSAGE.
bool numeric_entry_accepts(char c);
bool integer_entry_accepts(char c);

// Message box text and caption for a character refused by an entry filter.
inline constexpr char INVALID_ENTRY_MESSAGE[] = "Invalid entry";
inline constexpr char INVALID_ENTRY_CAPTION[] = "Error";

}  // namespace zephyrim
