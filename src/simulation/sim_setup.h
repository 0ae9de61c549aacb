#pragma once
// The simulation setup of one schematic: every analysis and output choice, kept
// beside the schematic in its setup file (.SIM). The file is a 16-byte
// "SIMSETUP" marker, the format version, the size of the fixed part, the
// 2560-byte fixed part, then the lists, each in a named list section, then the
// plot setups. The analysis command writer turns the setup into statements.
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/eng_number.h"
#include "common/fixed_text.h"
#include "common/notify.h"

namespace zephyrim {

inline constexpr char kSetupMarker[] = "SIMSETUP";
inline constexpr size_t kSetupMarkerSize = 16;  // the marker and its NUL padding
inline constexpr int16_t kSetupVersion = 300;
inline constexpr size_t kSetupFixedSize = 2560;
// Fixed parts of the older versions (below 200, and 200 to 299). They are read
// as the leading bytes of today's layout; the members beyond keep their defaults.
inline constexpr size_t kSetupFirstFixedSize = 566;
inline constexpr size_t kSetupSecondFixedSize = 1010;
inline constexpr size_t kSetupSectionNameSize = 16;
inline constexpr size_t kPlotSetupSize = 22;
inline constexpr int kPrintGroups = 5;
// Longest text entry the reader accepts; the writer cuts longer ones (and any
// text at its first NUL) so that it never writes a file its reader refuses.
inline constexpr size_t kMaxSetupText = 4095;
// Counts are stored as 16-bit signed numbers.
inline constexpr size_t kMaxSetupEntries = 32767;

// Read error numbers, as the warning "Error number %d reading simulation setup" shows them.
enum SetupLoadError : int {
  kSetupBadList = 1,    // a list section with the wrong name, a bad count or entry, or cut short
  kSetupShort = 10,     // fewer than 16 header bytes
  kSetupNotSetup = 11,  // the first 8 bytes are not "SIMSETUP"
  kSetupNoVersion = 20,
  kSetupNoSize = 21,
  kSetupShortFirst = 22,   // version below 200: fixed part shorter than 566 bytes
  kSetupShortSecond = 23,  // version 200 to 299: shorter than 1010 bytes
  kSetupShortFixed = 24,   // version 300 or more: shorter than 2560 bytes
  kSetupPlotRoom = 40,     // a negative number of plot setups
  kSetupPlotRecord = 41,
  kSetupPlotXLength = 42,  // missing, negative or longer than kMaxSetupText
  kSetupPlotXText = 43,
};

// A value list of the setup: texts, or doubles for temperatures and step values.
// The fixed part holds its count, capacity and an array mark (all rebuilt when
// the list is read); the entries follow in the list's section.
template <typename T>
using SetupList = std::vector<T>;

// One of the five print groups (12 bytes in the fixed part).
struct PrintGroup {
  int16_t enabled = 0;
  int16_t analysis = 0;  // 0 DC, 1 TRAN, 2 AC, 3 NOISE, 4 DISTO
  SetupList<std::string> variables;

  bool operator==(const PrintGroup&) const = default;
};

// One autoplot setup (a 22-byte record, then its X expression and trace list).
struct PlotSetup {
  int16_t enabled = 0;
  int16_t plot_type = 0;     // 0 normal, 1 Smith chart, 2 histogram
  int16_t analysis = 0;      // 0 any, 1 DC, 2 TRAN, 3 AC, 4 NOISE, 5 DISTO, 6 TRAN/ALL
  int16_t number = 0;        // 0 none
  int16_t axis_scale = 0;    // 0 auto, 1 X-log, 2 Y-log, 3 log-log
  std::string x_expression;  // empty when absent
  SetupList<std::string> traces;

  bool operator==(const PlotSetup&) const = default;
};

// The setup; a new one holds the defaults (see reset_setup). Offsets are those
// of the fixed part. Reals left empty hold NO_VALUE.
struct SimulationSetup {
  SimulationSetup();

  int16_t any_enabled = 0;  // 0: no group enabled (set by the main dialog, setup_mark_enabled)
  // OP group
  int16_t op_group = 0;              // 2
  int16_t op = 0;                    // 4: .OP
  int16_t tf = 0;                    // 6: transfer function
  FixedText<32> tf_output;           // 8
  FixedText<32> tf_input;            // 40
  int16_t sens = 0;                  // 72: sensitivity
  SetupList<std::string> sens_vars;  // 74, section "OPVARSTART"
  // DC sweep
  int16_t dc = 0;                        // 82
  std::array<uint8_t, 2> reserved_84{};  // 84
  FixedText<32> dc_var;                  // 86
  double dc_start = NO_VALUE;            // 118
  double dc_stop = NO_VALUE;             // 126
  double dc_step = NO_VALUE;             // 134
  int16_t dc_nested = 0;                 // 142
  FixedText<32> nested_var;              // 144
  double nested_start = NO_VALUE;        // 176
  double nested_stop = NO_VALUE;         // 184
  double nested_step = NO_VALUE;         // 192
  // AC sweep, noise, distortion
  int16_t ac = 0;                                                   // 200
  int16_t ac_type = 0;                                              // 202: 0 DEC, 1 OCT, 2 LIN
  int16_t ac_points = 0;                                            // 204
  double ac_start = NO_VALUE;                                       // 206
  double ac_stop = NO_VALUE;                                        // 214
  int16_t noise = 0;                                                // 222
  FixedText<32> noise_output;                                       // 224
  FixedText<32> noise_input;                                        // 256
  int16_t noise_points = 0;                                         // 288: points per summary
  int16_t disto = 0;                                                // 290
  FixedText<32> disto_arg;                                          // 292
  int16_t disto_count = 0;                                          // 324
  std::array<double, 3> disto_reals{NO_VALUE, NO_VALUE, NO_VALUE};  // 326, 334, 342
  // Transient and Fourier
  int16_t tran = 0;                     // 350
  double tran_step = NO_VALUE;          // 352: print step
  double tran_stop = NO_VALUE;          // 360
  double tran_max_step = NO_VALUE;      // 368
  double tran_start = NO_VALUE;         // 376
  int16_t uic = 0;                      // 384
  int16_t fourier = 0;                  // 386
  double fourier_freq = NO_VALUE;       // 388
  int16_t harmonics = 9;                // 396
  SetupList<std::string> fourier_vars;  // 398, section "FOURVARSTART"
  // Temperature
  int16_t temp = 0;         // 406
  SetupList<double> temps;  // 408, section "TEMPVALSTART"
  // Parametric step
  int16_t step = 0;                  // 416
  FixedText<32> step_kind;           // 418: "PARAM" or empty
  FixedText<32> step_name;           // 450
  int16_t step_type = 0;             // 482: 0 LIST, 1 LIN, 2 DEC, 3 OCT; plus 10 for the percent variants
  int16_t step_points = 0;           // 484
  double step_start = NO_VALUE;      // 486
  double step_stop = NO_VALUE;       // 494
  double step_increment = NO_VALUE;  // 502
  SetupList<double> step_values;     // 510, section "STEPVALSTART"
  // Statistics (Monte Carlo, worst case below)
  int16_t stats = 0;                      // 518
  int16_t mc_runs = 0;                    // 520
  int16_t mc_seed = 0;                    // 522
  int16_t stats_file = 0;                 // 524: negative = include the statistics file
  std::array<uint8_t, 6> reserved_526{};  // 526
  // Data save
  int16_t save = 0;                          // 532
  int16_t save_list = 0;                     // 534: nonzero: save the listed variables
  int16_t voltages_only = 0;                 // 536
  int16_t no_subckt = 0;                     // 538
  SetupList<std::string> save_vars;          // 540, section "SAVEVARSTART"
  std::array<uint8_t, 1794> reserved_548{};  // 548
  // Print
  int16_t print = -1;                                 // 2342: -1 off, never set
  std::array<uint8_t, 2> reserved_2344{};             // 2344
  std::array<PrintGroup, kPrintGroups> print_groups;  // 2346, sections "PRINTVARSTART"
  // Autoplot: the number of plot setups (2408) and the array mark (2414) come from plots
  int16_t autoplot = -1;                   // 2406: -1 off, never set
  std::array<uint8_t, 4> reserved_2410{};  // 2410
  // Alternate statements, worst case
  int16_t alternate = 0;                     // 2418: include the alternate statements file
  std::array<uint8_t, 6> reserved_2420{};    // 2420
  int16_t worst_case = 0;                    // 2426: 1 writes .WC instead of .MC
  int16_t corner_mode = 0;                   // 2428: 1 CORNERS, 2 NOCORNER
  std::array<uint8_t, 130> reserved_2430{};  // 2430
  // The plot setups, in order, stored after the lists.
  std::vector<PlotSetup> plots;

  bool operator==(const SimulationSetup&) const = default;
};

// A group switch is on when positive: print and autoplot hold -1 until first set.
constexpr bool setup_switch_on(int16_t v) {
  return v > 0;
}

// Frees all lists and the plot setups and sets the defaults: every switch off,
// print and autoplot -1, print group i with analysis i, the NOISE group listing
// INOISE and ONOISE, the DISTO group HD2, HD3, SIM2, DIM2 and DIM3, reals empty
// (NO_VALUE), 9 Fourier harmonics, reserved bytes zero.
void reset_setup(SimulationSetup& s);

// The main dialog's OK: member 0 becomes 1 when any group switch (OP, DC,
// transient, AC, temperature, step, statistics, alternate statements, save,
// print, autoplot) is on, else 0.
void setup_mark_enabled(SimulationSetup& s);

// The bytes of the setup file.
std::vector<uint8_t> setup_encode(const SimulationSetup& s);

// Writes the setup file through a temporary file renamed over path, so a failed
// save leaves the old file as it was. Returns 1; 0 with the error "Cannot open
// file %s" when it cannot be created, or the warning "Error saving simulation
// setup" when writing fails.
int save_setup(const SimulationSetup& s, const std::string& path, Notify& notify);

// Resets s, then reads the bytes of a setup file into it. Returns 0 on success;
// on failure the error number, after showing "%s not a valid setup file" (error
// 11, path naming the file) and the warning "Error number %d reading simulation
// setup"; s then holds the defaults, never a half-read setup.
int setup_decode(SimulationSetup& s, std::span<const uint8_t> bytes, const std::string& path, Notify& notify);

// Resets s, then reads the setup file. Returns 1 on success, 0 on any failure
// (s stays at its defaults). A missing file is not reported (a new schematic has
// none); a file that exists but cannot be read gives "Cannot open file %s".
int load_setup(SimulationSetup& s, const std::string& path, Notify& notify);

// The parametric step dialog: its sweep type from the radio button (0 LIST, 1
// LIN, 2 DEC, 3 OCT) and the percent box, its variable kind from the parameter box.
int step_sweep_type(int button, bool percent);
const char* step_variable_kind(bool parameter);

// The field the step dialog focuses when its OK is refused.
enum class StepField { none, name, increment, points };

// The step dialog's checks on OK, in order: an empty name gives the information
// "Step variable name missing"; LIN and LIN% with an increment of 0 or less, or
// empty, give "Invalid sweep step value %G"; DEC, OCT and their percent variants
// with fewer than 1 point give "Invalid number of points %d" (both errors).
// Returns the field to focus, none when the dialog may close.
StepField step_check(const std::string& name, int sweep_type, double increment, int points, Notify& notify);

// A text listing of the setup, one value per line ("group.member = value") in a
// fixed order: texts quoted, reals in engineering form ("*" when empty), lists
// as their count and then one line per entry, plot setups last.
std::string setup_dump(const SimulationSetup& s);

}  // namespace zephyrim
