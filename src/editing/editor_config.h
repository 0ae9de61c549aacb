#pragma once
// The schematic editor's settings in ZEPHYRIM.INI: where the file lives, the keys
// read at start-up and the keys written back on exit. The file is shared with the
// viewer, so saving always starts from the file on disk and touches only the
// editor's own keys.
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/config_location.h"
#include "common/ini_file.h"
#include "common/notify.h"

namespace zephyrim {

inline constexpr const char* kSchematicSection = "Schematic";
inline constexpr const char* kJobStatusSection = "JobStatus";

inline constexpr const char* kDefaultFontName = "DEFAULT";
inline constexpr int kMaxRecentFiles = 5;
inline constexpr int kMaxAutoSaveMinutes = 100;
inline constexpr size_t kMaxBrowseCommandLength = 255;

// Engine choices of SimulatorOption.
enum SimulatorEngine : int {
  kEngineDefault = 0,
  kEngineXSpice = 1,
  kEngineSpice3 = 2,
  kEngineOther = 3,
};

// LastFontSize: height, width, escapement, orientation, weight.
using FontSize = std::array<int, 5>;
// LastFontOptions: italic, underline, strike-out, character set, output precision,
// clip precision, quality, pitch and family.
using FontOptions = std::array<int, 8>;

struct EditorConfig {
  // Section Zephyrim.
  // Empty: the desktop's own (see text_tool_command).
  std::string browse_file_command;
  int win_platform = 1;
  std::string edit_file_command;
  std::string simulation_command;
  std::string post_processor_command = "trc32";
  int xspice_option = 0;
  int spice3_option = 0;
  int simulator_option = kEngineDefault;
  // ModelDatabasePath: the model database folder; empty when not configured
  // (the circuit's folder or the user's data folder serve then).
  std::string model_database_path;

  // Section Schematic.
  std::string symbol_library_path;  // the program directory unless the file names one
  int auto_pan_mode = 0;
  int auto_junction_mode = 1;
  int rubber_band_mode = 1;
  int wheel_zoom_mode = 0;  // WheelZoomMode: 1 the wheel alone zooms, 0 only with Ctrl
  // The main window as it was left: WindowShowMode 3 maximised, 1 at
  // WindowShowPos (left top right bottom), anything else where the desktop puts it.
  int window_show_mode = 0;
  std::optional<std::array<int, 4>> window_show_pos;
  int printer_paper_orient = -1;
  int copy_clipboard_metafile_format = 0;
  int printer_pen_width = -1;
  // Palette indices; -1 keeps the built-in colour of the kind.
  int wire_color = -1;
  int symbol_color = -1;
  int junction_color = -1;
  int label_color = -1;
  int text_color = -1;
  // "DEFAULT" while the built-in font is in use; the size and options then mean nothing.
  std::string last_font_name = kDefaultFontName;
  std::optional<FontSize> last_font_size;
  std::optional<FontOptions> last_font_options;
  int auto_save_mode = 1;
  int auto_save_timer = 15;
  int auto_save_run = 0;
  int cursor_wire_option = 1;
  // Options > Netlist.
  int netlist_on_exit = 0;                // NetlistOnExit: write the netlist when the editor closes
  int netlist_backup = 1;                 // NetlistBackup: keep the previous netlist as .BAK
  std::string statistics_file;            // StatisticsFile: "<program dir>/STATSDEFAULT.TXT" unless set
  std::vector<std::string> recent_files;  // newest first, at most kMaxRecentFiles

  // Section JobStatus.
  std::string last_path;
  std::string last_file;
  std::string last_title;

  // Where the file is read from and written to; empty when no location could be found.
  std::string ini_path;

  bool builtin_font() const { return last_font_name == kDefaultFontName; }
};

// The settings in the file, the built-in defaults for whatever it lacks.
// symbol_library_path starts as program_dir. ini_path is left empty.
EditorConfig config_read(const IniFile& ini, const std::string& program_dir = "");

// Locates, loads and reads the file; ini_path is set to the location. A missing
// or unreadable file gives the defaults.
EditorConfig config_load(const std::string& program_dir, const EnvLookup& getenv_fn, Notify& notify);

// The words of a configured command line: blanks separate them, double quotes
// hold blanks in ("\"/opt/my tools/edit\" -a" gives two words). No shell sees it.
std::vector<std::string> command_words(const std::string& command);

// The program and first arguments that open a text file for the editor and the
// browser commands: the configured command, or when none is configured the
// user's $VISUAL, else $EDITOR, else xdg-open.
std::vector<std::string> text_tool_command(const std::string& configured, const EnvLookup& getenv_fn);

// The keys written on exit, in their fixed order (new keys are appended in the order
// they are first set, so a new file lists them that way). With the built-in font the
// name is written as "DEFAULT" and LastFontSize / LastFontOptions are not written:
// the reader ignores them then, and lines already in the file stay as they were.
void config_write(const EditorConfig& config, IniFile& ini);

// config_write into the file at path: the file is loaded first so that everything
// the editor does not own survives, the folder is created when missing and the file
// is replaced atomically. False when path is empty, the existing file cannot be read
// (rather than overwrite it with the editor's keys alone) or writing fails.
bool config_save(const EditorConfig& config, const std::string& path);

// The menu's engine choice: stored, and SimulatorOption written to the file at once
// (nothing is written when path is empty). False when the file could not be written.
bool config_set_engine(EditorConfig& config, int choice, const std::string& path);

// The Options > Netlist keys written at once (nothing is written when path is
// empty). False when the file could not be written.
bool config_save_netlist_options(const EditorConfig& config, const std::string& path);

// The engine a run uses: the chosen one when it is installed, else the default.
int effective_engine(const EditorConfig& config);
// The engine's name in the run question: "default", "XSPICE Option", ...
const char* engine_display_name(int engine);
// The Run item's label for the engine: "RUN &Simulation", "RUN &Simulation (XSPICE option)", ...
const char* run_item_label(int engine);
// The command line of a run: zsim, zsimx or zsim3 (from program_folder when it
// is there) with the netlist and "-ZSS", or the SimulationCommand words with the
// netlist for the other simulator.
std::vector<std::string> simulator_command(const EditorConfig& config, const std::string& netlist,
                                           const std::string& program_folder,
                                           const std::function<bool(const std::string&)>& exists);

// A new schematic's name: "Circuit%d.sch" with the first number from 1 to 99 whose
// file does not exist, else "untitled.sch".
std::string new_schematic_name(const std::function<bool(const std::string&)>& exists);

// The auto-save interval the timer runs with, in minutes; 0 when no timer runs
// (auto-save off, or an interval of 0 or less). The stored value is not changed.
int auto_save_interval_minutes(const EditorConfig& config);

// Puts path at the top of the recent files, removing an earlier entry of the same
// path and dropping the oldest beyond kMaxRecentFiles. An empty path is ignored.
void recent_files_add(EditorConfig& config, const std::string& path);

}  // namespace zephyrim
