#include "symbols/draw_command.h"

#include <gtest/gtest.h>

namespace zephyrim {
namespace {

struct DrawParse : ::testing::Test {
  RecordingNotify notify;
  std::vector<DrawCommand> cmds;
  int parse(const std::string& text, int dx = 0, int dy = 0) {
    return draw_parse(text, dx, dy, cmds, "R", notify);
  }
};

TEST_F(DrawParse, EveryLetterStoresItsArgumentsAndUnknownPiecesAreSkipped) {
  ASSERT_EQ(parse("M(0,-8);V(8,-8);X(1,2);A(0,0,8,4,0,180);C(4,4,2);E(1,2,3,4);R(-8,-4,8,4);"
                  "D(0,0,8,0,4,8);F;T(+,0,1,2,0);L(R,0,16,-8);O(8,0);S(A,2,0,0,16,0);Z(2,0,0,8,8);;"),
            13);
  EXPECT_EQ(cmds[0].op, 'M');
  EXPECT_EQ(cmds[1].args[0], 8);
  EXPECT_EQ(cmds[2].op, 'A');
  EXPECT_EQ(cmds[2].args[5], 180);
  EXPECT_EQ(cmds[3].args[2], 2);
  EXPECT_EQ(cmds[5].args[3], 4);
  EXPECT_EQ(cmds[6].args[5], 8);
  EXPECT_EQ(cmds[7].op, 'F');
  EXPECT_EQ(cmds[8].text(), "+");
  EXPECT_EQ(cmds[8].args[2], 2);  // v before h
  EXPECT_EQ(cmds[8].args[3], 0);
  EXPECT_EQ(cmds[9].args[4], 0);  // L defaults: h 0, v 2
  EXPECT_EQ(cmds[9].args[5], 2);
  EXPECT_EQ(cmds[10].op, 'O');
  EXPECT_EQ(cmds[11].args[0], 0);
  EXPECT_EQ(cmds[11].args[1], 2);
  EXPECT_EQ(cmds[11].args[2], 8);  // the O offset applies to what follows
  EXPECT_EQ(cmds[12].arg_count, 4);
  EXPECT_EQ(cmds[12].args[2], 16);
  EXPECT_TRUE(notify.entries().empty());
}

TEST_F(DrawParse, OffsetsApplyToCoordinatesOnly) {
  parse("O(8,0);M(0,0);A(0,0,8,8,0,90);C(0,0,4);L(V,0,0,0);T(x);R(0,0,8,8)", 0, 0);
  EXPECT_EQ(cmds[1].args[0], 8);  // O(8,0) before M(0,0) stores M(8,0)
  EXPECT_EQ(cmds[2].args[0], 8);
  EXPECT_EQ(cmds[2].args[2], 8);  // radius untouched
  EXPECT_EQ(cmds[3].args[2], 4);
  EXPECT_EQ(cmds[4].args[2], 8);
  EXPECT_EQ(cmds[6].args[2], 16);
  parse("M(0,0)", 4, -4);
  EXPECT_EQ(cmds[0].args[0], 4);
  EXPECT_EQ(cmds[0].args[1], -4);
}

TEST_F(DrawParse, PolygonOfNinePointsIsReportedAndKeptAtFifteenValues) {
  ASSERT_EQ(parse("P(9,0,0,8,0,16,0,24,0,32,8,24,16,16,16,8,16,0,16)"), 1);
  EXPECT_EQ(cmds[0].arg_count, 15);
  EXPECT_EQ(cmds[0].args[16], 0);  // the ninth pair is still there
  EXPECT_EQ(cmds[0].args[17], 16);
  ASSERT_EQ(notify.entries().size(), 1u);
  EXPECT_EQ(notify.last().rfind("Error: number of parameters exceed limit in symbol plot command:\nP(9", 0),
            0u);
  parse("Z(5,0,0,8,8)");  // fewer values than points claim
  EXPECT_EQ(cmds[0].arg_count, 4);
}

TEST_F(DrawParse, ArrowNeedsTheLetterAAndTextSizeDefaultsToOne) {
  EXPECT_EQ(parse("S(B,2,0,0,8,8)"), 0);
  parse("T(abc,0,0);T(abcdefghijklmnopq,7,2.5)");
  EXPECT_EQ(cmds[0].args[1], 100);
  EXPECT_EQ(cmds[1].args[1], 250);
  EXPECT_EQ(cmds[1].args[0], 0);  // vertical other than 1 reads as 0
  EXPECT_EQ(cmds[1].text(), "abcdefghijklmno");
}

TEST_F(DrawParse, MoreThan255CommandsLeaveNone) {
  std::string text;
  for (int i = 0; i < 256; ++i) text += "V(8,8);";
  EXPECT_EQ(parse(text), 0);
  EXPECT_TRUE(cmds.empty());
  EXPECT_EQ(notify.last(), "Error: symbol R number of draw commands exceed limit");
  text.resize(text.size() - 7);
  EXPECT_EQ(parse(text), 255);
}

TEST_F(DrawParse, FormattingReproducesTheCommandsAfterTheOffset) {
  const std::string text =
      "M(0,-8);V(8,-8);A(0,0,8,4,0,180);C(4,4,2);E(1,2,3,4);R(-8,-4,8,4);D(0,0,8,0,4,8);F;"
      "T(+,1,2.5);T(q,0,1,2,0);L(R,0,16,-8);L(3,1,4,4,1,0);L(P,0,0,0);S(A,2,0,0,16,0);P(3,0,0,8,0,4,8);Z(2,0,"
      "0,8,8)";
  parse(text, 8, 16);
  const std::vector<DrawCommand> first = cmds;
  std::string again;
  for (const auto& c : first) again += draw_format(c) + ";";
  parse(again, 0, 0);
  EXPECT_EQ(cmds, first);
  EXPECT_EQ(draw_format(first[0]), "M(8,8)");
  EXPECT_EQ(draw_format(first[10]), "L(R,0,24,8,0,2)");
  EXPECT_EQ(draw_format(first[11]), "L(3,1,12,20,1,0)");
  EXPECT_EQ(draw_format(first[7]), "F()");
}

TEST(OrientPoint, StepsApplyInOrderAfterTheScale) {
  int x = 3, y = 5;
  const int32_t steps[] = {1, 5, 6};
  orient_point(x, y, 2, steps, 1);
  EXPECT_EQ(x, 10);
  EXPECT_EQ(y, -6);
  x = 3, y = 5;
  orient_point(x, y, 1, steps, 3);  // rotate (5,-3), mirror (-5,-3), flip (-5,3)
  EXPECT_EQ(x, -5);
  EXPECT_EQ(y, 3);
}

}  // namespace
}  // namespace zephyrim
