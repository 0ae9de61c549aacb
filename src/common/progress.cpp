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

namespace {
constexpr std::string_view kStatusPrefix = "zsim-status: ";
}

std::string status_line(std::string_view text) {
  std::string line(kStatusPrefix);
  for (char c : text) {
    if (c == '\n')
      line += "\\n";
    else if (c == '\\')
      line += "\\\\";
    else if (c != '\r')
      line += c;
  }
  return line;
}

bool parse_status_line(std::string_view line, std::string& text) {
  if (line.substr(0, kStatusPrefix.size()) != kStatusPrefix) return false;
  text.clear();
  for (size_t i = kStatusPrefix.size(); i < line.size(); ++i) {
    if (line[i] == '\\' && i + 1 < line.size()) {
      ++i;
      text += line[i] == 'n' ? '\n' : line[i];
    } else {
      text += line[i];
    }
  }
  return true;
}

void StatusLineProgress::show(const std::string& text) {
  std::fprintf(stderr, "%s\n", status_line(text).c_str());
  std::fflush(stderr);
}

void StatusLineProgress::done() {
  std::fprintf(stderr, "%s\n", status_line("").c_str());
  std::fflush(stderr);
}

}  // namespace zephyrim
