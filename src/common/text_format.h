#pragma once
// printf-style formatting into std::string, for the system's fixed message texts
// ("Cannot open page %d") and file lines. Never truncates. Also the ASCII case
// helpers every reader of names and keywords shares, and the quoting of texts in
// listings.
#include <string>
#include <string_view>
#include <vector>

namespace zephyrim {

std::string strprintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// ASCII letters upper- or lower-cased, everything else as it is, whatever the
// program's locale (a locale-dependent toupper could change bytes above 127).
char ascii_upper(char c);
char ascii_lower(char c);
std::string ascii_upper(std::string_view s);
std::string ascii_lower(std::string_view s);

// Equality of ASCII texts without regard to case (names of symbols, keywords).
bool iequals(std::string_view a, std::string_view b);
// Whether s begins with prefix, without regard to ASCII case (".LIB", "Rev:").
bool istarts_with(std::string_view s, std::string_view prefix);

// The text in double quotes for a listing, so that every byte shows and the
// listing reads back unambiguously: '"' and '\' get a backslash, a line break
// is "\n", every other control byte "\xHH". Bytes above 127 stay as they are.
std::string quote_text(std::string_view text);

// The words of a text between its blanks; runs of blanks make no empty words.
std::vector<std::string> split_words(std::string_view text);

// "Jan" .. "Dec" whatever the program's locale; month from 0.
const char* month_abbrev(int month);

}  // namespace zephyrim
