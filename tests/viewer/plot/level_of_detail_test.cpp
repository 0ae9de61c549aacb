#include "viewer/plot/level_of_detail.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace zephyrim {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

struct Trace {
  std::vector<double> x;
  std::vector<double> y;
};

// The envelope by its definition: for every column, the points inside it and
// the values where segments strictly cross its edges. Each point and segment
// is only tried against the columns near it (a few spare on each side), but
// the decision is the plain test.
std::vector<LodColumn> reference_envelope(const Trace& t, double from, double to, int columns) {
  std::vector<double> e;
  for (int c = 0; c <= columns; ++c) e.push_back(lod_column_edge(from, to, columns, c));
  const auto cols = static_cast<std::size_t>(columns);
  std::vector<double> lo(cols, kInf), hi(cols, -kInf);
  auto add = [&](std::size_t c, double v) {
    if (std::isnan(v)) return;
    lo[c] = std::min(lo[c], v);
    hi[c] = std::max(hi[c], v);
  };
  auto near = [&](double a, double b, auto visit) {
    const auto first = static_cast<std::size_t>(std::lower_bound(e.begin(), e.end(), a) - e.begin());
    const auto last = static_cast<std::size_t>(std::upper_bound(e.begin(), e.end(), b) - e.begin()) + 1;
    for (std::size_t c = first >= 2 ? first - 2 : 0; c < std::min(last, cols); ++c) visit(c);
  };
  const std::size_t n = t.x.size();
  for (std::size_t i = 0; i < n; ++i) {
    const double x = t.x[i], y = t.y[i];
    if (std::isnan(x) || std::isnan(y)) continue;
    near(x, x, [&](std::size_t c) {
      if (e[c] <= x && x <= e[c + 1]) add(c, y);
    });
  }
  for (std::size_t i = 1; i < n; ++i) {
    double xa = t.x[i - 1], ya = t.y[i - 1], xb = t.x[i], yb = t.y[i];
    if (std::isnan(xa) || std::isnan(xb) || std::isnan(ya) || std::isnan(yb)) continue;
    if (xb < xa) std::swap(xa, xb), std::swap(ya, yb);
    near(xa, xb, [&](std::size_t c) {
      for (double edge : {e[c], e[c + 1]})
        if (xa < edge && edge < xb) add(c, ya + (yb - ya) * (edge - xa) / (xb - xa));
    });
  }
  std::vector<LodColumn> out(cols);
  for (std::size_t c = 0; c < cols; ++c)
    if (lo[c] <= hi[c]) out[c] = {lo[c], hi[c], false};
  return out;
}

bool close(double a, double b) {
  return a == b || std::fabs(a - b) <= 1e-9 * std::max(1.0, std::fabs(b));
}

// Same columns; interpolated values may differ in the last bits when the
// segment is taken from the other end.
::testing::AssertionResult same_columns(const std::vector<LodColumn>& got,
                                        const std::vector<LodColumn>& want) {
  if (got.size() != want.size())
    return ::testing::AssertionFailure() << got.size() << " columns instead of " << want.size();
  for (std::size_t c = 0; c < got.size(); ++c) {
    const LodColumn &g = got[c], &w = want[c];
    if (g.empty != w.empty || (!w.empty && !(close(g.y_min, w.y_min) && close(g.y_max, w.y_max))))
      return ::testing::AssertionFailure()
             << "column " << c << ": got " << (g.empty ? "empty" : "") << " [" << g.y_min << ", " << g.y_max
             << "], want " << (w.empty ? "empty" : "") << " [" << w.y_min << ", " << w.y_max << "]";
  }
  return ::testing::AssertionSuccess();
}

std::vector<LodColumn> envelope_of(LevelOfDetail& lod, double from, double to, int columns) {
  std::vector<LodColumn> out;
  const int count = lod.envelope(from, to, columns, out);
  EXPECT_EQ(count, static_cast<int>(out.size()));
  return out;
}

std::vector<LodColumn> raw_envelope_of(const LevelOfDetail& lod, double from, double to, int columns) {
  std::vector<LodColumn> out;
  lod.envelope_raw(from, to, columns, out);
  return out;
}

std::vector<LodColumn> columns_of(std::initializer_list<std::pair<double, double>> spans) {
  std::vector<LodColumn> out;
  for (auto [lo, hi] : spans) out.push_back(std::isnan(lo) ? LodColumn{} : LodColumn{lo, hi, false});
  return out;
}
const std::pair<double, double> kEmpty{kNaN, kNaN};
using Request = std::tuple<double, double, int>;  // x_from, x_to, columns

// X ascending with random gaps (some zero, some wide), on a grid of integers
// now and then so that column edges land on points; Y a random walk with
// steps, one-point spikes and, if asked, NaN.
Trace random_trace(std::mt19937_64& rng, std::size_t n, bool with_nan) {
  std::uniform_real_distribution<double> u(0, 1);
  const bool grid = u(rng) < 0.3;
  Trace t;
  double x = std::floor(u(rng) * 200 - 100), level = u(rng) * 10;
  for (std::size_t i = 0; i < n; ++i) {
    if (i > 0) {
      const double r = u(rng);
      double gap = r < 0.05 ? 0 : r < 0.08 ? 100 * u(rng) : -std::log(1 - u(rng));
      x += grid ? std::ceil(gap) : gap;
    }
    const double r = u(rng);
    level += r < 0.02 ? (u(rng) - 0.5) * 100 : u(rng) - 0.5;
    double y = r > 0.99 ? level + (u(rng) - 0.5) * 2000 : level;
    if (with_nan && u(rng) < 0.02) y = kNaN;
    t.x.push_back(x);
    t.y.push_back(y);
  }
  return t;
}

// Whole, inside, overlapping either end, outside or touching, inside one
// segment, and from one point's X to another's.
std::pair<double, double> random_range(std::mt19937_64& rng, const Trace& t, int columns) {
  std::uniform_real_distribution<double> u(0, 1);
  const double lo = t.x.front(), hi = t.x.back(), w = hi > lo ? hi - lo : 1;
  const std::size_t n = t.x.size();
  std::uniform_int_distribution<std::size_t> pick(0, n - 1);
  std::pair<double, double> r;
  switch (rng() % 8) {
    case 0:
      r = {lo, hi};
      break;
    case 1:
      r.first = lo + u(rng) * w, r.second = r.first + u(rng) * (hi - r.first);
      break;
    case 2:
      r = {lo - u(rng) * w, lo + u(rng) * w};
      break;
    case 3:
      r = {hi - u(rng) * w, hi + u(rng) * w};
      break;
    case 4:
      r = u(rng) < 0.5 ? std::pair{lo - 2 * w, lo - w * u(rng)} : std::pair{hi + w * u(rng), hi + 2 * w};
      break;
    case 5:
      r = u(rng) < 0.5 ? std::pair{lo - w, lo} : std::pair{hi, hi + w};
      break;
    case 6: {
      const std::size_t i = n > 1 ? pick(rng) % (n - 1) : 0;
      const double a = t.x[i], b = n > 1 ? t.x[i + 1] : a + 1;
      r.first = a + (b - a) * u(rng) / 2;
      r.second = r.first + (b - r.first) * u(rng);
      break;
    }
    default: {
      std::size_t i = pick(rng), j = pick(rng);
      if (i > j) std::swap(i, j);
      r = {t.x[i], std::max(t.x[j], t.x[i] + columns)};  // whole-number columns on a grid
    }
  }
  if (!(r.second > r.first)) r.second = r.first + 1;
  return r;
}

Trace reversed(const Trace& t) {
  return {std::vector<double>(t.x.rbegin(), t.x.rend()), std::vector<double>(t.y.rbegin(), t.y.rend())};
}

TEST(LevelOfDetail, EnvelopeMatchesTheDefinitionOnRandomTraces) {
  std::mt19937_64 rng(20240611);
  std::uniform_real_distribution<double> u(0, 1);
  std::vector<std::size_t> sizes = {1, 2, 3, 63, 64, 65, 127, 128, 129, 4096, 4097};
  for (int k = 0; k < 80; ++k)
    sizes.push_back(static_cast<std::size_t>(std::exp(u(rng) * std::log(300000.0))));
  for (std::size_t n : sizes) {
    const Trace t = random_trace(rng, n, u(rng) < 0.3);
    const Trace back = reversed(t);
    LevelOfDetail lod(t.x, t.y), lod_back(back.x, back.y);
    ASSERT_EQ(lod.order(), LodOrder::ascending);
    ASSERT_EQ(lod_back.order(), t.x.front() < t.x.back() ? LodOrder::descending : LodOrder::ascending);
    for (int r = 0; r < 4; ++r) {
      const int columns = 1 + static_cast<int>(std::exp(u(rng) * std::log(2500.0)));
      const auto [from, to] = random_range(rng, t, columns);
      const std::vector<LodColumn> want = reference_envelope(t, from, to, columns);
      std::ostringstream what;
      what.precision(17);
      what << n << " points, X " << t.x.front() << ".." << t.x.back() << ", range " << from << ".." << to
           << ", " << columns << " columns";
      const std::vector<LodColumn> got = envelope_of(lod, from, to, columns);
      ASSERT_TRUE(same_columns(got, want)) << what.str();
      // Both ways of an ascending trace take a segment from the same end.
      const std::vector<LodColumn> raw = raw_envelope_of(lod, from, to, columns);
      for (std::size_t c = 0; c < got.size(); ++c)
        ASSERT_TRUE(got[c].empty == raw[c].empty &&
                    (got[c].empty || (got[c].y_min == raw[c].y_min && got[c].y_max == raw[c].y_max)))
            << what.str() << " raw column " << c;
      ASSERT_TRUE(same_columns(envelope_of(lod_back, from, to, columns), want))
          << what.str() << " descending";
    }
  }
}

TEST(LevelOfDetail, UnorderedXIsExactToo) {
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> u(0, 1);
  for (int k = 0; k < 40; ++k) {
    const auto n = static_cast<std::size_t>(2 + u(rng) * 20000);
    Trace t = random_trace(rng, n, k % 3 == 0);
    if (k % 2) {
      std::shuffle(t.x.begin(), t.x.end(), rng);  // points anywhere
    } else {
      const double turn = t.x[n / 2];  // a sweep that comes back
      for (std::size_t i = n / 2; i < n; ++i) t.x[i] = 2 * turn - t.x[i] + 0.5;
    }
    if (k % 5 == 0) t.x[n / 3] = kNaN;  // NaN X: no order either
    LevelOfDetail lod(t.x, t.y);
    if (lod.order() != LodOrder::unordered) continue;  // a shuffle may leave it sorted
    for (int r = 0; r < 3; ++r) {
      const int columns = 1 + static_cast<int>(u(rng) * 700);
      std::vector<double> sorted = t.x;
      std::sort(sorted.begin(), sorted.end());
      const auto [from, to] = random_range(rng, {sorted, t.y}, columns);
      const std::vector<LodColumn> want = reference_envelope(t, from, to, columns);
      EXPECT_TRUE(same_columns(envelope_of(lod, from, to, columns), want)) << k << " " << from << ".." << to;
      EXPECT_TRUE(same_columns(raw_envelope_of(lod, from, to, columns), want)) << k;
    }
  }
}

TEST(LevelOfDetail, OneAndTwoPoints) {
  const std::vector<double> x1 = {5}, y1 = {2};
  LevelOfDetail one(x1, y1);
  // On the edge between two columns: in both.
  std::vector<LodColumn> want(10);
  want[4] = want[5] = {2, 2, false};
  EXPECT_TRUE(same_columns(envelope_of(one, 0, 10, 10), want));
  EXPECT_TRUE(same_columns(envelope_of(one, 4.5, 5.5, 1), columns_of({{2, 2}})));
  EXPECT_TRUE(same_columns(envelope_of(one, 5.5, 6, 2), columns_of({kEmpty, kEmpty})));
  EXPECT_TRUE(same_columns(envelope_of(one, 4, 5, 2), columns_of({kEmpty, {2, 2}})));

  const std::vector<double> x2 = {0, 10}, y2 = {0, 10};
  LevelOfDetail two(x2, y2);
  // A window inside the one segment: every column gets its two edges.
  EXPECT_TRUE(
      same_columns(envelope_of(two, 2, 3, 4), columns_of({{2, 2.25}, {2.25, 2.5}, {2.5, 2.75}, {2.75, 3}})));
  EXPECT_TRUE(same_columns(envelope_of(two, -5, 15, 4), columns_of({{0, 0}, {0, 5}, {5, 10}, {10, 10}})));
  EXPECT_TRUE(same_columns(envelope_of(two, 20, 30, 3), columns_of({kEmpty, kEmpty, kEmpty})));
  EXPECT_TRUE(same_columns(envelope_of(two, -30, -20, 2), columns_of({kEmpty, kEmpty})));
  EXPECT_EQ(two.y_range().min, 0);
  EXPECT_EQ(two.y_range().max, 10);
}

TEST(LevelOfDetail, DescendingX) {
  const std::vector<double> x = {10, 5, 5, 0}, y = {10, 4, 6, 0};
  LevelOfDetail lod(x, y);
  EXPECT_EQ(lod.order(), LodOrder::descending);
  // The vertical step at 5 lies on the edge of the two columns: in both.
  EXPECT_TRUE(same_columns(envelope_of(lod, 0, 10, 2), columns_of({{0, 6}, {4, 10}})));
  EXPECT_TRUE(same_columns(envelope_of(lod, 0, 10, 4), columns_of({{0, 3}, {3, 6}, {4, 7}, {7, 10}})));
  EXPECT_TRUE(same_columns(envelope_of(lod, -2.5, 12.5, 3), columns_of({{0, 3}, {3, 7}, {7, 10}})));
  EXPECT_EQ(lod.x_range().min, 0);
  EXPECT_EQ(lod.x_range().max, 10);
}

TEST(LevelOfDetail, NaNBreaksTheLineWithoutSpoilingColumns) {
  const std::vector<double> x = {0, 1, 2, 3}, y = {0, kNaN, 10, 20};
  LevelOfDetail lod(x, y);
  EXPECT_TRUE(same_columns(envelope_of(lod, 0, 3, 3), columns_of({{0, 0}, {10, 10}, {10, 20}})));
  EXPECT_TRUE(same_columns(envelope_of(lod, 0.25, 0.75, 1), columns_of({kEmpty})));
  EXPECT_EQ(lod.y_range().min, 0);
  EXPECT_EQ(lod.y_range().max, 20);
  const std::vector<double> all_nan(200, kNaN), xs(200, 1);
  LevelOfDetail none(xs, all_nan);
  EXPECT_TRUE(none.y_range().empty);
  EXPECT_TRUE(same_columns(envelope_of(none, 0, 2, 2), columns_of({kEmpty, kEmpty})));
}

TEST(LevelOfDetail, RunsOfEqualXAcrossBlocks) {
  // 1000 points on one X between two ordinary stretches: the run spans many
  // finest blocks and sits on the edge of two columns.
  std::vector<double> x, y;
  for (int i = 0; i < 100; ++i) x.push_back(i * 0.01), y.push_back(0);
  for (int i = 0; i < 1000; ++i) x.push_back(1), y.push_back(i % 7 == 3 ? -50 + i : 1);
  for (int i = 1; i <= 100; ++i) x.push_back(1 + i * 0.01), y.push_back(2);
  LevelOfDetail lod(x, y);
  EXPECT_EQ(lod.order(), LodOrder::ascending);
  EXPECT_TRUE(same_columns(envelope_of(lod, 0, 2, 2), columns_of({{-47, 947}, {-47, 947}})));
  EXPECT_TRUE(
      same_columns(envelope_of(lod, 0.5, 1.5, 4), columns_of({{0, 0}, {-47, 947}, {-47, 947}, {2, 2}})));
  // All points on one X.
  const std::vector<double> same_x(300, 3), ys(300, 0);
  LevelOfDetail flat(same_x, ys);
  EXPECT_EQ(flat.order(), LodOrder::ascending);
  EXPECT_TRUE(same_columns(envelope_of(flat, 2, 4, 3), columns_of({kEmpty, {0, 0}, kEmpty})));
}

TEST(LevelOfDetail, RequestsThatDrawNothing) {
  const std::vector<double> x = {0, 1}, y = {0, 1};
  LevelOfDetail lod(x, y);
  std::vector<LodColumn> out(5);
  for (auto [from, to, columns] : std::initializer_list<Request>{{0, 1, 0},
                                                                 {0, 1, -3},
                                                                 {0, 1, kLodMaxColumns + 1},
                                                                 {1, 1, 10},
                                                                 {1, 0, 10},
                                                                 {kNaN, 1, 10},
                                                                 {0, kInf, 10},
                                                                 {-1e308, 1e308, 10}}) {
    EXPECT_EQ(lod.envelope(from, to, columns, out), 0) << from << " " << to << " " << columns;
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(lod.envelope_raw(from, to, columns, out), 0);
  }
  // No points: every column empty, no ranges.
  LevelOfDetail nothing({}, {});
  EXPECT_TRUE(same_columns(envelope_of(nothing, 0, 1, 2), columns_of({kEmpty, kEmpty})));
  EXPECT_TRUE(nothing.y_range().empty);
  EXPECT_TRUE(nothing.x_range().empty);
}

TEST(LevelOfDetail, EdgesAscendAndEndOnTheRange) {
  for (auto [from, to, columns] : std::initializer_list<Request>{
           {0, 1, 1920}, {-1e-300, 1e-300, 7}, {1e15, 1e15 + 3, 1000}, {0.1, 0.7, 3}}) {
    double prev = from;
    EXPECT_EQ(lod_column_edge(from, to, columns, 0), from);
    EXPECT_EQ(lod_column_edge(from, to, columns, columns), to);
    for (int c = 1; c <= columns; ++c) {
      const double e = lod_column_edge(from, to, columns, c);
      EXPECT_LE(prev, e);
      EXPECT_LE(e, to);
      prev = e;
    }
  }
}

TEST(LevelOfDetail, WholeTraceRangesAndMemory) {
  std::mt19937_64 rng(3);
  const Trace t = random_trace(rng, 1'000'003, true);
  LevelOfDetail lod(t.x, t.y);
  double lo = kInf, hi = -kInf;
  for (double v : t.y)
    if (!std::isnan(v)) lo = std::min(lo, v), hi = std::max(hi, v);
  const LodRange y = lod.y_range();
  EXPECT_FALSE(y.empty);
  EXPECT_EQ(y.min, lo);
  EXPECT_EQ(y.max, hi);
  EXPECT_EQ(lod.x_range().min, t.x.front());
  EXPECT_EQ(lod.x_range().max, t.x.back());
  EXPECT_LT(lod.memory_bytes(), t.x.size() * 2 * sizeof(double) / 20);  // under 5% of X and Y
}

TEST(LevelOfDetail, BackgroundBuildDrawsFromPointsMeanwhile) {
  std::mt19937_64 rng(11);
  const Trace t = random_trace(rng, 3'000'000, true);
  const double from = t.x[1'000'000], to = t.x[2'000'000];
  const std::vector<LodColumn> want = reference_envelope(t, from, to, 1920);
  LevelOfDetail lod(t.x, t.y);
  lod.start_build();
  EXPECT_TRUE(same_columns(raw_envelope_of(lod, from, to, 1920), want));
  lod.wait_built();
  EXPECT_TRUE(lod.built());
  EXPECT_TRUE(same_columns(envelope_of(lod, from, to, 1920), want));
  // Dropped while building: the build stops instead of running to its end.
  for (int k = 0; k < 3; ++k) {
    LevelOfDetail dropped(t.x, t.y);
    dropped.start_build();
  }
}

}  // namespace
}  // namespace zephyrim
