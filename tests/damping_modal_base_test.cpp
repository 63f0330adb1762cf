// The damping tools on the stand-in's modal base, from end to end.
#include <cmath>
#include <cstdio>

#include "VOKDYNDampingTools.h"
#include "VOKHostDamping.h"
#include "VOKHostDynamics.h"
#include "VOKMsgCatalog.h"
#include "VOKTestSupport.h"
#include "damping_fakes.h"

using dampingtest::Bits;
using dampingtest::Held;
using dampingtest::Values;
using VOKHost::DampingFeatureBuilder;

namespace {

class DampingOnModalBase : public VOKTest {
 protected:
  // Three modes: masses (1, 1, 1), stiffnesses (4, 9, 16), no nodes.
  static VOKHost::ModalBase* NewBase() {
    VOKHost::ModalBaseDefinition def;
    def.name = "Normal Modes.2";
    def.modalMasses = {1, 1, 1};
    def.modalStiffnesses = {4, 9, 16};
    def.shapes.assign(3, std::vector<double>());
    std::string error;
    VOKHost::ModalBase* base = VOKHost::ModalBase::Create(def, &error);
    EXPECT_NE(nullptr, base) << error;
    return base;
  }
};

TEST_F(DampingOnModalBase, DefinitionChecksValuesTitlesAndWarning) {
  Held<VOKHost::ModalBase> base(NewBase());
  ASSERT_NE(nullptr, base.get());
  DampingFeatureBuilder builder;
  builder.Modal(5).LinkBase(static_cast<VOKIDYNBaseTools*>(base.get()));
  Held<VOKHost::Feature> feature(builder.Build());
  VOKDYNDampingTools tools(feature.get());

  VOKDYNDampingValidity validity = VOKDYNDampingInvalid;
  EXPECT_HR(S_OK, tools.CheckDefinition(validity));
  EXPECT_EQ(VOKDYNDampingValid, validity);

  unsigned char diagonal = 0;
  VOKDYNDampingType type = VOKDYNDampingTypeUnknown;
  EXPECT_HR(S_OK, tools.GetDampingDefinition(diagonal, type));
  EXPECT_EQ(1, diagonal);
  EXPECT_EQ(VOKDYNDampingTypeModal, type);

  VOKRawColldouble values;
  EXPECT_HR(S_OK, tools.GetDampingValues(values));
  const std::vector<double> expected{0.2, 0.3, 0.4};
  ASSERT_EQ(3, values.Size());
  for (int i = 1; i <= 3; ++i) EXPECT_EQ(Bits(expected[i - 1]), Bits(values[i])) << i;

  // One title per mode: the frequency sqrt(k/m)/(2 pi) in single precision.
  VOKListValVOKUnicodeString titles;
  EXPECT_HR(S_OK, tools.GetListOfOccTitleForDump(titles));
  ASSERT_EQ(3, titles.Size());
  VOKRawColldouble frequencies;
  ASSERT_HR(S_OK, base->Access()->GetOccurrenceValues(frequencies));
  for (int i = 1; i <= 3; ++i) {
    char text[64];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(static_cast<float>(frequencies[i])));
    EXPECT_EQ(text, titles[i].Std());
  }

  // A stale base is named in the warning.
  base->Access()->SetUpToDate(false);
  ScopedNotificationRecorder shown;
  unsigned char upToDate = 1;
  EXPECT_HR(S_OK, tools.CheckIfBaseUptoDate(upToDate, 1));
  EXPECT_EQ(0, upToDate);
  ASSERT_EQ(1u, shown.Shown().size());
  EXPECT_EQ("WarningPanel", shown.Shown()[0].dialogName);
  EXPECT_NE(std::string::npos, shown.Shown()[0].text.find("Normal Modes.2"));
}

TEST_F(DampingOnModalBase, PerModeDefinitionFollowsTheBaseState) {
  struct Case {
    const char* what;
    long state;
    bool diagonal;
    long values;
    VOKDYNDampingValidity validity;
  };
  const Case cases[] = {
      {"sound base", S_OK, true, S_OK, VOKDYNDampingValid},
      {"questionable base", E_FAIL, true, S_OK, VOKDYNDampingBaseCheckFailed},
      {"damping not diagonal", S_OK, false, E_FAIL, VOKDYNDampingValid},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Held<VOKHost::ModalBase> base(NewBase());
    ASSERT_NE(nullptr, base.get());
    base->Access()->SetStateResult(c.state);
    base->SetDampingDiagonal(c.diagonal);
    DampingFeatureBuilder builder;
    builder.RayleighPerMode({2, 0.5, 1}, {0.5, 2, 0})
        .LinkBase(static_cast<VOKIDYNBaseTools*>(base.get()));
    Held<VOKHost::Feature> feature(builder.Build());
    VOKDYNDampingTools tools(feature.get());

    VOKDYNDampingValidity validity = VOKDYNDampingInvalid;
    EXPECT_HR(S_OK, tools.CheckDefinition(validity));
    EXPECT_EQ(c.validity, validity);
    VOKRawColldouble values;
    EXPECT_HR(c.values, tools.GetDampingValues(values));
    if (c.values == S_OK) {
      const std::vector<double> m{1, 1, 1}, k{4, 9, 16}, a{2, 0.5, 1}, b{0.5, 2, 0};
      ASSERT_EQ(3, values.Size());
      for (int i = 1; i <= 3; ++i) {
        double expected = (m[i - 1] * a[i - 1] + k[i - 1] * b[i - 1]) / 100.0;
        EXPECT_EQ(Bits(expected), Bits(values[i])) << i;
      }
    } else {
      EXPECT_EQ(0, values.Size());
    }
  }
}

}  // namespace
