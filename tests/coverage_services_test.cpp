// Mesh services of objects that hold no numbering, copied and assigned, and
// the inverse numbering table of a solver numbering with a negative
// component.
#include <memory>

#include "VOKDYNMeshServices.h"
#include "VOKHostAnalysisSets.h"
#include "VOKTestSupport.h"

namespace {

using VOKHost::DofNumberingSet;

class MeshServicesWithoutNumbering : public VOKTest {
 protected:
  void SetUp() override {
    VOKTest::SetUp();
    _Set = DofNumberingSet::Create("Solution set");
    // Nodes 1 and 2: components 0, 1, 2 on node 1, component 0 on node 2.
    _Set->SetNumbering({0, 1, 2, 0}, {1, 1, 1, 2});
  }
  void TearDown() override {
    _Set->Release();
    VOKTest::TearDown();
  }
  VOKISamAnalysisSet* Set() { return static_cast<VOKISamAnalysisSet*>(_Set); }
  DofNumberingSet* _Set = nullptr;
};

TEST_F(MeshServicesWithoutNumbering, CopiesAndAssignmentsOfAnEmptyObjectStayEmptyOrTakeTheSource) {
  const long base = _Set->RefCount();
  int nodes = -1, perNode = -1, dofs = -1;
  {
    // A copy of an object without numbering has none either.
    VOKDYNMeshServices empty(nullptr);
    VOKDYNMeshServices copy(empty);
    EXPECT_HR(E_FAIL, copy.GetNbNodes(nodes));
    EXPECT_EQ(-1, nodes) << "output written on success only";
    EXPECT_EQ(1, copy.RefCount());
  }
  {
    // An empty target gives up nothing and takes the source's reference and
    // cache.
    VOKDYNMeshServices target(nullptr);
    auto source = std::make_unique<VOKDYNMeshServices>(Set());
    ASSERT_HR(S_OK, source->GetNbNodes(nodes));
    EXPECT_EQ(&target, &(target = *source));
    EXPECT_EQ(base + 2, _Set->RefCount());
    source.reset();
    EXPECT_EQ(base + 1, _Set->RefCount());
    ASSERT_HR(S_OK, target.GetMeshSizes(nodes, perNode, dofs));
    EXPECT_EQ(2, nodes);
    EXPECT_EQ(4, dofs);
    EXPECT_EQ(1, _Set->ReadCount()) << "the cache came along";
  }
  EXPECT_EQ(base, _Set->RefCount());
}

TEST_F(MeshServicesWithoutNumbering, InverseTableLeavesOutANegativeComponent) {
  // DOF 0 has component -1: it has no row. DOF 1 is component 0 of node 1,
  // DOF 2 component 1 of node 2; every other cell says no DOF (0).
  _Set->SetNumbering({-1, 0, 1}, {1, 1, 2});
  VOKDYNMeshServices services(Set());
  int nodes = -1, unused = -1;
  int** table = nullptr;
  ASSERT_HR(S_OK, services.GetIFLEC(nodes, unused, table));
  ASSERT_EQ(2, nodes);
  ASSERT_NE(nullptr, table);
  for (int c = 0; c < 6; ++c)
    for (int col = 0; col < 2; ++col) {
      SCOPED_TRACE(testing::Message() << "component " << c << " column " << col);
      const int expected = c == 0 && col == 0 ? 1 : c == 1 && col == 1 ? 2 : 0;
      EXPECT_EQ(expected, table[c][col]);
    }
  for (int c = 0; c < 6; ++c) delete[] table[c];
  delete[] table;
}

}  // namespace
