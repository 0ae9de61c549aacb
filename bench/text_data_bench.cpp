// Reading a 100 MB text data table (a title, an empty line, the header
// "TIME V(1) ... V(9)" and rows of ten numbers in %.9E form) into the store,
// beside cat of the same file measured in the same run: a table is only
// useful if opening it costs about what reading its bytes does. Then one load
// in a process of its own, so that its peak memory is its own, set against the
// size of the file.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <charconv>
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
#include "viewer/data/text_data_file.h"

namespace zephyrim {
namespace {

constexpr int kColumns = 10;  // TIME and V(1) .. V(9)
constexpr uint64_t kFileBytes = 100'000'000;
constexpr double kStep = 1e-9;

std::string g_path;
int64_t g_rows = 0;

// Smooth but different in every digit from one row to the next, with signs
// and exponents that change, so no number is the same as the one above it.
double value(int column, int64_t row) {
  const double t = static_cast<double>(row) * kStep;
  if (column == 0) return t;
  const double w = 2.0 * M_PI * (1.0e3 * column + 317.0);
  return std::pow(10.0, column - 5) * (std::sin(w * t) + 0.1 * std::cos(3.1 * w * t + column));
}

// "%.9E" of v: to_chars writes the same digits, with a small e.
void append_number(std::string& out, double v) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, 9);
  for (char* p = buf; p != r.ptr; ++p)
    if (*p == 'e') *p = 'E';
  out.append(buf, r.ptr);
}

// Writes rows until the file holds kFileBytes; returns the number of rows, or -1.
int64_t write_table(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return -1;
  std::string out = "text table benchmark\n\nTIME";
  for (int c = 1; c < kColumns; ++c) out += " V(" + std::to_string(c) + ")";
  out += "\n";
  uint64_t written = 0;
  int64_t rows = 0;
  bool ok = true;
  while (ok && written + out.size() < kFileBytes) {
    for (int c = 0; c < kColumns; ++c) {
      append_number(out, value(c, rows));
      out += c + 1 < kColumns ? ' ' : '\n';
    }
    ++rows;
    if (out.size() >= (1u << 20)) {
      ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
      written += out.size();
      out.clear();
    }
  }
  ok = ok && std::fwrite(out.data(), 1, out.size(), f) == out.size();
  return std::fclose(f) == 0 && ok ? rows : -1;
}

// The store a load fills, with what it reports to.
struct Loaded {
  BatchNotify notify{kTraceryTitle};
  NullProgress progress;
  DataStore store{notify, progress};
};

// Every column registered in full, its first and last values those written.
bool complete(DataStore& store) {
  const DataClass* c = store.data_class(DATA_CLASS_TEXT);
  if (!c || c->count != kColumns) return false;
  int column = 0;
  for (const DataVector& v : c->vectors) {
    const auto values = store.values(v);
    if (static_cast<int64_t>(values.size()) != g_rows) return false;
    // The file holds 10 significant digits.
    const double first = value(column, 0), last = value(column, g_rows - 1);
    if (std::fabs(values[0] - first) > 1e-9 * std::fabs(first) ||
        std::fabs(values[g_rows - 1] - last) > 1e-9 * std::fabs(last))
      return false;
    ++column;
  }
  return true;
}

void cat_text(benchmark::State& state) {
  for (auto _ : state)
    if (!bench_support::run_program("/bin/cat", {"cat", g_path}, -1)) {
      state.SkipWithError("cat failed");
      break;
    }
}

using Clock = std::chrono::steady_clock;

// The load alone: making the store and tearing it down are not timed.
void text_load(benchmark::State& state) {
  for (auto _ : state) {
    auto loaded = std::make_unique<Loaded>();
    if (!loaded->store.start()) {
      state.SkipWithError("no store");
      break;
    }
    const auto t0 = Clock::now();
    const int vectors = text_read_file(loaded->store, g_path, true);
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
    if (vectors != kColumns || !complete(loaded->store)) {
      state.SkipWithError("the table did not load whole");
      break;
    }
  }
}

BENCHMARK(cat_text)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(text_load)->Iterations(5)->Unit(benchmark::kMillisecond)->UseManualTime();

// kB figures of /proc/self/status.
using bench_support::Memory;

double mb(long kb) {
  return static_cast<double>(kb) * 1024 / 1e6;
}

// One load in a child whose peak memory is the load's: the parent is small
// when it forks, and the child's figures are printed before it exits.
bool load_in_child() {
  std::fflush(stdout);
  const pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    Loaded loaded;
    const Memory before = bench_support::memory_now();
    const auto t0 = Clock::now();
    const bool ok = loaded.store.start() && text_read_file(loaded.store, g_path, true) == kColumns;
    const double ms = std::chrono::duration<double>(Clock::now() - t0).count() * 1e3;
    const Memory after = bench_support::memory_now();
    const bool whole = ok && complete(loaded.store);
    const double file_mb = static_cast<double>(std::filesystem::file_size(g_path)) / 1e6;
    const double data_mb = static_cast<double>(g_rows) * kColumns * sizeof(double) / 1e6;
    std::printf("one load in a fresh process: %.1f ms, values %s\n", ms, whole ? "right" : "WRONG");
    std::printf(
        "memory: peak RSS %.1f MB (%.1f MB before the load) against the file's %.1f MB: %.2fx the file "
        "(the values alone are %.1f MB)\n",
        mb(after.peak), mb(before.rss), file_mb, mb(after.peak) / file_mb, data_mb);
    std::printf("after the load: RSS %.1f MB, RssAnon %.1f MB, RssFile %.1f MB, RssShmem %.1f MB\n",
                mb(after.rss), mb(after.anon), mb(after.file), mb(after.shmem));
    std::fflush(stdout);
    _exit(whole ? 0 : 1);
  }
  int status = 0;
  return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace
}  // namespace zephyrim

int main(int argc, char** argv) {
  using namespace zephyrim;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("zephyrim_text_data_bench_" + std::to_string(getpid()));
  fs::create_directories(dir);
  g_path = (dir / "table.txt").string();
  g_rows = write_table(g_path);
  if (g_rows <= 0) {
    std::fprintf(stderr, "cannot write %s\n", g_path.c_str());
    fs::remove_all(dir);
    return 1;
  }
  bench_support::warm(g_path);
  const bool child_ok = load_in_child();

  bench_support::FigureCapture capture;
  benchmark::RunSpecifiedBenchmarks(&capture);
  benchmark::Shutdown();

  const double ours = capture.get("text_load"), cat = capture.get("cat_text");
  std::printf("\n%lld rows of %d columns, %.1f MB\n", static_cast<long long>(g_rows), kColumns,
              static_cast<double>(fs::file_size(g_path)) / 1e6);
  if (ours > 0 && cat > 0)
    std::printf("text table: load %.1f ms; cat %.1f ms: %.2fx cat\n", ours, cat, ours / cat);
  else
    std::printf("text table: no figures\n");
  fs::remove_all(dir);
  return child_ok && ours > 0 ? 0 : 1;
}
