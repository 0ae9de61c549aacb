// The FFT of transient waveforms: the transform against a plain radix-2
// reference, the phase convention, the record and its window, the options and
// the vectors it registers.
#include "viewer/calc/fft.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <thread>
#include <utility>
#include <vector>

#include "viewer/calc/calc_fixture.h"

namespace zephyrim {
namespace {

// ---------------------------------------------------------------------------
// The reference: the transform as the viewer always defined it, written out
// plainly. FFTW must reproduce it, sign convention included.

// In-place iterative radix-2 decimation in time; the inverse divides by n first.
// W = cos(2 pi j / n) + s i sin(2 pi j / n), s = +1 forward.
void fft_radix2(std::vector<double>& re, std::vector<double>& im, size_t n, bool inverse) {
  if (inverse)
    for (size_t i = 0; i < n; ++i) {
      re[i] /= static_cast<double>(n);
      im[i] /= static_cast<double>(n);
    }
  for (size_t i = 1, j = 0; i < n; ++i) {
    size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) {
      std::swap(re[i], re[j]);
      std::swap(im[i], im[j]);
    }
  }
  std::vector<double> c(n), s(n);
  for (size_t j = 0; j < n; ++j) {
    c[j] = std::cos(2 * M_PI * static_cast<double>(j) / static_cast<double>(n));
    s[j] = std::sin(2 * M_PI * static_cast<double>(j) / static_cast<double>(n));
  }
  const double sign = inverse ? -1 : 1;
  for (size_t m = 1; m < n; m *= 2)
    for (size_t start = 0; start < n; start += 2 * m)
      for (size_t k = 0; k < m; ++k) {
        const size_t j = k * (n / (2 * m));
        const double wr = c[j], wi = sign * s[j];
        const size_t a = start + k, b = a + m;
        const double tr = wr * re[b] - wi * im[b];
        const double ti = wr * im[b] + wi * re[b];
        re[b] = re[a] - tr;
        im[b] = im[a] - ti;
        re[a] += tr;
        im[a] += ti;
      }
}

struct Reference {
  std::vector<double> frequency, re, im;
};

// Resample on n samples over [x_first, x_last) by linear interpolation, the
// search carried from sample to sample, then radix-2, term 0 halved, all
// divided by n/2.
Reference reference_spectrum(const std::vector<double>& x, const std::vector<double>& y, size_t n) {
  const double dt = (x.back() - x.front()) / static_cast<double>(n);
  std::vector<double> re(n), im(n, 0.0);
  re[0] = y[0];
  size_t j = 0;
  for (size_t i = 1; i < n; ++i) {
    const double t = x.front() + static_cast<double>(i) * dt;
    while (j + 2 < x.size() && x[j + 1] <= t) ++j;
    if (t == x[j])
      re[i] = y[j];
    else if (t == x[j + 1])
      re[i] = y[j + 1];
    else
      re[i] = y[j] + (y[j + 1] - y[j]) * (t - x[j]) / (x[j + 1] - x[j]);
  }
  fft_radix2(re, im, n, false);
  re[0] /= 2;
  im[0] /= 2;
  Reference r;
  for (size_t k = 0; k < n / 2; ++k) {
    r.frequency.push_back(static_cast<double>(k) / (static_cast<double>(n) * dt));
    r.re.push_back(re[k] / static_cast<double>(n / 2));
    r.im.push_back(im[k] / static_cast<double>(n / 2));
  }
  return r;
}

// A fixed pseudo-random sequence in [0, 1), the same on every platform.
struct Lcg {
  uint64_t state;
  double next() {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(state >> 11) * 0x1.0p-53;
  }
};

struct Waveform {
  std::vector<double> x, y;
};

// Irregular steps of 0.5 to 1.5 us and a waveform with an offset, two tones
// off the lines and some noise. Clustered: bursts of 200 steps around 0.05 us
// and 20 us in turn, as a simulator's steps crowd at edges, and a long last
// step, so that the resampling skips many points at once and lands in the
// last interval.
Waveform irregular(size_t points, uint64_t seed, bool clustered = false) {
  Lcg r{seed};
  Waveform w;
  double t = 1e-3;  // a record that does not start at 0
  for (size_t i = 0; i < points; ++i) {
    if (clustered && i + 1 == points) t += 300e-6;
    w.x.push_back(t);
    w.y.push_back(0.7 + std::sin(2 * M_PI * 3.3e3 * t) + 0.4 * std::cos(2 * M_PI * 17.1e3 * t + 1) +
                  0.1 * (r.next() - 0.5));
    const double step = clustered ? ((i / 200) % 2 ? 20e-6 : 0.05e-6) : 1e-6;
    t += step * (0.5 + r.next());
  }
  return w;
}

// n samples' worth of a sine of amplitude a, frequency f and phase phi (a cosine
// at phi = 0) over [0, duration], given at n + 1 evenly spaced points so that a
// transform of n samples takes the points themselves.
Waveform on_grid(size_t n, double duration, double a, double f, double phi = 0) {
  Waveform w;
  for (size_t i = 0; i <= n; ++i) {
    const double t = duration * static_cast<double>(i) / static_cast<double>(n);
    w.x.push_back(t);
    w.y.push_back(a * std::cos(2 * M_PI * f * t + phi));
  }
  return w;
}

double magnitude(const FftSpectrum& s, size_t k) {
  return std::hypot(s.pairs[2 * k], s.pairs[2 * k + 1]);
}

FftSpectrum spectrum_of(const Waveform& w, const FftOptions& options = {}, double start = 0, double end = 0) {
  FftSpectrum s;
  EXPECT_EQ(fft_spectrum(w.x, w.y, start, end, options, s), FFT_OK);
  return s;
}

// ---------------------------------------------------------------------------

TEST(FftReference, ForwardSignAndRoundTrip) {
  // A unit impulse at n = 1 transforms to e^(+2 pi i k / N): the reference has
  // the convention the spectra are held to.
  const size_t n = 16;
  std::vector<double> re(n, 0.0), im(n, 0.0);
  re[1] = 1;
  fft_radix2(re, im, n, false);
  for (size_t k = 0; k < n; ++k) {
    EXPECT_NEAR(re[k], std::cos(2 * M_PI * static_cast<double>(k) / n), 1e-15) << k;
    EXPECT_NEAR(im[k], std::sin(2 * M_PI * static_cast<double>(k) / n), 1e-15) << k;
  }
  Lcg r{7};
  std::vector<double> a(n), b(n);
  for (size_t i = 0; i < n; ++i) a[i] = r.next(), b[i] = r.next();
  auto ra = a, rb = b;
  fft_radix2(ra, rb, n, false);
  fft_radix2(ra, rb, n, true);
  for (size_t i = 0; i < n; ++i) {
    EXPECT_NEAR(ra[i], a[i], 1e-15);
    EXPECT_NEAR(rb[i], b[i], 1e-15);
  }
}

TEST(FftSpectrum, MatchesTheRadix2ReferenceOnIrregularData) {
  struct Case {
    size_t points;
    int64_t option;  // the points option, 0 for the default rule
    size_t n;        // the samples expected
    bool clustered = false;
  };
  double worst = 0;
  for (const Case& c : {Case{2, 0, 2}, Case{1000, 0, 1024}, Case{8192, 0, 8192}, Case{20000, 0, 8192},
                        Case{3000, int64_t{1} << 14, size_t{1} << 14}, Case{1000, 64, 64},
                        Case{5000, 0, 8192, true}, Case{5000, 256, 256, true}}) {
    SCOPED_TRACE(::testing::Message()
                 << c.points << " points, option " << c.option << (c.clustered ? ", clustered" : ""));
    const Waveform w = irregular(c.points, 12345 + c.points, c.clustered);
    const FftSpectrum s = spectrum_of(w, {.points = c.option});
    ASSERT_EQ(s.samples, static_cast<int64_t>(c.n));
    ASSERT_EQ(s.frequency.size(), c.n / 2);
    ASSERT_EQ(s.pairs.size(), c.n);
    EXPECT_DOUBLE_EQ(s.dt, (w.x.back() - w.x.front()) / static_cast<double>(c.n));
    const Reference ref = reference_spectrum(w.x, w.y, c.n);
    for (size_t k = 0; k < c.n / 2; ++k) {
      EXPECT_NEAR(s.frequency[k], ref.frequency[k], 1e-12 * ref.frequency.back()) << k;
      ASSERT_NEAR(s.pairs[2 * k], ref.re[k], 1e-12) << "line " << k;
      ASSERT_NEAR(s.pairs[2 * k + 1], ref.im[k], 1e-12) << "line " << k;
      worst =
          std::max({worst, std::abs(s.pairs[2 * k] - ref.re[k]), std::abs(s.pairs[2 * k + 1] - ref.im[k])});
    }
  }
  RecordProperty("worst_difference", ::testing::PrintToString(worst));
}

TEST(FftSpectrum, PhaseFollowsThePositiveExponent) {
  // x_n = A cos(2 pi k n / N + phi). With X_k = sum x_n e^(+2 pi i n k / N) only
  // the e^(-i(...)) half of the cosine survives at line k: X_k / (N/2) =
  // A e^(-i phi). A sine (phi = -90 degrees) therefore reads +90 degrees, A i.
  const size_t n = 256, k = 12;
  const double duration = 1e-3, f = k / duration;
  for (double degrees : {0.0, 30.0, -90.0, 135.0, -170.0}) {
    SCOPED_TRACE(degrees);
    const double phi = degrees * M_PI / 180;
    const FftSpectrum s = spectrum_of(on_grid(n, duration, 1.5, f, phi), {.points = n});
    EXPECT_NEAR(s.frequency[k], f, 1e-9);
    EXPECT_NEAR(s.pairs[2 * k], 1.5 * std::cos(phi), 1e-12);
    EXPECT_NEAR(s.pairs[2 * k + 1], -1.5 * std::sin(phi), 1e-12);
  }
  const FftSpectrum sine = spectrum_of(on_grid(n, duration, 1, f, -M_PI / 2), {.points = n});
  EXPECT_NEAR(std::atan2(sine.pairs[2 * k + 1], sine.pairs[2 * k]) * 180 / M_PI, 90, 1e-9);
}

TEST(FftSpectrum, SampleCountAndLineSpacing) {
  // 1000 points: N = 1024 and 512 lines. 10000 points: still 8192 samples,
  // spread over the whole record.
  const Waveform w1000 = irregular(1000, 1);
  const FftSpectrum s1000 = spectrum_of(w1000);
  EXPECT_EQ(s1000.samples, 1024);
  EXPECT_EQ(s1000.frequency.size(), 512u);
  EXPECT_EQ(fft_size(1000, {}), 1024);
  EXPECT_EQ(fft_size(1024, {}), 1024);
  EXPECT_EQ(fft_size(1025, {}), 2048);
  EXPECT_EQ(fft_size(2, {}), 2);

  const Waveform w = irregular(10000, 2);
  const FftSpectrum s = spectrum_of(w);
  EXPECT_EQ(s.samples, 8192);
  EXPECT_EQ(s.frequency.size(), 4096u);
  const double duration = w.x.back() - w.x.front();
  EXPECT_DOUBLE_EQ(s.dt * 8192, duration);
  EXPECT_EQ(s.frequency[0], 0);
  EXPECT_NEAR(s.frequency[1], 1 / duration, 1e-9 / duration);
  EXPECT_NEAR(s.frequency[4095], 4095 / duration, 1e-9 / duration);

  // The points option lifts the cap and also takes fewer samples than points.
  EXPECT_EQ(spectrum_of(w, {.points = 1 << 15}).samples, 1 << 15);
  EXPECT_EQ(spectrum_of(w, {.points = 4}).frequency.size(), 2u);
}

TEST(FftSpectrum, SineOfAmplitudeTwoAtOneKilohertz) {
  // 1001 points over 10 ms: N = 1024, lines 100 Hz apart, the sine on line 10.
  Waveform w;
  for (int i = 0; i <= 1000; ++i) {
    const double t = i * 1e-5;
    w.x.push_back(t);
    w.y.push_back(2 * std::sin(2 * M_PI * 1000 * t));
  }
  const FftSpectrum s = spectrum_of(w);
  ASSERT_EQ(s.samples, 1024);
  EXPECT_NEAR(s.frequency[1], 100, 1e-9);
  EXPECT_NEAR(s.frequency[10], 1000, 1e-9);
  // Linear interpolation at 100 points a period costs about 3e-4 of the amplitude.
  EXPECT_NEAR(magnitude(s, 10), 2, 2e-3);
  for (size_t k = 0; k < s.frequency.size(); ++k)
    if (k != 10) {
      EXPECT_LT(magnitude(s, k), 2e-3) << "line " << k;
    }
}

TEST(FftSpectrum, ConstantIsItsValueAtZeroHertz) {
  for (size_t points : {2u, 7u, 1000u}) {
    SCOPED_TRACE(points);
    Waveform w = irregular(points, 3);
    std::fill(w.y.begin(), w.y.end(), 3.0);
    const FftSpectrum s = spectrum_of(w);
    EXPECT_NEAR(s.pairs[0], 3, 1e-13);
    EXPECT_EQ(s.pairs[1], 0);
    for (size_t k = 1; k < s.frequency.size(); ++k) EXPECT_LT(magnitude(s, k), 1e-13) << "line " << k;
  }
}

TEST(FftRecord, WindowTakesFromStartToTheFirstPointPastTheEnd) {
  const std::vector<double> x = {0, 0.5e-3, 1.5e-3, 2e-3, 2.7e-3, 3.1e-3, 4e-3, 4.6e-3, 5e-3, 6e-3};
  // A point on the start opens the window; the one on the end and the first one
  // past it are both taken.
  FftRecord r = fft_record(x, 2e-3, 4e-3);
  EXPECT_EQ(r.first, 3u);
  EXPECT_EQ(r.count, 5u);  // 2, 2.7, 3.1, 4, 4.6 ms
  // Starts and ends between points.
  r = fft_record(x, 1.9e-3, 4.1e-3);
  EXPECT_EQ(r.first, 3u);
  EXPECT_EQ(r.count, 5u);
  r = fft_record(x, 0.1e-3, 0.9e-3);
  EXPECT_EQ(r.first, 1u);
  EXPECT_EQ(r.count, 2u);
  // An end beyond the data takes the rest; a start beyond it begins at point 0.
  r = fft_record(x, 4.5e-3, 9);
  EXPECT_EQ(r.first, 7u);
  EXPECT_EQ(r.count, 3u);
  r = fft_record(x, 7e-3, 9e-3);
  EXPECT_EQ(r.first, 0u);
  EXPECT_EQ(r.count, x.size());
  // No window at all: end at or before start.
  for (auto [a, b] : {std::pair{0.0, 0.0}, std::pair{3e-3, 2e-3}, std::pair{2e-3, 2e-3}}) {
    r = fft_record(x, a, b);
    EXPECT_EQ(r.first, 0u);
    EXPECT_EQ(r.count, x.size());
  }
  EXPECT_EQ(fft_record({}, 0, 1).count, 0u);
}

TEST(FftSpectrum, WindowIsTheSpectrumOfTheShiftedRecord) {
  const Waveform w = irregular(6000, 4);  // 1 ms to about 7 ms
  const double start = 2e-3, end = 4e-3;
  const FftRecord r = fft_record(w.x, start, end);
  ASSERT_GE(w.x[r.first], start);
  ASSERT_LT(w.x[r.first - 1], start);
  ASSERT_GT(w.x[r.first + r.count - 1], end);
  ASSERT_LE(w.x[r.first + r.count - 2], end);

  // The same points moved to start at 0 and transformed whole: the same lines,
  // phases included, so the window's own start is time 0.
  Waveform shifted;
  for (size_t i = r.first; i < r.first + r.count; ++i) {
    shifted.x.push_back(w.x[i] - w.x[r.first]);
    shifted.y.push_back(w.y[i]);
  }
  const FftSpectrum windowed = spectrum_of(w, {}, start, end);
  const FftSpectrum whole = spectrum_of(shifted);
  ASSERT_EQ(windowed.samples, fft_size(r.count, {}));
  ASSERT_EQ(windowed.samples, whole.samples);
  const double duration = w.x[r.first + r.count - 1] - w.x[r.first];
  EXPECT_NEAR(windowed.frequency[1], 1 / duration, 1e-9 / duration);
  for (size_t k = 0; k < whole.frequency.size(); ++k) {
    ASSERT_NEAR(windowed.frequency[k], whole.frequency[k], 1e-9 * whole.frequency.back());
    ASSERT_NEAR(windowed.pairs[2 * k], whole.pairs[2 * k], 1e-9) << "line " << k;
    ASSERT_NEAR(windowed.pairs[2 * k + 1], whole.pairs[2 * k + 1], 1e-9) << "line " << k;
  }

  // A window past the data takes every point.
  const FftSpectrum past = spectrum_of(w, {}, 8e-3, 9e-3);
  const FftSpectrum all = spectrum_of(w);
  EXPECT_EQ(past.pairs, all.pairs);
}

TEST(FftNames, VoltagesCurrentsAndOthers) {
  EXPECT_EQ(fft_output_name("V(OUT)"), "VFFT(OUT)");
  EXPECT_EQ(fft_output_name("i(r1)"), "iFFT(r1)");
  EXPECT_EQ(fft_output_name("v(a,b)"), "vFFT(a,b)");
  EXPECT_EQ(fft_output_name("N1"), "FFT[N1]");
  EXPECT_EQ(fft_output_name("X(1)"), "FFT[X(1)]");
  EXPECT_EQ(fft_output_name("VDB(OUT)"), "FFT[VDB(OUT)]");
  EXPECT_EQ(fft_output_name("V"), "FFT[V]");
  EXPECT_EQ(fft_output_name(""), "FFT[]");
}

TEST(FftSpectrum, TooFewPointsOrNoDuration) {
  FftSpectrum s;
  const std::vector<double> one = {1}, two_x = {1, 1}, two_y = {2, 3};
  EXPECT_EQ(fft_spectrum(one, one, 0, 0, {}, s), FFT_NO_POINTS);
  EXPECT_EQ(fft_spectrum({}, {}, 0, 0, {}, s), FFT_NO_POINTS);
  EXPECT_EQ(fft_spectrum(two_x, two_y, 0, 0, {}, s), FFT_NO_POINTS);
  // Fewer y values than x values: only the pairs count.
  const std::vector<double> x3 = {0, 1, 2};
  EXPECT_EQ(fft_spectrum(x3, one, 0, 0, {}, s), FFT_NO_POINTS);
  // A window holding only the last point.
  EXPECT_EQ(fft_spectrum(x3, x3, 2, 5, {}, s), FFT_NO_POINTS);
  // Time running backwards.
  const std::vector<double> back = {2, 1, 0};
  EXPECT_EQ(fft_spectrum(back, x3, 0, 0, {}, s), FFT_NO_POINTS);
}

TEST(FftSpectrum, NonFiniteInputEndsWithoutHangingOrCrashing) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const std::vector<std::vector<double>> xs = {
      {0, nan, 2, 3},        {nan, 1, 2, 3},
      {0, 1, 2, nan},        {nan, nan, nan, nan},
      {0, 1, 2, inf},        {-inf, 0, 1, 2},
      {0, inf, 2, 3},        {0, 3, 1, 2},
      {-1e308, 0, 0, 1e308}, {0, 1e-310, 2e-310, 3e-310},
      {0, 1, 1, 1},          {0, nan, inf, 3},
      {0, -inf, -inf, 1e-3},
  };
  const std::vector<double> y = {1, -1, 2, 0.5};
  const std::vector<double> y_bad = {1, nan, inf, -inf};
  const std::vector<std::pair<double, double>> windows = {
      {0, 0}, {nan, 1}, {0.5, nan}, {-inf, inf}, {1, inf}};
  const std::vector<FftOptions> options = {{},
                                           {.points = 1 << 12},
                                           {.window = FFT_WINDOW_HANN},
                                           {.fundamental = 1},
                                           {.fundamental = inf},
                                           {.fundamental = nan},
                                           {.fundamental = 1e-300},
                                           {.fundamental = 1e300}};
  for (const auto& x : xs)
    for (const auto& yy : {y, y_bad})
      for (const auto& [a, b] : windows)
        for (const FftOptions& o : options) {
          FftSpectrum s;
          const FftStatus status = fft_spectrum(x, yy, a, b, o, s);
          EXPECT_NE(status, FFT_NO_MEMORY);
          if (status == FFT_OK) {
            EXPECT_EQ(s.frequency.size(), static_cast<size_t>(s.samples / 2));
            EXPECT_EQ(s.pairs.size(), static_cast<size_t>(s.samples));
          }
        }
}

TEST(FftOptions, PointsArePowersOfTwoUpToTheLimit) {
  for (int64_t n : {int64_t{2}, int64_t{4}, int64_t{1024}, int64_t{8192}, int64_t{1} << 20, kFftMaxPoints})
    EXPECT_TRUE(fft_points_valid(n)) << n;
  for (int64_t n : {int64_t{-2}, int64_t{0}, int64_t{1}, int64_t{3}, int64_t{6}, int64_t{1000},
                    kFftMaxPoints + 1, kFftMaxPoints * 2, std::numeric_limits<int64_t>::min()})
    EXPECT_FALSE(fft_points_valid(n)) << n;
  EXPECT_EQ(fft_size(1000, {.points = 1 << 14}), 1 << 14);
  EXPECT_EQ(fft_size(100000, {.points = 16}), 16);
}

TEST(FftOptions, WindowNames) {
  EXPECT_EQ(fft_window_from_name("none"), FFT_WINDOW_NONE);
  EXPECT_EQ(fft_window_from_name("Hann"), FFT_WINDOW_HANN);
  EXPECT_EQ(fft_window_from_name("HAMMING"), FFT_WINDOW_HAMMING);
  EXPECT_EQ(fft_window_from_name("blackman"), FFT_WINDOW_BLACKMAN);
  EXPECT_EQ(fft_window_from_name("FlatTop"), FFT_WINDOW_FLATTOP);
  EXPECT_EQ(fft_window_from_name("flat-top"), FFT_WINDOW_FLATTOP);
  EXPECT_EQ(fft_window_from_name("3"), FFT_WINDOW_BLACKMAN);
  for (const char* bad : {"", "5", "-1", "hanning", "flat top", "03"})
    EXPECT_EQ(fft_window_from_name(bad), -1) << bad;
}

TEST(FftOptions, WindowsKeepTheAmplitudeOfASine) {
  const size_t n = 1024;
  const double duration = 1e-3;
  for (int window = FFT_WINDOW_HANN; window < kFftWindows; ++window) {
    SCOPED_TRACE(kFftWindowNames[window]);
    // On a line: the coherent gain is corrected exactly.
    const FftSpectrum on =
        spectrum_of(on_grid(n, duration, 2.5, 40 / duration, 0.3), {.points = n, .window = window});
    EXPECT_NEAR(magnitude(on, 40), 2.5, 1e-9);

    // Half way between two lines: the far sidelobes fall well below those of
    // no window (Hamming's, which never reach zero at the ends, only to about
    // a seventh).
    const Waveform between = on_grid(n, duration, 2.5, 40.5 / duration, 0.3);
    const FftSpectrum w = spectrum_of(between, {.points = n, .window = window});
    const FftSpectrum plain = spectrum_of(between, {.points = n});
    const double below = window == FFT_WINDOW_HAMMING ? 5 : 100;
    for (size_t k : {20u, 60u, 100u}) EXPECT_LT(magnitude(w, k), magnitude(plain, k) / below) << "line " << k;
  }
  // The flat-top window reads the amplitude anywhere between two lines; its
  // worst, half way, is 0.11 % low (0.0097 dB, the window's own flatness).
  for (double offset : {0.0, 0.1, 0.25, 0.4, 0.5, 0.75}) {
    SCOPED_TRACE(offset);
    const FftSpectrum w = spectrum_of(on_grid(n, duration, 2.5, (40 + offset) / duration, 1.1),
                                      {.points = n, .window = FFT_WINDOW_FLATTOP});
    const double peak = std::max({magnitude(w, 39), magnitude(w, 40), magnitude(w, 41), magnitude(w, 42)});
    EXPECT_NEAR(peak, 2.5, 2.5 * 1.5e-3);
    if (offset <= 0.25 || offset >= 0.75) {
      EXPECT_NEAR(peak, 2.5, 2.5 * 1e-3);
    }
  }
}

TEST(FftOptions, PeriodsPutTheFundamentalOnALine) {
  // 1 kHz over 10.37 ms: without the option the sine falls 0.37 of the way
  // between two lines and leaks; with it the last 10 periods are taken.
  Waveform w;
  for (int i = 0; i <= 10370; ++i) {
    const double t = i * 1e-6;
    w.x.push_back(t);
    w.y.push_back(std::sin(2 * M_PI * 1000 * t + 0.4));
  }
  const FftSpectrum s = spectrum_of(w, {.fundamental = 1000});
  ASSERT_EQ(s.samples, 8192);
  EXPECT_NEAR(s.dt * 8192, 10e-3, 1e-15);
  EXPECT_NEAR(s.frequency[10], 1000, 1e-9);
  EXPECT_NEAR(magnitude(s, 10), 1, 1e-3);
  for (size_t k : {1u, 5u, 9u, 11u, 15u, 30u}) EXPECT_LT(magnitude(s, k), 1e-3) << "line " << k;

  // The periods are the last ones: a start-up transient in the first 0.37 ms
  // stays out of the spectrum.
  Waveform settling = w;
  for (size_t i = 0; i < settling.x.size(); ++i) settling.y[i] += 5 * std::exp(-settling.x[i] / 50e-6);
  const FftSpectrum settled = spectrum_of(settling, {.fundamental = 1000});
  EXPECT_NEAR(magnitude(settled, 10), 1, 1e-3);
  for (size_t k : {0u, 1u, 2u, 9u, 11u}) EXPECT_LT(magnitude(settled, k), 1e-3) << "line " << k;

  const FftSpectrum leaky = spectrum_of(w);
  const double spacing = leaky.frequency[1];
  const auto nearest = static_cast<size_t>(std::lround(1000 / spacing));
  EXPECT_GT(std::abs(magnitude(leaky, nearest) - 1), 0.1);
  EXPECT_GT(magnitude(leaky, nearest + 1), 0.1);

  // A record a rounding short of whole periods still counts them all.
  const Waveform exact = on_grid(4096, std::nextafter(10e-3, 0.0), 1, 1000);
  const FftSpectrum e = spectrum_of(exact, {.points = 4096, .fundamental = 1000});
  EXPECT_NEAR(e.frequency[1], 100, 1e-6);
  EXPECT_NEAR(magnitude(e, 10), 1, 1e-6);

  // Whole periods of a harmonic: the fundamental's periods hold it too.
  Waveform harmonics;
  for (int i = 0; i <= 7777; ++i) {
    const double t = i * 1e-6;
    harmonics.x.push_back(t);
    harmonics.y.push_back(std::cos(2 * M_PI * 500 * t) + 0.25 * std::cos(2 * M_PI * 1500 * t));
  }
  const FftSpectrum h = spectrum_of(harmonics, {.fundamental = 500});
  EXPECT_NEAR(h.frequency[1], 500.0 / 3, 1e-6);  // 3 whole periods of 2 ms
  EXPECT_NEAR(magnitude(h, 3), 1, 1e-3);
  EXPECT_NEAR(magnitude(h, 9), 0.25, 1e-3);
}

// ---------------------------------------------------------------------------
// The store side.

struct FftStore : ::testing::Test, CalcStore {
  const DataVector* time = nullptr;
  const DataVector* out = nullptr;
  Waveform w;

  // 1001 points over 10 ms of a 1 kHz sine of amplitude a in the class.
  const DataVector* add_sine(const std::string& name, double a, int cls = DATA_CLASS_BINARY) {
    w = {};
    for (int i = 0; i <= 1000; ++i) {
      w.x.push_back(i * 1e-5);
      w.y.push_back(a * std::sin(2 * M_PI * 1000 * w.x.back()));
    }
    time = add("TIME", w.x, nullptr, ANALYSIS_TRAN, cls);
    return add(name, w.y, time, ANALYSIS_TRAN, cls);
  }
  void SetUp() override { out = add_sine("V(OUT)", 2); }
};

TEST_F(FftStore, RegistersFrequenciesAndTheComplexSpectrum) {
  const int before = store.data_class(DATA_CLASS_DERIVED)->count;
  const DataVector* v = fft_transform(store, *out, DATA_CLASS_DERIVED, 0, 0);
  ASSERT_TRUE(v) << notify.last();
  EXPECT_EQ(v->name, "VFFT(OUT)");
  EXPECT_EQ(v->data_class, DATA_CLASS_DERIVED);
  EXPECT_EQ(v->kind, ANALYSIS_AC);
  EXPECT_EQ(v->complex, 1);
  EXPECT_EQ(v->quantity, quantity_code(ANALYSIS_AC, "VFFT(OUT)"));
  EXPECT_EQ(v->points, 512);
  const DataVector* freq = v->x;
  ASSERT_TRUE(freq);
  EXPECT_EQ(freq->name, "FREQ");
  EXPECT_EQ(freq->data_class, DATA_CLASS_DERIVED);
  EXPECT_EQ(freq->kind, ANALYSIS_AC);
  EXPECT_EQ(freq->quantity, 0);
  EXPECT_EQ(freq->complex, 0);
  EXPECT_EQ(freq->x, nullptr);
  EXPECT_EQ(freq->points, 512);
  EXPECT_EQ(store.data_class(DATA_CLASS_DERIVED)->count, before + 2);
  EXPECT_EQ(store.find_vector("vfft(out)", DATA_CLASS_DERIVED, ANALYSIS_AC, -1, 1), v);

  const FftSpectrum s = spectrum_of(w);
  EXPECT_EQ(values(freq), s.frequency);
  EXPECT_EQ(values(v), s.pairs);
  EXPECT_NEAR(std::hypot(s.pairs[20], s.pairs[21]), 2, 2e-3);
  EXPECT_TRUE(notify.entries().empty());
}

TEST_F(FftStore, WindowedTransformSpacesLinesByTheRecord) {
  const DataVector* v = fft_transform(store, *out, DATA_CLASS_DERIVED, 1.995e-3, 4.005e-3);
  ASSERT_TRUE(v);
  // 2.00 to 4.01 ms: 202 points, N = 256.
  EXPECT_EQ(v->points, 128);
  const auto f = values(v->x);
  EXPECT_NEAR(f[1], 1 / 2.01e-3, 1e-6);
}

TEST_F(FftStore, KeepsTheRunLabelOfItsSource) {
  store.set_label("Temp=50", DATA_CLASS_BINARY);
  const DataVector* hot = add_sine("V(HOT)", 1);
  store.reset_current_label(DATA_CLASS_BINARY);
  ASSERT_TRUE(store.vector_label(*hot));

  const DataVector* v = fft_transform(store, *hot, DATA_CLASS_DERIVED, 0, 0);
  ASSERT_TRUE(v);
  ASSERT_TRUE(store.vector_label(*v));
  EXPECT_EQ(*store.vector_label(*v), "Temp=50");
  ASSERT_TRUE(store.vector_label(*v->x));
  EXPECT_EQ(*store.vector_label(*v->x), "Temp=50");
  // The target class's own current label is left as it was.
  EXPECT_EQ(store.data_class(DATA_CLASS_DERIVED)->current_label, 0);
  const DataVector* plain = fft_transform(store, *out, DATA_CLASS_DERIVED, 0, 0);
  ASSERT_TRUE(plain);
  EXPECT_FALSE(store.vector_label(*plain));
}

TEST_F(FftStore, ShortRecordForTheFundamentalSaysSo) {
  FftSpectrum s;
  const std::vector<double> x(w.x.begin(), w.x.begin() + 51), y(w.y.begin(), w.y.begin() + 51);  // 0.5 ms
  EXPECT_EQ(fft_spectrum(x, y, 0, 0, {.fundamental = 1000}, s), FFT_SHORT_RECORD);
  EXPECT_EQ(fft_spectrum(w.x, w.y, 0, 0, {.fundamental = 99}, s), FFT_SHORT_RECORD);  // 10 ms < 1/99 s
  EXPECT_EQ(fft_spectrum(w.x, w.y, 0, 0, {.fundamental = 100}, s), FFT_OK);

  const int before = store.data_class(DATA_CLASS_DERIVED)->count;
  EXPECT_EQ(fft_transform(store, *out, DATA_CLASS_DERIVED, 0, 0, {.fundamental = 50}), nullptr);
  ASSERT_EQ(notify.entries().size(), 1u);
  EXPECT_EQ(notify.entries()[0].kind, NoticeKind::Error);
  EXPECT_EQ(notify.last(), "FFT of V(OUT): the data is shorter than one period of 50 Hz");
  notify.clear();
  // A window that leaves too little of the record says so as well.
  EXPECT_EQ(fft_transform(store, *out, DATA_CLASS_DERIVED, 2e-3, 2.5e-3, {.fundamental = 1000}), nullptr);
  EXPECT_EQ(notify.last(), "FFT of V(OUT): the data is shorter than one period of 1K Hz");
  EXPECT_EQ(store.data_class(DATA_CLASS_DERIVED)->count, before);
}

TEST_F(FftStore, NothingToTransformGivesNullQuietly) {
  const int before = store.data_class(DATA_CLASS_DERIVED)->count;
  const DataVector* one_time = add("T1", {0}, nullptr);
  const DataVector* one = add("V(ONE)", {5}, one_time);
  EXPECT_EQ(fft_transform(store, *one, DATA_CLASS_DERIVED, 0, 0), nullptr);
  const DataVector* c =
      add("V(C)", {1, 0, 2, 0}, add("TC", {0, 1}, nullptr), ANALYSIS_TRAN, DATA_CLASS_BINARY, 1);
  EXPECT_EQ(fft_transform(store, *c, DATA_CLASS_DERIVED, 0, 0), nullptr);
  EXPECT_EQ(fft_transform(store, *time, DATA_CLASS_DERIVED, 0, 0), nullptr);  // no x vector
  EXPECT_EQ(store.data_class(DATA_CLASS_DERIVED)->count, before);
  EXPECT_TRUE(notify.entries().empty());
}

TEST_F(FftStore, ByNameFindsTheTransientRunAndWritesClassZero) {
  // Two runs of V(S) in the text class, and names that must not be taken.
  add_sine("V(S)", 1, DATA_CLASS_TEXT);
  add_sine("V(S)", 3, DATA_CLASS_TEXT);
  add("V(AC)", {1, 2}, add("FREQ", {1, 2}, nullptr, ANALYSIS_AC, DATA_CLASS_TEXT), ANALYSIS_AC,
      DATA_CLASS_TEXT);
  add("V(C)", {1, 0, 2, 0}, time, ANALYSIS_TRAN, DATA_CLASS_TEXT, 1);

  const DataVector* first = fft_of_named(store, "v(s)", DATA_CLASS_TEXT);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->data_class, DATA_CLASS_BINARY);
  EXPECT_EQ(first->name, "VFFT(S)");  // the stored name, not the one asked for
  EXPECT_EQ(first->kind, ANALYSIS_AC);
  EXPECT_EQ(first->x->data_class, DATA_CLASS_BINARY);
  auto pairs = values(first);
  EXPECT_NEAR(std::hypot(pairs[20], pairs[21]), 1, 1e-3);

  const DataVector* second = fft_of_named(store, "V(S)", DATA_CLASS_TEXT, 2);
  ASSERT_TRUE(second);
  EXPECT_EQ(second->data_class, DATA_CLASS_BINARY);
  pairs = values(second);
  EXPECT_NEAR(std::hypot(pairs[20], pairs[21]), 3, 3e-3);

  const int before = store.data_class(DATA_CLASS_BINARY)->count;
  EXPECT_EQ(fft_of_named(store, "V(S)", DATA_CLASS_TEXT, 3), nullptr);  // no such run
  EXPECT_EQ(fft_of_named(store, "V(AC)", DATA_CLASS_TEXT), nullptr);    // not transient
  EXPECT_EQ(fft_of_named(store, "V(C)", DATA_CLASS_TEXT), nullptr);     // complex
  EXPECT_EQ(fft_of_named(store, "TIME", DATA_CLASS_TEXT), nullptr);     // no x vector
  EXPECT_EQ(fft_of_named(store, "V(NONE)", DATA_CLASS_TEXT), nullptr);
  EXPECT_EQ(fft_of_named(store, "V(OUT)", DATA_CLASS_TEXT), nullptr);  // in another class
  EXPECT_EQ(store.data_class(DATA_CLASS_BINARY)->count, before);
}

// ---------------------------------------------------------------------------

TEST(FftPlans, ReusedAcrossSizesAndThreads) {
  // Plans are kept per size and run on fresh buffers each time: every call of
  // one size gives the same bits, from any thread.
  const std::vector<int64_t> sizes = {64, 1024, 4096, 1 << 14};
  const Waveform w = irregular(3000, 9);
  std::vector<std::vector<double>> expected;
  for (int64_t n : sizes) expected.push_back(spectrum_of(w, {.points = n}).pairs);
  std::vector<int> mismatches(4, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int round = 0; round < 5; ++round)
        for (size_t i = 0; i < sizes.size(); ++i) {
          const size_t which = (i + static_cast<size_t>(t)) % sizes.size();
          FftSpectrum s;
          if (fft_spectrum(w.x, w.y, 0, 0, {.points = sizes[which]}, s) != FFT_OK ||
              s.pairs != expected[which])
            ++mismatches[t];
        }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}

}  // namespace
}  // namespace zephyrim
