#pragma once
// The Reload Symbols command: the symbols that came with a schematic are
// replaced by the library's current definitions of the same name.
#include <string>
#include <string_view>

#include "common/notify.h"
#include "schematic/schematic.h"
#include "symbols/symbol_library.h"

namespace zephyrim {

// The name a former symbol name is looked up as ("R(VERT)" as "RV" ...); the
// name itself when it has no former form.
std::string symbol_current_name(std::string_view name);

// Purges the table, then looks up every symbol of origin 0 in the library (a
// name not found prompts for an alternate name), switches its parts to the
// loaded definition, purges again and marks the schematic modified. Returns the
// number of symbols replaced.
int symbols_reload(Schematic& s, const SymbolLibrary& lib, Notify& notify);

}  // namespace zephyrim
