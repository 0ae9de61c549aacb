// QUILL32, the schematic editor.
#include <QApplication>

#include "editor/main_window.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  zephyrim::use_c_locale_for_numbers();
  QApplication::setApplicationName("quill32");
  zephyrim::EditorMainWindow window;
  window.show();
  window.apply_command_line(QApplication::arguments().mid(1));
  return QApplication::exec();
}
