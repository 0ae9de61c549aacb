#include "viewer/session/command_line.h"

#include "common/text_format.h"

namespace zephyrim {

ViewerCommandLine parse_viewer_command_line(const std::vector<std::string>& args, Notify& notify) {
  ViewerCommandLine line;
  bool extra_files = false;
  for (const std::string& arg : args) {
    if (arg.empty()) continue;
    // Case is not significant: the engines pass "-ZSS".
    if (iequals(arg, "-zss")) {
      line.started_by_simulation = true;
    } else if (iequals(arg, "-showMax")) {
      line.show_maximised = true;
    } else if (arg.front() == '-') {
      // Other switches are passed over without a word: programs of the package
      // may pass switches this version does not know, and that must not keep
      // the data from being shown.
      continue;
    } else if (line.data_file.empty()) {
      line.data_file = arg;
    } else {
      extra_files = true;
    }
  }
  if (extra_files) notify.warning(kInvalidCommandLine);
  return line;
}

bool close_after_load(const ViewerCommandLine& command_line, bool loaded) {
  return command_line.started_by_simulation && !loaded;
}

bool should_close_on_simulation(long value, bool auto_close) {
  return value == kSimulationStarting && auto_close;
}

}  // namespace zephyrim
