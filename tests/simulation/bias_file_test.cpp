#include "simulation/bias_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <bit>
#include <cmath>
#include <filesystem>
#include <limits>

#include "common/file_io.h"

namespace zephyrim {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> two_and_two() {
  return bias_file_bytes("Common-emitter amplifier", "Jan 05 09:00:00", {{"C", 5.77f}, {"in", -0.0123f}},
                         {{"VCC", -1.25e-3f}, {"VIN", 0.0f}});
}

void put_i32(std::vector<uint8_t>& b, size_t at, int32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i));
}

// A filled table, to see that a failed decode empties it.
BiasData stale() {
  BiasData d;
  d.nodes.push_back({"OLD", 1});
  d.devices.push_back({"VOLD", 2});
  return d;
}

TEST(BiasFileDecode, RoundTripOfTheWriter) {
  const std::vector<uint8_t> bytes = two_and_two();
  ASSERT_EQ(bytes.size(), kBiasHeaderSize + 4 * kBiasRecordSize);
  BiasData d = stale();
  ASSERT_EQ(bias_file_decode(bytes, d), 1);
  ASSERT_EQ(d.nodes.size(), 2u);
  ASSERT_EQ(d.devices.size(), 2u);
  EXPECT_EQ(d.nodes[0].name, "C");
  EXPECT_EQ(d.nodes[0].value, 5.77f);
  EXPECT_EQ(d.nodes[1].name, "in");
  EXPECT_EQ(d.nodes[1].value, -0.0123f);
  EXPECT_EQ(d.devices[0].name, "VCC");
  EXPECT_EQ(d.devices[0].value, -1.25e-3f);
  EXPECT_EQ(d.devices[1].name, "VIN");

  // Values travel bit for bit, the odd ones too.
  const float odd[] = {std::numeric_limits<float>::infinity(), -0.0f,
                       std::numeric_limits<float>::denorm_min(), std::numeric_limits<float>::max()};
  std::vector<BiasEntry> nodes;
  for (float v : odd) nodes.push_back({"N" + std::to_string(nodes.size()), v});
  ASSERT_EQ(bias_file_decode(bias_file_bytes("t", "d", nodes, {}), d), 1);
  ASSERT_EQ(d.nodes.size(), nodes.size());
  for (size_t i = 0; i < nodes.size(); ++i)
    EXPECT_EQ(std::bit_cast<uint32_t>(d.nodes[i].value), std::bit_cast<uint32_t>(nodes[i].value));
  EXPECT_TRUE(d.devices.empty());

  // An empty operating point is a file too.
  ASSERT_EQ(bias_file_decode(bias_file_bytes("t", "d", {}, {}), d), 1);
  EXPECT_TRUE(d.nodes.empty() && d.devices.empty());
}

TEST(BiasFileDecode, NamesAreCutAtTheirEnd) {
  std::vector<uint8_t> b = bias_file_bytes("t", "d", {{"X", 1}, {"Y", 2}, {"Z", 3}}, {});
  const size_t first = kBiasHeaderSize;
  // Zero-padded, with a blank before the zeros; a blank inside stays.
  std::fill(b.begin() + first, b.begin() + first + 64, 0);
  const std::string a = "Q1 B ";
  std::copy(a.begin(), a.end(), b.begin() + first);
  // Text after a NUL is not part of the name.
  const std::string c = std::string("OUT") + '\0' + "JUNK";
  std::copy(c.begin(), c.end(), b.begin() + first + 68);
  // Every byte of the field used: the name keeps 63 characters.
  std::fill(b.begin() + first + 136, b.begin() + first + 136 + 64, 'L');
  BiasData d;
  ASSERT_EQ(bias_file_decode(b, d), 1);
  EXPECT_EQ(d.nodes[0].name, "Q1 B");
  EXPECT_EQ(d.nodes[1].name, "OUT");
  EXPECT_EQ(d.nodes[2].name, std::string(63, 'L'));
  EXPECT_EQ(d.nodes[2].value, 3.0f);
  // The 64th character is past the name: what is left before it is trimmed too.
  std::fill(b.begin() + first + 136, b.begin() + first + 136 + 64, ' ');
  b[first + 136] = 'Z';
  b[first + 136 + 63] = 'W';
  ASSERT_EQ(bias_file_decode(b, d), 1);
  EXPECT_EQ(d.nodes[2].name, "Z");
  b[first + 136] = ' ';
  EXPECT_EQ(bias_file_decode(b, d), 0);
  // A longer name given to the writer is cut to the field.
  ASSERT_EQ(bias_file_decode(bias_file_bytes("t", "d", {{std::string(100, 'n'), 1}}, {}), d), 1);
  EXPECT_EQ(d.nodes[0].name, std::string(63, 'n'));
}

TEST(BiasFileDecode, EmptyNamesAreRejected) {
  for (const uint8_t fill : {uint8_t{' '}, uint8_t{0}}) {
    for (const size_t record : {0u, 3u}) {  // a node, and the last device
      std::vector<uint8_t> b = two_and_two();
      const size_t at = kBiasHeaderSize + record * kBiasRecordSize;
      std::fill(b.begin() + at, b.begin() + at + 64, fill);
      BiasData d = stale();
      EXPECT_EQ(bias_file_decode(b, d), 0) << int{fill} << " " << record;
      EXPECT_TRUE(d.nodes.empty() && d.devices.empty());
    }
  }
  // A name of blanks with a NUL in front of a text is empty as well.
  std::vector<uint8_t> b = two_and_two();
  b[kBiasHeaderSize] = 0;
  b[kBiasHeaderSize + 1] = 'X';
  BiasData d;
  EXPECT_EQ(bias_file_decode(b, d), 0);
}

TEST(BiasFileDecode, WidthMustBe64) {
  for (const int32_t width : {32, 0, -64, 65, 68}) {
    std::vector<uint8_t> b = two_and_two();
    put_i32(b, 116, width);
    BiasData d = stale();
    EXPECT_EQ(bias_file_decode(b, d), 0) << width;
    EXPECT_TRUE(d.nodes.empty() && d.devices.empty());
  }
}

TEST(BiasFileDecode, EveryTruncationFails) {
  const std::vector<uint8_t> b = two_and_two();
  BiasData d;
  for (size_t n = 0; n < b.size(); ++n) {
    d = stale();
    EXPECT_EQ(bias_file_decode(std::span<const uint8_t>(b.data(), n), d), 0) << n;
    EXPECT_TRUE(d.nodes.empty() && d.devices.empty()) << n;
  }
  EXPECT_EQ(bias_file_decode(b, d), 1);
  // Bytes after the last record are not ours to judge.
  std::vector<uint8_t> longer = b;
  longer.resize(b.size() + 67, 0xAB);
  EXPECT_EQ(bias_file_decode(longer, d), 1);
  EXPECT_EQ(d.devices.size(), 2u);
}

TEST(BiasFileDecode, CountsFromTheFileAreNotTrusted) {
  const int32_t kMax = std::numeric_limits<int32_t>::max(), kMin = std::numeric_limits<int32_t>::min();
  // Counts that the bytes do not hold, of either sign and of any size; the
  // largest would ask for over 100 GB if sized before the check.
  const std::pair<int32_t, int32_t> counts[] = {{-1, 2},   {2, -1},   {kMin, 2},    {2, kMin},
                                                {kMax, 2}, {2, kMax}, {kMax, kMax}, {3, 2},
                                                {2, 3},    {-2, 6},   {kMin, kMin}};
  for (const auto& [n, dv] : counts) {
    std::vector<uint8_t> b = two_and_two();
    put_i32(b, 120, n);
    put_i32(b, 124, dv);
    BiasData d = stale();
    EXPECT_EQ(bias_file_decode(b, d), 0) << n << " " << dv;
    EXPECT_TRUE(d.nodes.empty() && d.devices.empty());
  }
  // Fewer records than the bytes hold read as many as the counts say.
  std::vector<uint8_t> b = two_and_two();
  put_i32(b, 120, 1);
  put_i32(b, 124, 1);
  BiasData d;
  ASSERT_EQ(bias_file_decode(b, d), 1);
  ASSERT_EQ(d.devices.size(), 1u);
  EXPECT_EQ(d.devices[0].name, "in");  // the second node record, read as a device
}

TEST(BiasFilePath, ExtensionOfTheFileNameOnly) {
  EXPECT_EQ(bias_file_path("/w/amp/FILE.CIR"), "/w/amp/FILE.OPB");
  EXPECT_EQ(bias_file_path("/w/amp/file.cir"), "/w/amp/file.OPB");
  EXPECT_EQ(bias_file_path("FILE"), "FILE.OPB");
  EXPECT_EQ(bias_file_path("/w/v1.2/FILE"), "/w/v1.2/FILE.OPB");
  EXPECT_EQ(bias_file_path("/w/v1.2/FILE.CIR"), "/w/v1.2/FILE.OPB");
  EXPECT_EQ(bias_file_path("/w/a.b.CIR"), "/w/a.b.OPB");
}

struct Scratch {
  fs::path dir;
  explicit Scratch(const std::string& name)
      : dir(fs::temp_directory_path() / ("bias_file_test_" + name + "_" + std::to_string(getpid()))) {
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  ~Scratch() { fs::remove_all(dir); }
};

TEST(BiasFileRead, MissingBadAndGood) {
  const Scratch scratch("MissingBadAndGood");
  const std::string path = bias_file_path((scratch.dir / "amp.CIR").string());
  BiasData d = stale();
  EXPECT_EQ(bias_file_read(path, d), 0);
  EXPECT_EQ(d.nodes.size(), 1u);  // nothing read, nothing changed
  // A folder by the name cannot be read either.
  fs::create_directory(path);
  EXPECT_EQ(bias_file_read(path, d), 0);
  fs::remove(path);

  std::vector<uint8_t> b = two_and_two();
  put_i32(b, 116, 32);
  ASSERT_TRUE(write_file_atomic(path, b));
  EXPECT_EQ(bias_file_read(path, d), -1);
  EXPECT_TRUE(d.nodes.empty() && d.devices.empty());

  ASSERT_TRUE(write_file_atomic(path, two_and_two()));
  EXPECT_EQ(bias_file_read(path, d), 1);
  EXPECT_EQ(d.nodes.size(), 2u);
  EXPECT_EQ(d.devices[0].name, "VCC");
}

}  // namespace
}  // namespace zephyrim
