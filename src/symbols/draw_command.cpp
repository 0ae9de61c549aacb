#include "symbols/draw_command.h"

namespace zephyrim {

namespace {
constexpr int kTextFirstArg = 16;
constexpr int kTextBytes = 16;
}  // namespace

std::string DrawCommand::text() const {
  std::string out;
  for (int i = 0; i < kTextBytes; ++i) {
    const auto u = static_cast<uint32_t>(args[kTextFirstArg + i / 4]);
    const char c = static_cast<char>((u >> (8 * (i % 4))) & 0xff);
    if (c == 0) break;
    out.push_back(c);
  }
  return out;
}

void DrawCommand::set_text(const std::string& s) {
  uint32_t words[4] = {0, 0, 0, 0};
  for (int i = 0; i < kTextBytes - 1 && i < static_cast<int>(s.size()); ++i)
    words[i / 4] |= static_cast<uint32_t>(static_cast<uint8_t>(s[i])) << (8 * (i % 4));
  for (int w = 0; w < 4; ++w) args[kTextFirstArg + w] = static_cast<int32_t>(words[w]);
}

}  // namespace zephyrim
