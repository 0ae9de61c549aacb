#include "editing/undo_history.h"

#include <algorithm>
#include <new>
#include <unordered_set>

namespace zephyrim {

UndoHistory::UndoHistory(size_t max_steps, size_t max_bytes)
    : max_steps_(std::max<size_t>(1, max_steps)), max_bytes_(max_bytes) {}

void UndoHistory::set_limits(size_t max_steps, size_t max_bytes) {
  max_steps_ = std::max<size_t>(1, max_steps);
  max_bytes_ = max_bytes;
  trim();
}

const PageSnapshot* UndoHistory::like(const Page* page) const {
  const auto it = latest_.find(page);
  return it == latest_.end() ? nullptr : it->second.get();
}

void UndoHistory::push(UndoRecord step) {
  steps_.erase(steps_.begin() + static_cast<std::ptrdiff_t>(done_), steps_.end());
  steps_.push_back(std::move(step));
  ++done_;
  trim();
}

void UndoHistory::trim() {
  // Oldest first. Snapshots share chunks, so a dropped step may free little;
  // the newest step stays whatever it costs, as the one level of undo always did.
  while (steps_.size() > 1 && (steps_.size() > max_steps_ || meter_->bytes > max_bytes_)) {
    if (done_ > 0) {
      steps_.pop_front();
      --done_;
    } else {
      steps_.pop_back();
    }
  }
}

void UndoHistory::mark_append(const Schematic& s, int kind) {
  UndoRecord u;
  undo_mark_append(u, s, kind);
  if (u.state != kUndoEmpty) push(std::move(u));
}

void UndoHistory::snapshot(const Schematic& s) {
  UndoRecord u;
  undo_snapshot(u, s, like(&s.page()), meter_);
  if (u.before) latest_[&s.page()] = u.before;
  push(std::move(u));
}

void UndoHistory::record(UndoRecord step) {
  if (step.state == kUndoEmpty) return;
  if (step.before) latest_[step.page_at] = step.before;
  push(std::move(step));
}

void UndoHistory::discard_newest() {
  if (done_ == 0 || done_ != steps_.size()) return;
  steps_.pop_back();
  --done_;
}

int UndoHistory::undo(Schematic& s, Notify& notify, ReferenceCounters& counters) {
  if (done_ == 0) {
    notify.information("Undo buffer empty");
    return 0;
  }
  auto unreachable = [this] {
    steps_.erase(steps_.begin(), steps_.begin() + static_cast<std::ptrdiff_t>(done_));
    done_ = 0;
  };
  UndoRecord& u = steps_[done_ - 1];
  if (u.state == kUndoSnapshotFailed) {
    notify.error("There was an error saving Undo data");
    unreachable();
    return 0;
  }
  const int page = undo_find_page(u, s);
  if (page < 0) {
    // The page the step belongs to has been deleted since.
    notify.error("Cannot complete undo");
    unreachable();
    return 0;
  }

  // The page as it is now, for Redo.
  std::shared_ptr<const PageSnapshot> after;
  try {
    after = page_snapshot(*s.pages[page], like(u.page_at), meter_);
  } catch (const std::bad_alloc&) {
    after.reset();
  }
  const int changed = undo_revert(u, s, page, notify);
  if (changed < 0) {
    unreachable();
    return 0;
  }
  // Shown where it happens.
  s.page_table.current_page = page;
  --done_;
  if (after) {
    u.after = after;
    latest_[u.page_at] = u.state == kUndoSnapshot ? u.before : after;
  } else {
    // Nothing can be redone past a step whose page could not be kept.
    steps_.erase(steps_.begin() + static_cast<std::ptrdiff_t>(done_), steps_.end());
  }
  references_recount(s, counters);
  trim();
  return changed;
}

int UndoHistory::redo(Schematic& s, Notify& notify, ReferenceCounters& counters) {
  if (done_ == steps_.size()) {
    notify.information("Nothing to redo");
    return 0;
  }
  UndoRecord& u = steps_[done_];
  const int page = undo_find_page(u, s);
  if (page < 0 || !u.after || !page_restore(*u.after, s, page)) {
    notify.error("Cannot complete redo");
    steps_.erase(steps_.begin() + static_cast<std::ptrdiff_t>(done_), steps_.end());
    return 0;
  }
  s.page_table.current_page = page;
  latest_[u.page_at] = std::move(u.after);
  u.after.reset();
  ++done_;
  references_recount(s, counters);
  return 1;
}

void UndoHistory::clear() {
  steps_.clear();
  done_ = 0;
  latest_.clear();
}

void UndoHistory::forget_missing_symbols(const Schematic& s) {
  std::unordered_set<const SymbolRecord*> known;
  known.reserve(s.symbols.entries.size());
  for (const auto& e : s.symbols.entries)
    if (e.definition) known.insert(e.definition.get());
  std::unordered_set<const UndoChunk*> checked;
  auto usable = [&](const UndoRecord& u) {
    for (const PageSnapshot* snap : {u.before.get(), u.after.get()})
      if (snap && !page_snapshot_symbols_known(*snap, known, &checked)) return false;
    return true;
  };
  // The newest step in force that cannot be undone cuts off every older one...
  for (size_t k = done_; k-- > 0;)
    if (!usable(steps_[k])) {
      steps_.erase(steps_.begin(), steps_.begin() + static_cast<std::ptrdiff_t>(k + 1));
      done_ -= k + 1;
      break;
    }
  // ... and the oldest undone one that cannot be redone every newer one.
  for (size_t k = done_; k < steps_.size(); ++k)
    if (!usable(steps_[k])) {
      steps_.erase(steps_.begin() + static_cast<std::ptrdiff_t>(k), steps_.end());
      break;
    }
  // A latest snapshot is only compared with, never restored: it may stay.
}

void undo_mark_append(UndoHistory& h, const Schematic& s, int kind) {
  h.mark_append(s, kind);
}

void undo_snapshot(UndoHistory& h, const Schematic& s) {
  h.snapshot(s);
}

int undo_apply(UndoHistory& h, Schematic& s, Notify& notify, ReferenceCounters& counters) {
  return h.undo(s, notify, counters);
}

void undo_clear(UndoHistory& h) {
  h.clear();
}

void undo_forget_missing_symbols(UndoHistory& h, const Schematic& s) {
  h.forget_missing_symbols(s);
}

}  // namespace zephyrim
