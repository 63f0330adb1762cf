#ifndef VOKHostSolverRecords_h
#define VOKHostSolverRecords_h
// The stand-in's solver record store: per object, named records of doubles,
// read through VOKTarvoAccessDataServices::ReadDescSizes / ReadDescData.
//
// An object is identified by its answer to a query for IID_VOKBaseUnknown,
// so every interface pointer of one component reaches the same records.
// The store holds no reference to the objects: records must be erased
// before their object dies (the stand-in's components that carry records,
// VOKHostResponses.h, erase their own when destroyed), or a later object
// born at the same address would find them.
#include <string>
#include <vector>

#include "VOKBaseUnknown.h"

namespace VOKHost {

/// Sets (or replaces) record iName of iObject. An empty record is a record
/// of size 0, which readers cannot tell from no record.
VOKHOST_API void SetSolverRecord(VOKBaseUnknown* iObject, const std::string& iName,
                                 const std::vector<double>& iValues);
/// Erases record iName of iObject (nothing when absent).
VOKHOST_API void EraseSolverRecord(VOKBaseUnknown* iObject, const std::string& iName);
/// Erases every record of iObject, given as its VOKBaseUnknown pointer (no
/// query is made: this is safe from the object's destructor).
VOKHOST_API void EraseSolverRecords(VOKBaseUnknown* iObject);
/// Erases every record of every object.
VOKHOST_API void ClearSolverRecords();
/// Number of records held, all objects together.
VOKHOST_API int SolverRecordCount();

/// How often record iName of iObject was asked for, since the last reset.
struct SolverRecordReads {
  int sizes = 0;  ///< ReadDescSizes calls that reached the store
  int data = 0;   ///< ReadDescData calls that reached the store
};
VOKHOST_API SolverRecordReads SolverRecordReadCount(VOKBaseUnknown* iObject,
                                                    const std::string& iName);
VOKHOST_API void ResetSolverRecordReadCounts();

}  // namespace VOKHost

#endif
