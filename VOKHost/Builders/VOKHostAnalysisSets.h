#ifndef VOKHostAnalysisSets_h
#define VOKHostAnalysisSets_h
// Features of the stand-in that offer more than the general feature: a set
// that hands out characteristic collectors of its own, and an analysis set
// that carries the solver's degree-of-freedom numbering.
#include <vector>

#include "VOKHostExplicitModel.h"
#include "VOKHostFeature.h"

namespace VOKHost {

/// A feature that also offers VOKICharacCollector.
class VOKHOST_API CharacSetFeature : public Feature, public VOKICharacCollector {
 public:
  /// A new feature with one reference owned by the caller.
  static CharacSetFeature* Create(const std::string& iName, unsigned iFacets);
  /// A characteristic that ObtainCharacCollector gives for a request of the
  /// same physical type and version: a new collector per call.
  void AddObtainable(const CharacDefinition& iDefinition) { _Obtainable.push_back(iDefinition); }
  /// Collectors handed out so far.
  int ObtainedCount() const { return _Obtained; }

  /// A new collector the caller releases; E_FAIL and null when the request
  /// matches no characteristic of the set.
  long ObtainCharacCollector(int iPhysicalType, const VOKSamCharacVersion& iVersion,
                             const char* iName, int iPosition,
                             VOKAnalysisCharacCollector*& oCollector, int iFlag,
                             VOKSamPhysicalType iSupportType) override;

 protected:
  CharacSetFeature(const std::string& iName, unsigned iFacets) : Feature(iName, iFacets) {}
  ~CharacSetFeature() override = default;
  void* Answer(const IID& iIID) override;

 private:
  std::vector<CharacDefinition> _Obtainable;
  int _Obtained = 0;
};

/// An analysis set (a feature) that also offers VOKITarvoMultipleDofVector.
class VOKHOST_API DofNumberingSet : public Feature, public VOKITarvoMultipleDofVector {
 public:
  /// A new set with one reference owned by the caller; facets as for Feature
  /// (FacetAnalysisSet at least, to be used as an analysis set).
  static DofNumberingSet* Create(const std::string& iName, unsigned iFacets = FacetAnalysisSet);
  /// What GetDofComponentsAndNodes appends: per solver DOF its component and
  /// its node. The two lists may be given different sizes.
  void SetNumbering(const std::vector<int>& iComponents, const std::vector<int>& iNodes) {
    _Components = iComponents;
    _Nodes = iNodes;
  }
  /// The result GetDofComponentsAndNodes returns after appending (default S_OK).
  void SetNumberingResult(long iResult) { _Result = iResult; }
  /// Calls of GetDofComponentsAndNodes so far.
  int ReadCount() const { return _Reads; }

  /// Appends the numbering; a failure appends nothing and returns E_FAIL.
  long GetDofComponentsAndNodes(VOKRawCollint& oComponents, VOKRawCollint& oNodes) override;

 protected:
  DofNumberingSet(const std::string& iName, unsigned iFacets) : Feature(iName, iFacets) {}
  ~DofNumberingSet() override = default;
  void* Answer(const IID& iIID) override;

 private:
  std::vector<int> _Components;
  std::vector<int> _Nodes;
  long _Result = S_OK;
  int _Reads = 0;
};

}  // namespace VOKHost

#endif
