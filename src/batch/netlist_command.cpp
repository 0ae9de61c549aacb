// zephyrim netlist: the SPICE circuit file of a schematic with its map and
// analysis command files, or a subcircuit model of it or of one block.
#include <cstdio>
#include <ctime>

#include "batch/batch.h"
#include "common/file_io.h"
#include "common/notify.h"
#include "common/text_format.h"
#include "netlist/netlist_writer.h"
#include "schematic/schematic_file.h"
#include "simulation/sim_setup.h"

namespace zephyrim {

namespace {

constexpr const char* kNetlistUsage =
    "usage: zephyrim netlist FILE.sch [-o FILE.cir] [--simulator 0|1|2|3]\n"
    "       zephyrim netlist FILE.sch --model FILE.lib [--append] [--block NAME]\n"
    "Writes the SPICE circuit file of a schematic (FILE.CIR beside it, or the file given\n"
    "with -o or --output) with its cross-reference map (.MAP) and, from the simulation\n"
    "setup FILE.SIM, its analysis command file (.CMD). With --model, writes the whole\n"
    "schematic, or the subcircuit block NAME of the first page that has one, as a\n"
    "subcircuit model into FILE.lib, a new file or, with --append, after what the file\n"
    "holds.\n"
    "Exit status: 0 written, 1 written but a check failed (bad labels, rails, no\n"
    "analyses), 2 not loaded or not written.\n";

std::string today() {
  char text[32];
  const std::time_t now = std::time(nullptr);
  std::strftime(text, sizeof text, "%d-%b-%Y", std::localtime(&now));
  return text;
}

// The subcircuit block of that name on the first page that has one, left as the
// current page; null when no page has it.
BlockRecord* find_block(Schematic& s, const std::string& name, Notify& notify) {
  for (int n = 0; n < s.page_count(); ++n) {
    page_select(s, n, notify);
    for (const auto& b : s.page().blocks)
      if (b.get() != s.page().top() && iequals(b->name.str(), name)) return b.get();
  }
  return nullptr;
}

constexpr const char* kNetlistSummary = "write the SPICE netlist of a schematic, or a subcircuit model of it";
int netlist(const Arguments& a) {
  const std::string& path = a.positionals[0];
  const std::string out = a.text("--output"), model = a.text("--model"), block = a.text("--block");
  const bool append = a.has("--append"), has_block = a.has("--block");
  if (model.empty() && (append || has_block)) return usage_error(a, "--append and --block go with --model");
  if (!model.empty() && !out.empty()) return usage_error(a, "--model names the file to write: leave out -o");

  // Questions take "OK" unless told otherwise: the netlist is written as far as it goes, and a
  // failed check still shows in the exit status.
  BatchNotify notify(kSchematicTitle, a.answer);
  SchematicLoad load = schematic_load(path, notify, true);
  if (!load.schematic) return 2;
  Schematic& s = *load.schematic;
  NetlistOptions o;
  o.files = netlist_files(path);
  o.commands.default_simulator = a.integer("--simulator", 0) == 0;
  o.commands.statistics_file = default_statistics_file();
  SimulationSetup setup;
  if (model.empty()) {
    if (!out.empty()) o.files.netlist = out;
    if (load_setup(
            setup,
            o.files.folder.empty() ? o.files.base + ".SIM" : o.files.folder + "/" + o.files.base + ".SIM",
            notify))
      o.setup = &setup;
    o.mode = kNetlistRun;
  } else {
    o.files.netlist = model;
    o.mode = append ? kNetlistModelAppend : kNetlistModelNew;
    o.model_name = o.files.base;
  }
  int r = 0;
  if (has_block) {
    BlockRecord* found = find_block(s, block, notify);
    if (!found) {
      notify.error("No SUBCKT named " + block);
      return 2;
    }
    o.mode = append ? kNetlistModelAppend : 0;
    r = compile_subcircuit_model(s, *found, o, today(), notify);
  } else {
    r = compile_netlist(s, o, notify);
  }
  if (r == 0) return 2;
  return r < 0 || load.code != 0 ? 1 : 0;
}

}  // namespace

std::vector<Verb> netlist_verbs() {
  const std::vector<OptionSpec> options{kOutputOption,
                                        kSimulatorOption,
                                        {.name = "--model", .needs = "a file name"},
                                        {.name = "--append", .kind = ValueKind::flag},
                                        {.name = "--block", .needs = "a block name"}};
  return {{"netlist", kNetlistSummary, kNetlistUsage, {"FILE.sch"}, options, netlist}};
}

}  // namespace zephyrim
