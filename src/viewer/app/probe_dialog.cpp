#include "viewer/app/probe_dialog.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QListWidget>
#include <QVBoxLayout>

#include "viewer/app/dialog_buttons.h"

namespace zephyrim {

ProbeDialog::ProbeDialog(const QStringList& names, QWidget* parent)
    : QDialog(parent), filter_(new QLineEdit(this)), list_(new QListWidget(this)) {
  setWindowTitle(tr("SELECT PROBE PLOT VARIABLES"));
  filter_->setPlaceholderText(tr("Filter: part of a name"));
  filter_->setClearButtonEnabled(true);
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list_->addItems(names);
  QDialogButtonBox* buttons = ok_cancel(this);
  // Hiding, not removing, keeps what was selected before the filter changed.
  connect(filter_, &QLineEdit::textChanged, this, [this](const QString& text) {
    for (int i = 0; i < list_->count(); ++i)
      list_->item(i)->setHidden(!list_->item(i)->text().contains(text, Qt::CaseInsensitive));
  });
  connect(list_, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(filter_);
  layout->addWidget(list_);
  layout->addWidget(buttons);
  resize(360, 480);
}

QStringList ProbeDialog::chosen() const {
  QStringList out;
  for (const QListWidgetItem* item : list_->selectedItems()) out << item->text();
  return out;
}

}  // namespace zephyrim
