// The harmonic run of the command-line tool against closed forms: one mode
// under a load, the same mode under base acceleration (absolute motion),
// each kind of damping through the damping tools, an enforced-displacement
// set, and the default model's first resonance. Every failure of a platform
// operation ends the run with the operation named, leaking nothing.
//
// Tolerances: 1e-12 relative. The run and the expectations below evaluate
// the same formulas in different orders (complex division, the sum over
// modes, the excitation's product of amplitude, modulation and phase), which
// differ by a few units in the last place, far below 1e-12.
#include <cmath>
#include <complex>
#include <functional>

#include <nlohmann/json.hpp>

#include "VOKDYNHarmonic.h"
#include "VOKDYNModelLoader.h"
#include "VOKDYNModelText.h"
#include "VOKTestSupport.h"

namespace {

using Json = nlohmann::ordered_json;
using Complex = std::complex<double>;
using namespace vokdyn;

constexpr double kPi = 3.141592653589793;

// k - omega^2 m + i omega c at frequency f (hertz).
Complex Dynamic(double k, double m, double c, double f) {
  double omega = f * 2.0 * kPi;
  return Complex(k - omega * omega * m, omega * c);
}

// The excitation's turn of a phase given in degrees: the phase is stored in
// single precision and turned with the single-precision cosine and sine.
Complex Turn(double iDegrees) {
  float phase = static_cast<float>(iDegrees * kPi / 180.0);
  return Complex(static_cast<double>(std::cos(phase)), static_cast<double>(std::sin(phase)));
}

double ModalDampingTerm(double m, double k, double percent) { return std::sqrt(m * k) * (percent * 2.0) / 100.0; }
double RayleighDampingTerm(double m, double k, double alpha, double beta) { return (m * alpha + k * beta) / 100.0; }

class VokdynHarmonic : public VOKTest {
 protected:
  static void ExpectClose(const Complex& iGot, const Complex& iExpected, const std::string& iWhat) {
    double scale = std::abs(iExpected);
    EXPECT_NEAR(iGot.real(), iExpected.real(), 1e-12 * scale) << iWhat;
    EXPECT_NEAR(iGot.imag(), iExpected.imag(), 1e-12 * scale) << iWhat;
  }
};

// One node of mass 2 along each axis, one mode of generalised mass 2 and
// stiffness 180, 5 % of critical damping; frequencies around the resonance
// (about 1.51 Hz), each exact in single precision.
Json OneModeModel() {
  return Json::parse(R"({
    "format": "vokdyn-model/1",
    "nodes": [{"id": 4, "xyz": [1, 2, 3], "mass": [2, 2, 2, 0, 0, 0]}],
    "modal_base": {"modes": [{"frequency": 1.5, "generalized_mass": 2, "generalized_stiffness": 180,
                              "shape": [[0.8, 0, 0, 0, 0, 0]]}]},
    "damping": {"type": "modal", "percent": 5},
    "modulations": {"table": {"points": [[0, 1], [10, 2]]}},
    "frequencies": [0.25, 1, 1.5, 1.5098, 2.75, 9.5],
    "outputs": [{"node": 4, "component": 1}, {"node": 4, "component": 2}]
  })");
}

TEST_F(VokdynHarmonic, OneModeUnderALoadFollowsTheClosedForm) {
  struct Row {
    const char* label;
    double amplitude, phaseDeg;
    bool table;  // modulation 1 + f/10, else none (constant 1)
  };
  const Row rows[] = {
      {"amplitude only", 2.5, 0.0, false},
      {"with a phase", 2.5, 30.0, false},
      {"with a modulation table and a phase", 0.5, -120.0, true},
  };
  const double m = 2.0, k = 180.0, F = 3.0, phi = 0.8;
  const double c = ModalDampingTerm(m, k, 5.0);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    Json j = OneModeModel();
    j["loads"] = Json::parse(R"([{"forces": [{"node": 4, "values": [3, 0, 0, 0, 0, 0]}]}])");
    j["loads"][0]["amplitude"] = row.amplitude;
    j["loads"][0]["phase_deg"] = row.phaseDeg;
    if (row.table) j["loads"][0]["modulation"] = "table";
    RunResult run = RunHarmonic(LoadModelText(j.dump(), "one-mode.json"));
    ASSERT_EQ(run.damping.values.size(), 1u);
    EXPECT_EQ(run.damping.values[0], c);
    const Response& r = run.response;
    ASSERT_EQ(r.frequencies.size(), 6u);
    for (std::size_t t = 0; t < r.frequencies.size(); ++t) {
      double f = r.frequencies[t];
      double modulation = row.table ? 1.0 + f / 10.0 : 1.0;
      // u = phi q, q = phi^T F / (k - omega^2 m + i omega c)
      Complex force = row.amplitude * modulation * (phi * F) * Turn(row.phaseDeg);
      ExpectClose(r.values[0][t], phi * (force / Dynamic(k, m, c, f)), "UX at " + std::to_string(f));
      EXPECT_EQ(r.values[1][t], Complex(0.0, 0.0)) << "UY is not excited";
    }
  }
}

TEST_F(VokdynHarmonic, OneModeUnderBaseAccelerationMovesByTheTransmissibility) {
  // phi = 1 on a node of mass m: the participation phi^T M r is m, and the
  // absolute motion is (k + i omega c)/(k - omega^2 m + i omega c) times the
  // base displacement -a/omega^2.
  const double m = 2.0, k = 180.0, a = 0.75;
  const double c = ModalDampingTerm(m, k, 5.0);
  struct Row {
    const char* label;
    bool table;
    bool participationGiven;
  };
  const Row rows[] = {
      {"participation from the nodal masses", false, false},
      {"participation given, modulation table", true, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    Json j = OneModeModel();
    j["modal_base"]["modes"][0]["shape"][0][0] = 1.0;
    if (row.participationGiven) {
      j["nodes"][0].erase("mass");
      j["modal_base"]["modes"][0]["participation"] = Json::parse("[2, 0, 0, 0, 0, 0]");
    }
    j["base_motion"] = Json::parse(R"({"directions": [{"direction": 1, "amplitude": 0.75}]})");
    if (row.table) j["base_motion"]["directions"][0]["modulation"] = "table";
    RunResult run = RunHarmonic(LoadModelText(j.dump(), "base.json"));
    const Response& r = run.response;
    for (std::size_t t = 0; t < r.frequencies.size(); ++t) {
      double f = r.frequencies[t];
      double omega = f * 2.0 * kPi;
      double modulation = row.table ? 1.0 + f / 10.0 : 1.0;
      Complex base(-a * modulation / (omega * omega), 0.0);
      Complex transmissibility = Complex(k, omega * c) / Dynamic(k, m, c, f);
      ExpectClose(r.values[0][t], transmissibility * base, "UX at " + std::to_string(f));
      EXPECT_EQ(r.values[1][t], Complex(0.0, 0.0)) << "UY is not excited";
    }
  }
}

TEST_F(VokdynHarmonic, EachKindOfDampingComesFromTheDampingTools) {
  // Two modes on two nodes, a load on node 2; u = sum_i phi_i q_i.
  const double m[2] = {1.5, 2.0}, k[2] = {60.0, 900.0};
  const double phi[2][2] = {{0.5, 1.0}, {1.0, -0.5}};  // [mode][node]
  struct Row {
    const char* label;
    const char* damping;
    std::function<double(int)> term;
  };
  const std::vector<Row> rows = {
      {"modal, global", R"({"type": "modal", "percent": 2})",
       [&](int i) { return ModalDampingTerm(m[i], k[i], 2.0); }},
      {"modal, per mode", R"({"type": "modal", "percent_per_mode": [1, 4]})",
       [&](int i) { return ModalDampingTerm(m[i], k[i], i == 0 ? 1.0 : 4.0); }},
      {"Rayleigh, global", R"({"type": "rayleigh", "alpha": 3, "beta": 0.002})",
       [&](int i) { return RayleighDampingTerm(m[i], k[i], 3.0, 0.002); }},
      {"Rayleigh, per mode", R"({"type": "rayleigh", "alpha_per_mode": [1, 2], "beta_per_mode": [0.001, 0.003]})",
       [&](int i) { return RayleighDampingTerm(m[i], k[i], i == 0 ? 1.0 : 2.0, i == 0 ? 0.001 : 0.003); }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    Json j = Json::parse(R"({
      "format": "vokdyn-model/1",
      "nodes": [{"id": 1, "xyz": [0, 0, 1]}, {"id": 2, "xyz": [0, 0, 2]}],
      "modal_base": {"modes": [
        {"frequency": 1, "generalized_mass": 1.5, "generalized_stiffness": 60,
         "shape": [[0.5, 0, 0, 0, 0, 0], [1, 0, 0, 0, 0, 0]]},
        {"frequency": 3, "generalized_mass": 2, "generalized_stiffness": 900,
         "shape": [[1, 0, 0, 0, 0, 0], [-0.5, 0, 0, 0, 0, 0]]}]},
      "loads": [{"amplitude": 4, "forces": [{"node": 2, "values": [1.25, 0, 0, 0, 0, 0]}]}],
      "sweep": {"from": 0.5, "to": 5, "steps": 7, "spacing": "log"},
      "outputs": [{"node": 1, "component": 1}, {"node": 2, "component": 1}]
    })");
    j["damping"] = Json::parse(row.damping);
    RunResult run = RunHarmonic(LoadModelText(j.dump(), "two.json"));
    ASSERT_EQ(run.damping.values.size(), 2u);
    EXPECT_EQ(run.damping.validity, "valid");
    for (int i = 0; i < 2; ++i) EXPECT_EQ(run.damping.values[static_cast<std::size_t>(i)], row.term(i)) << i;
    const Response& r = run.response;
    for (std::size_t t = 0; t < r.frequencies.size(); ++t) {
      double f = r.frequencies[t];
      for (int node = 0; node < 2; ++node) {
        Complex u(0.0, 0.0);
        for (int i = 0; i < 2; ++i) {
          Complex force(4.0 * phi[i][1] * 1.25, 0.0);
          u += phi[i][node] * (force / Dynamic(k[i], m[i], row.term(i), f));
        }
        ExpectClose(r.values[static_cast<std::size_t>(node)][t], u,
                    "node " + std::to_string(node + 1) + " at " + std::to_string(f));
      }
    }
  }
}

TEST_F(VokdynHarmonic, EnforcedDisplacementAddsItsStaticFieldToTheModalResponse) {
  // One mode on two nodes (UZ), a unit field D = (0.5, 1) in UZ, enforced
  // acceleration a: q = a f_D / (k - omega^2 m + i omega c) with the modal
  // force f_D = -phi^T M D, and u = phi q + D (-a / omega^2).
  const double m = 1.25, k = 300.0, a = 2.0, alpha = 1.0, beta = 0.01;
  const double phi[2] = {1.0, 0.4}, D[2] = {0.5, 1.0}, mass[2] = {3.0, 1.5};
  const double c = RayleighDampingTerm(m, k, alpha, beta);
  struct Row {
    const char* label;
    bool forceGiven;
    double modalForce;
    bool withLoads;  // two loads beside the enforced set: one load excitation holds them all
  };
  const Row rows[] = {
      {"modal force from the nodal masses", false, -(phi[0] * mass[0] * D[0] + phi[1] * mass[1] * D[1]), false},
      {"modal force given", true, -5.0, false},
      {"with loads beside it", true, -5.0, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    Json j = Json::parse(R"({
      "format": "vokdyn-model/1",
      "nodes": [{"id": 1, "xyz": [1, 0, 0], "mass": [3, 3, 3, 0, 0, 0]},
                {"id": 2, "xyz": [2, 0, 0], "mass": [1.5, 1.5, 1.5, 0, 0, 0]}],
      "modal_base": {"modes": [{"frequency": 2.5, "generalized_mass": 1.25, "generalized_stiffness": 300,
                                "shape": [[0, 0, 1, 0, 0, 0], [0, 0, 0.4, 0, 0, 0]]}]},
      "damping": {"type": "rayleigh", "alpha": 1, "beta": 0.01},
      "enforced": [{"name": "support", "amplitude": 2,
                    "static_displacement": [[0, 0, 0.5, 0, 0, 0], [0, 0, 1, 0, 0, 0]]}],
      "frequencies": [0.5, 2.4649, 2.5, 6],
      "outputs": [{"node": 1, "component": 3}, {"node": 2, "component": 3}, {"node": 2, "component": 1}]
    })");
    if (row.forceGiven) {
      j["nodes"][1].erase("mass");
      j["enforced"][0]["modal_force"] = Json::parse("[-5]");
    }
    // Loads of 3 (30 degrees) at node 1 and 0.5 at node 2 along z: forces
    // phi^T F of 3 and 0.5 x 0.4 on the mode.
    Complex loadForce(0.0, 0.0);
    if (row.withLoads) {
      j["loads"] = Json::parse(R"([{"name": "push", "amplitude": 3, "phase_deg": 30,
                                    "forces": [{"node": 1, "values": [0, 0, 1, 0, 0, 0]}]},
                                   {"name": "pull", "amplitude": 0.5,
                                    "forces": [{"node": 2, "values": [0, 0, 1, 0, 0, 0]}]}])");
      loadForce = 3.0 * Turn(30.0) * phi[0] + 0.5 * Turn(0.0) * phi[1];
    }
    RunResult run = RunHarmonic(LoadModelText(j.dump(), "enforced.json"));
    const Response& r = run.response;
    for (std::size_t t = 0; t < r.frequencies.size(); ++t) {
      double f = r.frequencies[t];
      double omega = f * 2.0 * kPi;
      Complex q = (a * row.modalForce + loadForce) / Dynamic(k, m, c, f);
      for (int node = 0; node < 2; ++node)
        ExpectClose(r.values[static_cast<std::size_t>(node)][t], phi[node] * q + D[node] * (-a / (omega * omega)),
                    "node " + std::to_string(node + 1) + " at " + std::to_string(f));
      EXPECT_EQ(r.values[2][t], Complex(0.0, 0.0)) << "UX of node 2 is not excited";
    }
  }
}

TEST_F(VokdynHarmonic, DefaultModelPeaksAtItsFirstClosedFormFrequency) {
  const ShearBuilding b;
  const int n = b.storeys;
  double f1 = 2.0 * std::sqrt(b.storeyStiffness / b.storeyMass) * std::sin(kPi / (2 * (2 * n + 1))) / (2.0 * kPi);

  // The default sweep: the first local maximum of the top storey's motion
  // is one of the two sweep points around f1.
  RunResult run = RunHarmonic(DefaultModel());
  const Response& r = run.response;
  std::size_t first = 0;
  for (std::size_t t = 1; t + 1 < r.frequencies.size(); ++t)
    if (std::abs(r.values[0][t]) > std::abs(r.values[0][t - 1]) &&
        std::abs(r.values[0][t]) >= std::abs(r.values[0][t + 1])) {
      first = t;
      break;
    }
  ASSERT_GT(first, 0u);
  EXPECT_TRUE(r.frequencies[first - 1] <= f1 && f1 <= r.frequencies[first + 1])
      << r.frequencies[first] << " against " << f1;

  // Finely around f1: with 2 % damping the peak of a displacement lies at
  // f1 sqrt(1 - 2 zeta^2), 0.04 % below f1; the other modes move it less.
  Model fine = DefaultModel();
  fine.sweep.isRange = false;
  fine.sweep.list.clear();
  for (int s = -200; s <= 200; ++s) fine.sweep.list.push_back(f1 * (1.0 + s * 1e-4));
  const Response& near = RunHarmonic(fine).response;
  Peak peak = PeakOf(near, 0);
  EXPECT_NEAR(peak.frequency, f1 * std::sqrt(1.0 - 2.0 * 0.02 * 0.02), 1e-3 * f1);
}

TEST_F(VokdynHarmonic, AFailedPlatformOperationEndsTheRunNamingItAndLeaksNothing) {
  Json j = OneModeModel();
  j["frequencies"] = Json::parse("[1, 2]");
  j["loads"] = Json::parse(R"([{"modulation": "table", "forces": [{"node": 4, "values": [1, 0, 0, 0, 0, 0]}]}])");
  j["base_motion"] = Json::parse(R"({"directions": [{"direction": 1, "modulation": "table"}]})");
  Model model = LoadModelText(j.dump(), "faults.json");

  // Faults are armed once the model is built, when the library starts.
  auto armAt = [](long k) {
    return [k](std::size_t iDone, std::size_t) {
      if (iDone == 0) VOKHost::FaultArm(k);
    };
  };
  RunHarmonic(model, armAt(0));
  const long operations = VOKHost::FaultCount();
  VOKHost::FaultDisarm();
  ASSERT_GT(operations, 10);

  int computationErrors = 0;
  for (long k = 1; k <= operations; ++k) {
    SCOPED_TRACE("fault at host operation " + std::to_string(k));
    try {
      RunHarmonic(model, armAt(k));
    } catch (const ComputationError& e) {
      ++computationErrors;
      std::string what = e.what();
      EXPECT_EQ(what.rfind(e.Operation() + " failed", 0), 0u) << what;
      EXPECT_NE(what.find("0x"), std::string::npos) << what;
      // A failure, or a success that gave no value per mode.
      EXPECT_TRUE(e.Result() < 0 || what.find("one value per mode") != std::string::npos) << what;
    } catch (const ModelError&) {
      // A failure that the damping tools report as an unusable definition.
    }
    VOKHost::FaultDisarm();
  }
  EXPECT_GT(computationErrors, 0);
}

TEST_F(VokdynHarmonic, ResultCodesArePrintedAsTheirBitPattern) {
  EXPECT_NE(HexResult(static_cast<long>(static_cast<int>(0x80004005u))).find("0x80004005"), std::string::npos);
  EXPECT_NE(HexResult(static_cast<long>(static_cast<int>(0x8000FFFFu))).find("0x8000FFFF"), std::string::npos);
  ComputationError e("VOKDYNExcitationTools::GetExcitValues", static_cast<long>(static_cast<int>(0x80004005u)),
                     " at 2 Hz");
  EXPECT_EQ(std::string(e.what()).rfind("VOKDYNExcitationTools::GetExcitValues failed at 2 Hz: result ", 0), 0u)
      << e.what();
}

}  // namespace
