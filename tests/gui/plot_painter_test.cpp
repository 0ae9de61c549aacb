// draw_graph on images: traces land in their own plot's frame in their own
// colours and nowhere else, log axes put values where the layout says, hidden
// traces and the area's surroundings stay untouched, and a long trace draws in
// the time of the window's width.
#include "render/plot_painter.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QtTest>
#include <cmath>
#include <functional>
#include <limits>
#include <vector>

#include "common/notify.h"
#include "common/progress.h"
#include "viewer/data/data_store.h"
#include "viewer/plot/cursors.h"
#include "viewer/plot/graph_axes.h"

using namespace zephyrim;

namespace {

const QRgb kOutside = qRgb(1, 2, 3);  // what the image holds around the area

bool reddish(QRgb c) {
  return qRed(c) > qGreen(c) + 60 && qRed(c) > qBlue(c) + 60;
}
bool bluish(QRgb c) {
  return qBlue(c) > qRed(c) + 60 && qBlue(c) > qGreen(c) + 60;
}
bool greenish(QRgb c) {
  return qGreen(c) > qRed(c) + 60 && qGreen(c) > qBlue(c) + 60;
}
bool cyan(QRgb c) {
  return qGreen(c) > qRed(c) + 60 && qBlue(c) > qRed(c) + 60;
}
bool not_white(QRgb c) {
  return c != qRgb(255, 255, 255);
}

int count_pixels(const QImage& image, const QRectF& area, const std::function<bool(QRgb)>& test) {
  int n = 0;
  const QRect r = area.toAlignedRect().intersected(image.rect());
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x)
      if (test(image.pixel(x, y))) ++n;
  return n;
}

// A store and a graph built in the test: vectors of one transient run.
struct Fixture {
  RecordingNotify notify;
  NullProgress progress;
  DataStore store{notify, progress};
  Graph graph;
  const DataVector* time = nullptr;

  explicit Fixture(std::vector<double> t) {
    store.start();
    time = vector("TIME", t, nullptr);
    graph.analysis = ANALYSIS_TRAN;
    graph.cls = DATA_CLASS_TEXT;
  }
  const DataVector* vector(const char* name, const std::vector<double>& v, const DataVector* x) {
    return store.add_vector({.name = name,
                             .cls = DATA_CLASS_TEXT,
                             .kind = ANALYSIS_TRAN,
                             .x = x,
                             .points = static_cast<int64_t>(v.size()),
                             .values = v.data()});
  }
  SelectedTrace* trace(const char* name, const std::vector<double>& v, int plot, int colour) {
    SelectedTrace* t = add_trace(graph, *vector(name, v, time), nullptr, plot, notify);
    t->options.colour = colour;
    return t;
  }
  bool axes() { return graph_update_axes(graph, store, notify); }
};

std::vector<double> ramp(size_t n, double from, double to) {
  std::vector<double> v(n);
  for (size_t i = 0; i < n; ++i)
    v[i] = from + (to - from) * static_cast<double>(i) / static_cast<double>(n - 1);
  return v;
}

// The graph drawn into `area` of an image that is larger by `margin` all round.
QImage render(Fixture& f, const QRectF& area, int margin, GraphLayout* layout = nullptr,
              const PlotStyle& style = {}) {
  QImage image(static_cast<int>(area.right()) + margin, static_cast<int>(area.bottom()) + margin,
               QImage::Format_RGB32);
  image.fill(kOutside);
  QPainter p(&image);
  const GraphLayout l = draw_graph(p, area, f.graph, f.store, style);
  if (layout) *layout = l;
  return image;
}

// Two plots: a red sine and a blue ramp on top, a green square wave below.
struct TwoPlots : Fixture {
  TwoPlots() : Fixture(ramp(400, 0, 1e-3)) {
    std::vector<double> sine(400), square(400);
    for (size_t i = 0; i < 400; ++i) {
      sine[i] = std::sin(static_cast<double>(i) / 20);
      square[i] = (i / 50) % 2 ? 2.0 : -1.0;
    }
    trace("V(SINE)", sine, 0, COLOUR_RED);
    trace("V(RAMP)", ramp(400, -1, 1), 0, COLOUR_BLUE);
    trace("V(SQUARE)", square, 1, 2);
    graph.header.file = "two.out";
    graph.header.circuit_title = "TWO PLOTS";
  }
};

}  // namespace

class PlotPainterTest : public QObject {
  Q_OBJECT
 private slots:
  void a_direction_draws_only_the_pieces_of_a_sweep_that_go_that_way() {
    // A hysteresis loop: X up from 0 to 1 at Y 0.25, back down at Y 0.75.
    std::vector<double> x = ramp(200, 0, 1), y(400, 0.25);
    const std::vector<double> down = ramp(200, 1, 0);
    x.insert(x.end(), down.begin(), down.end());
    for (size_t i = 200; i < 400; ++i) y[i] = 0.75;
    Fixture f(x);
    f.trace("V(LOOP)", y, 0, COLOUR_RED);
    QVERIFY(f.axes());
    const QRectF area(0, 0, 800, 500);
    // The red in a band around the upper (0.75) or the lower (0.25) line.
    auto red_in_half = [&](int direction, bool upper) {
      f.graph.options.direction = direction;
      GraphLayout layout;
      const QImage image = render(f, area, 0, &layout);
      const PlotFrame& frame = layout.frames.at(0);
      const double v = upper ? 0.75 : 0.25;
      const double y = frame.rect.bottom() - (v - frame.low) / (frame.high - frame.low) * frame.rect.height();
      return count_pixels(image, QRectF(frame.rect.left(), y - 6, frame.rect.width(), 12), reddish);
    };
    QVERIFY(red_in_half(DIRECTION_BOTH, true) > 200 && red_in_half(DIRECTION_BOTH, false) > 200);
    QVERIFY(red_in_half(DIRECTION_UP, false) > 200);
    QCOMPARE(red_in_half(DIRECTION_UP, true), 0);
    QVERIFY(red_in_half(DIRECTION_DOWN, true) > 200);
    QCOMPARE(red_in_half(DIRECTION_DOWN, false), 0);
  }

  void traces_stay_in_their_own_frames_and_nothing_leaves_the_area() {
    TwoPlots f;
    QVERIFY(f.axes());
    const QRectF area(40, 30, 900, 600);
    GraphLayout layout;
    const QImage image = render(f, area, 40, &layout);
    QCOMPARE(layout.frames.size(), size_t{2});
    const QRectF top = layout.frames[0].rect, bottom = layout.frames[1].rect;
    QVERIFY(top.bottom() < bottom.top());
    QVERIFY(area.contains(top) && area.contains(bottom));

    QVERIFY(count_pixels(image, area, not_white) > 5000);
    QVERIFY(count_pixels(image, top, reddish) > 200);
    QVERIFY(count_pixels(image, top, bluish) > 200);
    QCOMPARE(count_pixels(image, top, greenish), 0);
    QVERIFY(count_pixels(image, bottom, greenish) > 200);
    QCOMPARE(count_pixels(image, bottom, reddish), 0);
    QCOMPARE(count_pixels(image, bottom, bluish), 0);
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x)
        if (!area.contains(QPointF(x + 0.5, y + 0.5)) && image.pixel(x, y) != kOutside)
          QFAIL(qPrintable(QString("paints outside the area at %1,%2").arg(x).arg(y)));
    // The header's title and the axis texts are drawn: dark pixels above the
    // first frame and left of it.
    const auto dark = [](QRgb c) { return qGray(c) < 80; };
    QVERIFY(count_pixels(image, QRectF(area.left(), area.top(), area.width(), top.top() - area.top()), dark) >
            50);
    QVERIFY(count_pixels(image, QRectF(area.left(), top.top(), top.left() - area.left(), top.height()),
                         dark) > 50);
    QVERIFY(count_pixels(
                image,
                QRectF(top.left(), bottom.bottom() + 2, top.width(), area.bottom() - bottom.bottom() - 2),
                dark) > 50);
  }

  void a_hidpi_device_gets_the_whole_drawing_at_its_resolution() {
    TwoPlots f;
    QVERIFY(f.axes());
    QImage image(1600, 1000, QImage::Format_RGB32);
    image.setDevicePixelRatio(2);
    image.fill(kOutside);
    QPainter p(&image);
    const GraphLayout layout = draw_graph(p, QRectF(0, 0, 800, 500), f.graph, f.store);
    p.end();
    const QRectF top = layout.frames[0].rect, bottom = layout.frames[1].rect;
    const auto device = [](const QRectF& r) { return QRectF(r.topLeft() * 2, r.size() * 2); };
    QVERIFY(count_pixels(image, device(top), reddish) > 400);
    QVERIFY(count_pixels(image, device(bottom), greenish) > 400);
    QCOMPARE(count_pixels(image, image.rect(), [](QRgb c) { return c == kOutside; }), 0);
  }

  void a_hidden_trace_is_absent_and_the_others_keep_the_axes() {
    TwoPlots f;
    SelectedTrace* hidden = f.trace("V(HIDDEN)", ramp(400, 100, 200), 0, 3);
    hidden->options.display = DISPLAY_HIDE;
    QVERIFY(f.axes());
    // A hidden trace neither draws nor widens the axis.
    QVERIFY(f.graph.plot[0].y_axis.high < 10);
    const QImage image = render(f, QRectF(0, 0, 800, 500), 0);
    QCOMPARE(count_pixels(image, image.rect(), cyan), 0);
    hidden->options.display = DISPLAY_NORMAL;
    QVERIFY(f.axes());
    QVERIFY(count_pixels(render(f, QRectF(0, 0, 800, 500), 0), QRectF(0, 0, 800, 500), cyan) > 100);
  }

  void log_axes_put_values_where_the_layout_maps_them() {
    // y = x on both log axes: a diagonal through the decades.
    std::vector<double> x;
    for (double e = 0; e <= 4.0001; e += 0.01) x.push_back(std::pow(10.0, e));
    Fixture f(x);
    f.trace("V(OUT)", x, 0, COLOUR_BLUE);
    f.graph.x_log = true;
    f.graph.plot[0].log = true;
    QVERIFY(f.axes());
    QVERIFY(f.graph.x_axis.log_scale && f.graph.plot[0].y_axis.log_scale);
    GraphLayout layout;
    const QImage image = render(f, QRectF(0, 0, 800, 600), 0, &layout);
    QVERIFY(layout.x_log && layout.frames[0].log);
    for (double decade : {0.5, 1.0, 2.0, 3.0, 3.5}) {
      const QPointF at = graph_position_of(layout, 0, decade, decade);
      QVERIFY2(count_pixels(image, QRectF(at - QPointF(2, 2), QSizeF(5, 5)), bluish) > 0,
               qPrintable(QString("nothing at decade %1").arg(decade)));
    }
    // Off the diagonal there is no trace.
    const QPointF off = graph_position_of(layout, 0, 1.0, 3.0);
    QCOMPARE(count_pixels(image, QRectF(off - QPointF(3, 3), QSizeF(7, 7)), bluish), 0);

    // Zeros and negative values on a log axis draw (as magnitudes) without harm.
    Fixture g(ramp(100, 1, 100));
    std::vector<double> y = ramp(100, -5, 5);
    y[50] = std::numeric_limits<double>::quiet_NaN();
    g.trace("V(ODD)", y, 0, COLOUR_RED);
    g.graph.x_log = true;
    g.graph.plot[0].log = true;
    QVERIFY(g.axes());
    const QImage odd = render(g, QRectF(0, 0, 600, 400), 0, &layout);
    QVERIFY(count_pixels(odd, layout.frames[0].rect, reddish) > 50);
  }

  void positions_and_axis_values_map_both_ways() {
    TwoPlots f;
    QVERIFY(f.axes());
    const GraphLayout layout = graph_layout(QRectF(10, 10, 700, 500), f.graph, f.store);
    QCOMPARE(layout.frames.size(), size_t{2});
    for (int plot : {0, 1}) {
      const PlotFrame& frame = layout.frames[static_cast<size_t>(plot)];
      const double y = (frame.low + frame.high) / 3;
      const QPointF at = graph_position_of(layout, plot, 4e-4, y);
      QVERIFY(frame.rect.contains(at));
      const GraphPoint back = graph_point_at(layout, at);
      QCOMPARE(back.plot, plot);
      QVERIFY(std::abs(back.x - 4e-4) < 1e-12);
      QVERIFY(std::abs(back.y - y) < 1e-9 * std::max(1.0, std::abs(y)));
    }
    // The corners of a frame are its axis limits; between frames there is no plot.
    const PlotFrame& top = layout.frames[0];
    QVERIFY(std::abs(graph_x_at(layout, top.rect.left()) - layout.x_low) < 1e-15);
    QVERIFY(std::abs(graph_x_at(layout, top.rect.right()) - layout.x_high) < 1e-15);
    QCOMPARE(graph_point_at(layout, QPointF(top.rect.center().x(), top.rect.bottom() + 2)).plot, -1);
    QVERIFY(std::abs(graph_point_at(layout, QPointF(top.rect.center().x(), top.rect.top())).y - top.high) <
            1e-12);
  }

  void a_two_million_point_trace_draws_from_its_summaries() {
    const size_t n = 2'000'000;
    std::vector<double> t(n), v(n);
    for (size_t i = 0; i < n; ++i) {
      t[i] = static_cast<double>(i) * 1e-9;
      v[i] = std::sin(static_cast<double>(i) * 1e-4) + (i % 7 == 0 ? 0.3 : 0);
    }
    Fixture f(t);
    f.trace("V(LONG)", v, 0, COLOUR_RED);
    QVERIFY(f.axes());
    QElapsedTimer clock;
    clock.start();
    GraphLayout layout;
    const QImage first = render(f, QRectF(0, 0, 1200, 800), 0, &layout);
    const qint64 first_ms = clock.restart();
    const QImage again = render(f, QRectF(0, 0, 1200, 800), 0);
    qInfo("2,000,000 points: first drawing %lld ms (summaries built), again %lld ms", first_ms,
          static_cast<long long>(clock.elapsed()));
    QVERIFY(count_pixels(first, layout.frames[0].rect, reddish) > 2000);
    QVERIFY(first == again);
  }

  void cursors_modes_and_odd_graphs() {
    TwoPlots f;
    QVERIFY(f.axes());
    CursorPair cursors;
    cursors.cursor[0] = {.active = true, .shape = SHAPE_CROSS_HAIR, .trace = 2, .x = 5e-4, .y = 0.5};
    cursors.cursor[1] = {.active = true, .shape = SHAPE_VERTICAL_BAR, .trace = 0, .x = 2e-4, .y = 0};
    PlotStyle style;
    style.cursors = &cursors;
    style.legend = false;
    style.mode = DISPLAY_MODE_BLACK;
    GraphLayout layout;
    const QImage image = render(f, QRectF(0, 0, 800, 600), 0, &layout, style);
    QCOMPARE(image.pixel(2, 2), qRgb(0, 0, 0));
    const auto light = [](QRgb c) { return qGray(c) > 200; };
    // The cross hair's vertical line spans the lower frame at its X.
    const QRectF lower = layout.frames[1].rect;
    const QPointF at = graph_position_of(layout, 1, 5e-4, 0.5);
    int rows = 0;
    for (int y = static_cast<int>(lower.top()) + 3; y < static_cast<int>(lower.bottom()) - 3; ++y)
      rows += count_pixels(image, QRectF(at.x() - 1, y, 3, 1), light) > 0;
    QVERIFY(rows > lower.height() * 0.7);
    // Power-of-ten labels with their raised exponents, and the X scale on the
    // axis caption, take their room beside and below the frames.
    style = {};
    TickStyle power, caption;
    power.code = TICK_POWER;
    power.digits = 1;
    caption.unit_mode = UnitMode::Auto;
    caption.scale_on_caption = true;
    style.y_ticks[1] = power;
    style.x_ticks = caption;
    GraphLayout powers;
    const QImage labelled = render(f, QRectF(0, 0, 800, 600), 0, &powers, style);
    QVERIFY(powers.frames[0].rect.left() > layout.frames[0].rect.left());
    const auto dark = [](QRgb c) { return qGray(c) < 80; };
    QVERIFY(count_pixels(labelled, QRectF(0, powers.frames[1].rect.top(), powers.frames[1].rect.left(), 50),
                         dark) > 20);
    // Monochrome draws every trace in black.
    style.mode = DISPLAY_MODE_MONOCHROME;
    style.cursors = nullptr;
    const QImage mono = render(f, QRectF(0, 0, 800, 600), 0, nullptr, style);
    QCOMPARE(count_pixels(mono, mono.rect(), reddish) + count_pixels(mono, mono.rect(), greenish), 0);

    // A sparse trace with a solid symbol shows blocks at its points.
    Fixture sparse(ramp(6, 0, 5));
    sparse.trace("V(FEW)", {0, 1, 0, 1, 0, 1}, 0, COLOUR_BLUE)->options.symbol = 5;
    QVERIFY(sparse.axes());
    const QImage marked = render(sparse, QRectF(0, 0, 900, 600), 0, &layout);
    const QPointF point = graph_position_of(layout, 0, 1, 1);
    QVERIFY(count_pixels(marked, QRectF(point - QPointF(2, 2), QSizeF(5, 5)), bluish) >= 20);

    // No traces, a tiny area, a flat trace and one of NaN only: drawn without harm.
    Fixture empty(ramp(3, 0, 1));
    QVERIFY(empty.axes());
    QVERIFY(count_pixels(render(empty, QRectF(0, 0, 300, 200), 0), QRectF(0, 0, 300, 200), not_white) > 0);
    TwoPlots tiny;
    QVERIFY(tiny.axes());
    render(tiny, QRectF(0, 0, 12, 9), 2);
    Fixture flat(ramp(3, 1, 1));
    flat.trace("V(NAN)", std::vector<double>(3, std::numeric_limits<double>::quiet_NaN()), 0, COLOUR_RED);
    flat.trace("V(FLAT)", {2, 2, 2}, 1, COLOUR_BLUE);
    flat.axes();
    render(flat, QRectF(0, 0, 400, 300), 0);
  }
};

QTEST_MAIN(PlotPainterTest)
#include "plot_painter_test.moc"
