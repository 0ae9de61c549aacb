#include "batch/batch.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/broadcast.h"
#include "platform/qt/qt_notify.h"

namespace zephyrim {

namespace {

void usage(FILE* out, const std::vector<Verb>& verbs) {
  std::fputs(
      "usage: zephyrim [--answer yes|no|cancel] COMMAND [OPTIONS] FILE...\n"
      "Works on Zephyrim schematics, symbol libraries and simulation data without a display.\n"
      "Commands:\n",
      out);
  for (const auto& v : verbs)
    std::fprintf(out, "  %-10.*s %.*s\n", static_cast<int>(v.name.size()), v.name.data(),
                 static_cast<int>(v.summary.size()), v.summary.data());
  std::fputs(
      "Run 'zephyrim COMMAND --help' for the options of a command. --answer, before or after the\n"
      "command, gives the answer the system's questions take (default yes or OK).\n",
      out);
}

// Pictures need fonts but never a display; the messages keep the folder that the
// other programs use, whatever Qt is given.
void prepare_environment() {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  if (!std::getenv("ZEPHYRIM_RUNTIME_DIR")) {
    const std::string messages = broadcast_folder();
    if (!messages.empty()) setenv("ZEPHYRIM_RUNTIME_DIR", messages.c_str(), 1);
  }
  if (!std::getenv("XDG_RUNTIME_DIR")) {
    const std::string dir = "/tmp/zephyrim-runtime-" + std::to_string(::getuid());
    ::mkdir(dir.c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
  }
}

}  // namespace

std::vector<Verb> batch_verbs() {
  std::vector<Verb> all;
  for (auto part : {symbol_verbs, schematic_verbs, render_verbs, map_verbs, setup_verbs, netlist_verbs,
                    data_verbs, message_verbs})
    for (auto& v : part()) all.push_back(std::move(v));
  return all;
}

int batch_main(int argc, char** argv) {
  const std::vector<Verb> verbs = batch_verbs();
  const CommandLine line = parse_command_line(verbs, std::vector<std::string>(argv + 1, argv + argc));
  const Verb* verb = line.arguments.verb;
  if (line.status == ParseStatus::help) {
    if (verb)
      std::fputs(verb_help(*verb).c_str(), stdout);
    else
      usage(stdout, verbs);
    return 0;
  }
  if (line.status == ParseStatus::error) {
    usage_error(line.arguments, line.error);
    if (!verb) usage(stderr, verbs);
    return 2;
  }
  prepare_environment();
  // Qt sees only the program name: the words of the command line are ours.
  int qt_argc = 1;
  QGuiApplication app(qt_argc, argv);
  use_c_locale_for_numbers();
  return verb->run(line.arguments);
}

}  // namespace zephyrim
