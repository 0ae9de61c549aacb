// The plot model: the trace table, trace selection in its steps, and the
// autoplot set-up from #AUTOPLOT requests or the printed tables.
#include "viewer/plot/plot_model.h"

#include <gtest/gtest.h>

#include "viewer/calc/autoplot.h"
#include "viewer/calc/calc_fixture.h"
#include "viewer/plot/autoplot_setup.h"
#include "viewer/plot/trace_selection.h"

namespace zephyrim {
namespace {

// Two transient runs in the binary class, a printed table in the text class,
// and one AC run of a complex vector.
struct PlotStore : CalcStore {
  PlotStore() {
    for (int run = 0; run < 2; ++run) {
      const DataVector* t = add("TIME", {0, 1, 2}, nullptr);
      add("V(1)", {0, 1.0 + run, 0}, t);
      add("V(2)", {1, 1, 1.0 + run}, t);
    }
    const DataVector* pt = add("TIME", {0, 1}, nullptr, ANALYSIS_TRAN, DATA_CLASS_TEXT);
    add("V(9)", {5, 6}, pt, ANALYSIS_TRAN, DATA_CLASS_TEXT);
    add("I(R1)", {7, 8}, pt, ANALYSIS_TRAN, DATA_CLASS_TEXT);
    const DataVector* f = add("FREQUENCY", {1, 10}, nullptr, ANALYSIS_AC);
    add("V(OUT)", {1, 0, 0.5, 0}, f, ANALYSIS_AC, DATA_CLASS_BINARY, 1);
  }
  AutoplotRequest request(const std::string& statement) {
    AutoplotRequest r;
    parse_autoplot(r, statement, notify);
    return r;
  }
};

std::vector<std::string> names(const Graph& g) {
  std::vector<std::string> out;
  for (const auto& t : g.traces) out.push_back(t->name + "@" + std::to_string(t->y->run));
  return out;
}

TEST(TraceTable, GrowsInHundredsAndRefusesAboveItsLimit) {
  RecordingNotify notify;
  Graph g;
  EXPECT_TRUE(grow_trace_table(g, 1, notify));
  EXPECT_EQ(g.capacity, 100u);
  EXPECT_TRUE(grow_trace_table(g, 100, notify));
  EXPECT_EQ(g.capacity, 100u);
  EXPECT_TRUE(grow_trace_table(g, 101, notify));
  EXPECT_EQ(g.capacity, 200u);
  g.max_selected = 150;
  EXPECT_FALSE(grow_trace_table(g, 151, notify));
  EXPECT_EQ(notify.last(), "Number of selected variables exceed limit of 150");
  EXPECT_EQ(axis_list_name(0), "X bottom");
  EXPECT_EQ(axis_list_name(8), "Y plot 8");
  EXPECT_EQ(move_list_name(3), "Plot 3");
}

TEST(TraceSelection, NamesGiveOneTracePerRunAndFormsOfComplexVectors) {
  PlotStore s;
  Graph g;
  g.analysis = ANALYSIS_TRAN;
  g.cls = DATA_CLASS_BINARY;
  std::vector<TraceRequest> r = {{.name = "v(1)"}, {.name = "V(2)", .run = 2, .plot = 1}};
  EXPECT_EQ(select_traces(g, s.store, r, s.notify), 3);
  EXPECT_EQ(names(g), (std::vector<std::string>{"V(1)@1", "V(1)@2", "V(2)@2"}));
  EXPECT_EQ(g.traces[2]->plot, 1);
  EXPECT_NE(g.traces[0]->options.colour, g.traces[1]->options.colour);

  Graph ac;
  ac.analysis = ANALYSIS_AC;
  ac.cls = DATA_CLASS_BINARY;
  std::vector<TraceRequest> forms = {{.name = "VDB(OUT)"}, {.name = "V(OUT)"}};
  EXPECT_EQ(select_traces(ac, s.store, forms, s.notify), 2);
  EXPECT_EQ(ac.traces[0]->name, "VDB(OUT)");
  EXPECT_NEAR(s.values(ac.traces[0]->y)[1], -6.0206, 1e-4);
  EXPECT_EQ(s.values(ac.traces[1]->y), (std::vector<double>{1, 0.5}));  // a bare name shows the magnitude
}

TEST(TraceSelection, DifferentialVoltagesExpressionsAndTheXVariable) {
  PlotStore s;
  Graph g;
  g.analysis = ANALYSIS_TRAN;
  g.cls = DATA_CLASS_BINARY;
  g.x_variable = {"V(2)", false};
  std::vector<TraceRequest> r = {{.name = "V(1,2)"}, {.expression = std::string("V(1)*2")}};
  EXPECT_EQ(select_traces(g, s.store, r, s.notify), 4) << s.notify.last();
  EXPECT_EQ(g.traces[0]->name, "V(1,2)");
  EXPECT_EQ(s.values(g.traces[1]->y), (std::vector<double>{-1, 1, -2}));  // run 2: V(1)-V(2)
  EXPECT_EQ(g.traces[0]->x->name, "V(2)");
  EXPECT_EQ(g.traces[1]->x->run, 2);
  EXPECT_EQ(s.values(g.traces[3]->y), (std::vector<double>{0, 4, 0}));
}

TEST(TraceSelection, NamesOnlyPrintedSwitchToTheTextClass) {
  PlotStore s;
  Graph g;
  g.analysis = ANALYSIS_TRAN;
  g.cls = DATA_CLASS_BINARY;
  std::vector<TraceRequest> r = {{.name = "V(9)"}};
  EXPECT_EQ(select_traces(g, s.store, r, s.notify), 1);
  EXPECT_EQ(g.cls, DATA_CLASS_TEXT);
  EXPECT_EQ(g.analysis, ANALYSIS_OTHER);
}

TEST(AutoplotSetup, WithoutRequestEveryPrintedVectorOfRunOne) {
  PlotStore s;
  Graph g;
  AutoplotRequest none;
  g.analysis = choose_analysis(s.store, none);
  EXPECT_EQ(g.analysis, ANALYSIS_TRAN);
  EXPECT_EQ(autoplot_setup(g, s.store, none, s.notify), 2);
  EXPECT_EQ(g.cls, DATA_CLASS_TEXT);
  EXPECT_EQ(names(g), (std::vector<std::string>{"V(9)@1", "I(R1)@1"}));
}

TEST(AutoplotSetup, RequestPlotsAxesAndTheTextClassFallback) {
  PlotStore s;
  AutoplotRequest r = s.request("#AUTOPLOT TRAN 2 V(1) YLOG XAXIS=(0,2) YLABEL=\"Volts\"");
  Graph g;
  g.analysis = choose_analysis(s.store, r);
  ASSERT_EQ(autoplot_setup(g, s.store, r, s.notify), 2) << s.notify.last();
  EXPECT_EQ(g.plots, 2);
  EXPECT_EQ(g.traces[0]->plot, 1);
  EXPECT_TRUE(g.plot[1].log);
  EXPECT_TRUE(g.x_limits.manual);
  EXPECT_EQ(g.plot[1].y_label, "Volts");

  // X options hold for their statement's analysis: a log frequency axis leaves time linear.
  AutoplotRequest mixed = s.request("#AUTOPLOT TRAN V(1)");
  parse_autoplot(mixed, "#AUTOPLOT AC XLOG XAXIS=(1,100) VDB(OUT)", s.notify);
  Graph t;
  t.analysis = choose_analysis(s.store, mixed);
  EXPECT_EQ(t.analysis, ANALYSIS_TRAN);
  ASSERT_EQ(autoplot_setup(t, s.store, mixed, s.notify), 2);
  EXPECT_FALSE(t.x_log);
  EXPECT_FALSE(t.x_limits.manual);
  Graph f;
  f.analysis = ANALYSIS_AC;
  ASSERT_EQ(autoplot_setup(f, s.store, mixed, s.notify), 1);
  EXPECT_TRUE(f.x_log);
  EXPECT_TRUE(f.x_limits.manual);

  // Named only in the printed tables: selected from there after the binary class gave none.
  AutoplotRequest printed = s.request("#AUTOPLOT TRAN V(9) I(R1)");
  Graph p;
  p.analysis = ANALYSIS_TRAN;
  EXPECT_EQ(autoplot_setup(p, s.store, printed, s.notify), 2);
  EXPECT_EQ(p.cls, DATA_CLASS_TEXT);

  AutoplotRequest missing = s.request("#AUTOPLOT TRAN V(77)");
  Graph m;
  m.analysis = ANALYSIS_TRAN;
  EXPECT_EQ(autoplot_setup(m, s.store, missing, s.notify), 0);
  EXPECT_EQ(s.notify.last(), "Selected autoplot analysis/data not available");
}

TEST(AutoplotSetup, HistogramShowsOtherDataAndUnnamedExpressionsTakeTheirName) {
  PlotStore s;
  s.add("W1", {1, 2, 3}, s.add("RUN#", {0, 1, 2}, nullptr, ANALYSIS_OTHER, DATA_CLASS_TEXT), ANALYSIS_OTHER,
        DATA_CLASS_TEXT);
  AutoplotRequest h = s.request("#AUTOPLOT HISTOGRAM W1");
  Graph g;
  g.analysis = choose_analysis(s.store, h);
  EXPECT_EQ(autoplot_setup(g, s.store, h, s.notify), 1) << s.notify.last();
  EXPECT_EQ(g.analysis, ANALYSIS_OTHER);
  EXPECT_EQ(g.chart, CHART_HISTOGRAM);

  AutoplotRequest e = s.request("#AUTOPLOT TRAN {V(2)-V(1)}");
  Graph x;
  x.analysis = ANALYSIS_TRAN;
  EXPECT_EQ(autoplot_setup(x, s.store, e, s.notify), 2);
  EXPECT_EQ(e.traces[0].name, x.traces[0]->name);
  EXPECT_FALSE(e.traces[0].name.empty());
}

TEST(AutoplotSetup, NothingToShowSaysWhy) {
  CalcStore s;
  const DataVector* t = s.add("TIME", {0, 1}, nullptr);
  s.add("V(1)", {0, 1}, t);
  AutoplotRequest none;
  Graph g;
  g.analysis = ANALYSIS_TRAN;
  EXPECT_EQ(autoplot_setup(g, s.store, none, s.notify), 0);
  EXPECT_EQ(s.notify.last(), "No auto plot data available - use Probe option");
  g.analysis = ANALYSIS_DC;
  EXPECT_EQ(autoplot_setup(g, s.store, none, s.notify), 0);
  EXPECT_EQ(s.notify.last(), "No data available");
}

TEST(TraceLogCheck, RefusesTracesALogAxisCannotShow) {
  CalcStore s;
  const DataVector* t = s.add("TIME", {-1, 0}, nullptr);
  const DataVector* v = s.add("V(1)", {0, 0}, t);
  SelectedTrace trace{.y = v, .x = t};
  EXPECT_FALSE(trace_log_check(s.store, trace, true, false, s.notify));
  EXPECT_EQ(s.notify.last(), "X data out of range, cannot display on log scale");
  EXPECT_FALSE(trace_log_check(s.store, trace, false, true, s.notify));
  EXPECT_EQ(s.notify.last(), "Data out of range, cannot display on log scale");
  EXPECT_TRUE(trace_log_check(s.store, trace, false, false, s.notify));
}

}  // namespace
}  // namespace zephyrim
