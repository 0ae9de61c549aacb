#pragma once
// The SPICE circuit file of a schematic: every sheet, its subcircuit blocks,
// library links, power rail sources and the analysis command include, with the
// cross-reference map written in the same run. The same writer makes a
// subcircuit model of the whole schematic or of one block.
#include <string>

#include "common/file_io.h"
#include "common/notify.h"
#include "netlist/connectivity.h"
#include "schematic/schematic.h"
#include "simulation/analysis_commands.h"
#include "simulation/sim_setup.h"

namespace zephyrim {

enum NetlistMode : int {
  kNetlistRun = 0,          // for a simulation run or for viewing
  kNetlistOnClose = 1,      // written when the editor closes
  kNetlistModelNew = 2,     // the whole schematic as a subcircuit model, a new file
  kNetlistModelAppend = 3,  // the same, appended to a model library
};

// The file names of one compile, all beside the schematic unless given.
struct NetlistFiles {
  std::string netlist;  // .CIR, or the model file in modes 2 and 3
  std::string map;      // .MAP
  std::string backup;   // .BAK, the previous netlist; empty: none kept
  std::string folder;   // the schematic's folder: the .CMD, .MIS and .ALT live here
  std::string base;     // the schematic's base name: BASE.CMD, BASE.MIS, BASE.ALT

  // A file of the schematic's folder, such as base + ".CMD".
  std::string in_folder(const std::string& name) const { return path_in_folder(folder, name); }
};

// The names for a schematic at path (its .CIR, .MAP and .BAK beside it).
NetlistFiles netlist_files(const std::string& schematic_path);

struct NetlistOptions {
  int mode = kNetlistRun;
  NetlistFiles files;
  const SimulationSetup* setup = nullptr;  // modes 0 and 1: the analysis commands
  AnalysisCommandOptions commands;
  std::string model_name;                // modes 2 and 3: the model's name
  Connectivity* connectivity = nullptr;  // kept by the caller between runs; a fresh one when null
};

// The version named in the files' comments.
inline constexpr const char* kNetlistProgramVersion = "7.16a Win32";

// Writes the netlist. Returns 1, 0 when nothing was written or a check failed,
// -1 when the user cancelled, a sheet's labels were bad, or rails of one name
// disagree (the caller then does not start the simulator).
int compile_netlist(Schematic& s, const NetlistOptions& options, Notify& notify);

// Writes one subcircuit block as a model: a new file (mode 0) or appended to
// a library (mode 3). `date` is the "%d-%b-%Y" text of its source line.
int compile_subcircuit_model(Schematic& s, BlockRecord& block, const NetlistOptions& options,
                             const std::string& date, Notify& notify);

}  // namespace zephyrim
