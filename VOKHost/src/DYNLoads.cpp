// Nodal and generated loads of the stand-in's dynamic-response model.
#include "VOKHostDynamics.h"
#include "VOKHostTesting.h"

namespace VOKHost {

NodalLoad* NodalLoad::Create(const std::string& iName) { return new NodalLoad(iName); }

namespace {
// Makes iLoad a load set of the analysis model, as every load set of a load
// excitation is: its ScanByType("ComputedLoad") gives its computed load,
// which carries no "SMSPC" record since the set enforces no displacement.
void AddComputedLoad(Feature& iLoad) {
  Feature* computed = Feature::Create(iLoad.Name() + " computed load", FacetSpecObject);
  iLoad.AddScanResult("ComputedLoad", computed);
  computed->Release();
}
}  // namespace

NodalLoad::NodalLoad(const std::string& iName)
    : Feature(iName, FacetSpecObject | FacetAlias | FacetAnalysisSet | FacetScan) {
  AddComputedLoad(*this);
}
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
  if (fp.Fail()) return fp.Result();
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

// ------------------------------------------------------------ GeneratedLoad

GeneratedLoad* GeneratedLoad::Create(int iK) { return new GeneratedLoad(iK); }

GeneratedLoad::GeneratedLoad(int iK)
    : Feature("generated load", FacetSpecObject | FacetAnalysisSet | FacetScan), _K(iK) {
  AddComputedLoad(*this);
}
GeneratedLoad::~GeneratedLoad() = default;

void* GeneratedLoad::Answer(const IID& iIID) {
  if (iIID == IID_ModalForceSource) return static_cast<ModalForceSource*>(this);
  return Feature::Answer(iIID);
}

long GeneratedLoad::GeneralisedForce(const ModalBase& iBase, double* oForce) {
  FaultPoint fp("ModalForceSource::GeneralisedForce");
  if (fp.Fail()) return fp.Result();
  if (!oForce) return E_INVALIDARG;
  const int n = iBase.ModeCount();
  for (int i = 0; i < n; ++i) oForce[i] = Value(i, _K);
  return S_OK;
}

}  // namespace VOKHost
