#ifndef VOKFailingAllocation_h
#define VOKFailingAllocation_h
// Array allocations of the whole test program that fail on demand: the n-th
// array allocation after arming throws std::bad_alloc, or gives null through
// new (std::nothrow). Library and stand-in alike go through it. It also
// counts the arrays alive, so that a test sees one left behind without a
// sanitizer. The array view of the program's one replaced allocator
// (VOKFailingAllocator.cpp, which also fails allocations of any form).

/// The iN-th array allocation from now on fails (1-based); 0 disarms.
void FailArrayAllocationAt(int iN);
/// Array allocations made since the last arming.
int ArrayAllocationsSeen();
/// True when the armed failure happened (and disarmed itself).
bool ArrayAllocationFailed();
/// Arrays allocated and not yet deleted, counted since the program started:
/// equal before and after an operation, nothing was left allocated.
long ArraysAlive();

#endif
