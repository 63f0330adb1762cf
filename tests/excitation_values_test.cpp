// The excitation at an abscissa: sum of modulation x (cos phi + i sin phi) x member, to the bit.
#include <malloc.h>

#include <cmath>
#include <limits>
#include <string>
#include <utility>

#include "VOKTestModels.h"
#include "VOKTestSupport.h"

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer's record of a block's size (its header does not ship with every compiler).
extern "C" std::size_t __sanitizer_get_allocated_size(const volatile void* iBlock);
#endif

namespace {

using namespace vok_test_models;

// A second member: the base tools' vector, float amplitude and phase, modulation (null: none).
struct Member {
  std::vector<double> vector;
  float amplitude;
  float phase;
  VOKIDYNModulation* modulation;
};

// Formed independently: widened amplitude x vector, float cos/sin x modulation, in member order.
std::vector<VOKMathComplex> ExpectedValues(const std::vector<Member>& iMembers, double iAbscissa,
                                           std::size_t iN) {
  std::vector<VOKMathComplex> out(iN);
  for (const Member& m : iMembers) {
    std::vector<double> member(iN);
    for (std::size_t j = 0; j < iN; ++j) member[j] = static_cast<double>(m.amplitude) * m.vector[j];
    const double a = m.modulation ? m.modulation->Evaluate(iAbscissa) : 0.0;
    const double c = static_cast<double>(cosf(m.phase)) * a;
    const double s = static_cast<double>(sinf(m.phase)) * a;
    for (std::size_t j = 0; j < iN; ++j) {
      out[j].re += c * member[j];
      out[j].im += s * member[j];
    }
  }
  return out;
}

void ExpectSameBits(const VOKMathComplex* iActual, const std::vector<VOKMathComplex>& iExpected) {
  for (std::size_t j = 0; j < iExpected.size(); ++j) {
    EXPECT_TRUE(SameBits(iActual[j].re, iExpected[j].re)) << "real part of value " << j << ": " << iActual[j].re;
    EXPECT_TRUE(SameBits(iActual[j].im, iExpected[j].im)) << "imaginary part of value " << j << ": " << iActual[j].im;
  }
}

class ExcitationValues : public VOKTest {};

// Awkward values, so that a change of evaluation order shows in the last bits.
const std::vector<std::vector<double>> kLoads = {
    {0.1, 1.0 / 3.0, -2.7, 1e-3},
    {7.0 / 11.0, -0.3, 5.5, 3.141592653589793},
    {1.0, 2.0, 3.0, 4.0},
};
const std::vector<std::array<double, 6>> kGamma = {
    {0.25, -1.5, 0.7, 0.01, 2.0 / 3.0, -4.0},
    {1.1, 0.0, -0.2, 0.3, 0.9, 1.0 / 7.0},
    {-0.6, 2.2, 0.05, -1.0, 0.0, 0.125},
    {0.3, 0.3, 0.3, 0.3, 0.3, 0.3},
};

TEST_F(ExcitationValues, SumMatchesTheStatedFormulaToTheLastBitInEitherArray) {
  Holder hold;
  VOKHost::ModalBase* base = hold(ExactBase(kLoads, kGamma));
  VOKHost::Modulation* ramp = hold(VOKHost::Modulation::Create("ramp", {{0.0, 0.5}, {10.0, 3.25}}));
  VOKHost::Modulation* three = hold(VOKHost::Modulation::Constant("three", 3.0));
  VOKHost::Modulation* dip = hold(VOKHost::Modulation::Create("dip", {{1.0, 1.0}, {2.0, -0.7}, {4.0, 0.2}}));
  VOKHost::NodalLoad* loads[3] = {hold(UnitLoad(0)), hold(UnitLoad(1)), hold(UnitLoad(2))};
  const double inf = std::numeric_limits<double>::infinity();
  VOKHost::ModalBase* infinite = hold(ExactBase({}, {{{1.0, 0.0, 0.0, inf, 0.0, 0.0}}, {{2.0, 0.0, 0.0, 1.0, 0.0, 0.0}}}));

  struct Entry {
    int which;  // the load (0..2) or the direction (1..6)
    VOKHost::Modulation* modulation;
    float amplitude, phase;
  };
  struct Row {
    const char* what;
    std::vector<Entry> loads;      // empty: no load excitation
    std::vector<Entry> restraint;  // empty: no restraint excitation
    VOKHost::ModalBase* base = nullptr;  // null: the base of kLoads and kGamma
  };
  const float halfPi = static_cast<float>(M_PI / 2.0);
  const Row rows[] = {
      {"three loads, amplitudes 2, 0.5, 0", {{0, ramp, 2.0f, 0.3f}, {1, nullptr, 0.5f, -1.2f}, {2, three, 0.0f, 2.5f}}, {}},
      {"phase pi/2 stored as a float", {{2, three, 1.0f, halfPi}}, {}},
      {"loads then base motion", {{1, dip, 1.5f, 0.7f}, {0, ramp, -2.0f, 0.0f}},
       {{5, ramp, 9.81f, 0.4f}, {2, three, 0.25f, -2.0f}}},
      {"base motion only, all six directions", {},
       {{1, ramp, 1.0f, 0.1f}, {2, dip, 2.0f, 0.2f}, {3, three, 3.0f, 0.3f},
        {4, ramp, 4.0f, 0.4f}, {5, dip, 5.0f, 0.5f}, {6, three, 6.0f, 0.6f}}},
      // An unnamed direction is still a member, 0 x (0 x vector): an infinite vector shows it as NaN.
      {"an unnamed direction is a member of amplitude 0", {}, {{1, three, 1.0f, 0.0f}}, infinite},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    VOKHost::ModalBase* rowBase = row.base ? row.base : base;
    int n = 0;
    ASSERT_HR(S_OK, rowBase->GetNbDof(n));
    Holder rowHold;
    std::vector<Member> members;
    VOKListValVOKBaseUnknown_var list;
    if (!row.loads.empty()) {
      VOKHost::LoadExcitation* lx = rowHold(VOKHost::LoadExcitation::Create("loads"));
      for (const Entry& e : row.loads) {
        lx->AddEntry(loads[e.which], e.modulation, e.amplitude, e.phase);
        members.push_back({kLoads[static_cast<std::size_t>(e.which)], e.amplitude, e.phase, e.modulation});
      }
      list.Append(VOKBaseUnknown_var(Unknown(*lx)));
    }
    if (!row.restraint.empty()) {
      VOKHost::RestraintExcitation* rx = rowHold(VOKHost::RestraintExcitation::Create("motion"));
      double** rigid = nullptr;
      ASSERT_HR(S_OK, rowBase->ComputeRigidVectors(rigid));
      std::vector<std::vector<double>> vectors;
      for (int d = 0; d < 6; ++d) vectors.emplace_back(rigid[d], rigid[d] + n);
      for (int d = 0; d < 6; ++d) delete[] rigid[d];
      delete[] rigid;
      // Six members, one per direction; the ones not named stay empty.
      std::vector<Member> six;
      for (int d = 0; d < 6; ++d) six.push_back({vectors[static_cast<std::size_t>(d)], 0.0f, 0.0f, nullptr});
      for (const Entry& e : row.restraint) {
        rx->AddDirection(e.which, e.amplitude, e.phase, e.modulation);
        six[static_cast<std::size_t>(e.which - 1)] =
            Member{vectors[static_cast<std::size_t>(e.which - 1)], e.amplitude, e.phase, e.modulation};
      }
      members.insert(members.end(), six.begin(), six.end());
      list.Append(VOKBaseUnknown_var(Unknown(*rx)));
    }
    Tools tools;
    ExcitationType first = UndefinedExcitationType;
    ASSERT_HR(S_OK, tools->Initialize(list, rowBase, first, DYNDefaultDomain));
    // The caller's array, one element longer than N: cleared by each call, the extra one never touched.
    const std::size_t size = static_cast<std::size_t>(n);
    std::vector<VOKMathComplex> array(size + 1, VOKMathComplex(99.0, -99.0));
    for (double x : {0.0, 1.5, 2.75, 12.0}) {
      SCOPED_TRACE("abscissa " + std::to_string(x));
      const std::vector<VOKMathComplex> expected = ExpectedValues(members, x, size);
      VOKMathComplex* values = nullptr;
      ASSERT_HR(S_OK, tools->GetExcitValues(x, values));
      ASSERT_NE(values, nullptr);
      ExpectSameBits(values, expected);
#if defined(__SANITIZE_ADDRESS__)
      EXPECT_EQ(__sanitizer_get_allocated_size(values), size * sizeof(VOKMathComplex));
#else
      // A null pointer gets exactly N: malloc rounds a block up by less than one more element.
      EXPECT_GE(malloc_usable_size(values), size * sizeof(VOKMathComplex));
      EXPECT_LT(malloc_usable_size(values), (size + 1) * sizeof(VOKMathComplex));
#endif
      delete[] values;
      values = array.data();
      ASSERT_HR(S_OK, tools->GetExcitValues(x, values));
      EXPECT_EQ(values, array.data()) << "the caller's array is used";
      ExpectSameBits(values, expected);
      EXPECT_TRUE(array[size].re == 99.0 && array[size].im == -99.0) << "written past N";
    }
  }
}

// ------------------------------------------------------------ public path

// A stand-in modulation that writes down every evaluation: (its id, abscissa).
class RecordingModulation : public VOKHost::Modulation {
 public:
  static RecordingModulation* Create(int iId, std::vector<std::pair<int, double>>* iLog) {
    return new RecordingModulation(iId, iLog);
  }
  double Evaluate(double iAbscissa) override {
    _Log->push_back({_Id, iAbscissa});
    return Modulation::Evaluate(iAbscissa);
  }

 protected:
  RecordingModulation(int iId, std::vector<std::pair<int, double>>* iLog)
      : Modulation("recorded " + std::to_string(iId),
                   {{0.0, 0.75 + iId}, {10.0, -1.0 / (3.0 + iId)}, {40.0, 2.5}}),
        _Id(iId),
        _Log(iLog) {}

 private:
  int _Id;
  std::vector<std::pair<int, double>>* _Log;
};

TEST_F(ExcitationValues, BatchedRowsAreSingleEvaluationsToTheBitWithTheSameModulationCalls) {
  // 37 modes (no whole tile), five loads and six restraint directions; one load unmodulated.
  const int n = 37;
  // Values over many binary orders with both signs: another order of terms rounds differently.
  int seed = 0;
  auto next = [&seed] {
    ++seed;
    return std::sin(1.7 * seed) * std::pow(2.0, (seed * 37) % 60 - 30);
  };
  std::vector<std::vector<double>> loads(5, std::vector<double>(n));
  for (auto& l : loads)
    for (double& v : l) v = next();
  std::vector<std::array<double, 6>> gamma(n);
  for (auto& g : gamma)
    for (double& v : g) v = next();
  const std::vector<double> abscissae = {0.0, 2.5, 7.125, 10.0, 13.3, 39.0, 55.5};
  const int f = static_cast<int>(abscissae.size());

  for (DYNAnalysisDomain domain : {DYNDefaultDomain, DYNTimeDomain}) {
    SCOPED_TRACE(domain == DYNTimeDomain ? "time domain" : "phase domain");
    Holder hold;
    std::vector<std::pair<int, double>> log;
    VOKHost::ModalBase* base = hold(ExactBase(loads, gamma));
    VOKHost::LoadExcitation* lx = hold(VOKHost::LoadExcitation::Create("loads"));
    for (int k = 0; k < 5; ++k) {
      VOKBaseUnknown* modulation = k == 3 ? nullptr : hold(RecordingModulation::Create(k, &log));
      lx->AddEntry(hold(UnitLoad(k)), modulation, 1.5f - 0.25f * static_cast<float>(k),
                  0.3f * static_cast<float>(k) - 0.5f);
    }
    VOKHost::RestraintExcitation* rx = hold(VOKHost::RestraintExcitation::Create("base"));
    rx->AddDirection(2, 9.81f, 1.25f, hold(RecordingModulation::Create(10, &log)));
    rx->AddDirection(5, 0.5f, -2.0f, hold(RecordingModulation::Create(11, &log)));
    Tools tools;
    ExcitationType first = UndefinedExcitationType;
    ASSERT_HR(S_OK, tools->Initialize(List({Unknown(*lx), Unknown(*rx)}), base, first, domain));

    std::vector<VOKMathComplex> single(static_cast<std::size_t>(f) * n);
    log.clear();
    for (int k = 0; k < f; ++k) {
      VOKMathComplex* row = single.data() + static_cast<std::size_t>(k) * n;
      ASSERT_HR(S_OK, tools->GetExcitValues(abscissae[static_cast<std::size_t>(k)], row));
    }
    const std::vector<std::pair<int, double>> singleLog = log;

    std::vector<VOKMathComplex> batched(single.size() + 1);
    for (VOKMathComplex& v : batched) v.re = v.im = -7.0;
    log.clear();
    ASSERT_HR(S_OK, tools->GetExcitValues(f, abscissae.data(), batched.data()));

    for (std::size_t j = 0; j < single.size(); ++j) {
      SCOPED_TRACE("value " + std::to_string(j));
      EXPECT_TRUE(SameBits(single[j].re, batched[j].re));
      EXPECT_TRUE(SameBits(single[j].im, batched[j].im));
      if (domain == DYNTimeDomain) {
        EXPECT_TRUE(SameBits(0.0, batched[j].im));
      }
    }
    EXPECT_EQ(-7.0, batched.back().re) << "written past F x N";

    // Abscissa by abscissa, members in order, the unmodulated load never asked.
    std::vector<std::pair<int, double>> expectedLog;
    for (double x : abscissae)
      for (int id : {0, 1, 2, 4, 10, 11}) expectedLog.push_back({id, x});
    EXPECT_EQ(expectedLog, singleLog);
    EXPECT_EQ(expectedLog, log);
  }
}

TEST_F(ExcitationValues, EvaluationIsRefusedOrCutShortByTheBaseTools) {
  Holder hold;
  VOKHost::ModalBase* base = hold(ExactBase({{1.0, 2.0}}));
  VOKHost::LoadExcitation* lx = hold(VOKHost::LoadExcitation::Create("l"));
  lx->AddEntry(hold(UnitLoad(0)), hold(VOKHost::Modulation::Constant("one", 1.0)), 1.0f, 0.0f);
  const VOKListValVOKBaseUnknown_var list = List({Unknown(*lx)});
  const double abscissae[2] = {0.0, 1.0};
  constexpr long kDistinct = VOKMakeResult(0x80040F01u);
  enum Call { Single = 1, New = 2, Batched = 4, All = 7 };
  struct Row {
    const char* what;
    int init;         // 0 none, 1 Initialize, 2 InitializeForResult
    int dofAnswer;    // what GetNbDof answers at evaluation (S_OK); 99: the mode count
    bool nbDofFails;  // GetNbDof fails at evaluation with a distinctive code
    long hr;
    int calls;        // the calls the row makes
    int batch;        // the batched call's count of abscissae
    bool nullAbscissae, nullValues;
  };
  const Row rows[] = {
      {"never initialised", 0, 99, false, E_FAIL, All, 2, false, false},
      {"initialised for results only", 2, 99, false, E_FAIL, All, 2, false, false},
      {"GetNbDof fails: its code", 1, 99, true, kDistinct, All, 2, false, false},
      {"no degree of freedom: GetNbDof's success", 1, 0, false, S_OK, All, 2, false, false},
      {"a negative count of degrees of freedom", 1, -2, false, E_FAIL, All, 2, false, false},
      {"no abscissa", 1, 99, false, E_FAIL, Batched, 0, false, false},
      {"a negative count of abscissae", 1, 99, false, E_FAIL, Batched, -3, false, false},
      {"null abscissae", 1, 99, false, E_FAIL, Batched, 2, true, false},
      {"null values", 1, 99, false, E_FAIL, Batched, 2, false, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    base->SetDofCountAnswer(2);
    Tools tools;
    ExcitationType first = UndefinedExcitationType;
    if (row.init != 0) {
      ASSERT_HR(S_OK, row.init == 1 ? tools->Initialize(list, base, first, DYNDefaultDomain)
                                    : tools->InitializeForResult(list, base, first));
    }
    if (row.dofAnswer != 99) base->SetDofCountAnswer(row.dofAnswer);
    for (int call : {Single, New, Batched}) {
      if (!(row.calls & call)) continue;
      SCOPED_TRACE("call " + std::to_string(call));
      VOKMathComplex array[4];
      for (VOKMathComplex& v : array) v = VOKMathComplex(7.0, 8.0);
      VOKMathComplex* values = array;
      VOKMathComplex* none = nullptr;
      if (row.nbDofFails) VOKHost::FaultArm(1, kDistinct);
      const long hr = call == Single ? tools->GetExcitValues(0.0, values)
                      : call == New  ? tools->GetExcitValues(0.0, none)
                                     : tools->GetExcitValues(row.batch, row.nullAbscissae ? nullptr : abscissae,
                                                             row.nullValues ? nullptr : array);
      VOKHost::FaultDisarm();
      EXPECT_HR(row.hr, hr);
      EXPECT_EQ(values, array) << "the caller's pointer is not reassigned";
      EXPECT_EQ(none, nullptr) << "nothing allocated";
      for (const VOKMathComplex& v : array) EXPECT_TRUE(v.re == 7.0 && v.im == 8.0) << "untouched";
    }
  }
}

}  // namespace
