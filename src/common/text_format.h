#pragma once
// printf-style formatting into std::string, for the system's fixed message texts
// ("Cannot open page %d") and file lines. Never truncates.
#include <string>
#include <string_view>

namespace zephyrim {

std::string strprintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Equality of ASCII texts without regard to case (names of symbols, keywords).
bool iequals(std::string_view a, std::string_view b);
// ASCII letters upper- or lower-cased, everything else as it is.
std::string ascii_upper(std::string_view s);
std::string ascii_lower(std::string_view s);

// "Jan" .. "Dec" whatever the program's locale; month from 0.
const char* month_abbrev(int month);

}  // namespace zephyrim
