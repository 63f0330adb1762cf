// The typed list of modulation pointers.
#include <functional>

#include "VOKHostComponent.h"
#include "VOKListPtrVOKIDYNModulation.h"
#include "VOKTestSupport.h"

namespace {

class ConstantModulation : public VOKHost::Component, public VOKIDYNModulation {
 public:
  explicit ConstantModulation(double iValue) : _Value(iValue) {}
  double Evaluate(double) override { return _Value; }

 protected:
  void* Answer(const IID& iIID) override {
    if (iIID == IID_VOKIDYNModulation) return static_cast<VOKIDYNModulation*>(this);
    return Component::Answer(iIID);
  }

 private:
  double _Value;
};

class ModulationList : public VOKTest {
 protected:
  void SetUp() override {
    VOKTest::SetUp();
    for (int i = 0; i < 3; ++i) _M[i] = new ConstantModulation(i + 1.0);
  }
  void TearDown() override {
    for (auto* m : _M) m->Release();
    VOKTest::TearDown();
  }
  ConstantModulation* _M[3];
};

TEST_F(ModulationList, PositionsAreOneBasedAndNullsAllowed) {
  VOKListPtrVOKIDYNModulation list(0);
  EXPECT_EQ(list.Size(), 0);
  list.Append(_M[0]);
  list.Append(static_cast<VOKIDYNModulation*>(nullptr));
  list.Append(_M[2]);
  ASSERT_EQ(list.Size(), 3);
  EXPECT_EQ(list[1], _M[0]);
  EXPECT_EQ(list[2], nullptr);
  EXPECT_EQ(list[3], _M[2]);
  EXPECT_EQ(list.Locate(_M[2]), 3);
  EXPECT_EQ(list.Locate(_M[1]), 0);

  list[2] = _M[1];  // the element reference is writable
  EXPECT_EQ(list[2], _M[1]);
  EXPECT_DOUBLE_EQ(list[2]->Evaluate(0.0), 2.0);

  list.InsertAt(1, _M[2]);
  EXPECT_EQ(list.Size(), 4);
  EXPECT_EQ(list[1], _M[2]);
  EXPECT_EQ(list.NbOccur(_M[2]), 2);
  EXPECT_EQ(list.RemoveValue(_M[2]), 1);
  EXPECT_EQ(list[1], _M[0]);
  list.RemovePosition(1);
  EXPECT_EQ(list.Size(), 2);
  EXPECT_EQ(list[1], _M[1]);
}

TEST_F(ModulationList, SizeGrowsWithNulls) {
  VOKListPtrVOKIDYNModulation list;
  list.Size(4);
  ASSERT_EQ(list.Size(), 4);
  for (int i = 1; i <= 4; ++i) EXPECT_EQ(list[i], nullptr) << "position " << i;
  list[4] = _M[0];
  EXPECT_EQ(list.RemoveNulls(), 3);
  EXPECT_EQ(list.Size(), 1);
  EXPECT_EQ(list[1], _M[0]);
}

TEST_F(ModulationList, EqualityIsTheNegationOfInequality) {
  VOKListPtrVOKIDYNModulation a, b;
  struct Case {
    const char* what;
    std::vector<VOKIDYNModulation*> left, right;
  };
  const Case cases[] = {
      {"both empty", {}, {}},
      {"same elements", {_M[0], nullptr}, {_M[0], nullptr}},
      {"different order", {_M[0], _M[1]}, {_M[1], _M[0]}},
      {"different size", {_M[0]}, {_M[0], _M[0]}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    a.RemoveAll();
    b.RemoveAll();
    for (auto* m : c.left) a.Append(m);
    for (auto* m : c.right) b.Append(m);
    EXPECT_EQ(a == b, (a != b) ? 0 : 1);
    EXPECT_EQ(a == b, c.left == c.right ? 1 : 0);
  }
}

TEST_F(ModulationList, SelfAssignmentAndCopiesKeepPointers) {
  VOKListPtrVOKIDYNModulation list;
  list.Append(_M[0]);
  list.Append(_M[1]);
  VOKListPtrVOKIDYNModulation& alias = list;
  list = alias;
  ASSERT_EQ(list.Size(), 2);
  EXPECT_EQ(list[1], _M[0]);
  EXPECT_EQ(list[2], _M[1]);

  VOKListPtrVOKIDYNModulation copy(list);
  EXPECT_TRUE(copy == list);
  copy[1] = _M[2];
  EXPECT_EQ(list[1], _M[0]) << "a copy is independent";

  VOKIDYNModulation* array[] = {_M[2], _M[1]};
  VOKListPtrVOKIDYNModulation fromArray(array, 2);
  VOKIDYNModulation* out[2] = {nullptr, nullptr};
  fromArray.FillArray(out, 2);
  EXPECT_EQ(out[0], _M[2]);
  EXPECT_EQ(out[1], _M[1]);
}

int ByValue(VOKIDYNModulation* a, VOKIDYNModulation* b) {
  double x = a->Evaluate(0.0), y = b->Evaluate(0.0);
  return x < y ? -1 : (x > y ? 1 : 0);
}

TEST_F(ModulationList, SortAndCompareUseTheTypedComparison) {
  VOKListPtrVOKIDYNModulation list;
  list.Append(_M[2]);
  list.Append(_M[0]);
  list.Append(_M[1]);
  list.QuickSort(ByValue);
  EXPECT_EQ(list[1], _M[0]);
  EXPECT_EQ(list[2], _M[1]);
  EXPECT_EQ(list[3], _M[2]);

  VOKListPtrVOKIDYNModulation other;
  other.Append(_M[0]);
  other.Append(_M[2]);
  EXPECT_EQ(VOKListPtrVOKIDYNModulation::Compare(list, list, ByValue), 0);
  EXPECT_LT(VOKListPtrVOKIDYNModulation::Compare(list, other, ByValue), 0);

  VOKListPtrVOKIDYNModulation common;
  VOKListPtrVOKIDYNModulation::Intersection(list, other, common);
  ASSERT_EQ(common.Size(), 2);
  EXPECT_EQ(common[1], _M[0]);
  EXPECT_EQ(common[2], _M[2]);

  list.Append(_M[0]);
  VOKListPtrVOKIDYNModulation removed;
  EXPECT_EQ(list.RemoveDuplicates(&removed), 1);
  EXPECT_EQ(list.Size(), 3);
  ASSERT_EQ(removed.Size(), 1);
  EXPECT_EQ(removed[1], _M[0]);
}

TEST_F(ModulationList, WithoutAComparisonListsCompareByIdentity) {
  // The order of two different pointers is their order as addresses.
  auto sign = [](VOKIDYNModulation* a, VOKIDYNModulation* b) {
    return a == b ? 0 : std::less<VOKIDYNModulation*>()(a, b) ? -1 : 1;
  };
  VOKListPtrVOKIDYNModulation list;
  list.Append(_M[0]);
  list.Append(_M[1]);
  VOKListPtrVOKIDYNModulation same;
  same.Append(_M[0]);
  same.Append(_M[1]);
  VOKListPtrVOKIDYNModulation other;
  other.Append(_M[0]);
  other.Append(_M[2]);
  VOKListPtrVOKIDYNModulation longer = same;
  longer.Append(static_cast<VOKIDYNModulation*>(nullptr));
  // Two modulations of equal value are still different elements.
  ConstantModulation* twin = new ConstantModulation(1.0);
  VOKListPtrVOKIDYNModulation twinList;
  twinList.Append(twin);
  twinList.Append(_M[1]);

  EXPECT_EQ(0, VOKListPtrVOKIDYNModulation::Compare(list, same, nullptr));
  EXPECT_EQ(sign(_M[1], _M[2]), VOKListPtrVOKIDYNModulation::Compare(list, other, nullptr));
  EXPECT_EQ(sign(_M[2], _M[1]), VOKListPtrVOKIDYNModulation::Compare(other, list, nullptr));
  EXPECT_EQ(sign(_M[0], twin), VOKListPtrVOKIDYNModulation::Compare(list, twinList, nullptr));
  EXPECT_EQ(0, VOKListPtrVOKIDYNModulation::Compare(list, twinList, ByValue));
  EXPECT_EQ(-1, VOKListPtrVOKIDYNModulation::Compare(list, longer, nullptr));
  EXPECT_EQ(1, VOKListPtrVOKIDYNModulation::Compare(longer, list, nullptr));
  twin->Release();
}

TEST_F(ModulationList, NeverTouchesReferenceCounts) {
  long before[3];
  for (int i = 0; i < 3; ++i) before[i] = _M[i]->RefCount();
  {
    auto* list = new VOKListPtrVOKIDYNModulation;
    for (auto* m : _M) list->Append(m);
    VOKListPtrVOKIDYNModulation copy(*list);
    copy.RemoveAll();
    delete list;  // through the virtual destructor
  }
  for (int i = 0; i < 3; ++i) EXPECT_EQ(_M[i]->RefCount(), before[i]);
}

TEST_F(ModulationList, BadPositionIsReportedNotRead) {
  VOKListPtrVOKIDYNModulation list;
  list.Append(_M[0]);
  EXPECT_THROW(list[2], NullHandleCall);
  EXPECT_THROW(list[0], NullHandleCall);
}

}  // namespace
