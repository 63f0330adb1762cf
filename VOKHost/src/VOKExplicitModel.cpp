// Documents, analysis managers and assemblies, the explicit model with its
// data, rules data and characteristic collectors.
#include "VOKHostExplicitModel.h"

#include "VOKHostTesting.h"

// ================================================================ documents

VOKDocument::VOKDocument(const std::string& iName) : _Name(iName) {}

VOKDocument::~VOKDocument() {
  if (_Manager) _Manager->Release();
}

VOKHost::ExplicitModel* VOKDocument::AddExplicitModel() {
  _Model.reset(new VOKHost::ExplicitModel);
  return _Model.get();
}

VOKHost::AnalysisManager* VOKDocument::AddAnalysisManager() {
  if (_Manager) _Manager->Release();
  _Manager = VOKHost::AnalysisManager::Create();
  return _Manager;
}

long VOKSamModelServices::GetManager(VOKDocument* iDocument, VOKISamAnalysisManager_var& oManager) {
  VOKHost::FaultPoint fp("VOKSamModelServices::GetManager");
  oManager = nullptr;
  if (fp.Fail() || !iDocument) return E_FAIL;
  if (!iDocument->Manager()) return E_FAIL;
  oManager = static_cast<VOKISamAnalysisManager*>(iDocument->Manager());
  return S_OK;
}

// ========================================================== explicit model

VOKAnalysisExplicitModel::~VOKAnalysisExplicitModel() = default;
VOKAnalysisExplicitRulesData::~VOKAnalysisExplicitRulesData() = default;

VOKAnalysisExplicitModel* VOKAnalysisExplicitModel::GetDocumentModel(VOKDocument* iDocument) {
  VOKHost::FaultPoint fp("VOKAnalysisExplicitModel::GetDocumentModel");
  if (fp.Fail() || !iDocument) return nullptr;
  return iDocument->Model();
}

namespace VOKHost {

ExplicitModel::ExplicitModel() : _Rules(new RulesData) {}

ExplicitModel::~ExplicitModel() {
  for (auto& set : _Sets)
    for (CharacCollector* collector : set->collectors) collector->Release();
}

int ExplicitModel::AddNode(int iMeshTag, int iUserNumber, int iIdentity) {
  std::unique_ptr<VOKSamModelDataRoot> node(new VOKSamModelDataRoot);
  node->kind = VOKSamModelDataRoot::Node;
  node->model = this;
  node->meshTag = iMeshTag;
  node->identity = iIdentity;
  node->userNumber = iUserNumber;
  node->sequentialNumber = static_cast<int>(_Nodes.size()) + 1;
  _Nodes.push_back(std::move(node));
  return _Nodes.back()->sequentialNumber;
}

void ExplicitModel::SetNodeLinkResult(int iMeshTag, long iResult) {
  if (VOKSamModelDataRoot* node = FindNodeByMeshTag(iMeshTag)) node->linkResult = iResult;
}

void ExplicitModel::AddSet(int iTag, int iUserNumber) {
  std::unique_ptr<VOKSamModelDataRoot> set(new VOKSamModelDataRoot);
  set->kind = VOKSamModelDataRoot::Set;
  set->model = this;
  set->tag = iTag;
  set->userNumber = iUserNumber;
  set->sequentialNumber = static_cast<int>(_Sets.size()) + 1;
  _Sets.push_back(std::move(set));
}

CharacCollector* ExplicitModel::AddSetCollector(int iTag, const CharacDefinition& iDefinition) {
  VOKSamModelDataRoot* set = FindSetByTag(iTag);
  if (!set) return nullptr;
  CharacCollector* collector = CharacCollector::Create(iDefinition);
  set->collectors.push_back(collector);
  return collector;
}

VOKAnalysisExplicitRulesData* ExplicitModel::GetRulesData() {
  FaultPoint fp("VOKAnalysisExplicitModel::GetRulesData");
  if (fp.Fail()) return nullptr;
  return _Rules.get();
}

VOKSamModelDataRoot* ExplicitModel::FindNodeByMeshTag(int iMeshTag) {
  for (auto& node : _Nodes)
    if (node->meshTag == iMeshTag) return node.get();
  return nullptr;
}

VOKSamModelDataRoot* ExplicitModel::FindNodeByIdentity(int iIdentity) {
  for (auto& node : _Nodes)
    if (node->identity == iIdentity) return node.get();
  return nullptr;
}

VOKSamModelDataRoot* ExplicitModel::FindSetByTag(int iTag) {
  for (auto& set : _Sets)
    if (set->tag == iTag) return set.get();
  return nullptr;
}

// ---------------------------------------------------------------- rules data

void RulesData::AddPhysicalType(const std::string& iName, const PhysicalType& iType) {
  _Types[iName] = iType;
}

long RulesData::GetPhysicalTypeNumber(const char* iName, int& oNumber) {
  FaultPoint fp("VOKAnalysisExplicitRulesData::GetPhysicalTypeNumber");
  if (fp.Fail()) return fp.Result();
  if (!iName) return E_INVALIDARG;
  auto it = _Types.find(iName);
  if (it == _Types.end()) return S_FALSE;
  oNumber = it->second.number;
  return S_OK;
}

long RulesData::GetPhysicalTypeMathematicalInfo(int iPhysicalType, VOKSamMathType& oMathType,
                                                VOKSamValue& oValueType, int& oInfo1, int& oInfo2) {
  FaultPoint fp("VOKAnalysisExplicitRulesData::GetPhysicalTypeMathematicalInfo");
  if (fp.Fail()) return fp.Result();
  for (const auto& entry : _Types) {
    const PhysicalType& type = entry.second;
    if (type.number != iPhysicalType) continue;
    oMathType = type.mathType;
    oValueType = type.valueType;
    oInfo1 = type.info1;
    oInfo2 = type.info2;
    return type.mathInfoResult;
  }
  return E_INVALIDARG;
}

// --------------------------------------------------------------- collectors

}  // namespace VOKHost

VOKAnalysisCharacCollector::~VOKAnalysisCharacCollector() = default;

namespace VOKHost {

bool SameVersion(const VOKSamCharacVersion& iA, const VOKSamCharacVersion& iB) {
  return iA.GetValueType() == iB.GetValueType() && iA.GetMathType() == iB.GetMathType() &&
         iA.GetSelector() == iB.GetSelector() && iA.GetField4() == iB.GetField4() &&
         iA.GetField5() == iB.GetField5();
}

CharacCollector* CharacCollector::Create(const CharacDefinition& iDefinition) {
  return new CharacCollector(iDefinition);
}

CharacCollector::CharacCollector(const CharacDefinition& iDefinition) : _Definition(iDefinition) {
  _Blocks[0] = _Definition.values.data();
}

CharacCollector::~CharacCollector() = default;

unsigned long CharacCollector::Release() {
  ++_ReleaseCalls;
  return VOKAnalysisCollectorRoot::Release();
}

long CharacCollector::SetStreamable(bool iStreamable) {
  FaultPoint fp("VOKAnalysisCharacCollector::SetStreamable");
  if (fp.Fail()) return fp.Result();
  _Streamable = iStreamable;
  return _Definition.setStreamableResult;
}

long CharacCollector::GetValues(int& oCount, int& oSecondCount, void**& oBlocks) {
  FaultPoint fp("VOKAnalysisCharacCollector::GetValues");
  if (fp.Fail()) return fp.Result();
  oCount = _Definition.count ? *_Definition.count : static_cast<int>(_Definition.values.size());
  oSecondCount = 1;
  oBlocks = _Definition.noBlocks ? nullptr : _Blocks;
  return _Definition.getValuesResult;
}

long CharacCollector::GetDefinition(int& oPhysicalType, VOKString& oName,
                                    VOKSamCharacVersion& oVersion, VOKString& oText, int& oNumber1,
                                    int& oNumber2) {
  FaultPoint fp("VOKAnalysisCharacCollector::GetDefinition");
  if (fp.Fail()) return fp.Result();
  oPhysicalType = _Definition.physicalType;
  oName = VOKString(_Definition.name);
  oVersion = _Definition.version;
  oText = VOKString(_Definition.name);
  oNumber1 = static_cast<int>(_Definition.values.size());
  oNumber2 = 1;
  return _Definition.getDefinitionResult;
}

// ----------------------------------------------------- manager and assembly

AnalysisManager* AnalysisManager::Create() { return new AnalysisManager; }

long AnalysisManager::GetAnalysisModel(VOKBaseUnknown_var& oModel) {
  FaultPoint fp("VOKISamAnalysisManager::GetAnalysisModel");
  oModel = nullptr;
  if (fp.Fail()) return fp.Result();
  oModel = _Model;
  return S_OK;
}

void* AnalysisManager::Answer(const IID& iIID) {
  if (iIID == IID_VOKISamAnalysisManager) return static_cast<VOKISamAnalysisManager*>(this);
  return Component::Answer(iIID);
}

AnalysisAssembly* AnalysisAssembly::Create() { return new AnalysisAssembly; }

long AnalysisAssembly::GetAssembledDocument(int iNumber, VOKDocument*& oDocument) {
  FaultPoint fp("VOKISamAnalysisAssembly::GetAssembledDocument");
  oDocument = nullptr;
  if (fp.Fail()) return fp.Result();
  auto it = _Documents.find(iNumber);
  if (it == _Documents.end()) return E_INVALIDARG;
  oDocument = it->second;
  return S_OK;
}

void* AnalysisAssembly::Answer(const IID& iIID) {
  if (iIID == IID_VOKISamAnalysisAssembly) return static_cast<VOKISamAnalysisAssembly*>(this);
  return Component::Answer(iIID);
}

}  // namespace VOKHost

// ============================================== data of the explicit model

const VOKAnalysisExplicitChild NULL_exp;

VOKAnalysisExplicitChild::VOKAnalysisExplicitChild() : _Datum(nullptr), _Model(nullptr) {}
VOKAnalysisExplicitChild::~VOKAnalysisExplicitChild() = default;
VOKAnalysisExplicitParent::~VOKAnalysisExplicitParent() = default;
VOKAnalysisExplicitNode::~VOKAnalysisExplicitNode() = default;
VOKAnalysisExplicitSet::~VOKAnalysisExplicitSet() = default;

long VOKAnalysisExplicitChild::LinkWithTag(int iTag, VOKAnalysisExplicitModel* iModel) {
  VOKHost::FaultPoint fp("VOKAnalysisExplicitChild::LinkWithTag");
  _Datum = nullptr;
  _Model = iModel;
  if (fp.Fail() || !iModel) return E_FAIL;
  // Every model of this platform is the stand-in's own.
  _Datum = static_cast<VOKHost::ExplicitModel*>(iModel)->FindSetByTag(iTag);
  return _Datum ? S_OK : E_FAIL;
}

VOKSamModelDataRoot* VOKAnalysisExplicitChild::GetPointer() const { return _Datum; }

long VOKAnalysisExplicitChild::GetSequentialNumber(int& oNumber) const {
  VOKHost::FaultPoint fp("VOKAnalysisExplicitChild::GetSequentialNumber");
  if (fp.Fail() || !_Datum) return E_FAIL;
  oNumber = _Datum->sequentialNumber;
  return S_OK;
}

int VOKAnalysisExplicitChild::operator==(const VOKAnalysisExplicitChild& iOther) const {
  return _Datum == iOther._Datum ? 1 : 0;
}

long VOKAnalysisExplicitParent::GetUserNumber(int& oNumber) const {
  VOKHost::FaultPoint fp("VOKAnalysisExplicitParent::GetUserNumber");
  if (fp.Fail() || !_Datum) return E_FAIL;
  oNumber = _Datum->userNumber;
  return S_OK;
}

long VOKAnalysisExplicitParent::FindCharacCollector(int iPhysicalType,
                                                    const VOKSamCharacVersion& iVersion,
                                                    const char*, int,
                                                    VOKAnalysisCharacCollector*& oCollector, int,
                                                    void*, VOKSamPhysicalType, int) {
  VOKHost::FaultPoint fp("VOKAnalysisExplicitParent::FindCharacCollector");
  oCollector = nullptr;
  if (fp.Fail() || !_Datum) return E_FAIL;
  for (VOKHost::CharacCollector* collector : _Datum->collectors) {
    const VOKHost::CharacDefinition& d = collector->Definition();
    if (d.physicalType == iPhysicalType && VOKHost::SameVersion(d.version, iVersion)) {
      oCollector = collector;
      break;
    }
  }
  return S_OK;
}

long VOKAnalysisExplicitNode::LinkWithMeshTag(int iMeshTag, VOKAnalysisExplicitModel* iModel) {
  VOKHost::FaultPoint fp("VOKAnalysisExplicitNode::LinkWithMeshTag");
  _Datum = nullptr;
  _Model = iModel;
  if (fp.Fail() || !iModel) return E_FAIL;
  _Datum = static_cast<VOKHost::ExplicitModel*>(iModel)->FindNodeByMeshTag(iMeshTag);
  // No node with that tag: the empty datum, and a success (the caller tells
  // by comparing with NULL_exp).
  return _Datum ? _Datum->linkResult : S_OK;
}

long VOKAnalysisExplicitNode::LinkWithPointer(VOKSamModelDataRoot* iPointer,
                                              VOKAnalysisExplicitModel* iModel) {
  VOKHost::FaultPoint fp("VOKAnalysisExplicitNode::LinkWithPointer");
  _Datum = nullptr;
  _Model = iModel;
  if (fp.Fail() || !iModel || !iPointer || iPointer->kind != VOKSamModelDataRoot::Node)
    return E_FAIL;
  if (iPointer->model == iModel)
    _Datum = iPointer;
  else
    _Datum = static_cast<VOKHost::ExplicitModel*>(iModel)->FindNodeByIdentity(iPointer->identity);
  return _Datum ? _Datum->linkResult : E_FAIL;
}
