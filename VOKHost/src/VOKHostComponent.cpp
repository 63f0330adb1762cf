// Base of the stand-in's components.
#include "VOKHostComponent.h"

#include "VOKHostTesting.h"

namespace VOKHost {

long Component::QueryInterface(const IID& iIID, void** oPPV) {
  if (!oPPV) return E_INVALIDARG;
  *oPPV = nullptr;
  FaultPoint fp("QueryInterface");
  if (fp.Fail()) return E_NOINTERFACE;
  void* answer = Answer(iIID);
  if (!answer) return E_NOINTERFACE;
  *oPPV = answer;
  AddRef();
  return S_OK;
}

void* Component::Answer(const IID& iIID) {
  if (iIID == IID_VOKBaseUnknown) return static_cast<VOKBaseUnknown*>(this);
  return nullptr;
}

}  // namespace VOKHost
