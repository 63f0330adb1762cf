// The random response against closed forms (Miles' equation, H S H^H by hand), the spectra's
// interpolation, the "random" section's refusals, and thread-count independence.
#include <cmath>
#include <complex>
#include <string>
#include <vector>

#include "VOKDYNRandom.h"
#include "VOKDYNTestTowers.h"
#include "VOKTestSupport.h"

namespace {

using Complex = std::complex<double>;
using namespace vokdyn;
using vokdyn_test::Edited;

constexpr double kPi = 3.141592653589793;

RandomResult RunText(const std::string& iText, int iThreads = 1) {
  Model model;
  RandomSection random;
  LoadRandomModel(iText, "model.json", model, random);
  return RunRandom(model, random, iThreads);
}

// One 10 Hz mode (m 1, phi 1 UX, node mass 1), 2 % damping, base acceleration X; log sweep 0.1-1000 Hz.
const std::string kOneMode = R"({"format": "vokdyn-model/1",
  "nodes": [{"id": 1, "xyz": [0, 0, 0], "mass": [1, 1, 1, 0, 0, 0]}],
  "modal_base": {"modes": [{"frequency": 10, "generalized_mass": 1, "shape": [[1, 0, 0, 0, 0, 0]]}]},
  "damping": {"type": "modal", "percent": 2},
  "base_motion": {"directions": [{"direction": 1, "amplitude": 3, "phase_deg": 40}]},
  "sweep": {"from": 0.1, "to": 1000, "steps": 40001, "spacing": "log"},
  "outputs": [{"node": 1, "component": 1}],
  "random": {"inputs": [{"base_direction": 1, "psd": [[0.1, 0.04], [1000, 0.04]]}]}})";

TEST(VokdynRandom, OneModeUnderWhiteBaseAccelerationFollowsMiles) {
  // Miles: RMS sqrt(pi/2 fn Q S); exact: (1 + 4 zeta^2) times it, less S f1 below, S 4 zeta^2 fn^2 / F above.
  // The trapezoid on 40001 log points meets the exact band to 2e-5; Miles alone differs by 1.1e-3.
  const double fn = 10.0, zeta = 0.02, S = 0.04, f1 = 0.1, F = 1000.0;
  const double miles = std::sqrt(kPi / 2.0 * fn * (1.0 / (2.0 * zeta)) * S);
  const double exact = std::sqrt(S * (kPi * fn / (4.0 * zeta) * (1.0 + 4.0 * zeta * zeta) - f1 - 4.0 * zeta * zeta * fn * fn / F));
  const RandomResult r = RunText(kOneMode);
  ASSERT_EQ(r.summary.size(), 1u);
  EXPECT_NEAR(r.summary[0].rms / exact, 1.0, 2e-5);
  EXPECT_NEAR(r.summary[0].rms / miles, 1.0, 2e-3);
  // The zero-crossing rate of a lightly damped mode is near its frequency.
  EXPECT_NEAR(r.summary[0].zeroCrossing / fn, 1.0, 0.1);
  // The PSD at each point is |T|^2 S, T = (k + i w c) / (k - w^2 m + i w c).
  const double k = std::pow(2.0 * kPi * fn, 2), c = 2.0 * zeta * std::sqrt(k);
  for (std::size_t t = 0; t < r.frequencies.size(); t += 997) {
    const double w = 2.0 * kPi * r.frequencies[t];
    const double expected = std::norm(Complex(k, w * c) / Complex(k - w * w, w * c)) * S;
    EXPECT_NEAR(r.psd[0][t], expected, 1e-9 * expected) << r.frequencies[t] << " Hz";
  }
  EXPECT_TRUE(r.warnings.empty());
  // Ten times coarser a sweep leaves two points in the half-power band: warned.
  EXPECT_EQ(RunText(Edited(kOneMode, "40001", "400")).warnings.size(), 1u);
}

// Two modes on two nodes (UX), 2 % of critical; unit forces at nodes 1 and 2.
const std::string kTwoModes = R"({"format": "vokdyn-model/1",
  "nodes": [{"id": 1, "xyz": [0, 0, 1]}, {"id": 2, "xyz": [0, 0, 2]}],
  "modal_base": {"modes": [
    {"frequency": 1.0065842, "generalized_mass": 1.5, "generalized_stiffness": 60, "shape": [[0.5, 0, 0, 0, 0, 0], [1, 0, 0, 0, 0, 0]]},
    {"frequency": 3.3761862, "generalized_mass": 2, "generalized_stiffness": 900, "shape": [[1, 0, 0, 0, 0, 0], [-0.5, 0, 0, 0, 0, 0]]}]},
  "damping": {"type": "modal", "percent": 2},
  "loads": [{"name": "a", "amplitude": 7, "forces": [{"node": 1, "values": [1, 0, 0, 0, 0, 0]}]},
            {"name": "b", "phase_deg": 90, "forces": [{"node": 2, "values": [2, 0, 0, 0, 0, 0]}]}],
  "sweep": {"from": 0.5, "to": 5, "steps": 61, "spacing": "linear"},
  "outputs": [{"node": 1, "component": 1}, {"node": 2, "component": 1}],
  "random": {RESPONSE "inputs": [{"load": "a", "psd": [[0.5, 3], [5, 3]]}, {"load": "b", "psd": [[0.5, 1], [5, 100]]}] CROSS}})";

TEST(VokdynRandom, TwoCorrelatedForcesGiveHSHOfTheClosedForm) {
  const double m[2] = {1.5, 2.0}, k[2] = {60.0, 900.0}, phi[2][2] = {{0.5, 1.0}, {1.0, -0.5}};  // [mode][node]
  const double force[2] = {1.0, 2.0};  // input j acts on node j
  // H[o][j]: displacement at node o per unit multiplier of load j.
  auto h = [&](double f, int o, int j) {
    const double w = 2.0 * kPi * f;
    Complex u(0.0, 0.0);
    for (int i = 0; i < 2; ++i) {
      const double c = std::sqrt(m[i] * k[i]) * 4.0 / 100.0;
      u += phi[i][o] * phi[i][j] * force[j] / Complex(k[i] - w * w * m[i], w * c);
    }
    return u;
  };
  // S_22 = (f / 0.5)^2 exactly: log-log between (0.5, 1) and (5, 100).
  struct Row { const char* label; std::string response, cross; int power; Complex s12; };
  const std::vector<Row> rows = {
      {"uncorrelated, displacement", "\"response\": \"displacement\",", "", 0, Complex(0.0, 0.0)},
      {"correlated, acceleration", "", R"(, "cross": [{"between": ["a", "b"], "real": [[0.5, 0.4], [5, 0.4]], "imag": [[0.5, -0.9], [5, -0.9]]}])",
       2, Complex(0.4, -0.9)},
      {"correlated the other way, velocity", "\"response\": \"velocity\",",
       R"(, "cross": [{"between": ["b", "a"], "real": [[0.5, 0.4], [5, 0.4]], "imag": [[0.5, -0.9], [5, -0.9]]}])", 1,
       Complex(0.4, 0.9)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    const std::string text = Edited(Edited(kTwoModes, "RESPONSE", row.response), "CROSS", row.cross);
    const RandomResult r = RunText(text);
    ASSERT_EQ(r.psd.size(), 2u);
    for (int o = 0; o < 2; ++o) {
      std::vector<double> expected;
      for (std::size_t t = 0; t < r.frequencies.size(); ++t) {
        const double f = r.frequencies[t], w = 2.0 * kPi * f;
        const double s11 = 3.0, s22 = (f / 0.5) * (f / 0.5);
        const Complex h1 = h(f, o, 0), h2 = h(f, o, 1);
        const double sy = s11 * std::norm(h1) + s22 * std::norm(h2) + 2.0 * (h1 * row.s12 * std::conj(h2)).real();
        expected.push_back(sy * std::pow(w, 2 * row.power));
        EXPECT_NEAR(r.psd[static_cast<std::size_t>(o)][t], expected.back(), 1e-9 * expected.back()) << o << " at " << f;
      }
      // RMS: trapezoid in linear frequency on the sweep's points.
      double area = 0.0, moment = 0.0;
      for (std::size_t t = 1; t < expected.size(); ++t) {
        const double a = r.frequencies[t - 1], b = r.frequencies[t];
        area += (b - a) * (expected[t - 1] + expected[t]) / 2.0;
        moment += (b - a) * (a * a * expected[t - 1] + b * b * expected[t]) / 2.0;
      }
      EXPECT_NEAR(r.summary[static_cast<std::size_t>(o)].rms, std::sqrt(area), 1e-9 * std::sqrt(area));
      EXPECT_NEAR(r.summary[static_cast<std::size_t>(o)].zeroCrossing, std::sqrt(moment / area), 1e-9);
    }
  }
}

TEST(VokdynRandom, SpectraInterpolateLogLogAndCrossLinearlyZeroOutside) {
  const Table slope = {{10.0, 1.0}, {20.0, 4.0}, {40.0, 4.0}};  // +6 dB/octave, then flat
  struct Row { bool logLog; double f, expected; };
  const std::vector<Row> rows = {
      {true, 9.99, 0.0}, {true, 10.0, 1.0}, {true, 14.142135623730951, 2.0}, {true, 15.0, 2.25},
      {true, 20.0, 4.0}, {true, 30.0, 4.0}, {true, 40.0, 4.0}, {true, 40.01, 0.0},
      {false, 15.0, 2.5}, {false, 5.0, 0.0}, {false, 40.0, 4.0}, {false, 41.0, 0.0},
  };
  for (const Row& row : rows) {
    const double got = row.logLog ? LogLogValue(slope, row.f) : LinearValue(slope, row.f);
    EXPECT_NEAR(got, row.expected, 1e-13) << (row.logLog ? "log-log at " : "linear at ") << row.f;
  }
}

TEST(VokdynRandom, ARandomSectionIsRefusedWithWhereAndWhy) {
  struct Row { std::string cross, from, to, message; };  // the cross spectra, then an edit
  // |S_12|^2 = 3.69 > S_11 S_22 = 3 from the first frequency.
  const std::vector<Row> rows = {
      {R"(, "cross": [{"between": ["a", "b"], "real": [[0.5, 1.5], [5, 1.5]], "imag": [[0.5, 1.2], [5, 1.2]]}])", "", "",
       "model.json: random.cross: the input spectral matrix is not positive semi-definite at 0.5 Hz"},
      // |S_12| = 20 (f - 0.5) / 4.5 passes sqrt(S_11 S_22) = sqrt(12) f past 2.27 Hz: the sweep's 2.3 Hz.
      {R"(, "cross": [{"between": ["a", "b"], "real": [[0.5, 0], [5, 20]]}])", "", "",
       "model.json: random.cross: the input spectral matrix is not positive semi-definite at 2.29999995 Hz"},
      {R"(, "cross": [{"between": ["a", "c"], "real": [[1, 1], [2, 1]]}])", "", "",
       "model.json: random.cross[0].between[1]: no input is named \"c\" (inputs: \"a\", \"b\")"},
      {R"(, "cross": [{"between": ["a", "a"], "real": [[1, 1], [2, 1]]}])", "", "",
       "model.json: random.cross[0].between: an input's own spectrum is its \"psd\", not a cross spectrum"},
      {R"(, "cross": [{"between": ["a", "b"]}])", "", "", "model.json: random.cross[0]: expected \"real\", \"imag\" or both"},
      {"", "\"load\": \"b\"", "\"load\": \"c\"", "model.json: random.inputs[1].load: the model has no load named \"c\" (named: \"a\", \"b\")"},
      {"", "\"load\": \"b\"", "\"load\": \"a\"", "model.json: random.inputs[1]: input \"a\" is given twice"},
      {"", "\"load\": \"b\"", "\"base_direction\": 2", "model.json: random.inputs[1].base_direction: the model's base_motion has no direction 2"},
      {"", "\"load\": \"b\"", "\"enforced\": \"b\"", "model.json: random.inputs[1].enforced: the model has no enforced set named \"b\" (none is named)"},
      {"", "\"load\": \"b\"", "\"load\": \"b\", \"enforced\": \"x\"",
       "model.json: random.inputs[1]: expected exactly one of \"load\" (a load's name), \"base_direction\" (1 to 6) and \"enforced\" (an enforced set's name)"},
      {"", "[[0.5, 1], [5, 100]]", "[[0.5, 1], [0.5, 100]]", "model.json: random.inputs[1].psd[1][0]: frequency 0.5 does not exceed 0.5"},
      {"", "[[0.5, 1], [5, 100]]", "[[0.5, 1], [5, 0]]",
       "model.json: random.inputs[1].psd[1][1]: expected a spectral density > 0 (leave a band out instead of writing zeros: zero holds outside the points), got 0"},
      {"", "[[0.5, 1], [5, 100]]", "[[0, 1], [5, 100]]", "model.json: random.inputs[1].psd[0][0]: expected a frequency > 0, got 0"},
      {"", "\"inputs\"", "\"response\": \"jerk\", \"inputs\"",
       "model.json: random.response: expected \"displacement\", \"velocity\" or \"acceleration\", got \"jerk\""},
      {"", "\"inputs\"", "\"input\"", "model.json: random: unknown key \"input\""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.message);
    std::string text = Edited(Edited(kTwoModes, "RESPONSE", ""), "CROSS", row.cross);
    if (!row.from.empty()) text = Edited(text, row.from, row.to);
    ASSERT_FALSE(text.empty());
    const std::string got = vokdyn_test::RefusalOf([&] { RunText(text); });
    EXPECT_EQ(got.substr(0, row.message.size()), row.message) << got;
  }
}

TEST(VokdynRandom, OutputIsTheSameForAnyThreadCount) {
  const std::string text = Edited(Edited(kTwoModes, "RESPONSE", ""), "CROSS",
                                  R"(, "cross": [{"between": ["a", "b"], "real": [[0.5, 0.4], [5, 0.4]]}])");
  const RandomResult one = RunText(text, 1);
  for (int threads : {2, 3, 7}) {
    const RandomResult many = RunText(text, threads);
    EXPECT_EQ(RandomCsv(many), RandomCsv(one)) << threads << " threads";
    EXPECT_EQ(RandomSummaryCsv(many), RandomSummaryCsv(one)) << threads << " threads";
  }
}

}  // namespace
