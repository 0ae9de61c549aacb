#include "schematic/schematic_dump.h"

#include <gtest/gtest.h>

#include <sstream>

#include "common/notify.h"

namespace zephyrim {
namespace {

std::unique_ptr<SymbolRecord> two_pin_symbol(const std::string& name) {
  auto s = std::make_unique<SymbolRecord>();
  s->name.assign(name);
  s->default_value.assign("1k");
  s->region = {-16, -8, 16, 8};
  s->rotatable = 1;
  for (int i = 0; i < 2; ++i) {
    SymbolPin p;
    p.side = 2 + 2 * i;
    p.x = i == 0 ? -16 : 16;
    p.lead_end = i == 0 ? -8 : 8;
    s->pins.push_back(p);
  }
  DrawCommand d;
  d.op = 'M';
  d.args[0] = 8;
  s->draws.push_back(d);
  return s;
}

// The trimmed line that starts with prefix, or empty.
std::string line_of(const std::string& dump, const std::string& prefix) {
  std::istringstream in(dump);
  for (std::string line; std::getline(in, line);) {
    const size_t start = line.find_first_not_of(' ');
    if (start != std::string::npos && line.compare(start, prefix.size(), prefix) == 0)
      return line.substr(start);
  }
  return {};
}

struct Built {
  std::unique_ptr<Schematic> s;
  PartRecord* part = nullptr;
  WireRecord* wire = nullptr;
  LabelRecord* label = nullptr;
  TextRecord* text = nullptr;
};

// Two symbols, a part whose second pin carries a label, a wire of a subcircuit
// block, a text and a second page: built the same way every time.
Built build(const std::string& path = "rc.sch") {
  RecordingNotify notify;
  Built b;
  b.s = schematic_new(path, 0);
  Schematic& s = *b.s;
  symtab_add(s, "C", two_pin_symbol("C"), kOriginLibrary, notify);
  const int r = symtab_add(s, "R", two_pin_symbol("R"), kOriginLibrary, notify);
  b.part = part_place(s, s.symbols.entries[r].definition.get(), 40, 40);
  part_set_reference(*b.part, "R1", notify);
  b.label = label_new(s);
  b.label->name.assign("IN");
  b.label->width = 16;
  b.part->pin_nodes[1].label = b.label;

  s.page().edit_block = block_new(s);
  s.page().blocks.back()->name.assign("SUB");
  b.wire = wire_add(s, 80, 40, 16, 40);
  b.wire->label = b.label;
  s.page().edit_block = s.page().top();

  b.text = text_new(s);
  b.text->text = "note";
  page_add(s, notify, 0);
  page_select(s, 0, notify);
  return b;
}

TEST(SchematicDump, IsTheSameForTheSameModelWhereverItIsKept) {
  Built a = build();
  Built b = build();
  const std::string text = schematic_dump(*a.s);
  EXPECT_EQ(text, schematic_dump(*b.s));

  // The title block's stored file text is content; the path in memory is not.
  a.s->path = "/elsewhere/rc.sch";
  EXPECT_EQ(schematic_dump(*a.s), text);
  EXPECT_NE(line_of(text, "page 1"), "");
}

TEST(SchematicDump, ShowsAMovedPartAndARenamedLabelEverywhereItIsReferred) {
  Built b = build();
  const std::string before = schematic_dump(*b.s);
  b.part->x += 8;
  const std::string moved = schematic_dump(*b.s);
  EXPECT_NE(moved, before);
  EXPECT_NE(line_of(moved, "part 0 ").find(" at 48,40 "), std::string::npos);

  b.label->name.assign("OUT");
  const std::string renamed = schematic_dump(*b.s);
  EXPECT_NE(line_of(renamed, "label 0 ").find("\"OUT\""), std::string::npos);
  EXPECT_EQ(line_of(renamed, "pins "), "pins 2 - \"OUT\"");
  EXPECT_NE(line_of(renamed, "wire 0 ").find("label \"OUT\""), std::string::npos);
}

TEST(SchematicDump, RefersToSymbolsBlocksAndLinksByPosition) {
  Built b = build();
  auto link = std::make_unique<LibraryLink>();
  link->kind = kLinkInc;
  link->texts[0] = "models.inc";
  b.part->model_link = link.get();
  b.s->links.push_back(std::make_unique<LibraryLink>());
  b.s->links.push_back(std::move(link));
  const std::string text = schematic_dump(*b.s);

  const std::string part = line_of(text, "part 0 ");
  EXPECT_NE(part.find("\"R1\""), std::string::npos);
  EXPECT_NE(part.find("symbol 1 \"R\""), std::string::npos);
  EXPECT_NE(part.find("owner 0"), std::string::npos);
  EXPECT_EQ(line_of(text, "model_link "), "model_link 1 text2 -");
  EXPECT_NE(line_of(text, "link 1 ").find("kind .INC scope project texts \"models.inc\" - -"),
            std::string::npos);
  EXPECT_EQ(line_of(text, "wire 0 "),
            "wire 0 16,40 - 80,40 orientation 1 node -1 label \"IN\" owner 1 disabled 0");
  EXPECT_NE(line_of(text, "block 1 ").find("name \"SUB\""), std::string::npos);
  EXPECT_EQ(line_of(text, "draw "), "draw M(8,0)");
  EXPECT_EQ(line_of(text, "pin 0 side"), "pin 0 side 2 at -16,0 lead_end -8 number -1 name \"\"");

  // A stale reference is never followed.
  BlockRecord gone;
  b.wire->owner = &gone;
  EXPECT_NE(line_of(schematic_dump(*b.s), "wire 0 ").find("owner ?"), std::string::npos);
}

TEST(SchematicDump, QuotesAndEscapesTexts) {
  Built b = build();
  b.text->text = std::string("two words\nnext \"line\"\t\\end") + '\x01';
  b.text->line_spacing = 1.5f;
  b.part->text2 = "";
  b.part->value.assign("");
  const std::string text = schematic_dump(*b.s);
  EXPECT_NE(line_of(text, "text 0 ")
                .find("spacing 1.5 owner 0 disabled 0 "
                      "\"two words\\nnext \\\"line\\\"\\x09\\\\end\\x01\""),
            std::string::npos);
  EXPECT_NE(line_of(text, "part 0 ").find("value \"\" device \"\""), std::string::npos);
  EXPECT_EQ(line_of(text, "model_link "), "model_link - text2 \"\"");
  EXPECT_EQ(line_of(text, "title2 "), "title2 \"\"");
  EXPECT_EQ(line_of(text, "entry 0 "), "entry 0 first_node 1 last_node -1 renumber 1 title -");
}

}  // namespace
}  // namespace zephyrim
