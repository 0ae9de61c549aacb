// Plot format files: the bytes of the layout, a graph saved, loaded and saved
// again to the same bytes, the refusals, and damaged files that change nothing.
#include "viewer/plot/format_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "common/byte_io.h"
#include "common/file_io.h"
#include "common/text_format.h"
#include "viewer/calc/calc_fixture.h"
#include "viewer/plot/trace_selection.h"

namespace zephyrim {
namespace {

namespace fs = std::filesystem;

// Two transient runs of V(1) and V(2) over TIME, and an AC vector.
struct FormatStore : CalcStore {
  fs::path dir;
  FormatStore() {
    for (int run = 0; run < 2; ++run) {
      const DataVector* t = add("TIME", {0, 1, 2}, nullptr);
      add("V(1)", {0, 1.0 + run, 0}, t);
      add("V(2)", {1, 1, 1.0 + run}, t);
    }
    const DataVector* f = add("FREQ", {1, 10}, nullptr, ANALYSIS_AC);
    add("VM(OUT)", {1, 0.5}, f, ANALYSIS_AC);
    dir = fs::temp_directory_path() / ("zephyrim_format_" + std::to_string(getpid()));
    fs::create_directories(dir);
  }
  ~FormatStore() { fs::remove_all(dir); }
  std::string path(const std::string& name) const { return (dir / name).string(); }

  // A transient graph with every kind of setting away from its default.
  Graph graph() {
    Graph g;
    g.analysis = ANALYSIS_TRAN;
    g.cls = DATA_CLASS_BINARY;
    std::vector<TraceRequest> r{{.name = "V(1)", .run = 2}, {.name = "V(2)", .run = 1, .plot = 1}};
    r.push_back({.expression = "V(1)*2", .run = 1, .plot = 1});
    EXPECT_EQ(select_traces(g, store, r, notify), 3);
    g.traces[0]->options = {.colour = 4, .symbol = 2, .display = 1, .line_type = 3, .pen_width = 5};
    g.plots = 2;
    g.x_axis.low = 0;
    g.x_axis.high = 2;
    g.x_axis.limits_manual = 1;
    g.x_limits = {.manual = true, .min = 0, .max = 2, .spacing = 0.5, .ticks = 4};
    g.x_label = "Time";
    g.plot[1].y_label = "Volts";
    g.plot[1].log = true;
    g.plot[1].y_axis.log_scale = 1;
    g.header.file = "File: amp.OUT   rev 3";
    g.labels = {{"peak", 1.5, 2.0, 0}, {"", 0, 0, 1}};
    g.transparent_labels = true;
    g.options.grid = GRID_DOUBLE;
    g.options.info = INFO_SPICE_RUN;
    return g;
  }
};

std::vector<uint8_t> bytes_of(const std::string& path) {
  return read_file(path).value_or(std::vector<uint8_t>{});
}

// The first n bytes as a file, written plainly: the loops below write thousands.
void write_prefix(const std::string& path, const std::vector<uint8_t>& b, size_t n) {
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(n));
}

int32_t i32_at(const std::vector<uint8_t>& b, size_t at) {
  ByteReader r(b);
  int32_t v = 0;
  r.seek(at);
  r.i32(v);
  return v;
}

TEST(FormatFile, SavedLoadedAndSavedAgainGivesTheSameBytes) {
  FormatStore s;
  Graph g = s.graph();
  FormatTickStyles styles;
  styles.x = TickStyle{.code = TICK_FIXED, .digits = 2, .unit_mode = UnitMode::User, .unit_name = "s"};
  styles.y[1] = TickStyle{.code = TICK_POWER, .digits = 1, .unit_name = "", .scale_on_caption = true};
  const std::string a = s.path("amp.F01"), b = s.path("amp.F02");
  ASSERT_EQ(format_save(g, a, "my plots", "amp.OUT", s.notify, &styles), 1);

  Graph loaded;
  FormatTickStyles back;
  ASSERT_EQ(format_load(loaded, s.store, a, s.notify, &back), 1) << s.notify.last();
  ASSERT_EQ(format_save(loaded, b, "my plots", "amp.OUT", s.notify, &back), 1);
  EXPECT_EQ(bytes_of(a), bytes_of(b));

  // What the window shows comes back: traces with their runs, plots and
  // options, the settings, the labels and the axes' tick styles.
  ASSERT_EQ(loaded.traces.size(), 3u);
  EXPECT_EQ(loaded.traces[0]->y, g.traces[0]->y);
  EXPECT_EQ(loaded.traces[0]->options.colour, 4);
  EXPECT_EQ(loaded.traces[0]->options.pen_width, 5);
  EXPECT_EQ(loaded.traces[1]->plot, 1);
  EXPECT_EQ(loaded.traces[2]->y, g.traces[2]->y);  // the computed vector found again, not computed twice
  EXPECT_EQ(loaded.plots, 2);
  EXPECT_EQ(loaded.x_limits, g.x_limits);
  EXPECT_EQ(loaded.x_axis.limits_manual, 1);
  EXPECT_EQ(loaded.plot[1].y_label, "Volts");
  EXPECT_TRUE(loaded.plot[1].log);
  ASSERT_EQ(loaded.labels.size(), 2u);
  EXPECT_EQ(loaded.labels[0].text, "peak");
  EXPECT_EQ(loaded.labels[0].x, 1.5);
  EXPECT_TRUE(loaded.transparent_labels);
  EXPECT_EQ(loaded.options.grid, GRID_DOUBLE);
  EXPECT_EQ(loaded.options.info, INFO_SPICE_RUN);
  EXPECT_EQ(loaded.header.file, "File: amp.OUT   rev 3");
  ASSERT_TRUE(back.x && back.y[1]);
  EXPECT_EQ(back.x->unit_name, "s");
  EXPECT_EQ(back.x->unit_mode, UnitMode::User);
  EXPECT_TRUE(back.y[1]->scale_on_caption);
  EXPECT_FALSE(back.y[0]);
}

TEST(FormatFile, LayoutHasTheHeaderTagsAndRecordSizes) {
  FormatStore s;
  Graph g = s.graph();
  g.traces.resize(1);  // V(1) run 2 alone: its X block follows, no third
  g.labels.clear();
  const FormatFile f = format_of_graph(g, "d", "amp.OUT");
  const std::vector<uint8_t> b = format_bytes(f);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.data())), "*Tracery 7.16a Win32");
  EXPECT_EQ(i32_at(b, 64), 716);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.data() + 68)), "d");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.data() + 68 + 256)), "amp.OUT");
  const size_t counts = 68 + 256 + 128;
  EXPECT_EQ(i32_at(b, counts), DATA_CLASS_BINARY);
  EXPECT_EQ(i32_at(b, counts + 4), ANALYSIS_TRAN);
  EXPECT_EQ(i32_at(b, counts + 8), 1);
  EXPECT_EQ(i32_at(b, counts + 12), 0);  // no display-wide variables
  EXPECT_EQ(i32_at(b, counts + 16), 0);
  const size_t tag = counts + 20;
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.data() + tag)), "SELWFMS");
  const size_t record = tag + 16;
  EXPECT_EQ(i32_at(b, record + 12), 0);  // plot
  // The Y block: the 128-byte record, then its empty expression as the length alone.
  const size_t y = record + kTraceRecordSize;
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.data() + y)), "V(1)");
  EXPECT_EQ(i32_at(b, y + 80), 2);  // run
  EXPECT_EQ(i32_at(b, y + 128), 0);
  const size_t x = y + 132;
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.data() + x)), "TIME");
  // Name "V(1)" as 4, the text and its NUL; the expression as 0 alone.
  const size_t strings = x + 132;
  EXPECT_EQ(i32_at(b, strings), 4);
  EXPECT_EQ(std::memcmp(b.data() + strings + 4, "V(1)\0", 5), 0);
  EXPECT_EQ(i32_at(b, strings + 9), 0);
  const size_t graph_tag = strings + 13;
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.data() + graph_tag)), "GRAPH INFO");
  const size_t plots_tag = graph_tag + 16 + kGraphRecordSize;
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.data() + plots_tag)), "PLOTS INFO");
  EXPECT_EQ(b.size(), plots_tag + 16 + 2 * kPlotRecordSize + kWindowStateSize + kDisplayRecordSize);
  EXPECT_EQ(i32_at(b, b.size() - kDisplayRecordSize), GRID_DOUBLE);
}

TEST(FormatFile, RefusesFilesNotOursOlderOrOfAnotherAnalysis) {
  FormatStore s;
  const Graph g = s.graph();
  const std::string good = s.path("amp.F03");
  ASSERT_EQ(format_save(g, good, "d", "amp.OUT", s.notify), 1);
  std::vector<uint8_t> b = bytes_of(good);

  Graph target;
  target.x_label = "kept";
  const auto refused = [&](std::vector<uint8_t> bytes, const std::string& name, const std::string& message) {
    const std::string p = s.path(name);
    ASSERT_TRUE(write_file_atomic(p, bytes));
    s.notify.clear();
    EXPECT_EQ(format_load(target, s.store, p, s.notify), 0);
    EXPECT_EQ(s.notify.last(), message) << name;
    EXPECT_EQ(target.x_label, "kept");
    EXPECT_TRUE(target.traces.empty());
  };
  // Whatever the extension, a file not beginning with "*Tracery" is not one.
  std::vector<uint8_t> other = b;
  other[7] = 'Z';
  for (const char* name : {"amp.F04", "amp.FMT", "amp.txt"}) refused(other, name, kFormatNotCompatible);
  refused({'*', 'T', 'r'}, "short.F05", kFormatNotCompatible);
  std::vector<uint8_t> old = b;
  old[64] = 679 & 0xff;
  old[65] = 679 >> 8;
  refused(old, "old.F06", kFormatNotCompatible);

  target.analysis = ANALYSIS_AC;
  refused(b, "amp.F07", kFormatWrongAnalysis);
  target.analysis = -1;

  s.notify.clear();
  EXPECT_EQ(format_load(target, s.store, s.path("missing.F08"), s.notify), 0);
  EXPECT_EQ(s.notify.last(), "Cannot open plot format file:\n" + s.path("missing.F08"));

  // A format recalled where its data is not: the analysis missing, then the traces.
  CalcStore empty_store;
  s.notify.clear();
  EXPECT_EQ(format_load(target, empty_store.store, good, s.notify), 0);
  EXPECT_EQ(s.notify.last(), kFormatDataMissing);
  CalcStore other_data;
  const DataVector* t = other_data.add("TIME", {0, 1}, nullptr);
  other_data.add("V(9)", {0, 1}, t);
  s.notify.clear();
  EXPECT_EQ(format_load(target, other_data.store, good, s.notify), 0);
  EXPECT_EQ(s.notify.last(), kFormatCannotSelect);
  EXPECT_TRUE(target.traces.empty());

  s.notify.clear();
  EXPECT_EQ(format_save(g, s.path("no/such/folder/amp.F09"), "d", "", s.notify), 0);
  EXPECT_EQ(s.notify.last(), kFormatCannotSave);
}

TEST(FormatFile, DamagedAtEveryLengthChangesNothing) {
  FormatStore s;
  const Graph g = s.graph();
  const std::string good = s.path("amp.F10");
  ASSERT_EQ(format_save(g, good, "d", "amp.OUT", s.notify), 1);
  const std::vector<uint8_t> b = bytes_of(good);
  const std::string cut = s.path("cut.F11");
  int last_step = 0;
  for (size_t n = 0; n < b.size(); ++n) {
    FormatFile f;
    const FormatReadResult read = format_parse(std::span(b.data(), n), f);
    const bool header = n >= kPlotFileHeaderSize;
    ASSERT_EQ(read.status, header ? FormatRead::read_error : FormatRead::not_ours) << n;
    EXPECT_GE(read.step, last_step) << n;  // the step reached only goes forward with the length
    const bool new_step = read.step != last_step;
    last_step = read.step;
    // Through a file where a step begins and at every 50th length; the
    // thousands of lengths inside the big records read alike.
    if (!new_step && n % 50 != 0) continue;
    write_prefix(cut, b, n);
    Graph target;
    target.x_label = "kept";
    s.notify.clear();
    ASSERT_EQ(format_load(target, s.store, cut, s.notify), 0) << n;
    EXPECT_EQ(target.x_label, "kept");
    EXPECT_TRUE(target.traces.empty());
    EXPECT_EQ(s.notify.last(), header
                                   ? strprintf("Error number %d reading format file version 716", read.step)
                                   : std::string(kFormatNotCompatible))
        << n;
  }
  EXPECT_EQ(last_step, 13);
}

TEST(FormatFile, ExpressionTracesAreComputedAgainInNewData) {
  FormatStore s;
  Graph g = s.graph();
  const std::string p = s.path("amp.F12");
  ASSERT_EQ(format_save(g, p, "d", "amp.OUT", s.notify), 1);
  // New results: one run with other values, the computed vector gone.
  CalcStore fresh;
  const DataVector* t = fresh.add("TIME", {0, 1, 2}, nullptr);
  fresh.add("V(1)", {3, 3, 3}, t);
  fresh.add("V(2)", {1, 2, 3}, t);
  Graph loaded;
  ASSERT_EQ(format_load(loaded, fresh.store, p, fresh.notify), 1) << fresh.notify.last();
  // V(1) of run 2 is not there; V(2) and V(1)*2 of run 1 are.
  ASSERT_EQ(loaded.traces.size(), 2u);
  EXPECT_EQ(loaded.traces[0]->y->name, "V(2)");
  EXPECT_EQ(fresh.values(loaded.traces[1]->y), (std::vector<double>{6, 6, 6}));
  EXPECT_EQ(loaded.traces[1]->plot, 1);
}

TEST(FormatFile, SlotsNamesDescriptionsAndDeletion) {
  EXPECT_EQ(format_base_name("/d/amp.OUT"), "/d/amp.F");
  EXPECT_EQ(format_slot_file("amp.F", 7), "amp.F07");
  EXPECT_EQ(format_slot_file("amp.F", 99), "amp.F99");
  EXPECT_EQ(format_slot_file("amp.F", 0), "amp.F00");
  EXPECT_EQ(format_slot_file("amp.F", 100), "amp.F00");
  EXPECT_EQ(format_slot_file("amp.F", -3), "amp.F00");

  FormatStore s;
  Graph g = s.graph();
  EXPECT_EQ(format_default_description(g), "V(1);Volts vs TIME");
  g.x_variable = {"V(2)", false};
  g.plot[1].y_label.clear();
  EXPECT_EQ(format_default_description(g), "V(1);V(2),{V(1)*2} vs V(2)");

  const std::string base = s.path("amp.F");
  ASSERT_EQ(format_save(g, format_slot_file(base, 0), kFormatLastSession, "amp.OUT", s.notify), 1);
  ASSERT_EQ(format_save(g, format_slot_file(base, 5), "five", "amp.OUT", s.notify), 1);
  EXPECT_EQ(format_read_header(base, 0), std::optional<std::string>("Last session"));
  EXPECT_EQ(format_read_header(base, 5), std::optional<std::string>("five"));
  EXPECT_FALSE(format_read_header(base, 6));

  s.notify.answer(0);
  EXPECT_EQ(format_delete_all(base, s.notify), -1);
  EXPECT_EQ(s.notify.last(), kFormatDeleteAllQuestion);
  EXPECT_TRUE(file_exists(format_slot_file(base, 5)));
  EXPECT_EQ(format_delete(base, 5), 1);
  EXPECT_EQ(format_delete(base, 5), 0);
  s.notify.answer(1);
  EXPECT_EQ(format_delete_all(base, s.notify), 1);
  EXPECT_FALSE(file_exists(format_slot_file(base, 0)));
}

}  // namespace
}  // namespace zephyrim
