// The complex forms on a real AC run of an RC low-pass: VDB, VP and VG of the
// RAW data against ngspice's own db(), continuous phase and group delay.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <sstream>

#include "common/file_io.h"
#include "platform/process.h"
#include "viewer/calc/calc_fixture.h"
#include "viewer/calc/expression.h"
#include "viewer/data/raw_file.h"

namespace zephyrim {
namespace {

constexpr double kR = 1e3, kC = 159.15494309189535e-9;  // a corner at 1 kHz

constexpr const char* kCircuit =
    "rc lowpass\n"
    "V1 in 0 DC 0 AC 1\n"
    "R1 in out 1k\n"
    "C1 out 0 159.15494309189535n\n"
    ".ac dec 20 10 100k\n"
    ".control\nset numdgt=15\nrun\nwrite rc.raw\n"
    "let gd = -deriv(cph(v(out)))/(2*pi)\n"
    "print db(v(out)) cph(v(out)) gd\n.endc\n.end\n";

// The printed columns by name, each row at its index (the listing comes in pages).
std::map<std::string, std::map<int, double>> parse_columns(const std::string& out) {
  std::map<std::string, std::map<int, double>> columns;
  std::vector<std::string> names;
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string first;
    words >> first;
    if (first == "Index") {
      names.clear();
      for (std::string w; words >> w;) names.push_back(w);
    } else if (!first.empty() && std::isdigit(static_cast<unsigned char>(first[0])) && !names.empty()) {
      const int index = std::atoi(first.c_str());
      for (size_t k = 0; k < names.size(); ++k) {
        // stderr's notes can land in the middle of a row: take whole numbers only.
        std::string w;
        char* end = nullptr;
        if (!(words >> w)) break;
        const double v = std::strtod(w.c_str(), &end);
        if (*end != '\0') break;
        columns[names[k]][index] = v;
      }
    }
  }
  return columns;
}

TEST(NgspiceCalc, DerivedFormsAgreeWithNgspice) {
  const auto dir =
      std::filesystem::temp_directory_path() / ("zephyrim_ngspice_calc_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  ASSERT_TRUE(write_file_atomic((dir / "rc.cir").string(), kCircuit));
  // The listing goes to a file of its own, away from the notes on stderr.
  // ngspice ends a batch run with a .control section by a non-zero status; the listing tells.
  const ProcessResult run = process_run({"ngspice", "-b", "-o", "listing.txt", "rc.cir"}, dir.string());
  auto columns = parse_columns(read_text_file((dir / "listing.txt").string()).value_or(""));
  const auto& db = columns["db(v(out))"];
  const auto& cph = columns["cph(v(out))"];
  const auto& gd = columns["gd"];
  ASSERT_EQ(db.size(), 81u) << run.output;
  ASSERT_EQ(gd.size(), 81u);

  CalcStore s;
  ASSERT_GT(raw_read_file(s.store, (dir / "rc.raw").string(), false), 1);
  std::filesystem::remove_all(dir);
  const ExprSelection ac{.kind = ANALYSIS_AC};
  ExprResult vdb, vp, vg;
  ASSERT_EQ(expr_calculate(s.store, "VDB(OUT)", ac, vdb), 1) << s.notify.last();
  ASSERT_EQ(expr_calculate(s.store, "VP(OUT)", ac, vp), 1);
  ASSERT_EQ(expr_calculate(s.store, "VG(OUT)", ac, vg), 1);
  ASSERT_EQ(vdb.re.size(), 81u);
  for (int i = 0; i < 81; ++i) {
    EXPECT_NEAR(vdb.re[i], db.at(i), 1e-9) << i;
    EXPECT_NEAR(vp.re[i], cph.at(i) * 180 / M_PI, 1e-9) << i;
    // Inside, both take a mean of the differences on each side; at the ends
    // ngspice fits a curve where the one-sided difference is all there is.
    const double tolerance = i == 0 || i == 80 ? 0.2 : 0.01;
    EXPECT_NEAR(vg.re[i], gd.at(i), tolerance * gd.at(i)) << i;
  }
  // The -3 dB point, interpolated on the logarithmic frequency axis.
  const auto f = vdb.x_values;
  double corner = 0;
  for (size_t i = 1; i < f.size() && corner == 0; ++i) {
    const double target = -10 * std::log10(2.0);
    if (vdb.re[i - 1] > target && vdb.re[i] <= target) {
      const double t = (target - vdb.re[i - 1]) / (vdb.re[i] - vdb.re[i - 1]);
      corner = std::exp(std::log(f[i - 1]) + t * (std::log(f[i]) - std::log(f[i - 1])));
    }
  }
  EXPECT_NEAR(corner, 1 / (2 * M_PI * kR * kC), 0.01 * 1000);
  // At the corner the phase is -45 degrees and the delay RC/2.
  EXPECT_NEAR(vp.re[40], -45, 1e-6);
  EXPECT_NEAR(vg.re[40], kR * kC / 2, 0.01 * kR * kC / 2);
}

}  // namespace
}  // namespace zephyrim
