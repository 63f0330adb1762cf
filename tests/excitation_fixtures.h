#ifndef excitation_fixtures_h
#define excitation_fixtures_h
// Models and fakes shared by the excitation tools' tests.
//
// The bases are built so that the vectors the base tools hand out are known
// exactly: load k pushes with a unit force on node k (component 0), so its
// generalised force on mode i is the shape value phi_i(6k), set to the
// wanted vector value; the rigid vectors are minus the participation
// factors, which are given per mode. Negation is exact, so every expected
// second member is exactly amplitude x (given value).
#include <gmock/gmock.h>

#include <array>
#include <vector>

#include "VOKDYNExcitationTools.h"
#include "VOKHostDynamics.h"

namespace excitation_test {

/// A base of N = iLoadVectors[0].size() modes (or iGamma.size()) whose load
/// k (0-based) gives iLoadVectors[k] and whose rigid vector d gives
/// -iGamma[i][d-1] on mode i.
inline VOKHost::ModalBase* MakeBase(const std::vector<std::vector<double>>& iLoadVectors,
                                    const std::vector<std::array<double, 6>>& iGamma = {}) {
  VOKHost::ModalBaseDefinition def;
  const std::size_t n = !iLoadVectors.empty() ? iLoadVectors[0].size() : iGamma.size();
  const std::size_t k = iLoadVectors.empty() ? 1 : iLoadVectors.size();
  def.modalMasses.assign(n, 1.0);
  def.modalStiffnesses.assign(n, 1.0);
  def.nodes.resize(k);
  for (std::size_t j = 0; j < k; ++j) def.nodes[j].id = static_cast<int>(j + 1);
  def.shapes.assign(n, std::vector<double>(6 * k, 0.0));
  for (std::size_t j = 0; j < iLoadVectors.size(); ++j)
    for (std::size_t i = 0; i < n; ++i) def.shapes[i][6 * j] = iLoadVectors[j][i];
  def.participation.resize(n);
  for (std::size_t i = 0; i < n; ++i)
    def.participation[i] = i < iGamma.size() ? iGamma[i] : std::array<double, 6>{};
  return VOKHost::ModalBase::Create(def);
}

/// The component behind any of its interfaces. Converted through a
/// reference: the pointer conversion to the virtual base carries a null test
/// that the sanitizer build reports as possibly uninitialised.
template <class T>
VOKBaseUnknown* Unknown(T& iObject) {
  return &static_cast<VOKBaseUnknown&>(iObject);
}

/// The unit load of node k (0-based), matching MakeBase.
inline VOKHost::NodalLoad* UnitLoad(int iK) {
  VOKHost::NodalLoad* load = VOKHost::NodalLoad::Create("load " + std::to_string(iK + 1));
  load->AddNodalValues(iK + 1, {1.0, 0.0, 0.0, 0.0, 0.0, 0.0});
  return load;
}

/// Holds references for a test and releases them at scope exit.
class Holder {
 public:
  ~Holder() { ReleaseAll(); }
  /// Releases everything held so far, the latest first.
  void ReleaseAll() {
    for (auto it = _Held.rbegin(); it != _Held.rend(); ++it) (*it)->Release();
    _Held.clear();
  }
  template <class T>
  T* operator()(T* iComponent) {
    _Held.push_back(iComponent);
    return iComponent;
  }

 private:
  std::vector<VOKBaseUnknown*> _Held;
};

/// An excitation tools object released at scope exit.
struct Tools {
  Tools() : p(new VOKDYNExcitationTools) {}
  ~Tools() { p->Release(); }
  VOKDYNExcitationTools* operator->() const { return p; }
  VOKDYNExcitationTools* p;
};

/// A list of components as the excitation list of an initialisation.
inline VOKListValVOKBaseUnknown_var List(std::initializer_list<VOKBaseUnknown*> iItems) {
  VOKListValVOKBaseUnknown_var list;
  for (VOKBaseUnknown* item : iItems) list.Append(VOKBaseUnknown_var(item));
  return list;
}

/// Base tools whose every operation is a mock, by default handed to a real
/// stand-in base; a test overrides the calls it wants to fail or observe.
class MockBaseTools : public VOKHost::Component, public VOKIDYNBaseTools {
 public:
  explicit MockBaseTools(VOKHost::ModalBase* iReal) : _Real(iReal) {
    using ::testing::_;
    using ::testing::Invoke;
    _Real->AddRef();
    VOKIDYNBaseTools* r = iReal;
    ON_CALL(*this, GetNbDof(_)).WillByDefault(Invoke(r, &VOKIDYNBaseTools::GetNbDof));
    ON_CALL(*this, GetRigidModeProvider(_)).WillByDefault(Invoke(r, &VOKIDYNBaseTools::GetRigidModeProvider));
    ON_CALL(*this, IsDampingDiagonal(_)).WillByDefault(Invoke(r, &VOKIDYNBaseTools::IsDampingDiagonal));
    ON_CALL(*this, GetModalStiffnesses(_)).WillByDefault(Invoke(r, &VOKIDYNBaseTools::GetModalStiffnesses));
    ON_CALL(*this, GetModalMasses(_)).WillByDefault(Invoke(r, &VOKIDYNBaseTools::GetModalMasses));
    ON_CALL(*this, ComputeLoadVectors(_, _)).WillByDefault(Invoke(r, &VOKIDYNBaseTools::ComputeLoadVectors));
    ON_CALL(*this, ComputeRigidVectorsOnAxis(_, _))
        .WillByDefault(Invoke(r, &VOKIDYNBaseTools::ComputeRigidVectorsOnAxis));
    ON_CALL(*this, ComputeRigidVectors(_)).WillByDefault(Invoke(r, &VOKIDYNBaseTools::ComputeRigidVectors));
    ON_CALL(*this, CheckRotationAxis(_, _, _)).WillByDefault(Invoke(r, &VOKIDYNBaseTools::CheckRotationAxis));
  }
  ~MockBaseTools() override { _Real->Release(); }

  MOCK_METHOD(long, GetNbDof, (int&), (override));
  MOCK_METHOD(long, GetRigidModeProvider, (VOKIDYNRigidModeProvider*&), (override));
  MOCK_METHOD(long, IsDampingDiagonal, (int&), (override));
  MOCK_METHOD(long, GetModalStiffnesses, (double*&), (override));
  MOCK_METHOD(long, GetModalMasses, (double*&), (override));
  MOCK_METHOD(long, ComputeLoadVectors, (VOKListValVOKISpecObject_var&, double**&), (override));
  MOCK_METHOD(long, ComputeRigidVectorsOnAxis, (const VOKMathAxis&, double**&), (override));
  MOCK_METHOD(long, ComputeRigidVectors, (double**&), (override));
  MOCK_METHOD(long, CheckRotationAxis, (VOKRawCollint&, int&, VOKMathAxis&), (override));

 protected:
  void* Answer(const IID& iIID) override {
    if (iIID == IID_VOKIDYNBaseTools) return static_cast<VOKIDYNBaseTools*>(this);
    return Component::Answer(iIID);
  }

 private:
  VOKHost::ModalBase* _Real;
};

}  // namespace excitation_test

#endif
