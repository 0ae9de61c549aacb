#pragma once
// One drawing of a graph for every device: the viewer's window, the printer,
// picture files and `zephyrim plot` all go through draw_graph, so that what
// prints is what the screen shows. Traces are drawn from their level-of-detail
// summaries at the device's pixel columns, so a redraw costs what the plot is
// wide, not what the trace is long.
#include <QColor>
#include <QPainter>
#include <QPointF>
#include <QRectF>
#include <array>
#include <optional>
#include <vector>

#include "viewer/plot/plot_model.h"
#include "viewer/plot/tick_labels.h"

namespace zephyrim {

class DataStore;
struct CursorPair;

// The 16 trace colours, in the order of kTraceColours.
extern const std::array<QColor, 16> kTraceQColours;

struct PlotStyle {
  int mode = DISPLAY_MODE_WHITE;  // black background, white, or monochrome on white
  double font_pixels = 0;         // text height in the area's units; 0: from the area's size
  QString font_family{};          // of every text; empty: the desktop's sans serif
  bool header = true;             // the file, title, subtitle, date, time and temperature lines
  bool legend = true;             // the trace names above each plot
  bool printing = false;          // line types and pen widths of the traces' printing options
  const CursorPair* cursors = nullptr;
  // How each axis writes its tick labels ("Set Axis Options"); absent: the
  // default of its scale with the unit of its first trace's name.
  std::optional<TickStyle> x_ticks;
  std::array<std::optional<TickStyle>, kMaxPlots> y_ticks{};
};

// A trace colour as the display mode shows it: monochrome draws all in black,
// and a trace in the background's own colour takes the foreground's.
QColor trace_colour(int colour, int mode);

// Where one plot lies and which part of its Y axis it shows.
struct PlotFrame {
  int plot = 0;      // index into Graph::plot
  QRectF rect;       // the frame; traces are clipped to it
  double low = 0;    // the axis values at the bottom and the top edge
  double high = 1;   // (log10 of the value on a log axis)
  bool log = false;  // Y values are log10 on the axis
};

// Where draw_graph put things, in the coordinates of its area: what the
// window's zoom and cursor code map mouse positions through.
struct GraphLayout {
  QRectF area;
  std::vector<PlotFrame> frames;  // top to bottom
  double x_low = 0;               // the X axis values at the frames' left and right edges
  double x_high = 1;              // (log10 on a log axis)
  bool x_log = false;
  double font_pixels = 0;
  // Per graph label its box, unclipped, with the label's anchor at its
  // bottom-left corner; empty when the label is not shown.
  std::vector<QRectF> labels;
};

// The layout draw_graph uses for an area, without drawing (the store gives the
// run labels of the legend).
GraphLayout graph_layout(const QRectF& area, const Graph& graph, const DataStore& store,
                         const PlotStyle& style = {});

// Draws the graph into the area: background, header, the stacked plots with
// frames, grids, ticks, labels and legends, the traces, and the cursors when
// the style names them, and the graph's labels. Nothing is painted outside the area. Returns the layout.
GraphLayout draw_graph(QPainter& painter, const QRectF& area, Graph& graph, DataStore& store,
                       const PlotStyle& style = {});

// A position on the graph in axis values (log10 on log axes).
struct GraphPoint {
  int plot = -1;  // the plot whose frame spans the position's height; -1 none
  double x = 0;
  double y = 0;  // on that plot's Y axis; 0 when plot is -1
};

// The axis values under a position of the area (x anywhere; y when the
// position is level with a frame).
GraphPoint graph_point_at(const GraphLayout& layout, QPointF position);
// The X axis value at a horizontal position.
double graph_x_at(const GraphLayout& layout, double x);
// Where axis values of a plot lie; the frame's centre when plot is not laid out.
QPointF graph_position_of(const GraphLayout& layout, int plot, double x, double y);

// The index of the graph label at a position (the topmost where labels
// overlap, and only where the label shows inside its frame); -1 for none.
int graph_label_at(const GraphLayout& layout, const Graph& graph, QPointF position);

}  // namespace zephyrim
