#include "editing/subckt.h"

#include <algorithm>
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
  for (auto& r : page.texts) f(r->owner, r->selected);
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
  if (!any) notify.error("No SUBCKT selected");
  else if (!found) notify.error("SUBCKT not selected");
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
    if (notify.question(strprintf("SUBCKT %s is empty - delete?", b->name.str().c_str()), QuestionKind::YesNo) == 1)
      block_delete(s, b);
  } else {
    subckt_update_origin(s, b);
  }
  return true;
}

}  // namespace zephyrim
