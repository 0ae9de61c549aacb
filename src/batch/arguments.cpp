#include "batch/arguments.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace zephyrim {

namespace {

// The tool's one global option; it may stand before or after the verb.
constexpr OptionSpec kAnswerOption{.name = "--answer", .needs = "yes, no or cancel"};

bool is_help(std::string_view w) {
  return w == "--help" || w == "-h";
}

// "-" names standard input by habit, and "-5" is a value: neither is an option.
bool is_option_word(std::string_view w) {
  return w.size() > 1 && w[0] == '-' && !(w[1] >= '0' && w[1] <= '9') && w[1] != '.';
}

// An option word split at its '=': "--page=2" is "--page" with the value "2".
struct OptionWord {
  std::string_view name;
  std::optional<std::string_view> value;
};

OptionWord split_option(std::string_view w) {
  const size_t eq = w.find('=');
  if (!w.starts_with("--") || eq == std::string_view::npos) return {w, std::nullopt};
  return {w.substr(0, eq), w.substr(eq + 1)};
}

std::optional<double> parse_real(std::string_view text) {
  double v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return v;
}

std::string bound_text(double v) {
  char text[32];
  std::snprintf(text, sizeof text, v == std::floor(v) && std::fabs(v) < 1e15 ? "%.0f" : "%g", v);
  return text;
}

std::string needs_text(const OptionSpec& o) {
  if (!o.needs.empty()) return std::string(o.needs);
  if (o.kind != ValueKind::integer && o.kind != ValueKind::number) return "a value";
  std::string s = o.kind == ValueKind::integer ? "a whole number" : "a number";
  const bool low = std::isfinite(o.min), high = std::isfinite(o.max);
  if (low && high) return s + " from " + bound_text(o.min) + " to " + bound_text(o.max);
  if (low) return s + " of at least " + bound_text(o.min);
  if (high) return s + " of at most " + bound_text(o.max);
  return s;
}

bool value_fits(const OptionSpec& o, std::string_view v) {
  if (v.empty()) return false;
  std::optional<double> x;
  if (o.kind == ValueKind::integer) {
    if (const auto n = parse_whole_number(v)) x = static_cast<double>(*n);
  } else if (o.kind == ValueKind::number) {
    x = parse_real(v);
  } else {
    return true;
  }
  // Written so that NaN fails.
  return x && *x >= o.min && *x <= o.max;
}

// Takes the value of option `o` named by `word` (the word at words[i]), from its
// '=' or from the next word. Returns the error text, empty when all went well.
std::string take_value(const OptionSpec& o, const OptionWord& word, const std::vector<std::string>& words,
                       size_t& i, std::string& value) {
  const std::string name(word.name);
  if (o.kind == ValueKind::flag) {
    if (word.value) return name + " takes no value";
    value.clear();
    return {};
  }
  if (word.value) {
    value = std::string(*word.value);
  } else if (i + 1 < words.size()) {
    value = words[++i];
  } else {
    return name + " needs " + needs_text(o);
  }
  return value_fits(o, value) ? std::string() : name + " needs " + needs_text(o);
}

std::string take_answer(const OptionWord& word, const std::vector<std::string>& words, size_t& i,
                        int& answer) {
  std::string value;
  std::string why = take_value(kAnswerOption, word, words, i, value);
  if (!why.empty()) return why;
  const auto a = parse_answer(value);
  if (!a) return std::string(word.name) + " needs " + std::string(kAnswerOption.needs);
  answer = *a;
  return {};
}

const OptionSpec* find_option(const Verb& verb, std::string_view name) {
  for (const auto& o : verb.options)
    if (o.name == name || (!o.alias.empty() && o.alias == name)) return &o;
  return nullptr;
}

CommandLine failed(CommandLine r, std::string why) {
  r.status = ParseStatus::error;
  r.error = std::move(why);
  return r;
}

std::string check_counts(const Verb& verb, const Arguments& a) {
  const size_t most = verb.positionals.size();
  const size_t least =
      static_cast<size_t>(std::count_if(verb.positionals.begin(), verb.positionals.end(),
                                        [](std::string_view n) { return !n.starts_with('['); }));
  if (a.positionals.size() < least) return "missing " + std::string(verb.positionals[a.positionals.size()]);
  if (a.positionals.size() > most) return "unexpected argument '" + a.positionals[most] + "'";
  for (const auto& o : verb.options)
    if (o.required && !a.has(o.name)) return "missing " + std::string(o.alias.empty() ? o.name : o.alias);
  return {};
}

}  // namespace

std::string Arguments::text(std::string_view name, const std::string& fallback) const {
  const auto it = options.find(name);
  return it == options.end() ? fallback : it->second;
}

std::vector<std::string> Arguments::texts(std::string_view name) const {
  const auto it = all.find(name);
  return it == all.end() ? std::vector<std::string>() : it->second;
}

long long Arguments::integer(std::string_view name, long long fallback) const {
  const auto it = options.find(name);
  if (it == options.end()) return fallback;
  return parse_whole_number(it->second).value_or(fallback);
}

double Arguments::number(std::string_view name, double fallback) const {
  const auto it = options.find(name);
  if (it == options.end()) return fallback;
  return parse_real(it->second).value_or(fallback);
}

std::optional<int> parse_answer(std::string_view word) {
  if (word == "yes" || word == "ok") return 1;
  if (word == "no") return 0;
  if (word == "cancel") return -1;
  return std::nullopt;
}

std::optional<long long> parse_whole_number(std::string_view text) {
  long long v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return v;
}

CommandLine parse_verb_arguments(const Verb& verb, const std::vector<std::string>& words, int answer) {
  CommandLine r;
  r.arguments.verb = &verb;
  r.arguments.answer = answer;
  // Help wins wherever it stands, so that a half-typed command line still gets it.
  for (const auto& w : words) {
    if (w == "--") break;
    if (is_help(w)) {
      r.status = ParseStatus::help;
      return r;
    }
  }
  bool options_ended = false;
  for (size_t i = 0; i < words.size(); ++i) {
    const std::string& w = words[i];
    if (!options_ended && w == "--") {
      options_ended = true;
    } else if (options_ended || !is_option_word(w)) {
      if (w.empty()) return failed(std::move(r), "an empty argument");
      r.arguments.positionals.push_back(w);
    } else {
      const OptionWord word = split_option(w);
      std::string why;
      if (word.name == kAnswerOption.name) {
        why = take_answer(word, words, i, r.arguments.answer);
      } else if (const OptionSpec* o = find_option(verb, word.name)) {
        std::string value;
        why = take_value(*o, word, words, i, value);
        if (why.empty()) {
          r.arguments.all[std::string(o->name)].push_back(value);
          r.arguments.options[std::string(o->name)] = std::move(value);
        }
        // The further words of a pair: taken as they stand, "-5" included.
        for (int k = 1; why.empty() && k < o->words; ++k) {
          if (i + 1 >= words.size() || is_option_word(words[i + 1]) || !value_fits(*o, words[i + 1]))
            why = std::string(word.name) + " needs " + std::to_string(o->words) + " values, each " +
                  needs_text(*o);
          else
            r.arguments.all[std::string(o->name)].push_back(words[++i]);
        }
      } else {
        why = "unknown option " + std::string(word.name);
      }
      if (!why.empty()) return failed(std::move(r), why);
    }
  }
  std::string why = check_counts(verb, r.arguments);
  return why.empty() ? r : failed(std::move(r), why);
}

CommandLine parse_command_line(const std::vector<Verb>& verbs, const std::vector<std::string>& words) {
  CommandLine r;
  size_t i = 0;
  for (; i < words.size() && is_option_word(words[i]); ++i) {
    if (is_help(words[i])) {
      r.status = ParseStatus::help;
      return r;
    }
    const OptionWord word = split_option(words[i]);
    if (word.name != kAnswerOption.name)
      return failed(std::move(r), "unknown option " + std::string(word.name));
    std::string why = take_answer(word, words, i, r.arguments.answer);
    if (!why.empty()) return failed(std::move(r), why);
  }
  if (i == words.size()) return failed(std::move(r), "no command given");
  if (words[i] == "help") {
    r.status = ParseStatus::help;
    return r;
  }
  for (const auto& v : verbs)
    if (v.name == words[i])
      return parse_verb_arguments(
          v, std::vector<std::string>(words.begin() + static_cast<std::ptrdiff_t>(i) + 1, words.end()),
          r.arguments.answer);
  return failed(std::move(r), "unknown command '" + words[i] + "'");
}

int usage_error(const Arguments& arguments, std::string_view why) {
  if (!arguments.verb) {
    std::fprintf(stderr, "zephyrim: %.*s\n", static_cast<int>(why.size()), why.data());
    return 2;
  }
  const Verb& v = *arguments.verb;
  std::fprintf(stderr, "zephyrim %.*s: %.*s\n", static_cast<int>(v.name.size()), v.name.data(),
               static_cast<int>(why.size()), why.data());
  std::fwrite(v.usage.data(), 1, v.usage.size(), stderr);
  return 2;
}

std::string verb_help(const Verb& verb) {
  return std::string(verb.usage) +
         "Every command also takes --answer yes|no|cancel: the answer its questions take\n"
         "(default yes or OK, the one that lets the work go on).\n";
}

}  // namespace zephyrim
