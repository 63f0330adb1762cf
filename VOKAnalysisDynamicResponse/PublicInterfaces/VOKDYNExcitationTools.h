#ifndef VOKDYNExcitationTools_h
#define VOKDYNExcitationTools_h
// Excitation tools: second members built from the excitations of a dynamic
// analysis and their evaluation at any abscissa; rigid-body and
// enforced-displacement contributions added to responses.
//
// Use: construct (reference count 1), Initialize (or InitializeForResult),
// query any number of times, Release. A new initialisation drops everything
// held first.
//
// Ownership: the object holds one reference to the base tools, to each held
// excitation interface and to each non-null modulation, and owns every array
// it keeps. The excitation list and the base tools passed in stay the
// caller's. An array that GetExcitValues allocates for a null pointer becomes
// the caller's (free it with delete[]). The Add... operations never allocate,
// resize or free the caller's arrays: they only add into them.
#include "VOKBaseUnknown.h"
#include "VOKCollections.h"
#include "VOKDYNInterfaces.h"
#include "VOKDYNToolsExport.h"
#include "VOKListPtrVOKIDYNModulation.h"
#include "VOKMath.h"

class ExportedByVOKDYNTools VOKDYNExcitationTools : public VOKBaseUnknown {
 public:
  VOKDYNExcitationTools();
  virtual ~VOKDYNExcitationTools();

  /// The class's meta-class, registered on first use of any meta-class operation.
  static VOKMetaClass* MetaObject();
  static const GUID& ClassId();
  static const char* ClassName();
  /// Always null: the class is constructed directly, never through its meta-class.
  static VOKBaseUnknown* CreateItself();
  virtual VOKMetaClass* GetMetaObject() const;
  virtual const char* IsA() const;
  virtual int IsAKindOf(const char* iName) const;

  /// Builds the second members of every excitation of iExcitations, in list
  /// order. oFirstType receives the first excitation's type, on success only.
  /// iDomain DYNTimeDomain: phases are not read, and from then on this object
  /// always evaluates real values. A list holding a second excitation of a
  /// kind already met, or a restraint direction outside 1..6, is refused
  /// (E_FAIL). On failure what was built so far stays, not initialised.
  long Initialize(VOKListValVOKBaseUnknown_var iExcitations, VOKIDYNBaseTools* iBaseTools,
                  ExcitationType& oFirstType, DYNAnalysisDomain iDomain);
  /// Keeps the excitation interfaces (and the base tools) for the Add...
  /// operations; builds no second member. At most one excitation of each
  /// kind: a second one is refused (E_FAIL).
  long InitializeForResult(VOKListValVOKBaseUnknown_var iExcitations, VOKIDYNBaseTools* iBaseTools,
                           ExcitationType& oFirstType);
  /// RestraintExcitationType when any excitation is a restraint one (with the
  /// axis indicator of its reading), else the first excitation's type.
  /// E_FAIL before any initialisation.
  long GetTypeOfExcitation(ExcitationType& oType, unsigned char& oAxisDefined) const;

  /// The total excitation on every degree of freedom at iAbscissa (frequency
  /// or time). ioValues null: a new array of N values, the caller's. Otherwise
  /// the caller's array of at least N values is cleared, then filled.
  /// Failures, ioValues untouched and nothing allocated: not initialised, or
  /// no memory for the weights or for the new array (E_FAIL); GetNbDof failing (its code); N = 0
  /// (GetNbDof's non-negative code).
  long GetExcitValues(double iAbscissa, VOKMathComplex*& ioValues);
  /// The total excitation at iNbAbscissae abscissae in one call: row f of
  /// oValues (values f*N .. f*N+N-1, F x N row-major) holds exactly what
  /// GetExcitValues(iAbscissae[f], row) gives, to the last bit. oValues is
  /// the caller's, allocated and freed by it, at least F*N values; every one
  /// of them is written, nothing is read. The modulations are evaluated
  /// abscissa by abscissa, each time in second-member order, as F single
  /// calls would; the base tools are asked for N once.
  /// Failures, oValues untouched: not initialised, iNbAbscissae < 1, a null
  /// iAbscissae or oValues, no memory for the weights (E_FAIL); GetNbDof
  /// failing (its code); N = 0 (GetNbDof's non-negative code).
  long GetExcitValues(int iNbAbscissae, const double* iAbscissae, VOKMathComplex* oValues);

  // ------------------------------------------------ rigid-body contributions
  // Each adds the rigid-body modes of the restrained directions, weighted by
  // a coefficient, into the caller's arrays; needs InitializeForResult (or
  // Initialize) with a restraint excitation. Positions are physical degrees
  // of freedom of the rigid-mode provider. Coefficients at a frequency f:
  // k = -1/(2 pi f)^2 (0 at f = 0), g = modulation(f) * k, re = (A g) cos(phi),
  // im = (A g) sin(phi), cosine and sine in single precision. Failures:
  // E_FAIL for a missing argument or inconsistent data, a failing call's own
  // code for the restraint data and the mode computation. The mode arrays
  // the provider hands over are freed here; the caller's arrays are neither
  // allocated nor freed.

  /// out[p] += coefs[i-1] * R[(d_i-1)*N+p]; iN must equal the model's N.
  long AddRigidExcit(double iUnused, int iN, double* ioValues, double* iCoefficients) const;
  /// At frequency iFrequency: out[p] += c_i * R[(d_i-1)*N+p], complex c_i of
  /// the direction's modulation, amplitude and phase, divided by -omega^2.
  /// The caller's array is only updated after every direction was summed; a
  /// direction whose modulation is no modulation is skipped (E_FAIL, the
  /// others added); a null modulation handle: E_FAIL, nothing added.
  long AddRigidExcit(double iFrequency, int iN, VOKMathComplex*& ioValues) const;
  /// Node iNode, components iComponents (0..5), frequencies iFrequencies:
  /// ioReal[r-1][t-1] and ioImaginary[r-1][t-1] receive component r at frequency t.
  long AddRigidExcit(int iNode, VOKRawCollint& iComponents, VOKRawCollfloat& iFrequencies,
                     double**& ioReal, double**& ioImaginary) const;
  /// Time steps: ioValues[r-1][t] += R[(d_j-1)*N+dofs[r]] * v_t[j-1], with the
  /// generalized displacements v_t of iGeneralizedDisplacement (one per
  /// direction). A step that fails or gives another count ends the call with
  /// E_FAIL; the earlier steps stay added.
  long AddRigidExcit(int iUnused, VOKRawCollint& iDofs, VOKRawCollfloat& iSteps,
                     VOKISpecObject*& iGeneralizedDisplacement, double**& ioValues) const;

  // --------------------------------------- enforced-displacement contributions

  /// Narrows the four parallel lists in place to the load sets that enforce
  /// displacements and appends the static set of each kept load set to
  /// oStaticSets. On failure the four lists are left as they were.
  long FilterForEnforcedDisp(VOKListValVOKISpecObject_var& ioLoads,
                             VOKListValVOKISpecObject_var& ioModulations,
                             VOKRawCollfloat& ioAmplitudes, VOKRawCollfloat& ioPhases,
                             VOKListValVOKISpecObject_var& oStaticSets) const;
  // The enforced-displacement contributions keep the load sets of the held
  // load excitation that enforce displacements (FilterForEnforcedDisp) and
  // add the static displacement D_j of each (its static set's "DEPL"
  // record), weighted like a rigid-body direction. None kept: S_OK, nothing
  // added. A failing call's own code is passed back.

  /// out[p] += D_j[p] * coefs[j-1] over the kept load sets j. Each record
  /// must hold iN values (else E_FAIL); the earlier sets stay added.
  long AddEnforcedDispExcit(double iUnused, int iN, double* ioValues, double* iCoefficients) const;
  /// At frequency iFrequency: out[p] += c_j * D_j[p]. At frequency 0: S_OK,
  /// nothing asked. Each record must hold iN values (else E_FAIL); the
  /// caller's array is only updated after every set was summed.
  long AddEnforcedDispExcit(double iFrequency, int iN, VOKMathComplex*& ioValues) const;
  /// Degrees of freedom iDofs at frequencies iFrequencies into ioReal /
  /// ioImaginary; a set without modulation is skipped, its record unread.
  long AddEnforcedDispExcit(int iUnused, VOKRawCollint& iDofs, VOKRawCollfloat& iFrequencies,
                            double**& ioReal, double**& ioImaginary) const;
  /// Degrees of freedom iDofs at the time steps into ioValues, one generalized
  /// displacement per kept set; each record is read once.
  long AddEnforcedDispExcit(int iUnused, VOKRawCollint& iDofs, VOKRawCollfloat& iSteps,
                            VOKISpecObject*& iGeneralizedDisplacement, double**& ioValues) const;

 private:
  VOKDYNExcitationTools(const VOKDYNExcitationTools&);
  VOKDYNExcitationTools& operator=(const VOKDYNExcitationTools&);

  void CleanAll();
  /// Opening of both initialisations: E_FAIL (nothing changed) for an empty
  /// list or a null base; otherwise everything held is released, iBaseTools
  /// is held (one reference, released by CleanAll) and the type table holds
  /// one undefined type per element (no memory for it: E_FAIL, no table).
  long BeginInitialization(const VOKListValVOKBaseUnknown_var& iExcitations,
                           VOKIDYNBaseTools* iBaseTools);
  /// Closing of both initialisations: the first type out, the object ready.
  long EndInitialization(ExcitationType& oFirstType);
  long AddExcitation(VOKIDYNExcitation* iExcitation, ExcitationType& oType);
  long GetLoadExcitValues(VOKIDYNExcitation* iExcitation, double**& oVectors,
                          VOKListValVOKISpecObject_var& oModulations, VOKRawCollfloat& oAmplitudes);
  long GetRestraintExcitValues(VOKIDYNExcitation* iExcitation, double**& oVectors,
                               VOKListValVOKISpecObject_var& oModulations,
                               VOKRawCollfloat& oAmplitudes);
  long SecondMemberElaboration(double** iVectors, VOKListValVOKISpecObject_var& iModulations,
                               VOKRawCollfloat& iAmplitudes);
  /// The opening of both evaluations: the object's state, then N from the
  /// base tools (asked once, before any modulation is evaluated). True with
  /// oN = N > 0 when there is something to evaluate; otherwise false with
  /// oResult the evaluation's result (E_FAIL, GetNbDof's failure, or its
  /// non-negative code for N = 0) and oN untouched.
  bool ReadyToEvaluate(int& oN, long& oResult) const;
  /// Weights of the second members at the iNbAbscissae abscissae, then the
  /// sums into F x N values. ioValues null: a new array of F x N values,
  /// allocated after the weights and the caller's (delete[]); otherwise the
  /// caller's array. The weights are this call's own, freed before it
  /// returns; no memory for them: E_FAIL, ioValues untouched.
  long Evaluate(int iNbAbscissae, const double* iAbscissae, int iN, VOKMathComplex*& ioValues);

  static VOKMetaClass* meta_object;

  VOKIDYNBaseTools* _BaseTools;
  unsigned char _Initialized;
  unsigned char _WithPhase;
  unsigned char _AxisDefined;
  VOKRawCollfloat _Phases;
  double** _SecondMembers;
  int _NbSecondMembers;
  int _NbExcitations;
  VOKListPtrVOKIDYNModulation _Modulations;
  ExcitationType* _ExcitationTypes;
  VOKIDYNRestraintExcitation* _RestraintExcitation;
  VOKIDYNLoadExcitation* _LoadExcitation;
  DYNAnalysisDomain _Domain;
};

#endif
