#ifndef VOKDYNModelGenerator_h
#define VOKDYNModelGenerator_h
// Large models made to order, for benchmarks, tests and examples: a tower of
// nodes with closed-form mode shapes, a load at the top, base motion along
// two axes, a log sweep and a few outputs. Every number follows from the
// sizes alone, so two calls give the same model to the last bit.
#include <string>

#include "VOKDYNModel.h"

namespace vokdyn {

struct TowerSize {
  int nodes = 25000;       ///< >= 2, stacked along z
  int modes = 40;          ///< >= 1
  int frequencies = 736;   ///< >= 2, log-spaced from 0.2 to 50 Hz
  int outputs = 3;         ///< 1..min(nodes, 6 * nodes)
  bool participation = false;  ///< give every mode's participation factors (from the nodal masses)
};

/// The tower of iSize. Node i (id i, 1..nodes) at z = 0.5 i with lumped
/// mass 1000 and rotary inertia 10; mode j (1..modes) at 0.5 (2j - 1) Hz with
/// shape components of a = (2j - 1) pi i / (2 nodes + 1):
///   UX sin a, UY 0.5 sin(a + 0.25 j), UZ 0.1 cos a,
///   RX 0.01 sin 2a, RY 0.01 cos(2a + j), RZ 0.001 sin 3a,
/// and generalised mass sum_i 1000 (UX^2 + UY^2 + UZ^2) + 10 (RX^2 + RY^2 + RZ^2).
/// 2 % modal damping; participation factors left to the nodal masses, or
/// given, computed as a run computes them from the masses (same bits).
/// Throws std::invalid_argument for sizes out of range.
Model GenerateTower(const TowerSize& iSize);

/// Writes the tower of iSize as WriteModelFiles writes GenerateTower(iSize),
/// the same bytes; with iShapesFile the shapes are computed row by row and
/// streamed to the .npy, never held whole, and the model file written after.
void WriteTowerFiles(const TowerSize& iSize, const std::string& iJsonPath, const std::string& iShapesFile,
                     const std::string& iComment);

/// Writes iModel to iJsonPath; with iShapesFile (a bare file name), the mode
/// shapes go to that .npy file in the same directory and the model refers to
/// it. Throws std::runtime_error when a file cannot be written.
void WriteModelFiles(const Model& iModel, const std::string& iJsonPath,
                     const std::string& iShapesFile, const std::string& iComment);

}  // namespace vokdyn

#endif
