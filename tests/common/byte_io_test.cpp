#include "common/byte_io.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "common/file_io.h"

namespace zephyrim {
namespace {

TEST(ByteIo, WritesLittleEndianAndReadsItBack) {
  ByteWriter w;
  w.i32(-2);
  w.u16(0xbeef);
  w.i16(-3);
  w.f32(1.0f);
  w.f64(-0.5);
  w.i64(-1234567890123LL);
  w.text("QUILLS");
  w.zeros(2);
  const auto& d = w.data();
  ASSERT_EQ(d.size(), 4u + 2 + 2 + 4 + 8 + 8 + 6 + 2);
  EXPECT_EQ(d[0], 0xfe);
  EXPECT_EQ(d[3], 0xff);
  EXPECT_EQ(d[4], 0xef);
  EXPECT_EQ(d[5], 0xbe);
  EXPECT_EQ(d[11], 0x3f);  // high byte of 1.0f

  ByteReader r(d);
  int32_t a;
  uint16_t b;
  int16_t c;
  float f;
  double g;
  int64_t h;
  std::string t;
  ASSERT_TRUE(r.i32(a) && r.u16(b) && r.i16(c) && r.f32(f) && r.f64(g) && r.i64(h) && r.text(6, t));
  EXPECT_EQ(a, -2);
  EXPECT_EQ(b, 0xbeef);
  EXPECT_EQ(c, -3);
  EXPECT_EQ(f, 1.0f);
  EXPECT_EQ(g, -0.5);
  EXPECT_EQ(h, -1234567890123LL);
  EXPECT_EQ(t, "QUILLS");
  EXPECT_EQ(r.remaining(), 2u);
  EXPECT_FALSE(r.failed());
}

TEST(ByteIo, AShortReadFailsWithoutMovingOrFilling) {
  const std::vector<uint8_t> d = {1, 2, 3};
  ByteReader r(d);
  int32_t v = 77;
  EXPECT_FALSE(r.i32(v));
  EXPECT_EQ(v, 77);
  EXPECT_TRUE(r.failed());
  EXPECT_EQ(r.position(), 0u);
  uint16_t u;
  EXPECT_TRUE(r.u16(u));
  EXPECT_EQ(u, 0x0201);
  std::array<uint8_t, 2> two{};
  EXPECT_FALSE(r.bytes(two));
  EXPECT_TRUE(r.view(5).empty());
  EXPECT_FALSE(r.skip(SIZE_MAX));  // no overflow in the bounds check
  EXPECT_FALSE(r.seek(4));
  EXPECT_TRUE(r.seek(3));
  EXPECT_TRUE(r.at_end());
}

TEST(ByteIo, PatchOverwritesACountWrittenEarlier) {
  ByteWriter w;
  w.i32(0);
  w.u8(9);
  w.patch_i32(0, 258);
  w.patch_i32(3, 1);  // would run past the end: ignored
  EXPECT_EQ(w.data(), (std::vector<uint8_t>{2, 1, 0, 0, 9}));
}

TEST(TextLines, SplitsAtEveryKindOfLineBreak) {
  auto l = split_lines("a\r\nb\nc\rd");
  ASSERT_EQ(l.size(), 4u);
  EXPECT_EQ(l[0], "a");
  EXPECT_EQ(l[1], "b");
  EXPECT_EQ(l[2], "c");
  EXPECT_EQ(l[3], "d");
  EXPECT_EQ(split_lines("x\r\n").size(), 1u);
  EXPECT_EQ(split_lines("\n\n").size(), 2u);
  EXPECT_TRUE(split_lines("").empty());
}

class FileIoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / ("zephyrim_fileio_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string path(const char* name) const { return (dir_ / name).string(); }
  std::filesystem::path dir_;
};

TEST_F(FileIoTest, AtomicWriteReplacesAndLeavesNoTemporaryBehind) {
  ASSERT_TRUE(write_file_atomic(path("a.sch"), std::string_view("old")));
  ASSERT_TRUE(write_file_atomic(path("a.sch"), std::string_view("new contents")));
  EXPECT_EQ(read_text_file(path("a.sch")), "new contents");
  int files = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir_)) ++files;
  EXPECT_EQ(files, 1);
}

TEST_F(FileIoTest, FailedWriteLeavesTheOldFile) {
  ASSERT_TRUE(write_file_atomic(path("a.sch"), std::string_view("old")));
  EXPECT_FALSE(write_file_atomic(path("missing/a.sch"), std::string_view("x")));
  // A folder in the place of the file: the rename fails, the temporary goes.
  std::filesystem::create_directory(path("dir.sch"));
  std::filesystem::create_directory(path("dir.sch/inner"));
  EXPECT_FALSE(write_file_atomic(path("dir.sch"), std::string_view("x")));
  EXPECT_EQ(read_text_file(path("a.sch")), "old");
  int files = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir_)) ++files;
  EXPECT_EQ(files, 2);
}

TEST_F(FileIoTest, ReadingRefusesMissingOversizedAndNonRegularFiles) {
  EXPECT_FALSE(read_file(path("none")).has_value());
  ASSERT_TRUE(write_file_atomic(path("big"), std::string(100, 'x')));
  EXPECT_FALSE(read_file(path("big"), 99).has_value());
  EXPECT_EQ(read_file(path("big"), 100)->size(), 100u);
  EXPECT_FALSE(read_file(dir_.string()).has_value());
  EXPECT_TRUE(copy_file(path("big"), path("big.bks")));
  EXPECT_TRUE(file_exists(path("big.bks")));
  EXPECT_FALSE(copy_file(path("none"), path("none.bks")));
  EXPECT_FALSE(file_exists(path("none.bks")));
}

}  // namespace
}  // namespace zephyrim
