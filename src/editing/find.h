#pragma once
// The Find command of the schematic editor: looks for parts, node labels, text
// objects, subcircuit blocks or node numbers, selects what it finds on the
// current page and says what it found. The dialog only fills in FindOptions;
// the editor scrolls to the first hit.
//
// Matching
//   - Parts by reference; with `part_values` also by value. Labels by name,
//     subcircuit blocks by name (the top circuit has none). All compare without
//     regard to case, as SPICE names do. `whole` asks for the whole name; without
//     it the text may occur anywhere in the name.
//   - Text objects by content: the text occurs anywhere in it, without regard to
//     case, whatever `whole` says (a sentence is never typed out in full).
//   - Node numbers: the node index the connectivity pass keeps on wires and pins
//     (WireRecord::node, PinNode::node). The text must be an integer; a negative
//     one finds nothing, since -1 only marks an unassigned wire or pin. One node
//     is one index within one circuit scope (the top circuit or a block) of one
//     page, since every scope numbers its own nodes: it is found at its first
//     wire, or at its first pin when it has no wire, and all its wires are
//     selected.
//   The search text loses leading and trailing blanks; nothing left is
//   "Nothing to find".
//
// Messages (the qualifier is "" for a whole-name search and " (partial)" for a
// search of part of a name; node numbers always have ""):
//   "Part matching%s %s not found"       "Part%s %s found at %s"        "%d parts found matching%s %s"
//   "Label matching%s %s not found"      "Label%s %s found at %s"       "%d labels found matching%s %s"
//   "Subcircuit matching%s %s not found" "Subcircuit%s %s found at %s"  "%d subcircuits found matching%s %s"
//   "Node matching%s %s not found"       "Node%s %s found at %s"        "%d nodes found matching%s %s"
//   "Text object matching '%s' not found" "Text object '%s' found at %s" "%d text objects found matching
//   '%s'"
// with the search text as typed (trimmed). A single hit gives its position:
// "[%5.2f,%5.2f]" in hundredths of schematic units (a part at 120, 80 is at
// [ 1.20, 0.80]); a search of all pages gives "[%5.2f:%s,%5.2f]", x, the page
// number from 1, y, for every hit, because the hit may lie on another page.
// Hits show as information, an unsuccessful search as a warning, a node text
// that is no integer ("Invalid node number - must be an integer") as an error.
//
// Selection: when anything is found, the selection of the current page is
// replaced by the hits on it (for a block, every object of the block); hits on
// other pages are only listed. An unsuccessful or invalid search leaves the
// selection alone. Hits on the current page come first, then those of the
// other pages in page order, each page in list order.
#include <string>
#include <vector>

#include "common/notify.h"
#include "schematic/schematic.h"

namespace zephyrim {

enum class FindKind { part, label, text, subcircuit, node };

struct FindOptions {
  FindKind kind = FindKind::part;
  std::string what;
  bool all_pages = false;
  bool whole = true;         // the whole name, not part of it
  bool part_values = false;  // parts: the value attribute matches too
};

struct FindHit {
  int page = 0;  // from 0
  FindKind kind = FindKind::part;
  // Position in the page's list of that kind (parts, labels, texts, blocks);
  // for a node its first wire, or, with `pin` set, the part holding its pin.
  int index = -1;
  int pin = -1;      // pin of the part at `index` when a node has no wire, else -1
  int x = 0, y = 0;  // schematic units
  bool operator==(const FindHit&) const = default;
};

struct FindResult {
  int count = 0;  // number of hits; 0 also when the search was refused
  std::vector<FindHit> hits;
  std::string message;  // the notice shown
};

// Runs the search, selects the hits of the current page and shows the message.
FindResult schematic_find(Schematic& s, const FindOptions& options, Notify& notify);

// A position as Find shows it: "[%5.2f,%5.2f]", or with page (from 0, shown
// from 1) "[%5.2f:%s,%5.2f]"; page -1 gives the first form.
std::string find_position_text(int x, int y, int page = -1);

}  // namespace zephyrim
