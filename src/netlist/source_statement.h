#pragma once
// Independent V and I sources whose statement is built from the source
// specification the source dialogs edit, instead of from the symbol's template:
// the statement writer, and the few accessors the dialogs fill and read it with.
//
// The source specification is the part's `source_specs` array. Entries 0-12 have fixed
// roles (below); the values of each transient function live from entry 13 on,
// where entry 6 + f points them.
#include <string>
#include <utility>
#include <vector>

#include "netlist/connectivity.h"
#include "schematic/records.h"

namespace zephyrim {

// Fixed entries of a specification.
inline constexpr int kSourceDcSwitch = 0;     // first int > 0: DC value present
inline constexpr int kSourceDcText = 1;       // text: DC value as entered
inline constexpr int kSourceAcSwitch = 2;     // first int > 0: AC part present
inline constexpr int kSourceAcMagnitude = 3;  // text as entered, else the value
inline constexpr int kSourceAcPhase = 4;      // text as entered, else the value (when not 0)
inline constexpr int kSourceFunction = 5;     // first int: a SourceFunction
inline constexpr int kSourceInUse = 6;        // first int nonzero: the writer uses the source function
// Entry kSourceInUse + f: first int = index of function f's first value entry minus one.
inline constexpr int kSourceFixedEntries = 13;  // also the smallest array ever stored

enum SourceFunction : int {
  kSourceNone = 0,
  kSourceExp = 1,
  kSourceFile = 2,
  kSourcePulse = 3,
  kSourcePwl = 4,
  kSourceSffm = 5,
  kSourceSin = 6,
};

// PWL keeps five keyword values, then the point count, then two entries per point.
inline constexpr int kPwlKeywords = 5;

// "EXP", "FILE", "PULSE", "PWL", "SFFM", "SIN"; empty for anything else.
const char* source_function_name(int f);
// Argument slots of function f: EXP 6, FILE 0 (a file name instead), PULSE 8,
// PWL 5 (the keyword values), SFFM 5, SIN 6; 0 for anything else.
int source_function_slots(int f);

// True when the part's element letter (its device letter, else the first letter
// of its upper-cased symbol name), in either case, is V or I.
bool source_is_independent(const PartRecord& part);

// Appends the part's source statement to `out` and returns 1 when the part is
// an independent source with a specification of more than 12 entries that is
// in use; otherwise appends nothing and returns 0, and the template is used.
// node1 and node2 are the node names of the part's pins 1 and 2.
int write_source_statement(std::string& out, const PartRecord& part, const std::string& node1,
                           const std::string& node2);
// The same, with the node names of pins 1 and 2 looked up in the part's scope table.
int write_source_statement(std::string& out, const PartRecord& part, const NodeTable& table);

// --- Filling and reading a specification (the source dialogs) ---
// Setters create the 13 fixed entries when the part has none, cut texts to 256
// characters and store an empty text as absent. Readers give empty texts and
// zero for anything the source function does not hold.

void source_set_in_use(PartRecord& part, bool in_use);
bool source_in_use(const PartRecord& part);

void source_set_dc(PartRecord& part, bool on, const std::string& text);
bool source_dc_on(const PartRecord& part);
std::string source_dc_text(const PartRecord& part);

// Stores the texts as entered and, where they read as numbers, their values.
void source_set_ac(PartRecord& part, bool on, const std::string& magnitude, const std::string& phase);
bool source_ac_on(const PartRecord& part);
std::string source_ac_magnitude(const PartRecord& part);
std::string source_ac_phase(const PartRecord& part);

void source_set_function(PartRecord& part, int f);
int source_function(const PartRecord& part);

// The slot texts of function f (FILE: one slot, the file name; PWL: its keyword
// values TD, TS, TPER, VOFF, VS). Extra texts are ignored, missing ones cleared.
// A function without value entries gets them at the end of the array.
void source_set_values(PartRecord& part, int f, const std::vector<std::string>& slots);
std::vector<std::string> source_values(const PartRecord& part, int f);

// PWL points as (time, value).
using SourcePoint = std::pair<double, double>;
void source_set_pwl_points(PartRecord& part, const std::vector<SourcePoint>& points);
std::vector<SourcePoint> source_pwl_points(const PartRecord& part);

}  // namespace zephyrim
