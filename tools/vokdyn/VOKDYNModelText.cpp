#include "VOKDYNModelText.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string_view>

#include "VOKDYNJson.h"
#include "VOKDYNTextWriter.h"

namespace vokdyn {

namespace {

// Model text, numbers in their shortest exact form; with a file, handed to
// it a megabyte at a time, so that a model of any size is written through a
// fixed amount of memory.
class TextOut {
 public:
  explicit TextOut(std::FILE* iFile = nullptr)
      : _Writer(iFile ? TextWriter::Sink([this, iFile](const char* iData, std::size_t iSize) {
          _Ok = std::fwrite(iData, 1, iSize, iFile) == iSize && _Ok;
        })
                      : TextWriter::Sink()) {}
  TextOut& operator<<(std::string_view iText) {
    _Writer << iText;
    _Writer.Spill();
    return *this;
  }
  TextOut& operator<<(const std::string& iText) { return *this << std::string_view(iText); }
  TextOut& operator<<(const char* iText) { return *this << std::string_view(iText); }
  TextOut& operator<<(int iValue) {
    _Writer << iValue;
    _Writer.Spill();
    return *this;
  }
  TextOut& operator<<(double iValue) {
    _Writer.Shortest(iValue);
    _Writer.Spill();
    return *this;
  }
  // Everything written so far to the file (false when the system refused).
  bool Spill() {
    _Writer.Flush();
    return _Ok;
  }
  std::string& Text() { return _Writer.Text(); }

 private:
  bool _Ok = true;
  TextWriter _Writer;
};

template <class C>
struct NumberList {
  const C& values;
};
template <class C>
NumberList<C> Numbers(const C& iValues) {
  return {iValues};
}
template <class C>
TextOut& operator<<(TextOut& o, const NumberList<C>& iList) {
  o << "[";
  bool first = true;
  for (double v : iList.values) {
    if (!first) o << ", ";
    o << v;
    first = false;
  }
  return o << "]";
}

struct RowList {
  const std::vector<Vec6>& rows;
  const char* indent;
};
RowList Rows(const std::vector<Vec6>& iRows, const char* iIndent) { return {iRows, iIndent}; }
TextOut& operator<<(TextOut& o, const RowList& iList) {
  o << "[\n";
  for (std::size_t i = 0; i < iList.rows.size(); ++i)
    o << iList.indent << "  " << Numbers(iList.rows[i]) << (i + 1 < iList.rows.size() ? ",\n" : "\n");
  return o << iList.indent << "]";
}

// Amplitude, phase and the modulation when it is not the implicit one.
template <class T>
struct CommonKeys {
  const Model& model;
  const T& item;
};
template <class T>
CommonKeys<T> Common(const Model& iModel, const T& iItem) {
  return {iModel, iItem};
}
template <class T>
TextOut& operator<<(TextOut& o, const CommonKeys<T>& iKeys) {
  const T& item = iKeys.item;
  o << "\"amplitude\": " << item.amplitude << ", \"phase_deg\": " << item.phaseDeg;
  if (item.modulation >= 0 && item.modulation < static_cast<int>(iKeys.model.modulations.size()) &&
      !iKeys.model.modulations[item.modulation].implicit)
    o << ", \"modulation\": " << JsonQuote(iKeys.model.modulations[item.modulation].name);
  return o;
}

// The model file, written into o.
void Write(TextOut& o, const Model& iModel, const std::string& iComment, const std::string& iShapesFile) {
  if (!iComment.empty()) {
    std::size_t start = 0;
    while (start < iComment.size()) {
      std::size_t end = iComment.find('\n', start);
      if (end == std::string::npos) end = iComment.size();
      o << (end == start ? "//" : "// ") << std::string_view(iComment).substr(start, end - start) << "\n";
      start = end + 1;
    }
  }
  o << "{\n";
  o << "  \"format\": " << JsonQuote(kModelFormat) << ",\n";
  o << "  \"name\": " << JsonQuote(iModel.name) << ",\n\n";

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
  o << "    \"name\": " << JsonQuote(iModel.base.name) << ",\n";
  o << "    \"up_to_date\": " << (iModel.base.upToDate ? "true" : "false")
    << ", \"damping_diagonal\": " << (iModel.base.dampingDiagonal ? "true" : "false") << ",\n";
  if (!iShapesFile.empty()) o << "    \"shapes\": " << JsonQuote(iShapesFile) << ",\n";
  o << "    \"modes\": [\n";
  for (std::size_t j = 0; j < iModel.base.modes.size(); ++j) {
    const Mode& m = iModel.base.modes[j];
    o << "      {\"frequency\": " << (m.frequency)
      << ", \"generalized_mass\": " << (m.generalizedMass);
    if (m.stiffnessGiven) o << ", \"generalized_stiffness\": " << (m.generalizedStiffness);
    if (m.hasParticipation) o << ",\n       \"participation\": " << Numbers(m.participation);
    if (iShapesFile.empty()) o << ",\n       \"shape\": " << Rows(m.shape, "       ");
    o << "}" << (j + 1 < iModel.base.modes.size() ? ",\n" : "\n");
  }
  o << "    ]\n  },\n\n";

  const Damping& d = iModel.damping;
  {
    o << "  // Damping: modal in percent of critical, or Rayleigh c = (alpha m + beta k) / 100; also\n"
         "  // {\"type\": \"structural\", \"eta\": 0.04} (k (1 + i eta)) and {\"type\": \"modal\", \"table\": [[f, percent], ...]}.\n";
    o << "  \"damping\": {\"type\": "
      << (d.type == DampingType::Modal ? "\"modal\"" : d.type == DampingType::Rayleigh ? "\"rayleigh\"" : "\"structural\"");
    if (d.type == DampingType::Structural) {
      if (d.perMode) o << ", \"eta_per_mode\": " << Numbers(d.etaPerMode);
      else o << ", \"eta\": " << (d.eta);
    } else if (d.type == DampingType::Modal && !d.table.empty()) {
      o << ", \"table\": [";
      for (std::size_t k = 0; k < d.table.size(); ++k)
        o << (k ? ", " : "") << "[" << (d.table[k][0]) << ", " << (d.table[k][1]) << "]";
      o << "]";
    } else if (d.type == DampingType::Modal) {
      if (d.perMode) o << ", \"percent_per_mode\": " << Numbers(d.percentPerMode);
      else o << ", \"percent\": " << (d.percent);
    } else if (d.perMode) {
      o << ", \"alpha_per_mode\": " << Numbers(d.alphaPerMode)
        << ", \"beta_per_mode\": " << Numbers(d.betaPerMode);
    } else {
      o << ", \"alpha\": " << (d.alpha) << ", \"beta\": " << (d.beta);
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
      o << "    " << JsonQuote(m.name) << ": {\"points\": [";
      for (std::size_t i = 0; i < m.points.size(); ++i)
        o << (i ? ", " : "") << Numbers(m.points[i]);
      o << "]}";
    }
    o << "\n  },\n\n";
  }

  if (!iModel.loads.empty()) {
    o << "  // Loads: nodal forces and moments (Fx Fy Fz Mx My Mz) times amplitude, turned by the phase;\n"
         "  // \"static_response\": [K^-1 F at each output] adds the static part of the modes left out.\n";
    o << "  \"loads\": [\n";
    for (std::size_t i = 0; i < iModel.loads.size(); ++i) {
      const Load& l = iModel.loads[i];
      o << "    {\"name\": " << JsonQuote(l.name) << ", " << Common(iModel, l) << ",\n";
      o << "     \"forces\": [";
      for (std::size_t k = 0; k < l.forces.size(); ++k)
        o << (k ? ",\n                " : "") << "{\"node\": " << l.forces[k].node
          << ", \"values\": " << Numbers(l.forces[k].values) << "}";
      o << "]";
      if (!l.staticResponse.empty()) o << ",\n     \"static_response\": " << Numbers(l.staticResponse);
      o << "}" << (i + 1 < iModel.loads.size() ? ",\n" : "\n");
    }
    o << "  ],\n\n";
  }

  if (!iModel.enforced.empty()) {
    o << "  // Enforced displacements: amplitude is the enforced acceleration; the static field is\n"
         "  // the displacement of every node for a unit enforced displacement.\n";
    o << "  \"enforced\": [\n";
    for (std::size_t i = 0; i < iModel.enforced.size(); ++i) {
      const Enforced& e = iModel.enforced[i];
      o << "    {\"name\": " << JsonQuote(e.name) << ", " << Common(iModel, e) << ",\n";
      o << "     \"static_displacement\": " << Rows(e.staticDisplacement, "     ");
      if (e.hasModalForce) o << ",\n     \"modal_force\": " << Numbers(e.modalForce);
      if (!e.staticResponse.empty()) o << ",\n     \"static_response\": " << Numbers(e.staticResponse);
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

  o << "  // The frequencies computed (Hz). {\"from\": f0, \"to\": f1, \"spacing\": \"modes\", \"points_per_mode\": 7}\n"
       "  // clusters points on each mode's half-power band, so that no peak is stepped over.\n";
  if (iModel.sweep.isRange) {
    o << "  \"sweep\": {\"from\": " << (iModel.sweep.from)
      << ", \"to\": " << (iModel.sweep.to) << ", \"steps\": " << iModel.sweep.steps
      << ", \"spacing\": "
      << (iModel.sweep.spacing == Spacing::Log     ? "\"log\""
          : iModel.sweep.spacing == Spacing::Modes ? "\"modes\", \"points_per_mode\": " + std::to_string(iModel.sweep.pointsPerMode)
                                                   : "\"linear\"")
      << "},\n\n";
  } else {
    o << "  \"frequencies\": " << Numbers(iModel.sweep.list) << ",\n\n";
  }

  const Units& u = iModel.units;
  if (!u.length.empty() || !u.time.empty() || !u.force.empty() || !u.angle.empty()) {
    o << "  // The units' names, for the plot's labels only (nothing is converted).\n";
    o << "  \"units\": {";
    const std::pair<const char*, const std::string*> names[] = {
        {"length", &u.length}, {"time", &u.time}, {"force", &u.force}, {"angle", &u.angle}};
    bool first = true;
    for (const auto& name : names)
      if (!name.second->empty()) {
        o << (first ? "" : ", ") << "\"" << name.first << "\": " << JsonQuote(*name.second);
        first = false;
      }
    o << "},\n\n";
  }

  o << "  // Outputs: node and component (1 UX, 2 UY, 3 UZ, 4 RX, 5 RY, 6 RZ); \"quantity\": \"velocity\" or\n"
       "  // \"acceleration\" and \"motion\": \"relative\" (with base motion) may be added.\n";
  o << "  \"outputs\": [";
  for (std::size_t i = 0; i < iModel.outputs.size(); ++i)
    o << (i ? ", " : "") << "{\"node\": " << iModel.outputs[i].node
      << ", \"component\": " << iModel.outputs[i].component
      << (iModel.outputs[i].quantity == Quantity::Velocity       ? ", \"quantity\": \"velocity\""
          : iModel.outputs[i].quantity == Quantity::Acceleration ? ", \"quantity\": \"acceleration\""
                                                                  : "")
      << (iModel.outputs[i].motion == Motion::Relative ? ", \"motion\": \"relative\"" : "") << "}";
  o << "]\n}\n";
}

}  // namespace

std::string ShortestNumber(double iValue) {
  char buffer[kGeneralMax];
  return std::string(buffer, WriteShortest(buffer, iValue));
}

Model DefaultModel() {
  const ShearBuilding b;
  const int n = b.storeys;
  Model model;
  model.name = "six-storey shear building on a moving base";
  model.units = {"m", "s", "N", "rad"};
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

std::string WriteModelText(const Model& iModel, const std::string& iComment, const std::string& iShapesFile) {
  TextOut o;
  Write(o, iModel, iComment, iShapesFile);
  return std::move(o.Text());
}

void WriteModelTextFile(const Model& iModel, const std::string& iPath, const std::string& iComment,
                        const std::string& iShapesFile) {
  std::FILE* file = std::fopen(iPath.c_str(), "wb");
  if (!file) throw std::runtime_error(iPath + ": cannot be written (" + std::strerror(errno) + ")");
  TextOut o(file);
  Write(o, iModel, iComment, iShapesFile);
  bool ok = o.Spill();
  ok = std::fclose(file) == 0 && ok;
  if (!ok) throw std::runtime_error(iPath + ": cannot be written");
}

}  // namespace vokdyn
