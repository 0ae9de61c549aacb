#include "viewer/data/csdf_file.h"

#include <bit>
#include <charconv>
#include <cstdlib>
#include <span>
#include <string_view>
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

constexpr int kMaxNodes = 100000;  // a larger NODES counts as none
constexpr size_t kKeyMax = 63;
constexpr size_t kValueMax = 255;
constexpr size_t kTitleMax = 127;
constexpr size_t kShortMax = 15;  // source, date and time
// Rows wait in memory until this many doubles, then go to the work file.
constexpr size_t kFlushDoubles = size_t{1} << 20;

constexpr const char* kCannotCreateWork = "Cannot create temporary CSDF data file";

// The lines of the mapped file, ending in LF or CR LF, as views of its bytes.
// They are not cut: a long line of names or values reads whole.
class Lines {
 public:
  explicit Lines(std::span<const uint8_t> bytes)
      : text_(reinterpret_cast<const char*>(bytes.data()), bytes.size()) {}
  bool next(std::string_view& line) {
    if (pos_ >= text_.size()) return false;
    size_t end = text_.find('\n', pos_);
    if (end == std::string_view::npos) end = text_.size();
    line = text_.substr(pos_, end - pos_);
    pos_ = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return true;
  }

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

// Header and node fields: split at blanks, where a part in single quotes keeps
// its blanks and loses its quotes (KEY='a b' is the field "KEY=a b").
std::vector<std::string> quoted_fields(std::string_view text) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && is_blank(text[i])) ++i;
    if (i == text.size()) break;
    std::string field;
    bool quoted = false;
    for (; i < text.size() && (quoted || !is_blank(text[i])); ++i) {
      if (text[i] == '\'')
        quoted = !quoted;
      else
        field += text[i];
    }
    out.push_back(std::move(field));
  }
  return out;
}

// A number in the C "%le" form at the start of the field; what follows it (the
// ":index" of a node value) is not looked at.
bool parse_real(std::string_view field, double& v) {
  if (field.size() > 1 && field[0] == '+' && field[1] != '-' && field[1] != '+') field.remove_prefix(1);
  const auto r = std::from_chars(field.data(), field.data() + field.size(), v);
  if (r.ec == std::errc()) return true;
  if (r.ec != std::errc::result_out_of_range) return false;
  // Beyond the doubles: infinity or zero, as the C library gives.
  const std::string copy(field.substr(0, 64));
  v = std::strtod(copy.c_str(), nullptr);
  return true;
}

std::string cut(std::string_view s, size_t n) {
  return std::string(s.substr(0, n));
}

int analysis_kind(const std::string& value) {
  const std::string u = ascii_upper(value);
  static const std::pair<const char*, AnalysisKind> kTable[] = {
      {"DC", ANALYSIS_DC},       {"TRANSIENT", ANALYSIS_TRAN},   {"AC", ANALYSIS_AC},
      {"NOISE", ANALYSIS_NOISE}, {"DISTORTION", ANALYSIS_DISTO}, {"POLE-ZERO", ANALYSIS_PZ}};
  for (const auto& [text, kind] : kTable)
    if (u.find(text) != std::string::npos) return kind;
  return ANALYSIS_OTHER;
}

// What the "#H" fields say about one block.
struct BlockHeader {
  std::string title;
  std::string source;
  std::string time;
  std::string date;
  std::string sweep_var;
  int kind = ANALYSIS_OTHER;
  int nodes = 0;
  bool complex = false;
};

class CsdfReader {
 public:
  CsdfReader(DataStore& store, bool header_wanted) : store_(store), header_wanted_(header_wanted) {}

  int run(std::span<const uint8_t> bytes);

 private:
  enum class Section { none, header, nodes, data };

  bool line(std::string_view text);
  void header_fields(std::string_view text);
  bool node_fields(std::string_view text);
  bool begin_point();
  bool data_fields(std::string_view text);
  bool data_field(std::string_view field);
  bool end_point(bool at_end);
  bool end_block(bool at_end);
  bool register_block();
  bool block_open() const { return in_point_ || points_ > 0; }
  size_t row_width() const { return 1 + static_cast<size_t>(header_.nodes) * (header_.complex ? 2 : 1); }
  bool fail(const char* message) {
    store_.notify().error(message);
    return false;
  }

  DataStore& store_;
  bool header_wanted_;
  Section section_ = Section::none;
  int registered_ = 0;
  bool first_block_ = true;
  double temperature_ = 27;
  int temperature_changes_ = 0;
  ScratchFile* work_ = nullptr;  // made at the first point of the file

  // The block being read.
  BlockHeader header_;
  std::vector<std::string> names_;
  bool names_started_ = false;
  bool skip_name_ = false;    // the field after a name ending in ';' is not a name
  std::vector<double> rows_;  // complete points not yet in the work file, and the one being read
  int64_t points_ = 0;        // complete points of the block

  // The point being read: its fields so far and where its row starts in rows_.
  bool in_point_ = false;
  int fields_ = 0;
  size_t row_start_ = 0;
};

int CsdfReader::run(std::span<const uint8_t> bytes) {
  store_.progress().show("Reading CSDF data file...");
  Lines lines(bytes);
  std::string_view text;
  bool ok = true;
  while (ok && lines.next(text)) ok = line(text);
  if (ok && block_open()) ok = end_block(true);
  if (!ok) store_.notify().error("Error: reading CSDF file");
  store_.delete_work_file(0);
  store_.progress().done();
  return registered_;
}

bool CsdfReader::line(std::string_view text) {
  const bool marked = text.size() >= 2 && text[0] == '#' &&
                      (text[1] == 'H' || text[1] == 'N' || text[1] == 'C' || text[1] == ';');
  if (!marked) {
    switch (section_) {
      case Section::header:
        header_fields(text);
        return true;
      case Section::nodes:
        return node_fields(text);
      case Section::data:
        return data_fields(text);
      case Section::none:
        return true;
    }
    return true;
  }
  const std::string_view rest = text.substr(2);
  switch (text[1]) {
    case 'H':
      // A header after data begins the next block even where "#;" is missing,
      // so that the shape of a block never changes under its points.
      if (block_open() && !end_block(false)) return false;
      section_ = Section::header;
      header_fields(rest);
      return true;
    case 'N':
      section_ = Section::nodes;
      if (!names_started_) {
        if (header_.nodes == 0) return fail("CSDF file data block contains no nodes");
        names_started_ = true;
      }
      return node_fields(rest);
    case 'C':
      section_ = Section::data;
      return begin_point() && data_fields(rest);
    default:
      section_ = Section::none;
      return end_block(false);
  }
}

void CsdfReader::header_fields(std::string_view text) {
  for (const std::string& field : quoted_fields(text)) {
    const size_t eq = field.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = cut(field, std::min(eq, kKeyMax));
    const std::string value = cut(std::string_view(field).substr(eq + 1), kValueMax);
    if (key == "TITLE") {
      header_.title = value;
    } else if (key == "SOURCE") {
      header_.source = value;
    } else if (key == "TIME") {
      header_.time = value;
    } else if (key == "DATE") {
      header_.date = value;
    } else if (key == "ANALYSIS") {
      header_.kind = analysis_kind(value);
    } else if (key == "SWEEPVAR") {
      header_.sweep_var = value;
    } else if (key == "COMPLEXVALUES") {
      header_.complex = iequals(value, "YES");
    } else if (key == "NODES") {
      int n = 0;
      const auto r = std::from_chars(value.data(), value.data() + value.size(), n);
      header_.nodes = r.ec == std::errc() && n >= 0 && n <= kMaxNodes ? n : 0;
    } else if (key == "TEMPERATURE" && header_wanted_) {
      const double t = std::strtod(value.c_str(), nullptr);
      if (t != temperature_) ++temperature_changes_;
      temperature_ = t;
      // A file run at several temperatures has no one temperature to show.
      if (temperature_changes_ > 1)
        store_.header.run_info.clear();
      else if (t != 27)
        store_.header.run_info = strprintf("Temp=%g", t);
    }
  }
}

bool CsdfReader::node_fields(std::string_view text) {
  for (const std::string& field : quoted_fields(text)) {
    if (skip_name_) {
      skip_name_ = false;
      continue;
    }
    if (names_.size() >= static_cast<size_t>(header_.nodes)) return fail("CSDF file too many node names");
    names_.push_back(cut(field.substr(0, field.find(';')), kVectorNameMax));
    skip_name_ = !field.empty() && field.back() == ';';
  }
  return true;
}

bool CsdfReader::begin_point() {
  if (!end_point(false)) return false;
  if (!work_) {
    work_ = store_.create_work_file(0);
    if (!work_) return fail(kCannotCreateWork);
  }
  in_point_ = true;
  fields_ = 0;
  row_start_ = rows_.size();
  return true;
}

// Data fields are separated by blanks or '/' (between the real and the
// imaginary part of a complex value).
bool CsdfReader::data_fields(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && (is_blank(text[i]) || text[i] == '/')) ++i;
    const size_t start = i;
    while (i < text.size() && !is_blank(text[i]) && text[i] != '/') ++i;
    if (i > start && !data_field(text.substr(start, i - start))) return false;
  }
  return true;
}

bool CsdfReader::data_field(std::string_view field) {
  double v = 0;
  if (fields_ == 0) {
    if (!parse_real(field, v)) return fail("CSDF file invalid real number field");
    rows_.push_back(v);
  } else if (fields_ == 1) {
    int count = -1;
    const auto r = std::from_chars(field.data(), field.data() + field.size(), count);
    if (r.ec != std::errc() || count != header_.nodes)
      return fail("CSDF file number of values and nodes mismatch");
  } else {
    if (rows_.size() - row_start_ >= row_width()) return fail("CSDF file too many values");
    if (!parse_real(field, v))
      return fail(header_.complex ? "CSDF file invalid complex number field"
                                  : "CSDF file invalid real number field");
    rows_.push_back(v);
  }
  ++fields_;
  return true;
}

// Completes the point being read. At the end of the file an unfinished point
// is dropped, so that the points of a run cut short still read.
bool CsdfReader::end_point(bool at_end) {
  if (!in_point_) return true;
  in_point_ = false;
  if (fields_ < 2 || rows_.size() - row_start_ != row_width()) {
    rows_.resize(row_start_);
    return at_end || fail("CSDF file number of values and nodes mismatch");
  }
  ++points_;
  if (rows_.size() >= kFlushDoubles) {
    if (work_->append(rows_) < 0) return fail(kCannotCreateWork);
    rows_.clear();
  }
  return true;
}

bool CsdfReader::end_block(bool at_end) {
  bool ok = end_point(at_end) && register_block();
  if (ok && first_block_ && header_wanted_) {
    store_.header.title = cut(header_.title, kTitleMax);
    store_.header.command = cut(header_.source, kShortMax);
    store_.header.date = cut(header_.date, kShortMax);
    store_.header.time = cut(header_.time, kShortMax);
  }
  first_block_ = false;
  header_ = BlockHeader{};
  names_.clear();
  names_started_ = false;
  skip_name_ = false;
  rows_.clear();
  points_ = 0;
  if (work_) work_->rewind();
  return ok;
}

bool CsdfReader::register_block() {
  if (points_ == 0) return true;
  // Every node needs its name before its vector can be registered.
  if (names_.size() != static_cast<size_t>(header_.nodes)) return false;
  if (!rows_.empty() && work_->append(rows_) < 0) return fail(kCannotCreateWork);
  rows_.clear();
  const size_t width = row_width();
  const auto all = work_->view(0, static_cast<uint64_t>(points_) * width);
  if (all.empty()) return fail(kCannotCreateWork);
  const int kind = header_.kind;
  std::string x_name = header_.sweep_var;
  // A block that does not name its sweep gets the name its analysis implies.
  if (x_name.empty()) x_name = kind == ANALYSIS_TRAN ? "TIME" : kind == ANALYSIS_AC ? "FREQ" : "SWEEP";
  const auto stride = static_cast<int64_t>(width * sizeof(double));
  std::vector<ColumnCopy> copies;
  copies.reserve(names_.size() + 1);
  const DataVector* x = nullptr;
  for (size_t v = 0; v <= names_.size(); ++v) {
    const std::string& name = v == 0 ? x_name : names_[v - 1];
    const int complex = v > 0 && header_.complex ? 1 : 0;
    DataVector* d = store_.add_vector_reserved({.name = name,
                                                .cls = DATA_CLASS_BINARY,
                                                .kind = kind,
                                                .quantity = quantity_code(kind, name),
                                                .complex = complex,
                                                .x = x,
                                                .points = points_});
    if (!d) return false;
    ++registered_;
    if (v == 0) x = d;
    const size_t column = v == 0 ? 0 : 1 + (v - 1) * (header_.complex ? 2 : 1);
    copies.push_back(
        {{.offset = static_cast<int64_t>(column * sizeof(double)), .stride = stride, .pairs = complex == 1},
         store_.room(*d)});
  }
  if (!copy_columns({reinterpret_cast<const uint8_t*>(all.data()), all.size_bytes()}, copies))
    return fail("Cannot save waveform data to temporary file");
  return true;
}

}  // namespace

int csdf_read_file(DataStore& store, const std::string& path, bool header_wanted) {
  MappedFile file;
  if (!file.open(path)) {
    store.notify().error("Cannot open CSDF data file:\n" + path);
    return 0;
  }
  CsdfReader reader(store, header_wanted);
  return reader.run(file.bytes());
}

}  // namespace zephyrim
