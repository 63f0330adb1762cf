// Work arrays that cannot be allocated: the rigid-body and enforced
// displacement operations report a fatal error naming the array, and when
// the fatal handler returns they give back E_FAIL, having released what they
// held and added nothing.
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "VOKHostResponses.h"
#include "VOKHostSolverRecords.h"
#include "VOKTestSupport.h"
#include "responses_fakes.h"

namespace {
// Which non-throwing array allocation fails, counted from the arming: 0 = none.
std::atomic<int> g_failAt{0};
std::atomic<int> g_seen{0};

void FailNthArrayAllocation(int iN) {
  g_seen = 0;
  g_failAt = iN;
}
}  // namespace

// The non-throwing array allocation of the whole test program. It fails on
// demand; otherwise it defers to the ordinary throwing allocation, so that a
// sanitizer's bookkeeping stays paired with delete[].
void* operator new[](std::size_t iSize, const std::nothrow_t&) noexcept {
  if (g_failAt > 0 && ++g_seen == g_failAt) {
    g_failAt = 0;
    return nullptr;
  }
  try {
    return ::operator new[](iSize);
  } catch (...) {
    return nullptr;
  }
}

namespace {

using namespace responses;

const char kFile[] = "VOKAnalysisDynamicResponse\\VOKDYNTools.m\\src\\VOKDYNExcitationTools";
constexpr int kN = 6;

class ResponsesFatal : public VOKTest {
 protected:
  void TearDown() override {
    g_failAt = 0;
    VOKTest::TearDown();
  }
};

std::vector<double> Ramp(int iCount, double iScale) {
  std::vector<double> v(static_cast<std::size_t>(iCount));
  for (int i = 0; i < iCount; ++i) v[static_cast<std::size_t>(i)] = iScale * (i + 1);
  return v;
}

TEST_F(ResponsesFatal, WorkArraysThatCannotBeAllocatedAreFatal) {
  // The rigid-body model.
  auto* provider = new NiceMock<FakeProvider>();
  provider->n = kN;
  provider->modes = Ramp(6 * kN, 0.5);
  auto* base = new NiceMock<FakeBaseTools>(provider);
  auto* restraint = new NiceMock<FakeRestraint>();
  auto* mod = FakeModulation::Create([](double) { return 1.0; });
  restraint->Add(1, 1.0f, 0.0f, mod);
  restraint->Add(4, 2.0f, 1.0f, mod);
  // The enforced-displacement model.
  auto* loads = new NiceMock<FakeLoadExcitation>();
  VOKHost::EnforcedLoadSet* set = VOKHost::EnforcedLoadSet::Create("set", {0}, Ramp(kN, 0.25));
  loads->Add(set, mod, 1.0f, 0.5f);
  VOKDYNExcitationTools* tools = NewToolsForResult({restraint, loads}, base);

  struct Case {
    const char* what;
    int failing;  // which array allocation of the call fails
    const char* message;
    std::function<long(bool& oUnchanged)> run;
  };
  auto rigidComplex = [tools](bool& unchanged) {
    std::vector<VOKMathComplex> out(kN, VOKMathComplex(1.0, 2.0));
    VOKMathComplex* values = out.data();
    const long hr = tools->AddRigidExcit(5.0, kN, values);
    unchanged = true;
    for (const VOKMathComplex& v : out) unchanged = unchanged && v.re == 1.0 && v.im == 2.0;
    return hr;
  };
  auto enforcedComplex = [tools](bool& unchanged) {
    std::vector<VOKMathComplex> out(kN, VOKMathComplex(1.0, 2.0));
    VOKMathComplex* values = out.data();
    const long hr = tools->AddEnforcedDispExcit(5.0, kN, values);
    unchanged = true;
    for (const VOKMathComplex& v : out) unchanged = unchanged && v.re == 1.0 && v.im == 2.0;
    return hr;
  };
  auto enforcedFrequencies = [tools](bool& unchanged) {
    VOKRawCollint dofs = Ints({3});
    VOKRawCollfloat freqs = Floats({2.0f});
    Table re(1, 1, 1.0), im(1, 1, 1.0);
    double** a = re.Get();
    double** b = im.Get();
    const long hr = tools->AddEnforcedDispExcit(0, dofs, freqs, a, b);
    unchanged = re.rows[0][0] == 1.0 && im.rows[0][0] == 1.0;
    return hr;
  };
  const Case cases[] = {
      {"rigid, first work array", 1, "AssertionFailed:pDeplImag", rigidComplex},
      {"rigid, second work array", 2, "AssertionFailed:pDeplReal", rigidComplex},
      {"enforced, displacement buffer", 1, "AssertionFailed:pDepl", enforcedComplex},
      {"enforced, first sum", 2, "AssertionFailed:pDeplImag", enforcedComplex},
      {"enforced, second sum", 3, "AssertionFailed:pDeplReal", enforcedComplex},
      {"enforced, many frequencies", 1, "AssertionFailed:pDepl", enforcedFrequencies},
  };
  std::vector<int> lines;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScopedFatalCapture fatal;
    bool unchanged = false;
    FailNthArrayAllocation(c.failing);
    const long hr = c.run(unchanged);
    EXPECT_EQ(g_failAt.load(), 0) << "the allocation was made";
    EXPECT_HR(E_FAIL, hr);
    EXPECT_TRUE(unchanged) << "nothing added";
    ASSERT_EQ(fatal.Errors().size(), 1u);
    EXPECT_EQ(fatal.Errors()[0].message, c.message);
    EXPECT_EQ(fatal.Errors()[0].file, kFile);
    EXPECT_GT(fatal.Errors()[0].line, 0);
    lines.push_back(fatal.Errors()[0].line);
    EXPECT_EQ(provider->RefCount(), 2) << "provider released";
    EXPECT_EQ(mod->RefCount(), 4) << "modulation released";
  }
  // Each check reports its own line.
  std::vector<int> sorted = lines;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(std::unique(sorted.begin(), sorted.end()) - sorted.begin(), 6);

  // Without failure the same calls succeed and report nothing.
  {
    ScopedFatalCapture fatal;
    bool unchanged = true;
    EXPECT_HR(S_OK, rigidComplex(unchanged));
    EXPECT_FALSE(unchanged);
    EXPECT_HR(S_OK, enforcedComplex(unchanged));
    EXPECT_FALSE(unchanged);
    EXPECT_HR(S_OK, enforcedFrequencies(unchanged));
    EXPECT_FALSE(unchanged);
    EXPECT_TRUE(fatal.Errors().empty());
  }
  tools->Release();
  loads->entries.clear();
  restraint->entries.clear();
  for (VOKBaseUnknown* c : std::vector<VOKBaseUnknown*>{set, loads, mod, restraint, base, provider}) c->Release();
}

TEST_F(ResponsesFatal, BuffersWithoutFatalCheckFailQuietly) {
  // The buffers of the real overload and the table entries of the time-step
  // overload are not fatal: the call fails with E_FAIL, what was added for
  // earlier steps stays.
  auto* base = new NiceMock<FakeBaseTools>(nullptr);
  auto* loads = new NiceMock<FakeLoadExcitation>();
  VOKHost::EnforcedLoadSet* set = VOKHost::EnforcedLoadSet::Create("set", {0}, Ramp(kN, 0.25));
  loads->Add(set, nullptr, 1.0f, 0.5f);
  VOKDYNExcitationTools* tools = NewToolsForResult({loads}, base);
  ScopedFatalCapture fatal;

  std::vector<double> out(kN, 1.0);
  double coef = 2.0;
  FailNthArrayAllocation(1);
  EXPECT_HR(E_FAIL, tools->AddEnforcedDispExcit(0.0, kN, out.data(), &coef));
  for (double v : out) EXPECT_EQ(v, 1.0);

  VOKHost::GeneralizedDisplacement* gd = VOKHost::GeneralizedDisplacement::Create("gd");
  gd->AddStep({1.0});
  VOKRawCollint dofs = Ints({2});
  VOKRawCollfloat steps = Floats({0.0f});
  Table table(1, 1, 1.0);
  double** rows = table.Get();
  VOKISpecObject* gdObject = VOKISpecObject_var(static_cast<VOKBaseUnknown*>(gd)).Get();
  FailNthArrayAllocation(1);
  EXPECT_HR(E_FAIL, tools->AddEnforcedDispExcit(0, dofs, steps, gdObject, rows));
  EXPECT_EQ(table.rows[0][0], 1.0);
  EXPECT_TRUE(fatal.Errors().empty());

  gd->Release();
  tools->Release();
  loads->entries.clear();
  for (VOKBaseUnknown* c : std::vector<VOKBaseUnknown*>{set, loads, base}) c->Release();
}

}  // namespace
