#pragma once
// Opening any simulation data file: its type from the open dialog's filter or
// from its extension, the question whether old data goes, the names derived
// from it (PROBE, format and history files, window title) and the reader of
// its type. A listing's statements go to the script state and run after it.
#include <string>
#include <string_view>

#include "viewer/calc/expression.h"
#include "viewer/data/spice_listing.h"

namespace zephyrim {

class DataStore;
class WavPlayback;
struct ScriptState;

enum DataFileType : int {
  DATA_TYPE_LISTING = 0,
  DATA_TYPE_TEXT = 1,
  DATA_TYPE_RAW = 2,
  DATA_TYPE_CSDF = 3,
  DATA_TYPE_HSPICE_CSDF = 4,
  DATA_TYPE_PROBE = 5,
  DATA_TYPE_COMPLEX_TEXT = 6,
  DATA_TYPE_WAV = 7,
  DATA_TYPE_SPICE3_PRINT = 8,
};
inline constexpr int kDataFileTypes = 9;

// The open dialog's filters in the order offered: the nine types, then
// "All files(*.*)", which leaves the type to the extension.
extern const char* const kDataOpenFilters[kDataFileTypes + 1];
inline constexpr const char* kDataOpenCaption = "Open Data File";
inline constexpr const char* kDataOpenDefaultExtension = "OUT";

// The type of a path by its extension, any case; a listing for anything unknown.
int data_file_type(std::string_view path);

// What the viewer derives from the path of a data file.
struct DataFileNames {
  std::string path;          // as opened; ".out" added when it had no extension
  std::string folder;        // the data directory
  std::string probe;         // the PROBE data file, ".SAV"
  std::string format;        // the plot format file, ".F"
  std::string history;       // the trace history file, ".W"
  std::string window_title;  // "%s - %s%s": program title, file name and extension
};
DataFileNames data_file_names(std::string path, std::string_view program_title);

// What an open touches beside the store, kept by the viewer between opens.
struct DataOpenSession {
  ScriptState* script = nullptr;  // a listing's statements; none: they are dropped
  UserParameters parameters;      // a listing's user parameter table
  WavPlayback* playback = nullptr;
  DataFileNames names;
  ListingFacts facts;            // of the last listing read
  bool show_run_status = false;  // the last listing reported errors
};

// Reads the file with the reader of its type (-1: by extension) under
// "Reading file...". header_wanted: a text file's info lines become the data
// set's header. After a listing that gave data, its statements run. Returns the
// reader's result when the store holds vectors afterwards, else 0.
int data_open(DataStore& store, const std::string& path, int type, bool header_wanted,
              DataOpenSession& session);

// The Open command after the file was chosen: derived displays reset, "Clear
// old data?" when there is data (yes clears every class, the data file list and
// the user parameters; no adds the file's vectors as further runs), the names
// set, the file read. Returns data_open's result.
int data_open_command(DataStore& store, const std::string& path, int type, DataOpenSession& session);

}  // namespace zephyrim
