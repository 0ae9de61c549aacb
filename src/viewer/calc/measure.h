#pragma once
// Measurement specs: one number per simulation run from the stored waveforms
// (the value at an X, a delay between two crossings, a difference, a frequency,
// an extreme or its X, a pulse width). Each evaluation stores a RUN# vector and
// the results over it in the text class, so stepped and Monte Carlo results
// plot, tabulate and histogram like any trace.
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/eng_number.h"

namespace zephyrim {

class DataStore;
class Notify;

enum MeasureKind : int {
  MEASURE_VALUE = 1,
  MEASURE_MIN = 2,
  MEASURE_MAX = 3,
  MEASURE_DELAY = 4,
  MEASURE_DELTA = 5,
  MEASURE_WIDTH = 6,
  MEASURE_FREQ = 7,
  MEASURE_XMIN = 8,
  MEASURE_XMAX = 9,
};
// The statement keywords, by kind - 1.
extern const char* const kMeasureKindNames[9];

enum MeasureMode : int { MEASURE_ABSOLUTE = 0, MEASURE_RELATIVE = 1, MEASURE_OFFSET = 2 };
enum MeasurePulse : int { PULSE_AUTOMATIC = 0, PULSE_HIGH = 1, PULSE_LOW = 2 };

inline constexpr size_t kMeasureNameMax = 63;
inline constexpr size_t kMeasureDefaultNameMax = 31;

struct MeasureSpec {
  int analysis = 0;             // analysis kind the measure reads
  int kind = 0;                 // MeasureKind
  std::string name;             // result vector name; empty: the kind's default name
  std::string y_name;           // the first signal
  std::string x_name;           // empty: the Y vector's own X vector
  std::string y2_name;          // the second signal (DELAY)
  double value1 = NO_VALUE;     // X position, level or first X
  double value2 = NO_VALUE;     // second level or second X
  double lower = NO_VALUE;      // MIN option: lower limit
  double upper = NO_VALUE;      // MAX option: upper limit
  int mode = MEASURE_ABSOLUTE;  // MeasureMode
  int pulse = PULSE_AUTOMATIC;  // MeasurePulse (WIDTH)
  int edge1 = 0;                // 0 any, 1 rising, -1 falling
  int edge2 = 0;
  bool from_statement = false;  // DELAY copies edge1 to an unset edge2
};

// The pending specs in statement order; running them empties the list.
struct MeasureList {
  std::vector<MeasureSpec> specs;
  int count() const { return static_cast<int>(specs.size()); }
};

// What one spec measured: a value per run that gave one, with the run number
// and run label it came from (the stored RUN# vector holds ordinals instead).
struct MeasureOutcome {
  std::string name;  // the result vector's name
  int status = 0;    // as measure_run: 1 or more, 0 or -1
  std::vector<double> values;
  std::vector<int> runs;
  std::vector<std::string> labels;
};

// "DC" 1, "TRAN" 2, "AC" 3, "NOISE" 4, "DISTO" 5, "OTHER" and "ASCII" 0, each
// exact; -1 for anything else, after "Invalid analysis type %s specified" when
// a notify is given.
int analysis_kind_from_name(std::string_view name, Notify* notify);

// y on the line through (x1, y1) and (x2, y2) at x; an end point when x is on
// it, y2 when the line is vertical.
double interp_linear(double x1, double y1, double x2, double y2, double x);

// False when a defined limit excludes v.
bool in_window(double lower, double upper, double v);

// Parses one #MEASURE statement (upper case; the keyword itself may be left
// out) and appends its spec. Returns whether one was added; an invalid analysis
// name or option is reported, an unknown kind is not.
bool measure_parse_statement(MeasureList& list, std::string_view statement, Notify& notify);

// The result name of a spec: its own, or its kind's default cut to 31 characters.
std::string measure_result_name(const MeasureSpec& spec);

// Runs one spec against the store and registers RUN# and the results. Returns
// a positive number when it ran (outcome holds the results, possibly none), 0
// when a variable is missing or storing failed, -1 after an input error.
// The per-kind operations below all come here.
int measure_run(DataStore& store, const MeasureSpec& spec, MeasureOutcome& outcome);
int measure_value(DataStore& store, const MeasureSpec& spec, MeasureOutcome& outcome);
int measure_extreme(DataStore& store, const MeasureSpec& spec, MeasureOutcome& outcome);
int measure_delay(DataStore& store, const MeasureSpec& spec, MeasureOutcome& outcome);
int measure_delta(DataStore& store, const MeasureSpec& spec, MeasureOutcome& outcome);
int measure_width(DataStore& store, const MeasureSpec& spec, MeasureOutcome& outcome);
int measure_freq(DataStore& store, const MeasureSpec& spec, MeasureOutcome& outcome);

// Runs the pending specs in order under the status text "Measuring specs ...",
// then empties the list. The outcome of each spec of a known kind is appended
// to outcomes when given. Returns the number of specs that ran.
int measure_run_all(DataStore& store, MeasureList& list, std::vector<MeasureOutcome>* outcomes = nullptr);

// The summary of an interactive measure (dialog commands only).
void measure_report(Notify& notify, const std::string& name, int count, double first);

// The algorithms on plain arrays, one result or none (NO_VALUE). Values already
// in the measure's value mode; n is the shorter length.
double measure_value_at(std::span<const double> x, std::span<const double> y, const MeasureSpec& spec);
double measure_extreme_of(std::span<const double> x, std::span<const double> y, const MeasureSpec& spec);
double measure_delay_of(std::span<const double> x, std::span<const double> a, std::span<const double> b,
                        const MeasureSpec& spec);
double measure_delta_of(std::span<const double> x, std::span<const double> y, const MeasureSpec& spec);
double measure_width_of(std::span<const double> x, std::span<const double> y, const MeasureSpec& spec);
// FREQ: sets level_missing when the level was left to the data and it had none.
double measure_freq_of(std::span<const double> x, std::span<const double> y, const MeasureSpec& spec,
                       bool& level_missing);

}  // namespace zephyrim
