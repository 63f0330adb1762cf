// The stand-in's pieces behind the support-motion and enforced-displacement
// responses: the solver record store, enforced load sets (their analysis
// model and their generalised force on a modal base) and generalized
// displacements; then the library's operations end to end on them.
#include <cmath>
#include <string>
#include <vector>

#include "VOKAnalysisExplicit.h"
#include "VOKDYNExcitationTools.h"
#include "VOKHostDynamics.h"
#include "VOKHostResponses.h"
#include "VOKHostSolverRecords.h"
#include "VOKTestModels.h"
#include "VOKTestSupport.h"

namespace {

using VOKHost::EnforcedLoadSet;
using VOKHost::Feature;
using VOKHost::RecordedFeature;

class ResponsesStandIn : public VOKTest {
 protected:
  void TearDown() override {
    EXPECT_EQ(VOKHost::SolverRecordCount(), 0) << "records left behind";
    VOKHost::ClearSolverRecords();
    VOKTest::TearDown();
  }
};

// ---------------------------------------------------------- record store

TEST_F(ResponsesStandIn, RecordsAreReadBySizeAndWholeThroughAnyInterface) {
  RecordedFeature* object = RecordedFeature::Create("object", VOKHost::FacetSpecObject | VOKHost::FacetScan);
  object->SetRecord("DEPL", {1.5, -2.0, 3.25});
  object->SetRecord("EMPTY", {});
  VOKISpecObject_var asSpec(static_cast<VOKBaseUnknown*>(object));
  VOKISamAnalysisScan_var asScan(static_cast<VOKBaseUnknown*>(object));

  struct Case {
    const char* record;
    VOKBaseUnknown* through;
    int size;
  };
  const Case cases[] = {{"DEPL", asSpec.Get(), 3}, {"DEPL", asScan.Get(), 3}, {"EMPTY", object, 0},
                        {"MISSING", object, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.record);
    int size = -1;
    EXPECT_HR(S_OK, VOKTarvoAccessDataServices::ReadDescSizes(c.through, c.record, &size));
    EXPECT_EQ(size, c.size);
  }
  double buffer[4] = {9.0, 9.0, 9.0, 9.0};
  EXPECT_HR(S_OK, VOKTarvoAccessDataServices::ReadDescData(asScan.Get(), "DEPL", buffer));
  EXPECT_EQ(buffer[0], 1.5);
  EXPECT_EQ(buffer[1], -2.0);
  EXPECT_EQ(buffer[2], 3.25);
  EXPECT_EQ(buffer[3], 9.0) << "nothing written past the record";
  EXPECT_HR(E_FAIL, VOKTarvoAccessDataServices::ReadDescData(object, "MISSING", buffer));
  EXPECT_EQ(VOKHost::SolverRecordReadCount(object, "DEPL").sizes, 2);
  EXPECT_EQ(VOKHost::SolverRecordReadCount(object, "DEPL").data, 1);

  // Refused: a null object, name or pointer.
  int size = 7;
  EXPECT_HR(E_FAIL, VOKTarvoAccessDataServices::ReadDescSizes(nullptr, "DEPL", &size));
  EXPECT_HR(E_FAIL, VOKTarvoAccessDataServices::ReadDescSizes(object, nullptr, &size));
  EXPECT_HR(E_FAIL, VOKTarvoAccessDataServices::ReadDescSizes(object, "DEPL", static_cast<int*>(nullptr)));
  EXPECT_HR(E_FAIL, VOKTarvoAccessDataServices::ReadDescData(nullptr, "DEPL", buffer));
  EXPECT_HR(E_FAIL, VOKTarvoAccessDataServices::ReadDescData(object, "DEPL", static_cast<double*>(nullptr)));

  // Both reads are host operations that can be made to fail.
  VOKHost::FaultArm(1);
  EXPECT_HR(E_FAIL, VOKTarvoAccessDataServices::ReadDescSizes(object, "DEPL", &size));
  EXPECT_EQ(VOKHost::FaultHitName(), "VOKTarvoAccessDataServices::ReadDescSizes");
  VOKHost::FaultArm(1);
  EXPECT_HR(E_FAIL, VOKTarvoAccessDataServices::ReadDescData(object, "DEPL", buffer));
  EXPECT_EQ(VOKHost::FaultHitName(), "VOKTarvoAccessDataServices::ReadDescData");
  VOKHost::FaultDisarm();

  EXPECT_EQ(VOKHost::SolverRecordCount(), 2);
  asSpec = nullptr;
  asScan = nullptr;
  object->Release();
  EXPECT_EQ(VOKHost::SolverRecordCount(), 0) << "a recorded feature takes its records along";

  // Records of any other object stay until erased.
  Feature* plain = Feature::Create("plain", VOKHost::FacetSpecObject);
  VOKHost::SetSolverRecord(plain, "SMSPC", {1.0});
  VOKHost::SetSolverRecord(plain, "DEPL", {1.0, 2.0});
  VOKHost::EraseSolverRecord(plain, "SMSPC");
  EXPECT_EQ(VOKHost::SolverRecordCount(), 1);
  VOKHost::EraseSolverRecords(plain);
  EXPECT_EQ(VOKHost::SolverRecordCount(), 0);
  plain->Release();
}

// ------------------------------------------------------- enforced load set

TEST_F(ResponsesStandIn, EnforcedLoadSetShowsItsComputedLoadAndStaticSet) {
  for (bool enforces : {true, false}) {
    SCOPED_TRACE(enforces ? "enforcing" : "not enforcing");
    EnforcedLoadSet* set =
        EnforcedLoadSet::Create("set", enforces ? std::vector<int>{0, 7} : std::vector<int>{}, {0.5, 1.5});
    VOKISamAnalysisScan_var scan(static_cast<VOKBaseUnknown*>(set));
    ASSERT_TRUE(scan != nullptr);
    VOKListValVOKBaseUnknown_var computed;
    EXPECT_HR(S_OK, scan->ScanByType("ComputedLoad", computed, 2));
    ASSERT_EQ(computed.Size(), 1);
    EXPECT_TRUE(VOKISpecObject_var(computed[1]) != nullptr);
    int size = -1;
    EXPECT_HR(S_OK, VOKTarvoAccessDataServices::ReadDescSizes(computed[1].Get(), "SMSPC", &size));
    EXPECT_EQ(size, enforces ? 2 : 0);

    VOKISamAnalysisSet_var analysisSet(static_cast<VOKBaseUnknown*>(set));
    VOKListValVOKBaseUnknown_var* linked = nullptr;
    EXPECT_HR(S_OK, analysisSet->GetLinkedSets(linked));
    ASSERT_NE(linked, nullptr);
    ASSERT_EQ(linked->Size(), 1);
    VOKISamAnalysisScan_var linkedScan((*linked)[1]);
    VOKListValVOKBaseUnknown_var statics;
    EXPECT_HR(S_OK, linkedScan->ScanByType("StaticSet", statics, 3));
    ASSERT_EQ(statics.Size(), 1);
    EXPECT_EQ(statics[1].Get(), static_cast<VOKBaseUnknown*>(set->StaticSet()));
    double depl[2] = {};
    EXPECT_HR(S_OK, VOKTarvoAccessDataServices::ReadDescData(statics[1].Get(), "DEPL", depl));
    EXPECT_EQ(depl[0], 0.5);
    EXPECT_EQ(depl[1], 1.5);
    delete linked;
    set->Release();
  }
}

// The shared two-node geometry with other masses and shapes, none of them
// uniform, so that every term of a generalised force counts.
VOKHost::ModalBaseDefinition TwoNodeBase() {
  VOKHost::ModalBaseDefinition def = vok_test_models::TwoNodeBase();
  def.modalMasses = {1.0, 2.0};
  def.modalStiffnesses = {100.0, 400.0};
  def.nodes[0].mass = {2.0, 2.0, 2.0, 0.5, 0.5, 0.5};
  def.nodes[1].mass = {3.0, 3.0, 3.0, 0.0, 0.0, 0.25};
  def.shapes.assign(2, std::vector<double>(12));
  for (int i = 0; i < 2; ++i)
    for (int p = 0; p < 12; ++p) def.shapes[i][p] = std::cos(0.3 * p + i) * (i + 1);
  return def;
}

TEST_F(ResponsesStandIn, EnforcedLoadSetForceIsMinusPhiTransposedMassTimesField) {
  std::string error;
  VOKHost::ModalBase* base = VOKHost::ModalBase::Create(TwoNodeBase(), &error);
  ASSERT_NE(base, nullptr) << error;
  std::vector<double> field(12);
  for (int p = 0; p < 12; ++p) field[p] = 0.1 * p - 0.4;
  EnforcedLoadSet* fromMasses = EnforcedLoadSet::Create("masses", {0}, field);
  EnforcedLoadSet* given = EnforcedLoadSet::Create("given", {0}, field);
  given->SetGeneralisedForce({4.0, -8.5});
  EnforcedLoadSet* wrongField = EnforcedLoadSet::Create("wrong field", {0}, {1.0, 2.0});
  EnforcedLoadSet* wrongModes = EnforcedLoadSet::Create("wrong modes", {0}, field);
  wrongModes->SetGeneralisedForce({1.0});

  // The base builds one vector per load: the enforced sets are loads too.
  VOKListValVOKISpecObject_var list;
  list.Append(VOKISpecObject_var(static_cast<VOKBaseUnknown*>(fromMasses)));
  list.Append(VOKISpecObject_var(static_cast<VOKBaseUnknown*>(given)));
  double** vectors = nullptr;
  ASSERT_HR(S_OK, base->ComputeLoadVectors(list, vectors));
  const VOKHost::ModalBaseDefinition def = TwoNodeBase();
  for (int i = 0; i < 2; ++i) {
    double sum = 0.0;
    for (int p = 0; p < 12; ++p) sum += (def.shapes[i][p] * def.nodes[p / 6].mass[p % 6]) * field[p];
    EXPECT_EQ(vectors[0][i], -sum) << "mode " << i;
  }
  EXPECT_EQ(vectors[1][0], 4.0);
  EXPECT_EQ(vectors[1][1], -8.5);
  delete[] vectors[0];
  delete[] vectors[1];
  delete[] vectors;

  for (EnforcedLoadSet* wrong : {wrongField, wrongModes}) {
    VOKListValVOKISpecObject_var one;
    one.Append(VOKISpecObject_var(static_cast<VOKBaseUnknown*>(wrong)));
    vectors = nullptr;
    EXPECT_HR(E_FAIL, base->ComputeLoadVectors(one, vectors));
    EXPECT_EQ(vectors, nullptr);
  }
  list = VOKListValVOKISpecObject_var();
  for (VOKBaseUnknown* c : std::vector<VOKBaseUnknown*>{wrongModes, wrongField, given, fromMasses, base}) c->Release();
}

// ------------------------------------------------- generalized displacement

TEST_F(ResponsesStandIn, GeneralizedDisplacementGivesANewRowPerStep) {
  VOKHost::GeneralizedDisplacement* gd = VOKHost::GeneralizedDisplacement::Create("gd");
  gd->AddStep({1.0, -2.0});
  gd->AddStep({});
  VOKIDYNGeneralizedDisplacement_var itf(static_cast<VOKBaseUnknown*>(gd));
  ASSERT_TRUE(itf != nullptr);
  EXPECT_TRUE(VOKISpecObject_var(static_cast<VOKBaseUnknown*>(gd)) != nullptr) << "it is a feature";
  int count = -1;
  double* values = nullptr;
  EXPECT_HR(S_OK, itf->GetStepValues(0, count, values));
  ASSERT_EQ(count, 2);
  EXPECT_EQ(values[0], 1.0);
  EXPECT_EQ(values[1], -2.0);
  delete[] values;
  EXPECT_HR(S_OK, itf->GetStepValues(1, count, values));
  EXPECT_EQ(count, 0);
  EXPECT_NE(values, nullptr) << "an empty step is an empty array, not a failure";
  delete[] values;
  for (int bad : {-1, 2}) {
    EXPECT_HR(E_INVALIDARG, itf->GetStepValues(bad, count, values));
    EXPECT_EQ(values, nullptr);
    EXPECT_EQ(count, 0);
  }
  VOKHost::FaultArm(1);
  EXPECT_HR(E_FAIL, itf->GetStepValues(0, count, values));
  EXPECT_EQ(values, nullptr);
  VOKHost::FaultDisarm();
  itf = nullptr;
  gd->Release();
}

}  // namespace
