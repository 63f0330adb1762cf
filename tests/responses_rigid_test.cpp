// Rigid-body contributions of support motion to responses: the four
// AddRigidExcit overloads, driven through GoogleMock fakes of the restraint
// excitation, the base tools and the rigid-mode provider.
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "VOKTestSupport.h"
#include "responses_fakes.h"

namespace {

using namespace responses;
using ::testing::_;
using ::testing::AnyNumber;
using ::testing::Eq;
using ::testing::Truly;

// Rigid-mode matrix of N positions: distinct, irregular values per direction
// and position so that a wrong block or position cannot go unnoticed.
std::vector<double> Modes(int iN) {
  std::vector<double> modes(static_cast<std::size_t>(6 * iN));
  for (int d = 1; d <= 6; ++d)
    for (int p = 0; p < iN; ++p)
      modes[static_cast<std::size_t>((d - 1) * iN + p)] = std::sin(1.3 * d + 0.7 * p + 0.1) * (d + 0.5);
  return modes;
}

std::vector<double> Block() {
  std::vector<double> block(36);
  for (int i = 0; i < 36; ++i) block[static_cast<std::size_t>(i)] = std::cos(0.9 * i + 0.2) * (1 + i % 5);
  return block;
}

double Factor(double f) { return 1.0 + 0.25 * f; }
double OtherFactor(double f) { return 2.0 - 0.125 * f * f; }

class RigidExcit : public VOKTest {
 protected:
  void SetUp() override {
    VOKTest::SetUp();
    provider = new NiceMock<FakeProvider>();
    provider->n = kN;
    provider->modes = Modes(kN);
    provider->block = Block();
    base = new NiceMock<FakeBaseTools>(provider);
    restraint = new NiceMock<FakeRestraint>();
    modA = FakeModulation::Create(Factor);
    modB = FakeModulation::Create(OtherFactor);
  }
  void TearDown() override {
    if (tools) tools->Release();
    for (VOKBaseUnknown* c : std::vector<VOKBaseUnknown*>{modB, modA, restraint, base, provider}) c->Release();
    VOKTest::TearDown();
  }

 public:
  VOKDYNExcitationTools& Tools() {
    if (!tools) tools = NewToolsForResult({restraint}, base);
    return *tools;
  }

  static constexpr int kN = 5;
  NiceMock<FakeProvider>* provider = nullptr;
  NiceMock<FakeBaseTools>* base = nullptr;
  NiceMock<FakeRestraint>* restraint = nullptr;
  NiceMock<FakeModulation>* modA = nullptr;
  NiceMock<FakeModulation>* modB = nullptr;
  VOKDYNExcitationTools* tools = nullptr;
};

std::vector<VOKMathComplex> InitialComplex(int iN) {
  std::vector<VOKMathComplex> out;
  for (int p = 0; p < iN; ++p) out.emplace_back(0.5 + p, -1.5 + 0.25 * p);
  return out;
}

// ------------------------------------------------ complex, one frequency

TEST_F(RigidExcit, ComplexAddsEveryDirectionByTheFormulaBitForBit) {
  // A translation, a rotation and the translation again (it adds twice).
  restraint->Add(1, 2.5f, 0.7f, modA);
  restraint->Add(5, -0.75f, -1.2f, modB);
  restraint->Add(1, 1.25f, 3.0f, modA);
  const std::vector<double> R = Modes(kN);

  for (double f : {12.5, 0.3, -4.0, 1e-3}) {
    SCOPED_TRACE("f = " + std::to_string(f));
    std::vector<VOKMathComplex> out = InitialComplex(kN);
    const std::vector<VOKMathComplex> initial = out;
    // The caller's array is only touched after every direction was summed.
    ON_CALL(*modA, Evaluate).WillByDefault([&](double x) {
      for (int p = 0; p < kN; ++p) EXPECT_TRUE(SameBits(out[p].re, initial[p].re));
      return Factor(x);
    });
    EXPECT_CALL(*modA, Evaluate(f)).Times(2);
    EXPECT_CALL(*modB, Evaluate(f)).Times(1);
    VOKMathComplex* values = out.data();
    EXPECT_HR(S_OK, Tools().AddRigidExcit(f, kN, values));
    EXPECT_EQ(values, out.data()) << "the caller's pointer is never reassigned";

    struct Dir {
      int d;
      double factor;
      float a, phi;
    };
    const Dir dirs[] = {{1, Factor(f), 2.5f, 0.7f}, {5, OtherFactor(f), -0.75f, -1.2f}, {1, Factor(f), 1.25f, 3.0f}};
    for (int p = 0; p < kN; ++p) {
      double sumRe = 0.0, sumIm = 0.0;
      for (const Dir& dir : dirs) {
        const Expected c = ExpectedCoefficient(f, dir.factor, dir.a, dir.phi);
        const double r = R[static_cast<std::size_t>((dir.d - 1) * kN + p)];
        sumIm += c.im * r;
        sumRe += c.re * r;
      }
      EXPECT_TRUE(SameBits(out[p].re, initial[p].re + sumRe)) << "p " << p;
      EXPECT_TRUE(SameBits(out[p].im, initial[p].im + sumIm)) << "p " << p;
    }
    ::testing::Mock::VerifyAndClearExpectations(modA);
    ::testing::Mock::VerifyAndClearExpectations(modB);
  }
  EXPECT_EQ(provider->RefCount(), 2) << "the test's and the base tools' references only";
}

TEST_F(RigidExcit, ComplexAtZeroFrequencyAddsNothingAndKeepsTheModesResult) {
  struct Case {
    const char* what;
    bool withNonModulation;
    long expected;
  };
  const Case cases[] = {{"modulated directions", false, S_FALSE},
                        {"with a direction that is no modulation", true, E_FAIL}};
  VOKHost::Feature* notModulation = NewNotAModulation();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    restraint->entries.clear();
    restraint->Add(2, 3.0f, 0.4f, modA);
    restraint->Add(6, -2.0f, 1.1f, modB);
    if (c.withNonModulation) restraint->Add(3, 1.0f, 0.0f, notModulation);
    provider->modesResult = S_FALSE;
    std::vector<VOKMathComplex> out = InitialComplex(kN);
    const std::vector<VOKMathComplex> initial = out;
    VOKMathComplex* values = out.data();
    EXPECT_HR(c.expected, Tools().AddRigidExcit(0.0, kN, values));
    for (int p = 0; p < kN; ++p) {
      EXPECT_EQ(out[p].re, initial[p].re);
      EXPECT_EQ(out[p].im, initial[p].im);
    }
  }
  restraint->entries.clear();
  notModulation->Release();
}

TEST_F(RigidExcit, ComplexDirectionThatIsNoModulationLeavesTheOthersAdded) {
  VOKHost::Feature* notModulation = NewNotAModulation();
  restraint->Add(2, 1.5f, 0.25f, modA);
  restraint->Add(4, 9.0f, 0.5f, notModulation);
  restraint->Add(3, -0.5f, 2.0f, modB);
  const double f = 7.0;
  std::vector<VOKMathComplex> out = InitialComplex(kN);
  const std::vector<VOKMathComplex> initial = out;
  VOKMathComplex* values = out.data();
  EXPECT_HR(E_FAIL, Tools().AddRigidExcit(f, kN, values));

  const std::vector<double> R = Modes(kN);
  const Expected c2 = ExpectedCoefficient(f, Factor(f), 1.5f, 0.25f);
  const Expected c3 = ExpectedCoefficient(f, OtherFactor(f), -0.5f, 2.0f);
  for (int p = 0; p < kN; ++p) {
    const double r2 = R[static_cast<std::size_t>(1 * kN + p)], r3 = R[static_cast<std::size_t>(2 * kN + p)];
    const double sumRe = (0.0 + c2.re * r2) + c3.re * r3;
    const double sumIm = (0.0 + c2.im * r2) + c3.im * r3;
    EXPECT_TRUE(SameBits(out[p].re, initial[p].re + sumRe)) << "p " << p;
    EXPECT_TRUE(SameBits(out[p].im, initial[p].im + sumIm)) << "p " << p;
  }
  EXPECT_EQ(notModulation->RefCount(), 2) << "the test's and the restraint's references only";
  restraint->entries.clear();
  notModulation->Release();
}

// ------------------------------------ what each overload refuses, and when

TEST_F(RigidExcit, PreconditionsAndEarlyFailuresAddNothing) {
  // Every case below must leave the caller's arrays exactly as they were.
  struct Case {
    const char* what;
    std::function<void(RigidExcit&)> setUp;
    int n;                // the n given to the single-vector overloads
    bool uninitialised;   // call on an object never initialised
    long complexResult;   // AddRigidExcit(f, n, complex)
    long realResult;      // AddRigidExcit(x, n, out, coefs)
    long nodeResult;      // multi-frequency overload
    long stepResult;      // time-step overload
  };
  const long F = E_FAIL;
  const Case cases[] = {
      {"n = 0", nullptr, 0, false, F, F, S_OK, S_OK},
      {"negative n", nullptr, -3, false, F, F, S_OK, S_OK},
      {"never initialised", nullptr, kN, true, F, F, F, F},
      {"restraint values fail with their own code",
       [](RigidExcit& t) { t.restraint->valuesResult = E_OUTOFMEMORY; }, kN, false, E_OUTOFMEMORY,
       E_OUTOFMEMORY, E_OUTOFMEMORY, E_OUTOFMEMORY},
      {"no provider (failed call)", [](RigidExcit& t) { t.base->providerResult = E_INVALIDARG; }, kN,
       false, F, F, F, F},
      {"no provider (null)", [](RigidExcit& t) { t.base->nullProvider = true; }, kN, false, F, F, F, F},
      {"mode computation fails with its own code",
       [](RigidExcit& t) { t.provider->modesResult = E_INVALIDARG; }, kN, false, E_INVALIDARG,
       E_INVALIDARG, E_INVALIDARG, E_INVALIDARG},
      {"null mode arrays: the computation's success is returned",
       [](RigidExcit& t) {
         t.provider->modes.clear();
         t.provider->block.clear();
         t.provider->modesResult = S_FALSE;
       },
       kN, false, S_FALSE, S_FALSE, S_FALSE, S_FALSE},
      {"model size differs from n", nullptr, kN + 1, false, F, F, S_OK, S_OK},
      {"null modulation handle", [](RigidExcit& t) { t.restraint->Add(3, 1.0f, 0.0f, nullptr); }, kN,
       false, F, S_OK, F, S_OK},
      {"direction outside 1..6", [](RigidExcit& t) { t.restraint->Add(7, 1.0f, 0.0f, t.modB); }, kN,
       false, F, F, F, F},
      {"direction 0", [](RigidExcit& t) { t.restraint->Add(0, 1.0f, 0.0f, t.modB); }, kN, false, F, F, F, F},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (tools) tools->Release();
    tools = nullptr;
    restraint->entries.clear();
    restraint->valuesResult = S_OK;
    base->providerResult = S_OK;
    base->nullProvider = false;
    provider->modes = Modes(kN);
    provider->block = Block();
    provider->modesResult = S_OK;
    restraint->Add(2, 2.0f, 0.5f, modA);
    restraint->Add(4, 1.0f, 1.5f, modA);
    if (c.setUp) c.setUp(*this);
    VOKDYNExcitationTools* object = c.uninitialised ? new VOKDYNExcitationTools : &Tools();
    if (c.uninitialised) {
      EXPECT_CALL(*restraint, GetRestraintValues).Times(0);
      EXPECT_CALL(*base, GetRigidModeProvider).Times(0);
    }
    if (c.complexResult != S_OK && c.complexResult != S_FALSE) EXPECT_CALL(*modA, Evaluate).Times(0);

    std::vector<VOKMathComplex> complexOut = InitialComplex(kN + 1);
    const std::vector<VOKMathComplex> complexInitial = complexOut;
    VOKMathComplex* complexValues = complexOut.data();
    EXPECT_HR(c.complexResult, object->AddRigidExcit(3.0, c.n, complexValues));
    for (std::size_t p = 0; p < complexOut.size(); ++p) {
      EXPECT_EQ(complexOut[p].re, complexInitial[p].re) << "complex, p " << p;
      EXPECT_EQ(complexOut[p].im, complexInitial[p].im) << "complex, p " << p;
    }
    ::testing::Mock::VerifyAndClearExpectations(modA);

    if (c.realResult != S_OK) {
      std::vector<double> out(kN + 1, 4.0);
      std::vector<double> coefs(8, 1.5);
      EXPECT_HR(c.realResult, object->AddRigidExcit(0.0, c.n, out.data(), coefs.data()));
      for (double v : out) EXPECT_EQ(v, 4.0) << "real";
    }
    if (c.nodeResult != S_OK) {
      VOKRawCollint comps = Ints({0, 5});
      VOKRawCollfloat freqs = Floats({2.0f});
      Table re(2, 1, 1.0), im(2, 1, -1.0);
      double** reRows = re.Get();
      double** imRows = im.Get();
      EXPECT_HR(c.nodeResult, object->AddRigidExcit(3, comps, freqs, reRows, imRows));
      for (int r = 0; r < 2; ++r) {
        EXPECT_EQ(re.rows[r][0], 1.0) << "node real";
        EXPECT_EQ(im.rows[r][0], -1.0) << "node imaginary";
      }
    }
    if (c.stepResult != S_OK) {
      auto* gd = new NiceMock<FakeGeneralized>();
      gd->steps = {{1.0, 2.0}, {3.0, 4.0}};
      VOKRawCollint dofs = Ints({1});
      VOKRawCollfloat steps = Floats({0.0f, 1.0f});
      Table out(1, 2, 6.0);
      double** rows = out.Get();
      VOKISpecObject* gdObject = gd;
      EXPECT_HR(c.stepResult, object->AddRigidExcit(0, dofs, steps, gdObject, rows));
      EXPECT_EQ(out.rows[0][0], 6.0);
      EXPECT_EQ(out.rows[0][1], 6.0);
      gd->Release();
    }
    if (c.uninitialised) object->Release();
    ::testing::Mock::VerifyAndClearExpectations(restraint);
    ::testing::Mock::VerifyAndClearExpectations(base);
    EXPECT_EQ(provider->RefCount(), 2) << "provider released";
  }
  restraint->entries.clear();
}

TEST_F(RigidExcit, NullCallerArraysAreRefusedBeforeAnyCall) {
  restraint->Add(1, 1.0f, 0.0f, modA);
  VOKDYNExcitationTools& object = Tools();
  EXPECT_CALL(*restraint, GetRestraintValues).Times(0);
  EXPECT_CALL(*base, GetRigidModeProvider).Times(0);
  double out[kN] = {};
  double coefs[1] = {1.0};
  EXPECT_HR(E_FAIL, object.AddRigidExcit(0.0, kN, nullptr, coefs));
  EXPECT_HR(E_FAIL, object.AddRigidExcit(0.0, kN, out, nullptr));
  VOKMathComplex* none = nullptr;
  EXPECT_HR(E_FAIL, object.AddRigidExcit(1.0, kN, none));

  VOKRawCollint comps = Ints({0});
  VOKRawCollfloat freqs = Floats({1.0f});
  Table table(1, 1);
  double** rows = table.Get();
  double** noTable = nullptr;
  EXPECT_HR(E_FAIL, object.AddRigidExcit(1, comps, freqs, noTable, rows));
  EXPECT_HR(E_FAIL, object.AddRigidExcit(1, comps, freqs, rows, noTable));
  double* nullRow[1] = {nullptr};
  double** withNullRow = nullRow;
  EXPECT_HR(E_FAIL, object.AddRigidExcit(1, comps, freqs, rows, withNullRow));

  auto* gd = new NiceMock<FakeGeneralized>();
  VOKISpecObject* gdObject = gd;
  VOKISpecObject* noGd = nullptr;
  EXPECT_HR(E_FAIL, object.AddRigidExcit(0, comps, freqs, noGd, rows));
  EXPECT_HR(E_FAIL, object.AddRigidExcit(0, comps, freqs, gdObject, noTable));
  EXPECT_HR(E_FAIL, object.AddRigidExcit(0, comps, freqs, gdObject, withNullRow));
  gd->Release();
  restraint->entries.clear();
}

// ---------------------------------------------------- real, one vector

TEST_F(RigidExcit, RealAddsEachEntryWithItsCoefficientInOrder) {
  // The same direction twice adds twice; modulations, amplitudes and phases
  // are not used (a null modulation is no obstacle here).
  restraint->Add(3, 99.0f, 1.0f, nullptr);
  restraint->Add(6, 99.0f, 1.0f, modA);
  restraint->Add(3, 99.0f, 1.0f, modB);
  EXPECT_CALL(*modA, Evaluate).Times(0);
  provider->modesResult = S_FALSE;
  const double coefs[] = {0.75, -2.5, 1.0 / 3.0};
  std::vector<double> out = {1.0, -2.0, 0.125, 7.5, -0.25};
  const std::vector<double> initial = out;
  std::vector<double> coefCopy(coefs, coefs + 3);
  EXPECT_HR(S_FALSE, Tools().AddRigidExcit(123.0, kN, out.data(), coefCopy.data()));
  const std::vector<double> R = Modes(kN);
  for (int p = 0; p < kN; ++p) {
    double expected = initial[p];
    expected += coefs[0] * R[static_cast<std::size_t>(2 * kN + p)];
    expected += coefs[1] * R[static_cast<std::size_t>(5 * kN + p)];
    expected += coefs[2] * R[static_cast<std::size_t>(2 * kN + p)];
    EXPECT_TRUE(SameBits(out[p], expected)) << "p " << p;
  }
  restraint->entries.clear();
}

// ------------------------------------------------------- the axis system

bool SameAxis(const VOKMathAxis& a, const VOKMathAxis& b) {
  double ao[3], ax[3], ay[3], az[3], bo[3], bx[3], by[3], bz[3];
  a.GetOrigin(ao);
  a.GetDirections(ax, ay, az);
  b.GetOrigin(bo);
  b.GetDirections(bx, by, bz);
  for (int i = 0; i < 3; ++i)
    if (ao[i] != bo[i] || ax[i] != bx[i] || ay[i] != by[i] || az[i] != bz[i]) return false;
  return true;
}

TEST_F(RigidExcit, RotationGoesThroughTheProviderWithTheAxisAsDelivered) {
  // A skewed, unnormalised axis: the library passes it on untouched.
  const double origin[3] = {1.0, -2.0, 3.5}, x[3] = {2.0, 0.1, 0.0}, y[3] = {0.0, 3.0, 0.2},
               z[3] = {0.3, 0.0, 0.5};
  const VOKMathAxis axis(origin, x, y, z);
  restraint->axisFlag = 1;
  restraint->axis = axis;
  restraint->Add(5, 1.0f, 0.0f, modA);
  auto asDelivered = Truly([&](const VOKMathAxis& a) { return SameAxis(a, axis); });
  EXPECT_CALL(*provider, ComputeRigidModes(asDelivered, _, _)).Times(1);
  EXPECT_CALL(*provider, ComputeNodeRigidModes(42, asDelivered, _, _)).Times(1);

  // Rotation 5 uses block 4 of the modes, exactly like a translation would.
  std::vector<double> out(kN, 0.0);
  double coef = 2.0;
  EXPECT_HR(S_OK, Tools().AddRigidExcit(0.0, kN, out.data(), &coef));
  const std::vector<double> R = Modes(kN);
  for (int p = 0; p < kN; ++p) EXPECT_TRUE(SameBits(out[p], 0.0 + 2.0 * R[static_cast<std::size_t>(4 * kN + p)]));

  VOKRawCollint comps = Ints({4});
  VOKRawCollfloat freqs = Floats({3.0f});
  Table re(1, 1), im(1, 1);
  double** reRows = re.Get();
  double** imRows = im.Get();
  EXPECT_HR(S_OK, Tools().AddRigidExcit(42, comps, freqs, reRows, imRows));
  const Expected c = ExpectedCoefficient(3.0, Factor(3.0), 1.0f, 0.0f);
  EXPECT_TRUE(SameBits(re.rows[0][0], 0.0 + c.re * Block()[4 * 6 + 4]));
  EXPECT_TRUE(SameBits(im.rows[0][0], 0.0 + c.im * Block()[4 * 6 + 4]));
  restraint->entries.clear();
}

// --------------------------------------------- many frequencies, one node

TEST_F(RigidExcit, MultiFrequencyFillsEachColumnAndLeavesZeroFrequencyUntouched) {
  VOKHost::Feature* notModulation = NewNotAModulation();
  restraint->Add(1, 2.0f, 0.3f, modA);
  restraint->Add(6, -1.5f, 2.2f, modB);
  restraint->Add(2, 5.0f, 0.0f, notModulation);  // skipped: the call reports E_FAIL
  restraint->Add(1, 0.5f, -0.8f, modB);
  provider->modesResult = S_FALSE;
  const std::vector<int> comps = {5, 0, 3};
  const std::vector<float> freqs = {2.5f, 0.0f, 11.75f};
  VOKRawCollint compList = Ints(comps);
  VOKRawCollfloat freqList = Floats(freqs);
  Table re(3, 3, 0.5), im(3, 3, -0.5);
  double** reRows = re.Get();
  double** imRows = im.Get();
  EXPECT_HR(E_FAIL, Tools().AddRigidExcit(17, compList, freqList, reRows, imRows));
  EXPECT_EQ(reRows, re.Get()) << "the caller's table is never reassigned";

  struct Dir {
    int d;
    std::function<double(double)> factor;
    float a, phi;
  };
  const Dir dirs[] = {{1, Factor, 2.0f, 0.3f}, {6, OtherFactor, -1.5f, 2.2f}, {1, OtherFactor, 0.5f, -0.8f}};
  const std::vector<double> B = Block();
  for (int r = 0; r < 3; ++r) {
    for (int t = 0; t < 3; ++t) {
      double expRe = 0.5, expIm = -0.5;
      for (const Dir& dir : dirs) {
        const double f = static_cast<double>(freqs[t]);
        const Expected c = ExpectedCoefficient(f, dir.factor(f), dir.a, dir.phi);
        const double b = B[static_cast<std::size_t>((dir.d - 1) * 6 + comps[r])];
        expRe += c.re * b;
        expIm += c.im * b;
      }
      EXPECT_TRUE(SameBits(re.rows[r][t], expRe)) << "r " << r << " t " << t;
      EXPECT_TRUE(SameBits(im.rows[r][t], expIm)) << "r " << r << " t " << t;
      if (t == 1) {
        EXPECT_EQ(re.rows[r][t], 0.5) << "a frequency of 0 contributes nothing";
        EXPECT_EQ(im.rows[r][t], -0.5);
      }
    }
  }
  restraint->entries.clear();
  notModulation->Release();
}

TEST_F(RigidExcit, MultiFrequencyRefusesComponentsOutsideTheNodeBlock) {
  restraint->Add(1, 2.0f, 0.3f, modA);
  EXPECT_CALL(*modA, Evaluate).Times(0);
  for (int bad : {-1, 6}) {
    SCOPED_TRACE(bad);
    VOKRawCollint comps = Ints({0, bad});
    VOKRawCollfloat freqs = Floats({1.0f});
    Table re(2, 1, 3.0), im(2, 1, 3.0);
    double** reRows = re.Get();
    double** imRows = im.Get();
    EXPECT_HR(E_FAIL, Tools().AddRigidExcit(1, comps, freqs, reRows, imRows));
    EXPECT_EQ(re.rows[0][0], 3.0);
    EXPECT_EQ(im.rows[0][0], 3.0);
  }
  restraint->entries.clear();
}

// ------------------------------------------------------------ time steps

TEST_F(RigidExcit, TimeStepsAddEachStepAndStopAtAnInconsistentOne) {
  restraint->Add(2, 1.0f, 0.0f, modA);
  restraint->Add(4, 1.0f, 0.0f, modB);
  restraint->Add(2, 1.0f, 0.0f, nullptr);  // the time-step overload needs no modulation
  const std::vector<int> dofs = {4, 0, 2};
  VOKRawCollint dofList = Ints(dofs);
  const std::vector<double> R = Modes(kN);

  struct Case {
    const char* what;
    std::vector<std::vector<double>> steps;  // the generalized displacements per step
    int T;                                   // steps asked for
    long stepResult;
    long expected;
    int columnsAdded;
  };
  const Case cases[] = {
      {"three consistent steps", {{0.5, -1.0, 2.0}, {1.5, 0.25, -3.0}, {0.0, 4.0, 1.0}}, 3, S_FALSE, S_FALSE, 3},
      {"step 1 has one value too few", {{0.5, -1.0, 2.0}, {1.5, 0.25}, {0.0, 4.0, 1.0}}, 3, S_OK, E_FAIL, 1},
      {"step 2 does not exist", {{0.5, -1.0, 2.0}, {1.5, 0.25, -3.0}}, 3, S_OK, E_FAIL, 2},
      {"no step: the modes' result", {}, 0, S_OK, S_FALSE, 0},
  };
  provider->modesResult = S_FALSE;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto* gd = new NiceMock<FakeGeneralized>();
    gd->steps = c.steps;
    gd->stepResult = c.stepResult;
    // Each step is asked once, in order, and none after the failing one.
    {
      ::testing::InSequence order;
      for (int t = 0; t < std::min<int>(c.T, c.columnsAdded + 1); ++t)
        EXPECT_CALL(*gd, GetStepValues(t, _, _)).Times(1);
    }
    VOKRawCollfloat steps;
    for (int t = 0; t < c.T; ++t) steps.Append(0.1f * t);
    Table out(3, std::max(c.T, 1), 0.25);
    double** rows = out.Get();
    VOKISpecObject* gdObject = gd;
    EXPECT_HR(c.expected, Tools().AddRigidExcit(-1, dofList, steps, gdObject, rows));
    EXPECT_EQ(gdObject, static_cast<VOKISpecObject*>(gd));
    for (int r = 0; r < 3; ++r) {
      for (int t = 0; t < c.T; ++t) {
        double expected = 0.25;
        if (t < c.columnsAdded) {
          const int dirs[] = {2, 4, 2};
          for (int j = 0; j < 3; ++j)
            expected += R[static_cast<std::size_t>((dirs[j] - 1) * kN + dofs[r])] * c.steps[t][j];
        }
        EXPECT_TRUE(SameBits(out.rows[r][t], expected)) << "r " << r << " t " << t;
      }
    }
    EXPECT_EQ(gd->RefCount(), 1) << "generalized displacement released";
    ::testing::Mock::VerifyAndClearExpectations(gd);
    gd->Release();
  }
  restraint->entries.clear();
}

TEST_F(RigidExcit, TimeStepsRefuseAnObjectThatGivesNoGeneralizedDisplacement) {
  restraint->Add(1, 1.0f, 0.0f, modA);
  VOKHost::Feature* plain = VOKHost::Feature::Create("plain", VOKHost::FacetSpecObject);
  VOKRawCollint dofs = Ints({0});
  VOKRawCollfloat steps = Floats({0.0f});
  Table out(1, 1, 2.0);
  double** rows = out.Get();
  VOKISpecObject* object = plain;
  EXPECT_HR(E_FAIL, Tools().AddRigidExcit(0, dofs, steps, object, rows));
  EXPECT_EQ(out.rows[0][0], 2.0);
  // Positions beyond the model are refused before any step is asked.
  auto* gd = new NiceMock<FakeGeneralized>();
  gd->steps = {{1.0}};
  EXPECT_CALL(*gd, GetStepValues).Times(0);
  VOKRawCollint beyond = Ints({kN});
  VOKISpecObject* gdObject = gd;
  EXPECT_HR(E_FAIL, Tools().AddRigidExcit(0, beyond, steps, gdObject, rows));
  EXPECT_EQ(out.rows[0][0], 2.0);
  gd->Release();
  plain->Release();
  restraint->entries.clear();
}

// -------------------------------------------------------- fault injection


}  // namespace
