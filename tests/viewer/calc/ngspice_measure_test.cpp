// Our measurement specs against ngspice's own .meas on the same data: a pulse
// through an RC low-pass, run three times with another resistor each time and
// written as successive plots of one RAW file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <sstream>

#include "common/file_io.h"
#include "platform/process.h"
#include "viewer/calc/calc_fixture.h"
#include "viewer/calc/measure.h"
#include "viewer/data/raw_file.h"

namespace zephyrim {
namespace {

constexpr const char* kDeck =
    "rc pulse\n"
    "V1 in 0 PULSE(0 5 1u 10n 10n 5u 10u)\n"
    "R1 in out 1k\n"
    "C1 out 0 1n\n"
    ".tran 10n 30u\n"
    ".control\n"
    "set appendwrite\n"
    "foreach r 1k 500 2k\n"
    "  alter R1 = $r\n"
    "  tran 10n 30u\n"
    "  write rc.raw\n"
    "  meas tran val3 find v(out) at=3u\n"
    "  meas tran td trig v(in) val=2.5 rise=1 targ v(out) val=2.5 rise=1\n"
    "  meas tran a2 find v(out) at=2u\n"
    "  meas tran a5 find v(out) at=5u\n"
    "  meas tran w1 trig v(out) val=2.5 rise=1 targ v(out) val=2.5 fall=1\n"
    "  meas tran per trig v(out) val=2.5 rise=1 targ v(out) val=2.5 rise=3\n"
    "  meas tran vmax max v(out)\n"
    "  meas tran vmin min v(out)\n"
    "  meas tran wmax max v(out) from=0 to=10u\n"
    "  meas tran wmin min v(out) from=2u to=20u\n"
    "  meas tran vpp pp v(out)\n"
    "end\n"
    ".endc\n"
    ".end\n";

// Our specs, in the order the results are compared below.
const char* const kSpecs[] = {
    "#MEASURE TRAN VALUE VAL3 YVAR V(OUT) XVAL 3U",
    "#MEASURE TRAN DELAY TD VAR1=V(IN) VAL1=2.5 VAR2=V(OUT) RISE RISE",
    "#MEASURE TRAN DELTA D25 YVAR V(OUT) VAL1=2U VAL2=5U",
    "#MEASURE TRAN WIDTH W1 YVAR V(OUT) YVAL 2.5 HIGH",
    "#MEASURE TRAN FREQ F1 YVAR V(OUT) YVAL 2.5",
    "#MEASURE TRAN MAX VMAX YVAR V(OUT)",
    "#MEASURE TRAN MIN VMIN YVAR V(OUT)",
    "#MEASURE TRAN XMAX TMAX YVAR V(OUT) MIN 0 MAX 10U",
    "#MEASURE TRAN XMIN TMIN YVAR V(OUT) MIN 2U MAX 20U",
};

// "name = value at= ..." lines of the listing: every value of a name, in run order,
// and the "at=" of extremes under "name@".
std::map<std::string, std::vector<double>> parse_measures(const std::string& listing) {
  std::map<std::string, std::vector<double>> found;
  std::istringstream in(listing);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string name, equals, value, at, at_value;
    if (!(words >> name >> equals >> value) || equals != "=") continue;
    char* end = nullptr;
    const double v = std::strtod(value.c_str(), &end);
    if (*end != '\0') continue;
    found[name].push_back(v);
    if (words >> at >> at_value && at == "at=")
      found[name + "@"].push_back(std::strtod(at_value.c_str(), nullptr));
  }
  return found;
}

void expect_close(const std::vector<double>& ours, const std::vector<double>& theirs, const char* what) {
  ASSERT_EQ(ours.size(), theirs.size()) << what;
  for (size_t k = 0; k < ours.size(); ++k)
    EXPECT_NEAR(ours[k], theirs[k], 1e-3 * std::fabs(theirs[k])) << what << " run " << k + 1;
}

TEST(NgspiceMeasure, SpecsAgreeWithNgspiceMeasOverThreeRuns) {
  const auto dir =
      std::filesystem::temp_directory_path() / ("zephyrim_ngspice_measure_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  ASSERT_TRUE(write_file_atomic((dir / "rc.cir").string(), kDeck));
  // ngspice ends a batch run with a .control section by a non-zero status; the listing tells.
  const ProcessResult run = process_run({"ngspice", "-b", "-o", "listing.txt", "rc.cir"}, dir.string());
  auto ng = parse_measures(read_text_file((dir / "listing.txt").string()).value_or(""));
  ASSERT_EQ(ng["vpp"].size(), 3u) << run.output;

  CalcStore s;
  ASSERT_GT(raw_read_file(s.store, (dir / "rc.raw").string(), false), 1);
  std::filesystem::remove_all(dir);
  MeasureList list;
  for (const char* spec : kSpecs) ASSERT_TRUE(measure_parse_statement(list, spec, s.notify)) << spec;
  std::vector<MeasureOutcome> out;
  ASSERT_EQ(measure_run_all(s.store, list, &out), 9);
  for (const auto& o : out) EXPECT_EQ(o.runs, (std::vector<int>{1, 2, 3})) << o.name;

  expect_close(out[0].values, ng["val3"], "VALUE");
  expect_close(out[1].values, ng["td"], "DELAY");
  std::vector<double> delta, freq, pp;
  for (size_t r = 0; r < 3; ++r) {
    delta.push_back(ng["a5"][r] - ng["a2"][r]);
    freq.push_back(2 / ng["per"][r]);  // rise 1 to rise 3: two periods
    pp.push_back(out[5].values[r] - out[6].values[r]);
  }
  expect_close(out[2].values, delta, "DELTA");
  expect_close(out[3].values, ng["w1"], "WIDTH");
  expect_close(out[4].values, freq, "FREQ");
  expect_close(out[5].values, ng["vmax"], "MAX");
  expect_close(out[6].values, ng["vmin"], "MIN");
  expect_close(pp, ng["vpp"], "MAX - MIN against pp");
  expect_close(out[7].values, ng["wmax@"], "XMAX");
  expect_close(out[8].values, ng["wmin@"], "XMIN");
  EXPECT_TRUE(s.notify.entries().empty()) << s.notify.last();
}

}  // namespace
}  // namespace zephyrim
