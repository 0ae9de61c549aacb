#include "schematic/record_io.h"

#include <cstring>

namespace zephyrim {

// The decoders are handed a reader over exactly one record image (the caller
// checks the length first), so their field reads cannot fail.

namespace {

constexpr int32_t kMark = 1;

int32_t mark(bool present) { return present ? kMark : 0; }

template <size_t N>
void put(ByteWriter& w, const FixedText<N>& t) {
  w.bytes(t.bytes);
}
template <size_t N>
void get(ByteReader& r, FixedText<N>& t) {
  r.bytes(t.bytes);
}

void put(ByteWriter& w, const Region& g) {
  w.i32(g.x1);
  w.i32(g.y1);
  w.i32(g.x2);
  w.i32(g.y2);
}
void get(ByteReader& r, Region& g) {
  r.i32(g.x1);
  r.i32(g.y1);
  r.i32(g.x2);
  r.i32(g.y2);
}

template <size_t N>
void put_ints(ByteWriter& w, const std::array<int32_t, N>& a) {
  for (int32_t v : a) w.i32(v);
}
template <size_t N>
void get_ints(ByteReader& r, std::array<int32_t, N>& a) {
  for (int32_t& v : a) r.i32(v);
}

bool get_mark(ByteReader& r) {
  int32_t v = 0;
  r.i32(v);
  return v != 0;
}

}  // namespace

bool text_present(const std::optional<std::string>& t) { return t && !t->empty() && (*t)[0] != '\0'; }

// --- symbols ---

void encode_draw_command(ByteWriter& w, const DrawCommand& c) {
  w.u8(c.op);
  w.bytes(c.padding);
  w.i32(c.arg_count);
  put_ints(w, c.args);
}

void decode_draw_command(ByteReader& r, DrawCommand& c) {
  r.u8(c.op);
  r.bytes(c.padding);
  r.i32(c.arg_count);
  get_ints(r, c.args);
}

void encode_symbol_pin(ByteWriter& w, const SymbolPin& p) {
  w.i32(p.side);
  w.i32(p.x);
  w.i32(p.y);
  w.i32(p.lead_end);
  w.i32(p.number);
  put(w, p.pin_name);
  put_ints(w, p.reserved);
}

void decode_symbol_pin(ByteReader& r, SymbolPin& p) {
  r.i32(p.side);
  r.i32(p.x);
  r.i32(p.y);
  r.i32(p.lead_end);
  r.i32(p.number);
  get(r, p.pin_name);
  get_ints(r, p.reserved);
  p.pin_name.terminate();
}

void encode_symbol_record(ByteWriter& w, const SymbolRecord& d) {
  w.i32(d.index);
  w.i32(d.kind);
  w.i32(d.reserved8);
  put(w, d.name);
  put(w, d.description);
  put(w, d.default_value);
  put(w, d.region);
  w.i32(d.pin_count());
  w.i32(mark(!d.pins.empty()));
  w.i32(static_cast<int32_t>(d.draws.size()));
  w.i32(mark(!d.draws.empty()));
  w.i32(d.rotatable);
  w.i32(static_cast<int32_t>(d.rot_draws.size()));
  w.i32(mark(!d.rot_draws.empty()));
  put(w, d.rot_region);
  // Rotated pins are stored only with a rotated view, and only for a symbol with pins.
  w.i32(mark(d.rot_pins && !d.rot_draws.empty() && !d.pins.empty()));
  w.i32(mark(text_present(d.text236)));
  put_ints(w, d.reserved240);
  w.i32(mark(text_present(d.template_text)));
  w.i32(mark(text_present(d.text260)));
  w.i32(d.model_link_kind);
  w.i32(mark(text_present(d.model_file)));
  w.i32(mark(text_present(d.text272)));
}

SymbolMarks decode_symbol_record(ByteReader& r, SymbolRecord& d) {
  SymbolMarks m;
  r.i32(d.index);
  r.i32(d.kind);
  r.i32(d.reserved8);
  get(r, d.name);
  get(r, d.description);
  get(r, d.default_value);
  get(r, d.region);
  r.i32(m.pin_count);
  get_mark(r);  // pins follow by count
  r.i32(m.draw_count);
  get_mark(r);
  r.i32(d.rotatable);
  r.i32(m.rot_draw_count);
  get_mark(r);
  get(r, d.rot_region);
  m.rot_pins = get_mark(r);
  m.text236 = get_mark(r);
  get_ints(r, d.reserved240);
  m.template_text = get_mark(r);
  m.text260 = get_mark(r);
  r.i32(d.model_link_kind);
  m.model_file = get_mark(r);
  m.text272 = get_mark(r);
  return m;
}

// --- links, page table, title block ---

void encode_link(ByteWriter& w, const LibraryLink& l, bool has_next) {
  w.i32(l.index);
  w.i32(l.kind);
  for (const auto& t : l.texts) w.i32(mark(text_present(t)));
  w.i32(l.scope);
  put_ints(w, l.words);
  w.bytes(l.reserved40);
  w.i32(mark(has_next));
}

std::array<bool, 3> decode_link(ByteReader& r, LibraryLink& l) {
  std::array<bool, 3> texts{};
  r.i32(l.index);
  r.i32(l.kind);
  for (bool& t : texts) t = get_mark(r);
  r.i32(l.scope);
  get_ints(r, l.words);
  r.bytes(l.reserved40);
  get_mark(r);
  return texts;
}

void encode_page_table(ByteWriter& w, const PageTable& t) {
  w.i32(t.page_count);
  w.i32(t.current_page);
  for (const auto& e : t.entries) {
    w.i32(e.first_node);
    w.i32(e.last_node);
    w.i32(e.renumber);
    w.i32(mark(text_present(e.title)));
  }
}

void decode_page_table(ByteReader& r, PageTable& t) {
  r.i32(t.page_count);
  r.i32(t.current_page);
  for (auto& e : t.entries) {
    r.i32(e.first_node);
    r.i32(e.last_node);
    r.i32(e.renumber);
    get_mark(r);
    e.title.reset();
  }
}

void encode_title_block(ByteWriter& w, const TitleBlock& t) {
  put(w, t.title1);
  put(w, t.title2);
  put(w, t.file);
  put(w, t.page);
  put(w, t.number);
  put(w, t.revision);
  put(w, t.drawn_by);
  put(w, t.created);
  put(w, t.revised);
  put(w, t.size);
}

void decode_title_block(ByteReader& r, TitleBlock& t) {
  get(r, t.title1);
  get(r, t.title2);
  get(r, t.file);
  get(r, t.page);
  get(r, t.number);
  get(r, t.revision);
  get(r, t.drawn_by);
  get(r, t.created);
  get(r, t.revised);
  get(r, t.size);
}

// --- blocks ---

void encode_block(ByteWriter& w, const BlockRecord& b, bool has_next) {
  w.i32(b.index);
  w.i32(mark(text_present(b.text)));
  put(w, b.name);
  w.bytes(b.derived40);
  w.i32(static_cast<int32_t>(b.pins.size()));
  w.i32(mark(!b.pins.empty()));
  put_ints(w, b.words56);
  w.i32(b.origin_x);
  w.i32(b.origin_y);
  w.bytes(b.reserved168);
  w.i32(b.first_node);
  w.bytes(b.derived184);
  w.i32(b.dirty);
  w.i32(b.word200);
  w.i32(mark(b.symbol_spec.has_value()));
  w.i32(mark(b.symbol != nullptr));
  w.i32(mark(has_next));
  w.i32(b.word216);
}

BlockMarks decode_block(ByteReader& r, BlockRecord& b) {
  BlockMarks m;
  r.i32(b.index);
  m.text = get_mark(r);
  get(r, b.name);
  r.skip(8);
  b.derived40 = {};
  r.i32(m.pin_count);
  get_mark(r);
  get_ints(r, b.words56);
  r.i32(b.origin_x);
  r.i32(b.origin_y);
  r.bytes(b.reserved168);
  r.i32(b.first_node);
  r.skip(12);
  b.derived184 = {};
  r.skip(4);
  b.dirty = 1;
  r.i32(b.word200);
  m.symbol_spec = get_mark(r);
  m.symbol = get_mark(r);
  get_mark(r);
  r.i32(b.word216);
  b.name.terminate();
  return m;
}

void encode_block_pin(ByteWriter& w, const BlockPin& p) {
  w.i32(p.word0);
  w.i32(p.word4);
  put(w, p.name);
  w.u32(p.word16);
  w.i32(mark(text_present(p.text)));
}

bool decode_block_pin(ByteReader& r, BlockPin& p) {
  r.i32(p.word0);
  r.i32(p.word4);
  get(r, p.name);
  r.u32(p.word16);
  p.name.terminate();
  return get_mark(r);
}

void encode_symbol_spec(ByteWriter& w, const SymbolSpec& s) {
  put(w, s.name);
  w.bytes(s.text);
  put_ints(w, s.words);
  w.i32(s.entries ? static_cast<int32_t>(s.entries->size()) : s.entry_count);
  w.i32(mark(s.entries.has_value()));
}

bool decode_symbol_spec(ByteReader& r, SymbolSpec& s) {
  get(r, s.name);
  r.bytes(s.text);
  get_ints(r, s.words);
  r.i32(s.entry_count);
  s.name.terminate();
  return get_mark(r);
}

void encode_spec_entry(ByteWriter& w, const SymbolSpecEntry& e) {
  put(w, e.name);
  w.u8(e.flag);
  w.bytes(e.bytes9);
  put_ints(w, e.words);
}

void decode_spec_entry(ByteReader& r, SymbolSpecEntry& e) {
  get(r, e.name);
  r.skip(1);
  e.flag = 0;
  r.bytes(e.bytes9);
  get_ints(r, e.words);
}

// --- labels ---

void encode_label(ByteWriter& w, const LabelRecord& l, bool has_next) {
  w.i32(l.index);
  put(w, l.name);
  w.i32(l.width);
  w.i32(l.x);
  w.i32(l.y);
  w.i32(l.color);
  w.i32(l.selected);
  w.i32(l.disabled);
  w.i32(mark(l.owner != nullptr));
  w.i32(mark(has_next));
}

void decode_label(ByteReader& r, LabelRecord& l) {
  r.i32(l.index);
  get(r, l.name);
  r.i32(l.width);
  r.i32(l.x);
  r.i32(l.y);
  r.i32(l.color);
  r.i32(l.selected);
  r.i32(l.disabled);
  l.name.terminate();
}

// --- parts ---

void encode_part(ByteWriter& w, const PartRecord& p, bool has_next) {
  w.i32(mark(p.symbol != nullptr));
  put(w, p.device);
  put(w, p.reference);
  put(w, p.value);
  w.bytes(p.padding54);
  for (const auto& t : p.params) w.i32(mark(text_present(t)));
  put_ints(w, p.show);
  put(w, p.region);
  w.i32(p.x);
  w.i32(p.y);
  w.i32(p.step_count);
  put_ints(w, p.steps);
  w.i32(p.reserved148);
  w.i32(p.color);
  w.i32(p.selected);
  w.i32(p.disabled);
  w.u32(p.reserved164);
  w.i32(mark(!p.pin_nodes.empty()));
  w.i32(static_cast<int32_t>(p.source_specs.size()));
  w.i32(mark(!p.source_specs.empty()));
  w.i32(mark(text_present(p.template_text)));
  w.i32(mark(text_present(p.text2)));
  w.i32(mark(p.model_link != nullptr));
  w.i32(mark(p.owner != nullptr));
  w.i32(mark(has_next));
}

PartMarks decode_part(ByteReader& r, PartRecord& p) {
  PartMarks m;
  get_mark(r);
  get(r, p.device);
  get(r, p.reference);
  get(r, p.value);
  r.bytes(p.padding54);
  r.skip(16);  // parameter texts always follow
  get_ints(r, p.show);
  get(r, p.region);
  r.i32(p.x);
  r.i32(p.y);
  r.i32(p.step_count);
  get_ints(r, p.steps);
  r.i32(p.reserved148);
  r.i32(p.color);
  r.i32(p.selected);
  r.i32(p.disabled);
  r.u32(p.reserved164);
  get_mark(r);
  r.i32(m.source_count);
  get_mark(r);
  m.template_text = get_mark(r);
  m.text2 = get_mark(r);
  p.reference.terminate();
  p.value.terminate();
  return m;
}

void encode_source_spec(ByteWriter& w, const SourceSpec& e) {
  w.i32(e.kind);
  w.i32(e.word4);
  w.f64(e.value);
  w.i32(mark(text_present(e.text)));
  w.i32(e.word20);
}

void decode_source_spec(ByteReader& r, SourceSpec& e) {
  r.i32(e.kind);
  r.i32(e.word4);
  r.f64(e.value);
  get_mark(r);  // the text follows in any case
  r.i32(e.word20);
}

// --- wires, junctions, texts ---

void encode_wire(ByteWriter& w, const WireRecord& x, bool has_next) {
  w.i32(x.orientation);
  w.i32(x.x1);
  w.i32(x.y1);
  w.i32(x.x2);
  w.i32(x.y2);
  w.i32(x.dx);
  w.i32(x.dy);
  w.i32(x.color);
  w.i32(x.selected);
  w.i32(x.disabled);
  w.i32(x.mark);
  w.i32(x.node);
  w.i32(mark(x.label != nullptr));
  w.i32(mark(x.owner != nullptr));
  w.i32(mark(has_next));
}

void decode_wire(ByteReader& r, WireRecord& x) {
  r.i32(x.orientation);
  r.i32(x.x1);
  r.i32(x.y1);
  r.i32(x.x2);
  r.i32(x.y2);
  r.i32(x.dx);
  r.i32(x.dy);
  r.i32(x.color);
  r.i32(x.selected);
  r.i32(x.disabled);
  r.i32(x.mark);
  r.i32(x.node);
}

void encode_junction(ByteWriter& w, const JunctionRecord& j, bool has_next) {
  w.i32(j.x);
  w.i32(j.y);
  put(w, j.box);
  w.i32(j.color);
  w.i32(j.selected);
  w.i32(j.disabled);
  w.i32(j.word36);
  w.i32(mark(j.owner != nullptr));
  w.i32(mark(has_next));
}

void decode_junction(ByteReader& r, JunctionRecord& j) {
  r.i32(j.x);
  r.i32(j.y);
  get(r, j.box);
  r.i32(j.color);
  r.i32(j.selected);
  r.i32(j.disabled);
  r.i32(j.word36);
}

void encode_text(ByteWriter& w, const TextRecord& t, bool has_next) {
  w.i32(mark(text_present(t.text)));
  w.bytes(t.reserved4);
  w.i32(t.x);
  w.i32(t.y);
  put(w, t.box);
  w.bytes(t.reserved36);
  w.f32(t.line_spacing);
  w.i32(t.color);
  w.i32(t.color2);
  w.i32(t.word56);
  w.i32(t.selected);
  w.i32(t.disabled);
  w.i32(mark(t.owner != nullptr));
  w.i32(mark(has_next));
}

bool decode_text(ByteReader& r, TextRecord& t) {
  const bool has_text = get_mark(r);
  r.bytes(t.reserved4);
  r.i32(t.x);
  r.i32(t.y);
  get(r, t.box);
  r.bytes(t.reserved36);
  r.f32(t.line_spacing);
  r.i32(t.color);
  r.i32(t.color2);
  r.i32(t.word56);
  r.i32(t.selected);
  r.i32(t.disabled);
  return has_text;
}

}  // namespace zephyrim
