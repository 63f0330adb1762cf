// Reference counting, the registry of live components and meta-classes.
#include "VOKBaseUnknown.h"

#include <cxxabi.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <typeinfo>
#include <unordered_set>

#include "VOKErrors.h"
#include "VOKHostTesting.h"

namespace {

// Live components, so that tests can tell which class leaked.
struct LiveRegistry {
  std::mutex mutex;
  std::unordered_set<const VOKBaseUnknown*> objects;
};
LiveRegistry& Live() {
  static LiveRegistry* registry = new LiveRegistry;  // never destroyed: used until exit
  return *registry;
}

void Register(const VOKBaseUnknown* iObject) {
  std::lock_guard<std::mutex> lock(Live().mutex);
  Live().objects.insert(iObject);
}
void Unregister(const VOKBaseUnknown* iObject) {
  std::lock_guard<std::mutex> lock(Live().mutex);
  Live().objects.erase(iObject);
}

}  // namespace

VOKBaseUnknown::VOKBaseUnknown() : _RefCount(1) { Register(this); }
VOKBaseUnknown::VOKBaseUnknown(const VOKBaseUnknown&) : _RefCount(1) { Register(this); }
VOKBaseUnknown& VOKBaseUnknown::operator=(const VOKBaseUnknown&) { return *this; }
VOKBaseUnknown::~VOKBaseUnknown() { Unregister(this); }

long VOKBaseUnknown::QueryInterface(const IID& iIID, void** oPPV) {
  if (!oPPV) return E_INVALIDARG;
  *oPPV = nullptr;
  if (iIID == IID_VOKBaseUnknown) return VOKAnswer(this, oPPV);
  return E_NOINTERFACE;
}

unsigned long VOKBaseUnknown::AddRef() {
  return static_cast<unsigned long>(__atomic_add_fetch(&_RefCount, 1, __ATOMIC_RELAXED));
}

unsigned long VOKBaseUnknown::Release() {
  long count = __atomic_sub_fetch(&_RefCount, 1, __ATOMIC_ACQ_REL);
  if (count < 0) {
    // A release without a matching reference: the caller's bug. Stop here
    // rather than free the object a second time.
    VOKFatalError("VOKBaseUnknown::Release: reference count below zero", nullptr, nullptr, nullptr,
                  __FILE__, __LINE__);
    return 0;
  }
  if (count == 0) {
    // Stabilise: code run by the destructor may take and drop references to
    // this object; with the count at 1 that cannot delete it a second time.
    _RefCount = 1;
    delete this;
    return 0;
  }
  return static_cast<unsigned long>(count);
}

long VOKBaseUnknown::GetTypeInfoCount(unsigned int* oCount) {
  if (oCount) *oCount = 0;
  return S_OK;
}
long VOKBaseUnknown::GetTypeInfo(unsigned int, unsigned long, void** oInfo) {
  if (oInfo) *oInfo = nullptr;
  return E_NOTIMPL;
}
long VOKBaseUnknown::GetIDsOfNames(const IID&, char**, unsigned int, unsigned long, long*) {
  return E_NOTIMPL;
}
long VOKBaseUnknown::Invoke(long, const IID&, unsigned long, unsigned short, void*, void*, void*,
                            unsigned int*) {
  return E_NOTIMPL;
}

VOKBaseUnknown* VOKBaseUnknown::QueryInterface(const char* iName) {
  if (!iName || !IsAKindOf(iName)) return nullptr;
  AddRef();
  return this;
}

VOKMetaClass* VOKBaseUnknown::GetMetaObject() const { return MetaObject(); }
const char* VOKBaseUnknown::IsA() const { return GetMetaObject()->GetClassName(); }
int VOKBaseUnknown::IsAKindOf(const char* iName) const { return GetMetaObject()->IsAKindOf(iName); }
VOKBaseUnknown* VOKBaseUnknown::GetImpl(int) const { return const_cast<VOKBaseUnknown*>(this); }
void VOKBaseUnknown::SetImpl(VOKBaseUnknown*) {}
int VOKBaseUnknown::IsNull() const { return 0; }

int VOKBaseUnknown::IsEqual(VOKBaseUnknown* iOther) const {
  if (!iOther) return 0;
  // Identity of components is the identity of their VOKBaseUnknown answer.
  void* mine = nullptr;
  void* theirs = nullptr;
  const_cast<VOKBaseUnknown*>(this)->QueryInterface(IID_VOKBaseUnknown, &mine);
  iOther->QueryInterface(IID_VOKBaseUnknown, &theirs);
  int equal = mine != nullptr && mine == theirs;
  if (mine) static_cast<VOKBaseUnknown*>(mine)->Release();
  if (theirs) static_cast<VOKBaseUnknown*>(theirs)->Release();
  return equal;
}

long VOKBaseUnknown::ChangeComponentState(int, int, int) { return S_OK; }

VOKMetaClass* VOKBaseUnknown::MetaObject() {
  static VOKMetaClass* meta =
      fct_RetrieveMetaObject("VOKBaseUnknown", 0, nullptr, "VOKNull", "VOKHost", sizeof(VOKBaseUnknown));
  return meta;
}
const GUID& VOKBaseUnknown::ClassId() { return MetaObject()->GetClassId(); }
const char* VOKBaseUnknown::ClassName() { return MetaObject()->GetClassName(); }

int VOKBaseUnknown::LiveCount() {
  std::lock_guard<std::mutex> lock(Live().mutex);
  return static_cast<int>(Live().objects.size());
}

// ---------------------------------------------------------------- meta-classes

namespace {
struct MetaRegistry {
  std::mutex mutex;
  std::map<std::string, std::unique_ptr<VOKMetaClass>> classes;
  std::map<std::string, int> calls;
};
MetaRegistry& Metas() {
  static MetaRegistry* registry = new MetaRegistry;  // meta-classes live until exit
  return *registry;
}

void CopyText(char* oDest, std::size_t iSize, const char* iSource) {
  std::snprintf(oDest, iSize, "%s", iSource ? iSource : "");
}

// A class identifier derived from the class name (FNV-1a), so that it is the
// same in every run.
GUID IdFromName(const char* iName) {
  std::uint64_t h = 1469598103934665603ull;
  for (const char* p = iName; *p; ++p) h = (h ^ static_cast<unsigned char>(*p)) * 1099511628211ull;
  std::uint64_t g = h * 0x9E3779B97F4A7C15ull;
  GUID id;
  id.Data1 = static_cast<std::uint32_t>(h);
  id.Data2 = static_cast<std::uint16_t>(h >> 32);
  id.Data3 = static_cast<std::uint16_t>(h >> 48);
  for (int i = 0; i < 8; ++i) id.Data4[i] = static_cast<std::uint8_t>(g >> (8 * i));
  return id;
}
}  // namespace

const char* VOKMetaClass::GetClassName() const { return _Name; }
const GUID& VOKMetaClass::GetClassId() const { return _Id; }
int VOKMetaClass::GetTypeOfClass() const { return _TypeOfClass; }
const VOKMetaClass* VOKMetaClass::GetBaseMetaClass() const { return _Base; }
const char* VOKMetaClass::GetExtraName() const { return _Extra; }
const char* VOKMetaClass::GetFrameworkName() const { return _Framework; }
std::size_t VOKMetaClass::GetClassSize() const { return _Size; }

int VOKMetaClass::IsAKindOf(const char* iName) const {
  if (!iName) return 0;
  for (const VOKMetaClass* m = this; m; m = m->_Base)
    if (std::strcmp(m->_Name, iName) == 0) return 1;
  return 0;
}

VOKMetaClass* fct_RetrieveMetaObject(const char* iClassName, int iTypeOfClass, VOKMetaClass* iBase,
                                     const char* iExtraName, const char* iFramework,
                                     std::size_t iSize) {
  if (!iClassName) return nullptr;
  std::lock_guard<std::mutex> lock(Metas().mutex);
  ++Metas().calls[iClassName];
  auto& slot = Metas().classes[iClassName];
  if (!slot) {
    slot.reset(new VOKMetaClass);
    CopyText(slot->_Name, sizeof slot->_Name, iClassName);
    slot->_Id = IdFromName(iClassName);
    slot->_TypeOfClass = iTypeOfClass;
    slot->_Base = iBase;
    CopyText(slot->_Extra, sizeof slot->_Extra, iExtraName);
    CopyText(slot->_Framework, sizeof slot->_Framework, iFramework);
    slot->_Size = iSize;
  }
  return slot.get();
}

int VOKMetaClassRetrieveCount(const char* iClassName) {
  if (!iClassName) return 0;
  std::lock_guard<std::mutex> lock(Metas().mutex);
  auto it = Metas().calls.find(iClassName);
  return it == Metas().calls.end() ? 0 : it->second;
}

// ------------------------------------------------------------ diagnostics

namespace VOKHost {

std::string Demangle(const char* iMangled) {
  int status = 0;
  char* text = abi::__cxa_demangle(iMangled, nullptr, nullptr, &status);
  std::string result = (status == 0 && text) ? text : iMangled;
  std::free(text);
  return result;
}

std::vector<std::string> LiveComponentClasses() {
  std::lock_guard<std::mutex> lock(Live().mutex);
  std::vector<std::string> names;
  for (const VOKBaseUnknown* object : Live().objects) names.push_back(Demangle(typeid(*object).name()));
  return names;
}

}  // namespace VOKHost
