#pragma once
// What the viewer shows: a graph of up to eight stacked Y plots over one X
// axis, the traces selected into them with their display options, and the
// header texts of the data set. The drawing code only reads this model.
#include <array>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "viewer/calc/autoplot.h"
#include "viewer/calc/histogram.h"
#include "viewer/plot/axis_scale.h"

namespace zephyrim {

class DataStore;
class LevelOfDetail;
class Notify;
struct DataVector;

inline constexpr int kMaxPlots = 8;

// The option lists of a trace, in list order.
extern const char* const kTraceColours[16];
extern const char* const kTraceSymbols[10];
extern const char* const kTraceDisplays[3];
extern const char* const kTraceLineTypes[10];
extern const char* const kTracePenWidths[6];
// The analysis choices of "Select Analysis/Data Source" and the kind of each.
extern const char* const kAnalysisChoiceLabels[8];
extern const int kAnalysisChoiceKinds[8];
// "X bottom", "Y plot 1" .. "Y plot 8"; "No change", "Plot 1" .. "Plot 8".
std::string axis_list_name(int index);
std::string move_list_name(int index);

// The screen colours of View > Display Mode.
enum DisplayMode : int {
  DISPLAY_MODE_BLACK = 0,        // black background
  DISPLAY_MODE_WHITE = 1,        // white background
  DISPLAY_MODE_MONOCHROME = 2,   // black on white
  DISPLAY_MODE_FILE_COLOUR = 3,  // as the graph is written to a picture file, in colour
  DISPLAY_MODE_FILE_MONO = 4,    // as the graph is written to a picture file, in black and white
};

enum TraceColour : int { COLOUR_BLACK = 0, COLOUR_BLUE = 1, COLOUR_RED = 4, COLOUR_WHITE = 15 };
enum TraceDisplay : int { DISPLAY_NORMAL = 0, DISPLAY_HIGHLIGHT = 1, DISPLAY_HIDE = 2 };
enum GridMode : int { GRID_NONE = 0, GRID_SINGLE = 1, GRID_DOUBLE = 2 };
enum PlotAreaMode : int { AREA_SQUARE = 0, AREA_RECTANGULAR = 1 };
enum PlottingMode : int { PLOT_ALL_DATA = 0, PLOT_FAST = 1 };
enum PlotDirection : int { DIRECTION_BOTH = 0, DIRECTION_UP = 1, DIRECTION_DOWN = 2 };
enum InfoDisplay : int { INFO_TRACE_SYMBOL = 0, INFO_SPICE_RUN = 1 };

struct TraceOptions {
  int colour = COLOUR_BLUE;
  int symbol = 0;
  int display = DISPLAY_NORMAL;
  int line_type = 1;  // solid
  int pen_width = 1;  // normal
};

struct SelectedTrace {
  const DataVector* y = nullptr;
  const DataVector* x = nullptr;
  const DataVector* third = nullptr;  // an auxiliary vector (cursor read-outs)
  int plot = 0;                       // 0..7
  std::string name{};
  std::string expression{};
  TraceOptions options{};
};

struct Plot {
  AxisScale y_axis;
  std::string y_label;
  bool log = false;
  AxisLimits limits;  // manual limits from #AUTOPLOT
};

// The texts above the plots.
struct GraphHeader {
  std::string file;  // "File: %s" and, after three blanks, the revision
  std::string circuit_title;
  std::string subtitle;
  std::string date;
  std::string time;
  std::string temperature;  // "Temp=%g"
};

struct GraphOptions {
  int grid = GRID_SINGLE;
  int area = AREA_RECTANGULAR;
  int plotting = PLOT_ALL_DATA;
  int direction = DIRECTION_BOTH;
  int info = INFO_TRACE_SYMBOL;
};

// A text the user placed on the graph. Its anchor is a point in the values of
// the axes (not log10 on a log axis), so that the label stays on its point of
// a curve through zooms, scrolls and scale changes.
struct GraphLabel {
  std::string text;  // Latin-1, as the header texts
  double x = 0;
  double y = 0;  // on the Y axis of its plot
  int plot = 0;  // 0..7
};

struct Graph {
  int analysis = -1;  // the analysis kind shown; -1 none chosen
  int cls = -1;       // DATA_CLASS_BINARY or DATA_CLASS_TEXT; -1 not decided
  int plots = 1;      // 1..8
  int chart = CHART_NORMAL;
  AxisScale x_axis;
  bool x_log = false;
  AxisLimits x_limits;
  std::string x_label;
  XVariable x_variable;  // the X vector or expression of the traces; empty: their own
  std::array<Plot, kMaxPlots> plot;
  std::vector<std::unique_ptr<SelectedTrace>> traces;
  size_t capacity = 0;   // of the selected-trace table
  int max_selected = 0;  // 0: no limit
  bool angular = false;  // pole-zero data: frequencies read Rad/s
  GraphHeader header;
  GraphOptions options;
  std::vector<GraphLabel> labels;  // in drawing order: the last one is on top
  // Labels drawn without their background box. It belongs to the graph's look
  // rather than to one device, so that pictures, printing and a saved format
  // show the labels as the window does.
  bool transparent_labels = false;
  // The histogram chart's bins and statistics, and the vector it counts.
  std::optional<Histogram> histogram;
  const DataVector* histogram_source = nullptr;
  // The reference impedance, ohms, that a Smith chart converts impedances
  // with and its cursors read them back with.
  double smith_z0 = 50;
  // Lines a chart shows in a box on its first plot (the eye's period and delay).
  std::vector<std::string> chart_readout;
  // The drawing summaries of each (X, Y) pair shown, built once and kept while
  // the graph shows the pair.
  std::map<std::pair<const DataVector*, const DataVector*>, std::unique_ptr<LevelOfDetail>> details;

  Graph();
  ~Graph();
  Graph(Graph&&) noexcept;
  Graph& operator=(Graph&&) noexcept;
};

// The drawing summaries of a trace, made (and their build started) at the
// first call; null when its values cannot be read (after the store's message).
// Its views stay valid while the store keeps the vectors' class.
LevelOfDetail* trace_detail(Graph& graph, DataStore& store, const SelectedTrace& trace);

// Grows the selected-trace table for n traces: the next multiple of 100 above
// n, 50 more when still short. False after "Number of selected variables
// exceed limit of %d" when n passes the graph's maximum.
bool grow_trace_table(Graph& graph, size_t n, Notify& notify);

// Adds a trace on the table's terms; null when the table is full. Its colour
// is the next of the graph's colour sequence; without x it takes y's own.
SelectedTrace* add_trace(Graph& graph, const DataVector& y, const DataVector* x, int plot, Notify& notify);

// Removes every trace and the plots' settings; the analysis and class stay.
void clear_traces(Graph& graph);

// The number of plots the traces use (the highest plot number + 1, at least 1).
int plots_in_use(const Graph& graph);

// The log-scale checks of a trace: false after "X data out of range, cannot
// display on log scale" when no X is above 0 on a log X axis, or "Data out of
// range, cannot display on log scale" when no Y is non-zero on a log Y axis.
bool trace_log_check(DataStore& store, const SelectedTrace& trace, bool x_log, bool y_log, Notify& notify);

}  // namespace zephyrim
