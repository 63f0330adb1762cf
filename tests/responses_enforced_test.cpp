// Enforced-displacement contributions to responses: the filter that keeps the
// load sets enforcing displacements and finds their static sets, and the
// four AddEnforcedDispExcit overloads. Load sets are the stand-in's; the load
// excitation and modulations are GoogleMock fakes.
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "VOKHostResponses.h"
#include "VOKHostSolverRecords.h"
#include "VOKTestSupport.h"
#include "responses_fakes.h"

namespace {

using namespace responses;
using ::testing::_;
using ::testing::StrEq;

constexpr int kN = 12;  // two nodes
constexpr unsigned loadFacets = VOKHost::FacetSpecObject | VOKHost::FacetScan | VOKHost::FacetAnalysisSet;

std::vector<double> Field(int iSeed, int iN = kN) {
  std::vector<double> d(static_cast<std::size_t>(iN));
  for (int p = 0; p < iN; ++p) d[static_cast<std::size_t>(p)] = std::sin(0.61 * p + 1.7 * iSeed) * (iSeed + 0.25);
  return d;
}

double FactorA(double f) { return 0.5 + 0.1 * f; }
double FactorB(double f) { return -1.25 + 0.01 * f * f; }

/// A load set whose scan and linked-set operations can be told to fail;
/// otherwise it behaves as the stand-in's feature.
class MockLoadSet : public VOKHost::Feature {
 public:
  explicit MockLoadSet(unsigned iFacets) : Feature("mock load set", iFacets) {
    ON_CALL(*this, ScanByType).WillByDefault([this](const char* t, VOKListValVOKBaseUnknown_var& f, int m) {
      return Feature::ScanByType(t, f, m);
    });
    ON_CALL(*this, GetLinkedSets).WillByDefault([this](VOKListValVOKBaseUnknown_var*& l) {
      return Feature::GetLinkedSets(l);
    });
  }
  MOCK_METHOD(long, ScanByType, (const char*, VOKListValVOKBaseUnknown_var&, int), (override));
  MOCK_METHOD(long, GetLinkedSets, (VOKListValVOKBaseUnknown_var*&), (override));
};

class EnforcedDisp : public VOKTest {
 protected:
  void SetUp() override {
    VOKTest::SetUp();
    VOKHost::ResetSolverRecordReadCounts();
    base = new NiceMock<FakeBaseTools>(nullptr);
    loads = new NiceMock<FakeLoadExcitation>();
    modA = FakeModulation::Create(FactorA);
    modB = FakeModulation::Create(FactorB);
    set1 = VOKHost::EnforcedLoadSet::Create("set 1", {0, 6}, Field(1));
    free2 = VOKHost::EnforcedLoadSet::Create("set 2", {}, Field(2));
    set3 = VOKHost::EnforcedLoadSet::Create("set 3", {3}, Field(3));
  }
  void TearDown() override {
    if (tools) tools->Release();
    loads->entries.clear();
    for (VOKBaseUnknown* c : std::vector<VOKBaseUnknown*>{set3, free2, set1, modB, modA, loads, base}) c->Release();
    EXPECT_EQ(VOKHost::SolverRecordCount(), 0) << "records go with their objects";
    VOKTest::TearDown();
  }

 public:
  VOKDYNExcitationTools& Tools() {
    if (!tools) tools = NewToolsForResult({loads}, base);
    return *tools;
  }
  /// The load excitation of the usual mix: set 1 (A, 2.0, 0.5), set 2 that
  /// enforces nothing, set 3 (B, -1.25, 2.5).
  void UsualMix() {
    loads->entries.clear();
    loads->Add(set1, modA, 2.0f, 0.5f);
    loads->Add(free2, modA, 7.0f, 1.0f);
    loads->Add(set3, modB, -1.25f, 2.5f);
  }

  NiceMock<FakeBaseTools>* base = nullptr;
  NiceMock<FakeLoadExcitation>* loads = nullptr;
  NiceMock<FakeModulation>* modA = nullptr;
  NiceMock<FakeModulation>* modB = nullptr;
  VOKHost::EnforcedLoadSet* set1 = nullptr;
  VOKHost::EnforcedLoadSet* free2 = nullptr;
  VOKHost::EnforcedLoadSet* set3 = nullptr;
  VOKDYNExcitationTools* tools = nullptr;
};

// The four parallel lists of a load excitation, as the filter receives them.
struct Lists {
  VOKListValVOKISpecObject_var loads, modulations;
  VOKRawCollfloat amplitudes, phases;
  void Add(VOKBaseUnknown* iLoad, VOKBaseUnknown* iModulation, float iAmplitude, float iPhase, bool iPhases = true) {
    loads.Append(VOKISpecObject_var(iLoad));
    modulations.Append(VOKISpecObject_var(iModulation));
    amplitudes.Append(iAmplitude);
    if (iPhases) phases.Append(iPhase);
  }
  bool operator==(const Lists& o) const {
    if (loads.Size() != o.loads.Size() || modulations.Size() != o.modulations.Size()) return false;
    for (int i = 1; i <= loads.Size(); ++i)
      if (loads[i].Get() != o.loads[i].Get()) return false;
    for (int i = 1; i <= modulations.Size(); ++i)
      if (modulations[i].Get() != o.modulations[i].Get()) return false;
    return amplitudes == o.amplitudes && phases == o.phases;
  }
};

VOKISpecObject* AsFeature(VOKBaseUnknown* iObject) { return VOKISpecObject_var(iObject).Get(); }

// ------------------------------------------------------------------ filter

TEST_F(EnforcedDisp, FilterKeepsEnforcingSetsInOrderWithTheirOwnValues) {
  VOKHost::EnforcedLoadSet* set4 = VOKHost::EnforcedLoadSet::Create("set 4", {}, Field(4));
  struct Case {
    const char* what;
    bool phases;
  };
  for (const Case& c : {Case{"with phases", true}, Case{"without phases", false}}) {
    SCOPED_TRACE(c.what);
    Lists l;
    l.Add(set1, modA, 2.0f, 0.5f, c.phases);
    l.Add(free2, modB, 3.0f, 1.5f, c.phases);
    l.Add(set3, nullptr, -4.0f, 2.5f, c.phases);
    l.Add(set4, modA, 5.0f, 3.5f, c.phases);
    VOKListValVOKISpecObject_var statics;
    statics.Append(VOKISpecObject_var(set4));  // the filter appends, it never empties
    EXPECT_HR(S_OK, Tools().FilterForEnforcedDisp(l.loads, l.modulations, l.amplitudes, l.phases, statics));
    ASSERT_EQ(l.loads.Size(), 2);
    EXPECT_EQ(l.loads[1].Get(), AsFeature(set1));
    EXPECT_EQ(l.loads[2].Get(), AsFeature(set3));
    ASSERT_EQ(l.modulations.Size(), 2);
    EXPECT_EQ(l.modulations[1].Get(), AsFeature(modA));
    EXPECT_TRUE(!l.modulations[2]) << "a null modulation stays with its load set";
    ASSERT_EQ(l.amplitudes.Size(), 2);
    EXPECT_EQ(l.amplitudes[1], 2.0f);
    EXPECT_EQ(l.amplitudes[2], -4.0f);
    if (c.phases) {
      ASSERT_EQ(l.phases.Size(), 2);
      EXPECT_EQ(l.phases[1], 0.5f);
      EXPECT_EQ(l.phases[2], 2.5f);
    } else {
      EXPECT_EQ(l.phases.Size(), 0);
    }
    ASSERT_EQ(statics.Size(), 3);
    EXPECT_EQ(statics[1].Get(), AsFeature(set4));
    EXPECT_EQ(statics[2].Get(), AsFeature(set1->StaticSet()));
    EXPECT_EQ(statics[3].Get(), AsFeature(set3->StaticSet()));
  }

  // Nothing to keep, or nothing at all: the lists end up empty, the static
  // sets untouched.
  for (bool empty : {false, true}) {
    SCOPED_TRACE(empty ? "no load set" : "no enforcing load set");
    Lists l;
    if (!empty) l.Add(free2, modA, 1.0f, 1.0f);
    if (!empty) l.Add(set4, modB, 2.0f, 2.0f);
    l.modulations.Append(VOKISpecObject_var(modA));
    l.amplitudes.Append(9.0f);
    l.phases.Append(9.0f);
    VOKListValVOKISpecObject_var statics;
    EXPECT_HR(S_OK, Tools().FilterForEnforcedDisp(l.loads, l.modulations, l.amplitudes, l.phases, statics));
    EXPECT_EQ(l.loads.Size(), 0);
    EXPECT_EQ(l.modulations.Size(), 0);
    EXPECT_EQ(l.amplitudes.Size(), 0);
    EXPECT_EQ(l.phases.Size(), 0);
    EXPECT_EQ(statics.Size(), 0);
  }
  set4->Release();
}

TEST_F(EnforcedDisp, FilterFailuresLeaveTheListsAsTheyWere) {
  using VOKHost::Feature;
  using VOKHost::RecordedFeature;
  // A computed load that enforces displacements, for the hand-built sets.
  RecordedFeature* enforcing = RecordedFeature::Create("computed", VOKHost::FacetSpecObject);
  enforcing->SetRecord("SMSPC", {1.0});

  struct Case {
    const char* what;
    std::function<VOKBaseUnknown*()> make;  // the failing third load set (new reference)
    long expected;
    int newStatics;  // static sets appended before the failure
    char shortList = 0;  // 'a', 'm' or 'p': the amplitudes, modulations or phases lack the third entry
  };
  const Case cases[] = {
      {"not an analysis scan", [] { return Feature::Create("x", VOKHost::FacetSpecObject); }, E_UNEXPECTED, 2},
      {"computed load scan fails with its own code",
       [] {
         auto* s = new NiceMock<MockLoadSet>(loadFacets);
         EXPECT_CALL(*s, ScanByType(StrEq("ComputedLoad"), _, 2)).WillOnce(::testing::Return(E_OUTOFMEMORY));
         return s;
       },
       E_OUTOFMEMORY, 2},
      {"no computed load", [] { return Feature::Create("x", loadFacets); }, E_UNEXPECTED, 2},
      {"computed load is no feature",
       [] {
         Feature* s = Feature::Create("x", loadFacets);
         Feature* plain = Feature::Create("plain", 0);
         s->AddScanResult("ComputedLoad", plain);
         plain->Release();
         return s;
       },
       E_NOINTERFACE, 2},
      {"kept load set is no analysis set",
       [enforcing] {
         Feature* s = Feature::Create("x", VOKHost::FacetSpecObject | VOKHost::FacetScan);
         s->AddScanResult("ComputedLoad", enforcing);
         return s;
       },
       E_NOINTERFACE, 2},
      {"linked sets fail with their own code",
       [enforcing] {
         auto* s = new NiceMock<MockLoadSet>(loadFacets);
         s->AddScanResult("ComputedLoad", enforcing);
         EXPECT_CALL(*s, GetLinkedSets).WillOnce(::testing::Return(E_OUTOFMEMORY));
         return s;
       },
       E_OUTOFMEMORY, 2},
      {"no linked-set list",
       [enforcing] {
         Feature* s = Feature::Create("x", loadFacets);
         s->AddScanResult("ComputedLoad", enforcing);
         s->SetNoLinkedSetList(true);
         return s;
       },
       E_FAIL, 2},
      {"linked object is no analysis scan",
       [enforcing] {
         Feature* s = Feature::Create("x", loadFacets);
         s->AddScanResult("ComputedLoad", enforcing);
         Feature* linked = Feature::Create("linked", VOKHost::FacetSpecObject);
         s->AddLinkedSet(linked);
         linked->Release();
         return s;
       },
       E_FAIL, 2},
      {"static set scan fails: E_FAIL, not its code",
       [enforcing] {
         Feature* s = Feature::Create("x", loadFacets);
         s->AddScanResult("ComputedLoad", enforcing);
         auto* linked = new NiceMock<MockLoadSet>(VOKHost::FacetScan);
         EXPECT_CALL(*linked, ScanByType(StrEq("StaticSet"), _, 3)).WillOnce(::testing::Return(E_OUTOFMEMORY));
         s->AddLinkedSet(linked);
         linked->Release();
         return s;
       },
       E_FAIL, 2},
      {"no static set",
       [enforcing] {
         Feature* s = Feature::Create("x", loadFacets);
         s->AddScanResult("ComputedLoad", enforcing);
         Feature* linked = Feature::Create("linked", VOKHost::FacetScan);
         s->AddLinkedSet(linked);
         linked->Release();
         return s;
       },
       E_FAIL, 2},
      {"fewer amplitudes than load sets",
       [] { return VOKHost::EnforcedLoadSet::Create("fine", {1}, Field(5)); }, E_FAIL, 0, 'a'},
      {"fewer modulations than load sets",
       [] { return VOKHost::EnforcedLoadSet::Create("fine", {1}, Field(5)); }, E_FAIL, 0, 'm'},
      {"fewer phases than load sets",
       [] { return VOKHost::EnforcedLoadSet::Create("fine", {1}, Field(5)); }, E_FAIL, 0, 'p'},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    VOKBaseUnknown* third = c.make();
    {
      Lists l;
      l.Add(set1, modA, 2.0f, 0.5f);
      l.Add(set3, modB, 3.0f, 1.5f);
      l.Add(third, modA, 4.0f, 2.5f);
      if (c.shortList == 'a') l.amplitudes.RemovePosition(3);
      if (c.shortList == 'm') l.modulations.RemovePosition(3);
      if (c.shortList == 'p') l.phases.RemovePosition(3);
      const Lists before = l;
      VOKListValVOKISpecObject_var statics;
      EXPECT_HR(c.expected, Tools().FilterForEnforcedDisp(l.loads, l.modulations, l.amplitudes, l.phases, statics));
      EXPECT_TRUE(l == before) << "the four lists are unchanged";
      EXPECT_EQ(statics.Size(), c.newStatics) << "the static sets of the sets kept before stay";
    }
    EXPECT_EQ(third->RefCount(), 1) << "nothing held on the failing set";
    ::testing::Mock::VerifyAndClearExpectations(third);
    third->Release();
  }
  enforcing->Release();
}

TEST_F(EnforcedDisp, FilterTakesTheFirstLinkedObjectThatYieldsAStaticSet) {
  using VOKHost::Feature;
  Feature* set = Feature::Create("set", VOKHost::FacetSpecObject | VOKHost::FacetScan | VOKHost::FacetAnalysisSet);
  VOKHost::RecordedFeature* computed = VOKHost::RecordedFeature::Create("computed", VOKHost::FacetSpecObject);
  computed->SetRecord("SMSPC", {4.0, 5.0});
  set->AddScanResult("ComputedLoad", computed);
  Feature* empty = Feature::Create("no static set", VOKHost::FacetScan);
  Feature* first = Feature::Create("first", VOKHost::FacetScan);
  Feature* staticA = Feature::Create("static A", VOKHost::FacetSpecObject);
  Feature* staticB = Feature::Create("static B", VOKHost::FacetSpecObject);
  first->AddScanResult("StaticSet", staticA);
  first->AddScanResult("StaticSet", staticB);
  auto* later = new NiceMock<MockLoadSet>(VOKHost::FacetScan);
  later->AddScanResult("StaticSet", staticB);
  EXPECT_CALL(*later, ScanByType).Times(0);
  set->AddLinkedSet(empty);
  set->AddLinkedSet(first);
  set->AddLinkedSet(later);

  Lists l;
  l.Add(set, modA, 1.0f, 0.0f);
  VOKListValVOKISpecObject_var statics;
  EXPECT_HR(S_OK, Tools().FilterForEnforcedDisp(l.loads, l.modulations, l.amplitudes, l.phases, statics));
  ASSERT_EQ(statics.Size(), 1);
  EXPECT_EQ(statics[1].Get(), AsFeature(staticA));
  statics = VOKListValVOKISpecObject_var();
  l = Lists();
  for (VOKBaseUnknown* c : std::vector<VOKBaseUnknown*>{empty, first, later, staticA, staticB, computed}) {
    EXPECT_EQ(c->RefCount(), c == staticB ? 3 : 2) << "only the model's own references remain";
  }
  for (VOKBaseUnknown* c : std::vector<VOKBaseUnknown*>{set, empty, first, later, staticA, staticB, computed})
    c->Release();
}

// ------------------------------------------------------ complex, one frequency

TEST_F(EnforcedDisp, ComplexAtZeroFrequencyAsksNothingEvenUninitialised) {
  auto* never = new VOKDYNExcitationTools;
  VOKMathComplex* none = nullptr;
  EXPECT_HR(S_OK, never->AddEnforcedDispExcit(0.0, 0, none));
  EXPECT_HR(S_OK, never->AddEnforcedDispExcit(-0.0, kN, none));
  never->Release();

  UsualMix();
  EXPECT_CALL(*loads, GetLoadValues).Times(0);
  EXPECT_CALL(*modA, Evaluate).Times(0);
  std::vector<VOKMathComplex> out(kN, VOKMathComplex(1.0, -1.0));
  VOKMathComplex* values = out.data();
  EXPECT_HR(S_OK, Tools().AddEnforcedDispExcit(0.0, kN, values));
  for (const VOKMathComplex& v : out) {
    EXPECT_EQ(v.re, 1.0);
    EXPECT_EQ(v.im, -1.0);
  }
  EXPECT_EQ(VOKHost::SolverRecordReadCount(set1->StaticSet(), "DEPL").data, 0);
}

TEST_F(EnforcedDisp, ComplexAddsEachKeptSetByTheFormulaBitForBit) {
  VOKHost::EnforcedLoadSet* set4 = VOKHost::EnforcedLoadSet::Create("set 4", {2}, Field(4));
  struct Case {
    const char* what;
    bool phases;
  };
  for (const Case& c : {Case{"with phases", true}, Case{"without phases: in phase", false}}) {
    SCOPED_TRACE(c.what);
    UsualMix();
    loads->Add(set4, nullptr, 3.0f, 1.0f);  // kept, no modulation: contributes nothing
    loads->withPhases = c.phases;
    for (double f : {3.5, -0.75, 250.0}) {
      SCOPED_TRACE(f);
      std::vector<VOKMathComplex> out;
      for (int p = 0; p < kN; ++p) out.emplace_back(0.25 * p - 1.0, 2.0 - 0.5 * p);
      const std::vector<VOKMathComplex> initial = out;
      ON_CALL(*modB, Evaluate).WillByDefault([&](double x) {
        for (int p = 0; p < kN; ++p) EXPECT_TRUE(SameBits(out[p].im, initial[p].im)) << "touched early";
        return FactorB(x);
      });
      VOKMathComplex* values = out.data();
      EXPECT_HR(S_OK, Tools().AddEnforcedDispExcit(f, kN, values));
      const Expected c1 = ExpectedCoefficient(f, FactorA(f), 2.0f, c.phases ? 0.5f : 0.0f);
      const Expected c3 = ExpectedCoefficient(f, FactorB(f), -1.25f, c.phases ? 2.5f : 0.0f);
      const std::vector<double> d1 = Field(1), d3 = Field(3);
      for (int p = 0; p < kN; ++p) {
        const double re = (0.0 + c1.re * d1[p]) + c3.re * d3[p];
        const double im = (0.0 + c1.im * d1[p]) + c3.im * d3[p];
        EXPECT_TRUE(SameBits(out[p].re, initial[p].re + re)) << "p " << p;
        EXPECT_TRUE(SameBits(out[p].im, initial[p].im + im)) << "p " << p;
      }
      ON_CALL(*modB, Evaluate).WillByDefault(FactorB);
    }
  }
  loads->entries.clear();
  set4->Release();
}

TEST_F(EnforcedDisp, RecordsOfAnotherLengthThanTheCallersVectorAreRefused) {
  // Set 3's record is one value longer than the caller's vector: never
  // written past the buffer, refused. What set 1 added stays in the real
  // overload; the complex one touches the caller's array only at the end.
  set3->StaticSet()->SetRecord("DEPL", Field(3, kN + 1));
  UsualMix();
  std::vector<double> out(kN, 0.5);
  double coefs[2] = {1.5, -2.0};
  EXPECT_HR(E_FAIL, Tools().AddEnforcedDispExcit(0.0, kN, out.data(), coefs));
  const std::vector<double> d1 = Field(1);
  for (int p = 0; p < kN; ++p) EXPECT_TRUE(SameBits(out[p], 0.5 + d1[p] * 1.5)) << "p " << p;

  std::vector<VOKMathComplex> complexOut(kN, VOKMathComplex(0.5, 0.5));
  VOKMathComplex* values = complexOut.data();
  EXPECT_HR(E_FAIL, Tools().AddEnforcedDispExcit(2.0, kN, values));
  for (const VOKMathComplex& v : complexOut) EXPECT_TRUE(v.re == 0.5 && v.im == 0.5);
  loads->entries.clear();
}

// -------------------------------------------------------- real, one vector

TEST_F(EnforcedDisp, RealAddsEachKeptSetWithItsCoefficient) {
  UsualMix();
  std::vector<double> out(kN);
  for (int p = 0; p < kN; ++p) out[p] = 0.1 * p - 0.3;
  const std::vector<double> initial = out;
  double coefs[2] = {0.75, -1.0 / 3.0};
  EXPECT_CALL(*modA, Evaluate).Times(0);
  EXPECT_HR(S_OK, Tools().AddEnforcedDispExcit(99.0, kN, out.data(), coefs));
  const std::vector<double> d1 = Field(1), d3 = Field(3);
  for (int p = 0; p < kN; ++p) {
    double expected = initial[p];
    expected += d1[p] * 0.75;
    expected += d3[p] * (-1.0 / 3.0);
    EXPECT_TRUE(SameBits(out[p], expected)) << "p " << p;
  }
  loads->entries.clear();
}

// ------------------------------------------------------ many frequencies

TEST_F(EnforcedDisp, MultiFrequencyFillsColumnsAndSkipsSetsWithoutModulation) {
  loads->Add(set1, modA, 2.0f, 0.5f);
  loads->Add(free2, modA, 7.0f, 1.0f);
  loads->Add(set3, nullptr, 9.0f, 1.0f);  // no modulation: its record is not even read
  VOKHost::EnforcedLoadSet* set4 = VOKHost::EnforcedLoadSet::Create("set 4", {2}, Field(4));
  loads->Add(set4, modB, -1.25f, 2.5f);
  const std::vector<int> dofs = {11, 0, 5};
  const std::vector<float> freqs = {4.0f, 0.0f, 0.5f};
  VOKRawCollint dofList = Ints(dofs);
  VOKRawCollfloat freqList = Floats(freqs);
  Table re(3, 3, 1.0), im(3, 3, -2.0);
  double** reRows = re.Get();
  double** imRows = im.Get();
  EXPECT_HR(S_OK, Tools().AddEnforcedDispExcit(-5, dofList, freqList, reRows, imRows));
  EXPECT_EQ(VOKHost::SolverRecordReadCount(set3->StaticSet(), "DEPL").data, 0);
  EXPECT_EQ(VOKHost::SolverRecordReadCount(set1->StaticSet(), "DEPL").data, 1);
  EXPECT_EQ(VOKHost::SolverRecordReadCount(set4->StaticSet(), "DEPL").data, 1);

  const std::vector<double> d1 = Field(1), d4 = Field(4);
  for (int r = 0; r < 3; ++r)
    for (int t = 0; t < 3; ++t) {
      const double f = static_cast<double>(freqs[t]);
      const Expected c1 = ExpectedCoefficient(f, FactorA(f), 2.0f, 0.5f);
      const Expected c4 = ExpectedCoefficient(f, FactorB(f), -1.25f, 2.5f);
      const double expRe = (1.0 + c1.re * d1[dofs[r]]) + c4.re * d4[dofs[r]];
      const double expIm = (-2.0 + c1.im * d1[dofs[r]]) + c4.im * d4[dofs[r]];
      EXPECT_TRUE(SameBits(re.rows[r][t], expRe)) << "r " << r << " t " << t;
      EXPECT_TRUE(SameBits(im.rows[r][t], expIm)) << "r " << r << " t " << t;
      if (t == 1) {
        EXPECT_TRUE(re.rows[r][t] == 1.0 && im.rows[r][t] == -2.0) << "f = 0 adds nothing";
      }
    }
  loads->entries.clear();
  set4->Release();
}

// ------------------------------------------------------------ time steps

TEST_F(EnforcedDisp, TimeStepsReadEachRecordOnceAndStopAtAnInconsistentStep) {
  UsualMix();
  const std::vector<int> dofs = {3, 10};
  VOKRawCollint dofList = Ints(dofs);
  const std::vector<double> d1 = Field(1), d3 = Field(3);
  struct Case {
    const char* what;
    std::vector<std::vector<double>> steps;
    int T;
    long expected;
    int columnsAdded;
    int recordReads;  // per static set
  };
  const Case cases[] = {
      {"four steps", {{1.0, 2.0}, {-0.5, 0.25}, {3.0, -1.0}, {0.0, 0.125}}, 4, S_OK, 4, 1},
      {"step 2 gives three values", {{1.0, 2.0}, {-0.5, 0.25}, {3.0, -1.0, 4.0}, {0.0, 0.125}}, 4, E_FAIL, 2, 1},
      {"step 0 gives one value", {{1.0}, {-0.5, 0.25}}, 2, E_FAIL, 0, 0},
      {"no step", {}, 0, S_OK, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    VOKHost::ResetSolverRecordReadCounts();
    VOKHost::GeneralizedDisplacement* gd = VOKHost::GeneralizedDisplacement::Create("gd");
    for (const auto& row : c.steps) gd->AddStep(row);
    VOKRawCollfloat steps;
    for (int t = 0; t < c.T; ++t) steps.Append(0.01f * t);
    Table out(2, std::max(c.T, 1), -0.5);
    double** rows = out.Get();
    VOKISpecObject* gdObject = AsFeature(gd);
    EXPECT_HR(c.expected, Tools().AddEnforcedDispExcit(0, dofList, steps, gdObject, rows));
    for (int r = 0; r < 2; ++r)
      for (int t = 0; t < c.T; ++t) {
        double expected = -0.5;
        if (t < c.columnsAdded) {
          expected += d1[dofs[r]] * c.steps[t][0];
          expected += d3[dofs[r]] * c.steps[t][1];
        }
        EXPECT_TRUE(SameBits(out.rows[r][t], expected)) << "r " << r << " t " << t;
      }
    EXPECT_EQ(VOKHost::SolverRecordReadCount(set1->StaticSet(), "DEPL").data, c.recordReads);
    EXPECT_EQ(VOKHost::SolverRecordReadCount(set3->StaticSet(), "DEPL").data, c.recordReads);
    EXPECT_EQ(VOKHost::SolverRecordReadCount(set1->StaticSet(), "DEPL").sizes, 1) << "N_D asked once";
    EXPECT_EQ(gd->RefCount(), 1);
    gd->Release();
  }
  loads->entries.clear();
}

// ------------------------------------------- preconditions and early exits

TEST_F(EnforcedDisp, PreconditionsAndLoadDataFailuresAddNothing) {
  VOKHost::Feature* notScan = VOKHost::Feature::Create("not a scan", VOKHost::FacetSpecObject);
  struct Case {
    const char* what;
    std::function<void(EnforcedDisp&)> setUp;
    int n;
    bool uninitialised;
    long single;  // real and complex overloads
    long tables;  // multi-frequency and time-step overloads (kNotConcerned: not called)
  };
  const long kNotConcerned = 0x7FFF;
  const Case cases[] = {
      {"n = 0", nullptr, 0, false, E_FAIL, kNotConcerned},
      {"negative n", nullptr, -1, false, E_FAIL, kNotConcerned},
      {"never initialised", nullptr, kN, true, E_FAIL, E_FAIL},
      {"load values fail with their own code", [](EnforcedDisp& t) { t.loads->valuesResult = E_OUTOFMEMORY; },
       kN, false, E_OUTOFMEMORY, E_OUTOFMEMORY},
      {"the filter's code", [notScan](EnforcedDisp& t) { t.loads->Add(notScan, t.modA, 1.0f, 0.0f); }, kN,
       false, E_UNEXPECTED, E_UNEXPECTED},
      {"no enforcing load set", [](EnforcedDisp& t) { t.loads->entries.pop_back(); }, kN,
       false, S_OK, S_OK},
      {"a static set that is no feature",
       [](EnforcedDisp& t) {
         VOKHost::Feature* plain = VOKHost::Feature::Create("plain", 0);
         VOKHost::Feature* s = VOKHost::Feature::Create("s", VOKHost::FacetSpecObject | VOKHost::FacetScan |
                                                                   VOKHost::FacetAnalysisSet);
         VOKHost::Feature* linked = VOKHost::Feature::Create("l", VOKHost::FacetScan);
         linked->AddScanResult("StaticSet", plain);
         s->AddScanResult("ComputedLoad", t.set1->ComputedLoad());
         s->AddLinkedSet(linked);
         t.loads->entries.clear();
         t.loads->Add(s, t.modA, 1.0f, 0.0f);
         for (VOKBaseUnknown* c : std::vector<VOKBaseUnknown*>{linked, s, plain}) c->Release();
       },
       kN, false, E_FAIL, E_FAIL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (tools) tools->Release();
    tools = nullptr;
    loads->valuesResult = S_OK;
    loads->entries.clear();
    loads->Add(free2, modB, 1.0f, 0.0f);
    loads->Add(set1, modA, 2.0f, 0.5f);
    if (c.setUp) c.setUp(*this);
    VOKDYNExcitationTools* object = c.uninitialised ? new VOKDYNExcitationTools : &Tools();
    if (c.uninitialised) EXPECT_CALL(*loads, GetLoadValues).Times(0);

    std::vector<double> out(kN, 3.0);
    double coefs[2] = {1.0, 1.0};
    EXPECT_HR(c.single, object->AddEnforcedDispExcit(0.0, c.n, out.data(), coefs));
    for (double v : out) EXPECT_EQ(v, 3.0);
    std::vector<VOKMathComplex> complexOut(kN, VOKMathComplex(3.0, 3.0));
    VOKMathComplex* values = complexOut.data();
    EXPECT_HR(c.single, object->AddEnforcedDispExcit(1.0, c.n, values));
    for (const VOKMathComplex& v : complexOut) EXPECT_TRUE(v.re == 3.0 && v.im == 3.0);

    if (c.tables == kNotConcerned) {
      if (c.uninitialised) object->Release();
      continue;
    }
    VOKRawCollint dofs = Ints({1});
    VOKRawCollfloat freqs = Floats({1.0f});
    Table re(1, 1, 3.0), im(1, 1, 3.0);
    double** reRows = re.Get();
    double** imRows = im.Get();
    EXPECT_HR(c.tables, object->AddEnforcedDispExcit(0, dofs, freqs, reRows, imRows));
    EXPECT_TRUE(re.rows[0][0] == 3.0 && im.rows[0][0] == 3.0);
    VOKHost::GeneralizedDisplacement* gd = VOKHost::GeneralizedDisplacement::Create("gd");
    gd->AddStep({1.0});
    VOKISpecObject* gdObject = AsFeature(gd);
    EXPECT_HR(c.tables, object->AddEnforcedDispExcit(0, dofs, freqs, gdObject, reRows));
    EXPECT_EQ(re.rows[0][0], 3.0);
    gd->Release();
    if (c.uninitialised) object->Release();
    ::testing::Mock::VerifyAndClearExpectations(loads);
  }
  loads->entries.clear();
  notScan->Release();
}

TEST_F(EnforcedDisp, NullCallerArraysAndPositionsBeyondTheRecordsAreRefused) {
  UsualMix();
  VOKDYNExcitationTools& object = Tools();
  EXPECT_CALL(*loads, GetLoadValues).Times(0);
  double coefs[2] = {1.0, 1.0};
  std::vector<double> out(kN, 0.0);
  EXPECT_HR(E_FAIL, object.AddEnforcedDispExcit(0.0, kN, nullptr, coefs));
  EXPECT_HR(E_FAIL, object.AddEnforcedDispExcit(0.0, kN, out.data(), nullptr));
  VOKMathComplex* none = nullptr;
  EXPECT_HR(E_FAIL, object.AddEnforcedDispExcit(1.0, kN, none));
  VOKRawCollint dofs = Ints({0});
  VOKRawCollfloat freqs = Floats({1.0f});
  Table table(1, 1, 7.0);
  double** rows = table.Get();
  double** noTable = nullptr;
  double* nullRow[1] = {nullptr};
  double** withNullRow = nullRow;
  EXPECT_HR(E_FAIL, object.AddEnforcedDispExcit(0, dofs, freqs, noTable, rows));
  EXPECT_HR(E_FAIL, object.AddEnforcedDispExcit(0, dofs, freqs, rows, withNullRow));
  EXPECT_HR(E_FAIL, object.AddEnforcedDispExcit(0, dofs, freqs, rows, noTable));
  VOKHost::GeneralizedDisplacement* gd = VOKHost::GeneralizedDisplacement::Create("gd");
  gd->AddStep({1.0, 1.0});
  VOKISpecObject* gdObject = AsFeature(gd);
  VOKISpecObject* noGd = nullptr;
  EXPECT_HR(E_FAIL, object.AddEnforcedDispExcit(0, dofs, freqs, noGd, rows));
  EXPECT_HR(E_FAIL, object.AddEnforcedDispExcit(0, dofs, freqs, gdObject, withNullRow));
  ::testing::Mock::VerifyAndClearExpectations(loads);

  // A position beyond the records: refused before anything is added.
  VOKRawCollint beyond = Ints({kN});
  EXPECT_HR(E_FAIL, object.AddEnforcedDispExcit(0, beyond, freqs, rows, rows));
  EXPECT_HR(E_FAIL, object.AddEnforcedDispExcit(0, beyond, freqs, gdObject, rows));
  EXPECT_EQ(table.rows[0][0], 7.0);
  // An object that gives no generalized displacement.
  VOKHost::Feature* plain = VOKHost::Feature::Create("plain", VOKHost::FacetSpecObject);
  VOKISpecObject* plainObject = AsFeature(plain);
  EXPECT_HR(E_FAIL, object.AddEnforcedDispExcit(0, dofs, freqs, plainObject, rows));
  EXPECT_EQ(table.rows[0][0], 7.0);
  plain->Release();
  gd->Release();
  loads->entries.clear();
}


}  // namespace
