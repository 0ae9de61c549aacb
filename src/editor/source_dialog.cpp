#include "editor/source_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "common/eng_number.h"
#include "common/text_format.h"
#include "netlist/source_statement.h"

namespace zephyrim {

namespace {

QString q(const std::string& s) {
  return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}
std::string text_of(const QLineEdit* e) {
  return e->text().trimmed().toLatin1().toStdString();
}

constexpr size_t kMaxSourceName = 31;

// The argument names of each function, in slot order.
const std::vector<const char*>& slot_names(int f) {
  static const std::vector<const char*> names[] = {
      {},
      {"V1", "V2", "TD1", "TAU1", "TD2", "TAU2"},
      {},
      {"V1", "V2", "TD", "TR", "TF", "PW", "PER", "NP"},
      {"TD", "TS", "TPER", "VOFF", "VS"},
      {"VO", "VA", "FC", "MDI", "FS"},
      {"VO", "VA", "FREQ", "TD", "THETA", "PHASE"},
  };
  static const std::vector<const char*> none;
  return f >= 0 && f <= kSourceSin ? names[f] : none;
}

std::string points_text(const std::vector<SourcePoint>& points) {
  std::string out;
  for (const auto& [t, v] : points) out += strprintf("%g,%g\r\n", t, v);
  return out;
}

// Lines "time,value"; false with the line at fault when one does not read.
bool parse_points(const std::string& text, std::vector<SourcePoint>& points, std::string& bad) {
  points.clear();
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (line.find_first_not_of(" \t") == std::string::npos) continue;
    const size_t comma = line.find(',');
    std::string t = comma == std::string::npos ? line : line.substr(0, comma);
    std::string v = comma == std::string::npos ? "" : line.substr(comma + 1);
    double time = 0, value = 0;
    if (comma == std::string::npos || parse_eng(t, time) <= 0 || parse_eng(v, value) <= 0 ||
        !has_value(time) || !has_value(value)) {
      bad = line;
      return false;
    }
    points.emplace_back(time, value);
  }
  return true;
}

}  // namespace

SourceDialog::SourceDialog(PartRecord& part, Notify& notify, QWidget* parent)
    : QDialog(parent), part_(part), notify_(notify), values_(kSourceSin + 1) {
  setObjectName("SOURCE_SPEC_DLG");
  setWindowTitle(q(strprintf("Source Specification - [%s]", part.reference.str().c_str())));
  for (int f = kSourceExp; f <= kSourceSin; ++f) values_[f] = source_values(part, f);

  auto* form = new QFormLayout;
  name_ = new QLineEdit(q(part.value.str()), this);
  name_->setObjectName("name");
  form->addRow("Name:", name_);
  dc_on_ = new QCheckBox("DC", this);
  dc_on_->setObjectName("dc_on");
  dc_on_->setChecked(source_dc_on(part));
  dc_ = new QLineEdit(q(source_dc_text(part)), this);
  dc_->setObjectName("dc");
  form->addRow(dc_on_, dc_);
  ac_on_ = new QCheckBox("AC", this);
  ac_on_->setObjectName("ac_on");
  ac_on_->setChecked(source_ac_on(part));
  ac_magnitude_ = new QLineEdit(q(source_ac_magnitude(part)), this);
  ac_magnitude_->setObjectName("ac_magnitude");
  ac_phase_ = new QLineEdit(q(source_ac_phase(part)), this);
  ac_phase_->setObjectName("ac_phase");
  auto* ac = new QHBoxLayout;
  ac->addWidget(new QLabel("Magnitude:", this));
  ac->addWidget(ac_magnitude_);
  ac->addWidget(new QLabel("Phase:", this));
  ac->addWidget(ac_phase_);
  form->addRow(ac_on_, ac);
  function_ = new QComboBox(this);
  function_->setObjectName("function");
  function_->addItem("NONE");
  for (int f = kSourceExp; f <= kSourceSin; ++f) function_->addItem(source_function_name(f));
  form->addRow("Transient:", function_);

  auto* grid = new QGridLayout;
  for (int i = 0; i < kSlots; ++i) {
    slot_labels_[i] = new QLabel(this);
    slots_[i] = new QLineEdit(this);
    slots_[i]->setObjectName(QString("slot%1").arg(i + 1));
    grid->addWidget(slot_labels_[i], i / 2, (i % 2) * 2);
    grid->addWidget(slots_[i], i / 2, (i % 2) * 2 + 1);
  }
  file_ = new QLineEdit(this);
  file_->setObjectName("file");
  browse_ = new QPushButton("&Browse...", this);
  connect(browse_, &QPushButton::clicked, this, [this] {
    const QString f =
        QFileDialog::getOpenFileName(this, "Select Source Data File", file_->text(), "Data files(*.dat)");
    if (!f.isEmpty()) file_->setText(f);
  });
  auto* file_row = new QHBoxLayout;
  file_row->addWidget(new QLabel("File:", this));
  file_row->addWidget(file_, 1);
  file_row->addWidget(browse_);
  points_ = new QPlainTextEdit(q(points_text(source_pwl_points(part))), this);
  points_->setObjectName("points");
  points_->setPlaceholderText("time,value per line");

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addLayout(grid);
  layout->addLayout(file_row);
  layout->addWidget(points_);
  layout->addWidget(buttons);

  const int f = source_function(part);
  function_->setCurrentIndex(f >= 0 && f <= kSourceSin ? f : 0);
  show_function(function_->currentIndex());
  connect(function_, &QComboBox::currentIndexChanged, this, [this](int index) { show_function(index); });
}

void SourceDialog::keep_shown_values() {
  if (shown_ < kSourceExp || shown_ > kSourceSin) return;
  std::vector<std::string>& v = values_[shown_];
  if (shown_ == kSourceFile) {
    v = {text_of(file_)};
    return;
  }
  v.assign(slot_names(shown_).size(), "");
  for (size_t i = 0; i < v.size(); ++i) v[i] = text_of(slots_[i]);
}

void SourceDialog::show_function(int f) {
  keep_shown_values();
  shown_ = f;
  const auto& names = slot_names(f);
  for (int i = 0; i < kSlots; ++i) {
    const bool used = static_cast<size_t>(i) < names.size();
    slot_labels_[i]->setText(used ? names[i] : "");
    slots_[i]->setText(used && static_cast<size_t>(i) < values_[f].size() ? q(values_[f][i]) : "");
    slot_labels_[i]->setVisible(used);
    slots_[i]->setVisible(used);
  }
  const bool file = f == kSourceFile;
  file_->setText(file && !values_[f].empty() ? q(values_[f][0]) : file_->text());
  file_->setEnabled(file);
  browse_->setEnabled(file);
  points_->setEnabled(f == kSourcePwl);
}

void SourceDialog::accept() {
  keep_shown_values();
  const int f = function_->currentIndex();
  if (f == kSourceFile && (values_[f].empty() || values_[f][0].empty())) {
    notify_.error("FILE source file name is blank");
    file_->setFocus();
    return;
  }
  // PWL points are kept like the other functions' values, but only a chosen
  // PWL must read.
  std::vector<SourcePoint> points;
  std::string bad;
  const bool points_read = parse_points(points_->toPlainText().toLatin1().toStdString(), points, bad);
  if (f == kSourcePwl && !points_read) {
    notify_.error("Invalid PWL point: " + bad);
    points_->setFocus();
    return;
  }
  std::string name = text_of(name_);
  if (name.size() > kMaxSourceName) {
    notify_.information("V source name attribute truncated to limit of 31 characters.");
    name.resize(kMaxSourceName);
  }
  part_.value.assign(name);
  source_set_in_use(part_, true);
  source_set_dc(part_, dc_on_->isChecked(), text_of(dc_));
  source_set_ac(part_, ac_on_->isChecked(), text_of(ac_magnitude_), text_of(ac_phase_));
  source_set_function(part_, f);
  for (int g = kSourceExp; g <= kSourceSin; ++g)
    if (g == f || values_[g] != source_values(part_, g)) source_set_values(part_, g, values_[g]);
  if (points_read && points != source_pwl_points(part_)) source_set_pwl_points(part_, points);
  QDialog::accept();
}

}  // namespace zephyrim
