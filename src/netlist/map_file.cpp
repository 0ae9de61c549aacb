#include "netlist/map_file.h"

#include <algorithm>
#include <utility>

#include "common/file_io.h"
#include "common/text_format.h"
#include "schematic/schematic_file.h"
#include "symbols/symbol_record.h"

namespace zephyrim {

namespace {

// Records made before any block existed belong to the top circuit.
bool owned_by(const BlockRecord* owner, const BlockRecord& scope, const Page& page) {
  return owner == &scope || (owner == nullptr && &scope == page.top());
}

// Wrapping happens before an append, so a line can run past this by one entry.
constexpr size_t kPinLineLimit = 45;
// Continuation lines start under the pin column of the first line.
const std::string kPinIndent(28, ' ');

// Every part pin of the scope, grouped by node, in part-list and pin order.
std::vector<std::vector<std::pair<const PartRecord*, int>>> pins_by_node(const Page& page,
                                                                         const BlockRecord& scope,
                                                                         int nodes) {
  std::vector<std::vector<std::pair<const PartRecord*, int>>> by_node(nodes);
  for (const auto& p : page.parts) {
    // Rails, I/O pins and ground symbols name nodes but are not parts of the listing.
    if (!p->symbol || p->symbol->kind != kSymbolPart || !owned_by(p->owner, scope, page)) continue;
    const int pins = std::min<int>(p->symbol->pin_count(), static_cast<int>(p->pin_nodes.size()));
    for (int k = 0; k < pins; ++k) {
      const int node = p->pin_nodes[k].node;
      if (node >= 0 && node < nodes) by_node[node].emplace_back(p.get(), k);
    }
  }
  return by_node;
}

void append_pin_list(std::string& out, const std::vector<std::pair<const PartRecord*, int>>& pins) {
  std::string line;
  for (const auto& [part, k] : pins) {
    if (line.size() > kPinLineLimit) {
      out += line + "\n";
      line = kPinIndent;
    }
    line += strprintf("%s(%d),", part->reference.str().c_str(), k + 1);
  }
  if (!line.empty() && line.back() == ',') line.pop_back();
  if (line.size() > 1) out += line + "\n";
}

}  // namespace

std::string map_file_name(const std::string& path) {
  return with_extension(path, "MAP");
}

std::string map_file_header() {
  return strprintf("ZEPHYRIM SCHEMATIC EDITOR %s  NETLIST CROSS REFERENCE MAP\n\n", kMapProgramVersion);
}

std::string map_node_table(const Page& page, const BlockRecord& scope, const NodeTable& table) {
  std::string out;
  if (&scope != page.top()) out += strprintf("*** SUBKCT: %s\n\n", scope.name.str().c_str());
  out += " NODE  NAME         WIRES   PART PINS\n\n";
  const int nodes = std::max(0, std::min(table.count, table.size()));
  std::vector<int> wires(nodes, 0);
  for (const auto& w : page.wires)
    if (w->node >= 0 && w->node < nodes && owned_by(w->owner, scope, page)) ++wires[w->node];
  const auto pins = pins_by_node(page, scope, nodes);
  for (int i = 0; i < nodes; ++i) {
    out += strprintf("%5d  %-12s ", i, table.entries[i].name.str().c_str());
    out += strprintf("%5d   ", wires[i]);
    append_pin_list(out, pins[i]);
    out += "\n";
  }
  out += "\n";
  return out;
}

MapCapture::MapCapture(const Schematic& s, Connectivity& c, std::string& out)
    : c_(c), saved_text_(std::move(c.map_text)), saved_table_(std::move(c.write_table)) {
  c.map_text = [&out](const std::string& text) { out += text; };
  c.write_table = [&out, &s](const BlockRecord& scope, const NodeTable& table, int mode) {
    if (mode == kConnectivityMap) out += map_node_table(s.page(), scope, table);
  };
}

MapCapture::~MapCapture() {
  c_.map_text = std::move(saved_text_);
  c_.write_table = std::move(saved_table_);
}

std::string map_file_text(Schematic& s, Connectivity& c, Notify& notify, int* result, ConnectivityPass pass) {
  std::string out = map_file_header();
  int outcome = 0;
  {
    MapCapture capture(s, c, out);
    const int current = s.current_page();
    bool failed = false;
    for (int n = 0; n < s.page_count() && n < static_cast<int>(s.pages.size()); ++n) {
      if (!page_select(s, n, notify)) break;
      if (n > 0) out += strprintf("SHEET %d:\n\n", n + 1);
      const int r = pass(s, c, kConnectivityMap, notify);
      if (r < 0) failed = true;
      outcome = std::max(outcome, r);
    }
    page_select(s, current, notify);
    if (failed) outcome = -1;
  }
  if (result) *result = outcome;
  return out;
}

bool map_file_write(Schematic& s, Connectivity& c, const std::string& path, Notify& notify, int* result) {
  const std::string text = map_file_text(s, c, notify, result);
  if (!write_file_atomic(path, text)) {
    notify.error(strprintf("Cannot open netlist map file %s", path.c_str()));
    return false;
  }
  return true;
}

}  // namespace zephyrim
