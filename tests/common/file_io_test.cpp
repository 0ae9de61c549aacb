#include "common/file_io.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>

namespace zephyrim {
namespace {

namespace fs = std::filesystem;

class FileIoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("zephyrim_fileio_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(dir_, ec);
  }
  std::string path(const char* name) const { return (dir_ / name).string(); }
  // Everything in the folder: a temporary left behind shows here.
  std::vector<std::string> names() const {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir_)) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
  }
  static mode_t mode_of(const std::string& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
  }
  fs::path dir_;
};

TEST_F(FileIoTest, AtomicWriteReplacesAndLeavesNoTemporaryBehind) {
  ASSERT_TRUE(write_file_atomic(path("a.sch"), std::string_view("old contents, longer")));
  // A reader holding the old file keeps seeing it whole: the new one is another inode.
  std::ifstream held(path("a.sch"), std::ios::binary);
  ASSERT_TRUE(write_file_atomic(path("a.sch"), std::string_view("new")));
  EXPECT_EQ(read_text_file(path("a.sch")), "new");
  std::string before((std::istreambuf_iterator<char>(held)), std::istreambuf_iterator<char>());
  EXPECT_EQ(before, "old contents, longer");
  EXPECT_EQ(names(), std::vector<std::string>{"a.sch"});
  ASSERT_TRUE(write_file_atomic(path("empty"), std::string_view()));
  EXPECT_EQ(read_file(path("empty"))->size(), 0u);
}

TEST_F(FileIoTest, AFileThatCannotBeCreatedOrReplacedKeepsTheOldOne) {
  ASSERT_TRUE(write_file_atomic(path("a.sch"), std::string_view("old")));
  EXPECT_EQ(write_file_replacing(path("missing/a.sch"), std::string_view("x")), WriteStatus::cannot_create);
  // A folder in the place of the file: the rename fails, the temporary goes.
  fs::create_directory(path("dir.sch"));
  fs::create_directory(path("dir.sch/inner"));
  EXPECT_EQ(write_file_replacing(path("dir.sch"), std::string_view("x")), WriteStatus::failed);
  EXPECT_EQ(read_text_file(path("a.sch")), "old");
  EXPECT_EQ(names(), (std::vector<std::string>{"a.sch", "dir.sch"}));
}

TEST_F(FileIoTest, AnUnwritableFolderKeepsTheOldFile) {
  ASSERT_TRUE(write_file_atomic(path("a.sch"), std::string_view("old")));
  fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
  if (::access(dir_.c_str(), W_OK) == 0) GTEST_SKIP() << "folder permissions are not enforced here";
  EXPECT_EQ(write_file_replacing(path("a.sch"), std::string_view("new")), WriteStatus::cannot_create);
  EXPECT_EQ(read_text_file(path("a.sch")), "old");
  fs::permissions(dir_, fs::perms::owner_all);
  EXPECT_EQ(names(), std::vector<std::string>{"a.sch"});
}

TEST_F(FileIoTest, AWriteThatFailsHalfwayKeepsTheOldFile) {
  ASSERT_TRUE(write_file_atomic(path("a.sch"), std::string_view("old")));
  // A file size limit makes the write fail after the temporary file exists,
  // as a full disk would.
  struct rlimit saved {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto* previous = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 16;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const WriteStatus status = write_file_replacing(path("a.sch"), std::string(4096, 'x'));
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  EXPECT_EQ(status, WriteStatus::failed);
  EXPECT_EQ(read_text_file(path("a.sch")), "old");
  EXPECT_EQ(names(), std::vector<std::string>{"a.sch"});
}

TEST_F(FileIoTest, ReplacingKeepsThePermissionsOfTheOldFile) {
  ASSERT_TRUE(write_file_atomic(path("a.sch"), std::string_view("old")));
  ASSERT_EQ(::chmod(path("a.sch").c_str(), 0640), 0);
  ASSERT_TRUE(write_file_atomic(path("a.sch"), std::string_view("new")));
  EXPECT_EQ(mode_of(path("a.sch")), 0640u);
  // A new file gets what the user's mask allows, not the temporary file's 0600.
  const mode_t mask = ::umask(022);
  ASSERT_TRUE(write_file_atomic(path("b.sch"), std::string_view("b")));
  ::umask(mask);
  EXPECT_EQ(mode_of(path("b.sch")), 0644u);
}

TEST_F(FileIoTest, ReadingRefusesMissingOversizedAndNonRegularFiles) {
  EXPECT_FALSE(read_file(path("none")).has_value());
  ASSERT_TRUE(write_file_atomic(path("big"), std::string(100, 'x')));
  EXPECT_FALSE(read_file(path("big"), 99).has_value());
  EXPECT_EQ(read_file(path("big"), 100)->size(), 100u);
  EXPECT_FALSE(read_file(dir_.string()).has_value());
  // A FIFO would block an ordinary open until someone writes to it.
  ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
  EXPECT_FALSE(read_file(path("fifo")).has_value());
  EXPECT_FALSE(file_exists(path("fifo")));
  EXPECT_TRUE(copy_file(path("big"), path("big.bks")));
  EXPECT_TRUE(file_exists(path("big.bks")));
  EXPECT_FALSE(copy_file(path("none"), path("none.bks")));
  EXPECT_FALSE(file_exists(path("none.bks")));
}

TEST(FilePaths, SiblingsAndFolders) {
  EXPECT_EQ(with_extension("/a/b.c/amp.sch", "CIR"), "/a/b.c/amp.CIR");
  EXPECT_EQ(with_extension("/a/b.c/amp", "MAP"), "/a/b.c/amp.MAP");  // the folder's dot is not the file's
  EXPECT_EQ(with_extension("amp.sch", ".IDX"), "amp.IDX");
  EXPECT_EQ(with_extension("amp.x.sch", "s03"), "amp.x.s03");
  EXPECT_EQ(path_in_folder("", "amp.CMD"), "amp.CMD");
  EXPECT_EQ(path_in_folder("/d", "amp.CMD"), "/d/amp.CMD");
  EXPECT_EQ(path_in_folder("/d/", "amp.CMD"), "/d/amp.CMD");
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

}  // namespace
}  // namespace zephyrim
