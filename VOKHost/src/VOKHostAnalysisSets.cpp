// Features with characteristic collectors of their own, and analysis sets
// with the solver's degree-of-freedom numbering.
#include "VOKHostAnalysisSets.h"

#include "VOKHostTesting.h"

namespace VOKHost {

CharacSetFeature* CharacSetFeature::Create(const std::string& iName, unsigned iFacets) {
  return new CharacSetFeature(iName, iFacets);
}

long CharacSetFeature::ObtainCharacCollector(int iPhysicalType, const VOKSamCharacVersion& iVersion,
                                             const char*, int,
                                             VOKAnalysisCharacCollector*& oCollector, int,
                                             VOKSamPhysicalType) {
  FaultPoint fp("VOKICharacCollector::ObtainCharacCollector");
  oCollector = nullptr;
  if (fp.Fail()) return fp.Result();
  for (const CharacDefinition& definition : _Obtainable) {
    if (definition.physicalType == iPhysicalType && SameVersion(definition.version, iVersion)) {
      oCollector = CharacCollector::Create(definition);
      ++_Obtained;
      return S_OK;
    }
  }
  return E_FAIL;
}

void* CharacSetFeature::Answer(const IID& iIID) {
  if (iIID == IID_VOKICharacCollector) return static_cast<VOKICharacCollector*>(this);
  return Feature::Answer(iIID);
}

DofNumberingSet* DofNumberingSet::Create(const std::string& iName, unsigned iFacets) {
  return new DofNumberingSet(iName, iFacets);
}

long DofNumberingSet::GetDofComponentsAndNodes(VOKRawCollint& oComponents, VOKRawCollint& oNodes) {
  FaultPoint fp("VOKITarvoMultipleDofVector::GetDofComponentsAndNodes");
  ++_Reads;
  if (fp.Fail()) return fp.Result();
  for (int component : _Components) oComponents.Append(component);
  for (int node : _Nodes) oNodes.Append(node);
  return _Result;
}

void* DofNumberingSet::Answer(const IID& iIID) {
  if (iIID == IID_VOKITarvoMultipleDofVector) return static_cast<VOKITarvoMultipleDofVector*>(this);
  return Feature::Answer(iIID);
}

}  // namespace VOKHost
