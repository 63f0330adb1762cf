#ifndef VOKFailingAllocation_h
#define VOKFailingAllocation_h
// Array allocations of the whole test program that fail on demand: the
// suite replaces the throwing operator new[] (which the non-throwing one
// calls), so the n-th array allocation after arming throws std::bad_alloc, or
// gives null through new (std::nothrow). Library and stand-in alike go
// through it.

/// The iN-th array allocation from now on fails (1-based); 0 disarms.
void FailArrayAllocationAt(int iN);
/// Array allocations made since the last arming.
int ArrayAllocationsSeen();
/// True when the armed failure happened (and disarmed itself).
bool ArrayAllocationFailed();

#endif
