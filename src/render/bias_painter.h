#pragma once
// The operating point's values drawn over a page, on the sheet and wherever
// the page is printed or saved while they are shown.
#include <QColor>
#include <QPainter>
#include <vector>

#include "netlist/bias_display.h"

namespace zephyrim {

// Palette index of the values: apart from wires, parts and node names.
inline constexpr int kBiasColor = 13;

// Each value on a white patch, so that it stays legible where it crosses a
// wire; the painter works in page coordinates.
void draw_bias_labels(QPainter& painter, const std::vector<BiasLabel>& labels, const QColor& color);

}  // namespace zephyrim
