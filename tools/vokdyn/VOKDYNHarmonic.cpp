#include "VOKDYNHarmonic.h"

#include <algorithm>
#include <complex>
#include <cmath>
#include <cstdio>

#include "VOKDYNAbsoluteMotion.h"
#include "VOKDYNExcitationTools.h"

namespace vokdyn {

namespace {

// What every batch reads: written before the workers start, then only read.
struct SweepInput {
  const Model& model;
  const std::vector<float>& frequencies;
  const std::vector<double>& damping;           // c_i
  const std::vector<double>& structural;        // eta_i, empty for none
  const std::vector<std::vector<double>>& phi;  // phi_i at each output
};

// A worker's own excitation tools (the library's objects are used by one
// thread at a time) and work arrays.
struct SweepWorker {
  Owned<VOKDYNExcitationTools> excitation;
  std::vector<double> abscissae;
  std::vector<VOKMathComplex> forces;
  std::vector<std::complex<double>> q;
};

// One batch: the batched excitation, then per frequency, in the order of a
// single-frequency sweep, q_i = F_i / (k_i - omega^2 m_i + i omega c_i) and
// u = sum_i phi_i q_i in mode order, written to that frequency's own place.
std::size_t SweepBatch(const SweepInput& iIn, SweepWorker& ioWorker, std::size_t iBatch, Response& ioResponse) {
  const std::size_t first = iBatch * kSweepBatch;
  const std::size_t count = std::min(kSweepBatch, iIn.frequencies.size() - first);
  std::vector<double>& abscissae = ioWorker.abscissae;
  for (std::size_t k = 0; k < count; ++k) abscissae[k] = iIn.frequencies[first + k];
  long hr = ioWorker.excitation->GetExcitValues(static_cast<int>(count), abscissae.data(), ioWorker.forces.data());
  if (hr < 0) {
    char context[96];
    if (count == 1)
      std::snprintf(context, sizeof context, " at %.9g Hz", abscissae[0]);
    else
      std::snprintf(context, sizeof context, " at %.9g to %.9g Hz", abscissae[0], abscissae[count - 1]);
    throw ComputationError("VOKDYNExcitationTools::GetExcitValues", hr, context);
  }
  const std::size_t n = iIn.model.base.modes.size();
  for (std::size_t k = 0; k < count; ++k) {
    ModalResponses(iIn.model.base.modes, iIn.damping, abscissae[k], ioWorker.forces.data() + k * n, ioWorker.q.data(),
                   iIn.structural);
    for (std::size_t o = 0; o < iIn.phi.size(); ++o) {
      const std::vector<double>& phi = iIn.phi[o];
      std::complex<double> u(0.0, 0.0);
      for (std::size_t i = 0; i < n; ++i) u += phi[i] * ioWorker.q[i];
      ioResponse.values[o][first + k] = u;
    }
  }
  return count;
}

// a(f) = amplitude x modulation(f) x (cos p + i sin p) of a load or an
// enforced set, in double precision.
template <class Item>
std::complex<double> Factor(const Model& iModel, const Item& iItem, double iF) {
  const double modulation = iItem.modulation >= 0 ? TablePercent(iModel.modulations[static_cast<std::size_t>(iItem.modulation)].points, iF) : 1.0;
  const double phase = iItem.phaseDeg * (3.141592653589793 / 180.0);
  return iItem.amplitude * modulation * std::complex<double>(std::cos(phase), std::sin(phase));
}

// The modal force per unit amplitude of each mode: phi_i^T F of a load,
// the given or the mass-computed -phi_i^T M D of an enforced set.
std::vector<double> UnitModalForces(const Model& iModel, const Load& iLoad) {
  std::vector<double> forces;
  for (std::size_t i = 0; i < iModel.base.modes.size(); ++i) {
    double sum = 0.0;
    for (const NodalForce& force : iLoad.forces)
      for (std::size_t c = 0; c < 6; ++c)
        sum += iModel.base.shapes.Row(i, static_cast<std::size_t>(iModel.NodeIndex(force.node)))[c] * force.values[c];
    forces.push_back(sum);
  }
  return forces;
}

std::vector<double> UnitModalForces(const Model& iModel, const Enforced& iSet) {
  if (iSet.hasModalForce) return iSet.modalForce;
  std::vector<double> forces;
  for (std::size_t i = 0; i < iModel.base.modes.size(); ++i) {
    double sum = 0.0;
    for (std::size_t n = 0; n < iModel.nodes.size(); ++n)
      for (std::size_t c = 0; c < 6; ++c)
        sum -= iModel.base.shapes.Row(i, n)[c] * iModel.nodes[n].mass[c] * iSet.staticDisplacement[n][c];
    forces.push_back(sum);
  }
  return forces;
}

// Adds a(f) (s_o - sum_i phi_i(o) f_i / k_i) of one load or enforced set to
// every output's modal sum.
template <class Item>
void AddStaticCorrectionOf(const Model& iModel, const Item& iItem, const std::vector<std::vector<double>>& iPhi,
                           Response& ioResponse) {
  if (iItem.staticResponse.empty()) return;
  const std::vector<double> forces = UnitModalForces(iModel, iItem);
  std::vector<double> residual(iItem.staticResponse);
  for (std::size_t o = 0; o < residual.size(); ++o)
    for (std::size_t i = 0; i < forces.size(); ++i)
      residual[o] -= iPhi[o][i] * forces[i] / iModel.base.modes[i].generalizedStiffness;
  for (std::size_t t = 0; t < ioResponse.frequencies.size(); ++t) {
    const std::complex<double> a = Factor(iModel, iItem, ioResponse.frequencies[t]);
    for (std::size_t o = 0; o < residual.size(); ++o) ioResponse.values[o][t] += a * residual[o];
  }
}

}  // namespace

void AddStaticCorrection(const Model& iModel, const std::vector<std::vector<double>>& iPhi, Response& ioResponse) {
  for (const Load& load : iModel.loads) AddStaticCorrectionOf(iModel, load, iPhi, ioResponse);
  for (const Enforced& set : iModel.enforced) AddStaticCorrectionOf(iModel, set, iPhi, ioResponse);
}

void ModalResponses(const std::vector<Mode>& iModes, const std::vector<double>& iDamping, double iF,
                    const VOKMathComplex* iForces, std::complex<double>* oQ, const std::vector<double>& iStructural) {
  const double omega = iF * kTwoPi;
  const double omega2 = omega * omega;
  for (std::size_t i = 0; i < iModes.size(); ++i) {
    const Mode& mode = iModes[i];
    const double loss = iStructural.empty() ? omega * iDamping[i]
                                            : omega * iDamping[i] + iStructural[i] * mode.generalizedStiffness;
    std::complex<double> dynamic(mode.generalizedStiffness - omega2 * mode.generalizedMass, loss);
    oQ[i] = std::complex<double>(iForces[i].re, iForces[i].im) / dynamic;
  }
}

void ToQuantity(Quantity iQuantity, const std::vector<float>& iFrequencies, std::vector<std::complex<double>>& ioValues) {
  if (iQuantity == Quantity::Displacement) return;
  for (std::size_t t = 0; t < ioValues.size() && t < iFrequencies.size(); ++t) {
    const double omega = static_cast<double>(iFrequencies[t]) * kTwoPi;
    const std::complex<double> u = ioValues[t];
    if (iQuantity == Quantity::Velocity)
      ioValues[t] = std::complex<double>(-omega * u.imag(), omega * u.real());
    else
      ioValues[t] = -(omega * omega) * u;
  }
}

RunResult RunHarmonic(const Model& iModel, const Progress& iProgress, int iThreads) {
  RunResult run;
  const std::vector<float> frequencies = SweepFrequencies(iModel.sweep);
  const std::size_t count = frequencies.size();
  StandIn standIn = BuildStandIn(iModel);
  // The model is built; nothing of the library has run yet.
  if (iProgress) iProgress(0, count);
  run.damping = QueryDamping(iModel, standIn);

  const std::size_t n = iModel.base.modes.size();
  Response& response = run.response;
  response.frequencies = frequencies;
  response.outputs = iModel.outputs;
  response.values.assign(iModel.outputs.size(), std::vector<std::complex<double>>(count));

  // phi_i at each output's degree of freedom, mode by mode.
  std::vector<std::vector<double>> phi(iModel.outputs.size(), std::vector<double>(n));
  for (std::size_t o = 0; o < iModel.outputs.size(); ++o) {
    const Output& out = iModel.outputs[o];
    const std::size_t node = static_cast<std::size_t>(iModel.NodeIndex(out.node));
    for (std::size_t i = 0; i < n; ++i)
      phi[o][i] = iModel.base.shapes.Row(i, node)[static_cast<std::size_t>(out.component - 1)];
  }

  // Every worker's objects are made and initialised here, on the calling
  // thread and in worker order, before any worker starts, and released here
  // after all of them are joined.
  const std::size_t batches = (count + kSweepBatch - 1) / kSweepBatch;
  std::vector<SweepWorker> workers(WorkerCount(batches, iThreads));
  ExcitationType firstType = UndefinedExcitationType;
  for (std::size_t w = 0; w < workers.size(); ++w) {
    SweepWorker& worker = workers[w];
    worker.excitation = Owned<VOKDYNExcitationTools>(new VOKDYNExcitationTools());
    ExcitationType type = UndefinedExcitationType;
    Check(worker.excitation->Initialize(standIn.excitations, standIn.Tools(), type, DYNDefaultDomain),
          "VOKDYNExcitationTools::Initialize");
    if (w == 0) firstType = type;
    worker.abscissae.resize(kSweepBatch);
    // Never empty: the batched evaluation refuses a null array.
    worker.forces.resize(std::max<std::size_t>(1, kSweepBatch * n));
    worker.q.resize(n);
  }
  const SweepInput input{iModel, frequencies, run.damping.values, run.damping.structural, phi};
  RunBatches(
      batches, iThreads,
      [&](std::size_t iWorker, std::size_t iBatch) { return SweepBatch(input, workers[iWorker], iBatch, response); },
      count, iProgress);

  AddStaticCorrection(iModel, phi, response);
  // Relative outputs keep the modal part: the support motion and the
  // enforced displacements are added to the absolute ones only.
  std::vector<std::vector<std::complex<double>>> modal(iModel.outputs.size());
  for (std::size_t o = 0; o < iModel.outputs.size(); ++o)
    if (iModel.outputs[o].motion == Motion::Relative) modal[o] = response.values[o];
  AddAbsoluteMotion(iModel, standIn, firstType, response);
  for (std::size_t o = 0; o < iModel.outputs.size(); ++o) {
    if (iModel.outputs[o].motion == Motion::Relative) response.values[o].swap(modal[o]);
    ToQuantity(iModel.outputs[o].quantity, frequencies, response.values[o]);
  }
  return run;
}

}  // namespace vokdyn
