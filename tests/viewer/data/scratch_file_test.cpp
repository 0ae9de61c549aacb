#include "viewer/data/scratch_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "common/file_io.h"

namespace zephyrim {
namespace {

namespace fs = std::filesystem;

struct Scratch : ::testing::Test {
  fs::path dir;
  void SetUp() override {
    dir =
        fs::temp_directory_path() /
        ("zephyrim_scratch_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }
};

TEST_F(Scratch, AppendMapRewindAndRemove) {
  ScratchFile f;
  ASSERT_TRUE(f.create_unique(dir.string()));
  EXPECT_FALSE(f.create_unique(dir.string()));  // one file per object
  const std::string path = f.path();
  EXPECT_EQ(fs::path(path).filename().string().rfind("TRC", 0), 0u);
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 077, 0u);

  const std::vector<double> a = {1, 2, 3};
  EXPECT_EQ(f.append(a), 0);
  EXPECT_EQ(f.append(std::vector<double>{4, 5}), 24);
  const auto first = f.view(0, 3);
  ASSERT_EQ(first.size(), 3u);
  EXPECT_EQ(first[2], 3);
  // Room taken first and filled afterwards, as the transposing readers do.
  const int64_t room = f.reserve(4);
  EXPECT_EQ(room, 40);
  EXPECT_TRUE(f.write_at(room + 16, std::vector<double>{7, 8}));
  EXPECT_FALSE(f.write_at(room + 24, std::vector<double>{9, 9}));  // past what was taken
  EXPECT_EQ(f.view(room, 4)[3], 8);
  // Views beyond the written part, unaligned or empty give nothing.
  EXPECT_TRUE(f.view(0, 10).empty());
  EXPECT_TRUE(f.view(4, 1).empty());
  EXPECT_TRUE(f.view(-8, 1).empty());
  EXPECT_TRUE(f.view(0, 0).empty());

  f.rewind_to(24);
  EXPECT_EQ(f.size(), 24u);
  f.rewind_to(1000);  // never forward
  EXPECT_EQ(f.size(), 24u);
  EXPECT_EQ(f.append(std::vector<double>{6}), 24);
  f.rewind();
  EXPECT_EQ(f.append(std::vector<double>{9}), 0);
  EXPECT_EQ(f.view(0, 1)[0], 9);

  f.remove();
  EXPECT_FALSE(f.is_open());
  EXPECT_FALSE(fs::exists(path));
  EXPECT_EQ(f.append(a), -1);
  EXPECT_TRUE(f.view(0, 1).empty());
  EXPECT_FALSE(f.create_unique((dir / "missing").string()));
}

// The store's own backings: room written in place, beyond a huge page, views
// that stay put while the room grows, and pages taken again after a rewind.
TEST(ScratchInMemory, EitherBackingHoldsRoomInPlace) {
  for (const auto backing : {ScratchFile::Backing::file, ScratchFile::Backing::memory}) {
    SCOPED_TRACE(static_cast<int>(backing));
    ScratchFile f;
    if (!f.create_in_memory(backing)) GTEST_SKIP() << "no such memory here";
    EXPECT_EQ(f.backing(), backing);
    EXPECT_TRUE(f.path().empty());
    EXPECT_FALSE(f.create_in_memory(backing));  // one per object

    const uint64_t n = (uint64_t{3} << 20) / sizeof(double) + 5;
    EXPECT_EQ(f.reserve(n), 0);
    const auto room = f.room(0, n);
    ASSERT_EQ(room.size(), n);
    for (uint64_t i = 0; i < n; ++i) room[i] = static_cast<double>(i) * 0.5;
    const auto view = f.view(0, n);
    EXPECT_EQ(view.data(), room.data());
    EXPECT_EQ(f.append(std::vector<double>{-1}), static_cast<int64_t>(n * sizeof(double)));
    EXPECT_TRUE(f.room(0, n + 2).empty());
    // Growing by far more leaves the values where they were.
    EXPECT_GE(f.reserve(uint64_t{8} << 20), 0);
    EXPECT_EQ(view[n - 1], static_cast<double>(n - 1) * 0.5);
    EXPECT_EQ(f.view(static_cast<int64_t>(n * sizeof(double)), 1)[0], -1);

    f.rewind();
    EXPECT_EQ(f.append(std::vector<double>{4, 5}), 0);
    EXPECT_EQ(f.view(8, 1)[0], 5);
    f.remove();
    EXPECT_FALSE(f.is_open());
    EXPECT_EQ(f.reserve(1), -1);
    EXPECT_TRUE(f.room(0, 1).empty());
  }
  ScratchFile chosen;
  EXPECT_TRUE(chosen.create_in_memory());
  EXPECT_NE(chosen.backing(), ScratchFile::Backing::none);
}

TEST_F(Scratch, UnnamedFileHoldsValues) {
  ScratchFile f;
  if (!f.create_unnamed(dir.string())) GTEST_SKIP() << "no unnamed files on this file system";
  EXPECT_TRUE(f.path().empty());
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 0);
  EXPECT_EQ(f.append(std::vector<double>{1.5, 2.5}), 0);
  EXPECT_EQ(f.view(8, 1)[0], 2.5);
  f.remove();
  EXPECT_FALSE(f.is_open());
}

TEST_F(Scratch, NumberedNamesNeverFollowALinkOrReuseAFile) {
  const fs::path target = dir / "precious";
  ASSERT_TRUE(write_file_atomic(target.string(), std::string_view("keep me")));
  // Planted by someone else in the shared folder: a link at the first name and
  // a file at the second.
  fs::create_symlink(target, dir / "TRC$DATA#   7.TMP");
  ASSERT_TRUE(write_file_atomic((dir / "TRC$DATA#   8.TMP").string(), std::string_view("theirs")));
  fs::create_symlink(dir / "nowhere", dir / "TRC$DATA#   9.TMP");  // a dangling link is not created through

  ScratchFile f;
  EXPECT_EQ(f.create_numbered(dir.string(), 7), 10);
  EXPECT_EQ(f.path(), (dir / "TRC$DATA#  10.TMP").string());
  EXPECT_EQ(f.append(std::vector<double>{1, 2, 3}), 0);
  EXPECT_EQ(*read_text_file(target.string()), "keep me");
  EXPECT_EQ(*read_text_file((dir / "TRC$DATA#   8.TMP").string()), "theirs");
  EXPECT_FALSE(fs::exists(dir / "nowhere"));
  struct stat st {};
  ASSERT_EQ(lstat(f.path().c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  f.remove();
  EXPECT_TRUE(fs::is_symlink(dir / "TRC$DATA#   7.TMP"));

  // A folder that cannot take files gives up instead of looping.
  ScratchFile g;
  EXPECT_EQ(g.create_numbered((dir / "missing").string(), 0), -1);
  EXPECT_FALSE(g.is_open());
}

}  // namespace
}  // namespace zephyrim
