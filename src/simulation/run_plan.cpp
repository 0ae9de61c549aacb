#include "simulation/run_plan.h"

#include <cmath>
#include <cstdint>
#include <map>
#include <random>
#include <string_view>

#include "common/eng_number.h"
#include "common/text_format.h"
#include "simulation/statistics_file.h"

namespace zephyrim {

namespace {

constexpr size_t kMaxLabel = 31;
// Settings and random draws over all runs together: a plan of 50 toleranced
// parts in 10000 runs fits, a plan that would fill the memory does not.
constexpr size_t kMaxChanges = 1000000;
constexpr size_t kMaxCornerTargets = 12;  // 4096 corners
// Character comparisons allowed for matching .TOL patterns against names.
constexpr double kMatchBudget = 5e7;

// ---------------------------------------------------------------------------
// The fields of a statement and the values in them

struct Span {
  size_t begin = 0, end = 0;
};

bool blank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

bool letter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

std::string_view text_of(const std::string& s, Span f) {
  return std::string_view(s).substr(f.begin, f.end - f.begin);
}

// The end of the field or value that starts at i: braces, parentheses and
// quotes hold blanks (and stops) inside them; outside, a blank or a character
// of stops ends it, as does a closing parenthesis that opens nothing here.
size_t field_end(const std::string& s, size_t i, std::string_view stops) {
  int depth = 0;
  bool quoted = false;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    if (quoted) {
      quoted = c != '\'';
    } else if (c == '\'') {
      quoted = true;
    } else if (c == '{' || c == '(') {
      ++depth;
    } else if (depth > 0 && (c == '}' || c == ')')) {
      --depth;
    } else if (depth == 0 && (blank(c) || stops.find(c) != std::string_view::npos)) {
      break;
    }
  }
  return i;
}

std::vector<Span> fields(const std::string& s) {
  std::vector<Span> out;
  size_t i = 0;
  for (;;) {
    while (i < s.size() && blank(s[i])) ++i;
    if (i >= s.size()) return out;
    const size_t end = std::max(field_end(s, i, ""), i + 1);
    out.push_back({i, end});
    i = end;
  }
}

std::string trimmed(std::string_view s) {
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return std::string(s);
}

// What a value holds: a number, an expression, or both ({1k}).
struct Value {
  std::optional<double> number;
  std::optional<std::string> expression;  // inside {} or '', or a bare expression of a .param
};

Value read_value(std::string_view text, bool bare_expressions) {
  Value v;
  double n = 0;
  const bool braced = text.size() >= 2 && text.front() == '{' && text.back() == '}';
  const bool quoted = text.size() >= 2 && text.front() == '\'' && text.back() == '\'';
  if (braced || quoted) {
    v.expression = std::string(text.substr(1, text.size() - 2));
    if (statement_number(trimmed(*v.expression), n)) v.number = n;
  } else if (statement_number(text, n)) {
    v.number = n;
  } else if (bare_expressions && !text.empty()) {
    v.expression = std::string(text);
  }
  return v;
}

bool is_value(std::string_view text) {
  const Value v = read_value(text, false);
  return v.number || v.expression;
}

std::string number_text(double v) {
  return strprintf("%.12g", v);
}

// The text of a value after setting s: numbers stay numbers, an expression
// keeps its text inside the change so that its parameters still count.
std::string changed_value(const Value& old, const RunSetting& s) {
  if (s.change == RunChange::Set) return number_text(s.value);
  const bool scale = s.change == RunChange::Scale;
  if (!old.expression) {
    const double n = old.number.value_or(0);
    return number_text(scale ? n * s.value : n + s.value);
  }
  std::string out = "{(" + *old.expression + ")";
  if (scale)
    out += s.value < 0 ? "*(" + number_text(s.value) + ")" : "*" + number_text(s.value);
  else
    out += s.value < 0 ? "-" + number_text(-s.value) : "+" + number_text(s.value);
  return out + "}";
}

// The value after "KEY=", "KEY = " or "KEY =" among the fields from `from`,
// or with `bare` also after "KEY " (DC 5).
std::optional<Span> keyword_value(const std::string& s, const std::vector<Span>& f, size_t from,
                                  std::string_view key, bool bare) {
  for (size_t k = from; k < f.size(); ++k) {
    const std::string_view text = text_of(s, f[k]);
    if (iequals(text, key)) {
      if (k + 1 >= f.size()) return std::nullopt;
      const std::string_view next = text_of(s, f[k + 1]);
      if (next == "=") return k + 2 < f.size() ? std::optional<Span>(f[k + 2]) : std::nullopt;
      if (next.front() == '=') return Span{f[k + 1].begin + 1, f[k + 1].end};
      if (bare) return f[k + 1];
    } else if (text.size() > key.size() && istarts_with(text, key) && text[key.size()] == '=') {
      if (text.size() > key.size() + 1) return Span{f[k].begin + key.size() + 1, f[k].end};
      return k + 1 < f.size() ? std::optional<Span>(f[k + 1]) : std::nullopt;
    }
  }
  return std::nullopt;
}

// Where a part's value is in its line. `insert`: the line has none yet (a
// source without a DC value) and "DC value" goes in at span.begin.
struct Spot {
  Span span;
  bool insert = false;
};

// Controlled sources whose gain is not a plain field.
bool behavioural(std::string_view field) {
  static const char* const kWords[] = {"POLY", "VALUE",     "TABLE", "LAPLACE",
                                       "FREQ", "CHEBYSHEV", "VOL",   "CUR"};
  for (const char* w : kWords)
    if (istarts_with(field, w)) return true;
  return false;
}

std::optional<Spot> part_spot(const std::string& line, const std::vector<Span>& f) {
  if (f.empty()) return std::nullopt;
  const auto value_at = [&](size_t i) -> std::optional<Spot> {
    if (i < f.size() && is_value(text_of(line, f[i]))) return Spot{f[i]};
    return std::nullopt;
  };
  const char kind = ascii_upper(line[f[0].begin]);
  switch (kind) {
    case 'R':
    case 'C':
    case 'L': {
      const char key[2] = {kind, 0};
      if (auto v = keyword_value(line, f, 3, key, false))
        return is_value(text_of(line, *v)) ? std::optional<Spot>(Spot{*v}) : std::nullopt;
      return value_at(3);
    }
    case 'V':
    case 'I': {
      if (auto v = keyword_value(line, f, 3, "DC", true); v && is_value(text_of(line, *v))) return Spot{*v};
      if (auto v = value_at(3)) return v;
      if (f.size() >= 3) return Spot{{f[2].end, f[2].end}, true};
      return std::nullopt;
    }
    case 'E':
    case 'G':
    case 'F':
    case 'H':
      if (f.size() > 3 && behavioural(text_of(line, f[3]))) return std::nullopt;
      return value_at(kind == 'E' || kind == 'G' ? 5 : 4);
    default:
      return std::nullopt;
  }
}

struct Assignment {
  Span key, value;
};

// The NAME=VALUE pairs of a .param or .MODEL line from `from` on; blanks
// around "=" are allowed. In a model line parentheses and commas only
// separate; in a .param line "f(x)" stays one word (a function).
std::vector<Assignment> assignments(const std::string& s, size_t from, bool model) {
  std::vector<Assignment> out;
  const std::string_view separators = model ? ",()" : ",";
  const std::string_view stops = model ? ",)" : ",";
  size_t i = from;
  while (i < s.size()) {
    if (blank(s[i]) || s[i] == '=' || separators.find(s[i]) != std::string_view::npos) {
      ++i;
      continue;
    }
    const size_t key = i;
    while (i < s.size() && !blank(s[i]) && s[i] != '=' && separators.find(s[i]) == std::string_view::npos)
      ++i;
    const size_t key_end = i;
    size_t j = i;
    while (j < s.size() && blank(s[j])) ++j;
    if (j >= s.size() || s[j] != '=') continue;
    ++j;
    while (j < s.size() && blank(s[j])) ++j;
    const size_t end = field_end(s, j, stops);
    i = std::max(end, j);
    if (end > j) out.push_back({{key, key_end}, {j, end}});
  }
  return out;
}

bool name_like(std::string_view name) {
  if (name.empty() || !(letter(name[0]) || name[0] == '_')) return false;
  return name.find_first_of("(){}'\"") == std::string_view::npos;
}

// ---------------------------------------------------------------------------
// What the deck holds that a run can change

struct Entry {
  std::string name;  // as the deck writes it
  std::vector<size_t> lines;
  std::optional<double> nominal;  // a numeric value, when the deck gives one
  bool has_value = false;         // parts: a value that settings can change
};

struct ModelEntry {
  std::string name;
  std::vector<size_t> lines;
  std::vector<Entry> params;  // as its lines give them, in order
  std::map<std::string, size_t> param_at;
  const Entry* param(std::string_view p) const {
    const auto it = param_at.find(ascii_upper(p));
    return it == param_at.end() ? nullptr : &params[it->second];
  }
};

template <typename T>
T& entry(std::vector<T>& list, std::map<std::string, size_t>& at, std::string_view name) {
  const auto [it, added] = at.emplace(ascii_upper(name), list.size());
  if (added) {
    list.emplace_back();
    list.back().name = std::string(name);
  }
  return list[it->second];
}

template <typename T>
const T* find(const std::vector<T>& list, const std::map<std::string, size_t>& at, std::string_view name) {
  const auto it = at.find(ascii_upper(name));
  return it == at.end() ? nullptr : &list[it->second];
}

// The parts, .param values and models at the top level of the deck: lines
// inside .SUBCKT ... .ENDS belong to every instance of the subcircuit, and a
// .control block holds commands, not parts.
struct DeckIndex {
  std::vector<Entry> parts, params;
  std::vector<ModelEntry> models;
  std::map<std::string, size_t> part_at, param_at, model_at;
  const Entry* part(std::string_view name) const { return find(parts, part_at, name); }
  const Entry* param(std::string_view name) const { return find(params, param_at, name); }
  const ModelEntry* model(std::string_view name) const { return find(models, model_at, name); }
};

DeckIndex index_deck(const std::vector<std::string>& lines) {
  DeckIndex ix;
  size_t depth = 0;
  bool control = false;
  for (size_t n = 1; n < lines.size(); ++n) {
    const std::string& line = lines[n];
    const std::vector<Span> f = fields(line);
    if (f.empty()) continue;
    const std::string head = ascii_upper(text_of(line, f[0]));
    if (control) {
      control = head != ".ENDC";
      continue;
    }
    if (head == ".CONTROL") {
      control = true;
    } else if (head == ".SUBCKT") {
      ++depth;
    } else if (head == ".ENDS") {
      depth -= depth > 0;
    } else if (depth > 0) {
      continue;
    } else if (head == ".PARAM") {
      for (const Assignment& a : assignments(line, f[0].end, false)) {
        const std::string_view key = text_of(line, a.key);
        if (!name_like(key)) continue;
        Entry& e = entry(ix.params, ix.param_at, key);
        if (e.lines.empty() || e.lines.back() != n) e.lines.push_back(n);
        if (!e.has_value) e.nominal = read_value(text_of(line, a.value), true).number;
        e.has_value = true;
      }
    } else if (head == ".MODEL" && f.size() >= 2) {
      ModelEntry& m = entry(ix.models, ix.model_at, text_of(line, f[1]));
      m.lines.push_back(n);
      for (const Assignment& a : assignments(line, f[1].end, true)) {
        const std::string_view key = text_of(line, a.key);
        if (!name_like(key)) continue;
        Entry& p = entry(m.params, m.param_at, key);
        if (!p.has_value) p.nominal = read_value(text_of(line, a.value), true).number;
        p.has_value = true;
      }
    } else if (letter(head[0])) {
      Entry& e = entry(ix.parts, ix.part_at, text_of(line, f[0]));
      e.lines.push_back(n);
      if (e.has_value) continue;
      if (const auto spot = part_spot(line, f)) {
        e.has_value = true;
        e.nominal =
            spot->insert ? std::optional<double>(0.0) : read_value(text_of(line, spot->span), false).number;
      }
    }
  }
  return ix;
}

// ---------------------------------------------------------------------------
// Making a run's settings in the deck's lines

// False when the line has no value to change.
bool apply_part(std::string& line, const RunSetting& s) {
  const auto spot = part_spot(line, fields(line));
  if (!spot) return false;
  if (spot->insert) {
    Value zero;
    zero.number = 0;  // a source without a DC value has 0
    line.insert(spot->span.begin, " DC " + changed_value(zero, s));
    return true;
  }
  const std::string text = changed_value(read_value(text_of(line, spot->span), false), s);
  line.replace(spot->span.begin, spot->span.end - spot->span.begin, text);
  return true;
}

// Changes every assignment of `name` in the line; returns how many.
size_t apply_assignments(std::string& line, bool model, std::string_view name, const RunSetting& s) {
  const std::vector<Span> f = fields(line);
  const size_t from = model ? (f.size() >= 2 ? f[1].end : line.size()) : (f.empty() ? 0 : f[0].end);
  const std::vector<Assignment> list = assignments(line, from, model);
  size_t changed = 0;
  // From the back, so that the spans before a change stay where they are.
  for (auto it = list.rbegin(); it != list.rend(); ++it) {
    if (!iequals(text_of(line, it->key), name)) continue;
    const std::string text = changed_value(read_value(text_of(line, it->value), true), s);
    line.replace(it->value.begin, it->value.end - it->value.begin, text);
    ++changed;
  }
  return changed;
}

void add_model_param(std::string& line, const RunSetting& s) {
  const std::string text = s.param + "=" + number_text(s.value);
  const size_t last = line.find_last_not_of(" \t\r\n\f\v");
  if (last != std::string::npos && line[last] == ')')
    line.insert(last, " " + text);
  else
    line += " " + text;
}

std::string setting_name(const RunSetting& s) {
  return s.target == RunTarget::ModelParam ? s.name + "(" + s.param + ")" : s.name;
}

// ---------------------------------------------------------------------------
// Planning

// One value of a dimension: its part of the label and what it changes.
struct Choice {
  std::string label;
  std::vector<RunSetting> settings;
  std::optional<double> temperature;
};
using Dimension = std::vector<Choice>;

std::string temperature_label(double t) {
  return strprintf("Temp=%g", t);
}

std::string quoted(std::string_view word) {
  return "\"" + shown_statement(word) + "\"";
}

enum class Sweep { Lin, Dec, Oct, List };

struct SweepWord {
  Sweep sweep;
  bool percent;
};

std::optional<SweepWord> sweep_word(std::string_view word) {
  std::string u = ascii_upper(word);
  const bool percent = !u.empty() && u.back() == '%';
  if (percent) u.pop_back();
  if (u == "LIN") return SweepWord{Sweep::Lin, percent};
  if (u == "DEC") return SweepWord{Sweep::Dec, percent};
  if (u == "OCT") return SweepWord{Sweep::Oct, percent};
  if (u == "LIST") return SweepWord{Sweep::List, percent};
  return std::nullopt;
}

// The model type words that may stand before MODEL(PARAM) in a .STEP.
bool model_type_word(std::string_view w) {
  static const char* const kTypes[] = {"RES", "CAP", "IND",  "D",      "NPN",    "PNP",     "LPNP",
                                       "NJF", "PJF", "NMOS", "PMOS",   "GASFET", "VSWITCH", "ISWITCH",
                                       "SW",  "CSW", "CORE", "NPNSUB", "PNPSUB"};
  for (const char* t : kTypes)
    if (iequals(w, t)) return true;
  return false;
}

// The values of a LIN, DEC or OCT range; false with why when it has none or
// too many.
bool range_values(Sweep sweep, double start, double stop, double by, std::vector<double>& out,
                  std::string& why) {
  const double direction = stop >= start ? 1 : -1;
  double steps = 0, base = 0;
  if (sweep == Sweep::Lin) {
    // The sign of the increment does not matter: start and stop give the direction.
    by = std::fabs(by);
    if (!(by > 0)) {
      why = "the increment must not be 0";
      return false;
    }
    steps = std::fabs(stop - start) / by;
  } else {
    if (!(start > 0 && stop > 0)) {
      why = "start and stop must be above 0";
      return false;
    }
    if (!(by > 0)) {
      why = sweep == Sweep::Dec ? "the points per decade must be above 0"
                                : "the points per octave must be above 0";
      return false;
    }
    base = sweep == Sweep::Dec ? 10 : 2;
    steps = std::fabs(std::log(stop / start) / std::log(base)) * by;
  }
  if (!(steps < static_cast<double>(kMaxRuns))) {
    why = strprintf("more than %zu values", kMaxRuns);
    return false;
  }
  const size_t count = static_cast<size_t>(std::floor(steps + 1e-9)) + 1;
  for (size_t k = 0; k < count; ++k) {
    const double x = static_cast<double>(k);
    double v = sweep == Sweep::Lin ? start + direction * x * by : start * std::pow(base, direction * x / by);
    // The last value lands on stop when it is within rounding of it.
    const double near = sweep == Sweep::Lin ? 1e-9 * by : 1e-9 * std::fabs(stop);
    if (k + 1 == count && std::fabs(v - stop) <= near) v = stop;
    out.push_back(v);
  }
  return true;
}

struct Variable {
  RunTarget target = RunTarget::Part;
  std::string name, param;
  std::string label() const {
    if (target == RunTarget::Temperature) return "Temp";
    return target == RunTarget::ModelParam ? name + "(" + param + ")" : name;
  }
};

// "NAME(PARAM)" into v; false when the word is not of that form.
bool model_param_word(const std::string& w, Variable& v) {
  const size_t open = w.find('(');
  if (open == 0 || open == std::string::npos || w.back() != ')' || w.size() < open + 3) return false;
  v.target = RunTarget::ModelParam;
  v.name = w.substr(0, open);
  v.param = w.substr(open + 1, w.size() - open - 2);
  return v.param.find_first_of("()") == std::string::npos;
}

std::optional<Dimension> plan_step(const std::string& statement, const DeckIndex& ix, RunPlan& plan) {
  const auto fail = [&](const std::string& why) -> std::optional<Dimension> {
    plan.errors.push_back(shown_statement(statement) + ": " + why);
    return std::nullopt;
  };
  const std::vector<std::string> t = statement_words(statement);
  size_t i = 1;
  std::optional<SweepWord> sweep;
  if (i < t.size() && (sweep = sweep_word(t[i]))) ++i;
  if (i >= t.size()) return fail("no variable to step");
  Variable var;
  if (iequals(t[i], "PARAM")) {
    if (i + 1 >= t.size()) return fail("PARAM without a name");
    var.target = RunTarget::Param;
    var.name = t[i + 1];
    if (!name_like(var.name)) return fail(quoted(var.name) + " is not a parameter name");
    i += 2;
  } else if (iequals(t[i], "TEMP")) {
    var.target = RunTarget::Temperature;
    ++i;
  } else {
    if (model_type_word(t[i]) && i + 1 < t.size() && t[i + 1].find('(') != std::string::npos) ++i;
    const std::string& w = t[i++];
    if (w.find('(') != std::string::npos) {
      if (!model_param_word(w, var)) return fail(quoted(w) + " is not MODEL(PARAM)");
    } else if (letter(w[0]) && w.find_first_of("=)'{}") == std::string::npos) {
      var.name = w;
    } else {
      return fail(quoted(w) + " is not a part, PARAM name, MODEL(PARAM) or TEMP");
    }
  }
  if (!sweep && i < t.size() && (sweep = sweep_word(t[i]))) ++i;
  const Sweep kind = sweep ? sweep->sweep : Sweep::Lin;
  const bool percent = sweep && sweep->percent;

  std::vector<double> values;
  if (kind == Sweep::List) {
    if (i >= t.size()) return fail("LIST without values");
    if (t.size() - i > kMaxRuns) return fail(strprintf("more than %zu values", kMaxRuns));
    for (; i < t.size(); ++i) {
      double v = 0;
      if (!statement_number(t[i], v)) return fail(quoted(t[i]) + " is not a number");
      values.push_back(v);
    }
  } else {
    if (t.size() - i != 3)
      return fail(kind == Sweep::Lin ? "needs start, stop and increment" : "needs start, stop and points");
    double a[3] = {0, 0, 0};
    for (int k = 0; k < 3; ++k)
      if (!statement_number(t[i + k], a[k])) return fail(quoted(t[i + k]) + " is not a number");
    std::string why;
    if (!range_values(kind, a[0], a[1], a[2], values, why)) return fail(why);
  }

  std::optional<double> nominal;
  if (var.target == RunTarget::Part) {
    const Entry* e = ix.part(var.name);
    if (!e)
      plan.warnings.push_back(shown_statement(statement) + ": " + var.name +
                              " is not in the netlist (parts inside .SUBCKT are not changed)");
    else if (!e->has_value)
      return fail(var.name + " has no value that .STEP can change");
    else
      nominal = e->nominal;
  } else if (var.target == RunTarget::Param) {
    if (const Entry* e = ix.param(var.name)) nominal = e->nominal;
  } else if (var.target == RunTarget::ModelParam) {
    const ModelEntry* m = ix.model(var.name);
    if (!m)
      plan.warnings.push_back(shown_statement(statement) + ": model " + var.name + " is not in the netlist");
    else if (const Entry* p = m->param(var.param))
      nominal = p->nominal;
  }
  if (percent) {
    if (var.target == RunTarget::Temperature) return fail("TEMP has no nominal value for a % sweep");
    if (!nominal) return fail(var.label() + " has no numeric value for a % sweep");
    for (double& v : values) {
      v = *nominal * v / 100;
      if (!std::isfinite(v) || !has_value(v)) return fail("a value is out of range");
    }
  }
  Dimension d;
  d.reserve(values.size());
  for (double v : values) {
    Choice c;
    if (var.target == RunTarget::Temperature) {
      c.label = temperature_label(v);
      c.temperature = v;
    } else {
      c.label = var.label() + "=" + format_eng(v, -1);
    }
    c.settings.push_back({var.target, var.name, var.param, RunChange::Set, v});
    d.push_back(std::move(c));
  }
  return d;
}

struct Statistics {
  enum class Mode { None, MonteCarlo, Corners, NoCorner } mode = Mode::None;
  size_t runs = 0;
  uint64_t seed = 1;
};

void plan_statistics(const std::string& statement, Statistics& stats, RunPlan& plan) {
  const auto fail = [&](const std::string& why) {
    plan.errors.push_back(shown_statement(statement) + ": " + why);
  };
  const std::vector<std::string> t = statement_words(statement);
  // The deck's own word decides: ".MC (5)" reads as ".MC(5)" here.
  const bool mc = istarts_with(trimmed(statement), ".MC");
  if (stats.mode != Statistics::Mode::None) {
    const bool had_mc = stats.mode == Statistics::Mode::MonteCarlo;
    return fail(had_mc == mc ? (mc ? "a second .MC" : "a second .WC") : ".MC and .WC together");
  }
  const auto ignored = [&](const std::string& w) {
    plan.warnings.push_back(shown_statement(statement) + ": " + quoted(w) + " ignored");
  };
  if (!mc) {
    stats.mode = Statistics::Mode::Corners;
    for (size_t i = 1; i < t.size(); ++i) {
      const std::string u = ascii_upper(t[i]);
      if (u == "CORNERS")
        stats.mode = Statistics::Mode::Corners;
      else if (u == "NOCORNER" || u == "NOCORNERS")
        stats.mode = Statistics::Mode::NoCorner;
      else
        ignored(t[i]);
    }
    return;
  }
  double runs = 0;
  if (t.size() < 2) return fail("needs the number of runs");
  if (!statement_number(t[1], runs) || runs < 1 || runs != std::floor(runs))
    return fail(quoted(t[1]) + " is not a number of runs");
  if (runs > static_cast<double>(kMaxRuns)) return fail(strprintf("%g runs; at most %zu", runs, kMaxRuns));
  stats.mode = Statistics::Mode::MonteCarlo;
  stats.runs = static_cast<size_t>(runs);
  for (size_t i = 2; i < t.size(); ++i) {
    if (!istarts_with(t[i], "SEED=")) {
      ignored(t[i]);
      continue;
    }
    double seed = 0;
    if (!statement_number(t[i].substr(5), seed) || seed < 0 || seed > 0x1.0p53 || seed != std::floor(seed))
      return fail(quoted(t[i]) + " is not a seed (a whole number from 0)");
    stats.seed = static_cast<uint64_t>(seed);
  }
}

// A part, model parameter or .param that a .TOL statement varies.
struct Toleranced {
  RunTarget target = RunTarget::Part;
  std::string name, param;
  std::optional<double> nominal;
};

// For each .TOL statement, the targets it varies: those it matches that no
// later statement matches too, so that a specific statement after a general
// one wins. False when the matching would take too long.
bool assign_targets(const DeckIndex& ix, const std::vector<Tolerance>& tols,
                    std::vector<std::vector<Toleranced>>& owned, std::vector<bool>& matched) {
  owned.assign(tols.size(), {});
  matched.assign(tols.size(), false);
  double cost = 0;
  const auto claim = [&](Tolerance::Kind kind, const std::string& name, const std::string& param,
                         Toleranced target) {
    std::optional<size_t> last;
    for (size_t k = 0; k < tols.size(); ++k) {
      const Tolerance& t = tols[k];
      if (t.kind != kind || (kind == Tolerance::Kind::ModelParam && !iequals(t.param, param))) continue;
      cost += static_cast<double>(t.pattern.size() + 1) * static_cast<double>(name.size() + 1);
      if (cost > kMatchBudget) return false;
      if (wildcard_match(t.pattern, name)) {
        matched[k] = true;
        last = k;
      }
    }
    if (last) owned[*last].push_back(std::move(target));
    return true;
  };
  for (const Entry& p : ix.parts)
    if (p.has_value && !claim(Tolerance::Kind::Part, p.name, "", {RunTarget::Part, p.name, "", p.nominal}))
      return false;
  for (const ModelEntry& m : ix.models)
    for (const Entry& p : m.params)
      if (!claim(Tolerance::Kind::ModelParam, m.name, p.name,
                 {RunTarget::ModelParam, m.name, p.name, p.nominal}))
        return false;
  for (const Entry& p : ix.params)
    if (!claim(Tolerance::Kind::Param, p.name, "", {RunTarget::Param, p.name, "", p.nominal})) return false;
  return true;
}

uint64_t splitmix64(uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

// Draws that come out the same on every machine: mt19937_64 is defined to the
// bit, the library distributions are not, so the conversions are ours.
class Draws {
 public:
  Draws(uint64_t seed, uint64_t run) : engine_(splitmix64(splitmix64(seed) + run)) {}
  double uniform() { return static_cast<double>(engine_() >> 11) * 0x1.0p-53; }  // [0, 1)
  double gaussian() {
    const double u1 = 1.0 - uniform();  // (0, 1]: the logarithm stays finite
    const double u2 = uniform();
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
  }
  // A deviation within +-limit (uniform) or of sigma limit/sigmas (Gaussian,
  // not clipped). Drawn even for a zero limit, so that adding a LOT to one
  // statement does not change the draws of the others.
  double deviation(const Tolerance& t, double limit) {
    return t.gaussian ? gaussian() * limit / t.sigmas : (2 * uniform() - 1) * limit;
  }

 private:
  std::mt19937_64 engine_;
};

RunSetting tolerance_setting(const Toleranced& target, bool relative, double deviation) {
  return {target.target, target.name, target.param, relative ? RunChange::Scale : RunChange::Offset,
          relative ? 1 + deviation : deviation};
}

Dimension monte_carlo(const Statistics& stats, const std::vector<Tolerance>& tols,
                      const std::vector<std::vector<Toleranced>>& owned) {
  Dimension d(stats.runs);
  for (size_t r = 0; r < stats.runs; ++r) {
    d[r].label = "MC";
    // Seeded by the Monte Carlo run alone: every step and temperature sees
    // the same sample of parts.
    Draws draws(stats.seed, r + 1);
    for (size_t k = 0; k < tols.size(); ++k) {
      const double lot = draws.deviation(tols[k], tols[k].lot);
      for (const Toleranced& target : owned[k])
        d[r].settings.push_back(
            tolerance_setting(target, tols[k].relative, lot + draws.deviation(tols[k], tols[k].device)));
    }
  }
  return d;
}

struct Limit {
  Toleranced target;
  bool relative = true;
  double limit = 0;  // lot + device
};

std::string limit_label(const Limit& l, double sign) {
  const std::string name =
      l.target.target == RunTarget::ModelParam ? l.target.name + "(" + l.target.param + ")" : l.target.name;
  const double change = sign * l.limit;
  if (l.target.nominal) {
    const double v = l.relative ? *l.target.nominal * (1 + change) : *l.target.nominal + change;
    return name + "=" + format_eng(v, -1);
  }
  if (l.relative) return name + "*" + strprintf("%g", 1 + change);
  return name + (change < 0 ? "" : "+") + format_eng(change, -1);
}

Dimension worst_case(const Statistics& stats, const std::vector<Limit>& limits) {
  Dimension d(1);
  d[0].label = "Nominal";
  if (limits.empty()) return d;
  if (stats.mode == Statistics::Mode::NoCorner) {
    for (const Limit& l : limits)
      for (double sign : {1.0, -1.0}) {
        Choice c;
        c.label = limit_label(l, sign);
        c.settings.push_back(tolerance_setting(l.target, l.relative, sign * l.limit));
        d.push_back(std::move(c));
      }
    return d;
  }
  const size_t n = limits.size();
  for (size_t corner = 0; corner < (size_t{1} << n); ++corner) {
    Choice c;
    c.label = "Corner ";
    for (size_t i = 0; i < n; ++i) {
      const bool high = (corner >> (n - 1 - i)) & 1;
      c.label += high ? '+' : '-';
      c.settings.push_back(
          tolerance_setting(limits[i].target, limits[i].relative, high ? limits[i].limit : -limits[i].limit));
    }
    d.push_back(std::move(c));
  }
  return d;
}

PlannedRun nominal_run(const NgspiceDeck& deck) {
  PlannedRun run;
  if (!deck.temperatures.empty()) run.temperature = deck.temperatures.front();
  run.label = "Run 1 " + temperature_label(run.temperature.value_or(27));
  return run;
}

// The product of the dimensions, the first outermost.
void multiply(const std::vector<Dimension>& dims, size_t total, RunPlan& plan) {
  std::vector<size_t> at(dims.size(), 0);
  plan.runs.reserve(total);
  for (size_t r = 0; r < total; ++r) {
    PlannedRun run;
    run.label = strprintf("Run %zu", r + 1);
    for (size_t d = 0; d < dims.size(); ++d) {
      const Choice& c = dims[d][at[d]];
      if (!c.label.empty()) run.label += " " + c.label;
      run.settings.insert(run.settings.end(), c.settings.begin(), c.settings.end());
      if (c.temperature) run.temperature = c.temperature;
    }
    if (run.label.size() > kMaxLabel) run.label.resize(kMaxLabel);
    plan.runs.push_back(std::move(run));
    for (size_t d = dims.size(); d-- > 0;) {
      if (++at[d] < dims[d].size()) break;
      at[d] = 0;
    }
  }
}

}  // namespace

RunPlan plan_runs(const NgspiceDeck& deck) {
  RunPlan plan;
  const DeckIndex ix = index_deck(deck.lines);
  std::vector<Dimension> dims;
  double runs = 1;     // of the dimensions so far
  double per_run = 0;  // settings and draws of one run
  bool step_temperature = false;
  Statistics stats;
  for (const std::string& statement : deck.sweeps) {
    const std::vector<std::string> t = statement_words(statement);
    if (t.empty()) continue;
    if (!istarts_with(trimmed(statement), ".STEP")) {
      plan_statistics(statement, stats, plan);
      continue;
    }
    if (runs > static_cast<double>(kMaxRuns)) continue;  // already reported
    std::optional<Dimension> d = plan_step(statement, ix, plan);
    if (!d) continue;
    step_temperature = step_temperature || d->front().temperature.has_value();
    runs *= static_cast<double>(d->size());
    per_run += 1;
    dims.push_back(std::move(*d));
    if (runs > static_cast<double>(kMaxRuns))
      plan.errors.push_back(strprintf("The .STEP statements ask for %g runs; at most %zu", runs, kMaxRuns));
  }
  if (deck.temperatures.size() > kMaxRuns) {
    plan.errors.push_back(
        strprintf(".TEMP gives %zu temperatures; at most %zu", deck.temperatures.size(), kMaxRuns));
  } else if (!deck.temperatures.empty()) {
    if (step_temperature) plan.errors.push_back(".STEP TEMP and .TEMP both set the temperature: use one");
    Dimension d;
    for (double t : deck.temperatures) d.push_back({temperature_label(t), {}, t});
    runs *= static_cast<double>(d.size());
    dims.push_back(std::move(d));
  }

  std::vector<Tolerance> tols;
  std::vector<std::string> tol_statements;
  for (const std::string& statement : deck.tolerances) {
    Tolerance tol;
    std::string message;
    if (parse_tolerance(statement, tol, message)) {
      tols.push_back(std::move(tol));
      tol_statements.push_back(statement);
    } else {
      plan.errors.push_back(message);
    }
  }
  std::vector<std::vector<Toleranced>> owned;
  std::vector<bool> matched;
  size_t targets = 0;
  double name_bytes = 0;  // of the targets' names, copied into every run's settings
  if (stats.mode != Statistics::Mode::None) {
    if (deck.tolerances.empty())
      plan.warnings.push_back("No .TOL statements: the .MC or .WC runs are all nominal");
    if (!assign_targets(ix, tols, owned, matched)) {
      plan.errors.push_back("Too many .TOL statements and parts to match against each other");
      owned.assign(tols.size(), {});
      matched.assign(tols.size(), true);  // not known, and no cause for more messages
    }
    for (size_t k = 0; k < tols.size(); ++k) {
      if (!matched[k])
        plan.warnings.push_back(shown_statement(tol_statements[k]) + ": matches nothing in the netlist");
      targets += owned[k].size();
      for (const Toleranced& t : owned[k]) name_bytes += static_cast<double>(t.name.size() + t.param.size());
    }
  }
  // The size of the statistics dimension, known before it is built.
  std::vector<Limit> limits;
  if (stats.mode == Statistics::Mode::MonteCarlo) {
    runs *= static_cast<double>(stats.runs);
    per_run += static_cast<double>(targets + tols.size());
  } else if (stats.mode != Statistics::Mode::None) {
    for (size_t k = 0; k < tols.size(); ++k)
      for (const Toleranced& target : owned[k])
        limits.push_back({target, tols[k].relative, tols[k].lot + tols[k].device});
    if (stats.mode == Statistics::Mode::Corners && limits.size() > kMaxCornerTargets) {
      plan.errors.push_back(
          strprintf(".WC CORNERS: %zu toleranced values would need 2^%zu corners; at most %zu "
                    "(%zu corners): use .WC NOCORNER or fewer .TOL statements",
                    limits.size(), limits.size(), kMaxCornerTargets, size_t{1} << kMaxCornerTargets));
      limits.clear();
    }
    const size_t n = limits.size();
    runs *= static_cast<double>(stats.mode == Statistics::Mode::Corners ? (n ? (size_t{1} << n) + 1 : 1)
                                                                        : 2 * n + 1);
    per_run += static_cast<double>(n);
  }
  if (plan.errors.empty() && runs > static_cast<double>(kMaxRuns))
    plan.errors.push_back(strprintf("The statements ask for %g runs; at most %zu", runs, kMaxRuns));
  // Counted in settings and in the bytes of the names they copy: long names in
  // many runs fill memory as surely as many settings do.
  if (plan.errors.empty() &&
      runs * (per_run + name_bytes / sizeof(RunSetting)) > static_cast<double>(kMaxChanges))
    plan.errors.push_back(
        strprintf("The runs would make %g changes to the netlist; at most %zu: fewer runs or "
                  "fewer toleranced values",
                  runs * per_run, kMaxChanges));
  if (!plan.errors.empty()) {
    plan.runs.push_back(nominal_run(deck));
    return plan;
  }
  if (stats.mode == Statistics::Mode::MonteCarlo)
    dims.push_back(monte_carlo(stats, tols, owned));
  else if (stats.mode != Statistics::Mode::None)
    dims.push_back(worst_case(stats, limits));
  if (dims.empty()) {
    plan.runs.push_back(nominal_run(deck));
    return plan;
  }
  multiply(dims, static_cast<size_t>(runs), plan);
  return plan;
}

std::vector<std::string> run_deck_lines(const NgspiceDeck& deck, const PlannedRun& run,
                                        std::vector<std::string>* warnings) {
  std::vector<std::string> lines = deck.lines;
  if (run.settings.empty()) return lines;
  const DeckIndex ix = index_deck(lines);
  const auto warn = [&](const std::string& text) {
    if (warnings) warnings->push_back(run.label + ": " + text);
  };
  // .param values the deck does not define, in the order first set.
  std::vector<std::pair<std::string, double>> added;
  std::map<std::string, size_t> added_at;
  for (const RunSetting& s : run.settings) {
    switch (s.target) {
      case RunTarget::Temperature:
        break;
      case RunTarget::Part: {
        const Entry* e = ix.part(s.name);
        bool made = false;
        if (e)
          for (size_t n : e->lines) made = apply_part(lines[n], s) || made;
        if (!e)
          warn(s.name + " is not in the netlist");
        else if (!made)
          warn(s.name + " has no value to change");
        break;
      }
      case RunTarget::Param: {
        if (const Entry* e = ix.param(s.name)) {
          for (size_t n : e->lines) apply_assignments(lines[n], false, s.name, s);
          break;
        }
        const auto it = added_at.find(ascii_upper(s.name));
        if (it == added_at.end() && s.change != RunChange::Set) {
          warn("PARAM " + s.name + " is not defined, so it has no value to change");
        } else if (it == added_at.end()) {
          added_at.emplace(ascii_upper(s.name), added.size());
          added.emplace_back(s.name, s.value);
        } else {
          double& v = added[it->second].second;
          v = s.change == RunChange::Set ? s.value : s.change == RunChange::Scale ? v * s.value : v + s.value;
        }
        break;
      }
      case RunTarget::ModelParam: {
        const ModelEntry* m = ix.model(s.name);
        if (!m) {
          warn("model " + s.name + " is not in the netlist");
          break;
        }
        bool missing = false;
        for (size_t n : m->lines) {
          if (apply_assignments(lines[n], true, s.param, s) > 0) continue;
          if (s.change == RunChange::Set)
            add_model_param(lines[n], s);
          else
            missing = true;
        }
        if (missing) warn(setting_name(s) + " is not given in the .MODEL line, so it has no value to change");
        break;
      }
    }
  }
  std::vector<std::string> params;
  for (const auto& [name, value] : added) params.push_back(".param " + name + "=" + number_text(value));
  lines.insert(lines.begin() + std::min<std::ptrdiff_t>(1, static_cast<std::ptrdiff_t>(lines.size())),
               params.begin(), params.end());
  return lines;
}

}  // namespace zephyrim
