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
    "beside it) to FILE.CMD beside the schematic, or to the file given with -o.\n"
    "Simulator 0, the default engine, saves with .PROBE; the others with .SAVE.\n"
    "Exit status: 0 written, 1 written without any output for its analyses,\n"
    "2 no setup or not written.\n";

int fail(const char* usage) {
  std::fputs(usage, stderr);
  return 2;
}

}  // namespace

int batch_setup(const Args& a) {
  if (a.size() == 1 && a[0] == "--help") {
    std::fputs(kSetupUsage, stdout);
    return 0;
  }
  if (a.size() != 1 || a[0].empty() || a[0][0] == '-') return fail(kSetupUsage);
  BatchNotify notify(kSchematicTitle, 1);
  if (!file_exists(a[0])) {
    notify.error("Cannot open file " + a[0]);
    return 2;
  }
  SimulationSetup setup;
  if (!load_setup(setup, a[0], notify)) return 2;
  std::fputs(setup_dump(setup).c_str(), stdout);
  return 0;
}

int batch_commands(const Args& a) {
  if (a.size() == 1 && a[0] == "--help") {
    std::fputs(kCommandsUsage, stdout);
    return 0;
  }
  std::string path, out;
  int simulator = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] == "-o" && i + 1 < a.size() && out.empty() && !a[i + 1].empty()) {
      out = a[++i];
    } else if (a[i] == "--simulator" && i + 1 < a.size() && a[i + 1].size() == 1 && a[i + 1][0] >= '0' &&
               a[i + 1][0] <= '3') {
      simulator = a[++i][0] - '0';
    } else if (a[i].empty() || a[i][0] == '-' || !path.empty()) {
      return fail(kCommandsUsage);
    } else {
      path = a[i];
    }
  }
  if (path.empty()) return fail(kCommandsUsage);
  BatchNotify notify(kSchematicTitle, 1);
  const std::string sim = schematic_sibling(path, "SIM");
  SimulationSetup setup;
  if (!file_exists(sim)) {
    notify.error("Cannot open file " + sim);
    return 2;
  }
  if (!load_setup(setup, sim, notify)) return 2;
  if (out.empty()) out = schematic_sibling(path, "CMD");
  AnalysisCommandOptions options;
  options.default_simulator = simulator == 0;
  const int r = write_analysis_commands(&setup, out, analysis_commands_title(), options, notify);
  return r == 1 ? 0 : r == -1 ? 1 : 2;
}

}  // namespace zephyrim
