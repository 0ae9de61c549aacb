#include "viewer/plot/history_file.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "common/file_io.h"
#include "common/notify.h"
#include "common/text_format.h"
#include "viewer/data/data_store.h"
#include "viewer/plot/plot_model.h"

namespace zephyrim {

namespace {

// Histories hold whole runs of values, but a file beyond this is not one.
constexpr uint64_t kHistoryMaxFileSize = uint64_t{1} << 32;
// What an empty vector's values point at: none would mean "load on demand".
constexpr double kNoValues = 0;

HistoryVector vector_block(DataStore& store, const DataVector& v, std::span<const double> values) {
  HistoryVector b;
  b.record = vector_record(v);
  // History vectors are real, and hold the values they were shown with.
  b.record.complex = 0;
  b.record.points = static_cast<int64_t>(values.size());
  b.name = v.name.substr(0, kHistoryNameMax);
  b.expression = v.expression.value_or(std::string()).substr(0, kHistoryExpressionMax);
  b.record.expression = b.expression.empty() ? 0 : 1;
  if (const std::string* label = store.vector_label(v)) b.label = label->substr(0, kHistoryRunLabelMax);
  b.values.assign(values.begin(), values.end());
  return b;
}

void write_vector_block(ByteWriter& w, const HistoryVector& b) {
  VectorRecord record = b.record;
  record.points = static_cast<int64_t>(b.values.size());
  write_vector_record(w, record);
  write_counted_text(w, b.name, kHistoryNameMax);
  write_counted_text(w, b.expression, kHistoryExpressionMax);
  write_counted_text(w, b.label, kHistoryRunLabelMax);
  for (double v : b.values) w.f64(v);
}

bool read_vector_block(ByteReader& r, HistoryVector& b) {
  if (!read_vector_record(r, b.record) || !read_counted_text(r, kHistoryNameMax, b.name) ||
      !read_counted_text(r, kHistoryExpressionMax, b.expression) ||
      !read_counted_text(r, kHistoryRunLabelMax, b.label))
    return false;
  // Real values only, of a kind the store counts, and no more than the file holds.
  const VectorRecord& v = b.record;
  if (v.complex != 0 || v.kind < 0 || v.kind >= kKindSlots || v.points < 0 ||
      static_cast<uint64_t>(v.points) > r.remaining() / sizeof(double))
    return false;
  b.values.resize(static_cast<size_t>(v.points));
  for (double& d : b.values) r.f64(d);
  return !r.failed();
}

// The run a history takes when its file name gives none: the one after the
// highest run of the history class.
int next_history_run(DataStore& store) {
  int highest = 0;
  if (const DataClass* c = store.data_class(DATA_CLASS_HISTORY))
    for (const DataVector& v : c->vectors) highest = std::max(highest, v.run);
  return highest + 1;
}

// The header and the fixed part before the traces.
HistoryReadResult read_head(ByteReader& r, HistoryFile& f, int32_t& count) {
  HistoryReadResult result;
  int version = 0;
  if (read_plot_file_header(r, version) != PlotFileHeader::ok) {
    result.status = HistoryRead::not_ours;
    return result;
  }
  result.version = version;
  f.version = version;
  if (version <= kHistoryNewestRefused) {
    result.status = HistoryRead::old_version;
    return result;
  }
  int code = 0;
  if (!read_counted_text(r, kHistoryDescriptionMax, f.description))
    code = HISTORY_ERROR_DESCRIPTION;
  else if (!read_counted_text(r, kHistoryLabelMax, f.label))
    code = HISTORY_ERROR_LABEL;
  else if (!r.i32(f.analysis))
    code = HISTORY_ERROR_ANALYSIS;
  else if (!r.i32(f.cls))
    code = HISTORY_ERROR_CLASS;
  else if (!r.i32(f.plots))
    code = HISTORY_ERROR_PLOTS;
  else if (!r.i32(count) || count < 0)
    code = HISTORY_ERROR_COUNT;
  if (code != 0) {
    result.status = HistoryRead::read_error;
    result.code = code;
  }
  return result;
}

}  // namespace

std::string history_file_name(const std::string& data_path, int slot) {
  return with_extension(data_path, strprintf("O%02d", slot));
}

int history_slot_of(const std::string& path) {
  const std::string name = std::filesystem::path(path).filename().string();
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || name.size() != dot + 4 ||
      std::toupper(static_cast<unsigned char>(name[dot + 1])) != 'O')
    return 0;
  const char a = name[dot + 2], b = name[dot + 3];
  if (!std::isdigit(static_cast<unsigned char>(a)) || !std::isdigit(static_cast<unsigned char>(b))) return 0;
  return (a - '0') * 10 + (b - '0');
}

std::string history_default_description(int slot, const std::string& revision, const std::string& date,
                                        const std::string& time) {
  return strprintf("Run#%d %s  %s %s", slot, revision.c_str(), date.c_str(), time.c_str())
      .substr(0, kHistoryDescriptionMax);
}

std::string history_default_label(int slot) {
  return strprintf("#%d", slot).substr(0, kHistoryLabelMax);
}

std::vector<HistorySlotFile> history_slot_files(const std::string& data_path) {
  std::vector<HistorySlotFile> out;
  for (int slot = 1; slot <= kHistoryMaxSlot; ++slot) {
    std::error_code ec;
    const auto when = std::filesystem::last_write_time(history_file_name(data_path, slot), ec);
    if (!ec) out.push_back({slot, static_cast<int64_t>(when.time_since_epoch().count())});
  }
  return out;
}

HistorySlotChoice history_choose_slot(std::vector<HistorySlotFile> existing, int max_keep) {
  if (max_keep <= 0 || max_keep > kHistoryMaxSlot) max_keep = kHistoryMaxSlot;
  // Oldest first; files of one moment by their slot.
  std::sort(existing.begin(), existing.end(), [](const HistorySlotFile& a, const HistorySlotFile& b) {
    return a.modified != b.modified ? a.modified < b.modified : a.slot < b.slot;
  });
  HistorySlotChoice choice;
  const int newest = existing.empty() ? 0 : existing.back().slot;
  while (static_cast<int>(existing.size()) >= max_keep) {
    choice.remove.push_back(existing.front().slot);
    existing.erase(existing.begin());
  }
  const auto taken = [&](int slot) {
    return std::any_of(existing.begin(), existing.end(),
                       [&](const HistorySlotFile& f) { return f.slot == slot; });
  };
  int slot = newest;
  do slot = slot % kHistoryMaxSlot + 1;
  while (taken(slot));
  choice.slot = slot;
  return choice;
}

HistoryFile history_of_graph(const Graph& graph, DataStore& store, const std::string& description,
                             const std::string& label) {
  HistoryFile f;
  f.description = description.substr(0, kHistoryDescriptionMax);
  f.label = label.substr(0, kHistoryLabelMax);
  f.analysis = graph.analysis;
  f.cls = graph.cls;
  f.plots = graph.plots;
  const DataVector* previous_x = nullptr;
  for (const auto& t : graph.traces) {
    if (!t->y || !t->x || t->options.display == DISPLAY_HIDE) continue;
    const auto y = store.values(*t->y);
    if (y.empty()) continue;
    HistoryTrace h;
    h.record = trace_record(*t);
    if (t->x != previous_x) {
      const auto x = store.values(*t->x);
      if (x.empty()) continue;
      h.x = vector_block(store, *t->x, x);
      previous_x = t->x;
    }
    h.record.x_block = h.x ? 1 : 0;
    h.y = vector_block(store, *t->y, y);
    f.traces.push_back(std::move(h));
  }
  return f;
}

std::vector<uint8_t> history_bytes(const HistoryFile& f) {
  ByteWriter w;
  write_plot_file_header(w);
  write_counted_text(w, f.description, kHistoryDescriptionMax);
  write_counted_text(w, f.label, kHistoryLabelMax);
  w.i32(f.analysis);
  w.i32(f.cls);
  w.i32(f.plots);
  w.i32(static_cast<int32_t>(f.traces.size()));
  for (const HistoryTrace& t : f.traces) {
    TraceRecord record = t.record;
    record.x_block = t.x ? 1 : 0;
    write_trace_record(w, record);
    if (t.x) write_vector_block(w, *t.x);
    write_vector_block(w, t.y);
  }
  return w.take();
}

HistoryReadResult history_parse(std::span<const uint8_t> bytes, HistoryFile& file, bool header_only) {
  HistoryFile f;
  int32_t count = 0;
  ByteReader r(bytes);
  HistoryReadResult result = read_head(r, f, count);
  if (result.status != HistoryRead::ok || header_only) {
    if (result.status == HistoryRead::ok) file = std::move(f);
    return result;
  }
  // Traces are read one by one rather than made room for: a count the file
  // cannot hold runs out of bytes first.
  bool have_x = false;
  for (int32_t i = 0; i < count; ++i) {
    HistoryTrace t;
    int code = 0;
    if (!read_trace_record(r, t.record)) {
      code = HISTORY_ERROR_TRACE;
    } else if (t.record.x_block) {
      t.x.emplace();
      if (!read_vector_block(r, *t.x)) code = HISTORY_ERROR_X_VECTOR;
      have_x = true;
    } else if (!have_x) {
      code = HISTORY_ERROR_X_VECTOR;  // no X before it to share
    }
    if (code == 0 && !read_vector_block(r, t.y)) code = HISTORY_ERROR_Y_VECTOR;
    if (code != 0) {
      result.status = HistoryRead::read_error;
      result.code = code;
      return result;
    }
    f.traces.push_back(std::move(t));
  }
  file = std::move(f);
  return result;
}

int history_save(const Graph& graph, DataStore& store, const std::string& path,
                 const std::string& description, const std::string& label, Notify& notify) {
  const HistoryFile f = history_of_graph(graph, store, description, label);
  if (write_file_replacing(path, history_bytes(f)) != WriteStatus::ok) {
    notify.error(strprintf(kHistoryCannotCreate, path.c_str()));
    return -1;
  }
  return static_cast<int>(f.traces.size());
}

std::optional<HistoryHeader> history_read_header(const std::string& path) {
  const auto bytes = read_file(path, kHistoryMaxFileSize);
  if (!bytes) return std::nullopt;
  HistoryFile f;
  int32_t count = 0;
  ByteReader r(*bytes);
  if (read_head(r, f, count).status != HistoryRead::ok) return std::nullopt;
  return HistoryHeader{f.version, f.description, f.label, f.analysis, f.cls, f.plots, count};
}

int history_load(DataStore& store, const std::string& path, Notify& notify) {
  const auto bytes = read_file(path, kHistoryMaxFileSize);
  if (!bytes) {
    notify.error(strprintf(kHistoryCannotOpen, path.c_str()));
    return 0;
  }
  HistoryFile f;
  const HistoryReadResult read = history_parse(*bytes, f);
  switch (read.status) {
    case HistoryRead::ok:
      break;
    case HistoryRead::not_ours:
      notify.error(kHistoryNotCompatible);
      return 0;
    case HistoryRead::old_version:
      notify.error(strprintf(kHistoryOldVersion, read.version));
      return 0;
    case HistoryRead::read_error:
      notify.error(strprintf(kHistoryReadError, read.code, path.c_str()));
      return 0;
  }
  int slot = history_slot_of(path);
  if (slot < 1) slot = next_history_run(store);
  DataClass* c = store.data_class(DATA_CLASS_HISTORY);
  if (!c) {
    notify.error(strprintf("Invalid data class index %d", static_cast<int>(DATA_CLASS_HISTORY)));
    return 0;
  }
  // Everything registered so far goes again when one vector fails, so that a
  // failed load leaves the store as it was.
  std::vector<const DataVector*> added;
  const auto add = [&](const HistoryVector& b, const DataVector* x) -> DataVector* {
    store.set_label(b.label, DATA_CLASS_HISTORY);
    DataVector* v =
        store.add_vector({.name = b.name.empty() ? b.record.name.view() : std::string_view(b.name),
                          .cls = DATA_CLASS_HISTORY,
                          .kind = b.record.kind,
                          .quantity = b.record.quantity,
                          .complex = 0,
                          .x = x,
                          .points = static_cast<int64_t>(b.values.size()),
                          .values = b.values.empty() ? &kNoValues : b.values.data()});
    store.reset_current_label(DATA_CLASS_HISTORY);
    if (!v) return nullptr;
    v->run = slot;
    if (!b.expression.empty()) v->expression = b.expression;
    added.push_back(v);
    return v;
  };
  const DataVector* x = nullptr;
  for (const HistoryTrace& t : f.traces) {
    if (t.x) x = add(*t.x, nullptr);
    if (!x || !add(t.y, x)) {
      for (auto it = added.rbegin(); it != added.rend(); ++it) store.remove_vector(*it);
      return 0;
    }
  }
  // The highest slot per kind is what a run query of the class goes up to.
  for (const HistoryTrace& t : f.traces) {
    int& runs = c->run_count[static_cast<size_t>(t.y.record.kind)];
    runs = std::max(runs, slot);
  }
  return static_cast<int>(f.traces.size());
}

}  // namespace zephyrim
