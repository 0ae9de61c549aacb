#pragma once
// The editor's undo history: the undo records of the last operations, oldest
// first, and the point between the operations in force and those undone, which
// Redo brings back in order. A new operation drops the undone ones.
//
// Undo takes a snapshot of the page as it finds it before taking an operation
// back, and Redo restores that snapshot, so Redo gives back exactly what Undo
// took away. Every snapshot of a page is taken like the page's latest one and
// shares its unchanged chunks (undo.h), so a long history of small edits on a
// big page costs little more than one copy of it.
#include <deque>
#include <memory>
#include <unordered_map>

#include "editing/undo.h"

namespace zephyrim {

// How much history is kept by default; the oldest steps go first.
inline constexpr size_t kUndoHistorySteps = 100;
inline constexpr size_t kUndoHistoryBytes = size_t{256} << 20;

class UndoHistory {
 public:
  explicit UndoHistory(size_t max_steps = kUndoHistorySteps, size_t max_bytes = kUndoHistoryBytes);
  UndoHistory(const UndoHistory&) = delete;
  UndoHistory& operator=(const UndoHistory&) = delete;

  // At least one step is always kept, however big.
  void set_limits(size_t max_steps, size_t max_bytes);

  // Recording. Each call is one step on the current page.
  // An append marker, just before the new object is appended.
  void mark_append(const Schematic& s, int kind);
  // A snapshot, before objects are changed or removed; a failed one leaves a
  // step that only reports so.
  void snapshot(const Schematic& s);
  // A step made elsewhere.
  void record(UndoRecord step);
  // Takes the newest step back when its operation turned out to change
  // nothing. The undone steps that recording it dropped stay dropped.
  void discard_newest();

  // Takes the newest operation in force back, on its page, which becomes the
  // current page. "Undo buffer empty" when there is none. A step that cannot
  // be undone reports why and is dropped with every older one, which can no
  // longer be reached. Returns 1 when the schematic changed, else 0.
  int undo(Schematic& s, Notify& notify, ReferenceCounters& counters);
  // Puts the operation undone last back, on its page, which becomes the
  // current page. "Nothing to redo" when there is none. Returns 1 when the
  // schematic changed, else 0.
  int redo(Schematic& s, Notify& notify, ReferenceCounters& counters);

  // Empties the history (a new or loaded schematic, a deleted page).
  void clear();
  // After the symbol table was purged (a save): steps whose snapshots name a
  // symbol that is gone can no longer be applied; they go, with the steps
  // beyond them.
  void forget_missing_symbols(const Schematic& s);

  size_t undo_count() const { return done_; }
  size_t redo_count() const { return steps_.size() - done_; }
  // Step k, the oldest first.
  const UndoRecord& step(size_t k) const { return steps_.at(k); }
  // Bytes held by the history's snapshots.
  size_t memory() const { return meter_->bytes; }

 private:
  void push(UndoRecord step);
  void trim();
  const PageSnapshot* like(const Page* page) const;

  std::deque<UndoRecord> steps_;
  size_t done_ = 0;  // steps_[0, done_) are in force, the rest undone
  size_t max_steps_;
  size_t max_bytes_;
  std::shared_ptr<UndoMeter> meter_ = std::make_shared<UndoMeter>();
  // Each page's latest snapshot, which the next one of the page is taken like.
  // Pages are only compared, never followed.
  std::unordered_map<const Page*, std::shared_ptr<const PageSnapshot>> latest_;
};

// The operations of the undo buffer by their old names, on the history.
void undo_mark_append(UndoHistory& h, const Schematic& s, int kind);
void undo_snapshot(UndoHistory& h, const Schematic& s);
int undo_apply(UndoHistory& h, Schematic& s, Notify& notify, ReferenceCounters& counters);
void undo_clear(UndoHistory& h);
void undo_forget_missing_symbols(UndoHistory& h, const Schematic& s);

}  // namespace zephyrim
