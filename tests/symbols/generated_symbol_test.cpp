// Generated symbols: block symbols from a shape and pin arrangement, and the U
// logic element symbols, each checked like a library symbol (draws inside its
// region, survives a library save and reload).
#include "symbols/generated_symbol.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <map>

#include "symbols/region_check.h"
#include "symbols/symbol_library.h"

namespace zephyrim {
namespace {

namespace fs = std::filesystem;

// A folder of each test's own: ctest runs the tests of this program at the same time.
class Generated : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("zephyrim_generated_" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "_" +
            std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // A library text cannot hold the blanks that end an output pin's name: the
  // symbol read back is compared without them.
  static SymbolRecord without_trailing_blanks(SymbolRecord r) {
    for (auto& p : r.pins) {
      std::string n = p.pin_name.str();
      while (!n.empty() && n.back() == ' ') n.pop_back();
      p.pin_name.assign(n);
    }
    return r;
  }

  // Draws inside its region and reads back from a library file as written.
  void check(const SymbolRecord& s) {
    EXPECT_TRUE(s.region.valid()) << s.name.str();
    EXPECT_FALSE(s.draws.empty()) << s.name.str();
    EXPECT_TRUE(s.rotatable == 0 || s.rotatable == 1) << s.name.str();
    for (const auto& p : s.pins) {
      EXPECT_EQ(p.x % 8, 0) << s.name.str();
      EXPECT_EQ(p.y % 8, 0) << s.name.str();
    }
    testing_support::draws_inside_region(s);
    const std::string path = (dir_ / ("lib" + std::to_string(files_++) + ".sym")).string();
    RecordingNotify quiet;
    ASSERT_EQ(symbol_save(path, s, "", quiet), 1);
    SymbolLibrary lib;
    ASSERT_EQ(library_open(lib, path, quiet), 1);
    SymbolRecord back;
    ASSERT_EQ(symbol_load(lib, symbol_find(lib, s.name.str()), back, quiet), 1) << s.name.str();
    EXPECT_TRUE(symbol_identical(without_trailing_blanks(s), back)) << s.name.str();
    for (const auto& e : quiet.entries()) EXPECT_EQ(e.text.rfind("Symbol ", 0), 0u) << e.text;
  }

  fs::path dir_;
  int files_ = 0;
  RecordingNotify notify;
};

SymbolSpec spec_of(int32_t shape, int pins, bool names = true, bool numbers = false) {
  return symbol_spec_new("XTEST", shape, pins, names, numbers);
}

const SymbolPin* pin_named(const SymbolRecord& s, const std::string& name) {
  for (const auto& p : s.pins)
    if (p.pin_name.str() == name) return &p;
  return nullptr;
}

std::vector<std::string> formatted(const SymbolRecord& s) {
  std::vector<std::string> out;
  for (const auto& c : s.draws) out.push_back(draw_format(c));
  return out;
}

TEST_F(Generated, ShapesKeepTheirListOrderTypesAndLimits) {
  const auto& shapes = symbol_shapes();
  const std::vector<std::string> names{"Rectangle",   "Rectangle horiz.", "Square",        "Circle",
                                       "Function",    "Gain block",       "AND/NAND gate", "BUF/INV gate",
                                       "OR/NOR gate", "XOR/XNOR gate"};
  const int types[] = {0, 9, 1, 2, 4, 3, 5, 7, 6, 8};
  const int max_pins[] = {64, 64, 64, 4, 32, 32, 32, 4, 32, 32};
  for (size_t i = 0; i < shapes.size(); ++i) {
    EXPECT_EQ(shapes[i].name, names[i]);
    EXPECT_EQ(shapes[i].type, types[i]);
    EXPECT_EQ(shapes[i].max_pins, max_pins[i]);
    EXPECT_EQ(shapes[i].rotatable, i >= 3);
  }
  EXPECT_EQ(symbol_shape(11), nullptr);
}

TEST_F(Generated, RectangleOfFivePinsPutsThreeLeftAndTwoRightCountingDown) {
  const auto s = block_symbol_generate(spec_of(kShapeRectangle, 5, false), notify);
  ASSERT_TRUE(s);
  EXPECT_TRUE(notify.entries().empty()) << notify.last();
  ASSERT_EQ(s->pin_count(), 5);
  const int ys[] = {0, 24, 48, 24, 0};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(s->pins[i].side, i < 3 ? 2 : 4) << i;
    EXPECT_EQ(s->pins[i].x, i < 3 ? 0 : 96) << i;
    EXPECT_EQ(s->pins[i].lead_end, i < 3 ? 16 : 80) << i;
    EXPECT_EQ(s->pins[i].y, ys[i]) << i;
    EXPECT_EQ(s->pins[i].number, -1);
    EXPECT_TRUE(s->pins[i].pin_name.empty());
  }
  EXPECT_EQ(s->region, (Region{0, -38, 96, 84}));
  EXPECT_EQ(formatted(*s), (std::vector<std::string>{"R(16,-16,80,64)", "L(R,0,16,-38,0,2)",
                                                     "L(V,0,16,66,0,2)", "L(1,0,16,84,0,2)"}));
  EXPECT_EQ(s->kind, kSymbolPart);
  EXPECT_EQ(s->name.str(), "XTEST");
}

TEST_F(Generated, NamesAndNumbersFollowTheirSwitches) {
  auto s = block_symbol_generate(spec_of(kShapeRectangle, 2, true, true), notify);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->pins[0].pin_name.str(), "1");
  EXPECT_EQ(s->pins[1].number, 2);
  EXPECT_EQ(s->pins[1].x, 128);  // the wider body that names need
  s = block_symbol_generate(spec_of(kShapeRectangle, 2, false, true), notify);
  EXPECT_EQ(s->pins[1].number, -1);  // numbers only come with names
  SymbolSpec marked = spec_of(kShapeCircle, 2);
  (*marked.entries)[1].words[0] = 1;
  s = block_symbol_generate(marked, notify);
  EXPECT_EQ(s->pins[1].side, 8);
}

TEST_F(Generated, CircleMayRotateRectangleMayNot) {
  EXPECT_EQ(block_symbol_generate(spec_of(kShapeCircle, 2), notify)->rotatable, 1);
  EXPECT_EQ(block_symbol_generate(spec_of(kShapeRectangle, 2), notify)->rotatable, 0);
  EXPECT_EQ(block_symbol_generate(spec_of(kShapeSquare, 2), notify)->rotatable, 0);
  EXPECT_EQ(block_symbol_generate(spec_of(kShapeAnd, 3), notify)->rotatable, 1);
}

TEST_F(Generated, GainBlockMovesAThirdOutputToTheInputs) {
  SymbolSpec spec = spec_of(kShapeGain, 4, false);
  pin_set((*spec.entries)[0], 0, kPinInput, 0);
  pin_set((*spec.entries)[1], 0, kPinOutput, 0);
  pin_set((*spec.entries)[2], 0, kPinOutput, 1);
  pin_set((*spec.entries)[3], 0, kPinOutput, 1);
  const auto s = block_symbol_generate(spec, notify);
  ASSERT_TRUE(s);
  EXPECT_EQ(notify.texts(), std::vector<std::string>{"Too many output pins, pin# 3 reassigned as input"});
  EXPECT_EQ(s->pins[3].side, 2);
  EXPECT_EQ(s->pins[3].x, 0);
  // Two outputs sit 8 above and below the axis, their leads 16 shorter.
  EXPECT_EQ(s->pins[1].y, -8);
  EXPECT_EQ(s->pins[2].y, 8);
  EXPECT_EQ(s->pins[2].lead_end, 104);
  check(*s);
}

TEST_F(Generated, BadAndSharedPositionsAreRepositionedWithNotices) {
  SymbolSpec spec = spec_of(kShapeFunction, 4, false);
  pin_set((*spec.entries)[0], 0, kPinInput, 1);
  pin_set((*spec.entries)[1], 0, kPinInput, 1);
  pin_set((*spec.entries)[2], 0, kPinTop, 7);
  pin_set((*spec.entries)[3], 0, kPinOutput, 0);
  const auto s = block_symbol_generate(spec, notify);
  ASSERT_TRUE(s);
  EXPECT_EQ(notify.texts(),
            (std::vector<std::string>{"Conflicting input pin positions, pins repositioned in order",
                                      "Invalid top pin position, pin# 2 repositioned"}));
  EXPECT_EQ(s->pins[0].y, -16);  // renumbered 0 and 1: two slots
  EXPECT_EQ(s->pins[1].y, 16);
  EXPECT_EQ(s->pins[2].x, 56);
  EXPECT_EQ(s->pins[2].y, -64);
}

TEST_F(Generated, UnknownShapeIsReported) {
  SymbolSpec spec = spec_of(kShapeRectangle, 2);
  spec_set_shape(spec, 11);
  EXPECT_FALSE(block_symbol_generate(spec, notify));
  EXPECT_EQ(notify.last(), "Invalid function shape code 11");
}

TEST_F(Generated, GateOutlinesAreTheFixedTemplates) {
  auto s = block_symbol_generate(spec_of(kShapeAnd, 3, false), notify);
  EXPECT_EQ(formatted(*s), (std::vector<std::string>{"M(64,-48)", "V(16,-48)", "V(16,48)", "V(64,48)",
                                                     "A(64,0,56,48,270,90)", "L(R,0,52,-68,0,2)",
                                                     "L(V,0,52,48,0,2)", "L(1,0,52,66,0,2)"}));
  EXPECT_EQ(s->region, (Region{0, -72, 136, 72}));
  s = block_symbol_generate(spec_of(kShapeXor, 3, false), notify);
  const std::vector<std::string> xor_outline{"A(16,0,16,48,270,90)",
                                             "M(16,48)",
                                             "V(71,48)",
                                             "M(16,-48)",
                                             "V(71,-48)",
                                             "A(71,48,48,96,50,90)",
                                             "A(71,-48,48,96,270,312)",
                                             "A(10,0,16,48,270,90)"};
  const auto x = formatted(*s);
  EXPECT_EQ(std::vector<std::string>(x.begin(), x.begin() + 8), xor_outline);
  // Inputs at -16 and 16 meet the curved back, 6 further left for XOR.
  EXPECT_EQ(s->pins[0].lead_end, 25);
  EXPECT_EQ(s->pins[2].x, 136);
  EXPECT_EQ(s->pins[2].lead_end, 112);
  s = block_symbol_generate(spec_of(kShapeGain, 2, false), notify);
  const auto g = formatted(*s);
  EXPECT_EQ(std::vector<std::string>(g.begin(), g.begin() + 4),
            (std::vector<std::string>{"M(16,-48)", "V(16,48)", "V(120,0)", "V(16,-48)"}));
  // Six inputs: first at -64, the back extended to 56.
  s = block_symbol_generate(spec_of(kShapeFunction, 7, false), notify);
  EXPECT_EQ(s->pins[0].y, -64);
  EXPECT_EQ(s->pins[5].y, 56);
  const auto f = formatted(*s);
  EXPECT_NE(std::find(f.begin(), f.end(), "V(16,56)"), f.end());
  EXPECT_EQ(s->region, (Region{0, -72, 136, 72}));
}

TEST_F(Generated, BufferTriangleGrowsWithMoreThanTwoPins) {
  auto s = block_symbol_generate(spec_of(kShapeBuffer, 2, false), notify);
  EXPECT_EQ(s->pins[1].x, 56);
  EXPECT_EQ(s->region, (Region{0, -36, 56, 36}));
  s = block_symbol_generate(spec_of(kShapeBuffer, 4, false), notify);
  EXPECT_EQ(s->pins[1].x, 80);
  EXPECT_EQ(s->pins[2].x, 40);
  EXPECT_EQ(s->pins[2].y, -40);
  EXPECT_EQ(s->pins[3].y, 40);
}

TEST_F(Generated, EveryShapeWithOneSomeAndMostPinsDrawsInsideAndReadsBack) {
  for (const auto& shape : symbol_shapes())
    for (int pins : {1, 3, 5, shape.max_pins})
      for (bool names : {false, true}) {
        if (pins > shape.max_pins) continue;
        SCOPED_TRACE(std::string(shape.name) + " " + std::to_string(pins));
        SymbolSpec spec = spec_of(shape.type, pins, names, names);
        spec.name.assign("X" + std::to_string(shape.type) + "_" + std::to_string(pins) + (names ? "N" : ""));
        const auto s = block_symbol_generate(spec, notify);
        ASSERT_TRUE(s);
        EXPECT_EQ(s->pin_count(), pins);
        check(*s);
      }
  EXPECT_TRUE(notify.entries().empty()) << notify.last();
}

// Specifications come from schematic files, so any words may stand in them:
// whatever they hold, the symbol stays on the grid and inside its region.
TEST_F(Generated, AnyPinArrangementStaysInsideItsRegion) {
  uint32_t seed = 12345;
  auto next = [&](int32_t lo, int32_t hi) {
    seed = seed * 1664525u + 1013904223u;
    return lo + static_cast<int32_t>((seed >> 8) % static_cast<uint32_t>(hi - lo + 1));
  };
  for (const auto& shape : symbol_shapes())
    for (int round = 0; round < 40; ++round) {
      SymbolSpec spec = spec_of(shape.type, next(1, shape.max_pins + 4), next(0, 1) == 1, true);
      spec.name.assign("XR" + std::to_string(shape.type) + "_" + std::to_string(round));
      for (auto& e : *spec.entries)
        pin_set(e, next(0, 1), next(-1, 5), round % 4 == 0 ? next(-100000, 100000) : next(-2, 40));
      const auto s = block_symbol_generate(spec, notify);
      ASSERT_TRUE(s) << spec.name.str();
      EXPECT_LE(s->pin_count(), shape.max_pins);
      for (const auto& p : s->pins) {
        EXPECT_EQ(p.x % 8, 0) << spec.name.str();
        EXPECT_EQ(p.y % 8, 0) << spec.name.str();
      }
      ASSERT_TRUE(testing_support::draws_inside_region(*s)) << spec.name.str();
    }
}

TEST_F(Generated, SquareUsesEverySideAndPlacesItsLabelsByThem) {
  SymbolSpec spec = spec_of(kShapeSquare, 4, false);
  for (int i = 0; i < 4; ++i) pin_set((*spec.entries)[i], 0, i, 0);
  auto s = block_symbol_generate(spec, notify);
  EXPECT_EQ(s->pins[0].x, -16);
  EXPECT_EQ(s->pins[1].x, 96);
  EXPECT_EQ(s->pins[2].y, -16);
  EXPECT_EQ(s->pins[3].y, 96);
  EXPECT_EQ(formatted(*s)[1], "L(R,0,84,-10,0,2)");
  check(*s);
  pin_set((*spec.entries)[2], 0, kPinBottom, 1);  // bottom only: value above
  s = block_symbol_generate(spec, notify);
  EXPECT_EQ(s->region.y1, -38);
  EXPECT_EQ(formatted(*s)[3], "L(1,0,0,-58,0,2)");
}

TEST_F(Generated, DefaultPinsFromABlockFollowItsIoPins) {
  SymbolSpec spec = spec_of(kShapeRectangle, 0);
  spec_pins_from_block(
      spec, {{"INP", "PIN"}, {"OUT", "PINOUT"}, {"LONGNAME9", "PIN"}, {"X", "PINOUT"}, {"Y", "PIN"}}, 4);
  ASSERT_EQ(spec.entries->size(), 4u);
  EXPECT_EQ((*spec.entries)[0].name.str(), "INP");
  EXPECT_EQ((*spec.entries)[2].name.str(), "LONGNAME");
  EXPECT_EQ(pin_position((*spec.entries)[1]), kPinOutput);
  EXPECT_EQ(pin_order((*spec.entries)[2]), 1);
  EXPECT_EQ(pin_order((*spec.entries)[3]), 1);
  const auto s = block_symbol_generate(spec, notify);
  EXPECT_EQ(s->pins[2].pin_name.str(), "LONGNAM");
}

TEST_F(Generated, SubcircuitNamesStartWithX) {
  EXPECT_EQ(subckt_symbol_name("XAMP", notify), "XAMP");
  EXPECT_TRUE(notify.entries().empty());
  EXPECT_EQ(subckt_symbol_name("AMP", notify), "XAMP");
  EXPECT_EQ(notify.last(), "SUBCKT symbol name must start with X\nName changed to XAMP");
}

TEST_F(Generated, LogicNamesFollowTheOptions) {
  const int add = logic_function_find("ADD"), count = logic_function_find("count");
  EXPECT_EQ(logic_symbol_name(add, 4, 0), "UADD");
  EXPECT_EQ(logic_symbol_name(add, 0, 0), "UADD");
  EXPECT_EQ(logic_symbol_name(add, 8, 0), "UADD(8)");
  EXPECT_EQ(logic_symbol_name(add, 1000, 0), "UADD(64)");
  EXPECT_EQ(logic_symbol_name(count, 2, 4), "UCOUNT");
  EXPECT_EQ(logic_symbol_name(count, 2, 8), "UCOUNT(2,8)");
  EXPECT_EQ(logic_symbol_name(logic_function_find("PSREG"), 1, 0), "UPSREG(2)");
  EXPECT_EQ(logic_symbol_name(logic_function_find("DFF"), 3, 3), "UDFF");
  EXPECT_EQ(logic_function_find("NOPE"), -1);
  EXPECT_EQ(logic_symbol_name_rule("UADD", notify), "UADD");
  EXPECT_EQ(logic_symbol_name_rule("ADD", notify), "UADD");
  EXPECT_EQ(notify.last(), "Logic symbol name must start with U./nName changed to UADD");
}

TEST_F(Generated, FunctionsKeepTheirListOrderAndOptions) {
  const auto& f = logic_functions();
  EXPECT_STREQ(f[0].name, "ADD");
  EXPECT_STREQ(f[11].name, "DIVN");
  EXPECT_STREQ(f[29].name, "XOR");
  EXPECT_STREQ(f[6].label1, "count:");
  EXPECT_STREQ(f[6].label2, "bits:");
  EXPECT_EQ(f[6].default2, 4);
  EXPECT_STREQ(f[8].label1, "lines");
  EXPECT_STREQ(f[23].label2, "#address:");
  EXPECT_EQ(f[4].option_count, 0);
}

TEST_F(Generated, AdderOfFourBitsPlacesItsPinsAlongBothEdges) {
  const auto s = logic_symbol_generate(logic_function_find("ADD"), 4, 0, "UADD", nullptr, notify);
  ASSERT_TRUE(s);
  ASSERT_EQ(s->pin_count(), 14);
  const std::map<std::string, int> top{{"CI", 16}, {"Q3", 40},  {"Q2", 64},
                                       {"Q1", 88}, {"Q0", 112}, {"CO", 136}};
  const std::map<std::string, int> bottom{{"A3", 16},  {"A2", 40},  {"A1", 64},  {"A0", 88},
                                          {"B3", 112}, {"B2", 136}, {"B1", 160}, {"B0", 184}};
  for (const auto& [name, x] : top) {
    const SymbolPin* p = pin_named(*s, name);
    ASSERT_TRUE(p) << name;
    EXPECT_EQ(p->x, x) << name;
    EXPECT_EQ(p->y, -48);
    EXPECT_EQ(p->lead_end, -32);
    EXPECT_EQ(p->side, 1);
  }
  for (const auto& [name, x] : bottom) {
    const SymbolPin* p = pin_named(*s, name);
    ASSERT_TRUE(p) << name;
    EXPECT_EQ(p->x, x) << name;
    EXPECT_EQ(p->y, 48);
    EXPECT_EQ(p->side, 3);
  }
  EXPECT_EQ(s->pins[13].pin_name.str(), "CI");
  EXPECT_EQ(s->pins[4].pin_name.str(), "CO");
  EXPECT_EQ(s->region, (Region{0, -50, 232, 50}));
  EXPECT_EQ(s->rotatable, 0);
  EXPECT_EQ(formatted(*s), (std::vector<std::string>{"R(0,-32,200,32)", "L(R,0,204,0,0,1)",
                                                     "L(V,0,100,0,1,1)", "L(1,0,204,20,0,1)"}));
}

TEST_F(Generated, LongPinNamesTakeWiderSteps) {
  const auto s = logic_symbol_generate(logic_function_find("COMP"), 2, 0, "UCOMP(2)", nullptr, notify);
  ASSERT_TRUE(s);
  EXPECT_EQ(pin_named(*s, "A=B")->x, 72);  // after A1 16, A0 40: 40 + 32
  EXPECT_EQ(s->pins[1].pin_name.str(), "A=B");
  EXPECT_EQ(pin_named(*s, "A<B")->x, 104);
  const auto sregp = logic_symbol_generate(logic_function_find("SREGP"), 4, 0, "USREGP", nullptr, notify);
  EXPECT_EQ(sregp->pins[0].pin_name.str(), "OUT");
  EXPECT_EQ(sregp->pins[4].x, 16);  // IN
  EXPECT_EQ(sregp->pins[3].x, 48);  // CLK: 16 + 32
}

TEST_F(Generated, EveryGeneratedFunctionAtItsOptionsDrawsInsideAndReadsBack) {
  const auto& all = logic_functions();
  for (int i = 0; i < kLogicFunctionCount; ++i) {
    const LogicFunction& f = all[static_cast<size_t>(i)];
    if (f.kind == LogicKind::library || f.kind == LogicKind::copy) continue;
    for (const auto& o :
         std::vector<std::array<int, 2>>{{0, 0}, {1, 1}, {f.max1, f.max2}, {1 << 20, 1 << 20}}) {
      const std::string name = logic_symbol_name(i, o[0], o[1]);
      SCOPED_TRACE(name);
      const auto s = logic_symbol_generate(i, o[0], o[1], name, nullptr, notify);
      ASSERT_TRUE(s);
      EXPECT_EQ(s->name.str(), name);
      EXPECT_GT(s->pin_count(), 0);
      check(*s);
    }
  }
  EXPECT_TRUE(notify.entries().empty()) << notify.last();
}

TEST_F(Generated, InvertingGatesMarkTheirOutput) {
  const auto nand = logic_symbol_generate(logic_function_find("NAND"), 3, 0, "UNAND(3)", nullptr, notify);
  ASSERT_EQ(nand->pin_count(), 4);
  EXPECT_EQ(nand->pins[3].side, 8);
  const auto orr = logic_symbol_generate(logic_function_find("OR"), 0, 0, "UOR", nullptr, notify);
  EXPECT_EQ(orr->pins[2].side, 4);
  const auto inv = logic_symbol_generate(logic_function_find("INV"), 2, 0, "UINV(2)", nullptr, notify);
  ASSERT_EQ(inv->pin_count(), 4);
  EXPECT_EQ(inv->pins[3].side, 8);
}

TEST_F(Generated, LibraryFunctionsComeFromTheLibrary) {
  const int divn = logic_function_find("DIVN"), dff = logic_function_find("DFF");
  EXPECT_FALSE(logic_symbol_generate(divn, 3, 0, "UDIVN(3)", nullptr, notify));
  EXPECT_EQ(notify.last(), "U logic symbol UDIVN not found");
  EXPECT_FALSE(logic_symbol_generate(dff, 0, 0, "UDFF", nullptr, notify));

  const std::string path = (dir_ / "default.sym").string();
  fs::copy_file(std::string(ZEPHYRIM_SOURCE_DIR) + "/data/symbols/default.sym", path);
  SymbolLibrary lib;
  ASSERT_EQ(library_open(lib, path, notify), 1);
  notify.clear();
  const auto copy = logic_symbol_generate(divn, 3, 0, "UDIVN(3)", &lib, notify);
  ASSERT_TRUE(copy);
  EXPECT_EQ(copy->name.str(), "UDIVN(3)");
  EXPECT_EQ(copy->pin_count(), 2);
  const auto from_library = logic_symbol_get(dff, 0, 0, "UDFF", &lib, notify);
  ASSERT_TRUE(from_library);
  EXPECT_EQ(from_library->pin_count(), 6);
  // A name the library lacks is generated.
  const auto add = logic_symbol_get(logic_function_find("ADD"), 0, 0, "UADD", &lib, notify);
  ASSERT_TRUE(add);
  EXPECT_EQ(add->pin_count(), 14);
  EXPECT_TRUE(notify.entries().empty()) << notify.last();
}

}  // namespace
}  // namespace zephyrim
