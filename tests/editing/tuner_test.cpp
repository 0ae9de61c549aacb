#include "editing/tuner.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>

#include "common/file_io.h"

namespace zephyrim {
namespace {

// Numbers as the entries read them, to the last bit.
double eng(const char* text) {
  return tuner_parse(text).value_or(NAN);
}

Tuner make(std::string name, double value, double lo, double hi, bool log, int steps) {
  Tuner t;
  t.name = std::move(name);
  t.value = value;
  t.minimum = lo;
  t.maximum = hi;
  t.log = log;
  t.steps = steps;
  return t;
}

TEST(TunerScale, LogarithmicStepsAreEqualRatios) {
  const Tuner t = make("C1", 10e-9, 1e-9, 100e-9, true, 100);
  EXPECT_EQ(tuner_value_at(t, 0), 1e-9);
  EXPECT_EQ(tuner_value_at(t, 100), 100e-9);
  EXPECT_NEAR(tuner_value_at(t, 50), 10e-9, 1e-15);
  // Ratios of neighbours agree to the shown precision.
  const double r1 = tuner_value_at(t, 11) / tuner_value_at(t, 10);
  const double r2 = tuner_value_at(t, 81) / tuner_value_at(t, 80);
  EXPECT_NEAR(r1, r2, 2e-3);
  EXPECT_EQ(tuner_position(t, 10e-9), 50);
  for (int p = 0; p <= 100; ++p) EXPECT_EQ(tuner_position(t, tuner_value_at(t, p)), p) << p;
  // Outside the range, and nonsense, give the ends.
  EXPECT_EQ(tuner_position(t, 1.0), 100);
  EXPECT_EQ(tuner_position(t, 0.0), 0);
  EXPECT_EQ(tuner_position(t, -5.0), 0);
  EXPECT_EQ(tuner_position(t, NAN), 0);
  EXPECT_EQ(tuner_value_at(t, -3), 1e-9);
  EXPECT_EQ(tuner_value_at(t, 1000), 100e-9);
}

TEST(TunerScale, LinearStepsAreEqualDifferencesRoundedAsShown) {
  const Tuner t = make("R1", 1000, 1000, 2000, false, 3);
  EXPECT_EQ(tuner_value_at(t, 1), 1333);  // four digits, as the entry shows it
  EXPECT_EQ(tuner_format(tuner_value_at(t, 1)), "1.333K");
  EXPECT_EQ(tuner_position(t, 1500), 2);  // 1.5 steps rounds up
  EXPECT_EQ(tuner_position(t, 1400), 1);
  const Tuner negative = make("VOFF", 0, -1, 1, false, 20);
  EXPECT_EQ(tuner_position(negative, 0), 10);
  EXPECT_EQ(tuner_value_at(negative, 5), -0.5);
}

TEST(TunerEntry, ReadsEngineeringNotationWithUnits) {
  EXPECT_EQ(tuner_parse("10n"), 10e-9);
  EXPECT_EQ(tuner_parse(" 10nF "), 10e-9);
  EXPECT_EQ(tuner_parse("2.2k"), 2200);
  EXPECT_EQ(tuner_parse("1MEG"), 1e6);
  EXPECT_EQ(tuner_parse("-3"), -3);
  for (const char* bad : {"", " ", "abc", "*", "1k2", "1.0.0x", "1-2", "+-1", "1e999", "10n F"})
    EXPECT_FALSE(tuner_parse(bad).has_value()) << bad;
}

TEST(TunerFile, LinesRoundTripAndBadLinesSayWhy) {
  Tuner t;
  std::string error;
  ASSERT_TRUE(tuner_parse_line("C1 10n 1n 100n log 100", t, error)) << error;
  EXPECT_EQ(t, make("C1", eng("10n"), eng("1n"), eng("100n"), true, 100));
  EXPECT_EQ(tuner_format_line(t), "C1 10n 1n 100n log 100");
  ASSERT_TRUE(tuner_parse_line("\tRload  2.2K 1k 10K LIN 50\r", t, error)) << error;
  EXPECT_EQ(t, make("Rload", 2200, 1000, 10000, false, 50));

  struct Case {
    const char* line;
    const char* error;
  };
  for (const Case& c :
       {Case{"C1 10n 1n 100n log", "expected NAME VALUE MINIMUM MAXIMUM lin|log STEPS, found 5 words"},
        Case{"C1 x 1n 100n log 100", "value \"x\" is not a number"},
        Case{"C1 1n 1n 100n cube 100", "scale \"cube\" is neither lin nor log"},
        Case{"C1 1n 100n 1n lin 100", "minimum 100n not below maximum 1n"},
        Case{"V1 0 -1 1 log 10", "a logarithmic range must lie above zero"},
        Case{"C1 1n 1n 100n lin 0", "steps must lie between 1 and 10000"},
        Case{"C1 1n 1n 100n lin 99999999999", "steps \"99999999999\" is not a whole number"},
        Case{"C1 1n 1n 100n lin -5", "steps \"-5\" is not a whole number"}}) {
    error.clear();
    EXPECT_FALSE(tuner_parse_line(c.line, t, error)) << c.line;
    EXPECT_EQ(error, c.error) << c.line;
  }

  std::vector<std::string> messages;
  const TunerList list = tuner_file_parse(
      "* comment\n\nC1 10n 1n 100n log 100\r\nbroken\nc1 1n 1n 2n lin 1\n; also a comment\nR1 1k 100 10k lin "
      "99",
      messages);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].name, "C1");
  EXPECT_EQ(list[1].name, "R1");
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0], "line 4: expected NAME VALUE MINIMUM MAXIMUM lin|log STEPS, found 1 words");
  EXPECT_EQ(messages[1], "line 5: c1 has a tuner already");
  messages.clear();
  EXPECT_EQ(tuner_file_parse(tuner_file_format(list), messages), list);
  EXPECT_TRUE(messages.empty());
}

TEST(TunerFile, WrittenBesideTheSchematicAndRemovedWhenEmpty) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("TunerFileWritten-" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string path = tuner_file_path((dir / "amp.sch").string());
  EXPECT_EQ(path, (dir / "amp.TUN").string());
  std::vector<std::string> messages;
  EXPECT_TRUE(tuner_file_read(path, messages).empty());
  EXPECT_TRUE(messages.empty());
  const TunerList list = {make("C1", eng("10n"), eng("1n"), eng("100n"), true, 100),
                          make("RL", 1e3, 100, 1e4, false, 10)};
  ASSERT_TRUE(tuner_file_write(path, list));
  EXPECT_EQ(tuner_file_read(path, messages), list);
  EXPECT_TRUE(messages.empty());
  ASSERT_TRUE(write_file_atomic(path, "C1 1n 1n 2n lin 10\nnonsense here\n"));
  EXPECT_EQ(tuner_file_read(path, messages).size(), 1u);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], path + ": line 2: expected NAME VALUE MINIMUM MAXIMUM lin|log STEPS, found 2 words");
  ASSERT_TRUE(tuner_file_write(path, {}));
  EXPECT_FALSE(fs::exists(path));
  fs::remove_all(dir);
}

TEST(TunerParams, FindAndReplaceAssignments) {
  const std::string text = ".param RVAL=1k CVAL = {2*1u}\n* .PARAM RVAL=5\n.PARAM gain='a + b', rval=2k\n";
  EXPECT_EQ(param_value(text, "rval"), "2k");  // the last assignment wins
  EXPECT_EQ(param_value(text, "CVAL"), "{2*1u}");
  EXPECT_EQ(param_value(text, "GAIN"), "'a + b'");
  EXPECT_FALSE(param_value(text, "a").has_value());
  EXPECT_FALSE(param_value(".PARAMS X=1", "X").has_value());

  std::string edited = text;
  EXPECT_EQ(param_replace(edited, "RVAL", "4.7K"), 2);
  EXPECT_EQ(edited, ".param RVAL=4.7K CVAL = {2*1u}\n* .PARAM RVAL=5\n.PARAM gain='a + b', rval=4.7K\n");
  EXPECT_EQ(param_replace(edited, "CVAL", "3u"), 1);
  EXPECT_EQ(param_value(edited, "CVAL"), "3u");
  EXPECT_EQ(param_replace(edited, "NONE", "1"), 0);
  // Broken statements neither crash nor match.
  for (const char* odd :
       {".PARAM", ".PARAM =", ".PARAM X=", ".PARAM X={1", ".PARAM ,,, =,= X", ".PARAM X='"}) {
    std::string s = odd;
    param_replace(s, "X", "1");
    (void)param_value(odd, "X");
  }
}

TEST(TunerNetlist, IncludesOfTheSchematicsFolderFollowIt) {
  std::string netlist =
      "T\n.INC models.lib\n.inc \"my models.lib\"\n.LIB opamps.lib TYP\n.INC rc.CMD\n.INC /abs/x.lib\n"
      ".INC/MDB NAME\n.INC 'broken\n";
  const auto in_folder = [](const std::string& n) { return n != "rc.CMD" && n != "/abs/x.lib"; };
  EXPECT_EQ(includes_from_folder(netlist, "/home/u/proj", in_folder), 3);
  EXPECT_EQ(
      netlist,
      "T\n.INC \"/home/u/proj/models.lib\"\n.inc \"/home/u/proj/my models.lib\"\n"
      ".LIB \"/home/u/proj/opamps.lib\" TYP\n.INC rc.CMD\n.INC /abs/x.lib\n.INC/MDB NAME\n.INC 'broken\n");
  std::string none = "T\n.END\n";
  EXPECT_EQ(includes_from_folder(none, "/x", in_folder), 0);
  EXPECT_EQ(none, "T\n.END\n");
}

// A schematic with C1 = 1u and a sheet text ".PARAM RLOAD=1k", on two pages.
struct Sheet {
  RecordingNotify notify;
  std::unique_ptr<Schematic> s = schematic_new("tune.sch", 1767603600);
  PartRecord* c1 = nullptr;
  TextRecord* params = nullptr;

  Sheet() {
    c1 = part_new(*s);
    c1->reference.assign("C1");
    c1->value.assign("1u");
    PartRecord* v1 = part_new(*s);
    v1->reference.assign("V1");
    v1->value.assign("PULSE(0 1 0 1u 1u 5m 10m)");
    page_add(*s, notify, 1767603600);
    params = text_new(*s);
    params->text = "* loads\n.PARAM RLOAD=1k";
    page_select(*s, 0, notify);
    s->modified = false;
  }
};

TEST(TunerSchematic, TunableNamesAndTargets) {
  Sheet sheet;
  EXPECT_EQ(tunable_names(*sheet.s), (std::vector<std::string>{"C1", "RLOAD"}));
  TunerTarget c = tuner_find(*sheet.s, "c1");
  EXPECT_EQ(c.page, 0);
  EXPECT_EQ(c.part, sheet.c1);
  TunerTarget r = tuner_find(*sheet.s, "RLOAD");
  EXPECT_EQ(r.page, 1);
  EXPECT_EQ(r.text, sheet.params);
  EXPECT_EQ(tuner_find(*sheet.s, "R9").page, -1);
}

TEST(TunerSchematic, TunedValuesComeBackAndApplyStores) {
  Sheet sheet;
  const TunerList list = {make("C1", 4.7e-6, 1e-9, 1e-5, true, 100),
                          make("RLOAD", 2200, 100, 1e4, false, 10)};
  {
    TunedValues tuned(*sheet.s, list);
    EXPECT_EQ(sheet.c1->value.str(), "4.7u");
    // .PARAM values go into the netlist text, not the sheet.
    EXPECT_EQ(*sheet.params->text, "* loads\n.PARAM RLOAD=1k");
    sheet.s->modified = true;  // what a netlist pass may mark
  }
  EXPECT_EQ(sheet.c1->value.str(), "1u");
  EXPECT_FALSE(sheet.s->modified);

  EXPECT_EQ(apply_tuner(*sheet.s, list[0], sheet.notify), 1);
  EXPECT_EQ(sheet.c1->value.str(), "4.7u");
  EXPECT_TRUE(sheet.s->modified);
  EXPECT_EQ(apply_tuner(*sheet.s, list[0], sheet.notify), 0);
  EXPECT_EQ(apply_tuner(*sheet.s, list[1], sheet.notify), 1);
  EXPECT_EQ(*sheet.params->text, "* loads\n.PARAM RLOAD=2.2K");
  EXPECT_EQ(apply_tuner(*sheet.s, make("R9", 1, 0, 2, false, 2), sheet.notify), -1);
  EXPECT_TRUE(sheet.notify.entries().empty());
}

}  // namespace
}  // namespace zephyrim
