#pragma once
// Columns of fixed-size point records, as binary RAW files and the text RAW
// reader's work rows hold them: the data file they come from, kept open while
// its vectors wait for their values, and the one pass that copies any number
// of columns straight into their vectors' room.
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "viewer/data/data_store.h"

namespace zephyrim {

// A data file whose vectors wait in the catalogue for their values. Those
// vectors hold it open, so that a file replaced on disk in the meantime cannot
// hand them another file's bytes; it closes when the last of them is loaded.
class SourceFile {
 public:
  // The file, or null when it cannot be opened. loader is what loads the
  // vectors catalogued from it.
  static std::shared_ptr<SourceFile> open(const std::string& path, VectorLoader loader);
  ~SourceFile();
  SourceFile(const SourceFile&) = delete;
  SourceFile& operator=(const SourceFile&) = delete;

  const std::string& path() const { return path_; }
  uint64_t size() const { return size_; }  // when it was opened
  VectorLoader loader() const { return loader_; }
  // Reads into out from position on; returns the bytes read, fewer where the
  // file now ends sooner.
  size_t read(uint64_t position, std::span<uint8_t> out) const;

 private:
  SourceFile(int fd, std::string path, uint64_t size, VectorLoader loader)
      : fd_(fd), path_(std::move(path)), size_(size), loader_(loader) {}

  int fd_;
  std::string path_;
  uint64_t size_;
  VectorLoader loader_;
};

// A file read forward a window at a time through one buffer of its own, for
// walks over records of any size without mapping the file.
class FileWindow {
 public:
  explicit FileWindow(const SourceFile& file) : file_(file) {}
  // The bytes from position on: at least want of them unless the file ends
  // sooner, and as many more as the window holds. Valid until the next call.
  std::span<const uint8_t> at(uint64_t position, size_t want) {
    if (position >= lo_ && position - lo_ + want <= filled_)
      return {buffer_.get() + (position - lo_), filled_ - (position - lo_)};
    return fill(position, want);
  }

 private:
  std::span<const uint8_t> fill(uint64_t position, size_t want);

  const SourceFile& file_;
  std::unique_ptr<uint8_t[]> buffer_;
  size_t capacity_ = 0;
  uint64_t lo_ = 0;
  size_t filled_ = 0;
};

// One column and the room its values go to: one double a point, two for pairs.
struct ColumnCopy {
  RecordColumn column;
  std::span<double> out;
};

// Copies every column in one pass over the file, a window at a time through
// one reused buffer, so that memory stays flat however big the file. False
// when the file ends before the last value (the rooms are then partly written).
bool copy_columns(const SourceFile& file, std::span<const ColumnCopy> columns);
// The same from bytes in memory; column offsets are positions in bytes.
bool copy_columns(std::span<const uint8_t> bytes, std::span<const ColumnCopy> columns);

}  // namespace zephyrim
