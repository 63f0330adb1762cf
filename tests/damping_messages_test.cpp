// Damping notifications and the up-to-date check of the base that raises one.
#include "VOKDYNDampingTools.h"
#include "VOKHostDamping.h"
#include "VOKMsgCatalog.h"
#include "VOKTestSupport.h"
#include "damping_fakes.h"

using dampingtest::FakeBase;
using dampingtest::FakeBaseAccess;
using dampingtest::Held;
using VOKHost::DampingFeatureBuilder;

namespace {

const unsigned long kErrorStyle = 0x10000200;
const unsigned long kWarningStyle = 0x08000200;

// Catalogue texts, read with the platform's catalogue independently of the
// damping tools.
std::string Text(const char* iKey, const char* iParameter = nullptr) {
  VOKMsgCatalog catalog;
  EXPECT_HR(S_OK, catalog.LoadMsgCatalog("VOKDYNDampingDlgNls"));
  VOKUnicodeString parameter(iParameter);
  return catalog.GetCatalogMsg(iKey).BuildMessage(iParameter ? &parameter : nullptr, iParameter ? 1 : 0).Std();
}

void ExpectDialog(const VOKHost::Notification& iShown, bool iError, const std::string& iText) {
  EXPECT_EQ(iError ? "ErrorPanel" : "WarningPanel", iShown.dialogName);
  EXPECT_EQ(iError ? kErrorStyle : kWarningStyle, iShown.style);
  EXPECT_EQ(2, iShown.visibility);
  EXPECT_EQ(Text(iError ? "DampingErrorWinTitle" : "DampingWarningWinTitle"), iShown.title);
  EXPECT_EQ(iText, iShown.text);
}

class DampingMessages : public VOKTest {};

TEST_F(DampingMessages, CatalogueHoldsEveryText) {
  for (const char* key : {"DampingErrorWinTitle", "DampingWarningWinTitle", "NotDefined",
                          "IncoherenceWithBase", "InvalidIntervalPercentage", "InternalError",
                          "NotYetAvailable", "BaseNotUpToDate", "FreqValuesChanged"}) {
    SCOPED_TRACE(key);
    EXPECT_FALSE(Text(key).empty());
  }
  // The alias goes into the up-to-date warning.
  EXPECT_NE(std::string::npos, Text("BaseNotUpToDate", "Modes.7").find("Modes.7"));
}

TEST_F(DampingMessages, EachErrorShowsItsTextOnce) {
  struct Case {
    int message;
    const char* key;  // null: the title's text stands for the message
  };
  const Case cases[] = {{1, "NotDefined"},    {2, "IncoherenceWithBase"},
                        {3, "InvalidIntervalPercentage"}, {4, "InternalError"},
                        {5, "NotYetAvailable"}, {0, nullptr},
                        {99, nullptr}};
  VOKDYNDampingTools tools(nullptr);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    ScopedNotificationRecorder shown;
    VOKListValVOKUnicodeString ignored;
    ignored.Append("not used");
    EXPECT_HR(S_OK, tools.DampingMessage(static_cast<VOKDYNDampingErrorMessage>(c.message),
                                         c.message == 2 ? &ignored : nullptr));
    ASSERT_EQ(1u, shown.Shown().size());
    ExpectDialog(shown.Shown()[0], true, Text(c.key ? c.key : "DampingErrorWinTitle"));
  }
}

TEST_F(DampingMessages, WarningsShowOnlyTheirTexts) {
  VOKListValVOKUnicodeString two;
  two.Append("Frequency Case.1");
  two.Append("Ignored.2");
  VOKListValVOKUnicodeString empty;
  struct Case {
    const char* what;
    int message;
    VOKListValVOKUnicodeString* parameters;
    std::string text;  // empty: nothing shown
  };
  const Case cases[] = {
      {"base not up to date, first text is the alias", 2, &two,
       Text("BaseNotUpToDate", "Frequency Case.1")},
      {"base not up to date without a list", 2, nullptr, ""},
      {"base not up to date with an empty list", 2, &empty, ""},
      {"default damping has no text", 1, nullptr, ""},
      {"frequencies changed", 3, nullptr, Text("FreqValuesChanged")},
      {"frequencies changed ignores a list", 3, &two, Text("FreqValuesChanged")},
      {"outside the enumeration", 42, &two, ""},
  };
  VOKDYNDampingTools tools(nullptr);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScopedNotificationRecorder shown;
    EXPECT_HR(S_OK, tools.DampingMessage(static_cast<VOKDYNDampingWarningMessage>(c.message),
                                         c.parameters));
    if (c.text.empty()) {
      EXPECT_TRUE(shown.Shown().empty());
    } else {
      ASSERT_EQ(1u, shown.Shown().size());
      ExpectDialog(shown.Shown()[0], false, c.text);
      EXPECT_EQ(std::string::npos, shown.Shown()[0].text.find("Ignored.2"));
    }
  }
  EXPECT_EQ(2, two.Size());  // the list stays the caller's, untouched
}

TEST_F(DampingMessages, HeadlessDialogIsOneLineOnStandardError) {
  VOKDYNDampingTools tools(nullptr);
  VOKHost::SetNotificationSink(nullptr);
  testing::internal::CaptureStderr();
  tools.DampingMessage(VOKDYNDampingErrNotYetAvailable, nullptr);
  std::string err = testing::internal::GetCapturedStderr();
  VOKHost::SetNotificationSink([](const VOKHost::Notification&) {});
  EXPECT_EQ(Text("DampingErrorWinTitle") + ": " + Text("NotYetAvailable") + "\n", err);
}

TEST_F(DampingMessages, BaseUpToDateCheck) {
  struct Case {
    const char* what;
    void (*setup)(FakeBase&);
    unsigned char warn;
    long expected;
    unsigned char upToDate;
    bool warning;
  };
  const Case cases[] = {
      {"up to date", [](FakeBase&) {}, 1, S_OK, 1, false},
      {"stale, no warning asked", [](FakeBase& b) { b.Access()->upToDate = false; }, 0, S_OK, 0,
       false},
      {"stale, warning asked", [](FakeBase& b) { b.Access()->upToDate = false; }, 1, S_OK, 0, true},
      {"stale, no alias to name it",
       [](FakeBase& b) {
         b.Access()->upToDate = false;
         b.Access()->offersAlias = false;
       },
       1, E_FAIL, 0, false},
      {"access object not a feature, no warning asked",
       [](FakeBase& b) { b.Access()->offersSpecObject = false; }, 0, S_OK, 0, false},
      {"access object not a feature, warning asked",
       [](FakeBase& b) { b.Access()->offersSpecObject = false; }, 1, E_FAIL, 0, false},
      {"no access object", [](FakeBase& b) { b.RemoveAccesses(); }, 1, E_FAIL, 0, false},
      {"two access objects",
       [](FakeBase& b) {
         FakeBaseAccess* second = FakeBaseAccess::Create();
         b.AddAccess(second);
         second->Release();
       },
       1, E_FAIL, 0, false},
      {"access objects cannot be listed", [](FakeBase& b) { b.listResult = E_OUTOFMEMORY; }, 1,
       E_FAIL, 0, false},
      {"base is not an analysis set", [](FakeBase& b) { b.offersAnalysisSet = false; }, 1, E_FAIL,
       0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Held<FakeBase> base(FakeBase::Create({1}, {1}));
    base->Access()->alias = "Frequency Case.3";
    c.setup(*base.get());
    DampingFeatureBuilder builder;
    // The check does not need the definition: an unreadable one changes nothing.
    builder.TypeValue("Unknown", 9).LinkBase(base.get());
    Held<VOKHost::Feature> feature(builder.Build());
    VOKDYNDampingTools tools(feature.get());

    ScopedNotificationRecorder shown;
    unsigned char upToDate = 77;
    EXPECT_HR(c.expected, tools.CheckIfBaseUptoDate(upToDate, c.warn));
    EXPECT_EQ(c.upToDate, upToDate);
    ASSERT_EQ(c.warning ? 1u : 0u, shown.Shown().size());
    if (c.warning) ExpectDialog(shown.Shown()[0], false, Text("BaseNotUpToDate", "Frequency Case.3"));
  }
}

}  // namespace
