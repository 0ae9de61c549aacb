#pragma once
// Picture files: PNG and BMP through QImage, SVG through QtSvg, PDF through
// QPdfWriter. Each is made in memory and then written through the crash-safe
// writer, so a failure never leaves half a picture in place of a good one. The
// batch tool, the editor and the viewer write their pictures here.
#include <QIODevice>
#include <QImage>
#include <QPainter>
#include <QRectF>
#include <functional>
#include <string>

namespace zephyrim {

// Writes a picture of the page rectangle at zoom pixels per schematic unit; the
// format follows the extension (.png, .bmp, .svg). The callback paints in page
// coordinates of the rectangle. Returns false on failure.
bool write_picture(const std::string& path, const QRectF& page, double zoom,
                   const std::function<void(QPainter&)>& paint);

// Writes a bitmap as format ("BMP", "PNG"), or when none is given as the
// extension says (.bmp, anything else PNG). False when it cannot be encoded
// or written; path is then untouched.
bool write_image(const std::string& path, const QImage& image, const char* format = nullptr);

// Lets `render` write into a memory device, then writes what it wrote to path.
// False when rendering or writing failed; path is then untouched.
bool write_rendered(const std::string& path, const std::function<bool(QIODevice&)>& render);

// The extension of the file name in lower case with its dot (".png"), or empty.
std::string lower_extension(const std::string& path);

}  // namespace zephyrim
