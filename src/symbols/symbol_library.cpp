// The symbol library text format: reading one symbol, writing one, saving into a file.
#include "symbols/symbol_library.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <ctime>

#include "common/file_io.h"
#include "common/text_format.h"
#include "symbols/draw_command.h"
#include "symbols/library_lines.h"

namespace zephyrim {

namespace {

// Items of a keyword line, separated by blanks, brackets or commas.
std::vector<std::string> items_of(std::string_view s) {
  std::vector<std::string> out;
  size_t i = 0;
  auto sep = [](char c) { return c == ' ' || c == '\t' || c == ',' || c == '[' || c == ']'; };
  while (i < s.size()) {
    while (i < s.size() && sep(s[i])) ++i;
    const size_t start = i;
    while (i < s.size() && !sep(s[i])) ++i;
    if (i > start) out.emplace_back(s.substr(start, i - start));
  }
  return out;
}

bool parse_int(const std::string& s, int32_t& v) {
  if (s.empty()) return false;
  char* end = nullptr;
  const long long x = std::strtoll(s.c_str(), &end, 10);
  if (end == s.c_str() || *end != '\0' || x > INT32_MAX || x < INT32_MIN) return false;
  v = static_cast<int32_t>(x);
  return true;
}

int32_t int_or_zero(const std::string& s) {
  int32_t v = 0;
  return parse_int(s, v)
             ? v
             : static_cast<int32_t>(std::clamp<long long>(std::atoll(s.c_str()), INT32_MIN, INT32_MAX));
}

bool is_end_line(std::string_view line) {
  return istarts_with(line, ".END");
}

std::string text_between_last_bracket(std::string_view line, size_t from) {
  const size_t close = line.rfind(']');
  if (close == std::string_view::npos || close < from) return std::string(line.substr(from));
  return std::string(line.substr(from, close - from));
}

}  // namespace

int32_t symbol_kind_from_name(std::string_view name) {
  if (iequals(name, "GND") || name == "0") return kSymbolGround;
  if (iequals(name, "POWER+") || iequals(name, "V+") || iequals(name, "V-") || iequals(name, "POWER-"))
    return kSymbolPowerRail;
  if (iequals(name, "PIN") || iequals(name, "PINOUT")) return kSymbolIoPin;
  return kSymbolPart;
}

void parse_header_line(std::string_view line, std::string& name, std::string& description) {
  name.clear();
  description.clear();
  const size_t open = line.rfind('[');
  if (open == std::string_view::npos) return;
  std::string_view rest = line.substr(open + 1);
  const size_t stop = rest.find_first_of("; ]\t");
  name =
      std::string(rest.substr(0, std::min<size_t>(stop == std::string_view::npos ? rest.size() : stop, 31)));
  const size_t semi = line.find(';', open);
  if (semi == std::string_view::npos) return;
  const size_t close = line.rfind(']');
  std::string_view d = (close == std::string_view::npos || close < semi)
                           ? line.substr(semi + 1)
                           : line.substr(semi + 1, close - semi - 1);
  description = std::string(d.substr(0, 61));
}

int symbol_parse(std::string_view text, int64_t position, const std::string& name,
                 const std::string& description, SymbolRecord& record, Notify& notify) {
  record = SymbolRecord{};
  if (position < 0 || static_cast<uint64_t>(position) > text.size()) {
    notify.error("Error searching symbol library file:\ninvalid position pointer.");
    return 0;
  }
  int dx = 0, dy = 0;
  bool have_region = false;
  bool in_draw = false;
  std::string draw_text;
  int declared_pins = 0;

  LibraryLines lines(text, static_cast<size_t>(position));
  std::string_view line;
  while (lines.next(line)) {
    if (!line.empty() && line[0] == '*') continue;
    if (in_draw) {
      if (!line.empty() && line[0] == ']') {
        in_draw = false;
        draw_parse(draw_text, dx, dy, record.draws, name, notify);
        continue;
      }
      if (draw_text.size() + line.size() + 1 > kMaxDrawText) {
        notify.error(strprintf("Error loading symbol %s: draw commands exceed buffer limit", name.c_str()));
        record = SymbolRecord{};
        return 0;
      }
      draw_text.append(line);
      draw_text.push_back(';');
      continue;
    }
    if (is_end_line(line)) break;
    // A symbol that lacks its ".END" ends where the next one begins.
    if (!line.empty() && line[0] == '[') break;

    if (line.starts_with("V[")) {
      std::string_view v = line.substr(2);
      v = v.substr(0, v.find_first_of("[],"));
      record.default_value.assign(v.substr(0, 63));
    } else if (line.starts_with("R[")) {
      const auto it = items_of(line.substr(2));
      if (it.size() >= 4) {
        record.region = {int_or_zero(it[0]), int_or_zero(it[1]), int_or_zero(it[2]), int_or_zero(it[3])};
        have_region = true;
      }
    } else if (line == "D[") {
      in_draw = true;
      draw_text.clear();
    } else if (line.starts_with("ROT[")) {
      const auto it = items_of(line.substr(4));
      record.rotatable = it.empty() ? 0 : int_or_zero(it[0]);
    } else if (line.starts_with("NP[")) {
      const auto it = items_of(line.substr(3));
      declared_pins = it.empty() ? 0 : std::max(0, int_or_zero(it[0]));
    } else if (line.starts_with("P[")) {
      const auto it = items_of(line.substr(2));
      if (it.size() < 4 || static_cast<int>(record.pins.size()) >= declared_pins) continue;
      SymbolPin p;
      p.side = int_or_zero(it[0]);
      p.x = int_or_zero(it[1]);
      p.y = int_or_zero(it[2]);
      p.lead_end = int_or_zero(it[3]);
      size_t next = 4;
      int32_t number = -1;
      if (it.size() > 4 && parse_int(it[4], number)) {
        p.number = number;
        next = 5;
      }
      if (it.size() > next) p.pin_name.assign(std::string_view(it[next]).substr(0, 7));
      const int at = static_cast<int>(record.pins.size());
      if (p.x % 8 != 0) notify.warning(strprintf("Symbol %s pin %d X coord. not on grid", name.c_str(), at));
      if (p.y % 8 != 0) notify.warning(strprintf("Symbol %s pin %d Y coord. not on grid", name.c_str(), at));
      record.pins.push_back(p);
    } else if (line.starts_with("NT[")) {
      record.template_text = text_between_last_bracket(line, 3);
    } else if (line.starts_with("XYO[")) {
      const auto it = items_of(line.substr(4));
      dx = it.size() > 0 ? int_or_zero(it[0]) : 0;
      dy = it.size() > 1 ? int_or_zero(it[1]) : 0;
    }
  }
  if (in_draw) draw_parse(draw_text, dx, dy, record.draws, name, notify);
  if (!have_region) {
    record = SymbolRecord{};
    return 0;
  }
  record.kind = symbol_kind_from_name(name);
  record.name.assign(name);
  record.description.assign(description);
  return 1;
}

std::string symbol_library_text(const SymbolRecord& r, const std::string& description,
                                const std::string& date) {
  std::string s = "\n";
  const std::string name = r.name.str();
  s += description.empty() ? strprintf("[%s]\n", name.c_str())
                           : strprintf("[%s  ;%s]\n", name.c_str(), description.c_str());
  s += "* " + date + "\n";
  if (!r.default_value.empty()) s += "V[" + r.default_value.str() + "]\n";
  s += strprintf("R[%d,%d,%d,%d]\n", r.region.x1, r.region.y1, r.region.x2, r.region.y2);
  s += "D[\n";
  for (const auto& c : r.draws) s += draw_format(c) + "\n";
  s += "]\n";
  if (r.rotatable) s += "ROT[1]\n";
  s += strprintf("NP[%d]\n", r.pin_count());
  for (const auto& p : r.pins) {
    s += strprintf("P[%d,%d,%d,%d", p.side, p.x, p.y, p.lead_end);
    // A number of 0 or more, or -1 standing for none, then the name.
    s += strprintf(",%d,%s]\n", p.number >= 0 ? p.number : -1, p.pin_name.str().c_str());
  }
  if (r.template_text) s += "NT[" + *r.template_text + "]\n";
  s += ".END\n\n";
  return s;
}

int symbol_find(const SymbolLibrary& lib, std::string_view name) {
  for (size_t i = 0; i < lib.index.entries.size(); ++i)
    if (iequals(lib.index.entries[i].name.str(), name)) return static_cast<int>(i);
  return -1;
}

int symbol_load(const SymbolLibrary& lib, int i, SymbolRecord& record, Notify& notify) {
  if (i < 0 || i >= static_cast<int>(lib.index.entries.size())) return 0;
  const SymbolIndexEntry& e = lib.index.entries[i];
  return symbol_parse(lib.text, e.position, e.name.str(), e.description.str(), record, notify);
}

std::unique_ptr<SymbolRecord> symbol_load_named(const SymbolLibrary& lib, std::string_view name,
                                                Notify& notify) {
  const int i = symbol_find(lib, name);
  if (i < 0) return nullptr;
  auto r = std::make_unique<SymbolRecord>();
  if (!symbol_load(lib, i, *r, notify)) return nullptr;
  return r;
}

namespace {

std::string now_text() {
  const std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  return strprintf("%02d-%s-%d %02d:%02d:%02d", tm.tm_mday, month_abbrev(tm.tm_mon), tm.tm_year + 1900,
                   tm.tm_hour, tm.tm_min, tm.tm_sec);
}

// Where the symbol of this name stands in library text: the byte range from its
// header line through its ".END" line (or to the next header). Absent if none.
std::optional<std::pair<size_t, size_t>> find_symbol_range(std::string_view text, std::string_view name) {
  LibraryLines lines(text, 0);
  std::string_view line;
  std::optional<size_t> start;
  size_t line_start = 0;
  while (true) {
    line_start = lines.position();
    if (!lines.next(line)) break;
    if (!start) {
      if (!line.empty() && line[0] == '[') {
        std::string n, d;
        parse_header_line(line, n, d);
        if (iequals(n, name)) start = line_start;
      }
    } else if (is_end_line(line)) {
      return std::make_pair(*start, lines.position());
    } else if (!line.empty() && line[0] == '[') {
      return std::make_pair(*start, line_start);
    }
  }
  if (start) return std::make_pair(*start, text.size());
  return std::nullopt;
}

}  // namespace

int symbol_save(const std::string& library_path, const SymbolRecord& record, const std::string& description,
                Notify& notify, SymbolLibrary* current) {
  if (library_path.empty()) {
    notify.error(strprintf("Invalid symbol library filename %s", library_path.c_str()));
    return 0;
  }
  const std::string name = record.name.str();
  std::string body = symbol_library_text(record, description, now_text());
  // The new symbol starts with its own blank line; as a replacement it stands
  // where the old header stood.
  const auto existing = read_text_file(library_path);
  std::string out;
  bool replaced = false;
  if (existing) {
    if (auto range = find_symbol_range(*existing, name)) {
      const int a =
          notify.question("Symbol is already in file. Do you want to replace it?", QuestionKind::YesNoCancel);
      if (a == -1) return -1;
      if (a == 1) {
        out = existing->substr(0, range->first) + body.substr(1) + existing->substr(range->second);
        replaced = true;
      }
    }
  }
  if (replaced) {
    if (!write_file_atomic(library_path, out)) {
      notify.error(strprintf("Error replacing symbol %s in file:\n%s", name.c_str(), library_path.c_str()));
      return 0;
    }
  } else {
    out = existing.value_or(std::string());
    if (!out.empty() && out.back() != '\n') out += '\n';
    out += body;
    if (!write_file_atomic(library_path, out)) {
      notify.error(strprintf("Cannot open symbol save file:\n%s", library_path.c_str()));
      return 0;
    }
  }
  notify.information(strprintf("Symbol %s saved to file:\n%s", name.c_str(), library_path.c_str()));
  if (current && current->path == library_path) {
    library_reindex(*current, notify);
    library_open(*current, library_path, notify);
  }
  return 1;
}

}  // namespace zephyrim
