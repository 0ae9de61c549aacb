// Index files of any bytes: decode, and a decoded index encodes to the same bytes it was read from.
#include <cstdint>
#include <string>

#include "symbols/symbol_library.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  auto index = zephyrim::index_decode(bytes);
  if (!index) return 0;
  const auto again = zephyrim::index_encode(*index);
  auto back = zephyrim::index_decode(std::string(again.begin(), again.end()));
  if (!back || back->entries.size() != index->entries.size()) __builtin_trap();
  return 0;
}
