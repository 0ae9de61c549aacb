// The Smith chart, the polar chart and the eye display of TRC32 driven as a
// person drives them: Plot > Smith Chart and Polar Chart on an ngspice AC run,
// Transform > Eye Display with its options dialog on an ngspice bit train, a
// cursor clicked onto the Smith curve, and Undo Transform.
#include <QAction>
#include <QDialog>
#include <QDockWidget>
#include <QLabel>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>

#include "common/file_io.h"
#include "platform/process.h"
#include "viewer/app/main_window.h"
#include "viewer/app/plot_view.h"
#include "viewer/plot/special_charts.h"
#include "viewer/session/command_table.h"
#include "viewer_test_support.h"

using namespace zephyrim;
using namespace zephyrim::test;

namespace {

// A 50 ohm resistor in series with 1 nF: its impedance lands on the r = 1 circle.
constexpr const char* kLoadDeck =
    "series rc load\n"
    "VS in 0 DC 0 AC 1\n"
    "R1 in mid 50\n"
    "C1 mid 0 1n\n"
    ".control\nset filetype=binary\nac dec 20 100k 10g\nwrite load.raw\n.endc\n.end\n";

// Bits of 1 us through an RC: 0 1 0 1 1 0 0 1.
constexpr const char* kBitsDeck =
    "bit train\n"
    "VB in 0 PWL(0 0 1u 0 1.02u 1 2u 1 2.02u 0 3u 0 3.02u 1 5u 1 5.02u 0 7u 0 7.02u 1 8u 1)\n"
    "R1 in out 1k\n"
    "C1 out 0 100p\n"
    ".control\nset filetype=binary\ntran 10n 8u 0 10n\nwrite bits.raw\n.endc\n.end\n";

DialogFiller filling(std::function<void(QDialog*)> custom) {
  DialogFiller f;
  f.custom = std::move(custom);
  return f;
}

}  // namespace

class ViewerChartsTest : public QObject {
  Q_OBJECT
  QTemporaryDir dir_;

  QString file(const char* name) const { return dir_.filePath(name); }

  void open(ViewerMainWindow& w, const char* name, const QString& trace) {
    w.resize(1000, 800);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    DialogFiller probe{.path = file(name), .choose = {trace}};
    trigger(w, CMD_OPEN, &probe);
  }

 private slots:
  void initTestCase() {
    qputenv("ZEPHYRIM_RUNTIME_DIR", dir_.path().toLocal8Bit() + "/runtime");
    for (const auto& [name, deck] : {std::pair{"load.cir", kLoadDeck}, {"bits.cir", kBitsDeck}}) {
      QVERIFY(write_file_atomic(file(name).toStdString(), deck));
      process_run({"ngspice", "-b", name}, dir_.path().toStdString());
    }
    QVERIFY(QFileInfo::exists(file("load.raw")) && QFileInfo::exists(file("bits.raw")));
  }

  void smith_chart_of_an_impedance_and_its_cursor_then_undo() {
    ViewerMainWindow w;
    open(w, "load.raw", "v(in)");
    // The load's impedance as an expression: SPICE's source current flows out of the load.
    DialogFiller expression{.text = "ZL=-V(IN)/I(VS)"};
    trigger(w, CMD_TRACE_ADD, &expression);
    const int before = int(w.graph().traces.size());
    QVERIFY(before >= 1);
    trigger(w, CMD_SMITH_CHART);
    const Graph& g = w.graph();
    QCOMPARE(g.chart, int(CHART_SMITH));
    QCOMPARE(g.x_axis.low, -1.0);
    QCOMPARE(g.x_axis.high, 1.0);
    // Every point of the impedance's curve on the circle of r = 50 / 50.
    const SelectedTrace* zl = nullptr;
    for (const auto& t : g.traces)
      if (t->name == "ZL") zl = t.get();
    QVERIFY(zl && zl->x && zl->y && zl->third);
    w.store().values(*zl->x);
    const auto re = w.store().values(*zl->x);
    const auto im = w.store().values(*zl->y);
    const SmithCircle c = smith_resistance_circle(1);
    for (size_t i = 0; i < re.size(); ++i)
      QVERIFY(std::abs(std::hypot(re[i] - c.centre_x, im[i] - c.centre_y) - c.radius) < 1e-9);

    // A click on the chart puts the cursor on the nearest point; the read-out
    // gives the impedance in ohms.
    for (size_t k = 0; k < g.traces.size(); ++k)
      if (g.traces[k].get() == zl) w.cursors().cursor[0].trace = int(k);
    trigger(w, CMD_CURSOR1);
    w.plot_view()->repaint();
    const QPointF at = graph_position_of(w.plot_view()->layout(), 0, 0.0, -0.5);
    QTest::mouseClick(w.plot_view(), Qt::LeftButton, {}, at.toPoint());
    auto* readout = w.findChild<QDockWidget*>("cursor_readout");
    const QString text = qobject_cast<QLabel*>(readout->widget())->text();
    QVERIFY2(text.contains("ZR[ZL]=50") && text.contains("VWSR"), qPrintable(text));

    trigger(w, CMD_UNDO_TRANSFORM);
    QCOMPARE(w.graph().chart, int(CHART_NORMAL));
    QCOMPARE(int(w.graph().traces.size()), before);
    trigger(w, CMD_UNDO_TRANSFORM);
    QCOMPARE(w.statusBar()->currentMessage(), QString("No transform to undo"));
  }

  void polar_chart_shows_the_chosen_values_themselves() {
    ViewerMainWindow w;
    open(w, "load.raw", "v(mid)");
    QString title;
    DialogFiller choose{.choose = {"V(MID)"}};
    choose.custom = [&](QDialog* d) {
      title = d->windowTitle();
      choose.custom = nullptr;  // then chosen and accepted as the Probe list is
    };
    trigger(w, CMD_POLAR_CHART, &choose);
    QCOMPARE(title, QString("SELECT POLAR CHART VARIABLES"));
    QCOMPARE(w.graph().chart, int(CHART_POLAR));
    QCOMPARE(int(w.graph().traces.size()), 1);
    QCOMPARE(w.graph().x_axis.low, w.graph().plot[0].y_axis.low);
    QCOMPARE(w.graph().x_axis.low, -w.graph().x_axis.high);
    trigger(w, CMD_UNDO_TRANSFORM);
    QCOMPARE(w.graph().chart, int(CHART_NORMAL));
  }

  void eye_display_folds_the_bits_and_refuses_bad_options() {
    ViewerMainWindow w;
    open(w, "bits.raw", "v(out)");
    int round = 0;
    DialogFiller eye = filling([&](QDialog* d) {
      ++round;
      type(d, "period", round == 1 ? "0" : "1u");
      type(d, "delay", "0");
      type(d, "t_low", round == 2 ? "5u" : "0");
      type(d, "t_high", round == 2 ? "1u" : "8u");
      press_ok(d);
    });
    trigger(w, CMD_EYE_DISPLAY, &eye);
    QCOMPARE(eye.messages, (QStringList{"Invalid period - must be greater than 0",
                                        "Invalid eye plot data range specified"}));
    const Graph& g = w.graph();
    QCOMPARE(g.traces.size(), size_t(1));
    QCOMPARE(QString::fromStdString(g.traces[0]->x->name), QString("TEYE"));
    QCOMPARE(QString::fromStdString(g.x_label), QString("TIME EYE SWEEP"));
    QCOMPARE(g.chart_readout, (std::vector<std::string>{"Period=1u", "Delay=0"}));
    for (double t : w.store().values(*g.traces[0]->x)) QVERIFY(t >= -0.5e-6 && t < 0.5e-6);
    // The FFT has no sense on folded time; Undo Transform gives the time back.
    DialogFiller fft;
    trigger(w, CMD_FFT, &fft);
    QCOMPARE(fft.messages, QStringList{"FFT available only for TRANSIENT analysis data"});
    trigger(w, CMD_UNDO_TRANSFORM);
    QCOMPARE(QString::fromStdString(w.graph().traces[0]->x->name).toUpper(), QString("TIME"));
  }
};

QTEST_MAIN(ViewerChartsTest)
#include "viewer_charts_test.moc"
