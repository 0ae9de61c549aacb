// QUILL32, the schematic editor.
#include <QApplication>
#include <QIcon>
#include <cstdlib>
#include <optional>
#include <string>

#include "editor/main_window.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  zephyrim::use_c_locale_for_numbers();
  QApplication::setApplicationName("quill32");
  // The desktop matches the windows to quill32.desktop and its icon.
  QGuiApplication::setDesktopFileName("quill32");
  QApplication::setWindowIcon(QIcon(":/icons/quill32.svg"));
  zephyrim::EditorMainWindow window;
  window.load_config(QCoreApplication::applicationDirPath().toStdString(), [](const char* name) {
    const char* v = std::getenv(name);
    return v ? std::optional<std::string>(v) : std::nullopt;
  });
  window.show();
  window.apply_command_line(QApplication::arguments().mid(1));
  return QApplication::exec();
}
