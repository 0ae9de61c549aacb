// The bundled examples go through the batch tool's netlist and ngspice, and
// the results must be the physics the circuits were drawn for.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <filesystem>
#include <sstream>

#include "common/file_io.h"
#include "platform/process.h"
#include "simulation/ngspice_deck.h"

namespace zephyrim {
namespace {

namespace fs = std::filesystem;

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// A copy of the example and its setup in a folder of its own.
std::string copy_example(const std::string& name) {
  const fs::path dir = fs::path(testing::TempDir()) / ("example_" + name);
  fs::remove_all(dir);
  fs::create_directories(dir);
  for (const char* ext : {".sch", ".SIM"})
    fs::copy_file(fs::path(ZEPHYRIM_SOURCE_DIR) / "examples" / (name + ext), dir / (name + ext));
  return (dir / (name + ".sch")).string();
}

// Netlists the schematic with the batch tool and runs ngspice on it with the
// given commands after the run; returns ngspice's output.
std::string simulate(const std::string& schematic, const std::vector<std::string>& control) {
  const ProcessResult netlist = process_run({ZEPHYRIM_BATCH_TOOL, "netlist", schematic});
  EXPECT_EQ(netlist.exit_code, 0) << netlist.output;
  const fs::path folder = fs::path(schematic).parent_path();
  const auto cir = read_text_file(fs::path(schematic).replace_extension("CIR").string());
  if (!cir) {
    ADD_FAILURE() << "no netlist";
    return {};
  }
  const NgspiceDeck deck = prepare_ngspice_deck(
      *cir, [&](const std::string& name) { return read_text_file((folder / name).string()); });
  EXPECT_TRUE(deck.unsupported.empty());
  const std::string path = (folder / "deck.cir").string();
  EXPECT_TRUE(write_file_atomic(path, ngspice_deck_text(deck, 0, control)));
  const ProcessResult run = process_run({"ngspice", "-b", path}, folder.string(), 120);
  EXPECT_EQ(run.start_error, 0) << "ngspice did not start";
  EXPECT_EQ(lower(run.output).find("error"), std::string::npos) << run.output;
  return run.output;
}

// The number ngspice printed at the start of a line as "name = value".
double value_of(const std::string& output, const std::string& name) {
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    const size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || lower(line.substr(start, name.size())) != name) continue;
    const size_t eq = line.find_first_not_of(" \t", start + name.size());
    if (eq == std::string::npos || line[eq] != '=') continue;
    return std::stod(line.substr(eq + 1));
  }
  ADD_FAILURE() << name << " not in:\n" << output;
  return NAN;
}

TEST(ExamplesSimulate, RcLowPassRisesWithItsTimeConstant) {
  // The pulse steps from 0 to 1 V in 1 us; 63.2 % comes one R*C = 1 ms later.
  const std::string out =
      simulate(copy_example("rc_lowpass"), {"meas tran t63 when v(out)=0.6321206 rise=1", "echo done"});
  const double tau = value_of(out, "t63") - 0.5e-6;
  EXPECT_NEAR(tau, 1e-3, 1e-3 * 0.01) << out;
}

TEST(ExamplesSimulate, AmplifierBiasIsTheHandCalculation) {
  // Divider 47k/10k from 12 V into the base, RE 1k, RC 4.7k; the model has
  // IS = 1e-14, BF = 100, VAF = 100 (forward Early effect on the collector).
  const double vcc = 12, r1 = 47e3, r2 = 10e3, re = 1e3, rc = 4.7e3, is = 1e-14, bf = 100, vaf = 100;
  const double vt = 1.380649e-23 * 300.15 / 1.602176634e-19;
  const double vth = vcc * r2 / (r1 + r2), rth = r1 * r2 / (r1 + r2);
  double vbe = 0.5, hi = 0.9, lo = 0.3, vc = 0;
  for (int i = 0; i < 200; ++i) {  // the base-emitter voltage where the loop closes
    vbe = (lo + hi) / 2;
    const double ib = is / bf * std::exp(vbe / vt);
    double ic = bf * ib;
    for (int k = 0; k < 20; ++k) {
      vc = vcc - ic * rc;
      const double vb = vth - ib * rth;
      ic = bf * ib * (1 + (vc - vb) / vaf);
    }
    const double vb = vth - ib * rth, ve = (ib + ic) * re;
    (vb - ve > vbe ? lo : hi) = vbe;
  }
  const std::string out = simulate(copy_example("amplifier"), {"setplot op1", "print v(c)"});
  EXPECT_NEAR(value_of(out, "v(c)"), vc, vc * 0.05) << "hand calculation " << vc;
}

TEST(ExamplesSimulate, TwoPageAmplifierGainsTwoThroughItsSubcircuit) {
  const std::string out =
      simulate(copy_example("opamp_two_page"),
               {"setplot tran1", "meas tran peak max v(out)", "setplot dc1",
                "meas dc at_one find v(out) at=1", "meas dc at_minus_two find v(out) at=-2"});
  EXPECT_NEAR(value_of(out, "peak"), 2.0, 0.02);
  EXPECT_NEAR(value_of(out, "at_one"), 2.0, 0.01);
  EXPECT_NEAR(value_of(out, "at_minus_two"), -4.0, 0.02);
}

}  // namespace
}  // namespace zephyrim
