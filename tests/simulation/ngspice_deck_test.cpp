#include "simulation/ngspice_deck.h"

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <sstream>

#include "netlist/source_statement.h"
#include "platform/process.h"
#include "simulation/analysis_commands.h"

namespace zephyrim {
namespace {

TEST(NgspiceDeck, StatementsNgspiceReadsDifferently) {
  const NgspiceDeck d = prepare_ngspice_deck(
      "* title\r\n"
      "R1 IN OUT 1k\r\n"
      ".AC DEC 10 1 1E+06\n"
      ".NOISE V(OUT) V1 5\n"
      ".DISTO RL 1 0.9\n"
      ".FOUR 1000 5 V(OUT)\n"
      ".FOUR 1000 V(IN)\n"
      ".TEMP 0 27\n"
      "+  50\n"
      ".STEP PARAM R LIST 1 2\n"
      ".MC 20\n"
      ".PROBE VONLY\n"
      ".PROBE V(OUT)\n"
      "+  V(IN)\n"
      "#AUTOPLOT  TRAN V(OUT)\n"
      ".OPTION SAVEOPB\n"
      ".OPTIONS RELTOL=1E-4 SAVEOPB\n"
      ".END\n");
  const std::vector<std::string> lines = {"* title",
                                          "R1 IN OUT 1k",
                                          ".AC DEC 10 1 1E+06",
                                          ".NOISE V(OUT) V1 DEC 10 1 1E+06 5",
                                          ".DISTO DEC 10 1 1E+06 0.9",
                                          ".save all",
                                          ".save V(OUT) V(IN)",
                                          ".OPTIONS RELTOL=1E-4",
                                          ".END"};
  EXPECT_EQ(d.lines, lines);
  EXPECT_EQ(d.temperatures, (std::vector<double>{0, 27, 50}));
  EXPECT_TRUE(d.unsupported.empty());
  EXPECT_EQ(d.sweeps, (std::vector<std::string>{".STEP PARAM R LIST 1 2", ".MC 20"}));
  EXPECT_EQ(d.hash_lines, std::vector<std::string>{"#AUTOPLOT  TRAN V(OUT)"});
  EXPECT_TRUE(d.save_bias);
  EXPECT_EQ(d.after_run, (std::vector<std::string>{"set nfreqs=6", "fourier 1000 V(OUT)", "set nfreqs=10",
                                                   "fourier 1000 V(IN)"}));
  const std::string text = ngspice_deck_text(d, 2, {"write x.raw"});
  EXPECT_EQ(text.substr(text.find(".TEMP")),
            ".TEMP 50\n.control\nrun\nset nfreqs=6\nfourier 1000 V(OUT)\nset nfreqs=10\nfourier 1000 V(IN)\n"
            "write x.raw\n.endc\n.END\n");
}

TEST(NgspiceDeck, PwlKeywordsBecomePointsAndDelay) {
  const NgspiceDeck d = prepare_ngspice_deck(
      "* t\nV1 IN 0 PWL TD=1m TS=2 VS=10 VOFF=1 \n+ 0,0\n+ 1m,1\nV2 A 0 PWL \n+ 0,0\n+ 1,2\n.NOISE V(OUT) "
      "V1\n");
  EXPECT_EQ(d.lines[1], "V1 IN 0 PWL(0 1 0.002 11) td=0.001");
  EXPECT_EQ(d.lines[2], "V2 A 0 PWL(0 0 1 2)");
  EXPECT_EQ(d.lines.back(), ".save all");  // every vector is kept when nothing says otherwise
  EXPECT_EQ(d.unsupported, std::vector<std::string>{".NOISE V(OUT) V1"});  // no .AC sweep to take
}

// --- what ngspice itself makes of our statements ---

// ngspice's complaints about a deck run in batch mode: every error or warning
// line, or why it did not run.
std::string ngspice_complaints(const std::string& name, const std::string& deck) {
  const std::string path = testing::TempDir() + "/ngspice_" + name + ".cir";
  std::ofstream(path) << deck;
  const ProcessResult r = process_run({"ngspice", "-b", path}, testing::TempDir(), 120);
  if (r.start_error) return "ngspice did not start";
  if (r.timed_out) return "ngspice timed out";
  static const char* const complaints[] = {"error",         "warning", "can't",
                                           "unimplemented", "unknown", "no such"};
  std::string out;
  std::istringstream lines(r.output);
  for (std::string line; std::getline(lines, line);) {
    std::string low = line;
    for (char& ch : low) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    for (const char* c : complaints)
      if (low.find(c) != std::string::npos) {
        out += line + "\n";
        break;
      }
  }
  return out;
}

constexpr const char* kCircuit =
    "* acceptance\n"
    "V1 IN 0 DC 1 AC 1 SIN(0 1 1k)\n"
    "R1 IN OUT 1k\n"
    "C1 OUT 0 1u\n"
    "R2 OUT 0 10k\n"
    "V2 AUX 0 2\n"
    "R3 AUX 0 1k\n";

std::vector<std::string> deck_runs(const std::string& netlist) {
  const NgspiceDeck d = prepare_ngspice_deck(netlist);
  EXPECT_TRUE(d.unsupported.empty()) << d.unsupported.front();
  std::vector<std::string> runs;
  for (size_t run = 0; run < std::max<size_t>(1, d.temperatures.size()); ++run) {
    runs.push_back(ngspice_deck_text(d, static_cast<int>(run)));
  }
  return runs;
}

TEST(NgspiceAccepts, EveryAnalysisStatementOfTheCommandFile) {
  std::vector<std::pair<std::string, SimulationSetup>> cases;
  auto add = [&cases](const std::string& name, auto&& fill) {
    SimulationSetup s;
    fill(s);
    cases.emplace_back(name, s);
  };
  add("op_tf_sens", [](SimulationSetup& s) {
    s.op_group = s.op = s.tf = s.sens = 1;
    s.tf_output.assign("V(OUT)");
    s.tf_input.assign("V1");
    s.sens_vars = {"V(OUT)"};
  });
  add("dc", [](SimulationSetup& s) {
    s.dc = 1;
    s.dc_var.assign("V1");
    s.dc_start = 0, s.dc_stop = 5, s.dc_step = 0.5;
  });
  add("dc_nested", [](SimulationSetup& s) {
    s.dc = s.dc_nested = 1;
    s.dc_var.assign("V1");
    s.dc_start = 0, s.dc_stop = 5, s.dc_step = 0.5;
    s.nested_var.assign("V2");
    s.nested_start = 1, s.nested_stop = 3, s.nested_step = 1;
  });
  const double starts[] = {NO_VALUE, NO_VALUE, 1e-4, 1e-4};
  const double max_steps[] = {NO_VALUE, 1e-6, NO_VALUE, 1e-6};
  for (int i = 0; i < 4; ++i)
    add("tran" + std::to_string(i), [&](SimulationSetup& s) {
      s.tran = 1;
      s.tran_step = 1e-5, s.tran_stop = 2e-3;
      s.tran_start = starts[i], s.tran_max_step = max_steps[i];
      s.uic = i == 3;
    });
  for (int harmonics : {9, 5})
    add("four" + std::to_string(harmonics), [&](SimulationSetup& s) {
      s.tran = s.fourier = 1;
      s.tran_step = 1e-5, s.tran_stop = 2e-3;
      s.fourier_freq = 1000;
      s.harmonics = static_cast<int16_t>(harmonics);
      s.fourier_vars = {"V(OUT)", "V(IN)"};
    });
  for (int type = 0; type < 3; ++type)
    add("ac" + std::to_string(type), [&](SimulationSetup& s) {
      s.ac = 1;
      s.ac_type = static_cast<int16_t>(type);
      s.ac_points = 10, s.ac_start = 10, s.ac_stop = 1e5;
    });
  for (int points : {0, 5})
    add("noise" + std::to_string(points), [&](SimulationSetup& s) {
      s.ac = s.noise = 1;
      s.ac_points = 10, s.ac_start = 10, s.ac_stop = 1e5;
      s.noise_output.assign("V(OUT)");
      s.noise_input.assign("V1");
      s.noise_points = static_cast<int16_t>(points);
    });
  add("temp", [](SimulationSetup& s) {
    s.op_group = s.op = s.temp = 1;
    s.temps = {-40, 27, 85};
  });
  for (const auto& [name, setup] : cases) {
    const std::string commands = analysis_commands_text(setup, analysis_commands_title(), {});
    int run = 0;
    for (const std::string& deck : deck_runs(kCircuit + commands + ".END\n"))
      EXPECT_EQ(ngspice_complaints(name + std::to_string(run++), deck), "") << name << "\n" << deck;
  }
}

TEST(NgspiceAccepts, EverySourceStatement) {
  struct Case {
    const char* name;
    const char* letter;
    int function;
    std::vector<std::string> slots;
  };
  const Case cases[] = {
      {"dc", "V", kSourceNone, {}},
      {"exp", "V", kSourceExp, {"0", "1", "0", "1m", "2m", "1m"}},
      {"pulse2", "V", kSourcePulse, {"0", "1"}},
      {"pulse5", "V", kSourcePulse, {"0", "", "", "", "1u"}},
      {"pulse8", "V", kSourcePulse, {"0", "1", "0", "1u", "1u", "5m", "10m", "3"}},
      {"sffm", "V", kSourceSffm, {"0", "1", "1k", "5", "100"}},
      {"sin", "V", kSourceSin, {"0", "1", "1k", "0", "0", "90"}},
      {"pwl", "V", kSourcePwl, {"1m", "2", "", "0.5", "3"}},
      {"current", "I", kSourceSin, {"0", "1m", "1k"}},
  };
  for (const Case& c : cases) {
    SymbolRecord symbol;
    symbol.name.assign(std::string(c.letter) + "SRC");
    PartRecord part;
    part.symbol = &symbol;
    part.reference.assign(std::string(c.letter) + "1");
    source_set_in_use(part, true);
    source_set_dc(part, true, "2");
    source_set_ac(part, true, "1", c.function == kSourceSin ? "45" : "");
    source_set_function(part, c.function);
    if (c.function != kSourceNone) source_set_values(part, c.function, c.slots);
    if (c.function == kSourcePwl) source_set_pwl_points(part, {{0, 0}, {1e-3, 1}, {2e-3, 0}});
    std::string statement;
    ASSERT_EQ(write_source_statement(statement, part, "IN", "0"), 1) << c.name;
    const std::string netlist =
        "* source\n" + statement + "R1 IN 0 1k\n.TRAN 1E-05 0.003\n.AC DEC 5 10 1E+05\n.END\n";
    for (const std::string& deck : deck_runs(netlist))
      EXPECT_EQ(ngspice_complaints(std::string("source_") + c.name, deck), "") << c.name << "\n" << deck;
  }
}

}  // namespace
}  // namespace zephyrim
