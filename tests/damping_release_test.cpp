// Every path of the damping tools releases what it obtained: references held
// by the object, and everything taken on the way when a host operation fails
// at any point.
#include <functional>

#include "VOKDYNDampingTools.h"
#include "VOKHostDamping.h"
#include "VOKTestSupport.h"
#include "damping_fakes.h"

using dampingtest::FakeBase;
using dampingtest::Held;
using VOKHost::DampingFeatureBuilder;

namespace {

class DampingRelease : public VOKTest {};

TEST_F(DampingRelease, ObjectHoldsOneReferenceToFeatureAndBase) {
  Held<FakeBase> base(FakeBase::Create({1, 1}, {4, 9}));
  DampingFeatureBuilder builder;
  builder.ModalPerMode({1, 2}).LinkBase(base.get());
  Held<VOKHost::Feature> feature(builder.Build());
  const long featureRefs = feature->RefCount();
  const long baseRefs = base->RefCount();
  {
    VOKDYNDampingTools tools(feature.get());
    EXPECT_EQ(featureRefs + 1, feature->RefCount());
    EXPECT_EQ(baseRefs, base->RefCount());  // the base is looked up on first need
    VOKRawColldouble values;
    EXPECT_HR(S_OK, tools.GetDampingValues(values));
    EXPECT_EQ(baseRefs + 1, base->RefCount());
    VOKListValVOKUnicodeString titles;
    unsigned char upToDate = 0;
    VOKDYNDampingValidity validity;
    EXPECT_HR(S_OK, tools.GetListOfOccTitleForDump(titles));
    EXPECT_HR(S_OK, tools.CheckIfBaseUptoDate(upToDate, 1));
    EXPECT_HR(S_OK, tools.CheckDefinition(validity));
    EXPECT_EQ(featureRefs + 1, feature->RefCount());
    EXPECT_EQ(baseRefs + 1, base->RefCount());
    EXPECT_EQ(1, base->Access()->RefCount());
  }
  EXPECT_EQ(featureRefs, feature->RefCount());
  EXPECT_EQ(baseRefs, base->RefCount());
}

// Runs every query of the damping tools on the feature built by iSetup, with
// the k-th host operation made to fail, for every k until no operation fails
// any more. Nothing may stay alive, nothing may be called through a null
// handle, and the per-mode lists read must be freed (the sanitized build
// checks that).
void SweepFaults(const std::function<void(DampingFeatureBuilder&, FakeBase&)>& iSetup) {
  Held<FakeBase> base(FakeBase::Create({1, 2, 3}, {4, 5, 6}));
  base->Access()->occurrences = {1.5, 2.5, 3.5};
  DampingFeatureBuilder builder;
  iSetup(builder, *base.get());
  builder.LinkBase(base.get());
  Held<VOKHost::Feature> feature(builder.Build());
  const VOKHost::LiveCounts start = VOKHost::CurrentLiveCounts();
  const long baseRefs = base->RefCount();
  const long featureRefs = feature->RefCount();

  ScopedNotificationRecorder quiet;
  for (long k = 1;; ++k) {
    SCOPED_TRACE(k);
    VOKHost::FaultArm(k);
    auto everyQuery = [&] {
      VOKDYNDampingTools tools(feature.get());
      unsigned char upToDate = 0, diagonal = 0;
      VOKDYNDampingValidity validity;
      VOKDYNDampingType type;
      VOKRawColldouble values;
      VOKListValVOKUnicodeString titles;
      tools.CheckIfBaseUptoDate(upToDate, 1);
      tools.CheckDefinition(validity);
      tools.GetDampingDefinition(diagonal, type);
      tools.GetDampingValues(values);
      tools.GetListOfOccTitleForDump(titles);
    };
    EXPECT_NO_THROW(everyQuery());
    std::string hit = VOKHost::FaultHitName();
    VOKHost::FaultDisarm();
    EXPECT_EQ(start, VOKHost::CurrentLiveCounts()) << "after a failure of " << hit;
    EXPECT_EQ(baseRefs, base->RefCount()) << hit;
    EXPECT_EQ(featureRefs, feature->RefCount()) << hit;
    if (hit.empty()) break;
    ASSERT_LT(k, 500) << "the sweep does not end";
  }
}

TEST_F(DampingRelease, EveryFailurePointReleasesWhatItObtained) {
  struct Case {
    const char* what;
    std::function<void(DampingFeatureBuilder&, FakeBase&)> setup;
  };
  const Case cases[] = {
      {"modal global, stale base",
       [](DampingFeatureBuilder& b, FakeBase& base) {
         b.Modal(5);
         base.Access()->upToDate = false;
       }},
      {"modal per mode", [](DampingFeatureBuilder& b, FakeBase&) { b.ModalPerMode({1, 2, 3}); }},
      {"Rayleigh global", [](DampingFeatureBuilder& b, FakeBase&) { b.Rayleigh(0.5, 0.25); }},
      {"Rayleigh per mode",
       [](DampingFeatureBuilder& b, FakeBase&) { b.RayleighPerMode({1, 2, 3}, {3, 2, 1}); }},
      {"Rayleigh per mode, beta list without values",
       [](DampingFeatureBuilder& b, FakeBase&) {
         b.RayleighPerMode({1, 2, 3}, {3, 2, 1}).NoList("ListOfBeta");
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SweepFaults(c.setup);
  }
}

}  // namespace
