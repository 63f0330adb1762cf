// Model files of the command-line tool: reading, defaults, refusals with
// their messages, comments, sweeps, writing back, the embedded default model.
#include <cmath>
#include <dirent.h>
#include <functional>

#include <nlohmann/json.hpp>

#include "VOKDYNModelLoader.h"
#include "VOKDYNModelText.h"
#include "VOKDYNTestTowers.h"
#include "VOKTestSupport.h"

namespace {

using Json = nlohmann::ordered_json;
using namespace vokdyn;

// Three nodes (ids 1, 2, 7), two modes, a load, base motion along x, a
// range sweep and two outputs.
const char* const kValid = R"({
  "format": "vokdyn-model/1",
  "name": "small",
  "nodes": [
    {"id": 1, "xyz": [0, 0, 1], "mass": [1, 1, 1, 0, 0, 0]},
    {"id": 2, "xyz": [0, 0, 2], "mass": [1, 1, 1, 0, 0, 0]},
    {"id": 7, "xyz": [0, 0, 3], "mass": [1, 1, 1, 0, 0, 0]}
  ],
  "modal_base": {
    "modes": [
      {"frequency": 1.5, "shape": [[0.1, 0, 0, 0, 0, 0], [0.5, 0, 0, 0, 0, 0], [1, 0, 0, 0, 0, 0]]},
      {"frequency": 4, "generalized_mass": 2, "generalized_stiffness": 1200,
       "participation": [1, 2, 3, 4, 5, 6],
       "shape": [[1, 0, 0, 0, 0, 0], [0.5, 0, 0, 0, 0, 0], [-1, 0, 0, 0, 0, 0]]}
    ]
  },
  "damping": {"type": "modal", "percent": 2},
  "modulations": {"ground": {"points": [[0, 1], [2, 3], [5, 1]]}},
  "loads": [{"forces": [{"node": 7, "values": [1, 0, 0, 0, 0, 0]}]}],
  "base_motion": {"directions": [{"direction": 1, "amplitude": 0.5, "phase_deg": 10,
                                  "modulation": "ground"}]},
  "sweep": {"from": 1, "to": 10, "steps": 10},
  "outputs": [{"node": 7, "component": 1}, {"node": 2, "component": 6}]
})";

class VokdynModel : public VOKTest {
 protected:
  static Json Valid() { return Json::parse(kValid); }
  // The loader's refusal of iText, or "(loaded)".
  static std::string ErrorOf(const std::string& iText, const std::string& iFile = "model.json") {
    return vokdyn_test::RefusalOf([&] { LoadModelText(iText, iFile); });
  }
  static std::vector<std::string> Examples() {
    std::vector<std::string> files;
    DIR* dir = opendir(VOKDYN_EXAMPLES);
    if (!dir) return files;
    while (dirent* entry = readdir(dir)) {
      std::string name = entry->d_name;
      if (name.size() > 5 && name.substr(name.size() - 5) == ".json")
        files.push_back(std::string(VOKDYN_EXAMPLES) + "/" + name);
    }
    closedir(dir);
    return files;
  }
};

TEST_F(VokdynModel, ReadsTheFileAndFillsTheDefaults) {
  Model m = LoadModelText(kValid, "dir/small.json");
  EXPECT_EQ(m.name, "small");
  ASSERT_EQ(m.nodes.size(), 3u);
  EXPECT_EQ(m.nodes[2].id, 7);
  EXPECT_EQ(m.NodeIndex(7), 2);
  EXPECT_EQ(m.NodeIndex(3), -1);
  EXPECT_TRUE(m.nodes[0].hasMass);

  // Base defaults: up to date, diagonal damping; a mode without mass has
  // mass 1 and stiffness m (2 pi f)^2; given values are kept as given.
  EXPECT_TRUE(m.base.upToDate);
  EXPECT_TRUE(m.base.dampingDiagonal);
  ASSERT_EQ(m.base.modes.size(), 2u);
  const double omega = 2.0 * 3.141592653589793 * 1.5;
  EXPECT_EQ(m.base.modes[0].generalizedMass, 1.0);
  EXPECT_NEAR(m.base.modes[0].generalizedStiffness, omega * omega, 1e-12 * omega * omega);
  EXPECT_FALSE(m.base.modes[0].stiffnessGiven);
  EXPECT_FALSE(m.base.modes[0].hasParticipation);
  EXPECT_EQ(m.base.modes[1].generalizedStiffness, 1200.0);
  EXPECT_TRUE(m.base.modes[1].hasParticipation);
  EXPECT_EQ(m.base.modes[1].participation[5], 6.0);
  EXPECT_EQ(m.base.modes[1].shape[2][0], -1.0);

  // A load without amplitude, phase or modulation: 1, 0 and the implicit
  // constant-1 modulation; the base motion keeps what it names.
  ASSERT_EQ(m.loads.size(), 1u);
  EXPECT_EQ(m.loads[0].name, "load 1");
  EXPECT_EQ(m.loads[0].amplitude, 1.0);
  EXPECT_EQ(m.loads[0].phaseDeg, 0.0);
  ASSERT_GE(m.loads[0].modulation, 0);
  const Modulation& constant = m.modulations[static_cast<std::size_t>(m.loads[0].modulation)];
  EXPECT_TRUE(constant.implicit);
  ASSERT_EQ(constant.points.size(), 1u);
  EXPECT_EQ(constant.points[0][1], 1.0);
  ASSERT_TRUE(m.baseMotion.present);
  EXPECT_FALSE(m.baseMotion.axis.given);
  const BaseDirection& dir = m.baseMotion.directions.at(0);
  EXPECT_EQ(m.modulations[static_cast<std::size_t>(dir.modulation)].name, "ground");
  EXPECT_EQ(dir.amplitude, 0.5);
  EXPECT_EQ(dir.phaseDeg, 10.0);

  EXPECT_TRUE(m.sweep.isRange);
  EXPECT_EQ(m.sweep.spacing, Spacing::Linear);
  ASSERT_EQ(m.outputs.size(), 2u);
  EXPECT_EQ(OutputLabel(m.outputs[1]), "N2_RZ");

  // Without a name the model is named after its file.
  Json unnamed = Valid();
  unnamed.erase("name");
  EXPECT_EQ(LoadModelText(unnamed.dump(), "some/dir/tower.json").name, "tower");
}

TEST_F(VokdynModel, RefusesEachKindOfErrorNamingFilePathAndExpectation) {
  struct Row {
    const char* label;
    std::function<void(Json&)> change;  // applied to the valid model
    const char* raw;                     // or a whole text
    std::string expected;
  };
  const std::vector<Row> rows = {
      {"malformed JSON", nullptr, "{\n  \"format\": \"vokdyn-model/1\",\n  \"name\": ,\n}",
       "model.json: line 3, column 11: malformed JSON: syntax error while parsing value - "
       "unexpected ','; expected '[', '{', or a literal"},
      {"wrong type", [](Json& j) { j["modal_base"]["modes"][1]["frequency"] = "fast"; }, nullptr,
       "model.json: modal_base.modes[1].frequency: expected a number > 0, got \"fast\""},
      {"negative frequency", [](Json& j) { j["modal_base"]["modes"][1]["frequency"] = -1; }, nullptr,
       "model.json: modal_base.modes[1].frequency: expected a number > 0, got -1"},
      {"unknown key", [](Json& j) { j["modal_base"]["modes"][0]["frequncy"] = 2; }, nullptr,
       "model.json: modal_base.modes[0]: unknown key \"frequncy\" (did you mean \"frequency\"?)"},
      {"unknown key, nothing close", [](Json& j) { j["outputs"][0]["colour"] = "red"; }, nullptr,
       "model.json: outputs[0]: unknown key \"colour\" (known keys: node set component)"},
      {"unknown node", [](Json& j) { j["outputs"][1]["node"] = 42; }, nullptr,
       "model.json: outputs[1].node: unknown node 42"},
      {"unknown node of a force", [](Json& j) { j["loads"][0]["forces"][0]["node"] = 3; }, nullptr,
       "model.json: loads[0].forces[0].node: unknown node 3"},
      {"bad direction", [](Json& j) { j["base_motion"]["directions"][0]["direction"] = 7; }, nullptr,
       "model.json: base_motion.directions[0].direction: expected a direction 1..6, got 7"},
      {"per-mode list length",
       [](Json& j) { j["damping"] = Json::parse(R"({"type": "modal", "percent_per_mode": [1, 2, 3]})"); },
       nullptr, "model.json: damping.percent_per_mode: expected 2 values (one per mode), got 3"},
      {"Rayleigh per-mode list length",
       [](Json& j) {
         j["damping"] = Json::parse(R"({"type": "rayleigh", "alpha_per_mode": [1, 2], "beta_per_mode": [1]})");
       },
       nullptr, "model.json: damping.beta_per_mode: expected 2 values (one per mode), got 1"},
      {"non-increasing abscissae",
       [](Json& j) { j["modulations"]["ground"]["points"][2][0] = 2; }, nullptr,
       "model.json: modulations.ground.points[2][0]: abscissae must increase: 2 does not exceed 2"},
      {"shape rows against nodes",
       [](Json& j) { j["modal_base"]["modes"][0]["shape"].erase(2); }, nullptr,
       "model.json: modal_base.modes[0].shape: expected an array of 3 rows of 6 numbers (one per "
       "node), got an array of 2"},
      {"missing key", [](Json& j) { j.erase("outputs"); }, nullptr,
       "model.json: outputs: missing: expected an array of outputs"},
      {"wrong format", [](Json& j) { j["format"] = "vokdyn-model/2"; }, nullptr,
       "model.json: format: expected \"vokdyn-model/1\", got \"vokdyn-model/2\""},
      {"unknown modulation", [](Json& j) { j["loads"][0]["modulation"] = "grund"; }, nullptr,
       "model.json: loads[0].modulation: unknown modulation \"grund\" (did you mean \"ground\"?)"},
      {"duplicate key", nullptr, R"({"format": "vokdyn-model/1", "name": "a", "name": "b"})",
       "model.json: name: the key \"name\" is given twice"},
      {"nothing excites", [](Json& j) { j.erase("loads"); j.erase("base_motion"); }, nullptr,
       "model.json: top level: nothing excites the model: give \"loads\", \"enforced\" or \"base_motion\""},
      {"participation needed without masses",
       [](Json& j) { j["nodes"][1].erase("mass"); }, nullptr,
       "model.json: modal_base.modes[0].participation: missing: base motion needs it when not every "
       "node has a \"mass\""},
      {"sweep ends", [](Json& j) { j["sweep"]["to"] = 1; }, nullptr,
       "model.json: sweep.to: expected a frequency above \"from\" (1), got 1"},
      {"frequencies beyond single precision", [](Json& j) {
         j.erase("sweep");
         j["frequencies"] = Json::parse("[1, 1e39]");
       }, nullptr,
       "model.json: frequencies[1]: expected a frequency > 0 that single precision holds, got 1e+39"},
      {"parallel axis directions", [](Json& j) {
         j["base_motion"]["axis"] = Json::parse(R"({"origin": [0, 0, 0], "x": [1, 0, 0], "y": [2, 0, 0]})");
       }, nullptr, "model.json: base_motion.axis.y: expected a direction not parallel to x"},
      {"not an object", nullptr, "[1, 2]", "model.json: top level: expected an object, got an array of 2"},
      {"empty text", nullptr, "",
       "model.json: line 1, column 1: malformed JSON: syntax error while parsing value - unexpected "
       "end of input; expected '[', '{', or a literal"},
      {"unterminated comment", nullptr, "{ /* open",
       "model.json: line 1, column 10: malformed JSON: syntax error while parsing object key - invalid "
       "comment; missing closing '*/'; last read: '{ /* open'; expected string literal"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    std::string text;
    if (row.raw) {
      text = row.raw;
    } else {
      Json j = Valid();
      row.change(j);
      text = j.dump(2);
    }
    EXPECT_EQ(ErrorOf(text), row.expected);
  }
}

TEST_F(VokdynModel, CommentsAreSkippedOutsideStringsOnly) {
  std::string text = std::string(kValid);
  text.replace(text.find("\"name\": \"small\""), 15,
               "// line comment, with \"quotes\" and { braces\n"
               "  \"name\": \"a // b /* c */\" /* block\n comment */");
  Model m = LoadModelText(text, "model.json");
  EXPECT_EQ(m.name, "a // b /* c */");
  // A comment at the very end, without a newline.
  EXPECT_EQ(LoadModelText(std::string(kValid) + "\n// end", "model.json").name, "small");
}

TEST_F(VokdynModel, SweepFrequenciesAreRoundedOnceToSinglePrecision) {
  Sweep linear;
  linear.from = 1.0;
  linear.to = 2.0;
  linear.steps = 4;
  Sweep log = linear;
  log.from = 0.5;
  log.to = 50.0;
  log.steps = 5;
  log.spacing = Spacing::Log;
  Sweep list;
  list.isRange = false;
  list.list = {0.1, 3.3};
  struct Row {
    const char* label;
    Sweep sweep;
    std::vector<double> exact;  // before rounding
  };
  const std::vector<Row> rows = {
      {"linear, ends included", linear, {1.0, 1.0 + 1.0 / 3.0, 1.0 + 2.0 / 3.0, 2.0}},
      {"log: f0 (f1/f0)^(k/(n-1))", log, {0.5, 0.5 * std::pow(100.0, 0.25), 5.0, 0.5 * std::pow(100.0, 0.75), 50.0}},
      {"list", list, {0.1, 3.3}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    std::vector<float> got = SweepFrequencies(row.sweep);
    ASSERT_EQ(got.size(), row.exact.size());
    for (std::size_t k = 0; k < got.size(); ++k) {
      // Equal to the nearest float of the exact value, up to the last bit
      // of the double computation that precedes the rounding.
      EXPECT_NEAR(got[k], static_cast<float>(row.exact[k]), 1e-6 * row.exact[k]) << k;
      EXPECT_EQ(got[k], static_cast<float>(static_cast<double>(got[k])));
    }
    EXPECT_EQ(got.front(), static_cast<float>(row.exact.front()));
    EXPECT_EQ(got.back(), static_cast<float>(row.exact.back()));
  }
  // Read from a file, a log sweep ends exactly at its ends.
  Json j = Valid();
  j["sweep"] = Json::parse(R"({"from": 0.3, "to": 7, "steps": 3, "spacing": "log"})");
  std::vector<float> f = SweepFrequencies(LoadModelText(j.dump(), "m.json").sweep);
  ASSERT_EQ(f.size(), 3u);
  EXPECT_EQ(f[0], 0.3f);
  EXPECT_EQ(f[2], 7.0f);
}

TEST_F(VokdynModel, NearestKeySuggestsOnlyPlausibleMisspellings) {
  const std::vector<std::string> known = {"frequency", "generalized_mass", "generalized_stiffness",
                                          "participation", "shape"};
  struct Row {
    const char* key;
    const char* expected;
  };
  const Row rows[] = {
      {"frequncy", "frequency"},
      {"Frequency", "frequency"},
      {"generalised_mass", "generalized_mass"},
      {"shap", "shape"},
      {"participations", "participation"},
      {"xyz", ""},
      {"s", ""},
      {"stiffness", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.key);
    EXPECT_EQ(NearestKey(row.key, known), row.expected);
  }
}

TEST_F(VokdynModel, WrittenModelsLoadBackToTheSameModel) {
  std::vector<std::pair<std::string, Model>> models = {{"default", DefaultModel()},
                                                       {"small", LoadModelText(kValid, "small.json")}};
  for (const std::string& file : Examples()) models.emplace_back(file, LoadModelFile(file));
  for (const auto& entry : models) {
    SCOPED_TRACE(entry.first);
    const Model& m = entry.second;
    std::string text = WriteModelText(m, "a comment\n\nof two paragraphs");
    Model again = LoadModelText(text, "written.json");
    // Numbers are written in their shortest exact form: the same text again.
    EXPECT_EQ(WriteModelText(again, "a comment\n\nof two paragraphs"), text);
    EXPECT_EQ(again.name, m.name);
    ASSERT_EQ(again.base.modes.size(), m.base.modes.size());
    for (std::size_t i = 0; i < m.base.modes.size(); ++i) {
      EXPECT_EQ(again.base.modes[i].frequency, m.base.modes[i].frequency);
      EXPECT_EQ(again.base.modes[i].generalizedStiffness, m.base.modes[i].generalizedStiffness);
      EXPECT_EQ(again.base.modes[i].shape, m.base.modes[i].shape);
    }
    EXPECT_EQ(SweepFrequencies(again.sweep), SweepFrequencies(m.sweep));
    EXPECT_EQ(again.loads.size(), m.loads.size());
    EXPECT_EQ(again.enforced.size(), m.enforced.size());
    EXPECT_EQ(again.baseMotion.directions.size(), m.baseMotion.directions.size());
  }
  EXPECT_EQ(ShortestNumber(0.1), "0.1");
  EXPECT_EQ(ShortestNumber(100000.0), "100000");
  EXPECT_EQ(ShortestNumber(-2.5e20), "-2.5e+20");
  EXPECT_EQ(ShortestNumber(-0.0), "-0.0");
  EXPECT_EQ(ShortestNumber(1.0 / 3.0), "0.3333333333333333");
}

TEST_F(VokdynModel, ExamplesCoverLoadsBaseMotionWithAxisAndRotationAndEnforcedRayleigh) {
  bool loadsOnly = false, axisAndRotation = false, enforcedRayleigh = false;
  for (const std::string& file : Examples()) {
    SCOPED_TRACE(file);
    Model m = LoadModelFile(file);
    EXPECT_FALSE(m.outputs.empty());
    bool rotation = false;
    for (const BaseDirection& d : m.baseMotion.directions) rotation |= d.direction >= 4;
    loadsOnly |= !m.loads.empty() && m.enforced.empty() && !m.baseMotion.present;
    axisAndRotation |= m.baseMotion.axis.given && rotation;
    enforcedRayleigh |= !m.enforced.empty() && m.damping.type == DampingType::Rayleigh;
  }
  EXPECT_TRUE(loadsOnly);
  EXPECT_TRUE(axisAndRotation);
  EXPECT_TRUE(enforcedRayleigh);
}

TEST_F(VokdynModel, DefaultModelHasTheShearBuildingsClosedFormModes) {
  const ShearBuilding b;
  const int n = b.storeys;
  const double pi = 3.141592653589793;
  Model m = DefaultModel();
  ASSERT_EQ(static_cast<int>(m.nodes.size()), n);
  ASSERT_EQ(static_cast<int>(m.base.modes.size()), n);
  for (int j = 1; j <= n; ++j) {
    SCOPED_TRACE(j);
    const Mode& mode = m.base.modes[static_cast<std::size_t>(j - 1)];
    double omega = 2.0 * std::sqrt(b.storeyStiffness / b.storeyMass) * std::sin((2 * j - 1) * pi / (2 * (2 * n + 1)));
    EXPECT_NEAR(mode.frequency, omega / (2.0 * pi), 1e-12 * mode.frequency);
    // The closed-form shape is an eigenvector of the storey chain: its
    // Rayleigh quotient phi^T K phi / phi^T M phi is omega^2, and the
    // generalised mass and stiffness are phi^T M phi and phi^T K phi.
    double phiMphi = 0.0, phiKphi = 0.0;
    for (int i = 1; i <= n; ++i) {
      double phi = mode.shape[static_cast<std::size_t>(i - 1)][0];
      EXPECT_NEAR(phi, std::sin((2 * j - 1) * i * pi / (2 * n + 1)), 1e-15);
      double below = i == 1 ? 0.0 : mode.shape[static_cast<std::size_t>(i - 2)][0];
      phiMphi += b.storeyMass * phi * phi;
      phiKphi += b.storeyStiffness * (phi - below) * (phi - below);
    }
    EXPECT_NEAR(mode.generalizedMass, phiMphi, 1e-12 * phiMphi);
    EXPECT_NEAR(mode.generalizedMass, b.storeyMass * (2 * n + 1) / 4.0, 1e-9 * phiMphi);
    EXPECT_NEAR(mode.generalizedStiffness, phiKphi, 1e-9 * phiKphi);
    // Modes are M-orthogonal.
    for (int k = 1; k < j; ++k) {
      double cross = 0.0;
      for (int i = 0; i < n; ++i)
        cross += b.storeyMass * mode.shape[static_cast<std::size_t>(i)][0] *
                 m.base.modes[static_cast<std::size_t>(k - 1)].shape[static_cast<std::size_t>(i)][0];
      EXPECT_NEAR(cross, 0.0, 1e-9 * phiMphi) << "against mode " << k;
    }
  }
  // The sweep crosses all six resonances; outputs at the top and mid-height.
  std::vector<float> f = SweepFrequencies(m.sweep);
  EXPECT_LT(f.front(), m.base.modes.front().frequency);
  EXPECT_GT(f.back(), m.base.modes.back().frequency);
  ASSERT_EQ(m.outputs.size(), 2u);
  EXPECT_EQ(m.outputs[0].node, n);
  EXPECT_EQ(m.outputs[1].node, n / 2);
  EXPECT_TRUE(m.baseMotion.present);
  EXPECT_EQ(m.loads.size(), 1u);
  EXPECT_NE(m.loads[0].phaseDeg, 0.0);
  EXPECT_EQ(m.damping.percent, 2.0);
}

}  // namespace
