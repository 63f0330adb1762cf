// Mesh sizes and the solver's degree-of-freedom numbering of an analysis set.
#include "VOKDYNMeshServices.h"

#include "VOKDYNErrorRecord.h"
#include "VOKDYNTraceChannels.h"
#include "VOKErrors.h"

namespace {
const char kSourceFile[] = "VOKAnalysisDynamicResponse\\VOKDYNTools.m\\src\\VOKDYNMeshServices";

// A cache of iCount rows of {component, node}, each row its own array.
int** CopyCache(int** iRows, int iCount) {
  if (!iRows) return nullptr;
  int** rows = new int*[iCount];
  for (int i = 0; i < iCount; ++i) rows[i] = new int[2]{iRows[i][0], iRows[i][1]};
  return rows;
}

void FreeCache(int**& ioRows, int iCount) {
  if (!ioRows) return;
  for (int i = 0; i < iCount; ++i) {
    delete[] ioRows[i];
    ioRows[i] = nullptr;
  }
  delete[] ioRows;
  ioRows = nullptr;
}

// The node count is the node of the last DOF. With no DOF there is no last
// row to read: the count is 0.
int NodeCount(int** iRows, int iCount) { return iCount > 0 ? iRows[iCount - 1][1] : 0; }
}  // namespace

VOKMetaClass* VOKDYNMeshServices::meta_object = nullptr;

VOKDYNMeshServices::VOKDYNMeshServices(VOKISamAnalysisSet* iAnalysisSet)
    : VOKBaseUnknown(), _pMultipleDofVector(nullptr), _NbDofPerNode(6), _NDEGT(0), _ppIPDEG(nullptr) {
  // A set without the interface leaves the member null: every query then fails.
  if (iAnalysisSet)
    iAnalysisSet->QueryInterface(IID_VOKITarvoMultipleDofVector,
                                 reinterpret_cast<void**>(&_pMultipleDofVector));
}

// A copy holds a reference of its own and a cache of its own, so that each
// object releases and frees exactly what it holds.
VOKDYNMeshServices::VOKDYNMeshServices(const VOKDYNMeshServices& iOther)
    : VOKBaseUnknown(iOther),
      _pMultipleDofVector(iOther._pMultipleDofVector),
      _NbDofPerNode(iOther._NbDofPerNode),
      _NDEGT(iOther._NDEGT),
      _ppIPDEG(CopyCache(iOther._ppIPDEG, iOther._NDEGT)) {
  if (_pMultipleDofVector) _pMultipleDofVector->AddRef();
}

VOKDYNMeshServices& VOKDYNMeshServices::operator=(const VOKDYNMeshServices& iOther) {
  if (this == &iOther) return *this;
  VOKBaseUnknown::operator=(iOther);
  // Take the new reference and copy before giving up what this object held.
  int** cache = CopyCache(iOther._ppIPDEG, iOther._NDEGT);
  if (iOther._pMultipleDofVector) iOther._pMultipleDofVector->AddRef();
  if (_pMultipleDofVector) _pMultipleDofVector->Release();
  FreeCache(_ppIPDEG, _NDEGT);
  _pMultipleDofVector = iOther._pMultipleDofVector;
  _NbDofPerNode = iOther._NbDofPerNode;
  _NDEGT = iOther._NDEGT;
  _ppIPDEG = cache;
  return *this;
}

VOKDYNMeshServices::~VOKDYNMeshServices() {
  if (_pMultipleDofVector) {
    _pMultipleDofVector->Release();
    _pMultipleDofVector = nullptr;
  }
  FreeCache(_ppIPDEG, _NDEGT);
  _NbDofPerNode = 0;
  _NDEGT = 0;
}

// ---------------------------------------------------------------- meta-class

VOKMetaClass* VOKDYNMeshServices::MetaObject() {
  if (!meta_object)
    meta_object = fct_RetrieveMetaObject("VOKDYNMeshServices", 1, VOKBaseUnknown::MetaObject(),
                                         "VOKNull", "VOKAnalysisDynamicResponse",
                                         sizeof(VOKDYNMeshServices));
  return meta_object;
}
const GUID& VOKDYNMeshServices::ClassId() { return MetaObject()->GetClassId(); }
const char* VOKDYNMeshServices::ClassName() { return MetaObject()->GetClassName(); }
VOKBaseUnknown* VOKDYNMeshServices::CreateItself() { return nullptr; }
VOKMetaClass* VOKDYNMeshServices::GetMetaObject() const { return MetaObject(); }
const char* VOKDYNMeshServices::IsA() const { return MetaObject()->GetClassName(); }
int VOKDYNMeshServices::IsAKindOf(const char* iName) const { return MetaObject()->IsAKindOf(iName); }

// ------------------------------------------------------------------ reading

long VOKDYNMeshServices::Init() {
  if (!_pMultipleDofVector) return E_FAIL;
  if (_ppIPDEG) return S_OK;

  VOKRawCollint components;
  VOKRawCollint nodes;
  _pMultipleDofVector->GetDofComponentsAndNodes(components, nodes);  // the lists are what counts
  _NDEGT = components.Size();
  Tra_DYNDev.SetLevel(3);
  Tra_DYNDev.TraPutLN("VOKDYNMeshServices _NDEGT:", _NDEGT);
  // Lists of different sizes: not read; the next query asks again.
  if (nodes.Size() != components.Size()) return E_FAIL;

  _ppIPDEG = new int*[_NDEGT];
  for (int k = 1; k <= _NDEGT; ++k) _ppIPDEG[k - 1] = new int[2]{components[k], nodes[k]};
  return S_OK;
}

long VOKDYNMeshServices::GetNbNodes(int& oNbNodes) {
  long result = Init();
  if (FAILED(result)) return result;
  oNbNodes = NodeCount(_ppIPDEG, _NDEGT);
  return S_OK;
}

long VOKDYNMeshServices::GetMeshSizes(int& oNbNodes, int& oNbDofPerNode, int& oNbDof) {
  long result = Init();
  if (FAILED(result)) return result;
  oNbNodes = NodeCount(_ppIPDEG, _NDEGT);
  oNbDofPerNode = _NbDofPerNode;
  oNbDof = _NDEGT;
  return S_OK;
}

long VOKDYNMeshServices::GetIPDEG(int& oNbDof, int**& oTable) {
  ErrorDepthHandler scope;
  oNbDof = 0;
  if (!_ppIPDEG && FAILED(Init())) return VOKDYN::ErrorRecord(1, "", kSourceFile, 95);

  // One block of {component, node} pairs; row i points at its pair.
  int* block = _NDEGT > 0 ? new int[2 * static_cast<long>(_NDEGT)] : nullptr;
  int** table = new int*[_NDEGT];
  for (int i = 0; i < _NDEGT; ++i) {
    table[i] = block + 2 * i;
    table[i][0] = _ppIPDEG[i][0];
    table[i][1] = _ppIPDEG[i][1];
  }
  oTable = table;
  oNbDof = _NDEGT;
  return S_OK;
}

long VOKDYNMeshServices::GetIFLEC(int& oNbNodes, int&, int**& oTable) {
  ErrorDepthHandler scope;
  if (!_ppIPDEG && FAILED(Init())) return VOKDYN::ErrorRecord(1, "", kSourceFile, 123);

  const int nbNodes = NodeCount(_ppIPDEG, _NDEGT);
  oNbNodes = nbNodes;
  if (nbNodes <= 0)
    return VOKDYN::ErrorRecord(1, ": bad size", kSourceFile, 127, VOKDYN::FillOverPending);

  int** table = new int*[_NbDofPerNode];
  for (int c = 0; c < _NbDofPerNode; ++c) table[c] = new int[nbNodes]();
  // Node n (counted from 1) sits in column n - 1. A DOF whose component or
  // node lies outside the table is left out rather than written past it.
  for (int i = 0; i < _NDEGT; ++i) {
    const int component = _ppIPDEG[i][0];
    const int node = _ppIPDEG[i][1];
    if (component < 0 || component >= _NbDofPerNode || node < 1 || node > nbNodes) continue;
    table[component][node - 1] = i;
  }
  oTable = table;
  return S_OK;
}
