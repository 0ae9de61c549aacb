#pragma once
// "SELECT PROBE PLOT VARIABLES": the vectors of the shown analysis to plot,
// with a filter box, since a file can hold thousands of them.
#include <QDialog>
#include <QStringList>

class QLineEdit;
class QListWidget;

namespace zephyrim {

class ProbeDialog : public QDialog {
  Q_OBJECT
 public:
  ProbeDialog(const QStringList& names, QWidget* parent = nullptr);
  QStringList chosen() const;
  QLineEdit* filter() const { return filter_; }
  QListWidget* list() const { return list_; }

 private:
  QLineEdit* filter_;
  QListWidget* list_;
};

}  // namespace zephyrim
