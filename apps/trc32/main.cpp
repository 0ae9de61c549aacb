// TRC32 (Tracery), the waveform viewer.
#include <QApplication>

#include "viewer/app/main_window.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  zephyrim::use_c_locale_for_numbers();
  QApplication::setApplicationName("trc32");
  zephyrim::ViewerMainWindow window;
  window.show();
  return QApplication::exec();
}
