#include "VOKDYNDatReader.h"
#include "VOKDYNFrdReader.h"

#include <charconv>
#include <cmath>
#include <string_view>

namespace vokdyn {

namespace {

const char* const kEigenTitle = "E I G E N V A L U E   O U T P U T";
const char* const kParticipationTitle = "P A R T I C I P A T I O N   F A C T O R S";
const char* const kMassTitle = "E F F E C T I V E   M O D A L   M A S S";

bool IsInteger(std::string_view iWord, int& oValue) {
  auto [end, ec] = std::from_chars(iWord.data(), iWord.data() + iWord.size(), oValue);
  return ec == std::errc() && end == iWord.data() + iWord.size();
}

class DatParser {
 public:
  DatParser(const std::string& iText, const std::string& iName) : _Text(iText), _Name(iName) {}

  DatModes Parse() {
    std::string_view line;
    while (Next(line)) {
      if (line.find(kEigenTitle) != std::string_view::npos) {
        if (_EigenSeen)
          Fail("a second eigenvalue table (the table of line " + std::to_string(_Out.line) +
               " came first): the job must hold one eigenvalue step");
        _EigenSeen = true;
        _Out.line = _Line;
        Table(4, [this](int iMode, const std::vector<double>& iValues) {
          if (iMode != static_cast<int>(_Out.numbers.size()) + 1)
            Fail("mode " + std::to_string(iMode) + " where mode " + std::to_string(_Out.numbers.size() + 1) +
                 " was expected");
          _Out.numbers.push_back(iMode);
          _Out.eigenvalues.push_back(iValues[0]);
          _Out.frequencies.push_back(iValues[2]);
        });
        if (_Out.numbers.empty()) Fail("an eigenvalue table without rows");
      } else if (line.find(kParticipationTitle) != std::string_view::npos) {
        SixTable("participation factors", _Out.hasParticipation, _Out.participation);
      } else if (line.find(kMassTitle) != std::string_view::npos) {
        SixTable("effective modal masses", _Out.hasEffectiveMass, _Out.effectiveMass);
      }
    }
    if (!_EigenSeen)
      throw ResultFileError(_Name + ": no eigenvalue table (\"" + kEigenTitle +
                            "\"): is this the printed result of a *FREQUENCY step?");
    return std::move(_Out);
  }

 private:
  bool Next(std::string_view& oLine) {
    if (_Pos >= _Text.size()) return false;
    std::size_t end = _Text.find('\n', _Pos);
    if (end == std::string::npos) end = _Text.size();
    oLine = std::string_view(_Text).substr(_Pos, end - _Pos);
    _Pos = end < _Text.size() ? end + 1 : end;
    ++_Line;
    return true;
  }
  [[noreturn]] void Fail(const std::string& iWhat) const {
    throw ResultFileError(_Name + ": line " + std::to_string(_Line) + ": " + iWhat);
  }

  // The rows of a table: headings and blank lines until the first row, then
  // rows until a line of another form. A row that starts with a mode number
  // but does not parse is refused.
  template <class Row>
  void Table(std::size_t iColumns, Row iRow) {
    std::string_view line;
    bool rows = false;
    std::vector<double> values;
    std::size_t before = _Pos;
    int beforeLine = _Line;
    while (Next(line)) {
      std::vector<std::string_view> words = Words(line);
      int mode = 0;
      if (words.empty() || !IsInteger(words[0], mode)) {
        if (rows && (words.empty() || !IsInteger(words[0], mode))) {
          // Leave the line that ends the table to the caller's scan.
          _Pos = before;
          _Line = beforeLine;
          return;
        }
        before = _Pos;
        beforeLine = _Line;
        continue;
      }
      if (words.size() != iColumns + 1)
        Fail("expected the mode number and " + std::to_string(iColumns) + " numbers, got " +
             std::to_string(words.size() - 1));
      values.clear();
      for (std::size_t c = 1; c < words.size(); ++c) {
        double v = 0;
        auto [end, ec] = std::from_chars(words[c].data(), words[c].data() + words[c].size(), v);
        if (ec != std::errc() || end != words[c].data() + words[c].size() || !std::isfinite(v))
          Fail("expected a finite number, got \"" + std::string(words[c]) + "\"");
        values.push_back(v);
      }
      rows = true;
      iRow(mode, values);
      before = _Pos;
      beforeLine = _Line;
    }
  }

  void SixTable(const char* iWhat, bool& oPresent, std::vector<std::array<double, 6>>& oRows) {
    if (!_EigenSeen) Fail(std::string("a table of ") + iWhat + " before the eigenvalue table");
    if (oPresent) Fail(std::string("a second table of ") + iWhat);
    oPresent = true;
    const int title = _Line;
    Table(6, [&](int iMode, const std::vector<double>& iValues) {
      if (iMode != static_cast<int>(oRows.size()) + 1)
        Fail("mode " + std::to_string(iMode) + " where mode " + std::to_string(oRows.size() + 1) + " was expected");
      std::array<double, 6> row{};
      for (int c = 0; c < 6; ++c) row[c] = iValues[c];
      oRows.push_back(row);
    });
    if (oRows.size() != _Out.numbers.size())
      throw ResultFileError(_Name + ": line " + std::to_string(title) + ": the table of " + iWhat + " gives " +
                            std::to_string(oRows.size()) + " modes, the eigenvalue table " +
                            std::to_string(_Out.numbers.size()));
  }

  const std::string& _Text;
  const std::string& _Name;
  std::size_t _Pos = 0;
  int _Line = 0;
  bool _EigenSeen = false;
  DatModes _Out;
};

}  // namespace

DatModes ParseDat(const std::string& iText, const std::string& iDisplayName) {
  return DatParser(iText, iDisplayName).Parse();
}

}  // namespace vokdyn
