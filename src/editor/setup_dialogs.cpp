#include "editor/setup_dialogs.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QVBoxLayout>
#include <limits>

#include "common/text_format.h"

namespace zephyrim {

namespace {

QString q(const std::string& s) {
  return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}
std::string latin(const QString& s) {
  return s.toLatin1().toStdString();
}

// Numbers show in their shortest engineering form; a field the user leaves
// alone is not read back, so no digits are lost to the display.
constexpr int kShownPrecision = -1;

QStringList words(const QString& text, const char* separators) {
  return text.split(QRegularExpression(separators), Qt::SkipEmptyParts);
}

QString joined(const std::vector<std::string>& list) {
  QStringList out;
  for (const std::string& s : list) out << q(s);
  return out.join(' ');
}

std::string refused(const QString& label, const QString& text) {
  return strprintf("Invalid number for %s: \"%s\"", latin(label).c_str(), latin(text).c_str());
}

const QStringList kPrintAnalyses = {"DC", "TRAN", "AC", "NOISE", "DISTO"};
const QStringList kPlotTypes = {"Normal", "Smith chart", "Histogram"};
const QStringList kPlotAnalyses = {"Any", "DC", "TRAN", "AC", "NOISE", "DISTO", "TRAN/ALL"};
const QStringList kPlotScales = {"Auto", "X-log", "Y-log", "Log-log"};

}  // namespace

SetupGroupDialog::SetupGroupDialog(SimulationSetup& target, Notify& notify, const char* resource,
                                   const QString& caption, QWidget* parent)
    : QDialog(parent), edit_(target), target_(target), notify_(notify) {
  setObjectName(resource);
  setWindowTitle(caption);
  body_ = new QVBoxLayout(this);
  form_ = new QFormLayout;
  body_->addLayout(form_);
}

void SetupGroupDialog::accept() {
  for (const Field& f : fields_)
    if (!f.read()) {
      f.widget->setFocus();
      return;
    }
  if (!check()) return;
  target_ = edit_;
  QDialog::accept();
}

void SetupGroupDialog::add_field(QWidget* w, std::function<bool()> read) {
  fields_.push_back({w, std::move(read)});
}

void SetupGroupDialog::section(const QString& title, bool beside) {
  if (!beside || !row_) {
    auto* row = new QHBoxLayout;
    body_->addLayout(row);
    row_ = row;
  }
  auto* box = new QGroupBox(title, this);
  form_ = new QFormLayout(box);
  row_->addWidget(box);
}

void SetupGroupDialog::finish() {
  auto* b = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(b, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(b, &QDialogButtonBox::rejected, this, &QDialog::reject);
  body_->addWidget(b);
}

QLineEdit* SetupGroupDialog::real(const char* name, const QString& label, double& member) {
  auto* e = new QLineEdit(q(num_field_text({0, kShownPrecision, false, member})), this);
  e->setObjectName(name);
  if (auto_place_) form_->addRow(label + ":", e);
  add_field(e, [this, e, label, &member] {
    NumField f{0, kShownPrecision, false, member};
    // Blanks alone are an empty field, not a bad number.
    const QString t = e->text().trimmed();
    if (read_num_field(f, latin(t), e->isModified()) < 0) {
      notify_.error(refused(label, t));
      return false;
    }
    member = f.value;
    return true;
  });
  return e;
}

QLineEdit* SetupGroupDialog::integer(const char* name, const QString& label, int16_t& member,
                                     int16_t empty_value) {
  auto* e = new QLineEdit(QString::number(member), this);
  e->setObjectName(name);
  if (auto_place_) form_->addRow(label + ":", e);
  add_field(e, [this, e, label, &member, empty_value] {
    if (!e->isModified()) return true;
    const QString t = e->text().trimmed();
    if (t.isEmpty()) {
      member = empty_value;
      return true;
    }
    bool ok = false;
    const int v = t.toInt(&ok);
    if (!ok || v < std::numeric_limits<int16_t>::min() || v > std::numeric_limits<int16_t>::max()) {
      notify_.error(refused(label, t));
      return false;
    }
    member = static_cast<int16_t>(v);
    return true;
  });
  return e;
}

QLineEdit* SetupGroupDialog::text(const char* name, const QString& label, FixedText<32>& member) {
  auto* e = new QLineEdit(q(member.str()), this);
  e->setObjectName(name);
  e->setMaxLength(static_cast<int>(FixedText<32>::capacity()));
  if (auto_place_) form_->addRow(label + ":", e);
  add_field(e, [e, &member] {
    if (e->isModified()) member.assign(latin(e->text().trimmed()));
    return true;
  });
  return e;
}

QLineEdit* SetupGroupDialog::texts(const char* name, const QString& label, std::vector<std::string>& member) {
  auto* e = new QLineEdit(joined(member), this);
  e->setObjectName(name);
  e->setToolTip("Separate the entries with blanks");
  if (auto_place_) form_->addRow(label + ":", e);
  // Commas stay: they belong to expressions such as V(1,2).
  add_field(e, [e, &member] {
    if (!e->isModified()) return true;
    member.clear();
    for (const QString& w : words(e->text(), "\\s+")) member.push_back(latin(w));
    return true;
  });
  return e;
}

QLineEdit* SetupGroupDialog::reals(const char* name, const QString& label, std::vector<double>& member) {
  QStringList shown;
  for (double v : member) shown << q(format_eng(v, kShownPrecision));
  auto* e = new QLineEdit(shown.join(' '), this);
  e->setObjectName(name);
  e->setToolTip("Separate the values with blanks or commas");
  if (auto_place_) form_->addRow(label + ":", e);
  add_field(e, [this, e, label, &member] {
    if (!e->isModified()) return true;
    std::vector<double> values;
    for (const QString& w : words(e->text(), "[\\s,]+")) {
      std::string t = latin(w);
      double v = 0;
      // An empty entry ("*") has no place in a list of values.
      if (parse_eng(t, v) < 0 || !has_value(v)) {
        notify_.error(refused(label, w));
        return false;
      }
      values.push_back(v);
    }
    member = std::move(values);
    return true;
  });
  return e;
}

QCheckBox* SetupGroupDialog::flag(const char* name, const QString& label, int16_t& member, int16_t on_value,
                                  bool (*is_on)(int16_t)) {
  auto* c = new QCheckBox(label, this);
  c->setObjectName(name);
  const bool shown = is_on ? is_on(member) : setup_switch_on(member);
  c->setChecked(shown);
  if (auto_place_) form_->addRow(c);
  // Untouched, a switch keeps its stored value (-1 "never set" among them).
  add_field(c, [c, &member, on_value, shown] {
    if (c->isChecked() != shown) member = c->isChecked() ? on_value : 0;
    return true;
  });
  return c;
}

QComboBox* SetupGroupDialog::choice(const char* name, const QString& label, int16_t& member,
                                    const QStringList& items, int16_t first) {
  auto* c = new QComboBox(this);
  c->setObjectName(name);
  c->addItems(items);
  const int shown = member - first >= 0 && member - first < items.size() ? member - first : 0;
  c->setCurrentIndex(shown);
  if (auto_place_) form_->addRow(label + ":", c);
  add_field(c, [c, &member, first, shown] {
    if (c->currentIndex() != shown) member = static_cast<int16_t>(first + c->currentIndex());
    return true;
  });
  return c;
}

OpSetupDialog::OpSetupDialog(SimulationSetup& target, Notify& notify, QWidget* parent)
    : SetupGroupDialog(target, notify, "SIMSET_OP_DLG", "Operating Point Analysis", parent) {
  section("Operating point");
  flag("op", "Operating point (.OP)", edit_.op);
  section("Transfer function");
  flag("tf", "Transfer function (.TF)", edit_.tf);
  text("tf_output", "Output variable", edit_.tf_output);
  text("tf_input", "Input source", edit_.tf_input);
  section("Sensitivity");
  flag("sens", "Sensitivity (.SENS)", edit_.sens);
  texts("sens_vars", "Output variables", edit_.sens_vars);
  finish();
}

DcSetupDialog::DcSetupDialog(SimulationSetup& target, Notify& notify, QWidget* parent)
    : SetupGroupDialog(target, notify, "SIMSET_DC_DLG", "DC Sweep Analysis", parent) {
  section("Sweep");
  text("dc_var", "Variable", edit_.dc_var);
  real("dc_start", "Start", edit_.dc_start);
  real("dc_stop", "Stop", edit_.dc_stop);
  real("dc_step", "Step", edit_.dc_step);
  section("Nested sweep", true);
  flag("dc_nested", "Nested sweep", edit_.dc_nested);
  text("nested_var", "Variable", edit_.nested_var);
  real("nested_start", "Nested start", edit_.nested_start);
  real("nested_stop", "Nested stop", edit_.nested_stop);
  real("nested_step", "Nested step", edit_.nested_step);
  finish();
}

TranSetupDialog::TranSetupDialog(SimulationSetup& target, Notify& notify, QWidget* parent)
    : SetupGroupDialog(target, notify, "SIMSET_TRAN_DLG", "Transient Analysis", parent) {
  section("Transient");
  real("tran_step", "Print step", edit_.tran_step);
  real("tran_stop", "Stop time", edit_.tran_stop);
  real("tran_max_step", "Maximum step", edit_.tran_max_step);
  real("tran_start", "Start time", edit_.tran_start);
  flag("uic", "Use initial conditions (UIC)", edit_.uic);
  section("Fourier", true);
  flag("fourier", "Fourier analysis (.FOUR)", edit_.fourier);
  real("fourier_freq", "Fundamental frequency", edit_.fourier_freq);
  integer("harmonics", "Harmonics", edit_.harmonics, 9);
  texts("fourier_vars", "Output variables", edit_.fourier_vars);
  finish();
}

AcSetupDialog::AcSetupDialog(SimulationSetup& target, Notify& notify, QWidget* parent)
    : SetupGroupDialog(target, notify, "SIMSET_AC_DLG", "AC Analysis", parent) {
  section("AC sweep");
  choice("ac_type", "Sweep", edit_.ac_type, {"DEC", "OCT", "LIN"});
  integer("ac_points", "Points", edit_.ac_points);
  real("ac_start", "Start frequency", edit_.ac_start);
  real("ac_stop", "Stop frequency", edit_.ac_stop);
  section("Noise", true);
  flag("noise", "Noise analysis (.NOISE)", edit_.noise);
  text("noise_output", "Output node", edit_.noise_output);
  text("noise_input", "Input source", edit_.noise_input);
  integer("noise_points", "Points per summary", edit_.noise_points);
  section("Distortion");
  flag("disto", "Distortion analysis (.DISTO)", edit_.disto);
  text("disto_arg", "Argument", edit_.disto_arg);
  integer("disto_count", "Count", edit_.disto_count);
  real("disto_reals_0", "First value", edit_.disto_reals[0]);
  real("disto_reals_1", "Second value", edit_.disto_reals[1]);
  real("disto_reals_2", "Third value", edit_.disto_reals[2]);
  finish();
}

TempSetupDialog::TempSetupDialog(SimulationSetup& target, Notify& notify, QWidget* parent)
    : SetupGroupDialog(target, notify, "SIMSET_TEMP_DLG", "Temperature", parent) {
  reals("temps", "Temperatures", edit_.temps)->setMinimumWidth(240);
  finish();
}

StepSetupDialog::StepSetupDialog(SimulationSetup& target, Notify& notify, QWidget* parent)
    : SetupGroupDialog(target, notify, "SIMSET_STEP_DLG", "Parametric Step", parent) {
  section("Sweep type");
  static const char* const kTypes[] = {"LIST", "LIN", "DEC", "OCT"};
  static const char* const kNames[] = {"step_type_list", "step_type_lin", "step_type_dec", "step_type_oct"};
  shown_type_ = edit_.step_type;
  const int base = shown_type_ % 10;
  auto* group = new QButtonGroup(this);
  auto* types = new QHBoxLayout;
  for (int k = 0; k < 4; ++k) {
    type_[k] = new QRadioButton(kTypes[k], this);
    type_[k]->setObjectName(kNames[k]);
    type_[k]->setChecked(k == (base >= 0 && base < 4 ? base : 0));
    group->addButton(type_[k], k);
    types->addWidget(type_[k]);
  }
  percent_ = new QCheckBox("Percent (%)", this);
  percent_->setObjectName("step_type_percent");
  percent_->setChecked(shown_type_ >= 10);
  types->addWidget(percent_);
  form()->addRow(types);
  section("Variable");
  shown_parameter_ = edit_.step_kind.str() == step_variable_kind(true);
  parameter_ = new QCheckBox("Parameter (PARAM)", this);
  parameter_->setObjectName("step_kind");
  parameter_->setChecked(shown_parameter_);
  form()->addRow(parameter_);
  // Untouched, the type and the kind keep what the setup held.
  add_field(type_[0], [this, group] {
    if (group->checkedId() != shown_type_ % 10 || percent_->isChecked() != (shown_type_ >= 10))
      edit_.step_type = static_cast<int16_t>(step_sweep_type(group->checkedId(), percent_->isChecked()));
    if (parameter_->isChecked() != shown_parameter_)
      edit_.step_kind.assign(step_variable_kind(parameter_->isChecked()));
    return true;
  });
  name_ = text("step_name", "Name", edit_.step_name);
  section("Values");
  real("step_start", "Start", edit_.step_start);
  real("step_stop", "Stop", edit_.step_stop);
  increment_ = real("step_increment", "Increment", edit_.step_increment);
  points_ = integer("step_points", "Points", edit_.step_points);
  reals("step_values", "List of values", edit_.step_values);
  finish();
}

bool StepSetupDialog::check() {
  switch (
      step_check(edit_.step_name.str(), edit_.step_type, edit_.step_increment, edit_.step_points, notify())) {
    case StepField::none:
      return true;
    case StepField::name:
      name_->setFocus();
      break;
    case StepField::increment:
      increment_->setFocus();
      break;
    case StepField::points:
      points_->setFocus();
      break;
  }
  return false;
}

StatsSetupDialog::StatsSetupDialog(SimulationSetup& target, Notify& notify, QWidget* parent)
    : SetupGroupDialog(target, notify, "SIMSET_STATS_DLG", "Statistical Analysis", parent) {
  section("Monte Carlo");
  integer("mc_runs", "Runs", edit_.mc_runs);
  integer("mc_seed", "Seed", edit_.mc_seed);
  section("Worst case");
  // The writer takes .WC for 1 alone, and the statistics file for any nonzero value.
  flag("worst_case", "Worst case (.WC instead of .MC)", edit_.worst_case, 1,
       [](int16_t v) { return v == 1; });
  choice("corner_mode", "Corners", edit_.corner_mode, {"CORNERS", "NOCORNER"}, 1);
  section("Statistics file");
  flag("stats_file", "Include the statistics file", edit_.stats_file, -1, [](int16_t v) { return v != 0; });
  finish();
}

SaveSetupDialog::SaveSetupDialog(SimulationSetup& target, Notify& notify, QWidget* parent)
    : SetupGroupDialog(target, notify, "SIMSET_SAVE_DLG", "Data Save Options", parent) {
  auto* all = new QRadioButton("Save all", this);
  all->setObjectName("save_all");
  auto* listed = new QRadioButton("Save the listed variables", this);
  listed->setObjectName("save_list");
  const bool shown = edit_.save_list != 0;
  (shown ? listed : all)->setChecked(true);
  form()->addRow(all);
  form()->addRow(listed);
  add_field(listed, [this, listed, shown] {
    if (listed->isChecked() != shown) edit_.save_list = listed->isChecked() ? 1 : 0;
    return true;
  });
  flag("voltages_only", "Voltages only", edit_.voltages_only);
  flag("no_subckt", "Exclude subcircuits", edit_.no_subckt);
  texts("save_vars", "Variables", edit_.save_vars)->setMinimumWidth(240);
  finish();
}

PrintSetupDialog::PrintSetupDialog(SimulationSetup& target, Notify& notify, QWidget* parent)
    : SetupGroupDialog(target, notify, "SIMSET_PRINT_DLG", "Print Options", parent) {
  auto_place_ = false;
  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel("Analysis", this), 0, 1);
  grid->addWidget(new QLabel("Variables", this), 0, 2);
  for (int k = 0; k < kPrintGroups; ++k) {
    PrintGroup& g = edit_.print_groups[k];
    const std::string prefix = strprintf("print_groups_%d_", k);
    grid->addWidget(flag((prefix + "enabled").c_str(), QString("Print %1").arg(k + 1), g.enabled), k + 1, 0);
    grid->addWidget(choice((prefix + "analysis").c_str(), "Analysis", g.analysis, kPrintAnalyses), k + 1, 1);
    QLineEdit* vars =
        texts((prefix + "variables").c_str(), QString("Print %1 variables").arg(k + 1), g.variables);
    vars->setMinimumWidth(240);
    grid->addWidget(vars, k + 1, 2);
  }
  body()->addLayout(grid);
  finish();
}

AutoplotSetupDialog::AutoplotSetupDialog(SimulationSetup& target, Notify& notify, QWidget* parent)
    : SetupGroupDialog(target, notify, "SIMSET_AUTOPLOT_DLG", "Autoplot Options", parent) {
  list_ = new QListWidget(this);
  list_->setObjectName("plots");
  for (const PlotSetup& p : edit_.plots) list_->addItem(item_text(p));
  auto* add = new QPushButton("&Add", this);
  add->setObjectName("plots_add");
  auto* remove = new QPushButton("&Remove", this);
  remove->setObjectName("plots_remove");
  connect(add, &QPushButton::clicked, this, &AutoplotSetupDialog::add_plot);
  connect(remove, &QPushButton::clicked, this, &AutoplotSetupDialog::remove_plot);
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(add);
  buttons->addWidget(remove);
  buttons->addStretch(1);

  // The panel stores straight into the working copy; OK needs no reading.
  panel_ = new QWidget(this);
  auto* form = new QFormLayout(panel_);
  enabled_ = new QCheckBox("Enabled", panel_);
  enabled_->setObjectName("enabled");
  type_ = new QComboBox(panel_);
  type_->setObjectName("plot_type");
  type_->addItems(kPlotTypes);
  analysis_ = new QComboBox(panel_);
  analysis_->setObjectName("analysis");
  analysis_->addItems(kPlotAnalyses);
  number_ = new QSpinBox(panel_);
  number_->setObjectName("number");
  number_->setRange(0, std::numeric_limits<int16_t>::max());
  number_->setSpecialValueText("None");
  scale_ = new QComboBox(panel_);
  scale_->setObjectName("axis_scale");
  scale_->addItems(kPlotScales);
  x_ = new QLineEdit(panel_);
  x_->setObjectName("x_expression");
  traces_ = new QLineEdit(panel_);
  traces_->setObjectName("traces");
  traces_->setToolTip("Separate the expressions with blanks");
  traces_->setMinimumWidth(240);
  form->addRow(enabled_);
  form->addRow("Type:", type_);
  form->addRow("Analysis:", analysis_);
  form->addRow("Number:", number_);
  form->addRow("Axes:", scale_);
  form->addRow("X expression:", x_);
  form->addRow("Traces:", traces_);
  connect(enabled_, &QCheckBox::toggled, this, &AutoplotSetupDialog::store);
  for (QComboBox* c : {type_, analysis_, scale_})
    connect(c, &QComboBox::currentIndexChanged, this, &AutoplotSetupDialog::store);
  connect(number_, &QSpinBox::valueChanged, this, &AutoplotSetupDialog::store);
  connect(x_, &QLineEdit::textChanged, this, &AutoplotSetupDialog::store);
  connect(traces_, &QLineEdit::textChanged, this, &AutoplotSetupDialog::store);
  connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
    if (!loading_) show_plot(row);
  });

  auto* row = new QHBoxLayout;
  row->addWidget(list_, 1);
  row->addLayout(buttons);
  row->addWidget(panel_, 1);
  body()->addLayout(row);
  finish();
  if (list_->count() > 0) list_->setCurrentRow(0);
  show_plot(list_->currentRow());
}

QString AutoplotSetupDialog::item_text(const PlotSetup& p) const {
  QStringList parts;
  if (!setup_switch_on(p.enabled)) parts << "(off)";
  if (p.plot_type > 0 && p.plot_type < kPlotTypes.size()) parts << kPlotTypes[p.plot_type];
  if (p.analysis > 0 && p.analysis < kPlotAnalyses.size()) parts << kPlotAnalyses[p.analysis];
  if (p.number > 0) parts << QString::number(p.number);
  for (const std::string& t : p.traces) parts << q(t);
  return parts.isEmpty() ? QString("(no traces)") : parts.join(' ');
}

void AutoplotSetupDialog::show_plot(int row) {
  loading_ = true;
  const bool any = row >= 0 && row < static_cast<int>(edit_.plots.size());
  panel_->setEnabled(any);
  const PlotSetup p = any ? edit_.plots[row] : PlotSetup{};
  enabled_->setChecked(setup_switch_on(p.enabled));
  type_->setCurrentIndex(p.plot_type >= 0 && p.plot_type < kPlotTypes.size() ? p.plot_type : 0);
  analysis_->setCurrentIndex(p.analysis >= 0 && p.analysis < kPlotAnalyses.size() ? p.analysis : 0);
  number_->setValue(p.number);
  scale_->setCurrentIndex(p.axis_scale >= 0 && p.axis_scale < kPlotScales.size() ? p.axis_scale : 0);
  x_->setText(q(p.x_expression));
  traces_->setText(joined(p.traces));
  loading_ = false;
}

void AutoplotSetupDialog::store() {
  const int row = list_->currentRow();
  if (loading_ || row < 0 || row >= static_cast<int>(edit_.plots.size())) return;
  PlotSetup& p = edit_.plots[row];
  p.enabled = enabled_->isChecked() ? 1 : 0;
  p.plot_type = static_cast<int16_t>(type_->currentIndex());
  p.analysis = static_cast<int16_t>(analysis_->currentIndex());
  p.number = static_cast<int16_t>(number_->value());
  p.axis_scale = static_cast<int16_t>(scale_->currentIndex());
  p.x_expression = latin(x_->text().trimmed());
  p.traces.clear();
  for (const QString& w : words(traces_->text(), "\\s+")) p.traces.push_back(latin(w));
  list_->item(row)->setText(item_text(p));
}

void AutoplotSetupDialog::add_plot() {
  PlotSetup p;
  p.enabled = 1;
  edit_.plots.push_back(p);
  list_->addItem(item_text(p));
  list_->setCurrentRow(list_->count() - 1);
}

void AutoplotSetupDialog::remove_plot() {
  const int row = list_->currentRow();
  if (row < 0 || row >= static_cast<int>(edit_.plots.size())) return;
  edit_.plots.erase(edit_.plots.begin() + row);
  // The list moves its current row while the item goes; show the plot only after.
  loading_ = true;
  delete list_->takeItem(row);
  loading_ = false;
  show_plot(list_->currentRow());
}

std::unique_ptr<SetupGroupDialog> make_setup_group_dialog(SetupGroup group, SimulationSetup& setup,
                                                          Notify& notify, QWidget* parent) {
  switch (group) {
    case SetupGroup::op:
      return std::make_unique<OpSetupDialog>(setup, notify, parent);
    case SetupGroup::dc:
      return std::make_unique<DcSetupDialog>(setup, notify, parent);
    case SetupGroup::tran:
      return std::make_unique<TranSetupDialog>(setup, notify, parent);
    case SetupGroup::ac:
      return std::make_unique<AcSetupDialog>(setup, notify, parent);
    case SetupGroup::temp:
      return std::make_unique<TempSetupDialog>(setup, notify, parent);
    case SetupGroup::step:
      return std::make_unique<StepSetupDialog>(setup, notify, parent);
    case SetupGroup::stats:
      return std::make_unique<StatsSetupDialog>(setup, notify, parent);
    case SetupGroup::save:
      return std::make_unique<SaveSetupDialog>(setup, notify, parent);
    case SetupGroup::print:
      return std::make_unique<PrintSetupDialog>(setup, notify, parent);
    case SetupGroup::autoplot:
      return std::make_unique<AutoplotSetupDialog>(setup, notify, parent);
  }
  return nullptr;
}

namespace {

struct MainRow {
  SetupGroup group;
  int16_t SimulationSetup::*member;
  const char* name;
  const char* caption;
};

const MainRow kMainRows[kSetupGroupCount] = {
    {SetupGroup::op, &SimulationSetup::op_group, "op_group", "Operating point"},
    {SetupGroup::dc, &SimulationSetup::dc, "dc", "DC sweep"},
    {SetupGroup::tran, &SimulationSetup::tran, "tran", "Transient"},
    {SetupGroup::ac, &SimulationSetup::ac, "ac", "AC sweep"},
    {SetupGroup::temp, &SimulationSetup::temp, "temp", "Temperature"},
    {SetupGroup::step, &SimulationSetup::step, "step", "Parametric step"},
    {SetupGroup::stats, &SimulationSetup::stats, "stats", "Statistics"},
    {SetupGroup::save, &SimulationSetup::save, "save", "Data save"},
    {SetupGroup::print, &SimulationSetup::print, "print", "Print"},
    {SetupGroup::autoplot, &SimulationSetup::autoplot, "autoplot", "Autoplot"},
};

}  // namespace

SimulationSetupDialog::SimulationSetupDialog(SimulationSetup& setup, Notify& notify, QWidget* parent)
    : QDialog(parent), setup_(setup), notify_(notify), copy_(setup) {
  setObjectName("SIMSET_MAIN_DLG");
  setWindowTitle("Simulation Setup");
  auto* grid = new QGridLayout;
  // The check boxes store into the copy at once, so a group dialog opened next
  // starts from what they show.
  auto add_switch = [this](int16_t SimulationSetup::*member, const char* name, const char* caption) {
    auto* c = new QCheckBox(caption, this);
    c->setObjectName(name);
    c->setChecked(setup_switch_on(copy_.*member));
    connect(c, &QCheckBox::toggled, this, [this, member](bool on) { copy_.*member = on ? 1 : 0; });
    return c;
  };
  int r = 0;
  for (const MainRow& row : kMainRows) {
    grid->addWidget(add_switch(row.member, row.name, row.caption), r, 0);
    auto* b = new QPushButton("Setup...", this);
    b->setObjectName(QString(row.name) + "_setup");
    const SetupGroup group = row.group;
    connect(b, &QPushButton::clicked, this, [this, group] { open_group(group); });
    grid->addWidget(b, r, 1);
    ++r;
  }
  grid->addWidget(add_switch(&SimulationSetup::alternate, "alternate", "Alternate statements"), r, 0, 1, 2);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addWidget(buttons);
}

bool SimulationSetupDialog::open_group(SetupGroup group) {
  auto d = make_setup_group_dialog(group, copy_, notify_, this);
  return d->exec() == QDialog::Accepted;
}

void SimulationSetupDialog::accept() {
  setup_mark_enabled(copy_);
  setup_ = copy_;
  QDialog::accept();
}

bool edit_simulation_setup(SimulationSetup& setup, Notify& notify, QWidget* parent) {
  SimulationSetupDialog d(setup, notify, parent);
  return d.exec() == QDialog::Accepted;
}

}  // namespace zephyrim
