#ifndef VOKHostErrorsInternal_h
#define VOKHostErrorsInternal_h
// Shared by the platform's sources: the report of a misuse (a call through a
// null handle, a bad collection position).
#include <string>

namespace VOKHost {
/// Calls the installed null-handle handler (which may throw), or reports the
/// misuse on standard error and aborts.
void RaiseNullHandle(const std::string& iWhat);
}  // namespace VOKHost

#endif
