#pragma once
// The options asked before a picture file is written: its size and whether it
// is drawn in black and white. Vector pictures (SVG, PDF) have a paper size,
// kept by the program between pictures; bitmaps a size in pixels. Both the
// editor and the viewer ask through this dialog.
#include <QDialog>
#include <QSize>
#include <QSizeF>

class QCheckBox;
class QDoubleSpinBox;
class QRadioButton;
class QSpinBox;

namespace zephyrim {

// A vector picture's kept settings, as the configuration files store them.
struct PaperPicture {
  int mode = 0;   // the dialog's size unit: 0 centimetres, 1 inches
  int width = 0;  // in hundredths of a centimetre, whatever the unit shown
  int height = 0;
  int mono = 0;  // black and white
};

// 16 x 12 cm in centimetres, in colour.
inline constexpr PaperPicture kDefaultPaperPicture = {0, 1600, 1200, 0};

struct PictureOptions {
  QSize pixels{};        // bitmaps
  QSizeF millimetres{};  // vector pictures
  bool monochrome = false;
};

// The paper size of stored options, in millimetres; a size never set (or
// damaged) is the default one.
QSizeF picture_millimetres(const PaperPicture& stored);

class PictureOptionsDialog : public QDialog {
  Q_OBJECT
 public:
  // Vector formats: stored is the kept entry, updated on OK.
  PictureOptionsDialog(const QString& object_name, const QString& caption, PaperPicture& stored,
                       QWidget* parent = nullptr);
  // Bitmaps: pixels and monochrome as offered.
  PictureOptionsDialog(const QString& object_name, const QString& caption, QSize pixels, bool monochrome,
                       QWidget* parent = nullptr);

  PictureOptions options() const;
  void accept() override;

 private:
  void build(const QString& object_name, const QString& caption, bool vector);
  void show_unit(bool inches);

  PaperPicture* stored_ = nullptr;
  QDoubleSpinBox* width_ = nullptr;  // vector: in the unit shown
  QDoubleSpinBox* height_ = nullptr;
  QSpinBox* pixel_width_ = nullptr;  // bitmaps
  QSpinBox* pixel_height_ = nullptr;
  QRadioButton* centimetres_ = nullptr;
  QRadioButton* inches_ = nullptr;
  QCheckBox* monochrome_ = nullptr;
};

}  // namespace zephyrim
