#include "VOKDYNModelLoader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <cstdint>
#include <unordered_set>

#include "VOKDYNFrdReader.h"
#include "VOKDYNJson.h"
#include "VOKDYNModeSweep.h"
#include "VOKDYNNpy.h"

namespace vokdyn {

namespace {

// Guards against a typo such as "steps": 1e9 filling the memory.
constexpr int kMaxSteps = 1000000;

std::string Number(double iValue) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.17g", iValue);
  return buffer;
}

std::string Number9(double iValue) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.9g", iValue);
  return buffer;
}

// The keys of each object of the format, in the order the documentation
// gives them.
const std::vector<std::string> kTopKeys = {"format", "name", "nodes", "modal_base", "damping",
                                           "modulations", "loads", "enforced", "base_motion",
                                           "sweep", "frequencies", "outputs", "groups", "elements",
                                           "fields", "units", "random", "transient"};
const std::vector<std::string> kNodeKeys = {"id", "xyz", "mass"};
const std::vector<std::string> kBaseKeys = {"name", "up_to_date", "damping_diagonal", "rotations", "shapes",
                                            "modes"};
const std::vector<std::string> kModeKeys = {"frequency", "generalized_mass",
                                            "generalized_stiffness", "participation", "shape"};
const std::vector<std::string> kDampingKeys = {"type", "percent", "percent_per_mode", "table", "alpha",
                                               "beta", "alpha_per_mode", "beta_per_mode", "eta", "eta_per_mode"};
const std::vector<std::string> kModulationKeys = {"points"};
const std::vector<std::string> kLoadKeys = {"name", "amplitude", "phase_deg", "modulation",
                                            "forces", "static_response"};
const std::vector<std::string> kForceKeys = {"node", "values"};
const std::vector<std::string> kEnforcedKeys = {"name", "amplitude", "phase_deg", "modulation",
                                                "static_displacement", "modal_force", "static_response"};
const std::vector<std::string> kBaseMotionKeys = {"axis", "directions"};
const std::vector<std::string> kAxisKeys = {"origin", "x", "y"};
const std::vector<std::string> kDirectionKeys = {"direction", "amplitude", "phase_deg",
                                                 "modulation"};
const std::vector<std::string> kSweepKeys = {"from", "to", "steps", "spacing", "points_per_mode"};
const std::vector<std::string> kOutputKeys = {"node", "set", "component", "quantity", "motion"};
const std::vector<std::string> kElementKeys = {"type", "nodes"};
const std::vector<std::string> kFieldKeys = {"frequencies", "at_peaks"};
const std::vector<std::string> kUnitKeys = {"length", "time", "force", "angle"};

// A set of node ids, as the reader looks them up: once per node to find the
// repeated ones and once per reference. Open addressing in a table kept at
// most half full: a lookup is a multiplication and a probe or two, where a
// tree costs an allocation per id and a walk through memory.
class IdSet {
 public:
  IdSet() { _Slots.assign(16, kEmpty); }
  /// Room for iCount ids without growing.
  void Reserve(std::size_t iCount) {
    if (2 * iCount > _Slots.size()) Rehash(2 * iCount);
  }
  /// False when iId is there already.
  bool Insert(int iId) {
    std::int64_t& slot = _Slots[Find(iId)];
    if (slot != kEmpty) return false;
    slot = iId;
    if (2 * ++_Count > _Slots.size()) Rehash(2 * _Slots.size());
    return true;
  }
  bool Contains(int iId) const { return _Slots[Find(iId)] != kEmpty; }

 private:
  static constexpr std::int64_t kEmpty = std::numeric_limits<std::int64_t>::min();  // no int is this
  std::size_t Find(int iId) const {
    // Fibonacci hashing: the top bits of the product, which every bit of the id moves.
    std::size_t slot = static_cast<std::size_t>((static_cast<std::uint64_t>(static_cast<std::uint32_t>(iId)) *
                                                 0x9E3779B97F4A7C15ull) >> _Shift);
    const std::size_t mask = _Slots.size() - 1;
    while (_Slots[slot] != kEmpty && _Slots[slot] != iId) slot = (slot + 1) & mask;
    return slot;
  }
  void Rehash(std::size_t iAtLeast) {
    std::size_t size = 16;
    int bits = 4;
    while (size < iAtLeast) size *= 2, ++bits;
    std::vector<std::int64_t> old(size, kEmpty);
    old.swap(_Slots);
    _Shift = 64 - bits;
    for (std::int64_t id : old)
      if (id != kEmpty) _Slots[Find(static_cast<int>(id))] = id;
  }
  std::vector<std::int64_t> _Slots;
  std::size_t _Count = 0;
  int _Shift = 60;
};

bool KeyIs(const JsonValue& iName, const char* iKey, rapidjson::SizeType iLength) {
  return iName.GetStringLength() == iLength && std::memcmp(iName.GetString(), iKey, iLength) == 0;
}

// The N numbers of an array of N numbers, false for anything else.
template <std::size_t N>
bool Numbers(const JsonValue& iValue, std::array<double, N>& oValues) {
  if (!iValue.IsArray() || iValue.Size() != N) return false;
  for (rapidjson::SizeType i = 0; i < N; ++i) {
    if (!iValue[i].IsNumber()) return false;
    oValues[i] = iValue[i].GetDouble();
  }
  return true;
}

// A node as files hold it: known keys only, an int id, three coordinates
// and, when given, six masses >= 0. Read without spelling out any JSON path;
// anything else is left to the reading that names what is wrong.
bool PlainNode(const JsonValue& iNode, Node& oNode) {
  if (!iNode.IsObject()) return false;
  bool id = false, xyz = false;
  for (auto it = iNode.MemberBegin(); it != iNode.MemberEnd(); ++it) {
    const JsonValue& value = it->value;
    if (KeyIs(it->name, "id", 2)) {
      if (!value.IsInt()) return false;
      oNode.id = value.GetInt();
      id = true;
    } else if (KeyIs(it->name, "xyz", 3)) {
      if (!Numbers(value, oNode.xyz)) return false;
      xyz = true;
    } else if (KeyIs(it->name, "mass", 4)) {
      if (!Numbers(value, oNode.mass)) return false;
      for (double m : oNode.mass)
        if (!(m >= 0.0)) return false;
      oNode.hasMass = true;
    } else {
      return false;
    }
  }
  return id && xyz;
}

class ModelReader {
 public:
  // iFiles: the reader of referenced files; null: files on disk, the
  // shapes mapped.
  ModelReader(const std::string& iFile, const ReferencedFileReader* iFiles, Model& oModel)
      : _R(iFile), _File(iFile), _Files(iFiles), _M(oModel) {}

  void Read(const JsonValue& iRoot) {
    _R.Object(iRoot, "", kTopKeys);
    const JsonValue& format = _R.Require(iRoot, "", "format", "\"" + std::string(kModelFormat) + "\"");
    if (!format.IsString() || std::strcmp(format.GetString(), kModelFormat) != 0)
      _R.Expected("format", "\"" + std::string(kModelFormat) + "\"", format);
    if (const JsonValue* name = _R.Find(iRoot, "name")) _M.name = _R.Text(*name, "name");

    ReadNodes(_R.Require(iRoot, "", "nodes", "an array of nodes"));
    if (const JsonValue* groups = _R.Find(iRoot, "groups")) ReadGroups(*groups);
    if (const JsonValue* elements = _R.Find(iRoot, "elements")) ReadElements(*elements);
    if (const JsonValue* fields = _R.Find(iRoot, "fields")) ReadFields(*fields);
    ReadBase(_R.Require(iRoot, "", "modal_base", "an object"));
    ReadDamping(_R.Require(iRoot, "", "damping", "an object (modal or Rayleigh damping)"));
    if (const JsonValue* modulations = _R.Find(iRoot, "modulations")) ReadModulations(*modulations);
    if (const JsonValue* loads = _R.Find(iRoot, "loads")) ReadLoads(*loads);
    if (const JsonValue* enforced = _R.Find(iRoot, "enforced")) ReadEnforced(*enforced);
    if (const JsonValue* motion = _R.Find(iRoot, "base_motion")) ReadBaseMotion(*motion);
    ReadSweep(iRoot);
    CheckSinglePrecisionSpacing();
    ReadOutputs(_R.Require(iRoot, "", "outputs", "an array of outputs"));
    CheckExcited();
    CheckMassesWhereNeeded();
    CheckStaticResponses();
    if (const JsonValue* units = _R.Find(iRoot, "units")) ReadUnits(*units);
  }

  void ReadUnits(const JsonValue& iUnits) {
    _R.Object(iUnits, "units", kUnitKeys);
    std::string* fields[] = {&_M.units.length, &_M.units.time, &_M.units.force, &_M.units.angle};
    for (std::size_t k = 0; k < kUnitKeys.size(); ++k)
      if (const JsonValue* unit = _R.Find(iUnits, kUnitKeys[k].c_str()))
        *fields[k] = _R.Text(*unit, JsonMember("units", kUnitKeys[k]));
  }

 private:
  // A mode that gives its frequency, mass and stiffness must give them
  // consistently: the run uses k and m, and a frequency that disagrees is a
  // slip of units (rad/s for Hz, tonnes for kg) that would pass unseen.
  // Rounding is allowed for: 1e-4 relative on f (2e-4 on k), which a
  // frequency written to five significant digits meets; a slip of units is
  // a factor of 2 pi or more.
  void CheckFrequencyOfMode(const Mode& iMode, const std::string& iPath) const {
    const double f = iMode.frequency, k = iMode.generalizedStiffness, m = iMode.generalizedMass;
    const double fromKm = std::sqrt(k / m) / kTwoPi;
    if (std::fabs(f - fromKm) <= 1e-4 * fromKm) return;
    const double omega = kTwoPi * f;
    _R.Fail(JsonMember(iPath, "frequency"),
            Number9(f) + " Hz disagrees with generalized_stiffness " + Number9(k) + " and generalized_mass " +
                Number9(m) + ", which give sqrt(k/m) / (2 pi) = " + Number9(fromKm) +
                " Hz (for this frequency k would be m (2 pi f)^2 = " + Number9(m * omega * omega) +
                "): check the units");
  }

  // Frequencies that single precision cannot tell apart would give the same
  // row twice: refused, with the spacing single precision has there.
  void CheckSinglePrecisionSpacing() const {
    const Sweep& s = _M.sweep;
    const std::vector<float> f = SweepFrequencies(s);
    for (std::size_t k = 1; k < f.size(); ++k) {
      if (f[k] > f[k - 1]) continue;
      const double spacing = static_cast<double>(std::nextafter(f[k], INFINITY)) - static_cast<double>(f[k]);
      const std::string same = "single precision holds frequencies near " + Number9(f[k]) + " Hz only " +
                               Number9(spacing) + " Hz apart";
      if (!s.isRange)
        _R.Fail(JsonItem("frequencies", k), Number9(s.list[k]) + " and " + Number9(s.list[k - 1]) +
                                                " are the same frequency in single precision (" + Number9(f[k]) +
                                                " Hz): " + same);
      _R.Fail("sweep.steps", std::to_string(s.steps) + " steps from " + Number9(s.from) + " to " +
                                 Number9(s.to) + " Hz are too fine: frequencies " + std::to_string(k - 1) +
                                 " and " + std::to_string(k) + " are both " + Number9(f[k]) + " Hz, and " + same);
    }
  }

  int Int(const JsonValue& iValue, const std::string& iPath, const std::string& iWhat, long long iMin,
          long long iMax) const {
    return static_cast<int>(_R.Integer(iValue, iPath, iWhat, iMin, iMax));
  }
  // A frequency: > 0 and finite once rounded to single precision, the
  // precision in which the excitation operations take it.
  double Frequency(const JsonValue& iValue, const std::string& iPath) const {
    const char* what = "a frequency > 0 that single precision holds";
    if (!iValue.IsNumber()) _R.Expected(iPath, what, iValue);
    double f = iValue.GetDouble();
    float single = static_cast<float>(f);
    if (!(f > 0.0) || !(single > 0.0f) || std::isinf(single)) _R.Expected(iPath, what, iValue);
    return f;
  }
  int NodeRef(const JsonValue& iValue, const std::string& iPath) const {
    int id = Int(iValue, iPath, "a node id", std::numeric_limits<int>::min(),
                        std::numeric_limits<int>::max());
    if (!_NodeIds.Contains(id)) _R.Fail(iPath, "unknown node " + std::to_string(id));
    return id;
  }
  /// The same with the path made only for a message: groups and elements
  /// refer to nodes by the hundred thousand.
  template <class PathOf>
  int NodeRefAt(const JsonValue& iValue, const PathOf& iPathOf) const {
    if (iValue.IsInt() && _NodeIds.Contains(iValue.GetInt())) return iValue.GetInt();
    return NodeRef(iValue, iPathOf());
  }

  // Rows of six values, one per node in node order.
  std::vector<Vec6> NodeRows(const JsonValue& iValue, const std::string& iPath) const {
    std::string what = "an array of " + std::to_string(_M.nodes.size()) +
                       " rows of 6 numbers (one per node)";
    std::vector<Vec6> rows;
    if (!iValue.IsArray() || iValue.Size() != _M.nodes.size()) _R.Expected(iPath, what, iValue);
    rows.reserve(iValue.Size());
    for (rapidjson::SizeType i = 0; i < iValue.Size(); ++i)
      rows.push_back(_R.Fixed<6>(iValue[i], [&]() { return JsonItem(iPath, i); }));
    return rows;
  }

  std::vector<double> PerMode(const JsonValue& iValue, const std::string& iPath, bool iNonNegative) const {
    std::size_t n = _M.base.modes.size();
    std::string what = "an array of " + std::to_string(n) + " numbers (one per mode)";
    if (!iValue.IsArray()) _R.Expected(iPath, what, iValue);
    if (iValue.Size() != n)
      _R.Fail(iPath, "expected " + std::to_string(n) + " values (one per mode), got " +
                         std::to_string(iValue.Size()));
    std::vector<double> out;
    for (rapidjson::SizeType i = 0; i < iValue.Size(); ++i)
      out.push_back(iNonNegative ? _R.NonNegative(iValue[i], JsonItem(iPath, i))
                                 : _R.Real(iValue[i], JsonItem(iPath, i)));
    return out;
  }

  void ReadNodes(const JsonValue& iNodes) {
    _R.Array(iNodes, "nodes", "a non-empty array of nodes", true);
    _M.nodes.reserve(iNodes.Size());
    _NodeIds.Reserve(iNodes.Size());
    for (rapidjson::SizeType i = 0; i < iNodes.Size(); ++i) {
      Node node;
      if (!PlainNode(iNodes[i], node)) {
        node = CheckedNode(iNodes[i], i);
      } else if (!_NodeIds.Insert(node.id)) {
        RepeatedNode(node.id, JsonItem("nodes", i));
      }
      _M.nodes.push_back(node);
    }
  }

  [[noreturn]] void RepeatedNode(int iId, const std::string& iPath) const {
    _R.Fail(JsonMember(iPath, "id"), "node " + std::to_string(iId) + " is given twice");
  }

  // A node that PlainNode does not take, checked in the order of the keys'
  // documentation; the first fault is refused.
  Node CheckedNode(const JsonValue& n, rapidjson::SizeType i) {
    std::string path = JsonItem("nodes", i);
    _R.Object(n, path, kNodeKeys);
    Node node;
    node.id = Int(_R.Require(n, path, "id", "an integer node id"), JsonMember(path, "id"),
                         "an integer node id", std::numeric_limits<int>::min(),
                         std::numeric_limits<int>::max());
    if (!_NodeIds.Insert(node.id)) RepeatedNode(node.id, path);
    node.xyz = _R.Fixed<3>(_R.Require(n, path, "xyz", "an array of 3 numbers"), JsonMember(path, "xyz"));
    if (const JsonValue* mass = _R.Find(n, "mass")) {
      node.hasMass = true;
      node.mass = _R.Fixed<6>(*mass, JsonMember(path, "mass"));
      for (std::size_t c = 0; c < 6; ++c)
        if (!(node.mass[c] >= 0.0))
          _R.Expected(JsonItem(JsonMember(path, "mass"), c), "a number >= 0", (*mass)[static_cast<rapidjson::SizeType>(c)]);
    }
    return node;
  }

  void ReadBase(const JsonValue& iBase) {
    const std::string path = "modal_base";
    _R.Object(iBase, path, kBaseKeys);
    if (const JsonValue* name = _R.Find(iBase, "name")) _M.base.name = _R.Text(*name, JsonMember(path, "name"));
    if (const JsonValue* up = _R.Find(iBase, "up_to_date"))
      _M.base.upToDate = _R.Boolean(*up, JsonMember(path, "up_to_date"));
    if (const JsonValue* diag = _R.Find(iBase, "damping_diagonal"))
      _M.base.dampingDiagonal = _R.Boolean(*diag, JsonMember(path, "damping_diagonal"));
    if (const JsonValue* rotations = _R.Find(iBase, "rotations"))
      _M.base.rotations = _R.Boolean(*rotations, JsonMember(path, "rotations"));
    const JsonValue* shapes = _R.Find(iBase, "shapes");
    const std::string shapesPath = JsonMember(path, "shapes");
    if (shapes && (!shapes->IsString() || shapes->GetStringLength() == 0))
      _R.Expected(shapesPath, "the name of a .npy file", *shapes);
    const JsonValue& modes = _R.Require(iBase, path, "modes", "a non-empty array of modes");
    std::string modesPath = JsonMember(path, "modes");
    _R.Array(modes, modesPath, "a non-empty array of modes", true);
    std::vector<double> inlineShapes;
    for (rapidjson::SizeType i = 0; i < modes.Size(); ++i) {
      std::string mp = JsonItem(modesPath, i);
      const JsonValue& m = modes[i];
      _R.Object(m, mp, kModeKeys);
      Mode mode;
      mode.frequency = _R.Positive(_R.Require(m, mp, "frequency", "a number > 0"),
                                   JsonMember(mp, "frequency"));
      if (const JsonValue* gm = _R.Find(m, "generalized_mass"))
        mode.generalizedMass = _R.Positive(*gm, JsonMember(mp, "generalized_mass"));
      if (const JsonValue* gk = _R.Find(m, "generalized_stiffness")) {
        mode.generalizedStiffness = _R.Positive(*gk, JsonMember(mp, "generalized_stiffness"));
        mode.stiffnessGiven = true;
        CheckFrequencyOfMode(mode, mp);
      } else {
        double omega = kTwoPi * mode.frequency;
        mode.generalizedStiffness = mode.generalizedMass * (omega * omega);
        if (!std::isfinite(mode.generalizedStiffness))
          _R.Fail(JsonMember(mp, "frequency"), "the stiffness m (2 pi f)^2 overflows");
      }
      if (const JsonValue* gamma = _R.Find(m, "participation")) {
        mode.hasParticipation = true;
        mode.participation = _R.Fixed<6>(*gamma, JsonMember(mp, "participation"));
      }
      if (!shapes) {
        for (const Vec6& row : NodeRows(_R.Require(m, mp, "shape", "one row of 6 numbers per node"),
                                        JsonMember(mp, "shape")))
          inlineShapes.insert(inlineShapes.end(), row.begin(), row.end());
      } else if (_R.Find(m, "shape")) {
        _R.Fail(JsonMember(mp, "shape"), "given as well as \"" + shapesPath +
                                         "\": give the shapes either in the modes or in the file");
      }
      _M.base.modes.push_back(mode);
    }
    if (shapes) ReadShapesFile(shapes->GetString(), shapesPath);
    else _M.base.shapes = ModeShapes(std::move(inlineShapes), _M.base.modes.size(), _M.nodes.size());
  }

  // The shapes of every mode from a .npy file, named in messages by its path
  // as resolved, which is where the user finds it. A file on disk is mapped;
  // its values are read, and checked, by the run that needs them.
  void ReadShapesFile(const std::string& iReference, const std::string& iPath) {
    std::string file = iReference;
    std::size_t slash = _File.find_last_of('/');
    if (iReference[0] != '/' && slash != std::string::npos) file = _File.substr(0, slash + 1) + iReference;
    std::string bytes;
    if (_Files) {
      try {
        bytes = (*_Files)(file);
      } catch (const std::exception& e) {
        _R.Fail(iPath, file + ": cannot be read (" + e.what() + ")");
      }
    }
    _M.base.shapesFile = file;
    try {
      _M.base.shapes = _Files ? DecodeModeShapes(bytes, _M.base.modes.size(), _M.nodes.size())
                              : MapNpyModeShapes(file, _M.base.modes.size(), _M.nodes.size());
    } catch (const NpyError& e) {
      _R.Fail(iPath, file + ": " + e.what());
    } catch (const std::runtime_error& e) {
      _R.Fail(iPath, file + ": cannot be read (" + e.what() + ")");
    }
  }

  void ReadDamping(const JsonValue& iDamping) {
    const std::string path = "damping";
    _R.Object(iDamping, path, kDampingKeys);
    Damping& d = _M.damping;
    const char* types = "\"modal\", \"rayleigh\" or \"structural\"";
    const JsonValue& type = _R.Require(iDamping, path, "type", types);
    std::string typePath = JsonMember(path, "type");
    if (!type.IsString()) _R.Expected(typePath, types, type);
    auto refuse = [&](const char* iKey, const std::string& iWhy) {
      if (_R.Find(iDamping, iKey)) _R.Fail(JsonMember(path, iKey), iWhy);
    };
    if (std::strcmp(type.GetString(), "modal") == 0) {
      d.type = DampingType::Modal;
      for (const char* key : {"alpha", "beta", "alpha_per_mode", "beta_per_mode", "eta", "eta_per_mode"})
        refuse(key, "not a key of modal damping (give \"percent\", \"percent_per_mode\" or \"table\")");
      const JsonValue* percent = _R.Find(iDamping, "percent");
      const JsonValue* perMode = _R.Find(iDamping, "percent_per_mode");
      const JsonValue* table = _R.Find(iDamping, "table");
      if ((percent != nullptr) + (perMode != nullptr) + (table != nullptr) > 1)
        _R.Fail(path, "give one of \"percent\", \"percent_per_mode\" and \"table\"");
      if (!percent && !perMode && !table)
        _R.Fail(path, "modal damping needs \"percent\", \"percent_per_mode\" or \"table\"");
      if (table) {
        const std::string tp = JsonMember(path, "table");
        _R.Array(*table, tp, "a non-empty array of [frequency, percent]", true);
        for (rapidjson::SizeType k = 0; k < table->Size(); ++k) {
          const std::array<double, 2> point = _R.Fixed<2>((*table)[k], JsonItem(tp, k));
          for (std::size_t c = 0; c < 2; ++c)
            if (!(point[c] >= 0.0)) _R.Expected(JsonItem(JsonItem(tp, k), c), "a number >= 0", (*table)[k][static_cast<rapidjson::SizeType>(c)]);
          if (k > 0 && !(point[0] > d.table.back()[0]))
            _R.Fail(JsonItem(JsonItem(tp, k), 0), "frequencies must increase: " + Number(point[0]) + " does not exceed " +
                                                      Number(d.table.back()[0]));
          d.table.push_back(point);
        }
      } else if (percent) {
        d.percent = _R.NonNegative(*percent, JsonMember(path, "percent"));
      } else {
        d.perMode = true;
        d.percentPerMode = PerMode(*perMode, JsonMember(path, "percent_per_mode"), true);
      }
    } else if (std::strcmp(type.GetString(), "rayleigh") == 0) {
      d.type = DampingType::Rayleigh;
      for (const char* key : {"percent", "percent_per_mode", "table", "eta", "eta_per_mode"})
        refuse(key, "not a key of Rayleigh damping (give \"alpha\" and \"beta\", or "
                    "\"alpha_per_mode\" and \"beta_per_mode\")");
      const JsonValue* alpha = _R.Find(iDamping, "alpha");
      const JsonValue* beta = _R.Find(iDamping, "beta");
      const JsonValue* alphas = _R.Find(iDamping, "alpha_per_mode");
      const JsonValue* betas = _R.Find(iDamping, "beta_per_mode");
      bool global = alpha || beta, perMode = alphas || betas;
      if (global && perMode)
        _R.Fail(path, "give either \"alpha\"/\"beta\" or \"alpha_per_mode\"/\"beta_per_mode\", not both");
      if (!global && !perMode)
        _R.Fail(path, "Rayleigh damping needs \"alpha\" and \"beta\" (or their per-mode lists)");
      if (global) {
        if (alpha) d.alpha = _R.NonNegative(*alpha, JsonMember(path, "alpha"));
        if (beta) d.beta = _R.NonNegative(*beta, JsonMember(path, "beta"));
      } else {
        if (!alphas) _R.Fail(JsonMember(path, "alpha_per_mode"), "missing: expected one number per mode");
        if (!betas) _R.Fail(JsonMember(path, "beta_per_mode"), "missing: expected one number per mode");
        d.perMode = true;
        d.alphaPerMode = PerMode(*alphas, JsonMember(path, "alpha_per_mode"), true);
        d.betaPerMode = PerMode(*betas, JsonMember(path, "beta_per_mode"), true);
      }
    } else if (std::strcmp(type.GetString(), "structural") == 0) {
      d.type = DampingType::Structural;
      for (const char* key : {"percent", "percent_per_mode", "table", "alpha", "beta", "alpha_per_mode", "beta_per_mode"})
        refuse(key, "not a key of structural damping (give \"eta\" or \"eta_per_mode\")");
      const JsonValue* eta = _R.Find(iDamping, "eta");
      const JsonValue* perMode = _R.Find(iDamping, "eta_per_mode");
      if ((eta != nullptr) == (perMode != nullptr))
        _R.Fail(path, "structural damping needs one of \"eta\" and \"eta_per_mode\"");
      if (eta) {
        d.eta = _R.NonNegative(*eta, JsonMember(path, "eta"));
      } else {
        d.perMode = true;
        d.etaPerMode = PerMode(*perMode, JsonMember(path, "eta_per_mode"), true);
      }
    } else {
      _R.Expected(typePath, types, type);
    }
  }

  void ReadModulations(const JsonValue& iModulations) {
    const std::string path = "modulations";
    if (!iModulations.IsObject()) _R.Expected(path, "an object of named modulations", iModulations);
    for (auto it = iModulations.MemberBegin(); it != iModulations.MemberEnd(); ++it) {
      std::string mp = JsonMember(path, std::string(it->name.GetString(), it->name.GetStringLength()));
      _R.Object(it->value, mp, kModulationKeys);
      Modulation modulation;
      modulation.name = std::string(it->name.GetString(), it->name.GetStringLength());
      std::string pp = JsonMember(mp, "points");
      const JsonValue& points = _R.Array(_R.Require(it->value, mp, "points", "an array of [abscissa, factor]"),
                                    pp, "a non-empty array of [abscissa, factor]", true);
      for (rapidjson::SizeType i = 0; i < points.Size(); ++i) {
        std::array<double, 2> p = _R.Fixed<2>(points[i], JsonItem(pp, i));
        if (i > 0 && !(p[0] > modulation.points.back()[0]))
          _R.Fail(JsonItem(JsonItem(pp, i), 0), "abscissae must increase: " + Number(p[0]) +
                                             " does not exceed " + Number(modulation.points.back()[0]));
        modulation.points.push_back(p);
      }
      _M.modulations.push_back(modulation);
    }
  }

  // The modulation named by an excitation, or the implicit constant one.
  int ModulationRef(const JsonValue& iObject, const std::string& iPath) {
    const JsonValue* name = _R.Find(iObject, "modulation");
    if (!name) {
      if (_Constant < 0) {
        _M.modulations.push_back(ImplicitConstant());
        _Constant = static_cast<int>(_M.modulations.size()) - 1;
      }
      return _Constant;
    }
    std::string path = JsonMember(iPath, "modulation");
    std::string text = _R.Text(*name, path);
    for (std::size_t i = 0; i < _M.modulations.size(); ++i)
      if (!_M.modulations[i].implicit && _M.modulations[i].name == text) return static_cast<int>(i);
    std::string message = "unknown modulation " + JsonQuote(text);
    std::vector<std::string> names;
    for (const Modulation& m : _M.modulations)
      if (!m.implicit) names.push_back(m.name);
    std::string nearest = NearestKey(text, names);
    if (!nearest.empty()) message += " (did you mean \"" + nearest + "\"?)";
    else if (names.empty()) message += " (the model defines no \"modulations\")";
    _R.Fail(path, message);
  }

  template <class T>
  void ReadCommon(const JsonValue& iObject, const std::string& iPath, T& ioItem) {
    if (const JsonValue* a = _R.Find(iObject, "amplitude")) ioItem.amplitude = _R.Real(*a, JsonMember(iPath, "amplitude"));
    if (const JsonValue* p = _R.Find(iObject, "phase_deg")) ioItem.phaseDeg = _R.Real(*p, JsonMember(iPath, "phase_deg"));
    ioItem.modulation = ModulationRef(iObject, iPath);
  }

  // The static response of a load or an enforced set: its length is
  // checked once the outputs are read.
  void ReadStaticResponse(const JsonValue& iObject, const std::string& iPath, std::vector<double>& oValues) const {
    if (const JsonValue* s = _R.Find(iObject, "static_response")) {
      const std::string sp = JsonMember(iPath, "static_response");
      _R.Array(*s, sp, "a non-empty array of numbers (one per output)", true);
      for (rapidjson::SizeType k = 0; k < s->Size(); ++k) oValues.push_back(_R.Real((*s)[k], JsonItem(sp, k)));
    }
  }

  void ReadLoads(const JsonValue& iLoads) {
    _R.Array(iLoads, "loads", "an array of loads", false);
    for (rapidjson::SizeType i = 0; i < iLoads.Size(); ++i) {
      std::string lp = JsonItem("loads", i);
      const JsonValue& l = iLoads[i];
      _R.Object(l, lp, kLoadKeys);
      Load load;
      load.name = "load " + std::to_string(i + 1);
      if (const JsonValue* name = _R.Find(l, "name")) load.name = _R.Text(*name, JsonMember(lp, "name"));
      ReadCommon(l, lp, load);
      ReadStaticResponse(l, lp, load.staticResponse);
      std::string fp = JsonMember(lp, "forces");
      const JsonValue& forces = _R.Array(_R.Require(l, lp, "forces", "an array of nodal forces"), fp,
                                    "a non-empty array of nodal forces", true);
      for (rapidjson::SizeType k = 0; k < forces.Size(); ++k) {
        std::string kp = JsonItem(fp, k);
        _R.Object(forces[k], kp, kForceKeys);
        NodalForce force;
        force.node = NodeRef(_R.Require(forces[k], kp, "node", "a node id"), JsonMember(kp, "node"));
        force.values = _R.Fixed<6>(_R.Require(forces[k], kp, "values", "an array of 6 numbers"),
                                   JsonMember(kp, "values"));
        for (std::size_t c = 3; c < 6 && !_M.base.rotations; ++c)
          if (force.values[c] != 0.0)
            _R.Fail(JsonItem(JsonMember(kp, "values"), c), "a moment on a node without rotations (modal_base.rotations "
                                                           "is false: solid elements); expected 0");
        load.forces.push_back(force);
      }
      _M.loads.push_back(load);
    }
  }

  void ReadEnforced(const JsonValue& iEnforced) {
    _R.Array(iEnforced, "enforced", "an array of enforced displacements", false);
    for (rapidjson::SizeType i = 0; i < iEnforced.Size(); ++i) {
      std::string ep = JsonItem("enforced", i);
      const JsonValue& e = iEnforced[i];
      _R.Object(e, ep, kEnforcedKeys);
      Enforced set;
      set.name = "enforced " + std::to_string(i + 1);
      if (const JsonValue* name = _R.Find(e, "name")) set.name = _R.Text(*name, JsonMember(ep, "name"));
      ReadCommon(e, ep, set);
      ReadStaticResponse(e, ep, set.staticResponse);
      set.staticDisplacement = NodeRows(
          _R.Require(e, ep, "static_displacement", "one row of 6 numbers per node"),
          JsonMember(ep, "static_displacement"));
      if (const JsonValue* force = _R.Find(e, "modal_force")) {
        set.hasModalForce = true;
        set.modalForce = PerMode(*force, JsonMember(ep, "modal_force"), false);
      }
      _M.enforced.push_back(set);
    }
  }

  void ReadBaseMotion(const JsonValue& iMotion) {
    const std::string path = "base_motion";
    _R.Object(iMotion, path, kBaseMotionKeys);
    BaseMotion& b = _M.baseMotion;
    b.present = true;
    if (const JsonValue* axis = _R.Find(iMotion, "axis")) {
      std::string ap = JsonMember(path, "axis");
      _R.Object(*axis, ap, kAxisKeys);
      b.axis.given = true;
      b.axis.origin = _R.Fixed<3>(_R.Require(*axis, ap, "origin", "an array of 3 numbers"), JsonMember(ap, "origin"));
      b.axis.x = _R.Fixed<3>(_R.Require(*axis, ap, "x", "an array of 3 numbers"), JsonMember(ap, "x"));
      b.axis.y = _R.Fixed<3>(_R.Require(*axis, ap, "y", "an array of 3 numbers"), JsonMember(ap, "y"));
      const Vec3& x = b.axis.x;
      const Vec3& y = b.axis.y;
      double nx = std::sqrt(x[0] * x[0] + x[1] * x[1] + x[2] * x[2]);
      if (!(nx > 0.0) || !std::isfinite(nx)) _R.Fail(JsonMember(ap, "x"), "expected a non-zero direction");
      Vec3 cross{x[1] * y[2] - x[2] * y[1], x[2] * y[0] - x[0] * y[2], x[0] * y[1] - x[1] * y[0]};
      double nc = std::sqrt(cross[0] * cross[0] + cross[1] * cross[1] + cross[2] * cross[2]);
      double ny = std::sqrt(y[0] * y[0] + y[1] * y[1] + y[2] * y[2]);
      // Nearly parallel directions leave the third axis to rounding.
      if (!(nc > 1e-9 * nx * ny) || !std::isfinite(nc))
        _R.Fail(JsonMember(ap, "y"), "expected a direction not parallel to x");
    }
    std::string dp = JsonMember(path, "directions");
    const JsonValue& dirs = _R.Array(_R.Require(iMotion, path, "directions", "an array of directions"),
                                dp, "a non-empty array of directions", true);
    for (rapidjson::SizeType i = 0; i < dirs.Size(); ++i) {
      std::string ip = JsonItem(dp, i);
      _R.Object(dirs[i], ip, kDirectionKeys);
      BaseDirection dir;
      dir.direction = Int(_R.Require(dirs[i], ip, "direction", "a direction 1..6"),
                                 JsonMember(ip, "direction"), "a direction 1..6", 1, 6);
      for (const BaseDirection& other : b.directions)
        if (other.direction == dir.direction)
          _R.Fail(JsonMember(ip, "direction"), "direction " + std::to_string(dir.direction) + " is given twice");
      ReadCommon(dirs[i], ip, dir);
      b.directions.push_back(dir);
    }
  }

  void ReadSweep(const JsonValue& iRoot) {
    const JsonValue* sweep = _R.Find(iRoot, "sweep");
    const JsonValue* list = _R.Find(iRoot, "frequencies");
    if (sweep && list) _R.Fail("", "give either \"sweep\" or \"frequencies\", not both");
    if (!sweep && !list) _R.Fail("", "missing \"sweep\" (or \"frequencies\"): the frequencies to compute");
    Sweep& s = _M.sweep;
    if (list) {
      s.isRange = false;
      _R.Array(*list, "frequencies", "a non-empty array of frequencies", true);
      if (list->Size() > static_cast<std::size_t>(kMaxSteps))
        _R.Fail("frequencies", "more than " + std::to_string(kMaxSteps) + " frequencies");
      for (rapidjson::SizeType i = 0; i < list->Size(); ++i) {
        double f = Frequency((*list)[i], JsonItem("frequencies", i));
        if (i > 0 && !(f > s.list.back()))
          _R.Fail(JsonItem("frequencies", i), "frequencies must increase: " + Number(f) +
                                              " does not exceed " + Number(s.list.back()));
        s.list.push_back(f);
      }
      return;
    }
    const std::string path = "sweep";
    _R.Object(*sweep, path, kSweepKeys);
    s.isRange = true;
    s.from = Frequency(_R.Require(*sweep, path, "from", "a frequency > 0"), JsonMember(path, "from"));
    s.to = Frequency(_R.Require(*sweep, path, "to", "a frequency > 0"), JsonMember(path, "to"));
    if (!(s.to > s.from))
      _R.Fail(JsonMember(path, "to"), "expected a frequency above \"from\" (" + Number(s.from) + "), got " + Number(s.to));
    if (const JsonValue* spacing = _R.Find(*sweep, "spacing")) {
      std::string sp = JsonMember(path, "spacing");
      const char* what = "\"linear\", \"log\" or \"modes\"";
      if (!spacing->IsString()) _R.Expected(sp, what, *spacing);
      if (std::strcmp(spacing->GetString(), "linear") == 0) s.spacing = Spacing::Linear;
      else if (std::strcmp(spacing->GetString(), "log") == 0) s.spacing = Spacing::Log;
      else if (std::strcmp(spacing->GetString(), "modes") == 0) s.spacing = Spacing::Modes;
      else _R.Expected(sp, what, *spacing);
    }
    const std::string stepsWhat = "an integer 2.." + std::to_string(kMaxSteps);
    if (s.spacing != Spacing::Modes) {
      s.steps = Int(_R.Require(*sweep, path, "steps", stepsWhat), JsonMember(path, "steps"), stepsWhat, 2, kMaxSteps);
      if (_R.Find(*sweep, "points_per_mode"))
        _R.Fail(JsonMember(path, "points_per_mode"), "only for \"spacing\": \"modes\"");
      return;
    }
    // The coarse log sweep between the modes: 10 points a decade unless given.
    if (const JsonValue* steps = _R.Find(*sweep, "steps"))
      s.steps = Int(*steps, JsonMember(path, "steps"), stepsWhat, 2, kMaxSteps);
    else
      s.steps = std::max(2, static_cast<int>(std::ceil(10.0 * std::log10(s.to / s.from))) + 1);
    const char* perMode = "an integer 3..1000";
    s.pointsPerMode = Int(_R.Require(*sweep, path, "points_per_mode", perMode), JsonMember(path, "points_per_mode"),
                          perMode, 3, 1000);
    s.list = ModeClusteredFrequencies(s.from, s.to, s.steps, s.pointsPerMode, _M.base.modes, ModelDampingRatios(_M));
    if (s.list.size() > static_cast<std::size_t>(kMaxSteps))
      _R.Fail(path, "more than " + std::to_string(kMaxSteps) + " frequencies");
  }

  void ReadOutputs(const JsonValue& iOutputs) {
    _R.Array(iOutputs, "outputs", "a non-empty array of outputs", true);
    for (rapidjson::SizeType i = 0; i < iOutputs.Size(); ++i) {
      std::string op = JsonItem("outputs", i);
      _R.Object(iOutputs[i], op, kOutputKeys);
      const JsonValue* node = _R.Find(iOutputs[i], "node");
      const JsonValue* set = _R.Find(iOutputs[i], "set");
      if ((node != nullptr) == (set != nullptr))
        _R.Fail(op, "expected either \"node\" (a node id) or \"set\" (the name of a group), not both");
      Output out;
      out.component = Int(_R.Require(iOutputs[i], op, "component", "a component 1..6"),
                          JsonMember(op, "component"), "a component 1..6", 1, 6);
      if (out.component > 3 && !_M.base.rotations)
        _R.Fail(JsonMember(op, "component"), "the nodes have no rotations (modal_base.rotations is false: solid "
                                             "elements); expected a translation, 1..3");
      if (const JsonValue* quantity = _R.Find(iOutputs[i], "quantity")) {
        const std::string qp = JsonMember(op, "quantity");
        const char* what = "\"displacement\", \"velocity\" or \"acceleration\"";
        if (!QuantityNamed(quantity->IsString() ? quantity->GetString() : "", out.quantity))
          _R.Expected(qp, what, *quantity);
      }
      if (const JsonValue* motion = _R.Find(iOutputs[i], "motion")) {
        const std::string mp = JsonMember(op, "motion");
        const std::string name = motion->IsString() ? motion->GetString() : "";
        if (name == "absolute") out.motion = Motion::Absolute;
        else if (name == "relative") out.motion = Motion::Relative;
        else _R.Expected(mp, "\"absolute\" or \"relative\"", *motion);
        // Without a moving support or an enforced field the relative motion
        // is the absolute one: asked for, it is a misunderstanding of the model.
        if (out.motion == Motion::Relative && !_M.baseMotion.present && _M.enforced.empty())
          _R.Fail(mp, "relative motion needs \"base_motion\" or \"enforced\" (without them it is the absolute motion)");
      }
      // A group gives one output per node, in the group's order.
      std::vector<int> nodes;
      if (node) {
        nodes.push_back(NodeRef(*node, JsonMember(op, "node")));
      } else {
        const std::string name = _R.Text(*set, JsonMember(op, "set"));
        auto group = std::find_if(_M.groups.begin(), _M.groups.end(), [&](const Group& g) { return g.name == name; });
        if (group == _M.groups.end()) _R.Fail(JsonMember(op, "set"), "unknown group " + JsonQuote(name));
        nodes = group->nodes;
      }
      for (int id : nodes) {
        out.node = id;
        if (!_Outputs.insert(OutputKey(out)).second) _R.Fail(op, "output " + OutputLabel(out) + " is asked twice");
        _M.outputs.push_back(out);
      }
    }
  }

  // What makes an output: a set of a group's nodes gives outputs by the
  // thousand, each compared with the ones before.
  static std::uint64_t OutputKey(const Output& iOutput) {
    return static_cast<std::uint64_t>(static_cast<std::uint32_t>(iOutput.node)) << 32 |
           static_cast<std::uint64_t>(static_cast<std::uint32_t>(iOutput.component) & 0xffffu) << 16 |
           static_cast<std::uint64_t>(iOutput.quantity) << 8 | static_cast<std::uint64_t>(iOutput.motion);
  }

  void ReadGroups(const JsonValue& iGroups) {
    if (!iGroups.IsObject()) _R.Expected("groups", "an object of groups (name: [node ids])", iGroups);
    for (auto it = iGroups.MemberBegin(); it != iGroups.MemberEnd(); ++it) {
      Group group;
      group.name.assign(it->name.GetString(), it->name.GetStringLength());
      const std::string gp = JsonMember("groups", group.name);
      const JsonValue& ids = _R.Array(it->value, gp, "a non-empty array of node ids", true);
      IdSet seen;
      seen.Reserve(ids.Size());
      group.nodes.reserve(ids.Size());
      for (rapidjson::SizeType k = 0; k < ids.Size(); ++k) {
        int id = NodeRefAt(ids[k], [&]() { return JsonItem(gp, k); });
        if (!seen.Insert(id)) _R.Fail(JsonItem(gp, k), "node " + std::to_string(id) + " is in the group twice");
        group.nodes.push_back(id);
      }
      _M.groups.push_back(group);
    }
  }

  void ReadElements(const JsonValue& iElements) {
    _R.Array(iElements, "elements", "an array of elements", false);
    _M.elements.reserve(iElements.Size());
    for (rapidjson::SizeType i = 0; i < iElements.Size(); ++i) {
      const std::string ep = JsonItem("elements", i);
      _R.Object(iElements[i], ep, kElementKeys);
      Element element;
      const JsonValue& type = _R.Require(iElements[i], ep, "type", "an element type");
      const char* what = "an element type: he8, pe6, te4, he20, pe15, te10, tr3, tr6, qu4, qu8, be2 or be3";
      const std::string name = type.IsString() ? std::string(type.GetString(), type.GetStringLength()) : "";
      element.type = FrdTypeOfName(name);
      if (element.type == 0) _R.Expected(JsonMember(ep, "type"), what, type);
      const std::size_t count = static_cast<std::size_t>(FrdNodesPerElement(element.type));
      const std::string np = JsonMember(ep, "nodes");
      const JsonValue& nodes = _R.Require(iElements[i], ep, "nodes", "an array of node ids");
      if (!nodes.IsArray() || nodes.Size() != count)
        _R.Expected(np, "an array of " + std::to_string(count) + " node ids (" + name + ")", nodes);
      element.nodes.reserve(count);
      for (rapidjson::SizeType k = 0; k < count; ++k)
        element.nodes.push_back(NodeRefAt(nodes[k], [&]() { return JsonItem(np, k); }));
      _M.elements.push_back(element);
    }
  }

  void ReadFields(const JsonValue& iFields) {
    _R.Object(iFields, "fields", kFieldKeys);
    _M.fields.present = true;
    if (const JsonValue* list = _R.Find(iFields, "frequencies")) {
      _R.Array(*list, "fields.frequencies", "an array of frequencies", false);
      for (rapidjson::SizeType k = 0; k < list->Size(); ++k)
        _M.fields.frequencies.push_back(Frequency((*list)[k], JsonItem("fields.frequencies", k)));
    }
    if (const JsonValue* peaks = _R.Find(iFields, "at_peaks")) _M.fields.atPeaks = _R.Boolean(*peaks, "fields.at_peaks");
    if (_M.fields.frequencies.empty() && !_M.fields.atPeaks)
      _R.Fail("fields", "no frequency: give \"frequencies\" or \"at_peaks\": true");
  }

  // A static response gives one value per output, once the outputs (and
  // their groups) are known.
  void CheckStaticResponses() const {
    auto check = [&](const std::vector<double>& iValues, const std::string& iPath) {
      if (!iValues.empty() && iValues.size() != _M.outputs.size())
        _R.Fail(iPath, "expected " + std::to_string(_M.outputs.size()) + " values (one per output, a set counting its nodes), got " +
                           std::to_string(iValues.size()));
    };
    for (std::size_t i = 0; i < _M.loads.size(); ++i)
      check(_M.loads[i].staticResponse, JsonMember(JsonItem("loads", i), "static_response"));
    for (std::size_t i = 0; i < _M.enforced.size(); ++i)
      check(_M.enforced[i].staticResponse, JsonMember(JsonItem("enforced", i), "static_response"));
  }

  void CheckExcited() const {
    if (_M.loads.empty() && _M.enforced.empty() && !_M.baseMotion.present)
      _R.Fail("", "nothing excites the model: give \"loads\", \"enforced\" or \"base_motion\"");
  }

  // Participation factors and enforced modal forces that the file leaves out
  // are computed from the nodal masses, which then must be there.
  void CheckMassesWhereNeeded() const {
    bool masses = std::all_of(_M.nodes.begin(), _M.nodes.end(), [](const Node& n) { return n.hasMass; });
    if (masses) return;
    if (_M.baseMotion.present)
      for (std::size_t i = 0; i < _M.base.modes.size(); ++i)
        if (!_M.base.modes[i].hasParticipation)
          _R.Fail(JsonMember(JsonItem("modal_base.modes", i), "participation"),
                  "missing: base motion needs it when not every node has a \"mass\"");
    for (std::size_t i = 0; i < _M.enforced.size(); ++i)
      if (!_M.enforced[i].hasModalForce)
        _R.Fail(JsonMember(JsonItem("enforced", i), "modal_force"),
                "missing: needed when not every node has a \"mass\"");
  }

  JsonReader _R;
  std::string _File;
  const ReferencedFileReader* _Files;
  Model& _M;
  int _Constant = -1;
  IdSet _NodeIds;
  std::unordered_set<std::uint64_t> _Outputs;  ///< OutputKey of each output read
};

}  // namespace

std::string ReadWholeFile(const std::string& iPath) {
  int fd = ::open(iPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw std::runtime_error(std::strerror(errno));
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat st {};
  if (::fstat(fd, &st) != 0) throw std::runtime_error(std::strerror(errno));
  // One allocation of the size a regular file has; a pipe, or a file that
  // grows meanwhile, is read to its end all the same.
  std::string bytes;
  if (S_ISREG(st.st_mode)) bytes.resize(static_cast<std::size_t>(st.st_size));
  std::size_t done = 0;
  char chunk[65536];
  for (;;) {
    bool within = done < bytes.size();
    ssize_t got = within ? ::read(fd, &bytes[done], bytes.size() - done) : ::read(fd, chunk, sizeof chunk);
    if (got < 0) {
      if (errno == EINTR) continue;
      throw std::runtime_error(std::strerror(errno));
    }
    if (got == 0) break;
    if (!within) bytes.append(chunk, static_cast<std::size_t>(got));
    done += static_cast<std::size_t>(got);
  }
  bytes.resize(done);
  return bytes;
}

namespace {

// The model of a parsed text; the text may be freed meanwhile. iReader:
// null for files on disk.
Model ReadParsed(const JsonValue& iRoot, const std::string& iDisplayName,
                 const ReferencedFileReader* iReader) {
  Model model;
  model.source = iDisplayName;
  ModelReader(iDisplayName, iReader, model).Read(iRoot);
  if (model.name.empty()) {
    std::string base = iDisplayName.substr(iDisplayName.find_last_of('/') + 1);
    model.name = base.substr(0, base.rfind(".json") == std::string::npos ? base.size() : base.rfind(".json"));
  }
  return model;
}

}  // namespace

Model LoadModelText(const std::string& iText, const std::string& iDisplayName) {
  return ReadParsed(ParseJson(iText, iDisplayName).Root(), iDisplayName, nullptr);
}

Model LoadModelText(const std::string& iText, const std::string& iDisplayName,
                    const ReferencedFileReader& iReader) {
  return ReadParsed(ParseJson(iText, iDisplayName).Root(), iDisplayName, &iReader);
}

Model LoadModelFile(const std::string& iPath) {
  std::string text;
  try {
    text = ReadWholeFile(iPath);
  } catch (const std::runtime_error&) {
    throw ModelError(iPath + ": cannot be read");
  }
  // The text of a large model is as large again as its values: gone before
  // they are read into the model.
  JsonDocument parsed = ParseJson(std::move(text), iPath);
  return ReadParsed(parsed.Root(), iPath, nullptr);
}

}  // namespace vokdyn
