#include "schematic/record_pool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <set>
#include <thread>
#include <vector>

#include "schematic/records.h"

namespace zephyrim {
namespace {

// Each record carries its own number in a field, so that two records handed
// the same memory, or a record overwritten by the pool's bookkeeping, show.
template <typename T>
void stamp(T& r, int32_t n) {
  r.x = n;
  r.y = -n;
}

template <typename T>
bool intact(const T& r, int32_t n) {
  return r.x == n && r.y == -n;
}

TEST(RecordPool, RecordsKeepTheirContentsThroughChurnOverManySlabs) {
  // Far more than one slab of each kind, freed in a random order and refilled.
  std::mt19937 rng(5);
  std::vector<std::unique_ptr<PartRecord>> parts;
  std::vector<std::unique_ptr<JunctionRecord>> dots;
  for (int32_t i = 0; i < 20000; ++i) {
    parts.push_back(std::make_unique<PartRecord>());
    stamp(*parts.back(), i);
    dots.push_back(std::make_unique<JunctionRecord>());
    stamp(*dots.back(), i);
  }
  std::vector<int32_t> numbers(parts.size());
  for (size_t i = 0; i < numbers.size(); ++i) numbers[i] = static_cast<int32_t>(i);
  for (int round = 0; round < 3; ++round) {
    for (size_t i = 0; i < parts.size(); ++i)
      if (rng() % 3 == 0) {
        numbers[i] = static_cast<int32_t>(100000 * (round + 1) + i);
        parts[i] = std::make_unique<PartRecord>();  // the old one is freed after the new one is made
        stamp(*parts[i], numbers[i]);
        dots[i].reset();
        dots[i] = std::make_unique<JunctionRecord>();
        stamp(*dots[i], numbers[i]);
      }
  }
  std::set<const void*> seen;
  for (size_t i = 0; i < parts.size(); ++i) {
    ASSERT_TRUE(intact(*parts[i], numbers[i])) << i;
    ASSERT_TRUE(intact(*dots[i], numbers[i])) << i;
    EXPECT_TRUE(seen.insert(parts[i].get()).second);
    EXPECT_TRUE(seen.insert(dots[i].get()).second);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(parts[i].get()) % alignof(std::max_align_t), 0u);
  }
  // A fresh record is value-initialised however its memory was used before.
  parts.clear();
  auto fresh = std::make_unique<PartRecord>();
  EXPECT_EQ(fresh->x, 0);
  EXPECT_TRUE(fresh->pin_nodes.empty());
  EXPECT_FALSE(fresh->template_text);
}

TEST(RecordPool, ThreadsMakeAndFreeRecordsAtTheSameTime) {
  auto work = [](int32_t base) {
    std::vector<std::unique_ptr<WireRecord>> wires;
    bool ok = true;
    for (int round = 0; round < 20; ++round) {
      for (int32_t i = 0; i < 2000; ++i) {
        wires.push_back(std::make_unique<WireRecord>());
        wires.back()->x1 = base + i;
      }
      for (int32_t i = 0; i < 2000; ++i) ok = ok && wires[static_cast<size_t>(i)]->x1 == base + i;
      wires.clear();
    }
    return ok;
  };
  bool a = false, b = false;
  std::thread t1([&] { a = work(0); });
  std::thread t2([&] { b = work(1 << 20); });
  t1.join();
  t2.join();
  EXPECT_TRUE(a);
  EXPECT_TRUE(b);
}

TEST(RecordPool, SizesBeyondTheSlotsGoToTheHeap) {
  // Any size is served: the pool's own sizes and larger ones alike.
  for (size_t size :
       {size_t{1}, size_t{16}, size_t{17}, size_t{464}, size_t{1024}, size_t{1025}, size_t{1 << 20}}) {
    void* p = record_allocate(size);
    ASSERT_NE(p, nullptr);
    std::fill_n(static_cast<unsigned char*>(p), size, 0xab);
    record_release(p, size);
  }
  record_release(nullptr, 64);  // as delete of a null pointer
}

}  // namespace
}  // namespace zephyrim
