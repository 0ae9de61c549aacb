#pragma once
// QUILL32's main window.
#include <QMainWindow>
#include <memory>

#include "platform/qt/qt_notify.h"
#include "schematic/schematic.h"

namespace zephyrim {

class EditorMainWindow : public QMainWindow {
  Q_OBJECT
 public:
  explicit EditorMainWindow(QWidget* parent = nullptr);
  ~EditorMainWindow() override;

  Schematic& schematic() { return *schematic_; }
  Notify& notify() { return notify_; }

  // "Zephyrim Schematic - (new)" for a schematic never saved, else with its path.
  void update_caption();

 private:
  QtNotify notify_;
  std::unique_ptr<Schematic> schematic_;
  bool named_ = false;
};

}  // namespace zephyrim
