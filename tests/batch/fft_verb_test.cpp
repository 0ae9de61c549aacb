// `zephyrim fft` as scripts run it: the spectrum of a sine written as a SPICE3
// text RAW file, read back as the table numpy.loadtxt would read.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "common/file_io.h"
#include "common/text_format.h"
#include "verb_test_support.h"

namespace zephyrim {
namespace {

namespace fs = std::filesystem;

using test::tool;

// One transient plot of V(OUT) = amplitude sin(2 pi f t), `points` points from 0
// to `duration` inclusive.
std::string sine_plot(double amplitude, double f, double duration, int points) {
  std::string s = strprintf(
      "Title: sine\nDate: today\nPlotname: Transient Analysis\nFlags: real\nNo. Variables: 2\n"
      "No. Points: %d\nVariables:\n\t0\ttime\ttime\n\t1\tv(out)\tvoltage\nValues:\n",
      points);
  for (int i = 0; i < points; ++i) {
    const double t = duration * i / (points - 1);
    s += strprintf("%d\t%.17g\n\t%.17g\n", i, t, amplitude * std::sin(2 * M_PI * f * t));
  }
  return s;
}

// A folder of each test's own: ctest runs the tests of this file at the same time.
struct Scratch : test::ScratchFolder {
  Scratch() : ScratchFolder("zephyrim_fft_verb_") {}
  // The 1 kHz sine of amplitude 2 over 10 ms in 1000 points, or the given plots.
  std::string write(const std::string& name, const std::string& text = sine_plot(2, 1000, 10e-3, 1000)) {
    const std::string path = (dir / name).string();
    EXPECT_TRUE(write_file_atomic(path, text));
    return path;
  }
};

// The printed table: its comment lines and its rows of numbers.
struct Table {
  std::vector<std::string> comments;
  std::vector<std::vector<double>> rows;
  // The value in column `column` of the row nearest to frequency f.
  double at(double f, size_t column = 1) const {
    size_t best = 0;
    for (size_t k = 1; k < rows.size(); ++k)
      if (std::fabs(rows[k][0] - f) < std::fabs(rows[best][0] - f)) best = k;
    return rows.at(best).at(column);
  }
  // The largest value of column 1 away from frequency f (more than `guard` lines off).
  double largest_except(double f, size_t guard) const {
    size_t line = 0;
    for (size_t k = 1; k < rows.size(); ++k)
      if (std::fabs(rows[k][0] - f) < std::fabs(rows[line][0] - f)) line = k;
    double most = 0;
    for (size_t k = 0; k < rows.size(); ++k)
      if (k + guard < line || k > line + guard) most = std::max(most, std::fabs(rows[k][1]));
    return most;
  }
};

Table table(const std::string& output) {
  Table t;
  std::istringstream in(output);
  std::string line;
  while (std::getline(in, line)) {
    if (line.starts_with("#")) {
      t.comments.push_back(line);
      continue;
    }
    std::vector<double> row;
    const char* p = line.c_str();
    for (;;) {
      char* end = nullptr;
      const double v = std::strtod(p, &end);
      if (end == p) break;
      row.push_back(v);
      p = end;
    }
    EXPECT_FALSE(row.empty()) << "not a row of numbers: " << line;
    if (!row.empty()) t.rows.push_back(row);
  }
  return t;
}

TEST(FftVerb, SineGivesItsAmplitudeOnA100HzGrid) {
  Scratch s;
  const std::string raw = s.write("sine.raw");
  ProcessResult r = tool({"fft", raw, "V(OUT)"});
  ASSERT_EQ(r.exit_code, 0) << r.output;
  Table t = table(r.output);
  EXPECT_EQ(t.comments, std::vector<std::string>{"# FREQ\tVMFFT(OUT)"});
  // 1000 points take 1024 samples: 512 lines, 1 / 10 ms apart.
  ASSERT_EQ(t.rows.size(), 512u);
  for (size_t k = 0; k < t.rows.size(); ++k) ASSERT_NEAR(t.rows[k][0], 100.0 * k, 1e-9 * k) << k;
  EXPECT_NEAR(t.rows[10][1], 2, 2e-3);
  EXPECT_NEAR(t.rows[0][1], 0, 1e-3);  // the mean
  EXPECT_LT(t.largest_except(1000, 0), 1e-3);

  // More points spread the same record finer in time, not in frequency.
  r = tool({"fft", raw, "v(out)", "--points", "4096"});
  ASSERT_EQ(r.exit_code, 0) << r.output;
  t = table(r.output);
  ASSERT_EQ(t.rows.size(), 2048u);
  EXPECT_NEAR(t.rows[1][0], 100, 1e-9);
  EXPECT_NEAR(t.at(1000), 2, 2e-3);
}

TEST(FftVerb, WindowsAndFormsKeepTheAmplitude) {
  Scratch s;
  const std::string raw = s.write("sine.raw");
  for (const char* window : {"hann", "Hamming", "blackman", "flat-top"}) {
    const ProcessResult r = tool({"fft", raw, "V(OUT)", "--window", window});
    ASSERT_EQ(r.exit_code, 0) << window << r.output;
    EXPECT_NEAR(table(r.output).at(1000), 2, 0.02) << window;
  }
  // A window widens the line: Hann puts half the amplitude on each neighbour.
  const Table hann = table(tool({"fft", raw, "V(OUT)", "--window", "hann"}).output);
  EXPECT_NEAR(hann.at(900), 1, 0.02);
  EXPECT_NEAR(hann.at(1100), 1, 0.02);
  EXPECT_LT(hann.largest_except(1000, 1), 1e-3);

  ProcessResult r = tool({"fft", raw, "V(OUT)", "--form", "dB"});
  ASSERT_EQ(r.exit_code, 0) << r.output;
  Table t = table(r.output);
  EXPECT_EQ(t.comments.at(0), "# FREQ\tVDBFFT(OUT)");
  EXPECT_NEAR(t.at(1000), 20 * std::log10(2.0), 0.01);

  // A sine is imaginary and positive under the sign convention of the transform.
  r = tool({"fft", raw, "V(OUT)", "--form", "complex"});
  ASSERT_EQ(r.exit_code, 0) << r.output;
  t = table(r.output);
  EXPECT_EQ(t.comments.at(0), "# FREQ\tVRFFT(OUT)\tVIFFT(OUT)");
  ASSERT_EQ(t.rows.at(10).size(), 3u);
  EXPECT_NEAR(t.rows[10][1], 0, 0.01);
  EXPECT_NEAR(t.rows[10][2], 2, 0.01);
  r = tool({"fft", raw, "V(OUT)", "--form", "phase"});
  ASSERT_EQ(r.exit_code, 0) << r.output;
  EXPECT_NEAR(table(r.output).at(1000), 90, 0.5);
}

TEST(FftVerb, PeriodsAndTimeWindowPickTheRecord) {
  Scratch s;
  // 10.5 periods: the half period smears the line until --periods cuts it off.
  const std::string raw = s.write("long.raw", sine_plot(2, 1000, 10.5e-3, 1051));
  ProcessResult r = tool({"fft", raw, "V(OUT)"});
  ASSERT_EQ(r.exit_code, 0) << r.output;
  EXPECT_LT(table(r.output).at(1000), 1.9);
  r = tool({"fft", raw, "V(OUT)", "--periods", "1k", "--points", "8192"});
  ASSERT_EQ(r.exit_code, 0) << r.output;
  Table t = table(r.output);
  EXPECT_NEAR(t.rows.at(1)[0], 100, 1e-6);
  EXPECT_NEAR(t.at(1000), 2, 2e-3);
  EXPECT_LT(t.largest_except(1000, 0), 2e-3);
  r = tool({"fft", raw, "V(OUT)", "--periods", "50"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.output.find("shorter than one period"), std::string::npos) << r.output;

  // 2 ms to 4 ms in engineering notation: two periods from the first point at
  // 2 ms to the first one past 4 ms.
  r = tool({"fft", raw, "V(OUT)", "--from", "2m", "--to", "4ms", "--periods", "1kHz"});
  ASSERT_EQ(r.exit_code, 0) << r.output;
  t = table(r.output);
  EXPECT_NEAR(t.rows.at(1)[0], 500, 1e-6);
  EXPECT_NEAR(t.at(1000), 2, 2e-3);
  // Either end alone runs to the other end of the record.
  r = tool({"fft", raw, "V(OUT)", "--from", "0.5m"});
  ASSERT_EQ(r.exit_code, 0) << r.output;
  EXPECT_NEAR(table(r.output).rows.at(1)[0], 100, 0.2);

  // A window outside the record finds no data (1); one that is no window is a usage error (2).
  for (auto [window, status] : {std::pair{std::vector<std::string>{"--from", "20m"}, 1},
                                {{"--to", "-1m"}, 1},
                                {{"--from", "4m", "--to", "2m"}, 2},
                                {{"--from", "soon"}, 2}}) {
    window.insert(window.begin(), {"fft", raw, "V(OUT)"});
    r = tool(window);
    EXPECT_EQ(r.exit_code, status) << window[3];
    EXPECT_NE(r.output.find("zephyrim fft: "), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("# FREQ\t"), std::string::npos) << r.output;
  }
}

TEST(FftVerb, EachRunPrintsABlockOfItsOwn) {
  Scratch s;
  const std::string raw =
      s.write("runs.raw", sine_plot(2, 1000, 10e-3, 1000) + sine_plot(1, 1000, 10e-3, 1000));
  ProcessResult r = tool({"fft", raw, "V(OUT)"});
  ASSERT_EQ(r.exit_code, 0) << r.output;
  const size_t run1 = r.output.find("# run 1 -\n"), run2 = r.output.find("# run 2 -\n");
  ASSERT_NE(run1, std::string::npos) << r.output;
  ASSERT_NE(run2, std::string::npos) << r.output;
  EXPECT_TRUE(r.output.starts_with("# FREQ\tVMFFT(OUT)\n# run 1 -\n")) << r.output.substr(0, 80);
  EXPECT_EQ(table(r.output).rows.size(), 1024u);
  EXPECT_NEAR(table(r.output.substr(run1, run2 - run1)).at(1000), 2, 2e-3);
  EXPECT_NEAR(table(r.output.substr(run2)).at(1000), 1, 1e-3);

  // A run picked prints alone, by --run or after an at sign.
  for (const auto& args : {std::vector<std::string>{"fft", raw, "V(OUT)", "--run", "2"},
                           std::vector<std::string>{"fft", raw, "V(OUT)@2"}}) {
    r = tool(args);
    ASSERT_EQ(r.exit_code, 0) << r.output;
    const Table t = table(r.output);
    EXPECT_EQ(t.comments, std::vector<std::string>{"# FREQ\tVMFFT(OUT)"});
    ASSERT_EQ(t.rows.size(), 512u);
    EXPECT_NEAR(t.at(1000), 1, 1e-3);
  }
  r = tool({"fft", raw, "V(OUT)", "--run", "3"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.output.find("has no run 3"), std::string::npos) << r.output;
}

TEST(FftVerb, BadInputFailsWithAMessage) {
  Scratch s;
  const std::string raw = s.write("sine.raw");
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* message;
  };
  const Case cases[] = {
      {{"--points", "1000"}, 2, "--points needs a power of two from 2 to 16777216"},
      {{"--points", "1"}, 2, "--points"},
      {{"--points", "33554432"}, 2, "--points"},
      {{"--points", "many"}, 2, "--points"},
      {{"--window", "kaiser"}, 2, "--window needs none, hann, hamming, blackman or flattop"},
      {{"--form", "loud"}, 2, "--form needs"},
      {{"--periods", "0"}, 2, "--periods needs a frequency above 0"},
      {{"--run", "0"}, 2, "--run needs"},
      {{"--bins", "4"}, 2, "--bins"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args{"fft", raw, "V(OUT)"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const ProcessResult r = tool(args);
    EXPECT_EQ(r.exit_code, c.status) << c.args[0] << " " << c.args[1] << "\n" << r.output;
    EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("# FREQ\t"), std::string::npos) << r.output;
  }

  ProcessResult r = tool({"fft", raw, "V(IN)"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.output.find("vector V(IN) not found in " + raw), std::string::npos) << r.output;
  r = tool({"fft", raw, "TIME"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.output.find("TIME in " + raw + " is an x axis"), std::string::npos) << r.output;
  // Data that is not transient has no spectrum here.
  const std::string ac = s.write(
      "ac.raw",
      "Title: ac\nDate: today\nPlotname: AC Analysis\nFlags: complex\nNo. Variables: 2\nNo. Points: 2\n"
      "Variables:\n\t0\tfrequency\tfrequency\n\t1\tv(out)\tvoltage\nValues:\n"
      "0\t1.0,0.0\n\t1.0,0.0\n1\t10.0,0.0\n\t0.5,-0.5\n");
  r = tool({"fft", ac, "V(OUT)"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.output.find("is not a real transient vector"), std::string::npos) << r.output;

  r = tool({"fft", (s.dir / "missing.raw").string(), "V(OUT)"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_NE(r.output.find("missing.raw"), std::string::npos) << r.output;
  const std::string junk = s.write("junk.raw", "nothing a reader takes\n");
  r = tool({"fft", junk, "V(OUT)"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_FALSE(r.output.empty());
}

}  // namespace
}  // namespace zephyrim
