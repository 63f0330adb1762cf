// The excitation tools object: meta-class, initialisations, types, and what a failure leaves.
#include <algorithm>
#include <functional>
#include <string>

#include "VOKHostResponses.h"
#include "VOKTestModels.h"
#include "VOKTestSupport.h"

namespace {

using namespace vok_test_models;
constexpr long kDistinct = VOKMakeResult(0x80040F01u);  // a code no step makes itself

VOKIDYNExcitation* X(VOKHost::ExcitationBase* iExcitation) { return iExcitation; }

// A small model: a base of two modes, two unit loads, modulations.
class ExcitationTools : public VOKTest {
 protected:
  void SetUp() override {
    VOKTest::SetUp();
    base = hold(ExactBase({{1.0, 2.0}, {-0.5, 0.25}}, {{{0.5, 1.0, 1.5, 2.0, 2.5, 3.0}}, {{-1.0, 0.0, 1.0, 0.0, -1.0, 0.5}}}));
    load0 = hold(UnitLoad(0));
    load1 = hold(UnitLoad(1));
    two = hold(VOKHost::Modulation::Constant("two", 2.0));
    half = hold(VOKHost::Modulation::Constant("half", 0.5));
  }
  void TearDown() override {
    hold.ReleaseAll();
    VOKTest::TearDown();
  }
  VOKHost::LoadExcitation* Loads(int iCount = 2) {
    VOKHost::LoadExcitation* lx = hold(VOKHost::LoadExcitation::Create("loads"));
    for (int k = 0; k < iCount; ++k) {
      // Named first: the sanitizer build mis-instruments a conditional converted to a virtual base.
      VOKHost::NodalLoad* load = k ? load1 : load0;
      VOKHost::Modulation* modulation = k ? half : two;
      lx->AddEntry(load, modulation, 1.0f + static_cast<float>(k), 0.5f * static_cast<float>(k));
    }
    return lx;
  }
  VOKHost::RestraintExcitation* Motion(std::initializer_list<int> iDirections) {
    VOKHost::RestraintExcitation* rx = hold(VOKHost::RestraintExcitation::Create("motion"));
    for (int d : iDirections) rx->AddDirection(d, 9.81f, 0.1f * static_cast<float>(d), two);
    return rx;
  }

  Holder hold;
  VOKHost::ModalBase* base = nullptr;
  VOKHost::NodalLoad* load0 = nullptr;
  VOKHost::NodalLoad* load1 = nullptr;
  VOKHost::Modulation* two = nullptr;
  VOKHost::Modulation* half = nullptr;
};

// --------------------------------------------------------------- meta-class

TEST_F(ExcitationTools, MetaClassIsRegisteredOnceByWhicheverOperationComesFirst) {
  ExpectMetaClassRegisteredOnce<VOKDYNExcitationTools>(
      "VOKDYNExcitationTools", "VOKDYNMeshServices", [] { return new VOKDYNExcitationTools; },
      {[] { (void)VOKDYNExcitationTools::MetaObject(); }, [] { (void)VOKDYNExcitationTools::ClassId(); },
       [] { (void)VOKDYNExcitationTools::ClassName(); }, [] { (void)Tools()->GetMetaObject(); },
       [] { (void)Tools()->IsA(); }, [] { (void)Tools()->IsAKindOf("VOKBaseUnknown"); }});
}

// ----------------------------------------------------------- initialisation

TEST_F(ExcitationTools, InitialisationReportsTheTypesAndTheAxisAndHoldsWhatItRead) {
  VOKHost::LoadExcitation* lx = Loads();
  {
    Tools tools;
    ExcitationType type = LoadExcitationType;
    unsigned char indicator = 7;
    EXPECT_HR(E_FAIL, tools->GetTypeOfExcitation(type, indicator)) << "before any initialisation";
    EXPECT_EQ(type, LoadExcitationType) << "untouched";
    EXPECT_EQ(indicator, 7);
  }
  struct Row {
    const char* what;
    std::vector<int> directions;  // none: no restraint excitation in the list
    bool axis, forResult;
    ExcitationType type;
    unsigned char indicator;
  };
  const Row rows[] = {
      {"translation only, no axis", {3}, false, false, RestraintExcitationType, 0},
      {"translation only, axis", {1, 3}, true, false, RestraintExcitationType, 1},
      {"rotation, no axis", {2, 5}, false, false, RestraintExcitationType, 0},
      {"rotation, axis", {4}, true, false, RestraintExcitationType, 1},
      {"loads alone: no axis", {}, false, false, LoadExcitationType, 0},
      {"for results: no restraint is read", {2}, true, true, RestraintExcitationType, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    VOKHost::RestraintExcitation* rx = hold(VOKHost::RestraintExcitation::Create("motion"));
    for (int d : row.directions) rx->AddDirection(d, 1.0f, 0.0f, two);
    if (row.axis) {
      const double o[3] = {1, 1, 1}, x[3] = {0, 1, 0}, y[3] = {0, 0, 1}, z[3] = {1, 0, 0};
      rx->SetAxis(VOKMathAxis(o, x, y, z));
    }
    const VOKListValVOKBaseUnknown_var list = row.directions.empty() ? List({X(lx)}) : List({X(lx), X(rx)});
    const long lxRefs = lx->RefCount(), rxRefs = rx->RefCount(), baseRefs = base->RefCount();
    const long twoRefs = two->RefCount();
    {
      Tools tools;
      ExcitationType first = UndefinedExcitationType;
      ASSERT_HR(S_OK, row.forResult ? tools->InitializeForResult(list, base, first)
                                    : tools->Initialize(list, base, first, DYNDefaultDomain));
      EXPECT_EQ(first, LoadExcitationType);
      ExcitationType type = UndefinedExcitationType;
      unsigned char indicator = 9;
      EXPECT_HR(S_OK, tools->GetTypeOfExcitation(type, indicator));
      EXPECT_EQ(type, row.type);
      EXPECT_EQ(indicator, row.indicator);
      // The excitations and the base tools are held; for results, no modulation.
      EXPECT_EQ(lx->RefCount(), lxRefs + 1);
      EXPECT_EQ(rx->RefCount(), rxRefs + (row.directions.empty() ? 0 : 1));
      EXPECT_EQ(base->RefCount(), baseRefs + 1);
      if (row.forResult) {
        EXPECT_EQ(two->RefCount(), twoRefs);
      }
    }
    EXPECT_EQ(lx->RefCount(), lxRefs);
    EXPECT_EQ(rx->RefCount(), rxRefs);
    EXPECT_EQ(base->RefCount(), baseRefs);
    EXPECT_EQ(two->RefCount(), twoRefs) << "every modulation held is released";
  }
}

// ------------------------------------------------------------------ failures

// A failed initialisation leaves the object refusing evaluation.
void ExpectNotInitialised(VOKDYNExcitationTools* iTools) {
  VOKMathComplex* values = nullptr;
  EXPECT_HR(E_FAIL, iTools->GetExcitValues(1.0, values));
  EXPECT_EQ(values, nullptr);
}

TEST_F(ExcitationTools, ListSizesMustAgreePerDomain) {
  using L = VOKHost::ExcitationList;
  // L::Loads stands for the excitation's own list: loads, or restraint directions.
  struct Row {
    const char* what;
    L shortList;
    long result, timeResult;
    L alsoShort = L::None;
  };
  const Row rows[] = {
      {"one phase short: phases unused in time", L::Phases, E_FAIL, S_OK},
      {"one amplitude short", L::Amplitudes, E_FAIL, E_FAIL},
      {"one modulation short", L::Modulations, E_FAIL, E_FAIL},
      {"one entry short", L::Loads, E_FAIL, E_FAIL},
      {"one entry and one modulation short: amplitudes count too", L::Loads, E_FAIL, E_FAIL, L::Modulations},
  };
  for (const Row& row : rows)
    for (bool restraint : {false, true})
      for (DYNAnalysisDomain domain : {DYNDefaultDomain, DYNTimeDomain}) {
        SCOPED_TRACE(std::string(row.what) + (restraint ? ", motion" : ", loads") +
                     (domain == DYNTimeDomain ? ", time domain" : ""));
        const long result = domain == DYNTimeDomain ? row.timeResult : row.result;
        VOKHost::ExcitationBase* x = restraint ? static_cast<VOKHost::ExcitationBase*>(Motion({1, 5}))
                                               : static_cast<VOKHost::ExcitationBase*>(Loads());
        for (L list : {row.shortList, row.alsoShort})
          if (list != L::None) x->SetShortList(list == L::Loads && restraint ? L::Directions : list);
        Tools tools;
        ExcitationType first = UndefinedExcitationType;
        EXPECT_HR(result, tools->Initialize(List({X(x)}), base, first, domain));
        if (FAILED(result)) {
          EXPECT_EQ(first, UndefinedExcitationType) << "written on success only";
          ExpectNotInitialised(tools.p);
        } else {
          VOKMathComplex* values = nullptr;
          EXPECT_HR(S_OK, tools->GetExcitValues(1.0, values));
          delete[] values;
        }
      }
}

TEST_F(ExcitationTools, EachFailingStepGivesItsCode) {
  // A host that works but says no; the host's own failures (a type or values query failing) are
  // the fault harness's.
  using Answer = VOKHost::ModalBase::VectorsAnswer;
  struct Row {
    const char* what;
    std::function<VOKListValVOKBaseUnknown_var()> list;
    long result;
    bool forResult = false;  // InitializeForResult instead of Initialize
    Answer answer = Answer::Computed;
    int dofs = 2;  // what GetNbDof answers; 2: the base's own count
  };
  VOKHost::Feature* plain = hold(VOKHost::Feature::Create("plain", VOKHost::FacetSpecObject));
  VOKBaseUnknown* plainObject = plain;
  auto axis = [](double iYx) {
    const double o[3] = {0, 0, 0}, x[3] = {1, 0, 0}, y[3] = {iYx, iYx == 2.0 ? 0.0 : 1.0, 0}, z[3] = {0, 0, 1};
    return VOKMathAxis(o, x, y, z);
  };
  auto withAxis = [&](VOKHost::RestraintExcitation* iRx, double iYx) {
    iRx->SetAxis(axis(iYx));
    return List({X(iRx)});
  };
  // A list of loads (or motion) told to answer wrongly by iSpoil.
  using Spoil = std::function<void(VOKHost::ExcitationBase*)>;
  auto spoilt = [&](bool iMotion, Spoil iSpoil) {
    return [&, iMotion, iSpoil] {
      VOKHost::ExcitationBase* x = nullptr;
      if (iMotion) x = Motion({1});
      else x = Loads();
      iSpoil(x);
      return List({X(x)});
    };
  };
  auto reports = [](ExcitationType iType) {
    return [iType](VOKHost::ExcitationBase* x) { x->SetReportedType(iType); };
  };
  const Row rows[] = {
      {"null element", [&] { return List({X(Loads()), nullptr}); }, E_FAIL},
      {"element that is no excitation", [&] { return List({plainObject}); }, E_FAIL},
      {"type neither load nor restraint", spoilt(false, reports(UndefinedExcitationType)), E_FAIL},
      {"restraint type but no restraint interface", spoilt(false, reports(RestraintExcitationType)), E_FAIL},
      {"direction 7", [&] { return List({X(Motion({1, 7}))}); }, E_FAIL},
      {"direction 0", [&] { return List({X(Motion({0}))}); }, E_FAIL},
      {"degenerate axis, translation only: vectors refused", [&] { return withAxis(Motion({2}), 2.0); }, E_FAIL},
      {"degenerate axis, rotation: the check's code", [&] { return withAxis(Motion({4}), 2.0); }, E_FAIL},
      {"rigid vectors on an axis without a table", [&] { return withAxis(Motion({2}), 0.0); },
       E_FAIL, false, Answer::SuccessNoTable},
      {"rigid vectors on an axis fail with a table (freed)", [&] { return withAxis(Motion({2}), 0.0); },
       E_FAIL, false, Answer::FailureWithTable},
      {"rigid vectors without a table: refused when building", [&] { return List({X(Motion({2}))}); },
       E_FAIL, false, Answer::SuccessNoTable},
      {"rigid vectors fail with a table: their code is not looked at", [&] { return List({X(Motion({2}))}); },
       S_OK, false, Answer::FailureWithTable},
      {"load vectors without a table", [&] { return List({X(Loads())}); }, E_FAIL, false, Answer::SuccessNoTable},
      {"load vectors fail with a table (freed)", [&] { return List({X(Loads())}); },
       E_FAIL, false, Answer::FailureWithTable},
      {"no degree of freedom", [&] { return List({X(Loads())}); }, E_FAIL, false, Answer::Computed, 0},
      {"a negative count of degrees of freedom", [&] { return List({X(Loads())}); },
       E_FAIL, false, Answer::Computed, -1},
      {"a second load excitation", [&] { return List({X(Loads()), X(Loads(1))}); }, E_FAIL},
      {"a second restraint excitation", [&] { return List({X(Motion({1})), X(Loads()), X(Motion({2}))}); }, E_FAIL},
      {"for results: a second restraint excitation", [&] { return List({X(Motion({1})), X(Motion({2}))}); },
       E_FAIL, true},
      {"for results: a second load excitation", [&] { return List({X(Loads()), X(Motion({3})), X(Loads(1))}); },
       E_FAIL, true},
      {"for results: type query of the second fails", [&] {
         auto* rx = Motion({1});
         rx->SetTypeResult(kDistinct);
         return List({X(Loads()), X(rx)});
       }, kDistinct, true},
      {"for results: load type, no load interface", spoilt(true, reports(LoadExcitationType)), E_FAIL, true},
      {"for results: undefined type", spoilt(true, reports(UndefinedExcitationType)), E_FAIL, true},
      {"for results: element that is no excitation", [&] { return List({plainObject}); }, E_FAIL, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    base->SetVectorsAnswer(row.answer);
    base->SetDofCountAnswer(row.dofs);
    Tools tools;
    ExcitationType first = UndefinedExcitationType;
    EXPECT_HR(row.result, row.forResult ? tools->InitializeForResult(row.list(), base, first)
                                        : tools->Initialize(row.list(), base, first, DYNDefaultDomain));
    if (FAILED(row.result)) {
      EXPECT_EQ(first, UndefinedExcitationType);
      ExpectNotInitialised(tools.p);
    }
  }
  base->SetVectorsAnswer(Answer::Computed);
  base->SetDofCountAnswer(2);
}

TEST_F(ExcitationTools, NotAModulationFreesTheTableUntilTheNextInitialisation) {
  VOKHost::Feature* plain = hold(VOKHost::Feature::Create("not a modulation", VOKHost::FacetSpecObject));
  VOKHost::RestraintExcitation* rx = Motion({2});  // modulation "two"
  VOKHost::LoadExcitation* bad = hold(VOKHost::LoadExcitation::Create("bad"));
  bad->AddEntry(load0, half, 1.0f, 0.0f);
  bad->AddEntry(load1, plain, 1.0f, 0.0f);
  Tools tools;
  const long twoRefs = two->RefCount(), halfRefs = half->RefCount();
  const int live = VOKBaseUnknown::LiveCount();
  ExcitationType first = UndefinedExcitationType;
  EXPECT_HR(E_FAIL, tools->Initialize(List({X(rx), X(bad)}), base, first, DYNDefaultDomain));
  EXPECT_EQ(first, UndefinedExcitationType);
  ExpectNotInitialised(tools.p);
  // The modulations appended before the failure stay held.
  EXPECT_EQ(two->RefCount(), twoRefs + 1);
  EXPECT_EQ(half->RefCount(), halfRefs + 1);
  ExcitationType type = UndefinedExcitationType;
  unsigned char indicator = 9;
  EXPECT_HR(S_OK, tools->GetTypeOfExcitation(type, indicator)) << "the types read so far";
  EXPECT_EQ(type, RestraintExcitationType);

  // The next initialisation drops all of it and works again.
  VOKHost::LoadExcitation* good = Loads();  // holds "two" and "half" once each
  ASSERT_HR(S_OK, tools->Initialize(List({X(good)}), base, first, DYNDefaultDomain));
  EXPECT_EQ(two->RefCount(), twoRefs + 2) << "held anew for the good excitation only";
  EXPECT_EQ(half->RefCount(), halfRefs + 2);
  EXPECT_EQ(VOKBaseUnknown::LiveCount(), live + 1) << "only the good excitation is new";
  VOKMathComplex* values = nullptr;
  EXPECT_HR(S_OK, tools->GetExcitValues(0.0, values));
  delete[] values;
}

TEST_F(ExcitationTools, EmptyListKeepsWhatWasHeldButRefusesEvaluation) {
  VOKHost::LoadExcitation* lx = Loads();
  Tools tools;
  ExcitationType first = UndefinedExcitationType;
  ASSERT_HR(S_OK, tools->Initialize(List({X(lx)}), base, first, DYNDefaultDomain));
  const long baseRefs = base->RefCount(), twoRefs = two->RefCount(), lxRefs = lx->RefCount();

  struct Row {
    const char* what;
    std::function<long(ExcitationType&)> call;
  };
  const Row rows[] = {
      {"empty list", [&](ExcitationType& t) { return tools->Initialize(VOKListValVOKBaseUnknown_var(), base, t, DYNTimeDomain); }},
      {"null base tools", [&](ExcitationType& t) { return tools->Initialize(List({X(lx)}), nullptr, t, DYNDefaultDomain); }},
      {"empty list, for results", [&](ExcitationType& t) { return tools->InitializeForResult(VOKListValVOKBaseUnknown_var(), base, t); }},
      {"null base tools, for results", [&](ExcitationType& t) { return tools->InitializeForResult(List({X(lx)}), nullptr, t); }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ExcitationType untouched = RestraintExcitationType;
    EXPECT_HR(E_FAIL, row.call(untouched));
    EXPECT_EQ(untouched, RestraintExcitationType);
    ExpectNotInitialised(tools.p);
    EXPECT_EQ(base->RefCount(), baseRefs) << "still held";
    EXPECT_EQ(two->RefCount(), twoRefs);
    EXPECT_EQ(lx->RefCount(), lxRefs);
    ExcitationType type = UndefinedExcitationType;
    unsigned char indicator = 9;
    EXPECT_HR(S_OK, tools->GetTypeOfExcitation(type, indicator));
    EXPECT_EQ(type, LoadExcitationType);
  }
  // The time domain of the refused call was never applied: phases still turn.
  ASSERT_HR(S_OK, tools->Initialize(List({X(lx)}), base, first, DYNDefaultDomain));
  VOKMathComplex* values = nullptr;
  ASSERT_HR(S_OK, tools->GetExcitValues(0.0, values));
  EXPECT_NE(values[0].im, 0.0);
  delete[] values;
}

TEST_F(ExcitationTools, AnotherInitialisationLeavesNothingOfTheEarlierOne) {
  // Every kind of thing held: an enforcing set, motion with and without an axis, a second base.
  VOKHost::EnforcedLoadSet* set = hold(VOKHost::EnforcedLoadSet::Create("set", {2}, std::vector<double>(12, 0.25)));
  set->SetGeneralisedForce({0.5, -1.5});
  VOKHost::LoadExcitation* lx = Loads();
  lx->AddEntry(set, half, 3.0f, 1.25f);
  VOKHost::RestraintExcitation* axisMotion = Motion({2, 4});
  const double o[3] = {1, 0, 0}, x[3] = {1, 1, 0}, y[3] = {0, 1, 0}, z[3] = {0, 0, 1};
  axisMotion->SetAxis(VOKMathAxis(o, x, y, z));
  VOKHost::RestraintExcitation* plainMotion = Motion({1, 6});
  VOKHost::ModalBase* other = hold(ExactBase({{3.0, 4.0}, {-1.0, 0.5}}, {{{1, 2, 3, 4, 5, 6}}, {{6, 5, 4, 3, 2, 1}}}));
  VOKHost::Feature* plain = hold(VOKHost::Feature::Create("no excitation", VOKHost::FacetSpecObject));
  const std::vector<VOKBaseUnknown*> counted = {X(lx), X(axisMotion), X(plainMotion), base, other, two, half};

  // Everything an object shows as numbers: the imaginary parts of the values at 0.5 and 3.0, the
  // results, type and axis, the contributions over 12 DOFs, the real parts, what it may hold.
  auto observe = [&](VOKDYNExcitationTools* iTools) {
    ExcitationType type = UndefinedExcitationType;
    unsigned char axis = 9;
    VOKMathComplex v[4] = {VOKMathComplex(-1, -1), VOKMathComplex(-1, -1), VOKMathComplex(-1, -1),
                           VOKMathComplex(-1, -1)};
    VOKMathComplex added[24];
    VOKMathComplex *at05 = v, *at3 = v + 2, *rigid = added, *enforced = added + 12;
    const long results[] = {iTools->GetTypeOfExcitation(type, axis), iTools->GetExcitValues(0.5, at05),
                            iTools->GetExcitValues(3.0, at3),         iTools->AddRigidExcit(2.0, 12, rigid),
                            iTools->AddEnforcedDispExcit(2.0, 12, enforced), type, axis};
    std::vector<double> seen = {v[0].im, v[1].im, v[2].im, v[3].im};
    for (long r : results) seen.push_back(static_cast<double>(r));
    for (const VOKMathComplex& c : added) seen.insert(seen.end(), {c.re, c.im});
    for (const VOKMathComplex& c : v) seen.push_back(c.re);
    for (VOKBaseUnknown* c : counted) seen.push_back(static_cast<double>(c->RefCount()));
    return seen;
  };
  // Initialize by default (0), in time (1), in neither domain (3); InitializeForResult (2).
  struct Init {
    std::vector<VOKBaseUnknown*> list;
    VOKHost::ModalBase* tools;
    int kind;
  };
  auto run = [](VOKDYNExcitationTools* iTools, const Init& iInit) {
    VOKListValVOKBaseUnknown_var list;
    for (VOKBaseUnknown* e : iInit.list) list.Append(VOKBaseUnknown_var(e));
    ExcitationType first = UndefinedExcitationType;
    const DYNAnalysisDomain domain = iInit.kind == 0 ? DYNDefaultDomain : static_cast<DYNAnalysisDomain>(iInit.kind);
    return iInit.kind == 2 ? iTools->InitializeForResult(list, iInit.tools, first)
                           : iTools->Initialize(list, iInit.tools, first, domain);
  };
  const struct {
    const char* what;
    Init first, second;
    long secondResult;
  } rows[] = {
      {"second members, then for results", {{X(lx), X(axisMotion)}, base, 0}, {{X(lx)}, other, 2}, S_OK},
      {"for results, then second members", {{X(lx), X(plainMotion)}, base, 2}, {{X(axisMotion)}, other, 0}, S_OK},
      {"an axis, then none", {{X(axisMotion)}, base, 0}, {{X(lx), X(plainMotion)}, base, 0}, S_OK},
      {"an axis, then for results without reading it", {{X(axisMotion)}, base, 0}, {{X(axisMotion)}, base, 2}, S_OK},
      {"loads and motion, then loads on another base", {{X(plainMotion), X(lx)}, base, 0}, {{X(lx)}, other, 0}, S_OK},
      {"time domain, then the default domain: still real", {{X(lx)}, base, 1}, {{X(lx), X(axisMotion)}, base, 0},
       S_OK},
      {"time domain, then another domain: still real", {{X(axisMotion)}, base, 1}, {{X(lx)}, base, 3}, S_OK},
      {"a domain that is neither: phases turn", {{X(lx)}, base, 3}, {{X(lx)}, other, 0}, S_OK},
      {"for results, then a refused list", {{X(lx), X(axisMotion)}, base, 2}, {{X(lx), plain}, other, 0}, E_FAIL},
      {"second members, then a refused list", {{X(lx), X(plainMotion)}, base, 0},
       {{X(plainMotion), X(plainMotion)}, other, 2}, E_FAIL},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    // A fresh object given the second alone shows the same; an earlier time domain keeps it real.
    Init second = row.second;
    if (row.first.kind == 1 && second.kind != 2) second.kind = 1;
    std::vector<double> after, fresh;
    {
      Tools tools;
      ASSERT_HR(S_OK, run(tools.p, row.first));
      EXPECT_HR(row.secondResult, run(tools.p, row.second));
      after = observe(tools.p);
    }
    {
      Tools alone;
      EXPECT_HR(row.secondResult, run(alone.p, second));
      fresh = observe(alone.p);
    }
    EXPECT_TRUE(std::equal(after.begin(), after.end(), fresh.begin(), fresh.end(), SameBits));
    // Values of the time domain are real; those of any other turn by the phases (when evaluated).
    const bool real = std::all_of(after.begin(), after.begin() + 4, [](double v) { return SameBits(v, 0.0); });
    const bool evaluated = after[5] == 0.0 && after[6] == 0.0;
    if (evaluated) {
      EXPECT_EQ(real, second.kind == 1);
    }
  }
}

}  // namespace
