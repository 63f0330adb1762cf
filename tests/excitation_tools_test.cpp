// The excitation tools object: meta-class, initialisations, excitation
// types, and what every failure leaves behind.
#include <cstdlib>
#include <functional>
#include <string>

#include "VOKTestSupport.h"
#include "excitation_fixtures.h"

namespace {

using namespace excitation_test;
using ::testing::_;
using ::testing::DoAll;
using ::testing::Invoke;
using ::testing::NiceMock;
using ::testing::Return;
using ::testing::SetArgReferee;

VOKIDYNExcitation* X(VOKHost::ExcitationBase* iExcitation) { return iExcitation; }

// A small model: a base of two modes, two unit loads, modulations.
class ExcitationTools : public VOKTest {
 protected:
  void SetUp() override {
    VOKTest::SetUp();
    base = hold(MakeBase({{1.0, 2.0}, {-0.5, 0.25}}, {{{0.5, 1.0, 1.5, 2.0, 2.5, 3.0}}, {{-1.0, 0.0, 1.0, 0.0, -1.0, 0.5}}}));
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
      // Named first: the sanitizer build mis-instruments a conditional
      // converted to a virtual base.
      VOKHost::NodalLoad* load = k ? load1 : load0;
      VOKHost::Modulation* modulation = k ? half : two;
      lx->AddEntry(load, modulation, 1.0f + k, 0.5f * k);
    }
    return lx;
  }
  VOKHost::RestraintExcitation* Motion(std::initializer_list<int> iDirections) {
    VOKHost::RestraintExcitation* rx = hold(VOKHost::RestraintExcitation::Create("motion"));
    for (int d : iDirections) rx->AddDirection(d, 9.81f, 0.1f * d, two);
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
      {"GetMetaObject", [] {
         Tools t;
         (void)t->GetMetaObject();
       }},
      {"IsA", [] {
         Tools t;
         (void)t->IsA();
       }},
      {"IsAKindOf", [] {
         Tools t;
         (void)t->IsAKindOf("VOKBaseUnknown");
       }},
  };
  // In the child: nothing registered yet; the first operation registers;
  // every other one then finds the same meta-class.
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
    std::vector<int> directions;
    bool axis;
    int checks;             // calls of CheckRotationAxis expected
    bool checkDropsAxis;    // the check turns the axis flag to 0
    unsigned char indicator;
  };
  const Row rows[] = {
      {"translation only, no axis", {3}, false, 0, false, 0},
      {"translation only, axis", {1, 3}, true, 0, false, 1},
      {"rotation, no axis", {2, 5}, false, 1, false, 0},
      {"rotation, axis", {4}, true, 1, false, 1},
      {"rotation, axis dropped by the check", {6, 1}, true, 1, true, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    VOKHost::RestraintExcitation* rx = hold(VOKHost::RestraintExcitation::Create("motion"));
    for (int d : row.directions) rx->AddDirection(d, 1.0f, 0.0f, two);
    if (row.axis) {
      const double o[3] = {1, 1, 1}, x[3] = {0, 1, 0}, y[3] = {0, 0, 1}, z[3] = {1, 0, 0};
      rx->SetAxis(VOKMathAxis(o, x, y, z));
    }
    auto* mock = hold(new NiceMock<MockBaseTools>(base));
    if (row.checkDropsAxis) {
      EXPECT_CALL(*mock, CheckRotationAxis(_, _, _)).WillOnce(DoAll(SetArgReferee<1>(0), Return(S_OK)));
    } else {
      EXPECT_CALL(*mock, CheckRotationAxis(_, _, _)).Times(row.checks);
    }
    EXPECT_CALL(*mock, ComputeRigidVectors(_)).Times(row.indicator ? 0 : 1);
    EXPECT_CALL(*mock, ComputeRigidVectorsOnAxis(_, _)).Times(row.indicator ? 1 : 0);

    Tools tools;
    ExcitationType first = UndefinedExcitationType;
    ASSERT_HR(S_OK, tools->Initialize(List({X(lx), X(rx)}), mock, first, DYNDefaultDomain));
    EXPECT_EQ(first, LoadExcitationType);
    ExcitationType type = UndefinedExcitationType;
    unsigned char indicator = 9;
    EXPECT_HR(S_OK, tools->GetTypeOfExcitation(type, indicator));
    EXPECT_EQ(type, RestraintExcitationType);
    EXPECT_EQ(indicator, row.indicator);
    ::testing::Mock::VerifyAndClearExpectations(mock);
  }
  // A list of loads alone reports loads, with no axis.
  Tools tools;
  ExcitationType first = UndefinedExcitationType, type = UndefinedExcitationType;
  unsigned char indicator = 9;
  ASSERT_HR(S_OK, tools->Initialize(List({X(lx)}), base, first, DYNDefaultDomain));
  EXPECT_HR(S_OK, tools->GetTypeOfExcitation(type, indicator));
  EXPECT_EQ(type, LoadExcitationType);
  EXPECT_EQ(indicator, 0);
}

TEST_F(ExcitationTools, InitialisationForResultsHoldsTheExcitationsOnly) {
  VOKHost::LoadExcitation* lx = Loads();
  VOKHost::RestraintExcitation* rx = Motion({2});
  const long lxRefs = lx->RefCount(), rxRefs = rx->RefCount(), baseRefs = base->RefCount();
  const long twoRefs = two->RefCount();
  {
    Tools tools;
    ExcitationType first = UndefinedExcitationType, type = UndefinedExcitationType;
    unsigned char indicator = 9;
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

TEST_F(ExcitationTools, TypeBeforeAnyInitialisationIsRefused) {
  Tools tools;
  ExcitationType type = LoadExcitationType;
  unsigned char indicator = 7;
  EXPECT_HR(E_FAIL, tools->GetTypeOfExcitation(type, indicator));
  EXPECT_EQ(type, LoadExcitationType) << "untouched";
  EXPECT_EQ(indicator, 7);
}

// ------------------------------------------------------------------ failures

// What an initialisation that fails leaves: not initialised, evaluation
// refused, type reported from the partial table (when there is one).
void ExpectNotInitialised(VOKDYNExcitationTools* iTools) {
  VOKMathComplex* values = nullptr;
  EXPECT_HR(E_FAIL, iTools->GetExcitValues(1.0, values));
  EXPECT_EQ(values, nullptr);
}

TEST_F(ExcitationTools, ListSizesMustAgreePerDomain) {
  using L = VOKHost::ExcitationList;
  struct Row {
    const char* what;
    bool restraint;
    L shortList;
    DYNAnalysisDomain domain;
    long result;
  };
  const Row rows[] = {
      {"loads: one phase short", false, L::Phases, DYNDefaultDomain, E_FAIL},
      {"loads: one phase short, time domain", false, L::Phases, DYNTimeDomain, S_OK},
      {"loads: one amplitude short", false, L::Amplitudes, DYNDefaultDomain, E_FAIL},
      {"loads: one amplitude short, time domain", false, L::Amplitudes, DYNTimeDomain, E_FAIL},
      {"loads: one modulation short", false, L::Modulations, DYNDefaultDomain, E_FAIL},
      {"loads: one modulation short, time domain", false, L::Modulations, DYNTimeDomain, E_FAIL},
      {"loads: one load short", false, L::Loads, DYNDefaultDomain, E_FAIL},
      {"loads: one load short, time domain", false, L::Loads, DYNTimeDomain, E_FAIL},
      {"motion: one phase short", true, L::Phases, DYNDefaultDomain, E_FAIL},
      {"motion: one phase short, time domain", true, L::Phases, DYNTimeDomain, S_OK},
      {"motion: one amplitude short", true, L::Amplitudes, DYNDefaultDomain, E_FAIL},
      {"motion: one amplitude short, time domain", true, L::Amplitudes, DYNTimeDomain, E_FAIL},
      {"motion: one modulation short", true, L::Modulations, DYNDefaultDomain, E_FAIL},
      {"motion: one direction short, time domain", true, L::Directions, DYNTimeDomain, E_FAIL},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    VOKHost::ExcitationBase* x = row.restraint ? static_cast<VOKHost::ExcitationBase*>(Motion({1, 5}))
                                               : static_cast<VOKHost::ExcitationBase*>(Loads());
    x->SetShortList(row.shortList);
    Tools tools;
    ExcitationType first = UndefinedExcitationType;
    EXPECT_HR(row.result, tools->Initialize(List({X(x)}), base, first, row.domain));
    if (FAILED(row.result)) {
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
  struct Row {
    const char* what;
    std::function<VOKListValVOKBaseUnknown_var()> list;
    std::function<void(MockBaseTools&)> fake;  // may be null
    long result;
  };
  VOKHost::Feature* plain = hold(VOKHost::Feature::Create("plain", VOKHost::FacetSpecObject));
  VOKBaseUnknown* plainObject = plain;
  auto degenerate = [] {
    const double o[3] = {0, 0, 0}, x[3] = {1, 0, 0}, y[3] = {2, 0, 0}, z[3] = {0, 0, 1};
    return VOKMathAxis(o, x, y, z);
  };
  const Row rows[] = {
      {"null element", [&] { return List({X(Loads()), nullptr}); }, nullptr, E_FAIL},
      {"element that is no excitation", [&] { return List({plainObject}); }, nullptr, E_FAIL},
      {"type query fails", [&] {
         auto* lx = Loads();
         lx->SetTypeResult(E_NOTIMPL);
         return List({X(lx)});
       }, nullptr, E_NOTIMPL},
      {"type neither load nor restraint", [&] {
         auto* lx = Loads();
         lx->SetReportedType(UndefinedExcitationType);
         return List({X(lx)});
       }, nullptr, E_FAIL},
      {"restraint type but no restraint interface", [&] {
         auto* lx = Loads();
         lx->SetReportedType(RestraintExcitationType);
         return List({X(lx)});
       }, nullptr, E_FAIL},
      {"load values fail: their code", [&] {
         auto* lx = Loads();
         lx->SetValuesResult(E_OUTOFMEMORY);
         return List({X(lx)});
       }, nullptr, E_OUTOFMEMORY},
      {"restraint values fail: E_FAIL", [&] {
         auto* rx = Motion({1});
         rx->SetValuesResult(E_OUTOFMEMORY);
         return List({X(rx)});
       }, nullptr, E_FAIL},
      {"direction 7", [&] { return List({X(Motion({1, 7}))}); }, nullptr, E_FAIL},
      {"direction 0", [&] { return List({X(Motion({0}))}); }, nullptr, E_FAIL},
      {"rotation check fails: its code", [&] { return List({X(Motion({4}))}); },
       [](MockBaseTools& m) { EXPECT_CALL(m, CheckRotationAxis(_, _, _)).WillOnce(Return(E_NOTIMPL)); }, E_NOTIMPL},
      {"degenerate axis, translation only: vectors refused", [&] {
         auto* rx = Motion({2});
         rx->SetAxis(degenerate());
         return List({X(rx)});
       }, nullptr, E_FAIL},
      {"rigid vectors on an axis fail: E_FAIL", [&] {
         auto* rx = Motion({2});
         rx->SetAxis(VOKMathAxis());
         return List({X(rx)});
       },
       [](MockBaseTools& m) { EXPECT_CALL(m, ComputeRigidVectorsOnAxis(_, _)).WillOnce(Return(E_NOTIMPL)); }, E_FAIL},
      {"rigid vectors on an axis succeed without a table: E_FAIL", [&] {
         auto* rx = Motion({2});
         rx->SetAxis(VOKMathAxis());
         return List({X(rx)});
       },
       [](MockBaseTools& m) {
         EXPECT_CALL(m, ComputeRigidVectorsOnAxis(_, _)).WillOnce(DoAll(SetArgReferee<1>(nullptr), Return(S_OK)));
       }, E_FAIL},
      {"rigid vectors fail without a table: refused later", [&] { return List({X(Motion({2}))}); },
       [](MockBaseTools& m) { EXPECT_CALL(m, ComputeRigidVectors(_)).WillOnce(Return(E_NOTIMPL)); }, E_FAIL},
      {"load vectors fail: E_FAIL", [&] { return List({X(Loads())}); },
       [](MockBaseTools& m) { EXPECT_CALL(m, ComputeLoadVectors(_, _)).WillOnce(Return(E_NOTIMPL)); }, E_FAIL},
      {"load vectors succeed without a table", [&] { return List({X(Loads())}); },
       [](MockBaseTools& m) {
         EXPECT_CALL(m, ComputeLoadVectors(_, _)).WillOnce(DoAll(SetArgReferee<1>(nullptr), Return(S_OK)));
       }, E_FAIL},
      {"load vectors fail but hand a table over (freed)", [&] { return List({X(Loads())}); },
       [](MockBaseTools& m) {
         EXPECT_CALL(m, ComputeLoadVectors(_, _)).WillOnce(Invoke([](VOKListValVOKISpecObject_var&, double**& o) {
           o = new double*[2]{new double[2]{1, 2}, new double[2]{3, 4}};
           return E_NOTIMPL;
         }));
       }, E_FAIL},
      {"no degree of freedom", [&] { return List({X(Loads())}); },
       [](MockBaseTools& m) { EXPECT_CALL(m, GetNbDof(_)).WillOnce(DoAll(SetArgReferee<0>(0), Return(S_OK))); }, E_FAIL},
      {"degrees of freedom unknown", [&] { return List({X(Loads())}); },
       [](MockBaseTools& m) { EXPECT_CALL(m, GetNbDof(_)).WillOnce(Return(E_NOTIMPL)); }, E_FAIL},
      {"a second load excitation", [&] { return List({X(Loads()), X(Loads(1))}); }, nullptr, E_FAIL},
      {"a second restraint excitation", [&] { return List({X(Motion({1})), X(Loads()), X(Motion({2}))}); },
       nullptr, E_FAIL},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    auto* mock = hold(new NiceMock<MockBaseTools>(base));
    if (row.fake) row.fake(*mock);
    Tools tools;
    ExcitationType first = UndefinedExcitationType;
    EXPECT_HR(row.result, tools->Initialize(row.list(), mock, first, DYNDefaultDomain));
    EXPECT_EQ(first, UndefinedExcitationType);
    ExpectNotInitialised(tools.p);
    ::testing::Mock::VerifyAndClearExpectations(mock);
  }
}

TEST_F(ExcitationTools, InitialisationForResultsFailures) {
  VOKHost::Feature* plain = hold(VOKHost::Feature::Create("plain", VOKHost::FacetSpecObject));
  VOKBaseUnknown* plainObject = plain;
  struct Row {
    const char* what;
    std::function<VOKListValVOKBaseUnknown_var()> list;
    long result;
  };
  const Row rows[] = {
      {"empty list", [] { return VOKListValVOKBaseUnknown_var(); }, E_FAIL},
      {"element that is no excitation", [&] { return List({plainObject}); }, E_FAIL},
      {"type query fails", [&] {
         auto* rx = Motion({1});
         rx->SetTypeResult(E_NOTIMPL);
         return List({X(Loads()), X(rx)});
       }, E_NOTIMPL},
      {"load type, no load interface", [&] {
         auto* rx = Motion({1});
         rx->SetReportedType(LoadExcitationType);
         return List({X(rx)});
       }, E_FAIL},
      {"undefined type", [&] {
         auto* rx = Motion({1});
         rx->SetReportedType(UndefinedExcitationType);
         return List({X(rx)});
       }, E_FAIL},
      {"two restraint excitations", [&] { return List({X(Motion({1})), X(Motion({2}))}); }, E_FAIL},
      {"two load excitations", [&] { return List({X(Loads()), X(Motion({3})), X(Loads(1))}); }, E_FAIL},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Tools tools;
    ExcitationType first = UndefinedExcitationType;
    EXPECT_HR(row.result, tools->InitializeForResult(row.list(), base, first));
    EXPECT_EQ(first, UndefinedExcitationType);
  }
  Tools tools;
  ExcitationType first = UndefinedExcitationType;
  EXPECT_HR(E_FAIL, tools->InitializeForResult(List({X(Loads())}), nullptr, first));
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

TEST_F(ExcitationTools, ASecondInitialisationReleasesEverythingHeld) {
  const int start = VOKBaseUnknown::LiveCount();
  const long baseRefs = base->RefCount(), twoRefs = two->RefCount(), halfRefs = half->RefCount();
  {
    Holder local;
    VOKHost::ModalBase* other = local(MakeBase({{3.0, 4.0}}));
    Tools tools;
    ExcitationType first = UndefinedExcitationType;
    ASSERT_HR(S_OK, tools->Initialize(List({X(Loads()), X(Motion({1, 4}))}), base, first, DYNDefaultDomain));
    EXPECT_GT(two->RefCount(), twoRefs + 1);
    // Built anew on another base with a single load: the first build is gone.
    VOKHost::LoadExcitation* single = local(VOKHost::LoadExcitation::Create("single"));
    single->AddEntry(load0, half, 1.0f, 0.0f);
    ASSERT_HR(S_OK, tools->Initialize(List({X(single)}), other, first, DYNDefaultDomain));
    EXPECT_EQ(base->RefCount(), baseRefs) << "the first base tools are released";
    // "two": its creator, one load entry, two restraint entries.
    EXPECT_EQ(two->RefCount(), twoRefs + 3) << "held by the first build's excitations only";
    // "half": its creator, one entry of each load excitation, the object.
    EXPECT_EQ(half->RefCount(), halfRefs + 1 + 1 + 1);
    VOKMathComplex* values = nullptr;
    ASSERT_HR(S_OK, tools->GetExcitValues(0.0, values));
    EXPECT_EQ(values[0].re, 0.5 * 3.0);
    EXPECT_EQ(values[1].re, 0.5 * 4.0);
    delete[] values;
  }
  EXPECT_EQ(base->RefCount(), baseRefs);
  EXPECT_EQ(two->RefCount(), twoRefs + 3);
  EXPECT_EQ(VOKBaseUnknown::LiveCount(), start + 2) << "only the two excitations of the first build remain";
}

}  // namespace
