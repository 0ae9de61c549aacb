#pragma once
// Trace history files (DATA.O01 .. DATA.O99): the values of the traces shown
// for one run, kept so that old runs can be laid over new results. They come
// back as vectors of DATA_CLASS_HISTORY whose run number is the slot number.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "viewer/plot/plot_file_io.h"

namespace zephyrim {

class DataStore;
class Notify;
struct Graph;

// ---- Messages -------------------------------------------------------------

inline constexpr char kHistoryCannotOpen[] = "Cannot open history data file:\n%s";
inline constexpr char kHistoryNotCompatible[] =
    "Saved history file is not compatible with this software version";
inline constexpr char kHistoryOldVersion[] = "Saved trace history data format version %d is not compatible";
inline constexpr char kHistoryReadError[] = "Error %d reading data from history file:\n%s";
inline constexpr char kHistoryCannotCreate[] = "Cannot create trace history data file:\n%s";
inline constexpr char kHistoryClearTracesQuestion[] = "Are you sure you want to clear all the old traces?";
inline constexpr char kHistoryClearDataQuestion[] = "Clear old data?";

// Files of this version and older had another layout.
inline constexpr int kHistoryNewestRefused = 701;
inline constexpr int kHistoryMaxSlot = 99;
inline constexpr size_t kHistoryDescriptionMax = 127;
inline constexpr size_t kHistoryLabelMax = 15;
inline constexpr size_t kHistoryNameMax = 255;
inline constexpr size_t kHistoryExpressionMax = 255;
inline constexpr size_t kHistoryRunLabelMax = 31;

// The read error codes of the message.
enum HistoryError : int {
  HISTORY_ERROR_DESCRIPTION = 10,
  HISTORY_ERROR_LABEL = 11,
  HISTORY_ERROR_ANALYSIS = 12,
  HISTORY_ERROR_CLASS = 13,
  HISTORY_ERROR_PLOTS = 14,
  HISTORY_ERROR_COUNT = 20,
  HISTORY_ERROR_TRACE = 21,
  HISTORY_ERROR_X_VECTOR = 22,
  HISTORY_ERROR_Y_VECTOR = 23,
};

// ---- Slot files -----------------------------------------------------------

// The data file with the extension ".O%02d".
std::string history_file_name(const std::string& data_path, int slot);
// The slot of a history file name (its ".Onn" extension), or 0.
int history_slot_of(const std::string& path);
// "Run#%d %s  %s %s": slot, revision text, date and time of the simulation.
std::string history_default_description(int slot, const std::string& revision, const std::string& date,
                                        const std::string& time);
// "#%d" with the slot.
std::string history_default_label(int slot);

struct HistorySlotFile {
  int slot = 0;
  int64_t modified = 0;  // any clock that orders the files by age
};
// The history files of a data file that exist, with their modification times.
std::vector<HistorySlotFile> history_slot_files(const std::string& data_path);

struct HistorySlotChoice {
  int slot = 1;             // where the next history goes
  std::vector<int> remove;  // the oldest files, to make room
};
// The slot after the newest file (99 wraps to 1, taken slots are passed
// over). With max_keep files (1..99; 0 or more counts as 99) already there,
// the oldest go first so that max_keep remain with the new one.
HistorySlotChoice history_choose_slot(std::vector<HistorySlotFile> existing, int max_keep);

// ---- The file in memory ---------------------------------------------------

// A vector block: the store's record, the name, the expression, the run
// label and the values (real; record.points of them).
struct HistoryVector {
  VectorRecord record;
  std::string name;
  std::string expression;
  std::string label;
  std::vector<double> values;
};

struct HistoryTrace {
  TraceRecord record;              // record.x_block: x holds a block
  std::optional<HistoryVector> x;  // none: the previous trace's X
  HistoryVector y;
};

struct HistoryFile {
  int version = kPlotFileVersion;
  std::string description;
  std::string label;
  int32_t analysis = 0;
  int32_t cls = 0;
  int32_t plots = 1;
  std::vector<HistoryTrace> traces;
};

// The traces of the graph that are shown (not hidden) and whose values can
// be read, with each X written once for the traces after it that share it.
HistoryFile history_of_graph(const Graph& graph, DataStore& store, const std::string& description,
                             const std::string& label);
std::vector<uint8_t> history_bytes(const HistoryFile& file);

enum class HistoryRead { ok, not_ours, old_version, read_error };
struct HistoryReadResult {
  HistoryRead status = HistoryRead::ok;
  int code = 0;  // read_error: a HistoryError
  int version = 0;
};
// Parses a history file; with header_only it stops after the trace count
// (the traces stay empty). On success fills file.
HistoryReadResult history_parse(std::span<const uint8_t> bytes, HistoryFile& file, bool header_only = false);

// ---- The operations -------------------------------------------------------

// Writes the graph's traces to path (through a temporary file). Returns the
// number of traces written, or -1 after "Cannot create trace history data
// file:\n%s".
int history_save(const Graph& graph, DataStore& store, const std::string& path,
                 const std::string& description, const std::string& label, Notify& notify);

// What a history file says of itself, without its traces (no message).
struct HistoryHeader {
  int version = 0;
  std::string description;
  std::string label;
  int analysis = 0;
  int cls = 0;
  int plots = 0;
  int traces = 0;
};
std::optional<HistoryHeader> history_read_header(const std::string& path);

// Registers the file's vectors in DATA_CLASS_HISTORY, each with the slot of
// the file name as its run (a name without one takes the run after the
// class's highest). Returns the number of traces restored, or 0 after the
// message with the store unchanged.
int history_load(DataStore& store, const std::string& path, Notify& notify);

}  // namespace zephyrim
