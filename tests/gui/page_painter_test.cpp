// draw_page on images: objects land where the model puts them and nowhere
// else, colours follow the object's state, and a visible area limits both the
// pixels and the work.
#include "render/page_painter.h"

#include <QGuiApplication>
#include <QImage>
#include <QPicture>
#include <QtTest>
#include <functional>
#include <memory>
#include <vector>

#include "schematic/schematic_file.h"

using namespace zephyrim;

namespace {

const QRgb kWhite = qRgb(255, 255, 255);

std::unique_ptr<Schematic> load_amplifier() {
  RecordingNotify notify;
  SchematicLoad r =
      schematic_load(std::string(ZEPHYRIM_SOURCE_DIR) + "/examples/amplifier.sch", notify, true);
  return std::move(r.schematic);
}

// The page at one pixel a unit, shifted by `offset` pixels so that the
// surroundings of the drawing area are on the image too.
QImage render(const Schematic& s, const Page& page, const PageDrawOptions& o = {}, int offset = 0) {
  const QRectF extent = page_extent(page);
  QImage image(static_cast<int>(extent.width()) + 2 * offset, static_cast<int>(extent.height()) + 2 * offset,
               QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter p(&image);
  p.translate(offset, offset);
  draw_page(p, s, page, o);
  return image;
}

int count_pixels(const QImage& image, const QRect& area, const std::function<bool(QRgb)>& test) {
  int n = 0;
  const QRect r = area.intersected(image.rect());
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x)
      if (test(image.pixel(x, y))) ++n;
  return n;
}

bool not_white(QRgb c) {
  return c != kWhite;
}
bool dark(QRgb c) {
  return qRed(c) < 100 && qGreen(c) < 100 && qBlue(c) < 100;
}
bool greenish(QRgb c) {
  return qGreen(c) > qRed(c) + 40 && qGreen(c) > qBlue(c) + 40;
}
bool reddish(QRgb c) {
  return qRed(c) > qGreen(c) + 40 && qRed(c) > qBlue(c) + 40;
}

QRect part_box(const PartRecord& p) {
  return QRect(QPoint(p.x + p.region.x1, p.y + p.region.y1), QPoint(p.x + p.region.x2, p.y + p.region.y2));
}

}  // namespace

class PagePainterTest : public QObject {
  Q_OBJECT
 private slots:
  void draws_objects_and_nothing_outside_the_page() {
    auto s = load_amplifier();
    QVERIFY(s);
    const Page& page = *s->pages[0];
    QVERIFY(!page.parts.empty() && !page.wires.empty());
    PageDrawOptions o;
    o.grid = false;
    const int offset = 40;
    const QImage image = render(*s, page, o, offset);
    for (const auto& part : page.parts) {
      const QRect box = part_box(*part).translated(offset, offset);
      QVERIFY2(count_pixels(image, box, not_white) > 0, part->reference.str().c_str());
    }
    for (const auto& w : page.wires) {
      const QRect mid(offset + (w->x1 + w->x2) / 2 - 1, offset + (w->y1 + w->y2) / 2 - 1, 3, 3);
      QVERIFY(count_pixels(image, mid, not_white) > 0);
    }
    // The title block at the bottom right.
    const QRectF extent = page_extent(page);
    QVERIFY(count_pixels(image, QRect(offset + 1300, offset + 1100, 290, 90), not_white) > 0);

    // With the grid on, nothing may reach beyond the drawing area and its border.
    const QImage gridded = render(*s, page, {}, offset);
    const QRect inside = extent.toRect().translated(offset, offset).adjusted(-2, -2, 2, 2);
    for (int y = 0; y < gridded.height(); ++y)
      for (int x = 0; x < gridded.width(); ++x)
        if (!inside.contains(x, y) && gridded.pixel(x, y) != kWhite)
          QFAIL(qPrintable(QString("paints outside the page at %1,%2").arg(x - offset).arg(y - offset)));
    QVERIFY(count_pixels(gridded, QRect(offset + 900, offset + 700, 64, 64), not_white) > 0);
  }

  void colours_follow_disabled_and_selected() {
    auto s = load_amplifier();
    QVERIFY(s);
    Page& page = *s->pages[0];
    QVERIFY(!page.texts.empty());
    TextRecord& text = *page.texts[0];
    PartRecord& part = *page.parts[0];
    PagePalette palette;
    palette.disabled = QColor(0, 200, 0);
    palette.selection = QColor(230, 0, 0);
    PageDrawOptions o;
    o.palette = &palette;
    o.grid = false;
    const QRect text_area = text_bounds(text).toAlignedRect();
    const QRect part_area = part_box(part);

    QImage image = render(*s, page, o);
    QVERIFY(count_pixels(image, text_area, dark) > 0);
    QCOMPARE(count_pixels(image, text_area, greenish), 0);

    text.disabled = 1;
    part.selected = 1;
    image = render(*s, page, o);
    QVERIFY(count_pixels(image, text_area, greenish) > 0);
    QCOMPARE(count_pixels(image, text_area, dark), 0);
    // Selection shows only when asked for: pictures never carry it.
    QCOMPARE(count_pixels(image, part_area, reddish), 0);
    o.show_selection = true;
    image = render(*s, page, o);
    QVERIFY(count_pixels(image, part_area, reddish) > 0);
  }

  void visible_area_limits_pixels_but_keeps_what_it_shows() {
    auto s = load_amplifier();
    QVERIFY(s);
    const Page& page = *s->pages[0];
    const QImage full = render(*s, page);
    // Around the first part, where its neighbours' wires and texts come close,
    // and beside every part, where only its attribute texts stand.
    std::vector<QRect> areas = {part_box(*page.parts[0]).adjusted(-20, -20, 20, 20)};
    for (const auto& p : page.parts)
      areas.push_back(QRect(p->x + p->region.x2 + 6, p->y + p->region.y1, 40, p->region.y2 - p->region.y1));
    for (const QRect& area : areas) {
      PageDrawOptions o;
      o.visible = area;
      const QImage part = render(*s, page, o);
      for (int y = 0; y < part.height(); ++y)
        for (int x = 0; x < part.width(); ++x) {
          if (!area.adjusted(-1, -1, 1, 1).contains(x, y)) {
            if (part.pixel(x, y) != kWhite)
              QFAIL(qPrintable(QString("paints outside at %1,%2").arg(x).arg(y)));
          } else if (area.adjusted(1, 1, -1, -1).contains(x, y) && part.pixel(x, y) != full.pixel(x, y)) {
            QFAIL(qPrintable(QString("differs from the full page at %1,%2").arg(x).arg(y)));
          }
        }
    }
  }

  void objects_outside_the_visible_area_cost_nothing() {
    auto s = load_amplifier();
    QVERIFY(s);
    Page& page = *s->pages[0];
    page.settings.sheet_size = 5;
    page.settings.show_grid = 0;
    page.settings.show_title = 0;
    // A thousand parts over a large sheet.
    const size_t originals = page.parts.size();
    for (int i = 0; page.parts.size() < 1000; ++i) {
      auto copy = std::make_unique<PartRecord>(*page.parts[i % originals]);
      copy->x += 640 * (i % 10);
      copy->y += 480 * (i / 10 % 10);
      page.parts.push_back(std::move(copy));
    }
    auto recorded = [&](const QRectF& visible) {
      QPicture picture;
      QPainter p(&picture);
      p.scale(8, 8);  // high zoom: the window shows a small piece of the sheet
      PageDrawOptions o;
      o.visible = visible;
      draw_page(p, *s, page, o);
      p.end();
      return picture.size();
    };
    const uint all = recorded(QRectF());
    const uint piece = recorded(QRectF(part_box(*page.parts[0])));
    QVERIFY(piece > 0);
    QVERIFY2(piece * 100 < all, qPrintable(QString("%1 of %2 bytes").arg(piece).arg(all)));
  }

  void grid_only_where_dots_stay_apart() {
    auto s = schematic_new();
    Page& page = s->page();
    page.settings.border = 0;
    page.settings.show_title = 0;
    auto dots_at = [&](double zoom) {
      QImage image(400, 300, QImage::Format_RGB32);
      image.fill(Qt::white);
      QPainter p(&image);
      p.scale(zoom, zoom);
      draw_page(p, *s, page);
      p.end();
      return count_pixels(image, image.rect(), not_white);
    };
    QVERIFY(dots_at(1.0) > 1000);
    QCOMPARE(dots_at(0.25), 0);
  }

  void fit_transform_centres_the_page() {
    const QTransform t = fit_transform(QRectF(0, 0, 1600, 1200), QRectF(0, 0, 800, 800));
    QCOMPARE(t.map(QPointF(0, 0)), QPointF(0, 100));
    QCOMPARE(t.map(QPointF(1600, 1200)), QPointF(800, 700));
  }
};

QTEST_MAIN(PagePainterTest)
#include "page_painter_test.moc"
