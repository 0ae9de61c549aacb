#include "netlist/netlist_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "common/file_io.h"
#include "schematic/test_symbols.h"

namespace zephyrim {
namespace {

namespace fs = std::filesystem;
using testing_support::add_test_symbol;

// A schematic in a folder of its own, with resistors (pins at x -32 and +32),
// rails, I/O pins and grounds (one pin at the origin).
struct Circuit {
  RecordingNotify notify;
  std::unique_ptr<Schematic> s = schematic_new("t.sch", 1767603600);
  fs::path dir;
  NetlistOptions options;
  const SymbolRecord* res =
      add_test_symbol(*s, "RES", kSymbolPart, {-32, -8, 32, 8}, testing_support::two_pins_across());
  const SymbolRecord* rail =
      add_test_symbol(*s, "RAIL", kSymbolPowerRail, {-8, -8, 8, 0}, testing_support::one_pin(3, -8));
  const SymbolRecord* io =
      add_test_symbol(*s, "IO", kSymbolIoPin, {-8, -8, 8, 0}, testing_support::one_pin(2, 8));
  const SymbolRecord* gnd =
      add_test_symbol(*s, "GND", kSymbolGround, {-8, 0, 8, 16}, testing_support::one_pin(1, 8));

  explicit Circuit(const std::string& name = "t") {
    dir = fs::path(testing::TempDir()) / ("netlist_" + name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    s->path = (dir / "t.sch").string();
    options.files = netlist_files(s->path);
    notify.set_default_answer(1);
  }
  PartRecord* part(const SymbolRecord* sym, const char* ref, const char* value, int x, int y,
                   BlockRecord* owner = nullptr) {
    PartRecord* p = part_place(*s, sym, x, y);
    p->reference.assign(ref);
    p->value.assign(value);
    if (owner) p->owner = owner;
    return p;
  }
  // A resistor from node a's point to node b's point along y.
  PartRecord* resistor(const char* ref, int x, int y, BlockRecord* owner = nullptr) {
    return part(res, ref, "1k", x + 32, y, owner);
  }
  BlockRecord* block(const char* name) {
    auto b = std::make_unique<BlockRecord>();
    b->name.assign(name);
    b->index = static_cast<int>(s->page().blocks.size());
    BlockRecord* raw = b.get();
    s->page().blocks.push_back(std::move(b));
    return raw;
  }
  int compile() { return compile_netlist(*s, options, notify); }
  std::string file(const std::string& name) {
    return read_text_file((dir / name).string()).value_or("<none>");
  }
  std::string netlist() { return read_text_file(options.files.netlist).value_or("<none>"); }
};

TEST(NetlistWriter, LayoutOfARunNetlist) {
  Circuit c("layout");
  Page& page = c.s->page();
  page.title.title1.assign("Divider");
  page.title.title2.assign("two resistors");
  page.title.revision.assign("B");
  c.resistor("1", 0, 100);            // reference "1": the letter goes in front
  c.part(c.rail, "+5", "5", 0, 100);  // rails name their nodes
  c.resistor("R2", 64, 100);
  c.part(c.gnd, "G", "", 128, 100);
  c.part(c.rail, "VCC", "5", 400, 300);
  TextRecord* t = text_new(*c.s);
  t->text = ".MODEL DX D";
  TextRecord* ignored = text_new(*c.s);
  ignored->text = "a note";
  ASSERT_TRUE(write_file_atomic(c.options.files.netlist, "old"));
  SimulationSetup setup;
  setup.tran = 1, setup.tran_step = 1e-6, setup.tran_stop = 1e-3, setup.save = 1;
  c.options.setup = &setup;
  ASSERT_EQ(c.compile(), 1);
  EXPECT_EQ(c.netlist(),
            "Divider\n"
            "* two resistors\n"
            "\n#REVISION: B\n"
            ".MODEL DX D\n"
            "R1 +5 6  1k  \n"  // "+5" raised the automatic numbers past 5
            "R2 6 0  1k  \n"
            "\n* Power rail voltage sources\n"
            "V+5 +5 0 5\n"
            "VCC VCC 0 5\n"
            "\n.INC t.CMD\n"
            "\n.END\n");
  EXPECT_EQ(c.file("t.BAK"), "old");
  EXPECT_NE(c.file("t.CMD").find(".TRAN 1E-06 0.001\n.PROBE\n"), std::string::npos);
  EXPECT_NE(c.file("t.MAP").find("6                0   1(2),R2(1)"), std::string::npos);
  EXPECT_TRUE(c.notify.texts().empty()) << c.notify.texts().front();
}

TEST(NetlistWriter, EachRunKeepsThePreviousNetlistAsTheBackup) {
  Circuit c("backup");
  c.resistor("R1", 0, 100);
  ASSERT_TRUE(write_file_atomic(c.options.files.backup, "older"));
  ASSERT_TRUE(write_file_atomic(c.options.files.netlist, "old"));
  ASSERT_EQ(c.compile(), 1);
  EXPECT_EQ(c.file("t.BAK"), "old");
  const std::string first = c.netlist();
  c.resistor("R2", 0, 300);
  ASSERT_EQ(c.compile(), 1);
  EXPECT_EQ(c.file("t.BAK"), first);
  EXPECT_NE(c.netlist(), first);
  // The backup is a file of its own: even a change made inside the netlist's
  // file does not reach it.
  std::ofstream(c.options.files.netlist, std::ios::trunc) << "edited";
  EXPECT_EQ(c.netlist(), "edited");
  EXPECT_EQ(c.file("t.BAK"), first);
  for (const auto& e : fs::directory_iterator(c.dir)) EXPECT_NE(e.path().filename().string()[0], '.');
}

TEST(NetlistWriter, RailsOfOneNameMustAgreeAcrossSheets) {
  Circuit c("rails");
  c.resistor("R1", 0, 100);
  c.part(c.rail, "VDD", "5", 0, 100);
  ASSERT_EQ(page_add(*c.s, c.notify, 1767603600), 1);
  c.resistor("R2", 0, 100);
  c.part(c.rail, "vdd", "3.3", 0, 100);
  EXPECT_EQ(c.compile(), -1);
  EXPECT_EQ(c.notify.texts().back(), "Multiple voltage values not allowed for power rail vdd");
  EXPECT_FALSE(fs::exists(c.options.files.netlist));
}

TEST(NetlistWriter, LibraryLinksInTheirForms) {
  Circuit c("links");
  c.resistor("R1", 0, 100);
  auto link = [&](int kind, const char* text) {
    auto l = std::make_unique<LibraryLink>();
    l->kind = kind;
    l->texts[0] = text;
    c.s->links.push_back(std::move(l));
  };
  link(kLinkMdb, "QN2222");
  link(kLinkInc, "my models.inc");
  link(kLinkInc, "models.inc");
  link(kLinkLib, "bipolar.lib");
  link(kLinkLib, "my lib.lib");
  link(kLinkLib, "models.lib TT");
  link(kLinkLib, "'quoted name.lib'");
  ASSERT_EQ(c.compile(), 1);
  const std::string n = c.netlist();
  EXPECT_NE(n.find("* Project library/model file links:\n"
                   ".INC/MDB QN2222\n"
                   ".INC \"my models.inc\"\n"
                   ".INC models.inc\n"
                   ".LIB bipolar.lib\n"
                   ".LIB \"my lib.lib\"\n"
                   ".LIB models.lib TT\n"
                   ".LIB 'quoted name.lib'\n"
                   "* End of library/model file links\n\n"),
            std::string::npos)
      << n;
}

TEST(NetlistWriter, AnalysisQuestionsAndIncludes) {
  Circuit c("questions");
  c.resistor("R1", 0, 100);
  c.part(c.rail, "VA", "1", 0, 100);
  c.part(c.gnd, "G", "", 64, 100);
  c.notify.set_default_answer(0);  // Cancel
  EXPECT_EQ(c.compile(), -1);
  EXPECT_EQ(c.notify.texts().back(), "No analysis commands specified");
  SimulationSetup setup;
  setup.dc = 1;  // an analysis without output
  c.options.setup = &setup;
  EXPECT_EQ(c.compile(), -1);
  EXPECT_EQ(c.notify.texts().back(), "No data output options specified in simulation setup");
  // A user statement file counts as analyses; its name is quoted when it holds a blank.
  c.options.files.base = "my t";
  ASSERT_TRUE(write_file_atomic((c.dir / "my t.MIS").string(), ".OP\n"));
  ASSERT_TRUE(write_file_atomic((c.dir / "my t.ALT").string(), "* alt\n"));
  setup.alternate = 1;
  const size_t asked = c.notify.texts().size();
  EXPECT_EQ(c.compile(), 1);
  EXPECT_EQ(c.notify.texts().size(), asked);
  const std::string n = c.netlist();
  EXPECT_NE(n.find("\n.INC \"my t.MIS\"\n"), std::string::npos) << n;
  EXPECT_NE(n.find("\n.INC \"my t.CMD\"\n\n.INC \"my t.ALT\"\n\n.END\n"), std::string::npos) << n;
}

TEST(NetlistWriter, SubcircuitBlocksAndTheirRails) {
  Circuit c("blocks");
  c.resistor("R1", 0, 100);
  c.part(c.gnd, "G", "", 64, 100);
  BlockRecord* b = c.block("AMP");
  b->text = "an amplifier";
  BlockPin gain;
  gain.name.assign("G");
  gain.word16 = std::bit_cast<uint32_t>(2.0f);
  gain.text = "gain";
  b->pins = {gain, BlockPin{}};
  b->pins[1].name.assign("OFF");
  for (int i = 0; i < 12; ++i) {
    const std::string name = "LONGPORTNAME" + std::to_string(i);
    c.resistor(("RB" + std::to_string(i)).c_str(), 1000, 100 + 100 * i, b);
    c.part(c.io, ("P" + std::to_string(i)).c_str(), name.c_str(), 1000, 100 + 100 * i, b);
  }
  c.part(c.rail, "VCC", "12", 1064, 100, b);
  c.part(c.rail, "VCC", "12", 1064, 200, b);   // written once per block
  c.part(c.rail, "EMPTY", "", 5000, 5000, b);  // no value: no source
  BlockRecord* lonely = c.block("LONELY");
  c.resistor("RL", 3000, 100, lonely);
  ASSERT_EQ(c.compile(), 1);
  const std::string n = c.netlist();
  const size_t at = n.find("\n.SUBCKT AMP  LONGPORTNAME0");
  ASSERT_NE(at, std::string::npos) << n;
  const std::string header = n.substr(at + 1, n.find("* an amplifier") - at - 1);
  size_t start = 0, lines = 0;
  for (size_t nl; (nl = header.find('\n', start)) != std::string::npos; start = nl + 1, ++lines) {
    EXPECT_LT(nl - start, 70u + 14u);
    if (lines > 0) {
      EXPECT_EQ(header.substr(start, 2), "+ ");
    }
  }
  EXPECT_GE(lines, 3u);
  EXPECT_NE(n.find("* an amplifier\n+ PARAMS:\n+  G = 2  ; gain\n+  OFF = 0\n\n"), std::string::npos) << n;
  EXPECT_NE(n.find("\nVCC VCC 0 12\n.ENDS AMP\n"), std::string::npos) << n;
  EXPECT_EQ(n.find("VEMPTY"), std::string::npos);
  EXPECT_NE(n.find(".ENDS AMP\n\n.SUBCKT LONELY \n"), std::string::npos) << n;
  EXPECT_TRUE(c.notify.saw("Subckt LONELY has no I/O pins"));
  EXPECT_FALSE(c.notify.saw("Subckt AMP has no I/O pins"));
}

// The words of the netlist line that begins with `head` followed by a blank.
std::vector<std::string> statement_words(const std::string& netlist, const std::string& head) {
  std::vector<std::string> words;
  const size_t at = netlist.find("\n" + head + " ");
  if (at == std::string::npos) return words;
  const std::string line = netlist.substr(at + 1, netlist.find('\n', at + 1) - at - 1);
  for (size_t i = 0; i < line.size();) {
    const size_t end = std::min(line.find(' ', i), line.size());
    if (end > i) words.push_back(line.substr(i, end - i));
    i = end + 1;
  }
  return words;
}

TEST(NetlistWriter, PartsOfABlocksSymbolAreInstancesOfItsSubcircuit) {
  Circuit c("instances");
  BlockRecord* b = c.block("DIV");
  c.part(c.io, "P1", "IN", 1000, 100, b);
  c.resistor("RA", 1000, 100, b);
  c.part(c.io, "P2", "OUT", 1064, 100, b);
  // The block's symbol as the symbol command makes it: no value, no template.
  const SymbolRecord* sym = add_test_symbol(*c.s, "XDIV", kSymbolPart, {-32, -8, 32, 8},
                                            testing_support::two_pins_across(), 0, kOriginBlock);
  b->symbol = sym;
  // Placed on another sheet between two resistors, and once with a value of its own.
  ASSERT_EQ(page_add(*c.s, c.notify, 1767603600), 1);
  c.resistor("R1", -96, 300);
  c.part(sym, "X1", "", 0, 300);
  c.resistor("R2", 32, 300);
  c.part(sym, "9", "", 0, 500);  // a reference without the letter gets it
  c.part(sym, "X3", "OTHER", 0, 700);
  ASSERT_EQ(c.compile(), 1);
  const std::string n = c.netlist();
  const auto r1 = statement_words(n, "R1"), r2 = statement_words(n, "R2"), x1 = statement_words(n, "X1");
  ASSERT_EQ(r1.size(), 4u) << n;
  ASSERT_EQ(r2.size(), 4u) << n;
  ASSERT_EQ(x1.size(), 4u) << n;
  EXPECT_EQ(x1[1], r1[2]);  // pin 1 on R1's right end, pin 2 on R2's left end
  EXPECT_EQ(x1[2], r2[1]);
  EXPECT_EQ(x1[3], "DIV");
  EXPECT_EQ(statement_words(n, "X9").back(), "DIV") << n;
  EXPECT_EQ(statement_words(n, "X3").back(), "OTHER") << n;
  EXPECT_NE(n.find(".SUBCKT DIV  IN OUT\n"), std::string::npos) << n;
  EXPECT_FALSE(c.notify.saw("Cannot create SPICE statement for object: XDIV"));
}

TEST(NetlistWriter, ModelsOfTheSchematicAndOfOneBlock) {
  Circuit c("models");
  c.s->page().title.title1.assign("Filter");
  c.s->page().title.revision.assign("");
  c.part(c.io, "IN", "", 0, 100);
  c.resistor("R1", 0, 100);
  c.part(c.io, "OUT", "", 64, 100);
  c.options.mode = kNetlistModelNew;
  c.options.model_name = "FILT";
  c.options.files.netlist = (c.dir / "models.lib").string();
  ASSERT_EQ(c.compile(), 1);
  c.options.mode = kNetlistModelAppend;
  c.options.model_name = "FILT2";
  ASSERT_EQ(c.compile(), 1);
  const std::string models = c.netlist();
  EXPECT_EQ(models.substr(0, models.find("\n* Power")),
            "\n.SUBCKT FILT  IN OUT\n* Filter\nR1 IN OUT  1k  \n");
  EXPECT_NE(models.find(".ENDS FILT\n\n.SUBCKT FILT2  IN OUT\n"), std::string::npos) << models;
  EXPECT_EQ(models.substr(models.size() - 12), ".ENDS FILT2\n");
  EXPECT_FALSE(fs::exists(c.options.files.backup));  // models make no backups

  BlockRecord* b = c.block("INNER");
  c.part(c.io, "A", "", 1000, 100, b);
  c.resistor("RI", 1000, 100, b);
  c.options.mode = 0;
  c.options.files.netlist = (c.dir / "inner.mod").string();
  ASSERT_EQ(compile_subcircuit_model(*c.s, *b, c.options, "09-Dec-2026", c.notify), 1);
  EXPECT_EQ(read_text_file(c.options.files.netlist).value_or(""),
            "\n*Source: Zephyrim Schematic Editor 7.16a Win32  09-Dec-2026\n.SUBCKT INNER  A\nRI A 1  1k  \n"
            ".ENDS INNER\n");
}

TEST(NetlistWriter, BadLabelsFailAndEmptyCircuitsSaySo) {
  Circuit c("bad");
  c.resistor("R1", 0, 100);
  WireRecord* w = wire_add(*c.s, 64, 100, 200, 100);
  (void)w;
  LabelRecord* a = label_new(*c.s);
  a->name.assign("A");
  a->x = 100, a->y = 96, a->width = 8;
  LabelRecord* b = label_new(*c.s);
  b->name.assign("B");
  b->x = 160, b->y = 96, b->width = 8;
  wire_add(*c.s, 200, 100, 300, 100);
  EXPECT_EQ(c.compile(), -1);
  EXPECT_NE(c.file("t.MAP").find("ERROR: conflicting wire label B assigned to node A"), std::string::npos);

  Circuit empty("empty");
  empty.part(empty.gnd, "G", "", 0, 0);
  wire_add(*empty.s, 0, 0, 64, 0);
  empty.compile();
  EXPECT_TRUE(empty.notify.saw("Circuit has no parts - netlist empty"));
}

}  // namespace
}  // namespace zephyrim
