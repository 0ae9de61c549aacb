// The engine's repeated runs against ngspice run by hand: a stepped resistor
// and a temperature list measured per run, and Monte Carlo runs that repeat
// with their seed and spread as their tolerances say.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "common/file_io.h"
#include "common/notify.h"
#include "common/progress.h"
#include "platform/process.h"
#include "viewer/data/data_store.h"
#include "viewer/data/probe_file.h"

extern char** environ;

namespace zephyrim {
namespace {

namespace fs = std::filesystem;

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

// zsim on the netlist text; its output when it succeeded.
std::string simulate(const fs::path& dir, const std::string& name, const std::string& netlist,
                     std::vector<std::string> extra = {}) {
  const fs::path cir = dir / (name + ".CIR");
  EXPECT_TRUE(write_file_atomic(cir.string(), netlist));
  std::vector<std::string> argv{ZEPHYRIM_ZSIM, cir.string()};
  argv.insert(argv.end(), extra.begin(), extra.end());
  const ProcessResult run = process_run(argv, dir.string(), 300);
  EXPECT_EQ(run.exit_code, 0) << run.output << *read_text_file((dir / (name + ".OUT")).string());
  return run.output;
}

struct Measured {
  int run = 0;
  std::string label;
  double value = 0;
};

// The batch tool's measurement per run: run, label and value.
std::vector<Measured> measure(const fs::path& data, const std::string& spec) {
  const ProcessResult r = process_run({ZEPHYRIM_BATCH_TOOL, "measure", data.string(), spec});
  EXPECT_EQ(r.exit_code, 0) << r.output;
  std::vector<Measured> out;
  std::istringstream in(r.output);
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> f;
    std::istringstream fields(line);
    for (std::string x; std::getline(fields, x, '\t');) f.push_back(x);
    if (f.size() != 4) continue;
    out.push_back({std::stoi(f[0]), f[1], std::stod(f[3])});
  }
  return out;
}

// ngspice alone on the deck; the value its .meas statement named `name` printed.
double ngspice_meas(const fs::path& dir, const std::string& deck, const std::string& name) {
  const fs::path file = dir / "by_hand.cir";
  EXPECT_TRUE(write_file_atomic(file.string(), deck));
  const ProcessResult r = process_run({"ngspice", "-b", file.filename().string()}, dir.string(), 120);
  // A line that begins with the name, then "=" and the value: "vout1m = 6.32e-01".
  std::istringstream lines(r.output);
  for (std::string line; std::getline(lines, line);) {
    const size_t at = line.find_first_not_of(" \t");
    if (at == std::string::npos || line.compare(at, name.size(), name) != 0) continue;
    const size_t eq = line.find_first_not_of(" \t", at + name.size());
    if (eq == std::string::npos || line[eq] != '=') continue;
    return std::strtod(line.c_str() + eq + 1, nullptr);
  }
  ADD_FAILURE() << "no " << name << " in:\n" << r.output;
  return NAN;
}

TEST(ZsimRuns, SteppedResistorMeasuresAsNgspiceByHand) {
  const Folder folder("zsim_step");
  const std::string body =
      "V1 in 0 PULSE(0 1 0 1u 1u 5m 10m)\n"
      "C1 out 0 1u\n"
      ".TRAN 10u 3m\n";
  simulate(folder.path, "step",
           "* stepped RC\n" + body +
               "R1 in out 1k\n"
               ".STEP R1 LIST 500 1k 2k 3.3k 5k\n"
               "#MEASURE TRAN VALUE VOUT1M YVAR V(OUT) XVAL 1m\n"
               ".PROBE\n.END\n");
  const auto results = measure(folder.path / "step.SAV", "TRAN VALUE VOUT1M YVAR V(OUT) XVAL 1m");
  const std::vector<std::string> values{"500", "1K", "2K", "3.3K", "5K"};
  ASSERT_EQ(results.size(), values.size());
  for (size_t i = 0; i < values.size(); ++i) {
    EXPECT_EQ(results[i].label, "Run " + std::to_string(i + 1) + " R1=" + values[i]) << results[i].label;
    const double by_hand = ngspice_meas(
        folder.path,
        "* by hand\n" + body + "R1 in out " + values[i] + "\n.meas tran vout1m find v(out) at=1m\n.END\n",
        "vout1m");
    EXPECT_NEAR(results[i].value, by_hand, 1e-4 * std::abs(by_hand)) << values[i];
  }
  // A larger resistor charges the capacitor more slowly.
  EXPECT_GT(results.front().value, results.back().value);
}

TEST(ZsimRuns, TemperatureListMeasuresAsNgspiceByHand) {
  const Folder folder("zsim_temp");
  const std::string body =
      "I1 0 a 1m\n"
      "D1 a 0 DMOD\n"
      ".MODEL DMOD D(IS=1e-14 N=1.05)\n"
      ".DC I1 0.1m 2m 0.1m\n";
  simulate(folder.path, "temp", "* diode over temperature\n" + body + ".TEMP -40 27 125\n.PROBE\n.END\n");
  const auto results = measure(folder.path / "temp.SAV", "DC VALUE VD YVAR V(A) XVAL 1m");
  const std::vector<std::string> temps{"-40", "27", "125"};
  ASSERT_EQ(results.size(), temps.size());
  for (size_t i = 0; i < temps.size(); ++i) {
    EXPECT_EQ(results[i].label, "Run " + std::to_string(i + 1) + " Temp=" + temps[i]);
    const double by_hand = ngspice_meas(
        folder.path, "* by hand\n" + body + ".TEMP " + temps[i] + "\n.meas dc vd find v(a) at=1m\n.END\n",
        "vd");
    EXPECT_NEAR(results[i].value, by_hand, 1e-6) << temps[i];
  }
  // A diode's forward voltage falls as it warms.
  EXPECT_GT(results[0].value, results[2].value);
}

struct Spread {
  double mean = 0, sd = 0, low = INFINITY, high = -INFINITY;
};
Spread spread_of(const std::vector<double>& v) {
  Spread s;
  for (double x : v) {
    s.mean += x / static_cast<double>(v.size());
    s.low = std::min(s.low, x);
    s.high = std::max(s.high, x);
  }
  for (double x : v) s.sd += (x - s.mean) * (x - s.mean) / static_cast<double>(v.size() - 1);
  s.sd = std::sqrt(s.sd);
  return s;
}

TEST(ZsimRuns, MonteCarloRepeatsWithItsSeedAndSpreadsAsToleranced) {
  const Folder folder("zsim_mc");
  // Each node's voltage is its resistor's value in kilo-ohms.
  const std::string netlist =
      "* tolerances\n"
      "I1 0 a 1m\nR1 a 0 1k\n"
      "I2 0 b 1m\nR2 b 0 1k\n"
      ".OP\n"
      ".TOL R1 5%\n"
      ".TOL R2 3% GAUSS\n"
      ".MC 100 SEED=42\n"
      ".PROBE\n.END\n";
  simulate(folder.path, "mc", netlist);
  const auto first = read_file((folder.path / "mc.SAV").string());
  ASSERT_TRUE(first);
  simulate(folder.path, "mc", netlist, {"-j", "1"});
  const auto second = read_file((folder.path / "mc.SAV").string());
  ASSERT_TRUE(second);
  EXPECT_TRUE(*first == *second) << "the same seed gave other values";

  RecordingNotify notify;
  NullProgress progress;
  DataStore store(notify, progress);
  ASSERT_TRUE(store.start());
  const std::string sav = (folder.path / "mc.SAV").string();
  store.open_data_file(sav);
  EXPECT_EQ(probe_read_file(store, sav), 100);
  std::vector<double> a, b;
  for (int run = 1; run <= 100; ++run) {
    for (auto [name, out] : {std::pair{"V(A)", &a}, std::pair{"V(B)", &b}}) {
      const DataVector* v = store.find_vector(name, 0, ANALYSIS_OP, -1, -1, run);
      ASSERT_NE(v, nullptr) << name << " run " << run;
      out->push_back(store.values(*v)[0]);
    }
  }
  EXPECT_EQ(*store.vector_label(*store.find_vector("V(A)", 0, ANALYSIS_OP, -1, -1, 7)), "Run 7 MC");
  // Uniform 5 %: inside the bounds, standard deviation 5 % / sqrt(3).
  const Spread u = spread_of(a);
  EXPECT_GE(u.low, 0.95 - 1e-9);
  EXPECT_LE(u.high, 1.05 + 1e-9);
  EXPECT_NEAR(u.mean, 1.0, 4 * 0.0289 / 10);
  EXPECT_NEAR(u.sd, 0.05 / std::sqrt(3.0), 0.25 * 0.0289);
  // Gaussian 3 % at three standard deviations: 1 %.
  const Spread g = spread_of(b);
  EXPECT_NEAR(g.mean, 1.0, 4 * 0.01 / 10);
  EXPECT_NEAR(g.sd, 0.01, 0.25 * 0.01);
  // Another seed draws other values.
  std::string other = netlist;
  other.replace(other.find("SEED=42"), 7, "SEED=43");
  simulate(folder.path, "mc", other);
  EXPECT_FALSE(*read_file(sav) == *first);
}

// Runs finish in any order on several processes; the file keeps run order.
TEST(ZsimRuns, ParallelRunsKeepTheirOrder) {
  const Folder folder("zsim_order");
  simulate(folder.path, "order", "* order\nI1 0 a 1m\nR1 a 0 1k\n.OP\n.STEP DEC R1 1 1MEG 2\n.PROBE\n.END\n",
           {"-j", "4"});
  RecordingNotify notify;
  NullProgress progress;
  DataStore store(notify, progress);
  ASSERT_TRUE(store.start());
  const std::string sav = (folder.path / "order.SAV").string();
  store.open_data_file(sav);
  ASSERT_EQ(probe_read_file(store, sav), 13);
  double last = 0;
  for (int run = 1; run <= 13; ++run) {
    const DataVector* v = store.find_vector("V(A)", 0, ANALYSIS_OP, -1, -1, run);
    ASSERT_NE(v, nullptr);
    const double volts = store.values(*v)[0];
    EXPECT_NEAR(volts, 1e-3 * std::pow(10.0, (run - 1) / 2.0), 1e-6 * volts) << run;
    EXPECT_GT(volts, last);
    last = volts;
  }
}

}  // namespace
}  // namespace zephyrim

namespace zephyrim {
namespace {

// The bundled examples of repeated runs, from the schematic: every run
// measured once by the statements their user statements file holds.
TEST(ZsimRuns, ExamplesMeasureEveryRun) {
  const Folder folder("zsim_examples");
  const struct {
    const char* name;
    size_t runs;
    const char* first_label;
  } examples[] = {{"rc_step", 5, "Run 1 R1=1K"},
                  {"filter_mc", 50, "Run 1 MC"},
                  {"diode_temp", 5, "Run 1 Temp=-40"},
                  // One run, three measurements: a dB of a complex vector keeps its run's label too.
                  {"amplifier", 3, "Run 1 Temp=27"}};
  for (const auto& e : examples) {
    for (const char* ext : {".sch", ".SIM", ".MIS"})
      fs::copy_file(fs::path(ZEPHYRIM_SOURCE_DIR) / "examples" / (std::string(e.name) + ext),
                    folder.path / (std::string(e.name) + ext), fs::copy_options::overwrite_existing);
    const ProcessResult netlist = process_run(
        {ZEPHYRIM_BATCH_TOOL, "netlist", (folder.path / (std::string(e.name) + ".sch")).string()});
    ASSERT_EQ(netlist.exit_code, 0) << netlist.output;
    const ProcessResult run =
        process_run({ZEPHYRIM_ZSIM, std::string(e.name) + ".CIR"}, folder.path.string(), 300);
    ASSERT_EQ(run.exit_code, 0) << e.name << ": " << run.output;
    const ProcessResult m = process_run(
        {ZEPHYRIM_BATCH_TOOL, "measure", (folder.path / (std::string(e.name) + ".OUT")).string()});
    EXPECT_EQ(m.exit_code, 0) << m.output;
    std::vector<std::string> lines;
    std::istringstream in(m.output);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), e.runs) << e.name << ":\n" << m.output;
    EXPECT_NE(lines[0].find(e.first_label), std::string::npos) << lines[0];
  }
}

}  // namespace
}  // namespace zephyrim

namespace zephyrim {
namespace {

// Processes whose command line holds the text (the runs of one engine name
// their decks after it).
int processes_with(const std::string& text) {
  int n = 0;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator("/proc", ec)) {
    // /proc files tell no size: they are read as a stream. A process that
    // ends while it is read makes the read fail: it is not counted.
    try {
      std::ifstream in(e.path() / "cmdline", std::ios::binary);
      const std::string cmdline((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      if (cmdline.find(text) != std::string::npos) ++n;
    } catch (const std::exception&) {
    }
  }
  return n;
}

// Stopped in the middle of its runs (as the editor stops a run that a new
// one replaces), the engine ends its ngspice processes, leaves none of its
// files behind and says so in the listing.
TEST(ZsimRuns, AStoppedEngineEndsItsRunsAndCleansUp) {
  const Folder folder("zsim_stop");
  const fs::path cir = folder.path / "long.CIR";
  ASSERT_TRUE(write_file_atomic(cir.string(),
                                "* long\nV1 in 0 SIN(0 1 1k)\nR1 in out 1k\nC1 out 0 1u\n.TRAN 1u 400m\n"
                                ".STEP R1 LIST 1k 2k 3k 4k 5k 6k 7k 8k\n.PROBE\n.END\n"));
  const std::string zsim = ZEPHYRIM_ZSIM, path = cir.string(), jobs = "-j", two = "2";
  char* argv[] = {const_cast<char*>(zsim.c_str()), const_cast<char*>(path.c_str()),
                  const_cast<char*>(jobs.c_str()), const_cast<char*>(two.c_str()), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addchdir_np(&actions, folder.path.c_str());
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv, environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  const std::string tag = "zsim-" + std::to_string(pid) + "-";
  // Wait until ngspice runs, then stop the engine.
  for (int i = 0; i < 100 && processes_with(tag) == 0; ++i) usleep(50000);
  EXPECT_GT(processes_with(tag), 0);
  kill(pid, SIGTERM);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 2);
  EXPECT_EQ(processes_with(tag), 0);
  for (const auto& e : fs::directory_iterator(folder.path))
    EXPECT_FALSE(e.path().filename().string().starts_with("zsim-")) << "left behind: " << e.path();
  const auto listing = read_text_file((folder.path / "long.OUT").string());
  ASSERT_TRUE(listing);
  EXPECT_NE(listing->find("*ERROR*: the simulation was stopped"), std::string::npos) << *listing;
}

}  // namespace
}  // namespace zephyrim
