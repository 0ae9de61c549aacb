// The batch tool's FFT against ngspice's own on one transient: a 1 kHz square
// wave through an RC low-pass, compared with the .four table of the last period
// and with ngspice's fft of the whole record.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>

#include "common/file_io.h"
#include "common/text_format.h"
#include "platform/process.h"

namespace zephyrim {
namespace {

namespace fs = std::filesystem;

// The corner lies at 1 / (2 pi 1k 47n) = 3.4 kHz, so the odd harmonics fall off
// from 0.61 V to 0.025 V over the first nine and the even ones stay near zero.
// linearize steps by the .tran step: 10 ms / 8191 gives 8192 points, so that
// ngspice's fft transforms a power of two without padding zeros, with its lines
// 100 Hz apart as ours are.
std::string deck() {
  return strprintf(
      "square wave through an rc low-pass\n"
      "V1 in 0 PULSE(0 1 0 1u 1u 499u 1m)\n"
      "R1 in out 1k\n"
      "C1 out 0 47n\n"
      ".options fourgridsize=4096\n"
      ".tran %.17g 10m 0 1u\n"
      ".four 1k V(out)\n"
      ".control\n"
      "set numdgt=10\n"
      "run\n"
      "write square.raw v(out)\n"
      "linearize v(out)\n"
      "set specwindow=none\n"
      "fft v(out)\n"
      "print frequency[10] mag(v(out))[10] mag(v(out))[20] mag(v(out))[30] mag(v(out))[40] "
      "mag(v(out))[50] mag(v(out))[60] mag(v(out))[70] mag(v(out))[80] mag(v(out))[90]\n"
      ".endc\n"
      ".end\n",
      10e-3 / 8191);
}

// Harmonics 1 to 9 of the .four table of v(out), by number.
std::map<int, double> four_table(const std::string& output) {
  std::map<int, double> found;
  const size_t at = output.find("Fourier analysis for v(out)");
  if (at == std::string::npos) return found;
  std::istringstream in(output.substr(at));
  std::string line;
  while (std::getline(in, line) && found.size() < 9) {
    std::istringstream words(line);
    int harmonic = 0;
    double frequency = 0, magnitude = 0;
    if (words >> harmonic >> frequency >> magnitude && harmonic >= 1 && harmonic <= 9 &&
        std::fabs(frequency - 1000.0 * harmonic) < 1e-6)
      found[harmonic] = magnitude;
  }
  return found;
}

// "name = value" lines of ngspice's print.
std::map<std::string, double> printed(const std::string& output) {
  std::map<std::string, double> found;
  std::istringstream in(output);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string name, equals, value;
    if (!(words >> name >> equals >> value) || equals != "=") continue;
    char* end = nullptr;
    const double v = std::strtod(value.c_str(), &end);
    if (*end == '\0') found[name] = v;
  }
  return found;
}

// Harmonics 1 to 9 of the tool's spectrum, found by their frequency.
std::map<int, double> our_harmonics(const std::string& output) {
  std::map<int, double> found;
  std::istringstream in(output);
  std::string line;
  while (std::getline(in, line)) {
    if (line.starts_with("#")) continue;
    char* end = nullptr;
    const double f = std::strtod(line.c_str(), &end);
    const double h = std::round(f / 1000);
    if (h >= 1 && h <= 9 && std::fabs(f - 1000 * h) < 1e-6)
      found[static_cast<int>(h)] = std::strtod(end, nullptr);
  }
  return found;
}

// The agreement the comparison asks for: 1 % of its own magnitude for an odd
// harmonic; 1 % of the fundamental for an even one, which a symmetric square
// wave leaves near zero, so that its own magnitude is all rounding and
// interpolation and no measure of it.
void expect_harmonics_agree(const std::map<int, double>& ours, const std::map<int, double>& theirs,
                            const char* what) {
  ASSERT_EQ(ours.size(), 9u) << what;
  ASSERT_EQ(theirs.size(), 9u) << what;
  const double fundamental = theirs.at(1);
  ASSERT_GT(fundamental, 0.5) << what;
  for (int h = 1; h <= 9; ++h) {
    const double tolerance = 0.01 * (h % 2 ? theirs.at(h) : fundamental);
    EXPECT_NEAR(ours.at(h), theirs.at(h), tolerance) << what << ": harmonic " << h;
  }
  // The odd ones must be there at all, or agreeing within 1 % of them says nothing.
  EXPECT_GT(theirs.at(9), 0.01) << what;
}

TEST(FftNgspice, SquareWaveHarmonicsAgreeWithNgspice) {
  const fs::path dir = fs::path(testing::TempDir()) / ("zephyrim_fft_ngspice_" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  ASSERT_TRUE(write_file_atomic((dir / "square.cir").string(), deck()));
  const ProcessResult ng = process_run({"ngspice", "-b", "square.cir"}, dir.string(), 120);
  if (ng.start_error != 0) {
    fs::remove_all(dir);
    GTEST_SKIP() << "ngspice is not installed";
  }
  const std::string raw = (dir / "square.raw").string();
  ASSERT_TRUE(file_exists(raw)) << ng.output;

  // .four takes the last period: ours the same one, trimmed by the fundamental.
  const ProcessResult last = process_run(
      {ZEPHYRIM_BATCH_TOOL, "fft", raw, "V(OUT)", "--from", "9m", "--periods", "1k", "--points", "65536"});
  ASSERT_EQ(last.exit_code, 0) << last.output;
  expect_harmonics_agree(our_harmonics(last.output), four_table(ng.output), ".four against --periods");

  // The whole record in ten periods, as the viewer transforms it by default
  // (8192 samples), against ngspice's fft of the same ten periods.
  const ProcessResult whole = process_run({ZEPHYRIM_BATCH_TOOL, "fft", raw, "V(OUT)"});
  ASSERT_EQ(whole.exit_code, 0) << whole.output;
  const auto values = printed(ng.output);
  ASSERT_TRUE(values.contains("frequency[10]")) << ng.output;
  EXPECT_DOUBLE_EQ(values.at("frequency[10]"), 1000);
  std::map<int, double> theirs;
  for (int h = 1; h <= 9; ++h)
    if (const auto it = values.find(strprintf("mag(v(out))[%d]", 10 * h)); it != values.end())
      theirs[h] = it->second;
  expect_harmonics_agree(our_harmonics(whole.output), theirs, "fft against the default");
  fs::remove_all(dir);
}

}  // namespace
}  // namespace zephyrim
