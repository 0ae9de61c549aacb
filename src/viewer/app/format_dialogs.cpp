#include "viewer/app/format_dialogs.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "viewer/app/dialog_buttons.h"
#include "viewer/plot/format_file.h"

namespace zephyrim {

namespace {

// A box of radio buttons, one per choice, the current one checked; the
// buttons' ids are the choices' codes.
QButtonGroup* choices(QWidget* parent, QGridLayout* grid, int row, int column, const char* name,
                      const QString& title, const QStringList& texts, int current) {
  auto* box = new QGroupBox(title, parent);
  box->setObjectName(name);
  auto* layout = new QVBoxLayout(box);
  auto* group = new QButtonGroup(box);
  for (int k = 0; k < texts.size(); ++k) {
    auto* b = new QRadioButton(texts[k], box);
    b->setChecked(k == current);
    group->addButton(b, k);
    layout->addWidget(b);
  }
  grid->addWidget(box, row, column);
  return group;
}

}  // namespace

FormatOptionsDialog::FormatOptionsDialog(const GraphOptions& o, QWidget* parent) : QDialog(parent) {
  setObjectName("FORMAT_OPTIONS_DLG");
  setWindowTitle(tr("Format Options"));
  auto* grid = new QGridLayout;
  grid_ = choices(this, grid, 0, 0, "grid", tr("Grid"), {tr("&None"), tr("&Single"), tr("&Double")}, o.grid);
  area_ = choices(this, grid, 0, 1, "area", tr("Plot area"), {tr("S&quare"), tr("&Rectangular")}, o.area);
  plotting_ =
      choices(this, grid, 1, 0, "plotting", tr("Plotting mode"), {tr("&All data"), tr("&Fast")}, o.plotting);
  direction_ = choices(this, grid, 1, 1, "direction", tr("Plot direction"),
                       {tr("&Both"), tr("&Up"), tr("D&own")}, o.direction);
  info_ = choices(this, grid, 2, 0, "info", tr("Information shown"), {tr("&Trace/symbol"), tr("S&PICE run")},
                  o.info);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addWidget(ok_cancel(this));
}

GraphOptions FormatOptionsDialog::options() const {
  return {grid_->checkedId(), area_->checkedId(), plotting_->checkedId(), direction_->checkedId(),
          info_->checkedId()};
}

}  // namespace zephyrim

namespace zephyrim {

FormatSlotsDialog::FormatSlotsDialog(const std::string& base, bool saving, const QString& description,
                                     QWidget* parent)
    : QDialog(parent), slots_(new QListWidget(this)) {
  setObjectName(saving ? "FORMAT_SAVE_DLG" : "FORMAT_RECALL_DLG");
  setWindowTitle(saving ? tr("Save/Delete Plot Format") : tr("Recall Plot Format"));
  slots_->setObjectName("slots");
  int first_free = -1, first_used = -1;
  for (int slot = 0; slot < kFormatSlots; ++slot) {
    const auto saved = format_read_header(base, slot);
    if (!saved && !saving) continue;
    if (saved && first_used < 0) first_used = slot;
    if (!saved && slot > 0 && first_free < 0) first_free = slot;
    auto* item = new QListWidgetItem(QString("%1   %2")
                                         .arg(slot, 2, 10, QChar('0'))
                                         .arg(saved ? QString::fromLatin1(*saved) : tr("(empty)")),
                                     slots_);
    item->setData(Qt::UserRole, slot);
  }
  // Saving goes to the first free slot (00 is the last session's); recalling starts at the first saved.
  const int start = saving ? (first_free < 0 ? 1 : first_free) : first_used;
  for (int k = 0; k < slots_->count(); ++k)
    if (slots_->item(k)->data(Qt::UserRole).toInt() == start) slots_->setCurrentRow(k);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(slots_);
  if (saving) {
    description_ = new QLineEdit(description, this);
    description_->setObjectName("description");
    description_->setMaxLength(static_cast<int>(kFormatDescriptionSize) - 1);
    layout->addWidget(new QLabel(tr("&Description:"), this));
    qobject_cast<QLabel*>(layout->itemAt(layout->count() - 1)->widget())->setBuddy(description_);
    layout->addWidget(description_);
  }
  auto* buttons = new QDialogButtonBox(this);
  buttons->setObjectName("buttons");
  auto add = [&](const QString& text, const char* name, Action a, QDialogButtonBox::ButtonRole role) {
    QPushButton* b = buttons->addButton(text, role);
    b->setObjectName(name);
    connect(b, &QPushButton::clicked, this, [this, a] { finish(a); });
    return b;
  };
  add(saving ? tr("&Save") : tr("&Recall"), "ok", saving ? SAVE : RECALL, QDialogButtonBox::AcceptRole)
      ->setDefault(true);
  if (saving) {
    add(tr("&Delete"), "delete", DELETE, QDialogButtonBox::ActionRole);
    add(tr("Delete &All"), "delete_all", DELETE_ALL, QDialogButtonBox::ActionRole);
  } else {
    add(tr("&Browse..."), "browse", BROWSE, QDialogButtonBox::ActionRole);
  }
  connect(buttons->addButton(QDialogButtonBox::Cancel), &QPushButton::clicked, this, &QDialog::reject);
  connect(slots_, &QListWidget::itemDoubleClicked, this, [this, saving] { finish(saving ? SAVE : RECALL); });
  layout->addWidget(buttons);
  resize(520, 420);
}

int FormatSlotsDialog::slot() const {
  const QListWidgetItem* item = slots_->currentItem();
  return item ? item->data(Qt::UserRole).toInt() : -1;
}

QString FormatSlotsDialog::description() const {
  return description_ ? description_->text() : QString();
}

void FormatSlotsDialog::finish(Action a) {
  // Every action but these two needs a slot chosen.
  if (slot() < 0 && a != DELETE_ALL && a != BROWSE) return;
  action_ = a;
  accept();
}

HistoryOptionsDialog::HistoryOptionsDialog(int max_keep, bool save_automatically, QWidget* parent)
    : QDialog(parent),
      keep_(new QSpinBox(this)),
      automatic_(new QCheckBox(tr("&Save trace history on Save && Exit"), this)) {
  setObjectName("HISTORY_OPTIONS_DLG");
  setWindowTitle(tr("History Options"));
  keep_->setObjectName("max_keep");
  keep_->setRange(0, 100);
  keep_->setValue(max_keep);
  automatic_->setObjectName("save_automatically");
  automatic_->setChecked(save_automatically);
  auto* clear = new QPushButton(tr("&Clear old traces..."), this);
  clear->setObjectName("clear");
  connect(clear, &QPushButton::clicked, this, [this] {
    clear_ = true;
    accept();
  });
  auto* form = new QFormLayout;
  form->addRow(tr("History files &kept:"), keep_);
  form->addRow(automatic_);
  form->addRow(clear);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(ok_cancel(this));
}

int HistoryOptionsDialog::max_keep() const {
  return keep_->value();
}

bool HistoryOptionsDialog::save_automatically() const {
  return automatic_->isChecked();
}

}  // namespace zephyrim
