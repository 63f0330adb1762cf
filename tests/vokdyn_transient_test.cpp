// The transient response against closed forms (step, half-sine, base step), steady state against the
// harmonic run, history files, the "transient" section's refusals, and thread-count independence.
#include <cmath>
#include <complex>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "VOKDYNHarmonic.h"
#include "VOKDYNTestTowers.h"
#include "VOKDYNTransient.h"
#include "VOKTestSupport.h"

namespace {

using Complex = std::complex<double>;
using namespace vokdyn;
using vokdyn_test::Edited;

constexpr double kPi = 3.141592653589793;

// Node mass 2; mode m 2, k 180, shape 0.8 UX; force 3 UX (modal 2.4); enforced field 0.5 UX, modal -1.5.
const std::string kOneMode = R"({"format": "vokdyn-model/1",
  "nodes": [{"id": 4, "xyz": [1, 2, 3], "mass": [2, 2, 2, 0, 0, 0]}],
  "modal_base": {"modes": [{"frequency": 1.5098764, "generalized_mass": 2, "generalized_stiffness": 180,
                            "shape": [[0.8, 0, 0, 0, 0, 0]]}]},
  "damping": {"type": "modal", "percent": PERCENT},
  "loads": [{"name": "push", "forces": [{"node": 4, "values": [3, 0, 0, 0, 0, 0]}]}],
  "base_motion": {"directions": [{"direction": 1}]},
  "enforced": [{"name": "support", "static_displacement": [[0.5, 0, 0, 0, 0, 0]], "modal_force": [-1.5]}],
  "frequencies": [1.2],
  "outputs": [{"node": 4, "component": 1}],
  "transient": {"duration": DURATION, "time_step": STEP, RESPONSE "inputs": [INPUT]}})";

std::string Model1(const std::string& iPercent, const std::string& iDuration, const std::string& iStep,
                   const std::string& iResponse, const std::string& iInput) {
  const std::string text = Edited(Edited(kOneMode, "PERCENT", iPercent), "DURATION", iDuration);
  return Edited(Edited(Edited(text, "STEP", iStep), "RESPONSE", iResponse), "INPUT", iInput);
}

// "[[t0, v0], ...]" of iF at n + 1 points over [0, iEnd].
std::string Sampled(const std::function<double(double)>& iF, double iEnd, int n) {
  std::string text = "[";
  char buffer[64];
  for (int k = 0; k <= n; ++k) {
    const double t = iEnd * k / n;
    std::snprintf(buffer, sizeof buffer, "%s[%.17g, %.17g]", k ? ", " : "", t, iF(t));
    text += buffer;
  }
  return text + "]";
}

TransientResult RunText(const std::string& iText, int iThreads = 1) {
  Model model;
  TransientSection transient;
  LoadTransientModel(iText, "model.json", model, transient);
  return RunTransient(model, transient, iThreads);
}

TEST(VokdynTransient, OneModeFollowsItsClosedForms) {
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
  const std::string pulse = Sampled([=](double t) { return std::sin(W * t); }, td, 1000);
  struct Row {
    const char* label;
    std::string text;
    std::function<double(double)> u;
    double tolerance;  // relative to the peak
  };
  // Exact for loads linear within a step; the half-sine sampled every 2.5e-4 s is within 1.2e-6 of the sine.
  const std::vector<Row> rows = {
      {"step load, displacement", Model1("5", "3", "0.01", "", R"({"load": "push", "history": [[0, 1], [9, 1]]})"),
       [=](double t) { return phi * step(P, 0.05)(t).q; }, 1e-12},
      {"step load, velocity", Model1("5", "3", "0.01", "\"response\": \"velocity\",", R"({"load": "push", "history": [[0, 1], [9, 1]]})"),
       [=](double t) { return phi * step(P, 0.05)(t).v; }, 1e-12},
      {"step load, acceleration, absolute changes nothing",
       Model1("5", "3", "0.01", "\"response\": \"acceleration\", \"absolute\": true,", R"({"load": "push", "history": [[0, 1], [9, 1]]})"),
       [=](double t) { return phi * step(P, 0.05)(t).a; }, 1e-12},
      {"half-sine pulse, undamped", Model1("0", "1", "0.00025", "", R"({"load": "push", "history": )" + pulse + "}"),
       [=](double t) { return phi * halfSine(t).q; }, 1e-5},
      // Base acceleration step 0.5: modal force -phi m 0.5; absolute acceleration phi q'' + 0.5.
      {"base acceleration step, absolute acceleration",
       Model1("2", "2", "0.005", "\"response\": \"acceleration\", \"absolute\": true,", R"({"base_direction": 1, "history": [[0, 0.5], [5, 0.5]]})"),
       [=](double t) { return phi * step(-phi * 2.0 * 0.5, 0.02)(t).a + 0.5; }, 1e-12},
      {"base acceleration step, relative acceleration",
       Model1("2", "2", "0.005", "\"response\": \"acceleration\",", R"({"base_direction": 1, "history": [[0, 0.5], [5, 0.5]]})"),
       [=](double t) { return phi * step(-phi * 2.0 * 0.5, 0.02)(t).a; }, 1e-12},
      // Enforced acceleration step 2: modal force -1.5 x 2; absolute acceleration phi q'' + 0.5 x 2.
      {"enforced acceleration step, absolute acceleration",
       Model1("2", "2", "0.005", "\"response\": \"acceleration\", \"absolute\": true,", R"({"enforced": "support", "history": [[0, 2], [5, 2]]})"),
       [=](double t) { return phi * step(-1.5 * 2.0, 0.02)(t).a + 0.5 * 2.0; }, 1e-12},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    ASSERT_FALSE(row.text.empty());
    const TransientResult r = RunText(row.text);
    double peak = 0.0;
    for (double t : r.times) peak = std::max(peak, std::fabs(row.u(t)));
    ASSERT_GT(peak, 0.0);
    for (std::size_t t = 0; t < r.times.size(); ++t)
      ASSERT_NEAR(r.values[0][t], row.u(r.times[t]), row.tolerance * peak) << "at " << r.times[t] << " s";
  }
}

TEST(VokdynTransient, HistoryPointsBetweenOutputTimesAreIntegratedExactly) {
  // Corners between outputs 0.01 s apart give what outputs on every corner (1e-4 s) give.
  const std::string pulse = R"({"load": "push", "history": [[0, 0], [0.0123, 0], [0.0187, 1], [0.0311, 1], [0.0372, 0]]})";
  for (const char* response : {"", "\"response\": \"acceleration\","}) {
    SCOPED_TRACE(response);
    const TransientResult coarse = RunText(Model1("5", "0.5", "0.01", response, pulse));
    const TransientResult fine = RunText(Model1("5", "0.5", "0.0001", response, pulse));
    ASSERT_EQ(coarse.times.size(), 51u);
    ASSERT_EQ(fine.times.size(), 5001u);
    double peak = 0.0;
    for (double v : fine.values[0]) peak = std::max(peak, std::fabs(v));
    for (std::size_t t = 0; t < coarse.times.size(); ++t)
      EXPECT_NEAR(coarse.values[0][t], fine.values[0][100 * t], 1e-9 * peak) << coarse.times[t];
  }
}

TEST(VokdynTransient, ACosineLoadSettlesToTheHarmonicAmplitudeAndPhase) {
  // 5 % damping leaves 1e-8 of the transient after 40 s; 500 points a period keep the cosine within 2e-5.
  const double f = 1.2, end = 40.0;
  const std::string history = Sampled([=](double t) { return std::cos(2.0 * kPi * f * t); }, end, 24000);
  const std::string text = Model1("5", "40", "0.00166666666666666667", "", R"({"load": "push", "history": )" + history + "}");
  const TransientResult r = RunText(text);
  // The harmonic run of the load alone (the base motion of the model is not an input here).
  const std::string loadOnly =
      Edited(Edited(text, R"("base_motion": {"directions": [{"direction": 1}]},)", ""),
             R"("enforced": [{"name": "support", "static_displacement": [[0.5, 0, 0, 0, 0, 0]], "modal_force": [-1.5]}],)", "");
  ASSERT_FALSE(loadOnly.empty());
  const Complex U = RunHarmonic(LoadModelText(loadOnly, "model.json")).response.values[0][0];
  const double omega = 2.0 * kPi * static_cast<double>(1.2f);
  ASSERT_GT(r.times.size(), 600u);
  for (std::size_t t = r.times.size() - 600; t < r.times.size(); ++t)
    ASSERT_NEAR(r.values[0][t], (U * std::polar(1.0, omega * r.times[t])).real(), 1e-4 * std::abs(U)) << r.times[t];
}

TEST(VokdynTransient, AHistoryFileReadsAsItsInlinePoints) {
  const std::string text = Model1("5", "1", "0.01", "", R"({"load": "push", "file": "FILE"})");
  const std::string inline_ = Model1("5", "1", "0.01", "", R"({"load": "push", "history": [[0, 0], [0.2, 1], [0.5, -2], [2, 0]]})");
  const std::string expected = TransientCsv(RunText(inline_));
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

TEST(VokdynTransient, ATransientSectionIsRefusedWithWhereAndWhy) {
  const std::string step = R"({"load": "push", "history": [[0, 1], [9, 1]]})";
  struct Row { std::string text, message; };
  const std::vector<Row> rows = {
      {Model1("5", "3", "4", "", step), "model.json: transient.time_step: the step 4 s exceeds the duration 3 s"},
      {Model1("5", "3e6", "1e-3", "", step), "model.json: transient.time_step: a duration of 3000000 s in steps of 0.001 s makes more than 1e8 steps"},
      {Model1("5", "3", "0.1", "\"absolute\": true,", R"({"base_direction": 1, "history": [[0, 1], [9, 1]]})"),
       "model.json: transient.absolute: an absolute displacement or velocity needs the support's own displacement"},
      {Model1("5", "3", "0.1", "", R"({"load": "push", "history": [[0, 1], [0, 1]]})"),
       "model.json: transient.inputs[0].history: point 2: time 0 does not exceed 0"},
      {Model1("5", "3", "0.1", "", R"({"load": "push", "history": [[-1, 1], [2, 1]]})"),
       "model.json: transient.inputs[0].history: point 1: expected a time >= 0 and a finite value, got -1, 1"},
      {Model1("5", "3", "0.1", "", R"({"load": "push", "history": [[0, 1], [2, 1]], "file": "a.csv"})"),
       "model.json: transient.inputs[0]: expected exactly one of \"history\" (inline [time, value] points) and \"file\""},
      {Model1("5", "3", "0.1", "", R"({"load": "pull", "history": [[0, 1], [2, 1]]})"),
       "model.json: transient.inputs[0].load: the model has no load named \"pull\" (named: \"push\")"},
      {Edited(Model1("5", "3", "0.1", "", step), R"("type": "modal", "percent": 5)", R"("type": "structural", "eta": 0.04)"),
       "model.json: damping: structural damping and damping tables hold in the frequency domain only"},
      {Model1("100", "3", "0.1", "", step),
       "model.json: mode 1 is damped at 100 % of critical: the transient recurrence needs less than critical damping"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.message);
    const std::string got = vokdyn_test::RefusalOf([&] { RunText(row.text); });
    EXPECT_EQ(got.substr(0, row.message.size()), row.message) << got;
  }
}

TEST(VokdynTransient, OutputIsTheSameForAnyThreadCount) {
  // A tower of 12 modes, every node's UX; a load on the top node.
  Model model = vokdyn_test::SmallTower(12, 12, 10, 4);
  TransientSection transient;
  transient.present = true;
  transient.step = 0.01;
  transient.steps = 5000;
  transient.quantity = Quantity::Acceleration;
  ASSERT_FALSE(model.loads.empty());
  TransientInput input;
  input.excitation.kind = InputKind::Load;
  input.excitation.index = 0;
  input.excitation.name = "load";
  input.history = {{0.0, 0.0}, {0.3, 1.0}, {0.6, -1.0}, {1.0, 0.0}};
  transient.inputs.push_back(input);
  const std::string one = TransientCsv(RunTransient(model, transient, 1));
  for (int threads : {2, 5}) EXPECT_EQ(TransientCsv(RunTransient(model, transient, threads)), one) << threads;
}

}  // namespace
