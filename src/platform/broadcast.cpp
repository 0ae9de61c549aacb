#include "platform/broadcast.h"

#include <dirent.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace zephyrim {

namespace {

// sun_path holds 108 bytes; keep well inside it.
constexpr size_t kMaxSocketPath = 100;
constexpr size_t kMaxDatagram = 256;

bool own_private_folder(const std::string& path) {
  if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid()) return false;
  if ((st.st_mode & 0077) != 0 && chmod(path.c_str(), 0700) != 0) return false;
  return true;
}

bool fill_address(const std::string& path, sockaddr_un& a) {
  if (path.size() >= sizeof a.sun_path) return false;
  std::memset(&a, 0, sizeof a);
  a.sun_family = AF_UNIX;
  std::memcpy(a.sun_path, path.c_str(), path.size() + 1);
  return true;
}

std::string encode(const BroadcastMessage& m) {
  return m.name + " " + std::to_string(m.first) + " " + std::to_string(m.second) + "\n";
}

bool decode(const char* data, size_t n, BroadcastMessage& m) {
  const std::string s(data, n);
  char name[64];
  long first = 0, second = 0;
  if (std::sscanf(s.c_str(), "%63s %ld %ld", name, &first, &second) != 3) return false;
  m.name = name;
  m.first = first;
  m.second = second;
  return true;
}

}  // namespace

std::string broadcast_folder() {
  if (const char* d = std::getenv("ZEPHYRIM_RUNTIME_DIR"); d && *d)
    return own_private_folder(d) && std::strlen(d) + 30 < kMaxSocketPath ? std::string(d) : std::string();
  if (const char* x = std::getenv("XDG_RUNTIME_DIR"); x && *x) {
    const std::string f = std::string(x) + "/zephyrim";
    if (f.size() + 30 < kMaxSocketPath && own_private_folder(f)) return f;
  }
  const std::string f = "/tmp/zephyrim-" + std::to_string(getuid());
  return own_private_folder(f) ? f : std::string();
}

int broadcast_post(const BroadcastMessage& message) {
  const std::string folder = broadcast_folder();
  if (folder.empty()) return 0;
  DIR* dir = opendir(folder.c_str());
  if (!dir) return 0;
  const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    closedir(dir);
    return 0;
  }
  const std::string text = encode(message);
  int reached = 0;
  while (const dirent* e = readdir(dir)) {
    const std::string name = e->d_name;
    if (name.size() < 6 || name.compare(name.size() - 5, 5, ".sock") != 0) continue;
    const std::string path = folder + "/" + name;
    sockaddr_un a;
    if (!fill_address(path, a)) continue;
    const ssize_t n = sendto(fd, text.data(), text.size(), MSG_DONTWAIT | MSG_NOSIGNAL,
                             reinterpret_cast<const sockaddr*>(&a), sizeof a);
    if (n == static_cast<ssize_t>(text.size()))
      ++reached;
    else if (n < 0 && (errno == ECONNREFUSED || errno == ENOTSOCK))
      unlink(path.c_str());  // left behind by a program that was killed
  }
  ::close(fd);
  closedir(dir);
  return reached;
}

BroadcastListener::~BroadcastListener() {
  close();
}

bool BroadcastListener::open(const std::string& program) {
  close();
  const std::string folder = broadcast_folder();
  if (folder.empty()) return false;
  const std::string path = folder + "/" + program + "-" + std::to_string(getpid()) + ".sock";
  sockaddr_un a;
  if (!fill_address(path, a)) return false;
  const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return false;
  unlink(path.c_str());
  if (bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
    ::close(fd);
    return false;
  }
  chmod(path.c_str(), 0600);
  fd_ = fd;
  path_ = path;
  return true;
}

void BroadcastListener::close() {
  if (fd_ >= 0) {
    ::close(fd_);
    unlink(path_.c_str());
  }
  fd_ = -1;
  path_.clear();
}

void BroadcastListener::drain() {
  if (fd_ < 0) return;
  char buf[kMaxDatagram];
  for (;;) {
    const ssize_t n = recv(fd_, buf, sizeof buf, MSG_DONTWAIT);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    BroadcastMessage m;
    if (decode(buf, static_cast<size_t>(n), m)) pending_.push_back(std::move(m));
  }
}

std::vector<BroadcastMessage> BroadcastListener::receive() {
  drain();
  std::vector<BroadcastMessage> out(pending_.begin(), pending_.end());
  pending_.clear();
  return out;
}

bool BroadcastListener::wait(BroadcastMessage& message, int timeout_ms) {
  if (fd_ < 0) return false;
  for (;;) {
    drain();
    if (!pending_.empty()) {
      message = std::move(pending_.front());
      pending_.pop_front();
      return true;
    }
    pollfd p{fd_, POLLIN, 0};
    const int r = poll(&p, 1, timeout_ms);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
  }
}

long data_file_tag(const std::string& path) {
  std::error_code ec;
  std::filesystem::path p = std::filesystem::absolute(path, ec);
  if (ec) p = path;
  const std::string text = p.lexically_normal().string();
  uint32_t h = 2166136261u;
  for (const unsigned char c : text) {
    h ^= c;
    h *= 16777619u;
  }
  return static_cast<long>(h & 0x7fffffffu);
}

}  // namespace zephyrim
