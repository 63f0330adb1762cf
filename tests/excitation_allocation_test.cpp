// Every allocation of each excitation operation failed in turn: E_FAIL (or a named fatal error), no
// exception, no leak, and a failed initialisation leaves the object ready for the next.
#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "VOKFailingAllocator.h"
#include "VOKHostResponses.h"
#include "VOKTestModels.h"
#include "VOKTestSupport.h"

namespace {

using namespace vok_test_models;
constexpr int kN = 12;

// Support motion in two directions; nodal loads mixed with two enforcing sets and an idle one.
struct Model {
  Model() {
    base = h(VOKHost::ModalBase::Create(TwoNodeBase()));
    VOKHost::Modulation* unit = h(VOKHost::Modulation::Constant("unit", 1.0));
    VOKHost::Modulation* ramp = h(VOKHost::Modulation::Create("ramp", {{0.0, 0.0}, {10.0, 2.0}}));
    motion = h(VOKHost::RestraintExcitation::Create("supports"));
    motion->AddDirection(1, 3.0f, 0.0f, unit);
    motion->AddDirection(6, 0.5f, 0.25f, ramp);
    loads = h(VOKHost::LoadExcitation::Create("loads"));
    for (int j = 1; j <= 3; ++j) {
      VOKHost::NodalLoad* push = h(VOKHost::NodalLoad::Create("push"));
      push->AddNodalValues(20, {1, 0, 0, 0, 0, 0});
      loads->AddEntry(push, ramp, 2.0f, 0.5f);
      std::vector<double> d(kN, 0.125 * j);
      loads->AddEntry(h(VOKHost::EnforcedLoadSet::Create("set", j == 2 ? std::vector<int>{} : std::vector<int>{j}, d)),
                      unit, 1.0f + static_cast<float>(j), 0.5f);
    }
    gd = h(VOKHost::GeneralizedDisplacement::Create("transient"));
    gd->AddStep({1.0, 2.0});
    gd->AddStep({-1.0, 0.5});
  }
  Holder h;
  VOKHost::ModalBase* base;
  VOKHost::RestraintExcitation* motion;
  VOKHost::LoadExcitation* loads;
  VOKHost::GeneralizedDisplacement* gd;
};

class ExcitationAllocation : public VOKTest {
 protected:
  void TearDown() override {
    vok_test::FailAllocation(0);
    VOKTest::TearDown();
  }
};

TEST_F(ExcitationAllocation, EveryFailedAllocationGivesAResultAndLeaksNothing) {
  Model model;
  const VOKListValVOKBaseUnknown_var both = List({Unknown(model.loads), Unknown(model.motion)});
  // Each row: preparation (not counted), then the operation whose allocations fail in turn.
  struct Row {
    std::string operation;
    std::function<long(VOKDYNExcitationTools&)> prepare;
    std::function<long(VOKDYNExcitationTools&)> run;
    std::function<void()> cleanup = [] {};
    std::function<bool()> intactOnFailure = [] { return true; };  // the caller's inputs after a failure
  };
  auto none = [](VOKDYNExcitationTools&) { return S_OK; };
  auto forResult = [&](VOKDYNExcitationTools& t) {
    ExcitationType first;
    return t.InitializeForResult(both, model.base, first);
  };
  auto initialize = [&](VOKDYNExcitationTools& t) {
    ExcitationType first;
    return t.Initialize(both, model.base, first, DYNDefaultDomain);
  };
  // The caller's arrays are made before the operation, outside the count.
  std::vector<double> real(kN, 0.0);
  std::vector<VOKMathComplex> complex(kN * 3);
  CallerTable re(2, 2), im(2, 2);
  VOKRawCollint dofs, components;
  dofs.Append(2);
  dofs.Append(8);
  components.Append(0);
  components.Append(5);
  VOKRawCollfloat columns;
  columns.Append(1.0f);
  columns.Append(2.0f);
  const double abscissae[3] = {1.0, 2.0, 3.0};
  double coefs[2] = {1.0, 2.0};
  VOKISpecObject* g = AsFeature(Unknown(model.gd));
  VOKMathComplex* cv = complex.data();
  double** pr = re.Rows();
  double** pi = im.Rows();
  // The filter's lists, read from the load excitation before the count.
  VOKListValVOKISpecObject_var fl, fm, fs;
  VOKRawCollfloat fa, fp;
  auto clearLists = [&] {
    fl.RemoveAll();
    fm.RemoveAll();
    fs.RemoveAll();
    fa.RemoveAll();
    fp.RemoveAll();
  };
  const std::vector<Row> rows = {
      {"Initialize", none, initialize},
      {"Initialize, time domain", none,
       [&](VOKDYNExcitationTools& t) {
         ExcitationType first;
         return t.Initialize(both, model.base, first, DYNTimeDomain);
       }},
      {"InitializeForResult", none, forResult},
      {"GetExcitValues into a new array", initialize,
       [&](VOKDYNExcitationTools& t) {
         VOKMathComplex* values = nullptr;
         const long hr = t.GetExcitValues(2.0, values);
         delete[] values;
         return hr;
       }},
      {"GetExcitValues batched", initialize, [&](VOKDYNExcitationTools& t) { return t.GetExcitValues(3, abscissae, complex.data()); }},
      {"AddRigidExcit real", forResult, [&](VOKDYNExcitationTools& t) { return t.AddRigidExcit(0.0, kN, real.data(), coefs); }},
      {"AddRigidExcit complex", forResult, [&](VOKDYNExcitationTools& t) { return t.AddRigidExcit(2.0, kN, cv); }},
      {"AddRigidExcit node", forResult,
       [&](VOKDYNExcitationTools& t) { return t.AddRigidExcit(20, components, columns, pr, pi); }},
      {"AddRigidExcit steps", forResult, [&](VOKDYNExcitationTools& t) { return t.AddRigidExcit(0, dofs, columns, g, pr); }},
      {"FilterForEnforcedDisp",
       [&](VOKDYNExcitationTools& t) {
         const long hr = forResult(t);
         return FAILED(hr) ? hr : model.loads->GetLoadValues(fl, fm, fa, fp);
       },
       [&](VOKDYNExcitationTools& t) { return t.FilterForEnforcedDisp(fl, fm, fa, fp, fs); }, clearLists,
       [&] { return fl.Size() == 6 && fm.Size() == 6 && fa.Size() == 6 && fp.Size() == 6; }},
      {"AddEnforcedDispExcit real", forResult,
       [&](VOKDYNExcitationTools& t) { return t.AddEnforcedDispExcit(0.0, kN, real.data(), coefs); }},
      {"AddEnforcedDispExcit complex", forResult,
       [&](VOKDYNExcitationTools& t) { return t.AddEnforcedDispExcit(2.0, kN, cv); }},
      {"AddEnforcedDispExcit frequencies", forResult,
       [&](VOKDYNExcitationTools& t) { return t.AddEnforcedDispExcit(0, dofs, columns, pr, pi); }},
      {"AddEnforcedDispExcit steps", forResult,
       [&](VOKDYNExcitationTools& t) { return t.AddEnforcedDispExcit(0, dofs, columns, g, pr); }},
  };
  // The fatal checks of the work arrays name them.
  const std::set<std::string> fatalNames = {"AssertionFailed:pDepl", "AssertionFailed:pDeplImag",
                                            "AssertionFailed:pDeplReal"};
  // The initialisations take the list by value: the caller's copy is not the operation's.
  vok_test::FailAllocation(0);
  { VOKListValVOKBaseUnknown_var copy = both; }
  const long listCopy = vok_test::AllocationsSinceArming();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.operation);
    const long skipped = row.operation.rfind("Initialize", 0) == 0 ? listCopy : 0;
    std::set<std::string> fatalSeen;
    // Fatal errors are noted without allocating, so that live blocks compare.
    struct Fatal {
      int count = 0;
      char message[64] = {};
    } fatal;
    ScopedFatalCapture restoreAtEnd;
    VOKHost::SetFatalErrorHandler([&fatal](const VOKHost::FatalError& e) {
      ++fatal.count;
      std::snprintf(fatal.message, sizeof fatal.message, "%s", e.message.c_str());
    });
    // A first run unarmed: what is made once per program is made now.
    for (long k = 0;; k = k == 0 ? skipped + 1 : k + 1) {
      SCOPED_TRACE("allocation " + std::to_string(k));
      fatal.count = 0;
      long hr = S_OK;
      bool reached = false;
      const long blocks = vok_test::LiveBlocks();
      {
        VOKDYNExcitationTools* tools = new VOKDYNExcitationTools;
        ASSERT_HR(S_OK, row.prepare(*tools));
        vok_test::FailAllocation(k);
        try {
          hr = row.run(*tools);
        } catch (...) {
          vok_test::FailAllocation(0);
          tools->Release();
          FAIL() << "an exception left the operation";
        }
        reached = k > 0 && vok_test::AllocationsSinceArming() >= k;
        vok_test::FailAllocation(0);
        if (FAILED(hr)) {
          EXPECT_TRUE(row.intactOnFailure()) << "the caller's inputs changed";
        }
        if (reached && FAILED(hr) && row.operation.rfind("Initialize", 0) == 0) {
          // Not initialised, and initialised anew as if nothing had happened.
          VOKMathComplex* values = complex.data();
          EXPECT_HR(E_FAIL, tools->GetExcitValues(2.0, values));
          EXPECT_HR(S_OK, row.run(*tools));
        }
        tools->Release();
        row.cleanup();
      }
      // The unarmed first run may make what lives as long as the program.
      if (k > 0) {
        EXPECT_EQ(blocks, vok_test::LiveBlocks()) << "blocks left allocated";
      }
      if (!reached) {
        EXPECT_HR(S_OK, hr) << "the operation succeeds when no allocation fails";
        if (k > 0) break;
        continue;
      }
      EXPECT_TRUE(hr == S_OK || hr == E_FAIL) << VOKResultString(hr);
      EXPECT_LE(fatal.count, 1);
      if (fatal.count > 0) {
        EXPECT_EQ(fatalNames.count(fatal.message), 1u) << fatal.message;
        EXPECT_HR(E_FAIL, hr) << "after the fatal error " << fatal.message;
        fatalSeen.insert(fatal.message);
      }
    }
    // Each checked work array was failed once, and named.
    const std::map<std::string, std::set<std::string>> checked = {
        {"AddEnforcedDispExcit complex", fatalNames},
        {"AddRigidExcit complex", {"AssertionFailed:pDeplImag", "AssertionFailed:pDeplReal"}},
        {"AddEnforcedDispExcit frequencies", {"AssertionFailed:pDepl"}}};
    const auto expected = checked.find(row.operation);
    EXPECT_EQ(fatalSeen, expected == checked.end() ? std::set<std::string>{} : expected->second);
  }
}

}  // namespace
