#pragma once
// The simulation setup dialogs: the main dialog (SIMSET_MAIN_DLG) with one check
// box per group, and one dialog per group. The main dialog edits a copy of the
// setup and hands it back only on OK; a group dialog edits the main dialog's
// copy and changes it only on OK. Every input widget is named after the member
// it edits ("tran_stop"; elements of arrays as "disto_reals_0",
// "print_groups_2_variables"), every dialog after its resource.
#include <QDialog>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/notify.h"
#include "simulation/sim_setup.h"

class QCheckBox;
class QComboBox;
class QFormLayout;
class QLayout;
class QLineEdit;
class QListWidget;
class QRadioButton;
class QSpinBox;
class QVBoxLayout;

namespace zephyrim {

// Menu Simulation > Setup: shows the main dialog on setup. Returns true when it
// was accepted; setup is then the edited copy with member 0 set by
// setup_mark_enabled. On Cancel setup is left as it was.
bool edit_simulation_setup(SimulationSetup& setup, Notify& notify, QWidget* parent);

// The groups, in the order of the main dialog's rows.
enum class SetupGroup { op, dc, tran, ac, temp, step, stats, save, print, autoplot };
inline constexpr int kSetupGroupCount = 10;

// What every group dialog shares: it edits a copy of the target setup through
// its fields and, on OK, reads them all (a refused number keeps the dialog open
// with its field focused) before copying the result back. A field the user did
// not change leaves its member exactly as it was.
class SetupGroupDialog : public QDialog {
  Q_OBJECT
 public:
  SetupGroupDialog(SimulationSetup& target, Notify& notify, const char* resource, const QString& caption,
                   QWidget* parent);
  void accept() override;
  // The working copy, as the fields last stored it.
  const SimulationSetup& edited() const { return edit_; }

 protected:
  // Called after every field was read into edit_; false keeps the dialog open.
  virtual bool check() { return true; }

  // Fields bound to members of edit_, each added to the current form under its
  // label (see auto_place_); the label also names the field in a refusal.
  QLineEdit* real(const char* name, const QString& label, double& member);
  QLineEdit* integer(const char* name, const QString& label, int16_t& member, int16_t empty_value = 0);
  QLineEdit* text(const char* name, const QString& label, FixedText<32>& member);
  QLineEdit* texts(const char* name, const QString& label, std::vector<std::string>& member);
  QLineEdit* reals(const char* name, const QString& label, std::vector<double>& member);
  // A switch; shown on when is_on(member) (by default setup_switch_on), stored
  // as on_value or 0 when toggled.
  QCheckBox* flag(const char* name, const QString& label, int16_t& member, int16_t on_value = 1,
                  bool (*is_on)(int16_t) = nullptr);
  // Choices stored as first + index; a value outside them shows the first.
  QComboBox* choice(const char* name, const QString& label, int16_t& member, const QStringList& items,
                    int16_t first = 0);

  // Starts a titled box whose form the following fields go into; beside puts
  // it to the right of the previous box, else it starts a new row.
  void section(const QString& title, bool beside = false);
  // Registers a field read on OK; read returns false after reporting a refused text.
  void add_field(QWidget* w, std::function<bool()> read);
  // Ends the layout with OK and Cancel.
  void finish();

  QFormLayout* form() const { return form_; }
  QVBoxLayout* body() const { return body_; }
  Notify& notify() const { return notify_; }

  SimulationSetup edit_;
  // Off: the helpers leave placing their widgets to the caller.
  bool auto_place_ = true;

 private:
  SimulationSetup& target_;
  Notify& notify_;
  QVBoxLayout* body_;
  QLayout* row_ = nullptr;
  QFormLayout* form_;
  struct Field {
    QWidget* widget;
    std::function<bool()> read;  // false after reporting a refused text
  };
  std::vector<Field> fields_;
};

// SIMSET_OP_DLG: .OP, transfer function, sensitivity.
class OpSetupDialog : public SetupGroupDialog {
  Q_OBJECT
 public:
  OpSetupDialog(SimulationSetup& target, Notify& notify, QWidget* parent = nullptr);
};

// SIMSET_DC_DLG: the sweep and the nested sweep.
class DcSetupDialog : public SetupGroupDialog {
  Q_OBJECT
 public:
  DcSetupDialog(SimulationSetup& target, Notify& notify, QWidget* parent = nullptr);
};

// SIMSET_TRAN_DLG: transient analysis and Fourier.
class TranSetupDialog : public SetupGroupDialog {
  Q_OBJECT
 public:
  TranSetupDialog(SimulationSetup& target, Notify& notify, QWidget* parent = nullptr);
};

// SIMSET_AC_DLG: AC sweep, noise, distortion.
class AcSetupDialog : public SetupGroupDialog {
  Q_OBJECT
 public:
  AcSetupDialog(SimulationSetup& target, Notify& notify, QWidget* parent = nullptr);
};

// SIMSET_TEMP_DLG: the list of temperatures.
class TempSetupDialog : public SetupGroupDialog {
  Q_OBJECT
 public:
  TempSetupDialog(SimulationSetup& target, Notify& notify, QWidget* parent = nullptr);
};

// SIMSET_STEP_DLG: the parametric step. OK also runs step_check and focuses the
// field it names.
class StepSetupDialog : public SetupGroupDialog {
  Q_OBJECT
 public:
  StepSetupDialog(SimulationSetup& target, Notify& notify, QWidget* parent = nullptr);

 protected:
  bool check() override;

 private:
  QRadioButton* type_[4];  // LIST, LIN, DEC, OCT
  QCheckBox* percent_;
  QCheckBox* parameter_;
  int shown_type_;
  bool shown_parameter_;
  QLineEdit* name_;
  QLineEdit* increment_;
  QLineEdit* points_;
};

// SIMSET_STATS_DLG: Monte Carlo, worst case, statistics file.
class StatsSetupDialog : public SetupGroupDialog {
  Q_OBJECT
 public:
  StatsSetupDialog(SimulationSetup& target, Notify& notify, QWidget* parent = nullptr);
};

// SIMSET_SAVE_DLG: what the data file keeps.
class SaveSetupDialog : public SetupGroupDialog {
  Q_OBJECT
 public:
  SaveSetupDialog(SimulationSetup& target, Notify& notify, QWidget* parent = nullptr);
};

// SIMSET_PRINT_DLG: the five print groups.
class PrintSetupDialog : public SetupGroupDialog {
  Q_OBJECT
 public:
  PrintSetupDialog(SimulationSetup& target, Notify& notify, QWidget* parent = nullptr);
};

// SIMSET_AUTOPLOT_DLG: the plot setups, a list with Add and Remove and the
// fields of the chosen one ("enabled", "plot_type", "analysis", "number",
// "axis_scale", "x_expression", "traces"), which store into the working copy
// as they change.
class AutoplotSetupDialog : public SetupGroupDialog {
  Q_OBJECT
 public:
  AutoplotSetupDialog(SimulationSetup& target, Notify& notify, QWidget* parent = nullptr);
  // The Add button: a new enabled plot setup after the others, made current.
  void add_plot();
  // The Remove button: drops the current plot setup.
  void remove_plot();
  QListWidget* list() const { return list_; }

 private:
  void show_plot(int row);
  void store();
  QString item_text(const PlotSetup& p) const;

  QListWidget* list_;
  QWidget* panel_;
  QCheckBox* enabled_;
  QComboBox* type_;
  QComboBox* analysis_;
  QSpinBox* number_;
  QComboBox* scale_;
  QLineEdit* x_;
  QLineEdit* traces_;
  bool loading_ = false;
};

// Makes the group's dialog on setup (not shown).
std::unique_ptr<SetupGroupDialog> make_setup_group_dialog(SetupGroup group, SimulationSetup& setup,
                                                          Notify& notify, QWidget* parent);

// SIMSET_MAIN_DLG: one check box per group switch (named after it: "op_group",
// "dc", "tran", "ac", "temp", "step", "stats", "save", "print", "autoplot",
// "alternate") and a button per group ("op_group_setup", ...) that opens its
// dialog on the copy.
class SimulationSetupDialog : public QDialog {
  Q_OBJECT
 public:
  SimulationSetupDialog(SimulationSetup& setup, Notify& notify, QWidget* parent = nullptr);
  void accept() override;
  // Shows the group's dialog modally on the copy; true when it was accepted.
  bool open_group(SetupGroup group);
  // The copy being edited.
  SimulationSetup& copy() { return copy_; }

 private:
  SimulationSetup& setup_;
  Notify& notify_;
  SimulationSetup copy_;
};

}  // namespace zephyrim
