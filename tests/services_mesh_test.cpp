// Mesh sizes and the solver's degree-of-freedom numbering tables.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "VOKDYNMeshServices.h"
#include "VOKHostAnalysisSets.h"
#include "services_records.h"

namespace {

using VOKHost::DofNumberingSet;

constexpr int kUntouched = -4242;

// The tables the services hand out belong to the caller; these holders free
// them the way their owner must.
struct Ipdeg {
  int count = kUntouched;
  int** table = nullptr;
  ~Ipdeg() {
    if (!table) return;
    if (count > 0) delete[] table[0];  // the pairs are one block
    delete[] table;
  }
};
struct Iflec {
  int nodes = kUntouched;
  int unused = kUntouched;
  int** table = nullptr;
  ~Iflec() {
    if (!table) return;
    for (int c = 0; c < 6; ++c) delete[] table[c];
    delete[] table;
  }
};

// A solver numbering: nodes 1..3; node 1 carries components 0, 1, 2, node 2
// all six, node 3 components 0 and 2 (DOFs in that order).
struct Numbering {
  std::vector<int> components{0, 1, 2, 0, 1, 2, 3, 4, 5, 0, 2};
  std::vector<int> nodes{1, 1, 1, 2, 2, 2, 2, 2, 2, 3, 3};
};

class MeshServices : public VOKTest {
 protected:
  void SetUp() override {
    VOKTest::SetUp();
    _Set = DofNumberingSet::Create("Solution set");
    _Set->SetNumbering(_N.components, _N.nodes);
  }
  void TearDown() override {
    _Set->Release();
    VOKTest::TearDown();
  }
  VOKISamAnalysisSet* Set() { return static_cast<VOKISamAnalysisSet*>(_Set); }
  Numbering _N;
  DofNumberingSet* _Set = nullptr;
};

TEST_F(MeshServices, SizesComeFromTheLastDofAndTheSolverIsAskedOnce) {
  VOKDYNMeshServices services(Set());
  EXPECT_EQ(_Set->ReadCount(), 0) << "nothing is read before the first query";
  int nodes = kUntouched;
  EXPECT_HR(S_OK, services.GetNbNodes(nodes));
  EXPECT_EQ(nodes, _N.nodes.back());
  int perNode = kUntouched, dofs = kUntouched;
  nodes = kUntouched;
  EXPECT_HR(S_OK, services.GetMeshSizes(nodes, perNode, dofs));
  EXPECT_EQ(nodes, 3);
  EXPECT_EQ(perNode, 6);
  EXPECT_EQ(dofs, static_cast<int>(_N.components.size()));
  Ipdeg ipdeg;
  Iflec iflec;
  EXPECT_HR(S_OK, services.GetIPDEG(ipdeg.count, ipdeg.table));
  EXPECT_HR(S_OK, services.GetIFLEC(iflec.nodes, iflec.unused, iflec.table));
  EXPECT_EQ(_Set->ReadCount(), 1);
  // The cache is never refreshed: a changed solver numbering is not seen.
  _Set->SetNumbering({0}, {1});
  EXPECT_HR(S_OK, services.GetNbNodes(nodes));
  EXPECT_EQ(nodes, 3);
  EXPECT_EQ(_Set->ReadCount(), 1);
  EXPECT_TRUE(VOKHost::InstantiatedErrors().empty());
}

TEST_F(MeshServices, IpdegCopiesAreIndependentOfEachOtherAndOfTheCache) {
  VOKDYNMeshServices services(Set());
  const int n = static_cast<int>(_N.components.size());
  auto first = std::make_unique<Ipdeg>();
  Ipdeg second;
  ASSERT_HR(S_OK, services.GetIPDEG(first->count, first->table));
  ASSERT_HR(S_OK, services.GetIPDEG(second.count, second.table));
  ASSERT_EQ(first->count, n);
  ASSERT_EQ(second.count, n);
  EXPECT_NE(first->table, second.table);
  EXPECT_NE(first->table[0], second.table[0]);
  for (int i = 0; i < n; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(first->table[i][0], _N.components[i]);
    EXPECT_EQ(first->table[i][1], _N.nodes[i]);
    EXPECT_EQ(first->table[i], first->table[0] + 2 * i) << "rows are pairs of one block";
  }
  // Scribble over the first copy and free it: the second and the cache stay.
  for (int i = 0; i < n; ++i) first->table[i][0] = first->table[i][1] = -1;
  first.reset();
  Ipdeg third;
  ASSERT_HR(S_OK, services.GetIPDEG(third.count, third.table));
  for (int i = 0; i < n; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(second.table[i][0], _N.components[i]);
    EXPECT_EQ(second.table[i][1], _N.nodes[i]);
    EXPECT_EQ(third.table[i][0], _N.components[i]);
    EXPECT_EQ(third.table[i][1], _N.nodes[i]);
  }
}

TEST_F(MeshServices, IflecIsTheInverseWithZeroWhereNoDofIs) {
  VOKDYNMeshServices services(Set());
  Iflec iflec;
  ASSERT_HR(S_OK, services.GetIFLEC(iflec.nodes, iflec.unused, iflec.table));
  ASSERT_EQ(iflec.nodes, 3);
  EXPECT_EQ(iflec.unused, kUntouched) << "the second integer is never written";
  // Expected table: node n in column n - 1, the DOF index in its cell.
  int expected[6][3] = {};
  for (std::size_t i = 0; i < _N.components.size(); ++i)
    expected[_N.components[i]][_N.nodes[i] - 1] = static_cast<int>(i);
  for (int c = 0; c < 6; ++c)
    for (int col = 0; col < 3; ++col) {
      SCOPED_TRACE(testing::Message() << "component " << c << " column " << col);
      EXPECT_EQ(iflec.table[c][col], expected[c][col]);
    }
  // Cells without a DOF read 0, like DOF 0 itself.
  EXPECT_EQ(iflec.table[3][0], 0);
  EXPECT_EQ(iflec.table[1][2], 0);
  EXPECT_EQ(iflec.table[0][0], 0);
  EXPECT_EQ(iflec.table[5][1], 8);
}

TEST_F(MeshServices, IflecLeavesOutDofsOutsideTheTable) {
  // The last DOF is at node 2, so node 3 and node 0 have no column, and
  // component 6 no row: those DOFs appear in IPDEG only.
  _Set->SetNumbering({0, 6, 1, 2, 1, 3}, {1, 1, 3, 0, 2, 2});
  VOKDYNMeshServices services(Set());
  Iflec iflec;
  ASSERT_HR(S_OK, services.GetIFLEC(iflec.nodes, iflec.unused, iflec.table));
  ASSERT_EQ(iflec.nodes, 2);
  const int expected[6][2] = {{0, 0}, {0, 4}, {0, 0}, {0, 5}, {0, 0}, {0, 0}};
  for (int c = 0; c < 6; ++c)
    for (int col = 0; col < 2; ++col) {
      SCOPED_TRACE(testing::Message() << "component " << c << " column " << col);
      EXPECT_EQ(iflec.table[c][col], expected[c][col]);
    }
  Ipdeg ipdeg;
  ASSERT_HR(S_OK, services.GetIPDEG(ipdeg.count, ipdeg.table));
  EXPECT_EQ(ipdeg.count, 6);
}

TEST_F(MeshServices, NonPositiveNodeCountIsABadSize) {
  struct Row {
    const char* what;
    std::vector<int> components, nodes;
    int nodeCount;
  } rows[] = {
      {"no DOF at all", {}, {}, 0},
      {"last DOF at node 0", {0, 1}, {1, 0}, 0},
      {"last DOF at a negative node", {0, 1}, {2, -3}, -3},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    VOKHost::ClearErrors();
    _Set->SetNumbering(row.components, row.nodes);
    VOKDYNMeshServices services(Set());
    Iflec iflec;
    EXPECT_HR(E_FAIL, services.GetIFLEC(iflec.nodes, iflec.unused, iflec.table));
    EXPECT_EQ(iflec.nodes, row.nodeCount) << "the count read is written before the check";
    EXPECT_EQ(iflec.table, nullptr);
    services::ExpectLastRecord(services::Own(1, ": bad size", "VOKDYNMeshServices", 127));
    // The sizes themselves are no failure.
    int nodes = kUntouched, perNode = kUntouched, dofs = kUntouched;
    EXPECT_HR(S_OK, services.GetMeshSizes(nodes, perNode, dofs));
    EXPECT_EQ(nodes, row.nodeCount);
    EXPECT_EQ(perNode, 6);
    EXPECT_EQ(dofs, static_cast<int>(row.components.size()));
  }
}

TEST_F(MeshServices, EmptyNumberingHandsOutAnEmptyIpdeg) {
  _Set->SetNumbering({}, {});
  VOKDYNMeshServices services(Set());
  Ipdeg ipdeg;
  EXPECT_HR(S_OK, services.GetIPDEG(ipdeg.count, ipdeg.table));
  EXPECT_EQ(ipdeg.count, 0);
  EXPECT_NE(ipdeg.table, nullptr);
  EXPECT_EQ(_Set->ReadCount(), 1);
}

TEST_F(MeshServices, BadSizeIsFilledOverAPendingRecord) {
  _Set->SetNumbering({}, {});
  VOKDYNMeshServices services(Set());
  services::Record pending = services::MakePending();
  Iflec iflec;
  EXPECT_HR(E_FAIL, services.GetIFLEC(iflec.nodes, iflec.unused, iflec.table));
  services::Record own = services::Own(1, ": bad size", "VOKDYNMeshServices", 127);
  own.includedFile = pending.includedFile;  // not the services' to fill
  own.includedLine = pending.includedLine;
  services::ExpectLastRecord(own, 2);
}

TEST_F(MeshServices, TraceLineGivesTheComponentCountBeforeTheSizeCheck) {
  struct Row {
    const char* what;
    std::vector<int> components, nodes;
    long result;
  } rows[] = {
      {"agreeing lists", {0, 1, 2}, {1, 1, 1}, S_OK},
      {"more nodes than components", {0, 1}, {1, 1, 2, 2}, E_FAIL},
      {"fewer nodes than components", {0, 1, 2, 3, 4}, {1}, E_FAIL},
      {"no DOF", {}, {}, S_OK},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    _Set->SetNumbering(row.components, row.nodes);
    VOKDYNMeshServices services(Set());
    ScopedTraceCapture capture;
    int nodes = kUntouched;
    EXPECT_HR(row.result, services.GetNbNodes(nodes));
    auto lines = capture.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].channel, "DYNDev");
    EXPECT_EQ(lines[0].level, 3);
    EXPECT_EQ(lines[0].text, "VOKDYNMeshServices _NDEGT: " + std::to_string(row.components.size()));
    if (FAILED(row.result)) {
      EXPECT_EQ(nodes, kUntouched);
    }
  }
  // A read numbering is not traced again.
  _Set->SetNumbering({0}, {1});
  VOKDYNMeshServices services(Set());
  int nodes = 0;
  EXPECT_HR(S_OK, services.GetNbNodes(nodes));
  ScopedTraceCapture capture;
  EXPECT_HR(S_OK, services.GetNbNodes(nodes));
  EXPECT_TRUE(capture.Lines().empty());
}

TEST_F(MeshServices, FailedReadIsRetriedByTheNextQuery) {
  _Set->SetNumbering({0, 1, 2}, {1, 1});
  VOKDYNMeshServices services(Set());
  int nodes = kUntouched, perNode = kUntouched, dofs = kUntouched;
  EXPECT_HR(E_FAIL, services.GetMeshSizes(nodes, perNode, dofs));
  EXPECT_EQ(nodes, kUntouched);
  EXPECT_EQ(perNode, kUntouched);
  EXPECT_EQ(dofs, kUntouched);
  EXPECT_EQ(_Set->ReadCount(), 1);
  Ipdeg failed;
  EXPECT_HR(E_FAIL, services.GetIPDEG(failed.count, failed.table));
  EXPECT_EQ(failed.count, 0);
  EXPECT_EQ(_Set->ReadCount(), 2);

  _Set->SetNumbering(_N.components, _N.nodes);
  EXPECT_HR(S_OK, services.GetMeshSizes(nodes, perNode, dofs));
  EXPECT_EQ(nodes, 3);
  EXPECT_EQ(dofs, 11);
  EXPECT_EQ(_Set->ReadCount(), 3);
  EXPECT_HR(S_OK, services.GetNbNodes(nodes));
  EXPECT_EQ(_Set->ReadCount(), 3);
}

// --------------------------------------------------------- unreadable sets

TEST_F(MeshServices, UnreadableNumberingFailsEveryQuery) {
  VOKHost::Feature* plain = VOKHost::Feature::Create("No solver data", VOKHost::FacetAnalysisSet);
  struct Row {
    const char* what;
    VOKISamAnalysisSet* set;
    bool failQuery;
  } rows[] = {
      {"null analysis set", nullptr, false},
      {"set without solver numbering", static_cast<VOKISamAnalysisSet*>(plain), false},
      {"the query for the numbering fails", Set(), true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    VOKHost::ClearErrors();
    if (row.failQuery) VOKHost::FaultArm(1);
    VOKDYNMeshServices services(row.set);
    VOKHost::FaultDisarm();

    int nodes = kUntouched, perNode = kUntouched, dofs = kUntouched;
    EXPECT_HR(E_FAIL, services.GetNbNodes(nodes));
    EXPECT_HR(E_FAIL, services.GetMeshSizes(nodes, perNode, dofs));
    EXPECT_EQ(nodes, kUntouched);
    EXPECT_EQ(perNode, kUntouched);
    EXPECT_EQ(dofs, kUntouched);
    EXPECT_TRUE(VOKHost::InstantiatedErrors().empty()) << "sizes make no record";

    Ipdeg ipdeg;
    int** sentinel = reinterpret_cast<int**>(&ipdeg);
    ipdeg.table = sentinel;
    EXPECT_HR(E_FAIL, services.GetIPDEG(ipdeg.count, ipdeg.table));
    EXPECT_EQ(ipdeg.count, 0);
    EXPECT_EQ(ipdeg.table, sentinel);
    ipdeg.table = nullptr;
    services::ExpectLastRecord(services::Own(1, "", "VOKDYNMeshServices", 95));

    Iflec iflec;
    EXPECT_HR(E_FAIL, services.GetIFLEC(iflec.nodes, iflec.unused, iflec.table));
    EXPECT_EQ(iflec.nodes, kUntouched);
    EXPECT_EQ(iflec.table, nullptr);
    // The record at 95 is still pending: this failed call passes it on.
    services::ExpectLastRecord(services::Own(1, "", "VOKDYNMeshServices", 95), 2);
    VOKHost::ClearErrors();
    EXPECT_HR(E_FAIL, services.GetIFLEC(iflec.nodes, iflec.unused, iflec.table));
    services::ExpectLastRecord(services::Own(1, "", "VOKDYNMeshServices", 123));
  }
  EXPECT_EQ(_Set->ReadCount(), 0);
  plain->Release();
}

TEST_F(MeshServices, ServicesHoldOneReferenceAndNoneToTheSetItself) {
  const long before = _Set->RefCount();
  {
    VOKDYNMeshServices services(Set());
    EXPECT_EQ(_Set->RefCount(), before + 1);
  }
  EXPECT_EQ(_Set->RefCount(), before);
}

// ---------------------------------------------------- copies and assignment

TEST_F(MeshServices, CopiesHoldTheirOwnReferenceAndCache) {
  const long base = _Set->RefCount();
  auto original = std::make_unique<VOKDYNMeshServices>(Set());
  int nodes = 0;
  ASSERT_HR(S_OK, original->GetNbNodes(nodes));
  {
    VOKDYNMeshServices copyOfRead(*original);
    EXPECT_EQ(_Set->RefCount(), base + 2);
    EXPECT_EQ(copyOfRead.RefCount(), 1) << "a copy is a component of its own";
    original.reset();  // the copy outlives its source
    EXPECT_EQ(_Set->RefCount(), base + 1);
    Ipdeg ipdeg;
    ASSERT_HR(S_OK, copyOfRead.GetIPDEG(ipdeg.count, ipdeg.table));
    EXPECT_EQ(ipdeg.count, 11);
    EXPECT_EQ(ipdeg.table[10][1], 3);
    EXPECT_EQ(_Set->ReadCount(), 1) << "the copy took the cache along";
  }
  EXPECT_EQ(_Set->RefCount(), base);

  // A copy of an object not yet read reads for itself.
  VOKDYNMeshServices unread(Set());
  VOKDYNMeshServices copyOfUnread(unread);
  ASSERT_HR(S_OK, copyOfUnread.GetNbNodes(nodes));
  ASSERT_HR(S_OK, unread.GetNbNodes(nodes));
  EXPECT_EQ(_Set->ReadCount(), 3);
}

TEST_F(MeshServices, AssignmentGivesUpWhatTheTargetHeld) {
  DofNumberingSet* other = DofNumberingSet::Create("Other set");
  other->SetNumbering({0, 1}, {1, 2});
  const long setBase = _Set->RefCount();
  const long otherBase = other->RefCount();
  {
    VOKDYNMeshServices target(Set());
    int nodes = 0;
    ASSERT_HR(S_OK, target.GetNbNodes(nodes));
    auto source = std::make_unique<VOKDYNMeshServices>(static_cast<VOKISamAnalysisSet*>(other));
    ASSERT_HR(S_OK, source->GetNbNodes(nodes));

    EXPECT_EQ(&(target = *source), &target);
    EXPECT_EQ(_Set->RefCount(), setBase) << "the target's reference was given up";
    EXPECT_EQ(other->RefCount(), otherBase + 2);
    EXPECT_EQ(target.RefCount(), 1) << "assignment never copies the reference count";
    source.reset();
    int perNode = 0, dofs = 0;
    ASSERT_HR(S_OK, target.GetMeshSizes(nodes, perNode, dofs));
    EXPECT_EQ(nodes, 2);
    EXPECT_EQ(dofs, 2);
    EXPECT_EQ(other->ReadCount(), 1) << "the cache came along";

    VOKDYNMeshServices& itself = target;
    target = itself;  // self-assignment changes nothing
    ASSERT_HR(S_OK, target.GetMeshSizes(nodes, perNode, dofs));
    EXPECT_EQ(dofs, 2);
    EXPECT_EQ(other->RefCount(), otherBase + 1);

    // Assigning an object without numbering leaves the target without any.
    VOKDYNMeshServices empty(nullptr);
    target = empty;
    EXPECT_EQ(other->RefCount(), otherBase);
    EXPECT_HR(E_FAIL, target.GetNbNodes(nodes));
  }
  EXPECT_EQ(_Set->RefCount(), setBase);
  EXPECT_EQ(other->RefCount(), otherBase);
  other->Release();
}

// ---------------------------------------------------------------- meta-class

// Runs in a fresh process: calls iFirst before any other meta-class
// operation, then all of them, and exits 0 when the class was registered
// exactly once with its stated identity.
[[noreturn]] void RegisterOnceStartingWith(const std::function<void()>& iFirst) {
  const char* name = "VOKDYNMeshServices";
  if (VOKMetaClassRetrieveCount(name) != 0) {
    std::fprintf(stderr, "already registered\n");
    std::exit(2);
  }
  iFirst();
  VOKDYNMeshServices object(nullptr);
  VOKMetaClass* meta = VOKDYNMeshServices::MetaObject();
  bool ok = meta && object.GetMetaObject() == meta && std::strcmp(meta->GetClassName(), name) == 0 &&
            meta->GetTypeOfClass() == 1 && meta->GetBaseMetaClass() == VOKBaseUnknown::MetaObject() &&
            std::strcmp(meta->GetExtraName(), "VOKNull") == 0 &&
            std::strcmp(meta->GetFrameworkName(), "VOKAnalysisDynamicResponse") == 0 &&
            meta->GetClassSize() == sizeof(VOKDYNMeshServices) &&
            VOKDYNMeshServices::ClassId() == meta->GetClassId() &&
            std::strcmp(VOKDYNMeshServices::ClassName(), name) == 0 &&
            std::strcmp(object.IsA(), name) == 0 && object.IsAKindOf(name) &&
            object.IsAKindOf("VOKBaseUnknown") && !object.IsAKindOf("VOKDYNExcitationTools") &&
            VOKDYNMeshServices::CreateItself() == nullptr;
  const int calls = VOKMetaClassRetrieveCount(name);
  std::fprintf(stderr, "registrations: %d, identity %s\n", calls, ok ? "right" : "wrong");
  std::exit(ok && calls == 1 ? 0 : 1);
}

using MeshServicesMetaClass = VOKTest;

TEST_F(MeshServicesMetaClass, RegisteredOnceWhicheverOperationComesFirst) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // a fresh process per case
  struct Row {
    const char* first;
    std::function<void()> call;
  } rows[] = {
      {"MetaObject", [] { VOKDYNMeshServices::MetaObject(); }},
      {"ClassId", [] { VOKDYNMeshServices::ClassId(); }},
      {"ClassName", [] { VOKDYNMeshServices::ClassName(); }},
      {"GetMetaObject", [] { VOKDYNMeshServices(nullptr).GetMetaObject(); }},
      {"IsA", [] { VOKDYNMeshServices(nullptr).IsA(); }},
      {"IsAKindOf", [] { VOKDYNMeshServices(nullptr).IsAKindOf("VOKBaseUnknown"); }},
      {"QueryInterface by name", [] {
         VOKDYNMeshServices object(nullptr);
         if (VOKBaseUnknown* hit = object.QueryInterface("VOKDYNMeshServices")) hit->Release();
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.first);
    EXPECT_EXIT(RegisterOnceStartingWith(row.call), testing::ExitedWithCode(0),
                "registrations: 1, identity right");
  }
}

}  // namespace
