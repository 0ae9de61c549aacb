// `zephyrim histogram` as scripts run it: the statistics, bins and yield of a
// vector of known values written as a SPICE3 text RAW file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>

#include "common/file_io.h"
#include "common/text_format.h"
#include "verb_test_support.h"

namespace zephyrim {
namespace {

namespace fs = std::filesystem;

using test::tool;

// One DC sweep plot of V(A) over the sweep 0, 1, 2, ...: the values as given,
// written as C++ prints them (nan and inf included).
std::string values_plot(const std::vector<double>& values) {
  std::string s = strprintf(
      "Title: values\nDate: today\nPlotname: DC transfer characteristic\nFlags: real\nNo. Variables: 2\n"
      "No. Points: %zu\nVariables:\n\t0\tv-sweep\tvoltage\n\t1\tv(a)\tvoltage\nValues:\n",
      values.size());
  for (size_t i = 0; i < values.size(); ++i) s += strprintf("%zu\t%zu\n\t%.17g\n", i, i, values[i]);
  return s;
}

// 1, 2, ..., 20: mean 10.5, sample standard deviation sqrt(35).
std::vector<double> one_to_twenty() {
  std::vector<double> v;
  for (int i = 1; i <= 20; ++i) v.push_back(i);
  return v;
}

// A folder of each test's own: ctest runs the tests of this file at the same time.
struct Scratch : test::ScratchFolder {
  Scratch() : ScratchFolder("zephyrim_histogram_verb_") {}
  std::string write(const std::string& name, const std::vector<double>& values = one_to_twenty()) {
    const std::string path = (dir / name).string();
    EXPECT_TRUE(write_file_atomic(path, values_plot(values)));
    return path;
  }
};

struct Bin {
  double low, high, centre, count;
};

// The printed histogram: the named lines, the bins, and the lines of neither
// kind (the messages on stderr come interleaved).
struct Printed {
  std::map<std::string, double> named;
  std::vector<std::string> order;  // the names as they came
  std::vector<Bin> bins;
  bool header = false;
  std::vector<std::string> other;

  double at(const std::string& name) const {
    const auto it = named.find(name);
    EXPECT_NE(it, named.end()) << "no line " << name;
    return it == named.end() ? NAN : it->second;
  }
  double total() const {
    double n = 0;
    for (const Bin& b : bins) n += b.count;
    return n;
  }
};

Printed printed(const std::string& output) {
  Printed p;
  std::istringstream in(output);
  for (std::string line; std::getline(in, line);) {
    if (line == "# bin_low\tbin_high\tcentre\tcount") {
      p.header = true;
      continue;
    }
    std::vector<std::string> f;
    std::istringstream fields(line);
    for (std::string x; std::getline(fields, x, '\t');) f.push_back(x);
    char* end = nullptr;
    if (f.size() == 2 && !f[0].empty() && std::isalpha(static_cast<unsigned char>(f[0][0]))) {
      const double v = std::strtod(f[1].c_str(), &end);
      if (*end == '\0') {
        p.named[f[0]] = v;
        p.order.push_back(f[0]);
        continue;
      }
    }
    if (f.size() == 4 && p.header) {
      double x[4];
      bool ok = true;
      for (int i = 0; i < 4; ++i) {
        x[i] = std::strtod(f[static_cast<size_t>(i)].c_str(), &end);
        ok &= *end == '\0';
      }
      if (ok) {
        p.bins.push_back({x[0], x[1], x[2], x[3]});
        continue;
      }
    }
    p.other.push_back(line);
  }
  return p;
}

// Every value of `values` counted in the bin whose edges hold it, as printed.
void expect_counts_match_edges(const Printed& p, const std::vector<double>& values, bool last_closed) {
  for (size_t k = 0; k < p.bins.size(); ++k) {
    const Bin& b = p.bins[k];
    const bool last = k + 1 == p.bins.size();
    double n = 0;
    for (double v : values) n += v >= b.low && (v < b.high || (last && last_closed && v == b.high));
    EXPECT_EQ(b.count, n) << "bin " << k << " [" << b.low << ", " << b.high << ")";
    EXPECT_NEAR(b.centre, (b.low + b.high) / 2, 1e-12 * std::fabs(b.high - b.low) + 1e-12) << k;
    if (k > 0) {
      EXPECT_DOUBLE_EQ(b.low, p.bins[k - 1].high) << k;
    }
  }
}

TEST(HistogramVerb, StatisticsAndAutomaticBins) {
  Scratch s;
  const std::string raw = s.write("values.raw");
  const ProcessResult r = tool({"histogram", raw, "V(A)"});
  ASSERT_EQ(r.exit_code, 0) << r.output;
  const Printed p = printed(r.output);
  EXPECT_TRUE(p.other.empty()) << r.output;
  EXPECT_EQ(p.order, (std::vector<std::string>{"samples", "mean", "sd", "min", "max", "bin", "bins"}));
  EXPECT_EQ(p.at("samples"), 20);
  EXPECT_DOUBLE_EQ(p.at("mean"), 10.5);
  EXPECT_NEAR(p.at("sd"), std::sqrt(35.0), 1e-13);
  EXPECT_EQ(p.at("min"), 1);
  EXPECT_EQ(p.at("max"), 20);
  // Half of 5.92 rounds to 2.5, whose 9 bins are too few for 20 samples: halved once.
  EXPECT_DOUBLE_EQ(p.at("bin"), 1.25);
  EXPECT_EQ(p.at("bins"), 17);
  ASSERT_EQ(p.bins.size(), 17u);
  EXPECT_DOUBLE_EQ(p.bins.front().low, 10.5 - 8 * 1.25 - 0.625);
  EXPECT_DOUBLE_EQ(p.bins.back().high, 10.5 + 8 * 1.25 + 0.625);
  expect_counts_match_edges(p, one_to_twenty(), false);
  EXPECT_EQ(p.total(), 20);
  EXPECT_EQ(p.named.count("yield"), 0u);

  // The help documents the layout it prints.
  const ProcessResult help = tool({"histogram", "--help"});
  EXPECT_EQ(help.exit_code, 0);
  for (const char* word :
       {"samples", "skipped", "# bin_low<TAB>bin_high<TAB>centre<TAB>count", "yield<TAB>P"})
    EXPECT_NE(help.output.find(word), std::string::npos) << word;
}

TEST(HistogramVerb, NonFiniteValuesAreLeftOutAndCounted) {
  Scratch s;
  std::vector<double> v = one_to_twenty();
  v.insert(v.begin() + 3, NAN);
  v.push_back(INFINITY);
  const ProcessResult r = tool({"histogram", s.write("gaps.raw", v), "v(a)", "--yield", "1", "10"});
  ASSERT_EQ(r.exit_code, 0) << r.output;
  const Printed p = printed(r.output);
  EXPECT_EQ(p.at("samples"), 20);
  EXPECT_EQ(p.at("skipped"), 2);
  EXPECT_DOUBLE_EQ(p.at("mean"), 10.5);
  EXPECT_EQ(p.total(), 20);
  // Of the finite values only: 10 of 20.
  EXPECT_DOUBLE_EQ(p.at("yield"), 50);

  const ProcessResult none = tool({"histogram", s.write("none.raw", {NAN, NAN}), "V(A)"});
  EXPECT_EQ(none.exit_code, 1) << none.output;
  EXPECT_NE(none.output.find("has no values to count"), std::string::npos) << none.output;
}

TEST(HistogramVerb, EqualBinsSpanTheValuesAndHoldTheLargest) {
  Scratch s;
  const std::string raw = s.write("values.raw");
  ProcessResult r = tool({"histogram", raw, "V(A)", "--bins", "4"});
  ASSERT_EQ(r.exit_code, 0) << r.output;
  Printed p = printed(r.output);
  EXPECT_DOUBLE_EQ(p.at("bin"), 4.75);
  EXPECT_EQ(p.at("bins"), 4);
  ASSERT_EQ(p.bins.size(), 4u);
  EXPECT_EQ(p.bins.front().low, 1);
  // 19 / 4.75 lands 20 exactly on the last edge, which that bin includes.
  EXPECT_EQ(p.bins.back().high, 20);
  for (const Bin& b : p.bins) EXPECT_EQ(b.count, 5);
  expect_counts_match_edges(p, one_to_twenty(), true);

  // Edges that rounding leaves a hair off the largest value: it still counts.
  const std::vector<double> tenths{0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7};
  for (const char* n : {"1", "3", "7", "10"}) {
    r = tool({"histogram", s.write("tenths.raw", tenths), "V(A)", "--bins", n});
    ASSERT_EQ(r.exit_code, 0) << r.output;
    p = printed(r.output);
    EXPECT_EQ(p.bins.size(), static_cast<size_t>(std::atoi(n)));
    EXPECT_EQ(p.total(), 7) << n;
    EXPECT_EQ(p.bins.back().high, 0.7) << n;
    EXPECT_GE(p.bins.back().count, 1) << n;
  }

  // With --range: N bins from LO to HI, only the values inside counted.
  r = tool({"histogram", raw, "V(A)", "--bins", "5", "--range", "0", "10"});
  ASSERT_EQ(r.exit_code, 0) << r.output;
  p = printed(r.output);
  ASSERT_EQ(p.bins.size(), 5u);
  EXPECT_EQ(p.bins.front().low, 0);
  EXPECT_EQ(p.bins.back().high, 10);
  const std::vector<double> counts{1, 2, 2, 2, 3};
  for (size_t k = 0; k < 5; ++k) EXPECT_EQ(p.bins[k].count, counts[k]) << k;
  EXPECT_EQ(p.at("samples"), 20);  // the statistics stay those of all the values

  // Values all equal: N bins of 1 % of the value, the value in the middle one.
  r = tool({"histogram", s.write("twos.raw", {2, 2, 2, 2, 2}), "V(A)", "--bins", "3"});
  ASSERT_EQ(r.exit_code, 0) << r.output;
  p = printed(r.output);
  EXPECT_EQ(p.at("sd"), 0);
  EXPECT_DOUBLE_EQ(p.at("bin"), 0.02);
  ASSERT_EQ(p.bins.size(), 3u);
  EXPECT_DOUBLE_EQ(p.bins[0].low, 1.97);
  EXPECT_DOUBLE_EQ(p.bins[1].centre, 2);
  EXPECT_EQ(p.bins[1].count, 5);
  EXPECT_EQ(p.total(), 5);
}

TEST(HistogramVerb, WidthAndRangeAsHistogramOptionsSetThem) {
  Scratch s;
  const std::string raw = s.write("values.raw");
  // Width 5 laid around the mean 10.5: edges -2, 3, 8, 13, 18, 23.
  ProcessResult r = tool({"histogram", raw, "V(A)", "--width", "5"});
  ASSERT_EQ(r.exit_code, 0) << r.output;
  Printed p = printed(r.output);
  EXPECT_EQ(p.at("bin"), 5);
  ASSERT_EQ(p.bins.size(), 5u);
  EXPECT_DOUBLE_EQ(p.bins.front().low, -2);
  EXPECT_DOUBLE_EQ(p.bins.back().high, 23);
  const std::vector<double> counts{2, 5, 5, 5, 3};
  for (size_t k = 0; k < 5; ++k) EXPECT_EQ(p.bins[k].count, counts[k]) << k;

  // A range alone keeps the automatic width and counts what lies inside, ends included.
  r = tool({"histogram", raw, "V(A)", "--range", "5", "15"});
  ASSERT_EQ(r.exit_code, 0) << r.output;
  p = printed(r.output);
  EXPECT_DOUBLE_EQ(p.at("bin"), 1.25);
  EXPECT_EQ(p.total(), 11);
  EXPECT_EQ(p.at("samples"), 20);
  EXPECT_DOUBLE_EQ(p.at("mean"), 10.5);
  std::vector<double> inside;
  for (double v : one_to_twenty())
    if (v >= 5 && v <= 15) inside.push_back(v);
  expect_counts_match_edges(p, inside, false);

  // Engineering notation and a width far below the spread: the warning, the
  // question of 19003 bins, yes by default.
  r = tool({"histogram", raw, "V(A)", "--width", "1m", "--range", "1", "20"});
  ASSERT_EQ(r.exit_code, 0) << r.output.substr(0, 2000);
  p = printed(r.output);
  EXPECT_EQ(p.at("bins"), 19003);
  EXPECT_EQ(p.total(), 20);
  EXPECT_NE(r.output.find("Bin size might be too small"), std::string::npos);
  EXPECT_NE(r.output.find("Number of bins 19003"), std::string::npos);
  // ... and refused when the script answers no.
  r = tool({"--answer", "no", "histogram", raw, "V(A)", "--width", "1m"});
  EXPECT_EQ(r.exit_code, 1) << r.output.substr(0, 2000);
  EXPECT_TRUE(printed(r.output).bins.empty());

  // What the options refuse, with their messages.
  const std::vector<std::pair<std::vector<std::string>, std::string>> refused{
      {{"--width", "0"}, "Invalid bin size"},        {{"--width", "-1"}, "Invalid bin size"},
      {{"--width", "1e-9"}, "Invalid bin size"},  // more bins than memory should hold
      {{"--range", "5", "5"}, "Invalid data range"}, {{"--range", "15", "5"}, "Invalid data range"},
  };
  for (const auto& [options, message] : refused) {
    std::vector<std::string> args{"histogram", raw, "V(A)"};
    args.insert(args.end(), options.begin(), options.end());
    r = tool(args);
    EXPECT_EQ(r.exit_code, 1) << options[0] << " " << options[1] << ": " << r.output;
    EXPECT_NE(r.output.find(message), std::string::npos) << r.output;
    EXPECT_TRUE(printed(r.output).bins.empty()) << r.output;
  }
  // Without spread there is no data range for a width to fill.
  r = tool({"histogram", s.write("twos.raw", {2, 2, 2}), "V(A)", "--width", "1"});
  EXPECT_EQ(r.exit_code, 1) << r.output;
  EXPECT_NE(r.output.find("Invalid data range"), std::string::npos) << r.output;
}

TEST(HistogramVerb, YieldIncludesBothEndsWhereverTheOptionsStand) {
  Scratch s;
  const std::string raw = s.write("values.raw");
  ProcessResult r = tool({"histogram", raw, "V(A)", "--yield", "5", "15"});
  ASSERT_EQ(r.exit_code, 0) << r.output;
  Printed p = printed(r.output);
  EXPECT_DOUBLE_EQ(p.at("yield"), 55);  // 5, 6, ..., 15
  EXPECT_EQ(p.order.back(), "yield");

  // Options first, in either order, numbers in engineering notation and
  // negative ones: each HI stays with its own LO.
  r = tool({"histogram", "--yield", "4.5", "0.0155k", "--range", "-3", "10", raw, "V(A)"});
  ASSERT_EQ(r.exit_code, 0) << r.output;
  p = printed(r.output);
  EXPECT_DOUBLE_EQ(p.at("yield"), 55);
  EXPECT_EQ(p.total(), 10);
  r = tool({"histogram", raw, "--range=0", "10", "V(A)", "--yield", "-1", "1"});
  ASSERT_EQ(r.exit_code, 0) << r.output;
  p = printed(r.output);
  EXPECT_DOUBLE_EQ(p.at("yield"), 5);
  EXPECT_EQ(p.total(), 10);
  // The yield counts every value, whatever the range counts.
  r = tool({"histogram", raw, "V(A)", "--range", "1", "5", "--yield", "0", "100"});
  ASSERT_EQ(r.exit_code, 0) << r.output;
  EXPECT_DOUBLE_EQ(printed(r.output).at("yield"), 100);

  for (const auto& [lo, hi] : {std::pair{"15", "5"}, std::pair{"7", "7"}}) {
    r = tool({"histogram", raw, "V(A)", "--yield", lo, hi});
    EXPECT_EQ(r.exit_code, 1) << r.output;
    EXPECT_NE(r.output.find("Invalid yield acceptance range"), std::string::npos) << r.output;
    EXPECT_TRUE(printed(r.output).named.empty()) << r.output;
  }
}

TEST(HistogramVerb, FailuresTellWhyAndExitByKind) {
  Scratch s;
  const std::string raw = s.write("values.raw");
  const std::string complex_raw = (s.dir / "ac.raw").string();
  ASSERT_TRUE(write_file_atomic(complex_raw,
                                "Title: ac\nDate: today\nPlotname: AC Analysis\nFlags: complex\n"
                                "No. Variables: 2\nNo. Points: 2\nVariables:\n\t0\tfrequency\tfrequency\n"
                                "\t1\tv(out)\tvoltage\nValues:\n0\t1,0\n\t1,0\n1\t10,0\n\t0.5,-0.5\n"));
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string says;
  };
  const std::vector<Case> cases{
      {{raw, "V(B)"}, 1, "vector V(B) not found"},
      {{raw, "V(A)", "--run", "2"}, 1, "has no run 2"},
      {{complex_raw, "V(OUT)"}, 1, "is complex"},
      {{(s.dir / "absent.raw").string(), "V(A)"}, 2, ""},
      {{raw, "V(A)", "--yield", "5"}, 2, "--yield needs 2 values"},
      {{raw, "V(A)", "--yield", "5", "--bins", "3"}, 2, "--yield needs 2 values"},
      {{raw, "--range", "1", "5"}, 2, "missing VECTOR"},
      {{raw, "V(A)", "--yield", "low", "high"}, 2, "--yield needs two numbers"},
      {{raw, "V(A)", "--range", "1", "5", "extra"}, 2, "unexpected argument 'extra'"},
      {{raw, "V(A)", "--bins", "0"}, 2, "--bins needs a whole number from 1 to 100000"},
      {{raw, "V(A)", "--bins", "3", "--width", "2"}, 2, "give one of them"},
      {{raw, "V(A)", "--width", "wide"}, 2, "--width needs a number"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args{"histogram"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const ProcessResult r = tool(args);
    EXPECT_EQ(r.exit_code, c.status) << args[2] << " " << args.back() << ": " << r.output;
    EXPECT_FALSE(r.output.empty()) << args.back();  // every failure says something
    EXPECT_NE(r.output.find(c.says), std::string::npos) << r.output;
    EXPECT_TRUE(printed(r.output).bins.empty()) << r.output;
  }
  // A run picked by name: the first one is the only one here.
  const ProcessResult first = tool({"histogram", raw, "V(A)@1"});
  EXPECT_EQ(first.exit_code, 0) << first.output;
}

}  // namespace
}  // namespace zephyrim
