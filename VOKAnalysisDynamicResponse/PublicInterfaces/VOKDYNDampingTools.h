#ifndef VOKDYNDampingTools_h
#define VOKDYNDampingTools_h
// Damping tools: the damping definition of a damping feature (modal damping
// in percent of critical damping, or Rayleigh coefficients; global or per
// mode), checked against its modal base, and one damping term per mode.
//
// Use: construct on the damping feature, ask any query in any order, delete.
// The definition and the base are read on the first query that needs them
// and kept for the object's life (a failed reading is retried by the next
// query); build a new object to see changes.
//
// Ownership: the object holds one reference to the feature and to the base
// tools, and owns the per-mode lists it read.
#include "VOKCollections.h"
#include "VOKDYNDampingEnums.h"
#include "VOKDYNInterfaces.h"
#include "VOKDYNToolsExport.h"
#include "VOKString.h"

class ExportedByVOKDYNTools VOKDYNDampingTools {
 public:
  /// iFeature may be null (every query then fails); a reference is added.
  VOKDYNDampingTools(VOKISpecObject* iFeature);
  virtual ~VOKDYNDampingTools();

  /// oUpToDate: non-zero when the base is up to date. With iWarn, a stale
  /// base is also shown in a warning naming the base.
  long CheckIfBaseUptoDate(unsigned char& oUpToDate, unsigned char iWarn);
  /// The definition against the base; an invalid definition is a result
  /// (oValidity), not a failure.
  long CheckDefinition(VOKDYNDampingValidity& oValidity);
  /// oDiagonal: non-zero when the damping matrix is diagonal in the modal
  /// base; oType: the definition's type.
  long GetDampingDefinition(unsigned char& oDiagonal, VOKDYNDampingType& oType);
  /// Appends one damping term per mode to the empty list oValues; appends
  /// nothing (S_OK) for a definition invalid for the base.
  long GetDampingValues(VOKRawColldouble& oValues);
  /// Not available: always E_FAIL, outputs untouched.
  long GetDampingValues(double** oValues, int& oCount);
  /// Shows an error notification; always S_OK. iParameters is not used.
  long DampingMessage(VOKDYNDampingErrorMessage iMessage, VOKListValVOKUnicodeString* iParameters);
  /// Shows a warning notification; always S_OK. The list stays the caller's.
  long DampingMessage(VOKDYNDampingWarningMessage iMessage, VOKListValVOKUnicodeString* iParameters);
  /// Appends one title per mode of the base (its value, "%g" of the value
  /// rounded to single precision) to the empty list oTitles.
  long GetListOfOccTitleForDump(VOKListValVOKUnicodeString& oTitles);

 private:
  VOKDYNDampingTools(VOKDYNDampingTools&);
  VOKDYNDampingTools& operator=(VOKDYNDampingTools&);

  long FindTheBase();
  long Init();
  long SetDefaultDamping();
  long GetRayleighDamping(VOKISamBasicComponent_var iComponent);
  long GetModalDamping(VOKISamBasicComponent_var iComponent);
  // The definition and the base, each read on first need (E_UNEXPECTED when
  // the lookup leaves no base), then the base's IsDampingDiagonal.
  long DiagonalityOfTheBase(int& oDiagonal);

  VOKISpecObject* _Feature;
  VOKIDYNBaseTools* _BaseTools;
  int _DampingType;
  int _DefinitionMode;
  VOKRawColldouble* _AlphaList;
  VOKRawColldouble* _BetaList;
  double _Alpha;
  double _Beta;
};

#endif
