#include "netlist/connectivity.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <set>
#include <span>
#include <unordered_map>

#include "netlist/connectivity_scope.h"
#include "netlist/label_search.h"
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

using namespace connectivity_detail;

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

// Axis-aligned segments (and points) grouped by the line they lie on, each line
// sorted by its lower end, so a point query looks at only the few segments
// that can reach it. All lines of a direction share one array, so that a page
// of ten thousand short wires does not make ten thousand little vectors.
class SegmentIndex {
 public:
  void add(int x1, int y1, int x2, int y2, int id) {
    if (x1 > x2) std::swap(x1, x2);
    if (y1 > y2) std::swap(y1, y2);
    if (y1 == y2)
      rows_.items.push_back({y1, x1, x2, id});
    else if (x1 == x2)
      cols_.items.push_back({x1, y1, y2, id});
    else
      boxes_.push_back({x1, y1, x2, y2, id});
  }
  void finish() {
    rows_.finish();
    cols_.finish();
  }
  // Ids of every segment through (x, y), in no particular order.
  void query(int x, int y, std::vector<int>& out) const {
    out.clear();
    rows_.scan(y, x, out);
    cols_.scan(x, y, out);
    for (const Box& b : boxes_)
      if (on_box(x, y, b.x1, b.y1, b.x2, b.y2)) out.push_back(b.id);
  }

 private:
  struct Item {
    int key, lo, hi, id;  // key: the line's y for a row, its x for a column
  };
  // Where a line's items are, found by the line's key in an open-addressed
  // table: a page has thousands of lines, and a query asks for two of them.
  struct Run {
    int key = 0;
    int begin = -1, end = -1;  // the line's items; begin -1 in an empty slot
  };
  struct Lines {
    std::vector<Item> items;  // by line, then by lower end, else in the order added
    std::vector<int> reach;   // highest end among the line's items up to this one
    std::vector<Run> runs;    // a power of two of slots, at most half of them used
    int shift = 64;

    size_t slot(int key) const {
      return static_cast<size_t>(
          (static_cast<uint64_t>(static_cast<uint32_t>(key)) * 0x9E3779B97F4A7C15ULL) >> shift);
    }
    void finish() {
      std::stable_sort(items.begin(), items.end(), [](const Item& a, const Item& b) {
        return a.key != b.key ? a.key < b.key : a.lo < b.lo;
      });
      reach.resize(items.size());
      size_t lines = 0;
      for (size_t i = 0; i < items.size(); ++i) lines += i == 0 || items[i].key != items[i - 1].key;
      int bits = 3;
      while ((size_t{1} << bits) < 2 * lines) ++bits;
      shift = 64 - bits;
      runs.assign(size_t{1} << bits, Run{});
      const size_t mask = runs.size() - 1;
      Run* run = nullptr;
      for (size_t i = 0; i < items.size(); ++i) {
        const bool first = i == 0 || items[i].key != items[i - 1].key;
        if (first) {
          size_t k = slot(items[i].key);
          while (runs[k].begin >= 0) k = (k + 1) & mask;
          run = &runs[k];
          *run = {items[i].key, static_cast<int>(i), static_cast<int>(i)};
        }
        reach[i] = first ? items[i].hi : std::max(reach[i - 1], items[i].hi);
        run->end = static_cast<int>(i) + 1;
      }
    }
    void scan(int key, int c, std::vector<int>& out) const {
      if (items.empty()) return;
      const size_t mask = runs.size() - 1;
      size_t k = slot(key);
      while (runs[k].begin >= 0 && runs[k].key != key) k = (k + 1) & mask;
      const Run& run = runs[k];
      if (run.begin < 0) return;
      const auto begin = items.begin() + run.begin, end = items.begin() + run.end;
      auto up = std::upper_bound(begin, end, c, [](int v, const Item& item) { return v < item.lo; });
      for (auto i = up - items.begin() - 1; i >= run.begin && reach[i] >= c; --i)
        if (items[i].hi >= c) out.push_back(items[i].id);
    }
  };
  struct Box {
    int x1, y1, x2, y2, id;
  };
  Lines rows_, cols_;
  std::vector<Box> boxes_;
};

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

namespace connectivity_detail {

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

}  // namespace connectivity_detail

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

int build_connectivity(Schematic& s, Connectivity& c, int mode, Notify& notify) {
  return Pass{s, c, mode, notify, true}.run();
}

int build_connectivity_reference(Schematic& s, Connectivity& c, int mode, Notify& notify) {
  return Pass{s, c, mode, notify, false}.run();
}

}  // namespace zephyrim
