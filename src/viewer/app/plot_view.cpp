#include "viewer/app/plot_view.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "viewer/data/data_store.h"
#include "viewer/plot/axis_scale.h"

namespace zephyrim {

PlotView::PlotView(Graph& graph, DataStore& store, CursorPair& cursors, QWidget* parent)
    : QWidget(parent), graph_(graph), store_(store), cursors_(cursors) {
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(false);
  setMinimumSize(320, 240);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void PlotView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  // The fast plotting mode draws without smoothing the lines.
  p.setRenderHint(QPainter::Antialiasing, graph_.options.plotting != PLOT_FAST);
  p.setRenderHint(QPainter::TextAntialiasing, true);
  PlotStyle s = style;
  s.cursors = &cursors_;
  if (graph_.traces.empty()) {
    p.fillRect(rect(), s.mode == DISPLAY_MODE_BLACK ? Qt::black : Qt::white);
    layout_ = {};
    return;
  }
  show_pointer();
  layout_ = draw_graph(p, QRectF(rect()), graph_, store_, s);
  if (dragging_) {
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(s.mode == DISPLAY_MODE_BLACK ? Qt::white : Qt::black, 1, Qt::DashLine));
    p.setBrush(Qt::NoBrush);
    p.drawRect(rubber_band_.normalized());
  }
}

PlotView::Ranges PlotView::current() const {
  Ranges r{graph_.x_axis, {}};
  for (int k = 0; k < graph_.plots; ++k) r.y.push_back(graph_.plot[k].y_axis);
  return r;
}

void PlotView::restore(const Ranges& r) {
  graph_.x_axis = r.x;
  for (size_t k = 0; k < r.y.size() && k < graph_.plot.size(); ++k) graph_.plot[k].y_axis = r.y[k];
}

void PlotView::zoom_to(double x_low, double x_high, int plot, double y_low, double y_high) {
  if (!(x_high > x_low)) return;
  zoom_stack_.push_back(current());
  // The zoomed range gets ticks of its own, chosen as for data of that range.
  auto set = [&](AxisScale& a, double lo, double hi, bool y_axis) {
    a.data_min = lo;
    a.data_max = hi;
    a.limits_manual = 0;
    auto_axis_limits(a, y_axis, graph_.plots);
    a.limits_manual = 1;
  };
  set(graph_.x_axis, x_low, x_high, false);
  if (plot >= 0 && plot < graph_.plots && y_high > y_low) set(graph_.plot[plot].y_axis, y_low, y_high, true);
  emit zoom_changed();
  update();
}

void PlotView::zoom_cancel() {
  if (zoom_stack_.empty()) return;
  restore(zoom_stack_.back());
  zoom_stack_.pop_back();
  emit zoom_changed();
  update();
}

void PlotView::scroll(int step) {
  if (graph_.traces.empty()) return;
  current_plot_ = std::clamp(current_plot_, 0, graph_.plots - 1);
  if (step == 7 || step == 8) {
    current_plot_ = std::clamp(current_plot_ + (step == 8 ? 1 : -1), 0, graph_.plots - 1);
    return;
  }
  const Ranges full = zoom_stack_.empty() ? current() : zoom_stack_.front();
  const bool x_axis = step <= 4;
  AxisScale& a = x_axis ? graph_.x_axis : graph_.plot[current_plot_].y_axis;
  const AxisScale& bounds = x_axis ? full.x : full.y[current_plot_];
  const double span = a.high - a.low;
  if (!(span > 0)) return;
  // Whole tick steps keep the tick marks where they were on the moved axis.
  const double tick = a.spacing > 0 && a.divisions > 0 ? a.spacing : span / 2;
  const double half = std::max(tick, std::floor(span / 2 / tick) * tick);
  double low = a.low;
  switch (step) {
    case 1:
    case 6:
      low -= half;
      break;
    case 2:
    case 5:
      low += half;
      break;
    case 3:
      low = bounds.low;
      break;
    case 4:
      low = bounds.high - span;
      break;
    default:
      return;
  }
  low = std::clamp(low, bounds.low, std::max(bounds.low, bounds.high - span));
  if (low == a.low) return;
  a.low = low;
  a.high = low + span;
  a.limits_manual = 1;
  emit zoom_changed();
  update();
}

bool PlotView::update_smith_cursor(Cursor& c, std::optional<QPointF> at, int step) {
  const SelectedTrace& t = *graph_.traces[c.trace];
  if (graph_.chart != CHART_SMITH || !t.x || !t.y || !t.third) return false;
  store_.values(*t.x);
  store_.values(*t.y);
  store_.values(*t.third);
  const auto re = store_.values(*t.x), im = store_.values(*t.y), sweep = store_.values(*t.third);
  const size_t n = std::min({re.size(), im.size(), sweep.size()});
  if (n == 0) return true;
  // A click takes the point of the curve nearest to it; the keys step point by
  // point; otherwise the position along the X axis is the share of the sweep.
  size_t index = c.index;
  if (at) {
    double best = INFINITY;
    for (size_t i = 0; i < n; ++i) {
      const double d = std::hypot(re[i] - at->x(), im[i] - at->y());
      if (d < best) best = d, index = i;
    }
  } else if (step != 0) {
    index = static_cast<size_t>(
        std::clamp<long long>(static_cast<long long>(c.index) + step, 0, static_cast<long long>(n) - 1));
  } else {
    const double share = (c.x - graph_.x_axis.low) / (graph_.x_axis.high - graph_.x_axis.low);
    index = static_cast<size_t>(std::clamp(share, 0.0, 1.0) * static_cast<double>(n - 1));
  }
  if (cursor_place_smith(c, sweep.first(n), re.first(n), im.first(n), sweep[std::min(index, n - 1)])) {
    c.x_name = t.third->name;
    c.y_name = t.name;
    c.active = true;
  }
  return true;
}

void PlotView::update_cursor(Cursor& c, double x) {
  if (c.trace < 0 || c.trace >= static_cast<int>(graph_.traces.size())) c.trace = 0;
  if (graph_.traces.empty()) return;
  const SelectedTrace& t = *graph_.traces[c.trace];
  if (graph_.chart == CHART_SMITH) {
    c.x = x;
    update_smith_cursor(c, std::nullopt, 0);
    return;
  }
  if (!t.x || !t.y) return;
  // Both are read before either view is taken: a load may move the values.
  store_.values(*t.x);
  store_.values(*t.y);
  const auto xs = store_.values(*t.x);
  const auto ys = store_.values(*t.y);
  const double real_x = graph_.x_log ? std::pow(10.0, x) : x;
  const auto point = cursor_find_x(xs, ys, real_x);
  if (!point) return;
  const bool y_log = graph_.plot[t.plot].log;
  c.x = x;
  c.y = y_log ? std::log10(std::max(std::fabs(point->y), 1e-300)) : point->y;
  c.index = point->index;
  c.x_name = t.x->name;
  c.y_name = t.name;
  c.active = true;
}

void PlotView::place_cursor(int which, double x) {
  update_cursor(cursors_.cursor[which], x);
  emit cursors_changed();
  update();
}

void PlotView::cursor_to_trace(int step) {
  if (graph_.traces.empty()) return;
  Cursor& c = cursors_.cursor[active_cursor];
  const int n = static_cast<int>(graph_.traces.size());
  c.trace = ((c.trace + step) % n + n) % n;
  update_cursor(c, c.x);
  emit cursors_changed();
  update();
}

void PlotView::set_pointer(PointerMode mode) {
  if (moving_label_ >= 0 && mode != POINTER_MOVE_LABEL) moving_label_ = -1;
  pointer = mode;
  show_pointer();
}

void PlotView::show_pointer() {
  Qt::CursorShape shape = Qt::ArrowCursor;
  if (pointer == POINTER_ADD_LABEL) shape = Qt::CrossCursor;
  if (pointer == POINTER_DELETE_LABEL) shape = Qt::PointingHandCursor;
  if (pointer == POINTER_MOVE_LABEL) shape = moving_label_ >= 0 ? Qt::ClosedHandCursor : Qt::OpenHandCursor;
  if (cursor().shape() != shape) setCursor(shape);
}

void PlotView::enterEvent(QEnterEvent* e) {
  // The mode may have been set while the mouse was over the menus.
  show_pointer();
  QWidget::enterEvent(e);
}

void PlotView::label_press(QPointF at) {
  if (pointer == POINTER_ADD_LABEL) {
    const GraphPoint point = graph_point_at(layout_, at);
    const PlotFrame* frame = nullptr;
    for (const PlotFrame& f : layout_.frames)
      if (f.plot == point.plot) frame = &f;
    if (!frame || at.x() < frame->rect.left() || at.x() > frame->rect.right() || !ask_label_text) return;
    // The anchor is kept in the axes' own values, not their log10; taken
    // before asking, since the window repaints (and lays out anew) meanwhile.
    const GraphLabel label{{},
                           layout_.x_log ? std::pow(10.0, point.x) : point.x,
                           frame->log ? std::pow(10.0, point.y) : point.y,
                           point.plot};
    const std::optional<std::string> text = ask_label_text();
    if (!text || text->empty()) return;
    graph_.labels.push_back(label);
    graph_.labels.back().text = *text;
    update();
    return;
  }
  const int k = graph_label_at(layout_, graph_, at);
  if (k < 0) return;
  if (pointer == POINTER_DELETE_LABEL) {
    graph_.labels.erase(graph_.labels.begin() + k);
  } else {
    moving_label_ = k;
    moved_from_ = graph_.labels[static_cast<size_t>(k)];
    grab_offset_ = at - layout_.labels[static_cast<size_t>(k)].bottomLeft();
    show_pointer();
  }
  update();
}

void PlotView::move_label_to(QPointF anchor) {
  if (moving_label_ < 0 || moving_label_ >= static_cast<int>(graph_.labels.size()) ||
      moving_label_ >= static_cast<int>(layout_.labels.size()))
    return;
  GraphLabel& label = graph_.labels[static_cast<size_t>(moving_label_)];
  // Into the plot it is dropped on; between plots it stays in its own.
  const PlotFrame* frame = nullptr;
  for (const PlotFrame& f : layout_.frames)
    if (anchor.y() >= f.rect.top() && anchor.y() <= f.rect.bottom()) frame = &f;
  for (const PlotFrame& f : layout_.frames)
    if (!frame && f.plot == label.plot) frame = &f;
  if (!frame || frame->rect.width() <= 0 || frame->rect.height() <= 0) return;
  const QRectF& r = frame->rect;
  const QSizeF box = layout_.labels[static_cast<size_t>(moving_label_)].size();
  const double x = std::clamp(anchor.x(), r.left(), std::max(r.left(), r.right() - box.width()));
  const double y = std::clamp(anchor.y(), std::min(r.top() + box.height(), r.bottom()), r.bottom());
  const double ax = graph_x_at(layout_, x);
  const double ay = frame->low + (r.bottom() - y) / r.height() * (frame->high - frame->low);
  label.plot = frame->plot;
  label.x = layout_.x_log ? std::pow(10.0, ax) : ax;
  label.y = frame->log ? std::pow(10.0, ay) : ay;
  update();
}

void PlotView::mousePressEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton || graph_.traces.empty()) return;
  if (pointer == POINTER_ADD_LABEL || pointer == POINTER_DELETE_LABEL || pointer == POINTER_MOVE_LABEL) {
    label_press(e->position());
    return;
  }
  if (pointer == POINTER_ZOOM_AREA) {
    dragging_ = true;
    drag_from_ = e->position().toPoint();
    rubber_band_ = QRect(drag_from_, drag_from_);
    return;
  }
  place_cursor_at(e->position());
}

void PlotView::place_cursor_at(QPointF position) {
  Cursor& c = cursors_.cursor[active_cursor];
  if (graph_.chart == CHART_SMITH && !graph_.traces.empty()) {
    if (c.trace < 0 || c.trace >= static_cast<int>(graph_.traces.size())) c.trace = 0;
    const GraphPoint p = graph_point_at(layout_, position);
    update_smith_cursor(c, QPointF(p.x, p.y), 0);
    emit cursors_changed();
    update();
    return;
  }
  place_cursor(active_cursor, graph_x_at(layout_, position.x()));
}

void PlotView::mouseMoveEvent(QMouseEvent* e) {
  if (moving_label_ >= 0) {
    move_label_to(e->position() - grab_offset_);
  } else if (pointer == POINTER_ADD_LABEL || pointer == POINTER_DELETE_LABEL ||
             pointer == POINTER_MOVE_LABEL) {
    // A drag in a label mode leaves the cursors where they are.
  } else if (dragging_) {
    rubber_band_ = QRect(drag_from_, e->position().toPoint());
    update();
  } else if (e->buttons() & Qt::LeftButton && !graph_.traces.empty()) {
    place_cursor_at(e->position());
  }
}

void PlotView::mouseReleaseEvent(QMouseEvent* e) {
  if (moving_label_ >= 0 && e->button() == Qt::LeftButton) {
    move_label_to(e->position() - grab_offset_);
    moving_label_ = -1;
    show_pointer();
    return;
  }
  if (!dragging_ || e->button() != Qt::LeftButton) return;
  dragging_ = false;
  const QRect r = QRect(drag_from_, e->position().toPoint()).normalized();
  set_pointer(POINTER_NORMAL);
  emit pointer_changed();
  if (r.width() < 3) {
    update();
    return;
  }
  const GraphPoint a = graph_point_at(layout_, r.bottomLeft());
  const GraphPoint b = graph_point_at(layout_, r.topRight());
  const int plot = a.plot == b.plot ? a.plot : -1;
  zoom_to(a.x, b.x, plot, a.y, b.y);
}

void PlotView::keyPressEvent(QKeyEvent* e) {
  const bool label_mode =
      pointer == POINTER_ADD_LABEL || pointer == POINTER_DELETE_LABEL || pointer == POINTER_MOVE_LABEL;
  if (e->key() == Qt::Key_Escape && label_mode) {
    // Escape first puts back a label being dragged, then leaves the mode.
    if (moving_label_ >= 0 && moving_label_ < static_cast<int>(graph_.labels.size())) {
      graph_.labels[static_cast<size_t>(moving_label_)] = moved_from_;
      moving_label_ = -1;
      show_pointer();
    } else {
      set_pointer(POINTER_NORMAL);
      emit pointer_changed();
    }
    update();
    return;
  }
  Cursor& c = cursors_.cursor[active_cursor];
  if (!c.active || (e->key() != Qt::Key_Left && e->key() != Qt::Key_Right)) {
    QWidget::keyPressEvent(e);
    return;
  }
  if (graph_.chart == CHART_SMITH) {  // along the sweep, a point at a time
    update_smith_cursor(c, std::nullopt, e->key() == Qt::Key_Right ? 1 : -1);
    emit cursors_changed();
    update();
    return;
  }
  // The arrow keys step the cursor one pixel column.
  const double step = (layout_.x_high - layout_.x_low) /
                      std::max(1.0, layout_.frames.empty() ? 1.0 : layout_.frames[0].rect.width());
  place_cursor(active_cursor, c.x + (e->key() == Qt::Key_Right ? step : -step));
}

}  // namespace zephyrim
