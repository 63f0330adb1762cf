#ifndef VOKDYNModelText_h
#define VOKDYNModelText_h
// The embedded default model and the writing of a model as a model file.
#include <string>

#include "VOKDYNModel.h"

namespace vokdyn {

/// The shear building of the default model: equal storey masses and
/// stiffnesses, fixed to a moving base, free at the top.
struct ShearBuilding {
  int storeys = 6;
  double storeyMass = 1.0e5;       ///< kg
  double storeyStiffness = 7.0e7;  ///< N/m, between consecutive storeys
  double storeyHeight = 3.5;       ///< m
};

/// The embedded default model: the building above on a base moving
/// horizontally (acceleration shaped by a frequency table), a harmonic load
/// at the top storey with a phase, 2 % modal damping, a log sweep across all
/// six resonances, outputs at the top and at a middle storey. Its modes are
/// the closed forms
///   omega_j = 2 sqrt(k/m) sin((2j-1) pi / (2(2n+1))),
///   phi_j(i) = sin((2j-1) i pi / (2n+1)) at storey i.
Model DefaultModel();

/// A model file that loads back into iModel (numbers in their shortest form
/// that reads back to the same double). iComment, when not empty, opens the
/// file as // comment lines. Implicit modulations are left out. With
/// iShapesFile, the modal base refers to that .npy file for its mode shapes
/// (which the caller writes, see EncodeModeShapes) instead of holding them.
std::string WriteModelText(const Model& iModel, const std::string& iComment,
                           const std::string& iShapesFile = std::string());

/// The same, written to the file iPath through a buffer of about a
/// megabyte (a model of any size). Throws std::runtime_error when the file
/// cannot be written.
void WriteModelTextFile(const Model& iModel, const std::string& iPath, const std::string& iComment,
                        const std::string& iShapesFile = std::string());

/// The shortest decimal form of iValue that reads back to the same double.
std::string ShortestNumber(double iValue);

}  // namespace vokdyn

#endif
