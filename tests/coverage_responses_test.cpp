// Rigid-body and enforced-displacement contributions refused before anything
// is added: an object that holds no excitation of the contribution's kind,
// restraint data whose parallel lists disagree, caller tables with a missing
// row. In every case the caller's arrays keep their values to the bit.
#include <functional>
#include <string>
#include <vector>

#include "VOKTestSupport.h"
#include "responses_fakes.h"

namespace {

using namespace responses;
using ::testing::_;

constexpr int kN = 4;

std::vector<double> Modes() {
  std::vector<double> modes(6 * kN);
  for (std::size_t i = 0; i < modes.size(); ++i) modes[i] = 0.5 + static_cast<double>(i);
  return modes;
}

class ContributionRefusals : public VOKTest {
 protected:
  void SetUp() override {
    VOKTest::SetUp();
    provider = new NiceMock<FakeProvider>();
    provider->n = kN;
    provider->modes = Modes();
    provider->block = std::vector<double>(36, 2.0);
    base = new NiceMock<FakeBaseTools>(provider);
    restraint = new NiceMock<FakeRestraint>();
    loads = new NiceMock<FakeLoadExcitation>();
    modulation = FakeModulation::Create([](double f) { return 1.0 + f; });
  }
  void TearDown() override {
    restraint->entries.clear();
    loads->entries.clear();
    for (VOKBaseUnknown* c : std::vector<VOKBaseUnknown*>{modulation, loads, restraint, base, provider})
      c->Release();
    VOKTest::TearDown();
  }

  // Every overload of one family on iTools, each expected to give iResult
  // and to leave the caller's arrays as they were.
  void ExpectEveryOverloadRefuses(VOKDYNExcitationTools& iTools, bool iRigid, long iResult) {
    double coefs[6] = {1, 1, 1, 1, 1, 1};
    std::vector<double> out(kN, 3.25);
    EXPECT_HR(iResult, iRigid ? iTools.AddRigidExcit(0.0, kN, out.data(), coefs)
                              : iTools.AddEnforcedDispExcit(0.0, kN, out.data(), coefs));
    for (double v : out) EXPECT_EQ(3.25, v) << "real vector";

    std::vector<VOKMathComplex> complexOut(kN, VOKMathComplex(-1.5, 0.75));
    VOKMathComplex* values = complexOut.data();
    EXPECT_HR(iResult, iRigid ? iTools.AddRigidExcit(2.0, kN, values)
                              : iTools.AddEnforcedDispExcit(2.0, kN, values));
    EXPECT_EQ(complexOut.data(), values) << "the caller's pointer is not reassigned";
    for (const VOKMathComplex& v : complexOut) {
      EXPECT_EQ(-1.5, v.re) << "complex vector";
      EXPECT_EQ(0.75, v.im) << "complex vector";
    }

    VOKRawCollint positions;
    positions.Append(0);
    positions.Append(2);
    VOKRawCollfloat abscissae;
    abscissae.Append(1.0f);
    abscissae.Append(3.0f);
    Table re(2, 2, 5.0), im(2, 2, -5.0);
    double** reRows = re.Get();
    double** imRows = im.Get();
    EXPECT_HR(iResult, iRigid ? iTools.AddRigidExcit(1, positions, abscissae, reRows, imRows)
                              : iTools.AddEnforcedDispExcit(1, positions, abscissae, reRows, imRows));
    auto* gd = new NiceMock<FakeGeneralized>();
    gd->steps = {{1.0}, {2.0}};
    VOKISpecObject* gdObject = gd;
    EXPECT_HR(iResult, iRigid ? iTools.AddRigidExcit(0, positions, abscissae, gdObject, reRows)
                              : iTools.AddEnforcedDispExcit(0, positions, abscissae, gdObject, reRows));
    gd->Release();
    for (int r = 0; r < 2; ++r)
      for (int t = 0; t < 2; ++t) {
        EXPECT_EQ(5.0, re.rows[r][t]) << "real table " << r << "," << t;
        EXPECT_EQ(-5.0, im.rows[r][t]) << "imaginary table " << r << "," << t;
      }
  }

  NiceMock<FakeProvider>* provider = nullptr;
  NiceMock<FakeBaseTools>* base = nullptr;
  NiceMock<FakeRestraint>* restraint = nullptr;
  NiceMock<FakeLoadExcitation>* loads = nullptr;
  NiceMock<FakeModulation>* modulation = nullptr;
};

TEST_F(ContributionRefusals, EachFamilyNeedsAnExcitationOfItsKind) {
  restraint->Add(1, 1.0f, 0.0f, modulation);
  VOKHost::Feature* load = VOKHost::Feature::Create("load", VOKHost::FacetSpecObject);
  loads->Add(load, modulation, 1.0f, 0.0f);
  load->Release();  // the excitation's handle keeps it
  struct Row {
    const char* what;
    VOKBaseUnknown* held;  // the only excitation the object holds
    bool rigid;            // which family is asked
  };
  const Row rows[] = {
      {"rigid-body contributions with a load excitation only", loads, true},
      {"enforced displacements with a restraint excitation only", restraint, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    VOKDYNExcitationTools* tools = NewToolsForResult({row.held}, base);
    // Refused before any host call: neither excitation is read, no provider asked.
    EXPECT_CALL(*restraint, GetRestraintValues).Times(0);
    EXPECT_CALL(*loads, GetLoadValues).Times(0);
    EXPECT_CALL(*base, GetRigidModeProvider).Times(0);
    ExpectEveryOverloadRefuses(*tools, row.rigid, E_FAIL);
    ::testing::Mock::VerifyAndClearExpectations(restraint);
    ::testing::Mock::VerifyAndClearExpectations(loads);
    ::testing::Mock::VerifyAndClearExpectations(base);
    tools->Release();
  }
}

TEST_F(ContributionRefusals, RestraintListsThatDisagreeAddNothing) {
  // Two directions, each list cut in turn to one entry: the directions, the
  // amplitudes and the phases are read for every modulation, so a shorter
  // list would be read past its end.
  struct Row {
    const char* what;
    int directions, amplitudes, phases;
  };
  const Row rows[] = {
      {"one direction for two modulations", 1, 2, 2},
      {"one amplitude for two modulations", 2, 1, 2},
      {"one phase for two modulations", 2, 2, 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    VOKDYNExcitationTools* tools = NewToolsForResult({restraint}, base);
    EXPECT_CALL(*restraint, GetRestraintValues)
        .WillRepeatedly([&](VOKListValVOKISpecObject_var& oModulations, VOKRawCollfloat& oAmplitudes,
                            VOKRawCollfloat& oPhases, VOKRawCollint& oDirections, int&, VOKMathAxis&) {
          for (int i = 0; i < 2; ++i) oModulations.Append(VOKISpecObject_var(modulation));
          for (int i = 0; i < row.directions; ++i) oDirections.Append(2 + i);
          for (int i = 0; i < row.amplitudes; ++i) oAmplitudes.Append(1.5f);
          for (int i = 0; i < row.phases; ++i) oPhases.Append(0.25f);
          return S_OK;
        });
    EXPECT_CALL(*modulation, Evaluate).Times(0);

    std::vector<VOKMathComplex> complexOut(kN, VOKMathComplex(-1.5, 0.75));
    VOKMathComplex* values = complexOut.data();
    EXPECT_HR(E_FAIL, tools->AddRigidExcit(2.0, kN, values));
    for (const VOKMathComplex& v : complexOut) {
      EXPECT_EQ(-1.5, v.re);
      EXPECT_EQ(0.75, v.im);
    }
    VOKRawCollint components;
    components.Append(1);
    VOKRawCollfloat frequencies;
    frequencies.Append(2.0f);
    Table re(1, 1, 5.0), im(1, 1, -5.0);
    double** reRows = re.Get();
    double** imRows = im.Get();
    EXPECT_HR(E_FAIL, tools->AddRigidExcit(1, components, frequencies, reRows, imRows));
    EXPECT_EQ(5.0, re.rows[0][0]);
    EXPECT_EQ(-5.0, im.rows[0][0]);
    if (row.directions < 2) {
      // The time-step overload weighs each modulation's direction only.
      auto* gd = new NiceMock<FakeGeneralized>();
      gd->steps = {{1.0, 2.0}};
      VOKISpecObject* gdObject = gd;
      VOKRawCollint dofs;
      dofs.Append(0);
      EXPECT_HR(E_FAIL, tools->AddRigidExcit(0, dofs, frequencies, gdObject, reRows));
      EXPECT_EQ(5.0, re.rows[0][0]);
      gd->Release();
    }
    ::testing::Mock::VerifyAndClearExpectations(restraint);
    ::testing::Mock::VerifyAndClearExpectations(modulation);
    tools->Release();
  }
}

TEST_F(ContributionRefusals, AMissingRowOfEitherTableIsRefusedBeforeAnyCall) {
  restraint->Add(2, 1.0f, 0.0f, modulation);
  VOKHost::Feature* load = VOKHost::Feature::Create("load", VOKHost::FacetSpecObject);
  loads->Add(load, modulation, 1.0f, 0.0f);
  load->Release();
  VOKDYNExcitationTools* tools = NewToolsForResult({loads, restraint}, base);
  EXPECT_CALL(*restraint, GetRestraintValues).Times(0);
  EXPECT_CALL(*loads, GetLoadValues).Times(0);
  EXPECT_CALL(*base, GetRigidModeProvider).Times(0);

  VOKRawCollint positions;
  positions.Append(0);
  positions.Append(1);
  VOKRawCollfloat abscissae;
  abscissae.Append(1.0f);
  Table whole(2, 1, 5.0);
  double* gap[2] = {whole.rows[0].data(), nullptr};
  struct Row {
    const char* what;
    bool realMissing;
  };
  for (const Row& row : {Row{"real table", true}, Row{"imaginary table", false}}) {
    SCOPED_TRACE(row.what);
    double** withGap = gap;
    double** complete = whole.Get();
    double** re = row.realMissing ? withGap : complete;
    double** im = row.realMissing ? complete : withGap;
    EXPECT_HR(E_FAIL, tools->AddRigidExcit(1, positions, abscissae, re, im));
    EXPECT_HR(E_FAIL, tools->AddEnforcedDispExcit(1, positions, abscissae, re, im));
    EXPECT_EQ(5.0, whole.rows[0][0]);
    EXPECT_EQ(5.0, whole.rows[1][0]);
  }
  ::testing::Mock::VerifyAndClearExpectations(restraint);
  ::testing::Mock::VerifyAndClearExpectations(loads);
  ::testing::Mock::VerifyAndClearExpectations(base);
  tools->Release();
}

}  // namespace
