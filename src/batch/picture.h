#pragma once
// Pictures written by the batch tool: PNG through QImage, SVG through QtSvg.
// The callback paints in page coordinates of the given rectangle.
#include <QPainter>
#include <QRectF>
#include <functional>
#include <string>

namespace zephyrim {

// Writes a picture of the page rectangle at zoom pixels per schematic unit; the
// format follows the extension (.png, .svg). Returns false on failure.
bool write_picture(const std::string& path, const QRectF& page, double zoom,
                   const std::function<void(QPainter&)>& paint);

}  // namespace zephyrim
