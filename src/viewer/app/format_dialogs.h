#pragma once
// The dialogs of the Format menu: the display options of the graph.
#include <QDialog>

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
