#pragma once
// The listing FILE.OUT as it grows. A simulator can print more than fits in
// memory, so the listing keeps its head and its tail and leaves the middle out,
// with a line of its own at each place where something was left out. Lines
// marked to keep (the engine's own lines and the errors it mirrors) survive the
// cut, up to a bound of their own.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace zephyrim {

inline constexpr size_t kListingHead = size_t{4} << 20;
inline constexpr size_t kListingTail = size_t{4} << 20;
inline constexpr size_t kListingKept = size_t{1} << 20;      // kept lines from the middle
inline constexpr size_t kListingLineMax = size_t{64} << 10;  // longer output lines are broken

class Listing {
 public:
  explicit Listing(size_t head = kListingHead, size_t tail = kListingTail, size_t kept = kListingKept)
      : head_limit_(head), tail_limit_(tail), kept_limit_(kept) {}

  // Appends the text and a line break.
  void line(std::string_view text, bool keep = false);
  // The whole listing, with the notices of what was left out.
  std::string text() const;
  // How many places text() shows as cut.
  int cuts() const;
  uint64_t left_out() const { return left_out_; }

 private:
  struct Kept {
    uint64_t gap;  // bytes left out just before the line
    std::string line;
  };
  void evict_front();

  size_t head_limit_, tail_limit_, kept_limit_;
  std::string head_;
  // The tail: the bytes from tail_start_ on are in the listing, those before
  // are gone and wait to be compacted away.
  std::string tail_;
  size_t tail_start_ = 0;
  std::deque<size_t> kept_in_tail_;  // where in tail_ the kept lines begin
  std::vector<Kept> middle_;
  size_t kept_bytes_ = 0;
  uint64_t gap_ = 0;  // bytes left out since the last kept line of the middle
  uint64_t left_out_ = 0;
};

// Cuts a program's output, piece by piece as it arrives, into lines: LF, CR LF
// or a lone CR ends a line, and a line longer than kListingLineMax is broken.
class LineSplitter {
 public:
  template <typename OnLine>
  void feed(std::string_view piece, OnLine on_line) {
    for (const char c : piece) {
      const bool was_cr = after_cr_;
      after_cr_ = c == '\r';
      if (c == '\n' && was_cr) continue;  // the LF of a CR LF
      if (c == '\n' || c == '\r') {
        on_line(std::string_view(pending_));
        pending_.clear();
        continue;
      }
      pending_ += c;
      if (pending_.size() >= kListingLineMax) {
        on_line(std::string_view(pending_));
        pending_.clear();
      }
    }
  }
  // The last line, when the output did not end with a line break.
  template <typename OnLine>
  void finish(OnLine on_line) {
    if (!pending_.empty()) on_line(std::string_view(pending_));
    pending_.clear();
    after_cr_ = false;
  }

 private:
  std::string pending_;
  bool after_cr_ = false;
};

}  // namespace zephyrim
