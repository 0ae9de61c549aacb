#pragma once
// Starting other programs. Always from an argument vector and never through a
// shell, so a file name with blanks, quotes, '$' or ';' reaches the program as
// one argument and runs nothing else.
#include <string>
#include <vector>

namespace zephyrim {

struct ProcessResult {
  int start_error = 0;  // errno of a failed start; 0 when the program ran
  int exit_code = -1;   // its exit status, or -1 when it did not exit by itself
  bool timed_out = false;
  std::string output;  // what it wrote on stdout and stderr, interleaved
};

// Runs argv[0] (looked up on PATH when it holds no '/') in folder `cwd` (the
// current one when empty), with stdin empty, and waits for it. A program still
// running after timeout_seconds is killed.
ProcessResult process_run(const std::vector<std::string>& argv, const std::string& cwd = {},
                          double timeout_seconds = 60);

}  // namespace zephyrim
