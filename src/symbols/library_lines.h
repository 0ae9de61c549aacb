#pragma once
// Lines of library text as the library readers see them: at most 255
// characters (the rest of a longer line is dropped), line break and trailing
// blanks removed, read with CR LF or LF.
#include <cstddef>
#include <string_view>

namespace zephyrim {

class LibraryLines {
 public:
  LibraryLines(std::string_view text, size_t position) : text_(text), pos_(position) {}

  // The next line; false at the end of the text.
  bool next(std::string_view& line) {
    if (pos_ >= text_.size()) return false;
    size_t end = pos_;
    while (end < text_.size() && text_[end] != '\n' && text_[end] != '\r') ++end;
    line = text_.substr(pos_, end - pos_);
    if (line.size() > 255) line = line.substr(0, 255);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
    if (end < text_.size() && text_[end] == '\r') ++end;
    if (end < text_.size() && text_[end] == '\n') ++end;
    pos_ = end;
    return true;
  }
  // Byte position of the next line.
  size_t position() const { return pos_; }

 private:
  std::string_view text_;
  size_t pos_;
};

}  // namespace zephyrim
