// The commands of the Format menu.
#include <map>
#include <string>

#include "viewer/app/format_dialogs.h"
#include "viewer/app/main_window.h"
#include "viewer/app/plot_view.h"
#include "viewer/session/command_table.h"

namespace zephyrim {

void ViewerMainWindow::add_format_handlers() {
  handle(CMD_FORMAT_OPTIONS, [this] {
    FormatOptionsDialog dialog(graph_.options, this);
    if (dialog.exec() != QDialog::Accepted) return;
    graph_.options = dialog.options();
    // They are also what the next graph starts with.
    config_.grid_mode = graph_.options.grid;
    config_.plot_area = graph_.options.area;
    config_.plot_mode = graph_.options.plotting;
    config_.plot_direction = graph_.options.direction;
    config_.run_info = graph_.options.info == INFO_SPICE_RUN ? 1 : 0;
    config_.trace_info = graph_.options.info == INFO_TRACE_SYMBOL ? 1 : 0;
    view_->update();
  });
  handle(CMD_FORMAT_MONTE_CARLO, [this] {
    // The runs of a Monte Carlo analysis as one family per trace: every run
    // of a trace in that trace's colour, the names read with their run.
    std::map<std::string, int> colour;
    for (const auto& t : graph_.traces) {
      const auto [at, added] = colour.emplace(t->name, t->options.colour);
      t->options.colour = at->second;
    }
    graph_.options.info = INFO_SPICE_RUN;
    view_->update();
  });
}

GraphOptions graph_options_of(const ViewerConfig& c) {
  return {c.grid_mode, c.plot_area, c.plot_mode, c.plot_direction,
          c.run_info ? INFO_SPICE_RUN : INFO_TRACE_SYMBOL};
}

}  // namespace zephyrim
