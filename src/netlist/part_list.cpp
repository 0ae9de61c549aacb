#include "netlist/part_list.h"

#include <algorithm>

#include "common/file_io.h"
#include "common/text_format.h"
#include "netlist/netlist_template.h"
#include "symbols/symbol_record.h"

namespace zephyrim {

namespace {

// Records made before any block existed belong to the top circuit.
bool owned_by(const BlockRecord* owner, const BlockRecord& scope, const Page& page) {
  return owner == &scope || (owner == nullptr && &scope == page.top());
}

void append_parts(std::string& out, const Page& page, const BlockRecord& scope, int& count) {
  for (const auto& p : page.parts) {
    if (!owned_by(p->owner, scope, page) || !part_listed(*p)) continue;
    out += "[\n";
    (out += p->reference.view()) += '\n';
    (out += p->symbol->name.view()) += '\n';
    (out += p->value.view()) += '\n';
    for (const auto& param : p->params) (out += param.value_or("")) += '\n';
    out += "]\n";
    ++count;
  }
}

// One scope's nodes, each with the listed parts' pins on it, in part-list and pin order.
void append_nets(std::string& out, const Page& page, const BlockRecord& scope, const NodeTable& table) {
  const bool block = &scope != page.top();
  if (block) out += strprintf("\n*Subcircuit: %s\n", std::string(scope.name.view()).c_str());
  const int nodes = std::max(0, std::min(table.count, table.size()));
  std::vector<std::string> pins(static_cast<size_t>(nodes));
  for (const auto& p : page.parts) {
    if (!owned_by(p->owner, scope, page) || !part_listed(*p)) continue;
    const int n = std::min<int>(p->symbol->pin_count(), static_cast<int>(p->pin_nodes.size()));
    for (int k = 0; k < n; ++k) {
      const int node = p->pin_nodes[k].node;
      if (node >= 0 && node < nodes) ((pins[node] += p->reference.view()) += strprintf(",%d", k + 1)) += '\n';
    }
  }
  for (int i = 0; i < nodes; ++i)
    ((((out += "(\n") += table.entries[i].name.view()) += '\n') += pins[i]) += ")\n";
  if (block) out += strprintf("\n*End subcircuit: %s\n", std::string(scope.name.view()).c_str());
}

}  // namespace

bool part_listed(const PartRecord& part) {
  if (!part.symbol || part.symbol->kind != kSymbolPart) return false;
  const char letter = element_letter(part);
  return letter != 'V' && letter != 'I';
}

PartList part_list_text(Schematic& s, Connectivity& c, Notify& notify) {
  PartList r;
  std::string& out = r.text;
  const int current = s.current_page();
  const int sheets = std::min(s.page_count(), static_cast<int>(s.pages.size()));
  const auto sheet_heading = [&](int n) {
    out += strprintf("\n*Sheet %d: %s\n", n + 1, std::string(s.page().title.title1.view()).c_str());
  };

  for (int n = 0; n < sheets && page_select(s, n, notify); ++n) {
    const Page& page = s.page();
    if (n == 0) {
      out += strprintf("%s\n*Revision: %s\n*Date %s\n", std::string(page.title.title1.view()).c_str(),
                       std::string(page.title.revision.view()).c_str(),
                       std::string(page.title.revised.view()).c_str());
      out += "\n*PARTS (attrs: ref,symbol,value,par1,par2,par3,par4)\n\n";
    } else {
      sheet_heading(n);
    }
    if (!page.top()) continue;
    append_parts(out, page, *page.top(), r.parts);
    for (const auto& b : page.blocks) {
      if (b.get() == page.top()) continue;
      out += strprintf("\n*Subcircuit: %s\n", std::string(b->name.view()).c_str());
      append_parts(out, page, *b, r.parts);
      out += strprintf("\n*End subcircuit: %s\n", std::string(b->name.view()).c_str());
    }
  }
  out += "\n*END PARTS\n";

  // The pass hands over each scope it numbers; the hooks it had are put back.
  auto saved_text = std::move(c.map_text);
  auto saved_table = std::move(c.write_table);
  c.map_text = nullptr;
  c.write_table = [&](const BlockRecord& scope, const NodeTable& table, int mode) {
    if (mode == kConnectivityPartList) append_nets(out, s.page(), scope, table);
  };
  for (int n = 0; n < sheets && page_select(s, n, notify); ++n) {
    if (n == 0)
      out += "\n*NET (node,part,pin#)\n\n";
    else
      sheet_heading(n);
    if (build_connectivity(s, c, kConnectivityPartList, notify) <= 0) {
      r.net_failed = true;
      break;
    }
  }
  c.map_text = std::move(saved_text);
  c.write_table = std::move(saved_table);
  out += "\n*END NET\n";
  page_select(s, current, notify);
  return r;
}

int part_list_write(Schematic& s, const std::string& path, Notify& notify, bool* net_failed) {
  Connectivity c;
  const PartList list = part_list_text(s, c, notify);
  if (net_failed) *net_failed = list.net_failed;
  if (!write_file_atomic(path, list.text)) {
    notify.error(strprintf("Cannot open part list file %s", path.c_str()));
    return -1;
  }
  if (list.net_failed) notify.information("Error writing part list net");
  if (list.parts > 0)
    notify.information(strprintf("Part list (%d parts) saved to %s", list.parts, path.c_str()));
  else
    notify.information("Circuit has no parts");
  return list.parts;
}

}  // namespace zephyrim
