#ifndef VOKDYNMeshServices_h
#define VOKDYNMeshServices_h
// Mesh sizes and the solver's degree-of-freedom numbering of an analysis set.
//
// The numbering is read once, on the first query (a failed reading is
// retried by the next query), and kept; every table handed out is a new copy
// that the caller owns (free the row array and the rows with delete[]).
#include "VOKBaseUnknown.h"
#include "VOKAnalysisExplicit.h"
#include "VOKDYNToolsExport.h"

class ExportedByVOKDYNTools VOKDYNMeshServices : public VOKBaseUnknown {
 public:
  /// Asks iAnalysisSet (null allowed) for the solver numbering; keeps no
  /// reference to the set itself.
  VOKDYNMeshServices(VOKISamAnalysisSet* iAnalysisSet);
  /// Copies share nothing: each holds its own reference and its own cache.
  VOKDYNMeshServices(const VOKDYNMeshServices& iOther);
  VOKDYNMeshServices& operator=(const VOKDYNMeshServices& iOther);
  virtual ~VOKDYNMeshServices();

  static VOKMetaClass* MetaObject();
  static const GUID& ClassId();
  static const char* ClassName();
  /// Always null.
  static VOKBaseUnknown* CreateItself();
  virtual VOKMetaClass* GetMetaObject() const;
  virtual const char* IsA() const;
  virtual int IsAKindOf(const char* iName) const;

  long GetNbNodes(int& oNbNodes);
  /// Node count, DOFs per node (6), DOF count.
  long GetMeshSizes(int& oNbNodes, int& oNbDofPerNode, int& oNbDof);
  /// oTable[i] = {component, node} of solver DOF i; a new table, the caller's.
  long GetIPDEG(int& oNbDof, int**& oTable);
  /// oTable[c][column of node n] = DOF index; a new table of 6 rows, the
  /// caller's. oUnused is never written.
  long GetIFLEC(int& oNbNodes, int& oUnused, int**& oTable);

 private:
  long Init();

  static VOKMetaClass* meta_object;

  VOKITarvoMultipleDofVector* _pMultipleDofVector;
  int _NbDofPerNode;
  int _NDEGT;
  int** _ppIPDEG;
};

#endif
