#include "schematic/record_io.h"

#include <gtest/gtest.h>

#include <bit>
#include <numeric>

namespace zephyrim {
namespace {

template <size_t N, typename T>
std::array<T, N> counting(T from) {
  std::array<T, N> a{};
  std::iota(a.begin(), a.end(), from);
  return a;
}

// Encodes `in` (its image must have the stored size), decodes the image into a
// fresh record, lets `complete` add what the loader reads after the record
// (texts, lists) and encodes that again: the two images must be the same bytes.
// Every prefix of the image must fail to decode without reading past its end.
template <typename R, typename Encode, typename Decode, typename Complete>
R expect_round_trip(const R& in, size_t size, Encode encode, Decode decode, Complete complete) {
  ByteWriter w;
  encode(w, in);
  EXPECT_EQ(w.size(), size);
  // Marks the decoder reports come from the last, whole decode below.
  for (size_t cut = 0; cut < w.size(); ++cut) {
    // An exactly sized copy, so that a read past its end shows under the sanitizers.
    const std::vector<uint8_t> prefix(w.data().begin(), w.data().begin() + static_cast<std::ptrdiff_t>(cut));
    ByteReader rc(prefix);
    R partial;
    decode(rc, partial);
    EXPECT_TRUE(rc.failed()) << "cut at " << cut;
    EXPECT_LE(rc.position(), cut);
  }
  R out;
  ByteReader r(w.data());
  decode(r, out);
  EXPECT_TRUE(r.at_end());
  EXPECT_FALSE(r.failed());
  R again = out;
  complete(again);
  ByteWriter w2;
  encode(w2, again);
  EXPECT_EQ(w2.data(), w.data());
  return out;
}

auto nothing_follows = [](auto&) {};

TEST(RecordIo, SymbolDrawingsAndPins) {
  DrawCommand c;
  c.op = 'P';
  c.padding = {1, 2, 3};
  c.arg_count = 5;
  c.args = counting<kDrawArgs>(int32_t{-7});
  EXPECT_EQ(expect_round_trip(c, kDrawCommandSize, encode_draw_command, decode_draw_command, nothing_follows),
            c);

  SymbolPin p;
  p.side = 6;
  p.x = -16;
  p.y = 24;
  p.lead_end = 8;
  p.number = 4;
  p.pin_name.assign("IN+");
  p.reserved = {7, 8};
  EXPECT_EQ(expect_round_trip(p, kSymbolPinSize, encode_symbol_pin, decode_symbol_pin, nothing_follows), p);
}

TEST(RecordIo, SymbolDefinitionReportsWhatFollows) {
  SymbolRecord d;
  d.index = 3;
  d.kind = kSymbolIoPin;
  d.reserved8 = -1;
  d.name.assign("OPAMP");
  d.description.assign("Ideal opamp");
  d.default_value.assign("1Meg");
  d.region = {-8, -16, 24, 8};
  d.pins.resize(2);
  d.draws.resize(3);
  d.rotatable = 1;
  d.rot_draws.resize(1);
  d.rot_region = {-16, -8, 8, 24};
  d.rot_pins.emplace(2);
  d.text236 = "a";
  d.reserved240 = counting<4>(int32_t{40});
  d.template_text = "X%r %1 %2";
  d.model_link_kind = kLinkInc;
  d.model_file = "opamp.lib";
  d.text272 = "";  // an empty text is stored as none
  SymbolMarks m;
  auto decode = [&m](ByteReader& r, SymbolRecord& x) { m = decode_symbol_record(r, x); };
  const SymbolRecord out =
      expect_round_trip(d, kSymbolRecordSize, encode_symbol_record, decode, [&](SymbolRecord& x) {
        x.pins = d.pins;
        x.draws = d.draws;
        x.rot_draws = d.rot_draws;
        x.rot_pins = d.rot_pins;
        x.text236 = d.text236;
        x.template_text = d.template_text;
        x.model_file = d.model_file;
      });
  EXPECT_EQ(out.name.str(), "OPAMP");
  EXPECT_EQ(out.region, d.region);
  EXPECT_EQ(out.reserved240, d.reserved240);
  EXPECT_EQ(out.model_link_kind, kLinkInc);
  EXPECT_EQ(m.pin_count, 2);
  EXPECT_EQ(m.draw_count, 3);
  EXPECT_EQ(m.rot_draw_count, 1);
  EXPECT_TRUE(m.rot_pins && m.text236 && m.template_text && m.model_file);
  EXPECT_FALSE(m.text260 || m.text272);

  // Rotated pins without a rotated view are not stored.
  d.rot_draws.clear();
  ByteWriter w;
  encode_symbol_record(w, d);
  SymbolRecord back;
  ByteReader r(w.data());
  EXPECT_FALSE(decode_symbol_record(r, back).rot_pins);
}

TEST(RecordIo, LinksPageTableAndTitleBlock) {
  LibraryLink l;
  l.index = 2;
  l.kind = kLinkInc;
  l.texts = {std::string("f.lib"), std::nullopt, std::string("x")};
  l.scope = kLinkPart;
  l.words = counting<4>(int32_t{100});
  l.reserved40 = {9, 8, 7, 6};
  std::array<bool, 3> texts{};
  auto decode = [&texts](ByteReader& r, LibraryLink& x) { texts = decode_link(r, x); };
  auto encode = [](ByteWriter& w, const LibraryLink& x) { encode_link(w, x, true); };
  const LibraryLink out =
      expect_round_trip(l, kLibraryLinkSize, encode, decode, [&](LibraryLink& x) { x.texts = l.texts; });
  EXPECT_EQ(texts, (std::array<bool, 3>{true, false, true}));
  EXPECT_EQ(out.words, l.words);
  EXPECT_EQ(out.scope, kLinkPart);

  PageTable t;
  t.page_count = 3;
  t.current_page = 1;
  for (int k = 0; k < 3; ++k) t.entries[k] = {10 * k + 1, 10 * k + 9, k % 2, std::nullopt};
  t.entries[1].title = "Output stage";
  const PageTable pt = expect_round_trip(t, kPageTableSize, encode_page_table, decode_page_table,
                                         [&](PageTable& x) { x.entries[1].title = t.entries[1].title; });
  EXPECT_EQ(pt.current_page, 1);
  EXPECT_EQ(pt.entries[2].last_node, 29);
  EXPECT_FALSE(pt.entries[1].title);  // titles follow the table and are read apart

  TitleBlock b;
  b.title1.assign("Amplifier");
  b.revision.assign("Rev: 4");
  b.size.assign("Size: A");
  b.revised.bytes[31] = 'z';  // bytes after the NUL are kept as read
  const TitleBlock tb =
      expect_round_trip(b, kTitleBlockSize, encode_title_block, decode_title_block, nothing_follows);
  EXPECT_EQ(tb.revision.str(), "Rev: 4");
  EXPECT_EQ(tb.revised.bytes[31], 'z');
}

TEST(RecordIo, BlocksTheirPinsAndSymbolShapes) {
  SymbolRecord symbol;
  BlockRecord b;
  b.index = 1;
  b.text = "Simple opamp model";
  b.name.assign("OPAMP1");
  b.derived40 = {1, 1, 1, 1, 1, 1, 1, 1};
  b.pins.resize(2);
  b.words56 = counting<26>(int32_t{56});
  b.origin_x = 112;
  b.origin_y = -174;
  b.reserved168 = {5, 0, 5};
  b.first_node = 5;
  b.derived184 = {2, 2, 2};
  b.dirty = 0;
  b.word200 = -200;
  b.symbol_spec.emplace();
  b.symbol = &symbol;
  b.word216 = 216;
  BlockMarks m;
  auto decode = [&m](ByteReader& r, BlockRecord& x) { m = decode_block(r, x); };
  auto encode = [](ByteWriter& w, const BlockRecord& x) { encode_block(w, x, false); };
  const BlockRecord out = expect_round_trip(b, kBlockRecordSize, encode, decode, [&](BlockRecord& x) {
    x.text = b.text;
    x.pins = b.pins;
    x.symbol_spec = b.symbol_spec;
    x.symbol = b.symbol;
    x.derived40 = b.derived40;  // what a load works out afresh
    x.derived184 = b.derived184;
    x.dirty = b.dirty;
  });
  EXPECT_EQ(out.name.str(), "OPAMP1");
  EXPECT_EQ(out.words56, b.words56);
  EXPECT_EQ(out.origin_y, -174);
  EXPECT_EQ(out.word216, 216);
  EXPECT_EQ(out.derived40, (std::array<uint8_t, 8>{}));
  EXPECT_EQ(out.derived184, (std::array<uint8_t, 12>{}));
  EXPECT_EQ(out.dirty, 1);  // a loaded block is checked again
  EXPECT_TRUE(m.text && m.symbol_spec && m.symbol);
  EXPECT_EQ(m.pin_count, 2);

  BlockPin p;
  p.word0 = 1;
  p.word4 = 2;
  p.name.assign("GAIN");
  p.word16 = std::bit_cast<uint32_t>(2.5f);
  p.text = "the gain";
  bool has_text = false;
  auto decode_pin = [&has_text](ByteReader& r, BlockPin& x) { has_text = decode_block_pin(r, x); };
  const BlockPin pin = expect_round_trip(p, kBlockPinSize, encode_block_pin, decode_pin,
                                         [&](BlockPin& x) { x.text = p.text; });
  EXPECT_TRUE(has_text);
  EXPECT_EQ(std::bit_cast<float>(pin.word16), 2.5f);

  SymbolSpec s;
  s.name.assign("OPAMP1");
  s.text[0] = 'T';
  s.words = {1, 2, 3, 4};
  s.entry_count = 7;  // the list decides the stored count
  s.entries.emplace(2);
  bool has_entries = false;
  auto decode_spec = [&has_entries](ByteReader& r, SymbolSpec& x) { has_entries = decode_symbol_spec(r, x); };
  const SymbolSpec spec = expect_round_trip(s, kSymbolSpecSize, encode_symbol_spec, decode_spec,
                                            [&](SymbolSpec& x) { x.entries = s.entries; });
  EXPECT_TRUE(has_entries);
  EXPECT_EQ(spec.entry_count, 2);

  SymbolSpecEntry e;
  e.name.assign("IN");
  e.flag = 5;
  e.bytes9 = {9, 9, 9};
  e.words = {-1, 0, 1};
  const SymbolSpecEntry entry =
      expect_round_trip(e, kSymbolSpecEntrySize, encode_spec_entry, decode_spec_entry,
                        [&](SymbolSpecEntry& x) { x.flag = e.flag; });
  EXPECT_EQ(entry.flag, 0);  // cleared on load
  EXPECT_EQ(entry.words, e.words);
}

TEST(RecordIo, PartsAndTheirSourceEntries) {
  PartRecord p;
  p.device.assign("X");
  p.reference.assign("U12");
  p.value.assign("LM741");
  p.padding54 = {5, 4};
  p.params = {std::string("P1"), std::nullopt, std::string("P3"), std::nullopt};
  p.show = {1, 0, 1, 0};
  p.region = {-8, -8, 40, 8};
  p.x = 320;
  p.y = -96;
  p.step_count = 2;
  p.steps = {kStepRotate, kStepMirror, 0, 0, 0, 0, 0, 0};
  p.reserved148 = 148;
  p.color = 3;
  p.selected = 1;
  p.disabled = 1;
  p.reserved164 = 0x12345678;
  p.source_specs.resize(13);
  p.template_text = "X%r %1 %2 [%v]";
  PartMarks m;
  auto decode = [&m](ByteReader& r, PartRecord& x) { m = decode_part(r, x); };
  auto encode = [](ByteWriter& w, const PartRecord& x) { encode_part(w, x, true); };
  const PartRecord out = expect_round_trip(p, kPartRecordSize, encode, decode, [&](PartRecord& x) {
    x.params = p.params;
    x.source_specs = p.source_specs;
    x.template_text = p.template_text;
  });
  EXPECT_EQ(out.reference.str(), "U12");
  EXPECT_EQ(out.value.str(), "LM741");
  EXPECT_EQ(out.steps, p.steps);
  EXPECT_EQ(out.reserved164, 0x12345678u);
  EXPECT_EQ(m.source_count, 13);
  EXPECT_TRUE(m.template_text);
  EXPECT_FALSE(m.text2);

  SourceSpec e;
  e.kind = 4;
  e.word4 = -4;
  e.value = 1.5e-3;
  e.text = "PULSE(0 1)";
  e.word20 = 20;
  SourceSpec se = expect_round_trip(e, kSourceSpecSize, encode_source_spec, decode_source_spec,
                                    [&](SourceSpec& x) { x.text = e.text; });
  EXPECT_FALSE(se.text);  // the text follows the entry
  se.text = e.text;
  EXPECT_EQ(se, e);
}

TEST(RecordIo, WiresJunctionsLabelsAndTexts) {
  WireRecord w;
  w.orientation = 2;
  w.x1 = 16;
  w.y1 = -32;
  w.x2 = 16;
  w.y2 = 48;
  w.dx = 0;
  w.dy = 80;
  w.color = 9;
  w.selected = 1;
  w.disabled = 0;
  w.mark = 77;
  w.node = 12;
  auto encode_w = [](ByteWriter& b, const WireRecord& x) { encode_wire(b, x, true); };
  const WireRecord wire = expect_round_trip(w, kWireRecordSize, encode_w, decode_wire, nothing_follows);
  EXPECT_EQ(wire.dy, 80);
  EXPECT_EQ(wire.node, 12);
  EXPECT_EQ(wire.mark, 77);

  JunctionRecord j;
  j.x = 40;
  j.y = 56;
  j.box = {-2, -2, 2, 2};
  j.word36 = 36;
  auto encode_j = [](ByteWriter& b, const JunctionRecord& x) { encode_junction(b, x, false); };
  EXPECT_EQ(expect_round_trip(j, kJunctionRecordSize, encode_j, decode_junction, nothing_follows).box, j.box);

  LabelRecord l;
  l.index = 4;
  l.name.assign("out");
  l.width = 24;
  l.x = 100;
  l.y = 200;
  l.color = 1;
  auto encode_l = [](ByteWriter& b, const LabelRecord& x) { encode_label(b, x, true); };
  const LabelRecord label = expect_round_trip(l, kLabelRecordSize, encode_l, decode_label, nothing_follows);
  EXPECT_EQ(label.name.str(), "out");
  EXPECT_EQ(label.width, 24);

  TextRecord t;
  t.text = "* a comment";
  t.reserved4 = {4, 4};
  t.x = -8;
  t.y = 8;
  t.box = {0, -12, 80, 0};
  t.reserved36 = {3, 6};
  t.line_spacing = 1.5f;
  t.color2 = 7;
  t.word56 = 56;
  bool has_text = false;
  auto decode_t = [&has_text](ByteReader& r, TextRecord& x) { has_text = decode_text(r, x); };
  auto encode_t = [](ByteWriter& b, const TextRecord& x) { encode_text(b, x, false); };
  const TextRecord text =
      expect_round_trip(t, kTextRecordSize, encode_t, decode_t, [&](TextRecord& x) { x.text = t.text; });
  EXPECT_TRUE(has_text);
  EXPECT_EQ(text.line_spacing, 1.5f);
  EXPECT_EQ(text.reserved36, t.reserved36);
}

TEST(RecordIo, AShortImageIsReadUpToWhereItEnds) {
  WireRecord w;
  w.orientation = 2;
  w.x1 = 16;
  w.y1 = 24;
  ByteWriter b;
  encode_wire(b, w, false);
  // Ten bytes: two whole fields and half of the third.
  const std::vector<uint8_t> image(b.data().begin(), b.data().begin() + 10);
  ByteReader r(image);
  WireRecord out;
  out.y1 = -5;
  out.node = 33;
  decode_wire(r, out);
  EXPECT_TRUE(r.failed());
  EXPECT_EQ(r.position(), 8u);
  EXPECT_EQ(out.orientation, 2);
  EXPECT_EQ(out.x1, 16);
  EXPECT_EQ(out.y1, -5);  // left as it was
  EXPECT_EQ(out.node, 33);
}

TEST(RecordIo, PointersAreStoredAsMarksOnly) {
  BlockRecord owner;
  LabelRecord label;
  WireRecord w;
  w.label = &label;
  w.owner = &owner;
  ByteWriter with, without;
  encode_wire(with, w, true);
  encode_wire(without, WireRecord{}, false);
  ASSERT_EQ(with.size(), without.size());
  // The label, owner and next marks end the record: 1 with a pointer, 0 without.
  const std::vector<uint8_t> tail(with.data().end() - 12, with.data().end());
  EXPECT_EQ(tail, (std::vector<uint8_t>{1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0}));
  EXPECT_EQ(std::vector<uint8_t>(without.data().end() - 12, without.data().end()),
            std::vector<uint8_t>(12, 0));
}

}  // namespace
}  // namespace zephyrim
