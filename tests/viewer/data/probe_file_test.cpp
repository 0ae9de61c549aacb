#include "viewer/data/probe_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "common/file_io.h"
#include "common/notify.h"
#include "common/progress.h"
#include "viewer/data/data_store.h"

namespace zephyrim {
namespace {

struct Probe : ::testing::Test {
  RecordingNotify notify{kTraceryTitle};
  NullProgress progress;
  DataStore store{notify, progress};
  std::filesystem::path dir;

  void SetUp() override {
    ASSERT_TRUE(store.start());
    dir = std::filesystem::temp_directory_path() /
          ("zephyrim_probe_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::create_directories(dir);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }

  std::string write(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = (dir / name).string();
    EXPECT_TRUE(write_file_atomic(path, bytes));
    return path;
  }
  int read(const std::string& path) {
    store.open_data_file(path);
    return probe_read_file(store, path);
  }
  std::vector<double> values(const char* name, int kind = -1, int run = 0) {
    const DataVector* v = store.find_vector(name, 0, kind, -1, -1, run);
    if (!v) return {};
    const auto s = store.values(*v);
    return {s.begin(), s.end()};
  }
};

ProbeBlock transient() {
  ProbeBlock b;
  b.label = "Temp=27";
  b.kind = ANALYSIS_TRAN;
  b.x_name = "TIME";
  b.analog_names = {"V(IN)", "V(OUT)"};
  b.x = {0, 1e-3, 2e-3};
  b.analog = {{1, 2, 3}, {0.5, 0.25, 0.125}};
  b.digital_names = {"D(Q)"};
  b.digital_x = {0, 1.5e-3};
  b.digital = {{1, -1}};
  return b;
}

ProbeBlock ac() {
  ProbeBlock b;
  b.kind = ANALYSIS_AC;
  b.x_name = "FREQ";
  b.analog_names = {"V(OUT)", "V(ONOISE)", "V(INOISE)"};
  b.x = {10, 100};
  b.analog = {{1, -1, 0.5, -0.5}, {1e-9, 0, 2e-9, 0}, {3e-9, 0, 4e-9, 0}};
  return b;
}

TEST_F(Probe, CurrentVersionCataloguesThenLoadsOnDemand) {
  const std::string path = write("run.SAV", probe_file_bytes({transient(), ac()}));
  EXPECT_EQ(read(path), 3);  // analog and digital part of the first block, then the AC block
  EXPECT_TRUE(notify.entries().empty()) << notify.last();
  DataVector* out = store.find_vector("V(OUT)", 0, ANALYSIS_TRAN, -1, -1);
  ASSERT_NE(out, nullptr);
  EXPECT_FALSE(out->loaded());
  ASSERT_NE(store.vector_label(*out), nullptr);
  EXPECT_EQ(*store.vector_label(*out), "Temp=27");
  EXPECT_EQ(values("V(OUT)", ANALYSIS_TRAN), (std::vector<double>{0.5, 0.25, 0.125}));
  EXPECT_TRUE(out->loaded());
  // Its block neighbour came along in the same pass.
  EXPECT_TRUE(store.find_vector("V(IN)", 0, ANALYSIS_TRAN, -1, -1)->loaded());
  // Once loaded, the values come from the scratch file even without the source.
  std::filesystem::remove(path);
  EXPECT_EQ(values("V(IN)", ANALYSIS_TRAN), (std::vector<double>{1, 2, 3}));

  // Two x vectors of the same name; digital states with their offset.
  const DataVector* dq = store.find_vector("D(Q)", 0, -1, -1, -1);
  ASSERT_NE(dq, nullptr);
  EXPECT_EQ(dq->x->run, 2);
  EXPECT_EQ(dq->x->points, 2);
  EXPECT_EQ(store.find_vector("TIME@1", 0, 2, -1, -1)->points, 3);
  EXPECT_EQ(store.next_run(store.find_vector("TIME", 0, 2, -1, -1), nullptr)->run, 1);
}

TEST_F(Probe, LoadAllTakesEveryBlockInOnePass) {
  ProbeBlock noise;
  noise.kind = ANALYSIS_NOISE;
  noise.x_name = "FREQ";
  noise.analog_names = {"V(ONOISE)"};
  noise.x = {1, 2};
  noise.analog = {{3e-9, 4e-9}};
  const std::string path = write("all.SAV", probe_file_bytes({transient(), ac(), noise}));
  EXPECT_EQ(read(path), 4);
  // Three of the transient block (one digital), five of the AC block (its
  // noise variables twice), one of the noise block.
  EXPECT_EQ(store.load_all(DATA_CLASS_BINARY), 9);
  for (const auto& v : store.data_class(0)->vectors) EXPECT_TRUE(v.loaded()) << v.name;
  std::filesystem::remove(path);
  EXPECT_EQ(values("V(IN)", ANALYSIS_TRAN), (std::vector<double>{1, 2, 3}));
  EXPECT_EQ(values("D(Q)").size(), 2u);
  EXPECT_EQ(values("V(OUT)", ANALYSIS_AC), (std::vector<double>{1, -1, 0.5, -0.5}));
  // Single values of a noise block become complex with no imaginary part.
  EXPECT_EQ(values("V(ONOISE)", ANALYSIS_NOISE, 2), (std::vector<double>{3e-9, 0, 4e-9, 0}));
  EXPECT_TRUE(notify.entries().empty()) << notify.last();

  // A digital record, of a block without digital variables, between its
  // analog records: they are not at a fixed stride any more.
  ProbeBlock b;
  b.kind = ANALYSIS_TRAN;
  b.x_name = "TIME";
  b.analog_names = {"V(A)"};
  b.x = {0, 1, 2};
  b.analog = {{5, 6, 7}};
  auto bytes = probe_file_bytes({b});
  const size_t records = kProbeHeaderSize + 8 + 32 + 16 + 64 * 2, analog_record = 4 + 8 + 8;
  const uint8_t digital_record[12] = {'D', 0, 0, 0};
  bytes.insert(bytes.begin() + records + analog_record, digital_record, digital_record + 12);
  store.clear_for_new_data();
  EXPECT_EQ(read(write("mixed.SAV", bytes)), 2);
  EXPECT_EQ(store.load_all(DATA_CLASS_BINARY), 1);
  EXPECT_EQ(values("V(A)"), (std::vector<double>{5, 6, 7}));
}

TEST_F(Probe, NoiseVariablesOfAnAcBlockAreRegisteredTwice) {
  const std::string path = write("ac.SAV", probe_file_bytes({ac()}));
  EXPECT_EQ(read(path), 1);
  const DataVector* as_ac = store.find_vector("V(ONOISE)", 0, ANALYSIS_AC, -1, -1);
  const DataVector* as_noise = store.find_vector("V(ONOISE)", 0, ANALYSIS_NOISE, -1, -1);
  ASSERT_NE(as_ac, nullptr);
  ASSERT_NE(as_noise, nullptr);
  // A query for AC takes NOISE too, so the first in order is the AC one.
  EXPECT_EQ(as_ac->kind, ANALYSIS_AC);
  EXPECT_EQ(as_noise->kind, ANALYSIS_NOISE);
  EXPECT_NE(as_ac->x, as_noise->x);
  EXPECT_EQ(as_noise->x->kind, ANALYSIS_NOISE);
  EXPECT_EQ(store.input_noise_v, 1);
  EXPECT_EQ(store.input_noise_i, 0);
  std::vector<double> re, im;
  EXPECT_EQ(store.values(*as_noise).size(), 4u);
  EXPECT_EQ(store.read_complex(*as_noise, re, im), 2);
  EXPECT_EQ(re, (std::vector<double>{1e-9, 2e-9}));
  EXPECT_EQ(values("V(OUT)", ANALYSIS_AC), (std::vector<double>{1, -1, 0.5, -0.5}));
}

TEST_F(Probe, OlderVersionsReadAsFloats) {
  for (int version : {200, 100}) {
    store.clear_for_new_data();
    ProbeFileInfo info;
    info.version = version;
    const auto bytes = probe_file_bytes({transient()}, info);
    // 1.00 has no header: its first bytes are the first block's tag.
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 7), version == 100 ? "NEWDATA" : "ZEPHYRI");
    const std::string path = write("old" + std::to_string(version) + ".SAV", bytes);
    EXPECT_EQ(read(path), 2) << version;
    EXPECT_EQ(values("V(OUT)", 2), (std::vector<double>{0.5, 0.25, 0.125}));
    const auto dq = values("D(Q)");
    ASSERT_EQ(dq.size(), 2u);
    EXPECT_DOUBLE_EQ(dq[1], -0.999);
    const DataVector* out = store.find_vector("V(OUT)", 0, 2, -1, -1);
    EXPECT_EQ(store.vector_label(*out) != nullptr, version == 200);
    EXPECT_EQ(store.data_file(store.current_data_file())->version, version == 100 ? 0 : 200);
  }
  EXPECT_TRUE(notify.entries().empty()) << notify.last();
}

TEST_F(Probe, LoadsFromTheDataFileThatCataloguedIt) {
  ProbeBlock second = transient();
  second.analog[1] = {9, 8, 7};
  const std::string one = write("one.SAV", probe_file_bytes({transient()}));
  const std::string two = write("two.SAV", probe_file_bytes({second}));
  EXPECT_EQ(read(one), 2);
  EXPECT_EQ(read(two), 2);
  EXPECT_EQ(values("V(OUT)@1", 2), (std::vector<double>{0.5, 0.25, 0.125}));
  EXPECT_EQ(values("V(OUT)@2", 2), (std::vector<double>{9, 8, 7}));
}

TEST_F(Probe, BadHeadersAndBlocks) {
  auto bytes = probe_file_bytes({transient()});
  bytes[26] = 32;
  EXPECT_EQ(read(write("len.SAV", bytes)), 0);
  EXPECT_EQ(notify.last(),
            "Error: invalid variable name length spec found.\nReading simulation output data binary file:\n" +
                (dir / "len.SAV").string());
  EXPECT_EQ(store.total_vectors(), 0);

  ProbeBlock empty;
  empty.x_name = "TIME";
  EXPECT_EQ(read(write("empty.SAV", probe_file_bytes({empty}))), 0);
  EXPECT_EQ(notify.last(), "Error code: 4 - reading binary data file:\n" + (dir / "empty.SAV").string());

  ProbeBlock blank = transient();
  blank.analog_names[1] = "   ";
  EXPECT_EQ(read(write("blank.SAV", probe_file_bytes({transient(), blank}))), 2);
  EXPECT_EQ(notify.last(), "Error code: 10 - reading binary data file:\n" + (dir / "blank.SAV").string());
  // The first block's vectors stay.
  EXPECT_EQ(values("V(OUT)", 2).size(), 3u);
}

TEST_F(Probe, CutFilesKeepTheirWholeRecords) {
  auto bytes = probe_file_bytes({transient()});
  // Cut into the third analog record: two samples stay.
  const size_t record = 4 + 8 + 2 * 8;
  const size_t records = kProbeHeaderSize + 8 + 32 + 16 + 64 * 4;
  bytes.resize(records + 2 * record + 10);
  EXPECT_EQ(read(write("cut.SAV", bytes)), 1);
  EXPECT_EQ(values("V(OUT)", 2), (std::vector<double>{0.5, 0.25}));
  // A file that went away before its vectors were used.
  ProbeBlock b = transient();
  const std::string gone = write("gone.SAV", probe_file_bytes({b}));
  store.clear_for_new_data();
  EXPECT_EQ(read(gone), 2);
  std::filesystem::remove(gone);
  DataVector* v = store.find_vector("V(IN)", 0, 2, -1, -1);
  EXPECT_TRUE(values("V(IN)", 2).empty());
  EXPECT_EQ(notify.last(), "Reading V(IN) data vector");
  EXPECT_LT(v->scratch_position, 0);
}

TEST_F(Probe, FloatValuesInTheCurrentVersion) {
  ProbeFileInfo info;
  info.value_size = 4;
  EXPECT_EQ(read(write("f.SAV", probe_file_bytes({ac()}, info))), 1);
  EXPECT_EQ(values("V(OUT)", 3), (std::vector<double>{1, -1, 0.5, -0.5}));
  EXPECT_EQ(store.data_file(1)->value_size, 4);
}

// Two blocks of an engine's run: one bigger than the writer's pieces, so that
// a block goes out in several of them.
std::vector<ProbeBlock> run_set() {
  ProbeBlock big = transient();
  big.x.resize(100000);
  for (auto& col : big.analog) col.resize(big.x.size());
  for (size_t i = 0; i < big.x.size(); ++i) {
    big.x[i] = static_cast<double>(i) * 1e-9;
    big.analog[0][i] = static_cast<double>(i % 977) * 0.25;
    big.analog[1][i] = -static_cast<double>(i % 13);
  }
  big.label = std::string(40, 'L');  // cut to the field
  return {big, ac(), transient()};
}

TEST_F(Probe, StreamingGivesTheBytesOfTheWholeFileWriter) {
  const auto blocks = run_set();
  for (const auto& [version, value_size] : {std::pair{300, 8}, {300, 4}, {200, 4}, {100, 4}}) {
    ProbeFileInfo info;
    info.version = version;
    info.value_size = value_size;
    info.title = "streamed";
    const std::string path =
        (dir / ("s" + std::to_string(version) + std::to_string(value_size) + ".SAV")).string();
    ProbeFileWriter writer;
    ASSERT_TRUE(writer.open(path, info));
    EXPECT_FALSE(std::filesystem::exists(path));  // not in place before it is whole
    for (const auto& b : blocks) ASSERT_TRUE(writer.append(b));
    EXPECT_EQ(writer.blocks(), 3);
    ASSERT_TRUE(writer.finish());
    EXPECT_FALSE(writer.is_open());
    const auto streamed = read_file(path);
    ASSERT_TRUE(streamed);
    EXPECT_TRUE(*streamed == probe_file_bytes(blocks, info)) << version << " " << value_size;
  }
  // probe_write_file streams too.
  const std::string whole = (dir / "whole.SAV").string();
  ASSERT_TRUE(probe_write_file(whole, blocks));
  EXPECT_TRUE(*read_file(whole) == probe_file_bytes(blocks));
  EXPECT_EQ(read(whole), 5);
  EXPECT_EQ(values("V(IN)", ANALYSIS_TRAN).at(99999), (99999 % 977) * 0.25);
}

TEST_F(Probe, AnUnfinishedWriterLeavesTheOldFileAlone) {
  const std::string path = write("old.SAV", probe_file_bytes({ac()}));
  chmod(path.c_str(), 0640);
  {
    ProbeFileWriter writer;
    ASSERT_TRUE(writer.open(path));
    ASSERT_TRUE(writer.append(transient()));
  }
  EXPECT_TRUE(*read_file(path) == probe_file_bytes({ac()}));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1)
      << "a temporary file was left behind";
  // Finished, it replaces the file and keeps its permissions.
  ProbeFileWriter writer;
  ASSERT_TRUE(writer.open(path));
  ASSERT_TRUE(writer.append(transient()));
  ASSERT_TRUE(writer.finish());
  EXPECT_TRUE(*read_file(path) == probe_file_bytes({transient()}));
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_FALSE(writer.finish());  // once only
  EXPECT_FALSE(writer.append(ac()));

  ProbeFileWriter nowhere;
  EXPECT_FALSE(nowhere.open((dir / "missing" / "x.SAV").string()));
  EXPECT_FALSE(nowhere.append(ac()));
  EXPECT_FALSE(nowhere.finish());
}

}  // namespace
}  // namespace zephyrim
