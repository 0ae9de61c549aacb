// Expressions over waveforms: V(2)/V(1)*2+SIN(TIME) over 10,000,000 points,
// beside numpy evaluating the same expression on the same values in the same
// run (its interpreter's start and its reading of the values are not counted).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "bench_support.h"
#include "common/file_io.h"
#include "common/notify.h"
#include "common/progress.h"
#include "viewer/calc/expression.h"
#include "viewer/data/data_store.h"

namespace zephyrim {
namespace {

constexpr int64_t kPoints = 10'000'000;
constexpr const char* kExpression = "V(2)/V(1)*2+SIN(TIME)";

std::string g_values_path;  // TIME, V(1), V(2) one after the other, for numpy
DataStore* g_store = nullptr;
double g_sum = 0;  // of our result, to check numpy computed the same

constexpr const char* kNumpy =
    "import sys, time\n"
    "import numpy as np\n"
    "a = np.fromfile(sys.argv[1], dtype='<f8').reshape(3, -1)\n"
    "t, v1, v2 = a[0].copy(), a[1].copy(), a[2].copy()\n"
    "best = None\n"
    "s = time.perf_counter()\n"
    "r = v2 / v1 * 2 + np.sin(t)\n"
    "s = time.perf_counter() - s\n"
    "print(s * 1e3, float(r.sum()))\n";

void calc_expression(benchmark::State& state) {
  for (auto _ : state) {
    ExprResult r;
    if (!expr_calculate(*g_store, kExpression, {.kind = ANALYSIS_TRAN}, r)) {
      state.SkipWithError("evaluation failed");
      break;
    }
    benchmark::DoNotOptimize(r.re.data());
    state.PauseTiming();
    g_sum = 0;
    for (double v : r.re) g_sum += v;
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kPoints);
}

// The same with the result registered in the store (written to its scratch file).
void calc_expression_registered(benchmark::State& state) {
  for (auto _ : state) {
    DataVector* v = expr_evaluate(*g_store, kExpression, {.kind = ANALYSIS_TRAN});
    if (!v) {
      state.SkipWithError("evaluation failed");
      break;
    }
    state.PauseTiming();
    g_store->remove_vector(v);
    state.ResumeTiming();
  }
}

double g_numpy_sum = 0;
void numpy_expression(benchmark::State& state) {
  for (auto _ : state) {
    int fds[2];
    if (pipe(fds) != 0) {
      state.SkipWithError("no pipe");
      break;
    }
    const bool ran =
        bench_support::run_program("/usr/bin/python3", {"python3", "-c", kNumpy, g_values_path}, fds[1]);
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

BENCHMARK(calc_expression)->Iterations(10)->Unit(benchmark::kMillisecond);
BENCHMARK(calc_expression_registered)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(numpy_expression)->Iterations(5)->Unit(benchmark::kMillisecond)->UseManualTime();

}  // namespace
}  // namespace zephyrim

int main(int argc, char** argv) {
  using namespace zephyrim;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("zephyrim_calc_bench_" + std::to_string(getpid()));
  fs::create_directories(dir);
  g_values_path = (dir / "values.f8").string();

  std::vector<double> values(3 * static_cast<size_t>(kPoints));
  std::mt19937_64 rng(1);
  std::uniform_real_distribution<double> u(0, 1);
  for (int64_t i = 0; i < kPoints; ++i) {
    values[static_cast<size_t>(i)] = 1e-4 * static_cast<double>(i);  // TIME up to 1000: many periods
    values[static_cast<size_t>(kPoints + i)] = 1 + u(rng);
    values[static_cast<size_t>(2 * kPoints + i)] = u(rng) - 0.5;
  }
  BatchNotify notify(kTraceryTitle);
  NullProgress progress;
  DataStore store(notify, progress);
  g_store = &store;
  const double* base = values.data();
  const DataVector* time = nullptr;
  const bool ok =
      store.start() &&
      write_file_atomic(g_values_path, std::string_view(reinterpret_cast<const char*>(base),
                                                        values.size() * sizeof(double))) &&
      (time = store.add_vector({.name = "TIME", .kind = ANALYSIS_TRAN, .points = kPoints, .values = base})) &&
      store.add_vector(
          {.name = "V(1)", .kind = ANALYSIS_TRAN, .x = time, .points = kPoints, .values = base + kPoints}) &&
      store.add_vector({.name = "V(2)",
                        .kind = ANALYSIS_TRAN,
                        .x = time,
                        .points = kPoints,
                        .values = base + 2 * kPoints});
  values.clear();
  values.shrink_to_fit();
  if (!ok) {
    std::fprintf(stderr, "cannot set up the data in %s\n", dir.c_str());
    fs::remove_all(dir);
    return 1;
  }

  bench_support::FigureCapture capture;
  benchmark::RunSpecifiedBenchmarks(&capture);
  benchmark::Shutdown();
  fs::remove_all(dir);

  const double ours = capture.ms["calc_expression"], numpy = capture.ms["numpy_expression"];
  std::printf("\n%s over %lld points: %.1f ms (%.1f ms registered); numpy %.1f ms: %.2f of numpy's time\n",
              kExpression, static_cast<long long>(kPoints), ours, capture.ms["calc_expression_registered"],
              numpy, numpy > 0 ? ours / numpy : 0.0);
  const bool same = std::fabs(g_sum - g_numpy_sum) <= 1e-9 * std::fabs(g_numpy_sum);
  std::printf("sums of the results: ours %.12g, numpy %.12g (%s)\n", g_sum, g_numpy_sum,
              same ? "same" : "DIFFERENT");
  return same ? 0 : 1;
}
