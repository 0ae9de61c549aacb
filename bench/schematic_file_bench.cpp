// Load and save of a large schematic: 100 pages of 1000 parts each, with their
// wires, junctions, labels, texts and subcircuit blocks. The load is also set
// against reading the same bytes from the file, measured in the same run.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <chrono>
#include <filesystem>

#include "common/file_io.h"
#include "schematic/random_schematic.h"
#include "schematic/schematic_file.h"

namespace zephyrim {
namespace {

constexpr std::time_t kNow = 1767603600;

struct BigFile {
  std::string path;
  std::vector<uint8_t> bytes;
  size_t parts = 0;

  BigFile() {
    auto s = testing_support::random_schematic(7, testing_support::benchmark_sizes(100));
    for (const auto& p : s->pages) parts += p->parts.size();
    path = (std::filesystem::temp_directory_path() / "zephyrim_bench_big.sch").string();
    RecordingNotify n;
    schematic_save(*s, path, n, kNow);
    bytes = *read_file(path);
  }
  ~BigFile() {
    std::error_code ec;
    std::filesystem::remove(path, ec);
  }
};

const BigFile& big() {
  static const BigFile f;
  return f;
}

size_t heap_in_use() {
  return mallinfo2().uordblks;
}

void set_counters(benchmark::State& state, const BigFile& f) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.bytes.size()));
  state.counters["parts"] = static_cast<double>(f.parts);
  state.counters["file_MB"] = static_cast<double>(f.bytes.size()) / 1e6;
}

// From the file on disk to a schematic, as the editor opens one.
void BM_LoadSchematic(benchmark::State& state) {
  const BigFile& f = big();
  double read_s = 0, load_s = 0, heap_mb = 0;
  for (auto _ : state) {
    using clock = std::chrono::steady_clock;
    const auto t0 = clock::now();
    auto bytes = read_file(f.path);
    benchmark::DoNotOptimize(bytes);
    const auto t1 = clock::now();
    RecordingNotify n;
    const size_t before = heap_in_use();
    SchematicLoad l = schematic_load(f.path, n, true);
    heap_mb = static_cast<double>(heap_in_use() - before) / 1e6;
    const auto t2 = clock::now();
    if (!l.schematic || l.code != 0) state.SkipWithError("load failed");
    read_s += std::chrono::duration<double>(t1 - t0).count();
    load_s += std::chrono::duration<double>(t2 - t1).count();
  }
  set_counters(state, f);
  state.counters["heap_MB"] = heap_mb;
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
  std::error_code ec;
  std::filesystem::remove(out, ec);
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

}  // namespace
}  // namespace zephyrim
