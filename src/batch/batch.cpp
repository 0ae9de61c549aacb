#include "batch/batch.h"

#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/broadcast.h"
#include "platform/qt/qt_notify.h"

namespace zephyrim {

namespace {

struct Command {
  const char* name;
  int (*run)(const Args&);
  const char* summary;
};

constexpr Command kCommands[] = {
    {"symbols", batch_symbols, "list a symbol library, or draw all its symbols on a sheet"},
    {"symbol", batch_symbol, "draw one symbol of a library to PNG or SVG"},
    {"check", batch_check, "load a schematic, checking every page, and summarise it"},
    {"dump", batch_dump, "list everything a schematic holds as text"},
    {"render", batch_render, "draw one page of a schematic to PNG, SVG or PDF"},
    {"map", batch_map, "write the cross-reference map of a schematic's nodes"},
    {"setup", batch_setup, "list a simulation setup file"},
    {"commands", batch_commands, "write the analysis command file of a schematic's setup"},
    {"netlist", batch_netlist, "write the SPICE netlist of a schematic, or a subcircuit model of it"},
    {"data", batch_data, "list the vectors of a simulation data file (PROBE or SPICE3 RAW)"},
    {"values", batch_values, "print the values of one vector of a simulation data file"},
    {"listen", batch_listen, "print the messages the Zephyrim programs broadcast"},
    {"post", batch_post, "broadcast a message to every running Zephyrim program"},
};

void usage(FILE* out) {
  std::fputs("usage: zephyrim COMMAND [OPTIONS] FILE...\n"
             "Works on Zephyrim schematics, symbol libraries and simulation data without a display.\n"
             "Commands:\n",
             out);
  for (const auto& c : kCommands) std::fprintf(out, "  %-10s %s\n", c.name, c.summary);
  std::fputs("Run 'zephyrim COMMAND --help' for the options of a command.\n", out);
}

}  // namespace

int batch_main(int argc, char** argv) {
  if (argc < 2) {
    usage(stderr);
    return 2;
  }
  const std::string cmd = argv[1];
  if (cmd == "help" || cmd == "--help" || cmd == "-h") {
    usage(stdout);
    return 0;
  }
  for (const auto& c : kCommands) {
    if (cmd != c.name) continue;
    // Pictures need fonts but never a display.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // The messages keep the folder that the other programs use, whatever Qt is given below.
    if (!std::getenv("ZEPHYRIM_RUNTIME_DIR")) {
      const std::string messages = broadcast_folder();
      if (!messages.empty()) setenv("ZEPHYRIM_RUNTIME_DIR", messages.c_str(), 1);
    }
    if (!std::getenv("XDG_RUNTIME_DIR")) {
      const std::string dir = "/tmp/zephyrim-runtime-" + std::to_string(::getuid());
      ::mkdir(dir.c_str(), 0700);
      setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    }
    QGuiApplication app(argc, argv);
    use_c_locale_for_numbers();
    return c.run(Args(argv + 2, argv + argc));
  }
  std::fprintf(stderr, "zephyrim: unknown command '%s'\n", argv[1]);
  usage(stderr);
  return 2;
}

}  // namespace zephyrim
