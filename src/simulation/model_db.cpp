#include "simulation/model_db.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "common/byte_io.h"
#include "common/file_io.h"
#include "common/text_format.h"

namespace zephyrim {

namespace {

// Bytes with the high bit set, so that an ASCII text never scrambles to a NUL.
constexpr std::array<uint8_t, kScrambleKeySize> kScrambleKey = {
    0xA7, 0x93, 0xC5, 0xE1, 0x8B, 0xF2, 0x9D, 0xB4, 0xD8, 0x86, 0xEF, 0xA2, 0xC9, 0x91, 0xFB,
    0xB7, 0x8E, 0xD3, 0xE6, 0x9A, 0xC1, 0xAD, 0xF7, 0x84, 0xBE, 0xD5, 0x99, 0xE8, 0xA4, 0xCB,
    0x8F, 0xF0, 0xB2, 0xDC, 0x95, 0xE3, 0xAA, 0xC7, 0x81, 0xFD, 0xB9, 0xD1, 0x9E};

constexpr char kMainReadError[] = "\nERROR: reading main index file\n";

// Room for n records of size bytes each in what is left of r; false also for a
// negative n, so that no count from a file reserves more than the file holds.
bool room_for(const ByteReader& r, int64_t n, size_t size) {
  return n >= 0 && static_cast<uint64_t>(n) <= r.remaining() / size;
}

// A scrambled field of the given size whose clear text has length bytes.
bool scrambled_field(std::span<const uint8_t> field, int32_t length, std::string& out) {
  if (length < 0 || static_cast<size_t>(length) >= field.size()) return false;
  out = unscramble_text(field.first(static_cast<size_t>(length)));
  return true;
}

std::string base_name_of(std::string_view path) {
  const size_t slash = path.find_last_of("/\\");
  if (slash != std::string_view::npos) path.remove_prefix(slash + 1);
  if (path.size() >= 4) {
    const std::string ext = ascii_upper(path.substr(path.size() - 4));
    if (ext == ".MDB" || ext == ".MDX") path.remove_suffix(4);
  }
  return std::string(path);
}

std::string folder_with_slash(const std::string& folder) {
  if (folder.empty() || folder.back() == '/') return folder;
  return folder + "/";
}

// A counted, scrambled text: L, L bytes and a NUL; L at most max_length.
bool counted_scrambled(ByteReader& r, size_t max_length, std::string& out) {
  int32_t length = 0;
  if (!r.i32(length) || length < 0 || static_cast<size_t>(length) > max_length) return false;
  const std::span<const uint8_t> body = r.view(static_cast<size_t>(length) + 1);
  if (body.empty()) return false;
  out = unscramble_text(body.first(static_cast<size_t>(length)));
  return true;
}

// A list of counted texts; false on any short or oversized part.
bool text_list(ByteReader& r, size_t max_length, std::vector<std::string>& out) {
  int32_t count = 0;
  // Each text takes at least its length and its NUL.
  if (!r.i32(count) || !room_for(r, count, 5)) return false;
  out.clear();
  out.reserve(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) {
    std::string text;
    if (!counted_scrambled(r, max_length, text)) return false;
    out.push_back(std::move(text));
  }
  return true;
}

// The 24-byte name records of a text model's tables.
bool name_table(ByteReader& r, int32_t count, std::vector<std::string>& out) {
  if (!room_for(r, count, kTableRecordSize)) return false;
  out.clear();
  out.reserve(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) {
    const std::span<const uint8_t> field = r.view(kTableNameSize);
    int32_t length = 0;
    std::string name;
    if (field.empty() || !r.i32(length) || !scrambled_field(field, length, name)) return false;
    out.push_back(std::move(name));
  }
  return true;
}

int model_part(ByteReader& r, ModelRecord& out) {
  std::array<uint8_t, kModelKindSize> kind{};
  if (!r.bytes(kind)) return kRecordKind;
  FixedText<kModelKindSize> kind_text;
  kind_text.bytes = kind;
  out.kind = kind_text.str();
  int32_t count = 0;
  if (!r.i32(count) || !room_for(r, count, kParameterNameSize + 2 + 8)) return kRecordParameterNames;
  out.parameters.clear();
  out.parameters.reserve(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) {
    const std::span<const uint8_t> field = r.view(kParameterNameSize);
    int16_t length = 0;
    ModelParameter p;
    if (field.empty() || !r.i16(length) || !scrambled_field(field, length, p.name))
      return kRecordParameterNames;
    out.parameters.push_back(std::move(p));
  }
  for (ModelParameter& p : out.parameters)
    if (!r.f64(p.value)) return kRecordParameterValues;
  return kModelDbOk;
}

int text_part(ByteReader& r, ModelRecord& out) {
  int32_t pins = 0, parameters = 0, lines = 0;
  if (!r.i32(pins) || !r.i32(parameters) || !r.i32(lines)) return kRecordTextCounts;
  if (!name_table(r, pins, out.pins)) return kRecordPins;
  if (!name_table(r, parameters, out.parameter_names)) return kRecordParameters;
  if (!room_for(r, lines, 5)) return kRecordLineLength;
  out.lines.clear();
  out.lines.reserve(static_cast<size_t>(lines));
  for (int32_t i = 0; i < lines; ++i) {
    int32_t length = 0;
    if (!r.i32(length) || length < 0) return kRecordLineLength;
    const std::span<const uint8_t> body = r.view(static_cast<size_t>(length) + 1);
    if (body.empty()) return kRecordLineText;
    out.lines.push_back(unscramble_text(body.first(static_cast<size_t>(length))));
  }
  return kModelDbOk;
}

}  // namespace

// --- model types ---

char mid_letter(int mid) {
  return mid >= 0 && mid < static_cast<int>(sizeof kMidLetters - 1) ? kMidLetters[mid] : ' ';
}

char mid_letter(int mid, const ModelDbLog& log) {
  if ((mid < 0 || mid >= static_cast<int>(sizeof kMidLetters - 1)) && log)
    log(strprintf("\nInvalid MID=%d found\n", mid));
  return mid_letter(mid);
}

int mid_of_element(char element, const ModelDbLog& log) {
  const char upper = ascii_upper(element);
  if (upper != ' ')
    for (int mid = 0; mid < static_cast<int>(sizeof kMidLetters - 1); ++mid)
      if (kMidLetters[mid] == upper) return mid;
  if (log) log(strprintf("\nMatching MID not found for element %c\n", element));
  return -1;
}

// --- scrambled texts ---

std::string scramble_text(std::string_view text) {
  std::string out(text.rbegin(), text.rend());
  for (size_t i = 0; i < out.size(); ++i)
    out[i] = static_cast<char>(static_cast<uint8_t>(out[i]) ^ kScrambleKey[i % kScrambleKeySize]);
  return out;
}

std::string unscramble_text(std::span<const uint8_t> stored) {
  std::string out(stored.size(), '\0');
  for (size_t i = 0; i < stored.size(); ++i)
    out[i] = static_cast<char>(stored[i] ^ kScrambleKey[i % kScrambleKeySize]);
  std::reverse(out.begin(), out.end());
  const size_t nul = out.find('\0');
  if (nul != std::string::npos) out.resize(nul);
  return out;
}

// --- readers from bytes ---

int decode_main_index(std::span<const uint8_t> bytes, MainIndex& out, const ModelDbLog& log) {
  ByteReader r(bytes);
  const auto fail = [&](int code) {
    if (log) log(kMainReadError);
    return code;
  };
  out = MainIndex{};
  if (!r.bytes(out.title.bytes)) return fail(kMainTitleShort);
  if (!r.i32(out.version)) return fail(kMainVersionMissing);
  int32_t count = 0;
  if (!r.i32(count) || count > static_cast<int32_t>(kMaxLibraries) || !room_for(r, count, kMainItemSize))
    return fail(kMainItemsShort);
  out.items.resize(static_cast<size_t>(count));
  for (LibraryItem& item : out.items) {
    r.bytes(item.description.bytes);
    r.bytes(item.file.bytes);
    r.i32(item.level);
    r.bytes(item.reserved);
  }
  if (r.failed()) return fail(kMainItemsShort);
  // The library version is optional: a file that ends after the items has none.
  FixedText<16> version;
  if (r.bytes(version.bytes)) {
    version.terminate();
    out.library_version = version.str();
  }
  return kModelDbOk;
}

int decode_mdb_header(std::span<const uint8_t> bytes, MdbHeader& out) {
  ByteReader r(bytes);
  if (!r.bytes(out.title.bytes) || !r.i32(out.count) || !r.i32(out.check1) || !r.i32(out.check2))
    return kIndexMismatch;
  return kModelDbOk;
}

int decode_library_index(std::span<const uint8_t> bytes, LibraryIndex& out, const ModelDbLog& log,
                         const MdbHeader* expected, std::string_view mdb_path) {
  ByteReader r(bytes);
  const auto fail = [&](int code) {
    if (log) log(strprintf("Error reading indexed library file. Error code=%d\n", code));
    return code;
  };
  out = LibraryIndex{};
  MdbHeader& h = out.header;
  if (!r.bytes(h.title.bytes)) return fail(kIndexTitleOrCount);
  if (!r.i32(h.count)) return fail(kIndexCountShort);
  if (!r.i32(h.check1)) return fail(kIndexCheck1Short);
  if (!r.i32(h.check2)) return fail(kIndexCheck2Short);
  if (expected &&
      (h.count != expected->count || h.check1 != expected->check1 || h.check2 != expected->check2)) {
    if (log)
      log(strprintf("ERROR: index does not match library database file: %.*s\n",
                    static_cast<int>(mdb_path.size()), mdb_path.data()));
    return fail(kIndexMismatch);
  }
  if (!r.bytes(out.text.bytes)) return fail(kIndexText64Short);
  if (!r.bytes(out.text256.bytes)) return fail(kIndexText256Short);
  int32_t n = 0;
  if (!r.i32(n)) return fail(kIndexEntryCountShort);
  if (n < 1 || n > kMaxIndexEntries) {
    if (log)
      log(n > kMaxIndexEntries ? strprintf("\nERROR: Index file saved count too large: %d\n", n)
                               : strprintf("\nERROR: Index file saved count: %d\n", n));
    return fail(kIndexTitleOrCount);
  }
  if (!r.i32(out.reserved)) return fail(kIndexReservedShort);
  if (!room_for(r, h.count, 4)) return fail(kIndexOffsetsShort);
  out.offsets.resize(static_cast<size_t>(h.count));
  for (uint32_t& o : out.offsets) r.u32(o);
  out.entries.reserve(std::min<size_t>(static_cast<size_t>(n), r.remaining() / kMdxEntrySize + 1));
  for (int32_t i = 0; i < n; ++i) {
    IndexEntry e;
    if (!r.i32(e.list_flag) || !r.i32(e.mid) || !r.bytes(e.reserved)) return fail(kEntryHeadShort);
    const std::span<const uint8_t> name = r.view(64), part = r.view(32), symbol = r.view(32);
    if (r.failed()) return fail(kEntryNamesShort);
    const bool classes = r.bytes(e.class_name.bytes) && r.bytes(e.subclass.bytes);
    const std::span<const uint8_t> description = r.view(64);
    if (!classes || r.failed()) return fail(kEntryClassesShort);
    uint32_t position = 0;
    if (!r.u32(position)) return fail(kEntryPositionShort);
    e.position = position;
    int32_t lengths[4] = {};
    for (int32_t& l : lengths)
      if (!r.i32(l)) return fail(kEntryLengthsBad);
    if (!scrambled_field(name, lengths[0], e.name) || !scrambled_field(part, lengths[1], e.part_number) ||
        !scrambled_field(symbol, lengths[2], e.symbol) ||
        !scrambled_field(description, lengths[3], e.description))
      return fail(kEntryLengthsBad);
    e.class_name.terminate();
    e.subclass.terminate();
    out.entries.push_back(std::move(e));
  }
  return kModelDbOk;
}

int decode_model_record(std::span<const uint8_t> mdb, uint64_t position, ModelRecord& out,
                        const ModelDbLog& log) {
  out = ModelRecord{};
  if (position > mdb.size()) {
    if (log)
      log(strprintf("\nCannot set library database file position: %lu\n",
                    static_cast<unsigned long>(position)));
    return kModelPositionBad;
  }
  if (position == mdb.size()) return kModelDbEndOfFile;
  ByteReader r(mdb);
  r.seek(static_cast<size_t>(position));
  const std::span<const uint8_t> marker = r.view(kModelMarkerSize);
  if (marker.empty()) return kRecordMarkerShort;
  const size_t marker_length = sizeof kModelMarker - 1;
  if (std::memcmp(marker.data(), kModelMarker, marker_length) != 0 || marker[marker_length] != 0)
    return kRecordMarkerWrong;

  const std::span<const uint8_t> header = r.view(kModelHeaderSize);
  if (header.empty()) return kRecordHeader;
  ByteReader h(header);
  h.i32(out.type);
  h.i32(out.mid);
  const std::span<const uint8_t> name = h.view(64), part = h.view(32), symbol = h.view(32);
  int32_t lengths[3] = {};
  for (int32_t& l : lengths) h.i32(l);
  h.bytes(out.reserved);
  if (out.type < 0) {
    if (log) log(strprintf("ERROR: invalid model type %d\n", out.type));
    return kRecordTypeInvalid;
  }
  if (!scrambled_field(name, lengths[0], out.name) || !scrambled_field(part, lengths[1], out.part_number) ||
      !scrambled_field(symbol, lengths[2], out.symbol))
    return kRecordHeader;

  for (int i = 0; i < 3; ++i)
    if (!text_list(r, kMaxListText, out.lists[static_cast<size_t>(i)])) return kRecordList1 + i;
  return out.type > 0 ? model_part(r, out) : text_part(r, out);
}

int decode_cross_index(std::span<const uint8_t> bytes, CrossIndex& out, const ModelDbLog& log) {
  ByteReader r(bytes);
  out = CrossIndex{};
  if (!r.bytes(out.title.bytes)) return kCrossTitleShort;
  if (!r.i32(out.version)) return kCrossVersionShort;
  if (!r.bytes(out.text.bytes)) return kCrossTextShort;
  int32_t count = 0;
  if (!r.i32(count)) return kCrossCountShort;
  if (!room_for(r, count, kCrossRecordSize)) {
    if (log) log(strprintf("\nERROR: allocating index all array size=%d\n", count));
    return kCrossRecordsShort;
  }
  out.records.resize(static_cast<size_t>(count));
  for (CrossRecord& c : out.records) {
    FixedText<64> name;
    r.bytes(name.bytes);
    name.terminate();
    c.name = name.str();
    r.i32(c.library);
    r.i32(c.entry);
    r.i32(c.mid);
  }
  return r.failed() ? kCrossRecordsShort : kModelDbOk;
}

// --- SPICE text ---

namespace {

// %G as the listing has always shown values, with more digits only where six
// would change the value: a model must simulate as the file it came from.
std::string parameter_value(double v) {
  for (int digits = 6; digits < 17; ++digits) {
    std::string t = strprintf("%.*G", digits, v);
    if (std::strtod(t.c_str(), nullptr) == v) return t;
  }
  return strprintf("%.17G", v);
}

}  // namespace

std::string model_text(const ModelRecord& model) {
  if (model.type < 0) return strprintf("\n*ERROR: invalid library model type = %d requested\n\n", model.type);
  std::string out = "\n*";
  if (model.type == 0) {
    for (const std::string& line : model.lines) out += "\n" + line;
    return out + "\n";
  }
  out += strprintf("\n.MODEL %s %s (", model.name.c_str(), model.kind.c_str());
  for (size_t i = 0; i < model.parameters.size(); ++i) {
    if (i % 4 == 0) out += "\n+  ";
    out += strprintf(" %s=%s", model.parameters[i].name.c_str(),
                     parameter_value(model.parameters[i].value).c_str());
  }
  return out + " )\n";
}

// --- the database ---

void ModelDatabase::say(const std::string& text) const {
  if (log_) log_(text);
}

int ModelDatabase::open_main_index(const std::string& folder) {
  const std::string f = folder_with_slash(folder);
  if (main_open_ && f == folder_) return 1;
  main_open_ = false;
  index_open_ = false;
  selected_ = -1;
  folder_ = f;
  const std::string path = folder_ + kMainIndexFile;
  const auto bytes = read_file(path, uint64_t{1} << 24);
  if (!bytes) {
    say(strprintf("\nCannot open main index file: %s\n", path.c_str()));
    code_ = kModelDbNoFile;
    return 0;
  }
  code_ = decode_main_index(*bytes, main_, log_);
  main_open_ = code_ == kModelDbOk;
  return main_open_ ? 1 : 0;
}

int ModelDatabase::find_library(std::string_view file_name) const {
  const std::string wanted = ascii_upper(base_name_of(file_name));
  for (size_t i = 0; i < main_.items.size(); ++i)
    if (iequals(wanted, base_name_of(main_.items[i].file.view()))) return static_cast<int>(i);
  return -1;
}

std::string ModelDatabase::library_path(int library, const char* extension) const {
  if (library < 0 || static_cast<size_t>(library) >= main_.items.size()) return {};
  return folder_ + base_name_of(main_.items[static_cast<size_t>(library)].file.view()) + "." + extension;
}

int ModelDatabase::open_library_index(int library) {
  index_open_ = false;
  index_ = LibraryIndex{};
  mdb_.clear();
  dup_.clear();
  if (!main_open_ || library < 0 || static_cast<size_t>(library) >= main_.items.size()) {
    selected_ = -1;
    code_ = kModelDbNoFile;
    return 0;
  }
  selected_ = library;
  const std::string mdb_path = library_path(library, "MDB");
  index_path_ = library_path(library, "MDX");
  auto mdb = read_file(mdb_path, uint64_t{1} << 30);
  if (!mdb) {
    say(strprintf("\nCannot open library database file: %s\n", mdb_path.c_str()));
    code_ = kModelDbNoFile;
    return 0;
  }
  MdbHeader header;
  if (decode_mdb_header(*mdb, header) != kModelDbOk) {
    say(strprintf("ERROR: index does not match library database file: %s\n", mdb_path.c_str()));
    say(strprintf("Error reading indexed library file. Error code=%d\n", kIndexMismatch));
    code_ = kIndexMismatch;
    return 0;
  }
  const auto mdx = read_file(index_path_, uint64_t{1} << 26);
  if (!mdx) {
    say(strprintf("\nCannot open library database index file: %s\n", index_path_.c_str()));
    code_ = kModelDbNoFile;
    return 0;
  }
  code_ = decode_library_index(*mdx, index_, log_, &header, mdb_path);
  if (code_ != kModelDbOk) return 0;
  mdb_ = std::move(*mdb);
  dup_.assign(index_.entries.size(), 0);
  index_open_ = true;
  return 1;
}

int ModelDatabase::mark_duplicates() {
  const size_t n = index_.entries.size();
  dup_.assign(n, 0);
  std::vector<bool> later(n, false);
  std::vector<std::string> names(n);
  for (size_t i = 0; i < n; ++i) names[i] = ascii_upper(index_.entries[i].name);
  int marked = 0;
  for (size_t i = 0; i < n; ++i) {
    if (later[i]) continue;
    for (size_t j = i + 1; j < n; ++j) {
      if (later[j] || index_.entries[j].mid != index_.entries[i].mid || names[j] != names[i]) continue;
      ++dup_[i];
      dup_[j] = -static_cast<int>(i);
      later[j] = true;
      ++marked;
    }
  }
  return marked;
}

void ModelDatabase::list_index(std::string& out) const {
  out += strprintf("\nINDEX TABLE: %s\n", index_path_.c_str());
  out +=
      "      DUP   PART#            TYPE    NAME             SYMBOL          CLASS           SUBCLASS        "
      "DESCRIPTION\n";
  for (size_t i = 0; i < index_.entries.size(); ++i) {
    const IndexEntry& e = index_.entries[i];
    const std::string part = e.list_flag == 0        ? std::string("NOLIST")
                             : e.part_number.empty() ? e.name
                                                     : e.part_number;
    const int dup = i < dup_.size() ? dup_[i] : 0;
    out += strprintf("%-5d %-5d %-16s %c       %-16s %-15s %-15s %-15s %s\n", static_cast<int>(i), dup,
                     part.c_str(), mid_letter(e.mid, log_), e.name.c_str(), e.symbol.c_str(),
                     e.class_name.str().c_str(), e.subclass.str().c_str(), e.description.c_str());
  }
}

int ModelDatabase::read_model(int entry, ModelRecord& out) {
  if (!index_open_ || entry < 0 || static_cast<size_t>(entry) >= index_.entries.size()) {
    code_ = kModelDbNoFile;
    return code_;
  }
  code_ = decode_model_record(mdb_, index_.entries[static_cast<size_t>(entry)].position, out, log_);
  return code_;
}

int ModelDatabase::write_model_text(int entry, std::string& out) {
  ModelRecord model;
  const int code = read_model(entry, model);
  if (code == kRecordTypeInvalid) out += model_text(model);
  if (code != kModelDbOk) return 0;
  out += model_text(model);
  return 1;
}

int ModelDatabase::save_model(int entry, const std::string& path, bool append) {
  std::string text;
  if (append) {
    if (auto old = read_text_file(path)) text = std::move(*old);
  }
  text += strprintf("\n*Library: %s", library_path(selected_, "MDB").c_str());
  std::string model;
  const int written = write_model_text(entry, model);
  if (written) {
    text += model + "\n";
  } else {
    const std::string name = index_open_ && entry >= 0 && static_cast<size_t>(entry) < index_.entries.size()
                                 ? index_.entries[static_cast<size_t>(entry)].name
                                 : std::string();
    text += strprintf("\n*ERROR: cannot save library model = %s\n\n", name.c_str());
  }
  if (!write_file_atomic(path, text)) return 0;
  return written;
}

int ModelDatabase::open_cross_index(const std::string& folder) {
  const std::string f = folder_with_slash(folder);
  if (cross_open_ && f == cross_folder_) return static_cast<int>(cross_.records.size());
  cross_open_ = false;
  cross_ = CrossIndex{};
  cross_folder_ = f;
  const std::string path = f + kCrossIndexFile;
  const auto bytes = read_file(path, uint64_t{1} << 28);
  if (!bytes) {
    say(strprintf("\nCannot open index all file: %s\n", path.c_str()));
    code_ = kModelDbNoFile;
    return 0;
  }
  code_ = decode_cross_index(*bytes, cross_, log_);
  if (code_ != kModelDbOk) {
    cross_ = CrossIndex{};
    return 0;
  }
  cross_open_ = true;
  return static_cast<int>(cross_.records.size());
}

std::string model_database_folder(const std::string& circuit_folder, const std::string& configured,
                                  const EnvLookup& env) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (!circuit_folder.empty() && fs::is_regular_file(fs::path(circuit_folder) / kMainIndexFile, ec))
    return circuit_folder;
  if (!configured.empty()) return configured;
  // As the base-directory rules ask, a relative XDG_DATA_HOME is ignored.
  if (const auto data = env("XDG_DATA_HOME"); data && data->starts_with('/'))
    return (fs::path(*data) / "zephyrim" / "models").string();
  if (const auto home = env("HOME"); home && !home->empty())
    return (fs::path(*home) / ".local" / "share" / "zephyrim" / "models").string();
  return {};
}

}  // namespace zephyrim
