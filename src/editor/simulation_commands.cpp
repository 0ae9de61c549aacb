#include "editor/simulation_commands.h"

#include <QApplication>
#include <QDate>
#include <QFileDialog>
#include <QFileInfo>
#include <cstdlib>

#include "common/file_io.h"
#include "common/text_format.h"
#include "editing/subckt.h"
#include "editor/command_table.h"
#include "editor/dialogs.h"
#include "editor/engine_run.h"
#include "editor/file_commands.h"
#include "editor/setup_dialogs.h"
#include "editor/sheet_view.h"
#include "netlist/part_list.h"
#include "platform/broadcast.h"
#include "platform/qt/broadcast_notifier.h"
#include "schematic/schematic_file.h"

namespace zephyrim {

SimulationCommands::SimulationCommands(EditorMainWindow& window) : w_(window) {
  start_engine = [this](const std::vector<std::string>& argv) { return run_engine(argv); };
  ask_part_list_name = [this](const QString& proposed) {
    return QFileDialog::getSaveFileName(&w_, "Part list", proposed, "Text files(*.txt)");
  };
  auto* broadcast = new BroadcastNotifier("quill32", &w_);
  QObject::connect(broadcast, &BroadcastNotifier::received, &w_,
                   [this](const QString& name, long, long) { broadcast_received(name); });
}

void SimulationCommands::add_to(CommandHandlers& h) {
  h[kCmdSimSetup] = [this] { edit_setup(); };
  h[kCmdRun] = [this] { run_simulation(); };
  for (int engine = kEngineDefault; engine <= kEngineOther; ++engine)
    h[kCmdEngineDefault + engine] = [this, engine] { choose_engine(engine); };
  h[kCmdViewCir] = [this] { view_netlist(); };
  h[kCmdViewCmd] = [this] { view_commands(); };
  h[kCmdViewMap] = [this] { view_map(); };
  h[kCmdOpenMis] = [this] {
    open_text_tool(w_.config().edit_file_command, schematic_sibling(w_.schematic().path, "MIS"));
  };
  h[kCmdPlot] = [this] { open_output(true); };
  h[kCmdBrowseOut] = [this] { open_output(false); };
  h[kCmdNetlistAs] = [this] { netlist_as(); };
  h[kCmdPartList] = [this] { export_part_list(); };
  h[kCmdSubcktSaveModel] = [this] { save_as_model(); };
  h[kCmdNetlistOptions] = [this] { netlist_options(); };
}

void SimulationCommands::load_setup_beside(const std::string& schematic_path) {
  load_setup(setup_, schematic_sibling(schematic_path, "SIM"), w_.notify());
  setup_changed_ = false;
}

void SimulationCommands::reset_setup() {
  zephyrim::reset_setup(setup_);
  setup_changed_ = false;
}

void SimulationCommands::save_setup_with(const std::string& schematic_path, bool moved) {
  if (!setup_changed_ && !moved) return;
  if (save_setup(setup_, schematic_sibling(schematic_path, "SIM"), w_.notify())) setup_changed_ = false;
}

void SimulationCommands::edit_setup() {
  if (!edit_simulation_setup(setup_, w_.notify(), &w_)) return;
  setup_changed_ = true;
  if (w_.files().named()) save_setup_with(w_.schematic().path, false);
}

void SimulationCommands::choose_engine(int engine) {
  EditorConfig& c = w_.config();
  config_set_engine(c, engine, w_.config_loaded() ? c.ini_path : std::string());
}

NetlistOptions SimulationCommands::netlist_options_for(int mode, const NetlistFiles& files) const {
  const EditorConfig& c = w_.config();
  NetlistOptions o;
  o.mode = mode;
  o.files = files;
  if (c.netlist_backup == 0) o.files.backup.clear();
  o.setup = &setup_;
  o.commands.default_simulator = c.simulator_option == kEngineDefault;
  if (!c.statistics_file.empty()) o.commands.statistics_file = c.statistics_file;
  return o;
}

int SimulationCommands::compile(int mode, const NetlistFiles& files, const std::string& model_name) {
  NetlistOptions o = netlist_options_for(mode, files);
  o.model_name = model_name;
  int r = 0;
  w_.busy("Compiling SPICE netlist...", [&] { r = compile_netlist(w_.schematic(), o, w_.notify()); });
  w_.refresh_sheet();
  return r;
}

void SimulationCommands::run_simulation() {
  Schematic& s = w_.schematic();
  Notify& notify = w_.notify();
  // A subcircuit open for editing is closed first.
  if (s.page().edit_block != s.page().top()) subckt_close(s, notify);
  const int engine = effective_engine(w_.config());
  if (engine != kEngineDefault && !asked_simulator_) {
    asked_simulator_ = true;
    if (notify.question(strprintf("Simulator selected is %s\nDo you want to run simulation?",
                                  engine_display_name(engine)),
                        QuestionKind::OkCancel) != 1)
      return;
  }
  if (w_.files().auto_save_before_run()) w_.files().save();
  const NetlistFiles files = netlist_files(s.path);
  if (compile(kNetlistRun, files) == -1) return;
  // The values shown belong to the last run.
  w_.sheet()->hide_bias();
  // A run still going gives way to the new one.
  if (engine_) engine_->stop();
  // A viewer still showing the last results closes, so the engine can write them anew.
  broadcast_post({kZsmSimulation, 1, 0});
  const std::vector<std::string> argv = simulator_command(
      w_.config(), files.netlist, program_folder(),
      [](const std::string& p) { return QFileInfo(QString::fromStdString(p)).isExecutable(); });
  if (engine == kEngineOther) {
    w_.busy("Loading simulator module...", [&] { start(argv); });
    if (file_exists(files.map)) open_output(true);
    return;
  }
  if (start_engine(argv)) task_pending_ = true;
}

bool SimulationCommands::engine_running() const {
  return engine_ && engine_->running();
}

bool SimulationCommands::run_engine(const std::vector<std::string>& argv) {
  if (!engine_)
    engine_ = std::make_unique<EngineRun>(
        nullptr, EngineRun::Callbacks{[this](const QString& text) { w_.show_status_popup(text); },
                                      [this](int code) { engine_finished(code); }});
  w_.show_status_popup("Loading simulator module...");
  const std::vector<std::string> viewer = viewer_command();
  const QString folder = QFileInfo(QString::fromStdString(w_.schematic().path)).absolutePath();
  if (engine_->start(argv, folder, QString::fromStdString(viewer.front()))) return true;
  w_.show_status_popup({});
  QString line = QString::fromStdString(argv.front());
  for (size_t i = 1; i < argv.size(); ++i) line += " \"" + QString::fromStdString(argv[i]) + "\"";
  const int code = QFileInfo(QString::fromStdString(argv.front())).exists() ? 1 : 2;
  w_.notify().error(QString("Command: %1 failed.\nError code %2").arg(line).arg(code).toStdString());
  return false;
}

// A failed run says what the simulator said, not just that it failed.
void SimulationCommands::engine_finished(int exit_code) {
  if (exit_code == 0) return;
  const std::string out = schematic_sibling(w_.schematic().path, "OUT");
  const auto text = read_text_file(out);
  std::vector<std::string> errors = text ? listing_errors(*text) : std::vector<std::string>{};
  std::string message = exit_code < 0 ? "The simulation was stopped." : "The simulation failed.";
  if (!errors.empty()) {
    message += "\n";
    for (const auto& e : errors) message += "\n" + e;
  }
  message += "\n\nListing: " + out;
  w_.notify().error(message);
}

void SimulationCommands::view_netlist() {
  const NetlistFiles files = netlist_files(w_.schematic().path);
  if (compile(kNetlistRun, files) > 0) open_text_tool(w_.config().edit_file_command, files.netlist);
}

void SimulationCommands::view_commands() {
  AnalysisCommandOptions options = netlist_options_for(kNetlistRun, {}).commands;
  const std::string cmd = schematic_sibling(w_.schematic().path, "CMD");
  if (write_analysis_commands(&setup_, cmd, analysis_commands_title(), options, w_.notify()) != 0)
    open_text_tool(w_.config().edit_file_command, cmd);
}

void SimulationCommands::view_map() {
  const std::string map = schematic_sibling(w_.schematic().path, "MAP");
  if (file_exists(map))
    open_text_tool(w_.config().browse_file_command, map);
  else
    w_.notify().information(
        "Cross reference map file not available.\nRun View Circuit File or Run Simlation command first.");
}

void SimulationCommands::export_part_list() {
  const std::string& path = w_.schematic().path;
  const QString proposed = path.empty() ? QString() : QString::fromStdString(with_extension(path, "txt"));
  const QString name = ask_part_list_name(proposed);
  if (name.isEmpty()) return;
  w_.busy("Writing part list...", [&] { part_list_write(w_.schematic(), name.toStdString(), w_.notify()); });
}

void SimulationCommands::netlist_as() {
  int filter = 0;
  const QString name = w_.ask_netlist_name(filter);
  if (name.isEmpty()) return;
  const NetlistFiles files = netlist_files(w_.schematic().path);
  NetlistFiles target = files;
  target.netlist = name.toStdString();
  if (filter == 0) {
    compile(kNetlistRun, target);
    return;
  }
  const int mode = filter == 2 && QFileInfo::exists(name) ? kNetlistModelAppend : kNetlistModelNew;
  compile(mode, target, files.base);
}

void SimulationCommands::save_as_model() {
  Schematic& s = w_.schematic();
  BlockRecord* block = subckt_selected(s, w_.notify());
  if (!block) return;
  const std::string suggested = (QFileInfo(QString::fromStdString(s.path)).absolutePath().toStdString() +
                                 "/" + block->name.str() + ".mod");
  SubcktModelDialog d(block->name.str(), QString::fromStdString(suggested), &w_);
  if (d.exec() != QDialog::Accepted || d.file().isEmpty()) return;
  NetlistFiles target = netlist_files(s.path);
  target.netlist = d.file().toStdString();
  NetlistOptions o = netlist_options_for(d.append() ? kNetlistModelAppend : 0, target);
  const std::string date = QDate::currentDate().toString("dd-MMM-yyyy").toStdString();
  w_.busy("Compiling subcircuit SPICE netlist...",
          [&] { compile_subcircuit_model(s, *block, o, date, w_.notify()); });
  w_.refresh_sheet();
}

void SimulationCommands::netlist_options() {
  NetlistOptionsDialog d(w_.config(), &w_);
  if (d.exec() != QDialog::Accepted) return;
  EditorConfig& c = w_.config();
  d.apply(c);
  if (w_.config_loaded() && !config_save_netlist_options(c, c.ini_path)) w_.notify().error(kCannotWriteIni);
}

void SimulationCommands::editor_closing() {
  if (w_.config().netlist_on_exit == 0 || !w_.files().named()) return;
  compile(kNetlistOnClose, netlist_files(w_.schematic().path));
}

std::string SimulationCommands::program_folder() const {
  return program_folder_.empty() ? QCoreApplication::applicationDirPath().toStdString() : program_folder_;
}

bool SimulationCommands::start(const std::vector<std::string>& argv) {
  if (!w_.launch(argv)) return false;
  task_pending_ = true;
  return true;
}

bool SimulationCommands::open_text_tool(const std::string& configured, const std::string& file) {
  std::vector<std::string> argv =
      text_tool_command(configured, [](const char* name) -> std::optional<std::string> {
        const char* v = std::getenv(name);
        return v && *v ? std::optional<std::string>(v) : std::nullopt;
      });
  argv.push_back(file);
  return start(argv);
}

std::vector<std::string> SimulationCommands::viewer_command() const {
  std::vector<std::string> argv = command_words(w_.config().post_processor_command);
  if (argv.empty()) argv = {"trc32"};
  // A bare program name is the viewer installed beside the editor when there is one there.
  if (argv[0].find('/') == std::string::npos) {
    const QString beside = QString::fromStdString(program_folder() + "/" + argv[0]);
    if (QFileInfo(beside).isExecutable()) argv[0] = beside.toStdString();
  }
  return argv;
}

void SimulationCommands::open_output(bool viewer) {
  const std::string out = schematic_sibling(w_.schematic().path, "OUT");
  if (viewer) {
    std::vector<std::string> argv = viewer_command();
    argv.push_back(out);
    start(argv);
    return;
  }
  open_text_tool(w_.config().browse_file_command, out);
  task_pending_ = false;
}

void SimulationCommands::broadcast_received(const QString& name) {
  if (name != QLatin1String(kZsTaskDoneNotify) || !task_pending_) return;
  task_pending_ = false;
  ++focus_returns_;
  w_.raise();
  w_.activateWindow();
}

}  // namespace zephyrim
