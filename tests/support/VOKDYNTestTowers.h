#ifndef VOKDYNTestTowers_h
#define VOKDYNTestTowers_h
// Model files for the command-line tool's tests: small generated towers, and
// what the loader makes of a text or a file, so that a refusal is compared as
// its message.
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

}  // namespace vokdyn_test

#endif
