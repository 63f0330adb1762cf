#include "VOKDYNFrdReader.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <unordered_map>

namespace vokdyn {

namespace {

struct ElementType {
  const char* name;
  int nodes;
};

// Indexed by the .frd type number.
const ElementType kTypes[] = {{"", 0},     {"he8", 8},  {"pe6", 6},  {"te4", 4},   {"he20", 20},
                              {"pe15", 15}, {"te10", 10}, {"tr3", 3}, {"tr6", 6},  {"qu4", 4},
                              {"qu8", 8},   {"be2", 2},   {"be3", 3}};
constexpr int kTypeCount = static_cast<int>(sizeof kTypes / sizeof kTypes[0]);

std::string_view Trim(std::string_view iText) {
  while (!iText.empty() && (iText.front() == ' ' || iText.front() == '\t')) iText.remove_prefix(1);
  while (!iText.empty() && (iText.back() == ' ' || iText.back() == '\t' || iText.back() == '\r'))
    iText.remove_suffix(1);
  return iText;
}

// Columns [iStart, iStart + iWidth) of a line, trimmed; empty past its end.
std::string_view Columns(std::string_view iLine, std::size_t iStart, std::size_t iWidth) {
  if (iStart >= iLine.size()) return {};
  return Trim(iLine.substr(iStart, iWidth));
}

bool ParseInt(std::string_view iText, long long& oValue) {
  if (!iText.empty() && iText.front() == '+') iText.remove_prefix(1);
  if (iText.empty()) return false;
  auto [end, ec] = std::from_chars(iText.data(), iText.data() + iText.size(), oValue);
  return ec == std::errc() && end == iText.data() + iText.size();
}

bool ParseDouble(std::string_view iText, double& oValue) {
  if (!iText.empty() && iText.front() == '+') iText.remove_prefix(1);
  if (iText.empty()) return false;
  auto [end, ec] = std::from_chars(iText.data(), iText.data() + iText.size(), oValue);
  return ec == std::errc() && end == iText.data() + iText.size() && std::isfinite(oValue);
}

// The significant digits of a written number ("62775.70864": 10,
// "0.00123": 3).
int SignificantDigits(std::string_view iText) {
  int digits = 0;
  bool leading = true;
  for (char c : iText) {
    if (c == 'e' || c == 'E') break;
    if (c < '0' || c > '9') continue;
    if (leading && c == '0') continue;
    leading = false;
    ++digits;
  }
  return digits;
}

// Walks the file by text lines and binary records, counting lines for the
// messages.
class Reader {
 public:
  Reader(const std::string& iBytes, const std::string& iName) : _Bytes(iBytes), _Name(iName) {}

  bool NextLine(std::string_view& oLine) {
    if (_Pos >= _Bytes.size()) return false;
    std::size_t end = _Bytes.find('\n', _Pos);
    if (end == std::string::npos) end = _Bytes.size();
    oLine = std::string_view(_Bytes).substr(_Pos, end - _Pos);
    _Pos = end < _Bytes.size() ? end + 1 : end;
    ++_Line;
    return true;
  }
  // The next iSize bytes of a binary record; fails when the file ends first.
  const char* Take(std::size_t iSize, const char* iWhat) {
    if (_Bytes.size() - _Pos < iSize)
      FailAt(_Pos, std::string("truncated: the file ends inside ") + iWhat);
    const char* p = _Bytes.data() + _Pos;
    _Pos += iSize;
    return p;
  }
  std::size_t Pos() const { return _Pos; }
  int Line() const { return _Line; }

  [[noreturn]] void Fail(const std::string& iWhat) const {
    throw ResultFileError(_Name + ": line " + std::to_string(_Line) + ": " + iWhat);
  }
  [[noreturn]] void FailAt(std::size_t iByte, const std::string& iWhat) const {
    throw ResultFileError(_Name + ": line " + std::to_string(_Line) + ", byte " + std::to_string(iByte) +
                          ": " + iWhat);
  }

  long long Int(std::string_view iText, const char* iWhat) const {
    long long value = 0;
    if (!ParseInt(iText, value)) Fail(std::string("expected ") + iWhat + ", got \"" + std::string(iText) + "\"");
    return value;
  }
  int Id(std::string_view iText, const char* iWhat) const {
    long long value = Int(iText, iWhat);
    if (value < 1 || value > 2147483647) Fail(std::string("expected ") + iWhat + " (1 to 2147483647), got " +
                                               std::to_string(value));
    return static_cast<int>(value);
  }
  double Real(std::string_view iText, const char* iWhat) const {
    double value = 0;
    if (!ParseDouble(iText, value))
      Fail(std::string("expected ") + iWhat + " (a finite number), got \"" + std::string(iText) + "\"");
    return value;
  }

 private:
  const std::string& _Bytes;
  const std::string& _Name;
  std::size_t _Pos = 0;
  int _Line = 0;
};

template <class T>
T Load(const char* iBytes) {
  T value;
  std::memcpy(&value, iBytes, sizeof value);
  return value;
}

bool StartsWith(std::string_view iLine, const char* iPrefix) {
  return iLine.substr(0, std::strlen(iPrefix)) == iPrefix;
}

// The form of a block, last field of its opening line: 0 short text, 1 long
// text, 2 binary with floats, 3 binary with doubles.
int BlockForm(Reader& ioReader, std::string_view iLine) {
  std::vector<std::string_view> words = Words(iLine);
  long long form = words.size() >= 2 ? ioReader.Int(words.back(), "the block's form (0 to 3)") : -1;
  if (form < 0 || form > 3) ioReader.Fail("expected the block's form (0 to 3) at the end of the line");
  return static_cast<int>(form);
}

// Node and element numbers of text records: 10 columns, 5 in the short form.
std::size_t IdWidth(int iForm) { return iForm == 0 ? 5 : 10; }

// The block's records up to its end line " -3" (text forms).
template <class Record>
void TextRecords(Reader& ioReader, Record iRecord) {
  std::string_view line;
  for (;;) {
    if (!ioReader.NextLine(line)) ioReader.Fail("truncated: the file ends inside a block (no end line \" -3\")");
    if (StartsWith(line, " -3")) return;
    iRecord(line);
  }
}

class FrdParser {
 public:
  FrdParser(const std::string& iBytes, const std::string& iName, bool iStatic) : _R(iBytes, iName), _Static(iStatic) {}

  FrdResults Parse() {
    std::string_view line;
    bool ended = false;
    while (_R.NextLine(line)) {
      if (StartsWith(line, " 9999")) {
        ended = true;
        break;
      }
      if (StartsWith(line, "    1P")) {
        Parameter(line);
      } else if (StartsWith(line, "    2C")) {
        Nodes(line);
      } else if (StartsWith(line, "    3C")) {
        Elements(line);
      } else if (StartsWith(line, "  100C")) {
        Result(line);
      } else if (StartsWith(line, "    1C") || StartsWith(line, "    1U") || Trim(line).empty()) {
        continue;
      } else {
        _R.Fail("expected the opening of a block (\"    1C\", \"    1U\", \"    1P\", \"    2C\", \"    3C\", "
                "\"  100C\") or the end line \" 9999\", got \"" + std::string(line.substr(0, 20)) + "\"");
      }
    }
    if (!ended) _R.Fail("truncated: no end line \" 9999\"");
    if (_Static && !_Out.hasStatic)
      _R.Fail("no displacement of a static analysis (no DISP block of a *STATIC step): is this the result of a "
              "*STATIC step with *NODE FILE or *NODE OUTPUT U?");
    if (!_Static && _Out.modes.empty())
      _R.Fail("no displacement eigenvectors (no DISP block of a modal analysis): is this the result of a "
              "*FREQUENCY step with *NODE FILE or *NODE OUTPUT U?");
    return std::move(_Out);
  }

 private:
  void Parameter(std::string_view iLine) {
    std::vector<std::string_view> words = Words(iLine.substr(6));
    if (words.empty()) return;
    if (words[0] == "STEP") {
      _ModeNumber = 0;
      _HasMass = _HasStiffness = false;
    } else if (words[0] == "MODE" && words.size() >= 2) {
      _ModeNumber = _R.Id(words[1], "a mode number");
    } else if (words[0] == "GM" && words.size() >= 2) {
      _Mass = _R.Real(words[1], "a generalised mass");
      _HasMass = true;
    } else if (words[0] == "GK" && words.size() >= 2) {
      _Stiffness = _R.Real(words[1], "a generalised stiffness");
      _HasStiffness = true;
    }
  }

  void AddNode(int iId, const std::array<double, 3>& iXyz) {
    if (!_NodeIndex.emplace(iId, _Out.nodeIds.size()).second)
      _R.Fail("node " + std::to_string(iId) + " given twice");
    _Out.nodeIds.push_back(iId);
    _Out.coordinates.push_back(iXyz);
  }

  long long Count(std::string_view iLine, const char* iWhat) {
    long long count = _R.Int(Columns(iLine, 24, 12), iWhat);
    if (count < 0) _R.Fail(std::string("expected ") + iWhat + ", got " + std::to_string(count));
    return count;
  }

  void Nodes(std::string_view iLine) {
    const long long count = Count(iLine, "the node count in columns 25-36");
    const int form = BlockForm(_R, iLine);
    if (form >= 2) {
      _Out.binary = true;
      const std::size_t real = form == 2 ? 4 : 8;
      for (long long k = 0; k < count; ++k) {
        std::size_t at = _R.Pos();
        const char* p = _R.Take(4 + 3 * real, "the binary node records");
        int id = Load<std::int32_t>(p);
        std::array<double, 3> xyz{};
        for (int c = 0; c < 3; ++c)
          xyz[c] = real == 4 ? Load<float>(p + 4 + 4 * c) : Load<double>(p + 4 + 8 * c);
        if (id < 1) _R.FailAt(at, "node number " + std::to_string(id) + ": expected 1 or more");
        for (double v : xyz)
          if (!std::isfinite(v)) _R.FailAt(at, "node " + std::to_string(id) + ": a coordinate is not finite");
        AddNode(id, xyz);
      }
      return;
    }
    const std::size_t w = IdWidth(form);
    long long read = 0;
    TextRecords(_R, [&](std::string_view iRecord) {
      if (!StartsWith(iRecord, " -1")) _R.Fail("expected a node record \" -1\" or the end line \" -3\"");
      int id = _R.Id(Columns(iRecord, 3, w), "a node number");
      std::array<double, 3> xyz{};
      for (int c = 0; c < 3; ++c) xyz[c] = _R.Real(Columns(iRecord, 3 + w + 12 * c, 12), "a coordinate");
      AddNode(id, xyz);
      ++read;
    });
    if (read != count)
      _R.Fail("the node block holds " + std::to_string(read) + " nodes, its opening line says " + std::to_string(count));
  }

  void AddElement(FrdElement&& ioElement) {
    for (int n : ioElement.nodes)
      if (!_NodeIndex.count(n))
        _R.Fail("element " + std::to_string(ioElement.id) + ": unknown node " + std::to_string(n));
    if (!_ElementIds.emplace(ioElement.id, 0).second)
      _R.Fail("element " + std::to_string(ioElement.id) + " given twice");
    // The results file lists the mid-edge nodes of the quadratic hexahedron
    // and wedge with the vertical edges before the top ones; the input
    // deck's order (which the model keeps) has the top edges first.
    std::vector<int>& n = ioElement.nodes;
    if (ioElement.type == 4) {
      std::vector<int> deck(n.begin(), n.begin() + 12);
      deck.insert(deck.end(), n.begin() + 16, n.end());
      deck.insert(deck.end(), n.begin() + 12, n.begin() + 16);
      n = deck;
    } else if (ioElement.type == 5) {
      std::vector<int> deck(n.begin(), n.begin() + 9);
      deck.insert(deck.end(), n.begin() + 12, n.end());
      deck.insert(deck.end(), n.begin() + 9, n.begin() + 12);
      n = deck;
    }
    _Out.elements.push_back(std::move(ioElement));
  }

  int NodesOf(int iType, int iElement) {
    int nodes = FrdNodesPerElement(iType);
    if (nodes == 0)
      _R.Fail("element " + std::to_string(iElement) + ": unknown element type " + std::to_string(iType) +
              " (expected 1 to 12)");
    return nodes;
  }

  void Elements(std::string_view iLine) {
    const long long count = Count(iLine, "the element count in columns 25-36");
    const int form = BlockForm(_R, iLine);
    if (form >= 2) {
      _Out.binary = true;
      for (long long k = 0; k < count; ++k) {
        std::size_t at = _R.Pos();
        const char* p = _R.Take(16, "the binary element records");
        FrdElement e;
        e.id = Load<std::int32_t>(p);
        e.type = Load<std::int32_t>(p + 4);
        if (e.id < 1) _R.FailAt(at, "element number " + std::to_string(e.id) + ": expected 1 or more");
        int nodes = NodesOf(e.type, e.id);
        const char* q = _R.Take(4 * static_cast<std::size_t>(nodes), "the binary element records");
        for (int i = 0; i < nodes; ++i) e.nodes.push_back(Load<std::int32_t>(q + 4 * i));
        AddElement(std::move(e));
      }
      return;
    }
    const std::size_t w = IdWidth(form);
    FrdElement current;
    int expected = 0;
    long long read = 0;
    auto finish = [&]() {
      if (expected == 0) return;
      if (static_cast<int>(current.nodes.size()) != expected)
        _R.Fail("element " + std::to_string(current.id) + ": " + std::to_string(current.nodes.size()) +
                " nodes given, its type " + FrdTypeName(current.type) + " has " + std::to_string(expected));
      AddElement(std::move(current));
      current = FrdElement();
      expected = 0;
      ++read;
    };
    TextRecords(_R, [&](std::string_view iRecord) {
      if (StartsWith(iRecord, " -1")) {
        finish();
        current.id = _R.Id(Columns(iRecord, 3, w), "an element number");
        current.type = static_cast<int>(_R.Int(Columns(iRecord, 3 + w, 5), "an element type"));
        expected = NodesOf(current.type, current.id);
      } else if (StartsWith(iRecord, " -2")) {
        if (expected == 0) _R.Fail("a node line \" -2\" before any element line \" -1\"");
        for (std::size_t at = 3; Columns(iRecord, at, w).size() > 0; at += w) {
          if (static_cast<int>(current.nodes.size()) == expected)
            _R.Fail("element " + std::to_string(current.id) + ": more nodes than its type " +
                    FrdTypeName(current.type) + " has (" + std::to_string(expected) + ")");
          current.nodes.push_back(_R.Id(Columns(iRecord, at, w), "a node number"));
        }
      } else {
        _R.Fail("expected an element record \" -1\" or \" -2\", or the end line \" -3\"");
      }
    });
    finish();
    if (read != count)
      _R.Fail("the element block holds " + std::to_string(read) + " elements, its opening line says " +
              std::to_string(count));
  }

  void Result(std::string_view iLine) {
    const int opening = _R.Line();
    std::string_view valueText = Columns(iLine, 12, 12);
    double value = _R.Real(valueText, "the block's value (the frequency) in columns 13-24");
    const long long count = Count(iLine, "the node count in columns 25-36");
    long long step = 0;
    ParseInt(Columns(iLine, 58, 5), step);
    std::string analysis(Columns(iLine, 63, 10));
    long long formValue = -1;
    if (!ParseInt(Columns(iLine, 73, 2), formValue) || formValue < 0 || formValue > 3)
      _R.Fail("expected the block's form (0 to 3) in columns 74-75");
    const int form = static_cast<int>(formValue);

    std::string_view line;
    if (!_R.NextLine(line)) _R.Fail("truncated: the file ends inside a result block");
    if (!StartsWith(line, " -4")) _R.Fail("expected the field line \" -4\" of a result block");
    std::string field(Columns(line, 5, 8));
    long long components = _R.Int(Columns(line, 13, 5), "the component count in columns 14-18");
    if (components < 1 || components > 1000) _R.Fail("expected a component count from 1 to 1000");
    int stored = 0;
    for (long long c = 0; c < components; ++c) {
      if (!_R.NextLine(line)) _R.Fail("truncated: the file ends inside a result block");
      if (!StartsWith(line, " -5")) _R.Fail("expected a component line \" -5\"");
      long long derived = 0;
      ParseInt(Columns(line, 33, 5), derived);
      if (derived != 1) ++stored;
    }
    // The displacement of a modal analysis, or of a static one (a blank
    // analysis text); the last static block is the one kept.
    const bool isMode = field == "DISP" && analysis == "MODAL";
    const bool isStatic = field == "DISP" && analysis.find_first_not_of(' ') == std::string::npos;
    const bool mode = isMode || isStatic;
    if (mode && stored < 3) _R.Fail("a DISP block with " + std::to_string(stored) + " stored components: expected 3");

    FrdMode m;
    if (mode) m.displacement.assign(_Out.nodeIds.size(), {0.0, 0.0, 0.0});
    if (isMode) {
      m.number = _ModeNumber > 0 ? _ModeNumber : static_cast<int>(step);
      m.frequency = value;
      m.frequencyDigits = SignificantDigits(valueText);
      m.hasGeneralizedMass = _HasMass;
      m.generalizedMass = _Mass;
      m.hasGeneralizedStiffness = _HasStiffness;
      m.generalizedStiffness = _Stiffness;
      m.line = opening;
    }
    std::vector<char> seen(mode ? _Out.nodeIds.size() : 0, 0);
    auto place = [&](int iNode, const double* iValues, std::size_t iAt, bool iBinary) {
      if (!mode) return;
      auto found = _NodeIndex.find(iNode);
      std::string what = "node " + std::to_string(iNode);
      if (found == _NodeIndex.end()) {
        if (iBinary) _R.FailAt(iAt, "result for unknown " + what);
        _R.Fail("result for unknown " + what);
      }
      if (seen[found->second]) {
        if (iBinary) _R.FailAt(iAt, what + " given twice in the block");
        _R.Fail(what + " given twice in the block");
      }
      seen[found->second] = 1;
      for (int c = 0; c < 3; ++c) m.displacement[found->second][c] = iValues[c];
    };

    if (form >= 2) {
      _Out.binary = true;
      const std::size_t real = form == 2 ? 4 : 8;
      std::vector<double> values(static_cast<std::size_t>(stored));
      for (long long k = 0; k < count; ++k) {
        std::size_t at = _R.Pos();
        const char* p = _R.Take(4 + real * static_cast<std::size_t>(stored), "the binary result records");
        int id = Load<std::int32_t>(p);
        for (int c = 0; c < stored; ++c) {
          values[c] = real == 4 ? Load<float>(p + 4 + 4 * c) : Load<double>(p + 4 + 8 * c);
          if (mode && !std::isfinite(values[c]))
            _R.FailAt(at, "node " + std::to_string(id) + ": a displacement is not finite");
        }
        place(id, values.data(), at, true);
      }
    } else {
      const std::size_t w = IdWidth(form);
      long long read = 0;
      std::vector<double> values;
      int node = 0;
      auto finish = [&]() {
        if (node == 0) return;
        if (mode && static_cast<int>(values.size()) != stored)
          _R.Fail("node " + std::to_string(node) + ": " + std::to_string(values.size()) + " values, expected " +
                  std::to_string(stored));
        place(node, values.data(), 0, false);
        node = 0;
        ++read;
      };
      TextRecords(_R, [&](std::string_view iRecord) {
        std::size_t at;
        if (StartsWith(iRecord, " -1")) {
          finish();
          node = _R.Id(Columns(iRecord, 3, w), "a node number");
          values.clear();
          at = 3 + w;
        } else if (StartsWith(iRecord, " -2")) {
          if (node == 0) _R.Fail("a continuation line \" -2\" before any node line \" -1\"");
          at = 3 + w;
        } else {
          _R.Fail("expected a result record \" -1\" or \" -2\", or the end line \" -3\"");
        }
        if (!mode) return;
        for (; Columns(iRecord, at, 12).size() > 0; at += 12) values.push_back(_R.Real(Columns(iRecord, at, 12), "a value"));
      });
      finish();
      if (read != count)
        _R.Fail("the result block opened on line " + std::to_string(opening) + " holds " + std::to_string(read) +
                " nodes, its opening line says " + std::to_string(count));
    }
    if (isStatic) {
      _Out.hasStatic = true;
      _Out.staticDisplacement = std::move(m.displacement);
    }
    if (isMode) _Out.modes.push_back(std::move(m));
  }

  Reader _R;
  FrdResults _Out;
  bool _Static = false;
  std::unordered_map<int, std::size_t> _NodeIndex;
  std::unordered_map<int, int> _ElementIds;
  int _ModeNumber = 0;
  bool _HasMass = false, _HasStiffness = false;
  double _Mass = 0.0, _Stiffness = 0.0;
};

}  // namespace

std::vector<std::string_view> Words(std::string_view iLine) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < iLine.size()) {
    while (i < iLine.size() && (iLine[i] == ' ' || iLine[i] == '\t' || iLine[i] == '\r')) ++i;
    std::size_t start = i;
    while (i < iLine.size() && iLine[i] != ' ' && iLine[i] != '\t' && iLine[i] != '\r') ++i;
    if (i > start) words.push_back(iLine.substr(start, i - start));
  }
  return words;
}

int FrdNodesPerElement(int iType) { return iType > 0 && iType < kTypeCount ? kTypes[iType].nodes : 0; }

const char* FrdTypeName(int iType) { return iType > 0 && iType < kTypeCount ? kTypes[iType].name : ""; }

int FrdTypeOfName(const std::string& iName) {
  for (int t = 1; t < kTypeCount; ++t)
    if (iName == kTypes[t].name) return t;
  return 0;
}

FrdResults ParseFrd(const std::string& iBytes, const std::string& iDisplayName, bool iStatic) {
  return FrdParser(iBytes, iDisplayName, iStatic).Parse();
}

}  // namespace vokdyn
