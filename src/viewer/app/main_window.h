#pragma once
// TRC32's main window: the menus of the command table, the plot view, the
// cursor read-out, the status pop-up over long work, and the session it shows
// (data store, script statements, graph, cursors, configuration).
#include <QMainWindow>
#include <functional>
#include <map>
#include <memory>

#include "platform/qt/picture_options.h"
#include "platform/qt/qt_notify.h"
#include "viewer/calc/data_open.h"
#include "viewer/calc/script.h"
#include "viewer/data/data_store.h"
#include "viewer/plot/cursors.h"
#include "viewer/plot/fft_display.h"
#include "viewer/plot/plot_model.h"
#include "viewer/plot/special_charts.h"
#include "viewer/plot/trace_selection.h"
#include "viewer/session/command_line.h"
#include "viewer/session/viewer_config.h"

class QAction;
class QPrinter;
class QLabel;
class QDockWidget;

namespace zephyrim {

class PlotView;
class SoundPlayer;
class WavPlayback;

// The page margins of printing, in millimetres.
struct PageMargins {
  double left = 15, right = 15, top = 15, bottom = 15;
};
class WindowProgress;
class StoreNotify;

// The display options a new graph starts with, as the configuration keeps them.
GraphOptions graph_options_of(const ViewerConfig& config);

class ViewerMainWindow : public QMainWindow {
  Q_OBJECT
 public:
  // config: the settings read at start (its ini_path is where they go back).
  explicit ViewerMainWindow(ViewerConfig config = {}, QWidget* parent = nullptr);
  ~ViewerMainWindow() override;

  Notify& notify() { return notify_; }
  DataStore& store() { return *store_; }
  Graph& graph() { return graph_; }
  CursorPair& cursors() { return cursors_; }
  PlotView* plot_view() { return view_; }
  const ViewerConfig& config() const { return config_; }
  // The action of a command identifier; null when the table has none.
  QAction* action(int id) const;

  // Opens a data file as the Open command does once the file is chosen, and
  // shows its autoplot, or asks what to plot when it has none. Returns whether
  // the file gave data.
  bool open_file(const QString& path);
  // Runs a script file as Run Script File does once the file is chosen.
  int run_script(const QString& path);
  // Writes the graph as a picture: .png, .bmp, .svg or .pdf by the extension.
  bool save_picture(const QString& path, const PictureOptions& options);

  // Closes when a new simulation starts (AutoCloseOption), so that the engine
  // can write the files anew.
  bool close_on_new_simulation() const { return config_.auto_close_option != 0; }

  // Reads the data file shown again after it was rewritten in place (a tuner's
  // run, File > Reload): the same traces, plots, axis settings, zoom and
  // cursors on the new data, the listing's #MEASURE results computed anew.
  // Nothing is asked; a file that cannot be read leaves the graph as it was
  // and says why in the status bar. Returns whether the new data is shown.
  bool reload_in_place();
  // Whether ZS_DATAUPDATE with this tag names the data shown: the tag of the
  // file opened, or of the listing FILE.OUT beside it (a viewer on the
  // engine's FILE.SAV follows the runs of FILE.OUT too).
  bool shows_data_file(long tag) const;

 protected:
  void closeEvent(QCloseEvent* e) override;

 private:
  // A new run closes the window even while it asks something: the open
  // questions are dismissed first, and any the dismissal leads to as well.
  void close_for_new_run(int tries = 20);
  void build_menus();
  // ZS_DATAUPDATE for the data shown: one reload for any number of messages
  // that arrive while one runs, and none while a dialog is open over the graph.
  void data_updated();
  void build_toolbar();
  void add_handlers();
  // The handlers of each group of commands, one file each.
  void add_plot_handlers();       // plots, traces, axes, titles and captions
  void add_tool_handlers();       // measure specs, cursor dialogs, status, analysis choice
  void add_output_handlers();     // printing, clipboard, screen capture, scrolling, programs
  void add_format_handlers();     // format options, format and history files
  void add_transform_handlers();  // FFT, Eye Display, Smith and Polar Chart, Undo Transform
  // Forgets the transforms' graphs: the graph shown now is a new one.
  void forget_transforms();
  void add_histogram_handlers();  // Histogram New Plot, Fit Gaussian, Yield, Options
  void add_tabulate_handlers();   // Tabulate
  void handle(int id, std::function<void()> work);
  void busy(const QString& text, const std::function<void()>& work);
  // Shows the autoplot of the analysis chosen (asked when ask and the data
  // holds several); false when the user cancelled the choice.
  bool show_graph(bool ask);
  // The header texts above the plots: file and revision, subtitle, and the data set's own.
  void fill_header();
  // Selects traces into the graph (Probe, Add Traces) and shows them.
  void add_traces(std::vector<TraceRequest>& requests);
  void update_readout();
  void update_actions();
  void update_recent_files();
  QString choose_save_path(const QString& caption, const QString& filter, const QString& extension);
  void export_text(int mode);
  void export_wav();
  void toggle_cursor(int which);
  void toggle_readout(bool ReadoutFlags::*flag);
  // The picture file's bytes of the graph: "png", "bmp", "svg" or "pdf".
  QByteArray picture_bytes(const QString& format, const PictureOptions& options);
  QPrinter& printer();
  bool print_graph(QPrinter& printer);
  void copy_to_clipboard(bool screen);
  // Starts a program from its argument vector in the data folder; false after
  // "Run %s failed; error code %d".
  bool start_program(const QString& program, const QStringList& arguments);
  // Format and history files of the data shown (the project's slots).
  bool save_format(int slot, const std::string& description);
  bool recall_format(const std::string& path);
  void save_history();
  void add_history_traces();
  // Takes the old runs' traces off the graph and empties their class.
  void drop_history_traces();

  QtNotify notify_;
  ViewerConfig config_;
  std::unique_ptr<WindowProgress> progress_;
  std::unique_ptr<StoreNotify> store_notify_;  // notify_, or kept quiet during a reload
  std::unique_ptr<DataStore> store_;
  ScriptState script_;
  DataOpenSession session_;
  Graph graph_;
  FftDisplay fft_;               // the transient graph behind an FFT display
  TransformDisplay transforms_;  // the graphs behind the charts and the eye display
  size_t fft_above_ = 0;         // the transforms that were shown when the FFT display came
  CursorPair cursors_;
  PlotView* view_ = nullptr;
  QLabel* readout_ = nullptr;
  QDockWidget* readout_dock_ = nullptr;
  std::map<int, QAction*> actions_;
  std::map<int, std::function<void()>> handlers_;
  std::unique_ptr<QPrinter> printer_;
  PageMargins margins_;
  PictureOptions bitmap_options_;  // of the last bitmap written, offered again
  std::unique_ptr<SoundPlayer> sound_;
  std::unique_ptr<WavPlayback> playback_;
  bool reload_queued_ = false;  // a reload waits for the event loop
  bool reloading_ = false;
};

}  // namespace zephyrim
