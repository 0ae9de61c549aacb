#pragma once
// The one little-endian reader and writer that every binary file goes through,
// field by field. The reader is bounds-checked: a read past the end fails, sets
// the failed mark, fills nothing and never touches memory beyond the data.
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/fixed_text.h"

namespace zephyrim {

class ByteReader {
 public:
  ByteReader() = default;
  explicit ByteReader(std::span<const uint8_t> data) : data_(data) {}

  size_t position() const { return pos_; }
  // All the bytes, for searches that the field reads do not cover.
  std::span<const uint8_t> data() const { return data_; }
  size_t size() const { return data_.size(); }
  size_t remaining() const { return data_.size() - pos_; }
  bool at_end() const { return pos_ >= data_.size(); }
  // True once any read or seek went past the end.
  bool failed() const { return failed_; }
  void clear_failed() { failed_ = false; }

  // Moves to an absolute position; false (and nothing moved) beyond the end.
  bool seek(size_t pos);
  // Skips n bytes; false (and nothing moved) when fewer remain.
  bool skip(size_t n);

  // Each read returns false when fewer bytes remain than it needs; the out value
  // is then left as it was.
  bool u8(uint8_t& v);
  bool i16(int16_t& v);
  bool u16(uint16_t& v);
  bool i32(int32_t& v);
  bool u32(uint32_t& v);
  bool i64(int64_t& v);
  bool f32(float& v);
  bool f64(double& v);
  // Reads exactly out.size() bytes.
  bool bytes(std::span<uint8_t> out);
  template <size_t N>
  bool bytes(std::array<uint8_t, N>& out) {
    return bytes(std::span<uint8_t>(out));
  }
  // Reads n bytes as text (NULs included as they are).
  bool text(size_t n, std::string& out);
  // A view of the next n bytes without copying; empty and failed when short.
  std::span<const uint8_t> view(size_t n);
  // The body of a counted text whose length n was just read: n bytes and the NUL
  // after them (nothing when n is 0). out holds the bytes up to the first NUL.
  bool nul_text(size_t n, std::string& out);
  // Reads a field of `size` bytes; true when it holds name followed by a NUL
  // (the block markers and section names of the binary files).
  bool padded_name(std::string_view name, size_t size);

 private:
  bool take(size_t n, const uint8_t*& p);

  std::span<const uint8_t> data_;
  size_t pos_ = 0;
  bool failed_ = false;
};

class ByteWriter {
 public:
  void u8(uint8_t v) { out_.push_back(v); }
  void i16(int16_t v) { put(static_cast<uint16_t>(v), 2); }
  void u16(uint16_t v) { put(v, 2); }
  void i32(int32_t v) { put(static_cast<uint32_t>(v), 4); }
  void u32(uint32_t v) { put(v, 4); }
  void i64(int64_t v) { put(static_cast<uint64_t>(v), 8); }
  void f32(float v) { put(std::bit_cast<uint32_t>(v), 4); }
  void f64(double v) { put(std::bit_cast<uint64_t>(v), 8); }
  void bytes(std::span<const uint8_t> b) { out_.insert(out_.end(), b.begin(), b.end()); }
  template <size_t N>
  void bytes(const std::array<uint8_t, N>& b) {
    bytes(std::span<const uint8_t>(b));
  }
  void text(std::string_view s) { out_.insert(out_.end(), s.begin(), s.end()); }
  // The text and a NUL; nothing for an empty text (the body of a counted text).
  void nul_text(std::string_view s) {
    if (s.empty()) return;
    text(s);
    u8(0);
  }
  // A counted text: its length as 16 or 32 bits, then nul_text. The caller keeps
  // the length within what its reader accepts.
  void counted_text16(std::string_view s) {
    i16(static_cast<int16_t>(s.size()));
    nul_text(s);
  }
  void counted_text32(std::string_view s) {
    i32(static_cast<int32_t>(s.size()));
    nul_text(s);
  }
  // The text in a field of `size` bytes, NUL-filled after it (markers, section names).
  void padded_text(std::string_view s, size_t size) {
    const std::string_view v = s.substr(0, size);
    text(v);
    zeros(size - v.size());
  }
  // n zero bytes.
  void zeros(size_t n) { out_.insert(out_.end(), n, 0); }

  size_t size() const { return out_.size(); }
  const std::vector<uint8_t>& data() const { return out_; }
  std::vector<uint8_t> take() { return std::move(out_); }
  // Overwrites 4 bytes already written (for counts known only afterwards).
  void patch_i32(size_t at, int32_t v);

 private:
  void put(uint64_t v, int n) {
    for (int i = 0; i < n; ++i) out_.push_back(static_cast<uint8_t>(v >> (8 * i)));
  }
  std::vector<uint8_t> out_;
};

// One list of a record's fields serves both its writer and its reader, so that
// the two cannot drift apart: a function template over the direction calls
// io.i32(r.x) and so on for each field in order. FieldWriter stores each field;
// FieldReader fills it. Formats add their own kinds of field (marks, counts) in
// classes derived from these.
class FieldWriter {
 public:
  explicit FieldWriter(ByteWriter& w) : w_(w) {}
  void u8(const uint8_t& v) { w_.u8(v); }
  void i16(const int16_t& v) { w_.i16(v); }
  void i32(const int32_t& v) { w_.i32(v); }
  void u32(const uint32_t& v) { w_.u32(v); }
  void i64(const int64_t& v) { w_.i64(v); }
  void f32(const float& v) { w_.f32(v); }
  void f64(const double& v) { w_.f64(v); }
  template <size_t N>
  void bytes(const std::array<uint8_t, N>& b) {
    w_.bytes(b);
  }
  template <size_t N>
  void ints(const std::array<int32_t, N>& a) {
    for (int32_t v : a) w_.i32(v);
  }
  template <size_t N>
  void text(const FixedText<N>& t) {
    w_.bytes(t.bytes);
  }

 protected:
  ByteWriter& w_;
};

// Reads the fields in the same order. A reader over a short image leaves the
// fields past its end as they were and is marked failed.
class FieldReader {
 public:
  explicit FieldReader(ByteReader& r) : r_(r) {}
  void u8(uint8_t& v) { r_.u8(v); }
  void i16(int16_t& v) { r_.i16(v); }
  void i32(int32_t& v) { r_.i32(v); }
  void u32(uint32_t& v) { r_.u32(v); }
  void i64(int64_t& v) { r_.i64(v); }
  void f32(float& v) { r_.f32(v); }
  void f64(double& v) { r_.f64(v); }
  template <size_t N>
  void bytes(std::array<uint8_t, N>& b) {
    r_.bytes(b);
  }
  template <size_t N>
  void ints(std::array<int32_t, N>& a) {
    for (int32_t& v : a) r_.i32(v);
  }
  template <size_t N>
  void text(FixedText<N>& t) {
    r_.bytes(t.bytes);
  }

 protected:
  ByteReader& r_;
};

}  // namespace zephyrim
