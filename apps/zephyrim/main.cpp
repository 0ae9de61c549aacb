// zephyrim, the batch tool: what the programs do to files, from the command line.
#include <cstdio>
#include <cstring>

namespace {

void usage(FILE* out) {
  std::fputs(
      "usage: zephyrim COMMAND [OPTIONS] FILE...\n"
      "Works on Zephyrim schematics, netlists and simulation data without a display.\n"
      "Commands:\n"
      "  help      show this text\n"
      "Run 'zephyrim COMMAND --help' for the options of a command.\n",
      out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    usage(stderr);
    return 2;
  }
  if (std::strcmp(argv[1], "help") == 0 || std::strcmp(argv[1], "--help") == 0 ||
      std::strcmp(argv[1], "-h") == 0) {
    usage(stdout);
    return 0;
  }
  std::fprintf(stderr, "zephyrim: unknown command '%s'\n", argv[1]);
  usage(stderr);
  return 2;
}
