// Response fields: blocked modal sums and VTK files read back by VTK, against the sweep bit for bit.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "VOKDYNCalculixDeck.h"
#include "VOKDYNFields.h"
#include "VOKDYNModelLoader.h"
#include "VOKTempDirTest.h"

namespace {

using namespace vokdyn;

std::uint64_t Bits(double iValue) {
  std::uint64_t bits;
  std::memcpy(&bits, &iValue, sizeof bits);
  return bits;
}

// Deterministic values of both signs, zeros of either sign, magnitudes over several decades.
double Value(std::uint64_t& ioState) {
  ioState = ioState * 6364136223846793005ull + 1442695040888963407ull;
  const unsigned kind = static_cast<unsigned>(ioState >> 60);
  if (kind == 0) return 0.0;
  if (kind == 1) return -0.0;
  const double unit = static_cast<double>(ioState >> 11) / 9007199254740992.0;
  return (kind & 2 ? -1.0 : 1.0) * unit * std::pow(10.0, static_cast<int>(kind % 7) - 3);
}

TEST(ResponseFields, ModalSumsAreTheSweepsSumsBitForBit) {
  struct Row {
    std::size_t nodes, modes, frequencies;
    bool rotations;
    int threads;
  };
  // Sizes around the vector width (8), frequency block (4) and DOF block (512); 1 to 4 threads.
  const std::vector<Row> rows = {{1, 1, 1, false, 1},   {3, 2, 5, true, 1},     {37, 5, 7, false, 2},
                                 {171, 13, 4, false, 3}, {100, 40, 9, true, 2}, {1000, 3, 3, false, 4}};
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.nodes) + " nodes, " + std::to_string(row.modes) + " modes, " +
                 std::to_string(row.frequencies) + " frequencies, " + std::to_string(row.threads) + " threads");
    std::uint64_t state = row.nodes * 1000 + row.modes;
    Model model;
    for (std::size_t n = 0; n < row.nodes; ++n) model.nodes.push_back(Node{static_cast<int>(n + 1), {}, false, {}});
    std::vector<std::vector<Vec6>> shapes(row.modes);
    for (std::size_t i = 0; i < row.modes; ++i) {
      for (std::size_t n = 0; n < row.nodes; ++n) {
        Vec6 v{};
        for (int c = 0; c < (row.rotations ? 6 : 3); ++c) v[c] = Value(state);
        shapes[i].push_back(v);
      }
      model.base.modes.emplace_back();
    }
    model.base.shapes = ModeShapes::FromRows(shapes);
    std::vector<std::complex<double>> q(row.frequencies * row.modes);
    for (auto& v : q) v = {Value(state), Value(state)};

    const FieldBasis basis = MakeFieldBasis(model);
    ASSERT_EQ(basis.components, row.rotations ? 6u : 3u);
    std::vector<double> re(row.frequencies * basis.stride, 7.0), im(row.frequencies * basis.stride, 7.0);
    ModalFieldSum(basis, q.data(), row.frequencies, re.data(), im.data(), row.threads);
    for (std::size_t f = 0; f < row.frequencies; ++f)
      for (std::size_t n = 0; n < row.nodes; ++n)
        for (std::size_t c = 0; c < basis.components; ++c) {
          // The sweep's sum at an output: from zero, in mode order.
          std::complex<double> u(0.0, 0.0);
          for (std::size_t i = 0; i < row.modes; ++i) u += shapes[i][n][c] * q[f * row.modes + i];
          const std::size_t d = f * basis.stride + n * basis.components + c;
          ASSERT_EQ(Bits(re[d]), Bits(u.real())) << "frequency " << f << ", node " << n << ", component " << c;
          ASSERT_EQ(Bits(im[d]), Bits(u.imag())) << "frequency " << f << ", node " << n << ", component " << c;
        }
  }
}

class ResponseFieldFiles : public VOKTempDirTest {
 protected:
  int Run(const std::string& iCommand) const {
    std::string command = "cd '" + _Dir + "' && ( " + iCommand + " ) > out.log 2>&1";
    int raw = std::system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }
  std::string Log() const { return ReadWholeFile(Path("out.log")); }
};

// VTK's reader prints "set <time> <points> <cells> <types>", then "<node_id> <array> <x> <y> <z>" (repr).
const char* const kReadBack = R"(
import sys, xml.etree.ElementTree as ET
from vtkmodules.vtkIOXML import vtkXMLUnstructuredGridReader
d = sys.argv[1]
for ds in ET.parse(d + "/fields.pvd").getroot().iter("DataSet"):
    r = vtkXMLUnstructuredGridReader()
    r.SetFileName(d + "/" + ds.get("file"))
    r.Update()
    g = r.GetOutput()
    types = sorted(set(g.GetCellType(c) for c in range(g.GetNumberOfCells())))
    print("set", ds.get("timestep"), g.GetNumberOfPoints(), g.GetNumberOfCells(), ",".join(map(str, types)))
    pd = g.GetPointData()
    ids = pd.GetArray("node_id")
    for a in range(pd.GetNumberOfArrays()):
        arr = pd.GetArray(a)
        if arr.GetNumberOfComponents() != 3: continue
        for p in range(g.GetNumberOfPoints()):
            print(int(ids.GetTuple1(p)), arr.GetName(), *map(repr, arr.GetTuple3(p)))
)";

TEST_F(ResponseFieldFiles, ReadBackByVtkTheyEqualTheCsvAtEveryOutput) {
  // The solid cantilever, imported, with its load and output at the tip.
  vokdyn_test::CantileverDeck deck = vokdyn_test::CantileverDeck::Hexahedra(1, 1, 3, 3);
  std::ofstream(Path("beam.inp")) << deck.Text();
  ASSERT_EQ(Run("ccx beam"), 0) << Log();
  ASSERT_EQ(Run(std::string("'") + VOKDYN_EXE + "' import calculix beam -o beam.json --load " +
                std::to_string(deck.tip[0]) + ":UY --response " + std::to_string(deck.tip[3]) + ":UY"),
            0)
      << Log();
  std::ofstream(Path("readback.py")) << kReadBack;
  // The model asking for fields itself (first frequency, peaks): they go to beam-asks-fields/.
  const double firstSwept = SweepFrequencies(LoadModelFile(Path("beam.json")).sweep).front();
  std::string asks = ReadWholeFile(Path("beam.json"));
  char request[96];
  std::snprintf(request, sizeof request, "\n  \"fields\": {\"frequencies\": [%.17g], \"at_peaks\": true},", firstSwept);
  asks.insert(asks.find("\n{\n") + 2, request);
  std::ofstream(Path("beam-asks.json")) << asks;

  struct Row {
    const char* label;
    std::string model;
    std::size_t points;
    std::string cellTypes;  // VTK's numbers
    bool rotations;
    std::string option = " --fields fields", directory = "fields";
    std::set<double> listed = {};  // frequencies asked for besides the peaks
  };
  const std::vector<Row> rows = {
      {"base motion on a turned axis, rotations", std::string(VOKDYN_EXAMPLES) + "/tower-rocking-base.json", 3, "1",
       true},
      {"an enforced support displacement", std::string(VOKDYN_EXAMPLES) + "/beam-support-settlement.json", 0, "1", true},
      {"an imported solid", "beam.json", deck.nodes.size(), "12", false},
      {"a model asking for fields", "beam-asks.json", deck.nodes.size(), "12", false, "", "beam-asks-fields", {firstSwept}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    ASSERT_EQ(Run("rm -rf " + row.directory + " && '" + VOKDYN_EXE + "' harmonic '" + row.model +
                  "' -o out.csv -q --threads 2" + row.option),
              0)
        << Log();
    ASSERT_EQ(Run("/usr/bin/python3 readback.py " + row.directory + " > readback.txt"), 0) << Log();

    // The CSV: one row per frequency, its text as written.
    std::istringstream csv(ReadWholeFile(Path("out.csv")));
    std::string header, line;
    std::getline(csv, header);
    std::vector<std::string> columns;
    for (std::stringstream h(header); std::getline(h, line, ',');) columns.push_back(line);
    std::vector<std::vector<double>> table;
    while (std::getline(csv, line)) {
      std::vector<double> values;
      for (std::stringstream l(line); std::getline(l, header, ',');) values.push_back(std::strtod(header.c_str(), nullptr));
      table.push_back(values);
    }
    // The peak of each output: the first row of largest |u|.
    std::set<double> peaks = row.listed;
    const std::size_t outputs = (columns.size() - 1) / 4;
    for (std::size_t o = 0; o < outputs; ++o) {
      std::size_t best = 0;
      for (std::size_t t = 0; t < table.size(); ++t)
        if (table[t][3 + 4 * o] > table[best][3 + 4 * o]) best = t;
      peaks.insert(table[best][0]);
    }

    // What VTK read: per data set, per node and array, three values.
    std::istringstream read(ReadWholeFile(Path("readback.txt")));
    std::map<double, std::map<std::pair<int, std::string>, std::array<double, 3>>> fields;
    std::set<double> sets;
    double current = 0;
    while (std::getline(read, line)) {
      std::istringstream words(line);
      std::string first;
      words >> first;
      if (first == "set") {
        std::size_t points = 0, cells = 0;
        std::string timestep, types;
        words >> timestep >> points >> cells >> types;
        current = std::strtod(timestep.c_str(), nullptr);
        sets.insert(current);
        EXPECT_EQ(row.points ? points : 0, row.points);  // 0: any point count
        EXPECT_EQ(types, row.cellTypes);
        continue;
      }
      std::string name, x, y, z;
      words >> name >> x >> y >> z;
      fields[current][{std::stoi(first), name}] = {std::strtod(x.c_str(), nullptr), std::strtod(y.c_str(), nullptr),
                                                   std::strtod(z.c_str(), nullptr)};
    }
    // The .pvd's times are the peak frequencies (9 digits: single precision).
    ASSERT_EQ(sets.size(), peaks.size());
    for (auto s = sets.begin(), p = peaks.begin(); s != sets.end(); ++s, ++p)
      EXPECT_EQ(static_cast<float>(*s), static_cast<float>(*p));
    bool anyRotation = false;
    for (std::size_t o = 0; o < outputs; ++o) {
      const std::string label = columns[1 + 4 * o];  // N<id>_<C>_re
      const int node = std::stoi(label.substr(1, label.find('_') - 1));
      const std::string component = label.substr(label.find('_') + 1, 2);
      const int c = static_cast<int>(std::string("UXUYUZRXRYRZ").find(component) / 2);
      const std::string prefix = c < 3 ? "U_" : "R_";
      anyRotation = anyRotation || c >= 3;
      for (std::size_t t = 0; t < table.size(); ++t) {
        if (!peaks.count(table[t][0])) continue;
        auto& at = fields[*std::next(sets.begin(), std::distance(peaks.begin(), peaks.find(table[t][0])))];
        SCOPED_TRACE(label + " at " + std::to_string(table[t][0]) + " Hz");
        ASSERT_TRUE(at.count({node, prefix + "real"}));
        EXPECT_EQ(Bits(at[{node, prefix + "real"}][c % 3]), Bits(table[t][1 + 4 * o]));
        EXPECT_EQ(Bits(at[{node, prefix + "imag"}][c % 3]), Bits(table[t][2 + 4 * o]));
        EXPECT_EQ(Bits(at[{node, prefix + "amplitude"}][c % 3]), Bits(table[t][3 + 4 * o]));
      }
    }
    // Rotations are written exactly when the shapes have them.
    bool written = false;
    for (const auto& entry : fields.begin()->second) written = written || entry.first.second == "R_real";
    EXPECT_EQ(written, row.rotations);
    EXPECT_TRUE(written || !anyRotation);
  }
}

}  // namespace
