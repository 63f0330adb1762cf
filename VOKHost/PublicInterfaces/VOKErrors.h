#ifndef VOKErrors_h
#define VOKErrors_h
// Error records and fatal errors of the host.
//
// An operation that reports errors opens an ErrorDepthHandler scope on entry.
// On failure it fills the process-wide record (the static members below) and
// hands it to VOKSamInstanciateError. A record stays pending until the host
// (or a test) clears it with ErrorDepthHandler::ClearError().
#include "VOKString.h"

class VOKHOST_API ErrorDepthHandler {
 public:
  ErrorDepthHandler();
  ~ErrorDepthHandler();
  ErrorDepthHandler(const ErrorDepthHandler&) = delete;
  ErrorDepthHandler& operator=(const ErrorDepthHandler&) = delete;

  /// Current scope depth (number of open scopes).
  static int GetDepth();
  /// Non-zero while an error record is pending.
  static int IsErrorPending();
  /// Clears the record and the pending state.
  static void ClearError();

  // The process-wide error record.
  static int _ErrorType;
  static VOKString _ErrorText;
  static int _ErrorInteger;
  static VOKString _SourceFile;
  static int _SourceLine;
  static VOKString _IncludedFile;
  static int _IncludedLine;

 private:
  static int _Depth;
};

/// Instantiates an error from the record's values; marks an error pending.
VOKHOST_API void VOKSamInstanciateError(int iErrorType, int iDepth, const char* iFile, int iLine,
                                        const char* iIncludedFile, int iIncludedLine,
                                        const char* iText, int iErrorInteger, int iReserved);

/// A fatal error of a module: reported on standard error, then the process
/// stops, unless a handler was installed (VOKSetFatalErrorHandler), in which
/// case the call returns after the handler.
VOKHOST_API void VOKFatalError(const char* iMessage, void* iArg1, void* iArg2, void* iArg3,
                               const char* iFile, int iLine);

#endif
