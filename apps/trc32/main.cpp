// TRC32 (Tracery), the waveform viewer.
#include <QApplication>

#include "viewer/app/main_window.h"
#include "viewer/session/command_line.h"
#include "viewer/session/viewer_config.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  zephyrim::use_c_locale_for_numbers();
  QApplication::setApplicationName("trc32");
  zephyrim::QtNotify startup(zephyrim::kTraceryTitle);
  const std::string program_dir = QCoreApplication::applicationDirPath().toStdString();
  zephyrim::ViewerConfig config =
      zephyrim::viewer_config_load(program_dir, zephyrim::process_environment(), startup);
  std::vector<std::string> args(argv + 1, argv + argc);
  const zephyrim::ViewerCommandLine line = zephyrim::parse_viewer_command_line(args, startup);
  zephyrim::ViewerMainWindow window(std::move(config));
  bool shown = false;
  if (!line.data_file.empty()) shown = window.open_file(QString::fromStdString(line.data_file));
  // Started by a simulation that gave nothing to show: there is nothing to stay for.
  if (zephyrim::close_after_load(line, shown)) return 0;
  if (line.show_maximised)
    window.showMaximized();
  else
    window.show();
  return QApplication::exec();
}
