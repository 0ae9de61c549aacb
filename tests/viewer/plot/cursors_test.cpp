// Cursor read-outs and the positions of the cursor dialog.
#include "viewer/plot/cursors.h"

#include <gtest/gtest.h>

#include <cmath>

#include "common/notify.h"

namespace zephyrim {
namespace {

CursorPair two(double x1, double y1, double x2, double y2) {
  CursorPair c;
  c.cursor[0] = {
      .active = true, .shape = SHAPE_SMALL_CROSS, .x = x1, .y = y1, .x_name = "TIME", .y_name = "V(1)"};
  c.cursor[1] = {
      .active = true, .shape = SHAPE_CROSS_HAIR, .x = x2, .y = y2, .x_name = "TIME", .y_name = "V(2)"};
  return c;
}

TEST(CursorReadout, LinesValuesDifferencesRatiosAndSlope) {
  const auto lines = cursor_readout(two(1e-3, 2, 3e-3, 5), {});
  const std::vector<std::string> expected = {
      " Cursor 1 (+):", " TIME=1m ", " V(1)=2 ",  " Cursor 2:",  " TIME=3m ",   " V(2)=5 ",
      " X2-X1=2m ",     " Y2-Y1=3 ", " X2/X1=3 ", " Y2/Y1=2.5 ", " SLOPE=1.5K "};
  EXPECT_EQ(lines, expected);
}

TEST(CursorReadout, ZerosAndEqualPositions) {
  auto lines = cursor_readout(two(0, 0, 0, 1), {});
  EXPECT_EQ(lines[8], " X2/X1=Error:X1=0 ");
  EXPECT_EQ(lines[9], " Y2/Y1=Error:Y1=0 ");
  EXPECT_EQ(lines[10], " SLOPE=inf. ");
  // A log X axis keeps log10 positions: X = 10^0 = 1, and the ratio is no error.
  lines = cursor_readout(two(0, 1, 1, 2), {.x_log = true});
  EXPECT_EQ(lines[1], " TIME=1 ");
  EXPECT_EQ(lines[8], " X2/X1=10 ");
  // One cursor: no difference lines; shapes hidden.
  CursorPair one = two(1, 1, 2, 2);
  one.cursor[1].active = false;
  one.show_shapes = false;
  EXPECT_EQ(cursor_readout(one, {}), (std::vector<std::string>{" Cursor 1:", " TIME=1 ", " V(1)=1 "}));
}

TEST(CursorPosition, FixedValuesExtremesPeaksSlopeAndMeans) {
  const std::vector<double> x = {0, 1, 2, 3, 4, 5, 6};
  const std::vector<double> y = {0, 2, 1, 3, 3, 0, 0};
  EXPECT_DOUBLE_EQ(cursor_find_x(x, y, 0.5)->y, 1);
  EXPECT_DOUBLE_EQ(cursor_find_y(x, y, 2.5)->x, 2.75);  // 1 -> 3, not the fall 2 -> 1
  EXPECT_FALSE(cursor_find_x(x, y, 7));
  EXPECT_EQ(cursor_extreme(x, y, true)->index, 3u);  // the first of equal maxima
  EXPECT_EQ(cursor_next_peak(x, y, 0, true)->index, 1u);
  EXPECT_EQ(cursor_next_peak(x, y, 1, true)->index, 3u);  // a plateau counts at its start
  EXPECT_EQ(cursor_next_peak(x, y, 0, false)->index, 2u);
  EXPECT_FALSE(cursor_next_peak(x, y, 3, true));
  EXPECT_EQ(cursor_max_slope(x, y)->index, 4u);  // 3 -> 0
  const std::vector<double> t = {0, 1, 2}, sq = {1, 1, 1};
  EXPECT_DOUBLE_EQ(trace_mean(t, sq, false), 1);
  EXPECT_DOUBLE_EQ(trace_mean(t, std::vector<double>{-2, -2, -2}, true), 2);
}

TEST(CursorPosition, DialogRefusesAndFallsBack) {
  RecordingNotify notify;
  const std::vector<double> x = {1, 10, 100}, y = {1, 2, 3};
  Cursor c;
  EXPECT_FALSE(cursor_set_position(c, x, y, {.option = POSITION_MAXIMUM}, notify));
  EXPECT_EQ(notify.last(), "No cursor active");
  c.active = true;
  PositionRequest fix{.option = POSITION_FIX_X, .fixed = 200, .shown_min = 1, .shown_max = 100};
  EXPECT_FALSE(cursor_set_position(c, x, y, fix, notify));
  EXPECT_EQ(notify.last(), "Specified value out of range");
  fix.option = POSITION_FIX_Y;
  fix.fixed = 50;
  fix.shown_max = 1000;
  c.positioning = POSITION_FIX_Y;
  EXPECT_FALSE(cursor_set_position(c, x, y, fix, notify));
  EXPECT_EQ(notify.last(), "Specified cursor value not found");
  EXPECT_EQ(c.positioning, POSITION_TRACK);
  // On a log X axis the cursor keeps log10 of its X.
  fix = {.option = POSITION_FIX_X, .fixed = 10, .shown_min = 1, .shown_max = 100, .x_log = true};
  EXPECT_TRUE(cursor_set_position(c, x, y, fix, notify));
  EXPECT_DOUBLE_EQ(c.x, 1);
  EXPECT_DOUBLE_EQ(c.y, 2);
}

}  // namespace
}  // namespace zephyrim
