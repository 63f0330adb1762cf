// Mesh sizes and the solver's DOF numbering tables: contents, reads, records, copies, meta-class.
#include <memory>
#include <string>
#include <vector>

#include "VOKDYNMeshServices.h"
#include "VOKFailingAllocator.h"
#include "VOKHostAnalysisSets.h"
#include "services_records.h"

namespace {

using VOKHost::DofNumberingSet;
using Ints = std::vector<int>;

constexpr int kUntouched = -4242;

// The tables handed out belong to the caller: these holders free them as their owner must.
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

class MeshServices : public VOKTest {
 protected:
  void SetUp() override {
    VOKTest::SetUp();
    _Set = DofNumberingSet::Create("Solution set");
    // Nodes 1..3: components 0, 1, 2 on node 1, all six on node 2, 0 and 2 on node 3.
    _Set->SetNumbering(_Components, _Nodes);
  }
  void TearDown() override {
    _Set->Release();
    EXPECT_EQ(_Alive, vok_test::LiveArrays()) << "a cache or table was left allocated";
    VOKTest::TearDown();
  }
  const long _Alive = vok_test::LiveArrays();
  VOKISamAnalysisSet* Set() { return static_cast<VOKISamAnalysisSet*>(_Set); }
  const Ints _Components{0, 1, 2, 0, 1, 2, 3, 4, 5, 0, 2};
  const Ints _Nodes{1, 1, 1, 2, 2, 2, 2, 2, 2, 3, 3};
  DofNumberingSet* _Set = nullptr;
};

TEST_F(MeshServices, TablesAndSizesOfANumbering) {
  struct Row {
    const char* what;
    Ints components, nodes;
    int nodeCount;  // the node of the last DOF, 0 without DOF
  };
  const Row rows[] = {
      {"three nodes, eleven DOFs", _Components, _Nodes, 3},
      // Nodes 3 and 0 have no column, components 6 and -1 no row: in IPDEG only.
      {"DOFs outside the inverse table", {-1, 0, 6, 1, 2, 1, 3}, {1, 1, 1, 3, 0, 2, 2}, 2},
      {"no DOF at all", {}, {}, 0},
      {"last DOF at node 0", {0, 1}, {1, 0}, 0},
      {"last DOF at a negative node", {0, 1}, {2, -3}, -3},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    VOKHost::ClearErrors();
    _Set->SetNumbering(row.components, row.nodes);
    const int reads = _Set->ReadCount();
    const int n = static_cast<int>(row.components.size());
    VOKDYNMeshServices services(Set());
    EXPECT_EQ(reads, _Set->ReadCount()) << "nothing is read before the first query";

    ScopedTraceCapture trace;
    int nodes = kUntouched, perNode = kUntouched, dofs = kUntouched;
    EXPECT_HR(S_OK, services.GetMeshSizes(nodes, perNode, dofs));
    EXPECT_EQ(row.nodeCount, nodes);
    EXPECT_EQ(6, perNode);
    EXPECT_EQ(n, dofs);
    nodes = kUntouched;
    EXPECT_HR(S_OK, services.GetNbNodes(nodes));
    EXPECT_EQ(row.nodeCount, nodes);

    // IPDEG: pairs in one block; every call a new copy, independent of the cache.
    auto first = std::make_unique<Ipdeg>();
    Ipdeg second;
    ASSERT_HR(S_OK, services.GetIPDEG(first->count, first->table));
    ASSERT_HR(S_OK, services.GetIPDEG(second.count, second.table));
    ASSERT_EQ(n, first->count);
    ASSERT_NE(nullptr, first->table);
    EXPECT_NE(first->table, second.table);
    for (int i = 0; i < n; ++i) {
      EXPECT_EQ(first->table[0] + 2 * i, first->table[i]);
      EXPECT_EQ(row.components[i], first->table[i][0]);
      EXPECT_EQ(row.nodes[i], first->table[i][1]);
      first->table[i][0] = first->table[i][1] = -1;
    }
    first.reset();
    for (int i = 0; i < n; ++i) EXPECT_EQ(row.nodes[i], second.table[i][1]);

    // IFLEC: node k in column k - 1, 0 where no DOF is; a node count <= 0 is a bad size.
    Iflec iflec;
    const long expected = row.nodeCount > 0 ? S_OK : E_FAIL;
    EXPECT_HR(expected, services.GetIFLEC(iflec.nodes, iflec.unused, iflec.table));
    EXPECT_EQ(row.nodeCount, iflec.nodes);
    EXPECT_EQ(kUntouched, iflec.unused) << "the second integer is never written";
    if (FAILED(expected)) {
      EXPECT_EQ(nullptr, iflec.table);
      services::ExpectLastRecord(services::Own(1, ": bad size", "VOKDYNMeshServices", 127));
    } else {
      EXPECT_TRUE(VOKHost::InstantiatedErrors().empty());
      std::vector<Ints> cells(6, Ints(static_cast<std::size_t>(row.nodeCount), 0));
      for (int i = 0; i < n; ++i) {
        const int c = row.components[i], k = row.nodes[i];
        if (c >= 0 && c < 6 && k >= 1 && k <= row.nodeCount) cells[c][k - 1] = i;
      }
      for (int c = 0; c < 6; ++c)
        for (int col = 0; col < row.nodeCount; ++col)
          EXPECT_EQ(cells[c][col], iflec.table[c][col]) << "component " << c << ", column " << col;
    }
    // Read once, traced once, with the DOF count.
    EXPECT_EQ(reads + 1, _Set->ReadCount());
    const std::vector<VOKHost::TraceLine> lines = trace.Lines();
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ("DYNDev", lines[0].channel);
    EXPECT_EQ(3, lines[0].level);
    EXPECT_EQ("VOKDYNMeshServices _NDEGT: " + std::to_string(n), lines[0].text);
  }
  // The cache is never refreshed: a changed numbering is not seen.
  _Set->SetNumbering(_Components, _Nodes);
  VOKDYNMeshServices services(Set());
  int nodes = 0;
  EXPECT_HR(S_OK, services.GetNbNodes(nodes));
  _Set->SetNumbering({0}, {1});
  EXPECT_HR(S_OK, services.GetNbNodes(nodes));
  EXPECT_EQ(3, nodes);
}

TEST_F(MeshServices, ListsOfDifferentSizesAreReadAgainByTheNextQuery) {
  for (const Ints& nodes : {Ints{1, 1}, Ints{1, 1, 2, 2}}) {
    _Set->SetNumbering({0, 1, 2}, nodes);
    VOKDYNMeshServices services(Set());
    const int reads = _Set->ReadCount();
    ScopedTraceCapture trace;
    int count = kUntouched, perNode = kUntouched, dofs = kUntouched;
    EXPECT_HR(E_FAIL, services.GetMeshSizes(count, perNode, dofs));
    EXPECT_EQ(kUntouched, count);
    EXPECT_EQ(kUntouched, perNode);
    EXPECT_EQ(kUntouched, dofs);
    Ipdeg failed;
    EXPECT_HR(E_FAIL, services.GetIPDEG(failed.count, failed.table));
    EXPECT_EQ(0, failed.count);
    EXPECT_EQ(reads + 2, _Set->ReadCount());
    // The line gives the component count, before the size check.
    for (const VOKHost::TraceLine& line : trace.Lines())
      EXPECT_EQ("VOKDYNMeshServices _NDEGT: 3", line.text);
    _Set->SetNumbering(_Components, _Nodes);
    EXPECT_HR(S_OK, services.GetMeshSizes(count, perNode, dofs));
    EXPECT_EQ(11, dofs);
    EXPECT_EQ(reads + 3, _Set->ReadCount());
  }
}

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
    EXPECT_EQ(kUntouched, nodes);
    EXPECT_EQ(kUntouched, perNode);
    EXPECT_EQ(kUntouched, dofs);
    EXPECT_TRUE(VOKHost::InstantiatedErrors().empty()) << "sizes make no record";

    Ipdeg ipdeg;
    EXPECT_HR(E_FAIL, services.GetIPDEG(ipdeg.count, ipdeg.table));
    EXPECT_EQ(0, ipdeg.count);
    EXPECT_EQ(nullptr, ipdeg.table);
    services::ExpectLastRecord(services::Own(1, "", "VOKDYNMeshServices", 95));
    Iflec iflec;
    EXPECT_HR(E_FAIL, services.GetIFLEC(iflec.nodes, iflec.unused, iflec.table));
    EXPECT_EQ(kUntouched, iflec.nodes);
    // The record at 95 is still pending: this failed call passes it on.
    services::ExpectLastRecord(services::Own(1, "", "VOKDYNMeshServices", 95), 2);
    VOKHost::ClearErrors();
    EXPECT_HR(E_FAIL, services.GetIFLEC(iflec.nodes, iflec.unused, iflec.table));
    services::ExpectLastRecord(services::Own(1, "", "VOKDYNMeshServices", 123));
  }
  EXPECT_EQ(0, _Set->ReadCount());
  plain->Release();

  // ": bad size" is filled over a pending record.
  _Set->SetNumbering({}, {});
  VOKDYNMeshServices services(Set());
  VOKHost::ClearErrors();
  services::Record pending = services::MakePending();
  Iflec iflec;
  EXPECT_HR(E_FAIL, services.GetIFLEC(iflec.nodes, iflec.unused, iflec.table));
  services::Record own = services::Own(1, ": bad size", "VOKDYNMeshServices", 127);
  own.includedFile = pending.includedFile;  // not the services' to fill
  own.includedLine = pending.includedLine;
  services::ExpectLastRecord(own, 2);
}

// The table of a read object that cannot be allocated leaves its record.
TEST_F(MeshServices, ATableThatCannotBeAllocatedLeavesItsRecord) {
  VOKDYNMeshServices services(Set());
  int nodes = 0;
  ASSERT_HR(S_OK, services.GetNbNodes(nodes));
  for (int line : {95, 123}) {
    SCOPED_TRACE(line);
    VOKHost::ClearErrors();
    Ipdeg ipdeg;
    Iflec iflec;
    vok_test::FailAllocation(1);
    const long hr = line == 95 ? services.GetIPDEG(ipdeg.count, ipdeg.table)
                               : services.GetIFLEC(iflec.nodes, iflec.unused, iflec.table);
    vok_test::FailAllocation(0);
    EXPECT_HR(E_FAIL, hr);
    EXPECT_TRUE(!ipdeg.table && !iflec.table);
    const std::vector<VOKHost::ErrorRecord> errors = VOKHost::InstantiatedErrors();
    ASSERT_EQ(1u, errors.size());
    EXPECT_TRUE(errors[0].text == ": out of memory" && errors[0].line == line) << errors[0].text << errors[0].line;
  }
  VOKHost::ClearErrors();
}

TEST_F(MeshServices, CopiesAndAssignmentHoldTheirOwnReferenceAndCache) {
  DofNumberingSet* other = DofNumberingSet::Create("Other set");
  other->SetNumbering({0, 1}, {1, 2});
  const long setRefs = _Set->RefCount(), otherRefs = other->RefCount();
  int nodes = 0, perNode = 0, dofs = 0;
  const long blocks = vok_test::LiveBlocks();
  {
    auto original = std::make_unique<VOKDYNMeshServices>(Set());
    EXPECT_EQ(setRefs + 1, _Set->RefCount()) << "one reference, none to the set itself";
    ASSERT_HR(S_OK, original->GetNbNodes(nodes));
    VOKDYNMeshServices copy(*original);
    EXPECT_EQ(setRefs + 2, _Set->RefCount());
    EXPECT_EQ(1, copy.RefCount()) << "a copy is a component of its own";
    original.reset();  // the copy outlives its source and took the cache along
    ASSERT_HR(S_OK, copy.GetMeshSizes(nodes, perNode, dofs));
    EXPECT_EQ(11, dofs);
    EXPECT_EQ(1, _Set->ReadCount());

    // Assignment gives up what the target held and takes the source's.
    auto source = std::make_unique<VOKDYNMeshServices>(static_cast<VOKISamAnalysisSet*>(other));
    ASSERT_HR(S_OK, source->GetNbNodes(nodes));
    EXPECT_EQ(&copy, &(copy = *source));
    EXPECT_EQ(setRefs, _Set->RefCount());
    EXPECT_EQ(otherRefs + 2, other->RefCount());
    EXPECT_EQ(1, copy.RefCount()) << "assignment never copies the reference count";
    source.reset();
    VOKDYNMeshServices& itself = copy;
    copy = itself;  // self-assignment changes nothing
    ASSERT_HR(S_OK, copy.GetMeshSizes(nodes, perNode, dofs));
    EXPECT_EQ(2, dofs);
    EXPECT_EQ(1, other->ReadCount());
    EXPECT_EQ(otherRefs + 1, other->RefCount());

    // An object without numbering, copied or assigned, gives none.
    VOKDYNMeshServices empty(nullptr);
    VOKDYNMeshServices emptyCopy(empty);
    copy = empty;
    EXPECT_EQ(otherRefs, other->RefCount());
    EXPECT_HR(E_FAIL, copy.GetNbNodes(nodes));
    EXPECT_HR(E_FAIL, emptyCopy.GetNbNodes(nodes));
    // A copy of an object not read yet reads for itself.
    VOKDYNMeshServices unread(Set());
    VOKDYNMeshServices copyOfUnread(unread);
    ASSERT_HR(S_OK, copyOfUnread.GetNbNodes(nodes));
    ASSERT_HR(S_OK, unread.GetNbNodes(nodes));
    EXPECT_EQ(3, _Set->ReadCount());
  }
  EXPECT_EQ(blocks, vok_test::LiveBlocks()) << "a cache was left allocated";
  EXPECT_EQ(setRefs, _Set->RefCount());
  EXPECT_EQ(otherRefs, other->RefCount());
  other->Release();
}

TEST_F(MeshServices, MetaClassRegisteredOnceWhicheverOperationComesFirst) {
  ExpectMetaClassRegisteredOnce<VOKDYNMeshServices>(
      "VOKDYNMeshServices", "VOKDYNExcitationTools", [] { return new VOKDYNMeshServices(nullptr); },
      {[] { VOKDYNMeshServices::MetaObject(); }, [] { VOKDYNMeshServices::ClassName(); },
       [] { VOKDYNMeshServices(nullptr).IsAKindOf("VOKBaseUnknown"); },
       [] {
         VOKDYNMeshServices object(nullptr);
         if (VOKBaseUnknown* hit = object.QueryInterface("VOKDYNMeshServices")) hit->Release();
       }});
}

}  // namespace
