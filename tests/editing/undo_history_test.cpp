#include "editing/undo_history.h"

#include <gtest/gtest.h>

#include <random>
#include <unordered_set>

#include "schematic/random_schematic.h"
#include "schematic/schematic_dump.h"
#include "schematic/test_symbols.h"

namespace zephyrim {
namespace {

constexpr std::time_t kNow = 1767603600;

// The model as the batch tool dumps it, without the current page: Undo and
// Redo show the page of their step, which is checked on its own.
std::string model(const Schematic& s) {
  std::string d = schematic_dump(s);
  const size_t at = d.find(" current ");
  if (at != std::string::npos) d.erase(at, d.find('\n', at) - at);
  return d;
}

// A schematic of `pages` pages with `parts` resistors in rows on each.
struct Big {
  RecordingNotify notify;
  std::unique_ptr<Schematic> s = schematic_new("big.sch", kNow);
  ReferenceCounters counters;
  UndoHistory h;
  const SymbolRecord* res = nullptr;

  explicit Big(int parts, int pages = 1) {
    res = testing_support::add_test_symbol(*s, "R", kSymbolPart, {-32, -8, 32, 8},
                                           testing_support::two_pins_across());
    for (int pg = 0; pg < pages; ++pg) {
      if (pg > 0) page_add(*s, notify, kNow);
      for (int i = 0; i < parts; ++i) {
        PartRecord* p = part_place(*s, res, 80 * (i % 200), 40 * (i / 200));
        p->reference.assign("R" + std::to_string(i + 1));
      }
    }
    s->page_table.current_page = 0;
  }
  Page& page() { return s->page(); }
  int undo() { return h.undo(*s, notify, counters); }
  int redo() { return h.redo(*s, notify, counters); }
  // Chunks of a list in `now` that `before` does not hold.
  static size_t new_chunks(const UndoList& before, const UndoList& now) {
    std::unordered_set<const UndoChunk*> old;
    for (const auto& c : before.chunks) old.insert(c.get());
    size_t n = 0;
    for (const auto& c : now.chunks) n += old.count(c.get()) == 0;
    return n;
  }
};

TEST(UndoHistory, SnapshotsOfAnUnchangedPageShareTheirStorage) {
  Big b(2000);
  b.h.snapshot(*b.s);
  const size_t one = b.h.memory();
  b.h.snapshot(*b.s);
  const PageSnapshot& first = *b.h.step(0).before;
  const PageSnapshot& second = *b.h.step(1).before;
  ASSERT_GT(first.parts.chunks.size(), 1u);
  EXPECT_EQ(first.parts.chunks, second.parts.chunks);
  EXPECT_EQ(first.wires.chunks, second.wires.chunks);
  // The second costs its list of chunks, not its records.
  EXPECT_LT(b.h.memory() - one, one / 10);
  b.h.clear();
  EXPECT_EQ(b.h.memory(), 0u);
}

TEST(UndoHistory, MovingAFewPartsOrDeletingOneCostsAFewChunks) {
  Big b(20000);
  b.h.snapshot(*b.s);
  const size_t full = b.h.memory();
  for (int k : {5, 4000, 9000, 15000, 19990}) b.page().parts[k]->x += 8;
  b.h.snapshot(*b.s);
  const UndoList& before = b.h.step(0).before->parts;
  const UndoList& moved = b.h.step(1).before->parts;
  EXPECT_LE(Big::new_chunks(before, moved), 15u);  // a change may move a chunk's end
  EXPECT_GE(Big::new_chunks(before, moved), 5u);

  // Deleting near the front shifts every later record, yet chunks end where
  // their records say, so those after it are found again.
  part_delete(*b.s, b.page().parts[10].get());
  b.h.snapshot(*b.s);
  EXPECT_LE(Big::new_chunks(moved, b.h.step(2).before->parts), 4u);
  // Memory follows the new chunks, whatever the page's size.
  EXPECT_LT(b.h.memory() - full, full * 20 / before.chunks.size());
}

TEST(UndoHistory, UndoAndRedoWalkTheStepsAndANewOperationDropsTheUndone) {
  Big b(3);
  std::vector<std::string> states{model(*b.s)};
  for (int k = 0; k < 3; ++k) {
    b.h.snapshot(*b.s);
    b.page().parts[k]->x += 8;
    states.push_back(model(*b.s));
  }
  EXPECT_EQ(b.undo(), 1);
  EXPECT_EQ(model(*b.s), states[2]);
  EXPECT_EQ(b.undo(), 1);
  EXPECT_EQ(model(*b.s), states[1]);
  EXPECT_EQ(b.redo(), 1);
  EXPECT_EQ(model(*b.s), states[2]);
  EXPECT_EQ(b.h.redo_count(), 1u);
  EXPECT_TRUE(b.notify.entries().empty());

  b.h.mark_append(*b.s, kAppendWire);  // a new operation
  wire_add(*b.s, 0, 200, 80, 200);
  EXPECT_EQ(b.h.redo_count(), 0u);
  EXPECT_EQ(b.redo(), 0);
  EXPECT_EQ(b.notify.last(), "Nothing to redo");
  EXPECT_EQ(b.undo(), 1);
  EXPECT_EQ(model(*b.s), states[2]);
  EXPECT_EQ(b.undo(), 1);
  EXPECT_EQ(b.undo(), 1);
  EXPECT_EQ(model(*b.s), states[0]);
  EXPECT_EQ(b.undo(), 0);
  EXPECT_EQ(b.notify.last(), "Undo buffer empty");
}

TEST(UndoHistory, StepsOnTwoPagesAreUndoneAndRedoneEachOnItsPage) {
  Big b(4, 2);
  const std::string start = model(*b.s);
  b.s->page_table.current_page = 1;
  b.h.snapshot(*b.s);
  part_delete(*b.s, b.page().parts[0].get());
  const std::string one = model(*b.s);
  b.s->page_table.current_page = 0;
  b.h.mark_append(*b.s, kAppendPart);
  part_place(*b.s, b.res, 400, 400);
  const std::string two = model(*b.s);

  EXPECT_EQ(b.undo(), 1);
  EXPECT_EQ(b.s->current_page(), 0);
  EXPECT_EQ(model(*b.s), one);
  EXPECT_EQ(b.undo(), 1);
  EXPECT_EQ(b.s->current_page(), 1);
  EXPECT_EQ(model(*b.s), start);
  EXPECT_TRUE(b.s->modified);
  EXPECT_EQ(b.redo(), 1);
  EXPECT_EQ(b.s->current_page(), 1);
  EXPECT_EQ(model(*b.s), one);
  EXPECT_EQ(b.redo(), 1);
  EXPECT_EQ(b.s->current_page(), 0);
  EXPECT_EQ(model(*b.s), two);
}

TEST(UndoHistory, CountersFollowUndoAndRedo) {
  Big b(0);
  references_recount(*b.s, b.counters);
  for (int k = 0; k < 3; ++k) {
    b.h.mark_append(*b.s, kAppendPart);
    reference_assign(*b.s, *part_place(*b.s, b.res, 80 * k, 0), b.counters);
  }
  const int r = reference_counter_index('R');
  EXPECT_EQ(b.counters.next[r], 4);
  b.undo();
  b.undo();
  EXPECT_EQ(b.counters.next[r], 2);
  b.redo();
  EXPECT_EQ(b.counters.next[r], 3);
}

TEST(UndoHistory, KeepsAtMostItsStepsAndItsBytesDroppingTheOldestFirst) {
  Big b(5000);
  b.h.set_limits(3, kUndoHistoryBytes);
  for (int k = 0; k < 5; ++k) {
    b.h.snapshot(*b.s);
    b.page().parts[k]->y += 8;
  }
  EXPECT_EQ(b.h.undo_count(), 3u);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(b.undo(), 1);
  EXPECT_EQ(b.undo(), 0);
  EXPECT_EQ(b.notify.last(), "Undo buffer empty");
  EXPECT_EQ(b.page().parts[1]->y, 8);  // the first two stay done
  EXPECT_EQ(b.page().parts[2]->y, 0);

  // A byte cap smaller than one snapshot keeps the newest step alone.
  b.h.clear();
  b.h.set_limits(100, 1000);
  for (int k = 0; k < 4; ++k) {
    b.h.snapshot(*b.s);
    b.page().parts[k]->x += 8;
  }
  EXPECT_EQ(b.h.undo_count(), 1u);
  EXPECT_EQ(b.undo(), 1);
  EXPECT_EQ(b.page().parts[3]->x, 3 * 80);
  EXPECT_EQ(b.redo(), 1);  // redo steps are kept within the cap too
  EXPECT_EQ(b.page().parts[3]->x, 3 * 80 + 8);
}

TEST(UndoHistory, AFailedSnapshotIsAStepThatOnlyReportsAndBarsTheOlderOnes) {
  Big b(3);
  b.h.snapshot(*b.s);
  b.page().parts[0]->x += 8;
  UndoRecord failed;  // as a snapshot that ran out of memory leaves it
  failed.state = kUndoSnapshotFailed;
  failed.page_at = &b.page();
  b.h.record(failed);
  b.page().parts[1]->x += 8;
  b.h.snapshot(*b.s);
  b.page().parts[2]->x += 8;

  EXPECT_EQ(b.undo(), 1);
  EXPECT_EQ(b.page().parts[2]->x, 160);
  EXPECT_EQ(b.undo(), 0);
  EXPECT_EQ(b.notify.last(), "There was an error saving Undo data");
  EXPECT_EQ(b.page().parts[1]->x, 88);
  EXPECT_EQ(b.undo(), 0);
  EXPECT_EQ(b.notify.last(), "Undo buffer empty");
  EXPECT_EQ(b.page().parts[0]->x, 8);
  EXPECT_EQ(b.redo(), 1);  // what was undone can still come back
  EXPECT_EQ(b.page().parts[2]->x, 168);
}

TEST(UndoHistory, AStepWhoseSymbolASaveHasPurgedGoesWithTheOlderOnes) {
  Big b(2);
  const SymbolRecord* cap =
      testing_support::add_test_symbol(*b.s, "C", kSymbolPart, {-8, -8, 8, 8}, {}, 1, kOriginSchematic);
  b.h.snapshot(*b.s);
  b.page().parts[0]->x += 8;
  b.h.mark_append(*b.s, kAppendPart);
  PartRecord* c1 = part_place(*b.s, cap, 400, 0);
  b.h.snapshot(*b.s);  // holds C1
  part_delete(*b.s, c1);
  b.h.snapshot(*b.s);
  b.page().parts[1]->x += 8;
  symtab_purge(*b.s);  // C is used nowhere now
  ASSERT_LT(symtab_index_of(*b.s, cap), 0);

  b.h.forget_missing_symbols(*b.s);
  EXPECT_EQ(b.h.undo_count(), 1u);
  EXPECT_EQ(b.undo(), 1);
  EXPECT_EQ(b.page().parts[1]->x, 80);
  EXPECT_EQ(b.undo(), 0);
  EXPECT_EQ(b.notify.last(), "Undo buffer empty");
}

// Random operations of every kind on the pages of a random schematic, with
// undos, redos and new operations in between: every undo and redo must give
// the model exactly as it was, and a cap of a few steps must hold.
TEST(UndoHistory, RandomEditsUndoAndRedoToTheExactModel) {
  for (uint32_t seed : {1u, 2u, 3u}) {
    SCOPED_TRACE(seed);
    testing_support::RandomSizes z;
    z.pages = 3;
    z.parts = 40;
    z.wires = 40;
    z.labels = 6;
    auto s = testing_support::random_schematic(seed, z);
    RecordingNotify notify;
    ReferenceCounters counters;
    UndoHistory h(7);
    std::mt19937 rng(seed);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    auto any = [&](auto& list) { return list.empty() ? nullptr : list[pick(0, int(list.size()) - 1)].get(); };

    std::vector<std::string> states{model(*s)};
    size_t at = 0, floor = 0;  // the state in force, and the oldest one still reachable
    for (int round = 0; round < 150; ++round) {
      const int what = pick(0, 13);
      if (what <= 2) {
        h.undo(*s, notify, counters);
        if (at > floor) {
          --at;
          ASSERT_EQ(model(*s), states[at]) << "undo, round " << round;
        } else {
          EXPECT_EQ(notify.last(), "Undo buffer empty");
        }
        continue;
      }
      if (what <= 4) {
        h.redo(*s, notify, counters);
        if (at + 1 < states.size()) {
          ++at;
          ASSERT_EQ(model(*s), states[at]) << "redo, round " << round;
        } else {
          EXPECT_EQ(notify.last(), "Nothing to redo");
        }
        continue;
      }
      s->page_table.current_page = pick(0, s->page_count() - 1);
      Page& page = s->page();
      switch (what) {
        case 5:
          h.mark_append(*s, kAppendPart);
          part_place(*s, s->symbols.entries[0].definition.get(), 8 * pick(0, 50), 8 * pick(0, 50));
          break;
        case 6:
          h.mark_append(*s, kAppendWire);
          wire_add(*s, 0, 8 * round, 80, 8 * round);
          wire_add(*s, 80, 0, 80, 8 * round);
          break;
        case 7: {
          h.mark_append(*s, kAppendLabel);
          LabelRecord* l = label_new(*s);
          l->name.assign("N" + std::to_string(round));
          for (auto& w : page.wires)
            if (!w->label) {
              w->label = l;
              break;
            }
          break;
        }
        case 8:
          if (pick(0, 1)) {
            h.mark_append(*s, kAppendText);
            text_new(*s)->text = "t";
          } else {
            h.mark_append(*s, kAppendJunction);
            junction_new(*s)->x = 8 * pick(0, 99);
          }
          break;
        case 9:
          h.snapshot(*s);
          for (int k = 0; k < 3; ++k)
            if (PartRecord* p = any(page.parts)) p->x += 8;
          if (WireRecord* w = any(page.wires)) w->y1 += 8;
          if (JunctionRecord* j = any(page.junctions)) j->selected ^= 1;
          break;
        case 10:
          h.snapshot(*s);
          if (PartRecord* p = any(page.parts)) part_delete(*s, p);
          if (WireRecord* w = any(page.wires)) wire_delete(*s, w);
          if (TextRecord* t = any(page.texts)) text_delete(*s, t);
          break;
        case 11:
          h.snapshot(*s);
          if (LabelRecord* l = any(page.labels)) label_delete(*s, l);
          if (PartRecord* p = any(page.parts)) part_orient(*s, *p, kStepMirror, notify);
          break;
        case 12:
          h.snapshot(*s);
          if (page.blocks.size() > 1) block_delete(*s, page.blocks.back().get());
          if (PartRecord* p = any(page.parts)) p->params[1] = "changed";
          break;
        default:
          h.snapshot(*s);
          if (PartRecord* p = any(page.parts)) p->selected ^= 1;
          if (LabelRecord* l = any(page.labels)) l->name.assign("renamed");
          break;
      }
      states.resize(at + 1);
      states.push_back(model(*s));
      ++at;
      floor = std::max(floor, at > 7 ? at - 7 : size_t{0});
    }
    // Back to the oldest reachable state and forward to the newest.
    while (at > floor) {
      h.undo(*s, notify, counters);
      ASSERT_EQ(model(*s), states[--at]);
    }
    while (at + 1 < states.size()) {
      ASSERT_EQ(h.redo(*s, notify, counters), 1);
      ASSERT_EQ(model(*s), states[++at]);
    }
    EXPECT_EQ(h.undo_count(), states.size() - 1 - floor);
    h.clear();
    EXPECT_EQ(h.memory(), 0u);
  }
}

}  // namespace
}  // namespace zephyrim
