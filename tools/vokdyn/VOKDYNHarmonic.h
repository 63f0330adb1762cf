#ifndef VOKDYNHarmonic_h
#define VOKDYNHarmonic_h
// The harmonic run: the model built in the stand-in platform, then for each
// sweep frequency the excitation, the damping and the modal response from
// the library's tools, summed into the displacement of each output (with
// the support motion and enforced displacements for absolute motion), then
// turned into the velocity or acceleration an output asks for.
#include <complex>
#include <cstddef>
#include <string>
#include <vector>

#include "VOKDYNModel.h"
#include "VOKDYNOutput.h"
#include "VOKDYNPlatformModel.h"
#include "VOKDYNSweep.h"
#include "VOKMath.h"

namespace vokdyn {

struct RunResult {
  DampingInfo damping;
  Response response;
};

/// Frequencies per batched evaluation of the excitation: the same batches
/// whatever the number of threads.
constexpr std::size_t kSweepBatch = 32;

/// q_i = F_i / (k_i - omega^2 m_i + i omega c_i) of every mode at iF hertz
/// (iForces: F_i; iDamping: c_i): the one place the sweep and the response
/// fields form it, so that they agree to the last bit.
/// With iStructural (eta_i per mode, empty for none) the imaginary part is
/// omega c_i + eta_i k_i.
void ModalResponses(const std::vector<Mode>& iModes, const std::vector<double>& iDamping, double iF,
                    const VOKMathComplex* iForces, std::complex<double>* oQ,
                    const std::vector<double>& iStructural = std::vector<double>());

/// The displacement values at iFrequencies (hertz) turned into iQuantity in
/// place: i omega u for a velocity, -omega^2 u for an acceleration, with
/// omega = 2 pi f of the single-precision frequency.
void ToQuantity(Quantity iQuantity, const std::vector<float>& iFrequencies, std::vector<std::complex<double>>& ioValues);

/// The static (modal-acceleration) correction of the modes left out: for
/// every load and enforced set with a static response s (K^-1 F at each
/// output), a(f) (s_o - sum_i phi_i(o) f_i / k_i) added to each output's
/// modal sum, with f_i its modal force per unit amplitude (phi_i^T F, or the
/// enforced set's -phi_i^T M D) and a(f) its amplitude, modulation and phase
/// evaluated in double precision. iPhi: phi_i at each output.
void AddStaticCorrection(const Model& iModel, const std::vector<std::vector<double>>& iPhi, Response& ioResponse);

/// Runs the sweep of iModel on iThreads worker threads (see RunBatches); the
/// result does not depend on the number of threads, to the last bit.
/// iProgress counts frequencies: called with 0 once the model is built in the
/// platform, before the first library operation, then as RunBatches says.
/// Throws ModelError (a model the tools refuse) or ComputationError; a
/// failure in a worker is the failure of lowest frequency, as one thread
/// would meet it.
RunResult RunHarmonic(const Model& iModel, const Progress& iProgress = Progress(), int iThreads = 1);

}  // namespace vokdyn

#endif
