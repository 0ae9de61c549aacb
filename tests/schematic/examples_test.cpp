// The bundled examples are what users open first and what later tests build
// on: they must load cleanly, pass the check and survive a save unchanged.
#include <gtest/gtest.h>

#include <string>

#include "common/file_io.h"
#include "schematic/page_check.h"
#include "schematic/schematic_file.h"

namespace zephyrim {
namespace {

constexpr std::time_t kNow = 1767603600;

struct Expected {
  const char* file;
  int pages;
  size_t parts;  // over all pages, grounds and rails included
};

class Example : public ::testing::TestWithParam<Expected> {};

TEST_P(Example, LoadsChecksAndSavesTheSameBytes) {
  const Expected e = GetParam();
  const std::string path = std::string(ZEPHYRIM_SOURCE_DIR) + "/examples/" + e.file;
  const auto bytes = read_file(path);
  ASSERT_TRUE(bytes) << path;
  RecordingNotify n;
  SchematicLoad l = schematic_decode(*bytes, path, n);
  ASSERT_TRUE(l.schematic);
  EXPECT_EQ(l.code, 0);
  EXPECT_TRUE(n.entries().empty()) << ::testing::PrintToString(n.texts());
  Schematic& s = *l.schematic;
  ASSERT_EQ(s.page_count(), e.pages);
  size_t parts = 0;
  for (int k = 0; k < s.page_count(); ++k) {
    ASSERT_EQ(page_select(s, k, n), 1);
    EXPECT_EQ(page_check(s, n), 0);
    parts += s.page().parts.size();
    for (const auto& p : s.page().parts) EXPECT_NE(p->symbol, nullptr);
  }
  EXPECT_TRUE(n.entries().empty()) << ::testing::PrintToString(n.texts());
  EXPECT_FALSE(s.modified);
  EXPECT_EQ(parts, e.parts);
  ASSERT_EQ(page_select(s, 0, n), 1);
  EXPECT_TRUE(schematic_encode(s, n, kNow) == *bytes);
}

INSTANTIATE_TEST_SUITE_P(Bundled, Example,
                         ::testing::Values(Expected{"rc_lowpass.sch", 1, 5}, Expected{"amplifier.sch", 1, 11},
                                           Expected{"opamp_two_page.sch", 2, 20}),
                         [](const auto& info) {
                           std::string name = info.param.file;
                           return name.substr(0, name.find('.'));
                         });

}  // namespace
}  // namespace zephyrim
