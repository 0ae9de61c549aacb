// The editor's undo history on one page of 100,000 parts and 100,000 wires:
// 100 moves of ten parts scattered over the page, each after its snapshot, then
// 100 undos and 100 redos, with the time of each and the memory the history
// holds. Beside them, in the same run, what the one-level undo buffer paid for
// every such operation: a full copy of the page's lists into flat arrays.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <unordered_map>

#include "bench_support.h"
#include "editing/edit_ops.h"
#include "editing/undo_history.h"
#include "schematic/test_symbols.h"

namespace zephyrim {
namespace {

constexpr int kParts = 100000;
constexpr int kMoves = 100;
constexpr int kMoved = 10;

using clock_type = std::chrono::steady_clock;

double ms_since(clock_type::time_point t0) {
  return std::chrono::duration<double, std::milli>(clock_type::now() - t0).count();
}

// Resistors in rows of 500, each wired to the next.
struct Bench {
  RecordingNotify notify;
  std::unique_ptr<Schematic> s = schematic_new("undo_bench.sch", 1767603600);
  ReferenceCounters counters;

  Bench() {
    const SymbolRecord* r = testing_support::add_test_symbol(*s, "R", kSymbolPart, {-32, -8, 32, 8},
                                                             testing_support::two_pins_across());
    for (int i = 0; i < kParts; ++i) {
      const int x = 96 * (i % 500), y = 48 * (i / 500);
      PartRecord* p = part_place(*s, r, x + 32, y);
      p->reference.assign("R" + std::to_string(i + 1));
      p->value.assign("1k");
      wire_add(*s, x + 64, y, x + 96, y);
    }
    references_recount(*s, counters);
  }
};

Bench& bench() {
  static Bench b;
  return b;
}

// The one-level buffer's snapshot: every record copied, with its pointers into
// the page turned into positions.
struct FlatPart {
  PartRecord record;
  int32_t owner = 0;
  std::vector<int32_t> pin_labels;
};
struct FlatWire {
  WireRecord record;
  int32_t owner = 0, label = 0;
};
struct FlatCopy {
  std::vector<BlockRecord> blocks;
  std::vector<LabelRecord> labels;
  std::vector<FlatPart> parts;
  std::vector<FlatWire> wires;
  std::vector<JunctionRecord> junctions;
  std::vector<TextRecord> texts;

  explicit FlatCopy(const Page& page) {
    std::unordered_map<const BlockRecord*, int32_t> block_at;
    std::unordered_map<const LabelRecord*, int32_t> label_at;
    for (size_t i = 0; i < page.blocks.size(); ++i) block_at.emplace(page.blocks[i].get(), int32_t(i));
    for (size_t i = 0; i < page.labels.size(); ++i) label_at.emplace(page.labels[i].get(), int32_t(i));
    auto owner = [&](const BlockRecord* b) {
      const auto it = block_at.find(b);
      return it == block_at.end() ? 0 : it->second;
    };
    auto label = [&](const LabelRecord* l) {
      const auto it = label_at.find(l);
      return it == label_at.end() ? 0 : it->second + 1;
    };
    for (const auto& b : page.blocks) blocks.push_back(*b);
    for (const auto& l : page.labels) labels.push_back(*l);
    parts.reserve(page.parts.size());
    for (const auto& p : page.parts) {
      FlatPart& c = parts.emplace_back(FlatPart{*p, owner(p->owner), {}});
      for (PinNode& pn : c.record.pin_nodes) {
        c.pin_labels.push_back(label(pn.label));
        pn.label = nullptr;
      }
    }
    wires.reserve(page.wires.size());
    for (const auto& w : page.wires) wires.push_back(FlatWire{*w, owner(w->owner), label(w->label)});
    for (const auto& j : page.junctions) junctions.push_back(*j);
    for (const auto& t : page.texts) texts.push_back(*t);
  }

  // The heap it holds, as the history's meter counts its own.
  size_t bytes() const {
    size_t n = blocks.capacity() * sizeof(BlockRecord) + labels.capacity() * sizeof(LabelRecord) +
               parts.capacity() * sizeof(FlatPart) + wires.capacity() * sizeof(FlatWire) +
               junctions.capacity() * sizeof(JunctionRecord) + texts.capacity() * sizeof(TextRecord);
    for (const FlatPart& p : parts)
      n += p.record.pin_nodes.capacity() * sizeof(PinNode) + p.pin_labels.capacity() * sizeof(int32_t) + 32;
    return n;
  }
};

struct Figures {
  double flat_ms = -1, flat_mb = -1;
  double first_ms = -1, first_mb = -1;
  double snapshot_ms = -1, undo_ms = -1, redo_ms = -1, history_mb = -1, rss_mb = -1;
} g;

// The reference: one full copy of the page's lists.
void BM_FullCopyOfThePage(benchmark::State& state) {
  const Page& page = bench().s->page();
  size_t bytes = 0;
  for (auto _ : state) {
    FlatCopy c(page);
    bytes = c.bytes();
    benchmark::DoNotOptimize(c);
  }
  state.counters["MB"] = bytes / 1e6;
  g.flat_mb = bytes / 1e6;
}
BENCHMARK(BM_FullCopyOfThePage)->Iterations(5)->Unit(benchmark::kMillisecond);

// The history's first snapshot of a page, with nothing to share yet.
void BM_FirstSnapshot(benchmark::State& state) {
  const Page& page = bench().s->page();
  auto meter = std::make_shared<UndoMeter>();
  size_t bytes = 0;
  for (auto _ : state) {
    auto snap = page_snapshot(page, nullptr, meter);
    bytes = meter->bytes;
    benchmark::DoNotOptimize(snap);
  }
  state.counters["MB"] = bytes / 1e6;
  g.first_mb = bytes / 1e6;
}
BENCHMARK(BM_FirstSnapshot)->Iterations(5)->Unit(benchmark::kMillisecond);

// 100 moves of ten parts, then every one undone and redone; the real time is
// the whole run, the counters the mean of each kind of step.
void BM_MovesUndoneAndRedone(benchmark::State& state) {
  Bench& b = bench();
  Schematic& s = *b.s;
  for (auto _ : state) {
    UndoHistory h;
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> any(0, kParts - 1);
    const long rss0 = bench_support::memory_now().anon;
    double snap_ms = 0, undo_ms = 0, redo_ms = 0;
    std::vector<PartRecord*> chosen;
    for (int k = 0; k < kMoves; ++k) {
      for (PartRecord* p : chosen) p->selected = 0;
      chosen.clear();
      for (int i = 0; i < kMoved; ++i) {
        chosen.push_back(s.page().parts[any(rng)].get());
        chosen.back()->selected = 1;
      }
      const auto t0 = clock_type::now();
      h.snapshot(s);
      snap_ms += ms_since(t0);
      move_selected(s, 0, 8, true, b.notify);
    }
    const double history_mb = h.memory() / 1e6;
    const double rss_mb = (bench_support::memory_now().anon - rss0) / 1e3;
    for (int k = 0; k < kMoves; ++k) {
      const auto t0 = clock_type::now();
      if (!h.undo(s, b.notify, b.counters)) state.SkipWithError("undo failed");
      undo_ms += ms_since(t0);
    }
    for (int k = 0; k < kMoves; ++k) {
      const auto t0 = clock_type::now();
      if (!h.redo(s, b.notify, b.counters)) state.SkipWithError("redo failed");
      redo_ms += ms_since(t0);
    }
    state.SetIterationTime((snap_ms + undo_ms + redo_ms) / 1e3);
    g.snapshot_ms = snap_ms / kMoves;
    g.undo_ms = undo_ms / kMoves;
    g.redo_ms = redo_ms / kMoves;
    g.history_mb = history_mb;
    g.rss_mb = rss_mb;
    state.counters["snapshot_ms"] = g.snapshot_ms;
    state.counters["undo_ms"] = g.undo_ms;
    state.counters["redo_ms"] = g.redo_ms;
    state.counters["history_MB"] = history_mb;
  }
}
BENCHMARK(BM_MovesUndoneAndRedone)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zephyrim

int main(int argc, char** argv) {
  using namespace zephyrim;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  bench();  // the page is built before anything is measured
  bench_support::FigureCapture capture;
  benchmark::RunSpecifiedBenchmarks(&capture);
  benchmark::Shutdown();
  const double flat_ms = capture.get("BM_FullCopyOfThePage");
  const double first_ms = capture.get("BM_FirstSnapshot");
  std::printf("\npage of %d parts and %d wires, %d moves of %d scattered parts:\n", kParts, kParts, kMoves,
              kMoved);
  std::printf("  one full copy of the lists (the one-level buffer's snapshot): %.1f ms, %.1f MB\n", flat_ms,
              g.flat_mb);
  std::printf("  the history's first snapshot of the page, nothing to share: %.1f ms, %.1f MB\n", first_ms,
              g.first_mb);
  if (g.snapshot_ms >= 0 && flat_ms > 0) {
    std::printf("  per move: snapshot %.1f ms (x%.2f of the full copy), undo %.1f ms, redo %.1f ms\n",
                g.snapshot_ms, g.snapshot_ms / flat_ms, g.undo_ms, g.redo_ms);
    std::printf(
        "  history of %d steps: %.1f MB by its meter (%.1f MB resident growth), x%.2f of one full copy;"
        " %d full copies: %.0f MB\n",
        kMoves, g.history_mb, g.rss_mb, g.history_mb / g.flat_mb, kMoves, kMoves * g.flat_mb);
  }
  return 0;
}
