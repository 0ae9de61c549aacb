#pragma once
// Editing commands: selection modes, undo and redo, move, delete, orientation, enable
// and disable, the insert states, part attributes, title block, Find and the
// subcircuit block commands.
#include "editing/find.h"
#include "editor/main_window.h"

namespace zephyrim {

class EditCommands {
 public:
  explicit EditCommands(EditorMainWindow& window) : w_(window) {}
  void add_to(CommandHandlers& handlers);

  // The attribute dialog of a part (-1: of the one selected part).
  void edit_attributes(int part_index);

 private:
  void step_history(bool redo);
  void delete_selection();
  void insert_of_kind(int kind, int state);
  void find();
  void subckt_new();
  void subckt_options();

  EditorMainWindow& w_;
  FindOptions last_find_;
};

}  // namespace zephyrim
