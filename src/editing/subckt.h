#pragma once
// Subcircuit blocks drawn on a page: made from the selection, opened for
// editing (new objects then belong to the block), closed again.
#include <string>
#include <vector>

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

// A block's parameters are kept in its pin records: the name, the default value
// as a float, the comment as the text.
inline constexpr int kMaxSubcktParams = 32;
struct SubcktParam {
  std::string name;  // at most 7 characters
  double value = 0;
  std::string comment;
};
std::vector<SubcktParam> subckt_params(const BlockRecord& block);
// Replaces the parameters; "Exceeds maximum number of allowed parameters" (and
// nothing changed) beyond kMaxSubcktParams.
bool subckt_set_params(Schematic& s, BlockRecord& block, const std::vector<SubcktParam>& params,
                       Notify& notify);

// The block's I/O pin parts in their port order (the order of the part list).
std::vector<PartRecord*> subckt_io_pins(Schematic& s, const BlockRecord* block);
// Puts the block's I/O pins in the given order (a permutation of subckt_io_pins),
// leaving every other part where it is.
void subckt_order_pins(Schematic& s, const BlockRecord* block, const std::vector<PartRecord*>& order);

// Deletes a block with everything in it after "Are you sure you want to delete
// subcircuit %s?". True when deleted.
bool subckt_delete(Schematic& s, BlockRecord* block, Notify& notify);

// The page's block of that name, or null.
BlockRecord* subckt_find(Schematic& s, const std::string& name);

}  // namespace zephyrim
