#include "symbols/generated_symbol.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

#include "common/text_format.h"
#include "symbols/draw_command.h"

namespace zephyrim {

namespace {

constexpr int kGrid = 8;
constexpr const char* kPositionNames[4] = {"input", "output", "top", "bottom"};

// Halves away from zero, as every other snap of the editor.
int32_t onto_grid(int32_t v) {
  return static_cast<int32_t>(std::lround(static_cast<double>(v) / kGrid)) * kGrid;
}

// A position outside the four reads as an input, as the dialog shows it.
int32_t position_of(const SymbolSpecEntry& e) {
  const int32_t p = pin_position(e);
  return p >= kPinInput && p <= kPinBottom ? p : kPinInput;
}

void set_entry_name(SymbolSpecEntry& e, std::string_view name) {
  // Eight characters fill the name; the byte after it is always NUL.
  e.name.bytes.fill(0);
  std::memcpy(e.name.bytes.data(), name.data(), std::min<size_t>(name.size(), e.name.bytes.size()));
  e.flag = 0;
}

struct Generation {
  std::vector<SymbolSpecEntry> entries;  // pins as adjusted for the shape
  SymbolRecord symbol;
  std::string draw;  // the drawing commands as library text
  bool names = false;
};

int highest_order(const std::vector<SymbolSpecEntry>& entries, std::initializer_list<int32_t> positions) {
  int hi = -1;
  for (const auto& e : entries)
    if (std::find(positions.begin(), positions.end(), position_of(e)) != positions.end())
      hi = std::max(hi, pin_order(e));
  return hi;
}

bool uses(const std::vector<SymbolSpecEntry>& entries, int32_t position) {
  return std::any_of(entries.begin(), entries.end(),
                     [&](const auto& e) { return position_of(e) == position; });
}

void place(SymbolPin& p, int32_t side, int32_t x, int32_t y, int32_t lead_end) {
  p.side = side;
  p.x = x;
  p.y = y;
  p.lead_end = lead_end;
}

// Rectangle (type 0): inputs left, outputs right, a row per order.
void rectangle(Generation& g) {
  const int w = g.names ? 96 : 64;
  const int hi = highest_order(g.entries, {0, 1, 2, 3});
  for (size_t i = 0; i < g.entries.size(); ++i) {
    const int y = pin_order(g.entries[i]) * 24;
    if (position_of(g.entries[i]) == kPinOutput)
      place(g.symbol.pins[i], 4, w + 32, y, w + 16);
    else
      place(g.symbol.pins[i], 2, 0, y, 16);
  }
  const int h = hi <= 0 ? 16 : hi * 24 + 16;
  g.symbol.region = {0, -38, w + 32, h + 20};
  g.draw = strprintf("R(16,-16,%d,%d);L(R,0,16,-38);L(V,0,16,%d);L(1,0,16,%d)", w + 16, h, h + 2, h + 20);
}

// Where the pins of one side pair sit along a side of length size.
int square_slot(int slots, int order, int size) {
  if (slots <= 1) return size / 2;
  if (slots == 2) return size / 2 + order * 48 - 24;
  return order * 24 + 24;
}

// Square (type 1): pins on all four sides, labels placed by the sides in use.
void square(Generation& g) {
  const int hi_lr = highest_order(g.entries, {kPinInput, kPinOutput});
  const int hi_tb = highest_order(g.entries, {kPinTop, kPinBottom});
  const int side = std::max({g.names ? 96 : 80, 24 * hi_lr + 48, 24 * hi_tb + 48});
  const int W = side, H = side;
  for (size_t i = 0; i < g.entries.size(); ++i) {
    const int order = pin_order(g.entries[i]);
    SymbolPin& p = g.symbol.pins[i];
    switch (position_of(g.entries[i])) {
      case kPinOutput:
        place(p, 4, W + 16, square_slot(hi_lr + 1, order, H), W);
        break;
      case kPinTop:
        place(p, 1, square_slot(hi_tb + 1, order, W), -16, 0);
        break;
      case kPinBottom:
        place(p, 3, square_slot(hi_tb + 1, order, W), H + 16, H);
        break;
      default:
        place(p, 2, -16, square_slot(hi_lr + 1, order, H), 0);
        break;
    }
  }
  const bool top = uses(g.entries, kPinTop), bottom = uses(g.entries, kPinBottom);
  const bool right = uses(g.entries, kPinOutput), left = uses(g.entries, kPinInput);
  int rx = 0, ry = -20, vx = 0, vy = H + 4, d = 1, align = 0;
  if (!top && bottom) {
    vy = -38;
    d = -1;
  } else if (top && !bottom) {
    ry = H + 4;
    vy = H + 22;
  } else if (top && bottom && !right) {
    rx = vx = W + 4;
    ry = H / 2;
    vy = H / 2 + 18;
  } else if (top && bottom && !left) {
    rx = vx = -4;
    ry = H / 2;
    vy = H / 2 + 18;
    align = 2;
  } else if (top && bottom) {
    rx = vx = W + 4;
    ry = -10;
    vy = H;
  }
  g.symbol.region = {-16, std::min(-16, vy), W + 16, H + 16};
  g.draw = strprintf("R(0,0,%d,%d);L(R,0,%d,%d,%d);L(V,0,%d,%d,%d);L(1,0,%d,%d,%d)", W, H, rx, ry, align, vx,
                     vy, align, vx, vy + 20 * d, align);
}

// Rectangle horiz. (type 9): pins at the top and bottom, a column per order.
void rectangle_horizontal(Generation& g) {
  const int hi = highest_order(g.entries, {0, 1, 2, 3});
  for (size_t i = 0; i < g.entries.size(); ++i) {
    const int x = pin_order(g.entries[i]) * 24 + 16;
    if (position_of(g.entries[i]) == kPinBottom)
      place(g.symbol.pins[i], 3, x, 48, 32);
    else
      place(g.symbol.pins[i], 1, x, -48, -32);
  }
  const int W = hi <= 0 ? 56 : hi * 24 + 32;
  g.symbol.region = {0, -48, W + 32, 48};
  g.draw = strprintf("R(0,%d,%d,%d);L(R,0,%d,-20);L(V,0,%d,4);L(1,0,%d,22)", -32, W, 32, W + 4, W + 4, W + 4);
}

// Circle (type 2): one connection point per side.
void circle(Generation& g) {
  for (size_t i = 0; i < g.entries.size(); ++i) {
    SymbolPin& p = g.symbol.pins[i];
    switch (position_of(g.entries[i])) {
      case kPinOutput:
        place(p, 4, 96, 0, 80);
        break;
      case kPinTop:
        place(p, 1, 48, -48, -32);
        break;
      case kPinBottom:
        place(p, 3, 48, 48, 32);
        break;
      default:
        place(p, 2, 0, 0, 16);
        break;
    }
  }
  const bool top = uses(g.entries, kPinTop), bottom = uses(g.entries, kPinBottom);
  const bool right = uses(g.entries, kPinOutput);
  struct {
    int rx, ry, vx, vy, px, py, align;
  } l{48, -52, 48, 36, 48, 56, 1};
  if (!top && bottom)
    l = {48, -52, 48, -70, 48, -90, 1};
  else if (top && !bottom)
    l = {48, 36, 48, 54, 48, 74, 1};
  else if (top && bottom && right)
    l = {80, -32, 80, 32, 80, 52, 0};
  else if (top && bottom)
    l = {84, -20, 84, 4, 84, 24, 0};
  g.symbol.region = {0, -52, 96, 52};
  g.draw = strprintf("C(%d,%d,%d);L(R,0,%d,%d,%d);L(V,0,%d,%d,%d);L(1,0,%d,%d,%d)", 48, 0, 32, l.rx, l.ry,
                     l.align, l.vx, l.vy, l.align, l.px, l.py, l.align);
}

// Function, gain block and gates: first the pins are fitted to the slots the
// outline has (2 outputs, 3 top, 3 bottom, 32 inputs), each move reported.
void fit_function_pins(std::vector<SymbolSpecEntry>& entries, Notify& notify) {
  const int limits[4] = {0, 2, 3, 3};
  const char* too_many[4] = {nullptr, "Too many output pins, pin# %d reassigned as input",
                             "Too many top pins, pin# %d reassigned as input",
                             "Too many bottom pins, pin# %d reassigned as input"};
  int counts[4] = {0, 0, 0, 0};
  for (size_t i = 0; i < entries.size(); ++i) {
    auto& e = entries[i];
    const int32_t pos = position_of(e);
    e.words[1] = pos;
    if (pos != kPinInput && ++counts[pos] > limits[pos]) {
      notify.warning(strprintf(too_many[pos], static_cast<int>(i)));
      e.words[1] = kPinInput;
    }
  }
  const int slots[4] = {32, 2, 3, 3};
  for (int pos = 0; pos < 4; ++pos) {
    std::vector<size_t> at;
    for (size_t i = 0; i < entries.size(); ++i)
      if (pin_position(entries[i]) == pos) at.push_back(i);
    for (size_t i : at)
      if (pin_order(entries[i]) < 0 || pin_order(entries[i]) >= slots[pos]) {
        notify.warning(strprintf("Invalid %s pin position, pin# %d repositioned", kPositionNames[pos],
                                 static_cast<int>(i)));
        entries[i].words[2] = 0;
      }
    bool conflict = false;
    for (size_t a = 0; a < at.size() && !conflict; ++a)
      for (size_t b = a + 1; b < at.size() && !conflict; ++b)
        conflict = pin_order(entries[at[a]]) == pin_order(entries[at[b]]);
    if (conflict) {
      notify.warning(
          strprintf("Conflicting %s pin positions, pins repositioned in order", kPositionNames[pos]));
      for (size_t k = 0; k < at.size(); ++k) entries[at[k]].words[2] = static_cast<int32_t>(k);
    }
  }
}

// Where an input's lead meets the curved back of an OR outline.
int or_lead_end(int y, bool exclusive) {
  int x = 16;
  if (std::abs(y) == 32)
    x = 27;
  else if (y == -40)
    x = 26;
  else if (y == 0 || y == 8)
    x = 32;
  else if (std::abs(y) == 16)
    x = 31;
  else
    return x;
  return exclusive ? x - 6 : x;
}

void function_shape(Generation& g, int type) {
  constexpr int e = 48;
  const bool gain = type == kShapeGain;
  const bool curved = type == kShapeOr || type == kShapeXor;
  const int n = std::max(0, highest_order(g.entries, {kPinInput})) + 1;
  int spacing = 32, first = 0;
  if (n == 2)
    first = -16;
  else if (n == 3)
    first = -32;
  else if (n >= 4) {
    spacing = 24;
    first = 8 - (n + 1) / 2 * 24;
  }
  int count[4] = {0, 0, 0, 0};
  for (const auto& en : g.entries) ++count[pin_position(en)];
  for (size_t i = 0; i < g.entries.size(); ++i) {
    const int order = pin_order(g.entries[i]);
    SymbolPin& p = g.symbol.pins[i];
    switch (pin_position(g.entries[i])) {
      case kPinOutput: {
        int y = 0, lead = curved ? 112 : 120;
        if (count[kPinOutput] == 2) {
          y = order * 16 - 8;
          lead -= gain ? 16 : type == kShapeFunction ? 8 : type == kShapeAnd ? 1 : 10;
        }
        place(p, 4, 136, y, lead);
        if (g.names) p.pin_name.assign(p.pin_name.str() + (gain ? "   " : " "));
        break;
      }
      case kPinTop: {
        int x = gain ? 64 : 56, lead = gain ? -26 : -48;
        if (count[kPinTop] >= 2) {
          x += order * 16 - 16;
          if (gain) lead += order * 8 - 8;
        }
        place(p, 1, x, -64, lead);
        break;
      }
      case kPinBottom: {
        int x = gain ? 64 : 56, lead = gain ? 26 : 48;
        if (count[kPinBottom] >= 2) {
          x += order * 16 - 16;
          if (gain) lead -= order * 8 - 8;
        }
        place(p, 3, x, 64, lead);
        break;
      }
      default: {
        const int y = first + order * spacing;
        place(p, 2, 0, y, curved ? or_lead_end(y, type == kShapeXor) : 16);
        break;
      }
    }
  }
  constexpr int width = 104;
  std::string& d = g.draw;
  switch (type) {
    case kShapeGain:
      d = strprintf("M(16,%d);", -e) + strprintf("V(16,%d);V(%d,0);V(16,%d);", e, 16 + width, -e);
      break;
    case kShapeFunction:
      d = strprintf("M(16,%d);", -e) + strprintf("V(16,%d);V(%d,%d);V(%d,0);V(%d,%d);V(16,%d);", e,
                                                 16 + width - e, e, 16 + width, 16 + width - e, -e, -e);
      break;
    case kShapeAnd:
      d = strprintf("M(%d,%d);", 16 + e, -e) + strprintf("V(16,%d);V(16,%d);V(%d,%d);A(%d,0,%d,%d,270,90);",
                                                         -e, e, 16 + e, e, 16 + e, width - e, e);
      break;
    default:  // OR and XOR
      d = strprintf("A(16,0,16,%d,270,90);", e) +
          strprintf("M(16,%d);V(%d,%d);M(16,%d);V(%d,%d);", e, 71, e, -e, 71, -e) +
          strprintf("A(%d,%d,%d,%d,50,90);A(%d,%d,%d,%d,270,312);", 71, e, e, 2 * e, 71, -e, e, 2 * e);
      if (type == kShapeXor) d += strprintf("A(10,0,16,%d,270,90);", e);
      break;
  }
  // Inputs beyond the outline get its back drawn down to them.
  if (n - 1 > 3) {
    if (curved)
      d += strprintf("M(16,%d);V(16,%d);M(16,%d);V(16,%d);", first, -e, e, -first - 8);
    else
      d += strprintf("M(16,%d);V(16,%d);", first, -first - 8);
  }
  auto label_x = [&](int beside) {
    return 60 + (beside >= 1 ? 16 : 0) + (beside >= 2 ? 16 : 0) - (type > kShapeGain ? 8 : 0);
  };
  d += strprintf("L(R,0,%d,%d);", label_x(count[kPinTop]), gain ? -48 : -68);
  const int vx = label_x(count[kPinBottom]);
  d += strprintf("L(V,0,%d,%d);L(1,0,%d,%d)", vx, gain ? 28 : 48, vx, gain ? 46 : 66);
  g.symbol.region = {0, std::min(first, -64) - 8, 136, std::max(64, -first) + 8};
}

// BUF/INV gate (type 7): a triangle, one pin per side.
void buffer_shape(Generation& g) {
  const bool small = g.entries.size() <= 2;
  const int len = small ? 24 : 48, h = small ? 16 : 24;
  bool top = false, bottom = false;
  for (size_t i = 0; i < g.entries.size(); ++i) {
    SymbolPin& p = g.symbol.pins[i];
    switch (position_of(g.entries[i])) {
      case kPinOutput:
        place(p, 4, 16 + len + 16, 0, 16 + len);
        break;
      case kPinTop:
        place(p, 1, 16 + len / 2, -h - 16, -h / 2);
        top = true;
        break;
      case kPinBottom:
        place(p, 3, 16 + len / 2, h + 16, h / 2);
        bottom = true;
        break;
      default:
        place(p, 2, 0, 0, 16);
        break;
    }
  }
  g.symbol.region = {0, -h - 20, 16 + len + 16, h + 20};
  g.draw = strprintf("M(%d,%d);V(%d,%d);V(%d,%d);V(%d,%d);", 16, -h, 16, h, 16 + len, 0, 16, -h);
  g.draw += strprintf("L(R,0,%d,%d);", top ? 16 + len / 2 + 4 : 16, -h - 18);
  const int vx = bottom ? 16 + len / 2 + 4 : 16;
  g.draw += strprintf("L(V,0,%d,%d);L(1,0,%d,%d)", vx, h + 2, vx, h + 20);
}

// Parses the generated text into the symbol's commands; false when none came out.
bool take_draws(SymbolRecord& s, const std::string& draw, Notify& notify) {
  draw_parse(draw, 0, 0, s.draws, s.name.str(), notify);
  return !s.draws.empty();
}

}  // namespace

const std::array<SymbolShape, 10>& symbol_shapes() {
  static const std::array<SymbolShape, 10> shapes{{
      {"Rectangle", kShapeRectangle, 64, false},
      {"Rectangle horiz.", kShapeRectangleHoriz, 64, false},
      {"Square", kShapeSquare, 64, false},
      {"Circle", kShapeCircle, 4, true},
      {"Function", kShapeFunction, 32, true},
      {"Gain block", kShapeGain, 32, true},
      {"AND/NAND gate", kShapeAnd, 32, true},
      {"BUF/INV gate", kShapeBuffer, 4, true},
      {"OR/NOR gate", kShapeOr, 32, true},
      {"XOR/XNOR gate", kShapeXor, 32, true},
  }};
  return shapes;
}

const SymbolShape* symbol_shape(int32_t type) {
  for (const auto& s : symbol_shapes())
    if (s.type == type) return &s;
  return nullptr;
}

SymbolSpec symbol_spec_new(const std::string& name, int32_t shape, int pin_count, bool show_names,
                           bool show_numbers) {
  SymbolSpec spec;
  spec.name.assign(name);
  spec_set_shape(spec, shape);
  spec_set_show_names(spec, show_names ? 1 : 0);
  spec_set_show_numbers(spec, show_numbers ? 1 : 0);
  const SymbolShape* s = symbol_shape(shape);
  spec_set_max_pins(spec, s ? s->max_pins : 0);
  spec_default_pins(spec, pin_count);
  return spec;
}

void spec_default_pins(SymbolSpec& spec, int pin_count) {
  const SymbolShape* shape = symbol_shape(spec_shape(spec));
  const int n = std::clamp(pin_count, 0, shape ? shape->max_pins : 64);
  std::vector<SymbolSpecEntry> entries(static_cast<size_t>(n));
  const int first_half = (n + 1) / 2;
  for (int i = 0; i < n; ++i) {
    SymbolSpecEntry& e = entries[static_cast<size_t>(i)];
    set_entry_name(e, strprintf("%d", i + 1));
    switch (spec_shape(spec)) {
      case kShapeRectangle:
      case kShapeSquare:
        pin_set(e, 0, i < first_half ? kPinInput : kPinOutput, i < first_half ? i : n - 1 - i);
        break;
      case kShapeRectangleHoriz:
        pin_set(e, 0, i < first_half ? kPinBottom : kPinTop, i < first_half ? i : n - 1 - i);
        break;
      case kShapeCircle:
      case kShapeBuffer:
        pin_set(e, 0, i, 0);
        break;
      default:
        pin_set(e, 0, i < n - 1 ? kPinInput : kPinOutput, i < n - 1 ? i : 0);
        break;
    }
  }
  spec.entry_count = n;
  spec.entries = std::move(entries);
}

void spec_pins_from_block(SymbolSpec& spec, const std::vector<BlockIoPin>& io_pins, int pin_count) {
  const size_t n = std::min(io_pins.size(), static_cast<size_t>(std::max(pin_count, 0)));
  std::vector<SymbolSpecEntry> entries(n);
  int32_t running[2] = {0, 0};
  for (size_t i = 0; i < n; ++i) {
    const bool output = io_pins[i].symbol_name.rfind("PINOUT", 0) == 0;
    set_entry_name(entries[i], io_pins[i].value);
    pin_set(entries[i], 0, output ? kPinOutput : kPinInput, running[output ? 1 : 0]++);
  }
  spec.entry_count = static_cast<int32_t>(n);
  spec.entries = std::move(entries);
}

std::string subckt_symbol_name(const std::string& name, Notify& notify) {
  if (name.rfind('X', 0) == 0) return name;
  const std::string changed = FixedText<32>("X" + name).str();
  notify.information(strprintf("SUBCKT symbol name must start with X\nName changed to %s", changed.c_str()));
  return changed;
}

std::optional<SymbolRecord> block_symbol_generate(const SymbolSpec& spec, Notify& notify) {
  const int32_t type = spec_shape(spec);
  const SymbolShape* shape = symbol_shape(type);
  if (!shape) {
    notify.error(strprintf("Invalid function shape code %d", type));
    return std::nullopt;
  }
  Generation g;
  g.entries = spec.entries.value_or(std::vector<SymbolSpecEntry>{});
  if (static_cast<int>(g.entries.size()) > shape->max_pins) {
    notify.warning("Too many pins for this symbol");
    g.entries.resize(static_cast<size_t>(shape->max_pins));
  }
  g.names = spec_show_names(spec) != 0;
  const bool numbers = g.names && spec_show_numbers(spec) != 0;
  if (type == kShapeGain || type == kShapeFunction || type == kShapeAnd || type == kShapeOr ||
      type == kShapeXor) {
    fit_function_pins(g.entries, notify);
  } else {
    // An order beyond the shape's slots would draw outside the body: the nearest slot stands in.
    for (auto& e : g.entries) e.words[2] = std::clamp(pin_order(e), 0, shape->max_pins - 1);
  }

  SymbolRecord& s = g.symbol;
  s.name.assign(spec.name.view());
  s.kind = kSymbolPart;
  s.rotatable = shape->rotatable ? 1 : 0;
  s.pins.resize(g.entries.size());
  for (size_t i = 0; i < g.entries.size(); ++i) {
    s.pins[i].pin_name.assign(g.names ? std::string_view(g.entries[i].name.view()).substr(0, 7) : "");
    s.pins[i].number = numbers ? static_cast<int32_t>(i) + 1 : -1;
  }
  switch (type) {
    case kShapeRectangle:
      rectangle(g);
      break;
    case kShapeSquare:
      square(g);
      break;
    case kShapeRectangleHoriz:
      rectangle_horizontal(g);
      break;
    case kShapeCircle:
      circle(g);
      break;
    case kShapeBuffer:
      buffer_shape(g);
      break;
    default:
      function_shape(g, type);
      break;
  }
  for (size_t i = 0; i < s.pins.size(); ++i) {
    SymbolPin& p = s.pins[i];
    if (pin_marked(g.entries[i])) p.side += 4;
    if (p.x % kGrid != 0)
      p.x = onto_grid(p.x);
    else
      p.y = onto_grid(p.y);
  }
  if (!take_draws(s, g.draw, notify)) return std::nullopt;
  return std::move(g.symbol);
}

// --- U logic element symbols ---

namespace {

// Pins of a register-style element: its index in the symbol and its name, per edge in placement order.
struct EdgePin {
  int index;
  std::string name;
};

std::vector<EdgePin> numbered(const char* format, int from, int count, bool descending, int first_index) {
  std::vector<EdgePin> out;
  for (int k = 0; k < count; ++k)
    out.push_back({first_index + k, strprintf(format, descending ? from - k : from + k)});
  return out;
}

void append(std::vector<EdgePin>& to, std::vector<EdgePin> more) {
  for (auto& p : more) to.push_back(std::move(p));
}

void register_pins(const std::string& function, int b, std::vector<EdgePin>& top,
                   std::vector<EdgePin>& bottom) {
  if (function == "ADD") {
    top.push_back({3 * b + 1, "CI"});
    append(top, numbered("Q%d", b - 1, b, true, 0));
    top.push_back({b, "CO"});
    append(bottom, numbered("A%d", b - 1, b, true, b + 1));
    append(bottom, numbered("B%d", b - 1, b, true, 2 * b + 1));
  } else if (function == "COMP") {
    append(bottom, numbered("A%d", b - 1, b, true, 3));
    bottom.push_back({1, "A=B"});
    append(top, numbered("B%d", b - 1, b, true, 3 + b));
    top.push_back({0, "A>B"});
    top.push_back({2, "A<B"});
  } else if (function == "COUNT") {
    top.push_back({b + 1, "UD"});
    top.push_back({b + 3, "LD"});
    append(top, numbered("Q%d", b - 1, b, true, 0));
    top.push_back({b, "RC"});
    bottom.push_back({b + 5, "CK"});
    append(bottom, numbered("D%d", b - 1, b, true, b + 6));
    bottom.push_back({b + 2, "CL"});
    bottom.push_back({b + 4, "EN"});
  } else if (function == "PSREG") {
    top.push_back({b, "CL"});
    top.push_back({b + 1, "S1"});
    top.push_back({b + 2, "S0"});
    append(top, numbered("Q%d", 0, b, false, 0));
    bottom.push_back({b + 3, "CK"});
    bottom.push_back({b + 4, "IR"});
    bottom.push_back({b + 5, "IL"});
    append(bottom, numbered("D%d", 0, b, false, b + 6));
  } else if (function == "SREG") {
    append(top, numbered("Q%d", 0, b, false, 0));
    bottom.push_back({b + 2, "IN"});
    bottom.push_back({b + 1, "CLK"});
    bottom.push_back({b, "CLR"});
  } else {  // SREGP
    top.push_back({4, "IN"});
    top.push_back({3, "CLK"});
    top.push_back({2, "LD"});
    top.push_back({1, "CLR"});
    top.push_back({0, "OUT"});
    append(bottom, numbered("D%d", 0, b, false, 5));
  }
}

void register_symbol(SymbolRecord& s, const std::string& function, int b, std::string& draw) {
  std::vector<EdgePin> top, bottom;
  register_pins(function, b, top, bottom);
  s.pins.assign(top.size() + bottom.size(), SymbolPin{});
  int X = 0;
  auto lay = [&](const std::vector<EdgePin>& edge, bool is_top) {
    int x = -8;
    for (const auto& p : edge) {
      x += p.name.size() < 3 ? 24 : 32;
      SymbolPin& pin = s.pins[static_cast<size_t>(p.index)];
      place(pin, is_top ? 1 : 3, x, is_top ? -48 : 48, is_top ? -32 : 32);
      pin.pin_name.assign(p.name);
      X = std::max(X, x);
    }
  };
  lay(top, true);
  lay(bottom, false);
  draw = strprintf("R(0,%d,%d,%d);", -32, X + 16, 32) +
         strprintf("L(R,0,%d,0,0,1);L(V,0,%d,0,1,1);L(1,0,%d,20,0,1)", X + 20, (X + 16) / 2, X + 20);
  s.region = {0, -50, X + 48, 50};
  s.rotatable = 0;
}

// n gates of one input and one output each, stacked 48 apart; BUF3 shares one
// enable input over them all.
void buffer_symbol(SymbolRecord& s, const std::string& function, int n, std::string& draw) {
  const bool enable = function == "BUF3";
  for (int i = 0; i < n; ++i) {
    SymbolPin p;
    place(p, 2, 0, 48 * i, 16);
    s.pins.push_back(p);
  }
  if (enable) {
    SymbolPin p;
    place(p, 1, 32, -32, -8);
    p.pin_name.assign("EN");
    s.pins.push_back(p);
  }
  for (int i = 0; i < n; ++i) {
    SymbolPin p;
    place(p, function == "INV" ? 8 : 4, 64, 48 * i, 48);
    s.pins.push_back(p);
  }
  for (int i = 0; i < n; ++i) {
    const int y = 48 * i;
    if (function == "DELAY")
      draw += strprintf("R(16,%d,48,%d);", y - 16, y + 16);
    else
      // One command a gate, so that 64 of them stay within a symbol's 255.
      draw += strprintf("P(3,16,%d,16,%d,48,%d);", y - 16, y + 16, y);
  }
  // The enable runs on through the gates below the first.
  if (enable && n > 1) draw += strprintf("M(32,8);V(32,%d);", 48 * (n - 1) - 8);
  const int bottom = 48 * (n - 1) + 16;
  draw += strprintf("L(R,0,%d,-32);L(V,0,16,%d);L(1,0,16,%d)", enable ? 36 : 16, bottom + 4, bottom + 22);
  s.region = {0, -36, 64, bottom + 32};
  s.rotatable = 1;
}

// A body with named pins: inputs on the left, outputs on the right, controls
// at the top and bottom, a row or column of 24 units per pin.
struct BoxPins {
  std::vector<std::string> left, top, bottom, right;
};

void box_symbol(SymbolRecord& s, const BoxPins& b, std::string& draw) {
  const int rows = static_cast<int>(std::max({b.left.size(), b.right.size(), size_t{1}}));
  const int cols = static_cast<int>(std::max({b.top.size(), b.bottom.size(), size_t{1}}));
  const int W = std::max(64, 24 * cols + 16);
  const int body_bottom = 24 * (rows - 1) + 16;
  auto add = [&](const std::string& name, int side, int x, int y, int lead) {
    SymbolPin p;
    place(p, side, x, y, lead);
    p.pin_name.assign(name);
    s.pins.push_back(p);
  };
  for (size_t k = 0; k < b.left.size(); ++k) add(b.left[k], 2, 0, 24 * static_cast<int>(k), 16);
  for (size_t k = 0; k < b.top.size(); ++k) add(b.top[k], 1, 40 + 24 * static_cast<int>(k), -32, -16);
  for (size_t k = 0; k < b.bottom.size(); ++k)
    add(b.bottom[k], 3, 40 + 24 * static_cast<int>(k), body_bottom + 16, body_bottom);
  for (size_t k = 0; k < b.right.size(); ++k) add(b.right[k], 4, W + 32, 24 * static_cast<int>(k), W + 16);
  const int ref_y = b.top.empty() ? -30 : -46;
  const int value_y = body_bottom + (b.bottom.empty() ? 4 : 20);
  draw = strprintf("R(16,-16,%d,%d);", W + 16, body_bottom) +
         strprintf("L(R,0,16,%d);L(V,0,16,%d);L(1,0,16,%d)", ref_y, value_y, value_y + 18);
  s.region = {0, ref_y, W + 32, value_y + 30};
  s.rotatable = 0;
}

std::vector<std::string> names(const char* format, int count) {
  std::vector<std::string> out;
  for (int k = 0; k < count; ++k) out.push_back(strprintf(format, k));
  return out;
}

void join(std::vector<std::string>& to, const std::vector<std::string>& more) {
  to.insert(to.end(), more.begin(), more.end());
}

BoxPins box_pins(const std::string& function, int o1, int o2) {
  BoxPins b;
  if (function == "DEC") {  // o1 address lines, 2^o1 outputs
    b.left = names("A%d", o1);
    b.bottom = {"EN"};
    b.right = names("Q%d", 1 << o1);
  } else if (function == "PENC") {  // 2^o1 inputs by priority, o1 code lines
    b.left = names("D%d", 1 << o1);
    b.top = {"EN"};
    b.right = names("Q%d", o1);
    b.right.push_back("EOUT");
    b.right.push_back("PM");
  } else if (function == "MUX") {  // o1 data inputs, as many select lines as they need
    int selects = 1;
    while ((1 << selects) < o1) ++selects;
    b.left = names("D%d", o1);
    b.top = {"ST"};
    b.bottom = names("S%d", selects);
    b.right = {"Q0"};
  } else if (function == "PARITY") {  // o1 data bits; EVEN chooses the sense of EOUT
    b.left = names("D%d", o1);
    b.top = {"EVEN"};
    b.right = {"EOUT"};
  } else {  // RAM and ROM: o1 data bits, o2 address lines
    b.left = names("A%d", o2);
    if (function == "RAM") {
      join(b.left, names("D%d", o1));
      b.bottom = {"RW"};
    }
    b.top = {"EN"};
    b.right = names("Q%d", o1);
  }
  return b;
}

}  // namespace

const std::array<LogicFunction, kLogicFunctionCount>& logic_functions() {
  using K = LogicKind;
  static const std::array<LogicFunction, kLogicFunctionCount> functions{{
      {"ADD", K::register_, 1, "bits:", 4, 64, nullptr, 0, 0},
      {"AND", K::gate, 1, "#inputs:", 2, 31, nullptr, 0, 0},
      {"BUF", K::buffer, 1, "#gates:", 1, 64, nullptr, 0, 0},
      {"BUF3", K::buffer, 1, "#gates:", 1, 64, nullptr, 0, 0},
      {"CLOCK", K::library, 0, nullptr, 0, 0, nullptr, 0, 0},
      {"COMP", K::register_, 1, "bits:", 4, 64, nullptr, 0, 0},
      {"COUNT", K::register_, 2, "count:", 2, 65535, "bits:", 4, 64},
      {"DATA", K::library, 0, nullptr, 0, 0, nullptr, 0, 0},
      {"DEC", K::box, 1, "lines", 2, 6, nullptr, 0, 0},
      {"DELAY", K::buffer, 1, "#gates:", 1, 64, nullptr, 0, 0},
      {"DFF", K::library, 0, nullptr, 0, 0, nullptr, 0, 0},
      {"DIVN", K::copy, 1, "count:", 2, 65535, nullptr, 0, 0},
      {"DLATCH", K::library, 0, nullptr, 0, 0, nullptr, 0, 0},
      {"INV", K::buffer, 1, "#gates:", 1, 64, nullptr, 0, 0},
      {"JKFF", K::library, 0, nullptr, 0, 0, nullptr, 0, 0},
      {"MUX", K::box, 1, "bits:", 4, 64, nullptr, 0, 0},
      {"NAND", K::gate, 1, "#inputs:", 2, 31, nullptr, 0, 0},
      {"NOR", K::gate, 1, "#inputs:", 2, 31, nullptr, 0, 0},
      {"OR", K::gate, 1, "#inputs:", 2, 31, nullptr, 0, 0},
      {"PARITY", K::box, 1, "bits:", 4, 64, nullptr, 0, 0},
      {"PENC", K::box, 1, "lines", 2, 6, nullptr, 0, 0},
      {"PSREG", K::register_, 1, "bits:", 4, 64, nullptr, 0, 0},
      {"PULSE", K::library, 0, nullptr, 0, 0, nullptr, 0, 0},
      {"RAM", K::box, 2, "#outputs:", 1, 64, "#address:", 1, 32},
      {"ROM", K::box, 2, "#outputs:", 1, 64, "#address:", 1, 32},
      {"RSFF", K::library, 0, nullptr, 0, 0, nullptr, 0, 0},
      {"SREG", K::register_, 1, "bits:", 4, 64, nullptr, 0, 0},
      {"SREGP", K::register_, 1, "bits:", 4, 64, nullptr, 0, 0},
      {"XNOR", K::gate, 1, "#inputs:", 2, 31, nullptr, 0, 0},
      {"XOR", K::gate, 1, "#inputs:", 2, 31, nullptr, 0, 0},
  }};
  return functions;
}

int logic_function_find(std::string_view name) {
  const auto& all = logic_functions();
  for (size_t i = 0; i < all.size(); ++i)
    if (iequals(all[i].name, name)) return static_cast<int>(i);
  return -1;
}

std::array<int, 2> logic_options(int function, int option1, int option2) {
  if (function < 0 || function >= kLogicFunctionCount) return {0, 0};
  const LogicFunction& f = logic_functions()[static_cast<size_t>(function)];
  std::array<int, 2> o{0, 0};
  if (f.option_count >= 1) o[0] = option1 <= 0 ? f.default1 : std::min(option1, f.max1);
  if (f.option_count >= 2) o[1] = option2 <= 0 ? f.default2 : std::min(option2, f.max2);
  if (std::strcmp(f.name, "PSREG") == 0) o[0] = std::max(o[0], 2);
  return o;
}

std::string logic_symbol_name(int function, int option1, int option2) {
  if (function < 0 || function >= kLogicFunctionCount) return {};
  const LogicFunction& f = logic_functions()[static_cast<size_t>(function)];
  const auto o = logic_options(function, option1, option2);
  if (f.option_count == 1 && o[0] != f.default1) return strprintf("U%s(%d)", f.name, o[0]);
  if (f.option_count == 2 && (o[0] != f.default1 || o[1] != f.default2))
    return strprintf("U%s(%d,%d)", f.name, o[0], o[1]);
  return strprintf("U%s", f.name);
}

std::string logic_symbol_name_rule(const std::string& name, Notify& notify) {
  if (name.rfind('U', 0) == 0) return name;
  const std::string changed = FixedText<32>("U" + name).str();
  // The "/n" stands in the message as the system shows it.
  notify.information("Logic symbol name must start with U./nName changed to " + changed);
  return changed;
}

std::optional<SymbolRecord> logic_symbol_generate(int function, int option1, int option2,
                                                  const std::string& name, const SymbolLibrary* library,
                                                  Notify& notify) {
  if (function < 0 || function >= kLogicFunctionCount) return std::nullopt;
  const LogicFunction& f = logic_functions()[static_cast<size_t>(function)];
  const auto o = logic_options(function, option1, option2);
  const std::string fname = f.name;
  if (f.kind == LogicKind::library || f.kind == LogicKind::copy) {
    const std::string source = "U" + fname;
    std::unique_ptr<SymbolRecord> found = library ? symbol_load_named(*library, source, notify) : nullptr;
    if (!found) {
      notify.error(strprintf("U logic symbol %s not found", source.c_str()));
      return std::nullopt;
    }
    found->name.assign(name);
    return std::move(*found);
  }
  if (f.kind == LogicKind::gate) {
    const bool inverted = fname[0] == 'N' || fname == "XNOR";
    const int32_t shape = fname.find("XOR") != std::string::npos || fname == "XNOR" ? kShapeXor
                          : fname.find("OR") != std::string::npos                   ? kShapeOr
                                                                                    : kShapeAnd;
    SymbolSpec spec = symbol_spec_new(name, shape, o[0] + 1, false, false);
    if (inverted) spec.entries->back().words[0] = 1;
    return block_symbol_generate(spec, notify);
  }
  SymbolRecord s;
  s.name.assign(name);
  s.kind = kSymbolPart;
  std::string draw;
  switch (f.kind) {
    case LogicKind::register_:
      register_symbol(s, fname, fname == "COUNT" ? o[1] : o[0], draw);
      break;
    case LogicKind::buffer:
      buffer_symbol(s, fname, o[0], draw);
      break;
    default:
      box_symbol(s, box_pins(fname, o[0], o[1]), draw);
      break;
  }
  if (!take_draws(s, draw, notify)) return std::nullopt;
  return s;
}

std::optional<SymbolRecord> logic_symbol_get(int function, int option1, int option2, const std::string& name,
                                             const SymbolLibrary* library, Notify& notify) {
  if (library && symbol_find(*library, name) >= 0) {
    if (auto found = symbol_load_named(*library, name, notify)) return std::move(*found);
  }
  return logic_symbol_generate(function, option1, option2, name, library, notify);
}

}  // namespace zephyrim
