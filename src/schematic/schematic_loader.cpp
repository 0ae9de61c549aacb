// The schematic file's reader: the sections in file order, each record read
// from its fixed image, the references between records resolved by index, and
// the integrity check of every page read.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <unordered_map>

#include "common/byte_io.h"
#include "common/file_io.h"
#include "common/text_format.h"
#include "schematic/page_check.h"
#include "schematic/record_io.h"
#include "schematic/schematic_file.h"
#include "schematic/schematic_layout.h"

namespace zephyrim {

namespace {

using namespace schematic_layout;

constexpr int kMaxMessage = 72;
// A schematic file never comes near this size; a larger file is not one.
constexpr uint64_t kMaxSchematicFile = uint64_t{1} << 31;

// The bytes of a schematic file, mapped rather than copied: a schematic of a
// hundred thousand parts is tens of megabytes, and filling fresh memory with a
// copy costs more than decoding it. Where a file cannot be mapped it is read.
class FileBytes {
 public:
  FileBytes() = default;
  FileBytes(const FileBytes&) = delete;
  FileBytes& operator=(const FileBytes&) = delete;
  ~FileBytes() {
    if (map_) ::munmap(map_, size_);
  }

  // False when the file cannot be opened, is not a regular file or is too
  // large. Opened without blocking, so a FIFO in its place is refused at once.
  bool open(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st {};
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= 0 &&
                         static_cast<uint64_t>(st.st_size) <= kMaxSchematicFile;
    if (regular && st.st_size > 0) {
      // Populated at once: the reader walks every byte, and one call maps the
      // cached pages faster than a fault per page would.
      void* p =
          ::mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
      if (p != MAP_FAILED) {
        map_ = p;
        size_ = static_cast<size_t>(st.st_size);
      }
    }
    ::close(fd);
    if (!regular) return false;
    if (map_ || st.st_size == 0) return true;
    copy_ = read_file(path, kMaxSchematicFile);
    return copy_.has_value();
  }

  std::span<const uint8_t> bytes() const {
    if (map_) return {static_cast<const uint8_t*>(map_), size_};
    if (copy_) return *copy_;
    return {};
  }

 private:
  void* map_ = nullptr;
  size_t size_ = 0;
  std::optional<std::vector<uint8_t>> copy_;
};

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
    if (v.size() != size) {
      cut_short_ = true;
      return false;
    }
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
  // fits, for a count the file must hold: when it does not, the file ends too soon.
  bool holds(int64_t n, size_t each) {
    const bool ok = fits(n, each);
    // A count of a sensible size ran past the end: the file was cut; a wild one is damage.
    if (!ok && n >= 0 && n <= (int64_t{1} << 20)) cut_short_ = true;
    return ok;
  }
  // Room for n more records of a list, when the bytes for them are there: a
  // damaged count must not reserve what the file cannot hold.
  template <typename T>
  void reserve(std::vector<std::unique_ptr<T>>& list, int n, size_t each) {
    if (fits(n, each)) list.reserve(list.size() + static_cast<size_t>(n));
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
  bool cut_short_ = false;  // a read wanted bytes past the end of the file
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
  // The rest of the file has no such section: what should follow is not there.
  if (at == std::string_view::npos) cut_short_ = true;
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
  if (!i32(links) || !holds(links, kLibraryLinkSize + 6)) return 1;
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
    if (!holds(n, kDrawCommandSize)) return read_code;
    out.resize(static_cast<size_t>(n));
    for (auto& c : out) record(kDrawCommandSize, [&](ByteReader& rr) { decode_draw_command(rr, c); });
    return 0;
  };
  auto read_pins = [&](int32_t n, std::vector<SymbolPin>& out, int memory_code, int read_code) {
    if (n < 0) return memory_code;
    if (!holds(n, kSymbolPinSize)) return read_code;
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
  if (!i32(n) || !holds(n, 32 + kSymbolRecordSize)) return 121;
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
    if (!holds(m.pin_count, kBlockPinSize)) return 59;
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
        if (!holds(spec.entry_count, kSymbolSpecEntrySize)) return 67;
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
  reserve(page.labels, n, kLabelRecordSize + 4);
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
  reserve(page.parts, n, kPartRecordSize + 16);
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
    if (!holds(pins, 4)) return fail(85);
    p->pin_nodes.assign(p->symbol->pins.size(), PinNode{});
    for (int32_t k = 0; k < pins; ++k) {
      int32_t label = -1;
      if (!i32(label)) return fail(86);
      if (k < static_cast<int32_t>(p->pin_nodes.size())) p->pin_nodes[k].label = label_by_index(label);
    }
    if (m.source_count != 0) {
      if (!holds(m.source_count, kSourceSpecSize + 2)) return fail(89);
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
  reserve(page.wires, n, kWireRecordSize + 8);
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
  reserve(page.junctions, n, kJunctionRecordSize + 4);
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
  reserve(page.texts, n, kTextRecordSize + 4);
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
    // What went wrong, in words, where the code alone would not say it.
    const std::string name = std::filesystem::path(path_).filename().string();
    if (r_.size() == 0)
      msg += strprintf("\n%s is empty", name.c_str());
    else if (cut_short_ || r_.failed())
      msg += strprintf("\n%s is cut short at byte %zu", name.c_str(), r_.size());
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

SchematicLoad schematic_decode(std::span<const uint8_t> bytes, const std::string& path, Notify& notify,
                               const ObjectColors& colors) {
  return Loader(bytes, path, notify, colors).run();
}

SchematicLoad schematic_load(const std::string& path, Notify& notify, bool report,
                             const ObjectColors& colors) {
  FileBytes file;
  if (!file.open(path)) {
    if (report) notify.error(strprintf("Cannot open %s", path.c_str()));
    SchematicLoad out;
    out.code = kLoadCannotOpen;
    return out;
  }
  return schematic_decode(file.bytes(), path, notify, colors);
}

}  // namespace zephyrim
