#pragma once
// SPICE text listings (".OUT", ".LIS"): what an engine printed about a run. The
// viewer takes three things from one: facts about the run for the plot header,
// the tables that .PRINT and .FOUR printed (vectors of DATA_CLASS_TEXT), and the
// binary data file the listing leads to (".SAV" or ".RAW" beside it, read into
// DATA_CLASS_BINARY). The "#" statements, .WATCH lines and the user parameter
// table belong to the calculation side; the readers hand them to a ListingSink,
// so that this library does not depend on it.
//
// Lines are taken up to 255 characters; the rest of a longer line is dropped
// (never held), LF or CR LF ends a line.
#include <iosfwd>
#include <string>
#include <string_view>

namespace zephyrim {

class DataStore;

inline constexpr size_t kListingLineChars = 255;
inline constexpr size_t kListingTitleChars = 80;   // the listing title
inline constexpr size_t kCircuitTitleChars = 125;  // circuit title and subtitle
inline constexpr size_t kJobTimeChars = 49;        // of the job time line

// Where the lines that are not the reader's own go.
class ListingSink {
 public:
  virtual ~ListingSink() = default;
  // A listing starts: what an earlier one handed over is forgotten.
  virtual void begin() = 0;
  // A line that begins with "#": statement as the reader cleaned it (upper case,
  // leading and trailing blanks gone), full_line as it stands in the file.
  // Returns 1 when it was a statement, 0 otherwise.
  virtual int statement(std::string_view statement, std::string_view full_line) = 0;
  // Each line is offered here first; true when it was taken (the line after a
  // #SUBTITLE that named columns) and needs nothing more.
  virtual bool subtitle_line(std::string_view line) = 0;
  // A ".WATCH " deck line, upper case: plot set-up options.
  virtual void watch(std::string_view line) = 0;
  // The user parameter table follows in the listing; the sink reads it from
  // there and leaves the stream after what it took. Returns the number read.
  virtual int user_parameters(std::istream& listing) = 0;
};

// For callers that want the data alone.
class NullListingSink final : public ListingSink {
 public:
  void begin() override {}
  int statement(std::string_view, std::string_view) override { return 0; }
  bool subtitle_line(std::string_view) override { return false; }
  void watch(std::string_view) override {}
  int user_parameters(std::istream&) override { return 0; }
};

enum class ListingType {
  unknown,
  own,     // the system's own engines' listing
  spice3,  // SPICE3, XSPICE and ngspice listings, the zsim engine's among them
  hspice,  // recognised; nothing is read from it
};

// What a listing says about its run, for display.
struct ListingFacts {
  ListingType type = ListingType::unknown;
  std::string listing_title;  // the type line, characters 1 to 80
  std::string circuit_title;  // at most 125 characters
  std::string subtitle;       // a comment line near the top of the deck, at most 125 characters
  std::string date;
  std::string job_time;     // "TOTAL JOB TIME ... secs."
  std::string temperature;  // "Temp=%g" of a .TEMP other than 27; empty otherwise
  int warnings = 0;
  int errors = 0;
  std::string thd;         // "THD=%s%" of the last Fourier table that gave one
  bool linear_ac = false;  // .AC LIN
  int dc_sweep = 0;        // 1 ascending, 2 descending; 0 when no .DC line said
  std::string data_file;   // the binary data file read, empty when none gave data
  int vectors = 0;         // vectors registered from the listing and its data file
};

// Reads a listing of any of the engines and what it leads to. Returns 1 when it
// was read as a listing (the facts are filled; "No data found in this file"
// when no vector came of it), 0 after "Cannot open file %s" or "Unknown SPICE
// output file type".
int spice_read_listing(DataStore& store, const std::string& path, ListingSink& sink, ListingFacts& facts);

// The same for a listing known to come from a SPICE3-like engine: when it marks
// neither data file nor own-format tables, its SPICE3-format tables are read.
int spice3_read_listing(DataStore& store, const std::string& path, ListingSink& sink, ListingFacts& facts);

// The .PRINT and .FOUR tables of the own format in the listing's text, into
// class 1. Returns the number of vectors registered; a failed registration ends
// the reading, tables read before stay. A Fourier table's THD goes to the facts.
int print_read_tables(DataStore& store, std::string_view listing, ListingFacts& facts);

// The SPICE3-format tables ("Index" header between lines of dashes, possibly
// over several pages) and ngspice's Fourier tables, into class 1. AC values
// printed as "real, imaginary" become complex vectors. Returns the number of
// vectors registered.
int print3_read_tables(DataStore& store, std::string_view listing, ListingFacts& facts);

}  // namespace zephyrim
