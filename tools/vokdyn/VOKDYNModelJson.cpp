#include "VOKDYNModelJson.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

namespace vokdyn {

namespace {

using Json = ModelJson;

// Deeper than this is left to the general parser, which refuses it.
constexpr std::size_t kPlainDepth = 60;

// Signals that the text needs the general parser.
struct NotPlain {};

class PlainParser {
 public:
  explicit PlainParser(const std::string& iText)
      : _P(iText.data()), _End(iText.data() + iText.size()) {}

  void Document(Json& oRoot) {
    Space();
    Value(oRoot);
    Space();
    if (_P != _End) throw NotPlain();
  }

 private:
  // The keys on the way down, to know the node-row arrays.
  struct Frame {
    bool isArray;
    const std::string* key;  ///< objects: the key of the member being read
  };

  // Whitespace and comments, as the general parser skips them.
  void Space() {
    for (;;) {
      while (_P != _End && (*_P == ' ' || *_P == '\n' || *_P == '\r' || *_P == '\t')) ++_P;
      if (_P == _End || *_P != '/') return;
      if (_End - _P < 2) throw NotPlain();
      // The general parser takes a NUL byte for the end of the text, in a
      // comment as well: such a text is left to it.
      if (_P[1] == '/') {
        _P += 2;
        while (_P != _End && *_P != '\n' && *_P != '\r') {
          if (*_P == '\0') throw NotPlain();
          ++_P;
        }
      } else if (_P[1] == '*') {
        const char* close = nullptr;
        for (const char* q = _P + 2; q + 1 < _End && *q != '\0'; ++q)
          if (q[0] == '*' && q[1] == '/') {
            close = q;
            break;
          }
        if (!close) throw NotPlain();
        _P = close + 2;
      } else {
        throw NotPlain();
      }
    }
  }

  void Expect(char iChar) {
    if (_P == _End || *_P != iChar) throw NotPlain();
    ++_P;
  }

  void Value(Json& oValue) {
    if (_P == _End) throw NotPlain();
    switch (*_P) {
      case '{':
        Object(oValue);
        return;
      case '[':
        if (RowsHere()) {
          Rows(oValue);
        } else {
          Array(oValue);
        }
        return;
      case '"':
        oValue = String();
        return;
      case 't':
        Word("true");
        oValue = true;
        return;
      case 'f':
        Word("false");
        oValue = false;
        return;
      case 'n':
        Word("null");
        oValue = nullptr;
        return;
      default:
        Number(oValue);
    }
  }

  void Word(const char* iWord) {
    std::size_t n = std::strlen(iWord);
    if (static_cast<std::size_t>(_End - _P) < n || std::memcmp(_P, iWord, n) != 0) throw NotPlain();
    _P += n;
  }

  // Printable ASCII without escapes: the general parser takes it as it is.
  std::string String() {
    Expect('"');
    const char* start = _P;
    while (_P != _End && *_P != '"') {
      unsigned char c = static_cast<unsigned char>(*_P);
      if (c < 0x20 || c > 0x7f || c == '\\') throw NotPlain();
      ++_P;
    }
    if (_P == _End) throw NotPlain();
    std::string out(start, _P);
    ++_P;
    return out;
  }

  // The extent of a JSON number at _P; true when it has a fraction or an
  // exponent (the general parser then makes a double, else an integer).
  bool NumberToken(const char*& oEnd) const {
    const char* q = _P;
    if (q != _End && *q == '-') ++q;
    if (q == _End || *q < '0' || *q > '9') throw NotPlain();
    if (*q == '0') {
      ++q;
    } else {
      while (q != _End && *q >= '0' && *q <= '9') ++q;
    }
    bool real = false;
    if (q != _End && *q == '.') {
      real = true;
      ++q;
      if (q == _End || *q < '0' || *q > '9') throw NotPlain();
      while (q != _End && *q >= '0' && *q <= '9') ++q;
    }
    if (q != _End && (*q == 'e' || *q == 'E')) {
      real = true;
      ++q;
      if (q != _End && (*q == '+' || *q == '-')) ++q;
      if (q == _End || *q < '0' || *q > '9') throw NotPlain();
      while (q != _End && *q >= '0' && *q <= '9') ++q;
    }
    oEnd = q;
    return real;
  }

  // Numbers converted as the general parser converts them: integers that fit
  // 64 bits as integers (unsigned when not negative), the rest correctly
  // rounded to the nearest double. Out of range either way (an integer the
  // general parser would make a double, a double that overflows or
  // underflows) is left to it.
  void Number(Json& oValue) {
    const char* end = nullptr;
    bool real = NumberToken(end);
    if (real) {
      oValue = Real(end);
    } else if (*_P == '-') {
      oValue = Whole<std::int64_t>(end);
    } else {
      oValue = Whole<std::uint64_t>(end);
    }
    _P = end;
  }

  // The integer token _P .. iEnd, signed or not as T; one that does not fit
  // is left to the general parser.
  template <class T>
  T Whole(const char* iEnd) const {
    T v = 0;
    auto r = std::from_chars(_P, iEnd, v);
    if (r.ec != std::errc() || r.ptr != iEnd) throw NotPlain();
    return v;
  }

  double Real(const char* iEnd) const {
    double v = 0.0;
    auto r = std::from_chars(_P, iEnd, v);
    if (r.ec != std::errc() || r.ptr != iEnd || !std::isfinite(v)) throw NotPlain();
    return v;
  }

  // A number of a row, as the loader reads it: the double of the value.
  double RowNumber() {
    const char* end = nullptr;
    bool real = NumberToken(end);
    double out;
    if (real) {
      out = Real(end);
    } else if (*_P == '-') {
      out = static_cast<double>(Whole<std::int64_t>(end));
    } else {
      out = static_cast<double>(Whole<std::uint64_t>(end));
    }
    _P = end;
    return out;
  }

  // The frame shared by objects, arrays and node-row arrays: the depth
  // check, the opening character, the empty case, then elements separated
  // by commas up to the closing character. iElement reads one element at
  // _P (spaces before it are skipped) and leaves _P just after it.
  template <class Element>
  void Sequence(char iOpen, char iClose, Element&& iElement) {
    if (_Frames.size() >= kPlainDepth) throw NotPlain();
    Expect(iOpen);
    _Frames.push_back({iOpen == '[', nullptr});
    Space();
    if (_P != _End && *_P == iClose) {
      ++_P;
      _Frames.pop_back();
      return;
    }
    for (;;) {
      iElement();
      Space();
      if (_P != _End && *_P == ',') {
        ++_P;
        Space();
        continue;
      }
      Expect(iClose);
      break;
    }
    _Frames.pop_back();
  }

  void Object(Json& oValue) {
    oValue = Json::object();
    Json::object_t& object = oValue.get_ref<Json::object_t&>();
    Sequence('{', '}', [&] {
      std::string key = String();
      for (const auto& member : object)
        if (member.first == key) throw NotPlain();  // the general parser says where
      Space();
      Expect(':');
      Space();
      object.emplace_back(std::move(key), Json());
      _Frames.back().key = &object.back().first;
      Value(object.back().second);
    });
  }

  void Array(Json& oValue) {
    oValue = Json::array();
    Json::array_t& array = oValue.get_ref<Json::array_t&>();
    Sequence('[', ']', [&] {
      array.emplace_back();
      Value(array.back());
    });
  }

  // An array about to be read as modal_base.modes[i].shape or
  // enforced[i].static_displacement.
  bool RowsHere() const {
    auto key = [this](std::size_t i, const char* iName) {
      return !_Frames[i].isArray && _Frames[i].key && *_Frames[i].key == iName;
    };
    if (_Frames.size() == 4)
      return key(0, "modal_base") && key(1, "modes") && _Frames[2].isArray && key(3, "shape");
    if (_Frames.size() == 3)
      return key(0, "enforced") && _Frames[1].isArray && key(2, "static_displacement");
    return false;
  }

  // Rows of exactly six numbers, packed; any other content is left to the
  // general parser (and then to the loader's messages).
  void Rows(Json& oValue) {
    std::vector<double> values;
    Sequence('[', ']', [&] {
      Expect('[');
      for (int c = 0; c < 6; ++c) {
        Space();
        values.push_back(RowNumber());
        Space();
        if (c < 5) Expect(',');
      }
      Expect(']');
    });
    std::vector<std::uint8_t> bytes(values.size() * sizeof(double));
    if (!values.empty()) std::memcpy(bytes.data(), values.data(), bytes.size());
    oValue = Json::binary(std::move(bytes), kPackedRowsSubtype);
  }

  const char* _P;
  const char* _End;
  std::vector<Frame> _Frames;
};

}  // namespace

bool ParsePlainModelJson(const std::string& iText, ModelJson& oRoot) {
  // A byte-order mark, which the general parser skips, starts no value
  // here: such a text goes to the general parser too.
  try {
    PlainParser(iText).Document(oRoot);
  } catch (const NotPlain&) {
    return false;
  }
  return true;
}

ModelJson UnpackRows(const ModelJson& iValue) {
  if (IsPackedRows(iValue)) {
    const auto& bytes = iValue.get_binary();
    ModelJson out = ModelJson::array();
    for (std::size_t at = 0; at + 6 * sizeof(double) <= bytes.size(); at += 6 * sizeof(double)) {
      ModelJson row = ModelJson::array();
      for (std::size_t c = 0; c < 6; ++c) {
        double v;
        std::memcpy(&v, bytes.data() + at + c * sizeof(double), sizeof v);
        row.push_back(v);
      }
      out.push_back(std::move(row));
    }
    return out;
  }
  if (iValue.is_object()) {
    ModelJson out = ModelJson::object();
    for (auto it = iValue.begin(); it != iValue.end(); ++it) out[it.key()] = UnpackRows(it.value());
    return out;
  }
  if (iValue.is_array()) {
    ModelJson out = ModelJson::array();
    for (const ModelJson& item : iValue) out.push_back(UnpackRows(item));
    return out;
  }
  return iValue;
}

}  // namespace vokdyn
