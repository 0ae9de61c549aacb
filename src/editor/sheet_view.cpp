#include "editor/sheet_view.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QCursor>
#include <QDateTime>
#include <QFileInfo>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <map>

#include "netlist/netlist_writer.h"
#include "render/bias_painter.h"
#include "render/symbol_painter.h"
#include "simulation/bias_file.h"

namespace zephyrim {

namespace {

// Zoom steps from far out to close in.
constexpr int kZoomSteps[] = {kZoom12, kZoom16, kZoom25, kZoom50, kZoom80, kZoom100, kZoom200, kZoom400};

}  // namespace

SheetView::SheetView(EditSession& session, QWidget* parent) : QAbstractScrollArea(parent), session_(session) {
  setObjectName("SHEET 0");
  viewport()->setMouseTracking(true);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  page_changed();
}

double SheetView::factor() const {
  const double f = zoom_factor(session_.schematic().page().settings.zoom);
  if (f > 0) return f;
  const QRectF extent = page_extent(session_.schematic().page());
  const QSize v = viewport()->size();
  return std::max(0.01, std::min(v.width() / extent.width(), v.height() / extent.height()));
}

QPointF SheetView::to_page(const QPointF& w) const {
  const double f = factor();
  return {(w.x() + horizontalScrollBar()->value()) / f, (w.y() + verticalScrollBar()->value()) / f};
}

QPointF SheetView::to_widget(const QPointF& p) const {
  const double f = factor();
  return {p.x() * f - horizontalScrollBar()->value(), p.y() * f - verticalScrollBar()->value()};
}

void SheetView::update_scrollbars() {
  adjusting_ = true;
  const QRectF extent = page_extent(session_.schematic().page());
  const double f = factor();
  const QSize v = viewport()->size();
  horizontalScrollBar()->setRange(0,
                                  std::max(0, static_cast<int>(std::ceil(extent.width() * f)) - v.width()));
  verticalScrollBar()->setRange(0,
                                std::max(0, static_cast<int>(std::ceil(extent.height() * f)) - v.height()));
  horizontalScrollBar()->setPageStep(v.width());
  verticalScrollBar()->setPageStep(v.height());
  horizontalScrollBar()->setSingleStep(std::max(1, static_cast<int>(kGridStep * 4 * f)));
  verticalScrollBar()->setSingleStep(std::max(1, static_cast<int>(kGridStep * 4 * f)));
  adjusting_ = false;
}

void SheetView::store_view() {
  PageSettings& g = session_.schematic().page().settings;
  const QPointF origin = to_page({0, 0});
  g.view_x = static_cast<int>(origin.x());
  g.view_y = static_cast<int>(origin.y());
  // The centre is kept in whole grid steps.
  const double f = factor();
  const int half_w = static_cast<int>(viewport()->width() / 2 / f) / kGridStep * kGridStep;
  const int half_h = static_cast<int>(viewport()->height() / 2 / f) / kGridStep * kGridStep;
  g.centre_x = g.view_x + half_w;
  g.centre_y = g.view_y + half_h;
}

void SheetView::page_changed() {
  update_scrollbars();
  const PageSettings& g = session_.schematic().page().settings;
  const double f = factor();
  adjusting_ = true;
  horizontalScrollBar()->setValue(static_cast<int>(g.view_x * f));
  verticalScrollBar()->setValue(static_cast<int>(g.view_y * f));
  adjusting_ = false;
  update_node_names();
  update_bias();
  viewport()->update();
}

void SheetView::refresh() {
  update_cursor();
  update_node_names();
  update_bias();
  viewport()->update();
}

void SheetView::set_zoom(int code) {
  PageSettings& g = session_.schematic().page().settings;
  // Keep the page point at the window's centre where it is.
  const QPointF centre = to_page(QPointF(viewport()->width() / 2.0, viewport()->height() / 2.0));
  g.zoom = code;
  update_scrollbars();
  const double f = factor();
  adjusting_ = true;
  horizontalScrollBar()->setValue(static_cast<int>(centre.x() * f - viewport()->width() / 2.0));
  verticalScrollBar()->setValue(static_cast<int>(centre.y() * f - viewport()->height() / 2.0));
  adjusting_ = false;
  store_view();
  viewport()->update();
  emit status_changed();
}

void SheetView::zoom_in() {
  const double f = factor();
  for (int code : kZoomSteps)
    if (zoom_factor(code) > f + 1e-9) return set_zoom(code);
}

void SheetView::zoom_out() {
  const double f = factor();
  for (auto it = std::rbegin(kZoomSteps); it != std::rend(kZoomSteps); ++it)
    if (zoom_factor(*it) < f - 1e-9) return set_zoom(*it);
}

void SheetView::zoom_at(int steps, const QPointF& widget_point) {
  const QPointF fixed = to_page(widget_point);
  const double f = factor();
  int code = 0;
  if (steps > 0) {
    for (int c : kZoomSteps)
      if (zoom_factor(c) > f + 1e-9) {
        code = c;
        break;
      }
  } else {
    for (auto it = std::rbegin(kZoomSteps); it != std::rend(kZoomSteps); ++it)
      if (zoom_factor(*it) < f - 1e-9) {
        code = *it;
        break;
      }
  }
  if (code == 0) return;
  session_.schematic().page().settings.zoom = code;
  update_scrollbars();
  // The page point under the pointer stays under it.
  const double g = factor();
  adjusting_ = true;
  horizontalScrollBar()->setValue(static_cast<int>(std::lround(fixed.x() * g - widget_point.x())));
  verticalScrollBar()->setValue(static_cast<int>(std::lround(fixed.y() * g - widget_point.y())));
  adjusting_ = false;
  store_view();
  viewport()->update();
  emit status_changed();
}

void SheetView::zoom_fit() {
  set_zoom(kZoomFit);
}

void SheetView::zoom_to(const Region& r) {
  if (r.x2 <= r.x1 || r.y2 <= r.y1) return;
  const double want =
      std::min(viewport()->width() / double(r.x2 - r.x1), viewport()->height() / double(r.y2 - r.y1));
  int code = kZoomSteps[0];
  for (int c : kZoomSteps)
    if (zoom_factor(c) <= want) code = c;
  session_.schematic().page().settings.zoom = code;
  update_scrollbars();
  const double f = factor();
  adjusting_ = true;
  horizontalScrollBar()->setValue(static_cast<int>((r.x1 + r.x2) / 2.0 * f - viewport()->width() / 2.0));
  verticalScrollBar()->setValue(static_cast<int>((r.y1 + r.y2) / 2.0 * f - viewport()->height() / 2.0));
  adjusting_ = false;
  store_view();
  viewport()->update();
}

void SheetView::centre_on(Point p) {
  const double f = factor();
  horizontalScrollBar()->setValue(static_cast<int>(p.x * f - viewport()->width() / 2.0));
  verticalScrollBar()->setValue(static_cast<int>(p.y * f - viewport()->height() / 2.0));
  viewport()->update();
}

void SheetView::resizeEvent(QResizeEvent* e) {
  QAbstractScrollArea::resizeEvent(e);
  update_scrollbars();
}

void SheetView::scrollContentsBy(int, int) {
  if (!adjusting_) store_view();
  viewport()->update();
}

void SheetView::paintEvent(QPaintEvent* e) {
  QPainter painter(viewport());
  painter.fillRect(e->rect(), QColor(192, 192, 192));
  const double f = factor();
  painter.translate(-horizontalScrollBar()->value(), -verticalScrollBar()->value());
  painter.scale(f, f);
  painter.setRenderHint(QPainter::Antialiasing, f >= 0.5);
  if (text_font) painter.setFont(*text_font);  // the painters size it for each text
  const Schematic& s = session_.schematic();
  PageDrawOptions options;
  options.palette = &palette_;
  options.show_selection = true;
  // Only what the exposed area shows is drawn: a full page at high zoom stays cheap.
  options.visible = painter.transform().inverted().mapRect(QRectF(e->rect())).adjusted(-2, -2, 2, 2);
  draw_page(painter, s, s.page(), options);
  if (s.page().settings.show_nodes == 1) draw_node_names(painter);
  if (s.page().settings.show_nodes == 2) draw_bias_labels(painter, bias_.labels, palette_.color(kBiasColor));
  draw_feedback(painter);
}

bool SheetView::node_names_current() const {
  const Schematic& s = session_.schematic();
  return nodes_revision_ == session_.revision() && nodes_of_ == &s && nodes_page_ == s.current_page();
}

void SheetView::update_node_names() {
  Schematic& s = session_.schematic();
  if (s.page().settings.show_nodes != 1 || node_names_current()) return;
  nodes_ = Connectivity{};
  nodes_.force_rebuild = true;
  RecordingNotify quiet;  // the display never asks; the netlist run reports
  quiet.set_default_answer(1);
  build_connectivity(s, nodes_, kConnectivityEdit, quiet);
  nodes_revision_ = session_.revision();
  nodes_of_ = &s;
  nodes_page_ = s.current_page();
}

void SheetView::draw_node_names(QPainter& painter) {
  if (!node_names_current()) return;  // names of an older model would stand in the wrong places
  // Each node's name once, where the pass placed it.
  QFont f = painter.font();
  f.setPixelSize(9);
  painter.setFont(f);
  painter.setPen(palette_.color(12));
  for (const auto& [scope, table] : nodes_.tables)
    for (int i = 0; i < table.count && i < table.size(); ++i) {
      const NodeEntry& e = table.entries[i];
      if (!e.display_flag) continue;
      const QPointF at = e.display_direction == 0 ? QPointF(e.display_x + 2, e.display_y - 3)
                                                  : QPointF(e.display_x + 3, e.display_y);
      painter.drawText(at, QString::fromStdString(e.name.str()));
    }
}

namespace {

std::string bias_path_of(const Schematic& s) {
  return s.path.empty() ? std::string() : bias_file_path(netlist_files(s.path).netlist);
}

}  // namespace

std::string SheetView::bias_stamp() const {
  const std::string path = bias_path_of(session_.schematic());
  const QFileInfo f(QString::fromStdString(path));
  if (path.empty() || !f.exists()) return path;
  return path + "|" + std::to_string(f.size()) + "|" + std::to_string(f.lastModified().toMSecsSinceEpoch());
}

int SheetView::show_bias() {
  Schematic& s = session_.schematic();
  const std::string path = bias_path_of(s);
  const int r = bias_display_build(bias_, s, path, session_.notify());
  PageSettings& g = s.page().settings;
  if (r == 1) {
    g.show_nodes = 2;
    bias_revision_ = session_.revision();
    bias_of_ = &s;
    bias_page_ = s.current_page();
    bias_stamp_ = bias_stamp();
  } else if (g.show_nodes == 2) {
    g.show_nodes = 0;
  }
  viewport()->update();
  return r;
}

void SheetView::hide_bias() {
  bias_display_clear(bias_);
  bias_of_ = nullptr;
  PageSettings& g = session_.schematic().page().settings;
  if (g.show_nodes == 2) g.show_nodes = 0;
  viewport()->update();
}

const std::vector<BiasLabel>* SheetView::bias_labels_on(int n) const {
  const Schematic& s = session_.schematic();
  if (bias_of_ != &s || bias_page_ != n || n < 0 || n >= static_cast<int>(s.pages.size()) ||
      s.pages[n]->settings.show_nodes != 2)
    return nullptr;
  return &bias_.labels;
}

void SheetView::update_bias() {
  const Schematic& s = session_.schematic();
  if (s.page().settings.show_nodes != 2) return;
  if (bias_revision_ == session_.revision() && bias_of_ == &s && bias_page_ == s.current_page() &&
      bias_stamp_ == bias_stamp())
    return;
  // A schematic opened with the values on, an edit, or a new bias file: read again.
  show_bias();
}

void SheetView::draw_feedback(QPainter& painter) {
  QPen pen(palette_.selection);
  pen.setCosmetic(true);
  pen.setStyle(Qt::DashLine);
  painter.setPen(pen);
  painter.setBrush(Qt::NoBrush);
  for (const Segment& g : session_.wire_preview())
    painter.drawLine(QPointF(g.a.x, g.a.y), QPointF(g.b.x, g.b.y));
  if (auto r = session_.drag_rectangle())
    painter.drawRect(QRectF(r->x1, r->y1, r->x2 - r->x1, r->y2 - r->y1));
  const Schematic& s = session_.schematic();
  if (const SymbolRecord* sym = session_.placing()) {
    // Turned as R, M and F turned it while it follows the cursor.
    Placement at{session_.cursor().x, session_.cursor().y, std::max(1, s.page().settings.scale),
                 session_.placing_steps(), session_.placing_step_count()};
    draw_symbol(painter, *sym, at, palette_.selection);
  }
  if (session_.moving()) {
    // The selection's outline follows the cursor until it is dropped.
    const Point d = session_.move_offset();
    QRectF box;
    const Page& page = s.page();
    for (const auto& p : page.parts)
      if (p->selected) box |= part_bounds(*p, std::max(1, page.settings.scale));
    for (const auto& w : page.wires)
      if (w->selected) box |= QRectF(QPointF(w->x1, w->y1), QPointF(w->x2, w->y2)).adjusted(-1, -1, 1, 1);
    for (const auto& l : page.labels)
      if (l->selected) box |= label_bounds(*l);
    for (const auto& t : page.texts)
      if (t->selected) box |= text_bounds(*t);
    for (const auto& j : page.junctions)
      if (j->selected)
        box |=
            QRectF(j->x - kJunctionRadius, j->y - kJunctionRadius, 2 * kJunctionRadius, 2 * kJunctionRadius);
    if (!box.isNull()) painter.drawRect(box.translated(d.x, d.y));
  }
}

Point SheetView::page_point(const QMouseEvent* e) const {
  const QPointF p = to_page(e->position());
  return {static_cast<int>(std::lround(p.x())), static_cast<int>(std::lround(p.y()))};
}

void SheetView::update_cursor() {
  const int st = session_.state();
  Qt::CursorShape shape = Qt::ArrowCursor;
  if (st == kStateWire)
    shape = Qt::CrossCursor;  // the pen of wire drawing
  else if (st >= kStateMovePart && st <= kStateMoveGroup)
    shape = Qt::SizeAllCursor;
  else if (st == kStateAreaDrag || st == kStateZoomDrag)
    shape = Qt::CrossCursor;
  else if (st != kStateIdle)
    shape = Qt::PointingHandCursor;
  if (viewport()->cursor().shape() != shape) viewport()->setCursor(shape);
}

void SheetView::after_input(unsigned before) {
  if (auto zoom = session_.take_zoom_area()) zoom_to(*zoom);
  update_cursor();
  if (session_.revision() != before) {
    update_node_names();
    viewport()->update();
    emit status_changed();
  }
}

bool SheetView::on_selection(Point p) {
  Page& page = session_.schematic().page();
  const Hit h = hit_test(page, p, 4);
  const int32_t* selected = h ? selected_flag(page, h) : nullptr;
  return selected && *selected;
}

void SheetView::mousePressEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton && e->button() != Qt::RightButton) return;
  const unsigned before = session_.revision();
  KeyModifiers mods{(e->modifiers() & Qt::ShiftModifier) != 0, (e->modifiers() & Qt::ControlModifier) != 0};
  const Point p = page_point(e);
  const bool idle = session_.state() == kStateIdle;
  if (idle && e->button() == Qt::LeftButton && e->modifiers() == Qt::NoModifier && on_selection(p)) {
    // Whether this is a click or the start of a drag shows when the pointer moves.
    drag_from_ = p;
    drag_pixel_ = e->position().toPoint();
    return;
  }
  session_.press(p, e->button() == Qt::LeftButton ? MouseButton::left : MouseButton::right, mods);
  right_click_idle_ = idle && e->button() == Qt::RightButton && session_.revision() == before;
  after_input(before);
}

void SheetView::mouseMoveEvent(QMouseEvent* e) {
  const unsigned before = session_.revision();
  // A release the view never saw (a menu or a message box took it) ends the drag that was pending.
  if (drag_from_ && !drag_moving_ && !(e->buttons() & Qt::LeftButton)) drag_from_.reset();
  if (drag_from_ && !drag_moving_) {
    if ((e->position().toPoint() - drag_pixel_).manhattanLength() < QApplication::startDragDistance()) return;
    // A drag of the selection is a Move of it, wires following as the option says.
    drag_moving_ =
        selection_count(session_.schematic().page()) > 0 && session_.begin_move(session_.rubber_band);
    if (drag_moving_) session_.press(*drag_from_, MouseButton::left);
    if (!drag_moving_) drag_from_.reset();
  }
  session_.move(page_point(e));
  if (auto_pan && session_.state() != kStateIdle) pan_at_edge(e->position().toPoint());
  after_input(before);
}

void SheetView::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton && e->button() != Qt::RightButton) return;
  const unsigned before = session_.revision();
  if (drag_from_ && e->button() == Qt::LeftButton) {
    // A click on the selection without a drag is the click it always was.
    if (!drag_moving_) session_.press(*drag_from_, MouseButton::left);
    drag_from_.reset();
    drag_moving_ = false;
  }
  session_.release(page_point(e), e->button() == Qt::LeftButton ? MouseButton::left : MouseButton::right);
  after_input(before);
}

void SheetView::wheelEvent(QWheelEvent* e) {
  if (!(e->modifiers() & Qt::ControlModifier) && !wheel_zooms) return QAbstractScrollArea::wheelEvent(e);
  // Touchpads send many small steps; a notch of a wheel is 120.
  wheel_rest_ += e->angleDelta().y();
  while (std::abs(wheel_rest_) >= 120) {
    const int step = wheel_rest_ > 0 ? 1 : -1;
    wheel_rest_ -= step * 120;
    zoom_at(step, e->position());
  }
  e->accept();
}

void SheetView::contextMenuEvent(QContextMenuEvent* e) {
  const bool from_mouse = e->reason() == QContextMenuEvent::Mouse;
  if (session_.state() != kStateIdle || (from_mouse && !right_click_idle_)) return;
  right_click_idle_ = false;
  // The object under the pointer becomes the selection the menu's commands act on.
  const QPoint at = from_mouse ? e->pos() : viewport()->mapFromGlobal(QCursor::pos());
  const QPointF pf = to_page(QPointF(at));
  const Point p{static_cast<int32_t>(std::lround(pf.x())), static_cast<int32_t>(std::lround(pf.y()))};
  Page& page = session_.schematic().page();
  if (const Hit h = hit_test(page, p, 4); h && !on_selection(p)) {
    session_.clear_selection();
    *selected_flag(page, h) = 1;
    viewport()->update();
    emit status_changed();
  }
  emit context_menu_requested(e->globalPos());
}

void SheetView::mouseDoubleClickEvent(QMouseEvent* e) {
  // While drawing, the second click of a quick double click is a click of its own.
  if (session_.state() != kStateIdle || e->button() != Qt::LeftButton) return mousePressEvent(e);
  const unsigned before = session_.revision();
  if (session_.state() == kStateIdle) {
    const Hit h = hit_test(session_.schematic().page(), page_point(e), 4);
    if (h.kind == HitKind::part) {
      emit part_double_clicked(h.index);
      after_input(before);
      return;
    }
  }
  session_.double_click(page_point(e));
  after_input(before);
}

void SheetView::pan_at_edge(const QPoint& p) {
  constexpr int kEdge = 8;
  const int step = std::max(1, static_cast<int>(kGridStep * 4 * factor()));
  if (p.x() < kEdge) horizontalScrollBar()->setValue(horizontalScrollBar()->value() - step);
  if (p.x() > viewport()->width() - kEdge)
    horizontalScrollBar()->setValue(horizontalScrollBar()->value() + step);
  if (p.y() < kEdge) verticalScrollBar()->setValue(verticalScrollBar()->value() - step);
  if (p.y() > viewport()->height() - kEdge)
    verticalScrollBar()->setValue(verticalScrollBar()->value() + step);
}

}  // namespace zephyrim
