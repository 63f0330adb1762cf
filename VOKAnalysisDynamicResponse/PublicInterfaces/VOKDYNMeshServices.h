#ifndef VOKDYNMeshServices_h
#define VOKDYNMeshServices_h
// Mesh sizes and the solver's degree-of-freedom numbering of an analysis set.
//
// The numbering is read once, on the first query (a reading whose component
// and node lists differ in size is retried by the next query), and kept for
// the object's life; every table handed out is a new copy that the caller
// owns. Node numbers count from 1; the node count is the node of the solver's
// last DOF (0 when the solver has no DOF).
#include "VOKBaseUnknown.h"
#include "VOKAnalysisExplicit.h"
#include "VOKDYNToolsExport.h"

class ExportedByVOKDYNTools VOKDYNMeshServices : public VOKBaseUnknown {
 public:
  /// Asks iAnalysisSet (null allowed) for the solver numbering; keeps no
  /// reference to the set itself.
  VOKDYNMeshServices(VOKISamAnalysisSet* iAnalysisSet);
  /// Copies share nothing: each holds its own reference to the solver's
  /// numbering and its own copy of the cache (read or not).
  VOKDYNMeshServices(const VOKDYNMeshServices& iOther);
  /// Gives up the reference and cache this object held, then copies as above.
  VOKDYNMeshServices& operator=(const VOKDYNMeshServices& iOther);
  /// Releases the reference and frees the cache.
  virtual ~VOKDYNMeshServices();

  static VOKMetaClass* MetaObject();
  static const GUID& ClassId();
  static const char* ClassName();
  /// Always null.
  static VOKBaseUnknown* CreateItself();
  virtual VOKMetaClass* GetMetaObject() const;
  virtual const char* IsA() const;
  virtual int IsAKindOf(const char* iName) const;

  /// Node count. E_FAIL (no error record, nothing written) when the
  /// numbering cannot be read.
  long GetNbNodes(int& oNbNodes);
  /// Node count, DOFs per node (6), DOF count; failure as GetNbNodes.
  long GetMeshSizes(int& oNbNodes, int& oNbDofPerNode, int& oNbDof);
  /// oTable[i] = {component, node} of solver DOF i, a new table the caller
  /// owns: the pairs are one block, oTable[0], when oNbDof > 0 (delete[]
  /// oTable[0], then delete[] oTable; with no DOF only delete[] oTable).
  /// oNbDof is 0 on failure (E_FAIL, error record, oTable untouched).
  long GetIPDEG(int& oNbDof, int**& oTable);
  /// oTable[c][n - 1] = index of the DOF of component c (0..5) at node n
  /// (1..oNbNodes); 0 where no DOF is. A new table of 6 rows the caller owns
  /// (delete[] each row, then delete[] oTable). A node count of 0 or less
  /// fails (E_FAIL, ": bad size" record) after writing oNbNodes. oUnused is
  /// never written.
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
