#include "netlist/bias_display.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <optional>

#include "common/eng_number.h"
#include "common/text_format.h"
#include "netlist/netlist_template.h"
#include "symbols/symbol_record.h"

namespace zephyrim {

namespace {

constexpr int kWireMargin = 3;    // between a node's text and its wire
constexpr int kPinMargin = 4;     // between a current's text and its pin line
constexpr int kMeterOffset = 12;  // more for meters, whose body reaches past the pin
constexpr int kNudgeTries = 3;    // moves of a label that overlaps an earlier one

bool in_scope(const BlockRecord* owner, const BlockRecord* scope, const Page& page) {
  // Records made before any block existed belong to the top circuit.
  return owner == scope || (owner == nullptr && scope == page.top());
}

bool is_kind(const PartRecord& p, int kind) {
  return p.symbol && p.symbol->kind == kind;
}

std::string label_text(float value, const char* unit) {
  std::string text = format_eng(value, 4) + unit;
  if (text.size() > kBiasMaxText) text.resize(kBiasMaxText);
  return text;
}

// A label with the direction it moves in when it covers another one.
struct Placed {
  BiasLabel label;
  int step_y = 0;
};

// The longest wire of every node of the table, by its start (upper or left) end.
struct LongestWire {
  long long length = -1;
  int x = 0, y = 0;
  bool horizontal = true;
};

std::vector<LongestWire> longest_wires(const Page& page, const NodeTable& top) {
  std::vector<LongestWire> out(static_cast<size_t>(std::clamp(top.count, 0, top.size())));
  for (const auto& w : page.wires) {
    if (!in_scope(w->owner, page.top(), page) || w->node < 0 || w->node >= static_cast<int>(out.size()))
      continue;
    const long long length =
        std::llabs(static_cast<long long>(w->x2) - w->x1) + std::llabs(static_cast<long long>(w->y2) - w->y1);
    LongestWire& l = out[w->node];
    if (length <= l.length) continue;  // the first of equal wires keeps the text
    l = {length, std::min(w->x1, w->x2), std::min(w->y1, w->y2), w->y1 == w->y2};
  }
  return out;
}

// The node a record names: a labelled node (or a rail's or I/O pin's) before
// one that only has a number; -1 when none has the name.
int find_node(const NodeTable& top, const std::string& name) {
  int numbered = -1;
  for (int i = 0; i < top.count && i < top.size(); ++i) {
    const NodeEntry& e = top.entries[i];
    if (!iequals(e.name.view(), name)) continue;
    if (!e.auto_name) return i;
    if (numbered < 0) numbered = i;
  }
  return numbered;
}

std::optional<Placed> node_label(const Page& page, const NodeTable& top,
                                 const std::vector<LongestWire>& wires, int node, const BiasEntry& record) {
  Placed p;
  BiasLabel& l = p.label;
  l.text = label_text(record.value, "V");
  l.name = record.name;
  l.value = record.value;
  const LongestWire& w = wires[node];
  if (w.length >= 0 && w.horizontal) {
    // Above the wire, starting at its left end.
    l.x = w.x + kWireMargin;
    l.y = w.y - kWireMargin;
    l.v_align = 2;
    p.step_y = -kBiasLineHeight;
    return p;
  }
  if (w.length >= 0) {
    // Right of the wire, level with its upper end; further down when crowded.
    l.x = w.x + kWireMargin;
    l.y = w.y;
    l.v_align = 1;
    p.step_y = kBiasLineHeight;
    return p;
  }
  // Pins joined tip to tip: above and right of where the node's name would go.
  const NodeEntry& e = top.entries[node];
  int x = e.display_x, y = e.display_y;
  if (!e.display_flag) {
    bool found = false;
    for (const auto& part : page.parts) {
      if (!part->symbol || !in_scope(part->owner, page.top(), page)) continue;
      for (int k = 0; k < part->symbol->pin_count() && !found; ++k)
        if (part_pin_node(*part, k) == node) {
          const PinLine pl = part_pin_line(page, *part, k);
          x = pl.tip_x;
          y = pl.tip_y;
          found = true;
        }
      if (found) break;
    }
    if (!found) return std::nullopt;
  }
  l.x = x + kWireMargin;
  l.y = y - kWireMargin;
  l.v_align = 2;
  p.step_y = -kBiasLineHeight;
  return p;
}

// The name of the element a device record names. The netlist writer gives a
// top-level power rail a source of its own, named by the rail's reference with
// a "V" put in front unless it begins with one ("VCC VCC 0 12", "V+5V +5V 0 5"),
// on the node that the rail's pin names after the reference; so a rail's
// current comes back under the source's name and its voltage under the
// reference, which is why node records of rail names are not shown.
std::string rail_source_name(const PartRecord& p) {
  const std::string ref = p.reference.str();
  return !ref.empty() && ascii_upper(ref[0]) == 'V' ? ref : "V" + ref;
}

bool is_source_letter(char c) {
  c = ascii_upper(c);
  return c == 'V' || c == 'E' || c == 'F' || c == 'G' || c == 'H';
}

// A part's statement starts with its reference, with the element letter put
// in front when the reference does not begin with it ("%r" of the templates).
std::string lettered_reference(const PartRecord& p) {
  const std::string ref = p.reference.str();
  const char letter = element_letter(p);
  if (letter == 0) return ref;
  return ref.empty() || ascii_upper(ref[0]) != letter ? std::string(1, letter) + ref : ref;
}

// The source or rail whose element the record names: a part whose reference is
// the name, else one whose statement puts a letter in front of its reference,
// else a rail (the first of several rails of one name).
const PartRecord* find_device(const Page& page, const std::string& name) {
  std::vector<const PartRecord*> sources, rails;
  for (const auto& p : page.parts) {
    if (!in_scope(p->owner, page.top(), page)) continue;
    if (is_kind(*p, kSymbolPart) && is_source_letter(element_letter(*p))) sources.push_back(p.get());
    if (is_kind(*p, kSymbolPowerRail)) rails.push_back(p.get());
  }
  for (const PartRecord* p : sources)
    if (iequals(p->reference.view(), name)) return p;
  for (const PartRecord* p : sources)
    if (iequals(lettered_reference(*p), name)) return p;
  for (const PartRecord* p : rails)
    if (iequals(rail_source_name(*p), name)) return p;
  return nullptr;
}

// Meters: parts whose device letters (or symbol name) begin with "VA".
bool is_meter(const PartRecord& p) {
  const std::string letters = p.device.empty() ? (p.symbol ? p.symbol->name.str() : "") : p.device.str();
  return istarts_with(letters, "VA");
}

// An odd number of mirror and flip steps turns the part over.
bool mirrored(const PartRecord& p) {
  bool odd = false;
  for (int i = 0; i < std::clamp<int>(p.step_count, 0, kMaxOrientSteps); ++i)
    if (p.steps[i] == kStepMirror || p.steps[i] == kStepFlip) odd = !odd;
  return odd;
}

// -1, 0 or 1 as a is below, at or above b.
int compare(int a, int b) {
  return (a > b) - (a < b);
}

Placed device_label(const Page& page, const PartRecord& part, const BiasEntry& record) {
  Placed p;
  BiasLabel& l = p.label;
  l.text = label_text(record.value, "A");
  l.name = record.name;
  l.value = record.value;
  l.current = true;
  const PinLine pin = part_pin_line(page, part, 0);
  // The way the pin points out of the part, after the part's orientation.
  int dx = compare(pin.tip_x, pin.end_x), dy = compare(pin.tip_y, pin.end_y);
  if (dx != 0 && dy != 0) dy = 0;
  if (dx == 0 && dy == 0) dy = -1;  // a pin without a line: as if it pointed up
  // The text's side turns with the part: left of a pin that points up in the
  // symbol's own drawing, where the part's attribute texts usually are not.
  // Turned over, the side changes with it.
  int sx = dy, sy = -dx;
  if (mirrored(part)) sx = -sx, sy = -sy;
  const int offset = kPinMargin + (is_meter(part) ? kMeterOffset * std::max(1, page.settings.scale) : 0);
  l.x = static_cast<int>((static_cast<long long>(pin.tip_x) + pin.end_x) / 2) + sx * offset;
  l.y = static_cast<int>((static_cast<long long>(pin.tip_y) + pin.end_y) / 2) + sy * offset;
  if (sx != 0) {
    l.h_align = sx < 0 ? 2 : 0;
    l.v_align = 1;
    p.step_y = dy * kBiasLineHeight;  // along the pin, away from the part
    if (p.step_y == 0) p.step_y = -kBiasLineHeight;
  } else {
    l.h_align = 1;
    l.v_align = sy < 0 ? 2 : 0;
    p.step_y = sy * kBiasLineHeight;  // further from the pin
  }
  return p;
}

// Moves each label that covers an earlier one a line at a time in its free
// direction; one that still covers another after a few moves stays where it
// was placed first.
std::vector<BiasLabel> spread(std::vector<Placed>& placed) {
  std::vector<BiasLabel> out;
  std::vector<BiasBox> boxes;
  out.reserve(placed.size());
  boxes.reserve(placed.size());
  for (Placed& p : placed) {
    BiasLabel l = p.label;
    for (int t = 0; t <= kNudgeTries; ++t) {
      BiasLabel moved = p.label;
      moved.y += t * p.step_y;
      const BiasBox box = bias_label_box(moved);
      if (std::none_of(boxes.begin(), boxes.end(), [&](const BiasBox& b) { return b.overlaps(box); })) {
        l = moved;
        break;
      }
    }
    boxes.push_back(bias_label_box(l));
    out.push_back(std::move(l));
  }
  return out;
}

}  // namespace

BiasBox bias_label_box(const BiasLabel& label) {
  const int w = kBiasCharWidth * static_cast<int>(label.text.size());
  const int h = kBiasLineHeight;
  BiasBox b;
  b.x1 = label.h_align == 0 ? label.x : label.h_align == 1 ? label.x - w / 2 : label.x - w;
  b.y1 = label.v_align == 0 ? label.y : label.v_align == 1 ? label.y - h / 2 : label.y - h;
  b.x2 = b.x1 + w;
  b.y2 = b.y1 + h;
  return b;
}

// The schematic is not needed beyond its page: the symbols are the parts' own.
std::vector<BiasLabel> bias_labels(const Schematic& /*s*/, const Page& page, const NodeTable& top,
                                   const BiasData& data) {
  std::vector<Placed> placed;
  std::vector<std::string> rails;
  for (const auto& p : page.parts)
    if (is_kind(*p, kSymbolPowerRail) && in_scope(p->owner, page.top(), page))
      rails.push_back(p->reference.str());
  const std::vector<LongestWire> wires = longest_wires(page, top);
  for (const BiasEntry& record : data.nodes) {
    // The rail's current is shown at the rail instead.
    if (std::any_of(rails.begin(), rails.end(),
                    [&](const std::string& r) { return iequals(r, record.name); }))
      continue;
    const int node = find_node(top, record.name);
    if (node < 0) continue;
    if (auto p = node_label(page, top, wires, node, record)) placed.push_back(std::move(*p));
  }
  for (const BiasEntry& record : data.devices) {
    if (record.name.empty() || !is_source_letter(record.name[0])) continue;
    if (const PartRecord* part = find_device(page, record.name))
      placed.push_back(device_label(page, *part, record));
  }
  return spread(placed);
}

int bias_display_build(BiasDisplay& d, Schematic& s, const std::string& bias_path, Notify& notify) {
  d.labels.clear();
  d.active = false;
  try {
    BiasData data;
    const int read = bias_file_read(bias_path, data);
    if (read == 0) {
      if (!d.warned) notify.warning(kBiasNotAvailable);
      d.warned = true;
      return 0;
    }
    d.warned = false;
    if (read < 0) {
      d.data = BiasData{};
      notify.error(kBiasReadError + bias_path);
      return -1;
    }
    d.data = std::move(data);
    Connectivity c;
    c.force_rebuild = true;
    RecordingNotify quiet;  // the display never asks; the netlist run reports
    quiet.set_default_answer(1);
    build_connectivity(s, c, kConnectivityEdit, quiet);
    const Page& page = s.page();
    const NodeTable* top = c.table(page.top());
    d.labels = bias_labels(s, page, top ? *top : NodeTable{}, d.data);
    d.active = true;
    return 1;
  } catch (const std::bad_alloc&) {
    d.labels.clear();
    d.active = false;
    return 0;
  }
}

void bias_display_clear(BiasDisplay& d) {
  d.labels.clear();
  d.labels.shrink_to_fit();
  d.warned = false;
  d.active = false;
}

}  // namespace zephyrim
