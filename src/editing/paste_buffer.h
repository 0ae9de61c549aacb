#pragma once
// The editor's internal paste buffer: Cut and Copy take the selected objects
// out of the page as free-standing copies (with copies of their symbols, so a
// paste into another schematic works); Paste places them again at an offset.
#include <memory>
#include <vector>

#include "common/notify.h"
#include "editing/edit_ops.h"
#include "editing/references.h"
#include "schematic/schematic.h"

namespace zephyrim {

struct PasteBuffer {
  int scale = 1;  // symbol scale of the page copied from
  Point origin;   // lowest corner of the copied objects
  // Copies; owner pointers are cleared, owners kept in the *_owner lists as a
  // block position in `blocks` plus one (0 = the scope pasted into).
  std::vector<BlockRecord> blocks;
  std::vector<LabelRecord> labels;
  std::vector<PartRecord> parts;
  std::vector<WireRecord> wires;
  std::vector<JunctionRecord> junctions;
  std::vector<TextRecord> texts;
  std::vector<int> label_owner, part_owner, wire_owner, junction_owner, text_owner;
  std::vector<int> wire_label;                         // label position plus one, 0 = none
  std::vector<std::vector<int>> pin_labels;            // per part, per pin
  std::vector<std::unique_ptr<SymbolRecord>> symbols;  // one per part (null when it had none)
  std::vector<std::unique_ptr<SymbolRecord>> block_symbols;

  bool empty() const {
    return parts.empty() && wires.empty() && junctions.empty() && labels.empty() && texts.empty();
  }
};

// Copies the selection of the current page; returns the number of objects
// ("Nothing selected" when none).
int paste_copy(const Schematic& s, PasteBuffer& buffer, Notify& notify);

// Places the buffer's objects with their lowest corner at `at`, selected, in
// the current edit scope; copied subcircuit blocks come along under a free
// name (asked for with "PASTE SUBCIRCUIT: %s" / "Already exists! Enter new
// name:" when theirs is taken). Returns the number of objects placed.
int paste_place(Schematic& s, const PasteBuffer& buffer, Point at, ReferenceCounters& counters,
                Notify& notify);

}  // namespace zephyrim
