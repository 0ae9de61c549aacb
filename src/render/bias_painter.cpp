#include "render/bias_painter.h"

#include <QFontMetricsF>

namespace zephyrim {

namespace {

// The values are set as the node names are: a small face in page units.
constexpr int kBiasTextPixels = 9;

}  // namespace

void draw_bias_labels(QPainter& painter, const std::vector<BiasLabel>& labels, const QColor& color) {
  painter.save();
  QFont f = painter.font();
  f.setPixelSize(kBiasTextPixels);
  painter.setFont(f);
  const QFontMetricsF m(f);
  for (const BiasLabel& b : labels) {
    const QString text = QString::fromStdString(b.text);
    const QSizeF size(m.horizontalAdvance(text), m.height());
    const double x = b.h_align == 0 ? b.x : b.h_align == 1 ? b.x - size.width() / 2 : b.x - size.width();
    const double y = b.v_align == 0 ? b.y : b.v_align == 1 ? b.y - size.height() / 2 : b.y - size.height();
    const QRectF box(x, y, size.width(), size.height());
    painter.fillRect(box.adjusted(-1, 0, 1, 0), Qt::white);
    painter.setPen(color);
    painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter, text);
  }
  painter.restore();
}

}  // namespace zephyrim
