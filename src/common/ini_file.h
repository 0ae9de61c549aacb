#pragma once
// The shared initialisation file ZEPHYRIM.INI: "[Section]" headers and "Key=Value" lines.
// The whole file is held as a list of lines, so a program reads it once, asks and
// writes many keys and saves once. Editing touches only the line of the key concerned;
// every other line (comments, blank lines, unknown keys, odd spacing) is written back
// exactly as it was read, with LF line ends.
//
// Reading rules:
//  - Section and key names are compared without regard to ASCII case, after trimming
//    blanks (space, tab, CR, LF, VT, FF).
//  - A line whose first non-blank character is ';' or '#' is a comment.
//  - A header is '[' ... the first ']'; text after the ']' is ignored. A line starting
//    with '[' and no ']' is neither a header nor a key.
//  - A key line is "name = value": the name is the text before the first '=', the
//    value the text after it, both trimmed. Quotes and trailing ';' are kept as part of
//    the value, since command lines are stored here.
//  - Key lines before the first header belong to the section named "".
//  - A section that appears several times is one section; a key that appears several
//    times reads as its first occurrence.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zephyrim {

enum class IniLoadStatus {
  kOk,          // the file was read
  kMissing,     // no file at the path; reads as empty
  kTooLarge,    // larger than IniFile::kMaxFileSize; reads as empty
  kUnreadable,  // exists but could not be read (not a regular file, no permission, read error)
};

class IniFile {
 public:
  // Larger files are taken as corrupt: one line costs a few dozen bytes of bookkeeping,
  // so this bounds memory even for a file made only of line breaks.
  static constexpr size_t kMaxFileSize = size_t{1} << 20;

  // An empty file: no sections, no keys.
  IniFile() = default;

  // Reads the file at the UTF-8 path. Any failure gives an empty file; the reason is
  // stored in *status when status is not null.
  static IniFile load(const std::string& path, IniLoadStatus* status = nullptr);

  // Replaces the contents with the given bytes (LF, CR LF, trailing CRs, an optional
  // UTF-8 BOM, any other byte kept in the line text). Returns false, leaving the file
  // empty, when the bytes are larger than kMaxFileSize.
  bool load_text(std::string_view bytes);

  // The value of the key, or nullopt when the key is absent. A present key with
  // nothing after '=' gives "".
  std::optional<std::string> get_string(std::string_view section, std::string_view key) const;

  // The value of the key, or default_value when the key is absent.
  std::string get_string(std::string_view section, std::string_view key,
                         std::string_view default_value) const;

  // The leading integer of the value: optional sign and decimal digits, anything after
  // them ignored ("12px" is 12, "0x10" is 0), saturated to the int range. Returns
  // default_value when the key is absent or its value does not start with a number
  // (empty, "abc", "-"), so a damaged entry keeps the built-in setting.
  int get_int(std::string_view section, std::string_view key, int default_value) const;

  // The blank-separated integers at the start of the value, as "%d %d %d" reads them:
  // reading stops at the first token that does not start with a number, and after a
  // number followed directly by other text ("1 2x 3" gives {1, 2}). Empty when the key
  // is absent. Each number is saturated to the int range.
  std::vector<int> get_ints(std::string_view section, std::string_view key) const;

  // True when the section has the key.
  bool has_key(std::string_view section, std::string_view key) const;

  // The distinct key names of the section in file order, spelled as first written.
  std::vector<std::string> keys(std::string_view section) const;

  // The distinct section names in file order, spelled as first written; "" comes first
  // when key lines precede the first header.
  std::vector<std::string> sections() const;

  // Sets the key to value. CR and LF in the value become blanks, so a value can never
  // add lines, and surrounding blanks are dropped (they would not read back). An
  // existing key has the value part of its first line rewritten, the name keeping its
  // spelling; a new key is inserted after the last key line of the section's first
  // block (directly after its header when it has none; at the top of the file for
  // section ""); a new section is appended at the end of the file, after a blank line.
  // Returns false and changes nothing when the names cannot be stored: an empty key, a
  // key with '=', a key starting with '[', ';', '#' or a UTF-8 BOM, a section name
  // with ']', or a line break in either name.
  bool set_string(std::string_view section, std::string_view key, std::string_view value);

  // set_string with the value written as "%d".
  bool set_int(std::string_view section, std::string_view key, int value);

  // set_string with the values written as "%d %d ... %d".
  bool set_ints(std::string_view section, std::string_view key, const std::vector<int>& values);

  // Deletes every line of the key in the section, so that no later duplicate shows
  // through. Returns the number of lines removed; the section header stays.
  int remove_key(std::string_view section, std::string_view key);

  // The file contents, every line ended by LF, preceded by the BOM when one was read.
  std::string text() const;

  // Writes text() to the UTF-8 path through write_file_atomic: a temporary file in the
  // same folder, flushed and renamed over the target, keeping the old file's
  // permissions. Missing folders are not created. On failure the target is left as it
  // was, no temporary file remains and false is returned.
  bool save(const std::string& path) const;

 private:
  std::optional<size_t> find_key_line(std::string_view section, std::string_view key) const;
  std::optional<size_t> insertion_line(std::string_view section) const;

  std::vector<std::string> lines_;  // without line ends
  bool bom_ = false;
};

}  // namespace zephyrim
