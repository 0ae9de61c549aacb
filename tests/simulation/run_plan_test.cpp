#include "simulation/run_plan.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <fstream>
#include <set>
#include <sstream>

#include "platform/process.h"

namespace zephyrim {
namespace {

constexpr const char* kCircuit =
    "* plan\n"
    "V1 IN 0 DC 5 AC 1\n"
    "R1 IN OUT 2k\n"
    "R2 OUT 0 {rbase}\n"
    "C1 OUT 0 1u\n"
    ".param rbase=1k gain = {2*rbase}\n"
    ".MODEL QN NPN (BF = 100\n"
    "+ IS=1e-14)\n";

RunPlan plan_of(const std::string& statements, const std::string& circuit = kCircuit) {
  return plan_runs(prepare_ngspice_deck(circuit + statements + ".END\n"));
}

std::vector<std::string> labels(const RunPlan& p) {
  std::vector<std::string> out;
  for (const PlannedRun& r : p.runs) out.push_back(r.label);
  return out;
}

// The value of the only setting of each run.
std::vector<double> values(const RunPlan& p) {
  std::vector<double> out;
  for (const PlannedRun& r : p.runs) {
    EXPECT_EQ(r.settings.size(), 1u) << r.label;
    out.push_back(r.settings.empty() ? NAN : r.settings[0].value);
  }
  return out;
}

std::string only_error(const RunPlan& p) {
  EXPECT_EQ(p.errors.size(), 1u);
  EXPECT_EQ(p.runs.size(), 1u);  // still one run to speak of
  return p.errors.empty() ? "" : p.errors[0];
}

// --- the sweeps ---

TEST(RunPlan, LinearStepsReachStopAndRunDownwards) {
  RunPlan p = plan_of(".STEP LIN R1 1k 2k 250\n");
  EXPECT_TRUE(p.errors.empty());
  EXPECT_EQ(labels(p), (std::vector<std::string>{"Run 1 R1=1K", "Run 2 R1=1.25K", "Run 3 R1=1.5K",
                                                 "Run 4 R1=1.75K", "Run 5 R1=2K"}));
  EXPECT_EQ(p.runs[0].settings[0].target, RunTarget::Part);
  EXPECT_EQ(p.runs[0].settings[0].change, RunChange::Set);

  // 0.1 steps add up to a hair off 1; the last value is 1 all the same.
  std::vector<double> v = values(plan_of(".STEP LIN PARAM rbase 0 1 0.1\n"));
  ASSERT_EQ(v.size(), 11u);
  EXPECT_EQ(v.back(), 1.0);
  EXPECT_DOUBLE_EQ(v[3], 0.3);

  EXPECT_EQ(values(plan_of(".STEP LIN R1 10 1 3\n")), (std::vector<double>{10, 7, 4, 1}));
  EXPECT_EQ(values(plan_of(".STEP LIN R1 10 0 3\n")), (std::vector<double>{10, 7, 4, 1}));
  EXPECT_EQ(values(plan_of(".STEP LIN R1 10 1 -3\n")), (std::vector<double>{10, 7, 4, 1}));
  EXPECT_EQ(values(plan_of(".STEP LIN R1 5 5 1\n")), (std::vector<double>{5}));

  // The sweep word after the variable, as older netlists write it.
  p = plan_of(".STEP PARAM rbase LIN 1 3 1\n");
  EXPECT_EQ(labels(p), (std::vector<std::string>{"Run 1 rbase=1", "Run 2 rbase=2", "Run 3 rbase=3"}));
  EXPECT_EQ(p.runs[0].settings[0].target, RunTarget::Param);
}

TEST(RunPlan, DecadeAndOctaveCounts) {
  std::vector<double> v = values(plan_of(".STEP DEC PARAM f 1 1k 10\n"));
  ASSERT_EQ(v.size(), 31u);
  EXPECT_EQ(v.back(), 1000.0);
  EXPECT_NEAR(v[10], 10, 1e-12);
  EXPECT_NEAR(v[1], std::pow(10, 0.1), 1e-12);

  v = values(plan_of(".STEP OCT PARAM f 1 16 2\n"));
  ASSERT_EQ(v.size(), 9u);
  EXPECT_NEAR(v[1], std::sqrt(2), 1e-12);
  EXPECT_EQ(v.back(), 16.0);

  v = values(plan_of(".STEP DEC PARAM f 1k 1 1\n"));
  ASSERT_EQ(v.size(), 4u);
  EXPECT_NEAR(v[1], 100, 1e-9);
  EXPECT_EQ(v.back(), 1.0);

  EXPECT_EQ(values(plan_of(".STEP DEC PARAM f 1 500 1\n")).size(), 3u);  // 1, 10, 100
}

TEST(RunPlan, ListsAndPercentOfTheNominal) {
  RunPlan p = plan_of(".STEP R1 LIST 1k 2.2k\n+ 4.7MEG\n");
  EXPECT_EQ(labels(p), (std::vector<std::string>{"Run 1 R1=1K", "Run 2 R1=2.2K", "Run 3 R1=4.7MEG"}));

  // R1 is 2k, rbase 1k, QN's BF 100; values in % of them.
  EXPECT_EQ(labels(plan_of(".STEP R1 LIST% 90 110\n")),
            (std::vector<std::string>{"Run 1 R1=1.8K", "Run 2 R1=2.2K"}));
  EXPECT_EQ(values(plan_of(".STEP LIN% PARAM rbase 50 100 25\n")), (std::vector<double>{500, 750, 1000}));
  p = plan_of(".STEP DEC% QN(BF) 100 1000 1\n");
  EXPECT_EQ(labels(p), (std::vector<std::string>{"Run 1 QN(BF)=100", "Run 2 QN(BF)=1K"}));
  EXPECT_EQ(p.runs[0].settings[0].target, RunTarget::ModelParam);
  EXPECT_EQ(p.runs[0].settings[0].name, "QN");
  EXPECT_EQ(p.runs[0].settings[0].param, "BF");
  EXPECT_EQ(values(plan_of(".STEP NPN QN (IS) LIST 1e-15\n")), std::vector<double>{1e-15});

  // A percentage of something without a numeric value cannot be run.
  EXPECT_NE(only_error(plan_of(".STEP R2 LIST% 90\n")).find("R2 has no numeric value"), std::string::npos);
  EXPECT_NE(only_error(plan_of(".STEP PARAM gain LIST% 90\n")).find("no numeric value"), std::string::npos);
  EXPECT_NE(only_error(plan_of(".STEP QN(VAF) LIST% 90\n")).find("no numeric value"), std::string::npos);
  EXPECT_NE(only_error(plan_of(".STEP TEMP LIST% 90\n")).find("TEMP"), std::string::npos);
}

// --- the runs as product of the dimensions ---

TEST(RunPlan, DimensionsMultiplyStepOutermost) {
  RunPlan p = plan_of(
      ".STEP R1 LIST 1k 2k\n"
      ".STEP PARAM rbase LIST 5 6\n"
      ".TEMP 27 85\n");
  EXPECT_TRUE(p.errors.empty());
  ASSERT_EQ(p.runs.size(), 8u);
  EXPECT_EQ(p.runs[0].label, "Run 1 R1=1K rbase=5 Temp=27");
  EXPECT_EQ(p.runs[1].label, "Run 2 R1=1K rbase=5 Temp=85");
  EXPECT_EQ(p.runs[2].label, "Run 3 R1=1K rbase=6 Temp=27");
  EXPECT_EQ(p.runs[7].label, "Run 8 R1=2K rbase=6 Temp=85");
  EXPECT_EQ(p.runs[7].temperature, 85);
  EXPECT_EQ(p.runs[7].settings.size(), 2u);

  p = plan_of(".STEP R1 LIST 1k 2k\n.MC 2\n.TOL C1 5%\n");
  EXPECT_EQ(labels(p), (std::vector<std::string>{"Run 1 R1=1K MC", "Run 2 R1=1K MC", "Run 3 R1=2K MC",
                                                 "Run 4 R1=2K MC"}));
  // The n-th Monte Carlo run draws the same parts in every step.
  EXPECT_EQ(p.runs[0].settings.back().value, p.runs[2].settings.back().value);
  EXPECT_NE(p.runs[0].settings.back().value, p.runs[1].settings.back().value);

  p = plan_of(".STEP TEMP LIST -40 125\n");
  EXPECT_EQ(labels(p), (std::vector<std::string>{"Run 1 Temp=-40", "Run 2 Temp=125"}));
  EXPECT_EQ(p.runs[1].temperature, 125);
}

TEST(RunPlan, TemperatureOnlyAndNothingAtAll) {
  RunPlan p = plan_of("");
  EXPECT_EQ(labels(p), std::vector<std::string>{"Run 1 Temp=27"});
  EXPECT_FALSE(p.runs[0].temperature);
  EXPECT_TRUE(p.errors.empty() && p.warnings.empty());

  p = plan_of(".TEMP 50\n");
  EXPECT_EQ(labels(p), std::vector<std::string>{"Run 1 Temp=50"});
  EXPECT_EQ(p.runs[0].temperature, 50);
  EXPECT_EQ(labels(plan_of(".TEMP 0 27.5 1e3\n")),
            (std::vector<std::string>{"Run 1 Temp=0", "Run 2 Temp=27.5", "Run 3 Temp=1000"}));
}

TEST(RunPlan, LabelsStayWithin31Characters) {
  const RunPlan p = plan_of(".STEP PARAM a_rather_long_parameter_name LIST 1.23456\n.TEMP 27\n");
  EXPECT_EQ(p.runs[0].label, "Run 1 a_rather_long_parameter_n");
}

// --- Monte Carlo and worst case ---

constexpr const char* kTwoResistors = "* mc\nR1 A 0 1k\nR2 A 0 2k\nC1 A 0 1n\n";

std::vector<double> part_values(const RunPlan& p, const std::string& part) {
  std::vector<double> out;
  for (const PlannedRun& r : p.runs)
    for (const RunSetting& s : r.settings)
      if (s.name == part) out.push_back(s.value);
  return out;
}

TEST(RunPlan, MonteCarloIsDeterministic) {
  const RunPlan a = plan_of(".MC 50\n.TOL R* 5%\n", kTwoResistors);
  const RunPlan b = plan_of(".MC 50 SEED=1\n.TOL R* 5%\n", kTwoResistors);
  const RunPlan c = plan_of(".MC 50 SEED = 2\n.TOL R* 5%\n", kTwoResistors);
  EXPECT_TRUE(a.errors.empty() && a.warnings.empty());
  ASSERT_EQ(a.runs.size(), 50u);
  EXPECT_EQ(a.runs[6].label, "Run 7 MC");
  EXPECT_EQ(part_values(a, "R1"), part_values(b, "R1"));  // seed 1 unless given
  EXPECT_NE(part_values(a, "R1"), part_values(c, "R1"));
  EXPECT_NE(part_values(a, "R1"), part_values(a, "R2"));
  EXPECT_EQ(a.runs[0].settings[0].change, RunChange::Scale);
  // Fixed values: the draws are ours, not the library's, so every machine
  // gives these.
  EXPECT_NEAR(a.runs[0].settings[0].value, 1.0 + 0.05 * (2 * 0.5 - 1), 0.05);
  const std::vector<double> first = part_values(a, "R1");
  EXPECT_EQ(part_values(plan_of(".MC 3\n.TOL R* 5%\n", kTwoResistors), "R1"),
            std::vector<double>(first.begin(), first.begin() + 3));
}

struct Moments {
  double mean = 0, sd = 0, min = INFINITY, max = -INFINITY;
};

Moments moments(const std::vector<double>& v) {
  Moments m;
  for (double x : v) {
    m.mean += x / static_cast<double>(v.size());
    m.min = std::min(m.min, x);
    m.max = std::max(m.max, x);
  }
  for (double x : v) m.sd += (x - m.mean) * (x - m.mean) / static_cast<double>(v.size() - 1);
  m.sd = std::sqrt(m.sd);
  return m;
}

TEST(RunPlan, MonteCarloDistributions) {
  // 2 x 10000 draws: the mean within 5 standard errors, the spread within 5 %.
  RunPlan p = plan_of(".MC 10000 SEED=7\n.TOL R* 6% GAUSS\n", kTwoResistors);
  ASSERT_TRUE(p.errors.empty()) << p.errors[0];
  std::vector<double> d = part_values(p, "R1"), r2 = part_values(p, "R2");
  d.insert(d.end(), r2.begin(), r2.end());
  ASSERT_EQ(d.size(), 20000u);
  Moments m = moments(d);
  EXPECT_NEAR(m.mean, 1, 5 * 0.02 / std::sqrt(20000.0));
  EXPECT_NEAR(m.sd, 0.02, 0.001);
  EXPECT_GT(m.max, 1.06);  // not clipped at the tolerance

  p = plan_of(".MC 10000\n.TOL R* 10m UNIFORM\n", kTwoResistors);
  d = part_values(p, "R1");
  EXPECT_EQ(p.runs[0].settings[0].change, RunChange::Offset);
  m = moments(d);
  EXPECT_GE(m.min, -0.01);
  EXPECT_LE(m.max, 0.01);
  EXPECT_LT(m.min, -0.0099);
  EXPECT_GT(m.max, 0.0099);
  EXPECT_NEAR(m.mean, 0, 5 * 0.01 / std::sqrt(3 * 10000.0));
  EXPECT_NEAR(m.sd, 0.01 / std::sqrt(3.0), 0.0003);

  // A lot deviation is shared by all parts of a statement in one run.
  p = plan_of(".MC 20\n.TOL R* LOT=5%\n", kTwoResistors);
  std::set<double> seen;
  for (const PlannedRun& r : p.runs) {
    ASSERT_EQ(r.settings.size(), 2u);
    EXPECT_EQ(r.settings[0].value, r.settings[1].value);
    seen.insert(r.settings[0].value);
  }
  EXPECT_EQ(seen.size(), 20u);
}

TEST(RunPlan, LaterToleranceWinsAndUnmatchedIsReported) {
  const RunPlan p = plan_of(".MC 2\n.TOL R* 5%\n.TOL R2 1m\n.TOL X* 5%\n.TOL *(BF) 10%\n.TOL PARAM rb* 1%\n");
  ASSERT_TRUE(p.errors.empty());
  std::vector<std::string> targets;
  for (const RunSetting& s : p.runs[0].settings)
    targets.push_back(s.name + (s.param.empty() ? "" : "(" + s.param + ")") +
                      (s.change == RunChange::Scale ? "*" : "+"));
  EXPECT_EQ(targets, (std::vector<std::string>{"R1*", "R2+", "QN(BF)*", "rbase*"}));
  EXPECT_EQ(p.warnings, std::vector<std::string>{".TOL X* 5%: matches nothing in the netlist"});

  const RunPlan none = plan_of(".MC 3\n");
  EXPECT_EQ(none.runs.size(), 3u);
  EXPECT_TRUE(none.runs[0].settings.empty());
  ASSERT_EQ(none.warnings.size(), 1u);
  EXPECT_NE(none.warnings[0].find("No .TOL"), std::string::npos);
}

TEST(RunPlan, WorstCaseCornersAndSingleLimits) {
  RunPlan p = plan_of(".WC\n.TOL R* 5% LOT=1%\n.TOL C1 1n\n", kTwoResistors);
  ASSERT_TRUE(p.errors.empty());
  ASSERT_EQ(p.runs.size(), 9u);
  EXPECT_EQ(p.runs[0].label, "Run 1 Nominal");
  EXPECT_TRUE(p.runs[0].settings.empty());
  EXPECT_EQ(p.runs[1].label, "Run 2 Corner ---");
  EXPECT_EQ(p.runs[2].label, "Run 3 Corner --+");
  EXPECT_EQ(p.runs[8].label, "Run 9 Corner +++");
  std::set<std::string> corners;
  for (size_t r = 1; r < 9; ++r) corners.insert(p.runs[r].label.substr(p.runs[r].label.size() - 3));
  EXPECT_EQ(corners.size(), 8u);
  // Run 3: R1 and R2 low by lot and device together, C1 high by 1n.
  ASSERT_EQ(p.runs[2].settings.size(), 3u);
  EXPECT_DOUBLE_EQ(p.runs[2].settings[0].value, 0.94);
  EXPECT_DOUBLE_EQ(p.runs[2].settings[1].value, 0.94);
  EXPECT_EQ(p.runs[2].settings[2].change, RunChange::Offset);
  EXPECT_DOUBLE_EQ(p.runs[2].settings[2].value, 1e-9);

  p = plan_of(".WC  NOCORNER\n.TOL R* 5%\n", kTwoResistors);
  EXPECT_EQ(labels(p), (std::vector<std::string>{"Run 1 Nominal", "Run 2 R1=1.05K", "Run 3 R1=950",
                                                 "Run 4 R2=2.1K", "Run 5 R2=1.9K"}));

  // Thirteen toleranced parts would take 8192 corners.
  std::string many = "* many\n";
  for (int i = 1; i <= 13; ++i) many += "R" + std::to_string(i) + " A 0 1k\n";
  const std::string e = only_error(plan_of(".WC CORNERS\n.TOL R* 1%\n", many));
  EXPECT_NE(e.find("13 toleranced values"), std::string::npos) << e;
  EXPECT_EQ(plan_of(".WC NOCORNER\n.TOL R* 1%\n", many).runs.size(), 27u);
}

// --- statements that cannot be run ---

TEST(RunPlan, ErrorsNameTheStatement) {
  EXPECT_EQ(only_error(plan_of(".STEP LIN R1 1 100000 1\n")),
            ".STEP LIN R1 1 100000 1: more than 10000 values");
  EXPECT_NE(only_error(plan_of(".STEP LIN R1 1 1e200 1e-200\n")).find("more than"), std::string::npos);
  EXPECT_NE(only_error(plan_of(".STEP R1 LIST 1 2 3\n.STEP PARAM rbase LIN 1 5000 1\n")).find("15000 runs"),
            std::string::npos);
  EXPECT_NE(only_error(plan_of(".MC 20000\n")).find("at most 10000"), std::string::npos);
  EXPECT_NE(only_error(plan_of(".STEP R1 LIST 1 2\n.MC 6000\n")).find("12000 runs"), std::string::npos);
  EXPECT_NE(only_error(plan_of(".MC 5\n.WC\n")).find(".MC and .WC together"), std::string::npos);
  EXPECT_NE(only_error(plan_of(".MC 5\n.MC 6\n")).find("a second .MC"), std::string::npos);
  EXPECT_NE(only_error(plan_of(".WC\n.WC NOCORNER\n")).find("a second .WC"), std::string::npos);
  EXPECT_NE(only_error(plan_of(".STEP PARAM {x} LIST 1\n")).find("not a parameter name"), std::string::npos);
  EXPECT_NE(only_error(plan_of(".MC 2.5\n")).find("not a number of runs"), std::string::npos);
  EXPECT_NE(only_error(plan_of(".MC 5 SEED=-1\n")).find("not a seed"), std::string::npos);
  EXPECT_EQ(only_error(plan_of(".STEP LIN R1 1 x 1\n")), ".STEP LIN R1 1 x 1: \"x\" is not a number");
  EXPECT_NE(only_error(plan_of(".STEP LIN R1 1 2 0\n")).find("increment"), std::string::npos);
  EXPECT_NE(only_error(plan_of(".STEP LIN R1 1 2\n")).find("needs start, stop"), std::string::npos);
  EXPECT_NE(only_error(plan_of(".STEP DEC R1 0 10 5\n")).find("above 0"), std::string::npos);
  EXPECT_NE(only_error(plan_of(".STEP R1 LIST\n")).find("LIST without values"), std::string::npos);
  EXPECT_NE(only_error(plan_of(".STEP\n")).find("no variable"), std::string::npos);
  EXPECT_NE(only_error(plan_of(".STEP C1(X LIST 1\n")).find("MODEL(PARAM)"), std::string::npos);
  EXPECT_NE(only_error(plan_of(".STEP TEMP LIST 1 2\n.TEMP 3\n")).find("use one"), std::string::npos);
  EXPECT_NE(only_error(plan_of(".MC 2\n.TOL R* what\n")).find("\"what\""), std::string::npos);
  // Toleranced parts times runs are limited, not only runs.
  std::string parts = "* parts\n";
  for (int i = 1; i <= 200; ++i) parts += "R" + std::to_string(i) + " A 0 1k\n";
  EXPECT_NE(only_error(plan_of(".MC 10000\n.TOL R* 1%\n", parts)).find("changes"), std::string::npos);
  EXPECT_EQ(plan_of(".MC 1000\n.TOL R* 1%\n", parts).runs.size(), 1000u);
  // A part that cannot be found is only a warning: the run goes ahead.
  const RunPlan p = plan_of(".STEP R9 LIST 1 2\n");
  EXPECT_TRUE(p.errors.empty());
  EXPECT_EQ(p.runs.size(), 2u);
  ASSERT_EQ(p.warnings.size(), 1u);
  EXPECT_NE(p.warnings[0].find("R9 is not in the netlist"), std::string::npos);
}

// --- the deck of a run ---

constexpr const char* kTargets =
    "* targets\n"
    "R1 A B 1k\n"
    "R2 A B R=2k TC=0.001\n"
    "R3 A B r = {rbase*2}\n"
    "R4 A B 'rbase/2'\n"
    "V1 A 0 DC 5 AC 1\n"
    "V2 B 0 3\n"
    "V3 C 0 AC 1 SIN(0 1 1k)\n"
    "I1 C 0 dc=1m\n"
    "E1 O 0 A B 10\n"
    "F1 O 0 V1 -2\n"
    "G1 O 0 VALUE={V(A)*2}\n"
    "D1 A B DMOD\n"
    ".param rbase=1k gain = {2*rbase}, vdd=5\n"
    ".MODEL QN NPN (BF = 100\n"
    "+ IS=1e-14)\n"
    ".model DMOD D\n"
    ".SUBCKT INNER X Y\n"
    "R1 X Y 5k\n"
    ".param rbase=7\n"
    ".ENDS\n"
    ".control\n"
    "run\n"
    ".endc\n"
    ".END\n";

RunSetting set(RunTarget t, const std::string& name, RunChange c, double v, const std::string& param = "") {
  return {t, name, param, c, v};
}

TEST(RunPlan, RunDeckChangesEachKindOfTarget) {
  const NgspiceDeck deck = prepare_ngspice_deck(kTargets);
  PlannedRun run;
  run.label = "Run 1";
  run.settings = {
      set(RunTarget::Part, "r1", RunChange::Set, 2000),
      set(RunTarget::Part, "R2", RunChange::Scale, 1.1),
      set(RunTarget::Part, "R3", RunChange::Scale, 1.05),
      set(RunTarget::Part, "R4", RunChange::Offset, -3),
      set(RunTarget::Part, "V1", RunChange::Offset, 0.5),
      set(RunTarget::Part, "V2", RunChange::Set, 4),
      set(RunTarget::Part, "V3", RunChange::Offset, 1.5),
      set(RunTarget::Part, "I1", RunChange::Scale, 2),
      set(RunTarget::Part, "E1", RunChange::Scale, 2),
      set(RunTarget::Part, "F1", RunChange::Offset, 1),
      set(RunTarget::Param, "gain", RunChange::Scale, 0.5),
      set(RunTarget::Param, "vdd", RunChange::Set, 12),
      set(RunTarget::Param, "NEW", RunChange::Set, 3),
      set(RunTarget::Param, "new", RunChange::Scale, 2),
      set(RunTarget::ModelParam, "qn", RunChange::Scale, 1.5, "bf"),
      set(RunTarget::ModelParam, "QN", RunChange::Set, 50, "VAF"),
      set(RunTarget::ModelParam, "DMOD", RunChange::Set, 2, "N"),
      set(RunTarget::Temperature, "", RunChange::Set, 85),
  };
  std::vector<std::string> warnings;
  const std::vector<std::string> lines = run_deck_lines(deck, run, &warnings);
  const std::vector<std::string> expected = {"* targets",
                                             ".param NEW=6",
                                             "R1 A B 2000",
                                             "R2 A B R=2200 TC=0.001",
                                             "R3 A B r = {(rbase*2)*1.05}",
                                             "R4 A B {(rbase/2)-3}",
                                             "V1 A 0 DC 5.5 AC 1",
                                             "V2 B 0 4",
                                             "V3 C 0 DC 1.5 AC 1 SIN(0 1 1k)",
                                             "I1 C 0 dc=0.002",
                                             "E1 O 0 A B 20",
                                             "F1 O 0 V1 -1",
                                             "G1 O 0 VALUE={V(A)*2}",
                                             "D1 A B DMOD",
                                             ".param rbase=1k gain = {(2*rbase)*0.5}, vdd=12",
                                             ".MODEL QN NPN (BF = 150  IS=1e-14 VAF=50)",
                                             ".model DMOD D N=2",
                                             ".SUBCKT INNER X Y",
                                             "R1 X Y 5k",
                                             ".param rbase=7",
                                             ".ENDS",
                                             ".control",
                                             "run",
                                             ".endc",
                                             ".save all",
                                             ".END"};
  EXPECT_EQ(lines, expected);
  EXPECT_TRUE(warnings.empty()) << warnings[0];
}

TEST(RunPlan, RunDeckWarnsAboutWhatItCannotChange) {
  const NgspiceDeck deck = prepare_ngspice_deck(kTargets);
  PlannedRun run;
  run.label = "Run 4 MC";
  run.settings = {
      set(RunTarget::Part, "R9", RunChange::Set, 1),
      set(RunTarget::Part, "D1", RunChange::Scale, 2),
      set(RunTarget::Part, "G1", RunChange::Scale, 2),
      set(RunTarget::Param, "none", RunChange::Scale, 2),
      set(RunTarget::ModelParam, "QN", RunChange::Scale, 2, "RB"),
      set(RunTarget::ModelParam, "QX", RunChange::Set, 2, "BF"),
  };
  std::vector<std::string> warnings;
  EXPECT_EQ(run_deck_lines(deck, run, &warnings), deck.lines);
  EXPECT_EQ(warnings, (std::vector<std::string>{
                          "Run 4 MC: R9 is not in the netlist",
                          "Run 4 MC: D1 has no value to change",
                          "Run 4 MC: G1 has no value to change",
                          "Run 4 MC: PARAM none is not defined, so it has no value to change",
                          "Run 4 MC: QN(RB) is not given in the .MODEL line, so it has no value to change",
                          "Run 4 MC: model QX is not in the netlist",
                      }));
  EXPECT_EQ(run_deck_lines(deck, run), deck.lines);  // without a place for warnings
}

TEST(RunPlan, PlannedRunsMakeTheirChanges) {
  // From statement to deck line: a step of an undefined PARAM defines it.
  const NgspiceDeck deck = prepare_ngspice_deck("* t\nR1 A 0 {rl}\n.STEP PARAM rl LIST 1k 2k\n.END\n");
  const RunPlan p = plan_runs(deck);
  ASSERT_EQ(p.runs.size(), 2u);
  EXPECT_EQ(run_deck_lines(deck, p.runs[1])[1], ".param rl=2000");
}

// --- what ngspice makes of the changed lines ---

std::string ngspice_complaints(const std::string& name, const std::string& text) {
  const std::string path = testing::TempDir() + "/run_plan_" + name + ".cir";
  std::ofstream(path) << text;
  const ProcessResult r = process_run({"ngspice", "-b", path}, testing::TempDir(), 120);
  if (r.start_error) return "ngspice did not start";
  if (r.timed_out) return "ngspice timed out";
  std::string out;
  std::istringstream lines(r.output);
  for (std::string line; std::getline(lines, line);) {
    std::string low = line;
    for (char& c : low) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* c : {"error", "warning", "unknown", "can't"})
      if (low.find(c) != std::string::npos) {
        out += line + "\n";
        break;
      }
  }
  return out;
}

TEST(RunPlan, NgspiceAcceptsTheChangedDeck) {
  const NgspiceDeck deck = prepare_ngspice_deck(
      "* changed\n"
      ".param rb=1k\n"
      "V1 IN 0 AC 1\n"
      "R1 IN OUT {rb*2}\n"
      "R2 OUT 0 'rb'\n"
      "Q1 OUT IN 0 QN\n"
      ".MODEL QN NPN (BF=100)\n"
      ".model DN D\n"
      "D1 OUT 0 DN\n"
      ".OP\n"
      ".END\n");
  PlannedRun run;
  run.settings = {
      set(RunTarget::Part, "V1", RunChange::Offset, -0.7),
      set(RunTarget::Part, "R1", RunChange::Scale, -1.5),
      set(RunTarget::Part, "R2", RunChange::Offset, -10),
      set(RunTarget::ModelParam, "QN", RunChange::Set, 50, "VAF"),
      set(RunTarget::ModelParam, "DN", RunChange::Set, 1.2, "N"),
      set(RunTarget::Param, "extra", RunChange::Set, 1),
  };
  const std::vector<std::string> lines = run_deck_lines(deck, run);
  EXPECT_EQ(ngspice_complaints("changed", ngspice_deck_text(deck, lines, 85.0, {})), "");
}

}  // namespace
}  // namespace zephyrim
