// Node numbers through documents and assemblies, and the sample range of a
// dynamic solution with its error records.
#include <functional>
#include <memory>

#include "VOKDYNBasicServices.h"
#include "VOKHostExplicitModel.h"
#include "VOKHostFeature.h"
#include "services_records.h"

namespace {

using VOKHost::Feature;

struct Numbers {
  long result;
  int sequential;
  int user;
};

Numbers Lookup(int iMeshTag, int iAssembly, VOKDocument* iDocument) {
  Numbers n{12345, 999, 999};  // both outputs must be written on every path
  n.result = VOKDYNBasicServices::GetNodeSequentialNumber(iMeshTag, iAssembly, iDocument,
                                                          n.sequential, n.user);
  return n;
}

void ExpectNumbers(const Numbers& iActual, long iResult, int iSequential, int iUser) {
  EXPECT_HR(iResult, iActual.result);
  EXPECT_EQ(iActual.sequential, iSequential);
  EXPECT_EQ(iActual.user, iUser);
}

// A document D whose analysis model assembles analysis 2 (document A). Node
// identity 100 is mesh tag 7 in A and mesh tag 5 in D, where it is D's third
// node. D also has a node of mesh tag 7 of its own (identity 200, first).
class NodeNumbers : public VOKTest {
 protected:
  void SetUp() override {
    VOKTest::SetUp();
    VOKHost::ExplicitModel* d = _D.AddExplicitModel();
    d->AddNode(7, 700, 200);
    d->AddNode(6, 600, 300);
    _SeqOfIdentity100InD = d->AddNode(5, 500, 100);
    VOKHost::ExplicitModel* a = _A.AddExplicitModel();
    a->AddNode(7, 70, 100);
    a->AddNode(8, 80, 400);  // not a node of D
    _Assembly = VOKHost::AnalysisAssembly::Create();
    _Assembly->SetAssembledDocument(2, &_A);
    _D.AddAnalysisManager()->SetAnalysisModel(_Assembly);
  }
  void TearDown() override {
    _Assembly->Release();
    _DocD.reset();
    _DocA.reset();
    VOKTest::TearDown();
  }
  // The documents go before the fixture's check that nothing is left alive.
  std::unique_ptr<VOKDocument> _DocD{new VOKDocument("D")};
  std::unique_ptr<VOKDocument> _DocA{new VOKDocument("A")};
  VOKDocument& _D = *_DocD;
  VOKDocument& _A = *_DocA;
  VOKHost::AnalysisAssembly* _Assembly = nullptr;
  int _SeqOfIdentity100InD = 0;
};

TEST_F(NodeNumbers, OwnDocumentLookupReadsTheNodeOfThatMeshTag) {
  // A found node costs six host calls (model, link, model, re-link, user
  // and sequential numbers); a node that links to the empty datum ends the
  // lookup after the first link.
  struct Row {
    const char* what;
    int meshTag;
    long result;
    int sequential;
    int user;
    long hostCalls;
  } rows[] = {
      {"first node", 7, S_OK, 1, 700, 6},
      {"second node", 6, S_OK, 2, 600, 6},
      {"third node", 5, S_OK, 3, 500, 6},
      {"no node carries the tag", 99, E_FAIL, -1, 0, 2},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    VOKHost::FaultArm(0);
    ExpectNumbers(Lookup(row.meshTag, 0, &_D), row.result, row.sequential, row.user);
    EXPECT_EQ(VOKHost::FaultCount(), row.hostCalls);
    VOKHost::FaultDisarm();
  }
  EXPECT_TRUE(VOKHost::InstantiatedErrors().empty()) << "no error record is made";
}

TEST_F(NodeNumbers, AssembledNodeGivesTheNumbersOfTheSameNodeInTheDocument) {
  // Mesh tag 7 of assembly 2 is identity 100, which D numbers third with
  // user number 500; D's own mesh tag 7 is another node.
  ExpectNumbers(Lookup(7, 2, &_D), S_OK, _SeqOfIdentity100InD, 500);
  ExpectNumbers(Lookup(7, 0, &_D), S_OK, 1, 700);
  // Found in the assembly but absent from D: the re-link fails.
  ExpectNumbers(Lookup(8, 2, &_D), E_FAIL, -1, 0);
  // Mesh tag 5 is D's, not the assembly's.
  ExpectNumbers(Lookup(5, 2, &_D), E_FAIL, -1, 0);
}

TEST_F(NodeNumbers, LinkResultsArePassedOn) {
  struct Row {
    const char* what;
    VOKHost::ExplicitModel* model;
    int meshTag;
    long linkResult;
    int assembly;
    long result;
    int sequential;
    int user;
  } rows[] = {
      // A positive result of the re-link is the operation's result, with numbers.
      {"re-link answers S_FALSE", _D.Model(), 5, S_FALSE, 2, S_FALSE, 3, 500},
      // A negative re-link: the numbers stay at their defaults.
      {"re-link answers E_UNEXPECTED", _D.Model(), 5, E_UNEXPECTED, 2, E_UNEXPECTED, -1, 0},
      // A negative mesh-tag link that still found a node stops there.
      {"mesh-tag link answers E_NOTIMPL", _A.Model(), 7, E_NOTIMPL, 2, E_NOTIMPL, -1, 0},
      // A positive mesh-tag link goes on; the re-link's S_OK is the result.
      {"mesh-tag link answers S_FALSE", _A.Model(), 7, S_FALSE, 2, S_OK, 3, 500},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    row.model->SetNodeLinkResult(row.meshTag, row.linkResult);
    ExpectNumbers(Lookup(7, row.assembly, &_D), row.result, row.sequential, row.user);
    row.model->SetNodeLinkResult(row.meshTag, S_OK);
  }
}

TEST_F(NodeNumbers, AssemblyLookupsThatFallThroughKeepTheDefaults) {
  VOKDocument noManager;
  noManager.AddExplicitModel()->AddNode(7, 1, 100);
  VOKDocument noAnalysisModel;
  noAnalysisModel.AddExplicitModel()->AddNode(7, 1, 100);
  noAnalysisModel.AddAnalysisManager();
  VOKDocument notAnAssembly;
  notAnAssembly.AddExplicitModel()->AddNode(7, 1, 100);
  Feature* plainModel = Feature::Create("plain analysis model", VOKHost::FacetSpecObject);
  notAnAssembly.AddAnalysisManager()->SetAnalysisModel(plainModel);
  plainModel->Release();
  VOKDocument assembledWithoutModel;  // assembly 3: a document without explicit model
  _Assembly->SetAssembledDocument(3, &assembledWithoutModel);

  struct Row {
    const char* what;
    VOKDocument* document;
    int assembly;
  } rows[] = {
      {"no analysis manager", &noManager, 2},
      {"manager without analysis model", &noAnalysisModel, 2},
      {"analysis model that is not an assembly", &notAnAssembly, 2},
      {"assembly without that number", &_D, 9},
      {"assembled document without explicit model", &_D, 3},
      {"null document", nullptr, 2},
      {"null document, no assembly", nullptr, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ExpectNumbers(Lookup(7, row.assembly, row.document), E_FAIL, -1, 0);
  }
}

TEST_F(NodeNumbers, EachFailingHostCallEndsTheLookupItsOwnWay) {
  // The host calls of an assembled lookup, in order, and what the caller
  // gets when that one call fails. The user number is read before the
  // sequential number, and neither read is tested.
  struct Row {
    const char* operation;
    long result;
    int sequential;
    int user;
  } rows[] = {
      {"VOKSamModelServices::GetManager", E_FAIL, -1, 0},
      {"VOKISamAnalysisManager::GetAnalysisModel", E_FAIL, -1, 0},
      {"QueryInterface", E_FAIL, -1, 0},
      {"VOKISamAnalysisAssembly::GetAssembledDocument", E_FAIL, -1, 0},
      {"VOKAnalysisExplicitModel::GetDocumentModel", E_FAIL, -1, 0},
      {"VOKAnalysisExplicitNode::LinkWithMeshTag", E_FAIL, -1, 0},
      {"VOKAnalysisExplicitModel::GetDocumentModel", E_FAIL, -1, 0},
      {"VOKAnalysisExplicitNode::LinkWithPointer", E_FAIL, -1, 0},
      {"VOKAnalysisExplicitParent::GetUserNumber", S_OK, 3, 0},
      {"VOKAnalysisExplicitChild::GetSequentialNumber", S_OK, -1, 500},
  };
  VOKHost::FaultArm(0);
  ExpectNumbers(Lookup(7, 2, &_D), S_OK, 3, 500);
  ASSERT_EQ(VOKHost::FaultCount(), static_cast<long>(std::size(rows)));
  for (std::size_t k = 0; k < std::size(rows); ++k) {
    SCOPED_TRACE(rows[k].operation);
    VOKHost::FaultArm(static_cast<long>(k + 1));
    Numbers n = Lookup(7, 2, &_D);
    EXPECT_EQ(VOKHost::FaultHitName(), rows[k].operation);
    ExpectNumbers(n, rows[k].result, rows[k].sequential, rows[k].user);
  }
  VOKHost::FaultDisarm();
}

// ------------------------------------------------------------- sample range

constexpr double kUntouched = -777.25;

class SampleRange : public VOKTest {
 public:
  // A dynamic solution whose sample range is 0.5 .. 250.
  void Build() {
    _Solution = Feature::Create("Dynamic solution", VOKHost::FacetSpecObject | VOKHost::FacetAnalysisSet);
    _Min = Feature::Create("min", VOKHost::FacetBasicComponent);
    _Min->SetValue(0.5);
    _Max = Feature::Create("max", VOKHost::FacetBasicComponent);
    _Max->SetValue(250.0);
    _Solution->SetBasicComponent("DYNSampleMinimum", _Min);
    _Solution->SetBasicComponent("DYNSampleMaximum", _Max);
  }
  void Drop() {
    for (Feature** f : {&_Solution, &_Min, &_Max, &_Plain}) {
      if (*f) (*f)->Release();
      *f = nullptr;
    }
  }
  Feature* _Solution = nullptr;
  Feature* _Min = nullptr;
  Feature* _Max = nullptr;
  Feature* _Plain = nullptr;

 protected:
  void SetUp() override {
    VOKTest::SetUp();
    Build();
  }
  void TearDown() override {
    Drop();
    VOKTest::TearDown();
  }
  long Read(VOKISpecObject_var iSolution) {
    _Minimum = kUntouched;
    _Maximum = kUntouched;
    return VOKDYNBasicServices::GetSampleDefinition(iSolution, _Minimum, _Maximum);
  }
  double _Minimum = 0, _Maximum = 0;
};

TEST_F(SampleRange, ReadsBothEndsWithoutRecord) {
  EXPECT_HR(S_OK, Read(VOKISpecObject_var(_Solution)));
  EXPECT_EQ(_Minimum, 0.5);
  EXPECT_EQ(_Maximum, 250.0);
  EXPECT_TRUE(VOKHost::InstantiatedErrors().empty());
  EXPECT_EQ(ErrorDepthHandler::GetDepth(), 0);
}

// One row per failure point: how to provoke it, the record it leaves, and
// whether the minimum was already written.
struct SampleFailure {
  const char* what;
  std::function<VOKISpecObject_var(SampleRange&)> arrange;
  long faultAt;  // 0: no fault injection
  int type;
  const char* text;
  int line;
  bool minimumWritten;
};

class SampleRangeFailures : public SampleRange {
 protected:
  std::vector<SampleFailure> Rows() {
    auto solution = [](SampleRange& f) { return VOKISpecObject_var(f._Solution); };
    // The host calls in order: query for the analysis set (1), minimum lookup
    // (2) and read (3), maximum lookup (4) and read (5).
    return {
        {"null solution", [](SampleRange&) { return VOKISpecObject_var(); }, 0, 3, "!!iDynSol", 91, false},
        {"not an analysis set",
         [](SampleRange& f) {
           f._Plain = Feature::Create("plain", VOKHost::FacetSpecObject);
           return VOKISpecObject_var(f._Plain);
         },
         0, 3, "!!hAnalysisSet", 95, false},
        {"analysis set query fails", solution, 1, 3, "!!hAnalysisSet", 95, false},
        {"minimum lookup fails", solution, 2, 1, "", 100, false},
        {"no minimum",
         [](SampleRange& f) {
           f._Solution->SetBasicComponent("DYNSampleMinimum", nullptr);
           return VOKISpecObject_var(f._Solution);
         },
         0, 3, "!!hBasicComp", 101, false},
        {"minimum component is no basic component",
         [](SampleRange& f) {
           f._Plain = Feature::Create("plain", VOKHost::FacetSpecObject);
           f._Solution->SetBasicComponent("DYNSampleMinimum", f._Plain);
           return VOKISpecObject_var(f._Solution);
         },
         0, 3, "!!hBasicComp", 101, false},
        {"minimum read fails", solution, 3, 1, "", 103, false},
        {"minimum read answers E_UNEXPECTED",
         [](SampleRange& f) {
           f._Min->SetValueFailure(E_UNEXPECTED);
           return VOKISpecObject_var(f._Solution);
         },
         0, 1, "", 103, false},
        {"maximum lookup fails", solution, 4, 1, "", 109, true},
        {"no maximum",
         [](SampleRange& f) {
           f._Solution->SetBasicComponent("DYNSampleMaximum", nullptr);
           return VOKISpecObject_var(f._Solution);
         },
         0, 3, "!!hBasicComp", 110, true},
        {"maximum read fails", solution, 5, 1, "", 112, true},
        {"maximum read answers E_NOTIMPL",
         [](SampleRange& f) {
           f._Max->SetValueFailure(E_NOTIMPL);
           return VOKISpecObject_var(f._Solution);
         },
         0, 1, "", 112, true},
    };
  }
  // Runs one row on a fresh model; returns the result.
  long Provoke(const SampleFailure& iRow) {
    Drop();
    Build();
    VOKISpecObject_var solution = iRow.arrange(*this);
    if (iRow.faultAt) VOKHost::FaultArm(iRow.faultAt);
    long result = Read(solution);
    VOKHost::FaultDisarm();
    return result;
  }
};

TEST_F(SampleRangeFailures, EveryFailurePointLeavesItsRecord) {
  for (const SampleFailure& row : Rows()) {
    SCOPED_TRACE(row.what);
    VOKHost::ClearErrors();
    EXPECT_HR(E_FAIL, Provoke(row));
    services::ExpectLastRecord(services::Own(row.type, row.text, "VOKDYNBasicServices", row.line));
    EXPECT_EQ(_Minimum, row.minimumWritten ? 0.5 : kUntouched);
    EXPECT_EQ(_Maximum, kUntouched);
  }
}

TEST_F(SampleRangeFailures, PendingErrorKeepsFailedCallRecordsButNotNullRecords) {
  for (const SampleFailure& row : Rows()) {
    SCOPED_TRACE(row.what);
    VOKHost::ClearErrors();
    services::Record pending = services::MakePending();
    EXPECT_HR(E_FAIL, Provoke(row));
    if (row.type == 1) {
      // A failed call passes the pending record on unchanged, from its own depth.
      services::Record passedOn = pending;
      passedOn.depth = 1;
      services::ExpectLastRecord(passedOn, 2);
    } else {
      // A null input is filled over it; the included file and line are not
      // the services' to fill and stay the pending record's.
      services::Record own = services::Own(row.type, row.text, "VOKDYNBasicServices", row.line);
      own.includedFile = pending.includedFile;
      own.includedLine = pending.includedLine;
      services::ExpectLastRecord(own, 2);
    }
  }
}

TEST_F(SampleRangeFailures, RecordDepthCountsTheCallersScopes) {
  ErrorDepthHandler outer1;
  ErrorDepthHandler outer2;
  EXPECT_HR(E_FAIL, Read(VOKISpecObject_var()));
  services::ExpectLastRecord(services::Own(3, "!!iDynSol", "VOKDYNBasicServices", 91, 3));
  EXPECT_EQ(ErrorDepthHandler::GetDepth(), 2);
}

using BasicServicesObject = VOKTest;

TEST_F(BasicServicesObject, AssignmentReturnsTheObjectItself) {
  VOKDYNBasicServices a, b;
  EXPECT_EQ(&(a = b), &a);
}

}  // namespace
