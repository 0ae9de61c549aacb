// The viewer's plot at full HD: redrawing one trace of 10,000,000 and of
// 100,000,000 points into a 1920 x 1080 picture, antialiased as the window
// paints it, once its summaries are built (the whole X range and a zoom to 1%
// in the middle), beside the same graph with a trace of one segment; and a
// binary RAW file of those sizes opened to its first picture through the
// window's own open path, beside cat of the file plus the summaries' build
// alone, measured in the same run.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <QColor>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench_support.h"
#include "common/notify.h"
#include "common/progress.h"
#include "render/plot_painter.h"
#include "viewer/calc/data_open.h"
#include "viewer/data/data_store.h"
#include "viewer/plot/autoplot_setup.h"
#include "viewer/plot/graph_axes.h"
#include "viewer/plot/level_of_detail.h"
#include "viewer/plot/plot_model.h"
#include "viewer/plot/trace_selection.h"

namespace zephyrim {
namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int64_t kFrame = 2;  // the reference: the frame, axes and texts, with a trace of one segment
constexpr int64_t kSmall = 10'000'000;
constexpr int64_t kLarge = 100'000'000;
constexpr double kFrameBudgetMs = 16;

using Clock = std::chrono::steady_clock;

// A transient analysis as a simulator writes it: time steps that shrink and
// grow, a signal of a few periods with ringing and noise, n points over about
// one second.
struct Signal {
  explicit Signal(int64_t n) : n_(static_cast<double>(n)) {}
  // The next (time, value) pair.
  void next(double& t, double& v) {
    state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
    const double r = static_cast<double>(state_ >> 11) * 0x1p-53;
    time_ += (0.2 + 1.6 * r) / n_;
    t = time_;
    v = std::sin(40 * time_) + 0.3 * std::sin(5000 * time_) + 0.01 * (r - 0.5);
  }

 private:
  double n_;
  uint64_t state_ = 0x9e3779b97f4a7c15ull;
  double time_ = 0;
};

void paint(QImage& image, Graph& graph, DataStore& store) {
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setRenderHint(QPainter::TextAntialiasing, true);
  draw_graph(p, QRectF(image.rect()), graph, store, PlotStyle{});
}

// ---- Redraw ----------------------------------------------------------------

// A store holding one trace, the graph showing it, drawn once (summaries built).
struct Scene {
  BatchNotify notify{kTraceryTitle};
  NullProgress progress;
  std::unique_ptr<DataStore> store;
  Graph graph;
  AxisScale whole;  // the X axis as the data set it
  bool ready = false;
};
std::map<int64_t, std::unique_ptr<Scene>> g_scenes;

Scene& scene(int64_t points) {
  auto& slot = g_scenes[points];
  if (slot) return *slot;
  slot = std::make_unique<Scene>();
  Scene& s = *slot;
  s.store = std::make_unique<DataStore>(s.notify, s.progress);
  if (!s.store->start()) return s;
  const DataVector* x = nullptr;
  const DataVector* y = nullptr;
  {
    std::vector<double> xs(static_cast<size_t>(points)), ys(xs.size());
    Signal signal(points);
    for (size_t i = 0; i < xs.size(); ++i) signal.next(xs[i], ys[i]);
    x = s.store->add_vector({.name = "time", .kind = ANALYSIS_TRAN, .points = points, .values = xs.data()});
    if (x)
      y = s.store->add_vector(
          {.name = "v(out)", .kind = ANALYSIS_TRAN, .x = x, .points = points, .values = ys.data()});
  }
  if (!y) return s;
  s.graph.analysis = ANALYSIS_TRAN;
  s.graph.cls = DATA_CLASS_BINARY;
  if (!add_trace(s.graph, *y, nullptr, 0, s.notify) || !graph_update_axes(s.graph, *s.store, s.notify))
    return s;
  s.whole = s.graph.x_axis;
  QImage image(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
  paint(image, s.graph, *s.store);
  const auto& details = s.graph.details;
  s.ready = details.size() == 1 && details.begin()->second->built() &&
            details.begin()->second->points() == static_cast<size_t>(points);
  return s;
}

// The X axis as the window's zoom leaves it: the range asked for, with limits
// and ticks chosen for it and held.
AxisScale zoomed(const AxisScale& whole, double fraction, int plots) {
  if (fraction >= 1) return whole;
  AxisScale a = whole;
  const double mid = (whole.data_min + whole.data_max) / 2,
               half = (whole.data_max - whole.data_min) * fraction / 2;
  a.data_min = mid - half;
  a.data_max = mid + half;
  a.limits_manual = 0;
  auto_axis_limits(a, false, plots);
  a.limits_manual = 1;
  return a;
}

// Each redraw moves the view a little, so that the columns meet other points
// at their edges rather than the ones the last redraw found.
void redraw(benchmark::State& state, double fraction) {
  Scene& s = scene(state.range(0));
  if (!s.ready) {
    state.SkipWithError("the scene could not be set up");
    return;
  }
  const AxisScale view = zoomed(s.whole, fraction, s.graph.plots);
  QImage image(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
  int step = 0;
  for (auto _ : state) {
    const double shift = (view.high - view.low) * 1e-3 * (step++ % 100);
    s.graph.x_axis = view;
    s.graph.x_axis.low += shift;
    s.graph.x_axis.high += shift;
    paint(image, s.graph, *s.store);
    benchmark::DoNotOptimize(image.constBits());
  }
  s.graph.x_axis = s.whole;
}
void redraw_whole(benchmark::State& state) {
  redraw(state, 1);
}
void redraw_zoom(benchmark::State& state) {
  redraw(state, 0.01);
}

BENCHMARK(redraw_whole)->Arg(kFrame)->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMillisecond);
BENCHMARK(redraw_zoom)->Arg(kFrame)->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMillisecond);

// ---- Open to the first picture ---------------------------------------------

std::filesystem::path g_folder;          // where the RAW files go, removed at the end
std::map<int64_t, std::string> g_files;  // the RAW file of each size, once written

std::string raw_header(int64_t points) {
  return "Title: redraw bench\nDate: Thu Jan  1 00:00:00 2026\nPlotname: Transient Analysis\n"
         "Flags: real\nNo. Variables: 2\nNo. Points: " +
         std::to_string(points) + "\nVariables:\n\t0\ttime\ttime\n\t1\tv(out)\tvoltage\nBinary:\n";
}

// Point-major doubles, as the engine writes them; little-endian is the host order here.
bool write_raw(const std::string& path, int64_t points) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const std::string head = raw_header(points);
  bool ok = std::fwrite(head.data(), 1, head.size(), f) == head.size();
  constexpr int64_t kChunk = 1 << 16;
  std::vector<double> buf(2 * kChunk);
  Signal signal(points);
  for (int64_t p0 = 0; ok && p0 < points; p0 += kChunk) {
    const auto n = static_cast<size_t>(std::min(kChunk, points - p0));
    for (size_t i = 0; i < n; ++i) signal.next(buf[2 * i], buf[2 * i + 1]);
    ok = std::fwrite(buf.data(), sizeof(double), 2 * n, f) == 2 * n;
  }
  return std::fclose(f) == 0 && ok;
}

// The RAW file of a size, written and read into the page cache at its first
// use, so that a run of the redraws alone writes nothing; empty when it cannot be written.
const std::string& raw_file(int64_t points) {
  auto [it, added] = g_files.try_emplace(points);
  if (!added) return it->second;
  std::filesystem::create_directories(g_folder);
  const std::string path = (g_folder / ("points" + std::to_string(points) + ".raw")).string();
  if (write_raw(path, points)) {
    bench_support::warm(path);
    it->second = path;
  } else {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
  }
  return it->second;
}

// The seconds of an open's steps, added up over runs.
struct OpenSteps {
  double open = 0;     // the open command: the file catalogued
  double trace = 0;    // the trace added (its Y loaded)
  double axes = 0;     // the axes set (its X loaded, both ranged)
  double picture = 0;  // the paint: the summaries built and the graph drawn
  double total() const { return open + trace + axes + picture; }
};
std::map<int64_t, OpenSteps> g_first_open;  // the first open of the process, by size
std::map<int64_t, OpenSteps> g_mean_open;   // the mean of the timed opens, by size

// What the window does from File > Open to the first picture of a trace: the
// open command on a fresh store, the trace added as Add Traces does, the axes
// set, then a paint (which builds the trace's summaries). Adds up the steps'
// seconds; false unless the picture shows the whole trace. The teardown is not timed.
bool open_once(int64_t points, OpenSteps& steps) {
  BatchNotify notify(kTraceryTitle);
  NullProgress progress;
  auto store = std::make_unique<DataStore>(notify, progress);
  if (!store->start()) return false;
  auto graph = std::make_unique<Graph>();
  DataOpenSession session;
  QImage image(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
  auto lap = [at = Clock::now()](double& step) mutable {
    const auto now = Clock::now();
    step += std::chrono::duration<double>(now - at).count();
    at = now;
  };
  if (data_open_command(*store, raw_file(points), -1, session) <= 0) return false;
  lap(steps.open);
  graph->analysis = choose_analysis(*store, AutoplotRequest{});
  graph->cls = DATA_CLASS_BINARY;
  std::vector<TraceRequest> requests(1);
  requests[0].name = "v(out)";
  if (select_traces(*graph, *store, requests, notify) != 1) return false;
  lap(steps.trace);
  if (!graph_update_axes(*graph, *store, notify)) return false;
  lap(steps.axes);
  paint(image, *graph, *store);
  lap(steps.picture);
  const auto& details = graph->details;
  const bool whole = details.size() == 1 && details.begin()->second->points() == static_cast<size_t>(points);
  // The summaries hold views into the store's values: they go first.
  graph.reset();
  return whole;
}

// The first run is reported on its own, as data_bench does; here every open
// takes its store's memory fresh, as a viewer's first open does, so it should
// not stand apart.
void open_to_picture(benchmark::State& state) {
  OpenSteps first;
  if (!open_once(state.range(0), first)) {
    state.SkipWithError("the file did not open to a picture of the whole trace");
    return;
  }
  g_first_open[state.range(0)] = first;
  OpenSteps steps;
  for (auto _ : state) {
    const double before = steps.total();
    if (!open_once(state.range(0), steps)) {
      state.SkipWithError("the file did not open to a picture of the whole trace");
      break;
    }
    state.SetIterationTime(steps.total() - before);
  }
  const double runs = static_cast<double>(std::max<benchmark::IterationCount>(1, state.iterations()));
  g_mean_open[state.range(0)] = {steps.open / runs, steps.trace / runs, steps.axes / runs,
                                 steps.picture / runs};
}

void cat_file(benchmark::State& state) {
  const std::string& path = raw_file(state.range(0));
  if (path.empty()) {
    state.SkipWithError("the file could not be written");
    return;
  }
  for (auto _ : state)
    if (!bench_support::run_program("/bin/cat", {"cat", path}, -1)) {
      state.SkipWithError("cat failed");
      break;
    }
}

// The summaries' build alone, over the values of the file as the store holds them.
void summaries_build(benchmark::State& state) {
  BatchNotify notify(kTraceryTitle);
  NullProgress progress;
  DataStore store(notify, progress);
  DataOpenSession session;
  const DataVector* x = nullptr;
  const DataVector* y = nullptr;
  if (store.start() && data_open_command(store, raw_file(state.range(0)), -1, session) > 0 &&
      store.load_all(DATA_CLASS_BINARY) >= 0) {
    x = store.find_vector("time", DATA_CLASS_BINARY, -1, -1, -1);
    y = store.find_vector("v(out)", DATA_CLASS_BINARY, -1, -1, -1);
  }
  if (!x || !y || static_cast<int64_t>(store.values(*y).size()) != state.range(0)) {
    state.SkipWithError("the file did not load");
    return;
  }
  for (auto _ : state) {
    LevelOfDetail lod(store.values(*x), store.values(*y));
    lod.wait_built();
    benchmark::DoNotOptimize(lod.y_range());
  }
}

BENCHMARK(cat_file)->Arg(kSmall)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(summaries_build)->Arg(kSmall)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(open_to_picture)->Arg(kSmall)->Iterations(5)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(cat_file)->Arg(kLarge)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(summaries_build)->Arg(kLarge)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(open_to_picture)->Arg(kLarge)->Iterations(3)->Unit(benchmark::kMillisecond)->UseManualTime();

// ---- Summary ---------------------------------------------------------------

double figure(const bench_support::FigureCapture& c, const char* name, int64_t points) {
  return c.get(std::string(name) + "/" + std::to_string(points));
}

const char* verdict(bool met) {
  return met ? "met" : "MISSED";
}

void print_redraws(const bench_support::FigureCapture& c) {
  std::printf(
      "\nRedraw of one trace into %d x %d, antialiased, summaries built (goal under %.0f ms, "
      "100 M within 2 x of 10 M):\n",
      kWidth, kHeight, kFrameBudgetMs);
  for (const char* name : {"redraw_whole", "redraw_zoom"}) {
    const double frame = figure(c, name, kFrame), small = figure(c, name, kSmall),
                 large = figure(c, name, kLarge);
    if (small < 0 || large < 0) {
      std::printf("  %-13s no figures\n", name);
      continue;
    }
    std::printf(
        "  %-13s frame (2 points) %.2f ms; 10 M points %.2f ms, 100 M points %.2f ms: 100 M takes %.2f x the "
        "time of 10 M; goals %s\n",
        name, frame, small, large, large / small,
        verdict(small < kFrameBudgetMs && large < kFrameBudgetMs && large <= 2 * small));
  }
}

void print_opens(const bench_support::FigureCapture& c) {
  std::printf(
      "Open to the first picture against cat of the file plus the summaries' build (goal within 2 x):\n");
  for (int64_t points : {kSmall, kLarge}) {
    const double open = figure(c, "open_to_picture", points), cat = figure(c, "cat_file", points),
                 build = figure(c, "summaries_build", points);
    const long long millions = static_cast<long long>(points / 1'000'000);
    if (open < 0 || cat < 0 || build < 0) {
      std::printf("  %3lld M points: no figures\n", millions);
      continue;
    }
    const double reference = cat + build;
    std::printf(
        "  %3lld M points (%.0f MB): open to picture %.1f ms; cat %.1f ms + build %.1f ms = %.1f ms: %.2f x; "
        "goal %s\n",
        millions, std::filesystem::file_size(raw_file(points)) / 1e6, open, cat, build, reference,
        open / reference, verdict(open <= 2 * reference));
    const OpenSteps& m = g_mean_open[points];
    std::printf(
        "  %3lld M points: open command %.1f ms, trace added %.1f ms, axes %.1f ms, first paint %.1f ms; "
        "the process's first open %.1f ms\n",
        millions, m.open * 1e3, m.trace * 1e3, m.axes * 1e3, m.picture * 1e3,
        g_first_open[points].total() * 1e3);
  }
}

}  // namespace
}  // namespace zephyrim

int main(int argc, char** argv) {
  using namespace zephyrim;
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  namespace fs = std::filesystem;
  g_folder = fs::temp_directory_path() / ("zephyrim_plot_redraw_bench_" + std::to_string(getpid()));
  bench_support::FigureCapture capture;
  benchmark::RunSpecifiedBenchmarks(&capture);
  benchmark::Shutdown();
  print_redraws(capture);
  print_opens(capture);
  g_scenes.clear();
  fs::remove_all(g_folder);
  return 0;
}
