// The quick reading of plain model files: it builds the general parser's
// value to the bit or leaves the text to it, and a model reads the same,
// with the same refusals, whichever of the two read its text.
#include <cstring>
#include <functional>

#include "VOKDYNModelJson.h"
#include "VOKDYNModelLoader.h"
#include "VOKDYNModelText.h"
#include "VOKDYNTestTowers.h"
#include "VOKTestSupport.h"

namespace {

using namespace vokdyn;

// Numbers compared by kind and by bits (== alone takes -0.0 for 0).
::testing::AssertionResult SameValue(const ModelJson& iA, const ModelJson& iB) {
  if (iA.type() != iB.type())
    return ::testing::AssertionFailure() << iA.dump() << " and " << iB.dump() << " differ in kind";
  if (iA.is_number_float()) {
    double a = iA.get<double>(), b = iB.get<double>();
    if (std::memcmp(&a, &b, sizeof a) != 0)
      return ::testing::AssertionFailure() << iA.dump() << " and " << iB.dump() << " differ in bits";
    return ::testing::AssertionSuccess();
  }
  if (iA.is_object() || iA.is_array()) {
    if (iA.size() != iB.size()) return ::testing::AssertionFailure() << "sizes differ";
    auto b = iB.begin();
    for (auto a = iA.begin(); a != iA.end(); ++a, ++b) {
      if (iA.is_object() && a.key() != b.key())
        return ::testing::AssertionFailure() << "keys " << a.key() << " and " << b.key();
      auto inner = SameValue(a.value(), b.value());
      if (!inner) return inner;
    }
    return ::testing::AssertionSuccess();
  }
  if (iA != iB) return ::testing::AssertionFailure() << iA.dump() << " and " << iB.dump();
  return ::testing::AssertionSuccess();
}

// Rows unpacked as doubles, compared with the general parser's numbers of
// any kind turned into doubles, as the loader reads them.
ModelJson RowsAsDoubles(const ModelJson& iValue) {
  if (iValue.is_number()) return iValue.get<double>();
  ModelJson out = iValue;
  if (iValue.is_array())
    for (std::size_t i = 0; i < iValue.size(); ++i) out[i] = RowsAsDoubles(iValue[i]);
  return out;
}

ModelJson General(const std::string& iText) {
  return ModelJson::parse(iText, nullptr, /*allow_exceptions=*/false, /*ignore_comments=*/true);
}

class VokdynModelJson : public VOKTest {};

TEST_F(VokdynModelJson, PlainTextsGiveTheGeneralParsersValueOthersAreLeftToIt) {
  struct Row {
    const char* name;
    std::string text;
    bool plain;
  } rows[] = {
      {"integers keep their kind", R"({"a": 0, "b": -0, "c": 7, "d": -12})", true},
      {"64-bit limits", R"([18446744073709551615, -9223372036854775808])", true},
      {"reals", R"([1.5, -1.5e-3, 1E+2, 0.1, 2.5e-308, 1.7976931348623157e308, -0.0])", true},
      {"literals, strings, empty containers", R"({"t": true, "f": false, "n": null, "s": "a b~", "o": {}, "a": []})", true},
      {"comments everywhere", "// head\n{/* a */\"a\" /* b */: // c\r1 /**/}// tail", true},
      {"a scalar root", "  3  ", true},
      {"unsigned beyond 64 bits", "[18446744073709551616]", false},
      {"signed beyond 64 bits", "[-9223372036854775809]", false},
      {"a real that underflows", "[1e-400]", false},
      {"a real that overflows", "[1e400]", false},
      {"an escape", R"(["a\nb"])", false},
      {"a non-ASCII character", "[\"\xc3\xa9\"]", false},
      {"a control character", "[\"a\tb\"]", false},
      {"a repeated key", R"({"a": 1, "a": 2})", false},
      {"a trailing comma", "[1, 2,]", false},
      {"a leading zero", "[01]", false},
      {"a bare fraction", "[1.]", false},
      {"a plus sign", "[+1]", false},
      {"a byte-order mark", "\xef\xbb\xbf{}", false},
      {"an unterminated comment", "{} /* open", false},
      {"a lone slash", "{} /", false},
      {"a NUL byte in a line comment", std::string("{\"a\": 1 // x\0y\n}", 16), false},
      {"a NUL byte in a block comment", std::string("{\"a\": 1 /* x\0y */}", 18), false},
      {"nothing", "", false},
      {"two values", "{} {}", false},
      {"deep nesting", std::string(61, '[') + std::string(61, ']'), false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ModelJson plain;
    ASSERT_EQ(ParsePlainModelJson(row.text, plain), row.plain);
    if (row.plain) {
      ModelJson general = General(row.text);
      ASSERT_FALSE(general.is_discarded());
      EXPECT_TRUE(SameValue(plain, general));
    }
  }
}

TEST_F(VokdynModelJson, NodeRowArraysArePackedOnlyWhereTheModelHasThem) {
  const std::string rows = "[[1, -0, 0.5, 1e-3, 18446744073709551615, -7], [0, 0, 0, 0, 0, 2.5]]";
  struct Row {
    const char* name;
    std::string text;
    std::vector<std::string> packed;  // JSON pointers of the packed arrays
  } cases[] = {
      {"mode shapes", R"({"modal_base": {"modes": [{"shape": )" + rows + R"(}, {"shape": []}]}})",
       {"/modal_base/modes/0/shape", "/modal_base/modes/1/shape"}},
      {"enforced static displacements", R"({"enforced": [{"static_displacement": )" + rows + "}]}",
       {"/enforced/0/static_displacement"}},
      {"the same key elsewhere", R"({"modes": [{"shape": )" + rows + R"(}], "shape": )" + rows + "}", {}},
  };
  for (const Row& c : cases) {
    SCOPED_TRACE(c.name);
    ModelJson plain;
    ASSERT_TRUE(ParsePlainModelJson(c.text, plain));
    const ModelJson general = General(c.text);
    for (const std::string& pointer : c.packed) {
      EXPECT_TRUE(IsPackedRows(plain.at(ModelJson::json_pointer(pointer)))) << pointer;
      EXPECT_TRUE(SameValue(UnpackRows(plain.at(ModelJson::json_pointer(pointer))),
                            RowsAsDoubles(general.at(ModelJson::json_pointer(pointer)))))
          << pointer;
    }
    // Apart from the packing, the general value.
    EXPECT_EQ(RowsAsDoubles(UnpackRows(plain)), RowsAsDoubles(general));
    if (c.packed.empty()) {
      EXPECT_TRUE(SameValue(plain, general));
    }
  }
  // A row that is not six numbers leaves the whole text to the general parser.
  for (const char* bad : {"[[1, 2, 3, 4, 5]]", "[[1, 2, 3, 4, 5, 6, 7]]", "[[1, 2, 3, 4, 5, \"6\"]]", "[1]"}) {
    SCOPED_TRACE(bad);
    ModelJson plain;
    EXPECT_FALSE(ParsePlainModelJson(std::string(R"({"enforced": [{"static_displacement": )") + bad + "}]}", plain));
  }
}

// Every model text loads to the same model, or is refused with the same
// message, when its name is spelt with an escape: the escape sends the text
// to the general parser, the plain one reads the other.
TEST_F(VokdynModelJson, AModelReadsTheSameWhicheverParserReadsIt) {
  Model tower = vokdyn_test::SmallTower(4, 3, 5, 2);
  tower.name = "tower";
  tower.enforced.push_back({});
  tower.enforced[0].name = "settlement";
  tower.enforced[0].modulation = 1;
  tower.enforced[0].staticDisplacement.assign(4, Vec6{0.0, 0.0, 0.25, 0.0, 0.0, 0.0});
  tower.enforced[0].staticDisplacement[0] = {0.0, 0.0, 1.0, 0.0, 0.0, 0.0};
  const std::string text = WriteModelText(tower, "a tower");
  auto variant = [&](const std::function<void(Model&)>& iChange) {
    Model changed = tower;
    iChange(changed);
    return WriteModelText(changed, "");
  };
  auto replaced = [&](const std::string& iFrom, const std::string& iTo) {
    std::string out = text;
    std::size_t at = out.find(iFrom);
    EXPECT_NE(at, std::string::npos) << iFrom;
    return at == std::string::npos ? out : out.replace(at, iFrom.size(), iTo);
  };
  struct Row {
    const char* name;
    std::string text;
    bool loads;
  } rows[] = {
      {"the whole model", text, true},
      {"a shape a row short", variant([](Model& m) { m.base.modes[1].shape.pop_back(); }), false},
      {"a shape without rows", variant([](Model& m) { m.base.modes[2].shape.clear(); }), false},
      {"static displacement a row too many",
       variant([](Model& m) { m.enforced[0].staticDisplacement.push_back({}); }), false},
      {"a shape row of five", replaced("\"shape\": [\n", "\"shape\": [[1, 2, 3, 4, 5],\n"), false},
      {"a shape that is a number", replaced("\"shape\": [", "\"shape\": 3, \"x\": ["), false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::string escaped = row.text;
    std::size_t at = escaped.find("\"name\": \"tower\"");
    ASSERT_NE(at, std::string::npos);
    escaped.replace(at, 15, "\"name\": \"\\u0074ower\"");
    ModelJson ignored;
    ASSERT_FALSE(ParsePlainModelJson(escaped, ignored));
    std::string outcome[2];
    const std::string* texts[2] = {&row.text, &escaped};
    for (int k = 0; k < 2; ++k) {
      Model loaded;
      const std::string refusal = vokdyn_test::RefusalOf([&] { loaded = LoadModelText(*texts[k], "m.json"); });
      outcome[k] = refusal == "(loaded)" ? WriteModelText(loaded, "") : "refused: " + refusal;
    }
    EXPECT_EQ(outcome[0], outcome[1]);
    EXPECT_EQ(outcome[0].rfind("refused: ", 0) != 0, row.loads) << outcome[0];
  }
}

}  // namespace
