// Measurement specs: statements, the algorithms at their edges, runs and the
// stored result vectors.
#include "viewer/calc/measure.h"

#include <gtest/gtest.h>

#include "viewer/calc/calc_fixture.h"

namespace zephyrim {
namespace {

MeasureSpec parse_one(const std::string& statement, RecordingNotify& notify) {
  MeasureList list;
  EXPECT_TRUE(measure_parse_statement(list, statement, notify)) << statement << ": " << notify.last();
  return list.specs.empty() ? MeasureSpec{} : list.specs[0];
}

MeasureSpec spec(int kind, double value1 = NO_VALUE, double value2 = NO_VALUE) {
  MeasureSpec s;
  s.kind = kind;
  s.value1 = value1;
  s.value2 = value2;
  return s;
}

TEST(MeasureStatement, OptionsJoinedOrApartAndFlagsByTheirFirstLetters) {
  RecordingNotify notify;
  const MeasureSpec s = parse_one(
      "#MEASURE TRAN DELAY TD1 VAR1=V(1) VAL1 2.5 VAR2=V(2) VAL2=1.5K MIN=1U MAX * RISING FALLING RELATIVE",
      notify);
  EXPECT_EQ(s.analysis, ANALYSIS_TRAN);
  EXPECT_EQ(s.kind, MEASURE_DELAY);
  EXPECT_EQ(s.name, "TD1");
  EXPECT_EQ(s.y_name, "V(1)");
  EXPECT_EQ(s.y2_name, "V(2)");
  EXPECT_DOUBLE_EQ(s.value1, 2.5);
  EXPECT_DOUBLE_EQ(s.value2, 1500);
  EXPECT_DOUBLE_EQ(s.lower, 1e-6);
  EXPECT_EQ(s.upper, NO_VALUE);
  EXPECT_EQ(s.edge1, 1);
  EXPECT_EQ(s.edge2, -1);
  EXPECT_EQ(s.mode, MEASURE_RELATIVE);

  // The keyword may be left out (the batch tool), and later flags override.
  const MeasureSpec w = parse_one("AC WIDTH W1 YVAR VDB(OUT) YVAL -3 HIGH LOWER OFFSET ABSOLUTE", notify);
  EXPECT_EQ(w.pulse, PULSE_LOW);
  EXPECT_EQ(w.mode, MEASURE_ABSOLUTE);
  EXPECT_TRUE(notify.entries().empty());
}

TEST(MeasureStatement, RejectsWithTheRightMessageOrNone) {
  RecordingNotify notify;
  MeasureList list;
  EXPECT_FALSE(measure_parse_statement(list, "#MEASURE TRANSIENT MAX M1 YVAR V(1)", notify));
  EXPECT_EQ(notify.last(), "Invalid analysis type TRANSIENT specified");
  notify.clear();
  EXPECT_FALSE(measure_parse_statement(list, "#MEASURE TRAN AVERAGE M1 YVAR V(1)", notify));
  EXPECT_TRUE(notify.entries().empty());
  EXPECT_FALSE(measure_parse_statement(list, "#MEASURE TRAN MAX M1 YVAR V(1) MAXIMUM 3", notify));
  EXPECT_EQ(notify.last(), "Invalid option MAXIMUM in #MEASURE command");
  // Without a result name the first option keyword becomes the name.
  EXPECT_FALSE(measure_parse_statement(list, "#MEASURE TRAN MAX YVAR V(1)", notify));
  EXPECT_EQ(notify.last(), "Invalid option V(1) in #MEASURE command");
  EXPECT_EQ(list.count(), 0);
  // A number that does not parse leaves the value undefined without a message.
  notify.clear();
  EXPECT_TRUE(measure_parse_statement(list, "#MEASURE TRAN VALUE V1 YVAR V(1) XVAL ABC", notify));
  EXPECT_EQ(list.specs[0].value1, NO_VALUE);
  EXPECT_TRUE(notify.entries().empty());
}

TEST(MeasureStatement, DefaultNamesAreCut) {
  MeasureSpec s = spec(MEASURE_DELAY);
  s.y_name = "V(1)";
  EXPECT_EQ(measure_result_name(s), "TD[V(1),V(1)]");
  s.kind = MEASURE_XMAX;
  EXPECT_EQ(measure_result_name(s), "MAX[V(1)]");
  s.y_name = std::string(40, 'A');
  EXPECT_EQ(measure_result_name(s).size(), kMeasureDefaultNameMax);
}

TEST(MeasureShared, InterpolationAndWindow) {
  EXPECT_DOUBLE_EQ(interp_linear(0, 1, 2, 3, 1), 2);
  EXPECT_DOUBLE_EQ(interp_linear(1, 5, 1, 7, 1), 5);  // on the first end point
  EXPECT_DOUBLE_EQ(interp_linear(1, 5, 1, 7, 2), 7);  // a vertical line
  EXPECT_TRUE(in_window(NO_VALUE, NO_VALUE, 1e300));
  EXPECT_FALSE(in_window(2, NO_VALUE, 1));
  EXPECT_TRUE(in_window(1, 2, 2));
  EXPECT_FALSE(in_window(1, 2, 2.5));
  EXPECT_EQ(analysis_kind_from_name("ASCII", nullptr), ANALYSIS_OTHER);
  EXPECT_EQ(analysis_kind_from_name("tran", nullptr), -1);
}

TEST(MeasureAlgorithms, ValueOnSamplesOutsideAndInAWindow) {
  const std::vector<double> x = {0, 1, 2, 3, 2, 1};  // X goes back
  const std::vector<double> y = {0, 10, 20, 30, 40, 50};
  EXPECT_DOUBLE_EQ(measure_value_at(x, y, spec(MEASURE_VALUE, 2)), 20);  // exactly on a sample
  EXPECT_DOUBLE_EQ(measure_value_at(x, y, spec(MEASURE_VALUE, 0.5)), 5);
  EXPECT_EQ(measure_value_at(x, y, spec(MEASURE_VALUE, 4)), NO_VALUE);
  MeasureSpec s = spec(MEASURE_VALUE, 1.5);
  s.lower = 25;  // the window holds Y: the way back gives it
  EXPECT_DOUBLE_EQ(measure_value_at(x, y, s), 45);
  const std::vector<double> one = {3};
  EXPECT_DOUBLE_EQ(measure_value_at(one, one, spec(MEASURE_VALUE, 3)), 3);
  EXPECT_EQ(measure_value_at(one, one, spec(MEASURE_VALUE, 2.9)), NO_VALUE);
}

TEST(MeasureAlgorithms, DelayFromARisingToALaterFallingCrossingOfOneSignal) {
  RecordingNotify notify;
  const MeasureSpec s = parse_one("#MEASURE TRAN DELAY TD1 VAR1=V(1) VAL1=2.5 RISE FALL", notify);
  // The pulse is exactly 2.5 at x = 1 (a sample) and falls through it at 4.5.
  const std::vector<double> x = {0, 1, 2, 3, 4, 5, 6};
  const std::vector<double> y = {0, 2.5, 5, 5, 5, 0, 0};
  MeasureSpec run = s;
  run.y2_name = run.y_name;
  EXPECT_DOUBLE_EQ(measure_delay_of(x, y, y, run), 3.5);
  // A window that ends before the falling crossing leaves no result.
  run.upper = 4.5 - 1e-9;
  EXPECT_EQ(measure_delay_of(x, y, y, run), NO_VALUE);
  // Two signals, any edge: B is tested in the interval where A crossed too.
  MeasureSpec any = spec(MEASURE_DELAY, 2.5);
  any.y_name = "A";
  any.y2_name = "B";
  const std::vector<double> b = {0, 0, 0, 5, 5, 5, 5};
  EXPECT_DOUBLE_EQ(measure_delay_of(x, y, b, any), 1.5);  // 1 to 2.5
  // B crossing before A is dropped and found again later.
  const std::vector<double> early = {5, 0, 0, 0, 0, 5, 5};
  EXPECT_DOUBLE_EQ(measure_delay_of(x, y, early, any), 3.5);  // 1 to 4.5
}

TEST(MeasureAlgorithms, DeltaAndExtremes) {
  const std::vector<double> x = {0, 1, 2, 3, 4};
  const std::vector<double> y = {1, 3, -2, 3, 0};
  EXPECT_DOUBLE_EQ(measure_delta_of(x, y, spec(MEASURE_DELTA, 0.5, 3.5)), 1.5 - 2);
  EXPECT_EQ(measure_delta_of(x, y, spec(MEASURE_DELTA, 0.5, 9)), NO_VALUE);
  EXPECT_DOUBLE_EQ(measure_extreme_of(x, y, spec(MEASURE_MAX)), 3);
  EXPECT_DOUBLE_EQ(measure_extreme_of(x, y, spec(MEASURE_XMAX)), 1);  // ties keep the earliest
  EXPECT_DOUBLE_EQ(measure_extreme_of(x, y, spec(MEASURE_XMIN)), 2);
  MeasureSpec w = spec(MEASURE_MIN);
  w.lower = 2.5;
  EXPECT_DOUBLE_EQ(measure_extreme_of(x, y, w), 0);
  w.lower = 9;
  EXPECT_EQ(measure_extreme_of(x, y, w), NO_VALUE);
}

TEST(MeasureAlgorithms, WidthPolarityFromDataOrOption) {
  // Starts high: an automatic width is the low pulse 1.5..4.5; HIGH waits for
  // the first complete high pulse 4.5..5.5.
  const std::vector<double> x = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  const std::vector<double> y = {5, 5, 0, 0, 0, 5, 0, 5, 5, 0};
  EXPECT_DOUBLE_EQ(measure_width_of(x, y, spec(MEASURE_WIDTH, 2.5)), 3);
  MeasureSpec high = spec(MEASURE_WIDTH, 2.5);
  high.pulse = PULSE_HIGH;
  EXPECT_DOUBLE_EQ(measure_width_of(x, y, high), 1);  // 4.5 .. 5.5
  // Starting on the level: the pulse starts there, the next point decides.
  const std::vector<double> on = {2.5, 5, 5, 0};
  const std::vector<double> t = {0, 1, 2, 3};
  EXPECT_DOUBLE_EQ(measure_width_of(t, on, spec(MEASURE_WIDTH, 2.5)), 2.5);
  EXPECT_EQ(measure_width_of(t, std::vector<double>{5, 5, 0, 0}, high), NO_VALUE);
}

TEST(MeasureAlgorithms, FrequencyCountsWholePeriods) {
  const std::vector<double> x = {0.5, 1.5, 2.5, 3.5, 4.5, 5.5, 6.5};
  const std::vector<double> y = {0, 2, 0, 2, 0, 2, 0};  // crossings of 1 at 1, 2, 3, 4, 5, 6
  bool missing = false;
  EXPECT_DOUBLE_EQ(measure_freq_of(x, y, spec(MEASURE_FREQ, 1), missing), 0.5);
  EXPECT_DOUBLE_EQ(measure_freq_of(x, y, spec(MEASURE_FREQ), missing), 0.5);  // the mean level
  // One crossing is no period.
  EXPECT_EQ(measure_freq_of(x, std::vector<double>{0, 2, 2, 2, 2, 2, 2}, spec(MEASURE_FREQ, 1), missing),
            NO_VALUE);
  EXPECT_FALSE(missing);
  EXPECT_EQ(measure_freq_of(x, std::vector<double>(7, 3.0), spec(MEASURE_FREQ), missing), NO_VALUE);
  EXPECT_TRUE(missing);
}

// A store with three transient runs of V(1): a pulse, a flat line, a later pulse.
struct RunsStore : CalcStore {
  RunsStore() {
    const std::vector<double> t = {0, 1, 2, 3, 4, 5};
    const std::vector<std::vector<double>> runs = {
        {0, 0, 5, 5, 0, 0}, {0, 0, 0, 0, 0, 0}, {0, 0, 0, 5, 5, 0}};
    for (const auto& v : runs) add("V(1)", v, add("TIME", t, nullptr));
  }
};

TEST(MeasureRuns, ResultsPerRunOverOrdinalsAndRepeatedMeasuresAddRuns) {
  RunsStore s;
  MeasureList list;
  ASSERT_TRUE(measure_parse_statement(list, "#MEASURE TRAN WIDTH W1 YVAR V(1) YVAL 2.5", s.notify));
  ASSERT_TRUE(measure_parse_statement(list, "#MEASURE TRAN WIDTH W1 YVAR V(1) YVAL 2.5", s.notify));
  std::vector<MeasureOutcome> outcomes;
  EXPECT_EQ(measure_run_all(s.store, list, &outcomes), 2);
  EXPECT_EQ(list.count(), 0);
  ASSERT_EQ(outcomes.size(), 2u);
  EXPECT_EQ(outcomes[0].values, (std::vector<double>{2, 2}));
  EXPECT_EQ(outcomes[0].runs, (std::vector<int>{1, 3}));
  const DataVector* w = s.store.find_vector("W1", DATA_CLASS_TEXT, ANALYSIS_OTHER, -1, -1, 1);
  ASSERT_TRUE(w && w->x);
  EXPECT_EQ(w->x->name, "RUN#");
  EXPECT_EQ(s.values(w->x), (std::vector<double>{0, 1}));
  EXPECT_TRUE(s.store.find_vector("W1", DATA_CLASS_TEXT, ANALYSIS_OTHER, -1, -1, 2));
  EXPECT_TRUE(s.store.find_vector("RUN#", DATA_CLASS_TEXT, ANALYSIS_OTHER, -1, -1, 2));
}

TEST(MeasureRuns, ModesChangeOnlyTheirArray) {
  RunsStore s;
  MeasureSpec r = spec(MEASURE_WIDTH, 0.5);  // half height, relative
  r.analysis = ANALYSIS_TRAN;
  r.y_name = "V(1)";
  r.mode = MEASURE_RELATIVE;
  MeasureOutcome out;
  EXPECT_EQ(measure_width(s.store, r, out), 1);
  EXPECT_EQ(out.values, (std::vector<double>{2, 2}));  // the flat run rescales to 0 and has no pulse
  // Offset with a negative level measures from the top: 5 - 2.5 = 2.5 below it.
  r.mode = MEASURE_OFFSET;
  r.value1 = -2.5;
  EXPECT_EQ(measure_width(s.store, r, out), 1);
  EXPECT_EQ(out.values, (std::vector<double>{2, 2}));
  // Relative X for VALUE: the middle of the time axis.
  MeasureSpec v = spec(MEASURE_VALUE, 0.5);
  v.analysis = ANALYSIS_TRAN;
  v.y_name = "V(1)";
  v.mode = MEASURE_RELATIVE;
  EXPECT_EQ(measure_value(s.store, v, out), 1);
  ASSERT_EQ(out.values.size(), 3u);
  EXPECT_NEAR(out.values[0], 5, 1e-12);
  EXPECT_NEAR(out.values[1], 0, 1e-12);
  EXPECT_NEAR(out.values[2], 2.5, 1e-12);
}

TEST(MeasureRuns, InputErrorsAndMissingVariables) {
  RunsStore s;
  MeasureOutcome out;
  MeasureSpec d = spec(MEASURE_DELTA, 1);
  d.analysis = ANALYSIS_TRAN;
  d.y_name = "V(1)";
  EXPECT_EQ(measure_delta(s.store, d, out), -1);
  EXPECT_EQ(s.notify.last(), "MEASURE DELTA: X value 2 not defined");
  d.value2 = 2;
  d.mode = MEASURE_OFFSET;
  EXPECT_EQ(measure_delta(s.store, d, out), -1);
  EXPECT_EQ(s.notify.last(), "MEASURE DELTA: offset values not allowed");
  MeasureSpec m = spec(MEASURE_MAX);
  m.analysis = ANALYSIS_TRAN;
  m.y_name = "V(9)";
  EXPECT_EQ(measure_extreme(s.store, m, out), 0);
  EXPECT_EQ(s.notify.last(), "ERROR MEASURE SPEC:\n\nCannot find Y variable V(9)");
  m.y_name = "V(1)";
  m.x_name = "V(9)";
  EXPECT_EQ(measure_extreme(s.store, m, out), 0);
  EXPECT_EQ(s.notify.last(), "ERROR MEASURE SPEC:\n\nCannot find X variable V(9)");
  // FREQ of the flat run reports it and the others go on.
  MeasureSpec f = spec(MEASURE_FREQ);
  f.analysis = ANALYSIS_TRAN;
  f.y_name = "V(1)";
  s.notify.clear();
  EXPECT_EQ(measure_freq(s.store, f, out), 1);
  EXPECT_TRUE(s.notify.saw("MEASURE FREQ: cannot find mean value"));
}

TEST(MeasureRuns, ComplexPartsOfAcDataAreDerivedOnce) {
  CalcStore s;
  const DataVector* f = s.add("FREQUENCY", {1, 10, 100}, nullptr, ANALYSIS_AC);
  s.add("V(OUT)", {1, 0, 0.5, 0, 0.1, 0}, f, ANALYSIS_AC, DATA_CLASS_BINARY, 1);
  MeasureSpec v = spec(MEASURE_VALUE, 10);
  v.analysis = ANALYSIS_AC;
  v.y_name = "VDB(OUT)";
  MeasureOutcome out;
  ASSERT_EQ(measure_value(s.store, v, out), 1) << s.notify.last();
  ASSERT_EQ(out.values.size(), 1u);
  EXPECT_NEAR(out.values[0], -6.0206, 1e-4);
  EXPECT_EQ(measure_value(s.store, v, out), 1);
  EXPECT_FALSE(s.store.find_vector("VDB(OUT)", DATA_CLASS_BINARY, ANALYSIS_AC, -1, 0, 2));
}

}  // namespace
}  // namespace zephyrim
