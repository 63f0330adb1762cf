// Rigid-body and enforced-displacement contributions of VOKDYNExcitationTools:
// what support motion and the load sets that enforce displacements add to a
// computed response, at one frequency, at many frequencies or at time steps.
//
// Every operation here is const and only adds into the caller's arrays. What
// it obtains from the host (restraint data, the rigid-mode provider and its
// mode arrays, modulation and generalized-displacement interfaces, step
// values, linked-set lists, record buffers) is held by a handle or a
// unique_ptr, so every return path releases it.
//
// Evaluation orders are part of the results: each sum is accumulated in the
// order written below, with no fused multiply-add, so that results are
// reproducible to the last bit.
#include <cmath>
#include <memory>
#include <new>
#include <vector>

#include "VOKAnalysisExplicit.h"
#include "VOKDYNAllocationBoundary.h"
#include "VOKDYNExcitationKernels.h"
#include "VOKDYNExcitationTools.h"
#include "VOKDYNRestraintValues.h"
#include "VOKErrors.h"

namespace {

const char kSourceFile[] = "VOKAnalysisDynamicResponse\\VOKDYNTools.m\\src\\VOKDYNExcitationTools";

// 2 pi as the angular frequency is formed from a frequency in hertz.
const double kTwoPi = 6.283185307179586;

typedef std::unique_ptr<double[]> DoubleArray;

// The displacement of a harmonic motion of unit acceleration at omega:
// -1/omega^2, and 0 for a motion at rest (omega = 0). A NaN omega gives NaN.
double UnitAccelerationDisplacement(double iOmega) {
  if (iOmega == 0.0) return 0.0;
  return -1.0 / (iOmega * iOmega);
}

// The complex coefficient of an entry at one frequency: the modulation's
// factor times k, times the amplitude, turned by the phase. The phase is a
// float and its cosine and sine are taken in single precision, then widened.
using VOKDYNExcitationKernels::Coefficient;
Coefficient ComplexCoefficient(VOKIDYNModulation* iModulation, double iFrequency, double iK,
                               float iAmplitude, float iPhase) {
  const double g = iModulation->Evaluate(iFrequency) * iK;
  const double a = static_cast<double>(iAmplitude);
  const double cosPhase = static_cast<double>(cosf(iPhase));
  const double sinPhase = static_cast<double>(sinf(iPhase));
  Coefficient c;
  c.re = (a * g) * cosPhase;
  c.im = (a * g) * sinPhase;
  return c;
}

// A zero-filled work array of n doubles, or null when it cannot be had.
DoubleArray NewZeroed(int iN) {
  return DoubleArray(new (std::nothrow) double[static_cast<std::size_t>(iN > 0 ? iN : 0)]());
}

using VOKDYNExcitationKernels::kAccumulationTile;
using VOKDYNExcitationKernels::AccumulateComplex;

// The tile-sized work array of an accumulation, or null when it cannot be had.
DoubleArray NewTile(int iN) {
  const int size = iN < kAccumulationTile ? iN : kAccumulationTile;
  return DoubleArray(new (std::nothrow) double[static_cast<std::size_t>(size > 0 ? size : 0)]);
}

// The running sums of a complex accumulation: for each entry that answers,
// in entry order, the source it weights and its coefficient.
struct ComplexTerms {
  explicit ComplexTerms(int iCapacity) {
    sources.reserve(static_cast<std::size_t>(iCapacity));
    coefficients.reserve(static_cast<std::size_t>(iCapacity));
  }
  // Adds the term of one entry at iFrequency (iK formed from it): its
  // modulation is queried, evaluated once and released. False, and nothing
  // added, when the handle is null or does not answer as a modulation.
  bool Add(const VOKISpecObject_var& iModulation, double iFrequency, double iK, float iAmplitude,
           float iPhase, const double* iSource) {
    VOKIDYNModulation_var modulation(iModulation.Get());
    if (!modulation) return false;
    sources.push_back(iSource);
    coefficients.push_back(ComplexCoefficient(modulation, iFrequency, iK, iAmplitude, iPhase));
    return true;
  }
  // ioValues[p] += the sum of the terms at p, p = 0..iN-1, through the work
  // tiles iImag and iReal.
  void AddInto(int iN, double* iImag, double* iReal, VOKMathComplex* ioValues) const {
    AccumulateComplex(sources.data(), coefficients.data(), static_cast<int>(sources.size()), iN,
                      iImag, iReal, ioValues);
  }
  std::vector<const double*> sources;
  std::vector<Coefficient> coefficients;
};

// Adds one entry at every frequency of iFrequencies: for t = 1..T, the
// coefficient at f_t (k from f_t, 0 at rest), then for r = 1..K
// ioReal[r-1][t-1] += re * value and ioImaginary[r-1][t-1] += im * value,
// value = iSource[iPositions[r]]. The modulation is evaluated once per
// frequency.
void AddAtFrequencies(VOKIDYNModulation* iModulation, float iAmplitude, float iPhase,
                      const VOKRawCollfloat& iFrequencies, const double* iSource,
                      const VOKRawCollint& iPositions, double** ioReal, double** ioImaginary) {
  const int steps = iFrequencies.Size();
  const int rows = iPositions.Size();
  for (int t = 1; t <= steps; ++t) {
    const double f = static_cast<double>(iFrequencies[t]);
    const double k = UnitAccelerationDisplacement(f * kTwoPi);
    const Coefficient c = ComplexCoefficient(iModulation, f, k, iAmplitude, iPhase);
    for (int r = 1; r <= rows; ++r) {
      const double value = iSource[iPositions[r]];
      ioReal[r - 1][t - 1] += c.re * value;
      ioImaginary[r - 1][t - 1] += c.im * value;
    }
  }
}

// The time steps t = 0..iSteps-1 of the generalized displacement iObject:
// for each, GetStepValues gives iCount values, handed with the step's result
// to iAdd, whose own result (a failure ends the call) becomes the call's.
// A generalized displacement that does not answer, or a step that fails,
// gives no values or another count, ends the call with E_FAIL; the steps
// before it stay added. With no step the result is iResult.
template <class AddStep>
long ForEachStep(VOKISpecObject* iObject, int iSteps, int iCount, long iResult, AddStep iAdd) {
  VOKIDYNGeneralizedDisplacement_var generalized(iObject);
  if (!generalized) return E_FAIL;
  long result = iResult;
  for (int t = 0; t < iSteps; ++t) {
    int count = 0;
    double* rawValues = nullptr;
    const long hr = generalized->GetStepValues(t, count, rawValues);
    DoubleArray values(rawValues);
    if (FAILED(hr) || !values || count != iCount) return E_FAIL;
    result = iAdd(t, values.get(), hr);
    if (FAILED(result)) return result;
  }
  return result;
}

// Restraint data of one call, read afresh from the restraint excitation.
typedef VOKDYN::RestraintValues RestraintData;

// The rigid-mode provider, kept as a component handle; the raw reference that
// GetRigidModeProvider gave is released at once. A provider that does not
// answer the component query is treated as no provider.
struct ProviderHold {
  VOKBaseUnknown_var handle;
  VOKIDYNRigidModeProvider* provider = nullptr;
};
long GetProvider(VOKIDYNBaseTools* iBaseTools, ProviderHold& oHold) {
  VOKIDYNRigidModeProvider* raw = nullptr;
  const long hr = iBaseTools->GetRigidModeProvider(raw);
  if (FAILED(hr) || !raw) {
    if (raw) raw->Release();
    return E_FAIL;
  }
  oHold.handle = static_cast<VOKBaseUnknown*>(raw);
  raw->Release();
  if (!oHold.handle) return E_FAIL;
  oHold.provider = raw;
  return S_OK;
}

// What a rigid-body contribution works with, held for the whole call: the
// restraint data, the provider and the mode array it computed (6 x n values
// over the whole model, or the 6 x 6 block of one node).
struct RigidModes {
  RestraintData data;
  ProviderHold provider;
  int n = 0;
  DoubleArray modes;
};

// Reads the restraint data and has the provider compute the rigid-body modes
// of its axis system: over the whole model, or for the node *iNode when
// iNode is given; the node block asks for the provider before the restraint
// data, the whole-model modes after. Gives the negative result of
// GetRestraintValues, E_FAIL without a provider, else the result of the
// computing call; oModes.modes is null when that call gave no array.
long ComputeModes(VOKIDYNRestraintExcitation* iRestraint, VOKIDYNBaseTools* iBaseTools,
                  const int* iNode, RigidModes& oModes) {
  if (iNode && FAILED(GetProvider(iBaseTools, oModes.provider))) return E_FAIL;
  RestraintData& data = oModes.data;
  long hr = data.Read(iRestraint);
  if (FAILED(hr)) return hr;
  if (!iNode && FAILED(GetProvider(iBaseTools, oModes.provider))) return E_FAIL;

  double* rawModes = nullptr;
  VOKIDYNRigidModeProvider* provider = oModes.provider.provider;
  hr = iNode ? provider->ComputeNodeRigidModes(*iNode, data.axis, oModes.n, rawModes)
             : provider->ComputeRigidModes(data.axis, oModes.n, rawModes);
  oModes.modes.reset(rawModes);
  return hr;
}

// True when every direction of entries 1..iCount is a rigid-body direction
// 1..6 (a mode array only has those six blocks).
bool DirectionsValid(const VOKRawCollint& iDirections, int iCount) {
  if (iDirections.Size() < iCount) return false;
  for (int i = 1; i <= iCount; ++i)
    if (iDirections[i] < 1 || iDirections[i] > 6) return false;
  return true;
}

// True when each of the handles 1..iCount is non-null.
bool HandlesPresent(const VOKListValVOKISpecObject_var& iHandles, int iCount) {
  for (int i = 1; i <= iCount; ++i)
    if (!iHandles[i]) return false;
  return true;
}

// True when each of the first iCount directions can give a complex
// coefficient: a modulation handle, a rigid-body direction, an amplitude and
// a phase.
bool DirectionsComplete(const RestraintData& iData, int iCount) {
  return HandlesPresent(iData.modulations, iCount) && DirectionsValid(iData.directions, iCount) &&
         iData.amplitudes.Size() >= iCount && iData.phases.Size() >= iCount;
}

// True when every position of iPositions lies in 0..iLimit-1.
bool PositionsValid(const VOKRawCollint& iPositions, int iLimit) {
  for (int r = 1; r <= iPositions.Size(); ++r)
    if (iPositions[r] < 0 || iPositions[r] >= iLimit) return false;
  return true;
}

// True when the table and its first iRows rows exist.
bool RowsPresent(double** iTable, int iRows) {
  if (!iTable) return false;
  for (int r = 0; r < iRows; ++r)
    if (!iTable[r]) return false;
  return true;
}

// The phase of kept load set j; a load excitation that delivers no phases is
// evaluated in phase (0).
float PhaseOf(const VOKRawCollfloat& iPhases, int iJ) {
  return iPhases.Size() >= iJ ? iPhases[iJ] : 0.0f;
}

// The "DEPL" record of a static set must hold exactly iExpected values: the
// buffers it is read into hold that many, and a shorter record would leave
// stale values in them.
long CheckRecordLength(VOKBaseUnknown* iStaticSet, int iExpected) {
  int size = 0;
  const long hr = VOKTarvoAccessDataServices::ReadDescSizes(iStaticSet, "DEPL", &size);
  if (FAILED(hr)) return hr;
  return size == iExpected ? S_OK : E_FAIL;
}

// Reads the "DEPL" record of iStaticSet into the iLength doubles that
// iBuffer() gives (null: E_FAIL), once the record is known to hold that many:
// with iCheckLength it is measured first, before the buffer is asked for.
// Gives the first failure, else the result of ReadDescData.
template <class Buffer>
long ReadStaticDisplacement(VOKBaseUnknown* iStaticSet, int iLength, bool iCheckLength,
                            Buffer iBuffer) {
  if (iCheckLength) {
    const long hr = CheckRecordLength(iStaticSet, iLength);
    if (FAILED(hr)) return hr;
  }
  double* buffer = iBuffer();
  if (!buffer) return E_FAIL;
  return VOKTarvoAccessDataServices::ReadDescData(iStaticSet, "DEPL", buffer);
}

// Load data of one call: the four parallel lists of the load excitation,
// narrowed to the load sets that enforce displacements, and their static sets.
struct LoadData {
  VOKListValVOKISpecObject_var loads;
  VOKListValVOKISpecObject_var modulations;
  VOKRawCollfloat amplitudes;
  VOKRawCollfloat phases;
  VOKListValVOKISpecObject_var staticSets;
};

// GetLoadValues, then the filter: the kept load sets and their static sets.
// The filter's success is S_OK, also when it keeps nothing.
long ReadKeptLoadSets(VOKIDYNLoadExcitation* iLoadExcitation, const VOKDYNExcitationTools& iTools,
                      LoadData& oData) {
  long hr = iLoadExcitation->GetLoadValues(oData.loads, oData.modulations, oData.amplitudes,
                                           oData.phases);
  if (FAILED(hr)) return hr;
  return iTools.FilterForEnforcedDisp(oData.loads, oData.modulations, oData.amplitudes,
                                      oData.phases, oData.staticSets);
}

// The length of the first static set's "DEPL" record, which every record must
// share and the positions iDofs must fall within. Gives the size query's
// failure, E_FAIL for a position outside the record, else the query's result.
long DisplacementLength(const LoadData& iData, const VOKRawCollint& iDofs, int& oLength) {
  oLength = 0;
  const long hr = VOKTarvoAccessDataServices::ReadDescSizes(iData.staticSets[1].Get(), "DEPL",
                                                            &oLength);
  if (FAILED(hr)) return hr;
  return PositionsValid(iDofs, oLength) ? hr : E_FAIL;
}

}  // namespace

// ================================================================ rigid body

namespace {

// The rigid modes of every degree of freedom of the model, whose count must
// be the caller's iN: the provider's failure as it is, E_FAIL for another
// count, else the provider's result.
long ModesOfCount(VOKIDYNRestraintExcitation* iRestraint, VOKIDYNBaseTools* iBaseTools, int iN,
                  RigidModes& oRigid) {
  const long hr = ComputeModes(iRestraint, iBaseTools, nullptr, oRigid);
  if (FAILED(hr) || !oRigid.modes) return hr;
  return oRigid.n == iN ? hr : E_FAIL;
}

}  // namespace


long VOKDYNExcitationTools::AddRigidExcit(double, int iN, double* ioValues,
                                          double* iCoefficients) const {
  return VOKDYN::AllocationBoundary(E_FAIL, [&]() -> long {
    if (iN < 1 || !_BaseTools || !ioValues || !iCoefficients || !_RestraintExcitation) return E_FAIL;

    RigidModes rigid;
    const long hrModes = ModesOfCount(_RestraintExcitation, _BaseTools, iN, rigid);
    if (FAILED(hrModes) || !rigid.modes) return hrModes;
    const int n = rigid.n;

    const RestraintData& data = rigid.data;
    const int count = data.directions.Size();
    if (!DirectionsValid(data.directions, count)) return E_FAIL;

    for (int i = 1; i <= count; ++i) {
      const double* mode = rigid.modes.get() + static_cast<std::size_t>(data.directions[i] - 1) * n;
      const double c = iCoefficients[i - 1];
      for (int p = 0; p < n; ++p) ioValues[p] += c * mode[p];
    }
    return hrModes;
  });
}

long VOKDYNExcitationTools::AddRigidExcit(double iFrequency, int iN,
                                          VOKMathComplex*& ioValues) const {
  return VOKDYN::AllocationBoundary(E_FAIL, [&]() -> long {
    if (iN < 1 || !_BaseTools || !ioValues || !_RestraintExcitation) return E_FAIL;

    RigidModes rigid;
    const long hrModes = ModesOfCount(_RestraintExcitation, _BaseTools, iN, rigid);
    if (FAILED(hrModes) || !rigid.modes) return hrModes;
    const int n = rigid.n;

    const RestraintData& data = rigid.data;
    const int m = data.modulations.Size();
    if (!DirectionsComplete(data, m)) return E_FAIL;

    DoubleArray imag = NewTile(n);
    if (!imag) {
      VOKFatalError("AssertionFailed:pDeplImag", nullptr, nullptr, nullptr, kSourceFile, __LINE__);
      return E_FAIL;
    }
    DoubleArray real = NewTile(n);
    if (!real) {
      VOKFatalError("AssertionFailed:pDeplReal", nullptr, nullptr, nullptr, kSourceFile, __LINE__);
      return E_FAIL;
    }

    // The coefficients first, modulation by modulation in direction order; a
    // direction whose modulation does not answer adds nothing and fails the
    // call. Then a single pass sums every answering direction.
    const double k = UnitAccelerationDisplacement(iFrequency * kTwoPi);
    long result = hrModes;
    ComplexTerms terms(m);
    for (int i = 1; i <= m; ++i) {
      const double* mode = rigid.modes.get() + static_cast<std::size_t>(data.directions[i] - 1) * n;
      if (!terms.Add(data.modulations[i], iFrequency, k, data.amplitudes[i], data.phases[i], mode))
        result = E_FAIL;
    }
    terms.AddInto(n, imag.get(), real.get(), ioValues);
    return result;
  });
}

long VOKDYNExcitationTools::AddRigidExcit(int iNode, VOKRawCollint& iComponents,
                                          VOKRawCollfloat& iFrequencies, double**& ioReal,
                                          double**& ioImaginary) const {
  return VOKDYN::AllocationBoundary(E_FAIL, [&]() -> long {
    if (!_BaseTools || !_RestraintExcitation || !ioReal || !ioImaginary) return E_FAIL;
    const int rows = iComponents.Size();
    if (!RowsPresent(ioReal, rows) || !RowsPresent(ioImaginary, rows)) return E_FAIL;

    RigidModes rigid;
    const long hrBlock = ComputeModes(_RestraintExcitation, _BaseTools, &iNode, rigid);
    if (FAILED(hrBlock) || !rigid.modes) return hrBlock;

    const RestraintData& data = rigid.data;
    const int m = data.modulations.Size();
    // The node block holds 6 x 6 values: directions 1..6, components 0..5.
    if (!DirectionsComplete(data, m) || !PositionsValid(iComponents, 6)) return E_FAIL;

    long result = hrBlock;
    for (int i = 1; i <= m; ++i) {
      VOKIDYNModulation_var modulation(data.modulations[i].Get());
      if (!modulation) {
        result = E_FAIL;
        continue;
      }
      const double* nodeModes = rigid.modes.get() + (data.directions[i] - 1) * 6;
      AddAtFrequencies(modulation, data.amplitudes[i], data.phases[i], iFrequencies, nodeModes,
                       iComponents, ioReal, ioImaginary);
    }
    return result;
  });
}

long VOKDYNExcitationTools::AddRigidExcit(int, VOKRawCollint& iDofs, VOKRawCollfloat& iSteps,
                                          VOKISpecObject*& iGeneralizedDisplacement,
                                          double**& ioValues) const {
  return VOKDYN::AllocationBoundary(E_FAIL, [&]() -> long {
    if (!_BaseTools || !_RestraintExcitation || !iGeneralizedDisplacement || !ioValues) return E_FAIL;
    const int rows = iDofs.Size();
    if (!RowsPresent(ioValues, rows)) return E_FAIL;

    RigidModes rigid;
    const long hrModes = ComputeModes(_RestraintExcitation, _BaseTools, nullptr, rigid);
    if (FAILED(hrModes) || !rigid.modes) return hrModes;
    const int n = rigid.n;

    const RestraintData& data = rigid.data;
    const int m = data.modulations.Size();
    if (!DirectionsValid(data.directions, m) || !PositionsValid(iDofs, n)) return E_FAIL;

    const double* modes = rigid.modes.get();
    return ForEachStep(iGeneralizedDisplacement, iSteps.Size(), m, hrModes,
                       [&](int t, const double* iValues, long iStepResult) {
                         for (int j = 1; j <= m; ++j) {
                           const double* mode =
                               modes + static_cast<std::size_t>(data.directions[j] - 1) * n;
                           const double v = iValues[j - 1];
                           for (int r = 1; r <= rows; ++r) ioValues[r - 1][t] += mode[iDofs[r]] * v;
                         }
                         return iStepResult;
                       });
  });
}

// ===================================================== enforced displacement

long VOKDYNExcitationTools::FilterForEnforcedDisp(VOKListValVOKISpecObject_var& ioLoads,
                                                  VOKListValVOKISpecObject_var& ioModulations,
                                                  VOKRawCollfloat& ioAmplitudes,
                                                  VOKRawCollfloat& ioPhases,
                                                  VOKListValVOKISpecObject_var& oStaticSets) const {
  return VOKDYN::AllocationBoundary(E_FAIL, [&]() -> long {
    VOKListValVOKISpecObject_var keptLoads;
    VOKListValVOKISpecObject_var keptModulations;
    VOKRawCollfloat keptAmplitudes;
    VOKRawCollfloat keptPhases;
    const bool hadPhases = ioPhases.Size() > 0;
    const int n = ioLoads.Size();

    // The lists are parallel: each load set needs its modulation, amplitude
    // and, when phases are given at all, its phase.
    if (ioModulations.Size() < n || ioAmplitudes.Size() < n || (hadPhases && ioPhases.Size() < n))
      return E_FAIL;

    for (int i = 1; i <= n; ++i) {
      VOKISamAnalysisScan_var scan(ioLoads[i].Get());
      if (!scan) return E_UNEXPECTED;
      VOKListValVOKBaseUnknown_var computed;
      long hr = scan->ScanByType("ComputedLoad", computed, 2);
      if (FAILED(hr)) return hr;
      if (computed.Size() < 1) return E_UNEXPECTED;
      VOKISpecObject_var computedLoad(computed[1].Get());
      if (!computedLoad) return E_NOINTERFACE;

      int size = 0;
      hr = VOKTarvoAccessDataServices::ReadDescSizes(computedLoad.Get(), "SMSPC", &size);
      if (FAILED(hr)) return hr;
      if (size == 0) continue;

      keptLoads.Append(ioLoads[i]);
      keptModulations.Append(ioModulations[i]);
      keptAmplitudes.Append(ioAmplitudes[i]);
      if (hadPhases) keptPhases.Append(ioPhases[i]);

      VOKISamAnalysisSet_var analysisSet(ioLoads[i].Get());
      if (!analysisSet) return E_NOINTERFACE;
      VOKListValVOKBaseUnknown_var* rawLinked = nullptr;
      hr = analysisSet->GetLinkedSets(rawLinked);
      std::unique_ptr<VOKListValVOKBaseUnknown_var> linked(rawLinked);
      if (FAILED(hr)) return hr;
      if (!linked) return E_FAIL;

      bool found = false;
      VOKISpecObject_var staticSet;
      for (int j = 1; j <= linked->Size() && !found; ++j) {
        VOKISamAnalysisScan_var linkedScan((*linked)[j].Get());
        if (!linkedScan) return E_FAIL;
        VOKListValVOKBaseUnknown_var sets;
        if (FAILED(linkedScan->ScanByType("StaticSet", sets, 3))) return E_FAIL;
        if (sets.Size() >= 1) {
          // The first linked object that yields a static set wins. A static
          // set that is not a feature is kept as a null handle: reading its
          // records then fails.
          staticSet = sets[1].Get();
          found = true;
        }
      }
      linked.reset();
      if (!found) return E_FAIL;
      oStaticSets.Append(staticSet);
    }

    // The lists keep their storage, which holds the kept entries already:
    // the appends cannot fail, so the lists never end half replaced.
    ioLoads.RemoveAll(VOKCollec::KeepAllocation);
    ioModulations.RemoveAll(VOKCollec::KeepAllocation);
    ioAmplitudes.RemoveAll(VOKCollec::KeepAllocation);
    ioPhases.RemoveAll(VOKCollec::KeepAllocation);
    ioLoads.Append(keptLoads);
    ioModulations.Append(keptModulations);
    ioAmplitudes.Append(keptAmplitudes);
    if (hadPhases) ioPhases.Append(keptPhases);
    return S_OK;
  });
}


long VOKDYNExcitationTools::AddEnforcedDispExcit(double, int iN, double* ioValues,
                                                 double* iCoefficients) const {
  return VOKDYN::AllocationBoundary(E_FAIL, [&]() -> long {
    if (iN < 1 || !_BaseTools || !ioValues || !iCoefficients || !_LoadExcitation) return E_FAIL;

    LoadData data;
    long hr = ReadKeptLoadSets(_LoadExcitation, *this, data);
    const int s = data.staticSets.Size();
    if (FAILED(hr) || s == 0) return hr;

    DoubleArray buffer(new (std::nothrow) double[static_cast<std::size_t>(iN)]);
    if (!buffer) return E_FAIL;

    for (int j = 1; j <= s; ++j) {
      hr = ReadStaticDisplacement(data.staticSets[j].Get(), iN, true, [&] { return buffer.get(); });
      if (FAILED(hr)) return hr;
      const double c = iCoefficients[j - 1];
      for (int p = 0; p < iN; ++p) ioValues[p] += buffer[p] * c;
    }
    return hr;
  });
}

long VOKDYNExcitationTools::AddEnforcedDispExcit(double iFrequency, int iN,
                                                 VOKMathComplex*& ioValues) const {
  return VOKDYN::AllocationBoundary(E_FAIL, [&]() -> long {
    // A motion at rest imposes no displacement: nothing is asked of anyone.
    const double omega = iFrequency * kTwoPi;
    if (omega == 0.0) return S_OK;
    const double k = -1.0 / (omega * omega);

    if (iN < 1 || !ioValues || !_LoadExcitation) return E_FAIL;

    LoadData data;
    long hr = ReadKeptLoadSets(_LoadExcitation, *this, data);
    const int s = data.staticSets.Size();
    if (FAILED(hr) || s == 0) return hr;

    // One displacement buffer per kept load set, so that the records are read
    // (and the modulations asked) set by set in order as before, and the sums
    // then run in a single pass over all of them.
    const std::size_t count = static_cast<std::size_t>(s);
    const std::size_t length = static_cast<std::size_t>(iN);
    DoubleArray depl(length > static_cast<std::size_t>(-1) / sizeof(double) / count
                         ? nullptr
                         : new (std::nothrow) double[count * length]);
    if (!depl) {
      VOKFatalError("AssertionFailed:pDepl", nullptr, nullptr, nullptr, kSourceFile, __LINE__);
      return E_FAIL;
    }
    DoubleArray imag = NewTile(iN);
    if (!imag) {
      VOKFatalError("AssertionFailed:pDeplImag", nullptr, nullptr, nullptr, kSourceFile, __LINE__);
      return E_FAIL;
    }
    DoubleArray real = NewTile(iN);
    if (!real) {
      VOKFatalError("AssertionFailed:pDeplReal", nullptr, nullptr, nullptr, kSourceFile, __LINE__);
      return E_FAIL;
    }

    // A set without modulation contributes nothing and does not change the
    // result.
    ComplexTerms terms(s);
    for (int j = 1; j <= s; ++j) {
      double* pDepl = depl.get() + static_cast<std::size_t>(j - 1) * length;
      hr = ReadStaticDisplacement(data.staticSets[j].Get(), iN, true, [&] { return pDepl; });
      if (FAILED(hr)) return hr;
      terms.Add(data.modulations[j], iFrequency, k, data.amplitudes[j], PhaseOf(data.phases, j),
                pDepl);
    }
    terms.AddInto(iN, imag.get(), real.get(), ioValues);
    return S_OK;
  });
}

long VOKDYNExcitationTools::AddEnforcedDispExcit(int, VOKRawCollint& iDofs,
                                                 VOKRawCollfloat& iFrequencies, double**& ioReal,
                                                 double**& ioImaginary) const {
  return VOKDYN::AllocationBoundary(E_FAIL, [&]() -> long {
    if (!_LoadExcitation || !ioReal || !ioImaginary) return E_FAIL;
    const int rows = iDofs.Size();
    if (!RowsPresent(ioReal, rows) || !RowsPresent(ioImaginary, rows)) return E_FAIL;

    LoadData data;
    long hr = ReadKeptLoadSets(_LoadExcitation, *this, data);
    const int s = data.staticSets.Size();
    if (FAILED(hr) || s == 0) return hr;

    int nd = 0;
    hr = DisplacementLength(data, iDofs, nd);
    if (FAILED(hr)) return hr;

    DoubleArray depl = NewZeroed(nd);
    if (!depl) {
      VOKFatalError("AssertionFailed:pDepl", nullptr, nullptr, nullptr, kSourceFile, __LINE__);
      return E_FAIL;
    }

    // A set without modulation is skipped, its record not read. Every record
    // is read into the buffer sized from the first one.
    double* pDepl = depl.get();
    for (int j = 1; j <= s; ++j) {
      VOKIDYNModulation_var modulation(data.modulations[j].Get());
      if (!modulation) continue;
      hr = ReadStaticDisplacement(data.staticSets[j].Get(), nd, j > 1, [&] { return pDepl; });
      if (FAILED(hr)) return hr;
      AddAtFrequencies(modulation, data.amplitudes[j], PhaseOf(data.phases, j), iFrequencies, pDepl,
                       iDofs, ioReal, ioImaginary);
    }
    return S_OK;
  });
}

long VOKDYNExcitationTools::AddEnforcedDispExcit(int, VOKRawCollint& iDofs, VOKRawCollfloat& iSteps,
                                                 VOKISpecObject*& iGeneralizedDisplacement,
                                                 double**& ioValues) const {
  return VOKDYN::AllocationBoundary(E_FAIL, [&]() -> long {
    if (!_BaseTools || !_LoadExcitation || !ioValues || !iGeneralizedDisplacement) return E_FAIL;
    const int rows = iDofs.Size();
    if (!RowsPresent(ioValues, rows)) return E_FAIL;

    LoadData data;
    long hr = ReadKeptLoadSets(_LoadExcitation, *this, data);
    const int s = data.staticSets.Size();
    if (FAILED(hr) || s == 0) return hr;

    int nd = 0;
    hr = DisplacementLength(data, iDofs, nd);
    if (FAILED(hr)) return hr;

    // Each static displacement is read once, on first use, and kept for the
    // later steps.
    std::vector<DoubleArray> displacements(static_cast<std::size_t>(s));
    return ForEachStep(
        iGeneralizedDisplacement, iSteps.Size(), s, hr,
        [&](int t, const double* iValues, long iStepResult) {
          long result = iStepResult;
          for (int j = 1; j <= s; ++j) {
            DoubleArray& displacement = displacements[static_cast<std::size_t>(j - 1)];
            if (!displacement) {
              result = ReadStaticDisplacement(data.staticSets[j].Get(), nd, j > 1, [&] {
                displacement.reset(new (std::nothrow) double[static_cast<std::size_t>(nd)]());
                return displacement.get();
              });
              if (FAILED(result)) return result;
            }
            const double* d = displacement.get();
            const double v = iValues[j - 1];
            for (int r = 1; r <= rows; ++r) ioValues[r - 1][t] += d[iDofs[r]] * v;
          }
          return result;
        });
  });
}
