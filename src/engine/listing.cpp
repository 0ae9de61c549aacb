#include "engine/listing.h"

#include "common/text_format.h"

namespace zephyrim {

namespace {

constexpr size_t kNoticeCost = 64;

std::string notice(uint64_t bytes) {
  return strprintf("*WARNING: %llu bytes of simulator output left out here\n",
                   static_cast<unsigned long long>(bytes));
}

}  // namespace

void Listing::line(std::string_view text, bool keep) {
  if (tail_.empty() && head_.size() + text.size() + 1 <= head_limit_) {
    head_.append(text);
    head_ += '\n';
    return;
  }
  if (keep) kept_in_tail_.push_back(tail_.size());
  tail_.append(text);
  tail_ += '\n';
  while (tail_.size() - tail_start_ > tail_limit_) evict_front();
  // Gone bytes are moved out once they are a quarter of the tail, so the
  // buffer stays near its limit and each byte is moved a few times at most.
  if (tail_start_ > 0 && tail_start_ >= tail_limit_ / 4) {
    tail_.erase(0, tail_start_);
    for (auto& at : kept_in_tail_) at -= tail_start_;
    tail_start_ = 0;
  }
}

void Listing::evict_front() {
  const size_t end = tail_.find('\n', tail_start_);
  const size_t next = end == std::string::npos ? tail_.size() : end + 1;
  const size_t length = next - tail_start_;
  const bool kept = !kept_in_tail_.empty() && kept_in_tail_.front() == tail_start_;
  if (kept) kept_in_tail_.pop_front();
  // The notice in front of a kept line counts against the bound too.
  const size_t cost = length + (gap_ > 0 ? kNoticeCost : 0);
  if (kept && kept_bytes_ + cost <= kept_limit_) {
    middle_.push_back({gap_, tail_.substr(tail_start_, length)});
    kept_bytes_ += cost;
    gap_ = 0;
  } else {
    gap_ += length;
    left_out_ += length;
  }
  tail_start_ = next;
}

std::string Listing::text() const {
  std::string out = head_;
  for (const Kept& k : middle_) {
    if (k.gap > 0) out += notice(k.gap);
    out += k.line;
  }
  if (gap_ > 0) out += notice(gap_);
  out.append(tail_, tail_start_, std::string::npos);
  return out;
}

int Listing::cuts() const {
  int n = gap_ > 0 ? 1 : 0;
  for (const Kept& k : middle_)
    if (k.gap > 0) ++n;
  return n;
}

}  // namespace zephyrim
