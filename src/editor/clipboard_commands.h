#pragma once
// Clipboard commands: Cut, Copy and Paste through the editor's own paste
// buffer, and the page or the window copied to the desktop's clipboard.
#include "editing/paste_buffer.h"
#include "editor/main_window.h"

namespace zephyrim {

class ClipboardCommands {
 public:
  explicit ClipboardCommands(EditorMainWindow& window) : w_(window) {}
  void add_to(CommandHandlers& handlers);
  // What Paste would place.
  const PasteBuffer& buffer() const { return paste_; }

 private:
  void cut();
  void paste();
  void copy_to_clipboard(bool screen);

  EditorMainWindow& w_;
  PasteBuffer paste_;
};

}  // namespace zephyrim
