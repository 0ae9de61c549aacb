#pragma once
// The broadcast messages inside a Qt event loop: a listener whose socket wakes
// the loop, one signal per message.
#include <QObject>
#include <QSocketNotifier>
#include <memory>

#include "platform/broadcast.h"

namespace zephyrim {

class BroadcastNotifier : public QObject {
  Q_OBJECT
 public:
  // Listens as the named program; listening() tells whether that worked.
  explicit BroadcastNotifier(const std::string& program, QObject* parent = nullptr);
  bool listening() const { return listener_.fd() >= 0; }
  const std::string& socket_path() const { return listener_.path(); }

 signals:
  void received(const QString& name, long first, long second);

 private:
  BroadcastListener listener_;
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace zephyrim
