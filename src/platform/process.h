#pragma once
// Starting other programs. Always from an argument vector and never through a
// shell, so a file name with blanks, quotes, '$' or ';' reaches the program as
// one argument and runs nothing else.
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
  std::string output;  // what it wrote on stdout and stderr, interleaved
};

// Runs argv[0] (looked up on PATH when it holds no '/') in folder `cwd` (the
// current one when empty), with stdin empty, and waits for it. The program runs
// in a process group of its own; when it is still running after
// timeout_seconds the whole group is killed, helpers it started included.
ProcessResult process_run(const std::vector<std::string>& argv, const std::string& cwd = {},
                          double timeout_seconds = 60);

// The same for a program whose output may be larger than memory: each piece is
// handed to on_output as it arrives and none is kept (output stays empty).
using ProcessOutput = std::function<void(std::string_view)>;
ProcessResult process_run(const std::vector<std::string>& argv, const std::string& cwd,
                          double timeout_seconds, const ProcessOutput& on_output);

}  // namespace zephyrim
