#ifndef VOKDYNAllocationBoundary_h
#define VOKDYNAllocationBoundary_h
// The boundary of every exported operation of the library that returns a
// result code: no exception leaves it. The library's own arrays
// are allocated without throwing and checked where they are made; what
// remains are the host's collections, strings and lists, which throw
// std::bad_alloc when they cannot grow. Such a failure becomes the
// operation's failure result here. What the operation had obtained is held by
// handles or by the object's members, so unwinding to this point releases it.
// Other exceptions (a host handler that throws on a call through a null
// handle) are the host's and pass.
#include <new>

namespace VOKDYN {

template <class Body>
long AllocationBoundary(long iOnFailure, Body&& iBody) {
  try {
    return iBody();
  } catch (const std::bad_alloc&) {
    return iOnFailure;
  }
}

}  // namespace VOKDYN

#endif
