// Load and save of schematics. The RC ladders of 10,000 and 100,000 stages are
// loaded and checked as `zephyrim check` does, next to cat of the same file in
// the same run; the summary gives the ratios, the growth from the small ladder
// to the big one, and the peak memory of one load. A random schematic of 100
// pages of 1000 parts each, with wires, junctions, labels, texts and subcircuit
// blocks, is loaded, decoded, saved and encoded.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>

#include "common/file_io.h"
#include "rc_ladder.h"
#include "schematic/random_schematic.h"
#include "schematic/schematic_file.h"

namespace zephyrim {
namespace {

constexpr std::time_t kNow = 1767603600;
constexpr int kLadders[] = {10000, 100000};

using bench_support::cat_ladder;
using bench_support::ladder_path;
using bench_support::load_check_ladder;

BENCHMARK(cat_ladder)->Arg(10000)->Arg(100000)->Iterations(10)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(load_check_ladder)
    ->Arg(10000)
    ->Arg(100000)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

struct BigFile {
  std::string path;
  std::vector<uint8_t> bytes;
  size_t parts = 0;

  BigFile() {
    auto s = testing_support::random_schematic(7, testing_support::benchmark_sizes(100));
    for (const auto& p : s->pages) parts += p->parts.size();
    path = (bench_support::ladder_dir / "big.sch").string();
    RecordingNotify n;
    schematic_save(*s, path, n, kNow);
    bytes = *read_file(path);
  }
};

const BigFile& big() {
  static const BigFile f;
  return f;
}

void set_counters(benchmark::State& state, const BigFile& f) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.bytes.size()));
  state.counters["parts"] = static_cast<double>(f.parts);
  state.counters["file_MB"] = static_cast<double>(f.bytes.size()) / 1e6;
}

// From the file on disk to a schematic, as the editor opens one.
void BM_LoadSchematic(benchmark::State& state) {
  const BigFile& f = big();
  double read_s = 0, load_s = 0;
  for (auto _ : state) {
    using clock = std::chrono::steady_clock;
    const auto t0 = clock::now();
    auto bytes = read_file(f.path);
    benchmark::DoNotOptimize(bytes);
    const auto t1 = clock::now();
    RecordingNotify n;
    SchematicLoad l = schematic_load(f.path, n, true);
    const auto t2 = clock::now();
    if (!l.schematic || l.code != 0) state.SkipWithError("load failed");
    read_s += std::chrono::duration<double>(t1 - t0).count();
    load_s += std::chrono::duration<double>(t2 - t1).count();
  }
  set_counters(state, f);
  state.counters["x_read"] = read_s > 0 ? load_s / read_s : 0;  // load time over plain read time
}
BENCHMARK(BM_LoadSchematic)->Unit(benchmark::kMillisecond);

// Decoding only, from bytes in memory.
void BM_DecodeSchematic(benchmark::State& state) {
  const BigFile& f = big();
  for (auto _ : state) {
    RecordingNotify n;
    SchematicLoad l = schematic_decode(f.bytes, f.path, n);
    benchmark::DoNotOptimize(l.schematic);
  }
  set_counters(state, f);
}
BENCHMARK(BM_DecodeSchematic)->Unit(benchmark::kMillisecond);

// Saving a loaded schematic to disk: check of every page, encoding, the
// temporary file and the rename.
void BM_SaveSchematic(benchmark::State& state) {
  const BigFile& f = big();
  RecordingNotify n;
  SchematicLoad l = schematic_decode(f.bytes, f.path, n);
  const std::string out = f.path + ".out.sch";
  for (auto _ : state) {
    if (schematic_save(*l.schematic, out, n, kNow) != 0) state.SkipWithError("save failed");
  }
  set_counters(state, f);
}
BENCHMARK(BM_SaveSchematic)->Unit(benchmark::kMillisecond);

// Encoding only, into memory.
void BM_EncodeSchematic(benchmark::State& state) {
  const BigFile& f = big();
  RecordingNotify n;
  SchematicLoad l = schematic_decode(f.bytes, f.path, n);
  for (auto _ : state) benchmark::DoNotOptimize(schematic_encode(*l.schematic, n, kNow));
  set_counters(state, f);
}
BENCHMARK(BM_EncodeSchematic)->Unit(benchmark::kMillisecond);

// Keeps each run's wall time per iteration (ms) for the summary.
class Capture : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> ms;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs)
      if (!r.error_occurred) ms[r.run_name.function_name + "/" + r.run_name.args] = r.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  double get(const std::string& name) const {
    const auto it = ms.find(name);
    return it == ms.end() ? -1 : it->second;
  }
};

// Peak memory of one load of each ladder, measured in a child before anything
// else has grown the process.
std::map<int, double> g_peak_mb;

void measure_peaks() {
  for (int stages : kLadders) {
    const std::string path = ladder_path(stages);
    double peak = -1;
    if (bench_support::in_child([&] { return bench_support::load_and_check(path); }, &peak))
      g_peak_mb[stages] = peak;
  }
}

void summary(const Capture& c) {
  std::printf("\n");
  double previous = -1;
  for (int stages : kLadders) {
    const std::string arg = "/" + std::to_string(stages);
    const double load = c.get("load_check_ladder" + arg);
    const double cat = c.get("cat_ladder" + arg);
    const double peak = g_peak_mb.contains(stages) ? g_peak_mb[stages] : -1;
    const std::string path = ladder_path(stages);
    std::printf(
        "ladder %d stages (%.1f MB): load+check %.1f ms, cat %.1f ms, ratio %.1f; peak RSS of a load %.0f "
        "MB\n",
        stages, std::filesystem::file_size(path) / 1e6, load, cat, cat > 0 ? load / cat : 0, peak);
    if (previous > 0 && load > 0)
      std::printf("  load+check grows x%.1f from the smaller ladder\n", load / previous);
    previous = load;
  }
}

}  // namespace
}  // namespace zephyrim

int main(int argc, char** argv) {
  using namespace zephyrim;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  namespace fs = std::filesystem;
  bench_support::ladder_dir =
      fs::temp_directory_path() / ("zephyrim_schematic_bench_" + std::to_string(getpid()));
  fs::create_directories(bench_support::ladder_dir);
  for (int stages : kLadders) {
    if (!bench_support::write_ladder_file(stages, ladder_path(stages))) {
      std::fprintf(stderr, "cannot write the ladders in %s\n", bench_support::ladder_dir.c_str());
      fs::remove_all(bench_support::ladder_dir);
      return 1;
    }
    bench_support::warm(ladder_path(stages));
  }
  measure_peaks();
  Capture capture;
  benchmark::RunSpecifiedBenchmarks(&capture);
  benchmark::Shutdown();
  summary(capture);
  fs::remove_all(bench_support::ladder_dir);
  return 0;
}
