#ifndef VOKHostTesting_h
#define VOKHostTesting_h
// Observation and control of the stand-in platform for tests: fault
// injection, live-object counts, captured trace lines, error records and
// handlers of fatal errors (and, through VOKHostNotifications.h, where
// notifications go). The library and the tools never include this header.
#include <functional>
#include <string>
#include <vector>
#include "VOKHostExport.h"
#include "VOKHostNotifications.h"
#include "VOKTypes.h"

namespace VOKHost {

// ------------------------------------------------------------ fault injection
// Every host operation that can fail counts itself on entry (only the
// outermost one: operations that the host calls internally do not count).
// When armed with k, the k-th counted operation fails the way it can fail
// (negative result, null output, a query that does not answer, an empty list).

/// Counts operations from now on; the k-th one (1-based) fails. k = 0 counts
/// only. An operation that fails with a result code returns iResult (a
/// negative code; a distinctive one shows whether a caller passes it on);
/// the failures of other kinds are unchanged (a query gives E_NOINTERFACE).
VOKHOST_API void FaultArm(long k, long iResult = E_FAIL);
/// Counts operations from now on in every thread but the calling one, each
/// thread on its own; the k-th (1-based) of each such thread fails. The
/// calling thread neither counts nor fails. With work cut into the same
/// units whatever the number of threads, the same unit of each worker fails
/// however the threads are scheduled. Replaces a FaultArm; failures give E_FAIL.
VOKHOST_API void FaultArmPerWorker(long k);
/// Stops counting and failing (either kind of arming).
VOKHOST_API void FaultDisarm();
/// Operations counted since the last arming, of all counting threads.
VOKHOST_API long FaultCount();
/// Name of the operation that was made to fail (the last one, when several
/// workers failed), empty when none.
VOKHOST_API std::string FaultHitName();

/// Scope of one counted host operation. Usage in an implementation:
///   VOKHost::FaultPoint fp("VOKIDYNBaseTools::GetNbDof");
///   if (fp.Fail()) return fp.Result();
class VOKHOST_API FaultPoint {
 public:
  explicit FaultPoint(const char* iOperation);
  ~FaultPoint();
  FaultPoint(const FaultPoint&) = delete;
  FaultPoint& operator=(const FaultPoint&) = delete;
  /// True when this operation must fail.
  bool Fail() const { return _Fail; }
  /// The result code a failing operation returns (see FaultArm).
  long Result() const;

 private:
  bool _Fail;
};

// ----------------------------------------------------------------- live objects
struct LiveCounts {
  int components = 0;  ///< VOKBaseUnknown objects
  int collectors = 0;  ///< characteristic collectors
  int dialogs = 0;     ///< dialogs
  bool operator==(const LiveCounts& o) const {
    return components == o.components && collectors == o.collectors && dialogs == o.dialogs;
  }
};
VOKHOST_API LiveCounts CurrentLiveCounts();
/// Class names (demangled) of the components alive now, one entry per object.
VOKHOST_API std::vector<std::string> LiveComponentClasses();

// ------------------------------------------------------------------- traces
struct TraceLine {
  std::string channel;
  int level;
  std::string text;
};
/// Starts capturing every line written on any channel (whatever its flag).
VOKHOST_API void TraceCaptureStart();
/// Stops capturing and returns the lines captured.
VOKHOST_API std::vector<TraceLine> TraceCaptureStop();
/// Lifecycle events of channels: "construct:<name>" / "destruct:<name>", in order.
VOKHOST_API std::vector<std::string> TraceChannelEvents();
VOKHOST_API void TraceChannelEventsClear();

// -------------------------------------------------------------- error records
struct ErrorRecord {
  int type;
  int depth;
  std::string file;
  int line;
  std::string includedFile;
  int includedLine;
  std::string text;
  int errorInteger;
};
/// Errors instantiated since the last clear, in order.
VOKHOST_API std::vector<ErrorRecord> InstantiatedErrors();
/// Clears the instantiated errors and the pending record.
VOKHOST_API void ClearErrors();

// ------------------------------------------------------------ fatal handlers
struct FatalError {
  std::string message;
  std::string file;
  int line;
};
/// Handler of VOKFatalError; null restores the default (report and abort).
VOKHOST_API void SetFatalErrorHandler(std::function<void(const FatalError&)> iHandler);
/// Handler of calls through null handles and of collection index errors;
/// null restores the default (report and abort). A handler may throw.
VOKHOST_API void SetNullHandleHandler(std::function<void(const std::string&)> iHandler);

/// Demangled class name of a live component (diagnostics).
VOKHOST_API std::string Demangle(const char* iMangled);

}  // namespace VOKHost

#endif
