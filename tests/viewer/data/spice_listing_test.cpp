#include "viewer/data/spice_listing.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <istream>
#include <string>
#include <vector>

#include "common/file_io.h"
#include "common/notify.h"
#include "common/progress.h"
#include "common/text_format.h"
#include "viewer/data/data_store.h"
#include "viewer/data/probe_file.h"

namespace zephyrim {
namespace {

// Keeps what the reader hands over; a #SUBTITLE makes the next line wanted, and
// the user parameter table is taken up to its first empty line.
struct RecordingSink : ListingSink {
  int begun = 0;
  std::vector<std::pair<std::string, std::string>> statements;
  std::vector<std::string> watches;
  std::vector<std::string> subtitle_lines;
  std::vector<std::string> parameter_lines;
  bool subtitle_pending = false;

  void begin() override { ++begun; }
  int statement(std::string_view s, std::string_view full) override {
    statements.emplace_back(s, full);
    subtitle_pending = s.starts_with("#SUBTITLE");
    return 1;
  }
  bool subtitle_line(std::string_view line) override {
    if (!subtitle_pending) return false;
    subtitle_pending = false;
    subtitle_lines.emplace_back(line);
    return true;
  }
  void watch(std::string_view line) override { watches.emplace_back(line); }
  int user_parameters(std::istream& in) override {
    std::string line;
    while (std::getline(in, line) && !line.empty()) parameter_lines.push_back(line);
    return static_cast<int>(parameter_lines.size());
  }
};

struct Listing : ::testing::Test {
  RecordingNotify notify{kTraceryTitle};
  NullProgress progress;
  DataStore store{notify, progress};
  RecordingSink sink;
  ListingFacts facts;
  std::filesystem::path dir;

  void SetUp() override {
    ASSERT_TRUE(store.start());
    dir =
        std::filesystem::temp_directory_path() /
        ("zephyrim_listing_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }

  std::string path_of(const char* name) { return (dir / name).string(); }
  std::string write(const char* name, std::string_view bytes) {
    EXPECT_TRUE(write_file_atomic(path_of(name), bytes));
    return path_of(name);
  }
  int read(std::string_view bytes, const char* name = "run.out") {
    const std::string path = write(name, bytes);
    store.open_data_file(path);
    return spice_read_listing(store, path, sink, facts);
  }
  const DataVector* find(const char* name, int cls = DATA_CLASS_TEXT, int run = 0) {
    return store.find_vector(name, cls, -1, -1, -1, run);
  }
  std::vector<double> values(const char* name, int cls = DATA_CLASS_TEXT, int run = 0) {
    const DataVector* v = find(name, cls, run);
    if (!v) return {};
    const auto s = store.values(*v);
    return {s.begin(), s.end()};
  }
};

// The head of a listing of the system's own engines: type line, a line, the
// circuit title, then the deck.
std::string own(std::string_view body) {
  return "1**** 12/09/26 ******** ZEPHYRIM SPICE ENGINE ******** 13:35:49 ****\n"
         "0\n"
         " RC FILTER TEST CIRCUIT\n" +
         std::string(body);
}

TEST_F(Listing, OwnListingFactsAndWhatGoesToTheSink) {
  const std::string text =
      own("0**** CIRCUIT DESCRIPTION\n"                   // 1
          "******************************************\n"  // 2
          "\n"                                            // 3
          "\n"                                            // 4
          "******************************\n"              // 5: only stars
          "*  Second stage, gain 20 dB  \n"               // 6: the subtitle
          "* not this one\n"                              // 7
          "/* a block\n"
          "#AUTOPLOT TRAN V(HIDDEN)\n"
          "   */\n"
          ";#CALC NOT=1\n"
          "  .tran 1u 1m ; the run\n"
          ".TEMP 85\n"
          ".ac lin 10 1 1k\n"
          ".DC V1 5 0 -1 V2 0 1 0.5\n"
          ".WATCH TRAN V(3)\n"
          "  #autoplot  tran v(in) ; out of the statement\n"
          "#SUBTITLE 2 9\n"
          "#Not a statement: the subtitle's line\n"
          "0WARNING: one\n"
          "*WARNING: two\n"
          "**ERROR*: three\n"
          "**** USER GLOBAL PARAMETERS\n"
          " NAME  VALUE\n"
          " RLOAD 1k\n"
          "\n"
          "#CALC AFTER=1\n"
          "          TOTAL JOB TIME            0.05  and the rest of a long line\n");
  EXPECT_EQ(read(text), 1);
  EXPECT_EQ(notify.texts(), std::vector<std::string>{"No data found in this file"});
  EXPECT_EQ(facts.type, ListingType::own);
  EXPECT_EQ(facts.listing_title, "**** 12/09/26 ******** ZEPHYRIM SPICE ENGINE ******** 13:35:49 ****");
  EXPECT_EQ(facts.circuit_title, "RC FILTER TEST CIRCUIT");
  EXPECT_EQ(facts.subtitle, "  Second stage, gain 20 dB");
  EXPECT_EQ(facts.temperature, "Temp=85");
  EXPECT_TRUE(facts.linear_ac);
  EXPECT_EQ(facts.dc_sweep, 2);
  EXPECT_EQ(facts.warnings, 2);
  EXPECT_EQ(facts.errors, 1);
  EXPECT_EQ(facts.job_time, "TOTAL JOB TIME            0.05  and the rest of a secs.");
  EXPECT_EQ(sink.begun, 1);
  ASSERT_EQ(sink.statements.size(), 3u);
  EXPECT_EQ(sink.statements[0].first, "#AUTOPLOT  TRAN V(IN)");
  EXPECT_EQ(sink.statements[0].second, "  #autoplot  tran v(in) ; out of the statement");
  EXPECT_EQ(sink.statements[1].first, "#SUBTITLE 2 9");
  EXPECT_EQ(sink.statements[2].first, "#CALC AFTER=1");
  EXPECT_EQ(sink.subtitle_lines, std::vector<std::string>{"#Not a statement: the subtitle's line"});
  EXPECT_EQ(sink.watches, std::vector<std::string>{".WATCH TRAN V(3)"});
  EXPECT_EQ(sink.parameter_lines, (std::vector<std::string>{" NAME  VALUE", " RLOAD 1k"}));
}

TEST_F(Listing, TemperatureAndSweepsOnlyWhenTheDeckSaysSo) {
  read(own(".TEMP 27\n.DC LIN V1 0 5 0.1 V2 0 1\n.AC DEC 10 1 1k\n"));
  EXPECT_EQ(facts.temperature, "");
  EXPECT_EQ(facts.dc_sweep, 1);
  EXPECT_FALSE(facts.linear_ac);
  read(own(".TEMP 27 85\n.DC V1 0 5 0.1\n"));  // two temperatures; a sweep of 5 fields
  EXPECT_EQ(facts.temperature, "");
  EXPECT_EQ(facts.dc_sweep, 0);
}

// A wide .PRINT printed as two tables of 11 columns, rows of one with CR LF.
std::string wide_tables() {
  std::string text;
  for (int part = 0; part < 2; ++part) {
    text += "\n****     TRANSIENT ANALYSIS                TEMPERATURE =   27.000 DEG C\n\n";
    text += "******************************************************************************\n\n\n";
    text += "  TIME      ";
    for (int k = 1; k <= 10; ++k) text += strprintf("  V(%d)    ", part * 10 + k);
    text += "\n\n";
    for (int i = 0; i < 5; ++i) {
      text += strprintf("  %.3E", i * 1e-3);
      for (int k = 1; k <= 10; ++k) text += strprintf(" %.4E", (part * 10 + k) * 100.0 + i);
      text += part ? "\r\n" : "\n";
    }
    text += "\n";
  }
  return text + "\n          JOB CONCLUDED\n          TOTAL JOB TIME            0.05\n";
}

TEST_F(Listing, WidePrintAsTwoTablesSharesOneTimeVector) {
  EXPECT_EQ(read(own(".PRINT TRAN V(1) ...\n" + wide_tables())), 1);
  EXPECT_TRUE(notify.entries().empty()) << notify.last();
  EXPECT_EQ(store.data_class(DATA_CLASS_TEXT)->count, 21);
  EXPECT_EQ(facts.vectors, 21);
  const DataVector* time = find("TIME");
  ASSERT_TRUE(time);
  EXPECT_EQ(find("TIME", DATA_CLASS_TEXT, 2), nullptr);
  EXPECT_EQ(values("TIME"), (std::vector<double>{0, 1e-3, 2e-3, 3e-3, 4e-3}));
  for (int k = 1; k <= 20; ++k) {
    const std::string name = strprintf("V(%d)", k);
    const DataVector* v = find(name.c_str());
    ASSERT_TRUE(v) << name;
    EXPECT_EQ(v->x, time);
    EXPECT_EQ(v->kind, ANALYSIS_TRAN);
    EXPECT_EQ(v->quantity, 1);
    EXPECT_EQ(values(name.c_str())[4], k * 100.0 + 4) << name;
  }
  EXPECT_EQ(facts.job_time, "TOTAL JOB TIME            0.05 secs.");
}

TEST_F(Listing, TablesOfAnotherRunGetTheirOwnXAfterTheJobEnds) {
  // Same x name and rows, another last value: not shared; after TOTAL JOB TIME
  // not even an equal one is.
  const std::string table = "**** TRANSIENT ANALYSIS TEMPERATURE = 27.0\n TIME V(1)\n 0 1\n %s 2\n\n";
  read(own(strprintf(table.c_str(), "1M") + strprintf(table.c_str(), "2M") + " TOTAL JOB TIME 1\n" +
           strprintf(table.c_str(), "2M")));
  const DataVector* v2 = find("V(1)", DATA_CLASS_TEXT, 2);
  const DataVector* v3 = find("V(1)", DATA_CLASS_TEXT, 3);
  ASSERT_TRUE(v2 && v3);
  EXPECT_EQ(store.data_class(DATA_CLASS_TEXT)->count, 6);
  EXPECT_NE(v2->x, find("V(1)")->x);
  EXPECT_NE(v3->x, v2->x);
}

TEST_F(Listing, DigitalColumnsTakeTheirStateLetters) {
  read(
      own("**** TRANSIENT ANALYSIS TEMPERATURE = 27.0\n"
          "  TIME        D(Q)   V(1)\n"
          "X\n"
          "  0.000E+00   0      1.0\n"
          "  1.000E-03   Z      2.0\n"
          "  2.000E-03   F      3.0\n"
          "  3.000E-03   R      4.0\n"
          "  4.000E-03   1      5.0\n"
          "  5.000E-03   X      6.0\n"));
  const DataVector* q = find("D(Q)");
  ASSERT_TRUE(q);
  EXPECT_EQ(q->quantity, 9);
  EXPECT_EQ(values("D(Q)"), (std::vector<double>{0.01, 6.01, 2.01, 3.01, 5.01, 1.01}));
}

TEST_F(Listing, AcTablesTakeNoiseAndDistortionKindsFromTheirColumns) {
  read(
      own("****     AC ANALYSIS        TEMPERATURE =   27.000 DEG C\n"
          "  FREQ        ONOISE      INOISE\n"
          "  1.000E+01   2.877E-09   5.757E-09\n"
          "  1.000E+02   2.746E-09   5.757E-09\n"
          "\n"
          "****     AC ANALYSIS        TEMPERATURE =   27.000 DEG C\n"
          "  FREQ        HD2\n"
          "  1.000E+01   1.0E-03\n"
          "\n"
          "****     AC ANALYSIS        TEMPERATURE =   27.000 DEG C\n"
          "  FREQ        VM(2)       VP(2)\n"
          "  1.000E+01   0.99        -0.5\n"
          "****     NOISE SPECTRAL DENSITY CURVES   TEMPERATURE =   27.000 DEG C\n"
          "  FREQ        V(ONOISE)\n"
          "  1.000E+01   1e-9\n"));
  const DataVector* onoise = find("ONOISE");
  ASSERT_TRUE(onoise);
  EXPECT_EQ(onoise->kind, ANALYSIS_NOISE);
  EXPECT_EQ(onoise->quantity, 1);
  EXPECT_EQ(values("INOISE"), (std::vector<double>{5.757e-9, 5.757e-9}));
  ASSERT_TRUE(find("HD2"));
  EXPECT_EQ(find("HD2")->kind, ANALYSIS_DISTO);
  ASSERT_TRUE(find("VP(2)"));
  EXPECT_EQ(find("VP(2)")->kind, ANALYSIS_AC);
  EXPECT_EQ(find("VP(2)")->quantity, 5);
  ASSERT_TRUE(find("V(ONOISE)"));
  EXPECT_EQ(find("V(ONOISE)")->kind, ANALYSIS_NOISE);
}

TEST_F(Listing, FourierTableGivesMagnitudePhaseAndThd) {
  read(
      own("****     FOURIER HARMONIC ANALYSIS     TEMPERATURE =   27.000 DEG C\n"
          " FOURIER COMPONENTS OF TRANSIENT RESPONSE V(2)\n"
          " DC COMPONENT =  -1.0E-03\n"
          " HARMONIC   FREQUENCY    FOURIER    NORMALIZED    PHASE     NORMALIZED\n"
          "    NO         (HZ)     COMPONENT    COMPONENT    (DEG)     PHASE (DEG)\n"
          "\n"
          "        1    1.000E+03   8.463E-01   1.000E+00   -32.150       0.000\n"
          "        2    2.000E+03   2.592E-06   3.063E-06    40.320      72.470\n"
          "        3    3.000E+03   1.952E-06   2.306E-06    30.644      62.794\n"
          "\n"
          "     TOTAL HARMONIC DISTORTION THD =   4.969E-04 PERCENT\n"
          " FOURIER COMPONENTS OF TRANSIENT RESPONSE \n"
          " HARMONIC   FREQUENCY    FOURIER    NORMALIZED    PHASE     NORMALIZED\n"
          "    NO\n"
          "        1    1.000E+03   1.0         1.0           5.0          0.0\n"));
  EXPECT_TRUE(notify.entries().empty()) << notify.last();
  const DataVector* m = find("VM(2)");
  const DataVector* p = find("VP(2)");
  ASSERT_TRUE(m && p);
  EXPECT_EQ(m->kind, ANALYSIS_FOUR);
  EXPECT_EQ(m->quantity, 2);
  EXPECT_EQ(p->quantity, 5);
  EXPECT_EQ(m->x->name, "FREQ");
  EXPECT_EQ(m->x->quantity, 0);
  EXPECT_EQ(values("FREQ"), (std::vector<double>{1e3, 2e3, 3e3}));
  EXPECT_EQ(values("VM(2)"), (std::vector<double>{8.463e-1, 2.592e-6, 1.952e-6}));
  EXPECT_EQ(values("VP(2)"), (std::vector<double>{-32.15, 40.32, 30.644}));
  EXPECT_EQ(facts.thd, "THD=4.969E-04%");
  // A heading without a variable.
  EXPECT_EQ(values("VM(FOUR)"), std::vector<double>{1.0});
  EXPECT_EQ(values("VP(FOUR)"), std::vector<double>{5.0});
}

TEST_F(Listing, RowsEndAtTheFirstLineThatIsNotOneAndRunLabelsMarkThem) {
  read(
      own("**RunInfo: Step R1=1k\n"
          "**** TRANSIENT ANALYSIS TEMPERATURE = 27.0\n"
          " TIME V(1)\n"
          " 0 1\n"
          " 1M 2\n"
          " 2M oops\n"
          " 3M 4\n"
          "**RunInfo:\n"
          "**** TRANSIENT ANALYSIS TEMPERATURE = 27.0\n"
          "LEGEND:\n"
          " TIME V(1)\n"
          " 0 7\n"
          "**** DC TRANSFER CHARACTERISTIC\n"
          " V1 V(1)\n"
          " 0 0\n"
          " 1 0.5\n"));
  EXPECT_EQ(values("V(1)"), (std::vector<double>{1, 2}));
  const std::string* label = store.vector_label(*find("V(1)"));
  ASSERT_TRUE(label);
  EXPECT_EQ(*label, "Step R1=1k");
  // The printer plot's section is left; the DC table after it has no label.
  const DataVector* dc = store.find_vector("V(1)", DATA_CLASS_TEXT, ANALYSIS_DC, -1, -1);
  ASSERT_TRUE(dc);
  EXPECT_EQ(dc->kind, ANALYSIS_DC);
  EXPECT_EQ(dc->x->name, "V1");
  EXPECT_EQ(store.vector_label(*dc), nullptr);
  EXPECT_EQ(store.data_class(DATA_CLASS_TEXT)->count, 4);
}

// What zsim writes beside FILE.SAV: a SPICE3 listing that leads to its PROBE file.
constexpr const char* kZsimListing =
    "ZEPHYRIM ZSIM SPICE3 ENGINE (ngspice)\n"
    "Circuit: RC low-pass filter\n"
    "Date: Wed Dec  9 13:38:15 2026\n"
    "\n"
    "#REVISION: Rev: 1\n"
    "#AUTOPLOT  TRAN V(in) V(out)\n"
    "\n"
    "**** Run 1  Temp=27\n"
    "\n"
    "Note: No compatibility mode selected!\n"
    "\n"
    "\n"
    "Circuit: rc low-pass filter\n"
    "\n"
    "Doing analysis at TEMP = 27.000000 and TNOM = 27.000000\n"
    "\n"
    "Warning: v1: no DC value, transient time 0 value used\n"
    "\n"
    "Initial Transient Solution\n"
    "--------------------------\n"
    "\n"
    "Node                                   Voltage\n"
    "----                                   -------\n"
    "in                                           0\n"
    "out                                          0\n"
    "v1#branch                                    0\n"
    "\n"
    "\n"
    "No. of Data Rows : 3\n"
    "binary raw file \"zsim-20816.data\"\n"
    "ngspice-39 done\n"
    "\n"
    "Data written to .PROBE binary file rc_lowpass.SAV: 1 data blocks\n"
    "\n"
    "0 errors, 1 warnings\n"
    "\n"
    "TOTAL JOB TIME         0.07\n";

ProbeBlock zsim_block() {
  ProbeBlock b;
  b.label = "Run 1 Temp=27";
  b.kind = ANALYSIS_TRAN;
  b.x_name = "TIME";
  b.analog_names = {"V(IN)", "V(OUT)"};
  b.x = {0, 1e-3, 2e-3};
  b.analog = {{0, 1, 1}, {0, 0.63, 0.86}};
  return b;
}

TEST_F(Listing, ZsimListingLeadsToItsProbeFileAndHandsOverItsStatements) {
  ASSERT_TRUE(probe_write_file(path_of("rc_lowpass.SAV"), {zsim_block()}));
  EXPECT_EQ(read(kZsimListing, "rc_lowpass.OUT"), 1);
  EXPECT_TRUE(notify.entries().empty()) << notify.last();
  EXPECT_EQ(facts.type, ListingType::spice3);
  EXPECT_EQ(facts.circuit_title, "RC low-pass filter");
  EXPECT_EQ(facts.date, "Wed Dec  9 13:38:15 2026");
  EXPECT_EQ(facts.job_time, "TOTAL JOB TIME         0.07 secs.");
  EXPECT_EQ(facts.warnings, 1);
  EXPECT_EQ(facts.errors, 0);
  EXPECT_EQ(facts.data_file, path_of("rc_lowpass.SAV"));
  ASSERT_EQ(sink.statements.size(), 2u);
  EXPECT_EQ(sink.statements[0].first, "#REVISION: REV: 1");
  EXPECT_EQ(sink.statements[0].second, "#REVISION: Rev: 1");
  EXPECT_EQ(sink.statements[1].first, "#AUTOPLOT  TRAN V(IN) V(OUT)");
  EXPECT_EQ(values("V(OUT)", DATA_CLASS_BINARY), (std::vector<double>{0, 0.63, 0.86}));
  EXPECT_EQ(store.data_class(DATA_CLASS_TEXT)->count, 0);
  ASSERT_TRUE(store.data_file(1));
  EXPECT_EQ(store.data_file(1)->probe_path, path_of("rc_lowpass.SAV"));
}

TEST_F(Listing, ZsimListingWithoutItsProbeFileSaysNoData) {
  EXPECT_EQ(read(kZsimListing, "rc_lowpass.OUT"), 1);
  EXPECT_EQ(notify.texts(), std::vector<std::string>{"No data found in this file"});
  EXPECT_EQ(facts.data_file, "");
  EXPECT_EQ(sink.statements.size(), 2u);
}

constexpr const char* kRaw =
    "Title: rc\n"
    "Date: today\n"
    "Plotname: Transient Analysis\n"
    "Flags: real\n"
    "No. Variables: 2\n"
    "No. Points: 3\n"
    "Variables:\n"
    "\t0\ttime\ttime\n"
    "\t1\tv(1)\tvoltage\n"
    "Values:\n"
    " 0\t0\n\t5\n"
    " 1\t1e-3\n\t6\n"
    " 2\t2e-3\n\t7\n";

TEST_F(Listing, Spice3ListingWithRawFileAndPrintLinesReadsBoth) {
  write("job.raw", kRaw);
  EXPECT_EQ(read("** SPICE3 f5 listing\r\n"
                 "Circuit: rc\r\n"
                 "Binary raw file written to job.raw\r\n"
                 ".PRINT TRAN V(1)\r\n"
                 "*ERROR*: one\r\n"
                 "Fatal error: two\r\n"
                 "**** TRANSIENT ANALYSIS TEMPERATURE = 27.0\r\n"
                 " TIME V(1)\r\n"
                 " 0 5\r\n"
                 " 2M 7\r\n"
                 "\r\n",
                 "job.out"),
            1);
  EXPECT_TRUE(notify.entries().empty()) << notify.last();
  EXPECT_EQ(facts.errors, 2);
  EXPECT_EQ(facts.data_file, path_of("job.raw"));
  EXPECT_EQ(values("v(1)", DATA_CLASS_BINARY), (std::vector<double>{5, 6, 7}));
  EXPECT_EQ(values("V(1)", DATA_CLASS_TEXT), (std::vector<double>{5, 7}));
  EXPECT_EQ(facts.vectors, 4);
}

// ngspice's layout: a title, the analysis, dashes, "Index", dashes, rows; a new
// page repeats the header after a form feed.
std::string spice3_table(const char* analysis, const char* header, const std::vector<std::string>& rows,
                         size_t page = 1000) {
  std::string text = std::string("                rc\n                ") + analysis +
                     "  Wed Dec  9 13:36:01  2026\n" + std::string(80, '-') + "\n" + header + "\n" +
                     std::string(80, '-') + "\n";
  for (size_t i = 0; i < rows.size(); ++i) {
    if (i > 0 && i % page == 0) text += "\f\n" + std::string(header) + "\n" + std::string(80, '-') + "\n";
    text += strprintf("%d\t", static_cast<int>(i)) + rows[i] + "\n";
  }
  return text + "\n";
}

TEST_F(Listing, Spice3TablesOverPagesAndComplexAcValues) {
  std::vector<std::string> tran, tran2, ac, noise;
  for (int i = 0; i < 7; ++i) {
    tran.push_back(strprintf("%e\t%e\t%e\t", i * 1e-4, i * 1.0, -i * 1.0));
    tran2.push_back(strprintf("%e\t%e\t", i * 1e-4, i * 0.5));
  }
  for (int i = 0; i < 3; ++i) {
    ac.push_back(strprintf("%e\t%e,\t%e\t", 10.0 * (i + 1), 1.0 - i * 0.1, -0.1 * i));
    noise.push_back(strprintf("%e\t%e\t", 10.0 * (i + 1), 1e-9 * (i + 1)));
  }
  const std::string text =
      "******\n** ngspice-39 : Circuit level simulation program\n******\n\n"
      "Circuit: rc\n\nNo. of Data Rows : 7\n" +
      spice3_table("Transient Analysis", "Index   time            v(1)            v(2)", tran, 3) +
      spice3_table("Transient Analysis", "Index   time            v(3)", tran2) +
      spice3_table("AC Analysis", "Index   frequency       v(2)", ac) +
      spice3_table("Noise Spectral Density Curves", "Index   frequency       onoise_spectrum", noise) +
      spice3_table("DC transfer characteristic", "Index   v-sweep         v(2)", {"0.0\t1.0", "1.0\t2.0"});
  EXPECT_EQ(read(text), 1);
  EXPECT_TRUE(notify.entries().empty()) << notify.last();
  EXPECT_EQ(facts.type, ListingType::spice3);
  // Pages of one table make one vector; the second table shares its time.
  const DataVector* v1 = find("v(1)");
  ASSERT_TRUE(v1);
  EXPECT_EQ(v1->points, 7);
  EXPECT_EQ(values("v(2)", DATA_CLASS_TEXT)[6], -6);
  EXPECT_EQ(find("v(3)")->x, v1->x);
  EXPECT_EQ(values("time")[6], 6e-4);
  const DataVector* acv = store.find_vector("v(2)", DATA_CLASS_TEXT, ANALYSIS_AC, -1, -1);
  ASSERT_TRUE(acv);
  EXPECT_EQ(acv->complex, 1);
  EXPECT_EQ(acv->kind, ANALYSIS_AC);
  const auto pairs = store.values(*acv);
  EXPECT_EQ(std::vector<double>(pairs.begin(), pairs.end()),
            (std::vector<double>{1, 0, 0.9, -0.1, 0.8, -0.2}));
  ASSERT_TRUE(find("onoise_spectrum"));
  EXPECT_EQ(find("onoise_spectrum")->kind, ANALYSIS_NOISE);
  const DataVector* dc = store.find_vector("v(2)", DATA_CLASS_TEXT, ANALYSIS_DC, -1, -1);
  ASSERT_TRUE(dc);
  EXPECT_EQ(dc->kind, ANALYSIS_DC);
  EXPECT_EQ(dc->x->name, "v-sweep");
  EXPECT_EQ(find("Index"), nullptr);
}

TEST_F(Listing, Spice3EntryAndAnUnmarkedSpice3Listing) {
  const std::string path =
      write("plain.out", "Circuit: plain\n" +
                             spice3_table("Transient Analysis", "Index   time  v(1)", {"0\t1", "1e-3\t2"}));
  store.open_data_file(path);
  EXPECT_EQ(spice3_read_listing(store, path, sink, facts), 1);
  EXPECT_TRUE(notify.entries().empty()) << notify.last();
  EXPECT_EQ(facts.circuit_title, "plain");
  EXPECT_EQ(values("v(1)"), (std::vector<double>{1, 2}));

  // Marking nothing, a listing is read as the own one: its tables, then FILE.SAV.
  store.clear_for_new_data();
  ASSERT_TRUE(probe_write_file(path_of("unmarked.SAV"), {zsim_block()}));
  EXPECT_EQ(
      read("XSPICE listing\n**** TRANSIENT ANALYSIS TEMPERATURE = 27.0\n TIME V(9)\n 0 1\n", "unmarked.OUT"),
      1);
  EXPECT_TRUE(notify.entries().empty()) << notify.last();
  EXPECT_EQ(values("V(9)"), std::vector<double>{1});
  EXPECT_EQ(values("V(IN)", DATA_CLASS_BINARY), (std::vector<double>{0, 1, 1}));
}

TEST_F(Listing, FailuresSayWhatWentWrong) {
  EXPECT_EQ(spice_read_listing(store, path_of("missing.out"), sink, facts), 0);
  EXPECT_EQ(notify.last(), "Cannot open file " + path_of("missing.out"));
  notify.clear();
  EXPECT_EQ(read("no type line here\r\n.TRAN 1 2\r\n"), 0);
  EXPECT_EQ(notify.texts(), std::vector<std::string>{"Unknown SPICE output file type"});
  EXPECT_EQ(sink.begun, 0);
  notify.clear();
  EXPECT_EQ(read("****** HSPICE -- listing\n**** TRANSIENT ANALYSIS TEMPERATURE = 27\n TIME V(1)\n 0 1\n"),
            1);
  EXPECT_EQ(facts.type, ListingType::hspice);
  EXPECT_EQ(notify.texts(), std::vector<std::string>{"No data found in this file"});
}

TEST_F(Listing, HugeLinesAreCutNotHeld) {
  // A 10 MB line that begins like a statement reaches the sink cut to 255 characters.
  std::string text = own("");
  text += "#AUTOPLOT TRAN " + std::string(10 << 20, 'V') + "\n";
  text += "**** TRANSIENT ANALYSIS TEMPERATURE = 27.0\n TIME V(1)\n 0 1\n 1M 2\n";
  EXPECT_EQ(read(text), 1);
  ASSERT_EQ(sink.statements.size(), 1u);
  EXPECT_EQ(sink.statements[0].first.size(), kListingLineChars);
  EXPECT_EQ(values("V(1)"), (std::vector<double>{1, 2}));
}

}  // namespace
}  // namespace zephyrim
