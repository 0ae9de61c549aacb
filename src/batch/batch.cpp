#include "batch/batch.h"

#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>

#include "common/config_location.h"
#include "common/file_io.h"

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

// The drawing program beside this one, or empty.
std::string drawing_program_path() {
  const std::string folder = program_folder();
  return folder.empty() ? std::string() : folder + kDrawingProgram;
}

// The drawing program takes over this process with the same words, so its exit
// status, stdout and stderr are the verb's own. Returns only when it cannot start.
int run_drawing_program(char** argv) {
  const std::string path = drawing_program_path();
  if (path.empty()) {
    std::fprintf(stderr, "zephyrim: cannot find %s: /proc/self/exe is unreadable\n", kDrawingProgram);
    return 2;
  }
  std::fflush(nullptr);
  ::execv(path.c_str(), argv);
  std::fprintf(stderr, "zephyrim: cannot start %s: %s\n", path.c_str(), std::strerror(errno));
  return 2;
}

}  // namespace

// /proc/self/exe names the file itself, wherever it was started from and
// through whatever link; never the current folder, which a bare name would use.
std::string program_folder() {
  char self[4096];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self);
  if (n <= 0 || static_cast<size_t>(n) >= sizeof self) return {};
  const std::string path(self, static_cast<size_t>(n));
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string default_statistics_file() {
  const std::string folder = program_folder();
  if (folder.empty()) return "STATSDEFAULT.TXT";
  const std::string beside =
      program_data_folder(folder.substr(0, folder.size() - 1), "STATSDEFAULT.TXT") + "/STATSDEFAULT.TXT";
  return file_exists(beside) ? beside : "STATSDEFAULT.TXT";
}

std::vector<Verb> batch_verbs() {
  std::vector<Verb> all;
  for (auto part : {symbol_verbs, schematic_verbs, render_verbs, map_verbs, setup_verbs, netlist_verbs,
                    data_verbs, measure_verbs, fft_verbs, histogram_verbs, export_verbs, plot_verbs,
                    modeldb_verbs, gensym_verbs, tune_verbs, message_verbs})
    for (auto& v : part()) all.push_back(std::move(v));
  return all;
}

std::optional<int> batch_parse(int argc, char** argv, const std::vector<Verb>& verbs, Arguments& arguments) {
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
  arguments = line.arguments;
  return std::nullopt;
}

void batch_locale() {
  std::setlocale(LC_ALL, "");
  std::setlocale(LC_NUMERIC, "C");
  std::setlocale(LC_TIME, "C");
}

int batch_main(int argc, char** argv) {
  const std::vector<Verb> verbs = batch_verbs();
  Arguments arguments;
  if (const auto status = batch_parse(argc, argv, verbs, arguments)) return *status;
  // Parsed here too, so that help and usage errors never wait for Qt to load.
  if (arguments.verb->draws) return run_drawing_program(argv);
  batch_locale();
  return arguments.verb->run(arguments);
}

}  // namespace zephyrim
