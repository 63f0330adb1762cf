#ifndef VOKDYNRestraintValues_h
#define VOKDYNRestraintValues_h
// The values of a restraint excitation as one call reads them (internal, not
// exported): entry i of the four lists describes the i-th restrained
// direction.
#include "VOKCollections.h"
#include "VOKDYNInterfaces.h"
#include "VOKMath.h"

namespace VOKDYN {

struct RestraintValues {
  VOKListValVOKISpecObject_var modulations;
  VOKRawCollfloat amplitudes;
  VOKRawCollfloat phases;   ///< radians
  VOKRawCollint directions;  ///< 1..3 translations, 4..6 rotations
  int axisFlag = 0;
  VOKMathAxis axis;

  /// GetRestraintValues of iExcitation (not null) into these values, which
  /// must be as built; its result is returned unchanged.
  long Read(VOKIDYNRestraintExcitation* iExcitation) {
    return iExcitation->GetRestraintValues(modulations, amplitudes, phases, directions, axisFlag,
                                           axis);
  }
};

}  // namespace VOKDYN

#endif
