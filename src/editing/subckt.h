#pragma once
// Subcircuit blocks drawn on a page: made from the selection, opened for
// editing (new objects then belong to the block), closed again.
#include <string>

#include "common/notify.h"
#include "schematic/schematic.h"

namespace zephyrim {

// A block name: 1 to 31 characters, a letter first, then letters, digits, '_' or '-'.
bool subckt_name_valid(const std::string& name);

// Makes a block of the selected objects of the top circuit. "No object selected"
// without a selection, "Invalid SUBCKT name" for a bad name, "Subcircuit %s
// already exists" when the page has it. Returns the block or null.
BlockRecord* subckt_new(Schematic& s, const std::string& name, Notify& notify);

// The block the selection belongs to, for Open: "No SUBCKT selected" without a
// selection, "SUBCKT not selected" when the selection is in the top circuit.
BlockRecord* subckt_selected(Schematic& s, Notify& notify);

// Opens the block for editing; true when it is open.
bool subckt_open(Schematic& s, BlockRecord* block);

// Closes the open block. An empty block is offered for deletion with
// "SUBCKT %s is empty - delete?". Returns true when a block was closed.
bool subckt_close(Schematic& s, Notify& notify);

// Keeps the block's origin: its contents' lowest x and y less one grid step.
void subckt_update_origin(Schematic& s, BlockRecord* block);

// The page's block of that name, or null.
BlockRecord* subckt_find(Schematic& s, const std::string& name);

}  // namespace zephyrim
