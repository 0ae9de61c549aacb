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
    "with -o) with its cross-reference map (.MAP) and, from the simulation setup FILE.SIM,\n"
    "its analysis command file (.CMD). With --model, writes the whole schematic, or the\n"
    "subcircuit block NAME of the first page that has one, as a subcircuit model into\n"
    "FILE.lib, a new file or, with --append, after what the file holds.\n"
    "Exit status: 0 written, 1 written but a check failed (bad labels, rails, no\n"
    "analyses), 2 not loaded or not written.\n";

int fail() {
  std::fputs(kNetlistUsage, stderr);
  return 2;
}

std::string today() {
  char text[32];
  const std::time_t now = std::time(nullptr);
  std::strftime(text, sizeof text, "%d-%b-%Y", std::localtime(&now));
  return text;
}

}  // namespace

int batch_netlist(const Args& a) {
  if (a.size() == 1 && a[0] == "--help") {
    std::fputs(kNetlistUsage, stdout);
    return 0;
  }
  std::string path, out, model, block;
  bool append = false, has_block = false;
  int simulator = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    const bool value = i + 1 < a.size() && !a[i + 1].empty();
    if (a[i] == "-o" && value && out.empty()) {
      out = a[++i];
    } else if (a[i] == "--model" && value && model.empty()) {
      model = a[++i];
    } else if (a[i] == "--block" && value && !has_block) {
      block = a[++i];
      has_block = true;
    } else if (a[i] == "--append") {
      append = true;
    } else if (a[i] == "--simulator" && value && a[i + 1].size() == 1 && a[i + 1][0] >= '0' &&
               a[i + 1][0] <= '3') {
      simulator = a[++i][0] - '0';
    } else if (a[i].empty() || a[i][0] == '-' || !path.empty()) {
      return fail();
    } else {
      path = a[i];
    }
  }
  if (path.empty() || (model.empty() && (append || has_block)) || (!model.empty() && !out.empty()))
    return fail();

  // Questions take "OK": the netlist is written as far as it goes, and a
  // failed check still shows in the exit status.
  BatchNotify notify(kSchematicTitle, 1);
  SchematicLoad load = schematic_load(path, notify, true);
  if (!load.schematic) return 2;
  Schematic& s = *load.schematic;
  NetlistOptions o;
  o.files = netlist_files(path);
  o.commands.default_simulator = simulator == 0;
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
    BlockRecord* found = nullptr;
    for (int n = 0; n < s.page_count() && !found; ++n) {
      page_select(s, n, notify);
      for (const auto& b : s.page().blocks)
        if (b.get() != s.page().top() && iequals(b->name.str(), block)) found = b.get();
    }
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

}  // namespace zephyrim
