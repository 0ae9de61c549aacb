// Reading big simulation results: a binary RAW file and a PROBE file of 20
// vectors x 1,000,000 points each (160 MB of values), catalogued and every
// vector loaded and touched, against plain cat of the same file as the floor
// the disk cache allows. Prints the ratios and the memory the loads took.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/notify.h"
#include "common/progress.h"
#include "viewer/data/data_store.h"
#include "viewer/data/probe_file.h"
#include "viewer/data/raw_file.h"

extern char** environ;

namespace zephyrim {
namespace {

constexpr int kVariables = 20;  // time and 19 node voltages
constexpr int64_t kPoints = 1000000;
constexpr double kStep = 1e-9;

std::string g_raw_path;
std::string g_probe_path;
long g_peak_anon_kb = 0;

// Smooth but not repetitive in any byte pattern, so no layer can shortcut it.
double value(int variable, int64_t point) {
  const double t = static_cast<double>(point) * kStep;
  if (variable == 0) return t;
  const double w = 2.0 * M_PI * (1.0e3 * variable + 317.0);
  return std::sin(w * t) + 0.1 * std::cos(3.1 * w * t + variable);
}

bool write_raw(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  std::string head =
      "Title: bench\nDate: Thu Jan  1 00:00:00 2026\nPlotname: Transient Analysis\nFlags: real\n"
      "No. Variables: 20\nNo. Points: 1000000\nVariables:\n\t0\ttime\ttime\n";
  for (int v = 1; v < kVariables; ++v)
    head += "\t" + std::to_string(v) + "\tv(n" + std::to_string(v) + ")\tvoltage\n";
  head += "Binary:\n";
  bool ok = std::fwrite(head.data(), 1, head.size(), f) == head.size();
  // Point-major, as the engine writes it; little-endian is the host order here.
  constexpr int64_t kChunk = 16384;
  std::vector<double> buf(kChunk * kVariables);
  for (int64_t p0 = 0; ok && p0 < kPoints; p0 += kChunk) {
    const int64_t n = std::min(kChunk, kPoints - p0);
    for (int64_t i = 0; i < n; ++i)
      for (int v = 0; v < kVariables; ++v) buf[i * kVariables + v] = value(v, p0 + i);
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
bool generate_files() {
  const pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) _exit(write_raw(g_raw_path) && write_probe(g_probe_path) ? 0 : 1);
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Both readers and cat must start from the page cache, not the disk.
void warm(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return;
  std::vector<char> buf(1 << 20);
  while (read(fd, buf.data(), buf.size()) > 0) {
  }
  close(fd);
}

long rss_anon_kb() {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("RssAnon:", 0) == 0) return std::atol(line.c_str() + 8);
  return 0;
}

void run_cat(benchmark::State& state, const std::string& path) {
  for (auto _ : state) {
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    char* argv[] = {const_cast<char*>("cat"), const_cast<char*>(path.c_str()), nullptr};
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, "/bin/cat", &fa, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&fa);
    int status = 0;
    if (rc != 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      state.SkipWithError("cat failed");
      break;
    }
  }
}

void cat_raw(benchmark::State& state) {
  run_cat(state, g_raw_path);
}
void cat_probe(benchmark::State& state) {
  run_cat(state, g_probe_path);
}

void catalogue_and_load(benchmark::State& state, const std::string& path, bool probe) {
  for (auto _ : state) {
    BatchNotify notify(kTraceryTitle);
    NullProgress progress;
    auto store = std::make_unique<DataStore>(notify, progress);
    store->start();
    store->open_data_file(path);
    if ((probe ? probe_read_file(*store, path) : raw_read_file(*store, path, true)) <= 0) {
      state.SkipWithError("nothing read");
      break;
    }
    int vectors = 0;
    double sum = 0;
    for (const DataVector& v : store->data_class(0)->vectors) {
      const auto values = store->values(v);
      if (static_cast<int64_t>(values.size()) != kPoints) break;
      for (double d : values) sum += d;
      ++vectors;
    }
    benchmark::DoNotOptimize(sum);
    // Sampling and tearing down are not part of the load.
    state.PauseTiming();
    g_peak_anon_kb = std::max(g_peak_anon_kb, rss_anon_kb());
    const bool complete = vectors == kVariables;
    store.reset();
    state.ResumeTiming();
    if (!complete) {
      state.SkipWithError("not every vector loaded in full");
      break;
    }
  }
}

void raw_catalogue_and_load(benchmark::State& state) {
  catalogue_and_load(state, g_raw_path, false);
}
void probe_catalogue_and_load(benchmark::State& state) {
  catalogue_and_load(state, g_probe_path, true);
}

BENCHMARK(cat_raw)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(cat_probe)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(raw_catalogue_and_load)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(probe_catalogue_and_load)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

// Keeps each benchmark's mean wall time per iteration (in its unit, ms) for
// the summary lines.
class Capture : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> ms;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs)
      if (!r.error_occurred) ms[r.run_name.function_name] = r.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
};

void summary(const Capture& c, const char* label, const std::string& load, const std::string& cat) {
  const auto l = c.ms.find(load), k = c.ms.find(cat);
  if (l == c.ms.end() || k == c.ms.end()) {
    std::printf("%s: no figures\n", label);
    return;
  }
  std::printf("%s: %.1f ms, cat %.1f ms, ratio %.2f\n", label, l->second, k->second, l->second / k->second);
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
  if (!generate_files()) {
    std::fprintf(stderr, "cannot write the data files in %s\n", dir.c_str());
    fs::remove_all(dir);
    return 1;
  }
  warm(g_raw_path);
  warm(g_probe_path);

  Capture capture;
  benchmark::RunSpecifiedBenchmarks(&capture);
  benchmark::Shutdown();

  std::printf("\n");
  summary(capture, "raw", "raw_catalogue_and_load", "cat_raw");
  summary(capture, "probe", "probe_catalogue_and_load", "cat_probe");
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  // ru_maxrss counts the mapped scratch pages too; RssAnon is what the heap took.
  std::printf("file sizes: raw %.1f MB, probe %.1f MB\n", fs::file_size(g_raw_path) / 1e6,
              fs::file_size(g_probe_path) / 1e6);
  std::printf("peak RSS %.1f MB, peak RssAnon after a load %.1f MB\n", ru.ru_maxrss / 1024.0,
              g_peak_anon_kb / 1024.0);
  fs::remove_all(dir);
  return 0;
}
