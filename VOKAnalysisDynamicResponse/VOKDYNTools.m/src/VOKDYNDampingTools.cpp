// Damping tools: reading a damping definition from the damping feature,
// finding its modal base, checking the one against the other and turning the
// definition into one damping term per mode.
//
// The object reads lazily: the definition on the first query that needs it
// (Init, while _DampingType is 0) and the base on the first query that needs
// it (FindTheBase, while _BaseTools is null). Once read, neither is refreshed.
#include "VOKDYNDampingTools.h"

#include <cmath>
#include <memory>
#include <new>

#include "VOKDYNTraceChannels.h"
#include "VOKDYNAllocationBoundary.h"

namespace {

// Starting value of the global coefficients and the default modal damping
// (percent of critical damping). Kept in single precision and widened where
// used, so every reader sees the same double.
const float g_DefaultCoefficient = 1.0f;

// Mode of a definition whose "DYNDampingFlag" has not been reached. It counts
// as a per-mode definition without its list: CheckDefinition then fails, so a
// definition whose flag was never reached never passes for a valid one.
const int g_UnreadDefinitionMode = 2;

const int g_TypeModal = 1;
const int g_TypeRayleigh = 2;
const int g_ModeGlobal = 1;
const int g_ModePerMode = 2;

void TraceError(const char* iText) {
  Tra_DYNError.SetLevel(1);
  Tra_DYNError.TraPutLN(iText);
}

// The single linked object of iSet offering iIID, as listed by the set.
// E_FAIL when the listing fails or does not give exactly one object.
long SingleLinkedObject(const VOKISamAnalysisSet_var& iSet, const IID& iIID,
                        VOKISpecObject_var& oObject) {
  VOKListValVOKISpecObject_var list;
  long hr = iSet->ListObjectsByInterface(list, iIID, 0);
  if (FAILED(hr) || list.Size() != 1) return E_FAIL;
  oObject = list[1];
  return S_OK;
}

// The attribute access of a sub-component that should be a feature with
// attributes; null when it is not.
VOKISpecAttrAccess_var AttributesOf(const VOKBaseUnknown_var& iSubComponent) {
  VOKISpecObject_var feature(iSubComponent.Get());
  return VOKISpecAttrAccess_var(feature);
}

// Reads a named sub-component of iComponent; E_FAIL when the lookup fails or
// gives nothing.
long SubComponent(const VOKISamBasicComponent_var& iComponent, const char* iName,
                  VOKBaseUnknown_var& oSub) {
  oSub = nullptr;
  long hr = iComponent->GetSubComponent(VOKUnicodeString(iName), oSub);
  if (FAILED(hr) || !oSub) return E_FAIL;
  return S_OK;
}

// Reads the real value of the sub-component iName of iParent into *oValue.
// The value is written straight into its destination, so a value read before
// a later step fails stays in the object.
long ReadValue(const VOKBaseUnknown_var& iParent, const char* iName, double* oValue) {
  VOKISamBasicComponent_var parent(iParent);
  if (!parent) return E_FAIL;
  VOKBaseUnknown_var sub;
  if (FAILED(SubComponent(parent, iName, sub))) return E_FAIL;
  VOKISamBasicComponent_var value(sub);
  if (!value) return E_FAIL;
  long hr = value->GetValue(oValue, VOKUnicodeString(), 0, 0, 0);
  if (FAILED(hr)) return hr;
  return S_OK;
}

// Reads the list attribute iName into oList. A missing attribute leaves the
// list null and succeeds; an attribute that holds no list shows "NotDefined"
// once and fails.
bool ReadListAttribute(VOKDYNDampingTools& iTools, const VOKISpecAttrAccess_var& iLists,
                       const char* iName, VOKRawColldouble*& oList) {
  // The key is released however the reading ends, a failed allocation
  // included.
  std::unique_ptr<VOKISpecAttrKey, void (*)(VOKISpecAttrKey*)> key(iLists->LookupAttributeKey(iName),
                                                                  [](VOKISpecAttrKey* iKey) { iKey->Release(); });
  if (!key) return true;
  oList = iLists->ReadDoubleList(key.get());
  if (oList) return true;
  iTools.DampingMessage(VOKDYNDampingErrNotDefined, nullptr);
  return false;
}

// Where a damping type keeps its definition below "DYNDampingType": the
// sub-component with the "DYNDampingFlag", its global branch with the
// coefficients as real values and its list branch with them as per-mode
// lists. A type with a single coefficient leaves the second names null.
struct DefinitionNames {
  const char* definition;
  const char* global;
  const char* values[2];
  const char* list;
  const char* lists[2];
};

// The members of the tools object that a reading fills, in the order of the
// names; null where the type has no second coefficient.
struct DefinitionTargets {
  int& mode;
  double* values[2];
  VOKRawColldouble** lists[2];
};

// Reads the flag, then only the branch it selects, into iTargets. The only
// trace is a missing definition sub-component; every other gap is silent,
// except a list attribute that holds no list ("NotDefined"). What was read
// before a failure stays in the object.
long ReadDefinition(VOKDYNDampingTools& iTools, const VOKISamBasicComponent_var& iComponent,
                    const DefinitionNames& iNames, const DefinitionTargets& iTargets) {
  if (!iComponent) return E_FAIL;
  VOKBaseUnknown_var definition;
  if (FAILED(SubComponent(iComponent, iNames.definition, definition))) {
    TraceError("VOKDYNDampingTools::GetSubComponent");
    return E_FAIL;
  }
  // A sub-component without attribute access cannot say which branch holds
  // the definition: the mode stays unread and CheckDefinition refuses it.
  VOKISpecAttrAccess_var attributes = AttributesOf(definition);
  if (!attributes) return E_FAIL;
  VOKISpecAttrKey* key = attributes->LookupAttributeKey("DYNDampingFlag");
  if (!key) return E_FAIL;
  // ReadBoolean gives a byte and no result code: a flag whose value cannot
  // be read reads as false, the global branch.
  unsigned char perMode = attributes->ReadBoolean(key, 0);
  key->Release();
  iTargets.mode = perMode ? g_ModePerMode : g_ModeGlobal;

  VOKISamBasicComponent_var definitionComponent(definition);
  if (iTargets.mode == g_ModeGlobal) {
    VOKBaseUnknown_var global;
    if (!definitionComponent || FAILED(SubComponent(definitionComponent, iNames.global, global)))
      return E_FAIL;
    for (int v = 0; v < 2 && iNames.values[v]; ++v) {
      long hr = ReadValue(global, iNames.values[v], iTargets.values[v]);
      if (FAILED(hr)) return hr;
    }
    return S_OK;
  }

  VOKBaseUnknown_var listComponent;
  if (!definitionComponent || FAILED(SubComponent(definitionComponent, iNames.list, listComponent)))
    return E_FAIL;
  VOKISpecAttrAccess_var lists = AttributesOf(listComponent);
  if (!lists) return E_FAIL;
  for (int l = 0; l < 2 && iNames.lists[l]; ++l)
    if (!ReadListAttribute(iTools, lists, iNames.lists[l], *iTargets.lists[l])) return E_FAIL;
  return S_OK;
}

}  // namespace

// ---------------------------------------------------------------- lifecycle

VOKDYNDampingTools::VOKDYNDampingTools(VOKISpecObject* iFeature)
    : _Feature(iFeature),
      _BaseTools(nullptr),
      _DampingType(0),
      _DefinitionMode(g_UnreadDefinitionMode),
      _AlphaList(nullptr),
      _BetaList(nullptr),
      _Alpha(g_DefaultCoefficient),
      _Beta(g_DefaultCoefficient) {
  if (_Feature) _Feature->AddRef();
}

VOKDYNDampingTools::~VOKDYNDampingTools() {
  if (_Feature) _Feature->Release();
  _Feature = nullptr;
  delete _AlphaList;
  _AlphaList = nullptr;
  delete _BetaList;
  _BetaList = nullptr;
  if (_BaseTools) _BaseTools->Release();
  _BaseTools = nullptr;
}

// ---------------------------------------------------------------- base lookup

long VOKDYNDampingTools::FindTheBase() {
  if (_BaseTools || !_Feature) return S_OK;
  VOKISamAnalysisSet_var set(_Feature);
  if (!set) return E_FAIL;
  VOKListValVOKISpecObject_var list;
  long hr = set->ListObjectsByInterface(list, IID_VOKIDYNBaseTools, 0);
  set = nullptr;
  if (FAILED(hr) || list.Size() != 1) return E_FAIL;
  VOKISpecObject_var base(list[1]);
  if (base) {
    void* tools = nullptr;
    if (SUCCEEDED(base->QueryInterface(IID_VOKIDYNBaseTools, &tools)))
      _BaseTools = static_cast<VOKIDYNBaseTools*>(tools);
  }
  return _BaseTools ? S_OK : E_FAIL;
}

// ---------------------------------------------------------------- definition

long VOKDYNDampingTools::Init() {
  if (!_Feature) return E_FAIL;
  VOKISamAnalysisSet_var set(_Feature);
  if (!set) return E_FAIL;
  VOKISamBasicComponent_var component;
  long hr = set->GetBasicComponent(VOKUnicodeString("DYNDampingType"), component);
  set = nullptr;
  if (FAILED(hr) || !component) {
    TraceError("VOKDYNDampingTools::GetDampingDefinition ??? DampingType ???");
    return E_FAIL;
  }
  VOKISamEnumManager_var enumeration(component);
  if (!enumeration) return E_FAIL;
  VOKUnicodeString text;
  int index = 0;
  hr = enumeration->GetEnumValue(text, index);
  enumeration = nullptr;
  if (FAILED(hr)) return hr;

  // The type is known before the coefficients are read: the definition is
  // never read twice, whatever the reader manages to read. A reading cut
  // short by a failed allocation is forgotten instead, so that the next query
  // reads the definition again rather than keep the starting values.
  auto read = [&](int iType, long (VOKDYNDampingTools::*iReader)(VOKISamBasicComponent_var)) {
    _DampingType = iType;
    try {
      (this->*iReader)(component);
    } catch (const std::bad_alloc&) {
      _DampingType = 0;
      _DefinitionMode = g_UnreadDefinitionMode;
      _Alpha = _Beta = g_DefaultCoefficient;
      delete _AlphaList;
      _AlphaList = nullptr;
      delete _BetaList;
      _BetaList = nullptr;
      throw;
    }
    return S_OK;
  };
  switch (index) {
    case 1:
      if (!(text == "Modal")) return E_FAIL;
      return read(g_TypeModal, &VOKDYNDampingTools::GetModalDamping);
    case 2:
      if (!(text == "Rayleigh")) return E_FAIL;
      return read(g_TypeRayleigh, &VOKDYNDampingTools::GetRayleighDamping);
    default:
      DampingMessage(VOKDYNDampingErrInternalError, nullptr);
      return E_FAIL;
  }
}

// No operation of the class calls it (it is private): kept with the class,
// it cannot be reached from outside. LCOV_EXCL_START
long VOKDYNDampingTools::SetDefaultDamping() {
  Tra_DYNDev.SetLevel(2);
  Tra_DYNDev.TraPutLN("VOKDYNDampingTools::SetDefaultDamping");
  long hr = DampingMessage(VOKDYNDampingWarnDefaultDamping, nullptr);
  if (FAILED(hr)) return hr;
  _DampingType = g_TypeModal;
  _DefinitionMode = g_ModeGlobal;
  _Alpha = g_DefaultCoefficient;
  return S_OK;
}  // LCOV_EXCL_STOP

long VOKDYNDampingTools::GetRayleighDamping(VOKISamBasicComponent_var iComponent) {
  static const DefinitionNames kRayleigh = {
      "DYNDampingRayleigh",     "DYNDampingGlobalRayleigh", {"DYNAlpha", "DYNBeta"},
      "DYNDampingRayleighList", {"ListOfAlpha", "ListOfBeta"}};
  const DefinitionTargets targets = {_DefinitionMode, {&_Alpha, &_Beta}, {&_AlphaList, &_BetaList}};
  return ReadDefinition(*this, iComponent, kRayleigh, targets);
}

long VOKDYNDampingTools::GetModalDamping(VOKISamBasicComponent_var iComponent) {
  static const DefinitionNames kModal = {
      "DYNDampingModal",     "DYNDampingGlobalModal", {"DYNCoefficient", nullptr},
      "DYNDampingModalList", {"ListOfCoefficients", nullptr}};
  // The modal coefficients go where the Rayleigh alphas go.
  const DefinitionTargets targets = {_DefinitionMode, {&_Alpha, nullptr}, {&_AlphaList, nullptr}};
  return ReadDefinition(*this, iComponent, kModal, targets);
}

// ---------------------------------------------------------------- queries

long VOKDYNDampingTools::CheckIfBaseUptoDate(unsigned char& oUpToDate, unsigned char iWarn) {
  return VOKDYN::AllocationBoundary(E_FAIL, [&]() -> long {
    oUpToDate = 0;
    long hr = FindTheBase();
    if (FAILED(hr)) return hr;
    VOKISamAnalysisSet_var baseSet(_BaseTools);
    if (!baseSet) return E_FAIL;
    VOKISpecObject_var access;
    if (FAILED(SingleLinkedObject(baseSet, IID_VOKIDYNBaseAccess, access))) return E_FAIL;
    if (access) oUpToDate = static_cast<unsigned char>(access->TestUpToDate(VOKIDomain_var()));

    if (oUpToDate == 0 && iWarn != 0) {
      VOKIAlias_var alias(access);
      if (!alias) return E_FAIL;
      VOKUnicodeString name = alias->GetDisplayName();
      std::unique_ptr<VOKListValVOKUnicodeString> parameters(
          new (std::nothrow) VOKListValVOKUnicodeString);
      if (!parameters) return E_FAIL;
      parameters->Append(name);
      DampingMessage(VOKDYNDampingWarnBaseNotUpToDate, parameters.get());
    }
    return S_OK;
  });
}

long VOKDYNDampingTools::CheckDefinition(VOKDYNDampingValidity& oValidity) {
  return VOKDYN::AllocationBoundary(E_FAIL, [&]() -> long {
    oValidity = VOKDYNDampingValid;
    if (_DampingType == 0) {
      long hr = Init();
      if (FAILED(hr) || _DampingType == 0) return E_FAIL;
    }
    if (_DefinitionMode == g_ModePerMode && !_AlphaList) return E_FAIL;

    long hr = FindTheBase();
    if (FAILED(hr)) return hr;
    if (!_BaseTools) return E_UNEXPECTED;
    int n = 0;
    hr = _BaseTools->GetNbDof(n);
    if (FAILED(hr)) return hr;
    if (n == 0) oValidity = VOKDYNDampingInvalid;
    if (_DefinitionMode != g_ModePerMode) return S_OK;

    // Only the alpha list must hold exactly one value per mode. A per-mode
    // Rayleigh definition needs one beta per mode as well: a beta list that is
    // missing or short cannot form the terms, so the definition does not fit
    // the base; a longer one is used for its first n values, one per mode.
    if (_AlphaList->Size() != n) oValidity = VOKDYNDampingInvalid;
    if (_DampingType == g_TypeRayleigh && (!_BetaList || _BetaList->Size() < n))
      oValidity = VOKDYNDampingInvalid;

    VOKISamAnalysisSet_var baseSet(_BaseTools);
    if (!baseSet) return E_FAIL;
    VOKISpecObject_var object;
    if (FAILED(SingleLinkedObject(baseSet, IID_VOKIDYNBaseAccess, object))) return E_FAIL;
    if (object) {
      void* itf = nullptr;
      if (SUCCEEDED(object->QueryInterface(IID_VOKIDYNBaseAccess, &itf)) && itf) {
        VOKIDYNBaseAccess* access = static_cast<VOKIDYNBaseAccess*>(itf);
        if (FAILED(access->CheckBaseState()) && oValidity == VOKDYNDampingValid)
          oValidity = VOKDYNDampingBaseCheckFailed;
        access->Release();
      }
    }
    return S_OK;
  });
}

long VOKDYNDampingTools::DiagonalityOfTheBase(int& oDiagonal) {
  if (_DampingType == 0) {
    long hr = Init();
    if (FAILED(hr)) return hr;
  }
  if (!_BaseTools) {
    long hr = FindTheBase();
    if (FAILED(hr)) return hr;
    if (!_BaseTools) return E_UNEXPECTED;
  }
  return _BaseTools->IsDampingDiagonal(oDiagonal);
}

long VOKDYNDampingTools::GetDampingDefinition(unsigned char& oDiagonal, VOKDYNDampingType& oType) {
  return VOKDYN::AllocationBoundary(E_FAIL, [&]() -> long {
    oDiagonal = 0;
    oType = VOKDYNDampingTypeUnknown;
    int flag = 0;
    long hr = DiagonalityOfTheBase(flag);
    if (FAILED(hr)) return hr;
    if (flag != 0) oDiagonal = 1;
    // The type is given once the whole definition could be answered, so that a
    // failed call leaves both outputs at their "unknown" values.
    oType = static_cast<VOKDYNDampingType>(_DampingType);
    return S_OK;
  });
}

// ---------------------------------------------------------------- values

long VOKDYNDampingTools::GetDampingValues(VOKRawColldouble& oValues) {
  return VOKDYN::AllocationBoundary(E_FAIL, [&]() -> long {
    int diagonal = 0;
    long hr = DiagonalityOfTheBase(diagonal);
    if (FAILED(hr)) return hr;
    if (diagonal == 0) {
      TraceError("!The damping matrix is not diagonal!");
      return E_FAIL;
    }
    VOKDYNDampingValidity validity = VOKDYNDampingValid;
    hr = CheckDefinition(validity);
    if (FAILED(hr)) return hr;
    if (validity == VOKDYNDampingInvalid) return hr;
    if (oValues.Size() != 0) return E_FAIL;

    int n = 0;
    hr = _BaseTools->GetNbDof(n);
    if (FAILED(hr) || n <= 0) return E_FAIL;
    // The base's arrays are the caller's to free, also when they come with a
    // failure code; held here, they are freed on every way out.
    double* stiffnessArray = nullptr;
    hr = _BaseTools->GetModalStiffnesses(stiffnessArray);
    std::unique_ptr<double[]> stiffnesses(stiffnessArray);
    if (FAILED(hr) || !stiffnesses) return E_FAIL;
    double* massArray = nullptr;
    hr = _BaseTools->GetModalMasses(massArray);
    std::unique_ptr<double[]> masses(massArray);
    if (FAILED(hr) || !masses) return E_FAIL;

    // The per-mode lists were checked against the base by CheckDefinition;
    // the mode count is asked again here, so a list that no longer covers every
    // mode gives no values rather than a read past its end.
    bool perMode = _DefinitionMode == g_ModePerMode;
    bool listsCover = !perMode || (_AlphaList && _AlphaList->Size() >= n &&
                                   (_DampingType != g_TypeRayleigh ||
                                    (_BetaList && _BetaList->Size() >= n)));
    if (!listsCover) return S_OK;

    // Evaluation orders are fixed so that results are reproducible to the last
    // bit: modal, root of the product M*K times the doubled coefficient, then
    // divided by 100; Rayleigh, the two products added, then divided by 100.
    // A list that cannot grow is emptied again: the caller gets all the
    // values or none.
    try {
      for (int i = 1; i <= n; ++i) {
        double m = masses[i - 1];
        double k = stiffnesses[i - 1];
        if (_DampingType == g_TypeModal && _DefinitionMode == g_ModeGlobal) {
          oValues.Append(std::sqrt(m * k) * (_Alpha * 2.0) / 100.0);
        } else if (_DampingType == g_TypeModal && _DefinitionMode == g_ModePerMode) {
          oValues.Append(std::sqrt(m * k) * ((*_AlphaList)[i] * 2.0) / 100.0);
        } else if (_DampingType == g_TypeRayleigh && _DefinitionMode == g_ModeGlobal) {
          oValues.Append((m * _Alpha + k * _Beta) / 100.0);
        } else if (_DampingType == g_TypeRayleigh && _DefinitionMode == g_ModePerMode) {
          oValues.Append((m * (*_AlphaList)[i] + k * (*_BetaList)[i]) / 100.0);
        }
      }
    } catch (const std::bad_alloc&) {
      oValues.RemoveAll();
      throw;
    }
    return S_OK;
  });
}

long VOKDYNDampingTools::GetDampingValues(double**, int&) { return E_FAIL; }

// ---------------------------------------------------------------- dump titles

long VOKDYNDampingTools::GetListOfOccTitleForDump(VOKListValVOKUnicodeString& oTitles) {
  return VOKDYN::AllocationBoundary(E_FAIL, [&]() -> long {
    if (oTitles.Size() != 0) return E_FAIL;
    long hr = FindTheBase();
    if (FAILED(hr)) return hr;
    VOKISamAnalysisSet_var baseSet(_BaseTools);
    if (!baseSet) return E_FAIL;
    VOKISpecObject_var object;
    if (FAILED(SingleLinkedObject(baseSet, IID_VOKIDYNBaseAccess, object))) return E_FAIL;
    VOKIDYNBaseAccess_var access(object);
    if (!access) return E_FAIL;
    VOKRawColldouble occurrences;
    hr = access->GetOccurrenceValues(occurrences);
    if (FAILED(hr)) return hr;
    // A list that cannot grow is emptied again: all the titles or none.
    try {
      for (int i = 1; i <= occurrences.Size(); ++i) {
        // Titles show the value as the dump stores it, in single precision.
        double value = static_cast<double>(static_cast<float>(occurrences[i]));
        VOKUnicodeString title;
        title.BuildFromNum(value, "%g");
        oTitles.Append(title);
      }
    } catch (const std::bad_alloc&) {
      oTitles.Size(0);
      throw;
    }
    return S_OK;
  });
}
