// Refusals of the excitation tools that the other suites do not reach: an
// evaluation without second members or with a negative count of degrees of
// freedom, and excitation lists whose amplitudes and phases agree with each
// other but not with the modulations.
#include <vector>

#include "VOKTestModels.h"
#include "VOKTestSupport.h"
#include "excitation_fixtures.h"
#include "responses_fakes.h"

namespace {

using namespace excitation_test;
using ::testing::_;
using ::testing::DoAll;
using ::testing::NiceMock;
using ::testing::Return;
using ::testing::SetArgReferee;

class ExcitationRefusals : public VOKTest {};

TEST_F(ExcitationRefusals, EvaluationNeedsSecondMembersAndACountThatIsNotNegative) {
  Holder hold;
  VOKHost::ModalBase* real = hold(MakeBase({{1.0, 2.0, 3.0}}));
  NiceMock<MockBaseTools>* base = hold(new NiceMock<MockBaseTools>(real));
  VOKHost::LoadExcitation* lx = hold(vok_test_models::OneLoadExcitation(hold(UnitLoad(0))));
  const double abscissae[2] = {1.0, 2.0};

  struct Row {
    const char* what;
    bool forResults;  // InitializeForResult (no second member) instead of Initialize
    int nbDof;        // what GetNbDof gives, with S_OK, when the call is reached
  };
  const Row rows[] = {
      {"initialised for results only", true, 3},
      {"a negative count of degrees of freedom", false, -2},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Tools tools;
    ExcitationType first = UndefinedExcitationType;
    if (row.forResults) {
      ASSERT_HR(S_OK, tools->InitializeForResult(List({Unknown(*lx)}), base, first));
    } else {
      ASSERT_HR(S_OK, tools->Initialize(List({Unknown(*lx)}), base, first, DYNDefaultDomain));
      EXPECT_CALL(*base, GetNbDof(_)).WillRepeatedly(DoAll(SetArgReferee<0>(row.nbDof), Return(S_OK)));
    }
    VOKMathComplex values[6];
    for (VOKMathComplex& v : values) v.re = v.im = 42.0;
    VOKMathComplex* single = values;
    EXPECT_HR(E_FAIL, tools->GetExcitValues(1.5, single));
    EXPECT_EQ(values, single) << "the caller's pointer is not reassigned";
    VOKMathComplex* none = nullptr;
    EXPECT_HR(E_FAIL, tools->GetExcitValues(1.5, none));
    EXPECT_EQ(nullptr, none) << "nothing allocated";
    EXPECT_HR(E_FAIL, tools->GetExcitValues(2, abscissae, values));
    for (const VOKMathComplex& v : values) {
      EXPECT_EQ(42.0, v.re);
      EXPECT_EQ(42.0, v.im);
    }
    ::testing::Mock::VerifyAndClearExpectations(base);
  }
}

TEST_F(ExcitationRefusals, AmplitudesAndPhasesMustMatchTheModulationsToo) {
  // Amplitudes and phases of equal length, modulations (and loads or
  // directions) of another: in the phase domain each list is compared with
  // the others, so this pair of lists is refused as well.
  auto* base = new NiceMock<responses::FakeBaseTools>(nullptr);
  auto* loads = new NiceMock<responses::FakeLoadExcitation>();
  auto* restraint = new NiceMock<responses::FakeRestraint>();
  auto* modulation = responses::FakeModulation::Create([](double) { return 1.0; });
  VOKHost::Feature* load = VOKHost::Feature::Create("load", VOKHost::FacetSpecObject);
  EXPECT_CALL(*loads, GetLoadValues)
      .WillRepeatedly([&](VOKListValVOKISpecObject_var& oLoads, VOKListValVOKISpecObject_var& oModulations,
                          VOKRawCollfloat& oAmplitudes, VOKRawCollfloat& oPhases) {
        for (int i = 0; i < 2; ++i) {
          oLoads.Append(VOKISpecObject_var(load));
          oModulations.Append(VOKISpecObject_var(modulation));
        }
        oAmplitudes.Append(1.0f);
        oPhases.Append(0.5f);
        return S_OK;
      });
  EXPECT_CALL(*restraint, GetRestraintValues)
      .WillRepeatedly([&](VOKListValVOKISpecObject_var& oModulations, VOKRawCollfloat& oAmplitudes,
                          VOKRawCollfloat& oPhases, VOKRawCollint& oDirections, int&, VOKMathAxis&) {
        for (int d = 1; d <= 2; ++d) {
          oModulations.Append(VOKISpecObject_var(modulation));
          oDirections.Append(d);
        }
        oAmplitudes.Append(1.0f);
        oPhases.Append(0.5f);
        return S_OK;
      });
  struct Row {
    const char* what;
    VOKBaseUnknown* excitation;
  };
  const Row rows[] = {{"load excitation", loads}, {"restraint excitation", restraint}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Tools tools;
    ExcitationType first = UndefinedExcitationType;
    EXPECT_HR(E_FAIL, tools->Initialize(List({row.excitation}), base, first, DYNDefaultDomain));
    EXPECT_EQ(UndefinedExcitationType, first) << "written on success only";
    VOKMathComplex* values = nullptr;
    EXPECT_HR(E_FAIL, tools->GetExcitValues(1.0, values));
    EXPECT_EQ(nullptr, values);
  }
  ::testing::Mock::VerifyAndClearExpectations(loads);
  ::testing::Mock::VerifyAndClearExpectations(restraint);
  for (VOKBaseUnknown* c : std::vector<VOKBaseUnknown*>{load, modulation, restraint, loads, base}) c->Release();
}

}  // namespace
