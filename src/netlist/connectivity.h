#pragma once
// The connectivity pass: which wires, pins, ground symbols, rails, I/O pins and
// node labels of one circuit scope form one electrical node, and the SPICE name
// of every node. Nothing in the file stores a node; everything here is derived
// from geometry and labels, and the writers only read the results.
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "common/fixed_text.h"
#include "common/notify.h"
#include "schematic/schematic.h"

namespace zephyrim {

struct NodeEntry {
  int connections = 0;  // wires and pins joined to the node
  int pins = 0;         // part pins (ground pins for node 0)
  int auto_name = 0;    // 1 while the node still needs an automatic number
  int display_state = -1;
  int display_direction = 0;
  int display_flag = 0;
  int display_x = 0;
  int display_y = 0;
  FixedText<32> name;
};

// The node table of one scope, kept between passes.
struct NodeTable {
  std::vector<NodeEntry> entries;  // allocated size is entries.size()
  int count = 0;                   // entries in use, ground included
  int next_node = 1;               // next free automatic node number

  int size() const { return static_cast<int>(entries.size()); }
};

// Connection kinds of wires_connected; 0 is no connection.
enum WireConnection : int {
  kNotConnected = 0,
  kConnectEnds = 1,         // an end point of each coincides
  kConnectInLine = 2,       // same line, extents overlap or touch
  kConnectDot = 3,          // perpendicular crossing with a junction dot on it
  kConnectEndInterior = 4,  // an end of the first lies inside the second
  kConnectEndOnEnd = 5,     // an end of the first lies on an end of the second
  kConnectOtherEnd = 6,     // an end of the second lies on the first
  kConnectSameLabel = 7,    // both carry the same label record
};

// What a pass runs for. The map and part-list modes renumber every scope, hand
// each table to write_table and report open pins and floating wires.
enum ConnectivityMode : int {
  kConnectivityEdit = 0,      // while editing: dirty scopes only, node numbers for the sheet
  kConnectivityMap = 1,       // for the netlist and its map file
  kConnectivityPartList = 2,  // for the NET section of the part list
};

// Results of the pass, kept per scope between calls.
struct Connectivity {
  std::map<const BlockRecord*, NodeTable> tables;
  bool force_rebuild = false;  // cleared at the end of every call

  // Receives each line meant for the map file (errors and warnings of the pass).
  std::function<void(const std::string&)> map_text;
  // Called once per rebuilt scope in the map and part-list modes, after
  // numbering and before the table is stored.
  std::function<void(const BlockRecord& scope, const NodeTable& table, int mode)> write_table;

  // Counts of the last call.
  int bad_labels = 0;
  int open_pins = 0;
  int floating_wires = 0;

  const NodeTable* table(const BlockRecord* scope) const;
};

// Runs the pass over every scope of the current page that is dirty (or all of
// them when a rebuild is forced, or in the map and part-list modes). mode is a
// ConnectivityMode. Returns 1 when nothing had to be done, 2 when a scope was
// rebuilt, 0 for a circuit without parts (or a pinless scope in the edit mode),
// -1 for bad labels or a cancelled notice.
int build_connectivity(Schematic& s, Connectivity& c, int mode, Notify& notify);

// The same pass joining wires and pins by pairwise tests over all records, as
// the rule reads. Quadratic; kept as the yardstick of the indexed version.
int build_connectivity_reference(Schematic& s, Connectivity& c, int mode, Notify& notify);

// Either form of the pass, for callers that run it on every page.
using ConnectivityPass = int (*)(Schematic&, Connectivity&, int, Notify&);

// Attaches one label placed by the user to its wire or pin by the search of the
// pass. A labelled wire keeps its label (warning); a labelled pin's label is
// replaced when the user says yes. Returns 1 when attached.
int label_attach(Schematic& s, LabelRecord& label, Notify& notify);

// The connection test of two wires of one scope of the page; junction dots of
// that scope decide crossings.
int wires_connected(const WireRecord& a, const WireRecord& b, const Page& page, const BlockRecord* scope);

// Name of node i of a table; empty when out of range.
std::string node_name(const NodeTable& table, int i);
// Node of pin k of a part (-1 when unassigned or out of range).
int part_pin_node(const PartRecord& p, int k);

// Tip and the symbol-side end of pin k of a placed part, after the page scale
// and the part's orientation.
struct PinLine {
  int tip_x = 0, tip_y = 0;
  int end_x = 0, end_y = 0;
};
PinLine part_pin_line(const Page& page, const PartRecord& p, int k);

}  // namespace zephyrim
