// zephyrim listen and zephyrim post: the broadcast messages of the Zephyrim
// programs, for scripts and tests that watch or drive them.
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "batch/batch.h"
#include "platform/broadcast.h"

namespace zephyrim {

namespace {

constexpr const char* kListenUsage =
    "usage: zephyrim listen [--count N] [--timeout SECONDS]\n"
    "Prints every broadcast message (ZSM_SIMULATION, ZS_TASKDONENOTIFY) as\n"
    "\"NAME FIRST SECOND\", one per line, until N have come (default: no limit)\n"
    "or nothing came for SECONDS (default 60). A line \"listening\" on stderr tells\n"
    "that the socket is ready.\n"
    "Exit status: 0 N messages came, 1 timed out, 2 cannot listen.\n";

constexpr const char* kPostUsage =
    "usage: zephyrim post NAME [FIRST [SECOND]]\n"
    "Sends a broadcast message to every running Zephyrim program.\n"
    "Exit status: 0 sent (the count reached is printed), 2 bad arguments.\n";

bool number(const std::string& s, long& out) {
  char* end = nullptr;
  out = std::strtol(s.c_str(), &end, 10);
  return !s.empty() && end && *end == 0;
}

}  // namespace

int batch_listen(const Args& a) {
  long count = -1, timeout = 60;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] == "--help") {
      std::fputs(kListenUsage, stdout);
      return 0;
    }
    if ((a[i] == "--count" || a[i] == "--timeout") && i + 1 < a.size() &&
        number(a[i + 1], a[i] == "--count" ? count : timeout)) {
      ++i;
      continue;
    }
    std::fputs(kListenUsage, stderr);
    return 2;
  }
  BroadcastListener listener;
  if (!listener.open("zephyrim-listen")) {
    std::fputs("zephyrim listen: cannot open a socket in the runtime folder\n", stderr);
    return 2;
  }
  std::fputs("listening\n", stderr);
  std::fflush(stderr);
  for (long got = 0; count < 0 || got < count; ++got) {
    BroadcastMessage m;
    if (!listener.wait(m, static_cast<int>(timeout * 1000))) return 1;
    std::printf("%s %ld %ld\n", m.name.c_str(), m.first, m.second);
    std::fflush(stdout);
  }
  return 0;
}

int batch_post(const Args& a) {
  if (a.size() == 1 && a[0] == "--help") {
    std::fputs(kPostUsage, stdout);
    return 0;
  }
  BroadcastMessage m;
  if (a.empty() || a.size() > 3 || a[0].empty() || a[0][0] == '-' || a[0].size() > 60 ||
      (a.size() > 1 && !number(a[1], m.first)) || (a.size() > 2 && !number(a[2], m.second))) {
    std::fputs(kPostUsage, stderr);
    return 2;
  }
  m.name = a[0];
  std::printf("%d\n", broadcast_post(m));
  return 0;
}

}  // namespace zephyrim
