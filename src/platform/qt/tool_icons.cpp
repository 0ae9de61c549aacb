#include "platform/qt/tool_icons.h"

#include <QAction>
#include <QMainWindow>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QToolBar>
#include <cmath>

namespace zephyrim {

namespace {

// Draws on a 24 x 24 grid; the pixmap is made at several sizes for sharp
// toolbars at any scale.
void draw(QPainter& p, ToolGlyph g) {
  const QColor ink(40, 40, 48), accent(20, 110, 200), green(30, 150, 60), red(200, 50, 40);
  QPen pen(ink, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  p.setPen(pen);
  p.setBrush(Qt::NoBrush);
  auto with = [&](const QColor& c, double w = 1.6) {
    QPen q(c, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(q);
  };
  auto page = [&] {
    QPainterPath sheet;
    sheet.moveTo(5, 3);
    sheet.lineTo(15, 3);
    sheet.lineTo(19, 7);
    sheet.lineTo(19, 21);
    sheet.lineTo(5, 21);
    sheet.closeSubpath();
    p.setBrush(Qt::white);
    p.drawPath(sheet);
    p.setBrush(Qt::NoBrush);
  };
  auto magnifier = [&] {
    p.drawEllipse(QPointF(10, 10), 6, 6);
    with(ink, 2.4);
    p.drawLine(QPointF(14.5, 14.5), QPointF(20, 20));
    with(ink);
  };
  auto arrow_arc = [&](bool forward) {
    QPainterPath arc;
    arc.arcMoveTo(5, 6, 14, 14, forward ? 160 : 20);
    arc.arcTo(5, 6, 14, 14, forward ? 160 : 20, forward ? -140 : 140);
    p.drawPath(arc);
    const QPointF tip = forward ? QPointF(18.6, 10.5) : QPointF(5.4, 10.5);
    const double s = forward ? -1 : 1;
    p.drawLine(tip, tip + QPointF(s * 4, -1));
    p.drawLine(tip, tip + QPointF(s * 0.5, -4));
  };
  auto wave = [&](const QColor& c) {
    with(c, 1.8);
    QPainterPath w;
    for (int i = 0; i <= 32; ++i) {
      const double x = 3 + i * 18.0 / 32, y = 12 - 6 * std::sin(i * 2 * M_PI / 16);
      if (i == 0)
        w.moveTo(x, y);
      else
        w.lineTo(x, y);
    }
    p.drawPath(w);
    with(ink);
  };
  switch (g) {
    case ToolGlyph::New:
      page();
      p.drawLine(QPointF(15, 3), QPointF(15, 7));
      p.drawLine(QPointF(15, 7), QPointF(19, 7));
      break;
    case ToolGlyph::Open: {
      p.setBrush(QColor(240, 200, 90));
      QPainterPath f;
      f.moveTo(3, 7);
      f.lineTo(9, 7);
      f.lineTo(11, 9);
      f.lineTo(21, 9);
      f.lineTo(21, 19);
      f.lineTo(3, 19);
      f.closeSubpath();
      p.drawPath(f);
      break;
    }
    case ToolGlyph::Save:
      p.setBrush(QColor(120, 150, 200));
      p.drawRoundedRect(QRectF(4, 4, 16, 16), 1.5, 1.5);
      p.setBrush(Qt::white);
      p.drawRect(QRectF(7, 4, 10, 6));
      p.drawRect(QRectF(7, 13, 10, 7));
      break;
    case ToolGlyph::Print:
      p.setBrush(Qt::white);
      p.drawRect(QRectF(7, 3, 10, 7));
      p.setBrush(QColor(180, 180, 190));
      p.drawRoundedRect(QRectF(3, 9, 18, 8), 1.5, 1.5);
      p.setBrush(Qt::white);
      p.drawRect(QRectF(7, 14, 10, 7));
      break;
    case ToolGlyph::Undo:
      with(accent, 2);
      arrow_arc(false);
      break;
    case ToolGlyph::Redo:
      with(accent, 2);
      arrow_arc(true);
      break;
    case ToolGlyph::Cut:
      p.drawEllipse(QPointF(7, 17), 3, 3);
      p.drawEllipse(QPointF(17, 17), 3, 3);
      p.drawLine(QPointF(9, 15), QPointF(17, 3));
      p.drawLine(QPointF(15, 15), QPointF(7, 3));
      break;
    case ToolGlyph::Copy:
      p.setBrush(Qt::white);
      p.drawRect(QRectF(4, 3, 11, 13));
      p.drawRect(QRectF(9, 8, 11, 13));
      break;
    case ToolGlyph::Paste:
      p.setBrush(QColor(200, 170, 120));
      p.drawRoundedRect(QRectF(4, 4, 16, 17), 1.5, 1.5);
      p.setBrush(Qt::white);
      p.drawRect(QRectF(8, 8, 11, 12));
      p.drawRect(QRectF(9, 2.5, 6, 3));
      break;
    case ToolGlyph::Delete:
      with(red, 2.6);
      p.drawLine(QPointF(6, 6), QPointF(18, 18));
      p.drawLine(QPointF(18, 6), QPointF(6, 18));
      break;
    case ToolGlyph::Rotate:
      with(accent, 2);
      arrow_arc(true);
      with(ink);
      p.drawRect(QRectF(9, 13, 6, 8));
      break;
    case ToolGlyph::Mirror:
      with(ink, 1.2);
      p.drawLine(QPointF(12, 3), QPointF(12, 21));
      with(accent, 1.6);
      p.setBrush(QColor(20, 110, 200, 90));
      p.drawPolygon(QPolygonF({QPointF(10, 6), QPointF(10, 18), QPointF(3, 18)}));
      p.drawPolygon(QPolygonF({QPointF(14, 6), QPointF(14, 18), QPointF(21, 18)}));
      break;
    case ToolGlyph::Wire:
      with(green, 2);
      p.drawPolyline(QPolygonF({QPointF(3, 6), QPointF(13, 6), QPointF(13, 18), QPointF(21, 18)}));
      p.setBrush(green);
      p.drawEllipse(QPointF(13, 6), 1.8, 1.8);
      break;
    case ToolGlyph::Part:
      with(accent, 1.8);
      p.drawPolyline(QPolygonF({QPointF(2, 12), QPointF(5, 12), QPointF(6.5, 7), QPointF(9.5, 17),
                                QPointF(12.5, 7), QPointF(15.5, 17), QPointF(17.5, 12), QPointF(22, 12)}));
      break;
    case ToolGlyph::Ground:
      with(ink, 1.8);
      p.drawLine(QPointF(12, 3), QPointF(12, 11));
      p.drawLine(QPointF(4, 11), QPointF(20, 11));
      p.drawLine(QPointF(7, 15), QPointF(17, 15));
      p.drawLine(QPointF(10, 19), QPointF(14, 19));
      break;
    case ToolGlyph::Label:
      with(green, 1.8);
      p.drawLine(QPointF(3, 19), QPointF(21, 19));
      with(ink);
      p.setFont(QFont("Sans", 9, QFont::Bold));
      p.drawText(QRectF(2, 3, 20, 14), Qt::AlignCenter, "N1");
      break;
    case ToolGlyph::Text:
      p.setFont(QFont("Serif", 15, QFont::Bold));
      p.drawText(QRectF(0, 0, 24, 24), Qt::AlignCenter, "T");
      break;
    case ToolGlyph::ZoomIn:
    case ToolGlyph::ZoomOut:
      magnifier();
      p.drawLine(QPointF(7, 10), QPointF(13, 10));
      if (g == ToolGlyph::ZoomIn) p.drawLine(QPointF(10, 7), QPointF(10, 13));
      break;
    case ToolGlyph::ZoomFit:
      p.drawRect(QRectF(3, 3, 18, 18));
      with(accent, 1.6);
      p.drawRect(QRectF(7, 7, 10, 10));
      break;
    case ToolGlyph::ZoomArea:
      magnifier();
      with(accent, 1.2);
      p.drawRect(QRectF(7, 7, 6, 6));
      break;
    case ToolGlyph::Setup:
      for (int i = 0; i < 3; ++i) {
        const double y = 6 + i * 6, knob = i == 1 ? 15 : i == 0 ? 8 : 11;
        p.drawLine(QPointF(3, y), QPointF(21, y));
        p.setBrush(accent);
        p.drawEllipse(QPointF(knob, y), 2.3, 2.3);
        p.setBrush(Qt::NoBrush);
      }
      break;
    case ToolGlyph::Run:
      p.setPen(Qt::NoPen);
      p.setBrush(green);
      p.drawPolygon(QPolygonF({QPointF(6, 4), QPointF(20, 12), QPointF(6, 20)}));
      break;
    case ToolGlyph::Plot:
      p.drawLine(QPointF(3, 3), QPointF(3, 21));
      p.drawLine(QPointF(3, 21), QPointF(21, 21));
      wave(accent);
      break;
    case ToolGlyph::Probe:
      wave(accent);
      with(red, 1.8);
      p.drawLine(QPointF(14, 21), QPointF(20, 15));
      p.drawLine(QPointF(14, 21), QPointF(14, 17));
      p.drawLine(QPointF(14, 21), QPointF(18, 21));
      break;
    case ToolGlyph::AddTrace:
      wave(accent);
      with(green, 2.2);
      p.drawLine(QPointF(17, 15), QPointF(17, 22));
      p.drawLine(QPointF(13.5, 18.5), QPointF(20.5, 18.5));
      break;
    case ToolGlyph::Cursor1:
    case ToolGlyph::Cursor2:
      wave(QColor(150, 150, 160));
      with(g == ToolGlyph::Cursor1 ? red : accent, 1.8);
      p.drawLine(QPointF(12, 2), QPointF(12, 22));
      p.setFont(QFont("Sans", 7, QFont::Bold));
      p.drawText(QRectF(13, 1, 10, 9), Qt::AlignCenter, g == ToolGlyph::Cursor1 ? "1" : "2");
      break;
    case ToolGlyph::Script:
      page();
      for (int i = 0; i < 4; ++i) p.drawLine(QPointF(8, 8 + i * 3.5), QPointF(16, 8 + i * 3.5));
      break;
    case ToolGlyph::Help:
      p.setBrush(accent);
      p.setPen(Qt::NoPen);
      p.drawEllipse(QPointF(12, 12), 9.5, 9.5);
      p.setPen(Qt::white);
      p.setFont(QFont("Sans", 12, QFont::Bold));
      p.drawText(QRectF(0, 0, 24, 24), Qt::AlignCenter, "?");
      break;
  }
}

}  // namespace

QIcon tool_icon(const QString& theme_name, ToolGlyph fallback) {
  if (!theme_name.isEmpty() && QIcon::hasThemeIcon(theme_name)) return QIcon::fromTheme(theme_name);
  QIcon icon;
  for (int size : {16, 24, 32, 48}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 24.0, size / 24.0);
    draw(p, fallback);
    p.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

void add_toolbar(QMainWindow& window, const QString& object_name, std::span<const ToolbarEntry> tools,
                 const std::function<QAction*(int)>& action) {
  QToolBar* bar = window.addToolBar("Tools");
  bar->setObjectName(object_name);
  bar->setIconSize(QSize(22, 22));
  for (const ToolbarEntry& t : tools) {
    if (t.id == 0) {
      bar->addSeparator();
      continue;
    }
    QAction* a = action(t.id);
    // Commands not built yet stay in their menus only.
    if (!a || !a->isEnabled()) continue;
    a->setIcon(tool_icon(QString::fromLatin1(t.theme), t.glyph));
    a->setIconVisibleInMenu(false);
    bar->addAction(a);
  }
}

}  // namespace zephyrim
