#pragma once
// The options asked before the graph is written as a picture: its size and
// whether it is drawn in black and white. Vector pictures (SVG, PDF) have a
// paper size kept in the configuration; bitmaps a size in pixels.
#include <QDialog>
#include <QSize>
#include <QSizeF>

#include "viewer/session/viewer_config.h"

class QCheckBox;
class QDoubleSpinBox;
class QRadioButton;
class QSpinBox;

namespace zephyrim {

struct PictureOptions {
  QSize pixels{};        // bitmaps
  QSizeF millimetres{};  // vector pictures
  bool monochrome = false;
};

// The paper size of stored options, in millimetres (they keep hundredths of a centimetre).
QSizeF picture_millimetres(const PictureExport& stored);

class PictureOptionsDialog : public QDialog {
  Q_OBJECT
 public:
  // Vector formats: stored is the configuration's entry, updated on OK.
  PictureOptionsDialog(const QString& object_name, const QString& caption, PictureExport& stored,
                       QWidget* parent = nullptr);
  // Bitmaps: pixels and monochrome as offered.
  PictureOptionsDialog(const QString& object_name, const QString& caption, QSize pixels, bool monochrome,
                       QWidget* parent = nullptr);

  PictureOptions options() const;
  void accept() override;

 private:
  void build(const QString& object_name, const QString& caption, bool vector);
  void show_unit(bool inches);

  PictureExport* stored_ = nullptr;
  QDoubleSpinBox* width_ = nullptr;  // vector: in the unit shown
  QDoubleSpinBox* height_ = nullptr;
  QSpinBox* pixel_width_ = nullptr;  // bitmaps
  QSpinBox* pixel_height_ = nullptr;
  QRadioButton* centimetres_ = nullptr;
  QRadioButton* inches_ = nullptr;
  QCheckBox* monochrome_ = nullptr;
};

}  // namespace zephyrim
