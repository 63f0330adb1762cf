#ifndef services_records_h
#define services_records_h
// Error records as the analysis model services leave them.
#include <string>

#include "VOKErrors.h"
#include "VOKTestSupport.h"

namespace services {

/// One expected record.
struct Record {
  int type;
  std::string text;
  std::string file;
  int line;
  int errorInteger;
  std::string includedFile;
  int includedLine;
  int depth;
};

inline std::string SourceFile(const char* iClass) {
  return std::string("VOKAnalysisDynamicResponse\\VOKDYNTools.m\\src\\") + iClass;
}

/// The record the services fill themselves: error integer -1, no included
/// file, made inside their own scope (one level below the caller's).
inline Record Own(int iType, const std::string& iText, const char* iClass, int iLine,
                  int iDepth = 1) {
  return {iType, iText, SourceFile(iClass), iLine, -1, "", 0, iDepth};
}

/// Makes a record pending, as an earlier failure of the host would.
inline Record MakePending() {
  Record pending{1, "earlier failure", "Elsewhere\\src\\Caller", 7, 42, "Included.h", 3, 0};
  ErrorDepthHandler::_ErrorType = pending.type;
  ErrorDepthHandler::_ErrorText = VOKString(pending.text);
  ErrorDepthHandler::_ErrorInteger = pending.errorInteger;
  ErrorDepthHandler::_SourceFile = VOKString(pending.file);
  ErrorDepthHandler::_SourceLine = pending.line;
  ErrorDepthHandler::_IncludedFile = VOKString(pending.includedFile);
  ErrorDepthHandler::_IncludedLine = pending.includedLine;
  VOKSamInstanciateError(pending.type, 0, pending.file.c_str(), pending.line,
                         pending.includedFile.c_str(), pending.includedLine, pending.text.c_str(),
                         pending.errorInteger, 0);
  return pending;
}

/// The last instantiated error is iExpected, the process-wide record holds
/// the same values, and exactly iCount errors were instantiated in all.
inline void ExpectLastRecord(const Record& iExpected, std::size_t iCount = 1) {
  auto errors = VOKHost::InstantiatedErrors();
  ASSERT_EQ(errors.size(), iCount);
  const VOKHost::ErrorRecord& e = errors.back();
  EXPECT_EQ(e.type, iExpected.type);
  EXPECT_EQ(e.text, iExpected.text);
  EXPECT_EQ(e.file, iExpected.file);
  EXPECT_EQ(e.line, iExpected.line);
  EXPECT_EQ(e.errorInteger, iExpected.errorInteger);
  EXPECT_EQ(e.includedFile, iExpected.includedFile);
  EXPECT_EQ(e.includedLine, iExpected.includedLine);
  EXPECT_EQ(e.depth, iExpected.depth);
  EXPECT_EQ(ErrorDepthHandler::_ErrorType, iExpected.type);
  EXPECT_EQ(ErrorDepthHandler::_ErrorText.Std(), iExpected.text);
  EXPECT_EQ(ErrorDepthHandler::_SourceFile.Std(), iExpected.file);
  EXPECT_EQ(ErrorDepthHandler::_SourceLine, iExpected.line);
  EXPECT_EQ(ErrorDepthHandler::_ErrorInteger, iExpected.errorInteger);
  EXPECT_NE(ErrorDepthHandler::IsErrorPending(), 0);
  EXPECT_EQ(ErrorDepthHandler::GetDepth(), iExpected.depth - 1)
      << "the operation's scope was left open";
}

}  // namespace services

#endif
