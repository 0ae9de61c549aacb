#pragma once
// The part list: a plain-text export of the schematic for other tools (a board
// layout program), every part with its attributes, then every node with the
// part pins on it, sheet by sheet.
#include <string>

#include "common/notify.h"
#include "netlist/connectivity.h"
#include "schematic/schematic.h"

namespace zephyrim {

// Ordinary parts are listed, independent voltage and current sources are not
// (nor ground symbols, rails and I/O pins); disabled parts are.
bool part_listed(const PartRecord& part);

struct PartList {
  std::string text;
  int parts = 0;            // parts written
  bool net_failed = false;  // the pass stopped the NET section
};

// The whole text, every sheet made current in turn and the current one made
// current again. The pass's notices of open pins and floating wires reach notify.
PartList part_list_text(Schematic& s, Connectivity& c, Notify& notify);

// Writes the part list to path and reports as the export does ("Part list (%d
// parts) saved to %s", "Circuit has no parts", the errors). Returns the parts
// written, or -1 when the file could not be written; *net_failed (when given)
// tells whether the NET section was cut short.
int part_list_write(Schematic& s, const std::string& path, Notify& notify, bool* net_failed = nullptr);

}  // namespace zephyrim
