#include "platform/qt/qt_notify.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <clocale>
#include <cstdlib>

namespace zephyrim {

namespace {
QString q(const std::string& s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
}  // namespace

void QtNotify::show(NoticeKind kind, const std::string& text) {
  const QString caption = q(this->caption(kind));
  switch (kind) {
    case NoticeKind::Information:
      QMessageBox::information(parent_, caption, q(text));
      break;
    case NoticeKind::Warning:
    case NoticeKind::Question:
      QMessageBox::warning(parent_, caption, q(text));
      break;
    case NoticeKind::Error:
    case NoticeKind::FatalError:
    case NoticeKind::SystemError:
      QMessageBox::critical(parent_, caption, q(text));
      break;
  }
}

void QtNotify::show_captioned(const std::string& caption, const std::string& text) {
  QMessageBox::critical(parent_, q(caption), q(text));
}

int QtNotify::question(const std::string& text, QuestionKind kind) {
  QMessageBox::StandardButtons buttons;
  switch (kind) {
    case QuestionKind::YesNo:
      buttons = QMessageBox::Yes | QMessageBox::No;
      break;
    case QuestionKind::OkCancel:
      buttons = QMessageBox::Ok | QMessageBox::Cancel;
      break;
    case QuestionKind::YesNoCancel:
      buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
      break;
  }
  const auto answer = QMessageBox::warning(parent_, q(caption(NoticeKind::Question)), q(text), buttons);
  if (answer == QMessageBox::Yes || answer == QMessageBox::Ok) return 1;
  if (answer == QMessageBox::No) return 0;
  return -1;
}

std::optional<std::string> QtNotify::prompt(const std::string& title, const std::string& label,
                                            const std::string& initial, int max_length) {
  bool ok = false;
  QString text = QInputDialog::getText(parent_, q(title), q(label), QLineEdit::Normal, q(initial), &ok);
  if (!ok) return std::nullopt;
  std::string out = text.toStdString();
  if (max_length >= 0 && out.size() > static_cast<size_t>(max_length)) out.resize(max_length);
  return out;
}

void QtNotify::fatal_ends_program() {
  QApplication::exit(EXIT_FAILURE);
  std::exit(EXIT_FAILURE);
}

void use_c_locale_for_numbers() {
  std::setlocale(LC_NUMERIC, "C");
  std::setlocale(LC_TIME, "C");
}

}  // namespace zephyrim
