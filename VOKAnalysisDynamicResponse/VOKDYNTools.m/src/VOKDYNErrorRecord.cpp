// Filling and instantiating error records.
#include "VOKDYNErrorRecord.h"

#include "VOKErrors.h"

namespace VOKDYN {

long ErrorRecord(int iErrorType, const char* iText, const char* iFile, int iLine,
                 RecordFill iFill) {
  if (iErrorType == 3 || iFill == FillOverPending || !ErrorDepthHandler::IsErrorPending()) {
    ErrorDepthHandler::_ErrorType = iErrorType;
    ErrorDepthHandler::_ErrorText = VOKString(iText);
    ErrorDepthHandler::_ErrorInteger = -1;
    ErrorDepthHandler::_SourceFile = VOKString(iFile);
    ErrorDepthHandler::_SourceLine = iLine;
  }
  VOKSamInstanciateError(ErrorDepthHandler::_ErrorType, ErrorDepthHandler::GetDepth(),
                         ErrorDepthHandler::_SourceFile.CastToCharPtr(),
                         ErrorDepthHandler::_SourceLine,
                         ErrorDepthHandler::_IncludedFile.CastToCharPtr(),
                         ErrorDepthHandler::_IncludedLine,
                         ErrorDepthHandler::_ErrorText.CastToCharPtr(),
                         ErrorDepthHandler::_ErrorInteger, 0);
  return E_FAIL;
}

}  // namespace VOKDYN
