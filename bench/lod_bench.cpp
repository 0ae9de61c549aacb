// Drawing a trace of 10,000,000 and of 100,000,000 points: the envelope over
// 1920 pixel columns of the whole trace and of 1% of it in the middle, once
// the summaries are built; and building them, beside a plain pass over the
// values (sum, lowest and highest Y in a simple loop) measured in the same run.
#include <benchmark/benchmark.h>
#include <sys/mman.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench_support.h"
#include "viewer/plot/level_of_detail.h"

namespace zephyrim {
namespace {

constexpr int kColumns = 1920;
constexpr int64_t kSmall = 10'000'000;
constexpr int64_t kLarge = 100'000'000;

struct Trace {
  std::vector<double> x;
  std::vector<double> y;
  std::unique_ptr<LevelOfDetail> lod;
};

// The data store keeps values on huge pages where the system offers them;
// so do these, or every column edge would cost a page-table walk of its own.
void on_huge_pages(std::vector<double>& v, std::size_t n) {
  constexpr auto kHuge = std::uintptr_t{2} << 20;
  v.reserve(n + kHuge / sizeof(double));
  const auto begin = reinterpret_cast<std::uintptr_t>(v.data());
  const std::uintptr_t first = (begin + kHuge - 1) & ~(kHuge - 1);
  madvise(reinterpret_cast<void*>(first), (begin + v.capacity() * sizeof(double) - first) & ~(kHuge - 1),
          MADV_HUGEPAGE);
  v.resize(n);
}

// A transient analysis as a simulator writes it: time steps that shrink and
// grow, a signal of a few periods with ringing and noise.
std::map<int64_t, Trace> g_traces;

Trace& trace(int64_t points) {
  Trace& t = g_traces[points];
  if (!t.x.empty()) return t;
  const auto n = static_cast<std::size_t>(points);
  on_huge_pages(t.x, n);
  on_huge_pages(t.y, n);
  uint64_t state = 0x9e3779b97f4a7c15ull;
  double time = 0;
  for (std::size_t i = 0; i < n; ++i) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    const double r = static_cast<double>(state >> 11) * 0x1p-53;
    time += (0.2 + 1.6 * r) / static_cast<double>(n);
    t.x[i] = time;
    t.y[i] = std::sin(40 * time) + 0.3 * std::sin(5000 * time) + 0.01 * (r - 0.5);
  }
  t.lod = std::make_unique<LevelOfDetail>(t.x, t.y);
  t.lod->wait_built();
  return t;
}

// Each redraw pans the window a little, as scrolling does, so that it meets
// other points at its column edges.
void envelope(benchmark::State& state, double fraction) {
  Trace& t = trace(state.range(0));
  const double span = t.x.back() - t.x.front(), width = span * fraction;
  const double from = t.x.front() + (span - width) / 2;
  std::vector<LodColumn> out;
  int step = 0;
  for (auto _ : state) {
    const double shift = width * 1e-3 * (step++ % 100);
    if (t.lod->envelope(from + shift, from + shift + width, kColumns, out) != kColumns) {
      state.SkipWithError("no envelope");
      break;
    }
    benchmark::DoNotOptimize(out.data());
  }
}
void lod_envelope_whole(benchmark::State& state) {
  envelope(state, 1);
}
void lod_envelope_zoom(benchmark::State& state) {
  envelope(state, 0.01);
}

void lod_build(benchmark::State& state) {
  Trace& t = trace(state.range(0));
  for (auto _ : state) {
    LevelOfDetail lod(t.x, t.y);
    lod.wait_built();
    benchmark::DoNotOptimize(lod.y_range());
  }
}

void plain_pass(benchmark::State& state) {
  Trace& t = trace(state.range(0));
  for (auto _ : state) {
    double sum = 0, lo = t.y[0], hi = t.y[0];
    for (double v : t.y) {
      sum += v;
      lo = v < lo ? v : lo;
      hi = v > hi ? v : hi;
    }
    benchmark::DoNotOptimize(sum);
    benchmark::DoNotOptimize(lo);
    benchmark::DoNotOptimize(hi);
  }
}

BENCHMARK(lod_envelope_whole)->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMicrosecond);
BENCHMARK(lod_envelope_zoom)->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMicrosecond);
BENCHMARK(lod_build)->Arg(kSmall)->Arg(kLarge)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(plain_pass)->Arg(kSmall)->Arg(kLarge)->Iterations(5)->Unit(benchmark::kMillisecond);

// A run's figure in milliseconds, whatever unit it was shown in.
double lod_figure(const bench_support::FigureCapture& capture, const std::string& name, int64_t points,
                  double to_ms) {
  return capture.get(name + "/" + std::to_string(points)) * to_ms;
}

}  // namespace
}  // namespace zephyrim

int main(int argc, char** argv) {
  using namespace zephyrim;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  bench_support::FigureCapture capture;
  benchmark::RunSpecifiedBenchmarks(&capture);
  benchmark::Shutdown();

  std::printf("\nEnvelope over %d columns, after the summaries are built (goal under 1 ms):\n", kColumns);
  for (const char* name : {"lod_envelope_whole", "lod_envelope_zoom"}) {
    const double small = lod_figure(capture, name, kSmall, 1e-3),
                 large = lod_figure(capture, name, kLarge, 1e-3);
    std::printf("  %-20s 10 M points %.3f ms, 100 M points %.3f ms: 100 M takes %.2f x the time of 10 M\n",
                name, small, large, small > 0 ? large / small : 0.0);
  }
  std::printf("Building the summaries against a plain pass over Y (goal about 2 passes at most):\n");
  for (int64_t points : {kSmall, kLarge}) {
    const double build = lod_figure(capture, "lod_build", points, 1),
                 plain = lod_figure(capture, "plain_pass", points, 1);
    const Trace& t = g_traces[points];
    if (!t.lod) continue;
    std::printf(
        "  %3lld M points: build %.1f ms, plain pass %.1f ms: %.2f passes; summaries %.2f%% of X and Y\n",
        static_cast<long long>(points / 1'000'000), build, plain, plain > 0 ? build / plain : 0.0,
        100.0 * static_cast<double>(t.lod->memory_bytes()) /
            static_cast<double>(2 * t.x.size() * sizeof(double)));
  }
  return 0;
}
