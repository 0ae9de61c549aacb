#include "viewer/plot/special_charts.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <new>
#include <optional>
#include <utility>

#include "common/eng_number.h"
#include "common/notify.h"
#include "common/text_format.h"
#include "viewer/calc/complex_data.h"
#include "viewer/data/data_store.h"
#include "viewer/plot/axis_scale.h"

namespace zephyrim {

namespace {

constexpr double kRadiansPerDegree = M_PI / 180;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// The symbols the chart's traces take in turn, so that traces of one colour
// in print are still told apart.
constexpr int kChartSymbols[] = {1, 2, 3, 4, 5, 6};  // circle, square, triangle and their solid ones
constexpr int kEyeTicks = 6;

// ---- Names ------------------------------------------------------------------

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// "{expr}" and "{expr..}" without the braces.
std::string_view without_braces(std::string_view s) {
  s = trim(s);
  if (s.size() >= 2 && s.front() == '{' && s.back() == '}') {
    s = s.substr(1, s.size() - 2);
    if (s.size() >= 2 && s.substr(s.size() - 2) == "..") s.remove_suffix(2);
  }
  return trim(s);
}

bool starts_with_z(std::string_view s) {
  return !s.empty() && (s.front() == 'Z' || s.front() == 'z');
}

// One term "L(...)" with its bracket closing at its end, L the given letter.
bool single_term(std::string_view s, char letter) {
  s = trim(s);
  if (s.size() < 4 || ascii_upper(s.front()) != letter || s[1] != '(' || s.back() != ')') return false;
  int depth = 0;
  for (size_t i = 1; i < s.size(); ++i) {
    if (s[i] == '(') ++depth;
    if (s[i] == ')' && --depth == 0 && i + 1 != s.size()) return false;
  }
  return depth == 0;
}

// ---- Values ---------------------------------------------------------------

// A copy of what a chart keeps of a source trace, valid after the graph that
// held it has moved.
struct SourceTrace {
  const DataVector* y = nullptr;
  const DataVector* x = nullptr;
  const DataVector* third = nullptr;
  int plot = 0;
  std::string name;
  std::string expression;
  TraceOptions options;
};

SourceTrace source_of(const SelectedTrace& t) {
  return {t.y, t.x, t.third, t.plot, t.name, t.expression, t.options};
}

std::vector<double> copy_values(DataStore& store, const DataVector& v) {
  const auto s = store.values(v);
  const size_t n =
      std::min(s.size(), static_cast<size_t>(std::max<int64_t>(v.points, 0)) * (v.complex ? 2 : 1));
  return {s.begin(), s.begin() + static_cast<std::ptrdiff_t>(n)};
}

struct ComplexValues {
  std::vector<double> re;
  std::vector<double> im;
};

bool split_complex(DataStore& store, const DataVector& v, ComplexValues& out) {
  const std::vector<double> pairs = copy_values(store, v);
  const size_t n = pairs.size() / 2;
  if (n == 0) return false;
  out.re.resize(n);
  out.im.resize(n);
  for (size_t i = 0; i < n; ++i) {
    out.re[i] = pairs[2 * i];
    out.im[i] = pairs[2 * i + 1];
  }
  return true;
}

// The part a real vector of a form is read with; -1 for forms without one.
int partner_form(int form) {
  switch (form) {
    case FORM_DB:
    case FORM_MAGNITUDE:
      return FORM_PHASE;
    case FORM_PHASE:
      return FORM_MAGNITUDE;
    case FORM_REAL:
      return FORM_IMAGINARY;
    case FORM_IMAGINARY:
      return FORM_REAL;
    default:
      return -1;
  }
}

// The complex value of a trace: its complex vector split, or its real part
// vector read with the partner part of the same quantity (and run); when the
// partner was never derived, the complex vector the part was taken from.
bool trace_complex(DataStore& store, const DataVector& y, ComplexValues& out) {
  if (y.complex) return split_complex(store, y, out);
  const auto parsed = complex_parse_name(y.name);
  if (!parsed) return false;
  const int form = parsed->form;
  const int other = partner_form(form);
  if (other < 0) return false;
  // The partner is named the way the part is: VP(2) for VDB(2), R[X] for I[X].
  const bool brackets = !y.name.empty() && y.name.back() == ']';
  const std::string partner_name = brackets ? std::string(kComplexFormCodes[other]) + "[" + parsed->base + "]"
                                            : complex_form_name(parsed->base, other);
  const DataVector* partner = store.find_vector(partner_name, y.data_class, y.kind, -1, 0, y.run);
  if (!partner || partner->points != y.points) {
    for (int cls : {y.data_class, static_cast<int>(DATA_CLASS_BINARY)})
      if (const DataVector* whole = store.find_vector(parsed->base, cls, y.kind, -1, 1, y.run))
        if (whole->points == y.points) return split_complex(store, *whole, out);
    return false;
  }
  // Each is copied before the other is read: a load may move the values.
  const std::vector<double> own = copy_values(store, y);
  const std::vector<double> part = copy_values(store, *partner);
  const size_t n = std::min(own.size(), part.size());
  if (n == 0) return false;
  out.re.resize(n);
  out.im.resize(n);
  for (size_t i = 0; i < n; ++i) {
    double magnitude = 0, degrees = 0;
    switch (form) {
      case FORM_REAL:
        out.re[i] = own[i];
        out.im[i] = part[i];
        continue;
      case FORM_IMAGINARY:
        out.re[i] = part[i];
        out.im[i] = own[i];
        continue;
      case FORM_DB:
        magnitude = std::pow(10.0, own[i] / 20);
        degrees = part[i];
        break;
      case FORM_MAGNITUDE:
        magnitude = own[i];
        degrees = part[i];
        break;
      default:  // FORM_PHASE
        magnitude = part[i];
        degrees = own[i];
        break;
    }
    out.re[i] = magnitude * std::cos(degrees * kRadiansPerDegree);
    out.im[i] = magnitude * std::sin(degrees * kRadiansPerDegree);
  }
  return true;
}

// A converted trace, waiting to be stored.
struct ChartPart {
  SourceTrace source;
  ComplexValues values;
};

std::string part_name(const char* code, std::string_view name) {
  return std::string(code) + "[" + std::string(name.substr(0, kChartPartNameMax - std::strlen(code) - 2)) +
         "]";
}

std::string trace_name(const SourceTrace& t) {
  return t.name.empty() && t.y ? t.y->name : t.name;
}

// The traces of a chart in memory: nothing is stored before every message
// has been given.
std::vector<ChartPart> chart_parts(const Graph& source, DataStore& store, Notify& notify, bool smith) {
  std::vector<ChartPart> parts;
  for (const auto& t : source.traces) {
    ChartPart p{source_of(*t), {}};
    if (!t->y || !trace_complex(store, *t->y, p.values)) {
      notify.error(strprintf(kSmithNotValid, trace_name(p.source).c_str()));
      continue;
    }
    const std::string expression = !p.source.expression.empty() ? p.source.expression
                                   : t->y->expression           ? *t->y->expression
                                                                : std::string();
    if (smith && (smith_is_impedance(trace_name(p.source), expression) ||
                  smith_is_impedance(t->y->name, expression))) {
      for (size_t i = 0; i < p.values.re.size(); ++i) {
        const auto g = smith_reflection(p.values.re[i], p.values.im[i], source.smith_z0);
        const bool finite = std::isfinite(g.real()) && std::isfinite(g.imag());
        // A point with no reflection coefficient breaks the line there.
        p.values.re[i] = finite ? g.real() : kNaN;
        p.values.im[i] = finite ? g.imag() : kNaN;
      }
    }
    parts.push_back(std::move(p));
  }
  return parts;
}

// ---- Graphs ---------------------------------------------------------------

// A new graph that keeps how the old one looks and what it is about.
Graph chart_base(const Graph& from) {
  Graph g;
  g.analysis = from.analysis;
  g.cls = from.cls;
  g.options = from.options;
  g.header = from.header;
  g.max_selected = from.max_selected;
  g.angular = from.angular;
  g.transparent_labels = from.transparent_labels;
  g.smith_z0 = from.smith_z0;
  return g;
}

AxisLimits fixed_limits(double low, double high, double spacing) {
  return {.manual = true,
          .min = low,
          .max = high,
          .spacing = spacing,
          .ticks = manual_tick_count(low, high, spacing, false)};
}

// The limits of the polar chart: both axes alike, symmetric around 0 and
// reaching past the largest part of any value, with their ticks.
AxisLimits polar_limits(const std::vector<ChartPart>& parts) {
  double reach = 0;
  for (const ChartPart& p : parts)
    for (const auto* v : {&p.values.re, &p.values.im})
      for (double x : *v)
        if (std::fabs(x) <= kOutOfRangeValue) reach = std::max(reach, std::fabs(x));
  if (!(reach > 0)) reach = 1;
  AxisScale a;
  a.data_min = -reach;
  a.data_max = reach;
  auto_linear_limits(a, max_axis_divisions(false, 1), false);
  double spacing = a.spacing > 0 ? a.spacing : reach / 2;
  const double limit = std::ceil(reach / spacing - 1e-9) * spacing;
  return fixed_limits(-limit, limit, spacing);
}

// Makes way for a transform of the kind on top of undo: that one is undone
// first (the new one starts from the graph it replaced).
void undo_same_kind(Graph& graph, DataStore& store, TransformDisplay* undo, int kind) {
  if (undo && undo->top_kind() == kind) transform_undo(graph, store, *undo);
}

void keep_step(TransformDisplay* undo, int kind, Graph&& before, std::vector<const DataVector*>&& stored) {
  if (!undo) return;
  undo->steps.push_back({kind, std::make_unique<Graph>(std::move(before)), std::move(stored)});
}

void remove_stored(DataStore& store, std::vector<const DataVector*>& stored) {
  // The latest first: an I[..] names its R[..] as its X.
  for (auto it = stored.rbegin(); it != stored.rend(); ++it) store.remove_vector(*it);
  stored.clear();
}

int chart_show(Graph& graph, DataStore& store, Notify& notify, TransformDisplay* undo, bool smith) {
  const int kind = smith ? TRANSFORM_SMITH : TRANSFORM_POLAR;
  const Graph& source = undo && undo->top_kind() == kind ? *undo->steps.back().before : graph;
  std::vector<ChartPart> parts;
  try {
    parts = chart_parts(source, store, notify, smith);
  } catch (const std::bad_alloc&) {
    notify.out_of_memory();
    return 0;
  }
  if (parts.empty()) return 0;
  undo_same_kind(graph, store, undo, kind);

  Graph chart = chart_base(graph);
  chart.analysis = ANALYSIS_AC;
  chart.cls = DATA_CLASS_DERIVED;
  chart.chart = smith ? CHART_SMITH : CHART_POLAR;
  // A circle drawn as a circle: one unit is as long across as up.
  chart.options.area = AREA_SQUARE;
  std::vector<const DataVector*> stored;
  for (size_t k = 0; k < parts.size(); ++k) {
    const ChartPart& p = parts[k];
    const std::string name = trace_name(p.source);
    const auto n = static_cast<int64_t>(p.values.re.size());
    const std::string re_name = part_name("R", name), im_name = part_name("I", name);
    const DataVector* re = store.add_vector({.name = re_name,
                                             .cls = DATA_CLASS_DERIVED,
                                             .kind = ANALYSIS_AC,
                                             .quantity = quantity_code(ANALYSIS_AC, re_name),
                                             .x = p.source.x,
                                             .points = n,
                                             .values = p.values.re.data()});
    if (re) stored.push_back(re);
    const DataVector* im = re ? store.add_vector({.name = im_name,
                                                  .cls = DATA_CLASS_DERIVED,
                                                  .kind = ANALYSIS_AC,
                                                  .quantity = quantity_code(ANALYSIS_AC, im_name),
                                                  .x = re,
                                                  .points = n,
                                                  .values = p.values.im.data()})
                              : nullptr;
    if (im) stored.push_back(im);
    SelectedTrace* t = im ? add_trace(chart, *im, re, 0, notify) : nullptr;
    if (!t) break;
    t->third = p.source.x;
    t->name = p.source.name.empty() ? name : p.source.name;
    t->expression = p.source.expression;
    t->options = p.source.options;
    t->options.symbol = kChartSymbols[k % std::size(kChartSymbols)];
  }
  if (chart.traces.empty()) {
    remove_stored(store, stored);
    return 0;
  }
  chart.plots = 1;
  const AxisLimits limits = smith ? fixed_limits(-1, 1, 0.5) : polar_limits(parts);
  chart.x_limits = limits;
  chart.plot[0].limits = limits;
  const int shown = static_cast<int>(chart.traces.size());
  keep_step(undo, kind, std::move(graph), std::move(stored));
  graph = std::move(chart);
  return shown;
}

}  // namespace

// ---- Smith chart geometry -----------------------------------------------------

std::complex<double> smith_reflection(double z_re, double z_im, double z0) {
  const std::complex<double> z(z_re, z_im);
  const std::complex<double> sum = z + z0;
  if (sum == 0.0) return {INFINITY, INFINITY};
  return (z - z0) / sum;
}

std::complex<double> smith_impedance(double gamma_re, double gamma_im, double z0) {
  const std::complex<double> g(gamma_re, gamma_im);
  const std::complex<double> rest = 1.0 - g;
  if (rest == 0.0) return {INFINITY, INFINITY};
  return z0 * (1.0 + g) / rest;
}

SmithCircle smith_resistance_circle(double r) {
  return {r / (r + 1), 0, 1 / (r + 1)};
}

SmithCircle smith_reactance_circle(double x) {
  if (x == 0) return {1, INFINITY, INFINITY};
  return {1, 1 / x, 1 / std::fabs(x)};
}

bool smith_is_impedance(std::string_view name, std::string_view expression) {
  const std::string_view bare = without_braces(name);
  if (starts_with_z(bare)) return true;
  if (const auto parsed = complex_parse_name(bare); parsed && starts_with_z(parsed->base)) return true;
  // "NAME=expr": a name of Z decides; else the expression.
  std::string_view text = without_braces(expression);
  if (const size_t eq = text.find('='); eq != std::string_view::npos) {
    if (starts_with_z(trim(text.substr(0, eq)))) return true;
    text = without_braces(text.substr(eq + 1));
  }
  // One voltage over one current, nothing else at the top level.
  int depth = 0;
  size_t slash = std::string_view::npos;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '(') ++depth;
    if (c == ')') --depth;
    if (depth != 0) continue;
    if (c == '/') {
      if (slash != std::string_view::npos) return false;
      slash = i;
    } else if (c == '+' || c == '-' || c == '*' || c == '^') {
      return false;
    }
  }
  if (slash == std::string_view::npos) return false;
  return single_term(text.substr(0, slash), 'V') && single_term(text.substr(slash + 1), 'I');
}

// ---- Undo -------------------------------------------------------------------

bool transform_undo(Graph& graph, DataStore& store, TransformDisplay& display) {
  if (display.steps.empty()) return false;
  TransformStep step = std::move(display.steps.back());
  display.steps.pop_back();
  // The header texts belong to the data shown, which has not changed.
  GraphHeader header = std::move(graph.header);
  if (step.before) graph = std::move(*step.before);
  graph.header = std::move(header);
  // Only now that no trace shows them.
  remove_stored(store, step.stored);
  return true;
}

// ---- Smith and polar charts -------------------------------------------------

int smith_chart_show(Graph& graph, DataStore& store, Notify& notify, TransformDisplay* undo) {
  return chart_show(graph, store, notify, undo, true);
}

int polar_chart_show(Graph& graph, DataStore& store, Notify& notify, TransformDisplay* undo) {
  return chart_show(graph, store, notify, undo, false);
}

// ---- Eye display --------------------------------------------------------------

bool eye_options_check(const EyeOptions& o, Notify& notify) {
  if (!(o.period > 0)) {
    notify.error(kEyeBadPeriod);
    return false;
  }
  if (!(o.t_high - o.t_low > 0)) {
    notify.error(kEyeBadRange);
    return false;
  }
  return true;
}

std::vector<double> eye_fold(std::span<const double> t, const EyeOptions& o) {
  const double p = o.period, start = o.delay + p / 2;
  std::vector<double> out(t.size());
  for (size_t i = 0; i < t.size(); ++i) {
    if (t[i] < o.t_low) {
      out[i] = -kEyeOutside;
      continue;
    }
    if (t[i] > o.t_high) {
      out[i] = kEyeOutside;
      continue;
    }
    double v = p * (std::atan(std::tan(M_PI * (t[i] + start) / p - M_PI / 2)) + M_PI / 2) / M_PI - start;
    // On the seam the arc tangent may land on either end; the start is the one.
    if (v >= p - start) v -= p;
    out[i] = v;
  }
  return out;
}

std::vector<std::string> eye_readout(const EyeOptions& o) {
  return {"Period=" + format_eng_viewer(o.period, 5), "Delay=" + format_eng_viewer(o.delay, 5)};
}

int eye_display_show(Graph& graph, DataStore& store, const EyeOptions& options, Notify& notify,
                     TransformDisplay* undo) {
  const Graph& source = undo && undo->top_kind() == TRANSFORM_EYE ? *undo->steps.back().before : graph;
  if (source.analysis != ANALYSIS_TRAN) {
    notify.error(kEyeWrongKind);
    return 0;
  }
  if (!eye_options_check(options, notify)) return 0;
  // Every X vector of the traces folded, the first trace's first.
  std::vector<SourceTrace> traces;
  std::vector<const DataVector*> order;
  std::map<const DataVector*, std::vector<double>> folded;
  double low = INFINITY, high = -INFINITY;
  try {
    for (const auto& t : source.traces) {
      traces.push_back(source_of(*t));
      if (!t->x || folded.count(t->x)) continue;
      std::vector<double> x = eye_fold(copy_values(store, *t->x), options);
      bool inside = false;
      for (double v : x)
        if (std::fabs(v) < kEyeOutside) {
          low = std::min(low, v);
          high = std::max(high, v);
          inside = true;
        }
      // The first trace's time decides whether there is an eye at all.
      if (order.empty() && !inside) break;
      order.push_back(t->x);
      folded.emplace(t->x, std::move(x));
    }
  } catch (const std::bad_alloc&) {
    notify.out_of_memory();
    return 0;
  }
  if (order.empty() || !(low <= high)) {
    notify.error(kEyeNoData);
    return 0;
  }
  undo_same_kind(graph, store, undo, TRANSFORM_EYE);

  std::vector<const DataVector*> stored;
  std::map<const DataVector*, const DataVector*> teye;
  for (const DataVector* x : order) {
    const std::vector<double>& values = folded[x];
    const DataVector* v = store.add_vector({.name = kEyeVectorName,
                                            .cls = DATA_CLASS_TEXT,
                                            .kind = ANALYSIS_TRAN,
                                            .quantity = quantity_code(ANALYSIS_TRAN, kEyeVectorName),
                                            .points = static_cast<int64_t>(values.size()),
                                            .values = values.data()});
    if (!v) {
      remove_stored(store, stored);
      return 0;
    }
    stored.push_back(v);
    teye[x] = v;
  }

  Graph eye = chart_base(graph);
  eye.plots = graph.plots;
  eye.x_variable = graph.x_variable;
  for (int p = 0; p < kMaxPlots; ++p) {
    eye.plot[p].y_label = graph.plot[p].y_label;
    eye.plot[p].log = graph.plot[p].log;
    eye.plot[p].limits = graph.plot[p].limits;
  }
  for (const SourceTrace& s : traces) {
    if (!s.y) continue;
    const auto it = s.x ? teye.find(s.x) : teye.end();
    // A trace whose time was never folded has no place in the eye.
    if (it == teye.end()) continue;
    SelectedTrace* t = add_trace(eye, *s.y, it->second, s.plot, notify);
    if (!t) break;
    t->third = s.third;
    t->name = s.name;
    t->expression = s.expression;
    t->options = s.options;
  }
  if (eye.traces.empty()) {
    remove_stored(store, stored);
    notify.error(kEyeNoData);
    return 0;
  }
  eye.plots = plots_in_use(eye);
  // A point on the seam folds to a rounding error from 0: the axis ends at 0.
  for (double* v : {&low, &high})
    if (std::abs(*v) < options.period * 1e-9) *v = 0;
  widen_flat_range(low, high);
  AxisScale a;
  a.data_min = low;
  a.data_max = high;
  auto_linear_limits(a, kEyeTicks, false);
  eye.x_limits = fixed_limits(low, high, a.spacing > 0 ? a.spacing : (high - low) / 5);
  eye.x_label = kEyeCaption;
  eye.chart_readout = eye_readout(options);
  const int shown = static_cast<int>(eye.traces.size());
  if (undo) undo->eye = options;
  keep_step(undo, TRANSFORM_EYE, std::move(graph), std::move(stored));
  graph = std::move(eye);
  return shown;
}

}  // namespace zephyrim
