// The trace switches of the library's channels, by channel name.
#include "VOKDYNTraceChannels.h"
#include "VOKTestSupport.h"

namespace {

class TraceState : public VOKTest {};

TEST_F(TraceState, SetAndGetPerChannelByName) {
  const char* const channels[] = {"DYNBase", "DYNDev", "DYNError"};
  for (const char* name : channels) {
    SCOPED_TRACE(name);
    const int before = VOKDYNGetTraceState(name);
    VOKDYNSetTraceState(1, name);
    EXPECT_EQ(1, VOKDYNGetTraceState(name));
    for (const char* other : channels)
      if (other != name) {
        EXPECT_EQ(0, VOKDYNGetTraceState(other)) << "channels are independent";
      }
    // Output follows the flag.
    testing::internal::CaptureStdout();
    Tra_DYNBase.SetLevel(1);
    Tra_DYNBase.TraPutLN("line");
    EXPECT_EQ(name == channels[0] ? "DYNBase: line\n" : "", testing::internal::GetCapturedStdout());
    VOKDYNSetTraceState(0, name);
    EXPECT_EQ(0, VOKDYNGetTraceState(name));
    VOKDYNSetTraceState(before, name);
  }
  // A name without a channel reads 0, and setting it has no effect.
  VOKDYNSetTraceState(1, "NoSuchChannel");
  for (const char* name : {"NoSuchChannel", "", static_cast<const char*>(nullptr)})
    EXPECT_EQ(0, VOKDYNGetTraceState(name));
  for (const char* name : channels) EXPECT_EQ(0, VOKDYNGetTraceState(name));
}

}  // namespace
