// The engine's Monte Carlo runs through to the histogram: an RC low-pass of 5 %
// parts measured for its -3 dB frequency in each of 200 runs, whose statistics
// and yield `zephyrim histogram` prints and numpy and counting check.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
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

constexpr const char* kPython = "/usr/bin/python3";

struct Folder {
  fs::path path;
  explicit Folder(const std::string& name)
      : path(fs::path(testing::TempDir()) / (name + "_" + std::to_string(getpid()))) {
    fs::remove_all(path);
    fs::create_directories(path);
  }
  ~Folder() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
};

// The tolerances and the measurement, as a schematic's statements file holds them.
constexpr const char* kStatements =
    "* Part tolerances for the Monte Carlo runs.\n"
    ".TOL R* 5%\n"
    ".TOL C* 5%\n"
    "* The -3 dB frequency of each run.\n"
    "#MEASURE AC VALUE F3DB YVAR=FREQUENCY XVAR=VDB(OUT) XVAL=-3\n";

constexpr const char* kNetlist =
    "* RC low-pass, Monte Carlo\n"
    "V1 in 0 AC 1\n"
    "R1 in out 1k\n"
    "C1 out 0 100n\n"
    ".AC DEC 50 10 1MEG\n"
    ".MC 200 SEED=7\n"
    ".INC rc_mc.MIS\n"
    ".PROBE\n"
    ".END\n";

// The lines of `text` that are tab-separated numbers and nothing else.
std::vector<std::vector<double>> number_rows(const std::string& text) {
  std::vector<std::vector<double>> rows;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    std::vector<double> row;
    std::istringstream fields(line);
    bool numbers = true;
    for (std::string f; std::getline(fields, f, '\t');) {
      char* end = nullptr;
      row.push_back(std::strtod(f.c_str(), &end));
      numbers &= !f.empty() && *end == '\0';
    }
    if (numbers && !row.empty()) rows.push_back(row);
  }
  return rows;
}

// The "name<TAB>number" lines of the histogram's output.
std::map<std::string, double> named_lines(const std::string& text) {
  std::map<std::string, double> named;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    const size_t tab = line.find('\t');
    if (tab == std::string::npos || tab == 0 || !std::isalpha(static_cast<unsigned char>(line[0]))) continue;
    char* end = nullptr;
    const double v = std::strtod(line.c_str() + tab + 1, &end);
    if (*end == '\0') named[line.substr(0, tab)] = v;
  }
  return named;
}

TEST(HistogramMc, StatisticsAgreeWithNumpyAndYieldWithCounting) {
  if (process_run({"ngspice", "--version"}).start_error != 0) GTEST_SKIP() << "ngspice is not installed";
  if (process_run({kPython, "-c", "import numpy"}).exit_code != 0) GTEST_SKIP() << "numpy is not installed";
  const Folder folder("zephyrim_histogram_mc");
  ASSERT_TRUE(write_file_atomic((folder.path / "rc_mc.MIS").string(), kStatements));
  const std::string cir = (folder.path / "rc_mc.CIR").string();
  ASSERT_TRUE(write_file_atomic(cir, kNetlist));
  const ProcessResult sim = process_run({ZEPHYRIM_ZSIM, cir}, folder.path.string(), 300);
  ASSERT_EQ(sim.exit_code, 0) << sim.output;
  const std::string out = (folder.path / "rc_mc.OUT").string();

  // The per-run results as a script gets them: RUN# and F3DB a line.
  const ProcessResult listed = process_run({ZEPHYRIM_BATCH_TOOL, "values", out, "F3DB"});
  ASSERT_EQ(listed.exit_code, 0) << listed.output;
  std::vector<double> f3db;
  std::string table;  // the lines as printed, for numpy
  {
    std::istringstream in(listed.output);
    for (std::string line; std::getline(in, line);) {
      const auto row = number_rows(line);
      if (row.size() != 1) continue;
      ASSERT_EQ(row[0].size(), 2u) << line;
      f3db.push_back(row[0][1]);
      table += line + "\n";
    }
  }
  ASSERT_EQ(f3db.size(), 200u) << listed.output;
  // 1 / (2 pi 1k 100n) = 1591.5 Hz, spread by the product of two uniform 5 %
  // parts: about 5 % * sqrt(2 / 3) = 4.1 %.
  const double nominal = 1 / (2 * M_PI * 1e3 * 100e-9);
  for (double f : f3db) ASSERT_TRUE(f > nominal / 1.11 && f < nominal / 0.89) << f;

  const fs::path values_file = folder.path / "f3db.txt";
  ASSERT_TRUE(write_file_atomic(values_file.string(), table));
  const ProcessResult numpy = process_run({kPython, "-c",
                                           "import sys, numpy\n"
                                           "v = numpy.loadtxt(sys.argv[1], usecols=1)\n"
                                           "print('%d %.17g %.17g' % (v.size, v.mean(), v.std(ddof=1)))\n",
                                           values_file.string()});
  ASSERT_EQ(numpy.exit_code, 0) << numpy.output;
  std::istringstream numbers(numpy.output);
  int n = 0;
  double mean = NAN, sd = NAN;
  numbers >> n >> mean >> sd;
  ASSERT_EQ(n, 200) << numpy.output;
  EXPECT_NEAR(mean, nominal, 0.015 * nominal);
  EXPECT_GT(sd, 0.03 * nominal);
  EXPECT_LT(sd, 0.055 * nominal);

  // A yield range whose ends are results themselves: both count.
  std::vector<double> sorted = f3db;
  std::sort(sorted.begin(), sorted.end());
  const double low = sorted[9], high = sorted[189];
  double inside = 0;
  for (double f : f3db) inside += f >= low && f <= high;
  const ProcessResult shown = process_run({ZEPHYRIM_BATCH_TOOL, "histogram", out, "F3DB", "--yield",
                                           strprintf("%.17g", low), strprintf("%.17g", high)});
  ASSERT_EQ(shown.exit_code, 0) << shown.output;
  const auto named = named_lines(shown.output);
  ASSERT_EQ(named.count("samples"), 1u) << shown.output;
  EXPECT_EQ(named.at("samples"), 200);
  EXPECT_NEAR(named.at("mean"), mean, 1e-9 * mean);
  EXPECT_NEAR(named.at("sd"), sd, 1e-9 * sd);
  EXPECT_NEAR(named.at("min"), sorted.front(), 1e-13 * sorted.front());  // printed to 15 digits
  EXPECT_NEAR(named.at("max"), sorted.back(), 1e-13 * sorted.back());
  ASSERT_EQ(named.count("yield"), 1u) << shown.output;
  EXPECT_GE(inside, 181);  // ties only add
  EXPECT_NEAR(named.at("yield"), 100 * inside / 200, 1e-9);

  // Every run in some bin, and the bins as many as it says.
  double counted = 0;
  size_t bins = 0;
  for (const auto& row : number_rows(shown.output))
    if (row.size() == 4) {
      counted += row[3];
      ++bins;
    }
  EXPECT_EQ(counted, 200);
  EXPECT_EQ(static_cast<double>(bins), named.at("bins"));

  // A round range in engineering notation, as a user types it.
  const ProcessResult round =
      process_run({ZEPHYRIM_BATCH_TOOL, "histogram", out, "F3DB", "--yield", "1.55k", "1.65k"});
  ASSERT_EQ(round.exit_code, 0) << round.output;
  inside = 0;
  for (double f : f3db) inside += f >= 1550 && f <= 1650;
  EXPECT_NEAR(named_lines(round.output).at("yield"), 100 * inside / 200, 1e-9);
}

}  // namespace
}  // namespace zephyrim
