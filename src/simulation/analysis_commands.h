#pragma once
// The analysis command file (.CMD) written beside the schematic for every run:
// the analysis statements of the setup, its output statements and the
// #AUTOPLOT lines that tell the viewer what to draw when the run ends. The
// netlist includes it just before its .END.
#include <string>

#include "common/notify.h"
#include "simulation/sim_setup.h"

namespace zephyrim {

// The title line's text: "Zephyrim Schematic 7.16a Win32  Simulation Setup Commands".
std::string analysis_commands_title();

// Whether the setup asks for any analysis (OP, transfer function, sensitivity,
// DC, transient or AC).
bool setup_has_analysis(const SimulationSetup& setup);

struct AnalysisCommandOptions {
  bool default_simulator = true;  // .PROBE; every other simulator choice takes .SAVE
  std::string statistics_file = "STATSDEFAULT.TXT";
};

// The text of the file. *result (when given) is -1 when a DC, transient or AC
// analysis is asked for without any save or print statement, else 1.
std::string analysis_commands_text(const SimulationSetup& setup, const std::string& title,
                                   const AnalysisCommandOptions& options, int* result = nullptr);

// Writes the file at path. Returns 1, or -1 when written without any output
// for its analyses; 0 when there is no setup or the file cannot be created
// ("Cannot open analysis command file:\n%s").
int write_analysis_commands(const SimulationSetup* setup, const std::string& path, const std::string& title,
                            const AnalysisCommandOptions& options, Notify& notify);

}  // namespace zephyrim
