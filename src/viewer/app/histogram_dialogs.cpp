#include "viewer/app/histogram_dialogs.h"

#include <QFormLayout>
#include <QLineEdit>
#include <QVBoxLayout>
#include <cmath>

#include "common/eng_number.h"
#include "common/notify.h"
#include "common/text_format.h"
#include "viewer/app/dialog_buttons.h"

namespace zephyrim {

NumbersDialog::NumbersDialog(const QString& title, const QString& name,
                             const std::vector<NumberField>& fields,
                             std::function<bool(const std::vector<double>&)> apply, Notify& notify,
                             QWidget* parent)
    : QDialog(parent), apply_(std::move(apply)), notify_(notify) {
  setWindowTitle(title);
  setObjectName(name);
  auto* form = new QFormLayout;
  for (const NumberField& f : fields) {
    auto* edit = new QLineEdit(QString::fromStdString(format_eng_viewer(f.value, 6)), this);
    edit->setObjectName(f.name);
    form->addRow(f.label, edit);
    edits_.push_back(edit);
  }
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(ok_cancel(this));
}

void NumbersDialog::accept() {
  std::vector<double> values;
  for (QLineEdit* e : edits_) {
    std::string text = e->text().trimmed().toStdString();
    const std::string typed = text;
    double v = 0;
    if (text.empty() || parse_eng(text, v) != static_cast<int>(text.size()) || !std::isfinite(v)) {
      notify_.error(strprintf("Invalid number: %s", typed.c_str()));
      e->setFocus();
      return;
    }
    values.push_back(v);
  }
  if (apply_(values)) QDialog::accept();
}

}  // namespace zephyrim
