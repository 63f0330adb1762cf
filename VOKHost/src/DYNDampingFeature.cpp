// Builder of the stand-in's damping feature.
#include "VOKHostDamping.h"

namespace VOKHost {

namespace {
// A sub-component that is also a feature with attributes.
const unsigned g_AttributeNode = FacetBasicComponent | FacetSpecObject | FacetAttributes;
const unsigned g_PlainNode = FacetBasicComponent;
}  // namespace

DampingFeatureBuilder::DampingFeatureBuilder()
    : _TypeText("Modal"),
      _TypeIndex(1),
      _ModalPerMode(false),
      _Coefficient(1.0),
      _RayleighPerMode(false),
      _Alpha(0.0),
      _Beta(0.0),
      _DisplayName("Damping.1"),
      _TypeNotEnumeration(false),
      _NotAnAnalysisSet(false) {}

DampingFeatureBuilder::~DampingFeatureBuilder() = default;

DampingFeatureBuilder& DampingFeatureBuilder::Modal(double iPercent) {
  _TypeText = "Modal";
  _TypeIndex = 1;
  _ModalPerMode = false;
  _Coefficient = iPercent;
  return *this;
}

DampingFeatureBuilder& DampingFeatureBuilder::ModalPerMode(const std::vector<double>& iPercents) {
  _TypeText = "Modal";
  _TypeIndex = 1;
  _ModalPerMode = true;
  _Coefficients = iPercents;
  return *this;
}

DampingFeatureBuilder& DampingFeatureBuilder::Rayleigh(double iAlpha, double iBeta) {
  _TypeText = "Rayleigh";
  _TypeIndex = 2;
  _RayleighPerMode = false;
  _Alpha = iAlpha;
  _Beta = iBeta;
  return *this;
}

DampingFeatureBuilder& DampingFeatureBuilder::RayleighPerMode(const std::vector<double>& iAlphas,
                                                              const std::vector<double>& iBetas) {
  _TypeText = "Rayleigh";
  _TypeIndex = 2;
  _RayleighPerMode = true;
  _Alphas = iAlphas;
  _Betas = iBetas;
  return *this;
}

DampingFeatureBuilder& DampingFeatureBuilder::LinkBase(VOKBaseUnknown* iBase) {
  if (iBase) iBase->AddRef();  // a plain reference: building is not a host operation
  _Bases.emplace_back(iBase, VOK_ADOPT);
  return *this;
}

DampingFeatureBuilder& DampingFeatureBuilder::DisplayName(const std::string& iName) {
  _DisplayName = iName;
  return *this;
}

DampingFeatureBuilder& DampingFeatureBuilder::TypeValue(const std::string& iText, int iIndex) {
  _TypeText = iText;
  _TypeIndex = iIndex;
  return *this;
}

DampingFeatureBuilder& DampingFeatureBuilder::Omit(const std::string& iName) {
  _Omitted.insert(iName);
  return *this;
}

DampingFeatureBuilder& DampingFeatureBuilder::NoList(const std::string& iAttribute) {
  _NoList.insert(iAttribute);
  return *this;
}

DampingFeatureBuilder& DampingFeatureBuilder::WithoutAttributes(const std::string& iName) {
  _WithoutAttributes.insert(iName);
  return *this;
}

DampingFeatureBuilder& DampingFeatureBuilder::FailValue(const std::string& iName, long iResult) {
  _FailedValues[iName] = iResult;
  return *this;
}

DampingFeatureBuilder& DampingFeatureBuilder::TypeNotEnumeration() {
  _TypeNotEnumeration = true;
  return *this;
}

DampingFeatureBuilder& DampingFeatureBuilder::NotAnAnalysisSet() {
  _NotAnAnalysisSet = true;
  return *this;
}

// A sub-component node; those listed by WithoutAttributes lose their
// VOKISpecObject and attribute facets.
Feature* DampingFeatureBuilder::Node(const std::string& iName, unsigned iFacets) const {
  if (_WithoutAttributes.count(iName)) iFacets &= ~(FacetSpecObject | FacetAttributes);
  return Feature::Create(iName, iFacets);
}

void DampingFeatureBuilder::SetList(Feature* ioFeature, const std::string& iAttribute,
                                    const std::vector<double>& iValues) const {
  if (Omitted(iAttribute)) return;
  if (_NoList.count(iAttribute))
    ioFeature->SetEmptyListAttribute(iAttribute);
  else
    ioFeature->SetDoubleList(iAttribute, iValues);
}

void DampingFeatureBuilder::SetValue(Feature* ioParent, const std::string& iName,
                                     double iValue) const {
  if (Omitted(iName)) return;
  Feature* value = Node(iName, g_PlainNode);
  value->SetValue(iValue);
  auto failure = _FailedValues.find(iName);
  if (failure != _FailedValues.end()) value->SetValueFailure(failure->second);
  ioParent->SetSubComponent(iName, value);
  value->Release();
}

Feature* DampingFeatureBuilder::Build() const {
  // Each node is released once its parent holds it: the damping feature ends
  // up owning the whole tree through one reference per link.
  Feature* type = Node("DYNDampingType", _TypeNotEnumeration ? g_PlainNode : g_PlainNode | FacetEnum);
  type->SetEnumValue(_TypeText, _TypeIndex);

  if (!Omitted("DYNDampingRayleigh")) {
    Feature* rayleigh = Node("DYNDampingRayleigh", g_AttributeNode);
    if (!Omitted("DYNDampingFlag")) rayleigh->SetBoolean("DYNDampingFlag", _RayleighPerMode);
    if (!Omitted("DYNDampingGlobalRayleigh")) {
      Feature* global = Node("DYNDampingGlobalRayleigh", g_PlainNode);
      SetValue(global, "DYNAlpha", _Alpha);
      SetValue(global, "DYNBeta", _Beta);
      rayleigh->SetSubComponent("DYNDampingGlobalRayleigh", global);
      global->Release();
    }
    if (!Omitted("DYNDampingRayleighList")) {
      Feature* lists = Node("DYNDampingRayleighList", g_AttributeNode);
      SetList(lists, "ListOfAlpha", _Alphas);
      SetList(lists, "ListOfBeta", _Betas);
      rayleigh->SetSubComponent("DYNDampingRayleighList", lists);
      lists->Release();
    }
    type->SetSubComponent("DYNDampingRayleigh", rayleigh);
    rayleigh->Release();
  }

  if (!Omitted("DYNDampingModal")) {
    Feature* modal = Node("DYNDampingModal", g_AttributeNode);
    if (!Omitted("DYNDampingFlag")) modal->SetBoolean("DYNDampingFlag", _ModalPerMode);
    if (!Omitted("DYNDampingGlobalModal")) {
      Feature* global = Node("DYNDampingGlobalModal", g_PlainNode);
      SetValue(global, "DYNCoefficient", _Coefficient);
      modal->SetSubComponent("DYNDampingGlobalModal", global);
      global->Release();
    }
    if (!Omitted("DYNDampingModalList")) {
      Feature* list = Node("DYNDampingModalList", g_AttributeNode);
      SetList(list, "ListOfCoefficients", _Coefficients);
      modal->SetSubComponent("DYNDampingModalList", list);
      list->Release();
    }
    type->SetSubComponent("DYNDampingModal", modal);
    modal->Release();
  }

  unsigned facets = FacetSpecObject | FacetAlias | FacetAnalysisSet;
  if (_NotAnAnalysisSet) facets &= ~FacetAnalysisSet;
  Feature* damping = Feature::Create("DampingSet", facets);
  damping->SetDisplayName(_DisplayName);
  if (!Omitted("DYNDampingType")) damping->SetBasicComponent("DYNDampingType", type);
  type->Release();
  for (const VOKBaseUnknown_var& base : _Bases) damping->AddLinkedObject(base.Get());
  return damping;
}

}  // namespace VOKHost
