#ifndef VOKBaseUnknown_h
#define VOKBaseUnknown_h
// The host's reference-counted component base, its meta-classes and handles.
//
// Ownership rules of the component model:
// - a component is born with a reference count of 1, owned by its creator;
// - `QueryInterface` that answers adds one reference, owned by the caller;
// - `Release` that brings the count to 0 deletes the component.
// Interfaces derive virtually from VOKBaseUnknown so that a component that
// implements several of them has exactly one reference count.
#include <cstddef>
#include "VOKTypes.h"

class VOKMetaClass;

VOK_DEFINE_IID(IID_VOKBaseUnknown, 0);

class VOKHOST_API VOKBaseUnknown {
 public:
  static const IID& InterfaceId() { return IID_VOKBaseUnknown; }

  VOKBaseUnknown();
  /// A copy is a new component: it starts with its own count of 1.
  VOKBaseUnknown(const VOKBaseUnknown& iOther);
  /// Assignment never copies the reference count.
  VOKBaseUnknown& operator=(const VOKBaseUnknown& iOther);

  // Slots in this order: callers of other modules rely on it.
  /// Answers IID_VOKBaseUnknown with this object; adds one reference on success.
  virtual long QueryInterface(const IID& iIID, void** oPPV);
  virtual unsigned long AddRef();
  /// Deletes the component when the count reaches 0. A release below 0 is a
  /// fatal error of the caller.
  virtual unsigned long Release();
  virtual long GetTypeInfoCount(unsigned int* oCount);
  virtual long GetTypeInfo(unsigned int iIndex, unsigned long iLocale, void** oInfo);
  virtual long GetIDsOfNames(const IID& iIID, char** iNames, unsigned int iCount,
                             unsigned long iLocale, long* oIds);
  virtual long Invoke(long iId, const IID& iIID, unsigned long iLocale, unsigned short iFlags,
                      void* iParams, void* oResult, void* oExcepInfo, unsigned int* oArgErr);
  /// Query by class name along the meta-class chain; a hit carries one reference.
  virtual VOKBaseUnknown* QueryInterface(const char* iName);
  virtual ~VOKBaseUnknown();
  virtual VOKMetaClass* GetMetaObject() const;
  virtual const char* IsA() const;
  virtual int IsAKindOf(const char* iName) const;
  virtual VOKBaseUnknown* GetImpl(int iFlag = 0) const;
  virtual void SetImpl(VOKBaseUnknown* iImpl);
  virtual int IsNull() const;
  virtual int IsEqual(VOKBaseUnknown* iOther) const;
  virtual long ChangeComponentState(int iFrom, int iTo, int iFlag);

  static VOKMetaClass* MetaObject();
  static const GUID& ClassId();
  static const char* ClassName();

  /// Number of components alive in the process (all classes).
  static int LiveCount();

  /// Current reference count; for diagnostics and tests only.
  long RefCount() const { return _RefCount; }

 private:
  long _RefCount;
};

/// Answers a query with interface pointer `iItf` of `iComponent`.
template <class I>
inline long VOKAnswer(I* iItf, void** oPPV) {
  *oPPV = iItf;
  iItf->AddRef();
  return S_OK;
}

// ---------------------------------------------------------------- meta-classes

class VOKHOST_API VOKMetaClass {
 public:
  const char* GetClassName() const;
  const GUID& GetClassId() const;
  int GetTypeOfClass() const;
  const VOKMetaClass* GetBaseMetaClass() const;
  const char* GetExtraName() const;
  const char* GetFrameworkName() const;
  std::size_t GetClassSize() const;
  /// True when iName is this class or one of its bases.
  int IsAKindOf(const char* iName) const;

 private:
  friend VOKMetaClass* fct_RetrieveMetaObject(const char*, int, VOKMetaClass*, const char*,
                                              const char*, std::size_t);
  VOKMetaClass() = default;
  char _Name[128] = {};
  GUID _Id = {};
  int _TypeOfClass = 0;
  VOKMetaClass* _Base = nullptr;
  char _Extra[64] = {};
  char _Framework[128] = {};
  std::size_t _Size = 0;
};

/// Registers a class once and returns its meta-class; a second call with the
/// same name returns the meta-class registered first. The platform owns it.
VOKHOST_API VOKMetaClass* fct_RetrieveMetaObject(const char* iClassName, int iTypeOfClass,
                                                 VOKMetaClass* iBase, const char* iExtraName,
                                                 const char* iFramework, std::size_t iSize);
/// Number of fct_RetrieveMetaObject calls made with this class name (diagnostics).
VOKHOST_API int VOKMetaClassRetrieveCount(const char* iClassName);

// --------------------------------------------------------------------- handles

/// Raised by a call made through a null handle: reported, then the process
/// stops unless a handler was installed (see VOKSetNullHandleHandler).
VOKHOST_API void VOKNullHandleError(const char* iInterfaceName);

/// Tag: the handle takes over the reference it is given (no AddRef).
struct VOKAdoptRef {};
inline constexpr VOKAdoptRef VOK_ADOPT{};

/// A handle holds one reference to one interface of a component.
/// - Built from any component (raw pointer or other handle) by a query: it is
///   null when the component does not offer the interface.
/// - Built from the same handle type: adds a reference.
/// - Built with VOK_ADOPT: takes over the caller's reference.
template <class I>
class VOKVar {
 public:
  VOKVar() : _Ptr(nullptr) {}
  VOKVar(std::nullptr_t) : _Ptr(nullptr) {}
  VOKVar(VOKBaseUnknown* iComponent) : _Ptr(Query(iComponent)) {}
  VOKVar(I* iItf, VOKAdoptRef) : _Ptr(iItf) {}
  VOKVar(const VOKVar& iOther) : _Ptr(iOther._Ptr) {
    if (_Ptr) _Ptr->AddRef();
  }
  VOKVar(VOKVar&& iOther) noexcept : _Ptr(iOther._Ptr) { iOther._Ptr = nullptr; }
  template <class J>
  VOKVar(const VOKVar<J>& iOther) : _Ptr(Query(iOther.Get())) {}
  ~VOKVar() {
    if (_Ptr) _Ptr->Release();
  }

  VOKVar& operator=(const VOKVar& iOther) {
    VOKVar tmp(iOther);
    Swap(tmp);
    return *this;
  }
  VOKVar& operator=(VOKVar&& iOther) noexcept {
    VOKVar tmp(static_cast<VOKVar&&>(iOther));
    Swap(tmp);
    return *this;
  }
  VOKVar& operator=(VOKBaseUnknown* iComponent) {
    VOKVar tmp(iComponent);
    Swap(tmp);
    return *this;
  }
  VOKVar& operator=(std::nullptr_t) {
    VOKVar tmp;
    Swap(tmp);
    return *this;
  }
  template <class J>
  VOKVar& operator=(const VOKVar<J>& iOther) {
    VOKVar tmp(iOther);
    Swap(tmp);
    return *this;
  }

  /// Calls through a null handle raise the null-handle error.
  I* operator->() const {
    if (!_Ptr) VOKNullHandleError(typeid_name());
    return _Ptr;
  }
  operator I*() const { return _Ptr; }
  I* Get() const { return _Ptr; }
  bool operator!() const { return _Ptr == nullptr; }

  /// Gives up the held reference to the caller.
  I* Detach() {
    I* p = _Ptr;
    _Ptr = nullptr;
    return p;
  }
  void Swap(VOKVar& iOther) noexcept {
    I* p = _Ptr;
    _Ptr = iOther._Ptr;
    iOther._Ptr = p;
  }

 private:
  static I* Query(VOKBaseUnknown* iComponent) {
    if (!iComponent) return nullptr;
    void* p = nullptr;
    if (FAILED(iComponent->QueryInterface(I::InterfaceId(), &p))) return nullptr;
    return static_cast<I*>(p);
  }
  static const char* typeid_name() { return I::InterfaceName(); }
  I* _Ptr;
};

template <class I>
inline bool operator==(const VOKVar<I>& a, std::nullptr_t) { return a.Get() == nullptr; }
template <class I>
inline bool operator!=(const VOKVar<I>& a, std::nullptr_t) { return a.Get() != nullptr; }

// Declares the identity of an interface inside its class body.
#define VOK_INTERFACE(Name)                                   \
 public:                                                      \
  static const IID& InterfaceId() { return IID_##Name; }      \
  static const char* InterfaceName() { return #Name; }

inline const char* VOKBaseUnknownName() { return "VOKBaseUnknown"; }

template <>
inline const char* VOKVar<VOKBaseUnknown>::typeid_name() { return "VOKBaseUnknown"; }

typedef VOKVar<VOKBaseUnknown> VOKBaseUnknown_var;

#endif
