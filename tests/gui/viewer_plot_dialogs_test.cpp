// The plot, trace, axis and title dialogs of TRC32, driven through the menu and
// filled through their widgets, on zsim's transient of a 1 kOhm / 1 uF low pass
// (V(in) a 0..1 V pulse, 20 ms) that autoplots V(in) and V(out).
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QtTest>

#include "viewer/app/plot_view.h"
#include "viewer/data/data_store.h"
#include "viewer/session/command_table.h"
#include "viewer_test_support.h"

using namespace zephyrim;
using namespace zephyrim::test;

namespace {

// Clicks the traces whose names are given (the first alone, the others with Ctrl).
void choose_traces(QDialog* d, const QStringList& names) {
  QListWidget* list = field<QListWidget>(d, "traces");
  bool first = true;
  for (int k = 0; k < list->count(); ++k) {
    const QString name = list->item(k)->text().section("   ", 0, 0);
    if (!names.contains(name, Qt::CaseInsensitive)) continue;
    const QPoint at = list->visualItemRect(list->item(k)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, first ? Qt::NoModifier : Qt::ControlModifier, at);
    first = false;
  }
}

// Presses OK from the dialog's own event loop: a refusal's message box then
// comes while the filler is free to answer it.
void press_ok_later(QDialog* d) {
  QMetaObject::invokeMethod(field<QDialogButtonBox>(d, "buttons")->button(QDialogButtonBox::Ok), "click",
                            Qt::QueuedConnection);
}

QString trace_name(ViewerMainWindow& w, size_t k) {
  return QString::fromStdString(w.graph().traces.at(k)->name).toUpper();
}

// How many pixels two pictures of the view differ in, inside a rectangle or
// (outside) everywhere but in it.
int changed_pixels(const QImage& a, const QImage& b, const QRect& r, bool outside = false) {
  int n = 0;
  for (int y = 0; y < std::min(a.height(), b.height()); ++y)
    for (int x = 0; x < std::min(a.width(), b.width()); ++x)
      n += r.contains(x, y) != outside && a.pixel(x, y) != b.pixel(x, y);
  return n;
}

QImage picture(PlotView* view) {
  return view->grab().toImage();
}

}  // namespace

class ViewerPlotDialogsTest : public QObject {
  Q_OBJECT
  QTemporaryDir dir_;

  // A window showing the autoplot of lowpass.OUT.
  void open(ViewerMainWindow& w) {
    w.resize(1000, 700);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    DialogFiller open{.path = dir_.filePath("lowpass.OUT")};
    trigger(w, CMD_OPEN, &open);
    QCOMPARE(int(w.graph().traces.size()), 2);
    QCOMPARE(trace_name(w, 0), QString("V(IN)"));
  }

 private slots:
  void initTestCase() { QVERIFY(write_simulated_files(dir_)); }

  void plots_added_traces_moved_styled_and_deleted() {
    ViewerMainWindow w;
    open(w);
    Graph& g = w.graph();

    DialogFiller three{.custom = [](QDialog* d) {
      QCOMPARE(d->windowTitle(), QString("Add/Delete Plots"));
      field<QSpinBox>(d, "plot_count")->setValue(3);
      press_ok(d);
    }};
    trigger(w, CMD_ADD_DELETE_PLOTS, &three);
    QCOMPARE(g.plots, 3);

    // V(out) to the third plot: it gets an axis of its own there.
    DialogFiller move{.custom = [](QDialog* d) {
      choose_traces(d, {"V(out)"});
      pick(d, "move_to", "Plot 3");
      press_ok(d);
    }};
    trigger(w, CMD_TRACE_MOVE_DELETE, &move);
    QCOMPARE(g.traces[1]->plot, 2);
    QCOMPARE(g.traces[0]->plot, 0);
    QVERIFY(g.plot[2].y_axis.in_use >= 0);
    QCOMPARE(g.plot[1].y_axis.in_use, -1);  // the empty plot stays, without ticks
    QCOMPARE(g.plots, 3);

    // Options of two traces at once: the choice goes to both; Cancel changes nothing.
    DialogFiller cancel{.custom = [](QDialog* d) {
      choose_traces(d, {"V(in)", "V(out)"});
      pick(d, "colour", "Yellow");
      d->reject();
    }};
    trigger(w, CMD_TRACE_OPTIONS, &cancel);
    QVERIFY(g.traces[0]->options.colour != 14);
    DialogFiller style{.custom = [](QDialog* d) {
      choose_traces(d, {"V(in)", "V(out)"});
      pick(d, "colour", "Red");
      pick(d, "symbol", "Circle");
      choose_traces(d, {"V(out)"});
      QCOMPARE(field<QComboBox>(d, "colour")->currentText(), QString("Red"));
      pick(d, "line_type", "Dashed");
      press_ok(d);
    }};
    trigger(w, CMD_TRACE_OPTIONS, &style);
    QCOMPARE(g.traces[0]->options.colour, int(COLOUR_RED));
    QCOMPARE(g.traces[1]->options.colour, int(COLOUR_RED));
    QCOMPARE(g.traces[0]->options.symbol, 1);
    QCOMPARE(g.traces[0]->options.line_type, 1);  // only V(out) was chosen then
    QCOMPARE(g.traces[1]->options.line_type, 2);

    // Back up to the second plot: the third stays, drawn empty.
    DialogFiller up{.custom = [](QDialog* d) {
      choose_traces(d, {"V(out)"});
      pick(d, "move_to", "Plot 2");
      press_ok(d);
    }};
    trigger(w, CMD_TRACE_MOVE_DELETE, &up);
    QCOMPARE(g.plots, 3);
    QVERIFY(g.plot[1].y_axis.in_use >= 0);
    QCOMPARE(g.plot[2].y_axis.in_use, -1);

    // Hiding a trace takes it out of its plot's range.
    DialogFiller hide{.custom = [](QDialog* d) {
      choose_traces(d, {"V(out)"});
      pick(d, "display", "Hide");
      press_ok(d);
    }};
    trigger(w, CMD_TRACE_OPTIONS, &hide);
    QCOMPARE(g.traces[1]->options.display, int(DISPLAY_HIDE));
    QCOMPARE(g.plot[1].y_axis.in_use, -1);

    // Down to one plot: the traces of the plots that went join it.
    DialogFiller one{.custom = [](QDialog* d) {
      field<QSpinBox>(d, "plot_count")->setValue(1);
      press_ok(d);
    }};
    trigger(w, CMD_ADD_DELETE_PLOTS, &one);
    QCOMPARE(g.plots, 1);
    QCOMPARE(g.traces[1]->plot, 0);

    // Delete V(in) with the cursor on it: the cursor goes with its trace.
    trigger(w, CMD_CURSOR1);
    QCOMPARE(w.cursors().cursor[0].trace, 0);
    DialogFiller remove{.custom = [](QDialog* d) {
      choose_traces(d, {"V(in)"});
      field<QPushButton>(d, "delete")->click();
    }};
    trigger(w, CMD_TRACE_MOVE_DELETE, &remove);
    QCOMPARE(int(g.traces.size()), 1);
    QCOMPARE(trace_name(w, 0), QString("V(OUT)"));
    QVERIFY(!w.cursors().cursor[0].active);

    // Traces > Label hides the trace names above the plots, and shows them again.
    QVERIFY(w.plot_view()->style.legend);
    trigger(w, CMD_TRACE_LABEL);
    QVERIFY(!w.plot_view()->style.legend);
    QVERIFY(!w.action(CMD_TRACE_LABEL)->isChecked());
    trigger(w, CMD_TRACE_LABEL);
    QVERIFY(w.plot_view()->style.legend);
  }

  void axis_limits_refused_then_applied_and_axis_options() {
    ViewerMainWindow w;
    open(w);
    Graph& g = w.graph();
    DialogFiller second{.custom = [](QDialog* d) {
      choose_traces(d, {"V(out)"});
      pick(d, "move_to", "Plot 2");
      press_ok(d);
    }};
    trigger(w, CMD_TRACE_MOVE_DELETE, &second);
    QCOMPARE(g.plots, 2);
    const AxisScale y2_before = g.plot[1].y_axis;

    // A bad Y2 row is refused with its plot's number and the focus on the
    // field; cancelling then leaves every axis as it was.
    bool focused = false;
    int calls = 0;
    DialogFiller refused{.custom = [&](QDialog* d) {
      if (calls++ == 0) {
        QCOMPARE(d->windowTitle(), QString("Set Axis Limits"));
        QVERIFY(field<QCheckBox>(d, "x_auto")->isChecked());
        type(d, "x_high", "10m");
        type(d, "y2_low", "5");
        type(d, "y2_high", "5");
        QVERIFY(!field<QCheckBox>(d, "y2_auto")->isChecked());
        press_ok_later(d);
        return;  // the message box comes, the dialog stays
      }
      focused = d->focusWidget() == field<QLineEdit>(d, "y2_high");
      d->reject();
    }};
    trigger(w, CMD_AXIS_LIMITS, &refused);
    QCOMPARE(refused.messages, QStringList{"Invalid Y2 axis limits specified"});
    QVERIFY(focused);
    QCOMPARE(g.x_axis.limits_manual, 0);
    QCOMPARE(g.plot[1].y_axis.high, y2_before.high);

    // Too many ticks on X, then good limits: X 0..10 ms by 2 ms, Y1 -1..2 by 0.5.
    calls = 0;
    DialogFiller applied{.custom = [&](QDialog* d) {
      if (calls++ == 0) {
        type(d, "x_low", "0");
        type(d, "x_high", "10m");
        type(d, "x_spacing", "1u");
        press_ok_later(d);
        return;
      }
      type(d, "x_spacing", "2m");
      type(d, "y1_low", "-1");
      type(d, "y1_high", "2");
      type(d, "y1_spacing", "0.5");
      press_ok(d);
    }};
    trigger(w, CMD_AXIS_LIMITS, &applied);
    QCOMPARE(applied.messages.value(0), QString("Too many X ticks: \ninvalid limits or spacing specified"));
    // Y2 stayed automatic while the others became manual: the user is asked.
    QCOMPARE(applied.messages.value(1), QString("Auto update axes limits?"));
    QCOMPARE(g.x_axis.limits_manual, 1);
    QCOMPARE(g.x_axis.high, 0.01);
    QCOMPARE(g.x_axis.divisions, 5);
    QCOMPARE(g.plot[0].y_axis.low, -1.0);
    QCOMPARE(g.plot[0].y_axis.divisions, 6);
    QCOMPARE(g.plot[1].y_axis.limits_manual, 0);

    // Manual limits outlast a later update of the axes (a trace hidden and shown).
    DialogFiller hide{.custom = [](QDialog* d) {
      choose_traces(d, {"V(out)"});
      pick(d, "display", "Hide");
      press_ok(d);
    }};
    trigger(w, CMD_TRACE_OPTIONS, &hide);
    QCOMPARE(g.x_axis.high, 0.01);

    // Back to automatic X: the whole 20 ms again.
    DialogFiller automatic{.custom = [](QDialog* d) {
      field<QCheckBox>(d, "x_auto")->click();
      QVERIFY(field<QCheckBox>(d, "x_auto")->isChecked());
      press_ok(d);
    }};
    trigger(w, CMD_AXIS_LIMITS, &automatic);
    QCOMPARE(g.x_axis.limits_manual, 0);
    QVERIFY(g.x_axis.high > 0.0199);

    // Axis options: Y plot 1 logarithmic with a unit of the user's on the caption;
    // X keeps its own settings while another axis is shown.
    DialogFiller options{.custom = [](QDialog* d) {
      QCOMPARE(d->windowTitle(), QString("Set Axis Options"));
      QVERIFY(field<QRadioButton>(d, "unit_auto")->isChecked());
      field<QRadioButton>(d, "unit_none")->click();
      pick(d, "axis", "Y plot 1");
      QVERIFY(field<QRadioButton>(d, "unit_auto")->isChecked());
      field<QRadioButton>(d, "log")->click();
      field<QRadioButton>(d, "unit_user")->click();
      type(d, "unit_name", "Volt");
      field<QRadioButton>(d, "on_axis_caption")->click();
      press_ok(d);
    }};
    trigger(w, CMD_AXIS_OPTIONS, &options);
    QVERIFY(g.plot[0].log);
    QCOMPARE(g.plot[0].y_axis.log_scale, 1);
    QVERIFY(!g.x_log);
    const PlotStyle& style = w.plot_view()->style;
    QVERIFY(style.y_ticks[0] && style.x_ticks);
    QCOMPARE(int(style.x_ticks->unit_mode), int(UnitMode::None));
    QCOMPARE(int(style.y_ticks[0]->unit_mode), int(UnitMode::User));
    QCOMPARE(QString::fromStdString(style.y_ticks[0]->unit_name), QString("Volt"));
    QVERIFY(style.y_ticks[0]->scale_on_caption);
    QCOMPARE(style.y_ticks[0]->code, int(TICK_DECADE));
    QVERIFY(drawn_share(w.plot_view()->grab().toImage()) > 0.01);
  }

  void x_variable_and_titles() {
    ViewerMainWindow w;
    open(w);
    Graph& g = w.graph();

    // V(out) over V(in): every trace takes V(in) as its X.
    DialogFiller vin{.custom = [](QDialog* d) {
      field<QComboBox>(d, "x_variable")->setCurrentText("v(in)");
      press_ok(d);
    }};
    trigger(w, CMD_AXIS_X_VARIABLE, &vin);
    QCOMPARE(QString::fromStdString(g.x_variable.text).toUpper(), QString("V(IN)"));
    QVERIFY(!g.x_variable.expression);
    for (const auto& t : g.traces) QCOMPARE(QString::fromStdString(t->x->name).toUpper(), QString("V(IN)"));
    QVERIFY(g.x_axis.high < 2);

    // An expression: time in milliseconds.
    DialogFiller ms{.custom = [](QDialog* d) {
      field<QComboBox>(d, "x_variable")->setCurrentText("{TIME*1000}");
      press_ok(d);
    }};
    trigger(w, CMD_AXIS_X_VARIABLE, &ms);
    QVERIFY(g.x_variable.expression);
    QCOMPARE(QString::fromStdString(g.x_variable.text), QString("TIME*1000"));
    QVERIFY(g.x_axis.high >= 20 && g.x_axis.high < 30);

    // Empty: each trace its own X again.
    DialogFiller own{.custom = [](QDialog* d) {
      field<QComboBox>(d, "x_variable")->setCurrentText("");
      press_ok(d);
    }};
    trigger(w, CMD_AXIS_X_VARIABLE, &own);
    QVERIFY(g.x_variable.empty());
    for (const auto& t : g.traces) QCOMPARE(t->x, t->y->x);
    QVERIFY(g.x_axis.high > 0.0199 && g.x_axis.high < 0.03);

    DialogFiller titles{.custom = [](QDialog* d) {
      QCOMPARE(d->objectName(), QString("LABELS_EDIT_DLG"));
      type(d, "circuit_title", "Low pass filter");
      type(d, "subtitle", "");
      type(d, "x_label", "Time");
      type(d, "y_label_1", "Volts");
      QVERIFY(!d->findChild<QLineEdit*>("y_label_2"));  // one plot shown
      press_ok(d);
    }};
    trigger(w, CMD_TITLES, &titles);
    QCOMPARE(g.header.circuit_title, std::string("Low pass filter"));
    QVERIFY(g.header.subtitle.empty());
    QCOMPARE(g.x_label, std::string("Time"));
    QCOMPARE(g.plot[0].y_label, std::string("Volts"));
    QVERIFY(drawn_share(w.plot_view()->grab().toImage()) > 0.01);
  }

  void labels_added_moved_and_deleted_with_the_mouse() {
    ViewerMainWindow w;
    open(w);
    const Graph& g = w.graph();
    PlotView* view = w.plot_view();
    const QImage bare = picture(view);
    const QRectF frame = view->layout().frames.at(0).rect;
    const QPoint at = (frame.topLeft() + QPointF(frame.width() * 0.3, frame.height() * 0.4)).toPoint();

    trigger(w, CMD_ADD_LABEL);
    QCOMPARE(int(view->pointer), int(POINTER_ADD_LABEL));
    QVERIFY(w.action(CMD_ADD_LABEL)->isChecked());
    QCOMPARE(view->cursor().shape(), Qt::CrossCursor);

    // An empty text adds nothing; the mode stays on for the next click.
    DialogFiller empty{.text = ""};
    empty.run([&] { QTest::mouseClick(view, Qt::LeftButton, {}, at); });
    QCOMPARE(empty.seen, 1);
    QVERIFY(g.labels.empty());
    DialogFiller text{.text = "V(out) settles at the top of the pulse"};
    text.run([&] { QTest::mouseClick(view, Qt::LeftButton, {}, at); });
    QCOMPARE(int(g.labels.size()), 1);
    QCOMPARE(int(view->pointer), int(POINTER_ADD_LABEL));
    const GraphLabel& label = g.labels[0];
    QCOMPARE(label.text, std::string("V(out) settles at the top of the pulse"));
    QCOMPARE(label.plot, 0);
    // The anchor in seconds and volts: 30 % along the 20 ms X axis, 60 % up the Y axis.
    const AxisScale& x = g.x_axis;
    const AxisScale& y = g.plot[0].y_axis;
    QVERIFY(x.log_scale == 0 && y.log_scale == 0);
    const double x_pixel = (x.high - x.low) / frame.width(), y_pixel = (y.high - y.low) / frame.height();
    QVERIFY(std::abs(label.x - (x.low + 0.3 * (x.high - x.low))) <= 1.5 * x_pixel);
    QVERIFY(std::abs(label.y - (y.low + 0.6 * (y.high - y.low))) <= 1.5 * y_pixel);

    // It is drawn where it stands, in a box that hides the grid, and nowhere else.
    const QImage opaque = picture(view);
    const QRect box = view->layout().labels.at(0).toAlignedRect();
    QVERIFY(box.left() >= at.x() - 1 && box.bottom() <= at.y() + 1 && box.width() > 100);
    QVERIFY(changed_pixels(bare, opaque, box) > 50);
    QCOMPARE(changed_pixels(bare, opaque, box.adjusted(-2, -2, 2, 2), true), 0);
    trigger(w, CMD_TRANSPARENT_LABELS);
    QVERIFY(g.transparent_labels);
    QVERIFY(w.action(CMD_TRANSPARENT_LABELS)->isChecked());
    const QImage transparent = picture(view);
    QVERIFY(changed_pixels(opaque, transparent, box) > 0);  // the grid shows through
    QVERIFY(changed_pixels(bare, transparent, box) > 50);   // the text stays

    // Dragged by its middle in Move mode: it lands as far off as the mouse went.
    trigger(w, CMD_MOVE_LABEL);
    QVERIFY(w.action(CMD_MOVE_LABEL)->isChecked());
    QVERIFY(!w.action(CMD_ADD_LABEL)->isChecked());
    QCOMPARE(view->cursor().shape(), Qt::OpenHandCursor);
    const QPointF before = graph_position_of(view->layout(), 0, label.x, label.y);
    const QPoint from = box.center(), to = from + QPoint(60, 45);
    QTest::mousePress(view, Qt::LeftButton, {}, from);
    QTest::mouseMove(view, from + QPoint(30, 20));
    QTest::mouseMove(view, to);
    QTest::mouseRelease(view, Qt::LeftButton, {}, to);
    QCOMPARE(int(g.labels.size()), 1);
    const QPointF after = graph_position_of(view->layout(), 0, g.labels[0].x, g.labels[0].y);
    QVERIFY2(QLineF(after, before + QPointF(60, 45)).length() < 1.5,
             qPrintable(QString("moved to %1,%2").arg(after.x()).arg(after.y())));
    const QImage moved = picture(view);
    const QRect moved_box = view->layout().labels.at(0).toAlignedRect();
    QCOMPARE(moved_box.topLeft(), box.topLeft() + QPoint(60, 45));
    QCOMPARE(changed_pixels(bare, moved, box.adjusted(0, 0, 0, -2)), 0);  // gone from where it was
    QVERIFY(changed_pixels(bare, moved, moved_box) > 50);

    // Del mode: a click beside the label keeps it, a click on it removes it.
    trigger(w, CMD_DELETE_LABEL);
    QVERIFY(w.action(CMD_DELETE_LABEL)->isChecked());
    QVERIFY(!w.action(CMD_MOVE_LABEL)->isChecked());
    QTest::mouseClick(view, Qt::LeftButton, {}, moved_box.bottomLeft() + QPoint(-5, 10));
    QCOMPARE(int(g.labels.size()), 1);
    QTest::mouseClick(view, Qt::LeftButton, {}, moved_box.center());
    QVERIFY(g.labels.empty());
    QCOMPARE(changed_pixels(bare, picture(view), view->rect(), false), 0);
    QVERIFY(!w.cursors().cursor[0].active);  // the clicks did not place a cursor

    // A label at the right edge is cut at its frame, and only what shows of it is hit.
    trigger(w, CMD_ADD_LABEL);
    const QPoint edge(int(frame.right()) - 8, int(frame.center().y()));
    DialogFiller cut{.text = "cut at the frame"};
    cut.run([&] { QTest::mouseClick(view, Qt::LeftButton, {}, edge); });
    QCOMPARE(int(g.labels.size()), 1);
    const QImage clipped = picture(view);
    const QRect edge_box = view->layout().labels.at(0).toAlignedRect();
    QVERIFY(edge_box.right() > frame.right() + 20);
    QVERIFY(changed_pixels(bare, clipped, edge_box) > 0);
    QCOMPARE(changed_pixels(bare, clipped, frame.toAlignedRect().adjusted(-1, -1, 1, 1), true), 0);
    trigger(w, CMD_DELETE_LABEL);
    QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(int(frame.right()) + 6, edge_box.center().y()));
    QCOMPARE(int(g.labels.size()), 1);
    QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(int(frame.right()) - 4, edge_box.center().y()));
    QVERIFY(g.labels.empty());

    // Escape leaves the mode and unchecks it.
    QTest::keyClick(view, Qt::Key_Escape);
    QCOMPARE(int(view->pointer), int(POINTER_NORMAL));
    QVERIFY(!w.action(CMD_DELETE_LABEL)->isChecked());
    QCOMPARE(view->cursor().shape(), Qt::ArrowCursor);
  }
};

QTEST_MAIN(ViewerPlotDialogsTest)
#include "viewer_plot_dialogs_test.moc"
