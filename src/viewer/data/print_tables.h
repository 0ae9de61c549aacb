#pragma once
// The pieces the listing reader and the table readers share: the listing's
// lines as views of its bytes, cut to 255 characters, and the few text tests
// both sides make. The table readers themselves are declared in spice_listing.h.
#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

#include "viewer/data/spice_listing.h"

namespace zephyrim {

// The lines of a listing in memory. A line ends at LF, a CR before it is
// dropped, and only its first 255 characters are kept, so a line of any length
// costs nothing but the scan past it.
class ListingLines {
 public:
  explicit ListingLines(std::string_view text) : text_(text) {}
  // The next line; false at the end of the text.
  bool next(std::string_view& line) {
    if (pos_ >= text_.size()) return false;
    size_t end = text_.find('\n', pos_);
    if (end == std::string_view::npos) end = text_.size();
    line = text_.substr(pos_, end - pos_);
    pos_ = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() > kListingLineChars) line = line.substr(0, kListingLineChars);
    return true;
  }
  // Where the next line starts, to come back to it.
  size_t position() const { return pos_; }
  void seek(size_t position) { pos_ = std::min(position, text_.size()); }
  // The bytes not read yet.
  std::string_view rest() const { return pos_ < text_.size() ? text_.substr(pos_) : std::string_view(); }

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

// Small text tests of the listing readers.
namespace listing {

inline bool blank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\f';
}

inline std::string_view trim_leading(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && blank(s[i])) ++i;
  return s.substr(i);
}

inline std::string_view trim_trailing(std::string_view s) {
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

inline bool contains(std::string_view s, std::string_view part) {
  return s.find(part) != std::string_view::npos;
}

// A line of at least ten '-' after its leading blanks (the rules around a
// SPICE3-format table's header).
inline bool dash_line(std::string_view line) {
  const std::string_view t = trim_leading(line);
  return t.size() >= 10 && t.find_first_not_of('-') >= 10;
}

}  // namespace listing

// The file beside the listing with the extension given in upper case: FILE.OUT
// leads to FILE.SAV and file.out to file.sav; where only the other case exists,
// that one.
std::string listing_data_file(const std::string& listing, std::string_view upper_extension);

}  // namespace zephyrim
