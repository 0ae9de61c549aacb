#pragma once
// The model database commands: Insert > Zephyrim Library Model with its browse
// dialog, and Tools > Model Libraries > Model Database (the database built by
// `zephyrim modeldb build` under the status pop-up) and Open Library File.
// A model placed from the database becomes a part whose value is the model's
// name and whose model link names its library, so that the netlist carries
// ".INC/MDB LIBRARY" for the engine to resolve.
#include <QDialog>
#include <QProcess>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "editor/main_window.h"
#include "simulation/model_db.h"

class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;
class QTreeWidget;

namespace zephyrim {

// The library symbol a database model is placed with: the entry's own symbol
// when the library has it, else the default symbol of its element letter (a
// PNP, P-channel or current-controlled kind picks its variant; a subcircuit
// takes a subcircuit symbol of as many pins). Empty, with why set, when no
// symbol of the library fits.
std::string model_symbol_name(const IndexEntry& entry, const ModelRecord& model, const SymbolLibrary& library,
                              std::string& why);

// Browses the database: its libraries, the index table of the chosen one, a
// filter over it, a search of every library by model name, and the chosen
// model's SPICE text. Place accepts the dialog with the chosen entry.
class ModelBrowseDialog : public QDialog {
  Q_OBJECT
 public:
  // db has its main index open for folder; ask_copy_file chooses the model
  // file Copy to Model File appends to (empty: cancelled).
  ModelBrowseDialog(ModelDatabase& db, const std::string& folder, Notify& notify,
                    std::function<QString()> ask_copy_file, QWidget* parent = nullptr);

  // The library (main index item) and entry of the selected model; -1 when none.
  int library() const { return library_; }
  int entry() const;

  // Selects a library (its index is read) and an entry of it, as a user does.
  bool select_library(int library);
  bool select_entry(int entry);
  // Searches every library for a model name (case ignored) through the cross
  // index, from the one found last; selects it and returns true when found.
  bool find(const QString& name);

 private:
  void library_changed();
  void refilter();
  void entry_changed();
  void copy_to_model_file();

  ModelDatabase& db_;
  std::string folder_;
  Notify& notify_;
  std::function<QString()> ask_copy_file_;
  int library_ = -1;
  QString last_find_;
  int next_find_ = 0;  // the cross index record the next Find starts at

  QTreeWidget* libraries_;
  QLineEdit* filter_;
  QTableWidget* models_;
  QLineEdit* find_name_;
  QPlainTextEdit* text_;
  QPushButton* place_;
  QPushButton* copy_;
};

class ModelCommands {
 public:
  explicit ModelCommands(EditorMainWindow& window);
  ~ModelCommands();
  void add_to(CommandHandlers& handlers);

  // The database the editor reads and builds: the schematic's folder when it
  // holds one, else the configured ModelDatabasePath, else the user's.
  std::string database_folder() const;
  // A build started from Model Database is still running.
  bool building() const { return build_ && build_->state() != QProcess::NotRunning; }
  // The folder the batch tool is looked for first; the program's own by default.
  void set_program_folder(const std::string& folder) { program_folder_ = folder; }

  // Dialog seams, replaced by tests: the SPICE model files a database is built
  // from, the .lib file to browse, and the model file a model is copied into.
  // Empty: cancelled.
  std::function<QStringList()> ask_model_files;
  std::function<QString()> ask_library_file;
  std::function<QString()> ask_copy_file;

 private:
  ModelDatabase& database();
  void insert_model();
  bool place_model(int library, int entry);
  void build_database();
  void build_finished(int exit_code, QProcess::ExitStatus status);
  void open_library_file();
  std::string batch_tool() const;

  EditorMainWindow& w_;
  std::unique_ptr<ModelDatabase> db_;
  std::unique_ptr<QProcess> build_;
  std::string build_folder_;
  std::string program_folder_;
};

}  // namespace zephyrim
