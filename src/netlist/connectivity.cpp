#include "netlist/connectivity.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <set>
#include <span>
#include <unordered_map>

#include "symbols/draw_command.h"

namespace zephyrim {

const NodeTable* Connectivity::table(const BlockRecord* scope) const {
  auto it = tables.find(scope);
  return it == tables.end() ? nullptr : &it->second;
}

std::string node_name(const NodeTable& table, int i) {
  if (i < 0 || i >= table.count || i >= table.size()) return {};
  return table.entries[i].name.str();
}

int part_pin_node(const PartRecord& p, int k) {
  if (k < 0 || k >= static_cast<int>(p.pin_nodes.size())) return -1;
  return p.pin_nodes[k].node;
}

PinLine part_pin_line(const Page& page, const PartRecord& p, int k) {
  if (!p.symbol || k < 0 || k >= p.symbol->pin_count()) return {p.x, p.y, p.x, p.y};
  const SymbolPin& pin = p.symbol->pins[k];
  int tx = pin.x, ty = pin.y, ex = pin.x, ey = pin.y;
  const int side = pin.side > 4 ? pin.side - 4 : pin.side;
  if (side == 2 || side == 4) ex = pin.lead_end;
  if (side == 1 || side == 3) ey = pin.lead_end;
  const int scale = std::max(1, page.settings.scale);
  const int count = std::clamp<int>(p.step_count, 0, kMaxOrientSteps);
  orient_point(tx, ty, scale, p.steps.data(), count);
  orient_point(ex, ey, scale, p.steps.data(), count);
  return {p.x + tx, p.y + ty, p.x + ex, p.y + ey};
}

namespace {

bool in_scope(const BlockRecord* owner, const BlockRecord* scope, const Page& page) {
  // Records made before any block existed belong to the top circuit.
  return owner == scope || (owner == nullptr && scope == page.top());
}

struct Seg {
  int x1, y1, x2, y2;  // lower coordinates first
  bool horizontal() const { return y1 == y2; }
};

Seg seg_of(const WireRecord& w) {
  return {std::min(w.x1, w.x2), std::min(w.y1, w.y2), std::max(w.x1, w.x2), std::max(w.y1, w.y2)};
}

bool on_box(int x, int y, int x1, int y1, int x2, int y2) {
  return std::min(x1, x2) <= x && x <= std::max(x1, x2) && std::min(y1, y2) <= y && y <= std::max(y1, y2);
}

bool on_seg(int x, int y, const Seg& s) {
  return on_box(x, y, s.x1, s.y1, s.x2, s.y2);
}

// Kind of an end point of `a` lying on `b`: 4 inside, 5 on an end, 0 off it.
int end_on(const Seg& a, const Seg& b) {
  for (const auto& [x, y] : {std::pair{a.x1, a.y1}, std::pair{a.x2, a.y2}}) {
    if (!on_seg(x, y, b)) continue;
    const bool at_end = (x == b.x1 && y == b.y1) || (x == b.x2 && y == b.y2);
    return at_end ? kConnectEndOnEnd : kConnectEndInterior;
  }
  return kNotConnected;
}

bool dot_at(const Page& page, const BlockRecord* scope, int x, int y) {
  for (const auto& j : page.junctions)
    if (j->x == x && j->y == y && in_scope(j->owner, scope, page)) return true;
  return false;
}

int leading_int(const std::string& text) {
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  return static_cast<int>(std::clamp<long>(v, -1, 100000));
}

long long box_dist2(long long ax1, long long ay1, long long ax2, long long ay2, long long bx1, long long by1,
                    long long bx2, long long by2) {
  const long long dx = std::max({0LL, bx1 - ax2, ax1 - bx2});
  const long long dy = std::max({0LL, by1 - ay2, ay1 - by2});
  return dx * dx + dy * dy;
}

// Axis-aligned segments (and points) grouped by the line they lie on, each line
// sorted by its lower end, so a point query looks at only the few segments
// that can reach it.
class SegmentIndex {
 public:
  void add(int x1, int y1, int x2, int y2, int id) {
    if (x1 > x2) std::swap(x1, x2);
    if (y1 > y2) std::swap(y1, y2);
    if (y1 == y2)
      rows_[y1].items.push_back({x1, x2, id});
    else if (x1 == x2)
      cols_[x1].items.push_back({y1, y2, id});
    else
      boxes_.push_back({x1, y1, x2, y2, id});
  }
  void finish() {
    for (auto* lines : {&rows_, &cols_})
      for (auto& [key, line] : *lines) {
        std::stable_sort(line.items.begin(), line.items.end(),
                         [](const Item& a, const Item& b) { return a.lo < b.lo; });
        line.reach.resize(line.items.size());
        int reach = INT32_MIN;
        for (size_t i = 0; i < line.items.size(); ++i)
          line.reach[i] = reach = std::max(reach, line.items[i].hi);
      }
  }
  // Ids of every segment through (x, y), in no particular order.
  void query(int x, int y, std::vector<int>& out) const {
    out.clear();
    scan(rows_, y, x, out);
    scan(cols_, x, y, out);
    for (const Box& b : boxes_)
      if (on_box(x, y, b.x1, b.y1, b.x2, b.y2)) out.push_back(b.id);
  }

 private:
  struct Item {
    int lo, hi, id;
  };
  struct Line {
    std::vector<Item> items;
    std::vector<int> reach;  // highest end among items[0..i]
  };
  struct Box {
    int x1, y1, x2, y2, id;
  };
  static void scan(const std::unordered_map<int, Line>& lines, int key, int c, std::vector<int>& out) {
    auto it = lines.find(key);
    if (it == lines.end()) return;
    const Line& line = it->second;
    auto up = std::upper_bound(line.items.begin(), line.items.end(), c,
                               [](int v, const Item& item) { return v < item.lo; });
    for (auto k = up - line.items.begin() - 1; k >= 0 && line.reach[k] >= c; --k)
      if (line.items[k].hi >= c) out.push_back(line.items[k].id);
  }
  std::unordered_map<int, Line> rows_, cols_;
  std::vector<Box> boxes_;
};

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

bool takes_part(const PartRecord& p) {
  return p.symbol && (p.symbol->kind == kSymbolPart || p.symbol->kind == kSymbolPowerRail ||
                      p.symbol->kind == kSymbolIoPin);
}

// The geometric questions of the pass.
class Geometry {
 public:
  virtual ~Geometry() = default;
  virtual bool wire_on_ground(int w) = 0;
  // Wires connected to w, ascending, w itself excluded.
  virtual std::span<const int> neighbours(int w) = 0;
  // First wire (list order) through the point, or -1.
  virtual int wire_at(int x, int y) = 0;
  virtual bool ground_at(int x, int y) = 0;
  // First pin (pin list order) of another part whose pin line holds the point.
  virtual int pin_at(int x, int y, const PartRecord* part) = 0;
};

class PairwiseGeometry : public Geometry {
 public:
  explicit PairwiseGeometry(const ScopeView& v) : v_(v) {}
  bool wire_on_ground(int w) override {
    for (const PinLine& g : v_.ground_pins)
      if (on_seg(g.tip_x, g.tip_y, v_.segs[w])) return true;
    return false;
  }
  std::span<const int> neighbours(int w) override {
    out_.clear();
    for (size_t j = 0; j < v_.wires.size(); ++j)
      if (static_cast<int>(j) != w && wires_connected(*v_.wires[w], *v_.wires[j], v_.page, v_.scope))
        out_.push_back(static_cast<int>(j));
    return out_;
  }
  int wire_at(int x, int y) override {
    for (size_t j = 0; j < v_.segs.size(); ++j)
      if (on_seg(x, y, v_.segs[j])) return static_cast<int>(j);
    return -1;
  }
  bool ground_at(int x, int y) override {
    for (const PinLine& g : v_.ground_pins)
      if ((g.tip_x == x && g.tip_y == y) || on_box(x, y, g.tip_x, g.tip_y, g.end_x, g.end_y)) return true;
    return false;
  }
  int pin_at(int x, int y, const PartRecord* part) override {
    for (size_t j = 0; j < v_.pins.size(); ++j) {
      const PinRef& o = v_.pins[j];
      if (o.part == part) continue;
      if ((o.line.tip_x == x && o.line.tip_y == y) ||
          on_box(x, y, o.line.tip_x, o.line.tip_y, o.line.end_x, o.line.end_y))
        return static_cast<int>(j);
    }
    return -1;
  }

 private:
  const ScopeView& v_;
  std::vector<int> out_;
};

class IndexedGeometry : public Geometry {
 public:
  explicit IndexedGeometry(const ScopeView& v) : v_(v), grounded_(v.wires.size(), 0) {
    for (size_t i = 0; i < v.segs.size(); ++i) {
      const Seg& s = v.segs[i];
      wires_.add(s.x1, s.y1, s.x2, s.y2, static_cast<int>(i));
    }
    wires_.finish();
    for (size_t i = 0; i < v.ground_pins.size(); ++i) {
      const PinLine& g = v.ground_pins[i];
      grounds_.add(g.tip_x, g.tip_y, g.end_x, g.end_y, static_cast<int>(i));
      wires_.query(g.tip_x, g.tip_y, hits_);
      for (int w : hits_) grounded_[w] = 1;
    }
    grounds_.finish();
    for (size_t i = 0; i < v.pins.size(); ++i) {
      const PinLine& l = v.pins[i].line;
      pins_.add(l.tip_x, l.tip_y, l.end_x, l.end_y, static_cast<int>(i));
    }
    pins_.finish();

    auto link = [this](int a, int b) {
      if (a == b) return;
      links_.emplace_back(a, b);
      links_.emplace_back(b, a);
    };
    // Ends on ends or on another wire, and wires overlapping in line (one's end
    // then lies on the other): every such pair is found from an end.
    for (size_t i = 0; i < v.segs.size(); ++i) {
      const Seg& s = v.segs[i];
      for (const auto& [x, y] : {std::pair{s.x1, s.y1}, std::pair{s.x2, s.y2}}) {
        wires_.query(x, y, hits_);
        for (int w : hits_) link(static_cast<int>(i), w);
      }
    }
    // A dot joins the crossing wires through it.
    for (const auto& [x, y] : v.dots) {
      wires_.query(x, y, hits_);
      for (int a : hits_)
        for (int b : hits_)
          if (v.segs[a].horizontal() && !v.segs[b].horizontal()) link(a, b);
    }
    std::unordered_map<const LabelRecord*, int> by_label;
    for (size_t i = 0; i < v.wires.size(); ++i)
      if (const LabelRecord* l = v.wires[i]->label) {
        auto [it, fresh] = by_label.try_emplace(l, static_cast<int>(i));
        if (!fresh) link(it->second, static_cast<int>(i));
      }
    // One flat array of neighbour lists, each sorted and without repeats.
    first_.assign(v.wires.size() + 1, 0);
    for (const auto& [a, b] : links_) ++first_[a + 1];
    for (size_t i = 1; i < first_.size(); ++i) first_[i] += first_[i - 1];
    adj_.resize(links_.size());
    std::vector<int> fill(first_.begin(), first_.end() - 1);
    for (const auto& [a, b] : links_) adj_[fill[a]++] = b;
    links_ = {};
    int kept = 0;
    for (size_t i = 0; i + 1 < first_.size(); ++i) {
      const auto begin = adj_.begin() + first_[i], end = adj_.begin() + first_[i + 1];
      std::sort(begin, end);
      const int start = kept;
      for (auto it = begin; it != end; ++it)
        if (it == begin || *it != *(it - 1)) adj_[kept++] = *it;
      first_[i] = start;
    }
    first_.back() = kept;
    adj_.resize(kept);
  }
  bool wire_on_ground(int w) override { return grounded_[w]; }
  std::span<const int> neighbours(int w) override {
    return {adj_.data() + first_[w], static_cast<size_t>(first_[w + 1] - first_[w])};
  }
  int wire_at(int x, int y) override {
    wires_.query(x, y, hits_);
    return hits_.empty() ? -1 : *std::min_element(hits_.begin(), hits_.end());
  }
  bool ground_at(int x, int y) override {
    grounds_.query(x, y, hits_);
    return !hits_.empty();
  }
  int pin_at(int x, int y, const PartRecord* part) override {
    pins_.query(x, y, hits_);
    int best = -1;
    for (int j : hits_)
      if (v_.pins[j].part != part && (best < 0 || j < best)) best = j;
    return best;
  }

 private:
  const ScopeView& v_;
  SegmentIndex wires_, grounds_, pins_;
  std::vector<std::pair<int, int>> links_;
  std::vector<int> first_, adj_;  // neighbours of w: adj_[first_[w] .. first_[w + 1])
  std::vector<char> grounded_;
  std::vector<int> hits_;
};

// The table under construction: entries with no connections below the count
// are kept in a set, so a new node takes the lowest free index at once.
class TableBuilder {
 public:
  TableBuilder(NodeTable& t, int allocate) : t_(t) {
    t_.entries.assign(allocate, NodeEntry{});
    t_.entries[0].name.assign("0");
    t_.count = 1;
  }
  NodeEntry& operator[](int i) { return t_.entries[i]; }
  int create() {
    int i;
    if (!free_.empty()) {
      i = *free_.begin();
      free_.erase(free_.begin());
    } else {
      i = t_.count++;
      if (i >= t_.size()) t_.entries.resize(t_.size() + 32);
    }
    t_.entries[i] = NodeEntry{};
    t_.entries[i].auto_name = 1;
    return i;
  }
  void add(int i, int connections, int pins = 0) {
    NodeEntry& e = t_.entries[i];
    if (i > 0 && e.connections == 0 && connections > 0) free_.erase(i);
    e.connections += connections;
    e.pins += pins;
    if (i > 0 && e.connections == 0) free_.insert(i);
  }
  // Removes unconnected entries above 0; returns the old-to-new index map.
  std::vector<int> squeeze() {
    std::vector<int> map(t_.count, -1);
    int n = 1;
    map[0] = 0;
    for (int i = 1; i < t_.count; ++i)
      if (t_.entries[i].connections > 0) {
        map[i] = n;
        t_.entries[n++] = t_.entries[i];
      }
    for (int i = n; i < t_.count; ++i) t_.entries[i] = NodeEntry{};
    t_.count = n;
    free_.clear();
    return map;
  }
  NodeTable& table() { return t_; }

 private:
  NodeTable& t_;
  std::set<int> free_;
};

// Wire membership of nodes while joining: groups of wires carry a node index,
// so a merge relabels only the smaller group.
class Membership {
 public:
  explicit Membership(size_t wires) : group_of_(wires, -1), pos_(wires, 0) {}
  int node(int w) const { return group_of_[w] < 0 ? -1 : group_node_[group_of_[w]]; }
  void put(int w, int node) {
    if (group_of_[w] >= 0) take_out(w);
    const int g = group_for(node);
    group_of_[w] = g;
    pos_[w] = static_cast<int>(members_[g].size());
    members_[g].push_back(w);
  }
  void merge(int from, int into) {
    auto fi = node_group_.find(from);
    if (fi == node_group_.end()) return;
    int gf = fi->second;
    node_group_.erase(fi);
    auto ii = node_group_.find(into);
    if (ii == node_group_.end()) {
      node_group_[into] = gf;
      group_node_[gf] = into;
      return;
    }
    int gi = ii->second;
    if (members_[gf].size() > members_[gi].size()) std::swap(gf, gi);
    for (int w : members_[gf]) {
      group_of_[w] = gi;
      pos_[w] = static_cast<int>(members_[gi].size());
      members_[gi].push_back(w);
    }
    members_[gf].clear();
    node_group_[into] = gi;
    group_node_[gi] = into;
  }
  void renumber(const std::vector<int>& map) {
    std::unordered_map<int, int> moved;
    for (const auto& [node, g] : node_group_) {
      group_node_[g] = map[node];
      moved[map[node]] = g;
    }
    node_group_ = std::move(moved);
  }

 private:
  int group_for(int node) {
    auto it = node_group_.find(node);
    if (it != node_group_.end()) return it->second;
    const int g = static_cast<int>(members_.size());
    members_.emplace_back();
    group_node_.push_back(node);
    node_group_[node] = g;
    return g;
  }
  void take_out(int w) {
    auto& m = members_[group_of_[w]];
    const int last = m.back();
    m[pos_[w]] = last;
    pos_[last] = pos_[w];
    m.pop_back();
    group_of_[w] = -1;
  }
  std::vector<int> group_of_, pos_;
  std::vector<std::vector<int>> members_;
  std::vector<int> group_node_;
  std::unordered_map<int, int> node_group_;
};

ScopeView collect(Page& page, BlockRecord* scope) {
  ScopeView v{page, scope, {}, {}, {}, {}, {}, {}, {}};
  for (const auto& w : page.wires)
    if (in_scope(w->owner, scope, page)) {
      v.wires.push_back(w.get());
      v.segs.push_back(seg_of(*w));
    }
  for (const auto& l : page.labels)
    if (in_scope(l->owner, scope, page)) v.labels.push_back(l.get());
  for (const auto& j : page.junctions)
    if (in_scope(j->owner, scope, page)) v.dots.emplace_back(j->x, j->y);
  for (const auto& p : page.parts) {
    if (!in_scope(p->owner, scope, page) || !p->symbol) continue;
    PartRecord* part = p.get();
    const int index = static_cast<int>(v.parts.size());
    v.parts.push_back(part);
    if (part->pin_nodes.size() < static_cast<size_t>(part->symbol->pin_count()))
      part->pin_nodes.resize(part->symbol->pin_count());
    for (int k = 0; k < part->symbol->pin_count(); ++k) {
      if (part->symbol->kind == kSymbolGround)
        v.ground_pins.push_back(part_pin_line(page, *part, k));
      else if (takes_part(*part))
        v.pins.push_back({part, index, k, part_pin_line(page, *part, k)});
    }
  }
  return v;
}

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

SearchBox wire_search_box(const Seg& sg, long long label_width, long long gs) {
  const long long k = sg.horizontal() ? 4 : 3;
  return {sg.x1 - label_width - gs * k, sg.y1 - 4 * gs, sg.x2 + gs * k, sg.y2 + 4 * gs};
}

SearchBox pin_search_box(const LabelRecord& l, long long gs) {
  const long long x = l.x, y = l.y;
  return {x - 3 * gs, y - 3 * gs, x + l.width + 3 * gs, y + 3 * gs};
}

// Which wires and pins a label's search can reach. The indexed form buckets
// wires by the cells their candidate boxes cover and pins by the cell of their
// tip, so a label looks at a handful of records instead of all of them; the
// plain form offers every record, as the rule reads. Both hand out candidates
// in list order, so ties fall the same way.
class LabelSearch {
 public:
  LabelSearch(const ScopeView& v, bool indexed) : v_(v), indexed_(indexed) {
    gs_ = kGridStep * std::max(1, v.page.settings.scale);
    if (!indexed_) return;
    cell_ = 16LL * gs_;
    for (const LabelRecord* l : v.labels)
      if (l->width >= 0 && l->width <= kMaxIndexedWidth) widest_ = std::max<long long>(widest_, l->width);
    for (size_t i = 0; i < v.segs.size(); ++i)
      if (!bucket(wire_search_box(v.segs[i], widest_, gs_), static_cast<int>(i), wire_cells_))
        wide_wires_.push_back(static_cast<int>(i));
    for (size_t i = 0; i < v.pins.size(); ++i)
      pin_cells_[key(cell(v.pins[i].line.tip_x), cell(v.pins[i].line.tip_y))].push_back(static_cast<int>(i));
  }

  // Wires whose candidate box may hold the label's anchor, ascending.
  const std::vector<int>& wires(const LabelRecord& l) {
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

  // Pins whose tip may lie in the label's pin box, ascending.
  const std::vector<int>& pins(const LabelRecord& l) {
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

  int grid() const { return gs_; }

 private:
  static constexpr int kMaxIndexedWidth = 1 << 16;  // wider labels search everything
  static constexpr long long kMaxCells = 4096;      // a wire spanning more goes on the wide list

  long long cell(long long c) const { return c >= 0 ? c / cell_ : -((-c + cell_ - 1) / cell_); }
  static unsigned long long key(long long cx, long long cy) {
    return (static_cast<unsigned long long>(cx) << 32) ^ static_cast<unsigned long long>(cy & 0xffffffffLL);
  }
  bool bucket(const SearchBox& box, int id, std::unordered_map<unsigned long long, std::vector<int>>& cells) {
    const long long cx1 = cell(box.x1), cx2 = cell(box.x2), cy1 = cell(box.y1), cy2 = cell(box.y2);
    if ((cx2 - cx1 + 1) * (cy2 - cy1 + 1) > kMaxCells) return false;
    for (long long cx = cx1; cx <= cx2; ++cx)
      for (long long cy = cy1; cy <= cy2; ++cy) cells[key(cx, cy)].push_back(id);
    return true;
  }
  const std::vector<int>& all(size_t n) {
    out_.resize(n);
    for (size_t i = 0; i < n; ++i) out_[i] = static_cast<int>(i);
    return out_;
  }

  const ScopeView& v_;
  bool indexed_;
  int gs_ = kGridStep;
  long long cell_ = 1;
  long long widest_ = 0;
  std::unordered_map<unsigned long long, std::vector<int>> wire_cells_, pin_cells_;
  std::vector<int> wide_wires_;
  std::vector<int> out_;
};

// The wire (first) or pin (second) a label goes to; -1 for none. Candidates
// without a label are preferred; between a wire and a pin the wire wins ties.
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

struct Pass {
  Schematic& s;
  Connectivity& c;
  int mode;
  Notify& notify;
  bool indexed;

  void map(const std::string& text) {
    if (c.map_text) c.map_text(text);
  }

  // The map and part-list modes renumber everything and report what they find.
  bool reports() const { return mode == kConnectivityMap || mode == kConnectivityPartList; }

  void number_rule(NodeTable& t, const std::string& text) {
    const int v = leading_int(text);
    if (v >= 1 && v <= 9999 && v >= t.next_node) t.next_node = v + 1;
  }

  void name_node(NodeTable& t, int node, const std::string& text) {
    t.entries[node].name.assign(text.substr(0, 31));
    t.entries[node].auto_name = 0;
    number_rule(t, text);
  }

  void attach_labels(ScopeView& v) {
    for (WireRecord* w : v.wires) w->label = nullptr;
    for (PartRecord* p : v.parts)
      for (PinNode& pn : p->pin_nodes) pn.label = nullptr;
    LabelSearch search(v, indexed);
    for (LabelRecord* l : v.labels) {
      const auto [wire, pin] = label_target(v, search, *l);
      const std::string name = l->name.str();
      if (wire < 0 && pin < 0) {
        map("ERROR: label " + name + " not assigned to any wire or pin\n");
        ++c.bad_labels;
        notify.information("Label " + name + " is not assigned");
      } else if (wire >= 0) {
        WireRecord& w = *v.wires[wire];
        if (w.label) {
          map("ERROR: conflicting label " + name + " - assigned to wire " + w.label->name.str() + "\n\n");
          ++c.bad_labels;
        } else {
          w.label = l;
        }
      } else {
        const PinRef& r = v.pins[pin];
        PinNode& pn = r.part->pin_nodes[r.k];
        if (pn.label) {
          map("ERROR: conflicting label " + name + "\n");
          map("       assigned to part " + r.part->reference.str() + " pin " + std::to_string(r.k) + "\n\n");
          ++c.bad_labels;
        } else {
          pn.label = l;
        }
      }
    }
  }

  void join_wires(ScopeView& v, Geometry& geo, TableBuilder& t) {
    const int n = static_cast<int>(v.wires.size());
    Membership m(v.wires.size());
    for (int i = 0; i < n; ++i) {
      if (geo.wire_on_ground(i) && m.node(i) != 0) {
        if (m.node(i) > 0) t.add(m.node(i), -1);
        m.put(i, 0);
        t.add(0, 1);
      }
      if (m.node(i) < 0) {
        const int e = t.create();
        t.add(e, 1);
        m.put(i, e);
      }
      const std::span<const int> nb = geo.neighbours(i);
      for (int round = 0; round <= n; ++round) {
        bool changed = false;
        for (int j : nb) {
          const int mine = m.node(i), theirs = m.node(j);
          if (theirs == mine) continue;
          changed = true;
          if (theirs < 0) {
            m.put(j, mine);
            t.add(mine, 1);
          } else if (theirs < mine) {
            t.add(mine, -1);
            m.put(i, theirs);
            t.add(theirs, 1);
          } else {
            const int moved = t[theirs].connections;
            t.add(theirs, -moved);
            t.add(mine, moved);
            m.merge(theirs, mine);
          }
        }
        if (!changed) break;
      }
    }
    if (t.table().count > 2) m.renumber(t.squeeze());
    for (int i = 0; i < n; ++i) v.wires[i]->node = m.node(i);
  }

  void name_from_wire_labels(ScopeView& v, NodeTable& t) {
    std::vector<std::vector<WireRecord*>> labelled(t.count);
    for (WireRecord* w : v.wires)
      if (w->label && w->node >= 1) labelled[w->node].push_back(w);
    for (int node = 1; node < t.count; ++node) {
      if (labelled[node].empty()) continue;
      const LabelRecord* first = labelled[node].front()->label;
      name_node(t, node, first->name.str());
      for (const WireRecord* w : labelled[node])
        if (w->label != first) {
          map("ERROR: conflicting wire label " + w->label->name.str() + " assigned to node " +
              t.entries[node].name.str() + "\n\n");
          ++c.bad_labels;
        }
    }
  }

  static std::string name_source(const PinRef& r) {
    const PartRecord& p = *r.part;
    // A rail is named by its reference ("VCC"); its value is the voltage.
    if (p.symbol->kind == kSymbolPowerRail) return p.reference.str();
    if (p.symbol->kind == kSymbolIoPin) return p.value.empty() ? p.reference.str() : p.value.str();
    const LabelRecord* l = p.pin_nodes[r.k].label;
    return l ? l->name.str() : std::string();
  }

  void connect_pins(ScopeView& v, Geometry& geo, TableBuilder& t) {
    NodeTable& table = t.table();
    for (const PinRef& r : v.pins) {
      PinNode& pn = r.part->pin_nodes[r.k];
      pn.node = -1;
      const int w = geo.wire_at(r.line.tip_x, r.line.tip_y);
      if (w >= 0) {
        const WireRecord& wire = *v.wires[w];
        pn.node = wire.node;
        t.add(pn.node, 1, 1);
        if (wire.label && pn.label && pn.label != wire.label) {
          map("ERROR: pin " + r.part->reference.str() + "(" + std::to_string(r.k) + ") label " +
              pn.label->name.str() + " conflicts");
          map(" with wire label " + wire.label->name.str() + "\n\n");
          ++c.bad_labels;
        }
      } else if (geo.ground_at(r.line.tip_x, r.line.tip_y)) {
        pn.node = 0;
        t.add(0, 1, 1);
      }
    }
    for (const PinRef& r : v.pins) {
      PinNode& pn = r.part->pin_nodes[r.k];
      if (pn.node < 0) {
        const int o = geo.pin_at(r.line.tip_x, r.line.tip_y, r.part);
        if (o >= 0 && v.pins[o].part->pin_nodes[v.pins[o].k].node >= 0) {
          pn.node = v.pins[o].part->pin_nodes[v.pins[o].k].node;
          t.add(pn.node, 1, 1);
        } else {
          pn.node = t.create();
          if (o >= 0) {
            v.pins[o].part->pin_nodes[v.pins[o].k].node = pn.node;
            t.add(pn.node, 2, 2);
          } else {
            t.add(pn.node, 1, 1);
          }
        }
      }
      const std::string text = name_source(r);
      if (text.empty()) continue;
      if (pn.node != 0) {
        name_node(table, pn.node, text);
      } else {
        notify.warning("Part " + r.part->reference.str() + " pin# " + std::to_string(r.k + 1) +
                       " pin label: " + text + " assigned to ground node");
      }
    }
  }

  void number_nodes(ScopeView& v, NodeTable& t) {
    std::vector<char> numbered(t.count, 0);
    auto number = [&](int node) {
      NodeEntry& e = t.entries[node];
      if (node < 1 || !e.auto_name || !e.name.empty() || e.connections == 0) return;
      e.name.assign(std::to_string(t.next_node++));
      numbered[node] = 1;
    };
    for (const PinRef& r : v.pins) {
      if (r.part->symbol->kind != kSymbolPart) continue;
      const int node = r.part->pin_nodes[r.k].node;
      if (node < 0) continue;
      number(node);
      const NodeEntry& e = t.entries[node];
      if (numbered[node] && e.connections == 1 && e.pins == 1) {
        map("WARNING: pin " + r.part->reference.str() + "(" + std::to_string(r.k + 1) + ") node name " +
            e.name.str() + " open\n\n");
        ++c.open_pins;
      }
    }
    for (int node = 1; node < t.count; ++node) {
      number(node);
      const NodeEntry& e = t.entries[node];
      if (numbered[node] && e.connections > 0 && e.pins == 0) {
        map("WARNING: wire node name " + e.name.str() + " is floating\n\n");
        ++c.floating_wires;
      }
    }
  }

  // Where each node's name is drawn: beside the middle of its first wire, or at
  // the tip of its first pin for a node without wires.
  static void place_names(const ScopeView& v, NodeTable& t) {
    auto place = [&t](int node, int x, int y, int direction) {
      if (node < 0 || node >= t.count) return;
      NodeEntry& e = t.entries[node];
      if (e.display_flag) return;
      e.display_state = 0;
      e.display_flag = 1;
      e.display_direction = direction;
      e.display_x = x;
      e.display_y = y;
    };
    for (size_t i = 0; i < v.wires.size(); ++i) {
      const Seg& sg = v.segs[i];
      place(v.wires[i]->node, static_cast<int>((static_cast<long long>(sg.x1) + sg.x2) / 2),
            static_cast<int>((static_cast<long long>(sg.y1) + sg.y2) / 2), sg.horizontal() ? 0 : 1);
    }
    for (const PinRef& r : v.pins) place(r.part->pin_nodes[r.k].node, r.line.tip_x, r.line.tip_y, 0);
  }

  void remove_degenerate_wires(BlockRecord* scope) {
    Page& page = s.page();
    std::vector<const WireRecord*> bad;
    for (const auto& w : page.wires)
      if (in_scope(w->owner, scope, page) && ((w->x1 == w->x2) == (w->y1 == w->y2))) bad.push_back(w.get());
    for (const WireRecord* w : bad) wire_delete(s, w);
    if (!bad.empty()) mark_changed(s, scope);
  }

  // Returns 0 for a scope without pins (edit mode only), else 2.
  int scope_pass(BlockRecord* scope) {
    Page& page = s.page();
    const bool top = scope == page.top();
    remove_degenerate_wires(scope);
    ScopeView v = collect(page, scope);
    if (v.pins.empty()) {
      c.tables.erase(scope);
      scope->dirty = 0;
      if (mode == kConnectivityEdit) return 0;
      if (!v.wires.empty()) {
        const std::string n = std::to_string(v.wires.size());
        notify.warning(top ? "Top circuit contains " + n + " floating wires"
                           : "Subcircuit " + scope->name.str() + " contains " + n + " floating wires");
      }
      return 2;
    }

    NodeTable table;
    int allocate = static_cast<int>(v.pins.size()) + 1;
    if (allocate < 32) allocate = top ? 128 : 32;
    TableBuilder t(table, allocate);
    table.next_node = top ? s.page_table.entries[s.current_page()].first_node : scope->first_node;
    for (WireRecord* w : v.wires) w->node = -1;
    for (const PinRef& r : v.pins) r.part->pin_nodes[r.k].node = -1;

    attach_labels(v);
    std::unique_ptr<Geometry> geo;
    if (indexed)
      geo = std::make_unique<IndexedGeometry>(v);
    else
      geo = std::make_unique<PairwiseGeometry>(v);
    join_wires(v, *geo, t);
    name_from_wire_labels(v, table);
    connect_pins(v, *geo, t);
    number_nodes(v, table);
    place_names(v, table);
    if (reports() && c.write_table) c.write_table(*scope, table, mode);

    if (top) {
      PageTableEntry& e = s.page_table.entries[s.current_page()];
      e.last_node = table.next_node;
      e.renumber = 0;
      pages_update_first_nodes(s);
    }
    c.tables[scope] = std::move(table);
    scope->dirty = 0;
    return 2;
  }

  int run() {
    Page& page = s.page();
    c.bad_labels = c.open_pins = c.floating_wires = 0;
    if (page.parts.empty()) {
      c.force_rebuild = false;
      return 0;
    }
    if (reports())
      for (auto& b : page.blocks) b->dirty = 1;
    int result = 1;
    std::vector<BlockRecord*> scopes;
    for (auto& b : page.blocks) scopes.push_back(b.get());
    for (BlockRecord* b : scopes) {
      if (!b->dirty && !c.force_rebuild) continue;
      if (scope_pass(b) == 0)
        result = 0;
      else if (result != 0)
        result = 2;
    }
    if (c.bad_labels > 0) {
      if (reports()) notify.error(std::to_string(c.bad_labels) + " bad pin/wire labels found - see MAP file");
      result = -1;
    }
    if (reports()) {
      const bool first_sheet = s.current_page() == 0 || s.page_count() == 1;
      const std::string sheet = first_sheet ? "" : "Sheet " + std::to_string(s.current_page() + 1) + ": ";
      if (c.open_pins > 0 &&
          notify.question(sheet + std::to_string(c.open_pins) + " open pins - see MAP file",
                          QuestionKind::OkCancel) != 1)
        result = -1;
      if (c.floating_wires > 0 &&
          notify.question(sheet + std::to_string(c.floating_wires) + " floating wires - see MAP file",
                          QuestionKind::OkCancel) != 1)
        result = -1;
    }
    c.force_rebuild = false;
    return result;
  }
};

}  // namespace

int wires_connected(const WireRecord& wa, const WireRecord& wb, const Page& page, const BlockRecord* scope) {
  const Seg a = seg_of(wa), b = seg_of(wb);
  if ((a.x1 == b.x1 && a.y1 == b.y1) || (a.x1 == b.x2 && a.y1 == b.y2) || (a.x2 == b.x1 && a.y2 == b.y1) ||
      (a.x2 == b.x2 && a.y2 == b.y2))
    return kConnectEnds;
  if (a.horizontal() == b.horizontal()) {
    if (a.horizontal() ? (a.y1 == b.y1 && a.x1 <= b.x2 && b.x1 <= a.x2)
                       : (a.x1 == b.x1 && a.y1 <= b.y2 && b.y1 <= a.y2))
      return kConnectInLine;
  } else {
    const Seg& h = a.horizontal() ? a : b;
    const Seg& v = a.horizontal() ? b : a;
    if (h.x1 <= v.x1 && v.x1 <= h.x2 && v.y1 <= h.y1 && h.y1 <= v.y2 && dot_at(page, scope, v.x1, h.y1))
      return kConnectDot;
  }
  if (const int k = end_on(a, b)) return k;
  if (end_on(b, a)) return kConnectOtherEnd;
  if (wa.label && wa.label == wb.label) return kConnectSameLabel;
  return kNotConnected;
}

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

int build_connectivity(Schematic& s, Connectivity& c, int mode, Notify& notify) {
  return Pass{s, c, mode, notify, true}.run();
}

int build_connectivity_reference(Schematic& s, Connectivity& c, int mode, Notify& notify) {
  return Pass{s, c, mode, notify, false}.run();
}

}  // namespace zephyrim
