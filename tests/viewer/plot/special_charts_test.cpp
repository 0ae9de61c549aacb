// The Smith chart, the polar chart and the eye display: the conversion of the
// traces, the grid's circles, the cursor read-out on a Smith chart, undoing a
// transform, and two runs of ngspice checked on the vectors the charts make.
#include "viewer/plot/special_charts.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <complex>
#include <filesystem>

#include "common/file_io.h"
#include "platform/process.h"
#include "viewer/calc/calc_fixture.h"
#include "viewer/data/raw_file.h"
#include "viewer/plot/cursors.h"
#include "viewer/plot/format_file.h"
#include "viewer/plot/graph_axes.h"
#include "viewer/plot/trace_selection.h"

namespace zephyrim {
namespace {

namespace fs = std::filesystem;

constexpr double kDegree = M_PI / 180;

// A scratch folder of the test's own, removed at the end.
struct ScratchFolder {
  fs::path dir;
  explicit ScratchFolder(const std::string& test) {
    dir = fs::temp_directory_path() / ("zephyrim_" + test + "_" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  ~ScratchFolder() { fs::remove_all(dir); }
  std::string path(const std::string& name) const { return (dir / name).string(); }
};

std::vector<double> values_of(DataStore& store, const DataVector* v) {
  const auto s = store.values(*v);
  return {s.begin(), s.end()};
}

// AC data of three frequencies: V(2) as dB and phase, its angle VA(2), a
// complex V(3), an impedance ZM(L)/ZP(L), a complex quantity with a long name
// and X1 as real and imaginary parts.
struct AcStore : CalcStore {
  const DataVector* freq;
  std::vector<double> db = {0, -6, -20}, phase = {0, -45, -270}, magnitude = {50, 100, 25},
                      z_phase = {0, 90, -63.43494882292201};
  AcStore() {
    freq = add("FREQ", {1e3, 1e4, 1e5}, nullptr, ANALYSIS_AC);
    add("VDB(2)", db, freq, ANALYSIS_AC);
    add("VP(2)", phase, freq, ANALYSIS_AC);
    add("VA(2)", {0, 1, 2}, freq, ANALYSIS_AC);
    add("V(3)", {0.5, 0.25, -0.1, 0.2, 0, -0.3}, freq, ANALYSIS_AC, DATA_CLASS_BINARY, 1);
    add("ZM(L)", magnitude, freq, ANALYSIS_AC);
    add("ZP(L)", z_phase, freq, ANALYSIS_AC);
    add("V(A_VERY_LONG_NODE)", {0.1, 0, 0.2, 0, 0.3, 0}, freq, ANALYSIS_AC, DATA_CLASS_BINARY, 1);
    add("R[X1]", {0.1, 0.2, 0.3}, freq, ANALYSIS_AC);
    add("I[X1]", {-0.1, -0.2, -0.3}, freq, ANALYSIS_AC);
  }
  Graph graph(const std::vector<std::string>& names) {
    Graph g;
    g.analysis = ANALYSIS_AC;
    g.cls = DATA_CLASS_BINARY;
    for (const std::string& n : names) {
      const DataVector* v = store.find_vector(n, DATA_CLASS_BINARY, ANALYSIS_AC, -1, -1);
      EXPECT_TRUE(v) << n;
      if (v) add_trace(g, *v, v->x ? v->x : freq, 0, notify);
    }
    return g;
  }
};

// ---- Smith chart geometry ------------------------------------------------------

TEST(SmithGeometry, ReflectionAndImpedanceAreInverse) {
  const auto g = smith_reflection(25, -50, 50);
  EXPECT_NEAR(g.real(), 1.0 / 13, 1e-15);
  EXPECT_NEAR(g.imag(), -8.0 / 13, 1e-15);
  const auto z = smith_impedance(g.real(), g.imag(), 50);
  EXPECT_NEAR(z.real(), 25, 1e-12);
  EXPECT_NEAR(z.imag(), -50, 1e-12);
  // A matched load is the centre, a short the left end, an open circuit infinite.
  EXPECT_EQ(smith_reflection(50, 0, 50), std::complex<double>(0, 0));
  EXPECT_EQ(smith_reflection(0, 0, 50), std::complex<double>(-1, 0));
  EXPECT_TRUE(std::isinf(smith_reflection(-50, 0, 50).real()));
  EXPECT_TRUE(std::isinf(smith_impedance(1, 0, 50).real()));
}

TEST(SmithGeometry, EveryImpedanceLiesOnItsResistanceAndReactanceCircles) {
  for (double r : {0.0, 0.2, 1.0, 3.0, 50.0})
    for (double x : {-5.0, -1.0, -0.3, 0.4, 1.0, 10.0}) {
      const auto g = smith_reflection(r, x, 1);
      const SmithCircle rc = smith_resistance_circle(r);
      EXPECT_NEAR(std::hypot(g.real() - rc.centre_x, g.imag() - rc.centre_y), rc.radius, 1e-12)
          << "r=" << r << " x=" << x;
      const SmithCircle xc = smith_reactance_circle(x);
      EXPECT_NEAR(std::hypot(g.real() - xc.centre_x, g.imag() - xc.centre_y), xc.radius, 1e-12)
          << "r=" << r << " x=" << x;
    }
  const SmithCircle unit = smith_resistance_circle(0);
  EXPECT_EQ(unit.centre_x, 0);
  EXPECT_EQ(unit.radius, 1);
  // x = 0 is the real axis: no circle.
  EXPECT_TRUE(std::isinf(smith_reactance_circle(0).radius));
}

TEST(SmithGeometry, ImpedancesAreToldByNameOrByVoltageOverCurrent) {
  EXPECT_TRUE(smith_is_impedance("ZLOAD", ""));
  EXPECT_TRUE(smith_is_impedance("zin", ""));
  EXPECT_TRUE(smith_is_impedance("ZDB(1)", ""));
  EXPECT_TRUE(smith_is_impedance("DB[ZIN]", ""));
  EXPECT_TRUE(smith_is_impedance("{V(A)/I(VX)}", "V(A)/I(VX)"));
  EXPECT_TRUE(smith_is_impedance("X", "ZIN = V(1) / I(V1)"));
  EXPECT_TRUE(smith_is_impedance("X", "Q=V(1,2)/I(R1)"));
  EXPECT_FALSE(smith_is_impedance("VDB(2)", ""));
  EXPECT_FALSE(smith_is_impedance("S11", ""));
  EXPECT_FALSE(smith_is_impedance("{V(2)/V(1)}", "V(2)/V(1)"));
  EXPECT_FALSE(smith_is_impedance("X", "V(1)/I(V1)*2"));
  EXPECT_FALSE(smith_is_impedance("X", "(V(1)-V(2))/I(V1)"));
  EXPECT_FALSE(smith_is_impedance("X", "V(1)/I(V1)/I(V2)"));
}

// ---- Smith chart ----------------------------------------------------------

TEST(SmithChart, PartsArePairedSplitAndStoredAsRealAndImaginary) {
  AcStore s;
  Graph g = s.graph({"VDB(2)", "VA(2)", "V(3)", "V(A_VERY_LONG_NODE)", "I[X1]"});
  EXPECT_EQ(smith_chart_show(g, s.store, s.notify), 4);
  // VA(2) has no partner part: left out with the message, the others shown.
  EXPECT_EQ(s.notify.texts(), (std::vector<std::string>{"VA(2) not a valid Smith chart variable"}));
  EXPECT_EQ(g.chart, CHART_SMITH);
  EXPECT_EQ(g.plots, 1);
  ASSERT_EQ(g.traces.size(), 4u);

  // VDB(2) with VP(2): 10^(dB/20) at the phase, in degrees.
  const SelectedTrace& t = *g.traces[0];
  EXPECT_EQ(t.y->name, "I[VDB(2)]");
  EXPECT_EQ(t.x->name, "R[VDB(2)]");
  EXPECT_EQ(t.third, s.freq);
  EXPECT_EQ(t.name, "VDB(2)");
  for (const DataVector* v : {t.x, t.y}) {
    EXPECT_EQ(v->data_class, DATA_CLASS_DERIVED);
    EXPECT_EQ(v->kind, ANALYSIS_AC);
  }
  const auto re = values_of(s.store, t.x), im = values_of(s.store, t.y);
  for (size_t i = 0; i < 3; ++i) {
    const double m = std::pow(10.0, s.db[i] / 20);
    EXPECT_NEAR(re[i], m * std::cos(s.phase[i] * kDegree), 1e-14) << i;
    EXPECT_NEAR(im[i], m * std::sin(s.phase[i] * kDegree), 1e-14) << i;
  }
  // -270 degrees is +j: the phase is taken as it is, unwrapped.
  EXPECT_NEAR(im[2], 0.1, 1e-14);

  // A complex vector is split as it is.
  EXPECT_EQ(values_of(s.store, g.traces[1]->x), (std::vector<double>{0.5, -0.1, 0}));
  EXPECT_EQ(values_of(s.store, g.traces[1]->y), (std::vector<double>{0.25, 0.2, -0.3}));

  // The name is cut so that the whole name has 19 characters.
  EXPECT_EQ(g.traces[2]->y->name, "I[V(A_VERY_LONG_NO]");
  EXPECT_EQ(g.traces[2]->x->name, "R[V(A_VERY_LONG_NO]");
  EXPECT_EQ(g.traces[2]->y->name.size(), 19u);
  EXPECT_EQ(values_of(s.store, g.traces[2]->x), (std::vector<double>{0.1, 0.2, 0.3}));
  // An imaginary part with its real part.
  EXPECT_EQ(g.traces[3]->y->name, "I[I[X1]]");
  EXPECT_EQ(values_of(s.store, g.traces[3]->x), (std::vector<double>{0.1, 0.2, 0.3}));
  EXPECT_EQ(values_of(s.store, g.traces[3]->y), (std::vector<double>{-0.1, -0.2, -0.3}));

  // Fixed axes, symbols in turn.
  const AxisLimits fixed{.manual = true, .min = -1, .max = 1, .spacing = 0.5, .ticks = 4};
  EXPECT_EQ(g.x_limits, fixed);
  EXPECT_EQ(g.plot[0].limits, fixed);
  ASSERT_TRUE(graph_update_axes(g, s.store, s.notify));
  for (const AxisScale* a : {&g.x_axis, &g.plot[0].y_axis}) {
    EXPECT_EQ(a->low, -1);
    EXPECT_EQ(a->high, 1);
    EXPECT_EQ(a->spacing, 0.5);
    EXPECT_EQ(a->divisions, 4);
  }
  EXPECT_NE(g.traces[0]->options.symbol, 0);
  EXPECT_NE(g.traces[0]->options.symbol, g.traces[1]->options.symbol);
}

TEST(SmithChart, ImpedancesAreShownAsReflectionOnTheGraphsReference) {
  AcStore s;
  Graph g = s.graph({"ZM(L)", "VP(2)"});
  g.smith_z0 = 50;
  // VP(2) pairs with a magnitude VM(2), which is not there, nor a complex V(2).
  ASSERT_EQ(smith_chart_show(g, s.store, s.notify), 1);
  EXPECT_EQ(s.notify.texts(), (std::vector<std::string>{"VP(2) not a valid Smith chart variable"}));
  const auto re = values_of(s.store, g.traces[0]->x), im = values_of(s.store, g.traces[0]->y);
  // 50 ohms: the centre; j100 ohms: on the rim; 25 ohms at -63.4 degrees: back to it exactly.
  EXPECT_NEAR(re[0], 0, 1e-15);
  EXPECT_NEAR(im[0], 0, 1e-15);
  EXPECT_NEAR(std::hypot(re[1], im[1]), 1, 1e-12);
  const auto z = smith_impedance(re[2], im[2], 50);
  EXPECT_NEAR(z.real(), 25 * std::cos(s.z_phase[2] * kDegree), 1e-9);
  EXPECT_NEAR(z.imag(), 25 * std::sin(s.z_phase[2] * kDegree), 1e-9);
  // Another reference moves the matched point.
  Graph h = s.graph({"ZM(L)"});
  h.smith_z0 = 25;
  ASSERT_EQ(smith_chart_show(h, s.store, s.notify), 1);
  EXPECT_NEAR(values_of(s.store, h.traces[0]->x)[0], 1.0 / 3, 1e-15);
}

TEST(SmithChart, AFormWithoutItsPartnerFallsBackOnItsComplexVector) {
  AcStore s;
  // VM(3) stands for the magnitude of the complex V(3); no VP(3) was derived.
  s.add("VM(3)", {1, 1, 1}, s.freq, ANALYSIS_AC);
  Graph g = s.graph({"VM(3)"});
  ASSERT_EQ(smith_chart_show(g, s.store, s.notify), 1);
  EXPECT_EQ(values_of(s.store, g.traces[0]->x), (std::vector<double>{0.5, -0.1, 0}));
  // Nothing convertible at all: the graph stays as it was.
  Graph refused = s.graph({"VA(2)", "FREQ"});
  EXPECT_EQ(smith_chart_show(refused, s.store, s.notify), 0);
  EXPECT_EQ(s.notify.last(), "FREQ not a valid Smith chart variable");
  EXPECT_EQ(refused.chart, CHART_NORMAL);
  EXPECT_EQ(refused.traces[0]->y->name, "VA(2)");
}

// ---- Polar chart -----------------------------------------------------------

TEST(PolarChart, ShowsTheValueItselfOnEqualSymmetricAxes) {
  AcStore s;
  Graph g = s.graph({"ZM(L)", "V(3)"});
  ASSERT_EQ(polar_chart_show(g, s.store, s.notify), 2);
  EXPECT_EQ(g.chart, CHART_POLAR);
  // No reflection transform, even for an impedance.
  const auto re = values_of(s.store, g.traces[0]->x), im = values_of(s.store, g.traces[0]->y);
  EXPECT_NEAR(re[0], 50, 1e-12);
  EXPECT_NEAR(im[1], 100, 1e-12);
  // Both axes alike, around 0, past the largest part (100).
  EXPECT_EQ(g.x_limits, g.plot[0].limits);
  EXPECT_TRUE(g.x_limits.manual);
  EXPECT_EQ(g.x_limits.min, -g.x_limits.max);
  EXPECT_GE(g.x_limits.max, 100);
  EXPECT_LT(g.x_limits.max, 150);
  const double ticks = (g.x_limits.max - g.x_limits.min) / g.x_limits.spacing;
  EXPECT_NEAR(ticks, std::round(ticks), 1e-9);
  EXPECT_EQ(g.x_limits.ticks, static_cast<int>(std::round(ticks)));
}

TEST(PolarChart, TheChartTypeSurvivesAFormatSaveAndRecall) {
  AcStore s;
  ScratchFolder dir("polar_format");
  Graph g = s.graph({"VDB(2)"});
  g.chart = CHART_POLAR;
  ASSERT_EQ(format_save(g, dir.path("ac.F01"), "polar", "ac.raw", s.notify), 1);
  Graph back;
  back.analysis = ANALYSIS_AC;
  ASSERT_EQ(format_load(back, s.store, dir.path("ac.F01"), s.notify), 1) << s.notify.last();
  EXPECT_EQ(back.chart, CHART_POLAR);
}

// ---- Undo Transform ----------------------------------------------------------

TEST(TransformUndo, GivesThePreviousGraphBackAndRemovesWhatWasStored) {
  AcStore s;
  Graph g = s.graph({"VDB(2)", "V(3)"});
  const int before = s.store.total_vectors();
  TransformDisplay undo;
  ASSERT_EQ(smith_chart_show(g, s.store, s.notify, &undo), 2);
  EXPECT_EQ(s.store.total_vectors(), before + 4);
  // Shown again: from the graph before the first, not a chart of the chart.
  ASSERT_EQ(smith_chart_show(g, s.store, s.notify, &undo), 2);
  EXPECT_EQ(undo.steps.size(), 1u);
  EXPECT_EQ(s.store.total_vectors(), before + 4);
  // A polar chart stacks on the Smith chart: its traces are the R/I parts.
  ASSERT_EQ(polar_chart_show(g, s.store, s.notify, &undo), 2);
  EXPECT_EQ(undo.steps.size(), 2u);
  EXPECT_EQ(g.traces[0]->name, "VDB(2)");

  EXPECT_TRUE(transform_undo(g, s.store, undo));
  EXPECT_EQ(g.chart, CHART_SMITH);
  EXPECT_TRUE(transform_undo(g, s.store, undo));
  EXPECT_EQ(g.chart, CHART_NORMAL);
  EXPECT_EQ(g.traces[0]->y->name, "VDB(2)");
  EXPECT_EQ(g.traces[1]->y->name, "V(3)");
  EXPECT_EQ(s.store.total_vectors(), before);
  EXPECT_FALSE(transform_undo(g, s.store, undo));
  EXPECT_TRUE(s.notify.entries().empty()) << s.notify.last();
}

// ---- Eye display ---------------------------------------------------------------

TEST(EyeDisplay, FoldsIntoOnePeriodWithTheWindowOutside) {
  const EyeOptions o{.period = 1e-9, .delay = 0, .t_low = 0, .t_high = 1e-8};
  const std::vector<double> t = {1.25e-9, 2.25e-9, 0.4e-9, 0.6e-9, 0, 1.1e-8, -1e-12};
  const auto x = eye_fold(t, o);
  EXPECT_NEAR(x[0], 0.25e-9, 1e-21);
  EXPECT_NEAR(x[1], 0.25e-9, 1e-21);
  EXPECT_NEAR(x[2], 0.4e-9, 1e-21);
  EXPECT_NEAR(x[3], -0.4e-9, 1e-21);
  EXPECT_NEAR(x[4], 0, 1e-21);
  EXPECT_EQ(x[5], 1e28);
  EXPECT_EQ(x[6], -1e28);
  // With a delay the period starts at -(d + P/2); seams belong to the start.
  const EyeOptions d{.period = 1, .delay = 0.25, .t_low = -10, .t_high = 10};
  for (double v : eye_fold(std::vector<double>{-0.75, 0.25, 1.25, 0.2499, -0.7499, 3.1}, d)) {
    EXPECT_GE(v, -0.75);
    EXPECT_LT(v, 0.25);
  }
  EXPECT_NEAR(eye_fold(std::vector<double>{3.1}, d)[0], 0.1, 1e-12);
  EXPECT_NEAR(eye_fold(std::vector<double>{1.25}, d)[0], -0.75, 1e-12);
}

TEST(EyeDisplay, OptionsAndDataAreRefusedWithTheirMessages) {
  RecordingNotify n;
  EXPECT_FALSE(eye_options_check({.period = 0, .t_low = 0, .t_high = 1}, n));
  EXPECT_EQ(n.last(), "Invalid period - must be greater than 0");
  EXPECT_FALSE(eye_options_check({.period = 1, .t_low = 1, .t_high = 1}, n));
  EXPECT_EQ(n.last(), "Invalid eye plot data range specified");
  EXPECT_TRUE(eye_options_check({.period = 1, .t_low = 0, .t_high = 1}, n));

  CalcStore s;
  const DataVector* t = s.add("TIME", {0, 1e-9, 2e-9}, nullptr);
  const DataVector* v = s.add("V(1)", {0, 1, 0}, t);
  Graph g;
  g.analysis = ANALYSIS_AC;
  g.cls = DATA_CLASS_BINARY;
  add_trace(g, *v, nullptr, 0, s.notify);
  const EyeOptions o{.period = 1e-9, .delay = 0, .t_low = 0, .t_high = 2e-9};
  EXPECT_EQ(eye_display_show(g, s.store, o, s.notify), 0);
  EXPECT_EQ(s.notify.last(), "TRANSIENT analysis data needed for eye display");
  g.analysis = ANALYSIS_TRAN;
  EXPECT_EQ(eye_display_show(g, s.store, {.period = 1e-9, .t_low = 5e-9, .t_high = 6e-9}, s.notify), 0);
  EXPECT_EQ(s.notify.last(), "No data in eye plot");
  EXPECT_EQ(eye_display_show(g, s.store, {.period = -1, .t_low = 0, .t_high = 1}, s.notify), 0);
  EXPECT_EQ(s.notify.last(), "Invalid period - must be greater than 0");
  EXPECT_EQ(g.traces[0]->x, t);
}

TEST(EyeDisplay, TheFoldedTimeIsTeyeForEveryTraceWithItsAxisAndReadout) {
  CalcStore s;
  const DataVector* t = s.add("TIME", {0, 0.5e-6, 1e-6, 1.25e-6, 2e-6, 3e-6}, nullptr);
  const DataVector* a = s.add("V(A)", {0, 1, 2, 3, 4, 5}, t);
  const DataVector* b = s.add("V(B)", {5, 4, 3, 2, 1, 0}, t);
  Graph g;
  g.analysis = ANALYSIS_TRAN;
  g.cls = DATA_CLASS_BINARY;
  add_trace(g, *a, nullptr, 0, s.notify);
  add_trace(g, *b, nullptr, 1, s.notify);
  g.traces[1]->options.colour = 7;
  TransformDisplay undo;
  const EyeOptions o{.period = 1e-6, .delay = 0, .t_low = 0.2e-6, .t_high = 2.5e-6};
  ASSERT_EQ(eye_display_show(g, s.store, o, s.notify, &undo), 2);
  const DataVector* teye = g.traces[0]->x;
  EXPECT_EQ(teye->name, "TEYE");
  EXPECT_EQ(teye->data_class, DATA_CLASS_TEXT);
  EXPECT_EQ(teye->kind, ANALYSIS_TRAN);
  EXPECT_EQ(g.traces[1]->x, teye);
  EXPECT_EQ(g.traces[1]->options.colour, 7);
  EXPECT_EQ(g.plots, 2);
  const auto x = values_of(s.store, teye);
  ASSERT_EQ(x.size(), 6u);
  EXPECT_EQ(x[0], -1e28);
  EXPECT_EQ(x[5], 1e28);
  EXPECT_NEAR(x[1], -0.5e-6, 1e-18);
  EXPECT_NEAR(x[2], 0, 1e-18);
  EXPECT_NEAR(x[3], 0.25e-6, 1e-18);
  EXPECT_NEAR(x[4], 0, 1e-18);
  EXPECT_EQ(g.x_label, "TIME EYE SWEEP");
  EXPECT_TRUE(g.x_limits.manual);
  EXPECT_NEAR(g.x_limits.min, -0.5e-6, 1e-18);
  EXPECT_NEAR(g.x_limits.max, 0.25e-6, 1e-18);
  EXPECT_EQ(g.chart_readout, (std::vector<std::string>{"Period=1u", "Delay=0"}));
  // The points outside the window stay off the axis.
  ASSERT_TRUE(graph_update_axes(g, s.store, s.notify));
  EXPECT_NEAR(g.x_axis.low, -0.5e-6, 1e-18);
  EXPECT_NEAR(g.x_axis.high, 0.25e-6, 1e-18);

  // Shown again with other options: folded from the time, not from TEYE.
  const EyeOptions later{.period = 1e-6, .delay = 0.25e-6, .t_low = 0, .t_high = 3e-6};
  ASSERT_EQ(eye_display_show(g, s.store, later, s.notify, &undo), 2);
  EXPECT_EQ(undo.steps.size(), 1u);
  EXPECT_NEAR(values_of(s.store, g.traces[0]->x)[3], 0.25e-6 - 1e-6, 1e-18);
  EXPECT_EQ(g.chart_readout[1], "Delay=250n");
  EXPECT_EQ(undo.eye.delay, 0.25e-6);
  ASSERT_TRUE(transform_undo(g, s.store, undo));
  EXPECT_EQ(g.traces[0]->x, t);
  EXPECT_FALSE(s.store.find_vector("TEYE", DATA_CLASS_TEXT, -1, -1, -1));
  EXPECT_TRUE(g.chart_readout.empty());
}

// ---- Cursors on a Smith chart ----------------------------------------------------

TEST(SmithCursor, ReadsImpedanceReflectionAndStandingWaveRatio) {
  const auto g = smith_reflection(25, -50, 50);
  CursorPair c;
  c.cursor[0] = {
      .active = true, .x = 1e6, .y = g.real(), .aux = g.imag(), .x_name = "FREQ", .y_name = "Z(L)"};
  const std::vector<std::string> expected = {
      " Cursor 1 (+):", " FREQ=1E6 ",           " ZR[Z(L)]=25 ",           " ZI[Z(L)]=-50 ",  " z=500m-j1 ",
      " Z0=50 ",        " |GAMMA|=620.17367m ", " ANG(GAMMA)=-82.874984 ", " VWSR=4.2655644 "};
  EXPECT_EQ(cursor_readout(c, {.smith = true, .z0 = 50}), expected);
  // On 25 ohms the same point is half the impedance; the second display names the current.
  auto lines = cursor_readout(c, {.smith = true, .smith_current = true, .z0 = 25});
  EXPECT_EQ(lines[2], " ZR[Z(L)]=12.5 ");
  EXPECT_EQ(lines[3], " I[Z(L)]=-25 ");
  // The rim: an open circuit and a pure reactance have no finite ratio.
  c.cursor[0].y = 1;
  c.cursor[0].aux = 0;
  lines = cursor_readout(c, {.smith = true});
  EXPECT_EQ(lines[2], " ZR[Z(L)]=inf ");
  EXPECT_EQ(lines[4], " z=inf ");
  EXPECT_EQ(lines[8], " VWSR=inf ");
  const auto reactance = smith_reflection(0, 30, 50);
  c.cursor[0].y = reactance.real();
  c.cursor[0].aux = reactance.imag();
  EXPECT_EQ(cursor_readout(c, {.smith = true})[8], " VWSR=inf ");
}

TEST(SmithCursor, MovesAlongTheSweep) {
  const std::vector<double> f = {1, 2, 4}, re = {0, 0.5, 1}, im = {-1, 0, 0.5};
  Cursor c;
  EXPECT_TRUE(cursor_place_smith(c, f, re, im, 3));
  EXPECT_EQ(c.x, 3);
  EXPECT_DOUBLE_EQ(c.y, 0.75);
  EXPECT_DOUBLE_EQ(c.aux, 0.25);
  EXPECT_EQ(c.index, 1u);
  EXPECT_FALSE(cursor_place_smith(c, f, re, im, 5));
  EXPECT_EQ(c.x, 3);
}

// ---- ngspice --------------------------------------------------------------------

// Runs ngspice on a deck in the folder; false when ngspice is not there.
bool run_ngspice(const ScratchFolder& dir, const char* deck, const std::string& raw, std::string& output) {
  EXPECT_TRUE(write_file_atomic(dir.path("deck.cir"), deck));
  const ProcessResult run = process_run({"ngspice", "-b", "deck.cir"}, dir.dir.string(), 120);
  output = run.output;
  if (run.start_error != 0) return false;
  EXPECT_TRUE(file_exists(dir.path(raw))) << run.output;
  return true;
}

TEST(SpecialChartsNgspice, ASeriesRcLoadLandsOnTheCircleOfItsResistance) {
  ScratchFolder dir("smith_rc");
  std::string output;
  const char* deck =
      "series rc load\n"
      "V1 in 0 DC 0 AC 1\n"
      "VS in a DC 0\n"
      "R1 a b 50\n"
      "C1 b 0 1n\n"
      ".control\n"
      "ac dec 20 100k 10g\n"
      "write rc.raw\n"
      ".endc\n"
      ".end\n";
  if (!run_ngspice(dir, deck, "rc.raw", output)) GTEST_SKIP() << "ngspice is not installed";
  CalcStore s;
  ASSERT_GT(raw_read_file(s.store, dir.path("rc.raw"), false), 1) << output;

  // The impedance as a named expression and as a voltage over a current.
  Graph g;
  g.analysis = ANALYSIS_AC;
  g.cls = DATA_CLASS_BINARY;
  std::vector<TraceRequest> r = {{.expression = std::string("ZLOAD=V(IN)/I(VS)")},
                                 {.expression = std::string("V(IN)/I(VS)")}};
  ASSERT_EQ(select_traces(g, s.store, r, s.notify), 2) << s.notify.last();
  ASSERT_EQ(smith_chart_show(g, s.store, s.notify), 2) << s.notify.last();
  const double z0 = g.smith_z0, resistance = 50, capacitance = 1e-9;
  const SmithCircle circle = smith_resistance_circle(resistance / z0);
  for (const auto& t : g.traces) {
    const auto re = values_of(s.store, t->x), im = values_of(s.store, t->y);
    const auto freq = values_of(s.store, t->third);
    ASSERT_EQ(re.size(), freq.size());
    ASSERT_GT(re.size(), 100u);
    double worst = 0;
    for (size_t i = 0; i < re.size(); ++i) {
      worst = std::max(
          worst, std::fabs(std::hypot(re[i] - circle.centre_x, im[i] - circle.centre_y) - circle.radius));
      // And at the capacitor's reactance of the frequency.
      const auto z = smith_impedance(re[i], im[i], z0);
      ASSERT_NEAR(z.imag(), -1 / (2 * M_PI * freq[i] * capacitance), 1e-6 * std::fabs(z.imag())) << i;
    }
    EXPECT_LT(worst, 1e-9) << t->name;
    // From 1.6K ohms of reactance (near the open circuit) to 16 milliohms (the
    // centre), below the axis all the way.
    EXPECT_GT(re.front(), 0.99);
    EXPECT_LT(std::hypot(re.back(), im.back()), 1e-3);
    for (double v : im) EXPECT_LT(v, 0);
  }

  // The cursor at 1 MHz reads the load.
  const SelectedTrace& t = *g.traces[0];
  CursorPair c;
  c.cursor[0].active = true;
  c.cursor[0].x_name = t.third->name;
  c.cursor[0].y_name = t.name;
  ASSERT_TRUE(cursor_place_smith(c.cursor[0], values_of(s.store, t.third), values_of(s.store, t.x),
                                 values_of(s.store, t.y), 1e6));
  const auto lines = cursor_readout(c, {.smith = true, .z0 = z0});
  EXPECT_EQ(lines[2], " ZR[ZLOAD]=50 ");
  // Between the points of the sweep the read-out interpolates the chart's
  // values, not the reactance: within a part in a thousand of -159.15494.
  EXPECT_EQ(lines[3].substr(0, 15), " ZI[ZLOAD]=-159");
}

TEST(SpecialChartsNgspice, AnEyeOfABitTrainFoldsEveryPeriodOntoOne) {
  ScratchFolder dir("eye_bits");
  std::string output;
  // Bits 0 1 0 1 1 0 0 1 of 1 us through an RC of 50 ns, resampled every 10 ns.
  const char* deck =
      "bit train\n"
      "V1 in 0 PWL(0 0 1u 0 1.01u 1 2u 1 2.01u 0 3u 0 3.01u 1 5u 1 5.01u 0 7u 0 7.01u 1 8u 1)\n"
      "R1 in out 1k\n"
      "C1 out 0 50p\n"
      ".control\n"
      "tran 10n 8u\n"
      "linearize\n"
      "write eye.raw\n"
      ".endc\n"
      ".end\n";
  if (!run_ngspice(dir, deck, "eye.raw", output)) GTEST_SKIP() << "ngspice is not installed";
  CalcStore s;
  ASSERT_GT(raw_read_file(s.store, dir.path("eye.raw"), false), 1) << output;
  Graph g;
  g.analysis = ANALYSIS_TRAN;
  g.cls = DATA_CLASS_BINARY;
  std::vector<TraceRequest> r = {{.name = "V(OUT)"}, {.name = "V(IN)"}};
  ASSERT_EQ(select_traces(g, s.store, r, s.notify), 2) << s.notify.last();
  const DataVector* time = g.traces[0]->x;
  const auto t = values_of(s.store, time);
  ASSERT_EQ(t.size(), 801u);

  const double period = 1e-6;
  // The delay keeps the seams off the 10 ns grid of the points.
  const EyeOptions o{.period = period, .delay = 0.123e-6, .t_low = 0.5e-6, .t_high = 7.5e-6};
  ASSERT_EQ(eye_display_show(g, s.store, o, s.notify), 2) << s.notify.last();
  const auto x = values_of(s.store, g.traces[0]->x);
  const auto y = values_of(s.store, g.traces[0]->y);
  ASSERT_EQ(x.size(), t.size());
  size_t inside = 0, pairs = 0;
  for (size_t i = 0; i < t.size(); ++i) {
    if (t[i] < o.t_low) {
      EXPECT_EQ(x[i], -1e28);
      continue;
    }
    if (t[i] > o.t_high) {
      EXPECT_EQ(x[i], 1e28);
      continue;
    }
    ++inside;
    EXPECT_GE(x[i], -(o.delay + period / 2)) << t[i];
    EXPECT_LT(x[i], period / 2 - o.delay) << t[i];
    // The same place in the period, whatever the period.
    const double offset = std::fmod(t[i] + o.delay + period / 2, period) - (o.delay + period / 2);
    EXPECT_NEAR(x[i], offset, 1e-15) << t[i];
    // One period on (100 points of 10 ns) lands on the same X.
    if (i + 100 < t.size() && t[i + 100] <= o.t_high) {
      ASSERT_NEAR(t[i + 100] - t[i], period, 1e-15);
      EXPECT_NEAR(x[i + 100], x[i], 1e-15) << t[i];
      ++pairs;
    }
    // The open eye: half a bit after an edge (folded to 0) every bit has settled to 0 or 1.
    if (std::fabs(x[i] + 0.5e-6) < 0.1e-6) {
      EXPECT_LT(std::min(std::fabs(y[i]), std::fabs(y[i] - 1)), 1e-3) << t[i];
    }
  }
  EXPECT_EQ(inside, 701u);
  EXPECT_EQ(pairs, 601u);
  // The axis over the folded points, within a step of 10 ns of the period's ends.
  EXPECT_GE(g.x_limits.min, -(o.delay + period / 2));
  EXPECT_LT(g.x_limits.min, -(o.delay + period / 2) + 10e-9);
  EXPECT_LT(g.x_limits.max, period / 2 - o.delay);
  EXPECT_GT(g.x_limits.max, period / 2 - o.delay - 10e-9);
  EXPECT_TRUE(s.notify.entries().empty()) << s.notify.last();
}

}  // namespace
}  // namespace zephyrim
