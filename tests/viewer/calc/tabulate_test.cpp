// #TABULATE: which listing lines give a value, the vectors over RUN# or an X
// variable, and listings that are huge or have overlong lines. #WRITEDATA: the
// statement's words, the vectors it selects, the file it writes and reads back,
// NEW against appending, DATAONLY, and every message of a job.
#include "viewer/calc/tabulate.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/notify.h"
#include "common/progress.h"
#include "common/text_format.h"
#include "viewer/calc/script.h"
#include "viewer/data/data_store.h"
#include "viewer/data/text_data_file.h"

namespace zephyrim {
namespace {

namespace fs = std::filesystem;

// Values written as text and read back: equal to 12 significant digits.
void expect_near(const std::vector<double>& got, const std::vector<double>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t k = 0; k < got.size(); ++k) EXPECT_NEAR(got[k], want[k], std::abs(want[k]) * 1e-11) << k;
}

class RecordingProgress : public Progress {
 public:
  void show(const std::string& text) override { shown.push_back(text); }
  std::vector<std::string> shown;
};

struct TabulateFixture : ::testing::Test {
  RecordingNotify notify{kTraceryTitle};
  RecordingProgress progress;
  DataStore store{notify, progress};
  fs::path dir;

  void SetUp() override {
    store.start();
    dir = fs::temp_directory_path() / ("zephyrim_tabulate_" + std::to_string(getpid()) + "_" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }

  std::string write(const std::string& name, const std::string& text) {
    const std::string path = (dir / name).string();
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  static std::string read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::vector<double> values(const DataVector* v) {
    if (!v) return {};
    const auto s = store.values(*v);
    return {s.begin(), s.end()};
  }
  int count_named(const std::string& name) {
    int n = 0;
    for (const DataVector& v : store.data_class(DATA_CLASS_TEXT)->vectors) n += v.name == name ? 1 : 0;
    return n;
  }
};

// Three runs of an engine's listing, each printing its measurements once.
constexpr const char* kThreeRuns =
    "**** Run 1 Temp=27\n"
    ".MEAS TRAN VMAX MAX V(OUT)\n"
    "vmax                =  1.5 at=  1.5e-02\n"
    "td = 1e-3\n"
    "**** Run 2 Temp=50\n"
    "**RunInfo: VMAX = 99\n"
    "vmax                =  2.5 at=  1.5e-02\n"
    "td = 2e-3\n"
    "**** Run 3 Temp=100\n"
    "#TABULATE VMAX = 98\n"
    "vmax                =  3.5 at=  1.5e-02\n"
    "td = 3e-3\n";

TEST(TabulateValues, ALineGivesItsValueByTheRules) {
  EXPECT_EQ(tabulate_values(kThreeRuns, "VMAX"), (std::vector<double>{1.5, 2.5, 3.5}));
  struct Case {
    const char* line;
    std::vector<double> want;
  };
  const Case cases[] = {
      {"VMAX 1.5 2.0\n", {}},          // no equals sign and more after the value
      {"VMAX 1.5\n", {1.5}},           // nothing after the value
      {"VMAX 1.5V\r\n", {1.5}},        // the number at the start of the token, the line end gone
      {"VMAX 1.5 at= 2\n", {1.5}},     // an equals sign anywhere
      {"\t  vmax,=-2E-3\n", {-2e-3}},  // blanks first, any case, any delimiters
      {"   .param VMAX=1\n", {}},      // a deck line after its blanks
      {"   # VMAX=1\n", {}},
      {"X **RunInfo: VMAX=1\n", {}},
      {"VMAX VMAX = 3\n", {}},  // only the first mention counts
      {"VMAX = 4 VMAX = 5\n", {4}},
      {"A = 1, VMAX = +6\n", {6}},
      {"VMAXX = 1\nXVMAX = 1\nVMAX =\nVMAX = abc\nVMAX = --1\n", {}},
      {"VMAX = inf\n", {INFINITY}},  // what the C format reads, it takes
  };
  for (const Case& c : cases) EXPECT_EQ(tabulate_values(c.line, "VMAX"), c.want) << c.line;
  EXPECT_TRUE(tabulate_values(kThreeRuns, "").empty());
}

TEST(TabulateValues, AValueCountBoundKeepsTheFirstValues) {
  std::string listing;
  for (int k = 0; k < 10; ++k) listing += "V = " + std::to_string(k) + "\n";
  bool cut = false;
  EXPECT_EQ(tabulate_values(listing, "V", 3, &cut), (std::vector<double>{0, 1, 2}));
  EXPECT_TRUE(cut);
  EXPECT_EQ(tabulate_values(listing, "V", 10, &cut).size(), 10u);
  EXPECT_FALSE(cut);
}

TEST(TabulateValues, OverlongLinesAreReadInPiecesOf255) {
  // The value beyond the 255th character is a piece of its own and counts;
  // a line of exactly 255 characters leaves its line feed as an empty piece.
  const std::string listing = std::string(255, 'a') + " VMAX = 1\n" + std::string(250, 'b') + " VMAX = 2\n" +
                              "VMAX = 3" + std::string(247, ' ') + "\n";
  EXPECT_EQ(tabulate_values(listing, "VMAX"), (std::vector<double>{1, 3}));
  // "**RunInfo: " cut across two pieces no longer marks the second.
  const std::string split = std::string(250, 'c') + "**RunInfo: VMAX = 4\n";
  EXPECT_EQ(tabulate_values(split, "VMAX"), (std::vector<double>{4}));
}

TEST(TabulateParse, XSetsTheXVariableOfTheNamesAfterIt) {
  std::vector<TabulateRequest> list;
  EXPECT_EQ(tabulate_parse(list, "#TABULATE VMAX  X=TD A\tB X= C " + std::string(70, 'L')), 5);
  const std::string long_name(kTabulateNameMax, 'L');
  EXPECT_EQ(list, (std::vector<TabulateRequest>{
                      {"VMAX", ""}, {"A", "TD"}, {"B", "TD"}, {"C", ""}, {long_name, ""}}));
  EXPECT_EQ(tabulate_parse(list, "#TABULATE"), 0);
}

TEST_F(TabulateFixture, ThreeRunsGiveAVectorOverRunNumbers) {
  const TabulateOutcome o = tabulate_name(store, kThreeRuns, {"VMAX", ""});
  ASSERT_EQ(o.points, 3);
  ASSERT_TRUE(o.vector);
  EXPECT_EQ(o.vector->data_class, DATA_CLASS_TEXT);
  EXPECT_EQ(o.vector->kind, ANALYSIS_OTHER);
  EXPECT_EQ(values(o.vector), (std::vector<double>{1.5, 2.5, 3.5}));
  ASSERT_TRUE(o.vector->x);
  EXPECT_EQ(o.vector->x->name, "RUN#");
  EXPECT_EQ(o.vector->x->data_class, DATA_CLASS_TEXT);
  EXPECT_EQ(values(o.vector->x), (std::vector<double>{0, 1, 2}));
  // Nothing found: nothing stored, not even RUN#.
  const int before = store.total_vectors();
  EXPECT_EQ(tabulate_name(store, kThreeRuns, {"NONE", ""}).points, 0);
  EXPECT_EQ(store.total_vectors(), before);
}

TEST_F(TabulateFixture, AnXVariableIsTabulatedOnceForTheNamesThatShareIt) {
  const std::string listing = std::string(kThreeRuns) + "vmin = 0.5\nvmin = 0.25\nvmin = 0.125\n";
  TabulateXMemory memory;
  const TabulateOutcome a = tabulate_name(store, listing, {"VMAX", "TD"}, &memory);
  const TabulateOutcome b = tabulate_name(store, listing, {"VMIN", "TD"}, &memory);
  ASSERT_TRUE(a.vector && b.vector);
  EXPECT_EQ(a.x_name, "TD");
  EXPECT_EQ(a.vector->x, b.vector->x);  // the same X vector again
  EXPECT_EQ(values(a.vector->x), (std::vector<double>{1e-3, 2e-3, 3e-3}));
  EXPECT_EQ(a.vector->x->x->name, "RUN#");
  EXPECT_EQ(count_named("TD"), 1);
  EXPECT_EQ(count_named("RUN#"), 1);
  // An X variable the listing lacks: RUN# stands in, and the caller hears of it.
  const TabulateOutcome c = tabulate_name(store, listing, {"VMAX", "NOPE"}, &memory);
  EXPECT_TRUE(c.x_missing);
  EXPECT_EQ(c.x_name, "RUN#");
  EXPECT_EQ(c.points, 3);
}

TEST_F(TabulateFixture, RunListReadsTheListingFileAndTellsWhatItMissed) {
  const std::string path = write("run.OUT", kThreeRuns);
  std::vector<TabulateRequest> list;
  tabulate_parse(list, "#TABULATE VMAX NONE X=GONE TD");
  std::vector<TabulateOutcome> outcomes;
  EXPECT_EQ(tabulate_run_list(store, path, list, notify, &outcomes), 2);
  EXPECT_TRUE(list.empty());
  ASSERT_EQ(outcomes.size(), 3u);
  EXPECT_EQ(outcomes[0].points, 3);
  EXPECT_EQ(outcomes[1].points, 0);
  EXPECT_EQ(outcomes[2].x_name, "RUN#");
  EXPECT_EQ(notify.texts(), (std::vector<std::string>{"Variable NONE not found", "Variable GONE not found"}));
  EXPECT_EQ(progress.shown, (std::vector<std::string>{"Tabulating variables ..."}));

  notify.clear();
  list = {{"VMAX", ""}};
  const std::string missing = (dir / "missing.OUT").string();
  EXPECT_EQ(tabulate_run_list(store, missing, list, notify, &outcomes), 0);
  EXPECT_EQ(notify.texts(), (std::vector<std::string>{"Cannot open file " + missing}));
  EXPECT_TRUE(list.empty());
  // A folder is no listing either.
  list = {{"VMAX", ""}};
  EXPECT_EQ(tabulate_run_list(store, dir.string(), list, notify), 0);
}

TEST_F(TabulateFixture, AHugeListingWithoutLineEndsIsReadInBoundedPieces) {
  // 8 MB: one line without a line feed, then values each past a long run of text.
  std::string listing(size_t{4} << 20, 'x');
  for (int k = 0; k < 4096; ++k) listing += std::string(1000, ' ') + "\nWIDE = " + std::to_string(k) + "\n";
  const std::string path = write("huge.OUT", listing);
  std::vector<TabulateRequest> list{{"WIDE", ""}};
  std::vector<TabulateOutcome> outcomes;
  EXPECT_EQ(tabulate_run_list(store, path, list, notify, &outcomes), 1);
  ASSERT_EQ(outcomes.size(), 1u);
  EXPECT_EQ(outcomes[0].points, 4096);
  EXPECT_EQ(values(outcomes[0].vector).back(), 4095);
  EXPECT_TRUE(notify.entries().empty()) << notify.last();
}

TEST_F(TabulateFixture, TheListingOfTheCurrentData) {
  EXPECT_EQ(tabulate_listing_path(""), "");
  const std::string listing = (dir / "amp.OUT").string();
  EXPECT_EQ(tabulate_listing_path(listing), listing);
  // A binary file's listing is the one beside it, of either case.
  EXPECT_EQ(tabulate_listing_path((dir / "amp.SAV").string()), listing);
  write("amp.out", "");
  EXPECT_EQ(tabulate_listing_path((dir / "amp.SAV").string()), (dir / "amp.out").string());
  write("amp.OUT", "");
  EXPECT_EQ(tabulate_listing_path((dir / "amp.raw").string()), listing);
}

// ---- #WRITEDATA ---------------------------------------------------------------

TEST(WriteDataParse, WordsAndEntriesInAnyOrder) {
  RecordingNotify notify(kTraceryTitle);
  WriteDataStatement w = write_data_parse(
      "#writedata new tran v(1),{v(1)*2}\tdataonly X={time*1e3} File=\"My Out.txt\" TWICE={V(1)*2}", notify);
  ASSERT_TRUE(w.analysis);
  EXPECT_EQ(*w.analysis, ANALYSIS_TRAN);
  EXPECT_TRUE(w.new_file && w.data_only);
  EXPECT_EQ(w.x, (XVariable{"TIME*1E3", true}));
  EXPECT_EQ(w.file, "My Out.txt");  // its case and blanks kept
  EXPECT_EQ(w.entries, (std::vector<WriteDataEntry>{
                           {"V(1)", std::nullopt, -1}, {"", "V(1)*2", -1}, {"TWICE", "V(1)*2", -1}}));
  // The analysis in token 2; a later analysis word is a variable.
  w = write_data_parse("#WRITEDATA NEW AC DB[{V(OUT)}] G=P[{V(OUT)/V(IN)}] DC X=FREQ", notify);
  EXPECT_EQ(w.analysis, ANALYSIS_AC);
  EXPECT_EQ(w.x, (XVariable{"FREQ", false}));
  EXPECT_EQ(w.entries,
            (std::vector<WriteDataEntry>{
                {"", "V(OUT)", FORM_DB}, {"G", "V(OUT)/V(IN)", FORM_PHASE}, {"DC", std::nullopt, -1}}));
  w = write_data_parse("#WRITEDATA V(1) TRAN", notify);
  EXPECT_EQ(w.analysis, ANALYSIS_TRAN);
  EXPECT_EQ(w.entries.size(), 1u);
  w = write_data_parse("#WRITEDATA V(1) V(2) TRAN", notify);
  EXPECT_FALSE(w.analysis);
  EXPECT_EQ(w.entries.size(), 3u);
  EXPECT_TRUE(notify.entries().empty());
}

TEST(WriteDataParse, ANinthEntryEndsTheStatement) {
  RecordingNotify notify(kTraceryTitle);
  const WriteDataStatement w =
      write_data_parse("#WRITEDATA TRAN A B C D E F G H I FILE=LATE.TXT NEW", notify);
  EXPECT_EQ(w.entries.size(), 8u);
  EXPECT_EQ(w.entries.back().name, "H");
  EXPECT_TRUE(w.file.empty());
  EXPECT_FALSE(w.new_file);
  EXPECT_EQ(notify.texts(),
            (std::vector<std::string>{"Number of #WRITEDATA statement variables exceed limit"}));
}

TEST(WriteDataPath, NamedAfterTheDataFileAndNeverIt) {
  EXPECT_EQ(write_data_default_path("/d/amp.OUT"), "/d/amp_WRITEDATA.TXT");
  EXPECT_EQ(write_data_default_path("/d/amp.TXT"), "/d/amp_WRITEDATA.TXT");
  EXPECT_EQ(write_data_default_path("/d/amp_WRITEDATA.TXT"), "/d/amp_WRITEDATA_WRITEDATA.TXT");
  EXPECT_EQ(write_data_default_path("/d.x/amp"), "/d.x/amp_WRITEDATA.TXT");
  EXPECT_EQ(write_data_default_path(""), "");
}

struct WriteDataFixture : TabulateFixture {
  std::string data_path;

  void SetUp() override {
    TabulateFixture::SetUp();
    static const double t[] = {0, 1e-3, 2e-3, 3e-3};
    static const double ms[] = {0, 1, 2, 3};
    static const double v1[] = {1, 2, 4, 8};
    static const double v2[] = {2, 4, 8, 16};
    for (const double* v : {v1, v2}) {
      const DataVector* time =
          store.add_vector({.name = "TIME", .kind = ANALYSIS_TRAN, .points = 4, .values = t});
      store.add_vector({.name = "V(1)", .kind = ANALYSIS_TRAN, .x = time, .points = 4, .values = v});
      store.add_vector({.name = "MS", .kind = ANALYSIS_TRAN, .x = time, .points = 4, .values = ms});
    }
    static const double f[] = {1, 10};
    static const double out[] = {3, 4, 0, 2};
    const DataVector* freq =
        store.add_vector({.name = "FREQ", .kind = ANALYSIS_AC, .points = 2, .values = f});
    store.add_vector(
        {.name = "V(OUT)", .kind = ANALYSIS_AC, .complex = 1, .x = freq, .points = 2, .values = out});
    data_path = write("amp.OUT", "Circuit: amp\n");
    store.open_data_file(data_path);
  }

  std::vector<WriteDataOutcome> run(const std::vector<std::string>& statements) {
    std::vector<WriteDataOutcome> outcomes;
    write_data_run(store, statements, notify, &outcomes);
    return outcomes;
  }

  // The file read back as a text data file into a store of its own.
  struct ReadBack {
    RecordingNotify notify{kTraceryTitle};
    NullProgress progress;
    DataStore store{notify, progress};
    int vectors = 0;
    explicit ReadBack(const std::string& path) {
      store.start();
      vectors = text_read_file(store, path, true);
    }
    std::vector<double> values(const std::string& name, int run) {
      const DataVector* v = store.find_vector(name, DATA_CLASS_TEXT, -1, -1, -1, run);
      if (!v) return {};
      const auto s = store.values(*v);
      return {s.begin(), s.end()};
    }
  };
};

TEST_F(WriteDataFixture, AStatementWritesAFileThatReadsBackWithTheSameValues) {
  const auto outcomes = run({"#WRITEDATA TRAN V(1) TWICE={V(1)*2}"});
  ASSERT_EQ(outcomes.size(), 1u);
  const std::string path = (dir / "amp_WRITEDATA.TXT").string();
  EXPECT_EQ(outcomes[0].file, path);
  EXPECT_EQ(outcomes[0].variables, 4);  // two entries, two runs
  EXPECT_EQ(outcomes[0].status, 1);
  EXPECT_EQ(notify.texts(), (std::vector<std::string>{"#WRITEDATA 4 variables written to file:\n" + path}));
  EXPECT_EQ(progress.shown.front(), "Writing data variables to file...");
  // Title lines: the data file, and the mark of a file named by the viewer.
  EXPECT_TRUE(read(path).starts_with("TRACERY #WRITEDATA data source file: " + data_path +
                                     "\nTRACERY #WRITEDATA:\n\n"))
      << read(path).substr(0, 200);

  ReadBack back(path);
  EXPECT_EQ(back.vectors, 8);
  EXPECT_EQ(back.store.header.title, "TRACERY #WRITEDATA data source file: " + data_path);
  EXPECT_EQ(back.values("V(1)", 1), (std::vector<double>{1, 2, 4, 8}));
  EXPECT_EQ(back.values("V(1)", 2), (std::vector<double>{2, 4, 8, 16}));
  EXPECT_EQ(back.values("TWICE", 2), (std::vector<double>{4, 8, 16, 32}));
  expect_near(back.values("TIME", 1), {0, 1e-3, 2e-3, 3e-3});
  const DataVector* v = back.store.find_vector("V(1)", DATA_CLASS_TEXT, -1, -1, -1);
  ASSERT_TRUE(v);
  EXPECT_EQ(v->kind, ANALYSIS_TRAN);
}

TEST_F(WriteDataFixture, FileNewAppendAndDataOnly) {
  // FILE= keeps its case and lies in the data file's folder; without NEW the rows are added.
  run({"#WRITEDATA TRAN FILE=Out.txt V(1)@1", "#writedata tran file=Out.txt V(1)@2"});
  const std::string path = (dir / "Out.txt").string();
  ReadBack both(path);
  EXPECT_EQ(both.vectors, 4);
  EXPECT_EQ(both.values("V(1)", 1), (std::vector<double>{1, 2, 4, 8}));
  EXPECT_EQ(both.values("V(1)", 2), (std::vector<double>{2, 4, 8, 16}));
  EXPECT_EQ(both.store.header.title, "TRACERY #WRITEDATA data source file: " + data_path);
  EXPECT_EQ(notify.last(), "#WRITEDATA 2 variables written");

  // NEW: the file holds this statement's traces alone, and it was named by the user.
  run({"#WRITEDATA NEW TRAN FILE=Out.txt X=MS V(1)@2"});
  EXPECT_TRUE(read(path).starts_with("TRACERY #WRITEDATA data source file: " + data_path + "\n\n\nMS "))
      << read(path).substr(0, 200);
  ReadBack fresh(path);
  EXPECT_EQ(fresh.vectors, 2);
  const DataVector* v = fresh.store.find_vector("V(1)", DATA_CLASS_TEXT, -1, -1, -1);
  ASSERT_TRUE(v && v->x);
  EXPECT_EQ(v->x->name, "MS");  // X=MS
  EXPECT_EQ(fresh.values("V(1)", 1), (std::vector<double>{2, 4, 8, 16}));
  EXPECT_EQ(fresh.values("MS", 1), (std::vector<double>{0, 1, 2, 3}));

  // DATAONLY: rows alone, no names and no title.
  run({"#WRITEDATA TRAN NEW DATAONLY FILE=rows.txt V(1)@1"});
  const std::string rows = read((dir / "rows.txt").string());
  EXPECT_EQ(rows.find_first_of("TVR"), std::string::npos) << rows;
  EXPECT_EQ(std::count(rows.begin(), rows.end(), '\n'), 6);  // an empty line, four rows, the end
}

TEST_F(WriteDataFixture, EveryFailureIsAMessageAndTheOtherStatementsRun) {
  const auto outcomes = run({
      "#WRITEDATA TRAN V(1)@1 NOSUCH",            // 1: partly
      "#WRITEDATA TRAN NOSUCH",                   // 2: nothing
      "#WRITEDATA DC V(1)",                       // 3: no DC data
      "#WRITEDATA NEW",                           // 4: no entries, passed over
      "#WRITEDATA TRAN FILE=amp.OUT V(1)",        // 5: the data file itself
      "#WRITEDATA TRAN FILE=no/such/dir/x V(1)",  // 6: cannot be written
  });
  ASSERT_EQ(outcomes.size(), 5u);
  EXPECT_EQ(outcomes[0].status, 1);
  EXPECT_EQ(outcomes[1].status, 0);
  EXPECT_EQ(outcomes[2].status, 0);
  EXPECT_EQ(outcomes[3].statement, 5);
  EXPECT_EQ(outcomes[3].status, -1);
  EXPECT_EQ(outcomes[4].status, -1);
  const std::string written = (dir / "amp_WRITEDATA.TXT").string();
  const std::string bad = (dir / "no/such/dir/x").string();
  EXPECT_EQ(notify.texts(), (std::vector<std::string>{
                                "#WRITEDATA: data available only for 1 of 2 specified variables",
                                "No matching data found for #WRITEDATA statement 2",
                                "Selected #WRITEDATA analysis/data not available",
                                "Error processing #WRITEDATA statement 5",
                                "Cannot open save as file " + bad,
                                "Error processing #WRITEDATA statement 6",
                                "#WRITEDATA 1 variables written to file:\n" + written,
                            }));
  EXPECT_EQ(read(data_path), "Circuit: amp\n");
}

TEST_F(WriteDataFixture, ComplexDataAndStatementsWithoutAnalysis) {
  // AC: a complex vector is written as its magnitude unless a part is named.
  run({"#WRITEDATA AC NEW FILE=ac.txt V(OUT) VDB(OUT) PH=P[{V(OUT)}]"});
  ReadBack ac((dir / "ac.txt").string());
  EXPECT_EQ(ac.values("VM(OUT)", 1), (std::vector<double>{5, 2}));
  const std::vector<double> db = ac.values("VDB(OUT)", 1);
  ASSERT_EQ(db.size(), 2u);
  EXPECT_NEAR(db[0], 20 * std::log10(5.0), 1e-9);
  const std::vector<double> phase = ac.values("PH", 1);
  ASSERT_EQ(phase.size(), 2u);
  EXPECT_NEAR(phase[1], 90, 1e-9);
  const DataVector* m = ac.store.find_vector("VM(OUT)", DATA_CLASS_TEXT, -1, -1, -1);
  ASSERT_TRUE(m);
  EXPECT_EQ(m->kind, ANALYSIS_AC);

  // Without analysis: the kind that holds the names; a tabulated value (kind
  // OTHER) goes with any of them.
  tabulate_name(store, "vmax = 1\nvmax = 2\n", {"VMAX", ""});
  notify.clear();
  const auto outcomes = run({"#WRITEDATA NEW FILE=any.txt V(1) VMAX", "#WRITEDATA NEW FILE=f.txt V(OUT)"});
  ASSERT_EQ(outcomes.size(), 2u);
  EXPECT_EQ(outcomes[0].variables, 3);  // two runs of V(1), VMAX
  EXPECT_EQ(outcomes[1].variables, 1);
  ReadBack any((dir / "any.txt").string());
  EXPECT_EQ(any.values("V(1)", 2), (std::vector<double>{2, 4, 8, 16}));
  EXPECT_EQ(any.values("VMAX", 1), (std::vector<double>{1, 2}));
  EXPECT_EQ(any.values("RUN#", 1), (std::vector<double>{0, 1}));
  EXPECT_EQ(notify.texts(), (std::vector<std::string>{"#WRITEDATA 4 variables written"}));
}

TEST_F(WriteDataFixture, TheThirtyThirdStatementOfAListingIsRefusedOnce) {
  ScriptState state;
  for (int k = 0; k < 40; ++k) {
    const std::string line = "#WRITEDATA TRAN NEW FILE=w" + std::to_string(k) + ".txt V(1)";
    dispatch_listing_statement(state, ascii_upper(line), line, notify);
  }
  ScriptReport report;
  run_after_listing(state, store, notify, &report);
  EXPECT_EQ(report.written.size(), 32u);
  EXPECT_TRUE(fs::exists(dir / "w31.txt"));
  EXPECT_FALSE(fs::exists(dir / "w32.txt"));
  EXPECT_EQ(notify.texts(), (std::vector<std::string>{"Number of #WRITEDATA statements exceed limit",
                                                      "#WRITEDATA 64 variables written"}));
  EXPECT_TRUE(report.failed.empty());
  EXPECT_TRUE(state.write_data.empty());
  EXPECT_FALSE(state.write_data_full);
}

TEST_F(WriteDataFixture, AListingTabulatesThenWritesTheTabulatedValues) {
  // The statements of a listing: #TABULATE first, #WRITEDATA last, so that
  // the tabulated values can be written out.
  write("amp.OUT", kThreeRuns);
  ScriptState state;
  for (const char* line : {"#TABULATE X=TD VMAX", "#WRITEDATA OTHER NEW FILE=t.txt VMAX"})
    dispatch_listing_statement(state, line, line, notify);
  ScriptReport report;
  run_after_listing(state, store, notify, &report);
  ASSERT_EQ(report.tabulated.size(), 1u);
  EXPECT_EQ(report.tabulated[0].x_name, "TD");
  ReadBack back((dir / "t.txt").string());
  EXPECT_EQ(back.values("VMAX", 1), (std::vector<double>{1.5, 2.5, 3.5}));
  expect_near(back.values("TD", 1), {1e-3, 2e-3, 3e-3});
  EXPECT_TRUE(report.failed.empty());
}

}  // namespace
}  // namespace zephyrim
