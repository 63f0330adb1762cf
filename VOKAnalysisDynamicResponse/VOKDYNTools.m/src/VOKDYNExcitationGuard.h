#ifndef VOKDYNExcitationGuard_h
#define VOKDYNExcitationGuard_h
// The boundary of every exported operation of the excitation tools that
// returns a result code: no exception leaves it. The library's own arrays are
// allocated without throwing and checked where they are made; what remains
// are the host's collections and lists, which throw std::bad_alloc when they
// cannot grow. Such a failure becomes E_FAIL here. Whatever the operation had
// obtained is held by handles, unique_ptr or the object's own members, so
// unwinding to this point releases it (or leaves it for CleanAll).
#include <new>

#include "VOKTypes.h"

namespace VOKDYN {

template <class Body>
long NoThrow(Body&& iBody) {
  try {
    return iBody();
  } catch (const std::bad_alloc&) {
    return E_FAIL;
  }
}

}  // namespace VOKDYN

#endif
