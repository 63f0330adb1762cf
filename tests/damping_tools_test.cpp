// Damping tools on the stand-in's modal base: terms, validity, reading, lookup, titles, messages.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "VOKDYNDampingTools.h"
#include "VOKFailingAllocator.h"
#include "VOKHostDamping.h"
#include "VOKHostDynamics.h"
#include "VOKMsgCatalog.h"
#include "VOKTestSupport.h"

namespace {

using VOKHost::DampingFeatureBuilder;
using Define = std::function<void(DampingFeatureBuilder&)>;
using Values = std::vector<double>;

// A definition as one builder chain: DEF(Modal(5).Omit("DYNCoefficient")).
#define DEF(...) [&](DampingFeatureBuilder& b) { b.__VA_ARGS__; }
constexpr VOKDYNDampingValidity kValid = VOKDYNDampingValid;
constexpr VOKDYNDampingValidity kInvalid = VOKDYNDampingInvalid;
constexpr VOKDYNDampingValidity kStateFailed = VOKDYNDampingBaseCheckFailed;
constexpr VOKDYNDampingType kModal = VOKDYNDampingTypeModal;
constexpr VOKDYNDampingType kRayleigh = VOKDYNDampingTypeRayleigh;
constexpr VOKDYNDampingType kUnknown = VOKDYNDampingTypeUnknown;

Values Read(const VOKRawColldouble& iList) {
  Values v;
  for (int i = 1; i <= iList.Size(); ++i) v.push_back(iList[i]);
  return v;
}

void ExpectSameBits(const Values& iExpected, const Values& iActual) {
  ASSERT_EQ(iExpected.size(), iActual.size());
  for (std::size_t i = 0; i < iExpected.size(); ++i)
    EXPECT_TRUE(SameBits(iExpected[i], iActual[i]))
        << "mode " << i + 1 << ": expected " << iExpected[i] << ", got " << iActual[i];
}

// The terms in the stated evaluation order: sqrt(m k) * (2 p) / 100 and (m a + k b) / 100.
double ModalTerm(double iM, double iK, double iPercent) {
  const double root = std::sqrt(iM * iK);
  const double doubled = iPercent * 2.0;
  return root * doubled / 100.0;
}
double RayleighTerm(double iM, double iK, double iAlpha, double iBeta) {
  const double sum = iM * iAlpha + iK * iBeta;
  return sum / 100.0;
}

// Catalogue texts, read with the platform's catalogue, not the damping tools.
std::string Text(const char* iKey, const char* iParameter = nullptr) {
  VOKMsgCatalog catalog;
  catalog.LoadMsgCatalog("VOKDYNDampingDlgNls");
  VOKUnicodeString parameter(iParameter);
  return catalog.GetCatalogMsg(iKey)
      .BuildMessage(iParameter ? &parameter : nullptr, iParameter ? 1 : 0)
      .Std();
}

// A stand-in modal base without nodes and a damping feature linked to it.
struct Model {
  Model(const Define& iSetup, const Values& iM = {1, 1, 1}, const Values& iK = {4, 9, 16},
        const Values& iFrequencies = {}, bool iLink = true) {
    VOKHost::ModalBaseDefinition def;
    def.name = "Normal Modes.2";
    def.modalMasses = iM;
    def.modalStiffnesses = iK;
    def.frequencies = iFrequencies;
    def.shapes.assign(iM.size(), Values());
    std::string error;
    base = VOKHost::ModalBase::Create(def, &error);
    EXPECT_NE(nullptr, base) << error;
    DampingFeatureBuilder builder;
    iSetup(builder);
    if (iLink) builder.LinkBase(Tools());
    feature = builder.Build();
  }
  ~Model() {
    feature->Release();
    base->Release();
  }
  Model(const Model&) = delete;
  Model& operator=(const Model&) = delete;
  VOKIDYNBaseTools* Tools() const { return base; }
  VOKHost::ModalBase* base = nullptr;
  VOKHost::Feature* feature = nullptr;
};

// Every array the base hands out and every list the object reads is freed by the end.
class Damping : public VOKTest {
 protected:
  void TearDown() override {
    EXPECT_EQ(_Alive, vok_test::LiveArrays()) << "an array was left allocated";
    VOKTest::TearDown();
  }
  const long _Alive = vok_test::LiveArrays();
};

TEST_F(Damping, ValidityAgainstTheBaseAndTheValuesThatFollow) {
  struct Row {
    const char* what;
    Define setup;
    int modes;
    long state;  // CheckBaseState
    bool diagonal;
    VOKDYNDampingValidity validity;
    long values;  // GetDampingValues
  };
  const Values l12(12, 1.0), l10(10, 1.0), l3{1, 2, 3};
  const Row rows[] = {
      {"global on 12 modes", DEF(Modal(5)), 12, S_OK, true, kValid, S_OK},
      {"global: the base state is not looked at", DEF(Rayleigh(1, 1)), 12, E_FAIL, true, kValid, S_OK},
      {"per mode, 12 values on 12 modes", DEF(ModalPerMode(l12)), 12, S_OK, true, kValid, S_OK},
      {"per mode, 10 values on 12 modes", DEF(ModalPerMode(l10)), 12, S_OK, true, kInvalid, S_OK},
      {"per mode, 12 values on 10 modes", DEF(ModalPerMode(l12)), 10, S_OK, true, kInvalid, S_OK},
      {"per mode, questionable base", DEF(ModalPerMode(l12)), 12, E_FAIL, true, kStateFailed, S_OK},
      {"invalid wins over a questionable base", DEF(ModalPerMode(l10)), 12, E_FAIL, true, kInvalid, S_OK},
      {"global on 0 modes", DEF(Modal(5)), 0, S_OK, true, kInvalid, S_OK},
      {"per mode, empty list on 0 modes", DEF(ModalPerMode({})), 0, S_OK, true, kInvalid, S_OK},
      {"Rayleigh per mode, both lists fit", DEF(RayleighPerMode(l3, l3)), 3, S_OK, true, kValid, S_OK},
      {"Rayleigh per mode, beta list short", DEF(RayleighPerMode(l3, {1, 2})), 3, S_OK, true, kInvalid, S_OK},
      {"Rayleigh per mode, beta list long: only alpha is compared", DEF(RayleighPerMode(l3, {1, 2, 3, 4})),
       3, S_OK, true, kValid, S_OK},
      {"Rayleigh per mode, alpha list long", DEF(RayleighPerMode({1, 2, 3, 4}, l3)), 3, S_OK, true,
       kInvalid, S_OK},
      {"damping matrix not diagonal: refused before the check", DEF(RayleighPerMode(l3, l3)), 3,
       S_OK, false, kValid, E_FAIL},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const Values m(static_cast<std::size_t>(row.modes), 2.0), k(m.size(), 8.0);
    Model model(row.setup, m, k);
    model.base->Access()->SetStateResult(row.state);
    model.base->SetDampingDiagonal(row.diagonal);
    VOKDYNDampingTools tools(model.feature);
    VOKDYNDampingValidity validity = VOKDYNDampingInvalid;
    EXPECT_HR(S_OK, tools.CheckDefinition(validity));
    EXPECT_EQ(row.validity, validity);

    ScopedTraceCapture trace;
    VOKRawColldouble values;
    EXPECT_HR(row.values, tools.GetDampingValues(values));
    // Values for every mode unless refused or invalid; a questionable base does not stop them.
    const bool computed = row.values == S_OK && row.validity != VOKDYNDampingInvalid;
    EXPECT_EQ(computed ? row.modes : 0, values.Size());
    const std::vector<VOKHost::TraceLine> lines = trace.Lines();
    ASSERT_EQ(row.diagonal ? 0u : 1u, lines.size());
    if (!row.diagonal) {
      EXPECT_EQ("DYNError", lines[0].channel);
      EXPECT_EQ(1, lines[0].level);
      EXPECT_EQ("!The damping matrix is not diagonal!", lines[0].text);
    }
  }
}

TEST_F(Damping, ReadingTheDefinitionAndTheTermsPerModeInTheStatedOrder) {
  // Values of the base (1, 4), (1, 9), (1, 16) for what the object read, by default.
  auto modal = [](double p) { return Values{ModalTerm(1, 4, p), ModalTerm(1, 9, p), ModalTerm(1, 16, p)}; };
  auto rayleigh = [](double a, double b) {
    return Values{RayleighTerm(1, 4, a, b), RayleighTerm(1, 9, a, b), RayleighTerm(1, 16, a, b)};
  };
  const Values l3{5, 5, 5};
  // Irrational roots and inexact products: the stated order shows in the last bits.
  const Values m5{1.3, 2.2, 0.7, 3.1, 5.9}, k5{2.9, 13.1, 7.7, 41.3, 97.1};
  const Values p5{4.7, 1.1, 2.9, 0.3, 7.3};
  Values modal5, modalPerMode5, rayleigh5;
  for (std::size_t i = 0; i < m5.size(); ++i) {
    modal5.push_back(ModalTerm(m5[i], k5[i], 4.7));
    modalPerMode5.push_back(ModalTerm(m5[i], k5[i], p5[i]));
    rayleigh5.push_back(RayleighTerm(m5[i], k5[i], 0.7, 0.03));
  }
  const char* const typeTrace = "VOKDYNDampingTools::GetDampingDefinition ??? DampingType ???";
  const char* const subTrace = "VOKDYNDampingTools::GetSubComponent";
  struct Row {
    const char* what;
    Define setup;
    long check;  // CheckDefinition and GetDampingValues
    VOKDYNDampingValidity validity;
    Values values;
    VOKDYNDampingType type;  // GetDampingDefinition, which fails when the type is unknown
    const char* dialog = nullptr;  // catalogue key of the one error dialog per reading
    const char* trace = nullptr;   // the one error line per reading
    Values m = {1, 1, 1}, k = {4, 9, 16};
  };
  const Row rows[] = {
      {"Modal at 1: 5 % of 2 sqrt(m k)", DEF(Modal(5)), S_OK, kValid, {0.2, 0.3, 0.4}, kModal},
      {"Rayleigh at 2: (2 m + 0.5 k) %", DEF(Rayleigh(2, 0.5)), S_OK, kValid, {0.04, 0.065, 0.1}, kRayleigh},
      {"modal per mode (1, 1)", DEF(ModalPerMode({1, 1})), S_OK, kValid, {0.08, 0.12}, kModal, nullptr, nullptr,
       {2, 2}, {8, 18}},
      {"Rayleigh per mode", DEF(RayleighPerMode({2, 0.5, 1}, {0.5, 2, 0})), S_OK, kValid, {0.04, 0.185, 0.01},
       kRayleigh},
      {"Rayleigh per mode, a longer beta list: one beta per mode",
       DEF(RayleighPerMode({2, 0.5, 1}, {0.5, 2, 0, 1e6})), S_OK, kValid, {0.04, 0.185, 0.01}, kRayleigh},
      {"modal global, irrational roots", DEF(Modal(4.7)), S_OK, kValid, modal5, kModal, nullptr, nullptr, m5, k5},
      {"modal per mode, irrational roots", DEF(ModalPerMode(p5)), S_OK, kValid, modalPerMode5, kModal, nullptr,
       nullptr, m5, k5},
      {"Rayleigh global, inexact products", DEF(Rayleigh(0.7, 0.03)), S_OK, kValid, rayleigh5, kRayleigh, nullptr,
       nullptr, m5, k5},
      {"Rayleigh at 1", DEF(TypeValue("Rayleigh", 1)), E_FAIL, kValid, {}, kUnknown},
      {"Modal at 2", DEF(TypeValue("Modal", 2)), E_FAIL, kValid, {}, kUnknown},
      {"text compared exactly", DEF(TypeValue("modal", 1)), E_FAIL, kValid, {}, kUnknown},
      {"index 3", DEF(TypeValue("Modal", 3)), E_FAIL, kValid, {}, kUnknown, "InternalError"},
      {"index 0", DEF(TypeValue("", 0)), E_FAIL, kValid, {}, kUnknown, "InternalError"},
      {"no DYNDampingType", DEF(Modal(5).Omit("DYNDampingType")), E_FAIL, kValid, {}, kUnknown, nullptr, typeTrace},
      {"type not an enumeration", DEF(Modal(5).TypeNotEnumeration()), E_FAIL, kValid, {}, kUnknown},
      {"feature not an analysis set", DEF(Modal(5).NotAnAnalysisSet()), E_FAIL, kValid, {}, kUnknown},
      {"Rayleigh without DYNBeta keeps beta 1.0", DEF(Rayleigh(2, 0.5).Omit("DYNBeta")), S_OK, kValid,
       rayleigh(2, 1), kRayleigh},
      {"DYNBeta unreadable keeps beta 1.0", DEF(Rayleigh(2, 0.5).FailValue("DYNBeta", E_INVALIDARG)), S_OK, kValid,
       rayleigh(2, 1), kRayleigh},
      {"DYNAlpha unreadable stops before beta", DEF(Rayleigh(2, 0.5).FailValue("DYNAlpha", E_INVALIDARG)), S_OK,
       kValid, rayleigh(1, 1), kRayleigh},
      {"no global Rayleigh branch", DEF(Rayleigh(2, 0.5).Omit("DYNDampingGlobalRayleigh")), S_OK, kValid,
       rayleigh(1, 1), kRayleigh},
      {"modal without DYNCoefficient keeps 1 percent", DEF(Modal(5).Omit("DYNCoefficient")), S_OK, kValid,
       modal(1), kModal},
      {"global reads only its branch", DEF(Modal(5).Omit("DYNDampingModalList")), S_OK, kValid, modal(5), kModal},
      {"per mode reads only its branch", DEF(ModalPerMode(l3).Omit("DYNDampingGlobalModal")), S_OK, kValid,
       modal(5), kModal},
      {"no DYNDampingModal", DEF(Modal(5).Omit("DYNDampingModal")), E_FAIL, kValid, {}, kModal, nullptr, subTrace},
      {"no DYNDampingRayleigh", DEF(Rayleigh(2, 0.5).Omit("DYNDampingRayleigh")), E_FAIL, kValid, {}, kRayleigh,
       nullptr, subTrace},
      {"no DYNDampingFlag", DEF(Modal(5).Omit("DYNDampingFlag")), E_FAIL, kValid, {}, kModal},
      {"DYNDampingModal without attributes", DEF(Modal(5).WithoutAttributes("DYNDampingModal")), E_FAIL, kValid,
       {}, kModal},
      {"DYNDampingRayleighList without attributes",
       DEF(RayleighPerMode(l3, l3).WithoutAttributes("DYNDampingRayleighList")), E_FAIL, kValid, {}, kRayleigh},
      {"per mode flag with only the global branch", DEF(ModalPerMode(l3).Omit("DYNDampingModalList")), E_FAIL,
       kValid, {}, kModal},
      {"ListOfCoefficients holds no list", DEF(ModalPerMode(l3).NoList("ListOfCoefficients")), E_FAIL, kValid, {},
       kModal, "NotDefined"},
      {"no ListOfCoefficients attribute", DEF(ModalPerMode(l3).Omit("ListOfCoefficients")), E_FAIL, kValid, {},
       kModal},
      {"ListOfAlpha holds no list", DEF(RayleighPerMode(l3, l3).NoList("ListOfAlpha")), E_FAIL, kValid, {},
       kRayleigh, "NotDefined"},
      {"ListOfBeta holds no list", DEF(RayleighPerMode(l3, l3).NoList("ListOfBeta")), S_OK, kInvalid, {},
       kRayleigh, "NotDefined"},
      {"no ListOfBeta attribute", DEF(RayleighPerMode(l3, l3).Omit("ListOfBeta")), S_OK, kInvalid, {}, kRayleigh},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Model model(row.setup, row.m, row.k);
    {
      // A list that is not empty on entry is refused (where values would come) and kept; the array
      // overload is not available.
      VOKDYNDampingTools other(model.feature);
      VOKRawColldouble kept;
      kept.Append(7.5);
      EXPECT_HR(row.validity == kInvalid ? S_OK : E_FAIL, other.GetDampingValues(kept));
      EXPECT_EQ(Values{7.5}, Read(kept));
      double* array = nullptr;
      int count = 42;
      EXPECT_HR(E_FAIL, other.GetDampingValues(&array, count));
      EXPECT_EQ(nullptr, array);
      EXPECT_EQ(42, count);
    }
    VOKDYNDampingTools tools(model.feature);
    ScopedNotificationRecorder shown;
    ScopedTraceCapture trace;
    // A known type is read once; an unknown one again by every query that needs it.
    int readings = 0;
    for (int round = 0; round < 2; ++round) {
      VOKDYNDampingValidity validity = VOKDYNDampingBaseCheckFailed;
      EXPECT_HR(row.check, tools.CheckDefinition(validity));
      EXPECT_EQ(row.check == S_OK ? row.validity : kValid, validity);
      VOKRawColldouble values;
      EXPECT_HR(row.check, tools.GetDampingValues(values));
      ExpectSameBits(row.values, Read(values));
      unsigned char diagonal = 7;
      VOKDYNDampingType type = VOKDYNDampingTypeModal;
      const long known = row.type != VOKDYNDampingTypeUnknown ? S_OK : E_FAIL;
      EXPECT_HR(known, tools.GetDampingDefinition(diagonal, type));
      EXPECT_EQ(row.type, type);
      EXPECT_EQ(known == S_OK ? 1 : 0, diagonal);
      readings += row.type == VOKDYNDampingTypeUnknown ? 3 : round == 0 ? 1 : 0;
    }
    const std::vector<VOKHost::Notification>& dialogs = shown.Shown();
    ASSERT_EQ(row.dialog ? static_cast<std::size_t>(readings) : 0u, dialogs.size());
    for (const VOKHost::Notification& d : dialogs) {
      EXPECT_EQ("ErrorPanel", d.dialogName);
      EXPECT_EQ(Text(row.dialog), d.text);
    }
    const std::vector<VOKHost::TraceLine> lines = trace.Lines();
    ASSERT_EQ(row.trace ? static_cast<std::size_t>(readings) : 0u, lines.size());
    for (const VOKHost::TraceLine& l : lines) {
      EXPECT_EQ("DYNError", l.channel);
      EXPECT_EQ(1, l.level);
      EXPECT_EQ(row.trace, l.text);
    }
  }
}

// ReadBoolean has no result code: an unreadable "DYNDampingFlag" reads false (global branch).
TEST_F(Damping, FlagThatCannotBeReadSelectsTheGlobalBranch) {
  struct Row {
    const char* what;
    Define setup;
    Values values;
  };
  const Values l3{7, 8, 9};
  const Row rows[] = {
      {"per-mode modal with a global branch", DEF(Modal(3).ModalPerMode(l3)),
       {ModalTerm(1, 4, 3), ModalTerm(1, 9, 3), ModalTerm(1, 16, 3)}},
      {"per-mode Rayleigh without a global branch",
       DEF(RayleighPerMode(l3, l3).Omit("DYNDampingGlobalRayleigh")), {RayleighTerm(1, 4, 1, 1),
       RayleighTerm(1, 9, 1, 1), RayleighTerm(1, 16, 1, 1)}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Model model(row.setup);
    bool hit = false;
    for (long k = 1; k < 200 && !hit; ++k) {
      VOKDYNDampingTools tools(model.feature);
      VOKHost::FaultArm(k);
      unsigned char diagonal = 0;
      VOKDYNDampingType type = VOKDYNDampingTypeUnknown;
      const long hr = tools.GetDampingDefinition(diagonal, type);
      hit = VOKHost::FaultHitName() == "VOKISpecAttrAccess::ReadBoolean";
      VOKHost::FaultDisarm();
      if (!hit) continue;
      EXPECT_HR(S_OK, hr);
      VOKDYNDampingValidity validity = VOKDYNDampingInvalid;
      EXPECT_HR(S_OK, tools.CheckDefinition(validity));
      EXPECT_EQ(kValid, validity);
      VOKRawColldouble values;
      EXPECT_HR(S_OK, tools.GetDampingValues(values));
      ExpectSameBits(row.values, Read(values));
    }
    EXPECT_TRUE(hit) << "the flag's value was never read";
  }
}

// Every query that needs the base, with the result each must give.
void EveryBaseQuery(VOKDYNDampingTools& ioTools, long iExpected) {
  VOKDYNDampingValidity validity = kInvalid;
  unsigned char diagonal = 7, upToDate = 1;
  VOKDYNDampingType type = kRayleigh;
  VOKRawColldouble values;
  VOKListValVOKUnicodeString titles;
  EXPECT_HR(iExpected, ioTools.CheckDefinition(validity));
  EXPECT_HR(iExpected, ioTools.GetDampingDefinition(diagonal, type));
  EXPECT_HR(iExpected, ioTools.GetDampingValues(values));
  EXPECT_HR(iExpected, ioTools.GetListOfOccTitleForDump(titles));
  EXPECT_HR(iExpected, ioTools.CheckIfBaseUptoDate(upToDate, 0));
  EXPECT_EQ(iExpected == S_OK ? 3 : 0, values.Size());
  EXPECT_EQ(iExpected == S_OK ? 1 : 0, upToDate);
  EXPECT_EQ(iExpected == S_OK ? 3 : 0, titles.Size());
  // Validity is set on entry; a failed definition keeps its starting outputs.
  EXPECT_EQ(kValid, validity);
  EXPECT_EQ(iExpected == S_OK ? kModal : kUnknown, type);
  EXPECT_EQ(iExpected == S_OK ? 1 : 0, diagonal);
}

TEST_F(Damping, LazyReadingLookupAndReferences) {
  Model model(DEF(Modal(5)), {1, 1, 1}, {4, 9, 16}, {}, false);
  Model other(DEF(Modal(5)));
  const long featureRefs = model.feature->RefCount();
  {
    VOKDYNDampingTools tools(model.feature);
    EXPECT_EQ(featureRefs + 1, model.feature->RefCount());
    {
      SCOPED_TRACE("no base linked, twice: the lookup is tried again");
      EveryBaseQuery(tools, E_FAIL);
      EveryBaseQuery(tools, E_FAIL);
    }
    model.feature->AddLinkedObject(model.Tools());
    const long baseRefs = model.base->RefCount();
    {
      SCOPED_TRACE("one base linked: found, held with one reference");
      EveryBaseQuery(tools, S_OK);
      EXPECT_EQ(baseRefs + 1, model.base->RefCount());
      EXPECT_EQ(1, model.base->Access()->RefCount());
    }
    // Later changes of the feature are not seen: a second base, another type.
    model.feature->AddLinkedObject(other.Tools());
    VOKHost::Feature* changed =
        VOKHost::Feature::Create("DYNDampingType", VOKHost::FacetBasicComponent | VOKHost::FacetEnum);
    changed->SetEnumValue("Modal", 7);
    model.feature->SetBasicComponent("DYNDampingType", changed);
    changed->Release();
    ScopedNotificationRecorder shown;
    {
      SCOPED_TRACE("found once, kept");
      EveryBaseQuery(tools, S_OK);
      EXPECT_TRUE(shown.Shown().empty());
    }
    {
      SCOPED_TRACE("a new object reads the changed feature and finds two bases");
      VOKDYNDampingTools fresh(model.feature);
      EveryBaseQuery(fresh, E_FAIL);
      EXPECT_EQ(3u, shown.Shown().size()) << "one InternalError per reading";
    }
    EXPECT_EQ(baseRefs + 1, model.base->RefCount());
  }
  EXPECT_EQ(featureRefs, model.feature->RefCount());
  // On a null feature every query fails quietly.
  VOKDYNDampingTools none(nullptr);
  ScopedNotificationRecorder shown;
  ScopedTraceCapture trace;
  EveryBaseQuery(none, E_FAIL);
  EXPECT_TRUE(shown.Shown().empty());
  EXPECT_TRUE(trace.Lines().empty());
}

// What the base's one access object answers: the dump titles from the single-precision
// occurrences, and whether the base is up to date (with the warning asked for).
TEST_F(Damping, DumpTitlesAndUpToDateStateFromTheBaseAccess) {
  struct Row {
    const char* what;
    Values occurrences;
    bool prefilled, twoAccesses, upToDate;
    unsigned char warn;
    long titlesResult;
    std::vector<std::string> titles;
    long stateResult;
    unsigned char flag;
    bool warning;
  };
  const Row rows[] = {
      {"plain values, up to date", {12.5, 0.25}, false, false, true, 1, S_OK, {"12.5", "0.25"}, S_OK, 1, false},
      {"a million and more in exponent form; stale, no warning asked", {999999.0, 1e6, 2345678.9}, false, false,
       false, 0, S_OK, {"999999", "1e+06", "2.34568e+06"}, S_OK, 0, false},
      {"single precision shows in the sixth digit; stale, the warning names the base", {0.1234565}, false, false,
       false, 1, S_OK, {"0.123457"}, S_OK, 0, true},
      {"list not empty on entry", {1.5}, true, false, true, 1, E_FAIL, {"kept"}, S_OK, 1, false},
      {"two access objects", {1.5}, false, true, true, 1, E_FAIL, {}, E_FAIL, 0, false},
  };
  // The rounding row tells something only if the double reads otherwise.
  char rounded[16];
  std::snprintf(rounded, sizeof rounded, "%g", 0.1234565);
  ASSERT_STREQ("0.123456", rounded);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    // No definition is needed: an unreadable one changes nothing.
    Model model(DEF(TypeValue("Unknown", 9)),
                Values(row.occurrences.size(), 1.0), Values(row.occurrences.size(), 1.0),
                row.occurrences);
    Model second([](DampingFeatureBuilder&) {});
    model.base->Access()->SetUpToDate(row.upToDate);
    if (row.twoAccesses) model.base->AddLinkedObject(second.base->Access());
    VOKDYNDampingTools tools(model.feature);
    VOKListValVOKUnicodeString titles;
    if (row.prefilled) titles.Append("kept");
    EXPECT_HR(row.titlesResult, tools.GetListOfOccTitleForDump(titles));
    std::vector<std::string> got;
    for (int i = 1; i <= titles.Size(); ++i) got.push_back(titles[i].Std());
    EXPECT_EQ(row.titles, got);
    ScopedNotificationRecorder shown;
    unsigned char upToDate = 77;
    EXPECT_HR(row.stateResult, tools.CheckIfBaseUptoDate(upToDate, row.warn));
    EXPECT_EQ(row.flag, upToDate);
    ASSERT_EQ(row.warning ? 1u : 0u, shown.Shown().size());
    if (row.warning) {
      EXPECT_EQ("WarningPanel", shown.Shown()[0].dialogName);
      EXPECT_EQ(Text("BaseNotUpToDate", "Normal Modes.2"), shown.Shown()[0].text);
    }
  }
}

TEST_F(Damping, MessagesShowTheirCatalogueTextsOrNothingWithoutOne) {
  VOKListValVOKUnicodeString two;
  two.Append("Frequency Case.1");
  two.Append("Ignored.2");
  VOKListValVOKUnicodeString empty;
  struct Row {
    bool error;
    int message;
    VOKListValVOKUnicodeString* parameters;
    std::string text;  // empty: nothing shown
  };
  const Row rows[] = {
      {true, 1, nullptr, Text("NotDefined")},
      {true, 2, &two, Text("IncoherenceWithBase")},
      {true, 3, nullptr, Text("InvalidIntervalPercentage")},
      {true, 4, nullptr, Text("InternalError")},
      {true, 5, nullptr, Text("NotYetAvailable")},
      {true, 0, nullptr, Text("DampingErrorWinTitle")},  // outside: the title's text
      // 7: the largest value the enumeration can hold that names no message.
      {true, 7, nullptr, Text("DampingErrorWinTitle")},
      {false, 2, &two, Text("BaseNotUpToDate", "Frequency Case.1")},
      {false, 2, nullptr, ""},
      {false, 2, &empty, ""},
      {false, 1, nullptr, ""},  // the default damping warning has no text
      {false, 3, &two, Text("FreqValuesChanged")},
      {false, 0, &two, ""},
  };
  VOKDYNDampingTools tools(nullptr);
  auto show = [&](const Row& iRow) {
    return iRow.error ? tools.DampingMessage(static_cast<VOKDYNDampingErrorMessage>(iRow.message), iRow.parameters)
                      : tools.DampingMessage(static_cast<VOKDYNDampingWarningMessage>(iRow.message), iRow.parameters);
  };
  {
    // Without a catalogue every text is empty: nothing is shown and every call succeeds (a fresh
    // process, which has read no catalogue yet).
    const std::string style = GTEST_FLAG_GET(death_test_style);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const char* folder = std::getenv("VOK_RESOURCES");
    const std::string kept = folder ? folder : "";
    setenv("VOK_RESOURCES", "/nonexistent/vok-resources", 1);
    auto showNothing = [&] {
      ScopedNotificationRecorder shown;
      bool ok = true;
      for (const Row& row : rows) ok &= show(row) == S_OK;
      std::exit(ok && shown.Shown().empty() ? 0 : 1);
    };
    EXPECT_EXIT(showNothing(), ::testing::ExitedWithCode(0), "");
    if (folder)
      setenv("VOK_RESOURCES", kept.c_str(), 1);
    else
      unsetenv("VOK_RESOURCES");
    GTEST_FLAG_SET(death_test_style, style);
  }
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << (row.error ? "error " : "warning ") << row.message);
    ASSERT_FALSE(Text("DampingErrorWinTitle").empty());
    ScopedNotificationRecorder shown;
    EXPECT_HR(S_OK, show(row));
    ASSERT_EQ(row.text.empty() ? 0u : 1u, shown.Shown().size());
    if (row.text.empty()) continue;
    const VOKHost::Notification& n = shown.Shown()[0];
    EXPECT_EQ(row.error ? "ErrorPanel" : "WarningPanel", n.dialogName);
    EXPECT_EQ(row.error ? 0x10000200ul : 0x08000200ul, n.style);
    EXPECT_EQ(2, n.visibility);
    EXPECT_EQ(Text(row.error ? "DampingErrorWinTitle" : "DampingWarningWinTitle"), n.title);
    EXPECT_EQ(row.text, n.text);
  }
  EXPECT_EQ(2, two.Size());  // the list stays the caller's
}

}  // namespace
