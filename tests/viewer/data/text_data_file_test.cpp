#include "viewer/data/text_data_file.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <filesystem>
#include <random>

#include "common/eng_number.h"
#include "common/file_io.h"
#include "common/notify.h"
#include "common/progress.h"
#include "common/text_format.h"
#include "viewer/data/data_store.h"

namespace zephyrim {
namespace {

struct TextData : ::testing::Test {
  RecordingNotify notify{kTraceryTitle};
  NullProgress progress;
  DataStore store{notify, progress};
  std::filesystem::path dir;

  void SetUp() override {
    ASSERT_TRUE(store.start());
    dir = std::filesystem::temp_directory_path() /
          ("zephyrim_text_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::create_directories(dir);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }

  std::string path_of(const char* name) { return (dir / name).string(); }
  int read(std::string_view bytes, bool header = false) {
    EXPECT_TRUE(write_file_atomic(path_of("t.txt"), bytes));
    return text_read_file(store, path_of("t.txt"), header);
  }
  const DataVector* find(const char* name, int run = 0) {
    return store.find_vector(name, DATA_CLASS_TEXT, -1, -1, -1, run);
  }
  std::vector<double> values(const char* name, int run = 0) {
    const DataVector* v = find(name, run);
    if (!v) return {};
    const auto s = store.values(*v);
    return {s.begin(), s.end()};
  }
  std::string file(const char* name) { return read_text_file(path_of(name)).value_or("<none>"); }
};

TEST_F(TextData, TitleAndOneTransientTable) {
  std::string bytes = "RC step\r\nmeasured 5 May\r\n\r\nTIME V(1) V(2)\r\n";
  for (int i = 0; i < 100; ++i) bytes += strprintf("%gu\t%d,%d\r\n", i * 10.0, i, -i);
  EXPECT_EQ(read(bytes, true), 3);
  EXPECT_TRUE(notify.entries().empty()) << notify.last();
  const DataVector* time = find("TIME");
  const DataVector* v2 = find("V(2)");
  ASSERT_TRUE(time && v2);
  EXPECT_EQ(v2->kind, ANALYSIS_TRAN);
  EXPECT_EQ(v2->quantity, 1);
  EXPECT_EQ(v2->x, time);
  EXPECT_EQ(v2->points, 100);
  EXPECT_EQ(values("V(2)")[99], -99);
  EXPECT_NEAR(values("TIME")[99], 990e-6, 1e-18);
  EXPECT_EQ(store.header.title, "RC step");
  EXPECT_EQ(store.header.date, "measured 5 May");
  EXPECT_EQ(store.header.time, "");
}

TEST_F(TextData, FailingRowEndsTheBlockAndTheNextLineStartsAnother) {
  EXPECT_EQ(read("\nFREQ VDB(OUT)\n1k -3\n2k -6\n3k\nVIN I(R1)\n0 1m\n1 2m\nbad row\n5 5\n"), 4);
  EXPECT_EQ(values("VDB(OUT)"), (std::vector<double>{-3, -6}));
  EXPECT_EQ(find("VDB(OUT)")->kind, ANALYSIS_AC);
  EXPECT_EQ(find("VDB(OUT)")->quantity, 6);
  EXPECT_EQ(values("I(R1)"), (std::vector<double>{1e-3, 2e-3}));
  EXPECT_EQ(find("I(R1)")->kind, ANALYSIS_DC);
  // "5 5" after the bad row is the header of an empty block.
  EXPECT_EQ(find("5"), nullptr);
}

TEST_F(TextData, DigitalColumnsTakeLevelsFromTheFirstCharacter) {
  EXPECT_EQ(read("\nTIME D(X) V(A)\n0 0 1\n1 1 2\n2 Z 3\n3 F 4\n4 R 5\n5 ? 6\n"), 3);
  EXPECT_EQ(values("D(X)"), (std::vector<double>{0.01, 5.01, 6.01, 2.01, 3.01, 1.01}));
}

// Plain decimal numbers take a quicker way than the engineering parser; every
// number must still come out to the bit as that parser reads it.
TEST_F(TextData, NumbersReadToTheBitAsTheEngineeringParserReadsThem) {
  std::vector<std::string> texts = {"0",
                                    "-0",
                                    "007",
                                    ".5",
                                    "-.5",
                                    "5.",
                                    "+5",
                                    "1e5",
                                    "1E+05",
                                    "1E-5",
                                    "1e",
                                    "1E+",
                                    "1.2.3",
                                    "1-2",
                                    "1.5K",
                                    "2.2u",
                                    "10MEG",
                                    "3MIL",
                                    "50%",
                                    "1.5k",
                                    "4meg",
                                    "1.2345678x",
                                    "12345678.12345678",
                                    "1E22",
                                    "1E23",
                                    "1E-22",
                                    "1E-23",
                                    "-9.999999999E+22",
                                    "0.1E-21",
                                    "1e308",
                                    "1e309",
                                    "-1e999",
                                    "1e-320",
                                    "1e-400",
                                    "4.9406564584124654E-324",
                                    "1.7976931348623157E308",
                                    "2.2250738585072014E-308",
                                    "9007199254740992",
                                    "9007199254740993",
                                    "1234567890123456789",
                                    "12345678901234567890",
                                    "123456789012345678901234567890",
                                    "0.000000000000000000001234",
                                    "1E0001",
                                    "1E12345",
                                    "1." + std::string(70, '3'),
                                    "0.30000000000000004"};
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> mantissa(-10, 10);
  std::uniform_int_distribution<int> exponent(-40, 40);
  for (int i = 0; i < 3000; ++i) {
    const double v = mantissa(rng) * std::pow(10.0, exponent(rng));
    texts.push_back(strprintf("%.9E", v));
    texts.push_back(strprintf("%.15G", v));
    texts.push_back(strprintf("%.17G", v));
    texts.push_back(strprintf("%.6f", v));
  }
  std::string bytes = "\nX V\n";
  for (size_t i = 0; i < texts.size(); ++i) bytes += strprintf("%zu %s\n", i, texts[i].c_str());
  ASSERT_EQ(read(bytes), 2);
  const auto v = values("V");
  ASSERT_EQ(v.size(), texts.size());
  for (size_t i = 0; i < texts.size(); ++i) {
    std::string text = texts[i];
    double expected = 0;
    ASSERT_GE(parse_eng(text, expected), 0) << texts[i];
    EXPECT_EQ(std::bit_cast<uint64_t>(v[i]), std::bit_cast<uint64_t>(expected))
        << texts[i] << ": " << v[i] << " against " << expected;
  }
}

// Lines are read a buffer at a time: rows across its ends, CR LF split
// between two reads, a last row without its LF, and lines longer than the
// buffer (cut there, the rest passed over, not taken for a line of its own).
TEST_F(TextData, LinesAcrossBuffersAndLongerThanThem) {
  std::string bytes = std::string(3000000, 'T') + "\r\n\r\nTIME V(1)\r\n";
  constexpr int kRows = 200000;
  for (int i = 0; i < kRows; ++i) bytes += strprintf("%d\t-%d.5\r\n", i, i);
  bytes += "\nFREQ V(2)\n1 10\n2 20" + std::string(1500000, ' ') + " 99 99\n3 30";
  ASSERT_EQ(read(bytes, true), 4);
  EXPECT_EQ(store.header.title, std::string(126, 'T'));
  const auto t = values("TIME"), v = values("V(1)");
  ASSERT_EQ(t.size(), static_cast<size_t>(kRows));
  ASSERT_EQ(v.size(), static_cast<size_t>(kRows));
  int wrong = 0;
  for (int i = 0; i < kRows; ++i) wrong += t[i] != i || v[i] != -i - 0.5;
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(values("V(2)"), (std::vector<double>{10, 20, 30}));
}

TEST_F(TextData, NoDataMessages) {
  EXPECT_EQ(read("title only\nTIME V\n0 1\n"), 0);
  EXPECT_EQ(notify.texts(), (std::vector<std::string>{"No data found in text file:\n" + path_of("t.txt")}));
  notify.clear();
  EXPECT_EQ(text_read_file(store, path_of("none.txt"), false), 0);
  EXPECT_EQ(notify.texts(), (std::vector<std::string>{"Cannot open text data file " + path_of("none.txt")}));
}

TEST_F(TextData, WritesEachFormToTheByte) {
  const std::vector<double> x{0.5, 2500}, y{1.25, -3};
  const TextTrace traces[] = {{"TIME", "V(OUT)", x, y},
                              {"TIME", "A_VERY_LONG_TRACE_NAME_OF_30CH", {x.data(), 1}, {y.data(), 1}}};
  const TextHeaderTexts headers{"Amp", {"line 2", "", "never"}};
  ASSERT_EQ(text_write_file(notify, path_of("h.txt"), TEXT_WITH_HEADERS, false, headers, traces), 2);
  EXPECT_EQ(file("h.txt"),
            "Amp\nline 2\n\n"
            "\nTIME                  V(OUT)              \n"
            "0.5                   1.25                \n"
            "2.500000000000E+03    -3                  \n"
            "\nTIME                  A_VERY_LONG_TRACE_NAME_OF_30CH\n"
            "0.5                   1.25                          \n"
            "\n");
  ASSERT_EQ(text_write_file(notify, path_of("d.txt"), TEXT_DATA_ONLY, false, headers, {traces, 1}), 1);
  EXPECT_EQ(file("d.txt"),
            "\n0.5                   1.25                \n"
            "2.500000000000E+03    -3                  \n\n");
  ASSERT_EQ(text_write_file(notify, path_of("s.inc"), TEXT_SPICE_INCLUDE, false, headers, {traces, 1}), 1);
  EXPECT_EQ(file("s.inc"),
            "* Amp\n* TIME                  V(OUT)              \n"
            "+ 0.5                   1.25                \n"
            "+ 2.500000000000E+03    -3                  \n\n\n");
  // Appending adds to what is there; overwriting replaces it.
  const std::string before = file("d.txt");
  ASSERT_EQ(text_write_file(notify, path_of("d.txt"), TEXT_DATA_ONLY, true, headers, {traces + 1, 1}), 1);
  EXPECT_EQ(file("d.txt"), before + "\n0.5                   1.25                          \n\n");
  ASSERT_EQ(text_write_file(notify, path_of("s.inc"), TEXT_DATA_ONLY, false, headers, {traces, 1}), 1);
  EXPECT_EQ(file("s.inc"), before);
  EXPECT_TRUE(notify.entries().empty()) << notify.last();
}

TEST_F(TextData, NothingToWriteAndUnwritablePath) {
  const std::vector<double> v{1};
  const TextTrace trace{"X", "Y", v, v};
  EXPECT_EQ(text_write_file(notify, path_of("n.txt"), TEXT_DATA_ONLY, false, {}, {}), 0);
  EXPECT_EQ(text_write_file(notify, "", TEXT_DATA_ONLY, false, {}, {&trace, 1}), 0);
  EXPECT_FALSE(file_exists(path_of("n.txt")));
  EXPECT_TRUE(notify.entries().empty());
  const std::string bad = path_of("no/such/folder.txt");
  EXPECT_EQ(text_write_file(notify, bad, TEXT_DATA_ONLY, false, {}, {&trace, 1}), 0);
  EXPECT_EQ(text_write_file(notify, bad, TEXT_DATA_ONLY, true, {}, {&trace, 1}), 0);
  EXPECT_EQ(notify.texts(), (std::vector<std::string>(2, "Cannot open save as file " + bad)));
}

TEST_F(TextData, WrittenTracesReadBack) {
  std::vector<double> t, a, b;
  for (int i = 0; i < 500; ++i) {
    t.push_back(i * 1e-5);
    a.push_back(std::sin(i * 0.1) * 1e4);
    b.push_back(std::exp(-i * 0.05));
  }
  const TextTrace traces[] = {{"TIME", "V(A)", t, a}, {"TIME", "I(B)", t, b}};
  const TextHeaderTexts headers{"round trip", {"2026-05-06", "10:41", "sine and decay"}};
  ASSERT_EQ(text_write_file(notify, path_of("r.txt"), TEXT_WITH_HEADERS, false, headers, traces), 2);
  ASSERT_EQ(text_read_file(store, path_of("r.txt"), true), 4);
  EXPECT_EQ(store.header.title, "round trip");
  EXPECT_EQ(store.header.command, "sine and decay");
  const auto ra = values("V(A)"), rb = values("I(B)"), rt = values("TIME", 2);
  ASSERT_EQ(ra.size(), 500u);
  ASSERT_EQ(rb.size(), 500u);
  ASSERT_EQ(rt.size(), 500u);
  for (size_t i = 0; i < 500; ++i) {
    EXPECT_NEAR(ra[i], a[i], 1e-11 * std::fabs(a[i]) + 1e-300) << i;
    EXPECT_NEAR(rb[i], b[i], 1e-11 * b[i]) << i;
    EXPECT_NEAR(rt[i], t[i], 1e-11 * t[i]) << i;
  }
}

}  // namespace
}  // namespace zephyrim
