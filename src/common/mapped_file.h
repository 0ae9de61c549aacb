#pragma once
// A whole file mapped read-only into memory, for readers of big data files: the
// bytes are paged in as the reader walks them and never copied.
#include <cstdint>
#include <span>
#include <string>

namespace zephyrim {

class MappedFile {
 public:
  MappedFile() = default;
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  // False when the file cannot be opened or mapped; an empty file maps as no bytes.
  bool open(const std::string& path);
  std::span<const uint8_t> bytes() const { return {data_, size_}; }

 private:
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  void* map_ = nullptr;
};

}  // namespace zephyrim
