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

namespace zephyrim {
namespace {

constexpr int kStagesPerPage = 5000;

const SymbolRecord* add_symbol(Schematic& s, const char* name, int kind, Region r, std::vector<SymbolPin> pins) {
  RecordingNotify n;
  auto d = std::make_unique<SymbolRecord>();
  d->name.assign(name);
  d->kind = kind;
  d->region = r;
  d->draws.resize(1);
  d->pins = std::move(pins);
  return s.symbols.entries[symtab_add(s, name, std::move(d), kOriginLibrary, n)].definition.get();
}

std::unique_ptr<Schematic> ladder(int stages, bool labelled = false) {
  RecordingNotify n;
  auto s = schematic_new("ladder.sch", 1767603600);
  const SymbolRecord* r = add_symbol(*s, "R", kSymbolPart, {-32, -8, 32, 8},
                                     {SymbolPin{2, -32, 0, -16, -1, {}, {}}, SymbolPin{4, 32, 0, 16, -1, {}, {}}});
  const SymbolRecord* c = add_symbol(*s, "CV", kSymbolPart, {-8, -24, 8, 24},
                                     {SymbolPin{1, 0, -24, -8, -1, {}, {}}, SymbolPin{3, 0, 24, 8, -1, {}, {}}});
  const SymbolRecord* g = add_symbol(*s, "GND", kSymbolGround, {-8, 0, 8, 16}, {SymbolPin{1, 0, 0, 8, -1, {}, {}}});
  for (int k = 0; k < stages; ++k) {
    const int on_page = k % kStagesPerPage;
    if (k > 0 && on_page == 0) page_add(*s, n, 1767603600);
    if (on_page == 0) part_place(*s, g, 80, 200);  // the page's rail starts at its ground
    const int x = 64 + on_page * 96;
    PartRecord* res = part_place(*s, r, x + 32, 104);
    res->reference.assign("R" + std::to_string(k + 1));
    wire_add(*s, x + 64, 104, x + 96, 104);  // to the next resistor
    PartRecord* cap = part_place(*s, c, x + 80, 152);
    cap->reference.assign("C" + std::to_string(k + 1));
    wire_add(*s, x + 80, 104, x + 80, 128);  // down from the node to the capacitor
    if (labelled) {
      LabelRecord* l = label_new(*s);
      l->name.assign("S" + std::to_string(k + 1));
      l->x = x + 84;
      l->y = 120;
      l->width = static_cast<int>(l->name.str().size()) * 8;
    }
    wire_add(*s, x + 80, 176, x + 80, 200);  // capacitor to the rail
    wire_add(*s, on_page == 0 ? 80 : x - 16, 200, x + 80, 200);  // the rail
  }
  return s;
}

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

void BM_Connectivity(benchmark::State& state) { run<build_connectivity>(state); }
void BM_ConnectivityReference(benchmark::State& state) { run<build_connectivity_reference>(state); }
void BM_ConnectivityLabelled(benchmark::State& state) { run<build_connectivity, true>(state); }

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
