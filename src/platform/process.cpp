#include "platform/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>

extern char** environ;

namespace zephyrim {

namespace {

// Closes a descriptor however the run ends.
struct Fd {
  int fd = -1;
  ~Fd() {
    if (fd >= 0) close(fd);
  }
};

// Frees the spawn attributes and file actions however the start ends.
struct SpawnSetup {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  SpawnSetup() {
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;
};

std::chrono::milliseconds timeout_of(double seconds) {
  // NaN, negative and absurdly long timeouts become something a clock can add.
  if (!(seconds > 0)) return std::chrono::milliseconds(0);
  return std::chrono::milliseconds(static_cast<long long>(std::min(seconds, 1e9) * 1000));
}

bool exited(pid_t pid, int& status) {
  for (;;) {
    const pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) return true;
    if (r < 0 && errno == EINTR) continue;
    return false;
  }
}

}  // namespace

ProcessResult process_run(const std::vector<std::string>& argv, const std::string& cwd,
                          double timeout_seconds) {
  std::string output;
  ProcessResult r =
      process_run(argv, cwd, timeout_seconds, [&](std::string_view piece) { output.append(piece); });
  r.output = std::move(output);
  return r;
}

ProcessResult process_run(const std::vector<std::string>& argv, const std::string& cwd,
                          double timeout_seconds, const ProcessOutput& on_output,
                          const std::atomic<bool>* cancel) {
  ProcessResult r;
  if (argv.empty()) {
    r.start_error = EINVAL;
    return r;
  }
  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC) != 0) {
    r.start_error = errno;
    return r;
  }
  Fd read_end{pipe_fds[0]}, write_end{pipe_fds[1]};

  SpawnSetup setup;
  posix_spawn_file_actions_addopen(&setup.actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&setup.actions, write_end.fd, 1);
  posix_spawn_file_actions_adddup2(&setup.actions, write_end.fd, 2);
  if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&setup.actions, cwd.c_str());
  // A group of its own, so that a timeout ends whatever the program started too.
  posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&setup.attributes, 0);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  const int err = posix_spawnp(&pid, args[0], &setup.actions, &setup.attributes, args.data(), environ);
  if (err != 0) {
    r.start_error = err;
    return r;
  }
  close(write_end.fd);
  write_end.fd = -1;

  const auto deadline = std::chrono::steady_clock::now() + timeout_of(timeout_seconds);
  int status = 0;
  bool reaped = false;
  char buffer[65536];
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
            .count();
    if (left <= 0) {
      r.timed_out = true;
      kill(-pid, SIGKILL);
      break;
    }
    if (cancel && cancel->load()) {
      r.cancelled = true;
      kill(-pid, SIGKILL);
      break;
    }
    pollfd p{read_end.fd, POLLIN, 0};
    const int ready = poll(&p, 1, static_cast<int>(std::min<long long>(left, cancel ? 100 : 1000)));
    if (ready < 0 && errno != EINTR) break;
    if (ready == 0) {
      // The program has ended and whatever it left running in the background
      // keeps the pipe open but quiet: that output is not the program's.
      if (exited(pid, status)) {
        reaped = true;
        break;
      }
      continue;
    }
    if (ready < 0) continue;
    const ssize_t n = read(read_end.fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // every writer has closed its end
    if (on_output) on_output(std::string_view(buffer, static_cast<size_t>(n)));
  }
  if (!reaped)
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  if (!r.timed_out && !r.cancelled && WIFEXITED(status)) r.exit_code = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) r.signal = WTERMSIG(status);
  return r;
}

int process_start_detached(const std::vector<std::string>& argv, const std::string& cwd) {
  if (argv.empty()) return EINVAL;
  SpawnSetup setup;
  posix_spawn_file_actions_addopen(&setup.actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&setup.actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&setup.actions, 1, 2);
  if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&setup.actions, cwd.c_str());
  // A session of its own: the program stays when its starter's terminal or group goes.
  posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETSID);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  return posix_spawnp(&pid, args[0], &setup.actions, &setup.attributes, args.data(), environ);
}

}  // namespace zephyrim
