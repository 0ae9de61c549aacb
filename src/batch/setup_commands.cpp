// zephyrim setup and zephyrim commands: a simulation setup as text, and the
// analysis command file that a run of the schematic would include.
#include <cstdio>

#include "batch/batch.h"
#include "common/file_io.h"
#include "common/notify.h"
#include "schematic/schematic_file.h"
#include "simulation/analysis_commands.h"
#include "simulation/sim_setup.h"

namespace zephyrim {

namespace {

constexpr const char* kSetupUsage =
    "usage: zephyrim setup FILE.sim\n"
    "Lists every group and value of a simulation setup file.\n"
    "Exit status: 0 listed, 2 not read.\n";

constexpr const char* kCommandsUsage =
    "usage: zephyrim commands FILE.sch [--simulator 0|1|2|3] [-o FILE.CMD]\n"
    "Writes the analysis command file of the schematic's simulation setup (FILE.SIM\n"
    "beside it) to FILE.CMD beside the schematic, or to the file given with -o (--output).\n"
    "Simulator 0, the default engine, saves with .PROBE; the others with .SAVE.\n"
    "Exit status: 0 written, 1 written without any output for its analyses,\n"
    "2 no setup or not written.\n";

// The setup file read with its notices; false when missing or unreadable.
bool read_setup(SimulationSetup& setup, const std::string& path, Notify& notify) {
  if (!file_exists(path)) {
    notify.error("Cannot open file " + path);
    return false;
  }
  return load_setup(setup, path, notify);
}

constexpr const char* kSetupSummary = "list a simulation setup file";
int setup(const Arguments& a) {
  BatchNotify notify(kSchematicTitle, a.answer);
  SimulationSetup setup;
  if (!read_setup(setup, a.positionals[0], notify)) return 2;
  std::fputs(setup_dump(setup).c_str(), stdout);
  return 0;
}

constexpr const char* kCommandsSummary = "write the analysis command file of a schematic's setup";
int commands(const Arguments& a) {
  const std::string& path = a.positionals[0];
  BatchNotify notify(kSchematicTitle, a.answer);
  SimulationSetup setup;
  if (!read_setup(setup, schematic_sibling(path, "SIM"), notify)) return 2;
  const std::string out = a.text("--output", schematic_sibling(path, "CMD"));
  AnalysisCommandOptions options;
  options.default_simulator = a.integer("--simulator", 0) == 0;
  options.statistics_file = default_statistics_file();
  const int r = write_analysis_commands(&setup, out, analysis_commands_title(), options, notify);
  return r == 1 ? 0 : r == -1 ? 1 : 2;
}

}  // namespace

std::vector<Verb> setup_verbs() {
  const std::vector<OptionSpec> options{kSimulatorOption, kOutputOption};
  return {{"setup", kSetupSummary, kSetupUsage, {"FILE.sim"}, {}, setup},
          {"commands", kCommandsSummary, kCommandsUsage, {"FILE.sch"}, options, commands}};
}

}  // namespace zephyrim
