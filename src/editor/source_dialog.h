#pragma once
// The source specification of an independent V or I source: its DC value, AC
// magnitude and phase, and one transient function with its values. The netlist
// writes the source's statement from it instead of from the symbol's template.
#include <QDialog>

#include "common/notify.h"
#include "schematic/records.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace zephyrim {

class SourceDialog : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kSlots = 8;  // the most any function takes (PULSE)

  SourceDialog(PartRecord& part, Notify& notify, QWidget* parent = nullptr);
  void accept() override;

  // The function shown (0 none, 1 EXP ... 6 SIN), as the list chooses it.
  void show_function(int f);

 private:
  void keep_shown_values();

  PartRecord& part_;
  Notify& notify_;
  // The values of every function as edited, so switching back and forth keeps them.
  std::vector<std::vector<std::string>> values_;
  int shown_ = 0;
  QLineEdit* name_;
  QCheckBox* dc_on_;
  QLineEdit* dc_;
  QCheckBox* ac_on_;
  QLineEdit* ac_magnitude_;
  QLineEdit* ac_phase_;
  QComboBox* function_;
  QLabel* slot_labels_[kSlots];
  QLineEdit* slots_[kSlots];
  QLineEdit* file_;
  QPushButton* browse_;
  QPlainTextEdit* points_;
};

}  // namespace zephyrim
