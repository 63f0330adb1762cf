#ifndef VOKTestModels_h
#define VOKTestModels_h
// Stand-in models that several test files build alike, so that the values
// their expectations are derived from are written once, and the small
// holders every test of the excitation tools uses.
#include <array>
#include <initializer_list>
#include <string>
#include <vector>

#include "VOKDYNExcitationTools.h"
#include "VOKHostDynamics.h"

namespace vok_test_models {

/// Two nodes and two modes, N = 12 physical degrees of freedom, node 10's
/// six first: node 10 at the origin with lumped masses (1, 1, 1, 0.1, 0.1,
/// 0.1), node 20 at (1, 2, 0) with (2, 2, 2, 0.2, 0.2, 0.2); modal masses
/// (1, 1) and stiffnesses (400, 900); shape 1 is 0.5 and shape 2 is -0.25 at
/// every degree of freedom. The caller builds the base from it
/// (VOKHost::ModalBase::Create) and owns what it builds.
inline VOKHost::ModalBaseDefinition TwoNodeBase() {
  VOKHost::ModalBaseDefinition def;
  def.modalMasses = {1.0, 1.0};
  def.modalStiffnesses = {400.0, 900.0};
  VOKHost::ModalNode a, b;
  a.id = 10;
  a.position = {0.0, 0.0, 0.0};
  a.mass = {1.0, 1.0, 1.0, 0.1, 0.1, 0.1};
  b.id = 20;
  b.position = {1.0, 2.0, 0.0};
  b.mass = {2.0, 2.0, 2.0, 0.2, 0.2, 0.2};
  def.nodes = {a, b};
  def.shapes = {std::vector<double>(12, 0.5), std::vector<double>(12, -0.25)};
  return def;
}

/// A base whose load and rigid vectors are known exactly: N modes, one node
/// per load vector; load k (0-based) pushes node k+1 along x with a unit
/// force, so its generalised force on mode i is iLoadVectors[k][i] (the
/// shape value there); rigid vector d on mode i is -iGamma[i][d-1] (the
/// participation factors are given per mode). Negation is exact, so a
/// second member is exactly amplitude x the given value.
inline VOKHost::ModalBase* ExactBase(const std::vector<std::vector<double>>& iLoadVectors,
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

/// The unit load of node k+1 along x (0-based k), matching ExactBase.
inline VOKHost::NodalLoad* UnitLoad(int iK) {
  VOKHost::NodalLoad* load = VOKHost::NodalLoad::Create("load " + std::to_string(iK + 1));
  load->AddNodalValues(iK + 1, {1.0, 0.0, 0.0, 0.0, 0.0, 0.0});
  return load;
}

/// The component behind any of its interfaces. Converted through a
/// reference: the pointer conversion to the virtual base carries a null test
/// that the sanitizer build reports as possibly uninitialised.
template <class T>
VOKBaseUnknown* Unknown(T& iObject) {
  return &static_cast<VOKBaseUnknown&>(iObject);
}
template <class T>
VOKBaseUnknown* Unknown(T* iObject) {
  return &static_cast<VOKBaseUnknown&>(*iObject);
}

/// Holds the creation references of a test's components and releases them,
/// the latest first, at scope exit.
class Holder {
 public:
  Holder() = default;
  Holder(const Holder&) = delete;
  Holder& operator=(const Holder&) = delete;
  ~Holder() { ReleaseAll(); }
  void ReleaseAll() {
    for (auto it = _Held.rbegin(); it != _Held.rend(); ++it) (*it)->Release();
    _Held.clear();
  }
  template <class T>
  T* operator()(T* iComponent) {
    _Held.push_back(Unknown(iComponent));
    return iComponent;
  }

 private:
  std::vector<VOKBaseUnknown*> _Held;
};

/// An excitation tools object released at scope exit.
struct Tools {
  Tools() : p(new VOKDYNExcitationTools) {}
  Tools(const Tools&) = delete;
  Tools& operator=(const Tools&) = delete;
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

/// iObject as a feature handle's object (the handle's reference is dropped:
/// iObject stays alive through its holder).
inline VOKISpecObject* AsFeature(VOKBaseUnknown* iObject) { return VOKISpecObject_var(iObject).Get(); }

/// A caller's table of rows x columns, every cell at iStart.
struct CallerTable {
  CallerTable(int iRows, int iColumns, double iStart = 0.0)
      : cells(static_cast<std::size_t>(iRows), std::vector<double>(static_cast<std::size_t>(iColumns), iStart)) {
    for (auto& row : cells) rows.push_back(row.data());
  }
  double** Rows() { return rows.data(); }
  /// True when every cell still holds iStart.
  bool Untouched(double iStart) const {
    for (const auto& row : cells)
      for (double v : row)
        if (v != iStart) return false;
    return true;
  }
  std::vector<std::vector<double>> cells;
  std::vector<double*> rows;
};

}  // namespace vok_test_models

#endif
