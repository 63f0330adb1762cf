// The stand-in's general feature.
#include <memory>

#include "VOKHostFeature.h"

#include <cstring>

#include "VOKHostTesting.h"

namespace VOKHost {

namespace {

// The key of one attribute: a small component naming it.
class AttributeKey : public Component, public VOKISpecAttrKey {
 public:
  explicit AttributeKey(const std::string& iName) : _Name(iName) {}
  const char* GetAttributeName() override { return _Name.c_str(); }

 protected:
  void* Answer(const IID& iIID) override {
    if (iIID == IID_VOKISpecAttrKey) return static_cast<VOKISpecAttrKey*>(this);
    return Component::Answer(iIID);
  }

 private:
  std::string _Name;
};

}  // namespace

Feature* Feature::Create(const std::string& iName, unsigned iFacets) { return new Feature(iName, iFacets); }

Feature::Feature(const std::string& iName, unsigned iFacets)
    : _Name(iName), _Facets(iFacets), _DisplayName(iName) {}
Feature::~Feature() = default;

void* Feature::Answer(const IID& iIID) {
  struct Entry {
    const IID* iid;
    unsigned facet;
    void* itf;
  };
  const Entry entries[] = {
      {&IID_VOKISpecObject, FacetSpecObject, static_cast<VOKISpecObject*>(this)},
      {&IID_VOKILinkableObject, FacetLinkable, static_cast<VOKILinkableObject*>(this)},
      {&IID_VOKIAlias, FacetAlias, static_cast<VOKIAlias*>(this)},
      {&IID_VOKISpecAttrAccess, FacetAttributes, static_cast<VOKISpecAttrAccess*>(this)},
      {&IID_VOKISamAnalysisSet, FacetAnalysisSet, static_cast<VOKISamAnalysisSet*>(this)},
      {&IID_VOKISamBasicComponent, FacetBasicComponent, static_cast<VOKISamBasicComponent*>(this)},
      {&IID_VOKISamEnumManager, FacetEnum, static_cast<VOKISamEnumManager*>(this)},
      {&IID_VOKISamAnalysisScan, FacetScan, static_cast<VOKISamAnalysisScan*>(this)},
      {&IID_VOKISamExplicit, FacetExplicit, static_cast<VOKISamExplicit*>(this)},
  };
  for (const Entry& e : entries)
    if (iIID == *e.iid) return (_Facets & e.facet) ? e.itf : nullptr;
  return Component::Answer(iIID);
}

// ------------------------------------------------------------ configuration

namespace {
// Building a model is not a host operation: links take a plain reference,
// never a query that fault injection could make fail.
VOKBaseUnknown_var Hold(VOKBaseUnknown* iObject) {
  if (iObject) iObject->AddRef();
  return VOKBaseUnknown_var(iObject, VOK_ADOPT);
}
}  // namespace

void Feature::SetOwner(VOKBaseUnknown* iOwner) { _Owner = Hold(iOwner); }
void Feature::SetBoolean(const std::string& iAttribute, bool iValue) {
  Attribute& a = _Attributes[iAttribute];
  a = Attribute();
  a.boolean = iValue;
}
void Feature::SetDoubleList(const std::string& iAttribute, const std::vector<double>& iValues) {
  Attribute& a = _Attributes[iAttribute];
  a = Attribute();
  a.isList = true;
  a.hasList = true;
  a.values = iValues;
}
void Feature::SetEmptyListAttribute(const std::string& iAttribute) {
  Attribute& a = _Attributes[iAttribute];
  a = Attribute();
  a.isList = true;
}
void Feature::AddLinkedObject(VOKBaseUnknown* iObject) { _Linked.push_back(Hold(iObject)); }
void Feature::SetBasicComponent(const std::string& iName, VOKBaseUnknown* iComponent) {
  _Components[iName] = Hold(iComponent);
}
void Feature::SetValue(double iValue) {
  _HasValue = true;
  _Value = iValue;
}
void Feature::SetSubComponent(const std::string& iName, VOKBaseUnknown* iComponent) {
  _SubComponents[iName] = Hold(iComponent);
}
void Feature::SetEnumValue(const std::string& iText, int iIndex) {
  _EnumText = iText;
  _EnumIndex = iIndex;
}
void Feature::AddScanResult(const std::string& iTypeName, VOKBaseUnknown* iObject) {
  _Scan[iTypeName].push_back(Hold(iObject));
}
void Feature::AddLinkedSet(VOKBaseUnknown* iSet) { _LinkedSets.push_back(Hold(iSet)); }

// ------------------------------------------------------------ VOKISpecObject

VOKISpecObject_var Feature::GetOwner() {
  FaultPoint fp("VOKISpecObject::GetOwner");
  if (fp.Fail()) return VOKISpecObject_var();
  return VOKISpecObject_var(_Owner.Get());
}

int Feature::TestUpToDate(const VOKIDomain_var&) {
  FaultPoint fp("VOKISpecObject::TestUpToDate");
  if (fp.Fail()) return 0;
  return _UpToDate ? 1 : 0;
}

VOKDocument* Feature::GetOwningDocument() {
  FaultPoint fp("VOKILinkableObject::GetOwningDocument");
  if (fp.Fail()) return nullptr;
  return _Document;
}

VOKUnicodeString Feature::GetDisplayName() {
  FaultPoint fp("VOKIAlias::GetDisplayName");
  if (fp.Fail()) return VOKUnicodeString();
  return VOKUnicodeString(_DisplayName);
}

// -------------------------------------------------------- VOKISpecAttrAccess

VOKISpecAttrKey* Feature::LookupAttributeKey(const char* iName) {
  FaultPoint fp("VOKISpecAttrAccess::LookupAttributeKey");
  if (fp.Fail() || !iName || _Attributes.find(iName) == _Attributes.end()) return nullptr;
  return new AttributeKey(iName);
}

unsigned char Feature::ReadBoolean(VOKISpecAttrKey* iKey, int iIndex) {
  FaultPoint fp("VOKISpecAttrAccess::ReadBoolean");
  if (fp.Fail() || !iKey || iIndex != 0) return 0;
  auto it = _Attributes.find(iKey->GetAttributeName());
  if (it == _Attributes.end() || it->second.isList) return 0;
  return it->second.boolean ? 1 : 0;
}

VOKRawColldouble* Feature::ReadDoubleList(VOKISpecAttrKey* iKey) {
  FaultPoint fp("VOKISpecAttrAccess::ReadDoubleList");
  if (fp.Fail() || !iKey) return nullptr;
  auto it = _Attributes.find(iKey->GetAttributeName());
  if (it == _Attributes.end() || !it->second.hasList) return nullptr;
  const std::vector<double>& v = it->second.values;
  return new VOKRawColldouble(v.data(), static_cast<int>(v.size()));
}

// -------------------------------------------------------- VOKISamAnalysisSet

long Feature::ListObjectsByInterface(VOKListValVOKISpecObject_var& oList, const IID& iIID, int) {
  FaultPoint fp("VOKISamAnalysisSet::ListObjectsByInterface");
  if (fp.Fail()) return fp.Result();
  for (const VOKBaseUnknown_var& object : _Linked) {
    void* itf = nullptr;
    if (object && SUCCEEDED(object->QueryInterface(iIID, &itf))) {
      static_cast<VOKBaseUnknown*>(object.Get())->Release();  // the query's reference
      oList.Append(VOKISpecObject_var(object.Get()));
    }
  }
  return S_OK;
}

long Feature::GetBasicComponent(const VOKUnicodeString& iName, VOKISamBasicComponent_var& oComponent) {
  FaultPoint fp("VOKISamAnalysisSet::GetBasicComponent");
  oComponent = nullptr;
  if (fp.Fail()) return fp.Result();
  auto it = _Components.find(iName.Std());
  if (it != _Components.end()) oComponent = it->second.Get();
  return S_OK;
}

long Feature::GetLinkedSets(VOKListValVOKBaseUnknown_var*& oList) {
  FaultPoint fp("VOKISamAnalysisSet::GetLinkedSets");
  oList = nullptr;
  if (fp.Fail()) return fp.Result();
  if (_NoLinkedSetList) return S_OK;
  // Built whole before it is handed over: a list that cannot grow goes.
  std::unique_ptr<VOKListValVOKBaseUnknown_var> list(new VOKListValVOKBaseUnknown_var);
  for (const VOKBaseUnknown_var& set : _LinkedSets) list->Append(set);
  oList = list.release();
  return S_OK;
}

// ----------------------------------------------------- VOKISamBasicComponent

long Feature::GetValue(double* oValue, const VOKUnicodeString&, int, int, int) {
  FaultPoint fp("VOKISamBasicComponent::GetValue");
  if (fp.Fail()) return fp.Result();
  if (_ValueFailure < 0) return _ValueFailure;
  if (!oValue || !_HasValue) return E_FAIL;
  *oValue = _Value;
  return S_OK;
}

long Feature::GetSubComponent(const VOKUnicodeString& iName, VOKBaseUnknown_var& oComponent) {
  FaultPoint fp("VOKISamBasicComponent::GetSubComponent");
  oComponent = nullptr;
  if (fp.Fail()) return fp.Result();
  auto it = _SubComponents.find(iName.Std());
  if (it != _SubComponents.end()) oComponent = it->second;
  return S_OK;
}

// -------------------------------------------------------- VOKISamEnumManager

long Feature::GetEnumValue(VOKUnicodeString& oText, int& oIndex) {
  FaultPoint fp("VOKISamEnumManager::GetEnumValue");
  if (fp.Fail()) return fp.Result();
  oText = VOKUnicodeString(_EnumText);
  oIndex = _EnumIndex;
  return S_OK;
}

// ------------------------------------------------------- VOKISamAnalysisScan

long Feature::ScanByType(const char* iTypeName, VOKListValVOKBaseUnknown_var& ioFound, int) {
  FaultPoint fp("VOKISamAnalysisScan::ScanByType");
  if (fp.Fail()) return fp.Result();
  if (!iTypeName) return E_INVALIDARG;
  auto it = _Scan.find(iTypeName);
  if (it != _Scan.end())
    for (const VOKBaseUnknown_var& object : it->second) ioFound.Append(object);
  return S_OK;
}

// ----------------------------------------------------------- VOKISamExplicit

int Feature::GetExplicitTag(int) {
  FaultPoint fp("VOKISamExplicit::GetExplicitTag");
  if (fp.Fail()) return -1;
  return _Tag;
}

}  // namespace VOKHost
