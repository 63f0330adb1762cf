// Load sets that enforce displacements, and features carrying solver records.
#include <cstddef>

#include "VOKHostResponses.h"
#include "VOKHostSolverRecords.h"
#include "VOKHostTesting.h"

namespace VOKHost {

// ----------------------------------------------------------- RecordedFeature

RecordedFeature* RecordedFeature::Create(const std::string& iName, unsigned iFacets) {
  return new RecordedFeature(iName, iFacets);
}

RecordedFeature::RecordedFeature(const std::string& iName, unsigned iFacets)
    : Feature(iName, iFacets) {}

// The store is keyed by the VOKBaseUnknown pointer, which is what the
// identity query answers for every interface of this component.
RecordedFeature::~RecordedFeature() { EraseSolverRecords(static_cast<VOKBaseUnknown*>(this)); }

void RecordedFeature::SetRecord(const std::string& iName, const std::vector<double>& iValues) {
  SetSolverRecord(static_cast<VOKBaseUnknown*>(this), iName, iValues);
}

// ----------------------------------------------------------- EnforcedLoadSet

EnforcedLoadSet* EnforcedLoadSet::Create(const std::string& iName, const std::vector<int>& iEnforced,
                                         const std::vector<double>& iDisplacement) {
  EnforcedLoadSet* set = new EnforcedLoadSet(iName, iDisplacement);
  if (!iEnforced.empty()) {
    std::vector<double> positions(iEnforced.begin(), iEnforced.end());
    set->_ComputedLoad->SetRecord("SMSPC", positions);
  }
  return set;
}

EnforcedLoadSet::EnforcedLoadSet(const std::string& iName, const std::vector<double>& iDisplacement)
    : Feature(iName, FacetSpecObject | FacetAlias | FacetAnalysisSet | FacetScan),
      _ComputedLoad(RecordedFeature::Create(iName + " computed load", FacetSpecObject)),
      _Linked(Feature::Create(iName + " solution", FacetSpecObject | FacetAnalysisSet | FacetScan)),
      _StaticSet(RecordedFeature::Create(iName + " static set", FacetSpecObject | FacetAnalysisSet)),
      _Displacement(iDisplacement) {
  _StaticSet->SetRecord("DEPL", iDisplacement);
  _Linked->AddScanResult("StaticSet", _StaticSet);
  AddScanResult("ComputedLoad", _ComputedLoad);
  AddLinkedSet(_Linked);
}

// The lists of the feature hold their own references; these are the
// creation references.
EnforcedLoadSet::~EnforcedLoadSet() {
  _StaticSet->Release();
  _Linked->Release();
  _ComputedLoad->Release();
}

void* EnforcedLoadSet::Answer(const IID& iIID) {
  if (iIID == IID_ModalForceSource) return static_cast<ModalForceSource*>(this);
  return Feature::Answer(iIID);
}

// The force that holds the structure on its static displacement field while
// the supports accelerate at unit acceleration: -Phi^T M D.
long EnforcedLoadSet::GeneralisedForce(const ModalBase& iBase, double* oForce) {
  FaultPoint fp("ModalForceSource::GeneralisedForce");
  if (fp.Fail()) return fp.Result();
  if (!oForce) return E_INVALIDARG;
  const int modes = iBase.ModeCount();
  if (_HasForcePerMode) {
    if (static_cast<int>(_ForcePerMode.size()) != modes) return E_FAIL;
    for (int i = 0; i < modes; ++i) oForce[i] = _ForcePerMode[static_cast<std::size_t>(i)];
    return S_OK;
  }
  const int n = 6 * iBase.NodeCount();
  if (static_cast<int>(_Displacement.size()) != n) return E_FAIL;
  for (int i = 0; i < modes; ++i) {
    double sum = 0.0;
    for (int p = 0; p < n; ++p) {
      const double mass = iBase.Node(p / 6).mass[static_cast<std::size_t>(p % 6)];
      sum += (iBase.Shape(i, p) * mass) * _Displacement[static_cast<std::size_t>(p)];
    }
    oForce[i] = -sum;
  }
  return S_OK;
}

}  // namespace VOKHost
