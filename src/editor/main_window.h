#pragma once
// QUILL32's main window: the menu of every command by its identifier, the
// sheet window, the status line and the status pop-up. The commands themselves
// live in one class per concern (files and pages, editing, view and options,
// netlist and simulation, clipboard and pictures); the window only builds the
// menu from the command table and sends each action to its handler.
#include <QMainWindow>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "editing/edit_session.h"
#include "editing/editor_config.h"
#include "platform/qt/qt_notify.h"
#include "schematic/schematic.h"
#include "symbols/symbol_library.h"

class QAction;
class QLabel;

namespace zephyrim {

class SheetView;
class FileCommands;
class EditCommands;
class ViewCommands;
class SimulationCommands;
class ClipboardCommands;
class PictureCommands;
class ModelCommands;
class SymbolCommands;
class TunerPanel;

// The work behind each menu identifier.
using CommandHandlers = std::map<int, std::function<void()>>;

class EditorMainWindow : public QMainWindow {
  Q_OBJECT
 public:
  // Messages and questions go to notify; absent, to message boxes of the window.
  explicit EditorMainWindow(Notify* notify = nullptr, QWidget* parent = nullptr);
  ~EditorMainWindow() override;

  Schematic& schematic() { return session_->schematic(); }
  Notify& notify() { return *notify_; }
  EditSession& session() { return *session_; }
  SheetView* sheet() { return sheet_; }
  // The menu item of a command; null for an identifier the menu does not have.
  QAction* action(int id) const;

  FileCommands& files() { return *files_; }
  SimulationCommands& simulation() { return *simulation_; }
  ClipboardCommands& clipboard() { return *clipboard_; }
  PictureCommands& pictures() { return *pictures_; }
  EditCommands& editing() { return *editing_; }
  ViewCommands& view() { return *view_; }
  ModelCommands& models() { return *models_; }
  SymbolCommands& symbols() { return *symbols_; }
  TunerPanel& tuner() { return *tuner_; }

  // "Zephyrim Schematic - (new)" for a schematic never saved, else with its path.
  void update_caption();
  // The status line, the page number and the menus' check marks.
  void refresh_status();
  // After New or Open: the sheet, caption and status show the new document.
  void schematic_replaced();
  // After a command or an edit: redraw, with the node numbers brought up to date.
  void refresh_sheet();

  // The words of the command line after the program name.
  void apply_command_line(const QStringList& words);

  // Reads ZEPHYRIM.INI (found from the program's folder and the environment)
  // and takes its settings; from then on closing the window writes it back.
  void load_config(const std::string& program_dir, const EnvLookup& env);
  EditorConfig& config() { return config_; }
  const EditorConfig& config() const { return config_; }
  bool config_loaded() const { return config_loaded_; }
  // Writes the settings back; false when the file could not be written.
  bool save_config();
  const ObjectColors& colors() const { return colors_; }

  // The symbol library parts are chosen from; opened when first needed.
  void set_library_path(const std::string& path);
  const SymbolLibrary* library();
  // Enters placement of the named library symbol (states 0, 11-14).
  bool place_symbol(const std::string& name, int state = kStatePlacePart,
                    std::optional<PlacementModel> model = std::nullopt);

  // Runs work under the status pop-up and the wait cursor; both go when it ends.
  void busy(const QString& text, const std::function<void()>& work);
  // The status pop-up over work that goes on while the user works (a
  // simulation); an empty text hides it.
  void show_status_popup(const QString& text) { show_busy(text); }
  QString status_popup_text() const;

  // Dialog seams, replaced by tests: a file name for open (save false) or save,
  // and a library symbol of a kind (0 any).
  std::function<QString(bool save)> ask_file_name;
  std::function<std::optional<std::string>(int kind)> ask_symbol;
  // File > Netlist As: the chosen name and its filter (0 circuit, 1 subcircuit
  // model, 2 subcircuit library); empty when cancelled.
  std::function<QString(int& filter)> ask_netlist_name;
  // Starts a program without waiting, in the schematic's folder; the editor's
  // text tools and the simulator go through here. Returns false after the error
  // message when it cannot start.
  std::function<bool(const std::vector<std::string>& argv)> launch;

 protected:
  void closeEvent(QCloseEvent* e) override;

 private:
  void build_menus(const CommandHandlers& handlers);
  void build_toolbar();
  // The place the window was left in, when the configuration keeps one.
  void restore_window();
  // The commands that apply to the selection (or, without one, to the page).
  void show_context_menu(const QPoint& global);
  void refresh_checks();
  void run_command(const std::function<void()>& handler);
  bool launch_detached(const std::vector<std::string>& argv);
  // The status pop-up over long work; an empty text hides it.
  void show_busy(const QString& text);

  std::unique_ptr<Notify> own_notify_;
  Notify* notify_;
  std::unique_ptr<EditSession> session_;
  SheetView* sheet_ = nullptr;
  QLabel* status_ = nullptr;
  QLabel* page_status_ = nullptr;
  QLabel* busy_ = nullptr;
  std::map<int, QAction*> actions_;
  EditorConfig config_;
  bool config_loaded_ = false;
  ObjectColors colors_;
  std::string library_path_;
  std::optional<SymbolLibrary> library_;

  std::unique_ptr<FileCommands> files_;
  std::unique_ptr<EditCommands> editing_;
  std::unique_ptr<ViewCommands> view_;
  std::unique_ptr<SimulationCommands> simulation_;
  std::unique_ptr<ClipboardCommands> clipboard_;
  std::unique_ptr<PictureCommands> pictures_;
  std::unique_ptr<ModelCommands> models_;
  std::unique_ptr<SymbolCommands> symbols_;
  TunerPanel* tuner_ = nullptr;  // the dock, owned by the window
};

}  // namespace zephyrim
