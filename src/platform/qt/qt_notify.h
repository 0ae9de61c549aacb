#pragma once
// Message boxes of the desktop programs.
#include <QPointer>
#include <QWidget>

#include "common/notify.h"

namespace zephyrim {

class QtNotify : public Notify {
 public:
  explicit QtNotify(std::string title, QWidget* parent = nullptr)
      : Notify(std::move(title)), parent_(parent) {}
  void set_parent(QWidget* parent) { parent_ = parent; }

  int question(const std::string& text, QuestionKind kind) override;
  std::optional<std::string> prompt(const std::string& title, const std::string& label,
                                    const std::string& initial, int max_length) override;
  void show_captioned(const std::string& caption, const std::string& text) override;

 protected:
  void show(NoticeKind kind, const std::string& text) override;
  void fatal_ends_program() override;

 private:
  QPointer<QWidget> parent_;
};

// The C library's numbers and dates must not follow the desktop's locale: the
// number parser and the file writers expect a decimal point. Call after the
// QApplication exists (it sets the locale from the environment).
void use_c_locale_for_numbers();

}  // namespace zephyrim
