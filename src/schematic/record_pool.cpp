#include "schematic/record_pool.h"

#include <sys/mman.h>

#include <array>
#include <cstdint>
#include <mutex>
#include <new>
#include <type_traits>

namespace zephyrim {

namespace {

// Address sanitizers watch the heap, not this pool: under them every record
// goes to the heap, so that a record used after its deletion is still caught.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kPooled = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(memory_sanitizer)
constexpr bool kPooled = false;
#else
constexpr bool kPooled = true;
#endif
#else
constexpr bool kPooled = true;
#endif

constexpr size_t kSlabSize = size_t{2} << 20;  // one huge page
constexpr size_t kGrain = 16;                  // the alignment operator new gives
constexpr size_t kMaxPooled = 1024;            // larger objects go to the heap
constexpr size_t kClasses = kMaxPooled / kGrain;

struct FreeSlot {
  FreeSlot* next;
};

// The head of a slab, in its first bytes; the slots follow. A slot's slab is
// found from its address, slabs being aligned to their size.
struct Slab {
  size_t slot_size = 0;
  size_t live = 0;           // slots handed out
  FreeSlot* free = nullptr;  // slots given back
  uintptr_t fresh = 0;       // the first slot never handed out
  Slab* prev = nullptr;      // neighbours in the list of slabs with room
  Slab* next = nullptr;
  bool has_room = false;  // on that list
};

constexpr size_t kHeaderSize = (sizeof(Slab) + kGrain - 1) / kGrain * kGrain;

Slab* slab_of(void* p) {
  return reinterpret_cast<Slab*>(reinterpret_cast<uintptr_t>(p) & ~(kSlabSize - 1));
}

// Maps a slab at an address aligned to its size: twice the size is mapped and
// the ends cut off.
Slab* slab_map(size_t slot_size) {
  void* m = ::mmap(nullptr, 2 * kSlabSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (m == MAP_FAILED) throw std::bad_alloc();
  const auto start = reinterpret_cast<uintptr_t>(m);
  const uintptr_t aligned = (start + kSlabSize - 1) & ~(kSlabSize - 1);
  if (aligned > start) ::munmap(m, aligned - start);
  if (const uintptr_t end = start + 2 * kSlabSize; end > aligned + kSlabSize)
    ::munmap(reinterpret_cast<void*>(aligned + kSlabSize), end - aligned - kSlabSize);
  ::madvise(reinterpret_cast<void*>(aligned), kSlabSize, MADV_HUGEPAGE);
  Slab* s = new (reinterpret_cast<void*>(aligned)) Slab;
  s->slot_size = slot_size;
  s->fresh = aligned + kHeaderSize;
  return s;
}

bool slab_full(const Slab& s) {
  return !s.free && s.fresh + s.slot_size > reinterpret_cast<uintptr_t>(&s) + kSlabSize;
}

class Pool {
 public:
  constexpr Pool() = default;

  void* allocate(size_t size) {
    const size_t slot = slot_size(size);
    std::lock_guard lock(mutex_);
    Slab*& head = with_room_[slot / kGrain - 1];
    if (!head) link(head, slab_map(slot));
    Slab& s = *head;
    void* p;
    if (s.free) {
      p = s.free;
      s.free = s.free->next;
    } else {
      p = reinterpret_cast<void*>(s.fresh);
      s.fresh += slot;
    }
    ++s.live;
    if (slab_full(s)) unlink(head, s);
    return p;
  }

  void release(void* p, size_t size) noexcept {
    const size_t slot = slot_size(size);
    std::lock_guard lock(mutex_);
    Slab*& head = with_room_[slot / kGrain - 1];
    Slab& s = *slab_of(p);
    auto* f = static_cast<FreeSlot*>(p);
    f->next = s.free;
    s.free = f;
    --s.live;
    if (!s.has_room) link(head, &s);
    // An empty slab goes back to the system unless it is the last with room,
    // kept so that a record made and deleted over and over maps nothing.
    if (s.live == 0 && (head != &s || s.next)) {
      unlink(head, s);
      ::munmap(&s, kSlabSize);
    }
  }

 private:
  static size_t slot_size(size_t size) { return size == 0 ? kGrain : (size + kGrain - 1) / kGrain * kGrain; }
  static void link(Slab*& head, Slab* s) {
    s->prev = nullptr;
    s->next = head;
    if (head) head->prev = s;
    head = s;
    s->has_room = true;
  }
  static void unlink(Slab*& head, Slab& s) {
    if (s.prev) s.prev->next = s.next;
    if (s.next) s.next->prev = s.prev;
    if (head == &s) head = s.next;
    s.prev = s.next = nullptr;
    s.has_room = false;
  }

  std::mutex mutex_;
  std::array<Slab*, kClasses> with_room_{};
};

// Never torn down: records may outlive every other static object, and a pool
// without a destructor cannot be gone before them.
static_assert(std::is_trivially_destructible_v<Pool>);
constinit Pool g_pool;

}  // namespace

void* record_allocate(size_t size) {
  if (!kPooled || size > kMaxPooled) return ::operator new(size);
  return g_pool.allocate(size);
}

void record_release(void* p, size_t size) noexcept {
  if (!p) return;
  if (!kPooled || size > kMaxPooled) {
    ::operator delete(p);
    return;
  }
  g_pool.release(p, size);
}

}  // namespace zephyrim
