#include "batch/draw/draw_program.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace zephyrim {

// The work of `zephyrim plot` (plot_command.cpp).
int plot_command(const Arguments& a);

namespace {

// Pictures need fonts but never a display; Qt wants a runtime folder of the
// user's own and warns on stderr without one.
void prepare_qt_environment() {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  if (!std::getenv("XDG_RUNTIME_DIR")) {
    const std::string dir = "/tmp/zephyrim-runtime-" + std::to_string(::getuid());
    ::mkdir(dir.c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
  }
}

}  // namespace

std::vector<Verb> drawing_program_verbs() {
  std::vector<Verb> verbs = batch_verbs();
  for (Verb& v : verbs) {
    if (v.name == "symbols") v.run = symbols_command;
    if (v.name == "symbol") v.run = symbol_command;
    if (v.name == "render") v.run = render_command;
    if (v.name == "plot") v.run = plot_command;
  }
  return verbs;
}

int draw_main(int argc, char** argv) {
  const std::vector<Verb> verbs = drawing_program_verbs();
  Arguments arguments;
  if (const auto status = batch_parse(argc, argv, verbs, arguments)) return *status;
  // Only a verb added to the list without its work here can come this far.
  if (!arguments.verb->run) {
    std::fprintf(stderr, "zephyrim: %s cannot run %.*s\n", kDrawingProgram,
                 static_cast<int>(arguments.verb->name.size()), arguments.verb->name.data());
    return 2;
  }
  prepare_qt_environment();
  // Qt sees only the program name: the words of the command line are ours.
  int qt_argc = 1;
  QGuiApplication app(qt_argc, argv);
  // After Qt, which sets the whole locale from the environment.
  batch_locale();
  return arguments.verb->run(arguments);
}

}  // namespace zephyrim
