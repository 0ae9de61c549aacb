#pragma once
// A symbol definition as the schematic keeps it (276 bytes in the schematic file,
// followed by its drawing commands, pins and texts). Text pointers of the stored
// record are presence marks: here a text is an optional string.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/fixed_text.h"
#include "symbols/draw_command.h"

namespace zephyrim {

inline constexpr size_t kSymbolRecordSize = 276;
inline constexpr size_t kSymbolPinSize = 36;

// Symbol kinds; 3 is never produced by the loader.
enum SymbolKind : int32_t {
  kSymbolGround = 1,
  kSymbolPart = 2,
  kSymbolPowerRail = 4,
  kSymbolIoPin = 5,
};

struct Region {
  int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  bool valid() const { return x1 < x2 && y1 < y2; }
  bool operator==(const Region&) const = default;
};

struct SymbolPin {
  int32_t side = 0;      // 1 up, 2 left, 3 down, 4 right; 5..8 the same for a marked pin
  int32_t x = 0, y = 0;  // the pin's tip, on the grid
  int32_t lead_end = 0;  // other end of the pin line: an x for sides 2 and 4, a y for 1 and 3
  int32_t number = -1;   // pin number shown next to the pin, -1 = none
  FixedText<8> pin_name;
  std::array<int32_t, 2> reserved{};  // kept as read
  bool operator==(const SymbolPin&) const = default;
};

struct SymbolRecord {
  int32_t index = 0;  // position in the symbol table when last saved
  int32_t kind = kSymbolPart;
  int32_t reserved8 = 0;
  FixedText<32> name;
  FixedText<64> description;
  FixedText<64> default_value;
  Region region;
  std::vector<SymbolPin> pins;         // pin_count = pins.size()
  std::vector<DrawCommand> draws;      // at most 255
  int32_t rotatable = 0;               // 0 = "Rotation not allowed for this part"
  std::vector<DrawCommand> rot_draws;  // a separate rotated view, empty = none
  Region rot_region;
  std::optional<std::vector<SymbolPin>> rot_pins;  // pins of the rotated view
  std::optional<std::string> text236;
  std::array<int32_t, 4> reserved240{};
  std::optional<std::string> template_text;  // netlist template (NT[ line)
  std::optional<std::string> text260;
  int32_t model_link_kind = 0;            // 0 ".LIB", 1 ".INC", 2 "MDB"
  std::optional<std::string> model_file;  // the symbol's model file name
  std::optional<std::string> text272;

  int pin_count() const { return static_cast<int>(pins.size()); }
};

// Two definitions are identical when their stored contents agree: every field,
// drawing command, pin and text. The table position (`index`) is not content.
bool symbol_identical(const SymbolRecord& a, const SymbolRecord& b);

}  // namespace zephyrim
