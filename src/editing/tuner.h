#pragma once
// Tuners: part values and .PARAM values the user moves with a slider to see the
// waveforms follow. Each tuner has a value, a range and a scale of equal steps
// (linear) or equal ratios (logarithmic). The list is kept beside the schematic
// in BASE.TUN, one tuner a line:
//
//   C1 10n 1n 100n log 100
//   RLOAD 2.2K 1K 10K lin 50
//
// name, value, minimum, maximum, scale, steps; the numbers in the engineering
// notation of every field. Blank lines and lines starting with '*' or ';' are
// comments. Nothing here touches the schematic until apply_tuner is called.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/notify.h"
#include "schematic/schematic.h"

namespace zephyrim {

inline constexpr int kTunerMinSteps = 1;
inline constexpr int kTunerMaxSteps = 10000;
inline constexpr int kTunerDefaultSteps = 100;
// A name is a part reference (15 characters at most) or a .PARAM name.
inline constexpr size_t kTunerMaxName = 63;
// The digits a tuned value carries: what the entry shows is what the netlist gets.
inline constexpr int kTunerPrecision = 4;
// BASE.TUN larger than this is not a tuner list.
inline constexpr size_t kTunerFileMaxSize = size_t{1} << 20;

struct Tuner {
  std::string name;  // part reference or .PARAM name, as typed (matched ignoring case)
  double value = 0;
  double minimum = 0;
  double maximum = 0;
  bool log = false;  // equal ratios between steps rather than equal differences
  int steps = kTunerDefaultSteps;
  bool operator==(const Tuner&) const = default;
};

using TunerList = std::vector<Tuner>;

// Empty when the tuner is usable, else why not: a name with blanks, an empty or
// non-finite range, a logarithmic range not above zero, steps out of range.
std::string tuner_check(const Tuner& t);

// The slider position (0..steps) nearest to value; values outside the range
// give the nearest end.
int tuner_position(const Tuner& t, double value);
// The value at a slider position (clamped to 0..steps), rounded to
// kTunerPrecision digits as the entry shows it.
double tuner_value_at(const Tuner& t, int position);

// A number as the tuner's entries show it (format_eng at kTunerPrecision).
std::string tuner_format(double value);
// A number typed into an entry: parse_eng with suffixes, the whole text used
// but for trailing letters (units: "10nF"). Absent for anything else.
std::optional<double> tuner_parse(std::string_view text);

// One line of BASE.TUN. On failure returns false and says why in error; on
// success fills t.
bool tuner_parse_line(std::string_view line, Tuner& t, std::string& error);
std::string tuner_format_line(const Tuner& t);

// Reads a whole BASE.TUN text. Lines that are not tuners are left out, each with
// a message "line N: why" in messages; a name seen twice keeps its first line.
TunerList tuner_file_parse(std::string_view text, std::vector<std::string>& messages);
std::string tuner_file_format(const TunerList& tuners);

// BASE.TUN beside the schematic at path.
std::string tuner_file_path(const std::string& schematic_path);
// Reads the file; a missing file is an empty list without messages, an
// unreadable or oversized one a message.
TunerList tuner_file_read(const std::string& path, std::vector<std::string>& messages);
// Writes the list crash-safe; an empty list removes the file. False on failure.
bool tuner_file_write(const std::string& path, const TunerList& tuners);

// --- the schematic side ---

// Where a tuner's name is found in the schematic.
struct TunerTarget {
  int page = -1;
  PartRecord* part = nullptr;  // a part of that reference
  TextRecord* text = nullptr;  // or a sheet text holding ".PARAM name="
};

// The first part of the reference on any page, else the first sheet text with
// a .PARAM assignment of that name. page stays -1 when neither is found.
TunerTarget tuner_find(Schematic& s, const std::string& name);

// The value of a part as a tuner reads it; absent when it is not a number
// (a model name, a source function).
std::optional<double> part_numeric_value(const PartRecord& p);

// The names a tuner may be added for: the references of the parts with a
// numeric value, then the .PARAM names of the sheet texts, each once.
std::vector<std::string> tunable_names(Schematic& s);

// The value assigned to name by the .PARAM lines of text (the last one wins);
// absent when none assigns it.
std::optional<std::string> param_value(std::string_view text, std::string_view name);
// Replaces the value of every assignment of name on the .PARAM lines of text
// ("{...}" and quoted values included). Returns the number replaced.
int param_replace(std::string& text, std::string_view name, std::string_view value);

// A netlist written into another folder than the schematic's: its .INC and
// .LIB lines naming a relative file that `found_in_folder` says lies in the
// schematic's folder (and not in the netlist's own) are given that folder's
// path, so that they resolve where the netlist runs. Returns the lines changed.
int includes_from_folder(std::string& netlist, const std::string& folder,
                         const std::function<bool(const std::string& name)>& only_in_folder);

// Sets the stored value of the tuner's target: the part's value, or the
// .PARAM assignment in its sheet text. Returns 1 when it changed, 0 when the
// value was there already, -1 when the target is not found.
int apply_tuner(Schematic& s, const Tuner& t, Notify& notify);

// Puts the tuners' values into the schematic for one netlist and back when it
// goes out of scope: the document keeps its own values. .PARAM tuners are not
// touched here; param_replace them into the netlist's text.
class TunedValues {
 public:
  TunedValues(Schematic& s, const TunerList& tuners);
  // The same with the texts given, one per tuner (a stand-in the caller finds
  // again in the netlist, say).
  TunedValues(Schematic& s, const TunerList& tuners, const std::vector<std::string>& texts);
  ~TunedValues();
  TunedValues(const TunedValues&) = delete;
  TunedValues& operator=(const TunedValues&) = delete;

 private:
  struct Saved {
    PartRecord* part;
    std::string value;
  };
  Schematic& s_;
  bool modified_;
  bool revision_due_;
  std::vector<Saved> saved_;
};

}  // namespace zephyrim
