// zsim, the simulator engine: runs a netlist and writes its listing and data files.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/progress.h"
#include "engine/zsim.h"
#include "platform/broadcast.h"

namespace {

void usage(FILE* out) {
  std::fputs(
      "usage: zsim FILE.CIR [-ZSS]\n"
      "Simulates the netlist FILE.CIR with ngspice and writes beside it FILE.OUT (listing),\n"
      "FILE.SAV (PROBE data of every analysis) and, when the netlist says .OPTION SAVEOPB,\n"
      "FILE.OPB (the operating point). Tells every Zephyrim program when it is done.\n"
      "  -ZSS   started by a simulation run of the schematic editor: no summary on stdout\n"
      "Environment: ZEPHYRIM_NGSPICE names the ngspice program (default ngspice).\n"
      "Exit status: 0 simulated, 1 ngspice reported errors, 2 nothing could be run.\n",
      out);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace zephyrim;
  std::string netlist;
  bool from_editor = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      usage(stdout);
      return 0;
    }
    if (a == "-ZSS" || a == "-zss") {
      from_editor = true;
    } else if (netlist.empty() && !a.empty()) {
      netlist = a;
    } else {
      usage(stderr);
      return 2;
    }
  }
  if (netlist.empty()) {
    usage(stderr);
    return 2;
  }
  ZsimOptions options;
  options.netlist = netlist;
  if (const char* n = std::getenv("ZEPHYRIM_NGSPICE"); n && *n) options.ngspice = n;
  StderrProgress progress;
  const ZsimResult r = zsim_run(options, progress);
  if (!from_editor)
    std::printf("zsim: %s: %d errors, %d warnings, %d data blocks\n", r.listing.c_str(), r.errors, r.warnings,
                r.blocks);
  broadcast_post({kZsTaskDoneNotify, kTaskDoneEngineEnds, r.status});
  return r.status;
}
