#ifndef VOKTypes_h
#define VOKTypes_h
// Result codes and interface identifiers of the host's component model.
//
// A result code is a 32-bit value kept in a `long`. On this platform `long`
// is 64 bits wide, so every code is defined sign-extended from its 32-bit
// pattern: the failure codes (high bit set) compare negative, as callers
// expect from `FAILED(hr)`.
#include <cstdint>
#include <cstring>
#include "VOKHostExport.h"

typedef long HRESULT;

constexpr long VOKMakeResult(std::uint32_t iBits) {
  return static_cast<long>(static_cast<std::int32_t>(iBits));
}

constexpr long S_OK = 0;
constexpr long S_FALSE = 1;
constexpr long E_FAIL = VOKMakeResult(0x80004005u);
constexpr long E_UNEXPECTED = VOKMakeResult(0x8000FFFFu);
constexpr long E_NOINTERFACE = VOKMakeResult(0x80004002u);
constexpr long E_NOTIMPL = VOKMakeResult(0x80004001u);
constexpr long E_OUTOFMEMORY = VOKMakeResult(0x8007000Eu);
constexpr long E_INVALIDARG = VOKMakeResult(0x80070057u);

static_assert(E_FAIL < 0 && E_UNEXPECTED < 0 && E_NOINTERFACE < 0,
              "failure codes must compare negative");

#define SUCCEEDED(hr) (static_cast<long>(hr) >= 0)
#define FAILED(hr) (static_cast<long>(hr) < 0)

/// Printable name of a result code ("E_FAIL"), or null for a code without one.
VOKHOST_API const char* VOKResultName(long iResult);
/// "E_FAIL (0x80004005)" or "0x........" for unnamed codes; for messages and test output.
VOKHOST_API const char* VOKResultText(long iResult, char (&oBuffer)[48]);

struct GUID {
  std::uint32_t Data1;
  std::uint16_t Data2;
  std::uint16_t Data3;
  std::uint8_t Data4[8];
};
typedef GUID IID;

inline bool operator==(const GUID& a, const GUID& b) {
  return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}
inline bool operator!=(const GUID& a, const GUID& b) { return !(a == b); }

// Identifiers of the host's interfaces. Values are this platform's own; only
// their identity matters.
#define VOK_DEFINE_IID(name, n) \
  inline constexpr IID name = {0x564F4B00u + (n), 0x4459, 0x4E00, {0x80, 0, 0, 0, 0, 0, 0x10, (n) & 0xFF}}

#endif
