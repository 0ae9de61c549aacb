#include "schematic/schematic.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <new>

#include "common/text_format.h"

namespace zephyrim {

Page& page_append(Schematic& s) {
  auto page = std::make_unique<Page>();
  Page& p = *page;
  s.pages.push_back(std::move(page));
  auto top = std::make_unique<BlockRecord>();
  p.edit_block = top.get();
  p.blocks.push_back(std::move(top));
  return p;
}

namespace {

template <typename T>
T* append(Schematic& s, std::vector<std::unique_ptr<T>>& list) {
  try {
    list.push_back(std::make_unique<T>());
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  T* r = list.back().get();
  r->owner = s.page().edit_block;
  return r;
}

// Removes a record of the list and records the change of its owner block. A
// record not on the list is never touched: the pointer may be stale.
template <typename T>
int remove_from(Schematic& s, std::vector<std::unique_ptr<T>>& list, const T* r) {
  auto it = std::find_if(list.begin(), list.end(), [r](const auto& p) { return p.get() == r; });
  if (it == list.end()) return 0;
  mark_changed(s, (*it)->owner);
  list.erase(it);
  return 1;
}

template <typename T>
T* at_position(std::vector<std::unique_ptr<T>>& list, int index) {
  if (index < 0 || static_cast<size_t>(index) >= list.size()) return nullptr;
  return list[index].get();
}

std::tm local_time(std::time_t now) {
  std::tm tm{};
  localtime_r(&now, &tm);
  return tm;
}

std::string date_text(const std::tm& tm) {
  return strprintf("%02d-%s-%d", tm.tm_mday, month_abbrev(tm.tm_mon), tm.tm_year + 1900);
}

}  // namespace

int snap_to_grid(int v) {
  // A point on the grid stays where it is: taken toward zero, the rounding would
  // move -8 to 0, and every load and save would shift negative coordinates.
  if (v % kGridStep == 0) return v;
  // The integer part is taken toward zero, so -5 snaps to 0 and -13 to -8.
  const int64_t snapped = static_cast<int64_t>(static_cast<double>(v) / kGridStep + 0.5) * kGridStep;
  // Near the end of the range the next grid point does not exist: keep the last one.
  return snapped > INT32_MAX ? INT32_MAX / kGridStep * kGridStep : static_cast<int>(snapped);
}

std::unique_ptr<Schematic> schematic_new(const std::string& path, std::time_t now) {
  auto s = std::make_unique<Schematic>();
  s->path = path;
  Page& p = page_append(*s);
  s->page_table = PageTable{};
  s->page_table.entries[0] = PageTableEntry{1, -1, 1, std::nullopt};
  titleblock_init(p.title, path, 1, 1, now);
  s->symbols.capacity = 128;
  return s;
}

// --- lists ---

PartRecord* part_new(Schematic& s) {
  PartRecord* r = append(s, s.page().parts);
  if (r) r->color = s.colors.symbol;
  return r;
}

WireRecord* wire_new(Schematic& s) {
  WireRecord* r = append(s, s.page().wires);
  if (r) r->color = s.colors.wire;
  return r;
}

JunctionRecord* junction_new(Schematic& s) {
  JunctionRecord* r = append(s, s.page().junctions);
  if (r) {
    r->color = s.colors.junction;
    r->box = {-kJunctionRadius, -kJunctionRadius, kJunctionRadius, kJunctionRadius};
  }
  return r;
}

LabelRecord* label_new(Schematic& s) {
  LabelRecord* r = append(s, s.page().labels);
  if (r) {
    r->color = s.colors.label;
    r->index = static_cast<int32_t>(s.page().labels.size()) - 1;
  }
  return r;
}

TextRecord* text_new(Schematic& s) {
  TextRecord* r = append(s, s.page().texts);
  if (r) {
    r->color = s.colors.text;
    r->color2 = r->color;
  }
  return r;
}

BlockRecord* block_new(Schematic& s) {
  try {
    s.page().blocks.push_back(std::make_unique<BlockRecord>());
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  return s.page().blocks.back().get();
}

WireRecord* wire_add(Schematic& s, int x1, int y1, int x2, int y2) {
  if (x1 != x2 && y1 != y2) return nullptr;
  WireRecord* w = wire_new(s);
  if (!w) return nullptr;
  w->orientation = (y1 == y2) ? 1 : 2;
  w->x1 = std::min(x1, x2);
  w->y1 = std::min(y1, y2);
  w->x2 = std::max(x1, x2);
  w->y2 = std::max(y1, y2);
  w->dx = w->x2 - w->x1;
  w->dy = w->y2 - w->y1;
  mark_changed(s, w->owner);
  return w;
}

JunctionRecord* junction_add(Schematic& s, int x, int y) {
  for (const auto& j : s.page().junctions)
    if (j->x == x && j->y == y) return j.get();
  JunctionRecord* j = junction_new(s);
  if (!j) return nullptr;
  j->x = x;
  j->y = y;
  mark_changed(s, j->owner);
  return j;
}

int part_delete(Schematic& s, const PartRecord* p) {
  return remove_from(s, s.page().parts, p);
}

int wire_delete(Schematic& s, const WireRecord* w) {
  return remove_from(s, s.page().wires, w);
}

int junction_delete(Schematic& s, const JunctionRecord* j) {
  return remove_from(s, s.page().junctions, j);
}

int label_delete(Schematic& s, const LabelRecord* l) {
  Page& page = s.page();
  const bool on_page =
      std::any_of(page.labels.begin(), page.labels.end(), [l](const auto& x) { return x.get() == l; });
  if (!on_page) return 0;
  // A label's attachment is derived by the connectivity pass; drop it here so no
  // wire or pin is left pointing at a freed record.
  for (auto& w : page.wires)
    if (w->label == l) w->label = nullptr;
  for (auto& p : page.parts)
    for (auto& pn : p->pin_nodes)
      if (pn.label == l) pn.label = nullptr;
  return remove_from(s, page.labels, l);
}

int text_delete(Schematic& s, const TextRecord* t) {
  return remove_from(s, s.page().texts, t);
}

int block_delete(Schematic& s, const BlockRecord* b) {
  Page& page = s.page();
  const bool on_page =
      std::any_of(page.blocks.begin(), page.blocks.end(), [b](const auto& x) { return x.get() == b; });
  if (!on_page || page.top() == b) return 0;
  auto owned_by = [b](const auto& r) { return r->owner == b; };
  // Whatever the block still holds goes back to the top circuit rather than
  // keeping a reference to a freed block.
  auto reown = [&](auto& list) {
    for (auto& r : list)
      if (owned_by(r)) r->owner = page.top();
  };
  reown(page.parts);
  reown(page.wires);
  reown(page.junctions);
  reown(page.labels);
  reown(page.texts);
  if (page.edit_block == b) page.edit_block = page.top();
  s.modified = s.revision_due = true;
  page.blocks.erase(
      std::find_if(page.blocks.begin(), page.blocks.end(), [b](const auto& x) { return x.get() == b; }));
  return 1;
}

BlockRecord* block_find(Schematic& s, int index) {
  return at_position(s.page().blocks, index);
}
LabelRecord* label_find(Schematic& s, int index) {
  return at_position(s.page().labels, index);
}
LibraryLink* link_find(Schematic& s, int index) {
  return at_position(s.links, index);
}

void mark_changed(Schematic& s, BlockRecord* block) {
  if (block) block->dirty = 1;
  s.modified = true;
  s.revision_due = true;
}

// --- part attributes ---

int part_set_reference(PartRecord& p, const std::string& reference, Notify& notify) {
  if (reference.find_first_of(" \t") != std::string::npos) {
    notify.error("Spaces not allowed in part reference names");
    return 0;
  }
  if (reference.size() > FixedText<16>::capacity()) return 0;
  p.reference.assign(reference);
  return 1;
}

int part_set_value(PartRecord& p, const std::string& value, Notify& notify) {
  if (!p.value.assign(value)) notify.warning("Value attribute truncated to limit of 31 characters.");
  return 1;
}

PartRecord* part_place(Schematic& s, const SymbolRecord* symbol, int x, int y) {
  if (!symbol) return nullptr;
  PartRecord* p = part_new(s);
  if (!p) return nullptr;
  p->symbol = symbol;
  p->x = snap_to_grid(x);
  p->y = snap_to_grid(y);
  p->value.assign(symbol->default_value.str());
  p->template_text = symbol->template_text;
  p->pin_nodes.assign(symbol->pins.size(), PinNode{});
  part_update_region(s, *p);
  mark_changed(s, p->owner);
  return p;
}

// --- orientation ---

Region oriented_region(const Region& r0, int scale, const int32_t* steps, int count) {
  Region r{r0.x1 * scale, r0.y1 * scale, r0.x2 * scale, r0.y2 * scale};
  for (int i = 0; i < count; ++i) {
    switch (steps[i]) {
      case kStepRotate:
        r = {r.y1, -r.x2, r.y2, -r.x1};
        break;
      case kStepMirror:
        r = {-r.x2, r.y1, -r.x1, r.y2};
        break;
      case kStepFlip:
        r = {r.x1, -r.y2, r.x2, -r.y1};
        break;
      default:
        break;
    }
  }
  return r;
}

void part_update_region(const Schematic& s, PartRecord& p) {
  if (!p.symbol) return;
  const int count = std::clamp<int>(p.step_count, 0, kMaxOrientSteps);
  p.region = oriented_region(p.symbol->region, s.page().settings.scale, p.steps.data(), count);
}

int part_orient(Schematic& s, PartRecord& p, int step, Notify& notify) {
  if (!p.symbol) return 0;
  if (step == kStepRotate && !p.symbol->rotatable) {
    notify.error("Rotation not allowed for this part");
    return 0;
  }
  int count = std::clamp<int>(p.step_count, 0, kMaxOrientSteps);
  if (step == kStepRotate) {
    const auto rotations = std::count(p.steps.begin(), p.steps.begin() + count, kStepRotate);
    if (rotations > 2) count = kMaxOrientSteps;
  }
  if (count > 7) {
    // Back to the symbol's own orientation; the new step is not added.
    p.step_count = 0;
    p.steps.fill(0);
  } else {
    p.steps[count] = step;
    p.step_count = count + 1;
  }
  part_update_region(s, p);
  mark_changed(s, p.owner);
  return 1;
}

// --- pages ---

int page_add(Schematic& s, Notify& notify, std::time_t now) {
  PageTable& t = s.page_table;
  if (t.page_count >= kMaxPages) {
    notify.error("Exceeds maximum number of pages");
    return 0;
  }
  const PageTableEntry& prev = t.entries[t.page_count - 1];
  PageTableEntry entry;
  entry.renumber = 1;
  entry.last_node = -1;
  entry.first_node =
      prev.last_node >= 1 ? (prev.last_node / 10 + 1) * 10 : ((prev.first_node + 10) / 10) * 10;

  const TitleBlock& from = s.page().title;
  const int32_t scale = s.page().settings.scale;
  const int32_t size = s.page().settings.sheet_size;
  Page& p = page_append(s);
  ++t.page_count;
  t.entries[t.page_count - 1] = entry;
  p.top()->first_node = entry.first_node;
  p.settings.scale = scale;
  p.settings.sheet_size = size;
  titleblock_init(p.title, s.path, t.page_count, t.page_count, now);
  p.title.title1 = from.title1;
  p.title.number = from.number;
  p.title.revision = from.revision;
  p.title.drawn_by = from.drawn_by;
  p.title.size = from.size;
  t.current_page = t.page_count - 1;
  s.modified = s.revision_due = true;
  return 1;
}

int page_delete(Schematic& s, int n, Notify& notify) {
  PageTable& t = s.page_table;
  if (n == 0) {
    notify.error("Cannot delete first page");
    return 0;
  }
  if (n < 0 || n >= t.page_count) {
    notify.error(strprintf("Cannot open page %d - invalid page number", n + 1));
    return 0;
  }
  if (notify.question(strprintf("Are you sure you want to delete page %d?", n + 1), QuestionKind::YesNo) != 1)
    return -1;
  s.pages.erase(s.pages.begin() + n);
  for (int k = n; k + 1 < t.page_count; ++k) t.entries[k] = std::move(t.entries[k + 1]);
  t.entries[t.page_count - 1] = PageTableEntry{};
  --t.page_count;
  if (t.current_page >= n) t.current_page = std::max(0, t.current_page - 1);
  s.modified = s.revision_due = true;
  return 1;
}

int page_select(Schematic& s, int n, Notify& notify) {
  if (n < 0 || n >= s.page_table.page_count || n >= static_cast<int>(s.pages.size())) {
    notify.error(strprintf("Cannot open page %d - invalid page number", n + 1));
    return 0;
  }
  s.page_table.current_page = n;
  return 1;
}

void pages_update_first_nodes(Schematic& s) {
  PageTable& t = s.page_table;
  for (int k = 1; k < t.page_count; ++k) {
    const PageTableEntry& prev = t.entries[k - 1];
    PageTableEntry& e = t.entries[k];
    if (e.first_node <= prev.last_node) {
      e.first_node = prev.last_node / 10 * 10 + 10;
      e.renumber = 1;
      if (k < static_cast<int>(s.pages.size())) s.pages[k]->top()->first_node = e.first_node;
    }
  }
}

// --- title block ---

void titleblock_init(TitleBlock& t, const std::string& file_name, int page, int page_count, std::time_t now) {
  t = TitleBlock{};
  t.file.assign("File: " + file_name);
  t.page.assign(strprintf("Page: %d of %d", page, page_count));
  t.number.assign("No:");
  t.revision.assign("Rev: 0");
  t.drawn_by.assign("Drawn by:");
  t.created.assign("Created: " + date_text(local_time(now)));
  t.size.assign("Size: A");
}

void titleblock_revision_update(TitleBlock& t, std::time_t now) {
  const std::string rev = t.revision.str();
  if (istarts_with(rev, "Rev: ")) {
    long n = std::strtol(rev.c_str() + 5, nullptr, 10);
    if (n < 0) n = 0;
    if (n >= 0x7fffffffL) n = 0x7ffffffeL;  // stays a valid "%d" after the raise
    t.revision.assign(strprintf("Rev: %ld", n + 1));
  }
  const std::tm tm = local_time(now);
  t.revised.assign(date_text(tm) + strprintf(" %02d:%02d", tm.tm_hour, tm.tm_min));
}

}  // namespace zephyrim
