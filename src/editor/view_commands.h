#pragma once
// View and Options commands: zoom, refresh, node numbers, the drawing toggles,
// fonts, drawing options, library links and Redo Connections.
#include "editor/main_window.h"

namespace zephyrim {

class ViewCommands {
 public:
  explicit ViewCommands(EditorMainWindow& window) : w_(window) {}
  void add_to(CommandHandlers& handlers);

 private:
  EditorMainWindow& w_;
};

}  // namespace zephyrim
