#include "editing/edit_ops.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <unordered_map>
#include <unordered_set>

#include "schematic/schematic_file.h"
#include "symbols/draw_command.h"

namespace zephyrim {

namespace {

uint64_t key(int x, int y) {
  return (static_cast<uint64_t>(static_cast<uint32_t>(x)) << 32) | static_cast<uint32_t>(y);
}
uint64_t key(Point p) {
  return key(p.x, p.y);
}

Point wire_a(const WireRecord& w) {
  return {w.x1, w.y1};
}
Point wire_b(const WireRecord& w) {
  return {w.x2, w.y2};
}
bool horizontal(const WireRecord& w) {
  return w.y1 == w.y2;
}

bool inside(const Region& r, int x, int y) {
  return x >= r.x1 && x <= r.x2 && y >= r.y1 && y <= r.y2;
}

// Boxes of the objects in page coordinates, for hit tests and area selection.
Region part_box(const PartRecord& p) {
  return {p.x + p.region.x1, p.y + p.region.y1, p.x + p.region.x2, p.y + p.region.y2};
}
Region label_box(const LabelRecord& l) {
  return {l.x, l.y - 10, l.x + std::max(l.width, 8), l.y + 2};
}
Region text_box(const TextRecord& t) {
  return {t.x + t.box.x1, t.y + t.box.y1, t.x + t.box.x2, t.y + t.box.y2};
}
Region junction_box(const JunctionRecord& j) {
  return {j.x - kJunctionRadius, j.y - kJunctionRadius, j.x + kJunctionRadius, j.y + kJunctionRadius};
}
Region wire_box(const WireRecord& w) {
  return {w.x1, w.y1, w.x2, w.y2};
}

bool within(const Region& outer, const Region& r) {
  return r.x1 >= outer.x1 && r.y1 >= outer.y1 && r.x2 <= outer.x2 && r.y2 <= outer.y2;
}

// Calls f(flag, box, owner) for every object of the page.
template <typename F>
void for_each_object(Page& page, F&& f) {
  for (auto& p : page.parts) f(p->selected, part_box(*p), p->owner);
  for (auto& w : page.wires) f(w->selected, wire_box(*w), w->owner);
  for (auto& j : page.junctions) f(j->selected, junction_box(*j), j->owner);
  for (auto& l : page.labels) f(l->selected, label_box(*l), l->owner);
  for (auto& t : page.texts) f(t->selected, text_box(*t), t->owner);
}

}  // namespace

BlockRecord* edit_scope(Schematic& s) {
  Page& page = s.page();
  return page.edit_block ? page.edit_block : page.top();
}

Point part_pin_point(const Schematic& s, const PartRecord& p, int k) {
  if (!p.symbol || k < 0 || k >= p.symbol->pin_count()) return {p.x, p.y};
  int x = p.symbol->pins[k].x, y = p.symbol->pins[k].y;
  orient_point(x, y, std::max(1, s.page().settings.scale), p.steps.data(),
               std::clamp<int>(p.step_count, 0, kMaxOrientSteps));
  return {p.x + x, p.y + y};
}

// --- wires ---

WireForm wire_form_for(Point start, Point first_move) {
  return first_move.x == start.x ? WireForm::vertical_first : WireForm::horizontal_first;
}

std::vector<Segment> wire_segments(Point a, Point b, WireForm form) {
  std::vector<Segment> out;
  if (std::abs(b.x - a.x) < 2 && std::abs(b.y - a.y) < 2) return out;
  const Point bend = form == WireForm::horizontal_first ? Point{b.x, a.y} : Point{a.x, b.y};
  if (bend != a) out.push_back({a, bend});
  if (bend != b) out.push_back({bend, b});
  return out;
}

int wire_store(Schematic& s, Point a, Point b, WireForm form, bool auto_junction, Notify& notify) {
  int stored = 0;
  for (const Segment& g : wire_segments(a, b, form)) {
    if (!wire_add(s, g.a.x, g.a.y, g.b.x, g.b.y)) {
      notify.error("Cannot save wire");
      break;
    }
    ++stored;
  }
  if (stored && auto_junction) auto_junctions(s, edit_scope(s));
  return stored;
}

// --- automatic junctions ---

int auto_junctions(Schematic& s, BlockRecord* scope) {
  Page& page = s.page();
  std::vector<const WireRecord*> wires;
  for (const auto& w : page.wires)
    if (w->owner == scope && (w->x1 != w->x2 || w->y1 != w->y2)) wires.push_back(w.get());

  // Segments by the line they lie on, so a point finds the ones passing through it.
  std::unordered_map<int, std::vector<const WireRecord*>> rows, columns;
  struct Ends {
    int horizontal = 0, vertical = 0;
  };
  std::unordered_map<uint64_t, Ends> ends;
  for (const WireRecord* w : wires) {
    (horizontal(*w) ? rows[w->y1] : columns[w->x1]).push_back(w);
    for (Point p : {wire_a(*w), wire_b(*w)})
      (horizontal(*w) ? ends[key(p)].horizontal : ends[key(p)].vertical)++;
  }
  // Wires whose inside (ends excluded) holds p, of one direction or both.
  auto through = [&](Point p, bool want_horizontal, bool want_vertical) {
    int n = 0;
    if (want_horizontal)
      if (auto it = rows.find(p.y); it != rows.end())
        for (const WireRecord* w : it->second) n += (p.x > w->x1 && p.x < w->x2);
    if (want_vertical)
      if (auto it = columns.find(p.x); it != columns.end())
        for (const WireRecord* w : it->second) n += (p.y > w->y1 && p.y < w->y2);
    return n;
  };

  std::unordered_set<uint64_t> have;
  for (const auto& j : page.junctions) have.insert(key(j->x, j->y));
  int added = 0;
  auto add = [&](Point p) {
    if (!have.insert(key(p)).second) return;
    JunctionRecord* j = junction_new(s);
    j->x = p.x;
    j->y = p.y;
    j->owner = scope;
    mark_changed(s, scope);
    ++added;
  };

  for (const auto& [k, e] : ends) {
    const Point p{static_cast<int>(static_cast<uint32_t>(k >> 32)),
                  static_cast<int>(static_cast<uint32_t>(k))};
    // A T: a horizontal end inside a vertical wire, or the other way round.
    if ((e.horizontal && through(p, false, true)) || (e.vertical && through(p, true, false)))
      add(p);
    else if (e.horizontal + e.vertical > 2 && e.horizontal && e.vertical)
      add(p);
  }

  std::unordered_map<uint64_t, int> pins;
  for (const auto& part : page.parts)
    if (part->owner == scope && part->symbol)
      for (int k = 0; k < part->symbol->pin_count(); ++k) ++pins[key(part_pin_point(s, *part, k))];
  for (const auto& [k, n] : pins) {
    const Point p{static_cast<int>(static_cast<uint32_t>(k >> 32)),
                  static_cast<int>(static_cast<uint32_t>(k))};
    auto e = ends.find(k);
    const int touching =
        (n - 1) + (e == ends.end() ? 0 : e->second.horizontal + e->second.vertical) + through(p, true, true);
    if (touching > 1) add(p);
  }
  return added;
}

int redo_connections(Schematic& s) {
  int added = 0;
  for (auto& b : s.page().blocks) added += auto_junctions(s, b.get());
  return added;
}

// --- placement ---

PartRecord* place_part(Schematic& s, const SymbolRecord* symbol, Point at, ReferenceCounters& counters,
                       bool auto_junction, const PartRecord* model) {
  PartRecord* p = part_place(s, symbol, at.x, at.y);
  if (!p) return nullptr;
  if (model) {
    p->device = model->device;
    p->reference = model->reference;
    p->value = model->value;
    p->params = model->params;
    p->show = model->show;
    p->template_text = model->template_text;
    p->source_specs = model->source_specs;
    p->step_count = model->step_count;
    p->steps = model->steps;
    p->color = model->color;
    part_update_region(s, *p);
  }
  if (symbol->kind == kSymbolPowerRail) part_rail_source_init(*p);
  reference_assign(s, *p, counters);
  if (auto_junction) auto_junctions(s, p->owner);
  return p;
}

// --- hit testing and selection ---

Hit hit_test(const Page& page, Point p, int tol) {
  auto near = [&](const Region& r) {
    return inside({r.x1 - tol, r.y1 - tol, r.x2 + tol, r.y2 + tol}, p.x, p.y);
  };
  // Later objects are drawn over earlier ones, so they are found first.
  auto find = [&](const auto& list, auto box) {
    for (int i = static_cast<int>(list.size()) - 1; i >= 0; --i)
      if (near(box(*list[i]))) return i;
    return -1;
  };
  if (int i = find(page.junctions, junction_box); i >= 0) return {HitKind::junction, i};
  if (int i = find(page.wires, wire_box); i >= 0) return {HitKind::wire, i};
  if (int i = find(page.labels, label_box); i >= 0) return {HitKind::label, i};
  if (int i = find(page.parts, part_box); i >= 0) return {HitKind::part, i};
  if (int i = find(page.texts, text_box); i >= 0) return {HitKind::text, i};
  return {};
}

int32_t* selected_flag(Page& page, const Hit& h) {
  switch (h.kind) {
    case HitKind::junction:
      return &page.junctions.at(h.index)->selected;
    case HitKind::wire:
      return &page.wires.at(h.index)->selected;
    case HitKind::label:
      return &page.labels.at(h.index)->selected;
    case HitKind::part:
      return &page.parts.at(h.index)->selected;
    case HitKind::text:
      return &page.texts.at(h.index)->selected;
    case HitKind::none:
      break;
  }
  return nullptr;
}

void select_none(Page& page) {
  for_each_object(page, [](int32_t& sel, const Region&, const BlockRecord*) { sel = 0; });
}

void select_all(Page& page) {
  for_each_object(page, [](int32_t& sel, const Region&, const BlockRecord*) { sel = 1; });
}

int select_area(Page& page, Point a, Point b) {
  const Region area{std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
  int n = 0;
  for_each_object(page, [&](int32_t& sel, const Region& box, const BlockRecord*) {
    if (within(area, box)) {
      sel = 1;
      ++n;
    }
  });
  return n;
}

int select_scope(Page& page, const BlockRecord* block) {
  int n = 0;
  for_each_object(page, [&](int32_t& sel, const Region&, const BlockRecord* owner) {
    if (owner == block) {
      sel = 1;
      ++n;
    }
  });
  return n;
}

int selection_count(const Page& page) {
  int n = 0;
  for_each_object(const_cast<Page&>(page),
                  [&](int32_t& sel, const Region&, const BlockRecord*) { n += sel != 0; });
  return n;
}

// --- operations on the selection ---

int delete_selected(Schematic& s, Notify& notify) {
  Page& page = s.page();
  std::unordered_set<BlockRecord*> changed;
  int n = 0;
  auto drop = [&](auto& list) {
    std::erase_if(list, [&](const auto& r) {
      if (!r->selected) return false;
      changed.insert(r->owner);
      ++n;
      return true;
    });
  };
  // Wires and pins must not keep pointing at a deleted label.
  std::unordered_set<const LabelRecord*> labels;
  for (const auto& l : page.labels)
    if (l->selected) labels.insert(l.get());
  if (!labels.empty()) {
    for (auto& w : page.wires)
      if (labels.contains(w->label)) w->label = nullptr;
    for (auto& p : page.parts)
      for (auto& pn : p->pin_nodes)
        if (labels.contains(pn.label)) pn.label = nullptr;
  }
  drop(page.parts);
  drop(page.wires);
  drop(page.junctions);
  drop(page.labels);
  drop(page.texts);
  if (n == 0) {
    notify.error("Nothing selected");
    return 0;
  }
  for (BlockRecord* b : changed) mark_changed(s, b);
  return n;
}

int move_selected(Schematic& s, int dx, int dy, bool rubber_band, Notify& notify) {
  Page& page = s.page();
  if (selection_count(page) == 0) {
    notify.error("Nothing selected");
    return 0;
  }
  // Points that move with the selection, taken before anything moves.
  std::unordered_set<uint64_t> moving;
  if (rubber_band) {
    for (const auto& p : page.parts)
      if (p->selected && p->symbol)
        for (int k = 0; k < p->symbol->pin_count(); ++k) moving.insert(key(part_pin_point(s, *p, k)));
    for (const auto& w : page.wires)
      if (w->selected) {
        moving.insert(key(wire_a(*w)));
        moving.insert(key(wire_b(*w)));
      }
    for (const auto& j : page.junctions)
      if (j->selected) moving.insert(key(j->x, j->y));
  }

  // Nothing is moved past the page's top and left edges: a part at or beyond
  // the corner would be taken as damaged by the next check.
  int min_x = INT_MAX, min_y = INT_MAX;
  auto low = [&](int x, int y) {
    min_x = std::min(min_x, x);
    min_y = std::min(min_y, y);
  };
  for (const auto& p : page.parts)
    if (p->selected) low(p->x, p->y);
  for (const auto& w : page.wires)
    if (w->selected) low(w->x1, w->y1);
  for (const auto& j : page.junctions)
    if (j->selected) low(j->x, j->y);
  for (const auto& l : page.labels)
    if (l->selected) low(l->x, l->y);
  for (const auto& t : page.texts)
    if (t->selected) low(t->x, t->y);
  if (min_x != INT_MAX) {
    dx = std::max(dx, kGridStep - min_x);
    dy = std::max(dy, kGridStep - min_y);
  }

  std::unordered_set<BlockRecord*> changed;
  int n = 0;
  for (auto& p : page.parts)
    if (p->selected) {
      p->x += dx;
      p->y += dy;
      changed.insert(p->owner);
      ++n;
    }
  auto shift = [&](auto& list) {
    for (auto& r : list)
      if (r->selected) {
        r->x += dx;
        r->y += dy;
        changed.insert(r->owner);
        ++n;
      }
  };
  shift(page.junctions);
  shift(page.labels);
  shift(page.texts);

  struct Bent {
    Point fixed, moved;
    bool horizontal;
    const WireRecord* old;
  };
  std::vector<Bent> bent;
  for (auto& w : page.wires) {
    if (w->selected) {
      w->x1 += dx, w->x2 += dx, w->y1 += dy, w->y2 += dy;
      changed.insert(w->owner);
      ++n;
      continue;
    }
    if (!rubber_band) continue;
    const bool a = moving.contains(key(wire_a(*w))), b = moving.contains(key(wire_b(*w)));
    if (a && b) {
      w->x1 += dx, w->x2 += dx, w->y1 += dy, w->y2 += dy;
      changed.insert(w->owner);
    } else if (a || b) {
      const Point fixed = a ? wire_b(*w) : wire_a(*w), from = a ? wire_a(*w) : wire_b(*w);
      bent.push_back({fixed, {from.x + dx, from.y + dy}, horizontal(*w), w.get()});
    }
  }
  // A wire that followed one end is stored again from its fixed end, keeping
  // its own direction first so that it still leaves that end the same way.
  for (const Bent& b : bent) {
    const WireRecord old = *b.old;
    wire_delete(s, b.old);
    for (const Segment& g : wire_segments(
             b.fixed, b.moved, b.horizontal ? WireForm::horizontal_first : WireForm::vertical_first)) {
      WireRecord* w = wire_add(s, g.a.x, g.a.y, g.b.x, g.b.y);
      if (!w) continue;
      w->owner = old.owner;
      w->color = old.color;
      w->disabled = old.disabled;
      w->label = old.label;
    }
    changed.insert(old.owner);
  }
  for (BlockRecord* b : changed) mark_changed(s, b);
  return n;
}

int orient_selected(Schematic& s, int step, Notify& notify) {
  int n = 0, seen = 0, refused = 0;
  RecordingNotify quiet;
  for (auto& p : s.page().parts)
    if (p->selected) {
      ++seen;
      // Every part that may turn turns; the refusal is shown once.
      if (part_orient(s, *p, step, refused ? static_cast<Notify&>(quiet) : notify))
        ++n;
      else
        ++refused;
    }
  if (seen == 0) notify.error("Nothing selected");
  return n;
}

int disable_selected(Schematic& s, bool disabled, Notify& notify) {
  Page& page = s.page();
  int n = 0;
  std::unordered_set<BlockRecord*> changed;
  auto mark = [&](auto& list) {
    for (auto& r : list)
      if (r->selected) {
        r->disabled = disabled ? 1 : 0;
        changed.insert(r->owner);
        ++n;
      }
  };
  mark(page.parts);
  mark(page.wires);
  mark(page.junctions);
  mark(page.labels);
  mark(page.texts);
  if (n == 0) notify.error("Nothing selected");
  for (BlockRecord* b : changed) mark_changed(s, b);
  return n;
}

int enable_all(Schematic& s) {
  Page& page = s.page();
  int n = 0;
  std::unordered_set<BlockRecord*> changed;
  auto clear = [&](auto& list) {
    for (auto& r : list)
      if (r->disabled) {
        r->disabled = 0;
        changed.insert(r->owner);
        ++n;
      }
  };
  clear(page.parts);
  clear(page.wires);
  clear(page.junctions);
  clear(page.labels);
  clear(page.texts);
  for (BlockRecord* b : changed) mark_changed(s, b);
  return n;
}

}  // namespace zephyrim
