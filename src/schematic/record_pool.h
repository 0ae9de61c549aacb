#pragma once
// Memory for the records of a page. A big schematic holds hundreds of
// thousands of parts and wires; with one heap block each, a load spends most of
// its time in the kernel handing out fresh 4 KiB pages one fault at a time.
// The record types' own operator new takes them from 2 MiB slabs instead, which
// the kernel may back with huge pages, one fault per slab. The pool serves the
// whole process, as the heap does: records move freely between pages and
// schematics, and whoever frees one need not know where it came from.
#include <cstddef>

namespace zephyrim {

// Memory for one record of `size` bytes, aligned as operator new aligns; throws
// std::bad_alloc when there is none.
void* record_allocate(std::size_t size);
// Gives back what record_allocate returned for the same size.
void record_release(void* p, std::size_t size) noexcept;

}  // namespace zephyrim
