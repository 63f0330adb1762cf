// The response runs against closed forms: the harmonic run (1e-12 relative, as run and expectation sum in
// different orders), its warnings and plots; the random run built on it (H S H^H by hand, Miles' equation) and
// its spectra; the transient run (step, half-sine, base and enforced steps) and its history files; the refusals
// of the "random" and "transient" sections.
#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <stdexcept>

#include "VOKDYNHarmonic.h"
#include "VOKDYNModeSweep.h"
#include "VOKDYNModelGenerator.h"
#include "VOKDYNModelLoader.h"
#include "VOKDYNModelText.h"
#include "VOKDYNRandom.h"
#include "VOKDYNTestTowers.h"
#include "VOKDYNTextWriter.h"
#include "VOKDYNTransient.h"
#include "VOKTestSupport.h"

namespace {

using Complex = std::complex<double>;
using namespace vokdyn;
using vokdyn_test::Edited;

constexpr double kPi = 3.141592653589793;

// k - omega^2 m + i omega c at frequency f (hertz).
Complex Dynamic(double k, double m, double c, double f) {
  double omega = f * 2.0 * kPi;
  return Complex(k - omega * omega * m, omega * c);
}

// The excitation turns its phase (degrees) in single precision.
Complex Turn(double iDegrees) {
  float phase = static_cast<float>(iDegrees * kPi / 180.0);
  return Complex(static_cast<double>(std::cos(phase)), static_cast<double>(std::sin(phase)));
}

// c_i in the order the damping tools evaluate it.
double Modal(double m, double k, double percent) { return std::sqrt(m * k) * (percent * 2.0) / 100.0; }
double Rayleigh(double m, double k, double alpha, double beta) { return (m * alpha + k * beta) / 100.0; }

// One node of mass 2, one mode (m 2, k 180, shape 0.8 in UX); frequencies exact in single precision.
const std::string kOneMode = R"({"format": "vokdyn-model/1",
  "nodes": [{"id": 4, "xyz": [1, 2, 3], "mass": [2, 2, 2, 0, 0, 0]}],
  "modal_base": {"modes": [{"frequency": 1.5098764, "generalized_mass": 2, "generalized_stiffness": 180,
                            "shape": [[0.8, 0, 0, 0, 0, 0]]}]},
  "damping": {"type": "modal", "percent": 5},
  "modulations": {"table": {"points": [[0, 1], [10, 2]]}},
  "frequencies": [0.25, 1, 1.5, 1.5098, 2.75, 9.5],
  "outputs": [{"node": 4, "component": 1}, {"node": 4, "component": 2}], EXCITATION})";

// Two modes on two nodes (UX), a load on node 2.
const std::string kTwoModes = R"({"format": "vokdyn-model/1",
  "nodes": [{"id": 1, "xyz": [0, 0, 1]}, {"id": 2, "xyz": [0, 0, 2]}],
  "modal_base": {"modes": [
    {"frequency": 1.0065842, "generalized_mass": 1.5, "generalized_stiffness": 60, "shape": [[0.5, 0, 0, 0, 0, 0], [1, 0, 0, 0, 0, 0]]},
    {"frequency": 3.3761862, "generalized_mass": 2, "generalized_stiffness": 900, "shape": [[1, 0, 0, 0, 0, 0], [-0.5, 0, 0, 0, 0, 0]]}]},
  "loads": [{"amplitude": 4, "forces": [{"node": 2, "values": [1.25, 0, 0, 0, 0, 0]}]}],
  "sweep": {"from": 0.5, "to": 5, "steps": 7, "spacing": "log"},
  "outputs": [{"node": 1, "component": 1}, {"node": 2, "component": 1}], DAMPING})";

// Its displacement at node o under a unit force at node j, damping c_i, structural eta_i (k_i (1 + i eta_i)).
Complex TwoModes(double f, std::size_t o, std::size_t j, const std::vector<double>& c, const std::vector<double>& eta = {0, 0}) {
  const double m[2] = {1.5, 2.0}, k[2] = {60.0, 900.0}, phi[2][2] = {{0.5, 1.0}, {1.0, -0.5}};  // [mode][node]
  Complex u(0.0, 0.0);
  for (std::size_t i = 0; i < 2; ++i) u += phi[i][o] * phi[i][j] / (Dynamic(k[i], m[i], c[i], f) + Complex(0.0, eta[i] * k[i]));
  return u;
}

// One mode on two nodes (UZ), Rayleigh damping, a field D = (0.5, 1) in UZ enforced at acceleration 2.
const std::string kEnforced = R"({"format": "vokdyn-model/1",
  "nodes": [{"id": 1, "xyz": [1, 0, 0], "mass": [3, 3, 3, 0, 0, 0]}, {"id": 2, "xyz": [2, 0, 0], "mass": [1.5, 1.5, 1.5, 0, 0, 0]}],
  "modal_base": {"modes": [{"frequency": 2.4656178, "generalized_mass": 1.25, "generalized_stiffness": 300,
                            "shape": [[0, 0, 1, 0, 0, 0], [0, 0, 0.4, 0, 0, 0]]}]},
  "damping": {"type": "rayleigh", "alpha": 1, "beta": 0.01},
  "enforced": [{"name": "support", "amplitude": 2, "static_displacement": [[0, 0, 0.5, 0, 0, 0], [0, 0, 1, 0, 0, 0]]}],
  "frequencies": [0.5, 2.4649, 2.5, 6],
  "outputs": [{"node": 1, "component": 3}, {"node": 2, "component": 3}, {"node": 2, "component": 1}]})";

class VokdynHarmonic : public VOKTest {};

TEST_F(VokdynHarmonic, EachExcitationAndDampingFollowsItsClosedForm) {
  // u(f, output) for each row; the one-mode rows have k = 180, m = 2, phi = 0.8.
  const double m = 2.0, k = 180.0, c = Modal(m, k, 5.0);
  // The damping values c_i expected, u(f, output), and the outputs' names when a row gives them.
  struct Row { const char* label; std::string text; std::vector<double> damping; std::function<Complex(double, std::size_t)> u;
               std::vector<std::string> labels = {}; };
  // The two-mode model under the damping given: 4 x 1.25 at node 2.
  auto twoModes = [](const char* iLabel, const std::string& iDamping, std::vector<double> iC, std::vector<double> iEta = {0.0, 0.0}) {
    return Row{iLabel, Edited(kTwoModes, "DAMPING", "\"damping\": {" + iDamping + "}"), iC,
               [=](double f, std::size_t node) { return 4.0 * 1.25 * TwoModes(f, node, 1, iC, iEta); }};
  };
  // q = (a f_D + phi^T F) / (k - omega^2 m + i omega c), f_D = -phi^T M D; u = phi q - D a / omega^2.
  auto enforced = [](double iModalForce, Complex iLoadForce = Complex(0.0, 0.0)) {
    return [=](double f, std::size_t o) {
      const double phi[2] = {1.0, 0.4}, D[2] = {0.5, 1.0}, omega = 2.0 * kPi * f;
      if (o == 2) return Complex(0.0, 0.0);
      Complex q = (2.0 * iModalForce + iLoadForce) / Dynamic(300.0, 1.25, Rayleigh(1.25, 300.0, 1.0, 0.01), f);
      return phi[o] * q + D[o] * (-2.0 / (omega * omega));
    };
  };
  // Base acceleration a on phi = 1, participation m: the absolute displacement is the transmissibility
  // (k + i omega c) / (k - omega^2 m + i omega c) times -a / omega^2, the relative one -a m / (k - omega^2 m + i omega c).
  auto base = [&](double a, bool table) {
    return [=](double f, std::size_t o) {
      double omega = 2.0 * kPi * f, factor = table ? 1.0 + f / 10.0 : 1.0;
      if (o == 1) return Complex(0.0, 0.0);
      return Complex(k, omega * c) / Dynamic(k, m, c, f) * Complex(-a * factor / (omega * omega), 0.0);
    };
  };
  // Outputs: displacement, velocity (i omega u), acceleration (-omega^2 u); absolute, then relative.
  auto quantities = [&](double f, std::size_t o) {
    Complex u = o < 3 ? base(0.75, false)(f, 0) : -0.75 * m / Dynamic(k, m, c, f);
    for (std::size_t d = 0; d < o % 3; ++d) u *= Complex(0.0, 2.0 * kPi * f);
    return u;
  };
  auto load = [&](double amplitude, double phase, bool table) {
    return [=](double f, std::size_t o) {
      double factor = table ? 1.0 + f / 10.0 : 1.0;
      if (o == 1) return Complex(0.0, 0.0);
      return 0.8 * (amplitude * factor * (0.8 * 3.0) * Turn(phase) / Dynamic(k, m, c, f));
    };
  };
  const std::string force = R"("loads": [{"forces": [{"node": 4, "values": [3, 0, 0, 0, 0, 0]}])";
  const std::string unitShape = R"("shape": [[1, 0, 0, 0, 0, 0]])";
  const std::string baseDriven = Edited(Edited(kOneMode, "EXCITATION", R"("base_motion": {"directions": [{"direction": 1, "amplitude": 0.75}]})"),
                                        R"("shape": [[0.8, 0, 0, 0, 0, 0]])", unitShape);
  const std::vector<Row> rows = {
      {"load, amplitude and phase", Edited(kOneMode, "EXCITATION", force + ", \"amplitude\": 2.5, \"phase_deg\": 30}]"), {c}, load(2.5, 30.0, false)},
      {"load, modulation table and phase",
       Edited(kOneMode, "EXCITATION", force + ", \"amplitude\": 0.5, \"phase_deg\": -120, \"modulation\": \"table\"}]"),
       {c}, load(0.5, -120.0, true)},
      {"base acceleration, participation from the nodal masses", baseDriven, {c}, base(0.75, false)},
      {"base acceleration, each quantity and motion",
       Edited(baseDriven, R"({"node": 4, "component": 1}, {"node": 4, "component": 2})",
              R"({"node": 4, "component": 1, "quantity": "displacement", "motion": "absolute"},
                 {"node": 4, "component": 1, "quantity": "velocity", "motion": "absolute"},
                 {"node": 4, "component": 1, "quantity": "acceleration", "motion": "absolute"},
                 {"node": 4, "component": 1, "quantity": "displacement", "motion": "relative"},
                 {"node": 4, "component": 1, "quantity": "velocity", "motion": "relative"},
                 {"node": 4, "component": 1, "quantity": "acceleration", "motion": "relative"})"),
       {c}, quantities, {"N4_UX", "N4_UX_vel", "N4_UX_acc", "N4_UX_rel", "N4_UX_vel_rel", "N4_UX_acc_rel"}},
      {"base acceleration, participation given, modulation table",
       Edited(Edited(Edited(kOneMode, "EXCITATION", R"("base_motion": {"directions": [{"direction": 1, "amplitude": 0.75, "modulation": "table"}]})"),
                     R"("shape": [[0.8, 0, 0, 0, 0, 0]])", unitShape + R"(, "participation": [2, 0, 0, 0, 0, 0])"),
              R"(, "mass": [2, 2, 2, 0, 0, 0])", ""),
       {c}, base(0.75, true)},
      twoModes("modal damping", R"("type": "modal", "percent": 2)", {Modal(1.5, 60, 2), Modal(2, 900, 2)}),
      twoModes("modal damping per mode", R"("type": "modal", "percent_per_mode": [1, 4])", {Modal(1.5, 60, 1), Modal(2, 900, 4)}),
      twoModes("Rayleigh damping", R"("type": "rayleigh", "alpha": 3, "beta": 0.002)", {Rayleigh(1.5, 60, 3, 0.002), Rayleigh(2, 900, 3, 0.002)}),
      twoModes("Rayleigh damping per mode", R"("type": "rayleigh", "alpha_per_mode": [1, 2], "beta_per_mode": [0.001, 0.003])",
               {Rayleigh(1.5, 60, 1, 0.001), Rayleigh(2, 900, 2, 0.003)}),
      twoModes("structural damping", R"("type": "structural", "eta": 0.04)", {0.0, 0.0}, {0.04, 0.04}),
      twoModes("structural damping per mode", R"("type": "structural", "eta_per_mode": [0.02, 0.1])", {0.0, 0.0}, {0.02, 0.1}),
      // Mode 1 between the points (linear), mode 2 beyond the last (constant).
      twoModes("modal damping table", R"("type": "modal", "table": [[0.5, 1], [2, 3]])",
               {Modal(1.5, 60, 1.0 + 2.0 * ((1.0065842 - 0.5) / 1.5)), Modal(2, 900, 3)}),
      {"enforced, modal force from the nodal masses", kEnforced, {Rayleigh(1.25, 300, 1, 0.01)}, enforced(-(1.0 * 3.0 * 0.5 + 0.4 * 1.5 * 1.0))},
      {"enforced set between two loads, modal force given",
       Edited(Edited(Edited(kEnforced, R"(, "mass": [1.5, 1.5, 1.5, 0, 0, 0])", ""), "[0, 0, 1, 0, 0, 0]]}", "[0, 0, 1, 0, 0, 0]], \"modal_force\": [-5]}"),
              R"("enforced":)", R"("loads": [{"name": "push", "amplitude": 3, "phase_deg": 30, "forces": [{"node": 1, "values": [0, 0, 1, 0, 0, 0]}]},
                                           {"name": "pull", "amplitude": 0.5, "forces": [{"node": 2, "values": [0, 0, 1, 0, 0, 0]}]}],
                                "enforced":)"),
       {Rayleigh(1.25, 300, 1, 0.01)}, enforced(-5.0, 3.0 * Turn(30.0) * 1.0 + 0.5 * Turn(0.0) * 0.4)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    ASSERT_FALSE(row.text.empty()) << "an edit does not apply";
    const RunResult run = RunHarmonic(LoadModelText(row.text, "model.json"));
    EXPECT_EQ(run.damping.values, row.damping);
    EXPECT_EQ(run.damping.validity, "valid");
    EXPECT_EQ(run.damping.structural.empty(), row.text.find("structural") == std::string::npos);
    const Response& r = run.response;
    for (std::size_t o = 0; o < row.labels.size(); ++o) EXPECT_EQ(OutputLabel(r.outputs.at(o)), row.labels[o]);
    for (std::size_t t = 0; t < r.frequencies.size(); ++t)
      for (std::size_t o = 0; o < r.outputs.size(); ++o) {
        const Complex expected = row.u(r.frequencies[t], o);
        EXPECT_LE(std::abs(r.values[o][t] - expected), 1e-12 * std::abs(expected)) << "output " << o << " at " << r.frequencies[t];
      }
  }
}

TEST_F(VokdynHarmonic, PhaseIsInDegreesAboveMinus180UpTo180) {
  const std::pair<Complex, double> rows[] = {
      {Complex(2, 0), 0.0}, {Complex(0, 3), 90.0}, {Complex(0, -3), -90.0}, {Complex(-1, 0), 180.0},
      {Complex(-1, -0.0), 180.0}, {Complex(1, 1), 45.0}, {Complex(-1, -1), -135.0}, {Complex(0, 0), 0.0}};
  for (const auto& row : rows) EXPECT_NEAR(PhaseDeg(row.first), row.second, 1e-13) << row.first;
}

// printf's %.Pg, character for character, at the precisions the outputs
// use: signed zero, exact ties, a carry into a new digit, the switch to the
// exponent form, the ends of the range, inf and nan.
TEST_F(VokdynHarmonic, NumbersAreWrittenAsPrintfWritesThem) {
  const double rows[] = {0.0, -0.0, 180.0, -180.0, 0.1, 1.0 / 3.0, 9.99999999999999995e-5, 1e-4, 99999.5, 0.125,
                         2251799813685246.25, 1.234567895e18, 1e17, 1e22, 1e23, 123456789012345678.0, 5e-324,
                         2.2250738585072014e-308, 1.7976931348623157e308, INFINITY, -INFINITY, NAN};
  for (int precision : {9, 12, 17})
    for (double row : rows) {
      char expected[64], written[kGeneralMax + 1];
      std::snprintf(expected, sizeof expected, "%.*g", precision, row);
      *WriteGeneral(written, row, precision) = '\0';
      EXPECT_STREQ(written, expected) << std::hexfloat << row << " to " << precision << " digits";
    }
}

// The CSV goes out in pieces of a megabyte or more, each of whole rows and
// followed by the count of rows so far; every number reads back to the
// value computed.
TEST_F(VokdynHarmonic, CsvIsHandedOnInPiecesOfWholeRowsThatReadBackExactly) {
  Model model = DefaultModel();
  model.sweep.steps = 20000;
  const Response r = RunHarmonic(model).response;
  std::string text;
  std::vector<std::size_t> pieces;
  WriteCsv(r, [&](const char* iData, std::size_t iSize) { text.append(iData, iSize); pieces.push_back(iSize); },
           [&](std::size_t iDone, std::size_t iRows) {
             EXPECT_EQ(iRows, r.frequencies.size());
             EXPECT_EQ(iDone + 1, static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')));
           });
  ASSERT_GT(pieces.size(), 2u);
  for (std::size_t k = 0; k + 1 < pieces.size(); ++k) EXPECT_GE(pieces[k], TextWriter::kChunk) << k;
  const char* p = text.c_str() + text.find('\n') + 1;
  auto next = [&p](double iExpected) {
    char* end = nullptr;
    const double read = std::strtod(p, &end);
    EXPECT_TRUE(read == iExpected && std::signbit(read) == std::signbit(iExpected)) << std::string(p, static_cast<std::size_t>(end - p)) << " for " << iExpected;
    p = end + 1;
  };
  for (std::size_t t = 0; t < r.frequencies.size(); ++t) {
    next(r.frequencies[t]);
    for (const auto& column : r.values) {
      for (double v : {column[t].real(), column[t].imag(), std::abs(column[t]), PhaseDeg(column[t])}) next(v);
    }
  }
  EXPECT_EQ(p, text.c_str() + text.size());
}

TEST_F(VokdynHarmonic, StaticCorrectionRestoresTheStaticPartOfTheModesLeftOut) {
  // Six unit masses on unit springs: omega_j = 2 sin((2j - 1) pi / 26); modes 1, 2 kept, load 2.5 on top.
  const int N = 6;
  auto exact = [](double iOmega2) {  // (K - omega^2 M) u = F by elimination of the tridiagonal system
    std::vector<double> diag(6), rhs(6, 0.0), u(6);
    rhs[5] = 2.5;
    for (std::size_t n = 0; n < 6; ++n) diag[n] = (n < 5 ? 2.0 : 1.0) - iOmega2;
    for (std::size_t n = 1; n < 6; ++n) {
      diag[n] -= 1.0 / diag[n - 1];
      rhs[n] += rhs[n - 1] / diag[n - 1];
    }
    u[5] = rhs[5] / diag[5];
    for (std::size_t n = 5; n-- > 0;) u[n] = (rhs[n] + u[n + 1]) / diag[n];
    return u;
  };
  auto number = [](double v) { char t[32]; std::snprintf(t, sizeof t, "%.17g", v); return std::string(t); };
  std::string nodes, modes;
  for (int n = 1; n <= N; ++n) nodes += std::string(n > 1 ? ", " : "") + "{\"id\": " + std::to_string(n) + ", \"xyz\": [0, 0, " + std::to_string(n) + "]}";
  for (int j = 1; j <= 2; ++j) {
    double mass = 0.0;
    std::string shape;
    for (int n = 1; n <= N; ++n) {
      const double phi = std::sin((2 * j - 1) * n * kPi / 13.0);
      mass += phi * phi;
      shape += std::string(n > 1 ? ", " : "") + "[" + number(phi) + ", 0, 0, 0, 0, 0]";
    }
    modes += std::string(j > 1 ? ", " : "") + "{\"frequency\": " + number(2.0 * std::sin((2 * j - 1) * kPi / 26.0) / (2.0 * kPi)) +
             ", \"generalized_mass\": " + number(mass) + ", \"shape\": [" + shape + "]}";
  }
  const double f = 0.05 * 2.0 * std::sin(kPi / 26.0) / (2.0 * kPi);
  const std::vector<double> statics = exact(0.0), dynamic = exact(std::pow(2.0 * kPi * static_cast<float>(f), 2));
  const std::string text = R"({"format": "vokdyn-model/1", "nodes": [)" + nodes + R"(], "modal_base": {"modes": [)" + modes +
                           R"(]}, "damping": {"type": "modal", "percent": 0}, "frequencies": [)" + number(f) +
                           R"(], "loads": [{"amplitude": 2.5, "forces": [{"node": 6, "values": [1, 0, 0, 0, 0, 0]}]STATIC}],
                              "outputs": [{"node": 6, "component": 1}, {"node": 3, "component": 1}]})";
  const Response truncated = RunHarmonic(LoadModelText(Edited(text, "STATIC", ""), "chain.json")).response;
  const Response corrected = RunHarmonic(LoadModelText(Edited(text, "STATIC", ", \"static_response\": [" + number(statics[5] / 2.5) + ", " +
                                                                          number(statics[2] / 2.5) + "]"), "chain.json")).response;
  // At the loaded top the two modes miss more than 1 %; corrected, both outputs (nodes 6 and 3) are within 1e-4.
  EXPECT_GT(std::abs(truncated.values[0][0] - dynamic[5]), 1e-2 * std::abs(dynamic[5]));
  for (std::size_t o = 0; o < 2; ++o)
    EXPECT_LT(std::abs(corrected.values[o][0] - dynamic[o ? 2 : 5]), 1e-4 * std::abs(dynamic[o ? 2 : 5])) << "output " << o;
}

TEST_F(VokdynHarmonic, DampingThatLooksLikeASlipOfUnitsIsWarnedAbout) {
  // zeta_i = (alpha m_i + beta k_i) / 100 / (2 sqrt(k_i m_i)), printed in percent to 3 digits.
  auto rayleighZeta = [](int i, double alpha, double beta) {
    const double m[2] = {1.5, 2.0}, k[2] = {60.0, 900.0};
    return (alpha * m[i] + beta * k[i]) / 100.0 / (2.0 * std::sqrt(k[i] * m[i]));
  };
  char above[32];
  std::snprintf(above, sizeof above, "%.3g %%", 100.0 * rayleighZeta(0, 3000, 0.0001));
  const std::string at = "model.json: damping: ";
  struct Row { const char* damping; std::vector<std::string> warnings; };
  const std::vector<Row> rows = {
      {R"({"type": "modal", "percent": 2})", {}},
      {R"({"type": "modal", "percent": 0})", {}},
      {R"({"type": "modal", "percent_per_mode": [0.03, 3]})",
       {at + "below 0.1 % of critical, a fraction typed as a percent? (3 % is \"percent\": 3): mode 1 (1.0065842 Hz) 0.03 %"}},
      {R"({"type": "modal", "percent": 60})", {at + "above 50 % of critical: mode 1 (1.0065842 Hz) 60 %, mode 2 (3.3761862 Hz) 60 %"}},
      {R"({"type": "rayleigh", "alpha": 0, "beta": 0})", {at + "below 0.01 % of critical: mode 1 (1.0065842 Hz) 0 %, mode 2 (3.3761862 Hz) 0 %"}},
      {R"({"type": "rayleigh", "alpha": 3000, "beta": 0.0001})", {at + "above 100 % of critical: mode 1 (1.0065842 Hz) " + above}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.damping);
    const Model model = LoadModelText(Edited(kTwoModes, "DAMPING", std::string("\"damping\": ") + row.damping), "model.json");
    const DampingInfo damping = CheckDamping(model);
    EXPECT_EQ(DampingWarnings(model, damping.values), row.warnings);
  }
  // The ratio of a Rayleigh pair, mode by mode.
  const Model model = LoadModelText(Edited(kTwoModes, "DAMPING", R"("damping": {"type": "rayleigh", "alpha": 3, "beta": 0.002})"), "m.json");
  const std::vector<double> zeta = DampingRatios(model, CheckDamping(model).values);
  ASSERT_EQ(zeta.size(), 2u);
  for (int i = 0; i < 2; ++i) EXPECT_NEAR(zeta[static_cast<std::size_t>(i)], rayleighZeta(i, 3, 0.002), 1e-15) << i;
}

TEST_F(VokdynHarmonic, AModeWithFewerThanThreePointsInItsHalfPowerBandIsWarnedAbout) {
  // The nearest point reads 1 / |1 - r^2 + i 2 zeta r| against the peak 1 / (2 zeta sqrt(1 - zeta^2)).
  auto low = [](double f, double fi, double zeta) {
    const double r = f / fi;
    char text[32];
    std::snprintf(text, sizeof text, "%.3g", 100.0 * (1.0 - 2.0 * zeta * std::sqrt(1.0 - zeta * zeta) / std::abs(Complex(1.0 - r * r, 2.0 * zeta * r))));
    return std::string(text);
  };
  auto band = [](double fi, double zeta) {
    char text[64];
    std::snprintf(text, sizeof text, "%.9g to %.9g Hz", fi * (1.0 - zeta), fi * (1.0 + zeta));
    return std::string(text);
  };
  const std::string hint = " (one-mode estimate; \"spacing\": \"modes\" resolves it)";
  const std::string mode1 = "mode 1 (1.0065842 Hz, 2 % of critical): 1 point in its half-power band " + band(1.0065842, 0.02) +
                            "; the nearest point, 1 Hz, may read the peak " + low(1.0, 1.0065842, 0.02) + " % low" + hint;
  struct Row { const char* label; std::string sweep, damping; std::vector<std::string> warnings; };
  const std::vector<Row> rows = {
      {"a coarse list", R"("frequencies": [0.5, 1, 2, 3.3, 5])", R"("percent": 2)",
       {mode1, "mode 2 (3.3761862 Hz, 2 % of critical): 0 points in its half-power band " + band(3.3761862, 0.02) +
            "; the nearest point, 3.29999995 Hz, may read the peak " + low(static_cast<float>(3.3), 3.3761862, 0.02) + " % low" + hint}},
      {"clustered on the modes", R"("sweep": {"from": 0.5, "to": 5, "spacing": "modes", "points_per_mode": 3})", R"("percent": 2)", {}},
      {"damping of 20 % or more", R"("frequencies": [0.5, 1, 2, 3.3, 5])", R"("percent": 20)", {}},
      {"a mode outside the sweep, the other resolved", R"("frequencies": [2, 3.37, 3.376, 3.38])", R"("percent": 2)", {}},
      {"undamped", R"("frequencies": [0.5, 1, 2, 3.3762, 5])", R"("percent_per_mode": [2, 0])",
       {mode1, "mode 2 (3.3761862 Hz, 0 % of critical): 0 points in its half-power band 3.3761862 to 3.3761862 Hz; the nearest "
        "point, 3.37619996 Hz, cannot reach the peak of an undamped mode" + hint}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    std::string text = Edited(Edited(kTwoModes, "DAMPING", R"("damping": {"type": "modal", )" + row.damping + "}"),
                              R"("sweep": {"from": 0.5, "to": 5, "steps": 7, "spacing": "log"})", row.sweep);
    ASSERT_FALSE(text.empty()) << "an edit does not apply";
    const Model model = LoadModelText(text, "model.json");
    EXPECT_EQ(PeakResolutionWarnings(model, ModelDampingRatios(model), SweepFrequencies(model.sweep)), row.warnings);
  }
  // Fourteen modes at 0.5 (2j - 1) Hz, 12 log points 0.2 to 50 Hz: ten named, four counted.
  const Model tower = GenerateTower(TowerSize{2, 14, 12, 1});  // nodes, modes, frequencies, outputs
  const std::vector<std::string> many = PeakResolutionWarnings(tower, ModelDampingRatios(tower), SweepFrequencies(tower.sweep));
  ASSERT_EQ(many.size(), 11u);
  EXPECT_EQ(many[9].substr(0, 16), "mode 10 (9.5 Hz,");
  EXPECT_EQ(many[10], "and 4 more modes with fewer than 3 points in the half-power band");
}

TEST_F(VokdynHarmonic, APeakIsTheLargestMagnitudeAtTheFirstFrequencyReachingIt) {
  Response r;
  r.frequencies = {1.0f, 2.0f, 3.0f, 4.0f};
  r.outputs = {Output()};
  r.values = {{Complex(1, 0), Complex(0, 2), Complex(-2, 0), Complex(1.2, 1.6)}};  // |u| 1, 2, 2, 2
  EXPECT_EQ(std::make_pair(PeakOf(r, 0).magnitude, PeakOf(r, 0).frequency), std::make_pair(2.0, 2.0));
}

TEST_F(VokdynHarmonic, BodePlotLabelsQuantityMotionAndUnits) {
  const Units si{"m", "s", "N", "rad"};
  struct Row { const char* label; std::vector<Output> outputs; Units units; std::string axis; std::vector<std::string> titles; };
  const std::vector<Row> rows = {
      {"a displacement", {{6, 1}}, si, "displacement amplitude (m)", {"N6_UX displacement (m)"}},
      {"a relative angular acceleration", {{6, 4, Quantity::Acceleration, Motion::Relative}}, si,
       "angular acceleration amplitude (rad/s^2)", {"N6_RX angular acceleration, relative (rad/s^2)"}},
      {"no units", {{6, 2, Quantity::Velocity}}, Units(), "velocity amplitude", {"N6_UY velocity"}},
      {"a length without a time", {{6, 2, Quantity::Velocity}}, Units{"mm", "", "", ""}, "velocity amplitude", {"N6_UY velocity"}},
      {"different quantities", {{6, 1}, {3, 1, Quantity::Velocity}}, si, "magnitude", {"N6_UX displacement (m)", "N3_UX velocity (m/s)"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    Response r;
    r.frequencies = {1.0f, 20.0f};
    r.outputs = row.outputs;
    const std::string script = BodeScript(r, "m", row.units, "d.csv", "i.svg", true);
    EXPECT_NE(script.find("set ylabel '" + row.axis + "'\n"), std::string::npos) << script;
    for (std::size_t o = 0; o < row.titles.size(); ++o) {
      // Magnitude (column 4 of each output's four) with its title above, phase (column 5) below.
      EXPECT_NE(script.find("using 1:" + std::to_string(4 + 4 * o) + " with lines linewidth 1.5 linecolor " + std::to_string(o + 1) +
                            " title '" + row.titles[o] + "'"), std::string::npos) << script;
      EXPECT_NE(script.find("using 1:" + std::to_string(5 + 4 * o) + " with lines linewidth 1.5 linecolor " + std::to_string(o + 1) +
                            " notitle"), std::string::npos) << script;
    }
    EXPECT_LT(script.find("set multiplot layout 2,1"), script.find("set ylabel 'phase (deg)'"));
  }
}

TEST_F(VokdynHarmonic, ResultCodesArePrintedByNameAndBitPattern) {
  EXPECT_EQ(HexResult(static_cast<long>(static_cast<int>(0x80004005u))), "E_FAIL (0x80004005)");
  EXPECT_EQ(std::string(ComputationError("Op", static_cast<long>(static_cast<int>(0x80004005u)), " at 2 Hz").what()),
            "Op failed at 2 Hz: result E_FAIL (0x80004005)");
}

// The two-mode model, 2 % of critical, 61 linear points, under random loads a (1 at node 1, amplitude 7) and
// b (2 at node 2, phase 90): a random input takes its excitation at amplitude 1 and phase 0.
const std::string kRandom =
    Edited(Edited(Edited(kTwoModes, R"("loads": [{"amplitude": 4, "forces": [{"node": 2, "values": [1.25, 0, 0, 0, 0, 0]}]}])",
                         R"("loads": [{"name": "a", "amplitude": 7, "forces": [{"node": 1, "values": [1, 0, 0, 0, 0, 0]}]},
                                      {"name": "b", "phase_deg": 90, "forces": [{"node": 2, "values": [2, 0, 0, 0, 0, 0]}]}])"),
                  R"("steps": 7, "spacing": "log")", R"("steps": 61, "spacing": "linear")"),
           "DAMPING", R"("damping": {"type": "modal", "percent": 2},
  "random": {RESPONSE "inputs": [{"load": "a", "psd": [[0.5, 3], [5, 3]]}, {"load": "b", "psd": [[0.5, 1], [5, 100]]}] CROSS})");

// One 10 Hz mode (m 1, phi 1 UX, node mass 1), 2 % damping, base acceleration X; log sweep 0.1-1000 Hz.
const std::string kWhiteBase = R"({"format": "vokdyn-model/1",
  "nodes": [{"id": 1, "xyz": [0, 0, 0], "mass": [1, 1, 1, 0, 0, 0]}],
  "modal_base": {"modes": [{"frequency": 10, "generalized_mass": 1, "shape": [[1, 0, 0, 0, 0, 0]]}]},
  "damping": {"type": "modal", "percent": 2},
  "base_motion": {"directions": [{"direction": 1, "amplitude": 3, "phase_deg": 40}]},
  "sweep": {"from": 0.1, "to": 1000, "steps": 40001, "spacing": "log"},
  "outputs": [{"node": 1, "component": 1}],
  "random": {"inputs": [{"base_direction": 1, "psd": [[0.1, 0.04], [1000, 0.04]]}]}})";

RandomResult RunRandomText(const std::string& iText) {
  Model model;
  RandomSection random;
  LoadRandomModel(iText, "model.json", model, random);
  return RunRandom(model, random);
}

class VokdynRandom : public VOKTest {};

TEST_F(VokdynRandom, EachResponsePsdIsHSHOfTheClosedFormsAndItsRmsTheirTrapezoid) {
  // Two loads: S_y = H S H^H omega^(2 power), S_11 = 3, S_22 = (f / 0.5)^2 exactly (log-log from (0.5, 1) to (5, 100)).
  const std::vector<double> c2 = {Modal(1.5, 60, 2), Modal(2, 900, 2)};
  auto twoLoads = [&](int power, Complex s12) {
    return [=](double f, std::size_t o) {
      const Complex h1 = TwoModes(f, o, 0, c2), h2 = 2.0 * TwoModes(f, o, 1, c2);
      const double sy = 3.0 * std::norm(h1) + (f / 0.5) * (f / 0.5) * std::norm(h2) + 2.0 * (h1 * s12 * std::conj(h2)).real();
      return sy * std::pow(2.0 * kPi * f, 2 * power);
    };
  };
  // One mode under white base acceleration S: |T|^2 S, T = (k + i w c) / (k - w^2 m + i w c). Miles' RMS
  // sqrt(pi/2 fn Q S) made exact: (1 + 4 zeta^2) times it, less S f1 below the band, S 4 zeta^2 fn^2 / F above;
  // the trapezoid on 40001 log points meets it to 2e-5 (Miles alone is 1.1e-3 off).
  const double fn = 10.0, zeta = 0.02, S = 0.04, k = std::pow(2.0 * kPi * fn, 2), c = 2.0 * zeta * std::sqrt(k);
  auto white = [=](double f, std::size_t) {
    const double w = 2.0 * kPi * f;
    return std::norm(Complex(k, w * c) / Complex(k - w * w, w * c)) * S;
  };
  const double exact = std::sqrt(S * (kPi * fn / (4.0 * zeta) * (1.0 + 4.0 * zeta * zeta) - 0.1 - 4.0 * zeta * zeta * fn * fn / 1000.0));
  const std::string cross = R"(, "cross": [{"between": ["a", "b"], "real": [[0.5, 0.4], [5, 0.4]], "imag": [[0.5, -0.9], [5, -0.9]]}])";
  // A resonance with fewer than two points in its half-power band is warned about: the two modes fall
  // between points 0.075 Hz apart, more than zeta fn (0.020 and 0.068 Hz).
  struct Row { const char* label; std::string text; std::function<double(double, std::size_t)> psd; double rms; std::size_t warnings; };
  const std::vector<Row> rows = {
      {"one mode, white base acceleration", kWhiteBase, white, exact, 0},
      {"the same on a ten times coarser sweep", Edited(kWhiteBase, "40001", "400"), white, 0.0, 1},
      {"two loads uncorrelated, displacement", Edited(Edited(kRandom, "RESPONSE", "\"response\": \"displacement\","), "CROSS", ""),
       twoLoads(0, 0.0), 0.0, 2},
      {"correlated, acceleration", Edited(Edited(kRandom, "RESPONSE", ""), "CROSS", cross), twoLoads(2, Complex(0.4, -0.9)), 0.0, 2},
      {"correlated the other way, velocity",
       Edited(Edited(kRandom, "RESPONSE", "\"response\": \"velocity\","), "CROSS", Edited(cross, R"("a", "b")", R"("b", "a")")),
       twoLoads(1, Complex(0.4, 0.9)), 0.0, 2},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    const RandomResult r = RunRandomText(row.text);
    ASSERT_TRUE(!r.outputs.empty() && r.psd.size() == r.outputs.size() && r.summary.size() == r.outputs.size());
    for (std::size_t o = 0; o < r.outputs.size(); ++o) {
      // The RMS and the zero-crossing rate: trapezoids in linear frequency on the sweep's points.
      double area = 0.0, moment = 0.0;
      for (std::size_t t = 0; t < r.frequencies.size(); ++t) {
        const double f = r.frequencies[t], expected = row.psd(f, o);
        EXPECT_NEAR(r.psd[o][t], expected, 1e-9 * expected) << o << " at " << f;
        if (t == 0) continue;
        const double a = r.frequencies[t - 1], before = row.psd(a, o);
        area += (f - a) * (before + expected) / 2.0;
        moment += (f - a) * (a * a * before + f * f * expected) / 2.0;
      }
      EXPECT_NEAR(r.summary[o].rms, std::sqrt(area), 1e-9 * std::sqrt(area));
      EXPECT_NEAR(r.summary[o].zeroCrossing, std::sqrt(moment / area), 1e-9 * std::sqrt(moment / area));
      if (row.rms > 0.0) { EXPECT_NEAR(r.summary[o].rms / row.rms, 1.0, 2e-5); }
    }
    EXPECT_EQ(r.warnings.size(), row.warnings);
  }
}

TEST_F(VokdynRandom, SpectraInterpolateLogLogAndCrossLinearlyZeroOutside) {
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

// The one-mode model under a load push (3 in UX: modal 2.4), base motion in X and an enforced field 0.5 in UX
// (modal force -1.5), iPercent % of critical, with a transient section.
std::string Transient(const std::string& iPercent, const std::string& iDuration, const std::string& iStep,
                      const std::string& iResponse, const std::string& iInput) {
  return Edited(Edited(kOneMode, "\"percent\": 5}", "\"percent\": " + iPercent + "}"), "EXCITATION",
                R"("loads": [{"name": "push", "forces": [{"node": 4, "values": [3, 0, 0, 0, 0, 0]}]}],
  "base_motion": {"directions": [{"direction": 1}]},
  "enforced": [{"name": "support", "static_displacement": [[0.5, 0, 0, 0, 0, 0]], "modal_force": [-1.5]}],
  "transient": {"duration": )" + iDuration + ", \"time_step\": " + iStep + ", " + iResponse + " \"inputs\": [" + iInput + "]}");
}

TransientResult RunTransientText(const std::string& iText) {
  Model model;
  TransientSection transient;
  LoadTransientModel(iText, "model.json", model, transient);
  return RunTransient(model, transient);
}

class VokdynTransient : public VOKTest {};

TEST_F(VokdynTransient, OneModeFollowsItsClosedForms) {
  const double m = 2.0, k = 180.0, w = std::sqrt(k / m), phi = 0.8;
  // Step of modal force P at t = 0 with damping ratio z: q, q' and q''.
  struct Motion { double q, v, a; };
  auto step = [=](double P, double z) {
    return [=](double t) {
      const double wd = w * std::sqrt(1.0 - z * z), e = std::exp(-z * w * t);
      const double q = P / k * (1.0 - e * (std::cos(wd * t) + z / std::sqrt(1.0 - z * z) * std::sin(wd * t)));
      const double v = P / k * e * w / std::sqrt(1.0 - z * z) * std::sin(wd * t);
      return Motion{q, v, (P - 2.0 * z * std::sqrt(k * m) * v - k * q) / m};
    };
  };
  // Undamped half-sine pulse P sin(pi t / td) for t < td, free vibration after.
  const double td = 0.25, W = kPi / td, P = 2.4;
  auto halfSine = [=](double t) {
    auto during = [=](double s) {
      return Motion{P / k / (1.0 - W * W / (w * w)) * (std::sin(W * s) - W / w * std::sin(w * s)),
                    P / k / (1.0 - W * W / (w * w)) * (W * std::cos(W * s) - W * std::cos(w * s)), 0.0};
    };
    if (t <= td) return during(t);
    const Motion end = during(td);
    return Motion{end.q * std::cos(w * (t - td)) + end.v / w * std::sin(w * (t - td)), 0.0, 0.0};
  };
  std::string pulse = R"({"load": "push", "history": [)";  // sin(W t) every 2.5e-4 s
  for (int j = 0; j <= 1000; ++j) {
    char point[64];
    std::snprintf(point, sizeof point, "%s[%.17g, %.17g]", j ? ", " : "", td * j / 1000, std::sin(W * (td * j / 1000)));
    pulse += point;
  }
  pulse += "]}";
  const std::string push = R"({"load": "push", "history": [[0, 1], [9, 1]]})";  // a step
  struct Row { const char* label; std::string text; std::function<double(double)> u; double tolerance; };  // relative to the peak
  // Exact for loads linear within a step; the half-sine sampled every 2.5e-4 s is within 1.2e-6 of the sine.
  const std::vector<Row> rows = {
      {"step load, displacement", Transient("5", "3", "0.01", "", push), [=](double t) { return phi * step(P, 0.05)(t).q; }, 1e-12},
      {"step load, velocity", Transient("5", "3", "0.01", "\"response\": \"velocity\",", push), [=](double t) { return phi * step(P, 0.05)(t).v; }, 1e-12},
      {"step load, acceleration, absolute changes nothing", Transient("5", "3", "0.01", "\"response\": \"acceleration\", \"absolute\": true,", push),
       [=](double t) { return phi * step(P, 0.05)(t).a; }, 1e-12},
      {"half-sine pulse, undamped", Transient("0", "1", "0.00025", "", pulse), [=](double t) { return phi * halfSine(t).q; }, 1e-5},
      // Base acceleration step 0.5: modal force -phi m 0.5; absolute acceleration phi q'' + 0.5.
      {"base acceleration step, absolute acceleration",
       Transient("2", "2", "0.005", "\"response\": \"acceleration\", \"absolute\": true,", R"({"base_direction": 1, "history": [[0, 0.5], [5, 0.5]]})"),
       [=](double t) { return phi * step(-phi * 2.0 * 0.5, 0.02)(t).a + 0.5; }, 1e-12},
      {"base acceleration step, relative acceleration",
       Transient("2", "2", "0.005", "\"response\": \"acceleration\",", R"({"base_direction": 1, "history": [[0, 0.5], [5, 0.5]]})"),
       [=](double t) { return phi * step(-phi * 2.0 * 0.5, 0.02)(t).a; }, 1e-12},
      // Enforced acceleration step 2: modal force -1.5 x 2; absolute acceleration phi q'' + 0.5 x 2.
      {"enforced acceleration step, absolute acceleration",
       Transient("2", "2", "0.005", "\"response\": \"acceleration\", \"absolute\": true,", R"({"enforced": "support", "history": [[0, 2], [5, 2]]})"),
       [=](double t) { return phi * step(-1.5 * 2.0, 0.02)(t).a + 0.5 * 2.0; }, 1e-12},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    ASSERT_FALSE(row.text.empty());
    const TransientResult r = RunTransientText(row.text);
    double peak = 0.0;
    for (double t : r.times) peak = std::max(peak, std::fabs(row.u(t)));
    ASSERT_GT(peak, 0.0);
    for (std::size_t t = 0; t < r.times.size(); ++t)
      ASSERT_NEAR(r.values[0][t], row.u(r.times[t]), row.tolerance * peak) << "at " << r.times[t] << " s";
  }
}

TEST_F(VokdynTransient, HistoryPointsBetweenOutputTimesAreIntegratedExactly) {
  // Corners between outputs 0.01 s apart give what outputs on every corner (1e-4 s) give.
  const std::string pulse = R"({"load": "push", "history": [[0, 0], [0.0123, 0], [0.0187, 1], [0.0311, 1], [0.0372, 0]]})";
  for (const char* response : {"", "\"response\": \"acceleration\","}) {
    SCOPED_TRACE(response);
    const TransientResult coarse = RunTransientText(Transient("5", "0.5", "0.01", response, pulse));
    const TransientResult fine = RunTransientText(Transient("5", "0.5", "0.0001", response, pulse));
    ASSERT_EQ(coarse.times.size(), 51u);
    ASSERT_EQ(fine.times.size(), 5001u);
    double peak = 0.0;
    for (double v : fine.values[0]) peak = std::max(peak, std::fabs(v));
    for (std::size_t t = 0; t < coarse.times.size(); ++t)
      EXPECT_NEAR(coarse.values[0][t], fine.values[0][100 * t], 1e-9 * peak) << coarse.times[t];
  }
}

TEST_F(VokdynTransient, AHistoryFileReadsAsItsInlinePoints) {
  const std::string text = Transient("5", "1", "0.01", "", R"({"load": "push", "file": "FILE"})");
  const std::string expected = TransientCsv(RunTransientText(Edited(text, R"("file": "FILE")", R"("history": [[0, 0], [0.2, 1], [0.5, -2], [2, 0]])")));
  struct Row { std::string name, content, message; };
  const std::vector<Row> rows = {
      {"plain.csv", "0,0\n0.2,1\n0.5,-2\n2,0\n", ""},
      {"header.csv", "# accelerogram\ntime;value\n\n0 0\r\n0.2\t1\n0.5 ; -2\n2, 0\n", ""},
      {"bad.csv", "t,v\n0,0\n0.2\n", "dir/bad.csv: line 3: expected two numbers (time, value), got \"0.2\""},
      {"back.csv", "0,0\n0.2,1\n0.1,2\n", "dir/back.csv: point 3: time 0.1 does not exceed 0.2"},
      {"absent.csv", "", "model.json: transient.inputs[0].file: dir/absent.csv cannot be read: no such file"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string model = Edited(text, "FILE", row.name);
    auto reader = [&](const std::string& iPath) -> std::string {
      if (iPath != "dir/" + row.name || row.content.empty()) throw std::runtime_error("no such file");
      return row.content;
    };
    const std::string got = vokdyn_test::RefusalOf([&] {
      Model m = LoadModelText(model, "dir/model.json");
      JsonDocument parsed = ParseJson(model, "dir/model.json");
      const TransientSection s = ReadTransientSection(parsed.Root(), "dir/model.json", m, reader);
      EXPECT_EQ(TransientCsv(RunTransient(m, s)), expected);
    });
    EXPECT_EQ(got, row.message.empty() ? "(loaded)" : (row.name == "absent.csv" ? "dir/" : "") + row.message);
  }
}

TEST_F(VokdynRandom, ARandomOrTransientSectionIsRefusedWithWhereAndWhy) {
  // The random loads with the cross spectra given, then an edit.
  auto random = [](const std::string& iCross, const std::string& iFrom = "", const std::string& iTo = "") {
    const std::string text = Edited(Edited(kRandom, "RESPONSE", ""), "CROSS", iCross);
    return iFrom.empty() ? text : Edited(text, iFrom, iTo);
  };
  const std::string step = R"({"load": "push", "history": [[0, 1], [9, 1]]})";
  struct Row { std::string text, message; };
  // |S_12|^2 = 3.69 > S_11 S_22 = 3 from the first frequency.
  const std::vector<Row> rows = {
      {random(R"(, "cross": [{"between": ["a", "b"], "real": [[0.5, 1.5], [5, 1.5]], "imag": [[0.5, 1.2], [5, 1.2]]}])"),
       "model.json: random.cross: the input spectral matrix is not positive semi-definite at 0.5 Hz"},
      // |S_12| = 20 (f - 0.5) / 4.5 passes sqrt(S_11 S_22) = sqrt(12) f past 2.27 Hz: the sweep's 2.3 Hz.
      {random(R"(, "cross": [{"between": ["a", "b"], "real": [[0.5, 0], [5, 20]]}])"),
       "model.json: random.cross: the input spectral matrix is not positive semi-definite at 2.29999995 Hz"},
      {random(R"(, "cross": [{"between": ["a", "c"], "real": [[1, 1], [2, 1]]}])"),
       "model.json: random.cross[0].between[1]: no input is named \"c\" (inputs: \"a\", \"b\")"},
      {random(R"(, "cross": [{"between": ["a", "a"], "real": [[1, 1], [2, 1]]}])"),
       "model.json: random.cross[0].between: an input's own spectrum is its \"psd\", not a cross spectrum"},
      {random(R"(, "cross": [{"between": ["a", "b"]}])"), "model.json: random.cross[0]: expected \"real\", \"imag\" or both"},
      {random("", "\"load\": \"b\"", "\"load\": \"c\""), "model.json: random.inputs[1].load: the model has no load named \"c\" (named: \"a\", \"b\")"},
      {random("", "\"load\": \"b\"", "\"load\": \"a\""), "model.json: random.inputs[1]: input \"a\" is given twice"},
      {random("", "\"load\": \"b\"", "\"base_direction\": 2"), "model.json: random.inputs[1].base_direction: the model's base_motion has no direction 2"},
      {random("", "\"load\": \"b\"", "\"enforced\": \"b\""), "model.json: random.inputs[1].enforced: the model has no enforced set named \"b\" (none is named)"},
      {random("", "\"load\": \"b\"", "\"load\": \"b\", \"enforced\": \"x\""),
       "model.json: random.inputs[1]: expected exactly one of \"load\" (a load's name), \"base_direction\" (1 to 6) and \"enforced\" (an enforced set's name)"},
      {random("", "[[0.5, 1], [5, 100]]", "[[0.5, 1], [0.5, 100]]"), "model.json: random.inputs[1].psd[1][0]: frequency 0.5 does not exceed 0.5"},
      {random("", "[[0.5, 1], [5, 100]]", "[[0.5, 1], [5, 0]]"),
       "model.json: random.inputs[1].psd[1][1]: expected a spectral density > 0 (leave a band out instead of writing zeros: zero holds outside the points), got 0"},
      {random("", "[[0.5, 1], [5, 100]]", "[[0, 1], [5, 100]]"), "model.json: random.inputs[1].psd[0][0]: expected a frequency > 0, got 0"},
      {random("", "\"inputs\"", "\"response\": \"jerk\", \"inputs\""),
       "model.json: random.response: expected \"displacement\", \"velocity\" or \"acceleration\", got \"jerk\""},
      {random("", "\"inputs\"", "\"input\""), "model.json: random: unknown key \"input\""},
      {Transient("5", "3", "4", "", step), "model.json: transient.time_step: the step 4 s exceeds the duration 3 s"},
      {Transient("5", "3e6", "1e-3", "", step), "model.json: transient.time_step: a duration of 3000000 s in steps of 0.001 s makes more than 1e8 steps"},
      {Transient("5", "3", "0.1", "\"absolute\": true,", R"({"base_direction": 1, "history": [[0, 1], [9, 1]]})"),
       "model.json: transient.absolute: an absolute displacement or velocity needs the support's own displacement"},
      {Transient("5", "3", "0.1", "", R"({"load": "push", "history": [[0, 1], [0, 1]]})"),
       "model.json: transient.inputs[0].history: point 2: time 0 does not exceed 0"},
      {Transient("5", "3", "0.1", "", R"({"load": "push", "history": [[-1, 1], [2, 1]]})"),
       "model.json: transient.inputs[0].history: point 1: expected a time >= 0 and a finite value, got -1, 1"},
      {Transient("5", "3", "0.1", "", R"({"load": "push", "history": [[0, 1], [2, 1]], "file": "a.csv"})"),
       "model.json: transient.inputs[0]: expected exactly one of \"history\" (inline [time, value] points) and \"file\""},
      {Edited(Transient("5", "3", "0.1", "", step), R"("type": "modal", "percent": 5)", R"("type": "structural", "eta": 0.04)"),
       "model.json: damping: structural damping and damping tables hold in the frequency domain only"},
      {Transient("100", "3", "0.1", "", step),
       "model.json: mode 1 is damped at 100 % of critical: the transient recurrence needs less than critical damping"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.message);
    ASSERT_FALSE(row.text.empty()) << "an edit does not apply";
    const bool transient = row.text.find("\"transient\"") != std::string::npos;
    const std::string got = vokdyn_test::RefusalOf([&] { transient ? (void)RunTransientText(row.text) : (void)RunRandomText(row.text); });
    EXPECT_EQ(got.substr(0, row.message.size()), row.message) << got;
  }
}

}  // namespace
