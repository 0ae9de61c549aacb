// The one parser of the batch tool's verbs: what it takes, what it refuses with
// which words, and that the verbs scripts call keep their options.
#include "batch/arguments.h"

#include <gtest/gtest.h>

#include "batch/batch.h"
#include "batch/draw/draw_program.h"

namespace zephyrim {
namespace {

using Words = std::vector<std::string>;

const Verb kVerb{.name = "draw",
                 .usage = "usage: zephyrim draw FILE [NAME]\n",
                 .positionals = {"FILE", "[NAME]"},
                 .options = {kOutputOption,
                             {.name = "--count", .kind = ValueKind::integer, .min = 0, .max = 9},
                             {.name = "--scale", .kind = ValueKind::number},
                             {.name = "--append", .kind = ValueKind::flag}}};

CommandLine parse(const Words& words) {
  return parse_verb_arguments(kVerb, words);
}

// The error text of a command line, or "ok" / "help".
std::string outcome(const CommandLine& c) {
  return c.status == ParseStatus::ok ? "ok" : c.status == ParseStatus::help ? "help" : c.error;
}

TEST(Arguments, TakesPositionalsOptionsFlagsAndAliases) {
  const CommandLine c = parse({"a.sch", "-o", "x.png", "--append", "--count", "3", "--scale=-2.5", "b"});
  ASSERT_EQ(outcome(c), "ok");
  const Arguments& a = c.arguments;
  EXPECT_EQ(a.positionals, (Words{"a.sch", "b"}));
  EXPECT_EQ(a.text("--output"), "x.png");
  EXPECT_TRUE(a.has("--append"));
  EXPECT_EQ(a.integer("--count", -1), 3);
  EXPECT_EQ(a.number("--scale", 0), -2.5);
  EXPECT_EQ(a.answer, kDefaultAnswer);
  EXPECT_EQ(a.verb, &kVerb);

  // Defaults for what was not given; the last of a repeated option wins.
  const Arguments b = parse({"--output=y.svg", "a", "-o", "z.svg"}).arguments;
  EXPECT_FALSE(b.has("--append"));
  EXPECT_EQ(b.integer("--count", 7), 7);
  EXPECT_EQ(b.text("--output"), "z.svg");

  // A lone "-", negative numbers and whatever follows "--" are positional;
  // an option's value may itself start with '-'.
  EXPECT_EQ(parse({"-", "-5"}).arguments.positionals, (Words{"-", "-5"}));
  EXPECT_EQ(parse({"--", "--append", "-o"}).arguments.positionals, (Words{"--append", "-o"}));
  EXPECT_EQ(parse({"a", "-o", "-x.png"}).arguments.text("--output"), "-x.png");
}

TEST(Arguments, RefusesWithTheReason) {
  EXPECT_EQ(outcome(parse({"a", "--bogus"})), "unknown option --bogus");
  EXPECT_EQ(outcome(parse({"a", "-q"})), "unknown option -q");
  EXPECT_EQ(outcome(parse({"a", "-o"})), "-o needs a file name");
  EXPECT_EQ(outcome(parse({"a", "--output="})), "--output needs a file name");
  EXPECT_EQ(outcome(parse({"a", "--count"})), "--count needs a whole number from 0 to 9");
  EXPECT_EQ(outcome(parse({"a", "--count", "10"})), "--count needs a whole number from 0 to 9");
  EXPECT_EQ(outcome(parse({"a", "--count", "2x"})), "--count needs a whole number from 0 to 9");
  EXPECT_EQ(outcome(parse({"a", "--count", "99999999999999999999"})),
            "--count needs a whole number from 0 to 9");
  EXPECT_EQ(outcome(parse({"a", "--scale", "nan"})), "--scale needs a number");
  EXPECT_EQ(outcome(parse({"a", "--append=1"})), "--append takes no value");
  EXPECT_EQ(outcome(parse({})), "missing FILE");
  EXPECT_EQ(outcome(parse({"a", "b", "c"})), "unexpected argument 'c'");
  EXPECT_EQ(outcome(parse({""})), "an empty argument");

  Verb required = kVerb;
  required.options = {kRequiredOutputOption};
  EXPECT_EQ(outcome(parse_verb_arguments(required, {"a"})), "missing -o");
}

TEST(Arguments, HelpWinsWhereverItStands) {
  EXPECT_EQ(outcome(parse({"--help"})), "help");
  EXPECT_EQ(outcome(parse({"a", "--bogus", "-h"})), "help");
  EXPECT_EQ(parse({"a", "--", "--help"}).arguments.positionals, (Words{"a", "--help"}));
  EXPECT_NE(verb_help(kVerb).find("usage: zephyrim draw FILE [NAME]\n"), std::string::npos);
  EXPECT_NE(verb_help(kVerb).find("--answer yes|no|cancel"), std::string::npos);
}

TEST(Arguments, GlobalAnswerBeforeOrAfterTheVerb) {
  const std::vector<Verb> verbs{kVerb};
  auto answer = [&](const Words& words) {
    const CommandLine c = parse_command_line(verbs, words);
    return c.status == ParseStatus::ok ? c.arguments.answer : 99;
  };
  EXPECT_EQ(answer({"draw", "a"}), 1);
  EXPECT_EQ(answer({"--answer", "no", "draw", "a"}), 0);
  EXPECT_EQ(answer({"draw", "a", "--answer", "cancel"}), -1);
  EXPECT_EQ(answer({"--answer=no", "draw", "--answer=yes", "a"}), 1);
  EXPECT_EQ(answer({"draw", "--answer", "ok", "a"}), 1);

  EXPECT_EQ(outcome(parse_command_line(verbs, {"--answer", "maybe", "draw", "a"})),
            "--answer needs yes, no or cancel");
  EXPECT_EQ(outcome(parse_command_line(verbs, {"draw", "a", "--answer"})),
            "--answer needs yes, no or cancel");
  EXPECT_EQ(outcome(parse_command_line(verbs, {"--answer", "no"})), "no command given");
  EXPECT_EQ(outcome(parse_command_line(verbs, {"paint"})), "unknown command 'paint'");
  EXPECT_EQ(outcome(parse_command_line(verbs, {"--verbose", "draw"})), "unknown option --verbose");
  for (const Words& help : {Words{"--help"}, Words{"help"}, Words{"--answer", "no", "-h", "draw"}}) {
    const CommandLine c = parse_command_line(verbs, help);
    EXPECT_EQ(outcome(c), "help");
    EXPECT_EQ(c.arguments.verb, nullptr);
  }
  EXPECT_EQ(parse_command_line(verbs, {"draw", "--help"}).arguments.verb, &verbs[0]);
}

TEST(Arguments, TheToolsVerbsKeepTheirOptions) {
  const std::vector<Verb> verbs = batch_verbs();
  const std::vector<Verb> drawing = drawing_program_verbs();
  ASSERT_EQ(drawing.size(), verbs.size());
  for (size_t i = 0; i < verbs.size(); ++i) {
    const Verb& v = verbs[i];
    EXPECT_EQ(v.usage.substr(0, 16 + v.name.size()), "usage: zephyrim " + std::string(v.name)) << v.name;
    // zephyrim runs every verb that draws nothing; the drawing program has them all.
    EXPECT_EQ(v.run != nullptr, !v.draws) << v.name;
    EXPECT_NE(drawing[i].run, nullptr) << v.name;
  }
  // Command lines that scripts write: each must keep working, or keep failing.
  const std::vector<std::pair<Words, std::string>> lines{
      {{"check", "a.sch"}, "ok"},
      {{"dump", "a.sch", "-o", "a.txt"}, "ok"},
      {{"map", "a.sch", "-o", "a.map"}, "ok"},
      {{"setup", "a.SIM"}, "ok"},
      {{"commands", "a.sch", "--simulator", "3", "-o", "a.CMD"}, "ok"},
      {{"commands", "a.sch", "--simulator", "4"}, "--simulator needs a whole number from 0 to 3"},
      {{"netlist", "a.sch", "--model", "a.lib", "--append", "--block", "OPAMP", "--simulator", "1"}, "ok"},
      {{"data", "a.raw"}, "ok"},
      {{"values", "a.raw", "V(OUT)", "--run", "2", "--kind", "2"}, "ok"},
      {{"values", "a.raw", "V(OUT)", "--run", "0"}, "--run needs a whole number from 1 to 2147483647"},
      {{"values", "a.raw"}, "missing VECTOR"},
      {{"render", "a.sch", "--page", "2", "--scale", "0.5", "-o", "a.pdf"}, "ok"},
      {{"render", "a.sch", "--scale", "0", "-o", "a.png"}, "--scale needs a number above 0, at most 16"},
      {{"render", "a.sch"}, "missing -o"},
      {{"symbols", "default.sym", "--sheet", "s.png"}, "ok"},
      {{"symbol", "default.sym", "R", "-o", "r.svg", "--scale", "2", "--steps", "rm"}, "ok"},
      {{"listen", "--count", "2", "--timeout", "-1"}, "ok"},
      {{"post", "ZS_TASKDONENOTIFY", "200", "-3"}, "ok"},
      {{"post"}, "missing NAME"},
  };
  for (const auto& [words, expected] : lines)
    EXPECT_EQ(outcome(parse_command_line(verbs, words)), expected) << words[0];
}

}  // namespace
}  // namespace zephyrim
