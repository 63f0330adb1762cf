#ifndef VOKTestSupport_h
#define VOKTestSupport_h
// Shared test support: the fixture that checks that nothing is left alive,
// result-code assertions, and scoped recorders of what the platform shows.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "VOKBaseUnknown.h"
#include "VOKHostTesting.h"
#include "VOKTypes.h"

/// Prints a result code with its name: "E_FAIL (0x80004005)".
std::string VOKResultString(long iResult);

/// Asserts an exact result code, printing names on failure.
#define EXPECT_HR(expected, actual) \
  EXPECT_EQ(VOKResultString(expected), VOKResultString(actual))
#define ASSERT_HR(expected, actual) \
  ASSERT_EQ(VOKResultString(expected), VOKResultString(actual))

/// Base fixture: at TearDown the live components, collectors and dialogs are
/// back to their SetUp values (a missing Release fails the test and names the
/// classes still alive); no fault injection is left armed; error records are
/// cleared before each test.
class VOKTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

 private:
  VOKHost::LiveCounts _Start;
  std::vector<std::string> _StartClasses;
};

/// Records the fatal errors raised while it lives (instead of failing the test).
class ScopedFatalCapture {
 public:
  ScopedFatalCapture();
  ~ScopedFatalCapture();
  const std::vector<VOKHost::FatalError>& Errors() const { return _Errors; }

 private:
  std::vector<VOKHost::FatalError> _Errors;
};

/// Records the notifications shown while it lives.
class ScopedNotificationRecorder {
 public:
  ScopedNotificationRecorder();
  ~ScopedNotificationRecorder();
  const std::vector<VOKHost::Notification>& Shown() const { return _Shown; }

 private:
  std::vector<VOKHost::Notification> _Shown;
};

/// Captures the trace lines written while it lives.
class ScopedTraceCapture {
 public:
  ScopedTraceCapture() { VOKHost::TraceCaptureStart(); }
  ~ScopedTraceCapture() {
    if (!_Stopped) VOKHost::TraceCaptureStop();
  }
  /// Stops the capture and returns the lines.
  std::vector<VOKHost::TraceLine> Lines() {
    if (!_Stopped) {
      _Lines = VOKHost::TraceCaptureStop();
      _Stopped = true;
    }
    return _Lines;
  }

 private:
  bool _Stopped = false;
  std::vector<VOKHost::TraceLine> _Lines;
};

/// Bit-for-bit equality of doubles (+0 and -0 differ, a NaN equals itself).
bool SameBits(double iA, double iB);

/// Thrown by the test handler of calls through null handles.
struct NullHandleCall {
  std::string what;
};

/// In a fresh process per entry of iFirsts: class T's meta-class (iName) is not registered until
/// that operation, which registers it once and every later one finds; it names a class of the
/// library derived from VOKBaseUnknown, not of iOther. iMake makes an object (released here).
template <class T>
void ExpectMetaClassRegisteredOnce(const char* iName, const char* iOther, const std::function<T*()>& iMake,
                                   const std::vector<std::function<void()>>& iFirsts) {
  const std::string style = GTEST_FLAG_GET(death_test_style);
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto check = [&](const std::function<void()>& iFirst) {
    bool ok = VOKMetaClassRetrieveCount(iName) == 0;
    iFirst();
    ok = ok && VOKMetaClassRetrieveCount(iName) == 1;
    T* object = iMake();
    VOKMetaClass* meta = T::MetaObject();
    const std::string name = iName;
    ok = ok && object->GetMetaObject() == meta && T::ClassId() == meta->GetClassId() && name == object->IsA() &&
         name == T::ClassName() && name == meta->GetClassName() && object->IsAKindOf(iName) &&
         object->IsAKindOf("VOKBaseUnknown") && !object->IsAKindOf(iOther) && meta->GetTypeOfClass() == 1 &&
         meta->GetBaseMetaClass() == VOKBaseUnknown::MetaObject() && std::string(meta->GetExtraName()) == "VOKNull" &&
         std::string(meta->GetFrameworkName()) == "VOKAnalysisDynamicResponse" &&
         meta->GetClassSize() == sizeof(T) && T::CreateItself() == nullptr && VOKMetaClassRetrieveCount(iName) == 1;
    object->Release();
    std::exit(ok ? 0 : 1);
  };
  for (std::size_t i = 0; i < iFirsts.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EXIT(check(iFirsts[i]), ::testing::ExitedWithCode(0), "");
  }
  GTEST_FLAG_SET(death_test_style, style);
}

#endif
