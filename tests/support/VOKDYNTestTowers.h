#ifndef VOKDYNTestTowers_h
#define VOKDYNTestTowers_h
// Model files for the command-line tool's tests: small generated towers,
// what the loader makes of a text or a file, so that a refusal is compared as
// its message, and a run of the vokdyn executable.
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "VOKDYNModelGenerator.h"
#include "VOKDYNModelLoader.h"

namespace vokdyn_test {

/// The generated tower of these sizes (every value follows from them).
inline vokdyn::Model SmallTower(int iNodes, int iModes, int iFrequencies, int iOutputs) {
  vokdyn::TowerSize size;
  size.nodes = iNodes;
  size.modes = iModes;
  size.frequencies = iFrequencies;
  size.outputs = iOutputs;
  return vokdyn::GenerateTower(size);
}

/// Runs iLoad (a call that loads a model): the loader's message when it
/// refuses, "(loaded)" when it does not. Other exceptions pass through.
template <class Load>
std::string RefusalOf(Load&& iLoad) {
  try {
    iLoad();
  } catch (const vokdyn::ModelError& e) {
    return e.what();
  }
  return "(loaded)";
}

/// The whole content of a file ("" when absent).
inline std::string ReadText(const std::string& iPath) {
  std::ifstream in(iPath, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

/// What a run of the executable gave.
struct VokdynRun {
  int status = -1;  ///< the exit status; 128 + n for a run ended by signal n
  std::string out, err;
};

/// Runs iExecutable with iArguments (shell words) from the directory iDir,
/// standard input from /dev/null, iEnvironment (assignments) before it.
/// Standard output and error go to files "stdout" and "stderr" in iDir.
inline VokdynRun RunIn(const std::string& iDir, const std::string& iExecutable, const std::string& iArguments,
                       const std::string& iEnvironment = "") {
  std::string command = "cd '" + iDir + "' && " + iEnvironment + " '" + iExecutable + "' " + iArguments +
                        " > stdout 2> stderr < /dev/null";
  int raw = std::system(command.c_str());
  VokdynRun run;
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  run.out = ReadText(iDir + "/stdout");
  run.err = ReadText(iDir + "/stderr");
  return run;
}

/// iText with the first iFrom replaced by iTo ("" when iFrom is not there,
/// so that a row whose edit misses fails visibly).
inline std::string Edited(const std::string& iText, const std::string& iFrom, const std::string& iTo) {
  std::size_t at = iText.find(iFrom);
  if (iFrom.empty()) return iTo;
  return at == std::string::npos ? std::string() : std::string(iText).replace(at, iFrom.size(), iTo);
}

}  // namespace vokdyn_test

#endif
