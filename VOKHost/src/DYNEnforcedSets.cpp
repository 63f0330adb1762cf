// Load sets that enforce displacements, and features carrying solver records.
#include <cstddef>

#include "VOKHostResponses.h"
#include "VOKHostSolverRecords.h"

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

}  // namespace VOKHost
