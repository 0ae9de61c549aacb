// `zephyrim tune` as scripts run it: the RC examples run with other part and
// .PARAM values through zsim and ngspice, their rise time following R*C, the
// user's files left alone.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>

#include "common/file_io.h"
#include "platform/process.h"

namespace zephyrim {
namespace {

namespace fs = std::filesystem;

// The 10 % to 90 % rise time of an RC low-pass: ln(9) * R * C.
const double kRiseFactor = std::log(9.0);

// A folder of each test's own (ctest runs the tests of this file at the same
// time) holding copies of examples, with the scratch folders and the broadcast
// sockets of the runs kept inside it.
struct Scratch {
  fs::path dir =
      fs::path(::testing::TempDir()) /
      ("zephyrim_tune_verb_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
       "_" + std::to_string(getpid()));
  fs::path user = dir / "user";
  fs::path temporary = dir / "tmp";
  Scratch() {
    fs::remove_all(dir);
    fs::create_directories(user);
    fs::create_directories(temporary);
    setenv("TMPDIR", temporary.c_str(), 1);
    // Socket paths must stay short; the zsim runs and the verb post messages.
    const std::string runtime = "/tmp/zt-rt-" + std::to_string(getpid());
    fs::create_directories(runtime);
    setenv("ZEPHYRIM_RUNTIME_DIR", runtime.c_str(), 1);
  }
  ~Scratch() {
    fs::remove_all(dir);
    fs::remove_all("/tmp/zt-rt-" + std::to_string(getpid()));
  }
  std::string copy_example(const std::string& base) {
    for (const char* ext : {".sch", ".SIM", ".MIS"}) {
      const fs::path from = fs::path(ZEPHYRIM_SOURCE_DIR) / "examples" / (base + ext);
      if (fs::exists(from)) fs::copy_file(from, user / (base + ext), fs::copy_options::overwrite_existing);
    }
    return (user / (base + ".sch")).string();
  }
  std::vector<std::string> files(const fs::path& folder) const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
};

ProcessResult tool(std::vector<std::string> args) {
  args.insert(args.begin(), ZEPHYRIM_BATCH_TOOL);
  return process_run(args, {}, 120);
}

// "run<TAB>label<TAB>name<TAB>value" lines: the value of each run of the name.
std::map<int, double> measured(const std::string& output, const std::string& name) {
  std::map<int, double> values;
  std::istringstream in(output);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string run, label, what, value;
    if (std::getline(fields, run, '\t') && std::getline(fields, label, '\t') &&
        std::getline(fields, what, '\t') && std::getline(fields, value) && what == name)
      values[std::stoi(run)] = std::stod(value);
  }
  return values;
}

TEST(TuneVerb, PartValuesChangeTheRiseTimeAsRTimesCSays) {
  Scratch s;
  const std::string sch = s.copy_example("rc_step");
  const std::vector<std::string> before = s.files(s.user);
  // rc_step steps R1 over 1k, 2k, 5k, 10k, 20k with C1 = 100n; C1 tuned to 47n and 220n.
  const std::map<int, double> resistance = {{1, 1e3}, {2, 2e3}, {3, 5e3}, {4, 10e3}, {5, 20e3}};
  for (const auto& [typed, farads] : std::map<std::string, double>{{"47n", 47e-9}, {"220n", 220e-9}}) {
    const ProcessResult r = tool({"tune", sch, "C1=" + typed});
    EXPECT_EQ(r.exit_code, 0) << r.output;
    const auto rise = measured(r.output, "RISETIME");
    // The slowest runs do not reach 90 % within the 5 ms pulse: those give no value.
    ASSERT_GE(rise.size(), 3u) << r.output;
    for (const auto& [run, seconds] : rise) {
      const double expected = kRiseFactor * resistance.at(run) * farads;
      EXPECT_NEAR(seconds, expected, expected * 0.02) << typed << " run " << run;
    }
  }
  // Nothing was written beside the schematic, and the scratch folders are gone.
  EXPECT_EQ(s.files(s.user), before);
  EXPECT_TRUE(fs::is_empty(s.temporary));
}

TEST(TuneVerb, ParamValuesOverrideTheStatementsFileInAKeptFolderAndDraw) {
  Scratch s;
  const std::string sch = s.copy_example("rc_lowpass");
  // The measurement comes from a file the statements include by a name relative to their folder.
  const std::string statements = "* the values tuned\n.PARAM RVAL=1k  CVAL = {100n*2}\n.INC measure.inc\n";
  ASSERT_TRUE(write_file_atomic((s.user / "rc_lowpass.MIS").string(), statements));
  ASSERT_TRUE(write_file_atomic(
      (s.user / "measure.inc").string(),
      "#MEASURE TRAN DELAY RISETIME VAR1=V(OUT) VAL1=0.1 VAR2=V(OUT) VAL2=0.9 RISE RISE\n"));
  const fs::path kept = s.dir / "kept";
  const fs::path picture = s.dir / "tuned.png";
  // The parts take the parameters; CVAL, no part's reference, is the .PARAM.
  const ProcessResult r = tool({"tune", sch, "C1={CVAL}", "R1={RVAL}", "cval=330n", "-o", picture.string(),
                                "--folder", kept.string(), "--kind", "tran"});
  EXPECT_EQ(r.exit_code, 0) << r.output;
  const auto rise = measured(r.output, "RISETIME");
  ASSERT_EQ(rise.size(), 1u) << r.output;
  EXPECT_NEAR(rise.at(1), kRiseFactor * 1e3 * 330e-9, 330e-9 * 1e3 * 0.05);

  // The kept folder holds the run; the user's statements file is as it was.
  EXPECT_EQ(read_text_file((s.user / "rc_lowpass.MIS").string()).value_or(""), statements);
  const std::string tuned = read_text_file((kept / "rc_lowpass.MIS").string()).value_or("");
  EXPECT_NE(tuned.find(".PARAM RVAL=1k  CVAL = 330n\n"), std::string::npos) << tuned;
  EXPECT_NE(tuned.find(".INC \"" + (s.user / "measure.inc").string() + "\"\n"), std::string::npos) << tuned;
  const std::string netlist = read_text_file((kept / "rc_lowpass.CIR").string()).value_or("");
  EXPECT_NE(netlist.find("C1 out 0  {CVAL}"), std::string::npos) << netlist;
  EXPECT_TRUE(fs::exists(kept / "rc_lowpass.OUT"));
  EXPECT_FALSE(fs::exists(s.user / "rc_lowpass.CIR"));
  EXPECT_FALSE(fs::exists(s.user / "rc_lowpass.OUT"));
  EXPECT_TRUE(read_text_file(picture.string()).value_or("").starts_with("\x89PNG"));
}

TEST(TuneVerb, RefusesWhatItCannotSetAndTheSchematicsOwnFolder) {
  Scratch s;
  const std::string sch = s.copy_example("rc_lowpass");
  ProcessResult r = tool({"tune", sch, "C9=1n"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_NE(r.output.find("no part C9"), std::string::npos) << r.output;
  r = tool({"tune", sch, "C1"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_NE(r.output.find("'C1' is not PART=VALUE"), std::string::npos) << r.output;
  r = tool({"tune", sch});
  EXPECT_EQ(r.exit_code, 2);
  r = tool({"tune", sch, "C1=1n", "-o", (s.dir / "x.jpg").string()});
  EXPECT_EQ(r.exit_code, 2);
  // Running in the schematic's own folder would overwrite its results.
  r = tool({"tune", sch, "C1=1n", "--folder", s.user.string()});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_NE(r.output.find("the schematic's own results are there"), std::string::npos) << r.output;
  EXPECT_FALSE(fs::exists(s.user / "rc_lowpass.CIR"));
  r = tool({"tune", (s.user / "none.sch").string(), "C1=1n"});
  EXPECT_EQ(r.exit_code, 2);
}

}  // namespace
}  // namespace zephyrim
