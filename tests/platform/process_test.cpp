#include "platform/process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace zephyrim {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Process : ::testing::Test {
  fs::path dir;
  void SetUp() override {
    dir =
        fs::temp_directory_path() /
        ("zephyrim_process_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }

  pid_t pid_in(const char* name) {
    std::ifstream in(dir / name);
    pid_t pid = 0;
    in >> pid;
    return pid;
  }
};

// Gone, or a zombie nobody reaps: either way it runs no more.
bool ended(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  if (!stat) return true;
  std::string line;
  std::getline(stat, line);
  const size_t close = line.rfind(')');
  return close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'Z';
}

bool ends_within(pid_t pid, std::chrono::seconds limit) {
  const auto until = Clock::now() + limit;
  while (!ended(pid)) {
    if (Clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

TEST_F(Process, ExitStatusSignalAndOutput) {
  const ProcessResult r = process_run({"sh", "-c", "echo out; echo err >&2; read x; echo \"[$x]\"; exit 3"});
  EXPECT_EQ(r.start_error, 0);
  EXPECT_EQ(r.exit_code, 3);
  EXPECT_EQ(r.signal, 0);
  EXPECT_FALSE(r.timed_out);
  EXPECT_EQ(r.output, "out\nerr\n[]\n");  // stdin is empty

  const ProcessResult killed = process_run({"sh", "-c", "kill -TERM $$"});
  EXPECT_EQ(killed.exit_code, -1);
  EXPECT_EQ(killed.signal, SIGTERM);
  EXPECT_FALSE(killed.timed_out);

  EXPECT_EQ(process_run({"true"}).exit_code, 0);
  EXPECT_EQ(process_run({"zephyrim-no-such-program"}).start_error, ENOENT);
  EXPECT_EQ(process_run({}).start_error, EINVAL);
  // A folder that is not there is a failed start, not a run somewhere else.
  const ProcessResult nowhere = process_run({"pwd"}, (dir / "missing").string());
  EXPECT_TRUE(nowhere.start_error != 0 || nowhere.exit_code != 0);
}

TEST_F(Process, ArgumentsReachTheProgramWhole) {
  const std::vector<std::string> awkward = {"a b",           "'q'", "\"d\"", "$HOME;touch PWNED",
                                            "`touch PWNED`", "",    "x\ny",  "*"};
  std::vector<std::string> argv = {"printf", "<%s>"};
  argv.insert(argv.end(), awkward.begin(), awkward.end());
  const ProcessResult r = process_run(argv, dir.string());
  ASSERT_EQ(r.exit_code, 0) << r.output;
  EXPECT_EQ(r.output, "<a b><'q'><\"d\"><$HOME;touch PWNED><`touch PWNED`><><x\ny><*>");
  EXPECT_FALSE(fs::exists(dir / "PWNED"));
  // The program runs in the folder given, whatever its name holds.
  const fs::path odd = dir / "a b $x 'q'";
  fs::create_directories(odd);
  EXPECT_EQ(process_run({"pwd"}, odd.string()).output, odd.string() + "\n");
}

TEST_F(Process, TimeoutKillsTheProgramAndWhatItStarted) {
  const auto start = Clock::now();
  const ProcessResult r =
      process_run({"sh", "-c", "sleep 60 & echo $! > helper; echo started; sleep 60"}, dir.string(), 1.0);
  const auto took = Clock::now() - start;
  EXPECT_TRUE(r.timed_out);
  EXPECT_EQ(r.exit_code, -1);
  EXPECT_EQ(r.signal, SIGKILL);
  EXPECT_EQ(r.output, "started\n");
  EXPECT_GE(took, std::chrono::milliseconds(900));
  EXPECT_LT(took, std::chrono::seconds(10));
  const pid_t helper = pid_in("helper");
  ASSERT_GT(helper, 0);
  EXPECT_TRUE(ends_within(helper, std::chrono::seconds(5))) << "the helper of a killed program still runs";
  if (!ended(helper)) kill(helper, SIGKILL);
}

TEST_F(Process, AHelperLeftRunningDoesNotHoldTheRun) {
  // The helper keeps the output pipe open; the run still ends with the program.
  const auto start = Clock::now();
  const ProcessResult r =
      process_run({"sh", "-c", "sleep 60 & echo $! > helper; echo done"}, dir.string(), 30);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
  EXPECT_FALSE(r.timed_out);
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.output, "done\n");
  const pid_t helper = pid_in("helper");
  ASSERT_GT(helper, 0);
  kill(helper, SIGKILL);
}

TEST_F(Process, StreamedOutputIsNotKept) {
  uint64_t bytes = 0;
  int pieces = 0;
  std::string head;
  const ProcessResult r = process_run({"sh", "-c", "yes 0123456789 | head -c 20000000; echo; echo last"}, {},
                                      60, [&](std::string_view piece) {
                                        if (head.size() < 11) head.append(piece.substr(0, 11 - head.size()));
                                        bytes += piece.size();
                                        ++pieces;
                                      });
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_TRUE(r.output.empty());
  EXPECT_EQ(bytes, 20000000u + 6);
  EXPECT_GT(pieces, 1);
  EXPECT_EQ(head, "0123456789\n");
}

}  // namespace
}  // namespace zephyrim
