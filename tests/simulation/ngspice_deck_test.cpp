#include "simulation/ngspice_deck.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <map>
#include <sstream>

#include "common/text_format.h"
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

// --- model database links ---

// Libraries as the model database gives them, one text per model.
struct FakeDatabase {
  std::map<std::string, std::vector<std::string>> libraries;
  std::vector<std::string> asked;
  ModelDatabaseLinks links() {
    return {"/db", [this](const std::string& library) -> std::optional<std::vector<std::string>> {
              asked.push_back(library);
              const auto it = libraries.find(library);
              if (it == libraries.end()) return std::nullopt;
              return it->second;
            }};
  }
};

FakeDatabase diodes_and_others() {
  FakeDatabase db;
  db.libraries["DIODES"] = {"\n*\n.MODEL D1N4148 D (\n+   IS=2.52E-09 N=1.752 )\n",
                            "\n*\n.SUBCKT ZEN A K\nD1 K A DZ\n.MODEL DZ D (BV=5.1)\n.ENDS ZEN\n"};
  // The same diode again, told apart by its values; a subcircuit of that name
  // is another thing to ngspice and stays.
  db.libraries["OTHER"] = {"\n*\n.model d1n4148 D (\n+   IS=1E-14 )\n",
                           "\n*\n.MODEL Q2N2222 NPN (\n+   BF=200 )\n",
                           "\n*\n.SUBCKT D1N4148 A K\nD1 A K DX\n.MODEL DX D\n.ENDS\n"};
  return db;
}

TEST(NgspiceDeckModelLinks, LinkGivesItsLibrarysModelsInItsPlace) {
  FakeDatabase db = diodes_and_others();
  const auto includes = [](const std::string& name) -> std::optional<std::string> {
    if (name == "parts.inc") return std::string("* parts\n.INC/MDB OTHER\n");
    return std::nullopt;
  };
  const NgspiceDeck d = prepare_ngspice_deck(
      "* title\nR1 A 0 1k\n  .inc/Mdb   DIODES  \nD1 A 0 D1N4148\n.INC parts.inc\n.END\n", includes,
      db.links());
  const std::vector<std::string> lines = {"* title",
                                          "R1 A 0 1k",
                                          "",
                                          "*",
                                          ".MODEL D1N4148 D (    IS=2.52E-09 N=1.752 )",
                                          "",
                                          "*",
                                          ".SUBCKT ZEN A K",
                                          "D1 K A DZ",
                                          ".MODEL DZ D (BV=5.1)",
                                          ".ENDS ZEN",
                                          "D1 A 0 D1N4148",
                                          "* parts",
                                          "",
                                          "*",
                                          ".MODEL Q2N2222 NPN (    BF=200 )",
                                          "",
                                          "*",
                                          ".SUBCKT D1N4148 A K",
                                          "D1 A K DX",
                                          ".MODEL DX D",
                                          ".ENDS",
                                          ".save all",
                                          ".END"};
  EXPECT_EQ(d.lines, lines);
  EXPECT_EQ(db.asked, (std::vector<std::string>{"DIODES", "OTHER"}));
  EXPECT_TRUE(d.errors.empty()) << d.errors.front();
  // OTHER's own diode was left out: DIODES gave it first.
  EXPECT_EQ(d.warnings,
            std::vector<std::string>{
                "model library OTHER: models given before are left out, the first kept: d1n4148 (DIODES)"});

  // The name reaches the database as written, folder, extension and blanks in it.
  db.asked.clear();
  prepare_ngspice_deck("* t\n.INC/MDB \"models/My Diodes.mdb\"\n.INC/MDB ../lib/MDB.MDX\n", {}, db.links());
  EXPECT_EQ(db.asked, (std::vector<std::string>{"models/My Diodes.mdb", "../lib/MDB.MDX"}));
}

TEST(NgspiceDeckModelLinks, LibraryThatCannotBeReadIsAnError) {
  FakeDatabase db = diodes_and_others();
  const NgspiceDeck d =
      prepare_ngspice_deck("* t\n.INC/MDB NONE\n.INC/MDB DIODES\nD1 A 0 D1N4148\n.END\n", {}, db.links());
  EXPECT_EQ(d.errors, std::vector<std::string>{"model library NONE not found in the model database /db"});
  for (const std::string& line : d.lines) EXPECT_EQ(line.find("NONE"), std::string::npos) << line;
  EXPECT_EQ(std::count(d.lines.begin(), d.lines.end(), ".MODEL D1N4148 D (    IS=2.52E-09 N=1.752 )"), 1);
  // Without a database every link is one.
  const NgspiceDeck none = prepare_ngspice_deck("* t\n.INC/MDB DIODES\n.END\n");
  EXPECT_EQ(none.errors, std::vector<std::string>{"model library DIODES not found in the model database "});
  EXPECT_EQ(none.lines, (std::vector<std::string>{"* t", ".save all", ".END"}));
}

TEST(NgspiceDeckModelLinks, ModelOfSeveralLinksIsGivenOnce) {
  FakeDatabase db = diodes_and_others();
  const NgspiceDeck d = prepare_ngspice_deck(
      "* t\n.INC/MDB DIODES\n.INC/MDB OTHER\n.inc/mdb diodes\n.INC/MDB DIODES\n.END\n", {}, db.links());
  const auto count = [&](const std::string& start) {
    return std::count_if(d.lines.begin(), d.lines.end(),
                         [&](const std::string& l) { return ascii_upper(l).rfind(start, 0) == 0; });
  };
  EXPECT_EQ(count(".MODEL D1N4148 "), 1);
  EXPECT_EQ(count(".MODEL D1N4148 D (    IS=2.52E-09"), 1);  // the first one
  EXPECT_EQ(count(".SUBCKT ZEN "), 1);
  EXPECT_EQ(count(".MODEL DZ "), 1);
  EXPECT_EQ(count(".SUBCKT D1N4148 "), 1);
  EXPECT_EQ(count(".MODEL Q2N2222 "), 1);
  // The library itself spelled otherwise is still the library: the database decides.
  db.libraries["diodes"] = db.libraries["DIODES"];
  const NgspiceDeck again = prepare_ngspice_deck(
      "* t\n.INC/MDB DIODES\n.INC/MDB OTHER\n.inc/mdb diodes\n.INC/MDB DIODES\n.END\n", {}, db.links());
  EXPECT_EQ(
      again.warnings,
      (std::vector<std::string>{
          "model library OTHER: models given before are left out, the first kept: d1n4148 (DIODES)",
          "model library diodes: models given before are left out, the first kept: D1N4148 (DIODES), ZEN "
          "(DIODES)",
          "model library DIODES: models given before are left out, the first kept: D1N4148 (DIODES), ZEN "
          "(DIODES)"}));
  EXPECT_TRUE(again.errors.empty());
  // A long repeat names a few models and counts the rest.
  FakeDatabase big;
  for (int i = 0; i < 12; ++i) big.libraries["BIG"].push_back(strprintf(".MODEL M%d D\n", i));
  const NgspiceDeck twice = prepare_ngspice_deck("* t\n.INC/MDB BIG\n.INC/MDB BIG\n", {}, big.links());
  ASSERT_EQ(twice.warnings.size(), 1u);
  EXPECT_EQ(
      twice.warnings[0],
      "model library BIG: models given before are left out, the first kept: M0 (BIG), M1 (BIG), M2 (BIG), "
      "M3 (BIG), M4 (BIG), M5 (BIG), M6 (BIG), M7 (BIG) and 4 more");
}

// Model files put comments, and indented "+" lines, inside a statement; the
// statement still gets all of its lines, as ngspice would give it.
TEST(NgspiceDeck, ContinuationLinesStayWithTheirStatementAcrossComments) {
  FakeDatabase db;
  db.libraries["ZENERS"] = {
      "\n*\n.SUBCKT ZEN A K\n+ PARAMS: BV=5.1\n* the breakdown\nD1 K A DZ\n.MODEL DZ D (BV={BV}\n"
      "* inside a statement\n\n+ IBV=1m)\nV1 A X PWL\n+ 0,0\n  + 1,1\n.ENDS ZEN\n"};
  const NgspiceDeck d =
      prepare_ngspice_deck("* t\n.PROBE V(OUT)\n* between\n+ V(IN)\n.INC/MDB ZENERS\n.END\n", {}, db.links());
  const std::vector<std::string> lines = {"* t",
                                          ".save V(OUT) V(IN)",
                                          "* between",
                                          "",
                                          "*",
                                          ".SUBCKT ZEN A K  PARAMS: BV=5.1",
                                          "* the breakdown",
                                          "D1 K A DZ",
                                          ".MODEL DZ D (BV={BV}  IBV=1m)",
                                          "* inside a statement",
                                          "",
                                          "V1 A X PWL(0 0 1 1)",
                                          ".ENDS ZEN",
                                          ".END"};
  EXPECT_EQ(d.lines, lines);
  // The title is never continued.
  EXPECT_EQ(prepare_ngspice_deck("+ title\n+ more\nR1 A 0 1\n").lines,
            (std::vector<std::string>{"+ title", "+ more", "R1 A 0 1", ".save all"}));
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
