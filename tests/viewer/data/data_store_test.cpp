#include "viewer/data/data_store.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "common/notify.h"
#include "common/progress.h"

namespace zephyrim {
namespace {

struct Store : ::testing::Test {
  RecordingNotify notify{kTraceryTitle};
  NullProgress progress;
  DataStore store{notify, progress};
  void SetUp() override { ASSERT_TRUE(store.start()); }

  DataVector* add(std::string_view name, int kind, std::vector<double> v, int cls = 0,
                  const DataVector* x = nullptr, int complex = 0) {
    return store.add_vector({.name = name,
                             .cls = cls,
                             .kind = kind,
                             .complex = complex,
                             .x = x,
                             .points = static_cast<int64_t>(v.size()) / (complex ? 2 : 1),
                             .values = v.data()});
  }
};

TEST_F(Store, RunsAndAtSuffixLookUp) {
  const DataVector* t = add("TIME", ANALYSIS_TRAN, {0, 1});
  const DataVector* a = add("V(OUT)", ANALYSIS_TRAN, {1, 2}, 0, t);
  const DataVector* b = add("v(out)", ANALYSIS_TRAN, {3, 4}, 0, t);
  const DataVector* c = add("V(OUT)", ANALYSIS_TRAN, {5, 6}, 0, t);
  EXPECT_EQ(a->run, 1);
  EXPECT_EQ(b->run, 2);
  EXPECT_EQ(c->run, 3);
  EXPECT_EQ(store.data_class(0)->run_count[ANALYSIS_TRAN], 3);
  EXPECT_EQ(store.find_vector("V(OUT)@2", 0, 2, -1, -1), b);
  EXPECT_EQ(store.find_vector("V(OUT)@0", 0, 2, -1, -1), a);
  EXPECT_EQ(store.find_vector("V(OUT)@20000", 0, 2, -1, -1), a);
  EXPECT_EQ(store.find_vector("V(OUT)", 0, 2, -1, -1, 3), c);
  // An at sign that is not followed by a run number is part of the name.
  const DataVector* at = add("@q1[ic]", ANALYSIS_TRAN, {7, 8}, 0, t);
  EXPECT_EQ(store.find_vector("@Q1[IC]", 0, 2, -1, -1), at);
  EXPECT_EQ(store.next_run(a, nullptr), a);
  EXPECT_EQ(store.next_run(a, a), b);
  EXPECT_EQ(store.next_run(a, c), nullptr);
  std::vector<double> out;
  EXPECT_EQ(store.read_real(*b, out), 2);
  EXPECT_EQ(out, (std::vector<double>{3, 4}));
}

TEST_F(Store, KindMatching) {
  add("ONOISE", ANALYSIS_NOISE, {1});
  add("W", ANALYSIS_OTHER, {1});
  add("V(A)", ANALYSIS_AC, {1, 2}, 0, nullptr, 1);
  EXPECT_NE(store.find_vector("onoise", 0, ANALYSIS_AC, -1, -1), nullptr);
  EXPECT_NE(store.find_vector("W", 0, ANALYSIS_AC, -1, -1), nullptr);
  EXPECT_NE(store.find_vector("W", 0, ANALYSIS_TRAN, -1, -1), nullptr);
  EXPECT_EQ(store.find_vector("V(A)", 0, ANALYSIS_TRAN, -1, -1), nullptr);
  EXPECT_NE(store.find_vector("V(A)", 0, -1, -1, -1), nullptr);
  EXPECT_EQ(store.find_vector("V(A)", 0, ANALYSIS_AC, -1, 0), nullptr);
  EXPECT_EQ(store.find_vector("V(A)", 0, ANALYSIS_AC, 5, -1), nullptr);
}

TEST_F(Store, NamesAreCutAndClassesLimited) {
  const std::string long_name(70, 'N');
  const DataVector* v = add(long_name, 0, {1});
  EXPECT_EQ(v->name, std::string(63, 'N'));
  EXPECT_EQ(store.find_vector(long_name, 0, 0, -1, -1), v);

  store.set_class_count(12);
  EXPECT_EQ(notify.last(), "Too many data classes specified: 12");
  EXPECT_EQ(store.class_count(), 9);
  EXPECT_EQ(store.total_vectors(), 0);
  EXPECT_TRUE(store.init_class(8, 2));
  EXPECT_NE(add("A", 0, {1}, 8), nullptr);
  EXPECT_NE(add("B", 0, {1}, 8), nullptr);
  EXPECT_EQ(add("C", 0, {1}, 8), nullptr);
  EXPECT_EQ(notify.last(), "Number of data vectors exceed limit of 2");
  EXPECT_EQ(add("C", 0, {1}, 9), nullptr);
  EXPECT_EQ(notify.last(), "Invalid data class index 9");
  EXPECT_FALSE(store.clear_class(9));
  EXPECT_EQ(notify.last(), "Invalid data class index");
  EXPECT_EQ(store.total_vectors(), 2);
}

TEST_F(Store, LabelsAndCounters) {
  const DataVector* plain = add("X", 2, {1});
  EXPECT_EQ(store.vector_label(*plain), nullptr);
  EXPECT_EQ(store.set_label("Temp=50", 0), 1);
  EXPECT_EQ(store.set_label("RUN 2", 0), 2);
  EXPECT_EQ(store.set_label("temp=50", 0), 1);
  const DataVector* labelled = add("X", 2, {1, 2, 3});
  ASSERT_NE(store.vector_label(*labelled), nullptr);
  EXPECT_EQ(*store.vector_label(*labelled), "Temp=50");
  EXPECT_EQ(store.set_label("", 0), 0);

  const DataClass& c = *store.data_class(0);
  EXPECT_EQ(c.kinds_present, 1);
  EXPECT_EQ(c.kind_count[2], 2);
  EXPECT_EQ(c.max_points[2], 3);
  add("Y", 3, {1, 2});
  EXPECT_EQ(c.kinds_present, 2);
  EXPECT_EQ(store.remove_kind(0, 2), 2);
  EXPECT_EQ(c.kinds_present, 1);
  EXPECT_EQ(c.max_points[2], 0);
  EXPECT_EQ(store.total_vectors(), 1);
  EXPECT_EQ(store.find_vector("X", 0, -1, -1, -1), nullptr);
  EXPECT_EQ(store.remove_vector(store.find_vector("Y", 0, -1, -1, -1)), 1);
  EXPECT_FALSE(store.has_data());
}

TEST_F(Store, RemovingAnXVectorLeavesNoDanglingAxis) {
  const DataVector* t = add("TIME", 2, {0, 1});
  const DataVector* v = add("V(A)", 2, {1, 2}, 0, t);
  add("I(A)", 2, {1, 2}, 0, t);
  EXPECT_EQ(store.remove_vector(t), 1);
  EXPECT_EQ(v->x, nullptr);
}

TEST_F(Store, ClearRewindsAndReusesTheScratchMemory) {
  std::vector<double> big(1000, 1.5);
  add("A", 2, big);
  const ScratchFile& scratch = store.data_class(0)->scratch;
  // In memory, under no name that a crash could leave behind.
  EXPECT_TRUE(scratch.is_open());
  EXPECT_TRUE(scratch.path().empty());
  store.clear_for_new_data();
  EXPECT_EQ(store.total_vectors(), 0);
  const DataVector* b = add("B", 2, {7, 8});
  EXPECT_EQ(b->scratch_position, 0);
  EXPECT_EQ(store.values(*b)[1], 8);
  store.set_class_count(-1);
  EXPECT_FALSE(scratch.is_open());
}

TEST_F(Store, ComplexValuesSplit) {
  const DataVector* v = add("V(A)", 3, {1, 2, 3, 4}, 0, nullptr, 1);
  std::vector<double> re, im;
  EXPECT_EQ(store.read_complex(*v, re, im), 2);
  EXPECT_EQ(re, (std::vector<double>{1, 3}));
  EXPECT_EQ(im, (std::vector<double>{2, 4}));
  // A catalogued vector is not loaded by the complex read.
  store.open_data_file("none.sav");
  DataVector* waiting =
      store.add_vector({.name = "V(B)", .kind = ANALYSIS_AC, .quantity = 2, .complex = 1, .points = 2});
  EXPECT_EQ(waiting->scratch_position, -1);
  EXPECT_EQ(store.read_complex(*waiting, re, im), 0);
  // With no reader's loader, it waits on.
  EXPECT_EQ(store.load_all(DATA_CLASS_BINARY), -1);
  EXPECT_TRUE(store.values(*waiting).empty());
  EXPECT_EQ(store.load_all(DATA_CLASS_TEXT), 0);
  EXPECT_EQ(store.load_all(42), 0);
}

TEST(QuantityCode, FirstPrefixWins) {
  EXPECT_EQ(quantity_code(2, ""), 0);
  EXPECT_EQ(quantity_code(2, "v(out)"), 1);
  EXPECT_EQ(quantity_code(2, "D(X)"), 9);
  EXPECT_EQ(quantity_code(1, "D(X)"), 0);
  EXPECT_EQ(quantity_code(3, "VDB(OUT)"), 6);
  EXPECT_EQ(quantity_code(3, "VT(OUT)"), 17);
  EXPECT_EQ(quantity_code(3, "V(OUT)"), 1);
  EXPECT_EQ(quantity_code(3, "IDB(R1)"), 16);
  EXPECT_EQ(quantity_code(3, "IP(R1)"), 5);
  EXPECT_EQ(quantity_code(3, "I(R1)"), 11);
  EXPECT_EQ(quantity_code(3, "ZM(1)"), 22);
  EXPECT_EQ(quantity_code(3, "FG(1)"), 18);
  EXPECT_EQ(quantity_code(4, "INOISE(DB)"), 6);
  EXPECT_EQ(quantity_code(4, "I(INOISE)"), 2);
  EXPECT_EQ(quantity_code(5, "DIM3"), 5);
  EXPECT_EQ(quantity_code(6, "OMEGA"), 0);
  EXPECT_EQ(quantity_code(8, "V(1)"), -1);
  EXPECT_EQ(x_name_kind("Time"), 2);
  EXPECT_EQ(x_name_kind("FREQUENCY"), 3);
  EXPECT_EQ(x_name_kind("VIN"), 1);
  EXPECT_EQ(x_name_kind("X"), 0);
}

TEST(DebugLog, WritesVersionAndOption) {
  const auto dir = std::filesystem::temp_directory_path() / "zephyrim_debug_log_test";
  std::filesystem::create_directories(dir);
  EXPECT_EQ(open_debug_log(dir.string(), 3, "0.1 Linux"), 3);
  std::ifstream f(dir / "TraceryDebug.log");
  std::string all((std::istreambuf_iterator<char>(f)), {});
  EXPECT_EQ(all, "Tracery 0.1 Linux\nDEBUG LOG OPTION=3\n");
  EXPECT_EQ(open_debug_log((dir / "missing").string(), 3, "x"), 0);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace zephyrim
