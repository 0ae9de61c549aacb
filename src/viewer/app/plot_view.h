#pragma once
// The plot window's drawing area: the graph painted by the one plot painter,
// the zoom area dragged with the mouse, the cursors moved along their traces
// by clicks and keys, and the graph labels added, deleted and moved by clicks.
#include <QWidget>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "render/plot_painter.h"
#include "viewer/plot/cursors.h"
#include "viewer/plot/plot_model.h"
#include "viewer/session/command_table.h"

namespace zephyrim {

class DataStore;

class PlotView : public QWidget {
  Q_OBJECT
 public:
  PlotView(Graph& graph, DataStore& store, CursorPair& cursors, QWidget* parent = nullptr);

  PlotStyle style;
  PointerMode pointer = POINTER_NORMAL;
  int active_cursor = 0;  // 0 or 1
  // Asks for the text of a new label (Latin-1); absent or empty adds nothing.
  std::function<std::optional<std::string>()> ask_label_text;

  // Sets the pointer mode and the mouse cursor that shows it. A label mode
  // stays on for one label after another until it is toggled off or Escape
  // is pressed.
  void set_pointer(PointerMode mode);

  // Zoom: the X range and each plot's Y range shown; cancelling returns to
  // the ranges before the last zoom, then to the automatic ones.
  void zoom_to(double x_low, double x_high, int plot, double y_low, double y_high);
  void zoom_cancel();
  bool zoomed() const { return !zoom_stack_.empty(); }
  // Forgets the zooms: the graph's ranges were set anew (new traces, limits).
  void clear_zoom() { zoom_stack_.clear(); }
  // View > Scroll, steps 1 to 8: half a window left or right, to the start or
  // the end of the X data, half a window up or down in the current plot, and
  // the previous or next plot as the current one. The window keeps its width
  // and stays within the unzoomed ranges, so an unzoomed graph does not move.
  void scroll(int step);
  int current_plot() const { return current_plot_; }
  // Puts the active cursor on its trace at the X value (axis scale); shows it.
  void place_cursor(int which, double x);
  // Moves the active cursor to the next (+1) or previous (-1) trace.
  void cursor_to_trace(int step);
  const GraphLayout& layout() const { return layout_; }

 signals:
  void cursors_changed();
  void zoom_changed();
  // The view left a pointer mode by itself (Escape, a finished zoom).
  void pointer_changed();

 protected:
  void paintEvent(QPaintEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void enterEvent(QEnterEvent* e) override;

 private:
  struct Ranges {
    AxisScale x;
    std::vector<AxisScale> y;
  };
  Ranges current() const;
  void restore(const Ranges& r);
  void update_cursor(Cursor& c, double x);
  // A Smith chart's cursor moves along its curve: to the point nearest to
  // at, step points on, or the share c.x gives of the sweep. False when the
  // graph is no Smith chart.
  bool update_smith_cursor(Cursor& c, std::optional<QPointF> at, int step);
  // The active cursor to a mouse position.
  void place_cursor_at(QPointF position);
  // The mouse cursor of the pointer mode, also after the mode was set directly.
  void show_pointer();
  void label_press(QPointF at);
  // Puts the moving label's anchor (a box's bottom-left corner) at the pixel,
  // keeping the whole box inside the frame it lands in.
  void move_label_to(QPointF anchor);

  Graph& graph_;
  DataStore& store_;
  CursorPair& cursors_;
  GraphLayout layout_;
  std::vector<Ranges> zoom_stack_;
  QPoint drag_from_;
  QRect rubber_band_;
  bool dragging_ = false;
  int current_plot_ = 0;
  int moving_label_ = -1;  // the label being dragged; -1 none
  QPointF grab_offset_;    // from its anchor to where it was taken
  GraphLabel moved_from_;  // where it was, for Escape
};

}  // namespace zephyrim
