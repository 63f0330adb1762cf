#ifndef VOKDYNTransient_h
#define VOKDYNTransient_h
// Transient response from a model's "transient" section: time functions on
// the model's loads, base-motion directions (acceleration) and enforced sets
// (enforced acceleration), zero initial conditions. The modal forces come
// from the library's excitation tools initialised in the time domain (each
// input's time function as its excitation's modulation, time as the
// abscissa); each mode is integrated by the exact recurrence of a damped
// single degree of freedom under a load linear within each step; the
// outputs are summed over the modes.
#include <array>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "VOKDYNJson.h"
#include "VOKDYNModel.h"
#include "VOKDYNModelLoader.h"
#include "VOKDYNRandom.h"
#include "VOKDYNTextWriter.h"

namespace vokdyn {

struct TransientInput {
  RandomInput excitation;  ///< which excitation; its table unused
  Table history;           ///< (t, value), t increasing from >= 0; constant outside its points
};

struct TransientSection {
  bool present = false;
  double duration = 0.0, step = 0.0;
  std::size_t steps = 0;  ///< time points after t = 0: the output times are n step, n = 0..steps
  Quantity quantity = Quantity::Displacement;
  bool absolute = false;  ///< acceleration only: base and enforced accelerations added
  std::vector<TransientInput> inputs;
};

/// Reads the "transient" member of a model's root object; a "file" history
/// is read by iReader from its path resolved against iFile's directory.
/// Throws InputError naming the file and the JSON path (or the CSV file and
/// its line).
TransientSection ReadTransientSection(const JsonValue& iRoot, const std::string& iFile, const Model& iModel,
                                      const ReferencedFileReader& iReader);

/// The model and its transient section from one text. Throws InputError.
void LoadTransientModel(const std::string& iText, const std::string& iFile, Model& oModel, TransientSection& oTransient);

/// The exact one-step recurrence of m x'' + c x' + k x = p(t), p linear
/// within the step h (0 <= zeta < 1):
///   x1 = a x0 + b v0 + c p0 + d p1,  v1 = a' x0 + b' v0 + c' p0 + d' p1.
struct StepCoefficients {
  double a = 0, b = 0, c = 0, d = 0, ap = 0, bp = 0, cp = 0, dp = 0;
};
StepCoefficients ExactStep(double iMass, double iStiffness, double iDamping, double iStep);

struct TransientResult {
  std::vector<double> times;
  std::vector<Output> outputs;
  std::vector<std::vector<double>> values;  ///< values[output][time]
};

/// Runs the transient response, parallel over modes then over time
/// batches; the result does not depend on iThreads. Throws ModelError,
/// ComputationError.
TransientResult RunTransient(const Model& iModel, const TransientSection& iTransient, int iThreads = 1);

/// "time_s", then N<id>_<C> per output, 17 significant digits (the time
/// 12), handed to iSink in pieces of about a megabyte.
void WriteTransientCsv(const TransientResult& iResult, const TextSink& iSink);
/// The same text whole.
std::string TransientCsv(const TransientResult& iResult);
/// "output,max,time_of_max_s,min,time_of_min_s" then a row per output.
std::string TransientSummaryCsv(const TransientResult& iResult);

}  // namespace vokdyn

#endif
