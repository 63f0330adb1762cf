#ifndef VOKHostComponent_h
#define VOKHostComponent_h
// Base of the stand-in's components: one reference count (VOKBaseUnknown),
// and a QueryInterface that counts as a host operation (fault injection: a
// query made to fail does not answer) and asks the component which
// interfaces it offers.
#include "VOKBaseUnknown.h"

namespace VOKHost {

class VOKHOST_API Component : public virtual VOKBaseUnknown {
 public:
  long QueryInterface(const IID& iIID, void** oPPV) override;
  using VOKBaseUnknown::QueryInterface;

 protected:
  /// The interface pointer that answers iIID, or null. Derived classes answer
  /// their own interfaces and defer to their base for the others, e.g.
  ///   if (iIID == IID_VOKIDYNModulation) return static_cast<VOKIDYNModulation*>(this);
  ///   return Component::Answer(iIID);
  virtual void* Answer(const IID& iIID);
};

}  // namespace VOKHost

#endif
