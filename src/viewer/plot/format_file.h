#pragma once
// Plot format files (NAME.F00 .. NAME.F99): the whole arrangement of a graph
// (its traces by name, its settings, its plots and their axes) kept so that it
// can be recalled on later results of the same project. Slot 00 is the one the
// viewer writes when it closes. Traces are stored as references that are
// looked up again in the data shown when the format is loaded.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/fixed_text.h"
#include "viewer/calc/expression.h"
#include "viewer/plot/plot_file_io.h"
#include "viewer/plot/plot_model.h"
#include "viewer/plot/tick_labels.h"

namespace zephyrim {

class DataStore;
class Notify;

// ---- Messages -------------------------------------------------------------

inline constexpr char kFormatCannotOpen[] = "Cannot open plot format file:\n%s";
inline constexpr char kFormatNotCompatible[] =
    "Saved format file is not compatible with this software version";
inline constexpr char kFormatWrongAnalysis[] = "Saved format does not match selected analysis";
inline constexpr char kFormatReadError[] = "Error number %d reading format file version %d";
inline constexpr char kFormatDataMissing[] = "Saved format analysis/data not available";
inline constexpr char kFormatCannotSelect[] = "Error: cannot select format specified traces";
inline constexpr char kFormatCannotSave[] = "Cannot open file to save format info";
inline constexpr char kFormatDeleteAllQuestion[] =
    "Are you sure you want to delete all the format files for this project?";
inline constexpr char kFormatLastSession[] = "Last session";
inline constexpr char kFormatFilter[] = "Format Files(*.F*)";
inline constexpr char kFormatDefaultExtension[] = "FMT";
inline constexpr char kFormatDialogTitle[] = "Select Plot Format File";

// The oldest layout this program reads; older files had other field sizes.
inline constexpr int kFormatOldestVersion = 680;
inline constexpr int kFormatSlots = 100;  // 00 .. 99
inline constexpr size_t kFormatDescriptionSize = 256;
inline constexpr size_t kFormatDataFileSize = 128;
// The most characters of each counted text of a format file.
inline constexpr size_t kFormatTextMax = 255;

// ---- Slot files -------------------------------------------------------------

// The base name of a project's format files: the project or data file with the
// extension "F" ("amp.OUT" gives "amp.F").
std::string format_base_name(const std::string& project_path);
// base followed by the slot as two digits; slots outside 1..99 are 00.
std::string format_slot_file(const std::string& base, int slot);

// ---- Records of the format file -----------------------------------------

// How an axis writes its tick labels, as "Set Axis Options" sets it (52 bytes):
//   0 given mark (0: the axis's default), 4 code, 8 digits, 12 unit mode
//   (0 auto, 1 user, 2 none), 16 scale on caption, 20 unit name (32 bytes).
struct TickStyleRecord {
  int32_t given = 0;
  int32_t code = 0;
  int32_t digits = 0;
  int32_t unit_mode = 0;
  int32_t scale_on_caption = 0;
  FixedText<32> unit_name;
  bool operator==(const TickStyleRecord&) const = default;
};
inline constexpr size_t kTickStyleRecordSize = 52;

// Graph settings (4968 bytes), in the graph's declared order:
//     0 analysis, 4 class, 8 plots, 12 chart
//    16 X axis (64: in_use, log_scale, limits_manual, range_manual, data_min,
//       data_max, low, high, spacing, divisions, first_mark)
//    80 x_log
//    84 X limits (36: manual, min, max, spacing, ticks given, ticks)
//   120 X label (256)
//   376 X variable text (256), 632 X variable is an expression
//   636 angular
//   640 header: file (256), 896 circuit title (256), 1152 subtitle (256),
//       1408 date (64), 1472 time (64), 1536 temperature (64)
//  1600 labels of the first list, 1604 labels of the second list
//  1608 transparent labels
//  1612 X tick style (52)
//  1664 reserved (3304), kept as read
inline constexpr size_t kGraphRecordSize = 4968;
inline constexpr size_t kGraphRecordReserved = 3304;

struct GraphRecord {
  int32_t analysis = -1;
  int32_t cls = -1;
  int32_t plots = 1;
  int32_t chart = 0;
  AxisScale x_axis;
  int32_t x_log = 0;
  AxisLimits x_limits;
  FixedText<256> x_label;
  FixedText<256> x_variable;
  int32_t x_expression = 0;
  int32_t angular = 0;
  FixedText<256> file;
  FixedText<256> circuit_title;
  FixedText<256> subtitle;
  FixedText<64> date;
  FixedText<64> time;
  FixedText<64> temperature;
  int32_t labels = 0;
  int32_t labels2 = 0;
  int32_t transparent_labels = 0;
  TickStyleRecord x_ticks;
  std::array<uint8_t, kGraphRecordReserved> reserved{};
};

// A graph text object (132 bytes): 0 text mark, 4 x, 12 y, 20 plot,
// 24 reserved (108).
inline constexpr size_t kLabelRecordSize = 132;
struct LabelRecord {
  int32_t text = 0;
  double x = 0;
  double y = 0;
  int32_t plot = 0;
  std::array<uint8_t, 108> reserved{};
  bool operator==(const LabelRecord&) const = default;
};

// One plot (640 bytes): 0 Y axis (64), 64 Y label (256), 320 log,
// 324 limits (36), 360 Y tick style (52), 412 reserved (228).
inline constexpr size_t kPlotRecordSize = 640;
struct PlotRecord {
  AxisScale y_axis;
  FixedText<256> y_label;
  int32_t log = 0;
  AxisLimits limits;
  TickStyleRecord ticks;
  std::array<uint8_t, 228> reserved{};
};

// Display options of "Format Options" (208 bytes): 0 grid, 4 plot area,
// 8 plotting mode, 12 plot direction, 16 info display, 20 reserved (188).
inline constexpr size_t kDisplayRecordSize = 208;
struct DisplayRecord {
  GraphOptions options;
  std::array<uint8_t, 188> reserved{};
};

// Window and cursor state: sized only, kept as read.
inline constexpr size_t kWindowStateSize = 68;

// ---- The file in memory -------------------------------------------------

struct FormatVariable {
  VectorRecord record;
  std::string expression;
};

struct FormatTrace {
  TraceRecord record;
  FormatVariable y;
  std::optional<FormatVariable> x;
  std::optional<FormatVariable> third;
  std::string name;
  std::string expression;
};

struct FormatLabel {
  LabelRecord record;
  std::string text;
};

struct FormatFile {
  int version = kPlotFileVersion;
  FixedText<kFormatDescriptionSize> description;
  FixedText<kFormatDataFileSize> data_file;
  int32_t cls = -1;
  int32_t analysis = -1;
  std::array<std::optional<FormatVariable>, 2> display_variables;
  std::vector<FormatTrace> traces;
  GraphRecord graph;
  std::array<std::vector<FormatLabel>, 2> labels;  // the graph record holds their counts
  std::vector<PlotRecord> plots;                   // graph.plots of them
  std::array<uint8_t, kWindowStateSize> window{};
  DisplayRecord display;
};

// How the axes write their tick labels. The graph does not hold them (the
// drawing style does), so the callers hand them over; absent: the default.
struct FormatTickStyles {
  std::optional<TickStyle> x;
  std::array<std::optional<TickStyle>, kMaxPlots> y{};
};

// The file of a graph. The counts of the records follow the lists.
FormatFile format_of_graph(const Graph& graph, const std::string& description, const std::string& data_file,
                           const FormatTickStyles* styles = nullptr);
std::vector<uint8_t> format_bytes(const FormatFile& file);

enum class FormatRead { ok, not_ours, wrong_analysis, read_error };
struct FormatReadResult {
  FormatRead status = FormatRead::ok;
  int step = 0;     // read_error: the step that stopped (1 description .. 13 display options)
  int version = 0;  // as stored, once the header was read
};
// Parses a format file. With analysis >= 0 a file of another analysis stops
// right after its class and kind (wrong_analysis). A version below 680 is
// not_ours. On success fills file.
FormatReadResult format_parse(std::span<const uint8_t> bytes, FormatFile& file, int analysis = -1);

// ---- The operations -------------------------------------------------------

// The description offered when saving: the plot names (each plot's Y label,
// else its traces' names joined by ",") joined by ";", then " vs " and the X
// variable; at most 255 characters.
std::string format_default_description(const Graph& graph);

// Writes the graph to path (through a temporary file). 1, or 0 after
// "Cannot open file to save format info".
int format_save(const Graph& graph, const std::string& path, const std::string& description,
                const std::string& data_file, Notify& notify, const FormatTickStyles* styles = nullptr);

// The description stored in a slot, or none when the slot has no readable
// format file (no message: slot lists show empty slots).
std::optional<std::string> format_read_header(const std::string& base, int slot);
// The whole file, or none when it cannot be read (no message).
std::optional<FormatFile> format_read_file(const std::string& path);

// Loads a format file onto the graph: its settings, plots and display options,
// and its traces selected again in the store's data (as named, or by their
// expressions). The graph's header texts and trace limit stay. Returns 1, or 0
// after the message with the graph unchanged. styles, when given, receives the
// tick styles of the axes.
int format_load(Graph& graph, DataStore& store, const std::string& path, Notify& notify,
                FormatTickStyles* styles = nullptr, const UserParameters* parameters = nullptr);

// Removes a slot's file: 1 when removed, 0 when there was none.
int format_delete(const std::string& base, int slot);
// After "Are you sure you want to delete all the format files for this
// project?" removes every slot file; returns the number removed, or -1 when
// the answer was no.
int format_delete_all(const std::string& base, Notify& notify);

}  // namespace zephyrim
