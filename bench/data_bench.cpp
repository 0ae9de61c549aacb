// Reading big simulation results: a binary RAW file and a PROBE file of 20
// vectors x 1,000,000 points each (160 MB of values), catalogued, then every
// vector loaded, against two references measured in the same run: cat of the
// same file (the floor the page cache allows) and numpy's reader (np.fromfile
// and one transposing copy, timed inside the interpreter). Then a 2 GB RAW
// file, opened and one vector read without loading the others, in a process
// of its own so that its peak memory is its own. Prints the ratios and the
// memory each part took.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench_support.h"
#include "common/notify.h"
#include "common/progress.h"
#include "viewer/data/data_store.h"
#include "viewer/data/probe_file.h"
#include "viewer/data/raw_file.h"

namespace zephyrim {
namespace {

constexpr int kVariables = 20;  // time and 19 node voltages
constexpr int64_t kPoints = 1000000;
constexpr int64_t kBigPoints = 12500000;  // 2 GB of values
constexpr double kStep = 1e-9;

std::string g_raw_path;
std::string g_probe_path;
std::string g_big_path;
int64_t g_raw_data_offset = 0;  // where the values begin, for numpy

// Peak memory sampled right after the loads, in kB.
using bench_support::Memory;
Memory g_peak;

// Smooth but not repetitive in any byte pattern, so no layer can shortcut it.
double value(int variable, int64_t point) {
  const double t = static_cast<double>(point) * kStep;
  if (variable == 0) return t;
  const double w = 2.0 * M_PI * (1.0e3 * variable + 317.0);
  return std::sin(w * t) + 0.1 * std::cos(3.1 * w * t + variable);
}

// Cheap values for the big file, distinct per variable and point.
double big_value(int variable, int64_t point) {
  return static_cast<double>(point) * kStep + variable;
}

std::string raw_header(int64_t points) {
  std::string head =
      "Title: bench\nDate: Thu Jan  1 00:00:00 2026\nPlotname: Transient Analysis\nFlags: real\n"
      "No. Variables: 20\nNo. Points: " +
      std::to_string(points) + "\nVariables:\n\t0\ttime\ttime\n";
  for (int v = 1; v < kVariables; ++v)
    head += "\t" + std::to_string(v) + "\tv(n" + std::to_string(v) + ")\tvoltage\n";
  return head + "Binary:\n";
}

// Point-major, as the engine writes it; little-endian is the host order here.
template <typename Value>
bool write_raw(const std::string& path, int64_t points, Value value_of) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const std::string head = raw_header(points);
  bool ok = std::fwrite(head.data(), 1, head.size(), f) == head.size();
  constexpr int64_t kChunk = 16384;
  std::vector<double> buf(kChunk * kVariables);
  for (int64_t p0 = 0; ok && p0 < points; p0 += kChunk) {
    const int64_t n = std::min(kChunk, points - p0);
    for (int64_t i = 0; i < n; ++i)
      for (int v = 0; v < kVariables; ++v) buf[i * kVariables + v] = value_of(v, p0 + i);
    const size_t count = static_cast<size_t>(n * kVariables);
    ok = std::fwrite(buf.data(), sizeof(double), count, f) == count;
  }
  return std::fclose(f) == 0 && ok;
}

bool write_probe(const std::string& path) {
  ProbeBlock b;
  b.kind = ANALYSIS_TRAN;
  b.x_name = "TIME";
  b.x.resize(kPoints);
  for (int64_t i = 0; i < kPoints; ++i) b.x[i] = value(0, i);
  for (int v = 1; v < kVariables; ++v) {
    b.analog_names.push_back("V(N" + std::to_string(v) + ")");
    auto& col = b.analog.emplace_back(kPoints);
    for (int64_t i = 0; i < kPoints; ++i) col[i] = value(v, i);
  }
  ProbeFileInfo info;
  info.title = "bench";
  return probe_write_file(path, {b}, info);
}

// Generating takes a few hundred MB (the PROBE block is built whole before it
// is written); a child does it so the peak figures below belong to the loads only.
template <typename Work>
bool in_child(Work work) {
  std::fflush(stdout);
  const pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    const bool ok = work();
    std::fflush(stdout);
    _exit(ok ? 0 : 1);
  }
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

long peak_rss_kb() {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  return 0;
}

void run_cat(benchmark::State& state, const std::string& path) {
  for (auto _ : state)
    if (!bench_support::run_program("/bin/cat", {"cat", path}, -1)) {
      state.SkipWithError("cat failed");
      break;
    }
}

void cat_raw(benchmark::State& state) {
  run_cat(state, g_raw_path);
}
void cat_probe(benchmark::State& state) {
  run_cat(state, g_probe_path);
}

// numpy's reader of the same values: the interpreter's start is not counted,
// it prints the milliseconds of the read and the copy.
constexpr const char* kNumpyReader =
    "import sys, time\n"
    "import numpy as np\n"
    "t = time.perf_counter()\n"
    "a = np.fromfile(sys.argv[1], dtype='<f8', offset=int(sys.argv[2])).reshape(-1, int(sys.argv[3]))\n"
    "b = np.ascontiguousarray(a.T)\n"
    "t = time.perf_counter() - t\n"
    "assert b.shape == (int(sys.argv[3]), int(sys.argv[4]))\n"
    "print(t * 1e3)\n";

// One run of numpy's reader: its milliseconds, or -1.
double numpy_once() {
  int fds[2];
  if (pipe(fds) != 0) return -1;
  const bool ran = bench_support::run_program(
      "/usr/bin/python3",
      {"python3", "-c", kNumpyReader, g_raw_path, std::to_string(g_raw_data_offset),
       std::to_string(kVariables), std::to_string(kPoints)},
      fds[1]);
  close(fds[1]);
  char out[64] = {};
  const ssize_t n = read(fds[0], out, sizeof out - 1);
  close(fds[0]);
  return ran && n > 0 ? std::atof(out) : -1;
}

// Every benchmark that takes memory runs once untimed first, and that first
// run is reported on its own: the first run of a process on a machine takes
// memory fresh from the system, which under a virtual machine costs several
// times the work itself, while the runs after reuse what the one before gave
// back, as a viewer that stays open does.
void numpy_raw(benchmark::State& state) {
  const double first = numpy_once();
  for (auto _ : state) {
    const double ms = numpy_once();
    if (first < 0 || ms < 0) {
      state.SkipWithError("numpy reader failed (python3-numpy installed?)");
      break;
    }
    state.SetIterationTime(ms / 1e3);
  }
  state.counters["first_ms"] = first;
}

using Clock = std::chrono::steady_clock;

// Catalogues the file, then loads every vector, adding the times; false when
// not every vector came whole.
bool load_once(const std::string& path, bool probe, double& catalogue_s, double& load_s) {
  BatchNotify notify(kTraceryTitle);
  NullProgress progress;
  auto store = std::make_unique<DataStore>(notify, progress);
  store->start();
  store->open_data_file(path);
  const auto t0 = Clock::now();
  if ((probe ? probe_read_file(*store, path) : raw_read_file(*store, path, true)) <= 0) return false;
  const auto t1 = Clock::now();
  const int loaded = store->load_all(DATA_CLASS_BINARY);
  const auto t2 = Clock::now();
  catalogue_s += std::chrono::duration<double>(t1 - t0).count();
  load_s += std::chrono::duration<double>(t2 - t1).count();
  const Memory m = bench_support::memory_now();
  g_peak = {std::max(g_peak.rss, m.rss), std::max(g_peak.anon, m.anon), std::max(g_peak.file, m.file),
            std::max(g_peak.shmem, m.shmem)};
  int vectors = 0;
  double sum = 0;
  for (const DataVector& v : store->data_class(0)->vectors) {
    const auto values = store->values(v);
    if (static_cast<int64_t>(values.size()) != kPoints) break;
    sum += values[0] + values[kPoints - 1];
    ++vectors;
  }
  benchmark::DoNotOptimize(sum);
  return vectors == kVariables && loaded >= kVariables - (probe ? 1 : 0);
}

// The catalogue and load times are kept apart in counters; checking the
// values and tearing down are not timed.
void catalogue_and_load(benchmark::State& state, const std::string& path, bool probe) {
  double first_catalogue = 0, first_load = 0;
  if (!load_once(path, probe, first_catalogue, first_load))
    state.SkipWithError("not every vector loaded in full");
  double catalogue_s = 0, load_s = 0;
  for (auto _ : state) {
    const double before = catalogue_s + load_s;
    const bool complete = load_once(path, probe, catalogue_s, load_s);
    state.SetIterationTime(catalogue_s + load_s - before);
    if (!complete) {
      state.SkipWithError("not every vector loaded in full");
      break;
    }
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["catalogue_ms"] = catalogue_s * 1e3 / n;
  state.counters["load_ms"] = load_s * 1e3 / n;
  state.counters["first_ms"] = (first_catalogue + first_load) * 1e3;
}

void raw_catalogue_and_load(benchmark::State& state) {
  catalogue_and_load(state, g_raw_path, false);
}
void probe_catalogue_and_load(benchmark::State& state) {
  catalogue_and_load(state, g_probe_path, true);
}

BENCHMARK(cat_raw)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(numpy_raw)->Iterations(3)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(raw_catalogue_and_load)->Iterations(5)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(cat_probe)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(probe_catalogue_and_load)->Iterations(5)->Unit(benchmark::kMillisecond)->UseManualTime();

// Keeps each benchmark's mean time per iteration (ms) and its counters for the
// summary lines.

void summary(const bench_support::FigureCapture& c, const char* label, const std::string& load,
             const std::string& cat, const std::string& numpy) {
  const double total = c.get(load), k = c.get(cat), np = numpy.empty() ? -1 : c.get(numpy);
  if (total < 0 || k < 0) {
    std::printf("%s: no figures\n", label);
    return;
  }
  const auto& counters = c.counters.at(load);
  std::printf("%s: catalogue %.2f ms, load all %.1f ms, together %.1f ms; cat %.1f ms: %.2fx cat", label,
              counters.at("catalogue_ms"), counters.at("load_ms"), total, k, total / k);
  if (np > 0) std::printf("; numpy %.1f ms: %.2fx faster than numpy", np, np / total);
  std::printf("\n%s first run: %.1f ms", label, counters.at("first_ms"));
  if (np > 0) std::printf(", numpy's first run %.1f ms", c.counters.at(numpy).at("first_ms"));
  std::printf("\n");
}

// Opens the 2 GB file and reads one vector of it, in this (child) process.
bool big_file_read() {
  BatchNotify notify(kTraceryTitle);
  NullProgress progress;
  DataStore store(notify, progress);
  if (!store.start()) return false;
  store.open_data_file(g_big_path);
  const Memory before = bench_support::memory_now();
  const auto t0 = Clock::now();
  const int vectors = raw_read_file(store, g_big_path, true);
  const auto t1 = Clock::now();
  const DataVector* v = store.find_vector("V(N7)", DATA_CLASS_BINARY, -1, -1, -1);
  if (vectors != kVariables || !v) return false;
  const auto values = store.values(*v);
  const auto t2 = Clock::now();
  int loaded = 0;
  for (const auto& w : store.data_class(DATA_CLASS_BINARY)->vectors) loaded += w.loaded() ? 1 : 0;
  const bool right = static_cast<int64_t>(values.size()) == kBigPoints && values[0] == big_value(7, 0) &&
                     values[kBigPoints - 1] == big_value(7, kBigPoints - 1);
  const Memory after = bench_support::memory_now();
  std::printf(
      "2 GB raw (%.2f GB): catalogue %.2f ms, one vector (%lld points) %.1f ms, %d of %d vectors loaded, "
      "values %s\n",
      std::filesystem::file_size(g_big_path) / 1e9, std::chrono::duration<double>(t1 - t0).count() * 1e3,
      static_cast<long long>(kBigPoints), std::chrono::duration<double>(t2 - t1).count() * 1e3, loaded,
      vectors, right ? "right" : "WRONG");
  std::printf(
      "2 GB raw memory: peak RSS %.1f MB (%.1f MB before opening), RssAnon %.1f MB, RssShmem %.1f MB\n",
      peak_rss_kb() / 1024.0, before.rss / 1024.0, after.anon / 1024.0, after.shmem / 1024.0);
  return right && loaded == 1;
}

}  // namespace
}  // namespace zephyrim

int main(int argc, char** argv) {
  using namespace zephyrim;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("zephyrim_data_bench_" + std::to_string(getpid()));
  fs::create_directories(dir);
  g_raw_path = (dir / "bench.raw").string();
  g_probe_path = (dir / "bench.sav").string();
  g_big_path = (dir / "big.raw").string();
  g_raw_data_offset = static_cast<int64_t>(raw_header(kPoints).size());
  if (!in_child([] { return write_raw(g_raw_path, kPoints, value) && write_probe(g_probe_path); })) {
    std::fprintf(stderr, "cannot write the data files in %s\n", dir.c_str());
    fs::remove_all(dir);
    return 1;
  }
  bench_support::warm(g_raw_path);
  bench_support::warm(g_probe_path);

  bench_support::FigureCapture capture;
  benchmark::RunSpecifiedBenchmarks(&capture);
  benchmark::Shutdown();

  std::printf("\n");
  summary(capture, "raw", "raw_catalogue_and_load", "cat_raw", "numpy_raw");
  summary(capture, "probe", "probe_catalogue_and_load", "cat_probe", "");
  std::printf("file sizes: raw %.1f MB, probe %.1f MB\n", fs::file_size(g_raw_path) / 1e6,
              fs::file_size(g_probe_path) / 1e6);
  std::printf(
      "memory after a load (peak of the runs): RSS %.1f MB, RssAnon %.1f MB, RssFile %.1f MB, RssShmem %.1f "
      "MB\n",
      g_peak.rss / 1024.0, g_peak.anon / 1024.0, g_peak.file / 1024.0, g_peak.shmem / 1024.0);
  fs::remove(g_raw_path);
  fs::remove(g_probe_path);

  // The big file is written by a child too, then read in a fresh one.
  if (!in_child([] { return write_raw(g_big_path, kBigPoints, big_value); })) {
    std::printf("2 GB raw: cannot write %s\n", g_big_path.c_str());
  } else {
    bench_support::warm(g_big_path);
    if (!in_child(big_file_read)) std::printf("2 GB raw: reading one vector failed\n");
  }
  fs::remove_all(dir);
  return 0;
}
