// The histogram chart: the vectors it registers, the Gaussian curve and the
// recount after Histogram Options, the yield, the count axis, and #AUTOPLOT
// HISTOGRAM through the autoplot set-up.
#include "viewer/plot/histogram_display.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <string>
#include <vector>

#include "viewer/calc/autoplot.h"
#include "viewer/calc/calc_fixture.h"
#include "viewer/calc/histogram.h"
#include "viewer/plot/autoplot_setup.h"
#include "viewer/plot/graph_axes.h"

namespace zephyrim {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A measurement per run in the text class, over RUN#, as .MEASURE and
// #TABULATE leave them; and a transient run in the binary class.
struct HistogramStore : CalcStore {
  const DataVector* run = nullptr;
  HistogramStore() {
    const DataVector* t = add("TIME", {0, 1, 2}, nullptr);
    add("V(1)", {0, 1, 0}, t);
  }
  const DataVector* measured(const std::string& name, const std::vector<double>& values) {
    if (!run || run->points != static_cast<int64_t>(values.size())) {
      std::vector<double> runs(values.size());
      std::iota(runs.begin(), runs.end(), 0.0);
      run = add("RUN#", runs, nullptr, ANALYSIS_OTHER, DATA_CLASS_TEXT);
    }
    return add(name, values, run, ANALYSIS_OTHER, DATA_CLASS_TEXT);
  }
  int derived_count() { return store.data_class(DATA_CLASS_DERIVED)->count; }
};

std::vector<double> one_to(int n) {
  std::vector<double> v(static_cast<size_t>(n));
  std::iota(v.begin(), v.end(), 1.0);
  return v;
}

double total(const std::vector<double>& v) {
  return std::accumulate(v.begin(), v.end(), 0.0);
}

TEST(HistogramShow, RegistersCentresAndCountsInTheDerivedClass) {
  HistogramStore s;
  std::vector<double> values = one_to(100);
  values[49] = kNaN;  // a run whose measurement failed
  const DataVector* rise = s.measured("TRISE", values);
  Graph g;
  g.analysis = ANALYSIS_TRAN;
  g.cls = DATA_CLASS_BINARY;
  ASSERT_EQ(histogram_show(g, s.store, *rise, s.notify), 1) << s.notify.last();

  EXPECT_EQ(g.chart, CHART_HISTOGRAM);
  EXPECT_EQ(g.analysis, ANALYSIS_OTHER);
  EXPECT_EQ(g.cls, DATA_CLASS_DERIVED);
  ASSERT_TRUE(g.histogram);
  const Histogram& h = *g.histogram;
  EXPECT_EQ(h.source, "TRISE");
  EXPECT_EQ(h.samples, 99);
  EXPECT_EQ(g.histogram_source, rise);

  ASSERT_EQ(g.traces.size(), 1u);
  const DataVector* count = g.traces[0]->y;
  ASSERT_TRUE(count && count->x);
  EXPECT_EQ(count->name, "COUNT");
  EXPECT_EQ(count->data_class, DATA_CLASS_DERIVED);
  EXPECT_EQ(count->kind, ANALYSIS_OTHER);
  EXPECT_EQ(count->points, h.bins);
  const DataVector* centres = count->x;
  EXPECT_EQ(centres->name, "TRISE");
  EXPECT_EQ(centres->data_class, DATA_CLASS_DERIVED);
  EXPECT_EQ(centres->kind, ANALYSIS_OTHER);
  EXPECT_EQ(g.traces[0]->x ? g.traces[0]->x : count->x, centres);
  EXPECT_EQ(s.derived_count(), 2);

  // Centres in the middle of each bin; counts as the edges say, each value once.
  const std::vector<double> x = s.values(centres), n = s.values(count);
  ASSERT_EQ(x.size(), static_cast<size_t>(h.bins));
  std::vector<double> expected(x.size(), 0.0);
  for (double v : values)
    for (size_t k = 0; k < expected.size(); ++k)
      if (v >= h.low + static_cast<double>(k) * h.bin && v < h.low + static_cast<double>(k + 1) * h.bin)
        expected[k] += 1;
  for (size_t k = 0; k < x.size(); ++k)
    EXPECT_NEAR(x[k], h.low + (static_cast<double>(k) + 0.5) * h.bin, 1e-9);
  EXPECT_EQ(n, expected);
  EXPECT_EQ(total(n), 99);

  // A second histogram counts the other vector; the source data stays.
  const DataVector* fall = s.measured("TFALL", one_to(100));
  ASSERT_EQ(histogram_show(g, s.store, *fall, s.notify), 1);
  ASSERT_EQ(g.traces.size(), 1u);
  EXPECT_EQ(g.traces[0]->y->name, "COUNT");
  EXPECT_EQ(g.traces[0]->y->x->name, "TFALL");
  EXPECT_EQ(total(s.values(g.traces[0]->y)), 100);
  EXPECT_EQ(s.values(rise)[0], 1);
  EXPECT_EQ(s.values(rise)[99], 100);
}

TEST(HistogramShow, NothingToCountLeavesTheGraphAsItWas) {
  HistogramStore s;
  const DataVector* rise = s.measured("TRISE", one_to(20));
  const DataVector* failed = s.measured("TFAIL", std::vector<double>(20, kNaN));
  Graph g;
  ASSERT_EQ(histogram_show(g, s.store, *rise, s.notify), 1);
  const DataVector* before = g.traces[0]->y;
  s.notify.clear();
  EXPECT_EQ(histogram_show(g, s.store, *failed, s.notify), 0);
  EXPECT_EQ(s.notify.entries().size(), 1u);
  ASSERT_EQ(g.traces.size(), 1u);
  EXPECT_EQ(g.traces[0]->y, before);
  EXPECT_EQ(g.histogram->source, "TRISE");
  EXPECT_EQ(s.derived_count(), 2);
}

TEST(HistogramChart, FitGaussianAndRecountAfterOptions) {
  HistogramStore s;
  Graph g;
  EXPECT_EQ(histogram_fit_gaussian(g, s.store, s.notify), 0);
  EXPECT_EQ(s.notify.last(), "No histogram displayed");

  const std::vector<double> values = one_to(100);
  ASSERT_EQ(histogram_show(g, s.store, *s.measured("TRISE", values), s.notify), 1);
  ASSERT_EQ(histogram_fit_gaussian(g, s.store, s.notify), 1) << s.notify.last();
  ASSERT_EQ(g.traces.size(), 2u);
  EXPECT_EQ(g.traces[0]->y->name, "COUNT");
  const DataVector* gauss = g.traces[1]->y;
  EXPECT_EQ(gauss->name, "GAUSS");
  ASSERT_TRUE(gauss->x);
  EXPECT_EQ(gauss->x->name, "GAUSS_X");
  EXPECT_EQ(gauss->data_class, DATA_CLASS_DERIVED);
  EXPECT_EQ(gauss->kind, ANALYSIS_OTHER);
  EXPECT_EQ(s.derived_count(), 4);
  EXPECT_TRUE(g.histogram->gaussian);
  // The curve's top is what a bin centred on the mean would hold.
  const Histogram& h = *g.histogram;
  const std::vector<double> curve = s.values(gauss);
  const double peak = h.samples * std::erf(h.bin / 2 / h.sd / std::sqrt(2.0));
  EXPECT_NEAR(*std::max_element(curve.begin(), curve.end()), peak, 1e-3 * peak);

  // Options narrow the data range: the recount takes only the values inside
  // it, and the curve stays on.
  ASSERT_EQ(histogram_set_options(*g.histogram, 20.5, 60.5, 5, s.notify), 1);
  ASSERT_EQ(histogram_recount(g, s.store, s.notify), 1);
  ASSERT_EQ(g.traces.size(), 2u);
  EXPECT_EQ(total(s.values(g.traces[0]->y)), 40);
  EXPECT_EQ(g.traces[0]->y->points, g.histogram->bins);
  EXPECT_EQ(g.traces[1]->y->name, "GAUSS");
  EXPECT_EQ(s.derived_count(), 4);

  // Equal values have no spread and no curve.
  Graph flat;
  ASSERT_EQ(histogram_show(flat, s.store, *s.measured("TSAME", std::vector<double>(100, 2.0)), s.notify), 1);
  s.notify.clear();
  EXPECT_EQ(histogram_fit_gaussian(flat, s.store, s.notify), 0);
  EXPECT_EQ(s.notify.entries().size(), 1u);
  EXPECT_EQ(flat.traces.size(), 1u);
}

TEST(HistogramChart, Yield) {
  HistogramStore s;
  Graph g;
  EXPECT_EQ(histogram_yield(g, s.store, 1, 2, s.notify), 0);
  EXPECT_EQ(s.notify.last(), "No histogram displayed");

  ASSERT_EQ(histogram_show(g, s.store, *s.measured("TRISE", one_to(100)), s.notify), 1);
  EXPECT_EQ(histogram_readout(*g.histogram).size(), 6u);
  ASSERT_EQ(histogram_yield(g, s.store, 10, 19, s.notify), 1);
  EXPECT_EQ(histogram_readout(*g.histogram).back(), "Yield=10%");
  s.notify.clear();
  EXPECT_EQ(histogram_yield(g, s.store, 19, 10, s.notify), 0);
  EXPECT_EQ(s.notify.texts(), std::vector<std::string>{"Invalid yield acceptance range"});
  EXPECT_EQ(histogram_readout(*g.histogram).back(), "Yield=10%");
}

// Counts from 0, whole-number ticks once the spacing is above 1, the top
// tick the first one above the largest count.
TEST(HistogramChart, CountAxisFromZeroWithWholeTicks) {
  for (int most = 1; most <= 150; ++most) {
    SCOPED_TRACE(most);
    HistogramStore s;
    const DataVector* x = s.add("X", {0.5, 1.5, 2.5}, nullptr, ANALYSIS_OTHER, DATA_CLASS_DERIVED);
    const DataVector* count =
        s.add(kHistogramCountName, {0, static_cast<double>(most), 1}, x, ANALYSIS_OTHER, DATA_CLASS_DERIVED);
    Graph g;
    g.analysis = ANALYSIS_OTHER;
    g.cls = DATA_CLASS_DERIVED;
    g.chart = CHART_HISTOGRAM;
    Histogram h;
    h.low = 0;
    h.high = 3;
    h.bin = 1;
    h.bins = 3;
    g.histogram = h;
    ASSERT_TRUE(add_trace(g, *count, nullptr, 0, s.notify));
    ASSERT_TRUE(graph_update_axes(g, s.store, s.notify));
    const AxisScale& a = g.plot[0].y_axis;
    EXPECT_EQ(a.low, 0);
    ASSERT_GT(a.spacing, 0);
    if (a.spacing > 1) {
      EXPECT_EQ(a.spacing, std::floor(a.spacing));
    }
    EXPECT_GT(a.high, most);
    EXPECT_LE(a.high - a.spacing, most + 1e-9);
    EXPECT_NEAR(a.high / a.spacing, std::round(a.high / a.spacing), 1e-9);
    EXPECT_NEAR(a.divisions * a.spacing, a.high, 1e-9);
    if (most == 11) {
      // 2.5 from the automatic limits, cut to 2.
      EXPECT_EQ(a.spacing, 2);
      EXPECT_EQ(a.high, 12);
    }
    EXPECT_LE(g.x_axis.low, 0);
    EXPECT_GE(g.x_axis.high, 3);
  }

  // The same on a real histogram.
  HistogramStore s;
  Graph g;
  ASSERT_EQ(histogram_show(g, s.store, *s.measured("TRISE", one_to(100)), s.notify), 1);
  ASSERT_TRUE(graph_update_axes(g, s.store, s.notify));
  const std::vector<double> counts = s.values(g.traces[0]->y);
  const double most = *std::max_element(counts.begin(), counts.end());
  const AxisScale& a = g.plot[0].y_axis;
  EXPECT_EQ(a.low, 0);
  EXPECT_GT(a.high, most);
  EXPECT_LE(a.high - a.spacing, most + 1e-9);
  EXPECT_LE(g.x_axis.low, g.histogram->low);
  EXPECT_GE(g.x_axis.high, g.histogram->high);
}

TEST(HistogramAutoplot, TheWordHistogramShowsTheFirstVariable) {
  HistogramStore s;
  s.measured("TRISE", one_to(50));
  s.measured("TFALL", one_to(50));
  AutoplotRequest r;
  ASSERT_EQ(parse_autoplot(r, "#AUTOPLOT HISTOGRAM TRISE TFALL", s.notify), 1);
  EXPECT_EQ(r.chart, CHART_HISTOGRAM);
  Graph g;
  g.analysis = choose_analysis(s.store, r);
  EXPECT_EQ(g.analysis, ANALYSIS_OTHER);  // the transient data is there, yet not shown
  ASSERT_EQ(autoplot_setup(g, s.store, r, s.notify), 1) << s.notify.last();
  EXPECT_EQ(g.chart, CHART_HISTOGRAM);
  ASSERT_TRUE(g.histogram);
  EXPECT_EQ(g.histogram->source, "TRISE");
  EXPECT_EQ(g.histogram->samples, 50);
  ASSERT_EQ(g.traces.size(), 1u);
  EXPECT_EQ(g.traces[0]->y->name, "COUNT");
  EXPECT_EQ(g.traces[0]->y->x->name, "TRISE");
  EXPECT_EQ(total(s.values(g.traces[0]->y)), 50);

  // Nothing to count: nothing shown.
  HistogramStore empty;
  empty.measured("TFAIL", std::vector<double>(10, kNaN));
  AutoplotRequest failed;
  parse_autoplot(failed, "#AUTOPLOT HISTOGRAM TFAIL", empty.notify);
  Graph none;
  none.analysis = choose_analysis(empty.store, failed);
  EXPECT_EQ(autoplot_setup(none, empty.store, failed, empty.notify), 0);
  EXPECT_TRUE(none.traces.empty());
}

}  // namespace
}  // namespace zephyrim
