#pragma once
// The one command-line parser of the batch tool. Each verb declares its positional
// arguments, its options and its --help text; the parser hands back the values or
// the text of a usage error. Plain C++, so that it is tested without a display.
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zephyrim {

enum class ValueKind { flag, text, integer, number };

// One option of a verb. An integer or number value must lie within [min, max].
struct OptionSpec {
  std::string_view name = {};   // the long name, "--output"
  std::string_view alias = {};  // a short one, "-o", or empty
  ValueKind kind = ValueKind::text;
  double min = -std::numeric_limits<double>::infinity();
  double max = std::numeric_limits<double>::infinity();
  std::string_view needs = {};  // what a bad value is told it needs; empty: made from the kind and range
  bool required = false;
  // Words of value: 2 for a pair such as "--yield LO HI", each word checked as
  // the kind says; Arguments::texts ends with the pair given last.
  int words = 1;
};

// -o FILE, the file a verb writes.
inline constexpr OptionSpec kOutputOption{.name = "--output", .alias = "-o", .needs = "a file name"};
inline constexpr OptionSpec kRequiredOutputOption{
    .name = "--output", .alias = "-o", .needs = "a file name", .required = true};

struct Arguments;

// A verb of the tool: what it accepts, its help, and the function that does it.
struct Verb {
  std::string_view name = {};
  std::string_view summary = {};  // one line in the tool's list of verbs
  std::string_view usage = {};    // the whole --help text
  // The names of its positional arguments, for the error texts; the last ones may
  // stand in brackets, "[FIRST]", and those may be left out.
  std::vector<std::string_view> positionals = {};
  std::vector<OptionSpec> options = {};
  int (*run)(const Arguments&) = nullptr;
  // Drawing needs Qt, which costs every other verb its start-up time: a drawing
  // verb is parsed here but its work lives in the drawing program.
  bool draws = false;
};

// Questions take "yes"/"OK" unless the command line says otherwise: that lets the work go on.
inline constexpr int kDefaultAnswer = 1;

// The values of one command line, options by their long names (a flag holds "").
// An option given twice keeps its last value, so that a script can override its defaults;
// verbs whose option may stand several times (--spec) read every value.
struct Arguments {
  const Verb* verb = nullptr;
  std::vector<std::string> positionals;
  std::map<std::string, std::string, std::less<>> options;
  std::map<std::string, std::vector<std::string>, std::less<>> all;  // every value, in order
  int answer = kDefaultAnswer;                                       // 1 yes/OK, 0 no, -1 cancel

  bool has(std::string_view name) const { return options.find(name) != options.end(); }
  std::string text(std::string_view name, const std::string& fallback = {}) const;
  std::vector<std::string> texts(std::string_view name) const;
  // Values of integer and number options; the parser has checked them.
  long long integer(std::string_view name, long long fallback) const;
  double number(std::string_view name, double fallback) const;
};

enum class ParseStatus { ok, help, error };

struct CommandLine {
  ParseStatus status = ParseStatus::ok;
  Arguments arguments;  // arguments.verb is absent for the tool's own help and errors
  std::string error;    // a usage error, without the "zephyrim VERB: " in front
};

// Parses the words after the verb. "--help" or "-h" anywhere asks for help, "--"
// ends the options, and a lone "-" or a negative number is a positional argument.
// Long options also take "--name=value". The global --answer is accepted here too.
CommandLine parse_verb_arguments(const Verb& verb, const std::vector<std::string>& words,
                                 int answer = kDefaultAnswer);

// Parses a command line without the program name: global options, the verb, its
// arguments. The global --answer may stand before or after the verb.
CommandLine parse_command_line(const std::vector<Verb>& verbs, const std::vector<std::string>& words);

// "yes" or "ok" 1, "no" 0, "cancel" -1; absent for anything else.
std::optional<int> parse_answer(std::string_view word);

// A whole decimal number, nothing before or after it; absent when out of range.
std::optional<long long> parse_whole_number(std::string_view text);

// Prints "zephyrim VERB: why" and the verb's usage on stderr; returns the usage
// error status 2. For the checks a verb makes beyond the parser's.
int usage_error(const Arguments& arguments, std::string_view why);

// The usage of a verb for --help, with the lines every verb shares.
std::string verb_help(const Verb& verb);

}  // namespace zephyrim
