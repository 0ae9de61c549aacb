#include "common/byte_io.h"

#include <cstring>

namespace zephyrim {

bool ByteReader::take(size_t n, const uint8_t*& p) {
  if (n > remaining()) {
    failed_ = true;
    return false;
  }
  p = data_.data() + pos_;
  pos_ += n;
  return true;
}

bool ByteReader::seek(size_t pos) {
  if (pos > data_.size()) {
    failed_ = true;
    return false;
  }
  pos_ = pos;
  return true;
}

bool ByteReader::skip(size_t n) {
  const uint8_t* p;
  return take(n, p);
}

namespace {
template <typename T>
T load_le(const uint8_t* p, int n) {
  uint64_t v = 0;
  for (int i = 0; i < n; ++i) v |= static_cast<uint64_t>(p[i]) << (8 * i);
  return static_cast<T>(v);
}
}  // namespace

bool ByteReader::u8(uint8_t& v) {
  const uint8_t* p;
  if (!take(1, p)) return false;
  v = p[0];
  return true;
}

bool ByteReader::u16(uint16_t& v) {
  const uint8_t* p;
  if (!take(2, p)) return false;
  v = load_le<uint16_t>(p, 2);
  return true;
}

bool ByteReader::i16(int16_t& v) {
  uint16_t u;
  if (!u16(u)) return false;
  v = static_cast<int16_t>(u);
  return true;
}

bool ByteReader::u32(uint32_t& v) {
  const uint8_t* p;
  if (!take(4, p)) return false;
  v = load_le<uint32_t>(p, 4);
  return true;
}

bool ByteReader::i32(int32_t& v) {
  uint32_t u;
  if (!u32(u)) return false;
  v = static_cast<int32_t>(u);
  return true;
}

bool ByteReader::i64(int64_t& v) {
  const uint8_t* p;
  if (!take(8, p)) return false;
  v = static_cast<int64_t>(load_le<uint64_t>(p, 8));
  return true;
}

bool ByteReader::f32(float& v) {
  uint32_t u;
  if (!u32(u)) return false;
  v = std::bit_cast<float>(u);
  return true;
}

bool ByteReader::f64(double& v) {
  const uint8_t* p;
  if (!take(8, p)) return false;
  v = std::bit_cast<double>(load_le<uint64_t>(p, 8));
  return true;
}

bool ByteReader::bytes(std::span<uint8_t> out) {
  const uint8_t* p;
  if (!take(out.size(), p)) return false;
  if (!out.empty()) std::memcpy(out.data(), p, out.size());
  return true;
}

bool ByteReader::text(size_t n, std::string& out) {
  const uint8_t* p;
  if (!take(n, p)) return false;
  out.assign(reinterpret_cast<const char*>(p), n);
  return true;
}

std::span<const uint8_t> ByteReader::view(size_t n) {
  const uint8_t* p;
  if (!take(n, p)) return {};
  return {p, n};
}

bool ByteReader::nul_text(size_t n, std::string& out) {
  if (n == 0) {
    out.clear();
    return true;
  }
  // The NUL must follow too; comparing n itself keeps n + 1 from wrapping.
  const uint8_t* p = nullptr;
  if (n == SIZE_MAX || !take(n + 1, p)) {
    failed_ = true;
    return false;
  }
  const auto* c = reinterpret_cast<const char*>(p);
  out.assign(c, strnlen(c, n));
  return true;
}

bool ByteReader::padded_name(std::string_view name, size_t size) {
  const std::span<const uint8_t> v = view(size);
  if (v.size() != size || name.size() >= size) return false;
  return std::memcmp(v.data(), name.data(), name.size()) == 0 && v[name.size()] == 0;
}

void ByteWriter::patch_i32(size_t at, int32_t v) {
  if (at + 4 > out_.size()) return;
  const auto u = static_cast<uint32_t>(v);
  for (int i = 0; i < 4; ++i) out_[at + i] = static_cast<uint8_t>(u >> (8 * i));
}

}  // namespace zephyrim
