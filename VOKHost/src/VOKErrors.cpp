// Error records, fatal errors and misuse reports.
#include "VOKErrors.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "VOKBaseUnknown.h"
#include "VOKHostErrorsInternal.h"
#include "VOKHostTesting.h"

int ErrorDepthHandler::_ErrorType = 0;
VOKString ErrorDepthHandler::_ErrorText;
int ErrorDepthHandler::_ErrorInteger = 0;
VOKString ErrorDepthHandler::_SourceFile;
int ErrorDepthHandler::_SourceLine = 0;
VOKString ErrorDepthHandler::_IncludedFile;
int ErrorDepthHandler::_IncludedLine = 0;
int ErrorDepthHandler::_Depth = 0;

namespace {
bool g_pending = false;
std::mutex g_errorsMutex;
std::vector<VOKHost::ErrorRecord>& Errors() {
  static auto* errors = new std::vector<VOKHost::ErrorRecord>;
  return *errors;
}
std::function<void(const VOKHost::FatalError&)>& FatalHandler() {
  static auto* handler = new std::function<void(const VOKHost::FatalError&)>;
  return *handler;
}
std::function<void(const std::string&)>& NullHandleHandler() {
  static auto* handler = new std::function<void(const std::string&)>;
  return *handler;
}
}  // namespace

ErrorDepthHandler::ErrorDepthHandler() { ++_Depth; }
ErrorDepthHandler::~ErrorDepthHandler() { --_Depth; }
int ErrorDepthHandler::GetDepth() { return _Depth; }
int ErrorDepthHandler::IsErrorPending() { return g_pending ? 1 : 0; }

void ErrorDepthHandler::ClearError() {
  g_pending = false;
  _ErrorType = 0;
  _ErrorText = VOKString();
  _ErrorInteger = 0;
  _SourceFile = VOKString();
  _SourceLine = 0;
  _IncludedFile = VOKString();
  _IncludedLine = 0;
}

void VOKSamInstanciateError(int iErrorType, int iDepth, const char* iFile, int iLine,
                            const char* iIncludedFile, int iIncludedLine, const char* iText,
                            int iErrorInteger, int) {
  std::lock_guard<std::mutex> lock(g_errorsMutex);
  Errors().push_back({iErrorType, iDepth, iFile ? iFile : "", iLine,
                      iIncludedFile ? iIncludedFile : "", iIncludedLine, iText ? iText : "",
                      iErrorInteger});
  g_pending = true;
}

void VOKFatalError(const char* iMessage, void*, void*, void*, const char* iFile, int iLine) {
  VOKHost::FatalError error{iMessage ? iMessage : "", iFile ? iFile : "", iLine};
  if (FatalHandler()) {
    FatalHandler()(error);
    return;
  }
  std::fprintf(stderr, "fatal error: %s (%s:%d)\n", error.message.c_str(), error.file.c_str(), iLine);
  std::abort();
}

void VOKNullHandleError(const char* iInterfaceName) {
  VOKHost::RaiseNullHandle(std::string("call through a null handle of ") +
                           (iInterfaceName ? iInterfaceName : "?"));
}

namespace VOKHost {

void RaiseNullHandle(const std::string& iWhat) {
  if (NullHandleHandler()) {
    NullHandleHandler()(iWhat);
    return;
  }
  std::fprintf(stderr, "fatal error: %s\n", iWhat.c_str());
  std::abort();
}

std::vector<ErrorRecord> InstantiatedErrors() {
  std::lock_guard<std::mutex> lock(g_errorsMutex);
  return Errors();
}

void ClearErrors() {
  std::lock_guard<std::mutex> lock(g_errorsMutex);
  Errors().clear();
  ErrorDepthHandler::ClearError();
}

void SetFatalErrorHandler(std::function<void(const FatalError&)> iHandler) {
  FatalHandler() = std::move(iHandler);
}
void SetNullHandleHandler(std::function<void(const std::string&)> iHandler) {
  NullHandleHandler() = std::move(iHandler);
}

}  // namespace VOKHost
