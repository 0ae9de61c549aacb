#pragma once
// The two cursors on the traces: where they sit, what the read-out window says
// about them (values, differences, ratios, slope), and the positions the cursor
// dialog offers (a fixed X or Y, extremes, peaks, steepest slope, RMS, mean).
#include <array>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zephyrim {

class Notify;

enum CursorShape : int {
  SHAPE_SMALL_CROSS = 0,
  SHAPE_X = 1,
  SHAPE_VERTICAL_BAR = 2,
  SHAPE_HORIZONTAL_BAR = 3,
  SHAPE_CROSS_HAIR = 4,
};
extern const char* const kCursorShapes[5];

enum CursorPositioning : int {
  POSITION_TRACK = 0,
  POSITION_FIX_X = 1,
  POSITION_FIX_Y = 2,
  POSITION_MAXIMUM = 3,
  POSITION_MINIMUM = 4,
  POSITION_PEAK = 5,
  POSITION_TROUGH = 6,
  POSITION_MAX_SLOPE = 7,
  POSITION_RMS = 8,
  POSITION_MEAN = 9,
};
extern const char* const kCursorPositionings[10];

struct Cursor {
  bool active = false;
  int shape = SHAPE_SMALL_CROSS;
  int trace = -1;  // index into the graph's traces
  int positioning = POSITION_TRACK;
  // log10 of the value on a log axis, as the axes keep them. On a Smith chart
  // the cursor moves along the sweep: x is the sweep value (the trace's third
  // vector, e.g. the frequency), y the real part of the reflection coefficient
  // drawn there and aux its imaginary part (see cursor_place_smith).
  double x = 0;
  double y = 0;
  double aux = 0;    // the trace's third vector, or the imaginary part on a Smith chart
  size_t index = 0;  // the point at or before the cursor
  std::string x_name{};
  std::string y_name{};
  std::string extra_name{};  // empty: no extra read-out line
};

// Which difference lines the read-out shows.
struct ReadoutFlags {
  bool x_difference = true;
  bool y_difference = true;
  bool x_ratio = true;
  bool y_ratio = true;
  bool slope = true;
};

struct CursorPair {
  std::array<Cursor, 2> cursor;
  ReadoutFlags flags;
  bool show_shapes = true;
};

// How the axes under the cursors read their positions.
struct ReadoutScales {
  bool x_log = false;
  bool y_log = false;
  bool smith = false;          // Smith chart: impedance names and VSWR
  bool smith_current = false;  // the chart's second display: I[%s] for the second name
  double z0 = 50;              // the Smith chart's reference impedance, ohms
};

// The read-out lines, top to bottom. On a Smith chart each cursor reads, from
// its reflection coefficient g = y + j aux: the sweep (x name and value), the
// impedance in ohms z0 (1 + g) / (1 - g) as "ZR[%s]" and "ZI[%s]", the
// normalised impedance " z=r+jx ", the reference " Z0=%s ", " |GAMMA|=%s ",
// its angle in degrees " ANG(GAMMA)=%s ", and " VWSR=%s " = (1 + |g|) / (1 -
// |g|), "inf" when |g| >= 1 (an impedance at infinity reads "inf" too).
std::vector<std::string> cursor_readout(const CursorPair& cursors, const ReadoutScales& scales);

// A point a cursor can move to.
struct CursorPoint {
  double x = 0;
  double y = 0;
  size_t index = 0;
};

// Places a cursor on a Smith chart trace at a sweep value: x = at, y and aux
// the real and imaginary parts there (interpolated), index the point at or
// before it. False, the cursor unchanged, when the sweep does not reach at.
bool cursor_place_smith(Cursor& cursor, std::span<const double> sweep, std::span<const double> re,
                        std::span<const double> im, double at);

// The first point of the trace at X = value (interpolated), or none.
std::optional<CursorPoint> cursor_find_x(std::span<const double> x, std::span<const double> y, double value);
// The first point at Y = value (interpolated), or none.
std::optional<CursorPoint> cursor_find_y(std::span<const double> x, std::span<const double> y, double value);
// Largest / smallest Y (the first of equal ones).
std::optional<CursorPoint> cursor_extreme(std::span<const double> x, std::span<const double> y, bool maximum);
// The next local maximum (peak) or minimum (trough) after the point index from.
std::optional<CursorPoint> cursor_next_peak(std::span<const double> x, std::span<const double> y, size_t from,
                                            bool peak);
// The point where |dY/dX| is largest.
std::optional<CursorPoint> cursor_max_slope(std::span<const double> x, std::span<const double> y);
// The mean or the root-mean-square of Y over X (trapezoids; the plain average
// of the samples when X does not advance).
double trace_mean(std::span<const double> x, std::span<const double> y, bool rms);

// The values the position dialog works with, on the axes' scales.
struct PositionRequest {
  int option = POSITION_TRACK;
  double fixed = 0;  // the fixed X or Y as the user typed it (not log10)
  double shown_min = 0;
  double shown_max = 0;
  bool x_log = false;
  bool y_log = false;
};

// Moves an active cursor on its trace (x, y: the trace's values as stored) as
// the dialog asks. Returns false after "No cursor active", "Specified value out
// of range" (the dialog stays open) or "Specified cursor value not found" (the
// option falls back to tracking the data).
bool cursor_set_position(Cursor& cursor, std::span<const double> x, std::span<const double> y,
                         const PositionRequest& request, Notify& notify);

}  // namespace zephyrim
