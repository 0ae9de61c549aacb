#include "simulation/model_db_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <set>

#include "common/byte_io.h"
#include "common/eng_number.h"
#include "common/file_io.h"
#include "common/text_format.h"

namespace zephyrim {

namespace {

constexpr size_t kMaxCommentsKept = 16;  // above a model, for its record's first list
constexpr size_t kMaxNameLength = 63;    // of a model, as the index entry holds it
constexpr size_t kShownLength = 40;      // of a skipped statement in its message

bool blank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
}

bool letter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool digit(char c) {
  return c >= '0' && c <= '9';
}

std::string_view trim_left(std::string_view s) {
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  return s;
}

std::string_view trim(std::string_view s) {
  s = trim_left(s);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

bool blank_line(std::string_view line) {
  return trim_left(line).empty();
}

bool comment_line(std::string_view line) {
  const std::string_view t = trim_left(line);
  return !t.empty() && t.front() == '*';
}

bool continuation_line(std::string_view line) {
  const std::string_view t = trim_left(line);
  return !t.empty() && t.front() == '+';
}

// The first word of a line, upper-cased (".MODEL", ".ENDS").
std::string keyword(std::string_view line) {
  const std::string_view t = trim_left(line);
  size_t end = 0;
  while (end < t.size() && !blank(t[end]) && t[end] != '(') ++end;
  return ascii_upper(t.substr(0, end));
}

// A line without its end-of-line comment: from ";" anywhere, or from a "$"
// that begins a word (a "$" inside a name stays).
std::string_view without_comment(std::string_view line) {
  for (size_t i = 0; i < line.size(); ++i)
    if (line[i] == ';' || (line[i] == '$' && (i == 0 || blank(line[i - 1])))) return line.substr(0, i);
  return line;
}

// A comment line's text: without its "*" and the blanks around it.
std::string comment_text(std::string_view line) {
  std::string_view t = trim_left(line);
  if (!t.empty() && t.front() == '*') t.remove_prefix(1);
  return std::string(trim(t));
}

// One past the last line of the statement that begins at first: its "+"
// lines, with the comment and blank lines between them.
size_t statement_end(const std::vector<std::string_view>& lines, size_t first) {
  size_t end = first + 1;
  for (size_t k = first + 1; k < lines.size(); ++k) {
    if (blank_line(lines[k]) || comment_line(lines[k])) continue;
    if (!continuation_line(lines[k])) break;
    end = k + 1;
  }
  return end;
}

// The statement's text in one: its lines without comments, "+" lines after a blank.
std::string joined_statement(const std::vector<std::string_view>& lines, size_t first, size_t end) {
  std::string text(without_comment(lines[first]));
  for (size_t k = first + 1; k < end; ++k) {
    if (!continuation_line(lines[k])) continue;
    const std::string_view t = trim_left(lines[k]);
    text += ' ';
    text += without_comment(t.substr(1));
  }
  return text;
}

// The words of a statement: blanks, commas and parentheses separate them;
// blanks around "=" do not, so that "IS = 1E-14" is one word.
std::vector<std::string> statement_words(std::string_view text) {
  std::string s;
  s.reserve(text.size());
  for (char c : text) s += (c == '(' || c == ')' || c == ',') ? ' ' : (blank(c) || c == '\n' ? ' ' : c);
  std::string tight;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != ' ') {
      tight += s[i];
      continue;
    }
    size_t next = i;
    while (next < s.size() && s[next] == ' ') ++next;
    const bool around_equals = (next < s.size() && s[next] == '=') || (!tight.empty() && tight.back() == '=');
    if (!around_equals && !tight.empty()) tight += ' ';
    i = next - 1;
  }
  return split_words(tight);
}

std::string shown(std::string_view line) {
  const std::string_view t = trim(line);
  return t.size() > kShownLength ? std::string(t.substr(0, kShownLength)) + "..." : std::string(t);
}

std::string cut(std::string_view text, size_t most) {
  return std::string(text.substr(0, most));
}

std::string file_part(std::string_view path) {
  const size_t slash = path.find_last_of("/\\");
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

// The record of a .MODEL statement; false with the reason when it is left out.
bool model_statement(const std::vector<std::string_view>& lines, size_t first, size_t end, LibraryModel& m,
                     std::string& why) {
  const std::vector<std::string> w = statement_words(joined_statement(lines, first, end));
  if (w.size() < 3) {
    why = ".MODEL needs a name and a kind";
    return false;
  }
  if (w[1].size() > kMaxNameLength) {
    why = strprintf("model name %s is longer than %zu characters", shown(w[1]).c_str(), kMaxNameLength);
    return false;
  }
  ModelRecord& r = m.record;
  r.name = w[1];
  r.mid = mid_of_model_kind(w[2]);
  m.class_name = cut(ascii_upper(w[2]), 31);
  bool numeric = w[2].size() <= kModelKindSize - 1;
  for (size_t k = 3; k < w.size() && numeric; ++k) {
    const size_t eq = w[k].find('=');
    ModelParameter p;
    numeric = eq != std::string::npos && eq > 0 && eq < kParameterNameSize &&
              spice_number(std::string_view(w[k]).substr(eq + 1), p.value);
    p.name = w[k].substr(0, eq == std::string::npos ? 0 : eq);
    if (numeric) r.parameters.push_back(std::move(p));
  }
  if (numeric) {
    r.type = r.mid;
    r.kind = w[2];
  } else {
    // Kept word for word: an expression or a text value means what it says
    // only in the simulator that reads it.
    r.type = 0;
    r.parameters.clear();
    for (size_t k = first; k < end; ++k) r.lines.emplace_back(lines[k]);
    m.subclass = "TEXT";
  }
  return true;
}

// The record of a .SUBCKT block, lines first to last (its .ENDS).
bool subckt_block(const std::vector<std::string_view>& lines, size_t first, size_t last, LibraryModel& m,
                  std::string& why) {
  const std::vector<std::string> w =
      statement_words(joined_statement(lines, first, std::min(statement_end(lines, first), last + 1)));
  if (w.size() < 2) {
    why = ".SUBCKT needs a name";
    return false;
  }
  if (w[1].size() > kMaxNameLength) {
    why = strprintf("subcircuit name %s is longer than %zu characters", shown(w[1]).c_str(), kMaxNameLength);
    return false;
  }
  ModelRecord& r = m.record;
  r.type = 0;
  r.mid = kMidSubcircuit;
  r.name = w[1];
  m.class_name = "SUBCKT";
  bool params = false;
  for (size_t k = 2; k < w.size(); ++k) {
    std::string word = w[k];
    if (istarts_with(word, "PARAMS:")) {
      params = true;
      word.erase(0, 7);
      if (word.empty()) continue;
    }
    const size_t eq = word.find('=');
    if (eq != std::string::npos) params = true;
    (params ? r.parameter_names : r.pins).push_back(cut(word.substr(0, eq), kTableNameSize - 1));
  }
  for (size_t k = first; k <= last; ++k) r.lines.emplace_back(lines[k]);
  return true;
}

// --- writing ---

// A scrambled text in a field of size bytes; returns its length.
int32_t put_scrambled(ByteWriter& w, std::string_view text, size_t size) {
  const std::string clear = cut(text, size - 1);
  w.text(scramble_text(clear));
  w.zeros(size - clear.size());
  return static_cast<int32_t>(clear.size());
}

void put_counted_scrambled(ByteWriter& w, std::string_view text) {
  w.i32(static_cast<int32_t>(text.size()));
  w.text(scramble_text(text));
  w.u8(0);
}

uint32_t fnv1a(std::span<const uint8_t> bytes) {
  uint32_t h = 2166136261u;
  for (uint8_t b : bytes) h = (h ^ b) * 16777619u;
  return h;
}

std::string folder_with_slash(const std::string& folder) {
  if (folder.empty() || folder.back() == '/') return folder;
  return folder + "/";
}

}  // namespace

int mid_of_model_kind(std::string_view kind) {
  static const struct {
    const char* kind;
    int mid;
  } kKinds[] = {{"D", 1},    {"NPN", 2},     {"PNP", 2},     {"LPNP", 2}, {"NJF", 3},  {"PJF", 3},
                {"NMOS", 4}, {"PMOS", 4},    {"VDMOS", 4},   {"R", 5},    {"RES", 5},  {"SW", 7},
                {"CSW", 7},  {"VSWITCH", 7}, {"ISWITCH", 7}, {"LTRA", 8}, {"URC", 10}, {"CORE", 11},
                {"C", 12},   {"CAP", 12},    {"TRA", 13}};
  for (const auto& k : kKinds)
    if (iequals(kind, k.kind)) return k.mid;
  return 6;
}

bool spice_number(std::string_view text, double& value) {
  size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  size_t digits = 0;
  while (i < text.size() && digit(text[i])) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && digit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return false;
  // An exponent needs its digits; an E without them is a letter of the unit.
  if (i < text.size() && (text[i] == 'E' || text[i] == 'e')) {
    size_t k = i + 1;
    if (k < text.size() && (text[k] == '+' || text[k] == '-')) ++k;
    if (k < text.size() && digit(text[k])) {
      while (k < text.size() && digit(text[k])) ++k;
      i = k;
    }
  }
  for (size_t k = i; k < text.size(); ++k)
    if (!letter(text[k])) return false;
  std::string copy(text);
  double v = 0;
  if (parse_eng(copy, v, true) <= 0 || !std::isfinite(v) || !has_value(v)) return false;
  // A power-of-ten suffix is read as an exponent, so that 20u is the double
  // nearest 2e-5 as the text means, not 20 times the double nearest 1e-6.
  std::string unit = "1" + std::string(text.substr(i));
  double factor = 0;
  if (i < text.size() && parse_eng(unit, factor, true) > 1) {
    static constexpr std::pair<double, int> kPowers[] = {{1e12, 12}, {1e9, 9},     {1e6, 6},
                                                         {1e3, 3},   {1e-3, -3},   {1e-6, -6},
                                                         {1e-9, -9}, {1e-12, -12}, {1e-15, -15}};
    for (const auto& [f, k] : kPowers)
      if (factor == f) {
        std::string_view number = text.substr(0, i);
        long exponent = 0;
        if (const size_t e = number.find_first_of("Ee"); e != std::string_view::npos) {
          exponent = std::clamp(std::strtol(std::string(number.substr(e + 1)).c_str(), nullptr, 10), -100000L,
                                100000L);
          number = number.substr(0, e);
        }
        const double exact =
            std::strtod((std::string(number) + "e" + std::to_string(exponent + k)).c_str(), nullptr);
        if (std::isfinite(exact) && has_value(exact)) v = exact;
        break;
      }
  }
  value = v;
  return true;
}

SpiceLibrary read_spice_library(std::string_view text, const std::string& file_path) {
  SpiceLibrary lib;
  lib.file_name = file_part(file_path);
  const size_t dot = lib.file_name.find_last_of('.');
  lib.base_name =
      ascii_upper(dot == std::string::npos || dot == 0 ? lib.file_name : lib.file_name.substr(0, dot));
  const std::vector<std::string_view> lines = split_lines(text);
  std::vector<std::string> comments;  // above the next statement
  std::vector<size_t> comment_lines;  // their line numbers
  size_t description_line = SIZE_MAX;
  const auto skip = [&](size_t line, const std::string& why) {
    lib.skipped.push_back(strprintf("line %zu: %s", line + 1, why.c_str()));
  };
  size_t i = 0;
  while (i < lines.size()) {
    const std::string_view line = lines[i];
    if (blank_line(line)) {
      ++i;
      continue;
    }
    if (comment_line(line)) {
      if (lib.description.empty()) {
        lib.description = comment_text(line);
        description_line = i;
      }
      if (comments.size() < kMaxCommentsKept) {
        comments.push_back(cut(line, kMaxListText));
        comment_lines.push_back(i);
      }
      ++i;
      continue;
    }
    const std::string word = keyword(line);
    LibraryModel m;
    m.line = i + 1;
    std::string why;
    bool taken = false;
    size_t next = statement_end(lines, i);
    if (word == ".SUBCKT") {
      size_t depth = 1, last = i;
      for (size_t k = i + 1; k < lines.size() && depth > 0; ++k) {
        const std::string w = keyword(lines[k]);
        if (w == ".SUBCKT") ++depth;
        if (w == ".ENDS" && --depth == 0) last = k;
      }
      if (depth > 0) {
        skip(i, "no .ENDS for " + shown(line));
        break;
      }
      taken = subckt_block(lines, i, last, m, why);
      next = last + 1;
    } else if (word == ".MODEL") {
      taken = model_statement(lines, i, next, m, why);
    } else if (word == ".END") {
      // The end of a deck that some model files carry: nothing to report.
    } else if (word.starts_with("+")) {
      why = "a continuation line with no statement before it";
    } else {
      why = "not a .MODEL or .SUBCKT statement: " + shown(line);
    }
    if (taken) {
      // The first comment above the model describes it, unless it is the line
      // that describes the whole library; that one serves when nothing else does.
      std::string fallback;
      for (size_t c = 0; c < comments.size() && m.description.empty(); ++c) {
        const std::string t = cut(comment_text(comments[c]), 63);
        if (t.empty()) continue;
        if (comment_lines[c] == description_line)
          fallback = t;
        else
          m.description = t;
      }
      if (m.description.empty()) m.description = fallback;
      m.record.lists[0] = comments;
      m.record.lists[1] = {cut(lib.file_name + ":" + std::to_string(i + 1), kMaxListText)};
      lib.models.push_back(std::move(m));
    } else if (!why.empty()) {
      skip(i, why);
    }
    comments.clear();
    comment_lines.clear();
    i = next;
  }
  for (size_t k = static_cast<size_t>(kMaxIndexEntries); k < lib.models.size(); ++k)
    lib.skipped.push_back(strprintf("line %zu: model %s left out: a library holds at most %d models",
                                    lib.models[k].line, lib.models[k].record.name.c_str(), kMaxIndexEntries));
  if (lib.models.size() > static_cast<size_t>(kMaxIndexEntries))
    lib.models.resize(static_cast<size_t>(kMaxIndexEntries));
  if (lib.description.empty()) lib.description = lib.file_name;
  return lib;
}

// --- encoders ---

std::vector<uint8_t> encode_main_index(const MainIndex& index) {
  ByteWriter w;
  w.bytes(index.title.bytes);
  w.i32(index.version);
  w.i32(static_cast<int32_t>(index.items.size()));
  for (const LibraryItem& item : index.items) {
    w.bytes(item.description.bytes);
    w.bytes(item.file.bytes);
    w.i32(item.level);
    w.bytes(item.reserved);
  }
  w.padded_text(cut(index.library_version, 15), 16);
  return w.take();
}

std::vector<uint8_t> encode_library_index(const LibraryIndex& index) {
  ByteWriter w;
  w.bytes(index.header.title.bytes);
  w.i32(index.header.count);
  w.i32(index.header.check1);
  w.i32(index.header.check2);
  w.bytes(index.text.bytes);
  w.bytes(index.text256.bytes);
  w.i32(static_cast<int32_t>(index.entries.size()));
  w.i32(index.reserved);
  for (uint32_t o : index.offsets) w.u32(o);
  for (const IndexEntry& e : index.entries) {
    w.i32(e.list_flag);
    w.i32(e.mid);
    w.bytes(e.reserved);
    const int32_t name = put_scrambled(w, e.name, 64);
    const int32_t part = put_scrambled(w, e.part_number, 32);
    const int32_t symbol = put_scrambled(w, e.symbol, 32);
    w.bytes(e.class_name.bytes);
    w.bytes(e.subclass.bytes);
    const int32_t description = put_scrambled(w, e.description, 64);
    w.u32(static_cast<uint32_t>(e.position));
    for (int32_t l : {name, part, symbol, description}) w.i32(l);
  }
  return w.take();
}

std::vector<uint8_t> encode_model_record(const ModelRecord& model) {
  ByteWriter w;
  w.padded_text(kModelMarker, kModelMarkerSize);
  w.i32(model.type);
  w.i32(model.mid);
  const int32_t name = put_scrambled(w, model.name, 64);
  const int32_t part = put_scrambled(w, model.part_number, 32);
  const int32_t symbol = put_scrambled(w, model.symbol, 32);
  for (int32_t l : {name, part, symbol}) w.i32(l);
  w.bytes(model.reserved);
  for (const std::vector<std::string>& list : model.lists) {
    w.i32(static_cast<int32_t>(list.size()));
    for (const std::string& text : list) put_counted_scrambled(w, cut(text, kMaxListText));
  }
  if (model.type > 0) {
    w.padded_text(cut(model.kind, kModelKindSize - 1), kModelKindSize);
    w.i32(static_cast<int32_t>(model.parameters.size()));
    for (const ModelParameter& p : model.parameters)
      w.i16(static_cast<int16_t>(put_scrambled(w, p.name, kParameterNameSize)));
    for (const ModelParameter& p : model.parameters) w.f64(p.value);
  } else if (model.type == 0) {
    w.i32(static_cast<int32_t>(model.pins.size()));
    w.i32(static_cast<int32_t>(model.parameter_names.size()));
    w.i32(static_cast<int32_t>(model.lines.size()));
    for (const auto* table : {&model.pins, &model.parameter_names})
      for (const std::string& n : *table) w.i32(put_scrambled(w, n, kTableNameSize));
    for (const std::string& line : model.lines) put_counted_scrambled(w, line);
  }
  return w.take();
}

std::vector<uint8_t> encode_cross_index(const CrossIndex& index) {
  ByteWriter w;
  w.bytes(index.title.bytes);
  w.i32(index.version);
  w.bytes(index.text.bytes);
  w.i32(static_cast<int32_t>(index.records.size()));
  for (const CrossRecord& c : index.records) {
    w.padded_text(cut(c.name, 63), 64);
    w.i32(c.library);
    w.i32(c.entry);
    w.i32(c.mid);
  }
  return w.take();
}

LibraryFiles encode_library(const SpiceLibrary& library) {
  ByteWriter mdb;
  mdb.zeros(kMdbHeaderSize);
  std::vector<uint32_t> positions;
  for (const LibraryModel& m : library.models) {
    positions.push_back(static_cast<uint32_t>(mdb.size()));
    mdb.bytes(encode_model_record(m.record));
  }
  LibraryFiles files;
  files.mdb = mdb.take();
  LibraryIndex index;
  MdbHeader& h = index.header;
  h.title.assign(library.base_name);
  h.count = static_cast<int32_t>(library.models.size());
  h.check1 = static_cast<int32_t>(files.mdb.size());
  h.check2 = static_cast<int32_t>(fnv1a(std::span<const uint8_t>(files.mdb).subspan(kMdbHeaderSize)));
  ByteWriter head;
  head.bytes(h.title.bytes);
  head.i32(h.count);
  head.i32(h.check1);
  head.i32(h.check2);
  std::copy(head.data().begin(), head.data().end(), files.mdb.begin());

  index.text.assign(library.file_name);
  index.text256.assign(library.description);
  index.offsets = positions;
  for (size_t i = 0; i < library.models.size(); ++i) {
    const LibraryModel& m = library.models[i];
    IndexEntry e;
    e.mid = m.record.mid;
    e.name = m.record.name;
    e.part_number = m.record.part_number;
    e.symbol = m.record.symbol;
    e.class_name.assign(m.class_name);
    e.subclass.assign(m.subclass);
    e.description = m.description;
    e.position = positions[i];
    index.entries.push_back(std::move(e));
  }
  files.mdx = encode_library_index(index);
  return files;
}

int write_model_database(const std::string& folder, const std::vector<SpiceLibrary>& libraries,
                         std::string& error) {
  if (libraries.empty()) {
    error = "no library to write";
    return 0;
  }
  if (libraries.size() > kMaxLibraries) {
    error = strprintf("%zu libraries: a database holds at most %zu", libraries.size(), kMaxLibraries);
    return 0;
  }
  std::set<std::string> names;
  for (const SpiceLibrary& lib : libraries) {
    if (lib.base_name.empty() || lib.base_name.size() > 63 || lib.base_name.find('/') != std::string::npos) {
      error = "library name '" + lib.base_name + "' cannot name a library file";
      return 0;
    }
    if (!names.insert(ascii_upper(lib.base_name)).second) {
      error = "two libraries named " + lib.base_name;
      return 0;
    }
    if (lib.models.empty() || lib.models.size() > static_cast<size_t>(kMaxIndexEntries)) {
      error = strprintf("library %s holds %zu models: it must hold 1 to %d", lib.base_name.c_str(),
                        lib.models.size(), kMaxIndexEntries);
      return 0;
    }
  }
  std::error_code ec;
  if (!folder.empty()) std::filesystem::create_directories(folder, ec);
  if (ec) {
    error = "cannot create folder " + folder + ": " + ec.message();
    return 0;
  }
  const std::string f = folder_with_slash(folder);

  MainIndex main;
  main.title.assign("Zephyrim model database");
  main.library_version = "1";
  CrossIndex cross;
  cross.title.assign("Zephyrim model cross index");
  cross.text.assign(strprintf("%zu libraries", libraries.size()));
  for (size_t l = 0; l < libraries.size(); ++l) {
    const SpiceLibrary& lib = libraries[l];
    const LibraryFiles files = encode_library(lib);
    if (files.mdb.size() > std::numeric_limits<int32_t>::max()) {
      error = "library " + lib.base_name + " is larger than 2 GB";
      return 0;
    }
    for (const auto& [extension, bytes] : {std::pair{".MDB", &files.mdb}, std::pair{".MDX", &files.mdx}}) {
      const std::string path = f + lib.base_name + extension;
      if (!write_file_atomic(path, *bytes)) {
        error = "cannot write " + path;
        return 0;
      }
    }
    LibraryItem item;
    item.description.assign(lib.description);
    item.file.assign(lib.base_name);
    main.items.push_back(item);
    for (size_t e = 0; e < lib.models.size(); ++e)
      cross.records.push_back({lib.models[e].record.name, static_cast<int32_t>(l), static_cast<int32_t>(e),
                               lib.models[e].record.mid});
  }
  // The indexes last, so that they never name a library file not written.
  for (const auto& [name, bytes] : {std::pair{kMainIndexFile, encode_main_index(main)},
                                    std::pair{kCrossIndexFile, encode_cross_index(cross)}}) {
    if (!write_file_atomic(f + name, bytes)) {
      error = "cannot write " + f + name;
      return 0;
    }
  }
  return 1;
}

}  // namespace zephyrim
