// The harmonic run against closed forms; 1e-12 relative, as run and expectation sum in different orders.
#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "VOKDYNHarmonic.h"
#include "VOKDYNModeSweep.h"
#include "VOKDYNModelGenerator.h"
#include "VOKDYNModelLoader.h"
#include "VOKDYNModelText.h"
#include "VOKDYNTestTowers.h"
#include "VOKDYNTextWriter.h"
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
  const double m2[2] = {1.5, 2.0}, k2[2] = {60.0, 900.0}, phi2[2][2] = {{0.5, 1.0}, {1.0, -0.5}};  // [mode][node]
  struct Row {
    const char* label;
    std::string text;
    std::vector<double> damping;
    std::function<Complex(double, std::size_t)> u;
  };
  // The two-mode model under the damping given, c_i; structural eta_i adds i eta_i k_i.
  auto twoModes = [&](const char* iLabel, const std::string& iDamping, std::vector<double> iC,
                      std::vector<double> iEta = {0.0, 0.0}) {
    return Row{iLabel, Edited(kTwoModes, "DAMPING", "\"damping\": {" + iDamping + "}"), iC,
               [=](double f, std::size_t node) {
                 Complex u(0.0, 0.0);
                 for (std::size_t i = 0; i < 2; ++i)
                   u += phi2[i][node] * (Complex(4.0 * phi2[i][1] * 1.25, 0.0) /
                                         (Dynamic(k2[i], m2[i], iC[i], f) + Complex(0.0, iEta[i] * k2[i])));
                 return u;
               }};
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
  // Base acceleration a on phi = 1, participation m: transmissibility times -a/omega^2.
  auto base = [&](double a, bool table) {
    return [=](double f, std::size_t o) {
      double omega = 2.0 * kPi * f, factor = table ? 1.0 + f / 10.0 : 1.0;
      if (o == 1) return Complex(0.0, 0.0);
      return Complex(k, omega * c) / Dynamic(k, m, c, f) * Complex(-a * factor / (omega * omega), 0.0);
    };
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
  const std::vector<Row> rows = {
      {"load, amplitude and phase", Edited(kOneMode, "EXCITATION", force + ", \"amplitude\": 2.5, \"phase_deg\": 30}]"),
       {c}, load(2.5, 30.0, false)},
      {"load, modulation table and phase",
       Edited(kOneMode, "EXCITATION", force + ", \"amplitude\": 0.5, \"phase_deg\": -120, \"modulation\": \"table\"}]"),
       {c}, load(0.5, -120.0, true)},
      {"base acceleration, participation from the nodal masses",
       Edited(Edited(kOneMode, "EXCITATION", R"("base_motion": {"directions": [{"direction": 1, "amplitude": 0.75}]})"),
              R"("shape": [[0.8, 0, 0, 0, 0, 0]])", unitShape),
       {c}, base(0.75, false)},
      {"base acceleration, participation given, modulation table",
       Edited(Edited(Edited(kOneMode, "EXCITATION", R"("base_motion": {"directions": [{"direction": 1, "amplitude": 0.75, "modulation": "table"}]})"),
                     R"("shape": [[0.8, 0, 0, 0, 0, 0]])", unitShape + R"(, "participation": [2, 0, 0, 0, 0, 0])"),
              R"(, "mass": [2, 2, 2, 0, 0, 0])", ""),
       {c}, base(0.75, true)},
      twoModes("modal damping", R"("type": "modal", "percent": 2)", {Modal(1.5, 60, 2), Modal(2, 900, 2)}),
      twoModes("modal damping per mode", R"("type": "modal", "percent_per_mode": [1, 4])",
               {Modal(1.5, 60, 1), Modal(2, 900, 4)}),
      twoModes("Rayleigh damping", R"("type": "rayleigh", "alpha": 3, "beta": 0.002)",
               {Rayleigh(1.5, 60, 3, 0.002), Rayleigh(2, 900, 3, 0.002)}),
      twoModes("Rayleigh damping per mode",
               R"("type": "rayleigh", "alpha_per_mode": [1, 2], "beta_per_mode": [0.001, 0.003])",
               {Rayleigh(1.5, 60, 1, 0.001), Rayleigh(2, 900, 2, 0.003)}),
      twoModes("structural damping", R"("type": "structural", "eta": 0.04)", {0.0, 0.0}, {0.04, 0.04}),
      twoModes("structural damping per mode", R"("type": "structural", "eta_per_mode": [0.02, 0.1])",
               {0.0, 0.0}, {0.02, 0.1}),
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
    for (std::size_t t = 0; t < r.frequencies.size(); ++t)
      for (std::size_t o = 0; o < r.outputs.size(); ++o) {
        const Complex expected = row.u(r.frequencies[t], o);
        EXPECT_NEAR(r.values[o][t].real(), expected.real(), 1e-12 * std::abs(expected)) << "output " << o << " at " << r.frequencies[t];
        EXPECT_NEAR(r.values[o][t].imag(), expected.imag(), 1e-12 * std::abs(expected)) << "output " << o << " at " << r.frequencies[t];
      }
  }
}

TEST_F(VokdynHarmonic, EachQuantityAndMotionOfABaseDrivenOscillatorFollowsItsClosedForm) {
  // m 2, k 180, 5 %, base acceleration 0.75: transmissibility (1 + i 2 zeta r) / (1 - r^2 + i 2 zeta r).
  const double a = 0.75, zeta = 0.05, omegaN = std::sqrt(90.0);
  auto absoluteAcc = [=](double omega) {
    const double r = omega / omegaN;
    return a * Complex(1.0, 2.0 * zeta * r) / Complex(1.0 - r * r, 2.0 * zeta * r);
  };
  auto relativeDisp = [=](double omega) {
    return -a / Complex(omegaN * omegaN - omega * omega, 2.0 * zeta * omegaN * omega);
  };
  const Complex i(0.0, 1.0);
  struct Row { const char* quantity; const char* motion; const char* label; std::function<Complex(double)> u; };
  const std::vector<Row> rows = {
      {"displacement", "absolute", "N4_UX", [=](double w) { return absoluteAcc(w) / (-w * w); }},
      {"velocity", "absolute", "N4_UX_vel", [=](double w) { return absoluteAcc(w) / (i * w); }},
      {"acceleration", "absolute", "N4_UX_acc", absoluteAcc},
      {"displacement", "relative", "N4_UX_rel", relativeDisp},
      {"velocity", "relative", "N4_UX_vel_rel", [=](double w) { return i * w * relativeDisp(w); }},
      {"acceleration", "relative", "N4_UX_acc_rel", [=](double w) { return -w * w * relativeDisp(w); }},
  };
  std::string outputs;
  for (const Row& row : rows)
    outputs += std::string(outputs.empty() ? "" : ", ") + R"({"node": 4, "component": 1, "quantity": ")" + row.quantity +
               R"(", "motion": ")" + row.motion + "\"}";
  const std::string text = Edited(Edited(Edited(kOneMode, "EXCITATION", R"("base_motion": {"directions": [{"direction": 1, "amplitude": 0.75}]})"),
                                         R"("shape": [[0.8, 0, 0, 0, 0, 0]])", R"("shape": [[1, 0, 0, 0, 0, 0]])"),
                                  R"({"node": 4, "component": 1}, {"node": 4, "component": 2})", outputs);
  ASSERT_FALSE(text.empty()) << "an edit does not apply";
  const Response r = RunHarmonic(LoadModelText(text, "model.json")).response;
  ASSERT_EQ(r.outputs.size(), rows.size());
  for (std::size_t o = 0; o < rows.size(); ++o) {
    SCOPED_TRACE(rows[o].label);
    EXPECT_EQ(OutputLabel(r.outputs[o]), rows[o].label);
    for (std::size_t t = 0; t < r.frequencies.size(); ++t) {
      const Complex expected = rows[o].u(2.0 * kPi * r.frequencies[t]);
      EXPECT_NEAR(std::abs(r.values[o][t] - expected), 0.0, 1e-12 * std::abs(expected)) << "at " << r.frequencies[t];
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
// use. The rows are where a formatter of its own goes wrong: signed zero,
// exact ties, a carry into a new digit, the switch to the exponent form,
// the ends of the range; then bit patterns over every exponent.
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

TEST_F(VokdynHarmonic, StructuralDampingPeaksAtOneOverEtaTimesTheStaticResponse) {
  // Static displacement 0.8 * 0.8 * 3 / 180; at resonance k (1 + i eta) - omega^2 m is i eta k.
  const double fn = std::sqrt(90.0) / (2.0 * kPi);
  for (double eta : {0.01, 0.05, 0.3}) {
    SCOPED_TRACE(eta);
    Model model = LoadModelText(Edited(Edited(kOneMode, "EXCITATION", R"("loads": [{"forces": [{"node": 4, "values": [3, 0, 0, 0, 0, 0]}]}])"),
                                       R"("damping": {"type": "modal", "percent": 5})", R"("damping": {"type": "structural", "eta": )" + std::to_string(eta) + "}"),
                                "model.json");
    model.sweep.list = {fn};
    const Response r = RunHarmonic(model).response;
    // Single precision moves the frequency by up to 6e-8: r^2 by 1.2e-7.
    EXPECT_NEAR(std::abs(r.values[0][0]) / (0.8 * 0.8 * 3.0 / 180.0), 1.0 / eta, 2e-7 / (eta * eta));
  }
}

TEST_F(VokdynHarmonic, StaticCorrectionRestoresTheStaticPartOfTheModesLeftOut) {
  // Six unit masses on unit springs: omega_j = 2 sin((2j - 1) pi / 26); modes 1, 2 kept, load 2.5 on top.
  const int N = 6;
  auto exact = [&](double iOmega2) {  // (K - omega^2 M) u = F by elimination of the tridiagonal system
    std::vector<double> diag(N), rhs(N, 0.0);
    rhs[N - 1] = 2.5;
    for (int n = 0; n < N; ++n) diag[static_cast<std::size_t>(n)] = (n + 1 < N ? 2.0 : 1.0) - iOmega2;
    for (std::size_t n = 1; n < static_cast<std::size_t>(N); ++n) {
      const double w = -1.0 / diag[n - 1];
      diag[n] -= w * -1.0;
      rhs[n] -= w * rhs[n - 1];
    }
    std::vector<double> u(N);
    u[N - 1] = rhs[N - 1] / diag[N - 1];
    for (std::size_t n = N - 1; n-- > 0;) u[n] = (rhs[n] + u[n + 1]) / diag[n];
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
  // At the loaded top the two modes miss more than 1 %; corrected, both outputs are within 1e-4.
  const std::size_t node[2] = {5, 2};
  EXPECT_GT(std::abs(truncated.values[0][0] - dynamic[5]), 1e-2 * std::abs(dynamic[5]));
  for (std::size_t o = 0; o < 2; ++o) {
    SCOPED_TRACE(o);
    EXPECT_LT(std::abs(corrected.values[o][0] - dynamic[node[o]]), 1e-4 * std::abs(dynamic[node[o]]));
  }
}

TEST_F(VokdynHarmonic, DefaultModelPeaksAtItsFirstClosedFormFrequency) {
  const ShearBuilding b;
  const double f1 = 2.0 * std::sqrt(b.storeyStiffness / b.storeyMass) * std::sin(kPi / (2 * (2 * b.storeys + 1))) / (2.0 * kPi);
  // With 2 % damping a displacement peaks at f1 sqrt(1 - 2 zeta^2); the other modes move it less.
  Model fine = DefaultModel();
  fine.sweep.isRange = false;
  for (int s = -200; s <= 200; ++s) fine.sweep.list.push_back(f1 * (1.0 + s * 1e-4));
  EXPECT_NEAR(PeakOf(RunHarmonic(fine).response, 0).frequency, f1 * std::sqrt(1.0 - 2.0 * 0.02 * 0.02), 1e-3 * f1);
}

TEST_F(VokdynHarmonic, DampingThatLooksLikeASlipOfUnitsIsWarnedAbout) {
  // zeta_i = (alpha m_i + beta k_i) / 100 / (2 sqrt(k_i m_i)), printed in percent to 3 digits.
  auto percent = [](double iZeta) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3g %%", 100.0 * iZeta);
    return std::string(text);
  };
  auto rayleighZeta = [](int i, double alpha, double beta) {
    const double m[2] = {1.5, 2.0}, k[2] = {60.0, 900.0};
    return (alpha * m[i] + beta * k[i]) / 100.0 / (2.0 * std::sqrt(k[i] * m[i]));
  };
  const std::string at = "model.json: damping: ";
  struct Row { const char* damping; std::vector<std::string> warnings; };
  const std::vector<Row> rows = {
      {R"({"type": "modal", "percent": 2})", {}},
      {R"({"type": "modal", "percent": 0})", {}},
      {R"({"type": "modal", "percent_per_mode": [0.03, 3]})",
       {at + "below 0.1 % of critical, a fraction typed as a percent? (3 % is \"percent\": 3): mode 1 (1.0065842 Hz) 0.03 %"}},
      {R"({"type": "modal", "percent": 60})",
       {at + "above 50 % of critical: mode 1 (1.0065842 Hz) 60 %, mode 2 (3.3761862 Hz) 60 %"}},
      {R"({"type": "rayleigh", "alpha": 0, "beta": 0})",
       {at + "below 0.01 % of critical: mode 1 (1.0065842 Hz) 0 %, mode 2 (3.3761862 Hz) 0 %"}},
      {R"({"type": "rayleigh", "alpha": 3000, "beta": 0.0001})",
       {at + "above 100 % of critical: mode 1 (1.0065842 Hz) " + percent(rayleighZeta(0, 3000, 0.0001))}},
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
  struct Row { const char* label; std::string sweep, damping; std::vector<std::string> warnings; };
  const std::vector<Row> rows = {
      {"a coarse list", R"("frequencies": [0.5, 1, 2, 3.3, 5])", R"("percent": 2)",
       {"mode 1 (1.0065842 Hz, 2 % of critical): 1 point in its half-power band " + band(1.0065842, 0.02) +
            "; the nearest point, 1 Hz, may read the peak " + low(1.0, 1.0065842, 0.02) + " % low" + hint,
        "mode 2 (3.3761862 Hz, 2 % of critical): 0 points in its half-power band " + band(3.3761862, 0.02) +
            "; the nearest point, 3.29999995 Hz, may read the peak " + low(static_cast<float>(3.3), 3.3761862, 0.02) + " % low" + hint}},
      {"clustered on the modes", R"("sweep": {"from": 0.5, "to": 5, "spacing": "modes", "points_per_mode": 3})", R"("percent": 2)", {}},
      {"damping of 20 % or more", R"("frequencies": [0.5, 1, 2, 3.3, 5])", R"("percent": 20)", {}},
      {"a mode outside the sweep, the other resolved", R"("frequencies": [2, 3.37, 3.376, 3.38])", R"("percent": 2)", {}},
      {"undamped", R"("frequencies": [0.5, 1, 2, 3.3762, 5])", R"("percent_per_mode": [2, 0])",
       {"mode 1 (1.0065842 Hz, 2 % of critical): 1 point in its half-power band " + band(1.0065842, 0.02) +
            "; the nearest point, 1 Hz, may read the peak " + low(1.0, 1.0065842, 0.02) + " % low" + hint,
        "mode 2 (3.3761862 Hz, 0 % of critical): 0 points in its half-power band 3.3761862 to 3.3761862 Hz; the nearest "
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
      {"different quantities", {{6, 1}, {3, 1, Quantity::Velocity}}, si, "magnitude",
       {"N6_UX displacement (m)", "N3_UX velocity (m/s)"}},
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

}  // namespace
