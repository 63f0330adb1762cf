#include "VOKDYNJson.h"

#include <sys/mman.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <charconv>
#include <cstring>
#include <limits>
#include <string_view>
#include <unordered_set>

#include <rapidjson/reader.h>

namespace vokdyn {

namespace {

// The document's own builder, with three changes: nesting beyond
// kMaxJsonDepth is refused at once (the parser recurses once per level);
// numbers arrive as their text and are converted by std::from_chars, exactly
// (the nearest double) and faster than the parser's own exact conversion;
// and whether an object gives a key twice is seen as its keys arrive, which
// costs a few comparisons per key rather than another walk over the whole
// document (the walk is made only to name the key, when there is one).
// Strings are copied into the document, so that the text can go once parsed.
class Builder {
 public:
  explicit Builder(rapidjson::Document& ioDocument) : _Document(ioDocument) {}
  bool tooDeep = false;
  bool tooLarge = false;
  bool repeatedKey = false;

  bool Null() { return _Document.Null(); }
  bool Bool(bool b) { return _Document.Bool(b); }
  bool Int(int i) { return _Document.Int(i); }
  bool Uint(unsigned i) { return _Document.Uint(i); }
  bool Int64(int64_t i) { return _Document.Int64(i); }
  bool Uint64(uint64_t i) { return _Document.Uint64(i); }
  bool Double(double d) { return _Document.Double(d); }
  bool RawNumber(const char* s, rapidjson::SizeType n, bool) {
    const char* end = s + n;
    // A token without a fraction or an exponent is an integer, which keeps
    // its kind; beyond 64 bits it is a real.
    if (std::find_if(s, end, [](char c) { return c == '.' || c == 'e' || c == 'E'; }) == end) {
      if (*s == '-') {
        int64_t i = 0;
        if (std::from_chars(s, end, i).ec == std::errc()) return _Document.Int64(i);
      } else {
        uint64_t u = 0;
        if (std::from_chars(s, end, u).ec == std::errc()) return _Document.Uint64(u);
      }
    }
    double v = 0.0;
    if (std::from_chars(s, end, v).ec == std::errc()) return _Document.Double(v);
    // Out of range: an underflow reads as the C library reads it (zero or a
    // subnormal), an overflow is refused.
    v = std::strtod(std::string(s, n).c_str(), nullptr);
    if (std::isinf(v)) {
      tooLarge = true;
      return false;
    }
    return _Document.Double(v);
  }
  bool String(const char* s, rapidjson::SizeType n, bool) { return _Document.String(s, n, true); }
  bool Key(const char* s, rapidjson::SizeType n, bool) {
    if (!repeatedKey) repeatedKey = Repeated(s, n);
    return _Document.Key(s, n, true);
  }
  bool StartObject() {
    if (!Open()) return false;
    _Objects.push_back({_Keys.size(), nullptr});
    return _Document.StartObject();
  }
  bool EndObject(rapidjson::SizeType n) {
    _Keys.resize(_Objects.back().firstKey);
    _Objects.pop_back();
    return --_Depth, _Document.EndObject(n);
  }
  bool StartArray() { return Open() && _Document.StartArray(); }
  bool EndArray(rapidjson::SizeType n) { return --_Depth, _Document.EndArray(n); }

 private:
  // Objects hold a few keys, compared with each other; one that holds more
  // than kFewKeys looks its keys up in a set.
  static constexpr std::size_t kFewKeys = 16;
  struct OpenObject {
    std::size_t firstKey;  // its keys in _Keys
    std::unique_ptr<std::unordered_set<std::string_view>> many;
  };

  // The keys point into the text being parsed, which stays in place (the
  // parser decodes a string where it stands) until the parse ends.
  bool Repeated(const char* s, rapidjson::SizeType n) {
    const std::string_view key(s, n);
    if (_Objects.empty()) return false;
    OpenObject& object = _Objects.back();
    if (object.many) return !object.many->insert(key).second;
    for (std::size_t k = object.firstKey; k < _Keys.size(); ++k)
      if (_Keys[k] == key) return true;
    _Keys.push_back(key);
    if (_Keys.size() - object.firstKey > kFewKeys) {
      object.many = std::make_unique<std::unordered_set<std::string_view>>(_Keys.begin() + static_cast<std::ptrdiff_t>(object.firstKey), _Keys.end());
      _Keys.resize(object.firstKey);
    }
    return false;
  }

  bool Open() {
    if (++_Depth <= kMaxJsonDepth) return true;
    tooDeep = true;
    return false;
  }
  rapidjson::Document& _Document;
  int _Depth = 0;
  std::vector<std::string_view> _Keys;
  std::vector<OpenObject> _Objects;
};

const char* Describe(rapidjson::ParseErrorCode iCode) {
  switch (iCode) {
    case rapidjson::kParseErrorDocumentEmpty:
      return "the text holds no value";
    case rapidjson::kParseErrorDocumentRootNotSingular:
      return "text after the value";
    case rapidjson::kParseErrorValueInvalid:
      return "expected a value (object, array, string, number, true, false or null)";
    case rapidjson::kParseErrorObjectMissName:
      return "expected a key in double quotes";
    case rapidjson::kParseErrorObjectMissColon:
      return "expected ':' after the key";
    case rapidjson::kParseErrorObjectMissCommaOrCurlyBracket:
      return "expected ',' or '}' after an object member";
    case rapidjson::kParseErrorArrayMissCommaOrSquareBracket:
      return "expected ',' or ']' after an array element";
    case rapidjson::kParseErrorStringUnicodeEscapeInvalidHex:
      return "expected four hexadecimal digits after \\u";
    case rapidjson::kParseErrorStringUnicodeSurrogateInvalid:
      return "a \\u escape holds half a surrogate pair";
    case rapidjson::kParseErrorStringEscapeInvalid:
      return "an unknown escape in a string";
    case rapidjson::kParseErrorStringMissQuotationMark:
      return "a string is not closed";
    case rapidjson::kParseErrorStringInvalidEncoding:
      return "a string holds a control character or bytes that are not UTF-8";
    case rapidjson::kParseErrorNumberTooBig:
      return "a number beyond the range of a double";
    case rapidjson::kParseErrorNumberMissFraction:
      return "expected digits after the decimal point";
    case rapidjson::kParseErrorNumberMissExponent:
      return "expected digits in the exponent";
    case rapidjson::kParseErrorUnspecificSyntaxError:
      return "a comment not closed, or a '/' that opens no comment";
    default:
      return "not JSON";
  }
}

[[noreturn]] void FailAt(const std::string& iText, std::size_t iOffset, const std::string& iFile,
                         const std::string& iWhat) {
  iOffset = std::min(iOffset, iText.size());
  std::size_t line = 1 + static_cast<std::size_t>(std::count(iText.begin(), iText.begin() + static_cast<std::ptrdiff_t>(iOffset), '\n'));
  std::size_t lineStart = iText.rfind('\n', iOffset == 0 ? std::string::npos : iOffset - 1);
  std::size_t column = iOffset - (lineStart == std::string::npos ? 0 : lineStart + 1) + 1;
  if (iOffset == 0) column = 1;
  throw InputError(iFile + ": line " + std::to_string(line) + ", column " + std::to_string(column) +
                   ": malformed JSON: " + iWhat);
}

bool SameKey(const JsonValue& a, const JsonValue& b) {
  return a.GetStringLength() == b.GetStringLength() &&
         std::memcmp(a.GetString(), b.GetString(), a.GetStringLength()) == 0;
}

// The way down to a value, kept as steps so that a path is spelt out only
// for a message: a large input has a million small arrays.
struct Step {
  const JsonValue* key;  // a member's name, or null for an item
  rapidjson::SizeType index;
};

std::string PathOf(const std::vector<Step>& iSteps) {
  std::string path;
  for (const Step& s : iSteps)
    path = s.key ? JsonMember(path, std::string(s.key->GetString(), s.key->GetStringLength()))
                 : JsonItem(path, s.index);
  return path;
}

// The first key given twice, in the order of the text: members in order,
// each one's value searched before the members after it.
bool FindRepeatedKey(const JsonValue& iValue, std::vector<Step>& ioSteps, std::string& oPath, std::string& oKey) {
  if (iValue.IsArray()) {
    for (rapidjson::SizeType i = 0; i < iValue.Size(); ++i) {
      const JsonValue& item = iValue[i];
      if (!item.IsObject() && !item.IsArray()) continue;
      ioSteps.push_back({nullptr, i});
      if (FindRepeatedKey(item, ioSteps, oPath, oKey)) return true;
      ioSteps.pop_back();
    }
    return false;
  }
  if (!iValue.IsObject()) return false;
  const bool small = iValue.MemberCount() <= 16;
  std::unordered_set<std::string> seen;
  for (auto it = iValue.MemberBegin(); it != iValue.MemberEnd(); ++it) {
    bool repeated = false;
    if (small) {
      for (auto before = iValue.MemberBegin(); before != it && !repeated; ++before)
        repeated = SameKey(before->name, it->name);
    } else {
      repeated = !seen.emplace(it->name.GetString(), it->name.GetStringLength()).second;
    }
    ioSteps.push_back({&it->name, 0});
    if (repeated) {
      oPath = PathOf(ioSteps);
      oKey.assign(it->name.GetString(), it->name.GetStringLength());
      return true;
    }
    if (FindRepeatedKey(it->value, ioSteps, oPath, oKey)) return true;
    ioSteps.pop_back();
  }
  return false;
}

std::size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      std::size_t above = row[j];
      bool same = std::tolower(static_cast<unsigned char>(a[i - 1])) ==
                  std::tolower(static_cast<unsigned char>(b[j - 1]));
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

}  // namespace

// The values of a large text take several times its size (16 bytes a
// number, 32 a member), written once from start to end. Mapped for them as
// one block that the kernel may back with huge pages, they cost a page
// fault every 2 MB rather than every 4 kB; the block is only reserved, so
// what the values leave untouched costs nothing.
JsonDocument::JsonDocument(std::size_t iTextSize) : _Block(nullptr, Unmap{0}) {
  constexpr std::size_t kHuge = std::size_t(1) << 21, kFactor = 4;
  if (iTextSize >= kHuge / kFactor) {
    const std::size_t size = (kFactor * iTextSize + kHuge - 1) / kHuge * kHuge;
    void* block = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (block != MAP_FAILED) {
      ::madvise(block, size, MADV_HUGEPAGE);  // a hint: without it, the same block in small pages
      _Block = std::unique_ptr<void, Unmap>(block, Unmap{size});
      _Pool = std::make_unique<rapidjson::MemoryPoolAllocator<>>(block, size, kChunk);
    }
  }
  if (!_Pool) _Pool = std::make_unique<rapidjson::MemoryPoolAllocator<>>(kChunk);
  _Document = std::make_unique<rapidjson::Document>(_Pool.get(), kChunk);
}

void JsonDocument::Unmap::operator()(void* iBlock) const { ::munmap(iBlock, size); }

JsonDocument ParseJson(std::string iText, const std::string& iFile) {
  constexpr unsigned kFlags = rapidjson::kParseCommentsFlag | rapidjson::kParseInsituFlag |
                              rapidjson::kParseNumbersAsStringsFlag | rapidjson::kParseValidateEncodingFlag;
  // The parser works in place: it writes the strings it decodes over the
  // text. Without escapes that changes no line, so positions in messages are
  // taken from the text it leaves; with escapes it works on a copy.
  const bool escapes = std::memchr(iText.data(), '\\', iText.size()) != nullptr;
  std::string copy;
  if (escapes) copy = iText;
  std::string& buffer = escapes ? copy : iText;

  // Whether the text is all ASCII, eight bytes at a time: a small part of
  // what checking each string costs.
  std::uint64_t high = 0;
  std::size_t k = 0;
  for (; k + 8 <= buffer.size(); k += 8) {
    std::uint64_t word;
    std::memcpy(&word, buffer.data() + k, 8);
    high |= word;
  }
  for (; k < buffer.size(); ++k) high |= static_cast<unsigned char>(buffer[k]);
  const bool ascii = (high & 0x8080808080808080ull) == 0;
  JsonDocument parsed(buffer.size());
  rapidjson::Reader reader;
  // The string's terminating NUL ends the parser's stream; a NUL inside the
  // text would end it early, which the position reached shows.
  rapidjson::InsituStringStream stream(&buffer[0]);
  bool tooDeep = false, tooLarge = false, repeatedKey = false;
  auto generate = [&](rapidjson::Document& ioDocument) {
    Builder builder(ioDocument);
    // UTF-8 needs checking only where a byte is not ASCII; the parser
    // refuses control characters in strings either way.
    if (ascii)
      reader.Parse<kFlags & ~static_cast<unsigned>(rapidjson::kParseValidateEncodingFlag)>(stream, builder);
    else
      reader.Parse<kFlags>(stream, builder);
    tooDeep = builder.tooDeep;
    tooLarge = builder.tooLarge;
    repeatedKey = builder.repeatedKey;
    return !reader.HasParseError();
  };
  parsed._Document->Populate(generate);
  if (tooDeep) throw InputError(iFile + ": nesting deeper than " + std::to_string(kMaxJsonDepth) + " levels");
  if (tooLarge) FailAt(iText, reader.GetErrorOffset(), iFile, Describe(rapidjson::kParseErrorNumberTooBig));
  if (reader.HasParseError()) FailAt(iText, reader.GetErrorOffset(), iFile, Describe(reader.GetParseErrorCode()));
  if (stream.Tell() != buffer.size()) FailAt(iText, stream.Tell(), iFile, "a NUL byte outside a string");
  std::vector<Step> steps;
  std::string path, key;
  if (repeatedKey && FindRepeatedKey(parsed.Root(), steps, path, key))
    throw InputError(iFile + ": " + path + ": the key " + JsonQuote(key) + " is given twice");
  return parsed;
}

std::string JsonMember(const std::string& iPath, const std::string& iKey) {
  bool plain = !iKey.empty() && std::all_of(iKey.begin(), iKey.end(), [](unsigned char c) {
    return std::isalnum(c) || c == '_' || c == '-';
  });
  std::string key = plain ? iKey : JsonQuote(iKey);
  if (iPath.empty()) return key;
  return plain ? iPath + "." + key : iPath + "[" + key + "]";
}

std::string JsonItem(const std::string& iPath, std::size_t iIndex) {
  return iPath + "[" + std::to_string(iIndex) + "]";
}

std::string JsonQuote(const std::string& iText) {
  std::string out = "\"";
  for (char c : iText) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
          out += escape;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

std::string DescribeJson(const JsonValue& iValue) {
  std::string text;
  if (iValue.IsObject()) return "an object";
  if (iValue.IsArray()) return "an array of " + std::to_string(iValue.Size());
  if (iValue.IsNull()) return "null";
  if (iValue.IsBool()) return iValue.GetBool() ? "true" : "false";
  if (iValue.IsString()) {
    text = JsonQuote(std::string(iValue.GetString(), iValue.GetStringLength()));
  } else if (iValue.IsInt64()) {
    text = std::to_string(iValue.GetInt64());
  } else if (iValue.IsUint64()) {
    text = std::to_string(iValue.GetUint64());
  } else {
    // The shortest form that reads back; a real keeps a fraction (1.0).
    char buffer[32];
    auto end = std::to_chars(buffer, buffer + sizeof buffer, iValue.GetDouble()).ptr;
    text.assign(buffer, end);
    if (text.find_first_of(".en") == std::string::npos) text += ".0";
  }
  if (text.size() > 40) text = text.substr(0, 37) + "...";
  return text;
}

std::string NearestKey(const std::string& iKey, const std::vector<std::string>& iKnown) {
  std::string best;
  std::size_t bestDistance = std::numeric_limits<std::size_t>::max();
  for (const std::string& known : iKnown) {
    std::size_t d = EditDistance(iKey, known);
    if (d < bestDistance) {
      bestDistance = d;
      best = known;
    }
  }
  // A third of the longer word, at least two edits: close enough to be a
  // misspelling rather than another word.
  std::size_t longest = std::max(iKey.size(), best.size());
  std::size_t limit = std::max<std::size_t>(2, longest / 3);
  if (best.empty() || bestDistance > limit || bestDistance >= longest) return std::string();
  return best;
}

// ------------------------------------------------------------------ reader

void JsonReader::Fail(const std::string& iPath, const std::string& iWhat) const {
  throw InputError(_File + ": " + (iPath.empty() ? std::string("top level") : iPath) + ": " + iWhat);
}

void JsonReader::Expected(const std::string& iPath, const std::string& iWhat, const JsonValue& iGot) const {
  Fail(iPath, "expected " + iWhat + ", got " + DescribeJson(iGot));
}

void JsonReader::Object(const JsonValue& iValue, const std::string& iPath,
                        const std::vector<std::string>& iKnown) const {
  if (!iValue.IsObject()) Expected(iPath, "an object", iValue);
  for (auto it = iValue.MemberBegin(); it != iValue.MemberEnd(); ++it) {
    std::string key(it->name.GetString(), it->name.GetStringLength());
    if (std::find(iKnown.begin(), iKnown.end(), key) != iKnown.end()) continue;
    std::string message = "unknown key " + JsonQuote(key);
    std::string nearest = NearestKey(key, iKnown);
    if (!nearest.empty()) {
      message += " (did you mean \"" + nearest + "\"?)";
    } else {
      message += " (known keys:";
      for (const std::string& k : iKnown) message += " " + k;
      message += ")";
    }
    Fail(iPath, message);
  }
}

const JsonValue* JsonReader::Find(const JsonValue& iObject, const char* iKey) {
  if (!iObject.IsObject()) return nullptr;
  auto it = iObject.FindMember(iKey);
  return it == iObject.MemberEnd() ? nullptr : &it->value;
}

const JsonValue& JsonReader::Require(const JsonValue& iObject, const std::string& iPath, const char* iKey,
                                     const std::string& iWhat) const {
  const JsonValue* value = Find(iObject, iKey);
  if (!value) Fail(JsonMember(iPath, iKey), "missing: expected " + iWhat);
  return *value;
}

double JsonReader::Real(const JsonValue& iValue, const std::string& iPath) const {
  if (!iValue.IsNumber()) Expected(iPath, "a number", iValue);
  return iValue.GetDouble();
}

double JsonReader::Positive(const JsonValue& iValue, const std::string& iPath) const {
  if (!iValue.IsNumber() || !(iValue.GetDouble() > 0.0)) Expected(iPath, "a number > 0", iValue);
  return iValue.GetDouble();
}

double JsonReader::NonNegative(const JsonValue& iValue, const std::string& iPath) const {
  if (!iValue.IsNumber() || !(iValue.GetDouble() >= 0.0)) Expected(iPath, "a number >= 0", iValue);
  return iValue.GetDouble();
}

long long JsonReader::Integer(const JsonValue& iValue, const std::string& iPath, const std::string& iWhat,
                              long long iMin, long long iMax) const {
  long long v = 0;
  if (iValue.IsInt64()) {
    v = iValue.GetInt64();
  } else if (iValue.IsUint64()) {  // beyond the signed range: too large for any use here
    Expected(iPath, iWhat, iValue);
  } else {
    Expected(iPath, iWhat, iValue);
  }
  if (v < iMin || v > iMax) Expected(iPath, iWhat, iValue);
  return v;
}

bool JsonReader::Boolean(const JsonValue& iValue, const std::string& iPath) const {
  if (!iValue.IsBool()) Expected(iPath, "true or false", iValue);
  return iValue.GetBool();
}

std::string JsonReader::Text(const JsonValue& iValue, const std::string& iPath) const {
  if (!iValue.IsString()) Expected(iPath, "a string", iValue);
  return std::string(iValue.GetString(), iValue.GetStringLength());
}

const JsonValue& JsonReader::Array(const JsonValue& iValue, const std::string& iPath, const std::string& iWhat,
                                   bool iNonEmpty) const {
  if (!iValue.IsArray() || (iNonEmpty && iValue.Empty())) Expected(iPath, iWhat, iValue);
  return iValue;
}

std::vector<double> JsonReader::Reals(const JsonValue& iValue, const std::string& iPath) const {
  Array(iValue, iPath, "an array of numbers", false);
  std::vector<double> out;
  out.reserve(iValue.Size());
  for (rapidjson::SizeType i = 0; i < iValue.Size(); ++i) out.push_back(Real(iValue[i], JsonItem(iPath, i)));
  return out;
}

}  // namespace vokdyn
