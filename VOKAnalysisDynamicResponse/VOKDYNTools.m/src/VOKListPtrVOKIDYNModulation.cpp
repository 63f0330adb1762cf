// The typed list of modulation pointers: each operation converts between
// VOKIDYNModulation* and the untyped pointer and forwards to the untyped list.
#include "VOKListPtrVOKIDYNModulation.h"

namespace {

// The untyped list compares untyped pointers. Calling the caller's typed
// comparison through a cast function pointer would be undefined behaviour, so
// the typed comparison is reached through this trampoline instead.
thread_local int (*t_TypedCompare)(VOKIDYNModulation*, VOKIDYNModulation*) = nullptr;

int CompareUntyped(void* iA, void* iB) {
  return t_TypedCompare(static_cast<VOKIDYNModulation*>(iA), static_cast<VOKIDYNModulation*>(iB));
}

// Restores the previous comparison (a comparison may itself sort a list).
class TypedCompareScope {
 public:
  explicit TypedCompareScope(int (*iCompare)(VOKIDYNModulation*, VOKIDYNModulation*))
      : _Saved(t_TypedCompare) {
    t_TypedCompare = iCompare;
  }
  ~TypedCompareScope() { t_TypedCompare = _Saved; }

 private:
  int (*_Saved)(VOKIDYNModulation*, VOKIDYNModulation*);
};

}  // namespace

VOKListPtrVOKIDYNModulation::VOKListPtrVOKIDYNModulation(int iReserve) : VOKRawCollPV(iReserve) {}
VOKListPtrVOKIDYNModulation::VOKListPtrVOKIDYNModulation(const VOKListPtrVOKIDYNModulation& iOther)
    : VOKRawCollPV(iOther) {}
VOKListPtrVOKIDYNModulation::VOKListPtrVOKIDYNModulation(VOKIDYNModulation** iArray, int iCount)
    : VOKRawCollPV(reinterpret_cast<void**>(iArray), iCount) {}
VOKListPtrVOKIDYNModulation::~VOKListPtrVOKIDYNModulation() {}

VOKListPtrVOKIDYNModulation& VOKListPtrVOKIDYNModulation::operator=(
    const VOKListPtrVOKIDYNModulation& iOther) {
  if (this != &iOther) VOKRawCollPV::operator=(iOther);
  return *this;
}

int VOKListPtrVOKIDYNModulation::Append(VOKIDYNModulation* iModulation) {
  return VOKRawCollPV::Append(static_cast<void*>(iModulation));
}
int VOKListPtrVOKIDYNModulation::Append(const VOKListPtrVOKIDYNModulation& iOther) {
  return VOKRawCollPV::Append(static_cast<const VOKRawCollPV&>(iOther));
}
int VOKListPtrVOKIDYNModulation::InsertAt(int iPosition, VOKIDYNModulation* iModulation) {
  return VOKRawCollPV::InsertAt(iPosition, static_cast<void*>(iModulation));
}
int VOKListPtrVOKIDYNModulation::Size() const { return VOKRawCollPV::Size(); }
void VOKListPtrVOKIDYNModulation::Size(int iNewSize) { VOKRawCollPV::Size(iNewSize); }

VOKIDYNModulation*& VOKListPtrVOKIDYNModulation::operator[](int iPosition) {
  // The element is stored as the untyped pointer of the modulation pointer:
  // both have the same representation.
  return reinterpret_cast<VOKIDYNModulation*&>(VOKRawCollPV::operator[](iPosition));
}
VOKIDYNModulation* VOKListPtrVOKIDYNModulation::operator[](int iPosition) const {
  return static_cast<VOKIDYNModulation*>(VOKRawCollPV::operator[](iPosition));
}
int VOKListPtrVOKIDYNModulation::Locate(VOKIDYNModulation* iModulation, int iFrom) const {
  return VOKRawCollPV::Locate(static_cast<void*>(iModulation), iFrom);
}
int VOKListPtrVOKIDYNModulation::RemoveValue(VOKIDYNModulation* iModulation) {
  return VOKRawCollPV::RemoveValue(static_cast<void*>(iModulation));
}
int VOKListPtrVOKIDYNModulation::Remove(const VOKListPtrVOKIDYNModulation& iOther) {
  return VOKRawCollPV::Remove(iOther);
}
void VOKListPtrVOKIDYNModulation::RemovePosition(int iPosition) { VOKRawCollPV::RemovePosition(iPosition); }
int VOKListPtrVOKIDYNModulation::RemovePosition(int iPosition, unsigned int iCount) {
  return VOKRawCollPV::RemovePosition(iPosition, iCount);
}
void VOKListPtrVOKIDYNModulation::RemoveAll(VOKCollec::MemoryHandling iHow) { VOKRawCollPV::RemoveAll(iHow); }
int VOKListPtrVOKIDYNModulation::RemoveNulls() { return VOKRawCollPV::RemoveNulls(); }
int VOKListPtrVOKIDYNModulation::operator==(const VOKListPtrVOKIDYNModulation& iOther) const {
  return VOKRawCollPV::operator!=(iOther) == 0 ? 1 : 0;
}
int VOKListPtrVOKIDYNModulation::operator!=(const VOKListPtrVOKIDYNModulation& iOther) const {
  return VOKRawCollPV::operator!=(iOther);
}
void VOKListPtrVOKIDYNModulation::Swap(int iPosition1, int iPosition2) {
  VOKRawCollPV::Swap(iPosition1, iPosition2);
}
void VOKListPtrVOKIDYNModulation::QuickSort(int (*iCompare)(VOKIDYNModulation*, VOKIDYNModulation*)) {
  if (!iCompare) {
    VOKRawCollPV::QuickSort(nullptr);
    return;
  }
  TypedCompareScope scope(iCompare);
  VOKRawCollPV::QuickSort(&CompareUntyped);
}
void VOKListPtrVOKIDYNModulation::FillArray(VOKIDYNModulation** iArray, int iMax) const {
  VOKRawCollPV::FillArray(reinterpret_cast<void**>(iArray), iMax);
}
int VOKListPtrVOKIDYNModulation::NbOccur(VOKIDYNModulation* iModulation) {
  return VOKRawCollPV::NbOccur(static_cast<void*>(iModulation));
}
void VOKListPtrVOKIDYNModulation::Intersection(const VOKListPtrVOKIDYNModulation& iList1,
                                               const VOKListPtrVOKIDYNModulation& iList2,
                                               VOKListPtrVOKIDYNModulation& oResult) {
  VOKRawCollPV::Intersection(iList1, iList2, oResult);
}
int VOKListPtrVOKIDYNModulation::RemoveDuplicates(VOKListPtrVOKIDYNModulation* oRemoved) {
  return VOKRawCollPV::RemoveDuplicates(oRemoved);
}
int VOKListPtrVOKIDYNModulation::Compare(const VOKListPtrVOKIDYNModulation& iList1,
                                         const VOKListPtrVOKIDYNModulation& iList2,
                                         int (*iCompare)(VOKIDYNModulation*, VOKIDYNModulation*)) {
  if (!iCompare) return VOKRawCollPV::Compare(iList1, iList2, nullptr);
  TypedCompareScope scope(iCompare);
  return VOKRawCollPV::Compare(iList1, iList2, &CompareUntyped);
}
