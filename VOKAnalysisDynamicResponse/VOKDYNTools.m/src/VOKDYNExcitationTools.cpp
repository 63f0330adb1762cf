// Excitation tools: the object itself, the reading of load and restraint
// excitations, the building of second members and their evaluation.
// (The rigid-body and enforced-displacement contributions live beside it.)
#include "VOKDYNExcitationTools.h"

#include <cassert>
#include <cmath>
#include <memory>
#include <new>

#include "VOKDYNAllocationBoundary.h"
#include "VOKDYNExcitationKernels.h"
#include "VOKDYNRestraintValues.h"

VOKMetaClass* VOKDYNExcitationTools::meta_object = nullptr;

// Every meta-class operation registers the class on first use, whichever
// comes first. No lock: the class is used on the host's thread.
#define VOKDYN_EXCITATION_META()                                                              \
  do {                                                                                        \
    if (!meta_object)                                                                         \
      meta_object = fct_RetrieveMetaObject("VOKDYNExcitationTools", 1,                        \
                                           VOKBaseUnknown::MetaObject(), "VOKNull",           \
                                           "VOKAnalysisDynamicResponse",                      \
                                           sizeof(VOKDYNExcitationTools));                    \
  } while (0)

VOKMetaClass* VOKDYNExcitationTools::MetaObject() {
  VOKDYN_EXCITATION_META();
  return meta_object;
}

VOKMetaClass* VOKDYNExcitationTools::GetMetaObject() const {
  VOKDYN_EXCITATION_META();
  return meta_object;
}

const GUID& VOKDYNExcitationTools::ClassId() {
  VOKDYN_EXCITATION_META();
  return meta_object->GetClassId();
}

const char* VOKDYNExcitationTools::IsA() const {
  VOKDYN_EXCITATION_META();
  return meta_object->GetClassName();
}

const char* VOKDYNExcitationTools::ClassName() {
  VOKDYN_EXCITATION_META();
  return meta_object->GetClassName();
}

int VOKDYNExcitationTools::IsAKindOf(const char* iName) const {
  VOKDYN_EXCITATION_META();
  return meta_object->IsAKindOf(iName);
}

VOKBaseUnknown* VOKDYNExcitationTools::CreateItself() { return nullptr; }

// ------------------------------------------------------------ lifecycle

VOKDYNExcitationTools::VOKDYNExcitationTools()
    : VOKBaseUnknown(),
      _BaseTools(nullptr),
      _Initialized(0),
      _WithPhase(1),
      _AxisDefined(0),
      _Phases(),
      _SecondMembers(nullptr),
      _NbSecondMembers(0),
      _NbExcitations(0),
      _Modulations(),
      _ExcitationTypes(nullptr),
      _RestraintExcitation(nullptr),
      _LoadExcitation(nullptr),
      _Domain(DYNDefaultDomain) {}

VOKDYNExcitationTools::~VOKDYNExcitationTools() { CleanAll(); }

// Drops everything held, in a fixed order. _WithPhase is deliberately left
// alone: once a time-domain initialisation ran, the object stays real-valued.
void VOKDYNExcitationTools::CleanAll() {
  if (_BaseTools) _BaseTools->Release();
  _BaseTools = nullptr;

  if (_SecondMembers) {
    for (int i = 0; i < _NbSecondMembers; ++i) {
      if (_SecondMembers[i]) delete[] _SecondMembers[i];
      _SecondMembers[i] = nullptr;
    }
    delete[] _SecondMembers;
    _SecondMembers = nullptr;
  }
  _NbSecondMembers = 0;

  _Phases = VOKRawCollfloat();

  if (_ExcitationTypes) delete[] _ExcitationTypes;
  _ExcitationTypes = nullptr;
  _NbExcitations = 0;

  for (int i = 1; i <= _Modulations.Size(); ++i) {
    if (_Modulations[i]) _Modulations[i]->Release();
    _Modulations[i] = nullptr;
  }
  _Modulations.RemoveAll();
  _Modulations = VOKListPtrVOKIDYNModulation();

  _Initialized = 0;
  _AxisDefined = 0;

  if (_RestraintExcitation) _RestraintExcitation->Release();
  _RestraintExcitation = nullptr;
  if (_LoadExcitation) _LoadExcitation->Release();
  _LoadExcitation = nullptr;

  _Domain = DYNDefaultDomain;
}

namespace {

// The excitation interface of list element iElement (one reference, adopted
// by the handle), or a null handle when the element is null or no excitation.
VOKIDYNExcitation_var ExcitationOf(const VOKBaseUnknown_var& iElement) {
  if (!iElement) return VOKIDYNExcitation_var();
  void* itf = nullptr;
  if (FAILED(iElement->QueryInterface(IID_VOKIDYNExcitation, &itf)) || !itf)
    return VOKIDYNExcitation_var();
  return VOKIDYNExcitation_var(static_cast<VOKIDYNExcitation*>(itf), VOK_ADOPT);
}

// Queries iExcitation for interface I into ioHeld when nothing is held yet.
template <class I>
void AcquireOnce(VOKIDYNExcitation* iExcitation, I*& ioHeld) {
  if (ioHeld) return;
  void* itf = nullptr;
  if (SUCCEEDED(iExcitation->QueryInterface(I::InterfaceId(), &itf))) ioHeld = static_cast<I*>(itf);
}

void FreeVectors(double**& ioVectors, int iCount) {
  if (!ioVectors) return;
  for (int k = 0; k < iCount; ++k)
    if (ioVectors[k]) delete[] ioVectors[k];
  delete[] ioVectors;
  ioVectors = nullptr;
}

// Hands each of the first iCount elements of iExcitations, as an
// excitation, to iStep with the slot of its type, in list order; stops at
// the first element that is no excitation (E_FAIL) or whose step fails (its
// result).
template <class Step>
long EachExcitation(const VOKListValVOKBaseUnknown_var& iExcitations, int iCount,
                    ExcitationType* ioTypes, Step&& iStep) {
  for (int i = 1; i <= iCount; ++i) {
    VOKIDYNExcitation_var excitation = ExcitationOf(iExcitations[i]);
    if (!excitation) return E_FAIL;
    long hr = iStep(excitation, ioTypes[i - 1]);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

}  // namespace

long VOKDYNExcitationTools::BeginInitialization(const VOKListValVOKBaseUnknown_var& iExcitations,
                                                VOKIDYNBaseTools* iBaseTools) {
  _Initialized = 0;
  if (iExcitations.Size() < 1 || !iBaseTools) return E_FAIL;

  CleanAll();
  _BaseTools = iBaseTools;
  _BaseTools->AddRef();

  // No type table: the object stays empty but for the base tools, with no
  // excitation counted.
  const int count = iExcitations.Size();
  _ExcitationTypes = new (std::nothrow) ExcitationType[static_cast<std::size_t>(count)];
  if (!_ExcitationTypes) return E_FAIL;
  _NbExcitations = count;
  for (int i = 0; i < _NbExcitations; ++i) _ExcitationTypes[i] = UndefinedExcitationType;
  return S_OK;
}

long VOKDYNExcitationTools::EndInitialization(ExcitationType& oFirstType) {
  oFirstType = _ExcitationTypes[0];
  _Initialized = 1;
  return S_OK;
}

// -------------------------------------------------------- initialisations

long VOKDYNExcitationTools::InitializeForResult(VOKListValVOKBaseUnknown_var iExcitations,
                                                VOKIDYNBaseTools* iBaseTools,
                                                ExcitationType& oFirstType) {
  return VOKDYN::AllocationBoundary(E_FAIL, [&]() -> long {
    long hr = BeginInitialization(iExcitations, iBaseTools);
    if (FAILED(hr)) return hr;
    hr = EachExcitation(iExcitations, _NbExcitations, _ExcitationTypes,
                        [&](VOKIDYNExcitation_var& ioExcitation, ExcitationType& oType) {
      long result = ioExcitation->GetExcitationType(oType);
      if (FAILED(result)) return result;
      // A second excitation of a kind already held is refused: the operations
      // that use the held interface can serve one excitation of each kind only.
      if (oType == LoadExcitationType) {
        if (_LoadExcitation) return E_FAIL;
        AcquireOnce(ioExcitation.Get(), _LoadExcitation);
        return _LoadExcitation ? S_OK : E_FAIL;
      }
      if (oType == RestraintExcitationType) {
        if (_RestraintExcitation) return E_FAIL;
        AcquireOnce(ioExcitation.Get(), _RestraintExcitation);
        return _RestraintExcitation ? S_OK : E_FAIL;
      }
      return E_FAIL;
    });
    return FAILED(hr) ? hr : EndInitialization(oFirstType);
  });
}

long VOKDYNExcitationTools::GetTypeOfExcitation(ExcitationType& oType,
                                                unsigned char& oAxisDefined) const {
  // No type table before the first initialisation: nothing to report.
  if (!_ExcitationTypes || _NbExcitations < 1) return E_FAIL;
  oType = _ExcitationTypes[0];
  oAxisDefined = 0;
  for (int i = 0; i < _NbExcitations; ++i)
    if (_ExcitationTypes[i] == RestraintExcitationType) {
      oType = RestraintExcitationType;
      oAxisDefined = _AxisDefined;
    }
  return S_OK;
}

long VOKDYNExcitationTools::Initialize(VOKListValVOKBaseUnknown_var iExcitations,
                                       VOKIDYNBaseTools* iBaseTools, ExcitationType& oFirstType,
                                       DYNAnalysisDomain iDomain) {
  return VOKDYN::AllocationBoundary(E_FAIL, [&]() -> long {
    long hr = BeginInitialization(iExcitations, iBaseTools);
    if (FAILED(hr)) return hr;
    _Domain = iDomain;
    if (iDomain == DYNTimeDomain) _WithPhase = 0;
    hr = EachExcitation(iExcitations, _NbExcitations, _ExcitationTypes,
                        [&](VOKIDYNExcitation_var& ioExcitation, ExcitationType& oType) {
      long result = AddExcitation(ioExcitation.Get(), oType);
      ioExcitation = nullptr;  // released before the result is looked at
      return result;
    });
    return FAILED(hr) ? hr : EndInitialization(oFirstType);
  });
}

long VOKDYNExcitationTools::AddExcitation(VOKIDYNExcitation* iExcitation, ExcitationType& oType) {
  if (!iExcitation || !_BaseTools) return E_FAIL;
  long hr = iExcitation->GetExcitationType(oType);
  if (FAILED(hr)) return hr;

  VOKListValVOKISpecObject_var modulations;
  VOKRawCollfloat amplitudes;
  double** vectors = nullptr;
  // The table the base tools hand over is this operation's on every way out,
  // an exception of a growing list included.
  struct VectorsGuard {
    double**& vectors;
    const VOKListValVOKISpecObject_var& modulations;
    ~VectorsGuard() { FreeVectors(vectors, modulations.Size()); }
  } guard{vectors, modulations};

  // The values of an excitation are read through the held interface of its
  // kind; a second excitation of a kind already read would only repeat the
  // first one's values, so it is refused.
  if (oType == LoadExcitationType) {
    if (_LoadExcitation) return E_FAIL;
    hr = GetLoadExcitValues(iExcitation, vectors, modulations, amplitudes);
  } else if (oType == RestraintExcitationType) {
    if (_RestraintExcitation) return E_FAIL;
    hr = GetRestraintExcitValues(iExcitation, vectors, modulations, amplitudes);
  } else {
    return E_FAIL;
  }
  // A reading that failed after the base tools built a table still hands
  // it over; the guard frees it.
  if (FAILED(hr)) return hr;

  hr = SecondMemberElaboration(vectors, modulations, amplitudes);
  return FAILED(hr) ? hr : S_OK;
}

// ------------------------------------------------------ reading the values

long VOKDYNExcitationTools::GetLoadExcitValues(VOKIDYNExcitation* iExcitation, double**& oVectors,
                                               VOKListValVOKISpecObject_var& oModulations,
                                               VOKRawCollfloat& oAmplitudes) {
  if (!iExcitation || !_BaseTools) return E_FAIL;
  AcquireOnce(iExcitation, _LoadExcitation);
  if (!_LoadExcitation) return E_FAIL;

  VOKListValVOKISpecObject_var loads;
  VOKRawCollfloat phases;
  long hr = _LoadExcitation->GetLoadValues(loads, oModulations, oAmplitudes, phases);
  if (FAILED(hr)) return hr;

  if (_Domain != DYNTimeDomain) {
    if (oAmplitudes.Size() != phases.Size()) return E_FAIL;
    if (oModulations.Size() != loads.Size()) return E_FAIL;
    if (oAmplitudes.Size() != oModulations.Size()) return E_FAIL;
    for (int k = 1; k <= phases.Size(); ++k) _Phases.Append(phases[k]);
  } else {
    if (oModulations.Size() != loads.Size()) return E_FAIL;
    if (oAmplitudes.Size() != oModulations.Size()) return E_FAIL;
  }

  hr = _BaseTools->ComputeLoadVectors(loads, oVectors);
  if (FAILED(hr) || !oVectors) return E_FAIL;
  return S_OK;
}

long VOKDYNExcitationTools::GetRestraintExcitValues(VOKIDYNExcitation* iExcitation,
                                                    double**& oVectors,
                                                    VOKListValVOKISpecObject_var& oModulations,
                                                    VOKRawCollfloat& oAmplitudes) {
  if (!iExcitation) return E_FAIL;
  AcquireOnce(iExcitation, _RestraintExcitation);
  if (!_RestraintExcitation) return E_FAIL;

  VOKDYN::RestraintValues values;
  if (FAILED(values.Read(_RestraintExcitation))) return E_FAIL;
  const VOKListValVOKISpecObject_var& modulations = values.modulations;
  const VOKRawCollfloat& amplitudes = values.amplitudes;
  const VOKRawCollfloat& phases = values.phases;
  VOKRawCollint& directions = values.directions;
  bool rotation = false;

  if (_Domain != DYNTimeDomain) {
    if (amplitudes.Size() != phases.Size()) return E_FAIL;
    if (modulations.Size() != directions.Size()) return E_FAIL;
    if (amplitudes.Size() != modulations.Size()) return E_FAIL;
  } else {
    if (modulations.Size() != directions.Size()) return E_FAIL;
    if (amplitudes.Size() != modulations.Size()) return E_FAIL;
  }
  // There are six rigid-body directions and six entries: a direction
  // outside 1..6 is malformed data, refused before anything is appended.
  for (int k = 1; k <= directions.Size(); ++k)
    if (directions[k] < 1 || directions[k] > 6) return E_FAIL;

  // One entry per rigid-body direction, excited or not.
  const int firstPhase = _Phases.Size();
  for (int d = 1; d <= 6; ++d) {
    if (_Domain != DYNTimeDomain) _Phases.Append(0.0f);
    oModulations.Append(VOKISpecObject_var());
    oAmplitudes.Append(0.0f);
  }
  for (int k = 1; k <= directions.Size(); ++k) {
    const int d = directions[k];
    oModulations[d] = modulations[k];
    oAmplitudes[d] = amplitudes[k];
    if (_Domain != DYNTimeDomain) _Phases[firstPhase + d] = phases[k];
    if (d >= 4) rotation = true;
  }

  if (!_BaseTools) return E_UNEXPECTED;

  if (rotation) {
    long hr = _BaseTools->CheckRotationAxis(directions, values.axisFlag, values.axis);
    if (FAILED(hr)) return hr;
  }

  if (values.axisFlag == 0) {
    _AxisDefined = 0;
    // Its result is not looked at: a missing table is refused when the
    // second members are built.
    (void)_BaseTools->ComputeRigidVectors(oVectors);
    return S_OK;
  }
  _AxisDefined = 1;
  long hr = _BaseTools->ComputeRigidVectorsOnAxis(values.axis, oVectors);
  if (FAILED(hr) || !oVectors) return E_FAIL;
  return S_OK;
}

// ------------------------------------------------------ second members

long VOKDYNExcitationTools::SecondMemberElaboration(double** iVectors,
                                                    VOKListValVOKISpecObject_var& iModulations,
                                                    VOKRawCollfloat& iAmplitudes) {
  if (!_BaseTools || !iVectors) return E_FAIL;
  int n = 0;
  long hr = _BaseTools->GetNbDof(n);
  if (FAILED(hr) || n <= 0) return E_FAIL;

  const int held = _NbSecondMembers;
  if (held > 0 && !_SecondMembers) return E_FAIL;

  const int added = iAmplitudes.Size();
  // One modulation per amplitude, or the list would be read past its end.
  if (iModulations.Size() < added) return E_FAIL;
  double** table = new (std::nothrow) double*[static_cast<std::size_t>(held + added)];
  if (!table) return E_FAIL;

  // The held vectors move to the new table; they are neither copied nor rescaled.
  for (int i = 0; i < held; ++i) {
    // Never true while the object keeps its invariant (a build fills its
    // table whole, a failed build drops it): a guard, not a path.
    if (!_SecondMembers[i]) {  // LCOV_EXCL_START
      delete[] table;
      return E_FAIL;
    }  // LCOV_EXCL_STOP
    table[i] = _SecondMembers[i];
  }
  for (int k = 0; k < added; ++k) {
    table[held + k] = new (std::nothrow) double[static_cast<std::size_t>(n)];
    if (!table[held + k]) {
      // The held vectors stay the object's; only the new ones and the table go.
      for (int j = 0; j < k; ++j) delete[] table[held + j];
      delete[] table;
      return E_FAIL;
    }
  }

  delete[] _SecondMembers;
  _SecondMembers = nullptr;

  // Product in double precision; only the amplitude carries single precision.
  for (int k = 0; k < added; ++k) {
    const double amplitude = static_cast<double>(iAmplitudes[k + 1]);
    const double* in = iVectors[k];
    double* out = table[held + k];
    for (int j = 0; j < n; ++j) out[j] = amplitude * in[j];
  }

  for (int k = 1; k <= added; ++k) {
    if (!iModulations[k]) {
      try {
        _Modulations.Append(static_cast<VOKIDYNModulation*>(nullptr));
      } catch (const std::bad_alloc&) {
        FreeVectors(table, held + added);
        return E_FAIL;
      }
      continue;
    }
    void* itf = nullptr;
    if (FAILED(iModulations[k]->QueryInterface(IID_VOKIDYNModulation, &itf)) || !itf) {
      // Everything built so far goes, the moved vectors included: the object
      // is left without a table and refuses to evaluate until initialised anew.
      FreeVectors(table, held + added);
      return E_FAIL;
    }
    // The list takes over the query's reference; should it fail to grow,
    // the reference is released and the table freed as above.
    try {
      _Modulations.Append(static_cast<VOKIDYNModulation*>(itf));
    } catch (const std::bad_alloc&) {
      static_cast<VOKIDYNModulation*>(itf)->Release();
      FreeVectors(table, held + added);
      return E_FAIL;
    }
  }

  _NbSecondMembers = held + added;
  _SecondMembers = table;
  return S_OK;
}

// ------------------------------------------------------------ evaluation

namespace {

// The weights of the second members at iF abscissae, row f for abscissa f:
// oCos[f*S+i] = cos(phi_i) a_i(x_f), oSin[f*S+i] = sin(phi_i) a_i(x_f)
// (single-precision cosine and sine widened, then times a), or oCos = a and
// no sines without phases. The modulations are evaluated abscissa by
// abscissa and, for each, in second-member order: the calls that iF single
// evaluations make, in their order. The cosine and sine of a phase do not
// depend on the abscissa: they are taken once per member, in ioPhaseCos and
// ioPhaseSin (S values each, unused without phases).
void Weights(VOKListPtrVOKIDYNModulation& iModulations, const VOKRawCollfloat& iPhases,
             bool iWithPhase, int iS, int iF, const double* iAbscissae, double* oCos,
             double* oSin, double* ioPhaseCos, double* ioPhaseSin) {
  if (iWithPhase)
    for (int i = 1; i <= iS; ++i) {
      const float phase = iPhases[i];
      ioPhaseCos[i - 1] = static_cast<double>(cosf(phase));
      ioPhaseSin[i - 1] = static_cast<double>(sinf(phase));
    }
  for (int f = 0; f < iF; ++f) {
    double* c = oCos + static_cast<std::size_t>(f) * iS;
    double* s = iWithPhase ? oSin + static_cast<std::size_t>(f) * iS : nullptr;
    for (int i = 1; i <= iS; ++i) {
      VOKIDYNModulation* modulation = iModulations[i];
      const double a = modulation ? modulation->Evaluate(iAbscissae[f]) : 0.0;
      if (!iWithPhase) {
        c[i - 1] = a;
      } else {
        c[i - 1] = ioPhaseCos[i - 1] * a;
        s[i - 1] = ioPhaseSin[i - 1] * a;
      }
    }
  }
}

}  // namespace

bool VOKDYNExcitationTools::ReadyToEvaluate(int& oN, long& oResult) const {
  oResult = E_FAIL;
  if (!_Initialized || !_SecondMembers || !_BaseTools) return false;
  int n = 0;
  oResult = _BaseTools->GetNbDof(n);
  // A failure passes its code on, and so does a success without degrees of
  // freedom: there is nothing to evaluate.
  if (FAILED(oResult) || n == 0) return false;
  if (n < 0) {
    oResult = E_FAIL;
    return false;
  }
  oN = n;
  return true;
}

long VOKDYNExcitationTools::Evaluate(int iNbAbscissae, const double* iAbscissae, int iN,
                                     VOKMathComplex*& ioValues) {
  assert(_Modulations.Size() >= _NbSecondMembers);
  assert(!_WithPhase || _Phases.Size() >= _NbSecondMembers);

  const int members = _NbSecondMembers;
  const std::size_t row = static_cast<std::size_t>(members) * static_cast<std::size_t>(iNbAbscissae);
  // Rows of cosines and sines, then the cosine and sine of each phase.
  const std::size_t rows = _WithPhase ? 2 : 1;
  const std::size_t phaseRows = _WithPhase ? 2 : 0;
  std::unique_ptr<double[]> weights(
      new (std::nothrow) double[rows * row + phaseRows * static_cast<std::size_t>(members) + 1]);
  if (!weights) return E_FAIL;
  double* cosines = weights.get();
  double* sines = _WithPhase ? cosines + row : nullptr;
  double* phases = _WithPhase ? cosines + 2 * row : nullptr;
  Weights(_Modulations, _Phases, _WithPhase, members, iNbAbscissae, iAbscissae, cosines, sines,
          phases, _WithPhase ? phases + members : nullptr);

  if (!ioValues) {
    ioValues = new (std::nothrow) VOKMathComplex[static_cast<std::size_t>(iNbAbscissae) * iN];
    if (!ioValues) return E_FAIL;
  }
  // Every value is written: the sums start from 0.0, so nothing of an
  // earlier call survives. The terms are summed in second-member order, each
  // formed as a product and then added, so that results are reproducible to
  // the last bit whatever the processor's vector width.
  VOKDYNExcitationKernels::Selected().evaluate(_SecondMembers, members, iNbAbscissae, cosines,
                                                sines, iN, ioValues);
  return S_OK;
}

long VOKDYNExcitationTools::GetExcitValues(double iAbscissa, VOKMathComplex*& ioValues) {
  return VOKDYN::AllocationBoundary(E_FAIL, [&]() -> long {
    int n = 0;
    long hr = E_FAIL;
    if (!ReadyToEvaluate(n, hr)) return hr;
    return Evaluate(1, &iAbscissa, n, ioValues);
  });
}

long VOKDYNExcitationTools::GetExcitValues(int iNbAbscissae, const double* iAbscissae,
                                           VOKMathComplex* oValues) {
  if (iNbAbscissae < 1 || !iAbscissae || !oValues) return E_FAIL;
  return VOKDYN::AllocationBoundary(E_FAIL, [&]() -> long {
    int n = 0;
    long hr = E_FAIL;
    if (!ReadyToEvaluate(n, hr)) return hr;
    return Evaluate(iNbAbscissae, iAbscissae, n, oValues);
  });
}
