#include "VOKDYNHarmonic.h"

#include <algorithm>
#include <complex>
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

}  // namespace

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
      phi[o][i] = iModel.base.modes[i].shape[node][static_cast<std::size_t>(out.component - 1)];
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
