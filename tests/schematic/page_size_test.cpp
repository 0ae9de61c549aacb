// The page size table and the zoom codes of the page settings.
#include "schematic/page_size.h"

#include <gtest/gtest.h>

#include <string>

namespace zephyrim {
namespace {

TEST(PageSize, UnlistedCodesBehaveAsSizeA) {
  for (int code : {9, 8, -1, 1000}) {
    const PageSize& s = page_size(code);
    EXPECT_STREQ(s.text, "Size: A") << code;
    EXPECT_EQ(s.width, 1600);
    EXPECT_EQ(s.height, 1200);
    EXPECT_DOUBLE_EQ(s.print_scale, 1.0);
  }
  EXPECT_EQ(&page_size(9), &page_size(0));
}

TEST(PageSize, PortraitCodesAreTheTurnedAAndB) {
  const PageSize& a = page_size(0);
  const PageSize& ap = page_size(1);
  const PageSize& b = page_size(2);
  const PageSize& bp = page_size(7);
  EXPECT_STREQ(ap.text, "Size: AP");
  EXPECT_STREQ(bp.text, "Size: BP");
  EXPECT_EQ(ap.width, a.height);
  EXPECT_EQ(ap.height, a.width);
  EXPECT_EQ(bp.width, b.height);
  EXPECT_EQ(bp.height, b.width);
  EXPECT_DOUBLE_EQ(bp.print_scale, b.print_scale);
  for (int code = 0; code < kPageSizeCount; ++code)
    EXPECT_EQ(page_size(code).portrait(), code == 1 || code == 7) << code;
}

TEST(PageSize, LargerSheets) {
  EXPECT_STREQ(page_size(5).text, "Size: E");
  EXPECT_EQ(page_size(5).width, 6720);
  EXPECT_EQ(page_size(5).height, 5120);
  EXPECT_DOUBLE_EQ(page_size(5).print_scale, 4.2);
  EXPECT_STREQ(page_size(6).text, "Size: LGL");
  EXPECT_EQ(page_size(6).width, 2000);
  EXPECT_DOUBLE_EQ(page_size(4).print_scale, 3.2);
}

TEST(PageSize, ApplySetsTheTitleTextAndKeepsTheCode) {
  Page page;
  page.settings.sheet_size = 3;
  EXPECT_EQ(page_size_apply(page).width, 3200);
  EXPECT_EQ(page.title.size.str(), "Size: C");
  // An unlisted code draws as A but survives, so a save writes it back unchanged.
  page.settings.sheet_size = 9;
  EXPECT_EQ(page_size_apply(page).height, 1200);
  EXPECT_EQ(page.title.size.str(), "Size: A");
  EXPECT_EQ(page.settings.sheet_size, 9);
}

TEST(ZoomFactor, CodesDivideFourHundredPercent) {
  EXPECT_DOUBLE_EQ(zoom_factor(kZoom400), 4.0);
  EXPECT_DOUBLE_EQ(zoom_factor(kZoom100), 1.0);
  EXPECT_DOUBLE_EQ(zoom_factor(kZoom80), 0.8);
  EXPECT_DOUBLE_EQ(zoom_factor(kZoom16), 0.16);
  EXPECT_DOUBLE_EQ(zoom_factor(kZoom12), 0.125);
  EXPECT_DOUBLE_EQ(zoom_factor(kZoomFit), 0.0);
  EXPECT_DOUBLE_EQ(zoom_factor(3), 1.0);
  EXPECT_DOUBLE_EQ(zoom_factor(0), 1.0);
}

}  // namespace
}  // namespace zephyrim
