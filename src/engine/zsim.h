#pragma once
// zsim, the system's simulator engine. It hands a prepared copy of the netlist
// to ngspice in batch mode and writes, beside the netlist:
//   FILE.OUT  the listing: ngspice's output with the netlist's "#" lines, the
//             statements it left out and every error, as a SPICE3 listing; of
//             an output too large for memory, its head, its tail and the
//             errors of the middle;
//   FILE.SAV  every plot of every run as a PROBE file;
//   FILE.OPB  the operating point, when the netlist says .OPTION SAVEOPB.
// .STEP, .TEMP, .MC and .WC become runs of their own, each an ngspice process;
// independent runs go to several processes at once, and FILE.SAV holds them
// in run order, each block labelled with its run.
// A model database link ".INC/MDB NAME" takes the models of library NAME from
// the model database: the netlist's own folder when it holds one, else the
// folder ZEPHYRIM.INI names with ModelDatabasePath, else the user's.
#include <atomic>
#include <string>

namespace zephyrim {

class Progress;

struct ZsimOptions {
  std::string netlist;  // FILE.CIR
  std::string ngspice = "ngspice";
  double timeout_seconds = 24 * 3600;         // of each run
  int jobs = 0;                               // ngspice processes at once; 0: one per core
  const std::atomic<bool>* cancel = nullptr;  // set: the runs stop and nothing more is written
  std::string program_dir;                    // where ZEPHYRIM.INI may lie; empty: the running program's
};

struct ZsimResult {
  int status = 2;  // 0 simulated, 1 ngspice reported errors, 2 nothing could be run
  int errors = 0;
  int warnings = 0;
  int blocks = 0;  // data blocks written to FILE.SAV
  int runs = 0;    // ngspice runs made
  std::string listing;
  std::string probe;
  std::string bias;  // empty when no bias file was asked for or written
};

ZsimResult zsim_run(const ZsimOptions& options, Progress& progress);

}  // namespace zephyrim
