#include "viewer/data/record_columns.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zephyrim {

// Values are this machine's doubles and floats as the files hold them.
static_assert(std::endian::native == std::endian::little);

namespace {

// A window stays in the cache while every column takes its values from it;
// rows wider than that get a window of a few rows.
constexpr size_t kWindow = size_t{256} << 10;
constexpr size_t kMaxWindow = size_t{32} << 20;

// Copies of this many bytes or more are split in two halves of their points,
// copied side by side: a second core halves the time the fresh pages take to
// be cleared by the system and filled.
constexpr uint64_t kSplitBytes = uint64_t{16} << 20;

// Positions stay below this, far from overflowing when a value's size is added.
constexpr uint64_t kLimit = uint64_t{1} << 62;

// Where one column stands in the pass.
struct Cursor {
  const ColumnCopy* copy;
  uint64_t points;  // to copy
  uint64_t need;    // bytes of one point's value
  uint64_t next = 0;

  uint64_t byte(uint64_t point) const {
    return static_cast<uint64_t>(copy->column.offset) + point * static_cast<uint64_t>(copy->column.stride);
  }
};

template <typename T>
void copy_points(const uint8_t* s, size_t stride, size_t n, bool pairs, bool magnitude, double* o) {
  auto value = [magnitude](const uint8_t* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return magnitude ? std::fabs(static_cast<double>(v)) : static_cast<double>(v);
  };
  if (pairs) {
    for (size_t i = 0; i < n; ++i, s += stride) {
      *o++ = value(s);
      *o++ = value(s + sizeof(T));
    }
  } else if (sizeof(T) == sizeof(double) && !magnitude) {
    // The common case, kept free of any test in the loop.
    for (size_t i = 0; i < n; ++i, s += stride) std::memcpy(o + i, s, sizeof(double));
  } else {
    for (size_t i = 0; i < n; ++i, s += stride) o[i] = value(s);
  }
}

void copy_points(const RecordColumn& c, const uint8_t* s, size_t n, double* o) {
  const auto stride = static_cast<size_t>(c.stride);
  if (c.value_size == 4)
    copy_points<float>(s, stride, n, c.pairs, c.magnitude, o);
  else
    copy_points<double>(s, stride, n, c.pairs, c.magnitude, o);
}

// How many of a column's points from its next on lie whole in the window
// that ends at hi.
uint64_t available(const Cursor& k, uint64_t hi) {
  if (k.next >= k.points) return 0;
  const uint64_t at = k.byte(k.next);
  if (at + k.need > hi) return 0;
  return std::min((hi - at - k.need) / static_cast<uint64_t>(k.copy->column.stride) + 1, k.points - k.next);
}

bool plain(const RecordColumn& c) {
  return c.value_size == 8 && !c.pairs && !c.magnitude;
}

// Two columns of doubles side by side in every record, as the variables of a
// point-major file are, at the same point: they are copied together.
bool neighbours(const Cursor& a, const Cursor& b) {
  const RecordColumn &x = a.copy->column, &y = b.copy->column;
  return plain(x) && plain(y) && x.stride == y.stride && y.offset == x.offset + 8 && a.next == b.next;
}

// Two records at a time: each record's pair of values is one 16-byte load, and
// the two loads give each column two values to store at once.
void copy_neighbours(const uint8_t* s, size_t stride, size_t n, double* o0, double* o1) {
  size_t i = 0;
#if defined(__SSE2__)
  for (; i + 1 < n; i += 2, s += 2 * stride) {
    const __m128d a = _mm_loadu_pd(reinterpret_cast<const double*>(s));
    const __m128d b = _mm_loadu_pd(reinterpret_cast<const double*>(s + stride));
    _mm_storeu_pd(o0 + i, _mm_unpacklo_pd(a, b));
    _mm_storeu_pd(o1 + i, _mm_unpackhi_pd(a, b));
  }
#endif
  for (; i < n; ++i, s += stride) {
    std::memcpy(o0 + i, s, sizeof(double));
    std::memcpy(o1 + i, s + sizeof(double), sizeof(double));
  }
}

// The cursors of the columns with points to copy; false for a column that
// does not describe a layout (a stride shorter than its value, a negative
// position, a room that is not whole points).
bool cursors_for(std::span<const ColumnCopy> columns, std::vector<Cursor>& cursors, uint64_t& widest) {
  widest = 0;
  for (const auto& c : columns) {
    const RecordColumn& k = c.column;
    const uint64_t width = k.pairs ? 2 : 1;
    const uint64_t need = width * (k.value_size == 4 ? 4 : 8);
    if (k.offset < 0 || k.stride < static_cast<int64_t>(need) || c.out.size() % width != 0) return false;
    const uint64_t points = c.out.size() / width;
    // No position of a value may overflow.
    if (static_cast<uint64_t>(k.offset) > kLimit ||
        (points > 0 &&
         points - 1 > (kLimit - static_cast<uint64_t>(k.offset)) / static_cast<uint64_t>(k.stride)))
      return false;
    if (points > 0) cursors.push_back({&c, points, need});
    widest = std::max(widest, static_cast<uint64_t>(k.stride));
  }
  return true;
}

// The pass: window(position) gives the bytes from position on, as many as it
// has at hand; each column takes every value that lies whole in them.
template <typename Window>
bool copy_all(std::span<const ColumnCopy> columns, Window window) {
  std::vector<Cursor> cursors;
  uint64_t widest = 0;
  if (!cursors_for(columns, cursors, widest)) return false;
  for (;;) {
    uint64_t lo = std::numeric_limits<uint64_t>::max();
    for (const auto& k : cursors)
      if (k.next < k.points) lo = std::min(lo, k.byte(k.next));
    if (lo == std::numeric_limits<uint64_t>::max()) return true;
    const std::span<const uint8_t> w = window(lo, widest);
    const uint64_t hi = lo + w.size();
    bool moved = false;
    for (size_t i = 0; i < cursors.size(); ++i) {
      Cursor& k = cursors[i];
      uint64_t n = available(k, hi);
      if (n == 0) continue;
      moved = true;
      const RecordColumn& c = k.copy->column;
      const auto stride = static_cast<size_t>(c.stride);
      if (i + 1 < cursors.size() && neighbours(k, cursors[i + 1])) {
        Cursor& m = cursors[i + 1];
        const uint64_t both = std::min(n, available(m, hi));
        copy_neighbours(w.data() + (k.byte(k.next) - lo), stride, static_cast<size_t>(both),
                        k.copy->out.data() + k.next, m.copy->out.data() + m.next);
        k.next += both;
        m.next += both;
        n -= both;
      }
      if (n == 0) continue;
      const uint64_t width = c.pairs ? 2 : 1;
      copy_points(c, w.data() + (k.byte(k.next) - lo), static_cast<size_t>(n),
                  k.copy->out.data() + k.next * width);
      k.next += n;
    }
    if (!moved) return false;
  }
}

// The read buffer of this thread, grown when a file's rows need it and reused
// by every pass after.
std::span<uint8_t> read_buffer(size_t size) {
  thread_local std::unique_ptr<uint8_t[]> buffer;
  thread_local size_t capacity = 0;
  if (capacity < size) {
    buffer.reset(new uint8_t[size]);  // no zeroing: every byte used is read first
    capacity = size;
  }
  return {buffer.get(), size};
}

size_t window_size(uint64_t widest) {
  return static_cast<size_t>(std::clamp<uint64_t>(2 * widest + 16, kWindow, kMaxWindow));
}

bool copy_from_file(const SourceFile& file, std::span<const ColumnCopy> columns) {
  std::span<uint8_t> buffer;
  return copy_all(columns, [&](uint64_t position, uint64_t widest) {
    if (buffer.empty()) buffer = read_buffer(window_size(widest));
    return std::span<const uint8_t>(buffer.data(), file.read(position, buffer));
  });
}

}  // namespace

std::shared_ptr<SourceFile> SourceFile::open(const std::string& path, VectorLoader loader) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return nullptr;
  }
  posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  return std::shared_ptr<SourceFile>(new SourceFile(fd, path, static_cast<uint64_t>(st.st_size), loader));
}

SourceFile::~SourceFile() {
  close(fd_);
}

size_t SourceFile::read(uint64_t position, std::span<uint8_t> out) const {
  size_t done = 0;
  while (done < out.size()) {
    const ssize_t n = pread(fd_, out.data() + done, out.size() - done, static_cast<off_t>(position + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

std::span<const uint8_t> FileWindow::fill(uint64_t position, size_t want) {
  // Never more than the file holds from here, however much a caller wants.
  const uint64_t left = position < file_.size() ? file_.size() - position : 0;
  const size_t size = static_cast<size_t>(std::max<uint64_t>(kWindow, std::min<uint64_t>(want, left)));
  if (capacity_ < size) {
    buffer_.reset(new uint8_t[size]);
    capacity_ = size;
  }
  lo_ = position;
  filled_ = file_.read(position, {buffer_.get(), capacity_});
  return {buffer_.get(), filled_};
}

bool copy_columns(const SourceFile& file, std::span<const ColumnCopy> columns) {
  std::vector<Cursor> cursors;
  uint64_t widest = 0, bytes = 0;
  if (!cursors_for(columns, cursors, widest)) return false;
  for (const auto& c : columns) bytes += c.out.size_bytes();
  if (bytes < kSplitBytes || std::thread::hardware_concurrency() < 2) return copy_from_file(file, columns);
  // The first half of every column's points here, the second beside it.
  std::vector<ColumnCopy> first, second;
  for (const auto& c : columns) {
    const size_t width = c.column.pairs ? 2 : 1;
    const size_t half = c.out.size() / width / 2;
    ColumnCopy behind = c;
    behind.column.offset += static_cast<int64_t>(half) * c.column.stride;
    behind.out = c.out.subspan(half * width);
    first.push_back({c.column, c.out.first(half * width)});
    second.push_back(behind);
  }
  // Neither half may throw while the other runs.
  auto copy_half = [&file](std::span<const ColumnCopy> half) noexcept {
    try {
      return copy_from_file(file, half);
    } catch (const std::bad_alloc&) {
      return false;
    }
  };
  bool second_ok = false;
  std::thread helper;
  try {
    helper = std::thread([&] { second_ok = copy_half(second); });
  } catch (const std::system_error&) {
    // No thread to be had: one pass alone.
    return copy_from_file(file, columns);
  }
  const bool first_ok = copy_half(first);
  helper.join();
  return first_ok && second_ok;
}

bool copy_columns(std::span<const uint8_t> bytes, std::span<const ColumnCopy> columns) {
  return copy_all(columns, [&](uint64_t position, uint64_t widest) {
    if (position >= bytes.size()) return std::span<const uint8_t>();
    return bytes.subspan(static_cast<size_t>(position),
                         std::min<size_t>(window_size(widest), bytes.size() - static_cast<size_t>(position)));
  });
}

}  // namespace zephyrim
