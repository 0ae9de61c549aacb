#pragma once
// The viewer's statements: one-line "#" commands that say what to plot
// (#AUTOPLOT), compute (#CALC), measure (#MEASURE), tabulate or write out
// (#TABULATE, #WRITEDATA), which script to run next (#RUNSCRIPT) and how to
// label the result (#SUBTITLE, #REVISION:). They arrive embedded in a simulator
// listing, where they collect and take effect once the listing is read, or in
// a script file, where each line takes effect at once.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "viewer/calc/autoplot.h"
#include "viewer/calc/expression.h"
#include "viewer/calc/measure.h"
#include "viewer/calc/tabulate.h"

namespace zephyrim {

class DataStore;
class Notify;

inline constexpr size_t kStatementMax = 511;
// Script files are read in lines of this many bytes including the terminator;
// a longer line is taken in pieces.
inline constexpr int kScriptLineBytes = 512;
inline constexpr size_t kSubtitleMax = 127;
inline constexpr int kSubtitleLastColumn = 125;
inline constexpr size_t kRevisionMax = 32;
inline constexpr size_t kRevisionColumn = 11;
inline constexpr size_t kScriptNameMax = 511;
inline constexpr int kCalcSlots = 7;
inline constexpr int kCalcSlotFft = 6;  // FFT of transient data
inline constexpr int kWriteDataStatementsMax = 32;

struct CalcEntry {
  std::optional<int> slot;  // 0..5 an analysis kind, 6 FFT; none: every slot
  std::string expression;   // enclosing braces removed
};

// The #CALC statements waiting to run; running them empties the list.
struct CalcList {
  std::vector<CalcEntry> entries;       // in statement order
  std::array<int, kCalcSlots> count{};  // entries per slot, those without slot in every one
  std::array<XVariable, kCalcSlots> x_variable;
};

// The columns of the listing line after #SUBTITLE that become the subtitle.
struct SubtitleColumns {
  int first = 0;
  int last = kSubtitleLastColumn;
};

// One vector a #CALC entry registered (or the FFT hook returned).
struct CalcOutcome {
  std::string entry;  // the entry's expression text
  std::string name;
  int cls = 0;
  int kind = 0;
  int run = 0;
  int64_t points = 0;
  int complex = 0;
};

// What a script did, for the batch tool.
struct ScriptReport {
  bool opened = false;
  int statements = 0;  // statements executed
  std::vector<MeasureOutcome> measures;
  std::vector<CalcOutcome> calculated;
  std::vector<TabulateOutcome> tabulated;  // each #TABULATE name, found or not
  std::vector<WriteDataOutcome> written;   // each #WRITEDATA statement processed
  // The statements that failed: a parse error or refused option, an entry
  // that computed nothing, a measure that ended at 0 or -1, a name not
  // tabulated, a write-data statement that wrote nothing.
  std::vector<std::string> failed;
  // Statements whose output this version cannot produce.
  std::vector<std::string> not_available;
};

// The pieces that the window owns, and replacements for tests. An unset
// apply_autoplot leaves the request where it is; unset tabulate and write_data
// hooks leave the work to tabulate_run_list and write_data_run.
struct ScriptHooks {
  // Applies the autoplot request to the plots and rebuilds the display.
  std::function<void(AutoplotRequest&)> apply_autoplot;
  // Replaces the FFT of one #CALC slot 6 expression for one run (tests count
  // the calls); the spectrum, or null.
  std::function<const DataVector*(DataStore&, std::string_view expression, const ExprSelection&)> calc_fft;
  // Runs #TABULATE statements (their texts, in order) in place of the listing.
  std::function<void(const std::vector<std::string>&)> tabulate;
  // Completes a write-data job of these #WRITEDATA statements in place of the files.
  std::function<void(const std::vector<std::string>&)> write_data;
};

struct ScriptState {
  AutoplotRequest autoplot;
  CalcList calc;
  MeasureList measures;
  std::vector<std::string> tabulate;  // pending #TABULATE statements
  // The write-data job's statements, as the line holds them (the FILE= name keeps its case).
  std::vector<std::string> write_data;
  bool write_data_full = false;  // the job's limit message was shown
  std::string subtitle;          // at most 127 characters
  std::optional<SubtitleColumns> pending_subtitle;
  std::string revision;     // at most 32 characters
  std::string script_name;  // at most 511 characters; stays until replaced
  bool run_script_after_listing = false;
  ScriptHooks hooks;
};

// Forgets what an earlier listing collected, before a new one is read. The
// script name and the hooks stay.
void script_begin_listing(ScriptState& state);

// A listing line that begins with "#": statement is the line as the listing
// reader cleaned it (upper case), full_line as it stands in the file (the
// subtitle, revision and script name keep their case from it; empty: use
// statement). Returns 1 when handled, 0 for a line that is no statement.
int dispatch_listing_statement(ScriptState& state, std::string_view statement, std::string_view full_line,
                               Notify& notify);

// The listing reader calls this with each line while a subtitle is pending:
// the pending columns of the line become the subtitle. Returns whether it took
// the line.
bool take_subtitle_line(ScriptState& state, std::string_view line);

// Parses one #CALC statement (upper case) into the list. Returns the number of
// expression entries added.
int parse_calc(CalcList& list, std::string_view statement);

struct CalcRun {
  int vectors = 0;                  // vectors registered
  std::vector<std::string> failed;  // entries that registered none
};
// Evaluates the calculation list, slot 6 down to 0, over the data present, and
// empties it. Computed vectors are appended to computed when given.
CalcRun run_calc_list(ScriptState& state, DataStore& store, Notify& notify,
                      std::vector<CalcOutcome>* computed = nullptr);

// A script line as it is executed: line end, trailing and leading blanks
// removed, upper-cased.
std::string clean_script_line(std::string_view line);

// Runs the script named in the state, each line at once. Returns the number of
// statements executed; 0 when nothing was done ("Cannot open script file %s"
// when it cannot be read).
int run_script_file(ScriptState& state, DataStore& store, Notify& notify, ScriptReport* report = nullptr);

// What follows a listing that produced data: the tabulate requests, the
// calculation list, the pending measures, the script of #RUNSCRIPT, then the
// write-data job.
void run_after_listing(ScriptState& state, DataStore& store, Notify& notify, ScriptReport* report = nullptr);

}  // namespace zephyrim
