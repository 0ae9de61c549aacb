// The built tool as scripts run it: help and usage errors, the global --answer
// taking a question's other branch, pictures that never replace a good file
// with a half-written one, and a tool without Qt that hands drawing over.
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "common/file_io.h"
#include "platform/process.h"

extern char** environ;

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

// `zephyrim listen` started with its messages in runtime, its stderr on a pipe;
// returns its pid once it said "listening", or -1.
pid_t start_listener(const fs::path& runtime) {
  int pipe_fds[2];
  if (::pipe(pipe_fds) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 2);
  posix_spawn_file_actions_addclose(&actions, pipe_fds[0]);
  std::vector<std::string> env{"ZEPHYRIM_RUNTIME_DIR=" + runtime.string()};
  for (char** e = environ; *e; ++e)
    if (std::strncmp(*e, "ZEPHYRIM_RUNTIME_DIR=", 21) != 0) env.emplace_back(*e);
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string program = ZEPHYRIM_BATCH_TOOL, verb = "listen", count = "--count", one = "1";
  char* argv[] = {program.data(), verb.data(), count.data(), one.data(), nullptr};
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv, envp.data()) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipe_fds[1]);
  std::string said;
  char buf[256];
  pollfd p{pipe_fds[0], POLLIN, 0};
  while (pid > 0 && said.find("listening") == std::string::npos && ::poll(&p, 1, 20000) > 0) {
    const ssize_t n = ::read(pipe_fds[0], buf, sizeof buf);
    if (n <= 0) break;
    said.append(buf, static_cast<size_t>(n));
  }
  ::close(pipe_fds[0]);
  return said.find("listening") == std::string::npos ? -1 : pid;
}

// Scripts and the programs' tests start zephyrim often: it must not load Qt,
// while the verbs that draw still work through the same command.
TEST(BatchTool, StartsWithoutQtAndHandsDrawingToItsProgram) {
  const fs::path dir = folder_with_example("no_qt");
  const pid_t pid = start_listener(dir);
  ASSERT_GT(pid, 0);
  // Files of /proc tell no size: read to the end.
  std::ifstream in("/proc/" + std::to_string(pid) + "/maps");
  const std::string maps((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ::kill(pid, SIGTERM);
  ::waitpid(pid, nullptr, 0);
  EXPECT_NE(maps.find("libc"), std::string::npos) << maps;
  EXPECT_EQ(maps.find("libQt"), std::string::npos) << maps;

  // Help of a drawing verb comes from zephyrim itself.
  const ProcessResult help = tool({"render", "--help"});
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_EQ(help.output.rfind("usage: zephyrim render FILE.sch [--page N]", 0), 0u) << help.output;
  // The drawing program's stdout and exit status are the verb's.
  fs::copy_file(fs::path(ZEPHYRIM_SOURCE_DIR) / "data" / "symbols" / "default.sym", dir / "default.sym");
  const ProcessResult list = tool({"--answer", "yes", "symbols", (dir / "default.sym").string()});
  EXPECT_EQ(list.exit_code, 0) << list.output;
  EXPECT_NE(list.output.find("\nR "), std::string::npos) << list.output;
  const ProcessResult missing = tool({"symbols", (dir / "none.sym").string()});
  EXPECT_EQ(missing.exit_code, 1) << missing.output;
  EXPECT_NE(missing.output.find("none.sym"), std::string::npos) << missing.output;
}

// A copy of zephyrim alone in a folder: a drawing verb fails with a reason and
// the status of a failure, and the verbs that draw nothing still work.
TEST(BatchTool, DrawingVerbWithoutTheDrawingProgramFails) {
  const fs::path dir = folder_with_example("alone");
  fs::copy_file(ZEPHYRIM_BATCH_TOOL, dir / "zephyrim");
  const std::string tool_copy = (dir / "zephyrim").string(), sch = (dir / "rc_lowpass.sch").string();
  const ProcessResult r = process_run({tool_copy, "render", sch, "-o", (dir / "a.png").string()});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_NE(r.output.find("zephyrim: cannot start " + (dir / "zephyrim-draw").string()), std::string::npos)
      << r.output;
  EXPECT_EQ(process_run({tool_copy, "check", sch}).exit_code, 0);
}

// calc over ngspice's AC data: a form of a complex result equals the same form
// worked out from the printed values, kinds go by name, and errors have statuses.
TEST(BatchTool, CalcPrintsFormsOfAnExpressionOverTheData) {
  const std::string raw =
      (fs::path(ZEPHYRIM_SOURCE_DIR) / "tests/fuzz/corpus/raw_file/ngspice_ascii.raw").string();
  const ProcessResult values = tool({"values", raw, "V(OUT)", "--kind", "3"});
  const ProcessResult db = tool({"calc", raw, "V(OUT)*2", "--kind", "AC", "--form", "dB"});
  ASSERT_EQ(values.exit_code, 0) << values.output;
  ASSERT_EQ(db.exit_code, 0) << db.output;
  std::istringstream v(values.output), d(db.output);
  int points = 0;
  for (double f, re, im, f2, level; v >> f >> re >> im && d >> f2 >> level; ++points) {
    EXPECT_EQ(f, f2);
    EXPECT_NEAR(level, 20 * std::log10(2 * std::hypot(re, im)), 1e-9) << "at " << f;
  }
  EXPECT_EQ(points, 26);
  // Without a form, both parts; the same numbers as values prints.
  EXPECT_EQ(tool({"calc", raw, "V(OUT)", "--kind", "ac"}).output, values.output);

  EXPECT_EQ(tool({"calc", raw, "V(OUT)", "--kind", "bogus"}).exit_code, 2);
  EXPECT_EQ(tool({"calc", raw, "V(OUT)", "--kind", "ac", "--form", "loud"}).exit_code, 2);
  const ProcessResult bad = tool({"calc", raw, "V(OUT", "--kind", "ac"});
  EXPECT_EQ(bad.exit_code, 1);
  EXPECT_NE(bad.output.find("Mismatched parenthesis"), std::string::npos) << bad.output;
}

}  // namespace
}  // namespace zephyrim
