// zephyrim map: load a schematic as the editor does and write its cross-reference
// map, running the connectivity pass over every page with its notices on stderr.
#include <cstdio>

#include "batch/batch.h"
#include "common/notify.h"
#include "netlist/connectivity.h"
#include "netlist/map_file.h"
#include "netlist/part_list.h"
#include "schematic/schematic_file.h"

namespace zephyrim {

namespace {

constexpr const char* kMapUsage =
    "usage: zephyrim map FILE.sch [-o OUT.map]\n"
    "Loads a schematic, works out the nodes of every page and writes the cross-reference\n"
    "map to OUT.map (-o or --output), by default beside the schematic with the extension MAP.\n"
    "Exit status: 0 written, 1 written from a partly loaded schematic or with bad labels,\n"
    "2 not loaded or not written.\n";

constexpr const char* kMapSummary = "write the cross-reference map of a schematic's nodes";
int map(const Arguments& a) {
  const std::string& path = a.positionals[0];
  // Questions take "yes"/"OK" unless told otherwise, so that the load and the
  // pass go as far as they can; bad labels still show in the exit status.
  BatchNotify notify(kSchematicTitle, a.answer);
  SchematicLoad load = schematic_load(path, notify, true);
  if (!load.schematic) return 2;
  const std::string out = a.text("--output", map_file_name(path));

  Connectivity c;
  int result = 0;
  if (!map_file_write(*load.schematic, c, out, notify, &result)) return 2;
  return load.code != 0 || result < 0 ? 1 : 0;
}

constexpr const char* kPartListUsage =
    "usage: zephyrim partlist FILE.sch [-o OUT.txt]\n"
    "Loads a schematic and writes its part list as the editor's File > Part List does:\n"
    "every part with its reference, symbol, value and four parameter lines (voltage and\n"
    "current sources, grounds, rails and I/O pins left out), then every node with the\n"
    "part pins on it, sheet by sheet. Without -o the list goes to standard output.\n"
    "Exit status: 0 written, 1 written from a partly loaded schematic or with the NET\n"
    "section cut short, 2 not loaded or not written.\n";

constexpr const char* kPartListSummary = "write the part list of a schematic (parts, then nodes and pins)";

int partlist(const Arguments& a) {
  BatchNotify notify(kSchematicTitle, a.answer);
  SchematicLoad load = schematic_load(a.positionals[0], notify, true);
  if (!load.schematic) return 2;
  bool cut_short = false;
  if (a.has("--output")) {
    if (part_list_write(*load.schematic, a.text("--output"), notify, &cut_short) < 0) return 2;
  } else {
    Connectivity c;
    const PartList list = part_list_text(*load.schematic, c, notify);
    std::fwrite(list.text.data(), 1, list.text.size(), stdout);
    cut_short = list.net_failed;
  }
  return load.code != 0 || cut_short ? 1 : 0;
}

}  // namespace

std::vector<Verb> map_verbs() {
  return {{"map", kMapSummary, kMapUsage, {"FILE.sch"}, {kOutputOption}, map},
          {"partlist", kPartListSummary, kPartListUsage, {"FILE.sch"}, {kOutputOption}, partlist}};
}

}  // namespace zephyrim
