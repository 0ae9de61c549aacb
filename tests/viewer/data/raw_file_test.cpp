#include "viewer/data/raw_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "common/file_io.h"
#include "common/notify.h"
#include "common/progress.h"
#include "viewer/data/data_store.h"

namespace zephyrim {
namespace {

struct Raw : ::testing::Test {
  RecordingNotify notify{kTraceryTitle};
  NullProgress progress;
  DataStore store{notify, progress};
  std::filesystem::path dir;

  void SetUp() override {
    ASSERT_TRUE(store.start());
    dir = std::filesystem::temp_directory_path() /
          ("zephyrim_raw_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::create_directories(dir);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }

  std::string path_of(const char* name) { return (dir / name).string(); }
  int read(std::string_view bytes, bool header = false) {
    const std::string path = path_of("t.raw");
    EXPECT_TRUE(write_file_atomic(path, bytes));
    return raw_read_file(store, path, header);
  }
  std::vector<double> values(const char* name, int kind = -1) {
    const DataVector* v = store.find_vector(name, 0, kind, -1, -1);
    if (!v) return {};
    const auto s = store.values(*v);
    return {s.begin(), s.end()};
  }
  std::vector<std::string> names() {
    std::vector<std::string> out;
    for (const auto& v : store.data_class(0)->vectors) out.push_back(v.name);
    return out;
  }
};

constexpr const char* kOpAndTran =
    "Title: two plots\r\n"
    "Date: Wed Dec  9 06:31:07  2026\r\n"
    "Plotname: Operating Point\r\n"
    "Flags: real\r\n"
    "No. Variables: 5\r\n"
    "No. Points: 1\r\n"
    "Variables:\r\n"
    "\t0\t1\tvoltage\r\n"
    "\t1\tvin#branch\tcurrent\r\n"
    "\t2\tq1#collector\tvoltage\r\n"
    "\t3\t@q1[ic]\tcurrent\r\n"
    "\t4\tv1#branch\tunknown\r\n"
    "Values:\r\n"
    " 0\t1.5\r\n\t-2e-3\r\n\t+3\r\n\t4\r\n\t5\r\n"
    "\r\n"
    "Plotname: Transient Analysis\n"
    "Flags: real\n"
    "No. Variables: 2\n"
    "No. Points: 3\n"
    "Variables:\n"
    "\t0\ttime\ttime\n"
    "\t1\tv(out)\tvoltage\tdims=1\n"
    "Values:\n"
    "0\t0\n\t1\n1\t1e-3\n\t2\n2\t2e-3\n\t3\n";

TEST_F(Raw, TextPlotsNamesAndHeader) {
  EXPECT_EQ(read(kOpAndTran, true), 7);
  EXPECT_TRUE(notify.entries().empty()) << notify.last();
  EXPECT_EQ(names(),
            (std::vector<std::string>{"V(1)", "I(VIN)", "V(Q1#C)", "IC(Q1)", "I(V1)", "TIME", "V(OUT)"}));
  const DataVector* op = store.find_vector("I(VIN)", 0, -1, -1, -1);
  EXPECT_EQ(op->kind, ANALYSIS_OP);
  EXPECT_EQ(op->x->name, "V(1)");
  const DataVector* out = store.find_vector("V(OUT)", 0, -1, -1, -1);
  EXPECT_EQ(out->kind, ANALYSIS_TRAN);
  EXPECT_EQ(out->x->name, "TIME");
  EXPECT_EQ(values("V(OUT)"), (std::vector<double>{1, 2, 3}));
  EXPECT_EQ(values("V(Q1#C)"), std::vector<double>{3});
  EXPECT_EQ(store.header.title, "two plots");
  EXPECT_EQ(store.header.time, "06:31:07");
  EXPECT_EQ(store.header.date, "Dec  9  2026");
}

TEST_F(Raw, ComplexTextAndInvalidNumbers) {
  EXPECT_EQ(read("Plotname: AC Analysis\nFlags: complex\nNo. Variables: 2\nNo. Points: 2\nVariables:\n"
                 "\t0\tfrequency\tfrequency\tgrid=3\n\t1\tout\tvoltage\nValues:\n"
                 "0\t10,0\n\t1.0e-3,abc\n1\t100,0\n\t0.5,-0.25\n"),
            2);
  const DataVector* f = store.find_vector("FREQUENCY", 0, -1, -1, -1);
  EXPECT_EQ(f->complex, 0);
  EXPECT_EQ(values("FREQUENCY"), (std::vector<double>{10, 100}));
  const DataVector* v = store.find_vector("V(OUT)", 0, ANALYSIS_AC, -1, 1);
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->points, 2);
  EXPECT_EQ(values("V(OUT)"), (std::vector<double>{0, 0, 0.5, -0.25}));
  EXPECT_EQ(notify.last(),
            "SPICE3 RAW data file: " + path_of("t.raw") + "\ncontains 1 invalid or out of range numbers");
}

TEST_F(Raw, ValuesBeforeThePointCountAreAnOrdinaryLine) {
  EXPECT_EQ(read("Plotname: DC transfer characteristic\nFlags: real\nNo. Variables: 1\nVariables:\n"
                 "\t0\tv-sweep\tvoltage\nValues:\nNo. Points: 1\nValues:\n0\t4\n"),
            1);
  EXPECT_EQ(values("V-SWEEP", ANALYSIS_DC), std::vector<double>{4});
}

TEST_F(Raw, IndexOutOfSyncStopsTheRead) {
  EXPECT_EQ(read("Plotname: Transient Analysis\nFlags: real\nNo. Variables: 1\nNo. Points: 3\nVariables:\n"
                 "\t0\ttime\ttime\nValues:\n0\t0\n2\t1\n"),
            1);
  // The points before the fault are kept.
  EXPECT_EQ(values("TIME"), std::vector<double>{0});
  ASSERT_GE(notify.entries().size(), 2u);
  EXPECT_EQ(notify.entries()[0].text, "RAW data index out of sync:\nType=2  Index=1");
  EXPECT_EQ(notify.entries()[1].text, "Error reading SPICE3 RAW data file:\n" + path_of("t.raw"));
}

TEST_F(Raw, MissingVariableLineAndUnreadableFile) {
  EXPECT_EQ(read("Plotname: Transient Analysis\nNo. Variables: 3\nNo. Points: 3\nVariables:\n\t0\ttime\n"),
            0);
  EXPECT_EQ(notify.last(), "Error reading SPICE3 RAW data file:\n" + path_of("t.raw"));
  EXPECT_EQ(raw_read_file(store, path_of("none.raw"), false), 0);
  EXPECT_EQ(notify.last(), "Cannot open SPICE3 RAW data file:\n" + path_of("none.raw"));
}

std::string binary_header(int vars, int points, const char* flags, const char* plot = "Transient Analysis") {
  std::string h = "Title: b\nPlotname: " + std::string(plot) + "\nFlags: " + flags +
                  "\nNo. Variables: " + std::to_string(vars) + "\nNo. Points: " + std::to_string(points) +
                  "\nVariables:\n\t0\ttime\ttime\n";
  for (int v = 1; v < vars; ++v) h += "\t" + std::to_string(v) + "\tv(n" + std::to_string(v) + ")\tvoltage\n";
  return h + "Binary:\n";
}

template <typename T>
void put(std::string& s, T v) {
  char b[sizeof(T)];
  std::memcpy(b, &v, sizeof(T));
  s.append(b, sizeof(T));
}

TEST_F(Raw, BinaryPlotsAndShortData) {
  std::string f = binary_header(2, 3, "real");
  for (int p = 0; p < 3; ++p) {
    put(f, p * 1e-3);
    put(f, p * 2.0);
  }
  f += binary_header(2, 4, "real");  // says 4, holds 2
  for (int p = 0; p < 2; ++p) {
    put(f, p * 1e-3);
    put(f, p * 5.0);
  }
  EXPECT_EQ(read(f), 4);
  EXPECT_EQ(values("V(N1)"), (std::vector<double>{0, 2, 4}));
  const DataVector* second = store.find_vector("V(N1)@2", 0, -1, -1, -1);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->points, 2);
  EXPECT_EQ(notify.last(),
            "SPICE3 RAW data file: " + path_of("t.raw") + "\nholds 2 data points, its header says 4");
}

std::vector<bool> loaded_flags(DataStore& store) {
  std::vector<bool> out;
  for (const auto& v : store.data_class(0)->vectors) out.push_back(v.loaded());
  return out;
}

TEST_F(Raw, BinaryPlotsAreCataloguedAndLoadedAPlotAtATime) {
  // A transient plot and an AC plot, whose x (named time here) and variables
  // are complex.
  std::string f = binary_header(3, 3, "real");
  for (int p = 0; p < 3; ++p) {
    put(f, p * 1e-3);
    put(f, p * 2.0);
    put(f, p * 3.0);
  }
  f += binary_header(2, 2, "complex", "AC Analysis");
  for (int p = 0; p < 2; ++p) {
    put(f, (p + 1) * 10.0);
    put(f, 0.0);
    put(f, p + 0.5);
    put(f, -p - 0.25);
  }
  EXPECT_EQ(read(f), 5);
  EXPECT_TRUE(notify.entries().empty()) << notify.last();
  EXPECT_EQ(loaded_flags(store), std::vector<bool>(5, false));
  // The first use of a vector brings its plot along, not the other plot.
  EXPECT_EQ(values("V(N2)"), (std::vector<double>{0, 3, 6}));
  EXPECT_EQ(loaded_flags(store), (std::vector<bool>{true, true, true, false, false}));
  EXPECT_EQ(store.load_all(DATA_CLASS_BINARY), 2);
  EXPECT_EQ(store.load_all(DATA_CLASS_BINARY), 0);
  EXPECT_EQ(values("TIME", ANALYSIS_AC), (std::vector<double>{10, 20}));
  EXPECT_EQ(values("V(N1)", ANALYSIS_AC), (std::vector<double>{0.5, -0.25, 1.5, -1.25}));
  EXPECT_EQ(store.find_vector("V(N1)", 0, ANALYSIS_AC, -1, -1)->complex, 1);
}

TEST_F(Raw, CataloguedVectorsKeepTheirFile) {
  std::string f = binary_header(2, 2, "real");
  for (int p = 0; p < 2; ++p) {
    put(f, p * 1.0);
    put(f, p * 7.0);
  }
  EXPECT_EQ(read(f), 2);
  // Another file put in its place is not the one catalogued.
  std::string other = f;
  other[other.size() - 1] = 0x7f;
  ASSERT_TRUE(write_file_atomic(path_of("t.raw"), other));
  EXPECT_EQ(values("V(N1)"), (std::vector<double>{0, 7}));

  // Cut short where it was catalogued, it gives no values and a message.
  store.clear_for_new_data();
  EXPECT_EQ(read(f), 2);
  std::filesystem::resize_file(path_of("t.raw"), f.size() - 4);
  EXPECT_TRUE(values("V(N1)").empty());
  EXPECT_EQ(notify.last(), "Error reading SPICE3 RAW data file:\n" + path_of("t.raw"));
  EXPECT_FALSE(store.find_vector("V(N1)", 0, -1, -1, -1)->loaded());
  EXPECT_EQ(store.load_all(DATA_CLASS_BINARY), -1);
  EXPECT_EQ(store.data_class(0)->scratch.size(), 0u) << "room of a failed load given back";
}

// A header in UTF-16LE, as one widely used simulator writes it.
std::string wide(const std::string& s) {
  std::string w;
  for (char c : s) {
    w += c;
    w += '\0';
  }
  return w;
}

TEST_F(Raw, WideHeaderWithFloatValuesSteppedAndTraceByTrace) {
  // Two steps of two points each; time is a double and its sign carries no value.
  std::string f = wide(binary_header(2, 4, "real forward stepped"));
  for (int p = 0; p < 4; ++p) {
    put(f, p % 2 == 1 ? -1e-3 : 0.0);
    put(f, static_cast<float>(p + 0.5));
  }
  EXPECT_EQ(read(f), 4);
  EXPECT_TRUE(notify.entries().empty()) << notify.last();
  EXPECT_EQ(values("TIME"), (std::vector<double>{0, 1e-3}));
  EXPECT_EQ(values("V(N1)"), (std::vector<double>{0.5, 1.5}));
  const DataVector* run2 = store.find_vector("V(N1)@2", 0, -1, -1, -1);
  ASSERT_NE(run2, nullptr);
  EXPECT_EQ(std::vector<double>(store.values(*run2).begin(), store.values(*run2).end()),
            (std::vector<double>{2.5, 3.5}));

  store.clear_for_new_data();
  std::string g = wide(binary_header(3, 2, "real forward fastaccess"));
  put(g, 0.0);
  put(g, 1.0);
  put(g, 10.0f);
  put(g, 11.0f);
  put(g, 20.0f);
  put(g, 21.0f);
  EXPECT_EQ(read(g), 3);
  EXPECT_EQ(values("V(N2)"), (std::vector<double>{20, 21}));
}

TEST_F(Raw, PoleZeroVariablesGiveRealAndImaginaryVectors) {
  std::string f =
      "Plotname: Pole-Zero Analysis\nFlags: complex\nNo. Variables: 1\nNo. Points: 2\nVariables:\n"
      "\t0\tpole(1)\tpole\nBinary:\n";
  put(f, -1.0);
  put(f, 2.0);
  put(f, -3.0);
  put(f, -4.0);
  EXPECT_EQ(read(f), 2);
  EXPECT_EQ(names(), (std::vector<std::string>{"R[POLE(1)]", "POLE(1)"}));
  EXPECT_EQ(values("R[POLE(1)]"), (std::vector<double>{-1, -3}));
  EXPECT_EQ(values("POLE(1)"), (std::vector<double>{2, -4}));
  EXPECT_EQ(store.find_vector("POLE(1)", 0, -1, -1, -1)->x->name, "R[POLE(1)]");
}

TEST_F(Raw, TemperatureRunInformation) {
  const std::string plot =
      "Plotname: DC\nFlags: real\nNo. Variables: 1\nNo. Points: "
      "1\nVariables:\n\t0\tv\tvoltage\nValues:\n0\t1\n";
  read("Temperature: 50\n" + plot, true);
  EXPECT_EQ(store.header.run_info, "Temp=50 C");
  store.clear_for_new_data();
  read("Temperature: 50\n" + plot + "Temperature: 75\n" + plot, true);
  EXPECT_EQ(store.header.run_info, "");
}

TEST_F(Raw, OnePlotAtATime) {
  const std::string path = path_of("plots.raw");
  ASSERT_TRUE(write_file_atomic(path, std::string_view(kOpAndTran)));
  // The caller takes each plot and clears the class before the next comes in.
  std::vector<std::vector<std::string>> plots;
  std::vector<int64_t> first_positions;
  EXPECT_EQ(raw_read_file(store, path, false,
                          [&](DataStore& s) {
                            plots.push_back(names());
                            first_positions.push_back(s.data_class(0)->vectors.front().scratch_position);
                            s.clear_class(DATA_CLASS_BINARY);
                            return true;
                          }),
            7);
  ASSERT_EQ(plots.size(), 2u);
  EXPECT_EQ(plots[0].size(), 5u);
  EXPECT_EQ(plots[1], (std::vector<std::string>{"TIME", "V(OUT)"}));
  // The second plot's values take the scratch room of the first.
  EXPECT_EQ(first_positions, (std::vector<int64_t>{0, 0}));
  // Binary plots are handed over loaded.
  std::string binary = binary_header(2, 2, "real");
  for (int p = 0; p < 2; ++p) {
    put(binary, p * 1.0);
    put(binary, p * 4.0);
  }
  ASSERT_TRUE(write_file_atomic(path, binary + binary));
  std::vector<double> handed;
  EXPECT_EQ(raw_read_file(store, path, false,
                          [&](DataStore& s) {
                            for (const auto& v : s.data_class(0)->vectors) EXPECT_TRUE(v.loaded()) << v.name;
                            const auto last = s.values(s.data_class(0)->vectors.back());
                            handed.insert(handed.end(), last.begin(), last.end());
                            s.clear_class(DATA_CLASS_BINARY);
                            return true;
                          }),
            4);
  EXPECT_EQ(handed, (std::vector<double>{0, 4, 0, 4}));
  ASSERT_TRUE(write_file_atomic(path, std::string_view(kOpAndTran)));
  EXPECT_EQ(store.total_vectors(), 0);
  EXPECT_TRUE(notify.entries().empty()) << notify.last();

  // Returning false ends the reading after that plot.
  int calls = 0;
  EXPECT_EQ(raw_read_file(store, path, false, [&](DataStore&) { return ++calls > 1; }), 5);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(values("V(OUT)"), std::vector<double>{});
}

}  // namespace
}  // namespace zephyrim
