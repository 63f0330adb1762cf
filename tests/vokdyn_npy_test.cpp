// Mode shapes in a .npy beside the model: the inline results to the bit for every encoding numpy
// writes, and a refusal naming the file and the fault for every malformed array.
#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <limits>

#include "VOKDYNFields.h"
#include "VOKDYNHarmonic.h"
#include "VOKDYNModelGenerator.h"
#include "VOKDYNModelLoader.h"
#include "VOKDYNModelText.h"
#include "VOKDYNNpy.h"
#include "VOKDYNOutput.h"
#include "VOKDYNPlatformModel.h"
#include "VOKDYNTestTowers.h"
#include "VOKTempDirTest.h"

namespace {

using namespace vokdyn;
using vokdyn_test::Edited;
using vokdyn_test::RefusalOf;
using vokdyn_test::SmallTower;

// Written from the format, not the reader's writer: preamble, header length (2 or 4 bytes), header.
std::string Npy(int iMajor, int iMinor, const std::string& iDict, const std::string& iData) {
  std::string out("\x93NUMPY", 6);
  out += static_cast<char>(iMajor);
  out += static_cast<char>(iMinor);
  std::size_t length = iDict.size();
  for (int k = 0; k < (iMajor == 1 ? 2 : 4); ++k) out += static_cast<char>((length >> (8 * k)) & 0xff);
  return out + iDict + iData;
}

// The little-endian bytes of every shape value in C order, from its bits whatever the host's order.
std::string ShapeBytes(const Model& iModel) {
  std::string out;
  const ModeShapes& shapes = iModel.base.shapes;
  for (std::size_t k = 0; k < shapes.Modes() * shapes.Nodes() * 6; ++k) {
    std::uint64_t bits;
    std::memcpy(&bits, shapes.Mode(0) + k, sizeof bits);
    for (int b = 0; b < 8; ++b) out += static_cast<char>((bits >> (8 * b)) & 0xff);
  }
  return out;
}

std::string Dict(const std::string& iDescr, const std::string& iOrder, const std::string& iShape) {
  return "{'descr': '" + iDescr + "', 'fortran_order': " + iOrder + ", 'shape': " + iShape + ", }\n";
}

// Version 1.0, '<f8', C order, of iShape.
std::string Plain(const std::string& iShape, const std::string& iData) { return Npy(1, 0, Dict("<f8", "False", iShape), iData); }

class VokdynNpy : public VOKTempDirTest {
 protected:
  void Write(const std::string& iName, const std::string& iBytes) {
    std::ofstream out(Path(iName), std::ios::binary);
    out << iBytes;
    ASSERT_TRUE(out.good()) << iName;
  }
  static std::string ErrorOf(const std::string& iPath) {
    return RefusalOf([&] { LoadModelFile(iPath); });
  }
};

TEST_F(VokdynNpy, ShapesFromTheArrayAreTheInlineShapesToTheBit) {
  const Model generated = SmallTower(30, 5, 40, 3);
  WriteModelFiles(generated, Path("inline.json"), "", "inline");
  WriteModelFiles(generated, Path("npy.json"), "shapes.npy", "npy");
  const Model inlined = LoadModelFile(Path("inline.json"));
  const std::string data = ShapeBytes(generated), expectedCsv = CsvText(RunHarmonic(inlined).response);
  const std::pair<const char*, std::string> rows[] = {
      {"the writer's own file", EncodeModeShapes(generated.base.shapes)},
      {"version 1.0, (modes, nodes, 6)", Plain("(5, 30, 6)", data)},
      {"version 1.0, (modes, nodes * 6)", Plain("(5, 180)", data)},
      {"version 2.0", Npy(2, 0, Dict("<f8", "False", "(5, 30, 6)"), data)},
      {"keys in another order, double quotes, no trailing comma, no padding",
       Npy(1, 0, "{\"shape\":(5,30,6),\"fortran_order\":False,\"descr\":\"<f8\"}", data)},
  };
  // The writer starts the data on a 64-byte boundary, the header ending in a newline.
  const std::string& own = rows[0].second;
  const std::size_t dataAt = 10 + static_cast<unsigned char>(own[8]) + 256u * static_cast<unsigned char>(own[9]);
  EXPECT_EQ(0u, dataAt % 64);
  EXPECT_EQ('\n', own.at(dataAt - 1));
  EXPECT_EQ(data, own.substr(dataAt));
  for (const auto& row : rows) {
    SCOPED_TRACE(row.first);
    Write("shapes.npy", row.second);
    const Model fromNpy = LoadModelFile(Path("npy.json"));
    // The same shapes to the bit, the same model written back inline, the same CSV.
    EXPECT_TRUE(fromNpy.base.shapes.SameValues(generated.base.shapes));
    EXPECT_EQ(WriteModelText(fromNpy, ""), WriteModelText(inlined, ""));
    EXPECT_EQ(CsvText(RunHarmonic(fromNpy).response), expectedCsv);
  }
}

// The generator streams its .npy row by row: the bytes it writes from a model held in memory,
// with and without the participation factors.
TEST_F(VokdynNpy, TheStreamedTowerIsTheTowerHeldInMemory) {
  for (bool participation : {false, true}) {
    SCOPED_TRACE(participation ? "participation given" : "participation from the masses");
    TowerSize size{30, 5, 40, 3};
    size.participation = participation;
    WriteModelFiles(GenerateTower(size), Path("m.json"), "s.npy", "c");
    const std::string json = vokdyn_test::ReadText(Path("m.json")), npy = vokdyn_test::ReadText(Path("s.npy"));
    std::remove(Path("s.npy").c_str());
    WriteTowerFiles(size, Path("m.json"), "s.npy", "c");
    EXPECT_EQ(vokdyn_test::ReadText(Path("m.json")), json);
    EXPECT_EQ(vokdyn_test::ReadText(Path("s.npy")), npy);
    EXPECT_EQ(json.find("participation") != std::string::npos, participation);
  }
}

TEST_F(VokdynNpy, MalformedArraysAreRefusedNamingTheFileAndTheFault) {
  const Model model = SmallTower(3, 2, 2, 1);
  WriteModelFiles(model, Path("model.json"), "shapes.npy", "");
  const std::string data = ShapeBytes(model);  // 2 x 3 x 6 doubles: 288 bytes
  ASSERT_EQ(data.size(), 288u);
  const std::string good = Dict("<f8", "False", "(2, 3, 6)");
  std::string header = Npy(1, 0, good, "");
  auto Shape = [](const std::string& iShape) { return "shape " + iShape + ": expected (2, 3, 6) or (2, 18), (modes, nodes, 6) for this model"; };

  struct Row { const char* name; std::string bytes, fault; } rows[] = {
      {"empty file", "", "truncated: 0 bytes, not even a preamble"},
      {"bad magic", "\x93NUMPZ" + header.substr(6) + data, "not a .npy file: it does not begin with \\x93NUMPY"},
      {"preamble cut in the header length", header.substr(0, 9), "truncated: 9 bytes, not even a preamble"},
      {"version 3.0", Npy(3, 0, good, data), "format version 3.0: expected 1.0 or 2.0"},
      {"version 1.1", Npy(1, 1, good, data), "format version 1.1: expected 1.0 or 2.0"},
      {"header longer than the file", header.substr(0, 40), "truncated: the header is said to be " + std::to_string(good.size()) + " bytes, the file ends 30 bytes after the preamble"},
      {"big-endian doubles", Npy(1, 0, Dict(">f8", "False", "(2, 3, 6)"), data), "dtype '>f8': expected '<f8' (little-endian 64-bit floats)"},
      {"single precision", Npy(1, 0, Dict("<f4", "False", "(2, 3, 6)"), data.substr(0, 144)), "dtype '<f4': expected '<f8' (little-endian 64-bit floats)"},
      {"Fortran order", Npy(1, 0, Dict("<f8", "True", "(2, 3, 6)"), data), "fortran_order is True: expected the C order (fortran_order False)"},
      {"three components per node", Plain("(2, 3, 3)", data.substr(0, 144)), Shape("(2, 3, 3)")},
      {"one mode too many", Plain("(3, 3, 6)", data + data.substr(0, 144)), Shape("(3, 3, 6)")},
      {"nodes and modes swapped", Plain("(3, 2, 6)", data), Shape("(3, 2, 6)")},
      {"one dimension", Plain("(36,)", data), Shape("(36,)")},
      {"data cut short", Npy(1, 0, good, data.substr(0, 280)), "truncated: 280 bytes of data, expected 288 for shape (2, 3, 6)"},
      {"bytes after the data", Npy(1, 0, good, data + "x"), "extra bytes after the array: 289 bytes of data, expected 288 for shape (2, 3, 6)"},
      {"header without shape", Npy(1, 0, "{'descr': '<f8', 'fortran_order': False}", data), "header: the key 'shape' is missing"},
      {"header with another key", Npy(1, 0, "{'descr': '<f8', 'fortran_order': False, 'shape': (2, 3, 6), 'x': 1}", data), "header: unknown key 'x' (a header holds 'descr', 'fortran_order' and 'shape')"},
      {"header with a key twice", Npy(1, 0, "{'descr': '<f8', 'descr': '<f8', 'fortran_order': False, 'shape': (2, 3, 6)}", data), "header: the key 'descr' is given twice"},
      {"header not a dictionary", Npy(1, 0, "descr=<f8", data), "header: expected a dictionary '{', found 'descr=<f8'"},
      {"header dictionary not closed", Npy(1, 0, "{'descr': '<f8', 'fortran_order': False, 'shape': (2, 3, 6)", data), "header: expected ',' or '}', found the end of the header"},
      {"fortran_order not a name", Npy(1, 0, Dict("<f8", "0", "(2, 3, 6)"), data), "header: expected True or False for 'fortran_order', found '0, 'shape': (2, 3, 6), }'"},
      {"negative dimension", Plain("(2, -3, 6)", data), "header: expected a non-negative integer in 'shape', found '-3, 6), }\\x0a'"},
      {"text after the dictionary", Npy(1, 0, good + "x", data), "header: expected nothing but spaces after the dictionary, found 'x'"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Write("shapes.npy", row.bytes);
    EXPECT_EQ(ErrorOf(Path("model.json")), Path("model.json") + ": modal_base.shapes: " + Path("shapes.npy") + ": " + row.fault);
  }
  std::remove(Path("shapes.npy").c_str());
  EXPECT_EQ(ErrorOf(Path("model.json")),
            Path("model.json") + ": modal_base.shapes: " + Path("shapes.npy") + ": cannot be read (No such file or directory)");
}

TEST_F(VokdynNpy, TheReferenceIsCheckedAndResolvedBesideTheModel) {
  const Model model = SmallTower(3, 2, 2, 1);
  const std::string npy = EncodeModeShapes(model.base.shapes);
  const std::string withFile = WriteModelText(model, "", "sub/shapes.npy"), inlined = WriteModelText(model, "");
  // The path beside the model; as written without a model directory; as given when absolute.
  const std::array<std::string, 3> resolutions[] = {{"dir/model.json", "sub/shapes.npy", "dir/sub/shapes.npy"},
                                                    {"<stdin>", "sub/shapes.npy", "sub/shapes.npy"},
                                                    {"dir/model.json", "/data/shapes.npy", "/data/shapes.npy"}};
  for (const auto& r : resolutions) {
    std::vector<std::string> asked;
    const Model loaded = LoadModelText(WriteModelText(model, "", r[1]), r[0], [&](const std::string& iPath) {
      asked.push_back(iPath);
      return npy;
    });
    EXPECT_EQ(asked, std::vector<std::string>{r[2]});
    EXPECT_EQ(loaded.base.shapesFile, r[2]);
    EXPECT_TRUE(loaded.base.shapes.SameValues(model.base.shapes));
  }
  // Refusals in the model file, and a reader's failure with its reason.
  const auto permission = [](const std::string&) -> std::string { throw std::runtime_error("Permission denied"); };
  const auto found = [&](const std::string&) { return npy; };
  struct Row { std::string text, message; std::function<std::string(const std::string&)> reader; };
  const Row rows[] = {
      {withFile, "m.json: modal_base.shapes: sub/shapes.npy: cannot be read (Permission denied)", permission},
      {Edited(withFile, "\"sub/shapes.npy\"", "3"), "m.json: modal_base.shapes: expected the name of a .npy file, got 3", found},
      {Edited(withFile, "\"sub/shapes.npy\"", "\"\""), "m.json: modal_base.shapes: expected the name of a .npy file, got \"\"", found},
      {Edited(inlined, "\"damping_diagonal\": true,", "\"damping_diagonal\": true, \"shapes\": \"s.npy\","),
       "m.json: modal_base.modes[0].shape: given as well as \"modal_base.shapes\": give the shapes either in the modes or in the file", found},
      {Edited(withFile, "\"shapes\"", "\"shape\""), "m.json: modal_base: unknown key \"shape\" (did you mean \"shapes\"?)", found},
  };
  for (const Row& row : rows) EXPECT_EQ(RefusalOf([&] { LoadModelText(row.text, "m.json", row.reader); }), row.message);
}

// The values of a mapped file are read, and checked, only where a run reads them: the rows of the
// loaded and output nodes when every mode gives its participation factors, every row when a factor
// comes from the masses or fields are written; `check` reads none.
TEST_F(VokdynNpy, ValuesAreCheckedWhereARunFirstReadsThem) {
  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  TowerSize size{4, 3, 12, 1};  // load and output at the top node (index 3)
  size.participation = true;
  const Model given = GenerateTower(size);
  size.participation = false;
  const Model computed = GenerateTower(size);
  // Factors given or computed from the masses: the same bits, so the same results.
  const StandIn standIn = BuildStandIn(computed);
  for (std::size_t i = 0; i < given.base.modes.size(); ++i)
    for (int d = 1; d <= 6; ++d)
      EXPECT_EQ(standIn.base->Participation(static_cast<int>(i), d), given.base.modes[i].participation[static_cast<std::size_t>(d - 1)]);
  struct Row {
    const char* name;
    const Model& model;
    std::size_t mode, node, component;
    double value;
    bool flat, fields;
    std::string fault;  // empty: the run reads no value that is not finite
  } rows[] = {
      {"an unread row, factors given", given, 1, 1, 3, nan, false, false, ""},
      {"an unread row, factors computed", computed, 1, 1, 3, nan, false, false, "element [1, 1, 3] is nan"},
      {"an unread row, fields written", given, 2, 0, 0, -inf, false, true, "element [2, 0, 0] is -inf"},
      {"the output's row, factors given, flat shape", given, 0, 3, 5, nan, true, false, "element [0, 23] is nan"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    WriteModelFiles(row.model, Path("m.json"), "s.npy", "");
    std::string bytes = EncodeModeShapes(row.model.base.shapes);
    const std::size_t data = bytes.size() - ShapeBytes(row.model).size();
    std::memcpy(&bytes[data + ((row.mode * 4 + row.node) * 6 + row.component) * 8], &row.value, 8);
    if (row.flat) bytes = Plain("(3, 24)", bytes.substr(data));
    Write("s.npy", bytes);
    const Model loaded = LoadModelFile(Path("m.json"));
    EXPECT_NO_THROW(CheckDamping(loaded));  // the header alone
    // As the commands run it: the rows the run reads are read from the file, the file not mapped.
    Model kept = loaded;
    const std::string refusal = RefusalOf([&] {
      if (!row.fields) KeepRowsOfRun(kept, 2);
      const std::string expected = CsvText(RunHarmonic(row.model).response);
      EXPECT_EQ(CsvText(RunHarmonic(kept).response), expected);
      if (row.fields) MakeFieldBasis(loaded);
      EXPECT_EQ(CsvText(RunHarmonic(loaded).response), expected);
    });
    // (The hand-made flat header leaves the data unaligned: read into memory, not mapped.)
    const bool someRows = !row.fields && &row.model == &given && !row.flat;
    EXPECT_EQ(kept.base.shapes.Share() != loaded.base.shapes.Share(), someRows);
    if (someRows && row.fault.empty()) {
      EXPECT_EQ(kept.base.shapes.Row(row.mode, row.node)[row.component], 0.0) << "a row not read";
    }
    EXPECT_EQ(refusal, row.fault.empty() ? "(loaded)" : Path("m.json") + ": modal_base.shapes: " + Path("s.npy") + ": " + row.fault + ": expected a finite number");
  }
  // Threads that share the modes, and modes summed four at once, report the first value of the file
  // whichever is found first (mode 6's at a lower node than mode 5's, in the same four).
  const Model many = GenerateTower(TowerSize{4, 9, 12, 1});
  WriteModelFiles(many, Path("m.json"), "s.npy", "");
  std::string bytes = EncodeModeShapes(many.base.shapes);
  const std::size_t data = bytes.size() - ShapeBytes(many).size();
  std::memcpy(&bytes[data + ((6 * 4 + 0) * 6 + 1) * 8], &nan, 8);
  std::memcpy(&bytes[data + ((5 * 4 + 2) * 6 + 4) * 8], &inf, 8);
  Write("s.npy", bytes);
  for (int threads : {1, 2, 3}) {
    Model loaded = LoadModelFile(Path("m.json"));
    EXPECT_EQ(RefusalOf([&] { KeepRowsOfRun(loaded, threads); }),
              Path("m.json") + ": modal_base.shapes: " + Path("s.npy") + ": element [5, 2, 4] is inf: expected a finite number")
        << threads << " threads";
  }
}

}  // namespace
