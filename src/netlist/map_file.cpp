#include "netlist/map_file.h"

#include <algorithm>
#include <charconv>
#include <span>
#include <string_view>
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
constexpr std::string_view kPinIndent = "                            ";
static_assert(kPinIndent.size() == 28);

// Every part pin of the scope, grouped by node, in part-list and pin order: a
// flat list sorted by node, with where each node's pins begin.
struct PinsByNode {
  std::vector<std::pair<const PartRecord*, int>> pins;
  std::vector<int> first;  // pins of node i: pins[first[i] .. first[i + 1])
};

PinsByNode pins_by_node(const Page& page, const BlockRecord& scope, int nodes) {
  PinsByNode r;
  r.first.assign(static_cast<size_t>(nodes) + 1, 0);
  auto each_pin = [&](auto&& visit) {
    for (const auto& p : page.parts) {
      // Rails, I/O pins and ground symbols name nodes but are not parts of the listing.
      if (!p->symbol || p->symbol->kind != kSymbolPart || !owned_by(p->owner, scope, page)) continue;
      const int pins = std::min<int>(p->symbol->pin_count(), static_cast<int>(p->pin_nodes.size()));
      for (int k = 0; k < pins; ++k) {
        const int node = p->pin_nodes[k].node;
        if (node >= 0 && node < nodes) visit(p.get(), k, node);
      }
    }
  };
  each_pin([&](const PartRecord*, int, int node) { ++r.first[node + 1]; });
  for (int i = 0; i < nodes; ++i) r.first[i + 1] += r.first[i];
  r.pins.resize(static_cast<size_t>(r.first[nodes]));
  std::vector<int> fill(r.first.begin(), r.first.end() - 1);
  each_pin([&](const PartRecord* p, int k, int node) { r.pins[fill[node]++] = {p, k}; });
  return r;
}

// printf's "%*d" and "%-*s", without a format string to parse for every field.
void append_int(std::string& out, long long v, size_t width = 0) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, v).ptr;
  const auto n = static_cast<size_t>(end - digits);
  if (n < width) out.append(width - n, ' ');
  out.append(digits, n);
}

void append_left(std::string& out, std::string_view text, size_t width) {
  out += text;
  if (text.size() < width) out.append(width - text.size(), ' ');
}

void append_pin_list(std::string& out, std::span<const std::pair<const PartRecord*, int>> pins) {
  size_t line = out.size();  // where the line being filled begins
  for (const auto& [part, k] : pins) {
    if (out.size() - line > kPinLineLimit) {
      out += '\n';
      line = out.size();
      out += kPinIndent;
    }
    out += part->reference.view();
    out += '(';
    append_int(out, k + 1);
    out += "),";
  }
  if (out.size() == line) return;
  if (out.back() == ',') out.pop_back();
  out += '\n';
}

}  // namespace

std::string map_file_name(const std::string& path) {
  return with_extension(path, "MAP");
}

std::string map_file_header() {
  return strprintf("ZEPHYRIM SCHEMATIC EDITOR %s  NETLIST CROSS REFERENCE MAP\n\n", kMapProgramVersion);
}

void map_node_table_append(std::string& out, const Page& page, const BlockRecord& scope,
                           const NodeTable& table) {
  if (&scope != page.top()) {
    out += "*** SUBKCT: ";
    out += scope.name.view();
    out += "\n\n";
  }
  out += " NODE  NAME         WIRES   PART PINS\n\n";
  const int nodes = std::max(0, std::min(table.count, table.size()));
  std::vector<int> wires(nodes, 0);
  for (const auto& w : page.wires)
    if (w->node >= 0 && w->node < nodes && owned_by(w->owner, scope, page)) ++wires[w->node];
  const PinsByNode pins = pins_by_node(page, scope, nodes);
  for (int i = 0; i < nodes; ++i) {
    append_int(out, i, 5);
    out += "  ";
    append_left(out, table.entries[i].name.view(), 12);
    out += ' ';
    append_int(out, wires[i], 5);
    out += "   ";
    append_pin_list(out, std::span(pins.pins).subspan(pins.first[i], pins.first[i + 1] - pins.first[i]));
    out += '\n';
  }
  out += '\n';
}

std::string map_node_table(const Page& page, const BlockRecord& scope, const NodeTable& table) {
  std::string out;
  map_node_table_append(out, page, scope, table);
  return out;
}

MapCapture::MapCapture(const Schematic& s, Connectivity& c, std::string& out)
    : c_(c), saved_text_(std::move(c.map_text)), saved_table_(std::move(c.write_table)) {
  c.map_text = [&out](const std::string& text) { out += text; };
  c.write_table = [&out, &s](const BlockRecord& scope, const NodeTable& table, int mode) {
    if (mode == kConnectivityMap) map_node_table_append(out, s.page(), scope, table);
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
