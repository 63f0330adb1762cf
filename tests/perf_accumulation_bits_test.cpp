// The complex single-frequency rigid-body and enforced-displacement
// contributions sum every direction (load set) in one pass over tiles of
// degrees of freedom. Per element the sums must be exactly those of the
// pass-per-source loop: zero-started work sums, each source in order adding
// its imaginary then its real product, then the sums added to the caller's
// array. The straightforward loop is written out here and compared bit for
// bit, on lengths that end inside a tile, span several tiles, or are a
// single tile exactly.
#include <cmath>
#include <string>
#include <vector>

#include "VOKHostResponses.h"
#include "VOKHostSolverRecords.h"
#include "VOKTestSupport.h"
#include "responses_fakes.h"

namespace {

using namespace responses;

double FactorA(double f) { return 1.0 + 0.25 * f; }
double FactorB(double f) { return 2.0 - 0.125 * f * f; }

std::vector<double> Source(int iSeed, int iN) {
  std::vector<double> v(static_cast<std::size_t>(iN));
  for (int p = 0; p < iN; ++p)
    v[static_cast<std::size_t>(p)] = std::sin(0.37 * p + 1.3 * iSeed + 0.1) * (iSeed + 0.5) * (p % 7 == 3 ? 1e-9 : 1.0);
  return v;
}

std::vector<VOKMathComplex> Initial(int iN) {
  std::vector<VOKMathComplex> out;
  for (int p = 0; p < iN; ++p) out.emplace_back(std::cos(0.11 * p) * 3.0, -0.5 + 1e-3 * p);
  return out;
}

// One term of the straightforward loop: a source and its coefficient.
struct Term {
  const double* source;
  Expected c;
};

// The pass-per-source loop: whole-length work sums, one pass per term.
std::vector<VOKMathComplex> Straightforward(const std::vector<Term>& iTerms, std::vector<VOKMathComplex> iOut) {
  const std::size_t n = iOut.size();
  std::vector<double> imag(n, 0.0), real(n, 0.0);
  for (const Term& t : iTerms)
    for (std::size_t p = 0; p < n; ++p) {
      imag[p] += t.c.im * t.source[p];
      real[p] += t.c.re * t.source[p];
    }
  for (std::size_t p = 0; p < n; ++p) {
    iOut[p].re += real[p];
    iOut[p].im += imag[p];
  }
  return iOut;
}

void ExpectSameBits(const std::vector<VOKMathComplex>& iExpected, const std::vector<VOKMathComplex>& iActual) {
  ASSERT_EQ(iExpected.size(), iActual.size());
  int mismatches = 0;
  for (std::size_t p = 0; p < iExpected.size(); ++p)
    if (!SameBits(iExpected[p].re, iActual[p].re) || !SameBits(iExpected[p].im, iActual[p].im)) {
      if (++mismatches <= 3) ADD_FAILURE() << "position " << p;
    }
  EXPECT_EQ(mismatches, 0);
}

const int kLengths[] = {1, 7, 255, 256, 257, 1031};
const double kFrequencies[] = {12.5, 0.3, -4.0};

class AccumulationBits : public VOKTest {
 protected:
  void SetUp() override {
    VOKTest::SetUp();
    VOKHost::ResetSolverRecordReadCounts();
    modA = FakeModulation::Create(FactorA);
    modB = FakeModulation::Create(FactorB);
    notModulation = NewNotAModulation();
  }
  void TearDown() override {
    for (VOKBaseUnknown* c : std::vector<VOKBaseUnknown*>{notModulation, modB, modA}) c->Release();
    VOKTest::TearDown();
  }
  NiceMock<FakeModulation>* modA = nullptr;
  NiceMock<FakeModulation>* modB = nullptr;
  VOKHost::Feature* notModulation = nullptr;
};

TEST_F(AccumulationBits, RigidDirectionsInOnePassEqualThePassPerDirectionLoop) {
  // Six answering directions, one repeated, and one that is no modulation
  // (it adds nothing and fails the call).
  struct Dir {
    int d;
    bool a;  // modulation A, else B
    float amplitude, phase;
  };
  const Dir dirs[] = {{1, true, 2.5f, 0.7f},   {5, false, -0.75f, -1.2f}, {3, true, 1.0f, 0.0f},
                      {2, false, 3.25f, 2.9f}, {6, true, -1.5f, 1.1f},    {1, false, 0.125f, -3.0f}};
  for (bool withFailing : {false, true})
    for (int n : kLengths) {
      SCOPED_TRACE("n = " + std::to_string(n) + (withFailing ? ", with a direction that is no modulation" : ""));
      auto* provider = new NiceMock<FakeProvider>();
      provider->n = n;
      for (int d = 1; d <= 6; ++d) {
        const std::vector<double> block = Source(d, n);
        provider->modes.insert(provider->modes.end(), block.begin(), block.end());
      }
      auto* base = new NiceMock<FakeBaseTools>(provider);
      auto* restraint = new NiceMock<FakeRestraint>();
      for (std::size_t i = 0; i < 6; ++i) {
        restraint->Add(dirs[i].d, dirs[i].amplitude, dirs[i].phase, dirs[i].a ? static_cast<VOKBaseUnknown*>(modA) : modB);
        if (withFailing && i == 2) restraint->Add(4, 9.0f, 0.5f, notModulation);
      }
      VOKDYNExcitationTools* tools = NewToolsForResult({restraint}, base);

      for (double f : kFrequencies) {
        SCOPED_TRACE("f = " + std::to_string(f));
        std::vector<Term> terms;
        for (const Dir& dir : dirs)
          terms.push_back(Term{provider->modes.data() + static_cast<std::size_t>(dir.d - 1) * n,
                               ExpectedCoefficient(f, dir.a ? FactorA(f) : FactorB(f), dir.amplitude, dir.phase)});
        std::vector<VOKMathComplex> out = Initial(n);
        const std::vector<VOKMathComplex> expected = Straightforward(terms, out);
        VOKMathComplex* values = out.data();
        EXPECT_HR(withFailing ? E_FAIL : S_OK, tools->AddRigidExcit(f, n, values));
        ExpectSameBits(expected, out);
      }
      tools->Release();
      for (VOKBaseUnknown* c : std::vector<VOKBaseUnknown*>{restraint, base, provider}) c->Release();
    }
}

TEST_F(AccumulationBits, EnforcedLoadSetsInOnePassEqualThePassPerSetLoop) {
  // Four enforcing load sets, one set that enforces nothing (it is filtered
  // out), and optionally a set whose modulation does not answer (its record
  // is read but it adds nothing; the call still succeeds).
  for (bool withSilent : {false, true})
    for (int n : kLengths) {
      SCOPED_TRACE("n = " + std::to_string(n) + (withSilent ? ", with a set whose modulation does not answer" : ""));
      VOKHost::ResetSolverRecordReadCounts();
      struct Set {
        VOKHost::EnforcedLoadSet* set;
        std::vector<double> field;
        bool a;
        float amplitude, phase;
      };
      std::vector<Set> sets;
      for (int j = 1; j <= 4; ++j) {
        std::vector<double> field = Source(10 + j, n);
        sets.push_back(Set{VOKHost::EnforcedLoadSet::Create("set " + std::to_string(j), {0}, field), field,
                           j % 2 == 1, 0.75f * j - 2.0f, 0.9f * j - 1.7f});
      }
      VOKHost::EnforcedLoadSet* idle = VOKHost::EnforcedLoadSet::Create("idle", {}, Source(20, n));
      VOKHost::EnforcedLoadSet* silent = VOKHost::EnforcedLoadSet::Create("silent", {0}, Source(21, n));

      auto* base = new NiceMock<FakeBaseTools>(nullptr);
      auto* loads = new NiceMock<FakeLoadExcitation>();
      for (std::size_t j = 0; j < sets.size(); ++j) {
        loads->Add(sets[j].set, sets[j].a ? static_cast<VOKBaseUnknown*>(modA) : modB, sets[j].amplitude, sets[j].phase);
        if (j == 1) loads->Add(idle, modA, 5.0f, 0.25f);
        if (withSilent && j == 2) loads->Add(silent, notModulation, 4.0f, 0.5f);
      }
      VOKDYNExcitationTools* tools = NewToolsForResult({loads}, base);

      for (double f : kFrequencies) {
        SCOPED_TRACE("f = " + std::to_string(f));
        std::vector<Term> terms;
        for (const Set& s : sets)
          terms.push_back(Term{s.field.data(), ExpectedCoefficient(f, s.a ? FactorA(f) : FactorB(f), s.amplitude, s.phase)});
        std::vector<VOKMathComplex> out = Initial(n);
        const std::vector<VOKMathComplex> expected = Straightforward(terms, out);
        VOKMathComplex* values = out.data();
        EXPECT_HR(S_OK, tools->AddEnforcedDispExcit(f, n, values));
        ExpectSameBits(expected, out);
      }
      EXPECT_EQ(VOKHost::SolverRecordReadCount(silent->StaticSet(), "DEPL").data, withSilent ? 3 : 0)
          << "a set whose modulation does not answer is still read, once per call";

      tools->Release();
      loads->entries.clear();
      for (VOKBaseUnknown* c : std::vector<VOKBaseUnknown*>{loads, base, silent, idle}) c->Release();
      for (Set& s : sets) s.set->Release();
    }
}

}  // namespace
