#include "editor/symbol_chooser.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace zephyrim {

SymbolChooser::SymbolChooser(const SymbolLibrary& library, int kind, QWidget* parent) : QDialog(parent) {
  setWindowTitle("Select Part Symbol");
  filter_ = new QLineEdit(this);
  filter_->setPlaceholderText("Filter");
  list_ = new QTreeWidget(this);
  list_->setColumnCount(3);
  list_->setHeaderLabels({"Name", "Value", "Description"});
  list_->setRootIsDecorated(false);
  list_->setUniformRowHeights(true);
  for (const SymbolIndexEntry& e : library.index.entries) {
    if (kind != 0 && symbol_kind_from_name(e.name.str()) != kind) continue;
    auto* item = new QTreeWidgetItem(list_);
    item->setText(0, QString::fromLatin1(e.name.str()));
    item->setText(1, QString::fromLatin1(e.default_value.str()));
    item->setText(2, QString::fromLatin1(e.description.str()));
  }
  list_->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  list_->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
  if (list_->topLevelItemCount() > 0) list_->setCurrentItem(list_->topLevelItem(0));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(filter_);
  layout->addWidget(list_);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(list_, &QTreeWidget::itemDoubleClicked, this, &QDialog::accept);
  connect(filter_, &QLineEdit::textChanged, this, &SymbolChooser::refilter);
  resize(560, 420);
}

void SymbolChooser::refilter() {
  const QString f = filter_->text();
  QTreeWidgetItem* first = nullptr;
  for (int i = 0; i < list_->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = list_->topLevelItem(i);
    const bool show = f.isEmpty() || item->text(0).contains(f, Qt::CaseInsensitive) ||
                      item->text(2).contains(f, Qt::CaseInsensitive);
    item->setHidden(!show);
    if (show && !first) first = item;
  }
  if (first && (!list_->currentItem() || list_->currentItem()->isHidden())) list_->setCurrentItem(first);
}

std::optional<std::string> SymbolChooser::chosen() const {
  const QTreeWidgetItem* item = list_->currentItem();
  if (!item || item->isHidden()) return std::nullopt;
  return item->text(0).toStdString();
}

}  // namespace zephyrim
