#ifndef VOKListPtrVOKIDYNModulation_h
#define VOKListPtrVOKIDYNModulation_h
// A 1-based list of modulation interface pointers (null allowed).
//
// The list never owns what it points to: it neither adds nor releases
// references. An owner that holds references releases each element itself
// before emptying the list. Every operation is the untyped list's.
#include "VOKCollections.h"
#include "VOKDYNInterfaces.h"
#include "VOKDYNToolsExport.h"

class ExportedByVOKDYNTools VOKListPtrVOKIDYNModulation : public VOKRawCollPV {
 public:
  /// An empty list (iReserve is a capacity hint).
  VOKListPtrVOKIDYNModulation(int iReserve = 0);
  /// Copies the pointers, not the modulations.
  VOKListPtrVOKIDYNModulation(const VOKListPtrVOKIDYNModulation& iOther);
  /// A list of the iCount pointers of iArray.
  VOKListPtrVOKIDYNModulation(VOKIDYNModulation** iArray, int iCount);
  virtual ~VOKListPtrVOKIDYNModulation();
  VOKListPtrVOKIDYNModulation& operator=(const VOKListPtrVOKIDYNModulation& iOther);

  int Append(VOKIDYNModulation* iModulation);
  int Append(const VOKListPtrVOKIDYNModulation& iOther);
  int InsertAt(int iPosition, VOKIDYNModulation* iModulation);
  int Size() const;
  /// Resizes; new positions hold null.
  void Size(int iNewSize);
  VOKIDYNModulation*& operator[](int iPosition);
  VOKIDYNModulation* operator[](int iPosition) const;
  int Locate(VOKIDYNModulation* iModulation, int iFrom = 1) const;
  int RemoveValue(VOKIDYNModulation* iModulation);
  int Remove(const VOKListPtrVOKIDYNModulation& iOther);
  void RemovePosition(int iPosition);
  int RemovePosition(int iPosition, unsigned int iCount);
  void RemoveAll(VOKCollec::MemoryHandling iHow = VOKCollec::ReleaseAllocation);
  int RemoveNulls();
  int operator==(const VOKListPtrVOKIDYNModulation& iOther) const;
  int operator!=(const VOKListPtrVOKIDYNModulation& iOther) const;
  void Swap(int iPosition1, int iPosition2);
  void QuickSort(int (*iCompare)(VOKIDYNModulation*, VOKIDYNModulation*));
  void FillArray(VOKIDYNModulation** iArray, int iMax) const;
  int NbOccur(VOKIDYNModulation* iModulation);
  static void Intersection(const VOKListPtrVOKIDYNModulation& iList1,
                           const VOKListPtrVOKIDYNModulation& iList2,
                           VOKListPtrVOKIDYNModulation& oResult);
  int RemoveDuplicates(VOKListPtrVOKIDYNModulation* oRemoved = nullptr);
  static int Compare(const VOKListPtrVOKIDYNModulation& iList1,
                     const VOKListPtrVOKIDYNModulation& iList2,
                     int (*iCompare)(VOKIDYNModulation*, VOKIDYNModulation*));
};

#endif
