#include "viewer/calc/listing_sink.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "common/file_io.h"
#include "common/notify.h"
#include "common/progress.h"
#include "viewer/data/data_store.h"
#include "viewer/data/probe_file.h"

namespace zephyrim {
namespace {

struct ListingSinkFixture : ::testing::Test {
  RecordingNotify notify{kTraceryTitle};
  NullProgress progress;
  DataStore store{notify, progress};
  ScriptState state;
  UserParameters parameters;
  ScriptListingSink sink{state, parameters, notify};
  ListingFacts facts;
  std::filesystem::path dir;

  void SetUp() override {
    ASSERT_TRUE(store.start());
    dir = std::filesystem::temp_directory_path() /
          ("zephyrim_listing_sink_" +
           std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }

  int read(const char* name, std::string_view text) {
    const std::string path = (dir / name).string();
    EXPECT_TRUE(write_file_atomic(path, text));
    store.open_data_file(path);
    return spice_read_listing(store, path, sink, facts);
  }
  std::vector<std::string> trace_names() const {
    std::vector<std::string> names;
    for (const auto& t : state.autoplot.traces) names.push_back(t.name);
    return names;
  }
};

TEST_F(ListingSinkFixture, OwnListingStatementsWatchLinesAndUserParameters) {
  ASSERT_EQ(read("amp.out",
                 "1**** ZEPHYRIM SPICE ENGINE ****\n"
                 "0\n"
                 " AMPLIFIER\n"
                 "#AUTOPLOT TRAN 2 V(1)\n"
                 ".WATCH TRAN V(OUT) I(R1)\n"
                 "#CALC TRAN {GAIN=V(OUT)/V(1)}\n"
                 "#SUBTITLE 0 7\n"
                 "Stage two of the amplifier\n"
                 "#REVISION: Rev. B\n"
                 "**** USER GLOBAL PARAMETERS\n"
                 " NAME         VALUE\n"
                 " ----         -----\n"
                 " RLOAD        1.5k\n"
                 " GAIN         20\n"
                 "\n"
                 "**** TRANSIENT ANALYSIS TEMPERATURE = 27.0\n"
                 " TIME V(1) V(OUT)\n"
                 " 0 1 2\n"
                 " 1M 2 4\n"),
            1);
  EXPECT_TRUE(notify.entries().empty()) << notify.last();
  EXPECT_EQ(trace_names(), (std::vector<std::string>{"V(1)", "V(OUT)", "I(R1)"}));
  EXPECT_EQ(state.autoplot.traces[0].plot, 1);
  ASSERT_EQ(state.calc.entries.size(), 1u);
  EXPECT_EQ(state.calc.entries[0].expression, "GAIN=V(OUT)/V(1)");
  EXPECT_EQ(state.subtitle, "Stage tw");  // columns 0 to 7
  EXPECT_EQ(state.revision, "Rev. B");
  ASSERT_EQ(parameters.size(), 2u);
  EXPECT_EQ(parameters[0].name, "RLOAD");
  EXPECT_DOUBLE_EQ(parameters[0].value, 1500);
  EXPECT_DOUBLE_EQ(parameters[1].value, 20);
  ASSERT_NE(store.find_vector("V(OUT)", DATA_CLASS_TEXT, ANALYSIS_TRAN, -1, -1), nullptr);

  // The next listing starts afresh; the user parameters belong to the data.
  ASSERT_EQ(read("next.out", "1**** ZEPHYRIM SPICE ENGINE ****\n0\n NEXT\n#AUTOPLOT AC VDB(2)\n"), 1);
  EXPECT_EQ(trace_names(), std::vector<std::string>{"VDB(2)"});
  EXPECT_TRUE(state.calc.entries.empty());
  EXPECT_EQ(state.revision, "");
  EXPECT_EQ(parameters.size(), 2u);
}

TEST_F(ListingSinkFixture, ZsimListingFeedsTheAutoplotRequest) {
  ProbeBlock b;
  b.kind = ANALYSIS_TRAN;
  b.x_name = "TIME";
  b.analog_names = {"V(IN)", "V(OUT)"};
  b.x = {0, 1e-3};
  b.analog = {{0, 1}, {0, 0.63}};
  ASSERT_TRUE(probe_write_file((dir / "rc.SAV").string(), {b}));
  ASSERT_EQ(read("rc.OUT",
                 "ZEPHYRIM ZSIM SPICE3 ENGINE (ngspice)\n"
                 "Circuit: RC\n"
                 "Date: Wed Dec  9 13:38:15 2026\n"
                 "\n"
                 "#AUTOPLOT  TRAN V(in) V(out) YLABEL=\"Volts\"\n"
                 "#RUNSCRIPT \"Post Run.qsc\"\n"
                 "\n"
                 "Data written to .PROBE binary file rc.SAV: 1 data blocks\n"
                 "\n"
                 "0 errors, 0 warnings\n"
                 "\n"
                 "TOTAL JOB TIME         0.07\n"),
            1);
  EXPECT_TRUE(notify.entries().empty()) << notify.last();
  EXPECT_EQ(trace_names(), (std::vector<std::string>{"V(IN)", "V(OUT)"}));
  EXPECT_EQ(state.autoplot.analysis, ANALYSIS_TRAN);
  EXPECT_EQ(state.autoplot.y_labels[0], "VOLTS");
  EXPECT_EQ(state.script_name, "Post Run.qsc");
  EXPECT_TRUE(state.run_script_after_listing);
  EXPECT_EQ(facts.data_file, (dir / "rc.SAV").string());
}

}  // namespace
}  // namespace zephyrim
