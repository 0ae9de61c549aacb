// zephyrim listen and zephyrim post: the broadcast messages of the Zephyrim
// programs, for scripts and tests that watch or drive them.
#include <algorithm>
#include <climits>
#include <cstdio>

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

// A wait in milliseconds that poll() takes; a negative one waits for ever.
int wait_ms(long long seconds) {
  return static_cast<int>(std::clamp(seconds, -1LL, 2000000LL) * 1000);
}

constexpr const char* kListenSummary = "print the messages the Zephyrim programs broadcast";
int listen(const Arguments& a) {
  const long long count = a.integer("--count", -1);
  const int timeout = wait_ms(a.integer("--timeout", 60));
  BroadcastListener listener;
  if (!listener.open("zephyrim-listen")) {
    std::fputs("zephyrim listen: cannot open a socket in the runtime folder\n", stderr);
    return 2;
  }
  std::fputs("listening\n", stderr);
  std::fflush(stderr);
  for (long long got = 0; count < 0 || got < count; ++got) {
    BroadcastMessage m;
    if (!listener.wait(m, timeout)) return 1;
    std::printf("%s %ld %ld\n", m.name.c_str(), m.first, m.second);
    std::fflush(stdout);
  }
  return 0;
}

constexpr const char* kPostSummary = "broadcast a message to every running Zephyrim program";
int post(const Arguments& a) {
  BroadcastMessage m;
  m.name = a.positionals[0];
  if (m.name[0] == '-' || m.name.size() > 60) return usage_error(a, "NAME must be a message name");
  for (size_t i = 1; i < a.positionals.size(); ++i) {
    const auto n = parse_whole_number(a.positionals[i]);
    if (!n || *n < LONG_MIN || *n > LONG_MAX) return usage_error(a, "FIRST and SECOND must be whole numbers");
    (i == 1 ? m.first : m.second) = static_cast<long>(*n);
  }
  std::printf("%d\n", broadcast_post(m));
  return 0;
}

}  // namespace

std::vector<Verb> message_verbs() {
  const std::vector<OptionSpec> options{{.name = "--count", .kind = ValueKind::integer},
                                        {.name = "--timeout", .kind = ValueKind::integer}};
  return {{"listen", kListenSummary, kListenUsage, {}, options, listen},
          {"post", kPostSummary, kPostUsage, {"NAME", "[FIRST]", "[SECOND]"}, {}, post}};
}

}  // namespace zephyrim
