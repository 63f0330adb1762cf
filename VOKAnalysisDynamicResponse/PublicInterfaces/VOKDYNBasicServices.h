#ifndef VOKDYNBasicServices_h
#define VOKDYNBasicServices_h
// Node numbers and the sample range of a dynamic solution.
#include "VOKAnalysisExplicit.h"
#include "VOKDYNToolsExport.h"

class ExportedByVOKDYNTools VOKDYNBasicServices {
 public:
  /// The sequential and user numbers, in iDocument's explicit model, of the
  /// node with mesh tag iMeshTag (in iDocument itself for iAssemblyNumber 0,
  /// else in the assembled analysis of that number). Both outputs are always
  /// written; not found: -1 and 0. Returns the result of the node lookup
  /// (E_FAIL for a mesh tag no node carries). No error record.
  static long GetNodeSequentialNumber(int iMeshTag, int iAssemblyNumber, VOKDocument* iDocument,
                                      int& oSequentialNumber, int& oUserNumber);
  /// "DYNSampleMinimum" and "DYNSampleMaximum" of the dynamic solution.
  /// S_OK or E_FAIL; a failure leaves an error record. The minimum is written
  /// as soon as it is read, even when the maximum then fails.
  static long GetSampleDefinition(VOKISpecObject_var& iDynSol, double& oMinimum, double& oMaximum);
  /// Copies nothing.
  VOKDYNBasicServices& operator=(const VOKDYNBasicServices& iOther);
};

#endif
