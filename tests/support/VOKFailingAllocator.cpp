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
std::atomic<bool> g_failed{false};
std::atomic<bool> g_arraysOnly{false};
std::atomic<long> g_liveArrays{0};

void* Block(std::size_t iSize) noexcept {
  void* block = std::malloc(iSize ? iSize : 1);
  if (block) ++g_live;
  return block;
}

void* Allocate(std::size_t iSize, bool iArray) noexcept {
  if (g_arraysOnly && !iArray) return Block(iSize);
  const long asked = ++g_asked;
  long armed = g_failAt.load();
  if (armed > 0 && asked == armed && g_failAt.compare_exchange_strong(armed, 0)) {
    g_failed = true;
    return nullptr;
  }
  return Block(iSize);
}

void Free(void* iBlock) noexcept {
  if (!iBlock) return;
  --g_live;
  std::free(iBlock);
}

void* AllocateOrThrow(std::size_t iSize, bool iArray) {
  void* block = Allocate(iSize, iArray);
  if (!block) throw std::bad_alloc();
  if (iArray) ++g_liveArrays;
  return block;
}

void* AllocateArray(std::size_t iSize) noexcept {
  void* block = Allocate(iSize, true);
  if (block) ++g_liveArrays;
  return block;
}

void FreeArray(void* iBlock) noexcept {
  if (iBlock) --g_liveArrays;
  Free(iBlock);
}

}  // namespace

namespace vok_test {
void FailAllocation(long iK, bool iArraysOnly) {
  g_arraysOnly = iArraysOnly;
  g_asked = 0;
  g_failed = false;
  g_failAt = iK;
}
long AllocationsSinceArming() { return g_asked.load(); }
bool ArmedAllocationFailed() { return g_failed.load(); }
long LiveBlocks() { return g_live.load(); }
long LiveArrays() { return g_liveArrays.load(); }
}  // namespace vok_test

void* operator new(std::size_t iSize) { return AllocateOrThrow(iSize, false); }
void* operator new[](std::size_t iSize) { return AllocateOrThrow(iSize, true); }
void* operator new(std::size_t iSize, const std::nothrow_t&) noexcept { return Allocate(iSize, false); }
void* operator new[](std::size_t iSize, const std::nothrow_t&) noexcept { return AllocateArray(iSize); }
void operator delete(void* iBlock) noexcept { Free(iBlock); }
void operator delete[](void* iBlock) noexcept { FreeArray(iBlock); }
void operator delete(void* iBlock, std::size_t) noexcept { Free(iBlock); }
void operator delete[](void* iBlock, std::size_t) noexcept { FreeArray(iBlock); }
void operator delete(void* iBlock, const std::nothrow_t&) noexcept { Free(iBlock); }
void operator delete[](void* iBlock, const std::nothrow_t&) noexcept { FreeArray(iBlock); }
