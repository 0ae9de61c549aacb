// Trace history files: the traces shown written with each shared X once, read
// back into the history class under the slot's run, the refusals, damaged
// files, and the choice of the next slot.
#include "viewer/plot/history_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "common/byte_io.h"
#include "common/file_io.h"
#include "viewer/calc/calc_fixture.h"
#include "viewer/plot/plot_model.h"

namespace zephyrim {
namespace {

namespace fs = std::filesystem;

struct HistoryStore : CalcStore {
  fs::path dir;
  Graph graph;
  HistoryStore() {
    const DataVector* t = add("TIME", {0, 1, 2}, nullptr);
    const DataVector* a = add("V(1)", {5, 6, 7}, t);
    const DataVector* b = add("V(2)", {-1, 0, 1}, t);
    const DataVector* t2 = add("TIME", {0, 0.5}, nullptr);
    const DataVector* c = add("I(R1)", {1e-3, 2e-3}, t2);
    graph.analysis = ANALYSIS_TRAN;
    graph.cls = DATA_CLASS_BINARY;
    graph.plots = 2;
    for (const DataVector* y : {a, b, c}) add_trace(graph, *y, nullptr, y == c ? 1 : 0, notify);
    dir = fs::temp_directory_path() / ("zephyrim_history_" + std::to_string(getpid()));
    fs::create_directories(dir);
  }
  ~HistoryStore() { fs::remove_all(dir); }
  std::string path(const std::string& name) const { return (dir / name).string(); }
};

std::vector<uint8_t> bytes_of(const std::string& path) {
  return read_file(path).value_or(std::vector<uint8_t>{});
}

// The first n bytes as a file, written plainly: the loops below write thousands.
void write_prefix(const std::string& path, const std::vector<uint8_t>& b, size_t n) {
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(n));
}

TEST(HistoryFile, SharedXIsStoredOnceAndComesBackUnderTheSlotRun) {
  HistoryStore s;
  const std::string p = s.path("amp.O03");
  ASSERT_EQ(history_save(s.graph, s.store, p, "Run#3 rev  1/1/25 10:00", "#3", s.notify), 3);
  const std::vector<uint8_t> b = bytes_of(p);

  // Parsed and written again: the same bytes.
  HistoryFile f;
  ASSERT_EQ(history_parse(b, f).status, HistoryRead::ok);
  EXPECT_EQ(history_bytes(f), b);
  ASSERT_EQ(f.traces.size(), 3u);
  EXPECT_TRUE(f.traces[0].x);
  EXPECT_FALSE(f.traces[1].x);  // V(2) shares V(1)'s TIME
  EXPECT_TRUE(f.traces[2].x);   // I(R1) has a TIME of its own
  EXPECT_EQ(f.traces[2].record.plot, 1);
  // Header, two counted texts, three values, the count, then per trace its
  // record and blocks of 128 + 3 counted texts + the values.
  const auto block = [](size_t name, size_t points) { return 128 + 4 + name + 1 + 4 + 4 + 8 * points; };
  const size_t head = 68 + 4 + 24 + 4 + 3 + 16;
  EXPECT_EQ(b.size(), head + 3 * kTraceRecordSize + block(4, 3) + block(4, 3) + block(4, 3) + block(4, 2) +
                          block(5, 2));

  s.notify.clear();
  ASSERT_EQ(history_load(s.store, p, s.notify), 3) << s.notify.last();
  const DataClass* c = s.store.data_class(DATA_CLASS_HISTORY);
  ASSERT_EQ(c->count, 5);
  EXPECT_EQ(c->run_count[ANALYSIS_TRAN], 3);
  for (const DataVector& v : c->vectors) EXPECT_EQ(v.run, 3) << v.name;
  const DataVector* v2 = s.store.find_vector("V(2)", DATA_CLASS_HISTORY, ANALYSIS_TRAN, -1, -1, 3);
  ASSERT_TRUE(v2 && v2->x);
  EXPECT_EQ(s.values(v2), (std::vector<double>{-1, 0, 1}));
  EXPECT_EQ(s.values(v2->x), (std::vector<double>{0, 1, 2}));
  const DataVector* i = s.store.find_vector("I(R1)", DATA_CLASS_HISTORY, ANALYSIS_TRAN, -1, -1, 3);
  ASSERT_TRUE(i && i->x);
  EXPECT_EQ(s.values(i->x), (std::vector<double>{0, 0.5}));

  const auto header = history_read_header(p);
  ASSERT_TRUE(header);
  EXPECT_EQ(header->description, "Run#3 rev  1/1/25 10:00");
  EXPECT_EQ(header->label, "#3");
  EXPECT_EQ(header->analysis, ANALYSIS_TRAN);
  EXPECT_EQ(header->plots, 2);
  EXPECT_EQ(header->traces, 3);
}

TEST(HistoryFile, HiddenTracesAndEmptyTextsAreLeftOut) {
  HistoryStore s;
  s.graph.traces[2]->options.display = DISPLAY_HIDE;
  const std::string p = s.path("amp.O01");
  ASSERT_EQ(history_save(s.graph, s.store, p, "", "", s.notify), 2);
  const std::vector<uint8_t> b = bytes_of(p);
  ByteReader r(b);
  int32_t description = -1, label = -1, analysis = -1;
  r.seek(68);
  r.i32(description);
  r.i32(label);
  r.i32(analysis);
  // A zero-length text is its length alone.
  EXPECT_EQ(description, 0);
  EXPECT_EQ(label, 0);
  EXPECT_EQ(analysis, ANALYSIS_TRAN);
}

TEST(HistoryFile, RefusesOtherFilesAndOldVersionsWithTheirNumber) {
  HistoryStore s;
  const std::string good = s.path("amp.O02");
  ASSERT_EQ(history_save(s.graph, s.store, good, "d", "#2", s.notify), 3);
  const std::vector<uint8_t> b = bytes_of(good);
  const auto load = [&](std::vector<uint8_t> bytes, const std::string& name) {
    const std::string p = s.path(name);
    EXPECT_TRUE(write_file_atomic(p, bytes));
    s.notify.clear();
    const int n = history_load(s.store, p, s.notify);
    return std::make_pair(n, s.notify.last());
  };
  std::vector<uint8_t> other = b;
  other[1] = 't';
  for (const char* name : {"amp.O04", "amp.txt"})
    EXPECT_EQ(load(other, name), std::make_pair(0, std::string(kHistoryNotCompatible)));
  std::vector<uint8_t> old = b;
  old[64] = 701 & 0xff;
  old[65] = 701 >> 8;
  EXPECT_EQ(load(old, "amp.O05"),
            std::make_pair(0, std::string("Saved trace history data format version 701 is not compatible")));
  old[64] = 702 & 0xff;
  EXPECT_EQ(load(old, "amp.O06").first, 3);
  EXPECT_EQ(s.store.data_class(DATA_CLASS_HISTORY)->count, 5);

  s.notify.clear();
  EXPECT_EQ(history_load(s.store, s.path("none.O07"), s.notify), 0);
  EXPECT_EQ(s.notify.last(), "Cannot open history data file:\n" + s.path("none.O07"));
  const std::string bad = s.path("no/folder/amp.O08");
  EXPECT_EQ(history_save(s.graph, s.store, bad, "d", "l", s.notify), -1);
  EXPECT_EQ(s.notify.last(), "Cannot create trace history data file:\n" + bad);
}

TEST(HistoryFile, DamagedAtEveryLengthRegistersNothing) {
  HistoryStore s;
  const std::string good = s.path("amp.O09");
  ASSERT_EQ(history_save(s.graph, s.store, good, "desc", "#9", s.notify), 3);
  const std::vector<uint8_t> b = bytes_of(good);
  const std::string cut = s.path("cut.O09");
  std::vector<int> codes;
  for (size_t n = 0; n < b.size(); ++n) {
    write_prefix(cut, b, n);
    s.notify.clear();
    ASSERT_EQ(history_load(s.store, cut, s.notify), 0) << n;
    EXPECT_EQ(s.store.data_class(DATA_CLASS_HISTORY)->count, 0) << n;
    const std::string m = s.notify.last();
    if (n < kPlotFileHeaderSize) {
      EXPECT_EQ(m, kHistoryNotCompatible) << n;
      continue;
    }
    int code = 0;
    char path[512] = {};
    ASSERT_EQ(std::sscanf(m.c_str(), "Error %d reading data from history file:\n%511s", &code, path), 2) << m;
    EXPECT_EQ(path, cut);
    if (codes.empty() || codes.back() != code) codes.push_back(code);
  }
  // Each part in turn: description, label, the three values, the count, then
  // the traces' records and blocks (the second trace shares its X).
  EXPECT_EQ(codes, (std::vector<int>{10, 11, 12, 13, 14, 20, 21, 22, 23, 21, 23, 21, 22, 23}));
}

TEST(HistoryFile, NamesDefaultsAndTheNextSlot) {
  EXPECT_EQ(history_file_name("/d/amp.OUT", 7), "/d/amp.O07");
  EXPECT_EQ(history_slot_of("/d/amp.O07"), 7);
  EXPECT_EQ(history_slot_of("/d/amp.o42"), 42);
  EXPECT_EQ(history_slot_of("/d/amp.OUT"), 0);
  EXPECT_EQ(history_default_description(3, "rev 2", "01/02/25", "10:11:12"),
            "Run#3 rev 2  01/02/25 10:11:12");
  EXPECT_EQ(history_default_label(12), "#12");

  using Files = std::vector<HistorySlotFile>;
  EXPECT_EQ(history_choose_slot({}, 5).slot, 1);
  // After the newest, not after the highest.
  auto c = history_choose_slot(Files{{1, 10}, {4, 30}, {2, 20}}, 5);
  EXPECT_EQ(c.slot, 5);
  EXPECT_TRUE(c.remove.empty());
  // Full: the oldest goes.
  c = history_choose_slot(Files{{1, 10}, {2, 20}, {3, 30}}, 3);
  EXPECT_EQ(c.slot, 4);
  EXPECT_EQ(c.remove, std::vector<int>{1});
  // A maximum lowered since: the oldest go until one short of it.
  c = history_choose_slot(Files{{7, 70}, {8, 80}, {9, 90}, {10, 100}}, 2);
  EXPECT_EQ(c.remove, (std::vector<int>{7, 8, 9}));
  EXPECT_EQ(c.slot, 11);
  // After 99 comes 1, and a slot still taken is passed over.
  c = history_choose_slot(Files{{1, 5}, {99, 10}}, 0);
  EXPECT_EQ(c.slot, 2);
  c = history_choose_slot(Files{{1, 50}, {99, 10}}, 2);
  EXPECT_EQ(c.remove, std::vector<int>{99});
  EXPECT_EQ(c.slot, 2);
}

}  // namespace
}  // namespace zephyrim
