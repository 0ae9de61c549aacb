#include "viewer/session/command_table.h"

#include <algorithm>

#include "viewer/calc/measure.h"
#include "viewer/session/viewer_config.h"

namespace zephyrim {
namespace {

using K = CommandKind;

constexpr ViewerCommand row(int id, MenuPath path, std::string_view text, std::string_view accelerator,
                            std::string_view tip, K kind = K::kAction, int arg = -1) {
  return ViewerCommand{id, path, text, accelerator, kind, arg, tip, false};
}

constexpr ViewerCommand also(int id, MenuPath path, std::string_view text, std::string_view tip) {
  return ViewerCommand{id, path, text, {}, K::kAction, -1, tip, true};
}

constexpr MenuPath kFile = {"File"};
constexpr MenuPath kSaveAs = {"File", "Save As"};
constexpr MenuPath kTextExport = {"File", "Save As", "Text (ASCII) Data File"};
constexpr MenuPath kPicture = {"File", "Save to Picture File"};
constexpr MenuPath kCapture = {"File", "Screen Capture"};
constexpr MenuPath kClipboard = {"File", "Copy to Clipboard"};
constexpr MenuPath kEdit = {"Edit"};
constexpr MenuPath kPlot = {"Plot"};
constexpr MenuPath kHistogram = {"Plot", "Histogram"};
constexpr MenuPath kTraces = {"Traces"};
constexpr MenuPath kHistory = {"Traces", "History"};
constexpr MenuPath kAxis = {"Axis"};
constexpr MenuPath kFormat = {"Format"};
constexpr MenuPath kView = {"View"};
constexpr MenuPath kScroll = {"View", "Scroll"};
constexpr MenuPath kDisplay = {"View", "Display Mode"};
constexpr MenuPath kTransform = {"Transform"};
constexpr MenuPath kCursors = {"Cursors"};
constexpr MenuPath kTools = {"Tools"};
constexpr MenuPath kMeasure = {"Tools", "Measure spec"};
constexpr MenuPath kAudio = {"Tools", "Play Audio"};
constexpr MenuPath kHelp = {"Help"};

constexpr std::string_view kMenus[] = {"File", "Edit",      "Plot",    "Traces", "Axis", "Format",
                                       "View", "Transform", "Cursors", "Tools",  "Help"};

constexpr ViewerCommand kCommands[] = {
    row(CMD_OPEN, kFile, "Open", "Ctrl+O", "Opens a simulation data file."),
    row(CMD_RELOAD, kFile, "Reload", "F5",
        "Reads the data file again and shows the new data with the same traces, axes and cursors."),
    row(CMD_SAVE_TEXT_HEADERS, kTextExport, "With Info Headers", "",
        "Saves the plotted traces as a text table with information headers.", K::kAction, 0),
    row(CMD_SAVE_TEXT_DATA_ONLY, kTextExport, "Data Only", "",
        "Saves the plotted traces as a bare text table.", K::kAction, 1),
    row(CMD_SAVE_TEXT_SPICE_INC, kTextExport, "SPICE .INC Format", "",
        "Saves the plotted traces as piecewise-linear sources for a SPICE include file.", K::kAction, 2),
    row(CMD_SAVE_WAV, kSaveAs, "Audio Wave File (.wav)", "", "Saves a trace as an audio wave file."),
    row(CMD_SAVE_AS_WMF, kSaveAs, ".wmf", "", "Saves the graph as a Windows metafile picture."),
    row(CMD_SAVE_AS_EMF, kSaveAs, ".emf", "", "Saves the graph as an enhanced metafile picture."),
    row(CMD_PICTURE_WMF, kPicture, ".wmf", "", "Saves the graph as a Windows metafile picture."),
    row(CMD_PICTURE_EMF, kPicture, ".emf", "", "Saves the graph as an enhanced metafile picture."),
    row(CMD_PICTURE_BMP, kPicture, ".bmp", "", "Saves the graph as a bitmap picture."),
    row(CMD_PICTURE_PNG, kPicture, ".png", "", "Saves the graph as a compressed PNG picture."),
    row(CMD_CAPTURE_BMP, kCapture, ".bmp", "",
        "Saves the window as shown on the screen as a bitmap picture."),
    row(CMD_CAPTURE_PNG, kCapture, ".png", "", "Saves the window as shown on the screen as a PNG picture."),
    row(CMD_COPY_GRAPH, kClipboard, "Graph", "", "Copies the graph to the clipboard as a picture."),
    row(CMD_COPY_SCREEN, kClipboard, "Screen Bitmap", "",
        "Copies the window as shown on the screen to the clipboard."),
    row(CMD_PAGE_SETUP, kFile, "Page Setup/Print Options", "", "Sets the page margins and printing options."),
    row(CMD_PRINT, kFile, "Print", "Ctrl+P", "Prints the graph."),
    row(CMD_PRINTER_SETUP, kFile, "Printer Setup", "", "Chooses and sets up the printer."),
    row(CMD_SAVE_AND_EXIT, kFile, "Save & Exit", "Alt+X",
        "Saves the trace history and the current format as the last session, then quits."),
    row(CMD_QUIT, kFile, "Quit", "Ctrl+W", "Quits the viewer."),
    row(CMD_RECENT_FILE1, kFile, "Recent File 1", "", "Opens this recently used data file.", K::kRecentFile,
        1),
    row(CMD_RECENT_FILE1 + 1, kFile, "Recent File 2", "", "Opens this recently used data file.",
        K::kRecentFile, 2),
    row(CMD_RECENT_FILE1 + 2, kFile, "Recent File 3", "", "Opens this recently used data file.",
        K::kRecentFile, 3),
    row(CMD_RECENT_FILE1 + 3, kFile, "Recent File 4", "", "Opens this recently used data file.",
        K::kRecentFile, 4),
    row(CMD_RECENT_FILE1 + 4, kFile, "Recent File 5", "", "Opens this recently used data file.",
        K::kRecentFile, 5),

    row(CMD_TITLES, kEdit, "Titles and Captions", "Ctrl+L", "Edits the graph's titles and axis captions."),
    row(CMD_ADD_LABEL, kEdit, "Add Label", "", "Click on the graph to place a new label.", K::kToggle,
        POINTER_ADD_LABEL),
    row(CMD_DELETE_LABEL, kEdit, "Del Label", "", "Click on a label to delete it.", K::kToggle,
        POINTER_DELETE_LABEL),
    row(CMD_MOVE_LABEL, kEdit, "Move Label", "", "Drag a label to move it.", K::kToggle, POINTER_MOVE_LABEL),

    row(CMD_AUTOPLOT, kPlot, "Autoplot", "F2", "Plots the traces the data file asks for."),
    row(CMD_PROBE, kPlot, "Probe", "F3", "Chooses the variables to plot."),
    row(CMD_ADD_DELETE_PLOTS, kPlot, "Add/Delete Plots", "F4", "Adds or deletes stacked Y plots."),
    row(CMD_REDRAW, kPlot, "Redraw", "", "Draws the graph again."),
    row(CMD_HISTOGRAM_NEW, kHistogram, "New Plot", "", "Plots a histogram of a measurement over the runs."),
    row(CMD_HISTOGRAM_GAUSSIAN, kHistogram, "Fit Gaussian", "", "Fits a Gaussian curve to the histogram."),
    row(CMD_HISTOGRAM_YIELD, kHistogram, "Yield", "", "Shows the share of runs within limits."),
    row(CMD_HISTOGRAM_OPTIONS, kHistogram, "Options", "", "Sets the histogram's bins and limits."),
    row(CMD_SMITH_CHART, kPlot, "Smith Chart", "", "Shows the traces on a Smith chart."),
    row(CMD_POLAR_CHART, kPlot, "Polar Chart", "", "Shows the traces on a polar chart."),

    row(CMD_TRACE_ADD, kTraces, "Add", "Ins", "Adds traces or expressions to the graph."),
    row(CMD_TRACE_MOVE_DELETE, kTraces, "Move/Delete", "Del", "Moves traces between plots or deletes them."),
    row(CMD_TRACE_OPTIONS, kTraces, "Options", "Ctrl+T", "Sets the colour, symbol and line of each trace."),
    row(CMD_TRACE_LABEL, kTraces, "Label", "", "Shows or hides the trace labels.", K::kToggle),
    row(CMD_HISTORY_ADD, kHistory, "Add history traces", "Ctrl+H", "Adds traces kept from earlier runs."),
    row(CMD_HISTORY_SAVE, kHistory, "Save", "", "Keeps the current traces in the trace history."),
    row(CMD_HISTORY_OPTIONS, kHistory, "Options", "", "Sets how the trace history is kept."),

    row(CMD_AXIS_LIMITS, kAxis, "Limits", "", "Sets the limits and tick spacing of the axes."),
    row(CMD_AXIS_OPTIONS, kAxis, "Options", "", "Sets the scale, labels and units of the axes."),
    row(CMD_AXIS_X_VARIABLE, kAxis, "X Variable", "", "Chooses the variable or expression of the X axis."),

    row(CMD_FORMAT_OPTIONS, kFormat, "Options", "Alt+O", "Sets the grid, plot area and plotting options."),
    row(CMD_FORMAT_MONTE_CARLO, kFormat, "Monte Carlo Format", "",
        "Sets how the runs of a Monte Carlo analysis are shown."),
    row(CMD_FORMAT_RECALL, kFormat, "Recall", "Ctrl+R", "Recalls a saved plot format."),
    row(CMD_FORMAT_SAVE_DELETE, kFormat, "Save/Delete", "Ctrl+S",
        "Saves the current plot format or deletes a saved one."),
    row(CMD_FORMAT_AUTO_RECALL, kFormat, "Auto Recall Last", "",
        "Recalls the last session's format when a data file is opened.", K::kToggle),

    row(CMD_ZOOM_AREA, kView, "Zoom Area", "+", "Drag over the graph to zoom into an area."),
    row(CMD_ZOOM_CANCEL, kView, "Zoom Cancel", "-", "Returns to the graph before zooming."),
    row(CMD_SCROLL_LEFT, kScroll, "Left", "Ctrl+Left", "Scrolls the graph to the left.", K::kAction, 1),
    row(CMD_SCROLL_RIGHT, kScroll, "Right", "Ctrl+Right", "Scrolls the graph to the right.", K::kAction, 2),
    row(CMD_SCROLL_START_X, kScroll, "Start X Data", "Ctrl+Home", "Scrolls to the start of the X data.",
        K::kAction, 3),
    row(CMD_SCROLL_END_X, kScroll, "End X Data", "Ctrl+End", "Scrolls to the end of the X data.", K::kAction,
        4),
    row(CMD_SCROLL_UP, kScroll, "Up", "Ctrl+Up", "Scrolls the plot up.", K::kAction, 5),
    row(CMD_SCROLL_DOWN, kScroll, "Down", "Ctrl+Down", "Scrolls the plot down.", K::kAction, 6),
    row(CMD_SCROLL_PREVIOUS_PLOT, kScroll, "Previous Plot", "Ctrl+PgUp", "Shows the previous plot.",
        K::kAction, 7),
    row(CMD_SCROLL_NEXT_PLOT, kScroll, "Next Plot", "Ctrl+PgDown", "Shows the next plot.", K::kAction, 8),
    row(CMD_CHOOSE_FONT, kView, "Choose Font", "", "Chooses the font of the graph's texts."),
    row(CMD_DEFAULT_FONT, kView, "Default Font", "", "Returns the graph's texts to the built-in font."),
    row(CMD_TRANSPARENT_LABELS, kView, "Transparent Labeling", "", "Draws labels without a background.",
        K::kToggle),
    row(CMD_DISPLAY_BLACK, kDisplay, "Black background", "", "Draws the graph on a black background.",
        K::kChoice, DISPLAY_MODE_BLACK),
    row(CMD_DISPLAY_WHITE, kDisplay, "White background", "", "Draws the graph on a white background.",
        K::kChoice, DISPLAY_MODE_WHITE),
    row(CMD_DISPLAY_MONOCHROME, kDisplay, "Monochrome", "", "Draws the graph in black and white.", K::kChoice,
        DISPLAY_MODE_MONOCHROME),
    row(CMD_DISPLAY_FILE_COLOUR, kDisplay, "Graph file color format", "",
        "Shows the graph as it is written to a colour picture file.", K::kChoice, DISPLAY_MODE_FILE_COLOUR),
    row(CMD_DISPLAY_FILE_MONO, kDisplay, "Graph file mono format", "",
        "Shows the graph as it is written to a black-and-white picture file.", K::kChoice,
        DISPLAY_MODE_FILE_MONO),
    row(CMD_VIEW_STATUS, kView, "Status", "", "Shows the data file, its analyses and the memory in use."),
    row(CMD_BROWSE_OUTPUT, kView, "Browse Output File", "",
        "Opens the simulation output file in the browser."),
    also(CMD_REDRAW, kView, "Refresh", "Draws the graph again."),

    row(CMD_UNDO_TRANSFORM, kTransform, "Undo Transform", "Alt+U",
        "Returns to the data before the last transform."),
    row(CMD_FFT, kTransform, "FFT", "", "Shows the spectrum of the traces; again, the traces themselves.",
        K::kToggle),
    row(CMD_EYE_DISPLAY, kTransform, "Eye Display", "",
        "Overlays the traces period by period as an eye diagram."),

    row(CMD_NEXT_CURSOR, kCursors, "Select/show Next Cursor", "Space",
        "Switches between cursor 1 and cursor 2."),
    row(CMD_CURSOR1, kCursors, "Cursor 1 Show/select", "Alt+1", "Shows or hides cursor 1.", K::kToggle, 1),
    row(CMD_CURSOR2, kCursors, "Cursor 2 Show/select", "Alt+2", "Shows or hides cursor 2.", K::kToggle, 2),
    row(CMD_CURSORS_CLEAR, kCursors, "Clear", "", "Removes both cursors."),
    row(CMD_CURSOR_SHAPE, kCursors, "Shape", "", "Sets the shape of each cursor."),
    row(CMD_CURSOR_POSITION, kCursors, "Position", "",
        "Places the active cursor at a value or feature of its trace."),
    row(CMD_READOUT_X_DIFFERENCE, kCursors, "X2 - X1 Delta", "F6", "Shows the X difference of the cursors.",
        K::kToggle),
    row(CMD_READOUT_Y_DIFFERENCE, kCursors, "Y2 - Y1 Delta", "F7", "Shows the Y difference of the cursors.",
        K::kToggle),
    row(CMD_READOUT_X_RATIO, kCursors, "X2 / X1 Ratio", "Shift+F6", "Shows the X ratio of the cursors.",
        K::kToggle),
    row(CMD_READOUT_Y_RATIO, kCursors, "Y2 / Y1 Ratio", "Shift+F7", "Shows the Y ratio of the cursors.",
        K::kToggle),
    row(CMD_READOUT_SLOPE, kCursors, "Slope", "", "Shows the slope between the cursors.", K::kToggle),
    row(CMD_CURSOR_NEXT_TRACE, kCursors, "Next Trace", "Down", "Moves the active cursor to the next trace."),
    row(CMD_CURSOR_PREVIOUS_TRACE, kCursors, "Previous Trace", "Up",
        "Moves the active cursor to the previous trace."),

    row(CMD_MEASURE_VALUE, kMeasure, "Value", "", "Measures a trace's value at a point.", K::kAction,
        MEASURE_VALUE),
    row(CMD_MEASURE_DELAY, kMeasure, "Delay", "", "Measures the delay between two crossings.", K::kAction,
        MEASURE_DELAY),
    row(CMD_MEASURE_DELTA, kMeasure, "Delta", "", "Measures the change of a trace between two points.",
        K::kAction, MEASURE_DELTA),
    row(CMD_MEASURE_FREQUENCY, kMeasure, "Frequency", "", "Measures the frequency of a trace.", K::kAction,
        MEASURE_FREQ),
    row(CMD_MEASURE_MAXIMUM, kMeasure, "Maximum", "", "Measures a trace's maximum.", K::kAction, MEASURE_MAX),
    row(CMD_MEASURE_MINIMUM, kMeasure, "Minimum", "", "Measures a trace's minimum.", K::kAction, MEASURE_MIN),
    row(CMD_MEASURE_WIDTH, kMeasure, "Width", "", "Measures the width of a pulse.", K::kAction,
        MEASURE_WIDTH),
    row(CMD_MEASURE_X_AT_MAXIMUM, kMeasure, "X at Maximum", "", "Measures where a trace is largest.",
        K::kAction, MEASURE_XMAX),
    row(CMD_MEASURE_X_AT_MINIMUM, kMeasure, "X at Minimum", "", "Measures where a trace is smallest.",
        K::kAction, MEASURE_XMIN),
    row(CMD_TABULATE, kTools, "Tabulate", "", "Lists the values of variables as a table."),
    row(CMD_RUN_SCRIPT, kTools, "Run Script File", "",
        "Runs a script of plotting and measurement statements."),
    row(CMD_PLAY_WAVEFILE, kAudio, "Wavefile", "", "Plays an audio wave file."),
    row(CMD_PLAY_TRACE, kAudio, "Plot Trace", "", "Plays a trace as sound."),
    row(CMD_PLAY_STOP, kAudio, "Stop", "", "Stops playing."),
    // Repeat is a state of the player, kept until it is turned off.
    row(CMD_PLAY_REPEAT, kAudio, "Repeat", "", "Plays the sound over and over.", K::kToggle),
    row(CMD_AUTO_CLOSE, kTools, "Auto Close Option", "",
        "Closes the viewer when the schematic editor starts a new simulation.", K::kToggle),
    row(CMD_CALCULATOR, kTools, "Calculator", "", "Starts the calculator."),

    row(CMD_HELP_CONTENTS, kHelp, "Contents", "F1", "Opens the viewer's help."),
    row(CMD_HELP_INDEX, kHelp, "Index", "", "Opens the index of the help."),
    row(CMD_ABOUT, kHelp, "About Tracery", "", "Version, licence and the libraries the viewer uses."),
};

}  // namespace

PointerMode toggle_pointer_mode(PointerMode current, PointerMode chosen) {
  return current == chosen ? POINTER_NORMAL : chosen;
}

std::span<const ViewerCommand> viewer_commands() {
  return kCommands;
}

std::span<const std::string_view> viewer_menus() {
  return kMenus;
}

const ViewerCommand* find_viewer_command(int id) {
  const auto it = std::find_if(std::begin(kCommands), std::end(kCommands),
                               [id](const ViewerCommand& c) { return c.id == id; });
  return it == std::end(kCommands) ? nullptr : &*it;
}

}  // namespace zephyrim
