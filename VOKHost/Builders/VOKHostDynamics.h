#ifndef VOKHostDynamics_h
#define VOKHostDynamics_h
// The stand-in's dynamic-response model: a modal base and its tools, the
// base's access object and rigid-mode provider, nodal loads, load and
// restraint excitations, and modulations. Tests and tools build models with
// it; the library only ever sees the interfaces of VOKDYNInterfaces.h.
//
// Ownership, for every Create below: the new component carries one reference
// owned by the caller, who releases it. A component that is handed another
// one (an excitation given a load or a modulation, a base given its access
// object) holds one reference of its own to it. No component refers back to
// its holder, so no reference cycle is ever formed.
//
// Conventions of the model:
// - Physical degrees of freedom are numbered node-major: six components per
//   node (three translations, three rotations) in the base's node order,
//   position p = 6 * (node index) + component (0..5).
// - Rigid-body direction d = 1..3 is a unit translation along axis d,
//   d = 4..6 a unit rotation about axis d - 3 through the axis origin: at a
//   node at position x the translation part is e x (x - origin) and the
//   rotation part is e.
// - An axis system given as origin, x and y is made orthonormal as
//   x^ = x/|x|, z^ = (x^ x y)/|x^ x y|, y^ = z^ x x^ (the axis's z is not
//   read). An axis whose x is null or parallel to its y is degenerate and is
//   refused wherever an axis is consumed.
// - Participation factors: Gamma_i,d = phi_i^T M r_d about the global origin
//   and axes. Given per mode, or computed from the nodal lumped masses.
//
// Every host operation of these components is a fault point (VOKHostTesting.h);
// so are their queries.
#include <array>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "VOKDYNInterfaces.h"
#include "VOKHostFeature.h"

namespace VOKHost {

// ------------------------------------------------------------- modal base

/// A node of the model.
struct ModalNode {
  int id = 0;                             ///< user id, unique in a base
  std::array<double, 3> position{};       ///< global coordinates
  std::array<double, 6> mass{};           ///< lumped mass: mx, my, mz, Ix, Iy, Iz (zero when none)
};

/// What a modal base is made of. Sizes: N modes, K nodes.
struct ModalBaseDefinition {
  std::string name = "Modal base";          ///< the display name of the base and its access object
  std::vector<double> modalMasses;          ///< N generalised masses m_i
  std::vector<double> modalStiffnesses;     ///< N generalised stiffnesses k_i
  /// N frequencies in Hz; empty: sqrt(k_i/m_i) / (2 pi).
  std::vector<double> frequencies;
  std::vector<ModalNode> nodes;             ///< K nodes
  /// N shapes of 6*K values each, node-major (phi_i at position p).
  std::vector<std::vector<double>> shapes;
  /// Or, with `shapes` empty: the N shapes as one table of N x 6K values,
  /// mode-major then node-major, read in place and never copied. The pointer
  /// keeps the table alive (an aliasing pointer to a mapped file or a
  /// vector, say) for as long as the base or anything sharing its data lives.
  std::shared_ptr<const double> shapeTable;
  /// Empty, or N entries: a mode with a value uses those six factors, a mode
  /// without one computes them from the nodal masses.
  std::vector<std::optional<std::array<double, 6>>> participation;
  bool dampingDiagonal = true;              ///< IsDampingDiagonal's answer
};

/// Checks a definition; returns an empty text when it is sound, else what is
/// wrong ("mode 2: shape has 12 values, expected 18").
VOKHOST_API std::string CheckModalBaseDefinition(const ModalBaseDefinition& iDefinition);

/// Orthonormal axes of iAxis (see the conventions above) into oE[0..2] (x^,
/// y^, z^) and its origin into oOrigin. False when the axis is degenerate or
/// not finite.
VOKHOST_API bool OrthonormalAxes(const VOKMathAxis& iAxis, double oE[3][3], double oOrigin[3]);

class BaseAccess;

/// The modal base: VOKIDYNBaseTools on N modal degrees of freedom, and a
/// feature (VOKISpecObject, alias, analysis set) whose analysis set lists its
/// access object, so that ListObjectsByInterface(IID_VOKIDYNBaseAccess) finds
/// exactly one object. Other objects can be linked with AddLinkedObject.
///
/// The base holds one reference to its access object (as a linked object);
/// the access object and the providers hold copies of, or shared pointers to,
/// the base's data, never the base.
class VOKHOST_API ModalBase : public Feature, public VOKIDYNBaseTools {
 public:
  /// A new base, or null when the definition is not sound (oError, when
  /// given, receives CheckModalBaseDefinition's text).
  static ModalBase* Create(const ModalBaseDefinition& iDefinition, std::string* oError = nullptr);

  // --- configuration and observation (not host operations)
  /// The access object (no reference added; it lives as long as the base).
  BaseAccess* Access() const { return _Access; }
  void SetDampingDiagonal(bool iDiagonal) { _DampingDiagonal = iDiagonal; }

  // --- test hooks (not host operations): answers a sound base never gives
  /// What the vector-building operations (ComputeLoadVectors,
  /// ComputeRigidVectors, ComputeRigidVectorsOnAxis) answer.
  enum class VectorsAnswer {
    Computed,          ///< the vectors, as the model gives them
    SuccessNoTable,    ///< S_OK and no table
    FailureWithTable,  ///< E_FAIL together with a table of zero vectors
  };
  void SetVectorsAnswer(VectorsAnswer iAnswer) { _VectorsAnswer = iAnswer; }
  /// GetNbDof answers iCount (with S_OK) instead of the mode count.
  void SetDofCountAnswer(int iCount) {
    _DofCount = iCount;
    _DofCountSet = true;
  }
  int ModeCount() const;
  int NodeCount() const;
  /// Index (0-based, in the base's node order) of node iId, -1 when absent.
  int NodeIndex(int iId) const;
  const ModalNode& Node(int iIndex) const;
  /// phi_iMode at physical position p (0-based).
  double Shape(int iMode, int iPosition) const;
  /// Gamma_iMode,d (d = 1..6) about the global origin and axes: the given
  /// factor, or phi^T M r_d from the nodal masses, computed when first asked
  /// for (by any thread) and kept.
  double Participation(int iMode, int iDirection) const;
  const ModalBaseDefinition& Definition() const;

  // --- VOKIDYNBaseTools
  long GetNbDof(int& oN) override;
  /// A new provider each time; it shares the base's data, not the base.
  long GetRigidModeProvider(VOKIDYNRigidModeProvider*& oProvider) override;
  long IsDampingDiagonal(int& oDiagonal) override;
  long GetModalStiffnesses(double*& oStiffnesses) override;
  long GetModalMasses(double*& oMasses) override;
  /// Asks each load for its generalised force (ModalForceSource). A null
  /// load or one that is no force source: E_FAIL, nothing returned.
  long ComputeLoadVectors(VOKListValVOKISpecObject_var& iLoads, double**& oVectors) override;
  /// From the participation factors alone: translation along e has
  /// Gamma = e.Gamma_trans, rotation about e through P has
  /// Gamma = e.Gamma_rot - (e x P).Gamma_trans; vector d = -Gamma_.,d.
  /// A degenerate axis: E_FAIL, nothing returned.
  long ComputeRigidVectorsOnAxis(const VOKMathAxis& iAxis, double**& oVectors) override;
  /// Vector d = -Phi^T M r_d about the global origin and axes.
  long ComputeRigidVectors(double**& oVectors) override;
  /// A direction outside 1..6: E_INVALIDARG. Flag 0 (no axis): rotations are
  /// about the global axes; ioAxis becomes the global axis system. Flag
  /// non-zero: a degenerate axis gives E_FAIL; otherwise ioAxis is replaced
  /// by its orthonormal form (same origin).
  long CheckRotationAxis(VOKRawCollint& iDirections, int& ioAxisFlag,
                         VOKMathAxis& ioAxis) override;

  struct Data;  // shared, immutable model data

 protected:
  ModalBase(std::shared_ptr<const Data> iData);
  ~ModalBase() override;
  void* Answer(const IID& iIID) override;

 private:
  long NewTable(double**& oVectors, int iCount) const;
  std::shared_ptr<const Data> _Data;
  long Answered(long iResult, double**& ioVectors, int iCount) const;
  BaseAccess* _Access;
  bool _DampingDiagonal;
  VectorsAnswer _VectorsAnswer = VectorsAnswer::Computed;
  int _DofCount = 0;
  bool _DofCountSet = false;
};

/// The base's access object: VOKIDYNBaseAccess, VOKISpecObject (TestUpToDate
/// answers the flag of SetUpToDate) and alias (the base's display name).
class VOKHOST_API BaseAccess : public Feature, public VOKIDYNBaseAccess {
 public:
  /// CheckBaseState returns iResult from now on (S_OK: the state is sound).
  void SetStateResult(long iResult) { _StateResult = iResult; }

  // --- VOKIDYNBaseAccess
  long GetOccurrenceValues(VOKRawColldouble& ioValues) override;
  long CheckBaseState() override;

 protected:
  friend class ModalBase;
  BaseAccess(const std::string& iName, const std::vector<double>& iFrequencies);
  ~BaseAccess() override;
  void* Answer(const IID& iIID) override;

 private:
  std::vector<double> _Frequencies;
  long _StateResult;
};

// ------------------------------------------------------------------ loads

/// The stand-in's own interface of a load: its generalised force on a modal
/// base. Loads of other kinds (enforced displacements, ...) implement it too;
/// ComputeLoadVectors knows nothing else about a load.
VOK_DEFINE_IID(IID_ModalForceSource, 100);
class VOKHOST_API ModalForceSource : public virtual VOKBaseUnknown {
  VOK_INTERFACE(ModalForceSource)
  /// Writes the N generalised forces of this load on iBase into oForce
  /// (caller's array of ModeCount() values). Negative: the load does not fit
  /// the base (unknown node, ...), and oForce is unspecified.
  virtual long GeneralisedForce(const ModalBase& iBase, double* oForce) = 0;
};

/// A load of nodal forces and moments: node id -> (Fx, Fy, Fz, Mx, My, Mz).
/// Its generalised force is Phi^T f. A node unknown to the base: E_FAIL.
/// Like every load set of the analysis model it is an analysis set and scan
/// whose ScanByType("ComputedLoad") gives its computed load; that computed
/// load has no "SMSPC" record (it enforces no displacement).
class VOKHOST_API NodalLoad : public Feature, public ModalForceSource {
 public:
  static NodalLoad* Create(const std::string& iName);
  /// Adds to the values of node iNodeId (several calls add up).
  void AddNodalValues(int iNodeId, const std::array<double, 6>& iValues);

  long GeneralisedForce(const ModalBase& iBase, double* oForce) override;

 protected:
  explicit NodalLoad(const std::string& iName);
  ~NodalLoad() override;
  void* Answer(const IID& iIID) override;

 private:
  std::vector<std::pair<int, std::array<double, 6>>> _Values;
};

/// A load of a generated generalised force: on mode i (0-based) it is
/// 1 / (1 + i + 7 k). For benchmarks, which need any number of modes and
/// loads without the storage of shapes. A load set like a nodal load.
class VOKHOST_API GeneratedLoad : public Feature, public ModalForceSource {
 public:
  static GeneratedLoad* Create(int iK);
  /// The value of mode iMode, as GeneralisedForce writes it.
  static double Value(int iMode, int iK) { return 1.0 / (1.0 + iMode + 7.0 * iK); }

  long GeneralisedForce(const ModalBase& iBase, double* oForce) override;

 protected:
  explicit GeneratedLoad(int iK);
  ~GeneratedLoad() override;
  void* Answer(const IID& iIID) override;

 private:
  int _K;
};

// ------------------------------------------------------------ modulations

/// A modulation: a piecewise-linear table of (abscissa, factor), constant
/// beyond its first and last points (an empty table is worth 0.0). The
/// abscissa is a frequency in Hz or a time in s; the table does not care.
/// Evaluate has no way to fail and is not a fault point.
class VOKHOST_API Modulation : public Feature, public VOKIDYNModulation {
 public:
  /// Points must be given by non-decreasing abscissa (else null is returned).
  static Modulation* Create(const std::string& iName,
                            const std::vector<std::pair<double, double>>& iPoints);
  /// A modulation worth iFactor everywhere.
  static Modulation* Constant(const std::string& iName, double iFactor);
  const std::vector<std::pair<double, double>>& Points() const { return _Points; }

  double Evaluate(double iAbscissa) override;

 protected:
  Modulation(const std::string& iName, const std::vector<std::pair<double, double>>& iPoints);
  ~Modulation() override;
  void* Answer(const IID& iIID) override;

 private:
  std::vector<std::pair<double, double>> _Points;
};

// ------------------------------------------------------------ excitations

/// Lists that an excitation hands out; used to make one of them inconsistent.
enum class ExcitationList { None, Loads, Modulations, Amplitudes, Phases, Directions };

/// What every excitation can be told to do wrong, for tests.
class VOKHOST_API ExcitationBase : public Feature, public VOKIDYNExcitation {
 public:
  /// GetExcitationType reports iType (UndefinedExcitationType: neither kind).
  void SetReportedType(ExcitationType iType) { _ReportedType = iType; }
  /// GetExcitationType returns iResult when negative.
  void SetTypeResult(long iResult) { _TypeResult = iResult; }
  /// The values operation returns iResult (negative: nothing appended).
  void SetValuesResult(long iResult) { _ValuesResult = iResult; }
  /// The values operation leaves out the last entry of list iList, and of
  /// the lists named before (None: of no list).
  void SetShortList(ExcitationList iList);

  long GetExcitationType(ExcitationType& oType) override;

 protected:
  ExcitationBase(const std::string& iName, ExcitationType iType);
  ~ExcitationBase() override;
  void* Answer(const IID& iIID) override;
  ExcitationType _ReportedType;
  long _TypeResult;
  long _ValuesResult;
  unsigned _ShortLists;  // bit L: list L comes out short
};

/// A load excitation: entries (load, modulation or none, amplitude, phase in
/// radians), handed out in the order added.
class VOKHOST_API LoadExcitation : public ExcitationBase, public VOKIDYNLoadExcitation {
 public:
  static LoadExcitation* Create(const std::string& iName);
  /// iLoad and iModulation may be any component (or null); the excitation
  /// holds one reference to each.
  void AddEntry(VOKBaseUnknown* iLoad, VOKBaseUnknown* iModulation, float iAmplitude, float iPhase);
  int EntryCount() const { return static_cast<int>(_Entries.size()); }

  long GetLoadValues(VOKListValVOKISpecObject_var& ioLoads,
                     VOKListValVOKISpecObject_var& ioModulations, VOKRawCollfloat& ioAmplitudes,
                     VOKRawCollfloat& ioPhases) override;

 protected:
  explicit LoadExcitation(const std::string& iName);
  ~LoadExcitation() override;
  void* Answer(const IID& iIID) override;

 private:
  struct Entry {
    VOKBaseUnknown_var load;
    VOKBaseUnknown_var modulation;
    float amplitude;
    float phase;
  };
  std::vector<Entry> _Entries;
};

/// A restraint (base-motion) excitation: entries (direction 1..6, amplitude =
/// an acceleration, phase in radians, modulation or none), and an optional
/// axis system. Directions are handed out as given, unchecked.
class VOKHOST_API RestraintExcitation : public ExcitationBase, public VOKIDYNRestraintExcitation {
 public:
  static RestraintExcitation* Create(const std::string& iName);
  void AddDirection(int iDirection, float iAmplitude, float iPhase, VOKBaseUnknown* iModulation);
  /// The axis flag becomes 1 and the axis iAxis (kept as given).
  void SetAxis(const VOKMathAxis& iAxis);
  void ClearAxis();

  long GetRestraintValues(VOKListValVOKISpecObject_var& ioModulations,
                          VOKRawCollfloat& ioAmplitudes, VOKRawCollfloat& ioPhases,
                          VOKRawCollint& ioDirections, int& oAxisFlag,
                          VOKMathAxis& oAxis) override;

 protected:
  explicit RestraintExcitation(const std::string& iName);
  ~RestraintExcitation() override;
  void* Answer(const IID& iIID) override;

 private:
  struct Entry {
    int direction;
    float amplitude;
    float phase;
    VOKBaseUnknown_var modulation;
  };
  std::vector<Entry> _Entries;
  int _AxisFlag;
  VOKMathAxis _Axis;
};

}  // namespace VOKHost

#endif
