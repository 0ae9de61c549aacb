#pragma once
// The benchmarks' RC ladders: a resistor and a capacitor a stage, joined by
// wires, the capacitors on one long ground rail of wires, 5,000 stages to a
// page (a page's lists hold at most 32,767 records). A label on every node
// when asked for. Below them, what the file benchmarks set their figures
// against: the same file read by cat, and the peak memory of one run.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bench_support.h"
#include "schematic/schematic.h"
#include "schematic/schematic_file.h"

extern char** environ;

namespace zephyrim::bench_support {

constexpr int kStagesPerPage = 5000;

inline const SymbolRecord* add_symbol(Schematic& s, const char* name, int kind, Region r,
                                      std::vector<SymbolPin> pins) {
  RecordingNotify n;
  auto d = std::make_unique<SymbolRecord>();
  d->name.assign(name);
  d->kind = kind;
  d->region = r;
  d->draws.resize(1);
  d->pins = std::move(pins);
  return s.symbols.entries[symtab_add(s, name, std::move(d), kOriginLibrary, n)].definition.get();
}

inline std::unique_ptr<Schematic> ladder(int stages, bool labelled = false) {
  RecordingNotify n;
  auto s = schematic_new("ladder.sch", 1767603600);
  const SymbolRecord* r =
      add_symbol(*s, "R", kSymbolPart, {-32, -8, 32, 8},
                 {SymbolPin{2, -32, 0, -16, -1, {}, {}}, SymbolPin{4, 32, 0, 16, -1, {}, {}}});
  const SymbolRecord* c =
      add_symbol(*s, "CV", kSymbolPart, {-8, -24, 8, 24},
                 {SymbolPin{1, 0, -24, -8, -1, {}, {}}, SymbolPin{3, 0, 24, 8, -1, {}, {}}});
  const SymbolRecord* g =
      add_symbol(*s, "GND", kSymbolGround, {-8, 0, 8, 16}, {SymbolPin{1, 0, 0, 8, -1, {}, {}}});
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
    wire_add(*s, x + 80, 176, x + 80, 200);                      // capacitor to the rail
    wire_add(*s, on_page == 0 ? 80 : x - 16, 200, x + 80, 200);  // the rail
  }
  return s;
}

// Runs work in a child process and waits for it; true when it succeeded. The
// child's peak resident memory in MB goes to *peak_mb when asked for: the
// parent stays small, so the figure is that of the work.
inline bool in_child(const std::function<bool()>& work, double* peak_mb = nullptr) {
  const pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) _exit(work() ? 0 : 1);
  int status = 0;
  rusage ru{};
  if (wait4(pid, &status, 0, &ru) != pid) return false;
  if (peak_mb) *peak_mb = static_cast<double>(ru.ru_maxrss) / 1024.0;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Saves the ladder of `stages` stages to path. Built in a child, so that the
// memory it takes stays out of the measurements that follow.
inline bool write_ladder_file(int stages, const std::string& path) {
  return in_child([&] {
    RecordingNotify n;
    return schematic_save(*ladder(stages), path, n, 1767603600) == 0;
  });
}

// The floor a reader of the file is held against: /bin/cat FILE >/dev/null.
inline bool spawn_cat(const std::string& path) {
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  char* argv[] = {const_cast<char*>("cat"), const_cast<char*>(path.c_str()), nullptr};
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, "/bin/cat", &fa, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&fa);
  int status = 0;
  return rc == 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// What `zephyrim check` does with a file: the load, with the check of every page.
inline bool load_and_check(const std::string& path) {
  RecordingNotify n;
  n.set_default_answer(1);
  const SchematicLoad l = schematic_load(path, n, true);
  return l.schematic && l.code == 0;
}

// Where a benchmark program writes its ladders; set by its main().
inline std::filesystem::path ladder_dir;

inline std::string ladder_path(int stages) {
  return (ladder_dir / ("ladder" + std::to_string(stages) + ".sch")).string();
}

// cat of the ladder of state.range(0) stages, the reference of the file benchmarks.
inline void cat_ladder(benchmark::State& state) {
  const std::string path = ladder_path(static_cast<int>(state.range(0)));
  for (auto _ : state)
    if (!spawn_cat(path)) {
      state.SkipWithError("cat failed");
      break;
    }
}

// The load with the check of every page, as `zephyrim check` does it; the
// schematic's teardown is not timed.
inline void load_check_ladder(benchmark::State& state) {
  const std::string path = ladder_path(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    RecordingNotify n;
    n.set_default_answer(1);
    SchematicLoad l = schematic_load(path, n, true);
    state.PauseTiming();
    const bool ok = l.schematic && l.code == 0;
    l.schematic.reset();
    state.ResumeTiming();
    if (!ok) {
      state.SkipWithError("load failed");
      break;
    }
  }
}

}  // namespace zephyrim::bench_support
