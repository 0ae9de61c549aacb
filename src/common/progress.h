#pragma once
// Long work (reading big data files, compiling, calculating) reports how far it
// has come through a Progress: the GUI shows the text in its status pop-up, the
// batch tool as one rewritten line on stderr when stderr is a terminal.
#include <string>
#include <string_view>

namespace zephyrim {

class Progress {
 public:
  virtual ~Progress() = default;
  // The whole status text, lines separated by '\n'.
  virtual void show(const std::string& text) = 0;
  // The work is over; the pop-up goes away.
  virtual void done() {}
};

// Shows nothing (tests, and work too short to report).
class NullProgress : public Progress {
 public:
  void show(const std::string&) override {}
};

// The status text as one line on stderr, rewritten in place, at most a few
// times a second; silent when stderr is not a terminal.
class StderrProgress : public Progress {
 public:
  StderrProgress();
  void show(const std::string& text) override;
  void done() override;

 private:
  bool terminal_ = false;
  bool shown_ = false;
  long long last_ms_ = 0;
};

// The status text as lines on stderr that another program reads: the engine
// tells the editor that started it how far it has come. Each text is one line
// "zsim-status: TEXT" with its line breaks written as "\n" and backslashes as "\\".
class StatusLineProgress : public Progress {
 public:
  void show(const std::string& text) override;
  void done() override;
};

std::string status_line(std::string_view text);
// The text of a status line; false for any other line.
bool parse_status_line(std::string_view line, std::string& text);

}  // namespace zephyrim
