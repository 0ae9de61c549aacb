#pragma once
// What the benchmarks share: the figures of the runs kept for the summary each
// program prints beside its references, and programs (cat, python3) run for
// those references.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

extern char** environ;

namespace zephyrim::bench_support {

// Keeps each run's adjusted real time (in the unit it shows) by function name,
// and by "function/argument" for runs with arguments; failed runs are left out.
class FigureCapture : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> ms;
  std::map<std::string, std::map<std::string, double>> counters;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      if (r.error_occurred) continue;
      const std::string name = r.run_name.function_name;
      ms[name] = r.GetAdjustedRealTime();
      if (!r.run_name.args.empty()) ms[name + "/" + r.run_name.args] = r.GetAdjustedRealTime();
      for (const auto& [key, counter] : r.counters) counters[name][key] = counter.value;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  // The figure, or -1 when that run did not report one.
  double get(const std::string& name) const {
    const auto it = ms.find(name);
    return it == ms.end() ? -1 : it->second;
  }
};

// Runs a program (a path, or a name looked up on PATH) with its output to
// out_fd, or to /dev/null when out_fd is negative; true when it ran and exited
// with 0. No shell sees the arguments.
inline bool run_program(const std::string& program, std::vector<std::string> args, int out_fd) {
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  if (out_fd >= 0)
    posix_spawn_file_actions_adddup2(&fa, out_fd, 1);
  else
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, program.c_str(), &fa, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  int status = 0;
  return rc == 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Reads the file through once, so that the loads and cat alike start from the page cache.
inline void warm(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return;
  std::vector<char> buf(1 << 20);
  while (read(fd, buf.data(), buf.size()) > 0) {
  }
  close(fd);
}

// The process's memory now, in kB, from /proc/self/status: the peak, the
// resident set and its anonymous, file and shared parts.
struct Memory {
  long peak = 0, rss = 0, anon = 0, file = 0, shmem = 0;
};

inline Memory memory_now() {
  std::ifstream in("/proc/self/status");
  std::string line;
  Memory m;
  auto field = [&](const char* key, long& out) {
    if (line.rfind(key, 0) == 0) out = std::atol(line.c_str() + std::strlen(key));
  };
  while (std::getline(in, line)) {
    field("VmHWM:", m.peak);
    field("VmRSS:", m.rss);
    field("RssAnon:", m.anon);
    field("RssFile:", m.file);
    field("RssShmem:", m.shmem);
  }
  return m;
}

}  // namespace zephyrim::bench_support
