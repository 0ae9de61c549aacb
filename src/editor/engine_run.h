#pragma once
// The engine running a simulation for the editor. The editor does not wait for
// it: the engine's progress lines go to the status pop-up as they come, and its
// end is reported with the listing's error lines when the run failed.
#include <QObject>
#include <QProcess>
#include <functional>
#include <string>
#include <vector>

namespace zephyrim {

class EngineRun : public QObject {
 public:
  struct Callbacks {
    std::function<void(const QString& text)> status;  // empty text: the pop-up goes
    std::function<void(int exit_code)> finished;      // -1: crashed or stopped
  };
  EngineRun(QObject* parent, Callbacks callbacks);
  // A run still going is stopped: the engine ends its simulator runs too.
  ~EngineRun() override;

  // Starts argv in folder, with the viewer the engine opens on the results;
  // false when the program could not be started.
  bool start(const std::vector<std::string>& argv, const QString& folder, const QString& viewer);
  bool running() const { return process_.state() != QProcess::NotRunning; }
  // Stops the run and waits for the engine to end.
  void stop();

 private:
  void read_status();

  Callbacks callbacks_;
  QProcess process_;
  QByteArray pending_;
  bool stopping_ = false;
};

// The listing's error lines (the engine's "*ERROR*" and "Fatal error" lines,
// without the marker), at most max_lines of them.
std::vector<std::string> listing_errors(const std::string& listing_text, size_t max_lines = 12);

}  // namespace zephyrim
