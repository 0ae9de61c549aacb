#include "viewer/calc/autoplot.h"

#include <cmath>

#include "common/eng_number.h"
#include "common/notify.h"
#include "common/text_format.h"
#include "viewer/calc/measure.h"

namespace zephyrim {

namespace {

bool is_separator(char c) {
  return c == ' ' || c == ',' || c == '\t';
}

std::string cut(std::string_view text, size_t n) {
  return std::string(text.substr(0, std::min(text.size(), n)));
}

// The plot number of a token made only of digits, 1..8 given as 0..7.
std::optional<int> plot_number(std::string_view token) {
  if (token.empty() || token.size() > 2) return std::nullopt;
  int n = 0;
  for (char c : token) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + (c - '0');
  }
  if (n < 1 || n > kAutoplotPlots) return std::nullopt;
  return n - 1;
}

// A part code of the FFT list or of an AC entry; "T" is the group delay too.
int part_of_code(std::string_view code) {
  if (code == "T") return FORM_GROUP_DELAY;
  for (int f = 0; f < kComplexForms; ++f)
    if (code == kComplexFormCodes[f]) return f;
  return -1;
}

// FFT(DB,P): the parts in the list; magnitude when none is valid.
std::array<bool, kComplexForms> fft_parts_of(std::string_view token) {
  std::array<bool, kComplexForms> parts{};
  bool any = false;
  size_t i = 3;  // past "FFT"
  while (i < token.size()) {
    while (i < token.size() && (token[i] == '(' || token[i] == ')' || token[i] == ',')) ++i;
    const size_t start = i;
    while (i < token.size() && token[i] != '(' && token[i] != ')' && token[i] != ',') ++i;
    const int part = part_of_code(token.substr(start, i - start));
    if (part >= 0) parts[part] = any = true;
  }
  if (!any) parts[FORM_MAGNITUDE] = true;
  return parts;
}

// Tokens 1 and 2: a plot number or an analysis selector (with the chart words).
// Returns whether the token was one.
bool take_selector(AutoplotRequest& request, const std::string& token, std::optional<int>& plot,
                   std::optional<int>& analysis) {
  if (!plot) {
    if (const auto n = plot_number(token)) {
      plot = n;
      return true;
    }
  }
  if (analysis) return false;
  const int kind = analysis_kind_from_name(token, nullptr);
  if (kind >= 0) {
    analysis = kind;
    return true;
  }
  if (token == "SMITHCHART") {
    analysis = ANALYSIS_AC;
    request.chart = CHART_SMITH;
  } else if (token == "HISTOGRAM") {
    analysis = ANALYSIS_OTHER;
    request.chart = CHART_HISTOGRAM;
  } else if (token == "FFT" || token.starts_with("FFT(")) {
    analysis = ANALYSIS_AC;
    request.fft = true;
    request.fft_parts = fft_parts_of(token);
  } else {
    return false;
  }
  return true;
}

// A trace entry: {expr}, NAME={expr}, for AC part[{expr}] or NAME=part[{expr}],
// else a vector name.
AutoplotTrace trace_of(std::string_view token, std::optional<int> analysis, std::optional<int> plot) {
  AutoplotTrace t;
  t.analysis = analysis;
  t.plot = plot;
  if (token.front() == '{') {
    t.expression = strip_braces(token);
    return t;
  }
  const size_t named = token.find("={");
  if (named != std::string_view::npos) {
    t.name = cut(token.substr(0, named), kAutoplotNameMax);
    t.expression = strip_braces(token.substr(named + 1));
    return t;
  }
  const size_t open = token.find("[{");
  if (analysis == ANALYSIS_AC && open != std::string_view::npos) {
    std::string_view prefix = token.substr(0, open);
    const size_t eq = prefix.find('=');
    if (eq != std::string_view::npos) {
      t.name = cut(prefix.substr(0, eq), kAutoplotNameMax);
      prefix.remove_prefix(eq + 1);
    }
    const int part = part_of_code(prefix);
    t.part = part >= 0 ? part : FORM_MAGNITUDE;
    std::string_view body = token.substr(open + 2);
    const size_t close = body.rfind("}]");
    if (close != std::string_view::npos) body = body.substr(0, close);
    t.expression = std::string(body);
    return t;
  }
  t.name = cut(token, kAutoplotNameMax);
  return t;
}

// The text of XLABEL="..." between the first quote and the next one; without
// a quote, whatever follows the equals sign.
std::string label_of(std::string_view token) {
  const size_t open = token.find('"');
  if (open == std::string_view::npos) return std::string(token.substr(token.find('=') + 1));
  const std::string_view rest = token.substr(open + 1);
  return std::string(rest.substr(0, rest.find('"')));
}

template <typename T>
void set_for_plot(std::array<T, kAutoplotPlots>& per_plot, std::optional<int> plot, const T& value) {
  if (plot)
    per_plot[*plot] = value;
  else
    per_plot.fill(value);
}

// An option of the statement; false when the token is none (a trace then).
// refused is set when an axis option was refused.
bool take_option(AutoplotRequest& request, const std::string& token, std::optional<int> plot,
                 std::optional<int> analysis, Notify& notify, bool& refused) {
  // The X options of a statement hold for its analysis only (a frequency axis
  // on a log scale says nothing about the time axis); without one, for all.
  auto for_kinds = [&](auto& per_kind, const auto& value) {
    if (analysis && *analysis >= 0 && *analysis < kKindSlots)
      per_kind[*analysis] = value;
    else
      per_kind.fill(value);
  };
  if (token == "XLOG") {
    request.xlog = true;
    for_kinds(request.xlog_for, true);
  } else if (token == "YLOG") {
    set_for_plot(request.ylog, plot, true);
  } else if (token.starts_with("X=")) {
    const XVariable x = x_variable_of(std::string_view(token).substr(2));
    if (analysis)
      request.x_variable[*analysis] = x;
    else
      request.x_variable.fill(x);
  } else if (token.starts_with("XAXIS=")) {
    if (parse_axis_limits(token, request.x_limits, notify))
      for_kinds(request.x_limits_for, request.x_limits);
    else
      refused = true;
  } else if (token.starts_with("YAXIS=")) {
    AxisLimits limits;
    if (parse_axis_limits(token, limits, notify))
      set_for_plot(request.y_limits, plot, limits);
    else
      refused = true;
  } else if (token.starts_with("XLABEL=")) {
    request.x_label = label_of(token);
    for_kinds(request.x_label_for, request.x_label);
  } else if (token.starts_with("YLABEL=")) {
    set_for_plot(request.y_labels, plot, label_of(token));
  } else {
    return false;
  }
  return true;
}

void count_entry(AutoplotRequest& request, std::optional<int> analysis) {
  if (analysis) {
    ++request.entries[*analysis];
    return;
  }
  for (int kind = ANALYSIS_OTHER; kind <= ANALYSIS_AC; ++kind) ++request.entries[kind];
}

}  // namespace

std::string strip_braces(std::string_view text) {
  if (!text.empty() && text.front() == '{') text.remove_prefix(1);
  if (!text.empty() && text.back() == '}') text.remove_suffix(1);
  return std::string(text);
}

XVariable x_variable_of(std::string_view operand) {
  if (!operand.empty() && operand.front() == '{') return {strip_braces(operand), true};
  return {std::string(operand), false};
}

std::vector<std::string> statement_tokens(std::string_view statement, bool quotes_nest) {
  std::vector<std::string> tokens;
  std::string token;
  int level = 0;
  bool quoted = false;
  for (char c : statement) {
    if (!quoted && level == 0 && is_separator(c)) {
      if (!token.empty()) tokens.push_back(std::move(token));
      token.clear();
      continue;
    }
    if (c == '(' || c == '[' || c == '{') ++level;
    if ((c == ')' || c == ']' || c == '}') && level > 0) --level;
    if (quotes_nest && (c == '"' || c == '\'')) quoted = true;
    token += c;
  }
  if (!token.empty()) tokens.push_back(std::move(token));
  return tokens;
}

int parse_axis_limits(std::string_view option, AxisLimits& limits, Notify& notify) {
  std::vector<std::string> pieces;
  size_t i = 0;
  while (i < option.size()) {
    const auto delimiter = [&](char c) { return c == '(' || c == ')' || c == ',' || c == ' ' || c == '\t'; };
    while (i < option.size() && delimiter(option[i])) ++i;
    const size_t start = i;
    while (i < option.size() && !delimiter(option[i])) ++i;
    if (i > start) pieces.emplace_back(option.substr(start, i - start));
  }
  const std::string text(option);
  double v[3] = {0, 0, 0};
  const size_t numbers = std::min<size_t>(pieces.size() > 0 ? pieces.size() - 1 : 0, 3);
  bool valid = numbers >= 2;
  for (size_t n = 0; valid && n < numbers; ++n)
    // "*" reads as no value, which no axis can end at.
    valid = parse_eng(pieces[n + 1], v[n], true) >= 0 && has_value(v[n]);
  if (!valid) {
    notify.error(strprintf("ERROR:\nInvalid #AUTOPLOT axis limits option:\n%s", text.c_str()));
    return 0;
  }
  if (v[0] >= v[1]) {
    notify.error(strprintf("ERROR:\nInvalid #AUTOPLOT axis limit values in option:\n%s", text.c_str()));
    return 0;
  }
  AxisLimits result;
  result.manual = true;
  result.min = v[0];
  result.max = v[1];
  result.spacing = (v[1] - v[0]) / 5;
  if (numbers == 3) {
    // The count is checked as a double first: a tiny spacing would overflow an int.
    const double ticks = v[2] > 0 ? std::trunc((v[1] - v[0]) / v[2] + 0.5) : 0;
    if (!(ticks >= 1 && ticks <= kAxisTicksMax)) {
      notify.warning(
          strprintf("WARNING:\nInvalid #AUTOPLOT axis limits tick value option:\n%s", text.c_str()));
      return 0;
    }
    result.spacing = v[2];
    result.ticks = static_cast<int>(ticks);
  }
  limits = result;
  return 1;
}

int parse_autoplot(AutoplotRequest& request, std::string_view statement, Notify& notify) {
  const std::vector<std::string> tokens = statement_tokens(statement, true);
  std::optional<int> plot, analysis;
  std::vector<const std::string*> rest;
  for (size_t i = 1; i < tokens.size(); ++i)
    if (i > 2 || !take_selector(request, tokens[i], plot, analysis)) rest.push_back(&tokens[i]);
  ++request.statements;
  request.analysis = analysis;
  request.plot = plot;
  bool refused = false;
  for (const std::string* token : rest) {
    if (take_option(request, *token, plot, analysis, notify, refused)) continue;
    request.traces.push_back(trace_of(*token, analysis, plot));
    count_entry(request, analysis);
  }
  return refused ? 0 : 1;
}

const char* analysis_short_name(int kind) {
  static const char* const kNames[] = {"OTHER", "DC", "TRAN", "AC", "NOISE", "DISTO", "PZ", "FOUR", "OP"};
  return kind >= 0 && kind < 9 ? kNames[kind] : "?";
}

namespace {

std::string limits_text(const AxisLimits& a) {
  std::string s = strprintf("%.6G to %.6G, spacing %.6G", a.min, a.max, a.spacing);
  if (a.ticks) s += strprintf(", %d ticks", *a.ticks);
  return s;
}

// One line per plot that has a setting, or one line for all eight when they agree.
template <typename T, typename Show>
void describe_plots(std::string& out, const char* what, const std::array<T, kAutoplotPlots>& per_plot,
                    const T& unset, Show show) {
  bool same = true;
  for (const T& v : per_plot) same = same && v == per_plot[0];
  if (same) {
    if (!(per_plot[0] == unset)) out += strprintf("%s, all plots: %s\n", what, show(per_plot[0]).c_str());
    return;
  }
  for (int p = 0; p < kAutoplotPlots; ++p)
    if (!(per_plot[p] == unset))
      out += strprintf("%s, plot %d: %s\n", what, p + 1, show(per_plot[p]).c_str());
}

void describe_x_variables(std::string& out, const std::array<XVariable, kKindSlots>& x) {
  const auto show = [](const XVariable& v) { return v.expression ? "{" + v.text + "}" : v.text; };
  bool same = true;
  for (const XVariable& v : x) same = same && v == x[0];
  if (same) {
    if (!x[0].empty()) out += "X variable, all analyses: " + show(x[0]) + "\n";
    return;
  }
  for (int k = 0; k < kKindSlots; ++k)
    if (!x[k].empty()) out += strprintf("X variable, %s: %s\n", analysis_short_name(k), show(x[k]).c_str());
}

std::string trace_text(const AutoplotTrace& t) {
  std::string s = t.name;
  if (t.expression) s += (s.empty() ? "{" : " = {") + *t.expression + "}";
  s += strprintf("  [%s, plot %s", t.analysis ? analysis_short_name(*t.analysis) : "any analysis",
                 t.plot ? std::to_string(*t.plot + 1).c_str() : "any");
  if (t.part >= 0) s += strprintf(", part %s", kComplexFormCodes[t.part]);
  return s + "]";
}

}  // namespace

std::string autoplot_describe(const AutoplotRequest& r) {
  static const char* const kCharts[] = {"normal", "Smith chart", "histogram"};
  std::string out = strprintf("Autoplot: %d statement(s)\n", r.statements);
  out += strprintf("Analysis: %s\n", r.analysis ? analysis_short_name(*r.analysis) : "none");
  out += strprintf("Plot: %s\n", r.plot ? std::to_string(*r.plot + 1).c_str() : "none");
  out += strprintf("Chart: %s\n", r.chart >= 0 && r.chart <= 2 ? kCharts[r.chart] : "?");
  if (r.fft) {
    out += "FFT parts:";
    for (int f = 0; f < kComplexForms; ++f)
      if (r.fft_parts[f]) out += std::string(" ") + kComplexFormCodes[f];
    out += "\n";
  }
  describe_x_variables(out, r.x_variable);
  if (r.xlog) out += "X axis: log\n";
  describe_plots(out, "Y axis", r.ylog, false, [](bool) { return std::string("log"); });
  if (r.x_limits.manual) out += "X limits: " + limits_text(r.x_limits) + "\n";
  describe_plots(out, "Y limits", r.y_limits, AxisLimits{}, limits_text);
  if (!r.x_label.empty()) out += "X label: \"" + r.x_label + "\"\n";
  describe_plots(out, "Y label", r.y_labels, std::string(),
                 [](const std::string& s) { return "\"" + s + "\""; });
  out += "Entries:";
  for (int k = 0; k < kKindSlots; ++k)
    if (r.entries[k]) out += strprintf(" %s %d", analysis_short_name(k), r.entries[k]);
  out += "\n";
  for (size_t i = 0; i < r.traces.size(); ++i)
    out += strprintf("Trace %zu: %s\n", i + 1, trace_text(r.traces[i]).c_str());
  return out;
}

}  // namespace zephyrim
