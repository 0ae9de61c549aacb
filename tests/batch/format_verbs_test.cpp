// The plot format verbs as scripts run them: `zephyrim formats` listing a
// project's slots, and `zephyrim plot --format` drawing data with a saved format.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "common/file_io.h"
#include "common/notify.h"
#include "common/progress.h"
#include "platform/process.h"
#include "viewer/calc/data_open.h"
#include "viewer/data/data_store.h"
#include "viewer/plot/format_file.h"
#include "viewer/plot/trace_selection.h"

namespace zephyrim {
namespace {

namespace fs = std::filesystem;

ProcessResult tool(std::vector<std::string> args) {
  args.insert(args.begin(), ZEPHYRIM_BATCH_TOOL);
  return process_run(args);
}

// A folder with a stepped transient RAW file (two runs of V(N1)) as wide.raw
// and, in slot 3 of its project, a format showing run 2 of V(N1) on plot 2.
struct FormatProject {
  // A folder of each test's own: ctest runs the tests of this file at the same time.
  fs::path dir =
      fs::path(::testing::TempDir()) / ("zephyrim_batch_formats_" + std::to_string(getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
  std::string data = (dir / "wide.raw").string();
  FormatProject() {
    fs::remove_all(dir);
    fs::create_directories(dir);
    fs::copy_file(fs::path(ZEPHYRIM_SOURCE_DIR) / "tests/fuzz/corpus/raw_file/wide_stepped.raw", data);
    RecordingNotify notify(kTraceryTitle);
    NullProgress progress;
    DataStore store(notify, progress);
    DataOpenSession session;
    EXPECT_TRUE(store.start());
    EXPECT_GT(data_open(store, data, -1, true, session), 0);
    Graph g;
    g.analysis = ANALYSIS_TRAN;
    g.cls = DATA_CLASS_BINARY;
    std::vector<TraceRequest> r{{.name = "V(N1)", .run = 2, .plot = 1}};
    EXPECT_EQ(select_traces(g, store, r, notify), 1);
    g.plots = 2;
    g.plot[1].y_label = "Node 1";
    EXPECT_EQ(format_save(g, format_slot_file(format_base_name(data), 3), "node one", "wide.raw", notify), 1);
  }
  ~FormatProject() { fs::remove_all(dir); }
};

TEST(FormatVerbs, FormatsListsEachSlotOfTheProject) {
  FormatProject p;
  ProcessResult r = tool({"formats", p.data});
  EXPECT_EQ(r.exit_code, 0) << r.output;
  EXPECT_EQ(r.output, "03\tnode one\twide.raw\tTRAN\tV(N1)\n");
  // Any file of the project names it, a format file too.
  r = tool({"formats", (p.dir / "wide.F03").string()});
  EXPECT_EQ(r.exit_code, 0) << r.output;
  r = tool({"formats", (p.dir / "other.raw").string()});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.output.find("No plot format files"), std::string::npos) << r.output;
}

TEST(FormatVerbs, PlotDrawsTheDataWithASavedFormat) {
  FormatProject p;
  const std::string png = (p.dir / "graph.png").string();
  ProcessResult r = tool({"plot", p.data, "--format", p.data, "--slot", "3", "-o", png});
  EXPECT_EQ(r.exit_code, 0) << r.output;
  EXPECT_TRUE(file_exists(png));
  // The format file named directly gives the same picture.
  const std::string direct = (p.dir / "direct.png").string();
  r = tool({"plot", p.data, "--format", (p.dir / "wide.F03").string(), "-o", direct});
  EXPECT_EQ(r.exit_code, 0) << r.output;
  EXPECT_EQ(read_file(png), read_file(direct));

  // A format of another analysis, an empty slot and a slot without a format.
  r = tool({"plot", p.data, "--format", p.data, "--slot", "3", "--kind", "ac", "-o", png});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.output.find("Saved format does not match selected analysis"), std::string::npos) << r.output;
  r = tool({"plot", p.data, "--format", p.data, "--slot", "4", "-o", png});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.output.find("Cannot open plot format file:"), std::string::npos) << r.output;
  r = tool({"plot", p.data, "--slot", "3", "-o", png});
  EXPECT_EQ(r.exit_code, 2) << r.output;
  r = tool({"plot", p.data, "--format", p.data, "--slot", "100", "-o", png});
  EXPECT_EQ(r.exit_code, 2) << r.output;
}

}  // namespace
}  // namespace zephyrim
