#ifndef responses_fakes_h
#define responses_fakes_h
// GoogleMock fakes of the dynamic-response components that the rigid-body and
// enforced-displacement operations call, with default actions that serve
// configured data. Each default action is a host operation (a fault point),
// and each fake is a stand-in component (its queries are fault points too),
// so a fault-injection sweep reaches every call the library makes.
//
// Ownership: every fake is born with one reference owned by its creator.
#include <gmock/gmock.h>

#include <cstring>
#include <functional>
#include <vector>

#include "VOKDYNExcitationTools.h"
#include "VOKDYNInterfaces.h"
#include "VOKHostFeature.h"
#include "VOKHostTesting.h"

namespace responses {

using ::testing::_;
using ::testing::NiceMock;

inline double* NewCopy(const std::vector<double>& iValues) {
  double* copy = new double[iValues.size()];
  for (std::size_t i = 0; i < iValues.size(); ++i) copy[i] = iValues[i];
  return copy;
}

// ------------------------------------------------------------- modulation

/// A modulation feature whose factor is a function of the abscissa.
class FakeModulation : public VOKHost::Feature, public VOKIDYNModulation {
 public:
  static NiceMock<FakeModulation>* Create(std::function<double(double)> iFactor) {
    auto* m = new NiceMock<FakeModulation>();
    m->_Factor = std::move(iFactor);
    return m;
  }
  FakeModulation() : Feature("modulation", VOKHost::FacetSpecObject) {
    ON_CALL(*this, Evaluate).WillByDefault([this](double f) { return _Factor(f); });
  }
  MOCK_METHOD(double, Evaluate, (double), (override));

 protected:
  void* Answer(const IID& iIID) override {
    if (iIID == IID_VOKIDYNModulation) return static_cast<VOKIDYNModulation*>(this);
    return Feature::Answer(iIID);
  }
  std::function<double(double)> _Factor;
};

/// A feature that is no modulation.
inline VOKHost::Feature* NewNotAModulation() {
  return VOKHost::Feature::Create("not a modulation", VOKHost::FacetSpecObject);
}

// -------------------------------------------------------- rigid-mode provider

class FakeProvider : public VOKHost::Component, public VOKIDYNRigidModeProvider {
 public:
  FakeProvider() {
    ON_CALL(*this, ComputeRigidModes).WillByDefault([this](const VOKMathAxis&, int& oN, double*& oModes) {
      VOKHost::FaultPoint fp("VOKIDYNRigidModeProvider::ComputeRigidModes");
      oN = 0;
      oModes = nullptr;
      if (fp.Fail()) return E_FAIL;
      oN = n;
      if (!modes.empty()) oModes = NewCopy(modes);
      return modesResult;
    });
    ON_CALL(*this, ComputeNodeRigidModes)
        .WillByDefault([this](int, const VOKMathAxis&, int& oSize, double*& oModes) {
          VOKHost::FaultPoint fp("VOKIDYNRigidModeProvider::ComputeNodeRigidModes");
          oSize = 0;
          oModes = nullptr;
          if (fp.Fail()) return E_FAIL;
          oSize = 36;
          if (!block.empty()) oModes = NewCopy(block);
          return modesResult;
        });
  }
  MOCK_METHOD(long, ComputeRigidModes, (const VOKMathAxis&, int&, double*&), (override));
  MOCK_METHOD(long, ComputeNodeRigidModes, (int, const VOKMathAxis&, int&, double*&), (override));

  int n = 0;
  std::vector<double> modes;  ///< 6*n values; empty: a null array is handed out
  std::vector<double> block;  ///< 36 values; empty: a null array is handed out
  long modesResult = S_OK;

 protected:
  void* Answer(const IID& iIID) override {
    if (iIID == IID_VOKIDYNRigidModeProvider) return static_cast<VOKIDYNRigidModeProvider*>(this);
    return Component::Answer(iIID);
  }
};

// ------------------------------------------------------------ base tools

class FakeBaseTools : public VOKHost::Component, public VOKIDYNBaseTools {
 public:
  /// iProvider (may be null) gains one reference held by the tools.
  explicit FakeBaseTools(VOKIDYNRigidModeProvider* iProvider) : _Provider(iProvider) {
    if (_Provider) _Provider->AddRef();
    ON_CALL(*this, GetRigidModeProvider).WillByDefault([this](VOKIDYNRigidModeProvider*& oProvider) {
      VOKHost::FaultPoint fp("VOKIDYNBaseTools::GetRigidModeProvider");
      oProvider = nullptr;
      if (fp.Fail()) return E_FAIL;
      if (providerResult < 0) return providerResult;
      oProvider = nullProvider ? nullptr : _Provider;
      if (oProvider) oProvider->AddRef();
      return S_OK;
    });
  }
  ~FakeBaseTools() override {
    if (_Provider) _Provider->Release();
  }
  MOCK_METHOD(long, GetRigidModeProvider, (VOKIDYNRigidModeProvider*&), (override));
  long GetNbDof(int&) override { return E_NOTIMPL; }
  long IsDampingDiagonal(int&) override { return E_NOTIMPL; }
  long GetModalStiffnesses(double*&) override { return E_NOTIMPL; }
  long GetModalMasses(double*&) override { return E_NOTIMPL; }
  long ComputeLoadVectors(VOKListValVOKISpecObject_var&, double**&) override { return E_NOTIMPL; }
  long ComputeRigidVectorsOnAxis(const VOKMathAxis&, double**&) override { return E_NOTIMPL; }
  long ComputeRigidVectors(double**&) override { return E_NOTIMPL; }
  long CheckRotationAxis(VOKRawCollint&, int&, VOKMathAxis&) override { return E_NOTIMPL; }

  long providerResult = S_OK;
  bool nullProvider = false;  ///< succeed without handing out a provider

 protected:
  void* Answer(const IID& iIID) override {
    if (iIID == IID_VOKIDYNBaseTools) return static_cast<VOKIDYNBaseTools*>(this);
    return Component::Answer(iIID);
  }

 private:
  VOKIDYNRigidModeProvider* _Provider;
};

// ----------------------------------------------------------- excitations

/// A restraint excitation handing out configured directions.
class FakeRestraint : public VOKHost::Component,
                      public VOKIDYNExcitation,
                      public VOKIDYNRestraintExcitation {
 public:
  FakeRestraint() {
    ON_CALL(*this, GetRestraintValues)
        .WillByDefault([this](VOKListValVOKISpecObject_var& ioModulations, VOKRawCollfloat& ioAmplitudes,
                              VOKRawCollfloat& ioPhases, VOKRawCollint& ioDirections, int& oAxisFlag,
                              VOKMathAxis& oAxis) {
          VOKHost::FaultPoint fp("VOKIDYNRestraintExcitation::GetRestraintValues");
          if (fp.Fail()) return E_FAIL;
          if (valuesResult < 0) return valuesResult;
          for (const Entry& e : entries) {
            ioModulations.Append(VOKISpecObject_var(e.modulation.Get()));
            ioAmplitudes.Append(e.amplitude);
            ioPhases.Append(e.phase);
            ioDirections.Append(e.direction);
          }
          oAxisFlag = axisFlag;
          oAxis = axis;
          return S_OK;
        });
  }
  long GetExcitationType(ExcitationType& oType) override {
    oType = RestraintExcitationType;
    return S_OK;
  }
  MOCK_METHOD(long, GetRestraintValues,
              (VOKListValVOKISpecObject_var&, VOKRawCollfloat&, VOKRawCollfloat&, VOKRawCollint&, int&,
               VOKMathAxis&),
              (override));

  /// iModulation may be null; the excitation holds one reference to it.
  void Add(int iDirection, float iAmplitude, float iPhase, VOKBaseUnknown* iModulation) {
    entries.push_back(Entry{iDirection, iAmplitude, iPhase, VOKBaseUnknown_var(iModulation)});
  }

  struct Entry {
    int direction;
    float amplitude;
    float phase;
    VOKBaseUnknown_var modulation;
  };
  std::vector<Entry> entries;
  int axisFlag = 0;
  VOKMathAxis axis;
  long valuesResult = S_OK;

 protected:
  void* Answer(const IID& iIID) override {
    if (iIID == IID_VOKIDYNExcitation) return static_cast<VOKIDYNExcitation*>(this);
    if (iIID == IID_VOKIDYNRestraintExcitation) return static_cast<VOKIDYNRestraintExcitation*>(this);
    return Component::Answer(iIID);
  }
};

/// A load excitation handing out configured load sets.
class FakeLoadExcitation : public VOKHost::Component,
                           public VOKIDYNExcitation,
                           public VOKIDYNLoadExcitation {
 public:
  FakeLoadExcitation() {
    ON_CALL(*this, GetLoadValues)
        .WillByDefault([this](VOKListValVOKISpecObject_var& ioLoads, VOKListValVOKISpecObject_var& ioModulations,
                              VOKRawCollfloat& ioAmplitudes, VOKRawCollfloat& ioPhases) {
          VOKHost::FaultPoint fp("VOKIDYNLoadExcitation::GetLoadValues");
          if (fp.Fail()) return E_FAIL;
          if (valuesResult < 0) return valuesResult;
          for (const Entry& e : entries) {
            ioLoads.Append(VOKISpecObject_var(e.load.Get()));
            ioModulations.Append(VOKISpecObject_var(e.modulation.Get()));
            ioAmplitudes.Append(e.amplitude);
            if (withPhases) ioPhases.Append(e.phase);
          }
          return S_OK;
        });
  }
  long GetExcitationType(ExcitationType& oType) override {
    oType = LoadExcitationType;
    return S_OK;
  }
  MOCK_METHOD(long, GetLoadValues,
              (VOKListValVOKISpecObject_var&, VOKListValVOKISpecObject_var&, VOKRawCollfloat&,
               VOKRawCollfloat&),
              (override));

  void Add(VOKBaseUnknown* iLoad, VOKBaseUnknown* iModulation, float iAmplitude, float iPhase) {
    entries.push_back(Entry{VOKBaseUnknown_var(iLoad), VOKBaseUnknown_var(iModulation), iAmplitude, iPhase});
  }

  struct Entry {
    VOKBaseUnknown_var load;
    VOKBaseUnknown_var modulation;
    float amplitude;
    float phase;
  };
  std::vector<Entry> entries;
  bool withPhases = true;
  long valuesResult = S_OK;

 protected:
  void* Answer(const IID& iIID) override {
    if (iIID == IID_VOKIDYNExcitation) return static_cast<VOKIDYNExcitation*>(this);
    if (iIID == IID_VOKIDYNLoadExcitation) return static_cast<VOKIDYNLoadExcitation*>(this);
    return Component::Answer(iIID);
  }
};

// ------------------------------------------------- generalized displacement

/// A feature giving configured generalized displacements per step.
class FakeGeneralized : public VOKHost::Feature, public VOKIDYNGeneralizedDisplacement {
 public:
  FakeGeneralized() : Feature("generalized displacement", VOKHost::FacetSpecObject) {
    ON_CALL(*this, GetStepValues).WillByDefault([this](int iStep, int& oCount, double*& oValues) {
      VOKHost::FaultPoint fp("VOKIDYNGeneralizedDisplacement::GetStepValues");
      oCount = 0;
      oValues = nullptr;
      if (fp.Fail()) return E_FAIL;
      if (iStep < 0 || iStep >= static_cast<int>(steps.size())) return E_INVALIDARG;
      const std::vector<double>& row = steps[static_cast<std::size_t>(iStep)];
      oCount = static_cast<int>(row.size());
      oValues = NewCopy(row);
      return stepResult;
    });
  }
  MOCK_METHOD(long, GetStepValues, (int, int&, double*&), (override));

  std::vector<std::vector<double>> steps;
  long stepResult = S_OK;

 protected:
  void* Answer(const IID& iIID) override {
    if (iIID == IID_VOKIDYNGeneralizedDisplacement)
      return static_cast<VOKIDYNGeneralizedDisplacement*>(this);
    return Feature::Answer(iIID);
  }
};

// --------------------------------------------------------------- helpers

/// The coefficient of an entry at frequency f, by the stated formula and
/// order: omega = f * 2pi; k = -1/omega^2 (0 at omega = 0); g = factor * k;
/// re = (A * g) * cos(phase), im = (A * g) * sin(phase), the cosine and sine
/// taken in single precision on the float phase.
struct Expected {
  double re;
  double im;
};
inline Expected ExpectedCoefficient(double iFrequency, double iFactor, float iAmplitude, float iPhase) {
  const double omega = iFrequency * 6.283185307179586;
  const double k = omega == 0.0 ? 0.0 : -1.0 / (omega * omega);
  const double g = iFactor * k;
  const double a = static_cast<double>(iAmplitude);
  return Expected{(a * g) * static_cast<double>(std::cos(iPhase)),
                  (a * g) * static_cast<double>(std::sin(iPhase))};
}

/// Bit-for-bit equality of doubles (distinguishes -0.0 from 0.0, NaN equal to itself).
/// The host's 1-based lists of positions and of single-precision values
/// (frequencies, steps), in the order given.
inline VOKRawCollint Ints(const std::vector<int>& iValues) {
  VOKRawCollint list;
  for (int v : iValues) list.Append(v);
  return list;
}
inline VOKRawCollfloat Floats(const std::vector<float>& iValues) {
  VOKRawCollfloat list;
  for (float v : iValues) list.Append(v);
  return list;
}

inline bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof(double)) == 0; }

/// A caller table: K rows of T doubles, with a pointer table over them.
struct Table {
  Table(int iRows, int iColumns, double iFill = 0.0)
      : rows(static_cast<std::size_t>(iRows), std::vector<double>(static_cast<std::size_t>(iColumns), iFill)) {
    for (auto& row : rows) pointers.push_back(row.data());
  }
  double** Get() { return pointers.empty() ? &dummy : pointers.data(); }
  std::vector<std::vector<double>> rows;
  std::vector<double*> pointers;
  double* dummy = nullptr;
};

/// An excitation tools object initialised for results with iExcitations.
inline VOKDYNExcitationTools* NewToolsForResult(std::vector<VOKBaseUnknown*> iExcitations,
                                                VOKIDYNBaseTools* iBaseTools) {
  auto* tools = new VOKDYNExcitationTools;
  VOKListValVOKBaseUnknown_var list;
  for (VOKBaseUnknown* e : iExcitations) list.Append(VOKBaseUnknown_var(e));
  ExcitationType first = UndefinedExcitationType;
  const long hr = tools->InitializeForResult(list, iBaseTools, first);
  EXPECT_EQ(hr, S_OK) << "InitializeForResult";
  return tools;
}

}  // namespace responses

#endif
