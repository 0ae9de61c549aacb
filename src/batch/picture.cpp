#include "batch/picture.h"

#include <QFile>
#include <QImage>
#include <QSvgGenerator>

namespace zephyrim {

namespace {

bool ends_with(const std::string& s, const char* suffix) {
  const std::string x(suffix);
  if (s.size() < x.size()) return false;
  std::string tail = s.substr(s.size() - x.size());
  for (auto& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return tail == x;
}

}  // namespace

bool write_picture(const std::string& path, const QRectF& page, double zoom,
                   const std::function<void(QPainter&)>& paint) {
  const QSize size(static_cast<int>(page.width() * zoom + 0.5), static_cast<int>(page.height() * zoom + 0.5));
  if (size.isEmpty()) return false;
  if (ends_with(path, ".svg")) {
    QSvgGenerator svg;
    svg.setFileName(QString::fromStdString(path));
    svg.setSize(size);
    svg.setViewBox(QRect(QPoint(0, 0), size));
    QPainter p;
    if (!p.begin(&svg)) return false;
    p.fillRect(QRect(QPoint(0, 0), size), Qt::white);
    p.scale(zoom, zoom);
    p.translate(-page.topLeft());
    paint(p);
    return p.end() && QFile::exists(QString::fromStdString(path));
  }
  QImage image(size, QImage::Format_RGB32);
  image.fill(Qt::white);
  {
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.scale(zoom, zoom);
    p.translate(-page.topLeft());
    paint(p);
  }
  return image.save(QString::fromStdString(path), ends_with(path, ".bmp") ? "BMP" : "PNG");
}

}  // namespace zephyrim
