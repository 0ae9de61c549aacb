#include "netlist/map_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "common/file_io.h"
#include "schematic/schematic_file.h"
#include "schematic/test_symbols.h"
#include "symbols/symbol_record.h"

namespace zephyrim {
namespace {

const std::string kHeader = "ZEPHYRIM SCHEMATIC EDITOR 7.16a Win32  NETLIST CROSS REFERENCE MAP\n\n";
const std::string kHeading = " NODE  NAME         WIRES   PART PINS\n\n";

// The fixed columns of one node line, up to where the pin list starts.
std::string node_prefix(int index, const std::string& name, int wires) {
  std::string pad_index = std::to_string(index);
  pad_index.insert(0, 5 - pad_index.size(), ' ');
  std::string pad_name = name;
  if (pad_name.size() < 12) pad_name.append(12 - pad_name.size(), ' ');
  std::string pad_wires = std::to_string(wires);
  pad_wires.insert(0, 5 - pad_wires.size(), ' ');
  return pad_index + "  " + pad_name + " " + pad_wires + "   ";
}

struct Drawing {
  RecordingNotify notify;
  std::unique_ptr<Schematic> s = schematic_new("t.sch", 1767603600);
  Connectivity c;
  const SymbolRecord* res = nullptr;   // pins at (-32, 0) and (32, 0)
  const SymbolRecord* gnd = nullptr;   // pin at (0, 0)
  const SymbolRecord* rail = nullptr;  // pin at (0, 0)
  const SymbolRecord* io = nullptr;    // pin at (0, 0)

  const SymbolRecord* add_symbol(const char* name, int kind, std::vector<SymbolPin> pins) {
    return testing_support::add_test_symbol(*s, name, kind, {-32, -8, 32, 16}, std::move(pins));
  }
  Drawing() {
    res = add_symbol("R", kSymbolPart,
                     {SymbolPin{2, -32, 0, -16, -1, {}, {}}, SymbolPin{4, 32, 0, 16, -1, {}, {}}});
    gnd = add_symbol("GND", kSymbolGround, {SymbolPin{1, 0, 0, 8, -1, {}, {}}});
    rail = add_symbol("VCC", kSymbolPowerRail, {SymbolPin{3, 0, 0, -8, -1, {}, {}}});
    io = add_symbol("IO", kSymbolIoPin, {SymbolPin{2, 0, 0, 8, -1, {}, {}}});
  }
  PartRecord* part(const SymbolRecord* sym, int x, int y, const std::string& reference = "") {
    PartRecord* p = part_place(*s, sym, x, y);
    p->reference.assign(reference);
    return p;
  }
  // A resistor whose left pin sits on a ground symbol.
  PartRecord* grounded(int x, int y, const std::string& reference) {
    part(gnd, x - 32, y);
    return part(res, x, y, reference);
  }
  WireRecord* wire(int x1, int y1, int x2, int y2) { return wire_add(*s, x1, y1, x2, y2); }
  LabelRecord* label(const char* name, int x, int y, int width = 16) {
    LabelRecord* l = label_new(*s);
    l->name.assign(name);
    l->x = x;
    l->y = y;
    l->width = width;
    return l;
  }
  std::string map(int* result = nullptr) { return map_file_text(*s, c, notify, result); }
};

NodeTable named_table(std::vector<std::string> names) {
  NodeTable t;
  t.entries.resize(32);
  for (size_t i = 0; i < names.size(); ++i) t.entries[i].name.assign(names[i]);
  t.count = static_cast<int>(names.size());
  return t;
}

// --- node table layout ---

TEST(MapNodeTable, NodeLineGivesNameWiresAndPinsInPartOrder) {
  Drawing d;
  PartRecord* r1 = d.grounded(96, 96, "R1");
  PartRecord* c1 = d.part(d.res, 296, 96, "C1");
  d.part(d.gnd, 328, 96);
  d.wire(128, 96, 192, 96);
  d.wire(192, 96, 264, 96);
  d.wire(192, 96, 192, 160);
  d.label("OUT", 152, 96, 24);
  int result = 0;
  const std::string text = d.map(&result);
  EXPECT_EQ(result, 2);
  ASSERT_EQ(part_pin_node(*r1, 1), part_pin_node(*c1, 0));
  EXPECT_EQ(text, kHeader + kHeading +                              //
                      node_prefix(0, "0", 0) + "R1(1),C1(2)\n\n" +  //
                      node_prefix(1, "OUT", 3) + "R1(2),C1(1)\n\n" + "\n");
  // The one line of the OUT node, spelled out.
  EXPECT_NE(text.find("    1  OUT              3   R1(2),C1(1)\n"), std::string::npos);
}

TEST(MapNodeTable, LongPinListsContinueUnderThePinColumn) {
  Drawing d;
  for (int n = 1; n <= 12; ++n) d.part(d.res, 100 * n, 100, "R" + std::to_string(n))->pin_nodes[0].node = 1;
  const NodeTable t = named_table({"0", "BUS"});
  const std::string blanks(28, ' ');
  const std::string text = map_node_table(d.s->page(), *d.s->page().top(), t);
  // A line is cut only once it holds more than 45 characters, so it keeps its
  // trailing comma; the continuation's 28 blanks count towards its length.
  EXPECT_EQ(text, kHeading + node_prefix(0, "0", 0) + "\n" +                                             //
                      node_prefix(1, "BUS", 0) + "R1(1),R2(1),R3(1),R4(1),R5(1),R6(1),R7(1),R8(1),\n" +  //
                      blanks + "R9(1),R10(1),R11(1),\n" +                                                //
                      blanks + "R12(1)\n" + "\n" + "\n");
  EXPECT_EQ(node_prefix(1, "BUS", 0).size(), blanks.size());
}

TEST(MapNodeTable, ListLimitCountsCharactersBeforeAppending) {
  Drawing d;
  // Six entries of six characters and one of nine make 45, which is not yet
  // more than 45: the next entry still goes on the first line.
  for (int n = 1; n <= 6; ++n) d.part(d.res, 96 * n, 96, "R" + std::to_string(n))->pin_nodes[0].node = 1;
  d.part(d.res, 800, 96, "ABCDE")->pin_nodes[0].node = 1;
  d.part(d.res, 900, 96, "LAST")->pin_nodes[0].node = 1;
  d.part(d.res, 1000, 96, "WRAP")->pin_nodes[0].node = 1;
  const std::string text = map_node_table(d.s->page(), *d.s->page().top(), named_table({"0", "N"}));
  EXPECT_NE(text.find("R6(1),ABCDE(1),LAST(1),\n" + std::string(28, ' ') + "WRAP(1)\n"), std::string::npos);
}

TEST(MapNodeTable, AppendingGivesTheSameTextAfterWhatIsThere) {
  Drawing d;
  for (int n = 1; n <= 12; ++n)
    d.part(d.res, 100 * n, 100, "R" + std::to_string(n))->pin_nodes[0].node = n % 3;
  const NodeTable t = named_table({"0", "A_NAME_LONGER_THAN_TWELVE", "B"});
  std::string out = "earlier text\n";
  map_node_table_append(out, d.s->page(), *d.s->page().top(), t);
  EXPECT_EQ(out, "earlier text\n" + map_node_table(d.s->page(), *d.s->page().top(), t));
}

TEST(MapNodeTable, NodeZeroComesFirstEvenWithoutGround) {
  Drawing d;
  d.part(d.res, 100, 100, "R1")->pin_nodes = {{1, nullptr}, {2, nullptr}};
  const std::string text = map_node_table(d.s->page(), *d.s->page().top(), named_table({"0", "A", "B"}));
  EXPECT_EQ(text, kHeading + node_prefix(0, "0", 0) + "\n" + node_prefix(1, "A", 0) + "R1(1)\n\n" +
                      node_prefix(2, "B", 0) + "R1(2)\n\n" + "\n");
}

TEST(MapNodeTable, RailsIoPinsAndGroundsAreNotListed) {
  Drawing d;
  d.part(d.rail, 100, 100, "VCC")->pin_nodes[0].node = 1;
  d.part(d.io, 200, 100, "IN")->pin_nodes[0].node = 1;
  d.part(d.gnd, 300, 100, "G")->pin_nodes[0].node = 1;
  d.part(d.res, 400, 100, "R1")->pin_nodes[1].node = 1;
  const std::string text = map_node_table(d.s->page(), *d.s->page().top(), named_table({"0", "VCC"}));
  EXPECT_NE(text.find(node_prefix(1, "VCC", 0) + "R1(2)\n\n"), std::string::npos);
  EXPECT_EQ(text.find("IN("), std::string::npos);
  EXPECT_EQ(text.find("G("), std::string::npos);
  EXPECT_EQ(text.find("VCC("), std::string::npos);
}

TEST(MapNodeTable, LongNamesPushTheColumnsInsteadOfBeingCut) {
  Drawing d;
  d.part(d.res, 100, 100, "R1")->pin_nodes[0].node = 1;
  const std::string text =
      map_node_table(d.s->page(), *d.s->page().top(), named_table({"0", "A_VERY_LONG_NODE_NAME"}));
  EXPECT_NE(text.find("    1  A_VERY_LONG_NODE_NAME     0   R1(1)\n"), std::string::npos);
}

TEST(MapNodeTable, WiresAndPinsCountOnlyInTheirOwnScope) {
  Drawing d;
  Page& page = d.s->page();
  BlockRecord* top = page.top();
  d.part(d.res, 100, 100, "R1")->pin_nodes[0].node = 1;
  d.wire(0, 0, 40, 0)->node = 1;
  d.wire(0, 40, 40, 40)->node = 1;
  d.wire(0, 80, 40, 80)->node = 1;
  d.wire(0, 80, 0, 120)->node = 0;
  d.wire(0, 200, 40, 200)->owner = nullptr;  // made before any block: top circuit
  page.wires.back()->node = 1;

  BlockRecord* sub = block_new(*d.s);
  sub->name.assign("SUB");
  page.edit_block = sub;
  d.part(d.res, 100, 100, "RS")->pin_nodes[0].node = 1;
  d.wire(0, 0, 40, 0)->node = 1;

  const NodeTable t = named_table({"0", "X"});
  EXPECT_EQ(map_node_table(page, *top, t),
            kHeading + node_prefix(0, "0", 1) + "\n" + node_prefix(1, "X", 4) + "R1(1)\n\n" + "\n");
  EXPECT_EQ(map_node_table(page, *sub, t), "*** SUBKCT: SUB\n\n" + kHeading + node_prefix(0, "0", 0) + "\n" +
                                               node_prefix(1, "X", 1) + "RS(1)\n\n" + "\n");
}

// --- whole file, through the pass ---

TEST(MapFileText, SubcircuitBlocksFollowTheTopCircuit) {
  Drawing d;
  Page& page = d.s->page();
  d.grounded(96, 96, "R1");
  d.wire(128, 96, 192, 96);
  BlockRecord* sub = block_new(*d.s);
  sub->name.assign("SUB");
  page.edit_block = sub;
  // The same places as the top circuit: only ownership separates them.
  d.grounded(96, 96, "RS");
  d.wire(128, 96, 192, 96);
  d.wire(192, 96, 192, 160);
  int result = 0;
  EXPECT_EQ(d.map(&result), kHeader + kHeading + node_prefix(0, "0", 0) + "R1(1)\n\n" +
                                node_prefix(1, "1", 1) + "R1(2)\n\n" + "\n" +  //
                                "*** SUBKCT: SUB\n\n" + kHeading + node_prefix(0, "0", 0) + "RS(1)\n\n" +
                                node_prefix(1, "1", 2) + "RS(2)\n\n" + "\n");
  EXPECT_EQ(result, 2);
  EXPECT_TRUE(d.notify.entries().empty());
}

TEST(MapFileText, PassErrorsPrecedeTheirScopesTable) {
  Drawing d;
  d.grounded(96, 96, "R1");
  d.wire(128, 96, 192, 96);
  d.label("ZZ", 900, 900);
  int result = 0;
  const std::string text = d.map(&result);
  EXPECT_EQ(result, -1);
  EXPECT_EQ(text, kHeader + "ERROR: label ZZ not assigned to any wire or pin\n" + kHeading +
                      node_prefix(0, "0", 0) + "R1(1)\n\n" + node_prefix(1, "1", 1) + "R1(2)\n\n" + "\n");
  EXPECT_TRUE(d.notify.saw("1 bad pin/wire labels found - see MAP file"));
}

TEST(MapFileText, OpenPinWarningsAndLaterSheetNotices) {
  Drawing d;
  d.grounded(96, 96, "R1");
  d.wire(128, 96, 192, 96);
  ASSERT_EQ(page_add(*d.s, d.notify, 1767603600), 1);
  d.part(d.res, 96, 96, "R2");
  d.notify.clear();
  d.notify.answer(0);  // Cancel at the open-pin notice of sheet 2
  int result = 0;
  const std::string text = d.map(&result);
  EXPECT_EQ(result, -1);
  EXPECT_TRUE(d.notify.saw("Sheet 2: 2 open pins - see MAP file"));
  const size_t sheet = text.find(
      "SHEET 2:\n\nWARNING: pin R2(1) node name 10 open\n\n"
      "WARNING: pin R2(2) node name 11 open\n\n" +
      kHeading);
  ASSERT_NE(sheet, std::string::npos);
  EXPECT_NE(text.find(node_prefix(1, "10", 0) + "R2(1)\n\n", sheet), std::string::npos);
}

TEST(MapFileText, LaterSheetsNumberPastTheEarlierOnes) {
  Drawing d;
  d.grounded(96, 96, "R1");
  d.wire(128, 96, 192, 96);
  d.label("23", 152, 96);
  ASSERT_EQ(page_add(*d.s, d.notify, 1767603600), 1);
  d.grounded(96, 96, "R2");
  d.wire(128, 96, 192, 96);
  ASSERT_EQ(d.s->current_page(), 1);
  int result = 0;
  const std::string text = d.map(&result);
  EXPECT_EQ(result, 2);
  EXPECT_EQ(text, kHeader + kHeading + node_prefix(0, "0", 0) + "R1(1)\n\n" + node_prefix(1, "23", 1) +
                      "R1(2)\n\n" + "\n" +  //
                      "SHEET 2:\n\n" + kHeading + node_prefix(0, "0", 0) + "R2(1)\n\n" +
                      node_prefix(1, "30", 1) + "R2(2)\n\n" + "\n");
  EXPECT_EQ(d.s->current_page(), 1);
  page_select(*d.s, 0, d.notify);
  d.map();
  EXPECT_EQ(d.s->current_page(), 0);
}

TEST(MapFileText, EmptySheetsGiveOnlyTheirSheetLine) {
  Drawing d;
  int result = 7;
  EXPECT_EQ(d.map(&result), kHeader);
  EXPECT_EQ(result, 0);

  d.grounded(96, 96, "R1");
  d.wire(128, 96, 192, 96);
  ASSERT_EQ(page_add(*d.s, d.notify, 1767603600), 1);
  const std::string text = d.map(&result);
  EXPECT_EQ(result, 2);
  EXPECT_EQ(text.substr(text.size() - 10), "SHEET 2:\n\n");
}

TEST(MapFileText, CallersHooksAreKeptAndNotFed) {
  Drawing d;
  d.grounded(96, 96, "R1");
  d.label("ZZ", 900, 900);
  int lines = 0, tables = 0;
  d.c.map_text = [&](const std::string&) { ++lines; };
  d.c.write_table = [&](const BlockRecord&, const NodeTable&, int) { ++tables; };
  d.map();
  EXPECT_EQ(lines, 0);
  EXPECT_EQ(tables, 0);
  ASSERT_TRUE(d.c.map_text && d.c.write_table);
  d.c.map_text("x");
  EXPECT_EQ(lines, 1);
}

TEST(MapFileText, LowPassExample) {
  RecordingNotify notify;
  SchematicLoad load = schematic_load(ZEPHYRIM_SOURCE_DIR "/examples/rc_lowpass.sch", notify);
  ASSERT_TRUE(load.schematic);
  ASSERT_EQ(load.code, 0);
  Connectivity c;
  int result = 0;
  EXPECT_EQ(map_file_text(*load.schematic, c, notify, &result),
            kHeader + kHeading +                                 //
                "    0  0                2   V1(2),C1(2)\n\n" +  //
                "    1  in               2   V1(1),R1(1)\n\n" +  //
                "    2  out              2   R1(2),C1(1)\n\n" + "\n");
  EXPECT_EQ(result, 2);
  EXPECT_TRUE(notify.entries().empty());
}

TEST(MapFileText, TwoPageExampleWithSubcircuitOnSheetTwo) {
  RecordingNotify notify;
  SchematicLoad load = schematic_load(ZEPHYRIM_SOURCE_DIR "/examples/opamp_two_page.sch", notify);
  ASSERT_TRUE(load.schematic);
  Connectivity c;
  const std::string text = map_file_text(*load.schematic, c, notify);
  const size_t sheet = text.find("SHEET 2:\n\n");
  ASSERT_NE(sheet, std::string::npos);
  EXPECT_EQ(text.find("*** SUBKCT: "), sheet + 10);
  EXPECT_EQ(text.find("SHEET 3:"), std::string::npos);
  EXPECT_EQ(text.find("ERROR"), std::string::npos);
  EXPECT_EQ(text.find("WARNING"), std::string::npos);
}

// --- file ---

TEST(MapFileWrite, NameAndContents) {
  EXPECT_EQ(map_file_name("/some/dir/rc_lowpass.sch"), "/some/dir/rc_lowpass.MAP");
  EXPECT_EQ(map_file_name("/some/dir/rc_lowpass.CIR"), "/some/dir/rc_lowpass.MAP");

  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "zephyrim_map_file_test";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  Drawing d;
  d.grounded(96, 96, "R1");
  d.wire(128, 96, 192, 96);
  const std::string path = map_file_name((dir / "t.sch").string());
  int result = 0;
  ASSERT_TRUE(map_file_write(*d.s, d.c, path, d.notify, &result));
  EXPECT_EQ(result, 2);
  const auto written = read_text_file(path);
  ASSERT_TRUE(written);
  EXPECT_EQ(*written, d.map());
  EXPECT_EQ(written->find('\r'), std::string::npos);
  std::filesystem::remove_all(dir);
}

TEST(MapFileWrite, UnwritableFileIsReportedAfterThePass) {
  Drawing d;
  d.grounded(96, 96, "R1");
  d.label("ZZ", 900, 900);
  int result = 0;
  const std::string path = "/nonexistent-zephyrim-dir/t.MAP";
  EXPECT_FALSE(map_file_write(*d.s, d.c, path, d.notify, &result));
  EXPECT_EQ(result, -1);
  EXPECT_EQ(d.notify.last(), "Cannot open netlist map file " + path);
  EXPECT_TRUE(d.notify.saw("1 bad pin/wire labels found - see MAP file"));
}

}  // namespace
}  // namespace zephyrim
