// Node numbers and the sample range of a dynamic solution.
#include "VOKDYNBasicServices.h"

#include "VOKDYNErrorRecord.h"
#include "VOKErrors.h"
#include "VOKDYNAllocationBoundary.h"

namespace {
const char kSourceFile[] = "VOKAnalysisDynamicResponse\\VOKDYNTools.m\\src\\VOKDYNBasicServices";

// The document whose explicit model holds assembled analysis iAssemblyNumber
// of iDocument, or null when any step of the way is missing. The results of
// the lookups are not what counts: a missing object ends the search, and the
// node lookup that follows then fails on the null document.
VOKDocument* AssembledDocument(VOKDocument* iDocument, int iAssemblyNumber) {
  VOKDocument* document = nullptr;
  VOKISamAnalysisManager_var manager;
  VOKSamModelServices::GetManager(iDocument, manager);
  if (!manager) return nullptr;
  VOKBaseUnknown_var analysisModel;
  manager->GetAnalysisModel(analysisModel);
  if (!analysisModel) return nullptr;
  void* answer = nullptr;
  if (SUCCEEDED(analysisModel->QueryInterface(IID_VOKISamAnalysisAssembly, &answer)) && answer) {
    VOKISamAnalysisAssembly* assembly = static_cast<VOKISamAnalysisAssembly*>(answer);
    assembly->GetAssembledDocument(iAssemblyNumber, document);
    assembly->Release();
  }
  return document;
}
}  // namespace

long VOKDYNBasicServices::GetNodeSequentialNumber(int iMeshTag, int iAssemblyNumber,
                                                  VOKDocument* iDocument, int& oSequentialNumber,
                                                  int& oUserNumber) {
  return VOKDYN::AllocationBoundary(E_FAIL, [&]() -> long {
    // What the caller gets when the node is not found.
    int sequentialNumber = -1;
    int userNumber = 0;

    VOKDocument* searchDocument =
        iAssemblyNumber == 0 ? iDocument : AssembledDocument(iDocument, iAssemblyNumber);

    // The node is found by its mesh tag in the searched model, and its numbers
    // are read from the same node in iDocument's own model.
    VOKAnalysisExplicitModel* searchModel = VOKAnalysisExplicitModel::GetDocumentModel(searchDocument);
    VOKAnalysisExplicitNode found;
    long result = found.LinkWithMeshTag(iMeshTag, searchModel);
    if (found == NULL_exp) {
      result = E_FAIL;
    } else if (SUCCEEDED(result)) {
      VOKSamModelDataRoot* pointer = found.GetPointer();
      VOKAnalysisExplicitModel* documentModel = VOKAnalysisExplicitModel::GetDocumentModel(iDocument);
      VOKAnalysisExplicitNode inDocument;
      result = inDocument.LinkWithPointer(pointer, documentModel);
      if (SUCCEEDED(result)) {
        inDocument.GetUserNumber(userNumber);
        inDocument.GetSequentialNumber(sequentialNumber);
      }
    }

    oSequentialNumber = sequentialNumber;
    oUserNumber = userNumber;
    return result;
  });
}

long VOKDYNBasicServices::GetSampleDefinition(VOKISpecObject_var& iDynSol, double& oMinimum,
                                              double& oMaximum) {
  return VOKDYN::AllocationBoundary(E_FAIL, [&]() -> long {
    ErrorDepthHandler scope;
    if (!iDynSol) return VOKDYN::ErrorRecord(3, "!!iDynSol", kSourceFile, 91);

    VOKISamAnalysisSet_var hAnalysisSet(iDynSol);
    if (!hAnalysisSet) return VOKDYN::ErrorRecord(3, "!!hAnalysisSet", kSourceFile, 95);

    const VOKUnicodeString modelUnits;  // empty: the values in the model's units
    VOKISamBasicComponent_var hBasicComp;
    if (FAILED(hAnalysisSet->GetBasicComponent(VOKUnicodeString("DYNSampleMinimum"), hBasicComp)))
      return VOKDYN::ErrorRecord(1, "", kSourceFile, 100);
    if (!hBasicComp) return VOKDYN::ErrorRecord(3, "!!hBasicComp", kSourceFile, 101);
    // The minimum reaches the caller here, whatever happens to the maximum.
    if (FAILED(hBasicComp->GetValue(&oMinimum, modelUnits, 0, 0, 0)))
      return VOKDYN::ErrorRecord(1, "", kSourceFile, 103);

    if (FAILED(hAnalysisSet->GetBasicComponent(VOKUnicodeString("DYNSampleMaximum"), hBasicComp)))
      return VOKDYN::ErrorRecord(1, "", kSourceFile, 109);
    if (!hBasicComp) return VOKDYN::ErrorRecord(3, "!!hBasicComp", kSourceFile, 110);
    if (FAILED(hBasicComp->GetValue(&oMaximum, modelUnits, 0, 0, 0)))
      return VOKDYN::ErrorRecord(1, "", kSourceFile, 112);
    return S_OK;
  });
}

VOKDYNBasicServices& VOKDYNBasicServices::operator=(const VOKDYNBasicServices&) { return *this; }
