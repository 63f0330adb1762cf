#include "VOKDYNOutput.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <mutex>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "VOKDYNTextWriter.h"

extern char** environ;

namespace vokdyn {

namespace {

std::string Format17(double iValue) {
  char buffer[kGeneralMax];
  return std::string(buffer, WriteGeneral(buffer, iValue, 17));
}

// ---------------------------------------------------- temporaries on signals
//
// The paths of the temporary files being written, set before each file is
// made and cleared after it is renamed or removed, so that a signal handler
// that only reads them and calls unlink (async-signal-safe) leaves nothing.

constexpr int kSlots = 8;
constexpr std::size_t kPathMax = 4096;
char gTemporaries[kSlots][kPathMax];
volatile std::sig_atomic_t gInUse[kSlots];
std::mutex gSlotsMutex;

int Remember(const std::string& iPath) {
  std::lock_guard<std::mutex> lock(gSlotsMutex);
  if (iPath.size() >= kPathMax) return -1;
  for (int k = 0; k < kSlots; ++k)
    if (!gInUse[k]) {
      std::memcpy(gTemporaries[k], iPath.c_str(), iPath.size() + 1);
      gInUse[k] = 1;
      return k;
    }
  return -1;
}

void Forget(int iSlot) {
  if (iSlot < 0) return;
  std::lock_guard<std::mutex> lock(gSlotsMutex);
  gInUse[iSlot] = 0;
}

extern "C" void RemoveTemporariesAndExit(int iSignal) {
  for (int k = 0; k < kSlots; ++k)
    if (gInUse[k]) unlink(gTemporaries[k]);
  _exit(128 + iSignal);
}

std::string Reason() { return std::strerror(errno); }

std::string Lower(std::string iText) {
  for (char& c : iText) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return iText;
}

std::string Extension(const std::string& iPath) {
  std::size_t slash = iPath.find_last_of('/');
  std::size_t dot = iPath.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::string();
  return Lower(iPath.substr(dot));
}

// A quoted string for a gnuplot script: single quotes, where a quote is
// written twice and nothing else is interpreted.
std::string GnuplotQuote(const std::string& iText) {
  std::string out = "'";
  for (char c : iText) {
    if (c == '\'') out += "''";
    else if (c == '\n' || c == '\r') out += ' ';
    else out += c;
  }
  return out + "'";
}

// A temporary file in the system's temporary directory, removed when the
// object goes.
class TempFile {
 public:
  explicit TempFile(const char* iSuffix) {
    const char* dir = std::getenv("TMPDIR");
    _Path = std::string(dir && *dir ? dir : "/tmp") + "/vokdyn-XXXXXX" + iSuffix;
    std::vector<char> name(_Path.begin(), _Path.end());
    name.push_back('\0');
    int fd = mkstemps(name.data(), static_cast<int>(std::strlen(iSuffix)));
    if (fd < 0) throw OutputError("cannot create a temporary file in " + _Path.substr(0, _Path.rfind('/')) +
                                  ": " + std::strerror(errno));
    close(fd);
    _Path.assign(name.data());
    _Slot = Remember(_Path);
  }
  ~TempFile() {
    std::remove(_Path.c_str());
    Forget(_Slot);
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const std::string& Path() const { return _Path; }
  void Write(const std::string& iContent) const {
    Write([&iContent](const TextSink& iSink) { iSink(iContent.data(), iContent.size()); });
  }
  void Write(const TextSource& iContent) const {
    std::ofstream out(_Path, std::ios::binary | std::ios::trunc);
    iContent([&out](const char* iData, std::size_t iSize) { out.write(iData, static_cast<std::streamsize>(iSize)); });
    out.flush();
    if (!out) throw OutputError(_Path + ": cannot be written");
  }

 private:
  std::string _Path;
  int _Slot = -1;
};

std::string Directory(const std::string& iPath) {
  std::size_t slash = iPath.find_last_of('/');
  return slash == std::string::npos ? "." : (slash == 0 ? "/" : iPath.substr(0, slash));
}

}  // namespace

double PhaseDeg(std::complex<double> iValue) {
  double degrees = std::atan2(iValue.imag(), iValue.real()) * (180.0 / 3.141592653589793);
  // atan2 gives -pi for a negative real with a negative zero imaginary part,
  // and pi in degrees may round a hair above 180.
  if (degrees <= -180.0 || degrees > 180.0) degrees = 180.0;
  return degrees;
}

Peak PeakOf(const Response& iResponse, std::size_t iOutput) {
  Peak peak;
  peak.magnitude = -1.0;
  const auto& values = iResponse.values.at(iOutput);
  for (std::size_t t = 0; t < values.size() && t < iResponse.frequencies.size(); ++t) {
    double magnitude = std::abs(values[t]);
    if (magnitude > peak.magnitude) {
      peak.magnitude = magnitude;
      peak.frequency = iResponse.frequencies[t];
    }
  }
  if (peak.magnitude < 0.0) peak.magnitude = std::nan("");
  return peak;
}

void WriteCsv(const Response& iResponse, const TextSink& iSink,
              const std::function<void(std::size_t, std::size_t)>& iProgress) {
  TextWriter out(iSink);
  out << "frequency_hz";
  for (const Output& o : iResponse.outputs) {
    const std::string label = OutputLabel(o);
    out << ',' << label << "_re," << label << "_im," << label << "_abs," << label << "_phase_deg";
  }
  out << '\n';
  const std::size_t rows = iResponse.frequencies.size();
  // Room for a whole row: 4 numbers and 4 commas per output, the frequency
  // and the newline.
  const std::size_t rowMax = (4 * iResponse.values.size() + 1) * (kGeneralMax + 1) + 1;
  std::size_t shown = 0;
  for (std::size_t t = 0; t < rows; ++t) {
    char* p = out.Reserve(rowMax);
    p = WriteGeneral(p, iResponse.frequencies[t], 17);
    for (const auto& column : iResponse.values) {
      const std::complex<double>& u = column[t];
      *p++ = ',';
      p = WriteGeneral(p, u.real(), 17);
      *p++ = ',';
      p = WriteGeneral(p, u.imag(), 17);
      *p++ = ',';
      p = WriteGeneral(p, std::abs(u), 17);
      *p++ = ',';
      p = WriteGeneral(p, PhaseDeg(u), 17);
    }
    *p++ = '\n';
    out.Commit(p);
    if (out.Spill() && iProgress) iProgress(shown = t + 1, rows);
  }
  out.Flush();
  if (iProgress && shown != rows) iProgress(rows, rows);
}

std::string CsvText(const Response& iResponse) {
  std::string text;
  WriteCsv(iResponse, [&text](const char* iData, std::size_t iSize) { text.append(iData, iSize); });
  return text;
}

namespace {

// /dev/stdout, /dev/fd/N, /proc/self/fd/N and the like name an open file of
// the process, even where they lead to a plain file: written in place, the
// bytes go where the caller sent that file.
bool InPlace(const std::string& iPath) { return iPath.rfind("/dev/", 0) == 0 || iPath.rfind("/proc/", 0) == 0; }

}  // namespace

std::string OutputTarget(const std::string& iPath) {
  std::string path = iPath;
  // At most 40 links, as the system follows them.
  for (int hop = 0; hop < 40; ++hop) {
    struct stat info;
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    std::vector<char> link(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 4095) + 1);
    ssize_t n = readlink(path.c_str(), link.data(), link.size());
    if (n < 0 || static_cast<std::size_t>(n) >= link.size()) return path;
    std::string target(link.data(), static_cast<std::size_t>(n));
    path = target[0] == '/' || path.find('/') == std::string::npos ? target : Directory(path) + "/" + target;
  }
  return path;
}

void CheckOutputPath(const std::string& iPath, const std::string& iOption, const std::vector<std::string>& iInputs) {
  struct stat out;
  if (stat(iPath.c_str(), &out) == 0) {
    for (const std::string& input : iInputs) {
      struct stat in;
      if (!input.empty() && stat(input.c_str(), &in) == 0 && in.st_dev == out.st_dev && in.st_ino == out.st_ino)
        throw OutputError(iOption + " " + iPath + ": is the input " + input + ", which it would overwrite");
    }
    if (!S_ISREG(out.st_mode) || InPlace(iPath)) return;  // written in place
  }
  const std::string dir = Directory(OutputTarget(iPath));
  if (access(dir.c_str(), W_OK) != 0)
    throw OutputError(iOption + " " + iPath + ": the directory " + dir + " does not exist or cannot be written");
}

void WriteColumnsCsv(const std::string& iAbscissaName, int iAbscissaDigits, const std::vector<double>& iAbscissae,
                     const std::vector<std::string>& iNames, const std::vector<std::vector<double>>& iColumns,
                     const TextSink& iSink) {
  TextWriter out(iSink);
  out << iAbscissaName;
  for (const std::string& name : iNames) out << ',' << name;
  out << '\n';
  const std::size_t rowMax = (iColumns.size() + 1) * (kGeneralMax + 1) + 1;
  for (std::size_t t = 0; t < iAbscissae.size(); ++t) {
    char* p = WriteGeneral(out.Reserve(rowMax), iAbscissae[t], iAbscissaDigits);
    for (const std::vector<double>& column : iColumns) {
      *p++ = ',';
      p = WriteGeneral(p, column[t], 17);
    }
    *p++ = '\n';
    out.Commit(p);
    out.Spill();
  }
  out.Flush();
}

std::string ColumnsCsv(const std::string& iAbscissaName, int iAbscissaDigits, const std::vector<double>& iAbscissae,
                       const std::vector<std::string>& iNames, const std::vector<std::vector<double>>& iColumns) {
  std::string text;
  WriteColumnsCsv(iAbscissaName, iAbscissaDigits, iAbscissae, iNames, iColumns,
                  [&text](const char* iData, std::size_t iSize) { text.append(iData, iSize); });
  return text;
}

bool WrittenInPlace(const std::string& iPath) {
  struct stat info;
  return (stat(OutputTarget(iPath).c_str(), &info) == 0 && !S_ISREG(info.st_mode)) || InPlace(iPath);
}

OutputFile::OutputFile(const std::string& iPath, const std::string& iOption) : _Path(iPath), _Option(iOption) {
  const std::string target = OutputTarget(iPath);
  if (WrittenInPlace(iPath)) {
    _Fd = open(target.c_str(), O_WRONLY | O_CLOEXEC);
    if (_Fd < 0) throw OutputError(_Option + " " + _Path + ": cannot be written (" + Reason() + ")");
    return;
  }
  _Temp = target + ".tmp-" + std::to_string(getpid());
  // Known to the signal handler before it exists.
  _Slot = Remember(_Temp);
  _Fd = open(_Temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (_Fd < 0) {
    std::string why = Reason();
    Forget(_Slot);
    throw OutputError(_Option + " " + _Path + ": cannot be written (" + why + ")");
  }
}

OutputFile::~OutputFile() {
  if (_Fd >= 0) close(_Fd);
  if (!_Temp.empty()) unlink(_Temp.c_str());
  Forget(_Slot);
}

void OutputFile::Write(const char* iData, std::size_t iSize) {
  while (iSize > 0) {
    ssize_t n = write(_Fd, iData, iSize);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw OutputError(_Option + " " + _Path + ": cannot be written (" + Reason() + ")");
    iData += n;
    iSize -= static_cast<std::size_t>(n);
  }
}

void OutputFile::Commit() {
  int fd = _Fd;
  _Fd = -1;
  if (close(fd) != 0) throw OutputError(_Option + " " + _Path + ": cannot be written (" + Reason() + ")");
  if (_Temp.empty()) return;
  if (std::rename(_Temp.c_str(), OutputTarget(_Path).c_str()) != 0)
    throw OutputError(_Option + " " + _Path + ": cannot be written (" + Reason() + ")");
  _Temp.clear();
  Forget(_Slot);
  _Slot = -1;
}

void WriteFileAtomically(const std::string& iPath, const std::string& iContent) {
  OutputFile file(iPath, "output");
  file.Write(iContent.data(), iContent.size());
  file.Commit();
}

void RemoveTemporariesOnSignals() {
  struct sigaction action {};
  action.sa_handler = RemoveTemporariesAndExit;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&action.sa_mask, signal);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

std::string FindProgram(const std::string& iName) {
  const char* path = std::getenv("PATH");
  if (!path) return std::string();
  std::stringstream dirs(path);
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    if (dir.empty()) continue;
    std::string candidate = dir + "/" + iName;
    struct stat info;
    if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
        access(candidate.c_str(), X_OK) == 0)
      return candidate;
  }
  return std::string();
}

void CheckPlotPossible(const std::string& iPath) {
  std::string extension = Extension(iPath);
  if (extension != ".svg" && extension != ".png")
    throw OutputError("--plot " + iPath + ": the file name must end in .svg or .png");
  if (FindProgram("gnuplot").empty())
    throw OutputError("--plot needs gnuplot, which is not on PATH (Debian package gnuplot-nox)");
}

namespace {

// The unit of an output's quantity: L, L/T, L/T^2 (A for a rotation); empty
// when the model names no unit for it.
std::string UnitOf(const Output& iOutput, const Units& iUnits) {
  const std::string& base = iOutput.component > 3 ? iUnits.angle : iUnits.length;
  if (base.empty()) return std::string();
  if (iOutput.quantity == Quantity::Displacement) return base;
  if (iUnits.time.empty()) return std::string();
  return base + "/" + iUnits.time + (iOutput.quantity == Quantity::Acceleration ? "^2" : "");
}

std::string QuantityName(const Output& iOutput) {
  const bool rotation = iOutput.component > 3;
  switch (iOutput.quantity) {
    case Quantity::Velocity: return rotation ? "angular velocity" : "velocity";
    case Quantity::Acceleration: return rotation ? "angular acceleration" : "acceleration";
    default: return rotation ? "rotation" : "displacement";
  }
}

}  // namespace

std::string BodeScript(const Response& iResponse, const std::string& iTitle, const Units& iUnits,
                       const std::string& iData, const std::string& iImage, bool iSvg) {
  double low = 0.0, high = 0.0;
  if (!iResponse.frequencies.empty()) {
    low = iResponse.frequencies.front();
    high = iResponse.frequencies.back();
  }
  // One name and unit on the magnitude axis when every output shares them.
  std::string axis;
  for (std::size_t o = 0; o < iResponse.outputs.size(); ++o) {
    const Output& out = iResponse.outputs[o];
    const std::string unit = UnitOf(out, iUnits);
    const std::string name = QuantityName(out) + " amplitude" + (unit.empty() ? "" : " (" + unit + ")");
    axis = o == 0 || axis == name ? name : "magnitude";
  }
  std::ostringstream s;
  if (iSvg)
    s << "set terminal svg size 960,800 dynamic noenhanced font 'sans,11' background rgb 'white'\n";
  else
    s << "set terminal pngcairo size 960,800 noenhanced font 'sans,10' background rgb 'white'\n";
  s << "set output " << GnuplotQuote(iImage) << "\n";
  // A sweep over a decade or more reads better on a logarithmic axis.
  if (low > 0.0 && high / low >= 10.0) s << "set logscale x\n";
  if (low < high) s << "set xrange [" << Format17(low) << ":" << Format17(high) << "]\n";
  s << "set grid xtics ytics mxtics mytics\n";
  s << "set datafile separator ','\n";
  s << "set lmargin 12\nset rmargin 4\n";
  s << "set multiplot layout 2,1 title " << GnuplotQuote(iTitle + " - harmonic response") << "\n";
  auto curves = [&](int iColumn, bool iTitles) {
    s << "plot ";
    for (std::size_t o = 0; o < iResponse.outputs.size(); ++o) {
      const Output& out = iResponse.outputs[o];
      const std::string unit = UnitOf(out, iUnits);
      const std::string title = OutputLabel({out.node, out.component}) + " " + QuantityName(out) +
                                (out.motion == Motion::Relative ? ", relative" : "") + (unit.empty() ? "" : " (" + unit + ")");
      s << (o ? ", \\\n     " : "") << GnuplotQuote(iData) << " skip 1 using 1:" << iColumn + 4 * static_cast<int>(o)
        << " with lines linewidth 1.5 linecolor " << o + 1 << (iTitles ? " title " + GnuplotQuote(title) : std::string(" notitle"));
    }
    s << "\n";
  };
  s << "set key top right\n";
  s << "set format x ''\n";
  s << "set ylabel " << GnuplotQuote(axis) << "\n";
  s << "set logscale y\nset format y '%g'\n";
  curves(4, true);
  s << "unset logscale y\nset format x '%g'\n";
  s << "set xlabel 'frequency (Hz)'\n";
  s << "set ylabel 'phase (deg)'\n";
  s << "set yrange [-180:180]\nset ytics 90\n";
  curves(5, false);
  s << "unset multiplot\nset output\n";
  return s.str();
}

namespace {

// Draws the CSV iCsv writes at iPath with gnuplot: iScript(data path, image path, svg)
// gives the script, which draws into a temporary of ours, copied to the
// output once made; gnuplot's own words when it cannot.
void Draw(const TextSource& iCsv, const std::string& iPath,
          const std::function<std::string(const std::string&, const std::string&, bool)>& iScript) {
  CheckPlotPossible(iPath);
  const std::string gnuplot = FindProgram("gnuplot");
  TempFile data(".csv");
  data.Write(iCsv);
  TempFile log(".log");
  const bool svg = Extension(iPath) == ".svg";
  TempFile drawing(svg ? ".svg" : ".png");
  const std::string image = drawing.Path();
  TempFile script(".gp");
  script.Write(iScript(data.Path(), image, svg));

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, log.Path().c_str(), O_WRONLY | O_TRUNC, 0);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  std::string scriptPath = script.Path();
  char* argv[] = {const_cast<char*>(gnuplot.c_str()), const_cast<char*>(scriptPath.c_str()), nullptr};
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, gnuplot.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) throw OutputError("cannot run " + gnuplot + ": " + std::strerror(spawned));
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  struct stat info;
  const bool made = stat(image.c_str(), &info) == 0 && info.st_size > 0;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || !made) {
    std::ifstream in(log.Path());
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    throw OutputError("gnuplot could not draw " + iPath + (text.empty() ? std::string() : ":\n" + text));
  }
  std::ifstream in(image, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  OutputFile out(iPath, "--plot");
  out.Write(bytes.data(), bytes.size());
  out.Commit();
}

}  // namespace

void PlotResponse(const Response& iResponse, const std::string& iTitle, const std::string& iPath, const Units& iUnits) {
  Draw([&iResponse](const TextSink& iSink) { WriteCsv(iResponse, iSink); }, iPath, [&](const std::string& iData, const std::string& iImage, bool iSvg) {
    return BodeScript(iResponse, iTitle, iUnits, iData, iImage, iSvg);
  });
}

void PlotCurves(const TextSource& iCsv, const std::vector<std::string>& iTitles, const PlotAxes& iAxes,
                const std::string& iPath) {
  Draw(iCsv, iPath, [&](const std::string& iData, const std::string& iImage, bool iSvg) {
    std::ostringstream s;
    if (iSvg)
      s << "set terminal svg size 960,600 dynamic noenhanced font 'sans,11' background rgb 'white'\n";
    else
      s << "set terminal pngcairo size 960,600 noenhanced font 'sans,10' background rgb 'white'\n";
    s << "set output " << GnuplotQuote(iImage) << "\n"
      << "set title " << GnuplotQuote(iAxes.title) << "\n"
      << "set xlabel " << GnuplotQuote(iAxes.x) << "\n"
      << "set ylabel " << GnuplotQuote(iAxes.y) << "\n"
      << "set format y '%g'\n";
    if (iAxes.logX) s << "set logscale x\n";
    if (iAxes.logY) s << "set logscale y\n";
    s << "set grid xtics ytics mxtics mytics\nset key top right\nset datafile separator ','\nplot ";
    for (std::size_t c = 0; c < iTitles.size(); ++c)
      s << (c ? ", \\\n     " : "") << GnuplotQuote(iData) << " skip 1 using 1:" << c + 2
        << " with lines linewidth 1.5 title " << GnuplotQuote(iTitles[c]);
    s << "\nset output\n";
    return s.str();
  });
}

}  // namespace vokdyn
