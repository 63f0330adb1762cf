#ifndef VOKHostDamping_h
#define VOKHostDamping_h
// Builder of a damping feature of the stand-in's analysis model: an analysis
// set whose basic component "DYNDampingType" (an enumeration, "Modal" at
// index 1 or "Rayleigh" at index 2) carries the two definitions
//
//   "DYNDampingType"
//     "DYNDampingRayleigh"        feature, boolean "DYNDampingFlag"
//       "DYNDampingGlobalRayleigh"
//         "DYNAlpha", "DYNBeta"   real values
//       "DYNDampingRayleighList"  feature, lists "ListOfAlpha", "ListOfBeta"
//     "DYNDampingModal"           feature, boolean "DYNDampingFlag"
//       "DYNDampingGlobalModal"
//         "DYNCoefficient"        real value
//       "DYNDampingModalList"     feature, list "ListOfCoefficients"
//
// and whose linked objects are the modal bases (any component that offers
// VOKIDYNBaseTools and VOKISpecObject). Both definitions are always built;
// the enumeration and the flags select what is read. "DYNDampingFlag" false
// selects the global branch, true the list branch.
//
// Broken variants for tests: leave out any named piece, an attribute that
// holds no list, a sub-component that is not a feature with attributes, a
// value that cannot be read, a type that is not an enumeration, a feature
// that is not an analysis set, any number of linked bases.
//
// Use:
//   VOKHost::DampingFeatureBuilder b;
//   b.Modal(5.0).LinkBase(base);
//   VOKHost::Feature* feature = b.Build();   // one reference, the caller's
//   ... feature->Release();
#include <map>
#include <set>
#include <string>
#include <vector>
#include "VOKHostFeature.h"

namespace VOKHost {

class VOKHOST_API DampingFeatureBuilder {
 public:
  DampingFeatureBuilder();
  ~DampingFeatureBuilder();
  DampingFeatureBuilder(const DampingFeatureBuilder&) = delete;
  DampingFeatureBuilder& operator=(const DampingFeatureBuilder&) = delete;

  // --- the definition (each call selects its type and branch)
  /// Modal damping of iPercent percent of critical damping for every mode.
  DampingFeatureBuilder& Modal(double iPercent);
  /// Modal damping per mode: entry i for mode i, in percent.
  DampingFeatureBuilder& ModalPerMode(const std::vector<double>& iPercents);
  /// Rayleigh damping alpha * mass + beta * stiffness for every mode.
  DampingFeatureBuilder& Rayleigh(double iAlpha, double iBeta);
  /// Rayleigh damping per mode: entry i of each list for mode i.
  DampingFeatureBuilder& RayleighPerMode(const std::vector<double>& iAlphas,
                                         const std::vector<double>& iBetas);

  // --- the model around it
  /// Links a modal base; a reference is held until the builder dies, and the
  /// built feature holds its own.
  DampingFeatureBuilder& LinkBase(VOKBaseUnknown* iBase);
  /// The display name of the damping feature (default "Damping.1").
  DampingFeatureBuilder& DisplayName(const std::string& iName);

  // --- broken variants
  /// Overrides the enumeration's text and index (e.g. "Rayleigh" at 1, or 3).
  DampingFeatureBuilder& TypeValue(const std::string& iText, int iIndex);
  /// Leaves out every piece named iName: the basic component
  /// "DYNDampingType", a sub-component, or an attribute ("DYNDampingFlag" of
  /// both definitions, "ListOfBeta"...).
  DampingFeatureBuilder& Omit(const std::string& iName);
  /// The list attribute iAttribute exists but holds no list.
  DampingFeatureBuilder& NoList(const std::string& iAttribute);
  /// The sub-component iName is a plain basic component: no VOKISpecObject or
  /// attribute facet (its attributes are unreachable).
  DampingFeatureBuilder& WithoutAttributes(const std::string& iName);
  /// Reading the value iName ("DYNAlpha", "DYNBeta", "DYNCoefficient")
  /// fails with iResult (negative).
  DampingFeatureBuilder& FailValue(const std::string& iName, long iResult);
  /// "DYNDampingType" is a basic component but not an enumeration.
  DampingFeatureBuilder& TypeNotEnumeration();
  /// The damping feature does not offer the analysis-set interface.
  DampingFeatureBuilder& NotAnAnalysisSet();

  /// A new damping feature (VOKISpecObject, alias, analysis set) with one
  /// reference owned by the caller. The builder can build again.
  Feature* Build() const;

 private:
  Feature* Node(const std::string& iName, unsigned iFacets) const;
  bool Omitted(const std::string& iName) const { return _Omitted.count(iName) != 0; }
  void SetList(Feature* ioFeature, const std::string& iAttribute,
               const std::vector<double>& iValues) const;
  void SetValue(Feature* ioParent, const std::string& iName, double iValue) const;

  std::string _TypeText;
  int _TypeIndex;
  bool _ModalPerMode;
  double _Coefficient;
  std::vector<double> _Coefficients;
  bool _RayleighPerMode;
  double _Alpha;
  double _Beta;
  std::vector<double> _Alphas;
  std::vector<double> _Betas;
  std::string _DisplayName;
  std::vector<VOKBaseUnknown_var> _Bases;
  std::set<std::string> _Omitted;
  std::set<std::string> _NoList;
  std::set<std::string> _WithoutAttributes;
  std::map<std::string, long> _FailedValues;
  bool _TypeNotEnumeration;
  bool _NotAnAnalysisSet;
};

}  // namespace VOKHost

#endif
