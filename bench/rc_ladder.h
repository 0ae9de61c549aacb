#pragma once
// The benchmarks' RC ladders: a resistor and a capacitor a stage, joined by
// wires, the capacitors on one long ground rail of wires, 5,000 stages to a
// page (a page's lists hold at most 32,767 records). A label on every node
// when asked for.
#include <memory>
#include <string>
#include <vector>

#include "schematic/schematic.h"

namespace zephyrim::bench_support {

constexpr int kStagesPerPage = 5000;

inline const SymbolRecord* add_symbol(Schematic& s, const char* name, int kind, Region r,
                                      std::vector<SymbolPin> pins) {
  RecordingNotify n;
  auto d = std::make_unique<SymbolRecord>();
  d->name.assign(name);
  d->kind = kind;
  d->region = r;
  d->draws.resize(1);
  d->pins = std::move(pins);
  return s.symbols.entries[symtab_add(s, name, std::move(d), kOriginLibrary, n)].definition.get();
}

inline std::unique_ptr<Schematic> ladder(int stages, bool labelled = false) {
  RecordingNotify n;
  auto s = schematic_new("ladder.sch", 1767603600);
  const SymbolRecord* r =
      add_symbol(*s, "R", kSymbolPart, {-32, -8, 32, 8},
                 {SymbolPin{2, -32, 0, -16, -1, {}, {}}, SymbolPin{4, 32, 0, 16, -1, {}, {}}});
  const SymbolRecord* c =
      add_symbol(*s, "CV", kSymbolPart, {-8, -24, 8, 24},
                 {SymbolPin{1, 0, -24, -8, -1, {}, {}}, SymbolPin{3, 0, 24, 8, -1, {}, {}}});
  const SymbolRecord* g =
      add_symbol(*s, "GND", kSymbolGround, {-8, 0, 8, 16}, {SymbolPin{1, 0, 0, 8, -1, {}, {}}});
  for (int k = 0; k < stages; ++k) {
    const int on_page = k % kStagesPerPage;
    if (k > 0 && on_page == 0) page_add(*s, n, 1767603600);
    if (on_page == 0) part_place(*s, g, 80, 200);  // the page's rail starts at its ground
    const int x = 64 + on_page * 96;
    PartRecord* res = part_place(*s, r, x + 32, 104);
    res->reference.assign("R" + std::to_string(k + 1));
    wire_add(*s, x + 64, 104, x + 96, 104);  // to the next resistor
    PartRecord* cap = part_place(*s, c, x + 80, 152);
    cap->reference.assign("C" + std::to_string(k + 1));
    wire_add(*s, x + 80, 104, x + 80, 128);  // down from the node to the capacitor
    if (labelled) {
      LabelRecord* l = label_new(*s);
      l->name.assign("S" + std::to_string(k + 1));
      l->x = x + 84;
      l->y = 120;
      l->width = static_cast<int>(l->name.str().size()) * 8;
    }
    wire_add(*s, x + 80, 176, x + 80, 200);                      // capacitor to the rail
    wire_add(*s, on_page == 0 ? 80 : x - 16, 200, x + 80, 200);  // the rail
  }
  return s;
}

}  // namespace zephyrim::bench_support
