#include "viewer/plot/level_of_detail.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace zephyrim {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr std::size_t kStopCheckBlocks = 1 << 14;  // how often a background build looks for a stop

// Widens a range by values; a comparison with NaN is false, so NaN never gets
// in and never hides the other values.
void widen(LodMinMax& m, double v) {
  m.min = v < m.min ? v : m.min;
  m.max = v > m.max ? v : m.max;
}
void widen(LodMinMax& m, double lo, double hi) {
  m.min = lo < m.min ? lo : m.min;
  m.max = hi > m.max ? hi : m.max;
}
void widen(LodMinMax& m, const LodMinMax& by) {
  widen(m, by.min, by.max);
}
bool is_empty(const LodMinMax& m) {
  return !(m.min <= m.max);
}
LodColumn column_of(const LodMinMax& m) {
  return is_empty(m) ? LodColumn{} : LodColumn{m.min, m.max, false};
}

// The first index of [from, to) where `holds` stops holding (it holds on a
// prefix). Branch-free, so that searches for many edges overlap their misses.
template <class Holds>
std::size_t first_failing(std::size_t from, std::size_t to, Holds holds) {
  if (from >= to) return from;
  std::size_t base = from, len = to - from;
  while (len > 1) {
    const std::size_t half = len / 2;
    base = holds(base + half - 1) ? base + half : base;
    len -= half;
  }
  return base + (holds(base) ? 1 : 0);
}

// The same, the search starting at `guess` and widening from there: a few
// probes around a good guess, twice a binary search at worst.
template <class Holds>
std::size_t first_failing_near(std::size_t from, std::size_t to, std::size_t guess, Holds holds) {
  if (from >= to) return from;
  guess = std::clamp(guess, from, to - 1);
  std::size_t lo = from, hi = to;  // the answer lies in [lo, hi]
  if (holds(guess)) {
    lo = guess + 1;
    for (std::size_t step = 1; lo < hi; step *= 2) {
      const std::size_t probe = std::min(hi - 1, lo + step - 1);
      if (!holds(probe)) {
        hi = probe;
        break;
      }
      lo = probe + 1;
    }
  } else {
    hi = guess;
    for (std::size_t step = 1; lo < hi; step *= 2) {
      const std::size_t probe = hi - std::min(step, hi - lo);
      if (holds(probe)) {
        lo = probe + 1;
        break;
      }
      hi = probe;
    }
  }
  return first_failing(lo, hi, holds);
}

// For each ascending key, how many of the ascending a[0, n) are below it. The
// searches advance one step together, so the loads of all keys are in flight
// at once instead of one miss after another.
void count_below_each(const double* a, std::size_t n, const double* keys, std::size_t count,
                      std::size_t* out) {
  std::fill(out, out + count, 0);
  if (n == 0) return;
  std::size_t len = n;
  while (len > 1) {
    const std::size_t half = len / 2;
    for (std::size_t k = 0; k < count; ++k) out[k] += a[out[k] + half - 1] < keys[k] ? half : 0;
    len -= half;
  }
  for (std::size_t k = 0; k < count; ++k) out[k] += a[out[k]] < keys[k] ? 1 : 0;
}

// Sized room for the summaries, on huge pages where the system offers them:
// written 4 KB at a time, the summaries of a long trace would cost more in
// page faults than the pass over the data itself.
template <class T>
void allocate(std::vector<T>& v, std::size_t count) {
  v.clear();
  v.reserve(count);
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  constexpr std::uintptr_t kHuge = std::uintptr_t{2} << 20;
  const auto begin = reinterpret_cast<std::uintptr_t>(v.data());
  const std::uintptr_t first = (begin + kHuge - 1) & ~(kHuge - 1);
  const std::uintptr_t last = (begin + v.capacity() * sizeof(T)) & ~(kHuge - 1);
  if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#endif
  v.resize(count);
}

void prefetch(const double* p, std::size_t count) {
  constexpr std::size_t kLine = 64 / sizeof(double);
  for (std::size_t i = 0; i < count; i += kLine) __builtin_prefetch(p + i);
  __builtin_prefetch(p + count - 1);
}

double interpolate(double xa, double ya, double xb, double yb, double x) {
  return ya + (yb - ya) * ((x - xa) / (xb - xa));
}

bool valid_request(double x_from, double x_to, int columns) {
  return columns >= 1 && columns <= kLodMaxColumns && std::isfinite(x_from) && std::isfinite(x_to) &&
         x_to > x_from && std::isfinite(x_to - x_from);
}

void column_edges(double x_from, double x_to, int columns, std::vector<double>& edges) {
  edges.resize(static_cast<std::size_t>(columns) + 1);
  for (int c = 0; c <= columns; ++c)
    edges[static_cast<std::size_t>(c)] = lod_column_edge(x_from, x_to, columns, c);
}

// Edges of the columns, with a quick guess of where a value falls among them:
// the columns are equal, so the guess is nearly always right, and a binary
// search settles the rest (ranges so narrow that edges coincide).
class Edges {
 public:
  explicit Edges(const std::vector<double>& e)
      : e_(e), scale_(static_cast<double>(e.size() - 1) / (e.back() - e.front())) {}

  // How many edges lie below v; how many lie at or below it.
  std::size_t below(double v) const {
    return count(v, [](double e, double x) { return e < x; });
  }
  std::size_t at_most(double v) const {
    return count(v, [](double e, double x) { return e <= x; });
  }

 private:
  template <class Less>
  std::size_t count(double v, Less less) const {
    const std::size_t k_max = e_.size();
    const double g = (v - e_.front()) * scale_;
    const std::size_t k = !(g > 0)                          ? 0
                          : g >= static_cast<double>(k_max) ? k_max
                                                            : static_cast<std::size_t>(g) + 1;
    if ((k == 0 || less(e_[k - 1], v)) && (k == k_max || !less(e_[k], v))) return k;
    return static_cast<std::size_t>(
        std::partition_point(e_.begin(), e_.end(), [&](double e) { return less(e, v); }) - e_.begin());
  }

  const std::vector<double>& e_;
  double scale_;
};

// Lowest and highest of y[0, count), two lanes at a time through GCC and
// Clang vector types: the compiler does not vectorise by itself a minimum
// that must pass NaN by, and one comparison waiting on another would make the
// build slower than memory and the loose points of a column slow to sum.
using Lanes = double __attribute__((vector_size(16)));
using LaneMask = decltype(Lanes{} < Lanes{});

Lanes load_lanes(const double* p) {
  Lanes v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

LodMinMax min_max_points(const double* y, std::size_t count) {
  Lanes lo0 = {kInf, kInf}, lo1 = lo0, hi0 = -lo0, hi1 = hi0;
  std::size_t i = 0;
  for (; i + 4 <= count; i += 4) {
    const Lanes a = load_lanes(y + i), b = load_lanes(y + i + 2);
    lo0 = a < lo0 ? a : lo0;
    lo1 = b < lo1 ? b : lo1;
    hi0 = a > hi0 ? a : hi0;
    hi1 = b > hi1 ? b : hi1;
  }
  lo0 = lo1 < lo0 ? lo1 : lo0;
  hi0 = hi1 > hi0 ? hi1 : hi0;
  LodMinMax acc;
  widen(acc, lo0[0], hi0[0]);
  widen(acc, lo0[1], hi0[1]);
  for (; i < count; ++i) widen(acc, y[i]);
  return {acc.min, acc.max};
}

// Whether X rises (falls) from each of x[0, count) to the next point.
void check_order(const double* x, std::size_t count, bool& rising, bool& falling) {
  LaneMask up = {-1, -1}, down = up;
  std::size_t i = 0;
  for (; i + 4 <= count; i += 4) {
    const Lanes a = load_lanes(x + i), a1 = load_lanes(x + i + 1);
    const Lanes b = load_lanes(x + i + 2), b1 = load_lanes(x + i + 3);
    up &= (a <= a1) & (b <= b1);
    down &= (a >= a1) & (b >= b1);
  }
  rising = rising && up[0] && up[1];
  falling = falling && down[0] && down[1];
  for (; i < count; ++i) {
    rising = rising && x[i] <= x[i + 1];
    falling = falling && x[i] >= x[i + 1];
  }
}

// The envelope straight from the points, for any order of X: each point goes
// to the columns holding it and each segment to the columns whose edges it
// crosses. Costs a visit of every point, so it serves traces whose X goes back
// and forth, and drawing before the summaries are ready.
void envelope_segments(std::span<const double> x, std::span<const double> y, std::size_t n,
                       const std::vector<double>& edges, std::vector<LodMinMax>& acc, LodColumn* out) {
  const std::size_t columns = edges.size() - 1;
  acc.assign(columns, LodMinMax{});
  const Edges where(edges);
  const double lo = edges.front(), hi = edges.back();
  auto add_point = [&](std::size_t below, std::size_t at_most, double v) {
    // Columns c with edge c <= x <= edge c + 1.
    const std::size_t first = below == 0 ? 0 : below - 1;
    const std::size_t last = std::min(at_most, columns);
    for (std::size_t c = first; c < last; ++c) widen(acc[c], v);
  };
  auto add_crossing = [&](std::size_t k, double v) {
    if (k > 0) widen(acc[k - 1], v);
    if (k < columns) widen(acc[k], v);
  };
  std::size_t prev_below = 0, prev_at_most = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const double xi = x[i], yi = y[i];
    // Counts of edges below and at most xi: only needed within the range.
    std::size_t below = xi < lo ? 0 : columns + 1, at_most = below;
    if (xi >= lo && xi <= hi) {
      below = where.below(xi);
      at_most = below <= columns && edges[below] == xi ? where.at_most(xi) : below;
      if (!std::isnan(yi)) add_point(below, at_most, yi);
    }
    if (i > 0) {
      const double xa = x[i - 1], ya = y[i - 1];
      const bool usable = !std::isnan(xa) && !std::isnan(xi) && !std::isnan(ya) && !std::isnan(yi);
      // Edges strictly between the two ends.
      if (usable && xa < xi && xa < hi && xi > lo) {
        for (std::size_t k = prev_at_most; k < below; ++k)
          add_crossing(k, interpolate(xa, ya, xi, yi, edges[k]));
      } else if (usable && xi < xa && xi < hi && xa > lo) {
        for (std::size_t k = at_most; k < prev_below; ++k)
          add_crossing(k, interpolate(xi, yi, xa, ya, edges[k]));
      }
    }
    prev_below = below;
    prev_at_most = at_most;
  }
  for (std::size_t c = 0; c < columns; ++c) out[c] = column_of(acc[c]);
}

}  // namespace

double lod_column_edge(double x_from, double x_to, int columns, int column) {
  if (column <= 0) return x_from;
  if (column >= columns) return x_to;
  // Rounding may carry the sum an ulp past x_to; the edges must not pass it.
  return std::min(x_to, x_from + (x_to - x_from) * column / columns);
}

LevelOfDetail::LevelOfDetail(std::span<const double> x, std::span<const double> y)
    : x_(x), y_(y), n_(std::min(x.size(), y.size())) {}

LevelOfDetail::~LevelOfDetail() = default;

void LevelOfDetail::start_build() {
  std::lock_guard lock(build_mutex_);
  if (built() || builder_.joinable()) return;
  if (n_ < kLodBackgroundPoints) {
    build({});
    return;
  }
  builder_ = std::jthread([this](std::stop_token stop) { build(stop); });
}

void LevelOfDetail::wait_built() {
  if (built()) return;
  std::lock_guard lock(build_mutex_);
  if (builder_.joinable()) builder_.join();
  if (!built()) build({});
}

void LevelOfDetail::build(std::stop_token stop) {
  first_x_.clear();
  blocks_.clear();
  level_start_.clear();
  if (!build_blocks(stop)) return;
  build_upper_levels();
  built_.store(true, std::memory_order_release);
}

// One pass over X and Y together: the finest blocks, and whether X is ordered.
bool LevelOfDetail::build_blocks(std::stop_token stop) {
  const std::size_t blocks = (n_ + kLodStride - 1) / kLodStride;
  allocate(first_x_, blocks);
  // All levels in one piece: one allocation to fault in, not one per level.
  level_start_ = {0, blocks};
  for (std::size_t size = blocks; size > 1; size = (size + kLodFanOut - 1) / kLodFanOut)
    level_start_.push_back(level_start_.back() + (size + kLodFanOut - 1) / kLodFanOut);
  allocate(blocks_, level_start_.back());
  MinMax* finest = blocks_.data();
  const double* x = x_.data();
  const double* y = y_.data();
  bool rising = n_ == 0 || !std::isnan(x[0]);  // NaN X: no order
  bool falling = rising;
  for (std::size_t b = 0; b < blocks; ++b) {
    if (b % kStopCheckBlocks == 0 && stop.stop_requested()) return false;
    const std::size_t from = b * kLodStride;
    first_x_[b] = x[from];
    const std::size_t to = std::min(n_, from + kLodStride);
    finest[b] = min_max_points(y + from, to - from);
    // The pairs starting in the block, the last one reaching into the next.
    if (rising || falling) check_order(x + from, std::min(n_ - 1, to) - from, rising, falling);
  }

  if (rising || falling) {
    // A descending trace is searched as the ascending trace of -X.
    order_ = rising ? LodOrder::ascending : LodOrder::descending;
    sign_ = rising ? 1 : -1;
    if (!rising)
      for (double& v : first_x_) v = -v;
    x_range_ = n_ == 0 ? LodRange{} : LodRange{std::min(x[0], x[n_ - 1]), std::max(x[0], x[n_ - 1]), false};
    return true;
  }
  // No order: searches are of no use, the envelope visits every point.
  order_ = LodOrder::unordered;
  first_x_ = {};
  LodMinMax acc;
  for (std::size_t i = 0; i < n_; ++i) widen(acc, x[i]);
  x_range_ = is_empty(acc) ? LodRange{} : LodRange{acc.min, acc.max, false};
  return true;
}

void LevelOfDetail::build_upper_levels() {
  for (std::size_t l = 1; l + 1 < level_start_.size(); ++l) {
    const MinMax* below = blocks_.data() + level_start_[l - 1];
    const std::size_t below_size = level_start_[l] - level_start_[l - 1];
    MinMax* up = blocks_.data() + level_start_[l];
    for (std::size_t b = 0; b * kLodFanOut < below_size; ++b) {
      LodMinMax acc;
      for (std::size_t i = b * kLodFanOut; i < std::min(below_size, (b + 1) * kLodFanOut); ++i)
        widen(acc, below[i]);
      up[b] = {acc.min, acc.max};
    }
  }
}

int LevelOfDetail::envelope(double x_from, double x_to, int columns, std::vector<LodColumn>& out) {
  out.clear();
  if (!valid_request(x_from, x_to, columns)) return 0;
  wait_built();
  std::lock_guard lock(scratch_mutex_);
  out.resize(static_cast<std::size_t>(columns));
  std::vector<double>& edges = scratch_.edges;
  column_edges(x_from, x_to, columns, edges);
  if (order_ == LodOrder::unordered) {
    envelope_segments(x_, y_, n_, edges, scratch_.columns, out.data());
    return columns;
  }
  if (sign_ < 0) {
    // Columns of -X run the other way: negate the edges (exactly) and reverse
    // them, then put the columns back in the caller's order.
    std::reverse(edges.begin(), edges.end());
    for (double& e : edges) e = -e;
  }
  envelope_ordered(scratch_, out.data());
  if (sign_ < 0) std::reverse(out.begin(), out.end());
  return columns;
}

int LevelOfDetail::envelope_raw(double x_from, double x_to, int columns, std::vector<LodColumn>& out) const {
  out.clear();
  if (!valid_request(x_from, x_to, columns)) return 0;
  out.resize(static_cast<std::size_t>(columns));
  std::vector<double> edges;
  std::vector<MinMax> acc;
  column_edges(x_from, x_to, columns, edges);
  envelope_segments(x_, y_, n_, edges, acc, out.data());
  return columns;
}

// Ascending X (as sign_ * X) and ascending edges. Column c holds the points
// from the first not below edge c to the last not above edge c + 1, found
// through the finest blocks' first X, then a search in one block per edge;
// their Y comes from the summaries, but for the loose points at both ends.
// An edge that falls between two points gets the segment's value there,
// which goes to both columns beside it.
//
// Nearly all the time goes in waiting for memory, so the work runs as a
// pipeline over batches of edges: while one batch is searched and its columns
// summed, the summary entries and points around the next batch's edges are
// on their way, and so are the loose points the batch before found it needs.
// A batch's memory stays well inside the cache.
void LevelOfDetail::envelope_ordered(Scratch& scratch, LodColumn* out) const {
  constexpr std::size_t kBatch = 32;
  const std::vector<double>& edges = scratch.edges;
  const std::size_t count = edges.size();
  std::vector<EdgeSpot>& spots = scratch.spots;
  spots.assign(count, EdgeSpot{});
  count_blocks_below(scratch);
  std::vector<MinMax>& acc = scratch.columns;
  acc.assign(count - 1, MinMax{});
  std::vector<LooseRun>& runs = scratch.runs;
  runs.clear();
  for (std::size_t k = 0; k < std::min(count, kBatch); ++k) fetch_edge(edges[k], spots[k]);
  std::size_t column = 0, scanned = 0;
  for (std::size_t start = 0; start < count; start += kBatch) {
    const std::size_t end = std::min(count, start + kBatch);
    for (std::size_t k = end; k < std::min(count, end + kBatch); ++k) fetch_edge(edges[k], spots[k]);
    for (std::size_t k = start; k < end; ++k) locate_edge(edges[k], spots[k]);
    const std::size_t queued = runs.size();
    for (; column + 1 < end; ++column)
      sum_column(column, spots[column], spots[column + 1], acc[column], runs);
    for (; scanned < queued; ++scanned) scan_run(runs[scanned], acc);
  }
  for (; scanned < runs.size(); ++scanned) scan_run(runs[scanned], acc);
  for (std::size_t c = 0; c + 1 < count; ++c) out[c] = column_of(acc[c]);
}

// For each edge, how many finest blocks start below it. All edges fall among
// the blocks between the first and the last edge's, a short stretch when
// zoomed in.
void LevelOfDetail::count_blocks_below(Scratch& scratch) const {
  const std::vector<double>& edges = scratch.edges;
  std::vector<std::size_t>& counts = scratch.counts;
  const double* first = first_x_.data();
  const std::size_t blocks = first_x_.size();
  const std::size_t lo = first_failing(0, blocks, [&](std::size_t b) { return first[b] < edges.front(); });
  const std::size_t hi = first_failing(lo, blocks, [&](std::size_t b) { return first[b] < edges.back(); });
  counts.resize(edges.size());
  count_below_each(first + lo, hi - lo, edges.data(), edges.size(), counts.data());
  for (std::size_t k = 0; k < edges.size(); ++k) scratch.spots[k].below = lo + counts[k];
}

// Starts fetching what locating the edge and summing its columns will read.
// The search starts where the edge falls if the block's points are evenly
// spaced: a simulator's steps change slowly, so that is next to the answer.
void LevelOfDetail::fetch_edge(double e, EdgeSpot& spot) const {
  const std::size_t b = spot.below;
  if (b == 0) return;
  const std::size_t start = (b - 1) * kLodStride;
  const double* first = first_x_.data();
  double share = b < first_x_.size() ? (e - first[b - 1]) / (first[b] - first[b - 1]) : 0.5;
  if (!(share >= 0 && share <= 1)) share = 0.5;
  spot.guess = std::min(n_ - 1, start + static_cast<std::size_t>(share * (kLodStride - 1)) + 1);
  // The search's probes around its start, and the points of a segment
  // crossing the edge.
  const std::size_t before = spot.guess > 0 ? spot.guess - 1 : 0;
  prefetch(x_.data() + (before > 4 ? before - 4 : 0), 10);
  prefetch(y_.data() + before, 2);
  prefetch_levels(b - 1);
}

// From the count of blocks below the edge to the points below it and at or
// below it, and the value of the segment crossing it.
void LevelOfDetail::locate_edge(double e, EdgeSpot& spot) const {
  const std::size_t b = spot.below;
  if (b > 0)
    spot.below = first_failing_near((b - 1) * kLodStride + 1, std::min(n_, b * kLodStride), spot.guess,
                                    [&](std::size_t i) { return xs(i) < e; });
  spot.at_most = spot.below;
  const std::size_t i = spot.below;
  if (i < n_ && xs(i) == e) {
    // Points on the edge itself (a run of equal X may cross blocks).
    const double* first = first_x_.data();
    const std::size_t last = first_failing(0, first_x_.size(), [&](std::size_t k) { return first[k] <= e; });
    spot.at_most = first_failing((last - 1) * kLodStride + 1, std::min(n_, last * kLodStride),
                                 [&](std::size_t k) { return xs(k) <= e; });
  } else if (i > 0 && i < n_) {
    spot.crossing = interpolate(xs(i - 1), y_[i - 1], xs(i), y_[i], e);
  }
}

// The summary entries that the two columns beside an edge in finest block
// `block` take from each level: the run of kLodFanOut around it. Levels small
// enough to stay in the cache are left alone.
void LevelOfDetail::prefetch_levels(std::size_t block) const {
  constexpr std::size_t kCachedEntries = 4096;
  for (std::size_t l = 0; l + 1 < level_start_.size(); ++l, block /= kLodFanOut) {
    const std::size_t size = level_start_[l + 1] - level_start_[l];
    if (size <= kCachedEntries) break;
    const std::size_t run = block / kLodFanOut * kLodFanOut;
    const MinMax* entries = blocks_.data() + level_start_[l] + run;
    prefetch(&entries->min, 2 * std::min(kLodFanOut, size - run));
  }
}

// Sums column `column` between two located edges: the crossings, the whole
// blocks from the coarsest level that fits (fewer than kLodFanOut per level
// and side), and queues the loose points at both ends for scan_run, unless
// their block's range lies within what the column holds already. When a
// column holds many blocks that is nearly always so, and the points are
// never read.
void LevelOfDetail::sum_column(std::size_t column, const EdgeSpot& left, const EdgeSpot& right,
                               LodMinMax& acc, std::vector<LooseRun>& runs) const {
  widen(acc, left.crossing);
  widen(acc, right.crossing);
  const std::size_t from = left.below, to = right.at_most;
  if (from >= to) return;
  const std::size_t head_end = std::min(to, (from + kLodStride - 1) / kLodStride * kLodStride);
  const std::size_t tail_begin = std::max(head_end, to / kLodStride * kLodStride);
  auto take = [&](const MinMax* level, std::size_t from_block, std::size_t to_block, LodMinMax& into) {
    for (std::size_t b = from_block; b < to_block; ++b) widen(into, level[b]);
  };
  LodMinMax tail_acc;  // apart, so that the two ends do not wait on each other
  std::size_t b0 = head_end / kLodStride, b1 = tail_begin / kLodStride;
  for (std::size_t l = 0; b0 < b1; ++l) {
    const MinMax* level = blocks_.data() + level_start_[l];
    const std::size_t up0 = (b0 + kLodFanOut - 1) / kLodFanOut, up1 = b1 / kLodFanOut;
    if (up0 >= up1) {
      take(level, b0, b1, acc);
      break;
    }
    take(level, b0, up0 * kLodFanOut, acc);
    take(level, up1 * kLodFanOut, b1, tail_acc);
    b0 = up0;
    b1 = up1;
  }
  widen(acc, tail_acc);
  for (auto [run_from, run_to] : {std::pair{from, head_end}, std::pair{tail_begin, to}}) {
    if (run_from >= run_to) continue;
    const MinMax& block = blocks_[run_from / kLodStride];
    if (block.min >= acc.min && block.max <= acc.max) continue;
    runs.push_back({column, run_from, run_to});
    prefetch(y_.data() + run_from, run_to - run_from);
  }
}

void LevelOfDetail::scan_run(const LooseRun& run, std::vector<LodMinMax>& acc) const {
  const MinMax m = min_max_points(y_.data() + run.from, run.to - run.from);
  widen(acc[run.column], m);
}

LodRange LevelOfDetail::y_range() {
  wait_built();
  if (n_ == 0) return {};
  const MinMax top = blocks_.back();
  return top.min <= top.max ? LodRange{top.min, top.max, false} : LodRange{};
}

LodRange LevelOfDetail::x_range() {
  wait_built();
  return x_range_;
}

LodOrder LevelOfDetail::order() {
  wait_built();
  return order_;
}

std::size_t LevelOfDetail::memory_bytes() const {
  if (!built()) return 0;
  std::size_t bytes = first_x_.capacity() * sizeof(double);
  bytes += blocks_.capacity() * sizeof(MinMax) + level_start_.capacity() * sizeof(std::size_t);
  return bytes;
}

}  // namespace zephyrim
