#include "simulation/analysis_commands.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace zephyrim {
namespace {

// The statements between the title and the closing option line.
std::string body(const SimulationSetup& s, int* result = nullptr, AnalysisCommandOptions o = {}) {
  const std::string text = analysis_commands_text(s, "T", o, result);
  const std::string head = "* T\n\n", tail = "\n.OPTION SAVEOPB\n";
  EXPECT_EQ(text.substr(0, head.size()), head);
  EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
  return text.substr(head.size(), text.size() - head.size() - tail.size());
}

TEST(AnalysisCommands, EmptySetupHasOnlyTitleAndOption) {
  SimulationSetup s;
  int result = 0;
  EXPECT_EQ(analysis_commands_text(s, analysis_commands_title(), {}, &result),
            "* Zephyrim Schematic 7.16a Win32  Simulation Setup Commands\n\n\n.OPTION SAVEOPB\n");
  EXPECT_EQ(result, 1);
}

TEST(AnalysisCommands, OperatingPointGroup) {
  SimulationSetup s;
  s.op_group = 1;
  s.op = 1;
  s.tf = 1;
  s.tf_output.assign("V(OUT)");
  s.tf_input.assign("VIN");
  s.sens = 1;
  s.sens_vars = {"V(OUT)", "I(VIN)"};
  EXPECT_EQ(body(s), ".OP\n.TF V(OUT) VIN\n.SENS V(OUT) I(VIN)\n");
  s.op_group = 0;  // the members count only under their group's switch
  EXPECT_EQ(body(s), "");
}

TEST(AnalysisCommands, DcSweepAloneAndNested) {
  SimulationSetup s;
  s.dc = 1;
  s.dc_var.assign("VIN");
  s.dc_start = 0, s.dc_stop = 5, s.dc_step = 0.1;
  int result = 0;
  EXPECT_EQ(body(s, &result), ".DC VIN 0 5 0.1\n");
  EXPECT_EQ(result, -1);  // an analysis without any output statement
  s.dc_nested = 1;
  s.nested_var.assign("VCC");
  s.nested_start = 1e-6, s.nested_stop = 1e6, s.nested_step = 123456789;
  EXPECT_EQ(body(s), ".DC VIN 0 5 0.1 VCC 1E-06 1E+06 1.23457E+08\n");
}

TEST(AnalysisCommands, TransientOptionalFormsAndFourier) {
  SimulationSetup s;
  s.tran = 1;
  s.tran_step = 1e-6, s.tran_stop = 1e-3;
  EXPECT_EQ(body(s), ".TRAN 1E-06 0.001\n");
  s.tran_max_step = 1e-7;  // no start: a literal 0 stands in front of the maximum step
  EXPECT_EQ(body(s), ".TRAN 1E-06 0.001 0 1E-07\n");
  s.tran_start = 1e-4;
  s.uic = 1;
  EXPECT_EQ(body(s), ".TRAN 1E-06 0.001 0.0001 1E-07 UIC\n");
  s.tran_max_step = NO_VALUE;
  s.uic = 0;
  EXPECT_EQ(body(s), ".TRAN 1E-06 0.001 0.0001\n");
  s.fourier = 1;
  s.fourier_freq = 1000;
  s.fourier_vars = {"V(OUT)", "V(IN)"};
  EXPECT_EQ(body(s), ".TRAN 1E-06 0.001 0.0001\n.FOUR 1000 V(OUT) V(IN)\n");  // 9 harmonics unwritten
  s.harmonics = 5;
  EXPECT_EQ(body(s), ".TRAN 1E-06 0.001 0.0001\n.FOUR 1000 5 V(OUT) V(IN)\n");
}

TEST(AnalysisCommands, AcSweepWithNoiseAndDistortion) {
  SimulationSetup s;
  s.ac = 1;
  s.ac_points = 10;
  s.ac_start = 1, s.ac_stop = 1e6;
  const char* words[] = {"DEC", "OCT", "LIN"};
  for (int type = 0; type < 3; ++type) {
    s.ac_type = static_cast<int16_t>(type);
    EXPECT_EQ(body(s), std::string(".AC ") + words[type] + " 10 1 1E+06\n");
  }
  s.noise = 1;
  s.noise_output.assign("V(OUT)");
  s.noise_input.assign("VIN");
  EXPECT_EQ(body(s), ".AC LIN 10 1 1E+06\n.NOISE V(OUT) VIN\n");
  s.noise_points = 5;
  s.disto = 1;
  s.disto_arg.assign("RL");
  EXPECT_EQ(body(s), ".AC LIN 10 1 1E+06\n.NOISE V(OUT) VIN 5\n.DISTO RL\n");
  s.disto_count = 1;
  s.disto_reals = {0.9, NO_VALUE, 2.5};  // the first unset real ends the list
  EXPECT_EQ(body(s), ".AC LIN 10 1 1E+06\n.NOISE V(OUT) VIN 5\n.DISTO RL 1 0.9\n");
}

TEST(AnalysisCommands, TemperatureAndStepListsWrapPast131Characters) {
  SimulationSetup s;
  s.temp = 1;
  EXPECT_EQ(body(s), "");  // an empty list writes nothing
  for (int i = 0; i < 40; ++i) s.temps.push_back(-55.125 + i);
  const std::string text = body(s);
  ASSERT_EQ(text.substr(0, 14), ".TEMP -55.125 ");
  size_t start = 0, lines = 0;
  for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1, ++lines) {
    const std::string line = text.substr(start, nl - start);
    EXPECT_LE(line.size(), 131u + 9u) << line;  // one value past the limit at most
    if (lines > 0) {
      EXPECT_EQ(line.substr(0, 3), "+  ");
    }
  }
  EXPECT_GE(lines, 3u);

  SimulationSetup t;
  t.step = 1;
  t.step_kind.assign("PARAM");
  t.step_name.assign("RL");
  t.step_values = {1, 2, 4.7e3};
  EXPECT_EQ(body(t), ".STEP PARAM RL LIST 1 2 4700\n");
  t.step_type = 10;
  t.step_kind.assign("");
  EXPECT_EQ(body(t), ".STEP RL LIST% 1 2 4700\n");
  t.step_values.clear();
  EXPECT_EQ(body(t), "");
}

TEST(AnalysisCommands, StepSweepsTakeIncrementOrPoints) {
  SimulationSetup s;
  s.step = 1;
  s.step_kind.assign("PARAM");
  s.step_name.assign("R");
  s.step_start = 1, s.step_stop = 10, s.step_increment = 0.5, s.step_points = 7;
  const std::pair<int, const char*> cases[] = {{1, ".STEP LIN PARAM R 1 10 0.5\n"},
                                               {2, ".STEP DEC PARAM R 1 10 7\n"},
                                               {3, ".STEP OCT PARAM R 1 10 7\n"},
                                               {11, ".STEP LIN% PARAM R 1 10 0.5\n"},
                                               {12, ".STEP DEC% PARAM R 1 10 7\n"},
                                               {13, ".STEP OCT% PARAM R 1 10 7\n"},
                                               {7, ""}};
  for (const auto& [type, text] : cases) {
    s.step_type = static_cast<int16_t>(type);
    EXPECT_EQ(body(s), text) << type;
  }
}

TEST(AnalysisCommands, StatisticsMonteCarloOrWorstCase) {
  SimulationSetup s;
  s.stats = 1;
  s.mc_runs = 20;
  EXPECT_EQ(body(s), ".MC 20\n");
  s.mc_seed = 17;
  s.stats_file = -1;
  AnalysisCommandOptions o;
  o.statistics_file = "my stats.txt";
  EXPECT_EQ(body(s, nullptr, o), ".MC 20 SEED=17\n.INC \"my stats.txt\"\n\n");
  s.stats_file = 0;
  s.worst_case = 1;
  s.corner_mode = 1;
  EXPECT_EQ(body(s), ".WC  CORNERS\n");
  s.corner_mode = 2;
  EXPECT_EQ(body(s), ".WC  NOCORNER\n");
}

TEST(AnalysisCommands, SaveStatementFollowsTheSimulator) {
  SimulationSetup s;
  s.tran = 1;
  s.tran_step = 1, s.tran_stop = 2;
  s.save = 1;
  int result = 0;
  EXPECT_EQ(body(s, &result), ".TRAN 1 2\n.PROBE\n");
  EXPECT_EQ(result, 1);
  s.voltages_only = 1;
  s.no_subckt = 1;
  AnalysisCommandOptions other;
  other.default_simulator = false;
  EXPECT_EQ(body(s, nullptr, other), ".TRAN 1 2\n.SAVE VONLY NOSUBCKT\n");
  s.save_list = 1;
  s.save_vars = {"V(OUT)", "I(R1)"};
  EXPECT_EQ(body(s), ".TRAN 1 2\n.PROBE V(OUT) I(R1)\n");
}

TEST(AnalysisCommands, PrintGroupsHoldFiveVariablesALine) {
  SimulationSetup s;
  s.ac = 1;
  s.ac_points = 1, s.ac_start = 1, s.ac_stop = 2;
  s.print = 1;
  int result = 0;
  EXPECT_EQ(body(s, &result), ".AC DEC 1 1 2\n");  // no group enabled: still no output
  EXPECT_EQ(result, -1);
  PrintGroup& tran = s.print_groups[1];
  tran.enabled = 1;
  for (int i = 1; i <= 12; ++i) tran.variables.push_back("V(" + std::to_string(i) + ")");
  EXPECT_EQ(body(s, &result),
            ".AC DEC 1 1 2\n"
            ".PRINT TRAN V(1) V(2) V(3) V(4) V(5)\n"
            ".PRINT TRAN V(6) V(7) V(8) V(9) V(10)\n"
            ".PRINT TRAN V(11) V(12)\n");
  EXPECT_EQ(result, 1);
  tran.variables = {std::string(140, 'X'), "V(1)"};  // a long variable ends its line early
  EXPECT_EQ(body(s), ".AC DEC 1 1 2\n.PRINT TRAN " + std::string(140, 'X') + "\n.PRINT TRAN V(1)\n");
  s.print = -1;
  EXPECT_EQ(body(s), ".AC DEC 1 1 2\n");
}

TEST(AnalysisCommands, AutoplotLines) {
  SimulationSetup s;
  s.autoplot = 1;
  PlotSetup p;
  p.enabled = 1;
  p.analysis = 2;
  p.traces = {"V(IN)", "V(OUT)"};
  s.plots.push_back(p);
  EXPECT_EQ(body(s), "#AUTOPLOT  TRAN V(IN) V(OUT)\n");
  s.plots[0].number = 2;
  s.plots[0].axis_scale = 3;
  s.plots[0].x_expression = "V(IN)";
  EXPECT_EQ(body(s), "#AUTOPLOT  TRAN 2 XLOG YLOG X=V(IN) V(IN) V(OUT)\n");

  PlotSetup smith = p;
  smith.plot_type = 1;
  smith.analysis = 3;
  smith.axis_scale = 1;  // scales and X belong to normal plots only
  smith.x_expression = "F";
  PlotSetup histogram = p;
  histogram.plot_type = 2;
  histogram.analysis = 6;
  histogram.traces = {"MAX(V(OUT))"};
  PlotSetup off = p;
  off.enabled = 0;
  s.plots = {smith, histogram, off};
  EXPECT_EQ(body(s), "#AUTOPLOT SMITHCHART V(IN) V(OUT)\n#AUTOPLOT HISTOGRAM TRAN/ALL MAX(V(OUT))\n");

  // Continuation lines repeat the prefix, not the scales or X.
  PlotSetup many = p;
  many.axis_scale = 2;
  many.traces.assign(30, "V(NODE1)");
  s.plots = {many};
  const std::string text = body(s);
  EXPECT_EQ(text.substr(0, 21), "#AUTOPLOT  TRAN YLOG ");
  const size_t second = text.find('\n') + 1;
  EXPECT_EQ(text.substr(second, 25), "#AUTOPLOT  TRAN V(NODE1) ");
}

TEST(AnalysisCommands, WriteReportsAnUncreatableFile) {
  SimulationSetup s;
  RecordingNotify n;
  EXPECT_EQ(write_analysis_commands(nullptr, "x.cmd", "T", {}, n), 0);
  const std::string dir = testing::TempDir() + "/cmd_missing_dir/x.cmd";
  EXPECT_EQ(write_analysis_commands(&s, dir, "T", {}, n), 0);
  EXPECT_EQ(n.texts().back(), "Cannot open analysis command file:\n" + dir);
  const std::string ok = testing::TempDir() + "/cmd_ok.cmd";
  s.tran = 1;
  EXPECT_EQ(write_analysis_commands(&s, ok, "T", {}, n), -1);
  EXPECT_TRUE(std::filesystem::exists(ok));
}

}  // namespace
}  // namespace zephyrim
