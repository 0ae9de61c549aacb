#include "viewer/data/text_data_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "common/eng_number.h"
#include "common/file_io.h"
#include "common/notify.h"
#include "common/text_format.h"
#include "viewer/data/data_store.h"
#include "viewer/data/record_columns.h"

namespace zephyrim {

// Work-file rows are this machine's doubles and are read back as little-endian;
// eight digits of a number are taken as one little-endian word.
static_assert(std::endian::native == std::endian::little);

namespace {

constexpr size_t kMaxColumns = 33;
constexpr size_t kTitleMax = 126;       // info lines 1 and 4
constexpr size_t kShortHeaderMax = 60;  // info lines 2 and 3
constexpr size_t kFlushBytes = size_t{1} << 20;
constexpr int kNameWidth = 20;  // names are padded to at least this
constexpr int kDigitalQuantity = 9;
// Rows are written into the work file a batch at a time, taken at its end:
// batches as big as the rows so far, from the first to the last of these.
constexpr uint64_t kFirstBatchRows = 1024;
constexpr uint64_t kBatchRows = uint64_t{1} << 16;
constexpr size_t kBufferBytes = size_t{1} << 20;
// parse_eng converts at most this many characters of a number.
constexpr size_t kMaxNumberChars = 64;

// The lines of a file, ending in LF or CR LF, read a buffer at a time so that
// a table of any size costs the buffer and not its size in memory. A line
// longer than the buffer is cut there and its rest passed over.
class Lines {
 public:
  Lines() : buffer_(std::make_unique<char[]>(kBufferBytes)) {}
  ~Lines() {
    if (fd_ >= 0) ::close(fd_);
  }
  Lines(const Lines&) = delete;
  Lines& operator=(const Lines&) = delete;
  // False when the path is no regular file that can be read.
  bool open(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    return fd_ >= 0 && fstat(fd_, &st) == 0 && S_ISREG(st.st_mode);
  }
  // The next line, valid until the next call; false at the end of the file.
  bool next(std::string_view& line);

 private:
  bool fill();

  int fd_ = -1;
  std::unique_ptr<char[]> buffer_;
  size_t pos_ = 0;     // of the next line
  size_t filled_ = 0;  // bytes in the buffer
  bool end_ = false;   // of the file, or a read error
  bool cut_ = false;   // the last line was cut: its rest is still to pass over
};

bool Lines::next(std::string_view& line) {
  for (;;) {
    const char* begin = buffer_.get() + pos_;
    const size_t left = filled_ - pos_;
    const auto* lf = static_cast<const char*>(std::memchr(begin, '\n', left));
    if (cut_) {
      pos_ = lf ? pos_ + static_cast<size_t>(lf - begin) + 1 : filled_;
      cut_ = lf == nullptr;
      if (cut_ && !fill()) return false;
      continue;
    }
    if (lf || end_ || left == kBufferBytes) {
      if (!lf && left == 0) return false;
      const size_t n = lf ? static_cast<size_t>(lf - begin) : left;
      line = {begin, n};
      pos_ += lf ? n + 1 : n;
      cut_ = !lf && !end_;
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      return true;
    }
    fill();
  }
}

// Keeps the bytes not yet taken and reads behind them; false when nothing
// more came.
bool Lines::fill() {
  if (end_) return false;
  std::memmove(buffer_.get(), buffer_.get() + pos_, filled_ - pos_);
  filled_ -= pos_;
  pos_ = 0;
  for (;;) {
    const ssize_t n = ::read(fd_, buffer_.get() + filled_, kBufferBytes - filled_);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      end_ = true;
      return false;
    }
    filled_ += static_cast<size_t>(n);
    return true;
  }
}

// Field separators: blanks everywhere, commas in rows.
enum : uint8_t { kBlank = 1, kComma = 2 };
constexpr std::array<uint8_t, 256> kSeparator = [] {
  std::array<uint8_t, 256> t{};
  t[' '] = t['\t'] = t['\r'] = kBlank;
  t[','] = kComma;
  return t;
}();

bool is_blank(char c) {
  return kSeparator[static_cast<uint8_t>(c)] == kBlank;
}

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

bool blank_line(std::string_view line) {
  return std::all_of(line.begin(), line.end(), is_blank);
}

// Splits at runs of the separators (kBlank, or kBlank | kComma); the fields
// beyond kMaxColumns are not kept.
size_t split(std::string_view text, uint8_t separators, std::array<std::string_view, kMaxColumns>& out) {
  size_t n = 0, i = 0;
  auto separator = [&](char c) { return (kSeparator[static_cast<uint8_t>(c)] & separators) != 0; };
  while (i < text.size() && n < kMaxColumns) {
    while (i < text.size() && separator(text[i])) ++i;
    const size_t start = i;
    while (i < text.size() && !separator(text[i])) ++i;
    if (i > start) out[n++] = text.substr(start, i - start);
  }
  return n;
}

// The value of eight ASCII digits, or -1 when they are not all digits.
int64_t eight_digits(const char* p) {
  uint64_t v = 0;
  std::memcpy(&v, p, 8);
  // Every high nibble 3, and no low one above 9 (which adding 6 would carry).
  if (((v & 0xF0F0F0F0F0F0F0F0u) | (((v + 0x0606060606060606u) & 0xF0F0F0F0F0F0F0F0u) >> 4)) !=
      0x3333333333333333u)
    return -1;
  v = (v & 0x0F0F0F0F0F0F0F0Fu) * 2561 >> 8;
  v = (v & 0x00FF00FF00FF00FFu) * 6553601 >> 16;
  return static_cast<int64_t>((v & 0x0000FFFF0000FFFFu) * 42949672960001u >> 32);
}

constexpr std::array<double, 23> kExactPowers = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                 1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                                 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// A plain decimal number that ends a field at p ("-1.234567890E-03"), the way
// tables are written: its digits make an integer of at most 53 bits and its
// power of ten is exact, so one division or multiplication rounds it as
// strtod does. Returns the end of the field, or null for any other field,
// which then takes the general way.
const char* quick_number(const char* p, const char* end, double& value) {
  const bool negative = p < end && *p == '-';
  p += negative;
  uint64_t m = 0;
  int digits = 0, scale = 0;
  for (; p < end && is_digit(*p); ++p, ++digits) m = m * 10 + static_cast<uint64_t>(*p - '0');
  if (p < end && *p == '.') {
    ++p;
    const char* first = p;
    int64_t eight = 0;
    while (end - p >= 8 && digits <= 11 && (eight = eight_digits(p)) >= 0) {
      m = m * 100000000 + static_cast<uint64_t>(eight);
      p += 8;
      digits += 8;
    }
    for (; p < end && is_digit(*p) && digits < 19; ++p, ++digits)
      m = m * 10 + static_cast<uint64_t>(*p - '0');
    scale = static_cast<int>(p - first);
  }
  if (digits == 0 || digits > 19 || (p < end && is_digit(*p))) return nullptr;
  if (p < end && (*p == 'E' || *p == 'e')) {
    ++p;
    const bool down = p < end && *p == '-';
    p += (p < end && (*p == '-' || *p == '+'));
    int e = 0, e_digits = 0;
    for (; p < end && is_digit(*p) && e_digits < 4; ++p, ++e_digits) e = e * 10 + (*p - '0');
    if (e_digits == 0) return nullptr;
    scale += down ? e : -e;
  }
  if (p < end && kSeparator[static_cast<uint8_t>(*p)] == 0) return nullptr;
  if (m > (uint64_t{1} << 53) || scale < -22 || scale > 22) return nullptr;
  const auto x = static_cast<double>(m);
  value = scale > 0 ? x / kExactPowers[static_cast<size_t>(scale)]
                    : x * kExactPowers[static_cast<size_t>(-scale)];
  if (negative) value = -value;
  return p;
}

// A field's engineering number (parse_eng's rules): by from_chars where the
// field is a plain decimal number, as parse_eng's own conversion would read
// it; suffixes and the rest by parse_eng. False for no number.
bool field_number(std::string_view field, double& value, std::string& scratch) {
  const char lead = field.size() > 1 && field[0] == '-' ? field[1] : field[0];
  if (field.size() <= kMaxNumberChars && (is_digit(lead) || lead == '.')) {
    const auto r = std::from_chars(field.data(), field.data() + field.size(), value);
    if (r.ec == std::errc() && r.ptr == field.data() + field.size()) return true;
  }
  scratch.assign(field);
  return parse_eng(scratch, value) >= 0;
}

// Reads the row's first columns into out; false when it has fewer fields or a
// field that is no number.
bool parse_row(std::string_view line, std::span<const int> quantities, double* out, std::string& scratch) {
  const char* p = line.data();
  const char* const end = p + line.size();
  for (const int quantity : quantities) {
    while (p < end && kSeparator[static_cast<uint8_t>(*p)]) ++p;
    if (p == end) return false;
    if (quantity != kDigitalQuantity) {
      if (const char* q = quick_number(p, end, *out)) {
        p = q;
        ++out;
        continue;
      }
    }
    const char* start = p;
    while (p < end && !kSeparator[static_cast<uint8_t>(*p)]) ++p;
    if (quantity == kDigitalQuantity)
      *out = digital_level(*start);
    else if (!field_number({start, static_cast<size_t>(p - start)}, *out, scratch))
      return false;
    ++out;
  }
  return true;
}

class TextReader {
 public:
  TextReader(DataStore& store, bool header_wanted) : store_(store), header_wanted_(header_wanted) {}
  int run(Lines& lines);

 private:
  bool info_lines(Lines& lines);
  bool read_block(Lines& lines, std::string_view header);
  bool register_block(std::span<const std::string> names, int kind, std::span<const int> quantities,
                      int64_t points);
  bool fail_work() {
    store_.notify().error("Cannot save waveform data to temporary file");
    return false;
  }

  DataStore& store_;
  bool header_wanted_;
  ScratchFile* work_ = nullptr;
  int registered_ = 0;
};

int TextReader::run(Lines& lines) {
  work_ = store_.create_work_file(0);
  if (!work_) return 0;
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

// Reads the rows under the header line up to the first that fails, straight
// into the work file; false when the reading must end.
bool TextReader::read_block(Lines& lines, std::string_view header) {
  std::array<std::string_view, kMaxColumns> views;
  const size_t columns = split(header, kBlank, views);
  // The header line is gone when the rows are read.
  const std::vector<std::string> names(views.begin(), views.begin() + static_cast<long>(columns));
  const int kind = x_name_kind(names[0]);
  std::array<int, kMaxColumns> quantities{};
  for (size_t c = 0; c < columns; ++c) quantities[c] = quantity_code(kind, names[c]);
  const std::span<const int> row_quantities(quantities.data(), columns);
  work_->rewind();
  int64_t points = 0;
  std::span<double> batch;
  size_t used = 0;  // doubles of the batch written
  std::string scratch;
  std::string_view line;
  while (lines.next(line)) {
    if (batch.size() - used < columns) {
      const uint64_t rows = std::clamp(static_cast<uint64_t>(points), kFirstBatchRows, kBatchRows);
      const int64_t at = work_->reserve(rows * columns);
      if (at < 0) return fail_work();
      batch = work_->room(at, rows * columns);
      used = 0;
    }
    if (!parse_row(line, row_quantities, batch.data() + used, scratch)) break;
    used += columns;
    ++points;
  }
  work_->rewind_to(static_cast<uint64_t>(points) * columns * sizeof(double));
  if (points == 0) return true;
  return register_block(names, kind, row_quantities, points);
}

bool TextReader::register_block(std::span<const std::string> names, int kind, std::span<const int> quantities,
                                int64_t points) {
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
  if (!copy_columns({reinterpret_cast<const uint8_t*>(all.data()), all.size_bytes()}, copies))
    return fail_work();
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
  Lines lines;
  if (!lines.open(path)) {
    store.notify().error("Cannot open text data file " + path);
    return 0;
  }
  TextReader reader(store, header_wanted);
  const int registered = reader.run(lines);
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
