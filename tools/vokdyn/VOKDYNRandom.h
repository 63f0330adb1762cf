#ifndef VOKDYNRandom_h
#define VOKDYNRandom_h
// Random vibration from a model's "random" section: input power spectral
// densities on the model's loads, base-motion directions and enforced sets,
// the transfer function of each input to each output from the harmonic run
// (one excitation per input), the response PSD S_y = H S_x H^H at every
// sweep frequency, and its RMS and zero-crossing rate.
#include <array>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "VOKDYNJson.h"
#include "VOKDYNModel.h"
#include "VOKDYNSweep.h"
#include "VOKDYNTextWriter.h"

namespace vokdyn {

/// Points (abscissa, value) with increasing abscissae.
using Table = std::vector<std::array<double, 2>>;

enum class InputKind { Load, Base, Enforced };

struct RandomInput {
  InputKind kind = InputKind::Load;
  std::size_t index = 0;  ///< into Model::loads, Model::enforced or Model::baseMotion.directions
  std::string name;       ///< the load's or set's name, "base N" for direction N
  Table psd;              ///< (f > 0, S > 0): units^2/Hz, log-log between points, zero outside
};

struct CrossSpectrum {
  std::size_t a = 0, b = 0;  ///< inputs, a != b: S_ab (S_ba is its conjugate)
  Table real, imag;          ///< linear in frequency between points, zero outside
};

struct RandomSection {
  bool present = false;
  Quantity quantity = Quantity::Acceleration;
  std::vector<RandomInput> inputs;
  std::vector<CrossSpectrum> cross;
};

/// The excitation an input object names by exactly one of "load" (a load's
/// name), "base_direction" (one of the model's directions) and "enforced"
/// (an enforced set's name); its table is left empty. Throws InputError.
RandomInput ReadExcitationRef(const JsonReader& iR, const JsonValue& iValue, const std::string& iPath,
                              const Model& iModel);

/// Reads the "random" member of a model's root object (absent: present is
/// false), its names checked against iModel. Throws InputError naming the
/// file and the JSON path.
RandomSection ReadRandomSection(const JsonValue& iRoot, const std::string& iFile, const Model& iModel);

/// The model and its random section from one text. Throws InputError.
void LoadRandomModel(const std::string& iText, const std::string& iFile, Model& oModel, RandomSection& oRandom);

/// S at iF of a table interpolated log-log between its points, zero outside.
double LogLogValue(const Table& iTable, double iF);
/// The value at iF of a table interpolated linearly, zero outside.
double LinearValue(const Table& iTable, double iF);

/// The input matrix at iF, row-major n x n of (re, im) pairs.
std::vector<std::array<double, 2>> InputMatrix(const RandomSection& iRandom, double iF);

/// Refuses (InputError naming the file and the frequency) an input matrix
/// that is not positive semi-definite at a sweep frequency or at a point of
/// one of the tables within the sweep.
void CheckInputMatrix(const RandomSection& iRandom, const std::vector<float>& iFrequencies, const std::string& iFile);

struct RandomSummary {
  double rms = 0.0;
  double zeroCrossing = 0.0;  ///< nu0 = sqrt(int f^2 S / int S), hertz
};

struct RandomResult {
  std::vector<float> frequencies;
  std::vector<Output> outputs;
  std::vector<std::vector<double>> psd;  ///< psd[output][frequency]
  std::vector<RandomSummary> summary;
  std::vector<std::string> warnings;
};

/// Trapezoidal RMS and zero-crossing rate of a PSD on its frequencies.
RandomSummary Summarize(const std::vector<float>& iFrequencies, const std::vector<double>& iPsd);

/// Runs the random response. Throws ModelError, ComputationError.
RandomResult RunRandom(const Model& iModel, const RandomSection& iRandom, int iThreads = 1);

/// "frequency_hz", then N<id>_<C>_psd per output, 17 significant digits
/// (the frequency 9), handed to iSink in pieces of about a megabyte.
void WriteRandomCsv(const RandomResult& iResult, const TextSink& iSink);
/// The same text whole.
std::string RandomCsv(const RandomResult& iResult);
/// "output,rms,three_sigma,nu0_hz" then a row per output.
std::string RandomSummaryCsv(const RandomResult& iResult);

}  // namespace vokdyn

#endif
