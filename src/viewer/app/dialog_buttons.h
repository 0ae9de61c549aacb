#pragma once
// The OK and Cancel row every dialog of the viewer ends with.
#include <QDialog>
#include <QDialogButtonBox>

namespace zephyrim {

inline QDialogButtonBox* ok_cancel(QDialog* dialog) {
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
  buttons->setObjectName("buttons");
  QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  return buttons;
}

}  // namespace zephyrim
