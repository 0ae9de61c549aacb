#pragma once
// Histograms of one vector's values, typically a measurement over Monte Carlo
// runs: the statistics, the bins chosen around the mean, the counts stored as
// vectors, a Gaussian curve of the same mean and spread, and the yield over an
// acceptance range.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zephyrim {

class DataStore;
class Notify;
struct DataVector;

inline constexpr const char* kHistogramInvalidRange = "Invalid data range";
inline constexpr const char* kHistogramInvalidBin = "Invalid bin size";
inline constexpr const char* kHistogramBinTooSmall = "Bin size might be too small";
inline constexpr const char* kHistogramBinTooLarge = "Bin size might be too large";
inline constexpr const char* kHistogramBinsQuestion = "Number of bins %d\n\nContinue?";
inline constexpr const char* kHistogramInvalidYield = "Invalid yield acceptance range";
inline constexpr const char* kHistogramCountName = "COUNT";
inline constexpr const char* kHistogramGaussName = "GAUSS";
inline constexpr const char* kHistogramGaussXName = "GAUSS_X";

// The statistics of the finite values of a sample; values that are NaN or
// infinite are left out (and counted). The mean and the spread are computed in
// two passes with compensated sums, so values far from zero keep their small
// spread. sd is the sample standard deviation (n - 1), 0 for one value.
struct SampleStatistics {
  int64_t count = 0;    // finite values
  int64_t skipped = 0;  // values left out
  double mean = 0;
  double sd = 0;
  double min = 0;
  double max = 0;
};
SampleStatistics sample_statistics(std::span<const double> values);

struct Histogram {
  std::string source;  // the name of the vector it counts
  double data_min = 0;
  double data_max = 0;
  int64_t samples = 0;
  double low = 0;  // outer edges of the first and last bin
  double high = 0;
  double mean = 0;
  double sd = 0;
  double bin = 0;  // bin width
  int bins = 0;
  double yield = 100;  // percent of the samples inside the acceptance range
  bool yield_computed = false;
  double accept_low = 0;
  double accept_high = 0;
  bool gaussian = false;  // the Gaussian curve is shown
};

// The automatic bin width for a spread and range: half the standard deviation
// (a tenth of the range, or 1 % of the largest value, when there is no spread)
// rounded to 1, 1.5, 2, 2.5, 4, 5, 7.5 or 10 times a power of ten.
double histogram_auto_bin(double sd, double data_min, double data_max);

// Fits the bins around the mean for the histogram's width, range and sample
// count: widening while there are more than 50 bins, halving (up to 20 times)
// while there are fewer than 10 for 11 samples or more that spread. Sets bin,
// bins, low and high.
void histogram_fit_bins(Histogram& h);

// The count of each bin: the values v with low + k bin <= v < low + (k+1) bin;
// only values inside [data_min, data_max] when in_range.
std::vector<double> histogram_counts(const Histogram& h, std::span<const double> values, bool in_range);

// The statistics and automatic bins of a vector's values. False when it has no
// finite value (after a message).
bool histogram_prepare(Histogram& h, std::span<const double> values, Notify& notify);

// The Histogram Options of a typed data range and bin width, checked in order:
// "Invalid data range", "Invalid bin size" (refused, 0), the warnings of a
// width far from the spread, and the question of an odd number of bins (0 when
// the user declines). 1: the histogram takes them, the width as typed and the
// bins laid around the mean.
int histogram_set_options(Histogram& h, double data_min, double data_max, double bin, Notify& notify);

// The yield over [low, high], both ends included: 1 and the percentage set, or
// 0 after "Invalid yield acceptance range".
int histogram_set_yield(Histogram& h, std::span<const double> values, double low, double high,
                        Notify& notify);

// The Gaussian curve of the histogram's mean and spread, as counts per bin
// width: the expected count of a bin centred on each x. Empty without spread.
struct GaussianCurve {
  std::vector<double> x;
  std::vector<double> count;
};
GaussianCurve histogram_gaussian(const Histogram& h);

// Stores the bin centres (named after the source) and COUNT over them in the
// derived class, kind OTHER; returns COUNT, or null after the store's message.
const DataVector* histogram_store_counts(DataStore& store, const Histogram& h,
                                         std::span<const double> counts);
// Stores GAUSS_X and GAUSS over it in the derived class; returns GAUSS, or null.
const DataVector* histogram_store_gaussian(DataStore& store, const Histogram& h);

// The read-out lines: "Mean=%s", "S.D.=%s", "Bin=%s", "Sample=%d", "Min=%s",
// "Max=%s" (five digits of engineering notation) and "Yield=%G%%" once computed.
std::vector<std::string> histogram_readout(const Histogram& h);

}  // namespace zephyrim
