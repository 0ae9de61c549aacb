#include "common/notify.h"

#include <gtest/gtest.h>

namespace zephyrim {
namespace {

TEST(Notify, CaptionsComeFromTheProgramTitle) {
  EXPECT_EQ(notice_caption(kSchematicTitle, NoticeKind::Information), "Zephyrim Schematic");
  EXPECT_EQ(notice_caption(kSchematicTitle, NoticeKind::Warning), "Zephyrim Schematic - Warning");
  EXPECT_EQ(notice_caption(kSchematicTitle, NoticeKind::Question), "Zephyrim Schematic - Warning");
  EXPECT_EQ(notice_caption(kSchematicTitle, NoticeKind::Error), "Zephyrim Schematic - Error");
  EXPECT_EQ(notice_caption(kTraceryTitle, NoticeKind::FatalError), "Tracery - Fatal Error");
  EXPECT_EQ(notice_caption(kTraceryTitle, NoticeKind::SystemError), "Tracery - System Error");
}

TEST(Notify, RecordingKeepsTextsAndScriptsAnswersInOrder) {
  RecordingNotify n(kTraceryTitle);
  n.warning("w");
  n.system_error();
  n.answer(0);
  n.answer(-1);
  EXPECT_EQ(n.question("q1", QuestionKind::YesNo), 0);
  EXPECT_EQ(n.question("q2", QuestionKind::YesNoCancel), -1);
  EXPECT_EQ(n.question("q3", QuestionKind::OkCancel), 1);  // default after the script
  ASSERT_EQ(n.entries().size(), 5u);
  EXPECT_EQ(n.entries()[0].caption, "Tracery - Warning");
  EXPECT_EQ(n.entries()[1].text, "Unable to display dialog");
  EXPECT_EQ(n.entries()[1].caption, "Tracery - System Error");
  EXPECT_EQ(n.entries()[4].caption, "Tracery - Warning");
  EXPECT_TRUE(n.saw("q2"));
}

TEST(Notify, PromptsAreCutToTheirLimit) {
  RecordingNotify n;
  n.reply(std::string(40, 'x'));
  n.reply(std::nullopt);
  EXPECT_EQ(n.prompt("SYMBOL NAME", "Enter new name:", "", 31)->size(), 31u);
  EXPECT_FALSE(n.prompt("SYMBOL NAME", "Enter new name:", "", 31).has_value());
  EXPECT_EQ(n.prompt("SYMBOL NAME", "Enter new name:", "R", 31), "R");
}

TEST(Notify, OutOfMemoryTextHasTheAvailableAmount) {
  const std::string t = out_of_memory_text();
  EXPECT_EQ(t.rfind("Cannot allocate memory.\n\nAvailable ", 0), 0u);
  EXPECT_EQ(t.substr(t.size() - 3), " KB");
}

TEST(Notify, BatchPrintsCaptionAndTextAndTakesTheGivenAnswer) {
  BatchNotify n(kSchematicTitle);
  testing::internal::CaptureStderr();
  n.error("Cannot open page 3");
  EXPECT_EQ(n.question("Replace?", QuestionKind::YesNo), 1);
  n.set_answer(0);
  EXPECT_EQ(n.question("Replace?", QuestionKind::YesNoCancel), 0);
  EXPECT_EQ(n.question("Go on?", QuestionKind::OkCancel), -1);
  n.set_answer(-1);
  EXPECT_EQ(n.question("Replace?", QuestionKind::YesNo), 0);  // a yes/no box has no cancel
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("Zephyrim Schematic - Error: Cannot open page 3\n"), std::string::npos);
  EXPECT_NE(err.find("Zephyrim Schematic - Warning: Replace? [yes]"), std::string::npos);
}

}  // namespace
}  // namespace zephyrim
