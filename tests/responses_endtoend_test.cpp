// Support motion and enforced displacements end to end on the stand-in: a
// modal base with its rigid-mode provider, a restraint excitation, load sets
// that enforce displacements, generalized displacements; expected values
// from the geometry and the closed form of a harmonic motion.
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "VOKDYNExcitationTools.h"
#include "VOKHostDynamics.h"
#include "VOKHostResponses.h"
#include "VOKHostSolverRecords.h"
#include "VOKTestModels.h"
#include "VOKTestSupport.h"

namespace {

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof(double)) == 0; }

// Rigid-body mode values of the two nodes of vok_test_models::TwoNodeBase
// (node 10 at the origin, node 20 at (1, 2, 0)) about the global axes, from the
// geometry: translation d moves every node by e_d; rotation about z through
// the origin moves node (x, y, z) by (-y, x, 0) and turns it by (0, 0, 1).
double TranslationX(int p) { return p % 6 == 0 ? 1.0 : 0.0; }
double RotationZ(int p) {
  const double x = p < 6 ? 0.0 : 1.0, y = p < 6 ? 0.0 : 2.0;
  switch (p % 6) {
    case 0: return -y;
    case 1: return x;
    case 5: return 1.0;
    default: return 0.0;
  }
}

class ResponsesEndToEnd : public VOKTest {
 protected:
  void SetUp() override {
    VOKTest::SetUp();
    std::string error;
    base = VOKHost::ModalBase::Create(vok_test_models::TwoNodeBase(), &error);
    ASSERT_NE(base, nullptr) << error;
    unit = VOKHost::Modulation::Constant("unit", 1.0);
    ramp = VOKHost::Modulation::Create("ramp", {{0.0, 0.0}, {10.0, 2.0}});
  }
  void TearDown() override {
    if (tools) tools->Release();
    for (VOKBaseUnknown* c : std::vector<VOKBaseUnknown*>{ramp, unit, base}) c->Release();
    EXPECT_EQ(VOKHost::SolverRecordCount(), 0);
    VOKTest::TearDown();
  }
  VOKDYNExcitationTools& ToolsFor(VOKBaseUnknown* iExcitation) {
    tools = new VOKDYNExcitationTools;
    VOKListValVOKBaseUnknown_var list;
    list.Append(VOKBaseUnknown_var(iExcitation));
    ExcitationType first = UndefinedExcitationType;
    EXPECT_HR(S_OK, tools->InitializeForResult(list, base, first));
    return *tools;
  }

  VOKHost::ModalBase* base = nullptr;
  VOKHost::Modulation* unit = nullptr;
  VOKHost::Modulation* ramp = nullptr;
  VOKDYNExcitationTools* tools = nullptr;
};

TEST_F(ResponsesEndToEnd, SupportAccelerationGivesTheHarmonicRigidDisplacement) {
  // x acceleration of amplitude 3 in phase, and a z rotation whose
  // acceleration follows the ramp modulation with a phase.
  VOKHost::RestraintExcitation* restraint = VOKHost::RestraintExcitation::Create("supports");
  restraint->AddDirection(1, 3.0f, 0.0f, unit);
  restraint->AddDirection(6, 0.5f, 0.25f, ramp);
  VOKDYNExcitationTools& object = ToolsFor(restraint);

  const double f = 2.0;
  const double omega = f * 6.283185307179586;
  std::vector<VOKMathComplex> out(12);
  VOKMathComplex* values = out.data();
  ASSERT_HR(S_OK, object.AddRigidExcit(f, 12, values));
  // A harmonic displacement u = a cos(wt + phi) has acceleration -w^2 u:
  // the support moves by -a / w^2 along x at every node.
  const double k = -1.0 / (omega * omega);
  const double g6 = ramp->Evaluate(f) * k;
  const double re6 = (0.5 * g6) * static_cast<double>(std::cos(0.25f));
  const double im6 = (0.5 * g6) * static_cast<double>(std::sin(0.25f));
  const double re1 = (3.0 * (1.0 * k)) * 1.0;
  for (int p = 0; p < 12; ++p) {
    const double expRe = (0.0 + re1 * TranslationX(p)) + re6 * RotationZ(p);
    const double expIm = (0.0 + 0.0 * TranslationX(p)) + im6 * RotationZ(p);
    EXPECT_TRUE(SameBits(out[p].re, 0.0 + expRe)) << "p " << p << ": " << out[p].re << " vs " << expRe;
    EXPECT_TRUE(SameBits(out[p].im, 0.0 + expIm)) << "p " << p;
  }
  EXPECT_NEAR(out[0].re, -3.0 / (omega * omega), 1e-15) << "node 10 moves with the support";

  // The same motion at node 20 over three frequencies, components x, y, rz.
  VOKRawCollint comps;
  for (int c : {0, 1, 5}) comps.Append(c);
  VOKRawCollfloat freqs;
  for (float x : {1.0f, 0.0f, 2.0f}) freqs.Append(x);
  std::vector<std::vector<double>> re(3, std::vector<double>(3)), im(3, std::vector<double>(3));
  double* reRows[3] = {re[0].data(), re[1].data(), re[2].data()};
  double* imRows[3] = {im[0].data(), im[1].data(), im[2].data()};
  double** reTable = reRows;
  double** imTable = imRows;
  ASSERT_HR(S_OK, object.AddRigidExcit(20, comps, freqs, reTable, imTable));
  EXPECT_TRUE(SameBits(re[0][2], out[6].re)) << "node 20, x, at 2 Hz: the full vector's value";
  EXPECT_TRUE(SameBits(re[1][2], out[7].re));
  EXPECT_TRUE(SameBits(im[2][2], out[11].im));
  for (int r = 0; r < 3; ++r) EXPECT_TRUE(re[r][1] == 0.0 && im[r][1] == 0.0) << "at rest: nothing";

  // Time steps: the generalized displacement of each direction per step.
  VOKHost::GeneralizedDisplacement* gd = VOKHost::GeneralizedDisplacement::Create("transient");
  gd->AddStep({0.5, 0.0});
  gd->AddStep({1.0, -2.0});
  VOKRawCollint dofs;
  for (int p : {6, 7}) dofs.Append(p);
  VOKRawCollfloat steps;
  steps.Append(0.0f);
  steps.Append(0.1f);
  std::vector<std::vector<double>> u(2, std::vector<double>(2));
  double* uRows[2] = {u[0].data(), u[1].data()};
  double** uTable = uRows;
  VOKISpecObject* gdObject = VOKISpecObject_var(static_cast<VOKBaseUnknown*>(gd)).Get();
  ASSERT_HR(S_OK, object.AddRigidExcit(0, dofs, steps, gdObject, uTable));
  EXPECT_EQ(u[0][0], 0.5) << "x at node 20, step 0";
  EXPECT_EQ(u[0][1], (0.0 + 1.0 * 1.0) + -2.0 * -2.0) << "x: translation 1, rotation -y";
  EXPECT_EQ(u[1][1], (0.0 + 0.0 * 1.0) + 1.0 * -2.0) << "y: rotation x";
  gd->Release();
  restraint->Release();
}

TEST_F(ResponsesEndToEnd, EnforcedLoadSetsAddTheirStaticDisplacements) {
  std::vector<double> d1(12), d2(12);
  for (int p = 0; p < 12; ++p) {
    d1[p] = p % 6 == 2 ? 1.0 : 0.0;  // a unit z displacement everywhere
    d2[p] = 0.125 * p;
  }
  VOKHost::EnforcedLoadSet* set1 = VOKHost::EnforcedLoadSet::Create("z motion", {2, 8}, d1);
  VOKHost::EnforcedLoadSet* idle = VOKHost::EnforcedLoadSet::Create("no motion", {}, d2);
  VOKHost::EnforcedLoadSet* set2 = VOKHost::EnforcedLoadSet::Create("ramp motion", {0}, d2);
  VOKHost::LoadExcitation* loads = VOKHost::LoadExcitation::Create("enforced");
  loads->AddEntry(set1, unit, 4.0f, 0.0f);
  loads->AddEntry(idle, unit, 100.0f, 0.0f);
  loads->AddEntry(set2, ramp, -1.0f, 1.5f);
  VOKDYNExcitationTools& object = ToolsFor(loads);

  const double f = 5.0;
  const double omega = f * 6.283185307179586;
  const double k = -1.0 / (omega * omega);
  std::vector<VOKMathComplex> out(12);
  VOKMathComplex* values = out.data();
  ASSERT_HR(S_OK, object.AddEnforcedDispExcit(f, 12, values));
  const double re1 = (4.0 * (1.0 * k)) * 1.0;
  const double g2 = ramp->Evaluate(f) * k;
  const double re2 = (-1.0 * g2) * static_cast<double>(std::cos(1.5f));
  const double im2 = (-1.0 * g2) * static_cast<double>(std::sin(1.5f));
  for (int p = 0; p < 12; ++p) {
    EXPECT_TRUE(SameBits(out[p].re, 0.0 + ((0.0 + re1 * d1[p]) + re2 * d2[p]))) << "p " << p;
    EXPECT_TRUE(SameBits(out[p].im, 0.0 + ((0.0 + 0.0 * d1[p]) + im2 * d2[p]))) << "p " << p;
  }
  EXPECT_NEAR(out[2].re, -4.0 / (omega * omega) + 0.25 * re2, 1e-15) << "z follows the enforced acceleration";

  // Real coefficients, one per kept set.
  std::vector<double> real(12, 0.0);
  double coefs[2] = {2.0, -0.5};
  ASSERT_HR(S_OK, object.AddEnforcedDispExcit(0.0, 12, real.data(), coefs));
  for (int p = 0; p < 12; ++p) EXPECT_EQ(real[p], (0.0 + d1[p] * 2.0) + d2[p] * -0.5);

  // Time steps: one generalized displacement per kept set.
  VOKHost::GeneralizedDisplacement* gd = VOKHost::GeneralizedDisplacement::Create("transient");
  gd->AddStep({1.0, 2.0});
  gd->AddStep({-1.0, 0.5});
  VOKRawCollint dofs;
  dofs.Append(8);
  VOKRawCollfloat steps;
  steps.Append(0.0f);
  steps.Append(1.0f);
  std::vector<double> row(2);
  double* rows[1] = {row.data()};
  double** table = rows;
  VOKISpecObject* gdObject = VOKISpecObject_var(static_cast<VOKBaseUnknown*>(gd)).Get();
  ASSERT_HR(S_OK, object.AddEnforcedDispExcit(0, dofs, steps, gdObject, table));
  EXPECT_EQ(row[0], (0.0 + 1.0 * 1.0) + 1.0 * 2.0);
  EXPECT_EQ(row[1], (0.0 + 1.0 * -1.0) + 1.0 * 0.5);

  gd->Release();
  for (VOKBaseUnknown* c : std::vector<VOKBaseUnknown*>{loads, set2, idle, set1}) c->Release();
}

}  // namespace
