#include "viewer/calc/script.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>

#include "common/notify.h"
#include "common/text_format.h"
#include "viewer/calc/expression.h"
#include "viewer/calc/fft.h"
#include "viewer/data/data_store.h"

namespace zephyrim {

namespace {

bool is_blank(char c) {
  return c == ' ' || c == '\t';
}

bool is_line_end(char c) {
  return c == '\r' || c == '\n';
}

std::string_view trim_end(std::string_view s) {
  while (!s.empty() && (is_blank(s.back()) || is_line_end(s.back()))) s.remove_suffix(1);
  return s;
}

std::string_view trim_start(std::string_view s) {
  while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
  return s;
}

std::string cut(std::string_view text, size_t n) {
  return std::string(text.substr(0, std::min(text.size(), n)));
}

// The line a statement came from, in its own case, when the caller gave one
// that holds the same statement; else the statement itself.
std::string_view source_line(std::string_view statement, std::string_view full_line, std::string_view word) {
  std::string_view line = trim_start(full_line);
  while (!line.empty() && is_line_end(line.back())) line.remove_suffix(1);
  line = line.substr(0, std::min(line.size(), kStatementMax));
  return istarts_with(line, word) ? line : statement;
}

// A leading integer, 0 when there is none; one out of range counts as far out.
long column_of(std::string_view item) {
  long value = 0;
  const std::from_chars_result r = std::from_chars(item.data(), item.data() + item.size(), value);
  if (r.ec == std::errc::result_out_of_range) return item.starts_with('-') ? -1 : 1L << 30;
  return r.ec == std::errc() ? value : 0;
}

// Splits at blank, comma, "=" and tab.
std::vector<std::string_view> subtitle_items(std::string_view s) {
  std::vector<std::string_view> items;
  const auto delimiter = [](char c) { return c == ' ' || c == ',' || c == '=' || c == '\t'; };
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && delimiter(s[i])) ++i;
    const size_t start = i;
    while (i < s.size() && !delimiter(s[i])) ++i;
    if (i > start) items.push_back(s.substr(start, i - start));
  }
  return items;
}

void parse_subtitle(ScriptState& state, std::string_view statement, std::string_view line) {
  const size_t open = line.find('"');
  if (open != std::string_view::npos) {
    const size_t close = line.rfind('"');
    state.subtitle =
        close > open ? cut(line.substr(open + 1, close - open - 1), kSubtitleMax) : std::string();
    state.pending_subtitle.reset();
    return;
  }
  const std::vector<std::string_view> items = subtitle_items(statement);
  SubtitleColumns columns;
  if (items.size() > 1) {
    const long first = column_of(items[1]);
    columns.first = first < 0 || first > static_cast<long>(statement.size()) ? 0 : static_cast<int>(first);
  }
  if (items.size() > 2) {
    const long last = column_of(items[2]);
    columns.last =
        last < columns.first || last > kSubtitleLastColumn ? kSubtitleLastColumn : static_cast<int>(last);
  }
  state.pending_subtitle = columns;
}

void parse_revision(ScriptState& state, std::string_view line) {
  line = trim_end(line);
  state.revision =
      line.size() > kRevisionColumn ? cut(line.substr(kRevisionColumn), kRevisionMax) : std::string();
  state.revision = std::string(trim_end(state.revision));
}

void parse_runscript(ScriptState& state, std::string_view line, Notify& notify) {
  const size_t blank = line.find(' ');
  if (blank == std::string_view::npos) {
    notify.error(strprintf("Invalid #RUNSCRIPT statement:\n%s", std::string(trim_end(line)).c_str()));
    return;
  }
  std::string_view name = trim_start(line.substr(blank + 1));
  if (name.starts_with('"')) {
    name.remove_prefix(1);
    name = name.substr(0, name.find('"'));
  } else {
    name = trim_end(name);
  }
  state.script_name = cut(name, kScriptNameMax);
  state.run_script_after_listing = true;
}

void add_write_data(ScriptState& state, std::string_view statement, Notify& notify) {
  if (state.write_data.size() >= static_cast<size_t>(kWriteDataStatementsMax)) {
    if (!state.write_data_full) notify.error("Number of #WRITEDATA statements exceed limit");
    state.write_data_full = true;
    return;
  }
  state.write_data.emplace_back(statement);
}

// Runs the pending #TABULATE statements against the listing of the current
// data (or hands them to the hook) and empties them. Returns the number of
// names not found.
int run_tabulate(ScriptState& state, DataStore& store, Notify& notify, ScriptReport* report) {
  if (state.tabulate.empty()) return 0;
  const std::vector<std::string> statements = std::move(state.tabulate);
  state.tabulate.clear();
  if (state.hooks.tabulate) {
    state.hooks.tabulate(statements);
    return 0;
  }
  std::vector<TabulateRequest> requests;
  for (const std::string& s : statements) tabulate_parse(requests, s);
  std::vector<TabulateOutcome> outcomes;
  tabulate_run_list(store, tabulate_listing_path(store.current_data_path()), requests, notify, &outcomes);
  int missing = 0;
  for (const TabulateOutcome& o : outcomes) missing += o.points > 0 ? 0 : 1;
  if (report) report->tabulated.insert(report->tabulated.end(), outcomes.begin(), outcomes.end());
  return missing;
}

// Completes the write-data job (or hands it to the hook) and starts a new one.
void complete_write_data(ScriptState& state, DataStore& store, Notify& notify, ScriptReport* report) {
  const std::vector<std::string> statements = std::move(state.write_data);
  state.write_data.clear();
  state.write_data_full = false;
  if (statements.empty()) return;
  if (state.hooks.write_data) {
    state.hooks.write_data(statements);
    return;
  }
  std::vector<WriteDataOutcome> outcomes;
  write_data_run(store, statements, notify, &outcomes);
  if (!report) return;
  for (const WriteDataOutcome& o : outcomes)
    if (o.status <= 0) report->failed.push_back(statements[static_cast<size_t>(o.statement - 1)]);
  report->written.insert(report->written.end(), outcomes.begin(), outcomes.end());
}

// The class #CALC reads for a kind: binary data when it has the kind, else
// text data; -1 when neither has.
int calc_class(DataStore& store, int kind) {
  for (int cls : {DATA_CLASS_BINARY, DATA_CLASS_TEXT}) {
    const DataClass* c = store.data_class(cls);
    if (c && c->kind_count[kind] > 0) return cls;
  }
  return -1;
}

// The number of runs of a kind: the highest run of a vector that came with
// the data. Computed vectors take run numbers of their own as they repeat;
// counting them would have every later #CALC line evaluated, or handed to the
// FFT, for runs the data never had, more of them with each line.
int calc_run_count(DataStore& store, int cls, int kind) {
  int runs = 1;
  for (const DataVector& v : store.data_class(cls)->vectors)
    if (v.kind == kind && v.x && !v.expression) runs = std::max(runs, v.run);
  return runs;
}

// One slot of the calculation list at work: its class, kind and the X vector
// of each run, found or computed once.
struct CalcSlot {
  int slot = 0;
  int cls = 0;
  int kind = 0;
  XVariable x;
  std::map<int, const DataVector*> x_of_run;

  const DataVector* x_vector(DataStore& store, const ExprSelection& selection) {
    if (x.empty()) return nullptr;
    const auto known = x_of_run.find(selection.run);
    if (known != x_of_run.end()) return known->second;
    const DataVector* v = x.expression ? expr_evaluate(store, x.text, selection)
                                       : store.find_vector(x.text, cls, kind, -1, 0, selection.run);
    x_of_run[selection.run] = v;
    return v;
  }
};

void record(std::vector<CalcOutcome>* computed, const CalcEntry& entry, const DataVector& v) {
  if (!computed) return;
  computed->push_back({.entry = entry.expression,
                       .name = v.name,
                       .cls = v.data_class,
                       .kind = v.kind,
                       .run = v.run,
                       .points = v.points,
                       .complex = v.complex});
}

// Evaluates one entry in a slot for one run; returns whether a vector came of it.
bool evaluate_entry(ScriptState& state, DataStore& store, CalcSlot& slot, const CalcEntry& entry, int run,
                    std::vector<CalcOutcome>* computed) {
  const ExprSelection selection{.cls = slot.cls, .kind = slot.kind, .run = run};
  if (slot.slot == kCalcSlotFft && state.hooks.calc_fft) {
    const DataVector* spectrum = state.hooks.calc_fft(store, entry.expression, selection);
    if (spectrum) record(computed, entry, *spectrum);
    return spectrum != nullptr;
  }
  const DataVector* x = slot.x_vector(store, selection);
  // The FFT of a stored waveform over its own time takes it as it is, so that
  // the spectrum keeps its name.
  DataVector* v = slot.slot == kCalcSlotFft && !x && selection.run > 0
                      ? store.find_vector(entry.expression, slot.cls, slot.kind, -1, 0, selection.run)
                      : nullptr;
  if (!v) v = expr_evaluate(store, entry.expression, selection);
  if (!v) return false;
  if (x && x != v) v->x = x;
  if (slot.slot == kCalcSlotFft) {
    // The spectrum of the waveform goes where the script entry puts it: class 0.
    const DataVector* spectrum = fft_transform(store, *v, DATA_CLASS_BINARY, 0, 0);
    if (spectrum) record(computed, entry, *spectrum);
    return spectrum != nullptr;
  }
  record(computed, entry, *v);
  return true;
}

}  // namespace

void script_begin_listing(ScriptState& state) {
  ScriptHooks hooks = std::move(state.hooks);
  std::string name = std::move(state.script_name);
  state = ScriptState{};
  state.hooks = std::move(hooks);
  state.script_name = std::move(name);
}

int dispatch_listing_statement(ScriptState& state, std::string_view statement, std::string_view full_line,
                               Notify& notify) {
  const std::string_view s = statement.substr(0, std::min(statement.size(), kStatementMax));
  if (s.starts_with("#AUTOPLOT ")) {
    parse_autoplot(state.autoplot, s, notify);
  } else if (s.starts_with("#CALC")) {
    parse_calc(state.calc, s);
  } else if (s.starts_with("#TABULATE")) {
    state.tabulate.emplace_back(s);
  } else if (s.starts_with("#MEASURE")) {
    measure_parse_statement(state.measures, s, notify);
  } else if (s.starts_with("#SUBTITLE")) {
    parse_subtitle(state, s, source_line(s, full_line, "#SUBTITLE"));
  } else if (s.starts_with("#REVISION:")) {
    parse_revision(state, source_line(s, full_line, "#REVISION:"));
  } else if (s.starts_with("#RUNSCRIPT")) {
    parse_runscript(state, source_line(s, full_line, "#RUNSCRIPT"), notify);
  } else if (s.starts_with("#WRITEDATA")) {
    add_write_data(state, source_line(s, full_line, "#WRITEDATA"), notify);
  } else {
    return 0;
  }
  return 1;
}

bool take_subtitle_line(ScriptState& state, std::string_view line) {
  if (!state.pending_subtitle) return false;
  const SubtitleColumns c = *state.pending_subtitle;
  state.pending_subtitle.reset();
  while (!line.empty() && is_line_end(line.back())) line.remove_suffix(1);
  // A first column past 125 leaves no columns before the last.
  const size_t first = static_cast<size_t>(c.first);
  state.subtitle = first < line.size() && c.last >= c.first
                       ? cut(line.substr(first, static_cast<size_t>(c.last - c.first + 1)), kSubtitleMax)
                       : std::string();
  return true;
}

int parse_calc(CalcList& list, std::string_view statement) {
  const std::vector<std::string> tokens = statement_tokens(statement, false);
  std::optional<int> slot;
  size_t i = 1;
  if (tokens.size() > 1) {
    const int kind = analysis_kind_from_name(tokens[1], nullptr);
    if (kind >= 0 && kind < kCalcSlotFft) slot = kind;
    if (tokens[1] == "FFT") slot = kCalcSlotFft;
    if (slot) i = 2;
  }
  int added = 0;
  for (; i < tokens.size(); ++i) {
    const std::string& token = tokens[i];
    if (token.starts_with("X=")) {
      const XVariable x = x_variable_of(std::string_view(token).substr(2));
      if (slot)
        list.x_variable[*slot] = x;
      else
        list.x_variable.fill(x);
      continue;
    }
    list.entries.push_back({.slot = slot, .expression = strip_braces(token)});
    if (slot)
      ++list.count[*slot];
    else
      for (int& n : list.count) ++n;
    ++added;
  }
  return added;
}

CalcRun run_calc_list(ScriptState& state, DataStore& store, Notify& /*notify*/,
                      std::vector<CalcOutcome>* computed) {
  const CalcList list = std::move(state.calc);
  state.calc = CalcList{};
  CalcRun result;
  std::vector<int> made(list.entries.size(), 0);
  for (int s = kCalcSlotFft; s >= 0; --s) {
    if (list.count[s] == 0) continue;
    const int kind = s == kCalcSlotFft ? ANALYSIS_TRAN : s;
    const int cls = calc_class(store, kind);
    if (cls < 0) continue;
    const int runs = calc_run_count(store, cls, kind);
    CalcSlot slot{.slot = s, .cls = cls, .kind = kind, .x = list.x_variable[s], .x_of_run = {}};
    for (size_t i = 0; i < list.entries.size(); ++i) {
      const CalcEntry& entry = list.entries[i];
      if (entry.slot && *entry.slot != s) continue;
      // An explicit run selection ("V(1)@2") is evaluated once, anything else per run.
      const bool once = entry.expression.find('@') != std::string::npos;
      for (int run = once ? 0 : 1; run <= (once ? 0 : runs); ++run)
        made[i] += evaluate_entry(state, store, slot, entry, run, computed) ? 1 : 0;
    }
  }
  for (size_t i = 0; i < list.entries.size(); ++i) {
    result.vectors += made[i];
    if (made[i] == 0) result.failed.push_back(list.entries[i].expression);
  }
  return result;
}

std::string clean_script_line(std::string_view line) {
  return ascii_upper(trim_start(trim_end(line)));
}

namespace {

// Runs one #MEASURE line at once; returns whether it parsed and measured.
bool run_measure_line(ScriptState& state, DataStore& store, Notify& notify, const std::string& line,
                      ScriptReport* report) {
  state.measures = MeasureList{};
  if (!measure_parse_statement(state.measures, line, notify)) return false;
  std::vector<MeasureOutcome> outcomes;
  measure_run_all(store, state.measures, &outcomes);
  bool ok = true;
  for (const MeasureOutcome& o : outcomes) ok = ok && o.status > 0;
  if (report) report->measures.insert(report->measures.end(), outcomes.begin(), outcomes.end());
  return ok;
}

bool run_calc_line(ScriptState& state, DataStore& store, Notify& notify, const std::string& line,
                   ScriptReport* report) {
  state.calc = CalcList{};
  parse_calc(state.calc, line);
  return run_calc_list(state, store, notify, report ? &report->calculated : nullptr).failed.empty();
}

// What a script has done so far that its end must complete.
struct ScriptRun {
  bool autoplot = false;
  bool write_data = false;
};

// Executes one cleaned script line (raw: the same line in its own case).
// Returns 1 for a statement that ran, -1 for one that failed and 0 for a line
// that is none.
int execute_script_line(ScriptState& state, DataStore& store, Notify& notify, const std::string& line,
                        std::string_view raw, ScriptRun& run, ScriptReport* report) {
  bool ok = true;
  if (line.starts_with("#AUTOPLOT ")) {
    if (!run.autoplot) state.autoplot = AutoplotRequest{};
    run.autoplot = true;
    ok = parse_autoplot(state.autoplot, line, notify) == 1;
  } else if (line.starts_with("#CALC")) {
    ok = run_calc_line(state, store, notify, line, report);
  } else if (line.starts_with("#MEASURE")) {
    ok = run_measure_line(state, store, notify, line, report);
  } else if (line.starts_with("#TABULATE")) {
    state.tabulate = {line};
    ok = run_tabulate(state, store, notify, report) == 0;
  } else if (line.starts_with("#WRITEDATA ")) {
    if (!run.write_data) {
      state.write_data.clear();
      state.write_data_full = false;
    }
    run.write_data = true;
    add_write_data(state, source_line(line, raw, "#WRITEDATA"), notify);
  } else {
    return 0;
  }
  return ok ? 1 : -1;
}

}  // namespace

int run_script_file(ScriptState& state, DataStore& store, Notify& notify, ScriptReport* report) {
  if (state.script_name.empty()) return 0;
  // Only a plain file: a device or a pipe could feed lines without end or
  // never answer at all.
  std::error_code error;
  const bool regular = std::filesystem::is_regular_file(state.script_name, error);
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(
      regular ? std::fopen(state.script_name.c_str(), "r") : nullptr, &std::fclose);
  if (!file) {
    notify.error(strprintf("Cannot open script file %s", state.script_name.c_str()));
    return 0;
  }
  if (report) report->opened = true;
  ScriptRun run;
  int executed = 0;
  char buffer[kScriptLineBytes];
  while (std::fgets(buffer, sizeof buffer, file.get())) {
    const std::string_view raw(buffer, std::strlen(buffer));
    const std::string line = clean_script_line(raw);
    const int status = execute_script_line(state, store, notify, line, raw, run, report);
    if (status == 0) continue;
    ++executed;
    if (status < 0 && report) report->failed.push_back(line);
  }
  file.reset();
  if (run.write_data) complete_write_data(state, store, notify, report);
  if (run.autoplot && state.hooks.apply_autoplot) state.hooks.apply_autoplot(state.autoplot);
  if (report) report->statements += executed;
  return executed;
}

void run_after_listing(ScriptState& state, DataStore& store, Notify& notify, ScriptReport* report) {
  const size_t tabulated = report ? report->tabulated.size() : 0;
  run_tabulate(state, store, notify, report);
  if (report)
    for (size_t k = tabulated; k < report->tabulated.size(); ++k)
      if (report->tabulated[k].points == 0)
        report->failed.push_back("#TABULATE " + report->tabulated[k].name);
  const CalcRun calc = run_calc_list(state, store, notify, report ? &report->calculated : nullptr);
  std::vector<MeasureOutcome> outcomes;
  measure_run_all(store, state.measures, &outcomes);
  if (report) {
    for (const std::string& entry : calc.failed) report->failed.push_back("#CALC " + entry);
    for (const MeasureOutcome& o : outcomes)
      if (o.status <= 0) report->failed.push_back("#MEASURE " + o.name);
    report->measures.insert(report->measures.end(), outcomes.begin(), outcomes.end());
  }
  if (state.run_script_after_listing) {
    state.run_script_after_listing = false;
    // The script's own #WRITEDATA lines make a job of their own; the listing's
    // job waits aside and is completed after it.
    std::vector<std::string> job = std::move(state.write_data);
    const bool full = state.write_data_full;
    state.write_data.clear();
    run_script_file(state, store, notify, report);
    state.write_data = std::move(job);
    state.write_data_full = full;
  }
  complete_write_data(state, store, notify, report);
}

}  // namespace zephyrim
