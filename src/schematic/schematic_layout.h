#pragma once
// What the schematic file's writer and reader share: the section markers, the
// reserved sections, and the text limits. Only the two halves of the file
// format include it.
#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "schematic/record_io.h"

namespace zephyrim::schematic_layout {

inline constexpr size_t kMarkerSize = 16;
inline constexpr size_t kMaxShortText = 32767;
inline constexpr size_t kMaxLinkText = 256;
inline constexpr size_t kMaxPageTitle = 256;

inline constexpr const char* kSymbolMarker = ">SYMBOL BLOCK<";
inline constexpr const char* kSheetsMarker = ">SHEETS BLOCK<";
inline constexpr const char* kSheetMarker = ">SHEET START<";
inline constexpr const char* kBlockMarker = ">SUBCKT BLOCK<";
inline constexpr const char* kLabelMarker = ">LABEL BLOCK<";
inline constexpr const char* kPartMarker = ">PART BLOCK<";
inline constexpr const char* kWireMarker = ">WIRE BLOCK<";
inline constexpr const char* kDotMarker = ">DOT BLOCK<";
inline constexpr const char* kTextMarker = ">TEXT BLOCK<";

// Sections kept for other programs: written empty, read and skipped. The codes
// are the load errors of a missing marker and of a missing count.
struct ReservedBlock {
  const char* marker;
  int marker_code, count_code;
};
inline constexpr ReservedBlock kReservedBlocks[] = {
    {">GRAPH BLOCK<", 250, 251},
    {">MARKER BLOCK<", 270, 271},
    {">MEASURE BLOCK<", 280, 281},
    {">FILEOBJ BLOCK<", 260, 261},
};

// The stored text: cut at its first NUL and at the limit the reader accepts, so
// that the writer never makes a file its own reader refuses.
inline std::string_view stored_text(const std::optional<std::string>& t, size_t limit) {
  if (!text_present(t)) return {};
  std::string_view v(*t);
  return v.substr(0, std::min(v.find('\0'), limit));
}

}  // namespace zephyrim::schematic_layout
