#include "VOKDYNOutput.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

extern char** environ;

namespace vokdyn {

namespace {

std::string Format17(double iValue) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.17g", iValue);
  return buffer;
}

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
  }
  ~TempFile() { std::remove(_Path.c_str()); }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const std::string& Path() const { return _Path; }
  void Write(const std::string& iContent) const {
    std::ofstream out(_Path, std::ios::binary | std::ios::trunc);
    out << iContent;
    out.flush();
    if (!out) throw OutputError(_Path + ": cannot be written");
  }

 private:
  std::string _Path;
};

}  // namespace

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

std::string CsvText(const Response& iResponse) {
  std::string out = "frequency_hz";
  for (const Output& o : iResponse.outputs) {
    std::string label = OutputLabel(o);
    out += "," + label + "_re," + label + "_im," + label + "_abs";
  }
  out += "\n";
  for (std::size_t t = 0; t < iResponse.frequencies.size(); ++t) {
    out += Format17(iResponse.frequencies[t]);
    for (const auto& column : iResponse.values) {
      const std::complex<double>& u = column[t];
      out += "," + Format17(u.real()) + "," + Format17(u.imag()) + "," + Format17(std::abs(u));
    }
    out += "\n";
  }
  return out;
}

void WriteFileAtomically(const std::string& iPath, const std::string& iContent) {
  std::string temp = iPath + ".tmp-" + std::to_string(getpid());
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) throw OutputError(iPath + ": cannot be written (" + std::strerror(errno) + ")");
    out << iContent;
    out.flush();
    if (!out) {
      std::remove(temp.c_str());
      throw OutputError(iPath + ": cannot be written");
    }
  }
  if (std::rename(temp.c_str(), iPath.c_str()) != 0) {
    std::string why = std::strerror(errno);
    std::remove(temp.c_str());
    throw OutputError(iPath + ": cannot be written (" + why + ")");
  }
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

void PlotResponse(const Response& iResponse, const std::string& iTitle, const std::string& iPath) {
  CheckPlotPossible(iPath);
  std::string gnuplot = FindProgram("gnuplot");
  TempFile data(".csv");
  data.Write(CsvText(iResponse));
  TempFile log(".log");
  std::string image = iPath + ".tmp-" + std::to_string(getpid());

  double low = 0.0, high = 0.0;
  if (!iResponse.frequencies.empty()) {
    low = iResponse.frequencies.front();
    high = iResponse.frequencies.back();
  }
  std::ostringstream s;
  if (Extension(iPath) == ".svg")
    s << "set terminal svg size 960,600 dynamic noenhanced font 'sans,11' background rgb 'white'\n";
  else
    s << "set terminal pngcairo size 960,600 noenhanced font 'sans,10' background rgb 'white'\n";
  s << "set output " << GnuplotQuote(image) << "\n";
  s << "set title " << GnuplotQuote(iTitle + " - harmonic response") << "\n";
  s << "set xlabel 'frequency (Hz)'\n";
  s << "set ylabel 'displacement amplitude |u|'\n";
  s << "set logscale y\n";
  s << "set format y '%g'\n";
  // A sweep over a decade or more reads better on a logarithmic axis.
  if (low > 0.0 && high / low >= 10.0) s << "set logscale x\n";
  if (low < high) s << "set xrange [" << Format17(low) << ":" << Format17(high) << "]\n";
  s << "set grid xtics ytics mxtics mytics\n";
  s << "set key top right\n";
  s << "set datafile separator ','\n";
  s << "plot ";
  for (std::size_t o = 0; o < iResponse.outputs.size(); ++o) {
    s << (o ? ", \\\n     " : "") << GnuplotQuote(data.Path()) << " skip 1 using 1:"
      << 4 + 3 * o << " with lines linewidth 1.5 title " << GnuplotQuote(OutputLabel(iResponse.outputs[o]));
  }
  s << "\nset output\n";
  TempFile script(".gp");
  script.Write(s.str());

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, log.Path().c_str(), O_WRONLY | O_TRUNC, 0);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  std::string scriptPath = script.Path();
  char* argv[] = {const_cast<char*>(gnuplot.c_str()), const_cast<char*>(scriptPath.c_str()), nullptr};
  pid_t pid = 0;
  int spawned = posix_spawn(&pid, gnuplot.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) throw OutputError("cannot run " + gnuplot + ": " + std::strerror(spawned));
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  struct stat info;
  bool made = stat(image.c_str(), &info) == 0 && info.st_size > 0;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || !made) {
    std::remove(image.c_str());
    std::ifstream in(log.Path());
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    throw OutputError("gnuplot could not draw " + iPath + (text.empty() ? std::string() : ":\n" + text));
  }
  if (std::rename(image.c_str(), iPath.c_str()) != 0) {
    std::string why = std::strerror(errno);
    std::remove(image.c_str());
    throw OutputError(iPath + ": cannot be written (" + why + ")");
  }
}

}  // namespace vokdyn
