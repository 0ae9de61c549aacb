#include "viewer/plot/trace_selection.h"

#include <algorithm>

#include "common/notify.h"
#include "common/progress.h"
#include "common/text_format.h"
#include "viewer/calc/complex_data.h"
#include "viewer/data/data_store.h"

namespace zephyrim {

namespace {

// OTHER on either side matches any kind, as in the store's look-ups.
bool kind_shown(int graph_kind, int kind) {
  return graph_kind == ANALYSIS_OTHER || kind == graph_kind || kind == ANALYSIS_OTHER;
}

int runs_of(DataStore& store, int cls, int kind) {
  const DataClass* c = store.data_class(cls);
  return c && kind >= 0 && kind < kKindSlots ? std::max(1, c->run_count[kind]) : 1;
}

// The selection's common state.
struct Selection {
  Graph& graph;
  DataStore& store;
  Notify& notify;
  const UserParameters* parameters;
  int added = 0;
  bool full = false;

  bool take(const DataVector& y, const DataVector* x, TraceRequest& r) {
    if (full) return false;
    // Values waiting in the data file are read now, before anything is drawn.
    if (!y.loaded() && store.values(y).empty() && y.points > 0) return false;
    SelectedTrace* t = add_trace(graph, y, x ? x : y.x, r.plot, notify);
    if (!t) {
      full = true;
      return false;
    }
    ++r.traces;
    ++added;
    return true;
  }
};

// Step 2: every real vector of the name in the class, one trace per run.
void select_direct(Selection& s, TraceRequest& r) {
  const DataClass* c = s.store.data_class(s.graph.cls);
  if (!c) return;
  const auto bucket = c->by_name.find(ascii_lower(r.name.substr(0, std::min(r.name.size(), kVectorNameMax))));
  if (bucket == c->by_name.end()) return;
  for (const DataVector* v : bucket->second) {
    if (!kind_shown(s.graph.analysis, v->kind) || v->complex || !v->x) continue;
    if (r.run > 0 && v->run != r.run) continue;
    if (!r.x_name.empty() && !iequals(v->x->name, r.x_name)) continue;
    if (!s.take(*v, nullptr, r)) return;
  }
}

// Step 3: a complex form of complex vectors (AC and noise, binary class).
void select_complex(Selection& s, TraceRequest& r) {
  const int kind = s.graph.analysis;
  if ((kind != ANALYSIS_AC && kind != ANALYSIS_NOISE) || s.graph.cls != DATA_CLASS_BINARY) return;
  std::string base = noise_vector_name(s.store, r.name);
  int form = r.part >= 0 ? r.part : FORM_MAGNITUDE;
  if (const auto parsed = complex_parse_name(base)) {
    base = noise_vector_name(s.store, parsed->base);
    form = parsed->form;
  }
  for (const DataVector* v = s.store.find_vector(base, DATA_CLASS_BINARY, kind, -1, 1); v;
       v = s.store.next_run(v, v)) {
    if (v->kind != kind && v->kind != ANALYSIS_OTHER) continue;
    if (r.run > 0 && v->run != r.run) continue;
    // A form shown before is found again rather than derived twice.
    const std::string derived_name = complex_form_name(base, form);
    const DataVector* d = s.store.find_vector(derived_name, DATA_CLASS_BINARY, kind, -1, 0, v->run);
    if (!d) d = complex_derive(s.store, *v, base, form, DATA_CLASS_BINARY);
    if (!d || !s.take(*d, nullptr, r)) return;
  }
}

// Step 5: an expression per run of the kind, or for its own run.
void select_expression(Selection& s, TraceRequest& r) {
  const std::string& text = *r.expression;
  const bool one_run = r.run > 0 || text.find('@') != std::string::npos;
  const int runs = one_run ? 1 : runs_of(s.store, s.graph.cls, s.graph.analysis);
  for (int run = 1; run <= runs; ++run) {
    s.store.progress().show(
        strprintf("Select plot variables...\nEvaluate auto expression variable %d of %d", run, runs));
    const ExprSelection selection{.cls = s.graph.cls,
                                  .kind = s.graph.analysis,
                                  .run = one_run ? r.run : run,
                                  .parameters = s.parameters};
    const DataVector* v = expr_evaluate(s.store, text, selection);
    if (!v) return;
    if (!s.take(*v, nullptr, r)) return;
  }
}

// Step 6: names found only in the text class.
bool select_other_class(Selection& s, std::vector<TraceRequest>& requests) {
  if (s.graph.cls == DATA_CLASS_TEXT) return false;
  bool switched = false;
  for (auto& r : requests) {
    if (r.traces > 0 || r.name.empty()) continue;
    if (!s.store.find_vector(r.name, DATA_CLASS_TEXT, -1, -1, -1)) continue;
    if (s.graph.traces.empty() && !switched) {
      s.graph.cls = DATA_CLASS_TEXT;
      s.graph.analysis = ANALYSIS_OTHER;
      switched = true;
    }
    if (s.graph.cls == DATA_CLASS_TEXT) select_direct(s, r);
  }
  return switched;
}

// Step 7: the graph's X variable gives each new trace its X vector of the same run.
void apply_x_variable(Selection& s, size_t first_new) {
  const XVariable& xv = s.graph.x_variable;
  if (xv.empty()) return;
  std::string name = xv.text;
  if (xv.expression) {
    const ExprSelection selection{.cls = s.graph.cls, .kind = s.graph.analysis, .parameters = s.parameters};
    const DataVector* v = expr_evaluate(s.store, xv.text, selection);
    if (!v) return;
    name = v->name;
  }
  for (size_t i = first_new; i < s.graph.traces.size(); ++i) {
    SelectedTrace& t = *s.graph.traces[i];
    s.store.progress().show(strprintf("Select plot variables...\nUpdate X var. %d", static_cast<int>(i + 1)));
    const DataVector* x = s.store.find_vector(name, t.y->data_class, t.y->kind, -1, 0, t.y->run);
    if (!x) x = s.store.find_vector(name, t.y->data_class, t.y->kind, -1, 0);
    if (x) t.x = x;
  }
}

}  // namespace

std::string noise_vector_name(const DataStore& store, std::string_view name) {
  if (iequals(name, "ONOISE")) return "V(ONOISE)";
  if (iequals(name, "VINOISE") || iequals(name, "IINOISE"))
    return store.input_noise_v > 0 || store.input_noise_i == 0 ? "V(INOISE)" : "I(INOISE)";
  return std::string(name);
}

int select_traces(Graph& graph, DataStore& store, std::vector<TraceRequest>& requests, Notify& notify,
                  const UserParameters* parameters) {
  Selection s{graph, store, notify, parameters};
  const size_t before = graph.traces.size();
  const auto runs = static_cast<size_t>(runs_of(store, graph.cls, graph.analysis));
  if (!grow_trace_table(graph, before + requests.size() * runs, notify)) return 0;
  const int n = static_cast<int>(requests.size());
  for (int i = 0; i < n && !s.full; ++i) {
    TraceRequest& r = requests[static_cast<size_t>(i)];
    if (r.name.empty() || r.expression) continue;
    store.progress().show(strprintf("Select plot variable %d of %d\nCount %d", i + 1, n, s.added));
    select_direct(s, r);
  }
  for (int i = 0; i < n && !s.full; ++i) {
    TraceRequest& r = requests[static_cast<size_t>(i)];
    if (r.traces > 0 || r.name.empty() || r.expression) continue;
    store.progress().show(strprintf("Select complex plot variable %d of %d\nCount %d", i + 1, n, s.added));
    select_complex(s, r);
  }
  for (int i = 0; i < n; ++i) {
    TraceRequest& r = requests[static_cast<size_t>(i)];
    const size_t comma = r.name.find(',');
    if (r.traces > 0 || r.expression || comma == std::string::npos || !istarts_with(r.name, "V(")) continue;
    store.progress().show(strprintf("Select plot vdiff variable %d of %d", i + 1, n));
    // V(a,b) is V(a)-V(b), under its own name.
    r.expression = r.name + "=" + r.name.substr(0, comma) + ")-V(" + r.name.substr(comma + 1);
  }
  for (auto& r : requests)
    if (!s.full && r.traces == 0 && r.expression) select_expression(s, r);
  if (!s.full) select_other_class(s, requests);
  apply_x_variable(s, before);
  store.progress().show(strprintf("Selected plot variables count %d", s.added));
  return s.added;
}

}  // namespace zephyrim
