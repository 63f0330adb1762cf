// Node numbers through documents and assemblies; a dynamic solution's sample range and records.
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

// D assembles analysis 2 (document A). Identity 100 is tag 7 in A and tag 5 (third node) in D;
// D's own first node has tag 7 (identity 200).
class NodeNumbers : public VOKTest {
 protected:
  void SetUp() override {
    VOKTest::SetUp();
    VOKHost::ExplicitModel* d = _D.AddExplicitModel();
    d->AddNode(7, 700, 200);
    d->AddNode(6, 600, 300);
    d->AddNode(5, 500, 100);
    VOKHost::ExplicitModel* a = _A.AddExplicitModel();
    a->AddNode(7, 70, 100);
    a->AddNode(8, 80, 400);  // not a node of D
    _Assembly = VOKHost::AnalysisAssembly::Create();
    _Assembly->SetAssembledDocument(2, &_A);
    _Assembly->SetAssembledDocument(3, &_Bare);  // a document without explicit model
    _D.AddAnalysisManager()->SetAnalysisModel(_Assembly);
    _NoAnalysisModel.AddAnalysisManager();
    Feature* plain = Feature::Create("plain analysis model", VOKHost::FacetSpecObject);
    _NotAnAssembly.AddAnalysisManager()->SetAnalysisModel(plain);
    plain->Release();
    for (VOKDocument* doc : {&_NoManager, &_NoAnalysisModel, &_NotAnAssembly})
      doc->AddExplicitModel()->AddNode(7, 1, 100);
  }
  void TearDown() override {
    _Assembly->Release();
    _Docs.reset();
    VOKTest::TearDown();
  }
  // The documents go before the fixture's check that nothing is left alive.
  std::unique_ptr<VOKDocument[]> _Docs{new VOKDocument[6]};
  VOKDocument &_D = _Docs[0], &_A = _Docs[1], &_Bare = _Docs[2], &_NoManager = _Docs[3],
              &_NoAnalysisModel = _Docs[4], &_NotAnAssembly = _Docs[5];
  VOKHost::AnalysisAssembly* _Assembly = nullptr;
};

TEST_F(NodeNumbers, LookupsAndWhatTheyGive) {
  // A node found in D costs six host calls; one not found ends after the first link (two); an
  // assembled lookup makes ten, each failed in turn by a row named after it.
  struct Row {
    const char* what;
    int meshTag, assembly;
    VOKDocument* document;
    VOKHost::ExplicitModel* linkModel;  // whose link of linkTag answers linkResult
    int linkTag;
    long linkResult, result;
    int sequential, user;
    long hostCalls;  // 0: not counted
    long faultAt;    // the host call that fails (0: none)
  };
  VOKHost::ExplicitModel *d = _D.Model(), *a = _A.Model();
  const Row rows[] = {
      {"first node", 7, 0, &_D, nullptr, 0, S_OK, S_OK, 1, 700, 6, 0},
      {"third node", 5, 0, &_D, nullptr, 0, S_OK, S_OK, 3, 500, 6, 0},
      {"no node carries the tag", 99, 0, &_D, nullptr, 0, S_OK, E_FAIL, -1, 0, 2, 0},
      {"assembled: the same node's numbers in D", 7, 2, &_D, nullptr, 0, S_OK, S_OK, 3, 500, 10, 0},
      {"assembled node absent from D", 8, 2, &_D, nullptr, 0, S_OK, E_FAIL, -1, 0, 0, 0},
      {"mesh tag of D, not of the assembly", 5, 2, &_D, nullptr, 0, S_OK, E_FAIL, -1, 0, 0, 0},
      {"re-link answers S_FALSE: passed on with numbers", 7, 2, &_D, d, 5, S_FALSE, S_FALSE, 3, 500, 0, 0},
      {"re-link answers E_UNEXPECTED", 7, 2, &_D, d, 5, E_UNEXPECTED, E_UNEXPECTED, -1, 0, 0, 0},
      {"mesh-tag link answers E_NOTIMPL", 7, 2, &_D, a, 7, E_NOTIMPL, E_NOTIMPL, -1, 0, 0, 0},
      {"mesh-tag link answers S_FALSE: goes on", 7, 2, &_D, a, 7, S_FALSE, S_OK, 3, 500, 0, 0},
      {"no analysis manager", 7, 2, &_NoManager, nullptr, 0, S_OK, E_FAIL, -1, 0, 0, 0},
      {"manager without analysis model", 7, 2, &_NoAnalysisModel, nullptr, 0, S_OK, E_FAIL, -1, 0, 0, 0},
      {"analysis model not an assembly", 7, 2, &_NotAnAssembly, nullptr, 0, S_OK, E_FAIL, -1, 0, 0, 0},
      {"assembly without that number", 7, 9, &_D, nullptr, 0, S_OK, E_FAIL, -1, 0, 0, 0},
      {"assembled document without model", 7, 3, &_D, nullptr, 0, S_OK, E_FAIL, -1, 0, 0, 0},
      {"null document", 7, 2, nullptr, nullptr, 0, S_OK, E_FAIL, -1, 0, 0, 0},
      {"null document, no assembly", 7, 0, nullptr, nullptr, 0, S_OK, E_FAIL, -1, 0, 0, 0},
      // A failing host call ends the lookup, except the two number reads.
      {"VOKSamModelServices::GetManager", 7, 2, &_D, nullptr, 0, S_OK, E_FAIL, -1, 0, 0, 1},
      {"VOKISamAnalysisManager::GetAnalysisModel", 7, 2, &_D, nullptr, 0, S_OK, E_FAIL, -1, 0, 0, 2},
      {"QueryInterface", 7, 2, &_D, nullptr, 0, S_OK, E_FAIL, -1, 0, 0, 3},
      {"VOKISamAnalysisAssembly::GetAssembledDocument", 7, 2, &_D, nullptr, 0, S_OK, E_FAIL, -1, 0, 0, 4},
      {"VOKAnalysisExplicitModel::GetDocumentModel", 7, 2, &_D, nullptr, 0, S_OK, E_FAIL, -1, 0, 0, 5},
      {"VOKAnalysisExplicitNode::LinkWithMeshTag", 7, 2, &_D, nullptr, 0, S_OK, E_FAIL, -1, 0, 0, 6},
      {"VOKAnalysisExplicitModel::GetDocumentModel", 7, 2, &_D, nullptr, 0, S_OK, E_FAIL, -1, 0, 0, 7},
      {"VOKAnalysisExplicitNode::LinkWithPointer", 7, 2, &_D, nullptr, 0, S_OK, E_FAIL, -1, 0, 0, 8},
      {"VOKAnalysisExplicitParent::GetUserNumber", 7, 2, &_D, nullptr, 0, S_OK, S_OK, 3, 0, 0, 9},
      {"VOKAnalysisExplicitChild::GetSequentialNumber", 7, 2, &_D, nullptr, 0, S_OK, S_OK, -1, 500, 0, 10},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    if (row.linkModel) row.linkModel->SetNodeLinkResult(row.linkTag, row.linkResult);
    VOKHost::FaultArm(row.faultAt);
    const Numbers n = Lookup(row.meshTag, row.assembly, row.document);
    if (row.hostCalls) {
      EXPECT_EQ(row.hostCalls, VOKHost::FaultCount());
    }
    if (row.faultAt) {
      EXPECT_EQ(row.what, VOKHost::FaultHitName());
    }
    VOKHost::FaultDisarm();
    if (row.linkModel) row.linkModel->SetNodeLinkResult(row.linkTag, S_OK);
    EXPECT_HR(row.result, n.result);
    EXPECT_EQ(row.sequential, n.sequential);
    EXPECT_EQ(row.user, n.user);
  }
  EXPECT_TRUE(VOKHost::InstantiatedErrors().empty()) << "no error record is made";
}

constexpr double kUntouched = -777.25;

// A dynamic solution whose sample range is 0.5 .. 250.
struct Solution {
  Solution() {
    solution = Feature::Create("Dynamic solution", VOKHost::FacetSpecObject | VOKHost::FacetAnalysisSet);
    min = Feature::Create("min", VOKHost::FacetBasicComponent);
    min->SetValue(0.5);
    max = Feature::Create("max", VOKHost::FacetBasicComponent);
    max->SetValue(250.0);
    plain = Feature::Create("plain", VOKHost::FacetSpecObject);
    solution->SetBasicComponent("DYNSampleMinimum", min);
    solution->SetBasicComponent("DYNSampleMaximum", max);
  }
  ~Solution() {
    for (Feature* f : {solution, min, max, plain}) f->Release();
  }
  Feature *solution, *min, *max, *plain;
};

using SampleRange = VOKTest;

TEST_F(SampleRange, EveryFailurePointLeavesItsRecord) {
  // Host calls: analysis set (1), minimum lookup (2), read (3), maximum lookup (4), read (5).
  // Record type 0: success, no record.
  struct Row {
    const char* what;
    std::function<VOKISpecObject_var(Solution&)> arrange;
    long faultAt;  // 0: no fault injection
    int type;
    const char* text;
    int line;
    bool minimumWritten;
  };
  auto solution = [](Solution& s) { return VOKISpecObject_var(s.solution); };
  // The solution after iChange.
  auto after = [](std::function<void(Solution&)> iChange) {
    return [=](Solution& s) {
      iChange(s);
      return VOKISpecObject_var(s.solution);
    };
  };
  const Row rows[] = {
      {"both ends read", solution, 0, 0, "", 0, true},
      {"null solution", [](Solution&) { return VOKISpecObject_var(); }, 0, 3, "!!iDynSol", 91, false},
      {"not an analysis set", [](Solution& s) { return VOKISpecObject_var(s.plain); }, 0, 3,
       "!!hAnalysisSet", 95, false},
      {"analysis set query fails", solution, 1, 3, "!!hAnalysisSet", 95, false},
      {"minimum lookup fails", solution, 2, 1, "", 100, false},
      {"no minimum", after([](Solution& s) { s.solution->SetBasicComponent("DYNSampleMinimum", nullptr); }),
       0, 3, "!!hBasicComp", 101, false},
      {"minimum component is no basic component",
       after([](Solution& s) { s.solution->SetBasicComponent("DYNSampleMinimum", s.plain); }),
       0, 3, "!!hBasicComp", 101, false},
      {"minimum read fails", solution, 3, 1, "", 103, false},
      {"minimum read answers E_UNEXPECTED", after([](Solution& s) { s.min->SetValueFailure(E_UNEXPECTED); }),
       0, 1, "", 103, false},
      {"maximum lookup fails", solution, 4, 1, "", 109, true},
      {"no maximum", after([](Solution& s) { s.solution->SetBasicComponent("DYNSampleMaximum", nullptr); }),
       0, 3, "!!hBasicComp", 110, true},
      {"maximum read fails", solution, 5, 1, "", 112, true},
  };
  for (const Row& row : rows) {
    for (bool pending : {false, true}) {
      SCOPED_TRACE(testing::Message() << row.what << (pending ? ", an error pending" : ""));
      VOKHost::ClearErrors();
      Solution model;
      VOKISpecObject_var dynSol = row.arrange(model);
      services::Record earlier;
      if (pending) earlier = services::MakePending();
      double minimum = kUntouched, maximum = kUntouched;
      if (row.faultAt) VOKHost::FaultArm(row.faultAt);
      const long hr = VOKDYNBasicServices::GetSampleDefinition(dynSol, minimum, maximum);
      VOKHost::FaultDisarm();
      EXPECT_EQ(row.minimumWritten ? 0.5 : kUntouched, minimum);
      EXPECT_EQ(row.type == 0 ? 250.0 : kUntouched, maximum);
      EXPECT_EQ(0, ErrorDepthHandler::GetDepth()) << "the operation's scope was left open";
      if (row.type == 0) {
        EXPECT_HR(S_OK, hr);
        EXPECT_EQ(pending ? 1u : 0u, VOKHost::InstantiatedErrors().size());
        continue;
      }
      EXPECT_HR(E_FAIL, hr);
      services::Record own = services::Own(row.type, row.text, "VOKDYNBasicServices", row.line);
      if (pending && row.type == 1) {
        // A failed call passes the pending record on unchanged, from its own depth.
        own = earlier;
        own.depth = 1;
      } else if (pending) {
        // A null input is filled over it; the included file and line stay the pending record's.
        own.includedFile = earlier.includedFile;
        own.includedLine = earlier.includedLine;
      }
      services::ExpectLastRecord(own, pending ? 2 : 1);
    }
  }
  // The record's depth counts the caller's scopes.
  VOKHost::ClearErrors();
  ErrorDepthHandler outer1, outer2;
  VOKISpecObject_var none;
  double minimum = 0, maximum = 0;
  EXPECT_HR(E_FAIL, VOKDYNBasicServices::GetSampleDefinition(none, minimum, maximum));
  services::ExpectLastRecord(services::Own(3, "!!iDynSol", "VOKDYNBasicServices", 91, 3));
}

}  // namespace
