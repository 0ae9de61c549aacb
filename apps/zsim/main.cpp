// zsim, the simulator engine: runs a netlist and writes its listing and data files.
#include <cstdio>
#include <cstring>

namespace {

void usage(FILE* out) {
  std::fputs(
      "usage: zsim FILE.CIR [-ZSS]\n"
      "Simulates the netlist FILE.CIR and writes FILE.OUT (listing) and FILE.SAV (data)\n"
      "beside it.\n"
      "  -ZSS   started by a simulation run of the schematic editor\n",
      out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    usage(stdout);
    return 0;
  }
  usage(stderr);
  if (argc >= 2) std::fputs("zsim: simulation is not available in this build yet\n", stderr);
  return 2;
}
