#include "editing/undo.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <tuple>
#include <type_traits>
#include <unordered_map>

namespace zephyrim {

namespace {

// --- chunking ---

// A chunk ends after a record whose hash has these bits clear, so that where
// chunks end depends on the records and not on their positions: deleting a
// record early in a list changes one chunk, not every chunk after it.
constexpr uint32_t kChunkMin = 16;
constexpr uint64_t kChunkAverage = 64;  // past kChunkMin; a power of two
constexpr uint32_t kChunkMax = 256;
// What the heap spends on a block besides the bytes asked for, as the meter counts it.
constexpr size_t kHeapOverhead = 16;

// --- the fields of each record ---
// Every field is listed, except the pointers into the page (owners and
// labels), which each record's codec turns into positions. A field missing
// here would not come back with Undo; the sizes catch most fields added to a
// record, on the platform we build on.
#if defined(__x86_64__) && defined(__GLIBCXX__)
static_assert(sizeof(PartRecord) == 464, "a new part field must be added to kPartFields");
static_assert(sizeof(WireRecord) == 64, "a new wire field must be added to kWireFields");
static_assert(sizeof(JunctionRecord) == 48, "a new junction field must be added to kJunctionFields");
static_assert(sizeof(LabelRecord) == 72, "a new label field must be added to kLabelFields");
static_assert(sizeof(TextRecord) == 112, "a new text field must be added to kTextFields");
static_assert(sizeof(SourceSpec) == 64, "a new source field must be coded in put/get(SourceSpec)");
#endif

constexpr auto kPartFields = std::tuple{&PartRecord::symbol,
                                        &PartRecord::device,
                                        &PartRecord::reference,
                                        &PartRecord::value,
                                        &PartRecord::padding54,
                                        &PartRecord::params,
                                        &PartRecord::show,
                                        &PartRecord::region,
                                        &PartRecord::x,
                                        &PartRecord::y,
                                        &PartRecord::step_count,
                                        &PartRecord::steps,
                                        &PartRecord::reserved148,
                                        &PartRecord::color,
                                        &PartRecord::selected,
                                        &PartRecord::disabled,
                                        &PartRecord::reserved164,
                                        &PartRecord::source_specs,
                                        &PartRecord::template_text,
                                        &PartRecord::text2,
                                        &PartRecord::model_link};
constexpr auto kWireFields =
    std::tuple{&WireRecord::orientation, &WireRecord::x1,       &WireRecord::y1,   &WireRecord::x2,
               &WireRecord::y2,          &WireRecord::dx,       &WireRecord::dy,   &WireRecord::color,
               &WireRecord::selected,    &WireRecord::disabled, &WireRecord::mark, &WireRecord::node};
constexpr auto kJunctionFields = std::tuple{
    &JunctionRecord::x,        &JunctionRecord::y,        &JunctionRecord::box,   &JunctionRecord::color,
    &JunctionRecord::selected, &JunctionRecord::disabled, &JunctionRecord::word36};
constexpr auto kLabelFields =
    std::tuple{&LabelRecord::index, &LabelRecord::name,  &LabelRecord::width,    &LabelRecord::x,
               &LabelRecord::y,     &LabelRecord::color, &LabelRecord::selected, &LabelRecord::disabled};
constexpr auto kTextFields = std::tuple{&TextRecord::text,
                                        &TextRecord::reserved4,
                                        &TextRecord::x,
                                        &TextRecord::y,
                                        &TextRecord::box,
                                        &TextRecord::reserved36,
                                        &TextRecord::line_spacing,
                                        &TextRecord::color,
                                        &TextRecord::color2,
                                        &TextRecord::word56,
                                        &TextRecord::selected,
                                        &TextRecord::disabled};

// --- encoding ---
// Small integers take a byte or two (zigzag varints); byte fields are stored
// up to their last non-zero byte, so a 128-byte title costs its text.

class Writer {
 public:
  void u(uint64_t v) {
    if (limit_ - at_ < 10) grow(10);
    while (v >= 0x80) {
      *at_++ = static_cast<uint8_t>(v) | 0x80;
      v >>= 7;
    }
    *at_++ = static_cast<uint8_t>(v);
  }
  void i(int64_t v) { u((static_cast<uint64_t>(v) << 1) ^ static_cast<uint64_t>(v >> 63)); }
  void raw(const void* p, size_t n) {
    if (static_cast<size_t>(limit_ - at_) < n) grow(n);
    if (n > 0) std::memcpy(at_, p, n);
    at_ += n;
  }
  const uint8_t* data() const { return buf_.data(); }
  size_t size() const { return static_cast<size_t>(at_ - buf_.data()); }
  void clear() { at_ = buf_.data(); }

 private:
  // Room for n more bytes. The buffer only grows, and is reused from chunk to
  // chunk, so this is seldom called: kept out of line, away from the writes.
  [[gnu::noinline]] void grow(size_t n) {
    const size_t used = size();
    buf_.resize(std::max(2 * buf_.size(), used + n + 4096));
    at_ = buf_.data() + used;
    limit_ = buf_.data() + buf_.size();
  }

  std::vector<uint8_t> buf_;
  uint8_t* at_ = nullptr;
  uint8_t* limit_ = nullptr;
};

// Reads what Writer wrote; a read past the end only clears ok().
class Reader {
 public:
  Reader(const uint8_t* p, const uint8_t* end) : p_(p), end_(end) {}
  uint64_t u() {
    uint64_t v = 0;
    for (int shift = 0; shift < 64; shift += 7) {
      if (p_ == end_) break;
      const uint8_t b = *p_++;
      v |= static_cast<uint64_t>(b & 0x7f) << shift;
      if (!(b & 0x80)) return v;
    }
    ok_ = false;
    return 0;
  }
  int64_t i() {
    const uint64_t z = u();
    return static_cast<int64_t>(z >> 1) ^ -static_cast<int64_t>(z & 1);
  }
  const uint8_t* take(size_t n) {
    if (static_cast<size_t>(end_ - p_) < n) {
      ok_ = false;
      p_ = end_;
      return nullptr;
    }
    const uint8_t* at = p_;
    p_ += n;
    return at;
  }
  size_t left() const { return static_cast<size_t>(end_ - p_); }
  bool ok() const { return ok_; }
  bool at_end() const { return p_ == end_; }

 private:
  const uint8_t* p_;
  const uint8_t* end_;
  bool ok_ = true;
};

template <typename T>
void put(Writer& w, const T& v);
template <typename T>
void get(Reader& r, T& v);
void put(Writer& w, const std::string& s);
void get(Reader& r, std::string& s);
template <typename T>
void put(Writer& w, const std::optional<T>& o);
template <typename T>
void get(Reader& r, std::optional<T>& o);
template <typename T>
void put(Writer& w, const std::vector<T>& v);
template <typename T>
void get(Reader& r, std::vector<T>& v);
template <typename T, size_t N>
void put(Writer& w, const std::array<T, N>& a);
template <typename T, size_t N>
void get(Reader& r, std::array<T, N>& a);
template <size_t N>
void put(Writer& w, const FixedText<N>& t);
template <size_t N>
void get(Reader& r, FixedText<N>& t);
void put(Writer& w, const Region& g);
void get(Reader& r, Region& g);
void put(Writer& w, const SourceSpec& e);
void get(Reader& r, SourceSpec& e);

template <typename T>
void put(Writer& w, const T& v) {
  if constexpr (std::is_same_v<T, uint8_t> || std::is_floating_point_v<T>) {
    w.raw(&v, sizeof v);  // floats bit for bit: -0.0 and NaNs come back as they were
  } else if constexpr (std::is_pointer_v<T>) {
    w.u(reinterpret_cast<uintptr_t>(v));
  } else if constexpr (std::is_signed_v<T>) {
    w.i(v);
  } else {
    static_assert(std::is_unsigned_v<T>);
    w.u(v);
  }
}

template <typename T>
void get(Reader& r, T& v) {
  if constexpr (std::is_same_v<T, uint8_t> || std::is_floating_point_v<T>) {
    if (const uint8_t* p = r.take(sizeof v)) std::memcpy(&v, p, sizeof v);
  } else if constexpr (std::is_pointer_v<T>) {
    v = reinterpret_cast<T>(static_cast<uintptr_t>(r.u()));
  } else if constexpr (std::is_signed_v<T>) {
    v = static_cast<T>(r.i());
  } else {
    v = static_cast<T>(r.u());
  }
}

void put(Writer& w, const std::string& s) {
  w.u(s.size());
  w.raw(s.data(), s.size());
}

void get(Reader& r, std::string& s) {
  const uint64_t n = r.u();
  if (const uint8_t* p = r.take(n)) s.assign(reinterpret_cast<const char*>(p), n);
}

template <typename T>
void put(Writer& w, const std::optional<T>& o) {
  w.u(o ? 1 : 0);
  if (o) put(w, *o);
}

template <typename T>
void get(Reader& r, std::optional<T>& o) {
  if (r.u() == 0) {
    o.reset();
    return;
  }
  get(r, o.emplace());
}

template <typename T>
void put(Writer& w, const std::vector<T>& v) {
  w.u(v.size());
  for (const T& x : v) put(w, x);
}

template <typename T>
void get(Reader& r, std::vector<T>& v) {
  const uint64_t n = r.u();
  v.clear();
  if (n > r.left()) {  // every element takes a byte at least
    r.take(r.left() + 1);
    return;
  }
  v.resize(n);
  for (T& x : v) get(r, x);
}

template <typename T, size_t N>
void put(Writer& w, const std::array<T, N>& a) {
  if constexpr (std::is_same_v<T, uint8_t>) {
    size_t n = N;
    while (n > 0 && a[n - 1] == 0) --n;
    w.u(n);
    w.raw(a.data(), n);
  } else {
    for (const T& x : a) put(w, x);
  }
}

template <typename T, size_t N>
void get(Reader& r, std::array<T, N>& a) {
  if constexpr (std::is_same_v<T, uint8_t>) {
    a.fill(0);
    const uint64_t n = r.u();
    if (n > N) {
      r.take(r.left() + 1);
      return;
    }
    if (const uint8_t* p = r.take(n)) std::memcpy(a.data(), p, n);
  } else {
    for (T& x : a) get(r, x);
  }
}

template <size_t N>
void put(Writer& w, const FixedText<N>& t) {
  put(w, t.bytes);
}

template <size_t N>
void get(Reader& r, FixedText<N>& t) {
  get(r, t.bytes);
}

void put(Writer& w, const Region& g) {
  w.i(g.x1);
  w.i(g.y1);
  w.i(g.x2);
  w.i(g.y2);
}

void get(Reader& r, Region& g) {
  get(r, g.x1);
  get(r, g.y1);
  get(r, g.x2);
  get(r, g.y2);
}

void put(Writer& w, const SourceSpec& e) {
  put(w, e.kind);
  put(w, e.word4);
  put(w, e.value);
  put(w, e.text);
  put(w, e.word20);
}

void get(Reader& r, SourceSpec& e) {
  get(r, e.kind);
  get(r, e.word4);
  get(r, e.value);
  get(r, e.text);
  get(r, e.word20);
}

template <typename R, typename Fields>
void put_fields(Writer& w, const R& rec, const Fields& fields) {
  std::apply([&](auto... m) { (put(w, rec.*m), ...); }, fields);
}

template <typename R, typename Fields>
void get_fields(Reader& r, R& rec, const Fields& fields) {
  std::apply([&](auto... m) { (get(r, rec.*m), ...); }, fields);
}

// --- the records with their pointers into the page ---

// Positions of the page's blocks and labels by address. A pointer that is not
// on the page's list (a stale one) is kept as the top circuit or as no label,
// rather than as a position that would mean another record.
class Positions {
 public:
  explicit Positions(const Page& page) {
    blocks_.reserve(page.blocks.size());
    for (size_t i = 0; i < page.blocks.size(); ++i)
      blocks_.emplace(page.blocks[i].get(), static_cast<int32_t>(i));
    labels_.reserve(page.labels.size());
    for (size_t i = 0; i < page.labels.size(); ++i)
      labels_.emplace(page.labels[i].get(), static_cast<int32_t>(i));
  }
  int32_t owner(const BlockRecord* b) const {
    // Records of one scope come in runs: the last answer is mostly the next.
    if (b == last_ && b) return last_at_;
    const auto it = blocks_.find(b);
    if (it == blocks_.end()) return 0;
    last_ = b;
    last_at_ = it->second;
    return it->second;
  }
  int32_t label(const LabelRecord* l) const {
    if (!l) return 0;
    const auto it = labels_.find(l);
    return it == labels_.end() ? 0 : it->second + 1;
  }

 private:
  std::unordered_map<const BlockRecord*, int32_t> blocks_;
  std::unordered_map<const LabelRecord*, int32_t> labels_;
  mutable const BlockRecord* last_ = nullptr;
  mutable int32_t last_at_ = 0;
};

// The lists rebuilt from a snapshot, before they replace the page's.
struct Lists {
  std::vector<std::unique_ptr<BlockRecord>> blocks;
  std::vector<std::unique_ptr<LabelRecord>> labels;
  std::vector<std::unique_ptr<PartRecord>> parts;
  std::vector<std::unique_ptr<WireRecord>> wires;
  std::vector<std::unique_ptr<JunctionRecord>> junctions;
  std::vector<std::unique_ptr<TextRecord>> texts;

  BlockRecord* block(int64_t k) const {
    if (blocks.empty()) return nullptr;
    return k > 0 && static_cast<size_t>(k) < blocks.size() ? blocks[k].get() : blocks.front().get();
  }
  LabelRecord* label(uint64_t k) const { return k > 0 && k <= labels.size() ? labels[k - 1].get() : nullptr; }
};

void encode(Writer& w, const PartRecord& p, const Positions& at) {
  put_fields(w, p, kPartFields);
  w.i(at.owner(p.owner));
  w.u(p.pin_nodes.size());
  for (const PinNode& pn : p.pin_nodes) {
    w.i(pn.node);
    w.u(at.label(pn.label));
  }
}

void decode(Reader& r, PartRecord& p, const Lists& to) {
  get_fields(r, p, kPartFields);
  p.owner = to.block(r.i());
  const uint64_t pins = r.u();
  if (pins > r.left()) {
    r.take(r.left() + 1);
    return;
  }
  p.pin_nodes.resize(pins);
  for (PinNode& pn : p.pin_nodes) {
    pn.node = static_cast<int32_t>(r.i());
    pn.label = to.label(r.u());
  }
}

void encode(Writer& w, const WireRecord& x, const Positions& at) {
  put_fields(w, x, kWireFields);
  w.u(at.label(x.label));
  w.i(at.owner(x.owner));
}

void decode(Reader& r, WireRecord& x, const Lists& to) {
  get_fields(r, x, kWireFields);
  x.label = to.label(r.u());
  x.owner = to.block(r.i());
}

template <typename R, typename Fields>
void encode_owned(Writer& w, const R& x, const Positions& at, const Fields& fields) {
  put_fields(w, x, fields);
  w.i(at.owner(x.owner));
}

template <typename R, typename Fields>
void decode_owned(Reader& r, R& x, const Lists& to, const Fields& fields) {
  get_fields(r, x, fields);
  x.owner = to.block(r.i());
}

void encode(Writer& w, const JunctionRecord& x, const Positions& at) {
  encode_owned(w, x, at, kJunctionFields);
}
void decode(Reader& r, JunctionRecord& x, const Lists& to) {
  decode_owned(r, x, to, kJunctionFields);
}
void encode(Writer& w, const LabelRecord& x, const Positions& at) {
  encode_owned(w, x, at, kLabelFields);
}
void decode(Reader& r, LabelRecord& x, const Lists& to) {
  decode_owned(r, x, to, kLabelFields);
}
void encode(Writer& w, const TextRecord& x, const Positions& at) {
  encode_owned(w, x, at, kTextFields);
}
void decode(Reader& r, TextRecord& x, const Lists& to) {
  decode_owned(r, x, to, kTextFields);
}

// --- hashing ---

uint64_t mix(uint64_t z) {
  z ^= z >> 30;
  z *= 0xbf58476d1ce4e5b9ULL;
  z ^= z >> 27;
  z *= 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

uint64_t hash_bytes(const uint8_t* p, size_t n) {
  uint64_t h = 0x9e3779b97f4a7c15ULL ^ n;
  for (; n >= 8; p += 8, n -= 8) {
    uint64_t word;
    std::memcpy(&word, p, 8);
    h = (h ^ word) * 0xff51afd7ed558ccdULL;
    h ^= h >> 32;
  }
  uint64_t tail = 0;
  std::memcpy(&tail, p, n);
  return mix(h ^ tail);
}

// --- snapshots ---

template <typename R>
UndoList take_list(const std::vector<std::unique_ptr<R>>& live, const UndoList* like, const Positions& at,
                   const std::shared_ptr<UndoMeter>& meter) {
  std::unordered_map<uint64_t, const std::shared_ptr<const UndoChunk>*> earlier;
  if (like) {
    earlier.reserve(like->chunks.size());
    for (const auto& c : like->chunks) earlier.emplace(c->hash, &c);
  }
  UndoList out;
  out.count = live.size();
  out.chunks.reserve(live.size() / kChunkAverage + 1);
  Writer w;
  constexpr uint64_t kSeed = 0x243f6a8885a308d3ULL;
  uint64_t chunk_hash = kSeed;
  uint32_t n = 0;

  auto finish = [&] {
    bool shared = false;
    if (const auto it = earlier.find(chunk_hash); it != earlier.end()) {
      const UndoChunk& c = **it->second;
      shared =
          c.count == n && c.bytes.size() == w.size() && std::memcmp(c.bytes.data(), w.data(), w.size()) == 0;
      if (shared) out.chunks.push_back(*it->second);
    }
    if (!shared) {
      auto c = std::make_shared<UndoChunk>();
      c->bytes.assign(w.data(), w.data() + w.size());
      c->count = n;
      c->hash = chunk_hash;
      c->held = sizeof(UndoChunk) + c->bytes.capacity() + 3 * kHeapOverhead;
      if (meter) {
        meter->bytes += c->held;
        c->meter = meter;
      }
      out.chunks.push_back(std::move(c));
    }
    w.clear();
    chunk_hash = kSeed;
    n = 0;
  };

  for (size_t i = 0; i < live.size(); ++i) {
    const size_t start = w.size();
    encode(w, *live[i], at);
    const uint64_t h = hash_bytes(w.data() + start, w.size() - start);
    chunk_hash = mix(chunk_hash ^ h);
    ++n;
    if ((n >= kChunkMin && ((h >> 32) & (kChunkAverage - 1)) == 0) || n >= kChunkMax || i + 1 == live.size())
      finish();
  }
  return out;
}

template <typename R>
bool rebuild_list(const UndoList& list, std::vector<std::unique_ptr<R>>& out, const Lists& to) {
  out.reserve(list.count);
  for (const auto& c : list.chunks) {
    Reader r(c->bytes.data(), c->bytes.data() + c->bytes.size());
    for (uint32_t k = 0; k < c->count; ++k) {
      auto rec = std::make_unique<R>();
      decode(r, *rec, to);
      if (!r.ok()) return false;
      out.push_back(std::move(rec));
    }
    if (!r.at_end()) return false;
  }
  return out.size() == list.count;
}

size_t heap_size(const std::string& s) {
  return s.capacity() > 15 ? s.capacity() + 1 + kHeapOverhead : 0;  // beyond the short-string buffer
}
size_t heap_size(const std::optional<std::string>& s) {
  return s ? heap_size(*s) : 0;
}

size_t block_size(const BlockRecord& b) {
  size_t n = sizeof(BlockRecord) + heap_size(b.text) + b.pins.capacity() * sizeof(BlockPin);
  for (const BlockPin& p : b.pins) n += heap_size(p.text);
  if (b.symbol_spec && b.symbol_spec->entries)
    n += b.symbol_spec->entries->capacity() * sizeof(SymbolSpecEntry);
  return n;
}

// Builds the page's lists from the snapshot with every position turned back
// into a pointer to a rebuilt record. False when a record refers to a symbol
// that has left the symbol table since: such a part cannot be brought back.
// Throws std::bad_alloc when memory runs out.
bool rebuild(const PageSnapshot& snap, const Schematic& s, Lists& r) {
  std::unordered_set<const SymbolRecord*> symbols;
  symbols.reserve(s.symbols.entries.size());
  for (const auto& e : s.symbols.entries)
    if (e.definition) symbols.insert(e.definition.get());
  // Parts without a symbol come back as they were; the page check deals with them.
  auto symbol_known = [&](const SymbolRecord* d) { return !d || symbols.count(d) != 0; };
  std::unordered_set<const LibraryLink*> links;
  links.reserve(s.links.size());
  for (const auto& l : s.links) links.insert(l.get());

  r.blocks.reserve(snap.blocks.size());
  for (const BlockRecord& b : snap.blocks) {
    if (!symbol_known(b.symbol)) return false;
    r.blocks.push_back(std::make_unique<BlockRecord>(b));
  }
  // Labels first: the other records name them.
  if (!rebuild_list(snap.labels, r.labels, r) || !rebuild_list(snap.parts, r.parts, r) ||
      !rebuild_list(snap.wires, r.wires, r) || !rebuild_list(snap.junctions, r.junctions, r) ||
      !rebuild_list(snap.texts, r.texts, r))
    return false;
  for (const auto& p : r.parts) {
    if (!symbol_known(p->symbol)) return false;
    // Links that were pruned since the snapshot are gone for good.
    if (p->model_link && !links.count(p->model_link)) p->model_link = nullptr;
  }
  return true;
}

// --- appended objects ---

template <typename T>
int remove_after(Schematic& s, std::vector<std::unique_ptr<T>>& list, size_t length,
                 int (*remove)(Schematic&, const T*)) {
  int removed = 0;
  while (list.size() > length && remove(s, list.back().get())) ++removed;
  return removed;
}

int remove_appended(const UndoRecord& u, Schematic& s, int page_index) {
  Page& page = *s.pages[page_index];
  // The delete operations work on the current page, and deleting a label must
  // also clear the wires and pins of that page that name it.
  const int current = s.page_table.current_page;
  s.page_table.current_page = page_index;
  int removed = 0;
  switch (u.state) {
    case kUndoPartAppended:
      removed = remove_after(s, page.parts, u.list_length, part_delete);
      removed += remove_after(s, page.junctions, u.junction_length, junction_delete);
      break;
    case kUndoWireAppended:
      removed = remove_after(s, page.wires, u.list_length, wire_delete);
      removed += remove_after(s, page.junctions, u.junction_length, junction_delete);
      break;
    case kUndoJunctionAppended:
      removed = remove_after(s, page.junctions, u.list_length, junction_delete);
      break;
    case kUndoLabelAppended:
      removed = remove_after(s, page.labels, u.list_length, label_delete);
      break;
    case kUndoTextAppended:
      removed = remove_after(s, page.texts, u.list_length, text_delete);
      break;
    default:
      break;
  }
  s.page_table.current_page = current;
  if (removed == 0) return 0;
  mark_changed(s, page.edit_block ? page.edit_block : page.top());
  return 1;
}

}  // namespace

UndoChunk::~UndoChunk() {
  if (meter) meter->bytes -= held;
}

PageSnapshot::~PageSnapshot() {
  if (meter) meter->bytes -= held;
}

std::shared_ptr<const PageSnapshot> page_snapshot(const Page& page, const PageSnapshot* like,
                                                  const std::shared_ptr<UndoMeter>& meter) {
  auto snap = std::make_shared<PageSnapshot>();
  const Positions at(page);
  size_t held = sizeof(PageSnapshot) + 2 * kHeapOverhead;
  snap->blocks.reserve(page.blocks.size());
  for (const auto& b : page.blocks) {
    snap->blocks.push_back(*b);
    held += block_size(*b);
  }
  snap->labels = take_list(page.labels, like ? &like->labels : nullptr, at, meter);
  snap->parts = take_list(page.parts, like ? &like->parts : nullptr, at, meter);
  snap->wires = take_list(page.wires, like ? &like->wires : nullptr, at, meter);
  snap->junctions = take_list(page.junctions, like ? &like->junctions : nullptr, at, meter);
  snap->texts = take_list(page.texts, like ? &like->texts : nullptr, at, meter);
  for (const UndoList* l : {&snap->labels, &snap->parts, &snap->wires, &snap->junctions, &snap->texts})
    held += l->chunks.capacity() * sizeof(l->chunks[0]);
  snap->edit_block = at.owner(page.edit_block);
  snap->edit_block_at = page.edit_block;
  if (meter) {
    meter->bytes += held;
    snap->held = held;
    snap->meter = meter;
  }
  return snap;
}

bool page_restore(const PageSnapshot& snap, Schematic& s, int page_index) {
  if (page_index < 0 || static_cast<size_t>(page_index) >= s.pages.size()) return false;
  Page& page = *s.pages[page_index];
  Lists r;
  try {
    if (!rebuild(snap, s, r)) return false;  // the page's own lists have not been touched yet
  } catch (const std::bad_alloc&) {
    return false;
  }

  // The edit block goes back to the block it was when the snapshot was taken,
  // unless the editor has opened another scope since: then it stays at the
  // position it has now.
  int32_t edit = 0;
  if (page.edit_block == snap.edit_block_at) {
    edit = snap.edit_block;
  } else {
    for (size_t i = 0; i < page.blocks.size(); ++i)
      if (page.blocks[i].get() == page.edit_block) edit = static_cast<int32_t>(i);
  }
  BlockRecord* edit_block = nullptr;
  if (!r.blocks.empty())
    edit_block = static_cast<size_t>(edit) < r.blocks.size() ? r.blocks[edit].get() : r.blocks.front().get();

  // Swapping cannot fail; the replaced records are freed with r.
  page.blocks.swap(r.blocks);
  page.labels.swap(r.labels);
  page.parts.swap(r.parts);
  page.wires.swap(r.wires);
  page.junctions.swap(r.junctions);
  page.texts.swap(r.texts);
  page.edit_block = edit_block;

  // The restored node assignments may be older than the last connectivity pass
  // of any scope, so every scope is redone.
  for (const auto& b : page.blocks) mark_changed(s, b.get());
  if (page.blocks.empty()) mark_changed(s, nullptr);
  return true;
}

bool page_snapshot_symbols_known(const PageSnapshot& snap,
                                 const std::unordered_set<const SymbolRecord*>& known,
                                 std::unordered_set<const UndoChunk*>* checked) {
  auto ok = [&](const SymbolRecord* d) { return !d || known.count(d) != 0; };
  for (const BlockRecord& b : snap.blocks)
    if (!ok(b.symbol)) return false;
  const Lists none;  // positions need not become pointers to read a symbol
  for (const auto& c : snap.parts.chunks) {
    if (checked && checked->count(c.get())) continue;
    Reader r(c->bytes.data(), c->bytes.data() + c->bytes.size());
    for (uint32_t k = 0; k < c->count && r.ok(); ++k) {
      PartRecord p;
      decode(r, p, none);
      if (!ok(p.symbol)) return false;
    }
    if (checked) checked->insert(c.get());
  }
  return true;
}

void undo_mark_append(UndoRecord& u, const Schematic& s, int kind) {
  u = UndoRecord{};
  const Page& page = s.page();
  size_t length = 0;
  int state = kUndoEmpty;
  switch (kind) {
    case kAppendPart:
      length = page.parts.size();
      state = kUndoPartAppended;
      break;
    case kAppendWire:
      length = page.wires.size();
      state = kUndoWireAppended;
      break;
    case kAppendJunction:
      length = page.junctions.size();
      state = kUndoJunctionAppended;
      break;
    case kAppendLabel:
      length = page.labels.size();
      state = kUndoLabelAppended;
      break;
    case kAppendText:
      length = page.texts.size();
      state = kUndoTextAppended;
      break;
    default:
      return;
  }
  u.state = state;
  u.page = s.current_page();
  u.page_at = &s.page();
  u.list_length = length;
  u.junction_length = page.junctions.size();
}

void undo_snapshot(UndoRecord& u, const Schematic& s, const PageSnapshot* like,
                   const std::shared_ptr<UndoMeter>& meter) {
  u = UndoRecord{};
  try {
    u.before = page_snapshot(s.page(), like, meter);
    u.state = kUndoSnapshot;
  } catch (const std::bad_alloc&) {
    u.before.reset();
    u.state = kUndoSnapshotFailed;
  }
  u.page = s.current_page();
  u.page_at = &s.page();
}

int undo_find_page(const UndoRecord& u, const Schematic& s) {
  if (u.page >= 0 && static_cast<size_t>(u.page) < s.pages.size() && s.pages[u.page].get() == u.page_at)
    return u.page;
  for (size_t i = 0; i < s.pages.size(); ++i)
    if (s.pages[i].get() == u.page_at) return static_cast<int>(i);
  return -1;
}

int undo_revert(const UndoRecord& u, Schematic& s, int page_index, Notify& notify) {
  if (page_index < 0 || static_cast<size_t>(page_index) >= s.pages.size()) {
    notify.error("Cannot complete undo");
    return -1;
  }
  if (u.state == kUndoSnapshot) {
    if (u.before && page_restore(*u.before, s, page_index)) return 1;
    notify.error("Cannot complete undo");
    return -1;
  }
  return remove_appended(u, s, page_index);
}

}  // namespace zephyrim
