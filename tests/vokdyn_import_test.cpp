// vokdyn import calculix: the solver run on small decks, its results read back against its printout.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "VOKDYNCalculixDeck.h"
#include "VOKDYNImport.h"
#include "VOKDYNModelLoader.h"
#include "VOKTempDirTest.h"

namespace {

using namespace vokdyn;
using vokdyn_test::CantileverDeck;

// The eigenvalue table and printed eigenvectors of a .dat, read independently of the importer.
struct Printed {
  std::vector<double> frequencies;
  std::vector<std::array<double, 6>> participation;
  std::vector<std::map<int, std::array<double, 3>>> shapes;  // per mode: node -> (vx, vy, vz)
};

Printed ReadPrinted(const std::string& iPath) {
  std::ifstream in(iPath);
  Printed p;
  std::string line;
  enum { None, Eigen, Participation, Shape } table = None;
  while (std::getline(in, line)) {
    if (line.find("E I G E N V A L U E   O U T P U T") != std::string::npos) table = Eigen;
    else if (line.find("P A R T I C I P A T I O N") != std::string::npos) table = Participation;
    else if (line.find("E I G E N V A L U E    N U M B E R") != std::string::npos) {
      table = Shape;
      p.shapes.emplace_back();
    } else if (line.find("E F F E C T I V E") != std::string::npos || line.find("T O T A L") != std::string::npos) {
      table = None;
    }
    int mode = 0;
    double v[6];
    if (table == Eigen && std::sscanf(line.c_str(), "%d %lf %lf %lf %lf", &mode, v, v + 1, v + 2, v + 3) == 5)
      p.frequencies.push_back(v[2]);
    if (table == Participation &&
        std::sscanf(line.c_str(), "%d %lf %lf %lf %lf %lf %lf", &mode, v, v + 1, v + 2, v + 3, v + 4, v + 5) == 7)
      p.participation.push_back({v[0], v[1], v[2], v[3], v[4], v[5]});
    if (table == Shape && std::sscanf(line.c_str(), "%d %lf %lf %lf", &mode, v, v + 1, v + 2) == 4)
      p.shapes.back()[mode] = {v[0], v[1], v[2]};
  }
  return p;
}

TEST(InpNodeSets, SetsAsTheDeckDefinesThemOrTheLineThatIsWrong) {
  struct Row {
    const char* label;
    std::string deck;
    std::vector<std::pair<std::string, std::vector<int>>> sets;
    std::string error;  // empty: read
  };
  const std::vector<Row> rows = {
      {"node lines and lists, any case, comments", "** a comment\n*Node, nset=Nall\n1, 0, 0, 0\n2, 1, 0, 0\n"
       "*nset,NSET=tip\n2,\n1 , 2\n", {{"NALL", {1, 2}}, {"TIP", {2, 1}}}, ""},
      {"generated ranges with and without increment", "*NSET, NSET=A, GENERATE\n1, 7, 3\n10, 11\n",
       {{"A", {1, 4, 7, 10, 11}}}, ""},
      {"a set named in a set, repeated keyword adds", "*NSET, NSET=A\n5, 6\n*NSET, NSET=B\nA, 9\n*NSET, NSET=A\n7\n",
       {{"A", {5, 6, 7}}, {"B", {5, 6, 9}}}, ""},
      {"other keywords' data ignored", "*ELEMENT, TYPE=C3D8, ELSET=E\n1, 1, 2, 3, 4, 5, 6, 7, 8\n*BOUNDARY\nFIX, 1, 3\n",
       {}, ""},
      {"unknown set name", "*NSET, NSET=A\n1\n*NSET, NSET=B\nC\n", {},
       "deck.inp: line 4: \"C\" is neither a node number nor a set defined before"},
      {"decreasing range", "*NSET, NSET=A, GENERATE\n9, 2\n", {}, "deck.inp: line 2: a generated set from 9 down to 2"},
      {"zero increment", "*NSET, NSET=A, GENERATE\n1, 9, 0\n", {},
       "deck.inp: line 2: expected an increment of 1 or more, got \"0\""},
      {"no set name", "*NSET\n1\n", {}, "deck.inp: line 1: *NSET without NSET=name"},
      {"a node number below 1", "*NODE, NSET=N\n0, 1, 2, 3\n", {},
       "deck.inp: line 2: expected a node number (1 to 2147483647), got \"0\""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    try {
      InpNodeSets sets = ParseInpNodeSets(row.deck, "deck.inp");
      EXPECT_EQ(row.error, "");
      EXPECT_EQ(sets.sets, row.sets);
    } catch (const ResultFileError& e) {
      EXPECT_EQ(e.what(), row.error);
    }
  }
}

// The keys the import writes, read by the loader: groups, elements, fields, nodes without rotations.
TEST(ModelMeshKeys, ReadIntoTheModelOrRefusedByPath) {
  const std::string head = R"({"format": "vokdyn-model/1",
    "nodes": [{"id": 1, "xyz": [0, 0, 0]}, {"id": 2, "xyz": [1, 0, 0]}, {"id": 3, "xyz": [0, 1, 0]}],
    "modal_base": {"modes": [{"frequency": 2, "shape": [[1, 0, 0, 0, 0, 0], [0, 1, 0, 0, 0, 0], [0, 0, 1, 0, 0, 0]]}])";
  const std::string tail = R"(, "damping": {"type": "modal", "percent": 2}, "frequencies": [1, 2])";
  struct Row {
    const char* label;
    std::string base, rest;  // after "modal_base": {"modes": [...]; after the damping and frequencies
    std::vector<Output> outputs;
    std::size_t elements, groups;
    std::string error;  // empty: read
  };
  const std::string load = R"(, "loads": [{"forces": [{"node": 1, "values": [1, 0, 0, 0, 0, 0]}]}])";
  const std::string groups = R"(, "groups": {"TIP": [3, 1], "ONE": [2]})";
  const std::vector<Row> rows = {
      {"outputs of a group, in its order", "}", load + groups + R"(, "outputs": [{"set": "TIP", "component": 2}, {"node": 2, "component": 1}])",
       {{3, 2}, {1, 2}, {2, 1}}, 0, 2, ""},
      {"elements", "}", load + R"(, "elements": [{"type": "tr3", "nodes": [1, 2, 3]}, {"type": "be2", "nodes": [3, 1]}], "outputs": [{"node": 1, "component": 1}])",
       {{1, 1}}, 2, 0, ""},
      {"an unknown group", "}", load + groups + R"(, "outputs": [{"set": "TOP", "component": 2}])", {}, 0, 0,
       "model.json: outputs[0].set: unknown group \"TOP\""},
      {"node and set both", "}", load + groups + R"(, "outputs": [{"set": "TIP", "node": 1, "component": 2}])", {}, 0, 0,
       "model.json: outputs[0]: expected either \"node\" (a node id) or \"set\" (the name of a group), not both"},
      {"a group's node and an output twice", "}", load + groups + R"(, "outputs": [{"node": 1, "component": 2}, {"set": "TIP", "component": 2}])",
       {}, 0, 0, "model.json: outputs[1]: output N1_UY is asked twice"},
      {"a group with an unknown node", "}", load + R"(, "groups": {"G": [1, 9]}, "outputs": [{"node": 1, "component": 1}])", {}, 0, 0,
       "model.json: groups.G[1]: unknown node 9"},
      {"an element with too few nodes", "}", load + R"(, "elements": [{"type": "qu4", "nodes": [1, 2, 3]}], "outputs": [{"node": 1, "component": 1}])",
       {}, 0, 0, "model.json: elements[0].nodes: expected an array of 4 node ids (qu4), got an array of 3"},
      {"an unknown element type", "}", load + R"(, "elements": [{"type": "hex", "nodes": [1]}], "outputs": [{"node": 1, "component": 1}])",
       {}, 0, 0, "model.json: elements[0].type: expected an element type: he8, pe6, te4, he20, pe15, te10, tr3, tr6, qu4, qu8, be2 or be3, got \"hex\""},
      {"fields without a frequency", "}", load + R"(, "fields": {"frequencies": []}, "outputs": [{"node": 1, "component": 1}])", {}, 0, 0,
       "model.json: fields: no frequency: give \"frequencies\" or \"at_peaks\": true"},
      {"an output on a rotation without rotations", R"(, "rotations": false})", load + R"(, "outputs": [{"node": 1, "component": 5}])", {}, 0, 0,
       "model.json: outputs[0].component: the nodes have no rotations (modal_base.rotations is false: solid elements); expected a translation, 1..3"},
      {"a moment without rotations", R"(, "rotations": false})",
       R"(, "loads": [{"forces": [{"node": 1, "values": [1, 0, 0, 0, 2, 0]}]}], "outputs": [{"node": 1, "component": 1}])", {}, 0, 0,
       "model.json: loads[0].forces[0].values[4]: a moment on a node without rotations (modal_base.rotations is false: solid elements); expected 0"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    const std::string text = head + row.base + tail + row.rest + "}";
    try {
      Model m = LoadModelText(text, "model.json");
      EXPECT_EQ(row.error, "");
      ASSERT_EQ(m.outputs.size(), row.outputs.size());
      for (std::size_t o = 0; o < m.outputs.size(); ++o) EXPECT_EQ(OutputLabel(m.outputs[o]), OutputLabel(row.outputs[o]));
      EXPECT_EQ(m.elements.size(), row.elements);
      EXPECT_EQ(m.groups.size(), row.groups);
    } catch (const ModelError& e) {
      EXPECT_EQ(e.what(), row.error);
    }
  }
}

// A number in at most iDigits significant digits, as both the tool and the solver read it.
std::string Digits(double iValue, int iDigits) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*g", iDigits, iValue);
  return text;
}

// The data rows of a csv the tool wrote, header skipped.
std::vector<std::vector<double>> ReadCsvRows(const std::string& iPath) {
  std::istringstream csv(ReadWholeFile(iPath));
  std::string line, cell;
  std::getline(csv, line);
  std::vector<std::vector<double>> rows;
  while (std::getline(csv, line)) {
    rows.emplace_back();
    for (std::stringstream cells(line); std::getline(cells, cell, ',');)
      rows.back().push_back(std::stod(cell));
  }
  return rows;
}

class ImportCalculix : public VOKTempDirTest {
 protected:
  // Writes the deck as JOB.inp and runs the solver on it.
  void Solve(const CantileverDeck& iDeck, const std::string& iJob) { RunSolver(iJob, iDeck.Text()); }
  void RunSolver(const std::string& iJob, const std::string& iText) {
    std::ofstream(Path(iJob + ".inp")) << iText;
    std::string command = "cd '" + _Dir + "' && ccx " + iJob + " > " + iJob + ".log 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0)
        << "ccx failed on " << iJob << ".inp (is calculix-ccx installed?)\n" << ReadWholeFile(Path(iJob + ".log"));
  }
  // Solves the deck as "modes" and imports it with a load and a response at the tip's UY.
  Model ImportTipUy(const CantileverDeck& iDeck) {
    Solve(iDeck, "modes");
    const std::string tip = std::to_string(iDeck.tip.back()) + ":UY";
    const std::string arguments = "modes -o imported.json --load " + tip + " --response " + tip;
    EXPECT_EQ(Vokdyn("import calculix " + arguments).status, 0);
    return LoadModelFile(Path("imported.json"));
  }
  struct Outcome {
    int status = -1;
    std::string out, err;
  };
  Outcome Vokdyn(const std::string& iArguments) const {
    std::string command = "cd '" + _Dir + "' && '" + VOKDYN_EXE + "' " + iArguments + " > stdout 2> stderr";
    int raw = std::system(command.c_str());
    Outcome o;
    o.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    o.out = ReadWholeFile(Path("stdout"));
    o.err = ReadWholeFile(Path("stderr"));
    return o;
  }
  bool Exists(const std::string& iName) const {
    struct stat info;
    return stat(Path(iName).c_str(), &info) == 0;
  }
};

TEST_F(ImportCalculix, ModesShapesSetsAndElementsAreWhatTheSolverPrinted) {
  struct Row {
    const char* label;
    CantileverDeck deck;
    bool binary;
    double shapeTolerance;  // relative to the mode's largest translation
  };
  // Text results have six digits, binary single precision; the printed eigenvectors seven.
  const std::vector<Row> rows = {
      {"hexahedra, text results", CantileverDeck::Hexahedra(1, 1, 4, 5), false, 1e-5},
      {"hexahedra, binary results", CantileverDeck::Hexahedra(1, 1, 4, 5).Binary(), true, 2e-6},
      {"quadratic hexahedra, text", CantileverDeck::Quadratic(1, 2, 3, 6), false, 1e-5},
      {"quadratic hexahedra, binary", CantileverDeck::Quadratic(1, 2, 3, 6).Binary(), true, 2e-6},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    const std::string job = "job" + std::to_string(&row - rows.data());
    Solve(row.deck, job);
    ImportOptions options;
    options.job = Path(job);
    options.model = Path(job + ".json");
    ImportedJob imported = ReadCalculixJob(options);
    Printed printed = ReadPrinted(Path(job + ".dat"));
    const Model& m = imported.model;

    EXPECT_EQ(imported.binaryFrd, row.binary);
    EXPECT_EQ(imported.inpPath, Path(job + ".inp"));
    ASSERT_EQ(m.base.modes.size(), static_cast<std::size_t>(row.deck.modes));
    ASSERT_EQ(printed.frequencies.size(), m.base.modes.size());
    ASSERT_EQ(printed.shapes.size(), m.base.modes.size());
    ASSERT_EQ(m.nodes.size(), row.deck.nodes.size());
    for (std::size_t n = 0; n < m.nodes.size(); ++n) {
      EXPECT_EQ(m.nodes[n].id, row.deck.nodes[n].first);
      for (int c = 0; c < 3; ++c) EXPECT_NEAR(m.nodes[n].xyz[c], row.deck.nodes[n].second[c], 1e-5);
    }
    for (std::size_t i = 0; i < m.base.modes.size(); ++i) {
      const Mode& mode = m.base.modes[i];
      EXPECT_NEAR(mode.frequency, printed.frequencies[i], 5e-7 * printed.frequencies[i]) << "mode " << i + 1;
      EXPECT_EQ(mode.generalizedMass, 1.0);
      const double omega = 2 * M_PI * mode.frequency;
      EXPECT_NEAR(mode.generalizedStiffness, omega * omega, 1e-12 * omega * omega);
      ASSERT_TRUE(mode.hasParticipation);
      for (int d = 0; d < 6; ++d) EXPECT_EQ(mode.participation[d], printed.participation[i][d]);
      double largest = 0;
      for (const auto& entry : printed.shapes[i])
        for (double v : entry.second) largest = std::max(largest, std::fabs(v));
      for (std::size_t n = 0; n < m.nodes.size(); ++n) {
        const auto& expected = printed.shapes[i].at(m.nodes[n].id);
        for (int c = 0; c < 3; ++c)
          ASSERT_NEAR(m.base.shapes.Row(i, n)[c], expected[c], row.shapeTolerance * largest)
              << "mode " << i + 1 << ", node " << m.nodes[n].id << ", component " << c + 1;
        for (int c = 3; c < 6; ++c) EXPECT_EQ(m.base.shapes.Row(i, n)[c], 0.0);
      }
    }
    // Elements in the deck's node order, whatever the results file's order.
    ASSERT_EQ(imported.elements.size(), row.deck.elements.size());
    for (std::size_t e = 0; e < imported.elements.size(); ++e)
      EXPECT_EQ(imported.elements[e].nodes, row.deck.elements[e]) << "element " << e + 1;
    // The deck's node sets, in capitals.
    ASSERT_EQ(imported.sets.sets.size(), 3u);
    EXPECT_EQ(imported.sets.sets[0].first, "NALL");
    EXPECT_EQ(imported.sets.sets[1], std::make_pair(std::string("FIX"), row.deck.fixed));
    EXPECT_EQ(imported.sets.sets[2], std::make_pair(std::string("TIP"), row.deck.tip));
  }
}

// Γ_d a unit force at the tip: the written model's response is the modal
// sum u = Σ φ_i(out) φ_i(load) / (k_i − ω² + i ω c_i), c_i = 2 ζ ω_i.
TEST_F(ImportCalculix, WrittenModelRunsAndGivesTheModalSum) {
  CantileverDeck deck = CantileverDeck::Hexahedra(1, 1, 4, 4);
  Solve(deck, "beam");
  const int tip = deck.tip.back();
  Outcome imported = Vokdyn("import calculix beam -o model.json --load " + std::to_string(tip) +
                            ":UX --response " + std::to_string(tip) + ":1");
  ASSERT_EQ(imported.status, 0) << imported.err;
  EXPECT_EQ(imported.err, "");
  EXPECT_NE(imported.out.find("  wrote        model.json, model.npy\n"), std::string::npos) << imported.out;
  EXPECT_EQ(imported.out.find("placeholder"), std::string::npos);

  Model model = LoadModelFile(Path("model.json"));
  ImportOptions options;
  options.job = Path("beam");
  options.model = Path("model.json");
  ImportedJob job = ReadCalculixJob(options);
  ASSERT_EQ(model.base.modes.size(), 4u);
  for (std::size_t i = 0; i < 4; ++i) {
    // The model file and its .npy give back the imported values exactly.
    EXPECT_EQ(model.base.modes[i].frequency, job.model.base.modes[i].frequency);
  }
  EXPECT_TRUE(model.base.shapes.SameValues(job.model.base.shapes));
  EXPECT_EQ(model.sweep.spacing, Spacing::Log);
  EXPECT_DOUBLE_EQ(model.sweep.from, 0.8 * model.base.modes.front().frequency);
  EXPECT_DOUBLE_EQ(model.sweep.to, 1.2 * model.base.modes.back().frequency);
  EXPECT_EQ(model.sweep.steps,
            static_cast<int>(std::ceil(std::log(model.sweep.to / model.sweep.from) / std::log(1.005))) + 1);

  Outcome run = Vokdyn("harmonic model.json -o out.csv -q");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string csv = ReadWholeFile(Path("out.csv"));
  const std::string n = "N" + std::to_string(tip) + "_UX_";
  EXPECT_EQ(csv.substr(0, csv.find('\n')),
            "frequency_hz," + n + "re," + n + "im," + n + "abs," + n + "phase_deg");
  const int at = model.NodeIndex(tip);
  const std::vector<std::vector<double>> rows = ReadCsvRows(Path("out.csv"));
  ASSERT_EQ(rows.size(), static_cast<std::size_t>(model.sweep.steps));
  double largest = 0, worst = 0;
  for (const std::vector<double>& row : rows) {
    ASSERT_EQ(row.size(), 5u);
    const double w = 2 * M_PI * row[0];
    std::complex<double> u = 0;
    for (std::size_t i = 0; i < model.base.modes.size(); ++i) {
      const double wi = 2 * M_PI * model.base.modes[i].frequency;
      const double phi = model.base.shapes.Row(i, static_cast<std::size_t>(at))[0];
      u += phi * phi / std::complex<double>(wi * wi - w * w, w * 2 * 0.02 * wi);
    }
    largest = std::max(largest, std::abs(u));
    worst = std::max(worst, std::abs(u - std::complex<double>(row[1], row[2])));
  }
  // Only the order of the operations differs.
  EXPECT_LT(worst, 1e-12 * largest);
}

TEST_F(ImportCalculix, StaticStepGivesTheLoadsStaticResponseAtTheOutput) {
  const CantileverDeck deck = CantileverDeck::Hexahedra(1, 1, 4, 4);
  Solve(deck, "beam");
  // The same mesh, a unit tip force along x, in a static step whose displacements the .dat prints (7 digits).
  const int tip = deck.tip.back();
  std::string text = deck.Text();
  text.replace(text.find("*FREQUENCY\n4\n"), 13, "*STATIC\n*CLOAD\n" + std::to_string(tip) + ", 1, 1.\n");
  RunSolver("push", text);
  double printed = std::nan("");
  std::istringstream dat(ReadWholeFile(Path("push.dat")));
  for (std::string line; std::getline(dat, line);) {
    int node = 0;
    double ux = 0;
    if (std::sscanf(line.c_str(), "%d %lf", &node, &ux) == 2 && node == tip) printed = ux;
  }
  ASSERT_FALSE(std::isnan(printed));
  const std::string tipUx = std::to_string(tip) + ":UX";
  Outcome imported = Vokdyn("import calculix beam -o model.json --load " + tipUx + " --response " + tipUx + " --static push.frd");
  ASSERT_EQ(imported.status, 0) << imported.err;
  const Model m = LoadModelFile(Path("model.json"));
  ASSERT_EQ(m.loads.at(0).staticResponse.size(), 1u);
  // The .frd's text results carry six digits (E12.5).
  EXPECT_NEAR(m.loads[0].staticResponse[0], printed, 1e-5 * std::fabs(printed));
  // Refused: without --load, or from the results of the eigenvalue step.
  EXPECT_EQ(Vokdyn("import calculix beam -o other.json --static push.frd").status, 2);
  const Outcome modal = Vokdyn("import calculix beam -o other.json --load " + tipUx + " --static beam.frd");
  EXPECT_EQ(modal.status, 2);
  EXPECT_EQ(modal.err.rfind("vokdyn: beam.frd: line ", 0), 0u) << modal.err;
  EXPECT_NE(modal.err.find(": no displacement of a static analysis (no DISP block of a *STATIC step)"), std::string::npos) << modal.err;
  EXPECT_FALSE(Exists("other.json"));
}

TEST_F(ImportCalculix, RefusedJobsExitWithTwoNameTheFileAndWriteNothing) {
  CantileverDeck deck = CantileverDeck::Hexahedra(1, 1, 2, 3);
  Solve(deck, "good");
  Solve(CantileverDeck::Hexahedra(1, 1, 2, 3).Binary(), "bin");
  Solve(CantileverDeck::Hexahedra(1, 1, 2, 2), "two");
  const std::string frd = ReadWholeFile(Path("good.frd"));
  const std::string dat = ReadWholeFile(Path("good.dat"));
  const std::string binary = ReadWholeFile(Path("bin.frd"));
  auto job = [this](const std::string& iName, const std::string& iFrd, const std::string& iDat) {
    if (!iFrd.empty()) std::ofstream(Path(iName + ".frd"), std::ios::binary) << iFrd;
    if (!iDat.empty()) std::ofstream(Path(iName + ".dat"), std::ios::binary) << iDat;
  };
  // Line numbers of the good text results, counted here.
  auto lineOf = [&frd](const std::string& iText) {
    std::size_t at = frd.find(iText);
    return 1 + std::count(frd.begin(), frd.begin() + static_cast<std::ptrdiff_t>(at), '\n');
  };
  const std::string firstNode = frd.substr(frd.find("\n -1") + 1, frd.find('\n', frd.find("\n -1") + 1) - frd.find("\n -1"));
  std::string duplicated = frd;
  duplicated.insert(frd.find("\n -1") + 1, firstNode);
  // The results up to the first displacement block and the end line.
  std::string noModes = frd.substr(0, frd.find("    1PSTEP")) + " 9999\n";
  // Five characters before the end of a line about half-way.
  const std::size_t cut = frd.find('\n', frd.size() / 2) - 5;
  // Twenty bytes into the first binary result records.
  std::string cutBinary = binary.substr(0, binary.find("1ALL\n", binary.find("  100CL")) + 5 + 20);

  struct Row {
    const char* label;
    std::string job, arguments;
    std::string message;  // a part of the one line on standard error
  };
  job("nofrd", "", dat);
  job("nodat", frd, "");
  job("cut", frd.substr(0, cut), dat);
  job("cutbin", cutBinary, dat);
  job("nomodes", noModes, dat);
  job("dup", duplicated, dat);
  job("fewer", frd, ReadWholeFile(Path("two.dat")));
  const std::vector<Row> rows = {
      {"no results file", "nofrd", "", "vokdyn: nofrd.frd: cannot read the results file (No such file or directory)"},
      {"no printed results", "nodat", "", "vokdyn: nodat.dat: cannot read the printed results (No such file or directory)"},
      {"text results cut inside a line", "cut", "", "vokdyn: cut.frd: line " +
           std::to_string(std::count(frd.begin(), frd.begin() + static_cast<std::ptrdiff_t>(cut), '\n') + 1)},
      {"binary results cut", "cutbin", "", "truncated: the file ends inside the binary result records"},
      {"no eigenvectors", "nomodes", "", "vokdyn: nomodes.frd: line " + std::to_string(lineOf("    1PSTEP")) +
           ": no displacement eigenvectors"},
      {"a node twice", "dup", "", "vokdyn: dup.frd: line " + std::to_string(lineOf(firstNode) + 1) + ": node 1 given twice"},
      {"mode counts differ", "fewer", "",
       "vokdyn: fewer.frd and fewer.dat: the mode counts differ: 3 eigenvectors in fewer.frd (last at line " +
           std::to_string(lineOf("  100CL  103")) + "), 2 eigenvalues in fewer.dat (table at line 2)"},
      {"a rotation asked for", "good", "--response 3:RX", "vokdyn: --response 3:4: the job's solid elements have no rotations"},
      {"an unknown node", "good", "--load 99:UZ", "vokdyn: --load 99:3: node 99 is not in the job's results"},
      {"a bad component", "good", "--load 3:UW", "vokdyn: --load 3:UW: \"UW\" is not a component"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    Outcome o = Vokdyn("import calculix " + row.job + " -o out.json " + row.arguments);
    EXPECT_EQ(o.status, 2);
    EXPECT_NE(o.err.find(row.message), std::string::npos) << o.err << "expected: " << row.message;
    EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << o.err;
    EXPECT_FALSE(Exists("out.json"));
    EXPECT_FALSE(Exists("out.npy"));
  }
}

// The deck with its modes kept for a later step and the table amplitude NAME through the points.
std::string KeepModesWithAmplitude(const CantileverDeck& iDeck, const std::string& iName,
                                   const std::vector<std::array<double, 2>>& iPoints, int iDigits) {
  std::string text = iDeck.Text();
  text.replace(text.find("*FREQUENCY\n"), 11, "*FREQUENCY, STORAGE=YES\n");
  std::string amplitude = "*AMPLITUDE, NAME=" + iName + "\n";
  for (const auto& p : iPoints) amplitude += Digits(p[0], iDigits) + ", " + Digits(p[1], iDigits) + "\n";
  return text.insert(text.find("*STEP"), amplitude);
}

// The workflow against the solver's own steady state: same deck, load (magnitude, phase, table),
// modal damping, and frequencies (vokdyn's single-precision values, given in full).
TEST_F(ImportCalculix, HarmonicResponseIsTheSolversSteadyState) {
  CantileverDeck deck = CantileverDeck::Quadratic(2, 1, 10, 10).Binary();
  const Model imported = ImportTipUy(deck);
  const int tip = deck.tip.back();

  // Ranges between distinct eigenfrequencies (0.5 % inside): the solver takes exactly their ends.
  std::vector<double> eigen;
  for (const Mode& mode : imported.base.modes) eigen.push_back(mode.frequency);
  eigen.insert(eigen.begin(), 0.5 * eigen.front());
  eigen.push_back(1.2 * eigen.back());
  std::vector<std::pair<float, float>> ranges;
  for (std::size_t k = 0; k + 1 < eigen.size(); ++k)
    if (eigen[k + 1] > 1.02 * eigen[k])
      ranges.emplace_back(static_cast<float>(1.005 * eigen[k]), static_cast<float>(0.995 * eigen[k + 1]));
  ASSERT_GE(ranges.size(), 8u);
  auto full = [](double iValue) { return Digits(iValue, 17); };
  const std::vector<std::array<double, 2>> table = {
      {0.0, 1.0}, {0.5 * eigen.back(), 2.0}, {eigen.back(), 0.5}};

  // vokdyn: the imported model with the load, frequencies, and outputs through the set TIP.
  std::string model = ReadWholeFile(Path("imported.json"));
  model = model.substr(0, model.find("  \"loads\"")) + "  \"modulations\": {\"table\": {\"points\": [";
  for (const auto& p : table)
    model += (&p == table.data() ? "[" : ", [") + full(p[0]) + ", " + full(p[1]) + "]";
  model += "]}},\n  \"loads\": [{\"name\": \"tip\", \"amplitude\": 1, \"phase_deg\": 30, \"modulation\": \"table\", "
           "\"forces\": [{\"node\": " + std::to_string(tip) + ", \"values\": [0, 1, 0, 0, 0, 0]}]}],\n"
           "  \"frequencies\": [";
  for (const auto& r : ranges)
    model += (&r == ranges.data() ? "" : ", ") + full(r.first) + ", " + full(r.second);
  model += "],\n  \"outputs\": [{\"set\": \"TIP\", \"component\": 1}, {\"set\": \"TIP\", \"component\": 2}, "
           "{\"set\": \"TIP\", \"component\": 3}]\n}\n";
  std::ofstream(Path("model.json")) << model;
  Outcome run = Vokdyn("harmonic model.json -o out.csv -q");
  ASSERT_EQ(run.status, 0) << run.err;

  // The solver: one steady-state step per range; the load's imaginary part is load case 2.
  std::string ssd = KeepModesWithAmplitude(deck, "TABLE", table, 17);
  const double phase = 30.0 * M_PI / 180.0;
  for (const auto& r : ranges)
    ssd += "*STEP\n*STEADY STATE DYNAMICS\n" + full(r.first) + ", " + full(r.second) +
           ", 2, 1.\n*MODAL DAMPING\n1, 10, 0.02\n*CLOAD, AMPLITUDE=TABLE\n" + std::to_string(tip) + ", 2, " +
           full(std::cos(phase)) + "\n*CLOAD, AMPLITUDE=TABLE, LOAD CASE=2\n" + std::to_string(tip) + ", 2, " +
           full(std::sin(phase)) + "\n*NODE PRINT, NSET=TIP\nU\n*END STEP\n";
  RunSolver("ssd", ssd);

  // Its printout: per frequency a block of real parts, then one of imaginary parts.
  std::map<int, std::vector<std::array<std::complex<double>, 3>>> solver;
  std::ifstream in(Path("ssd.dat"));
  int block = -1;
  for (std::string line; std::getline(in, line);) {
    if (line.find("displacements (vx,vy,vz) for set TIP") != std::string::npos) {
      ++block;
      continue;
    }
    int node;
    double v[3];
    if (block < 0 || std::sscanf(line.c_str(), "%d %lf %lf %lf", &node, v, v + 1, v + 2) != 4) continue;
    auto& rows = solver[node];
    const std::size_t at = static_cast<std::size_t>(block / 2);
    if (rows.size() < at + 1) rows.resize(at + 1);
    for (int c = 0; c < 3; ++c) rows[at][c] += block % 2 ? std::complex<double>(0, v[c]) : v[c];
  }
  const std::vector<std::vector<double>> ours = ReadCsvRows(Path("out.csv"));
  ASSERT_EQ(ours.size(), 2 * ranges.size());
  std::size_t o = 0;
  for (int c = 0; c < 3; ++c)
    for (int node : deck.tip) {
      SCOPED_TRACE("node " + std::to_string(node) + ", component " + std::to_string(c + 1));
      ASSERT_EQ(solver[node].size(), ours.size());
      double peak = 0, worst = 0;
      for (std::size_t t = 0; t < ours.size(); ++t) {
        const std::complex<double> theirs = solver[node][t][c];
        peak = std::max(peak, std::abs(theirs));
        const std::complex<double> mine(ours[t][1 + 4 * o], ours[t][2 + 4 * o]);
        worst = std::max(worst, std::abs(mine - theirs));
      }
      EXPECT_LE(worst, 1e-5 * peak) << "largest difference " << worst << ", peak " << peak;
      ++o;
    }
}

TEST_F(ImportCalculix, TransientResponseIsTheSolversModalDynamic) {
  CantileverDeck deck = CantileverDeck::Quadratic(2, 1, 10, 10).Binary();
  const Model imported = ImportTipUy(deck);
  const int tip = deck.tip.back();
  // Twenty steps a period of the highest mode, two of the lowest; points on the steps keep both exact.
  // Numbers fit the solver's 20-character fields: the step is rounded to 14 digits and both read it so.
  auto full = [](double iValue) { return Digits(iValue, 14); };
  const double step = std::stod(full(1.0 / (20.0 * imported.base.modes.back().frequency)));
  const int steps = static_cast<int>(std::ceil(2.0 / (imported.base.modes.front().frequency * step)));
  const std::vector<std::array<double, 2>> history = {
      {0.0, 0.0}, {30 * step, 1.0}, {50 * step, -0.5}, {80 * step, 0.0}};
  std::string points;
  for (const auto& p : history)
    points += std::string(points.empty() ? "" : ", ") + "[" + full(p[0]) + ", " + full(p[1]) + "]";
  std::string model = ReadWholeFile(Path("imported.json"));
  model = model.substr(0, model.find("  \"loads\"")) + "  \"loads\": [{\"name\": \"tip\", \"forces\": [{\"node\": " +
          std::to_string(tip) + ", \"values\": [0, 1, 0, 0, 0, 0]}]}],\n  \"frequencies\": [1],\n"
          "  \"outputs\": [{\"set\": \"TIP\", \"component\": 2}],\n  \"transient\": {\"duration\": " +
          full(steps * step) + ", \"time_step\": " + full(step) + ", \"inputs\": [{\"load\": \"tip\", \"history\": [" +
          points + "]}]}\n}\n";
  std::ofstream(Path("model.json")) << model;
  Outcome run = Vokdyn("transient model.json -o out.csv -q");
  ASSERT_EQ(run.status, 0) << run.err;

  RunSolver("md", KeepModesWithAmplitude(deck, "PULSE", history, 14) + "*STEP, INC=1000000\n*MODAL DYNAMIC\n" +
                      full(step) + ", " + full(steps * step) + "\n*MODAL DAMPING\n1, 10, 0.02\n"
                      "*CLOAD, AMPLITUDE=PULSE\n" + std::to_string(tip) +
                      ", 2, 1.\n*NODE PRINT, NSET=TIP\nU\n*END STEP\n");

  // Its printed UY of each tip node at each time.
  std::map<int, std::vector<std::pair<double, double>>> solver;
  std::ifstream in(Path("md.dat"));
  double time = -1.0;
  for (std::string line; std::getline(in, line);) {
    const std::size_t at = line.find("displacements (vx,vy,vz) for set TIP and time");
    if (at != std::string::npos) {
      time = std::stod(line.substr(at + 46));
      continue;
    }
    int node;
    double v[3];
    if (time >= 0.0 && std::sscanf(line.c_str(), "%d %lf %lf %lf", &node, v, v + 1, v + 2) == 4)
      solver[node].emplace_back(time, v[1]);
  }
  const std::vector<std::vector<double>> ours = ReadCsvRows(Path("out.csv"));
  ASSERT_EQ(ours.size(), static_cast<std::size_t>(steps) + 1);
  for (std::size_t o = 0; o < deck.tip.size(); ++o) {
    const int node = deck.tip[o];
    SCOPED_TRACE("node " + std::to_string(node));
    const auto& theirs = solver[node];
    ASSERT_GE(theirs.size(), static_cast<std::size_t>(steps) / 2);
    double peak = 0, worst = 0;
    for (const auto& p : theirs) {
      const std::size_t k = static_cast<std::size_t>(std::lround(p.first / step));
      ASSERT_LT(k, ours.size());
      ASSERT_NEAR(ours[k][0], p.first, 1e-6 * p.first);  // printed to 7 digits
      peak = std::max(peak, std::fabs(p.second));
      worst = std::max(worst, std::fabs(ours[k][1 + o] - p.second));
    }
    // Both integrate a piecewise-linear load exactly: agreement within the solver's 7 printed digits.
    EXPECT_LE(worst, 1e-6 * peak) << "largest difference " << worst << ", peak " << peak;
  }
}


}  // namespace
