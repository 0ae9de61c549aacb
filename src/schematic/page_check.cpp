#include "schematic/page_check.h"

#include <algorithm>
#include <unordered_set>

#include "common/text_format.h"

namespace zephyrim {

namespace {

bool on_grid(int v) {
  return snap_to_grid(v) == v;
}

// The blocks of the page and the definitions of the symbol table, looked up by
// address: a page holds a few hundred thousand records, so a search of the
// lists per record would make the check quadratic.
template <typename T>
std::unordered_set<const T*> addresses(const std::vector<std::unique_ptr<T>>& list) {
  std::unordered_set<const T*> set;
  set.reserve(list.size());
  for (const auto& r : list) set.insert(r.get());
  return set;
}

std::unordered_set<const SymbolRecord*> definitions(const SymbolTable& t) {
  std::unordered_set<const SymbolRecord*> set;
  set.reserve(t.entries.size());
  for (const auto& e : t.entries)
    if (e.definition) set.insert(e.definition.get());
  return set;
}

// Snaps the positions of a list after one question at the first misaligned
// record; "no" ends the step. Returns true when anything moved.
template <typename T, typename Moved>
bool realign(std::vector<std::unique_ptr<T>>& list, const char* question, Notify& notify, Moved moved) {
  bool asked = false, any = false;
  for (auto& r : list) {
    if (on_grid(r->x) && on_grid(r->y)) continue;
    if (!asked) {
      asked = true;
      if (notify.question(question, QuestionKind::YesNo) != 1) return any;
    }
    r->x = snap_to_grid(r->x);
    r->y = snap_to_grid(r->y);
    moved(*r);
    any = true;
  }
  return any;
}

}  // namespace

bool symbol_validate(const SymbolRecord* d, Notify& notify) {
  if (!d) {
    notify.error("NULL symbol pointer");
    return false;
  }
  const std::string name = d->name.str();
  if (d->kind < 1 || d->kind > 5) {
    notify.error(strprintf("Symbol %s: invalid type", name.c_str()));
    return false;
  }
  if (!d->region.valid()) {
    notify.error(strprintf("Symbol %s: invalid region coordinates", name.c_str()));
    return false;
  }
  if (d->draws.empty()) {
    notify.error(strprintf("Symbol %s: plot commands not defined", name.c_str()));
    return false;
  }
  // A rotated view is there when it has a region or a pin set of its own.
  const bool has_rotated = !d->rot_draws.empty() || d->rot_pins || d->rot_region != Region{};
  if (has_rotated && d->rot_draws.empty()) {
    notify.error(strprintf("Symbol %s: rotated view plot commands not defined", name.c_str()));
    return false;
  }
  if (!d->rot_draws.empty() && !d->rot_region.valid()) {
    notify.error(strprintf("Symbol %s: invalid rotated view region coordinates", name.c_str()));
    return false;
  }
  return true;
}

int page_check(Schematic& s, Notify& notify) {
  int result = 0;
  Page& page = s.page();

  // 1. Symbol table.
  bool table_fault = false;
  for (const auto& e : s.symbols.entries)
    if (!symbol_validate(e.definition.get(), notify)) table_fault = true;
  if (table_fault) {
    notify.error("Corrupted symbol table detected - reload symbols");
    result = 1;
  }

  // 3. Parts: invalid ones are deleted; improper regions counted. A part's
  // pointer fault is counted, not shown per part.
  const auto blocks = addresses(page.blocks);
  const auto symbols = definitions(s.symbols);
  const size_t before = page.parts.size();
  std::erase_if(page.parts, [&](const std::unique_ptr<PartRecord>& p) {
    // The position is judged where alignment will put it, so a part that snaps
    // onto the invalid corner goes now rather than at the next check.
    return !p->symbol || !symbols.contains(p->symbol) || !blocks.contains(p->owner) ||
           (snap_to_grid(p->x) <= 0 && snap_to_grid(p->y) <= 0);
  });
  const int deleted = static_cast<int>(before - page.parts.size());
  int symbol_faults = 0;
  for (const auto& p : page.parts)
    if (!p->region.valid()) ++symbol_faults;
  if (symbol_faults) {
    notify.error("Corrupted part symbols list detected - reload symbols");
    result = 1;
  }
  if (deleted) {
    notify.warning(strprintf("%d invalid parts found and deleted", deleted));
    result = 1;
    s.modified = true;
  }

  // 4. Part alignment.
  if (realign(page.parts, "Misaligned part(s) found, realign part(s)?", notify, [&](PartRecord& p) {
        if (p.step_count > 0) part_update_region(s, p);
      }))
    s.modified = true;

  // 5. Wires: the start snapped without asking, the end kept at start + extent.
  // A damaged file may hold any extents: the sums wrap as stored 32-bit words do.
  auto add = [](int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
  };
  for (auto& w : page.wires) {
    const int x = snap_to_grid(w->x1), y = snap_to_grid(w->y1);
    if (x != w->x1 || y != w->y1 || w->x2 != add(x, w->dx) || w->y2 != add(y, w->dy)) s.modified = true;
    w->x1 = x;
    w->y1 = y;
    w->x2 = add(x, w->dx);
    w->y2 = add(y, w->dy);
  }

  // 6. Junctions.
  if (realign(page.junctions, "Misaligned junction(s) found, realign junction(s)?", notify,
              [](JunctionRecord&) {}))
    s.modified = true;

  // 7. Node labels without width. Wires and pins let go of them in one walk.
  const size_t labels_before = page.labels.size();
  std::unordered_set<const LabelRecord*> gone;
  for (const auto& l : page.labels)
    if (l->width <= 0) gone.insert(l.get());
  if (!gone.empty()) {
    for (auto& w : page.wires)
      if (gone.contains(w->label)) w->label = nullptr;
    for (auto& p : page.parts)
      for (auto& pn : p->pin_nodes)
        if (gone.contains(pn.label)) pn.label = nullptr;
    for (const auto& l : page.labels)
      if (gone.contains(l.get())) mark_changed(s, l->owner);
    std::erase_if(page.labels, [&](const std::unique_ptr<LabelRecord>& l) { return gone.contains(l.get()); });
  }
  if (const int n = static_cast<int>(labels_before - page.labels.size())) {
    notify.warning(strprintf("%d invalid node labels found and deleted", n));
    s.modified = true;
  }

  // 8. Text objects without text; texts without owner go to the top circuit.
  const size_t texts_before = page.texts.size();
  std::erase_if(page.texts,
                [](const std::unique_ptr<TextRecord>& t) { return !t->text || t->text->empty(); });
  if (const int n = static_cast<int>(texts_before - page.texts.size())) {
    notify.warning(strprintf("%d NULL text objects found and deleted", n));
    s.modified = true;
  }
  for (auto& t : page.texts)
    if (!blocks.contains(t->owner)) t->owner = page.top();
  return result;
}

}  // namespace zephyrim
