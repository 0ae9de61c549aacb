#include "editor/engine_run.h"

#include <QProcessEnvironment>

#include "common/file_io.h"
#include "common/progress.h"
#include "common/text_format.h"

namespace zephyrim {

EngineRun::EngineRun(QObject* parent, Callbacks callbacks)
    : QObject(parent), callbacks_(std::move(callbacks)) {
  process_.setProcessChannelMode(QProcess::SeparateChannels);
  process_.setStandardInputFile(QProcess::nullDevice());
  process_.setStandardOutputFile(QProcess::nullDevice());
  connect(&process_, &QProcess::readyReadStandardError, this, [this] { read_status(); });
  connect(&process_, &QProcess::finished, this, [this](int code, QProcess::ExitStatus status) {
    read_status();
    pending_.clear();
    if (callbacks_.status) callbacks_.status({});
    // A run stopped on purpose (a new one replaces it) is no failure to report.
    if (callbacks_.finished && !stopping_) callbacks_.finished(status == QProcess::NormalExit ? code : -1);
  });
}

EngineRun::~EngineRun() {
  disconnect(&process_, nullptr, this, nullptr);
  stop();
}

bool EngineRun::start(const std::vector<std::string>& argv, const QString& folder, const QString& viewer) {
  if (argv.empty() || running()) return false;
  QStringList args;
  for (size_t i = 1; i < argv.size(); ++i) args << QString::fromStdString(argv[i]);
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  if (!viewer.isEmpty()) env.insert("ZEPHYRIM_VIEWER", viewer);
  process_.setProcessEnvironment(env);
  process_.setWorkingDirectory(folder);
  process_.start(QString::fromStdString(argv[0]), args);
  return process_.waitForStarted(10000);
}

void EngineRun::stop() {
  if (!running()) return;
  stopping_ = true;
  process_.terminate();
  if (!process_.waitForFinished(5000)) {
    process_.kill();
    process_.waitForFinished(2000);
  }
  stopping_ = false;
}

void EngineRun::read_status() {
  pending_ += process_.readAllStandardError();
  // Only the latest status matters; the lines before it are stale already.
  QString latest;
  bool any = false;
  for (qsizetype end; (end = pending_.indexOf('\n')) >= 0;) {
    const std::string line = pending_.left(end).toStdString();
    pending_.remove(0, end + 1);
    std::string text;
    if (parse_status_line(line, text)) {
      latest = QString::fromStdString(text);
      any = true;
    }
  }
  // A line that never ends is not let grow without bound.
  if (pending_.size() > (1 << 16)) pending_.clear();
  if (any && callbacks_.status) callbacks_.status(latest);
}

std::vector<std::string> listing_errors(const std::string& listing_text, size_t max_lines) {
  std::vector<std::string> out;
  for (const auto line : split_lines(listing_text)) {
    std::string_view l = line;
    if (l.starts_with("*ERROR*: "))
      l.remove_prefix(9);
    else if (!l.starts_with("*ERROR*") && !l.starts_with("Fatal error"))
      continue;
    if (out.size() == max_lines) {
      out.push_back("...");
      break;
    }
    out.emplace_back(l);
  }
  return out;
}

}  // namespace zephyrim
