#include "render/picture_file.h"

#include <QBuffer>
#include <QSvgGenerator>
#include <cctype>

#include "common/file_io.h"

namespace zephyrim {

namespace {

void paint_page(QPainter& p, const QRectF& page, double zoom, const std::function<void(QPainter&)>& paint) {
  p.scale(zoom, zoom);
  p.translate(-page.topLeft());
  paint(p);
}

}  // namespace

std::string lower_extension(const std::string& path) {
  const size_t dot = path.find_last_of('.');
  const size_t slash = path.find_last_of('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string ext = path.substr(dot);
  for (auto& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

bool write_rendered(const std::string& path, const std::function<bool(QIODevice&)>& render) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  if (!buffer.open(QIODevice::WriteOnly) || !render(buffer)) return false;
  buffer.close();
  if (bytes.isEmpty()) return false;
  return write_file_atomic(path, std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
}

bool write_image(const std::string& path, const QImage& image, const char* format) {
  if (image.isNull()) return false;
  if (!format) format = lower_extension(path) == ".bmp" ? "BMP" : "PNG";
  return write_rendered(path, [&](QIODevice& device) { return image.save(&device, format); });
}

bool write_picture(const std::string& path, const QRectF& page, double zoom,
                   const std::function<void(QPainter&)>& paint) {
  const QSize size(static_cast<int>(page.width() * zoom + 0.5), static_cast<int>(page.height() * zoom + 0.5));
  if (size.isEmpty()) return false;
  if (lower_extension(path) == ".svg") {
    return write_rendered(path, [&](QIODevice& device) {
      QSvgGenerator svg;
      svg.setOutputDevice(&device);
      svg.setSize(size);
      svg.setViewBox(QRect(QPoint(0, 0), size));
      QPainter p;
      if (!p.begin(&svg)) return false;
      p.fillRect(QRect(QPoint(0, 0), size), Qt::white);
      paint_page(p, page, zoom, paint);
      return p.end();
    });
  }
  QImage image(size, QImage::Format_RGB32);
  if (image.isNull()) return false;
  image.fill(Qt::white);
  {
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    paint_page(p, page, zoom, paint);
  }
  return write_image(path, image);
}

}  // namespace zephyrim
