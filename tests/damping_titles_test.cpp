// Titles of the per-mode damping values in a result dump.
#include <cstdio>

#include "VOKDYNDampingTools.h"
#include "VOKHostDamping.h"
#include "VOKTestSupport.h"
#include "damping_fakes.h"

using dampingtest::FakeBase;
using dampingtest::FakeBaseAccess;
using dampingtest::Held;
using VOKHost::DampingFeatureBuilder;

namespace {

std::string Format(double iValue) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%g", iValue);
  return buffer;
}

std::vector<std::string> Titles(const VOKListValVOKUnicodeString& iList) {
  std::vector<std::string> v;
  for (int i = 1; i <= iList.Size(); ++i) v.push_back(iList[i].Std());
  return v;
}

class DampingTitles : public VOKTest {};

TEST_F(DampingTitles, OneTitlePerModeFromTheSinglePrecisionValue) {
  struct Case {
    const char* what;
    std::vector<double> occurrences;
    std::vector<std::string> titles;
  };
  const Case cases[] = {
      {"plain values", {12.5, 0.25}, {"12.5", "0.25"}},
      {"a million and more in exponent form", {999999.0, 1e6, 2345678.9},
       {"999999", "1e+06", "2.34568e+06"}},
      {"single-precision rounding shows in the sixth digit", {0.1234565}, {"0.123457"}},
      {"no modes", {}, {}},
  };
  // The rounding row only tells something if the double would read otherwise.
  ASSERT_EQ("0.123456", Format(0.1234565));
  ASSERT_EQ("0.123457", Format(static_cast<double>(static_cast<float>(0.1234565))));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Held<FakeBase> base(FakeBase::Create({1}, {1}));
    base->Access()->occurrences = c.occurrences;
    DampingFeatureBuilder builder;
    builder.Modal(5).LinkBase(base.get());
    Held<VOKHost::Feature> feature(builder.Build());
    VOKDYNDampingTools tools(feature.get());

    VOKListValVOKUnicodeString titles;
    EXPECT_HR(S_OK, tools.GetListOfOccTitleForDump(titles));
    EXPECT_EQ(c.titles, Titles(titles));
    for (std::size_t i = 0; i < c.occurrences.size(); ++i)
      EXPECT_EQ(Format(static_cast<double>(static_cast<float>(c.occurrences[i]))), Titles(titles)[i]);
  }
}

TEST_F(DampingTitles, FailuresLeaveTheListAlone) {
  struct Case {
    const char* what;
    void (*setup)(FakeBase&);
    bool link;
    bool prefilled;
    long expected;
  };
  const Case cases[] = {
      {"list not empty on entry", [](FakeBase&) {}, true, true, E_FAIL},
      {"no base", [](FakeBase&) {}, false, false, E_FAIL},
      {"no access object", [](FakeBase& b) { b.RemoveAccesses(); }, true, false, E_FAIL},
      {"two access objects",
       [](FakeBase& b) {
         FakeBaseAccess* second = FakeBaseAccess::Create();
         b.AddAccess(second);
         second->Release();
       },
       true, false, E_FAIL},
      {"access object listed without its feature interface",
       [](FakeBase& b) { b.Access()->offersSpecObject = false; }, true, false, E_FAIL},
      {"occurrences unavailable", [](FakeBase& b) { b.Access()->occurrenceResult = E_OUTOFMEMORY; },
       true, false, E_OUTOFMEMORY},
      {"base is not an analysis set", [](FakeBase& b) { b.offersAnalysisSet = false; }, true, false,
       E_FAIL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Held<FakeBase> base(FakeBase::Create({1, 1}, {1, 1}));
    base->Access()->occurrences = {3.5, 7.25};
    c.setup(*base.get());
    DampingFeatureBuilder builder;
    builder.Modal(5);
    if (c.link) builder.LinkBase(base.get());
    Held<VOKHost::Feature> feature(builder.Build());
    VOKDYNDampingTools tools(feature.get());

    VOKListValVOKUnicodeString titles;
    if (c.prefilled) titles.Append("kept");
    std::vector<std::string> before = Titles(titles);
    EXPECT_HR(c.expected, tools.GetListOfOccTitleForDump(titles));
    EXPECT_EQ(before, Titles(titles));
  }
}

}  // namespace
