// TRC32 (Tracery), the waveform viewer.
#include <QApplication>
#include <QIcon>

#include "viewer/app/main_window.h"
#include "viewer/session/command_line.h"
#include "viewer/session/viewer_config.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  zephyrim::use_c_locale_for_numbers();
  QApplication::setApplicationName("trc32");
  // The desktop matches the windows to trc32.desktop and its icon.
  QGuiApplication::setDesktopFileName("trc32");
  QApplication::setWindowIcon(QIcon(":/icons/trc32.svg"));
  zephyrim::QtNotify startup(zephyrim::kTraceryTitle);
  const std::string program_dir = QCoreApplication::applicationDirPath().toStdString();
  zephyrim::ViewerConfig config =
      zephyrim::viewer_config_load(program_dir, zephyrim::process_environment(), startup);
  std::vector<std::string> args(argv + 1, argv + argc);
  const zephyrim::ViewerCommandLine line = zephyrim::parse_viewer_command_line(args, startup);
  zephyrim::ViewerMainWindow window(std::move(config));
  // Shown before the file is read, so that the status pop-up of a long load is seen.
  if (line.show_maximised || window.config().window_show_mode == zephyrim::WINDOW_SHOW_MAXIMISED)
    window.showMaximized();
  else
    window.show();
  bool loaded = false;
  if (!line.data_file.empty()) loaded = window.open_file(QString::fromStdString(line.data_file));
  // Started by a simulation that gave no data: there is nothing to stay for.
  if (zephyrim::close_after_load(line, loaded)) return 0;
  // A new run closed the window while the load still asked something.
  if (!window.isVisible()) return 0;
  return QApplication::exec();
}
