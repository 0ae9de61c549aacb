#pragma once
// The editor's small dialogs: part attributes, title block, page list and
// subcircuit options. Each edits the model only when accepted and shows the
// model's own messages when a value is refused.
#include <QDialog>
#include <functional>

#include "common/notify.h"
#include "editing/editor_config.h"
#include "editing/find.h"
#include "schematic/schematic.h"

class QCheckBox;
class QComboBox;
class QSpinBox;
class QTableWidget;
class QHBoxLayout;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;

namespace zephyrim {

class PartAttributesDialog : public QDialog {
  Q_OBJECT
 public:
  PartAttributesDialog(Schematic& s, PartRecord& part, Notify& notify, QWidget* parent = nullptr);
  void accept() override;

 private:
  Schematic& s_;
  PartRecord& part_;
  Notify& notify_;
  QLineEdit* reference_;
  QLineEdit* value_;
  QLineEdit* device_;
  QLineEdit* params_[3];
  QCheckBox* show_[3];
  QLineEdit* template_;
  QLineEdit* model_file_;
};

class TitleBlockDialog : public QDialog {
  Q_OBJECT
 public:
  TitleBlockDialog(Schematic& s, QWidget* parent = nullptr);
  void accept() override;

 private:
  Schematic& s_;
  QLineEdit* title1_;
  QLineEdit* title2_;
  QLineEdit* number_;
  QLineEdit* revision_;
  QLineEdit* drawn_by_;
};

// Lists the pages; Open makes the chosen one current, Delete asks first.
class PageListDialog : public QDialog {
  Q_OBJECT
 public:
  PageListDialog(Schematic& s, Notify& notify, QWidget* parent = nullptr);
  int chosen_page() const;  // from 0
  // Deletes the chosen page after the model's question; true when deleted.
  bool delete_chosen();

 private:
  void fill();
  Schematic& s_;
  Notify& notify_;
  QListWidget* list_;
};

class SubcktOptionsDialog : public QDialog {
  Q_OBJECT
 public:
  // creating: "New SUBCKT Options", else "SUBCKT Options" for an existing block.
  SubcktOptionsDialog(const std::string& name, const std::string& text, bool creating,
                      QWidget* parent = nullptr);
  std::string name() const;
  std::string text() const;
  // Buttons that open the block's parameter and pin dialogs.
  void add_button(const QString& text, std::function<void()> action);

 private:
  QLineEdit* name_;
  QPlainTextEdit* text_;
  QHBoxLayout* extra_;
};

// A block's parameters: name, default value and comment per row.
class SubcktParamsDialog : public QDialog {
  Q_OBJECT
 public:
  SubcktParamsDialog(Schematic& s, BlockRecord& block, Notify& notify, QWidget* parent = nullptr);
  void accept() override;
  void add_row(const QString& name, double value, const QString& comment);

 private:
  Schematic& s_;
  BlockRecord& block_;
  Notify& notify_;
  QTableWidget* table_;
};

// The order of a block's I/O pins, which is the order of its subcircuit's ports.
class SubcktPinsDialog : public QDialog {
  Q_OBJECT
 public:
  SubcktPinsDialog(Schematic& s, BlockRecord& block, QWidget* parent = nullptr);
  void accept() override;
  void move_current(int by);  // up (-1) or down (+1)
  QListWidget* list() const { return list_; }

 private:
  Schematic& s_;
  BlockRecord& block_;
  QListWidget* list_;
};

// The project's library links: files added to every netlist as .LIB, .INC or
// model-database links. Links made for symbols and parts are not shown.
class LibraryLinksDialog : public QDialog {
  Q_OBJECT
 public:
  LibraryLinksDialog(Schematic& s, QWidget* parent = nullptr);
  void accept() override;
  // Adds a row (the Add button's work, also for tests).
  void add_link(const QString& file, int kind);

 private:
  Schematic& s_;
  QTableWidget* table_;
};

// The page's drawing settings: border, grid, title block, sheet size, symbol scale.
class DrawingOptionsDialog : public QDialog {
  Q_OBJECT
 public:
  DrawingOptionsDialog(Schematic& s, QWidget* parent = nullptr);
  void accept() override;

 private:
  Schematic& s_;
  QComboBox* border_;
  QComboBox* size_;
  QComboBox* scale_;
  QCheckBox* grid_;
  QCheckBox* title_;
};

class FindDialog : public QDialog {
  Q_OBJECT
 public:
  explicit FindDialog(const FindOptions& last, QWidget* parent = nullptr);
  FindOptions options() const;

 private:
  QComboBox* kind_;
  QLineEdit* what_;
  QCheckBox* whole_;
  QCheckBox* values_;
  QCheckBox* all_pages_;
};

class AutoSaveDialog : public QDialog {
  Q_OBJECT
 public:
  AutoSaveDialog(bool on, int minutes, bool before_run, QWidget* parent = nullptr);
  bool on() const;
  int minutes() const;
  bool before_run() const;

 private:
  QCheckBox* on_;
  QSpinBox* minutes_;
  QCheckBox* before_run_;
};

// Options > Netlist: what the editor does around the netlist writer. Edits the
// settings only when accepted.
class NetlistOptionsDialog : public QDialog {
  Q_OBJECT
 public:
  NetlistOptionsDialog(const EditorConfig& config, QWidget* parent = nullptr);
  // The dialog's choices written into config.
  void apply(EditorConfig& config) const;

 private:
  QCheckBox* on_exit_;
  QCheckBox* backup_;
  QLineEdit* statistics_;
};

// Project > Subcircuit > Save as Model: the model file and whether the model
// goes after what a library file already holds.
class SubcktModelDialog : public QDialog {
  Q_OBJECT
 public:
  SubcktModelDialog(const std::string& block, const QString& file, QWidget* parent = nullptr);
  QString file() const;
  bool append() const;

 private:
  QLineEdit* file_;
  QCheckBox* append_;
};

}  // namespace zephyrim
