#include "simulation/sim_setup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>
#include <utility>

#include "common/file_io.h"

namespace zephyrim {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr size_t kFixedAt = 20;  // the fixed part follows marker, version and size
const std::string kPath = "rc.sim";

int16_t get_i16(const Bytes& b, size_t at) {
  return static_cast<int16_t>(b[at] | b[at + 1] << 8);
}
void put_i16(Bytes& b, size_t at, int16_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8);
}

// Every group on, every list and reserved range holding something.
SimulationSetup filled() {
  SimulationSetup s;
  s.any_enabled = s.op_group = s.op = s.tf = s.sens = s.dc = s.dc_nested = s.ac = s.noise = s.disto = 1;
  s.tran = s.uic = s.fourier = s.temp = s.step = s.stats = s.save = s.save_list = s.print = s.autoplot = 1;
  s.alternate = s.worst_case = 1;
  s.tf_output.assign("V(OUT)");
  s.tf_input.assign("VIN");
  s.sens_vars = {"V(OUT)", "", "I(R1)"};
  s.dc_var.assign("VIN");
  s.dc_start = -1, s.dc_stop = 1, s.dc_step = 0.01;
  s.nested_var.assign("VCC");
  s.nested_start = 5, s.nested_stop = 15, s.nested_step = 5;
  s.ac_type = 2, s.ac_points = 101, s.ac_start = 10, s.ac_stop = 1e9;
  s.noise_output.assign("V(OUT)"), s.noise_input.assign("VIN"), s.noise_points = 10;
  s.disto_arg.assign("RL"), s.disto_count = 2, s.disto_reals = {0.9, NO_VALUE, 1e-3};
  s.tran_step = 1e-9, s.tran_stop = 1e-6, s.tran_max_step = NO_VALUE, s.tran_start = 0;
  s.fourier_freq = 1e6, s.harmonics = 5, s.fourier_vars = {"V(OUT)"};
  s.temps = {-40, 27, 125};
  s.step_kind.assign("PARAM"), s.step_name.assign("RVAL"), s.step_type = 11, s.step_points = 4;
  s.step_start = 1e3, s.step_stop = 1e4, s.step_increment = 1e3, s.step_values = {1, 2.2, 4.7};
  s.mc_runs = 100, s.mc_seed = 7, s.stats_file = -1, s.corner_mode = 2;
  s.voltages_only = 1, s.no_subckt = 1, s.save_vars = {"V(1)", "V(2)"};
  s.print_groups[1].enabled = 1;
  s.print_groups[1].variables = {"V(1)", "V(2)", "V(3)"};
  s.reserved_84 = {1, 2};
  s.reserved_526.fill(3);
  s.reserved_548.fill(4);
  s.reserved_2344 = {5, 6};
  s.reserved_2410.fill(7);
  s.reserved_2420.fill(8);
  s.reserved_2430.fill(9);
  s.dc_var.bytes[20] = 'x';  // bytes after the NUL of a text field are kept too
  s.plots.push_back({1, 0, 2, 1, 1, "TIME", {"V(OUT)", "V(IN)*2"}});
  s.plots.push_back({1, 2, 0, 0, 0, "", {}});
  return s;
}

int decode(SimulationSetup& s, const Bytes& b, RecordingNotify& n) {
  return setup_decode(s, b, kPath, n);
}

TEST(SimSetup, FilledSetupRoundTripsByteForByte) {
  const SimulationSetup s = filled();
  const Bytes bytes = setup_encode(s);
  SimulationSetup back;
  RecordingNotify n;
  ASSERT_EQ(decode(back, bytes, n), 0);
  EXPECT_TRUE(n.entries().empty());
  EXPECT_EQ(back, s);
  EXPECT_EQ(setup_encode(back), bytes);

  // The layout at a few landmarks.
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 16), std::string("SIMSETUP\0\0\0\0\0\0\0\0", 16));
  EXPECT_EQ(get_i16(bytes, 16), 300);
  EXPECT_EQ(get_i16(bytes, 18), 2560);
  EXPECT_EQ(get_i16(bytes, kFixedAt + 74), 3);    // sensitivity list count
  EXPECT_EQ(get_i16(bytes, kFixedAt + 482), 11);  // step sweep type
  EXPECT_EQ(get_i16(bytes, kFixedAt + 2408), 2);  // plot setups
  EXPECT_EQ(get_i16(bytes, kFixedAt + 2428), 2);  // corner mode
  EXPECT_EQ(bytes[kFixedAt + 2559], 9);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bytes[kFixedAt + 2560])), "OPVARSTART");
}

TEST(SimSetup, SaveAndLoadThroughTheFile) {
  const auto dir = std::filesystem::temp_directory_path() / "zephyrim_sim_setup_test";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "rc.sim").string();
  RecordingNotify n;
  SimulationSetup s;
  EXPECT_EQ(load_setup(s, path, n), 0);  // a new schematic has no setup file: no notice
  EXPECT_TRUE(n.entries().empty());
  ASSERT_EQ(save_setup(filled(), path, n), 1);
  ASSERT_EQ(load_setup(s, path, n), 1);
  EXPECT_EQ(s, filled());
  EXPECT_EQ(save_setup(s, (dir / "none" / "rc.sim").string(), n), 0);
  EXPECT_EQ(n.last(), "Cannot open file " + (dir / "none" / "rc.sim").string());
  std::filesystem::remove_all(dir);
}

TEST(SimSetup, DefaultsAndTheirFile) {
  SimulationSetup s = filled();
  reset_setup(s);
  EXPECT_EQ(s.print, -1);
  EXPECT_EQ(s.autoplot, -1);
  EXPECT_EQ(s.print_groups[2].analysis, 2);
  EXPECT_EQ(s.print_groups[3].variables, (SetupList<std::string>{"INOISE", "ONOISE"}));
  EXPECT_EQ(s.print_groups[4].variables.size(), 5u);
  EXPECT_FALSE(has_value(s.tran_max_step));
  EXPECT_EQ(s.reserved_548[0], 0);
  // No plot setups: the file ends right after the fifth print section.
  const Bytes b = setup_encode(s);
  const size_t print4 = b.size() - (16 + 2 + 5 * 3 + 3 + 3 + 4 + 4 + 4);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[print4])), "PRINTVARSTART");
  EXPECT_EQ(get_i16(b, print4 + 16), 5);

  setup_mark_enabled(s);  // print and autoplot at -1 are off
  EXPECT_EQ(s.any_enabled, 0);
  s.noise = 1;  // not a group switch of its own
  setup_mark_enabled(s);
  EXPECT_EQ(s.any_enabled, 0);
  s.autoplot = 1;
  setup_mark_enabled(s);
  EXPECT_EQ(s.any_enabled, 1);
}

TEST(SimSetup, PlotWithoutXExpressionStoresZeroLength) {
  SimulationSetup s;
  s.plots.push_back({1, 0, 0, 0, 0, "", {"V(1)"}});
  const Bytes b = setup_encode(s);
  const size_t record = b.size() - (16 + 2 + 2 + 5) - 2 - kPlotSetupSize;
  EXPECT_EQ(get_i16(b, record + kPlotSetupSize), 0);
  EXPECT_EQ(b[record + kPlotSetupSize + 2], 'P');  // the trace section follows at once
}

// Every refusal names its error number and leaves nothing of the file behind.
void expect_refused(const Bytes& b, int code) {
  SCOPED_TRACE(code);
  SimulationSetup s = filled();
  RecordingNotify n;
  EXPECT_EQ(decode(s, b, n), code);
  EXPECT_EQ(s, SimulationSetup());
  EXPECT_EQ(n.last(), "Error number " + std::to_string(code) + " reading simulation setup");
  EXPECT_EQ(n.entries().back().kind, NoticeKind::Warning);
}

TEST(SimSetup, RefusesTruncatedFiles) {
  const Bytes b = setup_encode(filled());
  const std::pair<size_t, int> cuts[] = {{0, 10},  {15, 10},   {16, 20},  {18, 21},
                                         {20, 24}, {2579, 24}, {2581, 1}, {b.size() - 1, 1}};
  for (const auto& [size, code] : cuts) expect_refused(Bytes(b.begin(), b.begin() + size), code);
  // Inside the first plot setup: its record, X length, X text.
  SimulationSetup one;
  one.plots.push_back({1, 0, 0, 0, 0, "TIME", {}});
  const Bytes p = setup_encode(one);
  const size_t rec = p.size() - 18 - 5 - 2 - kPlotSetupSize;
  expect_refused(Bytes(p.begin(), p.begin() + rec + 21), 41);
  expect_refused(Bytes(p.begin(), p.begin() + rec + 23), 42);
  expect_refused(Bytes(p.begin(), p.begin() + rec + 26), 43);
}

TEST(SimSetup, RefusesWrongMarkerNamingTheFile) {
  Bytes b = setup_encode(filled());
  b[0] = 'X';
  expect_refused(b, 11);
  RecordingNotify n;
  SimulationSetup s;
  decode(s, b, n);
  ASSERT_EQ(n.entries().size(), 2u);
  EXPECT_EQ(n.entries()[0].kind, NoticeKind::Error);
  EXPECT_EQ(n.entries()[0].text, "rc.sim not a valid setup file");
}

TEST(SimSetup, RefusesAbsurdCountsAndLengths) {
  const Bytes good = setup_encode(SimulationSetup());
  const size_t sens_count = kFixedAt + 2560 + 16;
  auto with = [&](size_t at, int16_t v, Bytes b) {
    put_i16(b, at, v);
    return b;
  };
  expect_refused(with(sens_count, 32767, good), 1);
  expect_refused(with(sens_count, -1, good), 1);
  expect_refused(with(kFixedAt + 2408, -1, good), 40);
  expect_refused(with(kFixedAt + 2408, 32767, good), 41);
  Bytes renamed = good;
  renamed[kFixedAt + 2560 + 3] = 'X';  // "OPVXRSTART"
  expect_refused(renamed, 1);

  SimulationSetup s;
  s.sens_vars = {"V(1)"};
  const Bytes one = setup_encode(s);
  expect_refused(with(sens_count + 2, -4, one), 1);
  expect_refused(with(sens_count + 2, static_cast<int16_t>(kMaxSetupText + 1), one), 1);
}

TEST(SimSetup, WriterKeepsTextsItsReaderAccepts) {
  SimulationSetup s;
  s.sens_vars = {std::string(kMaxSetupText + 10, 'A'), std::string("V(1)\0tail", 9)};
  s.plots.push_back({1, 0, 0, 0, 0, std::string(kMaxSetupText + 1, 'X'), {}});
  SimulationSetup back;
  RecordingNotify n;
  ASSERT_EQ(decode(back, setup_encode(s), n), 0);
  EXPECT_EQ(back.sens_vars[0].size(), kMaxSetupText);
  EXPECT_EQ(back.sens_vars[1], "V(1)");
  EXPECT_EQ(back.plots[0].x_expression.size(), kMaxSetupText);
}

TEST(SimSetup, OlderVersionsReadTheirShorterFixedPart) {
  const Bytes current = setup_encode(filled());
  for (const auto& [version, length, code] : {std::tuple{150, 566, 22}, std::tuple{250, 1010, 23}}) {
    Bytes b(current.begin(), current.begin() + kFixedAt + length);
    put_i16(b, 16, static_cast<int16_t>(version));
    expect_refused(Bytes(b.begin(), b.end() - 1), code);
    const Bytes lists(current.begin() + kFixedAt + 2560, current.end());
    b.insert(b.end(), lists.begin(), lists.end());
    SimulationSetup s;
    RecordingNotify n;
    ASSERT_EQ(decode(s, b, n), 0);
    EXPECT_EQ(s.tran_stop, 1e-6);
    EXPECT_EQ(s.print, -1);  // beyond the old part: default
    EXPECT_TRUE(s.plots.empty());
    EXPECT_EQ(s.sens_vars, filled().sens_vars);
  }
}

TEST(SimSetup, StepDialogChecks) {
  RecordingNotify n;
  EXPECT_EQ(step_check("", 1, 1, 0, n), StepField::name);
  EXPECT_EQ(n.last(), "Step variable name missing");
  EXPECT_EQ(n.entries().back().kind, NoticeKind::Information);
  EXPECT_EQ(step_check("R", step_sweep_type(1, true), 0, 5, n), StepField::increment);
  EXPECT_EQ(n.last(), "Invalid sweep step value 0");
  EXPECT_EQ(step_check("R", 1, NO_VALUE, 5, n), StepField::increment);
  EXPECT_EQ(step_check("R", 13, 1, 0, n), StepField::points);
  EXPECT_EQ(n.last(), "Invalid number of points 0");
  n.clear();
  EXPECT_EQ(step_check("R", 0, 0, 0, n), StepField::none);  // a list needs neither
  EXPECT_EQ(step_check("R", 2, 0, 1, n), StepField::none);
  EXPECT_TRUE(n.entries().empty());
  EXPECT_STREQ(step_variable_kind(true), "PARAM");
}

TEST(SimSetup, DumpListsEveryValueInAFixedOrder) {
  const std::string d = setup_dump(filled());
  EXPECT_EQ(d, setup_dump(filled()));
  for (const char* line : {"op.tf_output = \"V(OUT)\"\n", "op.sens_vars[1] = \"\"\n", "tran.max_step = *\n",
                           "tran.stop = 1u\n", "temp.values[0] = -40\n", "plot[1].x = -\n"})
    EXPECT_NE(d.find(line), std::string::npos) << line;
  EXPECT_LT(d.find("op.switch"), d.find("plot[1].traces.count = 0"));
}

}  // namespace
}  // namespace zephyrim
