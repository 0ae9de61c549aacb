#pragma once
// Starting other programs. Always from an argument vector and never through a
// shell, so a file name with blanks, quotes, '$' or ';' reaches the program as
// one argument and runs nothing else.
#include <atomic>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace zephyrim {

struct ProcessResult {
  int start_error = 0;  // errno of a failed start; 0 when the program ran
  int exit_code = -1;   // its exit status, or -1 when it did not exit by itself
  int signal = 0;       // the signal that ended it, 0 when it exited
  bool timed_out = false;
  bool cancelled = false;  // stopped because the caller's cancel flag was set
  std::string output;      // what it wrote on stdout and stderr, interleaved
};

// Runs argv[0] (looked up on PATH when it holds no '/') in folder `cwd` (the
// current one when empty), with stdin empty, and waits for it. The program runs
// in a process group of its own; when it is still running after
// timeout_seconds the whole group is killed, helpers it started included.
ProcessResult process_run(const std::vector<std::string>& argv, const std::string& cwd = {},
                          double timeout_seconds = 60);

// The same for a program whose output may be larger than memory: each piece is
// handed to on_output as it arrives and none is kept (output stays empty).
// When cancel is given and becomes true, the program's group is killed within
// a tenth of a second.
using ProcessOutput = std::function<void(std::string_view)>;
ProcessResult process_run(const std::vector<std::string>& argv, const std::string& cwd,
                          double timeout_seconds, const ProcessOutput& on_output,
                          const std::atomic<bool>* cancel = nullptr);

// Starts a program that outlives its starter: a session of its own, stdin,
// stdout and stderr on /dev/null, not waited for. Returns 0 or the errno of the
// failed start.
int process_start_detached(const std::vector<std::string>& argv, const std::string& cwd = {});

}  // namespace zephyrim
