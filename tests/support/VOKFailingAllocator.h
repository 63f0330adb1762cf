#ifndef VOKFailingAllocator_h
#define VOKFailingAllocator_h
// The test program's allocator: every form of operator new and delete of the
// program is replaced by one that counts, and that can be told to fail one
// allocation. A throwing form then throws std::bad_alloc, a non-throwing
// form gives null; only that one allocation fails, the next ones succeed.
namespace vok_test {

/// The k-th allocation (1-based, any form, any thread) from now fails; 0
/// disarms. Counting starts afresh at each call. With iArraysOnly, only the
/// array forms are counted and failed.
void FailAllocation(long iK, bool iArraysOnly = false);
/// Allocations asked for since the last FailAllocation, the failed one included.
long AllocationsSinceArming();
/// True when the allocation armed by the last FailAllocation has failed.
bool ArmedAllocationFailed();
/// Blocks allocated and not yet freed, over the program's life. Two readings
/// around a piece of work that frees what it allocates are equal.
long LiveBlocks();
/// Arrays (new[]) allocated and not yet deleted, over the program's life.
long LiveArrays();

}  // namespace vok_test

#endif
