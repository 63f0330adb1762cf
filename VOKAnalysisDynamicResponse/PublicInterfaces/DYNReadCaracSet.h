#ifndef DYNReadCaracSet_h
#define DYNReadCaracSet_h
// Reading of a characteristic of a set of the analysis explicit model.
#include "VOKAnalysisExplicit.h"
#include "VOKDYNToolsExport.h"

/// Appends to ioValues, as doubles, the values of the characteristic of
/// physical type iPhysicalTypeName and selector iSelector (1, 2 or 3; other
/// values leave the selector at its default) of the set iSet. Values are
/// appended only when every step succeeded. The model's collector of the
/// set is read in place (and made not streamable); otherwise the set itself
/// is asked for one, which is released before returning. Returns S_OK,
/// E_FAIL for a missing object (including no collector at all), or the
/// non-zero result of the call that failed, positive codes included.
ExportedByVOKDYNTools long DYNReadCaracSet(VOKISpecObject_var& iSet, char* iPhysicalTypeName,
                                           int iSelector, VOKRawColldouble& ioValues);

#endif
