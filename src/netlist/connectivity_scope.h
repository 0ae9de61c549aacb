#pragma once
// The records of one circuit scope as the connectivity pass and the label
// search see them, and the geometry the two share. Only the netlist folder's
// connectivity files include it.
#include <algorithm>
#include <utility>
#include <vector>

#include "netlist/connectivity.h"

namespace zephyrim::connectivity_detail {

inline bool in_scope(const BlockRecord* owner, const BlockRecord* scope, const Page& page) {
  // Records made before any block existed belong to the top circuit.
  return owner == scope || (owner == nullptr && scope == page.top());
}

struct Seg {
  int x1, y1, x2, y2;  // lower coordinates first
  bool horizontal() const { return y1 == y2; }
};

inline Seg seg_of(const WireRecord& w) {
  return {std::min(w.x1, w.x2), std::min(w.y1, w.y2), std::max(w.x1, w.x2), std::max(w.y1, w.y2)};
}

inline bool on_box(int x, int y, int x1, int y1, int x2, int y2) {
  return std::min(x1, x2) <= x && x <= std::max(x1, x2) && std::min(y1, y2) <= y && y <= std::max(y1, y2);
}

inline bool on_seg(int x, int y, const Seg& s) {
  return on_box(x, y, s.x1, s.y1, s.x2, s.y2);
}

inline long long box_dist2(long long ax1, long long ay1, long long ax2, long long ay2, long long bx1,
                           long long by1, long long bx2, long long by2) {
  const long long dx = std::max({0LL, bx1 - ax2, ax1 - bx2});
  const long long dy = std::max({0LL, by1 - ay2, ay1 - by2});
  return dx * dx + dy * dy;
}

struct PinRef {
  PartRecord* part;
  int part_index;
  int k;
  PinLine line;
};

// The records of one scope, in list order.
struct ScopeView {
  Page& page;
  BlockRecord* scope;
  std::vector<WireRecord*> wires;
  std::vector<Seg> segs;
  std::vector<PartRecord*> parts;
  std::vector<LabelRecord*> labels;
  std::vector<PinRef> pins;          // of parts, rails and I/O pins
  std::vector<PinLine> ground_pins;  // of ground symbols
  std::vector<std::pair<int, int>> dots;
};

inline bool takes_part(const PartRecord& p) {
  return p.symbol && (p.symbol->kind == kSymbolPart || p.symbol->kind == kSymbolPowerRail ||
                      p.symbol->kind == kSymbolIoPin);
}

// The wires, labels, dots and pins of `scope` on the page, in list order; parts
// get a pin entry for every pin of their symbol.
ScopeView collect(Page& page, BlockRecord* scope);

}  // namespace zephyrim::connectivity_detail
