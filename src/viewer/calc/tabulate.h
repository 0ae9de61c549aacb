#pragma once
// #TABULATE and #WRITEDATA. Tabulate turns a value the simulator printed once
// per run in its listing ("VMAX = 1.5", the result of a measurement inside
// the simulator) into a vector over the runs, stored against RUN# like the
// results of #MEASURE. Write-data writes chosen vectors of the current data to
// a text data file once the statements of a listing or a script have run.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/mapped_file.h"
#include "viewer/calc/autoplot.h"

namespace zephyrim {

class DataStore;
class Notify;
struct DataVector;

inline constexpr size_t kTabulateNameMax = 63;
// The listing is read in lines of at most this many characters; a longer line
// is taken in pieces, each read as a line of its own.
inline constexpr size_t kTabulateLineChars = 255;
// No job has this many runs; a listing that gives more values for one name
// keeps the first ones, so that a huge listing cannot exhaust memory.
inline constexpr size_t kTabulateValuesMax = size_t{1} << 22;
inline constexpr int kWriteDataEntriesMax = 8;

// ---- #TABULATE --------------------------------------------------------------

struct TabulateRequest {
  std::string name;    // at most 63 characters
  std::string x_name;  // at most 63 characters; empty: the values go against RUN#
  bool operator==(const TabulateRequest&) const = default;
};

// Splits a #TABULATE statement at blanks and tabs: "X=name" sets the X variable
// of the names that follow it, every other token is a name. Token 0 is the
// statement word. Returns the number of requests appended.
int tabulate_parse(std::vector<TabulateRequest>& list, std::string_view statement);

// The values printed for a name in listing text, in file order: lines that
// hold "**RunInfo: " or begin (after blanks) with "." or "#" are passed over;
// the first token of a line equal to the name (any case), split at " =,\t",
// gives the number in the token after it, taken when the line holds "=" or
// no token follows the number. At most max_values are taken; cut tells
// whether more were there.
std::vector<double> tabulate_values(std::string_view listing, std::string_view name,
                                    size_t max_values = kTabulateValuesMax, bool* cut = nullptr);

// The listing of the current data: a listing itself, or the engine's ".OUT"
// (".LIS") beside a binary or text data file. Empty without a data file.
std::string tabulate_listing_path(const std::string& data_path);

// The listing text, mapped once for every name tabulated from it.
class TabulateListing {
 public:
  // False when the file cannot be opened (no message).
  bool open(const std::string& path);
  const std::string& path() const { return path_; }
  std::string_view text() const;

 private:
  std::string path_;
  MappedFile file_;
};

// What tabulating one name left in the store.
struct TabulateOutcome {
  std::string name;
  std::string x_name;      // the X vector's name: RUN# or the request's X variable
  int points = 0;          // values found; 0 when the name was not found
  bool cut = false;        // more than kTabulateValuesMax values: the first kept
  bool x_missing = false;  // the X variable was tabulated now and not found
  const DataVector* vector = nullptr;
};

// The X vector last tabulated, used again while the following requests name
// the same X variable.
struct TabulateXMemory {
  std::string name;
  const DataVector* vector = nullptr;
};

// Tabulates a name, and its X variable first when it has one, from the
// listing text into the text class (kind OTHER): without X variable, or when
// the X variable was found nowhere, a RUN# vector 0, 1, ... goes first and is
// the X vector. Nothing is stored for a name without values. Quiet: the
// callers tell the user.
TabulateOutcome tabulate_name(DataStore& store, std::string_view listing, const TabulateRequest& request,
                              TabulateXMemory* memory = nullptr);

// Runs the requests against the listing file under "Tabulating variables
// ...", then empties the list. "Cannot open file %s" when the listing cannot
// be read, "Variable %s not found" for each name without values. The outcome
// of each request is appended to outcomes when given. Returns the number of
// names found.
int tabulate_run_list(DataStore& store, const std::string& listing_path, std::vector<TabulateRequest>& list,
                      Notify& notify, std::vector<TabulateOutcome>* outcomes = nullptr);

// ---- #WRITEDATA -------------------------------------------------------------

// One variable of a #WRITEDATA statement, in the forms of #AUTOPLOT traces:
// NAME, {expr}, NAME={expr} and, for AC, part[{expr}] or NAME=part[{expr}].
struct WriteDataEntry {
  std::string name;                       // empty for an expression alone
  std::optional<std::string> expression;  // braces removed
  int part = -1;                          // ComplexForm of an AC part entry, -1 none
  bool operator==(const WriteDataEntry&) const = default;
};

struct WriteDataStatement {
  std::optional<int> analysis;          // none: the kind that holds the entries
  bool new_file = false;                // NEW: the file is written anew, else added to
  bool data_only = false;               // DATAONLY: the rows alone, no header lines
  XVariable x;                          // none: each vector's own X vector
  std::string file;                     // FILE=, as written (its case kept); empty: named after the data file
  std::vector<WriteDataEntry> entries;  // at most 8
};

// Parses one #WRITEDATA statement. Tokens split at blank, comma and tab
// outside brackets and quotes; token 1 or 2 may name the analysis; NEW,
// DATAONLY, X= and FILE= anywhere. Everything but the FILE= name is taken in
// upper case. A ninth entry: "Number of #WRITEDATA statement variables exceed
// limit", and the rest of the statement is ignored.
WriteDataStatement write_data_parse(std::string_view statement, Notify& notify);

// The file a statement without FILE= writes: the data file's name with
// "_WRITEDATA.TXT" in place of its extension, never the data file itself.
std::string write_data_default_path(const std::string& data_path);

// What one statement of the job did.
struct WriteDataOutcome {
  int statement = 0;  // 1-based, in job order
  int variables = 0;  // traces written
  std::string file;
  int status = 0;  // 1 written, 0 nothing matched, -1 an error
};

// Completes a write-data job under "Writing data variables to file...": each
// statement with entries selects its vectors and writes them through the text
// data export, every failure a message of its own while the others still run.
// - A statement without analysis takes the kind, 0 to 9 in turn, whose data
//   hold the most of its named entries (simulation data first among equals):
//   one kind, since one X variable serves the whole statement.
// - The file: FILE= (a relative name in the data file's folder), else
//   write_data_default_path; never one of the data files ("Error processing").
// - NEW replaces the file; without it the traces are added to its end (a new
//   file is made), so that the statements of a job can fill one file. Added
//   traces come without a second set of info lines.
// - The title: the data set's title, else "TRACERY #WRITEDATA data source
//   file: %s"; a file the viewer named gets a second line "TRACERY #WRITEDATA:".
// - DATAONLY writes the rows alone, else the info lines and names as well.
// The result of a job where one statement wrote names its file; where more
// did, the count of all variables written. Returns the number of statements
// that wrote.
int write_data_run(DataStore& store, const std::vector<std::string>& statements, Notify& notify,
                   std::vector<WriteDataOutcome>* outcomes = nullptr);

}  // namespace zephyrim
