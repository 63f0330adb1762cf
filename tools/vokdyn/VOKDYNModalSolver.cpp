#include "VOKDYNModalSolver.h"

#include <algorithm>

#include "VOKDYNAbsoluteMotion.h"
#include "VOKDYNHarmonic.h"

namespace vokdyn {

ModalSolver::ModalSolver(const Model& iModel) : _Model(iModel) {
  _StandIn = BuildStandIn(iModel);
  _Damping = QueryDamping(iModel, _StandIn);
  _Excitation = Owned<VOKDYNExcitationTools>(new VOKDYNExcitationTools());
  Check(_Excitation->Initialize(_StandIn.excitations, _StandIn.Tools(), _Type, DYNDefaultDomain),
        "VOKDYNExcitationTools::Initialize");
}

std::vector<std::complex<double>> ModalSolver::Solve(const std::vector<float>& iFrequencies) {
  const std::size_t n = _Model.base.modes.size();
  std::vector<std::complex<double>> q(iFrequencies.size() * n);
  // The sweep's batches of the excitation, and its modal responses.
  std::vector<double> abscissae(kSweepBatch);
  std::vector<VOKMathComplex> forces(std::max<std::size_t>(1, kSweepBatch * n));
  for (std::size_t first = 0; first < iFrequencies.size(); first += kSweepBatch) {
    const std::size_t count = std::min(kSweepBatch, iFrequencies.size() - first);
    for (std::size_t k = 0; k < count; ++k) abscissae[k] = iFrequencies[first + k];
    Check(_Excitation->GetExcitValues(static_cast<int>(count), abscissae.data(), forces.data()),
          "VOKDYNExcitationTools::GetExcitValues", " for the response fields");
    for (std::size_t k = 0; k < count; ++k)
      ModalResponses(_Model.base.modes, _Damping.values, abscissae[k], forces.data() + k * n,
                     q.data() + (first + k) * n, _Damping.structural);
  }
  return q;
}

void ModalSolver::AddAbsolute(const std::vector<float>& iFrequencies, std::size_t iComponents, std::size_t iStride,
                              double* ioRe, double* ioIm) {
  if ((!_Model.baseMotion.present && _Model.enforced.empty()) || iFrequencies.empty()) return;
  // Every degree of freedom an output holding its modal sum, so that the
  // absolute motion is added by the very operation of the sweep. The
  // operation reads the model's outputs, nodes and excitations; the shapes
  // are left out of the copy.
  Model outputs;
  outputs.nodes = _Model.nodes;
  outputs.baseMotion = _Model.baseMotion;
  outputs.enforced = _Model.enforced;
  for (const Node& node : _Model.nodes)
    for (std::size_t c = 0; c < iComponents; ++c) outputs.outputs.push_back(Output{node.id, static_cast<int>(c + 1)});
  Response response;
  response.frequencies = iFrequencies;
  response.outputs = outputs.outputs;
  response.values.assign(response.outputs.size(), std::vector<std::complex<double>>(iFrequencies.size()));
  for (std::size_t d = 0; d < response.outputs.size(); ++d)
    for (std::size_t t = 0; t < iFrequencies.size(); ++t)
      response.values[d][t] = {ioRe[t * iStride + d], ioIm[t * iStride + d]};
  AddAbsoluteMotion(outputs, _StandIn, _Type, response);
  for (std::size_t d = 0; d < response.outputs.size(); ++d)
    for (std::size_t t = 0; t < iFrequencies.size(); ++t) {
      ioRe[t * iStride + d] = response.values[d][t].real();
      ioIm[t * iStride + d] = response.values[d][t].imag();
    }
}

}  // namespace vokdyn
