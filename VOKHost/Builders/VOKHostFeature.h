#ifndef VOKHostFeature_h
#define VOKHostFeature_h
// A general feature of the stand-in's feature and analysis model. One object
// can play several roles (facets); it answers a query only for the facets it
// was given. Every operation counts as a host operation for fault injection.
//
// Ownership: a feature holds one reference to each object it links to
// (owner, linked objects, components, scanned objects, linked sets). Links
// must not form cycles, or the objects are never freed.
#include <map>
#include <string>
#include <vector>
#include "VOKHostComponent.h"
#include "VOKAnalysisExplicit.h"

namespace VOKHost {

enum FeatureFacet : unsigned {
  FacetSpecObject = 1u << 0,      ///< VOKISpecObject
  FacetLinkable = 1u << 1,        ///< VOKILinkableObject
  FacetAlias = 1u << 2,           ///< VOKIAlias
  FacetAttributes = 1u << 3,      ///< VOKISpecAttrAccess
  FacetAnalysisSet = 1u << 4,     ///< VOKISamAnalysisSet
  FacetBasicComponent = 1u << 5,  ///< VOKISamBasicComponent
  FacetEnum = 1u << 6,            ///< VOKISamEnumManager
  FacetScan = 1u << 7,            ///< VOKISamAnalysisScan
  FacetExplicit = 1u << 8,        ///< VOKISamExplicit
};

class VOKHOST_API Feature : public Component,
                            public VOKISpecObject,
                            public VOKILinkableObject,
                            public VOKIAlias,
                            public VOKISpecAttrAccess,
                            public VOKISamAnalysisSet,
                            public VOKISamBasicComponent,
                            public VOKISamEnumManager,
                            public VOKISamAnalysisScan,
                            public VOKISamExplicit {
 public:
  /// A new feature with one reference owned by the caller.
  static Feature* Create(const std::string& iName, unsigned iFacets);

  const std::string& Name() const { return _Name; }
  unsigned Facets() const { return _Facets; }

  // --- configuration (not host operations)
  void SetOwner(VOKBaseUnknown* iOwner);
  void SetUpToDate(bool iUpToDate) { _UpToDate = iUpToDate; }
  void SetDocument(VOKDocument* iDocument) { _Document = iDocument; }
  void SetDisplayName(const std::string& iName) { _DisplayName = iName; }
  void SetBoolean(const std::string& iAttribute, bool iValue);
  void SetDoubleList(const std::string& iAttribute, const std::vector<double>& iValues);
  /// An attribute that exists but holds no list.
  void SetEmptyListAttribute(const std::string& iAttribute);
  void AddLinkedObject(VOKBaseUnknown* iObject);
  void SetBasicComponent(const std::string& iName, VOKBaseUnknown* iComponent);
  void SetValue(double iValue);
  /// Makes GetValue fail with iResult (a negative code).
  void SetValueFailure(long iResult) { _ValueFailure = iResult; }
  void SetSubComponent(const std::string& iName, VOKBaseUnknown* iComponent);
  void SetEnumValue(const std::string& iText, int iIndex);
  void AddScanResult(const std::string& iTypeName, VOKBaseUnknown* iObject);
  void AddLinkedSet(VOKBaseUnknown* iSet);
  /// Makes GetLinkedSets give no list (success, null).
  void SetNoLinkedSetList(bool iNone) { _NoLinkedSetList = iNone; }
  void SetExplicitTag(int iTag) { _Tag = iTag; }

  // --- VOKISpecObject
  VOKISpecObject_var GetOwner() override;
  int TestUpToDate(const VOKIDomain_var& iDomain) override;
  // --- VOKILinkableObject
  VOKDocument* GetOwningDocument() override;
  // --- VOKIAlias
  VOKUnicodeString GetDisplayName() override;
  // --- VOKISpecAttrAccess
  VOKISpecAttrKey* LookupAttributeKey(const char* iName) override;
  unsigned char ReadBoolean(VOKISpecAttrKey* iKey, int iIndex = 0) override;
  VOKRawColldouble* ReadDoubleList(VOKISpecAttrKey* iKey) override;
  // --- VOKISamAnalysisSet
  long ListObjectsByInterface(VOKListValVOKISpecObject_var& oList, const IID& iIID,
                              int iMode) override;
  long GetBasicComponent(const VOKUnicodeString& iName,
                         VOKISamBasicComponent_var& oComponent) override;
  long GetLinkedSets(VOKListValVOKBaseUnknown_var*& oList) override;
  // --- VOKISamBasicComponent
  long GetValue(double* oValue, const VOKUnicodeString& iUnit, int iReserved1, int iReserved2,
                int iReserved3) override;
  long GetSubComponent(const VOKUnicodeString& iName, VOKBaseUnknown_var& oComponent) override;
  // --- VOKISamEnumManager
  long GetEnumValue(VOKUnicodeString& oText, int& oIndex) override;
  // --- VOKISamAnalysisScan
  long ScanByType(const char* iTypeName, VOKListValVOKBaseUnknown_var& ioFound,
                  int iMode) override;
  // --- VOKISamExplicit
  int GetExplicitTag(int iFlag) override;

 protected:
  Feature(const std::string& iName, unsigned iFacets);
  ~Feature() override;
  void* Answer(const IID& iIID) override;

 private:
  struct Attribute {
    bool isList = false;
    bool hasList = false;
    bool boolean = false;
    std::vector<double> values;
  };
  std::string _Name;
  unsigned _Facets;
  VOKBaseUnknown_var _Owner;
  bool _UpToDate = true;
  VOKDocument* _Document = nullptr;
  std::string _DisplayName;
  std::map<std::string, Attribute> _Attributes;
  std::vector<VOKBaseUnknown_var> _Linked;
  std::map<std::string, VOKBaseUnknown_var> _Components;
  bool _HasValue = false;
  double _Value = 0.0;
  long _ValueFailure = 0;
  std::map<std::string, VOKBaseUnknown_var> _SubComponents;
  std::string _EnumText;
  int _EnumIndex = 0;
  std::map<std::string, std::vector<VOKBaseUnknown_var>> _Scan;
  std::vector<VOKBaseUnknown_var> _LinkedSets;
  bool _NoLinkedSetList = false;
  int _Tag = -1;
};

}  // namespace VOKHost

#endif
