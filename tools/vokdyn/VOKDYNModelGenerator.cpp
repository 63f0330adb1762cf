#include "VOKDYNModelGenerator.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "VOKDYNModelText.h"
#include "VOKDYNNpy.h"

namespace vokdyn {

namespace {

void WriteFile(const std::string& iPath, const std::string& iBytes) {
  std::FILE* f = std::fopen(iPath.c_str(), "wb");
  if (!f) throw std::runtime_error(iPath + ": cannot be written (" + std::strerror(errno) + ")");
  bool ok = std::fwrite(iBytes.data(), 1, iBytes.size(), f) == iBytes.size();
  ok = std::fclose(f) == 0 && ok;
  if (!ok) throw std::runtime_error(iPath + ": cannot be written");
}

}  // namespace

namespace {

constexpr double kPi = 3.141592653589793, kMass = 1000.0, kInertia = 10.0;

// What follows the modes: damping, modulations, excitations, sweep and
// outputs.
void FinishTower(const TowerSize& iSize, Model& model) {
  const int n = iSize.nodes;
  model.damping.type = DampingType::Modal;
  model.damping.percent = 2.0;

  // The modulations in the loader's order: the named one, then the implicit
  // constant that the excitations without a modulation share.
  Modulation ground;
  ground.name = "ground";
  ground.points = {{0.1, 0.5}, {2.0, 1.0}, {20.0, 0.3}};
  model.modulations.push_back(ground);
  model.modulations.push_back(ImplicitConstant());

  Load load;
  load.name = "top shaker";
  load.phaseDeg = 30.0;
  load.modulation = 1;
  load.forces.push_back({n, {2000.0, 1000.0, 0.0, 0.0, 0.0, 500.0}});
  model.loads.push_back(load);

  model.baseMotion.present = true;
  BaseDirection x;
  x.direction = 1;
  x.modulation = 0;
  BaseDirection y;
  y.direction = 2;
  y.amplitude = 0.5;
  y.phaseDeg = 90.0;
  y.modulation = 1;
  model.baseMotion.directions = {x, y};

  model.sweep.isRange = true;
  model.sweep.from = 0.2;
  model.sweep.to = 50.0;
  model.sweep.steps = iSize.frequencies;
  model.sweep.spacing = Spacing::Log;

  const int components[6] = {1, 2, 6, 3, 4, 5};
  const int step = n / iSize.outputs;
  for (int k = 0; k < iSize.outputs; ++k) model.outputs.push_back({n - k * step, components[k % 6]});
}


// Row i (1..n) of mode j (1..modes) of a tower of n nodes.
void TowerRow(int iMode, int iNode, int iNodes, double oRow[6]) {
  const int j = iMode, i = iNode;
  double a = (2 * j - 1) * kPi * i / (2 * iNodes + 1);
  const Vec6 row = {std::sin(a), 0.5 * std::sin(a + 0.25 * j), 0.1 * std::cos(a),
                    0.01 * std::sin(2 * a), 0.01 * std::cos(2 * a + j), 0.001 * std::sin(3 * a)};
  std::copy(row.begin(), row.end(), oRow);
}

// The model without its shapes: the modes' frequencies alone.
Model TowerWithoutShapes(const TowerSize& iSize) {
  const int n = iSize.nodes, modes = iSize.modes;
  if (n < 2 || modes < 1 || iSize.frequencies < 2 || iSize.outputs < 1 || iSize.outputs > n)
    throw std::invalid_argument("GenerateTower: sizes out of range");
  Model model;
  model.name = "tower of " + std::to_string(n) + " nodes and " + std::to_string(modes) + " modes";
  model.nodes.reserve(static_cast<std::size_t>(n));
  for (int i = 1; i <= n; ++i) {
    Node node;
    node.id = i;
    node.xyz = {0.0, 0.0, 0.5 * i};
    node.hasMass = true;
    node.mass = {kMass, kMass, kMass, kInertia, kInertia, kInertia};
    model.nodes.push_back(node);
  }
  model.base.name = "tower modes";
  for (int j = 1; j <= modes; ++j) {
    Mode mode;
    mode.frequency = 0.5 * (2 * j - 1);
    model.base.modes.push_back(mode);
  }
  FinishTower(iSize, model);
  return model;
}

// Mode j (1..modes) row by row into iSink(row), its generalised mass and,
// when asked for, its participation factors into the mode.
template <class Sink>
void StreamMode(const TowerSize& iSize, int iMode, Model& ioModel, const Sink& iSink) {
  const int n = iSize.nodes;
  Mode& mode = ioModel.base.modes[static_cast<std::size_t>(iMode - 1)];
  double generalized = 0.0, gamma[6] = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
  for (int i = 1; i <= n; ++i) {
    double row[6];
    TowerRow(iMode, i, n, row);
    generalized += kMass * (row[0] * row[0] + row[1] * row[1] + row[2] * row[2]) +
                   kInertia * (row[3] * row[3] + row[4] * row[4] + row[5] * row[5]);
    if (iSize.participation) AddParticipationTerms(row, &ioModel.nodes[static_cast<std::size_t>(i - 1)], 1, gamma);
    iSink(row);
  }
  mode.generalizedMass = generalized;
  double omega = kTwoPi * mode.frequency;
  mode.generalizedStiffness = generalized * (omega * omega);  // as the loader computes it
  if (iSize.participation) {
    mode.hasParticipation = true;
    std::copy(gamma, gamma + 6, mode.participation.begin());
  }
}

}  // namespace

Model GenerateTower(const TowerSize& iSize) {
  Model model = TowerWithoutShapes(iSize);
  const std::size_t n = static_cast<std::size_t>(iSize.nodes), modes = static_cast<std::size_t>(iSize.modes);
  std::vector<double> values;
  values.reserve(modes * n * 6);
  for (int j = 1; j <= iSize.modes; ++j)
    StreamMode(iSize, j, model, [&values](const double* iRow) { values.insert(values.end(), iRow, iRow + 6); });
  model.base.shapes = ModeShapes(std::move(values), modes, n);
  return model;
}

void WriteTowerFiles(const TowerSize& iSize, const std::string& iJsonPath, const std::string& iShapesFile,
                     const std::string& iComment) {
  if (iShapesFile.empty()) {
    WriteModelFiles(GenerateTower(iSize), iJsonPath, "", iComment);
    return;
  }
  Model model = TowerWithoutShapes(iSize);
  std::size_t slash = iJsonPath.find_last_of('/');
  const std::string path = (slash == std::string::npos ? std::string() : iJsonPath.substr(0, slash + 1)) + iShapesFile;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) throw std::runtime_error(path + ": cannot be written (" + std::strerror(errno) + ")");
  // Rows go out through a buffer of a few megabytes: the shapes are never
  // held whole.
  constexpr std::size_t kBuffer = std::size_t(1) << 23;
  std::string buffer = NpyShapesHeader(static_cast<std::size_t>(iSize.modes), static_cast<std::size_t>(iSize.nodes));
  buffer.reserve(kBuffer + 64);
  bool ok = true;
  auto flush = [&] {
    ok = ok && std::fwrite(buffer.data(), 1, buffer.size(), f) == buffer.size();
    buffer.clear();
  };
  for (int j = 1; j <= iSize.modes; ++j)
    StreamMode(iSize, j, model, [&](const double* iRow) {
      AppendLittleEndian(buffer, iRow, 6);
      if (buffer.size() >= kBuffer) flush();
    });
  flush();
  ok = std::fclose(f) == 0 && ok;
  if (!ok) throw std::runtime_error(path + ": cannot be written");
  WriteModelTextFile(model, iJsonPath, iComment, iShapesFile);
}

void WriteModelFiles(const Model& iModel, const std::string& iJsonPath,
                     const std::string& iShapesFile, const std::string& iComment) {
  if (!iShapesFile.empty()) {
    std::size_t slash = iJsonPath.find_last_of('/');
    std::string dir = slash == std::string::npos ? std::string() : iJsonPath.substr(0, slash + 1);
    WriteFile(dir + iShapesFile, EncodeModeShapes(iModel.base.shapes));
  }
  WriteModelTextFile(iModel, iJsonPath, iComment, iShapesFile);
}

}  // namespace vokdyn
