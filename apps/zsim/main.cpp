// zsim, the simulator engine: runs a netlist and writes its listing and data files.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "common/progress.h"
#include "engine/zsim.h"
#include "platform/broadcast.h"
#include "platform/process.h"

namespace {

std::atomic<bool> g_stop{false};

void on_signal(int) {
  g_stop = true;
}

void usage(FILE* out) {
  std::fputs(
      "usage: zsim FILE.CIR [-ZSS] [-j N]\n"
      "Simulates the netlist FILE.CIR with ngspice and writes beside it FILE.OUT (listing),\n"
      "FILE.SAV (PROBE data of every analysis and run) and, when the netlist says .OPTION SAVEOPB,\n"
      "FILE.OPB (the operating point). .STEP, .TEMP, .MC and .WC become runs of their own.\n"
      "Tells every Zephyrim program when it is done.\n"
      "  -ZSS   started by a simulation run of the schematic editor: progress on stderr for the\n"
      "         editor, no summary on stdout, and the viewer opens on the results\n"
      "  -j N   at most N ngspice runs at once (default: one per processor)\n"
      "Environment: ZEPHYRIM_NGSPICE names the ngspice program (default ngspice);\n"
      "ZEPHYRIM_VIEWER the viewer that -ZSS opens (default trc32 beside zsim, else on PATH).\n"
      "Exit status: 0 simulated, 1 ngspice reported errors, 2 nothing could be run.\n",
      out);
}

// The viewer that shows the results: the one the editor named, else the one
// installed beside the engine, else whatever PATH finds.
std::string viewer_program() {
  if (const char* v = std::getenv("ZEPHYRIM_VIEWER"); v && *v) return v;
  std::error_code ec;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    const auto beside = self.parent_path() / "trc32";
    if (access(beside.c_str(), X_OK) == 0) return beside.string();
  }
  return "trc32";
}

}  // namespace

int main(int argc, char** argv) {
  using namespace zephyrim;
  std::string netlist;
  bool from_editor = false;
  int jobs = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      usage(stdout);
      return 0;
    }
    if (a == "-ZSS" || a == "-zss") {
      from_editor = true;
    } else if (a == "-j" && i + 1 < argc) {
      char* end = nullptr;
      const long n = std::strtol(argv[++i], &end, 10);
      if (!end || *end || n < 1 || n > 64) {
        usage(stderr);
        return 2;
      }
      jobs = static_cast<int>(n);
    } else if (netlist.empty() && !a.empty() && a[0] != '-') {
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
  // Stopped from outside, the engine ends its ngspice runs too and says so in the listing.
  struct sigaction stop {};
  stop.sa_handler = on_signal;
  sigemptyset(&stop.sa_mask);
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &stop, nullptr);

  ZsimOptions options;
  options.netlist = netlist;
  options.jobs = jobs;
  options.cancel = &g_stop;
  if (const char* n = std::getenv("ZEPHYRIM_NGSPICE"); n && *n) options.ngspice = n;
  StderrProgress terminal;
  StatusLineProgress editor;
  Progress& progress = from_editor ? static_cast<Progress&>(editor) : terminal;
  const ZsimResult r = zsim_run(options, progress);
  if (!from_editor)
    std::printf("zsim: %s: %d errors, %d warnings, %d data blocks\n", r.listing.c_str(), r.errors, r.warnings,
                r.blocks);
  broadcast_post({kZsTaskDoneNotify, kTaskDoneEngineEnds, r.status});
  // After the notice, so the editor takes the focus back before the viewer shows.
  if (from_editor && r.blocks > 0 && !g_stop) {
    const std::string folder = std::filesystem::path(r.listing).parent_path().string();
    if (const int err = process_start_detached({viewer_program(), r.listing, "-zss"}, folder))
      std::fprintf(stderr, "zsim: cannot start the viewer: %s\n", std::strerror(err));
  }
  return r.status;
}
