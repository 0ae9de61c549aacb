// Tools > Tabulate: a value the listing printed once per run, as a vector over the runs.
#include "viewer/app/main_window.h"

namespace zephyrim {

void ViewerMainWindow::add_tabulate_handlers() {}

}  // namespace zephyrim
