#include "VOKTestSupport.h"

#include <algorithm>
#include <gmock/gmock.h>

#include <cstring>
#include <map>

std::string VOKResultString(long iResult) {
  char buffer[48];
  return VOKResultText(iResult, buffer);
}

bool SameBits(double iA, double iB) { return std::memcmp(&iA, &iB, sizeof(double)) == 0; }

namespace {
// A fatal error that no test expected fails the running test.
void FailOnFatal(const VOKHost::FatalError& iError) {
  ADD_FAILURE() << "unexpected fatal error: " << iError.message << " (" << iError.file << ":"
                << iError.line << ")";
}
}  // namespace

void VOKTest::SetUp() {
  VOKHost::FaultDisarm();
  VOKHost::ClearErrors();
  _Start = VOKHost::CurrentLiveCounts();
  _StartClasses = VOKHost::LiveComponentClasses();
}

void VOKTest::TearDown() {
  VOKHost::FaultDisarm();
  VOKHost::LiveCounts now = VOKHost::CurrentLiveCounts();
  EXPECT_EQ(_Start.components, now.components) << "components left alive";
  EXPECT_EQ(_Start.collectors, now.collectors) << "characteristic collectors left alive";
  EXPECT_EQ(_Start.dialogs, now.dialogs) << "dialogs left alive";
  if (now.components != _Start.components) {
    std::map<std::string, int> count;
    for (const std::string& name : VOKHost::LiveComponentClasses()) ++count[name];
    for (const std::string& name : _StartClasses) --count[name];
    for (const auto& entry : count)
      if (entry.second != 0) ADD_FAILURE() << "alive: " << entry.second << " x " << entry.first;
  }
  VOKHost::ClearErrors();
}

ScopedFatalCapture::ScopedFatalCapture() {
  VOKHost::SetFatalErrorHandler([this](const VOKHost::FatalError& e) { _Errors.push_back(e); });
}
ScopedFatalCapture::~ScopedFatalCapture() { VOKHost::SetFatalErrorHandler(FailOnFatal); }

ScopedNotificationRecorder::ScopedNotificationRecorder() {
  VOKHost::SetNotificationSink([this](const VOKHost::Notification& n) { _Shown.push_back(n); });
}
ScopedNotificationRecorder::~ScopedNotificationRecorder() {
  VOKHost::SetNotificationSink([](const VOKHost::Notification&) {});
}

int main(int argc, char** argv) {
  ::testing::InitGoogleMock(&argc, argv);
  VOKHost::SetFatalErrorHandler(FailOnFatal);
  VOKHost::SetNullHandleHandler([](const std::string& what) { throw NullHandleCall{what}; });
  // Notifications shown by tests that do not record them stay quiet.
  VOKHost::SetNotificationSink([](const VOKHost::Notification&) {});
  return RUN_ALL_TESTS();
}
