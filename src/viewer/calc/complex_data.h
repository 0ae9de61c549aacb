#pragma once
// Complex data: the ten real plot forms of a complex vector (dB, phase, group
// delay ...), their names (VDB(OUT), DB[X1]) both ways, the derived vectors
// registered from them, and the reader of complex data text files.
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zephyrim {

class DataStore;
struct DataVector;

enum ComplexForm : int {
  FORM_DB = 0,
  FORM_PHASE = 1,  // unwrapped, degrees
  FORM_MAGNITUDE = 2,
  FORM_ANGLE = 3,  // wrapped, degrees
  FORM_REAL = 4,
  FORM_IMAGINARY = 5,
  FORM_GROUP_DELAY = 6,
  FORM_GROUP_VELOCITY = 7,
  FORM_DBM = 8,
  FORM_DBMV = 9,  // dBm of an rms voltage on 50 ohms
};
inline constexpr int kComplexForms = 10;

// The choice labels of the options dialogs, by form.
extern const char* const kComplexFormLabels[kComplexForms];
// The name codes: DB P M A R I G GV DBM DBMV.
extern const char* const kComplexFormCodes[kComplexForms];

// VDB(OUT) for V(OUT) and form 0; DB[X1] for X1. An out-of-range form gives the name.
std::string complex_form_name(std::string_view name, int form);

struct ParsedComplexName {
  int form = -1;
  std::string base;  // the complex vector's name
};
// The form and base of a derived name; none when it is not one.
std::optional<ParsedComplexName> complex_parse_name(std::string_view name);

// A form from a command line: dB, phase, mag, angle, real, imag, gd, gv, dbm,
// dbmv (any case) or its number; -1 for anything else.
int complex_form_from_name(std::string_view text);

// The real values of a form, point by point (x is the frequency, needed by the
// group delay and velocity only).
std::vector<double> complex_form_values(std::span<const double> re, std::span<const double> im,
                                        std::span<const double> x, int form);
// Phase in degrees, unwrapped: a step of more than 180 degrees from the previous
// output takes 360 off (or adds it to) the running offset.
std::vector<double> unwrap_phase_degrees(std::span<const double> re, std::span<const double> im);
// The derivative used by the group delay: forward difference first, mean of
// both sides inside, backward difference last; 1e29 stands for a vertical step.
std::vector<double> group_derivative(std::span<const double> y, std::span<const double> x);

// Registers the real form of a complex vector under complex_form_name(display
// name, form) in class cls, kind AC. Returns it, or null (form above 9, data
// that cannot be read, after a message where there is one).
DataVector* complex_derive(DataStore& store, const DataVector& vector, std::string_view display_name,
                           int form, int cls);

// Reads a complex data text file into class 0 (AC). Returns the number of
// complex vectors registered, 0 after a message.
int complex_read_text_file(DataStore& store, const std::string& path);

}  // namespace zephyrim
