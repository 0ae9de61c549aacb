#include "platform/qt/broadcast_notifier.h"

namespace zephyrim {

BroadcastNotifier::BroadcastNotifier(const std::string& program, QObject* parent) : QObject(parent) {
  if (!listener_.open(program)) return;
  notifier_ = std::make_unique<QSocketNotifier>(listener_.fd(), QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
    for (const auto& m : listener_.receive())
      emit received(QString::fromStdString(m.name), m.first, m.second);
  });
}

}  // namespace zephyrim
