#include "VOKDYNModelText.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include <nlohmann/json.hpp>

namespace vokdyn {

std::string ShortestNumber(double iValue) {
  // Negative zero keeps its sign only in the form of a real number.
  if (iValue == 0.0) return std::signbit(iValue) ? "-0.0" : "0";
  char buffer[40];
  // Whole numbers in plain digits (100000 rather than 1e+05).
  if (std::fabs(iValue) < 1e15 && iValue == std::trunc(iValue)) {
    std::snprintf(buffer, sizeof buffer, "%.0f", iValue);
    return buffer;
  }
  for (int precision = 1; precision <= 17; ++precision) {
    std::snprintf(buffer, sizeof buffer, "%.*g", precision, iValue);
    if (std::strtod(buffer, nullptr) == iValue) break;
  }
  return buffer;
}

Model DefaultModel() {
  const ShearBuilding b;
  const int n = b.storeys;
  Model model;
  model.name = "six-storey shear building on a moving base";
  for (int i = 1; i <= n; ++i) {
    Node node;
    node.id = i;
    node.xyz = {0.0, 0.0, b.storeyHeight * i};
    node.hasMass = true;
    node.mass = {b.storeyMass, b.storeyMass, b.storeyMass, 0.0, 0.0, 0.0};
    model.nodes.push_back(node);
  }
  model.base.name = "shear building modes";
  const double pi = 3.141592653589793;
  for (int j = 1; j <= n; ++j) {
    Mode mode;
    double omega = 2.0 * std::sqrt(b.storeyStiffness / b.storeyMass) *
                   std::sin((2 * j - 1) * pi / (2 * (2 * n + 1)));
    mode.frequency = omega / kTwoPi;
    for (int i = 1; i <= n; ++i) {
      double phi = std::sin((2 * j - 1) * i * pi / (2 * n + 1));
      mode.shape.push_back({phi, 0.0, 0.0, 0.0, 0.0, 0.0});
    }
    // phi^T M phi in closed form: the sum of sin^2 over the storeys is (2n+1)/4.
    double mass = b.storeyMass * (2 * n + 1) / 4.0;
    mode.generalizedMass = mass;
    mode.generalizedStiffness = mass * (omega * omega);
    mode.stiffnessGiven = true;
    model.base.modes.push_back(mode);
  }
  model.damping.type = DampingType::Modal;
  model.damping.percent = 2.0;

  // Ground acceleration whose content rises to a plateau between 1.5 and
  // 4 Hz and falls off above.
  Modulation ground;
  ground.name = "ground";
  ground.points = {{0.5, 0.4}, {1.5, 1.0}, {4.0, 1.0}, {10.0, 0.3}};
  model.modulations.push_back(ground);
  model.modulations.push_back(ImplicitConstant());

  model.baseMotion.present = true;
  BaseDirection dir;
  dir.direction = 1;
  dir.amplitude = 1.0;  // m/s^2
  dir.phaseDeg = 0.0;
  dir.modulation = 0;
  model.baseMotion.directions.push_back(dir);

  Load load;
  load.name = "roof shaker";
  load.amplitude = 1.0;
  load.phaseDeg = 30.0;
  load.modulation = 1;
  NodalForce force;
  force.node = n;
  force.values = {5.0e4, 0.0, 0.0, 0.0, 0.0, 0.0};  // N
  load.forces.push_back(force);
  model.loads.push_back(load);

  model.sweep.isRange = true;
  model.sweep.from = 0.5;
  model.sweep.to = 10.0;
  model.sweep.steps = 800;
  model.sweep.spacing = Spacing::Log;

  model.outputs.push_back({n, 1});
  model.outputs.push_back({n / 2, 1});
  return model;
}

namespace {

std::string Str(const std::string& iText) { return nlohmann::json(iText).dump(); }

template <class C>
std::string Numbers(const C& iValues) {
  std::string out = "[";
  bool first = true;
  for (double v : iValues) {
    if (!first) out += ", ";
    out += ShortestNumber(v);
    first = false;
  }
  return out + "]";
}

std::string Rows(const std::vector<Vec6>& iRows, const std::string& iIndent) {
  std::string out = "[\n";
  for (std::size_t i = 0; i < iRows.size(); ++i)
    out += iIndent + "  " + Numbers(iRows[i]) + (i + 1 < iRows.size() ? ",\n" : "\n");
  return out + iIndent + "]";
}

template <class T>
std::string Common(const Model& iModel, const T& iItem) {
  std::string out = "\"amplitude\": " + ShortestNumber(iItem.amplitude) +
                    ", \"phase_deg\": " + ShortestNumber(iItem.phaseDeg);
  if (iItem.modulation >= 0 && iItem.modulation < static_cast<int>(iModel.modulations.size()) &&
      !iModel.modulations[iItem.modulation].implicit)
    out += ", \"modulation\": " + Str(iModel.modulations[iItem.modulation].name);
  return out;
}

}  // namespace

std::string WriteModelText(const Model& iModel, const std::string& iComment,
                           const std::string& iShapesFile) {
  std::ostringstream o;
  if (!iComment.empty()) {
    std::istringstream lines(iComment);
    std::string line;
    while (std::getline(lines, line)) o << (line.empty() ? "//" : "// " + line) << "\n";
  }
  o << "{\n";
  o << "  \"format\": " << Str(kModelFormat) << ",\n";
  o << "  \"name\": " << Str(iModel.name) << ",\n\n";

  o << "  // Nodes: user id, coordinates, lumped masses (m, m, m, Ixx, Iyy, Izz).\n";
  o << "  \"nodes\": [\n";
  for (std::size_t i = 0; i < iModel.nodes.size(); ++i) {
    const Node& n = iModel.nodes[i];
    o << "    {\"id\": " << n.id << ", \"xyz\": " << Numbers(n.xyz);
    if (n.hasMass) o << ", \"mass\": " << Numbers(n.mass);
    o << "}" << (i + 1 < iModel.nodes.size() ? ",\n" : "\n");
  }
  o << "  ],\n\n";

  if (iShapesFile.empty())
    o << "  // The modal base: per mode its frequency (Hz), generalised mass and stiffness,\n"
         "  // and its shape, one row (UX UY UZ RX RY RZ) per node in node order.\n";
  else
    o << "  // The modal base: per mode its frequency (Hz), generalised mass and stiffness;\n"
         "  // the shapes of all modes in a .npy array beside this file, of shape\n"
         "  // (modes, nodes, 6): one row (UX UY UZ RX RY RZ) per node in node order.\n";
  o << "  \"modal_base\": {\n";
  o << "    \"name\": " << Str(iModel.base.name) << ",\n";
  o << "    \"up_to_date\": " << (iModel.base.upToDate ? "true" : "false")
    << ", \"damping_diagonal\": " << (iModel.base.dampingDiagonal ? "true" : "false") << ",\n";
  if (!iShapesFile.empty()) o << "    \"shapes\": " << Str(iShapesFile) << ",\n";
  o << "    \"modes\": [\n";
  for (std::size_t j = 0; j < iModel.base.modes.size(); ++j) {
    const Mode& m = iModel.base.modes[j];
    o << "      {\"frequency\": " << ShortestNumber(m.frequency)
      << ", \"generalized_mass\": " << ShortestNumber(m.generalizedMass);
    if (m.stiffnessGiven) o << ", \"generalized_stiffness\": " << ShortestNumber(m.generalizedStiffness);
    if (m.hasParticipation) o << ",\n       \"participation\": " << Numbers(m.participation);
    if (iShapesFile.empty()) o << ",\n       \"shape\": " << Rows(m.shape, "       ");
    o << "}" << (j + 1 < iModel.base.modes.size() ? ",\n" : "\n");
  }
  o << "    ]\n  },\n\n";

  const Damping& d = iModel.damping;
  {
    o << "  // Damping: modal in percent of critical, or Rayleigh c = (alpha m + beta k) / 100.\n";
    o << "  \"damping\": {\"type\": " << (d.type == DampingType::Modal ? "\"modal\"" : "\"rayleigh\"");
    if (d.type == DampingType::Modal) {
      if (d.perMode) o << ", \"percent_per_mode\": " << Numbers(d.percentPerMode);
      else o << ", \"percent\": " << ShortestNumber(d.percent);
    } else if (d.perMode) {
      o << ", \"alpha_per_mode\": " << Numbers(d.alphaPerMode)
        << ", \"beta_per_mode\": " << Numbers(d.betaPerMode);
    } else {
      o << ", \"alpha\": " << ShortestNumber(d.alpha) << ", \"beta\": " << ShortestNumber(d.beta);
    }
    o << "},\n\n";
  }

  bool anyModulation = false;
  for (const Modulation& m : iModel.modulations) anyModulation |= !m.implicit;
  if (anyModulation) {
    o << "  // Modulations: factor against frequency (Hz), linear between points, constant outside.\n";
    o << "  \"modulations\": {\n";
    bool first = true;
    for (const Modulation& m : iModel.modulations) {
      if (m.implicit) continue;
      if (!first) o << ",\n";
      first = false;
      o << "    " << Str(m.name) << ": {\"points\": [";
      for (std::size_t i = 0; i < m.points.size(); ++i)
        o << (i ? ", " : "") << Numbers(m.points[i]);
      o << "]}";
    }
    o << "\n  },\n\n";
  }

  if (!iModel.loads.empty()) {
    o << "  // Loads: nodal forces and moments (Fx Fy Fz Mx My Mz) times amplitude, turned by the phase.\n";
    o << "  \"loads\": [\n";
    for (std::size_t i = 0; i < iModel.loads.size(); ++i) {
      const Load& l = iModel.loads[i];
      o << "    {\"name\": " << Str(l.name) << ", " << Common(iModel, l) << ",\n";
      o << "     \"forces\": [";
      for (std::size_t k = 0; k < l.forces.size(); ++k)
        o << (k ? ",\n                " : "") << "{\"node\": " << l.forces[k].node
          << ", \"values\": " << Numbers(l.forces[k].values) << "}";
      o << "]}" << (i + 1 < iModel.loads.size() ? ",\n" : "\n");
    }
    o << "  ],\n\n";
  }

  if (!iModel.enforced.empty()) {
    o << "  // Enforced displacements: amplitude is the enforced acceleration; the static field is\n"
         "  // the displacement of every node for a unit enforced displacement.\n";
    o << "  \"enforced\": [\n";
    for (std::size_t i = 0; i < iModel.enforced.size(); ++i) {
      const Enforced& e = iModel.enforced[i];
      o << "    {\"name\": " << Str(e.name) << ", " << Common(iModel, e) << ",\n";
      o << "     \"static_displacement\": " << Rows(e.staticDisplacement, "     ");
      if (e.hasModalForce) o << ",\n     \"modal_force\": " << Numbers(e.modalForce);
      o << "}" << (i + 1 < iModel.enforced.size() ? ",\n" : "\n");
    }
    o << "  ],\n\n";
  }

  const BaseMotion& b = iModel.baseMotion;
  if (b.present) {
    o << "  // Base motion: accelerations along (1-3) or about (4-6) the axes.\n";
    o << "  \"base_motion\": {\n";
    if (b.axis.given)
      o << "    \"axis\": {\"origin\": " << Numbers(b.axis.origin) << ", \"x\": " << Numbers(b.axis.x)
        << ", \"y\": " << Numbers(b.axis.y) << "},\n";
    o << "    \"directions\": [\n";
    for (std::size_t i = 0; i < b.directions.size(); ++i)
      o << "      {\"direction\": " << b.directions[i].direction << ", "
        << Common(iModel, b.directions[i]) << "}" << (i + 1 < b.directions.size() ? ",\n" : "\n");
    o << "    ]\n  },\n\n";
  }

  o << "  // The frequencies computed (Hz).\n";
  if (iModel.sweep.isRange) {
    o << "  \"sweep\": {\"from\": " << ShortestNumber(iModel.sweep.from)
      << ", \"to\": " << ShortestNumber(iModel.sweep.to) << ", \"steps\": " << iModel.sweep.steps
      << ", \"spacing\": " << (iModel.sweep.spacing == Spacing::Log ? "\"log\"" : "\"linear\"")
      << "},\n\n";
  } else {
    o << "  \"frequencies\": " << Numbers(iModel.sweep.list) << ",\n\n";
  }

  o << "  // Outputs: node and component (1 UX, 2 UY, 3 UZ, 4 RX, 5 RY, 6 RZ).\n";
  o << "  \"outputs\": [";
  for (std::size_t i = 0; i < iModel.outputs.size(); ++i)
    o << (i ? ", " : "") << "{\"node\": " << iModel.outputs[i].node
      << ", \"component\": " << iModel.outputs[i].component << "}";
  o << "]\n}\n";
  return o.str();
}

}  // namespace vokdyn
