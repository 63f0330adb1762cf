// Damping terms when the base's mode count changes between the check of the
// definition and the reading of the modes: per-mode lists are never read
// past their end, and a count that is not positive is a failure.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "VOKDYNDampingTools.h"
#include "VOKHostDamping.h"
#include "VOKTestSupport.h"
#include "damping_fakes.h"

namespace {

using dampingtest::Bits;
using dampingtest::FakeBase;
using dampingtest::FakeBaseAccess;
using dampingtest::Held;
using dampingtest::Values;

// A base that gives counts[k] at its k-th mode count (the last one repeats).
class CountChangingBase : public FakeBase {
 public:
  static CountChangingBase* Create(std::vector<int> iCounts) {
    CountChangingBase* base = new CountChangingBase;
    base->counts = std::move(iCounts);
    base->masses = {2.0, 3.0, 5.0};
    base->stiffnesses = {7.0, 11.0, 13.0};
    FakeBaseAccess* access = FakeBaseAccess::Create();
    base->AddAccess(access);
    access->Release();
    return base;
  }
  long GetNbDof(int& oN) override {
    const std::size_t k = std::min(static_cast<std::size_t>(nbDofCalls), counts.size() - 1);
    ++nbDofCalls;
    oN = counts[k];
    return S_OK;
  }
  std::vector<int> counts;
};

class DampingModeCount : public VOKTest {};

TEST_F(DampingModeCount, ListsAreNeverReadPastTheirEndAndTheCountMustBePositive) {
  enum Kind { ModalGlobal, ModalPerMode, RayleighPerMode };
  struct Row {
    const char* what;
    Kind kind;
    std::vector<int> counts;  // at the check, then at the reading
    long result;
    std::vector<double> values;
  };
  // Rayleigh terms (m * alpha + k * beta) / 100, in that order, of mode 1
  // (m 2, k 7) with alpha 0.5 and beta 0.25.
  const double rayleigh1 = (2.0 * 0.5 + 7.0 * 0.25) / 100.0;
  const Row rows[] = {
      {"modal per mode, one mode more at the reading", ModalPerMode, {2, 3}, S_OK, {}},
      {"Rayleigh per mode, one mode more at the reading", RayleighPerMode, {2, 3}, S_OK, {}},
      {"Rayleigh per mode, one mode fewer at the reading", RayleighPerMode, {2, 1}, S_OK, {rayleigh1}},
      {"no mode at the reading", ModalGlobal, {2, 0}, E_FAIL, {}},
      {"a negative count at the reading", ModalGlobal, {2, -1}, E_FAIL, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Held<CountChangingBase> base(CountChangingBase::Create(row.counts));
    VOKHost::DampingFeatureBuilder builder;
    switch (row.kind) {
      case ModalGlobal: builder.Modal(4.0); break;
      case ModalPerMode: builder.ModalPerMode({4.0, 6.0}); break;
      case RayleighPerMode: builder.RayleighPerMode({0.5, 0.75}, {0.25, 0.125}); break;
    }
    builder.LinkBase(base.get());
    Held<VOKHost::Feature> feature(builder.Build());
    VOKDYNDampingTools tools(feature.get());

    VOKRawColldouble values;  // empty on entry, as the operation requires
    EXPECT_HR(row.result, tools.GetDampingValues(values));
    const std::vector<double> got = Values(values);
    ASSERT_EQ(row.values.size(), got.size());
    for (std::size_t i = 0; i < got.size(); ++i) EXPECT_EQ(Bits(row.values[i]), Bits(got[i]));
    EXPECT_EQ(2, base->nbDofCalls) << "asked at the check and again at the reading";
  }
}

TEST_F(DampingModeCount, DeletedThroughAPointerTheObjectReleasesFeatureAndBase) {
  Held<CountChangingBase> base(CountChangingBase::Create({2}));
  VOKHost::DampingFeatureBuilder builder;
  builder.Modal(4.0).LinkBase(base.get());
  Held<VOKHost::Feature> feature(builder.Build());
  const long featureRefs = feature->RefCount();
  const long baseRefs = base->RefCount();
  auto tools = std::make_unique<VOKDYNDampingTools>(feature.get());
  VOKRawColldouble values;
  ASSERT_HR(S_OK, tools->GetDampingValues(values));
  // Modal terms sqrt(m k) * (2 * 4) / 100 of modes (2, 7) and (3, 11).
  ASSERT_EQ(2, values.Size());
  EXPECT_EQ(Bits(std::sqrt(2.0 * 7.0) * (4.0 * 2.0) / 100.0), Bits(values[1]));
  EXPECT_EQ(Bits(std::sqrt(3.0 * 11.0) * (4.0 * 2.0) / 100.0), Bits(values[2]));
  EXPECT_EQ(featureRefs + 1, feature->RefCount());
  EXPECT_EQ(baseRefs + 1, base->RefCount());
  tools.reset();  // a delete through the pointer
  EXPECT_EQ(featureRefs, feature->RefCount());
  EXPECT_EQ(baseRefs, base->RefCount());
}

// Runs in a fresh process whose resource folder holds no catalogue: every
// text is then empty, and a dialog is shown exactly when the message text
// is not empty. Exits 0 when every message succeeded and none was shown.
[[noreturn]] void ShowEveryMessageWithoutACatalogue() {
  VOKDYNDampingTools tools(nullptr);
  ScopedNotificationRecorder shown;
  bool allSucceeded = true;
  for (int message : {1, 2, 3, 4, 5, 0, 99})
    allSucceeded &= tools.DampingMessage(static_cast<VOKDYNDampingErrorMessage>(message), nullptr) == S_OK;
  VOKListValVOKUnicodeString alias;
  alias.Append("Modes.1");
  for (int message : {0, 1, 2, 3})
    allSucceeded &= tools.DampingMessage(static_cast<VOKDYNDampingWarningMessage>(message), &alias) == S_OK;
  std::exit(allSucceeded && shown.Shown().empty() ? 0 : 1);
}

class DampingMessagesWithoutCatalogue : public VOKTest {};

TEST_F(DampingMessagesWithoutCatalogue, NothingIsShownAndEveryCallSucceeds) {
  const std::string style = GTEST_FLAG_GET(death_test_style);
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // the child starts the program anew
  const char* folder = std::getenv("VOK_RESOURCES");
  const std::string kept = folder ? folder : "";
  setenv("VOK_RESOURCES", "/nonexistent/vok-resources", 1);
  EXPECT_EXIT(ShowEveryMessageWithoutACatalogue(), ::testing::ExitedWithCode(0), "");
  if (folder)
    setenv("VOK_RESOURCES", kept.c_str(), 1);
  else
    unsetenv("VOK_RESOURCES");
  GTEST_FLAG_SET(death_test_style, style);
}

}  // namespace
