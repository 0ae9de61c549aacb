#pragma once
// One drawing of a schematic page for every device: the editor's window, the
// printer and picture files all go through draw_page, so what prints is what
// the screen shows. The painter works in page (schematic) coordinates; the
// caller sets its transform.
#include <QColor>
#include <QPainter>
#include <QRectF>
#include <QTransform>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>

#include "schematic/schematic.h"

namespace zephyrim {

inline constexpr int kPaletteSize = 16;

// Character height of free texts, node labels, the ruler and the title block,
// in schematic units (the title block and ruler grow with the print scale).
inline constexpr double kPageTextHeight = 9.0;

// The colours objects are drawn in. Objects carry only an index into `colors`;
// the rest are the fixed colours of the page itself.
struct PagePalette {
  std::array<QColor, kPaletteSize> colors;
  QColor disabled;
  QColor grid;
  QColor border;  // border, ruler and title block
  QColor background;
  QColor selection;

  PagePalette();  // the classic 16 colours on white
  // Bad indexes are clamped into the palette rather than refused: a damaged
  // file still draws.
  const QColor& color(int32_t index) const;
};

struct PageDrawOptions {
  const PagePalette* palette = nullptr;  // absent: the classic palette
  QRectF visible;                        // page area to draw; empty = everything
  // Absent: as the page's settings say.
  std::optional<bool> grid;
  std::optional<int32_t> border;  // 0 none, 1 ruler, 2 box
  std::optional<bool> title;
  bool show_selection = false;  // pictures and prints never show it unless asked
  // Drawn last, over the page (the operating point's values while they are shown).
  std::function<void(QPainter&)> overlay;
};

// The drawing area of the page's size: (0, 0, width, height).
QRectF page_extent(const Page& page);

// A transform that fits the area into the target rectangle, scaled alike in x
// and y and centred (printing, fit to window, picture files).
QTransform fit_transform(const QRectF& area, const QRectF& target);

// Draws the page: background, grid, border, title block, wires, parts with
// their attribute texts, junction dots, node labels and texts.
void draw_page(QPainter& painter, const Schematic& schematic, const Page& page,
               const PageDrawOptions& options = {});

// Page areas that draw_page may paint for one object (texts estimated
// generously), used to skip what lies outside the visible area and to find
// what a change must repaint. `scale` is the page's symbol scale.
QRectF part_bounds(const PartRecord& part, int scale);
QRectF label_bounds(const LabelRecord& label);
QRectF text_bounds(const TextRecord& text);

}  // namespace zephyrim
