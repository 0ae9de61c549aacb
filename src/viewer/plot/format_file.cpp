#include "viewer/plot/format_file.h"

#include <algorithm>
#include <cstdio>

#include "common/file_io.h"
#include "common/notify.h"
#include "common/text_format.h"
#include "viewer/data/data_store.h"
#include "viewer/plot/trace_selection.h"

namespace zephyrim {

namespace {

// A format file holds settings and names, never values: anything larger is
// not one of ours.
constexpr uint64_t kFormatMaxFileSize = uint64_t{64} << 20;

// The steps of reading, as the read error reports them.
enum Step : int {
  STEP_DESCRIPTION = 1,
  STEP_DATA_FILE,
  STEP_COUNTS,
  STEP_DISPLAY_VARIABLES,
  STEP_TRACES_TAG,
  STEP_TRACES,
  STEP_GRAPH_TAG,
  STEP_GRAPH,
  STEP_LABELS,
  STEP_PLOTS_TAG,
  STEP_PLOTS,
  STEP_WINDOW,
  STEP_DISPLAY,
};

// ---- Field lists ----------------------------------------------------------

template <class IO, class R>
void axis_fields(IO& io, R& a) {
  io.i32(a.in_use);
  io.i32(a.log_scale);
  io.i32(a.limits_manual);
  io.i32(a.range_manual);
  io.f64(a.data_min);
  io.f64(a.data_max);
  io.f64(a.low);
  io.f64(a.high);
  io.f64(a.spacing);
  io.i32(a.divisions);
  io.i32(a.first_mark);
}

// AxisLimits holds bools and an optional; the file holds int32 fields.
void limits_write(FieldWriter& io, const AxisLimits& l) {
  io.i32(l.manual ? 1 : 0);
  io.f64(l.min);
  io.f64(l.max);
  io.f64(l.spacing);
  io.i32(l.ticks ? 1 : 0);
  io.i32(l.ticks.value_or(0));
}

void limits_read(FieldReader& io, AxisLimits& l) {
  int32_t manual = 0, given = 0, ticks = 0;
  io.i32(manual);
  io.f64(l.min);
  io.f64(l.max);
  io.f64(l.spacing);
  io.i32(given);
  io.i32(ticks);
  l.manual = manual != 0;
  l.ticks = given ? std::optional<int>(ticks) : std::nullopt;
}

void limits_fields(FieldWriter& io, const AxisLimits& l) {
  limits_write(io, l);
}
void limits_fields(FieldReader& io, AxisLimits& l) {
  limits_read(io, l);
}

template <class IO, class R>
void tick_style_fields(IO& io, R& t) {
  io.i32(t.given);
  io.i32(t.code);
  io.i32(t.digits);
  io.i32(t.unit_mode);
  io.i32(t.scale_on_caption);
  io.text(t.unit_name);
}

template <class IO, class R>
void graph_fields(IO& io, R& g) {
  io.i32(g.analysis);
  io.i32(g.cls);
  io.i32(g.plots);
  io.i32(g.chart);
  axis_fields(io, g.x_axis);
  io.i32(g.x_log);
  limits_fields(io, g.x_limits);
  io.text(g.x_label);
  io.text(g.x_variable);
  io.i32(g.x_expression);
  io.i32(g.angular);
  io.text(g.file);
  io.text(g.circuit_title);
  io.text(g.subtitle);
  io.text(g.date);
  io.text(g.time);
  io.text(g.temperature);
  io.i32(g.labels);
  io.i32(g.labels2);
  io.i32(g.transparent_labels);
  tick_style_fields(io, g.x_ticks);
  io.bytes(g.reserved);
}

template <class IO, class R>
void label_fields(IO& io, R& l) {
  io.i32(l.text);
  io.f64(l.x);
  io.f64(l.y);
  io.i32(l.plot);
  io.bytes(l.reserved);
}

template <class IO, class R>
void plot_fields(IO& io, R& p) {
  axis_fields(io, p.y_axis);
  io.text(p.y_label);
  io.i32(p.log);
  limits_fields(io, p.limits);
  tick_style_fields(io, p.ticks);
  io.bytes(p.reserved);
}

template <class IO, class R>
void display_fields(IO& io, R& d) {
  io.i32(d.options.grid);
  io.i32(d.options.area);
  io.i32(d.options.plotting);
  io.i32(d.options.direction);
  io.i32(d.options.info);
  io.bytes(d.reserved);
}

// Reads a fixed-size record whole or not at all.
template <class R, class Fields>
bool read_record(ByteReader& r, size_t size, R& out, Fields fields) {
  if (r.remaining() < size) return false;
  FieldReader io(r);
  fields(io, out);
  return !r.failed();
}

template <size_t N>
void terminate_text(FixedText<N>& t) {
  t.terminate();
}

// ---- Tick styles ----------------------------------------------------------

TickStyleRecord tick_style_record(const std::optional<TickStyle>& s) {
  TickStyleRecord r;
  if (!s) return r;
  r.given = 1;
  r.code = s->code;
  r.digits = s->digits;
  r.unit_mode = static_cast<int32_t>(s->unit_mode);
  r.scale_on_caption = s->scale_on_caption ? 1 : 0;
  r.unit_name.assign(s->unit_name);
  return r;
}

std::optional<TickStyle> tick_style_of(const TickStyleRecord& r) {
  if (!r.given) return std::nullopt;
  TickStyle s;
  s.code = std::clamp(r.code, static_cast<int32_t>(TICK_FIXED_PLAIN), static_cast<int32_t>(TICK_DECADE));
  s.digits = std::clamp(r.digits, 0, 9);
  s.unit_mode = static_cast<UnitMode>(std::clamp(r.unit_mode, 0, 2));
  s.unit_name = r.unit_name.str();
  s.scale_on_caption = r.scale_on_caption != 0;
  return s;
}

// ---- Writing ----------------------------------------------------------------

void write_variable(ByteWriter& w, const FormatVariable& v) {
  write_vector_record(w, v.record);
  write_counted_text(w, v.expression, kFormatTextMax);
}

FormatVariable variable_of(const DataVector& v) {
  return {vector_record(v), v.expression.value_or(std::string())};
}

// ---- Reading ----------------------------------------------------------------

bool read_variable(ByteReader& r, FormatVariable& v) {
  return read_vector_record(r, v.record) && read_counted_text(r, kFormatTextMax, v.expression);
}

bool read_trace(ByteReader& r, FormatTrace& t) {
  if (!read_trace_record(r, t.record) || !read_variable(r, t.y)) return false;
  if (t.record.x) {
    t.x.emplace();
    if (!read_variable(r, *t.x)) return false;
  }
  if (t.record.third) {
    t.third.emplace();
    if (!read_variable(r, *t.third)) return false;
  }
  return read_counted_text(r, kFormatTextMax, t.name) && read_counted_text(r, kFormatTextMax, t.expression);
}

// The smallest each list entry can take, so that a count no file could hold
// is refused before anything is reserved for it.
constexpr size_t kMinTraceBytes = kTraceRecordSize + kVectorRecordSize + 3 * 4;
constexpr size_t kMinLabelBytes = kLabelRecordSize + 4;

FormatRead read_body(ByteReader& r, FormatFile& f, int analysis, int& step) {
  step = STEP_DESCRIPTION;
  if (!r.bytes(f.description.bytes)) return FormatRead::read_error;
  f.description.terminate();
  step = STEP_DATA_FILE;
  if (!r.bytes(f.data_file.bytes)) return FormatRead::read_error;
  f.data_file.terminate();
  step = STEP_COUNTS;
  int32_t count = 0;
  if (!r.i32(f.cls) || !r.i32(f.analysis) || !r.i32(count) || count < 0) return FormatRead::read_error;
  // A format of another analysis is refused before anything more is read.
  if (analysis >= 0 && f.analysis != analysis) return FormatRead::wrong_analysis;
  step = STEP_DISPLAY_VARIABLES;
  for (auto& v : f.display_variables) {
    int32_t flag = 0;
    if (!r.i32(flag)) return FormatRead::read_error;
    if (!flag) continue;
    v.emplace();
    if (!read_variable(r, *v)) return FormatRead::read_error;
  }
  step = STEP_TRACES_TAG;
  if (!read_section_tag(r, kTagSelectedTraces)) return FormatRead::read_error;
  step = STEP_TRACES;
  if (static_cast<size_t>(count) > r.remaining() / kMinTraceBytes) return FormatRead::read_error;
  f.traces.resize(static_cast<size_t>(count));
  for (auto& t : f.traces)
    if (!read_trace(r, t)) return FormatRead::read_error;
  step = STEP_GRAPH_TAG;
  if (!read_section_tag(r, kTagGraphInfo)) return FormatRead::read_error;
  step = STEP_GRAPH;
  if (!read_record(r, kGraphRecordSize, f.graph,
                   [](FieldReader& io, GraphRecord& g) { graph_fields(io, g); }))
    return FormatRead::read_error;
  terminate_text(f.graph.x_label);
  terminate_text(f.graph.x_variable);
  terminate_text(f.graph.file);
  terminate_text(f.graph.circuit_title);
  terminate_text(f.graph.subtitle);
  terminate_text(f.graph.date);
  terminate_text(f.graph.time);
  terminate_text(f.graph.temperature);
  terminate_text(f.graph.x_ticks.unit_name);
  step = STEP_LABELS;
  const int32_t label_counts[2] = {f.graph.labels, f.graph.labels2};
  for (int list = 0; list < 2; ++list) {
    const int32_t n = label_counts[list];
    if (n < 0 || static_cast<size_t>(n) > r.remaining() / kMinLabelBytes) return FormatRead::read_error;
    f.labels[list].resize(static_cast<size_t>(n));
    for (auto& l : f.labels[list]) {
      if (!read_record(r, kLabelRecordSize, l.record,
                       [](FieldReader& io, LabelRecord& x) { label_fields(io, x); }) ||
          !read_counted_text(r, kFormatTextMax, l.text))
        return FormatRead::read_error;
    }
  }
  step = STEP_PLOTS_TAG;
  if (!read_section_tag(r, kTagPlotsInfo)) return FormatRead::read_error;
  step = STEP_PLOTS;
  if (f.graph.plots < 0 || f.graph.plots > kMaxPlots) return FormatRead::read_error;
  f.plots.resize(static_cast<size_t>(f.graph.plots));
  for (auto& p : f.plots) {
    if (!read_record(r, kPlotRecordSize, p, [](FieldReader& io, PlotRecord& x) { plot_fields(io, x); }))
      return FormatRead::read_error;
    p.y_label.terminate();
    p.ticks.unit_name.terminate();
  }
  step = STEP_WINDOW;
  if (!r.bytes(f.window)) return FormatRead::read_error;
  step = STEP_DISPLAY;
  if (!read_record(r, kDisplayRecordSize, f.display,
                   [](FieldReader& io, DisplayRecord& d) { display_fields(io, d); }))
    return FormatRead::read_error;
  return FormatRead::ok;
}

// ---- Applying -------------------------------------------------------------

void apply_settings(Graph& g, const FormatFile& f) {
  const GraphRecord& r = f.graph;
  g.analysis = f.analysis;
  g.cls = f.cls;
  g.plots = std::clamp(r.plots, 1, kMaxPlots);
  // A chart type this program does not know shows as a normal graph.
  g.chart = r.chart >= CHART_NORMAL && r.chart <= CHART_POLAR ? r.chart : CHART_NORMAL;
  g.x_axis = r.x_axis;
  g.x_log = r.x_log != 0;
  g.x_limits = r.x_limits;
  g.x_label = r.x_label.str();
  g.x_variable = {r.x_variable.str(), r.x_expression != 0};
  g.angular = r.angular != 0;
  g.header = {r.file.str(), r.circuit_title.str(), r.subtitle.str(),
              r.date.str(), r.time.str(),          r.temperature.str()};
  g.transparent_labels = r.transparent_labels != 0;
  for (const auto& list : f.labels)
    for (const FormatLabel& l : list)
      g.labels.push_back({l.text, l.record.x, l.record.y, std::clamp(l.record.plot, 0, kMaxPlots - 1)});
  for (size_t p = 0; p < f.plots.size(); ++p) {
    const PlotRecord& pr = f.plots[p];
    g.plot[p].y_axis = pr.y_axis;
    g.plot[p].y_label = pr.y_label.str();
    g.plot[p].log = pr.log != 0;
    g.plot[p].limits = pr.limits;
  }
  g.options = f.display.options;
}

void apply_options(SelectedTrace& t, const TraceRecord& r) {
  t.options.colour = std::clamp(r.colour, 0, 15);
  t.options.symbol = std::clamp(r.symbol, 0, 9);
  t.options.display = std::clamp(r.display, 0, 2);
  t.options.line_type = std::clamp(r.line_type, 0, 9);
  t.options.pen_width = std::clamp(r.pen_width, 0, 5);
}

// Selects one stored trace again: the vector of its name and run when the
// store still has it (a computed one is not computed twice), else its
// expression evaluated anew. Returns the number of traces added.
int select_stored_trace(Graph& g, DataStore& store, const FormatTrace& t, Notify& notify,
                        const UserParameters* parameters) {
  TraceRequest request;
  request.name = t.y.record.name.str();
  request.run = std::max(0, t.y.record.run);
  if (t.x) request.x_name = t.x->record.name.str();
  request.plot = std::clamp(t.record.plot, 0, kMaxPlots - 1);
  std::vector<TraceRequest> requests{request};
  const size_t before = g.traces.size();
  int added = request.name.empty() ? 0 : select_traces(g, store, requests, notify, parameters);
  const std::string& expression = !t.expression.empty() ? t.expression : t.y.expression;
  if (added == 0 && !expression.empty()) {
    requests = {request};
    requests[0].name.clear();
    requests[0].expression = expression;
    added = select_traces(g, store, requests, notify, parameters);
  }
  for (size_t i = before; i < g.traces.size(); ++i) {
    SelectedTrace& s = *g.traces[i];
    apply_options(s, t.record);
    if (!t.name.empty()) s.name = t.name;  // a name the user gave stays
    if (t.third)
      s.third = store.find_vector(t.third->record.name.str(), s.y->data_class, s.y->kind, -1, -1, s.y->run);
  }
  return added;
}

bool data_present(DataStore& store, int cls, int kind) {
  const DataClass* c = store.data_class(cls);
  if (!c || c->count == 0) return false;
  if (kind < 0 || kind >= kKindSlots) return false;
  return kind == ANALYSIS_OTHER || c->kind_count[static_cast<size_t>(kind)] > 0 ||
         c->kind_count[ANALYSIS_OTHER] > 0;
}

}  // namespace

std::string format_base_name(const std::string& project_path) {
  return with_extension(project_path, "F");
}

std::string format_slot_file(const std::string& base, int slot) {
  return base + (slot >= 1 && slot <= 99 ? strprintf("%2.2d", slot) : std::string("00"));
}

FormatFile format_of_graph(const Graph& graph, const std::string& description, const std::string& data_file,
                           const FormatTickStyles* styles) {
  FormatFile f;
  f.description.assign(description);
  f.data_file.assign(data_file);
  f.cls = graph.cls;
  f.analysis = graph.analysis;
  for (const auto& t : graph.traces) {
    if (!t->y) continue;
    FormatTrace ft;
    ft.record = trace_record(*t);
    ft.y = variable_of(*t->y);
    if (t->x) ft.x = variable_of(*t->x);
    if (t->third) ft.third = variable_of(*t->third);
    ft.name = t->name.substr(0, kFormatTextMax);
    ft.expression = t->expression.substr(0, kFormatTextMax);
    ft.record.name = ft.name.empty() ? 0 : 1;
    ft.record.expression = ft.expression.empty() ? 0 : 1;
    f.traces.push_back(std::move(ft));
  }
  GraphRecord& r = f.graph;
  r.analysis = graph.analysis;
  r.cls = graph.cls;
  r.plots = std::clamp(graph.plots, 1, kMaxPlots);
  r.chart = graph.chart;
  r.x_axis = graph.x_axis;
  r.x_log = graph.x_log ? 1 : 0;
  r.x_limits = graph.x_limits;
  r.x_label.assign(graph.x_label);
  r.x_variable.assign(graph.x_variable.text);
  r.x_expression = graph.x_variable.expression ? 1 : 0;
  r.angular = graph.angular ? 1 : 0;
  r.file.assign(graph.header.file);
  r.circuit_title.assign(graph.header.circuit_title);
  r.subtitle.assign(graph.header.subtitle);
  r.date.assign(graph.header.date);
  r.time.assign(graph.header.time);
  r.temperature.assign(graph.header.temperature);
  r.transparent_labels = graph.transparent_labels ? 1 : 0;
  if (styles) r.x_ticks = tick_style_record(styles->x);
  for (const GraphLabel& l : graph.labels) {
    FormatLabel fl;
    fl.text = l.text.substr(0, kFormatTextMax);
    fl.record.text = fl.text.empty() ? 0 : 1;
    fl.record.x = l.x;
    fl.record.y = l.y;
    fl.record.plot = l.plot;
    f.labels[0].push_back(std::move(fl));
  }
  for (int p = 0; p < r.plots; ++p) {
    const Plot& plot = graph.plot[static_cast<size_t>(p)];
    PlotRecord pr;
    pr.y_axis = plot.y_axis;
    pr.y_label.assign(plot.y_label);
    pr.log = plot.log ? 1 : 0;
    pr.limits = plot.limits;
    if (styles) pr.ticks = tick_style_record(styles->y[static_cast<size_t>(p)]);
    f.plots.push_back(pr);
  }
  f.display.options = graph.options;
  return f;
}

std::vector<uint8_t> format_bytes(const FormatFile& f) {
  ByteWriter w;
  write_plot_file_header(w);
  w.bytes(f.description.bytes);
  w.bytes(f.data_file.bytes);
  w.i32(f.cls);
  w.i32(f.analysis);
  w.i32(static_cast<int32_t>(f.traces.size()));
  for (const auto& v : f.display_variables) {
    w.i32(v ? 1 : 0);
    if (v) write_variable(w, *v);
  }
  write_section_tag(w, kTagSelectedTraces);
  for (const FormatTrace& t : f.traces) {
    // The record's marks say which blocks follow, so they follow the lists.
    TraceRecord record = t.record;
    record.x = t.x ? 1 : 0;
    record.third = t.third ? 1 : 0;
    write_trace_record(w, record);
    write_variable(w, t.y);
    if (t.x) write_variable(w, *t.x);
    if (t.third) write_variable(w, *t.third);
    write_counted_text(w, t.name, kFormatTextMax);
    write_counted_text(w, t.expression, kFormatTextMax);
  }
  write_section_tag(w, kTagGraphInfo);
  GraphRecord graph = f.graph;
  graph.labels = static_cast<int32_t>(f.labels[0].size());
  graph.labels2 = static_cast<int32_t>(f.labels[1].size());
  graph.plots = static_cast<int32_t>(f.plots.size());
  FieldWriter io(w);
  graph_fields(io, graph);
  for (const auto& list : f.labels)
    for (const FormatLabel& l : list) {
      label_fields(io, l.record);
      write_counted_text(w, l.text, kFormatTextMax);
    }
  write_section_tag(w, kTagPlotsInfo);
  for (const PlotRecord& p : f.plots) plot_fields(io, p);
  w.bytes(f.window);
  display_fields(io, f.display);
  return w.take();
}

FormatReadResult format_parse(std::span<const uint8_t> bytes, FormatFile& file, int analysis) {
  FormatReadResult result;
  ByteReader r(bytes);
  int version = 0;
  if (read_plot_file_header(r, version) != PlotFileHeader::ok || version < kFormatOldestVersion) {
    result.status = FormatRead::not_ours;
    result.version = version;
    return result;
  }
  result.version = version;
  FormatFile f;
  f.version = version;
  result.status = read_body(r, f, analysis, result.step);
  if (result.status == FormatRead::ok) file = std::move(f);
  return result;
}

std::string format_default_description(const Graph& graph) {
  std::string out;
  const int plots = std::clamp(graph.plots, 1, kMaxPlots);
  for (int p = 0; p < plots; ++p) {
    std::string name = graph.plot[static_cast<size_t>(p)].y_label;
    if (name.empty())
      for (const auto& t : graph.traces)
        if (t->plot == p) name += (name.empty() ? "" : ",") + t->name;
    if (name.empty()) continue;
    out += (out.empty() ? "" : ";") + name;
  }
  std::string x = graph.x_variable.text;
  if (x.empty())
    for (const auto& t : graph.traces)
      if (t->x) {
        x = t->x->name;
        break;
      }
  out += " vs " + x;
  return out.substr(0, kFormatDescriptionSize - 1);
}

int format_save(const Graph& graph, const std::string& path, const std::string& description,
                const std::string& data_file, Notify& notify, const FormatTickStyles* styles) {
  const std::vector<uint8_t> bytes = format_bytes(format_of_graph(graph, description, data_file, styles));
  if (write_file_replacing(path, bytes) != WriteStatus::ok) {
    notify.error(kFormatCannotSave);
    return 0;
  }
  return 1;
}

std::optional<FormatFile> format_read_file(const std::string& path) {
  const auto bytes = read_file(path, kFormatMaxFileSize);
  if (!bytes) return std::nullopt;
  FormatFile f;
  if (format_parse(*bytes, f).status != FormatRead::ok) return std::nullopt;
  return f;
}

std::optional<std::string> format_read_header(const std::string& base, int slot) {
  const auto bytes = read_file(format_slot_file(base, slot), kFormatMaxFileSize);
  if (!bytes) return std::nullopt;
  ByteReader r(*bytes);
  int version = 0;
  FixedText<kFormatDescriptionSize> description;
  if (read_plot_file_header(r, version) != PlotFileHeader::ok || version < kFormatOldestVersion ||
      !r.bytes(description.bytes))
    return std::nullopt;
  description.terminate();
  return description.str();
}

int format_load(Graph& graph, DataStore& store, const std::string& path, Notify& notify,
                FormatTickStyles* styles, const UserParameters* parameters) {
  const auto bytes = read_file(path, kFormatMaxFileSize);
  if (!bytes) {
    notify.error(strprintf(kFormatCannotOpen, path.c_str()));
    return 0;
  }
  FormatFile f;
  const FormatReadResult read = format_parse(*bytes, f, graph.analysis);
  switch (read.status) {
    case FormatRead::ok:
      break;
    case FormatRead::not_ours:
      notify.error(kFormatNotCompatible);
      return 0;
    case FormatRead::wrong_analysis:
      notify.error(kFormatWrongAnalysis);
      return 0;
    case FormatRead::read_error:
      notify.error(strprintf(kFormatReadError, read.step, read.version));
      return 0;
  }
  if (!f.traces.empty() && !data_present(store, f.cls, f.analysis)) {
    notify.error(kFormatDataMissing);
    return 0;
  }
  // The file goes onto a new graph, which replaces the shown one only when
  // everything came through.
  Graph g;
  g.max_selected = graph.max_selected;
  apply_settings(g, f);
  int added = 0;
  for (const FormatTrace& t : f.traces) added += select_stored_trace(g, store, t, notify, parameters);
  if (!f.traces.empty() && added == 0) {
    notify.error(kFormatCannotSelect);
    return 0;
  }
  // The header describes the data shown, not the data the format was made on.
  if (!graph.header.file.empty() || !graph.header.circuit_title.empty()) g.header = graph.header;
  graph = std::move(g);
  if (styles) {
    styles->x = tick_style_of(f.graph.x_ticks);
    for (size_t p = 0; p < styles->y.size(); ++p)
      styles->y[p] = p < f.plots.size() ? tick_style_of(f.plots[p].ticks) : std::nullopt;
  }
  return 1;
}

int format_delete(const std::string& base, int slot) {
  return std::remove(format_slot_file(base, slot).c_str()) == 0 ? 1 : 0;
}

int format_delete_all(const std::string& base, Notify& notify) {
  if (notify.question(kFormatDeleteAllQuestion, QuestionKind::YesNo) != 1) return -1;
  int removed = 0;
  for (int slot = 0; slot < kFormatSlots; ++slot) removed += format_delete(base, slot);
  return removed;
}

}  // namespace zephyrim
