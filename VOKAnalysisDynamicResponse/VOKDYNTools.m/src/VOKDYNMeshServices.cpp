// Mesh sizes and the solver's degree-of-freedom numbering of an analysis set.
#include "VOKDYNMeshServices.h"

#include <cstddef>
#include <memory>
#include <new>

#include "VOKDYNErrorRecord.h"
#include "VOKDYNTraceChannels.h"
#include "VOKErrors.h"
#include "VOKDYNAllocationBoundary.h"

namespace {
const char kSourceFile[] = "VOKAnalysisDynamicResponse\\VOKDYNTools.m\\src\\VOKDYNMeshServices";

void FreeCache(int**& ioRows, int iCount) {
  if (!ioRows) return;
  for (int i = 0; i < iCount; ++i) {
    delete[] ioRows[i];
    ioRows[i] = nullptr;
  }
  delete[] ioRows;
  ioRows = nullptr;
}

// A cache of iCount rows of {component, node}, each row its own array, taken
// from the rows iRows or else from the 1-based lists; null when it cannot be
// allocated (nothing is then left allocated).
int** NewCache(int iCount, const int* const* iRows, const VOKRawCollint* iComponents,
               const VOKRawCollint* iNodes) {
  int** rows = new (std::nothrow) int*[static_cast<std::size_t>(iCount)]();
  if (!rows) return nullptr;
  for (int i = 0; i < iCount; ++i) {
    rows[i] = new (std::nothrow) int[2];
    if (!rows[i]) {
      FreeCache(rows, i);
      return nullptr;
    }
    rows[i][0] = iRows ? iRows[i][0] : (*iComponents)[i + 1];
    rows[i][1] = iRows ? iRows[i][1] : (*iNodes)[i + 1];
  }
  return rows;
}

// A copy of a cache; null when there is none or it cannot be allocated, in
// which case the copy reads the numbering for itself when first asked.
int** CopyCache(int** iRows, int iCount) {
  return iRows ? NewCache(iCount, iRows, nullptr, nullptr) : nullptr;
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

  // A cache that cannot be allocated is not read: the next query asks again.
  _ppIPDEG = NewCache(_NDEGT, nullptr, &components, &nodes);
  return _ppIPDEG ? S_OK : E_FAIL;
}

long VOKDYNMeshServices::GetNbNodes(int& oNbNodes) {
  return VOKDYN::AllocationBoundary(E_FAIL, [&]() -> long {
    long result = Init();
    if (FAILED(result)) return result;
    oNbNodes = NodeCount(_ppIPDEG, _NDEGT);
    return S_OK;
  });
}

long VOKDYNMeshServices::GetMeshSizes(int& oNbNodes, int& oNbDofPerNode, int& oNbDof) {
  return VOKDYN::AllocationBoundary(E_FAIL, [&]() -> long {
    long result = Init();
    if (FAILED(result)) return result;
    oNbNodes = NodeCount(_ppIPDEG, _NDEGT);
    oNbDofPerNode = _NbDofPerNode;
    oNbDof = _NDEGT;
    return S_OK;
  });
}

long VOKDYNMeshServices::GetIPDEG(int& oNbDof, int**& oTable) {
  return VOKDYN::AllocationBoundary(E_FAIL, [&]() -> long {
    ErrorDepthHandler scope;
    oNbDof = 0;
    if (!_ppIPDEG && FAILED(Init())) return VOKDYN::ErrorRecord(1, "", kSourceFile, 95);

    // One block of {component, node} pairs; row i points at its pair.
    // Tables that cannot be allocated: the call fails, nothing is handed out.
    std::unique_ptr<int[]> pairs(
        _NDEGT > 0 ? new (std::nothrow) int[2 * static_cast<std::size_t>(_NDEGT)] : nullptr);
    int** table = new (std::nothrow) int*[static_cast<std::size_t>(_NDEGT)];
    if ((_NDEGT > 0 && !pairs) || !table) {
      delete[] table;
      return VOKDYN::ErrorRecord(1, ": out of memory", kSourceFile, 95);
    }
    int* block = pairs.release();
    for (int i = 0; i < _NDEGT; ++i) {
      table[i] = block + 2 * i;
      table[i][0] = _ppIPDEG[i][0];
      table[i][1] = _ppIPDEG[i][1];
    }
    oTable = table;
    oNbDof = _NDEGT;
    return S_OK;
  });
}

long VOKDYNMeshServices::GetIFLEC(int& oNbNodes, int&, int**& oTable) {
  return VOKDYN::AllocationBoundary(E_FAIL, [&]() -> long {
    ErrorDepthHandler scope;
    if (!_ppIPDEG && FAILED(Init())) return VOKDYN::ErrorRecord(1, "", kSourceFile, 123);

    const int nbNodes = NodeCount(_ppIPDEG, _NDEGT);
    oNbNodes = nbNodes;
    if (nbNodes <= 0)
      return VOKDYN::ErrorRecord(1, ": bad size", kSourceFile, 127, VOKDYN::FillOverPending);

    int** table = new (std::nothrow) int*[static_cast<std::size_t>(_NbDofPerNode)]();
    for (int c = 0; table && c < _NbDofPerNode; ++c) {
      table[c] = new (std::nothrow) int[static_cast<std::size_t>(nbNodes)]();
      if (!table[c]) FreeCache(table, c);
    }
    // Tables that cannot be allocated: the call fails, nothing is handed out.
    if (!table) return VOKDYN::ErrorRecord(1, ": out of memory", kSourceFile, 123);
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
  });
}
