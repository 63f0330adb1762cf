// The untyped pointer list and the report of bad positions.
#include "VOKCollections.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "VOKErrors.h"
#include "VOKHostErrorsInternal.h"

void VOKCollectionIndexError(const char* iCollection, int iPosition, int iSize) {
  char text[160];
  std::snprintf(text, sizeof text, "%s: position %d outside 1..%d", iCollection, iPosition, iSize);
  VOKHost::RaiseNullHandle(text);
}

VOKRawCollPV::VOKRawCollPV(int iReserve) : _Items(new std::vector<void*>) {
  if (iReserve > 0) _Items->reserve(static_cast<std::size_t>(iReserve));
}
VOKRawCollPV::VOKRawCollPV(const VOKRawCollPV& iOther) : _Items(new std::vector<void*>(*iOther._Items)) {}
VOKRawCollPV::VOKRawCollPV(void** iArray, int iCount) : _Items(new std::vector<void*>) {
  if (iArray && iCount > 0) _Items->assign(iArray, iArray + iCount);
}
VOKRawCollPV::~VOKRawCollPV() { delete _Items; }

VOKRawCollPV& VOKRawCollPV::operator=(const VOKRawCollPV& iOther) {
  if (this != &iOther) *_Items = *iOther._Items;
  return *this;
}

int VOKRawCollPV::Append(void* iPointer) {
  _Items->push_back(iPointer);
  return 1;
}
int VOKRawCollPV::Append(const VOKRawCollPV& iOther) {
  std::vector<void*> copy(*iOther._Items);  // iOther may be this list
  _Items->insert(_Items->end(), copy.begin(), copy.end());
  return 1;
}
int VOKRawCollPV::InsertAt(int iPosition, void* iPointer) {
  if (iPosition < 1 || iPosition > Size() + 1) return 0;
  _Items->insert(_Items->begin() + (iPosition - 1), iPointer);
  return 1;
}
int VOKRawCollPV::Size() const { return static_cast<int>(_Items->size()); }
void VOKRawCollPV::Size(int iNewSize) {
  _Items->resize(iNewSize > 0 ? static_cast<std::size_t>(iNewSize) : 0u, nullptr);
}

void*& VOKRawCollPV::Bad(int iPosition) const {
  VOKCollectionIndexError("VOKRawCollPV", iPosition, Size());
  static thread_local void* dummy;
  dummy = nullptr;
  return dummy;
}
void*& VOKRawCollPV::operator[](int iPosition) {
  if (iPosition < 1 || iPosition > Size()) return Bad(iPosition);
  return (*_Items)[static_cast<std::size_t>(iPosition - 1)];
}
void* VOKRawCollPV::operator[](int iPosition) const {
  if (iPosition < 1 || iPosition > Size()) return Bad(iPosition);
  return (*_Items)[static_cast<std::size_t>(iPosition - 1)];
}

int VOKRawCollPV::Locate(void* iPointer, int iFrom) const {
  for (int i = iFrom < 1 ? 1 : iFrom; i <= Size(); ++i)
    if ((*_Items)[static_cast<std::size_t>(i - 1)] == iPointer) return i;
  return 0;
}
int VOKRawCollPV::RemoveValue(void* iPointer) {
  int position = Locate(iPointer);
  if (position) _Items->erase(_Items->begin() + (position - 1));
  return position;
}
int VOKRawCollPV::Remove(const VOKRawCollPV& iOther) {
  std::vector<void*> others(*iOther._Items);
  std::size_t before = _Items->size();
  _Items->erase(std::remove_if(_Items->begin(), _Items->end(),
                               [&](void* p) { return std::find(others.begin(), others.end(), p) != others.end(); }),
                _Items->end());
  return static_cast<int>(before - _Items->size());
}
void VOKRawCollPV::RemovePosition(int iPosition) {
  if (iPosition < 1 || iPosition > Size()) {
    Bad(iPosition);
    return;
  }
  _Items->erase(_Items->begin() + (iPosition - 1));
}
int VOKRawCollPV::RemovePosition(int iPosition, unsigned int iCount) {
  if (iPosition < 1 || iPosition > Size()) return 0;
  std::size_t first = static_cast<std::size_t>(iPosition - 1);
  std::size_t count = std::min<std::size_t>(iCount, _Items->size() - first);
  _Items->erase(_Items->begin() + static_cast<long>(first), _Items->begin() + static_cast<long>(first + count));
  return static_cast<int>(count);
}
void VOKRawCollPV::RemoveAll(VOKCollec::MemoryHandling iHow) {
  _Items->clear();
  if (iHow == VOKCollec::ReleaseAllocation) _Items->shrink_to_fit();
}
int VOKRawCollPV::RemoveNulls() {
  std::size_t before = _Items->size();
  _Items->erase(std::remove(_Items->begin(), _Items->end(), nullptr), _Items->end());
  return static_cast<int>(before - _Items->size());
}
int VOKRawCollPV::operator==(const VOKRawCollPV& iOther) const { return *_Items == *iOther._Items; }
int VOKRawCollPV::operator!=(const VOKRawCollPV& iOther) const { return *_Items != *iOther._Items; }
void VOKRawCollPV::Swap(int iPosition1, int iPosition2) {
  if (iPosition1 < 1 || iPosition1 > Size()) {
    Bad(iPosition1);
    return;
  }
  if (iPosition2 < 1 || iPosition2 > Size()) {
    Bad(iPosition2);
    return;
  }
  std::swap((*_Items)[static_cast<std::size_t>(iPosition1 - 1)],
            (*_Items)[static_cast<std::size_t>(iPosition2 - 1)]);
}
void VOKRawCollPV::QuickSort(CompareFunction iCompare) {
  if (!iCompare) return;
  std::stable_sort(_Items->begin(), _Items->end(), [&](void* a, void* b) { return iCompare(a, b) < 0; });
}
void VOKRawCollPV::FillArray(void** iArray, int iMax) const {
  if (!iArray) return;
  for (int i = 0; i < iMax && i < Size(); ++i) iArray[i] = (*_Items)[static_cast<std::size_t>(i)];
}
int VOKRawCollPV::NbOccur(void* iPointer) const {
  return static_cast<int>(std::count(_Items->begin(), _Items->end(), iPointer));
}
void VOKRawCollPV::Intersection(const VOKRawCollPV& iList1, const VOKRawCollPV& iList2,
                                VOKRawCollPV& oResult) {
  std::vector<void*> found;
  for (void* p : *iList1._Items)
    if (iList2.Locate(p)) found.push_back(p);
  oResult._Items->insert(oResult._Items->end(), found.begin(), found.end());
}
int VOKRawCollPV::RemoveDuplicates(VOKRawCollPV* oRemoved) {
  std::vector<void*> kept;
  int removed = 0;
  for (void* p : *_Items) {
    if (std::find(kept.begin(), kept.end(), p) == kept.end()) {
      kept.push_back(p);
    } else {
      ++removed;
      if (oRemoved) oRemoved->Append(p);
    }
  }
  _Items->swap(kept);
  return removed;
}
int VOKRawCollPV::Compare(const VOKRawCollPV& iList1, const VOKRawCollPV& iList2,
                          CompareFunction iCompare) {
  std::size_t n = std::min(iList1._Items->size(), iList2._Items->size());
  for (std::size_t i = 0; i < n; ++i) {
    void* a = (*iList1._Items)[i];
    void* b = (*iList2._Items)[i];
    int c = iCompare ? iCompare(a, b) : (a == b ? 0 : (std::less<void*>()(a, b) ? -1 : 1));
    if (c != 0) return c < 0 ? -1 : 1;
  }
  if (iList1._Items->size() == iList2._Items->size()) return 0;
  return iList1._Items->size() < iList2._Items->size() ? -1 : 1;
}
