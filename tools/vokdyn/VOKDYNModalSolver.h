#ifndef VOKDYNModalSolver_h
#define VOKDYNModalSolver_h
// The modal responses of a model at any frequencies, and its absolute
// motion at any degrees of freedom: what the response fields need beyond
// the sweep, computed by the sweep's own operations.
#include <complex>
#include <cstddef>
#include <vector>

#include "VOKDYNModel.h"
#include "VOKDYNPlatformModel.h"
#include "VOKDYNExcitationTools.h"

namespace vokdyn {

class ModalSolver {
 public:
  /// Builds iModel in the platform and queries its damping (as RunHarmonic
  /// does). Throws ModelError or ComputationError. iModel must outlive this.
  explicit ModalSolver(const Model& iModel);

  /// q_i at each of iFrequencies, [f * modes + i]: the values the sweep
  /// computes at the same frequencies, to the last bit.
  std::vector<std::complex<double>> Solve(const std::vector<float>& iFrequencies);

  /// Adds the support motion, then the enforced displacements, at
  /// iFrequencies to ioRe / ioIm [f * iStride + node * iComponents + c], at
  /// every node in model order and components 0..iComponents-1: the
  /// absolute motion as the sweep adds it at its outputs (the same
  /// operation on outputs at every degree of freedom).
  void AddAbsolute(const std::vector<float>& iFrequencies, std::size_t iComponents, std::size_t iStride,
                   double* ioRe, double* ioIm);

 private:
  const Model& _Model;
  StandIn _StandIn;
  DampingInfo _Damping;
  Owned<VOKDYNExcitationTools> _Excitation;
  ExcitationType _Type = UndefinedExcitationType;
};

}  // namespace vokdyn

#endif
