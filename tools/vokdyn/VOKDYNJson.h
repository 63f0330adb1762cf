#ifndef VOKDYNJson_h
#define VOKDYNJson_h
// Reading JSON input files whatever their schema: the text parsed with
// comments allowed and every double to full precision, then typed values
// read from it with the JSON path of each in the messages.
//
// Every refusal is an InputError whose text names the file, then either the
// line and column (malformed JSON) or the JSON path and what was expected:
//   "model.json: line 3, column 11: malformed JSON: expected a value ..."
//   "model.json: modal_base.modes[3].frequency: expected a number > 0, got -1"
#include <array>
#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <rapidjson/document.h>

namespace vokdyn {

/// An input file refused: a user error, with the file and where in it.
class InputError : public std::runtime_error {
 public:
  explicit InputError(const std::string& iMessage) : std::runtime_error(iMessage) {}
};

using JsonValue = rapidjson::Value;

/// Deeper nesting than this is never an input of ours: refused while
/// parsing, before the parser's recursion costs anything.
constexpr int kMaxJsonDepth = 64;

/// A parsed text: its values, which live in the document's own memory pool
/// (strings included), not in the text.
class JsonDocument {
 public:
  JsonDocument() : JsonDocument(0) {}
  const JsonValue& Root() const { return *_Document; }

 private:
  friend JsonDocument ParseJson(std::string, const std::string&);
  /// Room for the values of a text of iTextSize bytes in the pool's first chunk.
  explicit JsonDocument(std::size_t iTextSize);
  static constexpr std::size_t kChunk = 1 << 22;  ///< pool chunks and parse stack: few reallocations
  struct Unmap {
    std::size_t size;
    void operator()(void* iBlock) const;
  };
  std::unique_ptr<void, Unmap> _Block;  ///< the pool's first chunk, when mapped for it
  std::unique_ptr<rapidjson::MemoryPoolAllocator<>> _Pool;
  std::unique_ptr<rapidjson::Document> _Document;  ///< allocates from _Pool
};

/// Parses iText (the whole file; iFile names it in messages; pass it with
/// std::move when it is not needed any more: the parser works in it). Accepts // and
/// /* */ comments outside strings; keeps every number as the nearest double
/// (integers as integers); refuses malformed JSON with its line and column
/// (both from 1, the column in bytes), strings that are not UTF-8, nesting
/// deeper than kMaxJsonDepth, a NUL byte outside strings and a key given
/// twice in an object (the first one in the text is named). Throws
/// InputError.
JsonDocument ParseJson(std::string iText, const std::string& iFile);

/// "a.b", "a[\"odd key\"]": the path of member iKey of iPath (keys that are
/// not letters, digits, '_' and '-' are quoted).
std::string JsonMember(const std::string& iPath, const std::string& iKey);
/// "a[3]".
std::string JsonItem(const std::string& iPath, std::size_t iIndex);
/// iText as a JSON string literal (quotes and escapes).
std::string JsonQuote(const std::string& iText);
/// What a value is, for "expected ..., got ..." messages: "an object", "an
/// array of 3", "null", the literal (cut to 40 characters).
std::string DescribeJson(const JsonValue& iValue);

/// The known key nearest to iKey by edit distance (case ignored), empty when
/// none is close enough to be a plausible misspelling.
std::string NearestKey(const std::string& iKey, const std::vector<std::string>& iKnown);

/// Typed reading of the values of one file. Every check that fails throws
/// InputError "<file>: <path>: <what>" (an empty path reads "top level").
class JsonReader {
 public:
  explicit JsonReader(std::string iFile) : _File(std::move(iFile)) {}
  const std::string& File() const { return _File; }

  [[noreturn]] void Fail(const std::string& iPath, const std::string& iWhat) const;
  [[noreturn]] void Expected(const std::string& iPath, const std::string& iWhat, const JsonValue& iGot) const;

  /// Checks that iValue is an object whose keys are all among iKnown; an
  /// unknown key is refused with the nearest known key, or the list of them.
  void Object(const JsonValue& iValue, const std::string& iPath, const std::vector<std::string>& iKnown) const;
  /// The member iKey of an object, null when absent.
  static const JsonValue* Find(const JsonValue& iObject, const char* iKey);
  /// The member iKey, refused as "missing: expected <iWhat>" when absent.
  const JsonValue& Require(const JsonValue& iObject, const std::string& iPath, const char* iKey,
                           const std::string& iWhat) const;

  double Real(const JsonValue& iValue, const std::string& iPath) const;
  double Positive(const JsonValue& iValue, const std::string& iPath) const;
  double NonNegative(const JsonValue& iValue, const std::string& iPath) const;
  /// An integer token within [iMin, iMax] (a number with a fraction or an
  /// exponent is refused), with iWhat as the expectation.
  long long Integer(const JsonValue& iValue, const std::string& iPath, const std::string& iWhat, long long iMin,
                    long long iMax) const;
  bool Boolean(const JsonValue& iValue, const std::string& iPath) const;
  std::string Text(const JsonValue& iValue, const std::string& iPath) const;
  /// An array (non-empty when iNonEmpty), refused as "expected <iWhat>".
  const JsonValue& Array(const JsonValue& iValue, const std::string& iPath, const std::string& iWhat,
                         bool iNonEmpty) const;
  std::vector<double> Reals(const JsonValue& iValue, const std::string& iPath) const;

  /// An array of exactly N numbers.
  template <std::size_t N>
  std::array<double, N> Fixed(const JsonValue& iValue, const std::string& iPath) const {
    return Fixed<N>(iValue, [&iPath]() { return iPath; });
  }
  /// The same with the path made only for a message: inputs hold millions of
  /// such rows, and building each one's path costs more than reading it.
  template <std::size_t N, class PathOf>
  std::array<double, N> Fixed(const JsonValue& iValue, const PathOf& iPathOf) const {
    if (!iValue.IsArray() || iValue.Size() != N)
      Expected(iPathOf(), "an array of " + std::to_string(N) + " numbers", iValue);
    std::array<double, N> out{};
    for (rapidjson::SizeType i = 0; i < N; ++i) {
      const JsonValue& v = iValue[i];
      if (!v.IsNumber()) Expected(JsonItem(iPathOf(), i), "a number", v);
      out[i] = v.GetDouble();
    }
    return out;
  }

 private:
  std::string _File;
};

}  // namespace vokdyn

#endif
