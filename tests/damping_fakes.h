#ifndef damping_fakes_h
#define damping_fakes_h
// Small modal bases for the damping tests: a base tools component (base
// tools, analysis set, VOKISpecObject) listing its access objects (base access,
// VOKISpecObject, alias). Every operation is a fault point, so fault sweeps reach
// the damping tools' failure paths, and counts its calls.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "VOKDYNInterfaces.h"
#include "VOKHostComponent.h"
#include "VOKHostTesting.h"

namespace dampingtest {

class FakeBaseAccess : public VOKHost::Component,
                       public VOKIDYNBaseAccess,
                       public VOKISpecObject,
                       public VOKIAlias {
 public:
  static FakeBaseAccess* Create() { return new FakeBaseAccess; }

  // --- configuration
  bool upToDate = true;
  std::string alias = "Frequency Case.1";
  long checkStateResult = S_OK;
  std::vector<double> occurrences;
  long occurrenceResult = S_OK;
  bool offersSpecObject = true;
  bool offersAlias = true;
  // --- observation
  int checkStateCalls = 0;
  int upToDateCalls = 0;

  long GetOccurrenceValues(VOKRawColldouble& ioValues) override {
    VOKHost::FaultPoint fp("VOKIDYNBaseAccess::GetOccurrenceValues");
    if (fp.Fail()) return E_FAIL;
    if (FAILED(occurrenceResult)) return occurrenceResult;
    for (double v : occurrences) ioValues.Append(v);
    return S_OK;
  }
  long CheckBaseState() override {
    VOKHost::FaultPoint fp("VOKIDYNBaseAccess::CheckBaseState");
    ++checkStateCalls;
    if (fp.Fail()) return E_FAIL;
    return checkStateResult;
  }
  VOKISpecObject_var GetOwner() override { return VOKISpecObject_var(); }
  int TestUpToDate(const VOKIDomain_var&) override {
    VOKHost::FaultPoint fp("VOKISpecObject::TestUpToDate");
    ++upToDateCalls;
    if (fp.Fail()) return 0;
    return upToDate ? 1 : 0;
  }
  VOKUnicodeString GetDisplayName() override {
    VOKHost::FaultPoint fp("VOKIAlias::GetDisplayName");
    if (fp.Fail()) return VOKUnicodeString();
    return VOKUnicodeString(alias);
  }

 protected:
  void* Answer(const IID& iIID) override {
    if (iIID == IID_VOKIDYNBaseAccess) return static_cast<VOKIDYNBaseAccess*>(this);
    if (iIID == IID_VOKISpecObject && offersSpecObject) return static_cast<VOKISpecObject*>(this);
    if (iIID == IID_VOKIAlias && offersAlias) return static_cast<VOKIAlias*>(this);
    return Component::Answer(iIID);
  }
};

class FakeBase : public VOKHost::Component,
                 public VOKIDYNBaseTools,
                 public VOKISamAnalysisSet,
                 public VOKISpecObject {
 public:
  /// A base of the given modes with one access object.
  static FakeBase* Create(const std::vector<double>& iMasses, const std::vector<double>& iStiffnesses) {
    FakeBase* base = new FakeBase;
    base->masses = iMasses;
    base->stiffnesses = iStiffnesses;
    base->nbDof = static_cast<int>(iMasses.size());
    FakeBaseAccess* access = FakeBaseAccess::Create();
    base->AddAccess(access);
    access->Release();
    return base;
  }
  /// The first access object (no reference added).
  FakeBaseAccess* Access() const { return _Accesses.empty() ? nullptr : _Accesses[0]; }
  void AddAccess(FakeBaseAccess* iAccess) {
    iAccess->AddRef();
    _Accesses.push_back(iAccess);
  }
  void RemoveAccesses() {
    for (FakeBaseAccess* a : _Accesses) a->Release();
    _Accesses.clear();
  }

  // --- configuration
  int nbDof = 0;
  long nbDofResult = S_OK;
  int nbDofFailsFromCall = 0;  ///< 0: never; k: the k-th and later calls fail
  std::vector<double> masses;
  std::vector<double> stiffnesses;
  long massesResult = S_OK;
  long stiffnessesResult = S_OK;
  bool nullMasses = false;
  bool nullStiffnesses = false;
  int diagonal = 1;
  long diagonalResult = S_OK;
  long listResult = S_OK;
  bool offersAnalysisSet = true;
  // --- observation
  int nbDofCalls = 0;

  long GetNbDof(int& oN) override {
    VOKHost::FaultPoint fp("VOKIDYNBaseTools::GetNbDof");
    ++nbDofCalls;
    if (fp.Fail()) return E_FAIL;
    if (nbDofFailsFromCall > 0 && nbDofCalls >= nbDofFailsFromCall) return E_FAIL;
    if (FAILED(nbDofResult)) return nbDofResult;
    oN = nbDof;
    return S_OK;
  }
  long GetRigidModeProvider(VOKIDYNRigidModeProvider*& oProvider) override {
    oProvider = nullptr;
    return E_NOTIMPL;
  }
  long IsDampingDiagonal(int& oDiagonal) override {
    VOKHost::FaultPoint fp("VOKIDYNBaseTools::IsDampingDiagonal");
    if (fp.Fail()) return E_FAIL;
    if (FAILED(diagonalResult)) return diagonalResult;
    oDiagonal = diagonal;
    return S_OK;
  }
  long GetModalStiffnesses(double*& oStiffnesses) override {
    VOKHost::FaultPoint fp("VOKIDYNBaseTools::GetModalStiffnesses");
    oStiffnesses = nullptr;
    if (fp.Fail()) return E_FAIL;
    if (FAILED(stiffnessesResult)) return stiffnessesResult;
    if (!nullStiffnesses) oStiffnesses = NewArray(stiffnesses);
    return S_OK;
  }
  long GetModalMasses(double*& oMasses) override {
    VOKHost::FaultPoint fp("VOKIDYNBaseTools::GetModalMasses");
    oMasses = nullptr;
    if (fp.Fail()) return E_FAIL;
    if (FAILED(massesResult)) return massesResult;
    if (!nullMasses) oMasses = NewArray(masses);
    return S_OK;
  }
  long ComputeLoadVectors(VOKListValVOKISpecObject_var&, double**&) override { return E_NOTIMPL; }
  long ComputeRigidVectorsOnAxis(const VOKMathAxis&, double**&) override { return E_NOTIMPL; }
  long ComputeRigidVectors(double**&) override { return E_NOTIMPL; }
  long CheckRotationAxis(VOKRawCollint&, int&, VOKMathAxis&) override { return E_NOTIMPL; }

  long ListObjectsByInterface(VOKListValVOKISpecObject_var& oList, const IID& iIID, int) override {
    VOKHost::FaultPoint fp("VOKISamAnalysisSet::ListObjectsByInterface");
    if (fp.Fail()) return E_FAIL;
    if (FAILED(listResult)) return listResult;
    if (iIID != IID_VOKIDYNBaseAccess) return S_OK;
    for (FakeBaseAccess* a : _Accesses) oList.Append(VOKISpecObject_var(a));
    return S_OK;
  }
  long GetBasicComponent(const VOKUnicodeString&, VOKISamBasicComponent_var& oComponent) override {
    oComponent = nullptr;
    return S_OK;
  }
  long GetLinkedSets(VOKListValVOKBaseUnknown_var*& oList) override {
    oList = nullptr;
    return S_OK;
  }

  VOKISpecObject_var GetOwner() override { return VOKISpecObject_var(); }
  int TestUpToDate(const VOKIDomain_var&) override { return 1; }

 protected:
  ~FakeBase() override { RemoveAccesses(); }
  void* Answer(const IID& iIID) override {
    if (iIID == IID_VOKIDYNBaseTools) return static_cast<VOKIDYNBaseTools*>(this);
    if (iIID == IID_VOKISamAnalysisSet && offersAnalysisSet) return static_cast<VOKISamAnalysisSet*>(this);
    if (iIID == IID_VOKISpecObject) return static_cast<VOKISpecObject*>(this);
    return Component::Answer(iIID);
  }

 private:
  static double* NewArray(const std::vector<double>& iValues) {
    double* a = new double[iValues.size() ? iValues.size() : 1];
    for (std::size_t i = 0; i < iValues.size(); ++i) a[i] = iValues[i];
    return a;
  }
  std::vector<FakeBaseAccess*> _Accesses;
};

/// Holds the creator's reference of a component and releases it at scope exit.
template <class T>
class Held {
 public:
  explicit Held(T* iObject) : _Object(iObject) {}
  ~Held() {
    if (_Object) _Object->Release();
  }
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;
  T* operator->() const { return _Object; }
  T* get() const { return _Object; }

 private:
  T* _Object;
};

/// The bit pattern of a double, for comparisons to the last bit.
inline std::uint64_t Bits(double iValue) {
  std::uint64_t bits;
  std::memcpy(&bits, &iValue, sizeof bits);
  return bits;
}

/// The values of a host list, as a vector.
inline std::vector<double> Values(const VOKRawColldouble& iList) {
  std::vector<double> v;
  for (int i = 1; i <= iList.Size(); ++i) v.push_back(iList[i]);
  return v;
}

}  // namespace dampingtest

#endif
