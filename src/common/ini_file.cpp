#include "common/ini_file.h"

#include <algorithm>
#include <climits>
#include <filesystem>
#include <unordered_set>

#include "common/file_io.h"
#include "common/text_format.h"

namespace zephyrim {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kBlanks = " \t\r\n\v\f";
constexpr std::string_view kBom = "\xEF\xBB\xBF";

bool is_blank(char c) {
  return kBlanks.find(c) != std::string_view::npos;
}

std::string_view trim(std::string_view s) {
  const size_t first = s.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  const size_t last = s.find_last_not_of(kBlanks);
  return s.substr(first, last - first + 1);
}

enum class LineKind { kBlank, kComment, kSection, kKey, kOther };

struct ParsedLine {
  LineKind kind = LineKind::kOther;
  std::string_view name;   // section or key name, trimmed
  std::string_view value;  // key value, trimmed
  size_t value_pos = 0;    // where a rewrite of the value starts, keeping "Key = " as written
};

ParsedLine parse_line(std::string_view line) {
  ParsedLine p;
  const size_t first = line.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) {
    p.kind = LineKind::kBlank;
    return p;
  }
  const char c = line[first];
  if (c == ';' || c == '#') {
    p.kind = LineKind::kComment;
    return p;
  }
  if (c == '[') {
    const size_t close = line.find(']', first + 1);
    if (close != std::string_view::npos) {
      p.kind = LineKind::kSection;
      p.name = trim(line.substr(first + 1, close - first - 1));
    }
    return p;
  }
  const size_t eq = line.find('=', first);
  if (eq == std::string_view::npos || eq == first) return p;  // "=x" names no key
  p.kind = LineKind::kKey;
  p.name = trim(line.substr(first, eq - first));
  const size_t v = line.find_first_not_of(kBlanks, eq + 1);
  p.value_pos = v == std::string_view::npos ? line.size() : v;
  p.value = trim(line.substr(p.value_pos));
  return p;
}

bool valid_key_name(std::string_view key) {
  if (key.empty() || key.front() == '[' || key.front() == ';' || key.front() == '#') return false;
  // At the top of a file a leading BOM would be taken for the file's own and dropped.
  if (key.substr(0, kBom.size()) == kBom) return false;
  return key.find_first_of("=\r\n") == std::string_view::npos;
}

bool valid_section_name(std::string_view section) {
  return section.find_first_of("]\r\n") == std::string_view::npos;
}

std::string clean_value(std::string_view value) {
  std::string out(value);
  std::replace_if(
      out.begin(), out.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
  return std::string(trim(out));
}

// Reads [sign]digits at s[pos], saturating to the int range; pos moves past them.
std::optional<int> parse_int_at(std::string_view s, size_t& pos) {
  size_t i = pos;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  if (i >= s.size() || s[i] < '0' || s[i] > '9') return std::nullopt;
  constexpr long long kLimit = static_cast<long long>(INT_MAX) + 1;
  long long magnitude = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i)
    magnitude = std::min(kLimit, magnitude * 10 + (s[i] - '0'));
  pos = i;
  if (negative) return static_cast<int>(-magnitude);
  return static_cast<int>(std::min<long long>(magnitude, INT_MAX));
}

// Paths arrive as UTF-8 from the desktop side; char8_t makes that explicit on every platform.
fs::path to_path(const std::string& utf8) {
  return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

}  // namespace

IniFile IniFile::load(const std::string& path, IniLoadStatus* status) {
  IniFile ini;
  auto report = [&](IniLoadStatus s) {
    if (status) *status = s;
    return ini;
  };
  const fs::path p = to_path(path);
  std::error_code ec;
  const fs::file_status st = fs::status(p, ec);
  if (st.type() == fs::file_type::not_found) return report(IniLoadStatus::kMissing);
  if (ec || !fs::is_regular_file(st)) return report(IniLoadStatus::kUnreadable);
  const auto bytes = read_text_file(path, kMaxFileSize);
  if (!bytes) {
    const uintmax_t size = fs::file_size(p, ec);
    return report(!ec && size > kMaxFileSize ? IniLoadStatus::kTooLarge : IniLoadStatus::kUnreadable);
  }
  ini.load_text(*bytes);
  return report(IniLoadStatus::kOk);
}

bool IniFile::load_text(std::string_view bytes) {
  lines_.clear();
  bom_ = false;
  if (bytes.size() > kMaxFileSize) return false;
  if (bytes.substr(0, kBom.size()) == kBom) {
    bom_ = true;
    bytes.remove_prefix(kBom.size());
  }
  lines_.reserve(static_cast<size_t>(std::count(bytes.begin(), bytes.end(), '\n')) + 1);
  while (!bytes.empty()) {
    const size_t lf = bytes.find('\n');
    std::string_view line = bytes.substr(0, lf);
    bytes.remove_prefix(lf == std::string_view::npos ? bytes.size() : lf + 1);
    // All trailing CRs go, so that writing with LF and reading again gives the same lines.
    while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines_.emplace_back(line);
  }
  return true;
}

std::optional<size_t> IniFile::find_key_line(std::string_view section, std::string_view key) const {
  section = trim(section);
  key = trim(key);
  bool inside = section.empty();
  for (size_t i = 0; i < lines_.size(); ++i) {
    const ParsedLine p = parse_line(lines_[i]);
    if (p.kind == LineKind::kSection)
      inside = iequals(p.name, section);
    else if (inside && p.kind == LineKind::kKey && iequals(p.name, key))
      return i;
  }
  return std::nullopt;
}

std::optional<size_t> IniFile::insertion_line(std::string_view section) const {
  section = trim(section);
  bool inside = section.empty();
  bool found = inside;
  size_t at = 0;
  for (size_t i = 0; i < lines_.size(); ++i) {
    const ParsedLine p = parse_line(lines_[i]);
    if (p.kind == LineKind::kSection) {
      if (inside) break;  // end of the section's first block
      inside = iequals(p.name, section);
      if (inside) {
        found = true;
        at = i + 1;
      }
    } else if (inside && p.kind == LineKind::kKey) {
      at = i + 1;
    }
  }
  if (!found) return std::nullopt;
  return at;
}

std::optional<std::string> IniFile::get_string(std::string_view section, std::string_view key) const {
  const auto line = find_key_line(section, key);
  if (!line) return std::nullopt;
  return std::string(parse_line(lines_[*line]).value);
}

std::string IniFile::get_string(std::string_view section, std::string_view key,
                                std::string_view default_value) const {
  auto value = get_string(section, key);
  return value ? std::move(*value) : std::string(default_value);
}

int IniFile::get_int(std::string_view section, std::string_view key, int default_value) const {
  const auto value = get_string(section, key);
  if (!value) return default_value;
  size_t pos = 0;
  return parse_int_at(*value, pos).value_or(default_value);
}

std::vector<int> IniFile::get_ints(std::string_view section, std::string_view key) const {
  std::vector<int> numbers;
  const auto value = get_string(section, key);
  if (!value) return numbers;
  const std::string_view s = *value;
  size_t pos = 0;
  while (pos < s.size()) {
    const auto n = parse_int_at(s, pos);
    if (!n) break;
    numbers.push_back(*n);
    if (pos < s.size() && !is_blank(s[pos])) break;
    while (pos < s.size() && is_blank(s[pos])) ++pos;
  }
  return numbers;
}

bool IniFile::has_key(std::string_view section, std::string_view key) const {
  return find_key_line(section, key).has_value();
}

std::vector<std::string> IniFile::keys(std::string_view section) const {
  section = trim(section);
  std::vector<std::string> names;
  std::unordered_set<std::string> seen;  // a damaged file may hold many thousands of keys
  bool inside = section.empty();
  for (const std::string& line : lines_) {
    const ParsedLine p = parse_line(line);
    if (p.kind == LineKind::kSection)
      inside = iequals(p.name, section);
    else if (inside && p.kind == LineKind::kKey && seen.insert(ascii_lower(p.name)).second)
      names.emplace_back(p.name);
  }
  return names;
}

std::vector<std::string> IniFile::sections() const {
  std::vector<std::string> names;
  std::unordered_set<std::string> seen;
  bool before_first_header = true;
  for (const std::string& line : lines_) {
    const ParsedLine p = parse_line(line);
    std::string_view name;
    if (p.kind == LineKind::kSection) {
      before_first_header = false;
      name = p.name;
    } else if (!(before_first_header && p.kind == LineKind::kKey)) {
      continue;
    }
    if (seen.insert(ascii_lower(name)).second) names.emplace_back(name);
  }
  return names;
}

bool IniFile::set_string(std::string_view section, std::string_view key, std::string_view value) {
  section = trim(section);
  key = trim(key);
  if (!valid_section_name(section) || !valid_key_name(key)) return false;
  const std::string v = clean_value(value);
  if (const auto line = find_key_line(section, key)) {
    std::string& text = lines_[*line];
    text.resize(parse_line(text).value_pos);
    text += v;
    if (v.empty()) text.erase(text.find_last_not_of(kBlanks) + 1);
    return true;
  }
  std::string entry = std::string(key) + "=" + v;
  if (const auto at = insertion_line(section)) {
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(*at), std::move(entry));
    return true;
  }
  if (!lines_.empty() && parse_line(lines_.back()).kind != LineKind::kBlank) lines_.emplace_back();
  lines_.push_back("[" + std::string(section) + "]");
  lines_.push_back(std::move(entry));
  return true;
}

bool IniFile::set_int(std::string_view section, std::string_view key, int value) {
  return set_string(section, key, strprintf("%d", value));
}

bool IniFile::set_ints(std::string_view section, std::string_view key, const std::vector<int>& values) {
  std::string text;
  for (size_t i = 0; i < values.size(); ++i) text += strprintf(i ? " %d" : "%d", values[i]);
  return set_string(section, key, text);
}

int IniFile::remove_key(std::string_view section, std::string_view key) {
  section = trim(section);
  key = trim(key);
  bool inside = section.empty();
  const auto end = std::remove_if(lines_.begin(), lines_.end(), [&](const std::string& line) {
    const ParsedLine p = parse_line(line);
    if (p.kind == LineKind::kSection) inside = iequals(p.name, section);
    return inside && p.kind == LineKind::kKey && iequals(p.name, key);
  });
  const auto removed = static_cast<int>(lines_.end() - end);
  lines_.erase(end, lines_.end());
  return removed;
}

std::string IniFile::text() const {
  size_t size = bom_ ? kBom.size() : 0;
  for (const std::string& line : lines_) size += line.size() + 1;
  std::string out;
  out.reserve(size);
  if (bom_) out += kBom;
  for (const std::string& line : lines_) {
    out += line;
    out += '\n';
  }
  return out;
}

bool IniFile::save(const std::string& path) const {
  return write_file_atomic(path, text());
}

}  // namespace zephyrim
