#pragma once
// The undo data of one editor operation. Placing a single object only
// remembers how long its list was; changing or removing objects first takes a
// snapshot of the page's object lists. The history of these records, with redo,
// is undo_history.h.
//
// A snapshot keeps each list as chunks of about a hundred records, encoded
// compactly and never changed once made. A new snapshot of a page takes over
// every chunk of the page's previous snapshot whose records are still the same,
// wherever they now sit in the list, so that moving ten parts on a page of
// 100,000 costs a few chunks rather than a copy of the page.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_set>
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

// Bytes held by the chunks and snapshots made with it; each adds its size when
// made and takes it off when freed, so a history knows its size without walking
// its snapshots, however they share chunks.
struct UndoMeter {
  size_t bytes = 0;
};

// Consecutive records of one list, encoded one after another. The records hold
// no pointer into the page: an owner is kept as the block's position (0 = top
// circuit) and a label as its position plus one (0 = none). Symbol and link
// pointers point outside the page lists and are kept as they are.
struct UndoChunk {
  std::vector<uint8_t> bytes;
  uint32_t count = 0;  // records in bytes
  uint64_t hash = 0;   // of the records, to find an equal chunk again
  size_t held = 0;     // what the meter was given
  std::shared_ptr<UndoMeter> meter;

  UndoChunk() = default;
  UndoChunk(const UndoChunk&) = delete;
  UndoChunk& operator=(const UndoChunk&) = delete;
  ~UndoChunk();
};

struct UndoList {
  std::vector<std::shared_ptr<const UndoChunk>> chunks;
  size_t count = 0;  // records in all chunks
};

// The object lists of one page at one moment.
struct PageSnapshot {
  std::vector<BlockRecord> blocks;  // few, and their dirty marks change with every edit: copied whole
  UndoList labels;
  UndoList parts;
  UndoList wires;
  UndoList junctions;
  UndoList texts;
  int32_t edit_block = 0;                      // position of the edit block when taken
  const BlockRecord* edit_block_at = nullptr;  // only compared, never followed
  size_t held = 0;                             // the snapshot's own share of the meter
  std::shared_ptr<UndoMeter> meter;

  PageSnapshot() = default;
  PageSnapshot(const PageSnapshot&) = delete;
  PageSnapshot& operator=(const PageSnapshot&) = delete;
  ~PageSnapshot();
};

// Takes the page's lists. Chunks of `like` (an earlier snapshot, normally of the
// same page; may be null) whose records are all unchanged are shared rather
// than copied. Throws std::bad_alloc when memory runs out.
std::shared_ptr<const PageSnapshot> page_snapshot(const Page& page, const PageSnapshot* like,
                                                  const std::shared_ptr<UndoMeter>& meter);

// Replaces the lists of page `page_index` by the snapshot's, marks every scope
// of it changed and keeps its edit block. Returns false, with the page
// untouched, when a record names a symbol that has left the symbol table since
// (a save purges unused ones) or memory runs out.
bool page_restore(const PageSnapshot& snap, Schematic& s, int page_index);

// Whether every symbol the snapshot's parts and blocks name is among `known`.
// Chunks in `checked` (may be null) are taken as known good; chunks found good
// are added to it, so that snapshots sharing chunks are read once.
bool page_snapshot_symbols_known(const PageSnapshot& snap,
                                 const std::unordered_set<const SymbolRecord*>& known,
                                 std::unordered_set<const UndoChunk*>* checked = nullptr);

// One operation's undo data.
struct UndoRecord {
  int state = kUndoEmpty;
  int page = 0;                   // page the record was taken on
  const Page* page_at = nullptr;  // that page, to find it again after pages were deleted; only compared

  // Append states: length of the list before the append; whatever follows it
  // was appended since.
  size_t list_length = 0;
  // Placing a wire or part may add automatic junctions: they go with it.
  size_t junction_length = 0;

  // State 1: the page before the operation.
  std::shared_ptr<const PageSnapshot> before;
  // The page as Undo found it, while the operation can be redone.
  std::shared_ptr<const PageSnapshot> after;
};

// Makes the record an append marker for the current page's list of the kind;
// called just before the new object is appended.
void undo_mark_append(UndoRecord& u, const Schematic& s, int kind);

// Makes the record a snapshot of the current page, sharing what it can with
// `like`; state -1 when the copy cannot be made (the edit goes ahead regardless).
void undo_snapshot(UndoRecord& u, const Schematic& s, const PageSnapshot* like = nullptr,
                   const std::shared_ptr<UndoMeter>& meter = nullptr);

// Where the record's page is now: deleting an earlier page moves it down. -1
// when it has been deleted.
int undo_find_page(const UndoRecord& u, const Schematic& s);

// Takes back the recorded operation on page `page_index`: removes what was
// appended or restores the snapshot. Returns 1 when the page changed, 0 when
// there was nothing to take back, -1 after "Cannot complete undo" when the
// snapshot cannot be restored (the page is left as it was). The reference
// counters are the caller's.
int undo_revert(const UndoRecord& u, Schematic& s, int page_index, Notify& notify);

}  // namespace zephyrim
