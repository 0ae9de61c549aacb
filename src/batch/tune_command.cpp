// zephyrim tune: a schematic run once with some part values or .PARAM values
// changed, in a folder of its own, as the editor's tuner runs it: the user's
// netlist and results stay as they are.
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "batch/batch.h"
#include "common/file_io.h"
#include "common/notify.h"
#include "common/progress.h"
#include "common/text_format.h"
#include "netlist/netlist_writer.h"
#include "platform/broadcast.h"
#include "platform/process.h"
#include "schematic/schematic_file.h"
#include "simulation/sim_setup.h"
#include "viewer/calc/measure.h"
#include "viewer/data/data_store.h"

namespace zephyrim {

namespace {

namespace fs = std::filesystem;

constexpr const char* kTuneUsage =
    "usage: zephyrim tune FILE.sch PART=VALUE... [-o OUT.png] [--kind KIND] [--folder DIR]\n"
    "Runs the schematic once with the values given: PART=VALUE sets the value of every part\n"
    "whose reference is PART (C1=2.2n); NAME=VALUE, when no part is called NAME, replaces the\n"
    "value of NAME on a .PARAM line of the user statements file FILE.MIS. The netlist is\n"
    "written into a scratch folder (or DIR, which is kept) and simulated there by zsim; the\n"
    "schematic, its netlist and its results are not touched. Files beside the schematic that\n"
    "its library links or the .INC and .LIB lines of FILE.MIS name are found there still.\n"
    "Prints the #MEASURE results of the run as `zephyrim measure` does, one line per run:\n"
    "run number, run label, name, value. With -o, draws the first graph of the results (the\n"
    "autoplot of --kind, as `zephyrim plot` draws it) into OUT (.png, .svg, .pdf or .bmp).\n"
    "With --folder, the viewers that show DIR/FILE.OUT are told to reload it (ZS_DATAUPDATE).\n"
    "Exit status: 0 simulated (and drawn), 1 simulated but ngspice reported errors, a\n"
    "measurement failed or the picture was not drawn, 2 not loaded, a name not found or not run.\n";
constexpr const char* kTuneSummary = "run a schematic once with changed part or .PARAM values";

// Values a command line may set at once.
constexpr int kMaxValues = 64;
constexpr double kRunTimeoutSeconds = 3600;

struct Setting {
  std::string name;
  std::string value;
};

// A folder that goes when the run is over, unless the user named it.
class ScratchFolder {
 public:
  ScratchFolder() = default;
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  ~ScratchFolder() {
    std::error_code ec;
    if (!path_.empty() && remove_) fs::remove_all(path_, ec);
  }
  bool make() {
    const char* t = std::getenv("TMPDIR");
    std::string pattern = std::string(t && *t ? t : "/tmp") + "/zephyrim-tune-XXXXXX";
    if (!mkdtemp(pattern.data())) return false;
    path_ = pattern;
    remove_ = true;
    return true;
  }
  bool use(const std::string& folder) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (!fs::is_directory(folder, ec)) return false;
    path_ = fs::absolute(folder, ec).lexically_normal().string();
    return true;
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  bool remove_ = false;
};

bool is_name_char(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '$';
}

// Replaces the value of name on the .PARAM lines of text (".PARAM A=1 B={A*2}");
// returns the number of values replaced.
int replace_param(std::string& text, const std::string& name, const std::string& value) {
  int replaced = 0;
  std::string out;
  for (const auto line_view : split_lines(text)) {
    std::string line(line_view);
    const size_t start = line.find_first_not_of(" \t");
    if (start != std::string::npos && line.size() >= start + 6 && iequals(line.substr(start, 6), ".PARAM") &&
        (line.size() == start + 6 || !is_name_char(line[start + 6]))) {
      size_t i = start + 6;
      while (i < line.size()) {
        // A name, blanks, '=', blanks, then the value up to a blank outside braces.
        while (i < line.size() && !is_name_char(line[i])) ++i;
        const size_t name_start = i;
        while (i < line.size() && is_name_char(line[i])) ++i;
        const std::string found = line.substr(name_start, i - name_start);
        size_t j = i;
        while (j < line.size() && (line[j] == ' ' || line[j] == '\t')) ++j;
        if (j >= line.size() || line[j] != '=') continue;
        ++j;
        while (j < line.size() && (line[j] == ' ' || line[j] == '\t')) ++j;
        size_t end = j;
        int depth = 0;
        while (end < line.size() && (depth > 0 || (line[end] != ' ' && line[end] != '\t'))) {
          if (line[end] == '{' || line[end] == '(') ++depth;
          if ((line[end] == '}' || line[end] == ')') && depth > 0) --depth;
          ++end;
        }
        if (iequals(found, name)) {
          line.replace(j, end - j, value);
          end = j + value.size();
          ++replaced;
        }
        i = end;
      }
    }
    out += line;
    out += '\n';
  }
  text = std::move(out);
  return replaced;
}

// The file a relative include names in the schematic's folder, as an absolute
// name, so that the netlist and statements file in the scratch folder still find
// it; none when the name is absolute, holds more than a file name or is not there.
std::optional<std::string> absolute_include(std::string name, const fs::path& folder) {
  if (name.size() >= 2 && (name.front() == '"' || name.front() == '\'') && name.back() == name.front())
    name = name.substr(1, name.size() - 2);
  if (name.empty() || fs::path(name).is_absolute() || name.find_first_of(" \t\"'") != std::string::npos)
    return std::nullopt;
  std::error_code ec;
  const fs::path file = fs::absolute(folder / name, ec).lexically_normal();
  if (ec || !fs::is_regular_file(file, ec)) return std::nullopt;
  return file.string();
}

// ".INC name" and ".LIB name" lines of the statements file that name a file of
// the schematic's folder name it by its absolute path.
void anchor_includes(std::string& text, const fs::path& folder) {
  std::string out;
  for (const auto line_view : split_lines(text)) {
    std::string line(line_view);
    const size_t start = line.find_first_not_of(" \t");
    if (start != std::string::npos && line.size() > start + 5 &&
        (iequals(line.substr(start, 5), ".INC ") || iequals(line.substr(start, 5), ".LIB "))) {
      const size_t first = line.find_first_not_of(" \t", start + 5);
      const size_t last = line.find_last_not_of(" \t\r");
      if (first != std::string::npos && last >= first)
        if (const auto file = absolute_include(line.substr(first, last + 1 - first), folder))
          line = line.substr(0, first) + "\"" + *file + "\"";
    }
    out += line;
    out += '\n';
  }
  text = std::move(out);
}

// Sets the value of every part whose reference is the name; returns how many.
int set_part_values(Schematic& s, const Setting& setting, Notify& notify) {
  int set = 0;
  const int current = s.current_page();
  for (int n = 0; n < s.page_count() && n < static_cast<int>(s.pages.size()); ++n) {
    if (!page_select(s, n, notify)) break;
    for (const auto& p : s.page().parts)
      if (iequals(p->reference.str(), setting.name)) set += part_set_value(*p, setting.value, notify);
  }
  page_select(s, current, notify);
  return set;
}

void print_outcome(const MeasureOutcome& o) {
  for (size_t k = 0; k < o.values.size(); ++k)
    std::printf("%d\t%s\t%s\t%.15g\n", o.runs[k], o.labels[k].empty() ? "-" : o.labels[k].c_str(),
                o.name.c_str(), o.values[k]);
}

// The listing's #MEASURE statements run on its data; false when one failed.
bool print_measures(const std::string& listing, BatchNotify& notify) {
  NullProgress quiet;
  DataStore store(notify, quiet);
  if (!load_data_file(store, listing)) return false;
  MeasureList list;
  if (const auto text = read_text_file(listing, uint64_t{64} << 20))
    for (const auto line : split_lines(*text))
      if (line.size() > 8 && iequals(line.substr(0, 8), "#MEASURE"))
        measure_parse_statement(list, ascii_upper(line), notify);
  std::vector<MeasureOutcome> outcomes;
  measure_run_all(store, list, &outcomes);
  bool ok = true;
  for (const auto& o : outcomes) {
    print_outcome(o);
    ok &= o.status > 0 && !o.values.empty();
  }
  return ok;
}

int tune(const Arguments& a) {
  const std::string& path = a.positionals[0];
  std::vector<Setting> settings;
  for (size_t k = 1; k < a.positionals.size(); ++k) {
    const std::string& word = a.positionals[k];
    const size_t eq = word.find('=');
    if (eq == 0 || eq == std::string::npos || eq + 1 == word.size())
      return usage_error(a, "'" + word + "' is not PART=VALUE");
    settings.push_back({word.substr(0, eq), word.substr(eq + 1)});
  }
  const std::string out = a.text("--output");
  if (!out.empty()) {
    const std::string ext = ascii_lower(fs::path(out).extension().string());
    if (ext != ".png" && ext != ".svg" && ext != ".pdf" && ext != ".bmp")
      return usage_error(a, "the picture must be a .png, .svg, .pdf or .bmp file");
  }
  if (a.has("--kind") && analysis_kind(a.text("--kind")) < 0)
    return usage_error(a, "--kind needs an analysis kind");

  BatchNotify notify(kSchematicTitle, a.answer);
  SchematicLoad load = schematic_load(path, notify, true);
  if (!load.schematic) return 2;
  Schematic& s = *load.schematic;
  const NetlistFiles user = netlist_files(path);
  const std::string mis_path = user.in_folder(user.base + ".MIS");
  std::optional<std::string> mis = read_text_file(mis_path, 1 << 20);
  for (const Setting& setting : settings) {
    if (set_part_values(s, setting, notify) > 0) continue;
    if (mis && replace_param(*mis, setting.name, setting.value) > 0) continue;
    std::fprintf(stderr, "zephyrim tune: no part %s in %s and no .PARAM %s in %s\n", setting.name.c_str(),
                 path.c_str(), setting.name.c_str(), mis_path.c_str());
    return 2;
  }

  ScratchFolder folder;
  if (a.has("--folder")) {
    std::error_code ec;
    const fs::path own = fs::absolute(user.folder.empty() ? "." : user.folder, ec).lexically_normal();
    if (!folder.use(a.text("--folder")) || fs::equivalent(own, folder.path(), ec)) {
      std::fprintf(stderr, "zephyrim tune: cannot run in %s: %s\n", a.text("--folder").c_str(),
                   fs::equivalent(own, folder.path(), ec) ? "the schematic's own results are there"
                                                          : "no such folder can be made");
      return 2;
    }
  } else if (!folder.make()) {
    std::fprintf(stderr, "zephyrim tune: cannot make a scratch folder\n");
    return 2;
  }

  // The netlist's companions: the statements file (with its new .PARAM values)
  // and the alternate commands, which it includes by name from its own folder.
  NetlistOptions o;
  o.files = user;
  o.files.folder = folder.path();
  o.files.netlist = o.files.in_folder(user.base + ".CIR");
  o.files.map = o.files.in_folder(user.base + ".MAP");
  o.files.backup.clear();
  const fs::path user_folder = user.folder.empty() ? fs::path(".") : fs::path(user.folder);
  if (mis) anchor_includes(*mis, user_folder);
  for (const auto& link : s.links)
    if (link->kind != kLinkMdb && link->file())
      if (const auto file = absolute_include(*link->file(), user_folder)) link->texts[0] = *file;
  if (mis && !write_file_atomic(o.files.in_folder(user.base + ".MIS"), *mis)) {
    notify.error("Cannot write " + o.files.in_folder(user.base + ".MIS"));
    return 2;
  }
  if (const auto alt = read_text_file(user.in_folder(user.base + ".ALT")))
    write_file_atomic(o.files.in_folder(user.base + ".ALT"), *alt);
  o.commands.default_simulator = true;
  o.commands.statistics_file = default_statistics_file();
  SimulationSetup setup;
  if (load_setup(setup, user.in_folder(user.base + ".SIM"), notify)) o.setup = &setup;
  o.mode = kNetlistRun;
  if (compile_netlist(s, o, notify) <= 0) return 2;

  const std::string zsim = program_folder() + "zsim";
  const ProcessResult run = process_run({zsim, user.base + ".CIR"}, folder.path(), kRunTimeoutSeconds);
  const std::string listing = o.files.in_folder(user.base + ".OUT");
  if (run.start_error || !file_exists(listing)) {
    std::fprintf(stderr, "zephyrim tune: %s did not run: %s%s\n", zsim.c_str(),
                 run.start_error ? std::strerror(run.start_error) : "", run.output.c_str());
    return 2;
  }
  int status = run.exit_code == 0 ? 0 : 1;
  // A viewer open on a kept folder's results follows the run, as it follows the editor's tuner.
  if (a.has("--folder")) broadcast_post({kZsDataUpdate, kDataUpdateResults, data_file_tag(listing)});
  if (status) std::fputs(run.output.c_str(), stderr);
  BatchNotify viewer(kTraceryTitle, a.answer);
  if (!print_measures(listing, viewer)) status = 1;

  if (!out.empty()) {
    std::vector<std::string> draw{program_folder() + kDrawingProgram, "plot", listing, "-o",
                                  fs::absolute(out).string()};
    if (a.has("--kind")) draw.insert(draw.end(), {"--kind", a.text("--kind")});
    const ProcessResult drawn = process_run(draw, {}, kRunTimeoutSeconds);
    if (drawn.exit_code != 0) {
      std::fprintf(stderr, "zephyrim tune: the picture was not drawn\n%s", drawn.output.c_str());
      status = 1;
    }
  }
  return status;
}

std::vector<std::string_view> tune_positionals() {
  std::vector<std::string_view> names{"FILE.sch", "PART=VALUE"};
  names.insert(names.end(), kMaxValues - 1, "[PART=VALUE]");
  return names;
}

}  // namespace

std::vector<Verb> tune_verbs() {
  const std::vector<OptionSpec> options{kOutputOption,
                                        {.name = "--kind", .needs = "an analysis kind"},
                                        {.name = "--folder", .needs = "a folder name"}};
  return {{"tune", kTuneSummary, kTuneUsage, tune_positionals(), options, tune}};
}

}  // namespace zephyrim
