// The engine on the bundled examples: zsim's PROBE file against the RAW file
// ngspice writes for the same netlist, the amplifier's bias file, a folder
// name that a shell would take apart, and temperature runs. Stand-ins for
// ngspice that print or write far more than memory should hold show zsim's
// own memory staying bounded.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>

#include "common/file_io.h"
#include "common/notify.h"
#include "common/progress.h"
#include "platform/process.h"
#include "simulation/ngspice_deck.h"
#include "viewer/data/data_store.h"
#include "viewer/data/probe_file.h"
#include "viewer/data/raw_file.h"

// The sanitizers' shadow memory and quarantine multiply a process's peak, so the
// memory bounds are only held against the ordinary build.
#if defined(__SANITIZE_ADDRESS__)
constexpr long kMemoryScale = 16;
#else
constexpr long kMemoryScale = 1;
#endif

namespace zephyrim {
namespace {

namespace fs = std::filesystem;

// A folder of the test's own, gone afterwards; tests of several builds may run
// at the same time.
struct TestFolder {
  fs::path path;
  explicit TestFolder(const std::string& name)
      : path(fs::path(testing::TempDir()) / (name + "_" + std::to_string(getpid()))) {
    fs::remove_all(path);
    fs::create_directories(path);
  }
  ~TestFolder() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
};

// Runs zsim on the netlist with a stand-in for ngspice; gives its exit status
// and its peak resident size in KB. zsim is forked here, not spawned: a
// spawned child shares the test's memory until it starts and would report the
// test's own peak, a forked one starts from the test's present size.
struct Measured {
  int exit_code = -1;
  long peak_kb = 0;
};
Measured zsim_with(const fs::path& simulator, const fs::path& netlist) {
  const std::string variable = "ZEPHYRIM_NGSPICE=" + simulator.string();
  const std::string zsim = ZEPHYRIM_ZSIM, cir = netlist.string(), folder = netlist.parent_path().string();
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_WRONLY);
    if (null < 0 || dup2(null, 1) < 0 || chdir(folder.c_str()) != 0 ||
        putenv(const_cast<char*>(variable.c_str())) != 0)
      _exit(127);
    execl(zsim.c_str(), zsim.c_str(), cir.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  Measured m;
  int status = 0;
  rusage usage{};
  if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) return m;
  if (WIFEXITED(status)) m.exit_code = WEXITSTATUS(status);
  m.peak_kb = usage.ru_maxrss;
  return m;
}

// The example and its setup in the folder, netlisted by the batch tool.
fs::path netlisted_example(const fs::path& dir, const std::string& name) {
  fs::remove_all(dir);
  fs::create_directories(dir);
  for (const char* ext : {".sch", ".SIM"})
    fs::copy_file(fs::path(ZEPHYRIM_SOURCE_DIR) / "examples" / (name + ext), dir / (name + ext));
  const ProcessResult r = process_run({ZEPHYRIM_BATCH_TOOL, "netlist", (dir / (name + ".sch")).string()});
  EXPECT_EQ(r.exit_code, 0) << r.output;
  return dir / (name + ".CIR");
}

struct Loaded {
  RecordingNotify notify{kTraceryTitle};
  NullProgress progress;
  DataStore store{notify, progress};
  std::vector<double> values(const char* name, int kind) {
    const DataVector* v = store.find_vector(name, 0, kind, -1, -1);
    if (!v) return {};
    const auto s = store.values(*v);
    return {s.begin(), s.end()};
  }
};

TEST(Zsim, ProbeFileHoldsWhatNgspiceComputed) {
  const TestFolder folder("zsim_rc");
  const fs::path& dir = folder.path;
  const fs::path cir = netlisted_example(dir, "rc_lowpass");
  const ProcessResult run = process_run({ZEPHYRIM_ZSIM, cir.string()}, dir.string(), 120);
  ASSERT_EQ(run.exit_code, 0) << run.output;
  const auto listing = read_text_file((dir / "rc_lowpass.OUT").string());
  ASSERT_TRUE(listing);
  // The viewer knows it for a SPICE3 listing with PROBE data; the "#" lines are echoed.
  EXPECT_NE(listing->find("SPICE3"), std::string::npos);
  EXPECT_NE(listing->find(" .PROBE binary file "), std::string::npos);
  EXPECT_NE(listing->find("#AUTOPLOT  TRAN V(in) V(out)"), std::string::npos);
  EXPECT_EQ(listing->find(".RAW"), std::string::npos);
  EXPECT_EQ(listing->find("*ERROR*"), std::string::npos) << *listing;
  for (const auto& e : fs::directory_iterator(dir))
    EXPECT_NE(e.path().filename().string().rfind("zsim-", 0), 0u) << "left behind: " << e.path();

  // The RAW file ngspice writes itself for the same netlist.
  const auto text = read_text_file(cir.string());
  ASSERT_TRUE(text);
  const NgspiceDeck deck = prepare_ngspice_deck(
      *text, [&](const std::string& name) { return read_text_file((dir / name).string()); });
  ASSERT_TRUE(write_file_atomic((dir / "direct.cir").string(),
                                ngspice_deck_text(deck, 0, {"setplot tran1", "write direct.raw", "quit"})));
  ASSERT_EQ(process_run({"ngspice", "-b", "direct.cir"}, dir.string(), 120).exit_code, 0);

  Loaded sav, raw;
  ASSERT_TRUE(sav.store.start());
  ASSERT_TRUE(raw.store.start());
  sav.store.open_data_file((dir / "rc_lowpass.SAV").string());
  EXPECT_EQ(probe_read_file(sav.store, (dir / "rc_lowpass.SAV").string()),
            2);  // the bias point and the transient
  EXPECT_GT(raw_read_file(raw.store, (dir / "direct.raw").string(), false), 0);
  const auto out = sav.values("V(OUT)", ANALYSIS_TRAN);
  ASSERT_GT(out.size(), 100u);
  EXPECT_EQ(out, raw.values("V(OUT)", ANALYSIS_TRAN));
  EXPECT_EQ(sav.values("TIME", ANALYSIS_TRAN), raw.values("TIME", ANALYSIS_TRAN));
  const DataVector* v = sav.store.find_vector("V(OUT)", 0, ANALYSIS_TRAN, -1, -1);
  EXPECT_EQ(*sav.store.vector_label(*v), "Run 1 Temp=27");
  EXPECT_TRUE(sav.notify.entries().empty()) << sav.notify.last();
}

// A node or device record of the bias file.
std::map<std::string, float> bias_records(const std::vector<uint8_t>& b, size_t first, int count) {
  std::map<std::string, float> out;
  for (int i = 0; i < count; ++i) {
    const size_t at = first + static_cast<size_t>(i) * 68;
    std::string name(reinterpret_cast<const char*>(b.data() + at), 64);
    name.erase(name.find_last_not_of(' ') + 1);
    float v;
    std::memcpy(&v, b.data() + at + 64, 4);
    out[name] = v;
  }
  return out;
}

TEST(Zsim, AmplifierBiasFileHoldsItsOperatingPoint) {
  const TestFolder folder("zsim_amplifier");
  const fs::path& dir = folder.path;
  const fs::path cir = netlisted_example(dir, "amplifier");
  // -ZSS opens the viewer on the results: here a stand-in that does nothing.
  setenv("ZEPHYRIM_VIEWER", "/bin/true", 1);
  const ProcessResult run = process_run({ZEPHYRIM_ZSIM, cir.string(), "-ZSS"}, dir.string(), 120);
  unsetenv("ZEPHYRIM_VIEWER");
  ASSERT_EQ(run.exit_code, 0) << run.output;
  // -ZSS: started by the editor, no summary; only the status lines the editor shows.
  for (const auto line : split_lines(run.output)) EXPECT_TRUE(line.starts_with("zsim-status: ")) << line;
  EXPECT_NE(run.output.find("zsim-status: Running ngspice..."), std::string::npos) << run.output;
  const auto b = read_file((dir / "amplifier.OPB").string());
  ASSERT_TRUE(b);
  ASSERT_GE(b->size(), 136u);
  int32_t width, nodes, devices;
  std::memcpy(&width, b->data() + 116, 4);
  std::memcpy(&nodes, b->data() + 120, 4);
  std::memcpy(&devices, b->data() + 124, 4);
  EXPECT_EQ(width, 64);
  ASSERT_EQ(b->size(), 136u + 68u * static_cast<size_t>(nodes + devices));
  const auto n = bias_records(*b, 136, nodes);
  const auto d = bias_records(*b, 136 + 68 * static_cast<size_t>(nodes), devices);
  // The collector sits where the examples' own test computes it, 5.77 V.
  ASSERT_TRUE(n.count("C")) << "nodes: " << n.size();
  EXPECT_NEAR(n.at("C"), 5.77, 0.05);
  ASSERT_FALSE(d.empty());
  EXPECT_EQ(d.begin()->first[0], 'V');
  // The same operating point is the first block of the PROBE file.
  Loaded sav;
  ASSERT_TRUE(sav.store.start());
  sav.store.open_data_file((dir / "amplifier.SAV").string());
  EXPECT_EQ(probe_read_file(sav.store, (dir / "amplifier.SAV").string()), 3);
  EXPECT_NEAR(sav.values("V(C)", ANALYSIS_OP).at(0), n.at("C"), 1e-5);
  EXPECT_EQ(sav.store.find_vector("V(C)", 0, ANALYSIS_AC, -1, -1)->complex, 1);
}

TEST(Zsim, FolderNamesReachTheEngineWhole) {
  const TestFolder folder("zsim_names");
  const fs::path& root = folder.path;
  const fs::path dir = root / "a b 'q' \"d\" $HOME;touch PWNED";
  const fs::path cir = netlisted_example(dir, "rc_lowpass");
  const ProcessResult run = process_run({ZEPHYRIM_ZSIM, cir.string()}, root.string(), 120);
  EXPECT_EQ(run.exit_code, 0) << run.output;
  EXPECT_TRUE(fs::exists(dir / "rc_lowpass.SAV"));
  EXPECT_FALSE(fs::exists(root / "PWNED"));
  EXPECT_FALSE(fs::exists(dir / "PWNED"));
  // A netlist that is not there still gives a listing that says so.
  const ProcessResult missing = process_run({ZEPHYRIM_ZSIM, (root / "none.CIR").string()}, root.string(), 60);
  EXPECT_EQ(missing.exit_code, 2);
  const auto listing = read_text_file((root / "none.OUT").string());
  ASSERT_TRUE(listing);
  EXPECT_NE(listing->find("*ERROR*: Cannot open file"), std::string::npos);
}

TEST(Zsim, EveryTemperatureRunGoesToTheProbeFile) {
  const TestFolder folder("zsim_temps");
  const fs::path& dir = folder.path;
  // A resistor with a temperature coefficient, so that the runs differ.
  const fs::path cir = dir / "temps.CIR";
  ASSERT_TRUE(write_file_atomic(cir.string(), std::string_view("RC at three temperatures\n"
                                                               "V1 in 0 PULSE(0 1 0 1u 1u 5m 10m)\n"
                                                               "R1 in out 1k TC=0.01\n"
                                                               "C1 out 0 1u\n"
                                                               ".TRAN 10u 2m\n"
                                                               ".AC DEC 5 10 1E5\n"
                                                               ".TEMP 0 27 80\n"
                                                               ".PROBE\n"
                                                               ".END\n")));
  const ProcessResult run = process_run({ZEPHYRIM_ZSIM, cir.string()}, dir.string(), 120);
  ASSERT_EQ(run.exit_code, 0) << run.output;
  EXPECT_NE(run.output.find("6 data blocks"), std::string::npos) << run.output;

  // ngspice's own RAW file of the last run.
  const NgspiceDeck deck = prepare_ngspice_deck(
      *read_text_file(cir.string()), [](const std::string&) { return std::optional<std::string>(); });
  ASSERT_EQ(deck.temperatures.size(), 3u);
  ASSERT_TRUE(write_file_atomic((dir / "direct.cir").string(),
                                ngspice_deck_text(deck, 2, {"setplot tran1", "write direct.raw", "quit"})));
  ASSERT_EQ(process_run({"ngspice", "-b", "direct.cir"}, dir.string(), 120).exit_code, 0);

  Loaded sav, raw;
  ASSERT_TRUE(sav.store.start());
  ASSERT_TRUE(raw.store.start());
  sav.store.open_data_file((dir / "temps.SAV").string());
  EXPECT_EQ(probe_read_file(sav.store, (dir / "temps.SAV").string()), 6);
  EXPECT_GT(raw_read_file(raw.store, (dir / "direct.raw").string(), false), 0);
  const auto last = sav.values("V(OUT)@3", ANALYSIS_TRAN);
  ASSERT_GT(last.size(), 100u);
  EXPECT_EQ(last, raw.values("V(OUT)", ANALYSIS_TRAN));
  EXPECT_NE(sav.values("V(OUT)@1", ANALYSIS_TRAN), last);
  const DataVector* v = sav.store.find_vector("V(OUT)@3", 0, ANALYSIS_AC, -1, -1);
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(*sav.store.vector_label(*v), "Run 3 Temp=80");
  EXPECT_TRUE(sav.notify.entries().empty()) << sav.notify.last();
}

// A simulator that writes a 16 MB transient plot into the data file that the
// deck names, for each run, in pieces so that it stays small itself.
constexpr const char* kBulkySimulator = R"(#!/usr/bin/python3
import array, re, sys
deck = open(sys.argv[2]).read()
name = re.search(r'^\s*write\s+(\S+)', deck, re.M).group(1)
temp = float(re.search(r'^\.TEMP\s+(\S+)', deck, re.M | re.I).group(1))
points = 500000
head = ('Title: bulky\nDate: today\nPlotname: Transient Analysis\nFlags: real\nNo. Variables: 4\n'
        'No. Points: %d\nVariables:\n\t0\ttime\ttime\n\t1\tv(a)\tvoltage\n\t2\tv(b)\tvoltage\n'
        '\t3\tv(c)\tvoltage\nBinary:\n' % points)
with open(name, 'ab') as f:
    f.write(head.encode())
    for start in range(0, points, 20000):
        a = array.array('d')
        for i in range(start, start + 20000):
            a.extend((i * 1e-9, i * 0.5, temp, -i))
        f.write(a.tobytes())
print('bulky done')
)";

TEST(Zsim, MemoryFollowsOnePlotNotTheRunSet) {
  const TestFolder folder("zsim_bulky");
  const fs::path& dir = folder.path;
  const fs::path fake = dir / "bulky";
  ASSERT_TRUE(write_file_atomic(fake.string(), std::string_view(kBulkySimulator)));
  fs::permissions(fake, fs::perms::owner_all);
  ASSERT_TRUE(write_file_atomic((dir / "bulky.CIR").string(),
                                std::string_view("* bulky\nR1 1 0 1k\nV1 1 0 1\n.TRAN 1n 500u\n"
                                                 ".TEMP 0 10 20 30 40 50 60 70\n.PROBE\n.END\n")));
  const Measured run = zsim_with(fake, dir / "bulky.CIR");
  const auto listing = read_text_file((dir / "bulky.OUT").string());
  ASSERT_TRUE(listing);
  ASSERT_EQ(run.exit_code, 0) << *listing;
  EXPECT_NE(listing->find("bulky.SAV: 8 data blocks"), std::string::npos) << *listing;
  // 8 runs of 16 MB: holding them all would take 128 MB.
  EXPECT_GT(run.peak_kb, 0);
  EXPECT_LT(run.peak_kb, 96 * 1024 * kMemoryScale);

  Loaded sav;
  ASSERT_TRUE(sav.store.start());
  sav.store.open_data_file((dir / "bulky.SAV").string());
  EXPECT_EQ(probe_read_file(sav.store, (dir / "bulky.SAV").string()), 8);
  for (int r = 1; r <= 8; ++r) {
    const std::string at = "@" + std::to_string(r);
    const auto b = sav.values(("V(B)" + at).c_str(), ANALYSIS_TRAN);
    ASSERT_EQ(b.size(), 500000u) << r;
    EXPECT_EQ(b[499999], 10.0 * (r - 1));
    const auto c = sav.values(("V(C)" + at).c_str(), ANALYSIS_TRAN);
    ASSERT_EQ(c.size(), 500000u);
    EXPECT_EQ(c[499999], -499999.0);
  }
}

// A simulator that prints far more than the listing may hold (95 MB), with an
// error in the middle, CR LF line ends and a last line without a break.
constexpr const char* kChattySimulator =
    "#!/bin/sh\n"
    "yes 'line of a simulator that says a lot about its work' | head -n 1000000\n"
    "echo 'Error: the middle went wrong'\n"
    "yes 'more output after the middle' | head -n 1500000\n"
    "printf 'Warning: near the end\\r\\nlast line without a break'\n";
constexpr std::string_view kFirst = "line of a simulator that says a lot about its work";
constexpr std::string_view kError = "Error: the middle went wrong";
constexpr std::string_view kSecond = "more output after the middle";
constexpr std::string_view kEnd = "Warning: near the end\nlast line without a break\n";
// With every line end as LF.
constexpr uint64_t kChattyBytes =
    1000000 * (kFirst.size() + 1) + kError.size() + 1 + 1500000 * (kSecond.size() + 1) + kEnd.size();

TEST(Zsim, HugeSimulatorOutputIsCutButItsErrorsStay) {
  const TestFolder folder("zsim_chatty");
  const fs::path& dir = folder.path;
  const fs::path fake = dir / "fake ngspice";
  ASSERT_TRUE(write_file_atomic(fake.string(), std::string_view(kChattySimulator)));
  fs::permissions(fake, fs::perms::owner_all);
  ASSERT_TRUE(write_file_atomic((dir / "chatty.CIR").string(),
                                std::string_view("* chatty\nR1 1 0 1k\nV1 1 0 1\n.OP\n.END\n")));
  const Measured run = zsim_with(fake, dir / "chatty.CIR");
  EXPECT_EQ(run.exit_code, 1);  // the simulator reported an error
  // Far less than the 95 MB printed was ever in memory at once.
  EXPECT_GT(run.peak_kb, 0);
  EXPECT_LT(run.peak_kb, 40 * 1024 * kMemoryScale);

  const auto listing = read_text_file((dir / "chatty.OUT").string());
  ASSERT_TRUE(listing);
  EXPECT_LT(listing->size(), 10u << 20);
  const auto lines = split_lines(*listing);
  ASSERT_GT(lines.size(), 10u);
  EXPECT_EQ(lines[0], "ZEPHYRIM ZSIM SPICE3 ENGINE (ngspice)");
  // Every simulator byte is either in the listing or counted by a notice.
  uint64_t kept = 0, left_out = 0;
  int notices = 0;
  std::vector<std::string_view> others;
  for (const auto l : lines) {
    if (l == kFirst || l == kSecond) {
      kept += l.size() + 1;
    } else if (l.starts_with("*WARNING: ") && l.ends_with(" bytes of simulator output left out here")) {
      left_out += std::strtoull(l.data() + 10, nullptr, 10);
      ++notices;
    } else if (!l.starts_with("**** Run") && !l.starts_with("TOTAL JOB TIME")) {
      others.push_back(l);
    }
  }
  EXPECT_EQ(kept + left_out + kError.size() + 1 + kEnd.size(), kChattyBytes);
  // The error of the middle stays with its mirror, between two notices.
  EXPECT_EQ(notices, 2);
  const auto error = std::find(others.begin(), others.end(), kError);
  ASSERT_NE(error, others.end());
  EXPECT_EQ(*(error + 1), "*ERROR*: Error: the middle went wrong");
  const auto warning = std::find(others.begin(), others.end(), "Warning: near the end");
  ASSERT_NE(warning, others.end());
  EXPECT_EQ(*(warning + 1), "last line without a break");
  EXPECT_EQ(lines[lines.size() - 3], "1 errors, 3 warnings");
}

TEST(Zsim, EveryErrorIsCountedThoughNotEveryOneIsKept) {
  const TestFolder folder("zsim_errors");
  const fs::path& dir = folder.path;
  const fs::path fake = dir / "failing";
  ASSERT_TRUE(
      write_file_atomic(fake.string(), std::string_view("#!/bin/sh\nyes 'Error: again' | head -n 400000\n")));
  fs::permissions(fake, fs::perms::owner_all);
  ASSERT_TRUE(write_file_atomic((dir / "e.CIR").string(), std::string_view("* e\nR1 1 0 1k\n.OP\n.END\n")));
  EXPECT_EQ(zsim_with(fake, dir / "e.CIR").exit_code, 1);
  const auto listing = read_text_file((dir / "e.OUT").string());
  ASSERT_TRUE(listing);
  // 400,000 errors and their mirrors make 10 MB; the errors of the middle
  // stay only up to a bound of their own, and are then left out in one piece.
  EXPECT_LT(listing->size(), 10u << 20);
  EXPECT_NE(listing->find("\n400000 errors, 1 warnings\n"), std::string::npos);
  EXPECT_NE(listing->find(" bytes of simulator output left out here\n"), std::string::npos);
}

}  // namespace
}  // namespace zephyrim
