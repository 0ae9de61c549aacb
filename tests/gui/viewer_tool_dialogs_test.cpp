// The measure, cursor, status and analysis dialogs of TRC32, driven through the
// menu and filled through their fields, on a 1 kOhm / 1 uF low pass (tau = 1 ms)
// that zsim simulated in the test.
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDockWidget>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>
#include <cmath>

#include "viewer/app/tool_dialogs.h"
#include "viewer/data/data_store.h"
#include "viewer/session/command_table.h"
#include "viewer_test_support.h"

using namespace zephyrim;
using namespace zephyrim::test;

namespace {

DialogFiller filling(std::function<void(QDialog*)> custom) {
  DialogFiller f;
  f.custom = std::move(custom);
  return f;
}

// The last value stored under a result name (its newest run).
std::vector<double> results(DataStore& store, const char* name) {
  const DataVector* last = nullptr;
  for (const DataVector& v : store.data_class(DATA_CLASS_TEXT)->vectors)
    if (QString::fromStdString(v.name) == name) last = &v;
  if (!last) return {};
  const auto values = store.values(*last);
  return {values.begin(), values.end()};
}

const double kTau = 1e-3;

}  // namespace

class ViewerToolDialogsTest : public QObject {
  Q_OBJECT
  QTemporaryDir dir_;

  void open(ViewerMainWindow& w) {
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    DialogFiller open;
    open.path = dir_.filePath("lowpass.OUT");
    trigger(w, CMD_OPEN, &open);
    QCOMPARE(int(w.graph().traces.size()), 2);
    QCOMPARE(w.graph().analysis, int(ANALYSIS_TRAN));
  }

 private slots:
  void initTestCase() { QVERIFY(write_simulated_files(dir_)); }

  void measures_give_the_low_pass_values_and_remember_their_fields() {
    ViewerMainWindow w;
    DialogFiller early = filling([](QDialog* d) { d->reject(); });
    trigger(w, CMD_MEASURE_MAXIMUM, &early);
    QCOMPARE(early.messages, QStringList{"No plot displayed"});
    open(w);

    // Maximum: the second pulse charges from a little above 0 for 5 tau.
    QString caption;
    DialogFiller maximum = filling([&](QDialog* d) {
      caption = d->windowTitle();
      QVERIFY(!d->findChild<QComboBox*>("mode"));  // the extremes have no value mode
      type(d, "name", "VMAX");
      pick(d, "y_name", "V(OUT)");
      press_ok(d);
    });
    trigger(w, CMD_MEASURE_MAXIMUM, &maximum);
    QCOMPARE(caption, QString("Measure Maximum Value Setup"));
    const double first_top = 1 - std::exp(-5.0);
    const double top = 1 - (1 - first_top * std::exp(-5.0)) * std::exp(-5.0);
    auto found = results(w.store(), "VMAX");
    QCOMPARE(int(found.size()), 1);
    QVERIFY2(std::fabs(found[0] - top) < 2e-3, qPrintable(QString::number(found[0])));
    QCOMPARE(maximum.messages.size(), 1);
    QVERIFY2(maximum.messages[0].startsWith("MEASURE VMAX: 1 value found.\n\nVMAX = 0.99"),
             qPrintable(maximum.messages[0]));

    // Repeated with the fields as left: a second run of the result.
    QString kept;
    DialogFiller again = filling([&](QDialog* d) {
      kept = field<QLineEdit>(d, "name")->text() + " " + field<QComboBox>(d, "y_name")->currentText();
      press_ok(d);
    });
    trigger(w, CMD_MEASURE_MAXIMUM, &again);
    QCOMPARE(kept, QString("VMAX V(OUT)"));
    QVERIFY(w.store().find_vector("VMAX", DATA_CLASS_TEXT, -1, -1, -1, 2));

    // Delay from the input's rising half level to the output's: tau ln 2 less
    // the half of the 1 us input edge.
    DialogFiller delay = filling([](QDialog* d) {
      QCOMPARE(d->windowTitle(), QString("Measure Delay Setup"));
      type(d, "name", "TD50");
      pick(d, "y_name", "V(IN)");
      pick(d, "y2_name", "V(OUT)");
      type(d, "value1", "0.5");
      pick(d, "edge1", "Rise");
      pick(d, "edge2", "Rise");
      press_ok(d);
    });
    trigger(w, CMD_MEASURE_DELAY, &delay);
    found = results(w.store(), "TD50");
    QCOMPARE(int(found.size()), 1);
    const double expected = kTau * std::log(2.0) - 0.5e-6;
    QVERIFY2(std::fabs(found[0] - expected) < 0.01 * expected, qPrintable(QString::number(found[0])));

    // The falling edges instead: V(OUT) falls from its first top to 0.5 after
    // the input's fall at 5 ms.
    DialogFiller fall = filling([](QDialog* d) {
      type(d, "name", "TDF");
      pick(d, "edge1", "Fall");
      pick(d, "edge2", "Fall");
      press_ok(d);
    });
    trigger(w, CMD_MEASURE_DELAY, &fall);
    found = results(w.store(), "TDF");
    QCOMPARE(int(found.size()), 1);
    QVERIFY2(std::fabs(found[0] - kTau * std::log(2 * first_top)) < 0.01 * kTau,
             qPrintable(QString::number(found[0])));
  }

  void measure_input_errors_keep_or_end_the_dialog_with_their_messages() {
    ViewerMainWindow w;
    open(w);
    // A number that does not read keeps the dialog open; once corrected the
    // value at 2 ms is that of the charging curve.
    int shown = 0;
    DialogFiller value = filling([&](QDialog* d) {
      ++shown;
      type(d, "name", "V2M");
      pick(d, "y_name", "V(OUT)");
      type(d, "value1", shown == 1 ? "two" : "2ms");
      press_ok(d);
    });
    trigger(w, CMD_MEASURE_VALUE, &value);
    QCOMPARE(shown, 2);
    QCOMPARE(value.messages.value(0), QString("Invalid number for X value: \"two\""));
    const auto found = results(w.store(), "V2M");
    QCOMPARE(int(found.size()), 1);
    QVERIFY2(std::fabs(found[0] - (1 - std::exp(-2.0))) < 2e-3, qPrintable(QString::number(found[0])));

    // Delta refuses offset values and stores nothing.
    DialogFiller delta = filling([](QDialog* d) {
      type(d, "name", "DOFF");
      pick(d, "y_name", "V(OUT)");
      type(d, "value1", "1m");
      type(d, "value2", "3m");
      pick(d, "mode", "Offset values");
      press_ok(d);
    });
    trigger(w, CMD_MEASURE_DELTA, &delta);
    QCOMPARE(delta.messages, QStringList{"MEASURE DELTA: offset values not allowed"});
    QVERIFY(results(w.store(), "DOFF").empty());

    // A window with no point of the data: nothing found.
    DialogFiller empty = filling([](QDialog* d) {
      type(d, "name", "XMX");
      pick(d, "y_name", "V(OUT)");
      type(d, "lower", "30m");
      press_ok(d);
    });
    trigger(w, CMD_MEASURE_X_AT_MAXIMUM, &empty);
    QCOMPARE(empty.messages, QStringList{"MEASURE XMX: No data within spec found"});
  }

  void cursor_is_positioned_and_a_fixed_value_out_of_range_refused() {
    ViewerMainWindow w;
    open(w);
    DialogFiller none = filling([](QDialog* d) { d->reject(); });
    trigger(w, CMD_CURSOR_POSITION, &none);
    QCOMPARE(none.messages, QStringList{"No cursor active"});

    trigger(w, CMD_CURSOR1);
    trigger(w, CMD_CURSOR_NEXT_TRACE);
    const Cursor& c = w.cursors().cursor[0];
    QCOMPARE(c.trace, 1);  // V(OUT)
    DialogFiller maximum = filling([](QDialog* d) {
      QCOMPARE(d->windowTitle(), QString("Set Cursor Position"));
      field<QRadioButton>(d, "maximum")->setChecked(true);
      press_ok(d);
    });
    trigger(w, CMD_CURSOR_POSITION, &maximum);
    // Where the trace's largest value lies, found independently.
    const SelectedTrace& out = *w.graph().traces[1];
    const auto xs = w.store().values(*out.x);
    const auto ys = w.store().values(*out.y);
    const auto top = std::max_element(ys.begin(), ys.end());
    QCOMPARE(c.y, *top);
    QCOMPARE(c.x, xs[size_t(top - ys.begin())]);
    QVERIFY(c.x > 14e-3 && c.x < 16e-3);
    QCOMPARE(c.positioning, int(POSITION_MAXIMUM));

    // 50 ms lies past the 20 ms of data: refused, the dialog stays for a value
    // that lies inside, which puts the cursor on the charging curve.
    int shown = 0;
    QString range;
    DialogFiller fixed = filling([&](QDialog* d) {
      ++shown;
      field<QRadioButton>(d, "fix_x")->setChecked(true);
      range = field<QLineEdit>(d, "min_value")->text() + " " + field<QLineEdit>(d, "max_value")->text();
      type(d, "fixed_value", shown == 1 ? "50m" : "2m");
      press_ok(d);
    });
    trigger(w, CMD_CURSOR_POSITION, &fixed);
    QCOMPARE(shown, 2);
    QCOMPARE(fixed.messages, QStringList{"Specified value out of range"});
    QCOMPARE(range, QString("0 20m"));
    QVERIFY(std::fabs(c.x - 2e-3) < 1e-12);
    QVERIFY2(std::fabs(c.y - (1 - std::exp(-2.0))) < 2e-3, qPrintable(QString::number(c.y)));
    QCOMPARE(c.positioning, int(POSITION_FIX_X));

    // A fixed Y: the first time the output charges through half the input.
    DialogFiller half = filling([](QDialog* d) {
      field<QRadioButton>(d, "fix_y")->setChecked(true);
      QVERIFY(field<QLineEdit>(d, "max_value")->text().startsWith("993"));
      type(d, "fixed_value", "0.5");
      press_ok(d);
    });
    trigger(w, CMD_CURSOR_POSITION, &half);
    QVERIFY(half.messages.isEmpty());
    QVERIFY2(std::fabs(c.x - kTau * std::log(2.0)) < 0.01 * kTau, qPrintable(QString::number(c.x)));
    QCOMPARE(c.positioning, int(POSITION_FIX_Y));
  }

  void shapes_change_and_become_defaults() {
    ViewerMainWindow w;
    open(w);
    trigger(w, CMD_CURSOR1);
    DialogFiller shape = filling([](QDialog* d) {
      QCOMPARE(d->windowTitle(), QString("Set Cursor Shape"));
      QCOMPARE(field<QComboBox>(d, "shape2")->currentText(), QString("X"));
      pick(d, "shape1", "Vertical bar");
      pick(d, "shape2", "Cross hair");
      press_ok(d);
    });
    trigger(w, CMD_CURSOR_SHAPE, &shape);
    QCOMPARE(w.cursors().cursor[0].shape, int(SHAPE_VERTICAL_BAR));
    QCOMPARE(w.cursors().cursor[1].shape, int(SHAPE_CROSS_HAIR));
    QCOMPARE(w.config().cursor1_style, int(SHAPE_SMALL_CROSS));  // not saved as default
    auto* readout = w.findChild<QDockWidget*>("cursor_readout");
    QVERIFY(qobject_cast<QLabel*>(readout->widget())->text().startsWith(" Cursor 1 (|):"));

    DialogFiller save = filling([](QDialog* d) {
      pick(d, "shape1", "X");
      field<QCheckBox>(d, "save_default")->setChecked(true);
      press_ok(d);
    });
    trigger(w, CMD_CURSOR_SHAPE, &save);
    QCOMPARE(w.config().cursor1_style, int(SHAPE_X));
    QCOMPARE(w.config().cursor2_style, int(SHAPE_CROSS_HAIR));
    QVERIFY(qobject_cast<QLabel*>(readout->widget())->text().startsWith(" Cursor 1 (x):"));

    DialogFiller cancel = filling([](QDialog* d) {
      pick(d, "shape1", "Small cross");
      d->reject();
    });
    trigger(w, CMD_CURSOR_SHAPE, &cancel);
    QCOMPARE(w.cursors().cursor[0].shape, int(SHAPE_X));
  }

  void status_shows_the_file_its_analyses_and_traces() {
    ViewerMainWindow w;
    open(w);
    QString text;
    DialogFiller status = filling([&](QDialog* d) {
      QCOMPARE(d->objectName(), QString("VIEW_STATUS_DLG"));
      text = field<QPlainTextEdit>(d, "status_text")->toPlainText();
      press_ok(d);
    });
    trigger(w, CMD_VIEW_STATUS, &status);
    QVERIFY2(text.contains("File: ") && text.contains("lowpass.OUT"), qPrintable(text));
    QVERIFY2(text.contains("TRANSIENT: ") && text.contains("AC Sweep"), qPrintable(text));
    QVERIFY2(text.contains("Analysis shown: TRANSIENT"), qPrintable(text));
    QVERIFY2(text.contains("traces: 2") && text.contains("V(OUT) (plot 1) over TIME", Qt::CaseInsensitive),
             qPrintable(text));
    QVERIFY2(text.contains("Memory: "), qPrintable(text));
  }

  void analysis_choice_offers_the_kinds_present() {
    ViewerMainWindow w;
    open(w);
    QStringList offered;
    DialogFiller choose = filling([&](QDialog* d) {
      QCOMPARE(d->windowTitle(), QString("Select Analysis/Data Source"));
      for (QRadioButton* b : d->findChildren<QRadioButton*>()) offered << b->text();
      QVERIFY(field<QRadioButton>(d, "analysis_2")->isChecked());  // the one shown
      field<QRadioButton>(d, "analysis_3")->setChecked(true);
      press_ok(d);
    });
    int kind = -2;
    choose.run([&] { kind = choose_analysis_dialog(&w, w.store(), w.graph().analysis); });
    QCOMPARE(kind, int(ANALYSIS_AC));
    QVERIFY2(offered.contains("&TRANSIENT") && offered.contains("&AC Sweep/FFT/Other Complex Data "),
             qPrintable(offered.join('|')));
    QVERIFY2(!offered.contains("&DC Sweep"), qPrintable(offered.join('|')));

    DialogFiller cancel = filling([](QDialog* d) { d->reject(); });
    cancel.run([&] { kind = choose_analysis_dialog(&w, w.store(), ANALYSIS_TRAN); });
    QCOMPARE(kind, -1);

    // A measure puts its results in the text class: now both classes hold data
    // and the source is offered, only where the chosen analysis has vectors.
    DialogFiller maximum = filling([](QDialog* d) {
      pick(d, "y_name", "V(OUT)");
      press_ok(d);
    });
    trigger(w, CMD_MEASURE_MAXIMUM, &maximum);
    bool binary_for_transient = false;
    DialogFiller other = filling([&](QDialog* d) {
      QVERIFY(field<QRadioButton>(d, "source_binary")->isChecked());
      binary_for_transient = field<QRadioButton>(d, "source_binary")->isEnabled();
      field<QRadioButton>(d, "analysis_0")->setChecked(true);
      QVERIFY(!field<QRadioButton>(d, "source_binary")->isEnabled());
      QVERIFY(field<QRadioButton>(d, "source_text")->isChecked());
      press_ok(d);
    });
    int cls = -2;
    other.run([&] { kind = choose_analysis_dialog(&w, w.store(), ANALYSIS_TRAN, &cls); });
    QVERIFY(binary_for_transient);
    QCOMPARE(kind, int(ANALYSIS_OTHER));
    QCOMPARE(cls, int(DATA_CLASS_TEXT));
  }
};

QTEST_MAIN(ViewerToolDialogsTest)
#include "viewer_tool_dialogs_test.moc"
