#pragma once
// QUILL32's main window: the menu of every command by its identifier, the
// sheet window, the status line, and the file and page commands.
#include <QMainWindow>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "editing/edit_session.h"
#include "editing/editor_config.h"
#include "editing/find.h"
#include "editing/paste_buffer.h"
#include "platform/qt/qt_notify.h"
#include "schematic/schematic.h"
#include "netlist/netlist_writer.h"
#include "simulation/sim_setup.h"
#include "symbols/symbol_library.h"

class QAction;
class QLabel;
class QMenu;
class QTimer;

namespace zephyrim {

class SheetView;

inline constexpr int kRecentFiles = 5;

class EditorMainWindow : public QMainWindow {
  Q_OBJECT
 public:
  // Messages and questions go to notify; absent, to message boxes of the window.
  explicit EditorMainWindow(Notify* notify = nullptr, QWidget* parent = nullptr);
  ~EditorMainWindow() override;

  Schematic& schematic() { return session_->schematic(); }
  // The simulation setup of the schematic, kept in the .SIM file beside it.
  SimulationSetup& setup() { return setup_; }
  Notify& notify() { return *notify_; }
  EditSession& session() { return *session_; }
  SheetView* sheet() { return sheet_; }
  QAction* action(int id) const;

  // "Zephyrim Schematic - (new)" for a schematic never saved, else with its path.
  void update_caption();

  // Runs a menu command by its identifier.
  void run_command(int id);
  // The words of the command line after the program name.
  void apply_command_line(const QStringList& words);

  // Opens a schematic file without asking to save first. False when it did not load.
  bool open_file(const QString& path);
  // Saves under the path; false (with the message shown) when it failed.
  bool save_to(const QString& path);
  // Offers to save a modified schematic: false when the user cancelled.
  bool offer_save();

  // Reads ZEPHYRIM.INI (found from the program's folder and the environment)
  // and takes its settings; from then on closing the window writes it back.
  void load_config(const std::string& program_dir, const EnvLookup& env);
  const EditorConfig& config() const { return config_; }
  // Writes the settings back; false when the file could not be written.
  bool save_config();

  // The symbol library parts are chosen from; opened when first needed.
  void set_library_path(const std::string& path);
  // Enters placement of the named library symbol (states 0, 11-14).
  bool place_symbol(const std::string& name, int state = kStatePlacePart);

  // Auto-save: on, every `minutes` (capped at 100; 0 starts no timer), and
  // before each simulation run. Restarts the timer.
  void set_auto_save(bool on, int minutes, bool before_run);
  // The timer's interval in milliseconds; tests shorten it.
  void set_auto_save_interval_ms(int ms);
  void auto_save();

  const std::vector<QString>& recent_files() const { return recent_; }
  void set_recent_files(std::vector<QString> files);

  // Dialog seams, replaced by tests: a file name for open (save false) or save,
  // and a library symbol of a kind (0 any).
  std::function<QString(bool save)> ask_file_name;
  std::function<std::optional<std::string>(int kind)> ask_symbol;
  // File > Netlist As: the chosen name and its filter (0 circuit, 1 subcircuit
  // model, 2 subcircuit library); empty when cancelled.
  std::function<QString(int& filter)> ask_netlist_name;
  // Starts a program without waiting; the editor's text tools and the simulator
  // go through here. Returns false after the error message when it cannot start.
  std::function<bool(const std::vector<std::string>& argv)> launch;

  // Simulation > RUN Simulation (F9): netlist, tell every program, start the engine.
  void run_simulation();
  // A started task has not reported its end yet (ZS_TASKDONENOTIFY clears it).
  bool task_pending() const { return task_pending_; }
  // How often a task's end gave the focus back to the editor.
  int focus_returns() const { return focus_returns_; }
  // The folder the engines are looked for first; the program's own by default.
  void set_program_folder(const std::string& folder) { program_folder_ = folder; }

 protected:
  void closeEvent(QCloseEvent* e) override;

 private:
  void build_menus();
  void refresh_status();
  void refresh_checks();
  void schematic_replaced();
  void add_recent(const QString& path);
  bool save_as();
  void go_to_page(int n);
  const SymbolLibrary* library();
  void insert_of_kind(int kind, int state);
  void edit_attributes(int part_index);  // -1: the one selected part
  void subckt_command(int id);
  void clipboard_command(int id);
  void copy_to_clipboard(bool screen);
  void find();
  void edit_setup();
  // Compiles the netlist (status and wait cursor shown); the netlist's result.
  int compile(int mode, const NetlistFiles& files, const std::string& model_name = {});
  void netlist_command(int id);
  bool open_text_tool(const std::string& configured, const std::string& file);
  bool save_setup_beside(const QString& schematic_path);
  // The status pop-up over long work; an empty text hides it.
  void show_busy(const QString& text);
  void broadcast_received(const QString& name, long first, long second);
  // Starts the output browser (view) or the viewer on the simulator's listing.
  void open_output(bool viewer);

  std::unique_ptr<Notify> own_notify_;
  Notify* notify_;
  std::unique_ptr<EditSession> session_;
  SimulationSetup setup_;
  bool setup_changed_ = false;  // not yet in a .SIM file: the schematic has no name
  SheetView* sheet_ = nullptr;
  QLabel* status_ = nullptr;
  QLabel* page_status_ = nullptr;
  QLabel* busy_ = nullptr;
  std::map<int, QAction*> actions_;
  std::vector<QString> recent_;
  EditorConfig config_;
  bool config_loaded_ = false;
  ObjectColors colors_;
  PasteBuffer paste_;
  FindOptions last_find_;
  QTimer* auto_save_timer_ = nullptr;
  bool auto_save_on_ = true;
  int auto_save_minutes_ = 15;
  bool auto_save_run_ = false;
  bool named_ = false;
  bool saving_ = false;
  bool task_pending_ = false;
  bool asked_simulator_ = false;  // the question about another simulator is asked once
  int focus_returns_ = 0;
  std::string program_folder_;
  class BroadcastNotifier* broadcast_ = nullptr;

  std::string library_path_;
  std::optional<SymbolLibrary> library_;
};

}  // namespace zephyrim
