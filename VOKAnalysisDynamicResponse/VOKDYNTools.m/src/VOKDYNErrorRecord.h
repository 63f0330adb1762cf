#ifndef VOKDYNErrorRecord_h
#define VOKDYNErrorRecord_h
// The library's one way of leaving an error record (internal, not exported).

namespace VOKDYN {

/// When the record must be filled: a null input or handle (type 3) always,
/// a failed call (type 1) only when no error is pending, so that the first
/// error of a chain is the one passed on; FillOverPending fills in any case.
enum RecordFill { FillUnlessPending = 0, FillOverPending = 1 };

/// Fills the process-wide record (type, text, error integer -1, file, line)
/// when the rule above says so, instantiates the record as it then stands at
/// the current depth, and returns E_FAIL. Call it inside the operation's
/// ErrorDepthHandler scope.
long ErrorRecord(int iErrorType, const char* iText, const char* iFile, int iLine,
                 RecordFill iFill = FillUnlessPending);

}  // namespace VOKDYN

#endif
