// Loads arbitrary bytes as an initialisation file, reads and edits it, and checks that
// what was written reads back, also after rendering the text and loading it again.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "common/ini_file.h"

namespace {

void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "ini_file_fuzz: %s\n", what);
    std::abort();
  }
}

// What a stored value reads back as: line breaks become blanks, surrounding blanks go.
std::string expected_value(std::string_view v) {
  std::string s(v);
  for (char& c : s)
    if (c == '\r' || c == '\n') c = ' ';
  constexpr std::string_view kBlanks = " \t\r\n\v\f";
  const size_t first = s.find_first_not_of(kBlanks);
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(kBlanks) - first + 1);
}

// Takes the next piece of the input up to a '|' so that names and values come from the fuzzer.
std::string_view take(std::string_view& rest, size_t max) {
  const size_t bar = rest.substr(0, max).find('|');
  const size_t n = bar == std::string_view::npos ? std::min(max, rest.size()) : bar;
  std::string_view piece = rest.substr(0, n);
  rest.remove_prefix(std::min(rest.size(), n + 1));
  return piece;
}

std::string name_of(std::string_view section, std::string_view key) {
  std::string n = expected_value(section) + ']' + expected_value(key);
  for (char& c : n)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return n;
}

// The writes made so far, newest value of each name, checked against a file as a whole.
struct Written {
  std::vector<std::tuple<std::string, std::string, std::string>> entries;  // section, key, value

  void set(const zephyrim::IniFile& ini, std::string_view section, std::string_view key, std::string value) {
    std::erase_if(entries, [&](const auto& e) {
      return name_of(std::get<0>(e), std::get<1>(e)) == name_of(section, key);
    });
    entries.emplace_back(section, key, std::move(value));
    verify(ini);
  }

  void verify(const zephyrim::IniFile& ini) const {
    for (const auto& [section, key, value] : entries) {
      const auto got = ini.get_string(section, key);
      check(got.has_value() && *got == value, "a key just set does not read back");
      check(ini.has_key(section, key), "has_key misses a key just set");
    }
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), data ? size : 0);
  zephyrim::IniFile ini;
  if (!ini.load_text(bytes)) return 0;

  // Each lookup scans the file, so only the first few listed names are looked up again.
  int lookups = 0;
  for (const std::string& section : ini.sections()) {
    if (++lookups > 64) break;
    for (const std::string& key : ini.keys(section)) {
      if (++lookups > 64) break;
      check(ini.has_key(section, key), "listed key not found");
      (void)ini.get_int(section, key, 0);
      (void)ini.get_ints(section, key);
    }
  }
  (void)ini.get_string("Zephyrim", "BrowseFileCommand", "zbrowse.exe");
  (void)ini.get_ints("Tracery", "WindowShowPos");

  std::string_view rest = bytes;
  const std::string section(take(rest, 16));
  const std::string key(take(rest, 16));
  const std::string value(take(rest, 64));
  const std::string int_key(take(rest, 16));

  Written written;
  if (ini.set_string(section, key, value)) written.set(ini, section, key, expected_value(value));
  const int number = static_cast<int>(size) - 1000;
  if (ini.set_int("Tracery", int_key, number)) {
    written.set(ini, "Tracery", int_key, std::to_string(number));
    check(ini.get_int("Tracery", int_key, 0) == number, "integer does not read back");
  }
  check(ini.set_ints("Tracery", "WindowShowPos", {-1, 2, number}), "plain key refused");
  written.set(ini, "Tracery", "WindowShowPos", "-1 2 " + std::to_string(number));
  check(ini.get_ints("Tracery", "WindowShowPos") == std::vector<int>{-1, 2, number}, "integers lost");

  const std::string text = ini.text();
  if (text.size() > zephyrim::IniFile::kMaxFileSize) return 0;  // the edits pushed it past the cap
  zephyrim::IniFile again;
  check(again.load_text(text), "rendered text refused");
  check(again.text() == text, "text changes on a second round trip");
  written.verify(again);

  if (again.set_string(section, key, value)) {
    again.remove_key(section, key);
    check(!again.has_key(section, key), "removed key still present");
  }
  return 0;
}
