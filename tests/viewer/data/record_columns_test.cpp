#include "viewer/data/record_columns.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "common/file_io.h"

namespace zephyrim {
namespace {

namespace fs = std::filesystem;

struct Columns : ::testing::Test {
  fs::path dir;
  void SetUp() override {
    dir =
        fs::temp_directory_path() /
        ("zephyrim_columns_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }

  std::shared_ptr<SourceFile> file_of(const std::vector<uint8_t>& bytes) {
    const std::string path = (dir / "rows.bin").string();
    EXPECT_TRUE(write_file_atomic(path, bytes));
    return SourceFile::open(path, nullptr);
  }
};

template <typename T>
void put(std::vector<uint8_t>& out, T v) {
  uint8_t b[sizeof(T)];
  std::memcpy(b, &v, sizeof(T));
  out.insert(out.end(), b, b + sizeof(T));
}

// A header of 5 bytes, then rows of: x double (its sign a mark), a float, and a
// complex pair of doubles.
std::vector<uint8_t> mixed_rows(int points) {
  std::vector<uint8_t> bytes(5, 'h');
  for (int p = 0; p < points; ++p) {
    put(bytes, p % 2 ? -p * 1e-3 : p * 1e-3);
    put(bytes, static_cast<float>(p) + 0.25f);
    put(bytes, p * 10.0);
    put(bytes, -p * 10.0);
  }
  return bytes;
}

constexpr int64_t kMixedRow = 8 + 4 + 16;

TEST_F(Columns, EveryLayoutFromMemoryAndFromAFile) {
  const int points = 5000;  // rows over several windows
  const auto bytes = mixed_rows(points);
  std::vector<double> x(points), f(points), pairs(2 * points), imaginary(points);
  const std::vector<ColumnCopy> copies = {
      {{.offset = 5, .stride = kMixedRow, .magnitude = true}, x},
      {{.offset = 13, .stride = kMixedRow, .value_size = 4}, f},
      {{.offset = 17, .stride = kMixedRow, .pairs = true}, pairs},
      {{.offset = 25, .stride = kMixedRow}, imaginary},
  };
  auto check = [&] {
    for (int p = 0; p < points; ++p) {
      ASSERT_EQ(x[p], p * 1e-3) << p;
      ASSERT_EQ(f[p], static_cast<float>(p) + 0.25f) << p;
      ASSERT_EQ(pairs[2 * p], p * 10.0) << p;
      ASSERT_EQ(pairs[2 * p + 1], -p * 10.0) << p;
      ASSERT_EQ(imaginary[p], -p * 10.0) << p;
    }
  };
  ASSERT_TRUE(copy_columns(std::span<const uint8_t>(bytes), copies));
  check();
  std::fill(x.begin(), x.end(), 0.0);
  std::fill(pairs.begin(), pairs.end(), 0.0);
  const auto file = file_of(bytes);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->size(), bytes.size());
  ASSERT_TRUE(copy_columns(*file, copies));
  check();
}

TEST_F(Columns, ColumnsOneAfterTheOtherAndRowsWiderThanAWindow) {
  // Variable by variable: each column a run of doubles of its own.
  std::vector<uint8_t> bytes;
  const int points = 70000;
  for (int v = 0; v < 3; ++v)
    for (int p = 0; p < points; ++p) put(bytes, v * 1e6 + p);
  const auto file = file_of(bytes);
  std::vector<double> last(points);
  const ColumnCopy one{{.offset = 2 * points * 8, .stride = 8}, last};
  ASSERT_TRUE(copy_columns(*file, {&one, 1}));
  EXPECT_EQ(last.front(), 2e6);
  EXPECT_EQ(last.back(), 2e6 + points - 1);

  // Rows of 300 KB: two points, values at either end of each row.
  std::vector<uint8_t> wide(2 * 300000, 0);
  const double a = 1.5, b = 2.5, c = 3.5, d = 4.5;
  std::memcpy(&wide[0], &a, 8);
  std::memcpy(&wide[300000 - 8], &b, 8);
  std::memcpy(&wide[300000], &c, 8);
  std::memcpy(&wide[600000 - 8], &d, 8);
  const auto wide_file = file_of(wide);
  std::vector<double> first(2), end(2);
  const std::vector<ColumnCopy> copies = {{{.offset = 0, .stride = 300000}, first},
                                          {{.offset = 300000 - 8, .stride = 300000}, end}};
  ASSERT_TRUE(copy_columns(*wide_file, copies));
  EXPECT_EQ(first, (std::vector<double>{1.5, 3.5}));
  EXPECT_EQ(end, (std::vector<double>{2.5, 4.5}));
}

TEST_F(Columns, BigCopiesSplitInHalvesGiveTheSameValues) {
  // Over the size that is copied in two halves side by side, with an odd
  // count; rows of five doubles, so that windows end inside a row and the
  // neighbouring columns a and b fall out of step at times.
  const int points = 700001;
  std::vector<uint8_t> bytes;
  bytes.reserve(points * 40);
  for (int p = 0; p < points; ++p) {
    put(bytes, p * 1.0);
    put(bytes, -p * 1.0);
    put(bytes, p * 0.5);
    put(bytes, p * 0.25);
    put(bytes, 9.0);
  }
  const auto file = file_of(bytes);
  std::vector<double> a(points), b(points), pairs(2 * points);
  const std::vector<ColumnCopy> copies = {{{.offset = 0, .stride = 40}, a},
                                          {{.offset = 8, .stride = 40}, b},
                                          {{.offset = 16, .stride = 40, .pairs = true}, pairs}};
  for (const bool from_file : {true, false}) {
    ASSERT_TRUE(from_file ? copy_columns(*file, copies)
                          : copy_columns(std::span<const uint8_t>(bytes), copies));
    for (int p = 0; p < points; ++p) {
      ASSERT_EQ(a[p], p * 1.0) << p;
      ASSERT_EQ(b[p], -p * 1.0) << p;
      ASSERT_EQ(pairs[2 * p], p * 0.5) << p;
      ASSERT_EQ(pairs[2 * p + 1], p * 0.25) << p;
    }
    std::fill(a.begin(), a.end(), 0.0);
    std::fill(b.begin(), b.end(), 0.0);
  }
}

TEST_F(Columns, ShortFilesAndImpossibleLayoutsFail) {
  const auto bytes = mixed_rows(10);
  const auto file = file_of(bytes);
  std::vector<double> eleven(11), one(1);
  // One point more than the file holds.
  const ColumnCopy beyond{{.offset = 5, .stride = kMixedRow}, eleven};
  EXPECT_FALSE(copy_columns(*file, {&beyond, 1}));
  EXPECT_FALSE(copy_columns(std::span<const uint8_t>(bytes), {&beyond, 1}));
  // Strides shorter than a value, negative positions, rooms of half a pair,
  // positions that would overflow.
  const ColumnCopy overlapping{{.offset = 5, .stride = 4}, one};
  const ColumnCopy negative{{.offset = -8, .stride = 8}, one};
  const ColumnCopy half_pair{{.offset = 5, .stride = 16, .pairs = true}, one};
  const ColumnCopy overflowing{{.offset = 5, .stride = int64_t{1} << 61}, eleven};
  for (const auto* c : {&overlapping, &negative, &half_pair, &overflowing}) {
    EXPECT_FALSE(copy_columns(*file, {c, 1}));
    EXPECT_FALSE(copy_columns(std::span<const uint8_t>(bytes), {c, 1}));
  }
  // Nothing to copy is done at once.
  const ColumnCopy empty{{.offset = 1 << 30, .stride = 8}, {}};
  EXPECT_TRUE(copy_columns(*file, {&empty, 1}));
  EXPECT_EQ(SourceFile::open((dir / "missing").string(), nullptr), nullptr);
  EXPECT_EQ(SourceFile::open(dir.string(), nullptr), nullptr);
}

TEST_F(Columns, WindowsGiveWhatIsAskedUpToTheEnd) {
  std::vector<uint8_t> bytes(1 << 20);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7);
  const auto file = file_of(bytes);
  FileWindow w(*file);
  auto a = w.at(100, 10);
  ASSERT_GE(a.size(), 10u);
  EXPECT_EQ(a[0], static_cast<uint8_t>(700));
  // Within what was read, and then a want bigger than a window.
  EXPECT_EQ(w.at(101, 10)[0], static_cast<uint8_t>(707));
  auto big = w.at(5000, 600000);
  ASSERT_GE(big.size(), 600000u);
  EXPECT_EQ(big[599999], static_cast<uint8_t>((5000 + 599999) * 7));
  // Near the end: what is left, and nothing beyond.
  EXPECT_EQ(w.at(bytes.size() - 3, 10).size(), 3u);
  EXPECT_TRUE(w.at(bytes.size() + 5, 10).empty());
}

}  // namespace
}  // namespace zephyrim
