#include "schematic/schematic_file.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "common/byte_io.h"
#include "common/file_io.h"
#include "common/text_format.h"
#include "schematic/page_check.h"
#include "schematic/record_io.h"

namespace zephyrim {

namespace {

constexpr size_t kMarkerSize = 16;
constexpr size_t kMaxShortText = 32767;
constexpr size_t kMaxLinkText = 256;
constexpr size_t kMaxPageTitle = 256;
constexpr int kMaxMessage = 72;

constexpr const char* kSymbolMarker = ">SYMBOL BLOCK<";
constexpr const char* kSheetsMarker = ">SHEETS BLOCK<";
constexpr const char* kSheetMarker = ">SHEET START<";
constexpr const char* kBlockMarker = ">SUBCKT BLOCK<";
constexpr const char* kLabelMarker = ">LABEL BLOCK<";
constexpr const char* kPartMarker = ">PART BLOCK<";
constexpr const char* kWireMarker = ">WIRE BLOCK<";
constexpr const char* kDotMarker = ">DOT BLOCK<";
constexpr const char* kTextMarker = ">TEXT BLOCK<";

struct ReservedBlock {
  const char* marker;
  int marker_code, count_code;
};
constexpr ReservedBlock kReservedBlocks[] = {
    {">GRAPH BLOCK<", 250, 251},
    {">MARKER BLOCK<", 270, 271},
    {">MEASURE BLOCK<", 280, 281},
    {">FILEOBJ BLOCK<", 260, 261},
};

// The stored text: cut at its first NUL and at the limit the reader accepts, so
// that the writer never makes a file its own reader refuses.
std::string_view stored_text(const std::optional<std::string>& t, size_t limit) {
  if (!text_present(t)) return {};
  std::string_view v(*t);
  v = v.substr(0, std::min(v.find('\0'), limit));
  return v;
}

// ---------------------------------------------------------------- writing

class Writer {
 public:
  Writer(Schematic& s, Notify& notify, std::time_t now) : s_(s), notify_(notify), now_(now) {}

  std::vector<uint8_t> run();

 private:
  void marker(const char* name) { w_.padded_text(name, kMarkerSize); }
  void short_text(const std::optional<std::string>& t, size_t limit = kMaxShortText) {
    w_.counted_text16(stored_text(t, limit));
  }
  void long_text(const std::optional<std::string>& t, size_t limit) {
    w_.counted_text32(stored_text(t, limit));
  }

  void globals();
  void symbols();
  void sheets();
  void page(Page& p);

  Schematic& s_;
  Notify& notify_;
  std::time_t now_;
  ByteWriter w_;
  std::unordered_map<const LibraryLink*, int32_t> link_pos_;  // the same for every page
};

template <typename T>
std::unordered_map<const T*, int32_t> positions(const std::vector<std::unique_ptr<T>>& list) {
  std::unordered_map<const T*, int32_t> m;
  m.reserve(list.size());
  for (size_t i = 0; i < list.size(); ++i) m.emplace(list[i].get(), static_cast<int32_t>(i));
  return m;
}

template <typename T>
int32_t position_of(const std::unordered_map<const T*, int32_t>& m, const T* r) {
  if (!r) return -1;
  auto it = m.find(r);
  return it == m.end() ? -1 : it->second;
}

void Writer::globals() {
  w_.text("QUILLS");
  w_.zeros(2);
  w_.bytes(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(kSchematicVersionBytes), 8));
  w_.i32(kSchematicFormat);
  w_.zeros(15 * 4);
  w_.i32(s_.reserved_value);
  w_.i32(s_.bias_display);
  w_.i32(0);
  w_.i32(static_cast<int32_t>(s_.links.size()));
  for (size_t i = 0; i < s_.links.size(); ++i) {
    LibraryLink& l = *s_.links[i];
    l.index = static_cast<int32_t>(i);
    encode_link(w_, l, i + 1 < s_.links.size());
    for (const auto& t : l.texts) short_text(t, kMaxLinkText);
  }
  w_.i32(s_.reserved_pair[0]);
  w_.i32(s_.reserved_pair[1]);
}

bool symbol_saved(const SymbolTableEntry& e) {
  return e.definition && !((e.origin == kOriginLibrary || e.origin == kOriginChosen) && !e.in_use);
}

void Writer::symbols() {
  marker(kSymbolMarker);
  auto& entries = s_.symbols.entries;
  int32_t count = 0;
  for (size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].definition) entries[i].definition->index = static_cast<int32_t>(i);
    if (symbol_saved(entries[i])) ++count;
  }
  w_.i32(count);
  for (const auto& e : entries) {
    if (!symbol_saved(e)) continue;
    const SymbolRecord& d = *e.definition;
    w_.bytes(e.name.bytes);
    encode_symbol_record(w_, d);
    for (const auto& c : d.draws) encode_draw_command(w_, c);
    for (const auto& p : d.pins) encode_symbol_pin(w_, p);
    if (!d.rot_draws.empty()) {
      for (const auto& c : d.rot_draws) encode_draw_command(w_, c);
      if (d.rot_pins && !d.pins.empty()) {
        // Rotated pins are stored as many as the symbol has pins.
        for (size_t i = 0; i < d.pins.size(); ++i)
          encode_symbol_pin(w_, i < d.rot_pins->size() ? (*d.rot_pins)[i] : SymbolPin{});
      }
    }
    for (const auto* t : {&d.text236, &d.template_text, &d.text260, &d.model_file, &d.text272})
      if (text_present(*t)) short_text(*t);
    w_.i32(e.origin);
  }
}

void Writer::sheets() {
  marker(kSheetsMarker);
  encode_page_table(w_, s_.page_table);
  for (int k = 0; k < s_.page_count(); ++k) {
    const std::string_view t = stored_text(s_.page_table.entries[k].title, kMaxPageTitle);
    if (t.empty()) {
      w_.i32(0);
      continue;
    }
    w_.i32(static_cast<int32_t>(t.size() + 1));  // a page title's length counts its NUL
    w_.nul_text(t);
  }
}

void Writer::page(Page& p) {
  const PageSettings& g = p.settings;
  marker(kSheetMarker);
  for (int32_t v : g.reserved) w_.i32(v);
  for (int32_t v : {g.view_x, g.view_y, g.centre_x, g.centre_y, g.view, g.zoom, g.border, g.show_grid,
                    g.show_title, g.sheet_size, g.scale, g.show_nodes})
    w_.i32(v);
  encode_title_block(w_, p.title);

  // Indices are positions; a reference to a record that is not on this page is stored as none.
  for (size_t i = 0; i < p.blocks.size(); ++i) p.blocks[i]->index = static_cast<int32_t>(i);
  for (size_t i = 0; i < p.labels.size(); ++i) p.labels[i]->index = static_cast<int32_t>(i);
  const auto block_pos = positions(p.blocks);
  const auto label_pos = positions(p.labels);
  std::unordered_map<const SymbolRecord*, int32_t> symbol_pos;
  for (const auto& e : s_.symbols.entries)
    if (e.definition) symbol_pos.emplace(e.definition.get(), e.definition->index);
  auto symbol_index = [&](const SymbolRecord* d) {
    auto it = symbol_pos.find(d);
    return it == symbol_pos.end() ? -1 : it->second;
  };
  auto owner = [&](const BlockRecord* b) { return position_of(block_pos, b); };

  marker(kBlockMarker);
  w_.i32(static_cast<int32_t>(p.blocks.size()));
  for (size_t i = 0; i < p.blocks.size(); ++i) {
    BlockRecord& b = *p.blocks[i];
    if (b.symbol && symbol_index(b.symbol) < 0) b.symbol = nullptr;
    encode_block(w_, b, i + 1 < p.blocks.size());
    if (text_present(b.text)) long_text(b.text, kMaxParamText);
    for (const auto& pin : b.pins) {
      encode_block_pin(w_, pin);
      if (text_present(pin.text)) long_text(pin.text, kMaxParamText);
    }
    if (b.symbol_spec) {
      encode_symbol_spec(w_, *b.symbol_spec);
      if (b.symbol_spec->entries)
        for (const auto& e : *b.symbol_spec->entries) encode_spec_entry(w_, e);
    }
    if (b.symbol) w_.i32(symbol_index(b.symbol));
  }

  marker(kLabelMarker);
  w_.i32(static_cast<int32_t>(p.labels.size()));
  for (size_t i = 0; i < p.labels.size(); ++i) {
    encode_label(w_, *p.labels[i], i + 1 < p.labels.size());
    w_.i32(owner(p.labels[i]->owner));
  }

  marker(kPartMarker);
  w_.i32(static_cast<int32_t>(p.parts.size()));
  for (size_t i = 0; i < p.parts.size(); ++i) {
    const PartRecord& part = *p.parts[i];
    encode_part(w_, part, i + 1 < p.parts.size());
    w_.i32(symbol_index(part.symbol));
    for (const auto& t : part.params) long_text(t, kMaxParamText);
    const int pins = part.symbol ? part.symbol->pin_count() : 0;
    w_.i32(pins);
    for (int k = 0; k < pins; ++k)
      w_.i32(k < static_cast<int>(part.pin_nodes.size()) ? position_of(label_pos, part.pin_nodes[k].label)
                                                         : -1);
    for (const auto& e : part.source_specs) {
      encode_source_spec(w_, e);
      short_text(e.text, kMaxParamText);
    }
    if (text_present(part.template_text)) short_text(part.template_text);
    if (text_present(part.text2)) short_text(part.text2);
    w_.i32(position_of(link_pos_, static_cast<const LibraryLink*>(part.model_link)));
    w_.i32(owner(part.owner));
  }

  marker(kWireMarker);
  w_.i32(static_cast<int32_t>(p.wires.size()));
  for (size_t i = 0; i < p.wires.size(); ++i) {
    encode_wire(w_, *p.wires[i], i + 1 < p.wires.size());
    w_.i32(position_of(label_pos, static_cast<const LabelRecord*>(p.wires[i]->label)));
    w_.i32(owner(p.wires[i]->owner));
  }

  marker(kDotMarker);
  w_.i32(static_cast<int32_t>(p.junctions.size()));
  for (size_t i = 0; i < p.junctions.size(); ++i) {
    encode_junction(w_, *p.junctions[i], i + 1 < p.junctions.size());
    w_.i32(owner(p.junctions[i]->owner));
  }

  marker(kTextMarker);
  w_.i32(static_cast<int32_t>(p.texts.size()));
  for (size_t i = 0; i < p.texts.size(); ++i) {
    const TextRecord& t = *p.texts[i];
    encode_text(w_, t, i + 1 < p.texts.size());
    if (text_present(t.text)) long_text(t.text, kMaxObjectText);
    w_.i32(owner(t.owner));
  }

  for (const auto& r : kReservedBlocks) {
    marker(r.marker);
    w_.i32(0);
  }
}

std::vector<uint8_t> Writer::run() {
  symtab_purge(s_);
  links_prune(s_);
  link_pos_ = positions(s_.links);
  globals();
  symbols();
  sheets();
  const int current = s_.current_page();
  for (int k = 0; k < s_.page_count(); ++k) {
    s_.page_table.current_page = k;
    page_check(s_, notify_);
    if (k == 0 && s_.revision_due) {
      titleblock_revision_update(s_.page().title, now_);
      s_.revision_due = false;
    }
    page(s_.page());
  }
  s_.page_table.current_page = current;
  return w_.take();
}

// ---------------------------------------------------------------- reading

enum class TextRead { ok, length, too_long, memory, read };

struct TextCodes {
  int length, too_long, memory, read;
  int of(TextRead r) const {
    switch (r) {
      case TextRead::length:
        return length;
      case TextRead::too_long:
        return too_long;
      case TextRead::memory:
        return memory;
      case TextRead::read:
        return read;
      case TextRead::ok:
        break;
    }
    return 0;
  }
};

// A page section's outcome: the first error code, and whether the reader got
// through to the section's end (so that the next page can still be read).
struct PageRead {
  int code = 0;
  bool complete = true;
};

class Loader {
 public:
  Loader(std::span<const uint8_t> bytes, const std::string& path, Notify& notify, const ObjectColors& colors)
      : r_(bytes), path_(path), notify_(notify), colors_(colors) {}

  SchematicLoad run();

 private:
  // Reads a fixed-size record image and decodes it; false when short.
  template <typename Decode>
  bool record(size_t size, Decode decode) {
    std::span<const uint8_t> v = r_.view(size);
    if (v.size() != size) return false;
    ByteReader rr(v);
    decode(rr);
    return true;
  }
  bool i32(int32_t& v) { return r_.i32(v); }
  // A page-section count: its low 16 bits as a signed number, never negative.
  bool count(int& n) {
    int32_t v = 0;
    if (!r_.i32(v)) return false;
    n = static_cast<int16_t>(static_cast<uint32_t>(v) & 0xffff);
    return n >= 0;
  }
  // True when n records of at least `each` bytes can still follow.
  bool fits(int64_t n, size_t each) const {
    return n >= 0 && static_cast<uint64_t>(n) * each <= r_.remaining();
  }
  bool marker(const char* name);
  bool seek_marker(const char* name);
  TextRead text_bytes(int64_t n, size_t limit, std::optional<std::string>& out);
  TextRead short_text(std::optional<std::string>& out, size_t limit = kMaxShortText);
  TextRead long_text(std::optional<std::string>& out, size_t limit);

  int header();
  int globals();
  int symbols();
  int symbol(int32_t version);
  int sheets();
  PageRead page();
  int blocks();
  int labels();
  int parts();
  int wires();
  int junctions();
  int texts();
  int reserved();

  BlockRecord* owner_block(int32_t index) { return block_find(*s_, index); }
  LabelRecord* label_by_index(int32_t index) {
    auto it = labels_.find(index);
    return it == labels_.end() ? nullptr : it->second;
  }
  const SymbolRecord* symbol_by_index(int32_t index) {
    auto it = symbol_map_.find(index);
    return it == symbol_map_.end() ? nullptr : it->second;
  }

  ByteReader r_;
  std::string path_;
  Notify& notify_;
  ObjectColors colors_;
  std::unique_ptr<Schematic> s_;
  std::string version_text_;
  int32_t version_ = 0;
  int32_t saved_current_ = 0;
  std::unordered_map<int32_t, const SymbolRecord*> symbol_map_;
  std::unordered_map<int32_t, LabelRecord*> labels_;  // of the page being read, by stored index
};

bool Loader::marker(const char* name) {
  return r_.padded_name(name, kMarkerSize);
}

bool Loader::seek_marker(const char* name) {
  const std::span<const uint8_t> data = r_.data();
  const std::string_view all(reinterpret_cast<const char*>(data.data()), data.size());
  const size_t at = all.find(name, r_.position());
  return at != std::string_view::npos && r_.seek(at);
}

TextRead Loader::text_bytes(int64_t n, size_t limit, std::optional<std::string>& out) {
  out.reset();
  if (n <= 0) return TextRead::ok;
  if (static_cast<uint64_t>(n) > limit) return TextRead::too_long;
  std::string text;
  if (!r_.nul_text(static_cast<size_t>(n), text)) return TextRead::read;
  if (!text.empty()) out = std::move(text);
  return TextRead::ok;
}

TextRead Loader::short_text(std::optional<std::string>& out, size_t limit) {
  int16_t n = 0;
  if (!r_.i16(n)) return TextRead::length;
  return text_bytes(n, limit, out);
}

TextRead Loader::long_text(std::optional<std::string>& out, size_t limit) {
  int32_t n = 0;
  if (!r_.i32(n)) return TextRead::length;
  if (n < 0) return TextRead::memory;
  return text_bytes(n, limit, out);
}

int Loader::header() {
  std::span<const uint8_t> magic = r_.view(8);
  if (magic.size() != 8) return kLoadShort;
  if (std::memcmp(magic.data(), "QUILLS", 6) != 0) {
    notify_.error(strprintf("%s is not a Zephyrim schematic file", path_.c_str()));
    return kLoadNotSchematic;
  }
  std::span<const uint8_t> v = r_.view(8);
  if (v.size() != 8) return kLoadNoVersion;
  const auto* p = reinterpret_cast<const char*>(v.data());
  version_text_.assign(p, strnlen(p, 8));
  if (p[0] == '1') return kLoadOldVersion;
  // The version is the number in the first four characters, times 100.
  const std::string four(p, strnlen(p, 4));
  char* end = nullptr;
  const double number = std::strtod(four.c_str(), &end);
  if (end == four.c_str() || !std::isfinite(number) || number < 0 || number > 1e6) return kLoadOldVersion;
  version_ = static_cast<int32_t>(number * 100 + 0.5);
  if (version_ < 700) return kLoadOldVersion;
  int32_t format = 0;
  if (!i32(format)) return kLoadNoFormat;
  if (format != kSchematicFormat) {
    notify_.error(strprintf("Zephyrim schematic file format %d not supported", format));
    return kLoadBadFormat;
  }
  return 0;
}

int Loader::globals() {
  int32_t v = 0;
  if (!i32(v)) return 103;
  if (!r_.skip(14 * 4)) return 104;
  if (!i32(s_->reserved_value)) return 112;
  if (!i32(v)) return 112;
  s_->bias_display = v == 0 ? 0 : 2;
  if (!i32(v)) return 111;
  int32_t links = 0;
  if (!i32(links) || !fits(links, kLibraryLinkSize + 6)) return 1;
  for (int32_t i = 0; i < links; ++i) {
    auto link = std::make_unique<LibraryLink>();
    if (!record(kLibraryLinkSize, [&](ByteReader& rr) { decode_link(rr, *link); })) return 1;
    for (auto& t : link->texts)
      if (short_text(t, kMaxLinkText) != TextRead::ok) return 1;
    s_->links.push_back(std::move(link));
  }
  if (!i32(s_->reserved_pair[0])) return 1;
  if (!i32(s_->reserved_pair[1])) return 115;
  return 0;
}

int Loader::symbol(int32_t version) {
  FixedText<32> name;
  if (!record(32, [&](ByteReader& rr) { rr.bytes(name.bytes); })) return 125;
  auto d = std::make_unique<SymbolRecord>();
  SymbolMarks m;
  if (!record(kSymbolRecordSize, [&](ByteReader& rr) { m = decode_symbol_record(rr, *d); })) return 126;

  auto read_draws = [&](int32_t n, std::vector<DrawCommand>& out, int memory_code, int read_code) {
    if (n < 0) return memory_code;
    if (!fits(n, kDrawCommandSize)) return read_code;
    out.resize(static_cast<size_t>(n));
    for (auto& c : out) record(kDrawCommandSize, [&](ByteReader& rr) { decode_draw_command(rr, c); });
    return 0;
  };
  auto read_pins = [&](int32_t n, std::vector<SymbolPin>& out, int memory_code, int read_code) {
    if (n < 0) return memory_code;
    if (!fits(n, kSymbolPinSize)) return read_code;
    out.resize(static_cast<size_t>(n));
    for (auto& p : out) record(kSymbolPinSize, [&](ByteReader& rr) { decode_symbol_pin(rr, p); });
    return 0;
  };
  if (int e = read_draws(m.draw_count, d->draws, 127, 130)) return e;
  if (int e = read_pins(m.pin_count, d->pins, 133, 134)) return e;
  if (m.rot_draw_count != 0) {
    if (int e = read_draws(m.rot_draw_count, d->rot_draws, 135, 127)) return e;
    if (m.rot_pins) {
      std::vector<SymbolPin> rot;
      if (int e = read_pins(m.pin_count, rot, 133, 129)) return e;
      if (!d->pins.empty()) d->rot_pins = std::move(rot);
    }
  }
  const std::pair<bool, std::optional<std::string>*> texts[] = {{m.text236, &d->text236},
                                                                {m.template_text, &d->template_text},
                                                                {m.text260, &d->text260},
                                                                {m.model_file, &d->model_file},
                                                                {m.text272, &d->text272}};
  const int text_codes[] = {130, 135, 136, 137, 138};
  for (size_t i = 0; i < 5; ++i)
    if (texts[i].first && short_text(*texts[i].second) != TextRead::ok) return text_codes[i];
  int32_t origin = kOriginSchematic;
  if (version > 701 && !i32(origin)) return 139;

  const int32_t stored_index = d->index;
  const int same = symtab_find(*s_, *d);
  if (same >= 0) {
    SymbolRecord* shared = s_->symbols.entries[same].definition.get();
    shared->index = stored_index;
    symbol_map_.emplace(stored_index, shared);
    return 0;
  }
  const SymbolRecord* def = d.get();
  const int at = symtab_add(*s_, name.str(), std::move(d),
                            origin == kOriginGenerated ? kOriginGenerated : kOriginSchematic, notify_);
  if (at < 0) return 126;
  s_->symbols.entries[at].name = name;
  symbol_map_.emplace(stored_index, def);
  return 0;
}

int Loader::symbols() {
  if (!marker(kSymbolMarker)) return 120;
  int32_t n = 0;
  if (!i32(n) || !fits(n, 32 + kSymbolRecordSize)) return 121;
  if (!symtab_create(*s_, n, notify_)) return 121;
  for (int32_t i = 0; i < n; ++i)
    if (int e = symbol(version_)) return e;
  return 0;
}

int Loader::sheets() {
  if (!marker(kSheetsMarker)) return 140;
  PageTable& t = s_->page_table;
  if (!record(kPageTableSize, [&](ByteReader& rr) { decode_page_table(rr, t); })) return 1;
  if (t.page_count < 1 || t.page_count > kMaxPages) return 1;
  saved_current_ = t.current_page;
  for (int k = 0; k < t.page_count; ++k) {
    int32_t n = 0;
    if (!i32(n) || n < 0 || n > static_cast<int32_t>(kMaxPageTitle + 1)) return 1;
    if (n == 0) continue;
    std::span<const uint8_t> v = r_.view(static_cast<size_t>(n));
    if (v.empty()) return 1;
    const auto* p = reinterpret_cast<const char*>(v.data());
    const size_t len = strnlen(p, v.size());
    if (len > 0) t.entries[k].title.emplace(p, len);
  }
  return 0;
}

int Loader::blocks() {
  Page& page = s_->page();
  if (!marker(kBlockMarker)) return 165;
  int n = 0;
  if (!count(n)) return 50;
  for (int i = 0; i < n; ++i) {
    auto b = std::make_unique<BlockRecord>();
    BlockMarks m;
    if (!record(kBlockRecordSize, [&](ByteReader& rr) { m = decode_block(rr, *b); })) return 168;
    if (m.text) {
      if (TextRead t = long_text(b->text, kMaxParamText); t != TextRead::ok)
        return TextCodes{55, 56, 58, 57}.of(t);
    }
    if (!fits(m.pin_count, kBlockPinSize)) return 59;
    b->pins.resize(static_cast<size_t>(m.pin_count));
    for (auto& pin : b->pins) {
      bool has_text = false;
      if (!record(kBlockPinSize, [&](ByteReader& rr) { has_text = decode_block_pin(rr, pin); })) return 60;
      if (has_text)
        if (TextRead t = long_text(pin.text, kMaxParamText); t != TextRead::ok)
          return TextCodes{61, 62, 64, 63}.of(t);
    }
    if (m.symbol_spec) {
      SymbolSpec spec;
      bool has_entries = false;
      if (!record(kSymbolSpecSize, [&](ByteReader& rr) { has_entries = decode_symbol_spec(rr, spec); }))
        return 65;
      if (has_entries) {
        if (spec.entry_count < 0) return 66;
        if (!fits(spec.entry_count, kSymbolSpecEntrySize)) return 67;
        spec.entries.emplace(static_cast<size_t>(spec.entry_count));
        for (auto& e : *spec.entries)
          record(kSymbolSpecEntrySize, [&](ByteReader& rr) { decode_spec_entry(rr, e); });
      }
      b->symbol_spec = std::move(spec);
    }
    if (m.symbol) {
      int32_t index = -1;
      if (!i32(index)) return 175;
      b->symbol = symbol_by_index(index);
      const int entry = symtab_index_of(*s_, b->symbol);
      if (entry >= 0) s_->symbols.entries[entry].origin = kOriginBlock;
    }
    page.blocks.push_back(std::move(b));
  }
  return 0;
}

int Loader::labels() {
  Page& page = s_->page();
  if (!marker(kLabelMarker)) return 180;
  int n = 0;
  if (!count(n)) return 181;
  for (int i = 0; i < n; ++i) {
    LabelRecord* l = label_new(*s_);
    if (!l) return 183;
    int32_t owner = -1;
    int code = 0;
    if (!record(kLabelRecordSize, [&](ByteReader& rr) { decode_label(rr, *l); }))
      code = 184;
    else if (!i32(owner))
      code = 185;
    if (code) {
      page.labels.pop_back();
      return code;
    }
    l->color = colors_.label;
    l->owner = owner_block(owner);
    labels_.emplace(l->index, l);
  }
  return 0;
}

int Loader::parts() {
  Page& page = s_->page();
  if (!marker(kPartMarker)) return 201;
  int n = 0;
  if (!count(n)) return 202;
  for (int i = 0; i < n; ++i) {
    PartRecord* p = part_new(*s_);
    if (!p) return 204;
    // The part being read is dropped when any of its data is missing.
    auto fail = [&](int code) {
      page.parts.pop_back();
      return code;
    };
    PartMarks m;
    if (!record(kPartRecordSize, [&](ByteReader& rr) { m = decode_part(rr, *p); })) return fail(205);
    int32_t index = -1;
    if (!i32(index)) return fail(79);
    p->symbol = symbol_by_index(index);
    if (!p->symbol) {
      notify_.error(strprintf("Loading part %s: symbol pointer invalid", p->reference.str().c_str()));
      return fail(210);
    }
    for (auto& t : p->params)
      if (TextRead e = long_text(t, kMaxParamText); e != TextRead::ok)
        return fail(TextCodes{80, 81, 82, 83}.of(e));
    int32_t pins = 0;
    if (!i32(pins)) return fail(84);
    if (!fits(pins, 4)) return fail(85);
    p->pin_nodes.assign(p->symbol->pins.size(), PinNode{});
    for (int32_t k = 0; k < pins; ++k) {
      int32_t label = -1;
      if (!i32(label)) return fail(86);
      if (k < static_cast<int32_t>(p->pin_nodes.size())) p->pin_nodes[k].label = label_by_index(label);
    }
    if (m.source_count != 0) {
      if (!fits(m.source_count, kSourceSpecSize + 2)) return fail(89);
      p->source_specs.resize(static_cast<size_t>(m.source_count));
      for (auto& e : p->source_specs) {
        if (!record(kSourceSpecSize, [&](ByteReader& rr) { decode_source_spec(rr, e); })) return fail(88);
        if (short_text(e.text, kMaxParamText) != TextRead::ok) return fail(88);
      }
    }
    if (m.template_text && short_text(p->template_text) != TextRead::ok) return fail(90);
    if (m.text2 && short_text(p->text2) != TextRead::ok) return fail(213);
    int32_t link = -1, owner = -1;
    if (!i32(link)) return fail(214);
    if (!i32(owner)) return fail(215);
    p->model_link = link_find(*s_, link);
    p->owner = owner_block(owner);
    p->color = colors_.symbol;
    if (p->symbol->kind == kSymbolPowerRail) part_rail_source_init(*p);
  }
  return 0;
}

int Loader::wires() {
  Page& page = s_->page();
  if (!marker(kWireMarker)) return 220;
  int n = 0;
  if (!count(n)) return 221;
  for (int i = 0; i < n; ++i) {
    WireRecord* w = wire_new(*s_);
    if (!w) return 223;
    int32_t label = -1, owner = -1;
    int code = 0;
    if (!record(kWireRecordSize, [&](ByteReader& rr) { decode_wire(rr, *w); }))
      code = 224;
    else if (!i32(label))
      code = 114;
    else if (!i32(owner))
      code = 226;
    if (code) {
      page.wires.pop_back();
      return code;
    }
    w->color = colors_.wire;
    w->label = label_by_index(label);
    w->owner = owner_block(owner);
  }
  return 0;
}

int Loader::junctions() {
  Page& page = s_->page();
  if (!marker(kDotMarker)) return 230;
  int n = 0;
  if (!count(n)) return 231;
  for (int i = 0; i < n; ++i) {
    JunctionRecord* j = junction_new(*s_);
    if (!j) return 233;
    int32_t owner = -1;
    int code = 0;
    if (!record(kJunctionRecordSize, [&](ByteReader& rr) { decode_junction(rr, *j); }))
      code = 234;
    else if (!i32(owner))
      code = 235;
    if (code) {
      page.junctions.pop_back();
      return code;
    }
    j->color = colors_.junction;
    j->owner = owner_block(owner);
  }
  return 0;
}

int Loader::texts() {
  Page& page = s_->page();
  if (!marker(kTextMarker)) return 240;
  int n = 0;
  if (!count(n)) return 241;
  for (int i = 0; i < n; ++i) {
    TextRecord* t = text_new(*s_);
    if (!t) return 242;
    bool has_text = false;
    int code = 0;
    int32_t owner = -1;
    if (!record(kTextRecordSize, [&](ByteReader& rr) { has_text = decode_text(rr, *t); })) {
      code = 243;
    } else if (has_text) {
      if (TextRead e = long_text(t->text, kMaxObjectText); e != TextRead::ok)
        code = TextCodes{244, 245, 246, 247}.of(e);
    }
    if (!code && !i32(owner)) code = 248;
    if (code) {
      page.texts.pop_back();
      return code;
    }
    t->color = colors_.text;
    t->owner = owner_block(owner);
  }
  return 0;
}

int Loader::reserved() {
  for (const auto& b : kReservedBlocks) {
    if (!marker(b.marker)) return b.marker_code;
    int32_t n = 0;
    if (!i32(n)) return b.count_code;
  }
  return 0;
}

PageRead Loader::page() {
  PageRead result;
  Page& page = s_->page();
  PageSettings& g = page.settings;
  auto fail = [&](int code) {
    result.code = code;
    result.complete = false;
    return result;
  };
  if (!marker(kSheetMarker)) return fail(150);
  for (int32_t& v : g.reserved)
    if (!i32(v)) return fail(2);
  if (!i32(g.view_x) || !i32(g.view_y)) return fail(1);
  if (!i32(g.centre_x)) return fail(3);
  if (!i32(g.centre_y)) return fail(155);
  if (!i32(g.view)) return fail(156);
  g.view = std::max(g.view, 1);
  int32_t* settings[] = {&g.zoom,       &g.border, &g.show_grid, &g.show_title,
                         &g.sheet_size, &g.scale,  &g.show_nodes};
  for (int k = 0; k < 7; ++k)
    if (!i32(*settings[k])) return fail(5 + k);
  if (!record(kTitleBlockSize, [&](ByteReader& rr) { decode_title_block(rr, page.title); })) return fail(164);

  page.blocks.clear();
  page.edit_block = nullptr;
  labels_.clear();

  struct Section {
    int (Loader::*read)();
    const char* message;      // shown when the section ends with an error; none: the page ends
    const char* next_marker;  // where reading goes on after an error
  };
  const Section sections[] = {
      {&Loader::blocks, "Error code %d reading schematic subcircuits data block", kLabelMarker},
      {&Loader::labels, "Error code %d reading schematic labels data block", kPartMarker},
      {&Loader::parts, "Error code %d reading schematic parts data block", kWireMarker},
      {&Loader::wires, "Error code %d reading schematic wires data block", kDotMarker},
      {&Loader::junctions, nullptr, nullptr},
      {&Loader::texts, nullptr, nullptr},
      {&Loader::reserved, nullptr, nullptr},
  };
  for (const Section& sec : sections) {
    const int code = (this->*sec.read)();
    if (!code) continue;
    if (!result.code) result.code = code;
    if (!sec.message) {
      result.complete = false;
      break;
    }
    notify_.error(strprintf(sec.message, code));
    if (!seek_marker(sec.next_marker)) {
      result.complete = false;
      break;
    }
  }

  // A page always has its top circuit; what lost its owner belongs to it.
  if (page.blocks.empty()) {
    page.blocks.push_back(std::make_unique<BlockRecord>());
    page.blocks.back()->dirty = 1;
    page.blocks.back()->first_node = s_->page_table.entries[s_->current_page()].first_node;
  }
  page.edit_block = page.top();
  auto adopt = [&](auto& list) {
    for (auto& r : list)
      if (!r->owner) r->owner = page.top();
  };
  adopt(page.wires);
  adopt(page.junctions);
  adopt(page.labels);
  page_check(*s_, notify_);
  return result;
}

SchematicLoad Loader::run() {
  SchematicLoad out;
  s_ = schematic_new(path_);
  s_->colors = colors_;
  s_->page().top()->dirty = 1;  // as every loaded block, also when no page gets read
  int code = header();
  if (!code) code = globals();
  if (!code) code = symbols();
  if (!code) code = sheets();
  if (!code) {
    const int pages = s_->page_table.page_count;
    for (int k = 0; k < pages; ++k) {
      if (k > 0) page_append(*s_);
      s_->page_table.current_page = k;
      // A page whose section breaks off before its blocks keeps its empty top
      // circuit, marked as every loaded block is.
      s_->page().top()->dirty = 1;
      const PageRead pr = page();
      if (pr.code && !code) code = pr.code;
      if (!pr.complete || (pr.code && pr.code < kLoadFirstPartial)) break;
    }
    // Pages the reader did not get to are not kept: the table counts what is there.
    s_->page_table.page_count = static_cast<int32_t>(s_->pages.size());
    for (int k = s_->page_table.page_count; k < kMaxPages; ++k) s_->page_table.entries[k] = PageTableEntry{};
    if (saved_current_ >= 0 && saved_current_ < s_->page_table.page_count) {
      s_->page_table.current_page = saved_current_;
    } else {
      notify_.error(strprintf("Cannot open sheet %d", saved_current_ + 1));
      s_->page_table.current_page = 0;
    }
  }
  if (code) {
    std::string msg = version_text_.empty() ? strprintf("Error %d: reading file %s", code, path_.c_str())
                                            : strprintf("Error %d: reading file %s - Ver %s", code,
                                                        path_.c_str(), version_text_.c_str());
    if (msg.size() > kMaxMessage) msg.resize(kMaxMessage);
    notify_.error(msg);
  }
  out.code = code;
  if (code && code < kLoadFirstPartial) return out;
  s_->page_table.current_page = std::clamp(s_->page_table.current_page, 0, s_->page_count() - 1);
  symtab_purge(*s_);
  s_->backup_due = true;
  s_->loaded_page_count = s_->page_count();
  for (auto& p : s_->pages) p->edit_block = p->top();
  out.schematic = std::move(s_);
  return out;
}

}  // namespace

// ---------------------------------------------------------------- interface

std::string sheet_extension(char letter, int k) {
  return strprintf("%c%02d", letter, k > 99 ? 0 : k);
}

void links_prune(Schematic& s) {
  auto named_by_symbol = [&](const LibraryLink& l) {
    for (const auto& e : s.symbols.entries) {
      if (!symbol_saved(e)) continue;
      const SymbolRecord& d = *e.definition;
      if (d.model_file && d.model_link_kind == l.kind && iequals(*d.model_file, *l.file())) return true;
    }
    return false;
  };
  // Every part is visited once, not once per link: big schematics carry a link per part.
  std::unordered_set<const LibraryLink*> used_by_parts;
  for (const auto& page : s.pages)
    for (const auto& p : page->parts)
      if (p->model_link) used_by_parts.insert(p->model_link);
  std::unordered_set<const LibraryLink*> removed;
  std::erase_if(s.links, [&](const std::unique_ptr<LibraryLink>& l) {
    bool drop = false;
    if (l->scope == kLinkSymbol || l->scope == kLinkPart) {
      if (!text_present(l->file()))
        drop = true;
      else if (l->scope == kLinkSymbol)
        drop = !named_by_symbol(*l);
      else
        drop = !used_by_parts.contains(l.get());
    }
    if (drop) removed.insert(l.get());
    return drop;
  });
  if (removed.empty()) return;
  // A part may still name a removed symbol link: it must not keep a freed pointer.
  for (auto& page : s.pages)
    for (auto& p : page->parts)
      if (removed.contains(p->model_link)) p->model_link = nullptr;
}

void part_rail_source_init(PartRecord& p) {
  if (p.value.empty() || !p.source_specs.empty()) return;
  p.source_specs.assign(13, SourceSpec{});
  p.source_specs[0].kind = 1;
  p.source_specs[1].text = p.value.str();
  p.source_specs[6].kind = 1;
}

std::vector<uint8_t> schematic_encode(Schematic& s, Notify& notify, std::time_t now) {
  return Writer(s, notify, now).run();
}

int schematic_save(Schematic& s, const std::string& path, Notify& notify, std::time_t now) {
  if (s.backup_due) {
    s.backup_due = false;
    copy_file(path, with_extension(path, "bks"));
    if (s.loaded_page_count >= 2)
      for (int k = 1; k <= s.loaded_page_count; ++k)
        copy_file(with_extension(path, sheet_extension('s', k)),
                  with_extension(path, sheet_extension('b', k)));
  }
  const std::vector<uint8_t> bytes = schematic_encode(s, notify, now);
  switch (write_file_replacing(path, bytes)) {
    case WriteStatus::ok:
      s.modified = false;
      return 0;
    case WriteStatus::cannot_create:
      notify.error(strprintf("Cannot open file %s", path.c_str()));
      return -1;
    case WriteStatus::failed:
      break;
  }
  notify.error(strprintf("Error writing to schematic file %s", path.c_str()));
  return 1;
}

SchematicLoad schematic_decode(std::span<const uint8_t> bytes, const std::string& path, Notify& notify,
                               const ObjectColors& colors) {
  return Loader(bytes, path, notify, colors).run();
}

SchematicLoad schematic_load(const std::string& path, Notify& notify, bool report,
                             const ObjectColors& colors) {
  // A schematic file never comes near this size; a larger file is not one.
  constexpr uint64_t kMaxSchematicFile = uint64_t{1} << 31;
  auto bytes = read_file(path, kMaxSchematicFile);
  if (!bytes) {
    if (report) notify.error(strprintf("Cannot open %s", path.c_str()));
    SchematicLoad out;
    out.code = kLoadCannotOpen;
    return out;
  }
  return schematic_decode(*bytes, path, notify, colors);
}

}  // namespace zephyrim
