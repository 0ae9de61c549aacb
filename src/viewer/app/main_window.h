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

  // Closes when a new simulation starts, so that the engine can write the
  // files anew.
  bool close_on_new_simulation = false;

 protected:
  void closeEvent(QCloseEvent* e) override;

 private:
  QtNotify notify_;
};

}  // namespace zephyrim
