// The test program's one replacement of the global allocation functions
// (VOKFailingAllocator.h, and the array view of VOKFailingAllocation.h).
// Every form allocates with malloc and frees with free, so a block may be
// freed by any form; the aligned forms are left to the runtime (nothing here
// allocates over-aligned blocks). Two armings are independent: the k-th
// allocation of any form, and the n-th array allocation.
#include "VOKFailingAllocation.h"
#include "VOKFailingAllocator.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<long> g_failAt{0};
std::atomic<long> g_asked{0};
std::atomic<long> g_live{0};
std::atomic<int> g_arrayFailAt{0};
std::atomic<int> g_arraysSeen{0};
std::atomic<bool> g_arrayFailed{false};
std::atomic<long> g_arraysAlive{0};

// True when this allocation is the armed one (each arming fails once).
bool Armed(long iCount, std::atomic<long>& ioAt) {
  long at = ioAt.load();
  return at > 0 && iCount == at && ioAt.compare_exchange_strong(at, 0);
}

void* Allocate(std::size_t iSize, bool iArray) noexcept {
  bool fail = Armed(++g_asked, g_failAt);
  if (iArray) {
    int at = g_arrayFailAt.load();
    if (at > 0 && ++g_arraysSeen == at && g_arrayFailAt.compare_exchange_strong(at, 0)) {
      g_arrayFailed = true;
      fail = true;
    }
  }
  if (fail) return nullptr;
  void* block = std::malloc(iSize ? iSize : 1);
  if (block) {
    ++g_live;
    if (iArray) ++g_arraysAlive;
  }
  return block;
}

void Free(void* iBlock, bool iArray) noexcept {
  if (!iBlock) return;
  --g_live;
  if (iArray) --g_arraysAlive;
  std::free(iBlock);
}

void* AllocateOrThrow(std::size_t iSize, bool iArray) {
  void* block = Allocate(iSize, iArray);
  if (!block) throw std::bad_alloc();
  return block;
}

}  // namespace

namespace vok_test {
void FailAllocation(long iK) {
  g_asked = 0;
  g_failAt = iK;
}
long AllocationsSinceArming() { return g_asked.load(); }
long LiveBlocks() { return g_live.load(); }
}  // namespace vok_test

void FailArrayAllocationAt(int iN) {
  g_arraysSeen = 0;
  g_arrayFailed = false;
  g_arrayFailAt = iN;
}
int ArrayAllocationsSeen() { return g_arraysSeen.load(); }
bool ArrayAllocationFailed() { return g_arrayFailed.load(); }
long ArraysAlive() { return g_arraysAlive.load(); }

void* operator new(std::size_t iSize) { return AllocateOrThrow(iSize, false); }
void* operator new[](std::size_t iSize) { return AllocateOrThrow(iSize, true); }
void* operator new(std::size_t iSize, const std::nothrow_t&) noexcept { return Allocate(iSize, false); }
void* operator new[](std::size_t iSize, const std::nothrow_t&) noexcept { return Allocate(iSize, true); }
void operator delete(void* iBlock) noexcept { Free(iBlock, false); }
void operator delete[](void* iBlock) noexcept { Free(iBlock, true); }
void operator delete(void* iBlock, std::size_t) noexcept { Free(iBlock, false); }
void operator delete[](void* iBlock, std::size_t) noexcept { Free(iBlock, true); }
void operator delete(void* iBlock, const std::nothrow_t&) noexcept { Free(iBlock, false); }
void operator delete[](void* iBlock, const std::nothrow_t&) noexcept { Free(iBlock, true); }
