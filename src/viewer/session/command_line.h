#pragma once
// The viewer's command line and the start-up and task-protocol decisions that
// follow from it: whether the window closes after loading, and whether a
// simulation starting in the editor closes it.
#include <string>
#include <vector>

#include "common/notify.h"

namespace zephyrim {

inline constexpr const char* kInvalidCommandLine = "Invalid command line option(s) ignored";

// ZSM_SIMULATION's first parameter when the editor is about to start a run.
inline constexpr long kSimulationStarting = 1;
// ZS_TASKDONENOTIFY's first parameter when the viewer closes, so that the
// editor learns the viewer has ended.
inline constexpr long kViewerClosedNotice = 300;

struct ViewerCommandLine {
  bool started_by_simulation = false;  // "-zss"
  bool show_maximised = false;         // "-showMax"
  std::string data_file;               // empty: none named
};

// Reads the arguments after the program name. The first argument that does
// not begin with "-" names the data file; further ones are shown as
// kInvalidCommandLine (once) and ignored. Empty arguments are skipped.
ViewerCommandLine parse_viewer_command_line(const std::vector<std::string>& args, Notify& notify);

// True when the viewer ends right after start-up: a simulation run started it
// and the data file gave nothing to show.
bool close_after_load(const ViewerCommandLine& command_line, bool loaded);

// True when ZSM_SIMULATION with this value makes the viewer quit: the editor
// announces a new run and the user asked for the viewer to make way for it.
bool should_close_on_simulation(long value, bool auto_close);

}  // namespace zephyrim
