// The excitation tools object: meta-class, initialisations, types, and what a failure leaves.
#include <algorithm>
#include <cstdlib>
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
  // Each case in a fresh process: the child runs the program anew up to its case.
  const std::string style = GTEST_FLAG_GET(death_test_style);
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  struct Row {
    const char* first;
    std::function<void()> call;
  };
  const Row rows[] = {
      {"MetaObject", [] { (void)VOKDYNExcitationTools::MetaObject(); }},
      {"ClassId", [] { (void)VOKDYNExcitationTools::ClassId(); }},
      {"ClassName", [] { (void)VOKDYNExcitationTools::ClassName(); }},
      {"GetMetaObject", [] { (void)Tools()->GetMetaObject(); }},
      {"IsA", [] { (void)Tools()->IsA(); }},
      {"IsAKindOf", [] { (void)Tools()->IsAKindOf("VOKBaseUnknown"); }},
  };
  // In the child: nothing registered yet; the first operation registers, the rest find it.
  auto check = [](const std::function<void()>& iFirst) {
    bool ok = VOKMetaClassRetrieveCount("VOKDYNExcitationTools") == 0;
    iFirst();
    ok = ok && VOKMetaClassRetrieveCount("VOKDYNExcitationTools") == 1;
    VOKMetaClass* meta = VOKDYNExcitationTools::MetaObject();
    Tools t;
    ok = ok && t->GetMetaObject() == meta && &VOKDYNExcitationTools::ClassId() == &meta->GetClassId();
    ok = ok && std::string(t->IsA()) == "VOKDYNExcitationTools" &&
         std::string(VOKDYNExcitationTools::ClassName()) == "VOKDYNExcitationTools";
    ok = ok && t->IsAKindOf("VOKDYNExcitationTools") && t->IsAKindOf("VOKBaseUnknown") &&
         !t->IsAKindOf("VOKDYNDampingTools");
    ok = ok && meta->GetTypeOfClass() == 1 && meta->GetBaseMetaClass() == VOKBaseUnknown::MetaObject() &&
         std::string(meta->GetExtraName()) == "VOKNull" &&
         std::string(meta->GetFrameworkName()) == "VOKAnalysisDynamicResponse" &&
         meta->GetClassSize() == sizeof(VOKDYNExcitationTools);
    ok = ok && VOKMetaClassRetrieveCount("VOKDYNExcitationTools") == 1;
    std::exit(ok ? 0 : 1);
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.first);
    EXPECT_EXIT(check(row.call), ::testing::ExitedWithCode(0), "");
  }
  GTEST_FLAG_SET(death_test_style, style);
  EXPECT_EQ(VOKDYNExcitationTools::CreateItself(), nullptr);
}

// ----------------------------------------------------------- initialisation

TEST_F(ExcitationTools, LoadThenRestraintListReportsBothTypesAndTheAxis) {
  VOKHost::LoadExcitation* lx = Loads();
  struct Row {
    const char* what;
    std::vector<int> directions;  // none: no restraint excitation in the list
    bool axis;
    ExcitationType type;
    unsigned char indicator;
  };
  const Row rows[] = {
      {"translation only, no axis", {3}, false, RestraintExcitationType, 0},
      {"translation only, axis", {1, 3}, true, RestraintExcitationType, 1},
      {"rotation, no axis", {2, 5}, false, RestraintExcitationType, 0},
      {"rotation, axis", {4}, true, RestraintExcitationType, 1},
      {"loads alone: no axis", {}, false, LoadExcitationType, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    VOKHost::RestraintExcitation* rx = hold(VOKHost::RestraintExcitation::Create("motion"));
    for (int d : row.directions) rx->AddDirection(d, 1.0f, 0.0f, two);
    if (row.axis) {
      const double o[3] = {1, 1, 1}, x[3] = {0, 1, 0}, y[3] = {0, 0, 1}, z[3] = {1, 0, 0};
      rx->SetAxis(VOKMathAxis(o, x, y, z));
    }
    Tools tools;
    ExcitationType first = UndefinedExcitationType;
    const VOKListValVOKBaseUnknown_var list = row.directions.empty() ? List({X(lx)}) : List({X(lx), X(rx)});
    ASSERT_HR(S_OK, tools->Initialize(list, base, first, DYNDefaultDomain));
    EXPECT_EQ(first, LoadExcitationType);
    ExcitationType type = UndefinedExcitationType;
    unsigned char indicator = 9;
    EXPECT_HR(S_OK, tools->GetTypeOfExcitation(type, indicator));
    EXPECT_EQ(type, row.type);
    EXPECT_EQ(indicator, row.indicator);
  }
}

TEST_F(ExcitationTools, InitialisationForResultsHoldsTheExcitationsOnly) {
  VOKHost::LoadExcitation* lx = Loads();
  VOKHost::RestraintExcitation* rx = Motion({2});
  const long lxRefs = lx->RefCount(), rxRefs = rx->RefCount(), baseRefs = base->RefCount();
  const long twoRefs = two->RefCount();
  {
    Tools tools;
    ExcitationType first = UndefinedExcitationType, type = LoadExcitationType;
    unsigned char indicator = 7;
    EXPECT_HR(E_FAIL, tools->GetTypeOfExcitation(type, indicator)) << "before any initialisation";
    EXPECT_EQ(type, LoadExcitationType) << "untouched";
    EXPECT_EQ(indicator, 7);
    ASSERT_HR(S_OK, tools->InitializeForResult(List({X(lx), X(rx)}), base, first));
    EXPECT_EQ(first, LoadExcitationType);
    EXPECT_EQ(lx->RefCount(), lxRefs + 1) << "the load excitation is held";
    EXPECT_EQ(rx->RefCount(), rxRefs + 1) << "the restraint excitation is held";
    EXPECT_EQ(base->RefCount(), baseRefs + 1) << "the base tools are held";
    EXPECT_HR(S_OK, tools->GetTypeOfExcitation(type, indicator));
    EXPECT_EQ(type, RestraintExcitationType);
    EXPECT_EQ(indicator, 0) << "no restraint was read";
    EXPECT_EQ(two->RefCount(), twoRefs) << "no modulation is held";
  }
  EXPECT_EQ(lx->RefCount(), lxRefs);
  EXPECT_EQ(rx->RefCount(), rxRefs);
  EXPECT_EQ(base->RefCount(), baseRefs);
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
  // A host that works but says no; the host's own failures are the fault harness's.
  using Answer = VOKHost::ModalBase::VectorsAnswer;
  struct Row {
    const char* what;
    std::function<VOKListValVOKBaseUnknown_var()> list;
    Answer answer;
    int dofs;  // what GetNbDof answers; 2: the base's own count
    long result;
    bool forResult = false;  // InitializeForResult instead of Initialize
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
  auto typeResult = [](VOKHost::ExcitationBase* x) { x->SetTypeResult(kDistinct); };
  auto valuesResult = [](VOKHost::ExcitationBase* x) { x->SetValuesResult(kDistinct); };
  auto reports = [](ExcitationType iType) {
    return [iType](VOKHost::ExcitationBase* x) { x->SetReportedType(iType); };
  };
  const Row rows[] = {
      {"null element", [&] { return List({X(Loads()), nullptr}); }, Answer::Computed, 2, E_FAIL},
      {"element that is no excitation", [&] { return List({plainObject}); }, Answer::Computed, 2, E_FAIL},
      {"type query fails: its code", spoilt(false, typeResult), Answer::Computed, 2, kDistinct},
      {"type neither load nor restraint", spoilt(false, reports(UndefinedExcitationType)), Answer::Computed, 2,
       E_FAIL},
      {"restraint type but no restraint interface", spoilt(false, reports(RestraintExcitationType)),
       Answer::Computed, 2, E_FAIL},
      {"load values fail: their code", spoilt(false, valuesResult), Answer::Computed, 2, kDistinct},
      {"restraint values fail: E_FAIL", spoilt(true, valuesResult), Answer::Computed, 2, E_FAIL},
      {"direction 7", [&] { return List({X(Motion({1, 7}))}); }, Answer::Computed, 2, E_FAIL},
      {"direction 0", [&] { return List({X(Motion({0}))}); }, Answer::Computed, 2, E_FAIL},
      {"degenerate axis, translation only: vectors refused", [&] { return withAxis(Motion({2}), 2.0); },
       Answer::Computed, 2, E_FAIL},
      {"degenerate axis, rotation: the check's code", [&] { return withAxis(Motion({4}), 2.0); },
       Answer::Computed, 2, E_FAIL},
      {"rigid vectors on an axis without a table", [&] { return withAxis(Motion({2}), 0.0); },
       Answer::SuccessNoTable, 2, E_FAIL},
      {"rigid vectors on an axis fail with a table (freed)", [&] { return withAxis(Motion({2}), 0.0); },
       Answer::FailureWithTable, 2, E_FAIL},
      {"rigid vectors without a table: refused when building", [&] { return List({X(Motion({2}))}); },
       Answer::SuccessNoTable, 2, E_FAIL},
      {"rigid vectors fail with a table: their code is not looked at", [&] { return List({X(Motion({2}))}); },
       Answer::FailureWithTable, 2, S_OK},
      {"load vectors without a table", [&] { return List({X(Loads())}); }, Answer::SuccessNoTable, 2, E_FAIL},
      {"load vectors fail with a table (freed)", [&] { return List({X(Loads())}); }, Answer::FailureWithTable, 2,
       E_FAIL},
      {"no degree of freedom", [&] { return List({X(Loads())}); }, Answer::Computed, 0, E_FAIL},
      {"a negative count of degrees of freedom", [&] { return List({X(Loads())}); }, Answer::Computed, -1, E_FAIL},
      {"a second load excitation", [&] { return List({X(Loads()), X(Loads(1))}); }, Answer::Computed, 2, E_FAIL},
      {"a second restraint excitation", [&] { return List({X(Motion({1})), X(Loads()), X(Motion({2}))}); },
       Answer::Computed, 2, E_FAIL},
      {"for results: a second restraint excitation", [&] { return List({X(Motion({1})), X(Motion({2}))}); },
       Answer::Computed, 2, E_FAIL, true},
      {"for results: a second load excitation", [&] { return List({X(Loads()), X(Motion({3})), X(Loads(1))}); },
       Answer::Computed, 2, E_FAIL, true},
      {"for results: type query of the second fails", [&] {
         auto* rx = Motion({1});
         rx->SetTypeResult(kDistinct);
         return List({X(Loads()), X(rx)});
       }, Answer::Computed, 2, kDistinct, true},
      {"for results: load type, no load interface", spoilt(true, reports(LoadExcitationType)), Answer::Computed, 2,
       E_FAIL, true},
      {"for results: undefined type", spoilt(true, reports(UndefinedExcitationType)), Answer::Computed, 2, E_FAIL,
       true},
      {"for results: element that is no excitation", [&] { return List({plainObject}); }, Answer::Computed, 2, E_FAIL,
       true},
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

// Everything an initialised object shows: type, axis, values, contributions, what it holds.
struct Observed {
  long typeResult = 0, valuesResult = 0, rigidResult = 0, enforcedResult = 0;
  ExcitationType type = UndefinedExcitationType;
  unsigned char axis = 9;
  std::vector<double> values;  // re and im at 0.5 and at 3.0
  std::vector<double> added;   // re and im of the two contributions over 12 DOFs
  std::vector<long> refs;
  bool operator==(const Observed& o) const {
    auto same = [](const std::vector<double>& a, const std::vector<double>& b) {
      return std::equal(a.begin(), a.end(), b.begin(), b.end(), SameBits);
    };
    return typeResult == o.typeResult && valuesResult == o.valuesResult && rigidResult == o.rigidResult &&
           enforcedResult == o.enforcedResult && type == o.type && axis == o.axis && same(values, o.values) &&
           same(added, o.added) && refs == o.refs;
  }
};

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

  auto observe = [&](VOKDYNExcitationTools* iTools) {
    Observed ob;
    ob.typeResult = iTools->GetTypeOfExcitation(ob.type, ob.axis);
    for (double at : {0.5, 3.0}) {
      VOKMathComplex v[2] = {VOKMathComplex(-1, -1), VOKMathComplex(-1, -1)};
      VOKMathComplex* p = v;
      ob.valuesResult |= iTools->GetExcitValues(at, p);
      for (const VOKMathComplex& c : v) ob.values.insert(ob.values.end(), {c.re, c.im});
    }
    std::vector<VOKMathComplex> rigid(12), enforced(12);
    VOKMathComplex* pr = rigid.data();
    VOKMathComplex* pe = enforced.data();
    ob.rigidResult = iTools->AddRigidExcit(2.0, 12, pr);
    ob.enforcedResult = iTools->AddEnforcedDispExcit(2.0, 12, pe);
    for (std::size_t p = 0; p < 12; ++p)
      ob.added.insert(ob.added.end(), {rigid[p].re, rigid[p].im, enforced[p].re, enforced[p].im});
    for (VOKBaseUnknown* c : counted) ob.refs.push_back(c->RefCount());
    return ob;
  };
  // An initialisation: Initialize in a domain, or InitializeForResult.
  struct Init {
    std::vector<VOKBaseUnknown*> list;
    VOKHost::ModalBase* tools;
    int kind;  // Initialize 0 by default, 1 in time, 3 in neither domain; 2 InitializeForResult
  };
  auto run = [](VOKDYNExcitationTools* iTools, const Init& iInit) {
    VOKListValVOKBaseUnknown_var list;
    for (VOKBaseUnknown* e : iInit.list) list.Append(VOKBaseUnknown_var(e));
    ExcitationType first = UndefinedExcitationType;
    const DYNAnalysisDomain domains[4] = {DYNDefaultDomain, DYNTimeDomain, DYNDefaultDomain,
                                          static_cast<DYNAnalysisDomain>(3)};
    return iInit.kind == 2 ? iTools->InitializeForResult(list, iInit.tools, first)
                           : iTools->Initialize(list, iInit.tools, first, domains[iInit.kind]);
  };
  struct Row {
    const char* what;
    Init first, second;
    long secondResult;
  };
  const Row rows[] = {
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
      {"second members, then a refused list", {{X(lx), X(plainMotion)}, base, 0}, {{X(plainMotion), X(plainMotion)}, other, 2},
       E_FAIL},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Observed after;
    {
      Tools tools;
      ASSERT_HR(S_OK, run(tools.p, row.first));
      EXPECT_HR(row.secondResult, run(tools.p, row.second));
      after = observe(tools.p);
    }
    // A fresh object given the second alone shows the same; an earlier time domain keeps it real.
    Init second = row.second;
    if (row.first.kind == 1 && second.kind != 2) second.kind = 1;
    Observed fresh;
    {
      Tools tools;
      EXPECT_HR(row.secondResult, run(tools.p, second));
      fresh = observe(tools.p);
    }
    EXPECT_TRUE(after == fresh) << "type " << after.type << " vs " << fresh.type;
    // Values of the time domain are real; those of any other turn by the phases.
    bool real = true;
    for (std::size_t i = 1; i < after.values.size(); i += 2) real = real && SameBits(after.values[i], 0.0);
    if (SUCCEEDED(after.valuesResult)) {
      EXPECT_EQ(real, second.kind == 1);
    }
  }
}

}  // namespace
