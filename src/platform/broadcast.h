#pragma once
// The two messages every running Zephyrim program of the user receives:
// ZSM_SIMULATION (a simulation is about to start) and ZS_TASKDONENOTIFY (a task
// has ended). Each program listens on a datagram socket of its own in a
// per-user runtime folder (mode 0700); posting sends to every socket there. No
// desktop session bus is needed, so tests can run real programs.
#include <deque>
#include <string>
#include <vector>

namespace zephyrim {

inline constexpr const char* kZsmSimulation = "ZSM_SIMULATION";
inline constexpr const char* kZsTaskDoneNotify = "ZS_TASKDONENOTIFY";
// A third, beside the system's two: the results of a data file were written
// anew in place (a tuner's run). first: kDataUpdateResults; second: the
// data_file_tag of the listing (FILE.OUT) whose results changed, so that only
// viewers showing that file reload.
inline constexpr const char* kZsDataUpdate = "ZS_DATAUPDATE";
inline constexpr long kDataUpdateResults = 1;

// A tag of a data file's path, made the same way by sender and receiver: the
// FNV-1a hash of the absolute, normalised path, folded into 31 bits.
long data_file_tag(const std::string& path);

// What the programs put into the first parameter of ZS_TASKDONENOTIFY.
inline constexpr long kTaskDoneEditorEnds = 100;
inline constexpr long kTaskDoneEngineEnds = 200;
inline constexpr long kTaskDoneViewerEnds = 300;

struct BroadcastMessage {
  std::string name;
  long first = 0;
  long second = 0;
};

// The folder of the sockets: $ZEPHYRIM_RUNTIME_DIR, else $XDG_RUNTIME_DIR/zephyrim,
// else /tmp/zephyrim-UID; created with mode 0700. Empty when it cannot be made
// or is not the user's own.
std::string broadcast_folder();

// Sends the message to every listener; sockets that refuse (their program was
// killed) are removed. Returns the number of listeners reached.
int broadcast_post(const BroadcastMessage& message);

class BroadcastListener {
 public:
  BroadcastListener() = default;
  ~BroadcastListener();
  BroadcastListener(const BroadcastListener&) = delete;
  BroadcastListener& operator=(const BroadcastListener&) = delete;

  // Listens as the named program; false when no socket could be made.
  bool open(const std::string& program);
  void close();
  int fd() const { return fd_; }
  const std::string& path() const { return path_; }
  // Every message waiting now, without blocking; malformed datagrams are dropped.
  std::vector<BroadcastMessage> receive();
  // Waits up to timeout_ms for the next message; false when none came.
  bool wait(BroadcastMessage& message, int timeout_ms);

 private:
  void drain();

  int fd_ = -1;
  std::string path_;
  std::deque<BroadcastMessage> pending_;
};

}  // namespace zephyrim
