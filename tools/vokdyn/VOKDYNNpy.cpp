#include "VOKDYNNpy.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

namespace vokdyn {

namespace {

const char kMagic[] = "\x93NUMPY";
constexpr std::size_t kMagicSize = 6;

static_assert(sizeof(Vec6) == 6 * sizeof(double), "a row of a shape is six packed doubles");

bool LittleEndianHost() {
  const std::uint16_t one = 1;
  unsigned char first = 0;
  std::memcpy(&first, &one, 1);
  return first == 1;
}

// The little-endian unsigned integer of iCount bytes at iAt.
std::uint64_t LittleEndian(std::string_view iBytes, std::size_t iAt, std::size_t iCount) {
  std::uint64_t v = 0;
  for (std::size_t k = iCount; k-- > 0;) v = (v << 8) | static_cast<unsigned char>(iBytes[iAt + k]);
  return v;
}

// A short, printable excerpt of the header near a syntax error.
std::string Excerpt(std::string_view iText, std::size_t iAt) {
  std::string out;
  for (std::size_t i = iAt; i < iText.size() && out.size() < 24; ++i) {
    unsigned char c = static_cast<unsigned char>(iText[i]);
    if (c >= 0x20 && c < 0x7f) {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    }
  }
  return iAt >= iText.size() ? std::string("the end of the header") : "'" + out + "'";
}

// The header: a Python dictionary literal whose values are strings, the
// names True and False, and tuples of non-negative integers. That is all
// numpy writes; anything else is refused rather than guessed at.
class HeaderParser {
 public:
  explicit HeaderParser(std::string_view iText) : _T(iText) {}

  NpyHeader Parse() {
    NpyHeader header;
    bool descr = false, order = false, shape = false;
    Space();
    Expect('{', "a dictionary '{'");
    Space();
    while (!Peek('}')) {
      std::string key = String("a key in quotes");
      Space();
      Expect(':', "':' after the key '" + key + "'");
      Space();
      if (key == "descr") {
        Once(descr, key);
        header.descr = String("the dtype as a string, such as '<f8'");
      } else if (key == "fortran_order") {
        Once(order, key);
        header.fortranOrder = Boolean();
      } else if (key == "shape") {
        Once(shape, key);
        header.shape = Tuple();
      } else {
        throw NpyError("header: unknown key '" + key +
                       "' (a header holds 'descr', 'fortran_order' and 'shape')");
      }
      Separator('}', "',' or '}'");
    }
    ++_At;
    Space();
    if (_At != _T.size()) Fail("nothing but spaces after the dictionary");
    if (!descr || !order || !shape) {
      std::string missing = !descr ? "descr" : !order ? "fortran_order" : "shape";
      throw NpyError("header: the key '" + missing + "' is missing");
    }
    return header;
  }

 private:
  [[noreturn]] void Fail(const std::string& iExpected) const {
    throw NpyError("header: expected " + iExpected + ", found " + Excerpt(_T, _At));
  }
  void Once(bool& ioSeen, const std::string& iKey) const {
    if (ioSeen) throw NpyError("header: the key '" + iKey + "' is given twice");
    ioSeen = true;
  }
  bool Peek(char iChar) const { return _At < _T.size() && _T[_At] == iChar; }
  // After an element: a comma (taken, with the spaces after it) or iClose
  // (left for the caller); anything else fails, naming iExpected.
  void Separator(char iClose, const char* iExpected) {
    Space();
    if (Peek(',')) {
      ++_At;
      Space();
    } else if (!Peek(iClose)) {
      Fail(iExpected);
    }
  }
  void Space() {
    while (_At < _T.size() && (_T[_At] == ' ' || _T[_At] == '\n' || _T[_At] == '\t' || _T[_At] == '\r'))
      ++_At;
  }
  void Expect(char iChar, const std::string& iWhat) {
    if (!Peek(iChar)) Fail(iWhat);
    ++_At;
  }
  std::string String(const std::string& iWhat) {
    if (!Peek('\'') && !Peek('"')) Fail(iWhat);
    char quote = _T[_At++];
    std::string out;
    while (_At < _T.size() && _T[_At] != quote) {
      // Escapes never occur in what numpy writes; refusing them keeps the
      // value exactly what the file says.
      if (_T[_At] == '\\' || _T[_At] == '\n') Fail("a plain string");
      out += _T[_At++];
    }
    if (_At >= _T.size()) Fail(std::string("the closing ") + quote);
    ++_At;
    return out;
  }
  bool Boolean() {
    if (_T.compare(_At, 4, "True") == 0) {
      _At += 4;
      return true;
    }
    if (_T.compare(_At, 5, "False") == 0) {
      _At += 5;
      return false;
    }
    Fail("True or False for 'fortran_order'");
  }
  std::vector<std::uint64_t> Tuple() {
    Expect('(', "a tuple of integers for 'shape'");
    std::vector<std::uint64_t> out;
    Space();
    while (!Peek(')')) {
      if (_At >= _T.size() || _T[_At] < '0' || _T[_At] > '9') Fail("a non-negative integer in 'shape'");
      std::uint64_t v = 0;
      while (_At < _T.size() && _T[_At] >= '0' && _T[_At] <= '9') {
        std::uint64_t digit = static_cast<std::uint64_t>(_T[_At] - '0');
        if (v > (UINT64_MAX - digit) / 10) throw NpyError("header: a dimension of 'shape' is too large");
        v = v * 10 + digit;
        ++_At;
      }
      out.push_back(v);
      Separator(')', "',' or ')' in 'shape'");
    }
    ++_At;
    return out;
  }

  std::string_view _T;
  std::size_t _At = 0;
};

}  // namespace

std::string NpyShapeText(const std::vector<std::uint64_t>& iShape) {
  std::string out = "(";
  for (std::size_t i = 0; i < iShape.size(); ++i)
    out += (i ? ", " : "") + std::to_string(iShape[i]);
  return out + (iShape.size() == 1 ? ",)" : ")");
}

NpyHeader ParseNpyHeader(std::string_view iBytes) {
  std::size_t compared = std::min(iBytes.size(), kMagicSize);
  if (iBytes.substr(0, compared) != std::string_view(kMagic, compared))
    throw NpyError("not a .npy file: it does not begin with \\x93NUMPY");
  if (iBytes.size() < kMagicSize + 2)
    throw NpyError("truncated: " + std::to_string(iBytes.size()) + " bytes, not even a preamble");
  NpyHeader header;
  header.major = static_cast<unsigned char>(iBytes[6]);
  header.minor = static_cast<unsigned char>(iBytes[7]);
  if ((header.major != 1 && header.major != 2) || header.minor != 0)
    throw NpyError("format version " + std::to_string(header.major) + "." +
                   std::to_string(header.minor) + ": expected 1.0 or 2.0");
  std::size_t lengthBytes = header.major == 1 ? 2 : 4;
  std::size_t preamble = kMagicSize + 2 + lengthBytes;
  if (iBytes.size() < preamble)
    throw NpyError("truncated: " + std::to_string(iBytes.size()) + " bytes, not even a preamble");
  std::uint64_t length = LittleEndian(iBytes, kMagicSize + 2, lengthBytes);
  if (length > iBytes.size() - preamble)
    throw NpyError("truncated: the header is said to be " + std::to_string(length) +
                   " bytes, the file ends " + std::to_string(iBytes.size() - preamble) +
                   " bytes after the preamble");
  NpyHeader parsed = HeaderParser(iBytes.substr(preamble, static_cast<std::size_t>(length))).Parse();
  parsed.major = header.major;
  parsed.minor = header.minor;
  parsed.dataOffset = preamble + length;
  return parsed;
}

void CheckModeShapesHeader(const NpyHeader& iHeader, std::uint64_t iFileBytes, std::size_t iModes,
                           std::size_t iNodes) {
  if (iHeader.descr != "<f8")
    throw NpyError("dtype '" + iHeader.descr + "': expected '<f8' (little-endian 64-bit floats)");
  if (iHeader.fortranOrder)
    throw NpyError("fortran_order is True: expected the C order (fortran_order False)");
  const std::uint64_t modes = iModes, nodes = iNodes;
  const std::vector<std::uint64_t> rows = {modes, nodes, 6}, flat = {modes, nodes * 6};
  if (iHeader.shape != rows && iHeader.shape != flat)
    throw NpyError("shape " + NpyShapeText(iHeader.shape) + ": expected " + NpyShapeText(rows) +
                   " or " + NpyShapeText(flat) + ", (modes, nodes, 6) for this model");
  // No overflow: the model holds as many nodes and modes already.
  const std::uint64_t expected = modes * nodes * 6 * sizeof(double);
  const std::uint64_t present = iFileBytes - iHeader.dataOffset;
  if (present != expected)
    throw NpyError((present < expected ? "truncated: " : "extra bytes after the array: ") +
                   std::to_string(present) + " bytes of data, expected " +
                   std::to_string(expected) + " for shape " + NpyShapeText(iHeader.shape));
}

std::vector<double> LittleEndianDoubles(const char* iData, std::size_t iCount) {
  std::vector<double> values(iCount);
  std::memcpy(values.data(), iData, iCount * sizeof(double));
  if (!LittleEndianHost())
    for (double& v : values) {
      unsigned char b[sizeof(double)];
      std::memcpy(b, &v, sizeof b);
      for (std::size_t k = 0; k < sizeof b / 2; ++k) std::swap(b[k], b[sizeof b - 1 - k]);
      std::memcpy(&v, b, sizeof b);
    }
  return values;
}

ModeShapes DecodeModeShapes(std::string_view iBytes, std::size_t iModes, std::size_t iNodes) {
  const NpyHeader header = ParseNpyHeader(iBytes);
  CheckModeShapesHeader(header, iBytes.size(), iModes, iNodes);
  const std::size_t count = iModes * iNodes * 6;
  auto values = std::make_shared<const std::vector<double>>(
      LittleEndianDoubles(iBytes.data() + header.dataOffset, count));
  ModeShapes shapes(std::shared_ptr<const double>(values, values->data()), iModes, iNodes, false);
  shapes.SetFlatIndex(header.shape.size() == 2);
  return shapes;
}

std::string NonFiniteText(const ModeShapes::Element& iElement, bool iFlat) {
  const double v = iElement.value;
  std::string index = std::to_string(iElement.mode) + ", " +
                      (iFlat ? std::to_string(iElement.node * 6 + iElement.component)
                             : std::to_string(iElement.node) + ", " + std::to_string(iElement.component));
  // A model file in JSON cannot hold these; neither may its arrays.
  return "element [" + index + "] is " + (std::isnan(v) ? "nan" : v > 0 ? "inf" : "-inf") +
         ": expected a finite number";
}

std::string NpyShapesHeader(std::size_t iModes, std::size_t iNodes) {
  std::string dict = "{'descr': '<f8', 'fortran_order': False, 'shape': " +
                     NpyShapeText({iModes, iNodes, 6}) + ", }";
  // Padded with spaces and ended by a newline so that the data starts on a
  // multiple of 64 bytes, as numpy writes it.
  std::size_t preamble = kMagicSize + 2 + 2;
  std::size_t total = (preamble + dict.size() + 1 + 63) / 64 * 64;
  dict.append(total - preamble - dict.size() - 1, ' ');
  dict += '\n';
  if (dict.size() > 0xffff) throw std::invalid_argument("NpyShapesHeader: header too long");
  std::string out(kMagic, kMagicSize);
  out += '\x01';
  out += '\x00';
  out += static_cast<char>(dict.size() & 0xff);
  out += static_cast<char>(dict.size() >> 8);
  return out + dict;
}

void AppendLittleEndian(std::string& ioOut, const double* iValues, std::size_t iCount) {
  if (LittleEndianHost()) {
    ioOut.append(reinterpret_cast<const char*>(iValues), iCount * sizeof(double));
    return;
  }
  for (std::size_t i = 0; i < iCount; ++i) {
    unsigned char b[sizeof(double)];
    std::memcpy(b, &iValues[i], sizeof b);
    for (std::size_t k = 0; k < sizeof b / 2; ++k) std::swap(b[k], b[sizeof b - 1 - k]);
    ioOut.append(reinterpret_cast<const char*>(b), sizeof b);
  }
}

std::string EncodeModeShapes(const ModeShapes& iShapes) {
  std::string out = NpyShapesHeader(iShapes.Modes(), iShapes.Nodes());
  const std::size_t count = iShapes.Modes() * iShapes.Nodes() * 6;
  out.reserve(out.size() + count * sizeof(double));
  if (count) AppendLittleEndian(out, iShapes.Mode(0), count);
  return out;
}

}  // namespace vokdyn
