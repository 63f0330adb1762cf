#ifndef VOKDYNInterfaces_h
#define VOKDYNInterfaces_h
// Interfaces of the dynamic-response model: excitations, modulations,
// generalized displacements, the modal base's tools and access object, and
// the rigid-mode provider.
//
// Arrays and vector tables returned by these operations are array
// allocations (new[]) that become the caller's.
#include "VOKFeatureInterfaces.h"
#include "VOKMath.h"

VOK_DEFINE_IID(IID_VOKIDYNExcitation, 20);
VOK_DEFINE_IID(IID_VOKIDYNLoadExcitation, 21);
VOK_DEFINE_IID(IID_VOKIDYNRestraintExcitation, 22);
VOK_DEFINE_IID(IID_VOKIDYNModulation, 23);
VOK_DEFINE_IID(IID_VOKIDYNGeneralizedDisplacement, 24);
VOK_DEFINE_IID(IID_VOKIDYNBaseTools, 25);
VOK_DEFINE_IID(IID_VOKIDYNBaseAccess, 26);
VOK_DEFINE_IID(IID_VOKIDYNRigidModeProvider, 27);

/// Kind of an excitation.
enum ExcitationType {
  LoadExcitationType = 0,       ///< one second member per load
  RestraintExcitationType = 1,  ///< six second members, one per rigid-body direction
  UndefinedExcitationType = 2   ///< not yet known
};

/// Domain of an analysis.
enum DYNAnalysisDomain {
  DYNTimeDomain = 1,    ///< phases are neither read nor applied
  DYNDefaultDomain = 2  ///< phases are read and applied
};

class VOKIDYNExcitation : public virtual VOKBaseUnknown {
  VOK_INTERFACE(VOKIDYNExcitation)
  virtual long GetExcitationType(ExcitationType& oType) = 0;
};

class VOKIDYNLoadExcitation : public virtual VOKBaseUnknown {
  VOK_INTERFACE(VOKIDYNLoadExcitation)
  /// Appends one entry per load: the load, its modulation (null allowed), its
  /// amplitude and its phase in radians.
  virtual long GetLoadValues(VOKListValVOKISpecObject_var& ioLoads,
                             VOKListValVOKISpecObject_var& ioModulations,
                             VOKRawCollfloat& ioAmplitudes, VOKRawCollfloat& ioPhases) = 0;
};

class VOKIDYNRestraintExcitation : public virtual VOKBaseUnknown {
  VOK_INTERFACE(VOKIDYNRestraintExcitation)
  /// Appends one entry per restrained direction (1..6; 4..6 rotations) and
  /// fills the axis flag (non-zero: an axis system is given) and the axis.
  virtual long GetRestraintValues(VOKListValVOKISpecObject_var& ioModulations,
                                  VOKRawCollfloat& ioAmplitudes, VOKRawCollfloat& ioPhases,
                                  VOKRawCollint& ioDirections, int& oAxisFlag,
                                  VOKMathAxis& oAxis) = 0;
};

class VOKIDYNModulation : public virtual VOKBaseUnknown {
  VOK_INTERFACE(VOKIDYNModulation)
  /// The modulation's factor at a frequency or a time.
  virtual double Evaluate(double iAbscissa) = 0;
};

class VOKIDYNGeneralizedDisplacement : public virtual VOKBaseUnknown {
  VOK_INTERFACE(VOKIDYNGeneralizedDisplacement)
  /// The values of step iStep (from 0): oCount values in a new array that the
  /// caller deletes with delete[].
  virtual long GetStepValues(int iStep, int& oCount, double*& oValues) = 0;
};

/// Rigid-body modes of the model (reached through VOKIDYNBaseTools).
class VOKIDYNRigidModeProvider : public virtual VOKBaseUnknown {
  VOK_INTERFACE(VOKIDYNRigidModeProvider)
  /// oN and a new array of 6*oN doubles: block d-1 is the rigid-body vector of
  /// direction d over all degrees of freedom of the model.
  virtual long ComputeRigidModes(const VOKMathAxis& iAxis, int& oN, double*& oModes) = 0;
  /// oSize and a new array of 36 doubles: entry (d-1)*6+c is component c of
  /// node iNode for direction d.
  virtual long ComputeNodeRigidModes(int iNode, const VOKMathAxis& iAxis, int& oSize,
                                     double*& oModes) = 0;
};

class VOKIDYNBaseTools : public virtual VOKBaseUnknown {
  VOK_INTERFACE(VOKIDYNBaseTools)
  /// N: the number of degrees of freedom of the tools (the modes of the base).
  virtual long GetNbDof(int& oN) = 0;
  /// A new reference to the rigid-mode provider.
  virtual long GetRigidModeProvider(VOKIDYNRigidModeProvider*& oProvider) = 0;
  /// Non-zero when the damping matrix is diagonal in the modal base.
  virtual long IsDampingDiagonal(int& oDiagonal) = 0;
  /// A new array of N modal stiffnesses.
  virtual long GetModalStiffnesses(double*& oStiffnesses) = 0;
  /// A new array of N modal masses.
  virtual long GetModalMasses(double*& oMasses) = 0;
  /// A new table of one new N-vector per load of iLoads.
  virtual long ComputeLoadVectors(VOKListValVOKISpecObject_var& iLoads, double**& oVectors) = 0;
  /// A new table of six new N-vectors, rigid-body directions 1..6 of iAxis.
  virtual long ComputeRigidVectorsOnAxis(const VOKMathAxis& iAxis, double**& oVectors) = 0;
  /// A new table of six new N-vectors, rigid-body directions 1..6 of the global axes.
  virtual long ComputeRigidVectors(double**& oVectors) = 0;
  /// Checks the axis of the restrained directions; may adjust the flag and axis.
  virtual long CheckRotationAxis(VOKRawCollint& iDirections, int& ioAxisFlag,
                                 VOKMathAxis& ioAxis) = 0;
};

class VOKIDYNBaseAccess : public virtual VOKBaseUnknown {
  VOK_INTERFACE(VOKIDYNBaseAccess)
  /// Appends one value per mode (its frequency).
  virtual long GetOccurrenceValues(VOKRawColldouble& ioValues) = 0;
  /// Fails when the base's state is questionable.
  virtual long CheckBaseState() = 0;
};

typedef VOKVar<VOKIDYNExcitation> VOKIDYNExcitation_var;
typedef VOKVar<VOKIDYNLoadExcitation> VOKIDYNLoadExcitation_var;
typedef VOKVar<VOKIDYNRestraintExcitation> VOKIDYNRestraintExcitation_var;
typedef VOKVar<VOKIDYNModulation> VOKIDYNModulation_var;
typedef VOKVar<VOKIDYNGeneralizedDisplacement> VOKIDYNGeneralizedDisplacement_var;
typedef VOKVar<VOKIDYNBaseTools> VOKIDYNBaseTools_var;
typedef VOKVar<VOKIDYNBaseAccess> VOKIDYNBaseAccess_var;
typedef VOKVar<VOKIDYNRigidModeProvider> VOKIDYNRigidModeProvider_var;

#endif
