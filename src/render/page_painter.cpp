#include "render/page_painter.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPolygonF>
#include <QString>
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "render/symbol_painter.h"
#include "schematic/page_size.h"
#include "symbols/symbol_geometry.h"

namespace zephyrim {

namespace {

// Grid dots closer than this on the device only make a grey haze.
constexpr double kMinGridPixels = 4.0;

// Title block and ruler measures at print scale 1, in schematic units.
constexpr double kTitleWidth = 400;
constexpr double kTitleRow = 16;
constexpr double kTitleFirstRow = 24;
constexpr double kTitleTextHeight = 14;
constexpr double kTitlePadding = 4;
constexpr double kRulerStrip = 16;
constexpr double kRulerZone = 200;

const PagePalette& classic_palette() {
  static const PagePalette palette;
  return palette;
}

QString latin1(const std::string& s) {
  return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

// Device pixels per page unit under the painter's whole transform.
double device_scale(const QPainter& painter) {
  return std::sqrt(std::abs(painter.combinedTransform().determinant()));
}

// Rectangles of wires have no width, so this compares edges, not areas.
bool overlaps(const QRectF& a, const QRectF& b, double margin) {
  return a.left() - margin <= b.right() && b.left() <= a.right() + margin && a.top() - margin <= b.bottom() &&
         b.top() <= a.bottom() + margin;
}

QRectF box_of(double x1, double y1, double x2, double y2) {
  return QRectF(QPointF(std::min(x1, x2), std::min(y1, y2)), QPointF(std::max(x1, x2), std::max(y1, y2)));
}

// A generous box for a text of n characters around its anchor: whatever its
// alignment and direction, it stays inside.
QRectF text_reach(double x, double y, size_t chars, double height) {
  const double r = (static_cast<double>(chars) + 1) * height;
  return QRectF(x - r, y - r, 2 * r, 2 * r);
}

QPen cosmetic_pen(const QColor& color) {
  QPen pen(color);
  pen.setWidthF(1.0);
  pen.setCosmetic(true);
  pen.setCapStyle(Qt::RoundCap);
  pen.setJoinStyle(Qt::RoundJoin);
  return pen;
}

QFont sized_font(const QFont& base, double height) {
  QFont font = base;
  font.setPixelSize(std::max(1, static_cast<int>(height + 0.5)));
  return font;
}

std::vector<std::string> text_lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

// A stored spacing that is no number or absurd would stack the lines on top
// of each other or spread them over the page.
double line_height(const TextRecord& t) {
  const double s = std::isfinite(t.line_spacing) ? t.line_spacing : 1.35;
  return kPageTextHeight * std::clamp(s, 0.5, 10.0);
}

AttributeTexts attribute_texts(const PartRecord& p) {
  AttributeTexts t;
  t.reference = p.reference.str();
  t.value = p.value.str();
  t.params = p.params;
  t.show = p.show;
  return t;
}

Placement placement(const PartRecord& p, int scale) {
  Placement at;
  at.x = p.x;
  at.y = p.y;
  at.scale = scale;
  at.steps = p.steps.data();
  at.step_count = std::clamp<int>(p.step_count, 0, kMaxOrientSteps);
  return at;
}

int page_scale(const Page& page) {
  return page.settings.scale == 2 ? 2 : 1;
}

class PageDrawer {
 public:
  PageDrawer(QPainter& painter, const Page& page, const PageDrawOptions& o)
      : p_(painter),
        page_(page),
        pal_(o.palette ? *o.palette : classic_palette()),
        visible_(o.visible),
        show_selection_(o.show_selection),
        size_(page_size(page.settings.sheet_size)),
        extent_(page_extent(page)) {
    scale_ = device_scale(painter);
    // Pens are one device pixel wide whatever the zoom, so at low zoom an
    // object just outside still reaches in.
    margin_ = scale_ > 0 ? std::max(1.0, 2.0 / scale_) : 1.0;
    text_font_ = sized_font(painter.font(), kPageTextHeight);
  }

  bool in_view(const QRectF& r) const { return visible_.isEmpty() || overlaps(r, visible_, margin_); }

  const QColor& object_color(int32_t color, int32_t selected, int32_t disabled) const {
    if (show_selection_ && selected) return pal_.selection;
    if (disabled) return pal_.disabled;
    return pal_.color(color);
  }

  void background() {
    p_.fillRect(visible_.isEmpty() ? extent_ : visible_.intersected(extent_), pal_.background);
  }

  void grid() {
    if (scale_ * kGridStep < kMinGridPixels) return;
    const QRectF area = visible_.isEmpty() ? extent_ : visible_.intersected(extent_);
    if (area.isEmpty()) return;
    p_.setPen(cosmetic_pen(pal_.grid));
    const double x0 = std::ceil(area.left() / kGridStep) * kGridStep;
    const double y0 = std::ceil(area.top() / kGridStep) * kGridStep;
    QPolygonF row;
    for (double y = y0; y <= area.bottom(); y += kGridStep) {
      row.clear();
      for (double x = x0; x <= area.right(); x += kGridStep) row << QPointF(x, y);
      p_.drawPoints(row);
    }
  }

  void border(int32_t kind) {
    if (kind != 1 && kind != 2) return;
    p_.setPen(cosmetic_pen(pal_.border));
    p_.setBrush(Qt::NoBrush);
    p_.drawRect(extent_);
    if (kind == 1) ruler();
  }

  // Zones numbered along the top and bottom, lettered down the sides, in a
  // strip inside the box.
  void ruler() {
    const double s = kRulerStrip * size_.print_scale;
    const QRectF inner = extent_.adjusted(s, s, -s, -s);
    if (inner.isEmpty()) return;
    p_.drawRect(inner);
    const QFont font = sized_font(p_.font(), kPageTextHeight * size_.print_scale);
    p_.setFont(font);
    const int nx = std::max(1, static_cast<int>(extent_.width() / (kRulerZone * size_.print_scale) + 0.5));
    const int ny = std::max(
        1, std::min(26, static_cast<int>(extent_.height() / (kRulerZone * size_.print_scale) + 0.5)));
    const double zx = extent_.width() / nx, zy = extent_.height() / ny;
    for (int i = 0; i < nx; ++i) {
      const double x = extent_.left() + i * zx;
      if (i > 0) {
        p_.drawLine(QPointF(x, extent_.top()), QPointF(x, inner.top()));
        p_.drawLine(QPointF(x, inner.bottom()), QPointF(x, extent_.bottom()));
      }
      const QString n = QString::number(i + 1);
      p_.drawText(QRectF(x, extent_.top(), zx, s), Qt::AlignCenter, n);
      p_.drawText(QRectF(x, inner.bottom(), zx, s), Qt::AlignCenter, n);
    }
    for (int j = 0; j < ny; ++j) {
      const double y = extent_.top() + j * zy;
      if (j > 0) {
        p_.drawLine(QPointF(extent_.left(), y), QPointF(inner.left(), y));
        p_.drawLine(QPointF(inner.right(), y), QPointF(extent_.right(), y));
      }
      const QString letter(QChar('A' + j));
      p_.drawText(QRectF(extent_.left(), y, s, zy), Qt::AlignCenter, letter);
      p_.drawText(QRectF(inner.right(), y, s, zy), Qt::AlignCenter, letter);
    }
  }

  // At the bottom right inside the border, sized with the print scale so that
  // it prints alike on every sheet.
  void title_block(int32_t border_kind) {
    const double k = size_.print_scale;
    const double inset = border_kind == 1 ? kRulerStrip * k : 0;
    const double w = kTitleWidth * k, row = kTitleRow * k, first = kTitleFirstRow * k;
    const double h = first + 5 * row;
    const QRectF box(extent_.right() - inset - w, extent_.bottom() - inset - h, w, h);
    if (!in_view(box)) return;
    const TitleBlock& t = page_.title;
    const std::string revised = t.revised.empty() ? std::string() : "Revised: " + t.revised.str();
    struct Cell {
      double share;
      std::string text;
    };
    const std::vector<std::vector<Cell>> rows = {
        {{1.0, t.title1.str()}},
        {{1.0, t.title2.str()}},
        {{1.0, t.file.str()}},
        {{0.5, t.drawn_by.str()}, {0.5, t.created.str()}},
        {{0.3, t.number.str()}, {0.2, t.revision.str()}, {0.5, revised}},
        // The size text of the size code, whatever text an older file kept.
        {{0.5, t.page.str()}, {0.5, size_.text}},
    };
    // The grid would run through the texts.
    p_.fillRect(box, pal_.background);
    p_.setPen(cosmetic_pen(pal_.border));
    p_.setBrush(Qt::NoBrush);
    const QFont big = sized_font(p_.font(), kTitleTextHeight * k);
    const QFont normal = sized_font(p_.font(), kPageTextHeight * k);
    double y = box.top();
    for (size_t r = 0; r < rows.size(); ++r) {
      const double rh = r == 0 ? first : row;
      const QFont& font = r == 0 ? big : normal;
      p_.setFont(font);
      const QFontMetricsF fm(font);
      double x = box.left();
      for (const Cell& c : rows[r]) {
        const QRectF cell(x, y, w * c.share, rh);
        p_.drawRect(cell);
        const QRectF inside = cell.adjusted(kTitlePadding * k, 0, -kTitlePadding * k, 0);
        p_.drawText(inside, Qt::AlignLeft | Qt::AlignVCenter,
                    fm.elidedText(latin1(c.text), Qt::ElideRight, inside.width()));
        x += cell.width();
      }
      y += rh;
    }
  }

  void wires() {
    for (const auto& w : page_.wires) {
      if (!in_view(box_of(w->x1, w->y1, w->x2, w->y2))) continue;
      p_.setPen(cosmetic_pen(object_color(w->color, w->selected, w->disabled)));
      p_.drawLine(QPointF(w->x1, w->y1), QPointF(w->x2, w->y2));
    }
  }

  void parts() {
    const int scale = page_scale(page_);
    for (const auto& part : page_.parts) {
      if (!part->symbol || !in_view(part_bounds(*part, scale))) continue;
      const AttributeTexts texts = attribute_texts(*part);
      draw_symbol(p_, *part->symbol, placement(*part, scale),
                  object_color(part->color, part->selected, part->disabled), &texts);
    }
  }

  void junctions() {
    for (const auto& j : page_.junctions) {
      const QRectF dot(j->x - kJunctionRadius, j->y - kJunctionRadius, 2 * kJunctionRadius,
                       2 * kJunctionRadius);
      if (!in_view(dot)) continue;
      const QColor& c = object_color(j->color, j->selected, j->disabled);
      p_.setPen(cosmetic_pen(c));
      p_.setBrush(c);
      p_.drawEllipse(dot);
    }
    p_.setBrush(Qt::NoBrush);
  }

  // The name stands just above the labelling point, as on the wire it names.
  // Texts too small to read are left out, as symbol texts are.
  bool texts_readable() const {
    return kPageTextHeight * std::sqrt(std::abs(p_.worldTransform().determinant())) >= 3.0;
  }

  void labels() {
    if (!texts_readable()) return;
    p_.setFont(text_font_);
    for (const auto& l : page_.labels) {
      if (!in_view(label_bounds(*l))) continue;
      p_.setPen(object_color(l->color, l->selected, l->disabled));
      p_.drawText(QPointF(l->x, l->y - 3), latin1(l->name.str()));
    }
  }

  // The placement point is the lower left corner of the whole text.
  void texts() {
    if (!texts_readable()) return;
    p_.setFont(text_font_);
    const QFontMetricsF fm(text_font_);
    for (const auto& t : page_.texts) {
      if (!t->text || !in_view(text_bounds(*t))) continue;
      p_.setPen(object_color(t->color, t->selected, t->disabled));
      const std::vector<std::string> lines = text_lines(*t->text);
      const double lh = line_height(*t);
      const double n = static_cast<double>(lines.size());
      for (size_t i = 0; i < lines.size(); ++i) {
        const double baseline = t->y - (n - 1 - static_cast<double>(i)) * lh - fm.descent();
        p_.drawText(QPointF(t->x, baseline), latin1(lines[i]));
      }
    }
  }

 private:
  QPainter& p_;
  const Page& page_;
  const PagePalette& pal_;
  QRectF visible_;
  bool show_selection_;
  const PageSize& size_;
  QRectF extent_;
  double scale_ = 1;
  double margin_ = 1;
  QFont text_font_;
};

}  // namespace

PagePalette::PagePalette()
    : colors{QColor(0, 0, 0),       QColor(0, 0, 128),   QColor(0, 128, 0),   QColor(0, 128, 128),
             QColor(128, 0, 0),     QColor(128, 0, 128), QColor(128, 128, 0), QColor(192, 192, 192),
             QColor(128, 128, 128), QColor(0, 0, 255),   QColor(0, 255, 0),   QColor(0, 255, 255),
             QColor(255, 0, 0),     QColor(255, 0, 255), QColor(255, 255, 0), QColor(255, 255, 255)},
      disabled(160, 160, 160),
      grid(128, 128, 128),
      border(64, 64, 64),
      background(255, 255, 255),
      selection(255, 0, 0) {}

const QColor& PagePalette::color(int32_t index) const {
  return colors[std::clamp(index, 0, kPaletteSize - 1)];
}

QRectF page_extent(const Page& page) {
  const PageSize& size = page_size(page.settings.sheet_size);
  return QRectF(0, 0, size.width, size.height);
}

QTransform fit_transform(const QRectF& area, const QRectF& target) {
  if (area.isEmpty() || target.isEmpty()) return {};
  const double k = std::min(target.width() / area.width(), target.height() / area.height());
  QTransform t;
  t.translate(target.center().x(), target.center().y());
  t.scale(k, k);
  t.translate(-area.center().x(), -area.center().y());
  return t;
}

QRectF part_bounds(const PartRecord& p, int scale) {
  QRectF r = box_of(p.x + p.region.x1, p.y + p.region.y1, p.x + p.region.x2, p.y + p.region.y2);
  const SymbolRecord* sym = p.symbol;
  if (!sym) return r;
  const int count = std::clamp<int>(p.step_count, 0, kMaxOrientSteps);
  // The stored region may be stale; the symbol's own region as placed counts too.
  const Region o = oriented_region(sym->region, scale, p.steps.data(), count);
  r = r.united(box_of(p.x + o.x1, p.y + o.y1, p.x + o.x2, p.y + o.y2));

  auto reach = [&](int x, int y, size_t chars, double height) {
    orient_point(x, y, scale, p.steps.data(), count);
    r = r.united(text_reach(p.x + x, p.y + y, chars, height));
  };
  size_t longest = std::max(p.reference.str().size(), p.value.str().size());
  for (const auto& t : p.params)
    if (t) longest = std::max(longest, t->size());
  const double h = kSymbolCharHeight * scale;
  int pen_x = 0, pen_y = 0;
  for (const DrawCommand& c : sym->draws) {
    if (c.op == 'M' || c.op == 'V') {
      pen_x = c.args[0];
      pen_y = c.args[1];
    } else if (c.op == 'T') {
      reach(pen_x, pen_y, c.text().size(), h * std::max(1, c.args[1]) / 100.0);
    } else if (c.op == 'L') {
      reach(c.args[2], c.args[3], longest, h);
    }
  }
  for (const SymbolPin& pin : sym->pins)
    if (!pin.pin_name.empty()) reach(pin.x, pin.y, pin.pin_name.str().size() + 2, h);
  return r;
}

QRectF label_bounds(const LabelRecord& l) {
  const std::string name = l.name.str();
  const double w = std::max(static_cast<double>(l.width), static_cast<double>(name.size()) * kPageTextHeight);
  return QRectF(l.x - 1, l.y - 4 - 1.5 * kPageTextHeight, w + 2, 1.5 * kPageTextHeight + 5);
}

QRectF text_bounds(const TextRecord& t) {
  QRectF r = box_of(t.x + t.box.x1, t.y + t.box.y1, t.x + t.box.x2, t.y + t.box.y2);
  if (!t.text) return r;
  const std::vector<std::string> lines = text_lines(*t.text);
  size_t longest = 0;
  for (const auto& l : lines) longest = std::max(longest, l.size());
  const double n = static_cast<double>(lines.size());
  const double top = t.y - (n - 1) * line_height(t) - 1.5 * kPageTextHeight;
  return r.united(QRectF(t.x - 1, top, static_cast<double>(longest) * kPageTextHeight + 2, t.y - top + 2));
}

void draw_page(QPainter& painter, const Schematic& /*schematic*/, const Page& page,
               const PageDrawOptions& options) {
  painter.save();
  if (!options.visible.isEmpty()) painter.setClipRect(options.visible, Qt::IntersectClip);
  PageDrawer d(painter, page, options);
  d.background();
  if (options.grid.value_or(page.settings.show_grid != 0)) d.grid();
  const int32_t border = options.border.value_or(page.settings.border);
  d.border(border);
  if (options.title.value_or(page.settings.show_title != 0)) d.title_block(border);
  d.wires();
  d.parts();
  d.junctions();
  d.labels();
  d.texts();
  if (options.overlay) options.overlay(painter);
  painter.restore();
}

}  // namespace zephyrim
