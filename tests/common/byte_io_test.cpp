#include "common/byte_io.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace zephyrim {
namespace {

TEST(ByteIo, WritesLittleEndianAndReadsItBack) {
  ByteWriter w;
  w.i32(-2);
  w.u16(0xbeef);
  w.i16(-3);
  w.f32(1.0f);
  w.f64(-0.5);
  w.i64(-1234567890123LL);
  w.text("QUILLS");
  w.zeros(2);
  const auto& d = w.data();
  ASSERT_EQ(d.size(), 4u + 2 + 2 + 4 + 8 + 8 + 6 + 2);
  EXPECT_EQ(d[0], 0xfe);
  EXPECT_EQ(d[3], 0xff);
  EXPECT_EQ(d[4], 0xef);
  EXPECT_EQ(d[5], 0xbe);
  EXPECT_EQ(d[11], 0x3f);  // high byte of 1.0f

  ByteReader r(d);
  int32_t a;
  uint16_t b;
  int16_t c;
  float f;
  double g;
  int64_t h;
  std::string t;
  ASSERT_TRUE(r.i32(a) && r.u16(b) && r.i16(c) && r.f32(f) && r.f64(g) && r.i64(h) && r.text(6, t));
  EXPECT_EQ(a, -2);
  EXPECT_EQ(b, 0xbeef);
  EXPECT_EQ(c, -3);
  EXPECT_EQ(f, 1.0f);
  EXPECT_EQ(g, -0.5);
  EXPECT_EQ(h, -1234567890123LL);
  EXPECT_EQ(t, "QUILLS");
  EXPECT_EQ(r.remaining(), 2u);
  EXPECT_FALSE(r.failed());
}

TEST(ByteIo, AShortReadFailsWithoutMovingOrFilling) {
  const std::vector<uint8_t> d = {1, 2, 3};
  ByteReader r(d);
  int32_t v = 77;
  EXPECT_FALSE(r.i32(v));
  EXPECT_EQ(v, 77);
  EXPECT_TRUE(r.failed());
  EXPECT_EQ(r.position(), 0u);
  uint16_t u;
  EXPECT_TRUE(r.u16(u));
  EXPECT_EQ(u, 0x0201);
  std::array<uint8_t, 2> two{};
  EXPECT_FALSE(r.bytes(two));
  EXPECT_TRUE(r.view(5).empty());
  EXPECT_FALSE(r.skip(SIZE_MAX));  // no overflow in the bounds check
  EXPECT_FALSE(r.seek(4));
  EXPECT_TRUE(r.seek(3));
  EXPECT_TRUE(r.at_end());
}

TEST(ByteIo, PatchOverwritesACountWrittenEarlier) {
  ByteWriter w;
  w.i32(0);
  w.u8(9);
  w.patch_i32(0, 258);
  w.patch_i32(3, 1);  // would run past the end: ignored
  EXPECT_EQ(w.data(), (std::vector<uint8_t>{2, 1, 0, 0, 9}));
}

TEST(ByteIo, CountedAndPaddedTextsReadBack) {
  ByteWriter w;
  w.padded_text("SAVEVARSTART", 16);
  w.counted_text16("abc");
  w.counted_text32("");
  w.counted_text16(std::string_view("x\0y", 3));  // a NUL inside ends the text as readers see it
  ASSERT_EQ(w.size(), 16u + (2 + 4) + 4 + (2 + 4));

  ByteReader r(w.data());
  EXPECT_TRUE(r.padded_name("SAVEVARSTART", 16));
  int16_t n16 = 0;
  int32_t n32 = 0;
  std::string t = "old";
  ASSERT_TRUE(r.i16(n16) && r.nul_text(static_cast<size_t>(n16), t));
  EXPECT_EQ(t, "abc");
  ASSERT_TRUE(r.i32(n32) && r.nul_text(static_cast<size_t>(n32), t));
  EXPECT_EQ(t, "");
  ASSERT_TRUE(r.i16(n16) && r.nul_text(static_cast<size_t>(n16), t));
  EXPECT_EQ(t, "x");
  EXPECT_TRUE(r.at_end());
  EXPECT_FALSE(r.failed());

  // A name is a whole word of its field: a longer one there, or one without its NUL, is not it.
  ByteReader names(w.data());
  EXPECT_FALSE(names.padded_name("SAVEVAR", 16));
  names.seek(0);
  EXPECT_FALSE(names.padded_name("SAVEVARSTART", 12));
  names.seek(0);
  EXPECT_FALSE(names.padded_name("SAVEVARSTARTXXXX", 16));
}

TEST(ByteIo, ATextLongerThanItsDataFailsWithoutReadingPast) {
  const std::vector<uint8_t> d = {'a', 'b', 'c'};  // no NUL after the three bytes
  ByteReader r(d);
  std::string t = "kept";
  EXPECT_FALSE(r.nul_text(3, t));
  EXPECT_TRUE(r.failed());
  EXPECT_EQ(t, "kept");
  EXPECT_EQ(r.position(), 0u);
  EXPECT_FALSE(r.nul_text(SIZE_MAX, t));  // n + 1 must not wrap round to a small read
  EXPECT_TRUE(r.nul_text(2, t));
  EXPECT_EQ(t, "ab");
  EXPECT_FALSE(r.padded_name("x", 16));
}

// One field list for both directions, as the binary formats use it.
struct Sample {
  uint8_t a = 0;
  int16_t b = 0;
  uint32_t c = 0;
  float d = 0;
  double e = 0;
  std::array<uint8_t, 3> raw{};
  std::array<int32_t, 2> ints{};
  FixedText<6> name;
};

template <typename Io, typename S>
void sample_fields(Io& io, S& s) {
  io.u8(s.a);
  io.i16(s.b);
  io.u32(s.c);
  io.f32(s.d);
  io.f64(s.e);
  io.bytes(s.raw);
  io.ints(s.ints);
  io.text(s.name);
}

TEST(ByteIo, OneFieldListWritesAndReads) {
  Sample in{7, -2, 0xdeadbeef, 1.5f, -0.25, {1, 2, 3}, {-1, 9}, FixedText<6>("abc")};
  ByteWriter w;
  FieldWriter fw(w);
  sample_fields(fw, in);
  ASSERT_EQ(w.size(), 1u + 2 + 4 + 4 + 8 + 3 + 8 + 6);

  Sample out;
  ByteReader r(w.data());
  FieldReader fr(r);
  sample_fields(fr, out);
  EXPECT_TRUE(r.at_end());
  EXPECT_EQ(out.a, in.a);
  EXPECT_EQ(out.b, in.b);
  EXPECT_EQ(out.c, in.c);
  EXPECT_EQ(out.d, in.d);
  EXPECT_EQ(out.e, in.e);
  EXPECT_EQ(out.raw, in.raw);
  EXPECT_EQ(out.ints, in.ints);
  EXPECT_EQ(out.name, in.name);

  // A short image fills what it holds and leaves the rest.
  const std::vector<uint8_t> part(w.data().begin(), w.data().begin() + 7);
  Sample cut;
  cut.d = 42;
  ByteReader rc(part);
  FieldReader fc(rc);
  sample_fields(fc, cut);
  EXPECT_TRUE(rc.failed());
  EXPECT_EQ(cut.c, in.c);
  EXPECT_EQ(cut.d, 42);
  EXPECT_EQ(cut.name.str(), "");
}

}  // namespace
}  // namespace zephyrim
