#include "viewer/calc/measure.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>

#include "common/notify.h"
#include "common/progress.h"
#include "common/text_format.h"
#include "viewer/calc/complex_data.h"
#include "viewer/data/data_store.h"

namespace zephyrim {

const char* const kMeasureKindNames[9] = {"VALUE", "MIN",  "MAX",  "DELAY", "DELTA",
                                          "WIDTH", "FREQ", "XMIN", "XMAX"};

namespace {

// The extremes start from these, not from NO_VALUE, so that a window without
// points is told by a flag rather than by the value.
constexpr double kExtremeStart = 9.99e29;

bool defined(double v) {
  return v < NO_VALUE_THRESHOLD;
}

// The crossing senses of an interval.
bool rises_through(double y0, double y1, double level) {
  return y0 <= level && level <= y1;
}
bool falls_through(double y0, double y1, double level) {
  return y0 >= level && level >= y1;
}

// The X where the interval i-1..i crosses level in the given sense (0 tests
// falling first, then rising), or NO_VALUE.
double crossing(std::span<const double> x, std::span<const double> y, size_t i, double level, int sense) {
  const bool hit = (sense <= 0 && falls_through(y[i - 1], y[i], level)) ||
                   (sense >= 0 && rises_through(y[i - 1], y[i], level));
  return hit ? interp_linear(y[i - 1], x[i - 1], y[i], x[i], level) : NO_VALUE;
}

std::string cut(std::string_view text, size_t n) {
  return std::string(text.substr(0, std::min(text.size(), n)));
}

// ---- statements ----------------------------------------------------------

std::vector<std::string_view> split_tokens(std::string_view line) {
  std::vector<std::string_view> tokens;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '=' || line[i] == '\t')) ++i;
    const size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '=' && line[i] != '\t') ++i;
    if (i > start) tokens.push_back(line.substr(start, i - start));
  }
  return tokens;
}

// An option's number; "*" or a text that does not parse leaves it undefined.
double option_number(std::string_view token) {
  std::string text(token);
  double v = NO_VALUE;
  return parse_eng(text, v, true) > 0 ? v : NO_VALUE;
}

bool starts(std::string_view token, std::string_view word) {
  return token.substr(0, word.size()) == word;
}

// Applies one option at tokens[i]; returns the index of the last token used,
// or none for an invalid option.
std::optional<size_t> apply_option(MeasureSpec& s, const std::vector<std::string_view>& tokens, size_t i) {
  const std::string_view t = tokens[i];
  const bool has_operand = i + 1 < tokens.size();
  const std::string_view operand = has_operand ? tokens[i + 1] : std::string_view();
  std::string* name = nullptr;
  double* value = nullptr;
  if (t == "YVAR" || t == "VAR1")
    name = &s.y_name;
  else if (t == "XVAR")
    name = &s.x_name;
  else if (t == "VAR2")
    name = &s.y2_name;
  else if (t == "XVAL" || t == "YVAL" || t == "VAL1")
    value = &s.value1;
  else if (t == "VAL2")
    value = &s.value2;
  else if (t == "MIN")
    value = &s.lower;
  else if (t == "MAX")
    value = &s.upper;
  if (name || value) {
    if (name) *name = cut(operand, kMeasureNameMax);
    if (value) *value = has_operand ? option_number(operand) : NO_VALUE;
    return has_operand ? i + 1 : i;
  }
  if (starts(t, "ABS"))
    s.mode = MEASURE_ABSOLUTE;
  else if (starts(t, "REL"))
    s.mode = MEASURE_RELATIVE;
  else if (starts(t, "OFF"))
    s.mode = MEASURE_OFFSET;
  else if (starts(t, "HIGH"))
    s.pulse = PULSE_HIGH;
  else if (starts(t, "LOW"))
    s.pulse = PULSE_LOW;
  // RISING must count as RISE, so three letters decide there.
  else if (starts(t, "RIS") || starts(t, "FALL"))
    (s.edge1 == 0 ? s.edge1 : s.edge2) = t[0] == 'R' ? 1 : -1;
  else
    return std::nullopt;
  return i;
}

// ---- variables -------------------------------------------------------------

// Derives a complex-part name (VDB(OUT)) for every run of its complex vector
// in the binary class; returns the name the derived vectors carry, or empty.
std::string derive_complex_part(DataStore& store, std::string_view name) {
  const auto parsed = complex_parse_name(name);
  if (!parsed) return {};
  // Derived once: later specs find the vectors already there.
  const std::string spelling = complex_form_name(parsed->base, parsed->form);
  if (store.find_vector(spelling, DATA_CLASS_BINARY, ANALYSIS_AC, -1, 0)) return spelling;
  const DataVector* first = store.find_vector(parsed->base, DATA_CLASS_BINARY, ANALYSIS_AC, -1, 1, 1);
  if (!first) return {};
  std::string derived;
  for (const DataVector* v = first; v; v = store.next_run(first, v)) {
    const DataVector* d = complex_derive(store, *v, parsed->base, parsed->form, DATA_CLASS_BINARY);
    if (!d) break;
    derived = d->name;
  }
  return derived;
}

// Where a spec's variables live: the class, and the names the vectors of every
// run carry (a derived complex part is registered under its own spelling).
struct Resolved {
  int cls = DATA_CLASS_BINARY;
  std::string y, x, y2;
};

// Finds a Y name: binary class (real, analyses above OTHER), text class, then
// a complex part derived in the binary class (AC). Empty when none.
std::string find_y(DataStore& store, std::string_view name, int kind, int& cls) {
  if (kind > 0 && store.find_vector(name, DATA_CLASS_BINARY, kind, -1, 0)) {
    cls = DATA_CLASS_BINARY;
    return std::string(name);
  }
  if (store.find_vector(name, DATA_CLASS_TEXT, kind, -1, -1)) {
    cls = DATA_CLASS_TEXT;
    return std::string(name);
  }
  if (kind != ANALYSIS_AC) return {};
  cls = DATA_CLASS_BINARY;
  return derive_complex_part(store, name);
}

bool resolve(DataStore& store, const MeasureSpec& s, std::string_view y2_name, Resolved& r) {
  Notify& notify = store.notify();
  r.y = find_y(store, s.y_name, s.analysis, r.cls);
  if (r.y.empty()) {
    notify.error("ERROR MEASURE SPEC:\n\nCannot find Y variable " + s.y_name);
    return false;
  }
  if (iequals(y2_name, s.y_name)) {
    r.y2 = r.y;
  } else if (!y2_name.empty()) {
    int cls2 = r.cls;
    r.y2 = find_y(store, y2_name, s.analysis, cls2);
    if (r.y2.empty() || cls2 != r.cls) {
      notify.error("ERROR MEASURE SPEC:\n\nCannot find Y variable " + std::string(y2_name));
      return false;
    }
  }
  const DataVector* y = store.find_vector(r.y, r.cls, s.analysis, -1, -1);
  if (s.x_name.empty() || (y && y->x && iequals(y->x->name, s.x_name))) return true;
  if (store.find_vector(s.x_name, r.cls, s.analysis, -1, -1)) {
    r.x = s.x_name;
    return true;
  }
  if (s.analysis == ANALYSIS_AC && r.cls == DATA_CLASS_BINARY) r.x = derive_complex_part(store, s.x_name);
  if (!r.x.empty()) return true;
  notify.error("ERROR MEASURE SPEC:\n\nCannot find X variable " + s.x_name);
  return false;
}

// ---- value modes -----------------------------------------------------------

// The array a mode works on, copied once into buffer when the mode changes it.
std::span<const double> apply_mode(std::span<const double> values, int mode, double governing,
                                   std::vector<double>& buffer) {
  if (mode != MEASURE_RELATIVE && mode != MEASURE_OFFSET) return values;
  const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
  const double min = values.empty() ? 0 : *lo, max = values.empty() ? 0 : *hi;
  buffer.assign(values.begin(), values.end());
  if (mode == MEASURE_RELATIVE) {
    const double range = max - min;
    for (double& v : buffer) v = range < 1e-29 ? 0.0 : (v - min) / range;
  } else {
    // A negative governing value measures from the top; an undefined one counts as positive.
    const double shift = governing < 0 ? max : min;
    for (double& v : buffer) v -= shift;
  }
  return buffer;
}

// ---- the per-run loop ------------------------------------------------------

// What one run hands to a kind's algorithm.
struct RunData {
  std::span<const double> x, y, y2;
};

using Algorithm = double (*)(const MeasureSpec& spec, const RunData& run, Notify& notify);

// Room for the arrays a run changes: real parts of complex text vectors, and
// the copies a value mode makes (one copy of a vector at most).
struct RunBuffers {
  std::vector<double> real[3], mode[3];
};

// The real parts of an interleaved complex vector.
std::span<const double> real_parts(std::span<const double> pairs, std::vector<double>& buffer) {
  buffer.resize(pairs.size() / 2);
  for (size_t i = 0; i < buffer.size(); ++i) buffer[i] = pairs[2 * i];
  return buffer;
}

// The arrays of a run with the measure's value mode applied; false when a vector is
// missing or empty.
bool run_arrays(DataStore& store, const MeasureSpec& s, const DataVector* const (&vectors)[3], RunData& run,
                RunBuffers& buffers) {
  std::span<const double>* arrays[] = {&run.x, &run.y, &run.y2};
  // Loading one vector may move the class's values; take the views once all are in.
  for (int pass = 0; pass < 2; ++pass)
    for (int k = 0; k < 3; ++k)
      if (vectors[k]) *arrays[k] = store.values(*vectors[k]);
  size_t n = SIZE_MAX;
  for (int k = 0; k < 3; ++k) {
    if (!vectors[k]) continue;
    // A complex text vector gives its real parts.
    if (vectors[k]->complex) *arrays[k] = real_parts(*arrays[k], buffers.real[k]);
    if (arrays[k]->empty()) return false;
    n = std::min(n, arrays[k]->size());
  }
  for (int k = 0; k < 3; ++k)
    if (vectors[k]) *arrays[k] = arrays[k]->first(n);
  switch (s.kind) {
    case MEASURE_VALUE:
    case MEASURE_DELTA:
      run.x = apply_mode(run.x, s.mode, s.value1, buffers.mode[0]);
      break;
    case MEASURE_DELAY:
      run.y = apply_mode(run.y, s.mode, s.value1, buffers.mode[1]);
      run.y2 = apply_mode(run.y2, s.mode, s.value2, buffers.mode[2]);
      break;
    case MEASURE_WIDTH:
    case MEASURE_FREQ:
      run.y = apply_mode(run.y, s.mode, s.value1, buffers.mode[1]);
      break;
    default:
      break;
  }
  return true;
}

// Stores RUN# and the results in the text class.
bool store_results(DataStore& store, const std::string& name, const std::vector<double>& values) {
  std::vector<double> ordinals(values.size());
  for (size_t k = 0; k < ordinals.size(); ++k) ordinals[k] = static_cast<double>(k);
  const auto points = static_cast<int64_t>(values.size());
  const DataVector* run = store.add_vector({.name = "RUN#",
                                            .cls = DATA_CLASS_TEXT,
                                            .kind = ANALYSIS_OTHER,
                                            .quantity = std::max(0, quantity_code(ANALYSIS_OTHER, "RUN#")),
                                            .points = points,
                                            .values = ordinals.data()});
  return run && store.add_vector({.name = name,
                                  .cls = DATA_CLASS_TEXT,
                                  .kind = ANALYSIS_OTHER,
                                  .quantity = std::max(0, quantity_code(ANALYSIS_OTHER, name)),
                                  .x = run,
                                  .points = points,
                                  .values = values.data()});
}

int run_spec(DataStore& store, const MeasureSpec& s, std::string_view y2_name, Algorithm algorithm,
             MeasureOutcome& outcome) {
  Resolved names;
  if (!resolve(store, s, y2_name, names)) return 0;
  const DataClass* c = store.data_class(names.cls);
  const int runs = (c && s.analysis >= 0 && s.analysis < kKindSlots) ? c->run_count[s.analysis] : 0;
  const DataVector* first_y = nullptr;
  RunBuffers buffers;
  // Binary-class measures read real vectors only.
  const int complex = names.cls == DATA_CLASS_BINARY ? 0 : -1;
  for (int r = 1; r <= runs; ++r) {
    const DataVector* y = store.find_vector(names.y, names.cls, s.analysis, -1, complex, r);
    if (r == 1) first_y = y;
    if (!y && s.kind == MEASURE_VALUE && first_y && !first_y->x) y = first_y;
    if (!y) continue;
    const DataVector* x =
        names.x.empty() ? y->x : store.find_vector(names.x, names.cls, s.analysis, -1, -1, r);
    const DataVector* y2 =
        names.y2.empty() ? nullptr : store.find_vector(names.y2, names.cls, s.analysis, -1, complex, r);
    if (!x || (!names.y2.empty() && !y2)) continue;
    RunData run;
    const DataVector* const vectors[3] = {x, y, y2};
    if (!run_arrays(store, s, vectors, run, buffers)) continue;
    const double result = algorithm(s, run, store.notify());
    if (!defined(result)) continue;
    outcome.values.push_back(result);
    outcome.runs.push_back(r);
    const std::string* label = store.vector_label(*y);
    outcome.labels.push_back(label ? *label : std::string());
  }
  if (!outcome.values.empty() && !store_results(store, outcome.name, outcome.values)) {
    store.notify().error(strprintf("MEASURE %s: Cannot save spec data", outcome.name.c_str()));
    return 0;
  }
  return 1;
}

// An input error: the message, and the measure ends with -1.
// Every measure starts from an empty outcome under its result name.
void start(MeasureOutcome& outcome, const MeasureSpec& s) {
  outcome = MeasureOutcome{};
  outcome.name = measure_result_name(s);
}

int input_error(Notify& notify, const char* text) {
  notify.error(text);
  return -1;
}

}  // namespace

int analysis_kind_from_name(std::string_view name, Notify* notify) {
  static constexpr std::pair<std::string_view, int> kNames[] = {
      {"DC", ANALYSIS_DC},       {"TRAN", ANALYSIS_TRAN},   {"AC", ANALYSIS_AC},
      {"NOISE", ANALYSIS_NOISE}, {"DISTO", ANALYSIS_DISTO}, {"OTHER", ANALYSIS_OTHER},
      {"ASCII", ANALYSIS_OTHER}};
  for (const auto& [text, kind] : kNames)
    if (name == text) return kind;
  if (notify) notify->error("Invalid analysis type " + std::string(name) + " specified");
  return -1;
}

double interp_linear(double x1, double y1, double x2, double y2, double x) {
  if (std::fabs(x1 - x) < 1e-50) return y1;
  if (std::fabs(x2 - x) < 1e-50 || std::fabs(x2 - x1) < 1e-50) return y2;
  const double s = (y2 - y1) / (x2 - x1);
  return y1 - x1 * s + x * s;
}

bool in_window(double lower, double upper, double v) {
  if (defined(lower) && lower > v) return false;
  return !(defined(upper) && v > upper);
}

bool measure_parse_statement(MeasureList& list, std::string_view statement, Notify& notify) {
  const auto tokens = split_tokens(statement);
  size_t i = 0;
  if (i < tokens.size() && tokens[i] == "#MEASURE") ++i;
  if (i >= tokens.size()) return false;
  MeasureSpec s;
  s.from_statement = true;
  s.analysis = analysis_kind_from_name(tokens[i++], &notify);
  if (s.analysis < 0 || i >= tokens.size()) return false;
  const auto kind = std::find(std::begin(kMeasureKindNames), std::end(kMeasureKindNames), tokens[i++]);
  if (kind == std::end(kMeasureKindNames)) return false;
  s.kind = static_cast<int>(kind - std::begin(kMeasureKindNames)) + 1;
  if (i < tokens.size()) s.name = cut(tokens[i++], kMeasureNameMax);
  for (; i < tokens.size(); ++i) {
    const auto last = apply_option(s, tokens, i);
    if (!last) {
      notify.error("Invalid option " + std::string(tokens[i]) + " in #MEASURE command");
      return false;
    }
    i = *last;
  }
  list.specs.push_back(std::move(s));
  return true;
}

std::string measure_result_name(const MeasureSpec& s) {
  if (!s.name.empty()) return s.name;
  std::string name;
  switch (s.kind) {
    case MEASURE_VALUE:
      name = "VAL[" + s.y_name + "]";
      break;
    case MEASURE_MIN:
    case MEASURE_XMIN:
      name = "MIN[" + s.y_name + "]";
      break;
    case MEASURE_MAX:
    case MEASURE_XMAX:
      name = "MAX[" + s.y_name + "]";
      break;
    case MEASURE_DELAY:
      name = "TD[" + s.y_name + "," + (s.y2_name.empty() ? s.y_name : s.y2_name) + "]";
      break;
    case MEASURE_DELTA:
      name = "D[" + s.y_name + "]";
      break;
    case MEASURE_WIDTH:
      name = "W[" + s.y_name + "]";
      break;
    case MEASURE_FREQ:
      name = "FREQ[" + s.y_name + "]";
      break;
    default:
      break;
  }
  return cut(name, kMeasureDefaultNameMax);
}

// ---- the algorithms on arrays ------------------------------------------------

double measure_value_at(std::span<const double> x, std::span<const double> y, const MeasureSpec& s) {
  const size_t n = std::min(x.size(), y.size());
  const double v = s.value1;
  if (n == 1) return (v == x[0] && in_window(s.lower, s.upper, y[0])) ? y[0] : NO_VALUE;
  for (size_t i = 1; i < n; ++i) {
    if (!((x[i - 1] <= v && v <= x[i]) || (x[i - 1] >= v && v >= x[i]))) continue;
    const double r = interp_linear(x[i - 1], y[i - 1], x[i], y[i], v);
    if (in_window(s.lower, s.upper, r)) return r;
  }
  return NO_VALUE;
}

double measure_extreme_of(std::span<const double> x, std::span<const double> y, const MeasureSpec& s) {
  const bool minimum = s.kind == MEASURE_MIN || s.kind == MEASURE_XMIN;
  double extreme = minimum ? kExtremeStart : -kExtremeStart, at = 0;
  bool any = false;
  const size_t n = std::min(x.size(), y.size());
  for (size_t i = 0; i < n; ++i) {
    if (!in_window(s.lower, s.upper, x[i])) continue;
    any = true;
    if (minimum ? y[i] < extreme : y[i] > extreme) {
      extreme = y[i];
      at = x[i];
    }
  }
  if (!any) return NO_VALUE;
  return (s.kind == MEASURE_XMIN || s.kind == MEASURE_XMAX) ? at : extreme;
}

double measure_delay_of(std::span<const double> x, std::span<const double> a, std::span<const double> b,
                        const MeasureSpec& s) {
  const size_t n = std::min({x.size(), a.size(), b.size()});
  const double level2 = defined(s.value2) ? s.value2 : s.value1;
  const int edge2 = (s.from_statement && s.edge1 != 0 && s.edge2 == 0) ? s.edge1 : s.edge2;
  const bool same = (s.y2_name.empty() || iequals(s.y2_name, s.y_name)) && level2 == s.value1;
  double t1 = NO_VALUE, t2 = NO_VALUE;
  for (size_t i = 1; i < n; ++i) {
    if (!in_window(s.lower, s.upper, x[i])) continue;
    if (!defined(t1)) {
      t1 = crossing(x, a, i, s.value1, s.edge1);
      // The same crossing must not both start and end the delay.
      if (defined(t1) && same && !defined(t2)) continue;
    }
    if (!defined(t2)) t2 = crossing(x, b, i, level2, edge2);
    if (defined(t1) && defined(t2)) {
      if (t2 - t1 >= 0) return t2 - t1;
      t2 = NO_VALUE;
    }
  }
  return NO_VALUE;
}

double measure_delta_of(std::span<const double> x, std::span<const double> y, const MeasureSpec& s) {
  const size_t n = std::min(x.size(), y.size());
  double y1 = NO_VALUE, y2 = NO_VALUE;
  for (size_t i = 1; i < n; ++i) {
    const auto contains = [&](double v) {
      return (x[i - 1] <= v && v <= x[i]) || (x[i - 1] >= v && v >= x[i]);
    };
    if (!defined(y1) && contains(s.value1)) y1 = interp_linear(x[i - 1], y[i - 1], x[i], y[i], s.value1);
    if (!defined(y2) && contains(s.value2)) y2 = interp_linear(x[i - 1], y[i - 1], x[i], y[i], s.value2);
    if (defined(y1) && defined(y2)) return y2 - y1;
  }
  return NO_VALUE;
}

double measure_width_of(std::span<const double> x, std::span<const double> y, const MeasureSpec& s) {
  const size_t n = std::min(x.size(), y.size());
  const double level = s.value1;
  int d = s.pulse == PULSE_HIGH ? 1 : s.pulse == PULSE_LOW ? -1 : 0;
  double start = NO_VALUE;
  if (s.pulse == PULSE_AUTOMATIC) {
    // The data decide: the first point inside the window, or the first that
    // leaves the level when it starts on it.
    for (size_t i = 0; i < n; ++i) {
      if (!in_window(s.lower, s.upper, x[i])) continue;
      if (!defined(start) && y[i] == level) {
        start = x[i];
        continue;
      }
      if (y[i] == level) continue;
      const bool below = y[i] < level;
      d = defined(start) ? (below ? -1 : 1) : (below ? 1 : -1);
      break;
    }
  }
  for (size_t i = 1; i < n; ++i) {
    if (!in_window(s.lower, s.upper, x[i])) continue;
    if (!defined(start)) {
      start = crossing(x, y, i, level, d >= 0 ? 1 : -1);
      continue;
    }
    const double end = crossing(x, y, i, level, d >= 0 ? -1 : 1);
    if (defined(end) && end > start) return end - start;
  }
  return NO_VALUE;
}

double measure_freq_of(std::span<const double> x, std::span<const double> y, const MeasureSpec& s,
                       bool& level_missing) {
  level_missing = false;
  const size_t n = std::min(x.size(), y.size());
  if (n < 2) return NO_VALUE;
  double level = s.value1;
  if (!defined(level)) {
    double lo = kExtremeStart, hi = -kExtremeStart;
    for (size_t i = 0; i < n; ++i) {
      if (!in_window(s.lower, s.upper, x[i])) continue;
      lo = std::min(lo, y[i]);
      hi = std::max(hi, y[i]);
    }
    if (hi - lo < 1e-30) {
      level_missing = true;
      return NO_VALUE;
    }
    level = (hi + lo) * 0.5;
  }
  double t0 = NO_VALUE, total = 0;
  int periods = 0, count = 0;
  for (size_t i = 1; i < n; ++i) {
    if (!in_window(s.lower, s.upper, x[i])) continue;
    const double t = crossing(x, y, i, level, 0);
    if (!defined(t)) continue;
    if (!defined(t0)) {
      t0 = t;
    } else if (t > t0 && ++count == 2) {
      // Two more crossings close one period.
      ++periods;
      total += t - t0;
      t0 = t;
      count = 0;
    }
  }
  return periods > 0 ? periods / total : NO_VALUE;
}

// ---- the measure operations ------------------------------------------------

int measure_value(DataStore& store, const MeasureSpec& s, MeasureOutcome& outcome) {
  start(outcome, s);
  if (s.y_name.empty()) return input_error(store.notify(), "MEASURE VALUE: Y variable not defined");
  if (!defined(s.value1)) return input_error(store.notify(), "MEASURE VALUE: X value not defined");
  return run_spec(
      store, s, {},
      [](const MeasureSpec& spec, const RunData& r, Notify&) { return measure_value_at(r.x, r.y, spec); },
      outcome);
}

int measure_extreme(DataStore& store, const MeasureSpec& s, MeasureOutcome& outcome) {
  start(outcome, s);
  if (s.y_name.empty()) return input_error(store.notify(), "MEASURE MIN/MAX Y variable not defined");
  return run_spec(
      store, s, {},
      [](const MeasureSpec& spec, const RunData& r, Notify&) { return measure_extreme_of(r.x, r.y, spec); },
      outcome);
}

int measure_delay(DataStore& store, const MeasureSpec& s, MeasureOutcome& outcome) {
  start(outcome, s);
  if (s.y_name.empty()) return input_error(store.notify(), "MEASURE DELAY Y variable not defined");
  if (!defined(s.value1)) return input_error(store.notify(), "MEASURE DELAY Y value 1 not defined");
  // DELAY reads both signals against the first one's X.
  MeasureSpec spec = s;
  if (spec.y2_name.empty()) spec.y2_name = spec.y_name;
  spec.x_name.clear();
  return run_spec(
      store, spec, spec.y2_name,
      [](const MeasureSpec& sp, const RunData& r, Notify&) { return measure_delay_of(r.x, r.y, r.y2, sp); },
      outcome);
}

int measure_delta(DataStore& store, const MeasureSpec& s, MeasureOutcome& outcome) {
  start(outcome, s);
  Notify& notify = store.notify();
  if (s.y_name.empty()) return input_error(notify, "MEASURE DELTA: Y variable not defined");
  if (!defined(s.value1)) return input_error(notify, "MEASURE DELTA: X value 1 not defined");
  if (!defined(s.value2)) return input_error(notify, "MEASURE DELTA: X value 2 not defined");
  if (s.mode == MEASURE_OFFSET) return input_error(notify, "MEASURE DELTA: offset values not allowed");
  return run_spec(
      store, s, {},
      [](const MeasureSpec& spec, const RunData& r, Notify&) { return measure_delta_of(r.x, r.y, spec); },
      outcome);
}

int measure_width(DataStore& store, const MeasureSpec& s, MeasureOutcome& outcome) {
  start(outcome, s);
  if (s.y_name.empty()) return input_error(store.notify(), "MEASURE WIDTH: Y variable not defined");
  if (!defined(s.value1)) return input_error(store.notify(), "MEASURE WIDTH: Y value not defined");
  return run_spec(
      store, s, {},
      [](const MeasureSpec& spec, const RunData& r, Notify&) { return measure_width_of(r.x, r.y, spec); },
      outcome);
}

int measure_freq(DataStore& store, const MeasureSpec& s, MeasureOutcome& outcome) {
  start(outcome, s);
  if (s.y_name.empty()) return input_error(store.notify(), "MEASURE FREQ: Y variable not specified");
  return run_spec(
      store, s, {},
      [](const MeasureSpec& spec, const RunData& r, Notify& notify) {
        bool missing = false;
        const double f = measure_freq_of(r.x, r.y, spec, missing);
        if (missing) notify.error("MEASURE FREQ: cannot find mean value");
        return f;
      },
      outcome);
}

int measure_run(DataStore& store, const MeasureSpec& s, MeasureOutcome& outcome) {
  switch (s.kind) {
    case MEASURE_VALUE:
      return measure_value(store, s, outcome);
    case MEASURE_MIN:
    case MEASURE_MAX:
    case MEASURE_XMIN:
    case MEASURE_XMAX:
      return measure_extreme(store, s, outcome);
    case MEASURE_DELAY:
      return measure_delay(store, s, outcome);
    case MEASURE_DELTA:
      return measure_delta(store, s, outcome);
    case MEASURE_WIDTH:
      return measure_width(store, s, outcome);
    case MEASURE_FREQ:
      return measure_freq(store, s, outcome);
    default:
      return 0;
  }
}

int measure_run_all(DataStore& store, MeasureList& list, std::vector<MeasureOutcome>* outcomes) {
  if (list.specs.empty()) return 0;
  store.progress().show("Measuring specs ...");
  int ran = 0;
  for (const MeasureSpec& spec : list.specs) {
    if (spec.kind < MEASURE_VALUE || spec.kind > MEASURE_XMAX) continue;
    MeasureOutcome outcome;
    outcome.status = measure_run(store, spec, outcome);
    ++ran;
    if (outcomes) outcomes->push_back(std::move(outcome));
  }
  list.specs.clear();
  store.progress().done();
  return ran;
}

void measure_report(Notify& notify, const std::string& name, int count, double first) {
  if (count <= 0)
    notify.information(strprintf("MEASURE %s: No data within spec found", name.c_str()));
  else if (count == 1)
    notify.information(
        strprintf("MEASURE %s: %d value found.\n\n%s = %G", name.c_str(), count, name.c_str(), first));
  else
    notify.information(strprintf("MEASURE %s: %d cases found.", name.c_str(), count));
}

}  // namespace zephyrim
