#include "common/mapped_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zephyrim {

MappedFile::~MappedFile() {
  if (map_) munmap(map_, size_);
}

bool MappedFile::open(const std::string& path) {
  if (map_) munmap(map_, size_);
  map_ = nullptr;
  data_ = nullptr;
  size_ = 0;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return false;
  }
  if (st.st_size == 0) {
    close(fd);
    return true;
  }
  void* p = mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
  close(fd);
  if (p == MAP_FAILED) return false;
  // The readers walk forward through the file.
  madvise(p, static_cast<size_t>(st.st_size), MADV_SEQUENTIAL);
  map_ = p;
  data_ = static_cast<const uint8_t*>(p);
  size_ = static_cast<size_t>(st.st_size);
  return true;
}

}  // namespace zephyrim
