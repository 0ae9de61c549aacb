#pragma once
// Netlist and simulation commands: the setup and its .SIM file beside the
// schematic, Run Simulation with the engine choice and the task messages, the
// netlist under a chosen name or as a model, the netlist options, and the
// programs that show the files of a run.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "editor/engine_run.h"
#include "editor/main_window.h"
#include "netlist/netlist_writer.h"
#include "simulation/sim_setup.h"

namespace zephyrim {

class SimulationCommands {
 public:
  explicit SimulationCommands(EditorMainWindow& window);
  void add_to(CommandHandlers& handlers);

  // The simulation setup of the schematic, kept in the .SIM file beside it.
  SimulationSetup& setup() { return setup_; }
  // A schematic without a setup file starts from the defaults.
  void load_setup_beside(const std::string& schematic_path);
  void reset_setup();
  // After the schematic was saved at path: the setup goes beside it when it
  // changed or the schematic moved.
  void save_setup_with(const std::string& schematic_path, bool moved);
  // On close: the netlist is written when the options ask for it.
  void editor_closing();

  // A started task has not reported its end yet (ZS_TASKDONENOTIFY clears it).
  bool task_pending() const { return task_pending_; }
  // How often a task's end gave the focus back to the editor.
  int focus_returns() const { return focus_returns_; }
  // The folder the engines are looked for first; the program's own by default.
  void set_program_folder(const std::string& folder) { program_folder_ = folder; }
  // A simulation run by one of the standard engines is going on.
  bool engine_running() const;

  // Starts one of the standard engines for Run Simulation; false after the
  // error message when it cannot start. Tests replace it.
  std::function<bool(const std::vector<std::string>& argv)> start_engine;
  // File > Part List: the file chosen for the proposed name; empty when cancelled.
  std::function<QString(const QString& proposed)> ask_part_list_name;

 private:
  void run_simulation();
  void choose_engine(int engine);
  void edit_setup();
  void netlist_as();
  void export_part_list();
  void save_as_model();
  void view_netlist();
  void view_commands();
  void view_map();
  void netlist_options();
  NetlistOptions netlist_options_for(int mode, const NetlistFiles& files) const;
  // Compiles the netlist under the status pop-up; the netlist's result.
  int compile(int mode, const NetlistFiles& files, const std::string& model_name = {});
  std::string program_folder() const;
  // Starts a program; a successful start leaves a task pending.
  bool start(const std::vector<std::string>& argv);
  bool open_text_tool(const std::string& configured, const std::string& file);
  // Starts the output browser (viewer false) or the viewer on the simulator's listing.
  void open_output(bool viewer);
  void broadcast_received(const QString& name);
  // The viewer's program and arguments before the data file.
  std::vector<std::string> viewer_command() const;
  bool run_engine(const std::vector<std::string>& argv);
  void engine_finished(int exit_code);

  EditorMainWindow& w_;
  SimulationSetup setup_;
  bool setup_changed_ = false;  // not yet in a .SIM file: the schematic has no name
  bool task_pending_ = false;
  bool asked_simulator_ = false;  // the question about another simulator is asked once
  int focus_returns_ = 0;
  std::string program_folder_;
  std::unique_ptr<EngineRun> engine_;
};

}  // namespace zephyrim
