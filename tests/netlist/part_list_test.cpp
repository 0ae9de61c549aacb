#include "netlist/part_list.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "common/file_io.h"
#include "schematic/schematic_file.h"
#include "schematic/test_symbols.h"
#include "symbols/symbol_record.h"

namespace zephyrim {
namespace {

namespace fs = std::filesystem;

struct Circuit {
  RecordingNotify notify;
  std::unique_ptr<Schematic> s = schematic_new("t.sch", 1767603600);
  Connectivity c;
  const SymbolRecord* res = nullptr;  // pins at (-32, 0) and (32, 0)
  const SymbolRecord* src = nullptr;  // a voltage source, pins the same
  const SymbolRecord* gnd = nullptr;  // pin at (0, 0)
  const SymbolRecord* rail = nullptr;

  Circuit() {
    const std::vector<SymbolPin> two{SymbolPin{2, -32, 0, -16, -1, {}, {}},
                                     SymbolPin{4, 32, 0, 16, -1, {}, {}}};
    res = testing_support::add_test_symbol(*s, "R", kSymbolPart, {-32, -8, 32, 16}, two);
    src = testing_support::add_test_symbol(*s, "VSOURCE", kSymbolPart, {-32, -8, 32, 16}, two);
    gnd = testing_support::add_test_symbol(*s, "GND", kSymbolGround, {-8, 0, 8, 8},
                                           {SymbolPin{1, 0, 0, 8, -1, {}, {}}});
    rail = testing_support::add_test_symbol(*s, "VCC", kSymbolPowerRail, {-8, -8, 8, 0},
                                            {SymbolPin{3, 0, 0, -8, -1, {}, {}}});
  }
  PartRecord* part(const SymbolRecord* sym, int x, int y, const std::string& reference) {
    PartRecord* p = part_place(*s, sym, x, y);
    p->reference.assign(reference);
    return p;
  }
  PartList list() { return part_list_text(*s, c, notify); }
};

// What lies between two markers of the text.
std::string between(const std::string& text, const std::string& from, const std::string& to) {
  const size_t a = text.find(from);
  if (a == std::string::npos) return {};
  const size_t b = text.find(to, a + from.size());
  return text.substr(a + from.size(), b == std::string::npos ? std::string::npos : b - a - from.size());
}

TEST(PartList, SourcesAreLeftOutButTheirNodesStay) {
  Circuit k;
  k.part(k.gnd, 0, 100, "");
  k.part(k.src, 32, 100, "V1");                  // left pin on ground, right pin at (64, 100)
  PartRecord* r = k.part(k.res, 96, 100, "R1");  // left pin meets the source's right pin
  r->value.assign("4.7K");
  r->params[0] = "TC=0.01";
  k.part(k.rail, 128, 100, "VCC");  // the resistor's right pin on the rail

  const PartList l = k.list();
  EXPECT_EQ(l.parts, 1);
  EXPECT_FALSE(l.net_failed);
  const std::string parts =
      between(l.text, "*PARTS (attrs: ref,symbol,value,par1,par2,par3,par4)\n\n", "\n*END PARTS\n");
  EXPECT_EQ(parts, "[\nR1\nR\n4.7K\nTC=0.01\n\n\n\n]\n");
  const std::string net = between(l.text, "\n*NET (node,part,pin#)\n\n", "\n*END NET\n");
  // Node 0 first; the source's pins nowhere, the node it shares with R1 with R1's pin only.
  EXPECT_TRUE(net.starts_with("(\n0\n)\n")) << net;
  EXPECT_EQ(net.find("V1"), std::string::npos) << net;
  EXPECT_NE(net.find("\nR1,1\n)\n"), std::string::npos) << net;
  EXPECT_NE(net.find("(\nVCC\nR1,2\n)\n"), std::string::npos) << net;
}

TEST(PartList, HeadingAndAPartWithoutParametersGivesFourEmptyLines) {
  Circuit k;
  k.s->page().title.title1.assign("Amplifier");
  k.s->page().title.revision.assign("Rev: 3");
  k.s->page().title.revised.assign("01-Jan-2027 10:00");
  k.part(k.res, 100, 100, "R7");
  const PartList l = k.list();
  EXPECT_TRUE(l.text.starts_with("Amplifier\n*Revision: Rev: 3\n*Date 01-Jan-2027 10:00\n\n*PARTS"))
      << l.text;
  EXPECT_NE(l.text.find("[\nR7\nR\n\n\n\n\n\n]\n"), std::string::npos) << l.text;
  EXPECT_TRUE(l.text.ends_with("\n*END NET\n"));
}

TEST(PartList, OnlySourcesMeansNoPartsAndTheMessageSaysSo) {
  Circuit k;
  k.part(k.src, 100, 100, "V1");
  const std::string dir =
      (fs::temp_directory_path() / ("part_list_test_" + std::to_string(getpid()))).string();
  fs::create_directories(dir);
  EXPECT_EQ(part_list_write(*k.s, dir + "/a.txt", k.notify), 0);
  EXPECT_EQ(k.notify.last(), "Circuit has no parts");
  // A folder that does not exist: the file's error, nothing else.
  k.notify.clear();
  EXPECT_EQ(part_list_write(*k.s, dir + "/none/a.txt", k.notify), -1);
  EXPECT_EQ(k.notify.last(), "Cannot open part list file " + dir + "/none/a.txt");
  fs::remove_all(dir);
}

// The amplifier example: every part but the input source and the rail, and
// every node of the netlist with the pins the netlist gives it.
TEST(PartList, AmplifierListsEveryPartAndEveryNodeWithItsPins) {
  RecordingNotify notify;
  SchematicLoad load = schematic_load(ZEPHYRIM_SOURCE_DIR "/examples/amplifier.sch", notify, true);
  ASSERT_TRUE(load.schematic);
  Connectivity c;
  const PartList l = part_list_text(*load.schematic, c, notify);
  EXPECT_EQ(l.parts, 6) << l.text;
  for (const char* ref : {"Q1", "RC", "RE", "R1", "R2", "CIN"})
    EXPECT_NE(l.text.find(std::string("[\n") + ref + "\n"), std::string::npos) << ref;
  EXPECT_EQ(l.text.find("[\nVIN\n"), std::string::npos);
  const std::string net = between(l.text, "\n*NET (node,part,pin#)\n\n", "\n*END NET\n");
  // As the netlist says: Q1 c b e, RC VCC c, RE e 0, R1 VCC b, R2 b 0, CIN in b.
  const auto node = [&](const std::string& name) { return between(net, "(\n" + name + "\n", ")\n"); };
  EXPECT_EQ(node("c"), "Q1,1\nRC,2\n");
  EXPECT_EQ(node("b"), "Q1,2\nR1,2\nR2,1\nCIN,2\n");
  EXPECT_EQ(node("e"), "Q1,3\nRE,1\n");
  EXPECT_EQ(node("in"), "CIN,1\n");
  EXPECT_EQ(node("VCC"), "RC,1\nR1,1\n");
  EXPECT_EQ(node("0"), "RE,2\nR2,2\n");
}

}  // namespace
}  // namespace zephyrim
