// The viewer's command line, the close after an empty start and the task messages.
#include "viewer/session/command_line.h"

#include <gtest/gtest.h>

#include "platform/broadcast.h"

namespace zephyrim {
namespace {

static_assert(kViewerClosedNotice == kTaskDoneViewerEnds, "the editor waits for this value");

ViewerCommandLine parse(const std::vector<std::string>& args, RecordingNotify& notify) {
  return parse_viewer_command_line(args, notify);
}

TEST(ViewerCommandLine, SwitchesAndTheDataFile) {
  RecordingNotify notify(kTraceryTitle);
  ViewerCommandLine line = parse({}, notify);
  EXPECT_FALSE(line.started_by_simulation);
  EXPECT_FALSE(line.show_maximised);
  EXPECT_EQ(line.data_file, "");

  line = parse({"-showMax", "amp.SAV"}, notify);
  EXPECT_TRUE(line.show_maximised);
  EXPECT_FALSE(line.started_by_simulation);
  EXPECT_EQ(line.data_file, "amp.SAV");

  // The engines pass the switch in capitals; the file may come first.
  line = parse({"/runs/my amp.raw", "-ZSS"}, notify);
  EXPECT_TRUE(line.started_by_simulation);
  EXPECT_EQ(line.data_file, "/runs/my amp.raw");

  // Unknown switches and empty words are passed over, and are never the file.
  line = parse({"-x", "", "-", "--geometry=1x1", "out.csd"}, notify);
  EXPECT_EQ(line.data_file, "out.csd");
  EXPECT_TRUE(notify.entries().empty());
}

TEST(ViewerCommandLine, FurtherFileNamesAreReportedOnce) {
  RecordingNotify notify(kTraceryTitle);
  const ViewerCommandLine line = parse({"a.SAV", "-zss", "b.SAV", "c.SAV"}, notify);
  EXPECT_EQ(line.data_file, "a.SAV");
  EXPECT_TRUE(line.started_by_simulation);
  ASSERT_EQ(notify.entries().size(), 1u);
  EXPECT_EQ(notify.entries()[0].caption, "Tracery - Warning");
  EXPECT_EQ(notify.last(), "Invalid command line option(s) ignored");
}

TEST(ViewerStartup, StartedByASimulationWithNothingToShowCloses) {
  RecordingNotify notify(kTraceryTitle);
  const ViewerCommandLine zss_alone = parse({"-zss"}, notify);
  EXPECT_EQ(zss_alone.data_file, "");
  EXPECT_TRUE(close_after_load(zss_alone, false));
  EXPECT_FALSE(close_after_load(parse({"-zss", "missing.SAV"}, notify), true));
  EXPECT_TRUE(close_after_load(parse({"-zss", "missing.SAV"}, notify), false));
  // Started by hand, the viewer stays open with no plot.
  EXPECT_FALSE(close_after_load(parse({"missing.SAV"}, notify), false));
}

TEST(ViewerStartup, NewSimulationClosesOnlyWhenAutoCloseIsOn) {
  EXPECT_TRUE(should_close_on_simulation(kSimulationStarting, true));
  EXPECT_FALSE(should_close_on_simulation(kSimulationStarting, false));
  EXPECT_FALSE(should_close_on_simulation(0, true));
  EXPECT_FALSE(should_close_on_simulation(kViewerClosedNotice, true));
}

}  // namespace
}  // namespace zephyrim
