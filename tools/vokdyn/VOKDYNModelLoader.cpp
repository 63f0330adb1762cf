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
#include <set>

#include <nlohmann/json.hpp>

#include "VOKDYNFrdReader.h"
#include "VOKDYNModelJson.h"
#include "VOKDYNNpy.h"

namespace vokdyn {

namespace {

using Json = nlohmann::ordered_json;

// Deeper nesting than this is never a model: refuse it before it costs
// anything (the parser and the value's destruction would otherwise recurse).
constexpr int kMaxDepth = 64;
// Guards against a typo such as "steps": 1e9 filling the memory.
constexpr int kMaxSteps = 1000000;

std::string Member(const std::string& iPath, const std::string& iKey) {
  bool plain = !iKey.empty() && std::all_of(iKey.begin(), iKey.end(), [](unsigned char c) {
    return std::isalnum(c) || c == '_' || c == '-';
  });
  std::string key = plain ? iKey : Json(iKey).dump();
  if (iPath.empty()) return key;
  return plain ? iPath + "." + key : iPath + "[" + key + "]";
}

std::string Item(const std::string& iPath, std::size_t iIndex) {
  return iPath + "[" + std::to_string(iIndex) + "]";
}

// What a value is, for "expected ..., got ..." messages.
std::string Describe(const Json& iValue) {
  switch (iValue.type()) {
    case Json::value_t::object:
      return "an object";
    case Json::value_t::array:
      return "an array of " + std::to_string(iValue.size());
    case Json::value_t::null:
      return "null";
    case Json::value_t::binary:  // packed rows of six numbers
      return "an array of " + std::to_string(iValue.get_binary().size() / sizeof(Vec6));
    default: {
      std::string text = iValue.dump();
      if (text.size() > 40) text = text.substr(0, 37) + "...";
      return text;
    }
  }
}

std::string Number(double iValue) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.17g", iValue);
  return buffer;
}

class Reader {
 public:
  explicit Reader(std::string iFile) : _File(std::move(iFile)) {}

  [[noreturn]] void Fail(const std::string& iPath, const std::string& iWhat) const {
    throw ModelError(_File + ": " + (iPath.empty() ? std::string("top level") : iPath) + ": " +
                     iWhat);
  }
  [[noreturn]] void Expected(const std::string& iPath, const std::string& iWhat,
                             const Json& iGot) const {
    Fail(iPath, "expected " + iWhat + ", got " + Describe(iGot));
  }

  // An object whose keys are all among iKnown (an unknown key is refused with
  // the nearest known key as a suggestion).
  void Object(const Json& iValue, const std::string& iPath,
              const std::vector<std::string>& iKnown) const {
    if (!iValue.is_object()) Expected(iPath, "an object", iValue);
    for (auto it = iValue.begin(); it != iValue.end(); ++it) {
      if (std::find(iKnown.begin(), iKnown.end(), it.key()) != iKnown.end()) continue;
      std::string message = "unknown key " + Json(it.key()).dump();
      std::string nearest = NearestKey(it.key(), iKnown);
      if (!nearest.empty()) {
        message += " (did you mean \"" + nearest + "\"?)";
      } else {
        message += " (known keys:";
        for (const std::string& k : iKnown) message += " " + k;
        message += ")";
      }
      Fail(iPath, message);
    }
  }

  const Json* Find(const Json& iObject, const std::string& iKey) const {
    auto it = iObject.find(iKey);
    return it == iObject.end() ? nullptr : &*it;
  }
  const Json& Require(const Json& iObject, const std::string& iPath,
                      const std::string& iKey, const std::string& iWhat) const {
    const Json* value = Find(iObject, iKey);
    if (!value) Fail(Member(iPath, iKey), "missing: expected " + iWhat);
    return *value;
  }

  double Real(const Json& iValue, const std::string& iPath) const {
    if (!iValue.is_number()) Expected(iPath, "a number", iValue);
    return iValue.get<double>();
  }
  double Positive(const Json& iValue, const std::string& iPath) const {
    if (!iValue.is_number() || !(iValue.get<double>() > 0.0))
      Expected(iPath, "a number > 0", iValue);
    return iValue.get<double>();
  }
  double NonNegative(const Json& iValue, const std::string& iPath) const {
    if (!iValue.is_number() || !(iValue.get<double>() >= 0.0))
      Expected(iPath, "a number >= 0", iValue);
    return iValue.get<double>();
  }
  // A frequency: > 0 and finite once rounded to single precision, the
  // precision in which the excitation operations take it.
  double Frequency(const Json& iValue, const std::string& iPath) const {
    const char* what = "a frequency > 0 that single precision holds";
    if (!iValue.is_number()) Expected(iPath, what, iValue);
    double f = iValue.get<double>();
    float single = static_cast<float>(f);
    if (!(f > 0.0) || !(single > 0.0f) || std::isinf(single)) Expected(iPath, what, iValue);
    return f;
  }
  int Integer(const Json& iValue, const std::string& iPath, const std::string& iWhat,
              long long iMin, long long iMax) const {
    if (!iValue.is_number_integer()) Expected(iPath, iWhat, iValue);
    long long v = 0;
    if (iValue.is_number_unsigned()) {
      auto u = iValue.get<unsigned long long>();
      if (u > static_cast<unsigned long long>(iMax)) Expected(iPath, iWhat, iValue);
      v = static_cast<long long>(u);
    } else {
      v = iValue.get<long long>();
    }
    if (v < iMin || v > iMax) Expected(iPath, iWhat, iValue);
    return static_cast<int>(v);
  }
  bool Boolean(const Json& iValue, const std::string& iPath) const {
    if (!iValue.is_boolean()) Expected(iPath, "true or false", iValue);
    return iValue.get<bool>();
  }
  std::string Text(const Json& iValue, const std::string& iPath) const {
    if (!iValue.is_string()) Expected(iPath, "a string", iValue);
    return iValue.get<std::string>();
  }
  const Json& Array(const Json& iValue, const std::string& iPath, const std::string& iWhat,
                    bool iNonEmpty) const {
    if (!iValue.is_array() || (iNonEmpty && iValue.empty())) Expected(iPath, iWhat, iValue);
    return iValue;
  }
  template <std::size_t N>
  std::array<double, N> Fixed(const Json& iValue, const std::string& iPath) const {
    return Fixed<N>(iValue, [&iPath]() { return iPath; });
  }
  // The same with the path made only for a message: a model holds millions
  // of these rows, and building each one's path costs more than reading it.
  template <std::size_t N, class PathOf>
  std::array<double, N> Fixed(const Json& iValue, const PathOf& iPathOf) const {
    if (!iValue.is_array() || iValue.size() != N)
      Expected(iPathOf(), "an array of " + std::to_string(N) + " numbers", iValue);
    std::array<double, N> out{};
    for (std::size_t i = 0; i < N; ++i) {
      const Json& v = iValue[i];
      if (!v.is_number()) Expected(Item(iPathOf(), i), "a number", v);
      out[i] = v.get<double>();
    }
    return out;
  }
  std::vector<double> Reals(const Json& iValue, const std::string& iPath) const {
    Array(iValue, iPath, "an array of numbers", false);
    std::vector<double> out;
    for (std::size_t i = 0; i < iValue.size(); ++i) out.push_back(Real(iValue[i], Item(iPath, i)));
    return out;
  }

 private:
  std::string _File;
};

// The keys of each object of the format, in the order the documentation
// gives them.
const std::vector<std::string> kTopKeys = {"format", "name", "nodes", "modal_base", "damping",
                                           "modulations", "loads", "enforced", "base_motion",
                                           "sweep", "frequencies", "outputs", "groups", "elements",
                                           "fields"};
const std::vector<std::string> kNodeKeys = {"id", "xyz", "mass"};
const std::vector<std::string> kBaseKeys = {"name", "up_to_date", "damping_diagonal", "rotations", "shapes",
                                            "modes"};
const std::vector<std::string> kModeKeys = {"frequency", "generalized_mass",
                                            "generalized_stiffness", "participation", "shape"};
const std::vector<std::string> kDampingKeys = {"type", "percent", "percent_per_mode", "alpha",
                                               "beta", "alpha_per_mode", "beta_per_mode"};
const std::vector<std::string> kModulationKeys = {"points"};
const std::vector<std::string> kLoadKeys = {"name", "amplitude", "phase_deg", "modulation",
                                            "forces"};
const std::vector<std::string> kForceKeys = {"node", "values"};
const std::vector<std::string> kEnforcedKeys = {"name", "amplitude", "phase_deg", "modulation",
                                                "static_displacement", "modal_force"};
const std::vector<std::string> kBaseMotionKeys = {"axis", "directions"};
const std::vector<std::string> kAxisKeys = {"origin", "x", "y"};
const std::vector<std::string> kDirectionKeys = {"direction", "amplitude", "phase_deg",
                                                 "modulation"};
const std::vector<std::string> kSweepKeys = {"from", "to", "steps", "spacing"};
const std::vector<std::string> kOutputKeys = {"node", "set", "component"};
const std::vector<std::string> kElementKeys = {"type", "nodes"};
const std::vector<std::string> kFieldKeys = {"frequencies", "at_peaks"};

// Builds the value from the parser's events, refusing deep nesting and
// noting the first repeated key (the JSON library would silently keep the
// last one). It does the work of the library's own builder without its
// per-event callback, which made up much of the time of a large model.
class Builder {
 public:
  explicit Builder(const std::string& iFile) : _File(iFile) {}

  Json root;
  std::string duplicate;  ///< the message for the first repeated key, if any

  bool null() { return Value(nullptr); }
  bool boolean(bool iValue) { return Value(iValue); }
  bool number_integer(Json::number_integer_t iValue) { return Value(iValue); }
  bool number_unsigned(Json::number_unsigned_t iValue) { return Value(iValue); }
  bool number_float(Json::number_float_t iValue, const std::string&) { return Value(iValue); }
  bool string(std::string& iValue) { return Value(std::move(iValue)); }
  bool binary(Json::binary_t& iValue) { return Value(std::move(iValue)); }
  bool start_object(std::size_t) { return Open(Json::value_t::object); }
  bool start_array(std::size_t) { return Open(Json::value_t::array); }
  bool end_object() { return Close(); }
  bool end_array() { return Close(); }
  bool key(std::string& iKey) {
    Depth();
    Frame& top = _Frames.back();
    Json::object_t& object = top.value->get_ref<Json::object_t&>();
    auto found = std::find_if(object.begin(), object.end(),
                              [&iKey](const auto& iMember) { return iMember.first == iKey; });
    if (found != object.end()) {
      if (duplicate.empty()) {
        std::string where;
        for (std::size_t i = 0; i + 1 < _Frames.size(); ++i) where = Step(where, _Frames[i]);
        where = Member(where, iKey);
        duplicate = _File + ": " + where + ": the key " + Json(iKey).dump() + " is given twice";
      }
      // The repeated value replaces the first, as the library's builder does;
      // the model is refused anyway once the text is read.
      top.member = static_cast<std::size_t>(found - object.begin());
      found->second = Json();
    } else {
      top.member = object.size();
      object.emplace_back(std::move(iKey), Json());
    }
    return true;
  }
  template <class Exception>
  bool parse_error(std::size_t, const std::string&, const Exception& iError) {
    throw iError;
  }

 private:
  struct Frame {
    Json* value;
    std::size_t member;  ///< objects: position of the member being read; arrays: its index
  };

  // The path down to the member or item that iFrame is reading.
  static std::string Step(const std::string& iPath, const Frame& iFrame) {
    if (iFrame.value->is_array()) return Item(iPath, iFrame.value->size() - 1);
    return Member(iPath, (iFrame.value->get_ref<const Json::object_t&>().begin() + static_cast<std::ptrdiff_t>(iFrame.member))->first);
  }
  void Depth() const {
    if (_Frames.size() > static_cast<std::size_t>(kMaxDepth))
      throw ModelError(_File + ": nesting deeper than " + std::to_string(kMaxDepth) + " levels");
  }
  // The place of the next value: the root, a new item, or the member whose
  // key was just read.
  Json* Slot() {
    if (_Frames.empty()) return &root;
    Frame& top = _Frames.back();
    if (top.value->is_array()) {
      Json::array_t& array = top.value->get_ref<Json::array_t&>();
      array.emplace_back();
      return &array.back();
    }
    return &(top.value->get_ref<Json::object_t&>().begin() + static_cast<std::ptrdiff_t>(top.member))->second;
  }
  template <class T>
  bool Value(T&& iValue) {
    Depth();
    *Slot() = Json(std::forward<T>(iValue));
    return true;
  }
  bool Open(Json::value_t iType) {
    Depth();
    Json* slot = Slot();
    *slot = Json(iType);
    _Frames.push_back({slot, 0});
    return true;
  }
  bool Close() {
    _Frames.pop_back();
    return true;
  }

  const std::string& _File;
  std::vector<Frame> _Frames;
};

// Parses with comments allowed, refusing deep nesting and repeated keys. The
// quick reading of the plain form comes first; whatever it leaves, the
// general parser reads, with its messages.
Json Parse(const std::string& iText, const std::string& iFile) {
  Json plain;
  if (ParsePlainModelJson(iText, plain)) return plain;
  Builder builder(iFile);
  try {
    Json::sax_parse(iText, &builder, nlohmann::detail::input_format_t::json, /*strict=*/true,
                    /*ignore_comments=*/true);
  } catch (const Json::parse_error& e) {
    // Position from the byte offset; the library's own message repeats it
    // in another form, so keep only its description.
    std::size_t end = std::min<std::size_t>(e.byte > 0 ? e.byte - 1 : 0, iText.size());
    std::size_t line = 1, column = 1;
    for (std::size_t i = 0; i < end; ++i) {
      if (iText[i] == '\n') {
        ++line;
        column = 1;
      } else {
        ++column;
      }
    }
    std::string what = e.what();
    std::size_t colon = what.find(": ", what.find("parse error"));
    if (colon != std::string::npos) what = what.substr(colon + 2);
    throw ModelError(iFile + ": line " + std::to_string(line) + ", column " +
                     std::to_string(column) + ": malformed JSON: " + what);
  } catch (const Json::exception& e) {
    std::string what = e.what();
    std::size_t bracket = what.find("] ");
    if (bracket != std::string::npos) what = what.substr(bracket + 2);
    throw ModelError(iFile + ": malformed JSON: " + what);
  }
  if (!builder.duplicate.empty()) throw ModelError(builder.duplicate);
  return std::move(builder.root);
}

class ModelReader {
 public:
  ModelReader(const std::string& iFile, const ReferencedFileReader& iFiles, Model& oModel)
      : _R(iFile), _File(iFile), _Files(iFiles), _M(oModel) {}

  void Read(const Json& iRoot) {
    _R.Object(iRoot, "", kTopKeys);
    const Json& format = _R.Require(iRoot, "", "format", "\"" + std::string(kModelFormat) + "\"");
    if (!format.is_string() || format.get<std::string>() != kModelFormat)
      _R.Expected("format", "\"" + std::string(kModelFormat) + "\"", format);
    if (const Json* name = _R.Find(iRoot, "name")) _M.name = _R.Text(*name, "name");

    ReadNodes(_R.Require(iRoot, "", "nodes", "an array of nodes"));
    if (const Json* groups = _R.Find(iRoot, "groups")) ReadGroups(*groups);
    if (const Json* elements = _R.Find(iRoot, "elements")) ReadElements(*elements);
    if (const Json* fields = _R.Find(iRoot, "fields")) ReadFields(*fields);
    ReadBase(_R.Require(iRoot, "", "modal_base", "an object"));
    ReadDamping(_R.Require(iRoot, "", "damping", "an object (modal or Rayleigh damping)"));
    if (const Json* modulations = _R.Find(iRoot, "modulations")) ReadModulations(*modulations);
    if (const Json* loads = _R.Find(iRoot, "loads")) ReadLoads(*loads);
    if (const Json* enforced = _R.Find(iRoot, "enforced")) ReadEnforced(*enforced);
    if (const Json* motion = _R.Find(iRoot, "base_motion")) ReadBaseMotion(*motion);
    ReadSweep(iRoot);
    ReadOutputs(_R.Require(iRoot, "", "outputs", "an array of outputs"));
    CheckExcited();
    CheckMassesWhereNeeded();
  }

 private:
  int NodeRef(const Json& iValue, const std::string& iPath) const {
    int id = _R.Integer(iValue, iPath, "a node id", std::numeric_limits<int>::min(),
                        std::numeric_limits<int>::max());
    if (!_NodeIds.count(id)) _R.Fail(iPath, "unknown node " + std::to_string(id));
    return id;
  }

  // Rows of six values, one per node in node order.
  std::vector<Vec6> NodeRows(const Json& iValue, const std::string& iPath) const {
    std::string what = "an array of " + std::to_string(_M.nodes.size()) +
                       " rows of 6 numbers (one per node)";
    std::vector<Vec6> rows;
    if (IsPackedRows(iValue)) {
      const auto& bytes = iValue.get_binary();
      if (bytes.size() != _M.nodes.size() * sizeof(Vec6)) _R.Expected(iPath, what, iValue);
      rows.resize(_M.nodes.size());
      std::memcpy(rows.data(), bytes.data(), bytes.size());
      return rows;
    }
    if (!iValue.is_array() || iValue.size() != _M.nodes.size()) _R.Expected(iPath, what, iValue);
    rows.reserve(iValue.size());
    for (std::size_t i = 0; i < iValue.size(); ++i)
      rows.push_back(_R.Fixed<6>(iValue[i], [&]() { return Item(iPath, i); }));
    return rows;
  }

  std::vector<double> PerMode(const Json& iValue, const std::string& iPath, bool iNonNegative) const {
    std::size_t n = _M.base.modes.size();
    std::string what = "an array of " + std::to_string(n) + " numbers (one per mode)";
    if (!iValue.is_array()) _R.Expected(iPath, what, iValue);
    if (iValue.size() != n)
      _R.Fail(iPath, "expected " + std::to_string(n) + " values (one per mode), got " +
                         std::to_string(iValue.size()));
    std::vector<double> out;
    for (std::size_t i = 0; i < n; ++i)
      out.push_back(iNonNegative ? _R.NonNegative(iValue[i], Item(iPath, i))
                                 : _R.Real(iValue[i], Item(iPath, i)));
    return out;
  }

  void ReadNodes(const Json& iNodes) {
    _R.Array(iNodes, "nodes", "a non-empty array of nodes", true);
    for (std::size_t i = 0; i < iNodes.size(); ++i) {
      std::string path = Item("nodes", i);
      const Json& n = iNodes[i];
      _R.Object(n, path, kNodeKeys);
      Node node;
      node.id = _R.Integer(_R.Require(n, path, "id", "an integer node id"), Member(path, "id"),
                           "an integer node id", std::numeric_limits<int>::min(),
                           std::numeric_limits<int>::max());
      if (!_NodeIds.insert(node.id).second)
        _R.Fail(Member(path, "id"), "node " + std::to_string(node.id) + " is given twice");
      node.xyz = _R.Fixed<3>(_R.Require(n, path, "xyz", "an array of 3 numbers"), Member(path, "xyz"));
      if (const Json* mass = _R.Find(n, "mass")) {
        node.hasMass = true;
        node.mass = _R.Fixed<6>(*mass, Member(path, "mass"));
        for (std::size_t c = 0; c < 6; ++c)
          if (!(node.mass[c] >= 0.0))
            _R.Expected(Item(Member(path, "mass"), c), "a number >= 0", (*mass)[c]);
      }
      _M.nodes.push_back(node);
    }
  }

  void ReadBase(const Json& iBase) {
    const std::string path = "modal_base";
    _R.Object(iBase, path, kBaseKeys);
    if (const Json* name = _R.Find(iBase, "name")) _M.base.name = _R.Text(*name, Member(path, "name"));
    if (const Json* up = _R.Find(iBase, "up_to_date"))
      _M.base.upToDate = _R.Boolean(*up, Member(path, "up_to_date"));
    if (const Json* diag = _R.Find(iBase, "damping_diagonal"))
      _M.base.dampingDiagonal = _R.Boolean(*diag, Member(path, "damping_diagonal"));
    if (const Json* rotations = _R.Find(iBase, "rotations"))
      _M.base.rotations = _R.Boolean(*rotations, Member(path, "rotations"));
    const Json* shapes = _R.Find(iBase, "shapes");
    const std::string shapesPath = Member(path, "shapes");
    if (shapes && (!shapes->is_string() || shapes->get<std::string>().empty()))
      _R.Expected(shapesPath, "the name of a .npy file", *shapes);
    const Json& modes = _R.Require(iBase, path, "modes", "a non-empty array of modes");
    std::string modesPath = Member(path, "modes");
    _R.Array(modes, modesPath, "a non-empty array of modes", true);
    for (std::size_t i = 0; i < modes.size(); ++i) {
      std::string mp = Item(modesPath, i);
      const Json& m = modes[i];
      _R.Object(m, mp, kModeKeys);
      Mode mode;
      mode.frequency = _R.Positive(_R.Require(m, mp, "frequency", "a number > 0"),
                                   Member(mp, "frequency"));
      if (const Json* gm = _R.Find(m, "generalized_mass"))
        mode.generalizedMass = _R.Positive(*gm, Member(mp, "generalized_mass"));
      if (const Json* gk = _R.Find(m, "generalized_stiffness")) {
        mode.generalizedStiffness = _R.Positive(*gk, Member(mp, "generalized_stiffness"));
        mode.stiffnessGiven = true;
      } else {
        double omega = kTwoPi * mode.frequency;
        mode.generalizedStiffness = mode.generalizedMass * (omega * omega);
        if (!std::isfinite(mode.generalizedStiffness))
          _R.Fail(Member(mp, "frequency"), "the stiffness m (2 pi f)^2 overflows");
      }
      if (const Json* gamma = _R.Find(m, "participation")) {
        mode.hasParticipation = true;
        mode.participation = _R.Fixed<6>(*gamma, Member(mp, "participation"));
      }
      if (!shapes) {
        mode.shape = NodeRows(_R.Require(m, mp, "shape", "one row of 6 numbers per node"),
                              Member(mp, "shape"));
      } else if (_R.Find(m, "shape")) {
        _R.Fail(Member(mp, "shape"), "given as well as \"" + shapesPath +
                                         "\": give the shapes either in the modes or in the file");
      }
      _M.base.modes.push_back(mode);
    }
    if (shapes) ReadShapesFile(shapes->get<std::string>(), shapesPath);
  }

  // The shapes of every mode from a .npy file, named in messages by its path
  // as resolved, which is where the user finds it.
  void ReadShapesFile(const std::string& iReference, const std::string& iPath) {
    std::string file = iReference;
    std::size_t slash = _File.find_last_of('/');
    if (iReference[0] != '/' && slash != std::string::npos) file = _File.substr(0, slash + 1) + iReference;
    std::string bytes;
    try {
      bytes = _Files(file);
    } catch (const std::exception& e) {
      _R.Fail(iPath, file + ": cannot be read (" + e.what() + ")");
    }
    try {
      DecodeModeShapes(bytes, _M.nodes.size(), _M.base.modes);
    } catch (const NpyError& e) {
      _R.Fail(iPath, file + ": " + e.what());
    }
  }

  void ReadDamping(const Json& iDamping) {
    const std::string path = "damping";
    _R.Object(iDamping, path, kDampingKeys);
    Damping& d = _M.damping;
    const Json& type = _R.Require(iDamping, path, "type", "\"modal\" or \"rayleigh\"");
    std::string typePath = Member(path, "type");
    if (!type.is_string()) _R.Expected(typePath, "\"modal\" or \"rayleigh\"", type);
    auto refuse = [&](const char* iKey, const std::string& iWhy) {
      if (_R.Find(iDamping, iKey)) _R.Fail(Member(path, iKey), iWhy);
    };
    if (type.get<std::string>() == "modal") {
      d.type = DampingType::Modal;
      for (const char* key : {"alpha", "beta", "alpha_per_mode", "beta_per_mode"})
        refuse(key, "not a key of modal damping (give \"percent\" or \"percent_per_mode\")");
      const Json* percent = _R.Find(iDamping, "percent");
      const Json* perMode = _R.Find(iDamping, "percent_per_mode");
      if (percent && perMode)
        _R.Fail(path, "give either \"percent\" or \"percent_per_mode\", not both");
      if (!percent && !perMode)
        _R.Fail(path, "modal damping needs \"percent\" or \"percent_per_mode\"");
      if (percent) {
        d.percent = _R.NonNegative(*percent, Member(path, "percent"));
      } else {
        d.perMode = true;
        d.percentPerMode = PerMode(*perMode, Member(path, "percent_per_mode"), true);
      }
    } else if (type.get<std::string>() == "rayleigh") {
      d.type = DampingType::Rayleigh;
      for (const char* key : {"percent", "percent_per_mode"})
        refuse(key, "not a key of Rayleigh damping (give \"alpha\" and \"beta\", or "
                    "\"alpha_per_mode\" and \"beta_per_mode\")");
      const Json* alpha = _R.Find(iDamping, "alpha");
      const Json* beta = _R.Find(iDamping, "beta");
      const Json* alphas = _R.Find(iDamping, "alpha_per_mode");
      const Json* betas = _R.Find(iDamping, "beta_per_mode");
      bool global = alpha || beta, perMode = alphas || betas;
      if (global && perMode)
        _R.Fail(path, "give either \"alpha\"/\"beta\" or \"alpha_per_mode\"/\"beta_per_mode\", not both");
      if (!global && !perMode)
        _R.Fail(path, "Rayleigh damping needs \"alpha\" and \"beta\" (or their per-mode lists)");
      if (global) {
        if (alpha) d.alpha = _R.NonNegative(*alpha, Member(path, "alpha"));
        if (beta) d.beta = _R.NonNegative(*beta, Member(path, "beta"));
      } else {
        if (!alphas) _R.Fail(Member(path, "alpha_per_mode"), "missing: expected one number per mode");
        if (!betas) _R.Fail(Member(path, "beta_per_mode"), "missing: expected one number per mode");
        d.perMode = true;
        d.alphaPerMode = PerMode(*alphas, Member(path, "alpha_per_mode"), true);
        d.betaPerMode = PerMode(*betas, Member(path, "beta_per_mode"), true);
      }
    } else {
      _R.Expected(typePath, "\"modal\" or \"rayleigh\"", type);
    }
  }

  void ReadModulations(const Json& iModulations) {
    const std::string path = "modulations";
    if (!iModulations.is_object()) _R.Expected(path, "an object of named modulations", iModulations);
    for (auto it = iModulations.begin(); it != iModulations.end(); ++it) {
      std::string mp = Member(path, it.key());
      _R.Object(it.value(), mp, kModulationKeys);
      Modulation modulation;
      modulation.name = it.key();
      std::string pp = Member(mp, "points");
      const Json& points = _R.Array(_R.Require(it.value(), mp, "points", "an array of [abscissa, factor]"),
                                    pp, "a non-empty array of [abscissa, factor]", true);
      for (std::size_t i = 0; i < points.size(); ++i) {
        std::array<double, 2> p = _R.Fixed<2>(points[i], Item(pp, i));
        if (i > 0 && !(p[0] > modulation.points.back()[0]))
          _R.Fail(Item(Item(pp, i), 0), "abscissae must increase: " + Number(p[0]) +
                                             " does not exceed " + Number(modulation.points.back()[0]));
        modulation.points.push_back(p);
      }
      _M.modulations.push_back(modulation);
    }
  }

  // The modulation named by an excitation, or the implicit constant one.
  int ModulationRef(const Json& iObject, const std::string& iPath) {
    const Json* name = _R.Find(iObject, "modulation");
    if (!name) {
      if (_Constant < 0) {
        _M.modulations.push_back(ImplicitConstant());
        _Constant = static_cast<int>(_M.modulations.size()) - 1;
      }
      return _Constant;
    }
    std::string path = Member(iPath, "modulation");
    std::string text = _R.Text(*name, path);
    for (std::size_t i = 0; i < _M.modulations.size(); ++i)
      if (!_M.modulations[i].implicit && _M.modulations[i].name == text) return static_cast<int>(i);
    std::string message = "unknown modulation " + Json(text).dump();
    std::vector<std::string> names;
    for (const Modulation& m : _M.modulations)
      if (!m.implicit) names.push_back(m.name);
    std::string nearest = NearestKey(text, names);
    if (!nearest.empty()) message += " (did you mean \"" + nearest + "\"?)";
    else if (names.empty()) message += " (the model defines no \"modulations\")";
    _R.Fail(path, message);
  }

  template <class T>
  void ReadCommon(const Json& iObject, const std::string& iPath, T& ioItem) {
    if (const Json* a = _R.Find(iObject, "amplitude")) ioItem.amplitude = _R.Real(*a, Member(iPath, "amplitude"));
    if (const Json* p = _R.Find(iObject, "phase_deg")) ioItem.phaseDeg = _R.Real(*p, Member(iPath, "phase_deg"));
    ioItem.modulation = ModulationRef(iObject, iPath);
  }

  void ReadLoads(const Json& iLoads) {
    _R.Array(iLoads, "loads", "an array of loads", false);
    for (std::size_t i = 0; i < iLoads.size(); ++i) {
      std::string lp = Item("loads", i);
      const Json& l = iLoads[i];
      _R.Object(l, lp, kLoadKeys);
      Load load;
      load.name = "load " + std::to_string(i + 1);
      if (const Json* name = _R.Find(l, "name")) load.name = _R.Text(*name, Member(lp, "name"));
      ReadCommon(l, lp, load);
      std::string fp = Member(lp, "forces");
      const Json& forces = _R.Array(_R.Require(l, lp, "forces", "an array of nodal forces"), fp,
                                    "a non-empty array of nodal forces", true);
      for (std::size_t k = 0; k < forces.size(); ++k) {
        std::string kp = Item(fp, k);
        _R.Object(forces[k], kp, kForceKeys);
        NodalForce force;
        force.node = NodeRef(_R.Require(forces[k], kp, "node", "a node id"), Member(kp, "node"));
        force.values = _R.Fixed<6>(_R.Require(forces[k], kp, "values", "an array of 6 numbers"),
                                   Member(kp, "values"));
        for (std::size_t c = 3; c < 6 && !_M.base.rotations; ++c)
          if (force.values[c] != 0.0)
            _R.Fail(Item(Member(kp, "values"), c), "a moment on a node without rotations (modal_base.rotations is "
                                                   "false: solid elements); expected 0");
        load.forces.push_back(force);
      }
      _M.loads.push_back(load);
    }
  }

  void ReadEnforced(const Json& iEnforced) {
    _R.Array(iEnforced, "enforced", "an array of enforced displacements", false);
    for (std::size_t i = 0; i < iEnforced.size(); ++i) {
      std::string ep = Item("enforced", i);
      const Json& e = iEnforced[i];
      _R.Object(e, ep, kEnforcedKeys);
      Enforced set;
      set.name = "enforced " + std::to_string(i + 1);
      if (const Json* name = _R.Find(e, "name")) set.name = _R.Text(*name, Member(ep, "name"));
      ReadCommon(e, ep, set);
      set.staticDisplacement = NodeRows(
          _R.Require(e, ep, "static_displacement", "one row of 6 numbers per node"),
          Member(ep, "static_displacement"));
      if (const Json* force = _R.Find(e, "modal_force")) {
        set.hasModalForce = true;
        set.modalForce = PerMode(*force, Member(ep, "modal_force"), false);
      }
      _M.enforced.push_back(set);
    }
  }

  void ReadBaseMotion(const Json& iMotion) {
    const std::string path = "base_motion";
    _R.Object(iMotion, path, kBaseMotionKeys);
    BaseMotion& b = _M.baseMotion;
    b.present = true;
    if (const Json* axis = _R.Find(iMotion, "axis")) {
      std::string ap = Member(path, "axis");
      _R.Object(*axis, ap, kAxisKeys);
      b.axis.given = true;
      b.axis.origin = _R.Fixed<3>(_R.Require(*axis, ap, "origin", "an array of 3 numbers"), Member(ap, "origin"));
      b.axis.x = _R.Fixed<3>(_R.Require(*axis, ap, "x", "an array of 3 numbers"), Member(ap, "x"));
      b.axis.y = _R.Fixed<3>(_R.Require(*axis, ap, "y", "an array of 3 numbers"), Member(ap, "y"));
      const Vec3& x = b.axis.x;
      const Vec3& y = b.axis.y;
      double nx = std::sqrt(x[0] * x[0] + x[1] * x[1] + x[2] * x[2]);
      if (!(nx > 0.0) || !std::isfinite(nx)) _R.Fail(Member(ap, "x"), "expected a non-zero direction");
      Vec3 cross{x[1] * y[2] - x[2] * y[1], x[2] * y[0] - x[0] * y[2], x[0] * y[1] - x[1] * y[0]};
      double nc = std::sqrt(cross[0] * cross[0] + cross[1] * cross[1] + cross[2] * cross[2]);
      double ny = std::sqrt(y[0] * y[0] + y[1] * y[1] + y[2] * y[2]);
      // Nearly parallel directions leave the third axis to rounding.
      if (!(nc > 1e-9 * nx * ny) || !std::isfinite(nc))
        _R.Fail(Member(ap, "y"), "expected a direction not parallel to x");
    }
    std::string dp = Member(path, "directions");
    const Json& dirs = _R.Array(_R.Require(iMotion, path, "directions", "an array of directions"),
                                dp, "a non-empty array of directions", true);
    for (std::size_t i = 0; i < dirs.size(); ++i) {
      std::string ip = Item(dp, i);
      _R.Object(dirs[i], ip, kDirectionKeys);
      BaseDirection dir;
      dir.direction = _R.Integer(_R.Require(dirs[i], ip, "direction", "a direction 1..6"),
                                 Member(ip, "direction"), "a direction 1..6", 1, 6);
      for (const BaseDirection& other : b.directions)
        if (other.direction == dir.direction)
          _R.Fail(Member(ip, "direction"), "direction " + std::to_string(dir.direction) + " is given twice");
      ReadCommon(dirs[i], ip, dir);
      b.directions.push_back(dir);
    }
  }

  void ReadSweep(const Json& iRoot) {
    const Json* sweep = _R.Find(iRoot, "sweep");
    const Json* list = _R.Find(iRoot, "frequencies");
    if (sweep && list) _R.Fail("", "give either \"sweep\" or \"frequencies\", not both");
    if (!sweep && !list) _R.Fail("", "missing \"sweep\" (or \"frequencies\"): the frequencies to compute");
    Sweep& s = _M.sweep;
    if (list) {
      s.isRange = false;
      _R.Array(*list, "frequencies", "a non-empty array of frequencies", true);
      if (list->size() > static_cast<std::size_t>(kMaxSteps))
        _R.Fail("frequencies", "more than " + std::to_string(kMaxSteps) + " frequencies");
      for (std::size_t i = 0; i < list->size(); ++i) {
        double f = _R.Frequency((*list)[i], Item("frequencies", i));
        if (i > 0 && !(f > s.list.back()))
          _R.Fail(Item("frequencies", i), "frequencies must increase: " + Number(f) +
                                              " does not exceed " + Number(s.list.back()));
        s.list.push_back(f);
      }
      return;
    }
    const std::string path = "sweep";
    _R.Object(*sweep, path, kSweepKeys);
    s.isRange = true;
    s.from = _R.Frequency(_R.Require(*sweep, path, "from", "a frequency > 0"), Member(path, "from"));
    s.to = _R.Frequency(_R.Require(*sweep, path, "to", "a frequency > 0"), Member(path, "to"));
    if (!(s.to > s.from))
      _R.Fail(Member(path, "to"), "expected a frequency above \"from\" (" + Number(s.from) + "), got " + Number(s.to));
    s.steps = _R.Integer(_R.Require(*sweep, path, "steps", "an integer 2.." + std::to_string(kMaxSteps)),
                         Member(path, "steps"), "an integer 2.." + std::to_string(kMaxSteps), 2, kMaxSteps);
    if (const Json* spacing = _R.Find(*sweep, "spacing")) {
      std::string sp = Member(path, "spacing");
      if (!spacing->is_string()) _R.Expected(sp, "\"linear\" or \"log\"", *spacing);
      if (spacing->get<std::string>() == "linear") s.spacing = Spacing::Linear;
      else if (spacing->get<std::string>() == "log") s.spacing = Spacing::Log;
      else _R.Expected(sp, "\"linear\" or \"log\"", *spacing);
    }
  }

  void ReadOutputs(const Json& iOutputs) {
    _R.Array(iOutputs, "outputs", "a non-empty array of outputs", true);
    for (std::size_t i = 0; i < iOutputs.size(); ++i) {
      std::string op = Item("outputs", i);
      _R.Object(iOutputs[i], op, kOutputKeys);
      const Json* node = _R.Find(iOutputs[i], "node");
      const Json* set = _R.Find(iOutputs[i], "set");
      if ((node != nullptr) == (set != nullptr))
        _R.Fail(op, "expected either \"node\" (a node id) or \"set\" (the name of a group), not both");
      Output out;
      out.component = _R.Integer(_R.Require(iOutputs[i], op, "component", "a component 1..6"),
                                 Member(op, "component"), "a component 1..6", 1, 6);
      if (out.component > 3 && !_M.base.rotations)
        _R.Fail(Member(op, "component"), "the nodes have no rotations (modal_base.rotations is false: solid "
                                         "elements); expected a translation, 1..3");
      // A group gives one output per node, in the group's order.
      std::vector<int> nodes;
      if (node) {
        nodes.push_back(NodeRef(*node, Member(op, "node")));
      } else {
        const std::string name = _R.Text(*set, Member(op, "set"));
        auto group = std::find_if(_M.groups.begin(), _M.groups.end(), [&](const Group& g) { return g.name == name; });
        if (group == _M.groups.end()) _R.Fail(Member(op, "set"), "unknown group " + Json(name).dump());
        nodes = group->nodes;
      }
      for (int id : nodes) {
        out.node = id;
        for (const Output& other : _M.outputs)
          if (other.node == out.node && other.component == out.component)
            _R.Fail(op, "output " + OutputLabel(out) + " is asked twice");
        _M.outputs.push_back(out);
      }
    }
  }

  void ReadGroups(const Json& iGroups) {
    if (!iGroups.is_object()) _R.Expected("groups", "an object of groups (name: [node ids])", iGroups);
    for (auto it = iGroups.begin(); it != iGroups.end(); ++it) {
      const std::string gp = Member("groups", it.key());
      Group group;
      group.name = it.key();
      const Json& ids = _R.Array(it.value(), gp, "a non-empty array of node ids", true);
      std::set<int> seen;
      for (std::size_t k = 0; k < ids.size(); ++k) {
        int id = NodeRef(ids[k], Item(gp, k));
        if (!seen.insert(id).second) _R.Fail(Item(gp, k), "node " + std::to_string(id) + " is in the group twice");
        group.nodes.push_back(id);
      }
      _M.groups.push_back(group);
    }
  }

  void ReadElements(const Json& iElements) {
    _R.Array(iElements, "elements", "an array of elements", false);
    for (std::size_t i = 0; i < iElements.size(); ++i) {
      const std::string ep = Item("elements", i);
      _R.Object(iElements[i], ep, kElementKeys);
      Element element;
      const Json& type = _R.Require(iElements[i], ep, "type", "an element type");
      const char* what = "an element type: he8, pe6, te4, he20, pe15, te10, tr3, tr6, qu4, qu8, be2 or be3";
      element.type = type.is_string() ? FrdTypeOfName(type.get<std::string>()) : 0;
      if (element.type == 0) _R.Expected(Member(ep, "type"), what, type);
      const std::size_t count = static_cast<std::size_t>(FrdNodesPerElement(element.type));
      const std::string np = Member(ep, "nodes");
      const Json& nodes = _R.Require(iElements[i], ep, "nodes", "an array of node ids");
      if (!nodes.is_array() || nodes.size() != count)
        _R.Expected(np, "an array of " + std::to_string(count) + " node ids (" + type.get<std::string>() + ")", nodes);
      for (std::size_t k = 0; k < count; ++k) element.nodes.push_back(NodeRef(nodes[k], Item(np, k)));
      _M.elements.push_back(element);
    }
  }

  void ReadFields(const Json& iFields) {
    _R.Object(iFields, "fields", kFieldKeys);
    _M.fields.present = true;
    if (const Json* list = _R.Find(iFields, "frequencies")) {
      _R.Array(*list, "fields.frequencies", "an array of frequencies", false);
      for (std::size_t k = 0; k < list->size(); ++k)
        _M.fields.frequencies.push_back(_R.Frequency((*list)[k], Item("fields.frequencies", k)));
    }
    if (const Json* peaks = _R.Find(iFields, "at_peaks")) _M.fields.atPeaks = _R.Boolean(*peaks, "fields.at_peaks");
    if (_M.fields.frequencies.empty() && !_M.fields.atPeaks)
      _R.Fail("fields", "no frequency: give \"frequencies\" or \"at_peaks\": true");
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
          _R.Fail(Member(Item("modal_base.modes", i), "participation"),
                  "missing: base motion needs it when not every node has a \"mass\"");
    for (std::size_t i = 0; i < _M.enforced.size(); ++i)
      if (!_M.enforced[i].hasModalForce)
        _R.Fail(Member(Item("enforced", i), "modal_force"),
                "missing: needed when not every node has a \"mass\"");
  }

  Reader _R;
  std::string _File;
  const ReferencedFileReader& _Files;
  Model& _M;
  int _Constant = -1;
  std::set<int> _NodeIds;
};

std::size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      std::size_t above = row[j];
      bool same = std::tolower(static_cast<unsigned char>(a[i - 1])) ==
                  std::tolower(static_cast<unsigned char>(b[j - 1]));
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

}  // namespace

std::string NearestKey(const std::string& iKey, const std::vector<std::string>& iKnown) {
  std::string best;
  std::size_t bestDistance = std::numeric_limits<std::size_t>::max();
  for (const std::string& known : iKnown) {
    std::size_t d = EditDistance(iKey, known);
    if (d < bestDistance) {
      bestDistance = d;
      best = known;
    }
  }
  // A third of the longer word, at least two edits: close enough to be a
  // misspelling rather than another word.
  std::size_t longest = std::max(iKey.size(), best.size());
  std::size_t limit = std::max<std::size_t>(2, longest / 3);
  if (best.empty() || bestDistance > limit || bestDistance >= longest) return std::string();
  return best;
}

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

Model LoadModelText(const std::string& iText, const std::string& iDisplayName) {
  return LoadModelText(iText, iDisplayName, ReadWholeFile);
}

namespace {

// The model of a parsed text; the text may be freed meanwhile.
Model ReadParsed(const Json& iRoot, const std::string& iDisplayName,
                 const ReferencedFileReader& iReader) {
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

Model LoadModelText(const std::string& iText, const std::string& iDisplayName,
                    const ReferencedFileReader& iReader) {
  return ReadParsed(Parse(iText, iDisplayName), iDisplayName, iReader);
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
  Json root = Parse(text, iPath);
  std::string().swap(text);
  return ReadParsed(root, iPath, ReadWholeFile);
}

}  // namespace vokdyn
