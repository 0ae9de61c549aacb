#include "viewer/data/scratch_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>

#include "common/text_format.h"

namespace zephyrim {

namespace {

// Mappings reserve address space well beyond the file, so that a growing file
// needs a new mapping only rarely; pages past the end are never touched.
constexpr uint64_t kMinMapping = uint64_t{1} << 34;

// Numbered names tried before giving up.
constexpr int kNumberedTries = 1000;

bool write_all(int fd, const uint8_t* p, uint64_t n, uint64_t at) {
  while (n > 0) {
    const ssize_t w = pwrite(fd, p, n > (1u << 30) ? (1u << 30) : n, static_cast<off_t>(at));
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    n -= static_cast<uint64_t>(w);
    at += static_cast<uint64_t>(w);
  }
  return true;
}

}  // namespace

ScratchFile::~ScratchFile() {
  for (auto& [p, n] : maps_) munmap(p, n);
  if (fd_ >= 0) close(fd_);
}

bool ScratchFile::create_unique(const std::string& folder) {
  if (folder.empty() || fd_ >= 0) return false;
  std::string name = folder;
  if (name.back() != '/') name += '/';
  name += "TRCXXXXXX";
  const int fd = mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return false;
  fd_ = fd;
  path_ = name;
  return true;
}

bool ScratchFile::create_unnamed(const std::string& folder) {
  if (folder.empty() || fd_ >= 0) return false;
  const int fd = open(folder.c_str(), O_RDWR | O_TMPFILE | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  fd_ = fd;
  path_.clear();
  return true;
}

int ScratchFile::create_numbered(const std::string& folder, int number) {
  if (folder.empty() || fd_ >= 0 || number < 0) return -1;
  const std::string base = folder.back() == '/' ? folder : folder + "/";
  // A shared folder may hold anybody's files and links under these names:
  // only a file made here and now is used.
  for (int n = number; n < number + kNumberedTries && n >= 0; ++n) {
    const std::string path = base + strprintf("TRC$DATA#%4d.TMP", n);
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) {
      fd_ = fd;
      path_ = path;
      return n;
    }
    if (errno != EEXIST && errno != ELOOP) return -1;
  }
  return -1;
}

void ScratchFile::remove() {
  for (auto& [p, n] : maps_) munmap(p, n);
  maps_.clear();
  map_ = nullptr;
  map_length_ = 0;
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  if (!path_.empty()) unlink(path_.c_str());
  path_.clear();
  end_ = file_size_ = 0;
}

int64_t ScratchFile::append(std::span<const double> values) {
  const int64_t at = reserve(values.size());
  if (at < 0) return -1;
  if (!write_at(at, values)) {
    end_ = static_cast<uint64_t>(at);
    return -1;
  }
  return at;
}

int64_t ScratchFile::reserve(uint64_t count) {
  if (fd_ < 0 || count > (uint64_t{1} << 60) / sizeof(double)) return -1;
  const uint64_t at = end_;
  const uint64_t new_end = end_ + count * sizeof(double);
  if (new_end > file_size_) {
    // posix_fallocate makes a full disk fail here rather than at a page fault.
    if (posix_fallocate(fd_, static_cast<off_t>(file_size_), static_cast<off_t>(new_end - file_size_)) != 0 &&
        ftruncate(fd_, static_cast<off_t>(new_end)) != 0)
      return -1;
    file_size_ = new_end;
  }
  end_ = new_end;
  return static_cast<int64_t>(at);
}

bool ScratchFile::write_at(int64_t position, std::span<const double> values) {
  if (fd_ < 0 || position < 0) return false;
  const uint64_t bytes = values.size() * sizeof(double);
  if (static_cast<uint64_t>(position) + bytes > end_) return false;
  return write_all(fd_, reinterpret_cast<const uint8_t*>(values.data()), bytes,
                   static_cast<uint64_t>(position));
}

std::span<const double> ScratchFile::view(int64_t position, uint64_t count) {
  if (fd_ < 0 || position < 0 || position % sizeof(double) != 0) return {};
  if (count > end_ / sizeof(double)) return {};
  const uint64_t last = static_cast<uint64_t>(position) + count * sizeof(double);
  if (last > end_) return {};
  if (count == 0) return {};
  if (last > map_length_ && !map_to(last)) return {};
  return {reinterpret_cast<const double*>(map_ + position), count};
}

bool ScratchFile::map_to(uint64_t bytes) {
  uint64_t length = kMinMapping;
  while (length < bytes) length *= 2;
  void* p = mmap(nullptr, length, PROT_READ, MAP_SHARED, fd_, 0);
  if (p == MAP_FAILED) return false;
  maps_.emplace_back(p, length);
  map_ = static_cast<const uint8_t*>(p);
  map_length_ = length;
  return true;
}

}  // namespace zephyrim
