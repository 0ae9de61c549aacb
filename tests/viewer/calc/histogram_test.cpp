// Histograms: the statistics (far from zero, at the ends of the double range,
// with values that are not numbers), the automatic bin width, the bins laid
// around the mean, the counts at the bin edges, the Histogram Options and
// Yield checks with their messages, the Gaussian curve and the read-out texts.
#include "viewer/calc/histogram.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "common/notify.h"

namespace zephyrim {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

double sum(const std::vector<double>& v) {
  double s = 0;
  for (double x : v) s += x;
  return s;
}

bool all_finite(const std::vector<double>& v) {
  return std::all_of(v.begin(), v.end(), [](double x) { return std::isfinite(x); });
}

// The histogram of a sample as a new plot makes it.
Histogram prepared(const std::vector<double>& values) {
  RecordingNotify notify{kTraceryTitle};
  Histogram h;
  h.source = "X";
  EXPECT_TRUE(histogram_prepare(h, values, notify)) << notify.last();
  return h;
}

// A histogram of given statistics with its bins fitted.
Histogram fitted(int64_t samples, double mean, double sd, double data_min, double data_max) {
  Histogram h;
  h.samples = samples;
  h.mean = mean;
  h.sd = sd;
  h.data_min = data_min;
  h.data_max = data_max;
  histogram_fit_bins(h);
  return h;
}

// The normal distribution's integral up to z, and its inverse by bisection:
// slow, but independent of the code under test.
double phi(double z) {
  return 0.5 * (1 + std::erf(z / std::sqrt(2.0)));
}
double phi_inverse(double p) {
  double lo = -12, hi = 12;
  for (int i = 0; i < 80; ++i) {
    const double mid = (lo + hi) / 2;
    (phi(mid) < p ? lo : hi) = mid;
  }
  return (lo + hi) / 2;
}

// ---------------------------------------------------------------------------
// Statistics

TEST(HistogramStatistics, KnownSamplesOneValueAndValuesThatAreNotNumbers) {
  const std::vector<double> known = {2, 4, 4, 4, 5, 5, 7, 9};
  SampleStatistics s = sample_statistics(known);
  EXPECT_EQ(s.count, 8);
  EXPECT_EQ(s.skipped, 0);
  EXPECT_DOUBLE_EQ(s.mean, 5);
  EXPECT_DOUBLE_EQ(s.sd, std::sqrt(32.0 / 7));  // n - 1: the sample's, not the population's 2
  EXPECT_EQ(s.min, 2);
  EXPECT_EQ(s.max, 9);

  s = sample_statistics(std::vector<double>{-3, -1});
  EXPECT_DOUBLE_EQ(s.mean, -2);
  EXPECT_DOUBLE_EQ(s.sd, std::sqrt(2.0));

  s = sample_statistics(std::vector<double>{42.5});
  EXPECT_EQ(s.count, 1);
  EXPECT_EQ(s.mean, 42.5);
  EXPECT_EQ(s.sd, 0);
  EXPECT_EQ(s.min, 42.5);
  EXPECT_EQ(s.max, 42.5);

  // A run whose measurement failed leaves a NaN: it is skipped, the rest is exact.
  s = sample_statistics(std::vector<double>{1, kNaN, 2, kInf, 3, -kInf});
  EXPECT_EQ(s.count, 3);
  EXPECT_EQ(s.skipped, 3);
  EXPECT_EQ(s.mean, 2);
  EXPECT_EQ(s.sd, 1);
  EXPECT_EQ(s.min, 1);
  EXPECT_EQ(s.max, 3);

  // Nothing to count: zeros, never the infinities the search for min and max starts from.
  for (const std::vector<double>& none : {std::vector<double>{}, std::vector<double>{kNaN, kInf}}) {
    s = sample_statistics(none);
    EXPECT_EQ(s.count, 0);
    EXPECT_EQ(s.skipped, static_cast<int64_t>(none.size()));
    EXPECT_EQ(s.mean, 0);
    EXPECT_EQ(s.sd, 0);
    EXPECT_EQ(s.min, 0);
    EXPECT_EQ(s.max, 0);
  }
  RecordingNotify notify{kTraceryTitle};
  Histogram h;
  h.source = "TRISE";
  EXPECT_FALSE(histogram_prepare(h, std::vector<double>{kNaN, kNaN}, notify));
  ASSERT_EQ(notify.entries().size(), 1u);
  EXPECT_EQ(notify.entries()[0].kind, NoticeKind::Error);
}

// Equal values must give a spread of exactly 0: one of a few units in the last
// place would make the automatic width half of almost nothing instead of 1 %
// of the value.
TEST(HistogramStatistics, EqualValuesHaveExactlyNoSpread) {
  for (double value : {2.0, 0.1, 1.0 / 3, -7.3, 1e9 + 0.1, 3.7e-12, 6.02e23})
    for (size_t n : {2u, 3u, 7u, 11u, 1000u}) {
      const SampleStatistics s = sample_statistics(std::vector<double>(n, value));
      EXPECT_EQ(s.sd, 0) << value << " x " << n;
      EXPECT_EQ(s.mean, value) << value << " x " << n;
    }
}

// 10^6 values around 1e9 with a spread of 1e-3: the spread is 12 orders below
// the values. Against a two-pass sum in long double of the values less 1e9
// (that difference is exact), the standard deviation must agree to 1e-12
// relative. Measured on this sample: a plain two-pass sum is off by about
// 1e-8, a running (Welford) update by about 4e-6, and the one-pass sum of
// squares keeps no correct digit at all.
TEST(HistogramStatistics, SmallSpreadFarFromZeroKeepsItsDigits) {
  constexpr size_t n = 1000000;
  std::mt19937_64 generator(20240611);
  std::vector<double> values(n);
  for (double& v : values) {
    const double u = static_cast<double>(generator() >> 11) * 0x1p-53 - 0.5;  // uniform in [-0.5, 0.5)
    v = 1e9 + u * 2e-3 * std::sqrt(3.0);                                      // sd 1e-3
  }
  long double shifted_sum = 0;
  for (double v : values) shifted_sum += static_cast<long double>(v - 1e9);
  const long double shifted_mean = shifted_sum / n;
  long double squares = 0;
  for (double v : values) {
    const long double d = static_cast<long double>(v - 1e9) - shifted_mean;
    squares += d * d;
  }
  const double reference_sd = static_cast<double>(std::sqrt(squares / (n - 1)));
  const long double reference_mean = 1e9L + shifted_mean;
  ASSERT_NEAR(reference_sd, 1e-3, 1e-5);

  const SampleStatistics s = sample_statistics(values);
  EXPECT_EQ(s.count, static_cast<int64_t>(n));
  EXPECT_LE(std::abs(s.sd - reference_sd), 1e-12 * reference_sd)
      << "sd " << s.sd << " reference " << reference_sd;
  // The mean within half a unit in the last place of 1e9.
  const double half_ulp = (std::nextafter(1e9, kInf) - 1e9) / 2;
  EXPECT_LE(std::abs(static_cast<long double>(s.mean) - reference_mean), half_ulp);
  EXPECT_EQ(s.min, *std::min_element(values.begin(), values.end()));
  EXPECT_EQ(s.max, *std::max_element(values.begin(), values.end()));
}

// The squares of deviations of 1e300 overflow and those of 1e-300 vanish;
// the spread must not turn into 0 because of it, nor the mean of values near
// the largest double into NaN because their sum overflows.
TEST(HistogramStatistics, SpreadAtTheEndsOfTheDoubleRange) {
  struct Case {
    std::vector<double> values;
    double mean;
    double sd;
  };
  const Case cases[] = {
      {{-1e300, 1e300}, 0, std::sqrt(2.0) * 1e300},
      {{-1e-300, 0, 1e-300}, 0, 1e-300},
      {{1e308, 1.5e308}, 1.25e308, 0.5e308 / std::sqrt(2.0)},
  };
  for (const Case& c : cases) {
    const SampleStatistics s = sample_statistics(c.values);
    EXPECT_TRUE(std::isfinite(s.mean)) << c.values[0];
    EXPECT_NEAR(s.mean, c.mean, 1e-12 * c.sd) << c.values[0];
    EXPECT_NEAR(s.sd, c.sd, 1e-12 * c.sd) << c.values[0];
  }
}

// ---------------------------------------------------------------------------
// The automatic bin width

TEST(HistogramAutoBin, HalfTheSpreadRoundedToTheSteps) {
  EXPECT_DOUBLE_EQ(histogram_auto_bin(0.3, 0, 1), 0.15);
  // All values 2: no spread and no range, 1 % of the value.
  EXPECT_DOUBLE_EQ(histogram_auto_bin(0, 2, 2), 0.02);
  EXPECT_DOUBLE_EQ(histogram_auto_bin(0, -2, -2), 0.02);
  // No spread but a range: a tenth of it.
  EXPECT_DOUBLE_EQ(histogram_auto_bin(0, 0, 5), 0.5);
  // A power of ten stays as it is, also within 0.00001 of its logarithm.
  EXPECT_EQ(histogram_auto_bin(2000, 0, 1), 1000);
  EXPECT_EQ(histogram_auto_bin(0.02, 0, 1), 0.01);
  EXPECT_EQ(histogram_auto_bin(2 * 100.001, 0, 1), 100.001);
  EXPECT_EQ(histogram_auto_bin(2 * 100.01, 0, 1), 100);

  // The boundaries of each step, where c = sd / 2 is exact.
  struct Step {
    double c;
    double bin;
  };
  for (double scale : {1.0, 100.0})
    for (const Step& s : {Step{1.2499, 1}, Step{1.25, 1.5}, Step{1.7499, 1.5}, Step{1.75, 2}, Step{2.2499, 2},
                          Step{2.25, 2.5}, Step{2.9999, 2.5}, Step{3, 4}, Step{4.4999, 4}, Step{4.5, 5},
                          Step{6.9999, 5}, Step{7, 7.5}, Step{7.9999, 7.5}, Step{8, 10}, Step{9.9, 10}})
      EXPECT_DOUBLE_EQ(histogram_auto_bin(2 * s.c * scale, 0, 1), s.bin * scale) << s.c * scale;
  // Decades below one, whose powers of ten are not exact doubles.
  EXPECT_DOUBLE_EQ(histogram_auto_bin(2 * 0.0013, 0, 1), 0.0015);
  EXPECT_DOUBLE_EQ(histogram_auto_bin(2 * 0.0125, 0, 1), 0.015);
  EXPECT_DOUBLE_EQ(histogram_auto_bin(2 * 0.003, 0, 1), 0.004);
  EXPECT_DOUBLE_EQ(histogram_auto_bin(2 * 0.08, 0, 1), 0.1);
  EXPECT_DOUBLE_EQ(histogram_auto_bin(2 * 3.3e-9, 0, 1), 4e-9);
}

// Whatever the statistics, a finite width above zero: a zero width makes the
// bin fitting loop forever.
TEST(HistogramAutoBin, DegenerateStatisticsStillGiveAWidth) {
  struct Case {
    double sd, data_min, data_max;
  };
  const Case cases[] = {
      {0, 0, 0},           {kNaN, kNaN, kNaN},     {kInf, 0, 1},    {kNaN, 0, 1},
      {0, -1e308, 1e308},  {1e308, -1e308, 1e308}, {1.7e308, 0, 1}, {0, 1e-310, 1e-310},
      {1e-320, 0, 1e-320}, {1e-323, 0, 1e-323},    {0, 0, 1e-322},  {0, 5e-324, 5e-324},
      {-1, 3, 3},          {0, -kInf, kInf},       {0, kNaN, 1},
  };
  for (const Case& c : cases) {
    const double bin = histogram_auto_bin(c.sd, c.data_min, c.data_max);
    EXPECT_TRUE(bin > 0 && std::isfinite(bin))
        << "sd " << c.sd << " range " << c.data_min << ".." << c.data_max << " gives " << bin;
  }
}

// ---------------------------------------------------------------------------
// Fitting the bins

TEST(HistogramFitBins, FewSamplesKeepTheFirstWidth) {
  Histogram h = fitted(10, 0, 1, -1, 1);
  EXPECT_EQ(h.bin, 0.5);
  EXPECT_EQ(h.bins, 7);
  EXPECT_EQ(h.low, -1.75);
  EXPECT_EQ(h.high, 1.75);

  // All values 2: width 0.02 with the middle bin centred on 2.
  h = fitted(5, 2, 0, 2, 2);
  EXPECT_DOUBLE_EQ(h.bin, 0.02);
  EXPECT_EQ(h.bins, 3);
  EXPECT_DOUBLE_EQ(h.low, 1.97);
  EXPECT_DOUBLE_EQ(h.high, 2.03);

  // Few samples still get at most 50 bins.
  h = fitted(3, 0, 0.01, -1, 1);
  EXPECT_LE(h.bins, 50);
  EXPECT_GT(h.bin, 0.005);
}

TEST(HistogramFitBins, ManySamplesHalveUntilTenBinsTooManyWiden) {
  for (int64_t samples : {11, 100}) {
    const Histogram h = fitted(samples, 0, 1, -1, 1);
    EXPECT_EQ(h.bin, 0.25) << samples;
    EXPECT_EQ(h.bins, 11) << samples;
    EXPECT_EQ(h.low, -1.375) << samples;
    EXPECT_EQ(h.high, 1.375) << samples;
  }
  // Equal values never reach ten bins: halving could only shrink the bars, so it is not tried.
  Histogram h = fitted(11, 2, 0, 2, 2);
  EXPECT_EQ(h.bin, 0.02);
  EXPECT_EQ(h.bins, 3);
  EXPECT_DOUBLE_EQ(h.low + 1.5 * h.bin, 2);

  // Width 0.005 over +-1 gives 403 bins: widened by 1.5 six times to 37 bins.
  h = fitted(1000, 0, 0.01, -1, 1);
  EXPECT_DOUBLE_EQ(h.bin, 0.005 * std::pow(1.5, 6));
  EXPECT_EQ(h.bins, 37);
  // A width already set is where the fitting starts.
  h = Histogram{};
  h.samples = 1000;
  h.sd = 1;
  h.data_min = -1;
  h.data_max = 1;
  h.bin = 0.3;
  histogram_fit_bins(h);
  EXPECT_EQ(h.bin, 0.15);
  EXPECT_EQ(h.bins, 15);
}

// Over many kinds of samples: the bins are centred on the mean, cover every
// value, number 10 to 50 (fewer only when halving cannot help) and count each
// value once.
TEST(HistogramFitBins, BinsCentredOnTheMeanCoverEveryValue) {
  std::mt19937_64 generator(7);
  auto uniform = [&] { return static_cast<double>(generator() >> 11) * 0x1p-53; };
  std::vector<std::pair<std::string, std::vector<double>>> samples;
  auto add = [&](const std::string& name, size_t n, auto f) {
    std::vector<double> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = f(i);
    samples.emplace_back(name, std::move(v));
  };
  add("uniform", 1000, [&](size_t) { return uniform(); });
  add("normal", 5000,
      [&](size_t i) { return 3.3 + 0.7 * phi_inverse((static_cast<double>(i) + 0.5) / 5000); });
  add("skewed", 300, [&](size_t) { return -std::log(1 - uniform()) * 1e-9; });
  add("outlier", 200, [&](size_t i) { return i == 0 ? 1000.0 : uniform(); });
  add("negative", 57, [&](size_t) { return -1e-3 - uniform() * 1e-6; });
  add("integers", 400, [&](size_t i) { return static_cast<double>(i % 7); });
  add("two values", 40, [&](size_t i) { return i % 2 ? 5.0 : 6.0; });
  add("far from zero", 1000, [&](size_t) { return 1e9 + uniform() * 1e-3; });
  add("equal", 30, [&](size_t) { return 2.0; });
  add("few", 4, [&](size_t i) { return static_cast<double>(i * i); });
  add("tiny", 100, [&](size_t) { return (uniform() - 0.5) * 1e-300; });
  add("huge", 100, [&](size_t) { return (uniform() - 0.5) * 1e300; });

  for (const auto& [name, values] : samples) {
    SCOPED_TRACE(name);
    const Histogram h = prepared(values);
    ASSERT_TRUE(std::isfinite(h.low) && std::isfinite(h.high) && std::isfinite(h.bin) && h.bin > 0)
        << h.low << " " << h.high << " " << h.bin;
    EXPECT_GE(h.bins, 1);
    EXPECT_LE(h.bins, 50);
    if (h.samples >= 11 && h.sd > 0) {
      EXPECT_GE(h.bins, 10);
    }
    EXPECT_LE(h.low, h.data_min);
    EXPECT_GE(h.high, h.data_max);
    // The mean in the middle of a bin, up to the rounding of the edges.
    const double slack = 4 * std::numeric_limits<double>::epsilon() *
                         std::max({std::abs(h.low), std::abs(h.high), std::abs(h.mean)});
    const double middle = (h.mean - h.low) / h.bin - 0.5;
    EXPECT_NEAR(middle, std::round(middle), slack / h.bin + 1e-9);
    EXPECT_NEAR(h.high - h.low, h.bins * h.bin, slack + 1e-9 * h.bins * h.bin);
    const std::vector<double> counts = histogram_counts(h, values, false);
    ASSERT_EQ(counts.size(), static_cast<size_t>(h.bins));
    EXPECT_EQ(sum(counts), static_cast<double>(values.size()));
  }
}

TEST(HistogramFitBins, ExtremeRangesEndWithFiniteBins) {
  struct Case {
    double mean, sd, data_min, data_max, bin;
  };
  const Case cases[] = {
      {0, 1e-300, -1e-300, 1e-300, 0},
      {0, 1e300, -1e300, 1e300, 0},
      {0, 0, -1e300, 1e300, 0},
      {0, 1, -1e300, 1e300, 1e-300},  // a width far too small for the range
      {0, 1, -1, 1, kNaN},
      {1e9, 1e-3, 1e9 - 1e-2, 1e9 + 1e-2, 0},
  };
  for (const Case& c : cases) {
    Histogram h;
    h.samples = 100;
    h.mean = c.mean;
    h.sd = c.sd;
    h.data_min = c.data_min;
    h.data_max = c.data_max;
    h.bin = c.bin;
    histogram_fit_bins(h);
    EXPECT_TRUE(std::isfinite(h.low) && std::isfinite(h.high) && std::isfinite(h.bin) && h.bin > 0)
        << c.data_min << ".." << c.data_max << ": " << h.low << " " << h.high << " " << h.bin;
    EXPECT_GE(h.bins, 1);
    EXPECT_LE(h.bins, 50);
    EXPECT_LE(h.low, c.data_min);
    EXPECT_GE(h.high, c.data_max);
  }
  // Values one unit in the last place apart: bins finer than the doubles
  // there, yet each value in one of them.
  std::vector<double> close(100, 1e9);
  for (size_t i = 0; i < close.size(); i += 3) close[i] = std::nextafter(1e9, kInf);
  const Histogram fine = prepared(close);
  EXPECT_EQ(sum(histogram_counts(fine, close, false)), 100);
}

// Values near the largest double: the distance of a value from the first edge
// overflows, yet each one is counted.
TEST(HistogramFitBins, ValuesNearTheLargestDoubleAreAllCounted) {
  const std::vector<double> huge = {-1e308, 1e308, -1e308, 1e308, 0};
  const Histogram h = prepared(huge);
  EXPECT_TRUE(std::isfinite(h.low) && std::isfinite(h.high));
  const std::vector<double> counts = histogram_counts(h, huge, false);
  EXPECT_TRUE(all_finite(counts));
  EXPECT_EQ(sum(counts), 5);
}

// ---------------------------------------------------------------------------
// Counting

TEST(HistogramCounts, AValueOnAnEdgeGoesToTheBinStartingThere) {
  for (const auto& [low, bin] :
       {std::pair{-0.35, 0.1}, std::pair{-1.375, 0.25}, std::pair{1e9 - 0.0125, 0.001}}) {
    Histogram h;
    h.low = low;
    h.bin = bin;
    h.bins = 10;
    h.high = low + 10 * bin;
    for (int k = 0; k < 10; ++k) {
      const double edge = low + k * bin;
      std::vector<double> expected(10, 0.0);
      expected[static_cast<size_t>(k)] = 1;
      EXPECT_EQ(histogram_counts(h, std::vector<double>{edge}, false), expected) << low << " edge " << k;
      if (k == 0) continue;
      expected[static_cast<size_t>(k)] = 0;
      expected[static_cast<size_t>(k - 1)] = 1;
      EXPECT_EQ(histogram_counts(h, std::vector<double>{std::nextafter(edge, -kInf)}, false), expected)
          << low << " below edge " << k;
    }
    // Outside the bins: not counted (the last edge belongs to no bin).
    const std::vector<double> outside = {std::nextafter(low, -kInf), low + 10 * bin, low + 15 * bin,
                                         low - 3 * bin};
    EXPECT_EQ(sum(histogram_counts(h, outside, false)), 0) << low;
  }
}

TEST(HistogramCounts, EveryFiniteValueOnceAndOnlyTheDataRangeWhenAsked) {
  std::vector<double> values;
  for (int i = 1; i <= 100; ++i) values.push_back(i);
  values.push_back(kNaN);
  values.push_back(kInf);
  values.push_back(-kInf);
  Histogram h = prepared(values);
  EXPECT_EQ(h.samples, 100);
  std::vector<double> counts = histogram_counts(h, values, false);
  EXPECT_TRUE(all_finite(counts));
  EXPECT_EQ(sum(counts), 100);

  // The typed data range counts its ends and nothing beyond them.
  RecordingNotify notify{kTraceryTitle};
  ASSERT_EQ(histogram_set_options(h, 20, 60, 5, notify), 1) << notify.last();
  counts = histogram_counts(h, values, true);
  EXPECT_EQ(sum(counts), 41);  // 20 .. 60
  EXPECT_TRUE(all_finite(counts));
  // The bins reach beyond the range; without the range every value inside them counts.
  EXPECT_EQ(sum(histogram_counts(h, values, false)),
            static_cast<double>(std::count_if(values.begin(), values.end(),
                                              [&](double v) { return v >= h.low && v < h.high; })));
  ASSERT_EQ(histogram_set_options(h, 20.5, 60.5, 5, notify), 1);
  EXPECT_EQ(sum(histogram_counts(h, values, true)), 40);

  // No bins, no width: nothing counted, nothing divided by zero.
  Histogram empty;
  EXPECT_TRUE(histogram_counts(empty, values, false).empty());
  empty.bins = 3;
  EXPECT_EQ(histogram_counts(empty, values, false), std::vector<double>(3, 0.0));
}

// ---------------------------------------------------------------------------
// Histogram Options

class HistogramOptions : public ::testing::Test {
 protected:
  // 100 samples, mean 0, spread 1, over -1 .. 1: 11 bins of 0.25.
  Histogram h = fitted(100, 0, 1, -1, 1);
  RecordingNotify notify{kTraceryTitle};

  // A refusal leaves the histogram as it was.
  void expect_unchanged(const Histogram& before) {
    EXPECT_EQ(h.data_min, before.data_min);
    EXPECT_EQ(h.data_max, before.data_max);
    EXPECT_EQ(h.bin, before.bin);
    EXPECT_EQ(h.bins, before.bins);
    EXPECT_EQ(h.low, before.low);
    EXPECT_EQ(h.high, before.high);
  }
  std::vector<NoticeKind> kinds() const {
    std::vector<NoticeKind> out;
    for (const auto& e : notify.entries()) out.push_back(e.kind);
    return out;
  }
};

TEST_F(HistogramOptions, RefusalsInTheirOrder) {
  const Histogram before = h;
  struct Case {
    double data_min, data_max, bin;
    const char* message;
  };
  for (const Case& c :
       {Case{1, 1, 0.25, kHistogramInvalidRange}, Case{1, -1, 0, kHistogramInvalidRange},
        Case{kNaN, 1, 0.25, kHistogramInvalidRange}, Case{-kInf, 1, 0.25, kHistogramInvalidRange},
        Case{-1, 1, 0, kHistogramInvalidBin}, Case{-1, 1, -0.25, kHistogramInvalidBin},
        Case{-1, 1, kNaN, kHistogramInvalidBin}, Case{-1, 1, kInf, kHistogramInvalidBin}}) {
    notify.clear();
    EXPECT_EQ(histogram_set_options(h, c.data_min, c.data_max, c.bin, notify), 0) << c.message;
    EXPECT_EQ(notify.texts(), std::vector<std::string>{c.message}) << c.data_min << " " << c.bin;
    EXPECT_EQ(kinds(), std::vector<NoticeKind>{NoticeKind::Error});
    expect_unchanged(before);
  }
  EXPECT_EQ(std::string(kHistogramInvalidRange), "Invalid data range");
  EXPECT_EQ(std::string(kHistogramInvalidBin), "Invalid bin size");
}

TEST_F(HistogramOptions, WarningsAndTheQuestionOfManyBins) {
  const Histogram before = h;
  // 1/2048 over -1 .. 1: below a thousandth of the spread, and 4099 bins.
  notify.answer(0);
  EXPECT_EQ(histogram_set_options(h, -1, 1, 1.0 / 2048, notify), 0);
  EXPECT_EQ(notify.texts(),
            (std::vector<std::string>{"Bin size might be too small", "Number of bins 4099\n\nContinue?"}));
  EXPECT_EQ(kinds(), (std::vector<NoticeKind>{NoticeKind::Warning, NoticeKind::Question}));
  expect_unchanged(before);

  notify.clear();
  notify.answer(1);
  EXPECT_EQ(histogram_set_options(h, -1, 1, 1.0 / 2048, notify), 1);
  EXPECT_EQ(h.bins, 4099);
  EXPECT_EQ(h.bin, 1.0 / 2048);

  notify.clear();
  EXPECT_EQ(histogram_set_options(h, -1, 1, 200, notify), 1);
  EXPECT_EQ(notify.texts(), std::vector<std::string>{"Bin size might be too large"});
  EXPECT_EQ(h.bins, 3);

  // The question only outside 1 .. 1000 bins.
  notify.clear();
  EXPECT_EQ(histogram_set_options(h, -500, 497, 1, notify), 1);
  EXPECT_TRUE(notify.entries().empty());
  EXPECT_EQ(h.bins, 1000);
  notify.answer(0);
  EXPECT_EQ(histogram_set_options(h, -500, 498, 1, notify), 0);
  EXPECT_EQ(notify.texts(), std::vector<std::string>{"Number of bins 1001\n\nContinue?"});
  EXPECT_EQ(h.bins, 1000);
}

TEST_F(HistogramOptions, WarningThresholdsAtATenthOfAPercentAndAHundredTimesTheSpread) {
  h = fitted(100, 0, 1000, -100, 100);
  EXPECT_EQ(histogram_set_options(h, -100, 100, 1, notify), 1);
  EXPECT_EQ(histogram_set_options(h, -100, 100, 100000, notify), 1);
  EXPECT_TRUE(notify.entries().empty()) << notify.last();
  EXPECT_EQ(histogram_set_options(h, -100, 100, 0.999, notify), 1);
  EXPECT_EQ(notify.texts(), std::vector<std::string>{kHistogramBinTooSmall});
  notify.clear();
  EXPECT_EQ(histogram_set_options(h, -100, 100, 100001, notify), 1);
  EXPECT_EQ(notify.texts(), std::vector<std::string>{kHistogramBinTooLarge});
}

// Beyond 100000 bins no answer makes sense: the width is refused outright.
TEST_F(HistogramOptions, AHugeBinCountIsRefusedWithoutAsking) {
  const Histogram before = h;
  EXPECT_EQ(histogram_set_options(h, -1, 1, 1.0 / 65536, notify), 0);
  EXPECT_EQ(notify.texts(), (std::vector<std::string>{"Bin size might be too small", "Invalid bin size"}));
  expect_unchanged(before);

  notify.clear();
  EXPECT_EQ(histogram_set_options(h, -50000, 49998, 1, notify), 0);
  EXPECT_EQ(notify.texts(), std::vector<std::string>{"Invalid bin size"});
  expect_unchanged(before);

  notify.clear();
  EXPECT_EQ(histogram_set_options(h, -50000, 49997, 1, notify), 1);
  EXPECT_EQ(notify.texts(), std::vector<std::string>{"Number of bins 100000\n\nContinue?"});
  EXPECT_EQ(h.bins, 100000);
}

TEST_F(HistogramOptions, TheTypedWidthIsKeptAndCentredOnTheMean) {
  ASSERT_EQ(histogram_set_options(h, -1, 1, 0.3, notify), 1);
  EXPECT_EQ(h.bin, 0.3);
  EXPECT_EQ(h.bins, 9);
  EXPECT_DOUBLE_EQ(h.low, -1.35);
  EXPECT_DOUBLE_EQ(h.high, 1.35);
  EXPECT_EQ(h.data_min, -1);
  EXPECT_EQ(h.data_max, 1);

  // A range that leaves the mean out still gets bins over it.
  ASSERT_EQ(histogram_set_options(h, 5, 10, 1, notify), 1);
  EXPECT_LE(h.low, 5);
  EXPECT_GT(h.high, 10);
  EXPECT_NEAR(h.high - h.low, h.bins * h.bin, 1e-12);
  const double middle = (h.mean - h.low) / h.bin - 0.5;
  EXPECT_NEAR(middle, std::round(middle), 1e-9);
  std::vector<double> values;
  for (int i = 0; i <= 20; ++i) values.push_back(i * 0.5);  // 0 .. 10
  EXPECT_EQ(sum(histogram_counts(h, values, true)), 11);    // 5 .. 10
}

// ---------------------------------------------------------------------------
// Yield

TEST(HistogramYield, BothEndsIncludedAndTheReadout) {
  const std::vector<double> values = {1, 2, 3, 4, 5, kNaN};
  Histogram h = prepared(values);
  RecordingNotify notify{kTraceryTitle};
  EXPECT_EQ(h.yield, 100);
  EXPECT_FALSE(h.yield_computed);
  EXPECT_EQ(h.accept_low, 1);
  EXPECT_EQ(h.accept_high, 5);

  struct Case {
    double low, high;
    const char* readout;
  };
  for (const Case& c : {Case{2, 4, "Yield=60%"}, Case{1, 5, "Yield=100%"}, Case{2.5, 4, "Yield=40%"},
                        Case{5.5, 9, "Yield=0%"}, Case{-1e300, 1e300, "Yield=100%"}}) {
    EXPECT_EQ(histogram_set_yield(h, values, c.low, c.high, notify), 1);
    EXPECT_EQ(histogram_readout(h).back(), c.readout) << c.low << ".." << c.high;
    EXPECT_EQ(h.accept_low, c.low);
    EXPECT_EQ(h.accept_high, c.high);
  }
  EXPECT_TRUE(notify.entries().empty());

  EXPECT_EQ(histogram_set_yield(h, values, 1, 1.5, notify), 1);
  EXPECT_DOUBLE_EQ(h.yield, 20);
  const std::vector<double> three = {1, 2, 3};
  EXPECT_EQ(histogram_set_yield(h, three, 1, 1.5, notify), 1);
  EXPECT_EQ(histogram_readout(h).back(), "Yield=33.3333%");

  for (const auto& [low, high] : {std::pair{4.0, 4.0}, std::pair{4.0, 2.0}, std::pair{kNaN, 3.0}}) {
    Histogram fresh = prepared(values);
    notify.clear();
    EXPECT_EQ(histogram_set_yield(fresh, values, low, high, notify), 0);
    EXPECT_EQ(notify.texts(), std::vector<std::string>{"Invalid yield acceptance range"});
    EXPECT_FALSE(fresh.yield_computed);
    EXPECT_EQ(fresh.yield, 100);
    EXPECT_EQ(histogram_readout(fresh).size(), 6u);
  }
}

// ---------------------------------------------------------------------------
// The Gaussian curve

TEST(HistogramGaussian, PeakSymmetryAndArea) {
  Histogram h;
  h.samples = 1000;
  h.mean = 10;
  h.sd = 2;
  h.bin = 0.5;
  h.data_min = 4;
  h.data_max = 16;
  histogram_fit_bins(h);
  ASSERT_EQ(h.bin, 0.5);
  ASSERT_DOUBLE_EQ(h.low + h.high, 20);

  const GaussianCurve g = histogram_gaussian(h);
  ASSERT_GE(g.x.size(), 50u);
  ASSERT_EQ(g.x.size(), g.count.size());
  EXPECT_TRUE(all_finite(g.x) && all_finite(g.count));
  EXPECT_TRUE(std::is_sorted(g.x.begin(), g.x.end()));
  // Over the bars and at least four deviations either side.
  EXPECT_LE(g.x.front(), std::min(h.low, 2.0));
  EXPECT_GE(g.x.back(), std::max(h.high, 18.0));

  // At the mean: what a bin of the histogram's width centred there holds.
  const double peak = 1000 * (phi(0.25 / 2) - phi(-0.25 / 2));
  const double top = *std::max_element(g.count.begin(), g.count.end());
  EXPECT_LE(top, peak * (1 + 1e-12));
  EXPECT_GE(top, peak * (1 - 1e-3));
  const size_t at_top =
      static_cast<size_t>(std::max_element(g.count.begin(), g.count.end()) - g.count.begin());
  EXPECT_NEAR(g.x[at_top], 10, 0.1);

  // Symmetric about the mean.
  const size_t n = g.x.size();
  for (size_t i = 0; i < n; ++i) {
    EXPECT_NEAR(g.x[i] + g.x[n - 1 - i], 20, 1e-9);
    EXPECT_NEAR(g.count[i], g.count[n - 1 - i], 1e-9 * peak);
    EXPECT_GE(g.count[i], 0);
  }
  EXPECT_LT(g.count.front(), peak * 1e-3);

  // The area under it is that of the bars: samples times the width.
  double area = 0;
  for (size_t i = 1; i < n; ++i) area += (g.x[i] - g.x[i - 1]) * (g.count[i] + g.count[i - 1]) / 2;
  EXPECT_NEAR(area, 1000 * 0.5, 500 * 2e-4);

  // No spread or no width: no curve.
  Histogram flat = h;
  flat.sd = 0;
  EXPECT_TRUE(histogram_gaussian(flat).x.empty());
  flat = h;
  flat.bin = 0;
  EXPECT_TRUE(histogram_gaussian(flat).x.empty());
}

// The curve meets the bars: a sample laid out along the normal distribution's
// quantiles fills each bin with what the curve says at its centre.
TEST(HistogramGaussian, MeetsTheBarsOfANormalSample) {
  constexpr int n = 20000;
  std::vector<double> values(n);
  for (int i = 0; i < n; ++i) values[static_cast<size_t>(i)] = 10 + 2 * phi_inverse((i + 0.5) / n);
  const Histogram h = prepared(values);
  ASSERT_NEAR(h.sd, 2, 0.01);
  const std::vector<double> counts = histogram_counts(h, values, false);
  const GaussianCurve g = histogram_gaussian(h);
  ASSERT_FALSE(g.x.empty());
  for (int k = 0; k < h.bins; ++k) {
    const double centre = h.low + (k + 0.5) * h.bin;
    const auto it = std::lower_bound(g.x.begin(), g.x.end(), centre);
    ASSERT_TRUE(it != g.x.begin() && it != g.x.end()) << centre;
    const size_t j = static_cast<size_t>(it - g.x.begin());
    const double t = (centre - g.x[j - 1]) / (g.x[j] - g.x[j - 1]);
    const double curve = g.count[j - 1] + t * (g.count[j] - g.count[j - 1]);
    EXPECT_NEAR(counts[static_cast<size_t>(k)], curve, 0.02 * curve + 2) << "bin " << k << " at " << centre;
  }
}

// ---------------------------------------------------------------------------
// Read-out

TEST(HistogramReadout, TheLinesInEngineeringNotation) {
  Histogram h = prepared({1, 2, 3, 4});
  EXPECT_EQ(histogram_readout(h),
            (std::vector<std::string>{"Mean=2.5", "S.D.=1.291", "Bin=500m", "Sample=4", "Min=1", "Max=4"}));
  h = prepared({1e-6, 2e-6, 3e-6});
  EXPECT_EQ(histogram_readout(h),
            (std::vector<std::string>{"Mean=2u", "S.D.=1u", "Bin=500n", "Sample=3", "Min=1u", "Max=3u"}));
  h = prepared({1e6, 3e6});
  EXPECT_EQ(histogram_readout(h), (std::vector<std::string>{"Mean=2E6", "S.D.=1.4142E6", "Bin=750K",
                                                            "Sample=2", "Min=1E6", "Max=3E6"}));
  RecordingNotify notify{kTraceryTitle};
  ASSERT_EQ(histogram_set_yield(h, std::vector<double>{1e6, 3e6}, 0, 2e6, notify), 1);
  const std::vector<std::string> lines = histogram_readout(h);
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[6], "Yield=50%");
}

}  // namespace
}  // namespace zephyrim
