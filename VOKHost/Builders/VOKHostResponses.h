#ifndef VOKHostResponses_h
#define VOKHostResponses_h
// The stand-in's pieces for the responses of moving supports and enforced
// displacements: load sets that enforce displacements (with their computed
// load, linked analysis object and static set), features whose solver
// records go with them, and generalized displacements per time step.
//
// Physical degrees of freedom are numbered node-major, as everywhere in the
// stand-in: position p = 6 * (node index) + component (0..5), N = 6 x nodes.
//
// Ownership, for every Create below: the new component carries one reference
// owned by the caller, who releases it. A load set holds one reference to its
// computed load and to its linked object, which holds one to the static set;
// nothing refers back, so no reference cycle is formed.
#include <string>
#include <vector>

#include "VOKDYNInterfaces.h"
#include "VOKHostDynamics.h"
#include "VOKHostFeature.h"

namespace VOKHost {

/// A feature whose solver records (VOKHostSolverRecords.h) are erased when it
/// is destroyed.
class VOKHOST_API RecordedFeature : public Feature {
 public:
  static RecordedFeature* Create(const std::string& iName, unsigned iFacets);
  /// Sets record iName of this feature (see SetSolverRecord).
  void SetRecord(const std::string& iName, const std::vector<double>& iValues);

 protected:
  RecordedFeature(const std::string& iName, unsigned iFacets);
  ~RecordedFeature() override;
};

/// A load set as the analysis model shows it: a feature (VOKISpecObject, alias,
/// analysis set, analysis scan) whose ScanByType("ComputedLoad") gives its
/// computed load and whose GetLinkedSets gives one linked object, whose
/// ScanByType("StaticSet") gives the load set's static set.
/// - the computed load carries "SMSPC", the positions it enforces (as
///   doubles), when the set enforces displacements; otherwise no "SMSPC";
/// - the static set carries "DEPL": the static displacement field over the N
///   physical degrees of freedom for a unit enforced displacement.
/// As a load of a load excitation (ModalForceSource), its generalised force
/// is the force per unit enforced acceleration, -Phi^T M D: with the base's
/// lumped nodal masses M (diagonal, mass[c] of the node at position p) and
/// f_i = -(sum over p ascending of (phi_i(p) * m(p)) * D(p)); or the values
/// given per mode. A field whose length is not 6 x the base's nodes, or
/// values per mode whose count is not its mode count: E_FAIL.
class VOKHOST_API EnforcedLoadSet : public Feature, public ModalForceSource {
 public:
  /// iEnforced: the enforced positions (empty: a load set that enforces
  /// nothing). iDisplacement: the static displacement field ("DEPL").
  static EnforcedLoadSet* Create(const std::string& iName, const std::vector<int>& iEnforced,
                                 const std::vector<double>& iDisplacement);

  // --- observation and configuration (not host operations); no reference added
  RecordedFeature* ComputedLoad() const { return _ComputedLoad; }
  Feature* LinkedObject() const { return _Linked; }
  RecordedFeature* StaticSet() const { return _StaticSet; }
  const std::vector<double>& Displacement() const { return _Displacement; }
  /// Gives the generalised force per unit enforced acceleration directly, one
  /// value per mode, instead of computing it from the nodal masses.
  void SetGeneralisedForce(const std::vector<double>& iPerMode) {
    _ForcePerMode = iPerMode;
    _HasForcePerMode = true;
  }

  long GeneralisedForce(const ModalBase& iBase, double* oForce) override;

 protected:
  EnforcedLoadSet(const std::string& iName, const std::vector<double>& iDisplacement);
  ~EnforcedLoadSet() override;
  void* Answer(const IID& iIID) override;

 private:
  RecordedFeature* _ComputedLoad;
  Feature* _Linked;
  RecordedFeature* _StaticSet;
  std::vector<double> _Displacement;
  std::vector<double> _ForcePerMode;
  bool _HasForcePerMode = false;
};

/// Generalized displacements of a transient solution: a feature (VOKISpecObject)
/// that answers VOKIDYNGeneralizedDisplacement with one row of values per
/// time step.
class VOKHOST_API GeneralizedDisplacement : public Feature, public VOKIDYNGeneralizedDisplacement {
 public:
  static GeneralizedDisplacement* Create(const std::string& iName);
  /// Appends the values of the next step (step t = the t-th row added, from 0).
  void AddStep(const std::vector<double>& iValues);
  int StepCount() const { return static_cast<int>(_Steps.size()); }

  /// iStep in 0..StepCount()-1: oCount values in a new array the caller
  /// deletes with delete[] (a step of no value gives a new empty array).
  /// Another step: E_INVALIDARG, oCount 0 and oValues null.
  long GetStepValues(int iStep, int& oCount, double*& oValues) override;

 protected:
  explicit GeneralizedDisplacement(const std::string& iName);
  ~GeneralizedDisplacement() override;
  void* Answer(const IID& iIID) override;

 private:
  std::vector<std::vector<double>> _Steps;
};

}  // namespace VOKHost

#endif
