#pragma once
// The Tune panel docked beside the sheet: one slider per tuner (tuner.h). Moving
// a slider or typing a value netlists the schematic with the tuned values into
// the scratch folder BASE.tune/ beside it, runs the engine there and, when the
// run ends well, puts its results in place of BASE.OUT and BASE.SAV and tells
// the viewers (ZS_DATAUPDATE), which reload in place. A newer value stops the
// run going, so the display follows the slider rather than a queue. The
// schematic keeps its values until Apply, an edit that Undo takes back.
#include <QDockWidget>
#include <QElapsedTimer>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "editing/tuner.h"
#include "simulation/sim_setup.h"

class QComboBox;
class QGridLayout;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QSlider;
class QTimer;

namespace zephyrim {

class EditorMainWindow;
class EngineRun;

class TunerPanel : public QDockWidget {
  Q_OBJECT
 public:
  explicit TunerPanel(EditorMainWindow& window);
  ~TunerPanel() override;

  // Simulation > Tune and the part's context menu: shows the panel, with a
  // tuner for the single selected part when it has none yet; with nothing to
  // add, shows or hides the panel.
  void open();
  // After New or Open: the tuners kept beside the new schematic; a run of the
  // old one stops.
  void schematic_replaced();

  const TunerList& tuners() const { return tuners_; }
  // A tuner for a part reference or .PARAM name of the schematic, with a range
  // around its value. False, with the reason in the status line, when there is
  // none such, it is not a number or it has a tuner already.
  bool add_tuner(const std::string& name);
  void remove_tuner(int row);
  // What the slider and the entry do: the tuner takes the value and a run starts.
  void set_value(int row, double value);
  // Stores the tuned values in the schematic, one undo step per page.
  void apply();

  // The row's widgets, for tests; null out of range.
  QSlider* slider(int row) const;
  QLineEdit* value_entry(int row) const;
  QPushButton* add_button() const { return add_; }
  QPushButton* apply_button() const { return apply_; }

  bool run_going() const;
  int runs_started() const { return runs_started_; }
  int runs_finished() const { return runs_finished_; }  // ended well, results in place
  int runs_stopped() const { return runs_stopped_; }    // overtaken by a newer value
  int runs_failed() const { return runs_failed_; }
  // The last message of the panel in the status line.
  const QString& status() const { return status_; }
  // Where the results of the runs are made: BASE.tune/ beside the schematic.
  std::string scratch_folder() const;

  // The folder the engine is looked for first; the program's own by default.
  void set_program_folder(const std::string& folder) { program_folder_ = folder; }
  // Add...: the name chosen among the tunable ones (or typed); absent when cancelled.
  std::function<std::optional<std::string>(const std::vector<std::string>& names)> ask_name;

 private:
  struct Row {
    QSlider* slider;
    QLineEdit* value;
    QLineEdit* minimum;
    QLineEdit* maximum;
    QComboBox* scale;
  };
  void rebuild();
  void show_row(int row);
  void edit_range(int row);
  void add_clicked();
  void save();
  // While a slider moves, the list is written once it rests.
  void save_soon();
  // The netlist of the tuned values: the cached one with the values put in
  // when nothing else changed, else a fresh compile. False after saying why.
  bool write_netlist(const std::string& scratch);
  void say(const QString& text);
  void start_run();
  void run_finished(int exit_code);
  bool place_results();
  void open_viewer_when_none();

  EditorMainWindow& w_;
  TunerList tuners_;
  std::vector<Row> rows_;
  QWidget* rows_widget_ = nullptr;
  QScrollArea* scroll_ = nullptr;
  QGridLayout* grid_ = nullptr;
  QPushButton* add_ = nullptr;
  QPushButton* apply_ = nullptr;
  std::unique_ptr<EngineRun> engine_;
  std::string program_folder_;
  std::string run_schematic_;  // the schematic the run going belongs to
  QString status_;
  int runs_started_ = 0;
  int runs_finished_ = 0;
  int runs_stopped_ = 0;
  int runs_failed_ = 0;
  // A viewer this panel started may take a while to listen: none other for a while.
  QElapsedTimer viewer_started_;
  QTimer* save_timer_ = nullptr;
  std::string save_path_;  // where the waiting list goes, even when another schematic opens meanwhile

  // The last compile's netlist, with stand-ins where the tuned part values go:
  // moving a slider changes nothing else, so it is not compiled again.
  struct NetlistCache {
    const Schematic* schematic = nullptr;
    unsigned revision = 0;
    std::vector<std::string> names;
    SimulationSetup setup;
    std::string user_files;  // the .MIS and .ALT texts
    int simulator_option = 0;
    std::string statistics_file;
    std::string text;
    bool operator==(const NetlistCache& o) const {
      return schematic == o.schematic && revision == o.revision && names == o.names && setup == o.setup &&
             user_files == o.user_files && simulator_option == o.simulator_option &&
             statistics_file == o.statistics_file;
    }
  };
  std::optional<NetlistCache> cache_;
};

// Whether a viewer (trc32) of the user runs on the data file: one listening in
// the broadcast folder whose command line names the file.
bool viewer_open_on(const std::string& data_file);

}  // namespace zephyrim
