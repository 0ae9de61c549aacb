// Histograms in TRC32 driven as a person drives them: Plot > Histogram > New
// Plot on a measurement over Monte Carlo runs that zsim made in the test, then
// Fit Gaussian, Yield and Options through their dialogs.
#include <QAction>
#include <QDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <cmath>
#include <numeric>

#include "common/file_io.h"
#include "platform/process.h"
#include "viewer/app/main_window.h"
#include "viewer/session/command_table.h"
#include "viewer_test_support.h"

using namespace zephyrim;
using namespace zephyrim::test;

namespace {

// 40 runs of an RC low pass with 5 % parts, its -3 dB frequency per run.
constexpr const char* kMonteCarlo =
    "rc monte carlo\n"
    "V1 in 0 DC 0 AC 1\n"
    "R1 in out 1k\n"
    "C1 out 0 100n\n"
    ".TOL R* 5%\n"
    ".TOL C* 5%\n"
    ".AC DEC 20 100 100k\n"
    ".MC 40 SEED=5\n"
    ".PROBE\n"
    "#MEASURE AC VALUE F3DB YVAR=FREQUENCY XVAR=VDB(OUT) XVAL=-3\n"
    ".END\n";

DialogFiller filling(std::function<void(QDialog*)> custom) {
  DialogFiller f;
  f.custom = std::move(custom);
  return f;
}

std::vector<double> values_of(ViewerMainWindow& w, const DataVector* v) {
  const auto s = w.store().values(*v);
  return {s.begin(), s.end()};
}

}  // namespace

class ViewerHistogramTest : public QObject {
  Q_OBJECT
  QTemporaryDir dir_;

  QString file(const char* name) const { return dir_.filePath(name); }

 private slots:
  void initTestCase() {
    qputenv("ZEPHYRIM_RUNTIME_DIR", dir_.path().toLocal8Bit() + "/runtime");
    QVERIFY(write_file_atomic(file("mc.CIR").toStdString(), kMonteCarlo));
    process_run({ZEPHYRIM_APPS_DIR "/zsim", "mc.CIR"}, dir_.path().toStdString());
    QVERIFY(QFileInfo::exists(file("mc.OUT")));
  }

  void histogram_of_a_measurement_with_gaussian_yield_and_options() {
    ViewerMainWindow w;
    w.resize(1000, 700);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    DialogFiller open{.path = file("mc.OUT")};
    trigger(w, CMD_OPEN, &open);

    QString title;
    DialogFiller choose{.choose = {"F3DB"}};
    choose.custom = [&](QDialog* d) {
      title = d->windowTitle();
      choose.custom = nullptr;  // the list is filled by the filler's own rule next time round
    };
    trigger(w, CMD_HISTOGRAM_NEW, &choose);
    QCOMPARE(title, QString("Histogram Variable"));
    const Graph& g = w.graph();
    QCOMPARE(g.chart, int(CHART_HISTOGRAM));
    QVERIFY(g.histogram && g.histogram_source);
    QCOMPARE(QString::fromStdString(g.histogram->source), QString("F3DB"));
    QCOMPARE(int(g.traces.size()), 1);
    const std::vector<double> f3db = values_of(w, g.histogram_source);
    QCOMPARE(int(f3db.size()), 40);
    const std::vector<double> counts = values_of(w, g.traces[0]->y);
    QCOMPARE(std::accumulate(counts.begin(), counts.end(), 0.0), 40.0);
    // About 1.6 kHz, and the count axis from 0 to above the tallest bar.
    QVERIFY2(std::abs(g.histogram->mean - 1591.5) < 80, qPrintable(QString::number(g.histogram->mean)));
    QCOMPARE(g.plot[0].y_axis.low, 0.0);
    QVERIFY(g.plot[0].y_axis.high > *std::max_element(counts.begin(), counts.end()));

    trigger(w, CMD_HISTOGRAM_GAUSSIAN);
    QCOMPARE(int(w.graph().traces.size()), 2);
    QCOMPARE(QString::fromStdString(w.graph().traces[1]->name), QString("GAUSS"));

    // Yield: a range that is no range is refused and the dialog stays; then the mean ± 1 %.
    const double mean = w.graph().histogram->mean;
    int rounds = 0;
    DialogFiller yield = filling([&](QDialog* d) {
      if (++rounds == 1) {
        type(d, "accept_low", "2k");
        type(d, "accept_high", "1k");
      } else {
        type(d, "accept_low", QString::number(mean * 0.99));
        type(d, "accept_high", QString::number(mean * 1.01));
      }
      press_ok(d);
    });
    trigger(w, CMD_HISTOGRAM_YIELD, &yield);
    QCOMPARE(yield.messages, QStringList{"Invalid yield acceptance range"});
    const auto inside = std::count_if(f3db.begin(), f3db.end(),
                                      [&](double v) { return v >= mean * 0.99 && v <= mean * 1.01; });
    QVERIFY(w.graph().histogram->yield_computed);
    QCOMPARE(w.graph().histogram->yield, 100.0 * double(inside) / 40);

    // Options: a zero bin is refused; a range of the lower half counts only what is in it.
    rounds = 0;
    DialogFiller options = filling([&](QDialog* d) {
      if (++rounds == 1) {
        type(d, "bin", "0");
      } else {
        type(d, "data_max", QString::number(mean));
        type(d, "bin", "20");
      }
      press_ok(d);
    });
    trigger(w, CMD_HISTOGRAM_OPTIONS, &options);
    QCOMPARE(options.messages, QStringList{"Invalid bin size"});
    QCOMPARE(w.graph().histogram->bin, 20.0);
    const std::vector<double> lower = values_of(w, w.graph().traces[0]->y);
    const auto below = std::count_if(f3db.begin(), f3db.end(), [&](double v) { return v <= mean; });
    QCOMPARE(std::accumulate(lower.begin(), lower.end(), 0.0), double(below));
    QCOMPARE(QString::fromStdString(w.graph().traces[1]->name), QString("GAUSS"));  // the curve stays
  }

  void commands_without_a_histogram_say_so() {
    ViewerMainWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    DialogFiller none;
    trigger(w, CMD_HISTOGRAM_NEW, &none);
    QCOMPARE(none.messages, QStringList{"No data available for a histogram: measure a value per run first"});
    DialogFiller gauss;
    trigger(w, CMD_HISTOGRAM_GAUSSIAN, &gauss);
    QCOMPARE(gauss.messages, QStringList{"No histogram displayed"});
  }
};

QTEST_MAIN(ViewerHistogramTest)
#include "viewer_histogram_test.moc"
