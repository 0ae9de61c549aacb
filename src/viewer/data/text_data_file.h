#pragma once
// Text data files (".TXT", ".ASC"): waveforms as plain tables, read in and
// written out. A file read in starts with info lines (the title and further
// header texts) up to the first empty line; tables follow, each a line of
// column names and rows of numbers, the first column being the x axis.
#include <array>
#include <span>
#include <string>
#include <string_view>

namespace zephyrim {

class DataStore;
class Notify;

// Registers the columns of every table in class 1 of the store, the first
// column as the x vector of the others, with the analysis kind its name
// suggests. With header_wanted the info lines become the store's header texts:
// the title, then date, time and command for lines 2 to 4. Returns the number
// of vectors registered, 0 after the message when there were none.
int text_read_file(DataStore& store, const std::string& path, bool header_wanted);

// The three forms of text export.
enum TextForm : int {
  TEXT_WITH_HEADERS = 0,  // info lines, and a line of names above each trace's rows
  TEXT_DATA_ONLY = 1,     // the rows alone
  TEXT_SPICE_INCLUDE = 2  // comment lines and "+ " rows that continue a PWL list
};

// One trace to write: a row per point that both x and y have.
struct TextTrace {
  std::string_view x_name;
  std::string_view y_name;
  std::span<const double> x;
  std::span<const double> y;
};

// The title and the three further header texts written above the traces.
struct TextHeaderTexts {
  std::string title;
  std::array<std::string, 3> texts;
};

// Writes the traces in the form, replacing the file (crash-safe) or appending
// to it, with LF line ends. Nothing is written when there is no trace or no
// path. Returns the number of traces written, 0 after the message on failure.
int text_write_file(Notify& notify, const std::string& path, TextForm form, bool append,
                    const TextHeaderTexts& headers, std::span<const TextTrace> traces);

}  // namespace zephyrim
