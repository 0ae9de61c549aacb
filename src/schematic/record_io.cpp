#include "schematic/record_io.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace zephyrim {

// The decoders are handed a reader over exactly one record image (the caller
// checks the length first), so their field reads cannot fail.

namespace {

constexpr int32_t kMark = 1;

// Writes a record's fields. Marks and counts are written from what the record
// holds; their second argument is the reader's.
class Put : public FieldWriter {
 public:
  using FieldWriter::FieldWriter;
  void region(const Region& g) {
    for (int32_t v : {g.x1, g.y1, g.x2, g.y2}) w_.i32(v);
  }
  // A presence mark: 1 or 0.
  void mark(bool present, const bool& /*seen*/ = false) { w_.i32(present ? kMark : 0); }
  // The number of items that follow the record.
  void count(int32_t n, const int32_t& /*seen*/) { w_.i32(n); }
  // Bytes worked out afresh after a load: written as held.
  template <size_t N>
  void derived(const std::array<uint8_t, N>& b) {
    w_.bytes(b);
  }
  // A field a load does not take from the file: written as held.
  void replaced(const int32_t& v, int32_t /*fresh*/) { w_.i32(v); }
  void replaced(const uint8_t& v, uint8_t /*fresh*/) { w_.u8(v); }
};

// Reads them back: marks and counts into their second argument, derived bytes
// cleared, replaced fields set to their fresh value. A load reads some fifty
// fields of each of hundreds of thousands of records, so the reads are inline
// here over the bytes ahead of the caller's reader, which moves past what was
// read when this is done. As with that reader, a field past the end of the
// image fails alone: it is left as it was and the reader is marked failed.
class Get {
 public:
  explicit Get(ByteReader& r) : r_(r), d_(r.data().subspan(r.position())) {}
  Get(const Get&) = delete;
  Get& operator=(const Get&) = delete;
  ~Get() {
    r_.skip(pos_);
    if (failed_) r_.skip(SIZE_MAX);  // only marks it failed
  }

  void u8(uint8_t& v) {
    if (const uint8_t* p = take(1)) v = p[0];
  }
  void i16(int16_t& v) { little_endian(v); }
  void i32(int32_t& v) { little_endian(v); }
  void u32(uint32_t& v) { little_endian(v); }
  void i64(int64_t& v) { little_endian(v); }
  void f32(float& v) {
    uint32_t u = 0;
    if (little_endian(u)) v = std::bit_cast<float>(u);
  }
  void f64(double& v) {
    uint64_t u = 0;
    if (little_endian(u)) v = std::bit_cast<double>(u);
  }
  template <size_t N>
  void bytes(std::array<uint8_t, N>& b) {
    if (const uint8_t* p = take(N)) std::copy_n(p, N, b.begin());
  }
  template <size_t N>
  void ints(std::array<int32_t, N>& a) {
    for (int32_t& v : a) i32(v);
  }
  template <size_t N>
  void text(FixedText<N>& t) {
    bytes(t.bytes);
  }
  void region(Region& g) {
    for (int32_t* v : {&g.x1, &g.y1, &g.x2, &g.y2}) i32(*v);
  }
  void mark(bool, bool& seen) {
    int32_t v = 0;
    i32(v);
    seen = v != 0;
  }
  void mark(bool) { take(4); }  // known from what follows, not from the mark
  void count(int32_t, int32_t& seen) { i32(seen); }
  template <size_t N>
  void derived(std::array<uint8_t, N>& b) {
    take(N);
    b = {};
  }
  void replaced(int32_t& v, int32_t fresh) {
    take(4);
    v = fresh;
  }
  void replaced(uint8_t& v, uint8_t fresh) {
    take(1);
    v = fresh;
  }

 private:
  const uint8_t* take(size_t n) {
    if (n > d_.size() - pos_) {
      failed_ = true;
      return nullptr;
    }
    const uint8_t* p = d_.data() + pos_;
    pos_ += n;
    return p;
  }
  template <typename T>
  bool little_endian(T& v) {
    const uint8_t* p = take(sizeof(T));
    if (!p) return false;
    using U = std::make_unsigned_t<T>;
    U u = 0;
    if constexpr (std::endian::native == std::endian::little) {
      std::memcpy(&u, p, sizeof u);  // one load where the host's order is the file's
    } else {
      for (size_t i = 0; i < sizeof(T); ++i) u = static_cast<U>(u | static_cast<U>(p[i]) << (8 * i));
    }
    v = static_cast<T>(u);
    return true;
  }

  ByteReader& r_;
  std::span<const uint8_t> d_;
  size_t pos_ = 0;
  bool failed_ = false;
};

// --- the field lists, in stored order ---

template <typename Io, typename C>
void draw_command_fields(Io& io, C& c) {
  io.u8(c.op);
  io.bytes(c.padding);
  io.i32(c.arg_count);
  io.ints(c.args);
}

template <typename Io, typename P>
void symbol_pin_fields(Io& io, P& p) {
  io.i32(p.side);
  io.i32(p.x);
  io.i32(p.y);
  io.i32(p.lead_end);
  io.i32(p.number);
  io.text(p.pin_name);
  io.ints(p.reserved);
}

template <typename Io, typename D>
void symbol_record_fields(Io& io, D& d, SymbolMarks& m) {
  io.i32(d.index);
  io.i32(d.kind);
  io.i32(d.reserved8);
  io.text(d.name);
  io.text(d.description);
  io.text(d.default_value);
  io.region(d.region);
  io.count(d.pin_count(), m.pin_count);
  io.mark(!d.pins.empty());
  io.count(static_cast<int32_t>(d.draws.size()), m.draw_count);
  io.mark(!d.draws.empty());
  io.i32(d.rotatable);
  io.count(static_cast<int32_t>(d.rot_draws.size()), m.rot_draw_count);
  io.mark(!d.rot_draws.empty());
  io.region(d.rot_region);
  // Rotated pins are stored only with a rotated view, and only for a symbol with pins.
  io.mark(d.rot_pins && !d.rot_draws.empty() && !d.pins.empty(), m.rot_pins);
  io.mark(text_present(d.text236), m.text236);
  io.ints(d.reserved240);
  io.mark(text_present(d.template_text), m.template_text);
  io.mark(text_present(d.text260), m.text260);
  io.i32(d.model_link_kind);
  io.mark(text_present(d.model_file), m.model_file);
  io.mark(text_present(d.text272), m.text272);
}

template <typename Io, typename L>
void link_fields(Io& io, L& l, std::array<bool, 3>& texts, bool has_next) {
  io.i32(l.index);
  io.i32(l.kind);
  for (size_t i = 0; i < texts.size(); ++i) io.mark(text_present(l.texts[i]), texts[i]);
  io.i32(l.scope);
  io.ints(l.words);
  io.bytes(l.reserved40);
  io.mark(has_next);
}

template <typename Io, typename T>
void page_table_fields(Io& io, T& t) {
  io.i32(t.page_count);
  io.i32(t.current_page);
  for (auto& e : t.entries) {
    io.i32(e.first_node);
    io.i32(e.last_node);
    io.i32(e.renumber);
    io.mark(text_present(e.title));
  }
}

template <typename Io, typename T>
void title_block_fields(Io& io, T& t) {
  io.text(t.title1);
  io.text(t.title2);
  io.text(t.file);
  io.text(t.page);
  io.text(t.number);
  io.text(t.revision);
  io.text(t.drawn_by);
  io.text(t.created);
  io.text(t.revised);
  io.text(t.size);
}

template <typename Io, typename B>
void block_fields(Io& io, B& b, BlockMarks& m, bool has_next) {
  io.i32(b.index);
  io.mark(text_present(b.text), m.text);
  io.text(b.name);
  io.derived(b.derived40);
  io.count(static_cast<int32_t>(b.pins.size()), m.pin_count);
  io.mark(!b.pins.empty());
  io.ints(b.words56);
  io.i32(b.origin_x);
  io.i32(b.origin_y);
  io.bytes(b.reserved168);
  io.i32(b.first_node);
  io.derived(b.derived184);
  io.replaced(b.dirty, 1);  // a loaded block is checked again by the next pass
  io.i32(b.word200);
  io.mark(b.symbol_spec.has_value(), m.symbol_spec);
  io.mark(b.symbol != nullptr, m.symbol);
  io.mark(has_next);
  io.i32(b.word216);
}

template <typename Io, typename P>
void block_pin_fields(Io& io, P& p, bool& has_text) {
  io.i32(p.word0);
  io.i32(p.word4);
  io.text(p.name);
  io.u32(p.word16);
  io.mark(text_present(p.text), has_text);
}

template <typename Io, typename S>
void symbol_spec_fields(Io& io, S& s, bool& has_entries) {
  io.text(s.name);
  io.bytes(s.text);
  io.ints(s.words);
  io.count(s.entries ? static_cast<int32_t>(s.entries->size()) : s.entry_count, s.entry_count);
  io.mark(s.entries.has_value(), has_entries);
}

template <typename Io, typename E>
void spec_entry_fields(Io& io, E& e) {
  io.text(e.name);
  io.replaced(e.flag, uint8_t{0});
  io.bytes(e.bytes9);
  io.ints(e.words);
}

template <typename Io, typename L>
void label_fields(Io& io, L& l, bool has_next) {
  io.i32(l.index);
  io.text(l.name);
  io.i32(l.width);
  io.i32(l.x);
  io.i32(l.y);
  io.i32(l.color);
  io.i32(l.selected);
  io.i32(l.disabled);
  io.mark(l.owner != nullptr);
  io.mark(has_next);
}

template <typename Io, typename P>
void part_fields(Io& io, P& p, PartMarks& m, bool has_next) {
  io.mark(p.symbol != nullptr);
  io.text(p.device);
  io.text(p.reference);
  io.text(p.value);
  io.bytes(p.padding54);
  for (const auto& t : p.params) io.mark(text_present(t));  // parameter texts always follow
  io.ints(p.show);
  io.region(p.region);
  io.i32(p.x);
  io.i32(p.y);
  io.i32(p.step_count);
  io.ints(p.steps);
  io.i32(p.reserved148);
  io.i32(p.color);
  io.i32(p.selected);
  io.i32(p.disabled);
  io.u32(p.reserved164);
  io.mark(!p.pin_nodes.empty());
  io.count(static_cast<int32_t>(p.source_specs.size()), m.source_count);
  io.mark(!p.source_specs.empty());
  io.mark(text_present(p.template_text), m.template_text);
  io.mark(text_present(p.text2), m.text2);
  io.mark(p.model_link != nullptr);
  io.mark(p.owner != nullptr);
  io.mark(has_next);
}

template <typename Io, typename E>
void source_spec_fields(Io& io, E& e) {
  io.i32(e.kind);
  io.i32(e.word4);
  io.f64(e.value);
  io.mark(text_present(e.text));  // the text follows in any case
  io.i32(e.word20);
}

template <typename Io, typename W>
void wire_fields(Io& io, W& x, bool has_next) {
  for (auto* v : {&x.orientation, &x.x1, &x.y1, &x.x2, &x.y2, &x.dx, &x.dy, &x.color, &x.selected,
                  &x.disabled, &x.mark, &x.node})
    io.i32(*v);
  io.mark(x.label != nullptr);
  io.mark(x.owner != nullptr);
  io.mark(has_next);
}

template <typename Io, typename J>
void junction_fields(Io& io, J& j, bool has_next) {
  io.i32(j.x);
  io.i32(j.y);
  io.region(j.box);
  io.i32(j.color);
  io.i32(j.selected);
  io.i32(j.disabled);
  io.i32(j.word36);
  io.mark(j.owner != nullptr);
  io.mark(has_next);
}

template <typename Io, typename T>
void text_fields(Io& io, T& t, bool& has_text, bool has_next) {
  io.mark(text_present(t.text), has_text);
  io.bytes(t.reserved4);
  io.i32(t.x);
  io.i32(t.y);
  io.region(t.box);
  io.bytes(t.reserved36);
  io.f32(t.line_spacing);
  io.i32(t.color);
  io.i32(t.color2);
  io.i32(t.word56);
  io.i32(t.selected);
  io.i32(t.disabled);
  io.mark(t.owner != nullptr);
  io.mark(has_next);
}

}  // namespace

bool text_present(const std::optional<std::string>& t) {
  return t && !t->empty() && (*t)[0] != '\0';
}

// Only the readers of a name that the program compares or shows end it with a
// NUL; every other field keeps the bytes as read, so a save writes them back.

void encode_draw_command(ByteWriter& w, const DrawCommand& c) {
  Put io(w);
  draw_command_fields(io, c);
}

void decode_draw_command(ByteReader& r, DrawCommand& c) {
  Get io(r);
  draw_command_fields(io, c);
}

void encode_symbol_pin(ByteWriter& w, const SymbolPin& p) {
  Put io(w);
  symbol_pin_fields(io, p);
}

void decode_symbol_pin(ByteReader& r, SymbolPin& p) {
  Get io(r);
  symbol_pin_fields(io, p);
  p.pin_name.terminate();
}

void encode_symbol_record(ByteWriter& w, const SymbolRecord& d) {
  Put io(w);
  SymbolMarks unused;
  symbol_record_fields(io, d, unused);
}

SymbolMarks decode_symbol_record(ByteReader& r, SymbolRecord& d) {
  Get io(r);
  SymbolMarks m;
  symbol_record_fields(io, d, m);
  return m;
}

void encode_link(ByteWriter& w, const LibraryLink& l, bool has_next) {
  Put io(w);
  std::array<bool, 3> unused{};
  link_fields(io, l, unused, has_next);
}

std::array<bool, 3> decode_link(ByteReader& r, LibraryLink& l) {
  Get io(r);
  std::array<bool, 3> texts{};
  link_fields(io, l, texts, false);
  return texts;
}

void encode_page_table(ByteWriter& w, const PageTable& t) {
  Put io(w);
  page_table_fields(io, t);
}

void decode_page_table(ByteReader& r, PageTable& t) {
  Get io(r);
  page_table_fields(io, t);
  for (auto& e : t.entries) e.title.reset();
}

void encode_title_block(ByteWriter& w, const TitleBlock& t) {
  Put io(w);
  title_block_fields(io, t);
}

void decode_title_block(ByteReader& r, TitleBlock& t) {
  Get io(r);
  title_block_fields(io, t);
}

void encode_block(ByteWriter& w, const BlockRecord& b, bool has_next) {
  Put io(w);
  BlockMarks unused;
  block_fields(io, b, unused, has_next);
}

BlockMarks decode_block(ByteReader& r, BlockRecord& b) {
  Get io(r);
  BlockMarks m;
  block_fields(io, b, m, false);
  b.name.terminate();
  return m;
}

void encode_block_pin(ByteWriter& w, const BlockPin& p) {
  Put io(w);
  bool unused = false;
  block_pin_fields(io, p, unused);
}

bool decode_block_pin(ByteReader& r, BlockPin& p) {
  Get io(r);
  bool has_text = false;
  block_pin_fields(io, p, has_text);
  p.name.terminate();
  return has_text;
}

void encode_symbol_spec(ByteWriter& w, const SymbolSpec& s) {
  Put io(w);
  bool unused = false;
  symbol_spec_fields(io, s, unused);
}

bool decode_symbol_spec(ByteReader& r, SymbolSpec& s) {
  Get io(r);
  bool has_entries = false;
  symbol_spec_fields(io, s, has_entries);
  s.name.terminate();
  return has_entries;
}

void encode_spec_entry(ByteWriter& w, const SymbolSpecEntry& e) {
  Put io(w);
  spec_entry_fields(io, e);
}

void decode_spec_entry(ByteReader& r, SymbolSpecEntry& e) {
  Get io(r);
  spec_entry_fields(io, e);
}

void encode_label(ByteWriter& w, const LabelRecord& l, bool has_next) {
  Put io(w);
  label_fields(io, l, has_next);
}

void decode_label(ByteReader& r, LabelRecord& l) {
  Get io(r);
  label_fields(io, l, false);
  l.name.terminate();
}

void encode_part(ByteWriter& w, const PartRecord& p, bool has_next) {
  Put io(w);
  PartMarks unused;
  part_fields(io, p, unused, has_next);
}

PartMarks decode_part(ByteReader& r, PartRecord& p) {
  Get io(r);
  PartMarks m;
  part_fields(io, p, m, false);
  p.reference.terminate();
  p.value.terminate();
  return m;
}

void encode_source_spec(ByteWriter& w, const SourceSpec& e) {
  Put io(w);
  source_spec_fields(io, e);
}

void decode_source_spec(ByteReader& r, SourceSpec& e) {
  Get io(r);
  source_spec_fields(io, e);
}

void encode_wire(ByteWriter& w, const WireRecord& x, bool has_next) {
  Put io(w);
  wire_fields(io, x, has_next);
}

void decode_wire(ByteReader& r, WireRecord& x) {
  Get io(r);
  wire_fields(io, x, false);
}

void encode_junction(ByteWriter& w, const JunctionRecord& j, bool has_next) {
  Put io(w);
  junction_fields(io, j, has_next);
}

void decode_junction(ByteReader& r, JunctionRecord& j) {
  Get io(r);
  junction_fields(io, j, false);
}

void encode_text(ByteWriter& w, const TextRecord& t, bool has_next) {
  Put io(w);
  bool unused = false;
  text_fields(io, t, unused, has_next);
}

bool decode_text(ByteReader& r, TextRecord& t) {
  Get io(r);
  bool has_text = false;
  text_fields(io, t, has_text, false);
  return has_text;
}

}  // namespace zephyrim
