#include "common/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

namespace zephyrim {

namespace {

bool write_all(int fd, const char* p, size_t n) {
  while (n > 0) {
    const ssize_t w = ::write(fd, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

}  // namespace

std::optional<std::vector<uint8_t>> read_file(const std::string& path, uint64_t max_size) {
  // Not blocking, so that a FIFO in the place of a file is refused rather than waited on.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || static_cast<uint64_t>(st.st_size) > max_size) {
    ::close(fd);
    return std::nullopt;
  }
  std::vector<uint8_t> out(static_cast<size_t>(st.st_size));
  size_t got = 0;
  while (got < out.size()) {
    const ssize_t r = ::read(fd, out.data() + got, out.size() - got);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    got += static_cast<size_t>(r);
  }
  ::close(fd);
  out.resize(got);  // a file that shrank while read keeps what was there
  return out;
}

std::optional<std::string> read_text_file(const std::string& path, uint64_t max_size) {
  auto bytes = read_file(path, max_size);
  if (!bytes) return std::nullopt;
  return std::string(bytes->begin(), bytes->end());
}

bool AtomicFileWriter::open(const std::string& path) {
  if (fd_ >= 0) return false;
  // A temporary name beside the file, so that the rename stays on one disk.
  const std::filesystem::path target(path);
  const std::filesystem::path folder = target.parent_path().empty() ? "." : target.parent_path();
  std::string name = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
  const int fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return false;
  fd_ = fd;
  failed_ = false;
  path_ = path;
  temporary_ = std::move(name);
  return true;
}

bool AtomicFileWriter::write(const void* data, size_t size) {
  if (fd_ < 0) return false;
  if (!failed_ && !write_all(fd_, static_cast<const char*>(data), size)) failed_ = true;
  return !failed_;
}

bool AtomicFileWriter::commit() {
  if (fd_ < 0) return false;
  bool ok = !failed_ && ::fsync(fd_) == 0;
  struct stat st {};
  if (::stat(path_.c_str(), &st) == 0) {
    ::fchmod(fd_, st.st_mode & 07777);
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd_, 0666 & ~mask);
  }
  ok = ::close(fd_) == 0 && ok;
  fd_ = -1;
  if (ok) ok = ::rename(temporary_.c_str(), path_.c_str()) == 0;
  if (!ok) ::unlink(temporary_.c_str());
  temporary_.clear();
  return ok;
}

void AtomicFileWriter::abandon() {
  if (fd_ < 0) return;
  ::close(fd_);
  fd_ = -1;
  ::unlink(temporary_.c_str());
  temporary_.clear();
}

WriteStatus write_file_replacing(const std::string& path, std::string_view bytes) {
  AtomicFileWriter w;
  if (!w.open(path)) return WriteStatus::cannot_create;
  w.write(bytes.data(), bytes.size());
  return w.commit() ? WriteStatus::ok : WriteStatus::failed;
}

WriteStatus write_file_replacing(const std::string& path, const std::vector<uint8_t>& bytes) {
  return write_file_replacing(path,
                              std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

bool write_file_atomic(const std::string& path, std::string_view bytes) {
  return write_file_replacing(path, bytes) == WriteStatus::ok;
}

bool write_file_atomic(const std::string& path, const std::vector<uint8_t>& bytes) {
  return write_file_atomic(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

bool copy_file(const std::string& from, const std::string& to) {
  auto bytes = read_file(from);
  if (!bytes) return false;
  return write_file_atomic(to, *bytes);
}

bool file_exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string with_extension(const std::string& path, std::string_view extension) {
  std::filesystem::path p(path);
  p.replace_extension(std::string(extension));
  return p.string();
}

std::string path_in_folder(const std::string& folder, const std::string& name) {
  return folder.empty() ? name : (std::filesystem::path(folder) / name).string();
}

std::vector<std::string_view> split_lines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' || text[i] == '\r') {
      lines.push_back(text.substr(start, i - start));
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      start = i + 1;
    }
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

}  // namespace zephyrim
