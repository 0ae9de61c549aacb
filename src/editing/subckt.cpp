#include "editing/subckt.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <climits>

#include "common/text_format.h"
#include "editing/edit_ops.h"

namespace zephyrim {

namespace {

// Calls f(owner) for every object of the page.
template <typename F>
void for_each_owner(Page& page, F&& f) {
  for (auto& r : page.parts) f(r->owner, r->selected);
  for (auto& r : page.wires) f(r->owner, r->selected);
  for (auto& r : page.junctions) f(r->owner, r->selected);
  for (auto& r : page.labels) f(r->owner, r->selected);
  for (auto& r : page.texts) f(r->owner, r->selected);  // the flag by reference
}

}  // namespace

bool subckt_name_valid(const std::string& name) {
  if (name.empty() || name.size() > 31 || !std::isalpha(static_cast<unsigned char>(name[0]))) return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-';
  });
}

BlockRecord* subckt_find(Schematic& s, const std::string& name) {
  for (auto& b : s.page().blocks)
    if (b.get() != s.page().top() && b->name.str() == name) return b.get();
  return nullptr;
}

void subckt_update_origin(Schematic& s, BlockRecord* block) {
  Page& page = s.page();
  int x = INT_MAX, y = INT_MAX;
  auto take = [&](int px, int py) {
    x = std::min(x, px);
    y = std::min(y, py);
  };
  for (const auto& p : page.parts)
    if (p->owner == block) take(p->x + p->region.x1, p->y + p->region.y1);
  for (const auto& w : page.wires)
    if (w->owner == block) take(w->x1, w->y1);
  for (const auto& j : page.junctions)
    if (j->owner == block) take(j->x, j->y);
  for (const auto& l : page.labels)
    if (l->owner == block) take(l->x, l->y);
  for (const auto& t : page.texts)
    if (t->owner == block) take(t->x, t->y + t->box.y1);
  if (x == INT_MAX) return;  // an empty block keeps its place
  block->origin_x = x - kGridStep;
  block->origin_y = y - kGridStep;
}

BlockRecord* subckt_new(Schematic& s, const std::string& name, Notify& notify) {
  Page& page = s.page();
  if (selection_count(page) == 0) {
    notify.error("No object selected");
    return nullptr;
  }
  if (!subckt_name_valid(name)) {
    notify.error("Invalid SUBCKT name");
    return nullptr;
  }
  if (subckt_find(s, name)) {
    notify.error(strprintf("Subcircuit %s already exists", name.c_str()));
    return nullptr;
  }
  BlockRecord* top = page.top();
  BlockRecord* b = block_new(s);
  b->name.assign(name);
  for_each_owner(page, [&](BlockRecord*& owner, int32_t selected) {
    if (selected && owner == top) owner = b;
  });
  subckt_update_origin(s, b);
  mark_changed(s, top);
  mark_changed(s, b);
  return b;
}

BlockRecord* subckt_selected(Schematic& s, Notify& notify) {
  Page& page = s.page();
  BlockRecord* found = nullptr;
  bool any = false;
  for_each_owner(page, [&](BlockRecord*& owner, int32_t selected) {
    if (!selected) return;
    any = true;
    if (!found && owner != page.top()) found = owner;
  });
  if (!any)
    notify.error("No SUBCKT selected");
  else if (!found)
    notify.error("SUBCKT not selected");
  return found;
}

bool subckt_open(Schematic& s, BlockRecord* block) {
  Page& page = s.page();
  if (!block || block == page.top()) return false;
  page.edit_block = block;
  select_none(page);
  return true;
}

bool subckt_close(Schematic& s, Notify& notify) {
  Page& page = s.page();
  BlockRecord* b = page.edit_block;
  if (!b || b == page.top()) return false;
  page.edit_block = page.top();
  bool empty = true;
  for_each_owner(page, [&](BlockRecord*& owner, int32_t) { empty = empty && owner != b; });
  if (empty) {
    if (notify.question(strprintf("SUBCKT %s is empty - delete?", b->name.str().c_str()),
                        QuestionKind::YesNo) == 1)
      block_delete(s, b);
  } else {
    subckt_update_origin(s, b);
  }
  return true;
}

bool subckt_delete(Schematic& s, BlockRecord* block, Notify& notify) {
  Page& page = s.page();
  if (!block || block == page.top()) return false;
  if (notify.question(strprintf("Are you sure you want to delete subcircuit %s?", block->name.str().c_str()),
                      QuestionKind::YesNo) != 1)
    return false;
  select_none(page);
  for_each_owner(page, [&](BlockRecord*& owner, int32_t& selected) {
    if (owner == block) selected = 1;
  });
  RecordingNotify quiet;  // an empty block has nothing to delete but itself
  delete_selected(s, quiet);
  if (page.edit_block == block) page.edit_block = page.top();
  block_delete(s, block);
  mark_changed(s, page.top());
  return true;
}

std::vector<SubcktParam> subckt_params(const BlockRecord& block) {
  std::vector<SubcktParam> out;
  for (const BlockPin& p : block.pins)
    out.push_back({p.name.str(), std::bit_cast<float>(p.word16), p.text.value_or("")});
  return out;
}

bool subckt_set_params(Schematic& s, BlockRecord& block, const std::vector<SubcktParam>& params,
                       Notify& notify) {
  if (params.size() > kMaxSubcktParams) {
    notify.error("Exceeds maximum number of allowed parameters");
    return false;
  }
  std::vector<BlockPin> pins;
  for (const SubcktParam& p : params) {
    BlockPin pin;
    pin.name.assign(p.name);
    pin.word16 = std::bit_cast<uint32_t>(static_cast<float>(p.value));
    if (!p.comment.empty()) pin.text = p.comment.substr(0, kMaxParamText);
    pins.push_back(pin);
  }
  block.pins = std::move(pins);
  mark_changed(s, &block);
  return true;
}

std::vector<PartRecord*> subckt_io_pins(Schematic& s, const BlockRecord* block) {
  std::vector<PartRecord*> out;
  for (auto& p : s.page().parts)
    if (p->owner == block && p->symbol && p->symbol->kind == kSymbolIoPin) out.push_back(p.get());
  return out;
}

void subckt_order_pins(Schematic& s, const BlockRecord* block, const std::vector<PartRecord*>& order) {
  auto& parts = s.page().parts;
  std::vector<size_t> slots;  // the pins' places in the list stay; which pin stands in each changes
  for (size_t i = 0; i < parts.size(); ++i)
    if (parts[i]->owner == block && parts[i]->symbol && parts[i]->symbol->kind == kSymbolIoPin)
      slots.push_back(i);
  std::vector<PartRecord*> now, wanted = order;
  for (size_t i : slots) now.push_back(parts[i].get());
  std::sort(now.begin(), now.end());
  std::sort(wanted.begin(), wanted.end());
  if (now != wanted) return;  // not the block's pins: nothing changes
  std::vector<std::unique_ptr<PartRecord>> taken;
  for (size_t i : slots) taken.push_back(std::move(parts[i]));
  for (size_t k = 0; k < slots.size(); ++k)
    parts[slots[k]] = std::move(
        *std::find_if(taken.begin(), taken.end(), [&](const auto& p) { return p.get() == order[k]; }));
  mark_changed(s, const_cast<BlockRecord*>(block));
}

}  // namespace zephyrim
