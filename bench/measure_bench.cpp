// A measurement script of 20 specs (every kind) over a RAW file of 20 vectors
// of 1,000,000 points: on data already read, and opening the file and running
// the script as `zephyrim script` does. Beside them in the same run: cat of the
// same file, and numpy computing the same 20 figures on values it already holds.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "bench_support.h"
#include "common/file_io.h"
#include "common/notify.h"
#include "common/progress.h"
#include "viewer/calc/script.h"
#include "viewer/data/data_store.h"
#include "viewer/data/raw_file.h"

namespace zephyrim {
namespace {

constexpr int64_t kPoints = 1'000'000;
constexpr int kVariables = 20;  // time and V(N1) .. V(N19)
constexpr double kStep = 1e-9;  // 1 ms in all

// V(Nk): a sine of k kHz, amplitude k, so every kind finds something.
double value(int v, int64_t i) {
  const double t = static_cast<double>(i) * kStep;
  return v == 0 ? t : v * std::sin(2 * M_PI * 1e3 * v * t + 0.1 * v);
}

std::string g_raw_path, g_script_path;
double g_numpy_sum = 0, g_our_sum = 0;

// The 20 specs, each kind at least twice.
std::string script_text() {
  std::string s = "* 20 specs\n";
  for (int k = 1; k <= kVariables; ++k) {
    const std::string v = "V(N" + std::to_string((k - 1) % 19 + 1) + ")";
    const std::string n = "M" + std::to_string(k);
    switch (k % 9) {
      case 1:
        s += "#MEASURE TRAN MAX " + n + " YVAR " + v + "\n";
        break;
      case 2:
        s += "#MEASURE TRAN MIN " + n + " YVAR " + v + "\n";
        break;
      case 3:
        s += "#MEASURE TRAN XMAX " + n + " YVAR " + v + "\n";
        break;
      case 4:
        s += "#MEASURE TRAN XMIN " + n + " YVAR " + v + "\n";
        break;
      case 5:
        s += "#MEASURE TRAN VALUE " + n + " YVAR " + v + " XVAL 0.5M\n";
        break;
      case 6:
        s += "#MEASURE TRAN DELTA " + n + " YVAR " + v + " VAL1 0.2M VAL2 0.7M\n";
        break;
      case 7:
        s += "#MEASURE TRAN WIDTH " + n + " YVAR " + v + " YVAL 0 HIGH\n";
        break;
      case 8:
        s += "#MEASURE TRAN FREQ " + n + " YVAR " + v + " YVAL 0\n";
        break;
      default:
        s += "#MEASURE TRAN DELAY " + n + " VAR1 " + v + " VAL1 0 VAR2 V(N1) RISE RISE\n";
        break;
    }
  }
  return s;
}

// The same figures in numpy, timed inside python after the values are read.
constexpr const char* kNumpy = R"(import sys, time
import numpy as np
off, n = int(sys.argv[2]), int(sys.argv[3])
a = np.fromfile(sys.argv[1], dtype='<f8', offset=off).reshape(n, 20).T.copy()
t = a[0]
def cross(y, level, sense):
    d = np.nonzero((y[:-1] <= level) & (level <= y[1:]) if sense > 0 else (y[:-1] >= level) & (level >= y[1:]))[0]
    return t[d] + (level - y[d]) * (t[d + 1] - t[d]) / (y[d + 1] - y[d])
def anycross(y, level):
    d = np.nonzero(((y[:-1] <= level) & (level <= y[1:])) | ((y[:-1] >= level) & (level >= y[1:])))[0]
    return t[d] + (level - y[d]) * (t[d + 1] - t[d]) / (y[d + 1] - y[d])
s = time.perf_counter()
out = []
for k in range(1, 21):
    y = a[(k - 1) % 19 + 1]
    kind = k % 9
    if kind == 1: out.append(y.max())
    elif kind == 2: out.append(y.min())
    elif kind == 3: out.append(t[y.argmax()])
    elif kind == 4: out.append(t[y.argmin()])
    elif kind == 5: out.append(np.interp(0.5e-3, t, y))
    elif kind == 6: out.append(np.interp(0.7e-3, t, y) - np.interp(0.2e-3, t, y))
    elif kind == 7:
        r = cross(y, 0, 1)[0]; f = cross(y, 0, -1); out.append(f[f > r][0] - r)
    elif kind == 8:
        c = np.unique(anycross(y, 0)); p = (len(c) - 1) // 2; out.append(p / (c[2 * p] - c[0]))
    else:
        r = cross(y, 0, 1)[0]; b = cross(a[1], 0, 1); out.append(b[b >= r][0] - r)
s = time.perf_counter() - s
print(s * 1e3, float(np.sum(np.abs(out))))
)";

double sum_of(const ScriptReport& report) {
  double sum = 0;
  for (const auto& m : report.measures)
    for (double v : m.values) sum += std::fabs(v);
  return sum;
}

// Runs the script once; false (after noting it) when a spec failed.
bool run_script(benchmark::State& state, DataStore& store) {
  BatchNotify notify(kTraceryTitle);
  ScriptState script;
  script.script_name = g_script_path;
  ScriptReport report;
  if (run_script_file(script, store, notify, &report) != kVariables || !report.failed.empty()) {
    state.SkipWithError("a spec failed");
    return false;
  }
  g_our_sum = sum_of(report);
  return true;
}

void script_on_read_data(benchmark::State& state) {
  BatchNotify notify(kTraceryTitle);
  NullProgress progress;
  DataStore store(notify, progress);
  if (!store.start() || raw_read_file(store, g_raw_path, false) <= 0 ||
      store.load_all(DATA_CLASS_BINARY) < 0) {
    state.SkipWithError("cannot read the data");
    return;
  }
  for (auto _ : state)
    if (!run_script(state, store)) break;
}

void script_opening_the_file(benchmark::State& state) {
  for (auto _ : state) {
    BatchNotify notify(kTraceryTitle);
    NullProgress progress;
    DataStore store(notify, progress);
    if (!store.start() || raw_read_file(store, g_raw_path, false) <= 0) {
      state.SkipWithError("cannot read the data");
      break;
    }
    if (!run_script(state, store)) break;
  }
}

void cat_file(benchmark::State& state) {
  const int null = open("/dev/null", O_WRONLY);
  for (auto _ : state)
    if (!bench_support::run_program("cat", {"cat", g_raw_path}, null)) state.SkipWithError("cat failed");
  close(null);
}

void numpy_specs(benchmark::State& state, int64_t offset) {
  for (auto _ : state) {
    int fds[2];
    if (pipe(fds) != 0) {
      state.SkipWithError("no pipe");
      break;
    }
    const bool ran = bench_support::run_program(
        "/usr/bin/python3",
        {"/usr/bin/python3", "-c", kNumpy, g_raw_path, std::to_string(offset), std::to_string(kPoints)},
        fds[1]);
    close(fds[1]);
    char out[128] = {};
    const ssize_t n = read(fds[0], out, sizeof out - 1);
    close(fds[0]);
    double ms = 0;
    if (!ran || n <= 0 || std::sscanf(out, "%lf %lf", &ms, &g_numpy_sum) != 2) {
      state.SkipWithError("numpy failed (python3-numpy installed?)");
      break;
    }
    state.SetIterationTime(ms / 1e3);
  }
}

std::string raw_header() {
  std::string head =
      "Title: measure bench\nDate: Thu Jan  1 00:00:00 2026\nPlotname: Transient Analysis\nFlags: real\n"
      "No. Variables: 20\nNo. Points: " +
      std::to_string(kPoints) + "\nVariables:\n\t0\ttime\ttime\n";
  for (int v = 1; v < kVariables; ++v)
    head += "\t" + std::to_string(v) + "\tv(n" + std::to_string(v) + ")\tvoltage\n";
  return head + "Binary:\n";
}

// Point-major, as the engine writes it; little-endian is the host order here.
bool write_raw(const std::string& path) {
  std::string bytes = raw_header();
  const size_t head = bytes.size();
  bytes.resize(head + static_cast<size_t>(kPoints) * kVariables * sizeof(double));
  auto* out = reinterpret_cast<double*>(bytes.data() + head);
  for (int64_t i = 0; i < kPoints; ++i)
    for (int v = 0; v < kVariables; ++v) {
      const double d = value(v, i);
      std::memcpy(out + i * kVariables + v, &d, sizeof d);
    }
  return write_file_atomic(path, bytes);
}

}  // namespace
}  // namespace zephyrim

int main(int argc, char** argv) {
  using namespace zephyrim;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("zephyrim_measure_bench_" + std::to_string(getpid()));
  fs::create_directories(dir);
  g_raw_path = (dir / "bench.raw").string();
  g_script_path = (dir / "bench.qsc").string();
  if (!write_raw(g_raw_path) || !write_file_atomic(g_script_path, script_text())) {
    std::fprintf(stderr, "cannot write the bench files in %s\n", dir.c_str());
    fs::remove_all(dir);
    return 1;
  }
  const auto offset = static_cast<int64_t>(raw_header().size());
  benchmark::RegisterBenchmark("script_on_read_data", script_on_read_data)
      ->Iterations(10)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("script_opening_the_file", script_opening_the_file)
      ->Iterations(5)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("cat_file", cat_file)->Iterations(5)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("numpy_specs", numpy_specs, offset)
      ->Iterations(3)
      ->Unit(benchmark::kMillisecond)
      ->UseManualTime();
  bench_support::FigureCapture capture;
  benchmark::RunSpecifiedBenchmarks(&capture);
  benchmark::Shutdown();
  fs::remove_all(dir);

  auto& ms = capture.ms;
  std::printf(
      "\n20 specs over 20 x %lld points: %.1f ms on read data, %.1f ms opening the file (cat %.1f ms);"
      " numpy %.1f ms on values it holds: %.2f of numpy's time\n",
      static_cast<long long>(kPoints), ms["script_on_read_data"], ms["script_opening_the_file"],
      ms["cat_file"], ms["numpy_specs"],
      ms["numpy_specs"] > 0 ? ms["script_on_read_data"] / ms["numpy_specs"] : 0.0);
  const bool same = std::fabs(g_our_sum - g_numpy_sum) <= 1e-6 * std::fabs(g_numpy_sum);
  std::printf("sums of the |results|: ours %.12g, numpy %.12g (%s)\n", g_our_sum, g_numpy_sum,
              same ? "same" : "DIFFERENT");
  return same ? 0 : 1;
}
