#include "viewer/calc/fft.h"

#include <fftw3.h>
#include <sys/mman.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <new>

#include "common/eng_number.h"
#include "common/notify.h"
#include "common/text_format.h"
#include "viewer/data/data_store.h"

namespace zephyrim {

const char* const kFftWindowNames[kFftWindows] = {"none", "hann", "hamming", "blackman", "flattop"};

namespace {

// The buffer of a transform, done in place: the samples go in, the spectrum
// comes out. A small one is kept for the next transform of the thread, so that
// repeated transforms do not fault their memory in again; a large one asks for
// huge pages and goes back at once.
class WorkBuffer {
 public:
  ~WorkBuffer() { std::free(data_); }
  // Room for n doubles, or null.
  double* get(size_t n) {
    if (n <= capacity_) return data_;
    std::free(data_);
    data_ = nullptr;
    capacity_ = 0;
    const size_t bytes = n * sizeof(double);
    const size_t align = bytes >= kHugeBytes ? kHugeBytes : 64;
    void* p = nullptr;
    if (posix_memalign(&p, align, (bytes + align - 1) / align * align) != 0) return nullptr;
    if (bytes >= kHugeBytes) madvise(p, bytes, MADV_HUGEPAGE);  // refused harmlessly where not offered
    data_ = static_cast<double*>(p);
    capacity_ = n;
    return data_;
  }
  void done() {
    if (capacity_ * sizeof(double) <= kKeptBytes) return;
    std::free(data_);
    data_ = nullptr;
    capacity_ = 0;
  }

 private:
  static constexpr size_t kHugeBytes = size_t{2} << 20;
  static constexpr size_t kKeptBytes = size_t{16} << 20;
  double* data_ = nullptr;
  size_t capacity_ = 0;
};

// One real-to-complex plan per size, made at its first use and kept for the
// process. Estimated plans cost milliseconds where measured ones cost seconds
// at large sizes; wisdom the system keeps (fftw-wisdom) makes them better.
class PlanCache {
 public:
  ~PlanCache() {
    for (auto& [n, p] : plans_) fftw_destroy_plan(p);
  }
  // An in-place plan: the input in buffer, the N/2 + 1 lines over it.
  fftw_plan plan(int64_t n, double* buffer) {
    std::lock_guard lock(mutex_);  // the planner is not thread-safe
    if (!wisdom_read_) {
      fftw_import_system_wisdom();
      wisdom_read_ = true;
    }
    auto it = plans_.find(n);
    if (it != plans_.end()) return it->second;
    fftw_plan p = fftw_plan_dft_r2c_1d(static_cast<int>(n), buffer, reinterpret_cast<fftw_complex*>(buffer),
                                       FFTW_ESTIMATE);
    if (p) plans_.emplace(n, p);
    return p;
  }

 private:
  std::mutex mutex_;
  std::map<int64_t, fftw_plan> plans_;
  bool wisdom_read_ = false;
};

PlanCache& plans() {
  static PlanCache cache;
  return cache;
}

// The window's weight at sample i of n (the periodic forms, whose mean is
// their coherent gain).
double window_weight(int window, int64_t i, int64_t n) {
  const double a = 2 * M_PI * static_cast<double>(i) / static_cast<double>(n);
  switch (window) {
    case FFT_WINDOW_HANN:
      return 0.5 - 0.5 * std::cos(a);
    case FFT_WINDOW_HAMMING:
      return 0.54 - 0.46 * std::cos(a);
    case FFT_WINDOW_BLACKMAN:
      return 0.42 - 0.5 * std::cos(a) + 0.08 * std::cos(2 * a);
    case FFT_WINDOW_FLATTOP:
      return 0.21557895 - 0.41663158 * std::cos(a) + 0.277263158 * std::cos(2 * a) -
             0.083578947 * std::cos(3 * a) + 0.006947368 * std::cos(4 * a);
    default:
      return 1;
  }
}

// The last index at or below which x stays at or below t, from lo (x[lo] <= t)
// up to last - 1: a gallop from the step the previous sample took, then a
// search that guesses by interpolation, with halving every other probe so that
// uneven steps cost no more than a binary search.
size_t advance(std::span<const double> x, size_t lo, double t, size_t step) {
  const size_t last = x.size() - 1;
  size_t hi = lo + step;
  while (hi < last && x[hi] <= t) {
    lo = hi;
    step *= 2;
    hi = lo + step;
  }
  if (hi >= last) {
    if (x[last] <= t) return last - 1;
    hi = last;
  }
  for (bool halve = false; hi - lo > 1; halve = !halve) {
    size_t mid = lo + (hi - lo) / 2;
    if (!halve && x[hi] > x[lo]) {
      const double guess =
          static_cast<double>(lo) + (t - x[lo]) / (x[hi] - x[lo]) * static_cast<double>(hi - lo);
      mid = std::clamp(static_cast<size_t>(guess), lo + 1, hi - 1);
    }
    (x[mid] <= t ? lo : hi) = mid;
  }
  return lo;
}

// Fills n samples of y at t0 + i dt by linear interpolation between the
// neighbouring points of the record. The search carries over from one sample
// to the next: a short way is stepped, a longer one searched, so that a
// record far longer than n is not read whole.
void resample(std::span<const double> x, std::span<const double> y, double t0, double dt, int64_t n,
              double* out) {
  constexpr size_t kSteps = 64;  // points stepped over one by one before the way is searched
  const size_t last = x.size() - 1;
  size_t j = 0;  // x[j] <= t < x[j + 1] where the data allows
  size_t taken = 1;
  for (int64_t i = 0; i < n; ++i) {
    const double t = t0 + static_cast<double>(i) * dt;
    const size_t from = j;
    size_t k = 0;
    while (k < kSteps && j + 1 < last && x[j + 1] <= t) ++j, ++k;
    if (k == kSteps && j + 1 < last && x[j + 1] <= t)
      j = advance(x, j + 1, t, std::max<size_t>(taken / 2, 1));
    if (j > from) taken = j - from;
    const double x0 = x[j], x1 = x[j + 1];
    if (t == x0 || x1 == x0)
      out[i] = y[j];
    else if (t == x1)
      out[i] = y[j + 1];
    else  // beyond either end the two end points extrapolate
      out[i] = y[j] + (y[j + 1] - y[j]) * (t - x0) / (x1 - x0);
  }
}

// A transform done, its lines scaled and left in the work buffer.
struct Lines {
  const double* pairs = nullptr;  // (real, imaginary) of lines 0 .. half - 1
  size_t half = 0;
  int64_t n = 0;
  double dt = 0;
  double df = 0;
};

FftStatus transform(std::span<const double> x, std::span<const double> y, double window_start,
                    double window_end, const FftOptions& options, WorkBuffer& work, Lines& lines);

}  // namespace

int fft_window_from_name(std::string_view text) {
  const std::string lower = ascii_lower(text);
  if (lower == "flat-top") return FFT_WINDOW_FLATTOP;
  for (int w = 0; w < kFftWindows; ++w)
    if (lower == kFftWindowNames[w] || lower == std::to_string(w)) return w;
  return -1;
}

bool fft_points_valid(int64_t n) {
  return n >= 2 && n <= kFftMaxPoints && std::has_single_bit(static_cast<uint64_t>(n));
}

std::string fft_output_name(std::string_view name) {
  if (name.size() >= 2 && name[1] == '(' && (ascii_upper(name[0]) == 'V' || ascii_upper(name[0]) == 'I'))
    return std::string(1, name[0]) + "FFT" + std::string(name.substr(1));
  return "FFT[" + std::string(name) + "]";
}

FftRecord fft_record(std::span<const double> x, double window_start, double window_end) {
  if (x.empty()) return {};
  if (!(window_end > window_start)) return {0, x.size()};
  size_t first = 0;
  while (first < x.size() && !(x[first] >= window_start)) ++first;
  if (first == x.size()) first = 0;
  size_t end = first;
  while (end + 1 < x.size() && !(x[end] > window_end)) ++end;
  return {first, end - first + 1};
}

int64_t fft_size(size_t taken, const FftOptions& options) {
  if (fft_points_valid(options.points)) return options.points;
  int64_t n = 2;
  while (n < static_cast<int64_t>(taken) && n < kFftDefaultMaxPoints) n *= 2;
  return n;
}

namespace {

FftStatus transform(std::span<const double> x, std::span<const double> y, double window_start,
                    double window_end, const FftOptions& options, WorkBuffer& work, Lines& lines) {
  const size_t points = std::min(x.size(), y.size());
  const FftRecord record = fft_record(x.first(points), window_start, window_end);
  if (record.count < 2) return FFT_NO_POINTS;
  const auto xs = x.subspan(record.first, record.count);
  const auto ys = y.subspan(record.first, record.count);
  double t0 = xs.front();
  const double t_end = xs.back();
  if (!(t_end > t0) || !std::isfinite(t_end - t0)) return FFT_NO_POINTS;
  if (options.fundamental > 0) {
    // The last whole periods: a transient has settled at its end.
    const double periods = std::floor((t_end - t0) * options.fundamental * (1 + 1e-12));
    if (periods < 1) return FFT_SHORT_RECORD;
    t0 = std::max(t0, t_end - periods / options.fundamental);
  }
  const int64_t n = fft_size(record.count, options);
  const double dt = (t_end - t0) / static_cast<double>(n);
  const size_t half = static_cast<size_t>(n / 2);
  double* buffer = work.get(2 * (half + 1));
  if (!buffer) return FFT_NO_MEMORY;
  resample(xs, ys, t0, dt, n, buffer);
  double gain = 1;
  if (options.window != FFT_WINDOW_NONE) {
    double sum = 0;
    for (int64_t i = 0; i < n; ++i) {
      const double w = window_weight(options.window, i, n);
      buffer[i] *= w;
      sum += w;
    }
    gain = sum / static_cast<double>(n);
  }
  fftw_plan plan = plans().plan(n, buffer);
  if (!plan) return FFT_NO_MEMORY;
  auto* spectrum = reinterpret_cast<fftw_complex*>(buffer);
  fftw_execute_dft_r2c(plan, buffer, spectrum);
  // FFTW's forward sign is the opposite of ours: the conjugate. Lines are
  // amplitudes; the 0 Hz term, halved, is the mean.
  const double scale = 1 / (static_cast<double>(half) * gain);
  buffer[0] *= scale / 2;
  buffer[1] *= -scale / 2;
  for (size_t k = 2; k < 2 * half; k += 2) {
    buffer[k] *= scale;
    buffer[k + 1] *= -scale;
  }
  lines = {.pairs = buffer, .half = half, .n = n, .dt = dt, .df = 1 / (static_cast<double>(n) * dt)};
  return FFT_OK;
}

// The transforms of one thread share a work buffer.
WorkBuffer& work_buffer() {
  thread_local WorkBuffer work;
  return work;
}

}  // namespace

FftStatus fft_spectrum(std::span<const double> x, std::span<const double> y, double window_start,
                       double window_end, const FftOptions& options, FftSpectrum& out) {
  WorkBuffer& work = work_buffer();
  Lines lines;
  try {
    const FftStatus status = transform(x, y, window_start, window_end, options, work, lines);
    if (status == FFT_OK) {
      out.pairs.assign(lines.pairs, lines.pairs + 2 * lines.half);
      out.frequency.resize(lines.half);
      for (size_t k = 0; k < lines.half; ++k) out.frequency[k] = static_cast<double>(k) * lines.df;
      out.samples = lines.n;
      out.dt = lines.dt;
    }
    work.done();
    return status;
  } catch (const std::bad_alloc&) {
    work.done();
    return FFT_NO_MEMORY;
  }
}

DataVector* fft_transform(DataStore& store, const DataVector& vector, int cls, double window_start,
                          double window_end, const FftOptions& options) {
  if (vector.complex || !vector.x) return nullptr;
  // Both are loaded before either view is taken: a load may move the values.
  if (store.values(vector).empty() || store.values(*vector.x).empty()) return nullptr;
  const auto y = store.values(vector);
  const auto x = store.values(*vector.x);
  WorkBuffer& work = work_buffer();
  Lines lines;
  const FftStatus status = transform(x, y, window_start, window_end, options, work, lines);
  if (status == FFT_SHORT_RECORD)
    store.notify().error(strprintf("FFT of %s: the data is shorter than one period of %s Hz",
                                   vector.name.c_str(), format_eng(options.fundamental, 5).c_str()));
  if (status != FFT_OK) {
    work.done();
    return nullptr;
  }
  const std::string name = fft_output_name(vector.name);
  const auto points = static_cast<int64_t>(lines.half);
  // The spectrum belongs to the run of its source, label included.
  DataClass* c = store.data_class(cls);
  const int current = c ? c->current_label : 0;
  if (const std::string* label = store.vector_label(vector); label && c) store.set_label(*label, cls);
  DataVector* result = nullptr;
  if (DataVector* freq = store.add_vector_reserved(
          {.name = "FREQ", .cls = cls, .kind = ANALYSIS_AC, .quantity = 0, .points = points})) {
    const std::span<double> f = store.room(*freq);
    for (size_t k = 0; k < f.size(); ++k) f[k] = static_cast<double>(k) * lines.df;
    result = store.add_vector({.name = name,
                               .cls = cls,
                               .kind = ANALYSIS_AC,
                               .quantity = quantity_code(ANALYSIS_AC, name),
                               .complex = 1,
                               .x = freq,
                               .points = points,
                               .values = lines.pairs});
  }
  if (c) store.set_current_label(cls, current);
  work.done();
  return result;
}

DataVector* fft_of_named(DataStore& store, std::string_view name, int cls, int run,
                         const FftOptions& options) {
  const DataVector* v = store.find_vector(name, cls, ANALYSIS_TRAN, -1, 0, run > 0 ? run : 1);
  return v ? fft_transform(store, *v, DATA_CLASS_BINARY, 0, 0, options) : nullptr;
}

}  // namespace zephyrim
