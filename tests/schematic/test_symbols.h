#pragma once
// Small symbols for tests: one drawing command and the given pins, added to a
// schematic's symbol table. Shared by the model, editing and netlist tests.
#include <memory>
#include <vector>

#include "common/notify.h"
#include "schematic/schematic.h"

namespace zephyrim::testing_support {

inline const SymbolRecord* add_test_symbol(Schematic& s, const char* name, int kind, Region region,
                                           std::vector<SymbolPin> pins, int rotatable = 1,
                                           int origin = kOriginLibrary) {
  RecordingNotify notify;
  auto d = std::make_unique<SymbolRecord>();
  d->name.assign(name);
  d->kind = kind;
  d->region = region;
  d->rotatable = rotatable;
  d->draws.resize(1);
  d->pins = std::move(pins);
  return s.symbols.entries[symtab_add(s, name, std::move(d), origin, notify)].definition.get();
}

// Pins at (-32, 0) and (32, 0), lines to -16 and 16.
inline std::vector<SymbolPin> two_pins_across() {
  return {SymbolPin{2, -32, 0, -16, -1, {}, {}}, SymbolPin{4, 32, 0, 16, -1, {}, {}}};
}

// One pin at (0, 0) on the given side, its line to `lead_end`.
inline std::vector<SymbolPin> one_pin(int side, int lead_end) {
  return {SymbolPin{side, 0, 0, lead_end, -1, {}, {}}};
}

}  // namespace zephyrim::testing_support
