// The vokdyn executable: commands, exit status, messages, and that a refused
// model writes nothing.
#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>

#include <nlohmann/json.hpp>

#include "VOKDYNHarmonic.h"
#include "VOKDYNModelLoader.h"
#include "VOKDYNModelText.h"
#include "VOKTempDirTest.h"
#include "VOKTestSupport.h"

namespace {

using Json = nlohmann::ordered_json;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

std::string ReadFile(const std::string& iPath) {
  std::ifstream in(iPath, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool Exists(const std::string& iPath) {
  struct stat info;
  return stat(iPath.c_str(), &info) == 0;
}

class VokdynCli : public VOKTempDirTest {
 protected:
  // The names in the temporary directory, sorted.
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    if (DIR* dir = opendir(_Dir.c_str())) {
      while (dirent* entry = readdir(dir))
        if (entry->d_name[0] != '.') names.push_back(entry->d_name);
      closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  std::string Write(const std::string& iName, const std::string& iText) const {
    std::ofstream(Path(iName), std::ios::binary) << iText;
    return Path(iName);
  }
  // Runs vokdyn with iArguments (shell words) from the temporary directory.
  Outcome Run(const std::string& iArguments, const std::string& iEnvironment = "") const {
    std::string command = "cd '" + _Dir + "' && " + iEnvironment + " '" + VOKDYN_EXE + "' " +
                          iArguments + " > '" + Path("stdout") + "' 2> '" + Path("stderr") + "' < /dev/null";
    int raw = std::system(command.c_str());
    Outcome o;
    o.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    o.out = ReadFile(Path("stdout"));
    o.err = ReadFile(Path("stderr"));
    return o;
  }
};

// A one-mode model on one node, loaded along x.
const char* const kOneMode = R"({
  "format": "vokdyn-model/1",
  "name": "one mode",
  "nodes": [{"id": 1, "xyz": [0, 0, 0], "mass": [2, 2, 2, 0, 0, 0]}],
  "modal_base": {"name": "single", "modes": [{"frequency": 1.5, "generalized_mass": 2,
                 "shape": [[1, 0, 0, 0, 0, 0]]}]},
  "damping": {"type": "modal", "percent": 5},
  "modulations": {"table": {"points": [[0, 1], [10, 2]]}},
  "loads": [{"forces": [{"node": 1, "values": [3, 0, 0, 0, 0, 0]}]}],
  "base_motion": {"directions": [{"direction": 1, "modulation": "table"}]},
  "frequencies": [0.5, 1.5, 3],
  "outputs": [{"node": 1, "component": 1}]
})";

TEST_F(VokdynCli, RefusedModelsExitWithTwoAndWriteNothing) {
  struct Row {
    const char* label;
    std::function<void(Json&)> change;
    const char* raw;
    std::string message;  // the whole line on standard error
  };
  const std::vector<Row> rows = {
      {"bad JSON", nullptr, "{\"format\": \"vokdyn-model/1\" \"name\": 1}",
       "vokdyn: model.json: line 1, column 34: malformed JSON: syntax error while parsing object - "
       "unexpected string literal; expected '}'"},
      {"wrong type", [](Json& j) { j["nodes"][0]["xyz"] = "origin"; }, nullptr,
       "vokdyn: model.json: nodes[0].xyz: expected an array of 3 numbers, got \"origin\""},
      {"unknown key with suggestion", [](Json& j) { j["damping"]["precent"] = 5; }, nullptr,
       "vokdyn: model.json: damping: unknown key \"precent\" (did you mean \"percent\"?)"},
      {"unknown node", [](Json& j) { j["outputs"][0]["node"] = 2; }, nullptr,
       "vokdyn: model.json: outputs[0].node: unknown node 2"},
      {"bad direction", [](Json& j) { j["base_motion"]["directions"][0]["direction"] = 0; }, nullptr,
       "vokdyn: model.json: base_motion.directions[0].direction: expected a direction 1..6, got 0"},
      {"per-mode list length", [](Json& j) {
         j["damping"] = Json::parse(R"({"type": "modal", "percent_per_mode": [1, 2]})");
       }, nullptr, "vokdyn: model.json: damping.percent_per_mode: expected 1 values (one per mode), got 2"},
      {"non-increasing modulation abscissae",
       [](Json& j) { j["modulations"]["table"]["points"][1][0] = -1; }, nullptr,
       "vokdyn: model.json: modulations.table.points[1][0]: abscissae must increase: -1 does not exceed 0"},
      {"damping matrix not diagonal", [](Json& j) { j["modal_base"]["damping_diagonal"] = false; }, nullptr,
       "vokdyn: model.json: modal_base.damping_diagonal: the damping tools compute damping only for a base whose "
       "damping matrix is diagonal in the modal base"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    std::string text;
    if (row.raw) {
      text = row.raw;
    } else {
      Json j = Json::parse(kOneMode);
      row.change(j);
      text = j.dump(2);
    }
    Write("model.json", text);
    Outcome o = Run("harmonic model.json -o out.csv --plot out.svg");
    EXPECT_EQ(o.status, 2);
    EXPECT_EQ(o.err, row.message + "\n");
    EXPECT_EQ(o.out, "");
    EXPECT_FALSE(Exists(Path("out.csv")));
    EXPECT_FALSE(Exists(Path("out.svg")));
    // check refuses it the same way.
    Outcome c = Run("check model.json");
    EXPECT_EQ(c.status, 2);
    EXPECT_EQ(c.err, row.message + "\n");
  }
  // A file that is not there.
  Outcome missing = Run("harmonic absent.json");
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.err, "vokdyn: absent.json: cannot be read\n");
}

TEST_F(VokdynCli, UsageErrorsExitWithTwoAndHelpWithZero) {
  struct Row {
    const char* arguments;
    int status;
    const char* inOut;  // expected in standard output, or "" for nothing
    const char* inErr;  // expected in standard error
  };
  const Row rows[] = {
      {"", 2, "", "A subcommand is required"},
      {"frobnicate", 2, "", "vokdyn: unknown command \"frobnicate\" (commands: harmonic, check, example, import)"},
      {"harmonc", 2, "", "vokdyn: unknown command \"harmonc\" (did you mean \"harmonic\"?)"},
      {"harmonic --colour", 2, "", "--colour"},
      {"harmonic a.json b.json", 2, "", "b.json"},
      {"check", 2, "", "MODEL is required"},
      {"--help", 0, "harmonic", ""},
      {"harmonic --help", 0, "--plot", ""},
      {"check --help", 0, "MODEL", ""},
      {"example --help", 0, "commented model file", ""},
      {"--version", 0, "vokdyn 1.0.0", ""},
      {"harmonic --plot out.pdf", 2, "", "--plot out.pdf: the file name must end in .svg or .png"},
      {"harmonic -o no/such/dir/out.csv", 2, "", "the directory no/such/dir does not exist"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.arguments);
    Outcome o = Run(row.arguments);
    EXPECT_EQ(o.status, row.status) << o.err;
    if (*row.inOut) {
      EXPECT_NE(o.out.find(row.inOut), std::string::npos) << o.out;
    }
    if (*row.inErr) {
      EXPECT_NE(o.err.find(row.inErr), std::string::npos) << o.err;
    }
  }
  // Without gnuplot on PATH a plot is refused before anything is computed.
  Outcome noPlotter = Run("harmonic --plot out.svg -o out.csv", "PATH=/nonexistent");
  EXPECT_EQ(noPlotter.status, 2);
  EXPECT_EQ(noPlotter.err,
            "vokdyn: --plot needs gnuplot, which is not on PATH (Debian package gnuplot-nox)\n");
  EXPECT_FALSE(Exists(Path("out.csv")));
}

TEST_F(VokdynCli, ExamplePrintsTheDefaultModelAsALoadableFile) {
  Outcome o = Run("example");
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out.rfind("// ", 0), 0u) << "a commented file";
  vokdyn::Model printed = vokdyn::LoadModelText(o.out, "example.json");
  EXPECT_EQ(vokdyn::WriteModelText(printed, ""), vokdyn::WriteModelText(vokdyn::DefaultModel(), ""));
  Write("example.json", o.out);
  Outcome c = Run("check example.json");
  EXPECT_EQ(c.status, 0) << c.err;
  EXPECT_NE(c.out.find("is valid"), std::string::npos) << c.out;
}

TEST_F(VokdynCli, HarmonicSummarisesAndWritesTheComputedResponse) {
  vokdyn::RunResult run = vokdyn::RunHarmonic(vokdyn::DefaultModel());
  const vokdyn::Response& r = run.response;

  // The summary names the model and gives each output's peak and frequency.
  Outcome o = Run("harmonic");
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.err, "");
  EXPECT_EQ(o.out.rfind("vokdyn harmonic: six-storey shear building on a moving base\n", 0), 0u) << o.out;
  for (const char* part : {"modes        6 (shear building modes, up to date)", "nodes        6",
                           "damping      modal, 2 % of critical (valid)",
                           "excitations  1 load, base motion in direction 1", "sweep        800 frequencies"})
    EXPECT_NE(o.out.find(part), std::string::npos) << part << "\n" << o.out;
  for (std::size_t k = 0; k < r.outputs.size(); ++k) {
    vokdyn::Peak peak = vokdyn::PeakOf(r, k);
    std::string label = vokdyn::OutputLabel(r.outputs[k]);
    std::size_t at = o.out.find(" " + label + " ");
    ASSERT_NE(at, std::string::npos) << label;
    std::istringstream line(o.out.substr(at));
    std::string name;
    double magnitude = 0.0, frequency = 0.0;
    line >> name >> magnitude >> frequency;
    EXPECT_EQ(magnitude, peak.magnitude) << label;
    EXPECT_EQ(static_cast<float>(frequency), static_cast<float>(peak.frequency)) << label;
  }

  // The CSV holds every computed value, read back to the bit.
  Outcome csv = Run("harmonic -o out.csv --quiet");
  ASSERT_EQ(csv.status, 0) << csv.err;
  EXPECT_EQ(csv.out, "");
  std::string text = ReadFile(Path("out.csv"));
  std::istringstream lines(text);
  std::string header;
  std::getline(lines, header);
  EXPECT_EQ(header,
            "frequency_hz,N6_UX_re,N6_UX_im,N6_UX_abs,N3_UX_re,N3_UX_im,N3_UX_abs");
  std::string row;
  std::size_t t = 0;
  for (; std::getline(lines, row); ++t) {
    ASSERT_LT(t, r.frequencies.size());
    std::vector<double> v;
    std::istringstream cells(row);
    std::string cell;
    while (std::getline(cells, cell, ',')) v.push_back(std::strtod(cell.c_str(), nullptr));
    ASSERT_EQ(v.size(), 7u) << row;
    EXPECT_EQ(v[0], static_cast<double>(r.frequencies[t]));
    for (std::size_t k = 0; k < 2; ++k) {
      EXPECT_EQ(v[1 + 3 * k], r.values[k][t].real());
      EXPECT_EQ(v[2 + 3 * k], r.values[k][t].imag());
      EXPECT_EQ(v[3 + 3 * k], std::abs(r.values[k][t]));
    }
  }
  EXPECT_EQ(t, r.frequencies.size());
  EXPECT_EQ(Entries(), (std::vector<std::string>{"out.csv", "stderr", "stdout"})) << "no temporary left";

  // "-o -": the CSV alone on standard output, the summary on standard error.
  Outcome piped = Run("harmonic -o -");
  ASSERT_EQ(piped.status, 0) << piped.err;
  EXPECT_EQ(piped.out, text);
  EXPECT_NE(piped.err.find("peaks"), std::string::npos) << piped.err;
}

TEST_F(VokdynCli, StaleBaseIsAWarningAndQuietKeepsOnlyErrors) {
  Json j = Json::parse(kOneMode);
  j["modal_base"]["up_to_date"] = false;
  Write("stale.json", j.dump(2));
  Outcome o = Run("harmonic stale.json");
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_NE(o.err.find("vokdyn: warning: "), std::string::npos) << o.err;
  EXPECT_NE(o.err.find("single"), std::string::npos) << "the warning names the base: " << o.err;
  EXPECT_NE(o.out.find("NOT up to date"), std::string::npos) << o.out;
  Outcome quiet = Run("harmonic stale.json --quiet");
  EXPECT_EQ(quiet.status, 0);
  EXPECT_EQ(quiet.out, "");
  EXPECT_EQ(quiet.err, "");
  Outcome check = Run("check stale.json");
  EXPECT_EQ(check.status, 0);
  EXPECT_NE(check.out.find("NOT up to date"), std::string::npos) << check.out;
}

TEST_F(VokdynCli, PlotsAreDrawnBySvgOrPngName) {
  Write("model.json", kOneMode);
  Outcome svg = Run("harmonic model.json --plot response.svg --quiet");
  ASSERT_EQ(svg.status, 0) << svg.err;
  std::string drawing = ReadFile(Path("response.svg"));
  EXPECT_NE(drawing.find("<svg"), std::string::npos);
  EXPECT_NE(drawing.find("one mode - harmonic response"), std::string::npos) << "titled";
  EXPECT_NE(drawing.find("frequency (Hz)"), std::string::npos) << "labelled";
  EXPECT_NE(drawing.find("N1_UX"), std::string::npos) << "one line per output";
  Outcome png = Run("harmonic model.json --plot response.png --quiet");
  ASSERT_EQ(png.status, 0) << png.err;
  EXPECT_EQ(ReadFile(Path("response.png")).substr(0, 4), "\x89PNG");
}

TEST_F(VokdynCli, EveryExampleChecksAndRuns) {
  for (const char* name : {"two-storey-shakers.json", "tower-rocking-base.json", "beam-support-settlement.json"}) {
    SCOPED_TRACE(name);
    std::string path = std::string(VOKDYN_EXAMPLES) + "/" + name;
    Outcome check = Run("check '" + path + "'");
    EXPECT_EQ(check.status, 0) << check.err;
    Outcome run = Run("harmonic '" + path + "' -o out.csv");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_NE(run.out.find("peaks"), std::string::npos);
  }
}

}  // namespace
