#pragma once
// The viewer's tool dialogs: the measure-spec setups, the cursor shape and
// position dialogs, the status of the data store, and the choice of the
// analysis and data source to show. Each dialog edits plain values; the window's
// handlers run the work behind them.
#include <QDialog>
#include <QStringList>
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "viewer/calc/measure.h"
#include "viewer/plot/cursors.h"

class QComboBox;
class QLineEdit;
class QCheckBox;
class QRadioButton;
class QPlainTextEdit;

namespace zephyrim {

class DataStore;
class Notify;
struct Graph;

// The caption of a measure kind's setup dialog.
QString measure_dialog_caption(int kind);

// The setup of one measure kind. Shows the fields the kind uses, filled from
// fields; accepting writes them back (an empty number field stores NO_VALUE)
// and refuses a number that does not parse, keeping the dialog open.
// names: the variables offered in the signal lists, which stay editable so that
// an expression form such as VDB(OUT) can be typed.
class MeasureDialog : public QDialog {
  Q_OBJECT
 public:
  MeasureDialog(int kind, MeasureSpec& fields, const QStringList& names, Notify& notify,
                QWidget* parent = nullptr);
  void accept() override;

 private:
  struct Number {
    QLineEdit* edit;
    QString label;
    double* member;
  };
  QLineEdit* number(const char* name, const QString& label, double& member);

  int kind_;
  MeasureSpec& fields_;
  Notify& notify_;
  QLineEdit* name_ = nullptr;
  QComboBox* y_name_ = nullptr;
  QComboBox* second_ = nullptr;  // the X variable, or the second signal of a delay
  QComboBox* mode_ = nullptr;
  QComboBox* edge1_ = nullptr;
  QComboBox* edge2_ = nullptr;
  QComboBox* pulse_ = nullptr;
  std::vector<Number> numbers_;
};

// "Set Cursor Shape": one of the five shapes per cursor, and whether they
// become the defaults of later sessions.
class CursorShapeDialog : public QDialog {
  Q_OBJECT
 public:
  CursorShapeDialog(std::array<int, 2> shapes, QWidget* parent = nullptr);
  std::array<int, 2> shapes() const;
  bool save_as_default() const;

 private:
  std::array<QComboBox*, 2> shape_{};
  QCheckBox* save_default_ = nullptr;
};

// The value range a fixed cursor position may take, by the axis it fixes.
struct PositionRanges {
  double x_min = 0;
  double x_max = 0;
  double y_min = 0;
  double y_max = 0;
};

// "Set Cursor Position": the positioning option of the active cursor, with the
// range the fixed value must lie in. Accepting hands the request to apply,
// which returns false to keep the dialog open (a value out of range).
class CursorPositionDialog : public QDialog {
  Q_OBJECT
 public:
  CursorPositionDialog(int option, double fixed, const PositionRanges& ranges,
                       std::function<bool(const PositionRequest&)> apply, QWidget* parent = nullptr);
  void accept() override;
  PositionRequest request() const;

 private:
  void show_range();

  PositionRanges ranges_;
  std::function<bool(const PositionRequest&)> apply_;
  std::array<QRadioButton*, 10> option_{};
  QLineEdit* min_ = nullptr;
  QLineEdit* max_ = nullptr;
  QLineEdit* fixed_ = nullptr;
};

// What the store and the graph hold, line by line: the data file, the data
// classes with their analyses, runs, vectors and memory, and the traces shown.
QString view_status_text(DataStore& store, const Graph& graph, const std::string& data_file);

// View > Status: the text above in a read-only box.
class ViewStatusDialog : public QDialog {
  Q_OBJECT
 public:
  ViewStatusDialog(const QString& text, QWidget* parent = nullptr);
};

// "Select Analysis/Data Source": the analysis kinds that have data, the one
// shown now (current) preselected, and, when both the binary and the text class
// hold data, the source to read. Returns the chosen kind, or -1 when cancelled
// or there is no data; cls (when given) gets DATA_CLASS_BINARY or
// DATA_CLASS_TEXT when the source was offered, else -1. With a single choice
// and no source to choose, that choice is returned without asking.
int choose_analysis_dialog(QWidget* parent, DataStore& store, int current, int* cls = nullptr);

}  // namespace zephyrim
