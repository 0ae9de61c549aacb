// The whole compile of a schematic for a run (connectivity of every sheet, the
// map file and the netlist, both written to disk) on the RC ladders of 1,000,
// 10,000 and 100,000 stages.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "netlist/netlist_writer.h"
#include "rc_ladder.h"

namespace zephyrim {
namespace {

void BM_CompileNetlist(benchmark::State& state) {
  auto s = bench_support::ladder(static_cast<int>(state.range(0)));
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "zephyrim_netlist_bench";
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
  std::filesystem::remove_all(dir);
}

BENCHMARK(BM_CompileNetlist)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zephyrim
