#ifndef VOKDYNHarmonic_h
#define VOKDYNHarmonic_h
// The harmonic run: the model built in the stand-in platform, then for each
// sweep frequency the excitation, the damping and the modal response from
// the library's tools, summed into the absolute displacement of each output.
#include <cstddef>
#include <functional>
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

}  // namespace vokdyn

#endif
