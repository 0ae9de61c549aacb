#include "netlist/bias_display.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "common/file_io.h"
#include "common/text_format.h"
#include "schematic/schematic_file.h"
#include "schematic/test_symbols.h"

namespace zephyrim {
namespace {

namespace fs = std::filesystem;
using testing_support::add_test_symbol;

struct Sheet {
  RecordingNotify notify;
  std::unique_ptr<Schematic> s = schematic_new("t.sch", 1767603600);
  Connectivity c;
  const SymbolRecord* res = nullptr;    // pins at (-32, 0) and (32, 0), lines to +-16
  const SymbolRecord* src = nullptr;    // pins at (0, -32) and (0, 32), lines to +-16
  const SymbolRecord* meter = nullptr;  // the same, a "VA" symbol
  const SymbolRecord* rail = nullptr;   // pin at (0, 0), line up to (0, -8)
  const SymbolRecord* gnd = nullptr;

  Sheet() {
    res = add_test_symbol(*s, "R", kSymbolPart, {-32, -8, 32, 16}, testing_support::two_pins_across());
    const std::vector<SymbolPin> vertical = {SymbolPin{1, 0, -32, -16, -1, {}, {}},
                                             SymbolPin{3, 0, 32, 16, -1, {}, {}}};
    src = add_test_symbol(*s, "V", kSymbolPart, {-16, -32, 20, 32}, vertical);
    meter = add_test_symbol(*s, "VAMETER", kSymbolPart, {-16, -32, 20, 32}, vertical);
    rail = add_test_symbol(*s, "V+", kSymbolPowerRail, {-10, -48, 10, 0}, testing_support::one_pin(3, -8), 0);
    gnd = add_test_symbol(*s, "GND", kSymbolGround, {-12, 0, 12, 16}, testing_support::one_pin(1, 8), 0);
  }
  PartRecord* part(const SymbolRecord* sym, int x, int y, const char* reference) {
    PartRecord* p = part_place(*s, sym, x, y);
    p->reference.assign(reference);
    return p;
  }
  WireRecord* wire(int x1, int y1, int x2, int y2) { return wire_add(*s, x1, y1, x2, y2); }
  void label(const char* name, int x, int y) {
    LabelRecord* l = label_new(*s);
    l->name.assign(name);
    l->x = x;
    l->y = y;
    l->width = 8 * static_cast<int>(std::string(name).size());
  }
  const NodeTable& run() {
    c.force_rebuild = true;
    EXPECT_GE(build_connectivity(*s, c, kConnectivityEdit, notify), 1);
    return *c.table(s->page().top());
  }
  std::string name_of(int node) { return node_name(*c.table(s->page().top()), node); }
  std::vector<BiasLabel> labels(const BiasData& data) { return bias_labels(*s, s->page(), run(), data); }
};

const BiasLabel* find(const std::vector<BiasLabel>& labels, const std::string& name, bool current) {
  for (const BiasLabel& l : labels)
    if (l.name == name && l.current == current) return &l;
  return nullptr;
}

void expect_apart(const std::vector<BiasLabel>& labels) {
  for (size_t i = 0; i < labels.size(); ++i)
    for (size_t j = i + 1; j < labels.size(); ++j)
      EXPECT_FALSE(bias_label_box(labels[i]).overlaps(bias_label_box(labels[j])))
          << labels[i].name << " " << labels[i].text << " covers " << labels[j].name << " " << labels[j].text;
}

TEST(BiasLabels, NodeTextBesideTheLongestWire) {
  Sheet t;
  t.part(t.res, 104, 104, "R1");
  t.wire(136, 104, 200, 104);  // the longest: text above, from its left end
  t.wire(200, 104, 200, 120);
  t.label("out", 160, 102);
  t.part(t.res, 304, 200, "R2");
  WireRecord* down = t.wire(336, 200, 336, 264);
  t.part(t.res, 504, 504, "R3");
  PartRecord* r4 = t.part(t.res, 568, 504, "R4");  // pin on pin, no wire
  t.run();
  const std::string vertical = t.name_of(down->node), pins = t.name_of(part_pin_node(*r4, 0));
  ASSERT_FALSE(vertical.empty());
  ASSERT_FALSE(pins.empty());

  BiasData data;
  data.nodes = {{"out", 0.0123f}, {vertical, -1.5f}, {pins, 2e6f}, {"nowhere", 1}};
  const std::vector<BiasLabel> labels = t.labels(data);
  ASSERT_EQ(labels.size(), 3u);
  const BiasLabel& out = labels[0];
  EXPECT_EQ(out.text, "12.3mV");
  EXPECT_EQ(out.name, "out");
  EXPECT_FALSE(out.current);
  EXPECT_EQ(out.value, 0.0123f);
  EXPECT_EQ(out.x, 139);
  EXPECT_EQ(out.y, 101);
  EXPECT_EQ(out.h_align, 0);
  EXPECT_EQ(out.v_align, 2);
  // A vertical wire: right of it, centred on its upper end.
  const BiasLabel& v = labels[1];
  EXPECT_EQ(v.text, "-1.5V");
  EXPECT_EQ(v.x, 339);
  EXPECT_EQ(v.y, 200);
  EXPECT_EQ(v.h_align, 0);
  EXPECT_EQ(v.v_align, 1);
  // Pins joined tip to tip: above and right of the tip.
  const BiasLabel& p = labels[2];
  EXPECT_EQ(p.text, "2MEGV");
  EXPECT_EQ(p.x, 539);
  EXPECT_EQ(p.y, 501);
  EXPECT_EQ(p.v_align, 2);
}

TEST(BiasLabels, NamesMatchWithoutCaseAndLabelsWinOverNumbers) {
  Sheet t;
  t.part(t.res, 104, 104, "R1");
  t.wire(136, 104, 200, 104);
  t.label("Out", 160, 102);
  BiasData data;
  data.nodes = {{"OUT", 1}};
  std::vector<BiasLabel> labels = t.labels(data);
  ASSERT_EQ(labels.size(), 1u);
  EXPECT_EQ(labels[0].name, "OUT");  // as the file has it
  EXPECT_EQ(labels[0].x, 139);

  // Two nodes of one name: the labelled one takes the text, wherever it is
  // in the table. The table is made by hand: a pass never numbers a node
  // with a name that a label already took.
  Sheet u;
  NodeTable table;
  table.entries.resize(4);
  table.count = 4;
  table.entries[0].name.assign("0");
  for (int i : {1, 2, 3}) table.entries[i].name.assign("7");
  table.entries[1].auto_name = 1;
  table.entries[2].auto_name = 0;
  table.entries[3].auto_name = 1;
  const Page& page = u.s->page();
  for (int i : {1, 2, 3}) u.wire(0, 100 * i, 50, 100 * i)->node = i;
  data.nodes = {{"7", 1}};
  labels = bias_labels(*u.s, page, table, data);
  ASSERT_EQ(labels.size(), 1u);
  EXPECT_EQ(labels[0].y, 197);
  table.entries[2].auto_name = 1;  // only numbers: the first
  labels = bias_labels(*u.s, page, table, data);
  ASSERT_EQ(labels.size(), 1u);
  EXPECT_EQ(labels[0].y, 97);
}

TEST(BiasLabels, SourceCurrentsBesideTheFirstPin) {
  Sheet t;
  PartRecord* v1 = t.part(t.src, 200, 200, "V1");
  t.part(t.gnd, 200, 232, "");
  t.wire(200, 168, 200, 120);
  BiasData data;
  data.devices = {{"V1", -1.5e-3f}};
  auto one = [&]() {
    std::vector<BiasLabel> labels = t.labels(data);
    EXPECT_EQ(labels.size(), 1u);
    return labels.empty() ? BiasLabel{} : labels[0];
  };
  // Pin 0 points up: left of its line, level with its middle.
  BiasLabel l = one();
  EXPECT_EQ(l.text, "-1.5mA");
  EXPECT_TRUE(l.current);
  EXPECT_EQ(l.name, "V1");
  EXPECT_EQ(l.x, 196);
  EXPECT_EQ(l.y, 176);
  EXPECT_EQ(l.h_align, 2);
  EXPECT_EQ(l.v_align, 1);
  // Mirrored, the side changes with the part.
  ASSERT_EQ(part_orient(*t.s, *v1, kStepMirror, t.notify), 1);
  l = one();
  EXPECT_EQ(l.x, 204);
  EXPECT_EQ(l.y, 176);
  EXPECT_EQ(l.h_align, 0);
  // Turned a quarter: the pin points left, the text goes below it.
  v1->step_count = 0;
  ASSERT_EQ(part_orient(*t.s, *v1, kStepRotate, t.notify), 1);
  l = one();
  EXPECT_EQ(l.x, 176);
  EXPECT_EQ(l.y, 204);
  EXPECT_EQ(l.h_align, 1);
  EXPECT_EQ(l.v_align, 0);
  // Turned twice, then flipped: the pin points up again, the side is the mirrored one.
  ASSERT_EQ(part_orient(*t.s, *v1, kStepRotate, t.notify), 1);
  ASSERT_EQ(part_orient(*t.s, *v1, kStepFlip, t.notify), 1);
  l = one();
  EXPECT_EQ(l.x, 204);
  EXPECT_EQ(l.y, 176);
  EXPECT_EQ(l.h_align, 0);

  // A meter's text stands further off.
  Sheet m;
  m.part(m.meter, 200, 200, "VAM1");
  m.part(m.gnd, 200, 232, "");
  data.devices = {{"VAM1", 1}};
  std::vector<BiasLabel> labels = m.labels(data);
  ASSERT_EQ(labels.size(), 1u);
  EXPECT_EQ(labels[0].x, 184);
  EXPECT_EQ(labels[0].text, "1A");
}

TEST(BiasLabels, OnlySourcesAndRailsShowCurrents) {
  Sheet t;
  t.part(t.res, 104, 104, "R1");
  t.part(t.res, 104, 200, "V9");  // a resistor with a source's name
  t.part(t.src, 304, 200, "IN");  // its statement is VIN
  t.part(t.gnd, 304, 232, "");
  BiasData data;
  data.devices = {{"R1", 1e-3f}, {"V9", 1}, {"Q1", 2}, {"vin", 3}, {"VNONE", 4}, {"E1", 5}};
  const std::vector<BiasLabel> labels = t.labels(data);
  ASSERT_EQ(labels.size(), 1u);
  EXPECT_EQ(labels[0].name, "vin");
  EXPECT_EQ(labels[0].x, 300);
}

TEST(BiasLabels, RailsShowTheirCurrentNotTheirNode) {
  Sheet t;
  t.part(t.res, 104, 104, "R1");
  t.part(t.rail, 72, 104, "VCC");
  t.part(t.rail, 400, 104, "+5V");
  t.part(t.res, 432, 104, "R2");
  t.wire(136, 104, 200, 104);
  t.label("x", 160, 102);
  BiasData data;
  data.nodes = {{"vcc", 12}, {"+5V", 5}, {"X", 1}};
  data.devices = {{"VCC", -1e-3f}, {"V+5V", -2e-3f}};
  const std::vector<BiasLabel> labels = t.labels(data);
  ASSERT_EQ(labels.size(), 3u);
  EXPECT_EQ(labels[0].name, "X");
  EXPECT_FALSE(labels[0].current);
  // The rail's pin points down out of it: the text goes right of the pin line.
  EXPECT_EQ(labels[1].name, "VCC");
  EXPECT_TRUE(labels[1].current);
  EXPECT_EQ(labels[1].x, 76);
  EXPECT_EQ(labels[1].y, 100);
  EXPECT_EQ(labels[1].h_align, 0);
  EXPECT_EQ(labels[2].name, "V+5V");
  EXPECT_EQ(labels[2].x, 404);
  EXPECT_EQ(labels[2].text, "-2mA");
}

TEST(BiasLabels, OverlappingLabelsMoveAway) {
  Sheet t;
  t.part(t.res, 600, 600, "R1");
  WireRecord* a = t.wire(0, 400, 100, 400);
  WireRecord* b = t.wire(0, 408, 100, 408);  // its text on a's
  WireRecord* d = t.wire(204, 504, 260, 504);
  WireRecord* c = t.wire(200, 500, 200, 560);  // its text on d's
  t.run();
  BiasData data;
  data.nodes = {
      {t.name_of(a->node), 1}, {t.name_of(b->node), 2}, {t.name_of(d->node), 3}, {t.name_of(c->node), 4}};
  const std::vector<BiasLabel> labels = t.labels(data);
  ASSERT_EQ(labels.size(), 4u);
  EXPECT_EQ(labels[0].y, 397);
  // Up, away from its wire, past the one above a.
  EXPECT_EQ(labels[1].y, 405 - 2 * kBiasLineHeight);
  EXPECT_EQ(labels[1].x, 3);
  EXPECT_EQ(labels[2].y, 501);
  // Down along its wire.
  EXPECT_EQ(labels[3].y, 500 + kBiasLineHeight);
  EXPECT_EQ(labels[3].x, 203);
  expect_apart(labels);
}

TEST(BiasLabels, TextsAreShortAndTheBoxFollowsTheAlignment) {
  Sheet t;
  t.part(t.res, 104, 104, "R1");
  t.wire(136, 104, 200, 104);
  t.label("n", 160, 102);
  BiasData data;
  data.nodes = {{"n", -3.4e38f}};
  std::vector<BiasLabel> labels = t.labels(data);
  ASSERT_EQ(labels.size(), 1u);
  EXPECT_LE(labels[0].text.size(), kBiasMaxText);
  EXPECT_EQ(labels[0].text.back(), 'V');

  BiasLabel l;
  l.text = "12.3mV";  // 36 units wide
  l.x = 100;
  l.y = 50;
  BiasBox b = bias_label_box(l);
  EXPECT_EQ(b.x1, 100);
  EXPECT_EQ(b.x2, 136);
  EXPECT_EQ(b.y1, 50);
  EXPECT_EQ(b.y2, 59);
  l.h_align = 2;
  l.v_align = 2;
  b = bias_label_box(l);
  EXPECT_EQ(b.x1, 64);
  EXPECT_EQ(b.y2, 50);
  l.h_align = 1;
  l.v_align = 1;
  b = bias_label_box(l);
  EXPECT_EQ(b.x1, 82);
  EXPECT_EQ(b.y1, 46);
}

// --- the display of a real schematic ---

struct Scratch {
  fs::path dir;
  explicit Scratch(const std::string& name)
      : dir(fs::temp_directory_path() / ("bias_display_test_" + name + "_" + std::to_string(getpid()))) {
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  ~Scratch() { fs::remove_all(dir); }
};

bool near_wire_of(const Page& page, const BiasLabel& l, int node) {
  for (const auto& w : page.wires) {
    if (w->node != node) continue;
    const int x = std::clamp(l.x, std::min(w->x1, w->x2), std::max(w->x1, w->x2));
    const int y = std::clamp(l.y, std::min(w->y1, w->y2), std::max(w->y1, w->y2));
    if (std::abs(l.x - x) <= 3 && std::abs(l.y - y) <= 3) return true;
  }
  return false;
}

TEST(BiasDisplay, AmplifierExample) {
  const Scratch scratch("AmplifierExample");
  RecordingNotify notify;
  SchematicLoad load = schematic_load(ZEPHYRIM_SOURCE_DIR "/examples/amplifier.sch", notify);
  ASSERT_TRUE(load.schematic);
  Schematic& s = *load.schematic;
  // Names as the engine writes them: nodes as the simulator gives them,
  // devices upper-cased; the resistor's and transistor's currents are not shown.
  const std::string path = bias_file_path((scratch.dir / "amplifier.CIR").string());
  ASSERT_TRUE(write_file_atomic(
      path, bias_file_bytes("Common-emitter amplifier", "Jan 05 09:00:00",
                            {{"B", 1.93f}, {"C", 5.77f}, {"E", 1.2f}, {"IN", 0}, {"VCC", 12}},
                            {{"VCC", -1.5e-3f}, {"VIN", 0}, {"RC", 1.3e-3f}, {"Q1", 1e-5f}})));
  BiasDisplay d;
  ASSERT_EQ(bias_display_build(d, s, path, notify), 1);
  EXPECT_TRUE(d.shown());
  EXPECT_TRUE(notify.entries().empty()) << notify.last();
  EXPECT_EQ(d.data.nodes.size(), 5u);
  ASSERT_EQ(d.labels.size(), 6u);

  // Every node of the netlist but the rail's has its voltage on one of its wires.
  Connectivity c;
  c.force_rebuild = true;
  ASSERT_EQ(build_connectivity(s, c, kConnectivityEdit, notify), 2);
  const NodeTable& top = *c.table(s.page().top());
  int shown = 0;
  for (int i = 1; i < top.count; ++i) {
    const std::string name = node_name(top, i);
    if (iequals(name, "VCC")) continue;
    const BiasLabel* l = find(d.labels, ascii_upper(name), false);
    ASSERT_TRUE(l) << name;
    EXPECT_TRUE(near_wire_of(s.page(), *l, i)) << name << " at " << l->x << "," << l->y;
    ++shown;
  }
  EXPECT_EQ(shown, 4);
  EXPECT_EQ(find(d.labels, "C", false)->text, "5.77V");
  EXPECT_FALSE(find(d.labels, "VCC", false));
  const BiasLabel* supply = find(d.labels, "VCC", true);
  ASSERT_TRUE(supply);
  EXPECT_EQ(supply->text, "-1.5mA");
  ASSERT_TRUE(find(d.labels, "VIN", true));
  EXPECT_EQ(find(d.labels, "VIN", true)->text, "0A");
  EXPECT_FALSE(find(d.labels, "RC", true));
  expect_apart(d.labels);

  bias_display_clear(d);
  EXPECT_TRUE(d.labels.empty());
  EXPECT_FALSE(d.shown());
}

TEST(BiasDisplay, WarningOnceThenSilentAndErrorsNameTheFile) {
  const Scratch scratch("WarningOnceThenSilent");
  RecordingNotify notify;
  SchematicLoad load = schematic_load(ZEPHYRIM_SOURCE_DIR "/examples/amplifier.sch", notify);
  ASSERT_TRUE(load.schematic);
  Schematic& s = *load.schematic;
  const std::string path = bias_file_path((scratch.dir / "amplifier.CIR").string());
  BiasDisplay d;
  EXPECT_EQ(bias_display_build(d, s, path, notify), 0);
  ASSERT_EQ(notify.entries().size(), 1u);
  EXPECT_EQ(notify.entries()[0].kind, NoticeKind::Warning);
  EXPECT_EQ(notify.last(), "Circuit OP bias data not available\nRun .OP, .TRAN or .AC simulation first");
  EXPECT_TRUE(d.warned);
  EXPECT_FALSE(d.shown());
  EXPECT_EQ(bias_display_build(d, s, path, notify), 0);
  EXPECT_EQ(bias_display_build(d, s, path, notify), 0);
  EXPECT_EQ(notify.entries().size(), 1u);

  // Data at last: shown; gone again, the warning comes back once.
  ASSERT_TRUE(write_file_atomic(path, bias_file_bytes("t", "d", {{"C", 5}}, {})));
  EXPECT_EQ(bias_display_build(d, s, path, notify), 1);
  EXPECT_FALSE(d.warned);
  EXPECT_EQ(d.labels.size(), 1u);
  EXPECT_EQ(notify.entries().size(), 1u);
  fs::remove(path);
  EXPECT_EQ(bias_display_build(d, s, path, notify), 0);
  EXPECT_TRUE(d.labels.empty());
  EXPECT_EQ(notify.entries().size(), 2u);
  EXPECT_EQ(bias_display_build(d, s, path, notify), 0);
  EXPECT_EQ(notify.entries().size(), 2u);
  // A new run forgets that it warned.
  bias_display_clear(d);
  EXPECT_EQ(bias_display_build(d, s, path, notify), 0);
  EXPECT_EQ(notify.entries().size(), 3u);

  // A bias file of 32-byte names is not one of ours: the error names it and
  // the tables of the earlier read go.
  ASSERT_TRUE(write_file_atomic(path, bias_file_bytes("t", "d", {{"C", 5}}, {})));
  EXPECT_EQ(bias_display_build(d, s, path, notify), 1);
  std::vector<uint8_t> b = bias_file_bytes("t", "d", {{"C", 5}}, {});
  b[116] = 32;
  ASSERT_TRUE(write_file_atomic(path, b));
  EXPECT_EQ(bias_display_build(d, s, path, notify), -1);
  EXPECT_EQ(notify.entries().back().kind, NoticeKind::Error);
  EXPECT_EQ(notify.last(), "Error reading bias data file " + path);
  EXPECT_TRUE(d.data.nodes.empty());
  EXPECT_TRUE(d.labels.empty());
  EXPECT_FALSE(d.shown());
  // Errors are not held back like the warning.
  EXPECT_EQ(bias_display_build(d, s, path, notify), -1);
  EXPECT_EQ(notify.entries().size(), 5u);
}

}  // namespace
}  // namespace zephyrim
