#ifndef VOKDYNModel_h
#define VOKDYNModel_h
// The model of a harmonic-response run, as read from a model file (or built
// in code for the embedded default model). Plain values: no host object is
// involved until the run builds the stand-in model from it.
//
// Units are the user's own and consistent; frequencies in hertz, phases in
// degrees. Nodes carry six degrees of freedom: UX UY UZ RX RY RZ.
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "VOKDYNShapes.h"

namespace vokdyn {

using Vec3 = std::array<double, 3>;
using Vec6 = std::array<double, 6>;

/// The names of the six components, in degree-of-freedom order.
extern const char* const kComponentNames[6];

/// 2 pi, the factor from hertz to radians per second used everywhere (the
/// excitation tools use the same double).
constexpr double kTwoPi = 6.283185307179586;

/// The one format this version reads and writes.
extern const char* const kModelFormat;

struct Node {
  int id = 0;
  Vec3 xyz{};
  bool hasMass = false;
  Vec6 mass{};  ///< m, m, m, Ixx, Iyy, Izz (lumped)
};

struct Mode {
  double frequency = 0.0;           ///< hertz
  double generalizedMass = 1.0;     ///< m_i
  double generalizedStiffness = 0;  ///< k_i; m_i (2 pi f)^2 when not given
  bool stiffnessGiven = false;
  bool hasParticipation = false;
  Vec6 participation{};             ///< phi^T M r_d about the global origin and axes
};

struct ModalBase {
  std::string name = "modal base";
  bool upToDate = true;
  bool dampingDiagonal = true;
  std::string shapesFile;  ///< the .npy file the shapes were read from, as opened; empty when inline
  bool rotations = true;  ///< false: the nodes have no rotations (solid elements); none may be loaded or asked for
  std::vector<Mode> modes;
  ModeShapes shapes;  ///< one row per node (the model's order) for each mode, held once
};

/// Modal and Rayleigh damping are computed by the library's damping tools;
/// structural damping and a modal damping table by this tool.
enum class DampingType { Modal, Rayleigh, Structural };

struct Damping {
  DampingType type = DampingType::Modal;
  bool perMode = false;
  double percent = 0.0;               ///< modal, global: percent of critical damping
  std::vector<double> percentPerMode;
  double alpha = 0.0, beta = 0.0;     ///< Rayleigh, global: c = (alpha m + beta k) / 100
  std::vector<double> alphaPerMode, betaPerMode;
  double eta = 0.0;                   ///< structural, global: k_i (1 + i eta)
  std::vector<double> etaPerMode;
  std::vector<std::array<double, 2>> table;  ///< modal: (frequency, percent), frequencies increasing; empty: none

  /// Structural damping, or modal damping by a table: computed by this tool,
  /// not by the damping tools.
  bool ComputedByTool() const { return type == DampingType::Structural || !table.empty(); }
};

/// The percent of critical damping a table gives at iFrequency: linear
/// between its points, constant outside them.
double TablePercent(const std::vector<std::array<double, 2>>& iTable, double iFrequency);

/// A piecewise-linear factor of the frequency, constant outside its points.
struct Modulation {
  std::string name;
  std::vector<std::array<double, 2>> points;  ///< (abscissa, factor), abscissae increasing
  bool implicit = false;  ///< attached by the loader where a model names none (constant 1)
};

/// The modulation attached where an excitation names none: factor 1 at every
/// abscissa, named "(constant 1)", marked implicit.
inline Modulation ImplicitConstant() {
  Modulation constant;
  constant.name = "(constant 1)";
  constant.points.push_back({0.0, 1.0});
  constant.implicit = true;
  return constant;
}

struct NodalForce {
  int node = 0;  ///< node id
  Vec6 values{};
};

struct Load {
  std::string name;
  double amplitude = 1.0;
  double phaseDeg = 0.0;
  int modulation = -1;  ///< index into Model::modulations
  std::vector<NodalForce> forces;
  std::vector<double> staticResponse;  ///< K^-1 F at each output (model order); empty: no static correction
};

/// A load set that enforces a displacement field; its amplitude is the
/// enforced acceleration.
struct Enforced {
  std::string name;
  double amplitude = 1.0;
  double phaseDeg = 0.0;
  int modulation = -1;
  std::vector<Vec6> staticDisplacement;  ///< one row per node: the field of a unit displacement
  bool hasModalForce = false;
  std::vector<double> modalForce;        ///< per mode, -phi^T M D
  std::vector<double> staticResponse;    ///< K^-1 (-M D) at each output (model order); empty: no static correction
};

struct Axis {
  bool given = false;
  Vec3 origin{0.0, 0.0, 0.0};
  Vec3 x{1.0, 0.0, 0.0};
  Vec3 y{0.0, 1.0, 0.0};
};

struct BaseDirection {
  int direction = 1;  ///< 1..3 translations along the axes, 4..6 rotations about them
  double amplitude = 1.0;  ///< acceleration
  double phaseDeg = 0.0;
  int modulation = -1;
};

struct BaseMotion {
  bool present = false;
  Axis axis;
  std::vector<BaseDirection> directions;
};

/// Modes: a coarse log sweep merged with points clustered on each mode in
/// range (see ModeClusteredFrequencies), computed once by the loader into
/// Sweep::list.
enum class Spacing { Linear, Log, Modes };

struct Sweep {
  bool isRange = true;  ///< from/to/steps, or an explicit list
  double from = 0.0, to = 0.0;
  int steps = 0;
  Spacing spacing = Spacing::Linear;
  std::vector<double> list;  ///< the frequencies of a list, or of a sweep clustered on the modes
  int pointsPerMode = 0;     ///< Modes: points in each mode's half-power band
};

/// What an output gives: the displacement u, the velocity i omega u or the
/// acceleration -omega^2 u.
enum class Quantity { Displacement, Velocity, Acceleration };

/// "displacement", "velocity", "acceleration": each Quantity's name in model
/// files and summaries, in enumeration order.
extern const char* const kQuantityNames[3];

/// The quantity named iName; false (oQuantity untouched) for another text.
bool QuantityNamed(const std::string& iName, Quantity& oQuantity);

/// Absolute: the whole motion (modal part, support motion, enforced
/// displacements); relative: the modal part only, the motion relative to
/// the moving support or enforced field.
enum class Motion { Absolute, Relative };

struct Output {
  int node = 0;       ///< node id
  int component = 1;  ///< 1..6
  Quantity quantity = Quantity::Displacement;
  Motion motion = Motion::Absolute;
};

/// A named group of nodes (a node set of a finite-element job), in the order
/// given; outputs may name it.
struct Group {
  std::string name;
  std::vector<int> nodes;  ///< node ids
};

/// An element of the mesh on which fields are drawn: its type by the short
/// names of the finite-element results ("he8", "he20", ...; see
/// FrdTypeName) as a number, its node ids in the input deck's order.
struct Element {
  int type = 0;
  std::vector<int> nodes;
};

/// The frequencies at which the response of every node is written.
struct FieldRequest {
  bool present = false;
  std::vector<double> frequencies;  ///< hertz
  bool atPeaks = false;             ///< also the peak frequency of each output
};

/// The names of the model's units, for labels only (never converted); empty
/// when not given.
struct Units {
  std::string length, time, force, angle;
};

struct Model {
  std::string source = "default model";  ///< the file it was read from, as named in messages
  std::string name;
  std::vector<Node> nodes;
  ModalBase base;
  Damping damping;
  std::vector<Modulation> modulations;
  std::vector<Load> loads;
  std::vector<Enforced> enforced;
  BaseMotion baseMotion;
  Sweep sweep;
  std::vector<Output> outputs;
  std::vector<Group> groups;
  std::vector<Element> elements;
  FieldRequest fields;
  Units units;

  /// Position of the node with this id in `nodes` (the first one), -1 when
  /// absent. Looks it up in an index of the ids made at the first call and
  /// made again when `nodes` has moved, changed size or disagrees with it.
  int NodeIndex(int iId) const;
  mutable std::shared_ptr<const struct NodeIdIndex> nodeIdIndex;  ///< NodeIndex's; no part of the model
};

/// Adds the terms of iCount consecutive nodes iNodes, whose rows of a mode
/// shape are iRows (6 values each), to the six participation factors
/// Gamma_d = phi^T M r_d (d = 1..6, about the global origin and axes) of
/// that mode, each a sum over the nodes in order, then the components, of
/// (phi m) r_d: the stand-in's sums to the bit. The sums start at 0.
/// Returns iCount, or the index of the first row holding a value that is
/// not finite (its terms and those after it not added).
std::size_t AddParticipationTerms(const double* iRows, const Node* iNodes, std::size_t iCount, double ioSums[6]);

/// Modes whose sums AddParticipationTermsOfModes forms at once, and rows
/// it adds or leaves as one.
constexpr std::size_t kParticipationLanes = 4;
constexpr std::size_t kParticipationChunk = 64;

/// AddParticipationTerms for kParticipationLanes modes at once, lane l on
/// rows iRows[l] into ioSums[l], each the same bits as alone, in chunks of
/// kParticipationChunk rows. Stops at the first chunk holding a row whose
/// phi m is not finite in some lane (a value not finite, or an overflow)
/// and returns its first row, that chunk not added; iCount when none.
std::size_t AddParticipationTermsOfModes(const double* const iRows[kParticipationLanes], const Node* iNodes,
                                         std::size_t iCount, double ioSums[kParticipationLanes][6]);

/// The frequencies of a sweep, in hertz, each rounded to single precision
/// once: the value every later step uses and prints.
std::vector<float> SweepFrequencies(const Sweep& iSweep);

/// "N<id>_<C>", the prefix of an output's columns, followed by "_vel" or
/// "_acc" for a velocity or an acceleration and "_rel" for relative motion
/// (a displacement in absolute motion has no suffix).
std::string OutputLabel(const Output& iOutput);

}  // namespace vokdyn

#endif
