#include "viewer/app/fft_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QVBoxLayout>
#include <cmath>

#include "common/eng_number.h"
#include "common/notify.h"
#include "viewer/app/dialog_buttons.h"

namespace zephyrim {

namespace {
const char* const kWindowLabels[kFftWindows] = {"None (rectangular)", "Hann", "Hamming", "Blackman",
                                                "Flat top"};
}  // namespace

FftOptionsDialog::FftOptionsDialog(const FftOptions& transform, Notify& notify, QWidget* parent)
    : QDialog(parent),
      notify_(notify),
      points_(new QComboBox(this)),
      window_(new QComboBox(this)),
      fundamental_(new QLineEdit(this)) {
  setWindowTitle(tr("FFT Plot Options"));
  setObjectName("fft_plot_options");
  auto* forms = new QGroupBox(tr("Plot"), this);
  auto* grid = new QGridLayout(forms);
  for (int f = 0; f < kComplexForms; ++f) {
    auto* box = new QCheckBox(tr(kComplexFormLabels[f]), forms);
    box->setObjectName(QString("form_%1").arg(kComplexFormCodes[f]).toLower());
    box->setChecked(f == FORM_MAGNITUDE);
    grid->addWidget(box, f % 5, f / 5);
    forms_[static_cast<size_t>(f)] = box;
  }

  auto* transform_box = new QGroupBox(tr("Transform"), this);
  auto* form = new QFormLayout(transform_box);
  points_->setObjectName("points");
  points_->addItem(tr("Automatic (up to %1)").arg(kFftDefaultMaxPoints), 0);
  for (int64_t n = 2; n <= kFftMaxPoints; n *= 2)
    points_->addItem(QString::number(n), QVariant::fromValue(n));
  points_->setCurrentIndex(std::max(0, points_->findData(QVariant::fromValue(transform.points))));
  form->addRow(tr("&Points:"), points_);
  window_->setObjectName("window");
  for (const char* label : kWindowLabels) window_->addItem(tr(label));
  window_->setCurrentIndex(transform.window >= 0 && transform.window < kFftWindows ? transform.window : 0);
  form->addRow(tr("&Window:"), window_);
  fundamental_->setObjectName("fundamental");
  fundamental_->setPlaceholderText(tr("off"));
  if (transform.fundamental > 0)
    fundamental_->setText(QString::fromStdString(format_eng_viewer(transform.fundamental, 6)));
  fundamental_->setToolTip(
      tr("The record is cut to the last whole periods of this frequency (Hz), so that "
         "its harmonics fall on spectrum lines. Empty: the whole record."));
  form->addRow(tr("Whole periods of (&Hz):"), fundamental_);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(forms);
  layout->addWidget(transform_box);
  layout->addWidget(ok_cancel(this));
}

void FftOptionsDialog::accept() {
  QString typed = fundamental_->text().trimmed();
  if (typed.endsWith("hz", Qt::CaseInsensitive)) typed.chop(2);
  std::string text = typed.trimmed().toStdString();
  double value = 0;
  if (!text.empty() &&
      (parse_eng(text, value) != static_cast<int>(text.size()) || !(value > 0) || !std::isfinite(value))) {
    notify_.error("The fundamental frequency must be a number above 0, or empty");
    fundamental_->setFocus();
    return;
  }
  fundamental_value_ = value;
  QDialog::accept();
}

FftPlotOptions FftOptionsDialog::options() const {
  FftPlotOptions o;
  for (int f = 0; f < kComplexForms; ++f)
    o.forms[static_cast<size_t>(f)] = forms_[static_cast<size_t>(f)]->isChecked();
  if (o.forms[FORM_PHASE]) {
    o.forms[FORM_PHASE] = false;
    o.forms[FORM_ANGLE] = true;
  }
  o.transform.points = points_->currentData().toLongLong();
  o.transform.window = window_->currentIndex();
  o.transform.fundamental = fundamental_value_;
  return o;
}

}  // namespace zephyrim
