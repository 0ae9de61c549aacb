#include "editing/paste_buffer.h"

#include <algorithm>
#include <climits>
#include <unordered_map>

#include "common/text_format.h"
#include "editing/subckt.h"

namespace zephyrim {

namespace {

template <typename T>
std::unordered_map<const T*, int> positions(const std::vector<std::unique_ptr<T>>& list) {
  std::unordered_map<const T*, int> m;
  for (size_t i = 0; i < list.size(); ++i) m.emplace(list[i].get(), static_cast<int>(i));
  return m;
}

// The table's definition for a copied symbol: an identical one already there, or the copy added.
const SymbolRecord* symbol_for(Schematic& s, const SymbolRecord& copy, Notify& notify) {
  const int i = symtab_find(s, copy);
  if (i >= 0) return s.symbols.entries[i].definition.get();
  const int at =
      symtab_add(s, copy.name.str(), std::make_unique<SymbolRecord>(copy), kOriginSchematic, notify);
  return at < 0 ? nullptr : s.symbols.entries[at].definition.get();
}

}  // namespace

int paste_copy(const Schematic& s, PasteBuffer& b, Notify& notify) {
  const Page& page = s.page();
  PasteBuffer out;
  out.scale = std::max(1, page.settings.scale);
  const BlockRecord* scope = page.edit_block ? page.edit_block : page.top();

  // Blocks other than the scope that own selected objects travel as blocks.
  std::unordered_map<const BlockRecord*, int> block_at;
  auto owner_of = [&](const BlockRecord* owner) {
    if (!owner || owner == scope || owner == page.top()) return 0;
    auto [it, added] = block_at.emplace(owner, static_cast<int>(out.blocks.size()) + 1);
    if (added) {
      out.blocks.push_back(*owner);
      out.block_symbols.push_back(owner->symbol ? std::make_unique<SymbolRecord>(*owner->symbol) : nullptr);
      out.blocks.back().symbol = nullptr;
    }
    return it->second;
  };
  int x = INT_MAX, y = INT_MAX;
  auto corner = [&](int px, int py) {
    x = std::min(x, px);
    y = std::min(y, py);
  };

  std::unordered_map<const LabelRecord*, int> label_at;
  for (const auto& l : page.labels)
    if (l->selected) {
      label_at.emplace(l.get(), static_cast<int>(out.labels.size()) + 1);
      out.labels.push_back(*l);
      out.label_owner.push_back(owner_of(l->owner));
      corner(l->x, l->y);
    }
  auto label_of = [&](const LabelRecord* l) {
    auto it = label_at.find(l);
    return it == label_at.end() ? 0 : it->second;
  };
  for (const auto& p : page.parts)
    if (p->selected) {
      out.parts.push_back(*p);
      out.part_owner.push_back(owner_of(p->owner));
      std::vector<int> pins;
      for (const auto& pn : p->pin_nodes) pins.push_back(label_of(pn.label));
      out.pin_labels.push_back(std::move(pins));
      out.symbols.push_back(p->symbol ? std::make_unique<SymbolRecord>(*p->symbol) : nullptr);
      corner(p->x, p->y);
    }
  for (const auto& w : page.wires)
    if (w->selected) {
      out.wires.push_back(*w);
      out.wire_owner.push_back(owner_of(w->owner));
      out.wire_label.push_back(label_of(w->label));
      corner(w->x1, w->y1);
    }
  for (const auto& j : page.junctions)
    if (j->selected) {
      out.junctions.push_back(*j);
      out.junction_owner.push_back(owner_of(j->owner));
      corner(j->x, j->y);
    }
  for (const auto& t : page.texts)
    if (t->selected) {
      out.texts.push_back(*t);
      out.text_owner.push_back(owner_of(t->owner));
      corner(t->x, t->y);
    }
  const int n = static_cast<int>(out.parts.size() + out.wires.size() + out.junctions.size() +
                                 out.labels.size() + out.texts.size());
  if (n == 0) {
    notify.error("Nothing selected");
    return 0;
  }
  out.origin = {x, y};
  b = std::move(out);
  return n;
}

int paste_place(Schematic& s, const PasteBuffer& b, Point at, ReferenceCounters& counters, Notify& notify) {
  if (b.empty()) {
    notify.error("Paste buffer empty");
    return 0;
  }
  Page& page = s.page();
  if (b.scale != std::max(1, page.settings.scale)) {
    notify.error(strprintf("Paste object(s) symbol scale, x%d, is not compatible", b.scale));
    return 0;
  }
  // Symbols first: a part whose symbol cannot be had is not pasted at all.
  std::vector<const SymbolRecord*> symbols;
  for (size_t i = 0; i < b.parts.size(); ++i) {
    if (!b.symbols[i]) {
      notify.error(strprintf("Paste part %s symbol info not available", b.parts[i].reference.str().c_str()));
      return 0;
    }
    symbols.push_back(symbol_for(s, *b.symbols[i], notify));
    if (!symbols.back()) return 0;
  }

  select_none(page);
  BlockRecord* scope = page.edit_block ? page.edit_block : page.top();
  std::vector<BlockRecord*> blocks{scope};
  for (size_t i = 0; i < b.blocks.size(); ++i) {
    std::string name = b.blocks[i].name.str();
    while (subckt_find(s, name)) {
      auto answer = notify.prompt(strprintf("PASTE SUBCIRCUIT: %s", name.c_str()),
                                  "Already exists! Enter new name:", name, 31);
      if (!answer) return 0;  // nothing pasted yet but the symbols, which a purge drops
      name = *answer;
    }
    BlockRecord* nb = block_new(s);
    const int32_t index = nb->index;
    *nb = b.blocks[i];
    nb->index = index;
    nb->name.assign(name);
    nb->symbol = b.block_symbols[i] ? symbol_for(s, *b.block_symbols[i], notify) : nullptr;
    nb->origin_x += at.x - b.origin.x;
    nb->origin_y += at.y - b.origin.y;
    nb->dirty = 1;
    blocks.push_back(nb);
  }
  const int dx = at.x - b.origin.x, dy = at.y - b.origin.y;
  auto owner = [&](int k) {
    return blocks[static_cast<size_t>(std::clamp<int>(k, 0, int(blocks.size()) - 1))];
  };

  std::vector<LabelRecord*> labels;
  for (size_t i = 0; i < b.labels.size(); ++i) {
    LabelRecord* l = label_new(s);
    *l = b.labels[i];
    l->x += dx, l->y += dy;
    l->owner = owner(b.label_owner[i]);
    l->selected = 1;
    labels.push_back(l);
  }
  auto label = [&](int k) { return k > 0 && k <= int(labels.size()) ? labels[k - 1] : nullptr; };
  for (size_t i = 0; i < b.parts.size(); ++i) {
    PartRecord* p = part_new(s);
    *p = b.parts[i];
    p->symbol = symbols[i];
    p->x += dx, p->y += dy;
    p->owner = owner(b.part_owner[i]);
    p->selected = 1;
    p->pin_nodes.assign(p->symbol->pins.size(), PinNode{});
    for (size_t k = 0; k < p->pin_nodes.size() && k < b.pin_labels[i].size(); ++k)
      p->pin_nodes[k].label = label(b.pin_labels[i][k]);
    // A link of the schematic copied from means nothing here.
    if (std::none_of(s.links.begin(), s.links.end(), [&](const auto& l) { return l.get() == p->model_link; }))
      p->model_link = nullptr;
    part_update_region(s, *p);
  }
  for (size_t i = 0; i < b.wires.size(); ++i) {
    WireRecord* w = wire_new(s);
    *w = b.wires[i];
    w->x1 += dx, w->x2 += dx, w->y1 += dy, w->y2 += dy;
    w->owner = owner(b.wire_owner[i]);
    w->label = label(b.wire_label[i]);
    w->node = -1;
    w->selected = 1;
  }
  for (size_t i = 0; i < b.junctions.size(); ++i) {
    JunctionRecord* j = junction_new(s);
    *j = b.junctions[i];
    j->x += dx, j->y += dy;
    j->owner = owner(b.junction_owner[i]);
    j->selected = 1;
  }
  for (size_t i = 0; i < b.texts.size(); ++i) {
    TextRecord* t = text_new(s);
    *t = b.texts[i];
    t->x += dx, t->y += dy;
    t->owner = owner(b.text_owner[i]);
    t->selected = 1;
  }
  // References: a pasted part keeps its name unless its scope already uses it.
  for (auto& p : page.parts)
    if (p->selected) reference_assign(s, *p, counters);
  for (BlockRecord* blk : blocks) mark_changed(s, blk);
  return static_cast<int>(b.parts.size() + b.wires.size() + b.junctions.size() + b.labels.size() +
                          b.texts.size());
}

}  // namespace zephyrim
