#pragma once
// "FFT Plot Options": the complex forms each spectrum is shown in, and the
// options beyond the plain transform (more points, a window function, whole
// periods of a fundamental), which the viewer offers again next time.
#include <QDialog>
#include <array>

#include "viewer/plot/fft_display.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace zephyrim {

class Notify;

class FftOptionsDialog : public QDialog {
  Q_OBJECT
 public:
  // Opens with only the magnitude form set, as every time, and the transform
  // options given.
  FftOptionsDialog(const FftOptions& transform, Notify& notify, QWidget* parent = nullptr);
  // The choice, the phase-shift form turned into the phase angle: the unwrapped
  // phase of a spectrum's lines means nothing.
  FftPlotOptions options() const;

  void accept() override;

 private:
  Notify& notify_;
  std::array<QCheckBox*, kComplexForms> forms_{};
  QComboBox* points_;
  QComboBox* window_;
  QLineEdit* fundamental_;
  double fundamental_value_ = 0;
};

}  // namespace zephyrim
