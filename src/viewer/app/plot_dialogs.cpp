#include "viewer/app/plot_dialogs.h"

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
#include <QSpinBox>
#include <QVBoxLayout>
#include <cmath>

#include "common/eng_number.h"
#include "common/notify.h"
#include "viewer/app/dialog_buttons.h"
#include "viewer/calc/autoplot.h"

namespace zephyrim {

namespace {

// The graph keeps its texts in Latin-1, as the data files carry them.
QString latin1(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}
std::string latin1(const QString& text) {
  return text.toLatin1().toStdString();
}

QListWidget* trace_list(const std::vector<TraceEntry>& traces, QWidget* parent) {
  auto* list = new QListWidget(parent);
  list->setObjectName("traces");
  list->setSelectionMode(QAbstractItemView::ExtendedSelection);
  for (const TraceEntry& t : traces) list->addItem(trace_entry_text(t));
  return list;
}

std::vector<int> selected_rows(const QListWidget* list) {
  std::vector<int> rows;
  for (int k = 0; k < list->count(); ++k)
    if (list->item(k)->isSelected()) rows.push_back(k);
  return rows;
}

}  // namespace

QString trace_entry_text(const TraceEntry& entry) {
  return QString("%1   (Plot %2)").arg(entry.name).arg(entry.plot + 1);
}

// ---- Add/Delete Plots -------------------------------------------------------

PlotCountDialog::PlotCountDialog(int plots, QWidget* parent) : QDialog(parent), count_(new QSpinBox(this)) {
  setWindowTitle(tr("Add/Delete Plots"));
  setObjectName("add_delete_plots");
  count_->setObjectName("plot_count");
  count_->setRange(1, kMaxPlots);
  count_->setValue(std::clamp(plots, 1, kMaxPlots));
  auto* form = new QFormLayout;
  form->addRow(tr("&Number of plots (1-%1):").arg(kMaxPlots), count_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(ok_cancel(this));
}

int PlotCountDialog::plots() const {
  return count_->value();
}

// ---- Move/Delete Traces -----------------------------------------------------

TraceMoveDialog::TraceMoveDialog(const std::vector<TraceEntry>& traces, QWidget* parent)
    : QDialog(parent), list_(trace_list(traces, this)), move_to_(new QComboBox(this)) {
  setWindowTitle(tr("Move/Delete Traces"));
  setObjectName("move_delete_traces");
  move_to_->setObjectName("move_to");
  for (int k = 0; k <= kMaxPlots; ++k) move_to_->addItem(QString::fromStdString(move_list_name(k)));
  auto* buttons = ok_cancel(this);
  QPushButton* remove = buttons->addButton(tr("&Delete"), QDialogButtonBox::ActionRole);
  remove->setObjectName("delete");
  connect(remove, &QPushButton::clicked, this, [this] {
    remove_ = true;
    accept();
  });
  auto* move_label = new QLabel(tr("&Move to:"), this);
  move_label->setBuddy(move_to_);
  auto* row = new QHBoxLayout;
  row->addWidget(move_label);
  row->addWidget(move_to_, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(tr("Traces:"), this));
  layout->addWidget(list_);
  layout->addLayout(row);
  layout->addWidget(buttons);
  if (list_->count() > 0) list_->setCurrentRow(0);
  resize(360, 360);
}

std::vector<int> TraceMoveDialog::chosen() const {
  return selected_rows(list_);
}

int TraceMoveDialog::move_to() const {
  return move_to_->currentIndex();
}

// ---- Trace Options ------------------------------------------------------------

namespace {

struct OptionList {
  const char* name;
  const char* label;
  const char* const* items;
  int count;
  int TraceOptions::*member;
};

const OptionList kOptionLists[5] = {
    {"colour", "&Colour:", kTraceColours, 16, &TraceOptions::colour},
    {"symbol", "&Symbol:", kTraceSymbols, 10, &TraceOptions::symbol},
    {"display", "&Display:", kTraceDisplays, 3, &TraceOptions::display},
    {"line_type", "&Line type (printing):", kTraceLineTypes, 10, &TraceOptions::line_type},
    {"pen_width", "&Pen width (printing):", kTracePenWidths, 6, &TraceOptions::pen_width},
};

}  // namespace

TraceOptionsDialog::TraceOptionsDialog(std::vector<TraceEntry> traces, QWidget* parent)
    : QDialog(parent), traces_(std::move(traces)), list_(trace_list(traces_, this)) {
  setWindowTitle(tr("Trace Options"));
  setObjectName("trace_options");
  auto* form = new QFormLayout;
  for (size_t k = 0; k < combos_.size(); ++k) {
    const OptionList& o = kOptionLists[k];
    auto* combo = new QComboBox(this);
    combo->setObjectName(o.name);
    for (int i = 0; i < o.count; ++i) combo->addItem(QString::fromLatin1(o.items[i]));
    connect(combo, &QComboBox::currentIndexChanged, this,
            [this, member = o.member](int index) { set_option(member, index); });
    form->addRow(tr(o.label), combo);
    combos_[k] = combo;
  }
  connect(list_, &QListWidget::itemSelectionChanged, this, &TraceOptionsDialog::show_options);
  auto* layout = new QHBoxLayout;
  layout->addWidget(list_, 1);
  layout->addLayout(form);
  auto* outer = new QVBoxLayout(this);
  outer->addLayout(layout);
  outer->addWidget(ok_cancel(this));
  // The first trace is chosen at the start, so that the lists show something.
  if (list_->count() > 0) list_->setCurrentRow(0);
  show_options();
  resize(520, 320);
}

void TraceOptionsDialog::show_options() {
  const std::vector<int> rows = selected_rows(list_);
  const bool any = !rows.empty();
  loading_ = true;
  for (size_t k = 0; k < combos_.size(); ++k) {
    combos_[k]->setEnabled(any);
    if (any)
      combos_[k]->setCurrentIndex(traces_[static_cast<size_t>(rows.front())].options.*kOptionLists[k].member);
  }
  loading_ = false;
}

void TraceOptionsDialog::set_option(int TraceOptions::*member, int value) {
  if (loading_ || value < 0) return;
  for (int row : selected_rows(list_)) traces_[static_cast<size_t>(row)].options.*member = value;
}

// ---- Set Axis Limits ------------------------------------------------------------

namespace {

constexpr int kLimitsFields = 5;
const char* const kFieldNames[kLimitsFields] = {"data_min", "data_max", "low", "high", "spacing"};

int field_index(LimitsField f) {
  switch (f) {
    case LimitsField::DataMin:
      return 0;
    case LimitsField::DataMax:
      return 1;
    case LimitsField::Low:
      return 2;
    case LimitsField::High:
      return 3;
    case LimitsField::Spacing:
      return 4;
    case LimitsField::None:
      break;
  }
  return 2;
}

double& row_field(LimitsRow& row, int k) {
  switch (k) {
    case 0:
      return row.data_min;
    case 1:
      return row.data_max;
    case 2:
      return row.low;
    case 3:
      return row.high;
    default:
      return row.spacing;
  }
}

}  // namespace

AxisLimitsDialog::AxisLimitsDialog(const std::vector<AxisLimitsState>& axes, Notify& notify, QWidget* parent)
    : QDialog(parent), notify_(notify) {
  setWindowTitle(tr("Set Axis Limits"));
  setObjectName("set_axis_limits");
  auto* grid = new QGridLayout;
  const QStringList heads{tr("Data Min"), tr("Data Max"), tr("Low Limit"), tr("High Limit"),
                          tr("Tick Spac.")};
  for (int k = 0; k < kLimitsFields; ++k)
    grid->addWidget(new QLabel(heads[k], this), 0, k + 2, Qt::AlignCenter);
  for (size_t i = 0; i < axes.size(); ++i) {
    const AxisScale& a = axes[i].axis;
    const bool log = a.log_scale != 0;
    const QString prefix = i == 0 ? QString("x") : QString("y%1").arg(i);
    const int line = static_cast<int>(i) + 1;
    grid->addWidget(new QLabel(i == 0 ? tr("X bottom") : tr("Y%1 Axis:").arg(i), this), line, 0);
    Row row{new QCheckBox(tr("Auto"), this), {}, log};
    row.automatic->setObjectName(prefix + "_auto");
    row.automatic->setChecked(!axes[i].manual);
    row.automatic->setToolTip(tr("Limits from the data; typing a limit sets them by hand"));
    grid->addWidget(row.automatic, line, 1);
    const double shown[kLimitsFields] = {a.data_min, a.data_max, a.low, a.high, a.spacing};
    for (int k = 0; k < kLimitsFields; ++k) {
      auto* field = new QLineEdit(this);
      field->setObjectName(prefix + "_" + kFieldNames[k]);
      field->setMinimumWidth(90);
      if (a.in_use >= 0 && !(log && k == 4))
        field->setText(
            QString::fromStdString(format_eng_viewer(log ? std::pow(10.0, shown[k]) : shown[k], 6)));
      // A log axis ticks every decade: it has no spacing of its own.
      if (log && k == 4) field->setEnabled(false);
      connect(field, &QLineEdit::textEdited, row.automatic,
              [box = row.automatic] { box->setChecked(false); });
      row.fields[static_cast<size_t>(k)] = field;
      grid->addWidget(field, line, k + 2);
    }
    rows_.push_back(row);
  }
  // The fields were filled from the axes: what differs from these was typed.
  for (Row& r : rows_)
    for (QLineEdit* f : r.fields) f->setProperty("shown", f->text());
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addWidget(ok_cancel(this));
}

void AxisLimitsDialog::accept() {
  std::vector<AxisLimitsChoice> choices;
  std::vector<LimitsRow> checked;
  for (const Row& r : rows_) {
    AxisLimitsChoice c{!r.automatic->isChecked(), empty_limits_row(r.log)};
    LimitsRow shown = empty_limits_row(r.log);
    if (c.manual) {
      for (int k = 0; k < kLimitsFields; ++k) {
        QLineEdit* field = r.fields[static_cast<size_t>(k)];
        const QString text = field->text().trimmed();
        if (text.isEmpty() || !field->isEnabled()) continue;
        std::string number = text.toStdString();
        double v = 0;
        if (parse_eng(number, v) < 0 || !has_value(v)) {
          notify_.show_captioned(INVALID_ENTRY_CAPTION, INVALID_ENTRY_MESSAGE);
          field->setFocus();
          field->selectAll();
          return;
        }
        row_field(shown, k) = v;
        // The data range shown is the data's own: it becomes the user's only when edited.
        if (k >= 2 || text != field->property("shown").toString().trimmed()) row_field(c.row, k) = v;
      }
    }
    choices.push_back(c);
    checked.push_back(shown);
  }
  LimitsFault fault;
  if (!checked.empty() &&
      !validate_axis_limits(checked.front(), std::span(checked).subspan(1), notify_, fault)) {
    if (fault.row >= 0 && fault.row < static_cast<int>(rows_.size())) {
      QLineEdit* field =
          rows_[static_cast<size_t>(fault.row)].fields[static_cast<size_t>(field_index(fault.field))];
      field->setFocus();
      field->selectAll();
    }
    return;
  }
  choices_ = std::move(choices);
  QDialog::accept();
}

// ---- Set Axis Options -------------------------------------------------------------

AxisOptionsDialog::AxisOptionsDialog(std::vector<AxisOptionsState> axes, QWidget* parent)
    : QDialog(parent), axes_(std::move(axes)), axis_(new QComboBox(this)), unit_name_(new QLineEdit(this)) {
  setWindowTitle(tr("Set Axis Options"));
  setObjectName("set_axis_options");
  axis_->setObjectName("axis");
  for (const AxisOptionsState& a : axes_) axis_->addItem(a.name);
  auto radio = [this](const char* name, const QString& text) {
    auto* b = new QRadioButton(text, this);
    b->setObjectName(name);
    return b;
  };
  // Each group in a box of its own, so that its buttons exclude one another.
  auto group = [this](const QString& title, std::initializer_list<QWidget*> widgets) {
    auto* box = new QGroupBox(title, this);
    auto* l = new QVBoxLayout(box);
    for (QWidget* w : widgets) {
      w->setParent(box);
      l->addWidget(w);
    }
    return box;
  };
  linear_ = radio("linear", tr("&Linear"));
  log_ = radio("log", tr("Lo&g"));
  unit_auto_ = radio("unit_auto", tr("&Auto"));
  unit_user_ = radio("unit_user", tr("&User"));
  unit_none_ = radio("unit_none", tr("&None"));
  append_ = radio("append_to_tick", tr("A&ppend to tick value"));
  caption_ = radio("on_axis_caption", tr("On axis &caption"));
  unit_name_->setObjectName("unit_name");
  unit_name_->setMaxLength(31);
  auto* name_row = new QWidget(this);
  auto* name_layout = new QHBoxLayout(name_row);
  name_layout->setContentsMargins(0, 0, 0, 0);
  auto* name_label = new QLabel(tr("Unit na&me:"), name_row);
  name_label->setBuddy(unit_name_);
  name_layout->addWidget(name_label);
  name_layout->addWidget(unit_name_);
  unit_name_->setParent(name_row);

  auto* axis_label = new QLabel(tr("A&xis:"), this);
  axis_label->setBuddy(axis_);
  auto* top = new QHBoxLayout;
  top->addWidget(axis_label);
  top->addWidget(axis_, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(group(tr("Scale type"), {linear_, log_}));
  layout->addWidget(group(tr("Units"), {unit_auto_, unit_user_, unit_none_, name_row}));
  layout->addWidget(group(tr("Unit scale"), {append_, caption_}));
  layout->addWidget(ok_cancel(this));

  for (QRadioButton* b : {linear_, log_, unit_auto_, unit_user_, unit_none_, append_, caption_})
    connect(b, &QRadioButton::toggled, this, [this](bool on) {
      if (on) store_axis();
    });
  connect(unit_name_, &QLineEdit::textEdited, this, &AxisOptionsDialog::store_axis);
  connect(axis_, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (index < 0) return;
    shown_ = index;
    show_axis();
  });
  show_axis();
}

void AxisOptionsDialog::show_axis() {
  if (shown_ < 0 || shown_ >= static_cast<int>(axes_.size())) return;
  const AxisOptionsState& a = axes_[static_cast<size_t>(shown_)];
  loading_ = true;
  (a.log ? log_ : linear_)->setChecked(true);
  const UnitMode mode = a.ticks.unit_mode;
  (mode == UnitMode::User ? unit_user_ : mode == UnitMode::None ? unit_none_ : unit_auto_)->setChecked(true);
  unit_name_->setText(latin1(a.ticks.unit_name));
  unit_name_->setEnabled(mode == UnitMode::User);
  (a.ticks.scale_on_caption ? caption_ : append_)->setChecked(true);
  loading_ = false;
}

void AxisOptionsDialog::store_axis() {
  if (loading_ || shown_ < 0 || shown_ >= static_cast<int>(axes_.size())) return;
  AxisOptionsState& a = axes_[static_cast<size_t>(shown_)];
  a.log = log_->isChecked();
  a.ticks.unit_mode = unit_user_->isChecked()   ? UnitMode::User
                      : unit_none_->isChecked() ? UnitMode::None
                                                : UnitMode::Auto;
  unit_name_->setEnabled(a.ticks.unit_mode == UnitMode::User);
  if (a.ticks.unit_mode == UnitMode::User) a.ticks.unit_name = latin1(unit_name_->text());
  a.ticks.scale_on_caption = caption_->isChecked();
}

// ---- X Variable ---------------------------------------------------------------

XVariableDialog::XVariableDialog(const QStringList& names, const XVariable& current, QWidget* parent)
    : QDialog(parent), names_(names), variable_(new QComboBox(this)) {
  setWindowTitle(tr("X Axis Variable"));
  setObjectName("x_axis_variable");
  variable_->setObjectName("x_variable");
  variable_->setEditable(true);
  variable_->setInsertPolicy(QComboBox::NoInsert);
  variable_->addItems(names);
  variable_->setEditText(current.expression ? "{" + latin1(current.text) + "}" : latin1(current.text));
  variable_->setMinimumWidth(280);
  auto* label = new QLabel(tr("&X variable or expression (empty: each trace's own X):"), this);
  label->setBuddy(variable_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label);
  layout->addWidget(variable_);
  layout->addWidget(ok_cancel(this));
}

XVariable XVariableDialog::chosen() const {
  const QString text = variable_->currentText().trimmed();
  if (text.isEmpty()) return {};
  for (const QString& n : names_)
    if (n.compare(text, Qt::CaseInsensitive) == 0) return {latin1(n), false};
  return {strip_braces(latin1(text)), true};
}

// ---- Titles and Captions ----------------------------------------------------------

TitlesDialog::TitlesDialog(const GraphCaptions& captions, QWidget* parent) : QDialog(parent) {
  setWindowTitle(tr("Titles and Captions"));
  setObjectName("LABELS_EDIT_DLG");
  const GraphHeader& h = captions.header;
  struct Field {
    const char* name;
    const char* label;
    const std::string& text;
  };
  const Field fields[7] = {{"file", "&File:", h.file},
                           {"circuit_title", "&Title:", h.circuit_title},
                           {"subtitle", "&Subtitle:", h.subtitle},
                           {"date", "&Date:", h.date},
                           {"time", "T&ime:", h.time},
                           {"temperature", "Te&mperature:", h.temperature},
                           {"x_label", "&X axis caption:", captions.x_label}};
  auto* headers = new QGroupBox(tr("Header"), this);
  auto* header_form = new QFormLayout(headers);
  auto* axes = new QGroupBox(tr("Axis captions"), this);
  auto* axis_form = new QFormLayout(axes);
  for (size_t k = 0; k < header_.size(); ++k) {
    auto* edit = new QLineEdit(latin1(fields[k].text), this);
    edit->setObjectName(fields[k].name);
    edit->setMinimumWidth(320);
    (k < 6 ? header_form : axis_form)->addRow(tr(fields[k].label), edit);
    header_[k] = edit;
  }
  for (size_t p = 0; p < captions.y_labels.size(); ++p) {
    auto* edit = new QLineEdit(latin1(captions.y_labels[p]), this);
    edit->setObjectName(QString("y_label_%1").arg(p + 1));
    axis_form->addRow(tr("Y%1 axis caption:").arg(p + 1), edit);
    y_labels_.push_back(edit);
  }
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(headers);
  layout->addWidget(axes);
  layout->addWidget(ok_cancel(this));
}

GraphCaptions TitlesDialog::captions() const {
  GraphCaptions c;
  std::string* header[6] = {&c.header.file, &c.header.circuit_title, &c.header.subtitle,
                            &c.header.date, &c.header.time,          &c.header.temperature};
  for (size_t k = 0; k < 6; ++k) *header[k] = latin1(header_[k]->text());
  c.x_label = latin1(header_[6]->text());
  for (const QLineEdit* e : y_labels_) c.y_labels.push_back(latin1(e->text()));
  return c;
}

}  // namespace zephyrim
