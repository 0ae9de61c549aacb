// Starting the batch tool as scripts do, one process per command: `zephyrim
// --help`, `data` on a small RAW file and `check` on the RC example, each
// against /bin/true, the floor of starting any process, timed in turn within
// the same iterations so that a busy machine weighs on both alike. `render`,
// which loads Qt in the drawing program, gives the scale.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

extern char** environ;

namespace zephyrim {
namespace {

std::string g_picture;  // where render writes, in a scratch folder

// Runs argv with its output thrown away; the milliseconds until it ended, or
// a negative number when it did not start or failed.
double run_ms(std::vector<std::string> argv) {
  std::vector<char*> words;
  for (auto& w : argv) words.push_back(w.data());
  words.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, words[0], &actions, nullptr, words.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  if (rc != 0 || waitpid(pid, &status, 0) != pid) return -1;
  const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? took.count() : -1;
}

// Each iteration starts /bin/true, then the tool; the tool's time is the
// benchmark's, /bin/true's and the ratio are counters.
void startup(benchmark::State& state, std::vector<std::string> words) {
  words.insert(words.begin(), ZEPHYRIM_BATCH_TOOL);
  double true_total = 0, tool_total = 0;
  for (auto _ : state) {
    const double floor = run_ms({"/bin/true"});
    const double tool = run_ms(words);
    if (floor < 0 || tool < 0) {
      state.SkipWithError("a program failed");
      break;
    }
    state.SetIterationTime(tool / 1000);
    true_total += floor;
    tool_total += tool;
  }
  state.counters["true_ms"] = benchmark::Counter(true_total, benchmark::Counter::kAvgIterations);
  state.counters["ratio"] = true_total > 0 ? tool_total / true_total : 0;
}

const std::string kSource = ZEPHYRIM_SOURCE_DIR;

void help(benchmark::State& state) {
  startup(state, {"--help"});
}
void data(benchmark::State& state) {
  startup(state, {"data", kSource + "/tests/fuzz/corpus/raw_file/wide_stepped.raw"});
}
void check(benchmark::State& state) {
  startup(state, {"check", kSource + "/examples/rc_lowpass.sch"});
}
void render(benchmark::State& state) {
  startup(state, {"render", kSource + "/examples/rc_lowpass.sch", "-o", g_picture});
}

BENCHMARK(help)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(data)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(check)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(render)->UseManualTime()->Unit(benchmark::kMillisecond);

// Keeps each benchmark's figures for the summary lines.
class Capture : public benchmark::ConsoleReporter {
 public:
  struct Figures {
    double ms, true_ms, ratio;
  };
  std::map<std::string, Figures> runs;
  void ReportRuns(const std::vector<Run>& reported) override {
    for (const Run& r : reported)
      if (!r.error_occurred && r.counters.count("true_ms") && r.counters.count("ratio"))
        runs[r.run_name.function_name] = {r.GetAdjustedRealTime(), r.counters.at("true_ms").value,
                                          r.counters.at("ratio").value};
    ConsoleReporter::ReportRuns(reported);
  }
};

}  // namespace
}  // namespace zephyrim

int main(int argc, char** argv) {
  using namespace zephyrim;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("zephyrim_startup_bench_" + std::to_string(getpid()));
  fs::create_directories(dir);
  g_picture = (dir / "page.png").string();

  Capture capture;
  benchmark::RunSpecifiedBenchmarks(&capture);
  benchmark::Shutdown();

  std::printf("\n");
  for (const char* name : {"help", "data", "check", "render"}) {
    const auto it = capture.runs.find(name);
    if (it == capture.runs.end()) {
      std::printf("zephyrim %s: no figures\n", name);
      continue;
    }
    const auto& f = it->second;
    std::printf("zephyrim %-6s %7.2f ms, /bin/true %5.2f ms, ratio %5.1f\n", name, f.ms, f.true_ms, f.ratio);
  }
  fs::remove_all(dir);
  return 0;
}
