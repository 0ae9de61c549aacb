#include "viewer/app/format_dialogs.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QRadioButton>
#include <QVBoxLayout>

#include "viewer/app/dialog_buttons.h"

namespace zephyrim {

namespace {

// A box of radio buttons, one per choice, the current one checked; the
// buttons' ids are the choices' codes.
QButtonGroup* choices(QWidget* parent, QGridLayout* grid, int row, int column, const char* name,
                      const QString& title, const QStringList& texts, int current) {
  auto* box = new QGroupBox(title, parent);
  box->setObjectName(name);
  auto* layout = new QVBoxLayout(box);
  auto* group = new QButtonGroup(box);
  for (int k = 0; k < texts.size(); ++k) {
    auto* b = new QRadioButton(texts[k], box);
    b->setChecked(k == current);
    group->addButton(b, k);
    layout->addWidget(b);
  }
  grid->addWidget(box, row, column);
  return group;
}

}  // namespace

FormatOptionsDialog::FormatOptionsDialog(const GraphOptions& o, QWidget* parent) : QDialog(parent) {
  setObjectName("FORMAT_OPTIONS_DLG");
  setWindowTitle(tr("Format Options"));
  auto* grid = new QGridLayout;
  grid_ = choices(this, grid, 0, 0, "grid", tr("Grid"), {tr("&None"), tr("&Single"), tr("&Double")}, o.grid);
  area_ = choices(this, grid, 0, 1, "area", tr("Plot area"), {tr("S&quare"), tr("&Rectangular")}, o.area);
  plotting_ =
      choices(this, grid, 1, 0, "plotting", tr("Plotting mode"), {tr("&All data"), tr("&Fast")}, o.plotting);
  direction_ = choices(this, grid, 1, 1, "direction", tr("Plot direction"),
                       {tr("&Both"), tr("&Up"), tr("D&own")}, o.direction);
  info_ = choices(this, grid, 2, 0, "info", tr("Information shown"), {tr("&Trace/symbol"), tr("S&PICE run")},
                  o.info);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addWidget(ok_cancel(this));
}

GraphOptions FormatOptionsDialog::options() const {
  return {grid_->checkedId(), area_->checkedId(), plotting_->checkedId(), direction_->checkedId(),
          info_->checkedId()};
}

}  // namespace zephyrim
