#include "viewer/calc/histogram.h"

#include <algorithm>
#include <cmath>

#include "common/eng_number.h"
#include "common/notify.h"
#include "common/text_format.h"
#include "viewer/data/data_store.h"

namespace zephyrim {

namespace {

// Neumaier's compensated sum: the small terms survive beside a large total.
class CompensatedSum {
 public:
  void add(double v) {
    const double t = sum_ + v;
    compensation_ += std::abs(sum_) >= std::abs(v) ? (sum_ - t) + v : (v - t) + sum_;
    sum_ = t;
  }
  double value() const { return sum_ + compensation_; }

 private:
  double sum_ = 0;
  double compensation_ = 0;
};

constexpr int kMaxBins = 50;
constexpr int kMinBins = 10;
constexpr int64_t kFewSamples = 11;
constexpr int kMaxHalvings = 20;
constexpr int kGaussPoints = 201;
constexpr int kMaxFitSteps = 10000;  // widening by 1.5 crosses the whole double range in about 3,500
constexpr double kMaxTypedBins = 100000;

// The bin of a value: floor((v - low) / bin), checked against the edges
// themselves so that a value on an edge goes to the bin that starts there.
int64_t bin_of(const Histogram& h, double v) {
  // Halves again, so that a value far from the first edge cannot overflow.
  const double k = std::floor((v * 0.5 - h.low * 0.5) / (h.bin * 0.5));
  if (!(k >= 0)) return -1;
  if (!(k < h.bins)) return h.bins;
  auto i = static_cast<int64_t>(k);
  if (i > 0 && v < h.low + static_cast<double>(i) * h.bin) --i;
  if (v >= h.low + static_cast<double>(i + 1) * h.bin) ++i;  // the top edge belongs to no bin
  return i;
}

// The normal distribution's integral from minus infinity to z.
double normal_cdf(double z) {
  return 0.5 * std::erfc(-z / std::sqrt(2.0));
}

}  // namespace

SampleStatistics sample_statistics(std::span<const double> values) {
  SampleStatistics s;
  s.min = INFINITY;
  s.max = -INFINITY;
  for (double v : values) {
    if (!std::isfinite(v)) {
      ++s.skipped;
      continue;
    }
    ++s.count;
    s.min = std::min(s.min, v);
    s.max = std::max(s.max, v);
  }
  if (s.count == 0) {
    s.min = s.max = 0;
    return s;
  }
  // Computed on the values scaled by a power of two (exact) to at most 1 in
  // magnitude, so that neither the sums nor the squares of values near the
  // ends of the double range overflow or vanish.
  const double largest = std::max(std::abs(s.min), std::abs(s.max));
  const int exponent = largest > 0 ? std::ilogb(largest) + 1 : 0;
  auto scaled = [&](double v) { return std::scalbn(v, -exponent); };
  CompensatedSum sum;
  for (double v : values)
    if (std::isfinite(v)) sum.add(scaled(v));
  const double n = static_cast<double>(s.count);
  const double mean = sum.value() / n;
  s.mean = std::clamp(std::scalbn(mean, exponent), s.min, s.max);
  if (s.count < 2) return s;
  // Squares of the deviations from the mean, less the square of what the mean
  // itself is still off by (the corrected two-pass form).
  CompensatedSum squares, deviations;
  for (double v : values) {
    if (!std::isfinite(v)) continue;
    const double d = scaled(v) - mean;
    squares.add(d * d);
    deviations.add(d);
  }
  const double variance = (squares.value() - deviations.value() * deviations.value() / n) / (n - 1);
  s.sd = variance > 0 && std::isfinite(variance) ? std::scalbn(std::sqrt(variance), exponent) : 0;
  return s;
}

double histogram_auto_bin(double sd, double data_min, double data_max) {
  double c = sd * 0.5;
  if (!(sd > 0)) c = data_max - data_min > 0 ? (data_max - data_min) * 0.1 : std::abs(data_max * 0.01);
  // Values all 0, or a spread beyond doubles: a width that still gives bins.
  if (!(c > 0) || !std::isfinite(c)) return 1;
  const double l = std::log10(c);
  if (std::abs(l - std::round(l)) <= 0.00001) return c;
  const double p = std::pow(10.0, std::floor(l));
  // Below the normal doubles the power of ten is lost: the width as it is.
  if (!(p > 0) || !std::isnormal(c)) return c;
  const double g = c / p;
  const double m = g < 1.25   ? 1
                   : g < 1.75 ? 1.5
                   : g < 2.25 ? 2
                   : g < 3    ? 2.5
                   : g < 4.5  ? 4
                   : g < 7    ? 5
                   : g < 8    ? 7.5
                              : 10;
  return p * m;
}

void histogram_fit_bins(Histogram& h) {
  if (!(h.bin > 0) || !std::isfinite(h.bin)) h.bin = histogram_auto_bin(h.sd, h.data_min, h.data_max);
  // Halving adds no bins to values that are all equal.
  const bool spread = h.data_max > h.data_min;
  bool widened = false;
  for (int halvings = 0, steps = 0; steps < kMaxFitSteps; ++steps) {
    // Halves of the values, so that their differences cannot overflow; the
    // counts in doubles, so that a tiny width over a wide range cannot
    // overflow an int.
    const double r = std::trunc((h.data_max * 0.5 - h.mean * 0.5) / (h.bin * 0.5));
    const double t = std::trunc((h.mean * 0.5 - h.data_min * 0.5) / (h.bin * 0.5)) + 1;
    const double bins = r + t + 2;
    if (!(bins <= kMaxBins)) {
      h.bin *= 1.5;
      widened = true;
      continue;
    }
    h.bins = static_cast<int>(bins);
    h.low = h.mean - h.bin * t - h.bin / 2;
    h.high = h.mean + h.bin * (r + 1) + h.bin / 2;
    if (widened || !spread || h.samples < kFewSamples || h.bins >= kMinBins || halvings >= kMaxHalvings)
      return;
    h.bin /= 2;
    ++halvings;
  }
  // Values the doubles cannot lay bins over: one bin around them all.
  h.bins = 1;
  h.low = h.data_min;
  h.high = h.data_max;
  h.bin = h.high - h.low;
}

std::vector<double> histogram_counts(const Histogram& h, std::span<const double> values, bool in_range) {
  std::vector<double> counts(static_cast<size_t>(std::max(h.bins, 0)), 0.0);
  if (!(h.bin > 0)) return counts;
  for (double v : values) {
    if (!std::isfinite(v) || (in_range && (v < h.data_min || v > h.data_max))) continue;
    const int64_t k = bin_of(h, v);
    if (k >= 0 && k < h.bins) counts[static_cast<size_t>(k)] += 1;
  }
  return counts;
}

bool histogram_prepare(Histogram& h, std::span<const double> values, Notify& notify) {
  const SampleStatistics s = sample_statistics(values);
  if (s.count == 0) {
    notify.error(strprintf("%s has no values to count", h.source.c_str()));
    return false;
  }
  h.samples = s.count;
  h.mean = s.mean;
  h.sd = s.sd;
  h.data_min = s.min;
  h.data_max = s.max;
  h.bin = histogram_auto_bin(s.sd, s.min, s.max);
  histogram_fit_bins(h);
  h.accept_low = s.min;
  h.accept_high = s.max;
  h.yield = 100;
  h.yield_computed = false;
  return true;
}

int histogram_set_options(Histogram& h, double data_min, double data_max, double bin, Notify& notify) {
  if (!(data_max - data_min > 0) || !std::isfinite(data_max - data_min)) {
    notify.error(kHistogramInvalidRange);
    return 0;
  }
  if (!(bin > 0) || !std::isfinite(bin)) {
    notify.error(kHistogramInvalidBin);
    return 0;
  }
  if (bin < h.sd * 0.001) notify.warning(kHistogramBinTooSmall);
  if (bin > h.sd * 100) notify.warning(kHistogramBinTooLarge);
  const double bins = std::trunc((h.mean - data_min) / bin) + std::trunc((data_max - h.mean) / bin) + 3;
  // Beyond what a screen can show even as lines, the counts would only fill memory.
  if (bins > kMaxTypedBins) {
    notify.error(kHistogramInvalidBin);
    return 0;
  }
  if (bins < 1 || bins > 1000) {
    if (notify.question(strprintf(kHistogramBinsQuestion, static_cast<int>(bins)), QuestionKind::YesNo) != 1)
      return 0;
  }
  h.data_min = data_min;
  h.data_max = data_max;
  // The width typed is kept: the bins are laid around the mean without refitting it.
  h.bin = bin;
  const double r = std::trunc((data_max - h.mean) / bin);
  const double t = std::trunc((h.mean - data_min) / bin) + 1;
  h.bins = static_cast<int>(r + t + 2);
  h.low = h.mean - bin * t - bin / 2;
  h.high = h.mean + bin * (r + 1) + bin / 2;
  return 1;
}

int histogram_set_yield(Histogram& h, std::span<const double> values, double low, double high,
                        Notify& notify) {
  if (!(high - low > 0)) {
    notify.error(kHistogramInvalidYield);
    return 0;
  }
  int64_t inside = 0, all = 0;
  for (double v : values) {
    if (!std::isfinite(v)) continue;
    ++all;
    if (v >= low && v <= high) ++inside;
  }
  h.accept_low = low;
  h.accept_high = high;
  h.yield = all ? 100.0 * static_cast<double>(inside) / static_cast<double>(all) : 0;
  h.yield_computed = true;
  return 1;
}

GaussianCurve histogram_gaussian(const Histogram& h) {
  GaussianCurve g;
  if (!(h.sd > 0) || !(h.bin > 0)) return g;
  // Over the bins and four deviations either side, whichever is wider.
  const double from = std::min(h.low, h.mean - 4 * h.sd);
  const double to = std::max(h.high, h.mean + 4 * h.sd);
  g.x.resize(kGaussPoints);
  g.count.resize(kGaussPoints);
  for (int i = 0; i < kGaussPoints; ++i) {
    const double x = from + (to - from) * i / (kGaussPoints - 1);
    // What a bin of this width centred here would hold, so the curve meets the bars.
    const double p =
        normal_cdf((x + h.bin / 2 - h.mean) / h.sd) - normal_cdf((x - h.bin / 2 - h.mean) / h.sd);
    g.x[static_cast<size_t>(i)] = x;
    g.count[static_cast<size_t>(i)] = static_cast<double>(h.samples) * p;
  }
  return g;
}

const DataVector* histogram_store_counts(DataStore& store, const Histogram& h,
                                         std::span<const double> counts) {
  std::vector<double> centres(counts.size());
  for (size_t k = 0; k < centres.size(); ++k) centres[k] = h.low + (static_cast<double>(k) + 0.5) * h.bin;
  const auto n = static_cast<int64_t>(counts.size());
  const DataVector* x = store.add_vector({.name = h.source,
                                          .cls = DATA_CLASS_DERIVED,
                                          .kind = ANALYSIS_OTHER,
                                          .points = n,
                                          .values = centres.data()});
  if (!x) return nullptr;
  return store.add_vector({.name = kHistogramCountName,
                           .cls = DATA_CLASS_DERIVED,
                           .kind = ANALYSIS_OTHER,
                           .x = x,
                           .points = n,
                           .values = counts.data()});
}

const DataVector* histogram_store_gaussian(DataStore& store, const Histogram& h) {
  const GaussianCurve g = histogram_gaussian(h);
  if (g.x.empty()) return nullptr;
  const auto n = static_cast<int64_t>(g.x.size());
  const DataVector* x = store.add_vector({.name = kHistogramGaussXName,
                                          .cls = DATA_CLASS_DERIVED,
                                          .kind = ANALYSIS_OTHER,
                                          .points = n,
                                          .values = g.x.data()});
  if (!x) return nullptr;
  return store.add_vector({.name = kHistogramGaussName,
                           .cls = DATA_CLASS_DERIVED,
                           .kind = ANALYSIS_OTHER,
                           .x = x,
                           .points = n,
                           .values = g.count.data()});
}

std::vector<std::string> histogram_readout(const Histogram& h) {
  std::vector<std::string> lines = {
      "Mean=" + format_eng_viewer(h.mean, 5),    "S.D.=" + format_eng_viewer(h.sd, 5),
      "Bin=" + format_eng_viewer(h.bin, 5),      strprintf("Sample=%d", static_cast<int>(h.samples)),
      "Min=" + format_eng_viewer(h.data_min, 5), "Max=" + format_eng_viewer(h.data_max, 5)};
  if (h.yield_computed) lines.push_back(strprintf("Yield=%G%%", h.yield));
  return lines;
}

}  // namespace zephyrim
