#include "editing/editor_config.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "common/file_io.h"
#include "simulation/model_db.h"

namespace zephyrim {
namespace {

std::string join_path(const std::string& dir, const std::string& name) {
  if (dir.empty() || dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

// Cuts to at most max bytes without splitting a UTF-8 sequence.
std::string cut_utf8(std::string text, size_t max) {
  if (text.size() <= max) return text;
  size_t n = max;
  while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  text.resize(n);
  return text;
}

void read_text(const IniFile& ini, const char* section, const char* key, std::string& value) {
  if (auto text = ini.get_string(section, key)) value = std::move(*text);
}

void read_int(const IniFile& ini, const char* section, const char* key, int& value) {
  value = ini.get_int(section, key, value);
}

bool engine_installed(const EditorConfig& c, int choice) {
  switch (choice) {
    case kEngineDefault:
      return true;
    case kEngineXSpice:
      return c.xspice_option != 0;
    case kEngineSpice3:
      return c.spice3_option != 0;
    case kEngineOther:
      return !c.simulation_command.empty();
    default:
      return false;  // names no engine at all
  }
}

void read_font(const IniFile& ini, EditorConfig& c) {
  const auto name = ini.get_string(kSchematicSection, "LastFontName");
  if (!name || *name == kDefaultFontName) return;
  c.last_font_name = *name;
  // A damaged line (too few numbers) is dropped whole rather than half applied.
  const std::vector<int> size = ini.get_ints(kSchematicSection, "LastFontSize");
  if (size.size() >= 5) {
    FontSize s{};
    std::copy_n(size.begin(), 5, s.begin());
    c.last_font_size = s;
  }
  const std::vector<int> options = ini.get_ints(kSchematicSection, "LastFontOptions");
  if (options.size() >= 8) {
    // Underline, strike-out and the two precisions are not restored.
    FontOptions o{};
    o[0] = options[0];
    o[3] = options[3];
    o[6] = options[6];
    o[7] = options[7];
    c.last_font_options = o;
  }
}

bool create_parent(const std::string& path) {
  const std::filesystem::path parent = std::filesystem::path(path).parent_path();
  if (parent.empty()) return true;
  std::error_code ec;
  std::filesystem::create_directories(parent, ec);
  return !ec;
}

// Loads the file at path, lets edit change it and saves it in place.
template <typename Edit>
bool update_file(const std::string& path, Edit edit) {
  if (path.empty()) return false;
  IniLoadStatus status = IniLoadStatus::kOk;
  IniFile ini = IniFile::load(path, &status);
  if (status == IniLoadStatus::kUnreadable || status == IniLoadStatus::kTooLarge) return false;
  edit(ini);
  return create_parent(path) && ini.save(path);
}

}  // namespace

EditorConfig config_read(const IniFile& ini, const std::string& program_dir) {
  EditorConfig c;
  const char* p = kProductSection;
  read_text(ini, p, "BrowseFileCommand", c.browse_file_command);
  c.browse_file_command = cut_utf8(std::move(c.browse_file_command), kMaxBrowseCommandLength);
  read_int(ini, p, "WinPlatform", c.win_platform);
  read_text(ini, p, "EditFileCommand", c.edit_file_command);
  read_text(ini, p, "SimulationCommand", c.simulation_command);
  read_text(ini, p, "PostProcessorCommand", c.post_processor_command);
  read_int(ini, p, "XSpiceOption", c.xspice_option);
  read_int(ini, p, "Spice3Option", c.spice3_option);
  read_int(ini, p, "SimulatorOption", c.simulator_option);
  if (!engine_installed(c, c.simulator_option)) c.simulator_option = kEngineDefault;
  read_text(ini, p, kModelDatabaseKey, c.model_database_path);

  const char* s = kSchematicSection;
  c.symbol_library_path = program_data_folder(program_dir, "default.sym");
  read_text(ini, s, "SymbolLibraryPath", c.symbol_library_path);
  read_int(ini, s, "AutoPanMode", c.auto_pan_mode);
  read_int(ini, s, "AutoJunctionMode", c.auto_junction_mode);
  read_int(ini, s, "RubberBandMode", c.rubber_band_mode);
  read_int(ini, s, "WheelZoomMode", c.wheel_zoom_mode);
  read_int(ini, s, "WindowShowMode", c.window_show_mode);
  // A damaged rectangle (too few numbers, no area) is dropped whole.
  if (const std::vector<int> pos = ini.get_ints(s, "WindowShowPos");
      pos.size() >= 4 && pos[2] > pos[0] && pos[3] > pos[1])
    c.window_show_pos = std::array<int, 4>{pos[0], pos[1], pos[2], pos[3]};
  read_int(ini, s, "PrinterPaperOrient", c.printer_paper_orient);
  read_int(ini, s, "CopyClipboardMetafileFormat", c.copy_clipboard_metafile_format);
  read_int(ini, s, "PrinterPenWidth", c.printer_pen_width);
  read_int(ini, s, "WireColor", c.wire_color);
  read_int(ini, s, "SymbolColor", c.symbol_color);
  read_int(ini, s, "JunctionColor", c.junction_color);
  read_int(ini, s, "LabelColor", c.label_color);
  read_int(ini, s, "TextColor", c.text_color);
  read_font(ini, c);
  read_int(ini, s, "AutoSaveMode", c.auto_save_mode);
  read_int(ini, s, "AutoSaveTimer", c.auto_save_timer);
  read_int(ini, s, "AutoSaveRun", c.auto_save_run);
  read_int(ini, s, "CursorWireOption", c.cursor_wire_option);
  read_int(ini, s, "NetlistOnExit", c.netlist_on_exit);
  read_int(ini, s, "NetlistBackup", c.netlist_backup);
  c.statistics_file = join_path(program_data_folder(program_dir, "STATSDEFAULT.TXT"), "STATSDEFAULT.TXT");
  read_text(ini, s, "StatisticsFile", c.statistics_file);
  // Empty slots are holes left by an earlier run, not entries.
  for (int i = 1; i <= kMaxRecentFiles; ++i) {
    auto file = ini.get_string(s, "RecentFile" + std::to_string(i));
    if (file && !file->empty()) c.recent_files.push_back(std::move(*file));
  }

  read_text(ini, kJobStatusSection, "LastPath", c.last_path);
  return c;
}

EditorConfig config_load(const std::string& program_dir, const EnvLookup& getenv_fn, Notify& notify) {
  const std::string path = config_location(program_dir, getenv_fn, notify);
  EditorConfig c = config_read(path.empty() ? IniFile() : IniFile::load(path), program_dir);
  c.ini_path = path;
  return c;
}

static void write_netlist_options(const EditorConfig& c, IniFile& ini) {
  ini.set_int(kSchematicSection, "NetlistOnExit", c.netlist_on_exit);
  ini.set_int(kSchematicSection, "NetlistBackup", c.netlist_backup);
  ini.set_string(kSchematicSection, "StatisticsFile", c.statistics_file);
}

void config_write(const EditorConfig& c, IniFile& ini) {
  const char* j = kJobStatusSection;
  ini.set_string(j, "WorkType", "0");
  ini.set_string(j, "LastPath", c.last_path);
  ini.set_string(j, "LastFile", c.last_file);
  ini.set_string(j, "LastTitle", c.last_title);

  ini.set_int(kProductSection, "SimulatorOption", c.simulator_option);

  const char* s = kSchematicSection;
  ini.set_int(s, "AutoPanMode", c.auto_pan_mode);
  ini.set_int(s, "AutoJunctionMode", c.auto_junction_mode);
  ini.set_int(s, "RubberBandMode", c.rubber_band_mode);
  ini.set_int(s, "WheelZoomMode", c.wheel_zoom_mode);
  ini.set_int(s, "WindowShowMode", c.window_show_mode);
  if (const auto& r = c.window_show_pos)
    ini.set_ints(s, "WindowShowPos", {(*r)[0], (*r)[1], (*r)[2], (*r)[3]});
  const bool builtin = c.builtin_font() || c.last_font_name.empty();
  ini.set_string(s, "LastFontName", builtin ? std::string(kDefaultFontName) : c.last_font_name);
  if (!builtin) {
    if (c.last_font_size)
      ini.set_ints(s, "LastFontSize", std::vector<int>(c.last_font_size->begin(), c.last_font_size->end()));
    if (c.last_font_options)
      ini.set_ints(s, "LastFontOptions",
                   std::vector<int>(c.last_font_options->begin(), c.last_font_options->end()));
  }
  ini.set_int(s, "AutoSaveMode", c.auto_save_mode);
  ini.set_int(s, "AutoSaveTimer", c.auto_save_timer);
  ini.set_int(s, "AutoSaveRun", c.auto_save_run);
  // All five slots, so that entries dropped from the list do not linger in the file.
  for (int i = 0; i < kMaxRecentFiles; ++i) {
    const size_t n = static_cast<size_t>(i);
    ini.set_string(s, "RecentFile" + std::to_string(i + 1),
                   n < c.recent_files.size() ? c.recent_files[n] : "");
  }
  write_netlist_options(c, ini);
}

bool config_save(const EditorConfig& config, const std::string& path) {
  return update_file(path, [&](IniFile& ini) { config_write(config, ini); });
}

bool config_set_engine(EditorConfig& config, int choice, const std::string& path) {
  config.simulator_option = choice;
  if (path.empty()) return true;
  return update_file(path, [&](IniFile& ini) { ini.set_int(kProductSection, "SimulatorOption", choice); });
}

bool config_save_netlist_options(const EditorConfig& config, const std::string& path) {
  if (path.empty()) return true;
  return update_file(path, [&](IniFile& ini) { write_netlist_options(config, ini); });
}

int auto_save_interval_minutes(const EditorConfig& config) {
  if (config.auto_save_mode == 0 || config.auto_save_timer <= 0) return 0;
  return std::min(config.auto_save_timer, kMaxAutoSaveMinutes);
}

void recent_files_add(EditorConfig& config, const std::string& path) {
  if (path.empty()) return;
  auto& files = config.recent_files;
  files.erase(std::remove(files.begin(), files.end(), path), files.end());
  files.insert(files.begin(), path);
  if (files.size() > static_cast<size_t>(kMaxRecentFiles)) files.resize(kMaxRecentFiles);
}

std::vector<std::string> command_words(const std::string& command) {
  std::vector<std::string> words;
  std::string word;
  bool quoted = false, any = false;
  for (char c : command) {
    if (c == '"') {
      quoted = !quoted;
      any = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (any) words.push_back(word);
      word.clear();
      any = false;
    } else {
      word += c;
      any = true;
    }
  }
  if (any) words.push_back(word);
  return words;
}

std::vector<std::string> text_tool_command(const std::string& configured, const EnvLookup& getenv_fn) {
  std::vector<std::string> words = command_words(configured);
  for (const char* name : {"VISUAL", "EDITOR"}) {
    if (!words.empty()) break;
    if (auto v = getenv_fn(name)) words = command_words(*v);
  }
  if (words.empty()) words = {"xdg-open"};
  return words;
}

int effective_engine(const EditorConfig& config) {
  return engine_installed(config, config.simulator_option) ? config.simulator_option : kEngineDefault;
}

const char* engine_display_name(int engine) {
  static const char* const kNames[] = {"default", "XSPICE Option", "SPICE3 Option", "Other"};
  return engine >= 0 && engine <= kEngineOther ? kNames[engine] : kNames[0];
}

const char* run_item_label(int engine) {
  static const char* const kLabels[] = {"RUN &Simulation", "RUN &Simulation (XSPICE option)",
                                        "RUN &Simulation (SPICE3 option)",
                                        "RUN &Simulation (other simulator)"};
  return engine >= 0 && engine <= kEngineOther ? kLabels[engine] : kLabels[0];
}

std::vector<std::string> simulator_command(const EditorConfig& config, const std::string& netlist,
                                           const std::string& program_folder,
                                           const std::function<bool(const std::string&)>& exists) {
  const int engine = effective_engine(config);
  if (engine == kEngineOther) {
    std::vector<std::string> argv = command_words(config.simulation_command);
    argv.push_back(netlist);
    return argv;
  }
  static const char* const kPrograms[] = {"zsim", "zsimx", "zsim3"};
  std::string program = kPrograms[engine];
  // The engine installed beside the editor comes first, then the one on PATH.
  if (!program_folder.empty() && exists(program_folder + "/" + program))
    program = program_folder + "/" + program;
  return {program, netlist, "-ZSS"};
}

std::string new_schematic_name(const std::function<bool(const std::string&)>& exists) {
  for (int n = 1; n <= 99; ++n) {
    const std::string name = "Circuit" + std::to_string(n) + ".sch";
    if (!exists(name)) return name;
  }
  return "untitled.sch";
}

}  // namespace zephyrim
