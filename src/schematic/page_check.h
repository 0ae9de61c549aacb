#pragma once
// The integrity check run on the current page whenever a page is read from a
// file or about to be written: reports each kind of damage once, repairs what it
// can and marks the schematic modified when it changed anything.
//
// The lists are vectors here, so a count can never disagree with the records
// it counts: the list-truncation notices of the old linked lists have no cause
// left, and the check keeps only the faults a record itself can carry.
#include "common/notify.h"
#include "schematic/schematic.h"

namespace zephyrim {

// Validates a symbol definition: kind, region, drawing commands, rotated view.
// False with the message that names the fault.
bool symbol_validate(const SymbolRecord* definition, Notify& notify);

// Checks the current page and the symbol table. Returns 1 when symbol-table or
// part faults were found, else 0.
int page_check(Schematic& s, Notify& notify);

}  // namespace zephyrim
