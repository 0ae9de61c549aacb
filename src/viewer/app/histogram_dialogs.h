#pragma once
// The dialogs of Plot > Histogram: Options (data range and bin width) and
// Yield (the acceptance range), numbers typed in engineering notation.
#include <QDialog>
#include <QString>
#include <functional>
#include <vector>

class QLineEdit;

namespace zephyrim {

class Notify;

// One numeric field: its label, its object name and the value it shows first.
struct NumberField {
  QString label;
  QString name;
  double value = 0;
};

// A dialog of numeric fields. OK reads them (a field that is no number keeps
// the dialog open with "Invalid number: %s") and hands them to apply, which
// returns false to keep the dialog open after its own message.
class NumbersDialog : public QDialog {
  Q_OBJECT
 public:
  NumbersDialog(const QString& title, const QString& name, const std::vector<NumberField>& fields,
                std::function<bool(const std::vector<double>&)> apply, Notify& notify,
                QWidget* parent = nullptr);
  void accept() override;

 private:
  std::vector<QLineEdit*> edits_;
  std::function<bool(const std::vector<double>&)> apply_;
  Notify& notify_;
};

}  // namespace zephyrim
