#include "viewer/data/csdf_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "common/file_io.h"
#include "common/notify.h"
#include "common/progress.h"
#include "common/text_format.h"
#include "viewer/data/data_store.h"

namespace zephyrim {
namespace {

struct Csdf : ::testing::Test {
  RecordingNotify notify{kTraceryTitle};
  NullProgress progress;
  DataStore store{notify, progress};
  std::filesystem::path dir;

  void SetUp() override {
    ASSERT_TRUE(store.start());
    dir = std::filesystem::temp_directory_path() /
          ("zephyrim_csdf_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::create_directories(dir);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }

  int read(std::string_view bytes, bool header = false) {
    const std::string path = (dir / "t.csd").string();
    EXPECT_TRUE(write_file_atomic(path, bytes));
    return csdf_read_file(store, path, header);
  }
  const DataVector* find(const char* name, int run = 0) {
    return store.find_vector(name, 0, -1, -1, -1, run);
  }
  std::vector<double> values(const char* name, int run = 0) {
    const DataVector* v = find(name, run);
    if (!v) return {};
    const auto s = store.values(*v);
    return {s.begin(), s.end()};
  }
  std::vector<std::string> names() {
    std::vector<std::string> out;
    for (const auto& v : store.data_class(DATA_CLASS_BINARY)->vectors) out.push_back(v.name);
    return out;
  }
};

TEST_F(Csdf, ComplexBlockGivesRealXAndComplexNodes) {
  EXPECT_EQ(read("#H\nANALYSIS=AC SWEEPVAR=FREQ NODES=2 COMPLEXVALUES=YES\n"
                 "#N VM(1) VM(2)\n"
                 "#C 1e3 2 1.0/0.5:1 2.0/0.0:2\n"
                 "#;\n"),
            3);
  EXPECT_TRUE(notify.entries().empty()) << notify.last();
  const DataVector* x = find("FREQ");
  const DataVector* a = find("VM(1)");
  ASSERT_TRUE(x && a && find("VM(2)"));
  EXPECT_EQ(x->complex, 0);
  EXPECT_EQ(x->kind, ANALYSIS_AC);
  EXPECT_EQ(a->complex, 1);
  EXPECT_EQ(a->x, x);
  EXPECT_EQ(a->points, 1);
  EXPECT_EQ(a->quantity, 2);
  EXPECT_EQ(values("FREQ"), (std::vector<double>{1e3}));
  EXPECT_EQ(values("VM(1)"), (std::vector<double>{1.0, 0.5}));
  EXPECT_EQ(values("VM(2)"), (std::vector<double>{2.0, 0.0}));
}

// Headers, names and points as other simulators write them: quoted values with
// blanks, names over several lines, each point's values over several lines,
// CR LF line ends.
TEST_F(Csdf, QuotedHeadersAndContinuedLines) {
  store.header.run_info = "old";
  EXPECT_EQ(read("#H\r\n"
                 "SOURCE='HSPICE' VERSION='2001.2' TITLE='* rc ladder, three nodes'\r\n"
                 "TIME='10:41:07' DATE='05/06/2026' TEMPERATURE='27.000'\r\n"
                 "ANALYSIS='Transient Analysis' FORMAT='1 VOLTSorAMPS;EFLOAT : NODEorBRANCH;NODE  '\r\n"
                 "XBEGIN='0.0' XEND='2.0E-09' SWEEPVAR='Time' SWEEPMODE='VAR_STEP'\r\n"
                 "COMPLEXVALUES='NO' NODES='3'\r\n"
                 "#N 'V(1)' 'V(2)'\r\n"
                 "'I(VIN)'\r\n"
                 "#C 0.0000000E+00 3\r\n"
                 " 1.0000000E+00:1 2.0000000E+00:2\r\n"
                 " -3.0000000E-03:3\r\n"
                 "#C 2.0000000E-09 3 1.5:1 +2.5:2 -1e-3:3\r\n"
                 "#;\r\n",
                 true),
            4);
  EXPECT_TRUE(notify.entries().empty()) << notify.last();
  EXPECT_EQ(names(), (std::vector<std::string>{"Time", "V(1)", "V(2)", "I(VIN)"}));
  EXPECT_EQ(find("V(1)")->kind, ANALYSIS_TRAN);
  EXPECT_EQ(find("I(VIN)")->quantity, 2);
  EXPECT_EQ(values("Time"), (std::vector<double>{0, 2e-9}));
  EXPECT_EQ(values("I(VIN)"), (std::vector<double>{-3e-3, -1e-3}));
  EXPECT_EQ(values("V(2)"), (std::vector<double>{2.0, 2.5}));
  EXPECT_EQ(store.header.title, "* rc ladder, three nodes");
  EXPECT_EQ(store.header.command, "HSPICE");
  EXPECT_EQ(store.header.date, "05/06/2026");
  EXPECT_EQ(store.header.time, "10:41:07");
  EXPECT_EQ(store.header.run_info, "old");  // 27 degrees is not worth showing
}

TEST_F(Csdf, NameFieldEndingInSemicolonHidesTheNext) {
  EXPECT_EQ(read("#H SWEEPVAR=TIME NODES=2\n#N A; 1 B;2\n#C 0 2 1 2\n#;\n"), 3);
  EXPECT_EQ(names(), (std::vector<std::string>{"TIME", "A", "B"}));
}

TEST_F(Csdf, TwoBlocksTakeRunNumbersAndHeadersReset) {
  EXPECT_EQ(
      read("#H ANALYSIS=TRANSIENT SWEEPVAR=TIME NODES=1 TEMPERATURE=85\n#N V(1)\n#C 0 1 1\n#C 1 1 2\n#;\n"
           "#H ANALYSIS=TRANSIENT SWEEPVAR=TIME NODES=1 TEMPERATURE=85\n#N V(1)\n#C 0 1 3\n#;\n",
           true),
      4);
  EXPECT_EQ(values("V(1)", 1), (std::vector<double>{1, 2}));
  EXPECT_EQ(values("V(1)", 2), (std::vector<double>{3}));
  EXPECT_EQ(find("V(1)", 2)->x, find("TIME", 2));
  EXPECT_EQ(store.header.run_info, "Temp=85");

  store.clear_for_new_data();
  EXPECT_EQ(read("#H SWEEPVAR=TIME NODES=1 TEMPERATURE=85\n#N A\n#C 0 1 1\n#;\n"
                 "#H SWEEPVAR=TIME NODES=1 TEMPERATURE=100\n#N A\n#C 0 1 1\n#;\n",
                 true),
            4);
  EXPECT_EQ(store.header.run_info, "");
  // The second block's header starts from nothing: no COMPLEXVALUES, kind OTHER.
  EXPECT_EQ(find("A", 2)->kind, ANALYSIS_OTHER);
}

TEST_F(Csdf, ErrorsEndTheReadingButEarlierBlocksStay) {
  const std::string good = "#H SWEEPVAR=TIME NODES=2\n#N A B\n#C 0 2 1 2\n#;\n";
  const struct {
    const char* bytes;
    const char* message;
  } cases[] = {
      {"#H NODES=2\n#N A B\n#C 0 3 1 2 3\n#;\n", "CSDF file number of values and nodes mismatch"},
      {"#H NODES=2\n#N A B\n#C 0 2 1\n#C 1 2 1 2\n#;\n", "CSDF file number of values and nodes mismatch"},
      {"#H NODES=2\n#N A B\n#C 0 2 1 2 3\n#;\n", "CSDF file too many values"},
      {"#H NODES=2\n#N A B C\n", "CSDF file too many node names"},
      {"#H NODES=2\n#N A\nB C\n", "CSDF file too many node names"},
      {"#H NODES=2000000000\n#N A B\n", "CSDF file data block contains no nodes"},
      {"#H NODES=-1\n#N A B\n", "CSDF file data block contains no nodes"},
      {"#H NODES=2\n#N A B\n#C x 2 1 2\n#;\n", "CSDF file invalid real number field"},
      {"#H NODES=2\n#N A B\n#C 0 2 1 ?\n#;\n", "CSDF file invalid real number field"},
      {"#H NODES=1 COMPLEXVALUES=YES\n#N A\n#C 0 1 1/x\n#;\n", "CSDF file invalid complex number field"},
  };
  for (const auto& c : cases) {
    store.clear_for_new_data();
    notify.clear();
    EXPECT_EQ(read(good + c.bytes), 3) << c.bytes;
    EXPECT_EQ(notify.texts(), (std::vector<std::string>{c.message, "Error: reading CSDF file"})) << c.bytes;
    EXPECT_EQ(values("B"), (std::vector<double>{2})) << c.bytes;
  }
}

TEST_F(Csdf, RunCutShortKeepsItsCompletePoints) {
  EXPECT_EQ(read("#H SWEEPVAR=TIME NODES=2\n#N A B\n#C 0 2 1 2\n#C 1 2 3 4\n#C 2 2 5"), 3);
  EXPECT_TRUE(notify.entries().empty()) << notify.last();
  EXPECT_EQ(values("B"), (std::vector<double>{2, 4}));
  // A header after data starts the next block even without "#;".
  store.clear_for_new_data();
  EXPECT_EQ(read("#H SWEEPVAR=X NODES=1\n#N A\n#C 0 1 1\n#H SWEEPVAR=X NODES=2\n#N A B\n#C 0 2 7 8\n#;\n"),
            5);
  EXPECT_EQ(values("A", 2), (std::vector<double>{7}));
}

TEST_F(Csdf, ManyPointsAndMissingFile) {
  std::string bytes = "#H SWEEPVAR=TIME NODES=2 COMPLEXVALUES=YES\n#N A B\n";
  for (int i = 0; i < 300000; ++i) bytes += strprintf("#C %d 2 %d/%d:1 %d/0:2\n", i, i, -i, 2 * i);
  bytes += "#;\n";
  EXPECT_EQ(read(bytes), 3);
  const auto b = values("B");
  ASSERT_EQ(b.size(), 600000u);
  EXPECT_EQ(b[2 * 299999], 2 * 299999);
  EXPECT_EQ(values("A")[2 * 12345 + 1], -12345);

  notify.clear();
  EXPECT_EQ(csdf_read_file(store, (dir / "none.csd").string(), false), 0);
  EXPECT_EQ(notify.last(), "Cannot open CSDF data file:\n" + (dir / "none.csd").string());
}

}  // namespace
}  // namespace zephyrim
