#pragma once
// The viewer's main-window commands as data: identifier, menu placement, item
// text, accelerator, kind and status tip. The window builds its menus and
// actions from this table and dispatches every action by its identifier, so
// that menus, shortcuts and dispatch cannot drift apart.
#include <array>
#include <span>
#include <string_view>

namespace zephyrim {

// The command identifiers, by which the window dispatches every action.
enum ViewerCommandId : int {
  CMD_OPEN = 100,
  CMD_QUIT = 101,
  CMD_SAVE_TEXT_HEADERS = 102,
  CMD_SAVE_AS_WMF = 103,
  CMD_PRINT = 105,
  CMD_PRINTER_SETUP = 106,
  CMD_SAVE_AND_EXIT = 107,
  CMD_PAGE_SETUP = 108,
  CMD_SAVE_AS_EMF = 109,
  CMD_PICTURE_BMP = 110,
  CMD_PICTURE_PNG = 111,
  CMD_SAVE_TEXT_SPICE_INC = 112,
  CMD_SAVE_WAV = 113,
  CMD_SAVE_TEXT_DATA_ONLY = 114,
  CMD_RECENT_FILE1 = 115,  // .. CMD_RECENT_FILE1 + 4
  CMD_TITLES = 121,
  CMD_MOVE_LABEL = 122,
  CMD_DELETE_LABEL = 123,
  CMD_ADD_LABEL = 124,
  CMD_COPY_GRAPH = 126,
  CMD_COPY_SCREEN = 127,
  CMD_AUTOPLOT = 140,
  CMD_PROBE = 141,
  CMD_REDRAW = 142,
  CMD_HISTOGRAM_YIELD = 143,
  CMD_HISTOGRAM_GAUSSIAN = 144,
  CMD_HISTOGRAM_NEW = 145,
  CMD_SMITH_CHART = 146,
  CMD_ADD_DELETE_PLOTS = 147,
  CMD_POLAR_CHART = 148,
  CMD_HISTOGRAM_OPTIONS = 149,
  CMD_TRACE_ADD = 160,
  CMD_TRACE_MOVE_DELETE = 161,
  CMD_TRACE_OPTIONS = 162,
  CMD_TRACE_LABEL = 163,
  CMD_HISTORY_ADD = 164,
  CMD_HISTORY_SAVE = 165,
  CMD_HISTORY_OPTIONS = 166,
  CMD_AXIS_OPTIONS = 180,
  CMD_AXIS_LIMITS = 181,
  CMD_AXIS_X_VARIABLE = 182,
  CMD_FORMAT_OPTIONS = 190,
  CMD_FORMAT_MONTE_CARLO = 191,
  CMD_FORMAT_SAVE_DELETE = 192,
  CMD_FORMAT_RECALL = 193,
  CMD_FORMAT_AUTO_RECALL = 194,
  CMD_ZOOM_AREA = 200,
  CMD_ZOOM_CANCEL = 201,
  CMD_VIEW_STATUS = 202,
  CMD_CHOOSE_FONT = 203,
  CMD_DEFAULT_FONT = 204,
  CMD_DISPLAY_BLACK = 205,
  CMD_DISPLAY_WHITE = 206,
  CMD_DISPLAY_MONOCHROME = 207,
  CMD_TRANSPARENT_LABELS = 208,
  CMD_BROWSE_OUTPUT = 209,
  CMD_SCROLL_LEFT = 211,  // .. CMD_SCROLL_NEXT_PLOT: scroll steps 1 to 8
  CMD_SCROLL_RIGHT = 212,
  CMD_SCROLL_START_X = 213,
  CMD_SCROLL_END_X = 214,
  CMD_SCROLL_UP = 215,
  CMD_SCROLL_DOWN = 216,
  CMD_SCROLL_PREVIOUS_PLOT = 217,
  CMD_SCROLL_NEXT_PLOT = 218,
  CMD_DISPLAY_FILE_COLOUR = 219,
  CMD_DISPLAY_FILE_MONO = 220,
  CMD_UNDO_TRANSFORM = 230,
  CMD_FFT = 231,
  CMD_EYE_DISPLAY = 232,
  CMD_CURSOR1 = 240,
  CMD_CURSOR2 = 241,
  CMD_CURSOR_NEXT_TRACE = 242,
  CMD_CURSOR_PREVIOUS_TRACE = 243,
  CMD_CURSORS_CLEAR = 244,
  CMD_CURSOR_SHAPE = 245,
  CMD_CURSOR_POSITION = 246,
  CMD_READOUT_X_DIFFERENCE = 247,
  CMD_READOUT_Y_DIFFERENCE = 248,
  CMD_READOUT_SLOPE = 249,
  CMD_NEXT_CURSOR = 250,
  CMD_READOUT_X_RATIO = 251,
  CMD_READOUT_Y_RATIO = 252,
  CMD_MEASURE_WIDTH = 260,
  CMD_MEASURE_MINIMUM = 261,
  CMD_MEASURE_MAXIMUM = 262,
  CMD_MEASURE_DELTA = 263,
  CMD_MEASURE_DELAY = 264,
  CMD_MEASURE_VALUE = 265,
  CMD_TABULATE = 266,
  CMD_CALCULATOR = 267,
  CMD_MEASURE_FREQUENCY = 268,
  CMD_AUTO_CLOSE = 269,
  CMD_PICTURE_WMF = 270,
  CMD_PICTURE_EMF = 271,
  CMD_MEASURE_X_AT_MINIMUM = 272,
  CMD_MEASURE_X_AT_MAXIMUM = 273,
  CMD_CAPTURE_BMP = 274,
  CMD_CAPTURE_PNG = 275,
  CMD_PLAY_WAVEFILE = 276,
  CMD_PLAY_TRACE = 277,
  CMD_PLAY_STOP = 278,
  CMD_PLAY_REPEAT = 279,
  CMD_RUN_SCRIPT = 280,
  CMD_HELP_CONTENTS = 301,
  CMD_HELP_INDEX = 302,
  CMD_ABOUT = 303,   // beyond the classic table
  CMD_RELOAD = 304,  // beyond the classic table: the data file read again in place
};

// What a click on the plot does.
enum PointerMode : int {
  POINTER_NORMAL = 0,        // cursor dragging and the default clicks
  POINTER_PLACE_CURSOR = 1,  // cursor placement
  POINTER_ZOOM_AREA = 2,     // zoom-area drag
  POINTER_ADD_LABEL = 3,
  POINTER_DELETE_LABEL = 4,
  POINTER_MOVE_LABEL = 5,
};

// The label commands toggle their mode: choosing the mode in force returns to
// the normal pointer.
PointerMode toggle_pointer_mode(PointerMode current, PointerMode chosen);

enum class CommandKind {
  kAction,      // runs once
  kToggle,      // a checked state of its own
  kChoice,      // one of a group of which exactly one is checked (the display modes)
  kRecentFile,  // opens a recent file; its text is the file's name
};

inline constexpr size_t kMaxMenuDepth = 3;
// The top menu and the submenus the item sits in; unused levels are empty.
using MenuPath = std::array<std::string_view, kMaxMenuDepth>;

struct ViewerCommand {
  int id = 0;
  MenuPath path{};
  std::string_view text;         // the item's text, without mnemonic
  std::string_view accelerator;  // QKeySequence's portable text ("Ctrl+O", "Shift+F6"); empty: none
  CommandKind kind = CommandKind::kAction;
  // What the operation takes: the text export mode (0 info headers, 1 data only,
  // 2 SPICE .INC), the pointer mode, the scroll step (1..8), the display mode,
  // the measurement kind (MeasureKind), the recent file slot (1..5) or the
  // cursor (1, 2); -1 for the others.
  int arg = -1;
  std::string_view status_tip;
  // A second place of a command listed earlier (Plot > Redraw is also View >
  // Refresh); lookups return the first.
  bool secondary = false;

  bool checkable() const { return kind == CommandKind::kToggle || kind == CommandKind::kChoice; }
};

// Every command in menu order: the menus in viewer_menus() order, the items of
// a menu in the order they are shown.
std::span<const ViewerCommand> viewer_commands();

// The top menus, left to right.
std::span<const std::string_view> viewer_menus();

// The command of the identifier (its first place); null when there is none.
const ViewerCommand* find_viewer_command(int id);

}  // namespace zephyrim
