#include "VOKDYNInpSets.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <map>
#include <set>
#include <string_view>

namespace vokdyn {

namespace {

std::string Upper(std::string_view iText) {
  std::string out(iText);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::string_view Trim(std::string_view iText) {
  while (!iText.empty() && std::isspace(static_cast<unsigned char>(iText.front()))) iText.remove_prefix(1);
  while (!iText.empty() && std::isspace(static_cast<unsigned char>(iText.back()))) iText.remove_suffix(1);
  return iText;
}

std::vector<std::string_view> Fields(std::string_view iLine) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  for (;;) {
    std::size_t comma = iLine.find(',', start);
    fields.push_back(Trim(iLine.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start)));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  // A trailing comma leaves an empty last field.
  if (fields.size() > 1 && fields.back().empty()) fields.pop_back();
  return fields;
}

bool ToInt(std::string_view iText, long long& oValue) {
  if (!iText.empty() && iText.front() == '+') iText.remove_prefix(1);
  auto [end, ec] = std::from_chars(iText.data(), iText.data() + iText.size(), oValue);
  return !iText.empty() && ec == std::errc() && end == iText.data() + iText.size();
}

class InpParser {
 public:
  InpParser(const std::string& iText, const std::string& iName) : _Text(iText), _Name(iName) {}

  InpNodeSets Parse() {
    std::size_t pos = 0;
    while (pos < _Text.size()) {
      std::size_t end = _Text.find('\n', pos);
      if (end == std::string::npos) end = _Text.size();
      std::string_view line = std::string_view(_Text).substr(pos, end - pos);
      pos = end + 1;
      ++_Line;
      line = Trim(line);
      if (line.empty() || line.substr(0, 2) == "**") continue;
      if (line[0] == '*') {
        Keyword(line);
      } else if (_Mode != Mode::Other) {
        Data(line);
      }
    }
    return std::move(_Out);
  }

 private:
  enum class Mode { Other, Node, Nset, NsetGenerate };

  [[noreturn]] void Fail(const std::string& iWhat) const {
    throw ResultFileError(_Name + ": line " + std::to_string(_Line) + ": " + iWhat);
  }

  void Keyword(std::string_view iLine) {
    std::vector<std::string_view> fields = Fields(iLine.substr(1));
    std::string keyword = Upper(fields[0]);
    _Mode = Mode::Other;
    _Current = kNone;
    if (keyword == "INCLUDE") _Out.hasInclude = true;
    if (keyword != "NODE" && keyword != "NSET") return;
    bool generate = false;
    std::string name;
    for (std::size_t i = 1; i < fields.size(); ++i) {
      std::string_view f = fields[i];
      std::size_t eq = f.find('=');
      std::string key = Upper(Trim(f.substr(0, eq)));
      std::string value = eq == std::string_view::npos ? std::string() : Upper(Trim(f.substr(eq + 1)));
      if (key == "NSET") {
        if (value.empty()) Fail("NSET= without a set name");
        name = value;
      } else if (key == "GENERATE") {
        generate = true;
      }
    }
    if (keyword == "NSET" && name.empty()) Fail("*NSET without NSET=name");
    if (keyword == "NODE") {
      _Mode = Mode::Node;
      if (!name.empty()) _Current = Set(name);
      return;
    }
    _Mode = generate ? Mode::NsetGenerate : Mode::Nset;
    _Current = Set(name);
  }

  // The index of the set, created empty when first named.
  std::size_t Set(const std::string& iName) {
    auto found = _Index.find(iName);
    if (found == _Index.end()) {
      found = _Index.emplace(iName, _Out.sets.size()).first;
      _Out.sets.emplace_back(iName, std::vector<int>());
      _Members.emplace_back();
    }
    return found->second;
  }

  void Add(int iNode) {
    if (_Members[_Current].insert(iNode).second) _Out.sets[_Current].second.push_back(iNode);
  }

  int Node(std::string_view iText) {
    long long value = 0;
    if (!ToInt(iText, value) || value < 1 || value > 2147483647)
      Fail("expected a node number (1 to 2147483647), got \"" + std::string(iText) + "\"");
    return static_cast<int>(value);
  }

  void Data(std::string_view iLine) {
    std::vector<std::string_view> fields = Fields(iLine);
    if (_Mode == Mode::Node) {
      int node = Node(fields[0]);
      if (_Current != kNone) Add(node);
      return;
    }
    if (_Mode == Mode::NsetGenerate) {
      if (fields.size() < 2 || fields.size() > 3)
        Fail("expected first, last[, increment] of a generated set, got " + std::to_string(fields.size()) + " fields");
      long long first = Node(fields[0]), last = Node(fields[1]), step = 1;
      if (fields.size() == 3 && (!ToInt(fields[2], step) || step < 1))
        Fail("expected an increment of 1 or more, got \"" + std::string(fields[2]) + "\"");
      if (last < first) Fail("a generated set from " + std::to_string(first) + " down to " + std::to_string(last));
      for (long long n = first; n <= last; n += step) Add(static_cast<int>(n));
      return;
    }
    for (std::string_view f : fields) {
      if (f.empty()) continue;
      long long value = 0;
      if (ToInt(f, value)) {
        Add(Node(f));
        continue;
      }
      std::string name = Upper(f);
      auto found = _Index.find(name);
      if (found == _Index.end())
        Fail("\"" + std::string(f) + "\" is neither a node number nor a set defined before");
      const std::vector<int> members = _Out.sets[found->second].second;
      for (int n : members) Add(n);
    }
  }

  const std::string& _Text;
  const std::string& _Name;
  int _Line = 0;
  Mode _Mode = Mode::Other;
  std::map<std::string, std::size_t> _Index;
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  std::vector<std::set<int>> _Members;  // aligned with _Out.sets
  std::size_t _Current = kNone;          // the set that data lines add to
  InpNodeSets _Out;
};

}  // namespace

InpNodeSets ParseInpNodeSets(const std::string& iText, const std::string& iDisplayName) {
  return InpParser(iText, iDisplayName).Parse();
}

}  // namespace vokdyn
