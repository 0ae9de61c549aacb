#pragma once
// The editor's one level of undo. Placing a single object only remembers how
// long its list was; changing or removing objects first copies the whole
// object lists of the page. The next recorded operation replaces the record.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/notify.h"
#include "editing/references.h"
#include "schematic/schematic.h"

namespace zephyrim {

enum UndoState : int {
  kUndoEmpty = 0,
  kUndoSnapshotFailed = -1,
  kUndoSnapshot = 1,
  kUndoPartAppended = 2,
  kUndoWireAppended = 3,
  kUndoJunctionAppended = 4,
  kUndoLabelAppended = 5,
  kUndoTextAppended = 6,
};

// Kinds of undo_mark_append.
enum UndoAppendKind : int {
  kAppendPart = 0,
  kAppendWire = 1,
  kAppendJunction = 2,
  kAppendLabel = 3,
  kAppendText = 4,
};

// Copies of records taken out of their page. The copies hold no pointer into
// the page: an owner is kept as the block's position (0 = top circuit) and a
// label as its position plus one (0 = none). Symbol and link pointers point
// outside the page lists and are kept as they are.
struct UndoLabel {
  LabelRecord record;
  int32_t owner = 0;
};

struct UndoPart {
  PartRecord record;
  int32_t owner = 0;
  std::vector<int32_t> pin_labels;  // one per entry of record.pin_nodes
};

struct UndoWire {
  WireRecord record;
  int32_t owner = 0;
  int32_t label = 0;
};

struct UndoJunction {
  JunctionRecord record;
  int32_t owner = 0;
};

struct UndoText {
  TextRecord record;
  int32_t owner = 0;
};

struct UndoRecord {
  int state = kUndoEmpty;
  int page = 0;                   // page the record was taken on
  const Page* page_at = nullptr;  // that page, to find it again after pages were deleted; only compared

  // Append states: length of the list before the append; whatever follows it
  // was appended since.
  size_t list_length = 0;
  // Placing a wire or part may add automatic junctions: they go with it.
  size_t junction_length = 0;

  // Full snapshot of the page's lists.
  std::vector<BlockRecord> blocks;
  std::vector<UndoLabel> labels;
  std::vector<UndoPart> parts;
  std::vector<UndoWire> wires;
  std::vector<UndoJunction> junctions;
  std::vector<UndoText> texts;
  int edit_block = 0;                          // position of the edit block when taken
  const BlockRecord* edit_block_at = nullptr;  // only compared, never followed
};

// Replaces the record by an append marker for the current page's list of the
// kind; called just before the new object is appended.
void undo_mark_append(UndoRecord& u, const Schematic& s, int kind);

// Replaces the record by a copy of the current page's six object lists; state
// -1 when the copy cannot be made (the edit goes ahead regardless).
void undo_snapshot(UndoRecord& u, const Schematic& s);

// Undoes the recorded operation and empties the record. Returns 1 when the
// schematic changed, else 0.
int undo_apply(UndoRecord& u, Schematic& s, Notify& notify, ReferenceCounters& counters);

// Frees the copies and empties the record.
void undo_clear(UndoRecord& u);

// After the symbol table was purged (a save): a record whose copies name a
// symbol that is gone can no longer be applied and is emptied.
void undo_forget_missing_symbols(UndoRecord& u, const Schematic& s);

}  // namespace zephyrim
