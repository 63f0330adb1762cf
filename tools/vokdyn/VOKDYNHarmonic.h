#ifndef VOKDYNHarmonic_h
#define VOKDYNHarmonic_h
// The harmonic run: the model built in the stand-in platform, then for each
// sweep frequency the excitation, the damping and the modal response from
// the library's tools, summed into the absolute displacement of each output.
#include <cstddef>
#include <complex>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "VOKDYNModel.h"
#include "VOKDYNOutput.h"

namespace vokdyn {

/// A library or platform operation that failed during a run.
class ComputationError : public std::runtime_error {
 public:
  ComputationError(const std::string& iOperation, long iResult, const std::string& iContext);
  const std::string& Operation() const { return _Operation; }
  long Result() const { return _Result; }

 private:
  std::string _Operation;
  long _Result;
};

/// "0x80004005": a result code as the 32-bit pattern it is.
std::string HexResult(long iResult);

/// What the damping tools say of the model's damping.
struct DampingInfo {
  std::string type;        ///< "modal" or "Rayleigh", as the tools read it
  bool perMode = false;
  std::string validity;    ///< "valid", "base check failed" or "invalid"
  bool valid = false;      ///< usable: valid, or base check failed
  bool baseUpToDate = true;
  std::vector<double> values;  ///< c_i per mode
};

/// Builds the damping feature of iModel and asks the damping tools about it
/// (base state with its warning, definition check, values). An invalid
/// definition is a ModelError; a failed operation a ComputationError.
DampingInfo CheckDamping(const Model& iModel);

struct RunResult {
  DampingInfo damping;
  Response response;
};

/// Progress: frequencies done and their total. Called with 0 once the model
/// is built in the platform, before the first library operation; then with
/// growing counts, and with the total once at the end of a successful sweep.
/// Always called on the thread that called RunHarmonic, never on a worker;
/// an exception it throws stops the run (the workers are joined first).
using Progress = std::function<void(std::size_t, std::size_t)>;

/// Runs the sweep of iModel on iThreads worker threads (below 1 counts as 1;
/// no more workers than batches of frequencies, nor than 256); the result
/// does not depend on the number of threads, to the last bit. Throws
/// ModelError (a model the tools refuse) or ComputationError; a failure in a
/// worker is the failure of lowest frequency, as one thread would meet it.
RunResult RunHarmonic(const Model& iModel, const Progress& iProgress = Progress(), int iThreads = 1);

/// The modal responses of a model at any frequencies, and its support
/// motion and enforced displacements at every node: what the response
/// fields need beyond the sweep, computed by the sweep's operations.
class ModalSolver {
 public:
  /// Builds iModel in the platform and queries its damping (as RunHarmonic
  /// does). Throws ModelError or ComputationError. iModel must outlive this.
  explicit ModalSolver(const Model& iModel);
  ~ModalSolver();
  ModalSolver(const ModalSolver&) = delete;
  ModalSolver& operator=(const ModalSolver&) = delete;

  /// q_i at each of iFrequencies, [f * modes + i]: the values the sweep
  /// computes at the same frequencies, to the last bit.
  std::vector<std::complex<double>> Solve(const std::vector<float>& iFrequencies);

  /// Adds the support motion, then the enforced displacements, at
  /// iFrequencies to ioRe / ioIm [f * iStride + node * iComponents + c], at
  /// every node in model order and components 0..iComponents-1: the
  /// absolute motion as the sweep adds it at an output.
  void AddAbsolute(const std::vector<float>& iFrequencies, std::size_t iComponents, std::size_t iStride,
                   double* ioRe, double* ioIm);

 private:
  struct State;
  std::unique_ptr<State> _S;
};

}  // namespace vokdyn

#endif
