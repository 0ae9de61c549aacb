#pragma once
// TRC32's main window.
#include <QMainWindow>

#include "platform/qt/qt_notify.h"

namespace zephyrim {

class ViewerMainWindow : public QMainWindow {
  Q_OBJECT
 public:
  explicit ViewerMainWindow(QWidget* parent = nullptr);

  Notify& notify() { return notify_; }

 private:
  QtNotify notify_;
};

}  // namespace zephyrim
