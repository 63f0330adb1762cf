// The trace switches and the lines written on the channels.
#include "VOKDYNTraceChannels.h"
#include "VOKTestSupport.h"

namespace {

class TraceState : public VOKTest {};

TEST_F(TraceState, SetThenGetRoundTripsPerChannel) {
  for (const char* name : {"DYNBase", "DYNDev", "DYNError"}) {
    SCOPED_TRACE(name);
    int before = VOKDYNGetTraceState(name);
    VOKDYNSetTraceState(1, name);
    EXPECT_EQ(VOKDYNGetTraceState(name), 1);
    VOKDYNSetTraceState(0, name);
    EXPECT_EQ(VOKDYNGetTraceState(name), 0);
    VOKDYNSetTraceState(before, name);
  }
  // Channels are independent.
  VOKDYNSetTraceState(1, "DYNDev");
  EXPECT_EQ(VOKDYNGetTraceState("DYNBase"), 0);
  VOKDYNSetTraceState(0, "DYNDev");
}

TEST_F(TraceState, UnknownChannelReadsZeroAndSettingHasNoEffect) {
  VOKDYNSetTraceState(1, "NoSuchChannel");
  EXPECT_EQ(VOKDYNGetTraceState("NoSuchChannel"), 0);
  EXPECT_EQ(VOKDYNGetTraceState(""), 0);
  EXPECT_EQ(VOKDYNGetTraceState(nullptr), 0);
  for (const char* name : {"DYNBase", "DYNDev", "DYNError"}) EXPECT_EQ(VOKDYNGetTraceState(name), 0);
}

TEST_F(TraceState, LinesCarryChannelLevelAndInteger) {
  ScopedTraceCapture capture;
  Tra_DYNDev.SetLevel(3);
  Tra_DYNDev.TraPutLN("count:", 42);
  Tra_DYNError.SetLevel(1);
  Tra_DYNError.TraPutLN("oops");
  auto lines = capture.Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].channel, "DYNDev");
  EXPECT_EQ(lines[0].level, 3);
  EXPECT_EQ(lines[0].text, "count: 42");
  EXPECT_EQ(lines[1].channel, "DYNError");
  EXPECT_EQ(lines[1].level, 1);
  EXPECT_EQ(lines[1].text, "oops");
}

TEST_F(TraceState, OutputOnlyWhileFlagIsOn) {
  testing::internal::CaptureStdout();
  Tra_DYNBase.SetLevel(1);
  Tra_DYNBase.TraPutLN("hidden");
  VOKDYNSetTraceState(1, "DYNBase");
  Tra_DYNBase.TraPutLN("shown");
  VOKDYNSetTraceState(0, "DYNBase");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "DYNBase: shown\n");
}

}  // namespace
