#include "viewer/data/scratch_file.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/mman.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "common/text_format.h"

namespace zephyrim {

namespace {

// Mappings of a file reserve address space well beyond it, so that a growing
// file needs a new mapping only rarely; pages past the end are never touched.
constexpr uint64_t kMinMapping = uint64_t{1} << 34;

// Memory of the process is reserved once, as address space only; the first
// size that the system grants is kept.
constexpr uint64_t kMaxReservation = uint64_t{1} << 40;
constexpr uint64_t kMinReservation = uint64_t{1} << 30;

// Room is taken in steps of a huge page, so that every page can be one.
constexpr uint64_t kHugePage = uint64_t{2} << 20;

constexpr uint64_t kSmallStep = uint64_t{64} << 10;

// Numbered names tried before giving up.
constexpr int kNumberedTries = 1000;

uint64_t round_up(uint64_t n, uint64_t step) {
  return (n + step - 1) / step * step;
}

// The setting in brackets of a transparent huge page control file.
std::string thp_setting(const char* name) {
  std::ifstream in(std::string("/sys/kernel/mm/transparent_hugepage/") + name);
  std::string line;
  std::getline(in, line);
  const size_t open = line.find('['), close = line.find(']');
  if (open == std::string::npos || close == std::string::npos || close < open) return "";
  return line.substr(open + 1, close - open - 1);
}

bool shared_memory_has_huge_pages() {
  const std::string s = thp_setting("shmem_enabled");
  return s == "always" || s == "within_size" || s == "advise" || s == "force";
}

bool process_memory_has_huge_pages() {
  const std::string s = thp_setting("enabled");
  return s == "always" || s == "madvise";
}

// A file in shared memory: unnamed on /dev/shm when that is a tmpfs, so that a
// crash leaves nothing behind, or else an anonymous memory file.
int shared_memory_file() {
  int fd = open("/dev/shm", O_RDWR | O_TMPFILE | O_CLOEXEC, 0600);
  if (fd >= 0) {
    struct statfs fs {};
    if (fstatfs(fd, &fs) == 0 && fs.f_type == TMPFS_MAGIC) return fd;
    close(fd);
  }
  return memfd_create("zephyrim-scratch", MFD_CLOEXEC);
}

}  // namespace

ScratchFile::~ScratchFile() {
  remove();
}

bool ScratchFile::adopt_file(int fd, std::string path) {
  void* p = mmap(nullptr, kMinMapping, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (p == MAP_FAILED) {
    close(fd);
    if (!path.empty()) unlink(path.c_str());
    return false;
  }
  madvise(p, kMinMapping, MADV_HUGEPAGE);  // refused harmlessly where not offered
  backing_ = Backing::file;
  fd_ = fd;
  path_ = std::move(path);
  map_ = static_cast<uint8_t*>(p);
  map_length_ = kMinMapping;
  return true;
}

bool ScratchFile::create_in_memory() {
  if (is_open()) return false;
  // The file in shared memory unless only the process's own memory can have
  // huge pages; either one when the other cannot be made.
  static const bool memory_first = !shared_memory_has_huge_pages() && process_memory_has_huge_pages();
  const Backing first = memory_first ? Backing::memory : Backing::file;
  const Backing second = memory_first ? Backing::file : Backing::memory;
  return create_in_memory(first) || create_in_memory(second);
}

bool ScratchFile::create_in_memory(Backing backing) {
  if (is_open()) return false;
  if (backing == Backing::file) {
    const int fd = shared_memory_file();
    return fd >= 0 && adopt_file(fd, "");
  }
  if (backing != Backing::memory) return false;
  // Address space only, aligned to a huge page: nothing is committed or
  // touched before grow_memory takes it into use.
  for (uint64_t length = kMaxReservation; length >= kMinReservation; length /= 2) {
    void* p =
        mmap(nullptr, length + kHugePage, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED) continue;
    const auto start = reinterpret_cast<uintptr_t>(p);
    const uintptr_t aligned = round_up(start, kHugePage);
    if (aligned > start) munmap(p, aligned - start);
    const uintptr_t tail = aligned + length;
    if (start + length + kHugePage > tail)
      munmap(reinterpret_cast<void*>(tail), start + length + kHugePage - tail);
    map_ = reinterpret_cast<uint8_t*>(aligned);
    map_length_ = length;
    madvise(map_, map_length_, MADV_HUGEPAGE);
    backing_ = Backing::memory;
    return true;
  }
  return false;
}

bool ScratchFile::create_unique(const std::string& folder) {
  if (folder.empty() || is_open()) return false;
  std::string name = folder;
  if (name.back() != '/') name += '/';
  name += "TRCXXXXXX";
  const int fd = mkostemp(name.data(), O_CLOEXEC);
  return fd >= 0 && adopt_file(fd, name);
}

bool ScratchFile::create_unnamed(const std::string& folder) {
  if (folder.empty() || is_open()) return false;
  const int fd = open(folder.c_str(), O_RDWR | O_TMPFILE | O_CLOEXEC, 0600);
  return fd >= 0 && adopt_file(fd, "");
}

int ScratchFile::create_numbered(const std::string& folder, int number) {
  if (folder.empty() || is_open() || number < 0) return -1;
  const std::string base = folder.back() == '/' ? folder : folder + "/";
  // A shared folder may hold anybody's files and links under these names:
  // only a file made here and now is used.
  for (int n = number; n < number + kNumberedTries && n >= 0; ++n) {
    const std::string path = base + strprintf("TRC$DATA#%4d.TMP", n);
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) return adopt_file(fd, path) ? n : -1;
    if (errno != EEXIST && errno != ELOOP) return -1;
  }
  return -1;
}

void ScratchFile::remove() {
  for (auto& [p, n] : old_maps_) munmap(p, n);
  old_maps_.clear();
  if (map_) munmap(map_, map_length_);
  map_ = nullptr;
  map_length_ = 0;
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  if (!path_.empty()) unlink(path_.c_str());
  path_.clear();
  end_ = capacity_ = 0;
  backing_ = Backing::none;
}

int64_t ScratchFile::append(std::span<const double> values) {
  const int64_t at = reserve(values.size());
  if (at < 0) return -1;
  if (!values.empty()) std::memcpy(map_ + at, values.data(), values.size_bytes());
  return at;
}

int64_t ScratchFile::reserve(uint64_t count) {
  if (!is_open() || count > (uint64_t{1} << 60) / sizeof(double)) return -1;
  const uint64_t at = end_;
  const uint64_t new_end = end_ + count * sizeof(double);
  if (new_end > capacity_) {
    const bool grown = backing_ == Backing::memory ? grow_memory(new_end) : grow_file(new_end);
    if (!grown) return -1;
  }
  end_ = new_end;
  return static_cast<int64_t>(at);
}

bool ScratchFile::grow_file(uint64_t bytes) {
  // Small files grow in small steps: a file's blocks are taken for real.
  const uint64_t size = round_up(bytes, bytes < kHugePage ? kSmallStep : kHugePage);
  // Blocks are allocated now, so that a full disk or memory fails here rather
  // than as a fault while the values are written through the mapping.
  if (posix_fallocate(fd_, static_cast<off_t>(capacity_), static_cast<off_t>(size - capacity_)) != 0)
    return false;
  capacity_ = size;
  return size <= map_length_ || map_file_to(size);
}

bool ScratchFile::map_file_to(uint64_t bytes) {
  uint64_t length = map_length_;
  while (length < bytes) length *= 2;
  void* p = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
  if (p == MAP_FAILED) return false;
  madvise(p, length, MADV_HUGEPAGE);
  old_maps_.emplace_back(map_, map_length_);
  map_ = static_cast<uint8_t*>(p);
  map_length_ = length;
  return true;
}

bool ScratchFile::grow_memory(uint64_t bytes) {
  const uint64_t size = round_up(bytes, kHugePage);
  if (size > map_length_) return false;
  // Taken into use here, where the system's commit limit can refuse it.
  if (mprotect(map_ + capacity_, size - capacity_, PROT_READ | PROT_WRITE) != 0) return false;
  capacity_ = size;
  return true;
}

std::span<double> ScratchFile::room(int64_t position, uint64_t count) {
  if (!is_open() || position < 0 || position % sizeof(double) != 0 || count == 0) return {};
  if (count > end_ / sizeof(double)) return {};
  const uint64_t last = static_cast<uint64_t>(position) + count * sizeof(double);
  if (last > end_) return {};
  return {reinterpret_cast<double*>(map_ + position), count};
}

bool ScratchFile::write_at(int64_t position, std::span<const double> values) {
  if (values.empty()) return is_open() && position >= 0 && static_cast<uint64_t>(position) <= end_;
  const auto to = room(position, values.size());
  if (to.empty()) return false;
  std::memcpy(to.data(), values.data(), values.size_bytes());
  return true;
}

}  // namespace zephyrim
