#pragma once
// printf-style formatting into std::string, for the system's fixed message texts
// ("Cannot open page %d") and file lines. Never truncates.
#include <string>

namespace zephyrim {

std::string strprintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace zephyrim
