#include "viewer/calc/tabulate.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>

#include "common/file_io.h"
#include "common/notify.h"
#include "common/progress.h"
#include "common/text_format.h"
#include "viewer/calc/complex_data.h"
#include "viewer/calc/data_open.h"
#include "viewer/calc/expression.h"
#include "viewer/calc/measure.h"
#include "viewer/data/data_store.h"
#include "viewer/data/text_data_file.h"

namespace zephyrim {

namespace {

std::string cut(std::string_view text, size_t n) {
  return std::string(text.substr(0, std::min(text.size(), n)));
}

bool is_blank(char c) {
  return c == ' ' || c == '\t';
}

// ---- reading the listing ----------------------------------------------------

// The pieces of the text as a line buffer of 256 bytes takes them: up to 255
// characters, through the line feed when it comes sooner.
class Pieces {
 public:
  explicit Pieces(std::string_view text) : text_(text) {}
  bool next(std::string_view& piece) {
    if (pos_ >= text_.size()) return false;
    const size_t most = std::min(kTabulateLineChars, text_.size() - pos_);
    const char* begin = text_.data() + pos_;
    const auto* lf = static_cast<const char*>(std::memchr(begin, '\n', most));
    const size_t n = lf ? static_cast<size_t>(lf - begin) + 1 : most;
    piece = text_.substr(pos_, n);
    pos_ += n;
    return true;
  }

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

bool is_value_delimiter(char c) {
  return c == ' ' || c == '=' || c == ',' || c == '\t';
}

// The next token of the line from pos on; empty at its end.
std::string_view next_token(std::string_view line, size_t& pos) {
  while (pos < line.size() && is_value_delimiter(line[pos])) ++pos;
  const size_t start = pos;
  while (pos < line.size() && !is_value_delimiter(line[pos])) ++pos;
  return line.substr(start, pos - start);
}

// The number at the start of the token, as "%G" reads it (one sign, and
// whatever follows the number ignored); none when it does not begin with one
// or is out of the range of a double.
std::optional<double> leading_number(std::string_view token) {
  bool negative = false;
  if (!token.empty() && (token[0] == '+' || token[0] == '-')) {
    negative = token[0] == '-';
    token.remove_prefix(1);
  }
  // from_chars takes no sign of its own beyond a minus; a second sign is no number.
  if (token.empty() || token[0] == '+' || token[0] == '-') return std::nullopt;
  double value = 0;
  const auto r = std::from_chars(token.data(), token.data() + token.size(), value);
  if (r.ec != std::errc()) return std::nullopt;
  return negative ? -value : value;
}

// The value a listing line gives for the name, if it gives one.
std::optional<double> value_in_line(std::string_view line, std::string_view name) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (line.find("**RunInfo: ") != std::string_view::npos) return std::nullopt;
  while (!line.empty() && is_blank(line.front())) line.remove_prefix(1);
  if (line.empty() || line.front() == '.' || line.front() == '#') return std::nullopt;
  size_t pos = 0;
  for (std::string_view token = next_token(line, pos); !token.empty(); token = next_token(line, pos)) {
    if (!iequals(token, name)) continue;
    // Only the first mention of the name counts, whatever follows it.
    const std::optional<double> value = leading_number(next_token(line, pos));
    if (!value) return std::nullopt;
    const bool alone = next_token(line, pos).empty();
    if (line.find('=') == std::string_view::npos && !alone) return std::nullopt;
    return value;
  }
  return std::nullopt;
}

int text_quantity(std::string_view name) {
  return std::max(0, quantity_code(ANALYSIS_OTHER, name));
}

// RUN# with the values 0 .. n-1, in the text class.
const DataVector* store_run_numbers(DataStore& store, size_t n) {
  std::vector<double> ordinals(n);
  for (size_t k = 0; k < n; ++k) ordinals[k] = static_cast<double>(k);
  return store.add_vector({.name = "RUN#",
                           .cls = DATA_CLASS_TEXT,
                           .kind = ANALYSIS_OTHER,
                           .quantity = text_quantity("RUN#"),
                           .points = static_cast<int64_t>(n),
                           .values = ordinals.data()});
}

}  // namespace

int tabulate_parse(std::vector<TabulateRequest>& list, std::string_view statement) {
  std::string x_name;
  int added = 0;
  size_t pos = 0;
  bool first = true;
  while (pos < statement.size()) {
    while (pos < statement.size() && is_blank(statement[pos])) ++pos;
    const size_t start = pos;
    while (pos < statement.size() && !is_blank(statement[pos])) ++pos;
    const std::string_view token = statement.substr(start, pos - start);
    if (token.empty()) break;
    if (first) {  // the statement word
      first = false;
      continue;
    }
    if (istarts_with(token, "X=")) {
      x_name = cut(token.substr(2), kTabulateNameMax);
      continue;
    }
    list.push_back({cut(token, kTabulateNameMax), x_name});
    ++added;
  }
  return added;
}

std::vector<double> tabulate_values(std::string_view listing, std::string_view name, size_t max_values,
                                    bool* cut_off) {
  std::vector<double> values;
  if (cut_off) *cut_off = false;
  if (name.empty()) return values;
  Pieces pieces(listing);
  std::string_view piece;
  while (pieces.next(piece)) {
    const std::optional<double> value = value_in_line(piece, name);
    if (!value) continue;
    if (values.size() >= max_values) {
      if (cut_off) *cut_off = true;
      break;
    }
    values.push_back(*value);
  }
  return values;
}

std::string tabulate_listing_path(const std::string& data_path) {
  if (data_path.empty()) return {};
  if (data_file_type(data_path) == DATA_TYPE_LISTING) return data_path;
  for (const char* extension : {"OUT", "out", "LIS", "lis"}) {
    const std::string listing = with_extension(data_path, extension);
    if (file_exists(listing)) return listing;
  }
  return with_extension(data_path, "OUT");
}

bool TabulateListing::open(const std::string& path) {
  path_ = path;
  return !path.empty() && file_.open(path);
}

std::string_view TabulateListing::text() const {
  const auto bytes = file_.bytes();
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

TabulateOutcome tabulate_name(DataStore& store, std::string_view listing, const TabulateRequest& request,
                              TabulateXMemory* memory) {
  TabulateOutcome outcome;
  outcome.name = cut(request.name, kTabulateNameMax);
  const DataVector* x = nullptr;
  if (!request.x_name.empty()) {
    if (memory && iequals(memory->name, request.x_name)) {
      x = memory->vector;
    } else {
      const TabulateOutcome of_x = tabulate_name(store, listing, {request.x_name, ""});
      x = of_x.vector;
      outcome.x_missing = x == nullptr;
      if (memory) *memory = {request.x_name, x};
    }
  }
  const std::vector<double> values = tabulate_values(listing, outcome.name, kTabulateValuesMax, &outcome.cut);
  if (values.empty()) return outcome;
  if (!x) x = store_run_numbers(store, values.size());
  if (!x) return outcome;
  outcome.vector = store.add_vector({.name = outcome.name,
                                     .cls = DATA_CLASS_TEXT,
                                     .kind = ANALYSIS_OTHER,
                                     .quantity = text_quantity(outcome.name),
                                     .x = x,
                                     .points = static_cast<int64_t>(values.size()),
                                     .values = values.data()});
  if (!outcome.vector) return outcome;
  outcome.x_name = x->name;
  outcome.points = static_cast<int>(values.size());
  return outcome;
}

int tabulate_run_list(DataStore& store, const std::string& listing_path, std::vector<TabulateRequest>& list,
                      Notify& notify, std::vector<TabulateOutcome>* outcomes) {
  if (list.empty()) return 0;
  const std::vector<TabulateRequest> requests = std::move(list);
  list.clear();
  TabulateListing listing;
  if (!listing.open(listing_path)) {
    notify.error(strprintf("Cannot open file %s", listing_path.c_str()));
    if (outcomes)
      for (const TabulateRequest& r : requests) {
        TabulateOutcome o;
        o.name = r.name;
        outcomes->push_back(std::move(o));
      }
    return 0;
  }
  store.progress().show("Tabulating variables ...");
  TabulateXMemory memory;
  int found = 0;
  for (const TabulateRequest& r : requests) {
    TabulateOutcome o = tabulate_name(store, listing.text(), r, &memory);
    if (o.x_missing) notify.error(strprintf("Variable %s not found", r.x_name.c_str()));
    if (o.points == 0) notify.error(strprintf("Variable %s not found", o.name.c_str()));
    if (o.cut)
      notify.warning(strprintf("TABULATE %s: only the first %d values are kept", o.name.c_str(), o.points));
    found += o.points > 0 ? 1 : 0;
    if (outcomes) outcomes->push_back(std::move(o));
  }
  store.progress().done();
  return found;
}

// ---- #WRITEDATA -------------------------------------------------------------

namespace {

bool is_separator(char c) {
  return c == ' ' || c == ',' || c == '\t';
}

// Tokens at blank, comma and tab outside brackets and quotes; a quote is
// closed by the next one of its kind.
std::vector<std::string_view> write_data_tokens(std::string_view s) {
  std::vector<std::string_view> tokens;
  int level = 0;
  char quote = 0;
  size_t start = 0;
  for (size_t i = 0; i <= s.size(); ++i) {
    const char c = i < s.size() ? s[i] : ' ';
    if (quote) {
      if (c == quote) quote = 0;
      if (i < s.size()) continue;
    }
    if ((level == 0 && is_separator(c)) || i == s.size()) {
      if (i > start) tokens.push_back(s.substr(start, i - start));
      start = i + 1;
      continue;
    }
    if (c == '"' || c == '\'') quote = c;
    if (c == '(' || c == '[' || c == '{') ++level;
    if ((c == ')' || c == ']' || c == '}') && level > 0) --level;
  }
  return tokens;
}

std::string unquoted(std::string_view s) {
  if (s.size() >= 2 && (s.front() == '"' || s.front() == '\'') && s.back() == s.front())
    s = s.substr(1, s.size() - 2);
  return std::string(s);
}

// A part code of an AC entry; "T" is the group delay too.
int part_of_code(std::string_view code) {
  if (code == "T") return FORM_GROUP_DELAY;
  for (int f = 0; f < kComplexForms; ++f)
    if (code == kComplexFormCodes[f]) return f;
  return -1;
}

WriteDataEntry entry_of(std::string_view token, std::optional<int> analysis) {
  WriteDataEntry e;
  if (token.front() == '{') {
    e.expression = strip_braces(token);
    return e;
  }
  const size_t named = token.find("={");
  if (named != std::string_view::npos) {
    e.name = cut(token.substr(0, named), kVectorNameMax);
    e.expression = strip_braces(token.substr(named + 1));
    return e;
  }
  const size_t open = token.find("[{");
  if (analysis == ANALYSIS_AC && open != std::string_view::npos) {
    std::string_view prefix = token.substr(0, open);
    const size_t eq = prefix.find('=');
    if (eq != std::string_view::npos) {
      e.name = cut(prefix.substr(0, eq), kVectorNameMax);
      prefix.remove_prefix(eq + 1);
    }
    const int part = part_of_code(prefix);
    e.part = part >= 0 ? part : FORM_MAGNITUDE;
    std::string_view body = token.substr(open + 2);
    const size_t close = body.rfind("}]");
    if (close != std::string_view::npos) body = body.substr(0, close);
    e.expression = std::string(body);
    return e;
  }
  e.name = cut(token, kVectorNameMax);
  return e;
}

}  // namespace

WriteDataStatement write_data_parse(std::string_view statement, Notify& notify) {
  WriteDataStatement w;
  const std::vector<std::string_view> tokens = write_data_tokens(statement);
  for (size_t i = 1; i < tokens.size(); ++i) {
    // The file name keeps its case; everything else is a keyword, a name or an expression.
    if (istarts_with(tokens[i], "FILE=")) {
      w.file = unquoted(tokens[i].substr(5));
      continue;
    }
    const std::string token = ascii_upper(tokens[i]);
    if ((i == 1 || i == 2) && !w.analysis) {
      const int kind = analysis_kind_from_name(token, nullptr);
      if (kind >= 0) {
        w.analysis = kind;
        continue;
      }
    }
    if (token == "NEW") {
      w.new_file = true;
    } else if (token == "DATAONLY") {
      w.data_only = true;
    } else if (token.starts_with("X=")) {
      w.x = x_variable_of(std::string_view(token).substr(2));
    } else if (w.entries.size() >= static_cast<size_t>(kWriteDataEntriesMax)) {
      notify.error("Number of #WRITEDATA statement variables exceed limit");
      break;
    } else {
      w.entries.push_back(entry_of(token, w.analysis));
    }
  }
  return w;
}

std::string write_data_default_path(const std::string& data_path) {
  if (data_path.empty()) return {};
  std::filesystem::path p(data_path);
  const std::string stem = p.stem().string();
  // A suffix before the extension: the name can never be the data file's own,
  // nor a ".TXT" the user keeps beside it.
  p.replace_filename(stem + "_WRITEDATA.TXT");
  return p.string();
}

namespace {

// The vectors one statement writes.
struct Selected {
  const DataVector* y = nullptr;
  std::string name;  // the name written above its rows
};

bool kind_matches(int kind, const DataVector& v) {
  return v.kind == kind || v.kind == ANALYSIS_OTHER ||
         (kind == ANALYSIS_AC && (v.kind == ANALYSIS_NOISE || v.kind == ANALYSIS_DISTO));
}

int kind_count(DataStore& store, int cls, int kind) {
  const DataClass* c = store.data_class(cls);
  return c && kind >= 0 && kind < kKindSlots ? c->kind_count[kind] : 0;
}

bool kind_has_data(DataStore& store, int kind) {
  return kind_count(store, DATA_CLASS_BINARY, kind) + kind_count(store, DATA_CLASS_TEXT, kind) > 0;
}

// Expressions of a kind are computed from the simulation data when it holds
// the kind, else from the tables.
int expression_class(DataStore& store, int kind) {
  return kind_count(store, DATA_CLASS_BINARY, kind) > 0 ? DATA_CLASS_BINARY : DATA_CLASS_TEXT;
}

// The complex vector a name stands for in AC or noise data: its base and form.
const DataVector* complex_base(DataStore& store, const WriteDataEntry& e, int kind, std::string& base,
                               int& form) {
  if (kind != ANALYSIS_AC && kind != ANALYSIS_NOISE) return nullptr;
  base = e.name;
  form = e.part >= 0 ? e.part : FORM_MAGNITUDE;
  if (const auto parsed = complex_parse_name(e.name)) {
    base = parsed->base;
    form = parsed->form;
  }
  return store.find_vector(base, DATA_CLASS_BINARY, kind, -1, 1);
}

// Whether the data of a kind hold a named entry (no message, nothing computed).
bool holds_name(DataStore& store, const WriteDataEntry& e, int kind) {
  for (int cls : {DATA_CLASS_BINARY, DATA_CLASS_TEXT}) {
    const DataClass* c = store.data_class(cls);
    if (!c) continue;
    const auto bucket = c->by_name.find(ascii_lower(e.name));
    if (bucket == c->by_name.end()) continue;
    for (const DataVector* v : bucket->second)
      if (kind_matches(kind, *v)) return true;
  }
  std::string base;
  int form = 0;
  return complex_base(store, e, kind, base, form) != nullptr;
}

// A statement without analysis: the kind, 0 to 9 in turn, whose data hold the
// most of its named entries; among equals, simulation data go before tables.
// One kind, because one X variable serves the whole statement. -1 when no
// kind has data.
int choose_kind(DataStore& store, const WriteDataStatement& w) {
  int best = -1, best_score = -1;
  for (int kind = 0; kind < kKindSlots; ++kind) {
    if (!kind_has_data(store, kind)) continue;
    int held = 0;
    for (const WriteDataEntry& e : w.entries)
      if (!e.expression && holds_name(store, e, kind)) ++held;
    const int score = held * 2 + (kind_count(store, DATA_CLASS_BINARY, kind) > 0 ? 1 : 0);
    if (score > best_score) best = kind, best_score = score;
  }
  return best;
}

class StatementSelection {
 public:
  StatementSelection(DataStore& store, const WriteDataStatement& w, int kind)
      : store_(store), w_(w), kind_(kind) {}

  // Selects the vectors of each entry; returns how many entries gave any.
  int run() {
    int found = 0;
    for (const WriteDataEntry& e : w_.entries) {
      const size_t before = selected.size();
      if (e.expression)
        select_expression(e);
      else
        select_name(e);
      found += selected.size() > before ? 1 : 0;
    }
    return found;
  }

  // The X vector a selected vector is written against.
  const DataVector* x_of(const DataVector& y) {
    const XVariable& xv = w_.x;
    if (xv.empty()) return y.x;
    const DataVector* x = nullptr;
    if (xv.expression) {
      const auto known = x_of_run_.find(y.run);
      if (known != x_of_run_.end()) {
        x = known->second;
      } else {
        const ExprSelection selection{.cls = y.data_class, .kind = kind_, .run = y.run};
        x = expr_evaluate(store_, xv.text, selection);
        x_of_run_[y.run] = x;
      }
    } else {
      for (int cls : {y.data_class, static_cast<int>(DATA_CLASS_BINARY), static_cast<int>(DATA_CLASS_TEXT)}) {
        x = store_.find_vector(xv.text, cls, kind_, -1, 0, y.run);
        if (!x) x = store_.find_vector(xv.text, cls, kind_, -1, 0);
        if (x) break;
      }
    }
    return x ? x : y.x;
  }

  std::vector<Selected> selected;

 private:
  void take(const DataVector* v, const std::string& name) {
    if (!v || !taken_.insert(v).second) return;
    selected.push_back({v, name.empty() ? v->name : name});
  }

  // A complex result is written as its entry's part, or as its magnitude.
  void take_real(const DataVector* v, const WriteDataEntry& e) {
    if (!v) return;
    if (v->complex) {
      const int form = e.part >= 0 ? e.part : FORM_MAGNITUDE;
      // Computed just now: derived afresh, never an older vector of the same name.
      v = complex_derive(store_, *v, v->name, form, v->data_class);
    }
    take(v, e.name);
  }

  void select_name(const WriteDataEntry& e) {
    // "NAME@2": that run alone.
    if (e.name.find('@') != std::string::npos) {
      for (int cls : {DATA_CLASS_BINARY, DATA_CLASS_TEXT})
        if (const DataVector* v = store_.find_vector(e.name, cls, kind_, -1, 0); v && v->x) {
          take(v, "");
          return;
        }
    }
    for (int cls : {DATA_CLASS_BINARY, DATA_CLASS_TEXT}) {
      const DataClass* c = store_.data_class(cls);
      if (!c) continue;
      const auto bucket = c->by_name.find(ascii_lower(e.name));
      if (bucket == c->by_name.end()) continue;
      const size_t before = selected.size();
      for (const DataVector* v : bucket->second)
        if (kind_matches(kind_, *v) && !v->complex && v->x) take(v, "");
      if (selected.size() > before) return;
    }
    std::string base;
    int form = 0;
    for (const DataVector* v = complex_base(store_, e, kind_, base, form); v; v = store_.next_run(v, v)) {
      const std::string derived_name = complex_form_name(base, form);
      const DataVector* d = store_.find_vector(derived_name, DATA_CLASS_BINARY, kind_, -1, 0, v->run);
      if (!d) d = complex_derive(store_, *v, base, form, DATA_CLASS_BINARY);
      if (d && d->x) take(d, "");
    }
  }

  void select_expression(const WriteDataEntry& e) {
    const std::string text = e.name.empty() || e.part >= 0 ? *e.expression : e.name + "=" + *e.expression;
    const int cls = expression_class(store_, kind_);
    const bool once = text.find('@') != std::string::npos;
    const DataClass* c = store_.data_class(cls);
    const int runs = once ? 1 : std::max(1, c ? c->run_count[kind_] : 1);
    for (int run = 1; run <= runs; ++run) {
      const ExprSelection selection{.cls = cls, .kind = kind_, .run = once ? 0 : run};
      const DataVector* v = expr_evaluate(store_, text, selection);
      if (!v) return;
      take_real(v, e);
    }
  }

  DataStore& store_;
  const WriteDataStatement& w_;
  int kind_;
  std::set<const DataVector*> taken_;
  std::map<int, const DataVector*> x_of_run_;
};

bool same_file(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return false;
  std::error_code error;
  return a == b || std::filesystem::equivalent(a, b, error);
}

// The file a statement writes, relative names in the data file's folder; empty
// when there is none or it would be one of the data files themselves.
std::string output_path(DataStore& store, const WriteDataStatement& w) {
  const std::string& data = store.current_data_path();
  std::string path = w.file.empty() ? write_data_default_path(data) : w.file;
  if (path.empty()) return {};
  if (!w.file.empty() && std::filesystem::path(path).is_relative() && !data.empty())
    path = (std::filesystem::path(data).parent_path() / path).string();
  if (same_file(path, data)) return {};
  for (int n = 1; n <= store.current_data_file(); ++n)
    if (const DataFileEntry* entry = store.data_file(n); entry && same_file(path, entry->probe_path))
      return {};
  return path;
}

bool has_bytes(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error) && std::filesystem::file_size(path, error) > 0;
}

// Processes one statement; the outcome's status is 1 when it wrote.
WriteDataOutcome write_statement(DataStore& store, const WriteDataStatement& w, int number, Notify& notify) {
  WriteDataOutcome o;
  o.statement = number;
  const int kind = w.analysis ? *w.analysis : choose_kind(store, w);
  if (kind < 0 || !kind_has_data(store, kind)) {
    notify.error("Selected #WRITEDATA analysis/data not available");
    return o;
  }
  StatementSelection selection(store, w, kind);
  const int found = selection.run();
  if (found == 0) {
    notify.error(strprintf("No matching data found for #WRITEDATA statement %d", number));
    return o;
  }
  if (found < static_cast<int>(w.entries.size()))
    notify.warning(strprintf("#WRITEDATA: data available only for %d of %d specified variables", found,
                             static_cast<int>(w.entries.size())));
  o.file = output_path(store, w);
  if (o.file.empty()) {
    o.status = -1;
    notify.error(strprintf("Error processing #WRITEDATA statement %d", number));
    return o;
  }
  struct Pair {
    const DataVector* x;
    const Selected* y;
  };
  std::vector<Pair> pairs;
  for (const Selected& s : selection.selected)
    if (const DataVector* x = selection.x_of(*s.y)) pairs.push_back({x, &s});
  // Loading one vector may move the class's values: the views are taken once all are in.
  for (const Pair& p : pairs) store.values(*p.x), store.values(*p.y->y);
  std::vector<TextTrace> traces;
  for (const Pair& p : pairs)
    traces.push_back({p.x->name, p.y->name, store.values(*p.x), store.values(*p.y->y)});
  // Added to a file that has rows already, the traces come without a second set of info lines.
  const bool append = !w.new_file && has_bytes(o.file);
  TextHeaderTexts headers;
  if (!append) {
    const std::string& data = store.current_data_path();
    headers.title = !store.header.title.empty()
                        ? store.header.title
                        : strprintf("TRACERY #WRITEDATA data source file: %s", data.c_str());
    if (w.file.empty()) headers.texts[0] = "TRACERY #WRITEDATA:";
  }
  o.variables = text_write_file(notify, o.file, w.data_only ? TEXT_DATA_ONLY : TEXT_WITH_HEADERS, !w.new_file,
                                headers, traces);
  if (o.variables <= 0) {
    o.status = -1;
    notify.error(strprintf("Error processing #WRITEDATA statement %d", number));
    return o;
  }
  o.status = 1;
  return o;
}

}  // namespace

int write_data_run(DataStore& store, const std::vector<std::string>& statements, Notify& notify,
                   std::vector<WriteDataOutcome>* outcomes) {
  if (statements.empty()) return 0;
  store.progress().show("Writing data variables to file...");
  int wrote = 0, variables = 0;
  const WriteDataOutcome* only = nullptr;
  std::vector<WriteDataOutcome> done;
  done.reserve(statements.size());
  for (size_t i = 0; i < statements.size(); ++i) {
    const WriteDataStatement w = write_data_parse(statements[i], notify);
    if (w.entries.empty()) continue;
    done.push_back(write_statement(store, w, static_cast<int>(i + 1), notify));
    const WriteDataOutcome& o = done.back();
    if (o.status <= 0) continue;
    store.progress().show(
        strprintf("#WRITEDATA %d variables written to file:\n%s", o.variables, o.file.c_str()));
    ++wrote;
    variables += o.variables;
    only = &o;
  }
  if (wrote == 1)
    notify.information(
        strprintf("#WRITEDATA %d variables written to file:\n%s", only->variables, only->file.c_str()));
  else if (wrote > 1)
    notify.information(strprintf("#WRITEDATA %d variables written", variables));
  store.progress().done();
  if (outcomes) outcomes->insert(outcomes->end(), done.begin(), done.end());
  return wrote;
}

}  // namespace zephyrim
