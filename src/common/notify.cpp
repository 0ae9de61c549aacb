#include "common/notify.h"

#include <cstdio>
#include <fstream>
#include <string>

#include "common/text_format.h"

namespace zephyrim {

std::string notice_caption(const std::string& title, NoticeKind kind) {
  switch (kind) {
    case NoticeKind::Information:
      return title;
    case NoticeKind::Warning:
    case NoticeKind::Question:
      return title + " - Warning";
    case NoticeKind::Error:
      return title + " - Error";
    case NoticeKind::FatalError:
      return title + " - Fatal Error";
    case NoticeKind::SystemError:
      return title + " - System Error";
  }
  return title;
}

namespace {

// MemAvailable of the kernel, in KB; 0 when it cannot be read.
unsigned long available_kb() {
  std::ifstream in("/proc/meminfo");
  std::string key;
  unsigned long value = 0;
  std::string unit;
  while (in >> key >> value) {
    std::getline(in, unit);
    if (key == "MemAvailable:") return value;
  }
  return 0;
}

std::string cut(const std::string& text, int max_length) {
  if (max_length >= 0 && text.size() > static_cast<size_t>(max_length)) return text.substr(0, max_length);
  return text;
}

}  // namespace

std::string out_of_memory_text() {
  return strprintf("Cannot allocate memory.\n\nAvailable %lu KB", available_kb());
}

void Notify::fatal_error(const std::string& text) {
  show(NoticeKind::FatalError, text);
  fatal_ends_program();
}

// --- batch ---

void BatchNotify::show(NoticeKind kind, const std::string& text) {
  std::fprintf(stderr, "%s: %s\n", caption(kind).c_str(), text.c_str());
}

void BatchNotify::show_captioned(const std::string& caption, const std::string& text) {
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
}

int BatchNotify::question(const std::string& text, QuestionKind kind) {
  int a = answer_;
  if (a == -1 && kind != QuestionKind::YesNoCancel) a = 0;
  const char* word = a == 1   ? (kind == QuestionKind::OkCancel ? "OK" : "yes")
                     : a == 0 ? (kind == QuestionKind::OkCancel ? "cancel" : "no")
                              : "cancel";
  std::fprintf(stderr, "%s: %s [%s]\n", caption(NoticeKind::Question).c_str(), text.c_str(), word);
  // OK/Cancel has no "no": its refusal is the cancel answer.
  if (kind == QuestionKind::OkCancel && a == 0) return -1;
  return a;
}

std::optional<std::string> BatchNotify::prompt(const std::string& title, const std::string& label,
                                               const std::string& initial, int max_length) {
  std::fprintf(stderr, "%s: %s [%s]\n", title.c_str(), label.c_str(), initial.c_str());
  if (answer_ != 1) return std::nullopt;
  return cut(initial, max_length);
}

// --- recording ---

void RecordingNotify::show(NoticeKind kind, const std::string& text) {
  entries_.push_back({kind, caption(kind), text});
}

void RecordingNotify::show_captioned(const std::string& caption, const std::string& text) {
  entries_.push_back({NoticeKind::Error, caption, text});
}

int RecordingNotify::question(const std::string& text, QuestionKind) {
  entries_.push_back({NoticeKind::Question, caption(NoticeKind::Question), text});
  if (answers_.empty()) return default_answer_;
  const int a = answers_.front();
  answers_.pop_front();
  return a;
}

std::optional<std::string> RecordingNotify::prompt(const std::string& title, const std::string& label,
                                                   const std::string& initial, int max_length) {
  entries_.push_back({NoticeKind::Question, title, label});
  if (replies_.empty()) return cut(initial, max_length);
  auto r = std::move(replies_.front());
  replies_.pop_front();
  if (r) *r = cut(*r, max_length);
  return r;
}

std::vector<std::string> RecordingNotify::texts() const {
  std::vector<std::string> out;
  for (const auto& e : entries_) out.push_back(e.text);
  return out;
}

bool RecordingNotify::saw(const std::string& text) const {
  for (const auto& e : entries_)
    if (e.text == text) return true;
  return false;
}

}  // namespace zephyrim
