#include "render/plot_painter.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainterPath>
#include <QPolygonF>
#include <QString>
#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "viewer/data/data_store.h"
#include "viewer/plot/cursors.h"
#include "viewer/plot/level_of_detail.h"
#include "viewer/plot/special_charts.h"
#include "viewer/plot/tick_labels.h"

namespace zephyrim {

// The classic sixteen, with a true brown and greys that still show on white.
const std::array<QColor, 16> kTraceQColours = {
    QColor(0, 0, 0),       QColor(0, 0, 200),    QColor(0, 140, 0),   QColor(0, 150, 150),
    QColor(200, 0, 0),     QColor(170, 0, 170),  QColor(140, 80, 0),  QColor(180, 180, 180),
    QColor(110, 110, 110), QColor(80, 120, 255), QColor(60, 210, 60), QColor(60, 220, 220),
    QColor(255, 90, 90),   QColor(255, 90, 255), QColor(230, 210, 0), QColor(255, 255, 255)};

QColor trace_colour(int colour, int mode) {
  const int c = std::clamp(colour, 0, 15);
  if (mode == DISPLAY_MODE_MONOCHROME || mode == DISPLAY_MODE_FILE_MONO) return Qt::black;
  if (mode == DISPLAY_MODE_BLACK && c == COLOUR_BLACK) return kTraceQColours[COLOUR_WHITE];
  if (mode != DISPLAY_MODE_BLACK && c == COLOUR_WHITE) return kTraceQColours[COLOUR_BLACK];
  return kTraceQColours[static_cast<size_t>(c)];
}

namespace {

constexpr int kLegendRows = 2;
// Pixel columns of one plot: more than any screen has, and a bound on a
// high-resolution PDF page's work.
constexpr int kMaxColumns = 16384;
// Pixel positions beyond this distance from the frame only make the painter's
// arithmetic overflow; the clip cuts them anyway.
constexpr double kFarPixels = 1e5;

struct Theme {
  QColor background;
  QColor foreground;
  QColor grid;
  QColor minor_grid;
};

Theme theme(int mode) {
  if (mode == DISPLAY_MODE_BLACK)
    return {Qt::black, QColor(235, 235, 235), QColor(85, 85, 85), QColor(50, 50, 50)};
  return {Qt::white, Qt::black, QColor(200, 200, 200), QColor(232, 232, 232)};
}

QString latin1(const std::string& s) {
  return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

QFont sized_font(const QString& family, double pixels, bool bold = false) {
  QFont font;
  font.setStyleHint(QFont::SansSerif);
  if (!family.isEmpty()) font.setFamily(family);
  font.setPixelSize(std::max(1, static_cast<int>(std::lround(pixels))));
  font.setBold(bold);
  return font;
}

struct Fonts {
  double px;
  QFont text;
  QFont small;  // raised exponents
  QFont title;
  QFontMetricsF fm;
  QFontMetricsF small_fm;
  QFontMetricsF title_fm;
  double line;  // line pitch
  double pad;   // the unit of the margins

  Fonts(const QString& family, double pixels)
      : px(pixels),
        text(sized_font(family, pixels)),
        small(sized_font(family, pixels * 0.72)),
        title(sized_font(family, pixels * 1.1, true)),
        fm(text),
        small_fm(small),
        title_fm(title),
        line(fm.lineSpacing()),
        pad(pixels * 0.6) {}

  double width(const QString& s) const { return fm.horizontalAdvance(s); }
  double width(const TickLabel& l) const {
    return fm.horizontalAdvance(latin1(l.text)) + small_fm.horizontalAdvance(latin1(l.exponent));
  }
};

// Limits that can be drawn: finite, ascending and wider than zero.
void usable_span(double& low, double& high) {
  if (!std::isfinite(low) || !std::isfinite(high)) {
    low = 0;
    high = 1;
    return;
  }
  low = std::clamp(low, -1e300, 1e300);
  high = std::clamp(high, -1e300, 1e300);
  if (high < low) std::swap(low, high);
  if (!(high > low)) {
    const double d = low == 0 ? 0.5 : std::abs(low) * 0.1;
    low -= d;
    high += d;
  }
}

// The traces that are drawn, in table order.
std::vector<const SelectedTrace*> shown_traces(const Graph& graph) {
  std::vector<const SelectedTrace*> out;
  for (const auto& t : graph.traces)
    if (t && t->options.display != DISPLAY_HIDE && t->plot >= 0 && t->plot < graph.plots)
      out.push_back(t.get());
  return out;
}

AxisTicks ticks_of(const AxisScale& axis, const std::optional<TickStyle>& given,
                   const std::string& trace_name, bool angular) {
  if (axis.in_use < 0) return {};
  TickStyle style = given ? *given : default_tick_style(axis);
  if (style.unit_mode == UnitMode::Auto) style.unit_name = auto_unit_name(trace_name, angular);
  AxisScale a = axis;
  usable_span(a.low, a.high);
  return axis_ticks(a, style);
}

// ---- Layout ----------------------------------------------------------------

struct HeaderLine {
  QString left, centre, right;
  bool title = false;
};

struct LegendEntry {
  const SelectedTrace* trace;
  QString text;
  QPointF at;  // left end of the line sample, on the text's middle
};

struct PlotPart {
  AxisTicks ticks;
  std::vector<char> labelled;  // per mark: its label is written
  QString caption;
  std::vector<LegendEntry> legend;
  bool legend_cut = false;  // some names did not fit
  QPointF legend_more;      // where "..." goes when they did not
};

struct Geometry {
  GraphLayout layout;
  Fonts fonts;
  std::vector<HeaderLine> header;
  std::vector<PlotPart> parts;  // beside layout.frames
  AxisTicks x_ticks;
  std::vector<char> x_labelled;
  QString x_caption;
  double x_label_gap = 0;  // from the bottom frame down to the X labels
  double tick = 0;         // tick mark length

  Geometry(const QString& family, double px) : fonts(family, px) {}
};

std::vector<HeaderLine> header_lines(const GraphHeader& h) {
  const auto join = [](const std::string& a, const std::string& b) {
    return latin1(a.empty() || b.empty() ? a + b : a + "  " + b);
  };
  std::vector<HeaderLine> lines;
  HeaderLine first{h.file.empty() ? QString() : "File: " + latin1(h.file), {}, join(h.date, h.time)};
  HeaderLine second{{}, latin1(h.circuit_title), latin1(h.temperature), true};
  HeaderLine third{{}, latin1(h.subtitle), {}};
  for (const HeaderLine& l : {first, second, third})
    if (!l.left.isEmpty() || !l.centre.isEmpty() || !l.right.isEmpty()) lines.push_back(l);
  return lines;
}

// Which labels are written so that none overlaps its neighbour: all when they
// fit, else without the unnumbered log sub-decades, else every k-th.
// pos: the label centres along the axis; half: half their extents.
std::vector<char> fit_labels(const std::vector<TickMark>& marks, const std::vector<double>& pos,
                             const std::vector<double>& half, double gap) {
  std::vector<char> keep(marks.size());
  for (size_t i = 0; i < marks.size(); ++i) keep[i] = !marks[i].label.text.empty();
  const auto fits = [&](size_t step) {
    size_t prev = marks.size(), seen = 0;
    for (size_t i = 0; i < marks.size(); ++i) {
      if (!keep[i] || seen++ % step) continue;
      if (prev < marks.size() && std::abs(pos[i] - pos[prev]) < half[i] + half[prev] + gap) return false;
      prev = i;
    }
    return true;
  };
  if (fits(1)) return keep;
  for (size_t i = 0; i < marks.size(); ++i)
    if (!marks[i].major) keep[i] = 0;
  size_t step = 1;
  while (!fits(step) && step < marks.size()) ++step;
  size_t seen = 0;
  for (size_t i = 0; i < marks.size(); ++i)
    if (keep[i]) keep[i] = seen++ % step == 0;
  return keep;
}

double to_pixel(double v, double low, double high, double from, double length) {
  const double p = from + (v - low) / (high - low) * length;
  if (std::isnan(p)) return from - kFarPixels;
  return std::clamp(p, from - kFarPixels, from + length + kFarPixels);
}

double x_pixel(const GraphLayout& l, const QRectF& frame, double x) {
  return to_pixel(x, l.x_low, l.x_high, frame.left(), frame.width());
}

double y_pixel(const PlotFrame& f, double y) {
  return to_pixel(y, f.high, f.low, f.rect.top(), f.rect.height());
}

QString legend_text(const SelectedTrace& t, const Graph& graph, const DataStore& store) {
  QString text = latin1(t.name);
  if (graph.options.info == INFO_SPICE_RUN && t.y) {
    const std::string* label = store.vector_label(*t.y);
    text += "  " + (label ? latin1(*label) : QString("Run %1").arg(t.y->run));
  }
  return text;
}

// Lays the trace names of a plot out in rows from `left`; returns the rows used.
int place_legend(PlotPart& part, const std::vector<const SelectedTrace*>& traces, int plot,
                 const Graph& graph, const DataStore& store, const Fonts& f, double left, double width) {
  const double sample = f.px * 1.8, space = f.px * 1.2;
  const double more = f.width("...");
  int row = 0;
  double x = 0;
  for (const SelectedTrace* t : traces) {
    if (t->plot != plot) continue;
    const QString text = legend_text(*t, graph, store);
    const double w = sample + f.px * 0.4 + f.width(text);
    if (x > 0 && x + w > width - more) {
      if (row + 1 == kLegendRows) {
        part.legend_cut = true;
        part.legend_more = QPointF(left + x, row * f.line);
        break;
      }
      ++row;
      x = 0;
    }
    part.legend.push_back({t, text, QPointF(left + x, row * f.line)});
    x += w + space;
  }
  return part.legend.empty() ? 0 : row + 1;
}

const PlotFrame* frame_of(const GraphLayout& l, int plot) {
  for (const PlotFrame& f : l.frames)
    if (f.plot == plot) return &f;
  return nullptr;
}

// A graph label's box: the text with a small margin, standing on the anchor
// so that the point it names stays in view.
QRectF label_box(const Geometry& g, const GraphLabel& label) {
  const GraphLayout& l = g.layout;
  const PlotFrame* f = frame_of(l, label.plot);
  double x = label.x, y = label.y;
  if (!f || label.text.empty() || !std::isfinite(x) || !std::isfinite(y)) return {};
  // On log axes the anchor goes where a trace's point of the same values goes.
  if (l.x_log) {
    if (!(x > 0)) return {};
    x = std::log10(x);
  }
  if (f->log) {
    if (y == 0) return {};
    y = std::log10(std::abs(y));
  }
  const Fonts& fonts = g.fonts;
  const double margin = fonts.px * 0.25;
  const QSizeF size(fonts.width(latin1(label.text)) + 2 * margin, fonts.fm.height() + 2 * margin);
  return QRectF(QPointF(x_pixel(l, f->rect, x), y_pixel(*f, y) - size.height()), size);
}

Geometry measure(const QRectF& area, const Graph& graph, const DataStore& store, const PlotStyle& style) {
  const double side = std::min(area.width(), area.height());
  const double px = style.font_pixels > 0 ? std::min(style.font_pixels, 500.0)
                    : std::isfinite(side) ? std::clamp(side / 52, 10.0, 40.0)
                                          : 10.0;
  Geometry g(style.font_family, px);
  const Fonts& f = g.fonts;
  g.layout.area = area;
  g.layout.font_pixels = px;
  g.tick = px * 0.45;
  if (style.header) g.header = header_lines(graph.header);
  const auto traces = shown_traces(graph);
  const int plots = std::clamp(graph.plots, 1, kMaxPlots);

  // The X axis and every plot's Y axis with their texts.
  std::string x_name;
  for (const SelectedTrace* t : traces)
    if (t->x && x_name.empty()) x_name = t->x->name;
  g.x_ticks = ticks_of(graph.x_axis, style.x_ticks,
                       graph.chart == CHART_SMITH || graph.chart == CHART_POLAR ? std::string() : x_name,
                       graph.angular);
  g.x_caption = latin1(graph.x_label.empty() ? x_name : graph.x_label);
  if (!g.x_ticks.caption.empty()) g.x_caption += "  " + latin1(g.x_ticks.caption);
  g.parts.resize(static_cast<size_t>(plots));
  double y_labels = 0;
  bool y_captions = false;
  for (int p = 0; p < plots; ++p) {
    PlotPart& part = g.parts[static_cast<size_t>(p)];
    const Plot& plot = graph.plot[static_cast<size_t>(p)];
    std::string name;
    for (const SelectedTrace* t : traces)
      if (t->plot == p && name.empty()) name = t->name;
    if (graph.chart != CHART_NORMAL) name.clear();  // counts and reflection coefficients have no unit
    part.ticks = ticks_of(plot.y_axis, style.y_ticks[static_cast<size_t>(p)], name, graph.angular);
    part.caption = latin1(plot.y_label);
    if (!part.ticks.caption.empty())
      part.caption += (part.caption.isEmpty() ? "" : "  ") + latin1(part.ticks.caption);
    y_captions = y_captions || !part.caption.isEmpty();
    for (const TickMark& m : part.ticks.marks) y_labels = std::max(y_labels, f.width(m.label));
  }

  // Margins: header on top, the Y texts on the left, the X texts below, room on
  // the right for half the last X label. A wide first X label would run into
  // the lowest Y label at the corner: the X labels then move down past it.
  g.x_label_gap = f.pad * 0.3;
  if (!g.x_ticks.marks.empty() && f.width(g.x_ticks.marks.front().label) / 2 > f.pad * 0.3)
    g.x_label_gap = f.fm.height() * 0.5 + f.pad * 0.4;
  const double top = area.top() + f.pad + (g.header.empty() ? 0 : g.header.size() * f.line + f.pad * 0.5);
  const double bottom =
      area.bottom() - f.pad - f.line - g.x_label_gap - (g.x_caption.isEmpty() ? 0 : f.line + f.pad * 0.2);
  double left = area.left() + f.pad + (y_captions ? f.line + f.pad * 0.5 : 0) + y_labels + f.pad * 0.5;
  double right = area.right() - f.pad * 1.5;
  if (!g.x_ticks.marks.empty()) {
    left = std::max(left, area.left() + f.pad + f.width(g.x_ticks.marks.front().label) / 2);
    right = std::min(right, area.right() - f.pad * 0.5 - f.width(g.x_ticks.marks.back().label) / 2);
  }
  double width = std::max(0.0, right - left);

  // Above each frame its legend, and room for the half line of its top Y label.
  std::vector<double> above(static_cast<size_t>(plots));
  double frames_height = bottom - top;
  for (int pass = 0; pass < 2; ++pass) {
    frames_height = bottom - top;
    for (int p = 0; p < plots; ++p) {
      PlotPart& part = g.parts[static_cast<size_t>(p)];
      part.legend.clear();
      part.legend_cut = false;
      const int rows = style.legend ? place_legend(part, traces, p, graph, store, f, left, width) : 0;
      const double legend = rows * f.line + (rows ? f.pad * 0.4 : 0);
      // Between two plots the half lines of the labels at their edges meet,
      // and a legend keeps clear of the plot above.
      above[static_cast<size_t>(p)] =
          p == 0 ? std::max(legend, f.line * 0.6) : std::max(legend + f.line * 0.5, f.line * 1.5);
      frames_height -= above[static_cast<size_t>(p)];
    }
    // A square plot area is as wide as its frames are high together.
    if (graph.options.area != AREA_SQUARE || pass == 1 || width <= frames_height) break;
    const double centre = (left + right) / 2;
    width = std::max(0.0, frames_height);
    left = centre - width / 2;
  }
  const double frame_height = std::max(0.0, frames_height / plots);
  double y = top;
  for (int p = 0; p < plots; ++p) {
    PlotPart& part = g.parts[static_cast<size_t>(p)];
    // The legend stands just above its frame.
    const double rows = part.legend.empty() ? 0 : part.legend.back().at.y() / f.line + 1;
    const double legend_top = y + above[static_cast<size_t>(p)] - rows * f.line - f.pad * 0.4 + f.line * 0.5;
    for (LegendEntry& e : part.legend) e.at.ry() += legend_top;
    part.legend_more.ry() += legend_top;
    y += above[static_cast<size_t>(p)];
    PlotFrame frame{p, QRectF(left, y, width, frame_height)};
    const AxisScale& axis = graph.plot[static_cast<size_t>(p)].y_axis;
    frame.low = axis.low;
    frame.high = axis.high;
    usable_span(frame.low, frame.high);
    frame.log = axis.log_scale != 0;
    g.layout.frames.push_back(frame);
    y += frame_height;
  }
  g.layout.x_low = graph.x_axis.low;
  g.layout.x_high = graph.x_axis.high;
  usable_span(g.layout.x_low, g.layout.x_high);
  g.layout.x_log = graph.x_axis.log_scale != 0;

  // The labels that fit.
  const QRectF first = g.layout.frames.front().rect;
  std::vector<double> pos, half;
  for (const TickMark& m : g.x_ticks.marks) {
    pos.push_back(x_pixel(g.layout, first, m.at));
    half.push_back(f.width(m.label) / 2);
  }
  g.x_labelled = fit_labels(g.x_ticks.marks, pos, half, f.px * 0.8);
  for (const GraphLabel& label : graph.labels) g.layout.labels.push_back(label_box(g, label));
  for (size_t p = 0; p < g.parts.size(); ++p) {
    PlotPart& part = g.parts[p];
    pos.clear();
    for (const TickMark& m : part.ticks.marks) pos.push_back(y_pixel(g.layout.frames[p], m.at));
    half.assign(pos.size(), f.fm.height() / 2);
    part.labelled = fit_labels(part.ticks.marks, pos, half, f.px * 0.15);
  }
  return g;
}

// ---- Texts -----------------------------------------------------------------

// A tick label with its exponent raised; `at` is its top centre (X axis) or
// its right middle (Y axis).
void draw_label(QPainter& p, const Fonts& f, const TickLabel& label, QPointF at, bool x_axis) {
  const QString text = latin1(label.text), exponent = latin1(label.exponent);
  const double w = f.width(label);
  const double x = x_axis ? at.x() - w / 2 : at.x() - w;
  const double base = x_axis ? at.y() + f.fm.ascent() + (exponent.isEmpty() ? 0 : f.px * 0.25)
                             : at.y() + (f.fm.ascent() - f.fm.descent()) / 2;
  p.setFont(f.text);
  p.drawText(QPointF(x, base), text);
  if (exponent.isEmpty()) return;
  p.setFont(f.small);
  p.drawText(QPointF(x + f.fm.horizontalAdvance(text), base - f.fm.ascent() * 0.45), exponent);
  p.setFont(f.text);
}

void draw_header(QPainter& p, const Geometry& g) {
  const Fonts& f = g.fonts;
  const QRectF& area = g.layout.area;
  double y = area.top() + f.pad;
  for (const HeaderLine& l : g.header) {
    const QRectF row(area.left() + f.pad, y, area.width() - 2 * f.pad, f.line);
    p.setFont(f.text);
    p.drawText(row, Qt::AlignLeft | Qt::AlignVCenter, l.left);
    p.drawText(row, Qt::AlignRight | Qt::AlignVCenter, l.right);
    // The centre text gives way to the corners rather than running over them.
    const double side = std::max(f.width(l.left), f.width(l.right)) + f.pad;
    const QRectF middle = row.adjusted(side, 0, -side, 0);
    const QFontMetricsF& fm = l.title ? f.title_fm : f.fm;
    p.setFont(l.title ? f.title : f.text);
    p.drawText(middle, Qt::AlignCenter,
               fm.elidedText(l.centre, Qt::ElideRight, std::max(0.0, middle.width())));
    y += f.line;
  }
}

// ---- Frames, grids, ticks --------------------------------------------------

// Frames, grids and ticks are a pixel of the area wide, so that a printed
// page keeps them as visible as the screen does.
QPen line_pen(const QColor& c, double width = 1.0) {
  QPen pen(c);
  pen.setWidthF(width);
  pen.setCapStyle(Qt::FlatCap);
  return pen;
}

// Grid lines at the marks (Single), and between them or at the log
// sub-decades (Double).
void draw_grid(QPainter& p, const Geometry& g, const PlotFrame& frame, const PlotPart& part, int grid,
               const Theme& t) {
  if (grid == GRID_NONE) return;
  const QRectF& r = frame.rect;
  const auto vertical = [&](double x) { p.drawLine(QPointF(x, r.top()), QPointF(x, r.bottom())); };
  const auto horizontal = [&](double y) { p.drawLine(QPointF(r.left(), y), QPointF(r.right(), y)); };
  const auto lines = [&](const std::vector<TickMark>& marks, bool x_axis, double low, double high) {
    const auto at = [&](double v) { return x_axis ? x_pixel(g.layout, r, v) : y_pixel(frame, v); };
    const auto draw = [&](double v) { x_axis ? vertical(at(v)) : horizontal(at(v)); };
    if (grid == GRID_DOUBLE) {
      p.setPen(line_pen(t.minor_grid));
      for (size_t i = 0; i < marks.size(); ++i) {
        if (!marks[i].major) draw(marks[i].at);
        if (marks[i].major && !frame.log && !(x_axis && g.layout.x_log) && i + 1 < marks.size()) {
          const double mid = (marks[i].at + marks[i + 1].at) / 2;
          if (mid > low && mid < high) draw(mid);
        }
      }
    }
    p.setPen(line_pen(t.grid));
    for (const TickMark& m : marks)
      if (m.major && m.at > low && m.at < high) draw(m.at);
  };
  lines(g.x_ticks.marks, true, g.layout.x_low, g.layout.x_high);
  lines(part.ticks.marks, false, frame.low, frame.high);
}

// The grid of a Smith chart: the unit circle, circles of constant resistance
// and arcs of constant reactance (clipped to the unit circle), each labelled
// with its normalised value, and the real axis.
void draw_smith_grid(QPainter& p, const Geometry& g, const PlotFrame& frame, const Theme& t) {
  const QRectF& r = frame.rect;
  const auto at = [&](double x, double y) { return QPointF(x_pixel(g.layout, r, x), y_pixel(frame, y)); };
  const auto ellipse = [&](const SmithCircle& c) {
    const QPointF centre = at(c.centre_x, c.centre_y);
    const QPointF edge = at(c.centre_x + c.radius, c.centre_y + c.radius);
    return QRectF(centre.x() - std::abs(edge.x() - centre.x()), centre.y() - std::abs(edge.y() - centre.y()),
                  2 * std::abs(edge.x() - centre.x()), 2 * std::abs(edge.y() - centre.y()));
  };
  static constexpr double kValues[] = {0.2, 0.5, 1, 2, 5};
  p.save();
  p.setClipRect(r, Qt::IntersectClip);
  p.setBrush(Qt::NoBrush);
  p.setPen(line_pen(t.grid));
  const QRectF unit = ellipse(smith_resistance_circle(0));
  for (double v : kValues) p.drawEllipse(ellipse(smith_resistance_circle(v)));
  p.drawLine(at(-1, 0), at(1, 0));
  QPainterPath inside;
  inside.addEllipse(unit);
  p.save();
  p.setClipPath(inside, Qt::IntersectClip);
  for (double v : kValues)
    for (double x : {v, -v}) p.drawEllipse(ellipse(smith_reactance_circle(x)));
  p.restore();
  p.setPen(line_pen(t.foreground));
  p.drawEllipse(unit);
  p.setFont(g.fonts.small);
  for (double v : kValues) {
    const QString text = QString::number(v);
    // Resistance on the real axis, reactance where its arc meets the unit circle.
    p.drawText(at((v - 1) / (v + 1), 0) + QPointF(2, -2), text);
    for (double x : {v, -v}) {
      const double d = x * x + 1;
      const QPointF on = at((x * x - 1) / d, 2 * x / d);
      const QPointF out = on + (on - at(0, 0)) * 0.04;
      p.drawText(QRectF(out.x() - 20, out.y() - 8, 40, 16), Qt::AlignCenter,
                 x > 0 ? "+j" + text : "-j" + text);
    }
  }
  p.restore();
}

// The grid of a polar chart: circles at the X axis's ticks, and spokes every
// 30 degrees from the origin.
void draw_polar_grid(QPainter& p, const Geometry& g, const PlotFrame& frame, const Theme& t) {
  const QRectF& r = frame.rect;
  const auto at = [&](double x, double y) { return QPointF(x_pixel(g.layout, r, x), y_pixel(frame, y)); };
  const double reach = std::max(std::abs(g.layout.x_low), std::abs(g.layout.x_high));
  p.save();
  p.setClipRect(r, Qt::IntersectClip);
  p.setBrush(Qt::NoBrush);
  p.setPen(line_pen(t.grid));
  for (const TickMark& m : g.x_ticks.marks) {
    if (!m.major || !(m.at > 0)) continue;
    const QPointF centre = at(0, 0), edge = at(m.at, m.at);
    p.drawEllipse(centre, std::abs(edge.x() - centre.x()), std::abs(edge.y() - centre.y()));
  }
  for (int degrees = 0; degrees < 180; degrees += 30) {
    const double a = degrees * M_PI / 180;
    p.drawLine(at(-reach * std::cos(a), -reach * std::sin(a)), at(reach * std::cos(a), reach * std::sin(a)));
  }
  p.restore();
}

// Tick marks point into the frame on all four sides; the labels stand outside.
void draw_axes(QPainter& p, const Geometry& g, const PlotFrame& frame, const PlotPart& part, bool bottom,
               const Theme& t) {
  const Fonts& f = g.fonts;
  const QRectF& r = frame.rect;
  p.setPen(line_pen(t.foreground));
  for (const TickMark& m : g.x_ticks.marks) {
    const double x = x_pixel(g.layout, r, m.at), len = m.major ? g.tick : g.tick * 0.55;
    p.drawLine(QPointF(x, r.bottom()), QPointF(x, r.bottom() - len));
    p.drawLine(QPointF(x, r.top()), QPointF(x, r.top() + len));
  }
  for (const TickMark& m : part.ticks.marks) {
    const double y = y_pixel(frame, m.at), len = m.major ? g.tick : g.tick * 0.55;
    p.drawLine(QPointF(r.left(), y), QPointF(r.left() + len, y));
    p.drawLine(QPointF(r.right(), y), QPointF(r.right() - len, y));
  }
  p.setPen(line_pen(t.foreground, 1.0));
  p.setBrush(Qt::NoBrush);
  p.drawRect(r);
  p.setRenderHint(QPainter::Antialiasing, true);
  for (size_t i = 0; i < part.ticks.marks.size(); ++i)
    if (part.labelled[i])
      draw_label(p, f, part.ticks.marks[i].label,
                 QPointF(r.left() - f.pad * 0.5, y_pixel(frame, part.ticks.marks[i].at)), false);
  if (!part.caption.isEmpty()) {
    p.save();
    p.translate(g.layout.area.left() + f.pad + f.fm.ascent(), r.center().y());
    p.rotate(-90);
    p.setFont(f.text);
    const QString text = f.fm.elidedText(part.caption, Qt::ElideRight, std::max(1.0, r.height()));
    p.drawText(QPointF(-f.width(text) / 2, 0), text);
    p.restore();
  }
  if (!bottom) return;
  for (size_t i = 0; i < g.x_ticks.marks.size(); ++i)
    if (g.x_labelled[i])
      draw_label(p, f, g.x_ticks.marks[i].label,
                 QPointF(x_pixel(g.layout, r, g.x_ticks.marks[i].at), r.bottom() + g.x_label_gap), true);
  if (!g.x_caption.isEmpty()) {
    p.setFont(f.text);
    const QRectF row(r.left(), g.layout.area.bottom() - f.pad - f.line, r.width(), f.line);
    p.drawText(row, Qt::AlignCenter,
               f.fm.elidedText(g.x_caption, Qt::ElideRight, static_cast<int>(row.width())));
  }
}

// ---- Traces ----------------------------------------------------------------

// Device pixels per unit of the area, so that a trace gets a column per pixel
// on a HiDPI screen or a printer too. The painter's transform already holds
// the device pixel ratio.
double device_scale(const QPainter& p) {
  const double scale = std::sqrt(std::abs(p.combinedTransform().determinant()));
  return std::isfinite(scale) && scale > 0 ? scale : 1.0;
}

constexpr double kPenWidths[6] = {0.6, 1, 2, 3, 5, 7};

QPen trace_pen(const SelectedTrace& t, const Geometry& g, const PlotStyle& style) {
  QPen pen(trace_colour(t.options.colour, style.mode));
  double width = std::clamp(g.fonts.px / 10, 1.0, 4.0);
  if (style.printing) width *= kPenWidths[std::clamp(t.options.pen_width, 0, 5)];
  if (t.options.display == DISPLAY_HIGHLIGHT) width *= 2.2;
  pen.setWidthF(width);
  pen.setCapStyle(Qt::RoundCap);
  pen.setJoinStyle(Qt::RoundJoin);
  if (!style.printing) return pen;
  static const QList<qreal> kDashes[10] = {
      {}, {}, {6, 3}, {6, 3, 1, 3}, {1, 2}, {3, 3}, {6, 3, 1, 3, 1, 3}, {1, 2, 1, 2, 3, 2}, {12, 4}, {1, 3}};
  const int type = std::clamp(t.options.line_type, 0, 9);
  if (type == 0) pen.setStyle(Qt::NoPen);
  if (!kDashes[type].isEmpty()) pen.setDashPattern(kDashes[type]);
  return pen;
}

// A column's Y extent on the axis; false when nothing of it shows. A log axis
// draws magnitudes: a piece through zero reaches below the frame.
bool column_span(const LodColumn& c, const PlotFrame& f, double& lo, double& hi) {
  if (c.empty || std::isnan(c.y_min) || std::isnan(c.y_max)) return false;
  if (!f.log) {
    lo = c.y_min;
    hi = c.y_max;
    return true;
  }
  if (c.y_min > 0) {
    lo = std::log10(c.y_min);
    hi = std::log10(c.y_max);
  } else if (c.y_max < 0) {
    lo = std::log10(-c.y_max);
    hi = std::log10(-c.y_min);
  } else {
    const double top = std::max(-c.y_min, c.y_max);
    if (!(top > 0)) return false;
    hi = std::log10(top);
    lo = f.low - (f.high - f.low);
  }
  return true;
}

// A polyline, as separate segments when the pen is solid: stroking a line
// that folds back on itself at every pixel, as a dense trace does, costs the
// painter many times more than its segments one by one, which look the same
// with round caps.
void draw_polyline(QPainter& p, const QPolygonF& line) {
  if (line.size() == 1) p.drawPoint(line.front());
  if (line.size() < 2) return;
  if (p.pen().style() != Qt::SolidLine) {
    p.drawPolyline(line);
    return;
  }
  std::vector<QLineF> segments;
  segments.reserve(static_cast<size_t>(line.size()));
  for (qsizetype i = 1; i < line.size(); ++i) segments.emplace_back(line[i - 1], line[i]);
  p.drawLines(segments.data(), static_cast<int>(segments.size()));
}

// The columns as one line: in each column a stroke across it between its
// lowest and highest value, entered at the end nearer where the last column
// left off. A column meets its neighbour at the value on their shared edge, so
// where the trace is sparse the strokes join into the trace's own segments,
// and where it is dense they fill the band it covers, pixel by pixel.
void draw_columns(QPainter& p, const std::vector<LodColumn>& cols, const PlotFrame& f) {
  const double step = f.rect.width() / static_cast<double>(cols.size());
  QPolygonF line;
  // A column where a dense trace covers a band is filled as a rectangle:
  // stroking thousands of tall, overlapping antialiased segments as one
  // outline costs a frame and more, filling them a small part of that. A band
  // overlaps its neighbours; a steep piece of a sparse trace only touches
  // them, and stays a stroke so that it does not turn into steps.
  const auto flush = [&] {
    if (p.pen().style() != Qt::SolidLine || line.size() < 2) {
      draw_polyline(p, line);
      line.clear();
      return;
    }
    const double w = p.pen().widthF();
    const qsizetype columns = line.size() / 2;
    const auto span = [&](qsizetype k) {
      const double a = line[2 * k].y(), b = line[2 * k + 1].y();
      return std::pair{std::min(a, b), std::max(a, b)};
    };
    const auto overlap = [&](qsizetype k, qsizetype j) {
      if (j < 0 || j >= columns) return 0.0;
      const auto [lo1, hi1] = span(k);
      const auto [lo2, hi2] = span(j);
      return std::min(hi1, hi2) - std::max(lo1, lo2);
    };
    std::vector<QLineF> thin;
    for (qsizetype k = 0; k < columns; ++k) {
      const QPointF a = line[2 * k], b = line[2 * k + 1];
      const auto [top, bottom] = span(k);
      if (bottom - top > 2 * w && std::max(overlap(k, k - 1), overlap(k, k + 1)) > w)
        p.fillRect(QRectF(a.x() - w / 2, top - w / 2, b.x() - a.x() + w, bottom - top + w), p.pen().brush());
      else
        thin.emplace_back(a, b);
      if (k + 1 < columns) thin.emplace_back(b, line[2 * k + 2]);
    }
    p.drawLines(thin.data(), static_cast<int>(thin.size()));
    line.clear();
  };
  double lo = 0, hi = 0, next_lo = 0, next_hi = 0;
  bool have = !cols.empty() && column_span(cols[0], f, lo, hi);
  for (size_t c = 0; c < cols.size(); ++c) {
    const bool have_next = c + 1 < cols.size() && column_span(cols[c + 1], f, next_lo, next_hi);
    if (have) {
      double a = y_pixel(f, lo), b = y_pixel(f, hi);
      if (!line.isEmpty()) {
        if (std::abs(line.back().y() - b) < std::abs(line.back().y() - a)) std::swap(a, b);
      } else if (have_next) {
        // The first column of a piece leaves towards the next one.
        const double next = (y_pixel(f, next_lo) + y_pixel(f, next_hi)) / 2;
        if (std::abs(a - next) < std::abs(b - next)) std::swap(a, b);
      }
      const double x = f.rect.left() + static_cast<double>(c) * step;
      line << QPointF(x, a) << QPointF(x + step, b);
    } else {
      flush();
    }
    have = have_next;
    lo = next_lo;
    hi = next_hi;
  }
  flush();
}

// A trace point by point: one whose X goes back and forth on a log axis, or
// one drawn in a single direction, where only the pieces along which X grows
// (DIRECTION_UP) or falls (DIRECTION_DOWN) are drawn.
void draw_raw(QPainter& p, std::span<const double> xs, std::span<const double> ys, const GraphLayout& l,
              const PlotFrame& f, int direction) {
  QPolygonF line;
  const auto flush = [&] {
    draw_polyline(p, line);
    line.clear();
  };
  double last_x = std::numeric_limits<double>::quiet_NaN();
  for (size_t i = 0; i < std::min(xs.size(), ys.size()); ++i) {
    double y = f.log ? std::abs(ys[i]) : ys[i];
    if (std::isnan(xs[i]) || (l.x_log && !(xs[i] > 0)) || std::isnan(y) || (f.log && !(y > 0))) {
      flush();
      last_x = std::numeric_limits<double>::quiet_NaN();
      continue;
    }
    const bool along = direction == DIRECTION_BOTH || std::isnan(last_x) ||
                       (direction == DIRECTION_UP ? xs[i] > last_x : xs[i] < last_x);
    if (!along) {
      // A point between two pieces going the other way is no piece of its own.
      if (line.size() > 1) draw_polyline(p, line);
      line.clear();
    }
    last_x = xs[i];
    if (f.log) y = std::log10(y);
    line << QPointF(x_pixel(l, f.rect, l.x_log ? std::log10(xs[i]) : xs[i]), y_pixel(f, y));
  }
  if (direction != DIRECTION_BOTH && line.size() == 1) line.clear();
  flush();
}

void draw_trace_line(QPainter& p, LevelOfDetail& detail, const GraphLayout& l, const PlotFrame& f,
                     int columns, DataStore& store, const SelectedTrace& t, int direction) {
  if (direction == DIRECTION_UP || direction == DIRECTION_DOWN) {
    // A sweep in one direction is drawn whole or not at all; one that goes
    // back and forth shows its pieces in the direction asked for.
    const LodOrder order = detail.order();
    if (order == (direction == DIRECTION_UP ? LodOrder::descending : LodOrder::ascending)) return;
    if (order == LodOrder::unordered) {
      draw_raw(p, store.values(*t.x), store.values(*t.y), l, f, direction);
      return;
    }
  }
  std::vector<LodColumn> cols;
  if (!l.x_log) {
    detail.envelope(l.x_low, l.x_high, columns, cols);
  } else if (detail.order() == LodOrder::unordered) {
    draw_raw(p, store.values(*t.x), store.values(*t.y), l, f, DIRECTION_BOTH);
    return;
  } else {
    // Equal columns in log10 X: one envelope per column.
    cols.resize(static_cast<size_t>(columns));
    std::vector<LodColumn> one;
    const double w = (l.x_high - l.x_low) / columns;
    for (int c = 0; c < columns; ++c) {
      const double a = std::pow(10.0, l.x_low + c * w), b = std::pow(10.0, l.x_low + (c + 1) * w);
      if (detail.envelope(a, b, 1, one) == 1) cols[static_cast<size_t>(c)] = one[0];
    }
  }
  if (!cols.empty()) draw_columns(p, cols, f);
}

void draw_symbol(QPainter& p, int symbol, QPointF at, double r, double baseline) {
  const QRectF box(at.x() - r, at.y() - r, 2 * r, 2 * r);
  const QPolygonF triangle{
      {at.x(), at.y() - r}, {at.x() + r, at.y() + r * 0.8}, {at.x() - r, at.y() + r * 0.8}};
  const bool solid = symbol >= 4 && symbol <= 7;
  p.setBrush(solid ? QBrush(p.pen().color()) : QBrush(Qt::NoBrush));
  switch (symbol) {
    case 1:
    case 4:
      p.drawEllipse(box);
      break;
    case 2:
    case 5:
      p.drawRect(box);
      break;
    case 3:
    case 6:
      p.drawPolygon(triangle);
      break;
    case 7:
      p.drawEllipse(at, r * 0.35, r * 0.35);
      break;
    case 8:
      p.fillRect(QRectF(QPointF(at.x() - r * 0.6, std::min(at.y(), baseline)),
                        QPointF(at.x() + r * 0.6, std::max(at.y(), baseline))),
                 p.pen().color());
      break;
    case 9:
      p.drawLine(QPointF(at.x(), baseline), at);
      break;
    default:
      break;
  }
  p.setBrush(Qt::NoBrush);
}

// Symbols at the points, when few enough points are in view to tell them apart.
void draw_trace_symbols(QPainter& p, LevelOfDetail& detail, const Geometry& g, const PlotFrame& f,
                        DataStore& store, const SelectedTrace& t) {
  const auto xs = store.values(*t.x), ys = store.values(*t.y);
  const size_t n = std::min(xs.size(), ys.size());
  const double r = g.fonts.px * 0.3;
  const size_t limit = static_cast<size_t>(std::max(1.0, f.rect.width() / (r * 4)));
  const GraphLayout& l = g.layout;
  const double from = l.x_log ? std::pow(10.0, l.x_low) : l.x_low,
               to = l.x_log ? std::pow(10.0, l.x_high) : l.x_high;
  size_t first = 0, last = n;
  if (detail.order() == LodOrder::ascending) {
    first = static_cast<size_t>(std::lower_bound(xs.begin(), xs.begin() + n, from) - xs.begin());
    last = static_cast<size_t>(std::upper_bound(xs.begin(), xs.begin() + n, to) - xs.begin());
    if (last - first > limit) return;
  }
  std::vector<QPointF> points;
  for (size_t i = first; i < last; ++i) {
    if (!(xs[i] >= from && xs[i] <= to)) continue;
    double y = f.log ? std::abs(ys[i]) : ys[i];
    if (std::isnan(y) || (f.log && !(y > 0))) continue;
    if (f.log) y = std::log10(y);
    if (points.size() == limit) return;
    points.emplace_back(x_pixel(l, f.rect, l.x_log ? std::log10(xs[i]) : xs[i]), y_pixel(f, y));
  }
  const double baseline = !f.log && f.low < 0 && f.high > 0 ? y_pixel(f, 0) : f.rect.bottom();
  QPen pen = p.pen();
  pen.setStyle(Qt::SolidLine);
  pen.setWidthF(std::max(1.0, pen.widthF() * 0.8));
  p.setPen(pen);
  for (const QPointF& at : points) draw_symbol(p, t.options.symbol, at, r, baseline);
}

// The histogram's counts as bars over their bins, filled lightly in the
// trace's colour, the outline in its pen.
void draw_histogram_bars(QPainter& p, const Geometry& g, const PlotFrame& f, const Graph& graph,
                         DataStore& store, const SelectedTrace& t, const PlotStyle& style) {
  const Histogram& h = *graph.histogram;
  // Both are read before either view is taken: a load may move the values.
  store.values(*t.x);
  const auto centres = store.values(*t.x);
  const auto counts = store.values(*t.y);
  const QPen pen = trace_pen(t, g, style);
  QColor fill = pen.color();
  fill.setAlphaF(style.mode == DISPLAY_MODE_MONOCHROME ? 0.0 : 0.25);
  p.setPen(pen);
  p.setBrush(fill);
  const double base = y_pixel(f, std::max(f.low, 0.0));
  for (size_t k = 0; k < std::min(centres.size(), counts.size()); ++k) {
    if (!(counts[k] > 0)) continue;
    const double left = x_pixel(g.layout, f.rect, centres[k] - h.bin / 2);
    const double right = x_pixel(g.layout, f.rect, centres[k] + h.bin / 2);
    p.drawRect(QRectF(QPointF(left, y_pixel(f, counts[k])), QPointF(right, base)));
  }
  p.setBrush(Qt::NoBrush);
}

// A chart's read-out (a histogram's statistics, an eye's period) in a box at
// the top right of its plot.
void draw_chart_readout(QPainter& p, const Geometry& g, const PlotFrame& f,
                        const std::vector<std::string>& lines, const Theme& t) {
  if (lines.empty()) return;
  double width = 0;
  for (const std::string& l : lines) width = std::max(width, g.fonts.width(latin1(l)));
  const double margin = g.fonts.pad * 0.5;
  const QRectF box(f.rect.right() - width - 3 * margin, f.rect.top() + margin, width + 2 * margin,
                   static_cast<double>(lines.size()) * g.fonts.line + 2 * margin);
  p.save();
  p.setClipRect(f.rect, Qt::IntersectClip);
  p.fillRect(box, t.background);
  p.setPen(t.foreground);
  p.drawRect(box);
  p.setFont(g.fonts.text);
  for (size_t i = 0; i < lines.size(); ++i)
    p.drawText(QRectF(box.left() + margin, box.top() + margin + static_cast<double>(i) * g.fonts.line, width,
                      g.fonts.line),
               Qt::AlignLeft | Qt::AlignVCenter, latin1(lines[i]));
  p.restore();
}

// A trace drawn point to point, for the charts whose X goes back and forth
// (Smith, polar) and the eye, whose line breaks where a period starts again
// (X going back) and at the points outside its window.
void draw_trace_points(QPainter& p, const Geometry& g, const PlotFrame& f, DataStore& store,
                       const SelectedTrace& t, const PlotStyle& style, bool eye) {
  store.values(*t.x);
  const auto xs = store.values(*t.x);
  const auto ys = store.values(*t.y);
  const size_t n = std::min(xs.size(), ys.size());
  p.setPen(trace_pen(t, g, style));
  QPolygonF line;
  auto flush = [&] {
    if (line.size() > 1) p.drawPolyline(line);
    line.clear();
  };
  double previous = -INFINITY;
  for (size_t i = 0; i < n; ++i) {
    const double x = xs[i], y = ys[i];
    const bool outside = eye && std::abs(x) >= kEyeOutside;
    if (!std::isfinite(x) || !std::isfinite(y) || outside || (eye && x < previous)) flush();
    previous = x;
    if (!std::isfinite(x) || !std::isfinite(y) || outside) continue;
    const double yv = f.log ? (y > 0 ? std::log10(y) : NAN) : y;
    if (!std::isfinite(yv)) {
      flush();
      continue;
    }
    line << QPointF(x_pixel(g.layout, f.rect, g.layout.x_log ? std::log10(x) : x), y_pixel(f, yv));
  }
  flush();
}

void draw_traces(QPainter& p, const Geometry& g, const PlotFrame& f, Graph& graph, DataStore& store,
                 const PlotStyle& style) {
  const double device_columns = f.rect.width() * device_scale(p);
  const int columns = std::isfinite(device_columns)
                          ? static_cast<int>(std::clamp(device_columns + 0.5, 1.0, double{kMaxColumns}))
                          : 1;
  p.save();
  p.setClipRect(f.rect, Qt::IntersectClip);
  p.setRenderHint(QPainter::Antialiasing, true);
  for (const SelectedTrace* t : shown_traces(graph)) {
    if (t->plot != f.plot || !t->x || !t->y) continue;
    if (graph.chart == CHART_HISTOGRAM && graph.histogram && t->y->name == kHistogramCountName) {
      draw_histogram_bars(p, g, f, graph, store, *t, style);
      continue;
    }
    const bool eye = t->x->name == kEyeVectorName;
    if (graph.chart == CHART_SMITH || graph.chart == CHART_POLAR || eye) {
      draw_trace_points(p, g, f, store, *t, style, eye);
      if (t->options.symbol > 0)
        if (LevelOfDetail* detail = trace_detail(graph, store, *t))
          draw_trace_symbols(p, *detail, g, f, store, *t);
      continue;
    }
    LevelOfDetail* detail = trace_detail(graph, store, *t);
    if (!detail) continue;
    p.setPen(trace_pen(*t, g, style));
    if (p.pen().style() != Qt::NoPen)
      draw_trace_line(p, *detail, g.layout, f, columns, store, *t, graph.options.direction);
    if (t->options.symbol > 0) draw_trace_symbols(p, *detail, g, f, store, *t);
  }
  p.restore();
}

void draw_legend(QPainter& p, const Geometry& g, const PlotPart& part, const PlotStyle& style,
                 const Theme& t) {
  const Fonts& f = g.fonts;
  p.setFont(f.text);
  for (const LegendEntry& e : part.legend) {
    QPen pen = trace_pen(*e.trace, g, style);
    if (pen.style() == Qt::NoPen) pen.setStyle(Qt::SolidLine);
    p.setPen(pen);
    p.drawLine(e.at, e.at + QPointF(f.px * 1.8, 0));
    if (e.trace->options.symbol > 0 && e.trace->options.symbol < 8)
      draw_symbol(p, e.trace->options.symbol, e.at + QPointF(f.px * 0.9, 0), f.px * 0.3, e.at.y());
    p.setPen(trace_colour(e.trace->options.colour, style.mode));
    p.drawText(e.at + QPointF(f.px * 2.2, (f.fm.ascent() - f.fm.descent()) / 2), e.text);
  }
  if (part.legend_cut) {
    p.setPen(t.foreground);
    p.drawText(part.legend_more + QPointF(0, (f.fm.ascent() - f.fm.descent()) / 2), "...");
  }
}

// ---- Cursors ---------------------------------------------------------------

void draw_cursors(QPainter& p, const Geometry& g, const Graph& graph, const CursorPair& pair,
                  const Theme& t) {
  const double r = g.fonts.px * 0.55;
  for (size_t k = 0; k < pair.cursor.size(); ++k) {
    const Cursor& c = pair.cursor[k];
    if (!c.active || c.trace < 0 || static_cast<size_t>(c.trace) >= graph.traces.size() ||
        !std::isfinite(c.x) || !std::isfinite(c.y))
      continue;
    const int plot = graph.traces[static_cast<size_t>(c.trace)]->plot;
    if (plot < 0 || static_cast<size_t>(plot) >= g.layout.frames.size()) continue;
    const QRectF& frame = g.layout.frames[static_cast<size_t>(plot)].rect;
    const QPointF at = graph_position_of(g.layout, plot, c.x, c.y);
    QPen pen = line_pen(t.foreground, 1.0);
    if (k == 1) pen.setStyle(Qt::DashLine);  // cursor 2 told from cursor 1 at a glance
    p.save();
    p.setClipRect(frame, Qt::IntersectClip);
    p.setPen(pen);
    // Bars and hairs are straight lines: crisp, not smoothed over two pixels.
    p.setRenderHint(QPainter::Antialiasing, c.shape == SHAPE_X);
    switch (c.shape) {
      case SHAPE_X:
        p.drawLine(at + QPointF(-r, -r), at + QPointF(r, r));
        p.drawLine(at + QPointF(-r, r), at + QPointF(r, -r));
        break;
      case SHAPE_VERTICAL_BAR:
        p.drawLine(QPointF(at.x(), frame.top()), QPointF(at.x(), frame.bottom()));
        break;
      case SHAPE_HORIZONTAL_BAR:
        p.drawLine(QPointF(frame.left(), at.y()), QPointF(frame.right(), at.y()));
        break;
      case SHAPE_CROSS_HAIR:
        p.drawLine(QPointF(at.x(), frame.top()), QPointF(at.x(), frame.bottom()));
        p.drawLine(QPointF(frame.left(), at.y()), QPointF(frame.right(), at.y()));
        break;
      default:
        p.drawLine(at - QPointF(r, 0), at + QPointF(r, 0));
        p.drawLine(at - QPointF(0, r), at + QPointF(0, r));
        break;
    }
    p.setFont(g.fonts.small);
    p.drawText(at + QPointF(r * 0.6, -r * 0.6), QString::number(k + 1));
    p.restore();
  }
}

// ---- Graph labels ----------------------------------------------------------

void draw_graph_labels(QPainter& p, const Geometry& g, const Graph& graph, const Theme& t) {
  const size_t n = std::min(graph.labels.size(), g.layout.labels.size());
  for (size_t i = 0; i < n; ++i) {
    const QRectF& box = g.layout.labels[i];
    const PlotFrame* f = frame_of(g.layout, graph.labels[i].plot);
    if (box.isEmpty() || !f) continue;
    p.save();
    p.setClipRect(f->rect, Qt::IntersectClip);
    if (!graph.transparent_labels) p.fillRect(box, t.background);
    p.setPen(t.foreground);
    p.setFont(g.fonts.text);
    p.drawText(box, Qt::AlignCenter, latin1(graph.labels[i].text));
    p.restore();
  }
}

}  // namespace

GraphLayout graph_layout(const QRectF& area, const Graph& graph, const DataStore& store,
                         const PlotStyle& style) {
  return measure(area, graph, store, style).layout;
}

GraphLayout draw_graph(QPainter& painter, const QRectF& area, Graph& graph, DataStore& store,
                       const PlotStyle& style) {
  const Geometry g = measure(area, graph, store, style);
  const Theme t = theme(style.mode);
  painter.save();
  painter.setClipRect(area, Qt::IntersectClip);
  painter.fillRect(area, t.background);
  painter.setRenderHint(QPainter::TextAntialiasing, true);
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setPen(t.foreground);
  draw_header(painter, g);
  for (size_t i = 0; i < g.layout.frames.size(); ++i) {
    const PlotFrame& frame = g.layout.frames[i];
    if (frame.rect.width() < 2 || frame.rect.height() < 2) continue;
    // Straight lines on whole pixels stay crisp without smoothing.
    painter.setRenderHint(QPainter::Antialiasing, false);
    if (graph.chart == CHART_SMITH)
      draw_smith_grid(painter, g, frame, t);
    else if (graph.chart == CHART_POLAR)
      draw_polar_grid(painter, g, frame, t);
    else
      draw_grid(painter, g, frame, g.parts[i], graph.options.grid, t);
    draw_traces(painter, g, frame, graph, store, style);
    painter.setRenderHint(QPainter::Antialiasing, false);
    draw_axes(painter, g, frame, g.parts[i], i + 1 == g.layout.frames.size(), t);
    painter.setRenderHint(QPainter::Antialiasing, true);
    if (style.legend) draw_legend(painter, g, g.parts[i], style, t);
    if (graph.chart == CHART_HISTOGRAM && graph.histogram && frame.plot == 0)
      draw_chart_readout(painter, g, frame, histogram_readout(*graph.histogram), t);
    else if (frame.plot == 0)
      draw_chart_readout(painter, g, frame, graph.chart_readout, t);
  }
  draw_graph_labels(painter, g, graph, t);
  if (style.cursors) draw_cursors(painter, g, graph, *style.cursors, t);
  painter.restore();
  return g.layout;
}

double graph_x_at(const GraphLayout& layout, double x) {
  if (layout.frames.empty() || layout.frames.front().rect.width() <= 0) return layout.x_low;
  const QRectF& r = layout.frames.front().rect;
  return layout.x_low + (x - r.left()) / r.width() * (layout.x_high - layout.x_low);
}

GraphPoint graph_point_at(const GraphLayout& layout, QPointF position) {
  GraphPoint out;
  out.x = graph_x_at(layout, position.x());
  for (const PlotFrame& f : layout.frames) {
    if (position.y() < f.rect.top() || position.y() > f.rect.bottom() || f.rect.height() <= 0) continue;
    out.plot = f.plot;
    out.y = f.low + (f.rect.bottom() - position.y()) / f.rect.height() * (f.high - f.low);
    break;
  }
  return out;
}

QPointF graph_position_of(const GraphLayout& layout, int plot, double x, double y) {
  for (const PlotFrame& f : layout.frames)
    if (f.plot == plot) return QPointF(x_pixel(layout, f.rect, x), y_pixel(f, y));
  return layout.area.center();
}

int graph_label_at(const GraphLayout& layout, const Graph& graph, QPointF position) {
  const size_t n = std::min(layout.labels.size(), graph.labels.size());
  for (size_t i = n; i-- > 0;) {
    const PlotFrame* f = frame_of(layout, graph.labels[i].plot);
    if (f && layout.labels[i].intersected(f->rect).contains(position)) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace zephyrim
