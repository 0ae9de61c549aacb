#pragma once
// Whole-file reading and crash-safe writing, and text lines read with CR LF or LF.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zephyrim {

// Reads the whole file. Absent when it cannot be opened or read, or when it is
// larger than max_size (so a wrong file cannot exhaust memory).
std::optional<std::vector<uint8_t>> read_file(const std::string& path, uint64_t max_size = uint64_t{1} << 32);
std::optional<std::string> read_text_file(const std::string& path, uint64_t max_size = uint64_t{1} << 32);

// Writes the bytes to a temporary file in the same folder and renames it over
// path, so that a crash or a full disk never leaves a half-written file in place
// of a good one. False (and path untouched) on any failure.
bool write_file_atomic(const std::string& path, std::string_view bytes);
// The same, telling a file that cannot be created from one that fails later.
enum class WriteStatus { ok, cannot_create, failed };
WriteStatus write_file_replacing(const std::string& path, std::string_view bytes);
WriteStatus write_file_replacing(const std::string& path, const std::vector<uint8_t>& bytes);
bool write_file_atomic(const std::string& path, const std::vector<uint8_t>& bytes);

// The crash-safe writer for files written piece by piece: the pieces go to a
// temporary file in the target's folder (not inherited by started programs),
// and only commit() puts it in place of the target. Dropped uncommitted, or on
// any failure, it leaves the target untouched and nothing behind.
class AtomicFileWriter {
 public:
  AtomicFileWriter() = default;
  ~AtomicFileWriter() { abandon(); }
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

  // False when the temporary file cannot be created.
  bool open(const std::string& path);
  bool is_open() const { return fd_ >= 0; }
  // False once anything failed to be written; later pieces are dropped.
  bool write(const void* data, size_t size);
  // Syncs, keeps the permissions of the file replaced (a new file gets
  // 0666 & ~umask) and renames over the target. False, target untouched, on failure.
  bool commit();
  void abandon();

 private:
  int fd_ = -1;
  bool failed_ = false;
  std::string path_;
  std::string temporary_;
};

// Copies a file (backups); false when the source is missing or the copy fails.
bool copy_file(const std::string& from, const std::string& to);

bool file_exists(const std::string& path);

// The file beside another: path with its extension replaced ("amp.sch", "CIR"
// gives "amp.CIR"; a path without one gets it added).
std::string with_extension(const std::string& path, std::string_view extension);
// name in folder; name itself when folder is empty (the current folder).
std::string path_in_folder(const std::string& folder, const std::string& name);

// Splits text at LF, CR LF or a lone CR; the line breaks are not kept. A final
// line without a break is a line; a break at the very end adds no empty line.
std::vector<std::string_view> split_lines(std::string_view text);

}  // namespace zephyrim
