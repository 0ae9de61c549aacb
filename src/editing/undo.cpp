#include "editing/undo.h"

#include <memory>
#include <new>
#include <unordered_map>
#include <unordered_set>

namespace zephyrim {

namespace {

template <typename T>
std::unordered_map<const T*, int32_t> positions(const std::vector<std::unique_ptr<T>>& list) {
  std::unordered_map<const T*, int32_t> at;
  at.reserve(list.size());
  for (size_t i = 0; i < list.size(); ++i) at.emplace(list[i].get(), static_cast<int32_t>(i));
  return at;
}

// Throws std::bad_alloc when a copy cannot be made.
void copy_page(UndoRecord& u, const Page& page) {
  const auto block_at = positions(page.blocks);
  const auto label_at = positions(page.labels);
  // A pointer that is not on the page's list (a stale one) is kept as the top
  // circuit or as no label rather than as a position that would mean another record.
  auto owner_of = [&](const BlockRecord* b) -> int32_t {
    const auto it = block_at.find(b);
    return it == block_at.end() ? 0 : it->second;
  };
  auto label_of = [&](const LabelRecord* l) -> int32_t {
    if (!l) return 0;
    const auto it = label_at.find(l);
    return it == label_at.end() ? 0 : it->second + 1;
  };

  u.blocks.reserve(page.blocks.size());
  for (const auto& b : page.blocks) u.blocks.push_back(*b);

  u.labels.reserve(page.labels.size());
  for (const auto& l : page.labels) {
    UndoLabel& c = u.labels.emplace_back(UndoLabel{*l, owner_of(l->owner)});
    c.record.owner = nullptr;
  }

  u.parts.reserve(page.parts.size());
  for (const auto& p : page.parts) {
    UndoPart& c = u.parts.emplace_back();
    c.record = *p;
    c.record.owner = nullptr;
    c.owner = owner_of(p->owner);
    c.pin_labels.reserve(p->pin_nodes.size());
    for (PinNode& pn : c.record.pin_nodes) {
      c.pin_labels.push_back(label_of(pn.label));
      pn.label = nullptr;
    }
  }

  u.wires.reserve(page.wires.size());
  for (const auto& w : page.wires) {
    UndoWire& c = u.wires.emplace_back(UndoWire{*w, owner_of(w->owner), label_of(w->label)});
    c.record.owner = nullptr;
    c.record.label = nullptr;
  }

  u.junctions.reserve(page.junctions.size());
  for (const auto& j : page.junctions) {
    UndoJunction& c = u.junctions.emplace_back(UndoJunction{*j, owner_of(j->owner)});
    c.record.owner = nullptr;
  }

  u.texts.reserve(page.texts.size());
  for (const auto& t : page.texts) {
    UndoText& c = u.texts.emplace_back(UndoText{*t, owner_of(t->owner)});
    c.record.owner = nullptr;
  }

  u.edit_block = owner_of(page.edit_block);
  u.edit_block_at = page.edit_block;
}

// The lists rebuilt from a snapshot, before they replace the page's.
struct Lists {
  std::vector<std::unique_ptr<BlockRecord>> blocks;
  std::vector<std::unique_ptr<LabelRecord>> labels;
  std::vector<std::unique_ptr<PartRecord>> parts;
  std::vector<std::unique_ptr<WireRecord>> wires;
  std::vector<std::unique_ptr<JunctionRecord>> junctions;
  std::vector<std::unique_ptr<TextRecord>> texts;
};

template <typename T, typename Copy>
void rebuild_list(std::vector<std::unique_ptr<T>>& list, const std::vector<Copy>& copies) {
  list.reserve(copies.size());
  for (const Copy& c : copies) list.push_back(std::make_unique<T>(c.record));
}

// Builds the page's lists from the snapshot with every position turned back into
// a pointer to a rebuilt record. False when a record refers to a symbol that has
// left the symbol table since (a save purges unused ones): such a part cannot
// be brought back. Throws std::bad_alloc when memory runs out.
bool rebuild(const UndoRecord& u, const Schematic& s, Lists& r) {
  rebuild_list(r.texts, u.texts);
  rebuild_list(r.junctions, u.junctions);
  rebuild_list(r.wires, u.wires);
  rebuild_list(r.labels, u.labels);
  rebuild_list(r.parts, u.parts);
  r.blocks.reserve(u.blocks.size());
  for (const BlockRecord& b : u.blocks) r.blocks.push_back(std::make_unique<BlockRecord>(b));

  std::unordered_set<const SymbolRecord*> symbols;
  symbols.reserve(s.symbols.entries.size());
  for (const auto& e : s.symbols.entries)
    if (e.definition) symbols.insert(e.definition.get());
  // Parts without a symbol come back as they were; the page check deals with them.
  auto symbol_known = [&](const SymbolRecord* d) { return !d || symbols.count(d) != 0; };

  std::unordered_set<const LibraryLink*> links;
  links.reserve(s.links.size());
  for (const auto& l : s.links) links.insert(l.get());

  auto block_at = [&](int32_t k) -> BlockRecord* {
    if (r.blocks.empty()) return nullptr;
    return k > 0 && static_cast<size_t>(k) < r.blocks.size() ? r.blocks[k].get() : r.blocks.front().get();
  };
  auto label_at = [&](int32_t k) -> LabelRecord* {
    return k > 0 && static_cast<size_t>(k) <= r.labels.size() ? r.labels[k - 1].get() : nullptr;
  };

  for (const auto& b : r.blocks)
    if (!symbol_known(b->symbol)) return false;
  for (size_t i = 0; i < r.parts.size(); ++i) {
    PartRecord& p = *r.parts[i];
    const UndoPart& c = u.parts[i];
    if (!symbol_known(p.symbol)) return false;
    p.owner = block_at(c.owner);
    for (size_t k = 0; k < p.pin_nodes.size() && k < c.pin_labels.size(); ++k)
      p.pin_nodes[k].label = label_at(c.pin_labels[k]);
    // Links that were pruned since the snapshot are gone for good.
    if (p.model_link && !links.count(p.model_link)) p.model_link = nullptr;
  }
  for (size_t i = 0; i < r.wires.size(); ++i) {
    r.wires[i]->owner = block_at(u.wires[i].owner);
    r.wires[i]->label = label_at(u.wires[i].label);
  }
  for (size_t i = 0; i < r.labels.size(); ++i) r.labels[i]->owner = block_at(u.labels[i].owner);
  for (size_t i = 0; i < r.junctions.size(); ++i) r.junctions[i]->owner = block_at(u.junctions[i].owner);
  for (size_t i = 0; i < r.texts.size(); ++i) r.texts[i]->owner = block_at(u.texts[i].owner);
  return true;
}

int restore_snapshot(const UndoRecord& u, Schematic& s, int page_index, Notify& notify) {
  Page& page = *s.pages[page_index];
  Lists r;
  bool built = false;
  try {
    built = rebuild(u, s, r);
  } catch (const std::bad_alloc&) {
    built = false;
  }
  if (!built) {
    // The page's own lists have not been touched yet.
    notify.error("Cannot complete undo");
    return 0;
  }

  // The edit block goes back to the block it was when the snapshot was taken,
  // unless the editor has opened another scope since: then it stays at the
  // position it has now.
  int32_t edit = 0;
  if (page.edit_block == u.edit_block_at) {
    edit = u.edit_block;
  } else {
    for (size_t i = 0; i < page.blocks.size(); ++i)
      if (page.blocks[i].get() == page.edit_block) edit = static_cast<int32_t>(i);
  }
  BlockRecord* edit_block = nullptr;
  if (!r.blocks.empty())
    edit_block = static_cast<size_t>(edit) < r.blocks.size() ? r.blocks[edit].get() : r.blocks.front().get();

  // Swapping cannot fail; the replaced records are freed with r.
  page.blocks.swap(r.blocks);
  page.labels.swap(r.labels);
  page.parts.swap(r.parts);
  page.wires.swap(r.wires);
  page.junctions.swap(r.junctions);
  page.texts.swap(r.texts);
  page.edit_block = edit_block;

  // The restored node assignments may be older than the last connectivity pass
  // of any scope, so every scope is redone.
  for (const auto& b : page.blocks) mark_changed(s, b.get());
  return 1;
}

template <typename T>
int remove_after(Schematic& s, std::vector<std::unique_ptr<T>>& list, size_t length,
                 int (*remove)(Schematic&, const T*)) {
  int removed = 0;
  while (list.size() > length && remove(s, list.back().get())) ++removed;
  return removed;
}

int remove_appended(const UndoRecord& u, Schematic& s, int page_index) {
  Page& page = *s.pages[page_index];
  // The delete operations work on the current page, and deleting a label must
  // also clear the wires and pins of that page that name it.
  const int current = s.page_table.current_page;
  s.page_table.current_page = page_index;
  int removed = 0;
  switch (u.state) {
    case kUndoPartAppended:
      removed = remove_after(s, page.parts, u.list_length, part_delete);
      removed += remove_after(s, page.junctions, u.junction_length, junction_delete);
      break;
    case kUndoWireAppended:
      removed = remove_after(s, page.wires, u.list_length, wire_delete);
      removed += remove_after(s, page.junctions, u.junction_length, junction_delete);
      break;
    case kUndoJunctionAppended:
      removed = remove_after(s, page.junctions, u.list_length, junction_delete);
      break;
    case kUndoLabelAppended:
      removed = remove_after(s, page.labels, u.list_length, label_delete);
      break;
    case kUndoTextAppended:
      removed = remove_after(s, page.texts, u.list_length, text_delete);
      break;
    default:
      break;
  }
  s.page_table.current_page = current;
  if (removed == 0) return 0;
  mark_changed(s, page.edit_block ? page.edit_block : page.top());
  return 1;
}

// Where the record's page is now: deleting an earlier page moves it down. -1
// when it has been deleted.
int find_page(const UndoRecord& u, const Schematic& s) {
  if (u.page >= 0 && static_cast<size_t>(u.page) < s.pages.size() && s.pages[u.page].get() == u.page_at)
    return u.page;
  for (size_t i = 0; i < s.pages.size(); ++i)
    if (s.pages[i].get() == u.page_at) return static_cast<int>(i);
  return -1;
}

}  // namespace

void undo_clear(UndoRecord& u) {
  u = UndoRecord{};
}

void undo_mark_append(UndoRecord& u, const Schematic& s, int kind) {
  undo_clear(u);
  const Page& page = s.page();
  size_t length = 0;
  int state = kUndoEmpty;
  switch (kind) {
    case kAppendPart:
      length = page.parts.size();
      state = kUndoPartAppended;
      break;
    case kAppendWire:
      length = page.wires.size();
      state = kUndoWireAppended;
      break;
    case kAppendJunction:
      length = page.junctions.size();
      state = kUndoJunctionAppended;
      break;
    case kAppendLabel:
      length = page.labels.size();
      state = kUndoLabelAppended;
      break;
    case kAppendText:
      length = page.texts.size();
      state = kUndoTextAppended;
      break;
    default:
      return;
  }
  u.state = state;
  u.page = s.current_page();
  u.page_at = &s.page();
  u.list_length = length;
  u.junction_length = page.junctions.size();
}

void undo_forget_missing_symbols(UndoRecord& u, const Schematic& s) {
  if (u.state != kUndoSnapshot) return;
  auto known = [&](const SymbolRecord* d) { return !d || symtab_index_of(s, d) >= 0; };
  bool ok = true;
  for (const auto& p : u.parts) ok = ok && known(p.record.symbol);
  for (const auto& b : u.blocks) ok = ok && known(b.symbol);
  if (!ok) undo_clear(u);
}

void undo_snapshot(UndoRecord& u, const Schematic& s) {
  undo_clear(u);
  try {
    copy_page(u, s.page());
    u.state = kUndoSnapshot;
  } catch (const std::bad_alloc&) {
    undo_clear(u);
    u.state = kUndoSnapshotFailed;
  }
  u.page = s.current_page();
  u.page_at = &s.page();
}

int undo_apply(UndoRecord& u, Schematic& s, Notify& notify, ReferenceCounters& counters) {
  int changed = 0;
  const int page = find_page(u, s);
  if (u.state == kUndoEmpty) {
    notify.information("Undo buffer empty");
  } else if (u.state == kUndoSnapshotFailed) {
    notify.error("There was an error saving Undo data");
  } else if (page < 0) {
    // The page the record belongs to has been deleted since.
    notify.error("Cannot complete undo");
  } else if (u.state == kUndoSnapshot) {
    changed = restore_snapshot(u, s, page, notify);
  } else {
    changed = remove_appended(u, s, page);
  }
  if (changed) references_recount(s, counters);
  undo_clear(u);
  return changed;
}

}  // namespace zephyrim
