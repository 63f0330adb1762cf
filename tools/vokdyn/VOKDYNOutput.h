#ifndef VOKDYNOutput_h
#define VOKDYNOutput_h
// What a harmonic run produces and how it is written: the complex response
// per output and frequency, its CSV form, its peaks and its plot.
#include <complex>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "VOKDYNModel.h"

namespace vokdyn {

/// The absolute displacement of every output at every sweep frequency.
struct Response {
  std::vector<float> frequencies;                      ///< hertz, as computed
  std::vector<Output> outputs;
  std::vector<std::vector<std::complex<double>>> values;  ///< values[output][frequency]
};

struct Peak {
  double frequency = 0.0;  ///< hertz; the first frequency where the maximum is reached
  double magnitude = 0.0;  ///< |u|
};

/// The largest |u| of output iOutput (NaN values are passed over).
Peak PeakOf(const Response& iResponse, std::size_t iOutput);

/// A failure to write a result (file system, plotting tool).
class OutputError : public std::runtime_error {
 public:
  explicit OutputError(const std::string& iMessage) : std::runtime_error(iMessage) {}
};

/// The CSV text: header "frequency_hz", then N<id>_<C>_re, _im, _abs per
/// output; every number with 17 significant digits.
std::string CsvText(const Response& iResponse);

/// Writes iContent to iPath through a temporary file in the same directory
/// renamed at the end, so that a failure never leaves a partial file.
/// Throws OutputError.
void WriteFileAtomically(const std::string& iPath, const std::string& iContent);

/// The path of a program on PATH, empty when absent.
std::string FindProgram(const std::string& iName);

/// Checks that a plot can be made to iPath (extension .svg or .png, plotting
/// tool present) before anything is computed. Throws OutputError.
void CheckPlotPossible(const std::string& iPath);

/// Plots |u| of every output against frequency (logarithmic magnitude axis)
/// into iPath, written atomically. Throws OutputError.
void PlotResponse(const Response& iResponse, const std::string& iTitle, const std::string& iPath);

}  // namespace vokdyn

#endif
