#pragma once
// The dialogs of the Plot, Traces, Axis and Edit menus that reshape the graph:
// the number of plots, moving and deleting traces, trace options, axis limits,
// axis options, the X variable, and the titles and captions. Each dialog works
// on a copy of what it edits and hands the result back on OK; the window
// applies it to the graph. Every input widget has an objectName (listed with
// its dialog) so that tests and scripts can find it.
#include <QDialog>
#include <QString>
#include <QStringList>
#include <array>
#include <string>
#include <vector>

#include "viewer/plot/plot_model.h"
#include "viewer/plot/tick_labels.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QRadioButton;
class QSpinBox;

namespace zephyrim {

class Notify;

// One trace as the trace dialogs list it.
struct TraceEntry {
  QString name;
  int plot = 0;  // 0..7
  TraceOptions options{};
};

// The list text of a trace: its name and the plot it is on.
QString trace_entry_text(const TraceEntry& entry);

// Plot > Add/Delete Plots: the number of stacked plots, 1..8.
// Widgets: "plot_count" (QSpinBox).
class PlotCountDialog : public QDialog {
  Q_OBJECT
 public:
  PlotCountDialog(int plots, QWidget* parent = nullptr);
  int plots() const;

 private:
  QSpinBox* count_;
};

// Traces > Move/Delete: the chosen traces go to another plot (OK) or are
// deleted (the Delete button).
// Widgets: "traces" (QListWidget, one item per trace in table order),
// "move_to" ("No change", "Plot 1" .. "Plot 8"), "delete" (QPushButton).
class TraceMoveDialog : public QDialog {
  Q_OBJECT
 public:
  TraceMoveDialog(const std::vector<TraceEntry>& traces, QWidget* parent = nullptr);
  std::vector<int> chosen() const;  // indices into the traces given, ascending
  int move_to() const;              // 0: no change; k: plot k (1..8)
  bool remove() const { return remove_; }

 private:
  QListWidget* list_;
  QComboBox* move_to_;
  bool remove_ = false;
};

// Traces > Options: colour, symbol, display, line type and pen width. A choice
// made while several traces are chosen goes to all of them; choosing traces
// shows the options of the first.
// Widgets: "traces" (QListWidget), "colour", "symbol", "display", "line_type",
// "pen_width" (QComboBox, in the order of the option lists).
class TraceOptionsDialog : public QDialog {
  Q_OBJECT
 public:
  TraceOptionsDialog(std::vector<TraceEntry> traces, QWidget* parent = nullptr);
  // The traces with the options as edited.
  const std::vector<TraceEntry>& traces() const { return traces_; }

 private:
  void show_options();
  void set_option(int TraceOptions::*member, int value);

  std::vector<TraceEntry> traces_;
  QListWidget* list_;
  std::array<QComboBox*, 5> combos_{};
  bool loading_ = false;
};

// One axis in the limits dialog.
struct AxisLimitsState {
  AxisScale axis{};     // as it stands (log10 values on a log axis)
  bool manual = false;  // the limits or the range were set by the user
};

// What the limits dialog gives for one axis.
struct AxisLimitsChoice {
  bool manual = false;
  // The values to apply, in the user's units: low, high and spacing of a manual
  // row as they stand in the fields, the data range only when it was edited.
  LimitsRow row = empty_limits_row();
};

// Axis > Limits ("Set Axis Limits"): row 0 "X bottom", row k "Yk Axis:" for
// the plots shown. Typing into a row makes it manual; its "Auto" box makes it
// automatic again. OK validates every manual row and, on a fault, keeps the
// dialog open with the message shown and the focus on the field.
// Widgets per row, with prefix "x" or "y1".."y8": <p>_auto (QCheckBox),
// <p>_data_min, <p>_data_max, <p>_low, <p>_high, <p>_spacing (QLineEdit;
// numbers with the usual scale suffixes; spacing is empty on a log axis).
class AxisLimitsDialog : public QDialog {
  Q_OBJECT
 public:
  AxisLimitsDialog(const std::vector<AxisLimitsState>& axes, Notify& notify, QWidget* parent = nullptr);
  void accept() override;
  const std::vector<AxisLimitsChoice>& choices() const { return choices_; }

 private:
  struct Row {
    QCheckBox* automatic;
    std::array<QLineEdit*, 5> fields;  // data min, data max, low, high, spacing
    bool log;
  };
  Notify& notify_;
  std::vector<Row> rows_;
  std::vector<AxisLimitsChoice> choices_;
};

// One axis in the options dialog.
struct AxisOptionsState {
  QString name;  // "X bottom", "Y plot 1", ...
  bool log = false;
  TickStyle ticks{};
};

// Axis > Options ("Set Axis Options"): for the axis chosen, Linear or Log, the
// unit mode Auto / User / None with the user's unit name, and where the scale
// factor goes. Each axis keeps its own settings while another is shown.
// Widgets: "axis" (QComboBox of the axes), "linear", "log", "unit_auto",
// "unit_user", "unit_none", "append_to_tick", "on_axis_caption" (QRadioButton),
// "unit_name" (QLineEdit; editable in User mode).
class AxisOptionsDialog : public QDialog {
  Q_OBJECT
 public:
  AxisOptionsDialog(std::vector<AxisOptionsState> axes, QWidget* parent = nullptr);
  const std::vector<AxisOptionsState>& axes() const { return axes_; }

 private:
  void show_axis();
  void store_axis();

  std::vector<AxisOptionsState> axes_;
  int shown_ = 0;
  QComboBox* axis_;
  QRadioButton *linear_, *log_;
  QRadioButton *unit_auto_, *unit_user_, *unit_none_;
  QRadioButton *append_, *caption_;
  QLineEdit* unit_name_;
  bool loading_ = false;
};

// Axis > X Variable ("X Axis Variable"): a vector from the list or an
// expression typed; an empty text gives every trace its own X vector back.
// Widgets: "x_variable" (editable QComboBox).
class XVariableDialog : public QDialog {
  Q_OBJECT
 public:
  XVariableDialog(const QStringList& names, const XVariable& current, QWidget* parent = nullptr);
  // A listed name (any case) is a vector; other text an expression, braces removed.
  XVariable chosen() const;

 private:
  QStringList names_;
  QComboBox* variable_;
};

// The texts of Edit > Titles and Captions.
struct GraphCaptions {
  GraphHeader header;
  std::string x_label;
  std::vector<std::string> y_labels;  // one per plot shown
};

// Edit > Titles and Captions (LABELS_EDIT_DLG): the header lines and the axis
// captions. Texts are Latin-1, as the graph keeps them.
// Widgets: "file", "circuit_title", "subtitle", "date", "time", "temperature",
// "x_label", "y_label_1" .. "y_label_8" (QLineEdit).
class TitlesDialog : public QDialog {
  Q_OBJECT
 public:
  TitlesDialog(const GraphCaptions& captions, QWidget* parent = nullptr);
  GraphCaptions captions() const;

 private:
  std::array<QLineEdit*, 7> header_{};  // file .. temperature, then the X caption
  std::vector<QLineEdit*> y_labels_;
};

}  // namespace zephyrim
