// Model files: reading and defaults, refusals with their messages, sweeps, writing back, the default model.
#include <cmath>
#include <cstring>
#include <cstdio>
#include <dirent.h>
#include <tuple>

#include "VOKDYNModelLoader.h"
#include "VOKDYNModelText.h"
#include "VOKDYNPlatformModel.h"
#include "VOKDYNTestTowers.h"
#include "VOKTestSupport.h"

namespace {

using namespace vokdyn;
using vokdyn_test::Edited;

constexpr double kPi = 3.141592653589793;

// Three nodes (ids 1, 2, 7), two modes (the second k 800, m 2: 20 rad/s), a load, base motion, two outputs.
const std::string kValid = R"({"format": "vokdyn-model/1", "name": "small",
  "nodes": [{"id": 1, "xyz": [0, 0, 1], "mass": [1, 1, 1, 0, 0, 0]}, {"id": 2, "xyz": [0, 0, 2], "mass": [1, 1, 1, 0, 0, 0]},
            {"id": 7, "xyz": [0, 0, 3], "mass": [1, 1, 1, 0, 0, 0]}],
  "modal_base": {"modes": [
      {"frequency": 1.5, "shape": [[0.1, 0, 0, 0, 0, 0], [0.5, 0, 0, 0, 0, 0], [1, 0, 0, 0, 0, 0]]},
      {"frequency": 3.1830989, "generalized_mass": 2, "generalized_stiffness": 800, "participation": [1, 2, 3, 4, 5, 6],
       "shape": [[1, 0, 0, 0, 0, 0], [0.5, 0, 0, 0, 0, 0], [-1, 0, 0, 0, 0, 0]]}]},
  "damping": {"type": "modal", "percent": 2},
  "modulations": {"ground": {"points": [[0, 1], [2, 3], [5, 1]]}},
  "loads": [{"forces": [{"node": 7, "values": [1, 0, 0, 0, 0, 0]}]}],
  "base_motion": {"directions": [{"direction": 1, "amplitude": 0.5, "phase_deg": 10, "modulation": "ground"}]},
  "sweep": {"from": 1, "to": 10, "steps": 10},
  "outputs": [{"node": 7, "component": 1}, {"node": 2, "component": 6}]})";

std::string ErrorOf(const std::string& iText) {
  return vokdyn_test::RefusalOf([&] { LoadModelText(iText, "model.json"); });
}

std::string G9(double iValue) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", iValue);
  return text;
}

std::vector<std::string> Examples() {
  std::vector<std::string> files;
  if (DIR* dir = opendir(VOKDYN_EXAMPLES)) {
    while (dirent* entry = readdir(dir)) {
      std::string name = entry->d_name;
      if (name.size() > 5 && name.substr(name.size() - 5) == ".json") files.push_back(VOKDYN_EXAMPLES "/" + name);
    }
    closedir(dir);
  }
  return files;
}

class VokdynModel : public VOKTest {};

TEST_F(VokdynModel, ReadsTheFileAndFillsTheDefaults) {
  const Model m = LoadModelText(kValid, "dir/small.json");
  EXPECT_EQ(m.name, "small");
  EXPECT_EQ(std::make_pair(m.NodeIndex(7), m.NodeIndex(3)), std::make_pair(2, -1));
  EXPECT_TRUE(m.base.upToDate && m.base.dampingDiagonal);
  ASSERT_EQ(m.base.modes.size(), 2u);
  // A mode without mass has mass 1 and stiffness m (2 pi f)^2; given values are kept.
  const double omega = 2.0 * kPi * 1.5;
  EXPECT_EQ(m.base.modes[0].generalizedMass, 1.0);
  EXPECT_NEAR(m.base.modes[0].generalizedStiffness, omega * omega, 1e-12 * omega * omega);
  EXPECT_FALSE(m.base.modes[0].stiffnessGiven || m.base.modes[0].hasParticipation);
  EXPECT_EQ(m.base.modes[1].generalizedStiffness, 800.0);
  EXPECT_EQ(m.base.modes[1].participation, (Vec6{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(m.base.shapes.RowValues(1, 2), (Vec6{-1, 0, 0, 0, 0, 0}));
  // A bare load is "load 1", amplitude 1, phase 0, the implicit constant 1; the base keeps its own.
  const Load& load = m.loads.at(0);
  EXPECT_EQ(std::make_tuple(load.name, load.amplitude, load.phaseDeg), std::make_tuple(std::string("load 1"), 1.0, 0.0));
  const Modulation& constant = m.modulations.at(static_cast<std::size_t>(load.modulation));
  EXPECT_TRUE(constant.implicit);
  EXPECT_EQ(constant.points, (std::vector<std::array<double, 2>>{{0.0, 1.0}}));
  const BaseDirection& dir = m.baseMotion.directions.at(0);
  EXPECT_EQ(m.modulations.at(static_cast<std::size_t>(dir.modulation)).name, "ground");
  EXPECT_EQ(std::make_pair(dir.amplitude, dir.phaseDeg), std::make_pair(0.5, 10.0));
  EXPECT_EQ(OutputLabel(m.outputs.at(1)), "N2_RZ");
  // Without a name the model is named after its file.
  EXPECT_EQ(LoadModelText(Edited(kValid, "\"name\": \"small\",", ""), "some/dir/tower.json").name, "tower");
}

TEST_F(VokdynModel, RefusesEachFaultNamingFilePathAndExpectation) {
  // The second mode given at 3.5 Hz with k = 800 and m = 2: sqrt(k/m) is 20 rad/s.
  const std::string units = "model.json: modal_base.modes[1].frequency: 3.5 Hz disagrees with generalized_stiffness "
                            "800 and generalized_mass 2, which give sqrt(k/m) / (2 pi) = " + G9(20.0 / (2.0 * kPi)) +
                            " Hz (for this frequency k would be m (2 pi f)^2 = " +
                            G9(2.0 * (2.0 * kPi * 3.5) * (2.0 * kPi * 3.5)) + "): check the units";
  // Single precision spaces numbers in [1, 2) by 2^-23.
  const std::string spacing = "single precision holds frequencies near 1 Hz only " + G9(std::ldexp(1.0, -23)) + " Hz apart";
  const std::string M = "model.json: ";
  // An object of more keys than are compared pairwise while parsing: "g0" to "g16", then "g3" again.
  std::string manyKeys = "\"name\": \"small\", \"groups\": {";
  for (int k = 0; k <= 16; ++k) manyKeys += "\"g" + std::to_string(k) + "\": [1], ";
  manyKeys += "\"g3\": [2]}";
  struct Row { const char* label; std::string from, to, expected; };  // the edit of kValid ("from" empty: the whole text)
  const std::vector<Row> rows = {
      {"malformed JSON", "", "{\n  \"format\": \"vokdyn-model/1\",\n  \"name\": ,\n}",
       M + "line 3, column 11: malformed JSON: expected a value (object, array, string, number, true, false or null)"},
      {"empty text", "", "", M + "line 1, column 1: malformed JSON: the text holds no value"},
      {"unterminated comment", "", "{ /* open", M + "line 1, column 10: malformed JSON: a comment not closed, or a '/' that opens no comment"},
      {"a NUL byte", "", std::string("{}\0{}", 5), M + "line 1, column 3: malformed JSON: a NUL byte outside a string"},
      {"not UTF-8", "", "{\"name\": \"a\xff\"}", M + "line 1, column 12: malformed JSON: a string holds a control character or bytes that are not UTF-8"},
      {"a control character in a string", "", "{\"name\": \"a\x01\"}", M + "line 1, column 12: malformed JSON: an unknown escape in a string"},
      {"number beyond a double", "", "[1e400]", M + "line 1, column 2: malformed JSON: a number beyond the range of a double"},
      {"nesting", "", std::string(65, '[') + std::string(65, ']'), M + "nesting deeper than 64 levels"},
      {"duplicate key", "\"name\": \"small\"", "\"name\": \"a\", \"name\": \"b\"", M + "name: the key \"name\" is given twice"},
      {"duplicate key in a node", "{\"id\": 2, \"xyz\": [0, 0, 2],", "{\"id\": 2, \"xyz\": [0, 0, 2], \"id\": 2,",
       M + "nodes[1].id: the key \"id\" is given twice"},
      {"duplicate key among many", "\"name\": \"small\"", manyKeys, M + "groups.g3: the key \"g3\" is given twice"},
      {"a node id twice", "{\"id\": 7, \"xyz\": [0, 0, 3]", "{\"id\": 1, \"xyz\": [0, 0, 3]", M + "nodes[2].id: node 1 is given twice"},
      {"a node id twice, then a fault of that node", "{\"id\": 7, \"xyz\": [0, 0, 3]", "{\"id\": 1, \"xyz\": [0, 0]",
       M + "nodes[2].id: node 1 is given twice"},
      {"a node id that is a real", "{\"id\": 7,", "{\"id\": 7.0,", M + "nodes[2].id: expected an integer node id, got 7.0"},
      {"a node id beyond an int", "{\"id\": 7,", "{\"id\": 2147483648,", M + "nodes[2].id: expected an integer node id, got 2147483648"},
      {"a node twice in a group", "\"name\": \"small\"", "\"name\": \"small\", \"groups\": {\"TIP\": [7, 2, 7]}",
       M + "groups.TIP[2]: node 7 is in the group twice"},
      {"an unknown node in a group", "\"name\": \"small\"", "\"name\": \"small\", \"groups\": {\"TIP\": [7, 3]}",
       M + "groups.TIP[1]: unknown node 3"},
      {"an unknown node of an element", "\"name\": \"small\"", "\"name\": \"small\", \"elements\": [{\"type\": \"be2\", \"nodes\": [1, 9]}]",
       M + "elements[0].nodes[1]: unknown node 9"},
      {"not an object", "", "[1, 2]", M + "top level: expected an object, got an array of 2"},
      {"wrong type", "3.1830989", "\"fast\"", M + "modal_base.modes[1].frequency: expected a number > 0, got \"fast\""},
      {"negative frequency", "3.1830989", "-1", M + "modal_base.modes[1].frequency: expected a number > 0, got -1"},
      {"a real where an integer is needed", "\"component\": 6", "\"component\": 6.0", M + "outputs[1].component: expected a component 1..6, got 6.0"},
      {"unknown key", "{\"frequency\": 1.5,", "{\"frequency\": 1.5, \"frequncy\": 2,",
       M + "modal_base.modes[0]: unknown key \"frequncy\" (did you mean \"frequency\"?)"},
      {"unknown key, nothing close", "\"component\": 1}", "\"component\": 1, \"colour\": \"red\"}",
       M + "outputs[0]: unknown key \"colour\" (known keys: node set component quantity motion)"},
      {"unknown node", "{\"node\": 2,", "{\"node\": 42,", M + "outputs[1].node: unknown node 42"},
      {"unknown node of a force", "{\"node\": 7, \"values\"", "{\"node\": 3, \"values\"", M + "loads[0].forces[0].node: unknown node 3"},
      {"negative nodal mass", "{\"id\": 7, \"xyz\": [0, 0, 3], \"mass\": [1, 1, 1, 0, 0, 0]}", "{\"id\": 7, \"xyz\": [0, 0, 3], \"mass\": [1, 1, 1, 0, -0.5, 0]}",
       M + "nodes[2].mass[4]: expected a number >= 0, got -0.5"},
      {"bad direction", "\"direction\": 1", "\"direction\": 7", M + "base_motion.directions[0].direction: expected a direction 1..6, got 7"},
      {"per-mode list length", "\"percent\": 2", "\"percent_per_mode\": [1, 2, 3]",
       M + "damping.percent_per_mode: expected 2 values (one per mode), got 3"},
      {"non-increasing abscissae", "[5, 1]", "[2, 1]", M + "modulations.ground.points[2][0]: abscissae must increase: 2 does not exceed 2"},
      {"shape rows against nodes", ", [1, 0, 0, 0, 0, 0]]}", "]}",
       M + "modal_base.modes[0].shape: expected an array of 3 rows of 6 numbers (one per node), got an array of 2"},
      {"missing key", ",\n  \"outputs\": [{\"node\": 7, \"component\": 1}, {\"node\": 2, \"component\": 6}]", "",
       M + "outputs: missing: expected an array of outputs"},
      {"wrong format", "vokdyn-model/1", "vokdyn-model/2", M + "format: expected \"vokdyn-model/1\", got \"vokdyn-model/2\""},
      {"unknown modulation", "\"modulation\": \"ground\"", "\"modulation\": \"grund\"",
       M + "base_motion.directions[0].modulation: unknown modulation \"grund\" (did you mean \"ground\"?)"},
      {"nothing excites", "  \"loads\": [{\"forces\": [{\"node\": 7, \"values\": [1, 0, 0, 0, 0, 0]}]}],\n"
       "  \"base_motion\": {\"directions\": [{\"direction\": 1, \"amplitude\": 0.5, \"phase_deg\": 10, \"modulation\": \"ground\"}]},\n", "",
       M + "top level: nothing excites the model: give \"loads\", \"enforced\" or \"base_motion\""},
      {"participation needed without masses", "{\"id\": 2, \"xyz\": [0, 0, 2], \"mass\": [1, 1, 1, 0, 0, 0]}", "{\"id\": 2, \"xyz\": [0, 0, 2]}",
       M + "modal_base.modes[0].participation: missing: base motion needs it when not every node has a \"mass\""},
      {"unknown quantity", "{\"node\": 2,", "{\"node\": 2, \"quantity\": \"jerk\",",
       M + "outputs[1].quantity: expected \"displacement\", \"velocity\" or \"acceleration\", got \"jerk\""},
      {"relative motion of a model without support motion",
       "  \"base_motion\": {\"directions\": [{\"direction\": 1, \"amplitude\": 0.5, \"phase_deg\": 10, \"modulation\": \"ground\"}]},\n"
       "  \"sweep\": {\"from\": 1, \"to\": 10, \"steps\": 10},\n  \"outputs\": [{\"node\": 7, \"component\": 1}",
       "  \"sweep\": {\"from\": 1, \"to\": 10, \"steps\": 10},\n  \"outputs\": [{\"node\": 7, \"component\": 1, \"motion\": \"relative\"}",
       M + "outputs[0].motion: relative motion needs \"base_motion\" or \"enforced\" (without them it is the absolute motion)"},
      {"the same output asked twice", "{\"node\": 2, \"component\": 6}", "{\"node\": 7, \"component\": 1, \"quantity\": \"displacement\"}",
       M + "outputs[1]: output N7_UX is asked twice"},
      {"the same output through a group", "{\"node\": 2, \"component\": 6}]",
       "{\"set\": \"TIP\", \"component\": 1}], \"groups\": {\"TIP\": [2, 7]}",
       M + "outputs[1]: output N7_UX is asked twice"},
      {"the same node and component as another quantity", "{\"node\": 2, \"component\": 6}",
       "{\"node\": 7, \"component\": 1, \"quantity\": \"velocity\"}", "(loaded)"},
      {"points per mode of a linear sweep", "\"steps\": 10}", "\"steps\": 10, \"points_per_mode\": 5}",
       M + "sweep.points_per_mode: only for \"spacing\": \"modes\""},
      {"too few points per mode", "\"steps\": 10}", "\"spacing\": \"modes\", \"points_per_mode\": 2}",
       M + "sweep.points_per_mode: expected an integer 3..1000, got 2"},
      {"structural damping with a percent", "\"type\": \"modal\", \"percent\": 2", "\"type\": \"structural\", \"percent\": 2",
       M + "damping.percent: not a key of structural damping (give \"eta\" or \"eta_per_mode\")"},
      {"a damping table going back", "\"percent\": 2", "\"table\": [[1, 2], [3, 4], [3, 5]]",
       M + "damping.table[2][0]: frequencies must increase: 3 does not exceed 3"},
      {"a static response not one value per output", "[1, 0, 0, 0, 0, 0]}]}]", "[1, 0, 0, 0, 0, 0]}], \"static_response\": [0.5]}]",
       M + "loads[0].static_response: expected 2 values (one per output, a set counting its nodes), got 1"},
      {"a unit that is not text", "\"name\": \"small\"", "\"name\": \"small\", \"units\": {\"length\": 1}",
       M + "units.length: expected a string, got 1"},
      {"sweep ends", "\"to\": 10", "\"to\": 1", M + "sweep.to: expected a frequency above \"from\" (1), got 1"},
      {"frequencies beyond single precision", "\"sweep\": {\"from\": 1, \"to\": 10, \"steps\": 10}", "\"frequencies\": [1, 1e39]",
       M + "frequencies[1]: expected a frequency > 0 that single precision holds, got 1e+39"},
      {"parallel axis directions", "{\"directions\"", "{\"axis\": {\"origin\": [0, 0, 0], \"x\": [1, 0, 0], \"y\": [2, 0, 0]}, \"directions\"",
       M + "base_motion.axis.y: expected a direction not parallel to x"},
      {"frequency against stiffness and mass", "3.1830989", "3.5", units},
      {"frequencies the same in single precision", "\"sweep\": {\"from\": 1, \"to\": 10, \"steps\": 10}", "\"frequencies\": [0.5, 1, 1.00000001]",
       M + "frequencies[2]: 1.00000001 and 1 are the same frequency in single precision (1 Hz): " + spacing},
      {"a sweep too fine for single precision", "\"to\": 10, \"steps\": 10", "\"to\": 1.000001, \"steps\": 100",
       M + "sweep.steps: 100 steps from 1 to 1.000001 Hz are too fine: frequencies 0 and 1 are both 1 Hz, and " + spacing},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    const std::string text = Edited(kValid, row.from, row.to);
    ASSERT_TRUE(!text.empty() || row.to.empty()) << "the edit does not apply";
    EXPECT_EQ(ErrorOf(text), row.expected);
  }
  // Within rounding (five significant digits), the frequency is accepted.
  EXPECT_EQ(ErrorOf(Edited(kValid, "3.1830989", "3.1831")), "(loaded)");
}

TEST_F(VokdynModel, CommentsAreSkippedOutsideStringsAndNumbersReadExactly) {
  std::string text = Edited(kValid, "\"name\": \"small\"",
                            "// line comment, with \"quotes\" and { braces\n"
                            "  \"name\": \"a // b /* c */ \\u00e9\" /* block\n comment */");
  text = Edited(text, "\"amplitude\": 0.5", "\"amplitude\": 0.1, \"phase_deg\": 2.2250738585072014e-308");
  text = Edited(text, ", \"phase_deg\": 10", "");
  Model m = LoadModelText(text + "\n// end, without a newline", "model.json");
  EXPECT_EQ(m.name, "a // b /* c */ \xc3\xa9");
  // The nearest double of each literal, as the C library reads it.
  EXPECT_EQ(m.baseMotion.directions[0].amplitude, std::strtod("0.1", nullptr));
  EXPECT_EQ(m.baseMotion.directions[0].phaseDeg, std::strtod("2.2250738585072014e-308", nullptr));
  EXPECT_EQ(m.base.modes[1].frequency, std::strtod("3.1830989", nullptr));
}

TEST_F(VokdynModel, SweepFrequenciesAreRoundedOnceToSinglePrecision) {
  // Clustered on a mode of 2 %: its half-power band in 3 points, then 2, 4 and 8 times as wide.
  auto cluster = [](double f) {
    std::vector<double> out;
    for (double x : {-0.16, -0.08, -0.04, -0.02, 0.0, 0.02, 0.04, 0.08, 0.16}) out.push_back(f * (1.0 + x));
    return out;
  };
  std::vector<double> clustered = {1.0};
  for (double f : {1.5, 3.1830989}) for (double p : cluster(f)) clustered.push_back(p);
  clustered.push_back(10.0);
  const std::pair<std::string, std::vector<double>> rows[] = {
      {"\"sweep\": {\"from\": 1, \"to\": 10, \"steps\": 2, \"spacing\": \"modes\", \"points_per_mode\": 3}", clustered},  // the sweep, its exact frequencies before rounding
      {"\"sweep\": {\"from\": 1, \"to\": 2, \"steps\": 4}", {1.0, 1.0 + 1.0 / 3.0, 1.0 + 2.0 / 3.0, 2.0}},
      {"\"sweep\": {\"from\": 0.5, \"to\": 50, \"steps\": 5, \"spacing\": \"log\"}",  // f0 (f1/f0)^(k/(n-1))
       {0.5, 0.5 * std::pow(100.0, 0.25), 5.0, 0.5 * std::pow(100.0, 0.75), 50.0}},
      {"\"sweep\": {\"from\": 0.3, \"to\": 7, \"steps\": 3, \"spacing\": \"log\"}", {0.3, std::sqrt(0.3 * 7.0), 7.0}},
      {"\"frequencies\": [0.1, 3.3]", {0.1, 3.3}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.first);
    const std::vector<float> got = SweepFrequencies(LoadModelText(Edited(kValid, "\"sweep\": {\"from\": 1, \"to\": 10, \"steps\": 10}", row.first), "m.json").sweep);
    ASSERT_EQ(got.size(), row.second.size());
    // The nearest float of the exact value up to the double's last bit; the ends exactly as given.
    for (std::size_t k = 0; k < got.size(); ++k) EXPECT_NEAR(got[k], static_cast<float>(row.second[k]), 1e-6 * row.second[k]);
    EXPECT_EQ(std::make_pair(got.front(), got.back()), std::make_pair(static_cast<float>(row.second.front()), static_cast<float>(row.second.back())));
  }
}

TEST_F(VokdynModel, NearestKeySuggestsOnlyPlausibleMisspellings) {
  const std::vector<std::string> known = {"frequency", "generalized_mass", "generalized_stiffness", "participation", "shape"};
  const std::pair<const char*, const char*> rows[] = {
      {"frequncy", "frequency"}, {"Frequency", "frequency"}, {"generalised_mass", "generalized_mass"}, {"shap", "shape"},
      {"participations", "participation"}, {"xyz", ""}, {"s", ""}, {"stiffness", ""},
  };
  for (const auto& row : rows) EXPECT_EQ(NearestKey(row.first, known), row.second) << row.first;
}

TEST_F(VokdynModel, WrittenModelsLoadBackToTheSameModel) {
  std::vector<std::pair<std::string, Model>> models = {
      {"default", DefaultModel()}, {"small", LoadModelText(kValid, "small.json")},
      {"velocity and relative acceleration",
       LoadModelText(Edited(kValid, "{\"node\": 2, \"component\": 6}",
                            "{\"node\": 7, \"component\": 1, \"quantity\": \"velocity\"}, "
                            "{\"node\": 2, \"component\": 6, \"quantity\": \"acceleration\", \"motion\": \"relative\"}"),
                     "small.json")},
      {"structural damping, a static response",
       LoadModelText(Edited(Edited(kValid, "\"type\": \"modal\", \"percent\": 2", "\"type\": \"structural\", \"eta_per_mode\": [0.02, 0.05]"),
                            "[1, 0, 0, 0, 0, 0]}]}]", "[1, 0, 0, 0, 0, 0]}], \"static_response\": [0.5, -0.25]}]"),
                     "small.json")},
      {"a damping table, a sweep clustered on the modes",
       LoadModelText(Edited(Edited(kValid, "\"percent\": 2", "\"table\": [[1, 2], [3, 4.5]]"),
                            "\"steps\": 10}", "\"spacing\": \"modes\", \"points_per_mode\": 5}"),
                     "small.json")}};
  for (const std::string& file : Examples()) models.emplace_back(file, LoadModelFile(file));
  for (const auto& entry : models) {
    SCOPED_TRACE(entry.first);
    const Model& m = entry.second;
    const std::string text = WriteModelText(m, "a comment\n\nof two paragraphs");
    const Model again = LoadModelText(text, "written.json");
    // Numbers are written in their shortest exact form: the same text again.
    EXPECT_EQ(WriteModelText(again, "a comment\n\nof two paragraphs"), text);
    ASSERT_EQ(again.base.modes.size(), m.base.modes.size());
    for (std::size_t i = 0; i < m.base.modes.size(); ++i)
      EXPECT_TRUE(again.base.modes[i].generalizedStiffness == m.base.modes[i].generalizedStiffness) << i;
    EXPECT_TRUE(again.base.shapes.SameValues(m.base.shapes));
    EXPECT_EQ(SweepFrequencies(again.sweep), SweepFrequencies(m.sweep));
    ASSERT_EQ(again.outputs.size(), m.outputs.size());
    for (std::size_t o = 0; o < m.outputs.size(); ++o) EXPECT_EQ(OutputLabel(again.outputs[o]), OutputLabel(m.outputs[o])) << o;
    EXPECT_TRUE(again.damping.type == m.damping.type && again.damping.table == m.damping.table &&
                again.damping.etaPerMode == m.damping.etaPerMode && again.sweep.pointsPerMode == m.sweep.pointsPerMode);
    for (std::size_t l = 0; l < m.loads.size(); ++l) EXPECT_EQ(again.loads[l].staticResponse, m.loads[l].staticResponse) << l;
    EXPECT_EQ(std::tie(again.units.length, again.units.time, again.units.force, again.units.angle),
              std::tie(m.units.length, m.units.time, m.units.force, m.units.angle));
  }
  const std::pair<double, const char*> numbers[] = {
      {0.1, "0.1"}, {100000.0, "100000"}, {-2.5e20, "-2.5e+20"}, {-0.0, "-0.0"}, {1.0 / 3.0, "0.3333333333333333"}};
  for (const auto& n : numbers) EXPECT_EQ(ShortestNumber(n.first), n.second);
}

// The factors a run computes from the nodal masses, in one pass over the shapes, are the stand-in's
// own sums to the bit: nodes anywhere (zero and negative coordinates), with and without masses,
// and a mode whose phi m overflows in its third chunk of rows.
TEST_F(VokdynModel, ParticipationFromTheMassesIsTheStandInsToTheBit) {
  std::uint64_t state = 12345;
  auto next = [&state] {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<double>(state >> 11) / 9007199254740992.0 * 6.0 - 3.0;
  };
  Model model = DefaultModel();
  model.nodes.clear();
  VOKHost::ModalBaseDefinition def;
  for (int n = 0; n < 200; ++n) {  // rows in chunks of 64, four modes at once, and alone
    Node node{n + 1, {n % 5 == 0 ? 0.0 : next(), n % 7 == 0 ? -0.0 : next(), next()}, n % 3 != 0, {}};
    if (node.hasMass) node.mass = {next() + 4.0, next() + 4.0, next() + 4.0, next() + 3.0, 1e10, next() + 3.0};
    model.nodes.push_back(node);
    def.nodes.push_back(VOKHost::ModalNode{node.id, node.xyz, node.mass});
  }
  const std::size_t modes = model.base.modes.size();
  std::vector<double> values;
  for (std::size_t i = 0; i < modes; ++i) {
    def.shapes.emplace_back();
    for (std::size_t k = 0; k < 6 * model.nodes.size(); ++k) def.shapes.back().push_back(i == 2 && k == 6 * 151 + 4 ? 1e300 : next());
    values.insert(values.end(), def.shapes.back().begin(), def.shapes.back().end());
    def.modalMasses.push_back(model.base.modes[i].generalizedMass);
    def.modalStiffnesses.push_back(model.base.modes[i].generalizedStiffness);
  }
  model.base.shapes = ModeShapes(std::move(values), modes, model.nodes.size());
  model.loads.clear();
  model.outputs = {{1, 1}};
  const StandIn standIn = BuildStandIn(model);
  VOKHost::ModalBase* reference = VOKHost::ModalBase::Create(def);
  ASSERT_NE(reference, nullptr);
  for (std::size_t i = 0; i < modes; ++i)
    for (int d = 1; d <= 6; ++d) {
      const double got = standIn.base->Participation(static_cast<int>(i), d), want = reference->Participation(static_cast<int>(i), d);
      EXPECT_TRUE(std::memcmp(&got, &want, sizeof got) == 0) << "mode " << i << ", direction " << d << ": " << got << ", " << want;
    }
  EXPECT_TRUE(std::isnan(reference->Participation(2, 1))) << "the overflowing mode reaches the fallback";
  // As the commands compute them, on threads that share the modes: the same bits.
  for (int threads : {1, 2, 5}) {  // modes in fours and alone
    Model kept = model;
    KeepRowsOfRun(kept, threads);
    for (std::size_t i = 0; i < modes; ++i)
      for (int d = 1; d <= 6; ++d) {
        const double got = kept.base.modes[i].participation[static_cast<std::size_t>(d - 1)];
        const double want = reference->Participation(static_cast<int>(i), d);
        EXPECT_TRUE(kept.base.modes[i].hasParticipation && std::memcmp(&got, &want, sizeof got) == 0) << threads << " threads, mode " << i;
      }
  }
  reference->Release();
}

TEST_F(VokdynModel, DefaultModelHasTheShearBuildingsClosedFormModes) {
  const ShearBuilding b;
  const int n = b.storeys;
  const Model m = DefaultModel();
  ASSERT_EQ(static_cast<int>(m.base.modes.size()), n);
  for (int j = 1; j <= n; ++j) {
    SCOPED_TRACE(j);
    const Mode& mode = m.base.modes[static_cast<std::size_t>(j - 1)];
    double omega = 2.0 * std::sqrt(b.storeyStiffness / b.storeyMass) * std::sin((2 * j - 1) * kPi / (2 * (2 * n + 1)));
    EXPECT_NEAR(mode.frequency, omega / (2.0 * kPi), 1e-12 * mode.frequency);
    // An eigenvector of the storey chain: phi^T M phi and phi^T K phi are m_j and k_j.
    double phiMphi = 0.0, phiKphi = 0.0;
    for (int i = 1; i <= n; ++i) {
      double phi = m.base.shapes.Row(static_cast<std::size_t>(j - 1), static_cast<std::size_t>(i - 1))[0];
      EXPECT_NEAR(phi, std::sin((2 * j - 1) * i * kPi / (2 * n + 1)), 1e-15);
      double below = i == 1 ? 0.0 : m.base.shapes.Row(static_cast<std::size_t>(j - 1), static_cast<std::size_t>(i - 2))[0];
      phiMphi += b.storeyMass * phi * phi;
      phiKphi += b.storeyStiffness * (phi - below) * (phi - below);
    }
    EXPECT_NEAR(mode.generalizedMass, phiMphi, 1e-12 * phiMphi);
    EXPECT_NEAR(mode.generalizedStiffness, phiKphi, 1e-9 * phiKphi);
  }
  const std::vector<float> f = SweepFrequencies(m.sweep);
  EXPECT_TRUE(f.front() < m.base.modes.front().frequency && f.back() > m.base.modes.back().frequency) << "the sweep crosses every resonance";
}

}  // namespace
