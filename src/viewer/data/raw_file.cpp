#include "viewer/data/raw_file.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

#include "common/mapped_file.h"
#include "common/notify.h"
#include "common/progress.h"
#include "common/text_format.h"
#include "viewer/data/data_store.h"
#include "viewer/data/record_columns.h"

namespace zephyrim {

// Work-file rows are this machine's doubles and are read back as little-endian.
static_assert(std::endian::native == std::endian::little);

namespace {

constexpr size_t kLineMax = 255;

bool has_key(const std::string& line, std::string_view key) {
  return line.size() >= key.size() && iequals(std::string_view(line).substr(0, key.size()), key);
}

std::string part(const std::string& s, size_t from, size_t n) {
  return from < s.size() ? s.substr(from, n) : "";
}

std::vector<std::string> fields(const std::string& line) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    const size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) out.push_back(line.substr(start, i - start));
  }
  return out;
}

int plot_kind(const std::string& line) {
  const std::string u = ascii_upper(line);
  static const std::pair<const char*, AnalysisKind> kTable[] = {{"DC", ANALYSIS_DC},
                                                                {"TRANSIENT", ANALYSIS_TRAN},
                                                                {"AC", ANALYSIS_AC},
                                                                {"NOISE", ANALYSIS_NOISE},
                                                                {"DISTORTION", ANALYSIS_DISTO},
                                                                {"POLE-ZERO", ANALYSIS_PZ},
                                                                {"OPERATING POINT", ANALYSIS_OP},
                                                                {"TRANSFER FUNCTION", ANALYSIS_OP}};
  for (const auto& [text, kind] : kTable)
    if (u.find(text) != std::string::npos) return kind;
  return ANALYSIS_OTHER;
}

bool contains(const std::string& s, const char* what) {
  return s.find(what) != std::string::npos;
}

bool begins(const std::string& s, const char* what) {
  return s.rfind(what, 0) == 0;
}

// The viewer's vector name of a RAW variable.
std::string raw_vector_name(const std::string& variable, const std::string& type_in, int kind) {
  if (kind == ANALYSIS_PZ) return variable.substr(0, kVectorNameMax);
  std::string name = ascii_upper(variable);
  std::string type = ascii_upper(type_in);
  if (begins(type, "U")) type = contains(name, "#BRANCH") ? "C" : "V";
  std::string out;
  if (begins(type, "V")) {
    if (contains(name, "TRANSFER_FUNCTION") || contains(name, "#INPUT_IMPEDANCE") ||
        contains(name, "OUTPUT_IMPEDANCE_AT_") || begins(name, "V")) {
      out = name;
    } else {
      static const std::pair<const char*, const char*> kSuffixes[] = {
          {"#COLLECTOR", "#C"}, {"#BASE", "#B"},    {"#EMITTER", "#E"},        {"#SOURCE", "#S"},
          {"#DRAIN", "#D"},     {"#CURRENT", "#I"}, {"#INTERNAL", "#internal"}};
      for (const auto& [from, to] : kSuffixes) {
        const size_t at = name.find(from);
        if (at != std::string::npos) {
          name.replace(at, std::strlen(from), to);
          break;
        }
      }
      out = "V(" + name + ")";
    }
  } else if (begins(type, "C")) {
    const size_t open = name.find('['), close = name.rfind(']');
    if (begins(name, "@") && open != std::string::npos && close != std::string::npos && close > open) {
      out = name.substr(open + 1, close - open - 1) + "(" + name.substr(1, open - 1) + ")";
    } else {
      const size_t at = name.find("#BRANCH");
      if (at != std::string::npos) name.erase(at, 7);
      const std::string l = ascii_lower(name);
      out = (begins(l, "i(") || begins(l, "id(") || begins(l, "is(") || begins(l, "ig(") ||
             begins(l, "ib(") || begins(l, "ic(") || begins(l, "ie("))
                ? name
                : "I(" + name + ")";
    }
  } else {
    out = name;
  }
  return out.substr(0, kVectorNameMax);
}

// The first vector of each block of a plot catalogued without its values.
using Blocks = std::vector<DataVector*>;

int raw_load_vector(DataStore& store, DataVector& vector, const char* display_name, bool whole_block);

class RawReader {
 public:
  RawReader(DataStore& store, const std::string& path, std::span<const uint8_t> bytes, bool header_wanted,
            const RawPlotRead& plot_read)
      : store_(store), path_(path), bytes_(bytes), header_wanted_(header_wanted), plot_read_(plot_read) {
    utf16_ = bytes.size() >= 2 && bytes[0] != 0 && bytes[1] == 0;
  }

  int run();

 private:
  bool next_line(std::string& line);
  bool read_variables(const std::string& first_line);
  bool read_text_values();
  bool read_binary_values();
  bool step_starts(const RecordColumn& x, int64_t points, std::vector<int64_t>& starts);
  bool register_plot(std::span<const RecordColumn> columns, int64_t first, int64_t count,
                     std::span<const uint8_t> rows);
  void load_plot();
  void error() { store_.notify().error("Error reading SPICE3 RAW data file:\n" + path_); }
  void point_count_warning(int64_t there) {
    store_.notify().warning(
        strprintf("SPICE3 RAW data file: %s\nholds %lld data points, its header says %lld", path_.c_str(),
                  static_cast<long long>(there), static_cast<long long>(points_)));
  }
  std::string status(const char* what) const {
    return strprintf("Reading SPICE3 RAW file%s\nVars=%d  Data points=%lu", what, vars_,
                     static_cast<unsigned long>(points_));
  }
  void finish_header_date();

  DataStore& store_;
  const std::string& path_;
  std::span<const uint8_t> bytes_;
  bool header_wanted_;
  const RawPlotRead& plot_read_;
  std::shared_ptr<SourceFile> source_;  // opened at the first binary plot
  Blocks blocks_;                       // of the plot being read
  bool utf16_ = false;
  size_t pos_ = 0;
  int registered_ = 0;
  int invalid_ = 0;
  bool first_plot_ = true;
  std::string date_line_;
  double last_temperature_ = 27;
  int temperature_changes_ = 0;

  // The plot being read.
  int kind_ = ANALYSIS_OTHER;
  bool complex_ = false;
  std::string flags_;
  int vars_ = 0;
  int64_t points_ = 0;
  std::vector<std::string> names_;
};

bool RawReader::next_line(std::string& line) {
  line.clear();
  if (pos_ >= bytes_.size()) return false;
  const size_t unit = utf16_ ? 2 : 1;
  while (pos_ + unit <= bytes_.size()) {
    const uint8_t c = bytes_[pos_];
    const bool wide = utf16_ && bytes_[pos_ + 1] != 0;
    pos_ += unit;
    if (c == '\n' && !wide) break;
    if (c == '\r' && !wide) continue;
    line += wide ? '?' : static_cast<char>(c);
    if (line.size() == kLineMax) break;
  }
  if (utf16_ && pos_ + 1 == bytes_.size()) pos_ = bytes_.size();
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.pop_back();
  return true;
}

void RawReader::finish_header_date() {
  if (date_line_.empty()) return;
  const std::string d = part(date_line_, 5, std::string::npos);
  const size_t colon = d.find(':');
  if (colon != std::string::npos && colon >= 2) store_.header.time = d.substr(colon - 2, 8);
  store_.header.date = d.find('-') != std::string::npos ? part(d, 1, 11) : part(d, 5, 7) + part(d, 21, 5);
}

int RawReader::run() {
  std::string line;
  while (next_line(line)) {
    if (has_key(line, "title:")) {
      if (first_plot_ && header_wanted_) store_.header.title = part(line, 7, 79);
    } else if (has_key(line, "date:")) {
      if (first_plot_ && header_wanted_) date_line_ = line;
    } else if (has_key(line, "plotname:")) {
      kind_ = plot_kind(line);
    } else if (has_key(line, "flags:")) {
      flags_ = ascii_lower(line);
      if (contains(flags_, "real"))
        complex_ = false;
      else if (contains(flags_, "complex"))
        complex_ = true;
    } else if (has_key(line, "no. variables:")) {
      vars_ = std::max(0, std::atoi(line.c_str() + 14));
    } else if (has_key(line, "no. points:")) {
      points_ = std::max(0LL, std::atoll(line.c_str() + 11));
    } else if (has_key(line, "command:")) {
      if (header_wanted_) store_.header.command = part(line, 8, 33);
    } else if (has_key(line, "source:")) {
      if (header_wanted_) store_.header.command = part(line, 10, 18);
    } else if (has_key(line, "temperature:")) {
      if (header_wanted_) {
        const double t = std::atof(part(line, 13, 18).c_str());
        if (t != last_temperature_) ++temperature_changes_;
        last_temperature_ = t;
        if (temperature_changes_ > 1)
          store_.header.run_info.clear();
        else if (t != 27)
          store_.header.run_info = strprintf("Temp=%g C", t).substr(0, 15);
      }
    } else if (has_key(line, "variables:")) {
      store_.progress().show(status(" var. names..."));
      if (!read_variables(line)) break;
    } else if ((has_key(line, "values:") || has_key(line, "binary:")) && points_ > 0 && vars_ > 0) {
      if (names_.size() != static_cast<size_t>(vars_)) {
        error();
        break;
      }
      store_.progress().show(status(" data..."));
      const bool ok = line[0] == 'v' || line[0] == 'V' ? read_text_values() : read_binary_values();
      if (!ok) break;
      if (first_plot_ && header_wanted_) finish_header_date();
      first_plot_ = false;
      vars_ = 0;
      points_ = 0;
      complex_ = false;
      flags_.clear();
      names_.clear();
      store_.delete_work_file(0);
      if (plot_read_) {
        load_plot();
        if (!plot_read_(store_)) break;
      }
      blocks_.clear();
    }
  }
  store_.delete_work_file(0);
  store_.progress().done();
  if (invalid_ > 0)
    store_.notify().warning(strprintf("SPICE3 RAW data file: %s\ncontains %d invalid or out of range numbers",
                                      path_.c_str(), invalid_));
  return registered_;
}

bool RawReader::read_variables(const std::string& first_line) {
  names_.clear();
  if (vars_ <= 0) return true;
  // Each variable takes a line of a few bytes at least, so a wrong count cannot
  // make the lists outgrow the file.
  if (static_cast<size_t>(vars_) > (bytes_.size() - pos_) / 4 + 1) {
    error();
    return false;
  }
  auto f = fields(first_line);
  if (f.size() == 4) {
    names_.push_back(raw_vector_name(f[2], f[3], kind_));
  }
  std::string line;
  while (names_.size() < static_cast<size_t>(vars_)) {
    if (!next_line(line)) {
      error();
      return false;
    }
    f = fields(ascii_upper(line));
    if (f.size() < 3) {
      error();
      return false;
    }
    names_.push_back(raw_vector_name(f[1], f[2], kind_));
  }
  return true;
}

// Parses the next number of a text value at p; false when it is not one.
bool parse_number(std::string_view token, double& v) {
  if (!token.empty() && token[0] == '+') token.remove_prefix(1);
  const auto r = std::from_chars(token.data(), token.data() + token.size(), v);
  return r.ec == std::errc() && r.ptr == token.data() + token.size();
}

bool RawReader::read_text_values() {
  // Text in UTF-16 is read from an 8-bit copy of the rest of the file.
  std::string wide_copy;
  std::string_view text;
  if (utf16_) {
    wide_copy.reserve((bytes_.size() - pos_) / 2);
    for (size_t i = pos_; i + 1 < bytes_.size(); i += 2)
      wide_copy += bytes_[i + 1] ? '?' : static_cast<char>(bytes_[i]);
    text = wide_copy;
  } else {
    text = std::string_view(reinterpret_cast<const char*>(bytes_.data() + pos_), bytes_.size() - pos_);
  }
  size_t p = 0;
  auto token = [&]() -> std::string_view {
    while (p < text.size() && std::isspace(static_cast<unsigned char>(text[p]))) ++p;
    const size_t start = p;
    while (p < text.size() && !std::isspace(static_cast<unsigned char>(text[p]))) ++p;
    return text.substr(start, p - start);
  };
  ScratchFile* work = store_.create_work_file(0);
  if (!work) {
    store_.notify().error("Cannot create temporary SPICE3 RAW data file");
    return false;
  }
  // A row per point, the variables in order, each as (real, imaginary) in a
  // complex plot: the layout of a binary row.
  const size_t width = complex_ ? 2 : 1;
  const size_t row = static_cast<size_t>(vars_) * width;
  std::vector<double> rows;
  rows.reserve(std::min<size_t>(row * 4096, size_t{1} << 20));
  int64_t read = 0;
  int shown = -1;
  size_t resume = p;
  bool ok = true;
  for (;;) {
    resume = p;
    const std::string_view index = token();
    int64_t value = -1;
    const auto r = std::from_chars(index.data(), index.data() + index.size(), value);
    if (index.empty() || r.ec != std::errc() || r.ptr != index.data() + index.size()) {
      // The data ends where the next plot's header or the file begins.
      break;
    }
    if (value != read) {
      if (read >= points_) break;
      store_.notify().error(
          strprintf("RAW data index out of sync:\nType=%d  Index=%d", kind_, static_cast<int>(read)));
      error();
      ok = false;
      break;
    }
    const size_t at = rows.size();
    rows.resize(at + row);
    for (int v = 0; v < vars_; ++v) {
      const std::string_view t = token();
      double re = 0, im = 0;
      bool good;
      if (complex_) {
        const size_t comma = t.find(',');
        good = comma != std::string_view::npos && parse_number(t.substr(0, comma), re) &&
               parse_number(t.substr(comma + 1), im);
        if (!good) re = im = 0;
        rows[at + v * width + 1] = im;
      } else {
        good = parse_number(t, re);
        if (!good) re = 0;
      }
      if (!good) ++invalid_;
      rows[at + v * width] = re;
    }
    ++read;
    if (rows.size() >= (size_t{1} << 20)) {
      if (work->append(rows) < 0) {
        store_.notify().error("Cannot create temporary SPICE3 RAW data file");
        return false;
      }
      rows.clear();
    }
    const int pct = points_ > 0 ? static_cast<int>(std::min<int64_t>(100, read * 100 / points_)) : 100;
    if (pct > shown) {
      shown = pct;
      store_.progress().show(strprintf("Reading SPICE3 RAW file...\nVars=%d  Data points=%lu\nLoad data %d%%",
                                       vars_, static_cast<unsigned long>(points_), pct));
    }
  }
  if (!rows.empty() && work->append(rows) < 0) {
    store_.notify().error("Cannot create temporary SPICE3 RAW data file");
    return false;
  }
  // Go on behind the data, in the file's own units.
  pos_ += utf16_ ? resume * 2 : resume;
  if (read == 0) return ok;
  if (ok && read != points_) point_count_warning(read);
  const auto all = work->view(0, static_cast<uint64_t>(read) * row);
  if (all.empty()) {
    error();
    return false;
  }
  std::vector<RecordColumn> columns(static_cast<size_t>(vars_));
  for (size_t v = 0; v < columns.size(); ++v)
    columns[v] = {.offset = static_cast<int64_t>(v * width * 8), .stride = static_cast<int64_t>(row * 8)};
  const int64_t points = points_;
  points_ = read;
  const bool registered =
      register_plot(columns, 0, read, {reinterpret_cast<const uint8_t*>(all.data()), all.size_bytes()});
  points_ = points;
  return ok && registered;
}

bool RawReader::read_binary_values() {
  const bool fast_access = contains(flags_, "fastaccess");
  // The x variable is a double; the others are doubles too, unless a UTF-16
  // header announces floats (and its "double" flag takes that back).
  const size_t n = static_cast<size_t>(vars_);
  size_t elem = 8;
  if (!complex_ && n > 1 && !contains(flags_, "double")) {
    const size_t remaining = bytes_.size() - pos_;
    const uint64_t doubles_size = static_cast<uint64_t>(points_) * n * 8;
    const uint64_t floats_size = static_cast<uint64_t>(points_) * (8 + (n - 1) * 4);
    if (utf16_ ? !(remaining == doubles_size && remaining != floats_size) : remaining == floats_size)
      elem = 4;
  }
  const size_t x_size = complex_ ? 16 : 8;
  const size_t other = complex_ ? 16 : elem;
  const size_t row = x_size + (n - 1) * other;
  const size_t remaining = bytes_.size() - pos_;
  int64_t points = points_;
  if (static_cast<uint64_t>(points) > remaining / row) {
    points = static_cast<int64_t>(remaining / row);
    if (points == 0) {
      error();
      return false;
    }
    point_count_warning(points);
  }
  if (!source_) source_ = SourceFile::open(path_, raw_load_vector);
  if (!source_) {
    store_.notify().error("Cannot open SPICE3 RAW data file:\n" + path_);
    return false;
  }
  // Each variable's real part (or only value); the catalogue takes no more.
  std::vector<RecordColumn> columns(n);
  const auto data = static_cast<int64_t>(pos_);
  for (size_t v = 0; v < n; ++v) {
    auto& c = columns[v];
    c.value_size = static_cast<int>(v == 0 ? 8 : (complex_ ? 8 : elem));
    c.magnitude = v == 0 && elem == 4;
    if (fast_access) {
      c.offset =
          data + static_cast<int64_t>(v == 0 ? 0 : static_cast<size_t>(points) * (x_size + (v - 1) * other));
      c.stride = static_cast<int64_t>(v == 0 ? x_size : other);
    } else {
      c.offset = data + static_cast<int64_t>(v == 0 ? 0 : x_size + (v - 1) * other);
      c.stride = static_cast<int64_t>(row);
    }
  }
  pos_ += static_cast<size_t>(points) * row;
  const int64_t declared = points_;
  points_ = points;
  bool ok = true;
  if (contains(flags_, "stepped")) {
    // Each step starts again at the first x value.
    std::vector<int64_t> starts;
    ok = step_starts(columns[0], points, starts);
    if (!ok) error();
    for (size_t i = 0; ok && i < starts.size(); ++i) {
      const int64_t end = i + 1 < starts.size() ? starts[i + 1] : points;
      ok = register_plot(columns, starts[i], end - starts[i], {});
    }
  } else {
    ok = register_plot(columns, 0, points, {});
  }
  points_ = declared;
  return ok;
}

// The points where steps begin: the first, and every later one whose x value
// is the first's again. Only the x column is read.
bool RawReader::step_starts(const RecordColumn& x, int64_t points, std::vector<int64_t>& starts) {
  constexpr int64_t kBlock = 1 << 16;
  std::vector<double> xs(static_cast<size_t>(std::min(points, kBlock)));
  double x0 = 0;
  for (int64_t first = 0; first < points; first += kBlock) {
    const auto n = static_cast<size_t>(std::min(kBlock, points - first));
    RecordColumn c = x;
    c.offset += first * c.stride;
    const ColumnCopy copy{c, std::span<double>(xs.data(), n)};
    if (!copy_columns(*source_, {&copy, 1})) return false;
    if (first == 0) x0 = xs[0];
    for (size_t i = 0; i < n; ++i)
      if (first + static_cast<int64_t>(i) == 0 || xs[i] == x0)
        starts.push_back(first + static_cast<int64_t>(i));
  }
  return true;
}

// Registers the vectors of points first to first + count of each column. From
// a binary plot (rows empty) they are catalogued to be loaded from the file;
// from the text reader's rows they are registered and filled now.
bool RawReader::register_plot(std::span<const RecordColumn> columns, int64_t first, int64_t count,
                              std::span<const uint8_t> rows) {
  const bool catalogue = rows.empty();
  std::vector<ColumnCopy> copies;
  DataVector* x = nullptr;
  DataVector* block = nullptr;
  const int64_t block_position = columns[0].offset + first * columns[0].stride;
  auto add = [&](NewVector nv, RecordColumn c) -> DataVector* {
    c.offset += first * c.stride;
    nv.points = count;
    DataVector* d;
    if (catalogue) {
      nv.source_position = block_position;
      d = store_.add_vector(nv, source_, c);
    } else {
      d = store_.add_vector_reserved(nv);
      if (d) copies.push_back({c, store_.room(*d)});
    }
    if (d && !block) block = d;
    return d;
  };
  for (size_t v = 0; v < columns.size(); ++v) {
    store_.progress().show(status("...") + strprintf("\nSave var# %d", static_cast<int>(v)));
    const std::string& name = names_[v];
    if (kind_ == ANALYSIS_PZ) {
      const int q = quantity_code(ANALYSIS_PZ, "OMEGA");
      RecordColumn imaginary = columns[v];
      imaginary.offset += 8;
      DataVector* re = add({.name = "R[" + name + "]", .kind = kind_, .quantity = q}, columns[v]);
      DataVector* im = re ? add({.name = name, .kind = kind_, .quantity = q, .x = re}, imaginary) : nullptr;
      if (!im) {
        error();
        return false;
      }
      registered_ += 2;
      continue;
    }
    const bool is_x = v == 0;
    const int complex = !is_x && complex_ ? 1 : 0;
    RecordColumn c = columns[v];
    c.pairs = complex == 1;
    DataVector* d = add({.name = name,
                         .kind = kind_,
                         .quantity = quantity_code(kind_, name),
                         .complex = complex,
                         .x = is_x ? nullptr : x},
                        c);
    if (!d) {
      error();
      return false;
    }
    if (is_x) x = d;
    ++registered_;
  }
  if (catalogue) {
    if (block) blocks_.push_back(block);
    return true;
  }
  if (!copy_columns(rows, copies)) {
    store_.notify().error("Cannot save waveform data to temporary file");
    return false;
  }
  return true;
}

// A caller that takes one plot at a time takes all of it: the plot's vectors
// are loaded, a pass over each block, before it is handed over.
void RawReader::load_plot() {
  for (DataVector* v : blocks_)
    if (!v->loaded()) raw_load_vector(store_, *v, nullptr, true);
}

// The vectors of the block that wait for their values, the asked one first.
std::vector<DataVector*> waiting_block(DataStore& store, DataVector& vector, bool whole_block) {
  std::vector<DataVector*> out{&vector};
  uint64_t doubles = 0;
  DataClass* c = store.data_class(vector.data_class);
  for (auto& v : c->vectors) {
    if (v.loaded() || v.source != vector.source || v.source_position != vector.source_position) continue;
    doubles += static_cast<uint64_t>(v.points) * (v.complex ? 2 : 1);
    if (&v != &vector) out.push_back(&v);
  }
  if (!whole_block && doubles > kBlockLoadDoubles) {
    out.resize(1);
    for (auto& v : c->vectors)
      if (&v == vector.x && !v.loaded() && v.source == vector.source &&
          v.source_position == vector.source_position)
        out.push_back(&v);
  }
  return out;
}

int raw_load_vector(DataStore& store, DataVector& vector, const char* display_name, bool whole_block) {
  (void)display_name;
  if (vector.loaded()) return 1;
  DataClass* c = store.data_class(vector.data_class);
  if (!c || !vector.source) return 0;
  const std::shared_ptr<const SourceFile> source = vector.source;
  const std::vector<DataVector*> block = waiting_block(store, vector, whole_block);
  const int64_t waiting = vector.scratch_position;
  const uint64_t mark = c->scratch.size();
  std::vector<ColumnCopy> copies;
  copies.reserve(block.size());
  auto undo = [&] {
    for (DataVector* v : block) v->scratch_position = waiting;
    c->scratch.rewind_to(mark);
    return 0;
  };
  for (DataVector* v : block) {
    if (!store.reserve_values(*v)) {
      store.notify().error("Cannot save waveform data to temporary file");
      return undo();
    }
    copies.push_back({v->column, store.room(*v)});
  }
  if (!copy_columns(*source, copies)) {
    store.notify().error("Error reading SPICE3 RAW data file:\n" + source->path());
    return undo();
  }
  // The file closes once no vector waits for it any more.
  for (DataVector* v : block) v->source.reset();
  return 1;
}

}  // namespace

int raw_read_file(DataStore& store, const std::string& path, bool header_wanted) {
  return raw_read_file(store, path, header_wanted, {});
}

int raw_read_file(DataStore& store, const std::string& path, bool header_wanted,
                  const RawPlotRead& plot_read) {
  MappedFile file;
  if (!file.open(path)) {
    store.notify().error("Cannot open SPICE3 RAW data file:\n" + path);
    return 0;
  }
  RawReader reader(store, path, file.bytes(), header_wanted, plot_read);
  return reader.run();
}

}  // namespace zephyrim
