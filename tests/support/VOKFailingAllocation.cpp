// The suite's replacement of the throwing array allocation. It defers to the
// scalar allocation, and array deletion to scalar deletion, so that
// allocations and deletions stay paired for sanitizers and memcheck.
#include "VOKFailingAllocation.h"

#include <atomic>
#include <cstddef>
#include <new>

namespace {
std::atomic<int> g_failAt{0};
std::atomic<int> g_seen{0};
std::atomic<bool> g_failed{false};
std::atomic<long> g_alive{0};
}  // namespace

void FailArrayAllocationAt(int iN) {
  g_seen = 0;
  g_failed = false;
  g_failAt = iN;
}
int ArrayAllocationsSeen() { return g_seen; }
bool ArrayAllocationFailed() { return g_failed; }
long ArraysAlive() { return g_alive; }

void* operator new[](std::size_t iSize) {
  if (g_failAt > 0 && ++g_seen == g_failAt) {
    g_failAt = 0;
    g_failed = true;
    throw std::bad_alloc();
  }
  void* block = ::operator new(iSize);
  ++g_alive;
  return block;
}
void operator delete[](void* iPointer) noexcept {
  if (iPointer) --g_alive;
  ::operator delete(iPointer);
}
void operator delete[](void* iPointer, std::size_t) noexcept { operator delete[](iPointer); }
