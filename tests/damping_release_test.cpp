// The damping tools hold one reference to their feature and, once looked up,
// one to the base; failures at every host operation are driven by the
// fault-injection harness (anomaly_fault_injection_test.cpp).

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

}  // namespace
