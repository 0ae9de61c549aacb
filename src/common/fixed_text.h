#pragma once
// A fixed-width NUL-terminated text field of a stored record. The N bytes are
// kept as they are (bytes after the NUL too), so a record read from a file is
// written back exactly; assigning cuts to N - 1 characters and zero-fills.
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace zephyrim {

template <size_t N>
struct FixedText {
  static_assert(N >= 1);
  std::array<uint8_t, N> bytes{};

  FixedText() = default;
  FixedText(std::string_view s) { assign(s); }  // NOLINT: texts are assigned freely

  static constexpr size_t capacity() { return N - 1; }

  // The characters up to the first NUL (never beyond the field).
  std::string str() const { return std::string(view()); }
  // The same without a copy, for writers that only append it somewhere.
  std::string_view view() const {
    const void* nul = std::memchr(bytes.data(), 0, N);
    const size_t n = nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - bytes.data()) : N;
    return {reinterpret_cast<const char*>(bytes.data()), n};
  }
  size_t length() const { return str().size(); }
  bool empty() const { return bytes[0] == 0; }

  // Stores at most N - 1 characters; returns false when the text was cut.
  bool assign(std::string_view s) {
    bytes.fill(0);
    const size_t n = s.size() < N - 1 ? s.size() : N - 1;
    std::memcpy(bytes.data(), s.data(), n);
    return n == s.size();
  }
  // Makes the last byte NUL, as the reader does for every stored text field.
  void terminate() { bytes[N - 1] = 0; }

  bool operator==(const FixedText&) const = default;
};

}  // namespace zephyrim
