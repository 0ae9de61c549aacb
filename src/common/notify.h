#pragma once
// Every message box of the system goes through a Notify: one call per kind, the
// caption made from the program's title. The Qt side shows real boxes, the batch
// side prints "caption: text" on stderr, the recording side lets tests assert
// the texts and script the answers.
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace zephyrim {

// The two program titles that start every caption.
inline constexpr const char* kSchematicTitle = "Zephyrim Schematic";
inline constexpr const char* kTraceryTitle = "Tracery";

enum class NoticeKind { Information, Warning, Error, FatalError, Question, SystemError };

// Which buttons a question offers. Answers: 1 for yes or OK, 0 for no, -1 for cancel.
enum class QuestionKind { YesNo, OkCancel, YesNoCancel };

// "Zephyrim Schematic - Warning" and so on; information boxes carry the bare title
// and questions the warning caption.
std::string notice_caption(const std::string& title, NoticeKind kind);

// The text of the failed-allocation report, with the memory the system says is
// available now.
std::string out_of_memory_text();

// The system error's fixed text.
inline constexpr const char* kUnableToDisplayDialog = "Unable to display dialog";

class Notify {
 public:
  explicit Notify(std::string title) : title_(std::move(title)) {}
  virtual ~Notify() = default;
  Notify(const Notify&) = delete;
  Notify& operator=(const Notify&) = delete;

  const std::string& title() const { return title_; }
  std::string caption(NoticeKind kind) const { return notice_caption(title_, kind); }

  void information(const std::string& text) { show(NoticeKind::Information, text); }
  void warning(const std::string& text) { show(NoticeKind::Warning, text); }
  void error(const std::string& text) { show(NoticeKind::Error, text); }
  // Shows the text; the program is expected to end afterwards (see fatal_ends_program).
  void fatal_error(const std::string& text);
  void system_error() { show(NoticeKind::SystemError, kUnableToDisplayDialog); }
  void out_of_memory() { error(out_of_memory_text()); }

  // Returns 1 (yes/OK), 0 (no) or -1 (cancel).
  virtual int question(const std::string& text, QuestionKind kind) = 0;

  // A one-line text prompt ("SYMBOL NAME", "Enter new name:"); absent when cancelled.
  // The answer is cut to max_length characters.
  virtual std::optional<std::string> prompt(const std::string& title, const std::string& label,
                                            const std::string& initial, int max_length) = 0;

  // A message box with a caption of its own (the few boxes whose caption is not
  // made from the program title, such as "Error" of the entry filters).
  virtual void show_captioned(const std::string& caption, const std::string& text) = 0;

 protected:
  virtual void show(NoticeKind kind, const std::string& text) = 0;
  // Called after a fatal error was shown; the real programs quit here.
  virtual void fatal_ends_program() {}

 private:
  std::string title_;
};

// Prints "caption: text" on stderr; questions take a fixed answer (1 unless the
// command line chose otherwise), prompts take their initial text.
class BatchNotify : public Notify {
 public:
  explicit BatchNotify(std::string title, int answer = 1) : Notify(std::move(title)), answer_(answer) {}
  void set_answer(int answer) { answer_ = answer; }
  int question(const std::string& text, QuestionKind kind) override;
  std::optional<std::string> prompt(const std::string& title, const std::string& label,
                                    const std::string& initial, int max_length) override;
  void show_captioned(const std::string& caption, const std::string& text) override;

 protected:
  void show(NoticeKind kind, const std::string& text) override;

 private:
  int answer_;
};

// Keeps every notice for tests; questions and prompts take scripted answers in
// order, then the defaults.
class RecordingNotify : public Notify {
 public:
  struct Entry {
    NoticeKind kind;
    std::string caption;
    std::string text;
  };

  explicit RecordingNotify(std::string title = kSchematicTitle) : Notify(std::move(title)) {}

  int question(const std::string& text, QuestionKind kind) override;
  std::optional<std::string> prompt(const std::string& title, const std::string& label,
                                    const std::string& initial, int max_length) override;
  void show_captioned(const std::string& caption, const std::string& text) override;

  void answer(int a) { answers_.push_back(a); }
  void reply(std::optional<std::string> text) { replies_.push_back(std::move(text)); }
  void set_default_answer(int a) { default_answer_ = a; }

  const std::vector<Entry>& entries() const { return entries_; }
  std::vector<std::string> texts() const;
  // The last notice's text, or empty when there was none.
  std::string last() const { return entries_.empty() ? std::string() : entries_.back().text; }
  bool saw(const std::string& text) const;
  void clear() { entries_.clear(); }

 protected:
  void show(NoticeKind kind, const std::string& text) override;

 private:
  std::vector<Entry> entries_;
  std::deque<int> answers_;
  std::deque<std::optional<std::string>> replies_;
  int default_answer_ = 1;
};

}  // namespace zephyrim
