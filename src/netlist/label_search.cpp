#include "netlist/label_search.h"

#include <algorithm>
#include <string>

namespace zephyrim {

namespace connectivity_detail {

// The boxes of a label's search. A wire is found when the label's anchor (its
// left end) lies in the wire's box: the label's width further left, four grid
// steps beside a horizontal wire and three beside a vertical one, four above
// and below. A pin is found when its tip lies in the label's box: three grid
// steps around the label's text. The index and the test share them, so the two
// cannot disagree about what a label reaches.
struct SearchBox {
  long long x1, y1, x2, y2;
  bool holds(long long x, long long y) const { return x1 <= x && x <= x2 && y1 <= y && y <= y2; }
};

namespace {

SearchBox wire_search_box(const Seg& sg, long long label_width, long long gs) {
  const long long k = sg.horizontal() ? 4 : 3;
  return {sg.x1 - label_width - gs * k, sg.y1 - 4 * gs, sg.x2 + gs * k, sg.y2 + 4 * gs};
}

SearchBox pin_search_box(const LabelRecord& l, long long gs) {
  const long long x = l.x, y = l.y;
  return {x - 3 * gs, y - 3 * gs, x + l.width + 3 * gs, y + 3 * gs};
}

}  // namespace

LabelSearch::LabelSearch(const ScopeView& v, bool indexed) : v_(v), indexed_(indexed) {
  gs_ = kGridStep * std::max(1, v.page.settings.scale);
  // Without labels nothing is searched: the index would be built for nothing.
  if (!indexed_ || v.labels.empty()) return;
  cell_ = 16LL * gs_;
  for (const LabelRecord* l : v.labels)
    if (l->width >= 0 && l->width <= kMaxIndexedWidth) widest_ = std::max<long long>(widest_, l->width);
  for (size_t i = 0; i < v.segs.size(); ++i)
    if (!bucket(wire_search_box(v.segs[i], widest_, gs_), static_cast<int>(i), wire_cells_))
      wide_wires_.push_back(static_cast<int>(i));
  for (size_t i = 0; i < v.pins.size(); ++i)
    pin_cells_[key(cell(v.pins[i].line.tip_x), cell(v.pins[i].line.tip_y))].push_back(static_cast<int>(i));
}

const std::vector<int>& LabelSearch::wires(const LabelRecord& l) {
  out_.clear();
  if (!indexed_ || l.width > widest_) return all(v_.segs.size());
  auto it = wire_cells_.find(key(cell(l.x), cell(l.y)));
  if (it != wire_cells_.end()) out_ = it->second;
  if (!wide_wires_.empty()) {
    out_.insert(out_.end(), wide_wires_.begin(), wide_wires_.end());
    std::sort(out_.begin(), out_.end());
  }
  return out_;
}

const std::vector<int>& LabelSearch::pins(const LabelRecord& l) {
  out_.clear();
  const SearchBox box = pin_search_box(l, gs_);
  const long long x1 = cell(box.x1), x2 = cell(box.x2), y1 = cell(box.y1), y2 = cell(box.y2);
  if (!indexed_ || (x2 - x1 + 1) * (y2 - y1 + 1) > kMaxCells) return all(v_.pins.size());
  for (long long cx = x1; cx <= x2; ++cx)
    for (long long cy = y1; cy <= y2; ++cy) {
      auto it = pin_cells_.find(key(cx, cy));
      if (it != pin_cells_.end()) out_.insert(out_.end(), it->second.begin(), it->second.end());
    }
  std::sort(out_.begin(), out_.end());
  return out_;
}

bool LabelSearch::bucket(const SearchBox& box, int id,
                         std::unordered_map<unsigned long long, std::vector<int>>& cells) {
  const long long cx1 = cell(box.x1), cx2 = cell(box.x2), cy1 = cell(box.y1), cy2 = cell(box.y2);
  if ((cx2 - cx1 + 1) * (cy2 - cy1 + 1) > kMaxCells) return false;
  for (long long cx = cx1; cx <= cx2; ++cx)
    for (long long cy = cy1; cy <= cy2; ++cy) cells[key(cx, cy)].push_back(id);
  return true;
}

const std::vector<int>& LabelSearch::all(size_t n) {
  out_.resize(n);
  for (size_t i = 0; i < n; ++i) out_[i] = static_cast<int>(i);
  return out_;
}

std::pair<int, int> label_target(const ScopeView& v, LabelSearch& search, const LabelRecord& label) {
  const long long gs = search.grid();
  const long long x = label.x, y = label.y, width = label.width;
  int wire = -1, free_wire = -1;
  long long wd = 0, fwd = 0;
  for (int i : search.wires(label)) {
    const Seg& sg = v.segs[i];
    if (!wire_search_box(sg, width, gs).holds(x, y)) continue;
    const long long d = box_dist2(x, y, x + width, y, sg.x1, sg.y1, sg.x2, sg.y2);
    if (wire < 0 || d < wd) wire = i, wd = d;
    if (!v.wires[i]->label && (free_wire < 0 || d < fwd)) free_wire = i, fwd = d;
  }
  if (free_wire >= 0) wire = free_wire, wd = fwd;
  int pin = -1, free_pin = -1;
  long long pd = 0, fpd = 0;
  const SearchBox pin_box = pin_search_box(label, gs);
  for (int i : search.pins(label)) {
    const PinRef& r = v.pins[i];
    if (r.part->symbol->kind != kSymbolPart) continue;
    const long long tx = r.line.tip_x, ty = r.line.tip_y;
    if (!pin_box.holds(tx, ty)) continue;
    const long long d = box_dist2(x, y, x + width, y, tx, ty, tx, ty);
    if (pin < 0 || d < pd) pin = i, pd = d;
    if (!r.part->pin_nodes[r.k].label && (free_pin < 0 || d < fpd)) free_pin = i, fpd = d;
  }
  if (free_pin >= 0) pin = free_pin, pd = fpd;

  if (wire >= 0 && (pin < 0 || pd >= wd)) return {wire, -1};
  return {-1, pin};
}

}  // namespace connectivity_detail

using namespace connectivity_detail;

int label_attach(Schematic& s, LabelRecord& label, Notify& notify) {
  Page& page = s.page();
  BlockRecord* scope = label.owner ? label.owner : page.top();
  ScopeView v = collect(page, scope);
  // A label moved by the user leaves whatever it was attached to before.
  for (WireRecord* w : v.wires)
    if (w->label == &label) w->label = nullptr;
  for (const PinRef& r : v.pins)
    if (r.part->pin_nodes[r.k].label == &label) r.part->pin_nodes[r.k].label = nullptr;
  LabelSearch search(v, false);
  const auto [wire, pin] = label_target(v, search, label);
  const std::string name = label.name.str();
  if (wire >= 0) {
    WireRecord& w = *v.wires[wire];
    if (w.label && w.label != &label) {
      notify.warning("Label " + w.label->name.str() + " already assigned to this wire");
      return 0;
    }
    w.label = &label;
  } else if (pin >= 0) {
    PinNode& pn = v.pins[pin].part->pin_nodes[v.pins[pin].k];
    if (pn.label && pn.label != &label &&
        notify.question("Label " + pn.label->name.str() + " already assigned to this pin.\nReplace label?",
                        QuestionKind::YesNo) != 1)
      return 0;
    pn.label = &label;
  } else {
    notify.information("Label " + name + " is not assigned");
    return 0;
  }
  mark_changed(s, scope);
  return 1;
}

}  // namespace zephyrim
