#pragma once
// The stored form of one symbol drawing command (88 bytes in the schematic file).
#include <array>
#include <cstdint>
#include <string>

namespace zephyrim {

inline constexpr size_t kDrawCommandSize = 88;
inline constexpr int kDrawArgs = 20;
inline constexpr int kMaxDrawCommands = 255;

struct DrawCommand {
  uint8_t op = 0;                      // the command letter
  std::array<uint8_t, 3> padding{};    // kept as read
  int32_t arg_count = 0;               // coordinate values of a P or Z command (at most 15)
  std::array<int32_t, kDrawArgs> args{};  // for T, args[16..19] hold the text (bytes 72 to 87)

  // The text of a T command: bytes 72 to 87 of the record, up to the first NUL.
  std::string text() const;
  // Stores at most 15 characters and a NUL in bytes 72 to 87.
  void set_text(const std::string& s);

  bool operator==(const DrawCommand&) const = default;
};

}  // namespace zephyrim
