#pragma once
// Generated symbols in the editor: Project > Subcircuit > Symbol makes the
// symbol of a subcircuit block (or a new one) from a shape and a pin
// arrangement, Insert > U Logic Element Symbol the symbol of a logic element
// from a function and its options. Both end in the placement of the symbol.
#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "editor/main_window.h"
#include "symbols/generated_symbol.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QSpinBox;
class QTableWidget;

namespace zephyrim {

// The subcircuit symbol dialog: name, shape, pin names and numbers shown, pin
// count and the pin table. Changing the pin count asks whether to take the
// shape's default pin setup; a count above the shape's maximum is refused.
class SubcktSymbolDialog : public QDialog {
  Q_OBJECT
 public:
  SubcktSymbolDialog(const QString& title, SymbolSpec spec, Notify& notify, QWidget* parent = nullptr);
  // The symbol spec as the widgets show it.
  SymbolSpec spec() const;
  // The shape at a row of the list; the pins stay, cut to the shape's maximum.
  void set_shape_row(int row);
  // A new pin count: false (and nothing changed) above the shape's maximum.
  bool set_pin_count(int n);

 private:
  void show_pins(const std::vector<SymbolSpecEntry>& pins);
  std::vector<SymbolSpecEntry> table_pins() const;
  void update_shape_label();

  Notify& notify_;
  SymbolSpec spec_;  // shape and the fields the widgets do not show
  QLineEdit* name_;
  QListWidget* shapes_;
  QLabel* shape_label_;
  QCheckBox* show_names_;
  QCheckBox* show_numbers_;
  QSpinBox* pin_count_;
  QTableWidget* pins_;
};

// The U logic element dialog: the function list, its options (labels and
// defaults per function, disabled when the function lacks them) and the
// symbol name, which follows the options and may be edited.
class LogicSymbolDialog : public QDialog {
  Q_OBJECT
 public:
  explicit LogicSymbolDialog(QWidget* parent = nullptr);
  int function() const;
  void set_function(int f);
  // The options as typed; 0 when empty or not a number (the default then applies).
  int option1() const;
  int option2() const;
  std::string name() const;

 private:
  void update_name();

  QListWidget* functions_;
  QLabel* label1_;
  QLabel* label2_;
  QLineEdit* option1_;
  QLineEdit* option2_;
  QLineEdit* name_;
};

class SymbolCommands {
 public:
  explicit SymbolCommands(EditorMainWindow& window);
  void add_to(CommandHandlers& handlers);

  // The subcircuit symbol command for a block; null or the top circuit makes a
  // new symbol. On OK the symbol is generated, kept with the block and placed.
  void block_symbol_edit(BlockRecord* block);
  // Insert > U Logic Element Symbol.
  void logic_symbol();

  // Shows a dialog and returns its result; tests answer through its widgets.
  std::function<int(QDialog&)> run_dialog;

 private:
  // The block the command is for: the open one, else the one selected.
  BlockRecord* current_block();
  // OK of the symbol dialog: the symbol in the table and with the block; null when nothing was made.
  const SymbolRecord* block_symbol_apply(BlockRecord* block, SymbolSpec spec);

  EditorMainWindow& w_;
};

}  // namespace zephyrim
