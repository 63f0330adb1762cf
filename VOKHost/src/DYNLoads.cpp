// Nodal loads of the stand-in's dynamic-response model.
#include "VOKHostDynamics.h"
#include "VOKHostTesting.h"

namespace VOKHost {

NodalLoad* NodalLoad::Create(const std::string& iName) { return new NodalLoad(iName); }

NodalLoad::NodalLoad(const std::string& iName) : Feature(iName, FacetSpecObject | FacetAlias) {}
NodalLoad::~NodalLoad() = default;

void* NodalLoad::Answer(const IID& iIID) {
  if (iIID == IID_ModalForceSource) return static_cast<ModalForceSource*>(this);
  return Feature::Answer(iIID);
}

void NodalLoad::AddNodalValues(int iNodeId, const std::array<double, 6>& iValues) {
  for (auto& entry : _Values)
    if (entry.first == iNodeId) {
      for (int c = 0; c < 6; ++c) entry.second[static_cast<std::size_t>(c)] += iValues[static_cast<std::size_t>(c)];
      return;
    }
  _Values.emplace_back(iNodeId, iValues);
}

// Generalised force Phi^T f: f_i = sum over loaded nodes and components of
// phi_i(p) f(p), nodes in the order they were first loaded.
long NodalLoad::GeneralisedForce(const ModalBase& iBase, double* oForce) {
  FaultPoint fp("ModalForceSource::GeneralisedForce");
  if (fp.Fail()) return E_FAIL;
  if (!oForce) return E_INVALIDARG;
  const int n = iBase.ModeCount();
  for (int i = 0; i < n; ++i) oForce[i] = 0.0;
  for (const auto& entry : _Values) {
    const int node = iBase.NodeIndex(entry.first);
    if (node < 0) return E_FAIL;
    for (int i = 0; i < n; ++i)
      for (int c = 0; c < 6; ++c)
        oForce[i] += iBase.Shape(i, 6 * node + c) * entry.second[static_cast<std::size_t>(c)];
  }
  return S_OK;
}

}  // namespace VOKHost
