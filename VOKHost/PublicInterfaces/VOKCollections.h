#ifndef VOKCollections_h
#define VOKCollections_h
// The host's collections. Positions are 1-based everywhere; plain arrays are
// 0-based. An access outside 1..Size() is a fatal error of the caller (it is
// reported through VOKFatalError and never reads or writes outside the list).
#include <vector>
#include "VOKBaseUnknown.h"

namespace VOKCollec {
enum MemoryHandling { KeepAllocation = 0, ReleaseAllocation = 1 };
}

/// Reports an out-of-range position (fatal error of the caller).
VOKHOST_API void VOKCollectionIndexError(const char* iCollection, int iPosition, int iSize);

/// Reports an out-of-range position of iCollection and gives a throw-away
/// element, value-initialised on every call, for the access to use: a
/// misuse never reads or writes outside the list.
template <class T>
T& VOKCollectionBadItem(const char* iCollection, int iPosition, int iSize) {
  VOKCollectionIndexError(iCollection, iPosition, iSize);
  static thread_local T dummy;
  dummy = T();
  return dummy;
}

/// List of values of type T (int, float, double), 1-based.
template <class T>
class VOKRawColl {
 public:
  VOKRawColl() = default;
  explicit VOKRawColl(int iReserve) {
    if (iReserve > 0) _Items.reserve(static_cast<std::size_t>(iReserve));
  }
  VOKRawColl(const T* iArray, int iCount) {
    if (iArray && iCount > 0) _Items.assign(iArray, iArray + iCount);
  }
  virtual ~VOKRawColl() = default;
  VOKRawColl(const VOKRawColl&) = default;
  VOKRawColl& operator=(const VOKRawColl&) = default;

  int Size() const { return static_cast<int>(_Items.size()); }
  /// Resizes; new positions hold iFiller.
  void Size(int iNewSize, T iFiller = T()) {
    _Items.resize(iNewSize > 0 ? static_cast<std::size_t>(iNewSize) : 0u, iFiller);
  }
  int Append(T iValue) {
    _Items.push_back(iValue);
    return 1;
  }
  int Append(const VOKRawColl& iOther) {
    _Items.insert(_Items.end(), iOther._Items.begin(), iOther._Items.end());
    return 1;
  }
  T& operator[](int iPosition) {
    if (iPosition < 1 || iPosition > Size()) return Bad(iPosition);
    return _Items[static_cast<std::size_t>(iPosition - 1)];
  }
  T operator[](int iPosition) const {
    if (iPosition < 1 || iPosition > Size()) return const_cast<VOKRawColl*>(this)->Bad(iPosition);
    return _Items[static_cast<std::size_t>(iPosition - 1)];
  }
  /// Position of the first iValue at or after iFrom, 0 when absent.
  int Locate(T iValue, int iFrom = 1) const {
    for (int i = iFrom < 1 ? 1 : iFrom; i <= Size(); ++i)
      if (_Items[static_cast<std::size_t>(i - 1)] == iValue) return i;
    return 0;
  }
  void RemovePosition(int iPosition) {
    if (iPosition < 1 || iPosition > Size()) {
      Bad(iPosition);
      return;
    }
    _Items.erase(_Items.begin() + (iPosition - 1));
  }
  void RemoveAll(VOKCollec::MemoryHandling iHow = VOKCollec::ReleaseAllocation) {
    _Items.clear();
    if (iHow == VOKCollec::ReleaseAllocation) _Items.shrink_to_fit();
  }
  /// Copies up to iMax values into iArray.
  void FillArray(T* iArray, int iMax) const {
    for (int i = 0; i < iMax && i < Size(); ++i) iArray[i] = _Items[static_cast<std::size_t>(i)];
  }
  int operator==(const VOKRawColl& iOther) const { return _Items == iOther._Items; }
  int operator!=(const VOKRawColl& iOther) const { return _Items != iOther._Items; }

 private:
  T& Bad(int iPosition) { return VOKCollectionBadItem<T>("VOKRawColl", iPosition, Size()); }
  std::vector<T> _Items;
};

typedef VOKRawColl<int> VOKRawCollint;
typedef VOKRawColl<float> VOKRawCollfloat;
typedef VOKRawColl<double> VOKRawColldouble;

/// List of untyped pointers, 1-based; null elements allowed. It never owns
/// what it points to.
class VOKHOST_API VOKRawCollPV {
 public:
  typedef int (*CompareFunction)(void*, void*);

  explicit VOKRawCollPV(int iReserve = 0);
  VOKRawCollPV(const VOKRawCollPV& iOther);
  VOKRawCollPV(void** iArray, int iCount);
  virtual ~VOKRawCollPV();
  VOKRawCollPV& operator=(const VOKRawCollPV& iOther);

  int Append(void* iPointer);
  int Append(const VOKRawCollPV& iOther);
  /// Inserts before iPosition (1..Size()+1); returns 1, or 0 for a bad position.
  int InsertAt(int iPosition, void* iPointer);
  int Size() const;
  /// Resizes; new positions hold null.
  void Size(int iNewSize);
  void*& operator[](int iPosition);
  void* operator[](int iPosition) const;
  /// Position of iPointer at or after iFrom, 0 when absent.
  int Locate(void* iPointer, int iFrom = 1) const;
  /// Removes the first occurrence; returns its position or 0.
  int RemoveValue(void* iPointer);
  /// Removes every element found in iOther; returns the number removed.
  int Remove(const VOKRawCollPV& iOther);
  void RemovePosition(int iPosition);
  /// Removes up to iCount elements from iPosition; returns the number removed.
  int RemovePosition(int iPosition, unsigned int iCount);
  void RemoveAll(VOKCollec::MemoryHandling iHow = VOKCollec::ReleaseAllocation);
  /// Removes the null elements; returns the number removed.
  int RemoveNulls();
  int operator==(const VOKRawCollPV& iOther) const;
  int operator!=(const VOKRawCollPV& iOther) const;
  void Swap(int iPosition1, int iPosition2);
  /// Stable sort; iCompare returns <0, 0, >0.
  void QuickSort(CompareFunction iCompare);
  void FillArray(void** iArray, int iMax) const;
  int NbOccur(void* iPointer) const;
  /// Elements of iList1 that are also in iList2, in iList1's order, appended to oResult.
  static void Intersection(const VOKRawCollPV& iList1, const VOKRawCollPV& iList2,
                           VOKRawCollPV& oResult);
  /// Keeps the first occurrence of each pointer; the removed ones are appended
  /// to oRemoved when given. Returns the number removed.
  int RemoveDuplicates(VOKRawCollPV* oRemoved = nullptr);
  /// 0 when both lists hold equal elements in order, per iCompare (or identity
  /// when null); otherwise the sign of the first difference, or of the size difference.
  static int Compare(const VOKRawCollPV& iList1, const VOKRawCollPV& iList2,
                     CompareFunction iCompare);

 private:
  void*& Bad(int iPosition) const;
  std::vector<void*>* _Items;
};

/// List of values with value semantics (handles, strings), 1-based.
template <class T>
class VOKListVal {
 public:
  VOKListVal() = default;
  virtual ~VOKListVal() = default;
  VOKListVal(const VOKListVal&) = default;
  VOKListVal& operator=(const VOKListVal&) = default;

  int Size() const { return static_cast<int>(_Items.size()); }
  void Size(int iNewSize) { _Items.resize(iNewSize > 0 ? static_cast<std::size_t>(iNewSize) : 0u); }
  int Append(const T& iValue) {
    _Items.push_back(iValue);
    return 1;
  }
  int Append(const VOKListVal& iOther) {
    _Items.insert(_Items.end(), iOther._Items.begin(), iOther._Items.end());
    return 1;
  }
  T& operator[](int iPosition) {
    if (iPosition < 1 || iPosition > Size()) return Bad(iPosition);
    return _Items[static_cast<std::size_t>(iPosition - 1)];
  }
  const T& operator[](int iPosition) const {
    if (iPosition < 1 || iPosition > Size()) return const_cast<VOKListVal*>(this)->Bad(iPosition);
    return _Items[static_cast<std::size_t>(iPosition - 1)];
  }
  void RemovePosition(int iPosition) {
    if (iPosition < 1 || iPosition > Size()) {
      Bad(iPosition);
      return;
    }
    _Items.erase(_Items.begin() + (iPosition - 1));
  }
  void RemoveAll(VOKCollec::MemoryHandling iHow = VOKCollec::ReleaseAllocation) {
    _Items.clear();
    if (iHow == VOKCollec::ReleaseAllocation) _Items.shrink_to_fit();
  }

 private:
  T& Bad(int iPosition) { return VOKCollectionBadItem<T>("VOKListVal", iPosition, Size()); }
  std::vector<T> _Items;
};

typedef VOKListVal<VOKBaseUnknown_var> VOKListValVOKBaseUnknown_var;

#endif
