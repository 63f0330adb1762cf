#ifndef VOKDYNAbsoluteMotion_h
#define VOKDYNAbsoluteMotion_h
// The absolute motion: the support motion (rigid-body motion of the base)
// and the enforced displacements added on top of a modal response, through
// the library's many-frequency result operations.
#include "VOKDYNOutput.h"
#include "VOKDYNPlatformModel.h"
#include "VOKTypes.h"

namespace vokdyn {

/// Adds to every output of ioResponse, at each of its frequencies, the
/// support motion (AddRigidExcit, one call per output node) and the enforced
/// displacements (AddEnforcedDispExcit) of iModel, from an excitation tools
/// object initialised for results with iType (the type the evaluation's
/// initialisation gave). Does nothing for a model with neither. Throws
/// ComputationError.
void AddAbsoluteMotion(const Model& iModel, const StandIn& iStandIn, ExcitationType iType, Response& ioResponse);

}  // namespace vokdyn

#endif
