#include "render/symbol_painter.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainterPath>
#include <cmath>

namespace zephyrim {

namespace {

// Below this height in device pixels a text cannot be read: it is left out, which
// keeps a whole page fitted to the window quick to draw.
constexpr double kSmallestText = 3.0;

void paint_text(QPainter& painter, const GeoText& t) {
  const QTransform& m = painter.worldTransform();
  if (t.height * std::sqrt(std::abs(m.determinant())) < kSmallestText) return;
  QFont font = painter.font();
  font.setPixelSize(std::max(1, static_cast<int>(t.height + 0.5)));
  painter.setFont(font);
  const QFontMetricsF fm(font);
  const QString s = QString::fromLatin1(t.text.data(), static_cast<qsizetype>(t.text.size()));
  const double w = fm.horizontalAdvance(s);
  // Offsets of the base line start from the anchor, in the text's own frame.
  const double dx = t.h_align == 1 ? -w / 2 : t.h_align == 2 ? -w : 0;
  const double dy = t.v_align == 0 ? -fm.descent() : t.v_align == 2 ? fm.ascent() : 0;
  painter.save();
  painter.translate(t.anchor.x, t.anchor.y);
  if (t.vertical) painter.rotate(-90);
  painter.drawText(QPointF(dx, dy), s);
  painter.restore();
}

}  // namespace

void paint_geometry(QPainter& painter, const SymbolGeometry& g, const QColor& color) {
  painter.save();
  QPen pen(color);
  pen.setWidthF(1.0);
  pen.setCosmetic(true);
  pen.setCapStyle(Qt::RoundCap);
  pen.setJoinStyle(Qt::RoundJoin);
  painter.setPen(pen);
  for (const GeoPath& p : g.paths) {
    if (p.points.size() == 1) {
      painter.drawPoint(QPointF(p.points[0].x, p.points[0].y));
      continue;
    }
    QPolygonF poly;
    for (const auto& pt : p.points) poly << QPointF(pt.x, pt.y);
    if (p.closed) {
      painter.setBrush(p.filled ? QBrush(color) : Qt::NoBrush);
      painter.drawPolygon(poly);
    } else {
      painter.drawPolyline(poly);
    }
  }
  painter.setBrush(Qt::NoBrush);
  for (const GeoText& t : g.texts) paint_text(painter, t);
  painter.restore();
}

void draw_symbol(QPainter& painter, const SymbolRecord& symbol, const Placement& at, const QColor& color,
                 const AttributeTexts* texts) {
  paint_geometry(painter, symbol_geometry(symbol, at, texts), color);
}

}  // namespace zephyrim
