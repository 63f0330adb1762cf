// The list operations that work on whole lists or ranges: appending and
// removing another list, removing a run of positions, swapping, sorting
// without a comparison, and reading through a constant list.
#include <vector>

#include "VOKHostDynamics.h"
#include "VOKListPtrVOKIDYNModulation.h"
#include "VOKTestSupport.h"

namespace {

class ModulationListRanges : public VOKTest {
 protected:
  void SetUp() override {
    VOKTest::SetUp();
    for (int i = 0; i < 4; ++i) _M[i] = VOKHost::Modulation::Constant("m", i + 1.0);
  }
  void TearDown() override {
    for (auto* m : _M) m->Release();
    VOKTest::TearDown();
  }
  VOKIDYNModulation* M(int i) const { return _M[i]; }
  static std::vector<VOKIDYNModulation*> Items(const VOKListPtrVOKIDYNModulation& iList) {
    std::vector<VOKIDYNModulation*> items;
    for (int i = 1; i <= iList.Size(); ++i) items.push_back(iList[i]);  // the constant operator[]
    return items;
  }
  VOKHost::Modulation* _M[4];
};

TEST_F(ModulationListRanges, WholeListsAndRunsOfPositions) {
  VOKListPtrVOKIDYNModulation list(0), other(0);
  list.Append(M(0));
  list.Append(M(1));
  other.Append(M(2));
  other.Append(M(1));

  EXPECT_EQ(list.Append(other), 1) << "appending a list succeeds";
  EXPECT_EQ(Items(list), (std::vector<VOKIDYNModulation*>{M(0), M(1), M(2), M(1)}));

  // Removing a list removes every occurrence of each of its pointers.
  VOKListPtrVOKIDYNModulation ones(0);
  ones.Append(M(1));
  EXPECT_EQ(list.Remove(ones), 2);
  EXPECT_EQ(Items(list), (std::vector<VOKIDYNModulation*>{M(0), M(2)}));

  list.Append(M(3));
  list.Append(M(1));
  list.Swap(1, 4);
  EXPECT_EQ(Items(list), (std::vector<VOKIDYNModulation*>{M(1), M(2), M(3), M(0)}));

  EXPECT_EQ(list.RemovePosition(2, 2u), 2) << "a run of two positions from 2";
  EXPECT_EQ(Items(list), (std::vector<VOKIDYNModulation*>{M(1), M(0)}));

  // Without a comparison there is no order to sort by: the list stays.
  list.Append(M(3));
  list.QuickSort(nullptr);
  EXPECT_EQ(Items(list), (std::vector<VOKIDYNModulation*>{M(1), M(0), M(3)}));
}

}  // namespace
