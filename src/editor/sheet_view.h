#pragma once
// The sheet window: draws the current page at the page's zoom, scrolls over
// it and hands the mouse, in page coordinates, to the edit session.
#include <QAbstractScrollArea>
#include <QFont>
#include <optional>

#include "editing/edit_session.h"
#include "netlist/bias_display.h"
#include "netlist/connectivity.h"
#include "render/page_painter.h"
#include "schematic/page_size.h"

namespace zephyrim {

class SheetView : public QAbstractScrollArea {
  Q_OBJECT
 public:
  SheetView(EditSession& session, QWidget* parent = nullptr);

  // Pixels per unit in use (the fit factor when the page's zoom is fit).
  double factor() const;
  QPointF to_page(const QPointF& widget_point) const;
  QPointF to_widget(const QPointF& page_point) const;

  void zoom_in();
  void zoom_out();
  void zoom_fit();
  void set_zoom(int zoom_code);
  // Zooms one step in (steps > 0) or out, keeping the page point under the
  // widget point where it is.
  void zoom_at(int steps, const QPointF& widget_point);
  // Zooms so that the page area fills the window, at the nearest zoom step.
  void zoom_to(const Region& area);
  // Scrolls so that the page point is in the middle of the window.
  void centre_on(Point p);
  // After a page change or a load: scroll position and zoom from the page.
  void page_changed();
  // After a command or an edit: node names brought up to date, then a redraw.
  void refresh();
  // Runs the connectivity pass for the node names when they are shown and the
  // model changed since the last pass. Painting only draws what it found, so
  // drawing never changes the document.
  void update_node_names();

  // The operating point on the sheet (node display mode 2). show_bias reads
  // the bias file of the schematic's netlist and places the values: 1 shown,
  // 0 not available, -1 a bad file (the messages are the display's own).
  int show_bias();
  // Display off, or a new run started: the values go, the mode falls back to off.
  void hide_bias();
  const BiasDisplay& bias() const { return bias_; }
  // The values placed on page n while they are shown there; null otherwise.
  const std::vector<BiasLabel>* bias_labels_on(int n) const;

  bool auto_pan = false;
  // The wheel zooms without Ctrl too (with Ctrl it always zooms).
  bool wheel_zooms = false;
  // The face of the schematic's texts; absent: the built-in font.
  std::optional<QFont> text_font;

 signals:
  void status_changed();
  // A double click on a part in the idle state: its attributes are edited.
  void part_double_clicked(int index);
  // A right click in the idle state, where the editing states do nothing: the
  // commands that apply there, as a menu at the global point.
  void context_menu_requested(const QPoint& global);

 protected:
  void paintEvent(QPaintEvent*) override;
  void resizeEvent(QResizeEvent*) override;
  void scrollContentsBy(int dx, int dy) override;
  void mousePressEvent(QMouseEvent*) override;
  void mouseMoveEvent(QMouseEvent*) override;
  void mouseReleaseEvent(QMouseEvent*) override;
  void mouseDoubleClickEvent(QMouseEvent*) override;
  void wheelEvent(QWheelEvent*) override;
  void contextMenuEvent(QContextMenuEvent*) override;

 private:
  Point page_point(const QMouseEvent* e) const;
  // The object under p is selected.
  bool on_selection(Point p);
  void update_scrollbars();
  void store_view();  // the view origin and centre into the page settings
  void after_input(unsigned revision_before);
  void pan_at_edge(const QPoint& p);
  void draw_feedback(QPainter& painter);
  void update_cursor();
  void draw_node_names(QPainter& painter);
  bool node_names_current() const;
  // While the values are shown, a changed model or a rewritten bias file places them anew.
  void update_bias();
  std::string bias_stamp() const;

  EditSession& session_;
  PagePalette palette_;
  bool adjusting_ = false;
  // Node names shown on the sheet come from a pass of their own, rerun when the model changed.
  Connectivity nodes_;
  unsigned nodes_revision_ = ~0u;
  const Schematic* nodes_of_ = nullptr;
  int nodes_page_ = -1;
  BiasDisplay bias_;
  unsigned bias_revision_ = ~0u;
  const Schematic* bias_of_ = nullptr;
  int bias_page_ = -1;
  std::string bias_stamp_;  // path, size and time of the file the values came from
  // A press on a selected object in the idle state: a drag from here moves the
  // selection as Move does; a click without a drag stays a click.
  std::optional<Point> drag_from_;
  QPoint drag_pixel_;
  bool drag_moving_ = false;
  bool right_click_idle_ = false;  // the last right press did nothing: the menu may show
  int wheel_rest_ = 0;             // wheel angle not yet turned into zoom steps
};

}  // namespace zephyrim
