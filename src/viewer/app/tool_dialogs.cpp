#include "viewer/app/tool_dialogs.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <optional>

#include "common/notify.h"
#include "common/text_format.h"
#include "viewer/app/dialog_buttons.h"
#include "viewer/data/data_store.h"
#include "viewer/plot/plot_model.h"

namespace zephyrim {

namespace {

QString q(const std::string& s) {
  return QString::fromStdString(s);
}

QString shown_number(double v) {
  return has_value(v) ? q(format_eng_viewer(v, -1)) : QString();
}

// A typed number in engineering form; trailing unit letters ("1ms", "2.5V")
// are let through as a SPICE deck lets them. Empty gives NO_VALUE.
std::optional<double> typed_number(const QString& text) {
  const QString t = text.trimmed();
  if (t.isEmpty()) return NO_VALUE;
  std::string s = t.toStdString();
  double v = 0;
  if (parse_eng(s, v) < 1) return std::nullopt;
  return v;
}

QComboBox* choice(QWidget* parent, const char* name, const QStringList& items, int index) {
  auto* c = new QComboBox(parent);
  c->setObjectName(name);
  c->addItems(items);
  c->setCurrentIndex(std::clamp(index, 0, static_cast<int>(items.size()) - 1));
  return c;
}

QComboBox* signal_list(QWidget* parent, const char* name, const QStringList& names, const std::string& now) {
  auto* c = new QComboBox(parent);
  c->setObjectName(name);
  c->setEditable(true);
  c->setInsertPolicy(QComboBox::NoInsert);
  c->addItems(names);
  c->setCurrentText(q(now));
  return c;
}

// A menu label without its mnemonic and trailing blank.
QString plain_label(const char* label) {
  return QString::fromLatin1(label).remove('&').trimmed();
}

QString kind_label(int kind) {
  if (kind >= 0 && kind < 8) return plain_label(kAnalysisKindLabels[kind]);
  if (kind == ANALYSIS_OP) return QStringLiteral("Operating point");
  return QString("Kind %1").arg(kind);
}

QString memory_text(double bytes) {
  if (bytes >= 1024.0 * 1024.0) return QString::number(bytes / (1024.0 * 1024.0), 'f', 1) + " MB";
  if (bytes >= 1024.0) return QString::number(bytes / 1024.0, 'f', 1) + " KB";
  return QString::number(static_cast<qint64>(bytes)) + " bytes";
}

const QStringList kValueModes = {"Absolute values", "Relative values", "Offset values"};
const QStringList kEdges = {"Any", "Rise", "Fall"};
const QStringList kPulses = {"Automatic", "High", "Low"};
const char* const kPositionNames[10] = {"track", "fix_x",  "fix_y",     "maximum", "minimum",
                                        "peak",  "trough", "max_slope", "rms",     "mean"};
const char* const kClassNames[4] = {".PROBE/binary data", ".PRINT/text data", "Derived data", "History data"};

bool is_extreme(int kind) {
  return kind == MEASURE_MIN || kind == MEASURE_MAX || kind == MEASURE_XMIN || kind == MEASURE_XMAX;
}

}  // namespace

QString measure_dialog_caption(int kind) {
  switch (kind) {
    case MEASURE_VALUE:
      return QStringLiteral("Measure Value Setup");
    case MEASURE_MIN:
      return QStringLiteral("Measure Minimum Value Setup");
    case MEASURE_MAX:
      return QStringLiteral("Measure Maximum Value Setup");
    case MEASURE_DELAY:
      return QStringLiteral("Measure Delay Setup");
    case MEASURE_DELTA:
      return QStringLiteral("Measure Delta Setup");
    case MEASURE_WIDTH:
      return QStringLiteral("Measure Width Setup");
    case MEASURE_FREQ:
      return QStringLiteral("Measure Frequency Setup");
    case MEASURE_XMIN:
      return QStringLiteral("Measure X at Minimum Value Setup");
    case MEASURE_XMAX:
      return QStringLiteral("Measure X at Maximum Value Setup");
    default:
      return QStringLiteral("Measure Setup");
  }
}

// ---- Measure specs -------------------------------------------------------

MeasureDialog::MeasureDialog(int kind, MeasureSpec& fields, const QStringList& names, Notify& notify,
                             QWidget* parent)
    : QDialog(parent), kind_(kind), fields_(fields), notify_(notify) {
  setObjectName(QString("MEASURE_%1_DLG").arg(kMeasureKindNames[kind - 1]));
  setWindowTitle(measure_dialog_caption(kind));
  auto* form = new QFormLayout;
  name_ = new QLineEdit(q(fields.name), this);
  name_->setObjectName("name");
  name_->setMaxLength(static_cast<int>(kMeasureNameMax));
  name_->setPlaceholderText(tr("empty: default name"));
  form->addRow(tr("Result name:"), name_);

  const bool delay = kind == MEASURE_DELAY;
  y_name_ = signal_list(this, "y_name", names, fields.y_name);
  form->addRow(delay ? tr("First signal:") : tr("Y variable:"), y_name_);
  if (delay) {
    second_ = signal_list(this, "y2_name", names, fields.y2_name);
    form->addRow(tr("Second signal:"), second_);
  } else {
    second_ = signal_list(this, "x_name", names, fields.x_name);
    second_->lineEdit()->setPlaceholderText(tr("empty: the Y variable's own"));
    form->addRow(tr("X variable:"), second_);
  }

  switch (kind) {
    case MEASURE_VALUE:
      form->addRow(tr("X value:"), number("value1", tr("X value"), fields.value1));
      break;
    case MEASURE_DELAY:
      form->addRow(tr("Y value 1:"), number("value1", tr("Y value 1"), fields.value1));
      form->addRow(tr("Y value 2:"), number("value2", tr("Y value 2"), fields.value2));
      numbers_.back().edit->setPlaceholderText(tr("empty: Y value 1"));
      edge1_ = choice(this, "edge1", kEdges, fields.edge1 < 0 ? 2 : fields.edge1);
      edge2_ = choice(this, "edge2", kEdges, fields.edge2 < 0 ? 2 : fields.edge2);
      form->addRow(tr("Edge of signal 1:"), edge1_);
      form->addRow(tr("Edge of signal 2:"), edge2_);
      break;
    case MEASURE_DELTA:
      form->addRow(tr("X value 1:"), number("value1", tr("X value 1"), fields.value1));
      form->addRow(tr("X value 2:"), number("value2", tr("X value 2"), fields.value2));
      break;
    case MEASURE_WIDTH:
      form->addRow(tr("Y level:"), number("value1", tr("Y level"), fields.value1));
      pulse_ = choice(this, "pulse", kPulses, fields.pulse);
      form->addRow(tr("Pulse:"), pulse_);
      break;
    case MEASURE_FREQ:
      form->addRow(tr("Y level:"), number("value1", tr("Y level"), fields.value1));
      numbers_.back().edit->setPlaceholderText(tr("empty: the mean of the data"));
      break;
    default:
      break;
  }
  if (kind != MEASURE_DELTA) {
    // VALUE limits its Y result; the others the X window they search.
    const bool y_limits = kind == MEASURE_VALUE;
    form->addRow(y_limits ? tr("Lower Y limit:") : tr("Lower X limit:"),
                 number("lower", tr("Lower limit"), fields.lower));
    form->addRow(y_limits ? tr("Upper Y limit:") : tr("Upper X limit:"),
                 number("upper", tr("Upper limit"), fields.upper));
  }
  if (!is_extreme(kind)) {
    mode_ = choice(this, "mode", kValueModes, fields.mode);
    form->addRow(tr("Values:"), mode_);
  }
  auto* body = new QVBoxLayout(this);
  body->addLayout(form);
  body->addWidget(ok_cancel(this));
}

QLineEdit* MeasureDialog::number(const char* name, const QString& label, double& member) {
  auto* e = new QLineEdit(shown_number(member), this);
  e->setObjectName(name);
  numbers_.push_back({e, label, &member});
  return e;
}

void MeasureDialog::accept() {
  // Every number is checked before any field changes, so a refusal keeps the old set.
  std::vector<double> values;
  for (const Number& n : numbers_) {
    const auto v = typed_number(n.edit->text());
    if (!v) {
      notify_.error(strprintf("Invalid number for %s: \"%s\"", n.label.toStdString().c_str(),
                              n.edit->text().trimmed().toStdString().c_str()));
      n.edit->setFocus();
      return;
    }
    values.push_back(*v);
  }
  for (size_t k = 0; k < numbers_.size(); ++k) *numbers_[k].member = values[k];
  fields_.kind = kind_;
  fields_.name = name_->text().trimmed().toStdString();
  fields_.y_name = y_name_->currentText().trimmed().toStdString();
  (kind_ == MEASURE_DELAY ? fields_.y2_name : fields_.x_name) =
      second_->currentText().trimmed().toStdString();
  if (mode_) fields_.mode = mode_->currentIndex();
  if (edge1_) fields_.edge1 = edge1_->currentIndex() == 2 ? -1 : edge1_->currentIndex();
  if (edge2_) fields_.edge2 = edge2_->currentIndex() == 2 ? -1 : edge2_->currentIndex();
  if (pulse_) fields_.pulse = pulse_->currentIndex();
  QDialog::accept();
}

// ---- Cursor shape --------------------------------------------------------

CursorShapeDialog::CursorShapeDialog(std::array<int, 2> shapes, QWidget* parent) : QDialog(parent) {
  setObjectName("CURSOR_SHAPE_DLG");
  setWindowTitle(tr("Set Cursor Shape"));
  QStringList names;
  for (const char* s : kCursorShapes) names << QString::fromLatin1(s);
  auto* form = new QFormLayout;
  for (int k = 0; k < 2; ++k) {
    shape_[k] = choice(this, k == 0 ? "shape1" : "shape2", names, shapes[k]);
    form->addRow(tr("Cursor %1:").arg(k + 1), shape_[k]);
  }
  save_default_ = new QCheckBox(tr("Save as default"), this);
  save_default_->setObjectName("save_default");
  auto* body = new QVBoxLayout(this);
  body->addLayout(form);
  body->addWidget(save_default_);
  body->addWidget(ok_cancel(this));
}

std::array<int, 2> CursorShapeDialog::shapes() const {
  return {shape_[0]->currentIndex(), shape_[1]->currentIndex()};
}

bool CursorShapeDialog::save_as_default() const {
  return save_default_->isChecked();
}

// ---- Cursor position -----------------------------------------------------

CursorPositionDialog::CursorPositionDialog(int option, double fixed, const PositionRanges& ranges,
                                           std::function<bool(const PositionRequest&)> apply, QWidget* parent)
    : QDialog(parent), ranges_(ranges), apply_(std::move(apply)) {
  setObjectName("CURSOR_POS_DLG");
  setWindowTitle(tr("Set Cursor Position"));
  auto* options = new QGroupBox(tr("Position"), this);
  auto* grid = new QVBoxLayout(options);
  auto* group = new QButtonGroup(this);
  for (int k = 0; k < 10; ++k) {
    option_[k] = new QRadioButton(QString::fromLatin1(kCursorPositionings[k]), options);
    option_[k]->setObjectName(kPositionNames[k]);
    group->addButton(option_[k], k);
    grid->addWidget(option_[k]);
  }
  option_[std::clamp(option, 0, 9)]->setChecked(true);

  min_ = new QLineEdit(this);
  min_->setObjectName("min_value");
  min_->setReadOnly(true);
  max_ = new QLineEdit(this);
  max_->setObjectName("max_value");
  max_->setReadOnly(true);
  fixed_ = new QLineEdit(shown_number(fixed), this);
  fixed_->setObjectName("fixed_value");
  auto* values = new QFormLayout;
  values->addRow(tr("Min. value"), min_);
  values->addRow(tr("Max. value"), max_);
  values->addRow(tr("Fixed value"), fixed_);
  connect(group, &QButtonGroup::idToggled, this, [this](int, bool on) {
    if (on) show_range();
  });
  show_range();

  auto* row = new QHBoxLayout;
  row->addWidget(options);
  row->addLayout(values);
  auto* body = new QVBoxLayout(this);
  body->addLayout(row);
  body->addWidget(ok_cancel(this));
}

void CursorPositionDialog::show_range() {
  const bool y = option_[POSITION_FIX_Y]->isChecked();
  min_->setText(q(format_eng_viewer(y ? ranges_.y_min : ranges_.x_min, 8)));
  max_->setText(q(format_eng_viewer(y ? ranges_.y_max : ranges_.x_max, 8)));
  fixed_->setEnabled(y || option_[POSITION_FIX_X]->isChecked());
}

PositionRequest CursorPositionDialog::request() const {
  PositionRequest r;
  for (int k = 0; k < 10; ++k)
    if (option_[k]->isChecked()) r.option = k;
  const bool y = r.option == POSITION_FIX_Y;
  r.shown_min = y ? ranges_.y_min : ranges_.x_min;
  r.shown_max = y ? ranges_.y_max : ranges_.x_max;
  // A value that does not read as a number lies in no range.
  const auto v = typed_number(fixed_->text());
  r.fixed = v ? *v : NO_VALUE;
  return r;
}

void CursorPositionDialog::accept() {
  if (apply_ && !apply_(request())) {
    fixed_->setFocus();
    fixed_->selectAll();
    return;
  }
  QDialog::accept();
}

// ---- Status --------------------------------------------------------------

QString view_status_text(DataStore& store, const Graph& graph, const std::string& data_file) {
  QStringList lines;
  lines << QString("File: %1").arg(data_file.empty() ? QStringLiteral("(none)") : q(data_file));
  lines << QString("Data files read: %1").arg(store.current_data_file());
  if (!store.header.title.empty()) lines << QString("Title: %1").arg(q(store.header.title));
  if (!store.header.date.empty() || !store.header.time.empty())
    lines << QString("Date: %1 %2").arg(q(store.header.date), q(store.header.time)).trimmed();
  lines << QString();
  double total = 0;
  int waiting_total = 0;
  for (int cls = 0; cls < std::min(store.class_count(), 4); ++cls) {
    const DataClass* c = store.data_class(cls);
    if (!c) continue;
    double bytes = 0;
    int waiting = 0;
    for (const DataVector& v : c->vectors) {
      if (v.loaded())
        bytes += static_cast<double>(v.points) * sizeof(double) * (v.complex ? 2 : 1);
      else
        ++waiting;
    }
    total += bytes;
    waiting_total += waiting;
    lines << QString("%1: %2 vectors, %3").arg(kClassNames[cls]).arg(c->count).arg(memory_text(bytes));
    for (int kind = 0; kind < kKindSlots; ++kind)
      if (c->kind_count[kind] > 0)
        lines << QString("    %1: %2 vectors, %3 run%4, up to %5 points")
                     .arg(kind_label(kind))
                     .arg(c->kind_count[kind])
                     .arg(c->run_count[kind])
                     .arg(c->run_count[kind] == 1 ? "" : "s")
                     .arg(c->max_points[kind]);
  }
  lines << QString("Memory: %1 of values, %2 vectors not loaded yet")
               .arg(memory_text(total))
               .arg(waiting_total);
  lines << QString();
  if (graph.analysis < 0) {
    lines << QStringLiteral("Analysis shown: none");
  } else {
    lines << QString("Analysis shown: %1").arg(kind_label(graph.analysis));
    if (graph.cls == DATA_CLASS_BINARY || graph.cls == DATA_CLASS_TEXT)
      lines << QString("Data source: %1").arg(kClassNames[graph.cls]);
  }
  lines << QString("Plots: %1, traces: %2").arg(graph.plots).arg(graph.traces.size());
  for (const auto& t : graph.traces) {
    QString line = QString("    %1 (plot %2)").arg(q(t->name)).arg(t->plot + 1);
    if (t->x) line += QString(" over %1").arg(q(t->x->name));
    if (t->y) line += QString(", %1 points, run %2").arg(t->y->points).arg(t->y->run);
    lines << line;
  }
  return lines.join('\n');
}

ViewStatusDialog::ViewStatusDialog(const QString& text, QWidget* parent) : QDialog(parent) {
  setObjectName("VIEW_STATUS_DLG");
  setWindowTitle(tr("Status"));
  auto* box = new QPlainTextEdit(text, this);
  box->setObjectName("status_text");
  box->setReadOnly(true);
  box->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  box->setLineWrapMode(QPlainTextEdit::NoWrap);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  auto* body = new QVBoxLayout(this);
  body->addWidget(box);
  body->addWidget(buttons);
  resize(560, 420);
}

// ---- Analysis and data source --------------------------------------------

int choose_analysis_dialog(QWidget* parent, DataStore& store, int current, int* cls) {
  if (cls) *cls = -1;
  auto count = [&](int c, int kind) {
    const DataClass* d = store.data_class(c);
    return d && kind >= 0 && kind < kKindSlots ? d->kind_count[kind] : 0;
  };
  std::vector<int> offered;  // indexes into kAnalysisChoiceLabels
  for (int k = 0; k < 8; ++k)
    if (count(DATA_CLASS_BINARY, kAnalysisChoiceKinds[k]) + count(DATA_CLASS_TEXT, kAnalysisChoiceKinds[k]) >
        0)
      offered.push_back(k);
  if (offered.empty()) return -1;
  auto holds = [&](int c) {
    const DataClass* d = store.data_class(c);
    return d && d->count > 0;
  };
  const bool both = holds(DATA_CLASS_BINARY) && holds(DATA_CLASS_TEXT);
  if (offered.size() == 1 && !both) return kAnalysisChoiceKinds[offered.front()];

  QDialog d(parent);
  d.setObjectName("SELANALYSIS_DLG");
  d.setWindowTitle(QObject::tr("Select Analysis/Data Source"));
  auto* kinds = new QGroupBox(QObject::tr("Analysis"), &d);
  auto* kind_rows = new QVBoxLayout(kinds);
  auto* kind_group = new QButtonGroup(&d);
  for (int k : offered) {
    auto* b = new QRadioButton(QString::fromLatin1(kAnalysisChoiceLabels[k]), kinds);
    b->setObjectName(QString("analysis_%1").arg(kAnalysisChoiceKinds[k]));
    kind_group->addButton(b, kAnalysisChoiceKinds[k]);
    kind_rows->addWidget(b);
  }
  QAbstractButton* now = kind_group->button(current);
  (now ? now : kind_group->buttons().front())->setChecked(true);

  auto* body = new QVBoxLayout(&d);
  body->addWidget(kinds);
  std::array<QRadioButton*, 2> source{};
  if (both) {
    auto* sources = new QGroupBox(QObject::tr("Data source"), &d);
    auto* rows = new QVBoxLayout(sources);
    for (int c : {DATA_CLASS_BINARY, DATA_CLASS_TEXT}) {
      source[c] = new QRadioButton(QString::fromLatin1(kClassNames[c]), sources);
      source[c]->setObjectName(c == DATA_CLASS_BINARY ? "source_binary" : "source_text");
      rows->addWidget(source[c]);
    }
    source[DATA_CLASS_BINARY]->setChecked(true);
    // A source without data of the chosen analysis cannot be read.
    auto follow = [&, source](int kind) {
      for (int c : {DATA_CLASS_BINARY, DATA_CLASS_TEXT}) source[c]->setEnabled(count(c, kind) > 0);
      for (int c : {DATA_CLASS_BINARY, DATA_CLASS_TEXT})
        if (source[c]->isChecked() && !source[c]->isEnabled()) source[1 - c]->setChecked(true);
    };
    follow(kind_group->checkedId());
    QObject::connect(kind_group, &QButtonGroup::idToggled, &d, [follow](int id, bool on) {
      if (on) follow(id);
    });
    body->addWidget(sources);
  }
  body->addWidget(ok_cancel(&d));
  if (d.exec() != QDialog::Accepted) return -1;
  if (cls && both) *cls = source[DATA_CLASS_TEXT]->isChecked() ? DATA_CLASS_TEXT : DATA_CLASS_BINARY;
  return kind_group->checkedId();
}

}  // namespace zephyrim
