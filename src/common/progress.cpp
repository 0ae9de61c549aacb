#include "common/progress.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>

namespace zephyrim {

StderrProgress::StderrProgress() : terminal_(isatty(STDERR_FILENO) == 1) {}

void StderrProgress::show(const std::string& text) {
  if (!terminal_) return;
  const long long now = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now().time_since_epoch())
                            .count();
  if (shown_ && now - last_ms_ < 200) return;
  last_ms_ = now;
  std::string line;
  for (char c : text) line += c == '\n' ? ' ' : c;
  if (line.size() > 100) line.resize(100);
  std::fprintf(stderr, "\r%-100s", line.c_str());
  std::fflush(stderr);
  shown_ = true;
}

void StderrProgress::done() {
  if (!shown_) return;
  std::fprintf(stderr, "\r%-100s\r", "");
  std::fflush(stderr);
  shown_ = false;
}

}  // namespace zephyrim
