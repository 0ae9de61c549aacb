// The statement language: #AUTOPLOT and its axis options, #CALC and its run
// loop, the listing dispatcher with #SUBTITLE, #REVISION: and #RUNSCRIPT,
// script files, and the order of work after a listing.
#include "viewer/calc/script.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "viewer/calc/calc_fixture.h"

namespace zephyrim {
namespace {

AutoplotRequest autoplot(const std::string& statement, RecordingNotify& notify) {
  AutoplotRequest r;
  parse_autoplot(r, statement, notify);
  return r;
}

std::vector<std::string> trace_names(const AutoplotRequest& r) {
  std::vector<std::string> names;
  for (const AutoplotTrace& t : r.traces) names.push_back(t.name);
  return names;
}

TEST(StatementTokens, BracketsNestAndQuotesSwallowTheRestOnlyForAutoplot) {
  EXPECT_EQ(statement_tokens("#CALC  A={V(1) + V(2)},B=V(1,2)\tC", false),
            (std::vector<std::string>{"#CALC", "A={V(1) + V(2)}", "B=V(1,2)", "C"}));
  // A stray closing bracket never takes the level below 0.
  EXPECT_EQ(statement_tokens("A) B (C D", false), (std::vector<std::string>{"A)", "B", "(C D"}));
  EXPECT_EQ(statement_tokens("#AUTOPLOT 'X Y' Z", true), (std::vector<std::string>{"#AUTOPLOT", "'X Y' Z"}));
  EXPECT_EQ(statement_tokens("#CALC 'X Y' Z", false), (std::vector<std::string>{"#CALC", "'X", "Y'", "Z"}));
  EXPECT_TRUE(statement_tokens(" ,\t, ", true).empty());
}

TEST(Autoplot, PlotNumberAndAnalysisInEitherOrder) {
  RecordingNotify notify;
  for (const char* s : {"#AUTOPLOT TRAN 2 V(1) V(2)", "#AUTOPLOT 2 TRAN V(1) V(2)"}) {
    const AutoplotRequest r = autoplot(s, notify);
    EXPECT_EQ(trace_names(r), (std::vector<std::string>{"V(1)", "V(2)"})) << s;
    for (const AutoplotTrace& t : r.traces) EXPECT_TRUE(t.analysis == ANALYSIS_TRAN && t.plot == 1) << s;
  }
  // Plot numbers are 1..8: 9 is a trace, and so is a second number.
  AutoplotRequest r = autoplot("#AUTOPLOT 9 TRAN V(1)", notify);
  EXPECT_EQ(trace_names(r), (std::vector<std::string>{"9", "V(1)"}));
  EXPECT_TRUE(r.analysis == ANALYSIS_TRAN && !r.plot);
  r = autoplot("#AUTOPLOT 8 3 DC", notify);
  EXPECT_TRUE(r.plot == 7 && !r.analysis);
  EXPECT_EQ(trace_names(r), (std::vector<std::string>{"3", "DC"}));
  // Only tokens 1 and 2 select.
  EXPECT_FALSE(autoplot("#AUTOPLOT V(1) V(2) TRAN", notify).analysis);
  EXPECT_TRUE(notify.entries().empty());
}

TEST(Autoplot, EntriesWithoutAnalysisCountForTheFirstFourKinds) {
  RecordingNotify notify;
  AutoplotRequest r;
  parse_autoplot(r, "#AUTOPLOT V(1) V(2)", notify);
  parse_autoplot(r, "#AUTOPLOT NOISE ONOISE", notify);
  EXPECT_EQ(r.statements, 2);
  EXPECT_EQ((std::vector<int>(r.entries.begin(), r.entries.begin() + 6)),
            (std::vector<int>{2, 2, 2, 2, 1, 0}));
}

TEST(Autoplot, ChartWords) {
  RecordingNotify notify;
  AutoplotRequest r = autoplot("#AUTOPLOT SMITHCHART V(OUT)", notify);
  EXPECT_TRUE(r.chart == CHART_SMITH && r.analysis == ANALYSIS_AC);
  r = autoplot("#AUTOPLOT 3 HISTOGRAM TD", notify);
  EXPECT_TRUE(r.chart == CHART_HISTOGRAM && r.analysis == ANALYSIS_OTHER && r.plot == 2);
  std::array<bool, kComplexForms> only_m{}, chosen{};
  only_m[FORM_MAGNITUDE] = true;
  chosen[FORM_DB] = chosen[FORM_PHASE] = chosen[FORM_GROUP_DELAY] = chosen[FORM_DBMV] = true;
  r = autoplot("#AUTOPLOT FFT V(1)", notify);
  EXPECT_TRUE(r.fft && r.analysis == ANALYSIS_AC && r.fft_parts == only_m);
  EXPECT_EQ(autoplot("#AUTOPLOT FFT(DB,P,T,XX,DBMV) V(1)", notify).fft_parts, chosen);  // T is G
  EXPECT_EQ(autoplot("#AUTOPLOT FFT(XX) V(1)", notify).fft_parts, only_m);
}

TEST(Autoplot, OptionsApplyToTheNumberedPlotOrToAll) {
  RecordingNotify notify;
  AutoplotRequest r = autoplot("#AUTOPLOT 3 TRAN XLOG YLOG X=TIME YAXIS=(0,5) V(1)", notify);
  EXPECT_TRUE(r.xlog);
  EXPECT_EQ(r.ylog, (std::array<bool, 8>{false, false, true, false, false, false, false, false}));
  EXPECT_EQ(r.x_variable[ANALYSIS_TRAN], (XVariable{"TIME", false}));
  EXPECT_TRUE(r.x_variable[ANALYSIS_AC].empty());
  EXPECT_TRUE(r.y_limits[2].manual);
  EXPECT_FALSE(r.y_limits[0].manual);
  EXPECT_EQ(trace_names(r), (std::vector<std::string>{"V(1)"}));

  r = autoplot("#AUTOPLOT YLOG X={TIME*1E3} YAXIS=(1,2)", notify);
  EXPECT_EQ(r.ylog, (std::array<bool, 8>{true, true, true, true, true, true, true, true}));
  for (const XVariable& x : r.x_variable) EXPECT_EQ(x, (XVariable{"TIME*1E3", true}));
  for (const AxisLimits& y : r.y_limits) EXPECT_EQ(y.max, 2);
  EXPECT_TRUE(r.traces.empty());
  EXPECT_TRUE(notify.entries().empty());
}

TEST(Autoplot, QuotedLabelSwallowsTheRestOfTheStatement) {
  RecordingNotify notify;
  AutoplotRequest r = autoplot("#AUTOPLOT 2 TRAN V(1) YLABEL=\"VOLTS AT OUT\" V(2) V(3)", notify);
  EXPECT_EQ(r.y_labels[1], "VOLTS AT OUT");
  EXPECT_EQ(r.y_labels[0], "");
  EXPECT_EQ(trace_names(r), (std::vector<std::string>{"V(1)"}));
  r = autoplot("#AUTOPLOT XLABEL=\"TIME (S)\" YLABEL=\"V\"", notify);
  EXPECT_EQ(r.x_label, "TIME (S)");
  EXPECT_EQ(r.y_labels[7], "");  // YLABEL went into the X label's token
  r = autoplot("#AUTOPLOT YLABEL=\"UNCLOSED", notify);
  EXPECT_EQ(r.y_labels[4], "UNCLOSED");
}

TEST(Autoplot, TraceEntryForms) {
  RecordingNotify notify;
  const auto entries = [&](const std::string& statement) {
    std::vector<std::string> out;
    for (const AutoplotTrace& t : autoplot(statement, notify).traces)
      out.push_back(t.name + "|" + t.expression.value_or("-") + "|" + std::to_string(t.part));
    return out;
  };
  EXPECT_EQ(
      entries("#AUTOPLOT AC {V(2)/V(1)} GAIN={V(2) / V(1)} DB[{V(2)/V(1)}] PH=P[{V(2)}] Q[{V(3)}] VDB(OUT)"),
      (std::vector<std::string>{"|V(2)/V(1)|-1", "GAIN|V(2) / V(1)|-1", "|V(2)/V(1)|0", "PH|V(2)|1",
                                "|V(3)|2", "VDB(OUT)|-|-1"}));
  // The part form is for AC only; elsewhere it is a name, cut to 63 characters.
  EXPECT_EQ(entries("#AUTOPLOT TRAN DB[{V(2)}] " + std::string(80, 'N')),
            (std::vector<std::string>{"DB[{V(2)}]|-|-1", std::string(63, 'N') + "|-|-1"}));
}

TEST(AxisLimits, TwoNumbersSpacingAFifthThreeNumbersTicks) {
  RecordingNotify notify;
  AxisLimits a;
  ASSERT_EQ(parse_axis_limits("XAXIS=(0,10)", a, notify), 1);
  EXPECT_EQ(a, (AxisLimits{.manual = true, .min = 0, .max = 10, .spacing = 2, .ticks = std::nullopt}));
  ASSERT_EQ(parse_axis_limits("YAXIS=( 1U , 2U, 0.25U, 99)", a, notify), 1);
  EXPECT_EQ(a, (AxisLimits{.manual = true, .min = 1e-6, .max = 2e-6, .spacing = 0.25e-6, .ticks = 4}));
  // 100 ticks is the most, and the rounding counts 10/0.1 as 100.
  ASSERT_EQ(parse_axis_limits("XAXIS=(0,10,0.1)", a, notify), 1);
  EXPECT_EQ(a.ticks, 100);
  EXPECT_TRUE(notify.entries().empty());
}

TEST(AxisLimits, TheThreeMessagesLeaveTheAxisAutomatic) {
  RecordingNotify notify;
  const auto refused = [&](const std::string& option, const std::string& message) {
    notify.clear();
    AutoplotRequest r;
    EXPECT_EQ(parse_autoplot(r, "#AUTOPLOT TRAN " + option + " V(1)", notify), 0) << option;
    EXPECT_FALSE(r.x_limits.manual) << option;
    EXPECT_EQ(trace_names(r), (std::vector<std::string>{"V(1)"}));  // the rest of the statement holds
    EXPECT_EQ(notify.texts(), (std::vector<std::string>{message + option}));
  };
  for (const char* option : {"XAXIS=(5)", "XAXIS=", "XAXIS=(0,Q)", "XAXIS=(0,*)", "XAXIS=0"})
    refused(option, "ERROR:\nInvalid #AUTOPLOT axis limits option:\n");
  refused("XAXIS=(10,10)", "ERROR:\nInvalid #AUTOPLOT axis limit values in option:\n");
  for (const char* option :
       {"XAXIS=(0,10,0)", "XAXIS=(0,10,0.01)", "XAXIS=(0,10,-1)", "XAXIS=(0,10,1E-300)", "XAXIS=(0,10,30)"}) {
    refused(option, "WARNING:\nInvalid #AUTOPLOT axis limits tick value option:\n");
    EXPECT_EQ(notify.entries().at(0).kind, NoticeKind::Warning);
  }
}

TEST(Autoplot, DescriptionNamesWhatWasAsked) {
  RecordingNotify notify;
  AutoplotRequest r;
  parse_autoplot(r, "#AUTOPLOT AC 2 XLOG X=FREQ XAXIS=(1,1MEG) GAIN=DB[{V(2)/V(1)}] YLABEL=\"GAIN\"", notify);
  parse_autoplot(r, "#AUTOPLOT FFT(DB) V(1)", notify);
  const std::string text = autoplot_describe(r);
  for (const char* piece : {"Autoplot: 2 statement(s)", "FFT parts: DB", "X variable, AC: FREQ",
                            "X axis: log", "X limits: 1 to 1E+06", "Y label, plot 2: \"GAIN\"",
                            "Trace 1: GAIN = {V(2)/V(1)}  [AC, plot 2, part DB]",
                            "Trace 2: V(1)  [AC, plot any]", "Entries: AC 2"})
    EXPECT_NE(text.find(piece), std::string::npos) << piece << "\n" << text;
}

TEST(Calc, SlotsAndXVariables) {
  CalcList list;
  EXPECT_EQ(parse_calc(list, "#CALC TRAN X=TIME A=V(1)*2 {V(2)+1}"), 2);
  EXPECT_EQ(parse_calc(list, "#CALC FFT X={TIME*2} V(1)"), 1);
  EXPECT_EQ(parse_calc(list, "#CALCULATE B=V(3)"), 1);  // no slot: token 1 is an entry
  EXPECT_EQ(parse_calc(list, "#CALC X=SWEEP"), 0);
  std::vector<std::string> entries;
  for (const CalcEntry& e : list.entries)
    entries.push_back(std::to_string(e.slot.value_or(-1)) + " " + e.expression);
  EXPECT_EQ(entries, (std::vector<std::string>{"2 A=V(1)*2", "2 V(2)+1", "6 V(1)", "-1 B=V(3)"}));
  EXPECT_EQ(list.count, (std::array<int, kCalcSlots>{1, 1, 3, 1, 1, 1, 2}));
  // The slotless X= reaches every slot, over the earlier ones too.
  for (const XVariable& x : list.x_variable) EXPECT_EQ(x, (XVariable{"SWEEP", false}));
}

// Two transient runs and one AC run of a small data set.
struct ScriptFixture : ::testing::Test, CalcStore {
  ScriptState state;
  std::filesystem::path dir;

  void SetUp() override {
    const DataVector* t1 = add("TIME", {0, 1, 2, 3}, nullptr);
    add("V(1)", {1, 2, 4, 8}, t1);
    add("MS", {0, 1000, 2000, 3000}, t1);
    const DataVector* t2 = add("TIME", {0, 1, 2, 3}, nullptr);
    add("V(1)", {2, 4, 8, 16}, t2);
    add("MS", {0, 1000, 2000, 3000}, t2);
    const DataVector* f = add("FREQ", {1, 10}, nullptr, ANALYSIS_AC);
    add("V(OUT)", {1, 0, 0, 1}, f, ANALYSIS_AC, DATA_CLASS_BINARY, 1);
    dir = std::filesystem::temp_directory_path() /
          ("zephyrim_script_" + std::to_string(getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }

  std::string write(const std::string& name, const std::string& text) {
    const std::string path = (dir / name).string();
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  int runs_of(const std::string& name, int kind = ANALYSIS_TRAN) {
    int n = 0;
    for (int run = 1; store.find_vector(name, DATA_CLASS_BINARY, kind, -1, -1, run); ++run) n = run;
    return n;
  }
  int script(const std::string& text, ScriptReport* report = nullptr) {
    state.script_name = write("s.qsc", text);
    return run_script_file(state, store, notify, report);
  }
};

TEST_F(ScriptFixture, CalcRunsPerRunUnlessARunIsNamed) {
  parse_calc(state.calc, "#CALC TRAN Y=V(1)*2 Z=V(1)@2+1");
  std::vector<CalcOutcome> computed;
  const CalcRun run = run_calc_list(state, store, notify, &computed);
  EXPECT_EQ(run.vectors, 3);
  EXPECT_TRUE(run.failed.empty());
  EXPECT_EQ(runs_of("Y"), 2);
  EXPECT_EQ(runs_of("Z"), 1);
  EXPECT_EQ(values(store.find_vector("Y", DATA_CLASS_BINARY, ANALYSIS_TRAN, -1, -1, 2)),
            (std::vector<double>{4, 8, 16, 32}));
  EXPECT_EQ(values(store.find_vector("Z", DATA_CLASS_BINARY, ANALYSIS_TRAN, -1, -1)),
            (std::vector<double>{3, 5, 9, 17}));
  ASSERT_EQ(computed.size(), 3u);
  EXPECT_EQ(computed[1].entry, "Y=V(1)*2");
  EXPECT_EQ(computed[1].run, 2);
  EXPECT_TRUE(state.calc.entries.empty());  // the list is freed

  // Later #CALC lines count the runs of the data, not those the results added.
  for (int line = 0; line < 3; ++line) {
    parse_calc(state.calc, "#CALC TRAN Y=V(1)*2");
    EXPECT_EQ(run_calc_list(state, store, notify).vectors, 2);
  }
  int fft_runs = 0;
  state.hooks.calc_fft = [&](DataStore&, std::string_view, const ExprSelection&) {
    ++fft_runs;
    return static_cast<const DataVector*>(nullptr);
  };
  parse_calc(state.calc, "#CALC FFT V(1)");
  run_calc_list(state, store, notify);
  EXPECT_EQ(fft_runs, 2);
  EXPECT_TRUE(notify.entries().empty()) << notify.last();
}

TEST_F(ScriptFixture, CalcXVariableAndSlotsWithoutData) {
  parse_calc(state.calc, "#CALC TRAN X=MS Y=V(1)");
  parse_calc(state.calc, "#CALC DC D=V(1)");
  run_calc_list(state, store, notify);
  const DataVector* y2 = store.find_vector("Y", DATA_CLASS_BINARY, ANALYSIS_TRAN, -1, -1, 2);
  ASSERT_TRUE(y2 && y2->x);
  EXPECT_EQ(y2->x, store.find_vector("MS", DATA_CLASS_BINARY, ANALYSIS_TRAN, -1, -1, 2));
  EXPECT_FALSE(store.find_vector("D", DATA_CLASS_BINARY, -1, -1, -1));

  parse_calc(state.calc, "#CALC TRAN X={TIME*10} W=V(1)");
  std::vector<CalcOutcome> computed;
  const CalcRun run = run_calc_list(state, store, notify, &computed);
  const DataVector* w = store.find_vector("W", DATA_CLASS_BINARY, ANALYSIS_TRAN, -1, -1, 1);
  ASSERT_TRUE(w && w->x);
  EXPECT_EQ(values(w->x), (std::vector<double>{0, 10, 20, 30}));
  EXPECT_EQ(run.vectors, 2);
}

TEST_F(ScriptFixture, CalcEntryWithoutSlotRunsWhereverDataIsAndFailuresAreCounted) {
  // No slot: every slot with data, the FFT slot included.
  parse_calc(state.calc, "#CALC Q=2*3 BAD=NOSUCH(1)+");
  int fft_calls = 0;
  state.hooks.calc_fft = [&](DataStore&, std::string_view expression, const ExprSelection& selection) {
    ++fft_calls;
    EXPECT_EQ(selection.kind, ANALYSIS_TRAN);
    EXPECT_TRUE(expression == "Q=2*3" || expression == "BAD=NOSUCH(1)+");
    return static_cast<const DataVector*>(nullptr);
  };
  const CalcRun run = run_calc_list(state, store, notify);
  EXPECT_EQ(fft_calls, 4);  // two entries, two runs
  EXPECT_EQ(runs_of("Q"), 2);
  EXPECT_EQ(runs_of("Q", ANALYSIS_AC), 1);
  EXPECT_EQ(run.failed, (std::vector<std::string>{"BAD=NOSUCH(1)+"}));
  EXPECT_FALSE(notify.entries().empty());  // the expression's own message
}

TEST_F(ScriptFixture, CalcFftGivesOneSpectrumPerRunInClassZero) {
  parse_calc(state.calc, "#CALC FFT V(1)");
  std::vector<CalcOutcome> computed;
  const CalcRun run = run_calc_list(state, store, notify, &computed);
  EXPECT_EQ(run.vectors, 2);
  EXPECT_TRUE(run.failed.empty());
  ASSERT_EQ(computed.size(), 2u);
  // Four samples 0.75 s apart: 1, 1.75, 3, 5 (doubled in run 2); line 0 is their mean.
  for (int r = 1; r <= 2; ++r) {
    const DataVector* s = store.find_vector("VFFT(1)", DATA_CLASS_BINARY, ANALYSIS_AC, -1, 1, r);
    ASSERT_TRUE(s && s->x) << r;
    EXPECT_EQ(s->points, 2);
    EXPECT_DOUBLE_EQ(store.values(*s)[0], 2.6875 * r);
    EXPECT_DOUBLE_EQ(store.values(*s->x)[1], 1 / 3.0);
  }
  EXPECT_TRUE(notify.entries().empty()) << notify.last();
}

TEST_F(ScriptFixture, DispatcherMatchesStatementWordsAsPrefixes) {
  EXPECT_EQ(dispatch_listing_statement(state, "#AUTOPLOT TRAN V(1)", "", notify), 1);
  EXPECT_EQ(dispatch_listing_statement(state, "#AUTOPLOT", "", notify), 0);  // the blank belongs to the word
  EXPECT_EQ(dispatch_listing_statement(state, "#AUTOPLOTX V(2)", "", notify), 0);
  EXPECT_EQ(dispatch_listing_statement(state, "#CALCULATE TRAN Y=V(1)", "", notify), 1);
  EXPECT_EQ(dispatch_listing_statement(state, "#MEASURE TRAN MAX VMAX YVAR=V(1)", "", notify), 1);
  EXPECT_EQ(dispatch_listing_statement(state, "#MEASURE BOGUS MAX VMAX YVAR=V(1)", "", notify), 1);
  EXPECT_EQ(dispatch_listing_statement(state, "#TABULATE VMAX", "", notify), 1);
  EXPECT_EQ(dispatch_listing_statement(state, "#WRITEDATANEW V(1)", "", notify), 1);
  EXPECT_EQ(dispatch_listing_statement(state, "#INCLUDE X", "", notify), 0);
  EXPECT_EQ(dispatch_listing_statement(state, "# CALC", "", notify), 0);
  EXPECT_EQ(state.autoplot.traces.size(), 1u);
  EXPECT_EQ(state.calc.entries.size(), 1u);
  EXPECT_EQ(state.measures.count(), 1);
  EXPECT_EQ(state.tabulate, (std::vector<std::string>{"#TABULATE VMAX"}));
  EXPECT_EQ(state.write_data.size(), 1u);
  EXPECT_EQ(notify.texts(), (std::vector<std::string>{"Invalid analysis type BOGUS specified"}));
}

TEST_F(ScriptFixture, RunscriptNameKeepsItsCaseAndQuotes) {
  dispatch_listing_statement(state, "#RUNSCRIPT   \"MY DIR/A.QSC\" TRAILING",
                             "  #RUNSCRIPT   \"My Dir/a.qsc\" trailing\r\n", notify);
  EXPECT_EQ(state.script_name, "My Dir/a.qsc");
  EXPECT_TRUE(state.run_script_after_listing);
  dispatch_listing_statement(state, "#RUNSCRIPT B.QSC  ", "", notify);
  EXPECT_EQ(state.script_name, "B.QSC");
  EXPECT_TRUE(notify.entries().empty());
  dispatch_listing_statement(state, "#RUNSCRIPT", "#RUNSCRIPT\n", notify);
  EXPECT_EQ(notify.texts(), (std::vector<std::string>{"Invalid #RUNSCRIPT statement:\n#RUNSCRIPT"}));
  EXPECT_EQ(state.script_name, "B.QSC");  // stays until replaced
  dispatch_listing_statement(state, "#RUNSCRIPT\tTAB.QSC", "", notify);
  EXPECT_EQ(notify.entries().size(), 2u);
}

TEST_F(ScriptFixture, SubtitleQuotedOrFromTheNextLine) {
  dispatch_listing_statement(state, "#SUBTITLE \"A \"B\" C\" X", "#SUBTITLE \"a \"b\" c\" x", notify);
  EXPECT_EQ(state.subtitle, "a \"b\" c");
  EXPECT_FALSE(take_subtitle_line(state, "NEXT"));

  dispatch_listing_statement(state, "#SUBTITLE 2,5", "", notify);
  EXPECT_TRUE(take_subtitle_line(state, "0123456789\n"));
  EXPECT_EQ(state.subtitle, "2345");
  EXPECT_FALSE(state.pending_subtitle);

  // Defaults 0 and 125; a bad first column is 0, a bad last column 125.
  const std::string long_line = std::string(200, 'a') + "\n";
  for (const char* s : {"#SUBTITLE", "#SUBTITLE -3 500", "#SUBTITLE=999=-1"}) {
    dispatch_listing_statement(state, s, "", notify);
    ASSERT_TRUE(take_subtitle_line(state, long_line)) << s;
    EXPECT_EQ(state.subtitle, std::string(126, 'a')) << s;
  }
  dispatch_listing_statement(state, "#SUBTITLE 10 20", "", notify);
  take_subtitle_line(state, "SHORT");
  EXPECT_EQ(state.subtitle, "");
  dispatch_listing_statement(state, "#SUBTITLE \"" + std::string(300, 'q') + "\"", "", notify);
  EXPECT_EQ(state.subtitle.size(), kSubtitleMax);
}

TEST_F(ScriptFixture, RevisionIsColumnsElevenToFortyTwo) {
  dispatch_listing_statement(state, "#REVISION: REV B", "#REVISION: Rev B  \r\n", notify);
  EXPECT_EQ(state.revision, "Rev B");
  const std::string text = "#REVISION: " + std::string(32, 'r') + "TOO LONG";
  dispatch_listing_statement(state, text, "", notify);
  EXPECT_EQ(state.revision, std::string(32, 'r'));
  dispatch_listing_statement(state, "#REVISION:", "", notify);
  EXPECT_EQ(state.revision, "");
}

TEST_F(ScriptFixture, WriteDataJobRefusesTheThirtyThirdStatementOnce) {
  for (int i = 0; i < 40; ++i) dispatch_listing_statement(state, "#WRITEDATA TRAN V(1)", "", notify);
  EXPECT_EQ(state.write_data.size(), 32u);
  EXPECT_EQ(notify.texts(), (std::vector<std::string>{"Number of #WRITEDATA statements exceed limit"}));
}

TEST_F(ScriptFixture, ACommentOnlyScriptDoesNothing) {
  parse_autoplot(state.autoplot, "#AUTOPLOT TRAN V(1)", notify);
  ScriptReport report;
  EXPECT_EQ(script("* a comment\n; another\n\n   \n#REM #CALC Y=1\n", &report), 0);
  EXPECT_TRUE(report.opened);
  EXPECT_EQ(state.autoplot.traces.size(), 1u);
  EXPECT_FALSE(store.find_vector("Y", DATA_CLASS_BINARY, -1, -1, -1));
  EXPECT_TRUE(notify.entries().empty());
}

TEST_F(ScriptFixture, ScriptCannotBeOpened) {
  state.script_name = (dir / "missing.qsc").string();
  ScriptReport report;
  EXPECT_EQ(run_script_file(state, store, notify, &report), 0);
  EXPECT_FALSE(report.opened);
  EXPECT_EQ(notify.texts(), (std::vector<std::string>{"Cannot open script file " + state.script_name}));
  state.script_name = dir.string();  // a folder is no script
  notify.clear();
  EXPECT_EQ(run_script_file(state, store, notify), 0);
  EXPECT_EQ(notify.last(), "Cannot open script file " + dir.string());
  state.script_name.clear();
  EXPECT_EQ(run_script_file(state, store, notify), 0);
}

TEST_F(ScriptFixture, ScriptLinesRunAtOnceAndTheReportTellsWhat) {
  parse_autoplot(state.autoplot, "#AUTOPLOT DC OLD", notify);
  int applied = 0;
  state.hooks.apply_autoplot = [&](AutoplotRequest& r) {
    ++applied;
    EXPECT_EQ(trace_names(r), (std::vector<std::string>{"V(1)", "Y"}));
  };
  // The listing of the data: #TABULATE reads it, #WRITEDATA writes beside it.
  store.open_data_file(
      write("run.OUT", "Circuit: test\nvmax = 7\n.MEAS TRAN VMAX MAX V(1)\nvmax = 9 at= 3\n"));
  ScriptReport report;
  const int n = script(
      "  #autoplot tran V(1)  \r\n"
      "#CALC TRAN Y=V(1)+1\n"
      "#MEASURE TRAN MAX VMAX YVAR=Y\n"
      "#AUTOPLOT TRAN Y XAXIS=(0,10,0)\n"
      "#MEASURE TRAN VALUE VX YVAR=NOSUCH XVAL=1\n"
      "#RUNSCRIPT OTHER.QSC\n#SUBTITLE \"NOT HERE\"\n#REVISION: R1\n"
      "#TABULATE VMAX\n"
      "#WRITEDATA TRAN Y\n#WRITEDATA TRAN V(1)\n",
      &report);
  EXPECT_EQ(n, 8);
  EXPECT_EQ(report.statements, 8);
  EXPECT_EQ(applied, 1);
  EXPECT_TRUE(state.script_name.ends_with("s.qsc"));
  EXPECT_EQ(state.subtitle, "");
  EXPECT_EQ(state.revision, "");
  ASSERT_EQ(report.calculated.size(), 2u);
  EXPECT_EQ(report.calculated[0].name, "Y");
  ASSERT_EQ(report.measures.size(), 2u);
  EXPECT_EQ(report.measures[0].name, "VMAX");
  EXPECT_EQ(report.measures[0].values, (std::vector<double>{9, 17}));
  EXPECT_LE(report.measures[1].status, 0);
  EXPECT_EQ(report.failed, (std::vector<std::string>{"#AUTOPLOT TRAN Y XAXIS=(0,10,0)",
                                                     "#MEASURE TRAN VALUE VX YVAR=NOSUCH XVAL=1"}));
  EXPECT_TRUE(report.not_available.empty());
  // #TABULATE ran at once: the listing's two values against a RUN# of their own.
  ASSERT_EQ(report.tabulated.size(), 1u);
  EXPECT_EQ(report.tabulated[0].points, 2);
  EXPECT_EQ(report.tabulated[0].x_name, "RUN#");
  EXPECT_EQ(values(report.tabulated[0].vector), (std::vector<double>{7, 9}));
  // The script's write-data job ran at its end: two statements into the one file beside the data.
  ASSERT_EQ(report.written.size(), 2u);
  const std::string out = (dir / "run_WRITEDATA.TXT").string();
  for (const WriteDataOutcome& w : report.written) {
    EXPECT_EQ(w.status, 1);
    EXPECT_EQ(w.variables, 2);  // a trace per run
    EXPECT_EQ(w.file, out);
  }
  EXPECT_TRUE(notify.saw("#WRITEDATA 4 variables written"));
  EXPECT_TRUE(state.write_data.empty());
}

TEST_F(ScriptFixture, OverlongLinesAreReadInPieces) {
  // 600 characters: the first 511 are one line, the rest another that is a statement of its own.
  const std::string line = "#CALC TRAN A=V(1)" + std::string(511 - 17, ' ') + "#CALC TRAN B=V(1)\n";
  ScriptReport report;
  EXPECT_EQ(script(line + std::string(5000, '#') + "\n#CALC TRAN C=1\n", &report), 3);
  EXPECT_EQ(runs_of("A"), 2);
  EXPECT_EQ(runs_of("B"), 2);
  EXPECT_EQ(runs_of("C"), 2);
  EXPECT_TRUE(report.failed.empty());
}

TEST_F(ScriptFixture, OrderOfWorkAfterAListing) {
  std::vector<std::string> order;
  const std::string script_path = write("after.qsc", "#AUTOPLOT TRAN Y\n#WRITEDATA TRAN OWN\n");
  state.hooks.tabulate = [&](const std::vector<std::string>& s) {
    order.push_back("tabulate " + s.at(0));
    EXPECT_FALSE(store.find_vector("Y", DATA_CLASS_BINARY, -1, -1, -1));
  };
  state.hooks.apply_autoplot = [&](AutoplotRequest&) {
    order.push_back("script");
    EXPECT_TRUE(store.find_vector("Y", DATA_CLASS_BINARY, -1, -1, -1));
    EXPECT_TRUE(store.find_vector("YMAX", DATA_CLASS_TEXT, -1, -1, -1));
  };
  state.hooks.write_data = [&](const std::vector<std::string>& s) { order.push_back("write " + s.at(0)); };
  for (const std::string& line :
       {std::string("#WRITEDATA TRAN Y"), std::string("#MEASURE TRAN MAX YMAX YVAR=Y"),
        std::string("#CALC TRAN Y=V(1)*2"), std::string("#TABULATE VMAX"), "#RUNSCRIPT " + script_path})
    dispatch_listing_statement(state, line, line, notify);
  ScriptReport report;
  run_after_listing(state, store, notify, &report);
  // The script completes its own write-data job before it applies its autoplot.
  EXPECT_EQ(order, (std::vector<std::string>{"tabulate #TABULATE VMAX", "write #WRITEDATA TRAN OWN", "script",
                                             "write #WRITEDATA TRAN Y"}));
  EXPECT_EQ(report.measures.size(), 1u);
  EXPECT_EQ(report.statements, 2);
  EXPECT_FALSE(state.run_script_after_listing);
  EXPECT_TRUE(state.measures.specs.empty());
  EXPECT_TRUE(notify.entries().empty()) << notify.last();
  // Nothing collected: nothing runs again.
  order.clear();
  run_after_listing(state, store, notify);
  EXPECT_TRUE(order.empty());
}

}  // namespace
}  // namespace zephyrim
