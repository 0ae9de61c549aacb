#pragma once
// Level-of-detail summaries of one trace, so that drawing it costs what the
// window is wide, not what the trace is long (up to 100,000,000 points).
//
// The summaries hold, for blocks of 64, 512, 4096, ... points (each level
// kLodFanOut times coarser, up to one block), the minimum and maximum Y of
// the block, and for the finest blocks the X of their first point (coarser
// blocks start at one of those). They take under 3% of the memory of the
// trace's X and Y.
//
// A trace's values stay where the data store keeps them: the object holds
// views, which must outlive it.
#include <atomic>
#include <cstddef>
#include <limits>
#include <mutex>
#include <span>
#include <stop_token>
#include <thread>
#include <vector>

namespace zephyrim {

inline constexpr std::size_t kLodStride = 64;  // points in a finest block
// Blocks of a level per block of the next: few levels, each one or two cache
// lines near a column's end, are what an envelope waits on.
inline constexpr std::size_t kLodFanOut = 8;
// Above this many points the summaries are worth a thread of their own.
inline constexpr std::size_t kLodBackgroundPoints = 1'000'000;
inline constexpr int kLodMaxColumns = 1 << 20;  // more columns than any device has

// What the trace covers in one pixel column.
struct LodColumn {
  double y_min = 0;   // lowest Y of the polyline within the column
  double y_max = 0;   // highest Y
  bool empty = true;  // the trace does not reach the column (y_min, y_max meaningless)
};

// A range of values; empty when there is no value that is not NaN.
struct LodRange {
  double min = 0;
  double max = 0;
  bool empty = true;
};

// Lowest and highest Y of a block of the summaries or of a column; +inf and
// -inf when there is none.
struct LodMinMax {
  double min = std::numeric_limits<double>::infinity();
  double max = -std::numeric_limits<double>::infinity();
};

enum class LodOrder {
  ascending,   // X never decreases (the usual sweep or time axis)
  descending,  // X never increases
  unordered,   // X goes back and forth, or holds NaN: exact but slower envelopes
};

// Left edge of pixel column `column` of `columns` over [x_from, x_to]; column
// `columns` gives x_to itself. Column c spans [edge(c), edge(c + 1)], closed on
// both sides, so a point on an edge belongs to both columns beside it.
double lod_column_edge(double x_from, double x_to, int columns, int column);

class LevelOfDetail {
 public:
  // x and y have the same length (the shorter one counts otherwise).
  LevelOfDetail(std::span<const double> x, std::span<const double> y);
  ~LevelOfDetail();  // stops a build in progress
  LevelOfDetail(const LevelOfDetail&) = delete;
  LevelOfDetail& operator=(const LevelOfDetail&) = delete;

  // Starts building the summaries: on a thread of its own for a long trace,
  // at once for a short one. Does nothing once started.
  void start_build();
  // Builds the summaries now, or waits for the build started before.
  void wait_built();
  bool built() const { return built_.load(std::memory_order_acquire); }

  // For each of `columns` equal pixel columns of [x_from, x_to], the lowest and
  // highest Y of the trace drawn as a polyline: the points inside the column and
  // the interpolated values where segments cross its edges. Points and segments
  // with a NaN are left out (the line breaks there). Fills `out` (resized) and
  // returns the number of columns; returns 0 with `out` empty when columns is
  // not in 1..kLodMaxColumns or the range is not finite and wider than zero.
  // Builds the summaries first if needed (or waits for the build).
  //
  // Ordered X (either way): a search among the finest blocks' first X, a few
  // points around each column edge, and per column fewer than kLodFanOut
  // summary entries per level and end over log8(points per column / 64)
  // levels, plus the loose points at the column's ends when their block could
  // hold its extremes: a cost that follows the columns, whatever the range.
  // Unordered X: every point.
  //
  // Since a connected piece of polyline covers an interval of Y in a column,
  // a bar from y_min to y_max per column draws an ordered trace exactly at
  // the pixel size; for unordered X the bar may also cover gaps between pieces.
  int envelope(double x_from, double x_to, int columns, std::vector<LodColumn>& out);
  // The same from the raw points only, reading no summary: for drawing while
  // the summaries are being built. Every point is visited.
  int envelope_raw(double x_from, double x_to, int columns, std::vector<LodColumn>& out) const;

  // Whole-trace ranges for automatic axis limits (builds first if needed).
  LodRange y_range();
  LodRange x_range();
  LodOrder order();

  std::size_t points() const { return n_; }
  std::size_t memory_bytes() const;  // held by the summaries

 private:
  using MinMax = LodMinMax;

  void build(std::stop_token stop);
  bool build_blocks(std::stop_token stop);
  void build_upper_levels();
  // Where an edge falls among the points of an ordered trace.
  struct EdgeSpot {
    std::size_t below = 0;    // points below the edge (at first: finest blocks starting below it)
    std::size_t at_most = 0;  // points at or below it
    std::size_t guess = 0;    // where the search for `below` starts
    double crossing = std::numeric_limits<double>::quiet_NaN();  // the segment across it, if any
  };
  // Loose points of a column still to be read, from..to.
  struct LooseRun {
    std::size_t column;
    std::size_t from;
    std::size_t to;
  };
  // Room an envelope works in, kept from one call to the next: given back and
  // taken again, its pages would return through page faults every time.
  struct Scratch {
    std::vector<double> edges;
    std::vector<EdgeSpot> spots;
    std::vector<std::size_t> counts;
    std::vector<MinMax> columns;
    std::vector<LooseRun> runs;
  };
  void envelope_ordered(Scratch& scratch, LodColumn* out) const;
  void count_blocks_below(Scratch& scratch) const;
  void fetch_edge(double e, EdgeSpot& spot) const;
  void locate_edge(double e, EdgeSpot& spot) const;
  void prefetch_levels(std::size_t block) const;
  void sum_column(std::size_t column, const EdgeSpot& left, const EdgeSpot& right, MinMax& acc,
                  std::vector<LooseRun>& runs) const;
  void scan_run(const LooseRun& run, std::vector<MinMax>& acc) const;
  double xs(std::size_t i) const { return sign_ * x_[i]; }

  std::span<const double> x_;
  std::span<const double> y_;
  std::size_t n_ = 0;

  // Written by the build, read only once built_ is set.
  LodOrder order_ = LodOrder::unordered;
  double sign_ = 1;                       // X of an ordered trace times sign_ ascends
  std::vector<double> first_x_;           // sign_ * X of the first point of each finest block
  std::vector<MinMax> blocks_;            // Y of the blocks of every level, the finest first
  std::vector<std::size_t> level_start_;  // where each level starts in blocks_, and the end
  LodRange x_range_;
  std::atomic<bool> built_{false};

  std::mutex scratch_mutex_;  // one envelope at a time in scratch_
  Scratch scratch_;

  std::mutex build_mutex_;  // starting, joining and building
  std::jthread builder_;    // last, so that it stops before the rest goes
};

}  // namespace zephyrim
