#include "viewer/app/main_window.h"

namespace zephyrim {

void ViewerMainWindow::add_output_handlers() {}

}  // namespace zephyrim
