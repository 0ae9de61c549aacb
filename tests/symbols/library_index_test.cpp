// The .IDX index beside a symbol library: built, trusted while the library is
// unchanged, rebuilt when it changed or when the index is damaged.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>

#include "common/byte_io.h"
#include "symbols/library_fixture.h"

namespace zephyrim {
namespace {

using testing_support::kLibrary;

class LibraryIndex : public testing_support::LibraryTest {
 protected:
  std::string index_path() const { return (dir_ / "test.IDX").string(); }
  SymbolIndex stored_index() const {
    const auto bytes = read_text_file(index_path());
    EXPECT_TRUE(bytes);
    const auto index = bytes ? index_decode(*bytes) : std::nullopt;
    EXPECT_TRUE(index);
    return index.value_or(SymbolIndex{});
  }
  void store_index(const SymbolIndex& index) {
    ASSERT_TRUE(write_file_atomic(index_path(), index_encode(index)));
  }
};

TEST_F(LibraryIndex, IsBuiltOnFirstOpenAndTrustedWhileTheLibraryIsUnchanged) {
  ASSERT_EQ(library_open(lib, path_, notify), 1);
  EXPECT_TRUE(notify.entries().empty());
  const SymbolIndex stored = stored_index();
  ASSERT_EQ(stored.entries.size(), 4u);
  EXPECT_EQ(stored.stamp.size, static_cast<int32_t>(std::string_view(kLibrary).size()));
  EXPECT_EQ(stored.stamp.file_name.str(), "test.sym");
  EXPECT_EQ(stored.entries[2].name.str(), "R");
  EXPECT_EQ(stored.entries[2].position, lib.index.entries[2].position);

  // What the index says is used as it stands, without reading the library again.
  SymbolIndex marked = stored;
  marked.entries[2].description.assign("from the index");
  store_index(marked);
  ASSERT_EQ(library_open(lib, path_, notify), 1);
  EXPECT_EQ(lib.index.entries[2].description.str(), "from the index");
}

TEST_F(LibraryIndex, IsRebuiltWhenTheLibrarysTimeChanges) {
  set_mtime(path_, 1000000000);
  ASSERT_EQ(library_open(lib, path_, notify), 1);
  // An index claiming another library file: same size, different write time.
  std::string same_size(kLibrary);
  same_size.replace(same_size.find("Resistor"), 8, "Resistar");
  ASSERT_TRUE(write_file_atomic(path_, same_size));
  set_mtime(path_, 1000000000 + 60);
  ASSERT_EQ(library_open(lib, path_, notify), 1);
  EXPECT_EQ(lib.index.entries[2].description.str(), "Resistar");
  EXPECT_EQ(stored_index().stamp.written, 1000000000 + 60);
}

TEST_F(LibraryIndex, IsRebuiltWhenOnlyTheSizeChanges) {
  // An edit within the same second leaves the write time as it was.
  set_mtime(path_, 1000000000);
  ASSERT_EQ(library_open(lib, path_, notify), 1);
  ASSERT_TRUE(write_file_atomic(path_, std::string(kLibrary) + "[C ;Capacitor]\nR[0,0,8,8]\n.END\n"));
  set_mtime(path_, 1000000000);
  ASSERT_EQ(library_open(lib, path_, notify), 1);
  EXPECT_EQ(symbol_find(lib, "C"), 0);
  EXPECT_EQ(stored_index().entries.size(), 5u);
}

TEST_F(LibraryIndex, AnIndexOfAnotherVersionIsRebuiltSilently) {
  ASSERT_EQ(library_open(lib, path_, notify), 1);
  for (int version : {714, 1001}) {
    SymbolIndex other = stored_index();
    other.version = version;
    other.entries.clear();
    store_index(other);
    notify.clear();
    ASSERT_EQ(library_open(lib, path_, notify), 1);
    EXPECT_EQ(lib.index.entries.size(), 4u) << version;
    EXPECT_TRUE(notify.entries().empty());
    EXPECT_NE(stored_index().version, version);
  }
}

TEST_F(LibraryIndex, ADamagedIndexIsRebuiltAfterTheQuestionAndNeverTrusted) {
  ASSERT_EQ(library_open(lib, path_, notify), 1);
  auto bytes = *read_text_file(index_path());
  bytes.resize(bytes.size() - 10);  // cut inside the last entry
  ASSERT_TRUE(write_file_atomic(index_path(), bytes));
  notify.answer(0);
  ASSERT_EQ(library_open(lib, path_, notify), 1);
  EXPECT_EQ(notify.last(), "Error reading symbol library index file.\nDo you want to reindex library?");
  EXPECT_TRUE(lib.index.entries.empty());  // no half of a damaged index
  EXPECT_EQ(lib.text, kLibrary);
  notify.answer(1);
  ASSERT_EQ(library_open(lib, path_, notify), 1);
  EXPECT_EQ(lib.index.entries.size(), 4u);
  EXPECT_EQ(stored_index().entries.size(), 4u);  // and written again
}

TEST_F(LibraryIndex, DecodingRefusesEveryCutAndImpossibleCounts) {
  SymbolIndex index = index_build(kLibrary, path_, notify);
  index.model_file = "models.lib";
  const std::vector<uint8_t> image = index_encode(index);
  const std::string_view all(reinterpret_cast<const char*>(image.data()), image.size());
  ASSERT_TRUE(index_decode(all));
  EXPECT_EQ(index_decode(all)->model_file, "models.lib");
  for (size_t cut = 0; cut < image.size(); ++cut) EXPECT_FALSE(index_decode(all.substr(0, cut))) << cut;

  // A count far beyond the bytes is refused before anything is allocated for it.
  ByteWriter w;
  w.zeros(kIndexDirRecordSize);  // the stamp
  w.i32(kIndexVersion);
  w.counted_text32("");
  w.i32(INT32_MAX);
  const std::string_view huge(reinterpret_cast<const char*>(w.data().data()), w.size());
  EXPECT_FALSE(index_decode(huge));
  ByteWriter long_name;
  long_name.zeros(kIndexDirRecordSize);
  long_name.i32(kIndexVersion);
  long_name.counted_text32(std::string(300, 'm'));  // longer than a model name may be
  long_name.i32(0);
  EXPECT_FALSE(index_decode(
      std::string_view(reinterpret_cast<const char*>(long_name.data().data()), long_name.size())));
}

TEST_F(LibraryIndex, ALibraryInAFolderThatCannotBeWrittenStillOpens) {
  std::filesystem::permissions(dir_, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  const bool enforced = ::access(dir_.c_str(), W_OK) != 0;
  if (enforced) {
    EXPECT_EQ(library_open(lib, path_, notify), 1);
    EXPECT_EQ(lib.index.entries.size(), 4u);  // built in memory
    EXPECT_EQ(notify.last(), "Cannot create symbol library index file:\n" + index_path());
  }
  std::filesystem::permissions(dir_, std::filesystem::perms::owner_all);
  if (!enforced) GTEST_SKIP() << "folder permissions are not enforced here";
}

TEST_F(LibraryIndex, StopsAt2000SymbolsAndKeepsTheFirstModelLine) {
  std::string text = ".LIB first.lib\n.lib second.lib\n";
  for (int i = 0; i < 2001; ++i) text += "[S" + std::to_string(10000 + i) + "]\nR[0,0,8,8]\n.END\n";
  SymbolIndex idx = index_build(text, "big.sym", notify);
  EXPECT_EQ(idx.entries.size(), 2000u);
  EXPECT_EQ(idx.entries.back().name.str(), "S11999");
  EXPECT_EQ(idx.model_file, "first.lib");
  EXPECT_EQ(notify.last(), "Extra model library statement found ignored for symbol library:\nbig.sym");
  const std::vector<uint8_t> image = index_encode(idx);
  auto back = index_decode(std::string_view(reinterpret_cast<const char*>(image.data()), image.size()));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->model_file, "first.lib");
  EXPECT_EQ(back->entries.size(), 2000u);
}

TEST_F(LibraryIndex, EmptyOrMissingLibrariesAreReported) {
  ASSERT_TRUE(write_file_atomic(path_, std::string_view("* nothing\n")));
  EXPECT_EQ(library_open(lib, path_, notify), 0);
  EXPECT_EQ(notify.last(), "No symbols found in library file:\n" + path_);
  EXPECT_EQ(library_open(lib, (dir_ / "none.sym").string(), notify), 0);
  EXPECT_EQ(notify.last(), "Cannot index. Error opening library file:\n" + (dir_ / "none.sym").string());
}

TEST_F(LibraryIndex, ListingNamesEverySymbol) {
  ASSERT_EQ(library_open(lib, path_, notify), 1);
  ASSERT_EQ(library_write_listing(lib, notify), 1);
  EXPECT_EQ(notify.last(), "Symbol file index written to:\n" + path_ + ".TXT");
  const std::string t = *read_text_file(path_ + ".TXT");
  EXPECT_EQ(t.rfind("INDEX FOR SYMBOL LIBRARY FILE: " + path_ + "\n\n", 0), 0u);
  EXPECT_NE(t.find("   2 R\t\tResistor\n"), std::string::npos);
  EXPECT_NE(t.find("\nNUMBER OF SYMBOLS IN LIBRARY=4\n\n"), std::string::npos);
}

}  // namespace
}  // namespace zephyrim
