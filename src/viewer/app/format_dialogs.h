#pragma once
// The dialogs of the Format menu and of the trace history.
#include <QDialog>
#include <string>

#include "viewer/plot/plot_model.h"

class QButtonGroup;

namespace zephyrim {

// Format > Options ("Format Options"): grid, plot area, plotting mode, plot
// direction and the information shown beside the trace names, each one
// choice of radio buttons (object names "grid", "area", "plotting",
// "direction", "info" on the button groups' boxes).
class FormatOptionsDialog : public QDialog {
  Q_OBJECT
 public:
  explicit FormatOptionsDialog(const GraphOptions& options, QWidget* parent = nullptr);
  GraphOptions options() const;

 private:
  QButtonGroup* grid_;
  QButtonGroup* area_;
  QButtonGroup* plotting_;
  QButtonGroup* direction_;
  QButtonGroup* info_;
};

}  // namespace zephyrim

class QCheckBox;
class QLineEdit;
class QListWidget;
class QSpinBox;

namespace zephyrim {

// Format > Save/Delete and Format > Recall: the slots 00..99 of the project's
// format files with their descriptions (list "slots"). Saving offers the
// description (field "description"); recalling can also browse for a format
// file of another project.
class FormatSlotsDialog : public QDialog {
  Q_OBJECT
 public:
  enum Action { SAVE, RECALL, DELETE, DELETE_ALL, BROWSE };
  FormatSlotsDialog(const std::string& base, bool saving, const QString& description,
                    QWidget* parent = nullptr);
  Action action() const { return action_; }
  int slot() const;
  QString description() const;

 private:
  void finish(Action a);

  QListWidget* slots_;
  QLineEdit* description_ = nullptr;
  Action action_ = SAVE;
};

// Traces > History > Options: how many history files are kept, whether the
// traces are kept as history on Save & Exit, and clearing the old ones.
class HistoryOptionsDialog : public QDialog {
  Q_OBJECT
 public:
  HistoryOptionsDialog(int max_keep, bool save_automatically, QWidget* parent = nullptr);
  int max_keep() const;
  bool save_automatically() const;
  bool clear_requested() const { return clear_; }

 private:
  QSpinBox* keep_;
  QCheckBox* automatic_;
  bool clear_ = false;
};

}  // namespace zephyrim
