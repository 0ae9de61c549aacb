#pragma once
// Drawing of symbols with QPainter, on any device: screen, printer, picture.
// The painter works in page coordinates; the caller sets its transform.
#include <QColor>
#include <QPainter>

#include "symbols/symbol_geometry.h"

namespace zephyrim {

// Strokes and fills the paths and writes the texts of a symbol's geometry in
// the painter's current pen colour.
void paint_geometry(QPainter& painter, const SymbolGeometry& geometry, const QColor& color);

// Replays the symbol's commands for one placement (draw_symbol of a part).
void draw_symbol(QPainter& painter, const SymbolRecord& symbol, const Placement& at, const QColor& color,
                 const AttributeTexts* texts = nullptr);

}  // namespace zephyrim
