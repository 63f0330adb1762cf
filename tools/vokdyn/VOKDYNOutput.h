#ifndef VOKDYNOutput_h
#define VOKDYNOutput_h
// What a harmonic run produces and how it is written: the complex response
// per output and frequency, its CSV form, its peaks and its plot.
#include <complex>
#include <cstddef>
#include <functional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "VOKDYNModel.h"
#include "VOKDYNTextWriter.h"

namespace vokdyn {

/// The response of every output (the quantity and motion it asks for) at
/// every sweep frequency.
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

/// The phase of iValue in degrees, in (-180, 180] (0 for zero).
double PhaseDeg(std::complex<double> iValue);

/// The CSV text: header "frequency_hz", then <label>_re, _im, _abs,
/// _phase_deg per output (label: OutputLabel); every number with 17
/// significant digits.
std::string CsvText(const Response& iResponse);

/// The same text handed to iSink in pieces of about a megabyte, with
/// iProgress(rows written, rows) after each piece (the header is not a row).
void WriteCsv(const Response& iResponse, const TextSink& iSink,
              const std::function<void(std::size_t, std::size_t)>& iProgress = nullptr);

/// A CSV of columns over one abscissa: the header iAbscissaName and every
/// column's name, then per row the abscissa to iAbscissaDigits significant
/// digits and every column's value to 17 (printf's %g), handed to iSink in
/// pieces of about a megabyte.
void WriteColumnsCsv(const std::string& iAbscissaName, int iAbscissaDigits, const std::vector<double>& iAbscissae,
                     const std::vector<std::string>& iNames, const std::vector<std::vector<double>>& iColumns,
                     const TextSink& iSink);

/// The same text whole.
std::string ColumnsCsv(const std::string& iAbscissaName, int iAbscissaDigits, const std::vector<double>& iAbscissae,
                       const std::vector<std::string>& iNames, const std::vector<std::vector<double>>& iColumns);

/// True when iPath is written in place rather than through a temporary: a
/// device, a FIFO or another file that is not plain, or a path under /dev or
/// /proc (an open file of the process).
bool WrittenInPlace(const std::string& iPath);

/// An output file being written. Where iPath is a plain file, a name not
/// there yet, or a symbolic link to either, the bytes go to a temporary file
/// "TARGET.tmp-PID" beside the target (the link followed), renamed over it by
/// Commit: a failed or interrupted run leaves the target as it was and no
/// temporary. Anything else (a device such as /dev/null, a FIFO, a socket)
/// and every path under /dev/ or /proc/ (/dev/stdout leads to whatever the
/// caller made standard output) is opened and written directly, so that it
/// stays what it is and its reader gets the bytes. Every method throws
/// OutputError.
class OutputFile {
 public:
  /// Opens iPath; iOption ("--output") names it in messages.
  OutputFile(const std::string& iPath, const std::string& iOption);
  /// Removes the temporary unless committed.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  void Write(const char* iData, std::size_t iSize);
  /// Closes the file and, for a plain file, renames the temporary over it.
  void Commit();

 private:
  std::string _Path, _Option, _Temp;
  int _Fd = -1;
  int _Slot = -1;  ///< the temporary's place in the signal handler's list
};

/// Writes iContent to iPath as OutputFile does. Throws OutputError.
void WriteFileAtomically(const std::string& iPath, const std::string& iContent);

/// Where an output to iPath lands: iPath with its symbolic links followed
/// (also a link to a name not there yet).
std::string OutputTarget(const std::string& iPath);

/// Refuses, before anything is computed, an output to iPath whose directory
/// cannot be written (for a file to be made there), or that is one of
/// iInputs (compared as files: links and other names of them too).
/// iOption names the option in messages. Throws OutputError.
void CheckOutputPath(const std::string& iPath, const std::string& iOption, const std::vector<std::string>& iInputs);

/// From now on SIGINT, SIGTERM and SIGHUP remove every temporary file the
/// outputs are writing, then end the process with status 128 + the signal.
void RemoveTemporariesOnSignals();

/// The path of a program on PATH, empty when absent.
std::string FindProgram(const std::string& iName);

/// Checks that a plot can be made to iPath (extension .svg or .png, plotting
/// tool present) before anything is computed. Throws OutputError.
void CheckPlotPossible(const std::string& iPath);

/// The gnuplot script of a Bode plot of iResponse read from the CSV at
/// iData into iImage (svg or png): the magnitude of every output on top
/// (logarithmic), its phase in degrees below, on a shared frequency axis
/// (logarithmic over a decade or more). The magnitude axis is labelled with
/// the outputs' quantity and, where iUnits name them, its unit (rotations
/// in the angle unit), or "magnitude" when the outputs differ; the legend
/// gives each output's quantity, motion and unit.
std::string BodeScript(const Response& iResponse, const std::string& iTitle, const Units& iUnits,
                       const std::string& iData, const std::string& iImage, bool iSvg);

/// Draws the Bode plot of BodeScript into iPath, written atomically. Throws
/// OutputError.
void PlotResponse(const Response& iResponse, const std::string& iTitle, const std::string& iPath,
                  const Units& iUnits = Units());

/// The title and axes of a plot of curves.
struct PlotAxes {
  std::string title, x, y;
  bool logX = false, logY = false;
};

/// Plots columns 2, 3, ... of the CSV iCsv writes (a header line, the
/// abscissa in column 1) against column 1, one curve per title, into iPath
/// (.svg or .png), written atomically. Throws OutputError.
void PlotCurves(const TextSource& iCsv, const std::vector<std::string>& iTitles, const PlotAxes& iAxes,
                const std::string& iPath);

}  // namespace vokdyn

#endif
