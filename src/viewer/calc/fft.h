#pragma once
// The FFT of transient waveforms: the waveform resampled on a uniform time grid
// by linear interpolation, transformed, and the lower half of the spectrum kept,
// scaled to amplitudes, with the frequencies as its x vector. By default nothing
// is padded or windowed and at most 8192 samples are taken; more points, a
// window function and a record trimmed to whole periods are options.
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zephyrim {

class DataStore;
struct DataVector;

// The sample count of the default rule, and the most the options allow.
inline constexpr int64_t kFftDefaultMaxPoints = 8192;
inline constexpr int64_t kFftMaxPoints = int64_t{1} << 24;

enum FftWindowFunction : int {
  FFT_WINDOW_NONE = 0,
  FFT_WINDOW_HANN = 1,
  FFT_WINDOW_HAMMING = 2,
  FFT_WINDOW_BLACKMAN = 3,
  FFT_WINDOW_FLATTOP = 4,
};
inline constexpr int kFftWindows = 5;
// "none", "hann", "hamming", "blackman", "flattop", by FftWindowFunction.
extern const char* const kFftWindowNames[kFftWindows];
// A window by its name (any case; "flat-top" too) or number; -1 for anything else.
int fft_window_from_name(std::string_view text);

struct FftOptions {
  // 0: the smallest power of two at least the points taken, 2 to 8192; else
  // this many samples, a power of two from 2 to kFftMaxPoints.
  int64_t points = 0;
  int window = FFT_WINDOW_NONE;  // FftWindowFunction; corrected for its coherent gain
  // Above 0: the record is trimmed to the last whole periods of this frequency
  // (Hz), so that its harmonics fall on spectrum lines.
  double fundamental = 0;
  bool operator==(const FftOptions&) const = default;
};

// Whether n is a sample count the points option takes.
bool fft_points_valid(int64_t n);

// VFFT(OUT) for V(OUT), IFFT(R1) for I(R1) (any case of the first letter kept);
// FFT[N1] for any other name.
std::string fft_output_name(std::string_view name);

// The points a window of [start, end] takes out of x: from the first point at or
// above start (point 0 when there is none) up to and including the first point
// past end (or the last point). end <= start takes every point.
struct FftRecord {
  size_t first = 0;
  size_t count = 0;
};
FftRecord fft_record(std::span<const double> x, double window_start, double window_end);

// The number of samples for a record of taken points.
int64_t fft_size(size_t taken, const FftOptions& options);

enum FftStatus : int {
  FFT_OK = 0,
  FFT_NO_POINTS = 1,     // fewer than two points, or a record of no duration
  FFT_SHORT_RECORD = 2,  // shorter than one period of the fundamental
  FFT_NO_MEMORY = 3,
};

// The spectrum of one record: frequencies and (real, imaginary) pairs, N/2 of
// each. The phase follows the convention X_k = sum x_n e^(+2 pi i n k / N).
struct FftSpectrum {
  std::vector<double> frequency;
  std::vector<double> pairs;
  int64_t samples = 0;  // N
  double dt = 0;        // the sample spacing
};
FftStatus fft_spectrum(std::span<const double> x, std::span<const double> y, double window_start,
                       double window_end, const FftOptions& options, FftSpectrum& out);

// The FFT of a real transient vector over [window start, window end] (the whole
// range when end <= start): registers "FREQ" (AC, no x vector) and the complex
// spectrum under fft_output_name in class cls, in the source's run label.
// Returns the spectrum, or null (no values, no points, no memory; a record
// shorter than one period of the fundamental after its message).
DataVector* fft_transform(DataStore& store, const DataVector& vector, int cls, double window_start,
                          double window_end, const FftOptions& options = {});

// The script entry: the transient real vector of that name in class cls (run 1,
// or run when given) transformed over its whole range into class 0.
DataVector* fft_of_named(DataStore& store, std::string_view name, int cls, int run = 0,
                         const FftOptions& options = {});

}  // namespace zephyrim
