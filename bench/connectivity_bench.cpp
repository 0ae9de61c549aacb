// The connectivity pass on RC ladders of 1,000, 10,000 and 100,000 stages: a
// resistor and a capacitor each, joined by wires, the capacitors on one long
// ground rail of wires, 5,000 stages to a page (a page's lists hold at most
// 32,767 records). The pairwise reference runs on the smallest ladder, for scale;
// a ladder with a label on every node measures the label search, and the map
// file the pass in its map mode over every page with the text it writes.
#include <benchmark/benchmark.h>

#include <map>

#include "netlist/connectivity.h"
#include "netlist/map_file.h"
#include "rc_ladder.h"

namespace zephyrim {
namespace {

using bench_support::ladder;

template <int (*Pass)(Schematic&, Connectivity&, int, Notify&), bool Labelled = false>
void run(benchmark::State& state) {
  const int stages = static_cast<int>(state.range(0));
  auto s = ladder(stages, Labelled);
  size_t wires = 0;
  for (const auto& p : s->pages) wires += p->wires.size();
  for (auto _ : state) {
    Connectivity c;
    RecordingNotify n;
    n.set_default_answer(1);
    for (int p = 0; p < s->page_count(); ++p) {
      page_select(*s, p, n);
      for (auto& b : s->page().blocks) b->dirty = 1;
      benchmark::DoNotOptimize(Pass(*s, c, 0, n));
    }
  }
  state.counters["stages"] = stages;
  state.counters["wires"] = static_cast<double>(wires);
  state.counters["pages"] = s->page_count();
}

void BM_Connectivity(benchmark::State& state) {
  run<build_connectivity>(state);
}
void BM_ConnectivityReference(benchmark::State& state) {
  run<build_connectivity_reference>(state);
}
void BM_ConnectivityLabelled(benchmark::State& state) {
  run<build_connectivity, true>(state);
}

void BM_MapFile(benchmark::State& state) {
  auto s = ladder(static_cast<int>(state.range(0)));
  size_t bytes = 0;
  for (auto _ : state) {
    Connectivity c;
    RecordingNotify n;
    n.set_default_answer(1);
    bytes = map_file_text(*s, c, n).size();
  }
  state.counters["bytes"] = static_cast<double>(bytes);
}

BENCHMARK(BM_Connectivity)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConnectivityReference)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConnectivityLabelled)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MapFile)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zephyrim
