#include "viewer/data/text_data_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <vector>

#include "common/eng_number.h"
#include "common/file_io.h"
#include "common/mapped_file.h"
#include "common/notify.h"
#include "common/text_format.h"
#include "viewer/data/data_store.h"
#include "viewer/data/record_columns.h"

namespace zephyrim {

// Work-file rows are this machine's doubles and are read back as little-endian.
static_assert(std::endian::native == std::endian::little);

namespace {

constexpr size_t kMaxColumns = 33;
constexpr size_t kTitleMax = 126;       // info lines 1 and 4
constexpr size_t kShortHeaderMax = 60;  // info lines 2 and 3
constexpr size_t kFlushDoubles = size_t{1} << 20;
constexpr size_t kFlushBytes = size_t{1} << 20;
constexpr int kNameWidth = 20;  // names are padded to at least this
constexpr int kDigitalQuantity = 9;

// The lines of the mapped file, ending in LF or CR LF, as views of its bytes.
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

bool blank_line(std::string_view line) {
  return std::all_of(line.begin(), line.end(), is_blank);
}

// Splits at runs of the separators; the fields beyond kMaxColumns are not kept.
size_t split(std::string_view text, std::string_view separators,
             std::array<std::string_view, kMaxColumns>& out) {
  size_t n = 0, i = 0;
  auto separator = [&](char c) { return is_blank(c) || separators.find(c) != std::string_view::npos; };
  while (i < text.size() && n < kMaxColumns) {
    while (i < text.size() && separator(text[i])) ++i;
    const size_t start = i;
    while (i < text.size() && !separator(text[i])) ++i;
    if (i > start) out[n++] = text.substr(start, i - start);
  }
  return n;
}

// Digital levels of a D(...) column, by the state letter.
double digital_level(char c) {
  switch (c) {
    case '0':
      return 0.01;
    case '1':
      return 5.01;
    case 'F':
      return 2.01;
    case 'R':
      return 3.01;
    case 'Z':
      return 6.01;
    default:
      return 1.01;
  }
}

class TextReader {
 public:
  TextReader(DataStore& store, bool header_wanted) : store_(store), header_wanted_(header_wanted) {}
  int run(std::span<const uint8_t> bytes);

 private:
  bool info_lines(Lines& lines);
  bool read_block(Lines& lines, std::string_view header);
  bool register_block(std::span<const std::string_view> names, int kind, std::span<const int> quantities,
                      int64_t points);

  DataStore& store_;
  bool header_wanted_;
  ScratchFile* work_ = nullptr;
  std::vector<double> rows_;  // not yet in the work file
  int registered_ = 0;
};

int TextReader::run(std::span<const uint8_t> bytes) {
  work_ = store_.create_work_file(0);
  if (!work_) return 0;
  Lines lines(bytes);
  if (info_lines(lines)) {
    std::string_view line;
    while (lines.next(line))
      if (!blank_line(line) && !read_block(lines, line)) break;
  }
  store_.delete_work_file(0);
  return registered_;
}

// The info lines, up to the first empty line; false when there is none, as a
// file without one holds no tables.
bool TextReader::info_lines(Lines& lines) {
  std::array<std::string, 4> info;
  size_t n = 0;
  std::string_view line;
  for (;;) {
    if (!lines.next(line)) return false;
    if (blank_line(line)) break;
    if (n < info.size())
      info[n] = std::string(line.substr(0, n == 1 || n == 2 ? kShortHeaderMax : kTitleMax));
    ++n;
  }
  if (header_wanted_) {
    store_.header.title = info[0];
    store_.header.date = info[1];
    store_.header.time = info[2];
    store_.header.command = info[3];
  }
  return true;
}

// Reads the rows under the header line up to the first that fails; false when
// the reading must end.
bool TextReader::read_block(Lines& lines, std::string_view header) {
  std::array<std::string_view, kMaxColumns> names, fields;
  const size_t columns = split(header, {}, names);
  const int kind = x_name_kind(names[0]);
  std::array<int, kMaxColumns> quantities{};
  for (size_t c = 0; c < columns; ++c) quantities[c] = quantity_code(kind, names[c]);
  rows_.clear();
  work_->rewind();
  int64_t points = 0;
  std::string number;
  std::string_view line;
  while (lines.next(line)) {
    if (split(line, ",", fields) < columns) break;
    const size_t start = rows_.size();
    bool good = true;
    for (size_t c = 0; c < columns && good; ++c) {
      double v = 0;
      if (quantities[c] == kDigitalQuantity) {
        v = digital_level(fields[c][0]);
      } else {
        number.assign(fields[c]);
        good = parse_eng(number, v) >= 0;
      }
      rows_.push_back(v);
    }
    if (!good) {
      rows_.resize(start);
      break;
    }
    ++points;
    if (rows_.size() >= kFlushDoubles) {
      if (work_->append(rows_) < 0) {
        store_.notify().error("Cannot save waveform data to temporary file");
        return false;
      }
      rows_.clear();
    }
  }
  if (points == 0) return true;
  return register_block({names.data(), columns}, kind, {quantities.data(), columns}, points);
}

bool TextReader::register_block(std::span<const std::string_view> names, int kind,
                                std::span<const int> quantities, int64_t points) {
  if (!rows_.empty() && work_->append(rows_) < 0) {
    store_.notify().error("Cannot save waveform data to temporary file");
    return false;
  }
  rows_.clear();
  const size_t width = names.size();
  const auto all = work_->view(0, static_cast<uint64_t>(points) * width);
  if (all.empty()) return false;
  std::vector<ColumnCopy> copies;
  const DataVector* x = nullptr;
  for (size_t c = 0; c < width; ++c) {
    DataVector* d = store_.add_vector_reserved({.name = names[c],
                                                .cls = DATA_CLASS_TEXT,
                                                .kind = kind,
                                                .quantity = quantities[c],
                                                .x = x,
                                                .points = points});
    if (!d) return false;
    ++registered_;
    if (c == 0) x = d;
    copies.push_back({{.offset = static_cast<int64_t>(c * sizeof(double)),
                       .stride = static_cast<int64_t>(width * sizeof(double))},
                      store_.room(*d)});
  }
  if (!copy_columns({reinterpret_cast<const uint8_t*>(all.data()), all.size_bytes()}, copies)) {
    store_.notify().error("Cannot save waveform data to temporary file");
    return false;
  }
  return true;
}

// Where the export goes: a new file that replaces the old one only when it is
// complete, or the end of an existing file.
class ExportFile {
 public:
  ~ExportFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool open(const std::string& path, bool append) {
    append_ = append;
    if (!append) return atomic_.open(path);
    fd_ = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    return fd_ >= 0;
  }
  void write(std::string_view bytes) {
    if (!append_) {
      atomic_.write(bytes.data(), bytes.size());
      return;
    }
    while (!bytes.empty() && ok_) {
      const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
      if (n < 0 && errno == EINTR) continue;
      ok_ = n > 0;
      if (ok_) bytes.remove_prefix(static_cast<size_t>(n));
    }
  }
  bool finish() {
    if (!append_) return atomic_.commit();
    const bool closed = ::close(fd_) == 0;
    fd_ = -1;
    return ok_ && closed;
  }

 private:
  bool append_ = false;
  AtomicFileWriter atomic_;
  int fd_ = -1;
  bool ok_ = true;
};

void append_row(std::string& out, double x, double y, int x_width, int y_width) {
  const double m = std::fabs(x);
  out += strprintf(m > 1000 || m < 0.001 ? "%-*.12E  " : "%-*.12G  ", x_width, x);
  out += strprintf("%-*.12G\n", y_width, y);
}

void append_names(std::string& out, const char* format, const TextTrace& t, int x_width, int y_width) {
  out += strprintf(format, x_width, static_cast<int>(t.x_name.size()), t.x_name.data(), y_width,
                   static_cast<int>(t.y_name.size()), t.y_name.data());
}

// The info lines: the title, then each further text as long as the one before
// it was not empty.
void append_info(std::string& out, const TextHeaderTexts& headers) {
  out += headers.title + "\n";
  const std::string* before = &headers.title;
  for (const std::string& text : headers.texts) {
    if (before->empty()) break;
    out += text + "\n";
    before = &text;
  }
}

}  // namespace

int text_read_file(DataStore& store, const std::string& path, bool header_wanted) {
  MappedFile file;
  if (!file.open(path)) {
    store.notify().error("Cannot open text data file " + path);
    return 0;
  }
  TextReader reader(store, header_wanted);
  const int registered = reader.run(file.bytes());
  if (registered == 0) store.notify().error("No data found in text file:\n" + path);
  return registered;
}

int text_write_file(Notify& notify, const std::string& path, TextForm form, bool append,
                    const TextHeaderTexts& headers, std::span<const TextTrace> traces) {
  if (path.empty() || traces.empty()) return 0;
  ExportFile file;
  if (!file.open(path, append)) {
    notify.error("Cannot open save as file " + path);
    return 0;
  }
  std::string out;
  if (form == TEXT_WITH_HEADERS) append_info(out, headers);
  if (form == TEXT_SPICE_INCLUDE) out += "* " + headers.title;
  for (const TextTrace& t : traces) {
    const int x_width = std::max(kNameWidth, static_cast<int>(std::min<size_t>(t.x_name.size(), 1000)));
    const int y_width = std::max(kNameWidth, static_cast<int>(std::min<size_t>(t.y_name.size(), 1000)));
    if (form == TEXT_WITH_HEADERS) append_names(out, "\n%-*.*s  %-*.*s\n", t, x_width, y_width);
    if (form == TEXT_DATA_ONLY) out += "\n";
    if (form == TEXT_SPICE_INCLUDE) append_names(out, "\n* %-*.*s  %-*.*s\n", t, x_width, y_width);
    const size_t rows = std::min(t.x.size(), t.y.size());
    for (size_t i = 0; i < rows; ++i) {
      if (form == TEXT_SPICE_INCLUDE) out += "+ ";
      append_row(out, t.x[i], t.y[i], x_width, y_width);
      if (out.size() >= kFlushBytes) {
        file.write(out);
        out.clear();
      }
    }
  }
  out += form == TEXT_SPICE_INCLUDE ? "\n\n" : "\n";
  file.write(out);
  if (!file.finish()) {
    notify.error("Cannot open save as file " + path);
    return 0;
  }
  return static_cast<int>(traces.size());
}

}  // namespace zephyrim
