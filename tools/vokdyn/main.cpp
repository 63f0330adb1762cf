// vokdyn: the modal harmonic response of a model file (or of the embedded
// default model), computed with the library's excitation and damping tools
// on the stand-in platform.
//
// Exit status: 0 success; 2 a usage or model error; 1 a computation or an
// output that failed.
#include <array>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <limits>
#include <sstream>
#include <string>
#include <thread>

#include <CLI/CLI.hpp>

#include "VOKDYNFields.h"
#include "VOKDYNHarmonic.h"
#include "VOKDYNImport.h"
#include "VOKDYNModeSweep.h"
#include "VOKDYNModelLoader.h"
#include "VOKDYNModelText.h"
#include "VOKDYNPlatformModel.h"
#include "VOKDYNOutput.h"
#include "VOKDYNRandom.h"
#include "VOKDYNTransient.h"
#include "VOKHostNotifications.h"

#ifndef VOKDYN_VERSION
#define VOKDYN_VERSION "0"
#endif

namespace {

using namespace vokdyn;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

const char* const kDefaultModelName = "(embedded default model)";

bool gQuiet = false;

// A request that cannot be carried out as asked (found before computing).
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

void Error(const std::string& iMessage) { std::cerr << "vokdyn: " << iMessage << std::endl; }

// The damping tools' dialogs, which this headless tool shows as lines on
// standard error; warnings are left out under --quiet.
void ShowNotification(const VOKHost::Notification& iNote) {
  bool warning = iNote.dialogName == "WarningPanel";
  if (warning && gQuiet) return;
  std::cerr << "vokdyn: " << (warning ? "warning: " : "") << iNote.title << ": " << iNote.text
            << std::endl;
}

Model LoadModel(const std::string& iPath) {
  if (iPath.empty()) return DefaultModel();
  if (iPath == "-") {
    std::ostringstream text;
    text << std::cin.rdbuf();
    return LoadModelText(text.str(), "<stdin>");
  }
  return LoadModelFile(iPath);
}

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point iStart) { return std::chrono::duration<double>(Clock::now() - iStart).count(); }

// The time of the whole command, and of its parts when it is long.
struct Timing {
  Clock::time_point start = Clock::now();
  std::vector<std::pair<std::string, double>> parts;
  // Ends the part that began at ioMark, and starts the next one there.
  void Part(const char* iName, Clock::time_point& ioMark) {
    Clock::time_point now = Clock::now();
    parts.emplace_back(iName, std::chrono::duration<double>(now - ioMark).count());
    ioMark = now;
  }
  std::string Text() const {
    double total = SecondsSince(start);
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%.3f s", total);
    std::string text = buffer;
    if (total < 1.0) return text;
    std::string list;
    for (const auto& part : parts) {
      std::snprintf(buffer, sizeof buffer, "%s %.3f s", part.first.c_str(), part.second);
      list += (list.empty() ? "" : ", ") + std::string(buffer);
    }
    return text + " (" + list + ")";
  }
};

void Warn(const std::vector<std::string>& iWarnings) {
  if (gQuiet) return;
  for (const std::string& w : iWarnings) std::cerr << "vokdyn: warning: " << w << std::endl;
}

std::string Format(const char* iFormat, double iValue) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, iFormat, iValue);
  return buffer;
}

std::string DampingText(const Model& iModel, const DampingInfo& iInfo) {
  std::string text;
  const Damping& d = iModel.damping;
  if (d.type == DampingType::Structural) {
    text = d.perMode ? "structural, eta per mode" : "structural, eta " + Format("%g", d.eta);
    return text + " (computed by vokdyn, k (1 + i eta); " + iInfo.validity + ")";
  }
  if (!d.table.empty())
    return "modal, percent of critical from a table of " + std::to_string(d.table.size()) +
           " frequencies (computed by vokdyn; " + iInfo.validity + ")";
  if (d.type == DampingType::Modal) {
    text = d.perMode ? "modal, percent of critical per mode"
                     : "modal, " + Format("%g", d.percent) + " % of critical";
  } else {
    text = d.perMode ? "Rayleigh, alpha and beta per mode"
                     : "Rayleigh, alpha " + Format("%g", d.alpha) + ", beta " + Format("%g", d.beta);
  }
  return text + " (" + iInfo.validity + ")";
}

std::string ExcitationText(const Model& iModel) {
  std::string text;
  auto add = [&text](const std::string& iPart) { text += (text.empty() ? "" : ", ") + iPart; };
  auto plural = [](std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
  };
  if (!iModel.loads.empty()) add(plural(iModel.loads.size(), "load", "loads"));
  if (!iModel.enforced.empty())
    add(plural(iModel.enforced.size(), "enforced displacement", "enforced displacements"));
  if (iModel.baseMotion.present) {
    std::string dirs;
    for (const BaseDirection& d : iModel.baseMotion.directions)
      dirs += (dirs.empty() ? "" : " ") + std::to_string(d.direction);
    add("base motion in direction" + std::string(iModel.baseMotion.directions.size() > 1 ? "s " : " ") +
        dirs + (iModel.baseMotion.axis.given ? " of its axis system" : ""));
  }
  std::size_t corrected = 0;
  for (const Load& l : iModel.loads) corrected += l.staticResponse.empty() ? 0 : 1;
  for (const Enforced& e : iModel.enforced) corrected += e.staticResponse.empty() ? 0 : 1;
  if (corrected > 0) add("static correction of " + plural(corrected, "set", "sets"));
  return text;
}

std::string SweepText(const Model& iModel, const std::vector<float>& iFrequencies) {
  std::string text = std::to_string(iFrequencies.size()) + " frequencies";
  if (!iFrequencies.empty())
    text += ", " + Format("%.9g", iFrequencies.front()) + " to " + Format("%.9g", iFrequencies.back()) + " Hz";
  if (iModel.sweep.isRange && iModel.sweep.spacing == Spacing::Modes)
    text += ", log with " + std::to_string(iModel.sweep.pointsPerMode) + " points in each mode's half-power band";
  else if (iModel.sweep.isRange)
    text += iModel.sweep.spacing == Spacing::Log ? ", log" : ", linear";
  return text;
}

void PrintSummary(std::ostream& out, const std::string& iSource, const Model& iModel,
                  const RunResult& iRun, const std::string& iTime) {
  out << "vokdyn harmonic: " << iModel.name << "\n";
  out << "  model        " << iSource << "\n";
  out << "  modes        " << iModel.base.modes.size() << " (" << iModel.base.name
      << (iRun.damping.baseUpToDate ? ", up to date" : ", NOT up to date") << ")\n";
  out << "  nodes        " << iModel.nodes.size() << "\n";
  out << "  damping      " << DampingText(iModel, iRun.damping) << "\n";
  out << "  excitations  " << ExcitationText(iModel) << "\n";
  out << "  sweep        " << SweepText(iModel, iRun.response.frequencies) << "\n";
  // The label column is 10 wide, wider for longer labels (N6_UX_vel_rel).
  int width = 10;
  for (const Output& o : iRun.response.outputs) width = std::max(width, static_cast<int>(OutputLabel(o).size()));
  out << "  peaks        " << std::string("output") + std::string(static_cast<std::size_t>(width) - 6, ' ')
      << "  peak |u|                 at (Hz)\n";
  for (std::size_t o = 0; o < iRun.response.outputs.size(); ++o) {
    Peak peak = PeakOf(iRun.response, o);
    char line[200];
    std::snprintf(line, sizeof line, "               %-*s  %-23.17g  %.9g\n", width,
                  OutputLabel(iRun.response.outputs[o]).c_str(), peak.magnitude, peak.frequency);
    out << line;
  }
  out << "  time         " << iTime << "\n";
}

// A progress bar on standard error for long sweeps, only on a terminal.
class ProgressBar {
 public:
  explicit ProgressBar(bool iEnabled)
      : _Enabled(iEnabled && isatty(STDERR_FILENO)), _Start(Clock::now()), _Last(_Start) {}
  ~ProgressBar() { Finish(); }
  void Update(const char* iWhat, std::size_t iDone, std::size_t iTotal) {
    if (!_Enabled || iTotal == 0) return;
    auto now = Clock::now();
    // Quick sweeps show nothing; past a second, redraw ten times a second.
    if (now - _Start < std::chrono::seconds(1)) return;
    if (_Shown && now - _Last < std::chrono::milliseconds(100) && iDone != iTotal) return;
    _Last = now;
    _Shown = true;
    const int width = 40;
    int filled = static_cast<int>(width * iDone / iTotal);
    std::fprintf(stderr, "\r%-8s [%s%s] %3d%% %zu/%zu", iWhat, std::string(filled, '#').c_str(),
                 std::string(width - filled, '.').c_str(), static_cast<int>(100 * iDone / iTotal),
                 iDone, iTotal);
    std::fflush(stderr);
  }
  void Finish() {
    if (_Shown) std::fprintf(stderr, "\r%*s\r", 80, "");
    _Shown = false;
  }

 private:
  using Clock = std::chrono::steady_clock;
  bool _Enabled;
  bool _Shown = false;
  Clock::time_point _Start, _Last;
};

// The machine's cores, at least one.
int DefaultThreads() {
  unsigned cores = std::thread::hardware_concurrency();
  return cores == 0 ? 1 : static_cast<int>(std::min(cores, 1024u));
}

// --threads N: a whole number of at least 1.
int ParseThreads(const std::string& iText) {
  const std::string rule = " (the number of sweep threads: a whole number of at least 1)";
  if (iText.empty()) throw UsageError("--threads \"\": not a whole number" + rule);
  if (iText.find_first_not_of("0123456789") != std::string::npos)
    throw UsageError("--threads " + iText + ": not a whole number" + rule);
  errno = 0;
  unsigned long long value = std::strtoull(iText.c_str(), nullptr, 10);
  if (value < 1) throw UsageError("--threads " + iText + ": less than 1" + rule);
  if (errno == ERANGE || value > static_cast<unsigned long long>(std::numeric_limits<int>::max()))
    throw UsageError("--threads " + iText + ": too large" + rule);
  return static_cast<int>(value);
}

int RunHarmonicCommand(const std::string& iModelPath, const std::string& iOutput,
                       const std::string& iPlot, int iThreads, const std::string& iFields) {
  Timing timing;
  Clock::time_point mark = timing.start;
  Model model = LoadModel(iModelPath);
  timing.Part("load", mark);
  // A model that asks for fields gets them beside it without --fields.
  std::string fieldDirectory = iFields;
  if (fieldDirectory.empty() && model.fields.present) {
    const bool file = !iModelPath.empty() && iModelPath != "-";
    const bool json = file && iModelPath.size() > 5 && iModelPath.compare(iModelPath.size() - 5, 5, ".json") == 0;
    fieldDirectory = file ? (json ? iModelPath.substr(0, iModelPath.size() - 5) : iModelPath) + "-fields" : "fields";
  }
  // Outputs are refused before anything is computed, an input among them.
  const std::vector<std::string> inputs = {iModelPath == "-" ? std::string() : iModelPath, model.base.shapesFile};
  try {
    if (!iOutput.empty() && iOutput != "-") CheckOutputPath(iOutput, "--output", inputs);
    if (!iPlot.empty()) {
      CheckOutputPath(iPlot, "--plot", inputs);
      CheckPlotPossible(iPlot);
    }
    if (!fieldDirectory.empty()) CheckOutputPath(fieldDirectory, "--fields", inputs);
  } catch (const OutputError& e) {
    throw UsageError(e.what());
  }
  if (fieldDirectory.empty()) KeepRowsOfRun(model, iThreads);
  ProgressBar bar(!gQuiet);
  RunResult run = RunHarmonic(model, [&bar](std::size_t d, std::size_t t) { bar.Update("sweep", d, t); }, iThreads);
  timing.Part("sweep", mark);
  Warn(DampingWarnings(model, run.damping.values));
  Warn(PeakResolutionWarnings(model, ModelDampingRatios(model), run.response.frequencies));

  if (!iOutput.empty()) {
    auto progress = [&bar](std::size_t d, std::size_t t) { bar.Update("csv", d, t); };
    if (iOutput == "-") {
      WriteCsv(run.response, [](const char* iData, std::size_t iSize) { std::cout.write(iData, static_cast<std::streamsize>(iSize)); }, progress);
      std::cout.flush();
      if (!std::cout) throw OutputError("--output -: standard output cannot be written");
    } else {
      OutputFile file(iOutput, "--output");
      WriteCsv(run.response, [&file](const char* iData, std::size_t iSize) { file.Write(iData, iSize); }, progress);
      file.Commit();
    }
    timing.Part("csv", mark);
  }
  if (!iPlot.empty()) {
    PlotResponse(run.response, model.name, iPlot, model.units);
    timing.Part("plot", mark);
  }
  std::vector<float> fieldFrequencies;
  if (!fieldDirectory.empty()) {
    std::vector<float> peaks;
    for (std::size_t o = 0; o < run.response.outputs.size(); ++o)
      peaks.push_back(static_cast<float>(PeakOf(run.response, o).frequency));
    // Without a request in the model, the peaks.
    fieldFrequencies = FieldFrequencies(model.fields.frequencies, model.fields.atPeaks || !model.fields.present, peaks);
    WriteFields(model, fieldFrequencies, fieldDirectory, iThreads);
    timing.Part("fields", mark);
  }
  bar.Finish();
  if (!gQuiet) {
    // With the CSV on standard output the summary goes to standard error.
    std::ostream& out = iOutput == "-" ? std::cerr : std::cout;
    PrintSummary(out, iModelPath.empty() ? kDefaultModelName : model.source, model, run, timing.Text());
    if (!iOutput.empty() && iOutput != "-") out << "  csv          " << iOutput << "\n";
    if (!iPlot.empty()) out << "  plot         " << iPlot << "\n";
    if (!fieldDirectory.empty())
      out << "  fields       " << fieldDirectory << "/fields.pvd (" << fieldFrequencies.size() << " frequencies)\n";
    out << std::flush;
  }
  return kExitOk;
}

// The text of a model file ('-': standard input) and the name messages give it.
std::pair<std::string, std::string> ModelTextOf(const std::string& iPath) {
  if (iPath.empty()) throw UsageError("a model file is needed (the embedded default model has no such section)");
  if (iPath == "-") {
    std::ostringstream text;
    text << std::cin.rdbuf();
    return {text.str(), "<stdin>"};
  }
  try {
    return {ReadWholeFile(iPath), iPath};
  } catch (const std::runtime_error&) {
    throw ModelError(iPath + ": cannot be read");
  }
}

// FILE.csv -> FILE-summary.csv (any other name: NAME-summary.csv).
std::string SummaryPathOf(const std::string& iCsv) {
  const bool csv = iCsv.size() > 4 && iCsv.compare(iCsv.size() - 4, 4, ".csv") == 0;
  return (csv ? iCsv.substr(0, iCsv.size() - 4) : iCsv) + "-summary.csv";
}

// The outputs of a command that writes a CSV and its summary beside it:
// checked before anything is computed, written all or nothing. A CSV sent to
// standard output, a device or a FIFO has no summary file beside it (the
// summary is printed).
struct SummarisedOutputs {
  std::string csv;      // empty: none; "-": standard output
  std::string summary;  // FILE-summary.csv when the CSV goes to a file
  std::string plot;

  bool ToFile() const { return !csv.empty() && csv != "-"; }
  bool WithSummary() const { return ToFile() && !WrittenInPlace(csv); }

  SummarisedOutputs(const std::string& iModelPath, const Model& iModel, const std::string& iCsv,
                    const std::string& iPlot)
      : csv(iCsv), summary(WithSummary() ? SummaryPathOf(iCsv) : std::string()), plot(iPlot) {
    const std::vector<std::string> inputs = {iModelPath == "-" ? std::string() : iModelPath,
                                             iModel.base.shapesFile};
    try {
      if (ToFile()) CheckOutputPath(csv, "--output", inputs);
      if (WithSummary()) CheckOutputPath(summary, "--output (its summary)", inputs);
      if (!plot.empty()) {
        CheckOutputPath(plot, "--plot", inputs);
        CheckPlotPossible(plot);
      }
    } catch (const OutputError& e) {
      throw UsageError(e.what());
    }
  }

  void Write(const TextSource& iWriteCsv, const std::string& iSummaryCsv) const {
    if (csv == "-") {
      iWriteCsv([](const char* iData, std::size_t iSize) { std::cout.write(iData, static_cast<std::streamsize>(iSize)); });
      std::cout.flush();
      if (!std::cout) throw OutputError("--output -: standard output cannot be written");
    } else if (ToFile()) {
      OutputFile file(csv, "output");
      iWriteCsv([&file](const char* iData, std::size_t iSize) { file.Write(iData, iSize); });
      file.Commit();
      if (WithSummary()) WriteFileAtomically(summary, iSummaryCsv);
    }
  }

  // The summary's last lines: where things went.
  void Report(std::ostream& ioOut) const {
    if (ToFile()) ioOut << "  csv          " << csv << "\n";
    if (WithSummary()) ioOut << "  summary csv  " << summary << "\n";
    if (!plot.empty()) ioOut << "  plot         " << plot << "\n";
    ioOut << std::flush;
  }
};

int RunRandomCommand(const std::string& iModelPath, const std::string& iOutput, const std::string& iPlot, int iThreads) {
  Timing timing;
  Clock::time_point mark = timing.start;
  const auto text = ModelTextOf(iModelPath);
  Model model;
  RandomSection random;
  LoadRandomModel(text.first, text.second, model, random);
  timing.Part("load", mark);
  const SummarisedOutputs outputs(iModelPath, model, iOutput, iPlot);
  KeepRowsOfRun(model, iThreads);
  RandomResult result = RunRandom(model, random, iThreads);
  timing.Part("run", mark);
  for (const std::string& w : result.warnings) Warn({w});
  outputs.Write([&result](const TextSink& iSink) { WriteRandomCsv(result, iSink); }, RandomSummaryCsv(result));
  timing.Part("csv", mark);
  if (!iPlot.empty()) {
    std::vector<std::string> titles;
    for (const Output& o : result.outputs) titles.push_back(OutputLabel(o));
    PlotCurves([&result](const TextSink& iSink) { WriteRandomCsv(result, iSink); }, titles,
               {model.name + " - random response", "frequency (Hz)",
                std::string("PSD of the absolute ") + kQuantityNames[static_cast<int>(random.quantity)] + " (units^2/Hz)",
                true, true},
               iPlot);
    timing.Part("plot", mark);
  }
  if (!gQuiet) {
    std::ostream& out = iOutput == "-" ? std::cerr : std::cout;
    out << "vokdyn random: " << model.name << "\n"
        << "  model        " << model.source << "\n"
        << "  modes        " << model.base.modes.size() << "\n"
        << "  inputs       " << random.inputs.size() << (random.cross.empty() ? " uncorrelated" : ", cross spectra given")
        << "\n"
        << "  response     absolute " << kQuantityNames[static_cast<int>(random.quantity)] << " PSD\n"
        << "  sweep        " << SweepText(model, result.frequencies) << "\n"
        << "  summary      output      rms                      3 sigma                  nu0 (Hz)\n";
    for (std::size_t o = 0; o < result.outputs.size(); ++o) {
      char line[200];
      std::snprintf(line, sizeof line, "               %-10s  %-23.17g  %-23.17g  %.9g\n",
                    OutputLabel(result.outputs[o]).c_str(), result.summary[o].rms, 3.0 * result.summary[o].rms,
                    result.summary[o].zeroCrossing);
      out << line;
    }
    out << "  time         " << timing.Text() << "\n";
    outputs.Report(out);
  }
  return kExitOk;
}

int RunTransientCommand(const std::string& iModelPath, const std::string& iOutput, const std::string& iPlot,
                        int iThreads) {
  Timing timing;
  Clock::time_point mark = timing.start;
  const auto text = ModelTextOf(iModelPath);
  Model model;
  TransientSection transient;
  LoadTransientModel(text.first, text.second, model, transient);
  timing.Part("load", mark);
  const SummarisedOutputs outputs(iModelPath, model, iOutput, iPlot);
  KeepRowsOfRun(model, iThreads);
  TransientResult result = RunTransient(model, transient, iThreads);
  timing.Part("run", mark);
  outputs.Write([&result](const TextSink& iSink) { WriteTransientCsv(result, iSink); }, TransientSummaryCsv(result));
  timing.Part("csv", mark);
  if (!iPlot.empty()) {
    std::vector<std::string> titles;
    for (const Output& o : result.outputs) titles.push_back(OutputLabel(o));
    PlotCurves([&result](const TextSink& iSink) { WriteTransientCsv(result, iSink); }, titles,
               {model.name + " - transient response", "time (s)",
                std::string(transient.absolute ? "absolute " : "relative ") +
                    kQuantityNames[static_cast<int>(transient.quantity)],
                false, false},
               iPlot);
    timing.Part("plot", mark);
  }
  if (!gQuiet) {
    std::ostream& out = iOutput == "-" ? std::cerr : std::cout;
    out << "vokdyn transient: " << model.name << "\n"
        << "  model        " << model.source << "\n"
        << "  modes        " << model.base.modes.size() << "\n"
        << "  inputs       " << transient.inputs.size() << "\n"
        << "  response     " << (transient.absolute ? "absolute " : "relative ")
        << kQuantityNames[static_cast<int>(transient.quantity)] << "\n"
        << "  time         " << transient.steps << " steps of " << Format("%.9g", transient.step) << " s to "
        << Format("%.9g", result.times.back()) << " s\n"
        << "  extremes     output      max                      at (s)       min                      at (s)\n";
    for (std::size_t o = 0; o < result.outputs.size(); ++o) {
      const std::vector<double>& v = result.values[o];
      const std::size_t hi = static_cast<std::size_t>(std::max_element(v.begin(), v.end()) - v.begin());
      const std::size_t lo = static_cast<std::size_t>(std::min_element(v.begin(), v.end()) - v.begin());
      char line[200];
      std::snprintf(line, sizeof line, "               %-10s  %-23.17g  %-11.9g  %-23.17g  %.9g\n",
                    OutputLabel(result.outputs[o]).c_str(), v[hi], result.times[hi], v[lo], result.times[lo]);
      out << line;
    }
    out << "  run time     " << timing.Text() << "\n";
    outputs.Report(out);
  }
  return kExitOk;
}

int RunCheckCommand(const std::string& iModelPath) {
  // The model, and its random and transient sections checked as the
  // commands that use them would.
  const auto text = ModelTextOf(iModelPath);
  Model model = LoadModelText(text.first, text.second);
  std::string sections;
  {
    JsonDocument parsed = ParseJson(text.first, text.second);
    const RandomSection random = ReadRandomSection(parsed.Root(), text.second, model);
    if (random.present) {
      CheckInputMatrix(random, SweepFrequencies(model.sweep), model.source);
      sections = "random (" + std::to_string(random.inputs.size()) + " inputs)";
    }
    const TransientSection transient = ReadTransientSection(parsed.Root(), text.second, model, ReadWholeFile);
    if (transient.present)
      sections += (sections.empty() ? "" : ", ") + std::string("transient (") + std::to_string(transient.inputs.size()) +
                  " inputs, " + std::to_string(transient.steps) + " steps)";
  }
  DampingInfo damping = CheckDamping(model);
  if (!gQuiet) {
    std::size_t frequencies = SweepFrequencies(model.sweep).size();
    std::cout << model.source << ": model \"" << model.name << "\" is valid\n"
              << "  " << model.nodes.size() << " nodes, " << model.base.modes.size() << " modes, "
              << frequencies << " frequencies, " << model.outputs.size() << " outputs\n"
              << "  excitations  " << ExcitationText(model) << "\n"
              << (sections.empty() ? std::string() : "  sections     " + sections + "\n")
              << "  damping      " << DampingText(model, damping) << "\n"
              << "  modal base   " << model.base.name
              << (damping.baseUpToDate ? ": up to date" : ": NOT up to date") << "\n"
              << (model.base.shapes.Checked() ? std::string()
                                              : "  mode shapes  " + model.base.shapesFile +
                                                    ": header, shape and length checked; the values are checked "
                                                    "when a run first reads them\n")
              << "  mode  frequency (Hz)   zeta (% of critical)\n";
    // Structural damping: eta / 2, the viscous ratio with the same resonant peak.
    const std::vector<double> zeta = model.damping.type == DampingType::Structural ? ModelDampingRatios(model)
                                                                                   : DampingRatios(model, damping.values);
    for (std::size_t i = 0; i < zeta.size(); ++i) {
      char line[96];
      std::snprintf(line, sizeof line, "  %-4zu  %-15.9g  %.6g\n", i + 1, model.base.modes[i].frequency, 100.0 * zeta[i]);
      std::cout << line;
    }
  }
  Warn(DampingWarnings(model, damping.values));
  return kExitOk;
}

int RunImportCommand(const ImportOptions& iOptions) {
  try {
    const std::vector<std::string> inputs = JobFiles(iOptions.job);
    CheckOutputPath(iOptions.model, "--output", inputs);
    CheckOutputPath(ShapesPathOf(iOptions), "--shapes", inputs);
  } catch (const OutputError& e) {
    throw UsageError(e.what());
  }
  ImportedJob job = ImportCalculix(iOptions);
  for (const std::string& note : job.notes) Error("note: " + note);
  if (!gQuiet) {
    const Model& m = job.model;
    std::cout << "vokdyn import: " << m.name << "\n"
              << "  read         " << job.frdPath << (job.binaryFrd ? " (binary)" : "") << ", " << job.datPath
              << (job.inpPath.empty() ? "" : ", " + job.inpPath) << "\n"
              << "  nodes        " << m.nodes.size() << ", elements " << m.elements.size() << ", groups "
              << m.groups.size() << " (the deck's node sets)\n"
              << "  modes        " << m.base.modes.size() << ", " << Format("%.7g", m.base.modes.front().frequency)
              << " to " << Format("%.7g", m.base.modes.back().frequency) << " Hz\n"
              << "  sweep        " << m.sweep.steps << " frequencies, " << Format("%.7g", m.sweep.from) << " to "
              << Format("%.7g", m.sweep.to) << " Hz, log\n"
              << "  load         unit force at " << OutputLabel({job.load.node, job.load.component}) << "\n"
              << "  output       " << OutputLabel(m.outputs[0]) << "\n"
              << "  wrote        " << iOptions.model << ", " << ShapesPathOf(iOptions) << "\n";
    if (job.placeholder)
      std::cout << "  edit         the load and the output are placeholders (or give --load and --response)\n";
    std::cout << std::flush;
  }
  return kExitOk;
}

}  // namespace

// The options of a command that runs a model: MODEL, -o, --plot, --threads
// and -q, with the command's own help texts for the first four.
struct RunOptions {
  std::string model, output, plot, threads;
  int Threads(const CLI::App& iCommand) const {
    return iCommand.count("--threads") ? ParseThreads(threads) : DefaultThreads();
  }
};

CLI::App* AddRunCommand(CLI::App& ioApp, const std::string& iName, const std::string& iWhat,
                        const std::array<std::string, 4>& iHelp, RunOptions& oOptions) {
  CLI::App* command = ioApp.add_subcommand(iName, iWhat);
  command->add_option("MODEL", oOptions.model, iHelp[0])->required();
  command->add_option("-o,--output", oOptions.output, iHelp[1])->type_name("FILE");
  command->add_option("--plot", oOptions.plot, iHelp[2])->type_name("FILE");
  command->add_option("--threads", oOptions.threads, iHelp[3])->type_name("N");
  command->add_flag("-q,--quiet", gQuiet, "Print nothing but errors.");
  return command;
}

int main(int argc, char** argv) {
  CLI::App app{"vokdyn: modal harmonic response of a structure, from a model file or the embedded "
               "default model (a six-storey shear building on a moving base)."};
  app.set_version_flag("--version", std::string("vokdyn ") + VOKDYN_VERSION);
  app.require_subcommand(1);
  app.footer("Exit status: 0 success, 2 usage or model error, 1 a computation failed.\n"
             "Run 'vokdyn example > model.json' for a commented model file to start from.");

  std::string modelPath, output, plot;
  CLI::App* harmonic = app.add_subcommand(
      "harmonic", "Compute the response over the sweep: summary on standard output, CSV and plot on request.");
  harmonic->add_option("MODEL", modelPath, "Model file (vokdyn-model/1); '-' reads standard input. "
                                           "Without it: the embedded default model.");
  harmonic->add_option("-o,--output", output, "Write the response as CSV to FILE ('-': standard output).")
      ->type_name("FILE");
  harmonic->add_option("--plot", plot, "Draw a Bode plot (magnitude over phase) into FILE.svg or FILE.png (needs gnuplot).")
      ->type_name("FILE");
  harmonic->add_flag("-q,--quiet", gQuiet, "Print nothing but errors.");
  std::string fields;
  harmonic->add_option("--fields", fields,
                       "Write the response of every node as VTK files (DIR/fields.pvd): at the model's \"fields\" "
                       "frequencies, else at the peak of each output.")
      ->type_name("DIR");
  std::string threads;
  harmonic->add_option("--threads", threads,
                       "Split the sweep across N threads (default: the machine's cores, " +
                           std::to_string(DefaultThreads()) + " here); the output is the same for any N.")
      ->type_name("N");

  RunOptions random, transient;
  CLI::App* randomCommand = AddRunCommand(
      app, "random",
      "Random vibration: the response PSD of every output to the model's \"random\" input spectra, "
      "with RMS, 3 sigma and zero-crossing rate.",
      {"Model file with a \"random\" section; '-' reads standard input.",
       "Write the response PSD as CSV to FILE ('-': standard output) and the summary to FILE-summary.csv.",
       "Plot the response PSD (log-log) into FILE.svg or FILE.png (needs gnuplot).",
       "Split the sweep across N threads; the output is the same for any N."},
      random);
  CLI::App* transientCommand = AddRunCommand(
      app, "transient",
      "Transient response: every output's time history under the model's \"transient\" time functions, "
      "with its extremes.",
      {"Model file with a \"transient\" section; '-' reads standard input.",
       "Write the time histories as CSV to FILE ('-': standard output) and the extremes to FILE-summary.csv.",
       "Plot the time histories into FILE.svg or FILE.png (needs gnuplot).",
       "Split the modes across N threads; the output is the same for any N."},
      transient);

  std::string checkPath;
  CLI::App* check = app.add_subcommand(
      "check", "Load and check a model file, build its damping and report its validity; compute nothing.");
  check->add_option("MODEL", checkPath, "Model file (vokdyn-model/1); '-' reads standard input.")->required();
  check->add_flag("-q,--quiet", gQuiet, "Print nothing but errors (the exit status tells).");

  CLI::App* example = app.add_subcommand(
      "example", "Print the embedded default model as a commented model file, a starting point.");

  ImportOptions importOptions;
  std::string importLoad, importOutput;
  CLI::App* import = app.add_subcommand("import", "Make a model file from another program's results.");
  import->require_subcommand(1);
  CLI::App* calculix = import->add_subcommand(
      "calculix", "From the eigenvalue step of a CalculiX job: JOB.frd, JOB.dat and JOB.inp's node sets.");
  calculix->add_option("JOB", importOptions.job, "The job name (JOB or JOB.frd).")->required();
  calculix->add_option("-o,--output", importOptions.model, "The model file to write.")->required()->type_name("MODEL.json");
  calculix->add_option("--static", importOptions.staticFrd,
                       "The results of a static step under the --load force: the load's static response at the output.")
      ->type_name("STATIC.frd");
  calculix->add_option("--shapes", importOptions.shapes, "The .npy file of the shapes (default: MODEL.npy).")
      ->type_name("FILE.npy");
  calculix->add_option("--load", importLoad, "A unit force at NODE in COMPONENT (1-3 or UX UY UZ).")
      ->type_name("NODE:COMPONENT");
  calculix->add_option("--response", importOutput, "The output at NODE, COMPONENT (1-3 or UX UY UZ).")
      ->type_name("NODE:COMPONENT");
  calculix->add_flag("-q,--quiet", gQuiet, "Print nothing but errors.");

  // An unknown command is named (the parser would only say that one is
  // required).
  if (argc > 1 && argv[1][0] != '-') {
    const std::vector<std::string> commands = {"harmonic", "random", "transient", "check", "example", "import"};
    std::string word = argv[1];
    if (std::find(commands.begin(), commands.end(), word) == commands.end()) {
      std::string nearest = NearestKey(word, commands);
      Error("unknown command \"" + word + "\"" +
            (nearest.empty() ? std::string(" (commands: harmonic, random, transient, check, example, import)")
                             : " (did you mean \"" + nearest + "\"?)"));
      return kExitUsage;
    }
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    int code = app.exit(e);
    return code == 0 ? kExitOk : kExitUsage;
  }

  VOKHost::SetNotificationSink(ShowNotification);
  RemoveTemporariesOnSignals();
  try {
    if (*harmonic)
      return RunHarmonicCommand(modelPath, output, plot,
                                harmonic->count("--threads") ? ParseThreads(threads) : DefaultThreads(), fields);
    if (*randomCommand)
      return RunRandomCommand(random.model, random.output, random.plot, random.Threads(*randomCommand));
    if (*transientCommand)
      return RunTransientCommand(transient.model, transient.output, transient.plot,
                                 transient.Threads(*transientCommand));
    if (*check) return RunCheckCommand(checkPath);
    if (*calculix) {
      if (!importLoad.empty()) importOptions.load = ParseNodeComponent(importLoad, "--load");
      if (!importOutput.empty()) importOptions.output = ParseNodeComponent(importOutput, "--response");
      return RunImportCommand(importOptions);
    }
    if (*example) {
      std::cout << WriteModelText(
          DefaultModel(),
          "vokdyn model file (format vokdyn-model/1): the embedded default model.\n"
          "A uniform shear building of six storeys on a moving base: equal storey masses\n"
          "m = 1e5 kg and storey stiffnesses k = 7e7 N/m, storeys 3.5 m high. Its modes are\n"
          "known in closed form: omega_j = 2 sqrt(k/m) sin((2j-1) pi / 26) and\n"
          "phi_j(i) = sin((2j-1) i pi / 13) at storey i.\n"
          "Units: SI. Frequencies in hertz, phases in degrees. Comments like these are allowed.\n"
          "Run it with: vokdyn harmonic this-file.json -o response.csv --plot response.svg\n"
          "The same model serves 'vokdyn random' (response PSD and RMS to input spectra) and\n"
          "'vokdyn transient' (time histories) with a \"random\" or \"transient\" section naming\n"
          "its loads, base directions and enforced sets as inputs, e.g.\n"
          "  \"random\": {\"inputs\": [{\"base_direction\": 1, \"psd\": [[1, 0.01], [50, 0.01]]}]}\n"
          "  \"transient\": {\"duration\": 10, \"time_step\": 0.005,\n"
          "                \"inputs\": [{\"base_direction\": 1, \"file\": \"record.csv\"}]}\n"
          "(see the README and examples/frame-random-shakers.json, examples/frame-shock.json).");
      return kExitOk;
    }
  } catch (const ModelError& e) {
    Error(e.what());
    return kExitUsage;
  } catch (const ResultFileError& e) {
    Error(e.what());
    return kExitUsage;
  } catch (const UsageError& e) {
    Error(e.what());
    return kExitUsage;
  } catch (const ComputationError& e) {
    Error(e.what());
    return kExitFailed;
  } catch (const OutputError& e) {
    Error(e.what());
    return kExitFailed;
  } catch (const std::exception& e) {
    Error(std::string("internal error: ") + e.what());
    return kExitFailed;
  }
  return kExitUsage;
}
