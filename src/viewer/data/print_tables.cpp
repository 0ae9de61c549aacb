#include "viewer/data/print_tables.h"

#include <array>
#include <cstring>
#include <span>
#include <vector>

#include "common/eng_number.h"
#include "common/notify.h"
#include "common/progress.h"
#include "common/text_format.h"
#include "viewer/data/data_store.h"
#include "viewer/data/record_columns.h"

namespace zephyrim {

using namespace listing;

namespace {

constexpr size_t kMaxColumns = 12;
constexpr size_t kFourierColumns = 6;
constexpr int kDigitalQuantity = 9;
constexpr size_t kFlushDoubles = size_t{1} << 20;
// A run label stands after "**RunInfo:" and one blank.
constexpr size_t kRunInfoText = 11;
// Lines looked at after a Fourier table's rows for its THD (the line that
// ended the rows and four more).
constexpr int kThdLines = 5;
// Lines between ngspice's "Fourier analysis for" and its table header.
constexpr int kFourierHeadLines = 6;

// The own format's section headings; kind -1 is never matched.
struct Section {
  const char* text;
  int kind;
};
constexpr std::array<Section, 9> kSections{{{"PARAMETRIC STEP VALUES", ANALYSIS_OTHER},
                                            {"TRANSFER CURVES", ANALYSIS_DC},
                                            {"TRANSIENT ANALYSIS", ANALYSIS_TRAN},
                                            {"AC ANALYSIS", ANALYSIS_AC},
                                            {"NOISE ANALYSIS", -1},
                                            {"DISTORTION ANALYSIS", -1},
                                            {"POLE-ZERO ANALYSIS", ANALYSIS_PZ},
                                            {"FOURIER HARMONIC ANALYSIS", ANALYSIS_FOUR},
                                            {"NOISE SPECTRAL DENSITY CURVES", ANALYSIS_AC}}};
constexpr size_t kTransferCurves = 1;
constexpr size_t kFourierSection = 7;

// The SPICE3 format's headings, at a line's start in any case.
constexpr std::array<Section, 4> kSpice3Sections{{{"DC TRANSFER ", ANALYSIS_DC},
                                                  {"TRANSIENT ANALYSIS", ANALYSIS_TRAN},
                                                  {"AC ANALYSIS", ANALYSIS_AC},
                                                  {"NOISE SPECTRAL DENSITY CURVES", ANALYSIS_AC}}};

constexpr const char* kFourierHeading = " FOURIER COMPONENTS OF TRANSIENT RESPONSE ";
constexpr const char* kFourierHeader = " HARMONIC   FREQUENCY ";
constexpr const char* kNgspiceFourier = "Fourier analysis for ";

// Splits at blanks and tabs into out; counts one field beyond its size at most,
// so that a caller can tell "more than fits".
size_t split_fields(std::string_view s, std::span<std::string_view> out) {
  size_t n = 0, i = 0;
  while (i < s.size() && n <= out.size()) {
    while (i < s.size() && blank(s[i])) ++i;
    const size_t start = i;
    while (i < s.size() && !blank(s[i])) ++i;
    if (i == start) break;
    if (n < out.size()) out[n] = s.substr(start, i - start);
    ++n;
  }
  return n;
}

bool one_of(char c, std::string_view set) {
  return c != '\0' && set.find(c) != std::string_view::npos;
}

bool number(std::string_view field, double& value) {
  std::string text(field);
  return parse_eng(text, value) >= 0;
}

// AC tables of noise or distortion outputs are of those kinds.
int kind_by_columns(int kind, std::span<const std::string_view> names) {
  if (kind != ANALYSIS_AC) return kind;
  for (const auto name : names) {
    const std::string u = ascii_upper(name);
    if (contains(u, "INOISE") || contains(u, "ONOISE")) return ANALYSIS_NOISE;
    for (const char* d : {"HD2", "HD3", "SIM2", "SIM3", "DIM2", "DIM3"})
      if (contains(u, d)) return ANALYSIS_DISTO;
  }
  return kind;
}

// The magnitude and phase names of a Fourier variable: VM(2) for V(2), M[X]
// for X, as the complex forms are named.
std::string form_name(std::string_view variable, const char* code) {
  if (!variable.empty() && one_of(ascii_upper(variable[0]), "VIZYP") && contains(variable, "("))
    return std::string(1, variable[0]) + code + std::string(variable.substr(1));
  return std::string(code) + "[" + std::string(variable) + "]";
}

// The text after a marker up to the next blank.
std::string value_after(std::string_view line, size_t marker_end) {
  const std::string_view rest = trim_leading(line.substr(std::min(marker_end, line.size())));
  size_t end = 0;
  while (end < rest.size() && !blank(rest[end])) ++end;
  return std::string(rest.substr(0, end));
}

struct Column {
  std::string name;
  int quantity = 0;
  bool digital = false;
  bool complex = false;
};

// Collects a table's rows in a work file and registers its columns, column 0
// as the x vector of the others. A table printed in parts (a wide .PRINT, or
// one per run with the same x) shares its x vector with the table before it.
class Tables {
 public:
  Tables(DataStore& store, ListingFacts& facts) : store_(store), facts_(facts) {}
  ~Tables() {
    if (work_) store_.delete_work_file(0);
  }
  Tables(const Tables&) = delete;
  Tables& operator=(const Tables&) = delete;

  DataStore& store() { return store_; }
  ListingFacts& facts() { return facts_; }
  int registered() const { return registered_; }
  void end_sharing() { last_x_.fill(nullptr); }
  void loading(std::string_view section) {
    store_.progress().show(strprintf("Loading .PRINT data...\n%.*s data vector %d",
                                     static_cast<int>(section.size()), section.data(), registered_));
  }
  // A new table of rows of width doubles; false after the message when there
  // is no work file.
  bool begin(size_t width, bool fourier);
  // Appends one row; false after the message when it cannot be kept.
  bool add(std::span<const double> row);
  int64_t rows() const { return rows_; }
  // A table starts whose layout its first row tells (begin follows then).
  void clear() {
    rows_ = 0;
    buffer_.clear();
  }
  // Registers the columns; false when a registration failed, which ends the
  // reading (the table's own vectors are taken back).
  bool finish(int kind, std::span<const Column> columns);

 private:
  const DataVector* shared_x(int kind, const Column& x);
  bool flush();

  DataStore& store_;
  ListingFacts& facts_;
  ScratchFile* work_ = nullptr;
  std::vector<double> buffer_;
  size_t width_ = 0;
  int64_t rows_ = 0;
  double first_x_ = 0, last_x_value_ = 0;
  std::array<const DataVector*, kKindSlots> last_x_{};
  int registered_ = 0;
};

bool Tables::begin(size_t width, bool fourier) {
  if (!work_) {
    work_ = store_.create_work_file(0);
    if (!work_) {
      store_.notify().error(fourier ? "Cannot create .FOUR data temporary file"
                                    : "Cannot create .PRINT data temporary file");
      return false;
    }
  }
  work_->rewind();
  buffer_.clear();
  width_ = width;
  rows_ = 0;
  return true;
}

bool Tables::flush() {
  if (!buffer_.empty() && work_->append(buffer_) < 0) {
    store_.notify().error("Cannot save waveform data to temporary file");
    return false;
  }
  buffer_.clear();
  return true;
}

bool Tables::add(std::span<const double> row) {
  if (rows_ == 0) first_x_ = row[0];
  last_x_value_ = row[0];
  buffer_.insert(buffer_.end(), row.begin(), row.end());
  ++rows_;
  return buffer_.size() < kFlushDoubles || flush();
}

const DataVector* Tables::shared_x(int kind, const Column& x) {
  const DataVector* previous = last_x_[kind];
  if (!previous || previous->points != rows_ || previous->quantity != x.quantity ||
      !iequals(previous->name, std::string_view(x.name).substr(0, kVectorNameMax)))
    return nullptr;
  const auto values = store_.values(*previous);
  if (values.size() != static_cast<size_t>(rows_)) return nullptr;
  return values.front() == first_x_ && values.back() == last_x_value_ ? previous : nullptr;
}

bool Tables::finish(int kind, std::span<const Column> columns) {
  if (rows_ == 0 || kind < 0 || kind >= kKindSlots) return true;
  if (!flush()) return false;
  const auto all = work_->view(0, static_cast<uint64_t>(rows_) * width_);
  if (all.empty()) return false;
  const DataVector* x = shared_x(kind, columns[0]);
  std::vector<DataVector*> added;
  std::vector<ColumnCopy> copies;
  size_t offset = 0;
  bool ok = true;
  for (size_t c = 0; c < columns.size() && ok; ++c) {
    const Column& column = columns[c];
    const size_t at = offset;
    offset += column.complex ? 2 : 1;
    if (c == 0 && x) continue;
    DataVector* d = store_.add_vector_reserved({.name = column.name,
                                                .cls = DATA_CLASS_TEXT,
                                                .kind = kind,
                                                .quantity = column.quantity,
                                                .complex = column.complex ? 1 : 0,
                                                .x = c == 0 ? nullptr : x,
                                                .points = rows_});
    ok = d != nullptr;
    if (!ok) break;
    added.push_back(d);
    if (c == 0) x = last_x_[kind] = d;
    copies.push_back({{.offset = static_cast<int64_t>(at * sizeof(double)),
                       .stride = static_cast<int64_t>(width_ * sizeof(double)),
                       .pairs = column.complex},
                      store_.room(*d)});
  }
  if (ok && !copy_columns({reinterpret_cast<const uint8_t*>(all.data()), all.size_bytes()}, copies)) {
    store_.notify().error("Cannot save waveform data to temporary file");
    ok = false;
  }
  if (!ok) {
    // No vector of a half-registered table stays with values never written.
    for (auto it = added.rbegin(); it != added.rend(); ++it) {
      if (*it == last_x_[kind]) last_x_[kind] = nullptr;
      store_.remove_vector(*it);
    }
    return false;
  }
  registered_ += static_cast<int>(added.size());
  return true;
}

// The rows of a Fourier table: harmonic, frequency, then four numbers of which
// magnitude and phase sit at the given places. Rows are read from the first
// line of six numbers (blank lines before it are passed over) up to the first
// line that is not one, where the lines are left. Returns false when the
// reading must end.
bool read_fourier_rows(ListingLines& lines, Tables& t, size_t magnitude, size_t phase) {
  if (!t.begin(3, true)) return false;
  std::array<std::string_view, kFourierColumns> f;
  std::string_view line;
  for (;;) {
    const size_t at = lines.position();
    if (!lines.next(line)) break;
    if (t.rows() == 0 && trim_leading(line).empty()) continue;
    std::array<double, kFourierColumns> v{};
    bool row = split_fields(line, f) == kFourierColumns;
    for (size_t i = 0; row && i < kFourierColumns; ++i) row = number(f[i], v[i]);
    if (!row) {
      lines.seek(at);
      break;
    }
    const std::array<double, 3> kept{v[1], v[magnitude], v[phase]};
    if (!t.add(kept)) return false;
  }
  return true;
}

bool register_fourier(Tables& t, std::string_view variable) {
  const std::string name = variable.empty() ? std::string("V(FOUR)") : ascii_upper(variable);
  const std::array<Column, 3> columns{{{"FREQ", 0}, {form_name(name, "M"), 2}, {form_name(name, "P"), 5}}};
  return t.finish(ANALYSIS_FOUR, columns);
}

// ---------------------------------------------------------------------------
// The own format.

class OwnTables {
 public:
  OwnTables(std::string_view listing, Tables& t) : lines_(listing), t_(t) {}
  void run();

 private:
  // The section a heading line opens, or null.
  static const Section* section_of(std::string_view upper);
  // A line where looking for a header or a first row gives up: the next
  // section, the end of a run.
  static bool boundary(std::string_view line);
  bool read_section(const Section& s);
  bool read_table(int kind, std::string_view header, const char* section);
  bool read_fourier(std::string_view heading);
  void find_thd();

  ListingLines lines_;
  Tables& t_;
};

const Section* OwnTables::section_of(std::string_view upper) {
  const bool temperature = contains(upper, "TEMPERATURE");
  for (size_t i = 0; i < kSections.size(); ++i) {
    const Section& s = kSections[i];
    if (s.kind < 0) continue;
    if ((temperature && contains(upper, s.text)) ||
        (i == kTransferCurves && contains(upper, "DC TRANSFER CHARACTERISTIC")))
      return &s;
  }
  return nullptr;
}

bool OwnTables::boundary(std::string_view line) {
  const std::string u = ascii_upper(line);
  return section_of(u) || contains(u, "TOTAL JOB TIME") || contains(line, "**RunInfo:");
}

void OwnTables::run() {
  std::string_view line;
  bool in_fourier = false;
  while (lines_.next(line)) {
    const size_t info = line.find("**RunInfo:");
    if (info != std::string_view::npos) {
      const size_t from = info + kRunInfoText;
      t_.store().set_label(from < line.size() ? trim_trailing(line.substr(from)) : std::string_view(),
                           DATA_CLASS_TEXT);
    }
    const std::string u = ascii_upper(line);
    if (contains(u, "TOTAL JOB TIME")) t_.end_sharing();
    // Further variables of one Fourier heading follow without a heading of their own.
    if (in_fourier && u.starts_with(kFourierHeading)) {
      if (!read_fourier(line)) return;
      continue;
    }
    const Section* s = section_of(u);
    if (!s) continue;
    in_fourier = s->kind == ANALYSIS_FOUR;
    if (!read_section(*s)) return;
  }
}

bool OwnTables::read_section(const Section& s) {
  std::string_view line;
  for (;;) {
    const size_t at = lines_.position();
    if (!lines_.next(line)) return true;
    if (contains(line, "LEGEND")) return true;  // a printer plot, not a table
    if (boundary(line)) {
      lines_.seek(at);
      return true;
    }
    if (s.kind == ANALYSIS_FOUR) {
      if (ascii_upper(line).starts_with(kFourierHeading)) return read_fourier(line);
      continue;
    }
    const std::string_view t = trim_leading(line);
    if (!t.empty() && one_of(ascii_upper(t[0]), "FIRTV")) return read_table(s.kind, t, s.text);
  }
}

bool OwnTables::read_table(int kind, std::string_view header, const char* section) {
  std::array<std::string_view, kMaxColumns> names;
  const size_t n = std::min(split_fields(header, names), kMaxColumns);
  if (n < 2) return true;
  kind = kind_by_columns(kind, {names.data(), n});
  std::vector<Column> columns;
  for (size_t c = 0; c < n; ++c) {
    const int q = quantity_code(kind, names[c]);
    columns.push_back({std::string(names[c]), q, q == kDigitalQuantity && c > 0});
  }
  t_.loading(section);
  if (!t_.begin(n, false)) return false;
  std::array<std::string_view, kMaxColumns> f;
  std::array<double, kMaxColumns> row{};
  std::string_view line;
  for (;;) {
    const size_t at = lines_.position();
    if (!lines_.next(line)) break;
    if (t_.rows() == 0 && (line.size() <= 1 || line[0] == 'X')) continue;
    if (!line.empty() && line[0] == 'Y') break;
    if (t_.rows() == 0 && boundary(line)) {
      lines_.seek(at);
      break;
    }
    if (split_fields(line, f) != n) {
      if (t_.rows() == 0) continue;
      lines_.seek(at);
      break;
    }
    bool good = true;
    for (size_t c = 0; c < n && good; ++c) {
      if (columns[c].digital)
        row[c] = digital_level(f[c][0]);
      else
        good = number(f[c], row[c]);
    }
    if (!good) {
      lines_.seek(at);
      break;
    }
    if (!t_.add({row.data(), n})) return false;
  }
  return t_.finish(kind, columns);
}

// From the components heading on: the header, one more line, the rows.
bool OwnTables::read_fourier(std::string_view heading) {
  std::string_view variable = trim_trailing(heading);
  const size_t blank_at = variable.find_last_of(" \t");
  variable = blank_at == std::string_view::npos ? std::string_view() : variable.substr(blank_at + 1);
  if (iequals(variable, "RESPONSE")) variable = {};
  const std::string name(variable);
  std::string_view line;
  for (;;) {
    const size_t at = lines_.position();
    if (!lines_.next(line)) return true;
    if (ascii_upper(line).starts_with(kFourierHeader)) break;
    if (boundary(line)) {
      lines_.seek(at);
      return true;
    }
  }
  lines_.next(line);
  t_.loading(kSections[kFourierSection].text);
  if (!read_fourier_rows(lines_, t_, 2, 4)) return false;
  if (t_.rows() > 0) find_thd();
  return register_fourier(t_, name);
}

// "THD =" within the few lines after the rows; the lines stay to be read.
void OwnTables::find_thd() {
  const size_t at = lines_.position();
  std::string_view line;
  for (int i = 0; i < kThdLines && lines_.next(line); ++i) {
    const size_t thd = line.find("THD =");
    if (thd == std::string_view::npos) continue;
    const std::string value = value_after(line, thd + 5);
    if (!value.empty()) t_.facts().thd = "THD=" + value + "%";
    break;
  }
  lines_.seek(at);
}

// ---------------------------------------------------------------------------
// The SPICE3 format.

class Spice3Tables {
 public:
  Spice3Tables(std::string_view listing, Tables& t) : lines_(listing), t_(t) {}
  void run();

 private:
  static const Section* section_of(std::string_view trimmed);
  static bool boundary(std::string_view line);
  bool read_table(int kind, std::string_view header, const char* section);
  bool layout(std::span<const std::string_view> fields, int kind, std::vector<Column>& columns) const;
  bool continues(std::string_view header);
  bool read_fourier(std::string_view heading);

  ListingLines lines_;
  Tables& t_;
};

const Section* Spice3Tables::section_of(std::string_view trimmed) {
  for (const Section& s : kSpice3Sections)
    if (istarts_with(trimmed, s.text)) return &s;
  return nullptr;
}

bool Spice3Tables::boundary(std::string_view line) {
  const std::string_view t = trim_leading(line);
  return section_of(t) || t.starts_with("Index ") || istarts_with(t, kNgspiceFourier);
}

void Spice3Tables::run() {
  const Section* section = nullptr;
  std::string_view line;
  while (lines_.next(line)) {
    const std::string_view t = trim_leading(line);
    if (t.empty() || t[0] == '*' || t[0] == ';') continue;
    if (contains(ascii_upper(t), "TOTAL JOB TIME")) t_.end_sharing();
    if (istarts_with(t, kNgspiceFourier)) {
      if (!read_fourier(t)) return;
      continue;
    }
    if (const Section* s = section_of(t)) {
      section = s;
      continue;
    }
    if (!section || !dash_line(line)) continue;
    const size_t at = lines_.position();
    std::string_view header;
    if (!lines_.next(header) || !trim_leading(header).starts_with("Index ")) {
      lines_.seek(at);
      continue;
    }
    if (!read_table(section->kind, trim_trailing(trim_leading(header)), section->text)) return;
  }
}

// The columns' layout from a first row: an AC value printed "real," "imaginary"
// takes two fields. False when the fields are not a row of these columns.
bool Spice3Tables::layout(std::span<const std::string_view> fields, int kind,
                          std::vector<Column>& columns) const {
  const bool ac = kind == ANALYSIS_AC || kind == ANALYSIS_NOISE || kind == ANALYSIS_DISTO;
  for (Column& c : columns) c.complex = false;
  size_t f = 1, c = 0;  // past the index
  for (; c < columns.size() && f < fields.size(); ++c) {
    columns[c].complex = ac && c > 0 && fields[f].ends_with(',') && f + 1 < fields.size();
    f += columns[c].complex ? 2 : 1;
  }
  if (c == columns.size() && f == fields.size()) return true;
  // Without commas, the one field more than there are names is the imaginary
  // part of the last value.
  const bool any_complex =
      std::any_of(columns.begin(), columns.end(), [](const Column& c) { return c.complex; });
  if (ac && !any_complex && columns.size() > 1 && fields.size() == columns.size() + 2) {
    columns.back().complex = true;
    return true;
  }
  return false;
}

// After the rows stopped: a new page of the same table (blank or form feed
// lines, the same header, a line of dashes) lets them go on.
bool Spice3Tables::continues(std::string_view header) {
  std::string_view line;
  while (lines_.next(line))
    if (!trim_leading(line).empty()) break;
  if (trim_trailing(trim_leading(line)) != header) return false;
  return lines_.next(line) && dash_line(line);
}

bool Spice3Tables::read_table(int kind, std::string_view header, const char* section) {
  // Column 0 is the index, never registered.
  std::array<std::string_view, kMaxColumns> names;
  const size_t n = std::min(split_fields(header, names), kMaxColumns);
  if (n < 3) return true;
  kind = kind_by_columns(kind, {names.data() + 1, n - 1});
  std::vector<Column> columns;
  for (size_t c = 1; c < n; ++c) {
    const int q = quantity_code(kind, names[c]);
    columns.push_back({std::string(names[c]), q, q == kDigitalQuantity && c > 1});
  }
  t_.loading(section);
  t_.clear();
  std::array<std::string_view, 2 * kMaxColumns> f;
  std::vector<double> row;
  size_t expected = 0;
  std::string_view line;
  for (;;) {
    const size_t at = lines_.position();
    if (!lines_.next(line)) break;
    const size_t count = split_fields(line, f);
    if (t_.rows() == 0) {
      if (boundary(line)) {
        lines_.seek(at);
        break;
      }
      if (count < 2 || count > f.size() || !layout({f.data(), count}, kind, columns)) continue;
      expected = count;
      size_t width = 0;
      for (const Column& c : columns) width += c.complex ? 2 : 1;
      if (!t_.begin(width, false)) return false;
    }
    bool good = count == expected;
    double index = 0;
    good = good && number(f[0], index);
    row.clear();
    for (size_t c = 0, i = 1; c < columns.size() && good; ++c) {
      for (int part = 0; part < (columns[c].complex ? 2 : 1) && good; ++part, ++i) {
        double v = 0;
        if (columns[c].digital)
          v = digital_level(f[i][0]);
        else
          good = number(f[i], v);
        row.push_back(v);
      }
    }
    if (good) {
      if (!t_.add(row)) return false;
      continue;
    }
    if (t_.rows() == 0) continue;
    lines_.seek(at);
    if (continues(header)) continue;
    lines_.seek(at);
    break;
  }
  return t_.finish(kind, columns);
}

// ngspice's own layout: "Fourier analysis for v(2):", a line with "THD: n %",
// the header "Harmonic Frequency Magnitude Phase Norm. Mag Norm. Phase", a line
// of dashes and the rows.
bool Spice3Tables::read_fourier(std::string_view heading) {
  std::string_view variable = heading.substr(std::strlen(kNgspiceFourier));
  variable = trim_trailing(trim_leading(variable.substr(0, variable.find(':'))));
  const std::string name(variable);
  const size_t after_heading = lines_.position();
  std::string thd;
  std::string_view line;
  bool header = false;
  for (int i = 0; i < kFourierHeadLines && !header && lines_.next(line); ++i) {
    const size_t at = line.find("THD:");
    if (at != std::string_view::npos) thd = value_after(line, at + 4);
    header = istarts_with(trim_leading(line), "Harmonic");
  }
  if (!header) {
    lines_.seek(after_heading);
    return true;
  }
  lines_.next(line);
  t_.loading(kSections[kFourierSection].text);
  if (!read_fourier_rows(lines_, t_, 2, 3)) return false;
  if (t_.rows() > 0 && !thd.empty()) t_.facts().thd = "THD=" + thd + "%";
  return register_fourier(t_, name);
}

}  // namespace

int print_read_tables(DataStore& store, std::string_view listing, ListingFacts& facts) {
  store.progress().show("Searching .PRINT data...");
  store.reset_current_label(DATA_CLASS_TEXT);
  Tables t(store, facts);
  OwnTables(listing, t).run();
  store.reset_current_label(DATA_CLASS_TEXT);
  return t.registered();
}

int print3_read_tables(DataStore& store, std::string_view listing, ListingFacts& facts) {
  store.progress().show("Searching .PRINT data...");
  store.reset_current_label(DATA_CLASS_TEXT);
  Tables t(store, facts);
  Spice3Tables(listing, t).run();
  return t.registered();
}

}  // namespace zephyrim
