#pragma once
// The stored form of one symbol drawing command (88 bytes in the schematic file).
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/notify.h"

namespace zephyrim {

inline constexpr size_t kDrawCommandSize = 88;
inline constexpr int kDrawArgs = 20;
inline constexpr int kMaxDrawCommands = 255;

struct DrawCommand {
  uint8_t op = 0;                         // the command letter
  std::array<uint8_t, 3> padding{};       // kept as read
  int32_t arg_count = 0;                  // coordinate values of a P or Z command (at most 15)
  std::array<int32_t, kDrawArgs> args{};  // for T, args[16..19] hold the text (bytes 72 to 87)

  // The text of a T command: bytes 72 to 87 of the record, up to the first NUL.
  std::string text() const;
  // Stores at most 15 characters and a NUL in bytes 72 to 87.
  void set_text(const std::string& s);

  bool operator==(const DrawCommand&) const = default;
};

// Parses the joined drawing text of a symbol (commands separated by ";") into
// commands, adding the drawing offset (dx, dy) in force (changed by O commands)
// to every coordinate. Pieces that do not start with a command letter are
// skipped. A P or Z with more than 15 coordinate values is reported and kept at
// 15; more than 255 commands are reported and leave the symbol with none.
// Returns the number of commands stored in out.
int draw_parse(const std::string& text, int dx, int dy, std::vector<DrawCommand>& out,
               const std::string& symbol_name, Notify& notify);

// The library text of one command, e.g. "M(8,0)" or "L(R,0,16,-8,0,2)".
std::string draw_format(const DrawCommand& command);

// Applies the page scale and a part's orientation steps to a symbol point:
// rotate (x, y) -> (y, -x), mirror -> (-x, y), flip -> (x, -y).
void orient_point(int& x, int& y, int scale, const int32_t* steps, int count);

}  // namespace zephyrim
