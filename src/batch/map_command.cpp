// zephyrim map: load a schematic as the editor does and write its cross-reference
// map, running the connectivity pass over every page with its notices on stderr.
#include <cstdio>

#include "batch/batch.h"
#include "common/notify.h"
#include "netlist/connectivity.h"
#include "netlist/map_file.h"
#include "schematic/schematic_file.h"

namespace zephyrim {

namespace {

constexpr const char* kMapUsage =
    "usage: zephyrim map FILE.sch [-o OUT.map]\n"
    "Loads a schematic, works out the nodes of every page and writes the cross-reference\n"
    "map to OUT.map, by default beside the schematic with the extension MAP.\n"
    "Exit status: 0 written, 1 written from a partly loaded schematic or with bad labels,\n"
    "2 not loaded or not written.\n";

int bad_arguments() {
  std::fputs(kMapUsage, stderr);
  return 2;
}

}  // namespace

int batch_map(const Args& a) {
  if (a.size() == 1 && a[0] == "--help") {
    std::fputs(kMapUsage, stdout);
    return 0;
  }
  std::string path, out;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] == "-o") {
      if (i + 1 >= a.size() || !out.empty() || a[i + 1].empty()) return bad_arguments();
      out = a[++i];
    } else if (a[i].empty() || a[i][0] == '-' || !path.empty()) {
      return bad_arguments();
    } else {
      path = a[i];
    }
  }
  if (path.empty()) return bad_arguments();

  // Questions are answered "yes"/"OK" so that the load and the pass go as far
  // as they can; bad labels still show in the exit status.
  BatchNotify notify(kSchematicTitle, 1);
  SchematicLoad load = schematic_load(path, notify, true);
  if (!load.schematic) return 2;
  if (out.empty()) out = map_file_name(path);

  Connectivity c;
  int result = 0;
  if (!map_file_write(*load.schematic, c, out, notify, &result)) return 2;
  return load.code != 0 || result < 0 ? 1 : 0;
}

}  // namespace zephyrim
