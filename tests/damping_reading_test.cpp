// Reading the damping definition and finding the modal base: recognition of
// the type, reader failures and how they surface, lazy reading, retried
// lookups, the definition query.
#include <cmath>
#include <functional>

#include "VOKDYNDampingTools.h"
#include "VOKHostDamping.h"
#include "VOKMsgCatalog.h"
#include "VOKTestSupport.h"
#include "damping_fakes.h"

using dampingtest::Bits;
using dampingtest::FakeBase;
using dampingtest::Held;
using dampingtest::Values;
using VOKHost::DampingFeatureBuilder;

namespace {

const char* const kTypeTrace = "VOKDYNDampingTools::GetDampingDefinition ??? DampingType ???";
const char* const kSubComponentTrace = "VOKDYNDampingTools::GetSubComponent";

std::string CatalogText(const char* iKey) {
  VOKMsgCatalog catalog;
  catalog.LoadMsgCatalog("VOKDYNDampingDlgNls");
  return catalog.GetCatalogMsg(iKey).BuildMessage().Std();
}

int CountText(const std::vector<VOKHost::Notification>& iShown, const std::string& iText) {
  int n = 0;
  for (const VOKHost::Notification& s : iShown) n += s.text == iText ? 1 : 0;
  return n;
}

int CountTrace(const std::vector<VOKHost::TraceLine>& iLines, const std::string& iText) {
  int n = 0;
  for (const VOKHost::TraceLine& l : iLines)
    if (l.text == iText) {
      EXPECT_EQ("DYNError", l.channel) << iText;
      EXPECT_EQ(1, l.level) << iText;
      ++n;
    }
  return n;
}

// A base of three modes: masses (1, 1, 1), stiffnesses (4, 9, 16).
const std::vector<double> kM{1, 1, 1};
const std::vector<double> kK{4, 9, 16};

// A damping feature that iSetup defines, linked to a fresh base of masses kM
// and stiffnesses kK; both are released with it.
struct DefinedFeature {
  explicit DefinedFeature(const std::function<void(DampingFeatureBuilder&)>& iSetup)
      : base(FakeBase::Create(kM, kK)), feature(Build(iSetup, base.get())) {}
  Held<FakeBase> base;
  Held<VOKHost::Feature> feature;

 private:
  static VOKHost::Feature* Build(const std::function<void(DampingFeatureBuilder&)>& iSetup,
                                 FakeBase* iBase) {
    DampingFeatureBuilder builder;
    iSetup(builder);
    builder.LinkBase(iBase);
    return builder.Build();
  }
};

std::vector<double> Modal(double iPercent) {
  std::vector<double> v;
  for (std::size_t i = 0; i < kM.size(); ++i) v.push_back(std::sqrt(kM[i] * kK[i]) * (iPercent * 2.0) / 100.0);
  return v;
}
std::vector<double> Rayleigh(double iAlpha, double iBeta) {
  std::vector<double> v;
  for (std::size_t i = 0; i < kM.size(); ++i) v.push_back((kM[i] * iAlpha + kK[i] * iBeta) / 100.0);
  return v;
}

class DampingReading : public VOKTest {};

TEST_F(DampingReading, TypeIsRecognisedByIndexAndExactText) {
  struct Case {
    const char* what;
    std::function<void(DampingFeatureBuilder&)> setup;
    long check;
    VOKDYNDampingType type;
    bool internalError;  // the "InternalError" dialog
    bool typeTrace;      // the "??? DampingType ???" line
  };
  const Case cases[] = {
      {"Modal at 1", [](DampingFeatureBuilder& b) { b.Modal(5); }, S_OK, VOKDYNDampingTypeModal,
       false, false},
      {"Rayleigh at 2", [](DampingFeatureBuilder& b) { b.Rayleigh(2, 0.5); }, S_OK,
       VOKDYNDampingTypeRayleigh, false, false},
      {"Rayleigh at 1", [](DampingFeatureBuilder& b) { b.TypeValue("Rayleigh", 1); }, E_FAIL,
       VOKDYNDampingTypeUnknown, false, false},
      {"Modal at 2", [](DampingFeatureBuilder& b) { b.TypeValue("Modal", 2); }, E_FAIL,
       VOKDYNDampingTypeUnknown, false, false},
      {"text compared exactly", [](DampingFeatureBuilder& b) { b.TypeValue("modal", 1); }, E_FAIL,
       VOKDYNDampingTypeUnknown, false, false},
      {"index 3", [](DampingFeatureBuilder& b) { b.TypeValue("Modal", 3); }, E_FAIL,
       VOKDYNDampingTypeUnknown, true, false},
      {"index 0", [](DampingFeatureBuilder& b) { b.TypeValue("", 0); }, E_FAIL,
       VOKDYNDampingTypeUnknown, true, false},
      {"no DYNDampingType", [](DampingFeatureBuilder& b) { b.Modal(5).Omit("DYNDampingType"); },
       E_FAIL, VOKDYNDampingTypeUnknown, false, true},
      {"type not an enumeration", [](DampingFeatureBuilder& b) { b.Modal(5).TypeNotEnumeration(); },
       E_FAIL, VOKDYNDampingTypeUnknown, false, false},
      {"feature not an analysis set", [](DampingFeatureBuilder& b) { b.Modal(5).NotAnAnalysisSet(); },
       E_FAIL, VOKDYNDampingTypeUnknown, false, false},
  };
  const std::string internalError = CatalogText("InternalError");
  ASSERT_FALSE(internalError.empty());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DefinedFeature model(c.setup);
    Held<VOKHost::Feature>& feature = model.feature;
    VOKDYNDampingTools tools(feature.get());

    ScopedNotificationRecorder shown;
    ScopedTraceCapture trace;
    VOKDYNDampingValidity validity = VOKDYNDampingInvalid;
    EXPECT_HR(c.check, tools.CheckDefinition(validity));
    EXPECT_EQ(VOKDYNDampingValid, validity);  // set on entry, whatever follows
    ASSERT_EQ(c.internalError ? 1u : 0u, shown.Shown().size());
    if (c.internalError) {
      EXPECT_EQ("ErrorPanel", shown.Shown()[0].dialogName);
      EXPECT_EQ(internalError, shown.Shown()[0].text);
    }
    std::vector<VOKHost::TraceLine> lines = trace.Lines();
    EXPECT_EQ(c.typeTrace ? 1 : 0, CountTrace(lines, kTypeTrace));
    EXPECT_EQ(c.typeTrace ? 1u : 0u, lines.size());

    unsigned char diagonal = 7;
    VOKDYNDampingType type = VOKDYNDampingTypeRayleigh;
    EXPECT_HR(c.check, tools.GetDampingDefinition(diagonal, type));
    EXPECT_EQ(c.type, type);
    EXPECT_EQ(c.check == S_OK ? 1 : 0, diagonal);
  }
}

TEST_F(DampingReading, ReaderFailuresSurfaceLater) {
  struct Case {
    const char* what;
    std::function<void(DampingFeatureBuilder&)> setup;
    long check;                   // CheckDefinition
    VOKDYNDampingValidity validity;
    std::vector<double> values;   // appended by GetDampingValues when check is S_OK
    int notDefined;               // "NotDefined" dialogs over every query
    int subComponentTraces;
    VOKDYNDampingType type;
  };
  const std::vector<double> l3{5, 5, 5};
  const Case cases[] = {
      {"Rayleigh without DYNBeta keeps beta 1.0",
       [](DampingFeatureBuilder& b) { b.Rayleigh(2, 0.5).Omit("DYNBeta"); }, S_OK,
       VOKDYNDampingValid, Rayleigh(2, 1.0), 0, 0, VOKDYNDampingTypeRayleigh},
      {"Rayleigh whose DYNBeta cannot be read keeps beta 1.0",
       [](DampingFeatureBuilder& b) { b.Rayleigh(2, 0.5).FailValue("DYNBeta", E_INVALIDARG); },
       S_OK, VOKDYNDampingValid, Rayleigh(2, 1.0), 0, 0, VOKDYNDampingTypeRayleigh},
      {"Rayleigh whose DYNAlpha cannot be read stops before beta",
       [](DampingFeatureBuilder& b) { b.Rayleigh(2, 0.5).FailValue("DYNAlpha", E_INVALIDARG); },
       S_OK, VOKDYNDampingValid, Rayleigh(1.0, 1.0), 0, 0, VOKDYNDampingTypeRayleigh},
      {"Rayleigh without its global branch",
       [](DampingFeatureBuilder& b) { b.Rayleigh(2, 0.5).Omit("DYNDampingGlobalRayleigh"); },
       S_OK, VOKDYNDampingValid, Rayleigh(1.0, 1.0), 0, 0, VOKDYNDampingTypeRayleigh},
      {"modal without DYNCoefficient keeps 1 percent",
       [](DampingFeatureBuilder& b) { b.Modal(5).Omit("DYNCoefficient"); }, S_OK,
       VOKDYNDampingValid, Modal(1.0), 0, 0, VOKDYNDampingTypeModal},
      {"modal global reads only its branch",
       [](DampingFeatureBuilder& b) { b.Modal(5).Omit("DYNDampingModalList"); }, S_OK,
       VOKDYNDampingValid, Modal(5.0), 0, 0, VOKDYNDampingTypeModal},
      {"modal per mode reads only its branch",
       [&](DampingFeatureBuilder& b) { b.ModalPerMode(l3).Omit("DYNDampingGlobalModal"); }, S_OK,
       VOKDYNDampingValid, Modal(5.0), 0, 0, VOKDYNDampingTypeModal},
      {"no DYNDampingModal",
       [](DampingFeatureBuilder& b) { b.Modal(5).Omit("DYNDampingModal"); }, E_FAIL,
       VOKDYNDampingValid, {}, 0, 1, VOKDYNDampingTypeModal},
      {"no DYNDampingRayleigh",
       [](DampingFeatureBuilder& b) { b.Rayleigh(2, 0.5).Omit("DYNDampingRayleigh"); }, E_FAIL,
       VOKDYNDampingValid, {}, 0, 1, VOKDYNDampingTypeRayleigh},
      {"no DYNDampingFlag", [](DampingFeatureBuilder& b) { b.Modal(5).Omit("DYNDampingFlag"); },
       E_FAIL, VOKDYNDampingValid, {}, 0, 0, VOKDYNDampingTypeModal},
      {"DYNDampingModal without attributes",
       [](DampingFeatureBuilder& b) { b.Modal(5).WithoutAttributes("DYNDampingModal"); }, E_FAIL,
       VOKDYNDampingValid, {}, 0, 0, VOKDYNDampingTypeModal},
      {"DYNDampingRayleigh without attributes",
       [](DampingFeatureBuilder& b) { b.Rayleigh(2, 0.5).WithoutAttributes("DYNDampingRayleigh"); },
       E_FAIL, VOKDYNDampingValid, {}, 0, 0, VOKDYNDampingTypeRayleigh},
      {"DYNDampingModalList without attributes",
       [&](DampingFeatureBuilder& b) { b.ModalPerMode(l3).WithoutAttributes("DYNDampingModalList"); },
       E_FAIL, VOKDYNDampingValid, {}, 0, 0, VOKDYNDampingTypeModal},
      {"DYNDampingRayleighList without attributes",
       [&](DampingFeatureBuilder& b) {
         b.RayleighPerMode(l3, l3).WithoutAttributes("DYNDampingRayleighList");
       },
       E_FAIL, VOKDYNDampingValid, {}, 0, 0, VOKDYNDampingTypeRayleigh},
      {"per mode flag with only the global branch",
       [&](DampingFeatureBuilder& b) { b.ModalPerMode(l3).Omit("DYNDampingModalList"); }, E_FAIL,
       VOKDYNDampingValid, {}, 0, 0, VOKDYNDampingTypeModal},
      {"ListOfCoefficients holds no list",
       [&](DampingFeatureBuilder& b) { b.ModalPerMode(l3).NoList("ListOfCoefficients"); }, E_FAIL,
       VOKDYNDampingValid, {}, 1, 0, VOKDYNDampingTypeModal},
      {"no ListOfCoefficients attribute",
       [&](DampingFeatureBuilder& b) { b.ModalPerMode(l3).Omit("ListOfCoefficients"); }, E_FAIL,
       VOKDYNDampingValid, {}, 0, 0, VOKDYNDampingTypeModal},
      {"ListOfAlpha holds no list",
       [&](DampingFeatureBuilder& b) { b.RayleighPerMode(l3, l3).NoList("ListOfAlpha"); }, E_FAIL,
       VOKDYNDampingValid, {}, 1, 0, VOKDYNDampingTypeRayleigh},
      {"ListOfBeta holds no list",
       [&](DampingFeatureBuilder& b) { b.RayleighPerMode(l3, l3).NoList("ListOfBeta"); }, S_OK,
       VOKDYNDampingInvalid, {}, 1, 0, VOKDYNDampingTypeRayleigh},
      {"no ListOfBeta attribute",
       [&](DampingFeatureBuilder& b) { b.RayleighPerMode(l3, l3).Omit("ListOfBeta"); }, S_OK,
       VOKDYNDampingInvalid, {}, 0, 0, VOKDYNDampingTypeRayleigh},
  };
  const std::string notDefined = CatalogText("NotDefined");
  ASSERT_FALSE(notDefined.empty());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DefinedFeature model(c.setup);
    Held<VOKHost::Feature>& feature = model.feature;
    VOKDYNDampingTools tools(feature.get());

    ScopedNotificationRecorder shown;
    ScopedTraceCapture trace;
    // The reader runs once, on the first query; its failure is not a failure
    // of the definition query.
    unsigned char diagonal = 0;
    VOKDYNDampingType type = VOKDYNDampingTypeUnknown;
    EXPECT_HR(S_OK, tools.GetDampingDefinition(diagonal, type));
    EXPECT_EQ(c.type, type);

    for (int round = 0; round < 2; ++round) {
      VOKDYNDampingValidity validity = VOKDYNDampingBaseCheckFailed;
      EXPECT_HR(c.check, tools.CheckDefinition(validity));
      if (c.check == S_OK) {
        EXPECT_EQ(c.validity, validity);
      }
      VOKRawColldouble values;
      EXPECT_HR(c.check, tools.GetDampingValues(values));
      std::vector<double> got = Values(values);
      ASSERT_EQ(c.values.size(), got.size());
      for (std::size_t i = 0; i < got.size(); ++i) EXPECT_EQ(Bits(c.values[i]), Bits(got[i])) << i;
    }
    EXPECT_EQ(c.notDefined, CountText(shown.Shown(), notDefined));
    EXPECT_EQ(static_cast<std::size_t>(c.notDefined), shown.Shown().size());
    std::vector<VOKHost::TraceLine> lines = trace.Lines();
    EXPECT_EQ(c.subComponentTraces, CountTrace(lines, kSubComponentTrace));
    EXPECT_EQ(static_cast<std::size_t>(c.subComponentTraces), lines.size());
  }
}

TEST_F(DampingReading, UnknownTypeIsReadAgainByEveryQueryThatNeedsIt) {
  DefinedFeature model([](DampingFeatureBuilder& b) { b.TypeValue("Modal", 3); });
  Held<VOKHost::Feature>& feature = model.feature;
  VOKDYNDampingTools tools(feature.get());

  ScopedNotificationRecorder shown;
  VOKDYNDampingValidity validity;
  unsigned char diagonal;
  VOKDYNDampingType type;
  VOKRawColldouble values;
  VOKListValVOKUnicodeString titles;
  EXPECT_HR(E_FAIL, tools.CheckDefinition(validity));
  EXPECT_HR(E_FAIL, tools.GetDampingDefinition(diagonal, type));
  EXPECT_HR(E_FAIL, tools.GetDampingValues(values));
  EXPECT_EQ(3u, shown.Shown().size());  // one "InternalError" per reading
  // The titles need the base only: no reading, no dialog.
  EXPECT_HR(S_OK, tools.GetListOfOccTitleForDump(titles));
  unsigned char upToDate = 0;
  EXPECT_HR(S_OK, tools.CheckIfBaseUptoDate(upToDate, 1));
  EXPECT_EQ(3u, shown.Shown().size());

  // A missing type component is traced at every attempt.
  DefinedFeature bare([](DampingFeatureBuilder& b) { b.Omit("DYNDampingType"); });
  VOKDYNDampingTools toolsWithoutType(bare.feature.get());
  ScopedTraceCapture trace;
  EXPECT_HR(E_FAIL, toolsWithoutType.CheckDefinition(validity));
  EXPECT_HR(E_FAIL, toolsWithoutType.CheckDefinition(validity));
  EXPECT_EQ(2, CountTrace(trace.Lines(), kTypeTrace));
}

TEST_F(DampingReading, DefinitionIsNotReadAgainOnceTheTypeIsKnown) {
  DefinedFeature model([](DampingFeatureBuilder& b) { b.Modal(5); });
  Held<VOKHost::Feature>& feature = model.feature;
  VOKDYNDampingTools tools(feature.get());

  VOKRawColldouble first;
  EXPECT_HR(S_OK, tools.GetDampingValues(first));
  // Changing the feature afterwards changes nothing: the definition was kept.
  VOKHost::Feature* changed = VOKHost::Feature::Create("DYNDampingType",
                                                       VOKHost::FacetBasicComponent | VOKHost::FacetEnum);
  changed->SetEnumValue("Modal", 7);
  feature->SetBasicComponent("DYNDampingType", changed);
  changed->Release();

  ScopedNotificationRecorder shown;
  VOKRawColldouble again;
  EXPECT_HR(S_OK, tools.GetDampingValues(again));
  EXPECT_EQ(Values(first), Values(again));
  EXPECT_EQ(Modal(5.0), Values(again));
  EXPECT_TRUE(shown.Shown().empty());

  // A new object reads the changed feature.
  VOKDYNDampingTools fresh(feature.get());
  VOKDYNDampingValidity validity;
  EXPECT_HR(E_FAIL, fresh.CheckDefinition(validity));
  EXPECT_EQ(1u, shown.Shown().size());
}

TEST_F(DampingReading, BaseLookupIsRetriedWhileItFails) {
  Held<FakeBase> base(FakeBase::Create(kM, kK));
  Held<FakeBase> other(FakeBase::Create(kM, kK));
  DampingFeatureBuilder builder;
  builder.Modal(5);
  Held<VOKHost::Feature> feature(builder.Build());
  VOKDYNDampingTools tools(feature.get());

  auto everyQuery = [&](long iExpected) {
    VOKDYNDampingValidity validity;
    unsigned char diagonal = 0, upToDate = 0;
    VOKDYNDampingType type;
    VOKRawColldouble values;
    VOKListValVOKUnicodeString titles;
    EXPECT_HR(iExpected, tools.CheckDefinition(validity));
    EXPECT_HR(iExpected, tools.GetDampingDefinition(diagonal, type));
    EXPECT_HR(iExpected, tools.GetDampingValues(values));
    EXPECT_HR(iExpected, tools.GetListOfOccTitleForDump(titles));
    EXPECT_HR(iExpected, tools.CheckIfBaseUptoDate(upToDate, 0));
    return static_cast<int>(values.Size());
  };
  {
    SCOPED_TRACE("no base linked");
    EXPECT_EQ(0, everyQuery(E_FAIL));
  }
  feature->AddLinkedObject(base.get());
  feature->AddLinkedObject(other.get());
  {
    SCOPED_TRACE("two bases linked, twice");
    EXPECT_EQ(0, everyQuery(E_FAIL));
    EXPECT_EQ(0, everyQuery(E_FAIL));
  }
  // One base: the next lookup finds it.
  DampingFeatureBuilder one;
  one.Modal(5);
  Held<VOKHost::Feature> late(one.Build());
  VOKDYNDampingTools lateTools(late.get());
  VOKRawColldouble values;
  EXPECT_HR(E_FAIL, lateTools.GetDampingValues(values));
  late->AddLinkedObject(base.get());
  EXPECT_HR(S_OK, lateTools.GetDampingValues(values));
  EXPECT_EQ(Modal(5.0), Values(values));
  // Found once, kept: a second base linked later is not looked at.
  late->AddLinkedObject(other.get());
  VOKRawColldouble again;
  EXPECT_HR(S_OK, lateTools.GetDampingValues(again));
  EXPECT_EQ(3, again.Size());
}

TEST_F(DampingReading, NullFeatureFailsEveryQuery) {
  VOKDYNDampingTools tools(nullptr);
  ScopedNotificationRecorder shown;
  ScopedTraceCapture trace;
  VOKDYNDampingValidity validity = VOKDYNDampingInvalid;
  EXPECT_HR(E_FAIL, tools.CheckDefinition(validity));
  EXPECT_EQ(VOKDYNDampingValid, validity);
  unsigned char diagonal = 1, upToDate = 1;
  VOKDYNDampingType type = VOKDYNDampingTypeModal;
  EXPECT_HR(E_FAIL, tools.GetDampingDefinition(diagonal, type));
  EXPECT_EQ(0, diagonal);
  EXPECT_EQ(VOKDYNDampingTypeUnknown, type);
  EXPECT_HR(E_FAIL, tools.CheckIfBaseUptoDate(upToDate, 1));
  EXPECT_EQ(0, upToDate);
  VOKRawColldouble values;
  EXPECT_HR(E_FAIL, tools.GetDampingValues(values));
  EXPECT_EQ(0, values.Size());
  VOKListValVOKUnicodeString titles;
  EXPECT_HR(E_FAIL, tools.GetListOfOccTitleForDump(titles));
  EXPECT_EQ(0, titles.Size());
  EXPECT_TRUE(shown.Shown().empty());
  EXPECT_TRUE(trace.Lines().empty());
}

TEST_F(DampingReading, DefinitionQueryGivesDiagonalityAndType) {
  struct Case {
    const char* what;
    bool rayleigh;
    int diagonalFlag;
    long diagonalResult;
    bool linkBase;
    long expected;
    unsigned char diagonal;
    VOKDYNDampingType type;
  };
  const Case cases[] = {
      {"modal, diagonal", false, 1, S_OK, true, S_OK, 1, VOKDYNDampingTypeModal},
      {"Rayleigh, diagonal flag 5", true, 5, S_OK, true, S_OK, 1, VOKDYNDampingTypeRayleigh},
      {"modal, not diagonal", false, 0, S_OK, true, S_OK, 0, VOKDYNDampingTypeModal},
      {"diagonality unknown", false, 1, E_OUTOFMEMORY, true, E_OUTOFMEMORY, 0,
       VOKDYNDampingTypeUnknown},
      {"no base", true, 1, S_OK, false, E_FAIL, 0, VOKDYNDampingTypeUnknown},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Held<FakeBase> base(FakeBase::Create(kM, kK));
    base->diagonal = c.diagonalFlag;
    base->diagonalResult = c.diagonalResult;
    DampingFeatureBuilder builder;
    if (c.rayleigh)
      builder.Rayleigh(1, 1);
    else
      builder.Modal(1);
    if (c.linkBase) builder.LinkBase(base.get());
    Held<VOKHost::Feature> feature(builder.Build());
    VOKDYNDampingTools tools(feature.get());
    ScopedTraceCapture trace;
    unsigned char diagonal = 9;
    VOKDYNDampingType type = VOKDYNDampingTypeModal;
    EXPECT_HR(c.expected, tools.GetDampingDefinition(diagonal, type));
    EXPECT_EQ(c.diagonal, diagonal);
    EXPECT_EQ(c.type, type);
    EXPECT_TRUE(trace.Lines().empty());  // only the values query traces a non-diagonal base
  }
}

}  // namespace

// The host's ReadBoolean has no result code: a "DYNDampingFlag" whose value
// cannot be read reads as false, and the global branch is read in place of
// the per-mode one. Where that branch is missing the coefficients keep their
// starting value 1.0.
TEST_F(DampingReading, FlagThatCannotBeReadSelectsTheGlobalBranch) {
  struct Case {
    const char* what;
    std::function<void(DampingFeatureBuilder&)> setup;
    std::vector<double> values;
  };
  const std::vector<double> l3{7, 8, 9};
  const Case cases[] = {
      {"per-mode modal with a global branch",
       [&](DampingFeatureBuilder& b) { b.Modal(3).ModalPerMode(l3); }, Modal(3.0)},
      {"per-mode Rayleigh with a global branch",
       [&](DampingFeatureBuilder& b) { b.Rayleigh(2, 0.5).RayleighPerMode(l3, l3); },
       Rayleigh(2.0, 0.5)},
      {"per-mode modal without a global branch",
       [&](DampingFeatureBuilder& b) { b.ModalPerMode(l3).Omit("DYNDampingGlobalModal"); },
       Modal(1.0)},
      {"per-mode Rayleigh without a global branch",
       [&](DampingFeatureBuilder& b) {
         b.RayleighPerMode(l3, l3).Omit("DYNDampingGlobalRayleigh");
       },
       Rayleigh(1.0, 1.0)},
      {"global Rayleigh",
       [&](DampingFeatureBuilder& b) { b.Rayleigh(0.25, 4); }, Rayleigh(0.25, 4.0)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DefinedFeature model(c.setup);
    Held<VOKHost::Feature>& feature = model.feature;

    // The first query of a fresh object reads the definition; fail its
    // operations one by one until the one failed is the flag's value.
    VOKHost::FaultArm(0);
    {
      VOKDYNDampingTools counting(feature.get());
      VOKDYNDampingValidity validity;
      EXPECT_HR(S_OK, counting.CheckDefinition(validity));
    }
    const long operations = VOKHost::FaultCount();
    VOKHost::FaultDisarm();
    bool hit = false;
    for (long k = 1; k <= operations && !hit; ++k) {
      VOKDYNDampingTools tools(feature.get());
      VOKHost::FaultArm(k);
      unsigned char diagonal = 0;
      VOKDYNDampingType type = VOKDYNDampingTypeUnknown;
      const long hr = tools.GetDampingDefinition(diagonal, type);
      hit = VOKHost::FaultHitName() == "VOKISpecAttrAccess::ReadBoolean";
      VOKHost::FaultDisarm();
      if (!hit) continue;
      EXPECT_HR(S_OK, hr);

      ScopedNotificationRecorder shown;
      VOKDYNDampingValidity validity = VOKDYNDampingInvalid;
      EXPECT_HR(S_OK, tools.CheckDefinition(validity));
      EXPECT_EQ(VOKDYNDampingValid, validity);
      VOKRawColldouble values;
      EXPECT_HR(S_OK, tools.GetDampingValues(values));
      std::vector<double> got = Values(values);
      ASSERT_EQ(c.values.size(), got.size());
      for (std::size_t i = 0; i < got.size(); ++i) EXPECT_EQ(Bits(c.values[i]), Bits(got[i])) << i;
      EXPECT_TRUE(shown.Shown().empty());
    }
    EXPECT_TRUE(hit) << "the flag's value was never read";
  }
}
