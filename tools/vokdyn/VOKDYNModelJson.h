#ifndef VOKDYNModelJson_h
#define VOKDYNModelJson_h
// The quick reading of model files in the form programs write them: large
// models are millions of numbers in rows of six, which a general JSON parser
// takes seconds to turn into values one by one.
//
// ParsePlainModelJson reads the common subset of JSON (strings of printable
// ASCII without escapes, numbers that convert exactly as the general parser
// converts them, // and /* */ comments, nesting under 64 levels, no repeated
// key) and gives up, returning false, on anything else: the caller then
// parses with the general parser, which gives every error its message. So
// when it succeeds, the value is the one the general parser would build,
// except that the rows of the node-row arrays ("shape" of each mode in
// modal_base.modes, "static_displacement" of each enforced set) are packed.
#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

namespace vokdyn {

using ModelJson = nlohmann::ordered_json;

/// Binary subtype of a packed array of rows of six numbers: the doubles in
/// row order, in the host's byte order.
constexpr std::uint64_t kPackedRowsSubtype = 6;

/// True when iValue is a packed array of rows.
inline bool IsPackedRows(const ModelJson& iValue) {
  return iValue.is_binary() && iValue.get_binary().has_subtype() &&
         iValue.get_binary().subtype() == kPackedRowsSubtype;
}

/// Parses iText into oRoot when it is in the plain subset above; false
/// (oRoot then unspecified) when the general parser must read it.
bool ParsePlainModelJson(const std::string& iText, ModelJson& oRoot);

/// The value with its packed rows unpacked into arrays of six numbers (the
/// general parser's value for the same text; for checks of the two).
ModelJson UnpackRows(const ModelJson& iValue);

}  // namespace vokdyn

#endif
