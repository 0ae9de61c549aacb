#include "common/ini_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <random>

namespace zephyrim {
namespace {

namespace fs = std::filesystem;

IniFile from_text(std::string_view text) {
  IniFile ini;
  EXPECT_TRUE(ini.load_text(text));
  return ini;
}

const char kSample[] =
    "; shared settings\n"
    "Orphan = before any section\n"
    "\n"
    "[Zephyrim]   ; product-wide\n"
    "  BrowseFileCommand =  zbrowse.exe  \n"
    "EditFileCommand=\"C:\\Tools\\zedit.exe\" -a=b\n"
    "# disabled=1\n"
    "Spice3Option=1\n"
    "spice3option=2\n"
    "no equals sign here\n"
    "=nameless\n"
    "[broken\n"
    "\n"
    "; viewer keys follow\n"
    "[ Tracery ]\n"
    "WindowShowPos=10 20 300 400\n"
    "Empty=\n";

TEST(IniFileRead, UntouchedFileKeepsEveryLine) {
  EXPECT_EQ(from_text(kSample).text(), kSample);
  // CR LF, a BOM, a lone CR at the end and no final line break.
  const IniFile crlf = from_text("\xEF\xBB\xBF[A]\r\nk=v\r\n\r\n;c\r");
  EXPECT_EQ(crlf.text(), "\xEF\xBB\xBF[A]\nk=v\n\n;c\n");
  EXPECT_EQ(crlf.get_string("A", "k"), "v");
  EXPECT_EQ(from_text("[A]\nk=v").text(), "[A]\nk=v\n");
  EXPECT_EQ(from_text("").text(), "");
}

TEST(IniFileRead, NamesValuesAndLineKinds) {
  const IniFile ini = from_text(kSample);
  EXPECT_EQ(ini.get_string("ZEPHYRIM", "browsefilecommand"), "zbrowse.exe");
  EXPECT_EQ(ini.get_string(" tracery ", "WindowShowPos"), "10 20 300 400");
  EXPECT_EQ(ini.get_string("Zephyrim", "EditFileCommand"), "\"C:\\Tools\\zedit.exe\" -a=b");
  EXPECT_EQ(ini.get_string("Zephyrim", "Spice3Option"), "1");  // first duplicate wins
  EXPECT_EQ(ini.get_string("", "orphan"), "before any section");
  EXPECT_EQ(ini.get_string("Tracery", "Empty"), "");
  EXPECT_EQ(ini.get_string("Tracery", "Missing"), std::nullopt);
  EXPECT_EQ(ini.get_string("Tracery", "Missing", "dflt"), "dflt");
  EXPECT_EQ(ini.get_string("Tracery", "Empty", "dflt"), "");
  // Comments, lines without a name and an unclosed header are not keys; keys stay in their section.
  EXPECT_FALSE(ini.has_key("Zephyrim", "# disabled"));
  EXPECT_FALSE(ini.has_key("Zephyrim", "no equals sign here"));
  EXPECT_FALSE(ini.has_key("Zephyrim", ""));
  EXPECT_FALSE(ini.has_key("Tracery", "Spice3Option"));
  EXPECT_FALSE(ini.has_key("", "Spice3Option"));
  EXPECT_EQ(ini.keys("zephyrim"),
            (std::vector<std::string>{"BrowseFileCommand", "EditFileCommand", "Spice3Option"}));
  EXPECT_EQ(ini.sections(), (std::vector<std::string>{"", "Zephyrim", "Tracery"}));
}

TEST(IniFileRead, RepeatedSectionReadsAsOne) {
  const IniFile ini = from_text("[A]\nx=1\n[B]\n[a]\ny=2\nx=3\n");
  EXPECT_EQ(ini.get_string("A", "y"), "2");
  EXPECT_EQ(ini.get_string("A", "x"), "1");
  EXPECT_EQ(ini.keys("A"), (std::vector<std::string>{"x", "y"}));
  EXPECT_EQ(ini.sections(), (std::vector<std::string>{"A", "B"}));
}

TEST(IniFileRead, Integers) {
  const IniFile ini = from_text(
      "[N]\na= 12 \nb=-3\nc=+4\nd=0x10\ne=abc\nf=99999999999\ng=-99999999999\nh=12px\ni=-\nj=\n"
      "font=10 -20 0\t0 700\npartial=1 2x 3\nlead= 5 6\n");
  const std::pair<const char*, int> cases[] = {{"a", 12}, {"b", -3},      {"c", 4},       {"d", 0},
                                               {"e", 77}, {"f", INT_MAX}, {"g", INT_MIN}, {"h", 12},
                                               {"i", 77}, {"j", 77},      {"none", 77}};
  for (const auto& [key, expected] : cases) EXPECT_EQ(ini.get_int("N", key, 77), expected) << key;
  EXPECT_EQ(ini.get_ints("N", "font"), (std::vector<int>{10, -20, 0, 0, 700}));
  EXPECT_EQ(ini.get_ints("N", "partial"), (std::vector<int>{1, 2}));
  EXPECT_EQ(ini.get_ints("N", "lead"), (std::vector<int>{5, 6}));
  EXPECT_EQ(ini.get_ints("N", "e"), std::vector<int>{});
  EXPECT_EQ(ini.get_ints("N", "none"), std::vector<int>{});
}

TEST(IniFileWrite, RewriteTouchesOnlyThatLine) {
  IniFile ini = from_text(kSample);
  EXPECT_TRUE(ini.set_string("zephyrim", "SPICE3OPTION", "0"));
  EXPECT_TRUE(ini.set_string("Zephyrim", "BrowseFileCommand", "other.exe"));
  EXPECT_TRUE(ini.set_int("Tracery", "Empty", -5));
  std::string expected = kSample;
  auto replace = [&](const std::string& from, const std::string& to) {
    const size_t at = expected.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    expected.replace(at, from.size(), to);
  };
  replace("Spice3Option=1\n", "Spice3Option=0\n");  // first duplicate only, spelling kept
  replace("  BrowseFileCommand =  zbrowse.exe  \n", "  BrowseFileCommand =  other.exe\n");
  replace("Empty=\n", "Empty=-5\n");
  EXPECT_EQ(ini.text(), expected);
  EXPECT_TRUE(ini.set_string("Tracery", "WindowShowPos", ""));
  EXPECT_NE(ini.text().find("\nWindowShowPos=\n"), std::string::npos);
}

TEST(IniFileWrite, NewKeyGoesAfterLastKeyOfItsSection) {
  IniFile ini = from_text("[A]\nx=1\n; note\ny=2\n\n; about B\n[B]\n[C]\nz=3");
  ini.set_string("a", "New", "v");
  ini.set_string("B", "b1", "v");
  ini.set_string("", "top", "v");
  EXPECT_EQ(ini.text(), "top=v\n[A]\nx=1\n; note\ny=2\nNew=v\n\n; about B\n[B]\nb1=v\n[C]\nz=3\n");
}

TEST(IniFileWrite, NewSectionIsAppended) {
  IniFile ini = from_text("[A]\nx=1");
  ini.set_ints("JobStatus", "Pos", {1, -2, 3});
  ini.set_string("Other", "k", "v");
  EXPECT_EQ(ini.text(), "[A]\nx=1\n\n[JobStatus]\nPos=1 -2 3\n\n[Other]\nk=v\n");
  IniFile empty;
  empty.set_int("S", "k", INT_MIN);
  EXPECT_EQ(empty.text(), "[S]\nk=-2147483648\n");
}

TEST(IniFileWrite, ValuesCannotInjectLinesAndBadNamesAreRefused) {
  IniFile ini = from_text("[A]\nx=1\n");
  EXPECT_TRUE(ini.set_string("A", "x", "  one\r\n[B]\nevil=1  "));
  EXPECT_EQ(ini.get_string("A", "x"), "one  [B] evil=1");
  EXPECT_EQ(ini.sections(), std::vector<std::string>{"A"});
  for (const char* key : {"", "  ", "a=b", "[k", ";k", "#k", "a\nb", "\xEF\xBB\xBFk"})
    EXPECT_FALSE(ini.set_string("A", key, "v")) << key;
  for (const char* section : {"a]b", "a\nb"}) EXPECT_FALSE(ini.set_string(section, "k", "v")) << section;
  EXPECT_EQ(ini.text(), "[A]\nx=one  [B] evil=1\n");
  // Whatever was accepted reads back after a round trip through the text.
  const IniFile again = from_text(ini.text());
  EXPECT_EQ(again.get_string("A", "x"), "one  [B] evil=1");
}

TEST(IniFileWrite, RemoveKeyDropsEveryDuplicate) {
  IniFile ini = from_text("[A]\nk=1\nkeep=2\nK=3\n[B]\nk=4\n");
  EXPECT_EQ(ini.remove_key("a", "k"), 2);
  EXPECT_EQ(ini.remove_key("A", "k"), 0);
  EXPECT_EQ(ini.text(), "[A]\nkeep=2\n[B]\nk=4\n");
}

class IniFileDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("ini_file_test_" + std::to_string(std::random_device{}()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(dir_, ec);
  }
  static void write_file(const fs::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
  }
  static std::string read_file(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  size_t entries() const { return static_cast<size_t>(std::distance(fs::directory_iterator(dir_), {})); }
  fs::path dir_;
};

TEST_F(IniFileDisk, LoadReportsWhyItIsEmpty) {
  IniLoadStatus status = IniLoadStatus::kOk;
  EXPECT_EQ(IniFile::load((dir_ / "none.ini").string(), &status).text(), "");
  EXPECT_EQ(status, IniLoadStatus::kMissing);
  IniFile::load(dir_.string(), &status);
  EXPECT_EQ(status, IniLoadStatus::kUnreadable);
  write_file(dir_ / "big.ini", std::string(IniFile::kMaxFileSize + 1, 'x'));
  EXPECT_EQ(IniFile::load((dir_ / "big.ini").string(), &status).text(), "");
  EXPECT_EQ(status, IniLoadStatus::kTooLarge);
  // A FIFO in the place of the file is refused at once, not waited on.
  ASSERT_EQ(::mkfifo((dir_ / "fifo.ini").c_str(), 0600), 0);
  IniFile::load((dir_ / "fifo.ini").string(), &status);
  EXPECT_EQ(status, IniLoadStatus::kUnreadable);
  write_file(dir_ / "ok.ini", "[A]\r\nk=v\r\n");
  EXPECT_EQ(IniFile::load((dir_ / "ok.ini").string(), &status).get_string("A", "k"), "v");
  EXPECT_EQ(status, IniLoadStatus::kOk);
}

TEST_F(IniFileDisk, SaveReplacesTheFileAndLeavesNoTemporary) {
  const fs::path file = dir_ / "ZEPHYRIM.INI";
  write_file(file, "[A]\r\nk=old\r\n; note\r\n");
  IniFile ini = IniFile::load(file.string());
  ini.set_string("A", "k", "new");
  ASSERT_TRUE(ini.save(file.string()));
  EXPECT_EQ(read_file(file), "[A]\nk=new\n; note\n");
  EXPECT_EQ(entries(), 1u);
  // The user's permissions of the old file stay.
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
  ASSERT_TRUE(ini.save(file.string()));
  EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(IniFileDisk, FailedSaveTouchesNothing) {
  const IniFile ini = from_text("[A]\nk=v\n");
  EXPECT_FALSE(ini.save((dir_ / "missing" / "ZEPHYRIM.INI").string()));
  EXPECT_FALSE(fs::exists(dir_ / "missing"));
  fs::create_directory(dir_ / "folder");
  EXPECT_FALSE(ini.save((dir_ / "folder").string()));  // a folder cannot be replaced by a file
  EXPECT_TRUE(fs::is_directory(dir_ / "folder"));
  EXPECT_EQ(entries(), 1u);
}

TEST_F(IniFileDisk, UnwritableFolderKeepsTheOldFile) {
  const IniFile ini = from_text("[A]\nk=v\n");
  const fs::path file = dir_ / "ZEPHYRIM.INI";
  write_file(file, "old\r\n");
  fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
  if (std::ofstream(dir_ / "probe")) GTEST_SKIP() << "folder permissions are not enforced here";
  EXPECT_FALSE(ini.save(file.string()));
  EXPECT_EQ(read_file(file), "old\r\n");
  EXPECT_EQ(entries(), 1u);
}

}  // namespace
}  // namespace zephyrim
