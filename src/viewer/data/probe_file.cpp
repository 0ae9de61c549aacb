#include "viewer/data/probe_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <span>

#include "common/byte_io.h"
#include "common/mapped_file.h"
#include "common/notify.h"
#include "common/progress.h"
#include "common/text_format.h"
#include "viewer/data/data_store.h"
#include "viewer/data/record_columns.h"

namespace zephyrim {

namespace {

// What differs between the three generations.
struct Layout {
  int version = kProbeCurrentVersion;  // 100, 200, 300 or more
  size_t tag_size = 4;                 // record tag bytes
  size_t count_size = 4;               // kind and the three counts
  size_t x_name_size = kProbeNameSize;
  size_t name_size = kProbeNameSize;
  bool has_label = true;
  size_t value_size = 8;
  bool noise_complex = true;  // kind 4 registers complex (not in 1.00)
};

Layout layout_for(int version, int value_size) {
  Layout l;
  l.version = version;
  if (version >= 300) {
    l.value_size = value_size == 8 ? 8 : 4;
    return l;
  }
  l.tag_size = 1;
  l.count_size = 2;
  l.x_name_size = 8;
  l.value_size = 4;
  if (version < 200) {
    l.name_size = 20;
    l.has_label = false;
    l.noise_complex = false;
  }
  return l;
}

const char* error_format(const Layout& l) {
  if (l.version >= 300) return "Error code: %d - reading binary data file:\n%s";
  if (l.version >= 200) return "Error code: %d - reading ver. 2.00 binary data file:\n%s";
  return "Error code: %d - reading ver. 1.00 SAVE file:\n%s";
}

// The files are little-endian, like every machine this runs on.
static_assert(std::endian::native == std::endian::little);

double load_value(const uint8_t* p, size_t size) {
  if (size == 8) {
    double d;
    std::memcpy(&d, p, 8);
    return d;
  }
  float f;
  std::memcpy(&f, p, 4);
  return f;
}

// A fixed-width text field: a leading terminator is an empty text, otherwise
// the text up to the terminator forced into the last byte, without trailing
// blanks. False for a field of blanks only.
bool field_text(std::span<const uint8_t> field, std::string& out) {
  out.clear();
  if (field.empty() || field[0] == 0) return true;
  const size_t limit = field.size() - 1;
  size_t n = 0;
  while (n < limit && field[n] != 0) ++n;
  out.assign(reinterpret_cast<const char*>(field.data()), n);
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return !out.empty();
}

bool is_newdata(std::span<const uint8_t> bytes, size_t at) {
  return at + 8 <= bytes.size() && std::memcmp(bytes.data() + at, "NEWDATA", 7) == 0;
}

bool is_newdata(std::span<const uint8_t> bytes) {
  return is_newdata(bytes, 0);
}

struct BlockHeader {
  size_t source_position = 0;  // the kind field
  int kind = 0;                // the file's kind, 0 for one outside the table
  bool pairs = false;          // analog values are (real, imaginary) pairs
  int64_t analog = 0;          // A + B
  int64_t digital = 0;         // C
  std::string x_name;
  std::vector<std::string> names;  // analog, then digital
  size_t records = 0;              // position of the first record
};

// Reads kind, counts and names from the kind field on. 0, or the error code.
int read_block_header(ByteReader& r, const Layout& l, BlockHeader& h) {
  h.source_position = r.position();
  int64_t f[4] = {};
  for (auto& v : f) {
    if (l.count_size == 4) {
      int32_t x;
      if (!r.i32(x)) return 4;
      v = x;
    } else {
      int16_t x;
      if (!r.i16(x)) return 4;
      v = x;
    }
  }
  if (f[1] < 0 || f[2] < 0 || f[3] < 0) return 4;
  h.pairs = f[0] == ANALYSIS_AC;
  h.kind = f[0] >= 0 && f[0] < kKindSlots ? static_cast<int>(f[0]) : ANALYSIS_OTHER;
  h.analog = f[1] + f[2];
  h.digital = f[3];
  if (h.analog + h.digital == 0) return 4;
  auto x = r.view(l.x_name_size);
  if (x.empty() || !field_text(x, h.x_name) || h.x_name.empty()) return 8;
  const auto count = static_cast<uint64_t>(h.analog + h.digital);
  // Names never take more memory than the file holds.
  if (count > r.remaining() / l.name_size) return 10;
  h.names.clear();
  h.names.reserve(count);
  std::string name;
  for (uint64_t i = 0; i < count; ++i) {
    if (!field_text(r.view(l.name_size), name) || name.empty()) return 10;
    h.names.push_back(name);
  }
  h.records = r.position();
  return 0;
}

size_t analog_record_size(const Layout& l, const BlockHeader& h) {
  return l.tag_size + l.value_size + static_cast<size_t>(h.analog) * l.value_size * (h.pairs ? 2 : 1);
}

size_t digital_record_size(const Layout& l, const BlockHeader& h) {
  return l.tag_size + l.value_size + static_cast<size_t>(h.digital);
}

// Walks the records of a block from h.records, read a window at a time. Calls
// on_x(record) for each whole analog record and on_d(record) for each whole
// digital record, and returns the position behind the block's terminator (or
// the end of the file when the records ran out). A call returning false stops
// the walk early.
template <typename OnX, typename OnD>
uint64_t walk_records(FileWindow& file, uint64_t end, const Layout& l, const BlockHeader& h, OnX on_x,
                      OnD on_d) {
  const size_t xs = analog_record_size(l, h), ds = digital_record_size(l, h);
  const size_t most = std::max({xs, ds, size_t{8}});
  uint64_t p = h.records;
  while (p + l.tag_size <= end) {
    const auto w = file.at(p, most);
    if (w.size() < l.tag_size) return end;
    const uint8_t tag = w[0];
    if (tag == 'X') {
      if (w.size() < xs) return end;
      if (!on_x(w.data())) return end;
      p += xs;
    } else if (tag == 'D') {
      if (w.size() < ds) return end;
      if (!on_d(w.data())) return end;
      p += ds;
    } else {
      // A writer that puts the next block's tag straight behind the records.
      return is_newdata(w) ? p : p + l.tag_size;
    }
  }
  return end;
}

bool is_noise_name(const std::string& name) {
  return iequals(name, "V(ONOISE)") || iequals(name, "V(INOISE)") || iequals(name, "I(INOISE)");
}

class CataloguePass {
 public:
  CataloguePass(DataStore& store, std::span<const uint8_t> bytes, const SourceFile& file, const Layout& l)
      : store_(store), bytes_(bytes), file_(file), l_(l) {}

  // Reads blocks from pos on; returns the error code.
  int run(size_t pos) {
    int block = 0;
    while (is_newdata(bytes_, pos)) {
      ByteReader r(bytes_);
      r.seek(pos + 8);
      std::string label;
      if (l_.has_label) {
        auto f = r.view(kProbeLabelSize);
        if (f.empty()) return 4;
        field_text(f, label);
      }
      BlockHeader h;
      if (const int code = read_block_header(r, l_, h); code != 0) return code;
      ++block;
      store_.progress().show(progress_text(block, h));
      // Room for as many records as the rest of the file can hold, so that
      // collecting the x values never moves them; pages are touched as filled.
      ax_.clear();
      dx_.clear();
      const uint64_t left = bytes_.size() - h.records;
      ax_.reserve(static_cast<size_t>(left / analog_record_size(l_, h)));
      if (h.digital > 0) dx_.reserve(static_cast<size_t>(left / digital_record_size(l_, h)));
      const size_t x_at = l_.tag_size;
      pos = static_cast<size_t>(walk_records(
          window_, bytes_.size(), l_, h,
          [&](const uint8_t* record) {
            ax_.push_back(load_value(record + x_at, l_.value_size));
            return true;
          },
          [&](const uint8_t* record) {
            dx_.push_back(load_value(record + x_at, l_.value_size));
            return true;
          }));
      const auto& ax = ax_;
      const auto& dx = dx_;
      if (!ax.empty()) {
        if (l_.has_label) store_.set_label(label, DATA_CLASS_BINARY);
        if (const int code = register_part(h, block, ax, 0, h.analog, true, 35, 38); code) return code;
      }
      if (!dx.empty()) {
        if (const int code = register_part(h, block, dx, h.analog, h.digital, false, 45, 48); code)
          return code;
      }
    }
    return 0;
  }

  int x_vectors = 0;

 private:
  std::string progress_text(int block, const BlockHeader& h) const {
    const int vars = static_cast<int>(std::min<int64_t>(1 + h.analog + h.digital, 0x7fffffff));
    if (l_.version >= 300)
      return strprintf("Reading PROBE data file...\nData block %d  Vars=%d  ", block, vars);
    if (l_.version >= 200)
      return strprintf("Reading PROBE v2.00 data file\nData block %d  Vars=%d\nTotal count %lu", block, vars,
                       static_cast<unsigned long>(registered_));
    return strprintf("Reading SAVE/PROBE ver. 1.00 data file...\nData block %d  Vars=%d\nTotal count %lu",
                     block, vars, static_cast<unsigned long>(registered_));
  }

  // Registers the x vector and the count variables from names[first] on.
  int register_part(const BlockHeader& h, int block, const std::vector<double>& xs, int64_t first,
                    int64_t count, bool analog, int x_code, int var_code) {
    const auto n = static_cast<int64_t>(xs.size());
    const DataVector* x =
        store_.add_vector({.name = h.x_name, .kind = h.kind, .points = n, .values = xs.data()});
    if (!x) return x_code;
    ++x_vectors;
    ++registered_;
    const bool complex = analog && (h.pairs || (l_.noise_complex && h.kind == ANALYSIS_NOISE));
    // A block whose records were all analog ones holds its variables at a
    // fixed stride; the loader copies such columns in one pass.
    const bool fixed = analog && dx_.empty() && complex == h.pairs;
    const DataVector* noise_x = nullptr;
    int shown = -1;
    for (int64_t i = 0; i < count; ++i) {
      const std::string& name = h.names[static_cast<size_t>(first + i)];
      RecordColumn column;
      if (fixed)
        column = {.offset = static_cast<int64_t>(h.records + l_.tag_size + l_.value_size +
                                                 static_cast<size_t>(first + i) * l_.value_size *
                                                     (h.pairs ? 2 : 1)),
                  .stride = static_cast<int64_t>(analog_record_size(l_, h)),
                  .value_size = static_cast<int>(l_.value_size),
                  .pairs = h.pairs};
      if (!store_.add_vector({.name = name,
                              .kind = h.kind,
                              .quantity = quantity_code(h.kind, name),
                              .complex = complex,
                              .x = x,
                              .points = n,
                              .source_position = static_cast<int64_t>(h.source_position)},
                             nullptr, column))
        return var_code;
      ++registered_;
      if (analog && h.pairs && l_.noise_complex && is_noise_name(name)) {
        if (!noise_x)
          noise_x =
              store_.add_vector({.name = h.x_name, .kind = ANALYSIS_NOISE, .points = n, .values = xs.data()});
        if (!noise_x) return x_code;
        if (!store_.add_vector({.name = name,
                                .kind = ANALYSIS_NOISE,
                                .quantity = quantity_code(ANALYSIS_NOISE, name),
                                .complex = 1,
                                .x = noise_x,
                                .points = n,
                                .source_position = static_cast<int64_t>(h.source_position)},
                               nullptr, column))
          return var_code;
        if (iequals(name, "V(INOISE)")) ++store_.input_noise_v;
        if (iequals(name, "I(INOISE)")) ++store_.input_noise_i;
      }
      if (count > 1000) {
        const int pct = static_cast<int>(std::min<int64_t>(100, (i + 1) * 100 / count));
        if (pct > shown) {
          shown = pct;
          store_.progress().show(
              strprintf("Reading PROBE data file...\nData block %d  Vars=%d  %d%% done\nTotal count %lu",
                        block, static_cast<int>(std::min<int64_t>(count, 0x7fffffff)), pct,
                        static_cast<unsigned long>(registered_)));
        }
      }
    }
    return 0;
  }

  DataStore& store_;
  std::span<const uint8_t> bytes_;  // for the block headers
  const SourceFile& file_;          // for the records
  FileWindow window_{file_};
  Layout l_;
  uint64_t registered_ = 0;
  std::vector<double> ax_, dx_;  // the x values of a block, reused by the next
};

}  // namespace

int probe_read_file(DataStore& store, const std::string& path) {
  MappedFile file;
  if (!file.open(path)) return 0;
  const auto records = SourceFile::open(path, nullptr);
  if (!records) return 0;
  const auto bytes = file.bytes();
  store.set_loader(probe_load_vector);
  ByteReader r(bytes);
  std::string magic;
  Layout l = layout_for(100, 4);
  DataFileEntry entry;
  entry.probe_path = path;
  size_t first_block = 0;
  if (r.text(kProbeMagicSize, magic) && iequals(magic.substr(0, 8), kProbeMagic)) {
    int16_t version = 0, name_length = 0;
    r.i16(version);
    r.i16(name_length);
    const bool current = version >= 300;
    l = layout_for(current ? version : 200, 4);
    if (r.failed() || name_length != static_cast<int16_t>(kProbeNameSize)) {
      store.notify().error(
          std::string(current
                          ? "Error: invalid variable name length spec found.\nReading simulation output data "
                            "binary file:\n"
                          : "Error: invalid variable name length spec found.\nReading ver. 2.00 binary data "
                            "file:\n") +
          path);
      return 0;
    }
    entry.version = version;
    entry.name_length = name_length;
    entry.value_size = 4;
    if (current) {
      int32_t value_size = 4;
      r.i32(value_size);
      l = layout_for(version, value_size);
      entry.value_size = static_cast<int32_t>(l.value_size);
      r.skip(12 + 12 + 256);
      first_block = kProbeHeaderSize;
    } else {
      first_block = r.position();
    }
  } else {
    entry.version = 0;
    entry.name_length = 20;
    entry.value_size = 4;
  }
  CataloguePass pass(store, bytes, *records, l);
  const int code = pass.run(first_block);
  store.reset_current_label(DATA_CLASS_BINARY);
  store.record_data_file(entry);
  store.progress().done();
  if (code != 0) store.notify().error(strprintf(error_format(l), code, path.c_str()));
  return pass.x_vectors;
}

namespace {

// A vector of the block being loaded and where its values come from.
struct Column {
  DataVector* vector;
  size_t offset;  // of its value in a record, behind the tag
  bool digital;
  bool pairs_in;   // the record holds (real, imaginary)
  int width;       // doubles per point in the scratch file
  int64_t points;  // how many to take
  int64_t found = 0;
  double* out = nullptr;  // its room in the scratch file
};

// A block whose records the catalogue found all analog holds its columns at a
// fixed stride (the catalogue gave them one): they are copied in one pass as
// such. False (nothing done) for other blocks, and when the file ends sooner
// than the catalogue found; the record walk then takes over.
bool copy_fixed_records(const SourceFile& file, const Layout& l, const BlockHeader& h,
                        std::vector<Column>& columns) {
  std::vector<ColumnCopy> copies;
  for (const auto& c : columns) {
    // Noise variables registered complex from single values take zero
    // imaginary parts, which only the walk writes.
    if (c.digital || c.vector->column.stride == 0 || (c.width == 2) != c.pairs_in) return false;
    const RecordColumn column{.offset = static_cast<int64_t>(h.records + l.tag_size + c.offset),
                              .stride = static_cast<int64_t>(analog_record_size(l, h)),
                              .value_size = static_cast<int>(l.value_size),
                              .pairs = c.pairs_in};
    copies.push_back({column, {c.out, static_cast<size_t>(c.points * c.width)}});
  }
  if (!copy_columns(file, copies)) return false;
  for (auto& c : columns) c.vector->points = c.found = c.points;
  return true;
}

}  // namespace

int probe_load_vector(DataStore& store, DataVector& vector, const char* display_name, bool whole_block) {
  if (vector.loaded()) return 1;
  const int64_t file_number = -vector.scratch_position;
  const DataFileEntry* listed = store.data_file(2) ? store.data_file(static_cast<int>(file_number)) : nullptr;
  if (listed && file_number != store.current_probe_number) {
    store.current_probe = *listed;
    store.current_probe_number = static_cast<int>(file_number);
  }
  const DataFileEntry& entry = store.current_probe;
  const Layout l = layout_for(entry.version < 200 ? 100 : entry.version, entry.value_size);
  const std::string shown = display_name && *display_name ? display_name : vector.name;
  DataClass* data = store.data_class(DATA_CLASS_BINARY);
  const uint64_t mark = data ? data->scratch.size() : 0;
  auto fail = [&](std::vector<Column>* columns) {
    if (columns) {
      for (auto& c : *columns) c.vector->scratch_position = -file_number;
      data->scratch.rewind_to(mark);
    }
    vector.scratch_position = -file_number;
    store.notify().error(strprintf(
        l.version >= 200 && l.version < 300 ? "Reading %s ver. 2.00 data vector" : "Reading %s data vector",
        shown.c_str()));
    return 0;
  };
  if (entry.probe_path.empty()) {
    store.notify().error(".PROBE data file not available");
    return fail(nullptr);
  }
  MappedFile file;
  if (!data || !file.open(entry.probe_path)) return fail(nullptr);
  const auto records = SourceFile::open(entry.probe_path, nullptr);
  if (!records) return fail(nullptr);
  const auto bytes = file.bytes();
  ByteReader r(bytes);
  BlockHeader h;
  if (vector.source_position < 0 || !r.seek(static_cast<size_t>(vector.source_position)) ||
      read_block_header(r, l, h) != 0)
    return fail(nullptr);

  auto column_for = [&](DataVector* v) -> std::optional<Column> {
    const auto at = std::find(h.names.begin(), h.names.end(), v->name);
    if (at == h.names.end()) return std::nullopt;
    const auto index = static_cast<int64_t>(at - h.names.begin());
    Column c{v, 0, index >= h.analog, false, v->complex ? 2 : 1, v->points};
    if (c.digital) {
      c.offset = l.value_size + static_cast<size_t>(index - h.analog);
    } else {
      c.pairs_in = h.pairs;
      c.offset = l.value_size + static_cast<size_t>(index) * l.value_size * (h.pairs ? 2 : 1);
    }
    if (v->x) c.points = std::min(c.points, v->x->points);
    return c;
  };
  std::vector<Column> columns;
  auto asked = column_for(&vector);
  if (!asked || asked->points <= 0) return fail(nullptr);
  columns.push_back(*asked);
  // The block's other variables that wait for their values come along when
  // the whole block is asked for or small.
  uint64_t doubles = static_cast<uint64_t>(columns[0].points) * columns[0].width;
  for (auto& v : data->vectors) {
    if (&v == &vector || v.scratch_position != vector.scratch_position ||
        v.source_position != vector.source_position)
      continue;
    auto c = column_for(&v);
    if (!c || c->points <= 0) continue;
    doubles += static_cast<uint64_t>(c->points) * c->width;
    columns.push_back(*c);
  }
  if (!whole_block && doubles > kBlockLoadDoubles) columns.resize(1);
  for (auto& c : columns) {
    c.vector->points = c.points;
    if (!store.reserve_values(*c.vector)) {
      store.notify().error("Cannot save data to temporary file");
      return fail(&columns);
    }
    c.out = store.room(*c.vector).data();
  }
  if (copy_fixed_records(*records, l, h, columns)) return 1;
  // The records are walked once for all the columns, each value written
  // straight into its room.
  std::vector<Column*> analog, digital;
  for (auto& c : columns) (c.digital ? digital : analog).push_back(&c);
  auto take = [&](const uint8_t* record, std::vector<Column*>& list, bool is_digital) {
    record += l.tag_size;
    bool more = false;
    for (Column* c : list) {
      if (c->found >= c->points) continue;
      const uint8_t* at = record + c->offset;
      double* o = c->out + c->found * c->width;
      if (is_digital) {
        o[0] = static_cast<int8_t>(*at) + 0.001;
        if (c->width == 2) o[1] = 0.0;
      } else {
        o[0] = load_value(at, l.value_size);
        if (c->width == 2) o[1] = c->pairs_in ? load_value(at + l.value_size, l.value_size) : 0.0;
      }
      if (++c->found < c->points) more = true;
    }
    return more || !(is_digital ? analog : digital).empty();
  };
  FileWindow window(*records);
  walk_records(
      window, bytes.size(), l, h, [&](const uint8_t* p) { return take(p, analog, false); },
      [&](const uint8_t* p) { return take(p, digital, true); });
  if (columns[0].found == 0) return fail(&columns);
  // A variable that ran short keeps the values that were there.
  for (auto& c : columns) {
    if (c.found == 0)
      c.vector->scratch_position = -file_number;
    else
      c.vector->points = c.found;
  }
  return 1;
}

namespace {

// Field by field into a ByteWriter, in the layout of the file's version.
class Encoder {
 public:
  explicit Encoder(const ProbeFileInfo& info) : l_(layout_for(info.version, info.value_size)) {}

  ByteWriter& writer() { return w_; }

  void header(const ProbeFileInfo& info) {
    // Version 1.00 files begin with their first block.
    if (l_.version < 200) return;
    std::string magic = kProbeMagic;
    magic += " PROBE DATA";
    magic.resize(kProbeMagicSize, ' ');
    w_.text(magic);
    w_.i16(static_cast<int16_t>(l_.version));
    w_.i16(static_cast<int16_t>(kProbeNameSize));
    if (l_.version >= 300) {
      w_.i32(static_cast<int32_t>(l_.value_size));
      field(info.date, 12);
      field(info.time, 12);
      field(info.title, 256);
    }
  }

  // The block; drain() is called whenever a part of it is ready and returns
  // false to stop.
  template <typename Drain>
  bool block(const ProbeBlock& b, Drain drain) {
    w_.text(std::string_view("NEWDATA\0", 8));
    if (l_.has_label) field(b.label, kProbeLabelSize);
    count(b.kind);
    count(static_cast<int64_t>(b.analog_names.size()));
    count(0);
    count(static_cast<int64_t>(b.digital_names.size()));
    field(b.x_name, l_.x_name_size);
    for (const auto& n : b.analog_names) field(n, l_.name_size);
    for (const auto& n : b.digital_names) field(n, l_.name_size);
    const size_t width = b.kind == ANALYSIS_AC ? 2 : 1;
    for (size_t i = 0; i < b.x.size(); ++i) {
      tag('X');
      value(b.x[i]);
      for (const auto& col : b.analog)
        for (size_t k = 0; k < width; ++k) value(i * width + k < col.size() ? col[i * width + k] : 0.0);
      if (w_.size() >= kDrainBytes && !drain()) return false;
    }
    for (size_t i = 0; i < b.digital_x.size(); ++i) {
      tag('D');
      value(b.digital_x[i]);
      for (const auto& col : b.digital) w_.u8(static_cast<uint8_t>(i < col.size() ? col[i] : 0));
      if (w_.size() >= kDrainBytes && !drain()) return false;
    }
    tag('E');
    return true;
  }

 private:
  static constexpr size_t kDrainBytes = size_t{1} << 20;

  void field(const std::string& text, size_t size) {
    const size_t n = std::min(text.size(), size - 1);
    w_.text(std::string_view(text).substr(0, n));
    w_.zeros(size - n);
  }
  void value(double v) {
    if (l_.value_size == 8)
      w_.f64(v);
    else
      w_.f32(static_cast<float>(v));
  }
  void count(int64_t v) {
    if (l_.count_size == 4)
      w_.i32(static_cast<int32_t>(v));
    else
      w_.i16(static_cast<int16_t>(v));
  }
  void tag(char t) {
    w_.u8(static_cast<uint8_t>(t));
    w_.zeros(l_.tag_size - 1);
  }

  Layout l_;
  ByteWriter w_;
};

}  // namespace

std::vector<uint8_t> probe_file_bytes(const std::vector<ProbeBlock>& blocks, const ProbeFileInfo& info) {
  Encoder e(info);
  e.header(info);
  for (const auto& b : blocks) e.block(b, [] { return true; });
  return e.writer().take();
}

bool probe_write_file(const std::string& path, const std::vector<ProbeBlock>& blocks,
                      const ProbeFileInfo& info) {
  ProbeFileWriter writer;
  if (!writer.open(path, info)) return false;
  for (const auto& b : blocks)
    if (!writer.append(b)) break;
  return writer.finish();
}

bool ProbeFileWriter::open(const std::string& path, const ProbeFileInfo& info) {
  if (!file_.open(path)) return false;
  info_ = info;
  blocks_ = 0;
  Encoder e(info_);
  e.header(info_);
  if (put(e.writer().take())) return true;
  file_.abandon();
  return false;
}

bool ProbeFileWriter::append(const ProbeBlock& block) {
  if (!file_.is_open()) return false;
  Encoder e(info_);
  if (!e.block(block, [&] { return put(e.writer().take()); }) || !put(e.writer().take())) return false;
  ++blocks_;
  return true;
}

bool ProbeFileWriter::put(std::vector<uint8_t> bytes) {
  return file_.write(bytes.data(), bytes.size());
}

bool ProbeFileWriter::finish() {
  return file_.commit();
}

}  // namespace zephyrim
