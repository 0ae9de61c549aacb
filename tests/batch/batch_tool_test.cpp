// The built tool as scripts run it: help and usage errors, the global --answer
// taking a question's other branch, and pictures that never replace a good file
// with a half-written one.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "common/file_io.h"
#include "platform/process.h"

namespace zephyrim {
namespace {

namespace fs = std::filesystem;

ProcessResult tool(std::vector<std::string> args) {
  args.insert(args.begin(), ZEPHYRIM_BATCH_TOOL);
  return process_run(args);
}

// A fresh folder holding a copy of the example schematic, without its setup.
fs::path folder_with_example(const std::string& name) {
  const fs::path dir = fs::path(::testing::TempDir()) / ("zephyrim_batch_" + name);
  fs::remove_all(dir);
  fs::create_directories(dir);
  fs::copy_file(fs::path(ZEPHYRIM_SOURCE_DIR) / "examples" / "rc_lowpass.sch", dir / "rc_lowpass.sch");
  return dir;
}

std::string file_text(const fs::path& path) {
  return read_text_file(path.string()).value_or("<missing>");
}

// Runs the tool as a user who cannot write a read-only folder: root can, so a
// test run by root drops to nobody in the child.
int run_unprivileged(std::vector<std::string> args, const fs::path& home) {
  args.insert(args.begin(), ZEPHYRIM_BATCH_TOOL);
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
      ::_exit(127);
    ::setenv("HOME", home.c_str(), 1);
    ::unsetenv("XDG_RUNTIME_DIR");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  if (pid < 0 || ::waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(BatchTool, HelpOnStdoutAndUsageErrorsWithTheVerb) {
  const ProcessResult help = tool({"check", "--help"});
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_NE(help.output.find("usage: zephyrim check FILE.sch"), std::string::npos) << help.output;
  const ProcessResult all = tool({"--help"});
  EXPECT_EQ(all.exit_code, 0);
  EXPECT_NE(all.output.find("  render     draw one page"), std::string::npos) << all.output;

  const ProcessResult bad = tool({"render", "x.sch", "-o", "x.png", "--scale", "40"});
  EXPECT_EQ(bad.exit_code, 2);
  EXPECT_EQ(bad.output.rfind("zephyrim render: --scale needs a number above 0, at most 16\nusage: ", 0), 0u)
      << bad.output;
  EXPECT_EQ(tool({"netlist", "x.sch", "--append"}).exit_code, 2);
  EXPECT_EQ(tool({"--answer", "perhaps", "check", "x.sch"}).exit_code, 2);
  EXPECT_EQ(tool({}).exit_code, 2);
}

// Netlisting a schematic without analyses asks whether to go on: OK by default,
// cancel (a failed check, status 1) when the script says no.
TEST(BatchTool, AnswerNoTakesTheQuestionsOtherBranch) {
  const fs::path dir = folder_with_example("answer");
  const std::string sch = (dir / "rc_lowpass.sch").string();
  const ProcessResult yes = tool({"netlist", sch});
  EXPECT_EQ(yes.exit_code, 0) << yes.output;
  EXPECT_NE(yes.output.find("No analysis commands specified [OK]"), std::string::npos) << yes.output;

  for (const auto& args : {std::vector<std::string>{"--answer", "no", "netlist", sch},
                           std::vector<std::string>{"netlist", sch, "--answer", "no"}}) {
    const ProcessResult no = tool(args);
    EXPECT_EQ(no.exit_code, 1) << no.output;
    EXPECT_NE(no.output.find("No analysis commands specified [cancel]"), std::string::npos) << no.output;
  }
}

TEST(BatchTool, PicturesOfEveryFormatAreWritten) {
  const fs::path dir = folder_with_example("formats");
  const std::string sch = (dir / "rc_lowpass.sch").string();
  for (const auto& [name, magic] : {std::pair<std::string, std::string>{"page.png", "\x89PNG"},
                                    {"page.svg", "<?xml"},
                                    {"page.pdf", "%PDF"},
                                    {"page.bmp", "BM"}}) {
    const ProcessResult r = tool({"render", sch, "-o", (dir / name).string()});
    EXPECT_EQ(r.exit_code, 0) << name << r.output;
    EXPECT_EQ(file_text(dir / name).substr(0, magic.size()), magic) << name;
  }
}

// The folder refuses new files, while the old picture itself stays writable: a
// writer that wrote in place would replace it, the crash-safe one fails instead.
TEST(BatchTool, PictureIntoAReadOnlyFolderFailsAndKeepsTheOldFile) {
  const fs::path dir = folder_with_example("read_only");
  const fs::path out = dir / "pictures";
  fs::create_directories(out);
  for (const char* name : {"page.png", "page.svg", "page.pdf"}) {
    ASSERT_TRUE(write_file_atomic((out / name).string(), std::string("the old picture")));
    ::chmod((out / name).c_str(), 0666);
  }
  ::chmod(out.c_str(), 0555);
  for (const char* name : {"page.png", "page.svg", "page.pdf"}) {
    EXPECT_EQ(
        run_unprivileged({"render", (dir / "rc_lowpass.sch").string(), "-o", (out / name).string()}, dir), 2)
        << name;
    EXPECT_EQ(file_text(out / name), "the old picture") << name;
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 3);
  ::chmod(out.c_str(), 0755);
}

}  // namespace
}  // namespace zephyrim
