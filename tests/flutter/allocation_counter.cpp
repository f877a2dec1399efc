// A replacement operator new that records the largest request; allocation itself goes to malloc.
// Kept in its own file so that no test's inlined new/delete pairs are seen against malloc/free.
#include "tests/flutter/allocation_counter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<size_t> largest_allocation_bytes{0};
}  // namespace

void* operator new(size_t size) {
  size_t seen = largest_allocation_bytes.load();
  while (size > seen && !largest_allocation_bytes.compare_exchange_weak(seen, size)) {
  }
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, size_t) noexcept { std::free(block); }

namespace flutter {

void ResetLargestAllocation() { largest_allocation_bytes = 0; }
size_t LargestAllocationBytes() { return largest_allocation_bytes.load(); }

}  // namespace flutter
