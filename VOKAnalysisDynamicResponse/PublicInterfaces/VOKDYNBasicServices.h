#ifndef VOKDYNBasicServices_h
#define VOKDYNBasicServices_h
// Node numbers and the sample range of a dynamic solution.
#include "VOKAnalysisExplicit.h"
#include "VOKDYNToolsExport.h"

class ExportedByVOKDYNTools VOKDYNBasicServices {
 public:
  /// The sequential and user numbers, in iDocument's explicit model, of the
  /// node with mesh tag iMeshTag (in iDocument itself for iAssemblyNumber 0,
  /// else in the assembled analysis of that number). Not found: -1 and 0.
  static long GetNodeSequentialNumber(int iMeshTag, int iAssemblyNumber, VOKDocument* iDocument,
                                      int& oSequentialNumber, int& oUserNumber);
  /// "DYNSampleMinimum" and "DYNSampleMaximum" of the dynamic solution.
  /// Failures leave an error record.
  static long GetSampleDefinition(VOKISpecObject_var& iDynSol, double& oMinimum, double& oMaximum);
  /// Copies nothing.
  VOKDYNBasicServices& operator=(const VOKDYNBasicServices& iOther);
};

#endif
