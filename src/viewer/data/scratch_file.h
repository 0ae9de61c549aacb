#pragma once
// An append-only file of doubles on disk: the values of one data class, or a
// reader's work file. The file stays open while it lives and is read through a
// memory mapping, so a value is never copied on its way to a plot unless the
// caller asks for a copy.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zephyrim {

class ScratchFile {
 public:
  ScratchFile() = default;
  ~ScratchFile();
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  // A new unique file "TRCxxxxxx" in the folder; false when it cannot be made.
  bool create_unique(const std::string& folder);
  // The last resorts when no unique name can be made in any folder. An unnamed
  // file in the folder, where its file system has them; false otherwise.
  bool create_unnamed(const std::string& folder);
  // "TRC$DATA#%4d.TMP" in the folder, from the given number on: a name that
  // exists already, even as a link, is never opened but passed over for the
  // next number. Returns the number taken, or -1.
  int create_numbered(const std::string& folder, int number);
  bool is_open() const { return fd_ >= 0; }
  const std::string& path() const { return path_; }  // empty for an unnamed file
  // Closes the file and removes it from the disk.
  void remove();

  // Bytes in use; new values go behind them.
  uint64_t size() const { return end_; }
  // New values are written from the start again; the file keeps its size and
  // earlier views must not be used any more.
  void rewind() { end_ = 0; }
  // Gives back what was taken into use behind position.
  void rewind_to(uint64_t position) {
    if (position < end_) end_ = position;
  }

  // Appends the values; returns the byte position of the first, or -1 when they
  // could not all be written (nothing is then taken into use).
  int64_t append(std::span<const double> values);
  // Takes count doubles at the end into use for write_at; -1 when the disk
  // refuses them.
  int64_t reserve(uint64_t count);
  bool write_at(int64_t position, std::span<const double> values);
  // count doubles from position; empty when they lie beyond what was written.
  std::span<const double> view(int64_t position, uint64_t count);

 private:
  bool map_to(uint64_t bytes);

  int fd_ = -1;
  std::string path_;
  uint64_t end_ = 0;
  uint64_t file_size_ = 0;
  // The current mapping, and the earlier ones, kept until the file goes away so
  // that views handed out stay valid while the file grows.
  const uint8_t* map_ = nullptr;
  uint64_t map_length_ = 0;
  std::vector<std::pair<void*, uint64_t>> maps_;
};

}  // namespace zephyrim
