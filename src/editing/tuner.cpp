#include "editing/tuner.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "common/eng_number.h"
#include "common/file_io.h"
#include "common/text_format.h"

namespace zephyrim {

namespace {

bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

char upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool is_letter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool same_name(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return upper(x) == upper(y); });
}

// The blank-separated words of a line.
std::vector<std::string_view> words_of(std::string_view line) {
  std::vector<std::string_view> out;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && is_blank(line[i])) ++i;
    const size_t start = i;
    while (i < line.size() && !is_blank(line[i])) ++i;
    if (i > start) out.push_back(line.substr(start, i - start));
  }
  return out;
}

// One "name = value" of a .PARAM line: where its value lies in the line.
struct Assignment {
  std::string_view name;
  size_t value_begin;
  size_t value_end;
};

// The assignments of a line when it is a .PARAM statement; empty otherwise.
std::vector<Assignment> param_assignments(std::string_view line) {
  std::vector<Assignment> out;
  size_t i = 0;
  while (i < line.size() && is_blank(line[i])) ++i;
  constexpr std::string_view kParam = ".PARAM";
  if (line.size() - i < kParam.size() || !same_name(line.substr(i, kParam.size()), kParam)) return out;
  i += kParam.size();
  if (i < line.size() && !is_blank(line[i])) return out;  // .PARAMS and the like are not ours
  while (i < line.size()) {
    while (i < line.size() && (is_blank(line[i]) || line[i] == ',')) ++i;
    const size_t name_begin = i;
    while (i < line.size() && !is_blank(line[i]) && line[i] != '=' && line[i] != ',') ++i;
    const std::string_view name = line.substr(name_begin, i - name_begin);
    while (i < line.size() && is_blank(line[i])) ++i;
    if (name.empty() || i >= line.size() || line[i] != '=') {
      // Not an assignment: skip the word and look on.
      if (i == name_begin) ++i;
      continue;
    }
    ++i;
    while (i < line.size() && is_blank(line[i])) ++i;
    const size_t value_begin = i;
    if (i < line.size() && (line[i] == '{' || line[i] == '\'' || line[i] == '"')) {
      // A braced or quoted expression runs to its closing mark, blanks and all.
      const char open = line[i];
      const char close = open == '{' ? '}' : open;
      int depth = 0;
      for (; i < line.size(); ++i) {
        if (open == '{' && line[i] == '{') ++depth;
        if (line[i] == close && (open != '{' || --depth == 0) && i > value_begin) {
          ++i;
          break;
        }
      }
    } else {
      while (i < line.size() && !is_blank(line[i]) && line[i] != ',') ++i;
    }
    out.push_back({name, value_begin, i});
  }
  return out;
}

// The lines of a text with where each begins, line breaks kept out.
struct LineSpan {
  size_t begin;
  size_t size;
};
std::vector<LineSpan> line_spans(std::string_view text) {
  std::vector<LineSpan> out;
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == '\n' || text[i] == '\r') {
      if (i > start || i < text.size()) out.push_back({start, i - start});
      if (i + 1 < text.size() && text[i] == '\r' && text[i + 1] == '\n') ++i;
      start = i + 1;
    }
  }
  return out;
}

}  // namespace

std::string tuner_check(const Tuner& t) {
  if (t.name.empty()) return "no name";
  if (t.name.size() > kTunerMaxName)
    return "name longer than " + std::to_string(kTunerMaxName) + " characters";
  for (char c : t.name)
    if (is_blank(c) || c == '=' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
      return "name \"" + t.name + "\" holds a blank or a control character";
  for (double v : {t.value, t.minimum, t.maximum})
    if (!std::isfinite(v) || !has_value(v)) return "a value is not a number";
  if (!(t.minimum < t.maximum))
    return "minimum " + tuner_format(t.minimum) + " not below maximum " + tuner_format(t.maximum);
  if (t.log && t.minimum <= 0) return "a logarithmic range must lie above zero";
  if (t.steps < kTunerMinSteps || t.steps > kTunerMaxSteps)
    return "steps must lie between " + std::to_string(kTunerMinSteps) + " and " +
           std::to_string(kTunerMaxSteps);
  return {};
}

int tuner_position(const Tuner& t, double value) {
  if (t.steps < 1 || !(t.minimum < t.maximum)) return 0;
  double f;
  if (t.log) {
    if (t.minimum <= 0 || !(value > 0)) return 0;
    f = std::log(value / t.minimum) / std::log(t.maximum / t.minimum);
  } else {
    f = (value - t.minimum) / (t.maximum - t.minimum);
  }
  if (!(f > 0)) return 0;  // NaN too
  if (f >= 1) return t.steps;
  return static_cast<int>(std::lround(f * t.steps));
}

double tuner_value_at(const Tuner& t, int position) {
  if (t.steps < 1) return t.minimum;
  position = std::clamp(position, 0, t.steps);
  // The ends are the range's own numbers, not a rounding of them.
  if (position == 0) return t.minimum;
  if (position == t.steps) return t.maximum;
  const double f = static_cast<double>(position) / t.steps;
  const double v =
      t.log ? t.minimum * std::pow(t.maximum / t.minimum, f) : t.minimum + (t.maximum - t.minimum) * f;
  return tuner_parse(tuner_format(v)).value_or(v);
}

std::string tuner_format(double value) {
  return format_eng(value, kTunerPrecision);
}

std::optional<double> tuner_parse(std::string_view text) {
  if (text.size() > 64) return std::nullopt;
  std::string s(text);
  while (!s.empty() && is_blank(s.back())) s.pop_back();
  double v = 0;
  const int used = parse_eng(s, v, true);
  if (used <= 0 || s == "*") return std::nullopt;
  // The reader stops converting at "1.0.0" or "1-2" but counts it all: such a
  // text is a typing error here, not the number before it.
  size_t numeric = s.find_first_not_of("0123456789+-.E");
  if (numeric == std::string::npos) numeric = s.size();
  while (numeric > 0 && s[numeric - 1] != '.' && (s[numeric - 1] < '0' || s[numeric - 1] > '9')) --numeric;
  const std::string prefix = s.substr(0, numeric);
  char* end = nullptr;
  std::strtod(prefix.c_str(), &end);
  if (end != prefix.c_str() + prefix.size()) return std::nullopt;
  for (size_t i = static_cast<size_t>(used); i < s.size(); ++i)
    if (!is_letter(s[i])) return std::nullopt;
  if (!std::isfinite(v) || !has_value(v)) return std::nullopt;
  return v;
}

bool tuner_parse_line(std::string_view line, Tuner& t, std::string& error) {
  const std::vector<std::string_view> w = words_of(line);
  if (w.size() != 6) {
    error = "expected NAME VALUE MINIMUM MAXIMUM lin|log STEPS, found " + std::to_string(w.size()) + " words";
    return false;
  }
  Tuner out;
  out.name = std::string(w[0]);
  const char* labels[] = {"value", "minimum", "maximum"};
  double* fields[] = {&out.value, &out.minimum, &out.maximum};
  for (int k = 0; k < 3; ++k) {
    const auto v = tuner_parse(w[1 + k]);
    if (!v) {
      error = std::string(labels[k]) + " \"" + std::string(w[1 + k].substr(0, 40)) + "\" is not a number";
      return false;
    }
    *fields[k] = *v;
  }
  if (same_name(w[4], "log")) {
    out.log = true;
  } else if (!same_name(w[4], "lin")) {
    error = "scale \"" + std::string(w[4].substr(0, 40)) + "\" is neither lin nor log";
    return false;
  }
  int steps = 0;
  const std::string_view s = w[5];
  if (s.empty() || s.size() > 6 ||
      !std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
      !parse_int_field(s, steps)) {
    error = "steps \"" + std::string(s.substr(0, 40)) + "\" is not a whole number";
    return false;
  }
  out.steps = steps;
  if (std::string why = tuner_check(out); !why.empty()) {
    error = why;
    return false;
  }
  t = std::move(out);
  return true;
}

std::string tuner_format_line(const Tuner& t) {
  return t.name + " " + tuner_format(t.value) + " " + tuner_format(t.minimum) + " " +
         tuner_format(t.maximum) + (t.log ? " log " : " lin ") + std::to_string(t.steps);
}

TunerList tuner_file_parse(std::string_view text, std::vector<std::string>& messages) {
  TunerList out;
  int number = 0;
  for (const std::string_view line : split_lines(text)) {
    ++number;
    const auto w = words_of(line);
    if (w.empty() || w[0][0] == '*' || w[0][0] == ';') continue;
    Tuner t;
    std::string error;
    if (!tuner_parse_line(line, t, error)) {
      messages.push_back("line " + std::to_string(number) + ": " + error);
      continue;
    }
    if (std::any_of(out.begin(), out.end(), [&](const Tuner& o) { return same_name(o.name, t.name); })) {
      messages.push_back("line " + std::to_string(number) + ": " + t.name + " has a tuner already");
      continue;
    }
    out.push_back(std::move(t));
  }
  return out;
}

std::string tuner_file_format(const TunerList& tuners) {
  std::string out = "* Tuners: name value minimum maximum lin|log steps\n";
  for (const Tuner& t : tuners) out += tuner_format_line(t) + "\n";
  return out;
}

std::string tuner_file_path(const std::string& schematic_path) {
  return with_extension(schematic_path, "TUN");
}

TunerList tuner_file_read(const std::string& path, std::vector<std::string>& messages) {
  if (!file_exists(path)) return {};
  const auto text = read_text_file(path, kTunerFileMaxSize);
  if (!text) {
    messages.push_back("Cannot read tuner file " + path);
    return {};
  }
  std::vector<std::string> lines;
  TunerList out = tuner_file_parse(*text, lines);
  for (auto& l : lines) messages.push_back(path + ": " + l);
  return out;
}

bool tuner_file_write(const std::string& path, const TunerList& tuners) {
  if (tuners.empty()) {
    std::error_code ec;
    std::filesystem::remove(path, ec);
    return !ec;
  }
  return write_file_atomic(path, tuner_file_format(tuners));
}

// --- the schematic side ---

std::optional<double> part_numeric_value(const PartRecord& p) {
  return tuner_parse(p.value.str());
}

std::optional<std::string> param_value(std::string_view text, std::string_view name) {
  std::optional<std::string> out;
  for (const LineSpan& l : line_spans(text)) {
    const std::string_view line = text.substr(l.begin, l.size);
    for (const Assignment& a : param_assignments(line))
      if (same_name(a.name, name)) out = std::string(line.substr(a.value_begin, a.value_end - a.value_begin));
  }
  return out;
}

int param_replace(std::string& text, std::string_view name, std::string_view value) {
  int count = 0;
  std::string out;
  out.reserve(text.size() + value.size());
  size_t copied = 0;
  for (const LineSpan& l : line_spans(text)) {
    const std::string_view line = std::string_view(text).substr(l.begin, l.size);
    for (const Assignment& a : param_assignments(line)) {
      if (!same_name(a.name, name)) continue;
      out.append(text, copied, l.begin + a.value_begin - copied);
      out += value;
      copied = l.begin + a.value_end;
      ++count;
    }
  }
  if (count == 0) return 0;
  out.append(text, copied, std::string::npos);
  text = std::move(out);
  return count;
}

int includes_from_folder(std::string& netlist, const std::string& folder,
                         const std::function<bool(const std::string& name)>& only_in_folder) {
  std::string out;
  int changed = 0;
  size_t copied = 0;
  for (const LineSpan& l : line_spans(netlist)) {
    const std::string_view line = std::string_view(netlist).substr(l.begin, l.size);
    const auto w = words_of(line);
    if (w.size() < 2) continue;
    if (!same_name(w[0], ".INC") && !same_name(w[0], ".INCLUDE") && !same_name(w[0], ".LIB")) continue;
    // The name: quoted (blanks and all) or the next word; a .LIB section name may follow.
    const size_t name_at = static_cast<size_t>(w[1].data() - line.data());
    std::string_view name = w[1];
    size_t name_end = name_at + name.size();
    if (name.front() == '"' || name.front() == '\'') {
      const size_t close = line.find(name.front(), name_at + 1);
      if (close == std::string_view::npos) continue;
      name = line.substr(name_at + 1, close - name_at - 1);
      name_end = close + 1;
    }
    if (name.empty() || name.front() == '/' || !only_in_folder(std::string(name))) continue;
    const std::string full = (std::filesystem::path(folder) / std::string(name)).string();
    out.append(netlist, copied, l.begin + name_at - copied);
    out += "\"" + full + "\"";
    copied = l.begin + name_end;
    ++changed;
  }
  if (changed == 0) return 0;
  out.append(netlist, copied, std::string::npos);
  netlist = std::move(out);
  return changed;
}

TunerTarget tuner_find(Schematic& s, const std::string& name) {
  TunerTarget found;
  for (size_t n = 0; n < s.pages.size(); ++n)
    for (const auto& p : s.pages[n]->parts)
      if (same_name(p->reference.str(), name)) {
        found.page = static_cast<int>(n);
        found.part = p.get();
        return found;
      }
  for (size_t n = 0; n < s.pages.size(); ++n)
    for (const auto& t : s.pages[n]->texts)
      if (t->text && param_value(*t->text, name)) {
        found.page = static_cast<int>(n);
        found.text = t.get();
        return found;
      }
  return found;
}

std::vector<std::string> tunable_names(Schematic& s) {
  std::vector<std::string> out;
  auto add = [&](std::string_view name) {
    if (name.empty() || name.size() > kTunerMaxName) return;
    if (std::none_of(out.begin(), out.end(), [&](const std::string& o) { return same_name(o, name); }))
      out.emplace_back(name);
  };
  for (const auto& page : s.pages)
    for (const auto& p : page->parts)
      if (!p->reference.empty() && part_numeric_value(*p)) add(p->reference.str());
  for (const auto& page : s.pages)
    for (const auto& t : page->texts) {
      if (!t->text) continue;
      const std::string_view text = *t->text;
      for (const LineSpan& l : line_spans(text))
        for (const Assignment& a : param_assignments(text.substr(l.begin, l.size))) add(a.name);
    }
  return out;
}

int apply_tuner(Schematic& s, const Tuner& t, Notify& notify) {
  const TunerTarget target = tuner_find(s, t.name);
  const std::string value = tuner_format(t.value);
  if (target.part) {
    if (target.part->value.str() == value) return 0;
    part_set_value(*target.part, value, notify);
    mark_changed(s, target.part->owner);
    return 1;
  }
  if (target.text) {
    std::string text = *target.text->text;
    param_replace(text, t.name, value);
    if (text == *target.text->text) return 0;
    target.text->text = std::move(text);
    mark_changed(s, target.text->owner);
    return 1;
  }
  return -1;
}

namespace {

std::vector<std::string> value_texts(const TunerList& tuners) {
  std::vector<std::string> out;
  for (const Tuner& t : tuners) out.push_back(tuner_format(t.value));
  return out;
}

}  // namespace

TunedValues::TunedValues(Schematic& s, const TunerList& tuners)
    : TunedValues(s, tuners, value_texts(tuners)) {}

TunedValues::TunedValues(Schematic& s, const TunerList& tuners, const std::vector<std::string>& texts)
    : s_(s), modified_(s.modified), revision_due_(s.revision_due) {
  for (size_t k = 0; k < tuners.size() && k < texts.size(); ++k) {
    const TunerTarget target = tuner_find(s, tuners[k].name);
    if (!target.part) continue;
    saved_.push_back({target.part, target.part->value.str()});
    target.part->value.assign(texts[k]);
  }
}

TunedValues::~TunedValues() {
  for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) it->part->value.assign(it->value);
  s_.modified = modified_;
  s_.revision_due = revision_due_;
}

}  // namespace zephyrim
