// The netlist of an RC ladder, as `zephyrim netlist` writes it: the load with
// the check of every page, the connectivity of every sheet, the netlist, the
// map file and the analysis command file. For 10,000 and 100,000 stages the
// load+check and the whole netlist are set against cat of the same schematic
// file in the same run; the summary gives the ratios, the growth from the
// small ladder to the big one and the peak memory of one run. The compile of a
// ladder already in memory is measured on its own as well.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <map>

#include "netlist/netlist_writer.h"
#include "rc_ladder.h"
#include "simulation/sim_setup.h"

namespace zephyrim {
namespace {

constexpr int kLadders[] = {10000, 100000};

using bench_support::cat_ladder;
using bench_support::ladder_path;
using bench_support::load_check_ladder;

// What the verb does after the load: the setup beside the schematic, then the
// compile with its .CIR, .MAP and .CMD. True when everything was written.
bool write_netlist(Schematic& s, const std::string& path, Notify& n) {
  NetlistOptions o;
  o.files = netlist_files(path);
  SimulationSetup setup;
  if (load_setup(setup, o.files.in_folder(o.files.base + ".SIM"), n)) o.setup = &setup;
  o.mode = kNetlistRun;
  return o.setup && compile_netlist(s, o, n) == 1;
}

bool whole_netlist(const std::string& path) {
  RecordingNotify n;
  n.set_default_answer(1);
  SchematicLoad l = schematic_load(path, n, true);
  return l.schematic && l.code == 0 && write_netlist(*l.schematic, path, n);
}

void netlist_ladder(benchmark::State& state) {
  const std::string path = ladder_path(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    RecordingNotify n;
    n.set_default_answer(1);
    SchematicLoad l = schematic_load(path, n, true);
    const bool ok = l.schematic && l.code == 0 && write_netlist(*l.schematic, path, n);
    state.PauseTiming();
    l.schematic.reset();
    state.ResumeTiming();
    if (!ok) {
      state.SkipWithError("netlist failed");
      break;
    }
  }
  const auto files = netlist_files(path);
  state.counters["netlist_MB"] = static_cast<double>(std::filesystem::file_size(files.netlist)) / 1e6;
  state.counters["map_MB"] = static_cast<double>(std::filesystem::file_size(files.map)) / 1e6;
}

BENCHMARK(cat_ladder)->Arg(10000)->Arg(100000)->Iterations(10)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(load_check_ladder)
    ->Arg(10000)
    ->Arg(100000)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(netlist_ladder)
    ->Arg(10000)
    ->Arg(100000)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The compile alone, of a ladder built in memory: connectivity of every sheet,
// map file and netlist, both written to disk.
void BM_CompileNetlist(benchmark::State& state) {
  auto s = bench_support::ladder(static_cast<int>(state.range(0)));
  const std::filesystem::path dir = bench_support::ladder_dir / "compile";
  std::filesystem::create_directories(dir);
  s->path = (dir / "ladder.sch").string();
  NetlistOptions o;
  o.files = netlist_files(s->path);
  for (auto _ : state) {
    RecordingNotify n;
    n.set_default_answer(1);
    benchmark::DoNotOptimize(compile_netlist(*s, o, n));
  }
  state.counters["netlist_bytes"] = static_cast<double>(std::filesystem::file_size(o.files.netlist));
  state.counters["map_bytes"] = static_cast<double>(std::filesystem::file_size(o.files.map));
}
BENCHMARK(BM_CompileNetlist)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

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

// Peak memory of one load+check and of one whole netlist of each ladder,
// measured in children before anything else has grown the process.
struct Peaks {
  double load = -1, netlist = -1;
};
std::map<int, Peaks> g_peaks;

void measure_peaks() {
  for (int stages : kLadders) {
    const std::string path = ladder_path(stages);
    Peaks& p = g_peaks[stages];
    if (!bench_support::in_child([&] { return bench_support::load_and_check(path); }, &p.load)) p.load = -1;
    if (!bench_support::in_child([&] { return whole_netlist(path); }, &p.netlist)) p.netlist = -1;
  }
}

void summary(const Capture& c) {
  std::printf("\n");
  double previous_load = -1, previous_netlist = -1;
  for (int stages : kLadders) {
    const std::string arg = "/" + std::to_string(stages);
    const double cat = c.get("cat_ladder" + arg);
    const double load = c.get("load_check_ladder" + arg);
    const double netlist = c.get("netlist_ladder" + arg);
    const Peaks& p = g_peaks[stages];
    std::printf("ladder %d stages (%.1f MB), cat %.1f ms:\n", stages,
                std::filesystem::file_size(ladder_path(stages)) / 1e6, cat);
    std::printf("  load+check    %7.1f ms, ratio to cat %5.1f, peak RSS %4.0f MB\n", load,
                cat > 0 ? load / cat : 0, p.load);
    std::printf("  whole netlist %7.1f ms, ratio to cat %5.1f, peak RSS %4.0f MB\n", netlist,
                cat > 0 ? netlist / cat : 0, p.netlist);
    if (previous_load > 0 && previous_netlist > 0)
      std::printf("  growth from the smaller ladder: load+check x%.1f, whole netlist x%.1f\n",
                  load / previous_load, netlist / previous_netlist);
    previous_load = load;
    previous_netlist = netlist;
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
      fs::temp_directory_path() / ("zephyrim_netlist_bench_" + std::to_string(getpid()));
  fs::create_directories(bench_support::ladder_dir);
  const fs::path setup = fs::path(ZEPHYRIM_SOURCE_DIR) / "examples" / "rc_lowpass.SIM";
  for (int stages : kLadders) {
    const std::string path = ladder_path(stages);
    std::error_code ec;
    fs::copy_file(setup, fs::path(path).replace_extension("SIM"), fs::copy_options::overwrite_existing, ec);
    if (ec || !bench_support::write_ladder_file(stages, path)) {
      std::fprintf(stderr, "cannot write the ladders in %s\n", bench_support::ladder_dir.c_str());
      fs::remove_all(bench_support::ladder_dir);
      return 1;
    }
    bench_support::warm(path);
  }
  measure_peaks();
  Capture capture;
  benchmark::RunSpecifiedBenchmarks(&capture);
  benchmark::Shutdown();
  summary(capture);
  fs::remove_all(bench_support::ladder_dir);
  return 0;
}
