#include "viewer/app/main_window.h"

namespace zephyrim {

void ViewerMainWindow::add_plot_handlers() {}

}  // namespace zephyrim
