// Replacement of the global allocation functions (see VOKFailingAllocator.h).
// Every form allocates with malloc and frees with free, so a block may be
// freed by any form; the aligned forms are left to the runtime (nothing here
// allocates over-aligned blocks).
#include "VOKFailingAllocator.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<long> g_failAt{0};
std::atomic<long> g_asked{0};
std::atomic<long> g_live{0};

void* Allocate(std::size_t iSize) noexcept {
  const long asked = ++g_asked;
  long armed = g_failAt.load();
  if (armed > 0 && asked == armed && g_failAt.compare_exchange_strong(armed, 0)) return nullptr;
  void* block = std::malloc(iSize ? iSize : 1);
  if (block) ++g_live;
  return block;
}

void Free(void* iBlock) noexcept {
  if (!iBlock) return;
  --g_live;
  std::free(iBlock);
}

void* AllocateOrThrow(std::size_t iSize) {
  void* block = Allocate(iSize);
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

void* operator new(std::size_t iSize) { return AllocateOrThrow(iSize); }
void* operator new[](std::size_t iSize) { return AllocateOrThrow(iSize); }
void* operator new(std::size_t iSize, const std::nothrow_t&) noexcept { return Allocate(iSize); }
void* operator new[](std::size_t iSize, const std::nothrow_t&) noexcept { return Allocate(iSize); }
void operator delete(void* iBlock) noexcept { Free(iBlock); }
void operator delete[](void* iBlock) noexcept { Free(iBlock); }
void operator delete(void* iBlock, std::size_t) noexcept { Free(iBlock); }
void operator delete[](void* iBlock, std::size_t) noexcept { Free(iBlock); }
void operator delete(void* iBlock, const std::nothrow_t&) noexcept { Free(iBlock); }
void operator delete[](void* iBlock, const std::nothrow_t&) noexcept { Free(iBlock); }
