#pragma once
// A growing store of doubles: the values of one data class, or a reader's work
// file. It lives in memory that the system can page out, as a file of its own
// or as memory of the process (see create_in_memory), or as a file in a folder
// on disk. Either way it is mapped into the process once: readers write the
// values straight into their room and callers read them in place, so a value
// is copied neither on its way in nor on its way to a plot.
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace zephyrim {

class ScratchFile {
 public:
  // Where the values live.
  enum class Backing {
    none,
    file,    // a file in a folder or a shared-memory file, mapped shared
    memory,  // memory of the process, reserved once and taken into use as it grows
  };

  ScratchFile() = default;
  ~ScratchFile();
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  // In memory, backed by swap like any other: a file in shared memory where the
  // system gives such files huge pages, otherwise memory of the process with
  // huge pages asked for. Huge pages matter: on a 4 KB page every first touch
  // of a page costs a fault, and under some virtual machines a dear one.
  bool create_in_memory();
  // The same with the backing chosen: Backing::file for a shared-memory file
  // (on /dev/shm, or an anonymous memory file), Backing::memory for memory of
  // the process. False when that backing cannot be made here.
  bool create_in_memory(Backing backing);
  // A new unique file "TRCxxxxxx" in the folder; false when it cannot be made.
  bool create_unique(const std::string& folder);
  // The last resorts when no unique name can be made in any folder. An unnamed
  // file in the folder, where its file system has them; false otherwise.
  bool create_unnamed(const std::string& folder);
  // "TRC$DATA#%4d.TMP" in the folder, from the given number on: a name that
  // exists already, even as a link, is never opened but passed over for the
  // next number. Returns the number taken, or -1.
  int create_numbered(const std::string& folder, int number);
  bool is_open() const { return backing_ != Backing::none; }
  Backing backing() const { return backing_; }
  const std::string& path() const { return path_; }  // empty unless named in a folder
  // Closes the file and removes it from the disk; gives the memory back.
  void remove();

  // Bytes in use; new values go behind them.
  uint64_t size() const { return end_; }
  // New values are written from the start again into the same pages, which
  // stay with the file; earlier views must not be used any more.
  void rewind() { end_ = 0; }
  // Gives back what was taken into use behind position.
  void rewind_to(uint64_t position) {
    if (position < end_) end_ = position;
  }

  // Appends the values; returns the byte position of the first, or -1 when they
  // could not all be stored (nothing is then taken into use).
  int64_t append(std::span<const double> values);
  // Takes count doubles at the end into use, for the caller to fill through
  // room(); -1 when the disk or the memory refuses them. Their contents are
  // whatever the pages held: the caller writes every one.
  int64_t reserve(uint64_t count);
  // count doubles from position, to be written; empty when they lie beyond what
  // was taken into use.
  std::span<double> room(int64_t position, uint64_t count);
  bool write_at(int64_t position, std::span<const double> values);
  // count doubles from position; empty when they lie beyond what was written.
  std::span<const double> view(int64_t position, uint64_t count) { return room(position, count); }

 private:
  bool adopt_file(int fd, std::string path);
  bool map_file_to(uint64_t bytes);
  bool grow_file(uint64_t bytes);
  bool grow_memory(uint64_t bytes);

  Backing backing_ = Backing::none;
  int fd_ = -1;
  std::string path_;
  uint64_t end_ = 0;
  uint64_t capacity_ = 0;  // bytes that may be written: the file's size, or the memory taken
  uint8_t* map_ = nullptr;
  uint64_t map_length_ = 0;
  // Earlier mappings of a file that outgrew them, kept until the file goes away
  // so that views handed out stay valid.
  std::vector<std::pair<void*, uint64_t>> old_maps_;
};

}  // namespace zephyrim
