#include "netlist/netlist_template.h"

#include <gtest/gtest.h>

namespace zephyrim {
namespace {

// A part of `pins` pins on nodes named N1, N2, ... and no template of its own.
struct Part {
  SymbolRecord symbol;
  PartRecord part;
  NodeTable table;
  RecordingNotify notify;

  Part(const char* symbol_name, const char* reference, int pins = 2) {
    symbol.name.assign(symbol_name);
    symbol.pins.resize(pins);
    part.symbol = &symbol;
    part.reference.assign(reference);
    part.value.assign("VAL");
    table.entries.resize(pins + 1);
    table.count = pins + 1;
    table.entries[0].name.assign("0");
    for (int k = 0; k < pins; ++k) {
      table.entries[k + 1].name.assign("N" + std::to_string(k + 1));
      part.pin_nodes.push_back({k + 1, nullptr});
    }
  }
  std::string expand(int expect = 1) {
    std::string out;
    EXPECT_EQ(expand_template(part, table, out, notify), expect);
    return out;
  }
  std::string with(const char* text) {
    part.template_text = text;
    return expand();
  }
};

TEST(TemplateTokens, BlanksSeparateAndPercentStartsAToken) {
  const auto t = tokenize_template("Q%r %1 %2 %3 %v  % %10");
  std::vector<std::pair<std::string, bool>> got;
  for (const auto& x : t) got.emplace_back(x.text, x.blank_after);
  const std::vector<std::pair<std::string, bool>> want = {
      {"Q", false}, {"%r", true}, {"%1", true}, {"%2", true}, {"%3", true}, {"%v", true}, {"%10", false}};
  EXPECT_EQ(got, want);
  EXPECT_EQ(tokenize_template(std::string(300, 'a').insert(0, 300, ' ') + std::string(200, '%')).size(), 1u);
  std::string many;
  for (int i = 0; i < 200; ++i) many += "x ";
  EXPECT_EQ(tokenize_template(many).size(), kMaxTemplateTokens);
}

TEST(TemplateCodes, ReferenceNodesValueAndParameters) {
  Part r("RES", "1");
  EXPECT_EQ(r.expand(), "R1 N1 N2  VAL  ");  // the letter goes in front of a reference without it
  r.part.reference.assign("RLOAD");
  EXPECT_EQ(r.expand(), "RLOAD N1 N2  VAL  ");
  r.part.params[1] = "TC=1m";
  r.part.params[3] = "M=2";
  EXPECT_EQ(r.expand(), "RLOAD N1 N2  VAL TC=1m M=2  ");
  EXPECT_EQ(r.with("%2 %1 %10 %p2 %pn"), "N2 N1 %10 TC=1m M=2 ");  // %pn goes on after %p2
  EXPECT_EQ(r.with("%pn]"), "%pn]");
  EXPECT_EQ(r.with("X%r %n %v PARAMS: %pn"), "XRLOAD N1 N2  VAL PARAMS: TC=1m M=2 ");
  EXPECT_EQ(r.with("%p3 %params: %pn"), " PARAMS:  M=2 ");
  r.part.params[3].reset();
  EXPECT_EQ(r.with("%p3 %params: end"), "  end");  // nothing present from the cursor on
  r.part.device.assign("Q");
  EXPECT_EQ(r.with("%r"), "QRLOAD");  // an explicit letter counts in templates too
}

TEST(TemplateCodes, PinBeyondTheSymbolIsWarnedAndSkipped) {
  Part r("RES", "R1");
  EXPECT_EQ(r.with("%r %1 %3 %2"), "R1 N1  N2");
  EXPECT_EQ(r.notify.texts(), std::vector<std::string>{"Part R1 netlist template contains invalid pin 3"});
}

TEST(TemplateCodes, LongStatementsContinueAndStopAtTheBuffer) {
  Part x("SUB", "X1", 40);
  const std::string s = x.expand();
  // Lines break before a node once 128, 208, 288 ... characters are passed.
  std::vector<size_t> ends;
  for (size_t at = s.find("\n+ "); at != std::string::npos; at = s.find("\n+ ", at + 1)) ends.push_back(at);
  ASSERT_GE(ends.size(), 1u);
  EXPECT_LE(ends[0], 128u);
  EXPECT_GT(ends[0] + 4, 120u);
  for (size_t i = 1; i < ends.size(); ++i) EXPECT_LE(ends[i], 128u + 80 * i);

  Part big("SUB", "X2", 2);
  big.part.params[0] = std::string(300, 'a');
  big.part.params[1] = std::string(300, 'b');
  const std::string cut = big.expand();
  EXPECT_LT(cut.size(), kStatementBuffer);
  EXPECT_EQ(cut.find('b'), std::string::npos);
  EXPECT_EQ(big.notify.texts(), std::vector<std::string>{"SPICE netlist statement exceeds buffer size"});
}

TEST(DefaultTemplates, ByElementLetterAndSymbolName) {
  struct Case {
    const char* symbol;
    const char* device;
    int pins;
    const char* want;
  };
  const Case cases[] = {
      {"M3NMOS", "", 3, "M1 N1 N2 N3  N3 VAL  "},
      {"FLINEAR", "", 4, "F1 N1 N2 VI@1 VAL  \nVI@1 N3 N4 "},  // VI@ takes the reference as entered
      {"EPOWER", "", 6, "E1 N1 N2 POWER N3 N4 VI@1 VAL  \nVI@1 N5 N6 "},
      {"KXFRM", "", 0, "K1  VAL  "},
      {"OATOD", "", 2, "O1 ATOD N1 N2  VAL  "},
      {"OLINE", "", 2, "O1 N1 N2  VAL  "},
      {"U7400\\A", "", 2, "U1 7400 N1 N2  VAL  "},
      {"WSWITCH", "", 2, "W1 N1 N2   VAL  "},
      {"XAMP", "", 2, "X1 N1 N2  VAL  "},
      {"RES", "", 2, "R1 N1 N2  VAL  "},
  };
  for (const Case& c : cases) {
    Part p(c.symbol, "1", c.pins);
    p.part.device.assign(c.device);
    EXPECT_EQ(p.expand(), c.want) << c.symbol;
    EXPECT_TRUE(p.notify.texts().empty()) << c.symbol;
  }
  Part x("XAMP", "X1");
  x.part.params[0] = "G=2";
  EXPECT_EQ(x.expand(), "X1 N1 N2  VAL PARAMS: G=2  ");
  Part k("KXFRM", "K1");
  k.part.params[0] = "L1 L2";
  EXPECT_EQ(k.expand(), "K1 L1 L2 VAL  ");  // %pn goes on after %p1
  for (const char* letter : {"N", "P", "Y", "A"}) {
    Part n("NODE", "Z1");
    n.part.device.assign(letter);
    EXPECT_EQ(n.expand(0), "");
    EXPECT_EQ(n.notify.texts().back(), std::string("Z1 no matching SPICE element ") + letter + " available");
  }
}

}  // namespace
}  // namespace zephyrim
