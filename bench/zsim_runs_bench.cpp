// The engine's Monte Carlo runs: 200 runs of a small filter on one ngspice
// process at a time (-j 1) and on one per core, against ngspice's own time for
// the same 200 decks run one after another, and as many at once as there are
// cores, in the same session. Each figure is
// the best of three, so that a busy shared machine weighs on all alike.
//
// Prints: wall times, the speed-up of the parallel runs over the serial ones
// (goal: close to the number of cores, or to what ngspice alone gains), and the engine's time per run beyond
// ngspice's own (writing the decks, reading ngspice's data, the PROBE file).
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr int kRuns = 200;

// Runs argv in folder with its output thrown away; milliseconds, or -1 on failure.
double run_ms(std::vector<std::string> argv, const fs::path& folder) {
  std::vector<char*> words;
  for (auto& w : argv) words.push_back(w.data());
  words.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, words[0], &actions, nullptr, words.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  if (rc != 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// The deck run `runs` times, at most `at_once` processes at a time; milliseconds, or -1.
double ngspice_ms(const fs::path& folder, int runs, unsigned at_once) {
  const auto start = std::chrono::steady_clock::now();
  unsigned running = 0;
  bool ok = true;
  auto reap = [&] {
    int status = 0;
    if (wait(&status) > 0) {
      --running;
      ok = ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
  };
  for (int i = 0; i < runs; ++i) {
    while (running >= at_once) reap();
    std::string a = "ngspice", b = "-b", c = "alone.cir";
    char* words[] = {a.data(), b.data(), c.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    pid_t pid = 0;
    if (posix_spawnp(&pid, words[0], &actions, nullptr, words, environ) == 0)
      ++running;
    else
      ok = false;
    posix_spawn_file_actions_destroy(&actions);
  }
  while (running > 0) reap();
  if (!ok) return -1;
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

void write(const fs::path& path, const std::string& text) {
  std::ofstream(path) << text;
}

const char* const kCircuit =
    "V1 in 0 DC 0 AC 1\n"
    "R1 in a 1k\nC1 a 0 100n\n"
    "R2 a out 1k\nC2 out 0 100n\n"
    ".AC DEC 20 10 1MEG\n"
    ".TRAN 5u 2m\n";

}  // namespace

int main() {
  const fs::path dir = fs::temp_directory_path() / ("zephyrim_zsim_runs_bench_" + std::to_string(getpid()));
  fs::create_directories(dir);
  write(dir / "mc.CIR", std::string("* Monte Carlo filter\n") + kCircuit +
                            ".TOL R* 5%\n.TOL C* 10% GAUSS\n.MC " + std::to_string(kRuns) +
                            " SEED=3\n.PROBE\n.END\n");
  // ngspice alone: the nominal deck, written out as the engine writes it.
  write(dir / "alone.cir",
        std::string("* alone\n") + kCircuit +
            ".save all\n.control\nrun\nset filetype=binary\nwrite alone.raw\nquit\n.endc\n.END\n");
  const std::string zsim = ZEPHYRIM_ZSIM;
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());

  double serial = 1e300, parallel = 1e300, alone = 1e300, alone_parallel = 1e300;
  for (int rep = 0; rep < 3; ++rep) {
    const double s = run_ms({zsim, "mc.CIR", "-j", "1"}, dir);
    const double p = run_ms({zsim, "mc.CIR"}, dir);
    const double a = ngspice_ms(dir, kRuns, 1);
    const double ap = ngspice_ms(dir, kRuns, cores);
    if (s < 0 || p < 0 || a < 0 || ap < 0) {
      std::printf("zsim_runs_bench: a run failed (see %s)\n", dir.c_str());
      return 1;
    }
    serial = std::min(serial, s);
    parallel = std::min(parallel, p);
    alone = std::min(alone, a);
    alone_parallel = std::min(alone_parallel, ap);
  }
  std::printf("%d Monte Carlo runs of a two-pole RC filter (AC and transient), best of 3\n", kRuns);
  std::printf("  zsim -j 1              %8.0f ms\n", serial);
  std::printf("  zsim, %u at a time      %8.0f ms   speed-up %.2fx on %u cores\n", cores, parallel,
              serial / parallel, cores);
  std::printf("  ngspice alone, serial  %8.0f ms   (%d runs of the nominal deck)\n", alone, kRuns);
  std::printf("  ngspice alone, %u at a time %5.0f ms   speed-up %.2fx: what this machine gives\n", cores,
              alone_parallel, alone / alone_parallel);
  std::printf("  engine time per run beyond ngspice: %.2f ms (%.1f %% of ngspice's)\n",
              (serial - alone) / kRuns, 100.0 * (serial - alone) / alone);
  fs::remove_all(dir);
  return 0;
}
