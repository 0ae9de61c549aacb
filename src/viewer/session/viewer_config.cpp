#include "viewer/session/viewer_config.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "common/text_format.h"

namespace zephyrim {
namespace {

const char* const kSection = kTracerySection;

// Cuts to at most max bytes without splitting a UTF-8 sequence.
std::string cut_utf8(std::string text, size_t max) {
  if (text.size() <= max) return text;
  size_t n = max;
  while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  text.resize(n);
  return text;
}

std::string numbered(const char* key, int n) {
  return key + std::to_string(n);
}

void read_text(const IniFile& ini, const char* section, const std::string& key, std::string& value) {
  if (auto text = ini.get_string(section, key)) value = std::move(*text);
}

// A path longer than its key holds is dropped rather than cut: the cut text
// would name another file.
void read_path(const IniFile& ini, const std::string& key, size_t max, std::string& value) {
  auto text = ini.get_string(kSection, key);
  if (text && text->size() <= max) value = std::move(*text);
}

void read_int(const IniFile& ini, const char* section, const std::string& key, int& value) {
  value = ini.get_int(section, key, value);
}

// Choices and ranges: a value the file offers is taken only when low <= v <= high.
void read_in_range(const IniFile& ini, const std::string& key, int low, int high, int& value) {
  const int v = ini.get_int(kSection, key, value);
  if (v >= low && v <= high) value = v;
}

void read_flag(const IniFile& ini, const std::string& key, int& value) {
  value = ini.get_int(kSection, key, value) != 0 ? 1 : 0;
}

void read_picture(const IniFile& ini, const char* prefix, PictureExport& p) {
  const std::string base = std::string(prefix) + "MetaFile";
  read_in_range(ini, base + "Mode", 0, 1, p.mode);
  // A picture of no size cannot be written.
  read_in_range(ini, base + "W", 1, INT_MAX, p.width);
  read_in_range(ini, base + "H", 1, INT_MAX, p.height);
  read_flag(ini, base + "Mono", p.mono);
}

void read_window(const IniFile& ini, ViewerConfig& c) {
  read_int(ini, kSection, "WindowShowMode", c.window_show_mode);
  // A damaged line (too few numbers, no area) is dropped whole.
  const std::vector<int> pos = ini.get_ints(kSection, "WindowShowPos");
  if (pos.size() < 4 || pos[2] <= pos[0] || pos[3] <= pos[1]) return;
  c.window_show_pos = WindowRect{pos[0], pos[1], pos[2], pos[3]};
}

void read_font(const IniFile& ini, ViewerConfig& c) {
  const auto name = ini.get_string(kSection, "LastFontName");
  if (!name || name->empty()) return;
  c.last_font_name = *name;
  if (c.builtin_font()) return;
  const std::vector<int> size = ini.get_ints(kSection, "LastFontSize");
  if (size.size() >= 5) {
    PlotFontSize s{};
    std::copy_n(size.begin(), s.size(), s.begin());
    c.last_font_size = s;
  }
  const std::vector<int> options = ini.get_ints(kSection, "LastFontOptions");
  if (options.size() >= 8) {
    PlotFontOptions o{};
    std::copy_n(options.begin(), o.size(), o.begin());
    c.last_font_options = o;
  }
}

void read_lists(const IniFile& ini, ViewerConfig& c) {
  for (int i = 0; i < kUserExpressions; ++i)
    read_text(ini, kSection, numbered("LastUserExpression", i + 1),
              c.last_user_expressions[static_cast<size_t>(i)]);
  for (int i = 0; i < kPrintTraceColourSlots; ++i)
    read_in_range(ini, numbered("PrintTraceColor", i + 1), 0, 15,
                  c.print_trace_colours[static_cast<size_t>(i)]);
  // A file that has the list replaces the current one whole; empty slots are
  // holes left by an earlier run, not entries.
  std::vector<std::string> files;
  bool listed = false;
  for (int i = 1; i <= kViewerRecentFiles; ++i) {
    listed = listed || ini.has_key(kSection, numbered("RecentFile", i));
    std::string file;
    read_path(ini, numbered("RecentFile", i), kMaxRecentFileLength, file);
    if (!file.empty() && std::find(files.begin(), files.end(), file) == files.end()) files.push_back(file);
  }
  if (listed) c.recent_files = std::move(files);
}

void read_product(const IniFile& ini, ViewerConfig& c) {
  const char* p = kProductSection;
  read_int(ini, p, "WinPlatform", c.win_platform);
  read_text(ini, p, "BrowseFileCommand", c.browse_file_command);
  c.browse_file_command = cut_utf8(std::move(c.browse_file_command), kMaxViewerBrowseCommandLength);
  // An empty command would start nothing, so it keeps the one before.
  for (const char* section : {p, kSection}) {
    auto command = ini.get_string(section, "CalculatorCommand");
    if (command && !command->empty())
      c.calculator_command = cut_utf8(std::move(*command), kMaxCalculatorCommandLength);
  }
}

bool create_parent(const std::string& path) {
  const std::filesystem::path parent = std::filesystem::path(path).parent_path();
  if (parent.empty()) return true;
  std::error_code ec;
  std::filesystem::create_directories(parent, ec);
  return !ec;
}

// A damaged value keeps the option off rather than asking for something odd.
void read_fft(const IniFile& ini, FftOptions& fft) {
  const int points = ini.get_int(kFftPlotSection, "Points", static_cast<int>(fft.points));
  fft.points = fft_points_valid(points) ? points : 0;
  const int window = ini.get_int(kFftPlotSection, "Window", fft.window);
  fft.window = window >= 0 && window < kFftWindows ? window : FFT_WINDOW_NONE;
  if (const auto text = ini.get_string(kFftPlotSection, "Fundamental")) {
    const double f = std::strtod(text->c_str(), nullptr);
    fft.fundamental = std::isfinite(f) && f > 0 ? f : 0;
  }
}

}  // namespace

std::string viewer_config_location(const std::string& program_dir, const EnvLookup& getenv_fn,
                                   Notify& notify) {
  if (auto path = find_config_file(program_dir, getenv_fn)) return std::move(*path);
  notify.error(kCannotOpenIni);
  return {};
}

void viewer_config_read(const IniFile& ini, ViewerConfig& c) {
  read_product(ini, c);
  // Choices are kept to the codes the dialogs offer, since the drawing code
  // indexes its option lists with them.
  read_in_range(ini, "PlotArea", AREA_SQUARE, AREA_RECTANGULAR, c.plot_area);
  read_in_range(ini, "FmtGridMode", GRID_NONE, GRID_DOUBLE, c.grid_mode);
  read_in_range(ini, "FmtPlotMode", PLOT_ALL_DATA, PLOT_FAST, c.plot_mode);
  read_in_range(ini, "FmtPlotDir", DIRECTION_BOTH, DIRECTION_DOWN, c.plot_direction);
  read_flag(ini, "FmtRunInfo", c.run_info);
  read_flag(ini, "FmtTraceInfo", c.trace_info);
  read_in_range(ini, "UnitScaleLabelMode", UNIT_SCALE_ON_TICKS, UNIT_SCALE_ON_CAPTION,
                c.unit_scale_label_mode);
  read_in_range(ini, "Cursor1Style", SHAPE_SMALL_CROSS, SHAPE_CROSS_HAIR, c.cursor1_style);
  read_in_range(ini, "Cursor2Style", SHAPE_SMALL_CROSS, SHAPE_CROSS_HAIR, c.cursor2_style);
  read_in_range(ini, "DisplayMode", DISPLAY_MODE_BLACK, DISPLAY_MODE_FILE_MONO, c.display_mode);
  read_in_range(ini, "PrinterFontRatio", kMinPrinterFontRatio, kMaxPrinterFontRatio, c.printer_font_ratio);
  read_int(ini, kSection, "PrinterPaperOrient", c.printer_paper_orient);
  read_flag(ini, "SaveTraceHistory", c.save_trace_history);
  read_flag(ini, "KeepOutFileHistory", c.keep_out_file_history);
  read_in_range(ini, "PrintGridLineStyle", 0, 9, c.print_grid_line_style);
  read_int(ini, kSection, "PrintGridLineThick", c.print_grid_line_thick);
  if (c.print_grid_line_thick < kMinPrintGridLineThick || c.print_grid_line_thick > kMaxPrintGridLineThick)
    c.print_grid_line_thick = 1;
  read_path(ini, "LastSessionFile", kMaxLastSessionFileLength, c.last_session_file);
  read_flag(ini, "AutoRecallFormat", c.auto_recall_format);
  read_int(ini, kSection, "CopyClipboardMetafileFormat", c.copy_clipboard_metafile_format);
  read_in_range(ini, "HistoryMaxKeep", kMinHistoryMaxKeep, kMaxHistoryMaxKeep, c.history_max_keep);
  read_flag(ini, "PrintMonochrome", c.print_monochrome);
  read_flag(ini, "AutoCloseOption", c.auto_close_option);
  read_flag(ini, "DebugLogOption", c.debug_log_option);
  read_picture(ini, "WMF", c.wmf);
  read_picture(ini, "EMF", c.emf);
  read_in_range(ini, "WaveFileSampleRate", kMinWaveFileSampleRate, kMaxWaveFileSampleRate,
                c.wave_file_sample_rate);
  read_lists(ini, c);
  read_window(ini, c);
  read_font(ini, c);
  read_fft(ini, c.fft);
}

ViewerConfig viewer_config_load(const std::string& program_dir, const EnvLookup& getenv_fn, Notify& notify) {
  ViewerConfig c;
  c.ini_path = viewer_config_location(program_dir, getenv_fn, notify);
  if (!c.ini_path.empty()) viewer_config_read(IniFile::load(c.ini_path), c);
  return c;
}

void viewer_config_write(const ViewerConfig& c, IniFile& ini) {
  const char* s = kSection;
  ini.set_int(s, "PlotArea", c.plot_area);
  ini.set_int(s, "FmtGridMode", c.grid_mode);
  ini.set_int(s, "FmtPlotMode", c.plot_mode);
  ini.set_int(s, "FmtPlotDir", c.plot_direction);
  ini.set_int(s, "FmtRunInfo", c.run_info);
  ini.set_int(s, "FmtTraceInfo", c.trace_info);
  ini.set_int(s, "Cursor1Style", c.cursor1_style);
  ini.set_int(s, "Cursor2Style", c.cursor2_style);
  ini.set_int(s, "SaveTraceHistory", c.save_trace_history);
  ini.set_int(s, "KeepOutFileHistory", c.keep_out_file_history);
  ini.set_string(s, "LastSessionFile", c.last_session_file);
  ini.set_int(s, "AutoRecallFormat", c.auto_recall_format);
  ini.set_int(s, "AutoCloseOption", c.auto_close_option);
  for (int i = 0; i < kUserExpressions; ++i)
    ini.set_string(s, numbered("LastUserExpression", i + 1), c.last_user_expressions[static_cast<size_t>(i)]);
  ini.set_int(s, "WindowShowMode", c.window_show_mode);
  if (const auto& r = c.window_show_pos)
    ini.set_ints(s, "WindowShowPos", {r->left, r->top, r->right, r->bottom});
  const bool builtin = c.builtin_font();
  ini.set_string(s, "LastFontName", builtin ? std::string(viewer_defaults::kFontName) : c.last_font_name);
  if (!builtin && c.last_font_size)
    ini.set_ints(s, "LastFontSize", std::vector<int>(c.last_font_size->begin(), c.last_font_size->end()));
  if (!builtin && c.last_font_options)
    ini.set_ints(s, "LastFontOptions",
                 std::vector<int>(c.last_font_options->begin(), c.last_font_options->end()));
  // Not among the keys the viewer was first written to keep, but a recent-file
  // menu that forgets its files at every start is a fault. All five slots are
  // written, so that entries dropped from the list do not linger in the file.
  for (int i = 0; i < kViewerRecentFiles; ++i) {
    const auto n = static_cast<size_t>(i);
    ini.set_string(s, numbered("RecentFile", i + 1), n < c.recent_files.size() ? c.recent_files[n] : "");
  }
  ini.set_int(kFftPlotSection, "Points", static_cast<int>(c.fft.points));
  ini.set_int(kFftPlotSection, "Window", c.fft.window);
  ini.set_string(kFftPlotSection, "Fundamental", strprintf("%.17g", c.fft.fundamental));
}

bool viewer_config_save(const ViewerConfig& config, const std::string& path) {
  if (path.empty()) return false;
  IniLoadStatus status = IniLoadStatus::kOk;
  IniFile ini = IniFile::load(path, &status);
  if (status == IniLoadStatus::kUnreadable || status == IniLoadStatus::kTooLarge) return false;
  viewer_config_write(config, ini);
  return create_parent(path) && ini.save(path);
}

void recent_files_add(ViewerConfig& config, const std::string& path) {
  if (path.empty()) return;
  auto& files = config.recent_files;
  files.erase(std::remove(files.begin(), files.end(), path), files.end());
  files.insert(files.begin(), path);
  if (files.size() > static_cast<size_t>(kViewerRecentFiles)) files.resize(kViewerRecentFiles);
}

void user_expressions_add(ViewerConfig& config, const std::string& expression) {
  if (expression.empty()) return;
  auto& list = config.last_user_expressions;
  auto end = std::find(list.begin(), list.end(), expression);
  if (end == list.end()) --end;  // the oldest goes
  std::move_backward(list.begin(), end, end + 1);
  list.front() = expression;
}

std::optional<WindowRect> start_window_rect(const ViewerConfig& config) {
  if (config.window_show_mode != WINDOW_SHOW_RESTORE) return std::nullopt;
  return config.window_show_pos;
}

void remember_window(ViewerConfig& config, bool maximised, const WindowRect& rect) {
  config.window_show_mode = maximised ? WINDOW_SHOW_MAXIMISED : WINDOW_SHOW_RESTORE;
  // A maximised window keeps the rectangle it returns to.
  if (rect.right > rect.left && rect.bottom > rect.top) config.window_show_pos = rect;
}

}  // namespace zephyrim
