#include "VOKDYNImport.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <unordered_map>

#include "VOKDYNDatReader.h"
#include "VOKDYNModelLoader.h"
#include "VOKDYNNpy.h"
#include "VOKDYNOutput.h"

namespace vokdyn {

namespace {

constexpr double kDampingPercent = 2.0;
// The sweep's step ratio: eight points across the half-power band 2 zeta f
// of a mode damped at 2 %.
constexpr double kStepRatio = 1.0 + 2.0 * (kDampingPercent / 100.0) / 8.0;
constexpr double kSweepBelow = 0.8, kSweepAbove = 1.2;
constexpr int kMaxSteps = 1000000;
// The generalised mass the .frd prints (7 digits) that still counts as 1.
constexpr double kUnitMassTolerance = 1e-6;
// The .frd and the .dat print each frequency to 7 digits or more: beyond
// rounding they must agree.
constexpr double kFrequencyTolerance = 1e-6;

bool EndsWith(const std::string& iText, const std::string& iEnd) {
  return iText.size() >= iEnd.size() && iText.compare(iText.size() - iEnd.size(), iEnd.size(), iEnd) == 0;
}

bool Exists(const std::string& iPath) {
  struct stat info;
  return stat(iPath.c_str(), &info) == 0;
}

std::string ReadInput(const std::string& iPath, const char* iWhat) {
  try {
    return ReadWholeFile(iPath);
  } catch (const std::exception& e) {
    throw ResultFileError(iPath + ": cannot read the " + iWhat + " (" + e.what() + ")");
  }
}

std::string Directory(const std::string& iPath) {
  std::size_t slash = iPath.find_last_of('/');
  return slash == std::string::npos ? "." : (slash == 0 ? "/" : iPath.substr(0, slash));
}

std::string BaseName(const std::string& iPath) {
  std::size_t slash = iPath.find_last_of('/');
  return slash == std::string::npos ? iPath : iPath.substr(slash + 1);
}

std::string RealDirectory(const std::string& iPath) {
  char buffer[PATH_MAX];
  std::string dir = Directory(iPath);
  return realpath(dir.c_str(), buffer) ? std::string(buffer) : dir;
}

void AppendNumber(std::string& ioText, double iValue) {
  char buffer[32];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, iValue);
  ioText.append(buffer, end);
}

void AppendInt(std::string& ioText, long long iValue) {
  char buffer[24];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, iValue);
  ioText.append(buffer, end);
}

std::string JsonString(const std::string& iText) {
  std::string out = "\"";
  for (unsigned char c : iText) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
      out += buffer;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

// The comment lines of a text, each line prefixed with "// ".
std::string Comment(const std::string& iText, const char* iIndent = "") {
  std::string out;
  std::size_t start = 0;
  while (start <= iText.size()) {
    std::size_t end = iText.find('\n', start);
    if (end == std::string::npos) end = iText.size();
    out += std::string(iIndent) + "// " + iText.substr(start, end - start) + "\n";
    start = end + 1;
  }
  return out;
}

std::string Format(const char* iFormat, double iValue) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, iFormat, iValue);
  return buffer;
}

// The node and translation of largest magnitude in the first mode.
NodeComponent LargestTranslation(const Model& iModel) {
  NodeComponent best;
  double largest = -1.0;
  for (std::size_t n = 0; n < iModel.nodes.size(); ++n)
    for (int c = 0; c < 3; ++c)
      if (std::fabs(iModel.base.shapes.Row(0, n)[c]) > largest) {
        largest = std::fabs(iModel.base.shapes.Row(0, n)[c]);
        best.node = iModel.nodes[n].id;
        best.component = c + 1;
      }
  best.given = true;
  return best;
}

void CheckTranslation(const NodeComponent& iChoice, const Model& iModel, const char* iOption) {
  if (!iChoice.given) return;
  if (iModel.NodeIndex(iChoice.node) < 0)
    throw ResultFileError(std::string(iOption) + " " + std::to_string(iChoice.node) + ":" +
                          std::to_string(iChoice.component) + ": node " + std::to_string(iChoice.node) +
                          " is not in the job's results");
  if (iChoice.component > 3)
    throw ResultFileError(std::string(iOption) + " " + std::to_string(iChoice.node) + ":" +
                          std::to_string(iChoice.component) + ": the job's solid elements have no rotations "
                          "(components 4 to 6); choose a translation, 1 to 3 (UX, UY, UZ)");
}

// Writes two files, both or neither: each to a temporary beside it, then the
// two renames; when the second rename fails the first file is removed. The
// first is written from pieces, so that large values need no copy.
void WriteBoth(const std::string& iFirst, const std::vector<std::string_view>& iFirstContent,
               const std::string& iSecond, const std::string& iSecondContent) {
  std::vector<std::string> temps;
  auto cleanup = [&temps]() {
    for (const std::string& t : temps) ::unlink(t.c_str());
  };
  auto writeTemp = [&](const std::string& iPath, const std::vector<std::string_view>& iPieces) {
    std::string pattern = iPath + ".tmp-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = mkstemp(name.data());
    if (fd < 0) {
      std::string why = std::strerror(errno);
      cleanup();
      throw OutputError(iPath + ": cannot be written (" + why + ")");
    }
    temps.push_back(name.data());
    for (std::string_view content : iPieces) {
      std::size_t done = 0;
      while (done < content.size()) {
        ssize_t wrote = ::write(fd, content.data() + done, content.size() - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) {
          std::string why = std::strerror(errno);
          ::close(fd);
          cleanup();
          throw OutputError(iPath + ": cannot be written (" + why + ")");
        }
        done += static_cast<std::size_t>(wrote);
      }
    }
    // Readable as a file written by the user would be.
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    if (::close(fd) != 0) {
      std::string why = std::strerror(errno);
      cleanup();
      throw OutputError(iPath + ": cannot be written (" + why + ")");
    }
  };
  writeTemp(iFirst, iFirstContent);
  writeTemp(iSecond, {iSecondContent});
  if (std::rename(temps[0].c_str(), iFirst.c_str()) != 0) {
    std::string why = std::strerror(errno);
    cleanup();
    throw OutputError(iFirst + ": cannot be written (" + why + ")");
  }
  temps.erase(temps.begin());
  if (std::rename(temps[0].c_str(), iSecond.c_str()) != 0) {
    std::string why = std::strerror(errno);
    cleanup();
    ::unlink(iFirst.c_str());
    throw OutputError(iSecond + ": cannot be written (" + why + "); " + iFirst + " removed again");
  }
}

}  // namespace

NodeComponent ParseNodeComponent(const std::string& iText, const std::string& iOption) {
  const std::string rule = " (expected NODE:COMPONENT, the component 1 to 6 or UX UY UZ RX RY RZ)";
  std::size_t colon = iText.find(':');
  if (colon == std::string::npos) throw ResultFileError(iOption + " " + iText + ": no colon" + rule);
  NodeComponent out;
  std::string node = iText.substr(0, colon), component = iText.substr(colon + 1);
  long long id = 0;
  auto [end, ec] = std::from_chars(node.data(), node.data() + node.size(), id);
  if (node.empty() || ec != std::errc() || end != node.data() + node.size() || id < 1 || id > 2147483647)
    throw ResultFileError(iOption + " " + iText + ": \"" + node + "\" is not a node number" + rule);
  out.node = static_cast<int>(id);
  for (int c = 0; c < 6; ++c)
    if (component == kComponentNames[c] || component == std::to_string(c + 1)) out.component = c + 1;
  if (out.component == 0)
    throw ResultFileError(iOption + " " + iText + ": \"" + component + "\" is not a component" + rule);
  out.given = true;
  return out;
}

std::string ShapesPathOf(const ImportOptions& iOptions) {
  if (!iOptions.shapes.empty()) return iOptions.shapes;
  std::string base = EndsWith(iOptions.model, ".json") ? iOptions.model.substr(0, iOptions.model.size() - 5)
                                                       : iOptions.model;
  return base + ".npy";
}

std::vector<std::string> JobFiles(const std::string& iJob) {
  std::string stem = iJob;
  for (const char* extension : {".frd", ".dat", ".inp"})
    if (EndsWith(stem, extension)) stem = stem.substr(0, stem.size() - 4);
  return {stem + ".frd", stem + ".dat", stem + ".inp"};
}

ImportedJob ReadCalculixJob(const ImportOptions& iOptions) {
  ImportedJob job;
  const std::vector<std::string> files = JobFiles(iOptions.job);
  const std::string stem = files[0].substr(0, files[0].size() - 4);
  job.frdPath = files[0];
  job.datPath = files[1];
  if (Exists(files[2])) job.inpPath = files[2];

  FrdResults frd = ParseFrd(ReadInput(job.frdPath, "results file"), job.frdPath);
  DatModes dat = ParseDat(ReadInput(job.datPath, "printed results"), job.datPath);
  job.binaryFrd = frd.binary;

  // One eigenvalue step: modes 1..n, once each, in both files alike.
  for (std::size_t i = 0; i < frd.modes.size(); ++i)
    if (frd.modes[i].number != static_cast<int>(i) + 1)
      throw ResultFileError(job.frdPath + ": line " + std::to_string(frd.modes[i].line) + ": mode " +
                            std::to_string(frd.modes[i].number) + " where mode " + std::to_string(i + 1) +
                            " was expected (the job must hold one eigenvalue step)");
  if (frd.modes.size() != dat.numbers.size())
    throw ResultFileError(job.frdPath + " and " + job.datPath + ": the mode counts differ: " +
                          std::to_string(frd.modes.size()) + " eigenvectors in " + job.frdPath + " (last at line " +
                          std::to_string(frd.modes.back().line) + "), " + std::to_string(dat.numbers.size()) +
                          " eigenvalues in " + job.datPath + " (table at line " + std::to_string(dat.line) + ")");

  Model& model = job.model;
  model.source = iOptions.model;
  model.name = BaseName(stem);
  model.base.name = model.name + " modes";
  for (std::size_t n = 0; n < frd.nodeIds.size(); ++n) {
    Node node;
    node.id = frd.nodeIds[n];
    node.xyz = frd.coordinates[n];
    model.nodes.push_back(node);
  }
  bool massNoted = false;
  std::vector<double> shapes;
  shapes.reserve(frd.modes.size() * frd.nodeIds.size() * 6);
  for (std::size_t i = 0; i < frd.modes.size(); ++i) {
    const FrdMode& fm = frd.modes[i];
    const double datFrequency = dat.frequencies[i];
    if (std::fabs(fm.frequency - datFrequency) > kFrequencyTolerance * std::fabs(datFrequency))
      throw ResultFileError(job.frdPath + ": line " + std::to_string(fm.line) + ": mode " + std::to_string(i + 1) +
                            " has frequency " + Format("%.10g", fm.frequency) + ", " + job.datPath + " line " +
                            std::to_string(dat.line) + " gives " + Format("%.10g", datFrequency) +
                            ": the files are not of the same job");
    Mode mode;
    // The more precise of the two prints.
    mode.frequency = fm.frequencyDigits >= 7 ? fm.frequency : datFrequency;
    if (!(mode.frequency > 0.0))
      throw ResultFileError(job.datPath + ": line " + std::to_string(dat.line) + ": mode " + std::to_string(i + 1) +
                            " has frequency " + Format("%.10g", mode.frequency) +
                            ": rigid-body and negative modes cannot be imported");
    mode.generalizedMass = 1.0;
    if (fm.hasGeneralizedMass && std::fabs(fm.generalizedMass - 1.0) > kUnitMassTolerance) {
      mode.generalizedMass = fm.generalizedMass;
      if (!massNoted)
        job.notes.push_back("the eigenvectors are not normalised to unit modal mass (mode " + std::to_string(i + 1) +
                            ": generalised mass " + Format("%.7g", fm.generalizedMass) +
                            " in the .frd); the .frd's generalised masses are kept");
      massNoted = true;
    } else if (!fm.hasGeneralizedMass && !massNoted) {
      job.notes.push_back("the .frd gives no generalised masses: 1 assumed (unit modal mass)");
      massNoted = true;
    }
    const double omega = kTwoPi * mode.frequency;
    mode.generalizedStiffness = mode.generalizedMass * omega * omega;
    mode.stiffnessGiven = true;
    if (dat.hasParticipation) {
      mode.hasParticipation = true;
      mode.participation = dat.participation[i];
    }
    for (std::size_t n = 0; n < frd.nodeIds.size(); ++n) {
      const double row[6] = {fm.displacement[n][0], fm.displacement[n][1], fm.displacement[n][2], 0.0, 0.0, 0.0};
      shapes.insert(shapes.end(), row, row + 6);
    }
    // The results of a mode are gone once they are in the table.
    std::vector<std::array<double, 3>>().swap(frd.modes[i].displacement);
    model.base.modes.push_back(std::move(mode));
  }
  model.base.shapes = ModeShapes(std::move(shapes), frd.modes.size(), frd.nodeIds.size());
  if (!dat.hasParticipation)
    job.notes.push_back("the .dat prints no participation factors: base motion would need nodal masses");
  job.elements = std::move(frd.elements);
  for (const FrdElement& e : job.elements) model.elements.push_back(Element{e.type, e.nodes});
  model.base.rotations = false;
  if (!job.inpPath.empty()) {
    job.sets = ParseInpNodeSets(ReadInput(job.inpPath, "input deck"), job.inpPath);
    if (job.sets.hasInclude)
      job.notes.push_back(job.inpPath + " includes other files (*INCLUDE): node sets defined in them are not kept");
    // A group keeps the set's nodes that have results (a set may name nodes
    // the results leave out, such as those of no element).
    for (const auto& set : job.sets.sets) {
      Group group;
      group.name = set.first;
      for (int id : set.second)
        if (model.NodeIndex(id) >= 0) group.nodes.push_back(id);
      if (!group.nodes.empty()) model.groups.push_back(group);
    }
  }

  model.damping.type = DampingType::Modal;
  model.damping.percent = kDampingPercent;
  double low = model.base.modes.front().frequency, high = low;
  for (const Mode& m : model.base.modes) {
    low = std::min(low, m.frequency);
    high = std::max(high, m.frequency);
  }
  model.sweep.isRange = true;
  model.sweep.spacing = Spacing::Log;
  model.sweep.from = kSweepBelow * low;
  model.sweep.to = kSweepAbove * high;
  double steps = std::ceil(std::log(model.sweep.to / model.sweep.from) / std::log(kStepRatio)) + 1.0;
  model.sweep.steps = static_cast<int>(std::min<double>(std::max(steps, 2.0), kMaxSteps));

  CheckTranslation(iOptions.load, model, "--load");
  CheckTranslation(iOptions.output, model, "--response");
  NodeComponent placeholder = LargestTranslation(model);
  NodeComponent load = iOptions.load.given ? iOptions.load : placeholder;
  NodeComponent output = iOptions.output.given ? iOptions.output : placeholder;
  job.placeholder = !iOptions.load.given || !iOptions.output.given;
  job.load = load;
  job.output = output;

  Load unit;
  unit.name = "unit force at node " + std::to_string(load.node) + ", " + kComponentNames[load.component - 1];
  NodalForce force;
  force.node = load.node;
  force.values[load.component - 1] = 1.0;
  unit.forces.push_back(force);
  model.loads.push_back(unit);
  model.modulations.push_back(ImplicitConstant());
  model.loads.back().modulation = 0;
  Output out;
  out.node = output.node;
  out.component = output.component;
  model.outputs.push_back(out);
  if (!iOptions.staticFrd.empty()) {
    if (!iOptions.load.given)
      throw ResultFileError("--static " + iOptions.staticFrd + ": needs --load, the unit force of the static step");
    const FrdResults statics = ParseFrd(ReadInput(iOptions.staticFrd, "static results file"), iOptions.staticFrd, true);
    auto at = std::find(statics.nodeIds.begin(), statics.nodeIds.end(), out.node);
    if (at == statics.nodeIds.end())
      throw ResultFileError(iOptions.staticFrd + ": no node " + std::to_string(out.node) + " (the output): not the same mesh?");
    const double value = statics.staticDisplacement[static_cast<std::size_t>(at - statics.nodeIds.begin())]
                                                   [static_cast<std::size_t>(out.component - 1)];
    model.loads.back().staticResponse.push_back(value);
  }
  return job;
}

std::string ImportedModelText(const ImportedJob& iJob, const std::string& iShapesRef) {
  const Model& m = iJob.model;
  std::string text;
  std::string files = BaseName(iJob.frdPath) + (iJob.binaryFrd ? " (binary)" : "") + ", " + BaseName(iJob.datPath) +
                      (iJob.inpPath.empty() ? std::string() : ", " + BaseName(iJob.inpPath));
  std::string header =
      "vokdyn model file (format vokdyn-model/1), made by vokdyn import calculix from the\n"
      "eigenvalue step of job \"" + m.name + "\" (" + files + ").\n" +
      std::to_string(m.nodes.size()) + " nodes, " + std::to_string(iJob.elements.size()) + " elements, " +
      std::to_string(m.base.modes.size()) + " modes from " + Format("%.7g", m.base.modes.front().frequency) +
      " to " + Format("%.7g", m.base.modes.back().frequency) + " Hz; the mode shapes are in " + iShapesRef + ".\n"
      "Units are the job's own. Generalised masses are the job's (1: unit modal mass), generalised\n"
      "stiffnesses m (2 pi f)^2, participation factors those the job printed. Solid elements carry no\n"
      "rotations: the rotation components of the shapes are 0.\n"
      "A starting point: 2 % modal damping, a log sweep over 0.8 f1 to 1.2 fn with 8 points per\n"
      "half-power band; " +
      (iJob.placeholder ? "EDIT the load and the output: they are placeholders at the largest\n"
                          "translation of mode 1."
                        : "the load and the output given on the command line.") +
      "\nAdd \"fields\": {\"at_peaks\": true} (or \"frequencies\": [...]) for the response of every node\n"
      "as VTK files, or run vokdyn harmonic with --fields DIR.";
  for (const std::string& note : iJob.notes) header += "\nNote: " + note + ".";
  text += Comment(header);
  text += "{\n  \"format\": \"vokdyn-model/1\",\n  \"name\": " + JsonString(m.name) + ",\n  \"nodes\": [\n";
  for (std::size_t n = 0; n < m.nodes.size(); ++n) {
    text += "    {\"id\": ";
    AppendInt(text, m.nodes[n].id);
    text += ", \"xyz\": [";
    for (int c = 0; c < 3; ++c) {
      if (c) text += ", ";
      AppendNumber(text, m.nodes[n].xyz[c]);
    }
    text += n + 1 < m.nodes.size() ? "]},\n" : "]}\n";
  }
  text += "  ],\n";
  if (!m.groups.empty()) {
    text += Comment("The node sets of the input deck: \"outputs\": [{\"set\": NAME, \"component\": C}] gives one\n"
                    "output per node of a set.", "  ");
    text += "  \"groups\": {\n";
    for (std::size_t g = 0; g < m.groups.size(); ++g) {
      text += "    " + JsonString(m.groups[g].name) + ": [";
      for (std::size_t k = 0; k < m.groups[g].nodes.size(); ++k) {
        if (k) text += k % 16 ? ", " : ",\n      ";
        AppendInt(text, m.groups[g].nodes[k]);
      }
      text += g + 1 < m.groups.size() ? "],\n" : "]\n";
    }
    text += "  },\n";
  }
  if (!m.elements.empty()) {
    text += Comment("The mesh, for the response fields; nodes in the input deck's order.", "  ");
    text += "  \"elements\": [\n";
    for (std::size_t e = 0; e < m.elements.size(); ++e) {
      text += "    {\"type\": \"" + std::string(FrdTypeName(m.elements[e].type)) + "\", \"nodes\": [";
      for (std::size_t k = 0; k < m.elements[e].nodes.size(); ++k) {
        if (k) text += ", ";
        AppendInt(text, m.elements[e].nodes[k]);
      }
      text += e + 1 < m.elements.size() ? "]},\n" : "]}\n";
    }
    text += "  ],\n";
  }
  text += "  \"modal_base\": {\n    \"name\": " + JsonString(m.base.name) + ",\n    \"rotations\": false,\n"
          "    \"shapes\": " + JsonString(iShapesRef) + ",\n    \"modes\": [\n";
  for (std::size_t i = 0; i < m.base.modes.size(); ++i) {
    const Mode& mode = m.base.modes[i];
    text += "      {\"frequency\": ";
    AppendNumber(text, mode.frequency);
    text += ", \"generalized_mass\": ";
    AppendNumber(text, mode.generalizedMass);
    text += ", \"generalized_stiffness\": ";
    AppendNumber(text, mode.generalizedStiffness);
    if (mode.hasParticipation) {
      text += ",\n       \"participation\": [";
      for (int d = 0; d < 6; ++d) {
        if (d) text += ", ";
        AppendNumber(text, mode.participation[d]);
      }
      text += "]";
    }
    text += i + 1 < m.base.modes.size() ? "},\n" : "}\n";
  }
  text += "    ]\n  },\n  \"damping\": {\"type\": \"modal\", \"percent\": ";
  AppendNumber(text, m.damping.percent);
  text += "},\n";
  const Load& load = m.loads.front();
  const NodalForce& force = load.forces.front();
  if (iJob.placeholder) text += Comment("EDIT: a placeholder load, a unit force.", "  ");
  text += "  \"loads\": [{\"name\": " + JsonString(load.name) + ", \"forces\": [{\"node\": ";
  AppendInt(text, force.node);
  text += ", \"values\": [";
  for (int c = 0; c < 6; ++c) {
    if (c) text += ", ";
    AppendNumber(text, force.values[c]);
  }
  text += "]}]";
  if (!load.staticResponse.empty()) {
    text += ", \"static_response\": [";
    AppendNumber(text, load.staticResponse.front());
    text += "]";
  }
  text += "}],\n  \"sweep\": {\"from\": ";
  AppendNumber(text, m.sweep.from);
  text += ", \"to\": ";
  AppendNumber(text, m.sweep.to);
  text += ", \"steps\": ";
  AppendInt(text, m.sweep.steps);
  text += ", \"spacing\": \"log\"},\n";
  if (iJob.placeholder) text += Comment("EDIT: a placeholder output.", "  ");
  text += "  \"outputs\": [{\"node\": ";
  AppendInt(text, m.outputs.front().node);
  text += ", \"component\": ";
  AppendInt(text, m.outputs.front().component);
  text += "}]\n}\n";
  return text;
}

ImportedJob ImportCalculix(const ImportOptions& iOptions) {
  ImportedJob job = ReadCalculixJob(iOptions);
  const std::string shapes = ShapesPathOf(iOptions);
  // The model names its shapes relative to its own directory when they lie
  // there, by their absolute path otherwise.
  std::string ref = RealDirectory(shapes) == RealDirectory(iOptions.model)
                        ? BaseName(shapes)
                        : RealDirectory(shapes) + "/" + BaseName(shapes);
  std::string text = ImportedModelText(job, ref);
  // The values as they are in memory on a little-endian host, swapped into
  // a copy on another.
  const ModeShapes& table = job.model.base.shapes;
  const std::string header = NpyShapesHeader(table.Modes(), table.Nodes());
  std::string swapped;
  std::string_view values(reinterpret_cast<const char*>(table.Share().get()), table.Modes() * table.Nodes() * 6 * sizeof(double));
  const std::uint16_t one = 1;
  if (*reinterpret_cast<const unsigned char*>(&one) != 1) {
    AppendLittleEndian(swapped, table.Share().get(), table.Modes() * table.Nodes() * 6);
    values = swapped;
  }
  WriteBoth(shapes, {header, values}, iOptions.model, text);
  return job;
}

}  // namespace vokdyn
