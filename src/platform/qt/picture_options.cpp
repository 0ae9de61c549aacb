#include "platform/qt/picture_options.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <cmath>

namespace zephyrim {

namespace {
constexpr double kCmPerInch = 2.54;
}

QSizeF picture_millimetres(const PaperPicture& stored) {
  const PaperPicture& s = stored.width > 0 && stored.height > 0 ? stored : kDefaultPaperPicture;
  return {s.width / 10.0, s.height / 10.0};
}

PictureOptionsDialog::PictureOptionsDialog(const QString& object_name, const QString& caption,
                                           PaperPicture& stored, QWidget* parent)
    : QDialog(parent), stored_(&stored) {
  build(object_name, caption, true);
  const QSizeF mm = picture_millimetres(stored);
  const bool inches = stored.mode == 1;
  (inches ? inches_ : centimetres_)->setChecked(true);
  const double unit = inches ? kCmPerInch : 1.0;
  width_->setValue(mm.width() / 10 / unit);
  height_->setValue(mm.height() / 10 / unit);
  show_unit(inches);
  monochrome_->setChecked(stored.mono != 0);
}

PictureOptionsDialog::PictureOptionsDialog(const QString& object_name, const QString& caption, QSize pixels,
                                           bool monochrome, QWidget* parent)
    : QDialog(parent) {
  build(object_name, caption, false);
  pixel_width_->setValue(pixels.width());
  pixel_height_->setValue(pixels.height());
  monochrome_->setChecked(monochrome);
}

void PictureOptionsDialog::build(const QString& object_name, const QString& caption, bool vector) {
  setObjectName(object_name);
  setWindowTitle(caption);
  auto* form = new QFormLayout;
  if (vector) {
    width_ = new QDoubleSpinBox(this);
    height_ = new QDoubleSpinBox(this);
    for (QDoubleSpinBox* box : {width_, height_}) {
      box->setDecimals(2);
      box->setRange(1, 500);
    }
    centimetres_ = new QRadioButton(tr("&Centimetres"), this);
    inches_ = new QRadioButton(tr("&Inches"), this);
    auto* units = new QHBoxLayout;
    units->addWidget(centimetres_);
    units->addWidget(inches_);
    form->addRow(tr("Units:"), units);
    // Switching the unit converts what is typed, so the paper size stays.
    connect(inches_, &QRadioButton::toggled, this, [this](bool inches) {
      const double factor = inches ? 1 / kCmPerInch : kCmPerInch;
      width_->setValue(width_->value() * factor);
      height_->setValue(height_->value() * factor);
      show_unit(inches);
    });
  } else {
    pixel_width_ = new QSpinBox(this);
    pixel_height_ = new QSpinBox(this);
    for (QSpinBox* box : {pixel_width_, pixel_height_}) {
      box->setRange(16, 8000);
      box->setSuffix(tr(" pixels"));
    }
  }
  QWidget* w = vector ? static_cast<QWidget*>(width_) : pixel_width_;
  QWidget* h = vector ? static_cast<QWidget*>(height_) : pixel_height_;
  w->setObjectName("width");
  h->setObjectName("height");
  form->addRow(tr("&Width:"), w);
  form->addRow(tr("&Height:"), h);
  monochrome_ = new QCheckBox(tr("&Black and white"), this);
  monochrome_->setObjectName("monochrome");
  form->addRow(monochrome_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->setObjectName("buttons");
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

void PictureOptionsDialog::show_unit(bool inches) {
  for (QDoubleSpinBox* box : {width_, height_}) box->setSuffix(inches ? tr(" in") : tr(" cm"));
}

PictureOptions PictureOptionsDialog::options() const {
  PictureOptions o;
  o.monochrome = monochrome_->isChecked();
  if (pixel_width_) {
    o.pixels = QSize(pixel_width_->value(), pixel_height_->value());
  } else {
    const double unit = inches_->isChecked() ? kCmPerInch : 1.0;
    o.millimetres = QSizeF(width_->value() * unit * 10, height_->value() * unit * 10);
  }
  return o;
}

void PictureOptionsDialog::accept() {
  if (stored_) {
    const PictureOptions o = options();
    stored_->mode = inches_->isChecked() ? 1 : 0;
    stored_->width = static_cast<int>(std::lround(o.millimetres.width() * 10));
    stored_->height = static_cast<int>(std::lround(o.millimetres.height() * 10));
    stored_->mono = o.monochrome ? 1 : 0;
  }
  QDialog::accept();
}

}  // namespace zephyrim
