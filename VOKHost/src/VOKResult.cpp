// Names of result codes, for messages and test output.
#include <cstdio>

#include "VOKTypes.h"

const char* VOKResultName(long iResult) {
  switch (iResult) {
    case S_OK: return "S_OK";
    case S_FALSE: return "S_FALSE";
    case E_FAIL: return "E_FAIL";
    case E_UNEXPECTED: return "E_UNEXPECTED";
    case E_NOINTERFACE: return "E_NOINTERFACE";
    case E_NOTIMPL: return "E_NOTIMPL";
    case E_OUTOFMEMORY: return "E_OUTOFMEMORY";
    case E_INVALIDARG: return "E_INVALIDARG";
    default: return nullptr;
  }
}

const char* VOKResultText(long iResult, char (&oBuffer)[48]) {
  const char* name = VOKResultName(iResult);
  unsigned bits = static_cast<unsigned>(static_cast<std::uint32_t>(iResult));
  if (name)
    std::snprintf(oBuffer, sizeof oBuffer, "%s (0x%08X)", name, bits);
  else
    std::snprintf(oBuffer, sizeof oBuffer, "0x%08X", bits);
  return oBuffer;
}
