#include "viewer/app/main_window.h"

namespace zephyrim {

void ViewerMainWindow::add_tool_handlers() {}

}  // namespace zephyrim
