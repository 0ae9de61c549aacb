#pragma once
// The viewer's settings in ZEPHYRIM.INI: its keys with their built-in values,
// reading them at start and writing its own keys back at close. The file is
// shared with the schematic editor, so saving starts from the file on disk and
// touches only the keys written here.
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "common/config_location.h"
#include "common/ini_file.h"
#include "common/notify.h"
#include "viewer/calc/fft.h"
#include "viewer/plot/cursors.h"
#include "viewer/plot/plot_model.h"

namespace zephyrim {

inline constexpr const char* kTracerySection = "Tracery";
inline constexpr const char* kFftPlotSection = "FFTPLOT";
inline constexpr const char* kCannotOpenIni = "Cannot open ZEPHYRIM.INI configuration file";

// Where the unit scale of an axis is written (UnitScaleLabelMode).
enum UnitScaleLabelMode : int { UNIT_SCALE_ON_TICKS = 0, UNIT_SCALE_ON_CAPTION = 1 };

// WindowShowMode: any other value lets the desktop place the window.
enum WindowShowMode : int { WINDOW_SHOW_DEFAULT = 0, WINDOW_SHOW_RESTORE = 1, WINDOW_SHOW_MAXIMISED = 3 };

// A window rectangle as WindowShowPos keeps it.
struct WindowRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  bool operator==(const WindowRect&) const = default;
};

// Settings of a picture export format (WMF and EMF).
struct PictureExport {
  int mode = 0;   // the dialog's size unit: 0 centimetres, 1 inches
  int width = 0;  // in hundredths of a centimetre, whatever the unit shown
  int height = 0;
  int mono = 0;  // black and white
};

// The built-in values of the keys, used for every key the file lacks.
namespace viewer_defaults {
inline constexpr int kWinPlatform = 1;
inline constexpr const char* kCalculatorCommand = "CALC";
inline constexpr int kPlotArea = AREA_RECTANGULAR;
inline constexpr int kGridMode = GRID_SINGLE;
inline constexpr int kPlotMode = PLOT_ALL_DATA;
inline constexpr int kPlotDirection = DIRECTION_BOTH;
inline constexpr int kRunInfo = 0;
inline constexpr int kTraceInfo = 1;
inline constexpr int kUnitScaleLabelMode = UNIT_SCALE_ON_TICKS;
inline constexpr int kCursor1Style = SHAPE_SMALL_CROSS;
inline constexpr int kCursor2Style = SHAPE_X;
inline constexpr int kDisplayMode = DISPLAY_MODE_WHITE;
inline constexpr int kPrinterFontRatio = 70;    // printed page height over text height
inline constexpr int kPrinterPaperOrient = -1;  // the printer's own
inline constexpr int kSaveTraceHistory = 1;
inline constexpr int kKeepOutFileHistory = 1;
inline constexpr int kPrintGridLineStyle = 4;  // dotted, of the trace line types
inline constexpr int kPrintGridLineThick = 1;
inline constexpr int kAutoRecallFormat = 0;
inline constexpr int kCopyClipboardMetafileFormat = 0;
inline constexpr int kHistoryMaxKeep = 10;
inline constexpr int kPrintMonochrome = 0;
// The screen's sequence of trace colours, so that a printed graph matches the window.
inline constexpr std::array<int, 12> kPrintTraceColours = {1, 4, 2, 5, 6, 3, 9, 12, 10, 13, 11, 8};
// On: a new run of the editor closes this viewer, whose data files the run rewrites.
inline constexpr int kAutoCloseOption = 1;
inline constexpr int kDebugLogOption = 0;
inline constexpr PictureExport kPictureExport = {0, 1600, 1200, 0};  // 16 x 12 cm
inline constexpr int kWaveFileSampleRate = 44100;
inline constexpr int kWindowShowMode = WINDOW_SHOW_DEFAULT;
inline constexpr const char* kFontName = "DEFAULT";  // the built-in font
}  // namespace viewer_defaults

// The accepted ranges; a value outside keeps the setting it would replace,
// except PrintGridLineThick, which falls back to 1.
inline constexpr int kMinPrinterFontRatio = 2, kMaxPrinterFontRatio = 499;
inline constexpr int kMinHistoryMaxKeep = 0, kMaxHistoryMaxKeep = 100;
inline constexpr int kMinWaveFileSampleRate = 101, kMaxWaveFileSampleRate = 149999;
inline constexpr int kMinPrintGridLineThick = 1, kMaxPrintGridLineThick = 20;

// The longest texts the keys hold.
inline constexpr size_t kMaxViewerBrowseCommandLength = 127;
inline constexpr size_t kMaxCalculatorCommandLength = 255;
inline constexpr size_t kMaxLastSessionFileLength = 511;
inline constexpr size_t kMaxRecentFileLength = 255;

inline constexpr int kViewerRecentFiles = 5;
inline constexpr int kUserExpressions = 5;
inline constexpr int kPrintTraceColourSlots = 12;

// LastFontSize: height, width, escapement, orientation, weight.
using PlotFontSize = std::array<int, 5>;
// LastFontOptions: italic, underline, strike-out, character set, output precision,
// clip precision, quality, pitch and family.
using PlotFontOptions = std::array<int, 8>;

struct ViewerConfig {
  // Section Zephyrim.
  int win_platform = viewer_defaults::kWinPlatform;
  std::string browse_file_command;  // empty: the desktop's own
  // The Tracery section's copy, when there is one, wins over the product section's.
  std::string calculator_command = viewer_defaults::kCalculatorCommand;

  // Section Tracery.
  int plot_area = viewer_defaults::kPlotArea;
  int grid_mode = viewer_defaults::kGridMode;
  int plot_mode = viewer_defaults::kPlotMode;
  int plot_direction = viewer_defaults::kPlotDirection;
  int run_info = viewer_defaults::kRunInfo;
  int trace_info = viewer_defaults::kTraceInfo;
  int unit_scale_label_mode = viewer_defaults::kUnitScaleLabelMode;
  int cursor1_style = viewer_defaults::kCursor1Style;
  int cursor2_style = viewer_defaults::kCursor2Style;
  int display_mode = viewer_defaults::kDisplayMode;
  int printer_font_ratio = viewer_defaults::kPrinterFontRatio;
  int printer_paper_orient = viewer_defaults::kPrinterPaperOrient;
  int save_trace_history = viewer_defaults::kSaveTraceHistory;
  int keep_out_file_history = viewer_defaults::kKeepOutFileHistory;
  int print_grid_line_style = viewer_defaults::kPrintGridLineStyle;
  int print_grid_line_thick = viewer_defaults::kPrintGridLineThick;
  std::string last_session_file;
  int auto_recall_format = viewer_defaults::kAutoRecallFormat;
  int copy_clipboard_metafile_format = viewer_defaults::kCopyClipboardMetafileFormat;
  int history_max_keep = viewer_defaults::kHistoryMaxKeep;
  int print_monochrome = viewer_defaults::kPrintMonochrome;
  std::array<std::string, kUserExpressions> last_user_expressions{};  // newest first
  std::array<int, kPrintTraceColourSlots> print_trace_colours = viewer_defaults::kPrintTraceColours;
  int auto_close_option = viewer_defaults::kAutoCloseOption;
  std::vector<std::string> recent_files;  // newest first, at most kViewerRecentFiles
  int debug_log_option = viewer_defaults::kDebugLogOption;
  PictureExport wmf = viewer_defaults::kPictureExport;
  PictureExport emf = viewer_defaults::kPictureExport;
  int wave_file_sample_rate = viewer_defaults::kWaveFileSampleRate;
  int window_show_mode = viewer_defaults::kWindowShowMode;
  std::optional<WindowRect> window_show_pos;  // absent: never saved, or damaged
  // "DEFAULT" while the built-in font is in use; the size and options then mean nothing.
  std::string last_font_name = viewer_defaults::kFontName;
  std::optional<PlotFontSize> last_font_size;
  std::optional<PlotFontOptions> last_font_options;
  // Section FFTPLOT: the FFT options beyond the plain transform, offered again.
  FftOptions fft;

  // Where the file is read from and written to; empty when no location could be found.
  std::string ini_path;

  bool builtin_font() const { return last_font_name.empty() || last_font_name == viewer_defaults::kFontName; }
};

// find_config_file; when none applies, shows kCannotOpenIni and returns "".
std::string viewer_config_location(const std::string& program_dir, const EnvLookup& getenv_fn,
                                   Notify& notify);

// Reads every key of the viewer, each with the current value of config as its
// default, so a missing or damaged key keeps the setting. Values outside the
// accepted ranges, and choices that name no choice, keep the setting too.
void viewer_config_read(const IniFile& ini, ViewerConfig& config);

// Locates and reads the file into the built-in settings; ini_path is set to the
// location. A missing or unreadable file gives the built-in settings.
ViewerConfig viewer_config_load(const std::string& program_dir, const EnvLookup& getenv_fn, Notify& notify);

// Writes the keys the viewer keeps at close; every other line of the file stays.
// With the built-in font the name is written as "DEFAULT" and the size and
// options are left as they are in the file.
void viewer_config_write(const ViewerConfig& config, IniFile& ini);

// viewer_config_write into the file at path: the file is loaded first so that the
// editor's keys survive, the folder is made when missing and the file is replaced
// atomically. False when path is empty, the existing file cannot be read (rather
// than overwrite it with the viewer's keys alone) or writing fails.
bool viewer_config_save(const ViewerConfig& config, const std::string& path);

// Puts a newly opened data file at the top of the recent files, removing an
// earlier entry of the same path and dropping the oldest beyond
// kViewerRecentFiles. An empty path is ignored.
void recent_files_add(ViewerConfig& config, const std::string& path);

// Keeps a newly entered expression at the top of the last five, without a repeat.
void user_expressions_add(ViewerConfig& config, const std::string& expression);

// The rectangle to restore at start, when the file asks for one and keeps a
// usable one.
std::optional<WindowRect> start_window_rect(const ViewerConfig& config);

// Notes the window at close: maximised, or restored at rect.
void remember_window(ViewerConfig& config, bool maximised, const WindowRect& rect);

}  // namespace zephyrim
